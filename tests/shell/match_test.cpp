// The search's matching half: plain comparison rules, the plain scan's work on hostile terms, the
// node walk with its wrap-around and its one budget, highlight ranges and the display-node mapping.
#include "shell/match.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "document/embedded.h"
#include "edit/nodetext.h"
#include "tests/support/testing.h"

namespace {

using qm::HighlightState;
using qm::SearchOutcome;
using qm::TextMatch;
using qm::TextRange;
using qm::WorkBudget;

HighlightState searchFor(const std::wstring& text, unsigned flags) {
    HighlightState h;
    EXPECT_TRUE(qm::beginHighlight(h, text, flags)) << qmtest::u8(text);
    return h;
}

// One text tested as a search of its own.
TextMatch test(const HighlightState& h, std::wstring_view text) {
    WorkBudget budget(qm::kSearchWorkUnits);
    return qm::matchText(h, text, budget);
}

std::string show(const std::vector<TextRange>& r) {
    std::string s;
    for (const TextRange& t : r) s += "(" + std::to_string(t.start) + "," + std::to_string(t.length) + ")";
    return s;
}

TEST(Match_Plain, CaseAndWholeWords) {
    struct Case {
        const wchar_t* term;
        const wchar_t* text;
        unsigned flags;
        bool matches;
    };
    const Case cases[] = {
        {L"cat", L"concat", qm::kSearchWholeWords, false},
        {L"cat", L"cat5", qm::kSearchWholeWords, false},
        {L"cat", L"cat-5", qm::kSearchWholeWords, true},
        {L"cat", L"a cat", qm::kSearchWholeWords, true},
        {L"cat", L"concat cat", qm::kSearchWholeWords, true},  // the scan goes on after a refused place
        {L"a-a", L"ba-a-a", qm::kSearchWholeWords, true},     // ... also inside the refused occurrence
        {L"a a", L"a a1", qm::kSearchWholeWords, false},
        {L"cat", L"\u00e9cat", qm::kSearchWholeWords, false},  // letters beyond ASCII count as letters
        {L"cat", L"concat", 0, true},
        {L"STRASSE", L"strasse", 0, true},
        {L"STRASSE", L"strasse", qm::kSearchMatchCase, false},
        {L"SS", L"\u00df", 0, false},  // one character against two: never equal
        {L"ab", L"a", 0, false},
    };
    for (const Case& c : cases) {
        HighlightState h = searchFor(c.term, c.flags);
        EXPECT_EQ(test(h, c.text) == TextMatch::Yes, c.matches) << qmtest::u8(c.term) << " in " << qmtest::u8(c.text);
    }
}

TEST(Match_Regex, EmptyMatchesNeverCount) {
    HighlightState h = searchFor(L"x*", qm::kSearchRegex);
    EXPECT_EQ(test(h, L"abc"), TextMatch::No);
    EXPECT_EQ(test(h, L"abxc"), TextMatch::Yes);
    EXPECT_EQ(show(qm::FindHighlightRanges(h, L"xaxxb", 5)), "(0,1)(2,2)");
    // Case-insensitive unless match case is asked for; whole words are ignored.
    HighlightState any = searchFor(L"^cat", qm::kSearchRegex | qm::kSearchWholeWords);
    EXPECT_EQ(test(any, L"CATS"), TextMatch::Yes);
    HighlightState exact = searchFor(L"^cat", qm::kSearchRegex | qm::kSearchMatchCase);
    EXPECT_EQ(test(exact, L"CATS"), TextMatch::No);
}

TEST(Match_Regex, InvalidExpressionTurnsHighlightingOff) {
    HighlightState h = searchFor(L"b+", qm::kSearchRegex);
    EXPECT_FALSE(qm::beginHighlight(h, L"(a", qm::kSearchRegex));
    EXPECT_FALSE(h.highlightActive);
    EXPECT_TRUE(qm::FindHighlightRanges(h, L"bbb", 3).empty());
    // The previous expression and term stay as they were.
    EXPECT_EQ(h.highlightTerm, L"b+");
    EXPECT_TRUE(h.highlightExpression.valid());
}

TEST(Match_Limits, LongTextsAndRangeCap) {
    std::wstring name(30000, L'a');
    name += L"needle";
    HighlightState plain = searchFor(L"NEEDLE", 0);
    EXPECT_EQ(test(plain, name), TextMatch::Yes);
    EXPECT_EQ(show(qm::FindHighlightRanges(plain, name.data(), name.size())), "(30000,6)");

    std::wstring many(1000, L'a');
    EXPECT_EQ(qm::FindHighlightRanges(searchFor(L"a", 0), many.data(), many.size()).size(), qm::kMaxHighlightRanges);
    EXPECT_EQ(qm::FindHighlightRanges(searchFor(L"a", qm::kSearchRegex), many.data(), many.size()).size(),
              qm::kMaxHighlightRanges);
}

// Texts painted with one budget (the visible lines of a repaint) share it: a costly expression
// spends it on the first lines, and the others cost nothing more, however many there are.
TEST(Match_Limits, HighlightsOfManyTextsShareOneBudget) {
    const HighlightState costly = searchFor(L"(.*a){20}b", qm::kSearchRegex);
    const std::wstring line(2000, L'a');
    qm::WorkBudget one(qm::kSearchWorkUnits);
    EXPECT_TRUE(qm::FindHighlightRanges(costly, line.data(), line.size(), &one).empty());
    ASSERT_FALSE(one.exhausted());
    for (int lines : {10, 40}) {
        qm::WorkBudget shared(3 * one.used());
        for (int i = 0; i < lines; ++i) qm::FindHighlightRanges(costly, line.data(), line.size(), &shared);
        EXPECT_TRUE(shared.exhausted()) << lines;
        EXPECT_EQ(shared.used(), 3 * one.used()) << lines << " lines cost what three do";
    }
}

// A regular expression finds what the plain search finds, however long the value: values of more
// than 20,000 characters used to be skipped. The painting looks at the first 20,000 only.
TEST(Match_Limits, RegexSearchesLongValuesToTheEnd) {
    struct Case {
        size_t before;  // characters before the needle
        const wchar_t* search;
        unsigned flags;
    };
    const Case cases[] = {
        {50000, L"needle", qm::kSearchRegex},
        {50000, L"ne+dle$", qm::kSearchRegex},
        {50000, L"NEEDLE", qm::kSearchRegex},
        {30000, L"\\bneedle", qm::kSearchRegex},
        {50000, L"needle", 0},
    };
    for (const Case& c : cases) {
        std::wstring value(c.before, L'a');
        value[c.before - 1] = L' ';
        value += L"needle";
        HighlightState h = searchFor(c.search, c.flags);
        WorkBudget budget(qm::kSearchWorkUnits);
        EXPECT_EQ(qm::matchText(h, value, budget), TextMatch::Yes) << qmtest::u8(c.search) << " after " << c.before;
        value.pop_back();
        EXPECT_EQ(qm::matchText(h, value, budget), TextMatch::No) << qmtest::u8(c.search) << " after " << c.before;
    }

    // Painting: occurrences within the first 20,000 characters; one that reaches the cut may go
    // on behind it, so it is left out.
    HighlightState runs = searchFor(L"a+", qm::kSearchRegex);
    std::wstring text = L"xaax" + std::wstring(qm::kMaxHighlightRegexLength - 14, L'x') + std::wstring(20, L'a');
    EXPECT_EQ(show(qm::FindHighlightRanges(runs, text.data(), text.size())), "(1,2)");
    std::wstring shorter = text.substr(0, qm::kMaxHighlightRegexLength);
    EXPECT_EQ(show(qm::FindHighlightRanges(runs, shorter.data(), shorter.size())), "(1,2)(19990,10)");
}

TEST(Match_Ranges, PlainOccurrencesDoNotOverlap) {
    EXPECT_EQ(show(qm::FindHighlightRanges(searchFor(L"aa", 0), L"aaaaa", 5)), "(0,2)(2,2)");
    EXPECT_EQ(show(qm::FindHighlightRanges(searchFor(L"cat", qm::kSearchWholeWords), L"cat concat cat", 14)),
              "(0,3)(11,3)");
    EXPECT_EQ(show(qm::FindHighlightRanges(searchFor(L"A-A", qm::kSearchWholeWords), L"ba-a-a-a", 8)), "(3,3)");
    HighlightState off;
    EXPECT_TRUE(qm::FindHighlightRanges(off, L"aaa", 3).empty());
    HighlightState h = searchFor(L"a", 0);
    EXPECT_TRUE(qm::FindHighlightRanges(h, L"", 0).empty());
}

// The plain scan must find exactly what testing every position on its own finds: the first
// accepted place for the node search, the non-overlapping occurrences for the painting. Small
// alphabets make periodic terms ("aa", "abab") and refused whole-word places common.
TEST(Match_Plain, ScanFindsWhatEveryPositionFinds) {
    static const wchar_t alphabet[] = L"aAbB1 -\u00e9\u00c9";
    const unsigned flagSets[] = {0, qm::kSearchMatchCase, qm::kSearchWholeWords,
                                 qm::kSearchMatchCase | qm::kSearchWholeWords};
    std::mt19937 rng(5150);
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    int withMatches = 0;
    for (int round = 0; round < 20000; ++round) {
        std::wstring term, text;
        // "aA", "aAbB1" or "aAbB1 -": terms with a space or dash can be refused at one place and
        // accepted at an overlapping one.
        const size_t letters = round % 3 == 0 ? 2 : round % 3 == 1 ? 5 : 7;
        for (size_t k = 1 + pick(5); k > 0; --k) term += alphabet[pick(letters)];
        // Half the texts are pieces of the term and single characters, so occurrences overlap.
        while (text.size() < 30 && pick(12) != 0) {
            if (round % 2 && pick(2)) {
                const size_t from = pick(term.size());
                text += term.substr(from, 1 + pick(term.size() - from));
            } else {
                text += alphabet[pick(letters == 2 ? 3 : 9)];
            }
        }
        const unsigned flags = flagSets[pick(4)];
        const bool matchCase = flags & qm::kSearchMatchCase, wholeWords = flags & qm::kSearchWholeWords;
        std::vector<TextRange> expected;
        for (size_t p = 0; p + term.size() <= text.size() && expected.size() < qm::kMaxHighlightRanges;) {
            if (qm::plainMatchAt(text.data(), text.size(), p, term, matchCase, wholeWords)) {
                expected.push_back(TextRange{p, term.size()});
                p += term.size();
            } else {
                ++p;
            }
        }
        HighlightState h = searchFor(term, flags);
        const std::string where = "\"" + qmtest::u8(term) + "\" in \"" + qmtest::u8(text) + "\" flags " +
                                  std::to_string(flags);
        ASSERT_EQ(show(qm::FindHighlightRanges(h, text.data(), text.size())), show(expected)) << where;
        ASSERT_EQ(test(h, text), expected.empty() ? TextMatch::No : TextMatch::Yes) << where;
        withMatches += !expected.empty();
    }
    EXPECT_GT(withMatches, 3000);
}

// Units a plain test of `text` costs, when it finds nothing.
uint64_t plainWork(const std::wstring& term, const std::wstring& text, unsigned flags) {
    HighlightState h = searchFor(term, flags);
    WorkBudget budget(qm::kSearchWorkUnits);
    EXPECT_EQ(qm::matchText(h, text, budget), TextMatch::No);
    return budget.used();
}

// Terms that almost match everywhere: a position-by-position scan compares about the term's
// length at every place, so a term half as long as the text makes its work grow with the square
// (4n costs 16 times n); the scan must stay linear (4 times).
TEST(Match_Plain, WorkGrowsLinearlyWhateverTheTerm) {
    struct Case {
        const char* what;
        std::function<std::wstring(size_t)> term, text;
        unsigned flags;
    };
    auto runOf = [](const wchar_t* unit, size_t count) {
        std::wstring s;
        for (size_t k = 0; k < count; ++k) s += unit;
        return s;
    };
    const Case cases[] = {
        {"a..ab in a..a", [&](size_t n) { return runOf(L"a", n / 2) + L"b"; }, [&](size_t n) { return runOf(L"a", n); },
         qm::kSearchMatchCase},
        {"A..AB in a..a, case folded", [&](size_t n) { return runOf(L"A", n / 2) + L"B"; },
         [&](size_t n) { return runOf(L"a", n); }, 0},
        {"\u00c9..\u00c9X in \u00e9..\u00e9, case folded", [&](size_t n) { return runOf(L"\u00c9", n / 2) + L"X"; },
         [&](size_t n) { return runOf(L"\u00e9", n); }, 0},
        {"ab..abc in ab..ab", [&](size_t n) { return runOf(L"ab", n / 4) + L"c"; },
         [&](size_t n) { return runOf(L"ab", n / 2); }, 0},
        // every occurrence is refused because a letter touches it: no going back after each
        {"a..a whole words in a..a", [&](size_t n) { return runOf(L"a", n / 2); }, [&](size_t n) { return runOf(L"a", n); },
         qm::kSearchWholeWords},
        {"ab..ab whole words in ab..ab", [&](size_t n) { return runOf(L"ab", n / 8); },
         [&](size_t n) { return runOf(L"ab", n / 2); }, qm::kSearchWholeWords},
    };
    const size_t n = 2000;
    for (const Case& c : cases) {
        const uint64_t small = plainWork(c.term(n), c.text(n), c.flags);
        const uint64_t large = plainWork(c.term(4 * n), c.text(4 * n), c.flags);
        std::printf("[ figure ] %s: %llu units for %zu characters, %llu for %zu\n", c.what,
                    static_cast<unsigned long long>(small), n, static_cast<unsigned long long>(large), 4 * n);
        EXPECT_LE(small, 2 * n + 1) << c.what;  // at most two comparisons per character, one unit for the text
        EXPECT_LT(large, 5 * small) << c.what;
    }
}

// A JSON array of `count` strings, "v0" ... , with `needle` as the value of the entries listed.
std::unique_ptr<qm::Document> valuesDocument(size_t count, const std::vector<size_t>& needles) {
    auto doc = qmtest::parse(L"values.json", qmtest::jsonArray(count, [&needles](size_t k) {
        const bool needle = std::find(needles.begin(), needles.end(), k) != needles.end();
        return needle ? L"\"needle\"" : L"\"v" + std::to_wstring(k) + L"\"";
    }));
    EXPECT_TRUE(doc && doc->errorMessage.empty());
    return doc;
}

// The node walk: with wrap-around from any start, forward or backward, a search that finds nothing
// tests every node once (it used to run the whole search again from the top); one that finds
// something finds the next match in walking order, behind the start if need be.
TEST(Match_NodeSearch, WrapTestsEveryNodeOnce) {
    auto doc = valuesDocument(9, {2, 6});
    const std::vector<qm::Node*> list = qm::documentOrder(*doc);
    ASSERT_EQ(list.size(), 10u);  // the array and its nine strings; entry k + 1 is string k
    const HighlightState absent = searchFor(L"zebra", 0);
    const HighlightState needle = searchFor(L"needle", 0);
    WorkBudget firstOnly(qm::kSearchWorkUnits);
    ASSERT_EQ(qm::searchNodes(absent, list, 0, false, false, firstOnly).outcome, SearchOutcome::NotFound);
    struct Case {
        ptrdiff_t start;
        bool backwards;
        ptrdiff_t expected;  // entry of the needle found with wrap-around
    };
    const Case cases[] = {
        {-1, false, 3}, {0, false, 3}, {3, false, 3}, {4, false, 7}, {8, false, 3}, {10, false, 3},
        {-1, true, 7},  {0, true, 7},  {3, true, 3},  {2, true, 7},  {9, true, 7},  {10, true, 7},
    };
    for (const Case& c : cases) {
        const std::string where = "from " + std::to_string(c.start) + (c.backwards ? " backwards" : " forwards");
        WorkBudget budget(qm::kSearchWorkUnits);
        qm::NodeSearchResult none = qm::searchNodes(absent, list, c.start, c.backwards, true, budget);
        EXPECT_EQ(none.outcome, SearchOutcome::NotFound) << where;
        EXPECT_EQ(none.tested, list.size()) << where;
        EXPECT_EQ(budget.used(), firstOnly.used()) << where << ": the wrap-around must not pay twice";
        WorkBudget again(qm::kSearchWorkUnits);
        qm::NodeSearchResult found = qm::searchNodes(needle, list, c.start, c.backwards, true, again);
        EXPECT_EQ(found.outcome, SearchOutcome::Found) << where;
        EXPECT_EQ(found.match, list[size_t(c.expected)]) << where;
        EXPECT_LE(found.tested, list.size()) << where;
        // A slice at a time, as a big file's search goes: the same walk and the same work.
        for (const HighlightState* state : {&absent, &needle}) {
            WorkBudget whole(qm::kSearchWorkUnits), sliced(qm::kSearchWorkUnits);
            const qm::NodeSearchResult r = qm::searchNodes(*state, list, c.start, c.backwards, true, whole);
            qm::NodeWalk walk = qm::beginNodeWalk(list.size(), c.start, c.backwards, true);
            EXPECT_EQ(walk.total, list.size()) << where;
            while (!qm::continueNodeWalk(*doc, *state, list, walk, sliced, qm::NodeSlice{3, UINT64_MAX})) {
            }
            EXPECT_EQ(walk.result.match, r.match) << where;
            EXPECT_EQ(walk.result.tested, r.tested) << where;
            EXPECT_EQ(sliced.used(), whole.used()) << where;
        }
    }
    // Without wrap-around the walk ends with the list.
    WorkBudget budget(qm::kSearchWorkUnits);
    qm::NodeSearchResult tail = qm::searchNodes(needle, list, 8, false, false, budget);
    EXPECT_EQ(tail.outcome, SearchOutcome::NotFound);
    EXPECT_EQ(tail.tested, 2u);
}

// One budget for the whole search: an expression that needs much work in every value stops the
// walk with its own outcome, where each value used to get a fresh allowance; a cheap one over the
// same values is answered.
TEST(Match_NodeSearch, BudgetStopsAnExpensiveSearchOnly) {
    auto doc = qmtest::parse(L"many.json", qmtest::jsonArray(300, [](size_t) { return L"\"" + std::wstring(150, L'a') + L"\""; }));
    ASSERT_TRUE(doc && doc->errorMessage.empty());
    const std::vector<qm::Node*> list = qm::documentOrder(*doc);
    const uint64_t units = 20000000;
    struct Case {
        const wchar_t* search;
        unsigned flags;
        SearchOutcome outcome;
    };
    const Case cases[] = {
        {L"(?:a{1,40}){1,20}b", qm::kSearchRegex, SearchOutcome::Stopped},
        {L"a+b", qm::kSearchRegex, SearchOutcome::NotFound},
        {L"aaaaaaaaaab", 0, SearchOutcome::NotFound},
        {L"(?:a{1,40}){1,20}$", qm::kSearchRegex, SearchOutcome::Found},  // found in the first value
    };
    for (const Case& c : cases) {
        HighlightState h = searchFor(c.search, c.flags);
        WorkBudget budget(units);
        qm::NodeSearchResult r = qm::searchNodes(h, list, 0, false, true, budget);
        std::printf("[ figure ] %s over %zu values: %llu units\n", qmtest::u8(c.search).c_str(), list.size(),
                    static_cast<unsigned long long>(budget.used()));
        EXPECT_EQ(r.outcome, c.outcome) << qmtest::u8(c.search);
        if (c.outcome == SearchOutcome::Stopped) {
            EXPECT_TRUE(budget.exhausted());
            EXPECT_EQ(r.match, nullptr);
            EXPECT_LT(r.tested, list.size()) << "the budget should run out before the last value";
        } else {
            EXPECT_LT(budget.used(), units / 4);
        }
    }
}

// A match in a string that holds JSON reveals the first node inside that matches, in the
// direction of the search, opening the string if need be.
TEST(Match_NodeSearch, MatchesInsideStringsRevealTheirNodes) {
    const std::wstring text = L"[{\"p\": \"{\\\"id\\\": 3, \\\"msg\\\": \\\"a needle\\\", \\\"more\\\": \\\"needle\\\"}\"},"
                              L" \"needle\", {\"needle\": \"[1]\"}]";
    // One search step as the search box takes it: the walk from the node after (or before) `from`
    // over the document as it is now.
    // `sliced`: a slice of one entry at a time, as a big file's search goes.
    bool sliced = false;
    auto step = [&sliced](qm::Document& doc, const std::wstring& term, const std::wstring& from, bool backwards) {
        const HighlightState state = searchFor(term, 0);
        const std::vector<qm::Node*> list = qm::documentOrder(doc);
        ptrdiff_t start = backwards ? ptrdiff_t(list.size()) - 1 : 0;
        for (size_t i = 0; i < list.size(); ++i)
            if (qm::nodePath(list[i], doc.format) == from) start = ptrdiff_t(i) + (backwards ? -1 : 1);
        WorkBudget budget(qm::kSearchWorkUnits);
        qm::NodeWalk walk = qm::beginNodeWalk(list.size(), start, backwards, false);
        const qm::NodeSlice slice = sliced ? qm::NodeSlice{1, 1} : qm::NodeSlice{};
        size_t slices = 1;
        while (!qm::continueNodeWalk(doc, state, list, walk, budget, slice)) ++slices;
        EXPECT_EQ(slices, sliced ? std::max<size_t>(walk.result.tested, 1) : 1);
        const qm::NodeSearchResult& found = walk.result;
        if (found.outcome != SearchOutcome::Found) return std::string("none");
        return qmtest::u8(qm::nodePath(found.match, doc.format));
    };
    struct Case {
        const wchar_t* term;
        const wchar_t* from;  // "": from the start (or end)
        bool backwards;
        const char* expected;
    };
    const Case forwards[] = {
        {L"needle", L"", false, "$[0].p#$.msg"},  // opens the string
        {L"needle", L"$[0].p#$.msg", false, "$[0].p#$.more"},
        {L"needle", L"$[0].p#$.more", false, "$[1]"},
        {L"needle", L"$[1]", false, "$[2].needle"},  // its key matched: the string itself, unopened
        {L"needle", L"$[2].needle", false, "none"},
        {L"needle", L"", true, "$[2].needle"},
        {L"needle", L"$[1]", true, "$[0].p#$.more"},
        {L"needle", L"$[0].p#$.more", true, "$[0].p#$.msg"},
        // The opened string stands for its nodes, as forwards: not a stop between them and $[0].
        {L"needle", L"$[0].p#$.msg", true, "none"},
        {L"id\": 3", L"", false, "$[0].p"},  // across the JSON's punctuation
        {L"id\": 3", L"$[1]", true, "$[0].p"},  // and backwards past its nodes
    };
    for (const bool inSlices : {false, true}) {
        sliced = inSlices;
        auto doc = qmtest::parse(L"t.json", text);
        for (const Case& c : forwards)
            EXPECT_EQ(step(*doc, c.term, c.from, c.backwards), c.expected)
                << qmtest::u8(c.term) << " from " << qmtest::u8(c.from) << (sliced ? " in slices" : "");
        EXPECT_TRUE(qm::awaitsOpening(doc->root->children[0]->children[2]->children[0]));
        auto fresh = qmtest::parse(L"t.json", text);
        EXPECT_EQ(step(*fresh, L"needle", L"$[1]", true), "$[0].p#$.more") << "backwards into a string not opened yet";
        // XML attributes and texts, backwards from the end and on, then forwards.
        auto xml = qmtest::parse(L"t.xml", L"<r><a d='{\"n\": \"needle\"}'/><b>[\"needle\", 1, \"needle\"]</b></r>");
        EXPECT_EQ(step(*xml, L"needle", L"", true), "/r/b#$[2]");
        EXPECT_EQ(step(*xml, L"needle", L"/r/b#$[2]", true), "/r/b#$[0]");
        EXPECT_EQ(step(*xml, L"needle", L"/r/b#$[0]", true), "/r/a/@d#$.n");
        EXPECT_EQ(step(*xml, L"needle", L"/r/a/@d#$.n", false), "/r/b#$[0]");
    }
}

TEST(Match_Nodes, NameOrValueAndDisplayNode) {
    auto doc = qmtest::parse(L"t.xml", L"<r><only>text</only><attr k=\"v\">text</attr><two>a<b/></two><![CDATA[c]]></r>");
    ASSERT_TRUE(doc && doc->errorMessage.empty());
    const qm::Node* r = doc->root->children.back();
    ASSERT_EQ(r->children.size(), 4u);
    const qm::Node* only = r->children[0];
    const qm::Node* attr = r->children[1];
    const qm::Node* two = r->children[2];
    EXPECT_EQ(qm::DisplayNode(only->children[0]), only);                 // only child of a plain element
    EXPECT_EQ(qm::DisplayNode(attr->children.back()), attr->children.back());  // element has an attribute
    EXPECT_EQ(qm::DisplayNode(two->children[0]), two->children[0]);      // element has two children
    EXPECT_EQ(qm::DisplayNode(r->children[3]), r->children[3]);          // CDATA beside siblings
    EXPECT_EQ(qm::DisplayNode(only), only);

    WorkBudget budget(qm::kSearchWorkUnits);
    HighlightState byName = searchFor(L"ATTR", 0);
    EXPECT_EQ(qm::matchNode(byName, attr, budget), TextMatch::Yes);
    HighlightState byValue = searchFor(L"v", qm::kSearchMatchCase);
    EXPECT_EQ(qm::matchNode(byValue, attr->children[0], budget), TextMatch::Yes);
    EXPECT_EQ(qm::matchNode(byValue, only, budget), TextMatch::No);
}

}  // namespace
