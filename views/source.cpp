// The source view's text: the writer that cuts it into lines as it goes (carriage returns dropped,
// tabs expanded, line feeds counted), the XML and JSON formatters that record each node's lines
// while they write, the ranges of a file shown as read, the line-to-node table and the tokenizer
// state per line. Nothing here recurses or rescans the text: deep trees and long lines cost what
// they hold.
#include "views/source.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <numeric>

#include "document/chars.h"
#include "edit/convert.h"
#include "edit/nodetext.h"
#include "views/syntax.h"
#include "views/tree.h"

namespace qm {


void SourceText::clear() {
    showsSourceText = false;
    text = std::wstring();
    lineStarts = std::vector<uint64_t>();
    lineStates = std::vector<uint8_t>();
    lineNodes = std::vector<Node*>();
    ranges = std::vector<LineRange>();
    maxLineLength = 0;
    errorLine = -1;
    lineSteps = 0;
    statesKnown = 0;
    nextState = 0;
}

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

int32_t toLine(uint64_t n) { return n > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(n); }

// Appends text to the display text as the view shows it: carriage returns dropped, tabs expanded
// to the next multiple of kSourceTabWidth, a line start recorded after every line feed. The count
// of line feeds written is the current line, which the formatters use for their ranges.
class LineWriter {
public:
    explicit LineWriter(SourceText& out) : out_(out) { out_.lineStarts.push_back(0); }

    void append(std::wstring_view piece) {
        const wchar_t* p = piece.data();
        const wchar_t* end = p + piece.size();
        const wchar_t* run = p;
        for (; p != end; ++p) {
            const wchar_t c = *p;
            if (c != L'\n' && c != L'\r' && c != L'\t') continue;
            flush(run, p);
            run = p + 1;
            if (c == L'\n' || (c == L'\r' && loneCarriageReturnEndsLine && (p + 1 == end || p[1] != L'\n'))) {
                newLine();
            } else if (c == L'\t') {
                const size_t spaces = kSourceTabWidth - column_ % kSourceTabWidth;
                out_.text.append(spaces, L' ');
                column_ += spaces;
            }
        }
        flush(run, end);
    }
    void append(wchar_t c) { append(std::wstring_view(&c, 1)); }
    // A piece known to hold no line feed, carriage return or tab.
    void appendPlain(std::wstring_view piece) { flush(piece.data(), piece.data() + piece.size()); }
    void spaces(size_t count) {
        out_.text.append(count, L' ');
        column_ += count;
    }
    void indent(size_t depth) { spaces(kIndentWidth * indentLevel(depth)); }
    // YAML, TOML and registry files read a carriage return without a line feed after it as a line
    // end; shown as read, such a file keeps the lines (and line numbers) its parser counted.
    bool loneCarriageReturnEndsLine = false;
    // The line feeds written so far.
    int32_t line() const { return toLine(out_.lineStarts.size() - 1); }

    // Ends the text: no trailing empty lines beyond the first `keep` lines, the final entry of
    // lineStarts.
    void finish(size_t keep = 0) {
        out_.maxLineLength = std::max(out_.maxLineLength, column_);
        std::vector<uint64_t>& starts = out_.lineStarts;
        while (starts.size() > std::max<size_t>(keep, 1) && starts.back() == out_.text.size()) {
            starts.pop_back();
            out_.text.pop_back();
        }
        starts.push_back(out_.text.size() + 1);
    }

private:
    void flush(const wchar_t* from, const wchar_t* to) {
        if (from == to) return;
        out_.text.append(from, size_t(to - from));
        column_ += size_t(to - from);
    }
    void newLine() {
        out_.maxLineLength = std::max(out_.maxLineLength, column_);
        out_.text.push_back(L'\n');
        out_.lineStarts.push_back(out_.text.size());
        column_ = 0;
    }

    SourceText& out_;
    size_t column_ = 0;
};

bool isComment(const Node* node) { return node->kind == NodeKind::Comment; }

// jsonQuote and xmlEscape build a new string; most names and values need no escaping at all and
// are written as they are.
void writeJsonString(LineWriter& w, std::wstring_view text) {
    const bool plain = std::none_of(text.begin(), text.end(),
                                    [](wchar_t c) { return unsigned(c) < 32 || c == L'"' || c == L'\\'; });
    if (!plain) return w.append(jsonQuote(text));
    w.appendPlain(L"\"");
    w.appendPlain(text);
    w.appendPlain(L"\"");
}

void writeXmlEscaped(LineWriter& w, std::wstring_view text, bool inAttribute) {
    const XmlPlace place = inAttribute ? XmlPlace::DoubleQuoted : XmlPlace::Text;
    const bool plain = std::none_of(text.begin(), text.end(), [place](wchar_t c) { return xmlNeedsEscape(c, place); });
    if (plain) return w.append(text);
    w.append(xmlEscape(text, inAttribute));
}

std::wstring_view trimmed(std::wstring_view v) {
    size_t first = 0, last = v.size();
    while (first < last && isSpace(v[first])) ++first;
    while (last > first && isSpace(v[last - 1])) --last;
    return v.substr(first, last - first);
}

class Formatter {
public:
    Formatter(Document& doc, SourceText& out, LineWriter& writer, const NodeIndexer& indexer)
        : doc_(doc), out_(out), w_(writer), indexer_(indexer) {}

    void setRange(const Node* node, int32_t first, int32_t last) {
        const size_t i = indexer_.indexOf(node);
        if (i < out_.ranges.size()) out_.ranges[i] = LineRange{first, last};
    }

    // ---- XML ----

    void writeXml(Node* top) {
        struct Frame {
            Node* node;
            size_t next;
            size_t depth;
            int32_t first;
        };
        std::vector<Frame> stack;
        auto closeRange = [&](const Node* node, int32_t first) { setRange(node, first, std::max(first, w_.line() - 1)); };
        // Writes a node that has nothing to descend into, or opens an element that has.
        auto begin = [&](Node* node, size_t depth) {
            const int32_t first = w_.line();
            switch (node->kind) {
                case NodeKind::Element: {
                    w_.indent(depth);
                    w_.append(L'<');
                    w_.append(node->name);
                    const size_t attributes = std::min<size_t>(node->attributeCount, node->children.size());
                    for (size_t i = 0; i < attributes; ++i) {
                        const Node* attribute = node->children[i];
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
                        stack.push_back({node, attributes, depth + 1, first});
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
                    w_.indent(depth);
                    w_.append(L"<!");
                    w_.append(node->name);
                    w_.append(L' ');
                    w_.append(node->value);
                    w_.append(L">\n");
                    break;
                default: return;
            }
            closeRange(node, first);
        };

        begin(top, 0);
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next < frame.node->children.size()) {
                Node* child = frame.node->children[frame.next++];
                begin(child, frame.depth);  // may push: `frame` is not used after this
                continue;
            }
            const Frame done = frame;
            stack.pop_back();
            w_.indent(done.depth - 1);
            w_.append(L"</");
            w_.append(done.node->name);
            w_.append(L">\n");
            closeRange(done.node, done.first);
        }
    }

    // ---- JSON ----

    void writeJson(Node* top) {
        // An open object or array: `next` is the child to write next, `last` the last child
        // that is not a comment.
        struct Frame {
            Node* node;
            size_t next;
            size_t last;
            size_t depth;
            int32_t first;
        };
        std::vector<Frame> stack;
        auto afterMember = [&]() {
            if (stack.empty()) return;
            const Frame& parent = stack.back();
            w_.append(parent.next - 1 == parent.last ? L"\n" : L",\n");
        };
        auto begin = [&](Node* node, size_t depth, bool withKey) {
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
                    w_.append(object ? L"{}" : L"[]");
                } else {
                    w_.append(object ? L"{\n" : L"[\n");
                    stack.push_back({node, 0, last - 1, depth, first});
                    return;
                }
            } else {
                w_.append(node->value);
            }
            setRange(node, first, w_.line());
            afterMember();
        };

        begin(top, 0, false);
        while (!stack.empty()) {
            Frame& frame = stack.back();
            while (frame.next <= frame.last && isComment(frame.node->children[frame.next])) ++frame.next;
            if (frame.next <= frame.last) {
                Node* child = frame.node->children[frame.next++];
                w_.indent(frame.depth + 1);
                begin(child, frame.depth + 1, true);  // may push: `frame` is not used after this
                continue;
            }
            const Frame done = frame;
            stack.pop_back();
            w_.indent(done.depth);
            w_.append(done.node->kind == NodeKind::Object ? L'}' : L']');
            setRange(done.node, done.first, w_.line());
            afterMember();
        }
    }

    void writeDocument() {
        Node* root = doc_.root;
        if (!doc_.isDataFormat) {
            for (Node* child : root->children) writeXml(child);
            return;
        }
        bool firstContribution = true;
        auto contribute = [&](Node* node) {
            if (!firstContribution) w_.append(L"\n\n");
            firstContribution = false;
            writeJson(node);
        };
        for (Node* child : root->children) {
            if (isComment(child)) continue;
            if (doc_.format == DocumentFormat::JsonLines && child->kind == NodeKind::Array) {
                for (Node* item : child->children)
                    if (!isComment(item)) contribute(item);
                setRange(child, 0, w_.line());
            } else {
                contribute(child);
            }
        }
    }

private:
    Document& doc_;
    SourceText& out_;
    // One indented line: opening mark, the node's text as it is, closing mark and line feed.
    void writeWrappedLine(size_t depth, const wchar_t* open, std::wstring_view text, const wchar_t* close) {
        w_.indent(depth);
        w_.append(open);
        w_.append(text);
        w_.append(close);
    }

    LineWriter& w_;
    const NodeIndexer& indexer_;
};

// A file shown as read: a node's lines run from its own line to the line of its last descendant.
// The store holds children after their parents, so one walk from the back sees every node after
// all of its descendants.
void rangesFromSourceLines(const Document& doc, const NodeIndexer& indexer, std::vector<LineRange>& ranges) {
    for (size_t i = doc.nodes.size(); i-- > 0;) {
        const Node& node = doc.nodes[i];
        if (node.kind == NodeKind::Root || node.line == 0) continue;
        const int32_t own = toLine(uint64_t(node.line) - 1);
        LineRange& r = ranges[i];
        r.last = std::max(own, r.last);
        r.first = own;
        const Node* parent = node.parent;
        if (!parent || parent->kind == NodeKind::Root) continue;
        const size_t p = indexer.indexOf(parent);
        if (p < ranges.size()) ranges[p].last = std::max(ranges[p].last, r.last);
    }
    for (size_t i = 0; i < ranges.size(); ++i) {
        const Node& node = doc.nodes[i];
        if (node.line == 0 || node.kind == NodeKind::Root)
            ranges[i] = LineRange{};
        else
            ranges[i].first = toLine(uint64_t(node.line) - 1);
    }
}

// Every line gets the deepest node whose range covers it, as if the nodes wrote their ranges in
// document order and each overwrote its ancestors; a node whose range starts on its parent's
// first line leaves its lines to the parent. Rather than overwriting (which costs the sum of
// the ranges, quadratic in the depth), the nodes are visited in the reverse of that order and
// each line is given only once, its first writer found by skipping the lines already given.
void assignLineNodes(const Document& doc, const NodeIndexer& indexer, SourceText& out) {
    const size_t lines = out.lineCount();
    out.lineNodes.assign(lines, nullptr);
    if (lines == 0) return;
    std::vector<uint32_t> nextFree(lines + 1);
    std::iota(nextFree.begin(), nextFree.end(), 0u);
    auto findFree = [&](uint32_t x) {
        while (nextFree[x] != x) {
            ++out.lineSteps;
            nextFree[x] = nextFree[nextFree[x]];
            x = nextFree[x];
        }
        return x;
    };
    auto rangeOf = [&](const Node* node) {
        const size_t i = indexer.indexOf(node);
        return i < out.ranges.size() ? out.ranges[i] : LineRange{};
    };
    auto visit = [&](Node* node) {
        const LineRange r = rangeOf(node);
        if (!r.valid()) return;
        const Node* parent = node->parent;
        if (parent && parent->kind != NodeKind::Root) {
            const LineRange pr = rangeOf(parent);
            if (pr.valid() && pr.first == r.first) return;
        }
        if (size_t(r.first) >= lines || r.last < r.first) return;
        const uint32_t last = uint32_t(std::min<size_t>(size_t(r.last), lines - 1));
        for (uint32_t x = findFree(uint32_t(r.first)); x <= last; x = findFree(x)) {
            ++out.lineSteps;
            out.lineNodes[x] = node;
            nextFree[x] = x + 1;
        }
    };

    // The reverse of document order: children from the last to the first, each after its own
    // children.
    struct Frame {
        Node* node;
        size_t remaining;
    };
    std::vector<Frame> stack{{doc.root, doc.root->children.size()}};
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.remaining > 0) {
            Node* child = frame.node->children[--frame.remaining];
            stack.push_back({child, child->children.size()});  // `frame` is not used after this
            continue;
        }
        Node* node = frame.node;
        stack.pop_back();
        if (node != doc.root) visit(node);
    }
    for (size_t i = 1; i < lines; ++i)
        if (!out.lineNodes[i]) out.lineNodes[i] = out.lineNodes[i - 1];
}

}  // namespace

void ensureLineStates(SourceText& out, size_t line) {
    const size_t lines = out.lineCount();
    if (lines == 0 || out.statesKnown > line) return;
    const size_t last = std::min(line, lines - 1);
    if (out.lineStates.size() != lines) out.lineStates.assign(lines, 0);
    const Tokenizer tokenize = tokenizerFor(out.format);
    uint8_t state = out.nextState;
    for (size_t i = out.statesKnown; i <= last; ++i) {
        out.lineStates[i] = state;
        const std::wstring_view text = out.line(i);
        tokenize(text.data(), text.size(), state, nullptr);
    }
    out.statesKnown = last + 1;
    out.nextState = state;
}

void ensureLineNodes(Document& doc, SourceText& out) {
    if (out.lineNodes.size() == out.lineCount() || !doc.root) return;
    assignLineNodes(doc, NodeIndexer(doc), out);
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
    const size_t lines = size_t(std::count(text.begin(), text.end(), L'\n')) + 1;
    return text.size() / lines <= kSourceMinifiedLineLength && doc.nodes.size() <= kSourceMinifiedNodesPerLine * lines;
}

std::wstring sourceCopyText(const Document* doc, const SourceText& source) {
    if (doc && source.showsSourceText) return std::wstring(writtenText(*doc));
    std::wstring out;
    out.reserve(source.text.size() + source.lineCount());
    for (wchar_t c : source.text) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

void buildSourceText(Document* doc, SourceText& out, bool complete, SourceLayout layout) {
    out.clear();
    if (!doc || !doc->root) return;
    out.format = doc->format;
    out.showsSourceText = showsAsWritten(*doc, layout);
    const NodeIndexer indexer(*doc);
    out.ranges.assign(doc->nodes.size(), LineRange{});

    LineWriter writer(out);
    if (out.showsSourceText) {
        const std::wstring_view written = writtenText(*doc);
        out.text.reserve(written.size());
        writer.loneCarriageReturnEndsLine = doc->format == DocumentFormat::Yaml ||
                                            doc->format == DocumentFormat::Toml ||
                                            doc->format == DocumentFormat::Registry;
        writer.append(written);
        const bool failed = !doc->errorMessage.empty() && doc->errorLine > 0;
        writer.finish(failed ? doc->errorLine : 0);
        if (failed) out.errorLine = std::min<int64_t>(int64_t(doc->errorLine) - 1, int64_t(out.lineCount()) - 1);
        rangesFromSourceLines(*doc, indexer, out.ranges);
    } else {
        // Formatted JSON and XML are about as long as a pretty-printed file, with about a line
        // per node.
        out.text.reserve(doc->parsedText.size());
        out.lineStarts.reserve(doc->nodes.size() + 2);
        Formatter(*doc, out, writer, indexer).writeDocument();
        writer.finish();
    }
    if (!complete) return;
    assignLineNodes(*doc, indexer, out);
    ensureLineStates(out, out.lineCount());
}

LineRange sourceLineRange(const SourceText& source, const Document& doc, const Node* node) {
    if (source.ranges.empty()) return {};
    const NodeIndexer indexer(doc);
    for (; node && node->kind != NodeKind::Root; node = node->parent) {
        const size_t i = indexer.indexOf(node);
        if (i < source.ranges.size() && source.ranges[i].valid()) return source.ranges[i];
    }
    return {};
}

SourceMatch findInSource(const SourceText& source, const HighlightState& state, int64_t line, int64_t column,
                         bool backwards, bool wrap, WorkBudget& budget) {
    const int64_t lines = int64_t(source.lineCount());
    if (lines == 0) return {};
    line = std::max<int64_t>(0, std::min(line, lines - 1));
    // Every occurrence of the line, not only the ones painted: moving from match to match must
    // reach them all.
    auto matchesOf = [&](int64_t i) {
        if (!budget.spend(1)) return std::vector<TextRange>();
        const std::wstring_view text = source.line(size_t(i));
        return FindHighlightRanges(state, text.data(), std::min(text.size(), kSourceLineCut), &budget, SIZE_MAX);
    };
    auto found = [](int64_t i, const TextRange& r) {
        return SourceMatch{toLine(uint64_t(i)), toLine(r.start), toLine(r.length)};
    };
    // Lines [from, to] in the search's direction; on the starting line only matches past the
    // column count, unless the search has wrapped around to it.
    auto walk = [&](int64_t from, int64_t to, bool wrapped, SourceMatch& out) {
        const int64_t step = backwards ? -1 : 1;
        for (int64_t i = from; i != to + step; i += step) {
            const std::vector<TextRange> matches = matchesOf(i);
            if (budget.exhausted()) return true;
            const bool anywhere = wrapped || i != line;
            if (backwards) {
                for (auto r = matches.rbegin(); r != matches.rend(); ++r)
                    if (anywhere || int64_t(r->start) < column) return out = found(i, *r), true;
            } else {
                for (const TextRange& r : matches)
                    if (anywhere || int64_t(r.start) > column) return out = found(i, r), true;
            }
        }
        return false;
    };
    SourceMatch match;
    if (walk(line, backwards ? 0 : lines - 1, false, match)) return match;
    if (wrap) walk(backwards ? lines - 1 : 0, line, true, match);
    return match;
}

EditColumn valueEditColumn(std::wstring_view line, std::wstring_view value) {
    const std::wstring_view searched = line.substr(0, std::min(line.size(), kSourceLineCut));
    if (!value.empty() && value.size() <= searched.size()) {
        // Boyer-Moore keeps a long line and a long value linear.
        auto at = std::search(searched.begin(), searched.end(),
                              std::boyer_moore_searcher<std::wstring_view::const_iterator>(value.begin(), value.end()));
        if (at != searched.end()) return {size_t(at - searched.begin()), true};
    }
    const size_t mark = line.find_first_of(L":=");
    if (mark != std::wstring_view::npos) {
        size_t column = mark + 1;
        while (column < line.size() && line[column] == L' ') ++column;
        return {column, false};
    }
    const size_t text = line.find_first_not_of(L" \t");
    return {text == std::wstring_view::npos ? 0 : text, false};
}

int sourceGutterWidth(size_t lineCount, int charWidth, unsigned dpi) {
    int digits = 1;
    for (size_t n = lineCount; n >= 10; n /= 10) ++digits;
    return scaleDips(kSourceGutterPadding, dpi) + std::max(digits, kSourceMinDigits) * charWidth;
}

long long sourceContentWidth(int gutter, size_t maxLineLength, int charWidth, unsigned dpi) {
    return gutter + static_cast<long long>(std::min(maxLineLength, kSourceLineCut)) * charWidth +
           scaleDips(kSourceTextGap, dpi) + scaleDips(kSourceTrailingSpace, dpi);
}

long long clampScroll(long long value, long long high) { return std::max(0LL, std::min(value, high)); }

}  // namespace qm
