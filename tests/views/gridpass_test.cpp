// The grid's layout in slices (GridLayoutPass): rows sized, rows of wide records built and big
// sorted tables put in order a slice at a time, always to the layout made in one go, and slices
// that grow as the file does.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/testing.h"
#include "tests/views/gridtesting.h"
#include "views/grid.h"

using namespace qm;
using namespace qmgrid;
using qmtest::u8;

// Expand all on a big file sizes the rows of its tables a slice at a time: the grid it lays out
// is the one laid out in one go, with the same texts measured, however small the slices.
TEST(GridLazyRows, ALayoutSizedInSlicesIsTheLayoutMadeInOne) {
    const wchar_t* texts[] = {
        L"[{\"a\":1,\"o\":{\"x\":\"wide wide wide\"},\"t\":[{\"p\":1},{\"p\":22}]},{\"a\":\"two\",\"b\":[1,2]},"
        L"{\"o\":{\"y\":{\"z\":[3]}},\"a\":null},{\"b\":\"last one\"}]",
        L"<r><i n=\"1\">text<c>x</c><c>y</c></i><i n=\"22\"><c>z</c><d><e>1</e></d></i><i/><i n=\"4\">more</i></r>",
        L"{\"k\":{\"in\":{\"deep\":\"value\"},\"n\":null},\"long key name\":1,\"v\":[{\"p\":1}],\"w\":\"last\"}",
        // Columns found a record at a time: attributes, a text and elements first met in later records.
        L"<r><i><c>1</c></i><i a=\"x\">t</i><i b=\"y\"><d/><c>2</c></i><i a=\"z\" c=\"w\">u<e/></i></r>",
        // Tables inside a row sized aside, sized in slices of their own: records, key/value rows,
        // a table inside a table inside a row, and one whose bounded size is all the row needs.
        L"[{\"a\":[{\"x\":1,\"y\":\"a longer text\"},{\"x\":22},{\"y\":\"z\"}]},{\"a\":[{\"x\":3}]},{\"b\":2}]",
        L"[{\"k\":{\"m1\":1,\"m2\":\"wide wide wide\",\"m3\":{\"d\":[1,2,3]}}},{\"k\":[\"p\",\"q\"]},{\"k\":0}]",
        L"[{\"a\":[{\"b\":[{\"c\":1},{\"c\":\"two two\"}]},{\"b\":[{\"c\":3},{\"d\":4}]}]},{\"x\":1}]",
        L"[{\"w\":\"a very wide text that no table is as wide as\"},{\"w\":[{\"p\":1},{\"p\":2}]}]",
        L"<r><i><c><d>1</d><d>2</d></c></i><i><c><d>3</d></c><c><d>4</d><d>5</d></c></i></r>",
        // Records listing their members in another order, and elements whose attributes, text and
        // same-named elements fill their cells in several passes: cells put in column order.
        L"[{\"a\":1,\"b\":\"two\",\"c\":{\"d\":[{\"p\":1},{\"p\":2}]}},{\"c\":3,\"b\":[1,2],\"a\":\"x\",\"e\":null}]",
        L"<r><i a=\"1\" b=\"2\">t<c>1</c><d>2</d><c>3</c></i><i b=\"3\" z=\"9\"><d><e>4</e></d><f/></i></r>",
    };
    std::vector<std::wstring> cases(std::begin(texts), std::end(texts));
    // Records in records past the grid's depth: nested cells whose content is the "…" leaf.
    std::wstring deep = L"1";
    for (int level = 0; level < 130; ++level) deep = L"[{\"a\":" + deep + L",\"b\":" + std::to_wstring(level) + L"}]";
    cases.push_back(deep);
    const GridTextBound exact = fixedBound(kCharWidth);
    for (const std::wstring& text : cases) {
        const std::wstring name = text[0] == L'<' ? L"a.xml" : L"a.json";
        for (bool all : {false, true})
        for (bool wide : {false, true}) {
            SCOPED_TRACE(u8(text) + (all ? " expanded" : "") + (wide ? ", rows built by the pass" : ""));
            Grid whole(name, text), sliced(name, text);
            for (Grid* g : {&whole, &sliced}) {
                g->bound = &exact;
                // The top level's one row built, the tables below it sized in slices; or every
                // table of more than one cell built a cell a slice.
                if (!wide) g->layout.lazyAbove = 1;
                if (all) expandAllGrid(*g->doc, true, g->expansion);
            }
            if (wide) sliced.layout.passCellsAbove = 0;
            whole.measured = sliced.measured = 0;
            whole.build();
            const size_t slices = sliced.buildInSlices(1);
            if (!wide) {
                EXPECT_GT(slices, 2u);
            }
            EXPECT_EQ(geometry(sliced.layout.root), geometry(whole.layout.root));
            EXPECT_EQ(sliced.measured, whole.measured);
        }
    }
}

// A record holding a big table: its rows count in the progress, which never goes back, and a pass
// stopped while that table is sized (Escape) leaves the layout to a new pass, which lays it out
// as in one go.
TEST(GridLazyRows, ATableInsideARowCountsInTheProgressAndAPassMayStopInIt) {
    const GridTextBound exact = fixedBound(kCharWidth);
    const std::wstring text = L"[{\"b\":1},{\"a\":" + qmtest::jsonArray(3000, [](size_t i) {
        return L"{\"x\":" + std::to_wstring(i) + L"}";
    }) + L"},{\"b\":2}]";
    Grid whole(L"a.json", text), sliced(L"a.json", text);
    for (Grid* g : {&whole, &sliced}) {
        g->bound = &exact;
        g->layout.lazyAbove = 2;
        expandAllGrid(*g->doc, true, g->expansion);
    }
    whole.build();
    buildGrid(sliced.doc->root, sliced.expansion, sliced.layout);
    std::vector<int> progress;
    {
        GridLayoutPass stopped(sliced.layout, sliced.metrics());
        for (int i = 0; i < 20; ++i) {
            ASSERT_FALSE(stopped.Step(100));
            progress.push_back(stopped.Progress());
        }
    }
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_LT(progress.back(), 50) << "the big table's rows count";
    sliced.layOutInSlices(100);
    EXPECT_EQ(geometry(sliced.layout.root), geometry(whole.layout.root));
}

// A table of two records of many members: its columns are found and its rows built a part of a
// row a slice, a slice building about the boxes asked; a pass stopped inside a row leaves it to a
// new pass, which lays out the grid built in one go; the slices grow as the members do.
TEST(GridLazyRows, RecordsOfManyMembersAreBuiltAPartOfARowASlice) {
    const GridTextBound exact = fixedBound(kCharWidth);
    auto text = [](int n) {
        std::wstring record = L"{";
        for (int m = 0; m < n; ++m)
            record += std::wstring(m ? L"," : L"") + L"\"m" + std::to_wstring(100000 + m) + L"\":" +
                      (m % 10 ? L"1" : L"{\"x\":[1,2]}");
        record += L"}";
        return L"[" + record + L"," + record + L"]";
    };
    auto sliced = [&](Grid& g) {
        g.bound = &exact;
        g.layout.passCellsAbove = 50;
        expandAllGrid(*g.doc, true, g.expansion);
        buildGrid(g.doc->root, g.expansion, g.layout);
    };
    Grid whole(L"a.json", text(300)), parts(L"a.json", text(300));
    whole.bound = &exact;
    whole.expandAll();
    sliced(parts);
    const GridBox* table = parts.find([](const GridBox& b) { return b.type == GridBoxType::Table; });
    ASSERT_TRUE(table && table->frame->lazy && table->frame->lazy->pending);
    {
        GridLayoutPass stopped(parts.layout, parts.metrics());
        ASSERT_FALSE(stopped.Step(100));
        EXPECT_GT(table->frame->lazy->scanAt, 0u) << "the columns' search stops inside the first record";
        std::vector<int> progress;
        for (size_t made = parts.layout.boxesMade; !table->frame->lazy->pending->open; made = parts.layout.boxesMade) {
            ASSERT_FALSE(stopped.Step(100));
            EXPECT_LE(parts.layout.boxesMade - made, 110u) << "a slice builds about what it is asked";
            progress.push_back(stopped.Progress());
        }
        ASSERT_FALSE(stopped.Step(100));
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
        EXPECT_LT(stopped.Progress(), 99);
        EXPECT_EQ(table->frame->lazy->pending->next, 0u) << "stopped inside the first row";
    }
    parts.layOutInSlices(100);
    EXPECT_FALSE(table->frame->lazy) << "built, it is a table like any other";
    EXPECT_EQ(geometry(parts.layout.root), geometry(whole.layout.root));
    ASSERT_EQ(table->frame->columnCount, 300);
    EXPECT_EQ(u8(table->frame->rows[299].label), "m100299");

    // The same for one wide record among narrow ones in a table whose rows are sized when
    // needed: that row is sized a part at a time.
    for (bool lopsided : {false, true}) {
        auto slices = [&](int n) {
            std::wstring wide = text(n);
            if (lopsided) wide = L"[{\"b\":1}," + wide.substr(1, wide.size() - 2) + L",{\"b\":2}]";
            Grid g(L"a.json", wide);
            sliced(g);
            if (lopsided) {
                g.layout.passCellsAbove = SIZE_MAX;
                g.layout.lazyAbove = 2;
                buildGrid(g.doc->root, g.expansion, g.layout);
            }
            // The slices once its columns are found: those build or size its rows.
            const GridBox* table = g.find([](const GridBox& b) { return b.type == GridBoxType::Table; });
            size_t count = 0;
            g.layOutInSlices(100, [&] {
                const GridLazyRows* lazy = table->frame->lazy.get();
                count += !lazy || lazy->scanPhase == kColumnsFound;
            });
            return double(count);
        };
        EXPECT_NEAR(slices(8000) / slices(2000), 4.0, 0.1) << (lopsided ? "sized" : "built");
    }
}

// A big table sorted by a column: a layout laid out in slices leaves putting its records in order
// to the pass, which works out their keys over several slices; the grid is the one built at once.
TEST(GridLazyRows, ABigSortedTableIsPutInOrderByThePass) {
    const std::wstring text = qmtest::jsonArray(3000, [](size_t i) {
        return L"{\"name\":\"n" + std::to_wstring(i * 7919 % 3000) + L"\",\"v\":" + std::to_wstring(i % 10) + L"}";
    });
    for (int32_t column : {0, 1})
        for (bool descending : {false, true}) {
            SCOPED_TRACE("column " + std::to_string(column) + (descending ? " descending" : ""));
            Grid whole(L"a.json", text), sliced(L"a.json", text);
            for (Grid* g : {&whole, &sliced}) {
                g->layout.lazyAbove = 100;
                g->expansion.sorts[g->doc->root->children[0]->children[0]] = GridSortKey{column, descending};
            }
            whole.build();
            sliced.layout.passSorts = true;
            buildGrid(sliced.doc->root, sliced.expansion, sliced.layout);
            const GridBox* table = sliced.find([](const GridBox& b) { return b.type == GridBoxType::Table; });
            ASSERT_TRUE(table && table->frame->lazy && table->frame->lazy->sortLater);
            size_t sorting = 0;
            sliced.layOutInSlices(100, [&] { sorting += table->frame->lazy->sortLater; });
            EXPECT_GT(sorting, 20u) << "3000 rows' keys, 100 a slice";
            const GridBox* expected = whole.find([](const GridBox& b) { return b.type == GridBoxType::Table; });
            auto positions = [](const GridBox& t) {
                std::vector<uint32_t> out;
                for (const Node* record : t.frame->records) out.push_back(record->indexInParent);
                return out;
            };
            EXPECT_EQ(positions(*table), positions(*expected));
            EXPECT_EQ(table->frame->recordNumbers, expected->frame->recordNumbers);
            EXPECT_EQ(headers(*table), headers(*expected)) << "the arrow";
            EXPECT_EQ(geometry(sliced.layout.root), geometry(whole.layout.root));
        }
}

TEST(GridGrowth, SizingInSlicesBuildsBoxesLinearInTheRecords) {
    // Every container open: the boxes built aside to size the rows, and the slices of a fixed
    // budget they take, grow as the records do, also where they all lie in one row of a table
    // sized aside (one record holding the rest, or a table inside a table inside it).
    const GridTextBound exact = fixedBound(kCharWidth);
    auto records = [](int n) {
        // Texts of one width however many records there are.
        return qmtest::jsonArray(size_t(n), [](size_t i) {
            const std::wstring id = std::to_wstring(100000 + i);
            return L"{\"id\":\"r" + id + L"\",\"o\":{\"x\":" + id + L"},\"t\":[" + id + L"]}";
        });
    };
    struct Case {
        const char* what;
        std::function<std::wstring(int)> text;
    } cases[] = {
        {"records", records},
        {"in one row", [&](int n) { return L"[{\"a\":" + records(n) + L"},{\"b\":1},{\"b\":2}]"; }},
        {"two levels down", [&](int n) { return L"[{\"a\":[{\"c\":" + records(n) + L"},{\"c\":1},{\"c\":2}]},{\"b\":1},{\"b\":2}]"; }},
    };
    for (const Case& c : cases) {
        auto work = [&](int n) {
            Grid g(L"a.json", c.text(n));
            g.bound = &exact;
            g.layout.lazyAbove = 2;
            expandAllGrid(*g.doc, true, g.expansion);
            buildGrid(g.doc->root, g.expansion, g.layout);
            const size_t before = g.measured;
            const size_t slices = g.layOutInSlices(500);
            return std::vector<size_t>{slices, g.measured - before};
        };
        const std::vector<size_t> small = work(2000), large = work(8000);
        EXPECT_NEAR(double(large[0]) / double(small[0]), 4.0, 0.1) << c.what << ": slices";
        EXPECT_EQ(large[1], small[1]) << c.what << ": texts measured: leaves are skipped by their bounds";
    }
}

// Objects in objects, every one of at most a few hundred members, all open: in a layout the pass
// lays out, key/value tables leave their rows to it too, so the slices grow as the file does and
// none builds much more than it is asked, however the file nests; the grid is the one built at once.
TEST(GridLazyRows, NestedObjectsAreBuiltARowAtATime) {
    auto text = [](int outer) {
        std::wstring inner = L"{";
        for (int i = 0; i < 50; ++i) inner += (i ? L",\"c" : L"\"c") + std::to_wstring(i) + L"\":" + std::to_wstring(i);
        inner += L"}";
        std::wstring out = L"{";
        for (int i = 0; i < outer; ++i) out += (i ? L",\"b" : L"\"b") + std::to_wstring(i) + L"\":" + inner;
        return out + L"}";
    };
    auto sliced = [&](int outer, Grid* whole) {
        Grid g(L"a.json", text(outer));
        g.layout.passCellsAbove = 1000;
        expandAllGrid(*g.doc, true, g.expansion);
        size_t made = SIZE_MAX, most = 0;  // boxes made before the slice, by the slice
        auto slice = [&] {
            if (made != SIZE_MAX) most = std::max(most, g.layout.boxesMade - made);
            made = g.layout.boxesMade;
        };
        const size_t slices = g.buildInSlices(100, slice);
        slice();
        if (whole) {
            whole->expandAll();
            EXPECT_EQ(geometry(g.layout.root), geometry(whole->layout.root));
        }
        EXPECT_LE(most, 160u) << "boxes built in one slice of 100";
        return double(slices);
    };
    Grid whole(L"a.json", text(50));
    sliced(50, &whole);
    EXPECT_NEAR(sliced(200, nullptr) / sliced(50, nullptr), 4.0, 0.1);
}
