// Labels, previews, summaries and paths of nodes in every format, and the JSON string quoting.
#include <gtest/gtest.h>

#include <string>

#include "edit/nodetext.h"
#include "edit/pathfind.h"
#include "tests/edit/treebuild.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::Tree;
using qmtest::u8;

namespace {

// The first node (pre-order) whose label is `label`, for trees built by a parser.
const Node* findByLabel(const Node* from, const std::wstring& label) {
    std::vector<const Node*> stack{from};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (n->kind != NodeKind::Root && nodeLabel(n) == label) return n;
        for (size_t i = n->children.size(); i-- > 0;) stack.push_back(n->children[i]);
    }
    return nullptr;
}

}  // namespace

TEST(JsonQuote, EscapesOnlyWhatJsonNeeds) {
    struct Case {
        std::wstring in, out;
    } cases[] = {
        {L"", L"\"\""},
        {L"a\tb\nc\rd", L"\"a\\tb\\nc\\rd\""},
        {L"say \"hi\" \\o/", L"\"say \\\"hi\\\" \\\\o/\""},
        {L"\x1b", L"\"\\u001b\""},
        {std::wstring(1, L'\0'), L"\"\\u0000\""},
        {L"\b\f\x1f", L"\"\\u0008\\u000c\\u001f\""},       // no short escapes for backspace and form feed
        {L"\x7f\xe9\x20ac", L"\"\x7f\xe9\x20ac\""},           // DEL and non-ASCII unchanged
        {std::wstring{wchar_t(0xD800), L'x'}, std::wstring{L'"', wchar_t(0xD800), L'x', L'"'}},  // lone surrogate
    };
    for (const Case& c : cases) EXPECT_EQ(jsonQuote(c.in), c.out) << u8(c.in);
}

TEST(NodeText, NullNodeGivesEmptyTexts) {
    EXPECT_EQ(nodeLabel(nullptr), L"");
    EXPECT_EQ(valuePreview(nullptr), L"");
    EXPECT_EQ(nodeSummary(nullptr), L"");
    EXPECT_EQ(nodePath(nullptr, DocumentFormat::Json), L"");
}

TEST(NodeLabel, XmlKinds) {
    Tree t(DocumentFormat::Xml);
    Node* decl = t.add(t.root, NodeKind::XmlDeclaration, L"XML", L"version=\"1.0\"");
    Node* doctype = t.add(t.root, NodeKind::DocType, L"DOCTYPE", L"html");
    Node* pi = t.add(t.root, NodeKind::ProcessingInstruction, L"style", L"a");
    Node* el = t.add(t.root, NodeKind::Element, L"ns:book");
    Node* at = t.attribute(el, L"id", L"7");
    Node* text = t.add(el, NodeKind::Text, L"", L"x");
    Node* cdata = t.add(el, NodeKind::CData, L"", L"y");
    Node* comment = t.add(el, NodeKind::Comment, L"", L"z");
    struct Case {
        const Node* node;
        const wchar_t* label;
    } cases[] = {{t.root, L""},     {decl, L"xml"}, {doctype, L"DOCTYPE"}, {pi, L"style"}, {el, L"ns:book"},
                 {at, L"id"},       {text, L""},    {cdata, L""},          {comment, L""}};
    for (const Case& c : cases) EXPECT_EQ(nodeLabel(c.node), c.label) << int(c.node->kind);
}

TEST(NodeLabel, DataKindsKeysIndexesAndDocuments) {
    Tree single;
    Node* top = single.add(single.root, NodeKind::Object);
    Node* list = single.member(top, NodeKind::Array, L"list");
    single.add(list, NodeKind::Number, L"", L"1");
    Node* third = single.add(list, NodeKind::String, L"", L"x");
    third->indexInParent = 3;  // as stored, even when it is not the position
    EXPECT_EQ(nodeLabel(top), L"");
    EXPECT_EQ(nodeLabel(list), L"list");
    EXPECT_EQ(nodeLabel(list->children[0]), L"[0]");
    EXPECT_EQ(nodeLabel(third), L"[3]");

    Tree yaml(DocumentFormat::Yaml);
    yaml.add(yaml.root, NodeKind::Comment, L"", L"c");
    Node* doc1 = yaml.add(yaml.root, NodeKind::Object);
    Node* doc2 = yaml.add(yaml.root, NodeKind::String, L"", L"s");
    doc1->indexInParent = 0;
    doc2->indexInParent = 1;
    EXPECT_EQ(nodeLabel(doc1), L"Document 1");
    EXPECT_EQ(nodeLabel(doc2), L"Document 2");
    qmtest::LanguageGuard german(true);
    EXPECT_EQ(nodeLabel(doc2), L"Dokument 2");
}

TEST(NodeLabel, JsonLinesRecordsAreArrayItems) {
    auto doc = qmtest::parse(L"log.jsonl", L"{\"id\":1}\n{\"id\":2}\n");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->root->children.size(), 1u);
    const Node* second = doc->root->children[0]->children.at(1);
    EXPECT_EQ(nodeLabel(second), L"[1]");
    EXPECT_EQ(nodePath(second->children.at(0), doc->format), L"$[1].id");
}

TEST(ValuePreview, ByKind) {
    Tree t;
    Node* emptyObject = t.add(t.root, NodeKind::Object);
    Node* commentOnly = t.add(t.root, NodeKind::Object);
    t.add(commentOnly, NodeKind::Comment, L"", L"note");
    Node* registryKey = t.add(t.root, NodeKind::Object);
    registryKey->registryKey = true;
    Node* emptyArray = t.add(t.root, NodeKind::Array);
    Node* fullArray = t.add(t.root, NodeKind::Array);
    t.add(fullArray, NodeKind::Number, L"", L"1");
    Node* spaced = t.add(t.root, NodeKind::String, L"", L"  a \n\t b  ");
    Node* longText = t.add(t.root, NodeKind::String, L"", std::wstring(400, L'x'));

    Tree x(DocumentFormat::Xml);
    Node* simple = x.add(x.root, NodeKind::Element, L"t");
    x.add(simple, NodeKind::Text, L"", L"\n  hello\n  world ");
    Node* simpleCdata = x.add(x.root, NodeKind::Element, L"c");
    x.add(simpleCdata, NodeKind::CData, L"", L"raw <b>");
    Node* withAttribute = x.add(x.root, NodeKind::Element, L"a");
    x.attribute(withAttribute, L"k", L"v");
    x.add(withAttribute, NodeKind::Text, L"", L"text");
    Node* attribute = withAttribute->children[0];

    struct Case {
        const Node* node;
        std::wstring preview;
    } cases[] = {
        {t.root, L""},
        {emptyObject, L"{}"},
        {commentOnly, L"{}"},
        {registryKey, L""},
        {emptyArray, L"[]"},
        {fullArray, L""},
        {spaced, L"a b"},
        {longText, std::wstring(300, L'x') + L"\u2026"},
        {simple, L"hello world"},
        {simpleCdata, L"raw <b>"},
        {withAttribute, L""},  // not a simple element
        {attribute, L"v"},
    };
    for (const Case& c : cases) EXPECT_EQ(valuePreview(c.node), c.preview) << int(c.node->kind) << " " << u8(c.node->name);
}

TEST(NodeSummary, ArraysCountItemsInBothLanguages) {
    Tree t;
    Node* none = t.add(t.root, NodeKind::Array);
    Node* one = t.add(t.root, NodeKind::Array);
    t.add(one, NodeKind::Number, L"", L"1");
    t.add(one, NodeKind::Comment, L"", L"not an item");
    Node* twelve = t.add(t.root, NodeKind::Array);
    for (int i = 0; i < 12; ++i) t.add(twelve, NodeKind::Null, L"", L"null");
    EXPECT_EQ(nodeSummary(none), L"0 items");
    EXPECT_EQ(nodeSummary(one), L"1 item");
    EXPECT_EQ(nodeSummary(twelve), L"12 items");
    qmtest::LanguageGuard german(true);
    EXPECT_EQ(nodeSummary(none), L"0 Eintr\u00e4ge");
    EXPECT_EQ(nodeSummary(one), L"1 Eintrag");
    EXPECT_EQ(nodeSummary(twelve), L"12 Eintr\u00e4ge");
}

TEST(NodeSummary, ObjectsListAtMostFiveKeys) {
    const wchar_t* keys[] = {L"host", L"port", L"user", L"password", L"timeout", L"retries"};
    struct Case {
        size_t keys;
        bool comment;
        const wchar_t* summary;
    } cases[] = {
        {0, false, L"{ }"},
        {0, true, L"{ }"},
        {1, true, L"{ host }"},
        {5, true, L"{ host, port, user, password, timeout }"},
        {6, false, L"{ host, port, user, password, timeout, \u2026 }"},
    };
    for (const Case& c : cases) {
        Tree t;
        Node* object = t.add(t.root, NodeKind::Object);
        if (c.comment) t.add(object, NodeKind::Comment, L"", L"a comment is no key");
        for (size_t i = 0; i < c.keys; ++i) t.member(object, NodeKind::String, keys[i], L"v");
        EXPECT_EQ(nodeSummary(object), c.summary) << c.keys;
    }
}

TEST(NodeSummary, ElementsShowAttributesTextOrChildNames) {
    Tree t(DocumentFormat::Xml);
    Node* sixAttributes = t.add(t.root, NodeKind::Element, L"e");
    for (int i = 1; i <= 6; ++i) t.attribute(sixAttributes, L"a" + std::to_wstring(i), std::to_wstring(i));
    Node* attributeAndText = t.add(t.root, NodeKind::Element, L"e");
    t.attribute(attributeAndText, L"lang", L"say \"x\"");
    t.add(attributeAndText, NodeKind::Text, L"", L"one ");
    t.add(attributeAndText, NodeKind::Element, L"b");
    t.add(attributeAndText, NodeKind::CData, L"", L"two");
    Node* names = t.add(t.root, NodeKind::Element, L"list");
    for (const wchar_t* n : {L"item", L"item", L"note", L"Item", L"x", L"y", L"z"}) t.add(names, NodeKind::Element, n);
    Node* fourNames = t.add(t.root, NodeKind::Element, L"list");
    for (const wchar_t* n : {L"a", L"b", L"a", L"c", L"d"}) t.add(fourNames, NodeKind::Element, n);
    Node* empty = t.add(t.root, NodeKind::Element, L"empty");
    t.add(empty, NodeKind::Comment, L"", L"only a comment");
    Node* pi = t.add(t.root, NodeKind::ProcessingInstruction, L"pi", L"data  here");

    EXPECT_EQ(nodeSummary(sixAttributes), L"a1=1 a2=2 a3=3 a4=4");
    EXPECT_EQ(nodeSummary(attributeAndText), L"lang=say \"x\" one two");
    EXPECT_EQ(nodeSummary(names), L"item, note, Item, x, \u2026");
    EXPECT_EQ(nodeSummary(fourNames), L"a, b, c, d");
    EXPECT_EQ(nodeSummary(empty), L"");
    EXPECT_EQ(nodeSummary(pi), L"data here");
    Node* longValue = t.add(t.root, NodeKind::Comment, L"", std::wstring(130, L'c'));
    EXPECT_EQ(nodeSummary(longValue), std::wstring(120, L'c') + L"\u2026");
}

TEST(NodePath, XPathPositionsOnlyForRepeatedElementNames) {
    Tree t(DocumentFormat::Xml);
    Node* decl = t.add(t.root, NodeKind::XmlDeclaration, L"xml", L"version=\"1.0\"");
    Node* doctype = t.add(t.root, NodeKind::DocType, L"DOCTYPE", L"catalog");
    Node* catalog = t.add(t.root, NodeKind::Element, L"catalog");
    Node* book1 = t.add(catalog, NodeKind::Element, L"book");
    t.add(catalog, NodeKind::Text, L"", L"between");
    Node* book2 = t.add(catalog, NodeKind::Element, L"book");
    Node* id = t.attribute(book2, L"id", L"b2");
    Node* title = t.add(book2, NodeKind::Element, L"title");
    Node* titleText = t.add(title, NodeKind::Text, L"", L"T");
    Node* comment1 = t.add(catalog, NodeKind::Comment, L"", L"one");
    Node* comment2 = t.add(catalog, NodeKind::Comment, L"", L"two");
    Node* pi = t.add(catalog, NodeKind::ProcessingInstruction, L"php", L"echo");
    Node* pi2 = t.add(catalog, NodeKind::ProcessingInstruction, L"php", L"echo 2");
    Node* xsl = t.add(catalog, NodeKind::ProcessingInstruction, L"xsl", L"x");
    Node* cdata = t.add(catalog, NodeKind::CData, L"", L"raw");
    Node* note = t.add(catalog, NodeKind::Element, L"note");
    Node* upper = t.add(catalog, NodeKind::Element, L"Book");  // names compare with case
    Node* stray = t.add(note, NodeKind::DocType, L"", L"");  // "<n<!": a broken file's "<!" inside an element

    struct Case {
        const Node* node;
        const wchar_t* path;
    } cases[] = {
        {t.root, L""},
        {decl, L"/"},
        {doctype, L"/"},
        {catalog, L"/catalog"},
        {book1, L"/catalog/book[1]"},
        {book2, L"/catalog/book[2]"},
        {id, L"/catalog/book[2]/@id"},
        {titleText, L"/catalog/book[2]/title/text()"},
        // Texts, comments and processing instructions of one name are numbered like elements
        // when there is more than one, so that every path names one node.
        {comment1, L"/catalog/comment()[1]"},
        {comment2, L"/catalog/comment()[2]"},
        {pi, L"/catalog/processing-instruction('php')[1]"},
        {pi2, L"/catalog/processing-instruction('php')[2]"},
        {xsl, L"/catalog/processing-instruction('xsl')"},
        {catalog->children[1], L"/catalog/text()[1]"},
        {cdata, L"/catalog/text()[2]"},
        {note, L"/catalog/note"},
        {upper, L"/catalog/Book"},
        {stray, L"/catalog/note/"},
    };
    XPathPositions positions;  // the remembered positions give the same paths, asked twice
    for (int round = 0; round < 2; ++round)
        for (const Case& c : cases) {
            EXPECT_EQ(nodePath(c.node, DocumentFormat::Xml), c.path);
            EXPECT_EQ(nodePath(c.node, DocumentFormat::Xml, &positions), c.path);
        }
    // Each path leads back to its node; "/" names the XML declaration, the first of the two.
    for (const Case& c : cases)
        if (c.node != doctype && c.node != t.root) {
            EXPECT_EQ(findByXPath(*t.doc, c.path), c.node) << u8(c.path);
        }
    EXPECT_EQ(findByPath(*t.doc, L"/catalog/book"), book1);  // no position: the first
    for (const wchar_t* nowhere : {L"", L"catalog", L"/catalog/book[3]", L"/catalog/book[0]", L"/catalog/@id",
                                   L"/catalog/book[2]/id", L"/catalog//book", L"/catalog/text()[3]", L"/catalog/book[x]"})
        EXPECT_EQ(findByXPath(*t.doc, nowhere), nullptr) << u8(nowhere);
}

TEST(NodePath, JsonPathKeysIndexesAndBrackets) {
    auto doc = qmtest::parse(L"t.json",
                             L"{\"store\":{\"book\":[{\"title\":\"x\"},{\"title\":\"y\"}]},\"first name\":1,"
                             L"\"2nd\":2,\"a-b\":3,\"$ref\":4,\"42\":5,\"\":6,\"it's\":7,\"_x9\":8,\"gr\u00fc\u00df\":9,"
                             L"\"a']['b\":10,\"a\":{\"b\":11},\"back\\\\slash\":12,\"nul\\u0000x\\n\":13}");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->errorMessage, L"");
    const Node* top = doc->root->children.at(0);
    struct Case {
        const Node* node;
        const wchar_t* path;
    } cases[] = {
        {top, L"$"},
        {top->children[0]->children[0]->children[1]->children[0], L"$.store.book[1].title"},
        {findByLabel(top, L"first name"), L"$['first name']"},
        {findByLabel(top, L"2nd"), L"$['2nd']"},
        {findByLabel(top, L"a-b"), L"$['a-b']"},
        {findByLabel(top, L"$ref"), L"$.$ref"},
        {findByLabel(top, L"42"), L"$['42']"},
        {top->children[6], L"$['']"},
        {findByLabel(top, L"it's"), L"$['it\\'s']"},  // quotes and backslashes inside are escaped
        {findByLabel(top, L"a']['b"), L"$['a\\'][\\'b']"},
        {findByLabel(top, L"a")->children[0], L"$.a.b"},
        {findByLabel(top, L"back\\slash"), L"$['back\\\\slash']"},
        {top->children[13], L"$['nul\\u0000x\\n']"},  // a NUL would end the pasted text
        {findByLabel(top, L"_x9"), L"$._x9"},
        {findByLabel(top, L"gr\u00fc\u00df"), L"$.gr\u00fc\u00df"},  // non-ASCII letters count as letters
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.node, nullptr) << u8(c.path);
        EXPECT_EQ(nodePath(c.node, DocumentFormat::Json), c.path);
        EXPECT_EQ(findByJsonPath(*doc, c.path), c.node) << u8(c.path);
    }
    EXPECT_EQ(findByPath(*doc, L"$[\"first name\"]"), findByLabel(top, L"first name"));
    for (const wchar_t* nowhere : {L"", L"store", L"$.store.book[2]", L"$.store.book.title", L"$['it's']", L"$.",
                                   L"$['open", L"$[1", L"#2 $", L"$['x\\q']"})
        EXPECT_EQ(findByJsonPath(*doc, nowhere), nullptr) << u8(nowhere);
}

TEST(NodePath, YamlDocumentsCommentsAndPrefix) {
    Tree t(DocumentFormat::Yaml);
    Node* rootComment = t.add(t.root, NodeKind::Comment, L"", L"head");
    Node* docs[3];
    for (uint32_t i = 0; i < 3; ++i) {
        docs[i] = t.add(t.root, NodeKind::Object);
        docs[i]->indexInParent = i;  // the YAML parser numbers only the documents
    }
    Node* id = t.member(docs[1], NodeKind::Number, L"id", L"7");
    Node* inner = t.add(docs[1], NodeKind::Comment, L"", L"inside");
    Node* seq = t.member(docs[2], NodeKind::Array, L"list");
    Node* seqComment = t.add(seq, NodeKind::Comment, L"", L"c");
    Node* item = t.add(seq, NodeKind::String, L"", L"v");
    item->indexInParent = 0;

    EXPECT_EQ(nodePath(docs[1], DocumentFormat::Yaml), L"#2 $");
    EXPECT_EQ(nodePath(id, DocumentFormat::Yaml), L"#2 $.id");
    EXPECT_EQ(nodePath(inner, DocumentFormat::Yaml), L"#2 $");
    EXPECT_EQ(nodePath(seqComment, DocumentFormat::Yaml), L"#3 $.list");
    EXPECT_EQ(nodePath(item, DocumentFormat::Yaml), L"#3 $.list[0]");
    EXPECT_EQ(nodePath(rootComment, DocumentFormat::Yaml), L"/comment()");
    for (const Node* n : {docs[1], id, item, rootComment}) EXPECT_EQ(findByPath(*t.doc, nodePath(n, DocumentFormat::Yaml)), n);
    EXPECT_EQ(findByPath(*t.doc, L"#4 $"), nullptr);
    EXPECT_EQ(findByPath(*t.doc, L"#0 $"), nullptr);

    Tree one(DocumentFormat::Yaml);
    one.add(one.root, NodeKind::Comment, L"", L"a comment is no document");
    Node* only = one.add(one.root, NodeKind::Object);
    Node* key = one.member(only, NodeKind::Bool, L"id", L"true");
    EXPECT_EQ(nodePath(key, DocumentFormat::Yaml), L"$.id");
    EXPECT_EQ(nodeLabel(only), L"");
}

TEST(NodePath, TomlDottedPaths) {
    Tree t(DocumentFormat::Toml);
    Node* top = t.add(t.root, NodeKind::Object);
    Node* server = t.member(top, NodeKind::Object, L"server");
    Node* port = t.member(server, NodeKind::Number, L"port", L"8080");
    Node* fruits = t.member(top, NodeKind::Array, L"fruits");
    t.add(fruits, NodeKind::Object);
    Node* fruit = t.add(fruits, NodeKind::Object);
    Node* name = t.member(fruit, NodeKind::String, L"name", L"banana");
    Node* servers = t.member(top, NodeKind::Object, L"servers");
    Node* euWest = t.member(servers, NodeKind::Object, L"eu west");
    Node* ip = t.member(euWest, NodeKind::String, L"ip", L"10.0.0.1");
    Node* dotted = t.member(top, NodeKind::String, L"a.b");
    Node* empty = t.member(top, NodeKind::String, L"");
    Node* hyphen = t.member(top, NodeKind::String, L"a-b");
    Node* digits = t.member(top, NodeKind::String, L"42");
    Node* matrix = t.member(top, NodeKind::Array, L"m");
    Node* row = t.add(matrix, NodeKind::Array);
    Node* cell = t.add(row, NodeKind::Number, L"", L"1");
    Node* comment = t.add(server, NodeKind::Comment, L"", L"c");
    Node* quoteKey = t.member(top, NodeKind::String, L"say \"x\"");

    struct Case {
        const Node* node;
        const wchar_t* path;
    } cases[] = {
        {top, L""},
        {port, L"server.port"},
        {name, L"fruits[1].name"},
        {ip, L"servers.\"eu west\".ip"},
        {dotted, L"\"a.b\""},
        {empty, L"\"\""},
        {hyphen, L"a-b"},
        {digits, L"42"},
        {cell, L"m[0][0]"},
        {comment, L"server"},
        {quoteKey, L"\"say \\\"x\\\"\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nodePath(c.node, DocumentFormat::Toml), c.path) << u8(c.path);
        if (c.node != comment) {  // a comment takes its table's path
            EXPECT_EQ(findByTomlPath(*t.doc, c.path), c.node) << u8(c.path);
        }
    }
    for (const wchar_t* nowhere : {L"server.", L".server", L"server..port", L"fruits[2]", L"\"a.b", L"a b", L"m[0]x"})
        EXPECT_EQ(findByTomlPath(*t.doc, nowhere), nullptr) << u8(nowhere);
}

TEST(NodePath, RegistryBackslashPaths) {
    Tree t(DocumentFormat::Registry);
    Node* header = t.add(t.root, NodeKind::Comment, L"", L"Windows Registry Editor Version 5.00");
    Node* hkcu = t.member(t.root, NodeKind::Object, L"HKEY_CURRENT_USER");
    Node* software = t.member(hkcu, NodeKind::Object, L"Software");
    Node* demo = t.member(software, NodeKind::Object, L"Demo");
    Node* def = t.member(demo, NodeKind::String, L"(Default)", L"x");
    Node* multi = t.member(demo, NodeKind::Array, L"Multi");
    t.add(multi, NodeKind::String, L"", L"a");
    Node* second = t.add(multi, NodeKind::String, L"", L"b");
    second->indexInParent = 1;
    Node* comment = t.add(demo, NodeKind::Comment, L"", L"c");
    for (Node* n : {hkcu, software, demo}) n->registryKey = true;
    EXPECT_EQ(nodePath(multi, DocumentFormat::Registry), L"HKEY_CURRENT_USER\\Software\\Demo\\Multi");
    EXPECT_EQ(nodePath(header, DocumentFormat::Registry), L"");
    EXPECT_EQ(nodePath(hkcu, DocumentFormat::Registry), L"HKEY_CURRENT_USER");
    EXPECT_EQ(nodePath(def, DocumentFormat::Registry), L"HKEY_CURRENT_USER\\Software\\Demo\\(Default)");
    EXPECT_EQ(nodePath(comment, DocumentFormat::Registry), L"HKEY_CURRENT_USER\\Software\\Demo");
    // A value name may hold a backslash; the whole rest naming a value wins.
    Node* slashed = t.member(demo, NodeKind::String, L"a\\b", L"y");
    // The strings of a multi-string value are told apart by their index.
    EXPECT_EQ(nodePath(second, DocumentFormat::Registry), L"HKEY_CURRENT_USER\\Software\\Demo\\Multi\\[1]");
    for (const Node* n : {hkcu, demo, def, multi, slashed, second})
        EXPECT_EQ(findByRegistryPath(*t.doc, nodePath(n, DocumentFormat::Registry)), n);
    EXPECT_EQ(findByRegistryPath(*t.doc, L""), header);
    for (const wchar_t* nowhere : {L"HKEY_CURRENT_USER\\", L"\\HKEY_CURRENT_USER", L"HKEY_CURRENT_USER\\Demo"})
        EXPECT_EQ(findByRegistryPath(*t.doc, nowhere), nullptr) << u8(nowhere);
}

// A node inside a string's JSON: the string's path in the file's syntax, "#", and the JSONPath
// inside it; Go to path (findByPath on the document) opens the strings on the way.
TEST(NodePath, InsideStringsInEverySyntax) {
    struct Case {
        const wchar_t* file;
        const wchar_t* text;
        const wchar_t* path;
        const wchar_t* value;
    } cases[] = {
        {L"t.json", L"{\"payload\": \"{\\\"id\\\": 3, \\\"tags\\\": [\\\"a\\\"]}\"}", L"$.payload#$.tags[0]", L"a"},
        // A string inside a string's JSON, under a key that needs brackets.
        {L"t.json", L"{\"p\": \"{\\\"odd key\\\": \\\"[1, {\\\\\\\"deep\\\\\\\": true}]\\\"}\"}",
         L"$.p#$['odd key']#$[1].deep", L"true"},
        {L"t.json", L"{\"p\": \"{\\\"a#$b\\\": 1}\"}", L"$.p#$['a#$b']", L"1"},  // the mark inside a key
        {L"t.jsonl", L"{\"p\": \"[1, 2]\"}\n", L"$[0].p#$[1]", L"2"},
        {L"t.yaml", L"p: '{\"a\": {\"b\": 1}}'\n", L"$.p#$.a.b", L"1"},
        {L"t.toml", L"[server]\np = '{\"a\": [true]}'\n", L"server.p#$.a[0]", L"true"},
        {L"t.reg", L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"p\"=\"[0,{\\\"b\\\":1}]\"\r\n",
         L"HKEY_CURRENT_USER\\A\\p#$[1].b", L"1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(u8(c.path));
        auto doc = qmtest::parse(c.file, c.text);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->errorMessage, L"");
        const Document& shown = *doc;
        EXPECT_EQ(findByPath(shown, c.path), nullptr) << "not opened yet";
        const Node* node = findByPath(*doc, c.path);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->value, c.value);
        EXPECT_EQ(nodePath(node, doc->format), c.path);
        EXPECT_EQ(findByPath(shown, c.path), node) << "opened now";
    }
    auto doc = qmtest::parse(L"t.json", L"{\"a#$b\": 1, \"p\": \"[1]\", \"q\": \"x\"}");
    EXPECT_EQ(findByPath(*doc, L"$['a#$b']"), doc->root->children[0]->children[0]) << "a key holding the mark";
    for (const wchar_t* nowhere : {L"$.p#$[1]", L"$.p#$.x", L"$.q#$[0]", L"$.p#", L"$.p#$[0]#$", L"$#$[0]"})
        EXPECT_EQ(findByPath(*doc, nowhere), nullptr) << u8(nowhere);
}

// Paths, labels and summaries of a 100,000-deep chain on a small stack: every walk is a loop.
TEST(NodePath, DeepTreesOnASmallStack) {
    constexpr size_t kDepth = 100000;
    Tree x(DocumentFormat::Xml);
    Tree r(DocumentFormat::Registry);
    Node* xmlLeaf = x.root;
    Node* regLeaf = r.root;
    for (size_t i = 0; i < kDepth; ++i) {
        xmlLeaf = x.add(xmlLeaf, NodeKind::Element, L"a");
        regLeaf = r.member(regLeaf, NodeKind::Object, L"k");
    }
    std::wstring xmlPath, regPath, summary;
    qmtest::runWithStack(256 * 1024, [&] {
        xmlPath = nodePath(xmlLeaf, DocumentFormat::Xml);
        regPath = nodePath(regLeaf, DocumentFormat::Registry);
        summary = nodeSummary(x.root->children[0]);
    });
    EXPECT_EQ(xmlPath.size(), 2 * kDepth);
    EXPECT_EQ(xmlPath.substr(0, 6), L"/a/a/a");
    EXPECT_EQ(regPath.size(), 2 * kDepth - 1);
    EXPECT_EQ(summary, L"a");
}
