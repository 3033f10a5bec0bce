// The toolbar, search box and status bar unit: what the main window and its procedure call.
#pragma once

#include <windows.h>

namespace qm {

struct MainWindow;

// Places the buttons, the search box, the views and the status bar for the window's size and
// the "Buttons"/"Search" settings; rebuilds the tooltips and repaints.
void LayoutChrome(MainWindow& main);
// Paints the toolbar strip and the status bar (the views paint themselves).
void PaintChrome(MainWindow& main, HDC dc, const RECT& client);
// Opens the search field when it sits behind its button, then focuses it with its text selected.
void FocusSearchBox(MainWindow& main);
// Reads the search box (at most 255 of its characters; typing stops at 200) and searches,
// wrapping around once.
void RunSearchFromBox(MainWindow& main, bool backwards);
// WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP and WM_MOUSELEAVE over the toolbar and status bar.
LRESULT ChromeMouseMessage(MainWindow& main, UINT message, LPARAM lParam);
// WM_COMMAND from the search box (EN_CHANGE); every other command does nothing.
LRESULT ChromeCommand(MainWindow& main, WPARAM wParam, LPARAM lParam);
// WM_CTLCOLOREDIT of the search box: its colours and the cached field brush.
LRESULT ChromeCtlColorEdit(MainWindow& main, HDC dc);

}  // namespace qm
