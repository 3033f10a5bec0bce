// What every view window does alike: its pane bound to the window at WM_NCCREATE (it comes with
// the creation parameters) and let go at WM_NCDESTROY, the context menu on the context-menu key
// and Shift+F10, and no exception ever reaching the host.
#pragma once

#include <windows.h>

#include "shell/menu.h"
#include "shell/windowstate_win.h"

namespace qm {

struct MainWindow;

// WM_CONTEXTMENU of a view: the menu opens at the mouse, or, from the keyboard (the context-menu
// key or Shift+F10 send the point -1, -1), at `keyboardPoint` in the view's client area.
LRESULT ShowViewContextMenu(MainWindow& main, HWND view, LPARAM lParam, POINT keyboardPoint);

// The window procedure of a view whose pane has the fields mainWindow and window; `dispatch`
// handles every other message once the pane is bound.
template <class Pane, LRESULT (*dispatch)(Pane&, HWND, UINT, WPARAM, LPARAM)>
LRESULT paneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) return bindWindowState<Pane>(window, message, wParam, lParam);
        auto* pane = windowState<Pane>(window);
        if (!pane || !pane->mainWindow) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            unbindWindowState(window, *pane);
            return DefWindowProcW(window, message, wParam, lParam);
        }
        if (IsContextMenuKey(message, wParam)) {
            // The key's release is kept from DefWindowProc too, which would open the menu again.
            if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
                SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(-1, -1));
            return 0;
        }
        return dispatch(*pane, window, message, wParam, lParam);
    } catch (...) {
        // Nothing may reach the host; the view stays as it was.
        return 0;
    }
}

}  // namespace qm
