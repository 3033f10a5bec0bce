// The matching half of the search: how a search text is tested against node names and values,
// the walk over the nodes with one work budget per search, which occurrences the views highlight,
// and which node the views show for a matched one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "shell/regex.h"

namespace qm {

// Search flags: the host's values plus the search box's regular-expression switch.
constexpr unsigned kSearchFindFirst = 1;
constexpr unsigned kSearchMatchCase = 2;
constexpr unsigned kSearchWholeWords = 4;   // plain search only
constexpr unsigned kSearchBackwards = 8;
constexpr unsigned kSearchRegex = 16;

// The work one search may do, in WorkBudget units (a character compared by the plain search is
// one, a step of the regular-expression matcher sixteen or more): about two seconds of the
// costliest matcher steps on an ordinary machine, while a plain search through the largest file
// the viewer loads (512 MiB) stays inside it. A search that spends it all stops and says so.
constexpr uint64_t kSearchWorkUnits = 1000000000;
// Regular-expression occurrences are painted in the first this many characters of a text; the
// search itself tests every character.
constexpr size_t kMaxHighlightRegexLength = 20000;
// At most this many occurrences are found and painted in one text.
constexpr size_t kMaxHighlightRanges = 200;

// The plain search's term, prepared once per search: folded to upper case unless the case
// matters, with the Knuth-Morris-Pratt table of its borders, so that a text is read once from
// start to end whatever the term's length, and an occurrence refused for whole words is left
// without going back in the text.
class PlainPattern {
public:
    static constexpr size_t npos = size_t(-1);

    void prepare(const std::wstring& term, bool matchCase, bool wholeWords);
    size_t size() const { return term_.size(); }
    // The start of the first accepted occurrence at or after `from`, or npos. With a budget every
    // comparison costs a unit; npos also when the budget runs out (budget->exhausted() tells).
    size_t find(const wchar_t* text, size_t length, size_t from, WorkBudget* budget) const;

private:
    wchar_t fold(wchar_t c) const;
    std::wstring term_;               // folded
    std::vector<uint32_t> border_;    // border_[k]: the longest proper border of term_[0, k]
    bool matchCase_ = false;
    bool wholeWords_ = false;
};

// What the last search looked for; the views paint its occurrences while highlightActive is set.
struct HighlightState {
    bool highlightActive = false;
    bool highlightRegex = false;
    bool highlightMatchCase = false;
    bool highlightWholeWords = false;
    std::wstring highlightTerm;
    PlainPattern highlightPattern;  // highlightTerm prepared for plain searching
    Regex highlightExpression;  // the last regular-expression search's; kept by plain searches
};

// Sets the state for a search of `text` with `flags`; with kSearchRegex the text is compiled
// first (case-insensitive unless kSearchMatchCase). An invalid expression turns the highlighting
// off, leaves the rest as it was and returns false.
bool beginHighlight(HighlightState& state, const std::wstring& text, unsigned flags);

// Plain comparison at position p: the term's characters equal the text's one by one, exactly
// with matchCase, otherwise after toUpper of both; with wholeWords the characters around the
// occurrence must not be letters or digits.
bool plainMatchAt(const wchar_t* text, size_t length, size_t p, const std::wstring& term, bool matchCase,
                  bool wholeWords);

enum class TextMatch {
    No,
    Yes,
    Stopped,  // the search's budget ran out before the text was decided
};

// The node search's test of one name or value with the current state, paid from `budget`: a unit
// for the text, then its comparisons or matcher steps.
TextMatch matchText(const HighlightState& state, std::wstring_view text, WorkBudget& budget);
// A node matches when its name or its value does.
TextMatch matchNode(const HighlightState& state, const Node* node, WorkBudget& budget);

// How a search ended, for the host's result and the search box's frame and status text.
enum class SearchOutcome {
    Found,           // a node matched and is selected
    NotFound,        // every node to be searched was tested and none matched
    Stopped,         // the search's work budget ran out first: a match may still exist
    InvalidPattern,  // the regular expression is not valid or uses what the matcher does not offer
    Running,         // a big file's search goes on a slice per timer message; its outcome comes later
};

// Every node but the root, in document order (each node before its children).
std::vector<Node*> documentOrder(const Document& doc);
// The nodes below `top` in document order (`expected`: how many to make room for).
std::vector<Node*> nodesBelow(const Node* top, size_t expected = 0);

struct NodeSearchResult {
    SearchOutcome outcome = SearchOutcome::NotFound;
    Node* match = nullptr;
    size_t tested = 0;  // entries of the list tested
};

// The walk of the node search over `list` from entry `start` (which may lie one outside the list),
// one step forward or backward at a time, until an entry matches, the list ends or the budget runs
// out. With `wrap` the walk then goes on from the other end over the entries it has not yet
// tested, so every entry is tested at most once.
NodeSearchResult searchNodes(const HighlightState& state, const std::vector<Node*>& list, ptrdiff_t start,
                             bool backwards, bool wrap, WorkBudget& budget);

// The node a match reveals. A string that holds JSON and matched by its value (its text holds
// the text searched for) is opened, parsing it if need be (paid from the budget by its length),
// and the first node inside it that matches, in the direction of the search, is revealed
// instead; the string itself when none does (the text spans the JSON's punctuation), and when a
// backward search meets a string opened before (its nodes come after it). Strings
// inside strings are entered the same way. So a search finds text inside embedded JSON whether
// it was opened or not, and each string is parsed at most once.
Node* revealedMatch(Document& doc, const HighlightState& state, Node* match, bool backwards, WorkBudget& budget);

// The walk of the node search kept between slices, so that a big file's search runs a slice per
// timer message. `total` is how many entries the whole walk tests at most.
struct NodeWalk {
    ptrdiff_t start = 0;    // where the first leg began, clamped to the list
    ptrdiff_t next = 0;     // the entry tested next
    size_t total = 0;
    bool backwards = false;
    bool wrap = false;
    bool wrapping = false;  // on the wrap-around leg
    bool done = false;
    NodeSearchResult result;
};
NodeWalk beginNodeWalk(size_t size, ptrdiff_t start, bool backwards, bool wrap);
// How much of a walk one slice does at most: entries tested and work units spent (a node that
// needs more still finishes its test).
struct NodeSlice {
    size_t entries = SIZE_MAX;
    uint64_t units = UINT64_MAX;
};
// findNode's walk a slice at a time: false while entries are left to test; true when it has
// ended, `walk.result` then holding the outcome and the match revealed.
bool continueNodeWalk(Document& doc, const HighlightState& state, const std::vector<Node*>& list, NodeWalk& walk,
                      WorkBudget& budget, const NodeSlice& slice);

// The search as the search box and the host run it: searchNodes, its match revealed by
// revealedMatch. A backward walk goes past a string opened before whose nodes after the start
// hold a match: the forward walk shows those nodes in place of the string, so the backward one
// does not stop at the string either, and a search that began inside it goes on to what lies
// before it rather than back and forth between its nodes.
NodeSearchResult findNode(Document& doc, const HighlightState& state, const std::vector<Node*>& list,
                          ptrdiff_t start, bool backwards, bool wrap, WorkBudget& budget);

// Occurrences of the search in a text, as (start, length) in UTF-16 code units, in order, at most
// `maxRanges` of them; nothing unless highlightActive is set. Regular-expression occurrences only
// within the first kMaxHighlightRegexLength characters. With a budget every comparison and
// matcher step is paid from it (the occurrences found before it ran out are returned); without
// one a regular expression may take kRegexWorkPerText on this text.
std::vector<TextRange> FindHighlightRanges(const HighlightState& state, const wchar_t* text, size_t length,
                                           WorkBudget* budget = nullptr, size_t maxRanges = kMaxHighlightRanges);

// The node the views show for `node`: the only Text or CData child of an Element without
// attributes is represented by that element; every other node by itself.
const Node* DisplayNode(const Node* node);
Node* DisplayNode(Node* node);

}  // namespace qm
