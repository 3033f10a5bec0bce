// Node creation, spans and the read-only queries on the node tree.
#include "document/document.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>

#if QM_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif
#if QM_RELATIVE_LINKS
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#endif
#endif

#include "document/chars.h"
#include "document/embedded.h"
#include "document/language.h"

namespace qm {

bool uiGerman = false;

void NodeStore::startBlock(Arena& store) {
    blocks_.push_back(static_cast<Node*>(store.allocate(sizeof(Node) * kBlockSize)));
    next_ = blocks_.back();
    blockEnd_ = next_ + kBlockSize;
}

// Callers usually ask about nodes in document order, so the search starts at the block that
// answered last time.
size_t NodeStore::indexOf(const Node* node) const {
    const size_t blocks = blocks_.size();
    for (size_t k = 0; k < blocks; ++k) {
        const size_t b = (lastBlock_ + k) % blocks;
        const Node* first = blocks_[b];
        if (std::less_equal<const Node*>()(first, node) && std::less<const Node*>()(node, first + kBlockSize)) {
            lastBlock_ = b;
            size_t index = (b << kBlockShift) + size_t(node - first);
            return index < count_ ? index : SIZE_MAX;
        }
    }
    return SIZE_MAX;
}

// The sanitizer's view of the store: bytes not handed out are poisoned, so reading or writing
// them is reported; memory goes back to the allocator unpoisoned.
#if QM_ADDRESS_SANITIZER
static void poison(const void* p, size_t n) { __asan_poison_memory_region(p, n); }
static void unpoison(const void* p, size_t n) { __asan_unpoison_memory_region(p, n); }
#else
static void poison(const void*, size_t) {}
static void unpoison(const void*, size_t) {}
#endif

#if QM_RELATIVE_LINKS
// The range is reserved at the first chunk, at an address that is a multiple of its size, and
// committed a chunk at a time (page granular).
static char* reserveRange(size_t bytes) {
    auto aligned = [bytes](uintptr_t at) { return (at + bytes - 1) & ~uintptr_t(bytes - 1); };
#ifdef _WIN32
    // Reserving twice the size shows where an aligned range is free; it is released and the
    // aligned part reserved alone, which another thread may take meanwhile, hence the retries.
    for (int attempt = 0; attempt < 8; ++attempt) {
        void* probe = VirtualAlloc(nullptr, 2 * bytes, MEM_RESERVE, PAGE_NOACCESS);
        if (!probe) return nullptr;
        const uintptr_t at = aligned(reinterpret_cast<uintptr_t>(probe));
        VirtualFree(probe, 0, MEM_RELEASE);
        if (void* p = VirtualAlloc(reinterpret_cast<void*>(at), bytes, MEM_RESERVE, PAGE_NOACCESS))
            return static_cast<char*>(p);
    }
    return nullptr;
#else
    void* p = mmap(nullptr, 2 * bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    char* const probe = static_cast<char*>(p);
    char* const at = reinterpret_cast<char*>(aligned(reinterpret_cast<uintptr_t>(probe)));
    if (at > probe) munmap(probe, size_t(at - probe));
    if (probe + 2 * bytes > at + bytes) munmap(at + bytes, size_t(probe + 2 * bytes - (at + bytes)));
    return at;
#endif
}

static bool commitRange(char* start, size_t bytes) {
#ifdef _WIN32
    return VirtualAlloc(start, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
#else
    (void)start;
    (void)bytes;
    return true;  // the mapping is readable and writable; pages come on first touch
#endif
}

static void releaseRange(char* start, size_t bytes) {
#ifdef _WIN32
    (void)bytes;
    VirtualFree(start, 0, MEM_RELEASE);
#else
    munmap(start, bytes);
#endif
}

constexpr size_t kPageBytes = 4096;

bool Arena::holdsObject(const void* object) const {
    const char* at = static_cast<const char*>(object);
    return range_ && std::less_equal<const char*>()(range_ + kHeaderBytes, at) && std::less<const char*>()(at, range_ + rangeUsed_);
}

bool Arena::holds(const wchar_t* text, size_t size) const {
    const char* from = reinterpret_cast<const char*>(text);
    return holdsObject(from) && size_t(range_ + rangeUsed_ - from) >= size * sizeof(wchar_t);
}

void Arena::setDecodedText(const wchar_t* text) {
    if (range_) reinterpret_cast<RangeHeader*>(range_)->decodedText = text;
}

Arena::~Arena() {
    if (!range_) return;
    unpoison(range_, rangeUsed_);
    releaseRange(range_, kRangeBytes);
}

char* Arena::addChunk(size_t size) {
    if (!range_) {
        char* const range = reserveRange(kRangeBytes);
        if (!range) throw std::bad_alloc();
        if (!commitRange(range, kHeaderBytes)) {
            releaseRange(range, kRangeBytes);
            throw std::bad_alloc();
        }
        range_ = range;
        rangeUsed_ = kHeaderBytes;
        new (range_) RangeHeader{nullptr};
    }
    const size_t taken = (size + kPageBytes - 1) & ~(kPageBytes - 1);
    if (size > kRangeBytes || taken > kRangeBytes - rangeUsed_) throw std::bad_alloc();
    char* start = range_ + rangeUsed_;
    if (!commitRange(start, taken)) throw std::bad_alloc();
    rangeUsed_ += taken;
    reserved_ += taken;
    poison(start, taken);
    return start;
}
#else
Arena::~Arena() {
    for (const Chunk& chunk : chunks_) unpoison(chunk.bytes.get(), chunk.size);
}

// A binary search over the chunks by address: a literal set on every node of a big file asks
// once per node.
bool Arena::holds(const wchar_t* text, size_t size) const {
    const char* from = reinterpret_cast<const char*>(text);
    const char* to = reinterpret_cast<const char*>(text + size);
    const std::less_equal<const char*> notAfter;
    auto after = std::upper_bound(byAddress_.begin(), byAddress_.end(), from,
                                  [](const char* at, const ChunkPlace& c) { return std::less<const char*>()(at, c.start); });
    if (after == byAddress_.begin()) return false;
    const ChunkPlace& chunk = *(after - 1);
    return notAfter(chunk.start, from) && notAfter(to, chunk.start + chunk.size);
}

char* Arena::addChunk(size_t size) {
    chunks_.push_back({std::unique_ptr<char[]>(new char[size]), size});
    const ChunkPlace place{chunks_.back().bytes.get(), size};
    byAddress_.insert(std::upper_bound(byAddress_.begin(), byAddress_.end(), place,
                                       [](const ChunkPlace& a, const ChunkPlace& b) {
                                           return std::less<const char*>()(a.start, b.start);
                                       }),
                      place);
    reserved_ += size;
    char* start = chunks_.back().bytes.get();
    poison(start, size);
    return start;
}
#endif

void* Arena::allocate(size_t bytes) {
    if (bytes > SIZE_MAX / 2) throw std::bad_alloc();  // the rounding below cannot wrap
    const size_t taken = (bytes + kRedZoneBytes + 7) & ~size_t(7);
#if QM_RELATIVE_LINKS
    if (taken > left_ && next_ && next_ + left_ == range_ + rangeUsed_) {
        // The space left ends where the committed part of the range ends: the range is committed
        // further right after it, so no remainder is left unused however requests fall.
        const size_t more = std::max(kChunkBytes, (taken - left_ + kPageBytes - 1) & ~(kPageBytes - 1));
        addChunk(more);
        left_ += more;
    }
#endif
    if (taken > left_) {
        // A request bigger than a quarter chunk gets a chunk of its own, so the current chunk's
        // remainder is not abandoned for it.
        if (bytes > kChunkBytes / 4) {
            char* own = addChunk(taken);
            unpoison(own, bytes);
            return own;
        }
        next_ = addChunk(kChunkBytes);
        left_ = kChunkBytes;
    }
    char* p = next_;
    next_ += taken;
    left_ -= taken;
    unpoison(p, bytes);
    return p;
}

uint8_t* Arena::fileSpace(size_t bytes) {
    if (fileSpace_) throw std::logic_error("one file space per store");
    fileSpace_ = addChunk(bytes ? bytes : 1);
    fileSpaceSize_ = bytes;
#if QM_RELATIVE_LINKS
    fileSpaceCommitted_ = ((bytes ? bytes : 1) + kPageBytes - 1) & ~(kPageBytes - 1);
#endif
    unpoison(fileSpace_, bytes);
    return reinterpret_cast<uint8_t*>(fileSpace_);
}

void Arena::reuseFileSpace() {
    if (!fileSpace_) return;
    poison(fileSpace_, fileSpaceSize_);
    next_ = fileSpace_;  // a chunk's start: 8-byte aligned
#if QM_RELATIVE_LINKS
    left_ = fileSpaceCommitted_;  // to the end of its pages, where the next chunk would start
#else
    left_ = fileSpaceSize_ & ~size_t(7);
#endif
}

Node* createNode(Document& doc, NodeKind kind, Node* parent, uint32_t line) {
    Node& node = doc.nodes.append(doc.store);
    node.kind = kind;
    node.line = line;
    if (parent) appendChild(doc, parent, &node);
    return &node;
}

static NodeLink* allocateChildren(Document& doc, size_t count, size_t capacity) {
    static_assert(sizeof(ChildList::Header) == 8, "the header keeps the links 8-byte aligned");
    auto* header = static_cast<ChildList::Header*>(
        doc.store.allocate(sizeof(ChildList::Header) + capacity * sizeof(NodeLink)));
    header->count = static_cast<uint32_t>(count);
    header->capacity = static_cast<uint32_t>(capacity);
    return reinterpret_cast<NodeLink*>(header + 1);  // entries are written by set() before they are read
}

// Class of a capacity that appendChild gives (2, 4, 8 ...), or kChildArrayClasses for others.
static size_t childArrayClass(size_t capacity) {
    size_t c = 0;
    while (c < Document::kChildArrayClasses && (size_t(2) << c) < capacity) ++c;
    return c < Document::kChildArrayClasses && (size_t(2) << c) == capacity ? c : Document::kChildArrayClasses;
}

// A list grown one child at a time doubles its array; the outgrown arrays would otherwise stay
// unused in the store, up to as much again as the lists themselves (YAML and TOML build every
// list this way). Each goes to the spares of its capacity, whose header links them; its items
// are poisoned for AddressSanitizer until the array is handed out again.
// The link to the next spare array, kept in the first bytes of a spare's header.
constexpr size_t kSpareLinkSize = sizeof(ChildList::Header*);

static NodeLink* allocateGrownChildren(Document& doc, size_t count, size_t capacity) {
    const size_t c = childArrayClass(capacity);
    ChildList::Header* spare = c < Document::kChildArrayClasses ? doc.spareChildArrays[c] : nullptr;
    if (!spare) return allocateChildren(doc, count, capacity);
    unpoison(spare + 1, capacity * sizeof(NodeLink));
    std::memcpy(&doc.spareChildArrays[c], spare, kSpareLinkSize);
    spare->count = static_cast<uint32_t>(count);
    spare->capacity = static_cast<uint32_t>(capacity);
    return reinterpret_cast<NodeLink*>(spare + 1);
}

static void releaseGrownChildren(Document& doc, ChildList::Header* header) {
    static_assert(sizeof(ChildList::Header) >= kSpareLinkSize, "the header holds the link");
    const size_t capacity = header->capacity;
    const size_t c = childArrayClass(capacity);
    if (c == Document::kChildArrayClasses) return;
    std::memcpy(header, &doc.spareChildArrays[c], kSpareLinkSize);
    doc.spareChildArrays[c] = header;
    poison(header + 1, capacity * sizeof(NodeLink));
}

static ChildList::Header* headerOf(NodeLink* items) { return reinterpret_cast<ChildList::Header*>(items) - 1; }

void appendChild(Document& doc, Node* parent, Node* child) {
    ChildList& list = parent->children;
    NodeLink* items = list.items();
    const bool single = list.single();
    const size_t count = single ? 1 : items ? headerOf(items)->count : 0;
    if (!items || single || count == headerOf(items)->capacity) {
        NodeLink* grown = allocateGrownChildren(doc, count, count < 2 ? 2 : 2 * count);
        for (size_t i = 0; i < count; ++i) grown[i].set(items[i].get());
        if (items && !single) releaseGrownChildren(doc, headerOf(items));
        list.linkArray(grown);
        parent->singleChild = false;
        items = grown;
    }
    items[count].set(child);
    headerOf(items)->count = static_cast<uint32_t>(count + 1);
    child->parent = parent;
    child->indexInParent = static_cast<uint32_t>(count);
}

void setChildren(Document& doc, Node* parent, Node* const* items, size_t count) {
    ChildList& list = parent->children;
    list.link_.set(nullptr);
    parent->singleChild = false;
    if (count == 0) return;
    if (count == 1) {
        list.link_.set(items[0]);
        parent->singleChild = true;
        return;
    }
    NodeLink* links = allocateChildren(doc, count, count);
    list.linkArray(links);
    for (size_t i = 0; i < count; ++i) links[i].set(items[i]);
}

void truncateChildren(Node* parent, size_t count) {
    ChildList& list = parent->children;
    if (count >= list.size()) return;
    if (count == 0 && list.single()) {
        list.link_.set(nullptr);
        parent->singleChild = false;
    } else {
        list.header()->count = static_cast<uint32_t>(count);
    }
}

void replaceChild(Node* parent, size_t index, Node* child) { parent->children.items()[index].set(child); }

NodeText storeText(Document& doc, std::wstring_view text) {
    if (text.empty()) return NodeText();
    wchar_t* copy = static_cast<wchar_t*>(doc.store.allocate((text.size() + 1) * sizeof(wchar_t)));
    std::copy_n(text.data(), text.size(), copy);  // memmove, which AddressSanitizer checks
    copy[text.size()] = 0;
    return NodeText(copy, text.size());
}

void recordSpan(Document& doc, uint32_t start, uint32_t end) {
    size_t last = doc.nodes.size() - 1;
    if (doc.spans.size() < 2 * (last + 1)) doc.spans.resize(2 * (last + 1), kNoSpan);
    doc.spans[2 * last] = start;
    doc.spans[2 * last + 1] = end;
}

const wchar_t* nodeTag(const Document& doc, const Node* node) {
    if (doc.tags.empty()) return nullptr;
    const auto found = doc.tags.find(node);
    return found == doc.tags.end() ? nullptr : found->second;
}

void setNodeTag(Document& doc, const Node* node, const wchar_t* tag) {
    if (tag)
        doc.tags[node] = tag;
    else
        doc.tags.erase(node);
}

void StoredText::set(Document& doc, std::wstring_view text) {
    const wchar_t* at = text.data();
    const size_t size = text.size();
    const std::wstring& decoded = doc.parsedText;
    const bool inDecoded = std::less_equal<const wchar_t*>()(decoded.data(), at) &&
                           std::less_equal<const wchar_t*>()(at + size, decoded.data() + decoded.size());
    if (!inDecoded && !doc.store.holds(at, size)) {
        if (size == 0) {
            clear();
            return;
        }
        // Not the document's own: a copy in the store, shared by the nodes that set the same text.
        const NodeText* copied = nullptr;
        for (const NodeText& c : doc.copiedTexts)
            if (c.view() == text) copied = &c;
        if (!copied) {
            if (doc.copiedTexts.size() >= 16) doc.copiedTexts.erase(doc.copiedTexts.begin());
            doc.copiedTexts.push_back(storeText(doc, text));
            copied = &doc.copiedTexts.back();
        }
        set(doc, copied->view());
        return;
    }
#if QM_RELATIVE_LINKS
    if (!doc.store.holdsObject(this)) throw std::logic_error("a stored text outside its document's store");
#endif
    const wchar_t* target = at;
    bool indexed = inDecoded;
    uint16_t length = uint16_t(size);
    if (size >= kLongText) {
        auto* record = static_cast<LongText*>(doc.store.allocate(sizeof(LongText)));
        record->data = at;
        record->size = size;
        target = reinterpret_cast<const wchar_t*>(record);
        indexed = false;
        length = kLongText;
    }
#if QM_RELATIVE_LINKS
    if (indexed) {
        doc.store.setDecodedText(decoded.data());
        where_ = uint32_t(at - decoded.data());
        meta_ = uint16_t(length | kInDecodedText);
        return;
    }
    where_ = uint32_t((reinterpret_cast<uintptr_t>(target) - rangeStart()) / sizeof(wchar_t));
#else
    (void)indexed;
    where_ = uint32_t(reinterpret_cast<uintptr_t>(target));
#endif
    meta_ = length;
}

const wchar_t* internString(Document& doc, std::wstring_view text) {
    return text.empty() ? L"" : storeText(doc, text).data();
}

void setDocumentError(Document& doc, const std::wstring& message, uint32_t line) {
    if (!doc.errorMessage.empty()) return;
    doc.errorMessage = message;
    doc.errorLine = line;
}

size_t nodeIndex(const Document& doc, const Node* node) { return doc.nodes.indexOf(node); }

bool nodeSpan(const Document& doc, const Node* node, uint32_t& start, uint32_t& end) {
    size_t i = nodeIndex(doc, node);
    if (i == SIZE_MAX || 2 * i + 1 >= doc.spans.size()) return false;
    start = doc.spans[2 * i];
    end = doc.spans[2 * i + 1];
    return start != kNoSpan && end != kNoSpan;
}

// The file's nodes: opening a value embedded in a string does not change the count.
size_t nodeCount(const Document& doc) { return doc.nodes.empty() ? 0 : fileNodeCount(doc) - 1; }

bool isSimpleElement(const Node* node) {
    if (!node || node->kind != NodeKind::Element || node->attributeCount != 0) return false;
    if (node->children.empty()) return true;
    if (node->children.size() != 1) return false;
    NodeKind k = node->children[0]->kind;
    return k == NodeKind::Text || k == NodeKind::CData;
}

size_t attributeCount(const Node* node) {
    if (node->attributeCount < kManyAttributes) return node->attributeCount;
    size_t low = kManyAttributes, high = node->children.size();  // the first non-attribute is in [low, high]
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (node->children[middle]->kind == NodeKind::Attribute)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

bool isExpandable(const Node* node) {
    if (!node) return false;
    switch (node->kind) {
        case NodeKind::Root: return true;
        case NodeKind::Object:
        case NodeKind::Array: return !node->children.empty();
        case NodeKind::Element:
            if (!isSimpleElement(node)) return !node->children.empty();
            break;  // an element shown with its text: as that text
        default: break;
    }
    // A text that holds JSON: before its first opening, and then when that JSON has content.
    return holdsEmbeddedJson(node) && (awaitsOpening(node) || !textHolder(node)->children.empty());
}

size_t countItems(const Node* node) {
    size_t n = 0;
    for (const Node* child : node->children)
        if (child->kind != NodeKind::Comment) ++n;
    return n;
}

std::wstring textContent(const Node* node) {
    std::wstring out;
    for (const Node* child : node->children)
        if (child->kind == NodeKind::Text || child->kind == NodeKind::CData) out += child->value;
    return out;
}

static bool isPreviewSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

std::wstring previewText(std::wstring_view text, size_t limit) {
    std::wstring out;
    bool pendingSpace = false;
    for (wchar_t c : text) {
        if (isPreviewSpace(c)) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) {
            if (out.size() >= limit) return out + L"\u2026";
            out += L' ';
            pendingSpace = false;
        }
        if (out.size() >= limit) return out + L"\u2026";
        out += c;
    }
    return out;
}

const wchar_t* formatDisplayName(DocumentFormat format) {
    switch (format) {
        case DocumentFormat::Xml: return L"XML";
        case DocumentFormat::Json: return L"JSON";
        case DocumentFormat::JsonLines: return L"JSON Lines";
        case DocumentFormat::Yaml: return L"YAML";
        case DocumentFormat::Toml: return L"TOML";
        case DocumentFormat::Registry: return tr(L"Registry", L"Registrierung");
    }
    return L"";
}

}  // namespace qm
