// The main window: creation with its three views, the document it shows, the shared selection,
// view switching, the keyboard table, settings written after every change, and the appearance.
#include "shell/mainwindow.h"
#include "shell/chrome_win.h"

#include <new>

#include "appearance/draw_win.h"
#include "shell/module.h"
#include "shell/settings.h"

namespace qm {

namespace {

const wchar_t kMainClass[] = L"QuillmapMain";
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

HWND createView(const wchar_t* className, DWORD style, HWND parent, void* pane) {
    return CreateWindowExW(0, className, L"", style, 0, 0, 0, 0, parent, nullptr, moduleHandle, pane);
}

}  // namespace

MainWindow* FindMainWindow(HWND window) {
    if (!window) return nullptr;
    wchar_t name[kClassNameBufferChars] = {};
    if (!GetClassNameW(window, name, kClassNameBufferChars)) return nullptr;
    if (lstrcmpW(name, kMainClass) != 0) return nullptr;
    return reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

MainWindow::~MainWindow() {
    if (gridPane.memoryDc) DeleteDC(gridPane.memoryDc);
    if (searchBrush) DeleteObject(searchBrush);
    if (editBrush) DeleteObject(editBrush);
}

bool MainWindow::Create(HWND host, int showFlags) {
    hostWindow = host;
    hostDark = (showFlags & 128) != 0;

    InitSettingsPath(L"");
    Settings s;
    ReadSettings(s);
    themeMode = s.themeMode;
    activeView = s.view;
    autoFit = s.autoFit;
    showCounts = s.showCounts;
    treePane.nameColumnWidth = static_cast<unsigned>(s.split);
    buttonsMode = s.buttonsMode;
    searchMode = s.searchMode;
    searchRegex = s.searchRegex;
    searchKeyChar = s.searchKeyChar;
    searchKeyShift = s.searchKeyShift;
    palette.lightSchemeName = s.lightSchemeName;
    palette.darkSchemeName = s.darkSchemeName;
    palette.contentFontName = s.contentFontName;
    palette.contentFontSize = s.contentFontSize;

    BuildPalette(palette, hostWindow, themeMode, hostDark);

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
    gridPane.memoryDc = CreateCompatibleDC(nullptr);
    createView(L"QuillmapGrid", kScrolledViewStyle, window, &gridPane);
    createView(L"QuillmapSource", kScrolledViewStyle, window, &sourcePane);
    for (HWND view : {treePane.window, gridPane.window, sourcePane.window}) ThemeScrollBars(view, palette.isDark);

    LayoutChrome(*this);
    ShowWindow(ActiveViewWindow(), SW_SHOW);
    return true;
}

void MainWindow::SetDocument(std::unique_ptr<Document> doc, const std::wstring& path) {
    selected = nullptr;
    lastMatch = nullptr;
    highlight.highlightActive = false;
    searchOutcome = SearchOutcome::Found;
    // The rows point into the old document: drop them before it goes.
    treePane.rows.clear();
    treePane.expanded.clear();
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
    if (window) InvalidateRect(window, nullptr, FALSE);
}

HWND MainWindow::ActiveViewWindow() const {
    switch (activeView) {
        case kViewGrid: return gridPane.window;
        case kViewSource: return sourcePane.window;
        default: return treePane.window;
    }
}

void MainWindow::SwitchView(int view) {
    if (view == activeView || view < 0 || view >= kViewCount) return;
    HWND old = ActiveViewWindow();
    activeView = view;
    RevealSelection();
    HWND now = ActiveViewWindow();
    ShowWindow(now, SW_SHOW);
    ShowWindow(old, SW_HIDE);
    SetFocus(now);
    SaveSettings();
    InvalidateRect(window, nullptr, FALSE);
}

void MainWindow::RevealSelection() {
    if (activeView == kViewTree) treePane.RevealNode(selected);
    // The grid and source views have nothing to reveal until they show the document.
}

void MainWindow::SelectNode(Node* node) {
    Node* shown = DisplayNode(node);
    if (shown == selected) return;
    selected = shown;
    RepaintStatus();
    RepaintActiveView();
}

void MainWindow::ExpandCollapseAll(bool expand) {
    if (activeView == kViewTree) treePane.ExpandAll(expand);
}

void MainWindow::SetAutoFit(bool on) {
    autoFit = on;
    SaveSettings();
    InvalidateRect(window, nullptr, FALSE);
}

void MainWindow::SetShowCounts(bool on) {
    showCounts = on;
    SaveSettings();
    treePane.Repaint();
    InvalidateRect(window, nullptr, FALSE);
}

bool MainWindow::HandleShortcut(WPARAM key) {
    const bool ctrl = keyDown(VK_CONTROL);
    const bool shift = keyDown(VK_SHIFT);
    const bool alt = keyDown(VK_MENU);
    if (searchKeyChar && key == static_cast<WPARAM>(searchKeyChar) && ctrl && !alt && shift == searchKeyShift &&
        searchMode != 0 && buttonsMode != 0) {
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

void MainWindow::SaveSettings() const {
    Settings s;
    s.view = activeView;
    s.split = static_cast<int>(treePane.nameColumnWidth);
    s.autoFit = autoFit;
    s.showCounts = showCounts;
    s.buttonsMode = buttonsMode;
    s.searchMode = searchMode;
    s.searchRegex = searchRegex;
    s.searchKeyChar = searchKeyChar;
    s.searchKeyShift = searchKeyShift;
    s.themeMode = themeMode;
    s.lightSchemeName = palette.lightSchemeName;
    s.darkSchemeName = palette.darkSchemeName;
    s.contentFontName = palette.contentFontName;
    s.contentFontSize = palette.contentFontSize;
    ::qm::SaveSettings(s);
}

void MainWindow::ForwardKey(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (hostWindow) PostMessageW(hostWindow, message, wParam, lParam);
}

void MainWindow::RepaintStatus() const {
    if (window) InvalidateRect(window, &statusRect, FALSE);
}

void MainWindow::RepaintActiveView() const {
    if (HWND view = ActiveViewWindow()) InvalidateRect(view, nullptr, FALSE);
}

void ApplyAppearance(MainWindow& main, bool hostDark) {
    main.hostDark = hostDark;
    AppearanceTargets targets;
    targets.searchBox = main.searchBox;
    targets.searchBrush = &main.searchBrush;
    targets.views[0] = main.treePane.window;
    targets.views[1] = main.gridPane.window;
    targets.views[2] = main.sourcePane.window;
    ApplyPalette(main.palette, main.window, main.themeMode, hostDark, targets);
    LayoutChrome(main);
    RepaintAll(main.window);
    SendClientSize(main.treePane.window);
}

// ---- window procedure ----

namespace {

LRESULT onNcCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* main = static_cast<MainWindow*>(create->lpCreateParams);
    if (main) {
        main->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(main));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT onNcDestroy(MainWindow* main, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The tooltip is a popup: its owner is the host's top-level window, not this child window,
    // so it would outlive the plug-in window (one leaked window per file shown).
    if (main->tooltip) DestroyWindow(main->tooltip);
    main->tooltip = nullptr;
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    main->window = nullptr;
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

LRESULT dispatch(MainWindow& main, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: LayoutChrome(main); return 0;
        case WM_SETFOCUS: SetFocus(main.ActiveViewWindow()); return 0;
        case WM_PAINT: return onPaint(main, window, nullptr);
        case WM_PRINTCLIENT: return onPaint(main, window, reinterpret_cast<HDC>(wParam));
        case WM_ERASEBKGND: return 1;
        case WM_KEYDOWN: return onKeyDown(main, message, wParam, lParam);
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

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) return onNcCreate(window, message, wParam, lParam);
        auto* main = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!main) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) return onNcDestroy(main, window, message, wParam, lParam);
        return dispatch(*main, window, message, wParam, lParam);
    } catch (...) {
        // The host must survive whatever went wrong in one message; the window stays alive.
        return 0;
    }
}

}  // namespace qm
