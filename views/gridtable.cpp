// Sorting a record table's rows by one column, and finding the nodes of a record's cells.
#include "views/gridtable.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "document/chars.h"
#include "views/grid.h"

namespace qm {

size_t sortComparisons = 0;

namespace {

// Where a header's column finds its nodes; records that are objects have members only.
enum : uint8_t { kByMember = 0, kByAttribute = 1, kByElement = 2, kNoCategory = 0xFF };

uint8_t categoryOf(const GridRow& header, bool objects) {
    if (objects) return kByMember;
    return header.kind == NodeKind::Attribute ? kByAttribute : kByElement;
}

// A cell's place in the order: numbers, then texts, then cells that hold more than one value.
enum SortRank : uint8_t { kRankNumber = 0, kRankText = 1, kRankNested = 2, kRankMissing = 3 };

// One row's key: the number, or the position of its text's key in a list beside the entries.
struct SortEntry {
    uint8_t rank = kRankMissing;
    uint32_t row = 0;
    uint32_t text = 0;
    double number = 0;
};

// The whole text as a finite decimal number (no hex, "inf" or "nan", which wcstod also takes).
bool decimalValue(std::wstring_view text, double& value) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    constexpr size_t kLongest = 64;
    if (text.empty() || text.size() > kLongest) return false;
    for (wchar_t c : text)
        if (!((c >= L'0' && c <= L'9') || c == L'-' || c == L'+' || c == L'.' || c == L'e' || c == L'E'))
            return false;
    wchar_t copy[kLongest + 1];
    text.copy(copy, text.size());
    copy[text.size()] = 0;
    wchar_t* end = nullptr;
    value = std::wcstod(copy, &end);
    return end == copy + text.size() && std::isfinite(value);
}

std::string lowerKey(std::wstring_view text) {
    std::string key;
    key.reserve(text.size() * 2);
    for (wchar_t c : text) {
        const unsigned unit = static_cast<uint16_t>(toLower(c));
        key += static_cast<char>(unit >> 8);
        key += static_cast<char>(unit & 0xFF);
    }
    return key;
}

}  // namespace

RecordColumns::RecordColumns(const std::vector<GridRow>& headers, size_t columnCount, bool objects) : objects_(objects) {
    for (size_t c = 0; c < columnCount && c < headers.size(); ++c) {
        const GridRow& header = headers[c];
        names_.emplace_back(kNoCategory, std::wstring_view{});
        if (!objects && header.kind == NodeKind::Text) {
            textColumn_ = static_cast<int32_t>(c);
            continue;
        }
        const auto name = std::make_pair(categoryOf(header, objects), std::wstring_view(header.label));
        if (byName_.emplace(name, static_cast<int32_t>(c)).second) names_.back() = name;
    }
}

const Node* RecordColumns::cellOf(const Node* record, int32_t column, size_t& count) const {
    count = 0;
    if (column < 0 || static_cast<size_t>(column) >= names_.size()) return nullptr;
    const auto& [category, name] = names_[static_cast<size_t>(column)];
    if (objects_) {
        if (record->kind != NodeKind::Object || category == kNoCategory) return nullptr;
        for (const Node* member : record->children)
            if (member->kind != NodeKind::Comment && member->name.view() == name) {
                count = 1;  // members of one name after the first are not shown
                return member;
            }
        return nullptr;
    }
    const Node* found = nullptr;
    for (size_t i = 0; i < record->children.size(); ++i) {
        const Node* child = record->children[i];
        bool in = false;
        if (column == textColumn_) {
            // The record's own text is one cell, however many text nodes it has.
            if (i >= record->attributeCount && (child->kind == NodeKind::Text || child->kind == NodeKind::CData)) {
                count = 1;
                return record;
            }
        } else if (i < record->attributeCount) {
            in = category == kByAttribute && child->name.view() == name;
        } else if (child->kind == NodeKind::Element) {
            in = category == kByElement && child->name.view() == name;
        }
        if (in && count++ == 0) found = child;
    }
    return found;
}

int32_t RecordColumns::columnOf(const Node* record, const Node* node) const {
    const Node* below = node;
    while (below && below->parent != record) below = below->parent;
    if (!below) return -1;
    std::vector<std::pair<int32_t, const Node*>> cells;
    cellsOf(record, cells);
    const bool text = below->kind == NodeKind::Text || below->kind == NodeKind::CData;
    for (const auto& [c, cell] : cells)
        if (cell == below || (text && cell == record)) return c;
    return -1;
}

void RecordColumns::cellsOf(const Node* record, std::vector<std::pair<int32_t, const Node*>>& out) const {
    out.clear();
    auto find = [&](uint8_t category, const Node* child) {
        const auto it = byName_.find({category, child->name.view()});
        return it == byName_.end() ? -1 : it->second;
    };
    if (objects_) {
        if (record->kind != NodeKind::Object) return;
        for (const Node* member : record->children) {
            if (member->kind == NodeKind::Comment) continue;
            const int32_t c = find(kByMember, member);
            if (c >= 0) out.push_back({c, member});
        }
        // Members of one name after the first are not shown: the first wins.
        std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        out.erase(std::unique(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                  out.end());
        return;
    }
    bool text = false;
    for (size_t i = 0; i < record->children.size(); ++i) {
        const Node* child = record->children[i];
        int32_t c = -1;
        if (i < record->attributeCount)
            c = find(kByAttribute, child);
        else if (child->kind == NodeKind::Element)
            c = find(kByElement, child);
        else if ((child->kind == NodeKind::Text || child->kind == NodeKind::CData) && !text)
            c = textColumn_;
        if (c < 0) continue;
        text = text || c == textColumn_;
        out.push_back({c, c == textColumn_ ? record : child});
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

GridSortKey nextSortKey(const GridSortKey& current, int32_t column) {
    if (current.column != column) return {column, false};
    if (!current.descending) return {column, true};
    return {};
}

std::vector<uint32_t> sortedRows(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey) {
    std::vector<SortEntry> entries(records.size());
    std::vector<std::string> texts;
    for (size_t r = 0; r < records.size(); ++r) {
        SortEntry& e = entries[r];
        e.row = static_cast<uint32_t>(r);
        size_t inColumn = 0;
        const Node* found = columns.cellOf(records[r], column, inColumn);
        if (!found) continue;
        const bool container = found->kind == NodeKind::Object || found->kind == NodeKind::Array ||
                               (found->kind == NodeKind::Element && !isSimpleElement(found) && found != records[r]);
        if (inColumn > 1 || container) {
            e.rank = kRankNested;
            continue;
        }
        std::wstring owned;
        std::wstring_view text;
        if (found->kind == NodeKind::Element) {
            owned = textContent(found);
            text = owned;
        } else {
            text = found->value.view();
        }
        if (decimalValue(text, e.number)) {
            e.rank = kRankNumber;
            continue;
        }
        // Only text cells get a collation key, once per row rather than per comparison.
        e.rank = kRankText;
        e.text = static_cast<uint32_t>(texts.size());
        text = text.substr(0, kSortTextLimit);
        texts.push_back(textKey ? textKey(text) : lowerKey(text));
    }
    auto less = [&](const SortEntry& a, const SortEntry& b) {
        ++sortComparisons;
        if (a.rank != b.rank) {
            if (a.rank == kRankMissing || b.rank == kRankMissing) return b.rank == kRankMissing;
            return descending ? a.rank > b.rank : a.rank < b.rank;
        }
        switch (a.rank) {
            case kRankNumber: return descending ? b.number < a.number : a.number < b.number;
            case kRankText: return descending ? texts[b.text] < texts[a.text] : texts[a.text] < texts[b.text];
            default: return false;
        }
    };
    std::stable_sort(entries.begin(), entries.end(), less);
    std::vector<uint32_t> order;
    order.reserve(entries.size());
    for (const SortEntry& e : entries) order.push_back(e.row);
    return order;
}

std::vector<Node*> sortedRecords(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey) {
    std::vector<Node*> sorted;
    sorted.reserve(records.size());
    for (uint32_t r : sortedRows(records, columns, column, descending, textKey)) sorted.push_back(records[r]);
    return sorted;
}

}  // namespace qm
