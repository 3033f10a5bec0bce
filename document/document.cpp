// Node creation, spans and the read-only queries on the node tree.
#include "document/document.h"

#include "document/chars.h"
#include "document/language.h"

namespace qm {

bool uiGerman = false;

Node& NodeStore::append() {
    if ((count_ & (kBlockSize - 1)) == 0 && (count_ >> kBlockShift) == blocks_.size())
        blocks_.emplace_back(new Node[kBlockSize]);
    return (*this)[count_++];
}

size_t NodeStore::indexOf(const Node* node) const {
    for (size_t b = 0; b < blocks_.size(); ++b) {
        const Node* first = blocks_[b].get();
        if (node >= first && node < first + kBlockSize) {
            size_t index = (b << kBlockShift) + size_t(node - first);
            return index < count_ ? index : SIZE_MAX;
        }
    }
    return SIZE_MAX;
}

Node* createNode(Document& doc, NodeKind kind, Node* parent, uint32_t line) {
    Node& node = doc.nodes.append();
    node.kind = kind;
    node.line = line;
    node.parent = parent;
    if (parent) {
        node.indexInParent = static_cast<uint32_t>(parent->children.size());
        parent->children.push_back(&node);
    }
    return &node;
}

void recordSpan(Document& doc, uint32_t start, uint32_t end) {
    size_t last = doc.nodes.size() - 1;
    if (doc.spans.size() < 2 * (last + 1)) doc.spans.resize(2 * (last + 1), kNoSpan);
    doc.spans[2 * last] = start;
    doc.spans[2 * last + 1] = end;
}

const wchar_t* internString(Document& doc, const std::wstring& text) {
    doc.strings.emplace_back(new std::wstring(text));
    return doc.strings.back()->c_str();
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

size_t nodeCount(const Document& doc) { return doc.nodes.empty() ? 0 : doc.nodes.size() - 1; }

bool isSimpleElement(const Node* node) {
    if (!node || node->kind != NodeKind::Element || node->attributeCount != 0) return false;
    if (node->children.empty()) return true;
    if (node->children.size() != 1) return false;
    NodeKind k = node->children[0]->kind;
    return k == NodeKind::Text || k == NodeKind::CData;
}

bool isExpandable(const Node* node) {
    if (!node) return false;
    switch (node->kind) {
        case NodeKind::Root: return true;
        case NodeKind::Element: return !node->children.empty() && !isSimpleElement(node);
        case NodeKind::Object:
        case NodeKind::Array: return !node->children.empty();
        default: return false;
    }
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

std::wstring previewText(const std::wstring& text, size_t limit) {
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
