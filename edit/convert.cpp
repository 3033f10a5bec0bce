// The three "Copy as" writers. Each walks the subtree with an explicit stack of open containers,
// because XML trees have no depth limit and a recursive writer would overflow the host's stack.
// Indentation stops growing at kMaxIndentLevel, so every line is at most that much longer than
// its content and the text stays linear in the tree however deep it is.
#include "edit/convert.h"

#include <algorithm>
#include <cwchar>
#include <initializer_list>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "document/chars.h"
#include "edit/nodetext.h"
#include "parsers/yaml.h"

namespace qm {

namespace {

const wchar_t kLineEnd[] = L"\r\n";

bool isComment(const Node* node) { return node->kind == NodeKind::Comment; }
bool isContainer(const Node* node) { return node->kind == NodeKind::Object || node->kind == NodeKind::Array; }

// An Object or Array with at least one child that is not a comment.
bool hasItems(const Node* node) {
    if (!isContainer(node)) return false;
    for (const Node* child : node->children)
        if (!isComment(child)) return true;
    return false;
}

// ---- XML ----

void writeXmlAttribute(const Node* attribute, std::wstring& out) {
    out += attribute->name;
    out += L"=\"";
    out += xmlEscape(attribute->value, true);
    out += L'"';
}

// One indented line of markup made of the given pieces; inside text-bearing content (`inlined`)
// the pieces alone, as white space there is part of the text.
void markup(std::wstring& out, size_t depth, bool inlined, std::initializer_list<std::wstring_view> pieces) {
    if (!inlined) appendIndent(out, depth);
    for (std::wstring_view piece : pieces) out += piece;
    if (!inlined) out += kLineEnd;
}

bool isWhiteSpace(std::wstring_view text) {
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return isSpace(c); });
}

// An element whose text is content: a single text child, a text child that is not only white space
// (mixed content, "<p>a<b>c</b>d</p>"), or a CDATA section. Its children are written on its line
// as they are, since added line breaks and indentation would become part of its text.
bool holdsText(const Node* element, size_t attributes) {
    const size_t others = element->children.size() - attributes;
    if (others == 1 && element->children[attributes]->kind == NodeKind::Text) return true;
    for (size_t i = attributes; i < element->children.size(); ++i) {
        const Node* child = element->children[i];
        if (child->kind == NodeKind::CData || (child->kind == NodeKind::Text && !isWhiteSpace(child->value)))
            return true;
    }
    return false;
}

bool isNamespaceDeclaration(const Node* attribute) {
    const std::wstring_view name = attribute->name;
    return name == L"xmlns" || name.rfind(L"xmlns:", 0) == 0;
}

// The namespace declarations of the element's ancestors that are in scope at the element and that
// it does not make itself, nearest first: a copied element carries them, so that its prefixes stay
// bound when the copy is read on its own.
std::vector<const Node*> inheritedNamespaces(const Node* element) {
    std::vector<const Node*> found;
    std::unordered_set<std::wstring_view> declared;  // a set: a hostile file may declare thousands
    const size_t own = std::min<size_t>(attributeCount(element), element->children.size());
    for (size_t i = 0; i < own; ++i) declared.insert(element->children[i]->name);
    for (const Node* a = element->parent; a && a->kind == NodeKind::Element; a = a->parent) {
        const size_t attributes = std::min<size_t>(attributeCount(a), a->children.size());
        for (size_t i = 0; i < attributes; ++i) {
            const Node* attribute = a->children[i];
            if (isNamespaceDeclaration(attribute) && declared.insert(attribute->name).second) found.push_back(attribute);
        }
    }
    return found;
}

void writeXml(const Node* top, std::wstring& out) {
    // An open element or the root: its remaining children are written at childDepth, on its line
    // when `inlined`; `ownLine` says the element began a line of its own, which its end tag ends.
    struct Frame {
        const Node* node;
        size_t next;
        size_t childDepth;
        bool inlined;
        bool ownLine;
    };
    std::vector<Frame> stack;

    // Writes a node that has no children to descend into, or opens one that has.
    auto begin = [&](const Node* node, size_t depth, bool inlined) {
        switch (node->kind) {
            case NodeKind::Root: stack.push_back({node, 0, depth, false, false}); return;
            case NodeKind::Element: {
                if (!inlined) appendIndent(out, depth);
                out += L'<';
                out += node->name;
                const size_t attributes = std::min<size_t>(attributeCount(node), node->children.size());
                for (size_t i = 0; i < attributes; ++i) {
                    out += L' ';
                    writeXmlAttribute(node->children[i], out);
                }
                if (node == top) {
                    for (const Node* declaration : inheritedNamespaces(node)) {
                        out += L' ';
                        writeXmlAttribute(declaration, out);
                    }
                }
                if (node->children.size() == attributes) {
                    out += L"/>";
                    if (!inlined) out += kLineEnd;
                    return;
                }
                out += L'>';
                const bool text = inlined || holdsText(node, attributes);
                if (!text) out += kLineEnd;
                stack.push_back({node, attributes, depth + 1, text, !inlined});
                return;
            }
            case NodeKind::Attribute: writeXmlAttribute(node, out); return;
            case NodeKind::Text: {
                if (inlined) return markup(out, depth, true, {xmlEscape(node->value, false)});
                // Between elements only white space is text; it is layout, written as an empty line.
                const std::wstring_view v = node->value;
                size_t first = 0, last = v.size();
                while (first < last && isSpace(v[first])) ++first;
                while (last > first && isSpace(v[last - 1])) --last;
                return markup(out, depth, false, {xmlEscape(v.substr(first, last - first), false)});
            }
            case NodeKind::CData: return markup(out, depth, inlined, {L"<![CDATA[", node->value, L"]]>"});
            case NodeKind::Comment: return markup(out, depth, inlined, {L"<!-- ", node->value, L" -->"});
            case NodeKind::ProcessingInstruction:
            case NodeKind::XmlDeclaration:
                return markup(out, depth, inlined, {L"<?", node->name, L" ", node->value, L"?>"});
            case NodeKind::DocType: return markup(out, depth, inlined, {L"<!", node->name, L" ", node->value, L">"});
            default: return;  // data kinds have no XML form
        }
    };

    begin(top, 0, false);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.node->children.size()) {
            const Node* child = frame.node->children[frame.next++];
            begin(child, frame.childDepth, frame.inlined);  // may push: `frame` is not used after this
            continue;
        }
        const Frame done = frame;
        stack.pop_back();
        if (done.node->kind != NodeKind::Element) continue;
        // The end tag: on the element's line when its content was inline, else on a line of its own.
        markup(out, done.childDepth - 1, done.inlined, {L"</", done.node->name, L">"});
        if (done.inlined && done.ownLine) out += kLineEnd;
    }
}

// ---- JSON ----

void writeJsonScalar(const Node* node, std::wstring& out) {
    if (node->kind == NodeKind::Number) {
        // A number's text in JSON's grammar; a text that is no number at all (the lenient reader
        // keeps "1.2.3" as one) stays as the file writes it, as nothing would read as the same.
        const std::wstring number = jsonNumberText(node->value);
        out += number.empty() ? node->value.str() : number;
    } else if (node->kind == NodeKind::String) {
        out += jsonQuote(node->value);
    } else if (node->kind == NodeKind::Null && node->value.empty()) {
        // A registry deletion marker ("-") is a Null without text; an empty value would leave
        // the key without a value and the text would not be JSON.
        out += L"null";
    } else {
        out += node->value;  // booleans and nulls exactly as their parser stored them
    }
}

// The root of a registry file holds its top keys as keyed members. Written one after another
// without their keys, several keys would lose their names and not make one JSON value, so such a
// root is written as the object of its members.
bool rootHoldsMembers(const Node* root) {
    for (const Node* child : root->children)
        if (!isComment(child) && child->keyed) return true;
    return false;
}

// The first child that is not a comment: a registry file's root begins with its header comment.
const Node* firstValue(const Node* node) {
    for (const Node* child : node->children)
        if (!isComment(child)) return child;
    return nullptr;
}

void writeJson(const Node* top, std::wstring& out) {
    // An open Object or Array: `last` is the index of its last child that is not a comment, and
    // `pending` says that child next−1 was written and still needs its separator.
    struct Frame {
        const Node* node;
        size_t depth;
        size_t next;
        size_t last;
        bool pending;
    };
    std::vector<Frame> stack;

    auto begin = [&](const Node* node, size_t depth, bool withKey) {
        if (withKey && node->keyed) {
            out += jsonQuote(node->name);
            out += L": ";
        }
        if (!isContainer(node) && node->kind != NodeKind::Root) return writeJsonScalar(node, out);
        const bool isObject = node->kind != NodeKind::Array;  // an Object, or a root of members
        size_t last = node->children.size();
        while (last > 0 && isComment(node->children[last - 1])) --last;
        if (last == 0) {
            out += isObject ? L"{}" : L"[]";
            return;
        }
        out += isObject ? L'{' : L'[';
        out += kLineEnd;
        stack.push_back({node, depth, 0, last - 1, false});
    };

    auto run = [&] {
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.pending) {
                if (frame.next - 1 != frame.last) out += L',';
                out += kLineEnd;
                frame.pending = false;
            }
            while (frame.next <= frame.last && isComment(frame.node->children[frame.next])) ++frame.next;
            if (frame.next > frame.last) {
                appendIndent(out, frame.depth);
                out += frame.node->kind == NodeKind::Array ? L']' : L'}';
                stack.pop_back();
                continue;
            }
            const Node* item = frame.node->children[frame.next++];
            frame.pending = true;
            appendIndent(out, frame.depth + 1);
            begin(item, frame.depth + 1, true);  // may push: `frame` is not used after this
        }
    };

    if (top->kind != NodeKind::Root || rootHoldsMembers(top)) {
        begin(top, 0, false);
        run();
        return;
    }
    // The root's values one after another (a JSON file has one), without keys or separators.
    for (const Node* child : top->children) {
        if (isComment(child)) continue;
        begin(child, 0, false);
        run();
    }
}

// ---- YAML ----

// "..." followed by white space ends a YAML document when it starts a line, so a plain key or
// scalar in column 0 that begins so would lose the document's rest on reading back.
bool beginsDocumentEnd(std::wstring_view text) {
    return text.compare(0, 3, L"...") == 0 && (text.size() == 3 || isSpace(text[3]));
}

std::wstring yamlKey(std::wstring_view name, size_t depth) {
    return depth == 0 && beginsDocumentEnd(name) ? yamlQuote(name) : yamlKeyText(name);
}

// Appends a mapping key and its ":"; a key too long to be implicit goes on a "? " line of its own
// and its ":" on the next line at the same indentation.
void writeYamlKey(std::wstring& out, std::wstring_view name, size_t depth) {
    const std::wstring key = yamlKey(name, depth);
    if (yamlNeedsExplicitKey(key)) {
        out += L"? ";
        out += key;
        out += kLineEnd;
        appendIndent(out, depth);
    } else {
        out += key;
    }
    out += L':';
}

std::wstring yamlLine(const Node* node, size_t depth) {
    if (depth == 0 && node->kind == NodeKind::String && beginsDocumentEnd(node->value)) return yamlQuote(node->value);
    return yamlScalar(node);
}

void writeYamlComment(const Node* comment, size_t depth, std::wstring& out) {
    appendIndent(out, depth);
    out += L"# ";
    out += comment->value;
    out += kLineEnd;
}

// In flow style a plain scalar also ends at "," and the brackets, so texts holding them are quoted.
bool yamlFlowNeedsQuotes(std::wstring_view text) {
    return yamlNeedsQuotes(text) || text.find_first_of(L",[]{}") != std::wstring_view::npos;
}

std::wstring yamlFlowText(std::wstring_view text) {
    return yamlFlowNeedsQuotes(text) ? yamlQuote(text) : std::wstring(text);
}

// A container below the deepest block level, on the rest of its line in flow style:
// "{key: value, key: [item, item]}". Comments have no place on that line and are dropped.
void writeYamlFlow(const Node* top, std::wstring& out) {
    struct Frame {
        const Node* node;
        size_t next;
        bool wroteItem;
    };
    std::vector<Frame> stack;
    auto open = [&](const Node* node) {
        out += node->kind == NodeKind::Object ? L'{' : L'[';
        stack.push_back({node, 0, false});
    };
    open(top);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const auto& children = frame.node->children;
        while (frame.next < children.size() && isComment(children[frame.next])) ++frame.next;
        if (frame.next == children.size()) {
            out += frame.node->kind == NodeKind::Object ? L'}' : L']';
            stack.pop_back();
            continue;
        }
        const Node* child = children[frame.next++];
        if (frame.wroteItem) out += L", ";
        frame.wroteItem = true;
        if (frame.node->kind == NodeKind::Object) {
            const std::wstring key = yamlFlowText(child->name);
            if (yamlNeedsExplicitKey(key)) out += L"? ";
            out += key;
            out += L": ";
        }
        if (hasItems(child))
            open(child);  // `frame` is not used after this
        else if (child->kind == NodeKind::String)
            out += yamlFlowText(child->value);
        else
            out += yamlScalar(child);
    }
}

void writeYaml(const Node* top, std::wstring& out) {
    // A container with items whose remaining children are written at depth.
    struct Frame {
        const Node* node;
        size_t depth;
        size_t next;
    };
    std::vector<Frame> stack;

    auto begin = [&](const Node* node, size_t depth) {
        if (isComment(node)) return writeYamlComment(node, depth, out);
        if (hasItems(node)) return stack.push_back({node, depth, 0});
        appendIndent(out, depth);
        out += yamlLine(node, depth);
        out += kLineEnd;
    };
    auto run = [&] {
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.node->children.size()) {
                stack.pop_back();
                continue;
            }
            const Node* child = frame.node->children[frame.next++];
            if (isComment(child)) {
                writeYamlComment(child, frame.depth, out);
                continue;
            }
            appendIndent(out, frame.depth);
            if (frame.node->kind == NodeKind::Object) {
                writeYamlKey(out, child->name, frame.depth);
            } else {
                out += L'-';
            }
            const bool nested = hasItems(child);
            if (nested && frame.depth >= kMaxIndentLevel) {
                // Its items would be indented deeper than the cap: flow style needs no indentation.
                out += L' ';
                writeYamlFlow(child, out);
                out += kLineEnd;
            } else if (nested) {
                out += kLineEnd;
                stack.push_back({child, frame.depth + 1, 0});  // `frame` is not used after this
            } else {
                out += L' ';
                out += yamlScalar(child);
                out += kLineEnd;
            }
        }
    };

    if (top->kind != NodeKind::Root) {
        begin(top, 0);
        run();
        return;
    }
    const size_t documents = countItems(top);
    bool wroteDocument = false;
    for (const Node* child : top->children) {
        if (isComment(child)) {
            writeYamlComment(child, 0, out);
            continue;
        }
        if (documents >= 2 && wroteDocument) {
            out += L"---";
            out += kLineEnd;
        }
        begin(child, 0);
        run();
        wroteDocument = true;
    }
}

}  // namespace

void appendIndent(std::wstring& out, size_t depth) { out.append(kIndentWidth * indentLevel(depth), L' '); }

bool isXmlChar(uint32_t c) {
    if (c < 0x20) return c == L'\t' || c == L'\n' || c == L'\r';
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

const wchar_t* xmlReference(char32_t c, XmlPlace place) {
    switch (c) {
        case L'&': return L"&amp;";
        case L'<': return L"&lt;";
        case L'>': return L"&gt;";
        case L'\r': return L"&#13;";
        case L'"': return place == XmlPlace::DoubleQuoted ? L"&quot;" : nullptr;
        case L'\'': return place == XmlPlace::SingleQuoted ? L"&apos;" : nullptr;
        case L'\n': return place == XmlPlace::Text ? nullptr : L"&#10;";
        case L'\t': return place == XmlPlace::Text ? nullptr : L"&#9;";
        default: return nullptr;
    }
}

bool xmlNeedsEscape(wchar_t c, XmlPlace place) { return !isXmlChar(uint32_t(c)) || xmlReference(c, place); }

bool appendXmlEscaped(std::wstring& out, std::wstring_view text, XmlPlace place, bool refuseUnheld,
                      const std::function<bool(std::wstring_view)>* encodable) {
    out.reserve(out.size() + text.size());
    for (size_t i = 0; i < text.size();) {
        size_t units = 1;
        const char32_t c = codePointAt(text, i, units);
        const std::wstring_view piece = text.substr(i, units);
        i += units;
        if (const wchar_t* reference = xmlReference(c, place)) {
            out += reference;
            continue;
        }
        const bool unheld = !isXmlChar(uint32_t(c));
        if (unheld && refuseUnheld) return false;
        if (unheld || (c >= 0x80 && encodable && !(*encodable)(piece))) {
            wchar_t reference[16];
            std::swprintf(reference, 16, L"&#x%X;", unsigned(c));
            out += reference;
        } else {
            out += piece;
        }
    }
    return true;
}

std::wstring xmlEscape(std::wstring_view text, bool inAttribute) {
    std::wstring out;
    appendXmlEscaped(out, text, inAttribute ? XmlPlace::DoubleQuoted : XmlPlace::Text, false);
    return out;
}

bool yamlMustEscape(wchar_t c, wchar_t previous, wchar_t next) {
    if (unsigned(c) < 0x20) return c != L'\t';
    if (c >= 0x7F && c <= 0x9F) return true;  // DEL, the C1 controls and NEL among them
    if (c == 0x2028 || c == 0x2029 || c == 0xFEFF || c == 0xFFFE || c == 0xFFFF) return true;
    if (isHighSurrogate(c)) return !isLowSurrogate(next);
    if (isLowSurrogate(c)) return !isHighSurrogate(previous);
    return false;
}

namespace {

bool allOf(std::wstring_view text, size_t from, bool (*test)(wchar_t)) {
    for (size_t i = from; i < text.size(); ++i)
        if (!test(text[i])) return false;
    return true;
}
bool isDigitOrUnderscore(wchar_t c) { return isDigit(c) || c == L'_'; }
bool isBinaryDigitOrUnderscore(wchar_t c) { return c == L'0' || c == L'1' || c == L'_'; }
bool isHexDigitOrUnderscore(wchar_t c) { return isHexDigit(c) || c == L'_'; }

// From `i`: digits and underscores; then returns the index after them.
size_t skipDigits(std::wstring_view text, size_t i) {
    while (i < text.size() && isDigitOrUnderscore(text[i])) ++i;
    return i;
}

// A YAML 1.1 float's tail from `i` (after its integer digits or at its dot): "." digits, then an
// optional exponent with a sign.
bool isYaml11FloatTail(std::wstring_view text, size_t i) {
    if (i >= text.size() || text[i] != L'.') return false;
    i = skipDigits(text, i + 1);
    if (i == text.size()) return true;
    if ((text[i] | 0x20) != L'e' || i + 2 >= text.size() || (text[i + 1] != L'+' && text[i + 1] != L'-')) return false;
    return allOf(text, i + 2, isDigit);
}

// YAML 1.1's sexagesimal tail from `i`: (":" one or two digits) repeated, then the end or (for a
// float) "." digits.
bool isYaml11SexagesimalTail(std::wstring_view text, size_t i) {
    bool any = false;
    while (i < text.size() && text[i] == L':') {
        size_t digits = 0;
        for (++i; i < text.size() && isDigit(text[i]) && digits < 2; ++i) ++digits;
        if (digits == 0) return false;
        any = true;
    }
    if (!any) return false;
    return i == text.size() || (text[i] == L'.' && allOf(text, i + 1, isDigitOrUnderscore));
}

}  // namespace

bool yaml11ReadsAsNonString(std::wstring_view text) {
    static const wchar_t* const kWords[] = {
        L"",    L"~",   L"null", L"Null", L"NULL", L"y",     L"Y",     L"n",     L"N",    L"yes", L"Yes",
        L"YES", L"no",  L"No",   L"NO",   L"true", L"True",  L"TRUE",  L"false", L"False", L"FALSE", L"on",
        L"On",  L"ON",  L"off",  L"Off",  L"OFF",  L"<<",    L"=",
    };
    for (const wchar_t* word : kWords)
        if (text == word) return true;
    // Dates and times begin with a four-digit year and a dash.
    if (text.size() >= 6 && allOf(text.substr(0, 4), 0, isDigit) && text[4] == L'-' && isDigit(text[5])) return true;
    const size_t sign = !text.empty() && (text[0] == L'+' || text[0] == L'-') ? 1 : 0;
    const std::wstring_view body = text.substr(sign);
    if (body.size() > 2 && body[0] == L'0' && body[1] == L'b') return allOf(body, 2, isBinaryDigitOrUnderscore);
    if (body.size() > 2 && body[0] == L'0' && body[1] == L'x') return allOf(body, 2, isHexDigitOrUnderscore);
    if (body.size() >= 2 && body[0] == L'.' && isDigit(body[1])) return isYaml11FloatTail(body, 0);
    if (body.empty() || !isDigit(body[0])) return false;
    const size_t i = skipDigits(body, 0);
    return i == body.size() || isYaml11FloatTail(body, i) || isYaml11SexagesimalTail(body, i);
}

bool yamlNeedsQuotes(std::wstring_view text) {
    if (text.empty()) return true;
    if (isSpace(text.front()) || isSpace(text.back())) return true;
    static const wchar_t kIndicators[] = L"-?:,[]{}#&*!|>'%@`\"";
    for (const wchar_t* p = kIndicators; *p; ++p)
        if (text.front() == *p) return true;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (unsigned(c) < 32) return true;
        if (yamlMustEscape(c, i ? text[i - 1] : 0, i + 1 < text.size() ? text[i + 1] : 0)) return true;
        if (c == L':' && (i + 1 == text.size() || text[i + 1] == L' ')) return true;
        if (c == L'#' && i > 0 && text[i - 1] == L' ') return true;
    }
    if (yaml11ReadsAsNonString(text)) return true;                 // "yes", "on", "1:20", "<<"
    return classifyYamlScalar(text) != NodeKind::String;  // "true", "null", "12", "0x1F", ".nan"
}

std::wstring yamlQuote(std::wstring_view text) {
    std::wstring quoted = jsonQuote(text);
    // jsonQuote's own escapes are ASCII and leave every character from U+007F as it is, with its
    // neighbours: what YAML must escape beyond them is found in the quoted text alike.
    size_t i = 0;
    auto mustEscapeAt = [&quoted](size_t k) {
        return yamlMustEscape(quoted[k], k ? quoted[k - 1] : 0, k + 1 < quoted.size() ? quoted[k + 1] : 0);
    };
    while (i < quoted.size() && !mustEscapeAt(i)) ++i;
    if (i == quoted.size()) return quoted;
    std::wstring out(quoted, 0, i);
    for (; i < quoted.size(); ++i) {
        if (mustEscapeAt(i)) {
            wchar_t escape[8];
            std::swprintf(escape, 8, L"\\u%04X", unsigned(quoted[i]));
            out += escape;
        } else {
            out += quoted[i];
        }
    }
    return out;
}

std::wstring yamlKeyText(std::wstring_view key) { return yamlNeedsQuotes(key) ? yamlQuote(key) : std::wstring(key); }

bool yamlNeedsExplicitKey(std::wstring_view writtenKey) { return writtenKey.size() > kMaxYamlImplicitKey; }

namespace {

// The digits of a number in base 2, 8 or 16 (underscores already removed) in decimal; empty when a
// character is not a digit of the base or the number has more than kMaxConvertedDigits digits.
constexpr size_t kMaxConvertedDigits = 1024;
std::wstring inDecimal(std::wstring_view digits, unsigned base) {
    if (digits.empty() || digits.size() > kMaxConvertedDigits) return {};
    // Little-endian limbs of nine decimal digits each.
    std::vector<uint32_t> limbs{0};
    constexpr uint32_t kLimb = 1000000000;
    for (wchar_t c : digits) {
        const unsigned d = isDigit(c) ? unsigned(c - L'0') : isHexDigit(c) ? unsigned((c | 0x20) - L'a' + 10) : 99;
        if (d >= base) return {};
        uint64_t carry = d;
        for (uint32_t& limb : limbs) {
            const uint64_t v = uint64_t(limb) * base + carry;
            limb = uint32_t(v % kLimb);
            carry = v / kLimb;
        }
        if (carry) limbs.push_back(uint32_t(carry));
    }
    std::wstring out = std::to_wstring(limbs.back());
    for (size_t k = limbs.size() - 1; k-- > 0;) {
        const std::wstring part = std::to_wstring(limbs[k]);
        out.append(9 - part.size(), L'0');
        out += part;
    }
    return out;
}

unsigned prefixBase(std::wstring_view body) {
    if (body.size() < 3 || body[0] != L'0') return 0;
    switch (body[1] | 0x20) {
        case L'x': return 16;
        case L'o': return 8;
        case L'b': return 2;
        default: return 0;
    }
}

// A decimal number's parts: integer digits, whether a dot follows, fraction digits, and the
// exponent's sign and digits. False when the text is not digits [. digits] [e [sign] digits] with
// a digit somewhere before the exponent.
struct DecimalParts {
    std::wstring_view whole, fraction, exponentSign, exponent;
    bool dot = false, hasExponent = false;
};
bool splitDecimal(std::wstring_view body, DecimalParts& parts) {
    size_t i = 0;
    while (i < body.size() && isDigit(body[i])) ++i;
    parts.whole = body.substr(0, i);
    if (i < body.size() && body[i] == L'.') {
        parts.dot = true;
        const size_t from = ++i;
        while (i < body.size() && isDigit(body[i])) ++i;
        parts.fraction = body.substr(from, i - from);
    }
    if (parts.whole.empty() && parts.fraction.empty()) return false;
    if (i < body.size() && (body[i] | 0x20) == L'e') {
        parts.hasExponent = true;
        ++i;
        if (i < body.size() && (body[i] == L'+' || body[i] == L'-')) parts.exponentSign = body.substr(i++, 1);
        parts.exponent = body.substr(i);
        return !parts.exponent.empty() && allOf(parts.exponent, 0, isDigit);
    }
    return i == body.size();
}

std::wstring withoutLeadingZeros(std::wstring_view digits) {
    size_t i = 0;
    while (i + 1 < digits.size() && digits[i] == L'0') ++i;
    return digits.empty() ? std::wstring(L"0") : std::wstring(digits.substr(i));
}

}  // namespace

std::wstring jsonNumberText(std::wstring_view text) {
    std::wstring t;
    t.reserve(text.size());
    for (wchar_t c : text)
        if (c != L'_') t += c;  // TOML's digit separators
    const bool negative = !t.empty() && t[0] == L'-';
    const size_t signLength = !t.empty() && (t[0] == L'+' || t[0] == L'-') ? 1 : 0;
    const std::wstring_view body = std::wstring_view(t).substr(signLength);
    const std::wstring sign = negative ? L"-" : L"";
    std::wstring word(body);
    for (wchar_t& c : word) c = toLower(c);
    if (word == L"inf" || word == L".inf" || word == L"infinity") return sign + L"Infinity";
    if (word == L"nan" || word == L".nan") return L"NaN";
    if (const unsigned base = prefixBase(body)) {
        const std::wstring digits = inDecimal(body.substr(2), base);
        return digits.empty() ? digits : sign + digits;
    }
    DecimalParts parts;
    if (!splitDecimal(body, parts)) return {};
    std::wstring out = sign + withoutLeadingZeros(parts.whole);
    if (parts.dot) out += L'.' + (parts.fraction.empty() ? std::wstring(L"0") : std::wstring(parts.fraction));
    if (parts.hasExponent) out += L'e' + std::wstring(parts.exponentSign) + std::wstring(parts.exponent);
    return out;
}

std::wstring yamlNumberText(std::wstring_view text) {
    if (text.size() > 2 && text[0] == L'0' && text[1] == L'o') {
        const std::wstring digits = inDecimal(text.substr(2), 8);
        return digits.empty() ? std::wstring(text) : digits;
    }
    const size_t signLength = !text.empty() && (text[0] == L'+' || text[0] == L'-') ? 1 : 0;
    DecimalParts parts;
    if (!splitDecimal(text.substr(signLength), parts)) return std::wstring(text);  // 0x1F, .inf, .nan
    std::wstring out = std::wstring(text.substr(0, signLength)) + withoutLeadingZeros(parts.whole);
    if (parts.dot || parts.hasExponent)
        out += L'.' + (parts.fraction.empty() ? std::wstring(L"0") : std::wstring(parts.fraction));
    if (parts.hasExponent)
        out += L'e' + (parts.exponentSign.empty() ? std::wstring(L"+") : std::wstring(parts.exponentSign)) +
               std::wstring(parts.exponent);
    return out;
}

std::wstring yamlScalar(const Node* node) {
    if (!node) return {};
    switch (node->kind) {
        case NodeKind::Object: return L"{}";
        case NodeKind::Array: return L"[]";
        case NodeKind::String: return yamlKeyText(node->value);
        case NodeKind::Number: return yamlNumberText(node->value);
        default: return node->value.str();
    }
}

std::wstring subtreeText(const Node* node, const Document& doc) {
    if (!node) return {};
    std::wstring out;
    // The root of data (a registry root begins with its header comment, so the first value
    // decides, not the first child).
    const Node* first = node->kind == NodeKind::Root ? firstValue(node) : nullptr;
    const bool rootOfData = first && first->kind >= NodeKind::Object;
    if (doc.isYaml)
        writeYaml(node, out);
    else if (node->kind < NodeKind::Object && !rootOfData)
        writeXml(node, out);
    else
        writeJson(node, out);
    while (!out.empty() && (out.back() == L'\r' || out.back() == L'\n')) out.pop_back();
    return out;
}

}  // namespace qm
