// Line drawings of the icon glyphs, on a 16-unit grid.
#include "appearance/glyphs.h"

#include <algorithm>

namespace qm {

namespace {

constexpr GlyphStroke line3(int x0, int y0, int x1, int y1, int x2, int y2) {
    return {GlyphStrokeKind::polyline, 3, {{int8_t(x0), int8_t(y0)}, {int8_t(x1), int8_t(y1)}, {int8_t(x2), int8_t(y2)}}};
}
constexpr GlyphStroke line2(int x0, int y0, int x1, int y1) {
    return {GlyphStrokeKind::polyline, 2, {{int8_t(x0), int8_t(y0)}, {int8_t(x1), int8_t(y1)}, {0, 0}}};
}
constexpr GlyphStroke box(GlyphStrokeKind kind, int x0, int y0, int x1, int y1) {
    return {kind, 2, {{int8_t(x0), int8_t(y0)}, {int8_t(x1), int8_t(y1)}, {0, 0}}};
}
constexpr GlyphStroke dot(int x0, int y0, int x1, int y1) { return box(GlyphStrokeKind::dot, x0, y0, x1, y1); }
constexpr GlyphStroke ring(int x0, int y0, int x1, int y1) { return box(GlyphStrokeKind::ring, x0, y0, x1, y1); }

constexpr GlyphStroke kChevronDown[] = {line3(3, 6, 8, 11, 13, 6)};
constexpr GlyphStroke kChevronUp[] = {line3(3, 10, 8, 5, 13, 10)};
constexpr GlyphStroke kChevronRight[] = {line3(6, 3, 11, 8, 6, 13)};
// A bulleted list, as the tree's rows.
constexpr GlyphStroke kTree[] = {dot(2, 3, 4, 5),  line2(6, 4, 14, 4),  dot(2, 7, 4, 9),
                                 line2(6, 8, 14, 8), dot(2, 11, 4, 13), line2(6, 12, 14, 12)};
// Four tiles.
constexpr GlyphStroke kGrid[] = {line3(2, 2, 7, 2, 7, 7), line3(7, 7, 2, 7, 2, 2), line3(9, 2, 14, 2, 14, 7),
                                 line3(14, 7, 9, 7, 9, 2), line3(2, 9, 7, 9, 7, 14), line3(7, 14, 2, 14, 2, 9),
                                 line3(9, 9, 14, 9, 14, 14), line3(14, 14, 9, 14, 9, 9)};
// Angle brackets around a slash.
constexpr GlyphStroke kSource[] = {line3(5, 4, 1, 8, 5, 12), line3(11, 4, 15, 8, 11, 12), line2(9, 3, 7, 13)};
// A magnifying glass.
constexpr GlyphStroke kSearch[] = {ring(2, 2, 11, 11), line2(10, 10, 14, 14)};
// A funnel.
constexpr GlyphStroke kFilter[] = {line3(1, 2, 15, 2, 9, 8), line3(1, 2, 7, 8, 7, 13), line2(9, 8, 9, 14)};
// An "i" in a circle.
constexpr GlyphStroke kInfo[] = {ring(1, 1, 15, 15), dot(7, 4, 9, 6), line2(8, 7, 8, 12)};

template <size_t N>
GlyphShape shape(const GlyphStroke (&strokes)[N]) {
    return GlyphShape{strokes, N};
}

}  // namespace

GlyphShape glyphShape(wchar_t glyph) {
    switch (glyph) {
        case kGlyphChevronDown: return shape(kChevronDown);
        case kGlyphChevronUp: return shape(kChevronUp);
        case kGlyphChevronRight: return shape(kChevronRight);
        case kGlyphTree: return shape(kTree);
        case kGlyphGrid: return shape(kGrid);
        case kGlyphSource: return shape(kSource);
        case kGlyphSearch: return shape(kSearch);
        case kGlyphInfo: return shape(kInfo);
        case kGlyphFilter: return shape(kFilter);
        default: return GlyphShape{};
    }
}

GlyphFrame glyphFrame(int left, int top, int right, int bottom, int em) {
    const int width = std::max(0, right - left), height = std::max(0, bottom - top);
    GlyphFrame f;
    f.size = std::max(0, std::min({em, width, height}));
    f.left = left + (width - f.size) / 2;
    f.top = top + (height - f.size) / 2;
    return f;
}

}  // namespace qm
