// The node store and the read-only queries every view relies on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "document/document.h"
#include "document/embedded.h"
#include "parsers/json.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

Node* add(Document& d, NodeKind k, Node* parent, const wchar_t* value = L"") {
    Node* n = createNode(d, k, parent, 1);
    n->value.set(d, storeText(d, value));
    return n;
}

}  // namespace

TEST(Document, RootOnlyCountsZeroNodes) {
    Document d;
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    EXPECT_EQ(nodeCount(d), 0u);
    EXPECT_TRUE(isExpandable(d.root));  // the root is expandable even without children
}

TEST(Document, NodesNeverMoveAndIndexIsCreationOrder) {
    Document d;
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    std::vector<Node*> made;
    for (int i = 0; i < 20000; ++i) made.push_back(add(d, NodeKind::Number, d.root));
    for (size_t i = 0; i < made.size(); ++i) {
        ASSERT_EQ(&d.nodes[i + 1], made[i]);
        ASSERT_EQ(nodeIndex(d, made[i]), i + 1);
        ASSERT_EQ(made[i]->indexInParent, i);
    }
    EXPECT_EQ(nodeCount(d), 20000u);
    Node outsider;
    EXPECT_EQ(nodeIndex(d, &outsider), SIZE_MAX);
}

TEST(Document, SimpleElementAndExpandable) {
    Document d;
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    Node* withAttr = add(d, NodeKind::Element, d.root);
    add(d, NodeKind::Attribute, withAttr);
    withAttr->attributeCount = 1;
    add(d, NodeKind::Text, withAttr);
    EXPECT_FALSE(isSimpleElement(withAttr));
    EXPECT_TRUE(isExpandable(withAttr));

    Node* cdataOnly = add(d, NodeKind::Element, d.root);
    add(d, NodeKind::CData, cdataOnly);
    EXPECT_TRUE(isSimpleElement(cdataOnly));
    EXPECT_FALSE(isExpandable(cdataOnly));

    Node* twoTexts = add(d, NodeKind::Element, d.root);
    add(d, NodeKind::Text, twoTexts, L"a");
    add(d, NodeKind::CData, twoTexts, L"b");
    add(d, NodeKind::Comment, twoTexts, L"c");
    EXPECT_FALSE(isSimpleElement(twoTexts));
    EXPECT_EQ(textContent(twoTexts), L"ab");

    Node* emptyObject = add(d, NodeKind::Object, d.root);
    Node* emptyArray = add(d, NodeKind::Array, d.root);
    EXPECT_FALSE(isExpandable(emptyObject));
    EXPECT_FALSE(isExpandable(emptyArray));
    add(d, NodeKind::Number, emptyArray);
    add(d, NodeKind::Comment, emptyArray);
    add(d, NodeKind::Number, emptyArray);
    EXPECT_TRUE(isExpandable(emptyArray));
    EXPECT_EQ(countItems(emptyArray), 2u);
    EXPECT_FALSE(isExpandable(add(d, NodeKind::String, d.root)));
}

TEST(Document, PreviewTextCollapsesSpaceAndTruncates) {
    struct Case {
        const wchar_t* text;
        size_t limit;
        const wchar_t* expected;
    } cases[] = {
        {L"  a \n\t b  ", 10, L"a b"},
        {L"abcdef", 3, L"abc\u2026"},
        {L"abc", 3, L"abc"},
        {L"abc  ", 3, L"abc"},   // trailing space does not count as a remaining character
        {L"ab cd", 3, L"ab \u2026"},
        {L"", 5, L""},
        {L" \r\n ", 5, L""},
        {L"a\u00A0b", 5, L"a\u00A0b"},  // only space, tab, LF and CR collapse
    };
    for (const Case& c : cases) EXPECT_EQ(previewText(c.text, c.limit), c.expected) << c.limit;
}

TEST(Document, SpansStopAtLastRecordedNode) {
    Document d;
    d.recordSpans = true;
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    add(d, NodeKind::Number, d.root);
    Node* withSpan = add(d, NodeKind::Number, d.root);
    recordSpan(d, 4, 9);
    Node* after = add(d, NodeKind::Number, d.root);
    uint32_t a = 0, b = 0;
    EXPECT_TRUE(nodeSpan(d, withSpan, a, b));
    EXPECT_EQ(a, 4u);
    EXPECT_EQ(b, 9u);
    EXPECT_FALSE(nodeSpan(d, d.nodes[1].parent->children[0], a, b));  // filled with the no-span mark
    EXPECT_FALSE(nodeSpan(d, after, a, b));                               // beyond the end of spans
    EXPECT_EQ(d.spans.size(), 6u);
}

TEST(Document, OnlyFirstErrorIsKept) {
    Document d;
    setDocumentError(d, L"first", 3);
    setDocumentError(d, L"second", 7);
    EXPECT_EQ(d.errorMessage, L"first");
    EXPECT_EQ(d.errorLine, 3u);
}

TEST(Document, StoredTextsStayValid) {
    Document d;
    std::vector<const wchar_t*> tags;
    std::vector<NodeText> texts;
    for (int i = 0; i < 1000; ++i) tags.push_back(internString(d, L"tag" + std::to_wstring(i)));
    // Larger than a quarter of a store chunk: such texts get their own chunk between small ones.
    for (int i = 0; i < 40; ++i) texts.push_back(storeText(d, std::wstring(size_t(70000 + i), wchar_t(L'a' + i % 26))));
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(std::wstring(tags[i]), L"tag" + std::to_wstring(i));
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(texts[i].str(), std::wstring(size_t(70000 + i), wchar_t(L'a' + i % 26)));
        EXPECT_EQ(texts[i].data()[texts[i].size()], L'\0');  // stored texts are NUL-terminated
    }
    EXPECT_TRUE(storeText(d, L"").empty());
}

// Child lists grow by doubling in the document's store, are set once at their exact size, or
// are cut back; their items and the children's places stay right through all of it.
TEST(Document, ChildListsGrowSetAndShrink) {
    Document d;
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    Node* parent = add(d, NodeKind::Array, d.root);
    std::vector<Node*> made;
    for (int i = 0; i < 1000; ++i) {
        made.push_back(add(d, NodeKind::Number, parent));
        ASSERT_EQ(parent->children.size(), made.size());
        ASSERT_GE(parent->children.capacity(), made.size());
        ASSERT_EQ(parent->children.back(), made.back());
    }
    for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(parent->children[i], made[i]);
    EXPECT_EQ(std::vector<Node*>(parent->children.begin(), parent->children.end()), made);

    Node* exact = add(d, NodeKind::Array, d.root);
    setChildren(d, exact, made.data(), 3);
    EXPECT_EQ(exact->children.size(), 3u);
    EXPECT_EQ(exact->children.capacity(), 3u);
    appendChild(d, exact, made[3]);  // a full exact list moves to a bigger array
    EXPECT_EQ(std::vector<Node*>(exact->children.begin(), exact->children.end()),
              std::vector<Node*>(made.begin(), made.begin() + 4));
    EXPECT_EQ(made[3]->indexInParent, 3u);
    EXPECT_EQ(made[3]->parent, exact);

    truncateChildren(exact, 1);
    EXPECT_EQ(exact->children.size(), 1u);
    appendChild(d, exact, made[4]);
    EXPECT_EQ(exact->children[1], made[4]);
    EXPECT_EQ(made[4]->indexInParent, 1u);
    EXPECT_THROW(exact->children.at(2), std::out_of_range);

    setChildren(d, exact, nullptr, 0);
    EXPECT_TRUE(exact->children.empty());
    EXPECT_EQ(exact->children.begin(), exact->children.end());
}

// A list set with one child keeps no header; it still reads, is replaced into, grows and is cut
// back like any other.
TEST(Document, OneChildListsWithoutHeader) {
    Document d;
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    Node* a = add(d, NodeKind::Number, d.root);
    Node* b = add(d, NodeKind::Number, d.root);
    Node* c = add(d, NodeKind::Number, d.root);
    Node* list = add(d, NodeKind::Array, d.root);
    setChildren(d, list, &a, 1);
    EXPECT_EQ(list->children.size(), 1u);
    EXPECT_FALSE(list->children.empty());
    EXPECT_EQ(list->children.capacity(), 1u);
    EXPECT_EQ(std::vector<Node*>(list->children.begin(), list->children.end()), std::vector<Node*>{a});
    EXPECT_EQ(list->children.back(), a);
    replaceChild(list, 0, b);
    EXPECT_EQ(list->children.front(), b);
    appendChild(d, list, c);
    EXPECT_EQ(std::vector<Node*>(list->children.begin(), list->children.end()), (std::vector<Node*>{b, c}));
    EXPECT_EQ(c->indexInParent, 1u);
    setChildren(d, list, &a, 1);
    truncateChildren(list, 0);
    EXPECT_TRUE(list->children.empty());
    EXPECT_EQ(list->children.begin(), list->children.end());
    appendChild(d, list, c);
    EXPECT_EQ(list->children.size(), 1u);
    EXPECT_EQ(list->children[0], c);
}

// An array a list outgrows goes to the next list that needs one of its size (YAML and TOML grow
// every list a child at a time): lists grown in turns keep their own children all the same.
TEST(Document, OutgrownChildArraysAreTakenByTheNextList) {
    Document d;
    Node* first = createNode(d, NodeKind::Array, nullptr, 1);
    Node* second = createNode(d, NodeKind::Array, nullptr, 1);
    std::vector<Node*> firstMade{add(d, NodeKind::Number, first)}, secondMade;
    const ChildIterator outgrown = first->children.begin();
    for (int i = 0; i < 2; ++i) firstMade.push_back(add(d, NodeKind::Number, first));  // 2 -> 4
    secondMade.push_back(add(d, NodeKind::Number, second));
    EXPECT_EQ(second->children.begin(), outgrown);
    for (int i = 0; i < 500; ++i) {
        firstMade.push_back(add(d, NodeKind::Number, first));
        secondMade.push_back(add(d, NodeKind::Number, second));
    }
    EXPECT_EQ(std::vector<Node*>(first->children.begin(), first->children.end()), firstMade);
    EXPECT_EQ(std::vector<Node*>(second->children.begin(), second->children.end()), secondMade);
    for (size_t i = 0; i < secondMade.size(); ++i) EXPECT_EQ(secondMade[i]->indexInParent, i);
}

// A node holds its name and value in six bytes: a run of the decoded text by its index, a copy in
// the store by its place, a text of kLongText characters or more through a record with its length.
// Each reads back as the very characters it was set from (a run of the decoded text keeps its
// position even when empty, which editing uses); a text that is not the document's own is copied,
// once for the nodes that share it.
TEST(Document, NodeTextsReadBackWhateverTheyWereSetFrom) {
    Document d;
    const size_t longRun = StoredText::kLongText + 5;
    d.parsedText = L"abc" + std::wstring(longRun, L'x') + L"\"\"" + std::wstring(StoredText::kLongText - 1, L'y');
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    const std::wstring_view text = d.parsedText;
    const NodeText stored = storeText(d, std::wstring(70000, L'z'));
    const NodeText storedShort = storeText(d, L"copied");
    struct Case {
        std::wstring_view set;
        bool samePlace;  // read back at the address it was set from
    } cases[] = {
        {text.substr(0, 3), true},
        {text.substr(3, longRun), true},
        {text.substr(4 + longRun, 0), true},  // between the quotes
        {text.substr(5 + longRun), true},     // one character short of a long text
        {text.substr(4 + longRun), true},     // the first long one
        {text, true},
        {stored.view(), true},
        {stored.view().substr(1, 3), true},
        {storedShort.view(), true},
        {std::wstring_view(), false},
    };
    for (const Case& c : cases) {
        Node* n = add(d, NodeKind::String, d.root);
        n->name.set(d, c.set);
        n->value.set(d, n->name);
        for (const StoredText* t : {&n->name, &n->value}) {
            EXPECT_EQ(t->view(), c.set) << c.set.size();
            if (c.samePlace) {
                EXPECT_EQ(t->data(), c.set.data()) << c.set.size();
            }
        }
    }

    // Not the document's own: a temporary is copied; a literal on many nodes is stored once.
    Node* fromTemporary = add(d, NodeKind::String, d.root);
    fromTemporary->value.set(d, std::wstring(50000, L't') + L"!");
    EXPECT_EQ(fromTemporary->value, std::wstring(50000, L't') + L"!");
    std::vector<Node*> nulls;
    for (int i = 0; i < 1000; ++i) {
        nulls.push_back(add(d, NodeKind::Null, d.root));
        nulls.back()->value.set(d, L"null");
    }
    for (const Node* n : nulls) ASSERT_EQ(n->value.data(), nulls.front()->value.data()) << "a copy per node";
    EXPECT_EQ(nulls.back()->value, L"null");
}

// The file's bytes, once decoded, become the first space of the document's store: the first
// nodes and texts are placed in them and stay valid; a store has one file space.
TEST(Document, StoreTakesOverTheFileBuffer) {
    Document d;
    uint8_t* base = d.store.fileSpace(size_t(2) << 20);
    std::memset(base, 0xAB, size_t(2) << 20);
    EXPECT_THROW(d.store.fileSpace(100), std::logic_error);
    d.store.reuseFileSpace();
    EXPECT_EQ(d.store.bytesOfFileSpace(), size_t(2) << 20);
    auto inBuffer = [&](const void* p) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        return b >= base && b < base + (size_t(2) << 20);
    };
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    EXPECT_TRUE(inBuffer(d.root));
    // Enough nodes that they alone outgrow the 2 MiB, whatever the pointer size.
    const int count = int((size_t(2) << 20) / sizeof(Node)) + 1000;
    std::vector<Node*> made;
    for (int i = 0; i < count; ++i) {
        Node* n = add(d, NodeKind::String, d.root, L"value");
        n->name.set(d, storeText(d, L"key" + std::to_wstring(i)));
        made.push_back(n);
    }
    EXPECT_TRUE(inBuffer(made.front()));
    EXPECT_TRUE(inBuffer(made.front()->name.data()));
    EXPECT_FALSE(inBuffer(made.back()));
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(made[size_t(i)]->name, L"key" + std::to_wstring(i));
        ASSERT_EQ(made[size_t(i)]->value, L"value");
        ASSERT_EQ(nodeIndex(d, made[size_t(i)]), size_t(i) + 1);
        // Links from the file space to later chunks and back (32-bit distances in the 64-bit build).
        ASSERT_EQ(made[size_t(i)]->parent, d.root);
        ASSERT_EQ(d.root->children[size_t(i)], made[size_t(i)]);
    }
    EXPECT_EQ(d.root->children.size(), size_t(count));
}

// ---- JSON inside strings ----

// The first node of the file named `name`.
static Node* named(Document& d, std::wstring_view name) {
    for (size_t i = 0; i < fileNodeCount(d); ++i)
        if (d.nodes[i].name == name) return &d.nodes[i];
    return nullptr;
}

TEST(EmbeddedJson, WhichStringsOfferAnExpanderBeforeAnyParse) {
    const struct {
        const wchar_t* file;
        const wchar_t* text;
        bool offers;
    } cases[] = {
        {L"t.json", L"{\"p\": \" \\n [1, 2]\\t \"}", true},  // white space around it
        {L"t.json", L"{\"p\": \"{not json]\"}", true},        // it looks so: parsed when opened
        {L"t.yaml", L"p: '{\"id\": 3}'\n", true},
        {L"t.toml", L"p = '[1]'\n", true},
        {L"t.json", L"{\"p\": \"{ }\"}", false},  // nothing inside
        {L"t.json", L"{\"p\": \"{\"}", false},
        {L"t.json", L"{\"p\": \"[1] and more\"}", false},
        {L"t.json", L"{\"p\": 3}", false},
        // XML: an attribute, an element shown with its text, a CDATA section; strict JSON only.
        {L"t.xml", L"<r p='{\"id\": 3}'/>", true},
        {L"t.xml", L"<r><p> [1, 2] </p></r>", true},
        {L"t.xml", L"<r><p><![CDATA[[{\"a\": 1}]]]></p></r>", true},
        {L"t.xml", L"<r p='{93995380-89BD-4b04-88EB-625FBE52EBFB}'/>", false},
        {L"t.xml", L"<r><p>[see note]</p></r>", false},
        // .reg values are read as strictly: they are full of class identifiers in braces.
        {L"t.reg", L"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\k]\r\n\"p\"=\"{93995380-89BD-4b04-88EB-625FBE52EBFB}\"\r\n", false},
        {L"t.reg", L"Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\k]\r\n\"p\"=\"{\\\"id\\\": 3}\"\r\n", true},
    };
    for (const auto& c : cases) {
        auto doc = qmtest::parse(c.file, c.text);
        Node* p = named(*doc, L"p");
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(isExpandable(p), c.offers) << qmtest::u8(c.text);
        EXPECT_EQ(doc->firstEmbedded, 0u) << "loading parses no string";
    }
}

// Opening: the parser's message and line in both languages, its depth limit counted from the
// string's own depth; the file's own error and node count stay; a string is parsed once.
TEST(EmbeddedJson, OpeningParsesOnceOrSaysWhy) {
    auto nested = [](int levels) {
        return L"{\"p\": \"" + std::wstring(levels, L'[') + std::wstring(levels, L']') + L"\"}";
    };
    const struct {
        std::wstring text;
        const wchar_t* english;  // empty: it opens
        const wchar_t* german;
    } cases[] = {
        {L"{\"p\": \"{\\\"a\\\": }\"}", L"The string holds no valid JSON: line 1: Unexpected character",
         L"Die Zeichenkette enth\u00e4lt kein g\u00fcltiges JSON: Zeile 1: Unerwartetes Zeichen"},
        {L"{\"p\": \"[1]\\n[2]\"}", L"The string holds no valid JSON: line 2: Unexpected data after the JSON value",
         L"Die Zeichenkette enth\u00e4lt kein g\u00fcltiges JSON: Zeile 2: Weitere Daten nach dem JSON-Wert"},
        {nested(kMaxJsonDepth), L"", L""},
        {nested(kMaxJsonDepth + 1), L"The string holds no valid JSON: line 1: Nesting too deep",
         L"Die Zeichenkette enth\u00e4lt kein g\u00fcltiges JSON: Zeile 1: Verschachtelung zu tief"},
    };
    for (const bool german : {false, true}) {
        qmtest::LanguageGuard language(german);
        for (const auto& c : cases) {
            auto doc = qmtest::parse(L"t.json", c.text);
            Node* p = named(*doc, L"p");
            const size_t count = nodeCount(*doc);
            const std::wstring message = german ? c.german : c.english;
            EXPECT_EQ(qmtest::u8(openEmbedded(*doc, p)), qmtest::u8(message));
            EXPECT_EQ(isExpandable(p), message.empty());
            EXPECT_EQ(doc->errorMessage, L"");
            EXPECT_EQ(nodeCount(*doc), count) << "the status bar counts the file's nodes";
            const size_t nodes = doc->nodes.size();
            EXPECT_EQ(openEmbedded(*doc, p), L"");
            EXPECT_EQ(doc->nodes.size(), nodes) << "parsed once";
        }
    }
}

// Opening an embedded value of n and of 4n records: the nodes and the store it takes grow with it.
TEST(EmbeddedJson, OpeningGrowsLinearlyWithTheText) {
    auto cost = [](size_t records) {
        const std::wstring inner = qmtest::jsonArray(records, [](size_t i) { return L"{\\\"id\\\":" + std::to_wstring(i) + L"}"; });
        auto doc = qmtest::parse(L"t.json", L"{\"p\": \"" + inner + L"\"}");
        const size_t nodes = doc->nodes.size(), bytes = doc->store.bytesReserved();
        EXPECT_EQ(openEmbedded(*doc, named(*doc, L"p")), L"");
        return std::pair<size_t, size_t>(doc->nodes.size() - nodes, doc->store.bytesReserved() - bytes);
    };
    const auto small = cost(20000), large = cost(80000);
    EXPECT_EQ(large.first, 4 * small.first);
    // Memory is counted by chunks (1 MiB): the small opening may fill the chunk the parse left
    // begun, so its figure can be short by up to a chunk, which counts four times here.
    EXPECT_LE(large.second, 4 * small.second + (size_t(5) << 20)) << small.second;
}
