// The node tree every file becomes: one Document owning a stable store of Node records.
// Parsers build it through createNode/recordSpan/internString; views, search, paths, writers
// and the value editor read it. Nodes never move once created, so plain pointers stay valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

enum class NodeKind : uint8_t {
    Root = 0,                   // the document root; empty name and value
    Element = 1,                // XML element: tag name
    Attribute = 2,              // XML attribute: name / decoded value
    Text = 3,                   // XML character data: decoded text
    CData = 4,                  // XML CDATA section: raw content
    Comment = 5,                // comment text (XML, YAML, TOML, .reg)
    ProcessingInstruction = 6,  // XML PI: target / data
    DocType = 7,                // XML markup declaration: first word / rest
    XmlDeclaration = 8,         // "xml" / declaration data
    Object = 9,                 // mapping: key or empty
    Array = 10,                 // sequence: key or empty
    String = 11,                // unescaped string
    Number = 12,                // the number exactly as written
    Bool = 13,                  // "true"/"false" (JSON), as written (YAML)
    Null = 14,                  // "null" (JSON), as written (YAML)
};

enum class DocumentFormat : uint8_t { Xml = 0, Json = 1, JsonLines = 2, Yaml = 3, Toml = 4, Registry = 5 };

// A node's name or value: characters held by the document, either a run of the decoded text the
// node was parsed from (most names and values, which need no unescaping) or a copy in the
// document's string store. NodeText is the plain view of such characters (pointer and length,
// freely copied); a node holds its texts as StoredText, which is smaller and written only through
// StoredText::set. Assigning a std::wstring does not compile on purpose: the text must outlive the
// node, so parsers hand over document-owned runs (storeText, sourceRun).
struct Node;
struct Document;
class NodeText;

// Comparison and concatenation of the text types with each other and with anything that converts
// to a std::wstring_view (std::wstring, literals). Templates, so that a text held by a node and a
// NodeText compare without either being converted to the other first.
struct TextOperators {};
template <typename T>
constexpr bool kIsNodeText = std::is_base_of<TextOperators, T>::value;
template <typename T>
std::wstring_view textViewOf(const T& text) {
    if constexpr (kIsNodeText<T>) return text.view(); else return std::wstring_view(text);
}
template <typename A, typename B>
using TextPair = std::enable_if_t<(kIsNodeText<A> && (kIsNodeText<B> || std::is_convertible<const B&, std::wstring_view>::value)) ||
                                  (kIsNodeText<B> && std::is_convertible<const A&, std::wstring_view>::value)>;
template <typename A, typename B, typename = TextPair<A, B>>
bool operator==(const A& a, const B& b) { return textViewOf(a) == textViewOf(b); }
template <typename A, typename B, typename = TextPair<A, B>>
bool operator!=(const A& a, const B& b) { return textViewOf(a) != textViewOf(b); }
template <typename A, typename B, typename = TextPair<A, B>>
bool operator<(const A& a, const B& b) { return textViewOf(a) < textViewOf(b); }
template <typename A, typename B, typename = TextPair<A, B>>
std::wstring operator+(const A& a, const B& b) {
    std::wstring joined(textViewOf(a));
    joined += textViewOf(b);
    return joined;
}
template <typename A, typename = std::enable_if_t<kIsNodeText<A>>>
std::wstring operator+(const A& a, wchar_t b) { return std::wstring(a.view()) + b; }
template <typename B, typename = std::enable_if_t<kIsNodeText<B>>>
std::wstring operator+(wchar_t a, const B& b) { return a + std::wstring(b.view()); }

// The read side of a text, for both types: Self gives data() and size().
template <typename Self>
class TextAccess : public TextOperators {
public:
    size_t length() const { return self().size(); }
    bool empty() const { return self().size() == 0; }
    const wchar_t* begin() const { return self().data(); }
    const wchar_t* end() const { return self().data() + self().size(); }
    wchar_t operator[](size_t i) const { return self().data()[i]; }
    wchar_t front() const { return self().data()[0]; }
    wchar_t back() const { return self().data()[self().size() - 1]; }
    std::wstring_view view() const { return std::wstring_view(self().data(), self().size()); }
    operator std::wstring_view() const { return view(); }
    std::wstring str() const { return std::wstring(view()); }
    size_t find(std::wstring_view what, size_t from = 0) const { return view().find(what, from); }
    size_t find(wchar_t what, size_t from = 0) const { return view().find(what, from); }
    std::wstring_view substr(size_t from, size_t count = std::wstring_view::npos) const {
        return view().substr(from, count);
    }
    int compare(std::wstring_view other) const { return view().compare(other); }

private:
    const Self& self() const { return static_cast<const Self&>(*this); }
};

#pragma pack(push, 4)
class NodeText : public TextAccess<NodeText> {
public:
    NodeText() = default;
    NodeText(const wchar_t* data, size_t size) : data_(data), size_(static_cast<uint32_t>(size)) {}
    // For string literals only ("null", "true"): they live as long as the program.
    template <size_t N>
    NodeText(const wchar_t (&literal)[N]) : data_(literal), size_(static_cast<uint32_t>(N - 1)) {}

    const wchar_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    const wchar_t* data_ = L"";
    uint32_t size_ = 0;
};
#pragma pack(pop)

// How a node holds its name and value: six bytes. A text of fewer than kLongText characters
// keeps its length here; a longer one is reached through a small record in the store that holds
// its start and length. In the 64-bit builds the start is kept in 32 bits: as a character index
// into the decoded text the document was parsed from (whose start the store's range keeps in its
// first page, found from the node's own address, as the range is aligned to its size), or as the
// distance in characters from the range's start to a copy in the store. Any other text (a literal,
// a temporary) is copied into the store when it is set. The 32-bit build keeps the pointer itself.
// Never copied bitwise: it is written only through set().
#pragma pack(push, 2)
class StoredText : public TextAccess<StoredText> {
public:
    StoredText() = default;
    StoredText(const StoredText&) = delete;
    StoredText& operator=(const StoredText&) = delete;

    const wchar_t* data() const {
        if ((meta_ & kLengthBits) == kLongText) return record()->data;
        return where_ == 0 && !(meta_ & kInDecodedText) ? L"" : address();
    }
    size_t size() const {
        const size_t n = meta_ & kLengthBits;
        return n == kLongText ? record()->size : n;
    }
    operator NodeText() const { return NodeText(data(), size()); }
    NodeText get() const { return NodeText(data(), size()); }

    // `text` must be characters of `doc` (its decoded text or its store) or anything else, which
    // is then copied into the store; this object must be part of a node of `doc`.
    void set(Document& doc, std::wstring_view text);
    void clear() {
        where_ = 0;
        meta_ = 0;
    }

    static constexpr uint16_t kLongText = 0x7FFF;
    struct LongText {
        const wchar_t* data;
        size_t size;
    };

private:
    static constexpr uint16_t kLengthBits = 0x7FFF;
    static constexpr uint16_t kInDecodedText = 0x8000;
    inline const wchar_t* address() const;
    inline uintptr_t rangeStart() const;  // of the store's range this text lies in (64-bit builds)
    const LongText* record() const { return reinterpret_cast<const LongText*>(address()); }
    uint32_t where_ = 0;  // 0 (and not in the decoded text): the empty text
    uint16_t meta_ = 0;   // the length, kLongText, and kInDecodedText
};
#pragma pack(pop)

#pragma pack(push, 4)
// A stored link within the store: a node's parent, each entry of a child list and a node's child
// array. In the 64-bit builds it holds the distance from the link's own address to its target in
// 4-byte units, in 32 bits (half a pointer, three times in every node); the store keeps all nodes
// and child arrays in one address range of 8 GB (Arena), so every such distance fits. The 32-bit build
// holds the pointer itself, which is 32 bits there anyway. A link is never copied bitwise: its
// meaning depends on where it lies, so it is written only through set().
#if UINTPTR_MAX > 0xFFFFFFFFu
#define QM_RELATIVE_LINKS 1
#else
#define QM_RELATIVE_LINKS 0
#endif

template <typename T>
class Link {
public:
    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

#if QM_RELATIVE_LINKS
    T* get() const {
        // Computed as an address, not from `this` as a pointer: the target is another object.
        return offset_ == 0 ? nullptr
                            : reinterpret_cast<T*>(reinterpret_cast<uintptr_t>(this) + uintptr_t(int64_t(offset_) * 4));
    }
    // Throws std::bad_alloc for a target the link cannot reach (not in this store's range).
    void set(const T* target) {
        if (!target) {
            offset_ = 0;
            return;
        }
        const int64_t distance = int64_t(reinterpret_cast<intptr_t>(target) - reinterpret_cast<intptr_t>(this));
        if ((distance & 3) != 0 || distance / 4 < INT32_MIN || distance / 4 > INT32_MAX || distance == 0)
            throw std::bad_alloc();
        offset_ = int32_t(distance / 4);
    }

private:
    int32_t offset_ = 0;
#else
    T* get() const { return target_; }
    void set(const T* target) { target_ = const_cast<T*>(target); }

private:
    T* target_ = nullptr;
#endif
};
using NodeLink = Link<Node>;

// Walks a child list's entries; what it yields is the child itself.
class ChildIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = Node*;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = Node*;

    ChildIterator() = default;
    explicit ChildIterator(const NodeLink* slot) : slot_(slot) {}
    Node* operator*() const { return slot_->get(); }
    Node* operator[](difference_type i) const { return slot_[i].get(); }
    ChildIterator& operator++() { ++slot_; return *this; }
    ChildIterator operator++(int) { ChildIterator was = *this; ++slot_; return was; }
    ChildIterator& operator--() { --slot_; return *this; }
    ChildIterator operator--(int) { ChildIterator was = *this; --slot_; return was; }
    ChildIterator& operator+=(difference_type n) { slot_ += n; return *this; }
    ChildIterator& operator-=(difference_type n) { slot_ -= n; return *this; }
    friend ChildIterator operator+(ChildIterator it, difference_type n) { return it += n; }
    friend ChildIterator operator+(difference_type n, ChildIterator it) { return it += n; }
    friend ChildIterator operator-(ChildIterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(ChildIterator a, ChildIterator b) { return a.slot_ - b.slot_; }
    friend bool operator==(ChildIterator a, ChildIterator b) { return a.slot_ == b.slot_; }
    friend bool operator!=(ChildIterator a, ChildIterator b) { return a.slot_ != b.slot_; }
    friend bool operator<(ChildIterator a, ChildIterator b) { return a.slot_ < b.slot_; }
    friend bool operator>(ChildIterator a, ChildIterator b) { return a.slot_ > b.slot_; }
    friend bool operator<=(ChildIterator a, ChildIterator b) { return a.slot_ <= b.slot_; }
    friend bool operator>=(ChildIterator a, ChildIterator b) { return a.slot_ >= b.slot_; }

private:
    const NodeLink* slot_ = nullptr;
};

// A node's children in document order: an array of links in the document's store, preceded by a
// small header with its count and capacity, so the node itself holds one link (a leaf holds
// null). Built once at its exact size by parsers that collect a container's children first (JSON,
// XML), or grown by appendChild, which doubles the array. An exact list of one child (an XML
// element with its text, most often) has no array: the node's singleChild flag says so, and the
// link leads to the child itself, being the list's one entry.
class ChildList {
public:
    ChildList() = default;
    ChildList(const ChildList&) = delete;
    ChildList& operator=(const ChildList&) = delete;

    size_t size() const { return single() ? 1 : items() ? header()->count : 0; }
    bool empty() const { return size() == 0; }
    Node* operator[](size_t i) const { return items()[i].get(); }
    Node* front() const { return items()[0].get(); }
    Node* back() const { return items()[size() - 1].get(); }
    Node* at(size_t i) const {
        if (i >= size()) throw std::out_of_range("child index");
        return items()[i].get();
    }
    size_t capacity() const { return single() ? 1 : items() ? header()->capacity : 0; }
    ChildIterator begin() const { return ChildIterator(items()); }
    ChildIterator end() const { return ChildIterator(items() + size()); }
    std::reverse_iterator<ChildIterator> rbegin() const { return std::reverse_iterator<ChildIterator>(end()); }
    std::reverse_iterator<ChildIterator> rend() const { return std::reverse_iterator<ChildIterator>(begin()); }

    struct Header {
        uint32_t count;
        uint32_t capacity;
    };

private:
    friend void appendChild(Document& doc, Node* parent, Node* child);
    friend void setChildren(Document& doc, Node* parent, Node* const* items, size_t count);
    friend void truncateChildren(Node* parent, size_t count);
    friend void replaceChild(Node* parent, size_t index, Node* child);
    inline bool single() const;  // the owning node's singleChild
    // The list's entries: the link itself when it leads to the one child, else the array it leads to.
    NodeLink* items() const {
        return single() ? const_cast<NodeLink*>(&link_) : reinterpret_cast<NodeLink*>(link_.get());
    }
    // Only for a list with a header (not single()).
    Header* header() const { return reinterpret_cast<Header*>(link_.get()) - 1; }
    void linkArray(NodeLink* items) { link_.set(reinterpret_cast<const Node*>(items)); }
    NodeLink link_;
};
#pragma pack(pop)

// 32 bytes in every build: the node is packed to 4-byte alignment (x86 reads a word at any
// address), so the two six-byte texts sit side by side and the four small fields after `line` fill
// the word that would otherwise be padding. A type annotation (nodeTag) is rare, so it is kept beside the nodes
// rather than in each of them.
#pragma pack(push, 4)
// The link to a node's parent, read and written like a pointer.
class ParentLink {
public:
    ParentLink() = default;
    ParentLink(const ParentLink&) = delete;
    ParentLink& operator=(const ParentLink&) = delete;
    ParentLink& operator=(Node* node) {
        link_.set(node);
        return *this;
    }
    operator Node*() const { return link_.get(); }
    Node* operator->() const { return link_.get(); }

private:
    NodeLink link_;
};

struct Node {
    Node() : keyed(false), registryKey(false), singleChild(false) {}

    ParentLink parent;
    StoredText name;
    StoredText value;
    ChildList children;
    uint32_t indexInParent = 0;   // position among the parent's children (YAML renumbers)
    uint32_t line = 0;            // one-based source line where the node starts
    NodeKind kind = NodeKind::Root;
    // Element: number of leading Attribute children, kManyAttributes standing for that many or
    // more (attributeCount counts them then). String: whether its text was parsed as embedded
    // JSON (EmbeddedState, document/embedded.h).
    uint8_t attributeCount = 0;
    // The search box's filter in the window that shows the document (shell/filter.h): whether
    // the node matched and whether it holds a match. Set only while a filter is applied.
    uint8_t filterMark = 0;
    bool keyed : 1;               // member of a mapping; name holds its key
    bool registryKey : 1;         // stands for a registry key (.reg files)
    bool singleChild : 1;         // children is an exact list of one child, without a header
};
#pragma pack(pop)
static_assert(std::is_standard_layout<Node>::value, "a child list finds its node by offsetof");

inline bool ChildList::single() const {
    return reinterpret_cast<const Node*>(reinterpret_cast<const char*>(this) - offsetof(Node, children))->singleChild;
}
static_assert(sizeof(StoredText) == 6, "a stored text is six bytes");
static_assert(sizeof(Node) == 32, "a node has no padding");
static_assert(std::is_trivially_destructible<Node>::value, "the node store never runs destructors");

// Builds with AddressSanitizer (the native tests and the fuzz targets) tell it which bytes of the
// document's store are handed out, so that a write past a name, a value or a child array is
// reported like one past a heap block. Other builds are unchanged.
#if defined(__SANITIZE_ADDRESS__)
#define QM_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef QM_ADDRESS_SANITIZER
#define QM_ADDRESS_SANITIZER 0
#endif

// Bump allocation for the document's node blocks, texts and child arrays: chunks that are never
// moved or freed before the document, so a pointer into them stays valid for the document's life.
// In the 64-bit builds every chunk lies in one address range of kRangeBytes reserved for the
// document (pages are committed as chunks are taken), which is what lets a NodeLink reach any
// node from any link in 32 bits; a store that would outgrow it fails as memory does (bad_alloc).
class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena();
    // `bytes` rounded up to 8-byte alignment. Under AddressSanitizer exactly `bytes` become
    // addressable, and at least a red zone of kRedZoneBytes stays poisoned before the next
    // allocation, as does every byte of the store not handed out yet.
    void* allocate(size_t bytes);
    size_t bytesReserved() const { return reserved_; }
    size_t bytesOfFileSpace() const { return fileSpaceSize_; }
    // Space of `bytes` for the file's bytes, read and decoded before anything else is stored.
    // Once they are decoded, reuseFileSpace() makes it the next space to allocate from: its pages
    // are resident already, so the nodes and texts placed there cost no fresh pages, which on big
    // files is most of the load's time, and the load's peak stays what it was. What the tree does
    // not fill stays held until the document goes, at most the file's size. One per store.
    uint8_t* fileSpace(size_t bytes);
    void reuseFileSpace();
    // Whether the characters lie in memory this store handed out (a stored text must).
    bool holds(const wchar_t* text, size_t size) const;
#if QM_RELATIVE_LINKS
    // Whether an object lies in this store's range.
    bool holdsObject(const void* object) const;
    // The start of the decoded text the document's nodes index into, kept in the range's first
    // page so that a stored text finds it from its own address.
    void setDecodedText(const wchar_t* text);
    struct RangeHeader {
        const wchar_t* decodedText;
    };
#endif

    // One shadow granule: an overrun of an allocation that ends on the 8-byte grid is reported
    // too, rather than landing in the next allocation.
    static constexpr size_t kRedZoneBytes = QM_ADDRESS_SANITIZER ? 8 : 0;
#if QM_RELATIVE_LINKS
    // The range is aligned to its size: the first page, before every chunk, holds RangeHeader.
    static constexpr size_t kRangeBytes = size_t(1) << 33;
    static constexpr size_t kHeaderBytes = 4096;
#endif

private:
    static constexpr size_t kChunkBytes = size_t(1) << 20;
    char* addChunk(size_t size);
#if QM_RELATIVE_LINKS
    char* range_ = nullptr;    // the reserved range; chunks are taken from its start upward
    size_t rangeUsed_ = 0;     // bytes of it committed as chunks
#else
    struct Chunk {
        std::unique_ptr<char[]> bytes;
        size_t size;
    };
    std::vector<Chunk> chunks_;
    struct ChunkPlace {
        const char* start;
        size_t size;
    };
    std::vector<ChunkPlace> byAddress_;  // the chunks in address order
#endif
    char* fileSpace_ = nullptr;
    size_t fileSpaceSize_ = 0;
#if QM_RELATIVE_LINKS
    size_t fileSpaceCommitted_ = 0;
#endif
    char* next_ = nullptr;
    size_t left_ = 0;
    size_t reserved_ = 0;
};

#if QM_RELATIVE_LINKS
inline uintptr_t StoredText::rangeStart() const {
    return reinterpret_cast<uintptr_t>(this) & ~uintptr_t(Arena::kRangeBytes - 1);
}
#endif

inline const wchar_t* StoredText::address() const {
#if QM_RELATIVE_LINKS
    const uintptr_t base = rangeStart();
    if (meta_ & kInDecodedText) return reinterpret_cast<const Arena::RangeHeader*>(base)->decodedText + where_;
    return reinterpret_cast<const wchar_t*>(base + uintptr_t(where_) * sizeof(wchar_t));
#else
    return reinterpret_cast<const wchar_t*>(uintptr_t(where_));
#endif
}

// Stable storage for nodes: fixed-size blocks that are never reallocated, so a node's address
// never changes and its index is its creation order.
class NodeStore {
public:
    static constexpr size_t kBlockShift = 12;
    static constexpr size_t kBlockSize = size_t(1) << kBlockShift;

    NodeStore() = default;
    NodeStore(const NodeStore&) = delete;
    NodeStore& operator=(const NodeStore&) = delete;

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    Node& operator[](size_t i) { return blocks_[i >> kBlockShift][i & (kBlockSize - 1)]; }
    const Node& operator[](size_t i) const { return blocks_[i >> kBlockShift][i & (kBlockSize - 1)]; }
    Node& back() { return (*this)[count_ - 1]; }
    // Inline: a parser appends a node for every few characters of its text.
    Node& append(Arena& store) {
        if (next_ == blockEnd_) startBlock(store);
        ++count_;
        return *new (next_++) Node();
    }
    // Index of a node of this store, or SIZE_MAX when the pointer is not one of ours.
    size_t indexOf(const Node* node) const;

private:
    // Blocks are raw storage in the document's store: a node is constructed when it is
    // appended, so each node's memory is written once (nodes need no destructor).
    void startBlock(Arena& store);
    std::vector<Node*> blocks_;
    mutable size_t lastBlock_ = 0;
    size_t count_ = 0;
    Node* next_ = nullptr;      // the next node's slot in the last block
    Node* blockEnd_ = nullptr;  // the end of the last block
};

constexpr uint32_t kNoSpan = 0xFFFFFFFFu;

struct Document {
    DocumentFormat format = DocumentFormat::Xml;
    bool isDataFormat = false;
    bool isYaml = false;
    Node* root = nullptr;
    NodeStore nodes;
    Arena store;                // names, values and tags that are not runs of parsedText; child arrays
    std::wstring parsedText;    // the decoded text the parser read; names and values point into it
    std::wstring encoding;      // TextEncoding label
    std::wstring errorMessage;  // first parse error, empty when clean
    uint32_t errorLine = 0;
    // The decoded text without a leading U+FEFF (a view of parsedText) for the formats whose source
    // is shown as written; empty for XML and JSON documents that parsed cleanly (see the load driver).
    std::wstring_view sourceText;
    bool modified = false;
    // baseSize and baseDigest below describe the bytes parsedText was decoded from
    // (noteLoadedBytes): the first edit then tells from them alone that the file is unchanged,
    // without decoding it again. Beside `modified`, in what would be padding.
    bool baseIsParsedText = false;
    std::wstring editedText;
    // Once an edit has been saved, the saved text that sourceText shows (parsedText is never
    // rewritten: the other nodes' names and values point into it).
    std::wstring editedSource;
    std::vector<uint8_t> prefixBytes;
    // The size and digest (fileDigest) of the file's bytes that editedText was made from: read by
    // the first edit after loading or saving, and the bytes written by a save. Saving compares
    // them with the file, so a change another program made meanwhile is not overwritten unseen.
    uint64_t baseSize = 0;
    uint64_t baseDigest = 0;
    // Child arrays that appendChild outgrew, by capacity (a power of two: 2 << class), each one's
    // header holding the next: a later list of that capacity takes one instead of new memory.
    static constexpr size_t kChildArrayClasses = 32;
    ChildList::Header* spareChildArrays[kChildArrayClasses] = {};
    bool recordSpans = false;
    std::vector<uint32_t> spans;  // two entries per node index: start, end (exclusive)
    // The type annotations of the nodes that carry one (a YAML tag or alias, TOML's "datetime", a
    // registry value's type), each held by the store or a literal: see nodeTag.
    std::unordered_map<const Node*, const wchar_t*> tags;
    // Copies of texts set on nodes that were not the document's own (literals such as "null"), so
    // that each is stored once rather than per node (StoredText::set).
    std::vector<NodeText> copiedTexts;
    // Index of the first node parsed from a string's text (document/embedded.h); 0 while no
    // embedded value has been opened. The file's own nodes come before it.
    size_t firstEmbedded = 0;

    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
};

Node* createNode(Document& doc, NodeKind kind, Node* parent, uint32_t line);
void recordSpan(Document& doc, uint32_t start, uint32_t end);
// Copies a text into the document's store: for names and values that differ from the source run
// (unescaped strings, joined lines) and for tags. The copy is NUL-terminated.
NodeText storeText(Document& doc, std::wstring_view text);
const wchar_t* internString(Document& doc, std::wstring_view text);
// Children are added in document order; appendChild also sets the child's parent and index.
void appendChild(Document& doc, Node* parent, Node* child);
void setChildren(Document& doc, Node* parent, Node* const* items, size_t count);
void truncateChildren(Node* parent, size_t count);
void replaceChild(Node* parent, size_t index, Node* child);
// A node's type annotation, or null when it has none. A document without any (JSON, XML) answers
// without a look-up.
const wchar_t* nodeTag(const Document& doc, const Node* node);
// `tag` must live as long as the document (internString, or a literal); null removes the node's.
void setNodeTag(Document& doc, const Node* node, const wchar_t* tag);
// Records the first error only; later calls leave the document as it is.
void setDocumentError(Document& doc, const std::wstring& message, uint32_t line);

// Span of a node, or false when it has none (also for nodes beyond the end of `spans`).
bool nodeSpan(const Document& doc, const Node* node, uint32_t& start, uint32_t& end);
size_t nodeIndex(const Document& doc, const Node* node);

size_t nodeCount(const Document& doc);
bool isSimpleElement(const Node* node);
// What Node::attributeCount holds for an element with that many attributes or more.
constexpr uint8_t kManyAttributes = 255;
// The number of leading Attribute children of an element (its attributes); for other nodes the
// field as it stands. Past kManyAttributes they are counted by a binary search over the children,
// as the attributes come first.
size_t attributeCount(const Node* node);
bool isExpandable(const Node* node);
size_t countItems(const Node* node);
std::wstring textContent(const Node* node);
std::wstring previewText(std::wstring_view text, size_t limit);

// Display names used by the status bar.
const wchar_t* formatDisplayName(DocumentFormat format);

}  // namespace qm
