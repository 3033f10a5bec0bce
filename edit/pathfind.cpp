// The path resolvers: each reads a path step by step with a position in the text and walks down
// from the root, looking each step up among the children of the node reached so far.
#include "edit/pathfind.h"

#include <string>

#include "document/chars.h"
#include "document/embedded.h"
#include "document/utf8.h"
#include "edit/nodetext.h"

namespace qm {

namespace {

bool isComment(const Node* node) { return node->kind == NodeKind::Comment; }

// The value child `n` of the root (a document of a YAML stream, the top value of any other file).
Node* topValue(const Document& doc, size_t n) {
    if (!doc.root) return nullptr;
    size_t seen = 0;
    for (Node* child : doc.root->children) {
        if (isComment(child)) continue;
        if (seen++ == n) return child;
    }
    return nullptr;
}

Node* memberNamed(const Node* parent, std::wstring_view key) {
    for (Node* child : parent->children)
        if (child->keyed && !isComment(child) && child->name == key) return child;
    return nullptr;
}

// The item whose index nodePath writes as "[index]": the unkeyed child with that indexInParent.
Node* itemAt(const Node* parent, size_t index) {
    const auto& children = parent->children;
    if (index < children.size() && !children[index]->keyed && children[index]->indexInParent == index &&
        !isComment(children[index]))
        return children[index];  // arrays without comments hold item i at place i
    for (Node* child : children)
        if (!child->keyed && !isComment(child) && child->indexInParent == index) return child;
    return nullptr;
}

// Reads decimal digits at `pos` into `value`; false when there are none or they overflow.
bool readIndex(std::wstring_view path, size_t& pos, size_t& value) {
    const size_t start = pos;
    value = 0;
    for (; pos < path.size() && isDigit(path[pos]); ++pos) {
        if (value > (SIZE_MAX - 9) / 10) return false;
        value = value * 10 + size_t(path[pos] - L'0');
    }
    return pos > start;
}

// "[index]" at `pos`, stepped over.
bool readBracketedIndex(std::wstring_view path, size_t& pos, size_t& index) {
    if (pos >= path.size() || path[pos] != L'[') return false;
    ++pos;
    if (!readIndex(path, pos, index) || pos >= path.size() || path[pos] != L']') return false;
    ++pos;
    return true;
}

// A quoted key at `pos` (which holds the quote) with the escapes of JSON strings and JSONPath's
// string literals, stepped over; false when it does not end or holds an unknown escape.
bool readQuotedKey(std::wstring_view path, size_t& pos, std::wstring& key) {
    const wchar_t quote = path[pos++];
    key.clear();
    while (pos < path.size() && path[pos] != quote) {
        wchar_t c = path[pos++];
        if (c != L'\\') {
            key += c;
            continue;
        }
        if (pos >= path.size()) return false;
        c = path[pos++];
        switch (c) {
            case L'\\':
            case L'\'':
            case L'"':
            case L'/': key += c; break;
            case L'b': key += L'\b'; break;
            case L'f': key += L'\f'; break;
            case L'n': key += L'\n'; break;
            case L'r': key += L'\r'; break;
            case L't': key += L'\t'; break;
            case L'u': {
                if (pos + 4 > path.size()) return false;
                unsigned code = 0;
                for (size_t k = 0; k < 4; ++k) {
                    const wchar_t h = path[pos++];
                    if (!isHexDigit(h)) return false;
                    code = code * 16 + unsigned(isDigit(h) ? h - L'0' : (h | 0x20) - L'a' + 10);
                }
                key += wchar_t(code);
                break;
            }
            default: return false;
        }
    }
    if (pos >= path.size()) return false;
    ++pos;  // the closing quote
    return true;
}

// The steps of a JSONPath from `pos` (past its "$") down from `node`: the top value of a document,
// or a string that holds embedded JSON (its children are that JSON's members or items).
Node* walkJsonPath(Node* node, std::wstring_view path, size_t pos) {
    std::wstring key;
    while (node && pos < path.size()) {
        if (path[pos] == L'.') {
            const size_t start = ++pos;
            while (pos < path.size() && path[pos] != L'.' && path[pos] != L'[') ++pos;
            if (pos == start) return nullptr;
            node = memberNamed(node, path.substr(start, pos - start));
        } else if (path[pos] == L'[' && pos + 1 < path.size() && (path[pos + 1] == L'\'' || path[pos + 1] == L'"')) {
            ++pos;
            if (!readQuotedKey(path, pos, key) || pos >= path.size() || path[pos] != L']') return nullptr;
            ++pos;
            node = memberNamed(node, key);
        } else {
            size_t index = 0;
            if (!readBracketedIndex(path, pos, index)) return nullptr;
            node = itemAt(node, index);
        }
    }
    return node;
}

// The resolver of the file's own syntax.
Node* findInFile(const Document& doc, std::wstring_view path) {
    switch (doc.format) {
        case DocumentFormat::Registry: return findByRegistryPath(doc, path);
        case DocumentFormat::Toml: return findByTomlPath(doc, path);
        default: return !path.empty() && path[0] == L'/' ? findByXPath(doc, path) : findByJsonPath(doc, path);
    }
}

// A typed path is read up to at most this many marks of embedded JSON; each mark costs a lookup
// of the path before it, so a pasted text full of marks cannot make the lookup quadratic.
constexpr size_t kMaxPathMarks = 64;

// A path through strings that hold embedded JSON: the file's path of a string, the mark, the
// JSONPath inside it, and so on. The path as a whole is tried first (a key or a registry value
// name may hold the mark itself); then each mark that follows the path of a string holding JSON
// (which `open` makes ready, or refuses) starts the steps inside that string.
template <class Open>
Node* findThroughStrings(const Document& doc, std::wstring_view path, Open open) {
    if (Node* node = findInFile(doc, path)) return node;
    Node* holder = nullptr;
    size_t start = 0;  // where the steps inside `holder` begin
    const std::wstring_view mark = kEmbeddedPathMark;
    size_t tries = 0;
    for (size_t at = path.find(mark); at != std::wstring_view::npos && tries < kMaxPathMarks;
         at = path.find(mark, at + 1), ++tries) {
        const std::wstring_view before = path.substr(0, at);
        Node* string = textHolder(holder ? walkJsonPath(holder, before, start) : findInFile(doc, before));
        if (!string || !open(string)) continue;
        holder = string;
        start = at + mark.size();
    }
    return holder ? walkJsonPath(holder, path, start) : nullptr;
}

}  // namespace

Node* findByJsonPath(const Document& doc, std::wstring_view path) {
    size_t pos = 0;
    size_t document = 0;
    if (!path.empty() && path[0] == L'#') {  // "#n $": the n-th document of a YAML stream
        pos = 1;
        size_t n = 0;
        if (!readIndex(path, pos, n) || n == 0 || pos >= path.size() || path[pos] != L' ') return nullptr;
        ++pos;
        document = n - 1;
    }
    if (pos >= path.size() || path[pos] != L'$') return nullptr;
    return walkJsonPath(topValue(doc, document), path, pos + 1);
}

// The node a trailing "/" names below `node`: declarations have no step of their own, so "/" is
// the XML declaration or else the first document type declaration. A broken file can hold a "<!"
// declaration inside an element, whose path is then the element's path and "/".
namespace {
Node* declarationChild(const Node* node) {
    Node* doctype = nullptr;
    for (Node* child : node->children) {
        if (child->kind == NodeKind::XmlDeclaration) return child;
        if (child->kind == NodeKind::DocType && !doctype) doctype = child;
    }
    return doctype;
}
}  // namespace

Node* findByXPath(const Document& doc, std::wstring_view path) {
    if (!doc.root || path.empty() || path[0] != L'/') return nullptr;
    Node* node = doc.root;
    size_t pos = 0;
    while (node && pos < path.size()) {
        if (path[pos] != L'/') return nullptr;
        const size_t start = ++pos;
        // A step ends at the next "/" outside the quotes of a processing instruction's name.
        bool quoted = false;
        while (pos < path.size() && (quoted || path[pos] != L'/')) {
            if (path[pos] == L'\'') quoted = !quoted;
            ++pos;
        }
        std::wstring_view step = path.substr(start, pos - start);
        size_t position = 0;  // 0: the first child of the step
        if (!step.empty() && step.back() == L']') {
            const size_t open = step.rfind(L'[');
            size_t at = open + 1;
            if (open == std::wstring_view::npos || !readIndex(step, at, position) || at + 1 != step.size() ||
                position == 0)
                return nullptr;
            step = step.substr(0, open);
        }
        if (step.empty()) return pos == path.size() ? declarationChild(node) : nullptr;
        const bool attribute = step[0] == L'@';
        const size_t attributes = node->kind == NodeKind::Element ? attributeCount(node) : 0;
        Node* found = nullptr;
        size_t seen = 0;
        for (size_t i = 0; i < node->children.size() && !found; ++i) {
            Node* child = node->children[i];
            if ((i < attributes) != attribute || xPathStep(child) != step) continue;
            if (++seen == (position ? position : 1)) found = child;
        }
        node = found;
    }
    return node == doc.root ? nullptr : node;
}

Node* findByTomlPath(const Document& doc, std::wstring_view path) {
    Node* node = topValue(doc, 0);  // the top-level table: the empty path
    size_t pos = 0;
    std::wstring key;
    while (node && pos < path.size()) {
        if (path[pos] == L'[') {
            size_t index = 0;
            if (!readBracketedIndex(path, pos, index)) return nullptr;
            node = itemAt(node, index);
            continue;
        }
        if (pos > 0) {
            if (path[pos] != L'.') return nullptr;
            ++pos;
        }
        if (pos < path.size() && path[pos] == L'"') {
            if (!readQuotedKey(path, pos, key)) return nullptr;
        } else {
            const size_t start = pos;
            while (pos < path.size() && (isAlnum(path[pos]) || path[pos] == L'_' || path[pos] == L'-')) ++pos;
            if (pos == start) return nullptr;
            key.assign(path.substr(start, pos - start));
        }
        node = memberNamed(node, key);
    }
    return node;
}

Node* findByRegistryPath(const Document& doc, std::wstring_view path) {
    if (!doc.root) return nullptr;
    if (path.empty()) {  // only the comments at the top (the header) have no name to give a path
        for (Node* child : doc.root->children)
            if (isComment(child)) return child;
        return nullptr;
    }
    // Value names may hold backslashes, key names may not: the whole rest naming a child wins, else
    // the step descends into the child whose name and a backslash begin the rest.
    Node* node = doc.root;
    std::wstring_view rest = path;
    for (;;) {
        if (node->kind == NodeKind::Array) {  // a string of a multi-string value: "[i]"
            size_t pos = 0, index = 0;
            return readBracketedIndex(rest, pos, index) && pos == rest.size() ? itemAt(node, index) : nullptr;
        }
        Node* inner = nullptr;
        for (Node* child : node->children) {
            if (isComment(child) || !child->keyed) continue;
            const std::wstring_view name = child->name;
            if (name == rest) return child;
            if (!inner && rest.size() > name.size() && rest[name.size()] == L'\\' && rest.substr(0, name.size()) == name)
                inner = child;
        }
        if (!inner) return nullptr;
        rest.remove_prefix(inner->name.size() + 1);
        node = inner;
    }
}

Node* findByPath(const Document& doc, std::wstring_view path) {
    return findThroughStrings(doc, path, [](const Node* string) { return embeddedOpen(string); });
}

Node* findByPath(Document& doc, std::wstring_view path) {
    return findThroughStrings(doc, path, [&doc](Node* string) {
        return openEmbedded(doc, string).empty() && embeddedOpen(string);
    });
}

}  // namespace qm
