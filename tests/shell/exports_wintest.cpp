// The plug-in DLL as the host sees it: loaded with LoadLibraryW, driven only through its exports.
// Also the leak measurement over 100 load/close cycles, and the language choice of the first load
// in a process started with a German display language.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "document/language.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "tests/shell/guihost.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;

namespace {

using ListLoadWFn = HWND(__stdcall*)(HWND, const wchar_t*, int);
using ListLoadFn = HWND(__stdcall*)(HWND, const char*, int);
using ListCloseWindowFn = void(__stdcall*)(HWND);
using ListGetDetectStringFn = void(__stdcall*)(char*, int);
using ListSendCommandFn = int(__stdcall*)(HWND, int, int);
using ListSearchTextWFn = int(__stdcall*)(HWND, const wchar_t*, int);
using ListLoadNextWFn = int(__stdcall*)(HWND, HWND, const wchar_t*, int);
using ListSetDefaultParamsFn = void(__stdcall*)(ListDefaultParamStruct*);

std::wstring besideTestProgram(const wchar_t* name) {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path = buffer;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

template <class Fn>
Fn exported(HMODULE dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// The plug-in of this build's pointer size, which the build places beside the test program.
const wchar_t* const kPluginFile = sizeof(void*) == 8 ? L"Quillmap.wlx64" : L"Quillmap.wlx";

class PluginDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dll = LoadLibraryW(besideTestProgram(kPluginFile).c_str()); }
    void SetUp() override { ASSERT_NE(dll, nullptr) << qmtest::u8(kPluginFile) << " did not load beside the test program"; }
    static HMODULE dll;
};
HMODULE PluginDll::dll = nullptr;

// GDI objects of the process. Wine's GetGuiResources reports 0, so there the handle table is
// counted: Wine accepts a handle's low 16 bits (generation 0) in GetObjectType.
size_t gdiObjectCount() {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported) return reported;
    size_t count = 0;
    for (ULONG_PTR h = 1; h <= 0xFFFF; ++h)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(h))) ++count;
    return count;
}

BOOL CALLBACK countWindow(HWND window, LPARAM counter) {
    ++*reinterpret_cast<size_t*>(counter);
    EnumChildWindows(window, countWindow, counter);
    return TRUE;
}

// Windows of this thread with all their descendants (Wine's GetGuiResources reports 0 for USER
// objects as well).
size_t windowCount() {
    size_t count = 0;
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

BOOL CALLBACK nameTopLevel(HWND window, LPARAM names) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    *reinterpret_cast<std::string*>(names) += qmtest::u8(name) + " ";
    return TRUE;
}

// Class names of this thread's top-level windows, for failure messages.
std::string topLevelClasses() {
    std::string names;
    EnumThreadWindows(GetCurrentThreadId(), nameTopLevel, reinterpret_cast<LPARAM>(&names));
    return names.substr(0, 300);
}

// Bytes in use in every heap of the process.
size_t heapBytesInUse() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    size_t total = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

}  // namespace

TEST_F(PluginDll, ExportsEveryListerFunction) {
    for (const char* name : {"ListLoad", "ListLoadW", "ListLoadNext", "ListLoadNextW", "ListCloseWindow",
                             "ListGetDetectString", "ListSearchText", "ListSearchTextW", "ListSendCommand",
                             "ListSetDefaultParams"})
        EXPECT_NE(GetProcAddress(dll, name), nullptr) << name;
}

TEST_F(PluginDll, DetectStringIsTruncatedToTheBuffer) {
    auto detect = exported<ListGetDetectStringFn>(dll, "ListGetDetectString");
    char full[2048];
    std::memset(full, 'x', sizeof full);
    detect(full, sizeof full);
    EXPECT_EQ(std::strlen(full), 1184u);
    EXPECT_EQ(std::string(full, 25), "EXT=\"XML\" | EXT=\"XSD\" | E");
    EXPECT_EQ(std::string(full + 1184 - 23), " | EXT=\"WATCHMANCONFIG\"");
    char small[100];
    std::memset(small, 'x', sizeof small);
    detect(small, sizeof small);
    EXPECT_EQ(std::string(small), std::string(full, 99));
    char one[1] = {'x'};
    detect(one, 1);
    EXPECT_EQ(one[0], '\0');
}

TEST_F(PluginDll, LoadDeclineAndCommandsThroughTheExports) {
    auto load = exported<ListLoadWFn>(dll, "ListLoadW");
    auto loadAnsi = exported<ListLoadFn>(dll, "ListLoad");
    auto close = exported<ListCloseWindowFn>(dll, "ListCloseWindow");
    auto command = exported<ListSendCommandFn>(dll, "ListSendCommand");
    auto search = exported<ListSearchTextWFn>(dll, "ListSearchTextW");
    auto next = exported<ListLoadNextWFn>(dll, "ListLoadNextW");
    auto defaults = exported<ListSetDefaultParamsFn>(dll, "ListSetDefaultParams");
    defaults(nullptr);  // a null record is an empty INI path
    qmtest::GuiHost host;
    const std::wstring good = qmtest::writeTempFile(L"dll.json", "{\"a\": 1}");
    const std::wstring bad = qmtest::writeTempFile(L"dll-bad.json", "no json here");

    EXPECT_EQ(load(host.window(), bad.c_str(), 0), nullptr);
    EXPECT_EQ(loadAnsi(host.window(), nullptr, 0), nullptr);
    HWND w = load(host.window(), good.c_str(), 0);
    ASSERT_NE(w, nullptr);
    wchar_t cls[32];
    GetClassNameW(w, cls, 32);
    EXPECT_STREQ(cls, L"QuillmapMain");
    EXPECT_EQ(GetParent(w), host.window());
    RECT hostRect, pluginRect;
    GetClientRect(host.window(), &hostRect);
    GetClientRect(w, &pluginRect);
    EXPECT_EQ(pluginRect.right, hostRect.right);
    EXPECT_EQ(pluginRect.bottom, hostRect.bottom);
    EXPECT_EQ(command(w, lc_newparams, lcp_darkmode), LISTPLUGIN_OK);
    EXPECT_EQ(command(w, 99, 0), LISTPLUGIN_ERROR);
    EXPECT_EQ(command(host.window(), lc_copy, 0), LISTPLUGIN_ERROR);
    EXPECT_EQ(search(w, L"", lcs_findfirst), LISTPLUGIN_ERROR);
    EXPECT_EQ(next(host.window(), w, bad.c_str(), 0), LISTPLUGIN_ERROR);
    EXPECT_EQ(next(host.window(), w, good.c_str(), 0), LISTPLUGIN_OK);
    HWND ansi = loadAnsi(host.window(), qmtest::u8(good).c_str(), 0);  // ASCII path: same in CP_ACP
    EXPECT_NE(ansi, nullptr);
    close(ansi);
    close(w);
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(PluginDll, HundredLoadCloseCyclesLeakNothing) {
    auto load = exported<ListLoadWFn>(dll, "ListLoadW");
    auto close = exported<ListCloseWindowFn>(dll, "ListCloseWindow");
    auto command = exported<ListSendCommandFn>(dll, "ListSendCommand");
    qmtest::GuiHost host;
    const std::wstring files[] = {
        qmtest::platformPath(std::string(QM_SOURCE_DIR) + "/samples/feed.xml"),
        qmtest::platformPath(std::string(QM_SOURCE_DIR) + "/samples/catalog.json"),
        qmtest::writeTempFile(L"leak-error.xml", "<a><b>"),
    };
    auto cycle = [&](int i) {
        HWND w = load(host.window(), files[i % 3].c_str(), i % 2 ? lcp_darkmode : 0);
        ASSERT_NE(w, nullptr);
        SetFocus(w);
        if (i % 4 == 0) command(w, lc_newparams, (i / 4) % 2 ? lcp_darkmode : 0);
        HWND tree = FindWindowExW(w, nullptr, L"QuillmapTree", nullptr);
        ASSERT_NE(tree, nullptr);
        qmtest::render(tree);
        qmtest::render(w);
        close(w);
        qmtest::pumpMessages();
    };
    for (int i = 0; i < 5; ++i) cycle(i);  // warm-up: one-time allocations of the process
    const size_t gdiBefore = gdiObjectCount();
    const size_t userBefore = windowCount();
    const size_t heapBefore = heapBytesInUse();
    for (int i = 0; i < 100; ++i) cycle(i);
    const size_t gdiAfter = gdiObjectCount();
    const size_t userAfter = windowCount();
    const size_t heapAfter = heapBytesInUse();
    printf("100 load/close cycles: GDI objects %zu -> %zu, windows %zu -> %zu, heap bytes in use %zu -> %zu\n",
           gdiBefore, gdiAfter, userBefore, userAfter, heapBefore, heapAfter);
    EXPECT_LE(gdiAfter, gdiBefore + 2);
    EXPECT_EQ(userAfter, userBefore) << topLevelClasses();
    // One leaked document, window state or font record per cycle would be far above this.
    EXPECT_LT(heapAfter, heapBefore + 16 * 1024);
}

// The language is chosen before the file is parsed, so even the first file of a process gets its
// parse messages in German. Wine takes the display language from LC_ALL at process start; this
// check runs when the suite is started with LC_ALL=de_DE.UTF-8 and is skipped otherwise; the
// German run sets QM_REQUIRE_GERMAN so that a display language that did not take fails it.
TEST(ListerLanguage, FirstLoadParsesInTheDisplayLanguage) {
    if (!displayLanguageIsGerman()) {
        if (_wgetenv(L"QM_REQUIRE_GERMAN")) FAIL() << "display language is not German although LC_ALL=de_DE.UTF-8";
        GTEST_SKIP() << "display language is not German (run with LC_ALL=de_DE.UTF-8)";
    }
    qmtest::LanguageGuard english(false);  // as in a fresh process: nothing has chosen a language yet
    qmtest::useFreshSettings(L"german.ini");
    qmtest::GuiHost host;
    HWND w = ListerLoad(host.window(), qmtest::writeTempFile(L"german.json", "{\"a\": \"open"), 0);
    MainWindow* main = FindMainWindow(w);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(qmtest::u8(main->document->errorMessage), qmtest::u8(L"Zeichenkette nicht abgeschlossen"));
    ListerClose(w);
}
