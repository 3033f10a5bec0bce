// Marking the nodes a filter keeps.
#include "shell/filter.h"

#include <algorithm>
#include <cstdint>

#include "document/embedded.h"

namespace qm {

void clearFilterMarks(Document& doc) {
    for (size_t i = 0; i < doc.nodes.size(); ++i) doc.nodes[i].filterMark = 0;
}

namespace {

// Marks the nodes from `from` on with `matched`, and their ancestors with `holds`, until every
// node is tested, `nodes` are, or the slice's units are spent; the position reached, or
// SIZE_MAX when the budget ran out.
size_t markNodes(Document& doc, const HighlightState& state, WorkBudget& budget, size_t from, size_t nodes,
                 uint64_t units, uint8_t matched, uint8_t holds, FilterCount& count) {
    const uint64_t stopAt = budget.used() + units;
    size_t i = from;
    for (; i < doc.nodes.size() && i - from < nodes && budget.used() < stopAt; ++i) {
        Node* node = &doc.nodes[i];
        // The root, and the nodes a string dropped when its text was edited (no longer in the tree).
        if (node->kind == NodeKind::Root || !node->parent) continue;
        TextMatch match = matchText(state, node->name, budget);
        const bool byName = match == TextMatch::Yes;
        if (match == TextMatch::No) match = matchText(state, node->value, budget);
        if (match == TextMatch::Stopped) return SIZE_MAX;
        if (match != TextMatch::Yes) continue;
        ++count.matched;
        node->filterMark |= matched;
        // Up to the first ancestor marked as holding a match: its own ancestors are marked too.
        for (Node* up = node->parent; up && !(up->filterMark & holds); up = up->parent) up->filterMark |= holds;
        // A string whose text matches and holds JSON is opened (paid by its length, as the search
        // pays): its nodes go to the end of the store, so this pass tests them too, and the views
        // show the string open on its own matches. Each string is parsed once.
        if (!byName && awaitsOpening(node) && budget.spend(node->value.size())) openEmbedded(doc, node);
    }
    return i;
}

void finishCount(FilterCount& count, bool stopped) {
    count.outcome = stopped ? SearchOutcome::Stopped : count.matched ? SearchOutcome::Found : SearchOutcome::NotFound;
}

}  // namespace

FilterCount markFilter(Document& doc, const HighlightState& state, WorkBudget& budget) {
    clearFilterMarks(doc);
    FilterCount count;
    const size_t reached =
        markNodes(doc, state, budget, 0, SIZE_MAX, UINT64_MAX - budget.used(), kFilterMatched, kFilterHolds, count);
    finishCount(count, reached == SIZE_MAX);
    return count;
}

bool markFilterSlice(Document& doc, const HighlightState& state, FilterPass& pass) {
    const size_t reached = markNodes(doc, state, pass.budget, pass.next, kFilterSliceNodes, kFilterSliceUnits,
                                     kFilterNextMatched, kFilterNextHolds, pass.count);
    const bool stopped = reached == SIZE_MAX;
    pass.next = stopped ? doc.nodes.size() : reached;
    if (pass.next < doc.nodes.size()) return false;
    finishCount(pass.count, stopped);
    return true;
}

void takeFilterMarks(Document& doc) {
    for (size_t i = 0; i < doc.nodes.size(); ++i) doc.nodes[i].filterMark = static_cast<uint8_t>(doc.nodes[i].filterMark >> 2);
}

void dropFilterMarks(Document& doc) {
    for (size_t i = 0; i < doc.nodes.size(); ++i) doc.nodes[i].filterMark &= kFilterMatched | kFilterHolds;
}

int filterProgress(const Document& doc, const FilterPass& pass) {
    if (doc.nodes.empty()) return 0;
    return static_cast<int>(std::min<uint64_t>(99, uint64_t(pass.next) * 100 / doc.nodes.size()));
}

}  // namespace qm
