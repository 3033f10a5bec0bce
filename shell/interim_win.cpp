// The present form of what the context menu will provide, so the main window and the views can
// call it already: the gesture that opens the menu does nothing yet.
#include <windows.h>

#include "shell/mainwindow.h"

namespace qm {

void ShowContextMenu(MainWindow&, HWND, POINT) {}

}  // namespace qm
