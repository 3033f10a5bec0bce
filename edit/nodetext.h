// The short texts a node shows or copies: its label, a one-line value preview, a one-line summary
// of its content, and its path (XPath, JSONPath, TOML dotted path or registry path). All are pure
// functions of the tree; a null node gives an empty string from every one of them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/document.h"

namespace qm {

constexpr size_t kValuePreviewLimit = 300;  // characters of a value preview before the ellipsis
constexpr size_t kSummaryLimit = 120;       // characters of a summary before the ellipsis

// The JSON string literal of a text: quotes, the short escapes \t \n \r \" \\ and \u00XX for
// other control characters; every other code unit (non-ASCII, DEL, lone surrogates) unchanged.
std::wstring jsonQuote(std::wstring_view text);

// Name column and "Copy name": tag or attribute name, key, "[i]" for array items, "Document n"
// for the documents of a multi-document file; empty for text, CDATA, comments and the root.
std::wstring nodeLabel(const Node* node);
// Whether nodeLabel is the node's own name (an element, attribute or member, say).
bool labelIsName(const Node* node);
// Value column: the value on one line, at most kValuePreviewLimit characters plus an ellipsis.
std::wstring valuePreview(const Node* node);
// Content summary of a closed node in the grid: item count, first keys, attributes and text, or
// child element names; at most kSummaryLimit characters plus an ellipsis.
std::wstring nodeSummary(const Node* node);
// The dim note the Tree and the Grid draw after a label: the node's type tag, and kEmbeddedMark
// for a string that holds JSON (document/embedded.h); empty when there is neither.
constexpr wchar_t kEmbeddedMark[] = L"JSON";
std::wstring nodeNote(const Document& doc, const Node* node);
// One step of an XPath without its position: the element's name, "@" and the attribute's name,
// "text()" for text and CDATA, "comment()", "processing-instruction('name')"; empty for other kinds.
std::wstring xPathStep(const Node* member);
// Remembers the XPath positions of the children of each element asked about, so that the paths
// of all nodes of a document (quillmap-dump) cost time linear in its size: without it, each path
// counts the same-step siblings of every member on the way.
class XPathPositions {
public:
    // Position (from 1) among the parent's children with the same step (same-named elements, the
    // texts, the comments, the processing instructions of one name), or 0 when the step is unique.
    // Attributes have none: their names are unique.
    uint32_t of(const Node* member);

private:
    std::unordered_map<const Node*, std::vector<uint32_t>> byParent_;
};

// Between the path of a string and the JSONPath of a node inside its embedded JSON:
// "$.payload#$.tags[0]", "server.payload#$.id" (TOML), "/log/entry/@data#$.id" and
// "/log/entry/payload#$.id" (XML: an attribute, an element shown with its text),
// "HKEY_CURRENT_USER\\App\\payload#$[0]" (registry).
constexpr wchar_t kEmbeddedPathMark[] = L"#$";
// "Copy path" and the status bar: the syntax follows the document format and the node kind; a
// node inside a string's embedded JSON has the string's path, kEmbeddedPathMark and its steps
// inside that JSON.
std::wstring nodePath(const Node* node, DocumentFormat format, XPathPositions* positions = nullptr);

}  // namespace qm
