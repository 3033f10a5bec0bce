// The source view driven as a user drives it: files opened in it or switched to, clicks on lines,
// the search moving through the text, keys and the wheel scrolling it, and the colours it paints.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "appearance/colour.h"
#include "edit/nodetext.h"
#include "shell/chrome.h"
#include "shell/chrome_win.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "shell/menu.h"
#include "shell/search.h"
#include "tests/shell/guihost.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"
#include "views/syntax.h"

using namespace qm;
using qmtest::u8;

namespace {

struct ClickCase {
    int line;
    const char* path;  // of the node the click selects
};

class SourceView : public qmtest::PluginWindowTest {
protected:
    void expectClicks(const std::vector<ClickCase>& cases) {
        for (const ClickCase& c : cases) {
            clickLine(c.line);
            EXPECT_EQ(selectedPath(), c.path) << "click on line " << c.line;
        }
    }

    SourceView() : PluginWindowTest(1000, 600) {}

    // Opens `text` as the file `name`, in the source view unless `view` says otherwise.
    void open(const wchar_t* name, const std::string& text, int view = kViewSource) {
        freshSettings();
        setSetting(L"View", view);
        // These cases are about the formatted text; the choice of "As written" has its own.
        setSetting(L"SourceLayout", kSourceLayoutFormatted);
        setSetting(L"Search", 1);
        ASSERT_TRUE(openText(name, text));
        MoveWindow(window, 0, 0, 1700, 500, TRUE);  // wide enough for the search box
        SetFocus(main->ActiveViewWindow());
        qmtest::pumpMessages();
    }

    SourcePane& pane() const { return main->sourcePane; }
    HWND view() const { return main->sourcePane.window; }
    int lineY(int line) const { return (line - pane().topLine) * main->palette.monoLineHeight + 2; }
    void clickLine(int line, UINT message = WM_LBUTTONDOWN) {
        SendMessageW(view(), message, 0, MAKELPARAM(200, lineY(line)));
        qmtest::pumpMessages();
    }
    std::string range(const Node* node) {
        const LineRange r = pane().LineRange(node);
        return std::to_string(r.first) + ".." + std::to_string(r.last);
    }
    RECT lineRect(int line, int left, int right) const {
        const int top = (line - pane().topLine) * main->palette.monoLineHeight;
        return RECT{left, top, right, top + main->palette.monoLineHeight};
    }
};


}  // namespace

TEST_F(SourceView, JsonObjectIsSevenLinesWithItsRangesAndClicksSelectTheirNodes) {
    open(L"seven.json", R"({"a":[1,2],"b":{}})");
    EXPECT_TRUE(IsWindowVisible(view()));
    EXPECT_TRUE(pane().built);  // built at once: the source view is the active one
    EXPECT_EQ(sourceLines(), (std::vector<std::string>{"{", R"(  "a": [)", "    1,", "    2", "  ],", R"(  "b": {})", "}"}));
    const Node* object = main->document->root->children[0];
    EXPECT_EQ(range(object->children[0]), "1..4");
    EXPECT_EQ(range(object), "0..6");
    const std::vector<ClickCase> clicks = {
        {2, "$.a[0]"}, {4, "$.a"}, {6, "$"}, {5, "$.b"}, {3, "$.a[1]"}, {1, "$.a"}, {0, "$"}, {40, "$"},  // below the text
    };
    expectClicks(clicks);
    // A right click selects too; the whole text copies with CR LF.
    clickLine(5, WM_RBUTTONDOWN);
    EXPECT_EQ(selectedPath(), "$.b");
    EXPECT_EQ(u8(pane().WholeText()), "{\r\n  \"a\": [\r\n    1,\r\n    2\r\n  ],\r\n  \"b\": {}\r\n}");
}

TEST_F(SourceView, JsonLinesRecordsAreOneEmptyLineApart) {
    open(L"records.jsonl", "{\"x\":1}\n{\"y\":2}\n");
    EXPECT_EQ(sourceLines(), (std::vector<std::string>{"{", R"(  "x": 1)", "}", "", "{", R"(  "y": 2)", "}"}));
    const Node* items = main->document->root->children[0];
    EXPECT_EQ(range(items), "0..6");
    // The first record starts on the items' first line: its brackets select the items.
    const std::vector<ClickCase> clicks = {
        {0, "$"}, {1, "$[0].x"}, {2, "$"}, {3, "$"}, {4, "$[1]"}, {5, "$[1].y"}, {6, "$[1]"},
    };
    expectClicks(clicks);
}

TEST_F(SourceView, FormatsAndFilesShownAsRead) {
    const struct {
        const wchar_t* name;
        const char* text;
        bool showsSource;
        std::vector<std::string> lines;
    } cases[] = {
        {L"one.xml", R"(<a k="v">t &amp; u</a>)", false, {R"(<a k="v">t &amp; u</a>)"}},
        {L"tabs.yaml", "a:\t1\r\nb: [1,\t2]\r\n", true, {"a:  1", "b: [1,  2]"}},
        {L"broken.json", "{\"a\": 1,\n\t\"b\": }\n", true, {R"({"a": 1,)", R"(    "b": })"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.name));
        open(c.name, c.text);
        EXPECT_EQ(pane().source.showsSourceText, c.showsSource);
        EXPECT_EQ(sourceLines(), c.lines);
        close();
    }
}

TEST_F(SourceView, SwitchingToTheViewBuildsItAndRevealsTheSelection) {
    // 300 numbers, the object, 300 numbers.
    const std::wstring text = qmtest::jsonArray(601, [](size_t i) {
        return i == 300 ? std::wstring(L"{\"deep\":1}") : std::to_wstring(i < 300 ? i : i - 301);
    });
    open(L"long.json", u8(text), kViewTree);
    EXPECT_FALSE(pane().built);
    main->SelectNode(main->document->root->children[0]->children[300]->children[0]);
    {
        qmtest::HeldKeys ctrl({VK_CONTROL});
        SendMessageW(main->treePane.window, WM_KEYDOWN, '3', 1);
    }
    qmtest::pumpMessages();
    ASSERT_EQ(main->settings.activeView, kViewSource);
    EXPECT_TRUE(pane().built);
    // The member "deep" is on line 302; it lands a third of a page below the top.
    EXPECT_EQ(pane().topLine, 302 - pane().PageLines() / 3);
    EXPECT_EQ(GetScrollPos(view(), SB_VERT), pane().topLine);
}

TEST_F(SourceView, KeysScrollBarsAndWheelScroll) {
    std::string text = "[\"" + std::string(300, 'w') + "\"";
    for (int i = 0; i < 300; ++i) text += "," + std::to_string(i);
    text += "]";
    open(L"scroll.json", text);
    const int page = pane().PageLines();
    const int lineCount = static_cast<int>(pane().source.lineCount());
    const int step = main->palette.scale(kSourceScrollStep);
    const int wheelStep = main->palette.scale(kSourceWheelStep);
    const long long maxX = pane().ContentWidth() - pane().ClientWidth();
    ASSERT_GT(maxX, wheelStep);
    const struct {
        const char* action;
        UINT message;
        WPARAM wParam;
        int top;
        long long x;
    } steps[] = {
        {"page down", WM_KEYDOWN, VK_NEXT, page - 1, 0},
        {"down", WM_KEYDOWN, VK_DOWN, page, 0},
        {"up", WM_KEYDOWN, VK_UP, page - 1, 0},
        {"right", WM_KEYDOWN, VK_RIGHT, page - 1, step},
        {"left twice stops at 0", WM_KEYDOWN, VK_LEFT, page - 1, 0},
        {"end", WM_KEYDOWN, VK_END, lineCount - page, 0},
        {"page up", WM_KEYDOWN, VK_PRIOR, lineCount - 2 * page + 1, 0},
        {"home", WM_KEYDOWN, VK_HOME, 0, 0},
        {"wheel down one notch", WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 3, 0},
        {"half a notch is kept", WM_MOUSEWHEEL, MAKEWPARAM(0, -60), 3, 0},
        {"and counted with the next half", WM_MOUSEWHEEL, MAKEWPARAM(0, -60), 6, 0},
        {"shift wheel scrolls right", WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, -120), 6, wheelStep},
        {"horizontal wheel scrolls left", WM_MOUSEHWHEEL, MAKEWPARAM(0, -120), 6, 0},
        {"scroll bar line down", WM_VSCROLL, SB_LINEDOWN, 7, 0},
        {"scroll bar page down", WM_VSCROLL, SB_PAGEDOWN, 7 + page, 0},
        {"scroll bar bottom", WM_VSCROLL, SB_BOTTOM, lineCount - page, 0},
        {"scroll bar right end", WM_HSCROLL, SB_RIGHT, lineCount - page, maxX},
        {"scroll bar line left", WM_HSCROLL, SB_LINELEFT, lineCount - page, maxX - step},
        {"scroll bar left end", WM_HSCROLL, SB_LEFT, lineCount - page, 0},
    };
    for (const auto& s : steps) {
        if (s.wParam == VK_LEFT) SendMessageW(view(), WM_KEYDOWN, VK_LEFT, 1);
        SendMessageW(view(), s.message, s.wParam, 0);
        EXPECT_EQ(pane().topLine, s.top) << s.action;
        EXPECT_EQ(pane().scrollX, s.x) << s.action;
        EXPECT_EQ(GetScrollPos(view(), SB_VERT), pane().topLine) << s.action;
        EXPECT_EQ(GetScrollPos(view(), SB_HORZ), pane().scrollX) << s.action;
    }
    // Keys the view does not use reach the host.
    host.takeForwardedKeys();
    SendMessageW(view(), WM_KEYDOWN, 'N', 1);
    const auto forwarded = host.takeForwardedKeys();
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].key, WPARAM('N'));
}

TEST_F(SourceView, SearchMovesThroughTheTextAndTheSelectionFollows) {
    open(L"cats.json", R"({"cat":"cat","x":[1,"concat"]})");
    ASSERT_NE(main->chrome.searchBox, nullptr);
    SetWindowTextW(main->chrome.searchBox, L"cat");
    qmtest::pumpMessages();
    // {  /  "cat": "cat",  /  "x": [  /  1,  /  "concat"  /  ]  /  }
    const struct {
        const char* action;
        int flags;
        bool found;
        int line, column;
        const char* path;
    } steps[] = {
        {"first from the selection", 0, true, 1, 3, "$.cat"},
        {"the value on the same line", 0, true, 1, 10, "$.cat"},
        {"inside a longer word", 0, true, 4, 8, "$.x[1]"},
        {"none after the last: the host's search does not wrap", 0, false, 4, 8, "$.x[1]"},
        {"backward", kSearchBackwards, true, 1, 10, "$.cat"},
        {"backward again", kSearchBackwards, true, 1, 3, "$.cat"},
        {"backward from the first match", kSearchBackwards, false, 1, 3, "$.cat"},
        {"from the end backward", kSearchBackwards | kSearchFindFirst, true, 4, 8, "$.x[1]"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.action);
        EXPECT_EQ(Search(*main, L"cat", s.flags) == SearchOutcome::Found, s.found);
        EXPECT_EQ(pane().matchLine, s.line);
        EXPECT_EQ(pane().matchColumn, s.column);
        EXPECT_EQ(selectedPath(), s.path);
        EXPECT_TRUE(IsCurrentMatch(*main, main->selected));
    }
    // The search box wraps around: after the last match it starts again at the top.
    RunSearchFromBox(*main, false);
    EXPECT_FALSE(main->chrome.searchFailed);
    EXPECT_EQ(pane().matchLine, 1);
    EXPECT_EQ(pane().matchColumn, 3);
    // A click changes the selection and forgets the match: the next search starts there.
    clickLine(4);
    EXPECT_EQ(pane().matchLine, -1);
    EXPECT_EQ(Search(*main, L"cat", 0), SearchOutcome::Found);
    EXPECT_EQ(pane().matchLine, 4);
}

// A search of the text that spends the whole search's budget stops and says so, as in the tree.
TEST_F(SourceView, ASearchOutOfWorkIsStopped) {
    open(L"expensive.json", u8(qmtest::jsonArray(400, [](size_t) { return L"\"" + std::wstring(150, L'a') + L"\""; })));
    // Its costly steps go on in slices, to the end of the one budget.
    SearchOutcome outcome = Search(*main, L"(?:a{1,40}){1,20}b", kSearchRegex, true);
    while (main->searchRun) outcome = ContinueSearch(*main);
    EXPECT_EQ(outcome, SearchOutcome::Stopped);
    EXPECT_EQ(main->chrome.searchOutcome, SearchOutcome::Stopped);
}

TEST_F(SourceView, ParseErrorLineHasTheWarningBandAndNumber) {
    open(L"broken.json", "{\"a\": 1,\n\"b\": }\n");
    ASSERT_FALSE(main->document->errorMessage.empty());
    ASSERT_EQ(main->document->errorLine, 2u);
    const qmtest::Pixels px = qmtest::render(view());
    const Palette& pal = main->palette;
    const COLORREF band =
        blend(pal.color(ColorSlot::background), pal.color(ColorSlot::warning), pal.isDark ? 0.22 : 0.14);
    const int gutter = pane().GutterWidth();
    EXPECT_EQ(px.at(px.width - 4, lineY(1)) & 0xFFFFFF, qmtest::dibPixel(band));
    EXPECT_TRUE(px.contains(pal.color(ColorSlot::warning), lineRect(1, 0, gutter)));
    EXPECT_FALSE(px.contains(pal.color(ColorSlot::warning), lineRect(0, 0, gutter)));

    // A bracket missing at the end: the error is on the empty line after the last, which stays
    // and is marked.
    open(L"unclosed.json", "{\n  \"a\": [1, 2\n");
    ASSERT_FALSE(main->document->errorMessage.empty());
    ASSERT_EQ(main->document->errorLine, 3u);
    ASSERT_EQ(pane().source.lineCount(), 3u);
    const qmtest::Pixels end = qmtest::render(view());
    EXPECT_EQ(end.at(end.width - 4, lineY(2)) & 0xFFFFFF, qmtest::dibPixel(band));
    EXPECT_TRUE(end.contains(pal.color(ColorSlot::warning), lineRect(2, 0, gutter)));
}

TEST_F(SourceView, SelectionBandAndTokenColours) {
    const struct {
        const wchar_t* name;
        const char* text;
        int line;
        std::vector<uint8_t> classes;  // token classes whose colour the line shows
    } cases[] = {
        {L"t.json", R"({"key": "text", "n": 12, "b": true})", 1, {kTokenKey, kTokenString}},
        {L"t.json", R"({"key": "text", "n": 12, "b": true})", 2, {kTokenNumber}},
        {L"t.json", R"({"key": "text", "n": 12, "b": true})", 3, {kTokenConstant}},
        {L"t.xml", R"(<root><item id="7">x</item><!-- note --></root>)", 1, {kTokenTagName, kTokenAttributeName, kTokenString}},
        {L"t.xml", R"(<root><item id="7">x</item><!-- note --></root>)", 2, {kTokenComment}},
        {L"t.yaml", "key: 'text'\n# note\n", 0, {kTokenKey, kTokenString}},
        {L"t.yaml", "key: 'text'\n# note\n", 1, {kTokenComment}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.name) + " line " + std::to_string(c.line));
        open(c.name, c.text);
        const qmtest::Pixels px = qmtest::render(view());
        const RECT area = lineRect(c.line, pane().GutterWidth(), px.width);
        for (uint8_t k : c.classes)
            EXPECT_TRUE(px.contains(main->palette.color(tokenColorSlot(k)), area)) << "token class " << int(k);
        close();
    }

    // The selected node's first line has the selection band, its later lines the accent marker.
    open(L"band.json", R"({"a":[1,2]})");
    clickLine(1);
    SetFocus(view());
    const qmtest::Pixels px = qmtest::render(view());
    const Palette& pal = main->palette;
    const int gutter = pane().GutterWidth();
    EXPECT_EQ(px.at(px.width - 4, lineY(1)) & 0xFFFFFF, qmtest::dibPixel(pal.color(ColorSlot::selection)));
    const COLORREF later = blend(pal.color(ColorSlot::background), pal.color(ColorSlot::accent), pal.isDark ? 0.08 : 0.05);
    EXPECT_EQ(px.at(px.width - 4, lineY(3)) & 0xFFFFFF, qmtest::dibPixel(later));
    EXPECT_EQ(px.at(gutter - pal.scale(5), lineY(3)) & 0xFFFFFF, qmtest::dibPixel(pal.color(ColorSlot::accent)));
    EXPECT_EQ(px.at(px.width - 4, lineY(0)) & 0xFFFFFF, qmtest::dibPixel(pal.color(ColorSlot::background)));
}

TEST_F(SourceView, LongLineIsCutWithAnEllipsis) {
    open(L"wide.json", "[\"" + std::string(30000, 'i') + "\"]");
    ASSERT_EQ(pane().source.maxLineLength, 30004u);
    // Scrolled so that the cut is in the middle of the view, measured with the view's font (a
    // stand-in font for the mono one need not give every letter the same width).
    const std::wstring_view line = pane().source.line(1);
    SIZE cut{};
    {
        HDC dc = GetDC(view());
        HGDIOBJ old = SelectObject(dc, main->palette.monoFont);
        GetTextExtentPoint32W(dc, line.data(), static_cast<int>(kSourceLineCut), &cut);
        SelectObject(dc, old);
        ReleaseDC(view(), dc);
    }
    const int width = pane().ClientWidth();
    pane().ScrollTo(pane().GutterWidth() + main->palette.scale(kSourceTextGap) + cut.cx - width / 2, 0);
    const qmtest::Pixels px = qmtest::render(view());
    // The "…" is drawn just after the cut (its small dots are smoothed, so any colour other than
    // the line's band counts), nothing after it.
    const int mono = main->palette.monoCharWidth;
    // Where the cut is drawn: in the middle, or nearer the right edge when the content ends
    // there (with a monospace font the text is as wide as the content width counts).
    const int cutX = pane().GutterWidth() + main->palette.scale(kSourceTextGap) + cut.cx - pane().scrollX;
    ASSERT_LT(cutX + 3 * mono, width);
    const uint32_t band = px.at(width - 2, lineY(1));
    auto drawnIn = [&](int left, int right) {
        const RECT r = lineRect(1, left, right);
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (px.at(x, y) != band) return true;
        return false;
    };
    EXPECT_TRUE(drawnIn(cutX + 2, cutX + 3 * mono));
    EXPECT_FALSE(drawnIn(cutX + 4 * mono, width));
    // A line without a cut shows no ellipsis after its end.
    pane().ScrollTo(0, 0);
    const qmtest::Pixels start = qmtest::render(view());
    EXPECT_EQ(start.at(width - 2, lineY(0)), start.at(pane().GutterWidth() + 4 * mono, lineY(0)));
}

TEST_F(SourceView, ValueEditorGoesOverTheValue) {
    open(L"edit.json", R"({"name": "value"})");
    const Node* member = main->document->root->children[0]->children[0];
    RECT rect{};
    ASSERT_TRUE(pane().ValueEditRect(member, rect));
    const Palette& pal = main->palette;
    // `  "name": "value"`: the value's text starts at column 11 (after its quote).
    const int x = pane().GutterWidth() + pal.scale(kSourceTextGap) + 11 * pal.monoCharWidth;
    EXPECT_EQ(rect.left, x);
    EXPECT_EQ(rect.top, pal.monoLineHeight);
    EXPECT_EQ(rect.right, x + std::max(pal.scale(kSourceEditorMinValueWidth),
                                       5 * pal.monoCharWidth + pal.scale(kSourceEditorValuePadding)));
    EXPECT_FALSE(pane().ValueEditRect(nullptr, rect));
}

// A big formatted text is indexed a slice per timer message after its first screen: meanwhile the
// view shows the lines indexed so far with the gutter of the whole text, and End completes the
// index first and shows the last line.
TEST_F(SourceView, PartlyIndexedTextAnswersEndWithTheLastLine) {
    std::string text = "[";
    for (int i = 0; i < 3000; ++i) text += (i ? "," : "") + std::to_string(i % 10);
    open(L"indexed.json", text + "]", kViewTree);
    pane().indexSliceSteps = 64;
    main->SwitchView(kViewSource);
    ASSERT_TRUE(pane().source.indexing());
    const size_t first = pane().source.lineCount();
    EXPECT_GE(first, size_t(2 * pane().PageLines()));
    const Palette& pal = main->palette;
    EXPECT_EQ(pane().GutterWidth(), sourceGutterWidth(3002, pal.monoCharWidth, pal.dpi));
    SendMessageW(main->window, WM_TIMER, kSourceIndexTimer, 0);
    EXPECT_GT(pane().source.lineCount(), first);
    SendMessageW(view(), WM_KEYDOWN, VK_END, 1);
    EXPECT_FALSE(pane().source.indexing());
    ASSERT_EQ(pane().source.lineCount(), 3002u);
    EXPECT_EQ(pane().topLine, 3002 - pane().PageLines());
    EXPECT_EQ(GetScrollPos(view(), SB_VERT), pane().topLine);
    EXPECT_EQ(u8(pane().source.line(3001)), "]");
}

// "Copy entire source" of a formatted text of more than one slice goes on a slice per timer
// message with its progress in the status bar; Escape stops it with the clipboard untouched; let
// run, it copies what a copy in one go copies.
TEST_F(SourceView, BigFormattedCopyShowsProgressAndEscapeStopsIt) {
    std::string text = "[";
    for (size_t i = 0; i < kSourceCopySliceLines * 3 / 2; ++i) text += (i ? "," : "") + std::to_string(i % 10);
    open(L"source-copy.json", text + "]");
    CopyTextToClipboard(main->window, L"before");
    RunMenuCommand(*main, kCmdCopySource);
    ASSERT_TRUE(pane().copyRun) << "not copied at once";
    EXPECT_EQ(sourceCopyProgressText(pane().CopyProgress()), L"Copying the source\u2026 66 % (Esc stops)");
    SendMessageW(view(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(pane().copyRun);
    SendMessageW(main->window, WM_TIMER, kSourceCopyTimer, 0);  // a timer message already queued does nothing
    EXPECT_EQ(qmtest::clipboardText(), "before");

    RunMenuCommand(*main, kCmdCopySource);
    for (int slice = 0; pane().copyRun && slice < 10; ++slice) SendMessageW(main->window, WM_TIMER, kSourceCopyTimer, 0);
    EXPECT_FALSE(pane().copyRun);
    EXPECT_EQ(qmtest::clipboardText(), u8(pane().WholeText()));
}
