// YAML into the node tree. One pass over the text; block collections are recognised by the column
// of their entries, flow collections by their brackets. Block and flow nesting recurse, bounded by
// kMaxYamlBlockDepth and kMaxYamlFlowDepth, so every recursive frame is kept small. Alias and merge
// copies walk with an explicit stack and stop at kMaxYamlNodes, which keeps a file of nested
// aliases ("billion laughs") bounded in time and memory.
#include "parsers/yaml.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "document/chars.h"
#include "document/utf8.h"
#include "document/language.h"
#include "parsers/errortext.h"
#include "parsers/linecounter.h"

namespace qm {

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool isBreak(wchar_t c) { return c == L'\n' || c == L'\r'; }
bool isWhite(wchar_t c) { return isBlank(c) || isBreak(c); }
bool isFlowIndicator(wchar_t c) { return c == L',' || c == L'[' || c == L']' || c == L'{' || c == L'}'; }
bool isScalarKind(NodeKind k) {
    return k == NodeKind::String || k == NodeKind::Number || k == NodeKind::Bool || k == NodeKind::Null;
}
bool isQuote(wchar_t c) { return c == L'"' || c == L'\''; }

// Helpers stay out of line so that the frames of the recursive functions stay small: block
// nesting and flow nesting each run to their limit on a 256 KiB stack.
#define QM_NOINLINE __attribute__((noinline))

// Anchor and tag read in front of a node, kept as ranges of the text until the node is complete.
// Sixteen bytes, passed in registers: an anchor starts after its "&" (so never at 0) and a tag
// ends after its "!" (so never at 0).
struct Properties {
    uint32_t anchorStart = 0, anchorEnd = 0;
    uint32_t tagStart = 0, tagEnd = 0;
    bool hasAnchor() const { return anchorStart != 0; }
    bool hasTag() const { return tagEnd != 0; }
};

struct PendingComment {
    NodeText text;  // a run of the document's text
    uint32_t line;
};


bool equalsAny(std::wstring_view s, std::initializer_list<const wchar_t*> words) {
    for (const wchar_t* w : words)
        if (s == w) return true;
    return false;
}

const wchar_t* nestingTooDeep() { return tr(L"Nesting too deep", L"Verschachtelung zu tief"); }
const wchar_t* unexpectedEnd() { return tr(L"Unexpected end of file", L"Unerwartetes Dateiende"); }

class YamlParser {
public:
    YamlParser(Document& d, const std::wstring& t, size_t start)
        : text(t.c_str()), length(t.size()), begin(start < t.size() ? start : t.size()), pos(begin), doc(d) {}

    void parseStream();

private:
    const wchar_t* text;
    size_t length;
    size_t begin;  // the text proper starts here, after a leading U+FEFF
    size_t pos;
    LineCursor lineCursor;
    Document& doc;
    bool failed = false;
    int blockDepth = 0;
    std::unordered_map<std::wstring, Node*> anchors;
    std::vector<PendingComment> pending;
    NodeText pendingName;  // key of the node created next (empty for items and documents)
    // Where an empty block value would be written: just after its key's ":" or its item's "-".
    // The null made for it records there an empty span, so editing can fill it in; any other
    // node made first (a value on the lines below) forgets the place.
    size_t emptyValueAt = SIZE_MAX;
    bool pendingNameQuoted = false;  // pendingName was read from quotes
    // Members whose key is a quoted "<<": a key like any other, only the plain "<<" merges.
    std::unordered_set<const Node*> quotedMergeNames;
    std::vector<Properties> openAnchors;  // anchors of the nodes being built, innermost last

    // ---- positions and lines ----
    uint32_t lineAt(size_t position);
    long column(size_t position) const;
    bool whiteOrEnd(size_t p) const { return p >= length || isWhite(text[p]); }
    bool lineEndAt(size_t p) const { return p >= length || isBreak(text[p]); }
    // A line break: a line feed, or a carriage return that no line feed follows (CR LF breaks at its
    // line feed, its carriage return is trailing white space).
    bool breakAt(size_t p) const { return p < length && isLineEnd(text, length, p); }
    bool carriageReturnBeforeBreak(size_t p) const { return p < length && text[p] == L'\r' && !breakAt(p); }
    size_t lineEndFrom(size_t p) const { return findLineEnd(text, length, p); }
    bool sequenceItemAt(size_t p) const { return p < length && text[p] == L'-' && whiteOrEnd(p + 1); }
    bool documentMarkerAt(size_t p) const;
    size_t mappingColon(size_t lineStart) const;
    void skipBlanks() {
        while (pos < length && isBlank(text[pos])) ++pos;
    }

    // ---- errors, comments, nodes ----
    void fail(const wchar_t* message);
    void collectComment();
    void skipBlanksAndComment();
    bool skipToContent();
    void skipFlowSpace();
    void flushComments(Node* parent);
    Node* makeNode(NodeKind kind, Node* parent, bool keyed, uint32_t nodeLine);
    Node* makeNull(Node* parent, bool keyed, uint32_t nodeLine);

    // ---- block context ----
    Node* parseBlockNode(Node* parent, bool keyed, long indent, bool inlineValue);
    Node* parseValueBelow(Node* parent, bool keyed, long indent, uint32_t nodeLine);
    Node* parseBlockMapping(Node* parent, bool keyed, long indent);
    enum class KeyResult { Failed, WithValue, WithoutValue };
    void parseMappingValue(Node* mapping, long indent);
    KeyResult readMappingKey(long indent);
    Node* parseBlockSequence(Node* parent, bool keyed, long indent);
    bool nextEntryAt(long indent, bool isSequence);
    Node* parsePlainScalar(Node* parent, bool keyed, long indent, uint32_t nodeLine);
    size_t readPlainLine(bool& endedAtComment);
    Node* parseBlockScalar(Node* parent, bool keyed, long indent);

    // ---- flow context ----
    Node* parseFlowNode(Node* parent, bool keyed, int flowDepth);
    Node* parseFlowCollection(Node* parent, bool keyed, int flowDepth);
    void parseFlowMappingEntry(Node* mapping, wchar_t closer, int flowDepth);
    void parseFlowSequenceEntry(Node* sequence, wchar_t closer, uint32_t openLine, int flowDepth);
    void readFlowKey();
    size_t readFlowPlain();
    Node* parseFlowPlainScalar(Node* parent, bool keyed);

    // ---- scalars, properties, aliases ----
    Node* parseQuotedScalar(Node* parent, bool keyed, uint32_t nodeLine);
    std::wstring readQuoted();
    NodeText readQuotedText();
    void readEscape(std::wstring& out);
    uint32_t readHex(int maxDigits);
    Properties readProperties();
    void applyProperties(Node* node, Properties props);
    void openAnchor(Properties props);
    void closeAnchor(Properties props);
    Node* parseAlias(Node* parent, bool keyed);
    Node* copyNode(const Node* source, Node* parent, bool keyed);
    bool roomForCopy();
    void applyMergeKeys(Node* mapping);
    void renumberItems();
};

// The parser asks for lines out of order (a node notes its line before looking ahead, a flow
// entry may be read twice), so the cursor moves both ways from where it was last asked.
QM_NOINLINE uint32_t YamlParser::lineAt(size_t position) { return lineCursor.at(text, length, position); }

// Characters since the last line break (a tab counts as one); the first line counts from the
// start of the text proper, so a byte-order mark does not indent it.
QM_NOINLINE long YamlParser::column(size_t position) const {
    size_t q = position;
    while (q > begin && !breakAt(q - 1)) --q;
    return long(position - q);
}

QM_NOINLINE bool YamlParser::documentMarkerAt(size_t p) const {
    if (p + 3 > length || column(p) != 0) return false;
    const bool dashes = text[p] == L'-' && text[p + 1] == L'-' && text[p + 2] == L'-';
    const bool dots = text[p] == L'.' && text[p + 1] == L'.' && text[p + 2] == L'.';
    return (dashes || dots) && whiteOrEnd(p + 3);
}

// Position of the colon that makes the line starting at lineStart a mapping entry, or npos.
// A quoted key must close on its line; a plain key ends at the first ":" followed by white space,
// and a comment (a "#" after a space or tab) ends the search.
QM_NOINLINE size_t YamlParser::mappingColon(size_t lineStart) const {
    size_t p = lineStart;
    if (p >= length) return std::wstring::npos;
    const wchar_t first = text[p];
    if (isQuote(first)) {
        ++p;
        for (;;) {
            if (p >= length || breakAt(p)) return std::wstring::npos;
            const wchar_t c = text[p];
            if (first == L'"' && c == L'\\') {
                p += 2;
                continue;
            }
            if (c == first) {
                if (first == L'\'' && p + 1 < length && text[p + 1] == L'\'') {
                    p += 2;
                    continue;
                }
                ++p;
                break;
            }
            ++p;
        }
        while (p < length && isBlank(text[p])) ++p;
        return (p < length && text[p] == L':' && whiteOrEnd(p + 1)) ? p : std::wstring::npos;
    }
    if (first == L'[' || first == L'{' || first == L'#') return std::wstring::npos;
    for (; p < length && !breakAt(p); ++p) {
        if (text[p] == L'#' && p > lineStart && isBlank(text[p - 1])) return std::wstring::npos;
        if (text[p] == L':' && whiteOrEnd(p + 1)) return p;
    }
    return std::wstring::npos;
}

QM_NOINLINE void YamlParser::fail(const wchar_t* message) {
    if (doc.errorMessage.empty()) setDocumentError(doc, message, lineAt(pos));
    failed = true;
}

// At a "#": the comment runs to the line end; it waits for the next entry to find its parent.
QM_NOINLINE void YamlParser::collectComment() {
    const uint32_t commentLine = lineAt(pos);
    size_t start = pos + 1;
    size_t end = lineEndFrom(start);
    pos = end;
    while (start < end && isBlank(text[start])) ++start;
    while (end > start && (isBlank(text[end - 1]) || text[end - 1] == L'\r')) --end;
    pending.push_back({NodeText(text + start, end - start), commentLine});
}

QM_NOINLINE void YamlParser::skipBlanksAndComment() {
    skipBlanks();
    if (pos < length && text[pos] == L'#') collectComment();
}

QM_NOINLINE bool YamlParser::skipToContent() {
    for (;;) {
        while (pos < length && isWhite(text[pos])) ++pos;
        if (pos >= length) return false;
        if (text[pos] != L'#') break;
        collectComment();
    }
    return !documentMarkerAt(pos);
}

QM_NOINLINE void YamlParser::skipFlowSpace() {
    for (;;) {
        while (pos < length && isWhite(text[pos])) ++pos;
        if (pos >= length || text[pos] != L'#') return;
        collectComment();
    }
}

QM_NOINLINE void YamlParser::flushComments(Node* parent) {
    for (PendingComment& c : pending) {
        Node* n = createNode(doc, NodeKind::Comment, parent, c.line);
        n->value.set(doc, c.text);
    }
    pending.clear();
}

QM_NOINLINE Node* YamlParser::makeNode(NodeKind kind, Node* parent, bool keyed, uint32_t nodeLine) {
    Node* n = createNode(doc, kind, parent, nodeLine);
    n->name.set(doc, pendingName);
    if (pendingNameQuoted && keyed && n->name == L"<<") quotedMergeNames.insert(n);
    pendingName = NodeText();
    emptyValueAt = SIZE_MAX;
    pendingNameQuoted = false;
    n->keyed = keyed;
    return n;
}

QM_NOINLINE Node* YamlParser::makeNull(Node* parent, bool keyed, uint32_t nodeLine) {
    const size_t at = emptyValueAt;
    Node* n = makeNode(NodeKind::Null, parent, keyed, nodeLine);
    if (doc.recordSpans && at != SIZE_MAX) recordSpan(doc, uint32_t(at), uint32_t(at));
    n->value.set(doc, L"null");
    return n;
}

// ---------------------------------------------------------------------------------------------
// Stream and documents

QM_NOINLINE void YamlParser::parseStream() {
    for (;;) {
        const bool content = skipToContent();
        if (content && column(pos) == 0 && text[pos] == L'%') {  // a directive line
            pos = lineEndFrom(pos);
            continue;
        }
        if (!content) {
            if (pos >= length) break;
            const bool start = text[pos] == L'-';
            pos += 3;
            if (!start) continue;  // "..." ends a document
            skipBlanksAndComment();
            if (lineEndAt(pos)) continue;
        }
        flushComments(doc.root);
        parseBlockNode(doc.root, false, -1, false);
        if (failed) break;
        skipBlanksAndComment();
        if (skipToContent()) {
            fail(tr(L"Unexpected content", L"Unerwarteter Inhalt"));
            break;
        }
    }
    flushComments(doc.root);
    renumberItems();
}

// Sequence items and documents are counted without the comments between them.
QM_NOINLINE void YamlParser::renumberItems() {
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        Node& n = doc.nodes[i];
        if (n.kind != NodeKind::Array && n.kind != NodeKind::Root) continue;
        uint32_t index = 0;
        for (Node* child : n.children)
            if (child->kind != NodeKind::Comment) child->indexInParent = index++;
    }
}

// ---------------------------------------------------------------------------------------------
// Block context

QM_NOINLINE Node* YamlParser::parseBlockNode(Node* parent, bool keyed, long indent, bool inlineValue) {
    if (failed) return nullptr;
    if (blockDepth > kMaxYamlBlockDepth) {
        fail(nestingTooDeep());
        return nullptr;
    }
    ++blockDepth;
    const uint32_t nodeLine = lineAt(pos);
    const size_t nodeStart = pos;
    const Properties props = readProperties();
    if (props.hasAnchor() || props.hasTag()) emptyValueAt = SIZE_MAX;  // a value goes after them
    openAnchor(props);
    if (pos < length && text[pos] == L'#') collectComment();

    Node* node;
    const wchar_t c = pos < length ? text[pos] : L'\0';
    if (lineEndAt(pos))
        node = parseValueBelow(parent, keyed, indent, nodeLine);
    else if (c == L'*')
        node = parseAlias(parent, keyed);
    else if (c == L'[' || c == L'{')
        node = parseFlowNode(parent, keyed, 0);
    else if (c == L'|' || c == L'>')
        node = parseBlockScalar(parent, keyed, indent);
    else if (!inlineValue && sequenceItemAt(pos))
        node = parseBlockSequence(parent, keyed, column(pos));
    else if (!inlineValue && ((c == L'?' && whiteOrEnd(pos + 1)) || mappingColon(pos) != std::wstring::npos))
        // Properties in front of the first key belong to the mapping; its entries line up with
        // where the properties began, not with the first key.
        node = parseBlockMapping(parent, keyed, column(nodeStart));
    else if (isQuote(c))
        node = parseQuotedScalar(parent, keyed, nodeLine);
    else
        node = parsePlainScalar(parent, keyed, indent, nodeLine);
    closeAnchor(props);
    applyProperties(node, props);
    --blockDepth;
    return node;
}

// The node's line ended before its value: the value is on the following lines when they are
// indented deeper (or, for a mapping value, hold sequence items at the key's own column).
QM_NOINLINE Node* YamlParser::parseValueBelow(Node* parent, bool keyed, long indent, uint32_t nodeLine) {
    if (skipToContent()) {
        const long col = column(pos);
        if (col > indent || (col == indent && keyed && sequenceItemAt(pos)))
            return parseBlockNode(parent, keyed, indent, false);
    }
    return makeNull(parent, keyed, nodeLine);
}

// Reads the key of a block mapping entry into pendingName and steps past its ":". An explicit
// key ("? key") whose next content line does not start with ":" at the mapping's column has no
// value.
QM_NOINLINE YamlParser::KeyResult YamlParser::readMappingKey(long indent) {
    if (text[pos] == L'?' && whiteOrEnd(pos + 1)) {
        ++pos;
        skipBlanks();
        if (pos < length && isQuote(text[pos])) {
            pendingName = readQuotedText();
            pendingNameQuoted = true;
            if (failed) return KeyResult::Failed;
        } else {
            const size_t start = pos;
            while (pos < length && !breakAt(pos) && !(text[pos] == L'#' && (pos == start || isBlank(text[pos - 1]))))
                ++pos;
            size_t end = pos;
            while (end > start && (isBlank(text[end - 1]) || text[end - 1] == L'\r')) --end;
            pendingName = NodeText(text + start, end - start);
        }
        skipBlanksAndComment();
        if (skipToContent() && column(pos) == indent && text[pos] == L':') {
            ++pos;
            return KeyResult::WithValue;
        }
        return KeyResult::WithoutValue;
    }
    if (isQuote(text[pos])) {
        pendingName = readQuotedText();
        pendingNameQuoted = true;
        if (failed) return KeyResult::Failed;
        skipBlanks();
        if (pos >= length || text[pos] != L':') {
            fail(tr(L"Expected ':'", L"':' erwartet"));
            return KeyResult::Failed;
        }
        ++pos;
        return KeyResult::WithValue;
    }
    const size_t colon = (text[pos] == L'[' || text[pos] == L'{') ? std::wstring::npos : mappingColon(pos);
    if (colon == std::wstring::npos) {
        fail(tr(L"Expected a key", L"Schlüssel erwartet"));
        return KeyResult::Failed;
    }
    size_t start = pos;
    size_t end = colon;
    while (start < end && isBlank(text[start])) ++start;
    while (end > start && isBlank(text[end - 1])) --end;
    pendingName = NodeText(text + start, end - start);
    pos = colon + 1;
    return KeyResult::WithValue;
}

QM_NOINLINE Node* YamlParser::parseBlockMapping(Node* parent, bool keyed, long indent) {
    Node* mapping = makeNode(NodeKind::Object, parent, keyed, lineAt(pos));
    for (;;) {
        flushComments(mapping);
        const uint32_t entryLine = lineAt(pos);
        const KeyResult key = readMappingKey(indent);
        if (key == KeyResult::Failed) break;
        if (key == KeyResult::WithoutValue)
            makeNull(mapping, true, entryLine);
        else
            parseMappingValue(mapping, indent);
        if (!nextEntryAt(indent, false)) break;
    }
    pendingName = NodeText();
    pendingNameQuoted = false;
    applyMergeKeys(mapping);
    return mapping;
}

// After a key's ":": the value on the same line, or (through the line-end rule of parseBlockNode,
// which costs a second unit of block depth) on the lines below.
QM_NOINLINE void YamlParser::parseMappingValue(Node* mapping, long indent) {
    emptyValueAt = pos;
    skipBlanksAndComment();
    parseBlockNode(mapping, true, indent, true);
}

QM_NOINLINE Node* YamlParser::parseBlockSequence(Node* parent, bool keyed, long indent) {
    Node* sequence = makeNode(NodeKind::Array, parent, keyed, lineAt(pos));
    for (;;) {
        flushComments(sequence);
        const uint32_t itemLine = lineAt(pos);
        ++pos;  // the dash
        emptyValueAt = pos;
        skipBlanksAndComment();
        if (!lineEndAt(pos) || (skipToContent() && column(pos) > indent))
            parseBlockNode(sequence, false, indent, false);
        else
            makeNull(sequence, false, itemLine);
        if (!nextEntryAt(indent, true)) break;
    }
    return sequence;
}

// True when the next entry of the block collection at `indent` follows; a deeper line is an error.
QM_NOINLINE bool YamlParser::nextEntryAt(long indent, bool isSequence) {
    if (failed) return false;
    skipBlanksAndComment();
    if (!skipToContent()) return false;
    const long col = column(pos);
    if (col == indent) return sequenceItemAt(pos) == isSequence;
    if (col < indent) return false;
    fail(tr(L"Unexpected indentation", L"Unerwartete Einrückung"));
    return false;
}

// Reads one line of a plain scalar from pos: up to the line end or a comment. Returns the end of
// the text without trailing blanks; pos stays at the line feed or the "#".
QM_NOINLINE size_t YamlParser::readPlainLine(bool& endedAtComment) {
    const size_t start = pos;
    endedAtComment = false;
    while (pos < length && !breakAt(pos)) {
        if (text[pos] == L'#' && pos > start && isBlank(text[pos - 1])) {
            endedAtComment = true;
            break;
        }
        ++pos;
    }
    size_t end = pos;
    while (end > start && (isBlank(text[end - 1]) || text[end - 1] == L'\r')) --end;
    return end;
}


// A plain scalar in block context: its first line, then continuation lines indented deeper than
// the node's parent that are neither comments, document markers nor mapping entries. Lines are
// joined with a space, or with one line feed per blank line between them.
QM_NOINLINE Node* YamlParser::parsePlainScalar(Node* parent, bool keyed, long indent, uint32_t nodeLine) {
    const size_t start = pos;
    bool atComment = false;
    const size_t firstEnd = readPlainLine(atComment);
    std::wstring value;  // the joined lines of a scalar that continues; else the first line is the value
    bool multiLine = false;
    while (!atComment && pos < length) {
        size_t p = pos + 1;  // pos is at the line break ending the scalar's last line
        size_t blankLines = 0;
        size_t spaces = 0;
        size_t content = p;
        for (;;) {
            spaces = 0;
            while (p + spaces < length && text[p + spaces] == L' ') ++spaces;
            content = p + spaces;
            while (content < length && (isBlank(text[content]) || carriageReturnBeforeBreak(content))) ++content;
            if (!breakAt(content)) break;
            ++blankLines;
            p = content + 1;
        }
        if (content >= length || long(spaces) <= indent || text[content] == L'#' || documentMarkerAt(p) ||
            mappingColon(content) != std::wstring::npos)
            break;
        pos = content;
        const size_t end = readPlainLine(atComment);
        if (!multiLine) value.assign(text + start, firstEnd - start);
        if (blankLines == 0)
            value += L' ';
        else
            value.append(blankLines, L'\n');
        value.append(text + content, end - content);
        multiLine = true;
    }
    const NodeText scalar = multiLine ? storeText(doc, value) : NodeText(text + start, firstEnd - start);
    Node* node = makeNode(classifyYamlScalar(scalar), parent, keyed, nodeLine);
    if (scalar.empty()) {
        node->value.set(doc, L"null");
    } else {
        if (doc.recordSpans && !multiLine) recordSpan(doc, uint32_t(start), uint32_t(firstEnd));
        node->value.set(doc, scalar);
    }
    return node;
}

// A literal ("|") or folded (">") scalar. The header may carry chomping ("+" keep, "-" strip) and
// an explicit indentation digit; otherwise the first non-blank line sets the indentation.
QM_NOINLINE Node* YamlParser::parseBlockScalar(Node* parent, bool keyed, long indent) {
    enum class Chomping { Clip, Strip, Keep };
    const uint32_t nodeLine = lineAt(pos);
    const bool literal = text[pos] == L'|';
    ++pos;
    Chomping chomping = Chomping::Clip;
    int explicitIndent = 0;
    for (; pos < length; ++pos) {
        const wchar_t c = text[pos];
        if (c == L'+')
            chomping = Chomping::Keep;
        else if (c == L'-')
            chomping = Chomping::Strip;
        else if (isDigit(c))
            explicitIndent = c - L'0';
        else
            break;
    }
    pos = lineEndFrom(pos);  // the rest of the header line
    if (pos < length) ++pos;

    // A line: its start, the end of its text without a carriage return, its leading spaces, and
    // whether a line break ends it (the last line of a file may end without one).
    struct Line {
        size_t start, end, spaces;
        bool empty, broken;
    };
    auto lineFrom = [&](size_t p) {
        Line l{p, lineEndFrom(p), 0, true, false};
        l.broken = l.end < length;
        size_t textEnd = l.end;
        if (textEnd > p && text[textEnd - 1] == L'\r') --textEnd;
        while (p + l.spaces < textEnd && text[p + l.spaces] == L' ') ++l.spaces;
        l.empty = p + l.spaces == textEnd;
        l.end = textEnd;
        return l;
    };
    auto nextLineStart = [&](size_t p) {
        p = lineEndFrom(p);
        return p < length ? p + 1 : length;
    };

    long contentIndent;
    if (explicitIndent > 0) {
        contentIndent = (indent > 0 ? indent : 0) + explicitIndent;
    } else {
        contentIndent = -1;  // no content line found (yet)
        for (size_t p = pos; p < length; p = nextLineStart(p)) {
            const Line l = lineFrom(p);
            if (l.empty) continue;
            contentIndent = long(l.spaces);
            break;
        }
        if (contentIndent >= 0 && contentIndent <= indent) contentIndent = -2;  // belongs to the parent
    }

    std::vector<Line> lines;
    while (pos < length) {
        const Line l = lineFrom(pos);
        if (documentMarkerAt(pos)) break;
        if (!l.empty && (contentIndent < 0 || long(l.spaces) < contentIndent)) break;
        lines.push_back(l);
        pos = nextLineStart(pos);
    }

    size_t trailingEmpty = 0;
    while (trailingEmpty < lines.size() && lines[lines.size() - 1 - trailingEmpty].empty) ++trailingEmpty;
    const size_t contentLines = lines.size() - trailingEmpty;
    std::wstring value;
    bool previousNonBlank = false;
    bool previousIndented = false;
    for (size_t i = 0; i < contentLines; ++i) {
        const Line& l = lines[i];
        if (l.empty) {  // literal: joins with the line before; folded: stands for one line feed
            if (!literal || i > 0) value += L'\n';
            previousNonBlank = false;
            continue;
        }
        const size_t from = l.start + size_t(contentIndent);
        const bool indented = from < l.end && isBlank(text[from]);
        if (literal) {
            if (i > 0) value += L'\n';
        } else if (previousNonBlank) {
            value += (previousIndented || indented) ? L'\n' : L' ';
        }
        value.append(text + from, l.end - from);
        previousNonBlank = true;
        previousIndented = indented;
    }
    // Chomping keeps line breaks that the text has: clip the one after the last content line, keep
    // that one and those of the empty lines after it. A file that ends without a line break adds none.
    const size_t lastContent = contentLines > 0 ? contentLines - 1 : 0;
    if (chomping == Chomping::Clip && contentLines > 0 && lines[lastContent].broken) value += L'\n';
    if (chomping == Chomping::Keep) {
        size_t breaks = 0;
        for (size_t i = lastContent; i < lines.size(); ++i) breaks += lines[i].broken ? 1 : 0;
        value.append(breaks, L'\n');
    }

    Node* node = makeNode(NodeKind::String, parent, keyed, nodeLine);
    node->value.set(doc, storeText(doc, value));
    return node;
}

// ---------------------------------------------------------------------------------------------
// Flow context

QM_NOINLINE Node* YamlParser::parseFlowNode(Node* parent, bool keyed, int flowDepth) {
    if (flowDepth > kMaxYamlFlowDepth) {
        fail(nestingTooDeep());
        return nullptr;
    }
    skipFlowSpace();
    const Properties props = readProperties();
    skipFlowSpace();
    if (pos >= length) {
        fail(unexpectedEnd());
        return nullptr;
    }
    openAnchor(props);
    Node* node;
    const wchar_t c = text[pos];
    if (isQuote(c))
        node = parseQuotedScalar(parent, keyed, lineAt(pos));
    else if (c == L'*')
        node = parseAlias(parent, keyed);
    else if (c == L'[' || c == L'{')
        node = parseFlowCollection(parent, keyed, flowDepth);
    else
        node = parseFlowPlainScalar(parent, keyed);
    closeAnchor(props);
    applyProperties(node, props);
    return node;
}

QM_NOINLINE Node* YamlParser::parseFlowCollection(Node* parent, bool keyed, int flowDepth) {
    const bool isMapping = text[pos] == L'{';
    const wchar_t closer = isMapping ? L'}' : L']';
    const uint32_t openLine = lineAt(pos);
    Node* collection = makeNode(isMapping ? NodeKind::Object : NodeKind::Array, parent, keyed, openLine);
    ++pos;
    skipFlowSpace();
    if (pos >= length) {
        fail(unexpectedEnd());
        return collection;
    }
    if (text[pos] == closer) {
        ++pos;
        return collection;
    }
    for (;;) {
        const wchar_t c = text[pos];
        if (isMapping)
            parseFlowMappingEntry(collection, closer, flowDepth);
        else if (c == L'[' || c == L'{' || c == L'*' || c == L'&' || c == L'!')
            parseFlowNode(collection, false, flowDepth + 1);  // cannot be a key
        else
            parseFlowSequenceEntry(collection, closer, openLine, flowDepth);
        if (failed) return collection;
        skipFlowSpace();
        if (pos < length && text[pos] == closer) {
            ++pos;
            return collection;
        }
        if (pos >= length || text[pos] != L',') {
            fail(isMapping ? tr(L"Expected ',' or '}'", L"',' oder '}' erwartet")
                           : tr(L"Expected ',' or ']'", L"',' oder ']' erwartet"));
            return collection;
        }
        ++pos;
        skipFlowSpace();
        if (pos >= length) {
            fail(unexpectedEnd());
            return collection;
        }
        if (text[pos] == closer) {  // a trailing comma
            ++pos;
            return collection;
        }
    }
}

QM_NOINLINE void YamlParser::parseFlowMappingEntry(Node* mapping, wchar_t closer, int flowDepth) {
    if (text[pos] == L'?' && whiteOrEnd(pos + 1)) {
        ++pos;
        skipFlowSpace();
    }
    const uint32_t keyLine = lineAt(pos);
    readFlowKey();
    if (failed) return;
    skipFlowSpace();
    if (pos < length && text[pos] == L':') {
        ++pos;
        skipFlowSpace();
        if (pos >= length || (text[pos] != L',' && text[pos] != closer)) {
            parseFlowNode(mapping, true, flowDepth + 1);
            return;
        }
        emptyValueAt = pos;  // "{a: , b: 1}": the empty value's place, before the "," or the closer
    }
    makeNull(mapping, true, keyLine);
}

// An entry of a flow sequence: "key: value" makes a mapping of one pair; anything else is read
// again from its start as an ordinary node.
QM_NOINLINE void YamlParser::parseFlowSequenceEntry(Node* sequence, wchar_t closer, uint32_t openLine, int flowDepth) {
    const size_t entryStart = pos;
    const size_t pendingBefore = pending.size();
    readFlowKey();
    if (failed) return;
    skipFlowSpace();
    if (pos < length && text[pos] == L':' &&
        (whiteOrEnd(pos + 1) || text[pos + 1] == L',' || text[pos + 1] == closer)) {
        ++pos;
        createNode(doc, NodeKind::Object, sequence, openLine);  // the pair's mapping, an item
        Node* pair = sequence->children.back();
        const uint32_t keyLine = lineAt(pos);
        skipFlowSpace();
        emptyValueAt = pos;
        if (pos < length && (text[pos] == L',' || text[pos] == closer))
            makeNull(pair, true, keyLine);
        else
            parseFlowNode(pair, true, flowDepth + 2);
        return;
    }
    pos = entryStart;
    pending.resize(pendingBefore);
    pendingName = NodeText();
    pendingNameQuoted = false;
    parseFlowNode(sequence, false, flowDepth + 1);
}

// Reads a key in flow context (quoted or plain) into pendingName.
QM_NOINLINE void YamlParser::readFlowKey() {
    if (pos < length && isQuote(text[pos])) {
        pendingName = readQuotedText();
        pendingNameQuoted = true;
        return;
    }
    const size_t start = pos;
    const size_t end = readFlowPlain();
    pendingName = NodeText(text + start, end - start);
}

// Reads a plain scalar in flow context from pos; returns the end of its text without trailing
// blanks. It ends at a line break, a flow indicator, a ":" before white space or an indicator,
// or a comment.
QM_NOINLINE size_t YamlParser::readFlowPlain() {
    const size_t start = pos;
    while (pos < length) {
        const wchar_t c = text[pos];
        if (isBreak(c) || isFlowIndicator(c)) break;
        if (c == L':' && (pos + 1 >= length || isWhite(text[pos + 1]) || isFlowIndicator(text[pos + 1]))) break;
        if (c == L'#' && pos > start && isBlank(text[pos - 1])) break;
        ++pos;
    }
    size_t end = pos;
    while (end > start && isBlank(text[end - 1])) --end;
    return end;
}

QM_NOINLINE Node* YamlParser::parseFlowPlainScalar(Node* parent, bool keyed) {
    const uint32_t nodeLine = lineAt(pos);
    const size_t start = pos;
    const size_t end = readFlowPlain();
    const NodeText value(text + start, end - start);
    Node* node = makeNode(classifyYamlScalar(value), parent, keyed, nodeLine);
    if (value.empty()) {
        node->value.set(doc, L"null");
    } else {
        if (doc.recordSpans) recordSpan(doc, uint32_t(start), uint32_t(end));
        node->value.set(doc, value);
    }
    return node;
}

// ---------------------------------------------------------------------------------------------
// Quoted scalars

QM_NOINLINE Node* YamlParser::parseQuotedScalar(Node* parent, bool keyed, uint32_t nodeLine) {
    const size_t start = pos;
    const NodeText value = readQuotedText();
    Node* node = makeNode(NodeKind::String, parent, keyed, nodeLine);
    node->value.set(doc, value);
    if (doc.recordSpans && !failed) recordSpan(doc, uint32_t(start), uint32_t(pos));
    return node;
}

// Single quotes: two quotes stand for one. Double quotes: backslash escapes. Both fold a line
// break into a space, or into one line feed per blank line that follows it.
QM_NOINLINE std::wstring YamlParser::readQuoted() {
    const wchar_t quote = text[pos++];
    const bool doubleQuoted = quote == L'"';
    std::wstring out;
    size_t escapedEnd = 0;  // text written by escapes is content; folding never trims it
    while (pos < length) {
        const wchar_t c = text[pos];
        if (c == quote) {
            if (!doubleQuoted && pos + 1 < length && text[pos + 1] == L'\'') {
                out += L'\'';
                pos += 2;
                continue;
            }
            ++pos;
            return out;
        }
        if (carriageReturnBeforeBreak(pos)) {
            ++pos;
        } else if (breakAt(pos)) {
            size_t keep = out.size();
            while (keep > escapedEnd && isBlank(out[keep - 1])) --keep;
            out.resize(keep);
            ++pos;
            size_t blankLines = 0;
            for (;;) {
                while (pos < length && (isBlank(text[pos]) || carriageReturnBeforeBreak(pos))) ++pos;
                if (!breakAt(pos)) break;
                ++blankLines;
                ++pos;
            }
            if (blankLines == 0)
                out += L' ';
            else
                out.append(blankLines, L'\n');
        } else if (c == L'\\' && doubleQuoted && pos + 1 < length) {
            readEscape(out);
            escapedEnd = out.size();
        } else {
            out += c;
            ++pos;
        }
    }
    fail(tr(L"Unterminated string", L"Zeichenkette nicht abgeschlossen"));
    return out;
}

// A quoted scalar on one line without escapes is a run of the text; any other is read by
// readQuoted into the document's store.
NodeText YamlParser::readQuotedText() {
    const wchar_t quote = text[pos];
    const size_t start = pos + 1;
    size_t end = start;
    while (end < length && text[end] != quote && text[end] != L'\\' && text[end] != L'\n' && text[end] != L'\r') ++end;
    const bool plainRun = end < length && text[end] == quote && !(quote == L'\'' && end + 1 < length && text[end + 1] == L'\'');
    if (!plainRun) return storeText(doc, readQuoted());
    pos = end + 1;
    return NodeText(text + start, end - start);
}

// At a backslash inside double quotes, with at least one character after it.
QM_NOINLINE void YamlParser::readEscape(std::wstring& out) {
    const wchar_t e = text[pos + 1];
    pos += 2;
    switch (e) {
        case L't':
        case L'\t': out += L'\t'; break;
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        case L'a': out += wchar_t(0x07); break;
        case L'b': out += wchar_t(0x08); break;
        case L'e': out += wchar_t(0x1B); break;
        case L'f': out += wchar_t(0x0C); break;
        case L'v': out += wchar_t(0x0B); break;
        case L'L': out += wchar_t(0x2028); break;
        case L'N': out += wchar_t(0x85); break;
        case L'P': out += wchar_t(0x2029); break;
        case L'_': out += wchar_t(0xA0); break;
        case L'x': appendCodePoint(out, readHex(2)); break;
        case L'u': appendCodePoint(out, readHex(4)); break;
        case L'U': appendCodePoint(out, readHex(8)); break;
        case L'0': break;
        case L'\r':
            if (pos < length && text[pos] == L'\n') ++pos;
            [[fallthrough]];
        case L'\n':  // an escaped line break joins the lines without a space
            while (pos < length && isBlank(text[pos])) ++pos;
            break;
        default: out += e; break;
    }
}

QM_NOINLINE uint32_t YamlParser::readHex(int maxDigits) {
    uint32_t value = 0;
    for (int i = 0; i < maxDigits && pos < length && isHexDigit(text[pos]); ++i, ++pos) {
        const wchar_t c = text[pos];
        value = value * 16 + uint32_t(isDigit(c) ? c - L'0' : (c | 0x20) - L'a' + 10);
    }
    return value;
}

// ---------------------------------------------------------------------------------------------
// Properties, aliases, copies and merge keys

QM_NOINLINE Properties YamlParser::readProperties() {
    Properties props;
    for (;;) {
        if (pos >= length) break;
        if (text[pos] == L'&') {
            props.anchorStart = uint32_t(++pos);
            while (pos < length && !isWhite(text[pos]) && !isFlowIndicator(text[pos])) ++pos;
            props.anchorEnd = uint32_t(pos);
        } else if (text[pos] == L'!') {
            props.tagStart = uint32_t(pos);
            if (pos + 1 < length && text[pos + 1] == L'<') {  // verbatim: up to and including ">"
                while (pos < length && text[pos] != L'>' && !isBreak(text[pos])) ++pos;
                if (pos < length && text[pos] == L'>') ++pos;
            } else {
                while (pos < length && !isWhite(text[pos]) && !isFlowIndicator(text[pos])) ++pos;
            }
            props.tagEnd = uint32_t(pos);
        } else {
            break;
        }
        skipBlanks();
    }
    return props;
}

QM_NOINLINE void YamlParser::openAnchor(Properties props) {
    if (props.hasAnchor()) openAnchors.push_back(props);
}

QM_NOINLINE void YamlParser::closeAnchor(Properties props) {
    if (props.hasAnchor()) openAnchors.pop_back();
}

QM_NOINLINE void YamlParser::applyProperties(Node* node, Properties props) {
    if (!node || (!props.hasAnchor() && !props.hasTag())) return;
    std::wstring tagText;
    if (props.hasAnchor()) {
        std::wstring anchor(text + props.anchorStart, props.anchorEnd - props.anchorStart);
        tagText = L"&" + anchor;
        anchors[std::move(anchor)] = node;
    }
    if (props.hasTag()) {
        const std::wstring tag(text + props.tagStart, props.tagEnd - props.tagStart);
        if (isScalarKind(node->kind)) {
            if (tag == L"!!str")
                node->kind = NodeKind::String;
            else if (tag == L"!!int" || tag == L"!!float")
                node->kind = NodeKind::Number;
            else if (tag == L"!!bool")
                node->kind = NodeKind::Bool;
            else if (tag == L"!!null")
                node->kind = NodeKind::Null;
        }
        if (!tagText.empty()) tagText += L' ';
        tagText += tag;
    }
    setNodeTag(doc, node, internString(doc, tagText));
}

// An alias becomes a copy of its anchored node. A missing or recursive anchor is recorded without
// stopping the parse and the alias stands in as a string.
QM_NOINLINE Node* YamlParser::parseAlias(Node* parent, bool keyed) {
    const uint32_t aliasLine = lineAt(pos);
    const size_t start = ++pos;
    while (pos < length && !isWhite(text[pos]) && !isFlowIndicator(text[pos])) ++pos;
    const std::wstring aliasName(text + start, pos - start);
    // An anchor becomes usable once its node is complete; naming one whose node is still being
    // built (an enclosing node) is a recursive alias.
    bool recursive = false;
    for (const Properties& open : openAnchors)
        recursive = recursive || aliasName.compare(0, std::wstring::npos, text + open.anchorStart,
                                                   open.anchorEnd - open.anchorStart) == 0;
    const auto found = recursive ? anchors.end() : anchors.find(aliasName);
    if (found != anchors.end())
        for (const Node* p = parent; p && !recursive; p = p->parent) recursive = p == found->second;
    if (found == anchors.end() || recursive) {
        setDocumentError(doc,
                         (recursive ? tr(L"Recursive alias: *", L"Rekursiver Verweis: *")
                                    : tr(L"Unknown anchor: *", L"Unbekannter Anker: *")) +
                             quotedInMessage(aliasName),
                         aliasLine);
        Node* standIn = makeNode(NodeKind::String, parent, keyed, aliasLine);
        standIn->value.set(doc, storeText(doc, L"*" + aliasName));
        return standIn;
    }
    Node* copy = copyNode(found->second, parent, keyed);
    if (copy) setNodeTag(doc, copy, internString(doc, L"*" + aliasName));
    pendingName = NodeText();
    pendingNameQuoted = false;
    return copy;
}

QM_NOINLINE bool YamlParser::roomForCopy() {
    if (nodeCount(doc) <= kMaxYamlNodes) return true;
    fail(tr(L"Too many alias expansions", L"Zu viele Alias-Erweiterungen"));
    return false;
}

// Copies a subtree under parent with an explicit stack (the source may be as deep as the document).
// Children are visited by index: the walk never holds an iterator into a vector that may grow.
QM_NOINLINE Node* YamlParser::copyNode(const Node* source, Node* parent, bool keyed) {
    if (!roomForCopy()) return nullptr;
    Node* top = makeNode(source->kind, parent, keyed, source->line);
    top->value.set(doc, source->value);
    setNodeTag(doc, top, nodeTag(doc, source));
    struct Frame {
        const Node* source;
        Node* copy;
        size_t next;
    };
    std::vector<Frame> stack{{source, top, 0}};
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next >= f.source->children.size()) {
            stack.pop_back();
            continue;
        }
        const Node* child = f.source->children[f.next++];
        if (!roomForCopy()) break;
        Node* c = createNode(doc, child->kind, f.copy, child->line);
        c->name.set(doc, child->name);
        c->keyed = child->keyed;
        c->value.set(doc, child->value);
        if (const wchar_t* tag = nodeTag(doc, child)) setNodeTag(doc, c, tag);
        if (!child->children.empty()) stack.push_back({child, c, 0});
    }
    return top;
}

// "<<" entries merge the entries of a mapping (or of each mapping in a sequence) into theirs:
// keys already present win, earlier sources over later ones. The "<<" entries leave the list of
// children; they stay in the node store, where no view reaches them.
QM_NOINLINE void YamlParser::applyMergeKeys(Node* mapping) {
    bool anyMerge = false;
    auto isMergeKey = [this](const Node* child) {
        return child->keyed && child->name == L"<<" && !quotedMergeNames.count(child);
    };
    for (const Node* child : mapping->children) anyMerge = anyMerge || isMergeKey(child);
    if (!anyMerge) return;
    std::vector<Node*> sources;
    std::vector<Node*> kept;
    std::unordered_set<std::wstring_view> present;
    for (Node* child : mapping->children) {
        if (isMergeKey(child)) {
            sources.push_back(child);
        } else {
            kept.push_back(child);
            if (child->keyed) present.insert(child->name);
        }
    }
    setChildren(doc, mapping, kept.data(), kept.size());
    const wchar_t* mergedTag = internString(doc, L"<<");
    bool stopped = false;
    auto mergeFrom = [&](const Node* from) {
        for (size_t i = 0; i < from->children.size() && !stopped; ++i) {
            const Node* entry = from->children[i];
            if (!entry->keyed || present.count(entry->name)) continue;
            pendingName = entry->name;
            Node* copy = copyNode(entry, mapping, true);
            if (!copy) {
                stopped = true;
                break;
            }
            setNodeTag(doc, copy, mergedTag);
            present.insert(entry->name);
        }
    };
    for (const Node* source : sources) {
        if (source->kind == NodeKind::Object) {
            mergeFrom(source);
        } else if (source->kind == NodeKind::Array) {
            for (size_t i = 0; i < source->children.size() && !stopped; ++i)
                if (source->children[i]->kind == NodeKind::Object) mergeFrom(source->children[i]);
        }
        if (stopped) break;
    }
    pendingName = NodeText();
    pendingNameQuoted = false;
    for (size_t i = 0; i < mapping->children.size(); ++i) mapping->children[i]->indexInParent = uint32_t(i);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Scalar classification

NodeKind classifyYamlScalar(std::wstring_view s) {
    if (equalsAny(s, {L"", L"~", L"null", L"Null", L"NULL"})) return NodeKind::Null;
    if (equalsAny(s, {L"true", L"True", L"TRUE", L"false", L"False", L"FALSE"})) return NodeKind::Bool;
    if (equalsAny(s, {L".nan", L".NaN", L".NAN"})) return NodeKind::Number;
    const size_t signLength = (s[0] == L'+' || s[0] == L'-') ? 1 : 0;
    const std::wstring_view unsignedText = s.substr(signLength);
    if (equalsAny(unsignedText, {L".inf", L".Inf", L".INF"})) return NodeKind::Number;
    if (s.size() >= 2 && s[0] == L'0' && (s[1] == L'x' || s[1] == L'o')) {
        const bool hex = s[1] == L'x';
        if (s.size() == 2) return NodeKind::String;
        for (size_t i = 2; i < s.size(); ++i)
            if (hex ? !isHexDigit(s[i]) : (s[i] < L'0' || s[i] > L'7')) return NodeKind::String;
        return NodeKind::Number;
    }
    size_t i = signLength;
    size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == L'.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return NodeKind::String;
    if (i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
        ++i;
        if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) ++i;
        size_t exponentDigits = 0;
        while (i < s.size() && isDigit(s[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return NodeKind::String;
    }
    return i == s.size() ? NodeKind::Number : NodeKind::String;
}

void parseYaml(Document& doc, const std::wstring& text, size_t start) {
    if (!doc.root) return;
    YamlParser parser(doc, text, start);
    parser.parseStream();
}

}  // namespace qm
