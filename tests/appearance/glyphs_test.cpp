// The line drawings that stand in for icon glyphs when the icon font is missing: every glyph the
// plug-in draws has one, each stays on its grid, and it is placed in the font's em square.
#include <gtest/gtest.h>

#include <vector>

#include "appearance/glyphs.h"
#include "shell/chrome.h"

using namespace qm;

TEST(GlyphShapes, EveryIconThePluginDrawsHasADrawingOnItsGrid) {
    std::vector<wchar_t> used = {kGlyphChevronRight, kGlyphChevronDown, kGlyphTree};  // rows, the About tile
    for (int32_t action = kActionTreeTab; action <= kActionRegexToggle; ++action)
        if (wchar_t g = toolbarGlyph(action)) used.push_back(g);
    for (wchar_t g : used) {
        const GlyphShape shape = glyphShape(g);
        ASSERT_TRUE(shape) << "no drawing for U+" << std::hex << int(g);
        for (size_t i = 0; i < shape.count; ++i) {
            const GlyphStroke& s = shape.strokes[i];
            EXPECT_GE(s.count, 2) << std::hex << int(g) << " stroke " << i;
            EXPECT_LE(s.count, 3) << std::hex << int(g) << " stroke " << i;
            for (unsigned k = 0; k < s.count && k < 3; ++k) {
                EXPECT_TRUE(s.points[k].x >= 0 && s.points[k].x <= kGlyphGrid16 && s.points[k].y >= 0 &&
                            s.points[k].y <= kGlyphGrid16)
                    << std::hex << int(g) << " stroke " << i << " point " << k;
            }
            if (s.kind != GlyphStrokeKind::polyline) {
                EXPECT_TRUE(s.points[0].x < s.points[1].x && s.points[0].y < s.points[1].y)
                    << std::hex << int(g) << " box " << i << " is empty";
            }
        }
    }
    EXPECT_FALSE(glyphShape(L'A'));  // a letter is the font's own business
}

TEST(GlyphShapes, TheDrawingFillsTheEmSquareCentredAndNeverLeavesTheBox) {
    struct Case {
        const char* what;
        int left, top, right, bottom, em;
        int frameLeft, frameTop, size;
    };
    const Case cases[] = {
        {"em smaller than the box: centred", 10, 20, 26, 44, 10, 13, 27, 10},
        {"em taller than the box: the box's height", 0, 0, 40, 20, 30, 10, 0, 20},
        {"em wider than a narrow box: the box's width", 5, 0, 13, 30, 16, 5, 11, 8},
        {"an empty box draws nothing", 5, 5, 5, 20, 12, 5, 12, 0},
        {"a box turned inside out draws nothing", 9, 9, 3, 3, 12, 9, 9, 0},
    };
    for (const Case& c : cases) {
        const GlyphFrame f = glyphFrame(c.left, c.top, c.right, c.bottom, c.em);
        EXPECT_EQ(f.left, c.frameLeft) << c.what;
        EXPECT_EQ(f.top, c.frameTop) << c.what;
        EXPECT_EQ(f.size, c.size) << c.what;
        // The grid's far corner lands on the square's far corner, never beyond the box.
        EXPECT_EQ(f.x(kGlyphGrid16), f.left + f.size) << c.what;
        EXPECT_EQ(f.y(kGlyphGrid16), f.top + f.size) << c.what;
    }
}
