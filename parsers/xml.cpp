// XML into the node tree in one forward pass with a forward-only line counter. Open elements
// live on an explicit stack with a count per name, so an end tag finds the element it closes
// without walking parents that it does not close: arbitrarily deep or broken documents cost
// linear time and no stack.
#include "parsers/xml.h"

#include <cwchar>
#include <string_view>

#include "document/chars.h"
#include "document/language.h"
#include "document/utf8.h"
#include "parsers/errortext.h"
#include "parsers/numbers.h"

namespace qm {

namespace {

// Letters, digits and "-.:_" of ASCII, by table: names are read a character at a time.
struct AsciiNameChars {
    bool is[0x80] = {};
    constexpr AsciiNameChars() {
        for (unsigned c = 0; c < 0x80; ++c)
            is[c] = (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '-' || c == '.' ||
                    c == ':' || c == '_';
    }
};
constexpr AsciiNameChars kAsciiNameChars;

bool isNameChar(wchar_t c) { return unsigned(c) >= 0x80 || kAsciiNameChars.is[unsigned(c)]; }

size_t nameEnd(const wchar_t* p, size_t i, size_t n) {
    while (i < n && isNameChar(p[i])) ++i;
    return i;
}

size_t skipSpace(const wchar_t* p, size_t i, size_t n) {
    while (i < n && isSpace(p[i])) ++i;
    return i;
}

NodeText trimmed(const wchar_t* p, size_t n) {
    size_t a = 0;
    while (a < n && isSpace(p[a])) ++a;
    while (n > a && isSpace(p[n - 1])) --n;
    return NodeText(p + a, n - a);
}

// Compared in place, like the markup words.
bool sameName(const NodeText& a, const NodeText& b) {
    return a.size() == b.size() && startsWithWord(a.data(), a.size(), b);
}

std::wstring notClosedMessage(std::wstring_view name) {
    std::wstring message = tr(L"Element not closed: <", L"Element nicht geschlossen: <");
    message += quotedInMessage(name);
    message += L'>';
    return message;
}

}  // namespace

void XmlParser::reportError(const std::wstring& message) {
    if (doc.errorMessage.empty()) setDocumentError(doc, message, lineAt(pos));
}

NodeText XmlParser::readName() {
    const size_t start = pos;
    pos = nameEnd(text, pos, length);
    return NodeText(text + start, pos - start);
}

NodeText XmlParser::decodeXmlText(const wchar_t* p, size_t n) {
    if (findEither(p, n, L'&', L'\r') == n) return NodeText(p, n);
    scratch.clear();
    decodeInto(scratch, p, n);
    return storeText(doc, scratch);
}

void XmlParser::decodeInto(std::wstring& out, const wchar_t* p, size_t n) {
    out.reserve(out.size() + n);
    size_t i = 0;
    while (i < n) {
        const wchar_t c = p[i];
        if (c == L'\r') {  // CR LF and a lone CR both become LF
            out += L'\n';
            ++i;
            if (i < n && p[i] == L'\n') ++i;
            continue;
        }
        if (c != L'&') {
            out += c;
            ++i;
            continue;
        }
        size_t semi = 0;
        for (size_t j = i + 1; j < n && j <= i + kMaxEntityReference; ++j) {
            if (p[j] == L';') {
                semi = j;
                break;
            }
            if (p[j] == L'&') break;
        }
        if (semi == 0) {
            out += L'&';
            ++i;
            continue;
        }
        const std::wstring_view name(p + i + 1, semi - i - 1);
        bool known = true;
        if (name == L"lt") {
            out += L'<';
        } else if (name == L"gt") {
            out += L'>';
        } else if (name == L"amp") {
            out += L'&';
        } else if (name == L"quot") {
            out += L'"';
        } else if (name == L"apos") {
            out += L'\'';
        } else if (auto it = entities.find(std::wstring(name)); it != entities.end()) {
            if (it->second.size() <= expansionBudget) {
                expansionBudget -= it->second.size();
                out += it->second;
            } else {
                reportError(tr(L"Entity expansion limit exceeded", L"Grenze der Entitätsersetzung überschritten"));
                known = false;
            }
        } else if (name.size() >= 2 && name[0] == L'#') {
            const bool hex = name[1] == L'x' || name[1] == L'X';
            const size_t digits = hex ? 2 : 1;
            appendCodePoint(out, readUnsigned32(name.data() + digits, name.size() - digits, hex ? 16 : 10));
        } else {
            known = false;
        }
        if (known) {
            i = semi + 1;
        } else {  // an unrecognised reference stays in the text as written
            out += L'&';
            ++i;
        }
    }
}

void XmlParser::readInternalEntities(const wchar_t* p, size_t n) {
    static constexpr std::wstring_view kEntity = L"<!ENTITY";
    const std::wstring_view declaration(p, n);
    for (size_t at = declaration.find(kEntity); at != std::wstring_view::npos;
         at = declaration.find(kEntity, at + kEntity.size())) {
        size_t i = skipSpace(p, at + kEntity.size(), n);
        if (i < n && p[i] == L'%') continue;  // parameter entities are not expanded
        const size_t nameStart = i;
        i = nameEnd(p, i, n);
        std::wstring name(p + nameStart, i - nameStart);
        i = skipSpace(p, i, n);
        if (name.empty() || i >= n || (p[i] != L'"' && p[i] != L'\'')) continue;
        const size_t close = declaration.find(p[i], i + 1);
        if (close == std::wstring_view::npos) continue;
        std::wstring& value = entities[std::move(name)];
        value.clear();
        decodeInto(value, p + i + 1, close - i - 1);
    }
}

// A markup declaration ends at the first ">" outside square brackets, so an internal DTD subset
// with its own declarations stays inside it. Quoted literals (a system identifier, an entity's
// text) are skipped whole, brackets and ">" in them included; in the subset so are comments and
// processing instructions, whose text may hold a lone apostrophe. A quote, comment or
// instruction without its closer is ordinary text, as it was before they were skipped. The scan
// stays linear: a failed search for a closer is never repeated over the same text (no closer of
// that kind follows, or the search stopped at a "<" that no later search of its kind passes).
size_t XmlParser::declarationEnd(size_t start) const {
    const std::wstring_view all(text, length);
    ptrdiff_t brackets = 0;
    bool inMarkup = false;  // inside a declaration of the subset, as <!ENTITY e "...">
    bool commentsClose = true, instructionsClose = true;  // a closer may still follow
    size_t i = start;
    while (i < length) {
        const wchar_t c = text[i];
        const bool inSubset = brackets >= 1 && !inMarkup;
        if ((c == L'"' || c == L'\'') && !inSubset) {
            // An entity's text may hold markup, but the literals of an external identifier never
            // hold "<": there a quote whose closer comes after a "<" is an ordinary character.
            size_t close = i + 1;
            if (inMarkup) {
                const wchar_t* found = std::wmemchr(text + i + 1, c, length - i - 1);
                close = found ? size_t(found - text) : length;
            } else {
                while (close < length && text[close] != c && text[close] != L'<') ++close;
            }
            i = close < length && text[close] == c ? close + 1 : i + 1;
            continue;
        }
        if (inSubset && c == L'<') {
            const wchar_t* p = text + i;
            const size_t avail = length - i;
            const bool comment = startsWithWord(p, avail, L"<!--");
            if (comment || startsWithWord(p, avail, L"<?")) {
                bool& closes = comment ? commentsClose : instructionsClose;
                const size_t close = closes ? all.find(comment ? L"-->" : L"?>", i + (comment ? 4 : 2)) : all.npos;
                closes = close != all.npos;
                i = closes ? close + (comment ? 3 : 2) : i + 1;
                continue;
            }
            if (startsWithWord(p, avail, L"<!")) {
                inMarkup = true;
                i += 2;
                continue;
            }
        }
        if (c == L'[') {
            ++brackets;
        } else if (c == L']') {
            --brackets;
        } else if (c == L'>') {
            if (inMarkup)
                inMarkup = false;
            else if (brackets < 1)
                return i;
        }
        ++i;
    }
    return length;
}

void XmlParser::characterData(size_t runStart, size_t runEnd) {
    size_t first = runStart;
    while (first < runEnd && isSpace(text[first])) ++first;
    if (first == runEnd) return;
    size_t last = runEnd;
    while (isSpace(text[last - 1])) --last;
    Node* node = addNode(NodeKind::Text, lineAt(runStart));
    node->value = decodeXmlText(text + runStart, runEnd - runStart);
    if (doc.recordSpans) recordSpan(doc, uint32_t(first), uint32_t(last));
}

Node* XmlParser::addNode(NodeKind kind, uint32_t line) {
    Node* node = createNode(doc, kind, nullptr, line);
    node->parent = currentParent();
    node->indexInParent = uint32_t(pending.size() - (open.empty() ? 0 : open.back().firstChild));
    pending.push_back(node);
    return node;
}

size_t& XmlParser::openCountOf(std::wstring_view name) {
    const size_t n = name.size();
    const size_t hash = n == 0 ? 0 : ((n * 31 + size_t(name[0])) * 31 + size_t(name[n / 2])) * 31 + size_t(name[n - 1]);
    RecentName& recent = recentNames[(hash ^ (hash >> 8)) % kRecentNames];
    if (recent.openCount && recent.size == n && std::wmemcmp(recent.data, name.data(), n) == 0)
        return *recent.openCount;
    size_t& count = openNames[name];  // a name's entry stays at zero when its last element closes
    recent = {name.data(), n, &count};
    return count;
}

void XmlParser::openElement(Node* element) {
    size_t& count = openCountOf(element->name);
    ++count;
    open.push_back({element, pending.size(), &count});
}

void XmlParser::closeTo(size_t depth) {
    while (open.size() > depth) {
        const OpenElement top = open.back();
        setChildren(doc, top.node, pending.data() + top.firstChild, pending.size() - top.firstChild);
        pending.resize(top.firstChild);
        --*top.openCount;
        open.pop_back();
    }
}

void XmlParser::finish() {
    if (!open.empty()) reportError(notClosedMessage(open.back().node->name));
    closeTo(0);
    for (Node* node : pending) appendChild(doc, doc.root, node);
    pending.clear();
}

void XmlParser::endTag() {
    pos += 2;
    const NodeText name = readName();
    const wchar_t* gt = std::wmemchr(text + pos, L'>', length - pos);
    pos = gt ? size_t(gt - text) + 1 : length;
    // Most end tags close the innermost element.
    if (!open.empty() && sameName(open.back().node->name, name)) return closeTo(open.size() - 1);
    // Only elements can be closed: the root is never a candidate, whatever the end tag's name.
    if (openCountOf(name.view()) == 0) {
        reportError(tr(L"Unexpected end tag </", L"Unerwartetes Endtag </") + quotedInMessage(name) + L">");
        return;
    }
    size_t index = open.size() - 1;
    while (!sameName(open[index].node->name, name)) --index;
    if (index != open.size() - 1) reportError(notClosedMessage(open.back().node->name));
    closeTo(index);
}

void XmlParser::startTag() {
    const size_t lt = pos;
    const uint32_t tagLine = lineAt(lt);
    ++pos;
    const NodeText name = readName();
    if (name.empty()) {
        reportError(tr(L"Invalid character '<'", L"Ungültiges Zeichen '<'"));
        const wchar_t* next = std::wmemchr(text + lt + 1, L'<', length - lt - 1);
        const size_t end = next ? size_t(next - text) : length;
        characterData(lt, end);
        pos = end;
        return;
    }
    Node* element = addNode(NodeKind::Element, tagLine);
    element->name = name;
    openElement(element);  // its attributes and content are its children; "/>" closes it again
    for (;;) {
        pos = skipSpace(text, pos, length);
        if (pos >= length) {
            reportError(tr(L"Unexpected end of file", L"Unerwartetes Dateiende"));
            return;
        }
        const wchar_t c = text[pos];
        if (c == L'/') {  // empty element; a "/" without ">" ends the tag the same way
            ++pos;
            if (pos < length && text[pos] == L'>') ++pos;
            closeTo(open.size() - 1);
            return;
        }
        if (c == L'>') {
            ++pos;
            return;
        }
        if (c == L'<') {
            reportError(tr(L"Unterminated tag", L"Tag nicht abgeschlossen"));
            return;
        }
        const uint32_t attributeLine = lineAt(pos);
        const NodeText attributeName = readName();
        if (attributeName.empty()) {
            reportError(tr(L"Invalid attribute", L"Ungültiges Attribut"));
            ++pos;
            continue;
        }
        pos = skipSpace(text, pos, length);
        NodeText value;
        bool quoted = false;
        size_t valueStart = 0, valueEnd = 0;
        if (pos < length && text[pos] == L'=') {
            pos = skipSpace(text, pos + 1, length);
            if (pos < length && (text[pos] == L'"' || text[pos] == L'\'')) {
                quoted = true;
                valueStart = pos + 1;
                const wchar_t* close = std::wmemchr(text + valueStart, text[pos], length - valueStart);
                valueEnd = close ? size_t(close - text) : length;
                pos = close ? valueEnd + 1 : length;
            } else {
                valueStart = pos;
                while (pos < length && !isSpace(text[pos]) && text[pos] != L'>' && text[pos] != L'/') ++pos;
                valueEnd = pos;
            }
            value = decodeXmlText(text + valueStart, valueEnd - valueStart);
        }
        Node* attribute = addNode(NodeKind::Attribute, attributeLine);
        attribute->name = attributeName;
        attribute->value = value;
        if (element->attributeCount < kManyAttributes) ++element->attributeCount;
        if (quoted && doc.recordSpans) recordSpan(doc, uint32_t(valueStart), uint32_t(valueEnd));
    }
}

void XmlParser::parse() {
    const std::wstring_view all(text, length);
    while (pos < length) {
        if (text[pos] != L'<') {
            const size_t end = pos + findChar(text + pos, length - pos, L'<');
            characterData(pos, end);
            pos = end;
            continue;
        }
        const wchar_t* p = text + pos;
        const size_t avail = length - pos;
        const wchar_t second = avail > 1 ? p[1] : 0;
        if (second == L'/') {
            endTag();
            continue;
        }
        if (second != L'!' && second != L'?') {
            startTag();
            continue;
        }
        static constexpr std::wstring_view kCommentOpen = L"<!--", kCDataOpen = L"<![CDATA[";
        if (startsWithWord(p, avail, kCommentOpen) || startsWithWord(p, avail, kCDataOpen)) {
            // Comments and CDATA sections run to their closer; without one, to the end of the text.
            const bool isComment = startsWithWord(p, avail, kCommentOpen);
            Node* node = addNode(isComment ? NodeKind::Comment : NodeKind::CData, lineAt(pos));
            const size_t contentStart = pos + (isComment ? kCommentOpen : kCDataOpen).size();
            const size_t close = all.find(isComment ? L"-->" : L"]]>", contentStart);
            const size_t contentLength = (close == all.npos ? length : close) - contentStart;
            if (isComment) {
                node->value = trimmed(text + contentStart, contentLength);
            } else {
                node->value = NodeText(text + contentStart, contentLength);
            }
            if (close == all.npos) {
                pos = length;
                return reportError(isComment ? tr(L"Unterminated comment", L"Kommentar nicht abgeschlossen")
                                             : tr(L"Unterminated CDATA section", L"CDATA nicht abgeschlossen"));
            }
            pos = close + 3;
        } else if (second == L'!') {
            Node* declaration = addNode(NodeKind::DocType, lineAt(pos));
            const size_t start = pos + 2;
            const size_t end = declarationEnd(start);
            size_t word = start;
            while (word < end && !isSpace(text[word])) ++word;
            declaration->name = NodeText(text + start, word - start);
            declaration->value = trimmed(text + word, end - word);
            readInternalEntities(text + start, end - start);
            pos = end < length ? end + 1 : length;
        } else {
            const uint32_t piLine = lineAt(pos);
            pos += 2;
            const NodeText target = readName();
            const NodeKind kind = (target == L"xml" && open.empty()) ? NodeKind::XmlDeclaration
                                                                      : NodeKind::ProcessingInstruction;
            Node* instruction = addNode(kind, piLine);
            const size_t close = all.find(L"?>", pos);
            instruction->name = target;
            instruction->value = trimmed(text + pos, (close == all.npos ? length : close) - pos);
            pos = close == all.npos ? length : close + 2;
        }
    }
}

void parseXml(Document& doc, const std::wstring& text, size_t start) {
    XmlParser parser(doc, text, start);
    parser.parse();
    parser.finish();
}

}  // namespace qm
