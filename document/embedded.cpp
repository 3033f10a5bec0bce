// Embedded JSON values: the quick look, the parse on first opening and its bounds.
#include "document/embedded.h"

#include <new>

#include "document/chars.h"
#include "document/language.h"
#include "parsers/json.h"

namespace qm {

bool looksLikeJsonText(std::wstring_view text) {
    size_t first = 0, last = text.size();
    while (first < last && isSpace(text[first])) ++first;
    while (last > first && isSpace(text[last - 1])) --last;
    if (last - first < 2) return false;
    const wchar_t open = text[first], close = text[last - 1];
    if ((open != L'{' && open != L'[') || (close != L'}' && close != L']')) return false;
    // "{}" and "[ ]" hold nothing to open.
    size_t inner = first + 1;
    while (inner < last - 1 && isSpace(text[inner])) ++inner;
    return inner < last - 1;
}

bool canHoldEmbedded(NodeKind kind) {
    return kind == NodeKind::String || kind == NodeKind::Attribute || kind == NodeKind::Text || kind == NodeKind::CData;
}

Node* textHolder(Node* node) {
    if (!node) return nullptr;
    if (canHoldEmbedded(node->kind)) return node;
    return isSimpleElement(node) && node->children.size() == 1 ? node->children[0] : nullptr;
}

const Node* textHolder(const Node* node) { return textHolder(const_cast<Node*>(node)); }

namespace {

// XML texts and attributes and the values of registry files are read more strictly, as JSON that
// a program wrote into them: after "{" comes a quoted key, after "[" the start of a value. So the
// identifiers in braces that both are full of ("{93995380-89BD-...}", "{Binding Path}") offer
// nothing to open.
bool looksLikeStrictJsonText(std::wstring_view text) {
    if (!looksLikeJsonText(text)) return false;
    size_t first = 0;
    while (isSpace(text[first])) ++first;
    size_t inner = first + 1;
    while (isSpace(text[inner])) ++inner;  // looksLikeJsonText found more than white space
    const wchar_t c = text[inner];
    if (text[first] == L'{') return c == L'"';
    return c == L'{' || c == L'[' || c == L'"' || c == L'-' || isDigit(c) || c == L't' || c == L'f' || c == L'n';
}

}  // namespace

bool holdsEmbeddedJson(const Node* node) {
    const Node* holder = textHolder(node);
    if (!holder || holder->attributeCount == kEmbeddedFailed) return false;
    const bool registryValue = holder->parent && holder->parent->registryKey;
    return holder->kind == NodeKind::String && !registryValue ? looksLikeJsonText(holder->value)
                                                              : looksLikeStrictJsonText(holder->value);
}

bool awaitsOpening(const Node* node) {
    return holdsEmbeddedJson(node) && textHolder(node)->attributeCount == kEmbeddedUnopened;
}

bool embeddedOpen(const Node* node) {
    const Node* holder = textHolder(node);
    return holder && holder->attributeCount == kEmbeddedOpen;
}

// The file's XML texts and attributes have no children of their own, and JSON's nodes are never
// of those kinds: so a node of such a kind above a node is a string holding it.
const Node* embeddingString(const Node* node) {
    if (!node) return nullptr;
    for (const Node* p = node->parent; p; p = p->parent)
        if (canHoldEmbedded(p->kind)) return p;
    return nullptr;
}

const Node* fileNodeHolding(const Node* node) {
    const Node* outer = nullptr;
    if (!node) return nullptr;
    for (const Node* p = node->parent; p; p = p->parent)
        if (canHoldEmbedded(p->kind)) outer = p;
    return outer;
}

const Node* shownHolder(const Node* string) {
    if (string && (string->kind == NodeKind::Text || string->kind == NodeKind::CData) &&
        textHolder(string->parent) == string)
        return string->parent;
    return string;
}

namespace {

// Takes the string's children out of the tree: they stay in the store, but no longer name the
// string as their parent, so that what walks the store and climbs to the ancestors (the filter's
// marks) does not count text the string no longer holds.
void detachChildren(Node* string) {
    for (Node* child : string->children) child->parent = nullptr;
    truncateChildren(string, 0);
}

// The nesting of a value in the file, as the JSON parser counts it (0 for the top value), up to
// one past the parser's limit.
int depthOf(const Node* node) {
    int depth = 0;
    for (const Node* p = node->parent; p && p->kind != NodeKind::Root && depth <= kMaxJsonDepth; p = p->parent)
        ++depth;
    return depth;
}

}  // namespace

std::wstring openEmbedded(Document& doc, Node* node) {
    Node* string = textHolder(node);
    if (!holdsEmbeddedJson(string) || string->attributeCount == kEmbeddedOpen) return {};
    const size_t first = doc.nodes.size();
    if (doc.firstEmbedded == 0) doc.firstEmbedded = first;

    // The parser records its first error in the document: the document's own error is set aside
    // meanwhile, and so is span recording (spans are the file's).
    std::wstring fileError;
    fileError.swap(doc.errorMessage);
    const uint32_t fileErrorLine = doc.errorLine;
    const bool spans = doc.recordSpans;
    doc.recordSpans = false;
    // The string stands for the object or array its text holds: the container's members or items
    // are parsed straight into the string's children, keeping their keys and indexes.
    bool outOfMemory = false;
    try {
        JsonParser parser(doc, string->value.data(), string->value.size(), 0);
        parser.skipSpaceAndComments();  // the text looks like JSON: an opening bracket follows
        const int depth = depthOf(string);
        if (depth > kMaxJsonDepth) {
            parser.reportError(tr(L"Nesting too deep", L"Verschachtelung zu tief"));
        } else {
            parser.openContainer(string);
            parser.parseContainer(string, parser.text[parser.pos] == L'{', depth);
            parser.closeContainer();
        }
        if (!parser.failed) {
            parser.skipSpaceAndComments();
            if (parser.pos < parser.length)
                parser.reportError(tr(L"Unexpected data after the JSON value", L"Weitere Daten nach dem JSON-Wert"));
        }
    } catch (const std::bad_alloc&) {
        // The store is full: the file's error and spans are restored below and the string stays
        // closed, as if it had never been opened.
        outOfMemory = true;
    }
    if (outOfMemory) {
        doc.errorMessage.swap(fileError);
        doc.errorLine = fileErrorLine;
        doc.recordSpans = spans;
        detachChildren(string);
        return tr(L"There is not enough memory to open this value.",
                  L"F\u00FCr das \u00D6ffnen dieses Werts reicht der Speicher nicht.");
    }
    std::wstring error;
    error.swap(doc.errorMessage);
    const uint32_t errorLine = doc.errorLine;
    doc.errorMessage.swap(fileError);
    doc.errorLine = fileErrorLine;
    doc.recordSpans = spans;

    if (!error.empty()) {
        detachChildren(string);
        string->attributeCount = kEmbeddedFailed;
        return tr(L"The string holds no valid JSON: line ", L"Die Zeichenkette enthält kein gültiges JSON: Zeile ") +
               std::to_wstring(errorLine) + L": " + error;
    }
    // Embedded nodes start on the string's line of the file (views that show the file's lines
    // show the string for them).
    for (size_t i = first; i < doc.nodes.size(); ++i) doc.nodes[i].line = string->line;
    string->attributeCount = kEmbeddedOpen;
    return {};
}

void dropEmbedded(Node* node) {
    Node* string = textHolder(node);
    if (!string) return;
    detachChildren(string);
    string->attributeCount = kEmbeddedUnopened;
}

size_t fileNodeCount(const Document& doc) { return doc.firstEmbedded ? doc.firstEmbedded : doc.nodes.size(); }

const wchar_t* editMessageEmbedded() {
    return tr(L"This value is inside a string: edit the string itself.",
              L"Dieser Wert steht in einer Zeichenkette: Bearbeiten Sie die Zeichenkette selbst.");
}

}  // namespace qm
