// Value editing as the main window and the views reach it: the "Edit value" command, saving the
// changes, the unsaved-changes question before a modified document goes, and the edit dialog's
// window procedure. Until the editors are built, shell/interim_win.cpp holds stand-ins that do
// nothing.
#pragma once

#ifdef _WIN32
#include <windows.h>

namespace qm {

struct MainWindow;

// Edits the selected node's value (Ctrl+E, F4, the menu and the views' edit gestures).
void EditSelectedValue(MainWindow& main);
// Writes the modified document back to its file (Ctrl+S and the menu).
void SaveChanges(MainWindow& main);
// The unsaved-changes question before a modified document is closed or replaced.
void PromptUnsavedChanges(MainWindow& main);
LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace qm
#endif
