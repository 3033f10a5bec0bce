// What the main window's procedure hands to the toolbar and status bar unit.
#pragma once

#include <windows.h>

namespace qm {

struct MainWindow;

// Reads the search box (at most 255 characters) and searches, wrapping around once.
void RunSearchFromBox(MainWindow& main, bool backwards);
// WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP and WM_MOUSELEAVE over the toolbar and status bar.
LRESULT ChromeMouseMessage(MainWindow& main, UINT message, LPARAM lParam);
// WM_COMMAND from the search box (EN_CHANGE); every other command does nothing.
LRESULT ChromeCommand(MainWindow& main, WPARAM wParam, LPARAM lParam);
// WM_CTLCOLOREDIT of the search box: its colours and the cached field brush.
LRESULT ChromeCtlColorEdit(MainWindow& main, HDC dc);

}  // namespace qm
