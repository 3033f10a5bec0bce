// Every window of the plug-in keeps its state object in its user data (GWLP_USERDATA): the state
// comes as the creation parameter and is bound at WM_NCCREATE, where it also learns its window's
// handle; every later message looks it up; WM_NCDESTROY lets it go. A state type has a `window`
// field for the handle.
#pragma once

#include <windows.h>

namespace qm {

// WM_NCCREATE (lParam is the CREATESTRUCTW): binds the creation parameter's state to the window,
// then default processing. A window created without a state stays unbound.
template <class State>
LRESULT bindWindowState(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = static_cast<State*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (state) {
        state->window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The state bound to the window; null before WM_NCCREATE and after WM_NCDESTROY.
template <class State>
State* windowState(HWND window) {
    return reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// At WM_NCDESTROY: the window forgets its state and the state its window.
template <class State>
void unbindWindowState(HWND window, State& state) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    state.window = nullptr;
}

}  // namespace qm
