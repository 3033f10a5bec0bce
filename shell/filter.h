// The search box's filter: which nodes the Tree and the Grid keep while it is on (those whose
// name or value matches, and every node holding one), marked on the nodes themselves so that the
// views ask in constant time and the filter costs no memory beside the document.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/document.h"
#include "shell/match.h"

namespace qm {

// Bits of Node::filterMark.
constexpr uint8_t kFilterMatched = 1;  // the node's name or value matches
constexpr uint8_t kFilterHolds = 2;    // a node below it matches (the root holds every match)
// The same two marks of a filter still being worked out a slice at a time, kept apart from the
// shown ones until it is done, so the views show the filter before it until then.
constexpr uint8_t kFilterNextMatched = 4;
constexpr uint8_t kFilterNextHolds = 8;

struct FilterCount {
    SearchOutcome outcome = SearchOutcome::NotFound;  // Found when something matched; Stopped:
                                                      // the budget ran out and the marks are partial
    size_t matched = 0;                               // nodes whose name or value matches
};

// Marks every node with the search's matchers, paid from `budget` as the search pays: one pass
// over the nodes, and each matched node's ancestors up to the first one marked before, so the
// whole is linear in the document.
FilterCount markFilter(Document& doc, const HighlightState& state, WorkBudget& budget);
// Clears every mark (one pass over the nodes).
void clearFilterMarks(Document& doc);

// The nodes one slice of a filter tests at most, and the budget units it spends at most (about a
// tenth of a second of plain searching on an ordinary machine): a file of a few thousand nodes is
// filtered in one slice, a big one a slice per message, so the host answers in between.
constexpr size_t kFilterSliceNodes = 65536;
constexpr uint64_t kFilterSliceUnits = 8000000;

// A filter worked out a slice at a time into the next marks, with the budget of one search for
// all its slices. The next marks are clear before the first slice and after the last.
struct FilterPass {
    explicit FilterPass(uint64_t units) : budget(units) {}
    WorkBudget budget;
    size_t next = 0;  // the first node not tested yet
    FilterCount count;
};
// Tests the nodes from pass.next on for one slice; true once every node is tested or the budget
// ran out (count.outcome is then final).
bool markFilterSlice(Document& doc, const HighlightState& state, FilterPass& pass);
// The pass is done: its marks become the shown ones (one pass over the nodes).
void takeFilterMarks(Document& doc);
// The pass was stopped: its marks go, the shown ones stay (one pass over the nodes).
void dropFilterMarks(Document& doc);
// How far a pass has come, in percent of the nodes, 0 to 99 while it runs.
int filterProgress(const Document& doc, const FilterPass& pass);

// Whether a filtered view keeps `node`; with `next`, whether the filter being worked out will.
inline bool filterKeeps(const Node* node, bool next = false) {
    return (node->filterMark & (next ? kFilterNextMatched | kFilterNextHolds : kFilterMatched | kFilterHolds)) != 0;
}
// Whether a filtered view shows what is below `node`; with `next`, whether it will.
inline bool filterOpens(const Node* node, bool next = false) {
    return (node->filterMark & (next ? kFilterNextHolds : kFilterHolds)) != 0;
}

}  // namespace qm
