// Fuzz target for the search box's filter: the first byte picks the format and the search flags,
// the next one the search text's length; the search text and then the file (UTF-8) follow. The
// marks say exactly which nodes match (by the search's own matcher) and which hold a match below
// them, and the filtered Tree shows exactly the rows of the fully expanded Tree that the filter
// keeps, in the same order. The rows read on demand are those listed, each found again at its
// index with its parent's row.
#include <algorithm>

#include "fuzz/fuzz.h"
#include "shell/filter.h"
#include "views/tree.h"

using qmfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qmfuzz::SearchedFile input;
    if (!input.read(data, size)) return 0;
    qm::Document& doc = input.doc;
    qm::HighlightState hs;
    if (!input.beginSearch(hs)) return 0;
    qm::WorkBudget budget(qmfuzz::kFuzzSearchUnits);
    const qm::FilterCount count = qm::markFilter(doc, hs, budget);
    if (count.outcome == qm::SearchOutcome::Stopped) return 0;

    // The marks, against the matcher asked node by node and the marks of the children.
    size_t matched = 0;
    std::vector<bool> holds(doc.nodes.size(), false);
    for (size_t i = doc.nodes.size(); i-- > 1;) {
        const qm::Node& n = doc.nodes[i];
        qm::WorkBudget own(qmfuzz::kFuzzSearchUnits);
        const qm::TextMatch answer = qm::matchNode(hs, &n, own);
        if (answer == qm::TextMatch::Stopped) return 0;
        const bool matches = answer == qm::TextMatch::Yes;
        matched += matches;
        check(bool(n.filterMark & qm::kFilterMatched) == matches);
        for (const qm::Node* c : n.children) holds[i] = holds[i] || qm::filterKeeps(c);
        check(bool(n.filterMark & qm::kFilterHolds) == holds[i]);
    }
    check(count.matched == matched);

    qm::ExpandedSet everything;
    qm::expandEverything(doc, everything);
    std::vector<qm::TreeRow> all, filtered;
    qm::buildTreeRows(doc.root, everything, all);
    qm::buildTreeRows(doc.root, everything, filtered, true);
    std::vector<const qm::Node*> kept, shown;
    for (const qm::TreeRow& r : all)
        if (qm::filterKeeps(r.node)) kept.push_back(r.node);
    for (const qm::TreeRow& r : filtered) shown.push_back(r.node);
    check(kept == shown);

    for (bool filter : {false, true}) {
        const std::vector<qm::TreeRow>& listed = filter ? filtered : all;
        qm::TreeRows rows;
        rows.build(doc.root, &everything, filter);
        check(rows.size() == listed.size());
        std::vector<int32_t> open;  // the rows of the holders of the row at hand
        for (size_t i = 0; i < listed.size(); ++i) {
            const qm::TreeRow r = rows[i];
            check(r.node == listed[i].node && r.depth == listed[i].depth && r.expandable == listed[i].expandable);
            check(rows.find(r.node) == int32_t(i));
            open.resize(r.depth);
            check(rows.parentRow(int32_t(i)) == (r.depth ? open.back() : -1));
            open.push_back(int32_t(i));
        }
    }
    return 0;
}
