// What every view window does alike: its pane bound to the window at WM_NCCREATE (it comes with
// the creation parameters) and let go at WM_NCDESTROY, and no exception ever reaching the host.
#pragma once

#include <windows.h>

#include "shell/windowstate_win.h"

namespace qm {

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
        return dispatch(*pane, window, message, wParam, lParam);
    } catch (...) {
        // Nothing may reach the host; the view stays as it was.
        return 0;
    }
}

}  // namespace qm
