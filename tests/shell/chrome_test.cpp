// Toolbar and status bar as data: item order and placement for each "Buttons"/"Search" mode,
// the narrow-window rule, activity by view, hit testing, and the status texts.
#include <gtest/gtest.h>

#include "document/language.h"
#include "shell/chrome.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

ChromeInput input(int width, int buttons, int search, bool open = false) {
    ChromeInput in;
    in.width = width;
    in.height = 400;
    in.buttonsMode = buttons;
    in.searchMode = search;
    in.searchOpen = open;
    in.scale = [](int dips) { return dips; };
    in.labelWidth = [](const std::wstring& s) { return int(s.size()) * 7; };
    return in;
}

std::vector<int32_t> actions(const ChromeLayout& l) {
    std::vector<int32_t> out;
    for (const ChromeItem& i : l.items) out.push_back(i.action);
    return out;
}

}  // namespace

TEST(ChromeLayout, TopStripWithSearchField) {
    ChromeLayout l = layoutChromeItems(input(1200, 1, 1));
    EXPECT_EQ(actions(l), (std::vector<int32_t>{6, 1, 2, 3, 10, 11, 12, 13, 14, 4, 5, 7, 8}));
    EXPECT_EQ(l.toolbar.bottom, 40);
    EXPECT_EQ(l.status.top, 370);
    EXPECT_EQ(l.view.top, 40);
    EXPECT_EQ(l.view.bottom, 370);
    // Tabs form one segmented control: Grid starts where Tree ends; Source + 4 before the search.
    EXPECT_EQ(l.items[1].rect.left, 8);
    EXPECT_EQ(l.items[1].rect.right, 8 + 4 * 7 + 48);
    EXPECT_EQ(l.items[2].rect.left, l.items[1].rect.right);
    EXPECT_EQ(l.items[4].rect.left, l.items[3].rect.right + 4 + 10);
    EXPECT_EQ(l.searchField.width(), 190);
    EXPECT_EQ(l.items[9].rect.left, l.items[8].rect.right + 12);
    // Switches right-aligned to W - 8.
    EXPECT_EQ(l.items[11].rect.right, 1200 - 8);
    EXPECT_EQ(l.items[12].rect.right, 1200 - 8);
    // About icon centred in the status bar.
    EXPECT_EQ(l.items[0].rect.left, 6);
    EXPECT_EQ(l.items[0].rect.top, 370 + 2);
}

TEST(ChromeLayout, NarrowWindowOmitsTheSearchGroup) {
    ChromeLayout l = layoutChromeItems(input(500, 1, 1));
    EXPECT_EQ(actions(l), (std::vector<int32_t>{6, 1, 2, 3, 4, 5, 7, 8}));
    EXPECT_TRUE(l.searchField.empty());
}

TEST(ChromeLayout, SearchButtonModeOpensTheFieldOnlyWhenOpen) {
    EXPECT_EQ(actions(layoutChromeItems(input(1400, 2, 2, false))), (std::vector<int32_t>{6, 1, 2, 3, 9, 4, 5, 7, 8}));
    ChromeLayout open = layoutChromeItems(input(1400, 2, 2, true));
    EXPECT_EQ(actions(open), (std::vector<int32_t>{6, 1, 2, 3, 9, 10, 11, 12, 13, 14, 4, 5, 7, 8}));
    EXPECT_EQ(open.searchField.width(), 150);
    EXPECT_EQ(open.toolbar.bottom, 0);  // no strip: the buttons sit in the status bar
    EXPECT_EQ(open.items[1].rect.left, 40);
    EXPECT_EQ(open.items[4].rect.top, 370 + 3);
    // Both switches at the same place in the status bar.
    EXPECT_EQ(open.items[12].rect.left, open.items[13].rect.left);
}

// The search field is never left out while room can be made: first a narrower field, then
// Expand all and Collapse all as icons, then the switches without labels; where even that does
// not do, the field goes, and the labels come back where they fit. Nothing is pushed past the
// window's edge.
TEST(ChromeLayout, RoomIsMadeForTheSearchFieldBeforeItIsLeftOut) {
    struct Case {
        int width;
        int field;  // 0: no field
        bool iconButtons, iconSwitches;
    } cases[] = {
        {1200, 190, false, false}, {1000, 190, true, false}, {900, 149, true, false},
        {700, 156, true, true},    {600, 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        const ChromeLayout l = layoutChromeItems(input(c.width, 1, 1));
        EXPECT_EQ(l.searchField.width(), c.field);
        for (const ChromeItem& item : l.items) {
            if (item.action == kActionExpandAll || item.action == kActionCollapseAll) {
                EXPECT_EQ(item.iconOnly, c.iconButtons);
            }
            if (item.action == kActionAutoFit || item.action == kActionCounts) {
                EXPECT_EQ(item.iconOnly, c.iconSwitches);
            }
            EXPECT_FALSE(item.label.empty() && item.action != kActionAbout && item.action != kActionSearchField)
                << "an icon keeps its label for the tooltip";
        }
    }
    // From 700 pixels, at 100 % and 150 %, buttons at the top or in the status bar: each item
    // starts where the one before it ends (the two switches share one place) and none reaches
    // past the right edge.
    for (int percent : {100, 150})
        for (int buttons : {1, 2})
            for (int width = 700; width <= 1500; width += 10) {
                ChromeInput in = input(width, buttons, 1);
                in.scale = [percent](int dips) { return dips * percent / 100; };
                in.labelWidth = [percent](const std::wstring& text) { return int(text.size()) * 7 * percent / 100; };
                const ChromeLayout l = layoutChromeItems(in);
                SCOPED_TRACE(std::to_string(width) + " px, " + std::to_string(percent) + " %, buttons " + std::to_string(buttons));
                ASSERT_GE(l.items.size(), 3u);
                for (size_t i = 2; i + 1 < l.items.size(); ++i)
                    EXPECT_GE(l.items[i].rect.left, l.items[i - 1].rect.right) << "item " << l.items[i].action;
                for (const ChromeItem& item : l.items) EXPECT_LE(item.rect.right, width) << "item " << item.action;
            }
}

TEST(ChromeLayout, HiddenButtonsLeaveOnlyTheAboutIcon) {
    ChromeLayout l = layoutChromeItems(input(1200, 0, 1));
    EXPECT_EQ(actions(l), (std::vector<int32_t>{6}));
    EXPECT_TRUE(l.searchField.empty());
    EXPECT_EQ(l.view.top, 0);
}

TEST(ChromeLayout, ActivityByViewAndHitTest) {
    struct Case {
        int32_t action;
        bool tree, grid, source;
    } cases[] = {{kActionExpandAll, true, true, false}, {kActionCollapseAll, true, true, false},
                 {kActionAutoFit, false, true, false},  {kActionCounts, true, false, false},
                 {kActionTreeTab, true, true, true},    {kActionRegexToggle, true, true, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(isItemActive(c.action, 0), c.tree) << c.action;
        EXPECT_EQ(isItemActive(c.action, 1), c.grid) << c.action;
        EXPECT_EQ(isItemActive(c.action, 2), c.source) << c.action;
    }
    ChromeLayout l = layoutChromeItems(input(1400, 2, 1));
    const ChromeItem& sw = l.items.back();
    int x = sw.rect.left + 1, y = sw.rect.top + 1;
    // AutoFit and Counts overlap in the status bar: the view decides which one is hit.
    EXPECT_EQ(l.items[hitTestItems(l.items, 1, x, y)].action, kActionAutoFit);
    EXPECT_EQ(l.items[hitTestItems(l.items, 0, x, y)].action, kActionCounts);
    EXPECT_EQ(hitTestItems(l.items, 2, x, y), -1);
    EXPECT_EQ(hitTestItems(l.items, 0, 1399, 5), -1);
}

TEST(ChromeStatus, ThousandsAndTexts) {
    EXPECT_EQ(FormatThousands(0), L"0");
    EXPECT_EQ(FormatThousands(999), L"999");
    EXPECT_EQ(FormatThousands(1234567), L"1,234,567");
    {
        qmtest::LanguageGuard german(true);
        EXPECT_EQ(FormatThousands(12345), L"12.345");
    }

    Document doc;
    doc.root = createNode(doc, NodeKind::Root, nullptr, 0);
    doc.format = DocumentFormat::Json;
    doc.encoding = L"UTF-8";
    for (int i = 0; i < 1234; ++i) createNode(doc, NodeKind::Number, doc.root, 1);
    EXPECT_EQ(statusText(doc), L"JSON  \u00B7  UTF-8  \u00B7  1,234 nodes");
    Document one;
    one.root = createNode(one, NodeKind::Root, nullptr, 0);
    one.format = DocumentFormat::Json;
    one.encoding = L"UTF-8";
    createNode(one, NodeKind::Number, one.root, 1);
    EXPECT_EQ(statusText(one), L"JSON  \u00B7  UTF-8  \u00B7  1 node");
    EXPECT_EQ(filterProgressText(40), L"Filtering\u2026 40 % (Esc stops)");
    EXPECT_EQ(copyProgressText(7), L"Copying the table\u2026 7 % (Esc stops)");
    EXPECT_EQ(searchProgressText(93), L"Searching\u2026 93 % (Esc stops)");
    {
        qmtest::LanguageGuard german(true);
        EXPECT_EQ(statusText(one), L"JSON  \u00B7  UTF-8  \u00B7  1 Knoten");
        EXPECT_EQ(filterProgressText(40), L"Filtern\u2026 40 % (Esc bricht ab)");
        EXPECT_EQ(copyProgressText(7), L"Tabelle wird kopiert\u2026 7 % (Esc bricht ab)");
        EXPECT_EQ(searchProgressText(93), L"Suchen\u2026 93 % (Esc bricht ab)");
    }
    doc.modified = true;
    doc.format = DocumentFormat::Registry;
    qmtest::LanguageGuard german(true);
    EXPECT_EQ(statusText(doc), L"Ge\u00E4ndert (Strg+S speichert)  \u00B7  Registrierung  \u00B7  UTF-8  \u00B7  1.234 Knoten");
    doc.errorMessage = L"Unerwartetes Zeichen";
    doc.errorLine = 7;
    EXPECT_EQ(statusText(doc), L"Zeile 7: Unerwartetes Zeichen");
}
