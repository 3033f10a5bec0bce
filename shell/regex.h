// The regular-expression matcher of the search: the ECMAScript syntax a user types into the search
// box, compiled into a small automaton and run without recursion.
//
// It finds the same matches as the standard library's std::wregex (ECMAScript grammar, libstdc++)
// on every pattern both accept: leftmost match first, and among the matches at that position the
// one a backtracking matcher reaches first (greedy and lazy quantifiers, alternatives left to
// right, the same treatment of quantified sub-expressions that can match the empty string). Unlike
// std::wregex it never recurses per character and remembers the states it has already explored,
// so the time grows linearly with the text. Back-references and look-aheads are refused, as are
// the POSIX bracket forms [[:alpha:]], [[.a.]] and [[=a=]]; a pattern that would need more than
// kMaxRegexStates states is refused as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

constexpr size_t kMaxRegexStates = 100000;

struct TextRange {
    size_t start = 0;
    size_t length = 0;
    bool operator==(const TextRange& o) const { return start == o.start && length == o.length; }
};

enum class RegexRun : uint8_t {
    Complete,    // every match was visited, or the requested number was reached
    TooComplex,  // the work limit was reached: the matches found so far are returned
};

class Regex {
public:
    // Compiles `pattern`; false (and an empty automaton) when it is not a valid expression or uses
    // what this matcher does not support. Case-insensitive compares characters after toLower.
    bool compile(const std::wstring& pattern, bool ignoreCase);
    bool valid() const { return !states_.empty(); }

    // Walks the matches of the expression over text[0, length) as a regular-expression iterator
    // does: after an empty match the next one is first tried non-empty at the same position, then
    // searched from the following position. Appends each match to `out` (empty ones only unless
    // `nonEmptyOnly`), stopping once `maxMatches` have been appended.
    RegexRun findMatches(const wchar_t* text, size_t length, size_t maxMatches, bool nonEmptyOnly,
                         std::vector<TextRange>& out) const;

    // True when some non-empty match exists (what the node search asks).
    bool hasNonEmptyMatch(const wchar_t* text, size_t length, RegexRun* run = nullptr) const;

    enum class Op : uint8_t { Char, Any, Set, Alternative, Repeat, LineBegin, LineEnd, WordBoundary, NotWordBoundary, Accept, Jump };
    struct State {
        Op op = Op::Jump;
        bool lazy = false;       // Repeat: try leaving before another round
        int32_t next = -1;       // following state
        int32_t alt = -1;        // Alternative: the left branch; Repeat: the body
        uint32_t arg = 0;        // Char: the (translated) character; Set: index into sets_
    };
    struct CharSet {
        bool negated = false;
        std::vector<wchar_t> chars;                          // translated, sorted
        std::vector<std::pair<wchar_t, wchar_t>> ranges;
        uint8_t classes = 0;     // kDigit | kSpace | kWord
        uint8_t negClasses = 0;  // \D \S \W inside brackets, one bit each
    };

private:
    friend struct RegexCompiler;
    friend struct RegexRunner;
    std::vector<State> states_;
    std::vector<CharSet> sets_;
    std::vector<int32_t> countedRepeats_;  // repeats whose body can match the empty string
    int32_t start_ = -1;
    bool ignoreCase_ = false;
};

}  // namespace qm
