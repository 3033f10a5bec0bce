// The copy commands on the main window's selection, and the clipboard.
#include <windows.h>

#include <cstring>

#include "shell/clipboard.h"
#include "shell/mainwindow.h"

namespace qm {

bool CopyTextToClipboard(HWND window, const std::wstring& text) {
    if (!OpenClipboard(window)) return false;
    EmptyClipboard();
    bool placed = false;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* target = GlobalLock(memory)) {
            std::memcpy(target, text.c_str(), bytes);
            GlobalUnlock(memory);
            placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        }
        if (!placed) GlobalFree(memory);
    }
    CloseClipboard();
    return placed;
}

void RunCopyCommand(MainWindow& main, int id) {
    const Node* node = main.selected;
    if (!node || !main.document) return;
    std::wstring text;
    if (copyCommandText(node, *main.document, id, text)) CopyTextToClipboard(main.window, text);
}

}  // namespace qm
