// The source view's text without a window: formatted XML and JSON and files shown as read, the
// lines each node covers, what a click on each line selects, the search through the lines, the
// editor's column, and the cost of deep and long input.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "edit/convert.h"
#include "edit/nodetext.h"
#include "tests/support/source_reference.h"
#include "tests/support/testing.h"
#include "views/source.h"

using namespace qm;
using qmtest::u8;

namespace {

struct Built {
    std::unique_ptr<Document> doc;
    SourceText source;
    explicit Built(const std::wstring& name, const std::wstring& text) : doc(qmtest::parse(name, text)) {
        buildSourceText(doc.get(), source);
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < source.lineCount(); ++i) out.push_back(u8(source.line(i)));
        return out;
    }
    // "label" of the node each line selects ("-" for none, the kind's badge-free name otherwise).
    std::vector<std::string> selections() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < source.lineCount(); ++i) {
            const Node* n = source.lineNode(i);
            out.push_back(n ? describe(n) : "-");
        }
        return out;
    }
    static std::string describe(const Node* n) {
        const std::wstring label = nodeLabel(n);
        if (!label.empty()) return u8(label);
        if (n->kind == NodeKind::Object) return "{}";
        if (n->kind == NodeKind::Array) return "[]";
        return u8(n->value);
    }
    // The node whose label (or value for unnamed scalars) is `what`, in store order.
    const Node* find(const std::string& what, int nth = 0) const {
        for (size_t i = 1; i < doc->nodes.size(); ++i)
            if (describe(&doc->nodes[i]) == what && nth-- == 0) return &doc->nodes[i];
        return nullptr;
    }
    std::string range(const std::string& what, int nth = 0) const {
        const Node* n = find(what, nth);
        if (!n) return "missing";
        const LineRange r = sourceLineRange(source, *doc, n);
        return std::to_string(r.first) + ".." + std::to_string(r.last);
    }
};

struct TextCase {
    const char* name;
    const wchar_t* file;
    const wchar_t* text;
    bool showsSource;
    std::vector<std::string> lines;
    std::vector<std::string> selections;  // one per line
    std::vector<std::pair<std::string, std::string>> ranges;  // node label -> "first..last"
};

TEST(SourceText, BuildsLinesSelectionsAndRanges) {
    const TextCase cases[] = {
        {"json object of an array and an empty object is seven lines", L"a.json", LR"({"a":[1,2],"b":{}})", false,
         {"{", R"(  "a": [)", "    1,", "    2", "  ],", R"(  "b": {})", "}"},
         {"{}", "a", "[0]", "[1]", "a", "b", "{}"},
         {{"a", "1..4"}, {"{}", "0..6"}, {"b", "5..5"}, {"[1]", "3..3"}}},
        {"json lines records are one empty line apart; the first record's brackets select the items",
         L"a.jsonl", L"{\"x\":1}\n{\"y\":2}\n", false,
         {"{", R"(  "x": 1)", "}", "", "{", R"(  "y": 2)", "}"},
         {"[]", "x", "[]", "[]", "[1]", "y", "[1]"},
         {{"[]", "0..6"}, {"x", "1..1"}, {"[0]", "0..2"}, {"[1]", "4..6"}, {"y", "5..5"}}},
        {"xml element with one attribute and text is one line, escaped", L"a.xml", LR"(<a k="v &quot;q&quot;">t &amp; u</a>)",
         false, {R"(<a k="v &quot;q&quot;">t &amp; u</a>)"}, {"a"}, {{"a", "0..0"}, {"k", "0..0"}}},
        {"xml attribute with a line feed, a tab and a carriage return but no markup character: references, one line",
         L"a.xml", L"<a k=\"x&#10;y&#9;z&#13;\">t</a>", false, {R"(<a k="x&#10;y&#9;z&#13;">t</a>)"}, {"a"},
         {{"a", "0..0"}}},
        {"xml children are indented, text trimmed, empty elements closed", L"a.xml",
         L"<?xml version=\"1.0\"?>\n<r>\n <a>1</a>\n <b/>\n <!--c-->\n <m>  x  <d/></m>\n</r>", false,
         {R"(<?xml version="1.0"?>)", "<r>", "  <a>1</a>", "  <b/>", "  <!-- c -->", "  <m>", "    x", "    <d/>", "  </m>",
          "</r>"},
         {"xml", "r", "a", "b", "c", "m", "  x  ", "d", "m", "r"},
         {{"r", "1..9"}, {"m", "5..8"}, {"d", "7..7"}}},
        {"yaml is shown as read with tabs expanded, no carriage returns and no trailing empty line", L"a.yaml",
         L"a: 1\r\nb:\r\n  - \"x\ty\"\r\n  - 2\r\n", true,
         {"a: 1", "b:", "  - \"x  y\"", "  - 2"},
         {"{}", "{}", "b", "[1]"},
         {{"b", "2..3"}, {"a", "0..0"}, {"{}", "0..3"}}},
        {"yaml lines ended by lone carriage returns are the lines the parser counted", L"a.yaml", L"a: 1\rb: 2\r", true,
         {"a: 1", "b: 2"}, {"{}", "b"}, {{"b", "1..1"}, {"a", "0..0"}}},
        {"a json syntax error shows the file as read", L"a.json", L"{\"a\": 1,\n\t\"b\": }\n", true,
         {R"({"a": 1,)", R"(    "b": })"}, {"{}", "{}"}, {}},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        Built b(c.file, c.text);
        ASSERT_TRUE(b.doc);
        EXPECT_EQ(b.source.showsSourceText, c.showsSource);
        EXPECT_EQ(b.lines(), c.lines);
        EXPECT_EQ(b.selections(), c.selections);
        for (const auto& r : c.ranges) EXPECT_EQ(b.range(r.first), r.second) << r.first;
        EXPECT_EQ(b.source.lineStates.size(), b.source.lineCount());
        EXPECT_EQ(b.source.textLength, qmtest::shownText(b.source).size());
        // "Copy entire source": the file as read is copied exactly (tabs, carriage returns and the
        // last line break kept), a formatted text line by line with CR LF.
        std::string formatted;
        for (const std::string& line : c.lines) formatted += (formatted.empty() ? "" : "\r\n") + line;
        EXPECT_EQ(u8(sourceCopyText(b.doc.get(), b.source)), c.showsSource ? u8(c.text) : formatted);
    }
}

TEST(SourceText, NoDocumentHasNoLines) {
    SourceText source;
    buildSourceText(nullptr, source);
    EXPECT_EQ(source.lineCount(), 0u);
}

// Missing closing brackets and tags are reported past the last line with text: the empty line
// the error is on is kept, and an error past every line marks the last one.
TEST(SourceText, AnErrorAtTheEndOfTheFileMarksALineShown) {
    const struct {
        const wchar_t* name;
        const wchar_t* text;
        size_t lines;
        int64_t errorLine;
    } cases[] = {
        {L"a.json", L"{\n  \"a\": [1, 2\n", 3, 2},
        {L"a.json", L"{\n  \"a\": [1, 2", 2, 1},
        {L"a.xml", L"<r>\n  <a>x</a>\n", 3, 2},
        {L"a.json", L"{\"a\": 1,\n\"b\": }\n", 2, 1},
        {L"a.json", L"{\"a\": 1}\n\n", 3, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.text));
        Built b(c.name, c.text);
        EXPECT_EQ(b.doc->errorMessage.empty(), c.errorLine < 0);
        EXPECT_EQ(b.source.errorLine, c.errorLine);
        if (c.errorLine >= 0) {
            EXPECT_EQ(b.source.lineCount(), c.lines);
        }
    }
}

// A JSON or XML file that parsed cleanly is shown as written (its comments and layout kept) or
// formatted, as chosen; automatic shows it as written unless it is minified (long lines, or many
// nodes to a line). A click on a line written still selects the node written there.
TEST(SourceText, AsWrittenOrFormatted) {
    const std::wstring commented = L"// the settings\n{\n  a: 1, // one\n  \"b\": [2, 3],\n}\n";
    const std::wstring minified = qmtest::jsonArray(100, [](size_t i) { return L"{\"k\":\"" + std::to_wstring(i) + L"\"}"; });
    const struct {
        const wchar_t* name;
        std::wstring text;
        SourceLayout layout;
        bool asWritten;
    } cases[] = {
        {L"a.json", commented, SourceLayout::Automatic, true},
        {L"a.json", commented, SourceLayout::Formatted, false},
        {L"a.json", minified, SourceLayout::Automatic, false},
        {L"a.json", L"{\"a\":[1,2],\"b\":{\"c\":3}}", SourceLayout::Automatic, false},  // a document on one line
        {L"a.json", L"{\"a\": 1}", SourceLayout::Automatic, true},
        {L"a.xml", L"<r>\n  <!-- kept -->\n  <a x=\"1\"/>\n</r>\n", SourceLayout::Automatic, true},
        {L"a.yaml", L"a: 1\n", SourceLayout::Formatted, true},  // shown as read, whatever the choice
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.text.substr(0, 30)));
        std::unique_ptr<Document> doc = qmtest::parse(c.name, c.text);
        SourceText source;
        buildSourceText(doc.get(), source, true, c.layout);
        EXPECT_EQ(source.showsSourceText, c.asWritten);
        EXPECT_EQ(showsAsWritten(*doc, c.layout), c.asWritten);
        if (c.asWritten) {
            std::wstring expected = c.text;
            while (!expected.empty() && expected.back() == L'\n') expected.pop_back();
            EXPECT_EQ(u8(qmtest::shownText(source)), u8(expected));
        }
    }
    std::unique_ptr<Document> doc = qmtest::parse(L"a.json", commented);
    SourceText source;
    buildSourceText(doc.get(), source, true, SourceLayout::AsWritten);
    ASSERT_EQ(source.lineCount(), 5u);
    EXPECT_EQ(u8(source.line(0)), "// the settings");
    ASSERT_NE(source.lineNode(2), nullptr);
    EXPECT_EQ(u8(nodeLabel(source.lineNode(2))), "a");
    ASSERT_NE(source.lineNode(3), nullptr);
    EXPECT_EQ(u8(nodeLabel(source.lineNode(3))), "b");
}

TEST(SourceText, LineStatesCarryCommentsAcrossLines) {
    Built b(L"a.xml", L"<r><!--one\ntwo--><a/></r>");
    // The comment's second line starts inside the comment.
    ASSERT_EQ(b.lines()[1], "  <!-- one");
    EXPECT_EQ(b.source.lineStates[1], 0);
    EXPECT_NE(b.source.lineStates[2], 0);
}

// ---- search ----

struct FindCase {
    const char* name;
    int64_t line, column;
    bool backwards;
    int32_t expectLine, expectColumn;
};

// The search in slices, as a big text's search goes on a timer message at a time (a line a slice,
// three lines, three units): the match, the lines searched and the work are those of the search
// in one go, with or without wrapping around; a budget that runs out stops both alike.
void expectSameInSlices(const SourceText& source, const HighlightState& state, int64_t line, int64_t column,
                        bool backwards, uint64_t units = kSearchWorkUnits) {
    for (bool wrap : {false, true}) {
        WorkBudget whole(units);
        SourceWalk once = beginSourceWalk(source, line, column, backwards, wrap);
        ASSERT_TRUE(continueSourceWalk(source, state, once, whole, NodeSlice{}));
        for (const NodeSlice slice : {NodeSlice{1, 1}, NodeSlice{3, UINT64_MAX}, NodeSlice{SIZE_MAX, 3}}) {
            SCOPED_TRACE(std::to_string(slice.entries) + " lines, " + std::to_string(slice.units) + " units a slice" +
                         (wrap ? ", wrapping" : ""));
            WorkBudget budget(units);
            SourceWalk walk = beginSourceWalk(source, line, column, backwards, wrap);
            size_t slices = 1;
            while (!continueSourceWalk(source, state, walk, budget, slice)) ++slices;
            EXPECT_EQ(walk.result.line, once.result.line);
            EXPECT_EQ(walk.result.column, once.result.column);
            EXPECT_EQ(walk.result.length, once.result.length);
            EXPECT_EQ(walk.searched, once.searched);
            EXPECT_LE(walk.searched, walk.total);
            EXPECT_EQ(budget.used(), whole.used());
            EXPECT_EQ(budget.exhausted(), whole.exhausted());
            if (slice.entries == 1) {
                EXPECT_EQ(slices, std::max<uint64_t>(walk.searched, 1));
            }
        }
    }
}

TEST(SourceFind, MovesMatchByMatch) {
    Built b(L"a.json", LR"({"cat":"cat","x":[1,"concat"]})");
    // {                / "cat": "cat", / "x": [ / 1, / "concat" / ] / }
    HighlightState state;
    ASSERT_TRUE(beginHighlight(state, L"cat", 0));
    const FindCase cases[] = {
        {"from the edge forward finds the key", 0, -1, false, 1, 3},
        {"after a match the next one on the same line", 1, 3, false, 1, 10},
        {"after the last on a line, a later line", 1, 10, false, 4, 8},
        {"after the last match: nothing", 4, 8, false, -1, 0},
        {"backward from the text's end", 6, INT32_MAX, true, 4, 8},
        {"backward before a column on the same line", 1, 10, true, 1, 3},
        {"backward from line 0 without a match", 0, 0, true, -1, 0},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkBudget budget(kSearchWorkUnits);
        const SourceMatch m = findInSource(b.source, state, c.line, c.column, c.backwards, false, budget);
        EXPECT_EQ(m.line, c.expectLine);
        if (m.line >= 0) {
            EXPECT_EQ(m.column, c.expectColumn);
            EXPECT_EQ(m.length, 3);
        }
        expectSameInSlices(b.source, state, c.line, c.column, c.backwards);
    }
    ASSERT_TRUE(beginHighlight(state, L"c[ao]", kSearchRegex));
    for (const FindCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", regular expression");
        expectSameInSlices(b.source, state, c.line, c.column, c.backwards);
    }
}

TEST(SourceFind, LongLineIsSearchedUpToItsCut) {
    std::wstring text = L"{\"v\":\"" + std::wstring(kSourceLineCut, L'a') + L"needle\"}";
    Built b(L"a.json", text);
    HighlightState state;
    WorkBudget budget(kSearchWorkUnits);
    ASSERT_TRUE(beginHighlight(state, L"needle", 0));
    EXPECT_EQ(findInSource(b.source, state, 0, -1, false, false, budget).line, -1);
    ASSERT_TRUE(beginHighlight(state, L"aaa", 0));
    EXPECT_EQ(findInSource(b.source, state, 0, -1, false, false, budget).line, 1);
}

// Moving from match to match reaches every occurrence of a line, not only the ones painted.
TEST(SourceFind, ReachesEveryMatchOfALine) {
    std::string text = "k:";
    for (int i = 0; i < 300; ++i) text += " a";
    text += "\nz: a\n";
    Built b(L"a.yaml", std::wstring(text.begin(), text.end()));
    for (unsigned flags : {0u, unsigned(kSearchRegex)}) {
        SCOPED_TRACE(flags);
        HighlightState state;
        ASSERT_TRUE(beginHighlight(state, L"a", flags));
        WorkBudget budget(kSearchWorkUnits);
        auto columns = [&](int64_t from, bool backwards) {
            std::vector<int32_t> out;
            for (SourceMatch m = findInSource(b.source, state, 0, from, backwards, false, budget); m.line == 0;
                 m = findInSource(b.source, state, m.line, m.column, backwards, false, budget))
                out.push_back(m.column);
            return out;
        };
        const std::vector<int32_t> forward = columns(-1, false), backward = columns(INT32_MAX, true);
        ASSERT_EQ(forward.size(), 300u);
        EXPECT_EQ(forward.back(), 3 + 2 * 299);
        ASSERT_EQ(backward.size(), 300u);
        EXPECT_EQ(backward.front(), 3 + 2 * 299);
    }
}

// The wrapped leg searches only the lines the first leg left, and a search through lines of costly
// matcher work stops when the one budget of the whole search runs out, not line by line.
TEST(SourceFind, OneBudgetForTheWholeSearch) {
    auto yaml = [](size_t lines, size_t width) {
        std::string text;
        for (size_t i = 0; i < lines; ++i) text += "k" + std::to_string(i) + ": " + std::string(width, 'a') + "\n";
        return std::wstring(text.begin(), text.end());
    };
    HighlightState state;
    ASSERT_TRUE(beginHighlight(state, L"zz", 0));
    auto work = [&](size_t lines, int64_t from, bool wrap) {
        Built b(L"a.yaml", yaml(lines, 40));
        WorkBudget budget(kSearchWorkUnits);
        EXPECT_EQ(findInSource(b.source, state, from, -1, false, wrap, budget).line, -1);
        return budget.used();
    };
    const uint64_t lines100 = work(100, 0, false);
    EXPECT_GE(work(100, 50, true), lines100) << "every line once, the starting line again";
    EXPECT_LT(work(100, 50, true), work(101, 0, false));
    const uint64_t lines400 = work(400, 0, false);
    EXPECT_GT(lines400, 3 * lines100);
    EXPECT_LT(lines400, 5 * lines100) << lines100 << " units for n lines, " << lines400 << " for 4n";
    std::printf("[ figure ] a search through 100 lines: %llu units, 400 lines: %llu\n",
                static_cast<unsigned long long>(lines100), static_cast<unsigned long long>(lines400));

    // A costly expression: what one line costs, then a budget of three lines for 6 and for 24.
    ASSERT_TRUE(beginHighlight(state, L"(.*a){20}b", kSearchRegex));
    uint64_t oneLine = 0;
    {
        Built b(L"a.yaml", yaml(1, 2000));
        WorkBudget budget(kSearchWorkUnits);
        EXPECT_EQ(findInSource(b.source, state, 0, -1, false, true, budget).line, -1);
        ASSERT_FALSE(budget.exhausted());
        oneLine = budget.used();
    }
    for (size_t lines : {6, 24}) {
        Built b(L"a.yaml", yaml(lines, 2000));
        WorkBudget budget(3 * oneLine);
        const SourceMatch m = findInSource(b.source, state, 0, -1, false, true, budget);
        EXPECT_EQ(m.line, -1);
        EXPECT_TRUE(budget.exhausted()) << lines << " lines: stopped, not \"not found\"";
        expectSameInSlices(b.source, state, 0, -1, false, 3 * oneLine);
    }
}

// ---- value editor column ----

TEST(SourceEditColumn, FindsTheValueOrTheSeparator) {
    const struct {
        const wchar_t* line;
        const wchar_t* value;
        size_t column;
        bool found;
    } cases[] = {
        {LR"(  "k": "value",)", L"value", 8, true},
        {L"key =   x", L"", 8, false},
        {L"key:", L"missing", 4, false},
        {L"   <a>", L"", 3, false},
        {L"    ", L"", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.line));
        const EditColumn e = valueEditColumn(c.line, c.value);
        EXPECT_EQ(e.column, c.column);
        EXPECT_EQ(e.valueFound, c.found);
    }
}

// ---- cost of hostile input ----

std::wstring nestedXml(size_t depth) {
    std::wstring text;
    for (size_t i = 0; i < depth; ++i) text += L"<e>";
    text += L"x";
    for (size_t i = 0; i < depth; ++i) text += L"</e>";
    return text;
}

std::wstring nestedJson(size_t depth) { return std::wstring(depth, L'[') + std::wstring(depth, L']'); }

TEST(SourceText, DeepDocumentsStayLinear) {
    const struct {
        const char* name;
        const wchar_t* file;
        std::wstring (*make)(size_t);
        size_t depth;
    } cases[] = {
        {"xml", L"a.xml", nestedXml, 2000},
        {"json", L"a.json", nestedJson, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Built small(c.file, c.make(c.depth));
        Built big(c.file, c.make(4 * c.depth));
        ASSERT_TRUE(small.doc->errorMessage.empty()) << u8(small.doc->errorMessage);
        EXPECT_LT(big.source.textLength, 5 * small.source.textLength);
        EXPECT_LT(big.source.lineSteps, 5 * small.source.lineSteps);
        // The walk that finds the ranges nest, then the descent to the innermost line's node.
        size_t steps[2] = {};
        for (Built* b : {&small, &big}) {
            SourceText lazy;
            buildSourceText(b->doc.get(), lazy, false);
            const size_t line = lazy.lineCount() / 2;
            EXPECT_EQ(sourceLineNode(*b->doc, lazy, line), b->source.lineNode(line));
            EXPECT_EQ(lazy.nesting, kRangesNest);
            steps[b == &big] = lazy.lineSteps;
        }
        EXPECT_GT(steps[0], c.depth);
        EXPECT_LT(steps[1], 5 * steps[0]);
    }
}

TEST(SourceText, HundredThousandDeepXmlIsShown) {
    const size_t depth = 100000;
    Built b(L"a.xml", nestedXml(depth));
    ASSERT_TRUE(b.doc->errorMessage.empty());
    // Opening lines, the innermost element with its text on one line, closing lines.
    EXPECT_EQ(b.source.lineCount(), 2 * depth - 1);
    EXPECT_EQ(b.source.maxLineLength, kIndentWidth * kMaxIndentLevel + 8);
    const Node* innermost = b.source.lineNode(depth - 1);
    EXPECT_EQ(sourceLineRange(b.source, *b.doc, innermost).first, int32_t(depth - 1));
    EXPECT_EQ(b.source.lineNode(2 * depth - 2), b.source.lineNode(0));
}

}  // namespace

namespace {

TEST(SourceText, LineNodesAndStatesAskedForLaterEqualAWholeBuild) {
    const struct {
        const wchar_t* file;
        const wchar_t* text;
    } cases[] = {
        {L"a.xml", L"<r><!--one\ntwo--><a k=\"1\">x</a><![CDATA[c\nd]]></r>"},
        {L"a.json", LR"({"a":[1,{"b":"c"}],"d":"e"})"},
        {L"a.yaml", L"a: |\n  one\n  two\nb: [1, 2]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(u8(c.file));
        Built whole(c.file, c.text);
        SourceText lazy;
        buildSourceText(whole.doc.get(), lazy, false);
        EXPECT_TRUE(lazy.lineNodes.empty());
        EXPECT_EQ(lazy.statesKnown, 0u);
        // States come in two steps, as the view asks for the screens it paints.
        ensureLineStates(lazy, 1);
        EXPECT_EQ(lazy.statesKnown, 2u);
        ensureLineStates(lazy, 1000);
        ensureLineNodes(*whole.doc, lazy);
        EXPECT_EQ(lazy.lineStates, whole.source.lineStates);
        EXPECT_EQ(lazy.lineNodes, whole.source.lineNodes);
        EXPECT_EQ(qmtest::shownText(lazy), qmtest::shownText(whole.source));
    }
}

}  // namespace
