// The tree view's logic that needs no window: the visible rows of an outline with an expanded
// set, the expansion operations, the column geometry and hit testing, the tree keys, and the
// texts and colour slots of a row (badge, count pill, value). The window side (tree_win.cpp)
// keeps these in step with the main window's selection and paints them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "appearance/slots.h"
#include "document/document.h"
#include "views/treerows.h"

namespace qm {

// Geometry in DIPs.
constexpr int kTreeLeftMargin = 4;
constexpr int kTreeIndent = 16;
constexpr int kTreeGuideOffset = 8;
constexpr int kTreeExpanderWidth = 16;
constexpr int kTreeExpanderZone = 18;   // hit zone, and the advance to the badge
constexpr int kTreeBadgeWidth = 24;
constexpr int kTreeBadgeHeight = 15;
constexpr int kTreeBadgeRadius = 3;
constexpr int kTreeLabelOffset = 30;    // badge plus a gap of 6
constexpr int kTreeMinColumn = 80;      // each column keeps at least this much
constexpr int kTreeSplitterGrab = 3;
constexpr int kTreePillPadding = 10;
constexpr int kTreePillGap = 6;
constexpr int kTreeTagGap = 8;
constexpr int kTreeValueInset = 8;
constexpr int kTreeRightInset = 4;
constexpr int kTreeErrorInset = 16;
constexpr int kWheelDelta = 120;
constexpr int kWheelRowsPerNotch = 3;

// Virtual-key codes of the tree keys (the values Windows uses), so the key logic is portable.
enum TreeKey : unsigned {
    kKeyReturn = 0x0D, kKeyPrior = 0x21, kKeyNext = 0x22, kKeyEnd = 0x23, kKeyHome = 0x24,
    kKeyLeft = 0x25, kKeyUp = 0x26, kKeyRight = 0x27, kKeyDown = 0x28,
    kKeyMultiply = 0x6A, kKeyAdd = 0x6B, kKeySubtract = 0x6D,
};

// MulDiv(n, dpi, 96) as Windows rounds it (half away from zero).
int scaleDips(int dips, unsigned dpi);

// Depth-first, document-order rows of the root's children and of every expanded expandable node
// below them, every one listed (TreeRows lists the same rows on demand). Uses an explicit stack,
// so any depth is safe.
// With `filtered`, only the nodes the search box's filter keeps, every one that holds a match
// open whatever the expanded set says (the set stays as it is for when the filter goes).
void buildTreeRows(const Node* root, const ExpandedSet& expanded, std::vector<TreeRow>& rows, bool filtered = false);
// Index of the first row showing `node`, or -1.
int32_t findRow(const std::vector<TreeRow>& rows, const Node* node);
int32_t findRow(const TreeRows& rows, const Node* node);

// Inserts every expandable child of the root (the top level that each document opens with).
void expandTopLevel(const Node* root, ExpandedSet& expanded);
// Inserts every expandable node of the document: one pass over its store, a bit each.
void expandEverything(const Document& doc, ExpandedSet& expanded);
// Inserts `node` and each expandable descendant (marks: bits when the set is bound to the store).
void expandSubtree(const Node* node, ExpandedSet& expanded);
// Whether expanding `node`'s subtree opens what "Expand all" opens: it is the root, or the top-level
// node beside which the top level holds only nodes without children (an XML declaration, comments).
bool subtreeHoldsEveryRow(const Node* root, const Node* node);
// Inserts every ancestor of `node` below the root.
void expandAncestors(const Node* node, ExpandedSet& expanded);
// The node that stands in for a selection hidden by "Collapse all": walking up from `node`, the
// first node whose parent is the root or expanded. With only the top level expanded, that is
// the selection's ancestor just below its top-level node (or the top-level node itself).
Node* collapsedStandIn(Node* node, const ExpandedSet& expanded);

// max(clientHeight / rowHeight, 1).
int pageRows(int clientHeight, int rowHeight);
// `row` clamped to [0, rowCount - page], the lower bound applied last.
unsigned clampTopRow(long long row, size_t rowCount, int page);
// The top row that makes `row` visible, starting from `topRow`.
unsigned topRowShowing(int32_t row, unsigned topRow, size_t rowCount, int page);
// Adds a wheel delta to the remainder and returns the whole notches it now holds (toward zero).
int takeWheelNotches(int32_t& remainder, int delta);

// Width of the name column in pixels: max(80 DIP, min(client width - 80 DIP, split)).
int nameColumnPixels(int clientWidth, unsigned splitDips, unsigned dpi);
// The "Split" setting in DIPs for a splitter dragged to x.
unsigned splitFromDrag(int x, int clientWidth, unsigned dpi);

// Where a row's label starts in the name column: past the guides of its depth, the chevron's
// zone and the badge (capped far beyond any window, so no depth overflows).
int treeLabelLeft(unsigned depth, unsigned dpi);
// How a row's label and count pill share the name column up to `right`: the label comes first,
// and the pill (pillWidth 0: none) shows after it, `gap` apart, only where both fit whole; a row
// without a label shows the pill wherever it fits.
struct NameFit {
    int labelLimit = 0;  // the label is cut here
    bool pill = false;
};
NameFit fitNameColumn(int labelStart, int right, int labelWidth, int pillWidth, int gap);

// What lies under a point: the splitter's grab zone is reported beside the row, and a click
// tests it first.
struct TreeHit {
    bool onSplitter = false;
    int32_t row = -1;          // -1 when the point is below the last row
    bool onExpander = false;   // inside the row's expander zone (only for expandable rows)
};
TreeHit treeHitTest(int x, int y, const std::vector<TreeRow>& rows, unsigned topRow, int rowHeight,
                    int nameColumn, unsigned dpi);
TreeHit treeHitTest(int x, int y, const TreeRows& rows, unsigned topRow, int rowHeight, int nameColumn, unsigned dpi);

enum class TreeAction : uint8_t { None, Select, Toggle, ExpandSubtree };
struct TreeKeyResult {
    TreeAction action = TreeAction::None;
    int32_t row = -1;
};
// What a tree key does. None for other keys and when there are no rows (the key goes on to the
// host); a key that applies but changes nothing (Left at the top level) is Select of the same row.
TreeKeyResult treeKeyAction(unsigned key, const std::vector<TreeRow>& rows, int32_t selectedRow,
                            const ExpandedSet& expanded, int page);
TreeKeyResult treeKeyAction(unsigned key, const TreeRows& rows, int32_t selectedRow, const ExpandedSet& expanded,
                            int page);
// Whether the key is one of the tree's own keys and there are rows to act on.
bool isTreeKey(unsigned key, size_t rowCount);

struct Badge {
    const wchar_t* text = L"";
    ColorSlot slot = ColorSlot::text;
};
// The node-kind badge; the root has none (empty text).
Badge nodeBadge(NodeKind kind, bool isDataFormat);
// Colour of a value by the node's kind.
ColorSlot valueSlot(NodeKind kind);
// Colour of a label: attribute names, unkeyed data values dimmed, the rest in text.
ColorSlot labelSlot(const Node* node);

// The count pill's text for an expandable row with the Counts option on ("" when there is none).
std::wstring countPillText(const Node* node, bool showCounts, bool expandable);

struct TreeValue {
    std::wstring text;
    ColorSlot slot = ColorSlot::text;
};
// The right column of a row.
TreeValue treeValue(const Node* node, bool isExpanded, bool showCounts, bool expandable);

}  // namespace qm
