// A stand-in for the Lister window in the GUI tests: a top-level window that records the keys
// the plug-in forwards to it, plus helpers to load a file the way ListLoadW does, to hold
// modifier keys, and to read the pixels a window paints for WM_PRINTCLIENT.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "appearance/capture_win.h"
#include "shell/mainwindow.h"

namespace qmtest {

struct ForwardedKey {
    WPARAM key;
    LPARAM lParam;
};

class GuiHost {
public:
    GuiHost(int width = 800, int height = 600);
    ~GuiHost();
    GuiHost(const GuiHost&) = delete;
    GuiHost& operator=(const GuiHost&) = delete;

    HWND window() const { return window_; }
    // Handles the queued messages and returns the keys that reached the host since the last call.
    std::vector<ForwardedKey> takeForwardedKeys();

private:
    static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    std::vector<ForwardedKey> keys_;
};

// Pumps every queued message of the thread.
void pumpMessages();

// Ctrl / Shift held down for GetKeyState while the object lives.
class HeldKeys {
public:
    explicit HeldKeys(std::initializer_list<int> keys);
    ~HeldKeys();

private:
    BYTE saved_[256];
};

// The pixels of a window's client area as painted for WM_PRINTCLIENT (0x00RRGGBB each).
struct Pixels : qm::WindowPixels {
    // Whether any pixel of the rectangle has exactly this Windows colour (0x00BBGGRR).
    bool contains(COLORREF colour, const RECT& area) const;
};
// Fails the calling test when the picture cannot be made.
Pixels render(HWND window);
// A Windows colour value (0x00BBGGRR) as a DIB pixel (0x00RRGGBB).
inline uint32_t dibPixel(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// A private settings file for one test (deleted first), set as the process's settings path.
std::wstring useFreshSettings(const std::wstring& name);

}  // namespace qmtest
