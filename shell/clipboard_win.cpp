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
    HGLOBAL memory = AllocateClipboardText(length);
    if (!memory) return false;
    bool written = false;
    if (void* target = GlobalLock(memory)) {
        wchar_t* out = static_cast<wchar_t*>(target);
        // A writer that runs out of memory leaves the clipboard untouched and the block freed.
        try {
            write(out);
            written = true;
        } catch (...) {
        }
        out[length] = L'\0';
        GlobalUnlock(memory);
    }
    if (written) return PlaceClipboardText(window, memory);
    GlobalFree(memory);
    return false;
}

HGLOBAL AllocateClipboardText(size_t length) {
    if (length >= SIZE_MAX / sizeof(wchar_t) - 1) return nullptr;
    return GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t));
}

bool PlaceClipboardText(HWND window, HGLOBAL block) {
    bool placed = false;
    if (OpenClipboard(window)) {
        EmptyClipboard();
        placed = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        CloseClipboard();
    }
    if (!placed) GlobalFree(block);
    return placed;
}

void RunCopyCommand(MainWindow& main, int id) {
    const Node* node = main.selected;
    if (!node || !main.document) return;
    std::wstring text;
    if (copyCommandText(node, *main.document, id, text)) CopyTextToClipboard(main.window, text);
}

}  // namespace qm
