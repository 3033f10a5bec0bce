// The tree view window ("QuillmapTree"): a hand-drawn outline of the document with a name and
// a value column. Its state, TreePane, is embedded in the MainWindow; the selection itself is
// the main window's, the pane only caches the row that shows it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "views/tree.h"

namespace qm {

struct MainWindow;

struct TreePane {
    MainWindow* mainWindow = nullptr;
    HWND window = nullptr;
    unsigned nameColumnWidth = 300;  // DIPs: the "Split" setting
    TreeRows rows;  // read on demand: a file expanded in full has millions
    ExpandedSet expanded;
    unsigned topRow = 0;
    int32_t selectedRow = -1;
    int32_t wheelRemainder = 0;
    bool draggingSplitter = false;
    // The last button-down toggled a chevron: the double-click that may follow is the second
    // half of that one click, not a toggle of its own.
    bool expanderClicked = false;
    // The tooltip that shows a label or value the columns cut, in full, and what it shows.
    HWND tooltip = nullptr;
    std::wstring tipText;

    // A new document: only the top level open, scrolled to the top.
    void ResetForDocument();
    // Opens the ancestors of `node` and scrolls the selected row into view.
    void RevealNode(const Node* node);
    // "Expand all" (true) or "Collapse all" (false).
    void ExpandAll(bool expand);
    void ExpandSubtree(const Node* node);
    // W of the geometry: the name column's width in pixels for the current client width.
    int NameColumnWidth() const;

    void RebuildRows();
    void FindSelectedRow();
    void UpdateScrollBar();
    void ScrollTo(long long row);
    void EnsureRowVisible(int32_t row);
    void SelectRow(int32_t row);
    void ToggleRow(int32_t row);
    int PageRows() const;
    void Repaint() const;
};

LRESULT CALLBACK TreeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace qm
