// Drawing operations shared by every window of the plug-in, RAII guards for GDI objects and
// device contexts, and the buffered painting that WM_PAINT and WM_PRINTCLIENT share.
#pragma once

#include <windows.h>

#include <string>

namespace qm {

// Owns one GDI object (font, brush, pen, bitmap, region) and deletes it. It reads as its handle
// wherever GDI takes one, so an owner can hand its fonts and brushes out as they are.
template <class Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle h) : handle_(h) {}
    ~GdiObject() { reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : handle_(other.release()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Handle get() const { return handle_; }
    operator Handle() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    Handle release() {
        Handle h = handle_;
        handle_ = nullptr;
        return h;
    }
    void reset(Handle h = nullptr) {
        if (handle_) DeleteObject(handle_);
        handle_ = h;
    }

private:
    Handle handle_ = nullptr;
};

using FontHandle = GdiObject<HFONT>;
using BrushHandle = GdiObject<HBRUSH>;
using PenHandle = GdiObject<HPEN>;
using BitmapHandle = GdiObject<HBITMAP>;

// Selects an object into a device context and puts the previous one back.
class SelectObjectGuard {
public:
    SelectObjectGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~SelectObjectGuard() {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectObjectGuard(const SelectObjectGuard&) = delete;
    SelectObjectGuard& operator=(const SelectObjectGuard&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Limits drawing to a rectangle (within the clipping already set) until the end of the scope.
class ClipGuard {
public:
    ClipGuard(HDC dc, const RECT& rect) : dc_(dc), saved_(SaveDC(dc)) {
        IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
    }
    ~ClipGuard() {
        if (saved_) RestoreDC(dc_, saved_);
    }
    ClipGuard(const ClipGuard&) = delete;
    ClipGuard& operator=(const ClipGuard&) = delete;

private:
    HDC dc_;
    int saved_;
};

// The screen's device context (GetDC(nullptr)), released at the end of the scope.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// A memory device context compatible with `dc` (the screen for null), deleted at the end.
class MemoryDc {
public:
    explicit MemoryDc(HDC dc = nullptr) : dc_(CreateCompatibleDC(dc)) {}
    ~MemoryDc() {
        if (dc_) DeleteDC(dc_);
    }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// A one-pixel-high line from x1 (included) to x2 (excluded) at y.
void fillHLine(HDC dc, int x1, int x2, int y, COLORREF colour);
// A one-pixel frame just inside `rect`.
void frameRect(HDC dc, const RECT& rect, COLORREF colour);
// A rounded rectangle filled with `fill` and outlined with `pen`; corner ellipses 2 × radius.
void fillRoundRect(HDC dc, const RECT& rect, int radius, COLORREF fill, COLORREF pen);
// DrawTextW with the caller's flags plus DT_NOPREFIX, transparent background. Empty text draws nothing.
void drawText(HDC dc, const std::wstring& text, const RECT& rect, COLORREF colour, HFONT font, UINT format);
// Width in pixels of `text` in `font` (0 for empty text).
int measureText(HDC dc, const std::wstring& text, HFONT font);
// Whether `font` has a glyph of its own for `glyph` (not the missing-glyph box).
bool fontHasGlyph(HDC dc, HFONT font, wchar_t glyph);
// One icon glyph centred in `rect`. Where the font lacks it, its line drawing (appearance/glyphs.h)
// in the font's em square, so that a system without the icon font shows the icon and not a box.
void drawGlyph(HDC dc, wchar_t glyph, const RECT& rect, COLORREF colour, HFONT font);

// Buffered painting: construct at WM_PAINT with printDc null (BeginPaint/EndPaint), or at
// WM_PRINTCLIENT with the DC given in wParam. Draw into dc() over client(); the destructor copies
// the buffer to the target with SRCCOPY and frees it. Both messages thus run one drawing path.
class BufferedPaint {
public:
    BufferedPaint(HWND window, HDC printDc);
    ~BufferedPaint();
    BufferedPaint(const BufferedPaint&) = delete;
    BufferedPaint& operator=(const BufferedPaint&) = delete;

    HDC dc() const { return memory_; }
    const RECT& client() const { return client_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    bool painting_ = false;  // BeginPaint was called
    HDC target_ = nullptr;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previousBitmap_ = nullptr;
    RECT client_{};
};

}  // namespace qm
