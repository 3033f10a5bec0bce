// The three "Copy as" writers. Each walks the subtree with an explicit stack of open containers,
// because XML trees have no depth limit and a recursive writer would overflow the host's stack.
// Indentation stops growing at kMaxIndentLevel, so every line is at most that much longer than
// its content and the text stays linear in the tree however deep it is.
#include "edit/convert.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>
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

// One indented line of markup made of the given pieces.
void markupLine(std::wstring& out, size_t depth, std::initializer_list<std::wstring_view> pieces) {
    appendIndent(out, depth);
    for (std::wstring_view piece : pieces) out += piece;
    out += kLineEnd;
}

void writeXml(const Node* top, std::wstring& out) {
    // An open element or the root: its remaining children are written at childDepth.
    struct Frame {
        const Node* node;
        size_t next;
        size_t childDepth;
    };
    std::vector<Frame> stack;

    // Writes a node that has no children to descend into, or opens one that has.
    auto begin = [&](const Node* node, size_t depth) {
        switch (node->kind) {
            case NodeKind::Root: stack.push_back({node, 0, depth}); return;
            case NodeKind::Element: {
                appendIndent(out, depth);
                out += L'<';
                out += node->name;
                const size_t attributes = std::min<size_t>(node->attributeCount, node->children.size());
                for (size_t i = 0; i < attributes; ++i) {
                    out += L' ';
                    writeXmlAttribute(node->children[i], out);
                }
                const size_t others = node->children.size() - attributes;
                if (others == 0) {
                    out += L"/>";
                    out += kLineEnd;
                } else if (others == 1 && node->children[attributes]->kind == NodeKind::Text) {
                    out += L'>';
                    out += xmlEscape(node->children[attributes]->value, false);
                    out += L"</";
                    out += node->name;
                    out += L'>';
                    out += kLineEnd;
                } else {
                    out += L'>';
                    out += kLineEnd;
                    stack.push_back({node, attributes, depth + 1});
                }
                return;
            }
            case NodeKind::Attribute: writeXmlAttribute(node, out); return;
            case NodeKind::Text: {
                const std::wstring_view v = node->value;
                size_t first = 0, last = v.size();
                while (first < last && isSpace(v[first])) ++first;
                while (last > first && isSpace(v[last - 1])) --last;
                return markupLine(out, depth, {xmlEscape(v.substr(first, last - first), false)});
            }
            case NodeKind::CData: return markupLine(out, depth, {L"<![CDATA[", node->value, L"]]>"});
            case NodeKind::Comment: return markupLine(out, depth, {L"<!-- ", node->value, L" -->"});
            case NodeKind::ProcessingInstruction:
            case NodeKind::XmlDeclaration:
                return markupLine(out, depth, {L"<?", node->name, L" ", node->value, L"?>"});
            case NodeKind::DocType: return markupLine(out, depth, {L"<!", node->name, L" ", node->value, L">"});
            default: return;  // data kinds have no XML form
        }
    };

    begin(top, 0);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next < frame.node->children.size()) {
            const Node* child = frame.node->children[frame.next++];
            begin(child, frame.childDepth);  // may push: `frame` is not used after this
            continue;
        }
        const Node* done = frame.node;
        const size_t depth = frame.childDepth;
        stack.pop_back();
        if (done->kind == NodeKind::Element) markupLine(out, depth - 1, {L"</", done->name, L">"});
    }
}

// ---- JSON ----

// A TOML number in a notation JSON has no form for ("1_000", "0xff", "0o17", "0b101", "inf",
// "nan") would make the copied text unreadable as JSON: it is written as the same number in JSON
// notation (digits without separators, decimal, Infinity and NaN as the lenient readers know
// them). Numbers of every other format stay exactly as written.
std::wstring tomlNumberAsJson(std::wstring_view text) {
    std::wstring t;
    for (wchar_t c : text)
        if (c != L'_') t += c;
    size_t i = 0;
    std::wstring sign;
    if (!t.empty() && (t[0] == L'+' || t[0] == L'-')) {
        if (t[0] == L'-') sign = L"-";
        i = 1;
    }
    const std::wstring body = t.substr(i);
    if (body == L"inf") return sign + L"Infinity";
    if (body == L"nan") return L"NaN";
    if (body.size() > 2 && body[0] == L'0' && (body[1] == L'x' || body[1] == L'o' || body[1] == L'b')) {
        const unsigned base = body[1] == L'x' ? 16 : body[1] == L'o' ? 8 : 2;
        uint64_t value = 0;
        for (size_t k = 2; k < body.size(); ++k) {
            const wchar_t c = body[k];
            const unsigned d = isDigit(c) ? unsigned(c - L'0') : isHexDigit(c) ? unsigned((c | 0x20) - L'a' + 10) : 99;
            if (d >= base || value > (UINT64_MAX - d) / base) return t;  // not a number we can convert
            value = value * base + d;
        }
        return sign + std::to_wstring(value);
    }
    return t;
}

void writeJsonScalar(const Node* node, std::wstring& out, bool tomlNumbers) {
    if (node->kind == NodeKind::Number && tomlNumbers) {
        out += tomlNumberAsJson(node->value);
    } else if (node->kind == NodeKind::String) {
        out += jsonQuote(node->value);
    } else if (node->kind == NodeKind::Null && node->value.empty()) {
        // A registry deletion marker ("-") is a Null without text; an empty value would leave
        // the key without a value and the text would not be JSON.
        out += L"null";
    } else {
        out += node->value;  // numbers, booleans and nulls exactly as their parser stored them
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

void writeJson(const Node* top, std::wstring& out, bool tomlNumbers) {
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
        if (!isContainer(node) && node->kind != NodeKind::Root) return writeJsonScalar(node, out, tomlNumbers);
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
    return yamlNeedsQuotes(name) || (depth == 0 && beginsDocumentEnd(name)) ? jsonQuote(name) : std::wstring(name);
}

std::wstring yamlLine(const Node* node, size_t depth) {
    if (depth == 0 && node->kind == NodeKind::String && beginsDocumentEnd(node->value)) return jsonQuote(node->value);
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
    return yamlFlowNeedsQuotes(text) ? jsonQuote(text) : std::wstring(text);
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
            out += yamlFlowText(child->name);
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
                out += yamlKey(child->name, frame.depth);
                out += L':';
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

std::wstring xmlEscape(std::wstring_view text, bool inAttribute) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"':
                if (inAttribute)
                    out += L"&quot;";
                else
                    out += c;
                break;
            default: out += c; break;
        }
    }
    return out;
}

bool isXmlChar(uint32_t c) {
    if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

bool yaml11ReadsAsNonString(std::wstring_view text) {
    static const wchar_t* const kWords[] = {L"y", L"Y", L"yes", L"Yes", L"YES", L"n", L"N", L"no", L"No", L"NO",
                                            L"on", L"On", L"ON", L"off", L"Off", L"OFF", L"~", L"=", L"<<"};
    for (const wchar_t* word : kWords)
        if (text == word) return true;
    if (text.empty()) return false;
    // Integers and floats in every 1.1 notation, sexagesimal numbers and dates are made of these
    // characters and begin with a digit, a sign or a dot.
    const wchar_t first = text[0];
    if (!isDigit(first) && first != L'+' && first != L'-' && first != L'.') return false;
    if (text.size() >= 5 && isDigit(text[0]) && isDigit(text[1]) && isDigit(text[2]) && isDigit(text[3]) &&
        text[4] == L'-')
        return true;  // a date or a date and time
    return text.find_first_not_of(L"0123456789_:.+-eExXoObBabcdfABCDF") == std::wstring_view::npos &&
           text.find_first_of(L"0123456789") != std::wstring_view::npos;
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
        if (c == L':' && (i + 1 == text.size() || text[i + 1] == L' ')) return true;
        if (c == L'#' && i > 0 && text[i - 1] == L' ') return true;
    }
    return classifyYamlScalar(text) != NodeKind::String;  // "true", "null", "12", "0x1F", ".nan"
}

std::wstring yamlScalar(const Node* node) {
    if (!node) return {};
    switch (node->kind) {
        case NodeKind::Object: return L"{}";
        case NodeKind::Array: return L"[]";
        case NodeKind::String: return yamlNeedsQuotes(node->value) ? jsonQuote(node->value) : node->value.str();
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
        writeJson(node, out, doc.format == DocumentFormat::Toml);
    while (!out.empty() && (out.back() == L'\r' || out.back() == L'\n')) out.pop_back();
    return out;
}

}  // namespace qm
