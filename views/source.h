// The source view's text as plain data: the file's own text (YAML, TOML, .reg, and any file that
// failed to parse) or the formatted XML and JSON of the tree, cut into lines, each line knowing the
// node a click on it selects and the tokenizer state it starts in, and every node knowing the
// lines it covers. Indexed once per document in time linear in the text and the tree, in memory
// linear in its lines and nodes: the text itself is read or written again as lines are shown. The
// window (views/source_win.cpp) only paints and scrolls it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "shell/match.h"

namespace qm {

// Layout of the source view in DIPs (the character widths come from the palette's mono font).
constexpr int kSourceGutterPadding = 28;     // gutter width before the digits
constexpr int kSourceMinDigits = 3;          // the gutter always has room for this many digits
constexpr int kSourceTextGap = 12;           // from the gutter to the text
constexpr int kSourceSeparatorInset = 6;     // the separator line, left of the gutter's edge
constexpr int kSourceMarkerLeft = 7;         // range marker bar, left of the gutter's edge ...
constexpr int kSourceMarkerRight = 4;        // ... to here
constexpr int kSourceNumberInset = 14;       // line numbers end this far left of the gutter's edge
constexpr int kSourceTrailingSpace = 24;     // room after the longest line
constexpr int kSourceScrollStep = 40;        // arrow keys and scroll-bar arrows, horizontally
constexpr int kSourceWheelStep = 60;         // one wheel notch, horizontally
constexpr int kSourceMatchMargin = 20;       // a match closer than this to the right edge is scrolled in
constexpr int kSourceEditorMinWidth = 120;   // the in-place editor is at least this wide
constexpr int kSourceEditorMinValueWidth = 60;
constexpr int kSourceEditorValuePadding = 16;
constexpr int kSourceEditorLeftInset = 4;
constexpr int kSourceEditorRightInset = 2;

// At most this many characters of a line are coloured, drawn and searched.
constexpr size_t kSourceLineCut = 20000;
// Tabs are expanded to the next column that is a multiple of this.
constexpr size_t kSourceTabWidth = 4;
// Formatted XML and JSON indent as the "Copy as" writers do (indentLevel in edit/convert.h):
// deeper lines keep the last indentation, so the text stays linear in the tree.

// Zero-based display lines covered by a node; first < 0 means the node has no range.
struct LineRange {
    int32_t first = -1;
    int32_t last = -1;
    bool valid() const { return first >= 0; }
};

// Position of a node in its document's store, by a table of the store's blocks sorted by
// address: O(log blocks) per node whatever order the nodes are asked in.
class NodeIndexer {
public:
    explicit NodeIndexer(const Document& doc);
    // SIZE_MAX for a pointer that is not a node of the document.
    size_t indexOf(const Node* node) const;

private:
    struct Block {
        const Node* first;
        size_t base;
    };
    std::vector<Block> blocks_;
    size_t count_ = 0;
    mutable size_t hint_ = 0;  // the block found last
};

// The lines of the display text a formatted view produced last: a screenful and more, with the
// formatter that wrote them paused where they end, so that the next lines follow without a new
// descent into the tree. Internal to views/source.cpp.
struct SourceWindow;
// The index pass of a formatted text while it is not yet complete: its formatter and counting
// writer, paused where the last slice ended. Internal to views/source.cpp.
struct SourceIndexRun;

// The source view's text as an index, never the text itself: a file shown as written is read
// from the document's own text through the start of each of its lines; a formatted file is
// written again from the tree a screenful at a time, from the line at which the formatter reached
// each node. The display text has no CR and no tab and ends with a line feed only before
// errorLine; its line i is line(i).
struct SourceText {
    bool showsSourceText = false;
    DocumentFormat format = DocumentFormat::Json;
    // Tokenizer state at each line's start, kLineStateUnknown where it is not worked out yet.
    std::vector<uint8_t> lineStates;
    std::vector<uint32_t> lineNodes;    // what a click on each line selects: node index + 1, 0 none
    std::vector<LineRange> ranges;      // by node index in the document's store
    size_t maxLineLength = 0;
    uint64_t textLength = 0;            // characters of the display text, its line feeds included
    // The line marked with the document's parse error (-1: none). An error at the end of the file,
    // after its last line break, keeps that empty last line; one past every line marks the last.
    int64_t errorLine = -1;
    size_t lineSteps = 0;               // work of giving lines their nodes, for growth checks
    // Whether the ranges nest, so that the node one line selects is found without lineNodes:
    // kNestingUnknown until sourceLineNode first asks.
    uint8_t nesting = 0;
    // Every line before this one has its state in lineStates.
    size_t statesKnown = 0;
    // Formatted: every piece the formatter writes (a tag, a leaf, a key, a value, punctuation)
    // leaves the tokenizer in its first state, so a line on which a node starts starts in it.
    bool statesFollowNodes = false;
    // XML shown as written, parsed without an error, whose markup declarations and attribute
    // values the tokenizer reads as the parser did: a line whose first character that is not
    // blank is the "<" of an element's start tag the parser read there starts in the tokenizer's
    // first state.
    bool statesFollowElements = false;
    // Lines tokenized to work out states, for growth checks.
    uint64_t stateWork = 0;

    // Shown as written: where each line starts in writtenText (one past the last line: its end),
    // the top bit set for a line whose tabs or carriage returns the view changes.
    std::vector<uint32_t> writtenStarts;
    // Formatted: the line the formatter stood on when it came to each node (by node index; past
    // the end, or UINT32_MAX, for a node it has not come to), and the top-level values of a data
    // file with the line each starts on.
    std::vector<uint32_t> nodeLines;
    struct TopValue {
        uint32_t rootIndex;   // its position among the root's children, or that of its JSON Lines array
        uint32_t itemIndex;   // its position in that array; UINT32_MAX when it is a child of the root
        uint32_t line;
    };
    std::vector<TopValue> topValues;
    // Formatter steps and levels of descent into the tree spent producing lines, for growth checks.
    mutable uint64_t lineWork = 0;
    // Steps of the index pass and ranges it held open at its pauses, for growth checks.
    uint64_t indexWork = 0;

    SourceText();
    ~SourceText();
    SourceText(const SourceText&) = delete;
    SourceText& operator=(const SourceText&) = delete;

    // While the index of a formatted text is built (indexing()), the lines indexed so far: every
    // line below it is shown, numbered, coloured and given its nodes' ranges as the complete index
    // gives them, a container still open holding its lines to the end (last INT32_MAX).
    size_t lineCount() const { return lineTotal; }
    bool indexing() const { return indexRun != nullptr; }
    // The lines the complete index is expected to count, for the gutter's width and the scroll
    // range while it is built (the lines indexed so far in the proportion of the nodes reached);
    // lineCount() once it is complete.
    size_t expectedLineCount() const { return indexRun ? std::max(expectedLines, lineTotal) : lineTotal; }
    // Line i as shown. The view stays valid until the next call of line() on this text.
    std::wstring_view line(size_t i) const;
    // The node line i selects once ensureLineNodes has run (null: none).
    Node* lineNode(size_t i) const;
    void clear();

    // Set by the builder.
    Document* document = nullptr;
    size_t lineTotal = 0;
    const wchar_t* writtenData = nullptr;  // the written text the starts were taken from
    size_t writtenSize = 0;
    bool loneCarriageReturnEndsLine = false;
    std::unique_ptr<SourceWindow> window;  // the lines produced last
    std::unique_ptr<SourceIndexRun> indexRun;  // the index pass while it is not complete
    size_t expectedLines = 0;
};

// How a JSON or XML file that parsed cleanly is shown: as written (its own text, comments and
// layout kept), formatted from the tree, or chosen by the text: formatted when it is minified,
// its lines averaging more than kSourceMinifiedLineLength characters or holding more than
// kSourceMinifiedNodesPerLine nodes each (a whole document on one line). Every other file is
// shown as read.
enum class SourceLayout : uint8_t { Automatic, AsWritten, Formatted };
constexpr size_t kSourceMinifiedLineLength = 200;
constexpr size_t kSourceMinifiedNodesPerLine = 4;

// The file's text as it now stands, without a leading U+FEFF: the text shown as read, the edited
// text not yet saved, the text last saved, or the decoded text the parser read. A view of text
// the document holds, never a copy.
std::wstring_view writtenText(const Document& doc);
// Whether the Source view shows `doc` as written with `layout`.
bool showsAsWritten(const Document& doc, SourceLayout layout);

// Builds the index of `out` for `doc` (null: no lines at all): the lines, the ranges, and for a
// formatted text the line of every node, in one pass that keeps no text. With `complete`, also
// the line nodes and every tokenizer state; without, they follow when they are first asked for,
// and the index pass of a formatted text may stop once it has taken `indexSteps` steps and
// indexed `indexLines` lines (the first screen), going on by continueSourceIndex.
void buildSourceText(Document* doc, SourceText& out, bool complete = true, SourceLayout layout = SourceLayout::Formatted,
                     size_t indexLines = SIZE_MAX, size_t indexSteps = 0);
// Runs the index pass on for at most `steps` steps of the formatter (each a node begun or a
// container closed); true once the index is complete.
bool continueSourceIndex(SourceText& out, size_t steps);
void finishSourceIndex(SourceText& out);
// Steps of the index pass per slice: about 0.03 s of a 100 MB JSON file under Wine; the first
// slice, which the first screen waits for, is smaller.
constexpr size_t kSourceIndexSliceSteps = 262144;
constexpr size_t kSourceFirstIndexSteps = 32768;
// Whether the range sourceLineRange gives `node` is the one of the complete index: the index is
// complete, or its pass has come to the node and indexed the line it starts on.
bool sourceLineRangeKnown(const SourceText& source, const Node* node);
// Fills lineNodes if it is not filled yet, completing the index first.
void ensureLineNodes(Document& doc, SourceText& out);
// The node line `line` selects, as lineNode gives it once ensureLineNodes has run, completing the
// index first. When the ranges nest (every node with a range lies within its parent's, and a
// node's children follow one another: checked once per text by a walk over the nodes) it is
// found by a descent through the children whose lines hold the line, a binary search per level;
// otherwise from lineNodes.
Node* sourceLineNode(Document& doc, SourceText& out, size_t line);
constexpr uint8_t kNestingUnknown = 0, kRangesNest = 1, kRangesOverlap = 2;
// A line state not worked out yet (the tokenizers' states are below it).
constexpr uint8_t kLineStateUnknown = 0xFF;
// Fills lineStates for the lines first to last (clamped to the last line), each from the nearest
// line before it whose state is certain without the lines above it: a line a formatted node
// starts on, a line of XML as written that an element's start tag begins, the line after one
// whose end state does not depend on its start (YAML at column 0, a .reg line that does not
// continue), or a line already known; lines that cannot change the state (JSON without "*", TOML
// without quotes) are passed over without tokenizing them.
void ensureLineStates(SourceText& out, size_t first, size_t last);
// The same for every line up to and including `line`.
void ensureLineStates(SourceText& out, size_t line);

// "Copy entire source": the file's own text exactly when the view shows the file as read (its
// tabs, lone carriage returns and last empty lines, which the display text changes, included);
// otherwise the display text with CR LF line ends. sourceCopyLength is its exact length;
// writeSourceCopy writes it, line by line, to `out`, which has room for the `length` characters
// sourceCopyLength gave.
size_t sourceCopyLength(const Document* doc, const SourceText& source);
void writeSourceCopy(const Document* doc, const SourceText& source, wchar_t* out, size_t length);
// The same written a number of lines at a time, so that a window can copy a big formatted text a
// slice per message: `at` is where the copy stands; true once the whole text is written. A file
// shown as written is one copy of its text, written at once.
struct SourceCopyCursor {
    size_t line = 0;     // the next line to write
    size_t written = 0;  // characters written so far
};
bool writeSourceCopyLines(const Document* doc, const SourceText& source, wchar_t* out, size_t length,
                          SourceCopyCursor& at, size_t lines);
// The lines of such a slice: about 0.03 s of a 100 MB JSON file formatted under Wine.
constexpr size_t kSourceCopySliceLines = 65536;
std::wstring sourceCopyText(const Document* doc, const SourceText& source);

// The range of `node` or of its nearest ancestor below the root that has one.
LineRange sourceLineRange(const SourceText& source, const Document& doc, const Node* node);

// A match of the search in the display text.
struct SourceMatch {
    int32_t line = -1;
    int32_t column = 0;
    int32_t length = 0;
};

// Searches line by line from (line, column): forward the first match on a later line or starting
// after the column, backward the last one on an earlier line or starting before it; with `wrap`
// the search then goes on from the other end up to the starting line. Every match of a line is
// reached, however many it holds, within its first kSourceLineCut characters. The whole search is
// paid from `budget` (a unit per line, then its comparisons or matcher steps). Line < 0 means
// nothing found, or, when budget.exhausted(), that the search stopped before it was decided.
SourceMatch findInSource(const SourceText& source, const HighlightState& state, int64_t line, int64_t column,
                         bool backwards, bool wrap, WorkBudget& budget);

// findInSource's walk kept between slices, so that a big text's search runs a slice per timer
// message. The text must keep its lines while the walk goes on.
struct SourceWalk {
    int64_t start = 0;      // the starting line, clamped to the text
    int64_t column = 0;     // on the first leg's starting line, matches only past (before) it count
    int64_t next = 0;       // the line searched next
    uint64_t total = 0;     // lines the whole walk searches at most
    uint64_t searched = 0;  // lines searched so far
    bool backwards = false;
    bool wrap = false;
    bool wrapping = false;  // on the wrap-around leg, which ends with the starting line
    bool done = false;
    SourceMatch result;
};
SourceWalk beginSourceWalk(const SourceText& source, int64_t line, int64_t column, bool backwards, bool wrap);
// A slice of the walk: at most slice.entries lines and slice.units work units (a line that needs
// more still finishes). False while lines are left; true once it has ended, `walk.result` holding
// the match (line < 0: none, or stopped when the budget is exhausted).
bool continueSourceWalk(const SourceText& source, const HighlightState& state, SourceWalk& walk, WorkBudget& budget,
                        const NodeSlice& slice);

// Where the in-place editor of a value starts in its line: the value's first occurrence, else
// after the first ":" or "=" and its spaces, else the first character that is not blank, else 0.
struct EditColumn {
    size_t column = 0;
    bool valueFound = false;
};
EditColumn valueEditColumn(std::wstring_view line, std::wstring_view value);

// Geometry in pixels.
int sourceGutterWidth(size_t lineCount, int charWidth, unsigned dpi);
long long sourceContentWidth(int gutter, size_t maxLineLength, int charWidth, unsigned dpi);
// Clamps to [0, max(high, 0)] with the lower bound last.
long long clampScroll(long long value, long long high);

}  // namespace qm
