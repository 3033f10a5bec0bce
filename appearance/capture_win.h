// Pictures of windows without a screen: a window paints its client area into a 32-bit DIB for
// WM_PRINTCLIENT (every window of the plug-in paints through the same path as for WM_PAINT),
// and a window with its children is printed window by window at their offsets. The development
// host's screenshots and the GUI tests read the pixels back.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "appearance/draw_win.h"

namespace qm {

// A 32-bit top-down DIB section selected into a memory device context of its own, all black at
// the start. Both handles are freed with the canvas, also when only one of them could be made.
class DibCanvas {
public:
    DibCanvas(int width, int height);
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    // False when the device context or the bitmap could not be made (nothing can be drawn).
    explicit operator bool() const { return dc_.get() && bits_; }
    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixels, 0x00RRGGBB each, rows top-down; GDI's pending drawing is flushed first.
    const uint32_t* pixels() const;

private:
    int width_;
    int height_;
    uint32_t* bits_ = nullptr;
    MemoryDc dc_;
    BitmapHandle bitmap_;
    SelectObjectGuard select_;
};

// The pixels of a window picture, 0x00RRGGBB each, rows top-down.
struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
    uint32_t at(int x, int y) const { return data[static_cast<size_t>(y) * static_cast<size_t>(width) + x]; }
};

// `window`'s client area (at least 1 x 1 pixel) as it paints itself for WM_PRINTCLIENT. False
// when no canvas of that size could be made.
bool captureClient(HWND window, WindowPixels& out);
// `window` and its visible children, each printed where it lies in `frame`'s client area, which
// gives the picture its size. False when no canvas of that size could be made.
bool captureWithChildren(HWND frame, HWND window, WindowPixels& out);

}  // namespace qm
