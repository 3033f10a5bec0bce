// TOML into the node tree: one forward pass with a forward-and-backward line cursor. Values
// nested in arrays and inline tables are read with an explicit stack of open containers, so the
// nesting (bounded by kMaxTomlDepth) costs heap, never call stack.
//
// Comment lines wait in a pending list and go to the table that is current when the next
// key/value line is read, or to the table the next header opens; a comment after a value on the
// same line goes to the current table at once.
#include "parsers/toml.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "document/chars.h"
#include "document/utf8.h"
#include "document/language.h"
#include "parsers/errortext.h"
#include "parsers/linecounter.h"

namespace qm {

namespace {

struct PendingComment {
    NodeText text;  // a run of the document's text
    uint32_t line;
};

// A container still waiting for its closing bracket or brace.
struct OpenContainer {
    Node* node;
    bool inlineTable;  // "{...}"; otherwise an array "[...]"
    bool afterItem;    // an item was read: a separator or the closer comes next
};

// Keyed children are found by (parent, key) instead of by scanning the parent's children, so a
// file with many tables stays linear.
struct ChildKey {
    const Node* parent;
    std::wstring_view name;
    bool operator==(const ChildKey& o) const { return parent == o.parent && name == o.name; }
};
struct ChildKeyHash {
    size_t operator()(const ChildKey& k) const {
        return std::hash<std::wstring_view>()(k.name) ^ (std::hash<const void*>()(k.parent) * 31);
    }
};

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool isBareKeyChar(wchar_t c) { return isAlnum(c) || c == L'_' || c == L'-'; }
bool endsBareToken(wchar_t c) { return isSpace(c) || c == L'#' || c == L',' || c == L']' || c == L'}'; }

bool allOf(const std::wstring& s, size_t from, bool (*pred)(wchar_t)) {
    for (size_t i = from; i < s.size(); ++i)
        if (!pred(s[i])) return false;
    return true;
}
bool isOctalDigit(wchar_t c) { return c >= L'0' && c <= L'7'; }
bool isBinaryDigit(wchar_t c) { return c == L'0' || c == L'1'; }

size_t skipDigits(const std::wstring& s, size_t i) {
    while (i < s.size() && isDigit(s[i])) ++i;
    return i;
}

// Integers (decimal, 0x, 0o, 0b), decimal fractions and exponents, inf and nan; underscores are
// ignored wherever they stand.
bool isTomlNumber(const wchar_t* token, size_t length) {
    std::wstring s;
    s.reserve(length);
    for (size_t i = 0; i < length; ++i)
        if (token[i] != L'_') s += token[i];
    size_t i = 0;
    const bool signedNumber = !s.empty() && (s[0] == L'+' || s[0] == L'-');
    if (signedNumber) ++i;
    if (s.compare(i, std::wstring::npos, L"inf") == 0 || s.compare(i, std::wstring::npos, L"nan") == 0) return true;
    if (!signedNumber && s.size() >= 3 && s[0] == L'0') {
        if (s[1] == L'x') return allOf(s, 2, isHexDigit);
        if (s[1] == L'o') return allOf(s, 2, isOctalDigit);
        if (s[1] == L'b') return allOf(s, 2, isBinaryDigit);
    }
    size_t end = skipDigits(s, i);
    if (end == i) return false;
    i = end;
    if (i < s.size() && s[i] == L'.') {
        end = skipDigits(s, ++i);
        if (end == i) return false;
        i = end;
    }
    if (i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
        ++i;
        if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) ++i;
        end = skipDigits(s, i);
        if (end == i) return false;
        i = end;
    }
    return i == s.size();
}

// dddd-dd-dd at the start of at least 10 characters.
bool startsWithDate(const wchar_t* p, size_t n) {
    return n >= 10 && isDigit(p[0]) && isDigit(p[1]) && isDigit(p[2]) && isDigit(p[3]) && p[4] == L'-' &&
           isDigit(p[5]) && isDigit(p[6]) && p[7] == L'-' && isDigit(p[8]) && isDigit(p[9]);
}
// dd:dd at the start of at least 5 characters.
bool startsWithTime(const wchar_t* p, size_t n) {
    return n >= 5 && isDigit(p[0]) && isDigit(p[1]) && p[2] == L':' && isDigit(p[3]) && isDigit(p[4]);
}

unsigned hexValue(wchar_t c) { return isDigit(c) ? unsigned(c - L'0') : unsigned((c | 0x20) - L'a' + 10); }


class TomlParser {
public:
    TomlParser(Document& doc, const std::wstring& text, size_t start)
        : text_(text.c_str()), length_(text.size()), pos_(start), doc_(doc) {}

    void run();
    size_t lookupWork() const { return lookupWork_; }

private:
    const wchar_t* text_;
    size_t length_;
    size_t pos_;
    LineCursor lines_;
    Document& doc_;
    bool stop_ = false;
    std::vector<PendingComment> pending_;
    Node* top_ = nullptr;
    Node* current_ = nullptr;
    const wchar_t* datetimeTag_ = nullptr;
    std::vector<OpenContainer> open_;
    std::vector<NodeText> keyParts_;
    std::wstring scratch_;  // an unescaped string before it is copied to the document
    // The children of an indexed table that headers and dotted keys look for, by name.
    struct NamedChildren {
        Node* last = nullptr;       // the last keyed child of that name
        Node* lastArray = nullptr;  // the last keyed array of that name, for [[x]] headers
    };
    std::unordered_map<ChildKey, NamedChildren, ChildKeyHash> named_;
    // Every key that some indexed table or array carries: a scalar whose key is not among these
    // needs no look-up in the big map above, only in this small, cache-resident set.
    std::unordered_set<std::wstring_view> containerKeys_;
    // Tables with up to this many children are scanned instead of indexed in named_.
    static constexpr size_t kScanLimit = 32;
    size_t lookupWork_ = 0;  // children scanned and index look-ups made while finding tables
    void adopt(Node* parent, Node* child);
    void remember(Node* parent, Node* child);
    Node* lookup(Node* parent, std::wstring_view key);

    uint32_t lineAt(size_t position);
    void fail(const std::wstring& message) { fail(message, pos_); }
    void fail(const std::wstring& message, size_t at);

    bool atEnd() const { return pos_ >= length_; }
    // A line feed, or a carriage return without one after it (see isLineEnd).
    bool lineEndAt(size_t p) const { return p < length_ && isLineEnd(text_, length_, p); }
    wchar_t peek() const { return pos_ < length_ ? text_[pos_] : wchar_t(0); }
    void skipBlanks() {
        while (pos_ < length_ && isBlank(text_[pos_])) ++pos_;
    }
    void skipSpaceAndComments();
    PendingComment readComment();
    void attachComment(Node* table, PendingComment&& comment);
    void attachPending(Node* table);
    void expectLineEnd(Node* table);

    Node* addChild(Node* parent, NodeKind kind, NodeText key, bool keyed, uint32_t line);
    Node* findOrCreate(Node* parent, NodeText key, uint32_t line);
    Node* findOrCreateArray(Node* parent, NodeText key, uint32_t line);

    bool parseKey();
    void parseTableHeader();
    void parseKeyValue(Node* table, int depth);
    void parseValue(Node* container, NodeText key, bool keyed, int depth);
    void readOpenContainers();
    void parseBareValue(Node* container, NodeText key, bool keyed, uint32_t line);

    bool readBasicString(std::wstring& out);
    bool readBasicText(NodeText& out);
    bool readLiteralText(NodeText& out);
    bool readMultilineString(wchar_t quote, std::wstring& out);
    void appendEscape(std::wstring& out);
};

uint32_t TomlParser::lineAt(size_t position) { return lines_.at(text_, length_, position); }

void TomlParser::fail(const std::wstring& message, size_t at) {
    if (stop_) return;
    setDocumentError(doc_, message, lineAt(at));
    stop_ = true;
}

PendingComment TomlParser::readComment() {
    const uint32_t line = lineAt(pos_);
    size_t begin = ++pos_;  // past "#"
    pos_ = findLineEnd(text_, length_, pos_);
    size_t end = pos_;
    while (begin < end && isSpace(text_[begin])) ++begin;
    while (end > begin && isSpace(text_[end - 1])) --end;
    return PendingComment{NodeText(text_ + begin, end - begin), line};
}

void TomlParser::skipSpaceAndComments() {
    while (pos_ < length_) {
        if (isSpace(text_[pos_]))
            ++pos_;
        else if (text_[pos_] == L'#')
            pending_.push_back(readComment());
        else
            break;
    }
}

void TomlParser::attachComment(Node* table, PendingComment&& comment) {
    Node* node = createNode(doc_, NodeKind::Comment, table, comment.line);
    node->value.set(doc_, comment.text);
    adopt(table, node);
}

void TomlParser::attachPending(Node* table) {
    for (PendingComment& c : pending_) attachComment(table, std::move(c));
    pending_.clear();
}

// After a key/value pair or a header: blanks, an optional comment (it joins `table`), then a line
// end (CR LF, a line feed or a lone carriage return) or the end of the text.
void TomlParser::expectLineEnd(Node* table) {
    skipBlanks();
    if (peek() == L'#') attachComment(table, readComment());
    if (peek() == L'\r' && !lineEndAt(pos_)) ++pos_;  // the carriage return of CR LF
    if (atEnd()) return;
    if (!lineEndAt(pos_)) return fail(tr(L"Expected end of line", L"Zeilenende erwartet"));
    ++pos_;
}

Node* TomlParser::addChild(Node* parent, NodeKind kind, NodeText key, bool keyed, uint32_t line) {
    Node* node = createNode(doc_, kind, parent, line);
    if (keyed) {
        node->name.set(doc_, key);
        node->keyed = true;
    }
    adopt(parent, node);
    return node;
}

// Every new child passes here, comments too: a table that outgrows scanning is indexed whole at
// that moment, whichever child made it grow, and each later child as it comes. (Array items pass
// as well; being unkeyed, they are never indexed.)
void TomlParser::adopt(Node* parent, Node* child) {
    const size_t count = parent->children.size();
    if (count == kScanLimit + 1) {
        for (Node* c : parent->children) remember(parent, c);
    } else if (count > kScanLimit + 1) {
        remember(parent, child);
    }
}

// Only tables and arrays are looked up by name; a scalar only takes over a name that already has
// an entry, so a later header of that name still finds what it found before.
void TomlParser::remember(Node* parent, Node* child) {
    if (!child->keyed) return;
    if (child->kind == NodeKind::Object || child->kind == NodeKind::Array) {
        NamedChildren& entry = named_[ChildKey{parent, child->name}];
        entry.last = child;
        if (child->kind == NodeKind::Array) entry.lastArray = child;
        containerKeys_.insert(child->name);
    } else if (containerKeys_.count(child->name) != 0) {
        auto it = named_.find(ChildKey{parent, child->name});
        if (it != named_.end()) it->second.last = child;
    }
}

// What a header or dotted key names under `parent`: the last keyed child with that key, provided
// some keyed child with that key is a table or an array (the entry `remember` keeps). Small
// tables, nearly all of them, are scanned, which is faster than hashing and needs no map entry.
Node* TomlParser::lookup(Node* parent, std::wstring_view key) {
    const size_t count = parent->children.size();
    if (count > kScanLimit) {
        ++lookupWork_;
        auto it = named_.find(ChildKey{parent, key});
        return it == named_.end() ? nullptr : it->second.last;
    }
    Node* last = nullptr;
    for (size_t i = count; i-- > 0;) {
        ++lookupWork_;
        Node* child = parent->children[i];
        if (!child->keyed || child->name.size() != key.size() || child->name != key) continue;
        if (!last) last = child;
        if (child->kind == NodeKind::Object || child->kind == NodeKind::Array) return last;
    }
    return nullptr;
}

// The last keyed child of that name when it is a table (or an array of tables, whose last table
// is taken); otherwise a new table of that name.
Node* TomlParser::findOrCreate(Node* parent, NodeText key, uint32_t line) {
    if (Node* found = lookup(parent, key)) {
        if (found->kind == NodeKind::Object) return found;
        if (found->kind == NodeKind::Array && !found->children.empty() &&
            found->children.back()->kind == NodeKind::Object)
            return found->children.back();
    }
    return addChild(parent, NodeKind::Object, key, true, line);
}

// The last keyed array of that name among all children, also when later children took the name
// for something else, or a new one. An indexed table knows it without a scan, so a file that
// repeats [[x]] after x was given a plain value stays linear.
Node* TomlParser::findOrCreateArray(Node* parent, NodeText key, uint32_t line) {
    const size_t count = parent->children.size();
    if (count > kScanLimit) {
        ++lookupWork_;
        auto it = named_.find(ChildKey{parent, key});
        if (it != named_.end() && it->second.lastArray) return it->second.lastArray;
    } else {
        for (size_t i = count; i-- > 0;) {
            ++lookupWork_;
            Node* child = parent->children[i];
            if (child->keyed && child->kind == NodeKind::Array && child->name == key) return child;
        }
    }
    return addChild(parent, NodeKind::Array, key, true, line);
}

// Reads a possibly dotted key into keyParts_.
bool TomlParser::parseKey() {
    keyParts_.clear();
    for (;;) {
        skipBlanks();
        if (atEnd()) {
            fail(tr(L"Unexpected end of file", L"Unerwartetes Dateiende"));
            return false;
        }
        NodeText part;
        const wchar_t c = text_[pos_];
        if (c == L'"') {
            ++pos_;
            if (!readBasicText(part)) return false;
        } else if (c == L'\'') {
            ++pos_;
            if (!readLiteralText(part)) return false;
        } else {
            const size_t begin = pos_;
            while (pos_ < length_ && isBareKeyChar(text_[pos_])) ++pos_;
            if (pos_ == begin) {
                fail(tr(L"Expected a key", L"Schlüssel erwartet"));
                return false;
            }
            part = NodeText(text_ + begin, pos_ - begin);
        }
        keyParts_.push_back(part);
        skipBlanks();
        if (peek() != L'.') return true;
        ++pos_;
    }
}

void TomlParser::parseTableHeader() {
    const uint32_t line = lineAt(pos_);
    ++pos_;
    const bool arrayOfTables = peek() == L'[';
    if (arrayOfTables) ++pos_;
    if (!parseKey()) return;
    skipBlanks();
    if (arrayOfTables) {
        if (pos_ + 1 >= length_ || text_[pos_] != L']' || text_[pos_ + 1] != L']')
            return fail(tr(L"Expected ']]'", L"']]' erwartet"));
        pos_ += 2;
    } else {
        if (peek() != L']') return fail(tr(L"Expected ']'", L"']' erwartet"));
        ++pos_;
    }
    Node* table = top_;
    for (size_t i = 0; i + 1 < keyParts_.size(); ++i) table = findOrCreate(table, keyParts_[i], line);
    if (arrayOfTables) {
        Node* array = findOrCreateArray(table, keyParts_.back(), line);
        table = createNode(doc_, NodeKind::Object, array, line);
    } else {
        table = findOrCreate(table, keyParts_.back(), line);
    }
    current_ = table;
    attachPending(current_);
    expectLineEnd(current_);
}

// key = value into `table`; a container value is left open on open_ for readOpenContainers.
void TomlParser::parseKeyValue(Node* table, int depth) {
    const uint32_t keyLine = lineAt(pos_);
    if (!parseKey()) return;
    skipBlanks();
    if (peek() != L'=') return fail(tr(L"Expected '='", L"'=' erwartet"));
    ++pos_;
    skipBlanks();
    for (size_t i = 0; i + 1 < keyParts_.size(); ++i) table = findOrCreate(table, keyParts_[i], keyLine);
    parseValue(table, keyParts_.back(), true, depth);
}

// One value as a child of `container`. An array or inline table is created and pushed on open_;
// its items are read by readOpenContainers.
void TomlParser::parseValue(Node* container, NodeText key, bool keyed, int depth) {
    if (depth > kMaxTomlDepth) return fail(tr(L"Nesting too deep", L"Verschachtelung zu tief"));
    const wchar_t c = peek();
    if (atEnd() || c == L'\n' || c == L'\r') return fail(tr(L"Expected a value", L"Wert erwartet"));
    const uint32_t line = lineAt(pos_);
    const size_t begin = pos_;
    if (c == L'"' || c == L'\'') {
        NodeText value;
        bool singleLine = true;
        if (pos_ + 2 < length_ && text_[pos_ + 1] == c && text_[pos_ + 2] == c) {
            singleLine = false;
            pos_ += 3;
            scratch_.clear();
            if (!readMultilineString(c, scratch_)) return;
            value = storeText(doc_, scratch_);
        } else {
            ++pos_;
            if (!(c == L'"' ? readBasicText(value) : readLiteralText(value))) return;
        }
        Node* node = addChild(container, NodeKind::String, key, keyed, line);
        node->value.set(doc_, value);
        if (singleLine && doc_.recordSpans) recordSpan(doc_, uint32_t(begin), uint32_t(pos_));
        return;
    }
    if (c == L'[' || c == L'{') {
        Node* node = addChild(container, c == L'{' ? NodeKind::Object : NodeKind::Array, key, keyed, line);
        ++pos_;
        open_.push_back(OpenContainer{node, c == L'{', false});
        return;
    }
    parseBareValue(container, key, keyed, line);
}

// Items of the containers on open_, innermost first, until all are closed. Items nest one level
// deeper than the container holding them.
void TomlParser::readOpenContainers() {
    while (!stop_ && !open_.empty()) {
        OpenContainer& top = open_.back();
        skipSpaceAndComments();
        if (atEnd()) return fail(tr(L"Unexpected end of file", L"Unerwartetes Dateiende"));
        const wchar_t c = text_[pos_];
        if (c == (top.inlineTable ? L'}' : L']')) {
            ++pos_;
            open_.pop_back();
            continue;
        }
        if (top.afterItem) {
            if (c != L',')
                return fail(top.inlineTable ? tr(L"Expected ',' or '}'", L"',' oder '}' erwartet")
                                            : tr(L"Expected ',' or ']'", L"',' oder ']' erwartet"));
            ++pos_;
            top.afterItem = false;
            continue;
        }
        top.afterItem = true;
        Node* container = top.node;
        const int depth = int(open_.size());
        if (top.inlineTable)  // `top` may dangle once parseValue pushes
            parseKeyValue(container, depth);
        else
            parseValue(container, NodeText(), false, depth);
    }
}

// Booleans, numbers, dates and times: the token runs to white space, "#", ",", "]" or "}", and a
// date followed by a space and two digits takes the time after the space as well.
void TomlParser::parseBareValue(Node* container, NodeText key, bool keyed, uint32_t line) {
    const size_t begin = pos_;
    while (pos_ < length_ && !endsBareToken(text_[pos_])) ++pos_;
    if (startsWithDate(text_ + begin, pos_ - begin) && pos_ + 2 < length_ && text_[pos_] == L' ' &&
        isDigit(text_[pos_ + 1]) && isDigit(text_[pos_ + 2])) {
        ++pos_;
        while (pos_ < length_ && !endsBareToken(text_[pos_])) ++pos_;
    }
    const wchar_t* token = text_ + begin;
    const size_t n = pos_ - begin;
    NodeKind kind = NodeKind::String;
    bool dateTime = false;
    if ((n == 4 && std::wstring_view(token, n) == L"true") || (n == 5 && std::wstring_view(token, n) == L"false"))
        kind = NodeKind::Bool;
    else if (isTomlNumber(token, n))
        kind = NodeKind::Number;
    else if (startsWithDate(token, n) || startsWithTime(token, n))
        dateTime = true;
    else
        return fail(tr(L"Invalid value: ", L"Ungültiger Wert: ") + quotedInMessage(std::wstring_view(token, n)), begin);
    Node* node = addChild(container, kind, key, keyed, line);
    node->value.set(doc_, NodeText(token, n));
    if (dateTime) {
        if (!datetimeTag_) datetimeTag_ = internString(doc_, L"datetime");
        setNodeTag(doc_, node, datetimeTag_);
    }
    if (doc_.recordSpans) recordSpan(doc_, uint32_t(begin), uint32_t(pos_));
}

// After a backslash (pos_ on the character after it, which exists).
void TomlParser::appendEscape(std::wstring& out) {
    const wchar_t e = text_[pos_++];
    switch (e) {
        case L'b': out += L'\b'; break;
        case L't': out += L'\t'; break;
        case L'n': out += L'\n'; break;
        case L'f': out += L'\f'; break;
        case L'r': out += L'\r'; break;
        case L'e': out += wchar_t(0x1B); break;
        case L'u':
        case L'U': {
            // Whatever hexadecimal digits are there, up to 4 or 8, make the code point.
            const size_t maxDigits = e == L'u' ? 4 : 8;
            uint32_t cp = 0;
            for (size_t n = 0; n < maxDigits && pos_ < length_ && isHexDigit(text_[pos_]); ++n, ++pos_)
                cp = cp * 16 + hexValue(text_[pos_]);
            appendCodePoint(out, cp);
            break;
        }
        default: out += e; break;  // quote, backslash, and anything else stands for itself
    }
}

// pos_ just past the opening quote; ends past the closing one.
bool TomlParser::readBasicString(std::wstring& out) {
    for (;;) {
        const size_t run = pos_;
        while (pos_ < length_ && text_[pos_] != L'"' && text_[pos_] != L'\\' && !lineEndAt(pos_)) ++pos_;
        out.append(text_ + run, pos_ - run);
        if (atEnd() || lineEndAt(pos_)) break;
        if (text_[pos_++] == L'"') return true;
        if (atEnd() || lineEndAt(pos_)) break;
        appendEscape(out);
    }
    fail(tr(L"Unterminated string", L"Zeichenkette nicht abgeschlossen"));
    return false;
}

// A basic string without escapes is a run of the text; with escapes it is unescaped once into
// scratch_ and copied to the document.
bool TomlParser::readBasicText(NodeText& out) {
    const size_t run = pos_;
    size_t p = pos_;
    while (p < length_ && text_[p] != L'"' && text_[p] != L'\\' && !lineEndAt(p)) ++p;
    if (p < length_ && text_[p] == L'"') {
        out = NodeText(text_ + run, p - run);
        pos_ = p + 1;
        return true;
    }
    scratch_.clear();
    if (!readBasicString(scratch_)) return false;
    out = storeText(doc_, scratch_);
    return true;
}

bool TomlParser::readLiteralText(NodeText& out) {
    const size_t run = pos_;
    while (pos_ < length_ && text_[pos_] != L'\'' && !lineEndAt(pos_)) ++pos_;
    if (atEnd() || lineEndAt(pos_)) {
        fail(tr(L"Unterminated string", L"Zeichenkette nicht abgeschlossen"));
        return false;
    }
    out = NodeText(text_ + run, pos_ - run);
    ++pos_;
    return true;
}

// pos_ just past the three opening quotes. The carriage return of CR LF is dropped and a lone one
// becomes a line feed, so the value holds line feeds only; a run of four or five closing quotes
// gives its first one or two to the content.
bool TomlParser::readMultilineString(wchar_t quote, std::wstring& out) {
    const bool basic = quote == L'"';
    if (peek() == L'\r') ++pos_;
    if (peek() == L'\n') ++pos_;
    while (pos_ < length_) {
        const size_t run = pos_;
        while (pos_ < length_ && text_[pos_] != quote && text_[pos_] != L'\r' && !(basic && text_[pos_] == L'\\'))
            ++pos_;
        out.append(text_ + run, pos_ - run);
        if (atEnd()) break;
        const wchar_t c = text_[pos_];
        if (c == L'\r') {
            if (lineEndAt(pos_)) out += L'\n';
            ++pos_;
        } else if (c == quote) {
            size_t quotes = 0;
            while (pos_ + quotes < length_ && text_[pos_ + quotes] == quote) ++quotes;
            if (quotes < 3) {
                out.append(quotes, quote);
                pos_ += quotes;
                continue;
            }
            const size_t inContent = std::min<size_t>(quotes - 3, 2);
            out.append(inContent, quote);
            pos_ += inContent + 3;
            return true;
        } else {  // backslash
            if (++pos_ >= length_) break;
            size_t p = pos_;
            while (p < length_ && isBlank(text_[p])) ++p;
            if (p < length_ && (text_[p] == L'\n' || text_[p] == L'\r')) {
                // Line-ending backslash: the line break and all white space after it vanish.
                pos_ = p;
                while (pos_ < length_ && isSpace(text_[pos_])) ++pos_;
            } else {
                appendEscape(out);
            }
        }
    }
    fail(tr(L"Unterminated string", L"Zeichenkette nicht abgeschlossen"));
    return false;
}

void TomlParser::run() {
    top_ = createNode(doc_, NodeKind::Object, doc_.root, 1);
    current_ = top_;
    while (!stop_) {
        while (pos_ < length_ && isSpace(text_[pos_])) ++pos_;
        if (atEnd()) break;
        const wchar_t c = text_[pos_];
        if (c == L'#') {
            pending_.push_back(readComment());
        } else if (c == L'[') {
            parseTableHeader();
        } else {
            attachPending(current_);
            open_.clear();
            parseKeyValue(current_, 0);
            readOpenContainers();
            if (!stop_) expectLineEnd(current_);
        }
    }
    attachPending(current_);
}

}  // namespace

void parseToml(Document& doc, const std::wstring& text, size_t start, size_t* lookupWork) {
    TomlParser parser(doc, text, start);
    parser.run();
    if (lookupWork) *lookupWork = parser.lookupWork();
}

}  // namespace qm
