// The source view's lines without their text: the start of each line of a file shown as written,
// read from the document's own text when asked for; the XML and JSON formatter, which in one pass
// that keeps no text records the line of every node and each node's range, and later writes any
// screenful again from the tree; the line-to-node table and the tokenizer state per line. Nothing
// here recurses or rescans the text: deep trees and long lines cost what they hold.
#include "views/source.h"
#include "views/source_parts.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <initializer_list>
#include <cstring>
#include <type_traits>

#include "document/chars.h"
#include "document/embedded.h"
#include "edit/convert.h"
#include "edit/nodetext.h"
#include "views/syntax.h"
#include "views/tree.h"

namespace qm {

using namespace std::string_view_literals;

// ---- node positions ----

NodeIndexer::NodeIndexer(const Document& doc) : count_(doc.nodes.size()) {
    for (size_t base = 0; base < count_; base += NodeStore::kBlockSize) blocks_.push_back({&doc.nodes[base], base});
    std::sort(blocks_.begin(), blocks_.end(),
              [](const Block& a, const Block& b) { return std::less<const Node*>()(a.first, b.first); });
}

size_t NodeIndexer::indexOf(const Node* node) const {
    // Nodes are mostly asked for in the order they were made: try the last block first.
    if (hint_ < blocks_.size()) {
        const Block& block = blocks_[hint_];
        const size_t offset = size_t(node - block.first);
        if (!std::less<const Node*>()(node, block.first) && offset < NodeStore::kBlockSize && block.base + offset < count_)
            return block.base + offset;
    }
    auto after = std::upper_bound(blocks_.begin(), blocks_.end(), node, [](const Node* n, const Block& b) {
        return std::less<const Node*>()(n, b.first);
    });
    if (after == blocks_.begin()) return SIZE_MAX;
    const Block& block = *(after - 1);
    const size_t offset = size_t(node - block.first);
    if (offset >= NodeStore::kBlockSize || block.base + offset >= count_) return SIZE_MAX;
    hint_ = size_t(after - 1 - blocks_.begin());
    return block.base + offset;
}

namespace {

// Lines a formatted view writes per screenful it asks for: the painted lines and some after them,
// so that scrolling and the passes through all lines (states, search, copy) go on from where the
// formatter stopped.
constexpr uint64_t kWindowLines = 256;

bool isComment(const Node* node) { return node->kind == NodeKind::Comment; }


// The first position from `p` on that holds a line feed, carriage return or tab (or a character
// below them), else `size`: most of a text is other characters, tested four at a time where
// wchar_t is 16 bits (a lane below 14 is one whose value minus 14 borrows into its top bit).
size_t nextBreakOrTab(const wchar_t* text, size_t p, size_t size) {
    if constexpr (sizeof(wchar_t) == 2) {
        constexpr uint64_t kLanes = 0x0001000100010001ULL;
        for (; p + 4 <= size; p += 4) {
            uint64_t word;
            std::memcpy(&word, text + p, sizeof word);
            if ((word - kLanes * 14) & ~word & (kLanes * 0x8000)) break;
        }
    }
    while (p < size && text[p] > L'\r') ++p;
    return p;
}

}  // namespace

class SourceFormatter;

// Writes the formatted text as the view shows it: carriage returns dropped, tabs expanded to the
// next multiple of kSourceTabWidth, line feeds counted. The count of line feeds written is the
// current line, which the formatter uses for its ranges. Without a window it only counts (the
// index pass: lines, the longest line, the characters); with one it keeps the lines from `from`
// on and passes over the ones before.
class SourceLineWriter {
public:
    SourceLineWriter() = default;
    SourceLineWriter(std::wstring& text, std::vector<size_t>& starts) : text_(&text), starts_(&starts) {}

    void append(std::wstring_view piece) {
        const wchar_t* p = piece.data();
        const wchar_t* end = p + piece.size();
        while (text_ && line_ < from_) {
            // Lines before the window: only their line feeds matter.
            p = std::find(p, end, L'\n');
            if (p == end) return;
            ++p;
            newLine(false);
        }
        const size_t size = size_t(end - p);
        size_t run = 0;
        for (size_t at = nextBreakOrTab(p, 0, size); at < size; at = nextBreakOrTab(p, at + 1, size)) {
            const wchar_t c = p[at];
            if (c != L'\n' && c != L'\r' && c != L'\t') continue;
            put(p + run, p + at);
            run = at + 1;
            if (c == L'\n') {
                newLine(true);
            } else if (c == L'\t') {
                spaces(kSourceTabWidth - column_ % kSourceTabWidth);
            }
        }
        put(p + run, end);
    }
    // Literals are measured where they are written, not by wcslen at every call.
    template <size_t N>
    void append(const wchar_t (&piece)[N]) {
        append(std::wstring_view(piece, N - 1));
    }
    void append(wchar_t c) {
        if (c > L'\r' && !(text_ && line_ < from_)) return put(&c, &c + 1);
        append(std::wstring_view(&c, 1));
    }
    // A piece known to hold no line feed, carriage return or tab.
    void appendPlain(std::wstring_view piece) { put(piece.data(), piece.data() + piece.size()); }
    void spaces(size_t count) {
        if (count == 0) return;
        if (keeping()) text_->append(count, L' ');
        column_ += count;
        characters_ += count;
        lastFilled_ = line_;
    }
    void indent(size_t depth) { spaces(kIndentWidth * indentLevel(depth)); }
    // The line feeds written so far.
    int32_t line() const { return toLine(line_); }
    uint64_t lineNumber() const { return line_; }

    // Starts again at the start of `line`, keeping the lines from there on.
    void moveTo(uint64_t line) {
        line_ = line;
        from_ = line;
        column_ = 0;
        if (text_) starts_->push_back(text_->size());
    }
    void keepFrom(uint64_t from) { from_ = from; }

    // The index pass so far: the lines written whole and the longest line yet.
    void progress(SourceText& out) const {
        out.lineTotal = size_t(line_);
        out.maxLineLength = std::max(maxLineLength_, column_);
    }
    // The index pass ends: the lines, the longest line and the characters of the text, without
    // the empty lines at its end.
    void finish(SourceText& out) const {
        out.lineTotal = size_t(std::min<uint64_t>(line_ + 1, uint64_t(std::max<int64_t>(lastFilled_ + 1, 1))));
        out.maxLineLength = std::max(maxLineLength_, column_);
        out.textLength = characters_ + out.lineTotal - 1;
    }

private:
    bool keeping() const { return text_ && line_ >= from_; }
    void put(const wchar_t* from, const wchar_t* to) {
        if (from == to) return;
        if (keeping()) text_->append(from, size_t(to - from));
        column_ += size_t(to - from);
        characters_ += size_t(to - from);
        lastFilled_ = int64_t(line_);
    }
    void newLine(bool counted) {
        if (counted) maxLineLength_ = std::max(maxLineLength_, column_);
        if (keeping()) text_->push_back(L'\n');
        ++line_;
        column_ = 0;
        if (text_ && line_ >= from_) starts_->push_back(text_->size());
    }

    std::wstring* text_ = nullptr;
    std::vector<size_t>* starts_ = nullptr;
    uint64_t line_ = 0;
    uint64_t from_ = 0;
    size_t column_ = 0;
    size_t maxLineLength_ = 0;
    uint64_t characters_ = 0;
    int64_t lastFilled_ = -1;  // the last line that holds a character
};

namespace {

// Whether `text` holds a character jsonQuote escapes: a control character, '"' or '\\'. Tested a
// machine word at a time (a lane below 32 borrows into its top bit when 32 is taken from it, a
// lane equal to a character is zero after an exclusive or); most names and values hold none.
bool needsJsonEscape(std::wstring_view text) {
    using Lane = std::conditional_t<sizeof(wchar_t) == 2, uint16_t, uint32_t>;
    constexpr uint64_t kLanes = sizeof(wchar_t) == 2 ? 0x0001000100010001ULL : 0x0000000100000001ULL;
    constexpr uint64_t kTops = kLanes << (8 * sizeof(Lane) - 1);
    constexpr size_t kPerWord = sizeof(uint64_t) / sizeof(wchar_t);
    const auto below = [](uint64_t word, uint64_t bound) { return (word - kLanes * bound) & ~word & kTops; };
    const wchar_t* p = text.data();
    size_t i = 0;
    for (; i + kPerWord <= text.size(); i += kPerWord) {
        uint64_t word;
        std::memcpy(&word, p + i, sizeof word);
        if (below(word, 32) | below(word ^ (kLanes * Lane(L'"')), 1) | below(word ^ (kLanes * Lane(L'\\')), 1)) break;
    }
    for (; i < text.size(); ++i)
        if (unsigned(p[i]) < 32 || p[i] == L'"' || p[i] == L'\\') return true;
    return false;
}

// jsonQuote and xmlEscape build a new string; most names and values need no escaping at all and
// are written as they are.
void writeJsonString(SourceLineWriter& w, std::wstring_view text) {
    if (needsJsonEscape(text)) return w.append(jsonQuote(text));
    w.appendPlain(L"\"");
    w.appendPlain(text);
    w.appendPlain(L"\"");
}

void writeXmlEscaped(SourceLineWriter& w, std::wstring_view text, bool inAttribute) {
    const XmlPlace place = inAttribute ? XmlPlace::DoubleQuoted : XmlPlace::Text;
    const bool plain = std::none_of(text.begin(), text.end(), [place](wchar_t c) { return xmlNeedsEscape(c, place); });
    if (plain) return w.append(text);
    w.append(xmlEscape(text, inAttribute));
}

// Whether XML text begun in the tokenizer's first state ends in it, read line by line as the view
// shows it (carriage returns dropped, which could join the two halves of a "-->").
bool xmlLeavesContent(std::initializer_list<std::wstring_view> pieces) {
    uint8_t state = 0;
    std::wstring line;
    for (std::wstring_view piece : pieces) {
        for (wchar_t c : piece) {
            if (c == L'\n') {
                tokenizeXmlLine(line.data(), line.size(), state, nullptr);
                line.clear();
            } else if (c != L'\r') {
                line.push_back(c);
            }
        }
    }
    tokenizeXmlLine(line.data(), line.size(), state, nullptr);
    return state == 0;
}

// A JSON value written as it stands (a number, true, false, null) that the tokenizer cannot take
// for the start of a string or a comment.
bool isPlainJsonValue(std::wstring_view value) {
    return value.find_first_of(L"/\"'") == std::wstring_view::npos;
}

std::wstring_view trimmed(std::wstring_view v) {
    size_t first = 0, last = v.size();
    while (first < last && isSpace(v[first])) ++first;
    while (last > first && isSpace(v[last - 1])) --last;
    return v.substr(first, last - first);
}

}  // namespace

// The XML and JSON formatters as one machine that writes a step at a time: a step begins the next
// child of the innermost open container, or closes it. Its whole state is the stack of open
// containers, so it can start at any node of the tree: resumeAt rebuilds the stack down to the
// node a line belongs to from the line the index pass recorded for every node.
class SourceFormatter {
public:
    // With `index`, the index pass: every node's line and range are recorded there.
    SourceFormatter(Document& doc, SourceLineWriter& writer, const NodeIndexer& indexer, SourceText* index)
        : doc_(doc), w_(writer), indexer_(indexer), index_(index) {}

    void start() {
        stack_.clear();
        contributed_ = false;
        separatorWritten_ = false;
        Node* root = doc_.root;
        stack_.push_back({root, 0, root->children.size(), 0, 0, doc_.isDataFormat ? Kind::JsonTop : Kind::XmlTop});
    }
    bool done() const { return stack_.empty(); }

    void step() {
        Frame& frame = stack_.back();
        switch (frame.kind) {
            case Kind::XmlTop:
            case Kind::XmlElement:
                if (frame.next < frame.end) return beginXml(frame.node->children[frame.next++], frame.depth);
                return closeXml();
            case Kind::JsonContainer:
                skipComments(frame);
                if (frame.next < frame.end) {
                    Node* child = frame.node->children[frame.next++];
                    w_.indent(frame.depth + 1);
                    return beginJson(child, frame.depth + 1, true);  // may push: `frame` is not used after this
                }
                return closeJson();
            case Kind::JsonTop:
                skipComments(frame);
                if (frame.next < frame.end) {
                    Node* child = frame.node->children[frame.next++];
                    if (doc_.format == DocumentFormat::JsonLines && child->kind == NodeKind::Array) {
                        const size_t index = mark(child);
                        stack_.push_back({child, 0, child->children.size(), 0, 0, Kind::JsonLinesItems, index});
                        return;
                    }
                    return contribute(child, frame.next - 1, UINT32_MAX);
                }
                stack_.pop_back();
                return;
            case Kind::JsonLinesItems:
                skipComments(frame);
                if (frame.next < frame.end) {
                    const size_t item = frame.next++;
                    return contribute(frame.node->children[item], stack_[stack_.size() - 2].next - 1, item);
                }
                {
                    const size_t items = frame.index;
                    stack_.pop_back();
                    setRange(items, 0, w_.line());
                }
                return;
        }
    }

    // A pause of the index pass: each container still open holds its lines to the end until it
    // closes. Only the lines before the writer's are shown meanwhile, all of which it holds. The
    // containers held at the last pause and still open are not visited again, so that a deep tree
    // costs a pause only the containers opened since.
    void holdOpenRanges() {
        for (size_t k = std::min(heldFrames_, stack_.size()); k < stack_.size(); ++k) {
            const Frame& frame = stack_[k];
            if (frame.index != SIZE_MAX) setRange(frame.index, frame.kind == Kind::JsonLinesItems ? 0 : frame.first, INT32_MAX);
            ++index_->indexWork;
        }
        heldFrames_ = stack_.size();
    }
    // The index pass's step: the containers held open at the last pause that are still open.
    void indexStep() {
        step();
        heldFrames_ = std::min(heldFrames_, stack_.size());
        ++index_->indexWork;
    }

    // Places the machine at the last node boundary that starts a line at or before `line`:
    // the top-level value (data files) or child of the root (XML) starting there, then down
    // through the open containers whose children have begun by then, each level by a binary
    // search over its children's recorded lines. What lies between that boundary and `line` is
    // at most the text of one node, which the writer passes over.
    // Returns the depth of the stack it built, each level of which cost a search.
    size_t resumeAt(uint64_t line, const SourceText& index) {
        start();
        Node* root = doc_.root;
        auto lineOf = [&](const Node* node) -> uint64_t {
            const size_t i = indexer_.indexOf(node);
            return i < index.nodeLines.size() ? index.nodeLines[i] : UINT32_MAX;
        };
        size_t k = 0;
        if (doc_.isDataFormat) {
            const auto& tops = index.topValues;
            auto after = std::upper_bound(tops.begin(), tops.end(), line,
                                          [](uint64_t l, const SourceText::TopValue& t) { return l < t.line; });
            if (after == tops.begin()) return restart();
            const SourceText::TopValue& top = *(after - 1);
            if (top.rootIndex >= root->children.size()) return restart();
            contributed_ = true;
            if (top.itemIndex == UINT32_MAX) {
                k = top.rootIndex;
            } else {
                stack_.back().next = top.rootIndex + 1;
                Node* items = root->children[top.rootIndex];
                stack_.push_back({items, 0, items->children.size(), 0, 0, Kind::JsonLinesItems});
                k = top.itemIndex;
            }
        } else {
            k = lastStartingBy(stack_.back(), line, lineOf);
        }
        for (;;) {
            Frame& frame = stack_.back();
            if (k >= frame.end) return restart();  // the tree changed since the index pass
            Node* child = frame.node->children[k];
            const Frame open = frameOf(child, frame);
            if (open.next < open.end && line >= lineOf(child->children[open.next])) {
                frame.next = k + 1;
                stack_.push_back(open);
                stack_.back().first = toLine(lineOf(child));
                k = lastStartingBy(stack_.back(), line, lineOf);
                continue;
            }
            frame.next = k;
            separatorWritten_ = frame.kind == Kind::JsonTop || frame.kind == Kind::JsonLinesItems;
            w_.moveTo(lineOf(child));
            return stack_.size();
        }
    }

private:
    enum class Kind : uint8_t { XmlTop, XmlElement, JsonTop, JsonLinesItems, JsonContainer };
    // An open container: `next` is the child to write next, children up to `end` are written
    // (a JSON container's last child that is not a comment ends them).
    struct Frame {
        Node* node;
        size_t next;
        size_t end;
        size_t depth;   // XML: the children's depth; JSON: the container's
        int32_t first;
        Kind kind;
        size_t index = SIZE_MAX;  // the node's index in the index pass
    };

    size_t restart() {
        start();
        w_.moveTo(0);
        return 1;
    }

    // Records the line of `node` in the index pass; returns its index there (SIZE_MAX otherwise),
    // which its range is set by, so that a node is looked up once.
    size_t mark(const Node* node) {
        if (!index_) return SIZE_MAX;
        const size_t i = indexer_.indexOf(node);
        if (reach(i)) index_->nodeLines[i] = uint32_t(std::min<uint64_t>(w_.lineNumber(), UINT32_MAX));
        return i;
    }
    void setRange(size_t i, int32_t first, int32_t last) {
        if (index_ && reach(i)) index_->ranges[i] = LineRange{first, last};
    }
    // The index grows with the nodes the pass comes to, in the room reserved for every node, so
    // that its memory is touched a slice at a time rather than all before the first screen.
    bool reach(size_t i) {
        if (i == SIZE_MAX) return false;
        if (i >= index_->nodeLines.size()) {
            index_->nodeLines.resize(i + 1, UINT32_MAX);
            index_->ranges.resize(i + 1);
        }
        return true;
    }
    void setRange(const Node* node, int32_t first, int32_t last) {
        if (index_) setRange(indexer_.indexOf(node), first, last);
    }
    void closeRange(size_t i, int32_t first) { setRange(i, first, std::max(first, w_.line() - 1)); }
    // The index pass keeps statesFollowNodes only while every piece written is shown to leave the
    // tokenizer in its first state: element and attribute names it reads as names, escaped texts and
    // values, and the few kinds whose text is written as it stands tried on the tokenizer.
    template <typename Test>
    void checkPiece(const Test& leavesFirstState) {
        if (index_ && index_->statesFollowNodes && !leavesFirstState()) index_->statesFollowNodes = false;
    }
    void skipComments(Frame& frame) {
        while (frame.next < frame.end && isComment(frame.node->children[frame.next])) mark(frame.node->children[frame.next++]);
    }

    // The frame `node` opens when it is begun as a child of `parent` (next == end: none).
    static Frame frameOf(Node* node, const Frame& parent) {
        if (parent.kind == Kind::XmlTop || parent.kind == Kind::XmlElement) {
            const size_t attributes = std::min<size_t>(attributeCount(node), node->children.size());
            const size_t others = node->children.size() - attributes;
            const bool opens = node->kind == NodeKind::Element && others > 0 &&
                               !(others == 1 && node->children[attributes]->kind == NodeKind::Text);
            return {node, attributes, opens ? node->children.size() : attributes, parent.depth + 1, 0, Kind::XmlElement};
        }
        size_t last = 0;
        if (node->kind == NodeKind::Object || node->kind == NodeKind::Array) {
            last = node->children.size();
            while (last > 0 && isComment(node->children[last - 1])) --last;
        }
        const size_t depth = parent.kind == Kind::JsonContainer ? parent.depth + 1 : 0;
        return {node, 0, last, depth, 0, Kind::JsonContainer};
    }

    // The last child of `frame` from its next one on whose recorded line is at most `line`.
    template <typename LineOf>
    static size_t lastStartingBy(const Frame& frame, uint64_t line, const LineOf& lineOf) {
        size_t low = frame.next, high = frame.end;  // the answer is below `high`
        while (high - low > 1) {
            const size_t mid = low + (high - low) / 2;
            if (lineOf(frame.node->children[mid]) <= line)
                low = mid;
            else
                high = mid;
        }
        return low;
    }

    // ---- XML ----

    // Writes a node that has nothing to descend into, or opens an element that has.
    void beginXml(Node* node, size_t depth) {
        const size_t index = mark(node);
        const int32_t first = w_.line();
        switch (node->kind) {
            case NodeKind::Element: {
                w_.indent(depth);
                w_.append(L'<');
                w_.append(node->name);
                checkPiece([node] { return isXmlTokenName(node->name); });
                const size_t attributes = std::min<size_t>(attributeCount(node), node->children.size());
                for (size_t i = 0; i < attributes; ++i) {
                    const Node* attribute = node->children[i];
                    checkPiece([attribute] { return isXmlTokenName(attribute->name); });
                    const int32_t line = w_.line();
                    w_.append(L' ');
                    w_.append(attribute->name);
                    w_.append(L"=\"");
                    writeXmlEscaped(w_, attribute->value, true);
                    w_.append(L'"');
                    setRange(attribute, line, line);
                }
                const size_t others = node->children.size() - attributes;
                if (others == 0) {
                    w_.append(L"/>\n");
                } else if (others == 1 && node->children[attributes]->kind == NodeKind::Text) {
                    const Node* text = node->children[attributes];
                    w_.append(L'>');
                    writeXmlEscaped(w_, text->value, false);
                    w_.append(L"</");
                    w_.append(node->name);
                    w_.append(L">\n");
                    setRange(text, first, first);
                } else {
                    w_.append(L">\n");
                    stack_.push_back({node, attributes, node->children.size(), depth + 1, first, Kind::XmlElement, index});
                    return;
                }
                break;
            }
            case NodeKind::Text:
                w_.indent(depth);
                writeXmlEscaped(w_, trimmed(node->value), false);
                w_.append(L'\n');
                break;
            case NodeKind::CData: writeWrappedLine(depth, L"<![CDATA[", node->value, L"]]>\n"); break;
            case NodeKind::Comment: writeWrappedLine(depth, L"<!-- ", node->value, L" -->\n"); break;
            case NodeKind::ProcessingInstruction:
            case NodeKind::XmlDeclaration:
                checkPiece([node] {
                    return xmlLeavesContent({L"<?", node->name, node->value.empty() ? L"" : L" ", node->value, L"?>"});
                });
                w_.indent(depth);
                w_.append(L"<?");
                w_.append(node->name);
                if (!node->value.empty()) {
                    w_.append(L' ');
                    w_.append(node->value);
                }
                w_.append(L"?>\n");
                break;
            case NodeKind::DocType:
                checkPiece([node] { return xmlLeavesContent({L"<!", node->name, L" ", node->value, L">"}); });
                w_.indent(depth);
                w_.append(L"<!");
                w_.append(node->name);
                w_.append(L' ');
                w_.append(node->value);
                w_.append(L">\n");
                break;
            default: return;
        }
        closeRange(index, first);
    }

    void closeXml() {
        const Frame done = stack_.back();
        stack_.pop_back();
        if (done.kind == Kind::XmlTop) return;
        w_.indent(done.depth - 1);
        w_.append(L"</");
        w_.append(done.node->name);
        w_.append(L">\n");
        closeRange(done.index, done.first);
    }

    // One indented line: opening mark, the node's text as it is, closing mark and line feed.
    void writeWrappedLine(size_t depth, const wchar_t* open, std::wstring_view text, const wchar_t* close) {
        checkPiece([&] { return xmlLeavesContent({open, text, close}); });
        w_.indent(depth);
        w_.append(open);
        w_.append(text);
        w_.append(close);
    }

    // ---- JSON ----

    // A value at the top of a data file (or an item of a JSON Lines file's array), after an empty
    // line when another came before it.
    void contribute(Node* node, size_t rootIndex, size_t itemIndex) {
        if (contributed_ && !separatorWritten_) w_.append(L"\n\n");
        contributed_ = true;
        separatorWritten_ = false;
        if (index_) index_->topValues.push_back({uint32_t(rootIndex), uint32_t(itemIndex),
                                                 uint32_t(std::min<uint64_t>(w_.lineNumber(), UINT32_MAX))});
        beginJson(node, 0, false);
    }

    void afterMember() {
        if (stack_.empty() || stack_.back().kind != Kind::JsonContainer) return;
        const Frame& parent = stack_.back();
        if (parent.next == parent.end)
            w_.append(L"\n");
        else
            w_.append(L",\n");
    }

    void beginJson(Node* node, size_t depth, bool withKey) {
        const size_t index = mark(node);
        const int32_t first = w_.line();
        if (withKey && node->keyed) {
            writeJsonString(w_, node->name);
            w_.appendPlain(L": ");
        }
        if (node->kind == NodeKind::String) {
            writeJsonString(w_, node->value);
        } else if (node->kind == NodeKind::Object || node->kind == NodeKind::Array) {
            const bool object = node->kind == NodeKind::Object;
            size_t last = node->children.size();
            while (last > 0 && isComment(node->children[last - 1])) --last;
            if (last == 0) {
                w_.append(object ? L"{}"sv : L"[]"sv);
            } else {
                w_.append(object ? L"{\n"sv : L"[\n"sv);
                stack_.push_back({node, 0, last, depth, first, Kind::JsonContainer, index});
                return;
            }
        } else {
            checkPiece([node] { return isPlainJsonValue(node->value); });
            w_.append(node->value);
        }
        setRange(index, first, w_.line());
        afterMember();
    }

    void closeJson() {
        const Frame done = stack_.back();
        stack_.pop_back();
        w_.indent(done.depth);
        w_.append(done.node->kind == NodeKind::Object ? L'}' : L']');
        setRange(done.index, done.first, w_.line());
        afterMember();
    }

    Document& doc_;
    SourceLineWriter& w_;
    const NodeIndexer& indexer_;
    SourceText* index_;
    std::vector<Frame> stack_;
    size_t heldFrames_ = 0;          // open containers whose ranges the last pause held open
    bool contributed_ = false;       // a top-level value has been written
    bool separatorWritten_ = false;  // the empty line before the next top-level value is written
};

// The lines a formatted text produced last, from `first`: `complete` whole lines, then, while
// `paused`, the start of the next line with the formatter and writer stopped after it. A text shown
// as written uses `text` alone, for a line whose tabs or carriage returns it must change.
struct SourceWindow {
    explicit SourceWindow(Document& doc) : indexer(doc), writer(text, starts), formatter(doc, writer, indexer, nullptr) {}

    std::wstring text;
    std::vector<size_t> starts;  // start in text of each line from `first` on
    uint64_t first = 0;
    uint64_t complete = 0;
    bool paused = false;
    NodeIndexer indexer;
    SourceLineWriter writer;
    SourceFormatter formatter;
};

struct SourceIndexRun {
    SourceIndexRun(Document& doc, SourceText& out) : formatter(doc, counter, out.window->indexer, &out) { formatter.start(); }

    SourceLineWriter counter;
    SourceFormatter formatter;
};

namespace {

// A file shown as read: a node's lines run from its own line to the line of its last descendant.
// The store holds children after their parents, so one walk from the back sees every node after
// all of its descendants.
// Also tells, for XML, whether the states of the lines follow its elements (statesFollowElements),
// in the same pass over the nodes.
void rangesFromSourceLines(const Document& doc, const NodeIndexer& indexer, SourceText& out) {
    std::vector<LineRange>& ranges = out.ranges;
    const std::wstring_view written(out.writtenData, out.writtenSize);
    bool alike = doc.format == DocumentFormat::Xml && doc.errorMessage.empty();
    for (size_t i = doc.nodes.size(); i-- > 0;) {
        const Node& node = doc.nodes[i];
        if (alike && (node.kind == NodeKind::Attribute || node.kind == NodeKind::DocType))
            alike = tokenizedAsParsed(node, written);
        LineRange& r = ranges[i];
        // Such a node has no range, whatever its descendants gave it, and gives its parent none.
        if (node.kind == NodeKind::Root || node.line == 0) {
            r = LineRange{};
            continue;
        }
        const int32_t own = toLine(uint64_t(node.line) - 1);
        r.last = std::max(own, r.last);
        r.first = own;
        const Node* parent = node.parent;
        if (!parent || parent->kind == NodeKind::Root) continue;
        const size_t p = indexer.indexOf(parent);
        if (p < ranges.size()) ranges[p].last = std::max(ranges[p].last, r.last);
    }
    out.statesFollowElements = alike;
}

// Nodes from the end of the store whose lines size the index of a file shown as written, and the
// lines reserved beyond them.
constexpr size_t kLastNodesLooked = 64;
constexpr size_t kSpareLines = 4096;

// A file shown as written: the start of every line in its text, the longest line after tabs are
// expanded, and the characters shown, in one pass over the text.
// Returns the count of line feeds.

size_t indexWrittenLines(const Document& doc, SourceText& out) {
    const std::wstring_view written = writtenText(doc);
    out.writtenData = written.data();
    out.writtenSize = written.size();
    out.loneCarriageReturnEndsLine = doc.format == DocumentFormat::Yaml || doc.format == DocumentFormat::Toml ||
                                     doc.format == DocumentFormat::Registry;
    // Starts are 31 bits: a file is at most kMaxFileBytes long; an edited text beyond that range
    // is shown up to it.
    const size_t size = std::min<size_t>(written.size(), kLineChanged - 1);
    const wchar_t* text = written.data();
    std::vector<uint32_t>& starts = out.writtenStarts;
    // Sized once from the lines the parser reached (its last nodes and its error), with room to
    // spare: reserving touches no memory, while growing by doubling would touch twice the memory
    // and copy it on the way, and counting the lines first would read the whole text once more.
    size_t reached = doc.errorLine;
    for (size_t i = doc.nodes.size(), n = 0; i-- > 0 && n < kLastNodesLooked; ++n) reached = std::max<size_t>(reached, doc.nodes[i].line);
    starts.reserve(std::min(size + 2, reached + reached / 8 + kSpareLines));
    starts.assign(1, 0);
    size_t lineFeeds = 0;
    size_t longest = 0;
    uint64_t characters = 0;
    int64_t lastFilled = -1;
    // A line's length as shown is its length in the text, plus the spaces its tabs add, less its
    // carriage returns; only those characters and line ends stop the scan.
    size_t lineStart = 0;
    ptrdiff_t added = 0;
    bool changed = false;  // a tab, or a carriage return that does not end the line
    auto endLine = [&](size_t end) {
        if (changed) starts.back() |= kLineChanged;
        const size_t shown = size_t(ptrdiff_t(end - lineStart) + added);
        longest = std::max(longest, shown);
        characters += shown;
        if (shown > 0) lastFilled = int64_t(starts.size() - 1);
    };
    for (size_t p = nextBreakOrTab(text, 0, size); p < size; p = nextBreakOrTab(text, p + 1, size)) {
        const wchar_t c = text[p];
        if (c == L'\t') {
            const size_t column = size_t(ptrdiff_t(p - lineStart) + added);
            added += ptrdiff_t(kSourceTabWidth - column % kSourceTabWidth) - 1;
            changed = true;
        } else if (c == L'\n' || (c == L'\r' && out.loneCarriageReturnEndsLine && (p + 1 == size || text[p + 1] != L'\n'))) {
            endLine(p);
            lineFeeds += c == L'\n';
            lineStart = p + 1;
            added = 0;
            changed = false;
            starts.push_back(uint32_t(p + 1));
        } else if (c == L'\r') {
            --added;
            changed = changed || p + 1 == size || text[p + 1] != L'\n';
        }
    }
    endLine(size);
    out.maxLineLength = longest;
    // No empty lines at the end, except those up to a parse error's line, which stays shown.
    const bool failed = !doc.errorMessage.empty() && doc.errorLine > 0;
    const size_t keep = std::max<size_t>(failed ? doc.errorLine : 0, 1);
    out.lineTotal = std::min(starts.size(), std::max(size_t(lastFilled + 1), keep));
    starts.resize(out.lineTotal);
    starts.push_back(uint32_t(size));
    out.textLength = characters + out.lineTotal - 1;
    if (failed) out.errorLine = std::min<int64_t>(int64_t(doc.errorLine) - 1, int64_t(out.lineTotal) - 1);
    return lineFeeds;
}

// Whether a JSON or XML text of `lines` lines is shown as written when the layout is left to the
// text: unless it is minified.
bool readsAsWritten(const Document& doc, size_t textSize, size_t lines) {
    return textSize / lines <= kSourceMinifiedLineLength && doc.nodes.size() <= kSourceMinifiedNodesPerLine * lines;
}

// Line i of a file shown as written: its own text when it has no tab or carriage return to change,
// else the line as shown, written into the window's text.
std::wstring_view writtenLine(const SourceText& source, size_t i) {
    const std::wstring_view written = writtenText(*source.document);
    // An edit changes the text before the view is built again: until then nothing is read from it.
    if (written.data() != source.writtenData || written.size() != source.writtenSize) return {};
    const uint32_t start = source.writtenStarts[i] & ~kLineChanged;
    std::wstring_view line = written.substr(start, (source.writtenStarts[i + 1] & ~kLineChanged) - start);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.remove_suffix(1);
    if (!(source.writtenStarts[i] & kLineChanged)) return line;
    std::wstring& shown = source.window->text;
    shown.clear();
    for (wchar_t c : line) {
        if (c == L'\t')
            shown.append(kSourceTabWidth - shown.size() % kSourceTabWidth, L' ');
        else if (c != L'\r')
            shown.push_back(c);
    }
    return shown;
}

// Line i of a formatted text: from the window when it holds it, else the formatter goes on from
// where it paused when the line follows within a screenful, or starts again at the line.
std::wstring_view formattedLine(const SourceText& source, size_t i) {
    SourceWindow& w = *source.window;
    const uint64_t line = i;
    if (line < w.first || line >= w.first + w.complete) {
        const uint64_t end = w.first + w.complete;
        if (w.paused && line >= end && line < end + kWindowLines) {
            // Whole lines go; the line begun stays at the front.
            w.text.erase(0, w.starts[size_t(w.complete)]);
            w.starts.assign(1, 0);
            w.first = end;
            w.complete = 0;
            w.writer.keepFrom(end);
        } else {
            // A screenful before the line too, so that the lines before it (a backward search,
            // scrolling up) come from the same descent; at least as many as the descent cost.
            uint64_t from = line > kWindowLines ? line - kWindowLines : 0;
            for (size_t attempt = 0; attempt < 2; ++attempt) {
                w.text.clear();
                w.starts.clear();
                const size_t depth = w.formatter.resumeAt(from, source);
                source.lineWork += depth;
                if (depth <= kWindowLines || from == 0) break;
                from = from > depth ? from - depth : 0;
            }
            w.first = w.writer.lineNumber();
            w.complete = 0;
        }
        const uint64_t target = line + kWindowLines;
        while (!w.formatter.done() && w.writer.lineNumber() < target) {
            w.formatter.step();
            ++source.lineWork;
        }
        w.paused = !w.formatter.done();
        const uint64_t whole = w.paused ? w.writer.lineNumber() : std::min<uint64_t>(w.writer.lineNumber() + 1, source.lineCount());
        w.complete = whole > w.first ? std::min<uint64_t>(whole - w.first, w.starts.size()) : 0;
        if (line >= w.first + w.complete) return {};
    }
    const size_t k = size_t(line - w.first);
    const size_t begin = w.starts[k];
    const size_t end = k + 1 < w.starts.size() ? w.starts[k + 1] - 1 : w.text.size();
    return std::wstring_view(w.text).substr(begin, end - begin);
}

// Runs the index pass on until it has taken `steps` steps and indexed `lines` lines; true once it
// is complete. A pause publishes the lines so far and holds the open containers' ranges open.
bool runIndexPass(SourceText& out, size_t lines, size_t steps) {
    SourceIndexRun* run = out.indexRun.get();
    if (!run) return true;
    for (size_t n = 0; !run->formatter.done() && (n < steps || run->counter.lineNumber() < lines); ++n) run->formatter.indexStep();
    if (!run->formatter.done()) {
        run->counter.progress(out);
        run->formatter.holdOpenRanges();
        const size_t nodes = out.document->nodes.size();
        out.expectedLines = size_t(double(out.lineTotal) * double(nodes) / double(std::max<size_t>(out.nodeLines.size(), 1)));
        return false;
    }
    run->counter.finish(out);
    out.nodeLines.resize(out.document->nodes.size(), UINT32_MAX);
    out.ranges.resize(out.document->nodes.size());
    out.indexRun.reset();
    out.expectedLines = out.lineTotal;
    return true;
}

}  // namespace

SourceText::SourceText() = default;
SourceText::~SourceText() = default;

std::wstring_view SourceText::line(size_t i) const {
    if (i >= lineTotal || !document || !window) return {};
    return showsSourceText ? writtenLine(*this, i) : formattedLine(*this, i);
}

void SourceText::clear() {
    showsSourceText = false;
    lineStates = std::vector<uint8_t>();
    lineNodes = std::vector<uint32_t>();
    ranges = std::vector<LineRange>();
    maxLineLength = 0;
    textLength = 0;
    errorLine = -1;
    lineSteps = 0;
    nesting = kNestingUnknown;
    statesKnown = 0;
    statesFollowNodes = false;
    statesFollowElements = false;
    stateWork = 0;
    writtenStarts = std::vector<uint32_t>();
    nodeLines = std::vector<uint32_t>();
    topValues = std::vector<TopValue>();
    lineWork = 0;
    indexWork = 0;
    document = nullptr;
    lineTotal = 0;
    writtenData = nullptr;
    writtenSize = 0;
    loneCarriageReturnEndsLine = false;
    indexRun.reset();
    expectedLines = 0;
    window.reset();
}

size_t writtenStart(const SourceText& source, size_t line) { return source.writtenStarts[line] & ~kLineChanged; }

// The line on which the last node starting at or before `line` starts, found as the formatter
// finds where to resume.
size_t nodeLineAtOrBefore(const SourceText& out, size_t line) {
    SourceLineWriter counter;
    SourceFormatter formatter(*out.document, counter, out.window->indexer, nullptr);
    out.lineWork += formatter.resumeAt(line, out);
    return size_t(std::min<uint64_t>(counter.lineNumber(), line));
}


bool continueSourceIndex(SourceText& out, size_t steps) { return runIndexPass(out, 0, steps); }

void finishSourceIndex(SourceText& out) { runIndexPass(out, 0, SIZE_MAX); }

bool sourceLineRangeKnown(const SourceText& source, const Node* node) {
    if (!source.indexing() || !node) return true;
    if (const Node* holder = fileNodeHolding(node)) node = holder;
    if (node->kind == NodeKind::Root) return true;
    const size_t i = source.window->indexer.indexOf(node);
    if (i >= source.ranges.size()) return false;
    // The line it starts on must be indexed whole, to be shown.
    const uint32_t line = source.nodeLines[i] != UINT32_MAX ? source.nodeLines[i]
                          : source.ranges[i].valid()         ? uint32_t(source.ranges[i].first)
                                                             : UINT32_MAX;
    return line < source.lineCount();
}

std::wstring_view writtenText(const Document& doc) {
    if (!doc.sourceText.empty()) return doc.sourceText;
    const std::wstring& owner =
        !doc.editedText.empty() ? doc.editedText : !doc.editedSource.empty() ? doc.editedSource : doc.parsedText;
    const size_t mark = !owner.empty() && owner[0] == 0xFEFF ? 1 : 0;
    return std::wstring_view(owner).substr(mark);
}

bool showsAsWritten(const Document& doc, SourceLayout layout) {
    if (!doc.sourceText.empty()) return true;  // shown as read: YAML, TOML, .reg, a parse error
    if (layout != SourceLayout::Automatic) return layout == SourceLayout::AsWritten;
    const std::wstring_view text = writtenText(doc);
    return readsAsWritten(doc, text.size(), size_t(std::count(text.begin(), text.end(), L'\n')) + 1);
}

size_t sourceCopyLength(const Document* doc, const SourceText& source) {
    if (doc && source.showsSourceText) return writtenText(*doc).size();
    return source.lineCount() == 0 ? 0 : size_t(source.textLength) + source.lineCount() - 1;
}

void writeSourceCopy(const Document* doc, const SourceText& source, wchar_t* out, size_t length) {
    SourceCopyCursor at;
    writeSourceCopyLines(doc, source, out, length, at, SIZE_MAX);
}

bool writeSourceCopyLines(const Document* doc, const SourceText& source, wchar_t* out, size_t length,
                          SourceCopyCursor& at, size_t lines) {
    wchar_t* const end = out + length;
    wchar_t* to = out + std::min(at.written, length);
    if (doc && source.showsSourceText) {
        const std::wstring_view written = writtenText(*doc).substr(0, length);
        to = std::copy(written.begin(), written.end(), out);
        at.line = source.lineCount();
    }
    // Each line is as long as the index counted: a line that came out otherwise (the tree was
    // changed since) is cut or padded, so the copy never writes past its buffer.
    for (size_t n = 0; n < lines && at.line < source.lineCount() && to < end; ++n, ++at.line) {
        if (at.line > 0) {
            *to++ = L'\r';
            if (to < end) *to++ = L'\n';
        }
        const std::wstring_view line = source.line(at.line);
        const size_t count = std::min<size_t>(line.size(), size_t(end - to));
        to = std::copy(line.begin(), line.begin() + ptrdiff_t(count), to);
    }
    at.written = size_t(to - out);
    if (at.line < source.lineCount() && to < end) return false;
    std::fill(to, end, L' ');
    at.written = length;
    return true;
}

std::wstring sourceCopyText(const Document* doc, const SourceText& source) {
    std::wstring out(sourceCopyLength(doc, source), L'\0');
    writeSourceCopy(doc, source, out.data(), out.size());
    return out;
}

void buildSourceText(Document* doc, SourceText& out, bool complete, SourceLayout layout, size_t indexLines,
                     size_t indexSteps) {
    out.clear();
    if (!doc || !doc->root) return;
    out.document = doc;
    out.format = doc->format;
    // Left to the text, the pass over its lines counts them for the choice too.
    const bool automatic = doc->sourceText.empty() && layout == SourceLayout::Automatic;
    out.showsSourceText = automatic || showsAsWritten(*doc, layout);
    out.window = std::make_unique<SourceWindow>(*doc);
    const NodeIndexer& indexer = out.window->indexer;
    if (out.showsSourceText) {
        const size_t lineFeeds = indexWrittenLines(*doc, out);
        if (automatic && !readsAsWritten(*doc, out.writtenSize, lineFeeds + 1)) {
            out.showsSourceText = false;
            out.writtenStarts = std::vector<uint32_t>();
            out.errorLine = -1;
        }
    }
    if (out.showsSourceText) {
        out.ranges.assign(doc->nodes.size(), LineRange{});
        rangesFromSourceLines(*doc, indexer, out);
    } else {
        // The index pass: the formatter writes the text into a writer that only counts, up to
        // `indexLines` now and the rest when it is asked for.
        out.nodeLines.reserve(doc->nodes.size());
        out.ranges.reserve(doc->nodes.size());
        out.statesFollowNodes = true;
        out.indexRun = std::make_unique<SourceIndexRun>(*doc, out);
        runIndexPass(out, indexLines, indexSteps);
    }
    if (!complete) return;
    finishSourceIndex(out);
    ensureLineNodes(*doc, out);
    ensureLineStates(out, out.lineCount());
}

LineRange sourceLineRange(const SourceText& source, const Document& doc, const Node* node) {
    if (source.ranges.empty()) return {};
    // A node inside a string's embedded JSON shows as that string of the file.
    if (const Node* holder = fileNodeHolding(node)) node = holder;
    const NodeIndexer indexer(doc);
    for (; node && node->kind != NodeKind::Root; node = node->parent) {
        const size_t i = indexer.indexOf(node);
        if (i < source.ranges.size() && source.ranges[i].valid()) return source.ranges[i];
    }
    return {};
}

}  // namespace qm
