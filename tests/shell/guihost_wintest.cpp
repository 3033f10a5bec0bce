// The helpers of guihost.h (a *_wintest.cpp file so that only the Windows test program has it).
#include "tests/shell/guihost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "edit/editing.h"
#include "edit/nodetext.h"
#include "shell/lister.h"
#include "shell/module.h"
#include "shell/settings.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

namespace qmtest {

namespace {
const wchar_t kHostClass[] = L"QuillmapTestHost";
}

namespace {

// Registers a window class of the test program (again and again harmlessly) and returns the
// program's instance.
HINSTANCE registerTestClass(const wchar_t* name, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);  // fails harmlessly after the first time
    return wc.hInstance;
}

}  // namespace

GuiHost::GuiHost(int width, int height) {
    if (!qm::moduleHandle) qm::moduleHandle = GetModuleHandleW(nullptr);
    qm::RegisterWindowClasses();
    window_ = CreateWindowExW(0, kHostClass, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height, nullptr,
                              nullptr, registerTestClass(kHostClass, proc), this);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetForegroundWindow(window_);
    pumpMessages();
}

GuiHost::~GuiHost() {
    DestroyWindow(window_);
    pumpMessages();
}

LRESULT CALLBACK GuiHost::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<GuiHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == WM_KEYDOWN) {
        self->keys_.push_back({wParam, lParam});
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<ForwardedKey> GuiHost::takeForwardedKeys() {
    pumpMessages();
    std::vector<ForwardedKey> out;
    out.swap(keys_);
    return out;
}

std::string clipboardText() {
    if (!OpenClipboard(nullptr)) return "(clipboard busy)";
    std::string text = "(none)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto* p = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = u8(p);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

HeldKeys::HeldKeys(std::initializer_list<int> keys) {
    GetKeyboardState(saved_);
    BYTE state[256];
    GetKeyboardState(state);
    for (int k : keys) state[k] |= 0x80;
    SetKeyboardState(state);
}

HeldKeys::~HeldKeys() { SetKeyboardState(saved_); }

void answerContextMenu(HWND view, qm::MenuTracker choose, POINT screen) {
    const qm::MenuTracker saved = qm::menuTracker;
    qm::menuTracker = choose;
    SendMessageW(view, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(view), MAKELPARAM(screen.x, screen.y));
    qm::menuTracker = saved;
}

double seconds() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return double(t.QuadPart) / double(f.QuadPart);
}

bool Pixels::contains(COLORREF colour, const RECT& area) const {
    const uint32_t want = dibPixel(colour);
    for (int y = std::max(0L, area.top); y < std::min<long>(height, area.bottom); ++y)
        for (int x = std::max(0L, area.left); x < std::min<long>(width, area.right); ++x)
            if ((at(x, y) & 0xFFFFFF) == want) return true;
    return false;
}

Pixels render(HWND window) {
    Pixels p;
    EXPECT_TRUE(qm::captureClient(window, p)) << "no canvas for the window's picture";
    return p;
}

std::wstring useFreshSettings(const std::wstring& name) {
    const std::wstring path = tempFolder() + L"\\" + name;
    DeleteFileW(path.c_str());
    qm::settingsPath = path;
    return path;
}

void PluginWindowTest::TearDown() {
    close();
    pumpMessages();
}

std::string PluginWindowTest::selectedPath() const {
    return main->selected ? u8(qm::nodePath(main->selected, main->document->format)) : "(none)";
}

std::vector<std::string> PluginWindowTest::sourceLines() const {
    std::vector<std::string> out;
    const qm::SourceText& source = main->sourcePane.source;
    for (size_t i = 0; i < source.lineCount(); ++i) out.push_back(u8(source.line(i)));
    return out;
}

void runFilter(qm::MainWindow& main) {
    using Step = qm::MainWindow::FilterRun::Step;
    while (main.filterRun)
        SendMessageW(main.window, WM_TIMER, main.filterRun->step == Step::Building ? qm::kGridBuildTimer : qm::kFilterTimer, 0);
}

void PluginWindowTest::close() {
    if (window) qm::ListerClose(window);
    window = nullptr;
    main = nullptr;
}

void PluginWindowTest::freshSettings() {
    static int counter = 0;
    settings = useFreshSettings(L"gui-" + std::to_wstring(++counter) + L".ini");
}

void PluginWindowTest::setSetting(const wchar_t* key, int value) const {
    WritePrivateProfileStringW(L"Quillmap", key, std::to_wstring(value).c_str(), settings.c_str());
}

bool PluginWindowTest::open(const std::wstring& path, int flags) {
    window = qm::ListerLoad(host.window(), path, flags);
    main = qm::FindMainWindow(window);
    if (!main) return false;
    SetFocus(main->ActiveViewWindow());
    pumpMessages();
    return true;
}

bool PluginWindowTest::openText(const std::wstring& name, const std::string& text, int flags) {
    return open(writeTempFile(name, text), flags);
}

// ---- answering the modal loops ----

namespace {

constexpr UINT kModalTickMs = 10;
// A modal loop that no answer can reach (its field never took the focus, say) would keep the
// test waiting for ever: after this many idle ticks the focused window gets an Escape.
constexpr int kModalPatienceTicks = 500;
constexpr int kModalStallTicks = 1000;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr wchar_t kTickClass[] = L"QuillmapTestTicks";
constexpr UINT kTickMessage = WM_APP + 1;

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    if (window) GetClassNameW(window, name, 64);
    return name;
}

std::string textOf(HWND window) {
    if (!window) return "(none)";
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return u8(text);
}

struct ClassSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK matchClass(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<ClassSearch*>(data);
    if (!IsWindowVisible(window) || lstrcmpiW(classOf(window).c_str(), s->className) != 0) return TRUE;
    s->found = window;
    return FALSE;
}

// A visible top-level window of this thread with that class.
HWND threadWindow(const wchar_t* className) {
    ClassSearch search{className, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), matchClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool isView(HWND window) {
    const std::wstring name = classOf(window);
    return name == L"QuillmapTree" || name == L"QuillmapGrid" || name == L"QuillmapSource";
}

BOOL CALLBACK matchField(HWND child, LPARAM data) {
    if (lstrcmpiW(classOf(child).c_str(), L"Edit") != 0 || !isView(GetParent(child))) return TRUE;
    *reinterpret_cast<HWND*>(data) = child;
    return FALSE;
}

BOOL CALLBACK searchTopLevel(HWND top, LPARAM data) {
    EnumChildWindows(top, matchField, data);
    return *reinterpret_cast<HWND*>(data) == nullptr;
}

// The in-place field: an EDIT lying on one of the views of a window of this thread (found without
// the focus, which another program on the same desktop may have taken).
HWND inPlaceField() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), searchTopLevel, reinterpret_cast<LPARAM>(&found));
    return found;
}

}  // namespace

EditorAnswer::EditorAnswer(bool (*answer)(qm::MainWindow&, std::wstring&)) : saved_(qm::valueEditorOverride) {
    qm::valueEditorOverride = answer;
}

EditorAnswer::~EditorAnswer() { qm::valueEditorOverride = saved_; }

ModalDriver::ModalDriver(std::vector<ModalAnswer> answers) : answers_(std::move(answers)) {
    ticks_ = CreateWindowExW(0, kTickClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             registerTestClass(kTickClass, tickProc), nullptr);
    SetWindowLongPtrW(ticks_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    prime();
    ticker_ = std::thread([this] {
        int waited = 0;
        while (!stop_) {
            Sleep(kModalTickMs);
            if (!tickPending_.exchange(true)) {
                waited = 0;
                PostMessageW(ticks_, kTickMessage, 0, 0);
            } else if (++waited == kModalStallTicks) {
                // The test's thread takes no messages at all any more (seen under Wine in full
                // runs, in the in-place field's loop): no answer can reach the loop it waits in,
                // so the run ends here with a failure instead of waiting for ever.
                fprintf(stderr, "ModalDriver: the test's thread has taken no message for %d ms; ending the run\n",
                        waited * static_cast<int>(kModalTickMs));
                fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }
    });
}

ModalDriver::~ModalDriver() {
    stop_ = true;
    ticker_.join();
    DestroyWindow(ticks_);
    if (keysSet_) SetKeyboardState(keys_);
}

LRESULT CALLBACK ModalDriver::tickProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* driver = reinterpret_cast<ModalDriver*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != kTickMessage || !driver) return DefWindowProcW(window, message, wParam, lParam);
    // Under Wine a thread waiting in GetMessageW was seen not to wake for messages posted by the
    // helper thread (in full runs, after the settings tests had started Unix programs); a tick
    // the thread posts itself is waiting in its queue before the loop asks for the next message.
    if (driver->step()) PostMessageW(window, kTickMessage, 0, 0);
    else driver->tickPending_ = false;
    return 0;
}

void ModalDriver::prime() {
    // One tick at a time: a second one would answer the same window twice.
    if (!tickPending_.exchange(true)) PostMessageW(ticks_, kTickMessage, 0, 0);
}

bool ModalDriver::step() {
    if (keysSet_) {
        SetKeyboardState(keys_);
        keysSet_ = false;
    }
    HWND box = threadWindow(L"#32770");
    HWND dialog = box ? nullptr : threadWindow(L"QuillmapEdit");
    HWND field = box ? nullptr : dialog ? FindWindowExW(dialog, nullptr, L"Edit", nullptr) : inPlaceField();
    if (!box && !field) {
        if (++idleTicks_ < kModalPatienceTicks) return false;
        idleTicks_ = 0;
        HWND focus = GetFocus();
        fprintf(stderr, "ModalDriver: nothing to answer, the focus is on a \"%s\"\n", u8(classOf(focus)).c_str());
        if (focus) PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 1);
        seen.push_back(ModalSeen{});
        return false;
    }
    idleTicks_ = 0;

    ModalSeen now;
    if (box) {
        now.kind = ModalSeen::Box;
        now.text = textOf(GetDlgItem(box, kMessageBoxTextId));
        now.caption = textOf(box);
    } else if (dialog) {
        now.kind = ModalSeen::Dialog;
        now.text = textOf(field);
        now.caption = textOf(FindWindowExW(dialog, nullptr, L"Static", nullptr));
        now.multiLine = (GetWindowLongW(field, GWL_STYLE) & ES_MULTILINE) != 0;
    } else {
        now.kind = ModalSeen::Field;
        now.text = textOf(field);
        now.parent = GetParent(field);
        GetWindowRect(field, &now.rect);
        MapWindowPoints(nullptr, now.parent, reinterpret_cast<POINT*>(&now.rect), 2);
    }
    seen.push_back(now);

    if (next_ >= answers_.size()) {  // not expected: cancel it
        if (box) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        else PostMessageW(field, WM_KEYDOWN, VK_ESCAPE, 1);
        return true;
    }
    const ModalAnswer& answer = answers_[next_++];
    if (answer.typed && field) SetWindowTextW(field, answer.typed);
    switch (answer.action) {
        case ModalAnswer::Key:
        case ModalAnswer::CtrlKey: {
            // Ctrl as the answer says (the gesture that opened the editor may have held it) until
            // the next tick: the posted key is handled before it.
            GetKeyboardState(keys_);
            BYTE state[256];
            std::memcpy(state, keys_, sizeof state);
            state[VK_CONTROL] = answer.action == ModalAnswer::CtrlKey ? 0x80 : 0;
            SetKeyboardState(state);
            keysSet_ = true;
            PostMessageW(field ? field : box, WM_KEYDOWN, answer.code, 1);
            break;
        }
        case ModalAnswer::FocusAway:
            SetFocus(field);
            SetFocus(GetParent(field));
            break;
        case ModalAnswer::Button: PostMessageW(box ? box : dialog, WM_COMMAND, answer.code, 0); break;
    }
    return true;
}

}  // namespace qmtest
