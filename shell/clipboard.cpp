// The texts of the copy commands.
#include "shell/clipboard.h"

#include <vector>

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

// Writes a cell's text with tabs and line breaks made safe for tab-separated text (and NUL
// characters shown as on screen) at `out`, or only counts it when `out` is null; returns the length.
size_t putCell(wchar_t* out, std::wstring_view text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\r' || c == L'\n') {
            while (i + 1 < text.size() && (text[i + 1] == L'\r' || text[i + 1] == L'\n' || text[i + 1] == L' ' ||
                                           text[i + 1] == L'\t'))
                ++i;
            c = L' ';
        } else if (c == L'\t') {
            c = L' ';
        } else if (c == L'\0') {
            c = kNulSymbol;
        }
        if (out) out[n] = c;
        ++n;
    }
    return n;
}

// The table's text at `out`, or only its length when `out` is null: the same walk sizes the
// buffer and then fills it, so a table of any size is copied into exactly the memory it needs.
// Plain values are read where they stand; the texts of containers and elements are written out
// once, by the sizing walk, which keeps them in `made` for the filling walk.
size_t putTable(wchar_t* out, const GridFrame& f, const Document& doc, std::vector<std::wstring>& made) {
    size_t n = 0;
    auto put = [&](std::wstring_view text) { n += putCell(out ? out + n : nullptr, text); };
    auto putChar = [&](wchar_t c) {
        if (out) out[n] = c;
        ++n;
    };
    auto putBreak = [&] {
        putChar(L'\r');
        putChar(L'\n');
    };
    const size_t columns = static_cast<size_t>(f.columnCount);
    for (size_t c = 0; c < columns; ++c) {
        if (c) putChar(L'\t');
        put(f.rows[c].label.empty() && f.rows[c].kind == NodeKind::Text ? L"#text" : f.rows[c].label);
    }
    putBreak();
    const RecordColumns byColumn(f.rows, columns, f.key->kind == NodeKind::Object);
    std::vector<std::pair<int32_t, const Node*>> cells;
    size_t next = 0;  // the filling walk's place in `made`
    for (const Node* record : f.records) {
        byColumn.cellsOf(record, cells);
        size_t at = 0;
        for (size_t c = 0; c < columns; ++c) {
            if (c) putChar(L'\t');
            for (bool first = true; at < cells.size() && cells[at].first == static_cast<int32_t>(c); ++at, first = false) {
                if (!first) putChar(L' ');
                const Node* node = cells[at].second;
                if (node != record && node->kind != NodeKind::Element && node->kind != NodeKind::Object &&
                    node->kind != NodeKind::Array) {
                    put(node->value.view());
                    continue;
                }
                if (!out) {
                    made.emplace_back();
                    if (node == record)
                        made.back() = textContent(node);  // the record's own text
                    else
                        copyCommandText(node, doc, kCmdCopyValue, made.back());
                    put(made.back());
                } else if (next < made.size()) {
                    put(made[next++]);
                }
            }
        }
        putBreak();
    }
    return n;
}

}  // namespace

std::wstring tableText(const GridBox& table, const Document& doc) {
    if (table.type != GridBoxType::Table || !table.frame || !table.frame->key) return {};
    std::vector<std::wstring> made;
    std::wstring out(putTable(nullptr, *table.frame, doc, made), L'\0');
    putTable(out.data(), *table.frame, doc, made);
    return out;
}

void showNulCharacters(std::wstring& text) {
    for (wchar_t& c : text)
        if (c == L'\0') c = kNulSymbol;
}

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
