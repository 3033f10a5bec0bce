// What the grid's building (grid.cpp), its measuring and placing (gridlayout.cpp) and finding
// things in it (gridhit.cpp) share: rows of big tables are built only when they are sized or shown.
#pragma once

#include <algorithm>
#include <cstddef>
#include <unordered_set>
#include <utility>
#include <vector>

#include "views/grid.h"

namespace qm {

inline constexpr wchar_t kGridEllipsis[] = L"\u2026";

// A sum of sizes or positions, cut at the grid's largest extent.
inline int capped(long long pixels) { return static_cast<int>(std::min<long long>(pixels, kGridMaxExtent)); }

// One or two nodes and all their ancestors, gathered the first time they are asked about: a
// row not built can show a node only when its record is one of them.
class NodeLineage {
public:
    NodeLineage(const Node* a, const Node* b) : a_(a), b_(b) {}
    bool holds(const Node* n) {
        if (!ready_) {
            for (const Node* x = a_; x; x = x->parent) nodes_.insert(x);
            for (const Node* x = b_; x; x = x->parent) nodes_.insert(x);
            ready_ = true;
        }
        return nodes_.count(n) != 0;
    }

private:
    const Node* a_;
    const Node* b_;
    std::unordered_set<const Node*> nodes_;
    bool ready_ = false;
};

// The row of a key/value table building its rows when needed that can show `node`: the one whose
// children hold node, or its ancestor among the table node's children (SIZE_MAX when none).
size_t keyValueRowHolding(const GridBox& box, const Node* node);

// The top of each row from the rows' heights, then the end; returns the end.
int setRowTops(GridFrame& f);

// The cells of record r of a table building its rows when needed, built into `into` a part at a
// time in the order built (not in column order), each child looked at paid from `work`: `part`
// started for the record, then appended to `cells` until the call that returns true.
void startRecordCells(GridFrame& f, size_t r, GridRowPart& part);
bool buildRecordCellsPart(GridLayout& into, GridFrame& f, GridRowPart& part, size_t& work,
                          std::vector<std::pair<int32_t, GridBox*>>& cells);

// Builds the rows of a table whose rows a pass builds (GridPendingRows) from where they stand,
// each child looked at or box built paid from `work`, listing in `made` the cells built; true once
// every row is built (the table then builds nothing later). Its columns must be found first.
bool buildPendingRows(GridBox& table, size_t& work, std::vector<GridBox*>* made);
// Finds its columns (a record table's) and builds all its rows left, at once.
void buildPendingTable(GridBox& table);

// A sorted table that left putting its records in order to the pass (GridLazyRows::sortLater):
// the sort it has, and the records put in `order` (worked out at once when null).
GridSortKey laterSortOf(const GridFrame& f);
void sortTableLater(GridFrame& f, const std::vector<uint32_t>* order);

// Row r of a key/value table building its rows when needed, appended to `aside`.
void buildKeyValueRowAside(GridLayout& into, GridFrame& table, GridFrame& aside, size_t r);

// Finds the columns of a record table building its rows when needed from its records, going on
// where it stopped, each of its records' children looked at paid from `work` (a record at least
// per call); true once every column is found. A table sorted or of few records has them when
// built; sizing its rows needs them.
bool scanTableColumns(GridFrame& f, size_t& work);

// Builds a row not built yet into the table's own layout.
void buildTableRow(const GridBox& table, size_t record);

}  // namespace qm
