// The grid view window ("QuillmapGrid"): the document as nested tables, drawn by hand. Its
// state, GridPane, is embedded in the MainWindow; the selection is the main window's. The boxes
// are built only while the grid is shown or asked for one (a reveal, the editor's rectangle):
// a document shown in another view costs the grid nothing.
#pragma once

#include <windows.h>

#include <cstdint>

#include "views/grid.h"

namespace qm {

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
    // again only that table.
    void SortTable(const GridBox& table, int32_t column);
    // The record table and column of the selected cell; false when the selection is no cell of a
    // built record table (a record's row header, a key-value row).
    bool SelectedColumn(const GridBox*& table, int32_t& column) const;
    // Sorts the table of the selected cell by its column the next way, as a click on that
    // column's header does, and keeps the selection in view; false when there is no such cell.
    bool SortBySelectedColumn();

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
    void RebuildAround(uint8_t toggle, const Node* toggleKey);
    void Build(bool repaint);
    int MeasureWithContext(std::wstring_view text) const;
    // With the content font selected into measureContext: reads its character widths if unknown.
    void ReadTextBound();
};

LRESULT CALLBACK GridWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace qm
