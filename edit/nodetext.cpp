// Labels, previews, summaries and paths of nodes. Paths are built from a chain collected with a
// loop, so a path of any depth (XML and registry trees are unbounded) needs no recursion.
#include "edit/nodetext.h"

#include <algorithm>
#include <cwchar>
#include <string_view>
#include <vector>

#include "document/chars.h"
#include "document/embedded.h"
#include "document/language.h"

namespace qm {

namespace {

// The text of a string literal quoted by `quote`: the quote and the backslash escaped, tab and line
// breaks (and backspace and form feed when `shortControls`) as short escapes, every other control
// character as \uXXXX.
void appendStringEscapes(std::wstring_view text, wchar_t quote, bool shortControls, std::wstring& out) {
    for (wchar_t c : text) {
        if (c == quote || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c == L'\t') {
            out += L"\\t";
        } else if (c == L'\n') {
            out += L"\\n";
        } else if (c == L'\r') {
            out += L"\\r";
        } else if (shortControls && c == L'\b') {
            out += L"\\b";
        } else if (shortControls && c == L'\f') {
            out += L"\\f";
        } else if (unsigned(c) < 32) {
            wchar_t buf[8];
            std::swprintf(buf, 8, L"\\u%04x", unsigned(c));
            out += buf;
        } else {
            out += c;
        }
    }
}

constexpr size_t kSummaryKeys = 5;        // keys an object summary lists before ", …"
constexpr size_t kSummaryAttributes = 4;  // attributes an element summary lists
constexpr size_t kSummaryNames = 4;       // distinct child names before "…"
const wchar_t kEllipsis[] = L"\u2026";

bool isXmlKind(NodeKind kind) { return kind >= NodeKind::Element && kind <= NodeKind::XmlDeclaration; }
bool isContainer(const Node* node) { return node->kind == NodeKind::Object || node->kind == NodeKind::Array; }

std::wstring decimal(size_t n) { return std::to_wstring(n); }

// A key that JSONPath can write after a dot: not empty, no leading digit, only letters, digits,
// "_" and "$".
bool isJsonPathIdentifier(std::wstring_view key) {
    if (key.empty() || isDigit(key[0])) return false;
    return std::all_of(key.begin(), key.end(), [](wchar_t c) { return isAlnum(c) || c == L'_' || c == L'$'; });
}

// A TOML bare key: not empty, only letters, digits, "_" and "-".
bool isTomlBareKey(std::wstring_view key) {
    if (key.empty()) return false;
    return std::all_of(key.begin(), key.end(), [](wchar_t c) { return isAlnum(c) || c == L'_' || c == L'-'; });
}

// The node and its ancestors below the root, top node last.
std::vector<const Node*> chainOf(const Node* node) {
    std::vector<const Node*> chain;
    for (const Node* n = node; n && n->kind != NodeKind::Root; n = n->parent) chain.push_back(n);
    return chain;
}

std::wstring registryPath(const std::vector<const Node*>& chain) {
    std::wstring out;
    for (size_t i = chain.size(); i-- > 0;) {
        if (i + 1 != chain.size()) out += L'\\';
        // The strings of a multi-string value have no names: "[i]", as their labels say.
        if (chain[i]->keyed || !chain[i]->parent || chain[i]->parent->kind != NodeKind::Array)
            out += chain[i]->name;
        else
            out += L'[' + decimal(chain[i]->indexInParent) + L']';
    }
    return out;
}

std::wstring tomlPath(const std::vector<const Node*>& chain) {
    std::wstring out;
    // The top node is the document's top-level table and contributes nothing.
    for (size_t i = chain.size() - 1; i-- > 0;) {
        const Node* member = chain[i];
        if (!member->keyed) {
            out += L'[' + decimal(member->indexInParent) + L']';
            continue;
        }
        if (!out.empty()) out += L'.';
        if (isTomlBareKey(member->name))
            out += member->name;
        else
            out += jsonQuote(member->name);
    }
    return out;
}

// Position (from 1) among the parent's children of the same step, or 0 when the step is unique.
uint32_t xPathPosition(const Node* member) {
    const Node* parent = member->parent;
    const std::wstring step = xPathStep(member);
    if (!parent || step.empty() || member->kind == NodeKind::Attribute) return 0;
    uint32_t same = 0, position = 0;
    for (const Node* sibling : parent->children) {
        if (sibling->kind == NodeKind::Attribute || xPathStep(sibling) != step) continue;
        ++same;
        if (sibling == member) position = same;
    }
    return same >= 2 ? position : 0;
}

void appendXPathStep(const Node* member, std::wstring& out, XPathPositions* positions) {
    out += L'/';
    out += xPathStep(member);
    const uint32_t position = positions ? positions->of(member) : xPathPosition(member);
    if (position) out += L'[' + decimal(position) + L']';
}

std::wstring xPath(const std::vector<const Node*>& chain, XPathPositions* positions) {
    std::wstring out;
    for (size_t i = chain.size(); i-- > 0;) appendXPathStep(chain[i], out, positions);
    return out;
}

// A key in brackets and single quotes, with the escapes of JSONPath's string literals: the quote and
// the backslash, and the control characters (a NUL among them, which would end a pasted text).
void appendBracketedKey(std::wstring_view key, std::wstring& out) {
    out += L"['";
    appendStringEscapes(key, L'\'', true, out);
    out += L"']";
}

// The JSONPath steps of chain[from - 1] down to chain[0].
void appendJsonPathSteps(const std::vector<const Node*>& chain, size_t from, std::wstring& out) {
    for (size_t i = from; i-- > 0;) {
        const Node* member = chain[i];
        if (!member->keyed)
            out += L'[' + decimal(member->indexInParent) + L']';
        else if (isJsonPathIdentifier(member->name))
            out += L'.' + member->name;
        else
            appendBracketedKey(member->name, out);
    }
}

std::wstring jsonPath(const std::vector<const Node*>& chain) {
    const Node* top = chain.back();
    std::wstring out = L"$";
    // Several documents under the root (a YAML stream): name the document first.
    if (top->parent && countItems(top->parent) > 1) out = L'#' + decimal(size_t(top->indexInParent) + 1) + L" $";
    appendJsonPathSteps(chain, chain.size() - 1, out);
    return out;
}

void appendSummaryPart(std::wstring& raw, std::wstring_view part) {
    if (!raw.empty()) raw += L' ';
    raw += part;
}

std::wstring elementSummary(const Node* node) {
    std::wstring raw;
    const size_t attributes = std::min<size_t>(attributeCount(node), node->children.size());
    for (size_t i = 0; i < attributes && i < kSummaryAttributes; ++i)
        appendSummaryPart(raw, node->children[i]->name + L'=' + node->children[i]->value);
    const bool hasText = std::any_of(node->children.begin(), node->children.end(), [](const Node* c) {
        return c->kind == NodeKind::Text || c->kind == NodeKind::CData;
    });
    if (hasText) appendSummaryPart(raw, textContent(node));
    if (!raw.empty()) return raw;
    std::vector<NodeText> names;
    bool more = false;
    for (const Node* child : node->children) {
        if (child->kind != NodeKind::Element) continue;
        if (std::any_of(names.begin(), names.end(), [&](const NodeText& n) { return n == child->name; }))
            continue;
        if (names.size() == kSummaryNames) {
            more = true;
            break;
        }
        names.push_back(child->name);
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) raw += L", ";
        raw += names[i];
    }
    if (more) {
        raw += L", ";
        raw += kEllipsis;
    }
    return raw;
}

std::wstring objectSummary(const Node* node) {
    std::wstring raw = L"{ ";
    size_t listed = 0;
    for (const Node* child : node->children) {
        if (child->kind == NodeKind::Comment) continue;
        if (listed == kSummaryKeys) {
            raw += L", ";
            raw += kEllipsis;
            break;
        }
        if (listed) raw += L", ";
        raw += child->name;
        ++listed;
    }
    raw += L" }";
    return raw;
}

}  // namespace

std::wstring jsonQuote(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size() + 2);
    out += L'"';
    appendStringEscapes(text, L'"', false, out);
    out += L'"';
    return out;
}

bool labelIsName(const Node* node) {
    if (!node) return false;
    switch (node->kind) {
        case NodeKind::Root:
        case NodeKind::Text:
        case NodeKind::CData:
        case NodeKind::Comment:
        case NodeKind::XmlDeclaration: return false;
        case NodeKind::Element:
        case NodeKind::Attribute:
        case NodeKind::ProcessingInstruction:
        case NodeKind::DocType: return true;
        default: return node->keyed;
    }
}

std::wstring nodeLabel(const Node* node) {
    if (!node) return {};
    if (labelIsName(node)) return node->name.str();
    switch (node->kind) {
        case NodeKind::Root:
        case NodeKind::Text:
        case NodeKind::CData:
        case NodeKind::Comment: return {};
        case NodeKind::XmlDeclaration: return L"xml";
        default: break;
    }
    const Node* parent = node->parent;
    if (!parent) return {};
    // A string holding an array holds its items.
    if (parent->kind == NodeKind::Array || canHoldEmbedded(parent->kind))
        return L'[' + decimal(node->indexInParent) + L']';
    if (parent->kind == NodeKind::Root && countItems(parent) >= 2)
        return tr(L"Document ", L"Dokument ") + decimal(size_t(node->indexInParent) + 1);
    return {};
}

std::wstring valuePreview(const Node* node) {
    if (!node) return {};
    switch (node->kind) {
        case NodeKind::Root: return {};
        case NodeKind::Element:
            return isSimpleElement(node) ? previewText(textContent(node), kValuePreviewLimit) : std::wstring();
        case NodeKind::Object:
            if (countItems(node) > 0 || node->registryKey) return {};
            return L"{}";
        case NodeKind::Array: return countItems(node) > 0 ? std::wstring() : std::wstring(L"[]");
        default: return previewText(node->value, kValuePreviewLimit);
    }
}

std::wstring nodeSummary(const Node* node) {
    if (!node) return {};
    std::wstring raw;
    switch (node->kind) {
        case NodeKind::Array: {
            size_t n = countItems(node);
            raw = decimal(n) + (n == 1 ? tr(L" item", L" Eintrag") : tr(L" items", L" Eintr\u00e4ge"));
            break;
        }
        case NodeKind::Object: raw = objectSummary(node); break;
        case NodeKind::Element: raw = elementSummary(node); break;
        default: raw = node->value; break;
    }
    return previewText(raw, kSummaryLimit);
}

std::wstring nodeNote(const Document& doc, const Node* node) {
    const wchar_t* tag = node ? nodeTag(doc, node) : nullptr;
    std::wstring note = tag ? std::wstring(tag) : std::wstring();
    if (holdsEmbeddedJson(node)) note += note.empty() ? kEmbeddedMark : std::wstring(L"  ") + kEmbeddedMark;
    return note;
}

std::wstring xPathStep(const Node* member) {
    if (!member) return {};
    switch (member->kind) {
        case NodeKind::Element: return member->name.str();
        case NodeKind::Attribute: return L'@' + member->name.str();
        case NodeKind::Text:
        case NodeKind::CData: return L"text()";
        case NodeKind::Comment: return L"comment()";
        case NodeKind::ProcessingInstruction: return L"processing-instruction('" + member->name.str() + L"')";
        default: return {};
    }
}

uint32_t XPathPositions::of(const Node* member) {
    const Node* parent = member->parent;
    if (!parent || member->kind == NodeKind::Attribute) return 0;
    auto [entry, added] = byParent_.try_emplace(parent);
    std::vector<uint32_t>& positions = entry->second;
    if (added) {
        // One pass numbers each child among those of its step, a second keeps only repeated steps.
        std::vector<std::wstring> steps(parent->children.size());
        std::unordered_map<std::wstring_view, uint32_t> counts;
        positions.assign(parent->children.size(), 0);
        for (size_t i = 0; i < parent->children.size(); ++i) {
            const Node* child = parent->children[i];
            if (child->kind == NodeKind::Attribute) continue;
            steps[i] = xPathStep(child);
            if (!steps[i].empty()) positions[i] = ++counts[steps[i]];
        }
        for (size_t i = 0; i < parent->children.size(); ++i)
            if (!steps[i].empty() && counts[steps[i]] < 2) positions[i] = 0;
    }
    const size_t index = member->indexInParent;
    return index < positions.size() && parent->children[index] == member ? positions[index] : xPathPosition(member);
}

// The path of a node of the file itself (not inside a string's embedded JSON).
static std::wstring filePath(const Node* node, DocumentFormat format, XPathPositions* positions) {
    const std::vector<const Node*> chain = chainOf(node);
    if (chain.empty()) return {};
    if (format == DocumentFormat::Registry) return registryPath(chain);
    if (format == DocumentFormat::Toml) return tomlPath(chain);
    if (isXmlKind(node->kind)) return xPath(chain, positions);
    return jsonPath(chain);
}

std::wstring nodePath(const Node* node, DocumentFormat format, XPathPositions* positions) {
    if (!node || node->kind == NodeKind::Root) return {};
    // A comment in a data file has no path of its own: it takes its container's.
    if (node->kind == NodeKind::Comment && node->parent &&
        (isContainer(node->parent) || canHoldEmbedded(node->parent->kind)))
        node = node->parent;
    // Inside embedded JSON: each string on the way contributes its marked JSONPath, innermost last.
    std::vector<std::wstring> inner;
    for (const Node* holder = embeddingString(node); holder; holder = embeddingString(node)) {
        std::vector<const Node*> steps;
        for (const Node* n = node; n != holder; n = n->parent) steps.push_back(n);
        std::wstring part = kEmbeddedPathMark;
        appendJsonPathSteps(steps, steps.size(), part);
        inner.push_back(std::move(part));
        node = shownHolder(holder);  // an element's text: the element's path
    }
    std::wstring out = filePath(node, format, positions);
    for (size_t i = inner.size(); i-- > 0;) out += inner[i];
    return out;
}

}  // namespace qm
