// Finding things in the grid's boxes: the row and column under a point, the node or column edge
// under the mouse, a node's rectangle and its leaf box. Each look-up goes down through the boxes
// that hold the point or the node; its recursion is bounded by the grid's depth limit.
#include <algorithm>

#include "document/embedded.h"
#include "views/grid.h"
#include "views/grid_parts.h"
#include "views/tree.h"

namespace qm {
const Node* gridShownNode(const GridBox& root, const Node* node, const GridMetrics& m, GridRect& rect) {
    if (!node) return nullptr;
    if (NodeRect(root, node, m, rect)) return node;
    // Every level of the tree is at least one level of the grid, so the container cut off lies
    // within the first kGridMaxDepth + 2 nodes from the top; and a node shown has its ancestors
    // shown, so the deepest one is found by halving (each try walks the layout).
    // The text of an element shown with its text has no box of its own: the element has.
    std::vector<const Node*> path;
    for (const Node* n = node; n && n->kind != NodeKind::Root; n = n->parent)
        if (shownHolder(n) == n) path.push_back(n);
    std::reverse(path.begin(), path.end());
    size_t low = 0, high = std::min(path.size(), static_cast<size_t>(kGridMaxDepth) + 2);  // shown below low
    const Node* shown = nullptr;
    GridRect found;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        GridRect r;
        if (NodeRect(root, path[mid], m, r)) {
            shown = path[mid];
            found = r;
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    if (shown) rect = found;
    return shown;
}

int32_t tableRowAt(const GridBox& box, int py, const GridMetrics& m, int& rowTop) {
    const GridFrame& f = *box.frame;
    const int top = box.type == GridBoxType::Table ? box.y + m.rowHeight : box.y;
    if (py < top || f.rowTops.size() < 2 || py - top >= f.rowTops.back()) return -1;
    const size_t r = static_cast<size_t>(std::upper_bound(f.rowTops.begin(), f.rowTops.end(), py - top) - f.rowTops.begin()) - 1;
    rowTop = top + f.rowTops[r];
    return static_cast<int32_t>(r);
}

size_t keyValueRowCount(const GridBox& box) {
    const GridFrame& f = *box.frame;
    return f.lazyOwner() ? f.records.size() : f.rows.size();
}

size_t keyValueSlot(const GridBox& box, size_t row) {
    const GridFrame& f = *box.frame;
    if (!f.lazyOwner()) return row;
    ensureTableRow(box, row);
    return f.rowCells[row].first;
}

std::pair<uint32_t, uint32_t> tableRowCells(const GridBox& table, size_t record) {
    ensureTableRow(table, record);
    const GridFrame& f = *table.frame;
    if (record >= f.rowCells.size() || f.rowCells[record].first == kRowNotBuilt) return {0, 0};
    return {f.rowCells[record].first, f.rowCells[record].first + f.rowCells[record].count};
}

int32_t tableColumnAt(const GridBox& box, int px, int& columnLeft) {
    const GridFrame& f = *box.frame;
    long long left = static_cast<long long>(box.x) + f.rowHeaderWidth;
    if (px < left) return -1;
    for (size_t c = 0; c < f.columnWidths.size() && left < kGridMaxExtent; ++c) {
        if (px < left + f.columnWidths[c]) {
            columnLeft = capped(left);
            return static_cast<int32_t>(c);
        }
        left += f.columnWidths[c];
    }
    return -1;
}

const GridBox* tableCell(const GridBox& box, size_t record, int32_t column) {
    const GridFrame& f = *box.frame;
    const auto [first, last] = tableRowCells(box, record);
    const auto begin = f.cellColumns.begin() + first;
    const auto end = f.cellColumns.begin() + last;
    const auto it = std::lower_bound(begin, end, column);
    if (it == end || *it != column) return nullptr;
    return f.children[static_cast<size_t>(it - f.cellColumns.begin())];
}

GridHit HitNode(const GridBox& box, int px, int py, const GridMetrics& m) {
    GridHit hit;
    if (!box.contains(px, py)) return hit;
    hit.inside = true;
    switch (box.type) {
        case GridBoxType::Leaf:
            hit.node = box.node;
            hit.cut = box.node && box.dim && box.text == kGridEllipsis;
            return hit;
        case GridBoxType::KeyValue: {
            const GridFrame& f = *box.frame;
            int top = 0;
            const int32_t r = tableRowAt(box, py, m, top);
            if (r < 0) return hit;
            const size_t i = keyValueSlot(box, static_cast<size_t>(r));
            const GridRow& row = f.rows[i];
            if (px >= box.x + f.labelWidth) {
                const GridBox& value = *f.children[i];
                if (value.contains(px, py)) return HitNode(value, px, py, m);
                hit.node = row.node;
                return hit;
            }
            hit.node = row.node;
            hit.toggle = row.toggle;
            hit.toggleKey = row.toggleKey;
            hit.onExpander =
                row.toggle != kToggleNone && px < box.x + m.px(kGridExpanderZone) && py < top + m.rowHeight;
            return hit;
        }
        case GridBoxType::Table: {
            const GridFrame& f = *box.frame;
            hit.table = &box;
            int columnLeft = 0;
            const int32_t c = tableColumnAt(box, px, columnLeft);
            if (py < box.y + m.rowHeight) {
                hit.headerColumn = c;
                return hit;
            }
            int rowTop = 0;
            const int32_t r = tableRowAt(box, py, m, rowTop);
            if (r < 0) return hit;
            Node* record = f.records[static_cast<size_t>(r)];
            if (px < box.x + f.rowHeaderWidth || c < 0) {
                hit.node = record;
                return hit;
            }
            const GridBox* cell = tableCell(box, static_cast<size_t>(r), c);
            if (!cell) return hit;  // an empty cell: no node
            if (cell->contains(px, py)) {
                GridHit inner = HitNode(*cell, px, py, m);
                if (!inner.table) inner.table = &box;
                return inner;
            }
            hit.node = record;
            return hit;
        }
        case GridBoxType::Nested: {
            const GridFrame& f = *box.frame;
            const GridRow& row = f.rows.front();
            if (py >= box.y + m.rowHeight) {
                if (!f.children.empty() && f.children.front()->contains(px, py))
                    return HitNode(*f.children.front(), px, py, m);
                hit.node = row.node;
                return hit;
            }
            hit.node = row.node;
            hit.toggle = row.toggle;
            hit.toggleKey = row.toggleKey;
            hit.onExpander = px < box.x + m.px(kGridExpanderZone);
            return hit;
        }
    }
    return hit;
}

GridEdge HitEdge(const GridBox& box, int px, int py, const GridMetrics& m) {
    GridEdge edge;
    const int t = m.px(kGridEdgeTolerance);
    if (px < box.x - t || px > box.x + box.width + t || py < box.y || py >= box.y + box.height) return edge;
    switch (box.type) {
        case GridBoxType::Leaf: return edge;
        case GridBoxType::Nested:
            if (!box.frame->children.empty()) return HitEdge(*box.frame->children.front(), px, py, m);
            return edge;
        case GridBoxType::KeyValue: {
            const GridFrame& f = *box.frame;
            int top = 0;
            const int32_t r = tableRowAt(box, py, m, top);
            if (r >= 0) {
                const GridBox& value = *f.children[keyValueSlot(box, static_cast<size_t>(r))];
                if (value.padded()) {
                    GridEdge inner = HitEdge(value, px, py, m);
                    if (inner.found) return inner;
                }
            }
            if (std::abs(px - (box.x + f.labelWidth)) <= t) return {true, box.node, kLabelColumn, box.x};
            if (std::abs(px - (box.x + box.width)) <= t) return {true, box.node, kValueColumn, box.x + f.labelWidth};
            return edge;
        }
        case GridBoxType::Table: {
            const GridFrame& f = *box.frame;
            int rowTop = 0;
            const int32_t r = tableRowAt(box, py, m, rowTop);
            if (r >= 0) {
                const auto [first, last] = tableRowCells(box, static_cast<size_t>(r));
                for (uint32_t i = first; i < last; ++i) {
                    const GridBox& cell = *f.children[i];
                    if (!cell.padded()) continue;
                    GridEdge inner = HitEdge(cell, px, py, m);
                    if (inner.found) return inner;
                }
            }
            long long right = static_cast<long long>(box.x) + f.rowHeaderWidth;
            for (size_t c = 0; c < f.columnWidths.size() && right < kGridMaxExtent; ++c) {
                right += f.columnWidths[c];
                if (std::abs(px - right) <= t)
                    return {true, f.key, static_cast<int32_t>(c), capped(right - f.columnWidths[c])};
            }
            return edge;
        }
    }
    return edge;
}

namespace {

bool nodeRectIn(const GridBox& box, const Node* node, const GridMetrics& m, GridRect& rect, NodeLineage& lineage) {
    switch (box.type) {
        case GridBoxType::Leaf:
            if (box.node != node) return false;
            rect = {box.x, box.y, box.x + box.width, box.y + box.height};
            return true;
        case GridBoxType::KeyValue: {
            const GridFrame& f = *box.frame;
            if (f.lazyOwner()) {
                // Only the row holding the node can show it; no other row is built.
                const size_t r = keyValueRowHolding(box, node);
                if (r == SIZE_MAX) return false;
                const size_t i = keyValueSlot(box, r);
                if (f.rows[i].node == node) {
                    const int top = box.y + f.rowTops[r];
                    rect = {box.x, top, box.x + box.width, top + m.rowHeight};
                    return true;
                }
                return nodeRectIn(*f.children[i], node, m, rect, lineage);
            }
            long long top = box.y;
            for (size_t i = 0; i < f.rows.size(); ++i) {
                if (f.rows[i].node == node) {
                    rect = {box.x, capped(top), box.x + box.width, capped(top) + m.rowHeight};
                    return true;
                }
                if (nodeRectIn(*f.children[i], node, m, rect, lineage)) return true;
                top += f.rowHeights[i];
            }
            return false;
        }
        case GridBoxType::Table: {
            const GridFrame& f = *box.frame;
            for (size_t r = 0; r < f.records.size(); ++r) {
                if (f.records[r] == node) {
                    const int top = box.y + m.rowHeight + f.rowTops[r];
                    rect = {box.x, top, box.x + box.width, top + m.rowHeight};
                    return true;
                }
                // A row not built shows no node outside its record.
                if (f.rowCells[r].first == kRowNotBuilt && !lineage.holds(f.records[r])) continue;
                const auto [first, last] = tableRowCells(box, r);
                for (uint32_t i = first; i < last; ++i)
                    if (nodeRectIn(*f.children[i], node, m, rect, lineage)) return true;
            }
            return false;
        }
        case GridBoxType::Nested: {
            const GridFrame& f = *box.frame;
            if (f.rows.front().node == node) {
                rect = {box.x, box.y, box.x + box.width, box.y + m.rowHeight};
                return true;
            }
            return !f.children.empty() && nodeRectIn(*f.children.front(), node, m, rect, lineage);
        }
    }
    return false;
}

}  // namespace

bool NodeRect(const GridBox& box, const Node* node, const GridMetrics& m, GridRect& rect) {
    if (!node) return false;
    NodeLineage lineage{node, nullptr};
    return nodeRectIn(box, node, m, rect, lineage);
}

const GridBox* FindLeafBox(const GridBox* box, const Node* node, const Node* alternative) {
    if (!box) return nullptr;
    NodeLineage lineage{node, alternative};  // the records whose rows can hold the leaf
    std::vector<const GridBox*> stack{box};
    while (!stack.empty()) {
        const GridBox* b = stack.back();
        stack.pop_back();
        if (b->type == GridBoxType::Leaf) {
            if (b->node && (b->node == node || b->node == alternative)) return b;
            continue;
        }
        const GridFrame& f = *b->frame;
        if (b->type == GridBoxType::KeyValue && f.lazyOwner()) {
            // Only the rows holding the nodes can hold the leaf, in row order.
            size_t rows[2] = {keyValueRowHolding(*b, node), keyValueRowHolding(*b, alternative)};
            if (rows[0] < rows[1]) std::swap(rows[0], rows[1]);
            for (size_t k = 0; k < 2; ++k)
                if (rows[k] != SIZE_MAX && (k == 0 || rows[k] != rows[0]))
                    stack.push_back(f.children[keyValueSlot(*b, rows[k])]);
            continue;
        }
        if (b->type != GridBoxType::Table) {
            for (auto it = f.children.rbegin(); it != f.children.rend(); ++it) stack.push_back(*it);
            continue;
        }
        // Rows in record order; a row not built is built when the leaf can be in it.
        for (size_t r = f.records.size(); r-- > 0;) {
            if (f.rowCells[r].first == kRowNotBuilt && !lineage.holds(f.records[r])) continue;
            const auto [first, last] = tableRowCells(*b, r);
            for (uint32_t i = last; i-- > first;) stack.push_back(f.children[i]);
        }
    }
    return nullptr;
}

}  // namespace qm
