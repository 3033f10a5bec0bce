// Record tables sorted by a column and copied as tab-separated text: the order of the rows,
// the numbers they keep, the text a spreadsheet receives, and the cost of a sort.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "shell/clipboard.h"
#include "tests/support/testing.h"
#include "views/grid.h"

using namespace qm;
using qmtest::u8;

namespace {

// A document's grid, every container open, with the first record table found.
struct SortedGrid {
    std::unique_ptr<Document> doc;
    GridExpansion expansion;
    GridLayout layout;

    SortedGrid(const std::wstring& name, const std::wstring& text) : doc(qmtest::parse(name, text)) {
        expandAllGrid(*doc, true, expansion);
        buildGrid(doc->root, expansion, layout);
    }
    const GridBox* table() const {
        std::vector<const GridBox*> stack{layout.root};
        while (!stack.empty()) {
            const GridBox* b = stack.back();
            stack.pop_back();
            if (b->type == GridBoxType::Table) return b;
            if (b->frame)
                for (const GridBox* child : b->frame->children) stack.push_back(child);
        }
        return nullptr;
    }
    // Clicks the header of `column` of the first table.
    void click(int32_t column) {
        const GridBox* t = table();
        const GridTableHolder holder = tableHolder(*t);
        cycleTableSort(*t, column, expansion);
        rebuildToggled(expansion, holder.toggle, holder.toggleKey, layout);
    }
    // The table's rows as "number:first cell" in the order shown.
    std::string rows() const {
        const GridFrame& f = *table()->frame;
        std::string out;
        for (size_t r = 0; r < f.records.size(); ++r) {
            const uint32_t number = f.recordNumbers.empty() ? static_cast<uint32_t>(r + 1) : f.recordNumbers[r];
            out += (r ? " " : "") + std::to_string(number);
        }
        return out;
    }
};

const wchar_t kRecords[] =
    L"[{\"id\": 1, \"v\": 10},   {\"id\": 2, \"v\": \"apple\"}, {\"id\": 3},"
    L" {\"id\": 4, \"v\": 2},    {\"id\": 5, \"v\": \"Banana\"}, {\"id\": 6, \"v\": [1]},"
    L" {\"id\": 7, \"v\": 2.0},  {\"id\": 8, \"v\": \"apple\"}, {\"id\": 9, \"v\": -1.5e1}]";

}  // namespace

TEST(GridSort, HeaderClicksSortAscendingDescendingThenDocumentOrder) {
    SortedGrid g(L"a.json", kRecords);
    ASSERT_NE(g.table(), nullptr);
    struct Step {
        const char* action;
        int32_t column;
        const char* rows;    // record numbers in the order shown
        const char* arrow;   // the note of the clicked column's header
    } steps[] = {
        // Numbers by value (2 and 2.0 equal, kept in document order), then texts ignoring case
        // (the two "apple" in document order), then the array cell, the missing cell last.
        {"ascending", 1, "9 4 7 1 2 8 5 6 3", "\u25B2"},
        // The reverse, equal cells still in document order, the missing cell still last.
        {"descending", 1, "6 5 2 8 1 4 7 9 3", "\u25BC"},
        {"document order", 1, "1 2 3 4 5 6 7 8 9", ""},
        {"ascending", 1, "9 4 7 1 2 8 5 6 3", "\u25B2"},
        // Another column starts ascending; the first column's arrow goes.
        {"other column", 0, "1 2 3 4 5 6 7 8 9", "\u25B2"},
        {"other column descending", 0, "9 8 7 6 5 4 3 2 1", "\u25BC"},
    };
    for (const Step& s : steps) {
        g.click(s.column);
        EXPECT_EQ(g.rows(), s.rows) << s.action;
        const GridFrame& f = *g.table()->frame;
        EXPECT_EQ(u8(f.rows[static_cast<size_t>(s.column)].note), s.arrow) << s.action;
        EXPECT_TRUE(f.rows[static_cast<size_t>(1 - s.column)].note.empty()) << s.action;
        // The table is still named by its first record in the document (dragged widths, sorting).
        EXPECT_EQ(f.key, g.doc->root->children[0]->children[0]) << s.action;
    }
}

TEST(GridSort, ElementRecordsByAttributeTextAndChildElement) {
    const wchar_t xml[] =
        L"<r><p n='10' k='b'>x<q>3</q></p><p n='9' k='A'>y<q>1</q><q>2</q></p><p k='c'>a<q>0</q></p></r>";
    SortedGrid g(L"a.xml", xml);
    ASSERT_NE(g.table(), nullptr);
    // Columns: n, k (attributes), the text, q (elements).
    g.click(0);
    EXPECT_EQ(g.rows(), "2 1 3");  // 9 before 10 by value, the missing n last
    g.click(1);
    EXPECT_EQ(g.rows(), "2 1 3");  // A before b ignoring case
    g.click(2);
    EXPECT_EQ(g.rows(), "3 1 2");  // by the records' own text
    g.click(3);
    EXPECT_EQ(g.rows(), "3 1 2");  // two q elements in record 2 sort after single values
}

// The column a selected node stands in, which the keyboard sorts by: a member's or child's own
// column whatever depth below it, none for the record itself or a member hidden by an earlier one.
TEST(GridSort, ColumnOfASelectedNode) {
    struct Case {
        const wchar_t* file;
        const wchar_t* text;
        std::vector<size_t> path;  // child positions from the record
        int32_t column;
    } cases[] = {
        {L"a.json", L"[{\"a\": 1, \"b\": {\"c\": [2]}}, {\"b\": 3}]", {1}, 1},
        {L"a.json", L"[{\"a\": 1, \"b\": {\"c\": [2]}}, {\"b\": 3}]", {1, 0, 0}, 1},
        {L"a.json", L"[{\"a\": 1, \"b\": {\"c\": [2]}}, {\"b\": 3}]", {}, -1},
        {L"a.json", L"[{\"a\": 1, \"a\": 2}, {\"a\": 3}]", {1}, -1},
        // Attributes, the record's own text and child elements of an XML record.
        {L"a.xml", L"<r><p n='1'>t<q>3</q></p><p n='2'>u</p></r>", {0}, 0},
        {L"a.xml", L"<r><p n='1'>t<q>3</q></p><p n='2'>u</p></r>", {1}, 1},
        {L"a.xml", L"<r><p n='1'>t<q>3</q></p><p n='2'>u</p></r>", {2, 0}, 2},
    };
    for (const Case& c : cases) {
        SortedGrid g(c.file, c.text);
        ASSERT_NE(g.table(), nullptr) << u8(c.text);
        const GridFrame& f = *g.table()->frame;
        const RecordColumns columns(f.rows, static_cast<size_t>(f.columnCount), f.key->kind == NodeKind::Object);
        const Node* node = f.records[0];
        for (size_t i : c.path) node = node->children[i];
        EXPECT_EQ(columns.columnOf(f.records[0], node), c.column) << u8(c.text) << " " << c.path.size();
        // The first cell found straight from the record is the one the column lists first.
        std::vector<std::pair<int32_t, const Node*>> cells;
        for (const Node* record : f.records) {
            columns.cellsOf(record, cells);
            for (int32_t column = 0; column < f.columnCount; ++column) {
                size_t count = 0;
                const Node* first = columns.cellOf(record, column, count);
                size_t expected = 0;
                const Node* listed = nullptr;
                for (const auto& [k, cell] : cells)
                    if (k == column && expected++ == 0) listed = cell;
                EXPECT_EQ(first, listed) << u8(c.text) << " column " << column;
                EXPECT_EQ(count, expected) << u8(c.text) << " column " << column;
            }
        }
    }
}

TEST(GridSort, ComparisonsGrowAsNLogN) {
    auto comparisons = [](size_t n) {
        SortedGrid g(L"a.json", qmtest::jsonArray(n, [n](size_t i) { return L"{\"k\": \"" + std::to_wstring((i * 7919) % n) + L"x\"}"; }));
        sortComparisons = 0;
        g.click(0);
        return sortComparisons;
    };
    const size_t small = comparisons(2000), large = comparisons(8000);
    EXPECT_GT(small, 0u);
    EXPECT_LT(large, small * 6) << small << " " << large;  // quadratic would be 16 times
}

// A cell's number is the one wcstod reads, most of them read without it; a sort worked out a row
// and a key at a time, as a window sorts a big table a slice per message, gives the order of one
// worked out in one go.
TEST(GridSort, NumbersAsWcstodReadsThemAndASortInSlices) {
    for (const wchar_t* text : {L"0", L"-0", L"+7", L"1.", L".5", L"0.1", L"0.30000000000000004", L"123456789012345",
                                L"1234567890123456789", L"9007199254740993", L"1e22", L"1e23", L"4.35e-10", L"2.5E+3",
                                L" -1.5e1 ", L"000123.4500", L"1e-400", L"1e400", L"7e", L".", L"-", L"1.2.3", L"0x1F"}) {
        double value = 0;
        const bool read = cellNumber(text, value);
        wchar_t* end = nullptr;
        const double expected = std::wcstod(text, &end);
        while (*end == L' ') ++end;
        ASSERT_EQ(read, *end == 0 && std::isfinite(expected) && !std::wcschr(text, L'x')) << u8(text);
        if (read) {
            EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << u8(text) << " " << value;
        }
    }

    SortedGrid g(L"a.json", kRecords);
    const GridFrame& f = *g.table()->frame;
    const RecordColumns columns = tableColumns(f);
    for (int32_t column : {0, 1})
        for (bool descending : {false, true}) {
            TableSort steps(f.records, columns, column, descending, nullptr);
            int progress = 0;
            while (!steps.Step(1, 1)) {
                EXPECT_GE(steps.Progress(), progress);
                progress = steps.Progress();
            }
            EXPECT_EQ(steps.Order(), sortedRows(f.records, columns, column, descending, nullptr)) << column;
        }
}

TEST(GridCopyTable, TabSeparatedRowsInTheOrderShown) {
    SortedGrid g(L"a.json",
                 L"[{\"name\": \"a\\tb\", \"n\": 2, \"o\": {\"x\": 1}}, {\"n\": 1, \"name\": \"line\\r\\nbreak\"},"
                 L" {\"name\": \"c\", \"name\": \"dup\"}]");
    ASSERT_NE(g.table(), nullptr);
    const std::wstring text = tableText(*g.table(), *g.doc);
    EXPECT_EQ(text.capacity(), text.size()) << "one buffer of exactly the text's size";
    EXPECT_EQ(u8(text),
              "name\tn\to\r\n"
              "a b\t2\t{ \"x\": 1 }\r\n"
              "line break\t1\t\r\n"
              "c\t\t\r\n");
    g.click(1);
    EXPECT_EQ(u8(tableText(*g.table(), *g.doc)),
              "name\tn\to\r\n"
              "line break\t1\t\r\n"
              "a b\t2\t{ \"x\": 1 }\r\n"
              "c\t\t\r\n");

    // Made a record at a time, as a window copies a big table a slice per message: the same text,
    // the progress rising; nodes added meanwhile give no text rather than a wrong one.
    TableCopy steps(*g.table()->frame, *g.doc);
    int progress = -1;
    size_t calls = 1;
    for (; !steps.Step(1); ++calls) {
        EXPECT_GE(steps.Progress(), progress);
        progress = steps.Progress();
    }
    EXPECT_EQ(calls, 2 * (3 + 1)) << "each walk: a call per record (the header goes with the first), one to end it";
    EXPECT_EQ(steps.Text(), tableText(*g.table(), *g.doc));
    TableCopy changed(*g.table()->frame, *g.doc);
    EXPECT_FALSE(changed.Step(2));
    createNode(*g.doc, NodeKind::Number, g.doc->root, 1);
    EXPECT_TRUE(changed.Step(SIZE_MAX));
    EXPECT_TRUE(changed.Text().empty());

    SortedGrid x(L"a.xml", L"<r><p n='1'>t<q>3</q><q>4</q></p><p>u</p></r>");
    ASSERT_NE(x.table(), nullptr);
    EXPECT_EQ(u8(tableText(*x.table(), *x.doc)), "n\t#text\tq\r\n1\tt\t3 4\r\n\tu\t\r\n");
}

// Sorting a laid-out table moves its rows without building or measuring them again: the rows,
// their heights and tops come out as a build of the sorted table gives them.
TEST(GridSort, ReorderingLaidOutRowsMatchesABuildOfTheSortedTable) {
    const std::wstring text = qmtest::jsonArray(40, [](size_t i) {
        return L"{\"k\": " + std::to_wstring((i * 17) % 40) + (i % 3 ? L"" : L", \"o\": {\"a\": 1, \"b\": [1, 2]}") + L"}";
    });
    for (size_t lazyAbove : {size_t(10), size_t(200)}) {
        SortedGrid g(L"a.json", text);
        GridMetrics m;
        m.measureText = [](std::wstring_view t) { return static_cast<int>(t.size()) * 7; };
        g.layout.lazyAbove = lazyAbove;
        buildGrid(g.doc->root, g.expansion, g.layout);
        layOutGrid(g.layout, m);
        for (int step = 0; step < 3; ++step) {
            const GridBox* t = g.table();
            cycleTableSort(*t, 0, g.expansion);
            const auto it = g.expansion.sorts.find(t->frame->key);
            ASSERT_TRUE(reorderTableRows(const_cast<GridBox&>(*t), it == g.expansion.sorts.end() ? GridSortKey{} : it->second, {}));
            relayOutGrid(g.layout, m);
            GridLayout fresh;
            fresh.lazyAbove = lazyAbove;
            buildGrid(g.doc->root, g.expansion, fresh);
            layOutGrid(fresh, m);
            const GridBox* f = nullptr;
            for (const GridBox& b : fresh.boxes)
                if (b.type == GridBoxType::Table && !f) f = &b;
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(t->frame->records, f->frame->records) << lazyAbove << " " << step;
            EXPECT_EQ(t->frame->recordNumbers, f->frame->recordNumbers) << lazyAbove << " " << step;
            EXPECT_EQ(t->frame->rowHeights, f->frame->rowHeights) << lazyAbove << " " << step;
            EXPECT_EQ(t->frame->rowTops, f->frame->rowTops) << lazyAbove << " " << step;
            for (size_t r = 0; r < t->frame->records.size(); ++r) {
                const GridBox* a = tableCell(*t, r, 0);
                const GridBox* b = tableCell(*f, r, 0);
                ASSERT_TRUE(a && b);
                EXPECT_EQ(a->y, b->y) << lazyAbove << " " << step << " row " << r;
                EXPECT_EQ(a->text, b->text);
            }
        }
    }
}
