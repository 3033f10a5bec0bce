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

// The character of "lt", "gt", "amp", "quot" or "apos", or 0 for any other name.
wchar_t predefinedEntity(std::wstring_view name) {
    switch (name.size()) {
        case 2:
            if (name[1] != L't') return 0;
            return name[0] == L'l' ? L'<' : name[0] == L'g' ? L'>' : 0;
        case 3: return name == L"amp" ? L'&' : 0;
        case 4: return name == L"quot" ? L'"' : name == L"apos" ? L'\'' : 0;
        default: return 0;
    }
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
    return findEither(p, n, L'&', L'\r') == n ? NodeText(p, n) : decodedCopy(p, n);
}

NodeText XmlParser::decodedCopy(const wchar_t* p, size_t n) {
    scratch.clear();
    decodeInto(scratch, p, n);
    return storeText(doc, scratch);
}

void XmlParser::decodeInto(std::wstring& out, const wchar_t* p, size_t n) {
    out.reserve(out.size() + n);
    size_t i = 0;
    while (i < n) {
        // Up to the next reference or carriage return the text is copied as it stands.
        const size_t plain = i + findEither(p + i, n - i, L'&', L'\r');
        out.append(p + i, plain - i);
        i = plain;
        if (i == n) break;
        if (p[i] == L'\r') {  // CR LF and a lone CR both become LF
            out += L'\n';
            ++i;
            if (i < n && p[i] == L'\n') ++i;
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
        if (name.size() >= 2 && name[0] == L'#') {  // no other entity's name holds a "#"
            const bool hex = name[1] == L'x' || name[1] == L'X';
            const size_t digits = hex ? 2 : 1;
            appendCodePoint(out, readUnsigned32(name.data() + digits, name.size() - digits, hex ? 16 : 10));
        } else if (const wchar_t predefined = predefinedEntity(name)) {
            out += predefined;
        } else if (auto it = entities.empty() ? entities.end() : entities.find(std::wstring(name));
                   it != entities.end()) {
            if (it->second.size() <= expansionBudget) {
                expansionBudget -= it->second.size();
                out += it->second;
            } else {
                reportError(tr(L"Entity expansion limit exceeded", L"Grenze der Entitätsersetzung überschritten"));
                known = false;
            }
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

// As createNode does, with the node store's append inline: a node for every few characters.
inline Node* XmlParser::addNode(NodeKind kind, uint32_t line) {
    Node* node = &doc.nodes.append(doc.store);
    node->kind = kind;
    node->line = line;
    node->parent = currentParent();
    node->indexInParent = uint32_t(pending.size() - (open.empty() ? 0 : open.back().firstChild));
    pending.push_back(node);
    return node;
}

// Most runs between tags are the white space that indents the next one and make no node; the
// others are scanned once for their end (textRun), learning on the way whether the value needs a
// decoded copy (a reference or a carriage return in it) or can be the run of the text itself.
inline size_t XmlParser::characterData(size_t runStart) {
    size_t first = runStart;
    bool plain = true;
    while (first < length) {
        const wchar_t c = text[first];
        if (c != L' ' && c != L'\n' && c != L'\t') {
            if (!isSpace(c)) break;
            plain = plain && c != L'\r';
        }
        ++first;
    }
    if (first == length || text[first] == L'<') return first;
    return textRun(runStart, first, plain);
}

size_t XmlParser::textRun(size_t runStart, size_t first, bool plain) {
    size_t end = first + findFirstOf(text + first, length - first, L'<', L'&', L'\r');
    if (end < length && text[end] != L'<') {
        plain = false;
        end += findChar(text + end, length - end, L'<');
    }
    addText(runStart, first, end, plain);
    return end;
}

// A Text node for the run from runStart to runEnd, whose first character that is not white space
// is at `first` (before runEnd).
void XmlParser::addText(size_t runStart, size_t first, size_t runEnd, bool plain) {
    size_t last = runEnd;
    while (isSpace(text[last - 1])) --last;
    Node* node = addNode(NodeKind::Text, lineAt(runStart));
    const size_t n = runEnd - runStart;
    node->value.set(doc, plain ? NodeText(text + runStart, n) : decodedCopy(text + runStart, n));
    if (doc.recordSpans) recordSpan(doc, uint32_t(first), uint32_t(last));
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

void XmlParser::startCountingNames() {
    countingNames = true;
    for (OpenElement& element : open) {
        element.openCount = &openCountOf(element.node->name);
        ++*element.openCount;
    }
}

void XmlParser::openElement(Node* element) {
    size_t* count = nullptr;
    if (countingNames) {
        count = &openCountOf(element->name);
        ++*count;
    }
    open.push_back({element, pending.size(), count});
}

void XmlParser::closeInnermost() {
    const OpenElement& top = open.back();
    const size_t children = pending.size() - top.firstChild;
    if (children != 0) setChildren(doc, top.node, pending.data() + top.firstChild, children);
    pending.resize(top.firstChild);
    if (top.openCount) --*top.openCount;
    open.pop_back();
}

void XmlParser::closeTo(size_t depth) {
    while (open.size() > depth) closeInnermost();
}

void XmlParser::finish() {
    if (!open.empty()) reportError(notClosedMessage(open.back().node->name));
    closeTo(0);
    // The root's children already know their parent and place.
    if (!pending.empty()) setChildren(doc, doc.root, pending.data(), pending.size());
    pending.clear();
}

// The position past the ">" that ends a tag's remainder from `from` on, or the end of the text.
size_t XmlParser::pastTagEnd(size_t from) const {
    if (from < length && text[from] == L'>') return from + 1;
    const size_t gt = from + findChar(text + from, length - from, L'>');
    return gt < length ? gt + 1 : length;
}

void XmlParser::endTag() {
    pos += 2;
    // Most end tags close the innermost element: its name is compared in place, and when the
    // tag's name is exactly that, the element closes without the name being read first.
    if (!open.empty()) {
        const NodeText& innermost = open.back().node->name;
        const size_t n = innermost.size();
        if (n <= length - pos && startsWithWord(text + pos, n, innermost) &&
            (pos + n == length || !isNameChar(text[pos + n]))) {
            pos = pastTagEnd(pos + n);
            return closeInnermost();
        }
    }
    const NodeText name = readName();
    pos = pastTagEnd(pos);
    // Only elements can be closed: the root is never a candidate, whatever the end tag's name.
    if (!countingNames) startCountingNames();
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
        const size_t end = lt + 1 + findChar(text + lt + 1, length - lt - 1, L'<');
        addText(lt, lt, end, findEither(text + lt, end - lt, L'&', L'\r') == end - lt);
        pos = end;
        return;
    }
    Node* element = addNode(NodeKind::Element, tagLine);
    element->name.set(doc, name);
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
            closeInnermost();
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
                // One scan finds the closing quote and whether the value needs decoding.
                const wchar_t quote = text[pos];
                quoted = true;
                valueStart = pos + 1;
                valueEnd = valueStart + findFirstOf(text + valueStart, length - valueStart, quote, L'&', L'\r');
                const bool plain = valueEnd == length || text[valueEnd] == quote;
                if (!plain) valueEnd += findChar(text + valueEnd, length - valueEnd, quote);
                pos = valueEnd < length ? valueEnd + 1 : length;
                value = plain ? NodeText(text + valueStart, valueEnd - valueStart)
                              : decodedCopy(text + valueStart, valueEnd - valueStart);
            } else {
                valueStart = pos;
                while (pos < length && !isSpace(text[pos]) && text[pos] != L'>' && text[pos] != L'/') ++pos;
                valueEnd = pos;
                value = decodeXmlText(text + valueStart, valueEnd - valueStart);
            }
        }
        Node* attribute = addNode(NodeKind::Attribute, attributeLine);
        attribute->name.set(doc, attributeName);
        attribute->value.set(doc, value);
        if (element->attributeCount < kManyAttributes) ++element->attributeCount;
        if (quoted && doc.recordSpans) recordSpan(doc, uint32_t(valueStart), uint32_t(valueEnd));
    }
}

void XmlParser::parse() {
    const std::wstring_view all(text, length);
    while (pos < length) {
        if (text[pos] != L'<') {
            pos = characterData(pos);
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
                node->value.set(doc, trimmed(text + contentStart, contentLength));
            } else {
                node->value.set(doc, NodeText(text + contentStart, contentLength));
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
            declaration->name.set(doc, NodeText(text + start, word - start));
            declaration->value.set(doc, trimmed(text + word, end - word));
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
            instruction->name.set(doc, target);
            instruction->value.set(doc, trimmed(text + pos, (close == all.npos ? length : close) - pos));
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
