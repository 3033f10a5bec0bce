// The search box's filter: which nodes it keeps (matches and what holds them), the Tree's rows
// and the Grid's records under it, and its cost against the size of the document.
#include "shell/filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "edit/nodetext.h"
#include "tests/support/testing.h"
#include "views/grid.h"
#include "views/tree.h"

using namespace qm;
using qmtest::u8;

namespace {

FilterCount filter(Document& doc, const std::wstring& term, unsigned flags = 0) {
    HighlightState state;
    EXPECT_TRUE(beginHighlight(state, term, flags));
    WorkBudget budget(kSearchWorkUnits);
    return markFilter(doc, state, budget);
}

// The Tree's rows under the filter, as "depth:label" with nothing expanded by the user.
std::string treeRows(const Document& doc) {
    std::vector<TreeRow> rows;
    buildTreeRows(doc.root, ExpandedSet{}, rows, true);
    std::string out;
    for (const TreeRow& r : rows) out += (out.empty() ? "" : " ") + std::to_string(r.depth) + ":" + u8(nodeLabel(r.node));
    return out;
}

}  // namespace

TEST(Filter, KeepsMatchesAndWhatHoldsThemOpen) {
    struct Case {
        const wchar_t* file;
        const wchar_t* text;
        const wchar_t* term;
        unsigned flags;
        size_t matched;
        const char* rows;
    } cases[] = {
        // A value deep inside: every ancestor shown and open, the siblings gone.
        {L"a.json", L"{\"a\": {\"b\": [1, {\"c\": \"needle\"}], \"d\": 2}, \"e\": \"x\"}", L"needle", 0, 1,
         "0: 1:a 2:b 3:[1] 4:c"},
        // A name matches as well as a value; a matched container stays closed.
        {L"a.json", L"{\"id\": {\"x\": 1}, \"v\": \"ID\"}", L"id", 0, 2, "0: 1:id 1:v"},
        // Match case and regular expressions come from the search box's switches.
        {L"a.json", L"{\"id\": 1, \"v\": \"ID\"}", L"ID", kSearchMatchCase, 1, "0: 1:v"},
        {L"a.json", L"[\"a1\", \"b22\", \"c\"]", L"\\d{2}", kSearchRegex, 1, "0: 1:[1]"},
        // An element's only text is shown by the element.
        {L"a.xml", L"<r><p>one</p><q>two</q></r>", L"two", 0, 1, "0:r 1:q"},
        {L"a.json", L"{\"a\": 1}", L"zzz", 0, 0, ""},
    };
    for (const Case& c : cases) {
        auto doc = qmtest::parse(c.file, c.text);
        ASSERT_TRUE(doc) << u8(c.text);
        const FilterCount count = filter(*doc, c.term, c.flags);
        EXPECT_EQ(count.matched, c.matched) << u8(c.text);
        EXPECT_EQ(count.outcome, c.matched ? SearchOutcome::Found : SearchOutcome::NotFound) << u8(c.text);
        EXPECT_EQ(treeRows(*doc), c.rows) << u8(c.text);
    }
}

TEST(Filter, GridKeepsMatchingRecordsAndTheUsersSetsStay) {
    auto doc = qmtest::parse(L"a.json", L"[{\"n\": \"x\"}, {\"n\": \"hit\"}, {\"n\": \"y\", \"m\": \"hit\"}]");
    GridExpansion expansion;
    resetGridExpansion(doc->root, expansion);
    const GridExpansion before = expansion;
    filter(*doc, L"hit");
    expansion.filtered = true;
    GridLayout layout;
    buildGrid(doc->root, expansion, layout);
    const GridBox* table = nullptr;
    for (const GridBox& b : layout.boxes)
        if (b.type == GridBoxType::Table) table = &b;
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->frame->records.size(), 2u);
    EXPECT_EQ(table->frame->records[0], doc->root->children[0]->children[1]);
    EXPECT_EQ(table->frame->key, doc->root->children[0]->children[0]) << "the table keeps its name";
    EXPECT_EQ(expansion.nodes, before.nodes);
}

TEST(Filter, WorkGrowsLinearlyWithTheDocument) {
    auto work = [](int n) {
        auto doc = qmtest::parse(L"a.json", qmtest::jsonArray(n, [](size_t i) { return L"{\"k\": [\"v" + std::to_wstring(i % 10) + L"\"]}"; }));
        HighlightState state;
        beginHighlight(state, L"v7", 0);
        WorkBudget budget(kSearchWorkUnits);
        const FilterCount count = markFilter(*doc, state, budget);
        EXPECT_EQ(count.matched, static_cast<size_t>(n / 10));
        return budget.used();
    };
    const uint64_t small = work(5000), large = work(20000);
    EXPECT_LT(large, small * 5) << small << " " << large;
    EXPECT_GT(large, small * 3) << small << " " << large;
}

// A filter worked out in slices marks exactly what one pass marks, and shows nothing of itself
// until it is taken; stopped, the marks shown before stay and its own go.
TEST(Filter, SlicesMarkWhatOnePassMarksAndAStopLeavesTheShownMarks) {
    // Two nodes a record: about two slices.
    const std::wstring text = qmtest::jsonArray(kFilterSliceNodes, [](size_t i) { return L"{\"k\": \"v" + std::to_wstring(i % 7) + L"\"}"; });
    auto doc = qmtest::parse(L"a.json", text);
    ASSERT_TRUE(doc);
    filter(*doc, L"v3");
    std::vector<uint8_t> shown;
    for (size_t i = 0; i < doc->nodes.size(); ++i) shown.push_back(doc->nodes[i].filterMark);

    auto slices = [&](const wchar_t* term, FilterPass& pass) {
        HighlightState state;
        beginHighlight(state, term, 0);
        size_t count = 1;
        std::vector<int> progress;
        while (!markFilterSlice(*doc, state, pass)) {
            ++count;
            progress.push_back(filterProgress(*doc, pass));
            for (size_t i = 0; i < doc->nodes.size(); ++i)
                EXPECT_EQ(doc->nodes[i].filterMark & (kFilterMatched | kFilterHolds), shown[i]) << "node " << i;
        }
        for (size_t i = 1; i < progress.size(); ++i) EXPECT_LT(progress[i - 1], progress[i]);
        return count;
    };
    FilterPass stopped(kSearchWorkUnits);
    HighlightState state;
    beginHighlight(state, L"v5", 0);
    EXPECT_FALSE(markFilterSlice(*doc, state, stopped)) << "a file this size takes more than one slice";
    dropFilterMarks(*doc);
    for (size_t i = 0; i < doc->nodes.size(); ++i) ASSERT_EQ(doc->nodes[i].filterMark, shown[i]) << "node " << i;

    FilterPass pass(kSearchWorkUnits);
    EXPECT_GE(slices(L"v5", pass), 3u);
    takeFilterMarks(*doc);
    auto once = qmtest::parse(L"a.json", text);
    const FilterCount whole = filter(*once, L"v5");
    EXPECT_EQ(pass.count.matched, whole.matched);
    EXPECT_EQ(pass.count.outcome, SearchOutcome::Found);
    for (size_t i = 0; i < doc->nodes.size(); ++i) ASSERT_EQ(doc->nodes[i].filterMark, once->nodes[i].filterMark) << "node " << i;
}
