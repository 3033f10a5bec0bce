// The present forms of what value editing will provide, so the main window, the views and the
// context menu can call them already: the gestures that open the editor or the save prompt do
// nothing yet.
#include <windows.h>

#include "edit/editing.h"
#include "shell/mainwindow.h"

namespace qm {

void EditSelectedValue(MainWindow&) {}
void PromptUnsavedChanges(MainWindow&) {}
void SaveChanges(MainWindow&) {}

LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qm
