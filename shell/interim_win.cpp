// The present forms of what the context menu and value editing will provide, so the main window
// and the views can call them already: the gestures that open the menu, the editor or the save
// prompt do nothing yet.
#include <windows.h>

#include "edit/editing.h"
#include "shell/mainwindow.h"

namespace qm {

void ShowContextMenu(MainWindow&, HWND, POINT) {}
void EditSelectedValue(MainWindow&) {}
void PromptUnsavedChanges(MainWindow&) {}
void SaveChanges(MainWindow&) {}

LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qm
