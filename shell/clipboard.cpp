// The texts of the copy commands.
#include "shell/clipboard.h"

#include <algorithm>
#include <cstdint>
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

// A cell's character as tab-separated text takes it: tabs as spaces, NUL characters as on screen.
wchar_t safeChar(wchar_t c) {
    if (c == L'\t') return L' ';
    return c == L'\0' ? kNulSymbol : c;
}

}  // namespace

TableCopy::TableCopy(const GridFrame& table, const Document& doc)
    : doc_(doc), records_(table.records), nodeCount_(doc.nodes.size()) {
    const size_t columns = static_cast<size_t>(std::max(table.columnCount, 0));
    // The header's names are kept here: the grid may be built again while the copy goes on.
    for (size_t c = 0; c < columns && c < table.rows.size(); ++c)
        names_.emplace_back(table.rows[c].label.empty() && table.rows[c].kind == NodeKind::Text ? L"#text"
                                                                                               : table.rows[c].label);
    for (size_t c = 0; c < names_.size(); ++c) {
        GridRow header = table.rows[c];
        header.label = names_[c];
        header.note = {};
        headers_.push_back(header);
    }
    objects_ = table.key && table.key->kind == NodeKind::Object;
    columns_ = std::make_unique<RecordColumns>(headers_, headers_.size(), objects_);
}

TableCopy::~TableCopy() = default;

void TableCopy::put(wchar_t c) {
    // The filling walk writes only inside the buffer the sizing walk measured.
    if (filling_ && length_ < text_.size()) text_[length_] = c;
    ++length_;
}

void TableCopy::putCell(std::wstring_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' || text[i] == L'\n') {
            // A line break and the indentation after it become one space.
            while (i + 1 < text.size() && (text[i + 1] == L'\r' || text[i + 1] == L'\n' || text[i + 1] == L' ' ||
                                           text[i + 1] == L'\t'))
                ++i;
            put(L' ');
        } else {
            put(safeChar(text[i]));
        }
    }
}

void TableCopy::putHeader() {
    for (size_t c = 0; c < names_.size(); ++c) {
        if (c) put(L'\t');
        putCell(names_[c]);
    }
    put(L'\r');
    put(L'\n');
}

void TableCopy::putRecord(const Node* record) {
    columns_->cellsOf(record, cells_);
    size_t at = 0;
    for (size_t c = 0; c < names_.size(); ++c) {
        if (c) put(L'\t');
        for (bool first = true; at < cells_.size() && cells_[at].first == static_cast<int32_t>(c); ++at, first = false) {
            if (!first) put(L' ');
            const Node* node = cells_[at].second;
            if (node != record && node->kind != NodeKind::Element && node->kind != NodeKind::Object &&
                node->kind != NodeKind::Array) {
                putCell(node->value.view());  // plain values are read where they stand
                continue;
            }
            // The texts of containers and elements are written out once, by the sizing walk.
            if (!filling_) {
                made_.emplace_back();
                if (node == record)
                    made_.back() = textContent(node);  // the record's own text
                else
                    copyCommandText(node, doc_, kCmdCopyValue, made_.back());
                putCell(made_.back());
            } else if (nextMade_ < made_.size()) {
                putCell(made_[nextMade_++]);
            }
        }
    }
    put(L'\r');
    put(L'\n');
}

bool TableCopy::Step(size_t records) {
    if (done_) return true;
    // Nodes added or taken away (an edit saved and read again) end the copy with nothing.
    if (doc_.nodes.size() != nodeCount_) {
        text_.clear();
        done_ = true;
        return true;
    }
    for (size_t walked = 0; walked < records; ++walked) {
        if (next_ == 0) putHeader();
        if (next_ < records_.size()) {
            putRecord(records_[next_++]);
            continue;
        }
        if (filling_) {
            // A value changed between the walks would leave the buffer short or long: no text then.
            if (length_ != text_.size()) text_.clear();
            made_.clear();
            done_ = true;
            return true;
        }
        // The sizing walk is done: one buffer of exactly that size, and the filling walk.
        text_.assign(length_, L'\0');
        filling_ = true;
        next_ = 0;
        length_ = 0;
    }
    return false;
}

int TableCopy::Progress() const {
    const size_t n = std::max<size_t>(records_.size(), 1);
    return static_cast<int>(std::min<size_t>(99, (filling_ ? 50 : 0) + next_ * 50 / n));
}

std::wstring tableText(const GridBox& table, const Document& doc) {
    if (table.type != GridBoxType::Table || !table.frame || !table.frame->key) return {};
    TableCopy copy(*table.frame, doc);
    while (!copy.Step(SIZE_MAX)) {
    }
    return std::move(copy.Text());
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
