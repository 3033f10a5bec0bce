// The toolbar, search box, status bar and About window driven as a user drives them: clicks on
// the hand-drawn buttons, typing and keys in the search box, the regular-expression switch, the
// red frame of a failed search, highlight colours in the rendered tree, German texts, and the
// host's search through ListSearchTextW.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "appearance/colour.h"
#include "document/language.h"
#include "edit/nodetext.h"
#include "shell/about.h"
#include "shell/chrome.h"
#include "shell/chrome_win.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "tests/shell/guihost.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;
using qmtest::u8;

namespace {

const char kCatalog[] =
    R"({"items": [{"name": "cat", "note": "concat"}, {"name": "dog", "note": "cat-5"}, {"name": "bird", "note": "a cat"}]})";

class SearchUi : public qmtest::PluginWindowTest {
protected:
    SearchUi() : PluginWindowTest(1000, 600) {}

    // Opens `text` as a file with the given "Buttons" and "Search" settings.
    void open(const std::string& text, int buttons = 1, int search = 1, const wchar_t* name = L"search.json") {
        freshSettings();
        setSetting(L"Buttons", buttons);
        setSetting(L"Search", search);
        ASSERT_TRUE(openText(name, text));
        // Wide enough for the whole search group; a child window may be wider than the screen
        // that limits the host's top-level window.
        MoveWindow(window, 0, 0, 1700, 500, TRUE);
        SetFocus(main->treePane.window);
        qmtest::pumpMessages();
    }

    int itemIndex(int32_t action) const {
        for (size_t i = 0; i < main->chrome.toolbarItems.size(); ++i)
            if (main->chrome.toolbarItems[i].action == action) return int(i);
        return -1;
    }
    void clickItem(int32_t action) {
        int i = itemIndex(action);
        ASSERT_GE(i, 0) << "no toolbar item " << action;
        const RECT& r = main->chrome.toolbarItems[size_t(i)].rect;
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(window, WM_LBUTTONUP, 0, at);
        qmtest::pumpMessages();
    }
    void typeSearch(const wchar_t* text) {
        ASSERT_NE(main->chrome.searchBox, nullptr);
        SetWindowTextW(main->chrome.searchBox, text);
        qmtest::pumpMessages();
    }
    void boxKey(WPARAM vk) {
        SendMessageW(main->chrome.searchBox, WM_KEYDOWN, vk, 1);
        qmtest::pumpMessages();
    }
    // The timer messages of a search that goes on in slices, to its end.
    void finishSearch() {
        for (int slice = 0; main->searchRun && slice < 1000; ++slice) SendMessageW(window, WM_TIMER, kSearchTimer, 0);
        ASSERT_FALSE(main->searchRun);
    }
    // A search for `text` that goes on in slices is stopped by Escape in the search box and in
    // `view`, leaving the selection where it was, and a timer message already queued does nothing.
    void expectEscapeStops(const wchar_t* text, HWND view) {
        const Node* selected = main->selected;
        for (HWND escapeIn : {main->chrome.searchBox, view}) {
            typeSearch(text);
            SendMessageW(main->chrome.searchBox, WM_KEYDOWN, VK_RETURN, 1);
            ASSERT_TRUE(main->searchRun);
            SendMessageW(escapeIn, WM_KEYDOWN, VK_ESCAPE, 1);
            EXPECT_FALSE(main->searchRun);
            SendMessageW(window, WM_TIMER, kSearchTimer, 0);
            EXPECT_EQ(main->selected, selected);
        }
    }
};

}  // namespace

TEST_F(SearchUi, EnterMovesFromMatchToMatchAndWraps) {
    open(kCatalog);
    typeSearch(L"cat");
    const char* expected[] = {"$.items[0].name", "$.items[0].note", "$.items[1].note", "$.items[2].note",
                              "$.items[0].name"};  // the last one wrapped around
    for (const char* path : expected) {
        boxKey(VK_RETURN);
        EXPECT_EQ(selectedPath(), path);
        EXPECT_FALSE(main->chrome.searchFailed);
    }
    {
        qmtest::HeldKeys shift{VK_SHIFT};
        boxKey(VK_RETURN);  // Shift+Enter goes back (and wraps to the last)
    }
    EXPECT_EQ(selectedPath(), "$.items[2].note");
    boxKey(VK_F3);
    EXPECT_EQ(selectedPath(), "$.items[0].name");
    clickItem(kActionNextMatch);
    EXPECT_EQ(selectedPath(), "$.items[0].note");
    clickItem(kActionPreviousMatch);
    EXPECT_EQ(selectedPath(), "$.items[0].name");

    typeSearch(L"zebra");
    boxKey(VK_RETURN);
    EXPECT_TRUE(main->chrome.searchFailed);
    EXPECT_EQ(selectedPath(), "$.items[0].name");  // nothing found: the selection stays
    typeSearch(L"");  // emptying the field clears the red frame and the highlighting
    EXPECT_FALSE(main->chrome.searchFailed);
    EXPECT_FALSE(main->highlight.highlightActive);

    boxKey(VK_ESCAPE);
    EXPECT_EQ(GetFocus(), main->treePane.window);
}

TEST_F(SearchUi, RegexToggleAndRedFrame) {
    open(kCatalog);
    EXPECT_FALSE(main->settings.searchRegex);
    clickItem(kActionRegexToggle);
    EXPECT_TRUE(main->settings.searchRegex);
    EXPECT_EQ(GetPrivateProfileIntW(L"Quillmap", L"SearchRegex", -1, settings.c_str()), 1);
    EXPECT_EQ(GetFocus(), main->chrome.searchBox);

    typeSearch(L"^b.r");
    boxKey(VK_RETURN);
    EXPECT_EQ(selectedPath(), "$.items[2].name");

    typeSearch(L"(cat");
    boxKey(VK_RETURN);
    EXPECT_TRUE(main->chrome.regexError);
    EXPECT_TRUE(main->chrome.searchFailed);
    EXPECT_FALSE(main->highlight.highlightActive);
    SetFocus(main->treePane.window);
    qmtest::Pixels pixels = qmtest::render(window);
    const RECT& field = main->chrome.toolbarItems[size_t(itemIndex(kActionSearchField))].rect;
    EXPECT_TRUE(pixels.contains(RGB(0xCC, 0x40, 0x40), field)) << "the field's frame is not red";

    typeSearch(L"c.t");
    boxKey(VK_RETURN);
    EXPECT_FALSE(main->chrome.searchFailed);
    pixels = qmtest::render(window);
    EXPECT_FALSE(pixels.contains(RGB(0xCC, 0x40, 0x40), field));
}

// A search that needs more work than one search may do stops, and the status bar says so in
// place of the path; a search that finds nothing only marks the field, and an invalid expression
// has its own text. The host gets "not found" for both.
TEST_F(SearchUi, StoppedSearchHasItsOwnStatusText) {
    open(u8(qmtest::jsonArray(400, [](size_t) { return L"\"" + std::wstring(150, L'a') + L"\""; })), 1, 1, L"expensive.json");
    clickItem(kActionRegexToggle);
    ASSERT_TRUE(main->settings.searchRegex);
    // The path region of the status bar: from the status bar's left to half its width.
    auto pathShowsWarning = [&] {
        SetFocus(main->treePane.window);
        qmtest::pumpMessages();
        qmtest::Pixels pixels = qmtest::render(window);
        RECT left = main->chrome.statusRect;
        left.right = (left.left + left.right) / 2;
        return pixels.contains(main->palette.color(ColorSlot::warning), left);
    };
    ASSERT_FALSE(pathShowsWarning()) << "the path is drawn in the warning colour before any search";

    struct Step {
        const wchar_t* search;
        SearchOutcome outcome;
        const wchar_t* english;
        const wchar_t* german;
    };
    const Step steps[] = {
        {L"(?:a{1,40}){1,20}b", SearchOutcome::Stopped, L"Search stopped: too much work. Narrow the search.",
         L"Suche abgebrochen: zu aufwendig. Suche eingrenzen."},
        {L"zebra", SearchOutcome::NotFound, L"", L""},
        {L"(cat", SearchOutcome::InvalidPattern, L"Invalid or unsupported regular expression",
         L"Ung\u00FCltiger oder nicht unterst\u00FCtzter regul\u00E4rer Ausdruck"},
        {L"a{150}", SearchOutcome::Found, L"", L""},
    };
    for (const Step& step : steps) {
        typeSearch(step.search);
        EXPECT_EQ(main->chrome.searchOutcome, SearchOutcome::Found) << "a changed search text clears the message";
        const double start = qmtest::seconds();
        boxKey(VK_RETURN);
        finishSearch();
        std::printf("figure: %s: %.0f ms\n", u8(step.search).c_str(), 1000.0 * (qmtest::seconds() - start));
        EXPECT_EQ(main->chrome.searchOutcome, step.outcome) << u8(step.search);
        EXPECT_EQ(main->chrome.searchFailed, step.outcome != SearchOutcome::Found) << u8(step.search);
        EXPECT_EQ(std::wstring(searchOutcomeText(main->chrome.searchOutcome)), step.english) << u8(step.search);
        {
            qmtest::LanguageGuard german(true);
            EXPECT_EQ(std::wstring(searchOutcomeText(main->chrome.searchOutcome)), step.german) << u8(step.search);
        }
        EXPECT_EQ(pathShowsWarning(), *step.english != 0) << u8(step.search);
    }
    // The host's search of the same expression: answered at once as it goes on in slices, then
    // the status bar tells why it found nothing.
    EXPECT_EQ(ListerSearchText(window, L"(?:a{1,40}){1,20}b", 1 | 16), 0);
    finishSearch();
    EXPECT_EQ(main->chrome.searchOutcome, SearchOutcome::Stopped);
}

TEST_F(SearchUi, HighlightColoursInTheTree) {
    open(R"({"alpha": "xx cat yy", "beta": "cat"})");
    typeSearch(L"cat");
    boxKey(VK_RETURN);
    ASSERT_EQ(selectedPath(), "$.alpha");
    SetFocus(main->treePane.window);
    qmtest::pumpMessages();
    const COLORREF background = main->palette.color(ColorSlot::background);
    const COLORREF current = blend(background, RGB(0xFF, 0x82, 0x00), main->palette.isDark ? 0.75 : 0.85);
    const COLORREF other = blend(background, RGB(0xFF, 0xBE, 0x00), main->palette.isDark ? 0.38 : 0.55);
    qmtest::Pixels tree = qmtest::render(main->treePane.window);
    RECT all{0, 0, tree.width, tree.height};
    EXPECT_TRUE(tree.contains(current, all)) << "no current-match band";
    EXPECT_TRUE(tree.contains(other, all)) << "no band for the other occurrence";
}

TEST_F(SearchUi, ButtonsSwitchViewsAndPressReleaseElsewhereDoesNothing) {
    open(kCatalog);
    clickItem(kActionGridTab);
    EXPECT_EQ(main->settings.activeView, kViewGrid);
    clickItem(kActionSourceTab);
    EXPECT_EQ(main->settings.activeView, kViewSource);
    EXPECT_EQ(itemIndex(kActionExpandAll) >= 0, true);
    // Expand/collapse and the switches cannot be hit in the Source view.
    const RECT& expand = main->chrome.toolbarItems[size_t(itemIndex(kActionExpandAll))].rect;
    LPARAM at = MAKELPARAM((expand.left + expand.right) / 2, (expand.top + expand.bottom) / 2);
    SendMessageW(window, WM_MOUSEMOVE, 0, at);
    EXPECT_EQ(main->chrome.hotItem, -1);
    clickItem(kActionTreeTab);
    EXPECT_EQ(main->settings.activeView, kViewTree);
    // Press on Grid, release on Source: nothing happens.
    const RECT& grid = main->chrome.toolbarItems[size_t(itemIndex(kActionGridTab))].rect;
    const RECT& source = main->chrome.toolbarItems[size_t(itemIndex(kActionSourceTab))].rect;
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grid.left + 3, grid.top + 3));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(source.left + 3, source.top + 3));
    EXPECT_EQ(main->settings.activeView, kViewTree);
    const bool counts = main->settings.showCounts;
    clickItem(kActionCounts);
    EXPECT_EQ(main->settings.showCounts, !counts);
}

TEST_F(SearchUi, SearchButtonOpensAndEscapeClosesTheField) {
    open(kCatalog, 2, 2);
    EXPECT_LT(itemIndex(kActionSearchField), 0);
    clickItem(kActionSearchButton);
    EXPECT_TRUE(main->chrome.searchOpen);
    ASSERT_GE(itemIndex(kActionSearchField), 0);
    EXPECT_EQ(GetFocus(), main->chrome.searchBox);
    boxKey(VK_ESCAPE);
    EXPECT_FALSE(main->chrome.searchOpen);
    EXPECT_LT(itemIndex(kActionSearchField), 0);
    EXPECT_FALSE(IsWindowVisible(main->chrome.searchBox));
}

// In the usual 1000-pixel Lister window the search field asked for is there: room is made for it
// (a narrower field, icons for Expand all and Collapse all) before it would be left out, and no
// item reaches past the window's edge.
TEST_F(SearchUi, TheSearchFieldShowsInAThousandPixelWindow) {
    open(kCatalog, 1, 1);
    MoveWindow(window, 0, 0, 1000, 700, TRUE);
    qmtest::pumpMessages();
    const int field = itemIndex(kActionSearchField);
    ASSERT_GE(field, 0) << "the field is left out";
    EXPECT_GE(main->chrome.toolbarItems[size_t(field)].rect.right - main->chrome.toolbarItems[size_t(field)].rect.left,
              main->palette.scale(kSearchFieldMinWidth));
    EXPECT_TRUE(main->chrome.searchBox && IsWindowVisible(main->chrome.searchBox));
    RECT client{};
    GetClientRect(window, &client);
    for (const ToolbarItem& item : main->chrome.toolbarItems) EXPECT_LE(item.rect.right, client.right) << item.action;
}

TEST_F(SearchUi, NarrowStatusBarHasNoRoomForTheSearchGroup) {
    open(kCatalog, 2, 2);
    MoveWindow(window, 0, 0, 600, 500, TRUE);
    EXPECT_LT(itemIndex(kActionSearchButton), 0);
    EXPECT_LT(itemIndex(kActionSearchField), 0);
    FocusSearchBox(*main);  // what the search key does: the field cannot be placed, so nothing
    EXPECT_LT(itemIndex(kActionSearchField), 0);
    EXPECT_TRUE(!main->chrome.searchBox || !IsWindowVisible(main->chrome.searchBox));
    EXPECT_NE(GetFocus(), main->chrome.searchBox);
}

TEST_F(SearchUi, HiddenButtonsLeaveTheAboutIconOnly) {
    open(kCatalog, 0, 1);
    ASSERT_EQ(main->chrome.toolbarItems.size(), 1u);
    EXPECT_EQ(main->chrome.toolbarItems[0].action, kActionAbout);
}

TEST_F(SearchUi, HostSearchFoundNotFoundAndEmpty) {
    open(kCatalog);
    EXPECT_EQ(ListerSearchText(window, L"dog", 1), 0);
    EXPECT_EQ(selectedPath(), "$.items[1].name");
    EXPECT_EQ(ListerSearchText(window, L"zebra", 1), 1);
    EXPECT_EQ(ListerSearchText(window, L"", 1), 1);
    // The host's search does not wrap: from the last "cat" forward there is none.
    EXPECT_EQ(ListerSearchText(window, L"a cat", 1), 0);
    EXPECT_EQ(ListerSearchText(window, L"a cat", 0), 1);
    // Whole words and match case come from the host's flags.
    EXPECT_EQ(ListerSearchText(window, L"CAT", 1 | 2), 1);
    EXPECT_EQ(ListerSearchText(window, L"cat", 1 | 4), 0);
    EXPECT_EQ(selectedPath(), "$.items[0].name");
    EXPECT_EQ(ListerSearchText(window, L"cat", 4), 0);
    EXPECT_EQ(selectedPath(), "$.items[1].note");  // cat-5 is a whole word, concat is not
    EXPECT_EQ(ListerSearchText(nullptr, L"cat", 1), 1);
}

TEST_F(SearchUi, StatusTextsInEnglishAndGerman) {
    open(kCatalog);
    EXPECT_EQ(statusText(*main->document), L"JSON  \u00B7  UTF-8  \u00B7  11 nodes");
    close();
    open("{\"a\": [1,\n, 2]}");
    EXPECT_EQ(statusText(*main->document), L"Line 2: Unexpected character");
    // The language is read when a text is produced: labels and status follow the flag at once.
    qmtest::LanguageGuard german(true);
    EXPECT_EQ(statusText(*main->document), L"Zeile 2: Unexpected character");
    main->document->errorMessage.clear();
    EXPECT_EQ(statusText(*main->document), L"JSON  \u00B7  UTF-8  \u00B7  3 Knoten");
    LayoutChrome(*main);
    EXPECT_EQ(main->chrome.toolbarItems[1].label, L"Baum");
    EXPECT_EQ(main->chrome.toolbarItems.back().label, L"Anzahl der Unterknoten anzeigen");
}

namespace {
int aboutShown = 0;
WPARAM aboutKey = 0;
HWND aboutWindow = nullptr;
void pressKeyInAbout(HWND about) {
    ++aboutShown;
    aboutWindow = about;
    EXPECT_TRUE(IsWindowVisible(about));
    wchar_t cls[32] = {};
    GetClassNameW(about, cls, 32);
    EXPECT_STREQ(cls, L"QuillmapAbout");
    // Hovering the link shows the underline and the hand cursor's state.
    PostMessageW(about, WM_KEYDOWN, aboutKey, 1);
}
}  // namespace

TEST_F(SearchUi, AboutOpensWithF1AndClosesWithEnterEscapeSpace) {
    open(kCatalog);
    aboutShownHook = pressKeyInAbout;
    int opened = 0;
    for (WPARAM key : {WPARAM(VK_RETURN), WPARAM(VK_ESCAPE), WPARAM(VK_SPACE)}) {
        aboutKey = key;
        SendMessageW(main->treePane.window, WM_KEYDOWN, VK_F1, 1);  // runs the modal loop until the key
        EXPECT_EQ(aboutShown, ++opened);
        EXPECT_TRUE(IsWindowEnabled(host.window())) << "the host stays disabled after the About window";
        EXPECT_FALSE(IsWindow(aboutWindow)) << "the About window outlives its loop";
    }
    aboutKey = VK_ESCAPE;
    clickItem(kActionAbout);
    EXPECT_EQ(aboutShown, opened + 1);
    aboutShownHook = nullptr;
}

// A figure, not a timed assertion: a search that finds nothing walks a million nodes.
TEST_F(SearchUi, MillionNodeSearchThatFindsNothing) {
    auto record = [](size_t i) { return L"{\"id\": " + std::to_wstring(i) + L", \"name\": \"item\", \"ok\": true}"; };
    open(u8(L"[" + qmtest::joined(250000, record, L",\n") + L"]"), 1, 1, L"million.json");
    ASSERT_GE(nodeCount(*main->document), 1000000u);
    for (int regex = 0; regex < 2; ++regex) {
        const double start = qmtest::seconds();
        const wchar_t* term = regex ? L"zz+y" : L"zzzz";
        // Lister is answered at once; the walk goes on in slices and ends with a notice.
        EXPECT_EQ(ListerSearchText(window, term, regex ? 1 | 16 : 1), 0);
        finishSearch();
        const double ms = 1000.0 * (qmtest::seconds() - start);
        EXPECT_EQ(main->chrome.searchOutcome, SearchOutcome::NotFound);
        EXPECT_EQ(main->chrome.notice, std::wstring(L"Not found: ") + term);
        std::printf("figure: %s search of %zu nodes that finds nothing: %.0f ms\n", regex ? "regex" : "plain",
                    nodeCount(*main->document), ms);
    }
}

// The funnel beside the regular-expression switch: Enter filters the Tree and the Grid, the
// status bar counts the matches, the same text again steps through them, and clearing the text
// or the switch brings back the full tree with the user's expansion and the selection revealed.
TEST_F(SearchUi, FilterShowsOnlyMatchesAndClearingRestoresTheTree) {
    open(kCatalog);
    const size_t fullRows = main->treePane.rows.size();
    const ExpandedSet expandedBefore = main->treePane.expanded;
    clickItem(kActionFilterToggle);
    EXPECT_TRUE(main->settings.searchFilter);
    EXPECT_EQ(GetPrivateProfileIntW(L"Quillmap", L"SearchFilter", -1, settings.c_str()), 1);
    EXPECT_FALSE(main->filter.active) << "no text, nothing filtered";

    typeSearch(L"dog");
    boxKey(VK_RETURN);
    ASSERT_TRUE(main->filter.active);
    EXPECT_EQ(main->filter.matched, 1u);
    EXPECT_EQ(selectedPath(), "$.items[1].name");
    std::string rows;
    for (const TreeRow& r : main->treePane.rows) rows += u8(nodeLabel(r.node)) + " ";
    EXPECT_EQ(rows, " items [1] name ");

    // The grid shows the one record.
    main->SwitchView(kViewGrid);
    main->gridPane.EnsureLayout();
    const GridBox* table = nullptr;
    for (const GridBox& b : main->gridPane.layout.boxes)
        if (b.type == GridBoxType::Table) table = &b;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->frame->records.size(), 1u);
    main->SwitchView(kViewTree);

    // Another text filters again; the same text steps from match to match.
    typeSearch(L"cat");
    boxKey(VK_RETURN);
    EXPECT_EQ(main->filter.matched, 4u);
    EXPECT_EQ(selectedPath(), "$.items[0].name");
    boxKey(VK_RETURN);
    EXPECT_EQ(selectedPath(), "$.items[0].note");

    // Emptying the box: the full tree, the selection kept and shown, the user's sets otherwise as before.
    typeSearch(L"");
    EXPECT_FALSE(main->filter.active);
    EXPECT_EQ(selectedPath(), "$.items[0].note");
    EXPECT_GE(main->treePane.selectedRow, 0);
    EXPECT_GE(main->treePane.rows.size(), fullRows);
    for (const Node* n : expandedBefore) EXPECT_EQ(main->treePane.expanded.count(n), 1u);

    // The switch off clears a filter as well.
    typeSearch(L"bird");
    boxKey(VK_RETURN);
    EXPECT_TRUE(main->filter.active);
    clickItem(kActionFilterToggle);
    EXPECT_FALSE(main->filter.active);
    EXPECT_EQ(GetPrivateProfileIntW(L"Quillmap", L"SearchFilter", -1, settings.c_str()), 0);
}

// On a file of more than one slice the filter goes on a slice per timer message: the status bar
// says how far it came and the views keep the filter before it; Escape (in the box or in a view)
// stops it and leaves that filter as it was; let run, it ends as a filter in one go does.
TEST_F(SearchUi, BigFileFilterShowsProgressAndEscapeStopsIt) {
    const int records = 70000;  // 140,002 nodes: three slices
    open(u8(qmtest::jsonArray(records, [](size_t i) { return L"{\"k\": \"v" + std::to_wstring(i % 7) + L"\"}"; })), 1, 1,
         L"slices.json");
    clickItem(kActionFilterToggle);
    // Enter without pumping messages: the timer's slices run only when the test sends them.
    auto enter = [&] { SendMessageW(main->chrome.searchBox, WM_KEYDOWN, VK_RETURN, 1); };
    auto runToTheEnd = [&] {
        for (int slice = 0; main->filterRun && slice < 10; ++slice) SendMessageW(main->window, WM_TIMER, kFilterTimer, 0);
        EXPECT_FALSE(main->filterRun);
    };
    typeSearch(L"v3");
    enter();
    ASSERT_TRUE(main->filterRun) << "not filtered at once";
    EXPECT_FALSE(main->filter.active);
    auto progress = [&] { return filterProgressText(filterProgress(*main->document, main->filterRun->pass)); };
    EXPECT_EQ(progress(), L"Filtering\u2026 46 % (Esc stops)");
    SendMessageW(main->window, WM_TIMER, kFilterTimer, 0);
    ASSERT_TRUE(main->filterRun);
    enter();
    ASSERT_TRUE(main->filterRun);
    EXPECT_EQ(progress(), L"Filtering\u2026 93 % (Esc stops)") << "Enter again goes on, it does not start anew";
    runToTheEnd();
    ASSERT_TRUE(main->filter.active);
    EXPECT_EQ(main->filter.matched, size_t((records - 3 + 6) / 7));
    const std::vector<TreeRow> rows = main->treePane.rows;
    const Node* selected = main->selected;
    std::vector<uint8_t> marks;
    for (size_t i = 0; i < main->document->nodes.size(); ++i) marks.push_back(main->document->nodes[i].filterMark);

    for (HWND escapeIn : {main->chrome.searchBox, main->treePane.window}) {
        typeSearch(L"v5");
        enter();
        ASSERT_TRUE(main->filterRun);
        EXPECT_EQ(main->filter.text, L"v3") << "the filter before stays until the new one is done";
        SendMessageW(escapeIn, WM_KEYDOWN, VK_ESCAPE, 1);
        EXPECT_FALSE(main->filterRun);
        EXPECT_EQ(main->filter.text, L"v3");
        EXPECT_EQ(main->selected, selected);
        ASSERT_EQ(main->treePane.rows.size(), rows.size());
        for (size_t i = 0; i < main->document->nodes.size(); ++i)
            ASSERT_EQ(main->document->nodes[i].filterMark, marks[i]) << "node " << i;
        SendMessageW(main->window, WM_TIMER, kFilterTimer, 0);  // a timer message already queued does nothing
        EXPECT_EQ(main->filter.text, L"v3");
    }

    // Clearing the box during a run stops it and clears the filter before it.
    typeSearch(L"v5");
    enter();
    typeSearch(L"");
    EXPECT_FALSE(main->filterRun);
    EXPECT_FALSE(main->filter.active);
    for (size_t i = 0; i < main->document->nodes.size(); ++i)
        ASSERT_EQ(main->document->nodes[i].filterMark, 0) << "no mark is left on node " << i;
}

// On a file of more than one slice a search goes on a slice per timer message: the status bar
// says how far it came, the same search again lets it go on, and it ends as a search in one go
// does (the match selected, or the box marked); Escape stops it with the selection where it was.
// The host's search answers at once while it goes on.
TEST_F(SearchUi, BigFileSearchGoesOnInSlicesAndEscapeStopsIt) {
    const int records = 140000;  // 280,001 entries to search: two slices
    open(u8(qmtest::jsonArray(records, [](size_t i) { return L"{\"k\": \"v" + std::to_wstring(i) + L"\"}"; })), 1, 1,
         L"slices.json");
    auto enter = [&] { SendMessageW(main->chrome.searchBox, WM_KEYDOWN, VK_RETURN, 1); };
    auto timer = [&] { SendMessageW(main->window, WM_TIMER, kSearchTimer, 0); };
    auto progress = [&] { return searchProgressText(searchProgress(*main->searchRun)); };
    const Node* selected = main->selected;
    typeSearch(L"v139999");
    enter();
    ASSERT_TRUE(main->searchRun) << "searched at once";
    EXPECT_EQ(progress(), L"Searching\u2026 93 % (Esc stops)");
    EXPECT_EQ(main->selected, selected);
    enter();
    ASSERT_TRUE(main->searchRun);
    EXPECT_EQ(progress(), L"Searching\u2026 93 % (Esc stops)") << "Enter again goes on, it does not start anew";
    timer();
    EXPECT_FALSE(main->searchRun);
    EXPECT_EQ(selectedPath(), "$[139999].k");
    EXPECT_FALSE(main->chrome.searchFailed);

    typeSearch(L"zebra");
    enter();
    ASSERT_TRUE(main->searchRun);
    EXPECT_FALSE(main->chrome.searchFailed);
    timer();
    EXPECT_FALSE(main->searchRun);
    EXPECT_TRUE(main->chrome.searchFailed) << "the whole file was searched, around to the start";
    EXPECT_EQ(selectedPath(), "$[139999].k");

    expectEscapeStops(L"v139998", main->treePane.window);  // after the wrap-around, in the second slice

    EXPECT_EQ(ListerSearchText(window, L"v1\"", kSearchFindFirst), LISTPLUGIN_OK);
    EXPECT_TRUE(main->searchRun);
}

// The Source view's search through a text of more lines than one slice searches goes on in
// slices as the Tree's does: the status bar says how far it came, the same search again lets it
// go on, Escape stops it, and it ends on the match a search in one go finds; Lister's search
// that found nothing says so in the status bar.
TEST_F(SearchUi, SourceSearchGoesOnInSlicesAndEscapeStopsIt) {
    const int records = 140000;  // 420,002 formatted lines: two slices
    open(u8(qmtest::jsonArray(records, [](size_t i) { return L"{\"k\": \"v" + std::to_wstring(i) + L"\"}"; })), 1, 1,
         L"slices.json");
    main->SwitchView(kViewSource);
    SourcePane& pane = main->sourcePane;
    auto enter = [&] { SendMessageW(main->chrome.searchBox, WM_KEYDOWN, VK_RETURN, 1); };
    auto timer = [&] { SendMessageW(main->window, WM_TIMER, kSearchTimer, 0); };
    auto progress = [&] { return searchProgressText(searchProgress(*main->searchRun)); };
    typeSearch(L"v139999");
    enter();
    ASSERT_TRUE(main->searchRun) << "searched at once";
    for (int slice = 0; main->searchRun && !main->searchRun->find.begun && slice < 100; ++slice) timer();
    ASSERT_FALSE(pane.source.indexing()) << "the index is completed first";
    ASSERT_TRUE(main->searchRun);
    EXPECT_EQ(progress(), L"Searching\u2026 62 % (Esc stops)");
    enter();
    ASSERT_TRUE(main->searchRun);
    EXPECT_EQ(progress(), L"Searching\u2026 62 % (Esc stops)") << "Enter again goes on, it does not start anew";
    timer();
    EXPECT_FALSE(main->searchRun);
    EXPECT_EQ(selectedPath(), "$[139999].k");
    EXPECT_EQ(pane.matchLine, 3 * 139999 + 2);
    EXPECT_EQ(pane.matchColumn, 10);
    EXPECT_FALSE(main->chrome.searchFailed);

    expectEscapeStops(L"v139998", pane.window);  // after the wrap-around, in the second slice
    const Node* selected = main->selected;

    EXPECT_EQ(ListerSearchText(window, L"zebra", kSearchBackwards), LISTPLUGIN_OK);  // from the match to the top
    ASSERT_TRUE(main->searchRun);
    finishSearch();
    EXPECT_EQ(main->selected, selected);
    EXPECT_EQ(main->chrome.notice, L"Not found: zebra");
}
