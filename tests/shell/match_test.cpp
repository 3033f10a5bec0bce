// The search's matching half: plain comparison rules, node tests, highlight ranges and the
// display-node mapping.
#include "shell/match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/testing.h"

namespace {

using qm::HighlightState;
using qm::TextMatch;
using qm::TextRange;

HighlightState searchFor(const std::wstring& text, unsigned flags) {
    HighlightState h;
    EXPECT_TRUE(qm::beginHighlight(h, text, flags)) << qmtest::u8(text);
    return h;
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
        {L"cat", L"\u00e9cat", qm::kSearchWholeWords, false},  // letters beyond ASCII count as letters
        {L"cat", L"concat", 0, true},
        {L"STRASSE", L"strasse", 0, true},
        {L"STRASSE", L"strasse", qm::kSearchMatchCase, false},
        {L"SS", L"\u00df", 0, false},  // one character against two: never equal
        {L"ab", L"a", 0, false},
    };
    for (const Case& c : cases) {
        HighlightState h = searchFor(c.term, c.flags);
        EXPECT_EQ(qm::matchText(h, c.text) == TextMatch::Yes, c.matches) << qmtest::u8(c.term) << " in " << qmtest::u8(c.text);
    }
}

TEST(Match_Regex, EmptyMatchesNeverCount) {
    HighlightState h = searchFor(L"x*", qm::kSearchRegex);
    EXPECT_EQ(qm::matchText(h, L"abc"), TextMatch::No);
    EXPECT_EQ(qm::matchText(h, L"abxc"), TextMatch::Yes);
    EXPECT_EQ(show(qm::FindHighlightRanges(h, L"xaxxb", 5)), "(0,1)(2,2)");
    // Case-insensitive unless match case is asked for; whole words are ignored.
    HighlightState any = searchFor(L"^cat", qm::kSearchRegex | qm::kSearchWholeWords);
    EXPECT_EQ(qm::matchText(any, L"CATS"), TextMatch::Yes);
    HighlightState exact = searchFor(L"^cat", qm::kSearchRegex | qm::kSearchMatchCase);
    EXPECT_EQ(qm::matchText(exact, L"CATS"), TextMatch::No);
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
    EXPECT_EQ(qm::matchText(plain, name), TextMatch::Yes);
    EXPECT_EQ(show(qm::FindHighlightRanges(plain, name.data(), name.size())), "(30000,6)");
    HighlightState regex = searchFor(L"needle", qm::kSearchRegex);
    EXPECT_EQ(qm::matchText(regex, name), TextMatch::No);
    EXPECT_TRUE(qm::FindHighlightRanges(regex, name.data(), name.size()).empty());
    std::wstring limit(20000 - 6, L'a');
    limit += L"needle";
    EXPECT_EQ(qm::matchText(regex, limit), TextMatch::Yes);

    std::wstring many(1000, L'a');
    EXPECT_EQ(qm::FindHighlightRanges(searchFor(L"a", 0), many.data(), many.size()).size(), qm::kMaxHighlightRanges);
    EXPECT_EQ(qm::FindHighlightRanges(searchFor(L"a", qm::kSearchRegex), many.data(), many.size()).size(),
              qm::kMaxHighlightRanges);
}

TEST(Match_Ranges, PlainOccurrencesDoNotOverlap) {
    EXPECT_EQ(show(qm::FindHighlightRanges(searchFor(L"aa", 0), L"aaaaa", 5)), "(0,2)(2,2)");
    EXPECT_EQ(show(qm::FindHighlightRanges(searchFor(L"cat", qm::kSearchWholeWords), L"cat concat cat", 14)),
              "(0,3)(11,3)");
    HighlightState off;
    EXPECT_TRUE(qm::FindHighlightRanges(off, L"aaa", 3).empty());
    HighlightState h = searchFor(L"a", 0);
    EXPECT_TRUE(qm::FindHighlightRanges(h, L"", 0).empty());
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

    HighlightState byName = searchFor(L"ATTR", 0);
    EXPECT_EQ(qm::matchNode(byName, attr), TextMatch::Yes);
    HighlightState byValue = searchFor(L"v", qm::kSearchMatchCase);
    EXPECT_EQ(qm::matchNode(byValue, attr->children[0]), TextMatch::Yes);
    EXPECT_EQ(qm::matchNode(byValue, only), TextMatch::No);
}

}  // namespace
