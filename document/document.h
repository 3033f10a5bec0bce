// The node tree every file becomes: one Document owning a stable store of Node records.
// Parsers build it through createNode/recordSpan/internString; views, search, paths, writers
// and the value editor read it. Nodes never move once created, so plain pointers stay valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
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

struct Node {
    NodeKind kind = NodeKind::Root;
    bool keyed = false;           // member of a mapping; name holds its key
    bool registryKey = false;     // stands for a registry key (.reg files)
    uint32_t attributeCount = 0;  // Element: number of leading Attribute children
    uint32_t indexInParent = 0;   // position among the parent's children (YAML renumbers)
    uint32_t line = 0;            // one-based source line where the node starts
    Node* parent = nullptr;
    const wchar_t* tag = nullptr; // type annotation held in the document's string store
    std::wstring name;
    std::wstring value;
    std::vector<Node*> children;
};

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
    Node& append();
    // Index of a node of this store, or SIZE_MAX when the pointer is not one of ours.
    size_t indexOf(const Node* node) const;

private:
    std::vector<std::unique_ptr<Node[]>> blocks_;
    size_t count_ = 0;
};

constexpr uint32_t kNoSpan = 0xFFFFFFFFu;

struct Document {
    DocumentFormat format = DocumentFormat::Xml;
    bool isDataFormat = false;
    bool isYaml = false;
    Node* root = nullptr;
    NodeStore nodes;
    std::vector<std::unique_ptr<std::wstring>> strings;  // owns the texts `tag` points to
    std::wstring encoding;      // TextEncoding label
    std::wstring errorMessage;  // first parse error, empty when clean
    uint32_t errorLine = 0;
    std::wstring sourceText;    // decoded text without a leading U+FEFF (see the load driver)
    bool modified = false;
    std::wstring editedText;
    std::vector<uint8_t> prefixBytes;
    bool recordSpans = false;
    std::vector<uint32_t> spans;  // two entries per node index: start, end (exclusive)

    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
};

Node* createNode(Document& doc, NodeKind kind, Node* parent, uint32_t line);
void recordSpan(Document& doc, uint32_t start, uint32_t end);
const wchar_t* internString(Document& doc, const std::wstring& text);
// Records the first error only; later calls leave the document as it is.
void setDocumentError(Document& doc, const std::wstring& message, uint32_t line);

// Span of a node, or false when it has none (also for nodes beyond the end of `spans`).
bool nodeSpan(const Document& doc, const Node* node, uint32_t& start, uint32_t& end);
size_t nodeIndex(const Document& doc, const Node* node);

size_t nodeCount(const Document& doc);
bool isSimpleElement(const Node* node);
bool isExpandable(const Node* node);
size_t countItems(const Node* node);
std::wstring textContent(const Node* node);
std::wstring previewText(const std::wstring& text, size_t limit);

// Display names used by the status bar.
const wchar_t* formatDisplayName(DocumentFormat format);

}  // namespace qm
