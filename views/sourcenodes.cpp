// The node a click on a line of the source view selects: the deepest node whose range of lines
// holds the line, worked out for every line at once, or for one line by a descent through the
// tree when the ranges nest.
#include <algorithm>
#include <numeric>
#include <vector>

#include "views/source.h"

namespace qm {

namespace {

// Every line gets the deepest node whose range covers it, as if the nodes wrote their ranges in
// document order and each overwrote its ancestors; a node whose range starts on its parent's
// first line leaves its lines to the parent. Rather than overwriting (which costs the sum of
// the ranges, quadratic in the depth), the nodes are visited in the reverse of that order and
// each line is given only once, its first writer found by skipping the lines already given.
void assignLineNodes(const Document& doc, const NodeIndexer& indexer, SourceText& out) {
    const size_t lines = out.lineCount();
    out.lineNodes.assign(lines, 0);
    if (lines == 0) return;
    std::vector<uint32_t> nextFree(lines + 1);
    std::iota(nextFree.begin(), nextFree.end(), 0u);
    auto findFree = [&](uint32_t x) {
        while (nextFree[x] != x) {
            ++out.lineSteps;
            nextFree[x] = nextFree[nextFree[x]];
            x = nextFree[x];
        }
        return x;
    };
    auto rangeOf = [&](const Node* node) {
        const size_t i = indexer.indexOf(node);
        return i < out.ranges.size() ? out.ranges[i] : LineRange{};
    };
    auto visit = [&](Node* node) {
        const size_t index = indexer.indexOf(node);
        const LineRange r = index < out.ranges.size() ? out.ranges[index] : LineRange{};
        if (!r.valid()) return;
        const Node* parent = node->parent;
        if (parent && parent->kind != NodeKind::Root) {
            const LineRange pr = rangeOf(parent);
            if (pr.valid() && pr.first == r.first) return;
        }
        if (size_t(r.first) >= lines || r.last < r.first) return;
        const uint32_t last = uint32_t(std::min<size_t>(size_t(r.last), lines - 1));
        for (uint32_t x = findFree(uint32_t(r.first)); x <= last; x = findFree(x)) {
            ++out.lineSteps;
            out.lineNodes[x] = uint32_t(index + 1);
            nextFree[x] = x + 1;
        }
    };

    // The reverse of document order: children from the last to the first, each after its own
    // children.
    struct Frame {
        Node* node;
        size_t remaining;
    };
    std::vector<Frame> stack{{doc.root, doc.root->children.size()}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.remaining > 0) {
            Node* child = frame.node->children[--frame.remaining];
            stack.push_back({child, child->children.size()});  // `frame` is not used after this
            continue;
        }
        Node* node = frame.node;
        stack.pop_back();
        if (node != doc.root) visit(node);
    }
    for (size_t i = 1; i < lines; ++i)
        if (!out.lineNodes[i]) out.lineNodes[i] = out.lineNodes[i - 1];
}

// What the descent reads of a node: its range, and the line it is ordered by among its siblings
// (its first line; for a node without a range the line a formatted text recorded for it, such as
// a comment it passes over, else past every line).
struct NodeLines {
    LineRange range;
    uint64_t key = UINT64_MAX;
};

NodeLines linesOf(const SourceText& out, const NodeIndexer& indexer, const Node* node) {
    NodeLines n;
    const size_t i = indexer.indexOf(node);
    if (i < out.ranges.size()) n.range = out.ranges[i];
    if (n.range.valid())
        n.key = uint64_t(n.range.first);
    else if (i < out.nodeLines.size() && out.nodeLines[i] != UINT32_MAX)
        n.key = out.nodeLines[i];
    return n;
}

// Whether the ranges nest: below the root, a node with a range has a parent with a range that
// holds it (nodes without one hold none), a range does not end before it begins, the children of
// a node are in the order of their lines, and each child's range ends on or before the line the
// next one's begins on. One walk over the nodes in document order.
bool rangesNest(const Document& doc, const NodeIndexer& indexer, SourceText& out) {
    struct Frame {
        const Node* node;
        size_t next;
        LineRange range;
        uint64_t key;   // the last child's
        int64_t last;   // the last range's end among the children so far
    };
    std::vector<Frame> stack{{doc.root, 0, LineRange{}, 0, -1}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.node->children.size()) {
            stack.pop_back();
            continue;
        }
        const Node* child = frame.node->children[frame.next++];
        ++out.lineSteps;
        if (child->parent != frame.node || child->kind == NodeKind::Root) return false;
        const NodeLines n = linesOf(out, indexer, child);
        if (n.key < frame.key) return false;
        frame.key = n.key;
        const LineRange r = n.range;
        if (r.valid()) {
            if (r.last < r.first || r.first < frame.last) return false;
            if (frame.node != doc.root && (!frame.range.valid() || r.first < frame.range.first || r.last > frame.range.last))
                return false;
            frame.last = r.last;
        }
        stack.push_back({child, 0, r, 0, -1});  // `frame` is not used after this
    }
    return true;
}

// The last child of `parent` with a range that begins on or before `line`, by a binary search
// over the children's keys and back over those without a range; null when there is none.
const Node* lastStartingBy(const SourceText& out, const NodeIndexer& indexer, const Node* parent, uint64_t line,
                           NodeLines& found, size_t& steps) {
    const ChildList& children = parent->children;
    size_t low = 0, high = children.size();  // the children below `low` begin by `line`, those from `high` after it
    while (low < high) {
        ++steps;
        const size_t mid = low + (high - low) / 2;
        if (linesOf(out, indexer, children[mid]).key <= line)
            low = mid + 1;
        else
            high = mid;
    }
    while (low-- > 0) {
        ++steps;
        found = linesOf(out, indexer, children[low]);
        if (found.range.valid()) return children[low];
    }
    return nullptr;
}

// assignLineNodes' answer for one line of nested ranges. The nodes whose ranges hold a line lie on
// one path down the tree, a node's children holding it being the last one beginning by then and
// those on that line before it, whose nodes begin after the node's first line only if it does; a
// node whose range begins on the line holds no other node that could take it. So the line goes
// to the deepest node on that path that does not begin on its parent's first line. A line no
// node holds takes the node of the last line before it that one holds.
Node* nestedLineNode(const Document& doc, const NodeIndexer& indexer, SourceText& out, size_t line) {
    NodeLines top;
    if (!lastStartingBy(out, indexer, doc.root, line, top, out.lineSteps)) return nullptr;
    const uint64_t held = std::min<uint64_t>(line, uint64_t(top.range.last));
    const Node* node = doc.root;
    LineRange nodeRange;
    const Node* chosen = nullptr;
    for (;;) {
        NodeLines child;
        const Node* next = lastStartingBy(out, indexer, node, held, child, out.lineSteps);
        if (!next || uint64_t(child.range.last) < held) break;
        if (node == doc.root || nodeRange.first != child.range.first) chosen = next;
        if (uint64_t(child.range.first) == held) break;
        node = next;
        nodeRange = child.range;
    }
    return const_cast<Node*>(chosen);
}

}  // namespace

Node* SourceText::lineNode(size_t i) const {
    if (i >= lineNodes.size() || lineNodes[i] == 0 || !document || lineNodes[i] > document->nodes.size()) return nullptr;
    return &document->nodes[lineNodes[i] - 1];
}

void ensureLineNodes(Document& doc, SourceText& out) {
    finishSourceIndex(out);
    if (out.lineNodes.size() == out.lineCount() || !doc.root) return;
    assignLineNodes(doc, NodeIndexer(doc), out);
}

Node* sourceLineNode(Document& doc, SourceText& out, size_t line) {
    finishSourceIndex(out);
    if (line >= out.lineCount() || !doc.root || out.document != &doc) return nullptr;
    if (out.lineNodes.size() == out.lineCount()) return out.lineNode(line);
    const NodeIndexer indexer(doc);
    if (out.nesting == kNestingUnknown) out.nesting = rangesNest(doc, indexer, out) ? kRangesNest : kRangesOverlap;
    if (out.nesting == kRangesNest) return nestedLineNode(doc, indexer, out, line);
    ensureLineNodes(doc, out);
    return out.lineNode(line);
}

}  // namespace qm
