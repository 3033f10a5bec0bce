// The present forms of what the context menu and value editing will provide, so the main window
// and the views can call them already: the gestures that open the menu, the editor or the save
// prompt do nothing yet. The copy commands and the clipboard are complete.
#include <windows.h>

#include <cstring>

#include "appearance/draw_win.h"
#include "edit/convert.h"
#include "edit/nodetext.h"
#include "shell/mainwindow.h"

namespace qm {

namespace {

// Copy-as text: the subtree without the line breaks it may end with.
std::wstring copyAsText(const Node* node, const Document& doc) {
    std::wstring text = subtreeText(node, doc);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

}  // namespace

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
    const Document& doc = *main.document;
    std::wstring text;
    switch (id) {
        case kCmdCopyValue:
            if (node->kind == NodeKind::Element)
                text = isSimpleElement(node) ? textContent(node) : copyAsText(node, doc);
            else if (node->kind == NodeKind::Object || node->kind == NodeKind::Array)
                text = copyAsText(node, doc);
            else
                text = node->value;
            break;
        case kCmdCopyName: text = nodeLabel(node); break;
        case kCmdCopyPath: text = nodePath(node, doc.format); break;
        case kCmdCopyAs: text = copyAsText(node, doc); break;
        default: return;
    }
    CopyTextToClipboard(main.window, text);
}

void ShowContextMenu(MainWindow&, HWND, POINT) {}
void EditSelectedValue(MainWindow&) {}
void PromptUnsavedChanges(MainWindow&) {}
void SaveChanges(MainWindow&) {}


LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qm
