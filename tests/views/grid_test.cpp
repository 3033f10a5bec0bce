// The grid view's portable logic: boxes built from parsed documents, the expansion sets, and the
// layout measured with a fixed-width font (7 pixels a character at 96 DPI).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "edit/nodetext.h"
#include "tests/support/testing.h"
#include "tests/views/gridtesting.h"
#include "views/grid.h"

using namespace qm;
using namespace qmgrid;
using qmtest::u8;

TEST(GridBoxes, RecordsBecomeTablesAndOtherContainersKeyValueTables) {
    struct Case {
        const char* what;
        const wchar_t* name;
        const wchar_t* text;
        GridBoxType type;  // of the first table-like box below the root
        std::vector<std::string> columnsOrLabels;
        std::vector<std::vector<std::string>> cells;
    } cases[] = {
        {"two records share the columns a, b, c; missing members stay empty", L"a.json",
         L"[{\"a\": 1, \"b\": 2}, {\"a\": 3, \"c\": 4}]", GridBoxType::Table, {"a", "b", "c"},
         {{"1", "2", ""}, {"3", "", "4"}}},
        {"an array mixing objects and numbers is a key/value table", L"a.json", L"[{\"a\": 1}, 2, 3]",
         GridBoxType::KeyValue, {"[0]", "[1]", "[2]"}, {}},
        {"comments do not stop an array of objects from being records", L"a.yaml", L"- a: 1\n# note\n- a: 2\n",
         GridBoxType::Table, {"a"}, {{"1"}, {"2"}}},
        {"element records: attributes, then text, then child elements; two same-named children are a group",
         L"a.xml",
         L"<r><item id=\"1\">x<b>5</b></item><item id=\"2\"><b>6</b><b>7</b><c/></item></r>", GridBoxType::Table,
         {"id", "", "b", "c"}, {{"1", "x", "5", ""}, {"2", "", "<b 2>", ""}}},
        {"cells show a value's preview: spaces at the ends dropped, runs and line breaks folded", L"a.json",
         L"[{\"a\":\" lead\"},{\"a\":\"trail \"},{\"a\":\"two  spaces\"},{\"a\":\"tab\\tline\\nbreak\"},{\"a\":\"a b\"}]",
         GridBoxType::Table, {"a"}, {{"lead"}, {"trail"}, {"two spaces"}, {"tab line break"}, {"a b"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Grid g(c.name, c.text);
        g.expandAll();
        const GridBox* box = g.find([&](const GridBox& b) { return b.type == c.type && &b != g.layout.root; });
        ASSERT_NE(box, nullptr);
        if (c.type == GridBoxType::Table) {
            EXPECT_EQ(headers(*box), c.columnsOrLabels);
            EXPECT_EQ(cells(*box), c.cells);
        } else {
            EXPECT_EQ(labels(*box), c.columnsOrLabels);
        }
    }
}

TEST(GridBoxes, RunsOfSameNamedElementsAreGroupRows) {
    struct Case {
        const char* what;
        const wchar_t* xml;
        std::vector<std::string> rows;  // of the document element's table
    } cases[] = {
        {"five items are one row", L"<r><item/><item/><item/><item/><item/></r>", {"item (5)"}},
        {"a comment breaks the run", L"<r><item/><item/><!--x--><item/><item/><item/></r>", {"item (2)", "", "item (3)"}},
        {"a run of one is an ordinary row", L"<r><item/><!--x--><item/><item/></r>", {"item", "", "item (2)"}},
        {"different names make no run", L"<r><a/><b/><a/></r>", {"a", "b", "a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Grid g(L"a.xml", c.xml);
        const GridBox* r = g.layout.root->frame->children.front();
        ASSERT_EQ(r->type, GridBoxType::KeyValue);
        EXPECT_EQ(labels(*r), c.rows);
    }
}

TEST(GridBoxes, AGroupRowOpensIntoARecordTableAndClosesToAnEmptyCell) {
    Grid g(L"a.xml", L"<r><item k=\"1\">a</item><item k=\"2\">b</item><item k=\"3\">c</item></r>");
    const GridBox* r = g.layout.root->frame->children.front();
    EXPECT_EQ(r->frame->rows.front().toggle, kToggleGroup);
    EXPECT_TRUE(r->frame->rows.front().open) << "the runs of a small top level open with the document";
    const GridBox* table = r->frame->children.front();
    ASSERT_EQ(table->type, GridBoxType::Table);
    EXPECT_EQ(cells(*table), (std::vector<std::vector<std::string>>{{"1", "a"}, {"2", "b"}, {"3", "c"}}));

    toggleGrid(kToggleGroup, r->frame->rows.front().toggleKey, g.expansion);
    g.build();
    const GridBox* closed = g.layout.root->frame->children.front()->frame->children.front();
    EXPECT_EQ(closed->type, GridBoxType::Leaf);
    EXPECT_TRUE(closed->text.empty());
}

TEST(GridBoxes, NestingPast120LevelsIsCutWithAnEllipsisCell) {
    std::wstring deep;
    for (int i = 0; i < 130; ++i) deep += L"[";
    deep += L"1";
    for (int i = 0; i < 130; ++i) deep += L"]";
    Grid g(L"a.json", deep);
    g.expandAll();
    const GridBox* cut = g.leafWithText(L"\u2026");
    ASSERT_NE(cut, nullptr);
    EXPECT_TRUE(cut->dim);
    ASSERT_NE(cut->node, nullptr) << "the cell stands for the container it does not open";
    EXPECT_EQ(g.leafWithText(L"1"), nullptr) << "the value below the cut is not built";
    // The value below the cut is shown by the "…" cell's container, at the cell's row.
    const Node* value = cut->node;
    while (!value->children.empty()) value = value->children.front();
    GridRect rect;
    EXPECT_EQ(gridShownNode(*g.layout.root, value, g.metrics(), rect), cut->node);
    EXPECT_LE(rect.top, cut->y);
    EXPECT_GE(rect.bottom, cut->y + cut->height);
    EXPECT_EQ(gridShownNode(*g.layout.root, cut->node, g.metrics(), rect), cut->node);
}

TEST(GridExpansion, RunAndGroupKeys) {
    auto doc = qmtest::parse(L"a.xml", L"<r><a/><a/><b/><a/><!--c--><b/></r>");
    const Node* r = doc->root->children.front();
    const auto& k = r->children;
    struct Case {
        size_t child;
        const Node* run;
        const Node* group;
    } cases[] = {
        {0, k[0], k[0]},
        {1, k[0], k[0]},
        {2, nullptr, k[2]},      // b is alone in its block but has a namesake further on
        {3, nullptr, k[0]},
        {4, nullptr, nullptr},   // a comment
        {5, nullptr, k[2]},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.child);
        EXPECT_EQ(gridRunKey(k[c.child]), c.run);
        EXPECT_EQ(gridGroupKey(k[c.child]), c.group);
    }
}

TEST(GridExpansion, TopLevelWithMoreThan200ChildrenOpensOnlyItself) {
    for (int n : {200, 201}) {
        SCOPED_TRACE(n);
        auto doc = qmtest::parse(L"a.json", qmtest::jsonArray(n, [](size_t) { return L"[1]"; }));
        GridExpansion e;
        resetGridExpansion(doc->root, e);
        EXPECT_EQ(e.nodes.size(), n == 200 ? 201u : 1u);
    }
}

TEST(GridExpansion, RevealOpensTheAncestorsAndTheirGroups) {
    Grid g(L"a.xml", L"<r><s><item><x>1</x></item><item><x>2</x></item></s></r>");
    expandAllGrid(*g.doc, false, g.expansion);
    const Node* x2 = g.doc->root->children.front()->children.front()->children[1]->children.front();
    revealInGrid(x2, g.expansion);
    g.build();
    GridRect rect;
    EXPECT_TRUE(NodeRect(*g.layout.root, x2, g.metrics(), rect));
    EXPECT_NE(g.find([&](const GridBox& b) { return b.type == GridBoxType::Leaf && b.node == x2; }), nullptr);
}

// After Collapse all every node stands for itself or for the deepest ancestor the collapsed grid
// shows: revealing that one opens nothing, so the grid stays collapsed.
TEST(GridExpansion, CollapsedSelectionMovesToTheNodeThatShowsIt) {
    Grid g(L"a.xml", L"<r><s><item><x>1</x></item><item><x>2</x></item></s><t><u><v/></u></t></r>");
    expandAllGrid(*g.doc, false, g.expansion);
    const Node* r = g.doc->root->children.front();
    size_t moved = 0;
    for (size_t i = 1; i < g.doc->nodes.size(); ++i) {
        Node* node = &g.doc->nodes[i];
        Node* shown = gridShownAncestor(node, g.expansion);
        GridExpansion copy = g.expansion;
        EXPECT_FALSE(revealInGrid(shown, copy)) << u8(node->name);
        const Node* a = node;
        while (a && a != shown) a = a->parent;
        EXPECT_EQ(a, shown) << "an ancestor or the node itself";
        if (shown != node) ++moved;
    }
    EXPECT_GT(moved, 0u);
    // s and t are rows of the open top level; what lies in them is hidden.
    const Node* x1 = r->children.front()->children.front()->children.front();
    EXPECT_EQ(gridShownAncestor(const_cast<Node*>(x1), g.expansion), r->children.front());
    EXPECT_EQ(gridShownAncestor(r->children[1], g.expansion), r->children[1]);
}

TEST(GridLayout, WidthsFollowTheTextUpToTheirCaps) {
    const std::wstring longLabel(58, L'k');  // 406 pixels: over the 220-DIP cap
    const std::wstring json = L"{\"" + longLabel + L"\": \"" + std::wstring(1000, L'v') + L"\"}";
    struct Case {
        bool autoFit;
        int labelWidth;
        int leafWidth;
    } cases[] = {
        // badge 24 + 6, label min(406 + 2, 220) + 6, trailing 8; the leaf shows a preview of 300
        // characters and an ellipsis: min(2107 + 2, 280) + 12.
        {false, 24 + 6 + 220 + 6 + 8, 280 + 12},
        {true, 24 + 6 + 408 + 6 + 8, 2109 + 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.autoFit);
        Grid g(L"a.json", json);
        g.autoFit = c.autoFit;
        g.build();
        const GridBox* kv = g.layout.root->frame->children.front();
        ASSERT_EQ(kv->type, GridBoxType::KeyValue);
        EXPECT_EQ(kv->frame->labelWidth, c.labelWidth);
        EXPECT_EQ(kv->frame->children.front()->width, c.leafWidth);
    }
}

TEST(GridLayout, LabelWidthAddsTogglesCountsAndNotes) {
    GridMetrics m;
    m.measureText = [](std::wstring_view t) { return static_cast<int>(t.size()) * kCharWidth; };
    struct Case {
        GridRow row;
        int width;
    } cases[] = {
        {GridRow{}, 24 + 6 + 8},
        {GridRow{nullptr, nullptr, L"ab", {}, 0, NodeKind::String, kToggleNone, false}, 24 + 6 + 16 + 6 + 8},
        {GridRow{nullptr, nullptr, L"ab", {}, 12, NodeKind::Array, kToggleNode, false}, 16 + 24 + 6 + 16 + 6 + 30 + 4 + 8},
        {GridRow{nullptr, nullptr, {}, L"note", 0, NodeKind::Object, kToggleNode, false}, 16 + 24 + 6 + 30 + 10 + 8},
    };
    for (const Case& c : cases) EXPECT_EQ(LabelWidth(c.row, m), c.width) << u8(c.row.label) << u8(c.row.note);
}

TEST(GridLayout, RowHeaderFitsTheLargestRecordNumber) {
    for (int records : {5, 1234}) {
        SCOPED_TRACE(records);
        Grid g(L"a.json", qmtest::jsonArray(records, [](size_t) { return L"{\"a\":1}"; }));
        const GridBox* table = g.firstOf(GridBoxType::Table);
        ASSERT_NE(table, nullptr);
        // "1234" is 28 pixels + 2 + 12; one digit would be 21, so the 30-DIP minimum holds.
        EXPECT_EQ(table->frame->rowHeaderWidth, records == 5 ? 30 : 42);
    }
}

TEST(GridLayout, DraggedWidthsKeepTheMinimumAndTheWidestNestedTable) {
    Grid g(L"a.json", L"[{\"a\": {\"x\": 1, \"y\": 2}, \"b\": 1}, {\"a\": {\"x\": 3}, \"b\": 2}]");
    g.expandAll();
    const GridBox* table = g.firstOf(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    const Node* key = table->frame->records.front();
    const int nestedWidth = tableCell(*table, 0, 0)->width + 8;
    struct Case {
        int32_t column;
        uint32_t dragged;
        int expected;
    } cases[] = {
        {1, 10, 24},               // never below 24 DIP
        {1, 100, 100},
        {0, 30, nestedWidth},      // never below the open nested table in the column
        {0, 900, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dragged);
        g.widths = {{{key, c.column}, c.dragged}};
        g.build();
        EXPECT_EQ(g.firstOf(GridBoxType::Table)->frame->columnWidths[c.column], c.expected);
    }
}

TEST(GridLayout, ClosedNestedCellsStretchToTheRowAndPaddedOnesSitInside) {
    Grid g(L"a.json", L"[{\"a\": {\"x\": 1, \"y\": 2}, \"b\": {\"z\": 1}}]");
    g.expansion.nodes.clear();
    const GridBox* table0 = nullptr;
    g.expandAll();
    table0 = g.firstOf(GridBoxType::Table);
    ASSERT_NE(table0, nullptr);
    const Node* b = table0->frame->records.front()->children[1];
    g.expansion.nodes.erase(b);
    g.build();
    const GridBox* table = g.firstOf(GridBoxType::Table);
    const GridBox* open = tableCell(*table, 0, 0);
    const GridBox* closed = tableCell(*table, 0, 1);
    ASSERT_EQ(closed->type, GridBoxType::Nested);
    EXPECT_TRUE(closed->frame->children.empty());
    const int rowTop = table->y + kRowHeight;
    EXPECT_EQ(closed->y, rowTop) << "the header line is at the top of the cell";
    EXPECT_EQ(closed->height, table->frame->rowHeights[0]);
    EXPECT_GT(closed->height, kRowHeight);
    EXPECT_EQ(open->y, rowTop + 4);
    EXPECT_EQ(open->x, table->x + table->frame->rowHeaderWidth + 4);
}

TEST(GridHits, NodesExpandersAndTheMargin) {
    Grid g(L"a.json", L"{\"o\": {\"k\": 1}, \"s\": \"v\"}");
    const GridMetrics m = g.metrics();
    const GridBox& root = *g.layout.root;
    const GridBox* kv = root.frame->children.front();
    const Node* o = g.doc->root->children.front()->children[0];
    const Node* s = g.doc->root->children.front()->children[1];
    const int x0 = kv->x, y0 = kv->y;
    struct Case {
        const char* what;
        int x, y;
        bool inside;
        const Node* node;
        bool onExpander;
    } cases[] = {
        {"margin left of the root", -3, 5, false, nullptr, false},
        {"margin above the root", 5, -1, false, nullptr, false},
        {"margin right of the root", root.width + 2, 5, false, nullptr, false},
        {"expander of an open row", x0 + 10, y0 + 5, true, o, true},
        {"label of an open row", x0 + 40, y0 + 5, true, o, false},
        {"value of the second row", x0 + kv->frame->labelWidth + 5, y0 + kv->frame->rowHeights[0] + 5, true, s,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const GridHit hit = HitNode(root, c.x, c.y, m);
        EXPECT_EQ(hit.inside, c.inside);
        EXPECT_EQ(hit.node, c.node);
        EXPECT_EQ(hit.onExpander, c.onExpander);
    }
    EXPECT_FALSE(HitEdge(root, -8, 5, m).found);
}

TEST(GridHits, ColumnEdgesDeeperFirst) {
    Grid g(L"a.json", L"[{\"a\": 1, \"b\": 2}]");
    const GridMetrics m = g.metrics();
    const GridBox* table = g.firstOf(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    const int firstEdge = table->x + table->frame->rowHeaderWidth + table->frame->columnWidths[0];
    const GridEdge header = HitEdge(*g.layout.root, firstEdge + 2, table->y + 3, m);
    EXPECT_TRUE(header.found) << "edges work over the header line too";
    EXPECT_EQ(header.key, table->frame->records.front());
    EXPECT_EQ(header.column, 0);
    EXPECT_EQ(header.left, firstEdge - table->frame->columnWidths[0]);
    EXPECT_FALSE(HitEdge(*g.layout.root, firstEdge + 5, table->y + 3, m).found);
    // The root key/value table's own value edge is its right side.
    const GridBox& root = *g.layout.root;
    const GridEdge outer = HitEdge(root, root.x + root.width, root.y + 3, m);
    EXPECT_TRUE(outer.found);
    EXPECT_EQ(outer.column, kValueColumn);
}

// Widths and heights that add up past 32 bits are cut at the grid's extent: columns dragged to the
// widest the settings keep at 300 %, rows of a huge height. Every place and size stays in range
// and the hit tests answer.
TEST(GridLayout, SizesAndPlacesStopAtTheExtent) {
    const std::wstring record = L"{" + qmtest::joined(60, [](size_t k) { return L"\"k" + std::to_wstring(k) + L"\":1"; }) + L"}";
    Grid g(L"a.json", qmtest::jsonArray(300, [&record](size_t) { return record; }));
    const Node* key = g.firstOf(GridBoxType::Table)->frame->records.front();
    for (int32_t c = 0; c < 60; ++c) g.widths[{key, c}] = 1u << 30;
    g.dpi = 288;
    g.rowHeight = 1 << 24;
    g.build();
    const GridBox* table = g.firstOf(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->width, kGridMaxExtent);
    EXPECT_EQ(table->height, kGridMaxExtent);
    const GridBox* outside = g.find([](const GridBox& b) {
        return b.x < 0 || b.y < 0 || b.width < 0 || b.height < 0 || b.x > kGridMaxExtent || b.y > kGridMaxExtent ||
               b.width > kGridMaxExtent || b.height > kGridMaxExtent;
    });
    EXPECT_EQ(outside, nullptr);
    const GridMetrics m = g.metrics();
    int columnLeft = -1;
    const int columnWidth = table->frame->columnWidths[0];
    EXPECT_EQ(tableColumnAt(*table, kGridMaxExtent - 1, columnLeft),
              (kGridMaxExtent - 1 - table->x - table->frame->rowHeaderWidth) / columnWidth);
    EXPECT_GE(columnLeft, 0);
    const GridEdge edge = HitEdge(*g.layout.root, table->x + table->frame->rowHeaderWidth + 2 * columnWidth, table->y + 3, m);
    EXPECT_TRUE(edge.found);
    EXPECT_EQ(edge.column, 1);
    GridRect rect;
    ASSERT_TRUE(NodeRect(*g.layout.root, table->frame->records.back(), m, rect));
    EXPECT_LE(rect.top, 2 * kGridMaxExtent + m.rowHeight);
    EXPECT_GE(rect.top, 0);
}

TEST(GridGrowth, RecordsWithTheirOwnKeysCostBoxesLinearInTheFile) {
    // Every record brings a new column: cells for every record and column would grow with n².
    auto boxes = [](int n) {
        Grid g(L"a.json", qmtest::jsonArray(n, [](size_t i) { return L"{\"k" + std::to_wstring(i) + L"\":1}"; }));
        return g.layout.boxes.size();
    };
    const size_t small = boxes(500), large = boxes(2000);
    EXPECT_LT(large, small * 5) << small << " boxes for n, " << large << " for 4n";
}

// Building a grid takes each table's lists in one allocation: lists grown an entry at a time leave
// freed blocks of every size behind, which Wine's first-fit heap searched on every later
// allocation (Expand all on a 16 MB file of 14,000 tables of 120 rows took 33 s there).
TEST(GridGrowth, ATablesListsAreTakenInOneAllocation) {
    auto object = [](int n, const std::function<std::wstring(int)>& value) {
        std::wstring text = L"{";
        for (int i = 0; i < n; ++i) text += (i ? L",\"k" : L"\"k") + std::to_wstring(i) + L"\":" + value(i);
        return text + L"}";
    };
    const std::wstring records = qmtest::jsonArray(150, [](size_t i) { return L"{\"a\":" + std::to_wstring(i) + L",\"b\":[1]}"; });
    const std::wstring text = object(130, [&](int i) {
        return i == 0 ? records : object(i % 3 ? 100 : 3, [](int j) { return std::to_wstring(j); });
    });
    Grid g(L"a.json", text);
    g.expandAll();
    size_t tables = 0, grown = 0;
    g.find([&](const GridBox& b) {
        if (!b.frame) return false;
        const GridFrame& f = *b.frame;
        if (b.type == GridBoxType::KeyValue || b.type == GridBoxType::Table) ++tables;
        grown += f.rows.capacity() != f.rows.size() || f.children.capacity() != f.children.size() ||
                 f.records.capacity() != f.records.size() || f.cellColumns.capacity() != f.cellColumns.size();
        return false;
    });
    EXPECT_GT(tables, 130u);
    EXPECT_EQ(grown, 0u) << "boxes whose lists grew an entry at a time";
}

TEST(GridGrowth, ARelayoutMeasuresEachDistinctTextOnce) {
    Grid g(L"a.json", qmtest::jsonArray(300, [](size_t i) { return L"{\"a\":\"same\",\"b\":" + std::to_wstring(i % 7) + L"}"; }));
    size_t raw = 0;
    GridMeasureCache cache([&raw](std::wstring_view t) {
        ++raw;
        return static_cast<int>(t.size());
    });
    GridMetrics m = g.metrics();
    m.measureText = [&cache](std::wstring_view t) { return cache(t); };
    layOutGrid(g.layout, m);
    const size_t first = raw;
    EXPECT_LT(first, 20u) << "texts: a, b, same, 0..6, record count and the row labels";
    layOutGrid(g.layout, m);
    EXPECT_EQ(raw, first) << "a second layout measures nothing new";
}

TEST(GridFind, LeafBoxOfANodeOrItsAlternative) {
    Grid g(L"a.xml", L"<r><a>1</a><b x=\"2\"/></r>");
    const Node* r = g.doc->root->children.front();
    const Node* a = r->children[0];
    const GridBox* leaf = FindLeafBox(g.layout.root, a->children.front(), a);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->node, a);
    EXPECT_EQ(u8(leaf->text), "1");
    EXPECT_EQ(FindLeafBox(g.layout.root, r, nullptr), nullptr) << "an open element has no leaf";
}

namespace {

// The toggle of the first row or nested cell, depth first, labelled `label`.
std::pair<uint8_t, const Node*> toggleOf(const Grid& g, const std::string& label) {
    std::pair<uint8_t, const Node*> found{kToggleNone, nullptr};
    g.find([&](const GridBox& b) {
        if (!b.frame) return false;
        for (const GridRow& row : b.frame->rows)
            if (row.toggle != kToggleNone && u8(row.label) == label) {
                found = {row.toggle, row.toggleKey};
                return true;
            }
        return false;
    });
    return found;
}

// Builds every row of every table that builds its rows when needed, in row order.
void buildAllRows(const GridLayout& layout) {
    std::vector<const GridBox*> stack{layout.root};
    while (!stack.empty()) {
        const GridBox* b = stack.back();
        stack.pop_back();
        if (!b || !b->frame) continue;
        if (b->type == GridBoxType::Table)
            for (size_t r = 0; r < b->frame->records.size(); ++r) tableRowCells(*b, r);
        if (b->type == GridBoxType::KeyValue)
            for (size_t r = 0, n = keyValueRowCount(*b); r < n; ++r) keyValueSlot(*b, r);
        for (const GridBox* child : b->frame->children) stack.push_back(child);
    }
}

// Every box of `g`'s layout, rows built when needed included, and what a full build of its
// document with its expansion and dragged widths gives, every row built at once.
std::pair<std::string, std::string> keptAndFull(Grid& g) {
    buildAllRows(g.layout);
    GridLayout fresh;
    fresh.lazyAbove = SIZE_MAX;
    buildGrid(g.doc->root, g.expansion, fresh);
    layOutGrid(fresh, g.metrics());
    return {geometry(g.layout.root), geometry(fresh.root)};
}

}  // namespace

// Expand all holds every container and group without listing them: the grid it opens, and the
// grid after closing and opening tables in it, is the one that listing each of them opens, and
// every node stands for the same node.
TEST(GridExpansion, ExpandAllOpensWhatListingEveryTableOpens) {
    QM_SKIP_WITHOUT_CORPUS();
    std::vector<std::string> files;
    for (const char* folder : {"/json", "/xml", "/yaml", "/toml"})
        for (const std::string& f : qmtest::listFiles(qmtest::corpusDir() + folder)) files.push_back(f);
    size_t compared = 0;
    for (const std::string& path : files) {
        std::vector<uint8_t> bytes;
        if (!qmtest::readBytes(path, bytes) || bytes.size() > 20000) continue;
        SCOPED_TRACE(path);
        Grid all(L"a.json", L"[1]"), listed(L"a.json", L"[1]");
        all.doc = qmtest::loadFile(path);
        listed.doc = qmtest::loadFile(path);
        if (!all.doc || !all.doc->root) continue;
        all.layout.lazyAbove = listed.layout.lazyAbove = 2;
        expandAllGrid(*all.doc, true, all.expansion);
        listed.expansion = GridExpansion{};
        expandGridSubtree(listed.doc->root, listed.expansion);
        if (listed.doc->root->children.size() == 1) {
            // "Expand subtree" of the only top-level node, which fills the sets as Expand all does
            // rather than listing every container, opens the same grid.
            GridExpansion listedSets = listed.expansion;
            listed.expansion = GridExpansion{};
            listed.expansion.document = listed.doc.get();
            expandGridSubtree(listed.doc->root->children[0], listed.expansion);
            listed.expansion.document = nullptr;  // shown without type tags, as `all` is
            all.build();
            listed.build();
            buildAllRows(all.layout);
            buildAllRows(listed.layout);
            ASSERT_EQ(geometry(all.layout.root), geometry(listed.layout.root)) << "the top-level node's subtree";
            listed.expansion = std::move(listedSets);
        }
        // Then the first two tables closed, and the first opened again.
        std::vector<std::pair<uint8_t, size_t>> toggles;
        for (size_t i = 0; i < all.doc->nodes.size() && toggles.size() < 2; ++i) {
            const Node* node = &all.doc->nodes[i];
            if (node->parent && node->parent->kind != NodeKind::Root && isExpandable(node)) toggles.push_back({kToggleNode, i});
            else if (gridRunKey(node) == node) toggles.push_back({kToggleGroup, i});
        }
        if (!toggles.empty()) toggles.push_back(toggles.front());
        for (size_t step = 0; step <= toggles.size(); ++step) {
            if (step > 0) {
                const auto [toggle, i] = toggles[step - 1];
                toggleGrid(toggle, &all.doc->nodes[i], all.expansion);
                toggleGrid(toggle, &listed.doc->nodes[i], listed.expansion);
            }
            all.build();
            listed.build();
            buildAllRows(all.layout);
            buildAllRows(listed.layout);
            ASSERT_EQ(geometry(all.layout.root), geometry(listed.layout.root)) << "after " << step << " toggles";
            for (size_t i = 1; i < all.doc->nodes.size(); ++i)
                EXPECT_EQ(nodeIndex(*all.doc, gridShownAncestor(&all.doc->nodes[i], all.expansion)),
                          nodeIndex(*listed.doc, gridShownAncestor(&listed.doc->nodes[i], listed.expansion)));
        }
        ++compared;
    }
    EXPECT_GT(compared, 50u);
}

TEST(GridToggle, RebuildingOneTableLaysOutAsAFullBuild) {
    const std::wstring wide(60, L'w');
    struct Case {
        const wchar_t* name;
        std::wstring text;
        std::string label;  // the row or nested cell clicked
    } cases[] = {
        // A nested cell in a record table; open, its long value widens the column past any leaf.
        {L"a.json", L"[{\"a\":{\"x\":\"" + wide + L"\"},\"b\":1},{\"a\":\"short\",\"b\":22},{\"a\":\"mid text\"}]", ""},
        // A key/value row in a nested key/value table.
        {L"a.json", L"{\"top\":{\"k\":{\"deep\":[1,2,3]},\"v\":\"" + wide + L"\"},\"other\":{\"z\":0}}", "k"},
        // A group row of same-named elements (open from the start) and, inside its table, a nested
        // group of two children.
        {L"a.xml", L"<r><i n=\"1\"><c>x</c><c>y</c></i><i n=\"22\"><c>z</c></i><j/></r>", "i"},
        {L"a.xml", L"<r><i n=\"1\"><c>x</c><c>y</c></i><i n=\"22\"><c>z</c></i><j/></r>", "c"},
    };
    for (const Case& c : cases) {
        Grid g(c.name, c.text);
        const GridMetrics m = g.metrics();
        for (int round = 0; round < 2; ++round) {  // open, then close again
            const auto [toggle, key] = toggleOf(g, c.label);
            ASSERT_NE(key, nullptr) << u8(c.text) << " " << c.label << " round " << round;
            toggleGrid(toggle, key, g.expansion);
            EXPECT_EQ(rebuildToggled(g.expansion, toggle, key, g.layout), 1u) << u8(c.text);
            relayOutGrid(g.layout, m);
            const auto [kept, full] = keptAndFull(g);
            EXPECT_EQ(kept, full) << u8(c.text) << " round " << round;
        }
        EXPECT_GT(g.layout.discarded, 0u);
    }
}

TEST(GridLayout, LeavesOfAColumnAtTheLeafCapAreNotMeasured) {
    // One value reaches the 280-DIP cap: the other, shorter values cannot widen the column.
    std::wstring json = L"[{\"a\":\"" + std::wstring(100, L'x') + L"\",\"b\":1000000}";
    for (int i = 1; i < 50; ++i)
        json += L",{\"a\":\"v" + std::to_wstring(i) + L"\",\"b\":" + std::to_wstring(1000000 + i) + L"}";
    Grid g(L"a.json", json + L"]");
    const GridBox* table = g.firstOf(GridBoxType::Table);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->frame->columnWidths[0], kGridLeafCap + kGridLeafPadding);
    EXPECT_EQ(table->frame->columnWidths[1], 7 * kCharWidth + kGridTextGap + kGridLeafPadding);
    std::set<std::string> seen;
    GridMetrics m = g.metrics();
    m.measureText = [&seen](std::wstring_view t) {
        seen.insert(u8(t));
        return static_cast<int>(t.size()) * kCharWidth;
    };
    layOutGrid(g.layout, m);
    EXPECT_EQ(seen.count("v7"), 0u) << "a short text in the capped column";
    EXPECT_EQ(seen.count("1000007"), 1u) << "every text of the narrow column";
}

namespace {

// n records {"id": "r<i>", "o": {"x": <i>}}; the id of record `wide` is the widest by far.
std::wstring recordsWithAnObject(int n, int wide = -1) {
    return qmtest::jsonArray(size_t(n), [wide](size_t i) {
        return L"{\"id\":\"r" + std::to_wstring(i) + (int(i) == wide ? std::wstring(30, L'w') : L"") + L"\",\"o\":{\"x\":" +
               std::to_wstring(i) + L"}}";
    });
}

}  // namespace

TEST(GridGrowth, AToggleBuildsAndMeasuresIndependentlyOfTheOtherRecords) {
    // Opening the first record's nested object: the other records' cells are neither built nor
    // measured again, however many there are.
    auto work = [](int n) {
        Grid g(L"a.json", recordsWithAnObject(n));
        const auto [toggle, key] = toggleOf(g, "");
        const size_t boxes = g.layout.boxes.size(), measured = g.measured;
        toggleGrid(toggle, key, g.expansion);
        rebuildToggled(g.expansion, toggle, key, g.layout);
        relayOutGrid(g.layout, g.metrics());
        return std::make_pair(g.layout.boxes.size() - boxes, g.measured - measured);
    };
    const auto small = work(200), large = work(800);
    EXPECT_EQ(small.first, large.first) << "boxes built";
    EXPECT_EQ(small.second, large.second) << "texts measured";
    EXPECT_LT(large.second, 10u);
}

TEST(GridLayout, TextBoundsLeaveTheLayoutAsMeasuringEverything) {
    // A font where 'm' is a pixel wider than the other ASCII characters and the rest are 9 pixels:
    // the longest text of a column is not always its widest.
    auto width = [](wchar_t ch) { return ch == L'm' ? kCharWidth + 1 : ch < 0x80 ? kCharWidth : 9; };
    GridTextBound bound = fixedBound(2 * kCharWidth);
    bound.ascii[L'm'] = kCharWidth + 1;
    const wchar_t* texts[] = {
        L"[{\"a\":\"xxxxxxx\",\"b\":1},{\"a\":\"mmmmmmm\",\"b\":22},{\"a\":\"xxx\"},{\"b\":\"\u00e9\u00e9\u00e9\"}]",
        L"{\"k\":{\"short\":\"ab\",\"longer\":\"abcdefghij\",\"mid\":\"mmmmmmmmm\",\"o\":{\"x\":1}}}",
        L"<r><i n=\"1\">text</i><i n=\"22\">mmmm</i><i n=\"3\"/></r>",
        L"{\"xxxx\":1,\"mmm\":2,\"mmmm\":[1,2],\"\u00e9\u00e9\":3}",
        // Nested tables sized aside, some narrower than their column at their bounds, one wider
        // only by its real widths ('m'), one only by a text of unknown characters.
        L"[{\"o\":{\"p\":\"xxxxxxxx\"},\"t\":[{\"q\":\"xx\"}]},{\"o\":{\"p\":\"xxx\"},\"t\":[{\"q\":\"mmmmmmm\"}]},"
        L"{\"o\":{\"p\":\"mmmmmmmm\",\"r\":[1]}},{\"o\":{\"p\":\"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\"}},{\"o\":{\"p\":\"x\"}}]",
    };
    // With the ASCII advances exact for this font, texts of printable ASCII are summed from them,
    // never measured, and nothing changes either.
    for (const bool exactAscii : {false, true})
    for (const size_t lazyAbove : {size_t(200), size_t(0)})
    for (const wchar_t* text : texts) {
        const std::wstring name = text[0] == L'<' ? L"a.xml" : L"a.json";
        Grid all(name, text), bounded(name, text);
        all.layout.lazyAbove = SIZE_MAX;
        bounded.layout.lazyAbove = lazyAbove;
        expandAllGrid(*all.doc, true, all.expansion);
        expandAllGrid(*bounded.doc, true, bounded.expansion);
        buildGrid(all.doc->root, all.expansion, all.layout);
        buildGrid(bounded.doc->root, bounded.expansion, bounded.layout);
        size_t asciiMeasured = 0;
        GridMetrics m = all.metrics();
        m.measureText = [&width, &asciiMeasured](std::wstring_view t) {
            int w = 0;
            for (wchar_t ch : t) w += width(ch);
            if (std::all_of(t.begin(), t.end(), [](wchar_t ch) { return ch >= 0x20 && ch < 0x7F; })) ++asciiMeasured;
            return w;
        };
        layOutGrid(all.layout, m);
        bound.exactAscii = exactAscii;
        asciiMeasured = 0;
        m.textBound = &bound;
        layOutGrid(bounded.layout, m);
        buildAllRows(bounded.layout);
        EXPECT_EQ(geometry(bounded.layout.root), geometry(all.layout.root)) << u8(text) << " rows built when needed above " << lazyAbove;
        if (exactAscii) {
            EXPECT_EQ(asciiMeasured, 0u) << u8(text);
        }
    }
}

TEST(GridGrowth, LeavesThatCannotWidenTheirColumnAreNotMeasured) {
    // With the font's character widths known, the texts measured do not grow with the records:
    // as many for n records as for 4n, and few.
    const GridTextBound exact = fixedBound(kCharWidth);
    auto sameWidths = [](size_t i) {
        return L"{\"id\":" + std::to_wstring(100000 + i) + L",\"v\":\"w" + std::to_wstring(100000 + i) + L"\"}";
    };
    const struct {
        const char* what;
        std::function<std::wstring(size_t)> record;
        size_t n, lazyAbove;
        bool expandAll;
    } cases[] = {
        {"records whose values all have the width of the first, rows built when needed", sameWidths, 200, 0, false},
        {"records whose values all have the width of the first, rows built at once", sameWidths, 200, SIZE_MAX, false},
        // A plain array is one key/value table: its index labels (1 to n) are not measured one by one.
        {"a plain array", [](size_t i) { return L"\"w" + std::to_wstring(100000 + i) + L"\""; }, 200, 200, false},
        // Nested tables in every record of a table sized row by row, all opened, that cannot widen
        // their column: none measured for real.
        {"nested tables, all opened",
         [](size_t i) {
             return L"{\"o\":{\"g\":{\"x\":" + std::to_wstring(100000 + i) + L"}},\"t\":[\"w" + std::to_wstring(100000 + i) + L"\"]}";
         },
         300, 200, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto measured = [&](size_t n) {
            Grid g(L"a.json", qmtest::jsonArray(n, c.record));
            g.bound = &exact;
            g.layout.lazyAbove = c.lazyAbove;
            if (c.expandAll) expandAllGrid(*g.doc, true, g.expansion);
            g.measured = 0;
            g.build();
            return g.measured;
        };
        const size_t small = measured(c.n), large = measured(4 * c.n);
        EXPECT_EQ(small, large);
        EXPECT_LT(large, 20u);
    }
}

TEST(GridLayout, ADraggedWidthRelaysOutAsAFullBuildWithoutMeasuringLeaves) {
    // Each step sets (or, with width 0, removes) one dragged width and lays the kept boxes out
    // again; the result must be the layout a full build gives. Tables build their rows at once,
    // then only when needed (every row built before the first step).
    for (size_t lazyAbove : {SIZE_MAX, size_t(0)}) {
        SCOPED_TRACE(lazyAbove);
        Grid g(L"a.json", L"{\"t\":[{\"a\":[{\"x\":\"" + std::wstring(30, L'w') + L"\"}],\"b\":1},{\"a\":\"s\",\"b\":22}],"
                          L"\"o\":{\"k\":\"value\",\"n\":{\"m\":[{\"p\":1},{\"p\":2}]}}}");
        g.layout.lazyAbove = lazyAbove;
        g.expandAll();
        keptAndFull(g);
        const Node* top = g.doc->root->children.front();
        const Node* t = top->children[0];
        const Node* o = top->children[1];
        const Node* records = o->children[1]->children[0]->children[0];  // the first record of m
        const Node* inner = t->children[0]->children[0]->children[0];    // of the table in t's first row
        struct Step {
            const Node* key;
            int32_t column;
            uint32_t width;
        } steps[] = {
            {t->children[0], 0, 40},  // a column holding an open nested table: not below it
            {t->children[0], 1, 90},  {top, kLabelColumn, 30}, {o, kValueColumn, 300},
            {records, 0, 120},        // a table inside a nested key/value table
            {inner, 0, 400},          // a table in a row of a table, wider than its column
            {t->children[0], 1, 0},   {records, 0, 0},           {inner, 0, 0},
        };
        for (const Step& s : steps) {
            if (s.width) {
                g.widths[{s.key, s.column}] = s.width;
            } else {
                g.widths.erase({s.key, s.column});
            }
            std::set<std::string> seen;
            GridMetrics m = g.metrics();
            m.measureText = [&seen](std::wstring_view text) {
                seen.insert(u8(text));
                return static_cast<int>(text.size()) * kCharWidth;
            };
            ASSERT_TRUE(markColumnResized(g.layout, s.key, s.column)) << s.column << " " << s.width;
            relayOutGrid(g.layout, m);
            if (s.width) {
                for (const char* leaf : {"value", "s", "22"}) EXPECT_EQ(seen.count(leaf), 0u) << leaf;
            }
            const auto [kept, full] = keptAndFull(g);
            EXPECT_EQ(kept, full) << s.column << " " << s.width;
        }
        EXPECT_FALSE(markColumnResized(g.layout, g.doc->root, 0)) << "no table is keyed by the root";
    }
}

namespace {

std::string rectText(bool found, const GridRect& r) {
    return found ? std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                       std::to_string(r.bottom)
                 : "none";
}

std::string leafText(const GridBox* b) {
    return b ? std::to_string(b->x) + "," + std::to_string(b->y) + " " + std::to_string(b->width) + " " + u8(b->text)
             : "none";
}

}  // namespace

TEST(GridLazyRows, RowsBuiltWhenNeededAnswerAsRowsBuiltAtOnce) {
    const wchar_t* texts[] = {
        L"[{\"a\":1,\"o\":{\"x\":\"wide wide wide\"},\"t\":[{\"p\":1},{\"p\":22}]},{\"a\":\"two\",\"b\":[1,2]},"
        L"{\"o\":{\"y\":{\"z\":[3]}},\"a\":null},{\"b\":\"last one\"}]",
        L"<r><i n=\"1\">text<c>x</c><c>y</c></i><i n=\"22\"><c>z</c><d><e>1</e></d></i><i/><i n=\"4\">more</i></r>",
        // Key/value tables: a plain array of values among nested ones, an object whose nested
        // values are wider than its leaves, elements of distinct names around a group.
        L"[\"a\",\"bb\",{\"x\":\"wide wide wide\",\"y\":[1,2]},[3,[4]],\"ccc\",{}]",
        L"{\"k\":{\"in\":{\"deep\":\"value\"},\"n\":null},\"long key name\":1,\"v\":[{\"p\":1}],\"w\":\"last\"}",
        L"<r><a>1</a><b x=\"2\"><c>3</c></b><i>4</i><i>5</i><d><e/><f>6</f></d><g/></r>",
    };
    for (const wchar_t* text : texts) {
        const std::wstring name = text[0] == L'<' ? L"a.xml" : L"a.json";
        for (bool all : {false, true}) {
            SCOPED_TRACE(u8(text) + (all ? " expanded" : ""));
            Grid eager(name, text), lazy(name, text);
            eager.layout.lazyAbove = SIZE_MAX;
            lazy.layout.lazyAbove = 0;
            if (all) {
                eager.expandAll();
                lazy.expandAll();
            } else {
                eager.build();
                lazy.build();
            }
            const GridMetrics m = eager.metrics();
            EXPECT_LT(lazy.layout.boxes.size(), eager.layout.boxes.size());
            // Questions first, while the lazy tables have built nothing.
            for (size_t i = 0; i < eager.doc->nodes.size(); ++i) {
                const Node* node = &eager.doc->nodes[i];
                const Node* same = &lazy.doc->nodes[i];
                GridRect a, b;
                const bool inEager = NodeRect(*eager.layout.root, node, m, a);
                const bool inLazy = NodeRect(*lazy.layout.root, same, m, b);
                EXPECT_EQ(rectText(inLazy, b), rectText(inEager, a));
                EXPECT_EQ(leafText(FindLeafBox(lazy.layout.root, same, nullptr)),
                          leafText(FindLeafBox(eager.layout.root, node, nullptr)));
            }
            const GridBox& top = *eager.layout.root;
            for (int y = -4; y < top.height + 4; y += 5)
                for (int x = -4; x < top.width + 4; x += 3) {
                    const GridHit a = HitNode(top, x, y, m), b = HitNode(*lazy.layout.root, x, y, m);
                    const GridEdge e = HitEdge(top, x, y, m), f = HitEdge(*lazy.layout.root, x, y, m);
                    ASSERT_EQ(a.inside, b.inside) << x << "," << y;
                    EXPECT_EQ(a.node ? u8(nodeLabel(a.node)) + u8(a.node->value) : "", b.node ? u8(nodeLabel(b.node)) + u8(b.node->value) : "");
                    EXPECT_EQ(a.onExpander, b.onExpander);
                    EXPECT_EQ(e.found, f.found);
                    EXPECT_EQ(e.left, f.left);
                    EXPECT_EQ(e.column, f.column);
                }
            buildAllRows(lazy.layout);
            EXPECT_EQ(geometry(lazy.layout.root), geometry(eager.layout.root));
        }
    }
}

TEST(GridLazyRows, AToggleInARowBuiltOrNotLaysOutAsAFullBuild) {
    struct Case {
        const wchar_t* name;
        const wchar_t* text;
        std::string label;  // the nested cell toggled, found in a table with every row built
    } cases[] = {
        {L"a.json", L"[{\"a\":{\"x\":\"a rather wide value\"},\"b\":1},{\"a\":{\"y\":2},\"b\":22},{\"b\":3}]", ""},
        {L"a.xml", L"<r><i n=\"1\"><c>x</c><c>y</c></i><i n=\"22\"><c>z</c></i><j/></r>", "c"},
        // Rows of key/value tables: the widest value closed (the column shrinks to leaves not
        // measured before), a group row, a row of a plain array.
        {L"a.json", L"{\"o\":{\"k\":{\"x\":\"a rather wide value\"},\"v\":\"ab\",\"w\":{\"y\":2}}}", "k"},
        {L"a.xml", L"<r><s><i>1</i><i>22</i><j><k>x</k></j></s></r>", "i"},
        {L"a.json", L"[\"a\",\"bb\",[\"wide wide wide wide\"],\"ccc\"]", "[2]"},
    };
    for (const Case& c : cases) {
        for (bool built : {false, true}) {
            SCOPED_TRACE(u8(c.text) + (built ? " built" : ""));
            Grid finder(c.name, c.text), g(c.name, c.text);
            g.layout.lazyAbove = 0;
            g.build();
            if (built) buildAllRows(g.layout);
            for (int round = 0; round < 2; ++round) {  // open, then close again
                const auto [toggle, key] = toggleOf(finder, c.label);
                ASSERT_NE(key, nullptr);
                const Node* same = &g.doc->nodes[size_t(key - &finder.doc->nodes[0])];
                toggleGrid(toggle, same, g.expansion);
                EXPECT_GT(rebuildToggled(g.expansion, toggle, same, g.layout), 0u);
                relayOutGrid(g.layout, g.metrics());
                const auto [kept, full] = keptAndFull(g);
                EXPECT_EQ(kept, full) << round;
            }
        }
    }
}

namespace {

// n values of the same width, the one at `nested` a small object; as array items or as members.
std::wstring valuesWithAnObject(int n, int nested, bool members) {
    std::wstring json = members ? L"{" : L"[";
    for (int i = 0; i < n; ++i) {
        if (i) json += L",";
        if (members) json += L"\"k" + std::to_wstring(100000 + i) + L"\":";
        json += i == nested ? L"{\"x\":" + std::to_wstring(i) + L"}" : L"\"w" + std::to_wstring(100000 + i) + L"\"";
    }
    return json + (members ? L"}" : L"]");
}

// The toggle of row `row` of the first table of `type` with more rows than `above`, asked for
// as painting would (its boxes built).
const Node* askRow(const Grid& g, GridBoxType type, size_t above, size_t row) {
    const GridBox* table = g.find([&](const GridBox& b) {
        return b.type == type && (type == GridBoxType::Table ? b.frame->records.size() : keyValueRowCount(b)) > above;
    });
    if (!table) return nullptr;
    if (type == GridBoxType::KeyValue) return table->frame->rows[keyValueSlot(*table, row)].toggleKey;
    const GridBox* cell = tableCell(*table, row, 1);
    return cell ? cell->frame->rows.front().toggleKey : nullptr;
}

}  // namespace

TEST(GridGrowth, ALargeRecordTableKeepsBoxesOnlyForRowsAskedAndAToggleSizesOneRow) {
    // Work that must not grow with the rows: the boxes a layout keeps, a row built when asked,
    // and opening a nested value in it (one row sized again, its texts measured). Leaves are
    // skipped by their bounds, as the window does.
    struct Case {
        const char* what;
        std::wstring (*text)(int n);
        GridBoxType table;
    } cases[] = {
        {"records", [](int n) { return recordsWithAnObject(n, 10); }, GridBoxType::Table},
        {"plain array", [](int n) { return valuesWithAnObject(n, 10, false); }, GridBoxType::KeyValue},
        {"object", [](int n) { return valuesWithAnObject(n, 10, true); }, GridBoxType::KeyValue},
    };
    const GridTextBound exact = fixedBound(kCharWidth);
    for (const Case& c : cases) {
        auto work = [&](int n) {
            Grid g(L"a.json", c.text(n));
            g.bound = &exact;
            g.build();
            const size_t kept = g.layout.boxes.size();
            const Node* key = askRow(g, c.table, g.layout.lazyAbove, 10);
            EXPECT_NE(key, nullptr) << c.what;
            const size_t asked = g.layout.boxes.size() - kept;
            const size_t boxes = g.layout.boxes.size(), measured = g.measured;
            toggleGrid(kToggleNode, key, g.expansion);
            rebuildToggled(g.expansion, kToggleNode, key, g.layout);
            relayOutGrid(g.layout, g.metrics());
            return std::vector<size_t>{kept, asked, g.layout.boxes.size() - boxes, g.measured - measured};
        };
        EXPECT_EQ(work(1000), work(4000)) << c.what << ": kept, built for one row, built and measured by the toggle";
    }
}
