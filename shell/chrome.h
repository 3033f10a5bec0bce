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

namespace qm {

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
};

struct ChromeInput {
    int width = 0, height = 0;     // client size in pixels
    int buttonsMode = 1;           // 0 hidden, 1 top strip, 2 status bar
    int searchMode = 1;            // 0 none, 1 field always, 2 behind the search button
    bool searchOpen = false;
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

ChromeLayout layoutChromeItems(const ChromeInput& in);
const wchar_t* toolbarLabel(int32_t action);
wchar_t toolbarGlyph(int32_t action);
// An item not active for the view (0 Tree, 1 Grid, 2 Source) is neither drawn nor hit.
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

}  // namespace qm
