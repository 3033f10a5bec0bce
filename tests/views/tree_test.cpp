// The tree view's portable logic: rows of parsed documents, expansion, keys, hit testing,
// geometry and the texts and colours of a row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/embedded.h"
#include "edit/nodetext.h"
#include "tests/support/testing.h"
#include "views/tree.h"

using namespace qm;
using qmtest::u8;

namespace {

// "depth:label" of every row, for comparing whole outlines at once.
std::vector<std::string> outline(const std::vector<TreeRow>& rows, bool dataFormat = true) {
    std::vector<std::string> out;
    for (const TreeRow& r : rows) {
        std::wstring label = nodeLabel(r.node);
        if (label.empty()) label = L"(" + std::wstring(nodeBadge(r.node->kind, dataFormat).text) + L")";
        out.push_back(std::to_string(r.depth) + ":" + u8(label));
    }
    return out;
}

struct Outline {
    std::unique_ptr<Document> doc;
    ExpandedSet expanded;
    std::vector<TreeRow> rows;

    Outline(const std::wstring& name, const std::wstring& text) : doc(qmtest::parse(name, text)) {
        expandTopLevel(doc->root, expanded);
        rebuild();
    }
    void rebuild() { buildTreeRows(doc->root, expanded, rows); }
    Node* row(const std::string& depthLabel) {
        const auto all = outline(rows);
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i] == depthLabel) return rows[i].node;
        ADD_FAILURE() << "no row " << depthLabel;
        return nullptr;
    }
};

const wchar_t kNested[] = L"{\"a\": {\"b\": {\"c\": 1}}, \"list\": [1, 2], \"s\": \"x\"}";

}  // namespace

TEST(TreeRows, TopLevelOpensWithItsChildren) {
    struct Case {
        const wchar_t* name;
        const wchar_t* text;
        std::vector<std::string> rows;
    } cases[] = {
        // One JSON object: a top row with an empty label, its members at depth 1, nested ones closed.
        {L"a.json", kNested, {"0:({ })", "1:a", "1:list", "1:s"}},
        // JSON Lines: one array whose items are the records.
        {L"a.jsonl", L"{\"x\":1}\n[2]\n", {"0:([ ])", "1:[0]", "1:[1]"}},
        // An element with only text is a leaf; with an attribute it opens to attribute and text.
        {L"a.xml", L"<r><a>t</a><b k=\"v\">t</b></r>", {"0:r", "1:a", "1:b"}},
        {L"a.xml", L"<?xml version=\"1.0\"?><!-- c --><r/>", {"0:xml", "0:(<!)", "0:r"}},
        // A document without values has no rows to open.
        {L"a.json", L"[]", {"0:([ ])"}},
    };
    for (const Case& c : cases) {
        Outline o(c.name, c.text);
        EXPECT_EQ(outline(o.rows, o.doc->isDataFormat), c.rows) << u8(c.text);
    }
}

TEST(TreeRows, ExpansionOperations) {
    Outline o(L"a.json", kNested);
    Node* a = o.row("1:a");
    expandSubtree(a, o.expanded);
    o.rebuild();
    EXPECT_EQ(outline(o.rows), (std::vector<std::string>{"0:({ })", "1:a", "2:b", "3:c", "1:list", "1:s"}));

    ExpandedSet everything;
    expandEverything(*o.doc, everything);
    buildTreeRows(o.doc->root, everything, o.rows);
    EXPECT_EQ(o.rows.size(), 8u);  // every node but the root

    // Revealing a deep node opens exactly its ancestors.
    Outline r(L"a.json", kNested);
    const Node* c = r.row("1:a")->children[0]->children[0];
    expandAncestors(c, r.expanded);
    r.rebuild();
    EXPECT_EQ(outline(r.rows), (std::vector<std::string>{"0:({ })", "1:a", "2:b", "3:c", "1:list", "1:s"}));
    EXPECT_EQ(r.expanded.count(c), 0u);  // the node itself stays as it was
}

// "*" on the top-level node marks the store in one pass, as "Expand all" does, only where that
// opens the same nodes: nothing else at the top level has children.
TEST(TreeRows, SubtreeOfTheWholeDocument) {
    struct Case {
        const wchar_t* name;
        const wchar_t* text;
        bool holdsEveryRow;
    } cases[] = {
        {L"a.json", kNested, true},
        {L"a.xml", L"<?xml version=\"1.0\"?><!-- c --><r><a>t</a></r>", true},
        {L"a.yaml", L"a: [1]\n---\nb: [2]\n", false},  // two documents
    };
    for (const Case& c : cases) {
        Outline o(c.name, c.text);
        EXPECT_EQ(subtreeHoldsEveryRow(o.doc->root, o.doc->root->children.back()), c.holdsEveryRow) << u8(c.text);
        EXPECT_TRUE(subtreeHoldsEveryRow(o.doc->root, o.doc->root));
    }
    Outline o(L"a.json", kNested);
    EXPECT_FALSE(subtreeHoldsEveryRow(o.doc->root, o.row("1:a")));
}

TEST(TreeRows, DeepXmlNeedsNoRecursion) {
    constexpr int kDepth = 100000;
    std::wstring text;
    for (int i = 0; i < kDepth; ++i) text += L"<a>";
    for (int i = 0; i < kDepth; ++i) text += L"</a>";
    auto doc = qmtest::parse(L"deep.xml", text);
    ExpandedSet expanded;
    std::vector<TreeRow> rows;
    TreeRows onDemand;
    qmtest::runWithStack(256 * 1024, [&] {
        expandEverything(*doc, expanded);
        buildTreeRows(doc->root, expanded, rows);
        onDemand.build(doc->root, &expanded, false);
        EXPECT_EQ(onDemand.find(rows.back().node), kDepth - 1);
    });
    ASSERT_EQ(rows.size(), static_cast<size_t>(kDepth));
    EXPECT_EQ(rows.back().depth, static_cast<unsigned>(kDepth - 1));
    EXPECT_EQ(onDemand.size(), rows.size());
}

// The rows read on demand against the full listing: each row, its index found again from its node,
// and its parent's row as the keys find it (the nearest row above of lesser depth).
void expectRowsOnDemand(const Document& doc, const ExpandedSet& expanded, const std::string& what) {
    std::vector<TreeRow> listed;
    buildTreeRows(doc.root, expanded, listed);
    TreeRows rows;
    rows.build(doc.root, &expanded, false);
    ASSERT_EQ(rows.size(), listed.size()) << what;
    EXPECT_EQ(outline(rows), outline(listed)) << what;
    for (size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(rows[i].expandable, listed[i].expandable) << what << " row " << i;
        EXPECT_EQ(rows.find(listed[i].node), int32_t(i)) << what << " row " << i;
        int32_t parent = int32_t(i) - 1;
        while (parent >= 0 && listed[size_t(parent)].depth >= listed[i].depth) --parent;
        EXPECT_EQ(rows.parentRow(int32_t(i)), parent) << what << " row " << i;
    }
    EXPECT_EQ(rows[listed.size()].node, nullptr) << what;
}

TEST(TreeRows, RowsOnDemandAreTheListedRows) {
    struct Case {
        const wchar_t* name;
        std::wstring text;
    } cases[] = {
        // More rows than one checkpoint's distance, nested three deep.
        {L"big.json", qmtest::jsonArray(150, [](size_t i) { return L"{\"id\": " + std::to_wstring(i) + L", \"o\": {\"t\": [1]}}"; })},
        // Sequence items are numbered without the comments between them: not their positions.
        {L"a.yaml", L"- a\n# one\n- [1, 2]\n# two\n- {k: [3]}\n"},
        // An element shown with its text opens as that text's JSON; attributes and texts as rows.
        {L"a.xml", L"<r><p>{\"a\": {\"b\": 1}}</p><q k=\"v\">t<i/></q></r>"},
    };
    for (const Case& c : cases) {
        auto doc = qmtest::parse(c.name, c.text);
        for (size_t i = 0; i < doc->nodes.size(); ++i) {
            if (awaitsOpening(&doc->nodes[i])) {
                EXPECT_EQ(openEmbedded(*doc, &doc->nodes[i]), L"");
            }
        }
        ExpandedSet expanded;
        expandTopLevel(doc->root, expanded);
        expectRowsOnDemand(*doc, expanded, u8(c.name) + " top level");
        expanded.clear();
        expandEverything(*doc, expanded);
        expectRowsOnDemand(*doc, expanded, u8(c.name) + " everything");
        // Every third expandable node closed again: rows then skip those subtrees.
        for (size_t i = 0, n = 0; i < doc->nodes.size(); ++i)
            if (isExpandable(&doc->nodes[i]) && n++ % 3 == 0) expanded.erase(&doc->nodes[i]);
        expectRowsOnDemand(*doc, expanded, u8(c.name) + " some closed");
    }
}

// Expand all on n and 4n records: the pass that counts the rows grows with the document, reading
// the last screen and finding the last row's index cost the same.
TEST(TreeRows, ExpandAllGrowsLinearlyAndReadingAScreenDoesNot) {
    struct Cost {
        uint64_t build, screen, find;
    };
    auto cost = [](size_t records) {
        auto doc = qmtest::parse(L"a.json", qmtest::jsonArray(records, [](size_t i) {
            return L"{\"id\": " + std::to_wstring(i) + L", \"tags\": [1, 2], \"o\": {\"x\": {\"y\": 1}}}";
        }));
        ExpandedSet expanded;
        expandEverything(*doc, expanded);
        TreeRows rows;
        rows.build(doc->root, &expanded, false);
        Cost c{rows.steps(), 0, 0};
        uint64_t before = rows.steps();
        for (size_t i = rows.size() - 40; i < rows.size(); ++i) EXPECT_NE(rows[i].node, nullptr);
        c.screen = rows.steps() - before;
        before = rows.steps();
        EXPECT_EQ(rows.find(rows.back().node), int32_t(rows.size() - 1));
        c.find = rows.steps() - before;
        return c;
    };
    const Cost n = cost(500), n4 = cost(2000);
    EXPECT_LE(n4.build, 4 * n.build + 64) << n.build << " then " << n4.build;
    EXPECT_GE(n4.build, 3 * n.build) << "the pass counts every row";
    EXPECT_LE(n4.screen, n.screen + TreeRows::kRowCheckpoint) << n.screen << " then " << n4.screen;
    EXPECT_LE(n4.find, 2 * n.find + 32) << n.find << " then " << n4.find;
}

TEST(TreeRows, CollapseAllStandInIsTheVisibleAncestor) {
    Outline o(L"a.json", kNested);
    Node* a = o.row("1:a");
    Node* c = a->children[0]->children[0];
    ExpandedSet top;
    expandTopLevel(o.doc->root, top);
    EXPECT_EQ(collapsedStandIn(c, top), a);             // the child of the top-level node
    EXPECT_EQ(collapsedStandIn(a, top), a);             // already visible
    ExpandedSet none;
    EXPECT_EQ(collapsedStandIn(c, none), o.doc->root->children[0]);
}

TEST(TreeKeys, EveryKeyFromARow) {
    Outline o(L"a.json", kNested);  // rows: 0 {}, 1 a (closed), 2 list (closed), 3 s
    const int page = 2;
    struct Case {
        unsigned key;
        int32_t from;
        TreeAction action;
        int32_t row;
    } cases[] = {
        {kKeyDown, -1, TreeAction::Select, 0},   // no selection: the first row
        {kKeyUp, -1, TreeAction::Select, 0},
        {kKeyDown, 1, TreeAction::Select, 2},
        {kKeyDown, 3, TreeAction::Select, 3},    // stays on the last row
        {kKeyUp, 0, TreeAction::Select, 0},
        {kKeyHome, 3, TreeAction::Select, 0},
        {kKeyEnd, 0, TreeAction::Select, 3},
        {kKeyNext, 0, TreeAction::Select, 1},    // a page of 2 moves by 1
        {kKeyPrior, 3, TreeAction::Select, 2},
        {kKeyNext, 3, TreeAction::Select, 3},
        {kKeyReturn, 1, TreeAction::Toggle, 1},
        {kKeyRight, 1, TreeAction::Toggle, 1},   // closed: opens
        {kKeyRight, 0, TreeAction::Select, 1},   // open: to the first child
        {kKeyRight, 3, TreeAction::None, -1},    // a leaf: nothing
        {kKeyLeft, 0, TreeAction::Toggle, 0},    // open: closes
        {kKeyLeft, 2, TreeAction::Select, 0},    // closed: to the parent
        {kKeyAdd, 1, TreeAction::Toggle, 1},
        {kKeyAdd, 0, TreeAction::None, -1},      // already open
        {kKeySubtract, 0, TreeAction::Toggle, 0},
        {kKeySubtract, 1, TreeAction::None, -1},
        {kKeyMultiply, 2, TreeAction::ExpandSubtree, 2},
        {'N', 0, TreeAction::None, -1},
    };
    for (const Case& c : cases) {
        const TreeKeyResult r = treeKeyAction(c.key, o.rows, c.from, o.expanded, page);
        EXPECT_EQ(static_cast<int>(r.action), static_cast<int>(c.action)) << "key " << c.key << " from " << c.from;
        if (c.action != TreeAction::None) {
            EXPECT_EQ(r.row, c.row) << "key " << c.key << " from " << c.from;
        }
    }
    // Left on a closed top-level row has no parent row: the key is the tree's but does nothing.
    o.expanded.clear();
    o.rebuild();
    EXPECT_TRUE(isTreeKey(kKeyLeft, o.rows.size()));
    EXPECT_EQ(treeKeyAction(kKeyLeft, o.rows, 0, o.expanded, page).action, TreeAction::None);
    // Without rows no key is the tree's: it goes on to the host.
    EXPECT_FALSE(isTreeKey(kKeyDown, 0));
}

TEST(TreeGeometry, ColumnsSplitterAndHits) {
    // W = max(80, min(client - 80, split)), in pixels.
    EXPECT_EQ(nameColumnPixels(1000, 300, 96), 300);
    EXPECT_EQ(nameColumnPixels(350, 300, 96), 270);
    EXPECT_EQ(nameColumnPixels(150, 300, 96), 80);   // narrower than 160: the left column keeps 80
    EXPECT_EQ(nameColumnPixels(1000, 300, 144), 450);
    EXPECT_EQ(splitFromDrag(500, 1000, 96), 500u);
    EXPECT_EQ(splitFromDrag(10, 1000, 96), 80u);
    EXPECT_EQ(splitFromDrag(990, 1000, 96), 920u);
    EXPECT_EQ(splitFromDrag(450, 1000, 144), 300u);
    EXPECT_EQ(scaleDips(7, 144), 11);  // 10.5 rounds up, as MulDiv does
    // The label comes first; the count pill only where label and pill fit whole.
    struct Fit {
        int labelWidth, pillWidth, limit;
        bool pill;
    } fits[] = {
        {50, 20, 64, true},    // 10 + 50 + 6 + 20 <= 90
        {60, 20, 90, false},   // the pill does not fit: the label has the column
        {0, 20, 64, true},     // no label: the pill wherever it fits
        {0, 90, 90, false},
        {50, 0, 90, false},    // no pill
    };
    for (const Fit& f : fits) {
        const NameFit fit = fitNameColumn(10, 90, f.labelWidth, f.pillWidth, 6);
        EXPECT_EQ(fit.labelLimit, f.limit) << f.labelWidth << " " << f.pillWidth;
        EXPECT_EQ(fit.pill, f.pill) << f.labelWidth << " " << f.pillWidth;
    }

    Outline o(L"a.json", kNested);  // depth 0, then depth 1 rows
    const int rowHeight = 22, column = 300;
    struct Case {
        int x, y;
        bool splitter;
        int32_t row;
        bool expander;
    } cases[] = {
        {300, 5, true, 0, false},   {303, 5, true, 0, false},  {304, 5, false, 0, false},
        {4, 5, false, 0, true},     {21, 5, false, 0, true},   {22, 5, false, 0, false},
        {20, 22, false, 1, true},   {19, 22, false, 1, false}, // depth 1: zone from 20 to 38
        {30, 70, false, 3, false},                             // "s" is a leaf: no expander
        {30, 88, false, -1, false},                            // below the last row
    };
    for (const Case& c : cases) {
        const TreeHit hit = treeHitTest(c.x, c.y, o.rows, 0, rowHeight, column, 96);
        EXPECT_EQ(hit.onSplitter, c.splitter) << c.x << "," << c.y;
        EXPECT_EQ(hit.row, c.row) << c.x << "," << c.y;
        EXPECT_EQ(hit.onExpander, c.expander) << c.x << "," << c.y;
    }
    EXPECT_EQ(treeHitTest(30, 5, o.rows, 2, rowHeight, column, 96).row, 2);  // scrolled by 2
}

TEST(TreeGeometry, ScrollingAndWheel) {
    EXPECT_EQ(pageRows(100, 22), 4);
    EXPECT_EQ(pageRows(10, 22), 1);
    EXPECT_EQ(clampTopRow(50, 20, 4), 16u);
    EXPECT_EQ(clampTopRow(-3, 20, 4), 0u);
    EXPECT_EQ(clampTopRow(5, 3, 4), 0u);  // fewer rows than a page
    EXPECT_EQ(topRowShowing(2, 5, 20, 4), 2u);
    EXPECT_EQ(topRowShowing(12, 5, 20, 4), 9u);
    EXPECT_EQ(topRowShowing(7, 5, 20, 4), 5u);

    int32_t remainder = 0;
    EXPECT_EQ(takeWheelNotches(remainder, 60), 0);
    EXPECT_EQ(takeWheelNotches(remainder, 60), 1);
    EXPECT_EQ(remainder, 0);
    EXPECT_EQ(takeWheelNotches(remainder, -300), -2);
    EXPECT_EQ(remainder, -60);  // toward zero: the rest stays negative
}

TEST(TreeText, BadgesAndValueColours) {
    struct Case {
        NodeKind kind;
        bool data;
        const wchar_t* badge;
        ColorSlot badgeSlot, valueSlot;
    } cases[] = {
        {NodeKind::Element, false, L"<>", ColorSlot::tag, ColorSlot::text},
        {NodeKind::Attribute, false, L"=", ColorSlot::attributeName, ColorSlot::text},
        {NodeKind::Text, false, L"abc", ColorSlot::string, ColorSlot::text},
        {NodeKind::CData, false, L"CD", ColorSlot::entityType, ColorSlot::entityType},
        {NodeKind::Comment, false, L"<!", ColorSlot::comment, ColorSlot::comment},
        {NodeKind::Comment, true, L"#", ColorSlot::comment, ColorSlot::comment},
        {NodeKind::ProcessingInstruction, false, L"<?", ColorSlot::directive, ColorSlot::directive},
        {NodeKind::DocType, false, L"DT", ColorSlot::comment, ColorSlot::comment},
        {NodeKind::XmlDeclaration, false, L"<?", ColorSlot::directive, ColorSlot::directive},
        {NodeKind::Object, true, L"{ }", ColorSlot::tag, ColorSlot::text},
        {NodeKind::Array, true, L"[ ]", ColorSlot::directive, ColorSlot::text},
        {NodeKind::String, true, L"abc", ColorSlot::string, ColorSlot::text},
        {NodeKind::Number, true, L"123", ColorSlot::number, ColorSlot::number},
        {NodeKind::Bool, true, L"bool", ColorSlot::constant, ColorSlot::constant},
        {NodeKind::Null, true, L"null", ColorSlot::constant, ColorSlot::constant},
    };
    for (const Case& c : cases) {
        const Badge b = nodeBadge(c.kind, c.data);
        EXPECT_EQ(std::wstring(b.text), c.badge) << int(c.kind);
        EXPECT_EQ(b.slot, c.badgeSlot) << int(c.kind);
        EXPECT_EQ(valueSlot(c.kind), c.valueSlot) << int(c.kind);
    }
    EXPECT_EQ(std::wstring(nodeBadge(NodeKind::Root, true).text), L"");
}

TEST(TreeText, ValuesPillsAndLabelColours) {
    Outline o(L"a.json", L"{\"o\": {\"k\": 1, \"l\": 2}, \"e\": [], \"n\": 5}");
    Node* top = o.rows[0].node;
    Node* obj = o.row("1:o");
    Node* empty = o.row("1:e");
    struct Case {
        Node* node;
        bool open, counts;
        std::wstring value;
        ColorSlot slot;
        std::wstring pill;
    } cases[] = {
        {obj, false, false, L"{ 2 }", ColorSlot::dimText, L""},
        {obj, false, true, L"", ColorSlot::dimText, L"2"},   // the pill carries the count
        {obj, true, true, L"", ColorSlot::text, L"2"},
        {top, true, false, L"", ColorSlot::text, L""},
        {empty, false, true, valuePreview(empty), ColorSlot::dimText, L""},
    };
    for (const Case& c : cases) {
        const bool expandable = isExpandable(c.node);
        const TreeValue v = treeValue(c.node, c.open, c.counts, expandable);
        EXPECT_EQ(u8(v.text), u8(c.value)) << u8(nodeLabel(c.node)) << " open " << c.open;
        EXPECT_EQ(v.slot, c.slot) << u8(nodeLabel(c.node));
        EXPECT_EQ(u8(countPillText(c.node, c.counts, expandable)), u8(c.pill)) << u8(nodeLabel(c.node));
    }
    EXPECT_EQ(labelSlot(top), ColorSlot::dimText);      // the unkeyed top value
    EXPECT_EQ(labelSlot(obj), ColorSlot::text);

    // XML: an element with an attribute and text shows the text while closed; its pill counts
    // only child elements.
    Outline x(L"a.xml", L"<r><b k=\"v\">hello</b><c><d/><d/>t</c></r>");
    Node* b = x.row("1:b");
    Node* c = x.row("1:c");
    EXPECT_EQ(u8(treeValue(b, false, true, true).text), "hello");
    EXPECT_EQ(u8(countPillText(c, true, true)), "2");
    EXPECT_EQ(u8(countPillText(b, true, true)), "");  // no child elements: no pill
    EXPECT_EQ(labelSlot(b->children[0]), ColorSlot::attributeName);
}
