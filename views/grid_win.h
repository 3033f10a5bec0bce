// The grid view window ("QuillmapGrid"): the document as nested tables, drawn by hand. Its
// state, GridPane, is embedded in the MainWindow; the selection is the main window's. The boxes
// are built only while the grid is shown or asked for one (a reveal, the editor's rectangle):
// a document shown in another view costs the grid nothing.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "views/grid.h"

namespace qm {

// A slice of a grid built in slices (GridPane::BuildRun) sizes rows a step of about this many
// boxes built aside at a time until it has run this long or input waits: a few long messages
// rather than many short ones, each of which ends with the timer's wait.
constexpr size_t kGridBuildStepBoxes = 32768;
constexpr double kGridBuildSliceSeconds = 0.07;

struct MainWindow;

struct GridPane {
    MainWindow* mainWindow = nullptr;
    HWND window = nullptr;
    GridExpansion expansion;       // expandedNodes and expandedGroups
    GridColumnWidths columnWidths; // the widths the user dragged, in DIPs
    struct Drag {
        const Node* key = nullptr;
        int32_t column = 0;
        int left = 0;  // left edge of the dragged column, content pixels
    } drag;
    bool dragging = false;
    // While the grid's context menu is open: the record table it was opened on (by the mouse, or
    // the one holding the selection), named by its first record; null otherwise.
    const Node* menuTableKey = nullptr;
    // The last button-down toggled a chevron: the double-click that may follow is the second
    // half of that one click, not a toggle of its own.
    bool expanderClicked = false;
    // A selection nested deeper than the grid goes (standInFor) is shown by the row or "…" cell
    // of its deepest ancestor the grid shows (standIn).
    const Node* standInFor = nullptr;
    const Node* standIn = nullptr;
    GridLayout layout;
    // While the search box's filter is on: the boxes of the full grid as the filter found them,
    // shown again when it goes instead of building and measuring every table afresh, and the
    // toggles and sorts made under the filter, built again into them then. Anything else that
    // would have built the grid again (an edit, Expand all, a font, a dragged width) drops them.
    struct SavedLayout {
        GridLayout layout;
        int scrollX = 0, scrollY = 0;
        size_t nodeCount = 0;  // the document's: a string opened since added nodes to it
        std::vector<GridToggleKey> toggles;
        bool kept = false;
    } saved;
    // The boxes of the grid as they were before the last "Expand all" or "Collapse all", with the
    // sets and sorts they were built with: the next one that gives the same sets (Collapse all
    // after Expand all, and back) shows them again instead of building and measuring every table
    // afresh. Whatever else would build the grid again (an edit, the filter, a font, a dragged
    // width, a string opened) drops them.
    struct BulkLayout {
        GridLayout layout;
        GridNodeSet nodes, groups;
        GridSortKeys sorts;
        size_t nodeCount = 0;
        bool kept = false;
    } beforeBulk;
    // Created by the main window with the grid window; owned and deleted by the pane. The content
    // font is selected into it while a layout measures.
    HDC measureContext = nullptr;
    int scrollX = 0, scrollY = 0;
    int32_t wheelRemainder = 0;
    // The boxes no longer match the document, the sets or the widths; they are built again when
    // the grid is shown or asked.
    bool stale = true;
    GridMeasureCache measureCache{[this](std::wstring_view text) { return MeasureWithContext(text); }};
    // The content font's character widths, read once per font; until then nothing is skipped.
    GridTextBound textBound;

    GridPane() = default;
    ~GridPane();
    GridPane(const GridPane&) = delete;
    GridPane& operator=(const GridPane&) = delete;

    // A new document: sets and widths emptied, the top level open, scrolled to the top.
    void ResetForDocument();
    // Drops every box and pointer into the document, before the document goes.
    void ForgetDocument();
    void ExpandAll(bool expand);
    void ExpandSubtree(const Node* node);
    void RevealNode(const Node* node);
    // Discards the boxes; builds them again at once while the grid is shown.
    void Relayout();
    // The search box's filter came, changed or went (expansion.filtered says which now): the
    // boxes go, and the full grid's are kept aside while it is on and shown again after it. The
    // grid built for it beside the one shown (BuildForFilter), when complete, is shown at once.
    void FilterChanged(bool filtered);
    // The font or DPI changed: measured widths are forgotten as well.
    void AppearanceChanged();
    void ClearColumnWidths();
    // A dragged width was set or removed: the boxes stay, only the table of that column and the
    // boxes holding it are measured again; all are placed.
    void ColumnWidthChanged(const Node* key, int32_t column);
    size_t ColumnWidthCount() const { return columnWidths.size(); }
    const GridBox* FindLeafBox(const Node* node, const Node* alternative);
    // The built record table named by `key` (its first record), or null.
    const GridBox* FindTable(const Node* key) const;
    // The innermost built record table one of whose records holds `node`, or null.
    const GridBox* TableHolding(const Node* node) const;
    void Toggle(uint8_t toggle, const Node* toggleKey);
    // A click on a record table's column header: sorts it by that column the next way and builds
    // again only that table (with `reveal`, the selection is revealed after).
    void SortTable(const GridBox& table, int32_t column, bool reveal = false);
    // The record table and column of the selected cell; false when the selection is no cell of a
    // built record table (a record's row header, a key-value row).
    bool SelectedColumn(const GridBox*& table, int32_t& column) const;
    // Sorts the table of the selected cell by its column the next way, as a click on that
    // column's header does, and keeps the selection in view; false when there is no such cell.
    bool SortBySelectedColumn();

    // Counts every change of the boxes (a build, a toggle, the filter): a sort worked out since
    // an earlier count is dropped, as its table may hold other rows now.
    uint64_t builds = 0;
    // A sort of a record table worked out a slice per timer message; null otherwise. The table
    // shows its old order until the new one is complete.
    struct SortRun {
        SortRun(const GridFrame& f, const GridSortKey& sort, uint64_t builds, bool reveal, const GridTextKey& textKey);
        const Node* key;    // the table's first record
        GridSortKey sort;
        uint64_t builds;
        bool reveal;        // the selection is revealed after (a sort by the selected cell)
        RecordColumns columns;
        TableSort pass;
    };
    std::unique_ptr<SortRun> sortRun;
    // The sort's timer: the next slice, or the sorted table once every key is worked out.
    void ContinueSort();
    // Escape: stops a running sort, the table as it was; false when none runs.
    bool StopSort();

    // "Expand all" or "Collapse all" building the new grid beside the one shown, its rows sized a
    // slice per timer message; null otherwise. The grid shown keeps its sets and boxes until the
    // new one is complete; anything else that builds the grid again stops it.
    struct BuildRun {
        bool expand = false;
        bool switching = false;   // built for a switch to the grid, which waits for it
        bool filtering = false;   // built for a filter just worked out, which waits for it
        bool atLoad = false;      // the switch of a file loaded with the grid as its view
        bool subtree = false;     // "Expand subtree": shown once built, not kept as a bulk action's
        bool waited = false;      // not complete in the message that started it
        uint64_t builds = 0;
        GridExpansion expansion;  // the sets the new grid is built with
        GridLayout layout;
        std::unique_ptr<GridLayoutPass> pass;
    };
    std::unique_ptr<BuildRun> buildRun;
    // How long one of its slices runs (kGridBuildSliceSeconds); at 0 a slice is one step.
    static inline double buildSliceSeconds = kGridBuildSliceSeconds;
    // The build's timer: the next slice, or the new grid shown once every row is sized.
    void ContinueBuild();
    // A switch to the grid while it has no boxes: they are built beside the view shown, the rows
    // of a big file's tables sized a slice per timer message, and the switch waits for them.
    // True while it waits (the main window switches once they are complete); false when the
    // grid can be shown now.
    bool BuildBeforeShowing();
    // Escape: stops a running build, the grid as it was; false when none runs. A filter that
    // waited for the build is shown without it (its grid is built in one go).
    bool StopBuild();
    // The filter's next marks are complete: while the grid is shown, the grid they make is built
    // beside it, the rows of a big file's tables sized a slice per timer message, and the filter
    // waits for it (FinishFilter shows both once it is complete). False when the grid is not shown.
    bool BuildForFilter();
    // The grid BuildForFilter made, until FilterChanged shows it (unless the grid was built again
    // since, when `builds` was filterBuiltAt).
    GridLayout filterBuilt;
    uint64_t filterBuiltAt = 0;

    // Builds the boxes if they are stale; false when there is nothing to show.
    bool EnsureLayout();
    void UpdateScrollBars();
    void ScrollTo(long long x, long long y);
    GridMetrics Metrics();
    int ContentWidth() const;
    int ContentHeight() const;
    void Repaint() const;

private:
    bool Shown() const;
    // Builds again only what the toggle names (and what holds it), or everything when replaced
    // boxes have piled up.
    void RebuildAround(const std::vector<GridToggleKey>& toggles);
    // Relayout without dropping the boxes kept aside from before the filter.
    void Rebuild();
    // Drops both grids kept aside: the one from before the filter and the one from before the
    // last bulk expansion.
    void DropSavedLayout();
    void DropFilterLayout();
    void DropBulkLayout();
    // One slice of the running build, until `deadline` (a performance counter reading) or waiting
    // input.
    void BuildSlice(long long deadline);
    // Starts a build of the document's grid with `next` beside the grid shown; false when it was
    // complete at once and is shown.
    bool StartBuild(GridExpansion&& next, bool expand, bool switching, bool filtering = false, bool subtree = false);
    // Shows `fresh`, built with the sets of `next` by a bulk action, keeping the grid shown until
    // now aside for the next one; then the selection stays shown.
    void ShowBulkLayout(GridLayout& fresh, GridExpansion&& next, bool expand);
    // After "Expand all" or "Collapse all": as in the tree, Collapse all moves a selection it
    // hides to the node that shows it, rather than opening its tables again.
    void KeepSelectionShown(bool expand);
    // Sets the table's sort and moves its rows (in `order` when it was worked out before).
    void ApplySort(const GridBox& table, int32_t column, const GridSortKey& sort, const std::vector<uint32_t>* order);
    // A toggle or sort under the filter, for the boxes kept aside.
    void NoteFilteredToggle(uint8_t toggle, const Node* toggleKey);
    void Build(bool repaint);
    int MeasureWithContext(std::wstring_view text) const;
    // With the content font selected into measureContext: reads its character widths if unknown.
    void ReadTextBound();
    bool AsciiAddsUp(const INT* widths, const TEXTMETRICW& tm) const;
};

LRESULT CALLBACK GridWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The performance counter now, and its reading `seconds` after `from`: a build slice's deadline.
long long counterNow();
long long counterAfter(long long from, double seconds);
// A text's collation key in the user's locale: how sorted record tables order texts.
std::string localeSortKey(std::wstring_view text);

}  // namespace qm
