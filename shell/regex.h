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
//
// Every step the matcher takes is paid from a WorkBudget, so a search over many texts shares one
// allowance and ends after the same amount of work on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qm {

constexpr size_t kMaxRegexStates = 100000;
// The work a walk over one text may do when the caller gives no budget (the painting of
// occurrences): about a million matcher steps.
constexpr uint64_t kRegexWorkPerText = 20000000;

// Bits of memory the matcher may use to remember explored states (positions times states of a
// text); a text that needs more is remembered a window of positions at a time.
constexpr size_t kRegexMemoBits = size_t(1) << 26;

struct RegexScratch;  // the matcher's working memory (regex.cpp)

// The work one search may do, in units: a character compared by the plain search is one unit, a
// step of the regular-expression matcher several (see regex.cpp). Counted, not timed, so a search
// stops at the same place on every machine and tests can check where.
class WorkBudget {
public:
    explicit WorkBudget(uint64_t units);
    ~WorkBudget();
    WorkBudget(const WorkBudget&) = delete;
    WorkBudget& operator=(const WorkBudget&) = delete;

    // Takes `units`; false, with nothing left, when fewer than that remain.
    bool spend(uint64_t units) {
        if (units > left_) {
            left_ = 0;
            exhausted_ = true;
            return false;
        }
        left_ -= units;
        return true;
    }
    uint64_t left() const { return left_; }
    uint64_t used() const { return limit_ - left_; }
    bool exhausted() const { return exhausted_; }

    // The matcher's working memory, kept from text to text of one search so that a short text
    // costs only what the matcher does in it.
    RegexScratch& scratch();
    // The memory for explored states, kRegexMemoBits unless a test makes it small to walk the
    // windowed path on short texts.
    size_t memoBits = kRegexMemoBits;

private:
    uint64_t limit_;
    uint64_t left_;
    bool exhausted_ = false;
    std::unique_ptr<RegexScratch> scratch_;
};

struct TextRange {
    size_t start = 0;
    size_t length = 0;
    bool operator==(const TextRange& o) const { return start == o.start && length == o.length; }
};

enum class RegexRun : uint8_t {
    Complete,    // every match was visited, or the requested number was reached
    TooComplex,  // the work budget ran out (or memory did): the matches found so far are returned
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
    // `nonEmptyOnly`), stopping once `maxMatches` have been appended. The steps are paid from
    // `budget`; without one the walk may take kRegexWorkPerText.
    RegexRun findMatches(const wchar_t* text, size_t length, size_t maxMatches, bool nonEmptyOnly,
                         std::vector<TextRange>& out, WorkBudget& budget) const;
    RegexRun findMatches(const wchar_t* text, size_t length, size_t maxMatches, bool nonEmptyOnly,
                         std::vector<TextRange>& out) const;

    // True when some non-empty match exists (what the node search asks).
    bool hasNonEmptyMatch(const wchar_t* text, size_t length, WorkBudget& budget, RegexRun* run = nullptr) const;
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
