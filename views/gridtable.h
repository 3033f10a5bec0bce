// Record tables beyond showing them: the order of their rows when the user sorts by a column,
// and their text as tab-separated values for the clipboard. Plain functions on a table's
// records and columns; the grid builds a sorted table from the order given here.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <utility>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document/document.h"

namespace qm {

struct GridRow;

// The nodes each record of a table shows in its columns, found in one pass over the record's
// children: for records that are objects, the first member of a column's name; for elements, the
// attribute of that name, the record itself for the text column, or every child element of the
// name. A record without a node in a column has a missing cell there.
class RecordColumns {
public:
    RecordColumns(const std::vector<GridRow>& headers, size_t columnCount, bool objects);
    // (column, node) pairs of `record` in column order, elements of one column in document order.
    void cellsOf(const Node* record, std::vector<std::pair<int32_t, const Node*>>& out) const;
    // The first node of `record` in `column` (null for a missing cell) and how many it has there,
    // read straight from the record's children without a lookup per child.
    const Node* cellOf(const Node* record, int32_t column, size_t& count) const;
    // The column showing `node`, a node in or below a cell of `record`; -1 for the record itself
    // and for nodes of no column (a member hidden by an earlier one of its name).
    int32_t columnOf(const Node* record, const Node* node) const;

private:
    bool objects_;
    int32_t textColumn_ = -1;
    std::map<std::pair<uint8_t, std::wstring_view>, int32_t> byName_;
    // Each column's way of finding its nodes and their name; columns whose name an earlier column
    // took have none (kNoCategory).
    std::vector<std::pair<uint8_t, std::wstring_view>> names_;
};

// How the user sorted one record table: by which column, which way.
struct GridSortKey {
    int32_t column = -1;
    bool descending = false;
    bool operator==(const GridSortKey& other) const { return column == other.column && descending == other.descending; }
};
// The sorted tables, by their first record in document order (which also keys dragged widths).
using GridSortKeys = std::map<const Node*, GridSortKey>;

// A text's key for sorting by the user's locale: keys compare as bytes. Windows hands one from
// LCMapStringEx; without one texts compare by their lower-cased code units.
using GridTextKey = std::function<std::string(std::wstring_view)>;

// Characters of a cell's text that take part in sorting: longer texts sort by this beginning.
constexpr size_t kSortTextLimit = 256;

// Which column of a record table a header click leaves sorted: ascending, descending, then
// unsorted (document order); another column starts ascending.
GridSortKey nextSortKey(const GridSortKey& current, int32_t column);

// The whole text (spaces around it aside) as a finite decimal number, as wcstod reads it (no
// hex, "inf" or "nan", which wcstod also takes): the value a cell sorts by among numbers.
bool cellNumber(std::wstring_view text, double& value);

// The records in the order sorting by `key` gives: numbers by value before texts, texts by
// `textKey` (case-insensitive), cells holding objects, arrays or several elements after them,
// missing cells last either way; a stable sort, so equal cells keep document order.
std::vector<Node*> sortedRecords(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey);
// A sort worked out a slice at a time: each row's key first (a text's collation key is the slow
// part, made once per distinct text), then in one step the order of the rows, compared by
// numbers and by ranks of the text keys.
class TableSort {
public:
    // `records` in document order; `columns` must outlive the sort.
    TableSort(std::vector<Node*> records, const RecordColumns& columns, int32_t column, bool descending,
              GridTextKey textKey);
    // Works out the keys of at most `rows` more rows, stopping once `texts` new collation keys
    // are made; once every row has its key, ranks the text keys (in a step of its own when there
    // are more than `texts`). True when the order is ready.
    bool Step(size_t rows, size_t texts);
    // How far the keys have come, in percent of the rows, 0 to 99.
    int Progress() const;
    // The positions in `records` in sorted order (working out any keys still missing first).
    std::vector<uint32_t> Order();

    // A cell's place in the order: numbers, then texts, then cells that hold more than one value.
    enum Rank : uint8_t { kRankNumber = 0, kRankText = 1, kRankNested = 2, kRankMissing = 3 };

private:
    // One row's key: the number, or its text's key (an index into texts_, then its rank).
    struct Entry {
        uint8_t rank = kRankMissing;
        uint32_t row = 0;
        uint32_t text = 0;
        double number = 0;
    };
    void RankTexts();

    std::vector<Node*> records_;
    const RecordColumns& columns_;
    int32_t column_;
    bool descending_;
    GridTextKey textKey_;
    std::vector<Entry> entries_;
    size_t next_ = 0;
    bool ranked_ = false;  // each entry's text is its key's rank now
    std::vector<std::string> texts_;
    std::unordered_map<std::wstring_view, uint32_t> distinct_;
    std::deque<std::wstring> owners_;  // texts of elements, made for the sort (a deque keeps them in place)
};

// The same order as positions in `records`: each cell's key is worked out once, and only small
// entries move while sorting.
std::vector<uint32_t> sortedRows(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey);

// Counts the comparisons sorting made, for the growth tests.
extern size_t sortComparisons;

}  // namespace qm
