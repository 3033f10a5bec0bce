// Window pictures in a DIB section: the canvas, and printing a window alone or with its children.
#include "appearance/capture_win.h"

#include <algorithm>

namespace qm {

namespace {

HBITMAP createDib(HDC dc, int width, int height, uint32_t*& bits) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &memory, nullptr, 0);
    bits = bitmap ? static_cast<uint32_t*>(memory) : nullptr;
    return bitmap;
}

// At least one pixel each way, the client size of `window`.
SIZE clientSize(HWND window) {
    RECT rc{};
    GetClientRect(window, &rc);
    return SIZE{std::max(1L, rc.right), std::max(1L, rc.bottom)};
}

bool readPixels(const DibCanvas& canvas, WindowPixels& out) {
    const uint32_t* pixels = canvas.pixels();
    out.width = canvas.width();
    out.height = canvas.height();
    out.data.assign(pixels, pixels + static_cast<size_t>(canvas.width()) * static_cast<size_t>(canvas.height()));
    return true;
}

// Prints a window and then its visible children at their offsets. Wine's DefWindowProc does not
// print children for PRF_CHILDREN, and a system control may leave a clip region on the DC, so
// every window gets its own SaveDC / RestoreDC.
void printWithChildren(HDC dc, HWND frame, HWND window) {
    std::vector<HWND> stack{window};
    while (!stack.empty()) {
        HWND w = stack.back();
        stack.pop_back();
        if (w != window && !IsWindowVisible(w)) continue;
        RECT windowRect{};
        GetWindowRect(w, &windowRect);
        MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&windowRect), 2);
        POINT client{0, 0};
        ClientToScreen(w, &client);
        ScreenToClient(frame, &client);
        const int saved = SaveDC(dc);
        SetViewportOrgEx(dc, windowRect.left, windowRect.top, nullptr);
        SendMessageW(w, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT);
        RestoreDC(dc, saved);
        const int savedForClient = SaveDC(dc);
        SetViewportOrgEx(dc, client.x, client.y, nullptr);
        SendMessageW(w, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        RestoreDC(dc, savedForClient);
        // Children are listed top of the Z order first; print the bottom ones first.
        std::vector<HWND> children;
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) children.push_back(c);
        stack.insert(stack.end(), children.begin(), children.end());
    }
}

}  // namespace

DibCanvas::DibCanvas(int width, int height)
    : width_(width),
      height_(height),
      bitmap_(createDib(dc_.get(), width, height, bits_)),
      select_(dc_.get(), bitmap_) {}

const uint32_t* DibCanvas::pixels() const {
    GdiFlush();
    return bits_;
}

bool captureClient(HWND window, WindowPixels& out) {
    const SIZE size = clientSize(window);
    DibCanvas canvas(size.cx, size.cy);
    if (!canvas) return false;
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc()), PRF_CLIENT);
    return readPixels(canvas, out);
}

bool captureWithChildren(HWND frame, HWND window, WindowPixels& out) {
    const SIZE size = clientSize(frame);
    DibCanvas canvas(size.cx, size.cy);
    if (!canvas) return false;
    printWithChildren(canvas.dc(), frame, window);
    return readPixels(canvas, out);
}

}  // namespace qm
