// The tree's expansion state and its visible rows for documents of any size. "Expand all" on a
// file of millions of nodes must not insert millions of nodes into a hash set nor list millions
// of rows: the expanded set keeps what a bulk expansion opens as a bit per node of the document's
// store, and the rows are counted in one pass that keeps every 128th row, any row being found
// again from the one kept before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "document/document.h"

namespace qm {

struct TreeRow {
    Node* node = nullptr;
    unsigned depth = 0;       // 0 for the children of the root
    bool expandable = false;  // isExpandable(node)
};

// The index of a node in its document's store, found by its address: the store's blocks sorted
// by address, a binary search over them (the last block found is tried first).
class NodeStoreIndex {
public:
    void bind(const NodeStore& store);
    const NodeStore* store() const { return store_; }
    // SIZE_MAX for a node of another store, or one the store did not hold when bound.
    size_t find(const Node* node) const;

private:
    struct Block {
        uintptr_t first;
        size_t index;  // of its first node
    };
    const NodeStore* store_ = nullptr;
    size_t boundSize_ = 0;
    std::vector<Block> blocks_;
    mutable size_t lastBlock_ = 0;
};

// The nodes the tree shows open. Nodes are inserted one at a time (the user's toggles, the top
// level, a revealed node's ancestors), or marked in bulk ("Expand all", a subtree): once the set
// is bound to a document's store a mark is one bit of a bitmap over that store.
class ExpandedSet {
public:
    size_t count(const Node* node) const;
    void insert(const Node* node);
    // 1 when the node was in the set.
    size_t erase(const Node* node);
    // Empties the set; it stays bound.
    void clear();
    // From now on marks go to a bit per node of `store` (the bits so far are dropped when the
    // store is another one).
    void bind(const NodeStore& store);
    // A bulk expansion's insertion: a bit when bound, else as insert.
    void mark(const Node* node);
    // Marks the node at `index` of the bound store.
    void markIndex(size_t index);
    // The nodes inserted one at a time (not those marked in bulk).
    std::unordered_set<const Node*>::const_iterator begin() const { return single_.begin(); }
    std::unordered_set<const Node*>::const_iterator end() const { return single_.end(); }

private:
    std::unordered_set<const Node*> single_;
    NodeStoreIndex index_;
    std::vector<uint64_t> bits_;
};

// The rows of an outline: depth-first, document order, the root's children and the children of
// every open expandable node below them; with `filtered`, only the nodes the search box's filter
// keeps, open where they hold a match (the expanded set is not asked). Built by one pass over the
// rows that keeps no row but every kRowCheckpoint-th; a row is found again by stepping from the
// kept one before it, so reading the rows a screen shows costs the screen, not the document. The
// rows follow the expanded set and the document as they were at build(): build again after a
// change.
class TreeRows {
public:
    static constexpr size_t kRowCheckpoint = 128;

    void build(const Node* root, const ExpandedSet* expanded, bool filtered);
    void clear();
    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // An empty row (null node) past the end.
    TreeRow operator[](size_t row) const;
    TreeRow back() const { return (*this)[count_ - 1]; }
    // Index of the row showing `node`, or -1.
    int32_t find(const Node* node) const;
    // Index of the row of the node holding row `row`'s node, or -1 at the top level.
    int32_t parentRow(int32_t row) const;
    // Steps taken from one row to the next since the last build began (its pass included): the
    // work the rows cost.
    uint64_t steps() const { return steps_; }

    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = TreeRow;
        using difference_type = std::ptrdiff_t;
        using pointer = const TreeRow*;
        using reference = const TreeRow&;
        iterator(const TreeRows* rows, size_t index);
        const TreeRow& operator*() const { return row_; }
        const TreeRow* operator->() const { return &row_; }
        iterator& operator++();
        bool operator==(const iterator& other) const { return index_ == other.index_; }
        bool operator!=(const iterator& other) const { return index_ != other.index_; }

    private:
        const TreeRows* rows_;
        size_t index_;
        TreeRow row_;
    };
    iterator begin() const { return iterator(this, 0); }
    iterator end() const { return iterator(this, count_); }
    // Every row listed (small documents: tests, comparisons).
    operator std::vector<TreeRow>() const { return std::vector<TreeRow>(begin(), end()); }

private:
    struct Cursor {
        Node* node = nullptr;
        unsigned depth = 0;
    };
    friend class iterator;
    bool opens(const Node* node) const;
    bool shows(const Node* node) const;
    Node* firstShownChild(const Node* node) const;
    Node* nextShownSibling(const Node* node) const;
    size_t positionInParent(const Node* node) const;
    // The row after `at`; false past the last row.
    bool step(Cursor& at) const;
    TreeRow rowAt(const Cursor& at) const;
    Cursor cursorAt(size_t row) const;
    // The node's rows from the top level down to it, each shown and each holder open; empty
    // when the node has no row.
    bool rowChain(const Node* node, std::vector<const Node*>& chain) const;
    // Whether the row of a node whose chain is `a` comes before that of chain `b`.
    bool before(const std::vector<const Node*>& a, const std::vector<const Node*>& b) const;

    const Node* root_ = nullptr;
    const ExpandedSet* expanded_ = nullptr;
    bool filtered_ = false;
    size_t count_ = 0;
    std::vector<Cursor> checkpoints_;
    mutable uint64_t steps_ = 0;
    // The last row read, so that reading a screen of rows in order steps once per row.
    mutable size_t lastRow_ = SIZE_MAX;
    mutable Cursor last_;
    // Positions of the children of parents whose indexInParent is not the position (a YAML
    // sequence numbers its items without the comments between them), found once per parent.
    mutable std::unordered_map<const Node*, size_t> positions_;
    mutable std::unordered_set<const Node*> positionedParents_;
};

}  // namespace qm
