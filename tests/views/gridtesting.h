// What the grid's portable tests share: a parsed document with its grid built and laid out with a
// fixed-width font (7 pixels a character at 96 DPI), and the texts and geometry tests compare.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/testing.h"
#include "views/grid.h"

namespace qmgrid {

using namespace qm;
using qmtest::u8;

constexpr int kCharWidth = 7;
constexpr int kRowHeight = 22;

struct Grid {
    std::unique_ptr<Document> doc;
    GridExpansion expansion;
    GridColumnWidths widths;
    GridLayout layout;
    bool autoFit = false;
    unsigned dpi = 96;
    int rowHeight = kRowHeight;
    size_t measured = 0;  // calls of the measuring function
    const GridTextBound* bound = nullptr;

    Grid(const std::wstring& name, const std::wstring& text) : doc(qmtest::parse(name, text)) {
        resetGridExpansion(doc->root, expansion);
        build();
    }
    GridMetrics metrics() {
        GridMetrics m;
        m.dpi = dpi;
        m.rowHeight = rowHeight;
        m.autoFit = autoFit;
        m.columnWidths = &widths;
        m.measureText = [this](std::wstring_view t) {
            ++measured;
            return static_cast<int>(t.size()) * kCharWidth;
        };
        m.textBound = bound;
        return m;
    }
    void build() {
        buildGrid(doc->root, expansion, layout);
        layOutGrid(layout, metrics());
    }
    void expandAll() {
        expandAllGrid(*doc, true, expansion);
        build();
    }
    // Lays the built grid out by the sliced pass, `budget` a step, to the end; `beforeStep` sees
    // the layout before each step. The steps taken.
    size_t layOutInSlices(size_t budget, const std::function<void()>& beforeStep = {}) {
        GridLayoutPass pass(layout, metrics());
        size_t steps = 0;
        for (bool done = false; !done; ++steps) {
            if (beforeStep) beforeStep();
            done = pass.Step(budget);
        }
        pass.Finish();
        return steps;
    }
    // Builds the grid as it stands and lays it out so.
    size_t buildInSlices(size_t budget, const std::function<void()>& beforeStep = {}) {
        buildGrid(doc->root, expansion, layout);
        return layOutInSlices(budget, beforeStep);
    }
    // The first box, depth first, that satisfies `pick`.
    const GridBox* find(const std::function<bool(const GridBox&)>& pick) const {
        std::vector<const GridBox*> stack{layout.root};
        while (!stack.empty()) {
            const GridBox* b = stack.back();
            stack.pop_back();
            if (!b) continue;
            if (pick(*b)) return b;
            if (b->frame)
                for (auto it = b->frame->children.rbegin(); it != b->frame->children.rend(); ++it) stack.push_back(*it);
        }
        return nullptr;
    }
    const GridBox* firstOf(GridBoxType type) const {
        return find([type](const GridBox& b) { return b.type == type; });
    }
    const GridBox* leafWithText(const wchar_t* text) const {
        return find([text](const GridBox& b) { return b.type == GridBoxType::Leaf && b.text == text; });
    }
};

inline std::vector<std::string> headers(const GridBox& table) {
    std::vector<std::string> out;
    for (const GridRow& row : table.frame->rows) out.push_back(u8(row.label));
    return out;
}

inline std::vector<std::string> labels(const GridBox& box) {
    std::vector<std::string> out;
    for (const GridRow& row : box.frame->rows) {
        std::string label = u8(row.label);
        if (row.count) label += " (" + std::to_string(row.count) + ")";
        out.push_back(label);
    }
    return out;
}

// Texts of a table's cells, record by record ("" for an empty cell).
inline std::vector<std::vector<std::string>> cells(const GridBox& table) {
    std::vector<std::vector<std::string>> out;
    for (size_t r = 0; r < table.frame->records.size(); ++r) {
        std::vector<std::string> row;
        for (int32_t c = 0; c < table.frame->columnCount; ++c) {
            const GridBox* cell = tableCell(table, r, c);
            if (!cell)
                row.push_back("");
            else if (cell->type == GridBoxType::Leaf)
                row.push_back(u8(cell->text));
            else
                row.push_back("<" + u8(cell->frame->rows.front().label) + " " +
                              std::to_string(cell->frame->rows.front().count) + ">");
        }
        out.push_back(row);
    }
    return out;
}

// Every box's kind, rectangle and text, its rows with their open state, and a table's columns
// and rows: what painting and hit testing read.
inline std::string geometry(const GridBox* top) {
    std::string out;
    std::vector<const GridBox*> stack{top};
    while (!stack.empty()) {
        const GridBox* b = stack.back();
        stack.pop_back();
        out += std::to_string(static_cast<int>(b->type)) + " " + std::to_string(b->x) + "," + std::to_string(b->y) + " " +
               std::to_string(b->width) + "x" + std::to_string(b->height) + " " + u8(b->text);
        if (b->frame) {
            const GridFrame& f = *b->frame;
            // Rows built when needed lie in the order they were built: they are listed in row order.
            std::vector<const GridRow*> rows;
            std::vector<const GridBox*> children;
            if (f.rowCells.empty()) {
                for (const GridRow& row : f.rows) rows.push_back(&row);
                children.assign(f.children.begin(), f.children.end());
            } else {
                if (b->type == GridBoxType::Table)
                    for (const GridRow& row : f.rows) rows.push_back(&row);
                for (const GridCellRange& cells : f.rowCells) {
                    if (cells.first == kRowNotBuilt) continue;
                    if (b->type == GridBoxType::KeyValue) rows.push_back(&f.rows[cells.first]);
                    for (uint32_t i = cells.first; i < cells.first + cells.count; ++i)
                        children.push_back(f.children[i]);
                }
            }
            for (const GridRow* row : rows)
                out += " [" + u8(row->label) + "|" + u8(row->note) + (row->open ? "|open]" : "]");
            for (int w : f.columnWidths) out += " c" + std::to_string(w);
            for (int h : f.rowHeights) out += " r" + std::to_string(h);
            out += " l" + std::to_string(f.labelWidth) + " h" + std::to_string(f.rowHeaderWidth);
            for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
        }
        out += "\n";
    }
    return out;
}

// The fixed-width font's character widths: each ASCII character exactly, the others at `widest`.
inline GridTextBound fixedBound(int widest) {
    GridTextBound bound;
    bound.ascii.fill(kCharWidth);
    bound.widest = widest;
    return bound;
}

}  // namespace qmgrid
