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

#include "appearance/palette.h"
#include "document/document.h"
#include "shell/match.h"
#include "views/tree_win.h"

namespace qm {

struct MainWindow;

// The three views, in the order of the "View" setting and of Ctrl+1..3.
enum ViewIndex : int { kViewTree = 0, kViewGrid = 1, kViewSource = 2, kViewCount = 3 };

// A button of the toolbar or status bar: a record hit-tested and painted by the main window.
struct ToolbarItem {
    int32_t action = 0;
    wchar_t glyph = 0;
    std::wstring label;
    RECT rect{};
};

// The grid view's state. The grid itself is not built yet: its window is an empty view.
struct GridPane {
    MainWindow* mainWindow = nullptr;
    HWND window = nullptr;
    HDC memoryDc = nullptr;  // created by the main window with the grid window, deleted with it
};

// The source view's state. The source view itself is not built yet: its window is an empty view.
struct SourcePane {
    MainWindow* mainWindow = nullptr;
    HWND window = nullptr;
};

struct MainWindow {
    HWND window = nullptr;
    HWND hostWindow = nullptr;
    Palette palette;
    bool hostDark = false;
    int themeMode = 0;
    std::unique_ptr<Document> document;
    Node* selected = nullptr;
    Node* lastMatch = nullptr;
    int activeView = kViewTree;
    bool autoFit = false;
    bool showCounts = true;
    TreePane treePane;
    GridPane gridPane;
    SourcePane sourcePane;
    std::wstring filePath;

    // Search highlighting.
    HighlightState highlight;  // what the last search looked for; the views paint its occurrences

    // Search box.
    int searchMode = 0;
    bool searchOpen = false;
    bool searchRegex = false;
    bool regexError = false;
    wchar_t searchKeyChar = L'F';
    bool searchKeyShift = true;
    bool searchFailed = false;
    // How the last search ended, while it is worth telling: Stopped or InvalidPattern show their
    // text in the status bar until the next search, a change of the search text or a new document.
    SearchOutcome searchOutcome = SearchOutcome::Found;

    // Toolbar and status bar.
    std::vector<ToolbarItem> toolbarItems;
    int hotItem = -1;
    int pressedItem = -1;
    bool trackingMouse = false;
    RECT toolbarRect{};
    RECT statusRect{};
    int buttonsMode = 1;
    HWND tooltip = nullptr;
    HWND searchBox = nullptr;
    WNDPROC searchBoxProc = nullptr;
    HBRUSH searchBrush = nullptr;

    // In-place value editor.
    RECT editRect{};
    bool editRectValid = false;
    HBRUSH editBrush = nullptr;

    // Set once the window exists: from then on its WM_NCDESTROY frees this object. Until then
    // (a creation that fails half-way) the creator frees it, never both.
    bool ownedByWindow = false;

    MainWindow() = default;
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Reads the settings, builds the palette and creates the window and its three views as a
    // child of the host's window. False when the main window cannot be created.
    bool Create(HWND host, int showFlags);
    // Takes ownership of a loaded document and shows it (the previous one is freed).
    void SetDocument(std::unique_ptr<Document> doc, const std::wstring& path);
    void SwitchView(int view);
    void RevealSelection();
    // The selection entry point of every view: `node` is mapped to its display node first.
    void SelectNode(Node* node);
    void ExpandCollapseAll(bool expand);
    void SetAutoFit(bool on);
    void SetShowCounts(bool on);
    // The keyboard table; true when the key was handled.
    bool HandleShortcut(WPARAM key);
    HWND ActiveViewWindow() const;
    void SaveSettings() const;
    // Posts a key that nobody handled to the host's window, so the host's own keys keep working.
    void ForwardKey(UINT message, WPARAM wParam, LPARAM lParam) const;
    void RepaintStatus() const;
    void RepaintActiveView() const;
};

// The MainWindow of a plug-in window handle, or null for any other window.
MainWindow* FindMainWindow(HWND window);

// Applies the palette again after a theme, scheme, font or host dark-mode change.
void ApplyAppearance(MainWindow& main, bool hostDark);

// The window classes of the plug-in, registered once per process with the module's handle.
void RegisterWindowClasses();
void UnregisterWindowClasses();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Operations of the toolbar, search, clipboard, About window and value editing units that the
// main window and the views call (shell/interim_win.cpp holds those not built yet).
void LayoutChrome(MainWindow& main);
void PaintChrome(MainWindow& main, HDC dc, const RECT& client);
void FocusSearchBox(MainWindow& main);
// The node search with the host's flags (plus kSearchRegex); with `wrap` it goes on from the other
// end over the nodes it has not tested yet, as the search box wants.
SearchOutcome Search(MainWindow& main, const std::wstring& text, int flags, bool wrap = false);
void RunCopyCommand(MainWindow& main, int id);
bool CopyTextToClipboard(HWND window, const std::wstring& text);
void ShowContextMenu(MainWindow& main, HWND owner, POINT screenPoint);
void OpenAboutWindow(MainWindow& main);
void EditSelectedValue(MainWindow& main);
// The unsaved-changes question before a modified document is closed or replaced.
void PromptUnsavedChanges(MainWindow& main);
void SaveChanges(MainWindow& main);
// Window procedures of the grid and source views, the About window and the edit dialog.
LRESULT CALLBACK GridWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK AboutWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Command identifiers shared by the menu, the keyboard and the host's commands.
constexpr int kCmdCopyValue = 100;
constexpr int kCmdCopyName = 101;
constexpr int kCmdCopyPath = 102;
constexpr int kCmdCopyAs = 103;

}  // namespace qm
