// The plug-in window ("QuillmapMain") that the host shows for one file, and its state object
// MainWindow: it owns the document, the palette and the three view panes, holds the selection
// that all views share, switches views, routes the keyboard shortcuts and forwards every key it
// does not use to the host's Lister window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "appearance/draw_win.h"
#include "appearance/palette.h"
#include "document/document.h"
#include "shell/clipboard.h"
#include "shell/filter.h"
#include "shell/match.h"
#include "shell/settings.h"
#include "views/grid_win.h"
#include "views/source_win.h"
#include "views/tree_win.h"

namespace qm {

struct MainWindow;

// A button of the toolbar or status bar: a record hit-tested and painted by the main window.
struct ToolbarItem {
    int32_t action = 0;
    wchar_t glyph = 0;
    std::wstring label;
    RECT rect{};
    bool iconOnly = false;  // drawn without its label, which its tooltip shows
};

// The toolbar, the status bar and the search box: what the chrome unit lays out, paints and
// hit-tests, and the search box's own state.
struct ChromeState {
    // Search box.
    bool searchOpen = false;
    bool regexError = false;
    bool searchFailed = false;
    // How the last search ended, while it is worth telling: Stopped or InvalidPattern show their
    // text in the status bar until the next search, a change of the search text or a new document.
    SearchOutcome searchOutcome = SearchOutcome::Found;
    // A message of "Go to path" for the status bar (no node has the path typed), shown in place
    // of the path until the selection changes.
    std::wstring notice;

    // Toolbar and status bar.
    std::vector<ToolbarItem> toolbarItems;
    int hotItem = -1;
    int pressedItem = -1;
    bool trackingMouse = false;
    RECT toolbarRect{};
    RECT statusRect{};
    HWND tooltip = nullptr;
    // A hidden top-level window that receives what Windows tells top-level windows only (a
    // change of the colour mode or of the displays) and hands it to the main window.
    HWND systemListener = nullptr;
    HWND searchBox = nullptr;
    WNDPROC searchBoxProc = nullptr;
    BrushHandle searchBrush;  // created on first use, discarded when the palette changes
};

struct MainWindow {
    HWND window = nullptr;
    HWND hostWindow = nullptr;
    Palette palette;
    bool hostDark = false;
    // Every setting of the settings file, read at creation and written after every change. The
    // tree pane keeps the live name-column width and the palette the scheme and font it was
    // built with; both take them from here.
    Settings settings;
    std::unique_ptr<Document> document;
    Node* selected = nullptr;
    Node* lastMatch = nullptr;
    TreePane treePane;
    GridPane gridPane;
    SourcePane sourcePane;
    std::wstring filePath;

    // Search highlighting.
    HighlightState highlight;  // what the last search looked for; the views paint its occurrences

    // The search box's filter: while active the Tree and the Grid show only the nodes it marked
    // (shell/filter.h); the views' own expansion waits unchanged for it to go.
    struct FilterState {
        bool active = false;
        size_t matched = 0;
        std::wstring text;  // the search text it was applied with
        unsigned flags = 0;
    } filter;
    // A filter being worked out a slice per timer message on a big file; null otherwise. It
    // matches with its own copy of the highlighting, which becomes the window's when it is done.
    struct FilterRun {
        explicit FilterRun(uint64_t units) : pass(units) {}
        FilterPass pass;
        HighlightState highlight;
        std::wstring text;
        unsigned flags = 0;
        size_t nodeCount = 0;  // the document's when it started: another count stops it
        size_t slices = 0;     // of marking
        // Marking the nodes; the marks complete, the grid shown built with them next
        // (GridPane::BuildForFilter); being built; built, the filter shown next.
        enum class Step : uint8_t { Marking, Starting, Building, Showing } step = Step::Marking;
    };
    std::unique_ptr<FilterRun> filterRun;
    // A search over more nodes (or Source view lines) than one slice tests, going on a slice per
    // timer message; null otherwise. The highlighting is the window's, set when it began.
    struct SearchRun {
        SearchRun() : budget(kSearchWorkUnits) {}
        std::vector<Node*> list;
        NodeWalk walk;
        bool inSource = false;  // the Source view's search through its text, in place of the node walk
        SourcePane::Find find;
        WorkBudget budget;
        size_t nodeCount = 0;  // the document's when it started: another count stops it
        std::wstring text;
        int flags = 0;
        bool fromBox = false;  // the search box's (it wraps around): its frame shows a failed search
        bool sliced = false;   // it went on after the message that started it
    };
    std::unique_ptr<SearchRun> searchRun;
    // "Copy table" of a big table, made a slice per timer message; null otherwise.
    std::unique_ptr<TableCopy> tableCopy;

    ChromeState chrome;

    // Value editing: where the in-place editor goes (client coordinates of the active view) and
    // the brush of its field, alive only while the field exists.
    RECT editRect{};
    bool editRectValid = false;
    BrushHandle editBrush;

    // Set once the window exists: from then on its WM_NCDESTROY frees this object. Until then
    // (a creation that fails half-way) the creator frees it, never both.
    bool ownedByWindow = false;

    MainWindow() = default;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Reads the settings, builds the palette and creates the window and its three views as a
    // child of the host's window. False when the main window cannot be created.
    bool Create(HWND host, int showFlags);
    // Takes ownership of a loaded document and shows it (the previous one is freed).
    void SetDocument(std::unique_ptr<Document> doc, const std::wstring& path);
    void SwitchView(int view);
    // Shows `view` in place of the one shown, the selection revealed in it; no focus, no setting.
    void ShowView(int view);
    void RevealSelection();
    // The selection entry point of every view: `node` is mapped to its display node first.
    void SelectNode(Node* node);
    void ExpandCollapseAll(bool expand);
    void SetAutoFit(bool on);
    void SetShowCounts(bool on);
    // The keyboard table; true when the key was handled.
    bool HandleShortcut(WPARAM key);
    HWND ActiveViewWindow() const;
    // Writes every setting; the tree pane's name-column width is taken first.
    void SaveSettings();
    // Posts a key that nobody handled to the host's window, so the host's own keys keep working.
    void ForwardKey(UINT message, WPARAM wParam, LPARAM lParam) const;
    void RepaintStatus() const;
    // Parses a string's embedded JSON before a view opens it (document/embedded.h); false, with
    // the parse error in the status bar, when its text is no JSON.
    bool OpenEmbedded(Node* string);
    void RepaintActiveView() const;
};

// The search box's filter (shell/filter_win.cpp): applies `text` with the search flags, keeping
// the selection when it is kept and otherwise selecting the first match; or clears it, keeping
// the selection and revealing it in the full tree.
// On a big file the filter is worked out a slice per timer message (the status bar shows how
// far it came) and the views show the filter before it until it is done.
void ApplyFilter(MainWindow& main, const std::wstring& text, unsigned flags);
void ClearFilter(MainWindow& main);
// The filter's timer: the next slice of a running filter.
constexpr UINT_PTR kFilterTimer = 1;
void ContinueFilter(MainWindow& main);
// The grid of the filter's marks is complete (`waited`: in a later message than the one that
// started it, and the filter shows in a message of its own).
void FilterGridBuilt(MainWindow& main, bool waited);
// The filter's marks and the grid built with them are complete (or the grid's build was stopped
// by anything but Escape): the views show the filter.
void FinishFilter(MainWindow& main);
// Escape: stops a running filter, leaving everything as it was before it (the grid being built
// for it too); false when none runs.
bool StopFilter(MainWindow& main);

// "Copy table" (shell/menu_win.cpp): the record table the grid's menu was opened on goes to the
// clipboard; a big one is made a slice per timer message, the status bar saying how far it came.
constexpr UINT_PTR kTableCopyTimer = 2;
constexpr size_t kTableCopySliceRecords = 2048;
void CopyGridTable(MainWindow& main);
void ContinueTableCopy(MainWindow& main);
// Escape: stops a running copy, the clipboard untouched; false when none runs.
bool StopTableCopy(MainWindow& main);
// A big record table's sort (GridPane::SortRun): the next slice.
constexpr UINT_PTR kSortTimer = 3;
constexpr size_t kSortSliceRows = 65536;
constexpr size_t kSortSliceTexts = 8192;  // collation keys made in one slice
// The step every action worked out a slice per timer message ends with: while it is not `done`,
// its timer brings the next slice after the user's input and painting (so the host answers and
// Escape can stop it) and the status bar shows how far it came; once done, the timer goes.
// Returns `done`.
bool NextSliceOrDone(MainWindow& main, UINT_PTR timer, bool done);
// "Copy entire source" of a big formatted text (SourcePane::CopyWholeText), a slice of lines per
// timer message.
constexpr UINT_PTR kSourceCopyTimer = 4;
// "Expand all" and "Collapse all" in the grid of a big file (GridPane::BuildRun): the next slice
// of sizing the rows of its tables.
constexpr UINT_PTR kGridBuildTimer = 5;
// The index pass of a big formatted text in the Source view (SourcePane::ContinueIndex).
constexpr UINT_PTR kSourceIndexTimer = 6;
// A search (shell/search_win.cpp) that tests more nodes than kSearchSliceNodes (in the Source view
// more lines than kSearchSliceLines) or spends more than kSearchSliceUnits goes on a slice per
// timer message, the status bar saying how far it came.
constexpr UINT_PTR kSearchTimer = 7;
constexpr size_t kSearchSliceNodes = 262144;
constexpr size_t kSearchSliceLines = 262144;
constexpr uint64_t kSearchSliceUnits = 16000000;
SearchOutcome ContinueSearch(MainWindow& main);
// Escape: stops a running search, the selection where it was; false when none runs.
bool StopSearch(MainWindow& main);
// How far a running search came, in percent of the entries it may test.
int searchProgress(const MainWindow::SearchRun& run);
// Escape stops whatever runs in slices; false when nothing does.
inline bool StopSlicedWork(MainWindow& main) {
    const bool search = StopSearch(main);
    const bool filter = StopFilter(main);
    const bool sort = main.gridPane.StopSort();
    const bool source = main.sourcePane.StopCopy();
    const bool build = main.gridPane.StopBuild();
    return StopTableCopy(main) || search || filter || sort || source || build;
}

// "Go to path" (shell/gotopath_win.cpp): Ctrl+G's field, and the step it ends with, which selects
// and reveals the node `path` names or says in the status bar that there is none.
void GoToPath(MainWindow& main);
void GoToPathText(MainWindow& main, const std::wstring& path);

// The MainWindow of a plug-in window handle, or null for any other window.
MainWindow* FindMainWindow(HWND window);

// Applies the palette again after a theme, scheme, font or host dark-mode change.
void ApplyAppearance(MainWindow& main, bool hostDark);

// The window classes of the plug-in, registered once per process with the module's handle.
void RegisterWindowClasses();
void UnregisterWindowClasses();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The system listener's procedure: colour-mode and display changes go on to the main window.
LRESULT CALLBACK SystemListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The context menu at a point in screen coordinates, owned by the view that asks; nothing
// without a document (shell/menu_win.cpp).
void ShowContextMenu(MainWindow& main, HWND owner, POINT screenPoint);

}  // namespace qm
