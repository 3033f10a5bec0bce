// Marking the nodes a filter keeps.
#include "shell/filter.h"

namespace qm {

void clearFilterMarks(Document& doc) {
    for (size_t i = 0; i < doc.nodes.size(); ++i) doc.nodes[i].filterMark = 0;
}

FilterCount markFilter(Document& doc, const HighlightState& state, WorkBudget& budget) {
    clearFilterMarks(doc);
    FilterCount count;
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        Node* node = &doc.nodes[i];
        if (node->kind == NodeKind::Root) continue;
        const TextMatch match = matchNode(state, node, budget);
        if (match == TextMatch::Stopped) {
            count.outcome = SearchOutcome::Stopped;
            return count;
        }
        if (match != TextMatch::Yes) continue;
        ++count.matched;
        node->filterMark |= kFilterMatched;
        // Up to the first ancestor marked as holding a match: its own ancestors are marked too.
        for (Node* up = node->parent; up && !(up->filterMark & kFilterHolds); up = up->parent)
            up->filterMark |= kFilterHolds;
    }
    count.outcome = count.matched ? SearchOutcome::Found : SearchOutcome::NotFound;
    return count;
}

}  // namespace qm
