// The main window: creation with its three views, the document it shows, the shared selection,
// view switching, the keyboard table, settings written after every change, and the appearance.
#include "shell/mainwindow.h"
#include "shell/chrome_win.h"

#include <new>

#include "appearance/draw_win.h"
#include "document/embedded.h"
#include "edit/editing.h"
#include "shell/about.h"
#include "shell/clipboard.h"
#include "shell/lister.h"
#include "shell/module.h"
#include "shell/settings.h"
#include "shell/windowstate_win.h"

namespace qm {

namespace {

const wchar_t kMainClass[] = L"QuillmapMain";
const wchar_t kListenerClass[] = L"QuillmapListener";
#ifndef WM_DPICHANGED_AFTERPARENT
constexpr UINT WM_DPICHANGED_AFTERPARENT = 0x02E3;
#endif
constexpr int kClassNameBufferChars = 32;
constexpr DWORD kTreeStyle = WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL;
constexpr DWORD kScrolledViewStyle = WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL;

bool keyDown(int vk) { return GetKeyState(vk) < 0; }

bool isSelectableTopLevel(NodeKind kind) {
    switch (kind) {
        case NodeKind::Element: case NodeKind::Object: case NodeKind::Array: case NodeKind::String:
        case NodeKind::Number: case NodeKind::Bool: case NodeKind::Null:
            return true;
        default:
            return false;
    }
}

// The palette is built with the scheme and content font of the settings, which stay their home.
void takePaletteSettings(Palette& palette, const Settings& settings) {
    palette.lightSchemeName = settings.lightSchemeName;
    palette.darkSchemeName = settings.darkSchemeName;
    palette.contentFontName = settings.contentFontName;
    palette.contentFontSize = settings.contentFontSize;
}

HWND createView(const wchar_t* className, DWORD style, HWND parent, void* pane) {
    return CreateWindowExW(0, className, L"", style, 0, 0, 0, 0, parent, nullptr, moduleHandle, pane);
}

}  // namespace

MainWindow* FindMainWindow(HWND window) {
    if (!window) return nullptr;
    wchar_t name[kClassNameBufferChars] = {};
    if (!GetClassNameW(window, name, kClassNameBufferChars)) return nullptr;
    if (lstrcmpW(name, kMainClass) != 0) return nullptr;
    return windowState<MainWindow>(window);
}

bool MainWindow::Create(HWND host, int showFlags) {
    hostWindow = host;
    hostDark = (showFlags & lcp_darkmode) != 0;

    InitSettingsPath(L"");
    ReadSettings(settings);
    treePane.nameColumnWidth = static_cast<unsigned>(settings.split);

    takePaletteSettings(palette, settings);
    BuildPalette(palette, hostWindow, settings.themeMode, hostDark);

    RECT client{};
    GetClientRect(hostWindow, &client);
    treePane.mainWindow = this;
    gridPane.mainWindow = this;
    sourcePane.mainWindow = this;
    CreateWindowExW(0, kMainClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, client.right - client.left,
                    client.bottom - client.top, hostWindow, nullptr, moduleHandle, this);
    if (!window) return false;
    ownedByWindow = true;

    createView(L"QuillmapTree", kTreeStyle, window, &treePane);
    gridPane.measureContext = CreateCompatibleDC(nullptr);
    createView(L"QuillmapGrid", kScrolledViewStyle, window, &gridPane);
    createView(L"QuillmapSource", kScrolledViewStyle, window, &sourcePane);
    for (HWND view : {treePane.window, gridPane.window, sourcePane.window}) ThemeScrollBars(view, palette.isDark);

    // Owned by the host's top-level window, never shown; it goes with the main window.
    chrome.systemListener = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kListenerClass, L"", WS_POPUP, 0, 0, 0, 0,
                                            window, nullptr, moduleHandle, nullptr);
    if (chrome.systemListener) SetWindowLongPtrW(chrome.systemListener, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));

    LayoutChrome(*this);
    ShowWindow(ActiveViewWindow(), SW_SHOW);
    return true;
}

void MainWindow::SetDocument(std::unique_ptr<Document> doc, const std::wstring& path) {
    StopSlicedWork(*this);
    selected = nullptr;
    lastMatch = nullptr;
    highlight.highlightActive = false;
    chrome.searchOutcome = SearchOutcome::Found;
    // The rows and the source's lines point into the old document: drop them before it goes.
    treePane.rows.clear();
    treePane.expanded.clear();
    sourcePane.source.clear();
    gridPane.ForgetDocument();
    filter = FilterState{};
    gridPane.expansion.filtered = false;
    document = std::move(doc);
    filePath = path;
    if (document && document->root) {
        for (Node* child : document->root->children) {
            if (isSelectableTopLevel(child->kind)) {
                selected = child;
                break;
            }
        }
    }
    treePane.ResetForDocument();
    sourcePane.ResetForDocument();
    // A grid shown at load is built as a switch to it builds it: beside the Tree, which shows
    // meanwhile, a big file's rows sized a slice per timer message, the grid shown once complete.
    const bool gridShown = window && settings.activeView == kViewGrid;
    if (gridShown) ShowView(kViewTree);
    gridPane.ResetForDocument();  // builds its boxes only while the grid is shown
    if (gridShown) {
        if (!gridPane.BuildBeforeShowing())
            ShowView(kViewGrid);
        else
            gridPane.buildRun->atLoad = true;
    }
    if (window) InvalidateRect(window, nullptr, FALSE);
}

HWND MainWindow::ActiveViewWindow() const {
    switch (settings.activeView) {
        case kViewGrid: return gridPane.window;
        case kViewSource: return sourcePane.window;
        default: return treePane.window;
    }
}

void MainWindow::SwitchView(int view) {
    if (view == settings.activeView || view < 0 || view >= kViewCount) return;
    // The grid of a big file is built before it is shown, a slice per timer message; another
    // view chosen meanwhile stops it.
    if (view == kViewGrid && gridPane.BuildBeforeShowing()) return;
    if (gridPane.buildRun && gridPane.buildRun->switching) gridPane.StopBuild();
    ShowView(view);
    SetFocus(ActiveViewWindow());
    SaveSettings();
}

void MainWindow::ShowView(int view) {
    HWND old = ActiveViewWindow();
    settings.activeView = view;
    // A filter waiting for the grid's build shows in the view chosen without it.
    if (gridPane.buildRun && gridPane.buildRun->filtering) gridPane.StopBuild();
    RevealSelection();
    HWND now = ActiveViewWindow();
    ShowWindow(now, SW_SHOW);
    if (old != now) ShowWindow(old, SW_HIDE);
    LayoutChrome(*this);  // the tooltips follow the items the view shows
    InvalidateRect(window, nullptr, FALSE);
}

void MainWindow::RevealSelection() {
    if (settings.activeView == kViewTree) treePane.RevealNode(selected);
    if (settings.activeView == kViewSource) sourcePane.RevealNode(selected);
    if (settings.activeView == kViewGrid) gridPane.RevealNode(selected);
}

void MainWindow::SelectNode(Node* node) {
    Node* shown = DisplayNode(node);
    if (shown == selected) return;
    selected = shown;
    chrome.notice.clear();
    sourcePane.matchLine = -1;  // the next search in the source view starts at the selection
    RepaintStatus();
    RepaintActiveView();
}

void MainWindow::ExpandCollapseAll(bool expand) {
    if (settings.activeView == kViewTree) treePane.ExpandAll(expand);
    if (settings.activeView == kViewGrid) gridPane.ExpandAll(expand);
}

void MainWindow::SetAutoFit(bool on) {
    settings.autoFit = on;
    SaveSettings();
    gridPane.ClearColumnWidths();
    gridPane.Relayout();
    InvalidateRect(window, nullptr, FALSE);
}

void MainWindow::SetShowCounts(bool on) {
    settings.showCounts = on;
    SaveSettings();
    treePane.Repaint();
    InvalidateRect(window, nullptr, FALSE);
}

bool MainWindow::HandleShortcut(WPARAM key) {
    const bool ctrl = keyDown(VK_CONTROL);
    const bool shift = keyDown(VK_SHIFT);
    const bool alt = keyDown(VK_MENU);
    const Settings& s = settings;
    if (key == VK_ESCAPE && StopSlicedWork(*this)) return true;
    if (s.searchKeyChar && key == static_cast<WPARAM>(s.searchKeyChar) && ctrl && !alt && shift == s.searchKeyShift &&
        s.searchMode != kSearchFieldNone && s.buttonsMode != kButtonsHidden) {
        FocusSearchBox(*this);
        return true;
    }
    if (ctrl) {
        switch (key) {
            case '1': SwitchView(kViewTree); return true;
            case '2': SwitchView(kViewGrid); return true;
            case '3': SwitchView(kViewSource); return true;
            case 'C': RunCopyCommand(*this, shift ? kCmdCopyPath : kCmdCopyValue); return true;
            case VK_ADD: case VK_OEM_PLUS: ExpandCollapseAll(true); return true;
            case VK_SUBTRACT: case VK_OEM_MINUS: ExpandCollapseAll(false); return true;
            case 'E': EditSelectedValue(*this); return true;
            case 'G': GoToPath(*this); return true;
            case 'O':
                if (!shift || settings.activeView != kViewGrid) break;
                gridPane.SortBySelectedColumn();
                return true;
            default: break;
        }
    }
    if (key == VK_F4) {
        EditSelectedValue(*this);
        return true;
    }
    if (ctrl && key == 'S' && document && document->modified) {
        SaveChanges(*this);
        return true;
    }
    if (key == VK_F1) {
        OpenAboutWindow(*this);
        return true;
    }
    return false;
}

void MainWindow::SaveSettings() {
    settings.split = static_cast<int>(treePane.nameColumnWidth);
    // While a file loaded with the grid as its view has its grid built, the Tree shows; the
    // setting the user chose stays the grid.
    if (gridPane.buildRun && gridPane.buildRun->atLoad) {
        Settings chosen = settings;
        chosen.activeView = kViewGrid;
        ::qm::SaveSettings(chosen);
        return;
    }
    ::qm::SaveSettings(settings);
}

void MainWindow::ForwardKey(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (hostWindow) PostMessageW(hostWindow, message, wParam, lParam);
}

bool MainWindow::OpenEmbedded(Node* string) {
    if (!document || !awaitsOpening(string)) return true;
    std::wstring message = openEmbedded(*document, string);
    if (message.empty()) return true;
    chrome.notice = std::move(message);
    RepaintStatus();
    return false;
}

bool NextSliceOrDone(MainWindow& main, UINT_PTR timer, bool done) {
    if (main.window) {
        if (done)
            KillTimer(main.window, timer);
        else
            SetTimer(main.window, timer, USER_TIMER_MINIMUM, nullptr);
    }
    main.RepaintStatus();
    return done;
}

void MainWindow::RepaintStatus() const {
    if (window) InvalidateRect(window, &chrome.statusRect, FALSE);
}

void MainWindow::RepaintActiveView() const {
    if (HWND view = ActiveViewWindow()) InvalidateRect(view, nullptr, FALSE);
}

void ApplyAppearance(MainWindow& main, bool hostDark) {
    main.hostDark = hostDark;
    AppearanceTargets targets;
    targets.searchBox = main.chrome.searchBox;
    targets.searchBrush = &main.chrome.searchBrush;
    targets.views[0] = main.treePane.window;
    targets.views[1] = main.gridPane.window;
    targets.views[2] = main.sourcePane.window;
    takePaletteSettings(main.palette, main.settings);
    ApplyPalette(main.palette, main.window, main.settings.themeMode, hostDark, targets);
    LayoutChrome(main);
    RepaintAll(main.window);
    SendClientSize(main.treePane.window);
    main.sourcePane.UpdateScrollBars();
    main.gridPane.AppearanceChanged();
}

// ---- window procedure ----

namespace {

LRESULT onNcDestroy(MainWindow* main, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The tooltip is a popup: its owner is the host's top-level window, not this child window,
    // so it would outlive the plug-in window (one leaked window per file shown).
    if (main->chrome.tooltip) DestroyWindow(main->chrome.tooltip);
    main->chrome.tooltip = nullptr;
    if (main->chrome.systemListener) DestroyWindow(main->chrome.systemListener);
    main->chrome.systemListener = nullptr;
    unbindWindowState(window, *main);
    if (main->ownedByWindow) delete main;
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT onPaint(MainWindow& main, HWND window, HDC printDc) {
    BufferedPaint paint(window, printDc);
    if (paint.dc()) PaintChrome(main, paint.dc(), paint.client());
    return 0;
}

LRESULT onKeyDown(MainWindow& main, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!main.HandleShortcut(wParam)) main.ForwardKey(message, wParam, lParam);
    return 0;
}

// A change of the Windows colour mode ("ImmersiveColorSet") matters to the automatic theme; a
// new DPI or display setting to every size: the palette is built again and everything laid out.
LRESULT onSystemChange(MainWindow& main, UINT message, LPARAM lParam) {
    if (message == WM_SETTINGCHANGE) {
        const auto* area = reinterpret_cast<const wchar_t*>(lParam);
        if (!area || lstrcmpW(area, L"ImmersiveColorSet") != 0) return 0;
    }
    ApplyAppearance(main, main.hostDark);
    return 0;
}

LRESULT dispatch(MainWindow& main, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: LayoutChrome(main); return 0;
        case WM_SETTINGCHANGE:
        case WM_DISPLAYCHANGE:
        case WM_DPICHANGED_AFTERPARENT: return onSystemChange(main, message, lParam);
        case WM_SETFOCUS: SetFocus(main.ActiveViewWindow()); return 0;
        case WM_PAINT: return onPaint(main, window, nullptr);
        case WM_PRINTCLIENT: return onPaint(main, window, reinterpret_cast<HDC>(wParam));
        case WM_ERASEBKGND: return 1;
        case WM_KEYDOWN: return onKeyDown(main, message, wParam, lParam);
        case WM_TIMER:
            if (wParam == kFilterTimer) ContinueFilter(main);
            if (wParam == kTableCopyTimer) ContinueTableCopy(main);
            if (wParam == kSortTimer) main.gridPane.ContinueSort();
            if (wParam == kSourceCopyTimer) main.sourcePane.ContinueCopy();
            if (wParam == kGridBuildTimer) main.gridPane.ContinueBuild();
            if (wParam == kSourceIndexTimer) main.sourcePane.ContinueIndex();
            if (wParam == kSearchTimer) ContinueSearch(main);
            return 0;
        case WM_COMMAND: return ChromeCommand(main, wParam, lParam);
        case WM_CTLCOLOREDIT: return ChromeCtlColorEdit(main, reinterpret_cast<HDC>(wParam));
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_MOUSELEAVE: return ChromeMouseMessage(main, message, lParam);
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK SystemListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTINGCHANGE || message == WM_DISPLAYCHANGE) {
        HWND main = reinterpret_cast<HWND>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (main && IsWindow(main)) SendMessageW(main, message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) return bindWindowState<MainWindow>(window, message, wParam, lParam);
        auto* main = windowState<MainWindow>(window);
        if (!main) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) return onNcDestroy(main, window, message, wParam, lParam);
        return dispatch(*main, window, message, wParam, lParam);
    } catch (...) {
        // The host must survive whatever went wrong in one message; the window stays alive.
        return 0;
    }
}

}  // namespace qm
