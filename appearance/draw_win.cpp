// The shared GDI drawing operations and buffered painting.
#include "appearance/draw_win.h"

#include <algorithm>

#include "appearance/glyphs.h"

namespace qm {

void fillHLine(HDC dc, int x1, int x2, int y, COLORREF colour) {
    if (x2 <= x1) return;
    RECT r{x1, y, x2, y + 1};
    // ExtTextOutW with ETO_OPAQUE fills with the background colour without creating a brush.
    const COLORREF previous = SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    SetBkColor(dc, previous);
}

void frameRect(HDC dc, const RECT& rect, COLORREF colour) {
    BrushHandle brush(CreateSolidBrush(colour));
    if (brush) FrameRect(dc, &rect, brush.get());
}

void fillRoundRect(HDC dc, const RECT& rect, int radius, COLORREF fill, COLORREF pen) {
    BrushHandle brush(CreateSolidBrush(fill));
    PenHandle outline(CreatePen(PS_SOLID, 1, pen));
    SelectObjectGuard selectBrush(dc, brush.get());
    SelectObjectGuard selectPen(dc, outline.get());
    RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, 2 * radius, 2 * radius);
}

void drawText(HDC dc, const std::wstring& text, const RECT& rect, COLORREF colour, HFONT font, UINT format) {
    if (text.empty()) return;
    SelectObjectGuard selectFont(dc, font);
    const int previousMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF previousColour = SetTextColor(dc, colour);
    RECT r = rect;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_NOPREFIX);
    SetTextColor(dc, previousColour);
    SetBkMode(dc, previousMode);
}

int measureText(HDC dc, const std::wstring& text, HFONT font) {
    if (text.empty()) return 0;
    SelectObjectGuard selectFont(dc, font);
    SIZE size{};
    if (!GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size)) return 0;
    return size.cx;
}

bool fontHasGlyph(HDC dc, HFONT font, wchar_t glyph) {
    SelectObjectGuard selectFont(dc, font);
    WORD index = 0;
    return GetGlyphIndicesW(dc, &glyph, 1, &index, GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR && index != 0xFFFF;
}

namespace {

// The em square's height of the font selected in `dc`: the size an icon font's glyphs fill.
int emHeight(HDC dc, HFONT font) {
    SelectObjectGuard selectFont(dc, font);
    TEXTMETRICW tm{};
    if (!GetTextMetricsW(dc, &tm)) return 0;
    return tm.tmHeight - tm.tmInternalLeading;
}

void drawGlyphShape(HDC dc, const GlyphShape& shape, const GlyphFrame& f, COLORREF colour) {
    const int width = f.penWidth();
    LOGBRUSH brushStyle{BS_SOLID, colour, 0};
    PenHandle pen(ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND, width, &brushStyle, 0, nullptr));
    BrushHandle fill(CreateSolidBrush(colour));
    SelectObjectGuard selectPen(dc, pen.get());
    SelectObjectGuard selectBrush(dc, GetStockObject(NULL_BRUSH));
    for (size_t i = 0; i < shape.count; ++i) {
        const GlyphStroke& s = shape.strokes[i];
        const GlyphPoint* p = s.points;
        switch (s.kind) {
            case GlyphStrokeKind::polyline: {
                POINT points[3];
                for (unsigned k = 0; k < s.count; ++k) points[k] = POINT{f.x(p[k].x), f.y(p[k].y)};
                Polyline(dc, points, static_cast<int>(s.count));
                break;
            }
            case GlyphStrokeKind::ring: Ellipse(dc, f.x(p[0].x), f.y(p[0].y), f.x(p[1].x) + 1, f.y(p[1].y) + 1); break;
            case GlyphStrokeKind::dot: {
                RECT r{f.x(p[0].x), f.y(p[0].y), std::max(f.x(p[1].x), f.x(p[0].x) + 1),
                       std::max(f.y(p[1].y), f.y(p[0].y) + 1)};
                FillRect(dc, &r, fill.get());
                break;
            }
        }
    }
}

}  // namespace

void drawGlyph(HDC dc, wchar_t glyph, const RECT& rect, COLORREF colour, HFONT font) {
    const GlyphShape shape = glyphShape(glyph);
    if (shape && !fontHasGlyph(dc, font, glyph)) {
        drawGlyphShape(dc, shape, glyphFrame(rect.left, rect.top, rect.right, rect.bottom, emHeight(dc, font)), colour);
        return;
    }
    drawText(dc, std::wstring(1, glyph), rect, colour, font, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

BufferedPaint::BufferedPaint(HWND window, HDC printDc) : window_(window) {
    if (printDc) {
        target_ = printDc;
    } else {
        target_ = BeginPaint(window, &paint_);
        painting_ = true;
    }
    GetClientRect(window, &client_);
    const int width = std::max<int>(1, client_.right - client_.left);
    const int height = std::max<int>(1, client_.bottom - client_.top);
    memory_ = CreateCompatibleDC(target_);
    bitmap_ = CreateCompatibleBitmap(target_, width, height);
    if (memory_ && bitmap_) {
        previousBitmap_ = SelectObject(memory_, bitmap_);
    } else {
        // Without a buffer the drawing goes straight to the target rather than nowhere.
        if (memory_) DeleteDC(memory_);
        if (bitmap_) DeleteObject(bitmap_);
        memory_ = nullptr;
        bitmap_ = nullptr;
    }
    if (!memory_) memory_ = target_;
}

BufferedPaint::~BufferedPaint() {
    if (bitmap_) {
        BitBlt(target_, client_.left, client_.top, std::max<int>(1, client_.right - client_.left),
               std::max<int>(1, client_.bottom - client_.top), memory_, 0, 0, SRCCOPY);
        SelectObject(memory_, previousBitmap_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
    }
    if (painting_) EndPaint(window_, &paint_);
}

}  // namespace qm
