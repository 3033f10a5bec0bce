// Applying and clearing the search box's filter in a plug-in window: marking the nodes, moving
// the selection onto what the filter keeps, and rebuilding the Tree and the Grid.
#include <windows.h>

#include <vector>

#include "shell/filter.h"
#include "shell/mainwindow.h"

namespace qm {

namespace {

// The first matched node in document order, walking only the nodes the filter keeps.
Node* firstMatch(Node* root) {
    std::vector<Node*> stack{root};
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        if (node->filterMark & kFilterMatched) return node;
        if (!(node->filterMark & kFilterHolds)) continue;
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            if (filterKeeps(*it)) stack.push_back(*it);
    }
    return nullptr;
}

void showFilterChange(MainWindow& main) {
    main.gridPane.expansion.filtered = main.filter.active;
    main.treePane.RebuildRows();
    main.treePane.topRow = 0;
    // The grid is built once, when the selection is revealed (or when it is next shown).
    main.gridPane.layout.clear();
    main.gridPane.stale = true;
    main.RevealSelection();
    main.treePane.FindSelectedRow();
    main.treePane.UpdateScrollBar();
    InvalidateRect(main.window, nullptr, FALSE);
    main.RepaintActiveView();
}

}  // namespace

void ApplyFilter(MainWindow& main, const std::wstring& text, unsigned flags) {
    if (!main.document || !main.document->root || text.empty()) return;
    main.chrome.regexError = false;
    if (!beginHighlight(main.highlight, text, flags)) {
        main.chrome.regexError = true;
        main.chrome.searchOutcome = SearchOutcome::InvalidPattern;
        InvalidateRect(main.window, nullptr, FALSE);
        return;
    }
    // The search's budget: however many nodes and however long their texts, the filter ends.
    WorkBudget budget(kSearchWorkUnits);
    const FilterCount count = markFilter(*main.document, main.highlight, budget);
    main.filter.active = true;
    main.filter.matched = count.matched;
    main.filter.text = text;
    main.filter.flags = flags;
    main.chrome.searchFailed = count.matched == 0;
    main.chrome.searchOutcome = count.outcome == SearchOutcome::Stopped ? SearchOutcome::Stopped : SearchOutcome::Found;
    if (!main.selected || !filterKeeps(main.selected) || !(main.selected->filterMark & kFilterMatched)) {
        if (Node* match = firstMatch(main.document->root)) {
            main.lastMatch = match;
            main.SelectNode(match);
        }
    }
    showFilterChange(main);
}

void ClearFilter(MainWindow& main) {
    if (!main.filter.active) return;
    main.filter = MainWindow::FilterState{};
    if (main.document) clearFilterMarks(*main.document);
    main.chrome.searchFailed = false;
    main.chrome.searchOutcome = SearchOutcome::Found;
    // The selection stays where the user left it, revealed in the full tree.
    showFilterChange(main);
}

}  // namespace qm
