// JSON inside strings: a String whose text is a JSON object or array (a log record's payload, an
// API field that carries a serialized document) opens as a read-only subtree of the nodes that
// text parses into. XML attribute values, texts and CDATA sections hold such text the same way.
// The text is parsed when the user first opens it, never at loading, into the document's own
// store, so the embedded nodes live as long as the document; the node holding the text then holds
// them as its children (an object's members, an array's items). Editing the value drops them, and
// the next opening parses the new text. Below, "string" stands for any of these text nodes.
#pragma once

#include <string>
#include <string_view>

#include "document/document.h"

namespace qm {

// What the `attributeCount` of a node that can hold embedded JSON holds (the field counts
// attributes of elements only): whether its text was parsed as embedded JSON yet.
enum EmbeddedState : uint32_t {
    kEmbeddedUnopened = 0,  // not parsed yet (or parsed before the last edit of the string)
    kEmbeddedOpen = 1,      // parsed: the children are its nodes
    kEmbeddedFailed = 2,    // the text is no JSON: no children, no expander
};

// The quick look that decides whether a string offers an expander: after white space its text
// starts with "{" or "[", ends with "}" or "]" and holds more than white space between them.
// Nothing is parsed.
bool looksLikeJsonText(std::wstring_view text);
// The kinds whose text may hold JSON: String, and XML's Attribute, Text and CData.
bool canHoldEmbedded(NodeKind kind);
// The node whose text the views offer to open for `node`: itself for those kinds, the only text
// of an element without attributes (which the views show in its place, "<payload>{...}</payload>"),
// else null.
Node* textHolder(Node* node);
const Node* textHolder(const Node* node);
// A node whose text (textHolder) looks like JSON and did not fail to parse. An XML text or
// attribute and a registry value must also open as JSON that a program wrote: "{" and a quoted
// key, or "[" and a value.
bool holdsEmbeddedJson(const Node* node);
// A node that holds embedded JSON not parsed yet: opening it parses (openEmbedded).
bool awaitsOpening(const Node* node);
// A node whose text is parsed: its textHolder's children are that JSON's nodes.
bool embeddedOpen(const Node* node);
// The nearest string that holds `node` as embedded JSON, or null for the file's own nodes.
const Node* embeddingString(const Node* node);
// The outermost such string: the node of the file whose text holds `node`.
const Node* fileNodeHolding(const Node* node);
// The node the views show with a row of its own for a string: an element for its only text.
const Node* shownHolder(const Node* string);
// The node whose children the views list below `node`: for an element shown with its text, that
// text (whose children are its JSON's nodes); else `node` itself.
inline Node* childrenShownBy(Node* node) {
    Node* text = node && node->kind == NodeKind::Element ? textHolder(node) : nullptr;
    return text ? text : node;
}
inline const Node* childrenShownBy(const Node* node) { return childrenShownBy(const_cast<Node*>(node)); }
inline bool isEmbedded(const Node* node) { return embeddingString(node) != nullptr; }
// What "Expand all", expanding a subtree and a new document's first expansion open: every
// expandable node but a string not parsed yet, so that they never parse the strings of a file.
inline bool opensInBulk(const Node* node) { return isExpandable(node) && !awaitsOpening(node); }

// Parses the text of `string` (through textHolder) into its children once (later calls change
// nothing). Bounded like a file: the JSON parser's depth limit counts from the string's own depth,
// and the text is part of the file. Returns an empty text on success, else the message for the status bar (the string then
// keeps no children and offers no expander). The document's own error stays as it was.
std::wstring openEmbedded(Document& doc, Node* string);
// After the string's text changed (through textHolder): its embedded nodes are no longer shown
// (they stay in the store, unreachable and without a parent), and the next opening parses the new
// text.
void dropEmbedded(Node* string);
// The nodes the file itself parsed into, the root included: embedded nodes come after them.
size_t fileNodeCount(const Document& doc);

// "Edit value" on an embedded node.
const wchar_t* editMessageEmbedded();

}  // namespace qm
