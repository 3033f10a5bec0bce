// The in-place value editor's colours, the same in every view.
#include "views/viewwindow_win.h"

#include "shell/mainwindow.h"

namespace qm {

LRESULT editorColours(const MainWindow& main, WPARAM wParam) {
    const Palette& pal = main.palette;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, pal.color(ColorSlot::text));
    SetBkColor(dc, pal.color(ColorSlot::background));
    return reinterpret_cast<LRESULT>(main.editBrush);
}

}  // namespace qm
