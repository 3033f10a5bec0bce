// The grid view's logic that needs no window: the document as nested boxes (key/value tables,
// record tables, nested cells and leaf cells), the two expansion sets and their operations, and
// the layout: measuring with a text-width function handed in, placing, and the hit tests. The
// window side (grid_win.cpp) keeps these in step with the main window and paints them.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "appearance/slots.h"
#include "document/document.h"
#include "views/gridtable.h"

namespace qm {

// Nesting levels the grid builds before it shows a "…" cell instead of a table; the cell's node
// is the container whose content it stands for.
constexpr int kGridMaxDepth = 120;

// No size or position in the grid exceeds this many pixels: a table wider or taller is cut
// there, so that no sum of widths, heights or places overflows, and scrolling stays in range.
constexpr int kGridMaxExtent = 1 << 28;

// Geometry in DIPs.
constexpr int kGridMargin = 8;            // around the root box
constexpr int kGridPadding = 4;           // a nested table sits this far inside its cell
constexpr int kGridPad = 2 * kGridPadding;
constexpr int kGridTextGap = 2;           // added to every measured text
constexpr int kGridToggleWidth = 16;      // chevron box and its gap
constexpr int kGridChevronWidth = 14;
constexpr int kGridBadgeWidth = 24;
constexpr int kGridBadgeHeight = 15;
constexpr int kGridBadgeGap = 6;
constexpr int kGridLabelOffset = 30;      // badge plus gap
constexpr int kGridCellInset = 6;         // text inset of label and leaf cells
constexpr int kGridRightInset = 4;
constexpr int kGridCountGap = 4;
constexpr int kGridNoteGap = 10;
constexpr int kGridTrailing = 8;
constexpr int kGridLabelCap = 220;
constexpr int kGridNoteCap = 200;
constexpr int kGridLeafCap = 280;
constexpr int kGridAutoFitCap = 8000;
constexpr int kGridLeafMinWidth = 28;
constexpr int kGridLeafPadding = 12;      // the leaf's text inset on both sides
constexpr int kGridRowHeaderMin = 30;
constexpr int kGridRowNumberPadding = 12;
constexpr int kGridMinColumn = 24;        // a dragged column keeps at least this much
constexpr int kGridExpanderZone = 22;     // cell inset plus chevron box
constexpr int kGridEdgeTolerance = 3;
constexpr int kGridLineStep = 40;         // scroll bar arrows and Left/Right
constexpr int kGridWheelStepX = 60;
constexpr int kGridErrorInset = 16;

// Column indexes of a key/value table's two columns in the dragged widths.
constexpr int32_t kLabelColumn = -1;
constexpr int32_t kValueColumn = -2;

enum class GridBoxType : uint8_t { Leaf = 0, KeyValue = 1, Table = 2, Nested = 3 };

// What a row opens: nothing, a node (expandedNodes) or a group of same-named elements (expandedGroups).
enum GridToggle : uint8_t { kToggleNone = 0, kToggleNode = 1, kToggleGroup = 2 };

// A label cell: a key/value row, a record table's column header or a nested cell's header line.
// Label and note are views of the node's own text or of a text the layout keeps.
struct GridRow {
    Node* node = nullptr;
    Node* toggleKey = nullptr;
    std::wstring_view label;
    std::wstring_view note;   // type tag and/or summary, drawn dim after the label
    uint32_t count = 0;       // shown as "(count)" when not 0
    NodeKind kind = NodeKind::Root;
    uint8_t toggle = kToggleNone;
    bool open = false;
};

struct GridBox;
struct GridLayout;

// The columns of a record table and the names that find them, kept by a table whose rows are
// built when first needed; also the scratch a record's cells are sorted into.
struct GridColumnIndex {
    // The column of (category, name), or -1.
    int32_t find(uint8_t category, std::wstring_view name) const;
    // The column of (category, name), added as the next column when it is new (`added`).
    int32_t add(uint8_t category, std::wstring_view name, bool& added);
    void clear();

    int32_t textColumn = -1;
    bool objects = true;  // records are objects, not elements
    // Records mostly list their members in the same order: the member column the last record
    // had at each position is tried before the names are looked up (-1: none yet).
    std::vector<int32_t> columnAt;
    int32_t& guessAt(size_t position) {
        if (position >= columnAt.size()) columnAt.resize(position + 1, -1);
        return columnAt[position];
    }
    std::vector<size_t> claimedBy;
    std::vector<std::vector<Node*>> elementsOf;
    size_t stamp = 0;

private:
    // Most tables have a few columns, which are looked through; the names of a table of more
    // are hashed once it has them, into an open-addressed table of column numbers (-1: free) at
    // most half full: a table of a million columns costs no allocation per column, and growing
    // or emptying it is one pass over plain numbers.
    static constexpr size_t kScannedColumns = 8;
    struct Column {
        uint8_t category;
        std::wstring_view name;
        size_t hash;
    };
    std::vector<Column> columns_;
    std::vector<int32_t> slots_;
    static size_t hashOf(uint8_t category, std::wstring_view name);
    void place(int32_t column);
};

// What sizing a record row found for one of its cells: its column, the width it asks (0 for a
// leaf that could not widen its column) and whether it is padded.
struct GridSizedCell {
    int32_t column = 0;
    int32_t width = 0;
    bool padded = false;
};

// A table of many rows (records, or the rows of a key/value table) builds the boxes of a row only
// when something needs them (painting, a hit test, a search for a node's box). Its sizes come from
// sizing each row once: its cells are built aside, measured and dropped, and what they asked is
// kept here. Every record table has this while it is built; a table that builds all its rows at
// once drops it afterwards. A key/value table has it only when it builds its rows when needed.
// Where the built cells of one record lie in a table's children, or what sizing it found in a
// table's sized cells.
struct GridCellRange {
    uint32_t first = 0;  // kRowNotBuilt for a row not built yet
    uint32_t count = 0;
};

// Where building one record's cells a part at a time stands: the phase of its children
// (members; or attributes, its text, its elements gathered by name, their cells built), the next
// child or gathered column, the members met so far and the columns the record fills.
struct GridRowPart {
    size_t record = 0;
    size_t stamp = 0;  // the record's mark in the table's claimed columns
    uint8_t phase = 0;
    size_t at = 0;
    size_t position = 0;
    std::vector<int32_t> touched;
};

// A record table of few records but many cells (a record of a hundred thousand members) whose
// rows a GridLayoutPass builds a part of a row at a time, into the layout it lies in, instead of
// buildGrid building them all in one go, or a key/value table of such a layout whose rows it
// builds a row at a time; once built it is a table like any other.
struct GridPendingRows {
    GridLayout* into = nullptr;
    size_t cells = 0;         // the records' children added up: the work of building them
    size_t next = 0;          // the record being built
    bool open = false;        // part of record `next` is built
    uint32_t rowStart = 0;    // where that record's cells begin in the table's children
    GridRowPart part;
    std::vector<Node*> starts;  // a key/value table's rows to build: each row's first child
};

struct GridLazyRows {
    GridLayout* owner = nullptr;         // the layout rows are built into; null: every row built
    int32_t depth = 0;                   // the nesting depth the table was built at
    GridColumnIndex index;
    // Record r's entries in sizedCells (which a sort leaves where they are: it moves these).
    std::vector<GridCellRange> sizedRows;
    std::vector<GridSizedCell> sizedCells;  // KeyValue: the value of row r at r
    std::vector<int32_t> pruneLevel;     // per column: the width leaves were skipped against
    int32_t labelWidth = 0;              // KeyValue: what its rows' labels ask
    std::vector<uint32_t> staleRows;     // rows to size again (a toggle inside them)
    bool sized = false;
    // A table in a row sized aside in slices (GridLayoutPass) is sized in slices of its own before
    // that row is measured: the metrics its sizes were made with then (kSizedAheadReal or
    // kSizedAheadBounded; 0: none), and its size with every text at its bound (-1: not known).
    uint8_t sizedAhead = 0;
    int32_t boundedWidth = -1, boundedHeight = -1;
    // Finding a big table's columns goes on where it stopped: the pass over the records it is in
    // (elements: attributes, then texts, then elements), the records that pass has been through,
    // and in the next record the child it stopped at and the members met before it.
    uint8_t scanPhase = 0;
    size_t scanned = 0;
    size_t scanAt = 0;
    size_t scanPosition = 0;
    // Rows a pass builds (owner is null then); null otherwise.
    std::unique_ptr<GridPendingRows> pending;
    // A sorted table whose records a pass puts in order, a slice of their keys at a time, before
    // it sizes its rows (GridLayout::passSorts); they are in document order until then.
    bool sortLater = false;

    // Empty again for another table, keeping the memory its lists hold.
    void reset();
};

// The parts of a box that only tables and nested cells have; leaf cells, the bulk of every grid,
// go without them.
struct GridFrame {
    // KeyValue: one per row (building rows when needed: one per row built, in the order built,
    // found through rowCells). Table: one per column (the header cells). Nested: its header line.
    std::vector<GridRow> rows;
    // KeyValue: each row's value box, at the index of its row. Table: the cells built, a row's
    // cells together in column order, rows in the order they were built (a member or attribute a
    // record lacks has no box and is drawn as an empty cell). Nested: none, or its open content box.
    std::vector<GridBox*> children;
    std::vector<GridCellRange> rowCells;  // a table building rows when needed: each row's boxes in children
    std::vector<int32_t> cellColumns;     // Table: the column of each cell in children
    std::vector<int32_t> rowHeights;
    std::vector<int32_t> rowTops;         // top of each row (below a table's header line), then the end
    std::vector<int32_t> columnWidths;    // Table
    std::vector<Node*> records;           // Table; KeyValue building rows when needed: each row's first child
    // Table: its first record in document order, which names the table for dragged widths and
    // sorting; and, when sorted, each row's number in document order (1-based).
    Node* key = nullptr;
    std::vector<uint32_t> recordNumbers;
    int32_t labelWidth = 0;               // KeyValue
    int32_t rowHeaderWidth = 0;           // Table
    int32_t columnCount = 0;              // Table
    std::unique_ptr<GridLazyRows> lazy;   // a table building its rows when needed

    GridLayout* lazyOwner() const { return lazy ? lazy->owner : nullptr; }
    // Empty again, keeping the memory its lists hold.
    void reset();
};

constexpr uint32_t kRowNotBuilt = UINT32_MAX;
constexpr uint8_t kSizedAheadReal = 1;
constexpr uint8_t kSizedAheadBounded = 2;
// GridLazyRows::scanPhase once every column of the table is found.
constexpr uint8_t kColumnsFound = 3;

struct GridBox {
    GridBoxType type = GridBoxType::Leaf;
    ColorSlot colour = ColorSlot::text;  // Leaf
    bool dim = false;                    // Leaf: drawn in dimText
    // Measured since it was built. A leaf cell is measured lazily: naturalWidth stays -1 until its
    // width could widen its column.
    bool measured = false;
    int32_t x = 0, y = 0, width = 0, height = 0;
    // The width the box asks for; placing stretches leaf and closed nested cells to their cell.
    int32_t naturalWidth = -1;
    Node* node = nullptr;
    std::wstring_view text;              // Leaf
    std::unique_ptr<GridFrame> frame;    // all but Leaf

    bool padded() const {
        return type == GridBoxType::KeyValue || type == GridBoxType::Table ||
               (type == GridBoxType::Nested && frame && !frame->children.empty());
    }
    bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};

// Containers whose table is open, or groups of same-named elements, keyed by their first element.
// "Expand all" opens every one without listing them: the set then holds everything but the
// nodes closed since, so opening all of a big file costs no set of millions of nodes. It is only
// asked about what it can hold: expandable containers, and the first element of a run or group.
class GridNodeSet {
public:
    size_t count(const Node* node) const {
        if (!all_) return listed_.count(node);
        return (!containers_ || (node->kind != NodeKind::Root && isExpandable(node))) &&
               (listed_.empty() || !listed_.count(node));
    }
    // Whether the node was not in the set before.
    bool insert(const Node* node) { return all_ ? listed_.erase(node) != 0 : listed_.insert(node).second; }
    // Whether the node was in the set before.
    bool erase(const Node* node) { return all_ ? listed_.insert(node).second : listed_.erase(node) != 0; }
    void clear() {
        all_ = containers_ = false;
        document_ = nullptr;
        listed_.clear();
    }
    // Holds every expandable container of `document` but the root, or with `containers` false
    // every run and group key.
    void fill(bool containers, const Document* document) {
        listed_.clear();
        all_ = true;
        containers_ = containers;
        document_ = document;
    }
    // Only for a set of containers, or one not filled. Filled, it counts the document's
    // containers: a pass over every node, which filling does not make.
    size_t size() const {
        if (!all_) return listed_.size();
        size_t total = 0;
        for (size_t i = 0; document_ && i < document_->nodes.size(); ++i)
            if (count(&document_->nodes[i])) ++total;
        return total;
    }
    bool operator==(const GridNodeSet& other) const {
        return all_ == other.all_ && containers_ == other.containers_ && document_ == other.document_ &&
               listed_ == other.listed_;
    }

private:
    bool all_ = false;         // every node it can hold, but those listed
    bool containers_ = false;  // filled with the containers, not with run and group keys
    const Document* document_ = nullptr;
    std::unordered_set<const Node*> listed_;
};
// The widths the user dragged, in DIPs: (table key node, column index) → width.
using GridColumnWidths = std::map<std::pair<const Node*, int32_t>, uint32_t>;

struct GridExpansion {
    GridNodeSet nodes;   // containers whose nested table is open
    GridNodeSet groups;  // groups of same-named elements, keyed by their first element
    GridSortKeys sorts;  // record tables the user sorted by a column
    bool filtered = false;  // the search box's filter is on: only the nodes it keeps are built
    // With filtered: built beside the grid shown for a filter still being applied, whose next
    // marks (shell/filter.h) decide what is kept.
    bool nextFilter = false;
    const Document* document = nullptr;  // the nodes' document, which holds their type tags
};

// DIPs to pixels at `dpi`, rounded to the nearest (views/tree.cpp).
int scaleDips(int dips, unsigned dpi);

// Text width in pixels of the content font (0 for an empty text).
using GridMeasureText = std::function<int(std::wstring_view)>;

// What the content font's character widths say about a text before it is measured: no text is
// wider than the advance widths of its characters added up, each printable ASCII character at
// its own advance and every other code unit at the font's widest character. A leaf whose bound
// cannot widen its column is never measured.
struct GridTextBound {
    std::array<uint16_t, 128> ascii{};  // advance of each printable ASCII character
    int widest = 0;                     // the font's widest character; 0: no bound known
    // The font measures a text of printable ASCII characters exactly as their advances add up
    // (checked against the font itself: no kerning, no overhang), so such a text is summed from
    // `ascii` instead of measured.
    bool exactAscii = false;

    // The most pixels `text` can measure, or INT_MAX without a bound.
    int upper(std::wstring_view text) const;
    // The width of `text` when exactAscii and it is all printable ASCII; otherwise -1.
    int exact(std::wstring_view text) const;
};

struct GridMetrics {
    unsigned dpi = 96;
    int rowHeight = 22;
    bool autoFit = false;
    const GridColumnWidths* columnWidths = nullptr;  // dragged widths, or none
    GridMeasureText measureText;
    const GridTextBound* textBound = nullptr;        // leaves outside it are skipped unmeasured
    // Every text taken at its bound: what sizing measures a box with first, to skip measuring it
    // for real when even so it cannot widen its column.
    bool bounding = false;
    // Sizing in slices: the tables building their rows when needed inside a cell of a row sized
    // aside are not sized while that cell is measured but listed here first, with the metrics
    // the cell is measured with, and the cell measured once they are sized (null: sized at once).
    std::vector<std::pair<GridBox*, const GridMetrics*>>* deferred = nullptr;

    int px(int dips) const { return dpi == 96 ? dips : scaleDips(dips, dpi); }
    // The measure of a text: its width + 2 DIP, or 0 for an empty text.
    int measure(std::wstring_view text) const;
    // The width a dragged entry asks for, in pixels, or -1 when there is none.
    int draggedWidth(const Node* key, int32_t column) const;
};

// Every box of one layout, and the texts its cells show that are not the nodes' own.
struct GridLayout {
    std::deque<GridBox> boxes;
    std::deque<std::wstring> texts;
    GridBox* root = nullptr;
    // Boxes of tables that a toggle replaced; they stay in `boxes` until the next full build.
    size_t discarded = 0;
    // Record tables of more records and key/value tables of more rows than this build their
    // rows when first needed.
    size_t lazyAbove = 200;
    // Record tables of fewer records but more cells than this (their records' children added up)
    // leave building their rows to a GridLayoutPass over this layout, a slice at a time; measuring
    // such a table builds whatever rows are left first. Only a layout a pass lays out sets it, and
    // the pass's Finish sets it back.
    size_t passCellsAbove = SIZE_MAX;
    // The same for sorting the records of a sorted table that builds its rows when needed: left
    // to the pass (sorting a big table by its texts works out a collation key per row).
    bool passSorts = false;
    // What rows built later are built and measured with: the expansion of the last build and the
    // metrics of the last layout.
    const GridExpansion* expansion = nullptr;
    GridMetrics metrics;
    GridTextKey textKey;  // how sorted tables order texts; none: by lower-cased code units
    size_t boxesMade = 0;  // every box built into it, recycled or not: the work of sizing rows
    size_t lazyTables = 0;  // tables building their rows when needed built into it since it was recycled

    void clear() {
        root = nullptr;
        boxes.clear();
        texts.clear();
        spareFrames.clear();
        spareLazy.clear();
        spareNodeLists.clear();
        spareCellLists.clear();
        reused = 0;
        discarded = 0;
        lazyTables = 0;
    }
    // Rows sized aside are built into a scratch layout, one after another: each row's boxes go
    // back here, their frames emptied but keeping their memory, for the next row to build into,
    // so sizing a big table does not allocate every box of every row afresh.
    void recycle();
    // A box built into this layout, a recycled one when there is one.
    GridBox& newBox(GridBoxType type, Node* node);
    // The row index of a record table, a spare one when there is one; and giving one back.
    std::unique_ptr<GridLazyRows> newLazyRows();
    void spareLazyRows(std::unique_ptr<GridLazyRows> lazy);

    // A list lent for the time of one table's build and given back emptied, its memory kept for
    // the next: building the rows of a big table one after another allocates no list per row.
    // Builds nest (a table inside a row), so each borrows one of its own.
    template <class T>
    class Borrowed {
    public:
        Borrowed(std::vector<std::vector<T>>& spare) : spare_(spare) {
            if (!spare_.empty()) {
                list_ = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        ~Borrowed() {
            list_.clear();
            spare_.push_back(std::move(list_));
        }
        Borrowed(const Borrowed&) = delete;
        Borrowed& operator=(const Borrowed&) = delete;
        std::vector<T>& operator*() { return list_; }
        std::vector<T>* operator->() { return &list_; }

    private:
        std::vector<std::vector<T>>& spare_;
        std::vector<T> list_;
    };
    Borrowed<Node*> borrowNodes() { return Borrowed<Node*>(spareNodeLists); }
    Borrowed<std::pair<int32_t, GridBox*>> borrowCells() { return Borrowed<std::pair<int32_t, GridBox*>>(spareCellLists); }

private:
    std::vector<std::unique_ptr<GridFrame>> spareFrames;
    std::vector<std::unique_ptr<GridLazyRows>> spareLazy;
    std::vector<std::vector<Node*>> spareNodeLists;
    std::vector<std::vector<std::pair<int32_t, GridBox*>>> spareCellLists;
    size_t reused = 0;  // boxes[0, reused) are in use again since recycle(); all when 0 and not recycled
    bool recycled = false;
};

// ---- expansion ----

// The first element of the largest block of consecutive same-named element siblings holding
// `node`, when that block has two or more; otherwise null.
const Node* gridRunKey(const Node* node);
// The parent's first element child of the same name, when the parent has more than one.
const Node* gridGroupKey(const Node* node);

// A new document: the top level open and, for top-level nodes of at most 200 children, their
// expandable children and runs.
void resetGridExpansion(const Node* root, GridExpansion& expansion);
// "Expand all" (every container and element group) or "Collapse all" (the top level only).
void expandAllGrid(const Document& doc, bool expand, GridExpansion& expansion);
void expandGridSubtree(const Node* node, GridExpansion& expansion);
// A toggle of the grid: what it opens (kToggleNode or kToggleGroup) and the node naming it.
using GridToggleKey = std::pair<uint8_t, const Node*>;
// Opens every table on the way from the root to `node`; false when they were all open already.
// With `outermost`, also the toggles it opened nearest the root: building those again builds
// everything else it opened, which lies inside them.
bool revealInGrid(const Node* node, GridExpansion& expansion, std::vector<GridToggleKey>* outermost = nullptr);
// The node that stands for `node` in the grid as `expansion` opens it: `node` itself when every
// table and group on its way is open, else its deepest ancestor that the grid shows (walking down
// from the top, the last node before the first closed table or group). Linear in the depth.
Node* gridShownAncestor(Node* node, const GridExpansion& expansion);
// Adds toggleKey to the set the toggle names, or removes it when it is there.
void toggleGrid(uint8_t toggle, const Node* toggleKey, GridExpansion& expansion);

// ---- building ----

// The row of the table a sorted record table sits in: the toggle that opened it, so that sorting
// it builds again only it (rebuildToggled).
struct GridTableHolder {
    uint8_t toggle = kToggleNone;
    const Node* toggleKey = nullptr;
};
GridTableHolder tableHolder(const GridBox& table);
// Sorts record table `table` by `column` the next way (ascending, descending, document order).
// The caller then reorders the table's rows (reorderTableRows) or builds again what tableHolder
// names.
void cycleTableSort(const GridBox& table, int32_t column, GridExpansion& expansion);
// The two halves of it: the way a click on `column` sorts the table next, and setting it.
GridSortKey nextTableSort(const GridBox& table, int32_t column, const GridExpansion& expansion);
void setTableSort(const GridBox& table, const GridSortKey& sort, GridExpansion& expansion);
// Whether every row of a built record table has its boxes or its sizes, so that sorting only
// moves them (reorderTableRows).
bool tableRowsSized(const GridBox& table);
// Puts the rows of a laid-out record table in the order `sort` gives without building or
// measuring anything again: each row keeps its boxes and sizes, the columns their widths; then
// relayOutGrid places them. False when the table's rows have no sizes yet (build it again).
// `order`, when given, is that order worked out before (TableSort over the records in document
// order).
bool reorderTableRows(GridBox& table, const GridSortKey& sort, const GridTextKey& textKey,
                      const std::vector<uint32_t>* order = nullptr);
// A record table's records in document order, and the nodes its columns show.
std::vector<Node*> recordsInDocumentOrder(const GridFrame& f);
RecordColumns tableColumns(const GridFrame& f);

// The boxes of the document below `root` with the expansion given (a "…" cell past 120 levels).
void buildGrid(const Node* root, const GridExpansion& expansion, GridLayout& layout);
// Exchanges the boxes of two layouts without building or measuring anything: the filter keeps
// the full grid aside this way while it shows its own.
void swapGridLayouts(GridLayout& a, GridLayout& b);
// After toggleGrid: builds again only the rows and nested cells whose toggle names `toggleKey`
// (in the set `toggle` chooses), leaving every other box as it is. Returns how many it rebuilt;
// relayOutGrid then measures and places them.
size_t rebuildToggled(const GridExpansion& expansion, uint8_t toggle, const Node* toggleKey, GridLayout& layout);

// ---- layout ----

int LabelWidth(const GridRow& row, const GridMetrics& m);
void Measure(GridBox& box, const GridMetrics& m);
void Place(GridBox& box, int x, int y, const GridMetrics& m);
// Builds nothing: measures and places a built root at (0, 0).
void layOutGrid(GridLayout& layout, const GridMetrics& m);
// The same after rebuildToggled, with the metrics unchanged: only boxes that hold a rebuilt one
// are measured again (leaf texts measured before keep their widths); all are placed.
void relayOutGrid(GridLayout& layout, const GridMetrics& m);

struct GridTableSizing;

// layOutGrid in slices: the rows of every table of a built layout that builds its rows when
// needed are sized a slice at a time (the slow part of laying out a big file), the rows of a
// table of few but wide records (GridLayout::passCellsAbove) built a part of a row at a time,
// then Finish measures and places the layout from those sizes, with the same result as
// layOutGrid. A row sized is the smallest slice: a table built aside inside one row is sized with it.
class GridLayoutPass {
public:
    GridLayoutPass(GridLayout& layout, const GridMetrics& m);
    ~GridLayoutPass();
    GridLayoutPass(const GridLayoutPass&) = delete;
    GridLayoutPass& operator=(const GridLayoutPass&) = delete;
    // Sizes rows until about `boxes` boxes were built for them (one row at least), then measures
    // and places about as many boxes a step; true once the layout is measured and placed.
    bool Step(size_t boxes);
    // How far the sizing has come, in percent of the rows sized and cells built, 0 to 99.
    int Progress() const { return progress_; }
    // Whatever steps are left, at once.
    void Finish();

private:
    // A table being sized: first its columns are found, then its rows sized. A table inside a row
    // built aside is sized with the metrics that row is measured with, above that row's table.
    struct Job {
        GridBox* box = nullptr;
        GridMetrics metrics;
        bool ahead = false;  // inside a row built aside
        std::unique_ptr<GridTableSizing> sizing;
        // Putting its records in order first (GridLazyRows::sortLater).
        std::unique_ptr<RecordColumns> columns;
        std::unique_ptr<TableSort> sort;
    };
    void FinishJob(Job& job);
    // Lists the tables to size or build among the boxes from `top` down.
    void FindTables(GridBox* top);

    GridLayout& layout_;
    GridMetrics metrics_;
    GridMetrics sizingMetrics_;  // metrics_ deferring the tables inside rows built aside
    std::vector<std::pair<GridBox*, const GridMetrics*>> deferred_;
    std::vector<GridBox*> tables_;  // the tables of the built boxes still to size
    std::vector<Job> jobs_;         // the tables being sized, the current one last
    size_t rows_ = 0, sized_ = 0;
    int progress_ = 0;
    // Then measuring, each box after the boxes it holds (each box with the next of its children
    // to look at), and placing from the root down (each box with its place).
    bool measuring_ = false, placed_ = false;
    std::vector<std::pair<GridBox*, size_t>> measured_;
    std::vector<std::tuple<GridBox*, int, int>> placing_;
};

// After a dragged width of (key, column) changed: marks the table that column belongs to for
// measuring again, so that relayOutGrid re-measures only it and what holds it (leaf texts keep
// their widths). False when no box is that table.
bool markColumnResized(GridLayout& layout, const Node* key, int32_t column);

struct GridHit {
    bool inside = false;
    Node* node = nullptr;
    uint8_t toggle = kToggleNone;
    Node* toggleKey = nullptr;
    bool onExpander = false;
    const GridBox* table = nullptr;  // the innermost record table holding the point
    int32_t headerColumn = -1;       // the column whose header the point is on, in that table
    bool cut = false;  // on a "…" cell: `node` is the container the grid does not open
};
GridHit HitNode(const GridBox& box, int px, int py, const GridMetrics& m);

struct GridEdge {
    bool found = false;
    const Node* key = nullptr;
    int32_t column = 0;
    int left = 0;  // left edge of that column, content pixels
};
GridEdge HitEdge(const GridBox& box, int px, int py, const GridMetrics& m);

struct GridRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};
// The rectangle of the row that shows `node`; false when no box shows it.
bool NodeRect(const GridBox& box, const Node* node, const GridMetrics& m, GridRect& rect);
// The node whose row or cell shows `node`: `node` itself, or for a node nested deeper than the
// grid goes, its deepest ancestor shown (the container of the "…" cell that stands for it), with
// its rectangle; null when neither shows. At most kGridMaxDepth + 2 ancestors are tried.
const Node* gridShownNode(const GridBox& root, const Node* node, const GridMetrics& m, GridRect& rect);
// The first leaf, depth first from `box`, whose node is `node` or `alternative`.
const GridBox* FindLeafBox(const GridBox* box, const Node* node, const Node* alternative);

// The row of a record or key/value table holding y (-1 when none), and its top.
int32_t tableRowAt(const GridBox& box, int py, const GridMetrics& m, int& rowTop);
// The rows of a key/value table, built or not.
size_t keyValueRowCount(const GridBox& box);
// Where row r of a key/value table lies in its rows and children, the row built first.
size_t keyValueSlot(const GridBox& box, size_t row);
// The column holding x to the right of the row header (-1 when none), and its left edge.
int32_t tableColumnAt(const GridBox& box, int px, int& columnLeft);
// Builds, measures and places the boxes of row r if the table has not built them yet.
void ensureTableRow(const GridBox& table, size_t record);
// The cells of record r in the table's children, [first, end), the row built first.
std::pair<uint32_t, uint32_t> tableRowCells(const GridBox& table, size_t record);
// The cell box of record r, column c, or null for an empty cell.
const GridBox* tableCell(const GridBox& box, size_t record, int32_t column);

// Scroll offset clamped to [0, content - client], the lower bound last.
int clampGridScroll(long long value, int content, int client);

// Remembers the measured width of each distinct text, so that a relayout (every click on an
// expander) measures only texts it has not seen. Cleared when the font or DPI changes.
class GridMeasureCache {
public:
    explicit GridMeasureCache(GridMeasureText measure) : measure_(std::move(measure)) {}
    int operator()(std::wstring_view text);
    void clear() {
        widths_.clear();
        keys_.clear();
    }
    size_t size() const { return widths_.size(); }

private:
    GridMeasureText measure_;
    std::unordered_map<std::wstring_view, int> widths_;
    std::deque<std::wstring> keys_;  // the texts the map's views point to
};

}  // namespace qm
