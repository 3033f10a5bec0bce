// Measuring and placing the grid view's boxes (finding things in them: views/gridhit.cpp). Every pass is linear in the boxes
// it visits; the recursion of measuring and placing is bounded by the grid's depth limit.
#include <algorithm>
#include <iterator>
#include <memory>
#include <tuple>

#include "document/embedded.h"
#include "views/grid.h"
#include "views/grid_parts.h"
#include "views/tree.h"

namespace qm {

int GridMetrics::measure(std::wstring_view text) const {
    if (text.empty() || !measureText) return 0;
    const int summed = textBound ? textBound->exact(text) : -1;
    return (summed >= 0 ? summed : measureText(text)) + px(kGridTextGap);
}

int GridTextBound::exact(std::wstring_view text) const {
    if (!exactAscii) return -1;
    long long sum = 0;
    for (wchar_t ch : text) {
        if (ch < 0x20 || ch >= 0x7F) return -1;
        sum += ascii[static_cast<size_t>(ch)];
    }
    return static_cast<int>(std::min<long long>(sum, INT_MAX / 2));
}

int GridTextBound::upper(std::wstring_view text) const {
    if (widest <= 0) return INT_MAX;
    long long sum = 0;
    for (wchar_t ch : text) sum += ch >= 0x20 && ch < 0x7F ? ascii[static_cast<size_t>(ch)] : widest;
    return static_cast<int>(std::min<long long>(sum, INT_MAX));
}

int GridMetrics::draggedWidth(const Node* key, int32_t column) const {
    if (!columnWidths) return -1;
    auto it = columnWidths->find({key, column});
    if (it == columnWidths->end()) return -1;
    return scaleDips(static_cast<int>(std::min<uint32_t>(it->second, 1u << 24)), dpi);
}

namespace {

int textCap(const GridMetrics& m, int capDips) { return m.px(m.autoFit ? kGridAutoFitCap : capDips); }

int padOf(const GridBox& box, const GridMetrics& m) { return box.padded() ? m.px(kGridPad) : 0; }

}  // namespace

namespace {

// A label cell's width with each of its texts measured by `measure` (the measure of a text,
// its gap included).
template <typename MeasureFn>
int labelWidthWith(const GridRow& row, const GridMetrics& m, MeasureFn measure) {
    long long w = 0;
    if (row.toggle != kToggleNone) w += m.px(kGridToggleWidth);
    w += m.px(kGridBadgeWidth) + m.px(kGridBadgeGap);
    if (!row.label.empty()) w += std::min(measure(row.label), textCap(m, kGridLabelCap)) + m.px(kGridBadgeGap);
    if (row.count != 0) {
        // "(count)", written here rather than formatted: every nested array's header has one.
        wchar_t digits[16];
        size_t at = std::size(digits);
        digits[--at] = L')';
        for (uint32_t n = row.count; at > 1 && (n != 0 || at == std::size(digits) - 1); n /= 10)
            digits[--at] = static_cast<wchar_t>(L'0' + n % 10);
        digits[--at] = L'(';
        w += measure(std::wstring_view(digits + at, std::size(digits) - at)) + m.px(kGridCountGap);
    }
    if (!row.note.empty()) w += std::min(measure(row.note), textCap(m, kGridNoteCap)) + m.px(kGridNoteGap);
    return capped(w + m.px(kGridTrailing));
}

// Widens a label column to what `row` asks. A row whose texts cannot be wide enough to matter, by
// the font's character widths, is not measured: a key/value table of a million members would
// otherwise measure a million labels.
void widenLabels(int& width, const GridRow& row, const GridMetrics& m) {
    if (m.textBound) {
        bool unbounded = false;
        const int upper = labelWidthWith(row, m, [&](std::wstring_view text) {
            const int bound = m.textBound->upper(text);
            if (bound >= INT_MAX / 2) unbounded = true;
            return text.empty() ? 0 : std::min(bound, INT_MAX / 4) + m.px(kGridTextGap);
        });
        if (!unbounded && upper <= width) return;
    }
    width = std::max(width, LabelWidth(row, m));
}

}  // namespace

int LabelWidth(const GridRow& row, const GridMetrics& m) {
    return labelWidthWith(row, m, [&](std::wstring_view text) { return m.measure(text); });
}

namespace {

// Leaf cells other than a nested table's content are stretched to their cell when placed, so the
// width a leaf asks for counts only where it could widen its column. Every leaf asks at most
// this much: once a column is this wide, its leaves need not be measured at all.
int leafWidthBound(const GridMetrics& m) {
    return std::max(m.px(kGridLeafMinWidth), textCap(m, kGridLeafCap) + m.px(kGridLeafPadding));
}

// A leaf's width from the measure of its text.
int leafWidthOf(int measure, const GridMetrics& m) {
    return std::max(m.px(kGridLeafMinWidth), std::min(measure, textCap(m, kGridLeafCap)) + m.px(kGridLeafPadding));
}

int leafWidth(const GridBox& leaf, const GridMetrics& m) { return leafWidthOf(m.measure(leaf.text), m); }

// The width a leaf cell asks of its column, measured the first time it is asked.
int askedWidth(GridBox& leaf, const GridMetrics& m) {
    if (leaf.naturalWidth < 0) leaf.naturalWidth = leafWidth(leaf, m);
    return leaf.naturalWidth;
}

// Widens a column of leaves (`width`, at most `bound`) to what `leaf` asks. A leaf whose text
// cannot be wide enough to matter, by the font's character widths, is not measured.
void widenBy(int& width, GridBox& leaf, int bound, const GridMetrics& m) {
    if (width >= bound) return;
    if (leaf.naturalWidth < 0 && m.textBound && !leaf.text.empty()) {
        const int upper = m.textBound->upper(leaf.text);
        if (upper < INT_MAX / 2 && leafWidthOf(upper + m.px(kGridTextGap), m) <= width) return;
    }
    width = std::max(width, askedWidth(leaf, m));
}

// A leaf cell new to this measuring (or every leaf when nothing is reused) forgets what it asked.
void prepareLeafCell(GridBox& leaf, const GridMetrics& m, bool reuse) {
    if (!reuse || !leaf.measured) {
        leaf.naturalWidth = -1;
        leaf.measured = true;
    }
    leaf.height = m.rowHeight;
}

// The height a child needs in its row: padded boxes keep their own, the others are one row line
// (placing stretches them afterwards).
int askedHeight(const GridBox& child, const GridMetrics& m) {
    return child.padded() ? child.height + m.px(kGridPad) : m.rowHeight;
}

}  // namespace

// The top of each row from the rows' heights, then the end; returns the end.
int setRowTops(GridFrame& f) {
    f.rowTops.resize(f.rowHeights.size() + 1);
    long long top = 0;
    for (size_t r = 0; r < f.rowHeights.size(); ++r) {
        f.rowTops[r] = capped(top);
        top += f.rowHeights[r];
    }
    f.rowTops.back() = capped(top);
    return f.rowTops.back();
}

namespace {


// A key/value table's width from its label column and what its values ask, each column at its
// dragged width when there is one (the value column at least its widest nested table).
// False when the value column is not dragged and its leaves still count.
bool keyValueWidth(GridBox& box, int valueWidth, int nestedWidth, const GridMetrics& m) {
    GridFrame& f = *box.frame;
    const int minimum = m.px(kGridMinColumn);
    const int labelDragged = m.draggedWidth(box.node, kLabelColumn);
    if (labelDragged >= 0) f.labelWidth = std::max(labelDragged, minimum);
    const int valueDragged = m.draggedWidth(box.node, kValueColumn);
    box.width = capped(static_cast<long long>(f.labelWidth) +
                       (valueDragged >= 0 ? std::max({valueDragged, minimum, nestedWidth}) : valueWidth));
    return valueDragged >= 0;
}

// The longer of two leaf texts goes first: it is the likelier to reach the leaf width bound.
bool longerText(const GridBox* a, const GridBox* b) { return !a || (b && b->text.size() > a->text.size()); }

void measureKeyValue(GridBox& box, const GridMetrics& m, bool reuse) {
    GridFrame& f = *box.frame;
    f.labelWidth = 0;
    for (const GridRow& row : f.rows) widenLabels(f.labelWidth, row, m);
    f.rowHeights.resize(f.children.size());
    int valueWidth = 0, nestedWidth = 0;
    GridBox* longest = nullptr;
    for (size_t i = 0; i < f.children.size(); ++i) {
        GridBox& value = *f.children[i];
        if (value.type == GridBoxType::Leaf) {
            prepareLeafCell(value, m, reuse);
            if (longerText(longest, &value)) longest = &value;
        } else {
            const int w = value.naturalWidth + padOf(value, m);
            valueWidth = std::max(valueWidth, w);
            if (value.padded()) nestedWidth = std::max(nestedWidth, w);
        }
        f.rowHeights[i] = std::max(m.rowHeight, askedHeight(value, m));
    }
    box.height = setRowTops(f);
    if (keyValueWidth(box, valueWidth, nestedWidth, m)) return;
    const int bound = leafWidthBound(m);
    if (longest) widenBy(valueWidth, *longest, bound, m);
    for (size_t i = 0; i < f.children.size() && valueWidth < bound; ++i)
        if (f.children[i]->type == GridBoxType::Leaf) widenBy(valueWidth, *f.children[i], bound, m);
    box.width = capped(static_cast<long long>(f.labelWidth) + valueWidth);
}

// What the cells of one column of a record table ask, gathered while measuring it.
struct ColumnAsk {
    int nestedMax = 0;         // its widest nested table
    int dragged = -1;          // its dragged width, or -1
    size_t present = 0;        // the records that have a cell in it
    GridBox* longest = nullptr;  // its leaf of the longest text
};

// A table's width and height from its columns and rows, each dragged column at its dragged
// width (at least the minimum and its widest nested table); the top of each record row.
void finishTable(GridBox& box, const std::vector<ColumnAsk>& asked, const GridMetrics& m) {
    GridFrame& f = *box.frame;
    long long width = f.rowHeaderWidth;
    for (size_t c = 0; c < f.columnWidths.size(); ++c) {
        const ColumnAsk& a = asked[c];
        if (a.dragged >= 0) f.columnWidths[c] = std::max(std::max(a.dragged, m.px(kGridMinColumn)), a.nestedMax);
        f.columnWidths[c] = capped(f.columnWidths[c]);
        width += f.columnWidths[c];
    }
    box.width = capped(width);
    box.height = capped(static_cast<long long>(m.rowHeight) + setRowTops(f));
}

bool measureBox(GridBox& box, const GridMetrics& m, bool reuse, bool shallow = false);

void measureTable(GridBox& box, const GridMetrics& m, bool reuse) {
    GridFrame& f = *box.frame;
    const size_t records = f.records.size();
    const size_t columns = static_cast<size_t>(f.columnCount);
    f.rowHeaderWidth =
        std::max(m.px(kGridRowHeaderMin), m.measure(std::to_wstring(records)) + m.px(kGridRowNumberPadding));
    f.columnWidths.assign(columns, 0);
    for (size_t c = 0; c < columns; ++c) f.columnWidths[c] = LabelWidth(f.rows[c], m);
    f.rowHeights.assign(records, m.rowHeight);
    // One list for what the columns ask: the tables nested in a big table's rows are measured
    // one after another, each with a few columns.
    std::vector<ColumnAsk> column(columns);
    for (size_t r = 0; r < records; ++r) {
        for (uint32_t i = f.rowCells[r].first, end = i + f.rowCells[r].count; i < end; ++i) {
            GridBox& cell = *f.children[i];
            const size_t c = static_cast<size_t>(f.cellColumns[i]);
            ++column[c].present;
            if (cell.type == GridBoxType::Leaf) {
                prepareLeafCell(cell, m, reuse);
                if (longerText(column[c].longest, &cell)) column[c].longest = &cell;
                continue;
            }
            const int w = cell.naturalWidth + padOf(cell, m);
            f.columnWidths[c] = std::max(f.columnWidths[c], w);
            if (cell.padded()) column[c].nestedMax = std::max(column[c].nestedMax, w);
            f.rowHeights[r] = std::max(f.rowHeights[r], askedHeight(cell, m));
        }
    }
    // A record without a cell in a column shows an empty leaf there.
    const int emptyCell = m.px(kGridLeafMinWidth);
    const int bound = leafWidthBound(m);
    bool leavesMatter = false;
    for (size_t c = 0; c < columns; ++c) {
        if (column[c].present < records) f.columnWidths[c] = std::max(f.columnWidths[c], emptyCell);
        if (records) column[c].dragged = m.draggedWidth(f.key, static_cast<int32_t>(c));
        if (column[c].dragged >= 0 || f.columnWidths[c] >= bound || !column[c].longest) continue;
        widenBy(f.columnWidths[c], *column[c].longest, bound, m);
        leavesMatter = leavesMatter || f.columnWidths[c] < bound;
    }
    // The other leaves of a column count only while it is narrower than any leaf can ask for.
    if (leavesMatter) {
        for (size_t i = 0; i < f.children.size(); ++i) {
            GridBox& cell = *f.children[i];
            const size_t c = static_cast<size_t>(f.cellColumns[i]);
            if (cell.type == GridBoxType::Leaf && column[c].dragged < 0) widenBy(f.columnWidths[c], cell, bound, m);
        }
    }
    finishTable(box, column, m);
}

// Metrics that take every text at its bound (GridTextBound::upper): a box measured with them is
// at least as wide as it really is, since every width grows with its texts, and exactly as high,
// since no height depends on a text. Null without a bound.
std::unique_ptr<GridMetrics> boundedMetrics(const GridMetrics& m) {
    if (!m.textBound) return nullptr;
    auto bounded = std::make_unique<GridMetrics>(m);
    const GridTextBound* bound = m.textBound;
    bounded->measureText = [bound](std::wstring_view text) { return std::min(bound->upper(text), kGridMaxExtent); };
    bounded->bounding = true;
    return bounded;
}

// Lists in m.deferred the tables building their rows when needed inside `cell` that are not
// sized for `m` yet; false when there are none.
bool deferTables(GridBox& cell, const GridMetrics& m) {
    const size_t before = m.deferred->size();
    std::vector<GridBox*> stack{&cell};
    while (!stack.empty()) {
        GridBox* box = stack.back();
        stack.pop_back();
        if (!box->frame) continue;
        if (const GridLazyRows* lazy = box->frame->lazy.get(); lazy && lazy->owner) {
            if (m.bounding ? lazy->boundedWidth < 0 : lazy->sizedAhead != kSizedAheadReal)
                m.deferred->emplace_back(box, &m);
            continue;
        }
        for (GridBox* child : box->frame->children) stack.push_back(child);
    }
    return m.deferred->size() > before;
}

// What one cell built aside asks of column c, whose width so far is running[c]: a leaf is
// measured only when it can widen the column (else the width it was skipped against is kept);
// another box is measured (unless it is a built one, measured with its table already) and widens
// `height`. With `bounded` metrics, a box that they measure no wider than the column is not
// measured for real: it cannot widen the column, and its height is the real one.
// With `deferring`, false, with nothing changed, when a table inside it is still to be sized for
// the metrics it is measured with: it is listed in GridMetrics::deferred first.
bool sizeCell(GridBox& cell, int32_t c, std::vector<int>& running, GridLazyRows& lazy, int& height,
              const GridMetrics& m, const GridMetrics* bounded, GridSizedCell& sized, bool built = false,
              bool deferring = false) {
    sized = GridSizedCell{c, 0, false};
    const size_t column = static_cast<size_t>(c);
    if (cell.type == GridBoxType::Leaf) {
        int width = running[column];
        widenBy(width, cell, leafWidthBound(m), m);
        if (cell.naturalWidth >= 0)
            sized.width = cell.naturalWidth;
        else
            lazy.pruneLevel[column] = std::max(lazy.pruneLevel[column], running[column]);
    } else {
        bool skipped = false;
        if (!built && bounded) {
            if (deferring && deferTables(cell, *bounded)) return false;
            measureBox(cell, *bounded, false);
            skipped = cell.naturalWidth + padOf(cell, m) <= running[column];
        }
        if (skipped) {
            lazy.pruneLevel[column] = std::max(lazy.pruneLevel[column], running[column]);
        } else {
            if (!built) {
                if (deferring && deferTables(cell, m)) return false;
                measureBox(cell, m, false);
            }
            sized.width = cell.naturalWidth + padOf(cell, m);
        }
        sized.padded = cell.padded();
        height = std::max(height, askedHeight(cell, m));
    }
    running[column] = std::max(running[column], sized.width);
    return true;
}

// A row being sized: its cells built aside a part at a time, the next of them to size, where
// their sizes go in the table's sizedCells and the row's height so far. A row whose sizing
// deferred a table stays open, its cells built, and goes on with the cell that deferred it; a row
// whose part used up the work it was given goes on with its next part.
struct RowSizing {
    std::vector<std::pair<int32_t, GridBox*>> cells;  // the part built
    GridRowPart part;
    size_t at = 0;
    size_t stored = 0;  // where the row's sizes begin in sizedCells
    size_t done = 0;    // the row's cells sized in the parts before
    bool whole = false;  // the part built is the row's last
    int height = 0;
    bool open = false;
    bool deferring = false;  // its cells hold tables sized in slices of their own
};

enum class RowSized { done, deferred, changed };

// Sizes record row r of a table that builds its rows when needed: its cells are built aside in
// `scratch` a part at a time, measured and dropped; what each asks goes to sizedCells (appended,
// or over the row's own entries when it was sized before). `running` holds the column widths so
// far, which a leaf must exceed to be measured at all. Stops as deferred, to go on later, when
// a table inside a cell is to be sized first or when a part has used up `work` (children looked
// at); a row's cells are in distinct columns, so the order they are sized in changes nothing.
RowSized sizeRow(GridBox& box, size_t r, GridLayout& scratch, std::vector<int>& running, bool append,
                 const GridMetrics& m, const GridMetrics* bounded, RowSizing& row, size_t work = SIZE_MAX) {
    GridFrame& f = *box.frame;
    GridLazyRows& lazy = *f.lazy;
    if (!row.open) {
        startRecordCells(f, r, row.part);
        row.cells.clear();
        row.at = row.done = 0;
        row.whole = false;
        row.stored = append ? lazy.sizedCells.size() : lazy.sizedRows[r].first;
        if (append) lazy.sizedRows[r] = {static_cast<uint32_t>(row.stored), 0};
        row.height = m.rowHeight;
        row.open = true;
    }
    for (;;) {
        for (; row.at < row.cells.size(); ++row.at) {
            const auto [c, cell] = row.cells[row.at];
            // A dragged column takes the width of its widest nested table: those are measured.
            const bool undragged = m.draggedWidth(f.key, c) < 0;
            if (!sizeCell(*cell, c, running, lazy, row.height, m, undragged ? bounded : nullptr,
                          lazy.sizedCells[row.stored + row.done + row.at], false, row.deferring))
                return RowSized::deferred;
        }
        row.done += row.cells.size();
        row.cells.clear();
        row.at = 0;
        if (row.whole) break;
        if (work == 0) return RowSized::deferred;
        scratch.recycle();  // the part sized: its boxes serve the next
        row.whole = buildRecordCellsPart(scratch, f, row.part, work, row.cells);
        row.deferring = m.deferred && scratch.lazyTables != 0;
        const size_t end = row.done + row.cells.size();
        if (append) {
            lazy.sizedRows[r].count = static_cast<uint32_t>(end);
            lazy.sizedCells.resize(row.stored + end);
        } else if (end > lazy.sizedRows[r].count || (row.whole && end != lazy.sizedRows[r].count)) {
            row.open = false;
            return RowSized::changed;
        }
    }
    f.rowHeights[r] = row.height;
    row.open = false;
    scratch.recycle();
    return RowSized::done;
}

GridLayout scratchFor(const GridFrame& f, const GridMetrics& m) {
    const GridLazyRows& lazy = *f.lazy;
    GridLayout scratch;
    scratch.lazyAbove = lazy.owner->lazyAbove;
    scratch.expansion = lazy.owner->expansion;
    scratch.metrics = m;
    return scratch;
}

std::vector<int> headerWidths(const GridFrame& f, const GridMetrics& m) {
    std::vector<int> widths(f.rows.size());
    for (size_t c = 0; c < widths.size(); ++c) widths[c] = LabelWidth(f.rows[c], m);
    return widths;
}

// The column widths of a sized table from what its rows asked; false when a leaf skipped while
// sizing could now be the widest of its column (the row that made it narrow shrank).
bool finishSizedTable(GridBox& box, const GridMetrics& m) {
    GridFrame& f = *box.frame;
    GridLazyRows& lazy = *f.lazy;
    const size_t records = f.records.size();
    const size_t columns = f.rows.size();
    f.columnWidths = headerWidths(f, m);
    std::vector<ColumnAsk> column(columns);
    for (const GridSizedCell& cell : lazy.sizedCells) {
        const size_t c = static_cast<size_t>(cell.column);
        ++column[c].present;
        f.columnWidths[c] = std::max(f.columnWidths[c], cell.width);
        if (cell.padded) column[c].nestedMax = std::max(column[c].nestedMax, cell.width);
    }
    for (size_t c = 0; c < columns; ++c) {
        if (column[c].present < records) f.columnWidths[c] = std::max(f.columnWidths[c], m.px(kGridLeafMinWidth));
        if (f.columnWidths[c] < lazy.pruneLevel[c]) return false;
        if (records) column[c].dragged = m.draggedWidth(f.key, static_cast<int32_t>(c));
    }
    finishTable(box, column, m);
    return true;
}

// Sizes row r of a key/value table that builds its rows when needed: its row and value are built
// aside into `aside` and `scratch`, measured and dropped. With `labels` the row's label widens the
// label column (a label does not change with the expansion, so only a full sizing asks).
RowSized sizeKeyValueRow(GridBox& box, size_t r, GridLayout& scratch, GridFrame& aside, std::vector<int>& running,
                         bool labels, const GridMetrics& m, const GridMetrics* bounded, RowSizing& row) {
    GridFrame& f = *box.frame;
    GridLazyRows& lazy = *f.lazy;
    // A built table in the row is taken as it is: building it aside would measure all it holds.
    const uint32_t built = f.rowCells[r].first;
    if (built != kRowNotBuilt && f.children[built]->type != GridBoxType::Leaf) {
        if (labels) widenLabels(lazy.labelWidth, f.rows[built], m);
        int height = m.rowHeight;
        sizeCell(*f.children[built], 0, running, lazy, height, m, nullptr, lazy.sizedCells[r], true);
        f.rowHeights[r] = height;
        return RowSized::done;
    }
    if (!row.open) {
        aside.rows.clear();
        aside.children.clear();
        buildKeyValueRowAside(scratch, f, aside, r);
        if (labels) widenLabels(lazy.labelWidth, aside.rows.front(), m);
        row.height = m.rowHeight;
        row.deferring = m.deferred && scratch.lazyTables != 0;
        row.open = true;
    }
    const bool undragged = m.draggedWidth(box.node, kValueColumn) < 0;
    if (!sizeCell(*aside.children.front(), 0, running, lazy, row.height, m, undragged ? bounded : nullptr,
                  lazy.sizedCells[r], false, row.deferring))
        return RowSized::deferred;
    f.rowHeights[r] = row.height;
    row.open = false;
    scratch.recycle();
    return RowSized::done;
}

// A sized key/value table's width and height from what its rows asked; false when a value
// skipped while sizing could now be the widest (the row that made it narrow shrank).
bool finishSizedKeyValue(GridBox& box, const GridMetrics& m) {
    GridFrame& f = *box.frame;
    const GridLazyRows& lazy = *f.lazy;
    int valueWidth = 0, nestedWidth = 0;
    for (const GridSizedCell& cell : lazy.sizedCells) {
        valueWidth = std::max(valueWidth, cell.width);
        if (cell.padded) nestedWidth = std::max(nestedWidth, cell.width);
    }
    f.labelWidth = lazy.labelWidth;
    if (!keyValueWidth(box, valueWidth, nestedWidth, m) && valueWidth < lazy.pruneLevel.front()) return false;
    box.height = setRowTops(f);
    return true;
}

}  // namespace

// Sizing every row of one table that builds its rows when needed, one row after another, so
// that a big table can be sized a slice at a time: what each row asks goes to the table's
// sizedCells, against the column widths its rows asked so far.
struct GridTableSizing {
    GridBox& box;
    const bool keyValue;
    const size_t rows;
    const GridMetrics metrics;
    size_t next = 0;
    std::vector<int> running;
    GridLayout scratch;
    GridFrame aside;
    std::unique_ptr<GridMetrics> bounded;
    RowSizing row;

    GridTableSizing(GridBox& table, const GridMetrics& m)
        : box(table), keyValue(table.type == GridBoxType::KeyValue), rows(table.frame->records.size()), metrics(m),
          scratch(scratchFor(*table.frame, m)), bounded(boundedMetrics(m)) {
        GridFrame& f = *box.frame;
        GridLazyRows& lazy = *f.lazy;
        if (keyValue) {
            lazy.sizedCells.assign(rows, GridSizedCell{});
            lazy.labelWidth = 0;
            running.assign(1, 0);
        } else {
            lazy.sizedRows.assign(rows, GridCellRange{});
            lazy.sizedCells.clear();
            // A record has at most a cell per child (and one for its text): room for them all at
            // once, rather than the list moving to ever larger memory as the rows are sized.
            size_t cells = 0;
            for (const Node* record : f.records) cells += record->children.size() + (lazy.index.objects ? 0 : 1);
            lazy.sizedCells.reserve(cells);
            running = headerWidths(f, m);
        }
        lazy.pruneLevel.assign(running.size(), 0);
        f.rowHeights.assign(rows, m.rowHeight);
    }
    bool done() const { return next >= rows; }
    // Sizes the next row, or of a record row the part of it that `work` pays for; false when it
    // deferred a table inside it (the row goes on once that is sized) or the row goes on.
    bool sizeNext(size_t work = SIZE_MAX) {
        GridLazyRows& lazy = *box.frame->lazy;
        const RowSized sized = keyValue
                                   ? sizeKeyValueRow(box, next, scratch, aside, running, true, metrics, bounded.get(), row)
                                   : sizeRow(box, next, scratch, running, true, metrics, bounded.get(), row, work);
        if (sized == RowSized::deferred) return false;
        if (++next < rows) return true;
        lazy.staleRows.clear();
        lazy.sized = true;
        return true;
    }
};

namespace {

void sizeAll(GridBox& box, const GridMetrics& m) {
    GridMetrics atOnce = m;
    atOnce.deferred = nullptr;
    GridTableSizing sizing(box, atOnce);
    while (!sizing.done()) sizing.sizeNext();
}

void measureLazyTable(GridBox& box, const GridMetrics& m, bool reuse) {
    GridFrame& f = *box.frame;
    GridLazyRows& lazy = *f.lazy;
    const bool keyValue = box.type == GridBoxType::KeyValue;
    const bool fresh = !reuse || !lazy.sized;
    if (fresh && m.bounding && lazy.boundedWidth >= 0) {
        box.width = lazy.boundedWidth;
        box.height = lazy.boundedHeight;
        return;
    }
    const uint8_t ahead = m.bounding ? kSizedAheadBounded : kSizedAheadReal;
    size_t unbounded = SIZE_MAX;
    if (!keyValue) scanTableColumns(f, unbounded);
    auto finish = [&] { return keyValue ? finishSizedKeyValue(box, m) : finishSizedTable(box, m); };
    if (fresh) {
        if (lazy.sizedAhead != ahead) sizeAll(box, m);
    } else if (!lazy.staleRows.empty()) {
        GridLayout scratch = scratchFor(f, m);
        GridFrame aside;
        std::vector<int> running = keyValue ? std::vector<int>(1, 0) : headerWidths(f, m);
        // Each row once: a row sized twice would skip its own leaves against what it asked before.
        std::sort(lazy.staleRows.begin(), lazy.staleRows.end());
        lazy.staleRows.erase(std::unique(lazy.staleRows.begin(), lazy.staleRows.end()), lazy.staleRows.end());
        bool resized = true;
        RowSizing row;
        for (uint32_t r : lazy.staleRows)
            resized = resized && (keyValue ? sizeKeyValueRow(box, r, scratch, aside, running, false, m, nullptr, row)
                                           : sizeRow(box, r, scratch, running, false, m, nullptr, row)) == RowSized::done;
        lazy.staleRows.clear();
        if (!resized) sizeAll(box, m);
    }
    if (!keyValue) {
        const int number = m.measure(std::to_wstring(f.records.size())) + m.px(kGridRowNumberPadding);
        f.rowHeaderWidth = std::max(m.px(kGridRowHeaderMin), number);
    }
    if (!finish()) {
        sizeAll(box, m);
        finish();
    }
}

// Measures a box and what it holds. With reuse, a box measured before whose children are all
// unchanged keeps its size, so a relayout after one table opened or closed measures only that
// table and the boxes around it. Returns whether the box's size was worked out anew. With
// `shallow` the boxes it holds that hold others (but for a table's rows built when needed) are
// measured already, each after what it holds (GridLayoutPass measures in slices so), and are
// taken as changed.
bool measureBox(GridBox& box, const GridMetrics& m, bool reuse, bool shallow) {
    if (box.type == GridBoxType::Leaf) {
        if (reuse && box.measured && box.naturalWidth >= 0) return false;
        box.naturalWidth = leafWidth(box, m);
        box.width = box.naturalWidth;
        box.height = m.rowHeight;
        box.measured = true;
        return true;
    }
    GridFrame& f = *box.frame;
    // A table whose rows a pass was to build or whose records it was to sort, measured without
    // it: that is done now.
    if (f.lazy && f.lazy->pending) buildPendingTable(box);
    if (f.lazy && f.lazy->sortLater) sortTableLater(f, nullptr);
    bool changed = !reuse || !box.measured;
    if (f.lazyOwner()) {
        // Built rows are measured for placing; the table's own sizes come from sizing its rows,
        // so a row whose built table changed size (a column of it dragged) is sized again.
        for (size_t r = 0; r < f.records.size(); ++r) {
            if (f.rowCells[r].first == kRowNotBuilt) continue;
            bool resized = false;
            for (uint32_t i = f.rowCells[r].first, end = i + f.rowCells[r].count; i < end; ++i) {
                GridBox& cell = *f.children[i];
                if (cell.type != GridBoxType::Leaf) {
                    resized = measureBox(cell, m, reuse) || resized;
                } else {
                    cell.measured = true;
                    cell.height = m.rowHeight;
                }
            }
            if (resized && reuse && f.lazy->sized) f.lazy->staleRows.push_back(static_cast<uint32_t>(r));
        }
        if (!changed && f.lazy->sized && f.lazy->staleRows.empty()) return false;
        measureLazyTable(box, m, reuse);
        box.naturalWidth = box.width;
        box.measured = true;
        return true;
    }
    if (box.type == GridBoxType::Nested) {
        // A nested table's content keeps its own width: a leaf there ("…", an empty table) is measured.
        if (!f.children.empty()) {
            GridBox& content = *f.children.front();
            if ((shallow && content.type != GridBoxType::Leaf) || measureBox(content, m, reuse)) changed = true;
        }
    } else {
        for (GridBox* child : f.children) {
            if (child->type == GridBoxType::Leaf) {
                if (!child->measured) changed = true;
            } else if (shallow || measureBox(*child, m, reuse)) {
                changed = true;
            }
        }
    }
    if (!changed) return false;
    switch (box.type) {
        case GridBoxType::Leaf: break;
        case GridBoxType::KeyValue: measureKeyValue(box, m, reuse); break;
        case GridBoxType::Table: measureTable(box, m, reuse); break;
        case GridBoxType::Nested: {
            const int label = LabelWidth(f.rows.front(), m);
            if (!f.children.empty()) {
                const GridBox& content = *f.children.front();
                box.width = std::max(label, capped(static_cast<long long>(content.width) + m.px(kGridPad)));
                box.height = capped(static_cast<long long>(m.rowHeight) + content.height + m.px(kGridPadding));
            } else {
                box.width = label;
                box.height = m.rowHeight;
            }
            break;
        }
    }
    box.naturalWidth = box.width;
    box.measured = true;
    return true;
}

}  // namespace

void Measure(GridBox& box, const GridMetrics& m) { measureBox(box, m, false); }

namespace {

// A child in its cell: padded boxes 4 DIP inside, the others fill the cell exactly.
void placeInCell(GridBox& child, int left, int top, int width, int height, const GridMetrics& m) {
    if (child.padded()) {
        Place(child, left + m.px(kGridPadding), top + m.px(kGridPadding), m);
    } else {
        Place(child, left, top, m);
        child.width = width;
        child.height = height;
    }
}

std::vector<int> columnLefts(const GridBox& table) {
    const GridFrame& f = *table.frame;
    std::vector<int> lefts(f.columnWidths.size());
    long long left = static_cast<long long>(table.x) + f.rowHeaderWidth;
    for (size_t c = 0; c < lefts.size(); ++c) {
        lefts[c] = capped(left);
        left += f.columnWidths[c];
    }
    return lefts;
}

// Places the built boxes of row r: a key/value row's value, or a record's cells (columnLeft:
// the left edge of each column).
void placeRow(const GridBox& table, size_t r, const std::vector<int>& columnLeft, const GridMetrics& m) {
    const GridFrame& f = *table.frame;
    if (table.type == GridBoxType::KeyValue) {
        const size_t i = f.rowCells.empty() ? r : f.rowCells[r].first;
        if (i != kRowNotBuilt)
            placeInCell(*f.children[i], table.x + f.labelWidth, table.y + f.rowTops[r], table.width - f.labelWidth,
                        f.rowHeights[r], m);
        return;
    }
    if (f.rowCells[r].first == kRowNotBuilt) return;
    const int top = table.y + m.rowHeight + f.rowTops[r];
    for (uint32_t i = f.rowCells[r].first, end = i + f.rowCells[r].count; i < end; ++i) {
        const size_t c = static_cast<size_t>(f.cellColumns[i]);
        placeInCell(*f.children[i], columnLeft[c], top, f.columnWidths[c], f.rowHeights[r], m);
    }
}

}  // namespace

namespace {

// While a pass places a layout in slices: the box being placed, and the boxes below it that hold
// others, listed with their places to be placed in later steps (leaves are placed at once).
struct PlaceLater {
    const GridBox* current = nullptr;
    std::vector<std::tuple<GridBox*, int, int>>* boxes = nullptr;
};
PlaceLater* placeLater = nullptr;

}  // namespace

void Place(GridBox& box, int x, int y, const GridMetrics& m) {
    // A box's place is its parent's plus an offset of at most the extent, so cutting every place
    // at the extent keeps each sum of a place and a size far from overflowing.
    x = capped(x);
    y = capped(y);
    if (placeLater && &box != placeLater->current && box.type != GridBoxType::Leaf) {
        box.x = x;
        box.y = y;
        placeLater->boxes->emplace_back(&box, x, y);
        return;
    }
    box.x = x;
    box.y = y;
    switch (box.type) {
        case GridBoxType::Leaf: return;
        case GridBoxType::Nested:
            if (!box.frame->children.empty())
                Place(*box.frame->children.front(), x + m.px(kGridPadding), y + m.rowHeight, m);
            return;
        case GridBoxType::KeyValue:
            for (size_t r = 0, n = keyValueRowCount(box); r < n; ++r) placeRow(box, r, {}, m);
            return;
        case GridBoxType::Table: {
            GridFrame& f = *box.frame;
            const std::vector<int> columnLeft = columnLefts(box);
            for (size_t r = 0; r < f.records.size(); ++r) placeRow(box, r, columnLeft, m);
            return;
        }
    }
}

void layOutGrid(GridLayout& layout, const GridMetrics& m) {
    layout.metrics = m;
    if (!layout.root) return;
    Measure(*layout.root, m);
    Place(*layout.root, 0, 0, m);
}

void relayOutGrid(GridLayout& layout, const GridMetrics& m) {
    layout.metrics = m;
    if (!layout.root) return;
    measureBox(*layout.root, m, true);
    Place(*layout.root, 0, 0, m);
}

GridLayoutPass::GridLayoutPass(GridLayout& layout, const GridMetrics& m)
    : layout_(layout), metrics_(m), sizingMetrics_(m) {
    metrics_.deferred = nullptr;
    sizingMetrics_.deferred = &deferred_;
    layout.metrics = metrics_;
    if (layout.root) FindTables(layout.root);
}

void GridLayoutPass::FindTables(GridBox* top) {
    // The tables of the built boxes; a table inside a row not built is sized with its row, and
    // the tables inside the rows of a table whose rows the pass builds are found as it builds them.
    std::vector<GridBox*> stack{top};
    while (!stack.empty()) {
        GridBox* box = stack.back();
        stack.pop_back();
        if (!box->frame) continue;
        const GridFrame& f = *box->frame;
        if (f.lazyOwner()) {
            tables_.push_back(box);
            rows_ += f.records.size();
            continue;
        }
        if (f.lazy && f.lazy->pending) {
            tables_.push_back(box);
            rows_ += f.lazy->pending->cells;
        }
        for (GridBox* child : f.children)
            if (child->frame) stack.push_back(child);
    }
}

GridLayoutPass::~GridLayoutPass() {
    // A table sized ahead lies in the scratch of the job below it: the jobs go last first.
    while (!jobs_.empty()) jobs_.pop_back();
}

void GridLayoutPass::FinishJob(Job& job) {
    if (!job.ahead) return;
    GridLazyRows& lazy = *job.box->frame->lazy;
    if (!job.metrics.bounding) {
        lazy.sizedAhead = kSizedAheadReal;
        return;
    }
    // Only its size counts with every text at its bound: the real sizes may be made after it.
    lazy.sizedAhead = kSizedAheadBounded;
    measureLazyTable(*job.box, job.metrics, false);
    lazy.boundedWidth = job.box->width;
    lazy.boundedHeight = job.box->height;
    lazy.sizedAhead = 0;
    lazy.sized = false;
}

bool GridLayoutPass::Step(size_t boxes) {
    size_t made = 0;
    while (made < boxes) {
        if (jobs_.empty()) {
            if (tables_.empty()) break;
            jobs_.push_back(Job{tables_.back(), sizingMetrics_, false, nullptr, nullptr, nullptr});
            tables_.pop_back();
        }
        Job& job = jobs_.back();
        if (!job.sizing) {
            if (job.box->type == GridBoxType::Table) {
                // Its columns first, found a slice of its records at a time: looking at a member
                // costs about a quarter of building a box.
                const size_t budget = boxes - made > SIZE_MAX / 4 ? SIZE_MAX : (boxes - made) * 4;
                size_t work = budget;
                const bool found = scanTableColumns(*job.box->frame, work);
                made += (budget - work) / 4 + 1;
                if (!found) break;
            }
            if (job.box->frame->lazy && job.box->frame->lazy->pending) {
                // Then its rows, built into the layout a part at a time; the tables in the cells
                // built are sized after it.
                const size_t budget = std::max<size_t>(boxes - std::min(boxes, made), 1);
                size_t work = budget;
                std::vector<GridBox*> cells;
                const bool built = buildPendingRows(*job.box, work, &cells);
                made += budget - work;
                sized_ += budget - work;
                for (GridBox* cell : cells) FindTables(cell);
                if (!built) break;
                jobs_.pop_back();
                continue;
            }
            if (job.box->frame->lazy->sortLater) {
                // Then its records put in order: a row's key costs about a box, a text's
                // collation key about eight.
                GridFrame& f = *job.box->frame;
                const GridSortKey key = laterSortOf(f);
                if (key.column < 0 || key.column >= f.columnCount) {
                    // A sort by a column this table does not have (the filter kept none of its
                    // cells) leaves the records in document order, as a build in one go does.
                    sortTableLater(f, nullptr);
                    continue;
                }
                if (!job.sort) {
                    job.columns = std::make_unique<RecordColumns>(tableColumns(f));
                    job.sort = std::make_unique<TableSort>(f.records, *job.columns, key.column, key.descending,
                                                           layout_.textKey);
                }
                const size_t budget = std::max<size_t>(boxes - std::min(boxes, made), 1);
                const bool ordered = job.sort->Step(budget, std::max<size_t>(budget / 8, 1));
                made += budget;
                if (!ordered) break;
                const std::vector<uint32_t> order = job.sort->Order();
                job.sort.reset();
                job.columns.reset();
                sortTableLater(f, &order);
                break;  // the ranking and ordering were a slice's work
            }
            job.sizing = std::make_unique<GridTableSizing>(*job.box, job.metrics);
            continue;
        }
        GridTableSizing& sizing = *job.sizing;
        if (sizing.done()) {
            FinishJob(job);
            jobs_.pop_back();
            continue;
        }
        const size_t before = sizing.scratch.boxesMade;
        const bool sized = sizing.sizeNext(boxes - made);
        made += sizing.scratch.boxesMade - before + 1;
        if (sized) {
            ++sized_;
            continue;
        }
        // The tables its row holds are sized first, the first of them next, each with the
        // metrics the row was measured with (which its sizing keeps, above it).
        for (auto it = deferred_.rbegin(); it != deferred_.rend(); ++it) {
            jobs_.push_back(Job{it->first, *it->second, true, nullptr, nullptr, nullptr});
            rows_ += it->first->frame->records.size();
        }
        deferred_.clear();
    }
    while (!jobs_.empty() && jobs_.back().sizing && jobs_.back().sizing->done()) {
        FinishJob(jobs_.back());
        jobs_.pop_back();
    }
    if (rows_) progress_ = std::max(progress_, static_cast<int>(std::min<size_t>(99, sized_ * 100 / rows_)));
    if (!jobs_.empty() || !tables_.empty()) return false;
    // Every table sized: the boxes are measured, each after the boxes it holds (measuring with
    // reuse takes a sized table's sizes as they are), then placed, from the root down, a slice at
    // a time, a box's children each paid for.
    if (!measuring_ && layout_.root && measured_.empty() && placing_.empty() && !placed_) {
        measuring_ = true;
        measured_.emplace_back(layout_.root, 0);
    }
    while (measuring_ && made < boxes) {
        if (measured_.empty()) {
            measuring_ = false;
            placing_.emplace_back(layout_.root, 0, 0);
            break;
        }
        auto& [box, next] = measured_.back();
        const GridFrame* f = box->frame.get();
        ++made;
        // The rows a table builds when needed are measured with it.
        if (f && !f->lazyOwner() && next < f->children.size()) {
            GridBox* child = f->children[next++];
            if (child->type != GridBoxType::Leaf) measured_.emplace_back(child, 0);
            continue;
        }
        measureBox(*box, metrics_, true, true);
        measured_.pop_back();
    }
    while (!measuring_ && !placing_.empty() && made < boxes) {
        const auto [box, x, y] = placing_.back();
        placing_.pop_back();
        PlaceLater later{box, &placing_};
        struct Scope {  // no other placing is deferred, also when this one throws
            explicit Scope(PlaceLater* p) { placeLater = p; }
            ~Scope() { placeLater = nullptr; }
        } scope(&later);
        Place(*box, x, y, metrics_);
        made += 1 + (box->frame ? box->frame->children.size() : 0);
        placed_ = placing_.empty();
    }
    return !layout_.root || placed_;
}

void GridLayoutPass::Finish() {
    while (!Step(SIZE_MAX)) {
    }
    // What is built into the layout from now on (a toggle, a row painted) is built at once, as
    // in any layout no pass lays out.
    layout_.passCellsAbove = SIZE_MAX;
    layout_.passSorts = false;
}

bool markColumnResized(GridLayout& layout, const Node* key, int32_t column) {
    if (!layout.root || !key) return false;
    std::vector<GridBox*> stack{layout.root};
    while (!stack.empty()) {
        GridBox* box = stack.back();
        stack.pop_back();
        if (!box->frame) continue;
        const GridFrame& f = *box->frame;
        const bool owner = column < 0 ? box->type == GridBoxType::KeyValue && box->node == key
                                      : box->type == GridBoxType::Table && f.key == key;
        if (owner) {
            box->measured = false;
            return true;
        }
        for (GridBox* child : f.children)
            if (child->frame) stack.push_back(child);
    }
    return false;
}

void ensureTableRow(const GridBox& table, size_t record) {
    GridFrame& f = *table.frame;
    if (!f.lazyOwner() || record >= f.records.size() || f.rowCells[record].first != kRowNotBuilt) return;
    GridLayout& owner = *f.lazyOwner();
    const GridMetrics& m = owner.metrics;
    buildTableRow(table, record);
    for (uint32_t i = f.rowCells[record].first, end = i + f.rowCells[record].count; i < end; ++i) {
        GridBox& cell = *f.children[i];
        if (cell.type != GridBoxType::Leaf) {
            measureBox(cell, m, false);
        } else {
            cell.measured = true;
            cell.height = m.rowHeight;
        }
    }
    if (f.rowTops.size() == f.records.size() + 1) placeRow(table, record, columnLefts(table), m);
}

int clampGridScroll(long long value, int content, int client) {
    const long long upper = static_cast<long long>(content) - client;
    if (value > upper) value = upper;
    if (value < 0) value = 0;
    return static_cast<int>(value);
}

int GridMeasureCache::operator()(std::wstring_view text) {
    if (text.empty()) return 0;
    auto it = widths_.find(text);
    if (it != widths_.end()) return it->second;
    const int width = measure_ ? measure_(text) : 0;
    const std::wstring& key = keys_.emplace_back(text);
    widths_.emplace(std::wstring_view(key), width);
    return width;
}

}  // namespace qm
