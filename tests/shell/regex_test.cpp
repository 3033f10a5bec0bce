// The search's regular-expression matcher: syntax accepted and refused, matches against
// std::wregex on generated cases, the same matches with a small memory, the work it counts on
// long texts and the budget it shares between texts.
#include "shell/regex.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cwchar>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <locale>
// libstdc++'s regex headers trip -Wmaybe-uninitialized under the sanitizer build.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#endif

#include "tests/support/testing.h"

namespace {

using qm::Regex;
using qm::RegexRun;
using qm::TextRange;

std::vector<TextRange> allMatches(const Regex& re, const std::wstring& text, bool nonEmptyOnly = false) {
    std::vector<TextRange> out;
    EXPECT_EQ(re.findMatches(text.data(), text.size(), 1000, nonEmptyOnly, out), RegexRun::Complete);
    return out;
}

std::string show(const std::vector<TextRange>& r) {
    std::string s;
    for (const TextRange& t : r) s += "(" + std::to_string(t.start) + "," + std::to_string(t.length) + ")";
    return s;
}

TEST(Regex_Syntax, ValidAndInvalidPatterns) {
    struct Case {
        const wchar_t* pattern;
        bool valid;
    };
    const Case cases[] = {
        {L"", true}, {L"abc", true}, {L"a|", true}, {L"|a", true}, {L"()", true}, {L"(?:)", true},
        {L"a**", true}, {L"a*?", true}, {L"a{2}{3}", true}, {L"a{0}", true}, {L"a{2,}?", true},
        {L"[]", true}, {L"[^]", true}, {L"[a-]", true}, {L"[-a]", true}, {L"[a-z-0]", true},
        {L"[\\b]", true}, {L"]", true}, {L"}", true}, {L"\\q", true}, {L"\\cA", true},
        {L"\\x41\\u00e9", true}, {L"[\\d-]", true}, {L"\\0", true},
        // unbalanced, misplaced quantifiers, bad braces and escapes
        {L"(", false}, {L"(a", false}, {L"a)", false}, {L")", false}, {L"*", false}, {L"a|*", false},
        {L"^*", false}, {L"\\b+", false}, {L"a{", false}, {L"a{,2}", false}, {L"a{2,1}", false},
        {L"a{1,2,3}", false}, {L"a{ 1}", false}, {L"{1}", false}, {L"\\", false}, {L"a\\", false},
        {L"\\x4", false}, {L"\\u12g4", false}, {L"\\c", false}, {L"[a", false}, {L"[z-a]", false},
        {L"[\\d-z]", false}, {L"[a-\\d]", false}, {L"[\\B]", false}, {L"(?", false}, {L"(?x)", false},
        // not offered by this matcher: back-references, look-aheads, POSIX bracket classes
        {L"(a)\\1", false}, {L"a(?=b)", false}, {L"a(?!b)", false}, {L"[[:alpha:]]", false},
        // more states than the limit
        {L"((a{1000}){1000}){1000}", false}, {L"a{99999999999}", false},
    };
    for (const Case& c : cases) {
        Regex re;
        EXPECT_EQ(re.compile(c.pattern, false), c.valid) << qmtest::u8(c.pattern);
    }
}

TEST(Regex_Match, TableOfExtents) {
    struct Case {
        const wchar_t* pattern;
        const wchar_t* text;
        bool icase;
        const char* ranges;
    };
    const Case cases[] = {
        {L"a+", L"baaab", false, "(1,3)"},
        {L"a+?", L"baaab", false, "(1,1)(2,1)(3,1)"},
        {L"x*", L"axxb", false, "(0,0)(1,2)(3,0)(4,0)"},
        {L"(a|ab)(c|bcd)", L"abcd", false, "(0,4)"},
        {L"\\bcat\\b", L"concat cat cat5", false, "(7,3)"},
        {L"^a|b$", L"aab", false, "(0,1)(2,1)"},
        {L"STRASSE", L"strasse", true, "(0,7)"},
        {L"[a-c]+", L"xABCx", true, "(1,3)"},
        {L"a{2,3}", L"aaaaaaa", false, "(0,3)(3,3)"},
        {L"a{2,3}?", L"aaaaa", false, "(0,2)(2,2)"},
        // after an empty match the iterator retries a non-empty one at the same place
        {L"(?:|a)*", L"a", false, "(0,0)(0,1)(1,0)"},
        {L".", L"\n\r", false, ""},
        {L"[^]", L"\n", false, "(0,1)"},
        {L"\\W\\S\\D", L"-a_", false, "(0,3)"},
    };
    for (const Case& c : cases) {
        Regex re;
        ASSERT_TRUE(re.compile(c.pattern, c.icase)) << qmtest::u8(c.pattern);
        EXPECT_EQ(show(allMatches(re, c.text)), c.ranges) << qmtest::u8(c.pattern) << " on " << qmtest::u8(c.text);
    }
}

TEST(Regex_Match, NonEmptyMatchesOnly) {
    Regex re;
    ASSERT_TRUE(re.compile(L"x*", false));
    EXPECT_FALSE(re.hasNonEmptyMatch(L"abc", 3));
    EXPECT_TRUE(re.hasNonEmptyMatch(L"abxc", 4));
    EXPECT_EQ(show(allMatches(re, L"xaxx", true)), "(0,1)(2,2)");
}

// (a|b)*c over a long text that holds no c: std::wregex recurses once per character here and
// takes seconds; this matcher must finish on a small stack.
TEST(Regex_Limits, LongTextOnSmallStack) {
    std::wstring text;
    for (int k = 0; k < 20000; ++k) text += (k % 3) ? L'a' : L'b';
    Regex re;
    ASSERT_TRUE(re.compile(L"(a|b)*c", false));
    bool found = true;
    RegexRun run = RegexRun::TooComplex;
    double ms = 0;
    qmtest::runWithStack(256 * 1024, [&] {
        auto t0 = std::chrono::steady_clock::now();
        found = re.hasNonEmptyMatch(text.data(), text.size(), &run);
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    });
    EXPECT_FALSE(found);
    EXPECT_EQ(run, RegexRun::Complete);
    std::printf("[ figure ] (a|b)*c over 20000 characters: %.1f ms\n", ms);
    text += L'c';
    std::vector<TextRange> out;
    qmtest::runWithStack(256 * 1024, [&] { re.findMatches(text.data(), text.size(), 200, true, out); });
    EXPECT_EQ(show(out), "(0,20001)");
}

// A long pattern over a long text needs more work than the matcher allows: it gives up with the
// matches found so far instead of running on.
TEST(Regex_Limits, WorkLimitEndsTheWalk) {
    std::wstring text = L"ab";
    text += std::wstring(20000, L'a');
    Regex re;
    ASSERT_TRUE(re.compile(L"b|a{3000}c", false));
    std::vector<TextRange> out;
    EXPECT_EQ(re.findMatches(text.data(), text.size(), 200, true, out), RegexRun::TooComplex);
    EXPECT_EQ(show(out), "(1,1)");
}

// The work grows with the text, not with its square: (a|b)*c explores the whole rest of the text
// from every start, and only the memory of explored states keeps the later starts short.
TEST(Regex_Limits, WorkGrowsLinearly) {
    struct Case {
        const wchar_t* pattern;
        const wchar_t* unit;  // repeated to make the text
    };
    const Case cases[] = {
        {L"(a|b)*c", L"aab"},
        {L"(?:a|ab)(?:c|bcd)x", L"abcd"},
        {L"[a-c]+?d", L"abc"},
        {L"\\bneedle\\b", L"needles "},
    };
    for (const Case& c : cases) {
        Regex re;
        ASSERT_TRUE(re.compile(c.pattern, true)) << qmtest::u8(c.pattern);
        uint64_t work[2] = {};
        for (int k = 0; k < 2; ++k) {
            std::wstring text;
            while (text.size() < (k ? 40000u : 10000u)) text += c.unit;
            qm::WorkBudget budget(1000000000);
            std::vector<TextRange> out;
            EXPECT_EQ(re.findMatches(text.data(), text.size(), 1, true, out, budget), RegexRun::Complete);
            EXPECT_TRUE(out.empty()) << qmtest::u8(c.pattern);
            work[k] = budget.used();
        }
        std::printf("[ figure ] %s: %llu units for 10000 characters, %llu for 40000\n", qmtest::u8(c.pattern).c_str(),
                    static_cast<unsigned long long>(work[0]), static_cast<unsigned long long>(work[1]));
        EXPECT_LT(work[1], 5 * work[0]) << qmtest::u8(c.pattern);
    }
}

// One budget for many texts: every text is paid from it, a text walked again costs what it cost
// the first time (the memory is left clean between texts), and once it is spent every further
// text stops at once.
TEST(Regex_Budget, SharedAcrossTexts) {
    Regex re;
    ASSERT_TRUE(re.compile(L"(a|b)*c", false));
    std::wstring text(3000, L'a');
    qm::WorkBudget large(1000000000);
    uint64_t walks[3] = {};
    for (uint64_t& walk : walks) {
        const uint64_t before = large.used();
        EXPECT_FALSE(re.hasNonEmptyMatch(text.data(), text.size(), large));
        walk = large.used() - before;
    }
    EXPECT_EQ(walks[1], walks[2]);
    EXPECT_LE(walks[1], walks[0]);  // the first also paid for its memory

    qm::WorkBudget budget(walks[0] + walks[1] + walks[1] / 2);
    RegexRun run = RegexRun::TooComplex;
    for (int k = 0; k < 2; ++k) {
        EXPECT_FALSE(re.hasNonEmptyMatch(text.data(), text.size(), budget, &run));
        EXPECT_EQ(run, RegexRun::Complete) << "walk " << k;
    }
    EXPECT_FALSE(re.hasNonEmptyMatch(text.data(), text.size(), budget, &run));
    EXPECT_EQ(run, RegexRun::TooComplex);
    EXPECT_TRUE(budget.exhausted());
    const std::wstring found = L"xxc";
    EXPECT_FALSE(re.hasNonEmptyMatch(found.data(), found.size(), budget, &run)) << "a spent budget finds nothing more";
    EXPECT_EQ(run, RegexRun::TooComplex);
}

// Generated patterns and texts, each walked with the full memory and again with a memory of a
// few dozen bits shared by all of them (a window of positions that moves through the text, the
// rest in the key table, as a long text gets): the memory is a shortcut, so every match must be
// the same.
TEST(Regex_Differential, SmallMemorySameMatches) {
    static const wchar_t* const pieces[] = {
        L"a", L"b", L"c", L"A", L" ", L".", L"\\w", L"\\W", L"[ab]", L"[^a]", L"\\b", L"^", L"$", L"(", L")",
        L"(?:", L"|", L"*", L"+", L"?", L"*?", L"+?", L"{2}", L"{1,3}", L"{0,}", L"()",
    };
    static const wchar_t alphabet[] = L"aabbcA x-";
    std::mt19937 rng(1207);
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    qm::WorkBudget small(UINT64_MAX);
    small.memoBits = 40;
    int compared = 0;
    for (int round = 0; round < 4000; ++round) {
        // Stacked quantifiers make counts-heavy walks that take long whatever the memory: two at most.
        std::wstring pattern;
        size_t quantifiers = 0;
        for (size_t k = 1 + pick(8); k > 0; --k) {
            const wchar_t* piece = pieces[pick(sizeof pieces / sizeof pieces[0])];
            if (std::wcschr(L"*+?{", piece[0]) && ++quantifiers > 2) continue;
            pattern += piece;
        }
        Regex re;
        if (!re.compile(pattern, round % 2 == 0)) continue;
        for (int t = 0; t < 3; ++t) {
            std::wstring text;
            for (size_t k = pick(t == 2 ? 200 : 30); k > 0; --k) text += alphabet[pick(sizeof alphabet / sizeof alphabet[0] - 1)];
            std::vector<TextRange> full, windowed;
            qm::WorkBudget fresh(UINT64_MAX);
            ASSERT_EQ(re.findMatches(text.data(), text.size(), 1000, false, full, fresh), RegexRun::Complete);
            ASSERT_EQ(re.findMatches(text.data(), text.size(), 1000, false, windowed, small), RegexRun::Complete);
            ASSERT_EQ(show(windowed), show(full)) << "pattern " << qmtest::u8(pattern) << " text \"" << qmtest::u8(text) << "\"";
            ++compared;
        }
    }
    EXPECT_GT(compared, 3000);
}

#ifndef _WIN32
// Generated patterns over a small alphabet, each run over a few short texts, with and without
// case: every match of the iteration (empty ones included) must equal std::wregex's.
TEST(Regex_Differential, SameMatchesAsStdRegex) {
    static const wchar_t* const pieces[] = {
        L"a", L"b", L"c", L"A", L"x", L" ", L"-", L".", L"\\d", L"\\w", L"\\s", L"\\W", L"\\D",
        L"[ab]", L"[^a]", L"[a-c]", L"[B-a]", L"[\\w-]", L"\\b", L"\\B", L"^", L"$", L"(", L")",
        L"(?:", L"|", L"*", L"+", L"?", L"*?", L"+?", L"??", L"{2}", L"{1,2}", L"{0,}", L"{0,1}?",
        L"\\x61", L"\\.", L"()", L"{1,3}", L"{0}", L"a{2,3}",
    };
    static const wchar_t alphabet[] = L"aabbcAB x-_1\n\u00e9\u00c9";
    std::locale loc;
    bool unicode = true;
    try {
        loc = std::locale("C.UTF-8");
    } catch (...) {
        unicode = false;
    }
    std::mt19937 rng(20261207);
    auto pick = [&](size_t n) { return size_t(rng() % n); };
    int compared = 0, refusedBoth = 0;
    for (int round = 0; round < 5000; ++round) {
        // std::wregex backtracks exponentially on stacked quantifiers: at most two.
        std::wstring pattern;
        size_t count = 1 + pick(7), quantifiers = 0;
        for (size_t k = 0; k < count; ++k) {
            const wchar_t* piece = pieces[pick(sizeof pieces / sizeof pieces[0])];
            bool quantifier = std::wcschr(L"*+?{", piece[0]) != nullptr;
            if (quantifier && ++quantifiers > 2) continue;
            pattern += piece;
        }
        bool icase = round % 3 == 0;
        std::wregex std;
        bool stdValid = true;
        try {
            std.imbue(unicode ? loc : std::locale());
            std.assign(pattern, icase ? std::regex_constants::ECMAScript | std::regex_constants::icase
                                      : std::regex_constants::ECMAScript);
        } catch (const std::regex_error&) {
            stdValid = false;
        }
        Regex ours;
        bool ourValid = ours.compile(pattern, icase);
        ASSERT_EQ(ourValid, stdValid) << qmtest::u8(pattern);
        if (!stdValid) {
            ++refusedBoth;
            continue;
        }
        for (int t = 0; t < 4; ++t) {
            std::wstring text;
            size_t len = t < 3 ? pick(11) : pick(40);  // longer texts walk many matches
            size_t alphabetSize = unicode ? 15 : 13;
            for (size_t k = 0; k < len; ++k) text += alphabet[pick(alphabetSize)];
            std::vector<TextRange> expected;
            for (std::wsregex_iterator it(text.begin(), text.end(), std), end; it != end; ++it)
                expected.push_back(TextRange{size_t(it->position(0)), size_t(it->length(0))});
            std::vector<TextRange> got = allMatches(ours, text);
            ASSERT_EQ(show(got), show(expected)) << "pattern " << qmtest::u8(pattern) << (icase ? " (icase)" : "")
                                                 << " text \"" << qmtest::u8(text) << "\"";
            ++compared;
        }
    }
    std::printf("[ figure ] %d (pattern, text) pairs compared, %d patterns refused by both\n", compared, refusedBoth);
    EXPECT_GT(compared, 8000);
}
#pragma GCC diagnostic pop
#endif

}  // namespace
