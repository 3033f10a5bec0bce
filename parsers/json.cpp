// JSON and JSON Lines into the node tree, one pass with a forward-only line counter.
// Containers recurse, bounded by kMaxJsonDepth.
#include "parsers/json.h"

#include <algorithm>
#include <cstddef>
#include <cwchar>

#include "document/chars.h"
#include "document/language.h"

namespace qm {

void JsonParser::reportError(const wchar_t* message) {
    if (doc.errorMessage.empty()) setDocumentError(doc, message, lineAt(pos));
    failed = true;
}

void JsonParser::skipSpaceAndComments() {
    while (pos < length) {
        wchar_t c = text[pos];
        if (c == L' ') {
            pos += runOf(text + pos, length - pos, L' ');
        } else if (isSpace(c)) {
            ++pos;
        } else if (c == L'/' && pos + 1 < length && text[pos + 1] == L'/') {
            pos += 2;
            while (pos < length && text[pos] != L'\n') ++pos;
        } else if (c == L'/' && pos + 1 < length && text[pos + 1] == L'*') {
            pos += 2;
            while (pos < length && !(text[pos] == L'*' && pos + 1 < length && text[pos + 1] == L'/')) ++pos;
            unclosedComment = pos >= length;
            pos = pos < length ? pos + 2 : length;
        } else {
            break;
        }
    }
}

constexpr size_t kHexEscapeDigits = 4;

// \u escapes read four characters with wcstoul(base 16): leading white space, a sign and a 0x
// prefix are accepted, reading stops at the first non-hex digit, no digits give 0. The result is
// one UTF-16 code unit.
static wchar_t hexEscapeValue(const wchar_t* p) {
    wchar_t digits[kHexEscapeDigits + 1] = {p[0], p[1], p[2], p[3], 0};
    return static_cast<wchar_t>(std::wcstoul(digits, nullptr, 16) & 0xFFFF);
}

// Characters the escape at `at` takes, its backslash included (which is not the text's last
// character). A \u takes its four characters only when all four are there and the string's own
// quote is not among them; otherwise the string's content ends within them, and the escape reads
// as at the end of the text: the u is dropped and what follows is read as usual. So an escape
// never takes the closing quote, and "\u" before it is an empty string.
static size_t escapeLength(const wchar_t* text, size_t length, size_t at, wchar_t quote) {
    const size_t digits = at + 2;
    if (text[at + 1] != L'u' || length - digits < kHexEscapeDigits) return 2;
    for (size_t i = digits; i < digits + kHexEscapeDigits; ++i)
        if (text[i] == quote) return 2;
    return 2 + kHexEscapeDigits;
}

// The content of a string from `pos` to its closing quote (or the end of the text) with the
// escapes resolved, handed to `sink` as runs taken as written and single code units. Returns the
// position of the closing quote, or the text's length.
template <class Sink>
static size_t unescapeString(const wchar_t* text, size_t length, size_t pos, wchar_t quote, Sink& sink) {
    size_t runStart = pos;
    while (pos < length && text[pos] != quote) {
        // A backslash that ends the text stands for itself: it stays in the run.
        if (text[pos] != L'\\' || pos + 1 == length) {
            ++pos;
            continue;
        }
        sink.run(text + runStart, pos - runStart);
        const size_t taken = escapeLength(text, length, pos, quote);
        switch (const wchar_t e = text[pos + 1]) {
            case L'b': sink.unit(L'\b'); break;
            case L'f': sink.unit(L'\f'); break;
            case L'n': sink.unit(L'\n'); break;
            case L'r': sink.unit(L'\r'); break;
            case L't': sink.unit(L'\t'); break;
            case L'\n': break;  // line continuation
            case L'u':
                if (taken == 2 + kHexEscapeDigits) sink.unit(hexEscapeValue(text + pos + 2));
                break;
            default: sink.unit(e); break;
        }
        pos += taken;
        runStart = pos;
    }
    sink.run(text + runStart, pos - runStart);
    return pos;
}

namespace {

struct CountingSink {
    size_t count = 0;
    void run(const wchar_t*, size_t n) { count += n; }
    void unit(wchar_t) { ++count; }
};

// Copies with std::copy_n (memmove, which AddressSanitizer checks; it does not see wmemcpy).
struct WritingSink {
    wchar_t* out;
    size_t count = 0;
    void run(const wchar_t* from, size_t n) {
        std::copy_n(from, n, out + count);
        count += n;
    }
    void unit(wchar_t c) { out[count++] = c; }
};

}  // namespace

// A string without escapes is a run of the text. One with escapes is unescaped into the
// document's store, sized by counting what the same walk writes: the buffer holds exactly the
// unescaped string and its NUL, whatever the escapes are.
NodeText JsonParser::parseString() {
    const wchar_t quote = text[pos++];
    const size_t contentStart = pos;
    pos += findEither(text + pos, length - pos, quote, L'\\');
    if (pos < length && text[pos] == quote) {
        ++pos;
        return NodeText(text + contentStart, pos - 1 - contentStart);
    }
    CountingSink counted;
    const size_t end = unescapeString(text, length, contentStart, quote, counted);
    WritingSink written{static_cast<wchar_t*>(doc.store.allocate((counted.count + 1) * sizeof(wchar_t)))};
    unescapeString(text, length, contentStart, quote, written);
    written.out[written.count] = 0;
    pos = end;
    if (pos < length) {
        ++pos;
    } else {
        reportError(tr(L"Unterminated string", L"Zeichenkette nicht abgeschlossen"));
    }
    return NodeText(written.out, written.count);
}

static bool isNumberChar(wchar_t c) { return isAlnum(c) || c == L'+' || c == L'-' || c == L'.'; }
static bool isKeyChar(wchar_t c) { return isAlnum(c) || c == L'_' || c == L'$'; }

// A new node with the pending name: inside the innermost open container it waits among the
// pending children until the container closes; elsewhere it is linked to its parent at once.
Node* JsonParser::startNode(NodeKind kind, Node* parent, bool keyed, uint32_t nodeLine) {
    Node* n;
    if (!openContainers.empty() && openContainers.back().node == parent) {
        n = createNode(doc, kind, nullptr, nodeLine);
        n->parent = parent;
        n->indexInParent = uint32_t(pendingChildren.size() - openContainers.back().firstChild);
        pendingChildren.push_back(n);
    } else {
        n = createNode(doc, kind, parent, nodeLine);
    }
    n->name.set(doc, pendingName);
    pendingName = NodeText();
    n->keyed = keyed;
    return n;
}

QM_NOINLINE void JsonParser::openContainer(Node* container) {
    openContainers.push_back({container, pendingChildren.size()});
}

// Runs on every way out of a container, errors included: the partial tree stays whole.
QM_NOINLINE void JsonParser::closeContainer() {
    const OpenContainer open = openContainers.back();
    openContainers.pop_back();
    setChildren(doc, open.node, pendingChildren.data() + open.firstChild, pendingChildren.size() - open.firstChild);
    pendingChildren.resize(open.firstChild);
}

QM_NOINLINE bool JsonParser::parseScalar(Node* parent, bool keyed, uint32_t nodeLine) {
    const wchar_t c = text[pos];
    const size_t avail = length - pos;
    NodeKind kind;
    size_t n;
    if (c == L'"' || c == L'\'') {
        Node* node = startNode(NodeKind::String, parent, keyed, nodeLine);
        size_t quoteAt = pos;
        node->value.set(doc, parseString());
        if (doc.recordSpans) recordSpan(doc, uint32_t(quoteAt), uint32_t(pos));
        return true;
    }
    if (startsWithWord(text + pos, avail, L"true")) {
        kind = NodeKind::Bool, n = 4;
    } else if (startsWithWord(text + pos, avail, L"false")) {
        kind = NodeKind::Bool, n = 5;
    } else if (startsWithWord(text + pos, avail, L"null")) {
        kind = NodeKind::Null, n = 4;
    } else if (isDigit(c) || c == L'+' || c == L'-' || c == L'.' || startsWithWord(text + pos, avail, L"Infinity") ||
               startsWithWord(text + pos, avail, L"NaN")) {
        kind = NodeKind::Number;
        n = 0;
        while (pos + n < length && isNumberChar(text[pos + n])) ++n;
    } else {
        reportError(tr(L"Unexpected character", L"Unerwartetes Zeichen"));
        return false;
    }
    Node* node = startNode(kind, parent, keyed, nodeLine);
    node->value.set(doc, NodeText(text + pos, n));
    if (doc.recordSpans) recordSpan(doc, uint32_t(pos), uint32_t(pos + n));
    pos += n;
    return true;
}

// Reads an object member's key into pendingName and steps past the colon.
QM_NOINLINE bool JsonParser::parseMemberKey() {
    pendingName = NodeText();
    if (text[pos] == L'"' || text[pos] == L'\'') {
        pendingName = parseString();
        if (failed) return false;
    } else {
        size_t keyStart = pos;
        while (pos < length && isKeyChar(text[pos])) ++pos;
        if (pos == keyStart) {
            reportError(tr(L"Expected property name", L"Eigenschaftsname erwartet"));
            return false;
        }
        pendingName = NodeText(text + keyStart, pos - keyStart);
    }
    skipSpaceAndComments();
    if (pos >= length || text[pos] != L':') {
        pendingName = NodeText();
        reportError(tr(L"Expected ':'", L"':' erwartet"));
        return false;
    }
    ++pos;
    return true;
}

// The recursion runs through parseValue and parseContainer only; both keep their frames small
// (everything else happens in helpers that return before the next level starts), so the 1000
// levels fit in a 256 KiB stack in the product's build.
void JsonParser::parseValue(Node* parent, bool keyed, int depth) {
    skipSpaceAndComments();
    if (pos >= length) return reportError(tr(L"Unexpected end of file", L"Unerwartetes Dateiende"));
    if (depth > kMaxJsonDepth) return reportError(tr(L"Nesting too deep", L"Verschachtelung zu tief"));
    const uint32_t nodeLine = lineAt(pos);
    if (text[pos] == L'{' || text[pos] == L'[') {
        const bool isObject = text[pos] == L'{';
        Node* container = startNode(isObject ? NodeKind::Object : NodeKind::Array, parent, keyed, nodeLine);
        openContainer(container);
        parseContainer(container, isObject, depth);
        closeContainer();
        return;
    }
    parseScalar(parent, keyed, nodeLine);
}

void JsonParser::parseContainer(Node* container, bool isObject, int depth) {
    const wchar_t closer = isObject ? L'}' : L']';
    ++pos;
    skipSpaceAndComments();
    if (pos >= length) return reportError(tr(L"Unexpected end of file", L"Unerwartetes Dateiende"));
    if (text[pos] == closer) {
        ++pos;
        return;
    }
    for (;;) {
        if (isObject && !parseMemberKey()) return;
        parseValue(container, isObject, depth + 1);
        if (failed) return;
        skipSpaceAndComments();
        if (pos >= length || (text[pos] != closer && text[pos] != L',')) {
            return reportError(isObject ? tr(L"Expected ',' or '}'", L"',' oder '}' erwartet")
                                        : tr(L"Expected ',' or ']'", L"',' oder ']' erwartet"));
        }
        if (text[pos++] == closer) return;
        skipSpaceAndComments();
        if (pos >= length) return reportError(tr(L"Unexpected end of file", L"Unerwartetes Dateiende"));
        if (text[pos] == closer) {
            ++pos;
            return;
        }
    }
}

void JsonParser::parseJsonLines() {
    Node* array = createNode(doc, NodeKind::Array, doc.root, 1);
    for (;;) {
        while (pos < length && isSpace(text[pos])) ++pos;
        if (pos + 1 < length && text[pos] == L'/' && text[pos + 1] == L'/') {
            while (pos < length && text[pos] != L'\n') ++pos;
            continue;
        }
        if (pos + 1 < length && text[pos] == L'/' && text[pos + 1] == L'*') {
            pos += 2;
            while (pos < length && !(text[pos] == L'*' && pos + 1 < length && text[pos + 1] == L'/')) ++pos;
            pos = pos < length ? pos + 2 : length;
            continue;
        }
        if (pos >= length) return;
        parseValue(array, false, 0);
        if (!failed) {
            while (pos < length && (text[pos] == L' ' || text[pos] == L'\t' || text[pos] == L'\r')) ++pos;
            if (pos < length && text[pos] != L'\n')
                reportError(tr(L"Unexpected data in the line", L"Weitere Daten in der Zeile"));
        }
        // A member that failed leaves its key pending; the next line's value has none.
        failed = false;
        pendingName = NodeText();
        while (pos < length && text[pos] != L'\n') ++pos;
    }
}

void parseJson(Document& doc, const std::wstring& text, size_t start) {
    JsonParser parser(doc, text, start);
    parser.parseValue(doc.root, false, 0);
    if (parser.failed) return;
    parser.skipSpaceAndComments();
    if (parser.pos < parser.length && doc.errorMessage.empty())
        setDocumentError(doc, tr(L"Unexpected data after the JSON value", L"Weitere Daten nach dem JSON-Wert"),
                         parser.lineAt(parser.pos));
}

void parseJsonLines(Document& doc, const std::wstring& text, size_t start) {
    JsonParser parser(doc, text, start);
    parser.parseJsonLines();
}

}  // namespace qm
