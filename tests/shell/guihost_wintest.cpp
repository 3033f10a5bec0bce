// The helpers of guihost.h (a *_wintest.cpp file so that only the Windows test program has it).
#include "tests/shell/guihost.h"

#include <gtest/gtest.h>

#include "shell/lister.h"
#include "shell/module.h"
#include "shell/settings.h"
#include "tests/support/winfiles.h"

namespace qmtest {

namespace {
const wchar_t kHostClass[] = L"QuillmapTestHost";
}

GuiHost::GuiHost(int width, int height) {
    if (!qm::moduleHandle) qm::moduleHandle = GetModuleHandleW(nullptr);
    qm::RegisterWindowClasses();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kHostClass;
    RegisterClassExW(&wc);  // fails harmlessly after the first time
    window_ = CreateWindowExW(0, kHostClass, L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, width, height, nullptr,
                              nullptr, wc.hInstance, this);
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

}  // namespace qmtest
