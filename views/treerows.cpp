// The expanded set's bitmap over the document's store, and the tree's rows counted in one pass
// and read back from the rows it kept.
#include "views/treerows.h"

#include <algorithm>
#include <functional>

#include "document/embedded.h"
#include "shell/filter.h"

namespace qm {

// ---- NodeStoreIndex ----

void NodeStoreIndex::bind(const NodeStore& store) {
    store_ = &store;
    boundSize_ = store.size();
    blocks_.clear();
    for (size_t first = 0; first < boundSize_; first += NodeStore::kBlockSize)
        blocks_.push_back({reinterpret_cast<uintptr_t>(&store[first]), first});
    std::sort(blocks_.begin(), blocks_.end(), [](const Block& a, const Block& b) { return a.first < b.first; });
    lastBlock_ = 0;
}

size_t NodeStoreIndex::find(const Node* node) const {
    if (blocks_.empty() || !node) return SIZE_MAX;
    const uintptr_t address = reinterpret_cast<uintptr_t>(node);
    constexpr uintptr_t kBlockBytes = NodeStore::kBlockSize * sizeof(Node);
    auto inside = [&](size_t b) { return address >= blocks_[b].first && address - blocks_[b].first < kBlockBytes; };
    size_t b = lastBlock_;
    if (!inside(b)) {
        auto after = std::upper_bound(blocks_.begin(), blocks_.end(), address,
                                      [](uintptr_t a, const Block& block) { return a < block.first; });
        if (after == blocks_.begin()) return SIZE_MAX;
        b = static_cast<size_t>(after - blocks_.begin()) - 1;
        if (!inside(b)) return SIZE_MAX;
        lastBlock_ = b;
    }
    const uintptr_t offset = address - blocks_[b].first;
    if (offset % sizeof(Node) != 0) return SIZE_MAX;
    const size_t index = blocks_[b].index + offset / sizeof(Node);
    return index < boundSize_ ? index : SIZE_MAX;
}

// ---- ExpandedSet ----

size_t ExpandedSet::count(const Node* node) const {
    if (!single_.empty() && single_.count(node)) return 1;
    if (bits_.empty()) return 0;
    const size_t i = index_.find(node);
    return i / 64 < bits_.size() && (bits_[i / 64] >> (i % 64) & 1) ? 1 : 0;
}

void ExpandedSet::insert(const Node* node) {
    if (!count(node)) single_.insert(node);
}

size_t ExpandedSet::erase(const Node* node) {
    size_t erased = single_.erase(node);
    if (!bits_.empty()) {
        const size_t i = index_.find(node);
        if (i / 64 < bits_.size() && (bits_[i / 64] >> (i % 64) & 1)) {
            bits_[i / 64] &= ~(uint64_t(1) << (i % 64));
            erased = 1;
        }
    }
    return erased;
}

void ExpandedSet::clear() {
    single_.clear();
    std::fill(bits_.begin(), bits_.end(), 0);
}

void ExpandedSet::bind(const NodeStore& store) {
    if (index_.store() != &store) bits_.clear();
    index_.bind(store);
    bits_.resize((store.size() + 63) / 64, 0);
}

void ExpandedSet::markIndex(size_t index) {
    if (index / 64 < bits_.size()) bits_[index / 64] |= uint64_t(1) << (index % 64);
}

void ExpandedSet::mark(const Node* node) {
    const size_t i = index_.store() ? index_.find(node) : SIZE_MAX;
    if (i == SIZE_MAX)
        insert(node);
    else
        markIndex(i);
}

// ---- TreeRows ----

namespace {

// The node whose row stands for the node holding `node`'s row: its parent, or for the JSON of an
// element's only text, the element.
const Node* rowHolder(const Node* node) { return node->parent ? shownHolder(node->parent) : nullptr; }

}  // namespace

bool TreeRows::shows(const Node* node) const { return !filtered_ || filterKeeps(node); }

// As the full listing does: an expandable node shows its children when open. The children are
// looked at first, as most nodes have none, and asking whether a string is expandable reads its
// text.
bool TreeRows::opens(const Node* node) const {
    if (childrenShownBy(node)->children.empty()) return false;
    const bool open = filtered_ ? filterOpens(node) : expanded_ && expanded_->count(node) != 0;
    return open && isExpandable(node);
}

Node* TreeRows::firstShownChild(const Node* node) const {
    for (Node* child : childrenShownBy(node)->children) {
        ++steps_;
        if (shows(child)) return child;
    }
    return nullptr;
}

size_t TreeRows::positionInParent(const Node* node) const {
    const Node* parent = node->parent;
    const auto& siblings = parent->children;
    if (node->indexInParent < siblings.size() && siblings[node->indexInParent] == node) return node->indexInParent;
    auto found = positions_.find(node);
    if (found == positions_.end() && positionedParents_.insert(parent).second) {
        for (size_t i = 0; i < siblings.size(); ++i) positions_[siblings[i]] = i;
        steps_ += siblings.size();
        found = positions_.find(node);
    }
    return found == positions_.end() ? siblings.size() : found->second;
}

Node* TreeRows::nextShownSibling(const Node* node) const {
    if (!node->parent) return nullptr;
    const auto& siblings = node->parent->children;
    for (size_t i = positionInParent(node) + 1; i < siblings.size(); ++i) {
        ++steps_;
        if (shows(siblings[i])) return siblings[i];
    }
    return nullptr;
}

bool TreeRows::step(Cursor& at) const {
    ++steps_;
    if (opens(at.node)) {
        if (Node* child = firstShownChild(at.node)) {
            at = {child, at.depth + 1};
            return true;
        }
    }
    const Node* node = at.node;
    for (unsigned depth = at.depth;; --depth) {
        if (Node* sibling = nextShownSibling(node)) {
            at = {sibling, depth};
            return true;
        }
        if (depth == 0) return false;
        node = rowHolder(node);
        if (!node) return false;
        ++steps_;
    }
}

TreeRow TreeRows::rowAt(const Cursor& at) const { return {at.node, at.depth, at.node && isExpandable(at.node)}; }

void TreeRows::clear() {
    root_ = nullptr;
    expanded_ = nullptr;
    count_ = 0;
    checkpoints_.clear();
    lastRow_ = SIZE_MAX;
    positions_.clear();
    positionedParents_.clear();
}

void TreeRows::build(const Node* root, const ExpandedSet* expanded, bool filtered) {
    clear();
    steps_ = 0;
    if (!root) return;
    root_ = root;
    expanded_ = expanded;
    filtered_ = filtered;
    Cursor at{firstShownChild(root), 0};
    if (!at.node) return;
    do {
        if (count_ % kRowCheckpoint == 0) checkpoints_.push_back(at);
        ++count_;
    } while (step(at));
}

TreeRows::Cursor TreeRows::cursorAt(size_t row) const {
    Cursor at;
    size_t from;
    if (lastRow_ <= row && row - lastRow_ < kRowCheckpoint) {
        at = last_;
        from = lastRow_;
    } else {
        at = checkpoints_[row / kRowCheckpoint];
        from = row / kRowCheckpoint * kRowCheckpoint;
    }
    for (; from < row; ++from)
        if (!step(at)) return {};
    lastRow_ = row;
    last_ = at;
    return at;
}

TreeRow TreeRows::operator[](size_t row) const {
    if (row >= count_) return {};
    return rowAt(cursorAt(row));
}

bool TreeRows::rowChain(const Node* node, std::vector<const Node*>& chain) const {
    chain.clear();
    for (const Node* n = node; n && n != root_;) {
        const Node* holder = rowHolder(n);
        // A node has a row only as a shown child of an open holder (an element's text has none).
        if (!holder || childrenShownBy(holder) != n->parent || !shows(n)) return false;
        if (holder != root_ && !opens(holder)) return false;
        chain.push_back(n);
        n = holder;
    }
    std::reverse(chain.begin(), chain.end());
    return !chain.empty() && rowHolder(chain.front()) == root_;
}

bool TreeRows::before(const std::vector<const Node*>& a, const std::vector<const Node*>& b) const {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] == b[i]) continue;
        return positionInParent(a[i]) < positionInParent(b[i]);
    }
    return a.size() < b.size();
}

int32_t TreeRows::find(const Node* node) const {
    std::vector<const Node*> target;
    if (!node || count_ == 0 || !rowChain(node, target)) return -1;
    // The last kept row at or before the node's, then at most a checkpoint's distance of steps.
    std::vector<const Node*> chain;
    size_t low = 0, high = checkpoints_.size();
    while (high - low > 1) {
        const size_t mid = low + (high - low) / 2;
        rowChain(checkpoints_[mid].node, chain);
        if (before(target, chain))
            high = mid;
        else
            low = mid;
    }
    Cursor at = checkpoints_[low];
    for (size_t row = low * kRowCheckpoint; row < count_; ++row) {
        if (at.node == node) return static_cast<int32_t>(row);
        if (row + 1 == (low + 1) * kRowCheckpoint || !step(at)) break;
    }
    return -1;
}

int32_t TreeRows::parentRow(int32_t row) const {
    if (row < 0) return -1;
    const TreeRow r = (*this)[static_cast<size_t>(row)];
    if (!r.node || r.depth == 0) return -1;
    return find(rowHolder(r.node));
}

TreeRows::iterator::iterator(const TreeRows* rows, size_t index) : rows_(rows), index_(index) {
    if (index_ < rows_->count_) row_ = rows_->rowAt(rows_->cursorAt(index_));
}

TreeRows::iterator& TreeRows::iterator::operator++() {
    ++index_;
    if (index_ >= rows_->count_) return *this;
    Cursor at{row_.node, row_.depth};
    if (!rows_->step(at)) {
        index_ = rows_->count_;
        return *this;
    }
    row_ = rows_->rowAt(at);
    return *this;
}

}  // namespace qm
