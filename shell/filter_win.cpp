// Applying and clearing the search box's filter in a plug-in window: marking the nodes, moving
// the selection onto what the filter keeps, and rebuilding the Tree and the Grid.
#include <windows.h>

#include <memory>
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
    main.gridPane.FilterChanged(main.filter.active);
    main.treePane.RebuildRows();
    main.treePane.topRow = 0;
    main.RevealSelection();
    main.treePane.FindSelectedRow();
    main.treePane.UpdateScrollBar();
    InvalidateRect(main.window, nullptr, FALSE);
    main.RepaintActiveView();
}

}  // namespace

void ApplyFilter(MainWindow& main, const std::wstring& text, unsigned flags) {
    StopFilter(main);
    if (!main.document || !main.document->root || text.empty()) return;
    main.chrome.regexError = false;
    // The search's budget for all slices: however many nodes and however long their texts, the
    // filter ends.
    auto run = std::make_unique<MainWindow::FilterRun>(kSearchWorkUnits);
    run->highlight = main.highlight;
    if (!beginHighlight(run->highlight, text, flags)) {
        main.highlight.highlightActive = false;
        main.chrome.regexError = true;
        main.chrome.searchOutcome = SearchOutcome::InvalidPattern;
        InvalidateRect(main.window, nullptr, FALSE);
        return;
    }
    run->text = text;
    run->flags = flags;
    run->nodeCount = main.document->nodes.size();
    main.filterRun = std::move(run);
    // The first slice at once: a file of ordinary size is filtered with it.
    ContinueFilter(main);
}

void ContinueFilter(MainWindow& main) {
    using Step = MainWindow::FilterRun::Step;
    MainWindow::FilterRun* run = main.filterRun.get();
    if (!run || run->step == Step::Building) return;
    if (!main.document || main.document->nodes.size() != run->nodeCount) {
        StopFilter(main);
        return;
    }
    if (run->step == Step::Showing) return FinishFilter(main);
    if (run->step == Step::Marking) {
        bool done = markFilterSlice(*main.document, run->highlight, run->pass);
        // A window of no host (none to answer) works it out at once.
        while (!done && !main.window) done = markFilterSlice(*main.document, run->highlight, run->pass);
        run->nodeCount = main.document->nodes.size();  // with the nodes of the strings the slice opened
        const bool first = run->slices++ == 0;
        if (!NextSliceOrDone(main, kFilterTimer, done)) return;
        // The marks are complete. The grid shown is built with them beside it first, a big
        // file's rows a slice per timer message, in messages of their own after a marking that
        // took several; the other views show the filter now.
        run->step = Step::Starting;
        if (!first && main.settings.activeView == kViewGrid) {
            NextSliceOrDone(main, kFilterTimer, false);
            return;
        }
    }
    run->step = Step::Building;
    if (main.gridPane.BuildForFilter()) return;
    run->step = Step::Showing;
    FinishFilter(main);
}

void FilterGridBuilt(MainWindow& main, bool waited) {
    if (!main.filterRun) return;
    main.filterRun->step = MainWindow::FilterRun::Step::Showing;
    if (waited)
        NextSliceOrDone(main, kFilterTimer, false);
    else
        FinishFilter(main);
}

void FinishFilter(MainWindow& main) {
    if (!main.filterRun || main.filterRun->step == MainWindow::FilterRun::Step::Marking) return;
    if (!main.document || main.document->nodes.size() != main.filterRun->nodeCount) {
        StopFilter(main);
        return;
    }
    const std::unique_ptr<MainWindow::FilterRun> finished = std::move(main.filterRun);
    takeFilterMarks(*main.document);
    main.highlight = std::move(finished->highlight);
    const FilterCount& count = finished->pass.count;
    main.filter.active = true;
    main.filter.matched = count.matched;
    main.filter.text = finished->text;
    main.filter.flags = finished->flags;
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

bool StopFilter(MainWindow& main) {
    if (!main.filterRun) return false;
    const bool building = main.filterRun->step == MainWindow::FilterRun::Step::Building;
    main.filterRun.reset();
    if (main.window) KillTimer(main.window, kFilterTimer);
    // The grid being built for it goes too; the one shown stays.
    if (building) main.gridPane.StopBuild();
    main.gridPane.filterBuilt.clear();
    if (main.document) dropFilterMarks(*main.document);
    main.RepaintStatus();
    return true;
}

void ClearFilter(MainWindow& main) {
    StopFilter(main);
    if (!main.filter.active) return;
    main.filter = MainWindow::FilterState{};
    if (main.document) clearFilterMarks(*main.document);
    main.chrome.searchFailed = false;
    main.chrome.searchOutcome = SearchOutcome::Found;
    // The selection stays where the user left it, revealed in the full tree.
    showFilterChange(main);
}

}  // namespace qm
