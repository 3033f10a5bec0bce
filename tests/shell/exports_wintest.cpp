// The plug-in DLL as the host sees it: loaded with LoadLibraryW, driven only through its exports.
// Also the leak measurement over 100 load/close cycles, and the language choice of the first load
// in a process started with a German display language.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

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

class PluginDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dll = LoadLibraryW(besideTestProgram(L"Quillmap.wlx64").c_str()); }
    void SetUp() override {
        if (!dll) GTEST_SKIP() << "Quillmap.wlx64 is not built beside the test program";
    }
    static HMODULE dll;
};
HMODULE PluginDll::dll = nullptr;

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
    EXPECT_EQ(std::strlen(full), 957u);
    EXPECT_EQ(std::string(full, 26), "EXT=\"XML\" | EXT=\"XSD\" | E");
    EXPECT_EQ(std::string(full + 957 - 10), "EXT=\"REG\"");
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
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const size_t heapBefore = heapBytesInUse();
    for (int i = 0; i < 100; ++i) cycle(i);
    const DWORD gdiAfter = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD userAfter = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const size_t heapAfter = heapBytesInUse();
    printf("100 load/close cycles: GDI objects %lu -> %lu, USER objects %lu -> %lu, heap bytes in use %zu -> %zu\n",
           gdiBefore, gdiAfter, userBefore, userAfter, heapBefore, heapAfter);
    EXPECT_LE(gdiAfter, gdiBefore + 2);
    EXPECT_LE(userAfter, userBefore + 2);
    // 100 cycles of a leaked document, window state or font record would be far above this.
    EXPECT_LT(heapAfter, heapBefore + 64 * 1024);
}

// Run in a child process whose display language is German: the first ListLoadW of that process
// must already parse in German.
TEST(ListerLanguage, FirstLoadOfAGermanProcessParsesInGerman) {
    if (GetEnvironmentVariableW(L"QM_GERMAN_CHILD", nullptr, 0) == 0) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring cmd =
            L"\"" + std::wstring(self) + L"\" --gtest_filter=ListerLanguage.FirstLoadOfAGermanProcessParsesInGerman";
        SetEnvironmentVariableW(L"QM_GERMAN_CHILD", L"1");
        SetEnvironmentVariableW(L"LC_ALL", L"de_DE.UTF-8");
        SetEnvironmentVariableW(L"LANG", L"de_DE.UTF-8");
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        const BOOL started = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        SetEnvironmentVariableW(L"QM_GERMAN_CHILD", nullptr);
        ASSERT_TRUE(started);
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        EXPECT_EQ(code, 0u) << "the German child process failed";
        return;
    }
    if (!displayLanguageIsGerman()) GTEST_SKIP() << "Wine did not take German from LC_ALL";
    ASSERT_FALSE(uiGerman);  // nothing chose a language yet in this process
    qmtest::useFreshSettings(L"german.ini");
    qmtest::GuiHost host;
    HWND w = ListerLoad(host.window(), qmtest::writeTempFile(L"german.json", "{\"a\": \"open"), 0);
    MainWindow* main = FindMainWindow(w);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(qmtest::u8(main->document->errorMessage), qmtest::u8(L"Zeichenkette nicht abgeschlossen"));
    ListerClose(w);
}
