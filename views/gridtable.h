// Record tables beyond showing them: the order of their rows when the user sorts by a column,
// and their text as tab-separated values for the clipboard. Plain functions on a table's
// records and columns; the grid builds a sorted table from the order given here.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <string>
#include <string_view>
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

// The records in the order sorting by `key` gives: numbers by value before texts, texts by
// `textKey` (case-insensitive), cells holding objects, arrays or several elements after them,
// missing cells last either way; a stable sort, so equal cells keep document order.
std::vector<Node*> sortedRecords(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey);
// The same order as positions in `records`: each cell's key is worked out once, and only small
// entries move while sorting.
std::vector<uint32_t> sortedRows(const std::vector<Node*>& records, const RecordColumns& columns, int32_t column,
                                 bool descending, const GridTextKey& textKey);

// Counts the comparisons sorting made, for the growth tests.
extern size_t sortComparisons;

}  // namespace qm
