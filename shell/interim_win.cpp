// The present forms of what the context menu, the grid and source views and value editing will
// provide, so the main window and the views can call them already: the grid and source windows
// are empty views that pass keys on like every view, and the gestures that open the menu, the
// editor or the save prompt do nothing yet.
#include <windows.h>

#include "appearance/draw_win.h"
#include "edit/editing.h"
#include "shell/mainwindow.h"
#include "shell/windowstate_win.h"

namespace qm {

void ShowContextMenu(MainWindow&, HWND, POINT) {}
void EditSelectedValue(MainWindow&) {}
void PromptUnsavedChanges(MainWindow&) {}
void SaveChanges(MainWindow&) {}

namespace {

void fillColour(HDC dc, const RECT& rect, COLORREF colour) {
    BrushHandle brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

// An empty view: its own background, the keyboard table first and every other key to the host.
template <class Pane>
LRESULT emptyViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) return bindWindowState<Pane>(window, message, wParam, lParam);
        auto* pane = windowState<Pane>(window);
        if (!pane || !pane->mainWindow) return DefWindowProcW(window, message, wParam, lParam);
        MainWindow& main = *pane->mainWindow;
        switch (message) {
            case WM_NCDESTROY:
                unbindWindowState(window, *pane);
                return DefWindowProcW(window, message, wParam, lParam);
            case WM_PAINT:
            case WM_PRINTCLIENT: {
                BufferedPaint paint(window, message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr);
                if (paint.dc()) fillColour(paint.dc(), paint.client(), main.palette.color(ColorSlot::background));
                return 0;
            }
            case WM_ERASEBKGND: return 1;
            case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
            case WM_KEYDOWN:
                if (!main.HandleShortcut(wParam)) main.ForwardKey(message, wParam, lParam);
                return 0;
            case WM_CHAR: return 0;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN: SetFocus(window); return 0;
            default: return DefWindowProcW(window, message, wParam, lParam);
        }
    } catch (...) {
        return 0;
    }
}

}  // namespace

LRESULT CALLBACK GridWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return emptyViewProc<GridPane>(window, message, wParam, lParam);
}

LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return emptyViewProc<SourcePane>(window, message, wParam, lParam);
}

LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qm
