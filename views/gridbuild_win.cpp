// The grid view's expansion and builds: "Expand all", "Collapse all", "Expand subtree", a switch
// to the grid and the filter's grid built beside the grid shown a slice per timer message, a
// toggle, and the sorts of record tables (big ones worked out a slice at a time).
#include <utility>

#include "document/embedded.h"
#include "shell/mainwindow.h"
#include "views/grid_win.h"
#include "views/viewwindow_win.h"

namespace qm {

void GridPane::ExpandAll(bool expand) {
    StopBuild();
    DropFilterLayout();
    const Document* doc = mainWindow->document.get();
    GridExpansion next = expansion;
    if (doc)
        expandAllGrid(*doc, expand, next);
    else
        next = GridExpansion{};
    // Under the filter too the new grid is built beside the one shown, showing what the filter keeps.
    if (!doc || stale || !layout.root || !Shown()) {
        DropBulkLayout();
        expansion = std::move(next);
        Rebuild();
        KeepSelectionShown(expand);
        return;
    }
    // The grid kept from before the last bulk action, when it was built with these sets.
    if (beforeBulk.kept && beforeBulk.nodeCount == doc->nodes.size() && beforeBulk.nodes == next.nodes &&
        beforeBulk.groups == next.groups && beforeBulk.sorts == next.sorts) {
        ShowBulkLayout(beforeBulk.layout, std::move(next), expand);
        return;
    }
    StartBuild(std::move(next), expand, false);
}

bool GridPane::BuildBeforeShowing() {
    if (buildRun && buildRun->switching) return true;
    if (!stale || !mainWindow->document) return false;
    StopBuild();
    GridExpansion same = expansion;
    return StartBuild(std::move(same), false, true);
}

bool GridPane::BuildForFilter() {
    if (!Shown() || !mainWindow->document) return false;
    StopBuild();
    GridExpansion next = expansion;
    next.filtered = true;
    next.nextFilter = true;
    StartBuild(std::move(next), false, false, true);
    return true;
}

bool GridPane::StartBuild(GridExpansion&& next, bool expand, bool switching, bool filtering, bool subtree) {
    // A new grid beside the one shown: its boxes are built at once (the tables of many rows build
    // them later, those of many cells in the pass), the rows of its tables sized a slice at a time. The first slice ends when a
    // slice's time since the action began is over.
    const long long deadline = counterAfter(counterNow(), buildSliceSeconds);
    auto run = std::make_unique<BuildRun>();
    run->expand = expand;
    run->switching = switching;
    run->filtering = filtering;
    run->subtree = subtree;
    run->builds = builds;
    run->expansion = std::move(next);
    run->expansion.document = mainWindow->document.get();
    run->layout.textKey = localeSortKey;
    // A table of a few records with a hundred thousand members each has its rows built by the
    // pass too, a part of a row a slice.
    run->layout.passCellsAbove = kGridBuildStepBoxes;
    // A big sorted table's records are put in order by the pass as well: a text column's sort
    // works out a collation key per row.
    run->layout.passSorts = true;
    {
        SelectObjectGuard font(measureContext, mainWindow->palette.contentFont);
        ReadTextBound();
        buildGrid(mainWindow->document->root, run->expansion, run->layout);
        run->pass = std::make_unique<GridLayoutPass>(run->layout, Metrics());
    }
    buildRun = std::move(run);
    BuildSlice(deadline);
    return buildRun != nullptr;
}

void GridPane::ContinueBuild() { BuildSlice(counterAfter(counterNow(), buildSliceSeconds)); }

void GridPane::BuildSlice(long long deadline) {
    BuildRun* run = buildRun.get();
    if (!run) return;
    // The grid was built again since it started (a toggle, an edit, the filter): the sets it
    // would show are not the user's any more.
    if (run->builds != builds) {
        StopBuild();
        return;
    }
    bool done;
    {
        SelectObjectGuard font(measureContext, mainWindow->palette.contentFont);
        // Without a window there is no timer: the whole build in this message.
        done = run->pass->Step(kGridBuildStepBoxes);
        while (!done && (!mainWindow->window || (counterNow() < deadline && !HIWORD(GetQueueStatus(QS_INPUT)))))
            done = run->pass->Step(kGridBuildStepBoxes);
        if (done) run->pass->Finish();
    }
    if (!NextSliceOrDone(*mainWindow, kGridBuildTimer, done)) {
        run->waited = true;
        return;
    }
    const std::unique_ptr<BuildRun> finished = std::move(buildRun);
    if (finished->filtering) {
        swapGridLayouts(filterBuilt, finished->layout);
        filterBuilt.expansion = &expansion;
        filterBuiltAt = builds;
        FilterGridBuilt(*mainWindow, finished->waited);
        return;
    }
    if (finished->subtree) {
        swapGridLayouts(layout, finished->layout);
        DropBulkLayout();
        expansion.nodes = std::move(finished->expansion.nodes);
        expansion.groups = std::move(finished->expansion.groups);
        layout.expansion = &expansion;
        ++builds;
        stale = false;
        UpdateScrollBars();
        Repaint();
        RevealNode(mainWindow->selected);
        return;
    }
    if (!finished->switching) {
        ShowBulkLayout(finished->layout, std::move(finished->expansion), finished->expand);
        return;
    }
    // The grid the switch waited for: the one a build in one go makes, with the same sets.
    swapGridLayouts(layout, finished->layout);
    expansion.document = mainWindow->document.get();
    layout.expansion = &expansion;
    stale = false;
    UpdateScrollBars();
    if (finished->waited) mainWindow->SwitchView(kViewGrid);
}

bool GridPane::StopBuild() {
    if (!buildRun) return false;
    const bool filtering = buildRun->filtering;
    buildRun.reset();
    if (mainWindow->window) KillTimer(mainWindow->window, kGridBuildTimer);
    mainWindow->RepaintStatus();
    // The filter waited for this grid (Escape stopped the filter before): it is shown now, its
    // grid built in one go when shown.
    if (filtering) FinishFilter(*mainWindow);
    return true;
}

void GridPane::ShowBulkLayout(GridLayout& fresh, GridExpansion&& next, bool expand) {
    GridLayout shown;
    swapGridLayouts(layout, shown);
    swapGridLayouts(layout, fresh);  // `fresh` may be the one kept aside: it is empty now
    DropBulkLayout();
    swapGridLayouts(beforeBulk.layout, shown);
    beforeBulk.nodes = std::move(expansion.nodes);
    beforeBulk.groups = std::move(expansion.groups);
    beforeBulk.sorts = expansion.sorts;
    beforeBulk.nodeCount = mainWindow->document ? mainWindow->document->nodes.size() : 0;
    beforeBulk.kept = true;
    expansion.nodes = std::move(next.nodes);
    expansion.groups = std::move(next.groups);
    layout.expansion = &expansion;
    ++builds;
    stale = false;
    UpdateScrollBars();
    Repaint();
    KeepSelectionShown(expand);
}

void GridPane::KeepSelectionShown(bool expand) {
    MainWindow& main = *mainWindow;
    if (!expand && main.selected) main.SelectNode(gridShownAncestor(main.selected, expansion));
    RevealNode(main.selected);
}

void GridPane::ExpandSubtree(const Node* node) {
    mainWindow->OpenEmbedded(const_cast<Node*>(node));  // as in the tree
    StopBuild();
    GridExpansion next = expansion;
    expandGridSubtree(node, next);
    if (stale || !layout.root || !Shown() || !mainWindow->document) {
        expansion = std::move(next);
        Relayout();
        return;
    }
    // Built beside the grid shown, a slice per timer message, as "Expand all" is: the subtree of
    // the top-level node of a big file is all of it.
    DropSavedLayout();
    StartBuild(std::move(next), true, false, false, true);
}

void GridPane::Toggle(uint8_t toggle, const Node* toggleKey) {
    if (toggle == kToggleNode && awaitsOpening(toggleKey)) {
        expansion.nodes.erase(toggleKey);  // a string edited since it was last open
        if (!mainWindow->OpenEmbedded(const_cast<Node*>(toggleKey))) {
            Relayout();  // its text is no JSON: the toggle goes
            return;
        }
    }
    toggleGrid(toggle, toggleKey, expansion);
    NoteFilteredToggle(toggle, toggleKey);
    RebuildAround({{toggle, toggleKey}});
}

void GridPane::SortTable(const GridBox& table, int32_t column, bool reveal) {
    StopSort();
    if (!tableHolder(table).toggleKey) return;
    const GridSortKey next = nextTableSort(table, column, expansion);
    // A laid-out table only moves its rows, in an order worked out first: a big one a slice per
    // timer message, the status bar saying how far it came, and Escape leaves it as it was.
    if (next.column >= 0 && !stale && layout.root && Shown() && tableRowsSized(table)) {
        sortRun = std::make_unique<SortRun>(*table.frame, next, builds, reveal, layout.textKey);
        ContinueSort();
        return;
    }
    ApplySort(table, column, next, nullptr);
    if (reveal) mainWindow->RevealSelection();
}

void GridPane::ApplySort(const GridBox& table, int32_t column, const GridSortKey& sort,
                         const std::vector<uint32_t>* order) {
    const GridTableHolder holder = tableHolder(table);
    setTableSort(table, sort, expansion);
    NoteFilteredToggle(holder.toggle, holder.toggleKey);
    // Sorting only moves rows: a laid-out table keeps every box and size, and is placed again.
    if (!stale && layout.root && Shown() && reorderTableRows(const_cast<GridBox&>(table), sort, layout.textKey, order)) {
        // The clicked header gained or lost its arrow: its table is measured again from the
        // sizes its rows keep, as after a dragged column edge.
        markColumnResized(layout, table.frame->key, column);
        {
            SelectObjectGuard font(measureContext, mainWindow->palette.contentFont);
            relayOutGrid(layout, Metrics());
        }
        UpdateScrollBars();
        Repaint();
        return;
    }
    RebuildAround({{holder.toggle, holder.toggleKey}});
}

GridPane::SortRun::SortRun(const GridFrame& f, const GridSortKey& sort, uint64_t builds, bool reveal,
                           const GridTextKey& textKey)
    : key(f.key), sort(sort), builds(builds), reveal(reveal), columns(tableColumns(f)),
      pass(recordsInDocumentOrder(f), columns, sort.column, sort.descending, textKey) {}

void GridPane::ContinueSort() {
    SortRun* run = sortRun.get();
    if (!run) return;
    // The boxes were built again since it started: the table it sorts may hold other rows.
    if (run->builds != builds) {
        StopSort();
        return;
    }
    const HWND timerWindow = mainWindow->window;
    bool done = run->pass.Step(kSortSliceRows, kSortSliceTexts);
    while (!done && !timerWindow) done = run->pass.Step(kSortSliceRows, kSortSliceTexts);
    if (!NextSliceOrDone(*mainWindow, kSortTimer, done)) return;
    const std::unique_ptr<SortRun> finished = std::move(sortRun);
    const std::vector<uint32_t> order = finished->pass.Order();
    if (const GridBox* table = FindTable(finished->key)) ApplySort(*table, finished->sort.column, finished->sort, &order);
    if (finished->reveal) mainWindow->RevealSelection();
}

bool GridPane::StopSort() {
    if (!sortRun) return false;
    sortRun.reset();
    if (mainWindow->window) KillTimer(mainWindow->window, kSortTimer);
    mainWindow->RepaintStatus();
    return true;
}

bool GridPane::SelectedColumn(const GridBox*& table, int32_t& column) const {
    const Node* node = mainWindow->selected;
    table = TableHolding(node);
    if (!table || !table->frame->key) return false;
    const GridFrame& f = *table->frame;
    // A table's records share one parent (the array, or the element holding the group).
    const Node* record = node;
    while (record && record->parent != f.key->parent) record = record->parent;
    if (!record || record == node) return false;
    column = RecordColumns(f.rows, static_cast<size_t>(f.columnCount), f.key->kind == NodeKind::Object).columnOf(record, node);
    return column >= 0;
}

bool GridPane::SortBySelectedColumn() {
    const GridBox* table = nullptr;
    int32_t column = -1;
    if (!SelectedColumn(table, column)) return false;
    SortTable(*table, column, true);
    return true;
}

}  // namespace qm
