// The toolbar and status bar as plain data: which buttons exist, where they go for a window size
// and the "Buttons"/"Search" settings, which of them the current view shows, and the status-bar
// texts. The Windows side (chrome_win.cpp) paints and hit-tests these records.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "document/document.h"
#include "shell/match.h"
#include "shell/settings.h"

namespace qm {

// Geometry in DIPs: the layout.
constexpr int kStripHeight = 40;             // the top strip ("Buttons" at the top)
constexpr int kStatusHeight = 30;
constexpr int kAboutIconLeft = 6;
constexpr int kAboutIconSize = 26;
constexpr int kStripButtonLeft = 8;          // the first button in the top strip
constexpr int kStripButtonTop = 5;
constexpr int kStripButtonHeight = 30;
constexpr int kStatusButtonGap = 8;          // between the About icon and the buttons in the status bar
constexpr int kStatusButtonHeight = 24;
constexpr int kButtonPadding = 48;           // a button's width beyond its label
constexpr int kButtonGap = 4;                // after Source, Expand all and Collapse all
constexpr int kSwitchPadding = 62;           // a switch's width beyond its label
constexpr int kSwitchReserveGap = 12;        // kept free before the switches
constexpr int kStripRightInset = 8;          // the switches' right edge in the top strip
constexpr int kStatusRightReserve = 220;     // kept free for the status text in the status bar
constexpr int kSearchLead = 10;              // before the search group
constexpr int kSearchGap = 2;                // between the search group's items
constexpr int kSearchFieldWidthTop = 190;
constexpr int kSearchFieldWidthStatus = 150;
constexpr int kSearchFieldMinWidth = 100;    // a field squeezed to make room is never narrower
constexpr int kIconButtonWidth = 40;         // Expand all and Collapse all shown as icons only
constexpr int kIconSwitchWidth = 44;         // a switch shown without its label
constexpr int kSearchGroupTrail = 12;        // after the search group's place
constexpr int kStatusSwitchGap = 8;          // before the switches in the status bar

// Geometry in DIPs: the painting.
constexpr int kItemRadius = 4;               // hovered and pressed items, the search field, the tabs
constexpr int kTabInset = 2;                 // the tabs' highlight inside their rectangle
constexpr int kTabGroupRadius = 5;
constexpr int kTabBarHalfWidth = 8;          // the selected tab's accent bar
constexpr int kTabBarHeight = 3;
constexpr int kTabBarRadius = 1;
constexpr int kButtonGlyphLeft = 12;
constexpr int kButtonGlyphRight = 28;
constexpr int kButtonLabelLeft = 36;
constexpr int kSwitchLabelGap = 52;          // the label ends this far before the item's right edge
constexpr int kSwitchTrackWidth = 40;
constexpr int kSwitchTrackHeight = 20;
constexpr int kSwitchKnob = 12;
constexpr int kSwitchKnobHot = 14;
constexpr int kSwitchKnobInset = 4;
constexpr int kSearchBoxMargin = 4;          // the EDIT control's own left and right margins
constexpr int kSearchBoxInset = 8;           // the EDIT control inside the search field, left and right
constexpr int kSearchBoxExtraPixels = 2;     // the EDIT control's height beyond the font's (pixels)
constexpr int kStatusTextMinLeft = 40;
constexpr int kStatusTextGap = 14;           // after the last item in the status bar
constexpr int kStatusRightInset = 10;
constexpr int kStatusPathGap = 16;           // between the path and the status text
constexpr int kStatusPathMinWidth = 100;     // the path keeps this much beside a long status text

enum ToolbarAction : int32_t {
    kActionTreeTab = 1,
    kActionGridTab = 2,
    kActionSourceTab = 3,
    kActionExpandAll = 4,
    kActionCollapseAll = 5,
    kActionAbout = 6,
    kActionAutoFit = 7,
    kActionCounts = 8,
    kActionSearchButton = 9,
    kActionSearchField = 10,
    kActionPreviousMatch = 11,
    kActionNextMatch = 12,
    kActionRegexToggle = 13,
    kActionFilterToggle = 14,  // the funnel beside the regular-expression toggle
};

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct ChromeItem {
    int32_t action = 0;
    wchar_t glyph = 0;
    std::wstring label;
    Box rect;
    bool iconOnly = false;  // drawn without its label, which its tooltip shows
};

struct ChromeInput {
    int width = 0, height = 0;     // client size in pixels
    int buttonsMode = kButtonsTop;
    int searchMode = kSearchFieldShown;
    bool searchOpen = false;
    int statusTextWidth = 0;       // the right-hand status text; the status bar's items leave it room
    std::function<int(int)> scale;                        // DIPs to pixels
    std::function<int(const std::wstring&)> labelWidth;  // text width in the UI font
};

struct ChromeLayout {
    Box toolbar;
    Box status;
    Box view;                      // where the three view windows go
    std::vector<ChromeItem> items;
    Box searchField;               // empty when no search field was placed
};

// Places the items for the window size. Where the search field (when asked for) does not fit,
// room is made first by narrowing it down to kSearchFieldMinWidth, then by showing Expand all
// and Collapse all as icons, then the switches without their labels; only where even that is not
// enough is the field left out. Without a field, the buttons and then the switches likewise lose
// their labels rather than reach past the window's right edge.
ChromeLayout layoutChromeItems(const ChromeInput& in);
const wchar_t* toolbarLabel(int32_t action);
wchar_t toolbarGlyph(int32_t action);
// An item not active for the view (a ViewIndex) is neither drawn nor hit.
bool isItemActive(int32_t action, int view);
// The first active item containing the point, or -1.
int hitTestItems(const std::vector<ChromeItem>& items, int view, int x, int y);

// 12345 -> "12,345" (English) or "12.345" (German).
std::wstring FormatThousands(uint64_t n);
// The right-hand status text: the parse error, or modified mark, format, encoding and node count.
std::wstring statusText(const Document& doc);
// What the status bar says in place of the path after a search that could not answer: a search
// stopped for too much work, or an expression that cannot be used. Empty for the other outcomes,
// which the search field's frame shows alone.
const wchar_t* searchOutcomeText(SearchOutcome outcome);
// What the status bar says while the search box's filter is on: how many nodes matched.
std::wstring filterStatusText(size_t matched);
// What it says while a filter is worked out on a big file: how far it came, and that Escape stops it.
std::wstring filterProgressText(int percent);
// And while "Copy table" makes the text of a big table.
std::wstring copyProgressText(int percent);
// And while the rows of a big record table are sorted.
std::wstring sortProgressText(int percent);
// And while "Expand all" (or "Collapse all") lays out the grid of a big file.
std::wstring bulkProgressText(bool expand, int percent);
// And while the grid of a big file is built for a switch to it.
std::wstring gridBuildProgressText(int percent);
std::wstring sourceCopyProgressText(int percent);
std::wstring searchProgressText(int percent);

}  // namespace qm
