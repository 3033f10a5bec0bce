// The present forms of what the context menu, the source view and value editing will
// provide, so the main window and the views can call them already: the source window
// is an empty view that passes keys on like every view, and the gestures that open the menu, the
// editor or the save prompt do nothing yet. The copy commands and the clipboard are complete.
#include <windows.h>

#include <cstring>

#include "appearance/draw_win.h"
#include "edit/convert.h"
#include "edit/nodetext.h"
#include "shell/mainwindow.h"

namespace qm {

namespace {

void fillColour(HDC dc, const RECT& rect, COLORREF colour) {
    BrushHandle brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

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

namespace {

// An empty view: its own background, the keyboard table first and every other key to the host.
template <class Pane>
LRESULT emptyViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_NCCREATE) {
            auto* pane = static_cast<Pane*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            if (pane) {
                pane->window = window;
                SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pane));
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
        auto* pane = reinterpret_cast<Pane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!pane || !pane->mainWindow) return DefWindowProcW(window, message, wParam, lParam);
        MainWindow& main = *pane->mainWindow;
        switch (message) {
            case WM_NCDESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                pane->window = nullptr;
                return DefWindowProcW(window, message, wParam, lParam);
            case WM_PAINT:
            case WM_PRINTCLIENT: {
                BufferedPaint paint(window, message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr);
                if (paint.dc()) fillColour(paint.dc(), paint.client(), main.palette.color(ColorSlot::background));
                return 0;
            }
            case WM_ERASEBKGND: return 1;
            case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
            case WM_KEYDOWN:
                if (!main.HandleShortcut(wParam)) main.ForwardKey(message, wParam, lParam);
                return 0;
            case WM_CHAR: return 0;
            case WM_LBUTTONDOWN:
            case WM_RBUTTONDOWN: SetFocus(window); return 0;
            default: return DefWindowProcW(window, message, wParam, lParam);
        }
    } catch (...) {
        return 0;
    }
}

}  // namespace

LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return emptyViewProc<SourcePane>(window, message, wParam, lParam);
}

LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace qm
