// Plain and regular-expression matching of the search, the walk over the nodes, highlight ranges
// and display nodes.
#include "shell/match.h"

#include <algorithm>
#include <limits>

#include "document/chars.h"
#include "document/embedded.h"

namespace qm {

bool beginHighlight(HighlightState& state, const std::wstring& text, unsigned flags) {
    bool regex = (flags & kSearchRegex) != 0;
    if (regex) {
        Regex compiled;
        if (!compiled.compile(text, (flags & kSearchMatchCase) == 0)) {
            state.highlightActive = false;
            return false;
        }
        state.highlightExpression = std::move(compiled);
    }
    state.highlightActive = true;
    state.highlightRegex = regex;
    state.highlightMatchCase = (flags & kSearchMatchCase) != 0;
    state.highlightWholeWords = (flags & kSearchWholeWords) != 0;
    state.highlightTerm = text;
    state.highlightPattern.prepare(text, state.highlightMatchCase, state.highlightWholeWords);
    return true;
}

bool plainMatchAt(const wchar_t* text, size_t length, size_t p, const std::wstring& term, bool matchCase,
                  bool wholeWords) {
    size_t n = term.size();
    if (n == 0 || p > length || length - p < n) return false;
    for (size_t k = 0; k < n; ++k) {
        wchar_t a = text[p + k], b = term[k];
        if (a != b && (matchCase || toUpper(a) != toUpper(b))) return false;
    }
    if (wholeWords) {
        if (p > 0 && isAlnum(text[p - 1])) return false;
        if (p + n < length && isAlnum(text[p + n])) return false;
    }
    return true;
}

// ---- plain pattern -------------------------------------------------------------------------

// Two characters are equal without match case when their upper cases are: folding each side once
// makes that an equality of folded units, which the border table needs.
wchar_t PlainPattern::fold(wchar_t c) const { return matchCase_ ? c : toUpper(c); }

void PlainPattern::prepare(const std::wstring& term, bool matchCase, bool wholeWords) {
    matchCase_ = matchCase;
    wholeWords_ = wholeWords;
    term_.resize(term.size());
    for (size_t k = 0; k < term.size(); ++k) term_[k] = fold(term[k]);
    border_.assign(term_.size(), 0);
    uint32_t b = 0;
    for (size_t k = 1; k < term_.size(); ++k) {
        while (b > 0 && term_[k] != term_[b]) b = border_[b - 1];
        if (term_[k] == term_[b]) ++b;
        border_[k] = b;
    }
}

size_t PlainPattern::find(const wchar_t* text, size_t length, size_t from, WorkBudget* budget) const {
    const size_t m = term_.size();
    if (m == 0 || from > length || length - from < m) return npos;
    const uint64_t allowance = budget ? budget->left() : std::numeric_limits<uint64_t>::max();
    uint64_t spent = 0;
    size_t found = npos;
    size_t q = 0;  // term characters matched before position i
    for (size_t i = from; i < length; ++i) {
        const wchar_t c = fold(text[i]);
        while (q > 0 && term_[q] != c) {
            q = border_[q - 1];
            ++spent;
        }
        ++spent;
        if (term_[q] == c) ++q;
        if (q == m) {
            const size_t p = i + 1 - m;
            const bool refused = wholeWords_ && ((p > 0 && isAlnum(text[p - 1])) || (i + 1 < length && isAlnum(text[i + 1])));
            if (!refused) {
                found = p;
                break;
            }
            q = border_[m - 1];
        }
        if (spent > allowance) break;
    }
    if (budget && !budget->spend(spent)) return npos;
    return found;
}

// ---- node search ---------------------------------------------------------------------------

TextMatch matchText(const HighlightState& state, std::wstring_view text, WorkBudget& budget) {
    if (!budget.spend(1)) return TextMatch::Stopped;
    if (state.highlightRegex) {
        if (text.empty()) return TextMatch::No;
        RegexRun run = RegexRun::Complete;
        if (state.highlightExpression.hasNonEmptyMatch(text.data(), text.size(), budget, &run)) return TextMatch::Yes;
        return run == RegexRun::TooComplex ? TextMatch::Stopped : TextMatch::No;
    }
    if (state.highlightPattern.find(text.data(), text.size(), 0, &budget) != PlainPattern::npos) return TextMatch::Yes;
    return budget.exhausted() ? TextMatch::Stopped : TextMatch::No;
}

TextMatch matchNode(const HighlightState& state, const Node* node, WorkBudget& budget) {
    TextMatch m = matchText(state, node->name, budget);
    if (m != TextMatch::No) return m;
    return matchText(state, node->value, budget);
}

std::vector<Node*> documentOrder(const Document& doc) { return nodesBelow(doc.root, nodeCount(doc)); }

std::vector<Node*> nodesBelow(const Node* top, size_t expected) {
    std::vector<Node*> list;
    list.reserve(expected);
    std::vector<Node*> stack(top->children.rbegin(), top->children.rend());
    while (!stack.empty()) {
        Node* n = stack.back();
        stack.pop_back();
        list.push_back(n);
        stack.insert(stack.end(), n->children.rbegin(), n->children.rend());
    }
    return list;
}

NodeWalk beginNodeWalk(size_t size, ptrdiff_t start, bool backwards, bool wrap) {
    NodeWalk walk;
    // A start beyond the end walked towards leaves nothing for the first leg; one beyond the other
    // end starts there.
    const ptrdiff_t n = ptrdiff_t(size);
    walk.start = backwards ? std::max<ptrdiff_t>(-1, std::min(start, n - 1)) : std::max<ptrdiff_t>(0, std::min(start, n));
    walk.next = walk.start;
    walk.backwards = backwards;
    walk.wrap = wrap;
    walk.total = size_t(backwards ? walk.start + 1 : n - walk.start);
    if (wrap) walk.total = size;
    return walk;
}

namespace {

// A slice of the walk; a matching entry ends it only when `accept(i, start)` says so (`start` as
// the walk clamped it), else the walk goes on past it. The first leg runs from start to the end
// it walks towards; the wrap-around leg from the other end up to, not including, start.
template <class Accept>
bool stepNodes(const HighlightState& state, const std::vector<Node*>& list, NodeWalk& w, WorkBudget& budget,
               const NodeSlice& slice, Accept accept) {
    const ptrdiff_t size = ptrdiff_t(list.size());
    const ptrdiff_t step = w.backwards ? -1 : 1;
    const uint64_t units = budget.left();
    size_t tested = 0;
    while (!w.done) {
        const ptrdiff_t stop = w.wrapping ? w.start : (w.backwards ? -1 : size);
        if (w.next == stop) {
            if (w.wrapping || !w.wrap) {
                w.done = true;  // the outcome stays NotFound
                break;
            }
            w.wrapping = true;
            w.next = w.backwards ? size - 1 : 0;
            continue;
        }
        if (tested == slice.entries || units - budget.left() >= slice.units) return false;
        ++tested;
        ++w.result.tested;
        const ptrdiff_t i = w.next;
        w.next += step;
        TextMatch m = matchNode(state, list[size_t(i)], budget);
        if (m == TextMatch::Yes && !accept(i, w.start)) m = budget.exhausted() ? TextMatch::Stopped : TextMatch::No;
        if (m == TextMatch::Stopped) {
            w.result.outcome = SearchOutcome::Stopped;
            w.done = true;
        } else if (m == TextMatch::Yes) {
            w.result.outcome = SearchOutcome::Found;
            w.result.match = list[size_t(i)];
            w.done = true;
        }
    }
    return true;
}

}  // namespace

NodeSearchResult searchNodes(const HighlightState& state, const std::vector<Node*>& list, ptrdiff_t start,
                             bool backwards, bool wrap, WorkBudget& budget) {
    NodeWalk walk = beginNodeWalk(list.size(), start, backwards, wrap);
    stepNodes(state, list, walk, budget, NodeSlice{}, [](ptrdiff_t, ptrdiff_t) { return true; });
    return walk.result;
}

Node* revealedMatch(Document& doc, const HighlightState& state, Node* match, bool backwards, WorkBudget& budget) {
    while (match && holdsEmbeddedJson(match)) {
        if (matchText(state, match->name, budget) != TextMatch::No) break;  // the key matched: the string is the match
        if (awaitsOpening(match)) {
            if (!budget.spend(match->value.size()) || !openEmbedded(doc, match).empty()) break;
        } else if (backwards) {
            break;  // its nodes follow it in document order: findNode has looked at them
        }
        const std::vector<Node*> inside = nodesBelow(textHolder(match));
        const NodeSearchResult found =
            searchNodes(state, inside, backwards ? ptrdiff_t(inside.size()) - 1 : 0, backwards, false, budget);
        if (found.outcome != SearchOutcome::Found) break;
        match = found.match;
    }
    return match;
}

bool continueNodeWalk(Document& doc, const HighlightState& state, const std::vector<Node*>& list, NodeWalk& walk,
                      WorkBudget& budget, const NodeSlice& slice) {
    const bool backwards = walk.backwards;
    // Backwards, a string opened before stands for the matches among its nodes, which follow it in
    // the list: those at or before the start were tested on the way here, so only the ones after
    // the start (when the walk began inside the string) are left to look at.
    auto accept = [&](ptrdiff_t i, ptrdiff_t first) {
        Node* string = list[size_t(i)];
        if (!backwards || !holdsEmbeddedJson(string) || !embeddedOpen(string) || i > first) return true;
        if (matchText(state, string->name, budget) != TextMatch::No) return true;
        const std::vector<Node*> inside = nodesBelow(textHolder(string));
        const ptrdiff_t untested = first - i;
        if (untested >= ptrdiff_t(inside.size())) return true;
        return searchNodes(state, inside, untested, false, false, budget).outcome != SearchOutcome::Found;
    };
    if (!stepNodes(state, list, walk, budget, slice, accept)) return false;
    if (walk.result.outcome == SearchOutcome::Found)
        walk.result.match = revealedMatch(doc, state, walk.result.match, backwards, budget);
    return true;
}

NodeSearchResult findNode(Document& doc, const HighlightState& state, const std::vector<Node*>& list,
                          ptrdiff_t start, bool backwards, bool wrap, WorkBudget& budget) {
    NodeWalk walk = beginNodeWalk(list.size(), start, backwards, wrap);
    continueNodeWalk(doc, state, list, walk, budget, NodeSlice{});
    return walk.result;
}

// ---- highlighting --------------------------------------------------------------------------

std::vector<TextRange> FindHighlightRanges(const HighlightState& state, const wchar_t* text, size_t length,
                                           WorkBudget* budget, size_t maxRanges) {
    std::vector<TextRange> ranges;
    if (!state.highlightActive || length < 1) return ranges;
    if (!state.highlightRegex) {
        const PlainPattern& pattern = state.highlightPattern;
        size_t from = 0;
        while (ranges.size() < maxRanges) {
            const size_t p = pattern.find(text, length, from, budget);
            if (p == PlainPattern::npos) break;
            ranges.push_back(TextRange{p, pattern.size()});
            from = p + pattern.size();  // occurrences do not overlap
        }
        return ranges;
    }
    // A matcher that gives up keeps the ranges it found, as the painting wants. Beyond the cut an
    // occurrence reaching it may be longer than it looks, so it is left out.
    const size_t cut = std::min(length, kMaxHighlightRegexLength);
    if (budget)
        state.highlightExpression.findMatches(text, cut, maxRanges, true, ranges, *budget);
    else
        state.highlightExpression.findMatches(text, cut, maxRanges, true, ranges);
    if (cut < length && !ranges.empty() && ranges.back().start + ranges.back().length == cut) ranges.pop_back();
    return ranges;
}

const Node* DisplayNode(const Node* node) {
    if (node && (node->kind == NodeKind::Text || node->kind == NodeKind::CData)) {
        const Node* parent = node->parent;
        if (parent && parent->kind == NodeKind::Element && parent->attributeCount == 0 && parent->children.size() == 1)
            return parent;
    }
    return node;
}

Node* DisplayNode(Node* node) { return const_cast<Node*>(DisplayNode(static_cast<const Node*>(node))); }

}  // namespace qm
