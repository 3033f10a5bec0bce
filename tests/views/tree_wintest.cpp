// The tree's chevrons and the icons of the toolbar where the icon font lacks them (Windows 7 and
// 8.1 have neither Segoe Fluent Icons nor Segoe MDL2 Assets): the line drawing appears in the
// chevron's place and colour, and not the font's missing-glyph box.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "appearance/draw_win.h"
#include "appearance/glyphs.h"
#include "appearance/palette.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "tests/shell/guihost.h"
#include "tests/support/winfiles.h"

using namespace qm;

namespace {

// A font of the system that has letters but none of the icon font's glyphs.
constexpr wchar_t kPlainFace[] = L"Tahoma";

// The inked pixels of one box: those that differ from the box's top-left pixel (the row's background).
struct Ink {
    int left = 0, top = 0, right = 0, bottom = 0;  // bounding box of the ink (right/bottom excluded)
    int count = 0;
    int colourCount = 0;                            // pixels of exactly the expected colour
    int rowsInRightColumn = 0, columnsInBottomRow = 0;
};

Ink inkIn(const qmtest::Pixels& px, const RECT& box, COLORREF colour) {
    Ink ink{box.right, box.bottom, box.left, box.top};
    const uint32_t background = px.at(box.left, box.top);
    auto inked = [&](int x, int y) { return px.at(x, y) != background; };
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            if (!inked(x, y)) continue;
            ++ink.count;
            if (px.at(x, y) == qmtest::dibPixel(colour)) ++ink.colourCount;
            ink.left = std::min<int>(ink.left, x), ink.right = std::max<int>(ink.right, x + 1);
            ink.top = std::min<int>(ink.top, y), ink.bottom = std::max<int>(ink.bottom, y + 1);
        }
    for (int y = ink.top; y < ink.bottom; ++y) ink.rowsInRightColumn += inked(ink.right - 1, y);
    for (int x = ink.left; x < ink.right; ++x) ink.columnsInBottomRow += inked(x, ink.bottom - 1);
    return ink;
}

class TreeWithoutIconFont : public ::testing::Test {
protected:
    void SetUp() override { qmtest::useFreshSettings(L"tree-glyphs.ini"); }
    void TearDown() override {
        if (window) ListerClose(window);
        qmtest::pumpMessages();
    }
    qmtest::GuiHost host;
    HWND window = nullptr;
};

}  // namespace

TEST_F(TreeWithoutIconFont, APlainFontLacksTheIconGlyphsButHasLetters) {
    MemoryDc dc;
    FontHandle plain(MakeFont(kPlainFace, 90, FW_NORMAL, 96));
    EXPECT_TRUE(fontHasGlyph(dc.get(), plain.get(), L'A'));
    for (wchar_t g : {kGlyphChevronRight, kGlyphChevronDown, kGlyphTree, kGlyphSearch, kGlyphInfo})
        EXPECT_FALSE(fontHasGlyph(dc.get(), plain.get(), g)) << std::hex << int(g);
}

TEST_F(TreeWithoutIconFont, TheChevronsAreDrawnAsChevronsInTheDimTextColour) {
    window = ListerLoad(host.window(), qmtest::writeTempFile(L"chevrons.json", R"({"a": {"b": 1}, "s": "x"})"), 0);
    MainWindow* main = FindMainWindow(window);
    ASSERT_NE(main, nullptr);
    Palette& pal = main->palette;
    pal.smallIconFont.reset(MakeFont(kPlainFace, 70, FW_NORMAL, pal.dpi));
    HWND tree = main->treePane.window;
    ASSERT_TRUE(main->treePane.rows.size() >= 2 && main->treePane.rows[0].expandable);
    const COLORREF dim = pal.color(ColorSlot::dimText);
    const RECT box{pal.scale(kTreeLeftMargin), 0, pal.scale(kTreeLeftMargin) + pal.scale(kTreeExpanderWidth),
                   pal.rowHeight - 1};

    // Closed: ">" — its right-most ink is a point at mid-height, where a box has a whole edge.
    Ink closed = inkIn(qmtest::render(tree), box, dim);
    ASSERT_GT(closed.count, 4) << "nothing drawn where the closed row's chevron goes";
    EXPECT_GT(closed.colourCount, 0) << "the chevron is not in the dim text colour";
    EXPECT_LE(closed.rowsInRightColumn, 2) << "a box, not a chevron: " << closed.rowsInRightColumn
                                           << " rows inked at its right edge of " << closed.bottom - closed.top;
    EXPECT_GE(closed.bottom - closed.top, 4);

    // Open: "v" — its lowest ink is a point at mid-width.
    main->treePane.ToggleRow(0);
    qmtest::pumpMessages();
    Ink open = inkIn(qmtest::render(tree), box, dim);
    ASSERT_GT(open.count, 4) << "nothing drawn where the open row's chevron goes";
    EXPECT_LE(open.columnsInBottomRow, 2) << "a box, not a chevron: " << open.columnsInBottomRow
                                          << " columns inked at its bottom of " << open.right - open.left;
    EXPECT_GE(open.right - open.left, 4);
}
