// "Go to path" (Ctrl+G): a one-line field at the top of the active view takes a path as "Copy
// path" writes it for the document's format (JSONPath, XPath, a dotted TOML path or a registry
// path), typed or pasted; Enter selects and reveals the node it names, or the status bar says
// that no node has that path.
#include <windows.h>

#include <cwctype>
#include <string>

#include "document/language.h"
#include "edit/editing.h"
#include "edit/pathfind.h"
#include "shell/mainwindow.h"
#include "shell/match.h"

namespace qm {

namespace {

constexpr int kPathFieldMargin = 4;   // DIPs around the field inside the view
constexpr int kPathFieldExtra = 8;    // DIPs of height beyond a row

std::wstring trimmed(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && iswspace(text[begin])) ++begin;
    while (end > begin && iswspace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

void GoToPath(MainWindow& main) {
    if (!main.document || !main.document->root) return;
    RECT client{};
    GetClientRect(main.ActiveViewWindow(), &client);
    const Palette& pal = main.palette;
    const int margin = pal.scale(kPathFieldMargin);
    const RECT field{client.left + margin, client.top + margin, client.right - margin,
                     client.top + margin + pal.rowHeight + pal.scale(kPathFieldExtra)};
    std::wstring text;
    const std::wstring cue = tr(L"Go to path (JSONPath, XPath, dotted or registry path) \u2013 Enter",
                                L"Gehe zu Pfad (JSONPath, XPath, Punkt- oder Registrierungspfad) \u2013 Eingabe");
    if (!AskInPlace(main, field, cue.c_str(), text)) return;
    GoToPathText(main, trimmed(text));
}

void GoToPathText(MainWindow& main, const std::wstring& path) {
    if (!main.document || path.empty()) return;
    Node* node = findByPath(*main.document, path);
    if (!node) {
        main.chrome.notice = tr(L"No node has the path ", L"Kein Knoten hat den Pfad ") + path;
        main.RepaintStatus();
        return;
    }
    main.SelectNode(DisplayNode(node));
    main.RevealSelection();
    main.chrome.notice.clear();
    main.RepaintStatus();
    SetFocus(main.ActiveViewWindow());
}

}  // namespace qm
