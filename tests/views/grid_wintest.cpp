// The grid view driven as a user drives it: files loaded as ListLoadW loads them, the grid
// chosen with Ctrl+2, clicks on expanders, column edges dragged and double-clicked, keys, the
// wheel, "Expand all" and the search, with the boxes and scroll position checked after each.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "edit/nodetext.h"
#include "shell/chrome.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "shell/clipboard.h"
#include "shell/match.h"
#include "shell/menu.h"
#include "shell/search.h"
#include "tests/shell/guihost.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;
using qmtest::u8;

namespace {

// A plug-in window opened in the Tree (a fresh settings file each test) and switched to the Grid.
class GridWindow : public qmtest::PluginWindowTest {
protected:
    // A build slice is one step, however fast the machine.
    void SetUp() override {
        PluginWindowTest::SetUp();
        GridPane::buildSliceSeconds = 0;
    }
    void TearDown() override {
        GridPane::buildSliceSeconds = kGridBuildSliceSeconds;
        PluginWindowTest::TearDown();
    }
    // The grid of a big file is built a slice per timer message before it is shown.
    void showGrid() {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(main->treePane.window, WM_KEYDOWN, '2', 1);
        while (main->gridPane.buildRun) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
        qmtest::pumpMessages();
    }
    GridPane& pane() { return main->gridPane; }
    HWND grid() { return pane().window; }
    const GridBox* root() {
        pane().EnsureLayout();
        return pane().layout.root;
    }
    // The first box, depth first, of `type` below the root.
    const GridBox* first(GridBoxType type) {
        std::vector<const GridBox*> stack{root()};
        while (!stack.empty()) {
            const GridBox* b = stack.back();
            stack.pop_back();
            if (!b) continue;
            if (b->type == type && b != pane().layout.root) return b;
            if (b->frame)
                for (auto it = b->frame->children.rbegin(); it != b->frame->children.rend(); ++it) stack.push_back(*it);
        }
        return nullptr;
    }
    // A content point as the client point a click there arrives at.
    LPARAM at(int x, int y) {
        const int margin = main->palette.scale(kGridMargin);
        return MAKELPARAM(x - pane().scrollX + margin, y - pane().scrollY + margin);
    }
    void send(UINT message, LPARAM point, WPARAM wParam = 0) { SendMessageW(grid(), message, wParam, point); }
    // Opens `text` as the file `name` and shows it in the Grid; false when it is declined.
    bool openInGrid(const std::wstring& name, const std::string& text) {
        if (!openText(name, text)) return false;
        showGrid();
        return true;
    }
};

using qmtest::seconds;

std::vector<std::string> headers(const GridBox& table) {
    std::vector<std::string> out;
    for (const GridRow& row : table.frame->rows) out.push_back(u8(row.label));
    return out;
}

std::string manyRecords(int n) {
    return u8(qmtest::jsonArray(size_t(n), [](size_t i) {
        return L"{\"id\": " + std::to_wstring(i) + L", \"tags\": [\"a\", \"b\"], \"o\": {\"x\": 1}}";
    }));
}

// JSON Lines of `n` records of `members` members each, the same names in each: one table of a
// few rows and many columns.
std::string wideRecords(int n, int members) {
    std::wstring record = L"{";
    for (int m = 0; m < members; ++m) record += (m ? L",\"m" : L"\"m") + std::to_wstring(m) + L"\":" + std::to_wstring(m);
    record += L"}\n";
    std::wstring text;
    for (int r = 0; r < n; ++r) text += record;
    return u8(text);
}

}  // namespace

TEST_F(GridWindow, TheGridIsBuiltOnlyOnceItIsShown) {
    ASSERT_TRUE(openText(L"grid-lazy.json", manyRecords(50)));
    EXPECT_EQ(pane().layout.root, nullptr) << "a document shown in the tree costs the grid nothing";
    EXPECT_TRUE(pane().layout.boxes.empty());
    EXPECT_EQ(pane().measureCache.size(), 0u) << "nothing measured";
    showGrid();
    EXPECT_EQ(main->settings.activeView, kViewGrid);
    ASSERT_NE(pane().layout.root, nullptr);
    // Its texts are all ASCII: the content font adds up their advances as it measures them, so
    // they are summed from its widths, read once, and none is measured.
    EXPECT_GT(pane().textBound.widest, 0);
    EXPECT_TRUE(pane().textBound.exactAscii);
    EXPECT_EQ(pane().measureCache.size(), 0u);
}

TEST_F(GridWindow, TextsMeasuredOutsideALayoutUseTheContentFont) {
    // Rows of a large table are built while painting or hit testing, outside any layout.
    ASSERT_TRUE(openInGrid(L"grid-font.json", manyRecords(300)));
    const std::wstring text = L"WWW never measured before";
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, main->palette.contentFont);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_EQ(pane().measureCache(text), size.cx);
}

TEST_F(GridWindow, TwoRecordsMakeOneTableWithColumnsABC) {
    ASSERT_TRUE(openInGrid(L"grid-abc.json", R"([{"a": 1, "b": 2}, {"a": 3, "c": 4}])"));
    const GridBox* table = first(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(headers(*table), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(tableCell(*table, 0, 2), nullptr);
    EXPECT_EQ(tableCell(*table, 1, 1), nullptr);
    // The pixels of the table: its header line in accentTint.
    const qmtest::Pixels pixels = qmtest::render(grid());
    const int margin = main->palette.scale(kGridMargin);
    const RECT header{table->x + margin, table->y + margin, table->x + margin + table->width,
                      table->y + margin + main->palette.rowHeight};
    EXPECT_TRUE(pixels.contains(main->palette.color(ColorSlot::accentTint), header));
}

TEST_F(GridWindow, MixedArrayIsAKeyValueTable) {
    ASSERT_TRUE(openInGrid(L"grid-mixed.json", R"({"m": [{"a": 1}, 2, "x"]})"));
    const GridBox* kv = root()->frame->children.front();
    ASSERT_EQ(kv->type, GridBoxType::KeyValue);
    const GridBox* mixed = kv->frame->children.front();
    ASSERT_EQ(mixed->type, GridBoxType::KeyValue);
    std::vector<std::string> labels;
    for (const GridRow& row : mixed->frame->rows) labels.push_back(u8(row.label));
    EXPECT_EQ(labels, (std::vector<std::string>{"[0]", "[1]", "[2]"}));
}

TEST_F(GridWindow, FiveItemsAreOneGroupRowThatAClickOpensAndCloses) {
    ASSERT_TRUE(openInGrid(L"grid-items.xml",
                         "<r><s><item a=\"1\">t</item><item a=\"2\"/><item a=\"3\"/><item b=\"4\"/><item><c/><c/></item></s>"
                         "<s2><i/><i/><!--x--><i/><i/></s2></r>"));
    const GridBox* r = root()->frame->children.front();
    const GridBox* s = r->frame->children.front();
    ASSERT_EQ(s->type, GridBoxType::KeyValue);
    ASSERT_EQ(s->frame->rows.size(), 1u);
    const GridRow row = s->frame->rows.front();
    EXPECT_EQ(u8(row.label), "item");
    EXPECT_EQ(row.count, 5u);
    EXPECT_FALSE(row.open) << "groups below the second level start closed";
    const GridBox* s2 = r->frame->children[1];
    ASSERT_EQ(s2->frame->rows.size(), 3u) << "the comment breaks the run into two groups";
    EXPECT_EQ(s2->frame->rows[0].count, 2u);
    EXPECT_EQ(s2->frame->rows[2].count, 2u);

    struct Step {
        const char* what;
        bool open;
        bool doubleClick;
    } steps[] = {{"a click on the expander opens the group", true, false},
                 {"a second click closes it", false, false},
                 {"a double-click on the expander is one click", true, true},
                 {"and closes it again", false, true}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const GridBox* box = root()->frame->children.front()->frame->children.front();
        const LPARAM expander = at(box->x + main->palette.scale(10), box->y + 5);
        send(WM_LBUTTONDOWN, expander);
        if (step.doubleClick) {
            send(WM_LBUTTONUP, expander);
            send(WM_LBUTTONDBLCLK, expander);
            send(WM_LBUTTONUP, expander);
        }
        const GridBox* after = root()->frame->children.front()->frame->children.front();
        EXPECT_EQ(after->frame->rows.front().open, step.open);
        EXPECT_EQ(after->frame->children.front()->type, step.open ? GridBoxType::Table : GridBoxType::Leaf);
        if (step.open) {
            EXPECT_EQ(headers(*after->frame->children.front()), (std::vector<std::string>{"a", "b", "", "c"}));
            EXPECT_EQ(main->selected, row.node) << "the click selects the group's first element";
        }
    }
}

TEST_F(GridWindow, NestingPast120LevelsShowsAnEllipsisCell) {
    std::string deep;
    for (int i = 0; i < 125; ++i) deep += "<e>";
    deep += "x";
    for (int i = 0; i < 125; ++i) deep += "</e>";
    deep = "<e><f/>" + deep + "</e>";
    ASSERT_TRUE(openInGrid(L"grid-deep.xml", deep));
    {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(grid(), WM_KEYDOWN, VK_ADD, 1);
    }
    const GridBox* cut = nullptr;
    for (const GridBox& b : pane().layout.boxes)
        if (b.type == GridBoxType::Leaf && b.text == L"\u2026" && b.dim && b.node) cut = &b;
    ASSERT_NE(cut, nullptr) << "a \"…\" cell for the container it does not open";

    // A selection deeper than the grid goes: the grid scrolls to the "…" cell that stands for it
    // and keeps the selection.
    Node* deepest = main->document->root;
    while (!deepest->children.empty()) deepest = deepest->children.back();
    main->SelectNode(deepest);
    deepest = main->selected;  // the element that shows the text
    ASSERT_NE(deepest, nullptr);
    main->RevealSelection();
    EXPECT_EQ(pane().standIn, cut->node);
    EXPECT_EQ(main->selected, deepest);
    const RECT client = [&] {
        RECT r{};
        GetClientRect(grid(), &r);
        return r;
    }();
    const int margin = main->palette.scale(kGridMargin);
    const int cellY = cut->y + margin - pane().scrollY;
    EXPECT_GE(cellY, 0);
    EXPECT_LT(cellY, client.bottom) << "scrolled to the cell";
    // A double-click on it shows the node in the tree.
    const LPARAM point = at(cut->x + 4, cut->y + 4);
    send(WM_LBUTTONDOWN, point);
    EXPECT_EQ(main->selected, deepest);
    send(WM_LBUTTONUP, point);
    send(WM_LBUTTONDBLCLK, point);
    EXPECT_EQ(main->settings.activeView, kViewTree);
    EXPECT_EQ(main->selected, deepest);
    EXPECT_GE(main->treePane.selectedRow, 0);
}

TEST_F(GridWindow, ExpandAllOpensEveryContainerAndGroupOfALargeDocument) {
    ASSERT_TRUE(openInGrid(L"grid-large.json", manyRecords(2000)));
    {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(grid(), WM_KEYDOWN, VK_ADD, 1);
    }
    size_t expandable = 0;
    for (size_t i = 0; i < main->document->nodes.size(); ++i) {
        const Node* n = &main->document->nodes[i];
        if (n->kind != NodeKind::Root && isExpandable(n)) ++expandable;
    }
    EXPECT_EQ(pane().expansion.nodes.size(), expandable);
    // Every row of the record table, built as scrolling to it would.
    size_t openNested = 0;
    std::vector<const GridBox*> stack{root()};
    while (!stack.empty()) {
        const GridBox* b = stack.back();
        stack.pop_back();
        if (!b->frame) continue;
        if (b->type == GridBoxType::Nested && !b->frame->children.empty()) ++openNested;
        if (b->type == GridBoxType::Table)
            for (size_t r = 0; r < b->frame->records.size(); ++r) tableRowCells(*b, r);
        for (const GridBox* child : b->frame->children) stack.push_back(child);
    }
    EXPECT_EQ(openNested, 2u * 2000) << "every record's tags and o are open";
    // A selection deep in a record moves to the record, as the tree moves it, and the grid
    // does not open the record's tables again to show it.
    Node* record = main->document->root->children.front()->children[1500];
    Node* x = record->children[2]->children.front();
    main->SelectNode(x);
    {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(grid(), WM_KEYDOWN, VK_SUBTRACT, 1);
    }
    EXPECT_EQ(pane().expansion.nodes.size(), 1u) << "collapse all leaves the top level";
    EXPECT_EQ(main->selected, record);
}

TEST_F(GridWindow, ADraggedColumnEdgeHoldsItsWidthUntilItIsDoubleClicked) {
    ASSERT_TRUE(openInGrid(L"grid-drag.json", R"([{"a": 1, "b": 2}, {"a": 3, "b": 4}])"));
    const GridBox* table = first(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    const int automatic = table->frame->columnWidths[0];
    const int edge = table->x + table->frame->rowHeaderWidth + automatic;
    const int y = table->y + main->palette.rowHeight + 3;
    send(WM_LBUTTONDOWN, at(edge, y));
    EXPECT_TRUE(pane().dragging);
    send(WM_MOUSEMOVE, at(edge + 50, y), MK_LBUTTON);
    send(WM_LBUTTONUP, at(edge + 50, y));
    EXPECT_FALSE(pane().dragging);
    ASSERT_EQ(pane().ColumnWidthCount(), 1u);
    EXPECT_EQ(first(GridBoxType::Table)->frame->columnWidths[0], automatic + 50);

    send(WM_LBUTTONDOWN, at(edge + 50, y));
    send(WM_MOUSEMOVE, at(edge - 200, y), MK_LBUTTON);  // far narrower than allowed
    send(WM_LBUTTONUP, at(edge - 200, y));
    EXPECT_EQ(first(GridBoxType::Table)->frame->columnWidths[0], main->palette.scale(kGridMinColumn));

    const GridBox* narrow = first(GridBoxType::Table);
    const int narrowEdge = narrow->x + narrow->frame->rowHeaderWidth + narrow->frame->columnWidths[0];
    send(WM_LBUTTONDBLCLK, at(narrowEdge, y));
    EXPECT_EQ(pane().ColumnWidthCount(), 0u);
    EXPECT_EQ(first(GridBoxType::Table)->frame->columnWidths[0], automatic) << "back to the automatic width";
}

// A header cell dragged to its minimum width keeps its badge inside it: nothing of it shows past
// the table's right edge, beside the header line, where the grid's background is.
TEST_F(GridWindow, AHeaderAtItsMinimumWidthKeepsItsBadgeInside) {
    ASSERT_TRUE(openInGrid(L"grid-narrow.json", R"([{"a": 1, "b": 2}, {"a": 3, "b": 4}])"));
    const GridBox* table = first(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    const int edge = table->x + table->width;
    const int y = table->y + 3;
    send(WM_LBUTTONDOWN, at(edge, y));
    send(WM_MOUSEMOVE, at(edge - 400, y), MK_LBUTTON);
    send(WM_LBUTTONUP, at(edge - 400, y));
    table = first(GridBoxType::Table);
    ASSERT_EQ(table->frame->columnWidths[1], main->palette.scale(kGridMinColumn));
    const qmtest::Pixels px = qmtest::render(grid());
    const int right = table->x + table->width + main->palette.scale(kGridMargin) - pane().scrollX;
    const int header = table->y + main->palette.rowHeight / 2 + main->palette.scale(kGridMargin) - pane().scrollY;
    const int row = header + main->palette.rowHeight;
    for (int x = right + 1; x < right + main->palette.scale(10); ++x)
        EXPECT_EQ(px.at(x, header), px.at(x, row)) << "x " << x - right << " past the table's edge";
}

// Scrolled far into a long record table, the header line of the table being read stays at the
// top of the view, over its rows; scrolled back, the table shows its own header where it is.
TEST_F(GridWindow, TheHeaderOfALongTableStaysAtTheTop) {
    ASSERT_TRUE(openInGrid(L"grid-sticky.json", manyRecords(1234)));
    const GridBox* table = first(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    const Palette& pal = main->palette;
    const int margin = pal.scale(kGridMargin);
    pane().ScrollTo(0, table->y + pal.rowHeight + table->frame->rowTops[1200] + margin + 5);
    qmtest::pumpMessages();
    ASSERT_GT(pane().scrollY, table->y + margin);
    const uint32_t band = qmtest::dibPixel(pal.color(ColorSlot::accentTint));
    const int x = table->x + margin - pane().scrollX + 3;
    qmtest::Pixels px = qmtest::render(grid());
    EXPECT_EQ(px.at(x, 2) & 0xFFFFFF, band) << "the header band at the top";
    EXPECT_NE(px.at(x, pal.rowHeight + 3) & 0xFFFFFF, band) << "the rows below it";
    pane().ScrollTo(0, 0);
    px = qmtest::render(grid());
    EXPECT_EQ(px.at(x, table->y + margin + 2) & 0xFFFFFF, band);
    EXPECT_NE(px.at(x, 2) & 0xFFFFFF, band);
}

TEST_F(GridWindow, KeysAndWheelScroll) {
    ASSERT_TRUE(openInGrid(L"grid-scroll.json", manyRecords(300)));
    const int rowHeight = main->palette.rowHeight;
    RECT client{};
    GetClientRect(grid(), &client);
    const int page = std::max(rowHeight, static_cast<int>(client.bottom) - rowHeight);
    const int bottom = pane().ContentHeight() - client.bottom;
    ASSERT_GT(bottom, 2 * page);
    struct Step {
        const char* what;
        UINT message;
        WPARAM wParam;
        int x, y;  // expected scroll position after the step
    } steps[] = {
        {"Down", WM_KEYDOWN, VK_DOWN, 0, rowHeight},
        {"Page Down", WM_KEYDOWN, VK_NEXT, 0, rowHeight + page},
        {"Up", WM_KEYDOWN, VK_UP, 0, page},
        {"Page Up", WM_KEYDOWN, VK_PRIOR, 0, 0},
        {"one wheel notch down", WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0, 3 * rowHeight},
        {"half a notch does nothing yet", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0, 3 * rowHeight},
        {"the other half scrolls back", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA / 2), 0, 0},
        {"End", WM_KEYDOWN, VK_END, 0, bottom},
        {"Home", WM_KEYDOWN, VK_HOME, 0, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        SendMessageW(grid(), step.message, step.wParam, step.message == WM_KEYDOWN ? 1 : 0);
        EXPECT_EQ(pane().scrollX, step.x);
        EXPECT_EQ(pane().scrollY, step.y);
    }
    host.takeForwardedKeys();
    SendMessageW(grid(), WM_KEYDOWN, 'N', 1);
    const auto keys = host.takeForwardedKeys();
    ASSERT_FALSE(keys.empty()) << "keys the grid does not use reach the host";
    EXPECT_EQ(keys.back().key, static_cast<WPARAM>('N'));
}

TEST_F(GridWindow, SearchRevealsTheMatchInTheGrid) {
    std::string text = "<r><s>";
    for (int i = 0; i < 200; ++i) text += "<item><v>value" + std::to_string(i) + "</v></item>";
    text += "</s></r>";
    ASSERT_TRUE(openInGrid(L"grid-search.xml", text));
    EXPECT_EQ(Search(*main, L"value187", 0), SearchOutcome::Found);
    ASSERT_NE(main->selected, nullptr);
    EXPECT_EQ(u8(main->selected->name), "v");
    GridRect rect;
    ASSERT_TRUE(NodeRect(*root(), main->selected, pane().Metrics(), rect)) << "the match's group is open";
    RECT client{};
    GetClientRect(grid(), &client);
    const int margin = main->palette.scale(kGridMargin);
    EXPECT_GE(rect.top + margin - pane().scrollY, 0);
    EXPECT_LE(rect.bottom + margin - pane().scrollY, client.bottom) << "scrolled into view";
    EXPECT_GT(pane().scrollY, 0);
    const GridBox* leaf = pane().FindLeafBox(main->selected, nullptr);
    ASSERT_NE(leaf, nullptr);
}

TEST_F(GridWindow, ALargeKeyValueTablePaintsAsOneBuiltAtOnce) {
    // Key/value tables of more rows than are built at once, one row's value opened, painted at
    // the top, the middle and the end, then painted again with every row built at once.
    std::string array = "[", elements = "<r>";
    for (int i = 0; i < 600; ++i) {
        array += (i ? "," : "") + (i == 300 ? std::string("{\"x\":\"a rather wide value here\"}")
                                            : "\"" + std::string(size_t(i % 7), 'w') + std::to_string(i) + "\"");
        const std::string name = "e" + std::to_string(i);
        elements += "<" + name + (i == 300 ? "><a>1</a><b>two</b>" : ">v") + "</" + name + ">";
    }
    struct Case {
        const wchar_t* name;
        std::string text;
    } cases[] = {{L"grid-large-array.json", array + "]"}, {L"grid-large-elements.xml", elements + "<i/><i/></r>"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(u8(c.name));
        ASSERT_TRUE(openInGrid(c.name, c.text));
        const Node* top = main->document->root->children.front();
        ASSERT_GE(top->children.size(), 600u);
        pane().Toggle(kToggleNode, top->children[300]);
        auto paintings = [&] {
            std::vector<std::vector<uint32_t>> out;
            const int height = root()->height;
            for (int y : {0, height / 2, height}) {
                pane().ScrollTo(0, y);
                out.push_back(qmtest::render(grid()).data);
            }
            return out;
        };
        // A row far down selected: it is painted where NodeRect puts it.
        Node* selected = top->children[450];
        main->SelectNode(selected);
        const auto lazy = paintings();
        EXPECT_LT(pane().layout.boxes.size(), 100u) << "rows built only where painted";
        pane().RevealNode(selected);
        GridRect rect;
        ASSERT_TRUE(NodeRect(*root(), selected, pane().Metrics(), rect));
        const int margin = main->palette.scale(kGridMargin);
        const RECT shown{rect.left + margin - pane().scrollX, rect.top + margin - pane().scrollY,
                         rect.right + margin - pane().scrollX, rect.bottom + margin - pane().scrollY};
        const qmtest::Pixels pixels = qmtest::render(grid());
        EXPECT_TRUE(pixels.contains(main->palette.color(ColorSlot::selection), shown) ||
                    pixels.contains(main->palette.color(ColorSlot::inactiveSelection), shown));
        pane().layout.lazyAbove = SIZE_MAX;
        pane().Relayout();
        const auto full = paintings();
        for (size_t i = 0; i < full.size(); ++i) EXPECT_TRUE(lazy[i] == full[i]) << "painting " << i;
        close();
    }
}

// Figures for big files, not a check: QM_GRID_BENCH names a file; run with
// --gtest_also_run_disabled_tests --gtest_filter=GridWindow.DISABLED_BigFileFigures.
TEST_F(GridWindow, DISABLED_BigFileFigures) {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QM_GRID_BENCH", path, MAX_PATH)) GTEST_SKIP() << "QM_GRID_BENCH is not set";
    auto privateMb = [] {
        PROCESS_MEMORY_COUNTERS pmc{};
        pmc.cb = sizeof pmc;
        GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
        return pmc.WorkingSetSize / 1048576.0;
    };
    const double before = privateMb();
    double t = seconds();
    window = ListerLoad(host.window(), path, 0);
    main = FindMainWindow(window);
    ASSERT_NE(main, nullptr);
    UpdateWindow(main->treePane.window);
    const double loaded = privateMb();
    printf("load in the tree: %.3f s, document %.0f MB\n", seconds() - t, loaded - before);
    t = seconds();
    showGrid();
    UpdateWindow(grid());
    printf("switch to the grid: %.3f s, boxes %zu, texts measured %zu, grid adds %.0f MB\n", seconds() - t,
           pane().layout.boxes.size(), pane().measureCache.size(), privateMb() - loaded);
    // Three steps of dragging the root's first column edge, and the drop.
    auto dragStep = [&] {
        const GridBox& top = *root();
        const int edge = top.type == GridBoxType::Table ? top.x + top.frame->rowHeaderWidth + top.frame->columnWidths[0]
                                                        : top.x + top.frame->labelWidth;
        send(WM_LBUTTONDOWN, at(edge, top.y + 5));
        double slowest = 0;
        for (int step = 1; step <= 3; ++step) {
            const double t0 = seconds();
            send(WM_MOUSEMOVE, at(edge + 10 * step, top.y + 5), MK_LBUTTON);
            UpdateWindow(grid());
            slowest = std::max(slowest, seconds() - t0);
        }
        const double t0 = seconds();
        send(WM_LBUTTONUP, at(edge + 30, top.y + 5));
        UpdateWindow(grid());
        printf("column drag: slowest step %.3f s, drop %.3f s (dragging %d)\n", slowest, seconds() - t0, pane().dragging);
    };
    dragStep();
    // A file without nested cells (a plain array of values) has no click figures.
    if (const GridBox* nested = first(GridBoxType::Nested)) {
        t = seconds();
        send(WM_LBUTTONDOWN, at(nested->x + 5, nested->y + 5));
        UpdateWindow(grid());
        printf("one expander click: %.3f s\n", seconds() - t);
    } else {
        printf("one expander click: no nested cell\n");
    }
    t = seconds();
    {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(grid(), WM_KEYDOWN, VK_ADD, 1);
    }
    UpdateWindow(grid());
    printf("expand all: %.3f s, boxes %zu, texts measured %zu, grid adds %.0f MB\n", seconds() - t,
           pane().layout.boxes.size(), pane().measureCache.size(), privateMb() - loaded);
    dragStep();
    // Ten clicks on the expander of the first nested cell, opening and closing it.
    double slowest = 0;
    for (int i = 0; i < 10; ++i) {
        const GridBox* cell = first(GridBoxType::Nested);
        if (!cell) break;
        const double t0 = seconds();
        send(WM_LBUTTONDOWN, at(cell->x + 5, cell->y + 5));
        UpdateWindow(grid());
        slowest = std::max(slowest, seconds() - t0);
    }
    printf("ten expander clicks after expand all: slowest %.3f s\n", slowest);
    t = seconds();
    SendMessageW(grid(), WM_KEYDOWN, VK_END, 1);
    UpdateWindow(grid());
    printf("scroll to the end: %.3f s\n", seconds() - t);
    // A search reveal of a value in the middle of the file, after collapsing all.
    {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(grid(), WM_KEYDOWN, VK_SUBTRACT, 1);
    }
    UpdateWindow(grid());
    Node* middle = &main->document->nodes[main->document->nodes.size() / 2];
    while (middle->kind == NodeKind::Object || middle->kind == NodeKind::Array) middle = middle->children.front();
    t = seconds();
    main->SelectNode(middle);
    pane().RevealNode(middle);
    UpdateWindow(grid());
    printf("reveal a value in the middle: %.3f s (%s)\n", seconds() - t, FindLeafBox(root(), middle, nullptr) ? "shown" : "not shown");
    fflush(stdout);
}

namespace {
int chooseCopyTable(HMENU, HWND, POINT) { return kCmdCopyTable; }
}  // namespace

// A click on a column header sorts the table under it and keeps the selection; the menu over
// the table copies it as the rows are shown; a sort leaves the other tables' boxes alone.
TEST_F(GridWindow, HeaderClicksSortAndCopyTableTakesTheRowsAsShown) {
    ASSERT_TRUE(openInGrid(L"grid-sort.json",
                         R"({"t": [{"n": "b", "v": 10}, {"n": "C", "v": 9}, {"n": "a"}], "u": [{"k": 1}, {"k": 0}]})"));
    Node* second = main->document->root->children[0]->children[0]->children[1];
    main->SelectNode(second);
    auto order = [&] {
        const GridFrame& f = *first(GridBoxType::Table)->frame;
        std::string out;
        for (const Node* record : f.records) out += u8(record->children[0]->value);
        return out;
    };
    auto clickHeader = [&](int32_t column) {
        const GridBox* table = first(GridBoxType::Table);
        int left = table->x + table->frame->rowHeaderWidth;
        for (int32_t c = 0; c < column; ++c) left += table->frame->columnWidths[static_cast<size_t>(c)];
        send(WM_LBUTTONDOWN, at(left + 10, table->y + 5));
        send(WM_LBUTTONUP, at(left + 10, table->y + 5));
    };
    const GridBox* other = nullptr;
    struct Step {
        int32_t column;
        const char* order;
    } steps[] = {{1, "Cba"}, {1, "bCa"}, {1, "bCa"}, {0, "abC"}, {0, "Cba"}};
    // The document order comes back after descending: "b C a" is also the document order.
    for (const Step& s : steps) {
        clickHeader(s.column);
        EXPECT_EQ(order(), s.order) << s.column;
        EXPECT_EQ(main->selected, second) << "the selection stays on its record";
        const GridBox* now = first(GridBoxType::Table);
        if (other) {
            const GridBox* u = pane().FindTable(main->document->root->children[0]->children[1]->children[0]);
            EXPECT_EQ(u, other) << "the other table was not built again";
        }
        other = pane().FindTable(main->document->root->children[0]->children[1]->children[0]);
        ASSERT_NE(now, nullptr);
    }

    // "Copy table" from the menu opened over the sorted table.
    const GridBox* table = first(GridBoxType::Table);
    const int margin = main->palette.scale(kGridMargin);
    POINT screen{table->x + margin + 5 - pane().scrollX, table->y + margin + main->palette.rowHeight + 5 - pane().scrollY};
    ClientToScreen(grid(), &screen);
    qmtest::answerContextMenu(grid(), chooseCopyTable, screen);
    EXPECT_EQ(qmtest::clipboardText(), "n\tv\r\nC\t9\r\nb\t10\r\na\t\r\n");
}

namespace {
UINT sortEntryState = 0;
int chooseSortByColumn(HMENU menu, HWND, POINT) {
    sortEntryState = GetMenuState(menu, kCmdSortByColumn, MF_BYCOMMAND);
    return (sortEntryState & MF_GRAYED) ? 0 : kCmdSortByColumn;
}
}  // namespace

// Ctrl+Shift+O and the menu's "Sort by this column" sort the selected cell's table by its column
// as a click on that header does, arrow and all, the selection kept; a selected record (its row
// header) names no column: nothing is sorted and the entry is grayed.
TEST_F(GridWindow, KeyboardSortsTheSelectedCellsColumn) {
    ASSERT_TRUE(openInGrid(L"grid-sort.json", R"({"t": [{"n": "b", "v": 10}, {"n": "C", "v": 9}, {"n": "a"}]})"));
    Node* records = main->document->root->children[0]->children[0];
    Node* ten = records->children[0]->children[1];
    main->SelectNode(ten);
    auto shown = [&] {
        const GridFrame& f = *first(GridBoxType::Table)->frame;
        std::string out;
        for (const Node* record : f.records) out += u8(record->children[0]->value);
        return out + " " + u8(f.rows[0].note) + "|" + u8(f.rows[1].note);
    };
    auto sortKey = [&] {
        qmtest::HeldKeys keys{VK_CONTROL, VK_SHIFT};
        SendMessageW(grid(), WM_KEYDOWN, 'O', 1);
    };
    auto sortMenu = [&] { qmtest::answerContextMenu(grid(), chooseSortByColumn); };
    sortKey();
    EXPECT_EQ(shown(), "Cba |\u25B2");
    EXPECT_EQ(main->selected, ten);
    sortMenu();
    EXPECT_FALSE(sortEntryState & MF_GRAYED);
    EXPECT_EQ(shown(), "bCa |\u25BC");
    sortKey();
    EXPECT_EQ(shown(), "bCa |") << "document order again";
    main->SelectNode(records->children[1]->children[0]);  // "n": "C"
    sortKey();
    EXPECT_EQ(shown(), "abC \u25B2|");

    main->SelectNode(records->children[2]);
    sortKey();
    EXPECT_EQ(shown(), "abC \u25B2|");
    sortMenu();
    EXPECT_TRUE(sortEntryState & MF_GRAYED);
    EXPECT_EQ(shown(), "abC \u25B2|");
}

// Go to path (and any reveal) of a cell in a row of a long table scrolls to it; the table is
// shown already, so nothing is opened and no box is built again.
TEST_F(GridWindow, GoToPathRevealsATableCellWithoutBuildingTheGridAgain) {
    ASSERT_TRUE(openInGrid(L"grid-goto.json", u8(qmtest::jsonArray(400, [](size_t i) {
        return L"{\"k\": " + std::to_wstring(i) + L", \"v\": \"w\"}";
    }))));
    const GridBox* table = first(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    const size_t boxes = pane().layout.boxes.size();
    const size_t openNodes = main->gridPane.expansion.nodes.size();
    GoToPathText(*main, L"$[350].v");
    EXPECT_EQ(selectedPath(), "$[350].v");
    EXPECT_EQ(first(GridBoxType::Table), table) << "the table was not built again";
    EXPECT_EQ(main->gridPane.expansion.nodes.size(), openNodes) << "nothing was opened";
    EXPECT_GE(pane().layout.boxes.size(), boxes);
    const GridBox* cell = FindLeafBox(root(), main->selected, nullptr);
    ASSERT_NE(cell, nullptr);
    RECT client{};
    GetClientRect(grid(), &client);
    const int margin = main->palette.scale(kGridMargin);  // boxes are placed inside the grid's margin
    EXPECT_GT(pane().scrollY, 0);
    EXPECT_GE(cell->y + margin, pane().scrollY);
    EXPECT_LE(cell->y + margin + main->palette.rowHeight, pane().scrollY + client.bottom) << "the cell is in view";
}

// "Copy table" of a table of more than one slice goes on a slice per timer message with its
// progress in the status bar; Escape stops it with the clipboard untouched; let run, it copies
// what a copy in one go copies.
TEST_F(GridWindow, BigTableCopyShowsProgressAndEscapeStopsIt) {
    ASSERT_TRUE(openInGrid(L"grid-copy.json", u8(qmtest::jsonArray(5000, [](size_t i) {
        return L"{\"k\": " + std::to_wstring(i) + L", \"v\": [\"w\"]}";
    }))));
    const GridBox* table = first(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    main->SelectNode(table->frame->records[0]);
    auto copyTable = [&] { qmtest::answerContextMenu(grid(), chooseCopyTable); };
    CopyTextToClipboard(main->window, L"before");
    copyTable();
    ASSERT_TRUE(main->tableCopy) << "not copied at once";
    EXPECT_EQ(copyProgressText(main->tableCopy->Progress()), L"Copying the table\u2026 20 % (Esc stops)");
    SendMessageW(grid(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(main->tableCopy);
    SendMessageW(main->window, WM_TIMER, kTableCopyTimer, 0);  // a timer message already queued does nothing
    EXPECT_EQ(qmtest::clipboardText(), "before");

    copyTable();
    for (int slice = 0; main->tableCopy && slice < 10; ++slice) SendMessageW(main->window, WM_TIMER, kTableCopyTimer, 0);
    EXPECT_FALSE(main->tableCopy);
    EXPECT_EQ(qmtest::clipboardText(), u8(tableText(*first(GridBoxType::Table), *main->document)));
}

// Sorting a table of many different texts goes on a slice per timer message with its progress in
// the status bar, the table in its old order meanwhile; Escape stops it with the table as it was;
// let run, the rows are in the order of a sort in one go.
TEST_F(GridWindow, BigTableSortShowsProgressAndEscapeStopsIt) {
    // A key per record: three slices of keys, then one ranking them.
    ASSERT_TRUE(openInGrid(L"grid-sort.json", u8(qmtest::jsonArray(20000, [](size_t i) {
        return L"{\"k\": \"w" + std::to_wstring(i * 7919 % 20000) + L"\"}";
    }))));
    const std::vector<Node*> documentOrder = first(GridBoxType::Table)->frame->records;
    pane().SortTable(*first(GridBoxType::Table), 0);
    ASSERT_TRUE(pane().sortRun) << "not sorted at once";
    EXPECT_EQ(sortProgressText(pane().sortRun->pass.Progress()), L"Sorting\u2026 40 % (Esc stops)");
    EXPECT_EQ(first(GridBoxType::Table)->frame->records, documentOrder);
    SendMessageW(grid(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(pane().sortRun);
    SendMessageW(main->window, WM_TIMER, kSortTimer, 0);  // a timer message already queued does nothing
    EXPECT_TRUE(pane().expansion.sorts.empty());
    EXPECT_EQ(first(GridBoxType::Table)->frame->records, documentOrder);

    pane().SortTable(*first(GridBoxType::Table), 0);
    int slices = 1;
    for (; pane().sortRun && slices < 10; ++slices) SendMessageW(main->window, WM_TIMER, kSortTimer, 0);
    EXPECT_EQ(slices, 4);
    const GridFrame& f = *first(GridBoxType::Table)->frame;
    EXPECT_EQ(f.records, sortedRecords(documentOrder, tableColumns(f), 0, false, pane().layout.textKey));
}

// Clearing the filter shows the grid it found again, kept aside rather than built anew, with what
// was opened and sorted under the filter and the selection's tables opened: the same boxes, sizes
// and places as a grid built anew.
TEST_F(GridWindow, ClearingTheFilterShowsTheGridAsBuiltAnew) {
    ASSERT_TRUE(openInGrid(L"grid-filter.json", manyRecords(40)));
    auto nestedOf = [&](int record, const char* member) {
        const Node* r = main->document->root->children[0]->children[static_cast<size_t>(record)];
        for (const Node* m : r->children)
            if (u8(m->name) == member) return m;
        return static_cast<const Node*>(nullptr);
    };
    pane().Toggle(kToggleNode, nestedOf(3, "o"));
    ASSERT_GT(pane().layout.discarded, 0u);
    // The first match is $[0].o.x, in a table the grid has closed.
    ApplyFilter(*main, L"1", 0);
    ASSERT_TRUE(main->filter.active);
    UpdateWindow(grid());
    pane().Toggle(kToggleNode, nestedOf(12, "tags"));
    pane().SortTable(*first(GridBoxType::Table), 0);
    ClearFilter(*main);
    EXPECT_GT(pane().layout.discarded, 0u) << "the grid from before the filter";
    auto picture = [&] {
        std::vector<std::string> out;
        std::vector<const GridBox*> stack{root()};
        while (!stack.empty()) {
            const GridBox* b = stack.back();
            stack.pop_back();
            std::string line = std::to_string(int(b->type)) + " " + u8(b->node ? nodeLabel(b->node) : L"") + " " +
                               std::to_string(b->x) + "," + std::to_string(b->y) + " " + std::to_string(b->width) +
                               "x" + std::to_string(b->height);
            if (b->frame) {
                for (int32_t top : b->frame->rowTops) line += " " + std::to_string(top);
                for (const GridBox* child : b->frame->children) stack.push_back(child);
            }
            out.push_back(line);
        }
        return out;
    };
    const std::vector<std::string> restored = picture();
    const size_t rows = first(GridBoxType::Table)->frame->records.size();
    pane().Relayout();
    EXPECT_EQ(restored, picture());
    EXPECT_EQ(rows, 40u);
    EXPECT_TRUE(pane().expansion.nodes.count(nestedOf(0, "o"))) << "the selection revealed";
    EXPECT_TRUE(pane().expansion.nodes.count(nestedOf(12, "tags")));
}

// Figures of sorting, copying and filtering a big file; set QM_FEATURE_BENCH to its path and run
// --gtest_also_run_disabled_tests --gtest_filter=GridWindow.DISABLED_FeatureFigures.
TEST_F(GridWindow, DISABLED_FeatureFigures) {
    wchar_t path[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QM_FEATURE_BENCH", path, MAX_PATH)) GTEST_SKIP() << "QM_FEATURE_BENCH is not set";
    GridPane::buildSliceSeconds = kGridBuildSliceSeconds;
    double t = seconds();
    window = ListerLoad(host.window(), path, 0);
    main = FindMainWindow(window);
    ASSERT_NE(main, nullptr);
    printf("load: %.3f s, %zu nodes\n", seconds() - t, main->document->nodes.size());
    showGrid();
    UpdateWindow(grid());
    const GridBox* table = first(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    const size_t rows = table->frame->records.size();
    // The filter runs a slice per timer message: the figure is the whole, and the longest time
    // the host waits for one message.
    auto filterAndClear = [&](const char* when) {
        for (const wchar_t* term : {L"Juliet kilo 4242", L"alpha", L"example"}) {
            t = seconds();
            ApplyFilter(*main, term, 0);
            double slowest = seconds() - t;
            size_t slices = 1;
            for (; main->filterRun; ++slices) {
                const double t0 = seconds();
                const bool building = main->filterRun->step == MainWindow::FilterRun::Step::Building;
                SendMessageW(main->window, WM_TIMER, building ? kGridBuildTimer : kFilterTimer, 0);
                if (!main->filterRun) UpdateWindow(grid());
                slowest = std::max(slowest, seconds() - t0);
            }
            UpdateWindow(grid());
            printf("filter \"%ls\" (%s): %.3f s in %zu slices (slowest message %.3f s), %zu matched (%s)\n", term, when,
                   seconds() - t, slices, slowest, main->filter.matched,
                   main->chrome.searchOutcome == SearchOutcome::Stopped ? "stopped" : "complete");
        }
        t = seconds();
        ClearFilter(*main);
        UpdateWindow(grid());
        printf("clear the filter (%s): %.3f s\n", when, seconds() - t);
    };
    filterAndClear("unsorted");
    table = first(GridBoxType::Table);
    {
        const GridFrame& f = *table->frame;
        const RecordColumns columns(f.rows, static_cast<size_t>(f.columnCount), f.key->kind == NodeKind::Object);
        for (int32_t column : {0, 1, 3}) {
            t = seconds();
            const std::vector<Node*> order = sortedRecords(f.records, columns, column, false, pane().layout.textKey);
            printf("order of %zu rows by column %d alone: %.3f s\n", order.size(), column, seconds() - t);
        }
    }
    // A big table sorts a slice per timer message: the figure is the whole, and the longest time
    // the host waits for one message.
    for (int32_t column : {3, 3, 3, 1}) {
        t = seconds();
        pane().SortTable(*first(GridBoxType::Table), column);
        UpdateWindow(grid());
        double slowest = seconds() - t;
        size_t slices = 1;
        for (; pane().sortRun; ++slices) {
            const double t0 = seconds();
            SendMessageW(main->window, WM_TIMER, kSortTimer, 0);
            UpdateWindow(grid());
            slowest = std::max(slowest, seconds() - t0);
        }
        printf("sort %zu rows by column %d (%s): %.3f s in %zu slices (slowest message %.3f s)\n", rows, column,
               main->gridPane.expansion.sorts.empty() ? "document order" : "sorted", seconds() - t, slices, slowest);
    }
    t = seconds();
    const std::wstring text = tableText(*first(GridBoxType::Table), *main->document);
    printf("copy table text: %.3f s, %zu characters\n", seconds() - t, text.size());
    {
        t = seconds();
        TableCopy copy(*first(GridBoxType::Table)->frame, *main->document);
        double slowest = 0;
        size_t slices = 0;
        for (bool done = false; !done; ++slices) {
            const double t0 = seconds();
            done = copy.Step(kTableCopySliceRecords);
            slowest = std::max(slowest, seconds() - t0);
        }
        printf("copy table in slices of %zu records: %.3f s in %zu slices, the longest %.3f s\n", kTableCopySliceRecords,
               seconds() - t, slices, slowest);
    }
    filterAndClear("sorted by a text column");
    // Go to path: a record near the end, its third member, as Enter in Ctrl+G's field does it.
    {
        const Node* root = main->document->root;
        const Node* records = root->children.size() == 1 ? root->children[0] : root;  // JSON Lines: the root's
        const Node* record = records->children[records->children.size() * 9 / 10];
        const Node* member = record->children.size() > 2 ? record->children[2] : record;
        const std::wstring path = nodePath(member, main->document->format);
        for (int view : {kViewGrid, kViewTree}) {
            main->SwitchView(view);
            while (pane().buildRun) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
            UpdateWindow(main->ActiveViewWindow());
            t = seconds();
            GoToPathText(*main, path);
            UpdateWindow(main->ActiveViewWindow());
            printf("go to path %ls in the %s: %.3f s (%s)\n", path.c_str(), view == kViewGrid ? "grid" : "tree", seconds() - t,
                   main->selected == member ? "selected" : "not selected");
        }
    }
    fflush(stdout);
}

// "Expand all" on a file whose rows take more than one slice to size goes on a slice per timer
// message with its progress in the status bar, the grid and its sets as they were meanwhile;
// Escape stops it with nothing changed; let run, it shows the grid a build in one go shows.
// "Collapse all" then shows the grid from before again without building it, and back. "Expand
// subtree" of the top-level node goes the same way.
TEST_F(GridWindow, BigExpandAllShowsProgressAndEscapeStopsIt) {
    ASSERT_TRUE(openInGrid(L"grid-expand.json", manyRecords(40000)));
    const GridBox* collapsed = root();
    const int collapsedHeight = collapsed->height;
    auto bulk = [&](bool expand) {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(grid(), WM_KEYDOWN, expand ? VK_ADD : VK_SUBTRACT, 1);
    };
    auto picture = [&] {
        const GridBox* table = first(GridBoxType::Table);
        std::vector<int> out{root()->width, root()->height, pane().ContentHeight(), table->frame->rowHeaderWidth};
        out.insert(out.end(), table->frame->columnWidths.begin(), table->frame->columnWidths.end());
        out.insert(out.end(), table->frame->rowTops.begin(), table->frame->rowTops.end());
        return out;
    };
    bulk(true);
    ASSERT_TRUE(pane().buildRun) << "not laid out at once";
    SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);  // past finding the columns
    ASSERT_TRUE(pane().buildRun);
    const int percent = pane().buildRun->pass->Progress();
    EXPECT_GT(percent, 0);
    EXPECT_LT(percent, 100);
    EXPECT_EQ(bulkProgressText(true, percent), L"Expanding all\u2026 " + std::to_wstring(percent) + L" % (Esc stops)");
    EXPECT_EQ(root(), collapsed);
    EXPECT_EQ(pane().expansion.nodes.size(), 1u) << "the sets wait for the grid";
    SendMessageW(grid(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(pane().buildRun);
    SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);  // a timer message already queued does nothing
    EXPECT_EQ(root(), collapsed);
    EXPECT_EQ(root()->height, collapsedHeight);
    EXPECT_EQ(pane().expansion.nodes.size(), 1u);

    bulk(true);
    int slices = 1;
    for (; pane().buildRun && slices < 100; ++slices) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
    EXPECT_GT(slices, 3);
    EXPECT_LT(slices, 100);
    EXPECT_GT(pane().expansion.nodes.size(), 80000u);
    const std::vector<int> expanded = picture();
    EXPECT_GT(root()->height, collapsedHeight);

    bulk(false);
    EXPECT_FALSE(pane().buildRun) << "the grid from before Expand all, kept";
    EXPECT_EQ(root(), collapsed);
    EXPECT_EQ(root()->height, collapsedHeight);
    EXPECT_EQ(pane().expansion.nodes.size(), 1u);
    bulk(true);
    EXPECT_FALSE(pane().buildRun) << "the grid from before Collapse all, kept";
    EXPECT_EQ(picture(), expanded);
    pane().Relayout();
    EXPECT_EQ(picture(), expanded) << "as built in one go";

    // "Expand subtree" (*) of the top-level array is all of it: built beside the grid shown in
    // slices too, Escape stops it with nothing changed, and let run it shows what Expand all shows.
    bulk(false);
    while (pane().buildRun) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
    const GridBox* shown = root();
    ASSERT_EQ(shown->height, collapsedHeight);
    main->SelectNode(main->document->root->children[0]);
    auto star = [&] { SendMessageW(grid(), WM_KEYDOWN, VK_MULTIPLY, 1); };
    star();
    ASSERT_TRUE(pane().buildRun) << "built at once";
    EXPECT_TRUE(pane().buildRun->subtree);
    SendMessageW(grid(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(pane().buildRun);
    EXPECT_EQ(root(), shown);
    EXPECT_EQ(root()->height, collapsedHeight);
    star();
    for (slices = 1; pane().buildRun && slices < 100; ++slices) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
    EXPECT_GT(slices, 3);
    EXPECT_LT(slices, 100);
    EXPECT_EQ(picture(), expanded);
}

// Under the filter, "Expand all" goes in slices as well: the filtered grid stays shown until the
// new one is complete, Escape stops it with the filter and the grid as they were, and let run it
// shows what a build in one go shows, the filter still on.
TEST_F(GridWindow, BigExpandAllUnderTheFilterGoesInSlices) {
    ASSERT_TRUE(openInGrid(L"grid-expand-filter.json", manyRecords(40000)));
    ApplyFilter(*main, L"1", 0);  // every record: each has "x": 1
    qmtest::runFilter(*main);
    ASSERT_TRUE(main->filter.active);
    UpdateWindow(grid());
    const GridBox* filtered = root();
    const int filteredHeight = filtered->height;
    auto expandAll = [&] {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(grid(), WM_KEYDOWN, VK_ADD, 1);
    };
    expandAll();
    ASSERT_TRUE(pane().buildRun) << "laid out at once";
    SendMessageW(grid(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(pane().buildRun);
    EXPECT_TRUE(main->filter.active);
    EXPECT_EQ(root(), filtered);
    EXPECT_EQ(root()->height, filteredHeight);

    expandAll();
    for (int slices = 1; pane().buildRun && slices < 100; ++slices) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
    EXPECT_FALSE(pane().buildRun);
    EXPECT_TRUE(main->filter.active);
    EXPECT_GT(root()->height, filteredHeight) << "the tags opened";
    const int height = root()->height;
    const std::vector<int> widths = first(GridBoxType::Table)->frame->columnWidths;
    pane().Relayout();
    EXPECT_EQ(root()->height, height) << "as built in one go";
    EXPECT_EQ(first(GridBoxType::Table)->frame->columnWidths, widths);

    // Another filter: the grid kept from before Expand all showed what the first one kept, and
    // Collapse all builds the grid anew.
    expandAll();
    while (pane().buildRun) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
    ASSERT_TRUE(pane().beforeBulk.kept);
    ApplyFilter(*main, L"2", 0);
    qmtest::runFilter(*main);
    ASSERT_TRUE(main->filter.active);
    EXPECT_FALSE(pane().beforeBulk.kept);
}

// Switching to the grid of a file whose rows take more than one slice to size, or loading it with
// the grid as the view (View=1), waits for them, the Tree shown meanwhile and the progress in the
// status bar; Escape stays in the Tree; let run, the grid a build in one go shows is shown. The
// same for a file of two records so wide that building one row takes several slices.
TEST_F(GridWindow, SwitchingToABigGridShowsProgressAndEscapeStaysInTheView) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "two wide records" : "many records");
        const std::wstring path = wide ? qmtest::writeTempFile(L"grid-switch-wide.jsonl", wideRecords(2, 100000))
                                       : qmtest::writeTempFile(L"grid-switch.json", manyRecords(70000));
        ASSERT_TRUE(open(path));
        for (bool atLoad : {false, true}) {
            SCOPED_TRACE(atLoad ? "at load" : "Ctrl+2");
            auto ask = [&] {
                if (atLoad) {
                    close();
                    window = ListerLoad(host.window(), path, 0);  // as open() does, without pumping messages
                    main = FindMainWindow(window);
                    return;
                }
                qmtest::HeldKeys ctrl{VK_CONTROL};
                SendMessageW(main->treePane.window, WM_KEYDOWN, '2', 1);
            };
            ask();
            ASSERT_TRUE(pane().buildRun) << "built at once";
            EXPECT_TRUE(pane().buildRun->switching);
            EXPECT_EQ(main->settings.activeView, kViewTree);
            EXPECT_TRUE(IsWindowVisible(main->treePane.window));
            const int percent = pane().buildRun->pass->Progress();
            EXPECT_EQ(gridBuildProgressText(percent), L"Building the grid\u2026 " + std::to_wstring(percent) + L" % (Esc stops)");
            SendMessageW(main->treePane.window, WM_KEYDOWN, VK_ESCAPE, 1);
            EXPECT_FALSE(pane().buildRun);
            SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
            EXPECT_EQ(main->settings.activeView, kViewTree);
            EXPECT_TRUE(pane().stale);

            ask();  // at load: the setting stays the grid
            if (atLoad) {
                main->SaveSettings();  // as another setting changed meanwhile saves them
                Settings saved;
                ReadSettings(saved);
                EXPECT_EQ(saved.activeView, kViewGrid);
            }
            int slices = 1;
            for (; pane().buildRun && slices < 100; ++slices) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
            EXPECT_GT(slices, 2);  // the table's columns are found in the first ones
            EXPECT_LT(slices, 100);
            EXPECT_EQ(main->settings.activeView, kViewGrid);
            EXPECT_EQ(GetFocus(), grid());
            const GridBox* table = first(GridBoxType::Table);
            ASSERT_NE(table, nullptr);
            if (wide) {
                EXPECT_EQ(table->frame->records.size(), 2u);
                EXPECT_EQ(table->frame->columnCount, 100000);
                EXPECT_EQ(table->frame->children.size(), 200000u) << "every cell built";
            }
            const std::vector<int> widths = table->frame->columnWidths;
            const int height = root()->height;
            pane().Relayout();
            EXPECT_EQ(first(GridBoxType::Table)->frame->columnWidths, widths) << "as built in one go";
            EXPECT_EQ(root()->height, height);
        }
        close();
    }
}

// A filter applied in the grid of a big file builds the filtered grid beside the one shown, a
// slice per timer message, and shows it in the message after; until then Escape leaves the grid
// and the nodes' marks as they were; let run, the grid a build in one go shows is shown.
TEST_F(GridWindow, BigFilterInTheGridIsBuiltInSlicesAndEscapeKeepsTheGridBefore) {
    ASSERT_TRUE(openInGrid(L"grid-filter.json", manyRecords(70000)));
    const GridBox* full = root();
    auto filter = [&] {
        ApplyFilter(*main, L"2", 0);  // the records with a 2 in their id
        while (main->filterRun && !pane().buildRun) SendMessageW(main->window, WM_TIMER, kFilterTimer, 0);
        ASSERT_TRUE(pane().buildRun && pane().buildRun->filtering) << "built at once";
    };
    filter();
    SendMessageW(grid(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_FALSE(main->filterRun || pane().buildRun);
    SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);  // a timer message already queued does nothing
    EXPECT_FALSE(main->filter.active);
    EXPECT_EQ(root(), full);
    for (size_t i = 0; i < main->document->nodes.size(); ++i) ASSERT_EQ(main->document->nodes[i].filterMark, 0) << i;

    filter();
    for (int slices = 0; pane().buildRun && slices < 100; ++slices) SendMessageW(main->window, WM_TIMER, kGridBuildTimer, 0);
    EXPECT_EQ(root(), full);
    SendMessageW(main->window, WM_TIMER, kFilterTimer, 0);
    ASSERT_TRUE(main->filter.active);
    const std::vector<int> widths = first(GridBoxType::Table)->frame->columnWidths;
    const int height = root()->height;
    EXPECT_NE(root(), full);
    pane().Relayout();
    EXPECT_EQ(first(GridBoxType::Table)->frame->columnWidths, widths) << "as built in one go";
    EXPECT_EQ(root()->height, height);
}
