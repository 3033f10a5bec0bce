// The copy commands on the main window's selection, and the clipboard.
#include <windows.h>

#include <cstring>

#include "shell/clipboard.h"
#include "shell/mainwindow.h"

namespace qm {

bool CopyTextToClipboard(HWND window, const std::wstring& text) {
    return CopyTextToClipboard(window, text.size(), [&](wchar_t* out) { std::memcpy(out, text.data(), text.size() * sizeof(wchar_t)); });
}

bool CopyTextToClipboard(HWND window, size_t length, const std::function<void(wchar_t*)>& write) {
    if (length >= SIZE_MAX / sizeof(wchar_t) || !OpenClipboard(window)) return false;
    EmptyClipboard();
    bool placed = false;
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t))) {
        if (void* target = GlobalLock(memory)) {
            wchar_t* out = static_cast<wchar_t*>(target);
            // A writer that runs out of memory leaves the clipboard closed and the block freed.
            bool written = false;
            try {
                write(out);
                written = true;
            } catch (...) {
            }
            out[length] = L'\0';
            GlobalUnlock(memory);
            placed = written && SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
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
