// The Source view's complete builder as it was before the view produced its lines a screenful at a
// time, kept unchanged as the reference the lazy lines are compared with.
#include "tests/support/source_reference.h"

#include <algorithm>
#include <climits>
#include <functional>
#include <numeric>

#include "document/chars.h"
#include "edit/convert.h"
#include "edit/nodetext.h"
#include "views/syntax.h"

namespace qmtest {

using namespace qm;

namespace {

int32_t toLine(uint64_t n) { return n > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(n); }

// Appends text to the display text as the view shows it: carriage returns dropped, tabs expanded
// to the next multiple of kSourceTabWidth, a line start recorded after every line feed. The count
// of line feeds written is the current line, which the formatters use for their ranges.
class LineWriter {
public:
    explicit LineWriter(ReferenceSource& out) : out_(out) { out_.lineStarts.push_back(0); }

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

    ReferenceSource& out_;
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
    Formatter(Document& doc, ReferenceSource& out, LineWriter& writer, const NodeIndexer& indexer)
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
    ReferenceSource& out_;
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
void assignLineNodes(const Document& doc, const NodeIndexer& indexer, ReferenceSource& out) {
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

std::wstring shownText(const SourceText& source) {
    std::wstring out;
    for (size_t i = 0; i < source.lineCount(); ++i) {
        if (i > 0) out += L'\n';
        out += source.line(i);
    }
    return out;
}

ReferenceSource buildReferenceSource(Document& doc, SourceLayout layout, bool complete) {
    ReferenceSource out;
    if (!doc.root) return out;
    out.format = doc.format;
    out.showsSourceText = showsAsWritten(doc, layout);
    const NodeIndexer indexer(doc);
    out.ranges.assign(doc.nodes.size(), LineRange{});

    LineWriter writer(out);
    if (out.showsSourceText) {
        const std::wstring_view written = writtenText(doc);
        out.text.reserve(written.size());
        writer.loneCarriageReturnEndsLine = doc.format == DocumentFormat::Yaml ||
                                            doc.format == DocumentFormat::Toml ||
                                            doc.format == DocumentFormat::Registry;
        writer.append(written);
        const bool failed = !doc.errorMessage.empty() && doc.errorLine > 0;
        writer.finish(failed ? doc.errorLine : 0);
        if (failed) out.errorLine = std::min<int64_t>(int64_t(doc.errorLine) - 1, int64_t(out.lineCount()) - 1);
        rangesFromSourceLines(doc, indexer, out.ranges);
    } else {
        out.text.reserve(doc.parsedText.size());
        out.lineStarts.reserve(doc.nodes.size() + 2);
        Formatter(doc, out, writer, indexer).writeDocument();
        writer.finish();
    }
    if (!complete) return out;
    assignLineNodes(doc, indexer, out);
    const Tokenizer tokenize = tokenizerFor(out.format);
    uint8_t state = 0;
    for (size_t i = 0; i < out.lineCount(); ++i) {
        out.lineStates.push_back(state);
        const std::wstring_view text = out.line(i);
        tokenize(text.data(), text.size(), state, nullptr);
    }
    return out;
}

}  // namespace qmtest
