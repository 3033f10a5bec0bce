// The icon glyphs the plug-in draws (code points of Segoe Fluent Icons / Segoe MDL2 Assets) and
// a plain line drawing of each one. Windows 7 and 8.1 (and Wine) have neither icon font: where
// the chosen font lacks a glyph, the drawing stands in for it in the same place, size and colour.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

constexpr wchar_t kGlyphChevronDown = 0xE70D;   // an open row; "Expand all"; "Next match"
constexpr wchar_t kGlyphChevronUp = 0xE70E;     // "Collapse all"; "Previous match"
constexpr wchar_t kGlyphChevronRight = 0xE76C;  // a closed row
constexpr wchar_t kGlyphTree = 0xE8FD;          // the Tree tab and the About window's tile
constexpr wchar_t kGlyphGrid = 0xE80A;          // the Grid tab
constexpr wchar_t kGlyphSource = 0xE943;        // the Source tab
constexpr wchar_t kGlyphSearch = 0xE721;        // the search button
constexpr wchar_t kGlyphInfo = 0xE946;          // the status bar's About icon
constexpr wchar_t kGlyphFilter = 0xE71C;        // the search box's filter toggle

// The drawings are made on a square grid of this many units, scaled to the font's em square.
constexpr int kGlyphGrid16 = 16;

enum class GlyphStrokeKind : uint8_t {
    polyline,  // a line through points[0..count)
    ring,      // an ellipse outline in the box points[0]..points[1]
    dot,       // a filled rectangle from points[0] to points[1]
};

struct GlyphPoint {
    int8_t x, y;
};

struct GlyphStroke {
    GlyphStrokeKind kind;
    uint8_t count;
    GlyphPoint points[3];
};

struct GlyphShape {
    const GlyphStroke* strokes = nullptr;
    size_t count = 0;
    explicit operator bool() const { return count != 0; }
};

// The drawing for `glyph` (empty for a code point the plug-in does not use).
GlyphShape glyphShape(wchar_t glyph);

// Where a drawing goes: the square of side min(em, width, height) centred in the box, and the
// pixel a grid unit lands on.
struct GlyphFrame {
    int left = 0, top = 0, size = 0;
    int x(int unit) const { return left + (unit * size + kGlyphGrid16 / 2) / kGlyphGrid16; }
    int y(int unit) const { return top + (unit * size + kGlyphGrid16 / 2) / kGlyphGrid16; }
    // Line width in pixels: one up to 23 pixels, thicker as the glyph grows (the About tile).
    int penWidth() const { return size / 24 + 1; }
};
GlyphFrame glyphFrame(int left, int top, int right, int bottom, int em);

}  // namespace qm
