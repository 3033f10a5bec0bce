// Box building and expansion of the grid view; measuring, placing and hit testing are in
// gridlayout.cpp. Every pass is linear in the boxes or nodes it visits; the recursion of
// building is bounded by the grid's depth limit (a "…" cell past 120 levels).
#include "views/grid.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "document/embedded.h"
#include "edit/nodetext.h"
#include "shell/filter.h"
#include "views/grid_parts.h"
#include "views/tree.h"

namespace qm {

namespace {

constexpr size_t kInitialChildLimit = 200;  // top-level nodes with more children open only themselves

bool sameElementName(const Node* a, const Node* b) {
    return a->kind == NodeKind::Element && b->kind == NodeKind::Element && a->name == b->name;
}

// A value that is its own preview (previewText leaves it as it is): not longer than the
// preview, no tab or line break, and no space at either end or next to another.
bool isOwnPreview(std::wstring_view value) {
    if (value.size() > kValuePreviewLimit) return false;
    for (size_t i = 0; i < value.size(); ++i) {
        const wchar_t c = value[i];
        if (c == L'\t' || c == L'\n' || c == L'\r') return false;
        if (c == L' ' && (i == 0 || i + 1 == value.size() || value[i + 1] == L' ')) return false;
    }
    return true;
}

size_t indexAmongSiblings(const Node* node) {
    const Node* parent = node->parent;
    const size_t n = parent->children.size();
    if (node->indexInParent < n && parent->children[node->indexInParent] == node) return node->indexInParent;
    for (size_t i = 0; i < n; ++i)
        if (parent->children[i] == node) return i;
    return n;
}

// The first element of every run of two or more same-named consecutive element children.
void addRunKeysOfChildren(const Node* parent, GridNodeSet& groups) {
    const auto& children = parent->children;
    const size_t n = children.size();
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        if (children[i]->kind == NodeKind::Element)
            while (j < n && sameElementName(children[i], children[j])) ++j;
        if (j - i >= 2) groups.insert(children[i]);
        i = j;
    }
}

// The first element of every element name that occurs more than once among the children.
void addGroupKeysOfChildren(const Node* parent, GridNodeSet& groups) {
    std::unordered_map<std::wstring_view, std::pair<const Node*, size_t>> byName;
    for (const Node* child : parent->children) {
        if (child->kind != NodeKind::Element) continue;
        auto& entry = byName.try_emplace(child->name.view(), child, 0).first->second;
        if (++entry.second == 2) groups.insert(entry.first);
    }
}

}  // namespace

// The row of a key/value table building its rows when needed that can show `node`: the one whose
// children hold node, or its ancestor among the table node's children (SIZE_MAX when none).
size_t keyValueRowHolding(const GridBox& box, const Node* node) {
    const Node* child = node;
    while (child && child->parent != box.node) child = child->parent;
    if (!child) return SIZE_MAX;
    const std::vector<Node*>& starts = box.frame->records;
    const size_t at = indexAmongSiblings(child);
    const auto it = std::upper_bound(starts.begin(), starts.end(), at,
                                     [](size_t index, const Node* start) { return index < indexAmongSiblings(start); });
    return it == starts.begin() ? SIZE_MAX : static_cast<size_t>(it - starts.begin()) - 1;
}

// ---- expansion ----

const Node* gridRunKey(const Node* node) {
    if (!node || node->kind != NodeKind::Element || !node->parent) return nullptr;
    const auto& siblings = node->parent->children;
    const size_t at = indexAmongSiblings(node);
    if (at >= siblings.size()) return nullptr;
    size_t first = at, last = at;
    while (first > 0 && sameElementName(siblings[first - 1], node)) --first;
    while (last + 1 < siblings.size() && sameElementName(siblings[last + 1], node)) ++last;
    return last > first ? siblings[first] : nullptr;
}

const Node* gridGroupKey(const Node* node) {
    if (!node || node->kind != NodeKind::Element || !node->parent) return nullptr;
    const Node* first = nullptr;
    for (const Node* sibling : node->parent->children) {
        if (!sameElementName(sibling, node)) continue;
        if (!first)
            first = sibling;
        else
            return first;
    }
    return nullptr;
}

void resetGridExpansion(const Node* root, GridExpansion& expansion) {
    expansion.nodes.clear();
    expansion.groups.clear();
    expansion.sorts.clear();
    if (!root) return;
    for (const Node* top : root->children) {
        if (!opensInBulk(top)) continue;
        expansion.nodes.insert(top);
        if (top->children.size() > kInitialChildLimit) continue;
        for (const Node* child : top->children)
            if (child->kind != NodeKind::Attribute && opensInBulk(child)) expansion.nodes.insert(child);
        addRunKeysOfChildren(top, expansion.groups);
    }
}

void expandAllGrid(const Document& doc, bool expand, GridExpansion& expansion) {
    expansion.nodes.clear();
    expansion.groups.clear();
    if (!expand) {
        if (doc.root)
            for (const Node* top : doc.root->children)
                if (opensInBulk(top)) expansion.nodes.insert(top);
        return;
    }
    // Every container and every run and group key: the sets hold them without listing them, and
    // without a pass over the nodes.
    expansion.nodes.fill(true, &doc);
    expansion.groups.fill(false, &doc);
}

void expandGridSubtree(const Node* node, GridExpansion& expansion) {
    if (!node) return;
    // The subtree of the document's only top-level node holds every container, run and group but
    // the root: the sets then hold all of them, as after "Expand all", without listing millions.
    if (expansion.document && node->parent && node->parent == expansion.document->root &&
        node->parent->children.size() == 1) {
        expandAllGrid(*expansion.document, true, expansion);
        return;
    }
    if (const Node* key = gridRunKey(node)) expansion.groups.insert(key);
    if (const Node* key = gridGroupKey(node)) expansion.groups.insert(key);
    std::vector<const Node*> stack{node};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (opensInBulk(n)) expansion.nodes.insert(n);
        if (n->children.empty()) continue;
        addRunKeysOfChildren(n, expansion.groups);
        addGroupKeysOfChildren(n, expansion.groups);
        for (const Node* child : n->children) stack.push_back(child);
    }
}

bool revealInGrid(const Node* node, GridExpansion& expansion, std::vector<GridToggleKey>* outermost) {
    bool opened = false;
    for (const Node* n = node; n && n->kind != NodeKind::Root; n = n->parent) {
        // The toggles of one level: the run or group a row of its parent opens, and its own.
        GridToggleKey level[3];
        size_t count = 0;
        if (const Node* key = gridRunKey(n); key && expansion.groups.insert(key)) level[count++] = {kToggleGroup, key};
        if (const Node* key = gridGroupKey(n); key && expansion.groups.insert(key)) level[count++] = {kToggleGroup, key};
        if (n != node && expansion.nodes.insert(n)) level[count++] = {kToggleNode, n};
        if (!count) continue;
        opened = true;
        if (outermost) outermost->assign(level, level + count);
    }
    return opened;
}

Node* gridShownAncestor(Node* node, const GridExpansion& expansion) {
    std::vector<Node*> path;
    for (Node* n = node; n && n->kind != NodeKind::Root; n = n->parent) path.push_back(n);
    if (path.empty()) return node;
    Node* shown = path.back();
    auto keyOpen = [&](const Node* key) { return !key || expansion.groups.count(key) != 0; };
    for (size_t i = path.size(); i-- > 0;) {
        Node* n = path[i];
        if (shownHolder(n) != n) continue;  // an element's text: the element stands for it
        if (!keyOpen(gridRunKey(n)) || !keyOpen(gridGroupKey(n))) break;
        shown = n;
        if (i > 0 && !expansion.nodes.count(n)) break;
    }
    return shown;
}

void toggleGrid(uint8_t toggle, const Node* toggleKey, GridExpansion& expansion) {
    if (!toggleKey) return;
    GridNodeSet& set = toggle == kToggleGroup ? expansion.groups : expansion.nodes;
    if (!set.erase(toggleKey)) set.insert(toggleKey);
}

// ---- building ----

std::vector<Node*> recordsInDocumentOrder(const GridFrame& f) {
    if (f.recordNumbers.empty()) return f.records;
    std::vector<Node*> byNumber(f.records.size());
    for (size_t r = 0; r < f.records.size(); ++r) byNumber[f.recordNumbers[r] - 1] = f.records[r];
    return byNumber;
}

RecordColumns tableColumns(const GridFrame& f) {
    return RecordColumns(f.rows, static_cast<size_t>(f.columnCount), f.key && f.key->kind == NodeKind::Object);
}

namespace {

// Puts a table's records in the order `sort` asks (document order when it asks none), each
// numbered by its row in document order, with an arrow after the sorted column's name.
void orderRecords(GridFrame& f, const GridSortKey& sort, const GridTextKey& textKey,
                  const std::vector<uint32_t>* prepared = nullptr) {
    if (!f.recordNumbers.empty()) {
        f.records = recordsInDocumentOrder(f);
        f.recordNumbers.clear();
    }
    const size_t columnCount = static_cast<size_t>(f.columnCount);
    for (size_t c = 0; c < columnCount && c < f.rows.size(); ++c) f.rows[c].note = {};
    if (sort.column < 0 || sort.column >= f.columnCount || !f.key) return;
    // The records are in document order here, so a row's position is its number less one.
    const std::vector<uint32_t> order =
        prepared && prepared->size() == f.records.size()
            ? *prepared
            : sortedRows(f.records, tableColumns(f), sort.column, sort.descending, textKey);
    std::vector<Node*> sorted(order.size());
    f.recordNumbers.resize(order.size());
    for (size_t r = 0; r < order.size(); ++r) {
        sorted[r] = f.records[order[r]];
        f.recordNumbers[r] = order[r] + 1;
    }
    f.records = std::move(sorted);
    f.rows[static_cast<size_t>(sort.column)].note = sort.descending ? L"\u25BC" : L"\u25B2";
}

enum ColumnCategory : uint8_t { kAttributeColumn = 0, kTextColumn = 1, kElementColumn = 2, kMemberColumn = 3 };

struct GridBuilder {
    const GridExpansion& expansion;
    GridLayout& layout;

    // Under the search box's filter only kept nodes are shown, and everything holding a match
    // is open; the user's sets wait unchanged for the filter to go.
    bool keeps(const Node* node) const { return !expansion.filtered || filterKeeps(node, expansion.nextFilter); }
    // A string not parsed yet stays closed whatever the set says ("Expand all" holds every node).
    bool opens(const Node* node) const {
        if (awaitsOpening(node)) return false;
        return expansion.filtered ? filterOpens(node, expansion.nextFilter) : expansion.nodes.count(node) != 0;
    }
    bool opensGroup(const Node* head) const { return expansion.filtered || expansion.groups.count(head) != 0; }

    GridBox* newBox(GridBoxType type, Node* node) { return &layout.newBox(type, node); }

    // A text the layout keeps, unless it is the node's own text already.
    std::wstring_view keep(std::wstring&& text, std::wstring_view own = {}) {
        if (text.empty()) return {};
        if (text == own) return own;
        return layout.texts.emplace_back(std::move(text));
    }

    GridBox* leaf(std::wstring_view text, ColorSlot colour, bool dim, Node* node) {
        GridBox* box = newBox(GridBoxType::Leaf, node);
        box->text = text;
        box->colour = colour;
        box->dim = dim;
        return box;
    }
    GridBox* dimLeaf(std::wstring_view text, Node* node = nullptr) { return leaf(text, ColorSlot::dimText, true, node); }
    GridBox* valueLeaf(Node* node) {
        const bool scalar = node->kind != NodeKind::Root && node->kind != NodeKind::Element &&
                            node->kind != NodeKind::Object && node->kind != NodeKind::Array;
        const std::wstring_view text =
            scalar && isOwnPreview(node->value) ? std::wstring_view(node->value) : keep(valuePreview(node), node->value);
        return leaf(text, valueSlot(node->kind), false, node);
    }

    const wchar_t* tagOf(const Node* node) const {
        return expansion.document ? nodeTag(*expansion.document, node) : nullptr;
    }
    std::wstring_view tagText(const Node* node) const {
        const wchar_t* tag = tagOf(node);
        return tag ? std::wstring_view(tag) : std::wstring_view();
    }
    std::wstring note(const Node* node) const {
        return expansion.document ? nodeNote(*expansion.document, node) : std::wstring();
    }

    GridBox* keyValue(Node* node, int depth) {
        if (depth > kGridMaxDepth) return dimLeaf(kGridEllipsis, node);
        // A row per child, or per run of two or more same-named elements.
        auto starts = layout.borrowNodes();
        const auto& children = node->children;
        for (size_t i = 0, j = 0; i < children.size(); i = j) {
            j = runEnd(children, i);
            if (std::any_of(children.begin() + i, children.begin() + j, [&](const Node* c) { return keeps(c); }))
                starts->push_back(children[i]);
        }
        if (starts->empty()) return dimLeaf({});
        GridBox* box = newBox(GridBoxType::KeyValue, node);
        GridFrame& f = *box->frame;
        if (starts->size() > layout.lazyAbove) {
            f.rowCells.assign(starts->size(), GridCellRange{kRowNotBuilt, 0});
            f.records.assign(starts->begin(), starts->end());
            f.lazy = layout.newLazyRows();
            f.lazy->owner = &layout;
            f.lazy->depth = depth;
            ++layout.lazyTables;
            return box;
        }
        // Each list in one allocation: lists grown an entry at a time leave a trail of freed
        // blocks of every size, which a first-fit heap (Wine's) then searches on every later
        // allocation, so a file of many mid-sized tables took seconds to build there.
        f.rows.reserve(starts->size());
        f.children.reserve(starts->size());
        if (layout.passCellsAbove != SIZE_MAX && starts->size() > 1) {
            // In a layout a pass lays out, the pass builds the rows, a slice at a time: the
            // tables inside them are built as the pass comes to them, so no shape of file (a
            // hundred levels of two hundred members) is built in one message.
            f.lazy = layout.newLazyRows();
            f.lazy->depth = depth;
            f.lazy->pending = std::make_unique<GridPendingRows>();
            f.lazy->pending->into = &layout;
            f.lazy->pending->cells = starts->size();
            f.lazy->pending->starts.assign(starts->begin(), starts->end());
            return box;
        }
        for (Node* first : *starts) appendKeyValueRow(f, first, depth);
        return box;
    }

    // The end of the row of a key/value table that starts at child i: past its run of same-named elements.
    static size_t runEnd(const ChildList& children, size_t i) {
        size_t j = i + 1;
        if (children[i]->kind == NodeKind::Element)
            while (j < children.size() && sameElementName(children[i], children[j])) ++j;
        return j;
    }

    // Appends the row of a key/value table (built at `depth`) that starts at child `c`, and its value box.
    void appendKeyValueRow(GridFrame& f, Node* c, int depth) {
        const auto& siblings = c->parent->children;
        const size_t i = indexAmongSiblings(c);
        const size_t j = runEnd(siblings, i);
        if (j - i >= 2) {
            GridRow row;
            row.node = c;
            row.kind = NodeKind::Element;
            row.label = c->name.view();
            row.count = static_cast<uint32_t>(j - i);
            row.toggle = kToggleGroup;
            row.toggleKey = c;
            row.open = opensGroup(c);
            f.rows.push_back(row);
            f.children.push_back(row.open ? recordTable(siblings.begin() + i, siblings.begin() + j, depth + 1)
                                          : dimLeaf({}));
            return;
        }
        f.rows.push_back(ordinaryRow(c));
        const GridRow& row = f.rows.back();
        GridBox* value;
        if (row.toggle == kToggleNone)
            value = valueLeaf(c);
        else if (row.open)
            value = content(c, depth + 1);
        else if (holdsEmbeddedJson(c))
            value = valueLeaf(c);  // a closed string that holds JSON shows its text
        else
            value = dimLeaf(keep(nodeSummary(c)), c);
        f.children.push_back(value);
    }

    // Builds row r of a key/value table that builds its rows when needed.
    void buildKeyValueRow(GridFrame& f, size_t r) {
        f.rowCells[r] = {static_cast<uint32_t>(f.children.size()), 1};
        appendKeyValueRow(f, f.records[r], f.lazy->depth);
    }

    GridRow ordinaryRow(Node* c) {
        GridRow row;
        row.node = c;
        row.kind = c->kind;
        row.label = labelIsName(c) ? c->name.view() : keep(nodeLabel(c), c->name.view());
        row.count = c->kind == NodeKind::Array ? static_cast<uint32_t>(countItems(c)) : 0;
        row.note = keep(note(c), tagText(c));
        if (isExpandable(c)) {
            row.toggle = kToggleNode;
            row.toggleKey = c;
            row.open = opens(c);
        }
        return row;
    }

    GridBox* content(Node* node, int depth) {
        // A string holding an embedded array has the array's items as its children; an element
        // shown with its text, its text's.
        node = childrenShownBy(node);
        const bool items = node->kind == NodeKind::Array ||
                           (canHoldEmbedded(node->kind) && !node->children.empty() && !node->children.front()->keyed);
        if (items) {
            // Items that are all objects (comments between them aside) are a record table's records.
            size_t objects = 0;
            for (const Node* child : node->children) {
                if (child->kind == NodeKind::Comment) continue;
                if (child->kind != NodeKind::Object) {
                    objects = 0;
                    break;
                }
                ++objects;
            }
            if (objects) return recordTable(node->children.begin(), node->children.end(), depth);
        }
        return keyValue(node, depth);
    }

    GridBox* nestedNode(Node* node, int depth) {
        GridBox* box = newBox(GridBoxType::Nested, node);
        GridRow row;
        row.node = node;
        row.kind = node->kind;
        if (node->kind == NodeKind::Element) row.label = node->name.view();
        if (node->kind == NodeKind::Array) row.count = static_cast<uint32_t>(countItems(node));
        row.toggle = kToggleNode;
        row.toggleKey = node;
        // A cell of a record opens as the user left it, under the filter too: a table of many
        // kept records would otherwise open a table in every row.
        row.open = !awaitsOpening(node) && expansion.nodes.count(node) != 0;  // a string not parsed yet: closed
        std::wstring summary;
        if (!row.open && node->kind != NodeKind::Array) summary = nodeSummary(node);
        if (std::wstring text = note(node); !text.empty()) {
            if (!summary.empty()) text += L"  " + summary;
            row.note = keep(std::move(text), tagText(node));
        } else {
            row.note = keep(std::move(summary));
        }
        box->frame->rows.push_back(row);
        if (row.open) box->frame->children.push_back(content(node, depth + 1));
        return box;
    }

    template <class It>
    GridBox* nestedGroup(It first, It last, int depth) {
        Node* head = *first;
        GridBox* box = newBox(GridBoxType::Nested, head);
        GridRow row;
        row.node = head;
        row.toggleKey = head;
        row.kind = NodeKind::Element;
        row.label = head->name.view();
        row.count = static_cast<uint32_t>(last - first);
        row.toggle = kToggleGroup;
        row.open = expansion.groups.count(head) != 0;  // as a record's nested cell above
        box->frame->rows.push_back(row);
        if (row.open) box->frame->children.push_back(recordTable(first, last, depth + 1));
        return box;
    }

    // The record table of the records in [first, last), comments among them passed over.
    template <class It>
    GridBox* recordTable(It first, It last, int depth) {
        while (first != last && (*first)->kind == NodeKind::Comment) ++first;
        if (first == last) return dimLeaf(kGridEllipsis);
        if (depth > kGridMaxDepth) return dimLeaf(kGridEllipsis, (*first)->parent);
        Node* key = *first;
        auto record = [&](const Node* node) { return node->kind != NodeKind::Comment && keeps(node); };
        if (std::none_of(first, last, record)) return dimLeaf({});
        GridBox* box = newBox(GridBoxType::Table, key->parent);
        GridFrame& f = *box->frame;
        f.records.reserve(static_cast<size_t>(std::distance(first, last)));
        for (It it = first; it != last; ++it)
            if (record(*it)) f.records.push_back(*it);
        f.key = key;
        f.lazy = layout.newLazyRows();
        f.lazy->depth = depth;
        GridColumnIndex& index = f.lazy->index;
        index.objects = f.records.front()->kind == NodeKind::Object;

        // A big table finds its columns when it is sized (a slice at a time when the layout goes in
        // slices); a sorted one needs them now to order its records.
        const size_t records = f.records.size();
        const bool sorted = expansion.sorts.count(f.key) != 0;
        size_t cells = 0;
        if (records <= layout.lazyAbove && layout.passCellsAbove != SIZE_MAX)
            for (const Node* record : f.records) cells += record->children.size();
        const bool pending = records <= layout.lazyAbove && cells > layout.passCellsAbove;
        if ((records <= layout.lazyAbove && !pending) || sorted) {
            size_t unbounded = SIZE_MAX;
            scanTableColumns(f, unbounded);
        }
        if (sorted && records > layout.lazyAbove && layout.passSorts)
            f.lazy->sortLater = true;
        else
            sortRecords(f);

        f.rowCells.assign(records, GridCellRange{kRowNotBuilt, 0});
        if (records > layout.lazyAbove) {
            f.lazy->owner = &layout;
            ++layout.lazyTables;
            return box;
        }
        if (pending) {
            reserveCells(f, cells);
            f.lazy->pending = std::make_unique<GridPendingRows>();
            f.lazy->pending->into = &layout;
            f.lazy->pending->cells = cells;
            return box;
        }
        reserveCells(f, cells);
        for (size_t r = 0; r < records; ++r) buildRow(f, r);
        layout.spareLazyRows(std::move(f.lazy));
        return box;
    }

    // Room for every cell the records can have (a cell per child, and one for an element's
    // text), taken at once. `cells` is their children added up when known (else 0).
    static void reserveCells(GridFrame& f, size_t cells) {
        if (cells == 0)
            for (const Node* record : f.records) cells += record->children.size();
        if (!f.lazy->index.objects) cells += f.records.size();
        f.children.reserve(cells);
        f.cellColumns.reserve(cells);
    }

    // A table the user sorted: its records in that order, each with its number in the document,
    // and an arrow after the sorted column's name.
    void sortRecords(GridFrame& f) {
        const auto it = expansion.sorts.find(f.key);
        if (it != expansion.sorts.end()) orderRecords(f, it->second, layout.textKey);
    }

    // Builds the cells of record r and appends them to the table's children.
    void buildRow(GridFrame& f, size_t r) {
        auto cells = layout.borrowCells();
        recordCells(f, r, *cells);
        f.rowCells[r] = {static_cast<uint32_t>(f.children.size()), static_cast<uint32_t>(cells->size())};
        for (const auto& [c, cell] : *cells) {
            f.cellColumns.push_back(c);
            f.children.push_back(cell);
        }
    }

    // The cells of record r in column order: each record visits its own children once; a
    // column's first match wins.
    void recordCells(GridFrame& f, size_t r, std::vector<std::pair<int32_t, GridBox*>>& cells) {
        GridRowPart part;
        startRecord(f, r, part);
        size_t work = SIZE_MAX;
        cells.clear();
        recordCellsPart(f, part, work, cells);
        std::sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    void startRecord(GridFrame& f, size_t r, GridRowPart& part) {
        part.record = r;
        part.stamp = ++f.lazy->index.stamp;
        part.phase = 0;
        part.at = part.position = 0;
        part.touched.clear();
    }

    // Appends the cells of record part.record from where `part` stands, in the order built, each
    // child looked at or cell built paid from `work`; true once the record has all its cells.
    bool recordCellsPart(GridFrame& f, GridRowPart& part, size_t& work,
                         std::vector<std::pair<int32_t, GridBox*>>& cells) {
        GridColumnIndex& index = f.lazy->index;
        const int depth = f.lazy->depth;
        Node* record = f.records[part.record];
        auto claim = [&](int32_t c) {
            if (index.claimedBy[c] == part.stamp) return false;
            index.claimedBy[c] = part.stamp;
            return true;
        };
        const ChildList& children = record->children;
        if (index.objects) {
            if (record->kind != NodeKind::Object) return true;
            for (; part.at < children.size(); ++part.at) {
                if (work == 0) return false;
                --work;
                Node* member = children[part.at];
                if (member->kind == NodeKind::Comment) continue;
                const std::wstring_view name = member->name.view();
                int32_t& guess = index.guessAt(part.position++);
                if (guess < 0 || f.rows[static_cast<size_t>(guess)].label != name)
                    guess = index.find(kMemberColumn, name);
                const int32_t c = guess;
                if (c < 0 || !claim(c)) continue;
                cells.push_back({c, isExpandable(member) ? nestedNode(member, depth) : valueLeaf(member)});
            }
            return true;
        }
        const size_t attributes = std::min<size_t>(attributeCount(record), children.size());
        if (part.phase == 0) {
            for (; part.at < attributes; ++part.at) {
                if (work == 0) return false;
                --work;
                Node* attribute = children[part.at];
                const int32_t c = index.find(kAttributeColumn, attribute->name.view());
                if (c < 0 || !claim(c)) continue;
                if (isExpandable(attribute)) {  // it holds JSON
                    cells.push_back({c, nestedNode(attribute, depth)});
                    continue;
                }
                cells.push_back({c, leaf(keep(previewText(attribute->value, kValuePreviewLimit), attribute->value),
                                         valueSlot(attribute->kind), false, attribute)});
            }
            part.phase = 1;
        }
        if (part.phase == 1) {
            if (index.textColumn >= 0) {
                if (work == 0) return false;
                --work;
                cells.push_back({index.textColumn, leaf(keep(previewText(textContent(record), kValuePreviewLimit)),
                                                        ColorSlot::text, false, record)});
            }
            part.phase = 2;
            part.at = attributes;
        }
        if (part.phase == 2) {
            // Same-named elements share their column's cell: all of them are gathered first.
            for (; part.at < children.size(); ++part.at) {
                if (work == 0) return false;
                --work;
                Node* child = children[part.at];
                if (child->kind != NodeKind::Element) continue;
                const int32_t c = index.find(kElementColumn, child->name.view());
                if (c < 0) continue;
                if (claim(c)) {
                    index.elementsOf[c].clear();
                    part.touched.push_back(c);
                }
                index.elementsOf[c].push_back(child);
            }
            part.phase = 3;
            part.at = 0;
        }
        for (; part.at < part.touched.size(); ++part.at) {
            if (work == 0) return false;
            --work;
            const int32_t c = part.touched[part.at];
            const std::vector<Node*>& found = index.elementsOf[c];
            GridBox* cell;
            if (found.size() >= 2)
                cell = nestedGroup(found.begin(), found.end(), depth);
            else if (isSimpleElement(found.front()) && !isExpandable(found.front()))
                cell = leaf(keep(previewText(textContent(found.front()), kValuePreviewLimit)), ColorSlot::text,
                            false, found.front());
            else
                cell = nestedNode(found.front(), depth);
            cells.push_back({c, cell});
        }
        return true;
    }

    static bool toggledBy(const GridRow& row, uint8_t toggle, const Node* key) {
        return row.toggle != kToggleNone && row.toggleKey == key && (row.toggle == kToggleGroup) == (toggle == kToggleGroup);
    }

    // The value box of key/value row i of `box` (built at `depth`) with the expansion as it is now.
    GridBox* rowValue(GridBox& box, size_t i, int depth) {
        GridRow& row = box.frame->rows[i];
        Node* c = row.node;
        if (row.toggle == kToggleGroup) {
            row.open = opensGroup(c);
            if (!row.open) return dimLeaf({});
            const auto first = c->parent->children.begin() + static_cast<std::ptrdiff_t>(indexAmongSiblings(c));
            return recordTable(first, first + row.count, depth + 1);
        }
        row.open = opens(c);
        return row.open ? content(c, depth + 1) : dimLeaf(keep(nodeSummary(c)), c);
    }

    // A nested cell of a table built at `depth`, with the expansion as it is now.
    GridBox* nestedCell(const GridRow& row, int depth) {
        Node* head = row.node;
        if (row.toggle != kToggleGroup) return nestedNode(head, depth);
        const Node* record = head->parent;
        std::vector<Node*> elements;
        for (size_t i = attributeCount(record); i < record->children.size(); ++i)
            if (sameElementName(record->children[i], head)) elements.push_back(record->children[i]);
        return nestedGroup(elements.begin(), elements.end(), depth);
    }

    static size_t boxCount(const GridBox* top) {
        size_t n = 0;
        std::vector<const GridBox*> stack{top};
        while (!stack.empty()) {
            const GridBox* b = stack.back();
            stack.pop_back();
            ++n;
            if (b->frame)
                for (const GridBox* child : b->frame->children) stack.push_back(child);
        }
        return n;
    }

    void replace(GridBox*& slot, GridBox* fresh) {
        layout.discarded += boxCount(slot);
        slot = fresh;
    }

    // One pass over the boxes, depth first with the depth each was built at; a rebuilt box is
    // not entered (it was built with the expansion as it is now).
    size_t rebuildToggled(uint8_t toggle, const Node* key) {
        size_t rebuilt = 0;
        NodeLineage lineage{key, nullptr};
        std::vector<std::pair<GridBox*, int>> stack{{layout.root, 0}};
        while (!stack.empty()) {
            auto [box, depth] = stack.back();
            stack.pop_back();
            if (!box->frame) continue;
            GridFrame& f = *box->frame;
            switch (box->type) {
                case GridBoxType::Leaf: break;
                case GridBoxType::KeyValue:
                    for (size_t i = 0; i < f.rows.size(); ++i) {
                        if (toggledBy(f.rows[i], toggle, key)) {
                            replace(f.children[i], rowValue(*box, i, depth));
                            ++rebuilt;
                        } else {
                            stack.push_back({f.children[i], depth + 1});
                        }
                    }
                    // The row a toggle is in changes size, built or not.
                    if (f.lazyOwner() && f.lazy->sized) {
                        const size_t r = keyValueRowHolding(*box, key);
                        if (r != SIZE_MAX) {
                            f.lazy->staleRows.push_back(static_cast<uint32_t>(r));
                            box->measured = false;
                            ++rebuilt;
                        }
                    }
                    break;
                case GridBoxType::Table:
                    for (GridBox*& cell : f.children) {
                        if (cell->type != GridBoxType::Nested) continue;
                        if (toggledBy(cell->frame->rows.front(), toggle, key)) {
                            replace(cell, nestedCell(cell->frame->rows.front(), depth));
                            ++rebuilt;
                        } else {
                            stack.push_back({cell, depth});
                        }
                    }
                    // A row sized but not built changes size when the toggle is inside it.
                    if (f.lazyOwner() && f.lazy->sized) {
                        for (size_t r = 0; r < f.records.size(); ++r)
                            if (lineage.holds(f.records[r])) {
                                f.lazy->staleRows.push_back(static_cast<uint32_t>(r));
                                box->measured = false;
                                ++rebuilt;
                            }
                    }
                    break;
                case GridBoxType::Nested:
                    if (!f.children.empty()) stack.push_back({f.children.front(), depth + 1});
                    break;
            }
        }
        return rebuilt;
    }
};

}  // namespace

void GridFrame::reset() {
    rows.clear();
    children.clear();
    rowCells.clear();
    cellColumns.clear();
    rowHeights.clear();
    rowTops.clear();
    columnWidths.clear();
    records.clear();
    key = nullptr;
    recordNumbers.clear();
    labelWidth = rowHeaderWidth = columnCount = 0;
    lazy.reset();
}

bool scanTableColumns(GridFrame& f, size_t& work) {
    GridLazyRows& lazy = *f.lazy;
    GridColumnIndex& index = lazy.index;
    if (lazy.scanPhase == kColumnsFound) return true;
    // Columns, unique by category and name, in the order first met.
    auto column = [&](uint8_t category, std::wstring_view name, NodeKind badge) {
        bool added = false;
        const int32_t c = index.add(category, name, added);
        if (added) {
            GridRow header;
            header.kind = badge;
            header.label = name;
            f.rows.push_back(header);
            work -= std::min<size_t>(work, 3);  // a new column costs about as much as a box
        }
        return c;
    };
    // The members or children looked at, paid from `work`: a call looks at one at least, and
    // stops inside a record (at its child `scanAt`) when the work is spent.
    const size_t records = f.records.size();
    size_t& r = lazy.scanned;
    size_t& at = lazy.scanAt;
    bool first = true;
    auto more = [&] {
        if (first) {
            first = false;
            return true;
        }
        if (work == 0) return false;
        --work;
        return true;
    };
    if (index.objects) {
        while (r < records) {
            const ChildList& members = f.records[r]->children;
            for (; at < members.size(); ++at) {
                if (!more()) return false;
                const Node* member = members[at];
                if (member->kind == NodeKind::Comment) continue;
                int32_t& guess = index.guessAt(lazy.scanPosition++);
                if (guess < 0 || f.rows[static_cast<size_t>(guess)].label != member->name.view())
                    guess = column(kMemberColumn, member->name.view(), member->kind);
            }
            // A record costs one more, so that empty ones are paid for too.
            ++r;
            at = lazy.scanPosition = 0;
            if (r < records && !more()) return false;
        }
    } else {
        // Every attribute column first, then the text's, then every element column: a pass each.
        while (lazy.scanPhase < kColumnsFound) {
            if (r == records) {
                ++lazy.scanPhase;
                r = at = 0;
                continue;
            }
            const Node* record = f.records[r];
            const ChildList& children = record->children;
            const size_t attributes = std::min<size_t>(attributeCount(record), children.size());
            if (lazy.scanPhase == 0) {
                for (; at < attributes; ++at) {
                    if (!more()) return false;
                    column(kAttributeColumn, children[at]->name.view(), NodeKind::Attribute);
                }
            } else if (lazy.scanPhase == 1) {
                if (!more()) return false;
                const bool text = std::any_of(children.begin(), children.end(), [](const Node* child) {
                    return child->kind == NodeKind::Text || child->kind == NodeKind::CData;
                });
                if (text) {
                    column(kTextColumn, {}, NodeKind::Text);
                    r = records - 1;
                }
            } else {
                for (at = std::max(at, attributes); at < children.size(); ++at) {
                    if (!more()) return false;
                    if (children[at]->kind == NodeKind::Element)
                        column(kElementColumn, children[at]->name.view(), NodeKind::Element);
                }
            }
            ++r;
            at = 0;
            if (r < records && !more()) return false;
        }
    }
    lazy.scanPhase = kColumnsFound;
    f.columnCount = static_cast<int32_t>(f.rows.size());
    index.textColumn = index.find(kTextColumn, {});
    index.claimedBy.assign(f.rows.size(), SIZE_MAX);
    index.elementsOf.resize(f.rows.size());
    return true;
}

size_t GridColumnIndex::hashOf(uint8_t category, std::wstring_view name) {
    return std::hash<std::wstring_view>{}(name) * 31 + category;
}

void GridColumnIndex::place(int32_t column) {
    const size_t mask = slots_.size() - 1;
    size_t i = columns_[static_cast<size_t>(column)].hash & mask;
    while (slots_[i] >= 0) i = (i + 1) & mask;
    slots_[i] = column;
}

int32_t GridColumnIndex::find(uint8_t category, std::wstring_view name) const {
    if (columns_.size() <= kScannedColumns) {
        for (size_t c = 0; c < columns_.size(); ++c)
            if (columns_[c].category == category && columns_[c].name == name) return static_cast<int32_t>(c);
        return -1;
    }
    const size_t hash = hashOf(category, name);
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i] >= 0; i = (i + 1) & mask) {
        const Column& column = columns_[static_cast<size_t>(slots_[i])];
        if (column.hash == hash && column.category == category && column.name == name) return slots_[i];
    }
    return -1;
}

int32_t GridColumnIndex::add(uint8_t category, std::wstring_view name, bool& added) {
    const int32_t found = find(category, name);
    added = found < 0;
    if (!added) return found;
    const auto c = static_cast<int32_t>(columns_.size());
    columns_.push_back(Column{category, name, hashOf(category, name)});
    if (columns_.size() <= kScannedColumns) return c;
    if (columns_.size() * 2 > slots_.size()) {
        // Twice the columns' room, every column placed again from its kept hash.
        slots_.assign(std::max<size_t>(64, slots_.size() * 2), -1);
        for (size_t i = 0; i < columns_.size(); ++i) place(static_cast<int32_t>(i));
    } else {
        place(c);
    }
    return c;
}

void GridColumnIndex::clear() {
    columns_.clear();
    slots_.clear();
}

void GridLazyRows::reset() {
    owner = nullptr;
    depth = 0;
    index.clear();
    scanned = scanAt = scanPosition = 0;
    scanPhase = 0;
    index.textColumn = -1;
    index.objects = true;
    index.columnAt.clear();
    index.claimedBy.clear();
    index.elementsOf.clear();
    sizedRows.clear();
    sizedCells.clear();
    pruneLevel.clear();
    labelWidth = 0;
    staleRows.clear();
    pending.reset();
    sortLater = false;
    sized = false;
    sizedAhead = 0;
    boundedWidth = boundedHeight = -1;
}

std::unique_ptr<GridLazyRows> GridLayout::newLazyRows() {
    if (spareLazy.empty()) return std::make_unique<GridLazyRows>();
    std::unique_ptr<GridLazyRows> lazy = std::move(spareLazy.back());
    spareLazy.pop_back();
    return lazy;
}

void GridLayout::spareLazyRows(std::unique_ptr<GridLazyRows> lazy) {
    if (!lazy) return;
    lazy->reset();
    spareLazy.push_back(std::move(lazy));
}

void GridLayout::recycle() {
    const size_t used = recycled ? reused : boxes.size();
    for (size_t i = 0; i < used; ++i) {
        GridBox& box = boxes[i];
        if (!box.frame) continue;
        spareLazyRows(std::move(box.frame->lazy));
        box.frame->reset();
        spareFrames.push_back(std::move(box.frame));
    }
    texts.clear();
    root = nullptr;
    discarded = 0;
    lazyTables = 0;
    reused = 0;
    recycled = true;
}

GridBox& GridLayout::newBox(GridBoxType type, Node* node) {
    GridBox* box;
    if (recycled && reused < boxes.size()) {
        box = &boxes[reused];
        *box = GridBox{};
    } else {
        box = &boxes.emplace_back();
    }
    if (recycled) ++reused;
    ++boxesMade;
    box->type = type;
    box->node = node;
    if (type != GridBoxType::Leaf) {
        if (!spareFrames.empty()) {
            box->frame = std::move(spareFrames.back());
            spareFrames.pop_back();
        } else {
            box->frame = std::make_unique<GridFrame>();
        }
    }
    return *box;
}

void swapGridLayouts(GridLayout& a, GridLayout& b) {
    // The boxes themselves stay where they are (a deque moves its blocks), so every pointer into
    // them holds; only the tables that build rows later name the layout they build into.
    std::swap(a, b);
    for (GridLayout* layout : {&a, &b})
        for (GridBox& box : layout->boxes)
            if (box.frame && box.frame->lazy) {
                if (box.frame->lazy->owner) box.frame->lazy->owner = layout;
                if (box.frame->lazy->pending) box.frame->lazy->pending->into = layout;
            }
}

void buildGrid(const Node* root, const GridExpansion& expansion, GridLayout& layout) {
    layout.clear();
    if (!root) return;
    layout.expansion = &expansion;
    GridBuilder builder{expansion, layout};
    layout.root = builder.keyValue(const_cast<Node*>(root), 0);
}

GridTableHolder tableHolder(const GridBox& table) {
    const GridFrame& f = *table.frame;
    if (!f.key) return {};
    // Record objects fill an array that a row or a nested cell opens; records that are elements
    // are a group of same-named elements, opened by their first.
    if (f.key->kind == NodeKind::Object) return {kToggleNode, f.key->parent};
    return {kToggleGroup, f.key};
}

GridSortKey nextTableSort(const GridBox& table, int32_t column, const GridExpansion& expansion) {
    const auto it = expansion.sorts.find(table.frame->key);
    return nextSortKey(it == expansion.sorts.end() ? GridSortKey{} : it->second, column);
}

void setTableSort(const GridBox& table, const GridSortKey& sort, GridExpansion& expansion) {
    const Node* key = table.frame->key;
    if (!key) return;
    if (sort.column < 0)
        expansion.sorts.erase(key);
    else
        expansion.sorts[key] = sort;
}

void cycleTableSort(const GridBox& table, int32_t column, GridExpansion& expansion) {
    setTableSort(table, nextTableSort(table, column, expansion), expansion);
}

bool tableRowsSized(const GridBox& table) {
    if (table.type != GridBoxType::Table || !table.frame || !table.frame->key) return false;
    const GridFrame& f = *table.frame;
    const size_t n = f.records.size();
    return f.rowCells.size() == n && f.rowHeights.size() == n && (!f.lazy || f.lazy->sized);
}

bool reorderTableRows(GridBox& table, const GridSortKey& sort, const GridTextKey& textKey,
                      const std::vector<uint32_t>* order) {
    if (!tableRowsSized(table)) return false;
    GridFrame& f = *table.frame;
    const size_t n = f.records.size();
    // Each row's place by its record's number, before and after: no lookup by node.
    auto numberOf = [&f](size_t r) { return f.recordNumbers.empty() ? static_cast<uint32_t>(r) : f.recordNumbers[r] - 1; };
    std::vector<uint32_t> oldRow(n);
    for (size_t r = 0; r < n; ++r) oldRow[numberOf(r)] = static_cast<uint32_t>(r);
    orderRecords(f, sort, textKey, order);
    std::vector<uint32_t> from(n), to(n);
    for (size_t r = 0; r < n; ++r) {
        from[r] = oldRow[numberOf(r)];
        to[from[r]] = static_cast<uint32_t>(r);
    }
    auto permute = [&](auto& rows) {
        auto old = rows;
        for (size_t r = 0; r < n; ++r) rows[r] = old[from[r]];
    };
    permute(f.rowCells);
    permute(f.rowHeights);
    if (f.lazy) {
        // What each row's cells asked stays where it is; only where to find it moves.
        GridLazyRows& lazy = *f.lazy;
        if (lazy.sizedRows.size() == n) permute(lazy.sizedRows);
        for (uint32_t& r : lazy.staleRows) r = to[r];
    }
    setRowTops(f);
    return true;
}

size_t rebuildToggled(const GridExpansion& expansion, uint8_t toggle, const Node* toggleKey, GridLayout& layout) {
    if (!layout.root || !toggleKey) return 0;
    layout.expansion = &expansion;
    GridBuilder builder{expansion, layout};
    return builder.rebuildToggled(toggle, toggleKey);
}

void startRecordCells(GridFrame& f, size_t r, GridRowPart& part) {
    GridBuilder{*f.lazy->owner->expansion, *f.lazy->owner}.startRecord(f, r, part);
}

bool buildRecordCellsPart(GridLayout& into, GridFrame& f, GridRowPart& part, size_t& work,
                          std::vector<std::pair<int32_t, GridBox*>>& cells) {
    return GridBuilder{*f.lazy->owner->expansion, into}.recordCellsPart(f, part, work, cells);
}

bool buildPendingRows(GridBox& table, size_t& work, std::vector<GridBox*>* made) {
    GridFrame& f = *table.frame;
    GridPendingRows& p = *f.lazy->pending;
    GridLayout& into = *p.into;
    GridBuilder builder{*into.expansion, into};
    if (table.type == GridBoxType::KeyValue) {
        // A row and its value a step, what the value built beyond its box paid for too.
        for (; p.next < p.starts.size(); ++p.next) {
            if (work == 0) return false;
            const size_t boxes = into.boxesMade;
            builder.appendKeyValueRow(f, p.starts[p.next], f.lazy->depth);
            if (made) made->push_back(f.children.back());
            work -= std::min(work, std::max<size_t>(into.boxesMade - boxes, 1));
        }
        into.spareLazyRows(std::move(f.lazy));
        return true;
    }
    auto cells = into.borrowCells();
    while (p.next < f.records.size()) {
        if (work == 0) return false;
        if (!p.open) {
            builder.startRecord(f, p.next, p.part);
            p.rowStart = static_cast<uint32_t>(f.children.size());
            p.open = true;
        }
        cells->clear();
        const size_t boxes = into.boxesMade;
        const bool whole = builder.recordCellsPart(f, p.part, work, *cells);
        // A cell that opens a table builds all of it: what it built beyond the cell counts too.
        const size_t beyond = into.boxesMade - boxes - std::min(into.boxesMade - boxes, cells->size());
        work -= std::min(work, beyond);
        for (const auto& [c, cell] : *cells) {
            f.cellColumns.push_back(c);
            f.children.push_back(cell);
            if (made) made->push_back(cell);
        }
        if (!whole) return false;
        // The record's cells in column order, as a row built in one go has them.
        const auto first = static_cast<std::ptrdiff_t>(p.rowStart);
        if (!std::is_sorted(f.cellColumns.begin() + first, f.cellColumns.end())) {
            std::vector<std::pair<int32_t, GridBox*>> row;
            row.reserve(f.children.size() - p.rowStart);
            for (size_t i = p.rowStart; i < f.children.size(); ++i) row.emplace_back(f.cellColumns[i], f.children[i]);
            std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            for (size_t i = 0; i < row.size(); ++i) {
                f.cellColumns[p.rowStart + i] = row[i].first;
                f.children[p.rowStart + i] = row[i].second;
            }
        }
        f.rowCells[p.next] = {p.rowStart, static_cast<uint32_t>(f.children.size() - p.rowStart)};
        p.open = false;
        ++p.next;
    }
    into.spareLazyRows(std::move(f.lazy));
    return true;
}

void sortTableLater(GridFrame& f, const std::vector<uint32_t>* order) {
    GridLazyRows& lazy = *f.lazy;
    lazy.sortLater = false;
    const GridLayout& owner = *lazy.owner;
    const auto it = owner.expansion->sorts.find(f.key);
    if (it != owner.expansion->sorts.end()) orderRecords(f, it->second, owner.textKey, order);
}

GridSortKey laterSortOf(const GridFrame& f) {
    const GridExpansion& expansion = *f.lazy->owner->expansion;
    const auto it = expansion.sorts.find(f.key);
    return it == expansion.sorts.end() ? GridSortKey{} : it->second;
}

void buildPendingTable(GridBox& table) {
    size_t unbounded = SIZE_MAX;
    if (table.type == GridBoxType::Table) scanTableColumns(*table.frame, unbounded);
    unbounded = SIZE_MAX;
    buildPendingRows(table, unbounded, nullptr);
}

void buildKeyValueRowAside(GridLayout& into, GridFrame& table, GridFrame& aside, size_t r) {
    GridBuilder{*table.lazy->owner->expansion, into}.appendKeyValueRow(aside, table.records[r], table.lazy->depth);
}

void buildTableRow(const GridBox& table, size_t record) {
    GridFrame& f = *table.frame;
    GridLayout& owner = *f.lazyOwner();
    GridBuilder builder{*owner.expansion, owner};
    if (table.type == GridBoxType::KeyValue)
        builder.buildKeyValueRow(f, record);
    else
        builder.buildRow(f, record);
}

}  // namespace qm
