// What every view window does alike: its pane bound to the window at WM_NCCREATE (it comes with
// the creation parameters) and let go at WM_NCDESTROY, no exception ever reaching the host, and
// the colours of the in-place value editor that the view hosts.
#pragma once

#include <windows.h>

namespace qm {

struct MainWindow;

// The window procedure of a view whose pane has the fields mainWindow and window; `dispatch`
// handles every other message once the pane is bound.
template <class Pane, LRESULT (*dispatch)(Pane&, HWND, UINT, WPARAM, LPARAM)>
LRESULT paneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* pane = static_cast<Pane*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            if (pane) {
                pane->window = window;
                SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pane));
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
        auto* pane = reinterpret_cast<Pane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!pane || !pane->mainWindow) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            pane->window = nullptr;
            return DefWindowProcW(window, message, wParam, lParam);
        }
        return dispatch(*pane, window, message, wParam, lParam);
    } catch (...) {
        // Nothing may reach the host; the view stays as it was.
        return 0;
    }
}

// WM_CTLCOLOREDIT of the in-place value editor: text and background colours, the editor's brush.
LRESULT editorColours(const MainWindow& main, WPARAM dc);

}  // namespace qm
