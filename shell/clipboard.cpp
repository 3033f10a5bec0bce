// The texts of the copy commands.
#include "shell/clipboard.h"

#include <algorithm>

#include "edit/convert.h"
#include "edit/nodetext.h"
#include "views/grid.h"
#include "views/gridtable.h"

namespace qm {

namespace {

// Copy-as text: the subtree without the line breaks it may end with.
std::wstring copyAsText(const Node* node, const Document& doc) {
    std::wstring text = subtreeText(node, doc);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

// Appends a cell's text with tabs and line breaks made safe for tab-separated text.
void appendCell(std::wstring& out, std::wstring_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            while (i + 1 < text.size() && (text[i + 1] == L'\r' || text[i + 1] == L'\n' || text[i + 1] == L' ' ||
                                           text[i + 1] == L'\t'))
                ++i;
            out += L' ';
        } else {
            out += c == L'\t' ? L' ' : c;
        }
    }
}

}  // namespace

std::wstring tableText(const GridBox& table, const Document& doc) {
    std::wstring out;
    if (table.type != GridBoxType::Table || !table.frame || !table.frame->key) return out;
    const GridFrame& f = *table.frame;
    const size_t columns = static_cast<size_t>(f.columnCount);
    for (size_t c = 0; c < columns; ++c) {
        if (c) out += L'\t';
        appendCell(out, f.rows[c].label.empty() && f.rows[c].kind == NodeKind::Text ? L"#text" : f.rows[c].label);
    }
    out += L"\r\n";
    const RecordColumns byColumn(f.rows, columns, f.key->kind == NodeKind::Object);
    std::vector<std::pair<int32_t, const Node*>> cells;
    std::wstring value;
    for (const Node* record : f.records) {
        byColumn.cellsOf(record, cells);
        size_t at = 0;
        for (size_t c = 0; c < columns; ++c) {
            if (c) out += L'\t';
            for (bool first = true; at < cells.size() && cells[at].first == static_cast<int32_t>(c); ++at, first = false) {
                if (!first) out += L' ';
                const Node* node = cells[at].second;
                if (node == record)
                    value = textContent(node);  // the record's own text
                else
                    copyCommandText(node, doc, kCmdCopyValue, value);
                appendCell(out, value);
            }
        }
        out += L"\r\n";
    }
    return out;
}

void showNulCharacters(wchar_t* text, size_t length) { std::replace(text, text + length, L'\0', kNulSymbol); }

void showNulCharacters(std::wstring& text) { showNulCharacters(text.data(), text.size()); }

bool copyCommandText(const Node* node, const Document& doc, int id, std::wstring& text) {
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
        default: return false;
    }
    showNulCharacters(text);
    return true;
}

}  // namespace qm
