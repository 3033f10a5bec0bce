// Row building, expansion, geometry, hit testing, keys and row texts of the tree view.
#include "views/tree.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "document/embedded.h"
#include "edit/nodetext.h"
#include "shell/filter.h"

namespace qm {

int scaleDips(int dips, unsigned dpi) {
    const long long product = static_cast<long long>(dips) * static_cast<long long>(dpi);
    const long long rounded = product >= 0 ? (product + 48) / 96 : -((-product + 48) / 96);
    return static_cast<int>(rounded);
}

void buildTreeRows(const Node* root, const ExpandedSet& expanded, std::vector<TreeRow>& rows, bool filtered) {
    rows.clear();
    if (!root) return;
    struct Pending {
        Node* node;
        unsigned depth;
    };
    std::vector<Pending> stack;
    auto pushChildren = [&](const Node* parent, unsigned depth) {
        const auto& children = childrenShownBy(parent)->children;
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            if (!filtered || filterKeeps(*it)) stack.push_back({*it, depth});
    };
    pushChildren(root, 0);
    while (!stack.empty()) {
        const Pending top = stack.back();
        stack.pop_back();
        const bool expandable = isExpandable(top.node);
        rows.push_back({top.node, top.depth, expandable});
        if (expandable && (filtered ? filterOpens(top.node) : expanded.count(top.node) != 0))
            pushChildren(top.node, top.depth + 1);
    }
}

int32_t findRow(const std::vector<TreeRow>& rows, const Node* node) {
    if (!node) return -1;
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].node == node) return static_cast<int32_t>(i);
    return -1;
}

int32_t findRow(const TreeRows& rows, const Node* node) { return rows.find(node); }

void expandTopLevel(const Node* root, ExpandedSet& expanded) {
    if (!root) return;
    for (const Node* child : root->children)
        if (opensInBulk(child)) expanded.insert(child);
}

namespace {

// opensInBulk for the bulk expansions: only a node with children to show opens, and most nodes
// have none, which is told without reading a string's text.
bool opensWithChildren(const Node* node) { return !childrenShownBy(node)->children.empty() && opensInBulk(node); }

}  // namespace

void expandEverything(const Document& doc, ExpandedSet& expanded) {
    expanded.bind(doc.nodes);
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        const Node* node = &doc.nodes[i];
        if (node->kind != NodeKind::Root && opensWithChildren(node)) expanded.markIndex(i);
    }
}

void expandSubtree(const Node* node, ExpandedSet& expanded) {
    if (!node) return;
    std::vector<const Node*> stack{node};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (!opensWithChildren(n)) continue;
        if (n->kind != NodeKind::Root) expanded.mark(n);
        // A child without children of its own has nothing to open. Pushed last to first, the
        // nodes are visited in the order of the store.
        for (auto it = n->children.rbegin(); it != n->children.rend(); ++it)
            if (!(*it)->children.empty()) stack.push_back(*it);
    }
}

bool subtreeHoldsEveryRow(const Node* root, const Node* node) {
    if (!root || !node) return false;
    if (node == root) return true;
    if (node->parent != root) return false;
    for (const Node* child : root->children)
        if (child != node && !child->children.empty()) return false;
    return true;
}

void expandAncestors(const Node* node, ExpandedSet& expanded) {
    if (!node) return;
    for (const Node* p = node->parent; p && p->kind != NodeKind::Root; p = p->parent) expanded.insert(p);
}

Node* collapsedStandIn(Node* node, const ExpandedSet& expanded) {
    if (!node) return nullptr;
    // The text of an element shown with its text has no row: the element stands for it.
    Node* candidate = node;
    Node* p = node->parent;
    while (p && p->kind != NodeKind::Root && !expanded.count(shownHolder(p))) {
        candidate = p;
        p = p->parent;
    }
    return const_cast<Node*>(shownHolder(candidate));
}

int pageRows(int clientHeight, int rowHeight) {
    if (rowHeight <= 0) return 1;
    return std::max(clientHeight / rowHeight, 1);
}

unsigned clampTopRow(long long row, size_t rowCount, int page) {
    const long long last = static_cast<long long>(rowCount) - page;
    row = std::min(row, last);
    row = std::max(row, 0LL);
    return static_cast<unsigned>(row);
}

unsigned topRowShowing(int32_t row, unsigned topRow, size_t rowCount, int page) {
    if (row < 0) return topRow;
    if (static_cast<unsigned>(row) < topRow) return clampTopRow(row, rowCount, page);
    if (static_cast<long long>(row) >= static_cast<long long>(topRow) + page)
        return clampTopRow(static_cast<long long>(row) - page + 1, rowCount, page);
    return topRow;
}

int takeWheelNotches(int32_t& remainder, int delta) {
    remainder += delta;
    const int notches = remainder / kWheelDelta;  // C++ division truncates toward zero
    remainder -= notches * kWheelDelta;
    return notches;
}

int treeLabelLeft(unsigned depth, unsigned dpi) {
    const long long left = scaleDips(kTreeLeftMargin, dpi) + static_cast<long long>(depth) * scaleDips(kTreeIndent, dpi) +
                           scaleDips(kTreeExpanderZone, dpi) + scaleDips(kTreeLabelOffset, dpi);
    return static_cast<int>(std::min<long long>(left, INT_MAX / 4));
}

NameFit fitNameColumn(int labelStart, int right, int labelWidth, int pillWidth, int gap) {
    if (pillWidth <= 0) return {right, false};
    const long long end = static_cast<long long>(labelStart) + (labelWidth > 0 ? labelWidth + gap : 0) + pillWidth;
    if (end <= right) return {right - pillWidth - gap, true};
    return {right, false};
}

int nameColumnPixels(int clientWidth, unsigned splitDips, unsigned dpi) {
    const int minimum = scaleDips(kTreeMinColumn, dpi);
    return std::max(minimum, std::min(clientWidth - minimum, scaleDips(static_cast<int>(splitDips), dpi)));
}

unsigned splitFromDrag(int x, int clientWidth, unsigned dpi) {
    const int minimum = scaleDips(kTreeMinColumn, dpi);
    const int pixels = std::max(minimum, std::min(clientWidth - minimum, x));
    // The inverse of scaleDips: MulDiv(pixels, 96, dpi).
    const long long d = dpi ? dpi : 96;
    return static_cast<unsigned>((static_cast<long long>(pixels) * 96 + d / 2) / d);
}

bool isTreeKey(unsigned key, size_t rowCount) {
    if (rowCount == 0) return false;
    switch (key) {
        case kKeyReturn: case kKeyPrior: case kKeyNext: case kKeyEnd: case kKeyHome: case kKeyLeft:
        case kKeyUp: case kKeyRight: case kKeyDown: case kKeyMultiply: case kKeyAdd: case kKeySubtract:
            return true;
        default:
            return false;
    }
}

namespace {

// The row of the node holding row `row`'s node: the nearest row above of lesser depth.
int32_t parentRowOf(const std::vector<TreeRow>& rows, int32_t row) {
    for (int32_t r = row - 1; r >= 0; --r)
        if (rows[r].depth < rows[row].depth) return r;
    return -1;
}

int32_t parentRowOf(const TreeRows& rows, int32_t row) { return rows.parentRow(row); }

template <class Rows>
TreeHit hitTest(int x, int y, const Rows& rows, unsigned topRow, int rowHeight, int nameColumn, unsigned dpi) {
    TreeHit hit;
    hit.onSplitter = std::abs(x - nameColumn) <= scaleDips(kTreeSplitterGrab, dpi);
    if (y < 0 || rowHeight <= 0) return hit;
    const size_t row = topRow + static_cast<size_t>(y / rowHeight);
    if (row >= rows.size()) return hit;
    hit.row = static_cast<int32_t>(row);
    const TreeRow r = rows[row];
    const int zone = scaleDips(kTreeLeftMargin, dpi) + static_cast<int>(r.depth) * scaleDips(kTreeIndent, dpi);
    hit.onExpander = r.expandable && x >= zone && x < zone + scaleDips(kTreeExpanderZone, dpi);
    return hit;
}

template <class Rows>
TreeKeyResult keyAction(unsigned key, const Rows& rows, int32_t selectedRow, const ExpandedSet& expanded, int page) {
    TreeKeyResult none;
    if (!isTreeKey(key, rows.size())) return none;
    const int32_t last = static_cast<int32_t>(rows.size()) - 1;
    const int32_t current = selectedRow < 0 || selectedRow > last ? 0 : selectedRow;
    const TreeRow row = rows[current];
    const bool isOpen = row.expandable && expanded.count(row.node);
    auto select = [](long long r, int32_t lastRow) {
        return TreeKeyResult{TreeAction::Select, static_cast<int32_t>(std::max(0LL, std::min<long long>(r, lastRow)))};
    };
    switch (key) {
        case kKeyReturn: return {TreeAction::Toggle, current};
        case kKeyPrior: return select(static_cast<long long>(current) - page + 1, last);
        case kKeyNext: return select(static_cast<long long>(current) + page - 1, last);
        case kKeyEnd: return select(last, last);
        case kKeyHome: return select(0, last);
        case kKeyLeft: {
            if (isOpen) return {TreeAction::Toggle, current};
            const int32_t parent = parentRowOf(rows, current);
            return parent >= 0 ? select(parent, last) : none;
        }
        case kKeyUp: return select(selectedRow < 0 ? 0 : current - 1, last);
        case kKeyRight:
            if (!row.expandable) return none;
            if (!isOpen) return {TreeAction::Toggle, current};
            return select(current + 1, last);
        case kKeyDown: return select(selectedRow < 0 ? 0 : current + 1, last);
        case kKeyMultiply: return {TreeAction::ExpandSubtree, current};
        case kKeyAdd: return row.expandable && !isOpen ? TreeKeyResult{TreeAction::Toggle, current} : none;
        case kKeySubtract: return isOpen ? TreeKeyResult{TreeAction::Toggle, current} : none;
        default: return none;
    }
}

}  // namespace

TreeHit treeHitTest(int x, int y, const std::vector<TreeRow>& rows, unsigned topRow, int rowHeight,
                    int nameColumn, unsigned dpi) {
    return hitTest(x, y, rows, topRow, rowHeight, nameColumn, dpi);
}

TreeHit treeHitTest(int x, int y, const TreeRows& rows, unsigned topRow, int rowHeight, int nameColumn, unsigned dpi) {
    return hitTest(x, y, rows, topRow, rowHeight, nameColumn, dpi);
}

TreeKeyResult treeKeyAction(unsigned key, const std::vector<TreeRow>& rows, int32_t selectedRow,
                            const ExpandedSet& expanded, int page) {
    return keyAction(key, rows, selectedRow, expanded, page);
}

TreeKeyResult treeKeyAction(unsigned key, const TreeRows& rows, int32_t selectedRow, const ExpandedSet& expanded,
                            int page) {
    return keyAction(key, rows, selectedRow, expanded, page);
}

Badge nodeBadge(NodeKind kind, bool isDataFormat) {
    switch (kind) {
        case NodeKind::Root: return {L"", ColorSlot::text};
        case NodeKind::Element: return {L"<>", ColorSlot::tag};
        case NodeKind::Attribute: return {L"=", ColorSlot::attributeName};
        case NodeKind::Text: return {L"abc", ColorSlot::string};
        case NodeKind::CData: return {L"CD", ColorSlot::entityType};
        case NodeKind::Comment: return {isDataFormat ? L"#" : L"<!", ColorSlot::comment};
        case NodeKind::ProcessingInstruction: return {L"<?", ColorSlot::directive};
        case NodeKind::DocType: return {L"DT", ColorSlot::comment};
        case NodeKind::XmlDeclaration: return {L"<?", ColorSlot::directive};
        case NodeKind::Object: return {L"{ }", ColorSlot::tag};
        case NodeKind::Array: return {L"[ ]", ColorSlot::directive};
        case NodeKind::String: return {L"abc", ColorSlot::string};
        case NodeKind::Number: return {L"123", ColorSlot::number};
        case NodeKind::Bool: return {L"bool", ColorSlot::constant};
        case NodeKind::Null: return {L"null", ColorSlot::constant};
    }
    return {L"", ColorSlot::text};
}

ColorSlot valueSlot(NodeKind kind) {
    switch (kind) {
        case NodeKind::CData: return ColorSlot::entityType;
        case NodeKind::Comment:
        case NodeKind::DocType: return ColorSlot::comment;
        case NodeKind::ProcessingInstruction:
        case NodeKind::XmlDeclaration: return ColorSlot::directive;
        case NodeKind::Number: return ColorSlot::number;
        case NodeKind::Bool:
        case NodeKind::Null: return ColorSlot::constant;
        default: return ColorSlot::text;
    }
}

namespace {

bool isDataValue(NodeKind kind) {
    switch (kind) {
        case NodeKind::Object: case NodeKind::Array: case NodeKind::String:
        case NodeKind::Number: case NodeKind::Bool: case NodeKind::Null:
            return true;
        default:
            return false;
    }
}

bool isContainer(NodeKind kind) { return kind == NodeKind::Object || kind == NodeKind::Array; }

}  // namespace

ColorSlot labelSlot(const Node* node) {
    if (!node) return ColorSlot::text;
    if (node->kind == NodeKind::Attribute) return ColorSlot::attributeName;
    if (isDataValue(node->kind) && !node->keyed) return ColorSlot::dimText;
    return ColorSlot::text;
}

std::wstring countPillText(const Node* node, bool showCounts, bool expandable) {
    if (!node || !showCounts || !expandable) return L"";
    size_t count = 0;
    if (node->kind == NodeKind::Element && childrenShownBy(node) == node) {
        for (const Node* child : node->children)
            if (child->kind == NodeKind::Element) ++count;
    } else {
        count = countItems(childrenShownBy(node));
    }
    return count ? std::to_wstring(count) : std::wstring();
}

TreeValue treeValue(const Node* node, bool isExpanded, bool showCounts, bool expandable) {
    TreeValue v;
    if (!node) return v;
    if (isContainer(node->kind)) {
        const size_t count = countItems(node);
        if (!isExpanded) {
            v.slot = ColorSlot::dimText;
            if (showCounts && expandable) return v;  // the pill carries the count
        } else {
            v.slot = valueSlot(node->kind);
        }
        if (count == 0) {
            v.text = valuePreview(node);
        } else if (!isExpanded) {
            const bool object = node->kind == NodeKind::Object;
            v.text = std::wstring(object ? L"{ " : L"[ ") + std::to_wstring(count) + (object ? L" }" : L" ]");
        }
        return v;
    }
    v.slot = valueSlot(node->kind);
    if (node->kind == NodeKind::Element && !isExpanded) {
        for (const Node* child : node->children) {
            if (child->kind == NodeKind::Text || child->kind == NodeKind::CData) {
                v.text = previewText(textContent(node), kValuePreviewLimit);
                return v;
            }
        }
    }
    v.text = valuePreview(node);
    return v;
}

}  // namespace qm
