// Sorting a record table's rows by one column, and finding the nodes of a record's cells.
#include "views/gridtable.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <deque>
#include <unordered_map>

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

// Digits a double holds exactly, and the powers of ten it holds exactly.
constexpr int kExactDigits = 15;
constexpr int kExactPowers = 22;

// The value of the common numbers of a table (an optional sign, at most 15 significant digits,
// a fraction, a small exponent) without wcstod, which is slow where its runtime is: the digits
// form an exact integer, and one multiplication or division by an exact power of ten rounds it
// as wcstod does. False for anything else, which wcstod then reads.
bool quickDecimal(std::wstring_view text, double& value) {
    size_t i = 0;
    const bool negative = i < text.size() && text[i] == L'-';
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) ++i;
    uint64_t digits = 0;
    int significant = 0, scale = 0, seen = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'.' && !point) {
            point = true;
            continue;
        }
        if (c < L'0' || c > L'9') break;
        ++seen;
        if (digits == 0 && c == L'0') {
            if (point) --scale;
            continue;
        }
        if (++significant > kExactDigits) return false;
        digits = digits * 10 + static_cast<uint64_t>(c - L'0');
        if (point) --scale;
    }
    if (seen == 0) return false;
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        ++i;
        const bool down = i < text.size() && text[i] == L'-';
        if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) ++i;
        int exponent = 0, expDigits = 0;
        for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9' && exponent < 1000; ++i, ++expDigits)
            exponent = exponent * 10 + (text[i] - L'0');
        if (expDigits == 0) return false;
        scale += down ? -exponent : exponent;
    }
    if (i != text.size()) return false;
    if (digits == 0) scale = 0;
    if (scale < -kExactPowers || scale > kExactPowers) return false;
    static constexpr double kPowers[kExactPowers + 1] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double v = static_cast<double>(digits);
    v = scale < 0 ? v / kPowers[-scale] : v * kPowers[scale];
    value = negative ? -v : v;
    return true;
}

}  // namespace

bool cellNumber(std::wstring_view text, double& value) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    constexpr size_t kLongest = 64;
    if (text.empty() || text.size() > kLongest) return false;
    if (quickDecimal(text, value)) return true;
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

namespace {

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
    const size_t attributes = attributeCount(record);
    for (size_t i = 0; i < record->children.size(); ++i) {
        const Node* child = record->children[i];
        bool in = false;
        if (column == textColumn_) {
            // The record's own text is one cell, however many text nodes it has.
            if (i >= attributes && (child->kind == NodeKind::Text || child->kind == NodeKind::CData)) {
                count = 1;
                return record;
            }
        } else if (i < attributes) {
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
    const size_t attributes = attributeCount(record);
    for (size_t i = 0; i < record->children.size(); ++i) {
        const Node* child = record->children[i];
        int32_t c = -1;
        if (i < attributes)
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

TableSort::TableSort(std::vector<Node*> records, const RecordColumns& columns, int32_t column, bool descending,
                     GridTextKey textKey)
    : records_(std::move(records)), columns_(columns), column_(column), descending_(descending),
      textKey_(std::move(textKey)) {
    entries_.resize(records_.size());
}

bool TableSort::Step(size_t rows, size_t texts) {
    if (next_ == records_.size()) {
        RankTexts();
        return true;
    }
    const size_t keysBefore = texts_.size();
    for (size_t end = next_ + std::min(rows, records_.size() - next_); next_ < end && texts_.size() - keysBefore < texts;
         ++next_) {
        const size_t r = next_;
        Entry& e = entries_[r];
        e.row = static_cast<uint32_t>(r);
        size_t inColumn = 0;
        const Node* found = columns_.cellOf(records_[r], column_, inColumn);
        if (!found) continue;
        const bool container = found->kind == NodeKind::Object || found->kind == NodeKind::Array ||
                               (found->kind == NodeKind::Element && !isSimpleElement(found) && found != records_[r]);
        if (inColumn > 1 || container) {
            e.rank = kRankNested;
            continue;
        }
        std::wstring_view text;
        if (found->kind == NodeKind::Element) {
            owners_.push_back(textContent(found));
            text = owners_.back();
        } else {
            text = found->value.view();
        }
        if (cellNumber(text, e.number)) {
            e.rank = kRankNumber;
            continue;
        }
        // Each distinct text gets its collation key once (columns of names or places repeat).
        e.rank = kRankText;
        text = text.substr(0, kSortTextLimit);
        const auto [it, added] = distinct_.emplace(text, static_cast<uint32_t>(texts_.size()));
        if (added) texts_.push_back(textKey_ ? textKey_(text) : lowerKey(text));
        e.text = it->second;
    }
    // Ranking many keys is a slice of its own.
    if (next_ < records_.size() || texts_.size() > texts) return false;
    RankTexts();
    return true;
}

void TableSort::RankTexts() {
    if (ranked_) return;
    ranked_ = true;
    // Rows then compare by integers; equal keys (texts that differ in case only) share a rank.
    // Each key's first eight bytes as a number decide most comparisons without reaching the
    // keys themselves.
    struct Ref {
        uint64_t prefix;
        uint32_t text;
    };
    std::vector<Ref> byKey(texts_.size());
    for (size_t t = 0; t < texts_.size(); ++t) {
        uint64_t prefix = 0;
        for (size_t b = 0; b < 8; ++b)
            prefix = prefix << 8 | (b < texts_[t].size() ? static_cast<uint8_t>(texts_[t][b]) : 0);
        byKey[t] = {prefix, static_cast<uint32_t>(t)};
    }
    std::sort(byKey.begin(), byKey.end(), [&](const Ref& a, const Ref& b) {
        ++sortComparisons;
        return a.prefix != b.prefix ? a.prefix < b.prefix : texts_[a.text] < texts_[b.text];
    });
    std::vector<uint32_t> rank(texts_.size());
    for (size_t t = 0; t < byKey.size(); ++t) {
        const uint32_t text = byKey[t].text;
        rank[text] = t && texts_[text] == texts_[byKey[t - 1].text] ? rank[byKey[t - 1].text] : static_cast<uint32_t>(t);
    }
    for (Entry& e : entries_)
        if (e.rank == kRankText) e.text = rank[e.text];
}

int TableSort::Progress() const {
    if (records_.empty()) return 0;
    return static_cast<int>(std::min<uint64_t>(99, uint64_t(next_) * 100 / records_.size()));
}

std::vector<uint32_t> TableSort::Order() {
    while (!Step(SIZE_MAX, SIZE_MAX)) {
    }
    const bool descending = descending_;
    auto less = [descending](const Entry& a, const Entry& b) {
        ++sortComparisons;
        if (a.rank != b.rank) {
            if (a.rank == kRankMissing || b.rank == kRankMissing) return b.rank == kRankMissing;
            return descending ? a.rank > b.rank : a.rank < b.rank;
        }
        switch (a.rank) {
            case kRankNumber: return descending ? b.number < a.number : a.number < b.number;
            case kRankText: return descending ? b.text < a.text : a.text < b.text;
            default: return false;
        }
    };
    std::stable_sort(entries_.begin(), entries_.end(), less);
    std::vector<uint32_t> order;
    order.reserve(entries_.size());
    for (const Entry& e : entries_) order.push_back(e.row);
    return order;
}

std::vector<uint32_t> sortedRows(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey) {
    return TableSort(records, columns, column, descending, textKey).Order();
}

std::vector<Node*> sortedRecords(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey) {
    std::vector<Node*> sorted;
    sorted.reserve(records.size());
    for (uint32_t r : sortedRows(records, columns, column, descending, textKey)) sorted.push_back(records[r]);
    return sorted;
}

}  // namespace qm
