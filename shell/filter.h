// The search box's filter: which nodes the Tree and the Grid keep while it is on (those whose
// name or value matches, and every node holding one), marked on the nodes themselves so that the
// views ask in constant time and the filter costs no memory beside the document.
#pragma once

#include <cstddef>

#include "document/document.h"
#include "shell/match.h"

namespace qm {

// Bits of Node::filterMark.
constexpr uint8_t kFilterMatched = 1;  // the node's name or value matches
constexpr uint8_t kFilterHolds = 2;    // a node below it matches (the root holds every match)

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

// Whether a filtered view keeps `node`.
inline bool filterKeeps(const Node* node) { return node->filterMark != 0; }
// Whether a filtered view shows what is below `node`.
inline bool filterOpens(const Node* node) { return (node->filterMark & kFilterHolds) != 0; }

}  // namespace qm
