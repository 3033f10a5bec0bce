// The tolerant XML reader: what each construct becomes, entity decoding, the first error with its
// line in both languages, implicit closing, spans, unbounded depth and the public corpus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/language.h"
#include "document/load.h"
#include "edit/convert.h"
#include "edit/pathfind.h"
#include "parsers/xml.h"
#include "tests/support/testing.h"
#include "tests/support/treeprint.h"

using namespace qm;
using qmtest::parse;

namespace {

// Compact nested picture of a tree: element{children}, @attribute=value, "text", CD[cdata],
// !comment, ?target:data, Decl:data, DT word:rest.
std::wstring markupLabel(const Document&, const Node& n) {
    const std::wstring name = n.name.str(), value = n.value.str();
    switch (n.kind) {
        case NodeKind::Element: return name;
        case NodeKind::Attribute: return L'@' + name + L'=' + value;
        case NodeKind::Text: return L'"' + value + L'"';
        case NodeKind::CData: return L"CD[" + value + L']';
        case NodeKind::Comment: return L'!' + value;
        case NodeKind::ProcessingInstruction: return L'?' + name + L':' + value;
        case NodeKind::XmlDeclaration: return L"Decl:" + value;
        case NodeKind::DocType: return L"DT " + name + L':' + value;
        default: return L"<unexpected kind>";
    }
}

qmtest::Brackets markupBrackets(const Node& n) {
    return n.kind == NodeKind::Element ? qmtest::Brackets{L'{', L'}'} : qmtest::Brackets{};
}

std::wstring shape(const Document& d, const Node* top) { return qmtest::shape(d, top, {markupLabel, markupBrackets}); }

std::unique_ptr<Document> parseXmlText(const std::wstring& text, bool spans = false) {
    auto d = parse(L"test.xml", text, spans);
    EXPECT_TRUE(d) << qmtest::u8(text);
    return d;
}

struct Case {
    const wchar_t* text;
    const wchar_t* shape;
};

void expectShapes(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        auto d = parseXmlText(c.text);
        ASSERT_TRUE(d);
        EXPECT_EQ(shape(*d, d->root), c.shape) << qmtest::u8(c.text);
        EXPECT_EQ(d->errorMessage, L"") << qmtest::u8(c.text);
    }
}

// Pre-order search: first node of a kind and name whose value (text content for elements) is
// the given one.
const Node* findNode(const Document& d, NodeKind kind, const std::wstring& name, const std::wstring& value) {
    std::vector<const Node*> stack{d.root};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (n->kind == kind && n->name == name && (kind == NodeKind::Element ? textContent(n) : n->value.str()) == value)
            return n;
        stack.insert(stack.end(), n->children.rbegin(), n->children.rend());
    }
    return nullptr;
}

}  // namespace

TEST(XmlTree, ConstructsBecomeTheirNodes) {
    expectShapes({
        {L"<a>\n text \n</a>", L"a{\"\n text \n\"}"},
        {L"<a> <b/> <c></c>\n</a>", L"a{b{} c{}}"},
        {L"<?xml version=\"1.0\" ?>\n<!-- note -->\n<r/>", L"Decl:version=\"1.0\" !note r{}"},
        {L"<r><?xml inner?><?pi  some data ?><?x?></r>", L"r{?xml:inner ?pi:some data ?x:}"},
        {L"<!DOCTYPE html>\n<html/>", L"DT DOCTYPE:html html{}"},
        {L"<!DOCTYPE r [ <!ELEMENT r ANY> ]><r/>", L"DT DOCTYPE:r [ <!ELEMENT r ANY> ] r{}"},
        {L"<r><![CDATA[ <not> &amp; ]]></r>", L"r{CD[ <not> &amp; ]}"},
        {L"<r>a<!--c-->b</r>", L"r{\"a\" !c \"b\"}"},
        {L"<a><b>x</b\n></a >", L"a{b{\"x\"}}"},  // white space before an end tag's ">"
        {L"<ns:r xml:lang='en' data-x=\"1\" \u00E9t\u00E9=\"\u00E9\"/>", L"ns:r{@xml:lang=en @data-x=1 @\u00E9t\u00E9=\u00E9}"},
    });
}

// Square brackets and ">" inside quoted literals, comments and processing instructions of a
// declaration neither open nor close its internal subset, and a lone apostrophe in a comment of
// the subset is no literal; a quote that is never closed is an ordinary character.
TEST(XmlTree, DeclarationsSkipLiteralsCommentsAndInstructions) {
    expectShapes({
        {L"<!DOCTYPE r SYSTEM \"x[.dtd\">\n<r><a/></r>", L"DT DOCTYPE:r SYSTEM \"x[.dtd\" r{a{}}"},
        {L"<!DOCTYPE r PUBLIC '-//A//B]>' 'u>'><r/>", L"DT DOCTYPE:r PUBLIC '-//A//B]>' 'u>' r{}"},
        {L"<!DOCTYPE r [<!ENTITY e \"]>\">]><r>&e;</r>", L"DT DOCTYPE:r [<!ENTITY e \"]>\">] r{\"]>\"}"},
        {L"<!DOCTYPE r [<!ENTITY e '[x'><!ATTLIST r a CDATA \"[\">]><r>&e;</r>",
         L"DT DOCTYPE:r [<!ENTITY e '[x'><!ATTLIST r a CDATA \"[\">] r{\"[x\"}"},
        {L"<!DOCTYPE r [<!-- it's ]> --><!ENTITY e 'v'>]><r>&e;</r>",
         L"DT DOCTYPE:r [<!-- it's ]> --><!ENTITY e 'v'>] r{\"v\"}"},
        {L"<!DOCTYPE r [<?pi ]> it's ?>]><r/>", L"DT DOCTYPE:r [<?pi ]> it's ?>] r{}"},
        {L"<!DOCTYPE r [ it's ]><r/>", L"DT DOCTYPE:r [ it's ] r{}"},
        {L"<!DOCTYPE r SYSTEM \"x.dtd>\n<r/>", L"DT DOCTYPE:r SYSTEM \"x.dtd r{}"},
        {L"<!DOCTYPE r SYSTEM 'a' \"b><r a='1'/>", L"DT DOCTYPE:r SYSTEM 'a' \"b r{@a=1}"},
        {L"<!DOCTYPE r [<!-- open ]><r/>", L"DT DOCTYPE:r [<!-- open ] r{}"},
        {L"<!DOCTYPE r [<? open ]><r/>", L"DT DOCTYPE:r [<? open ] r{}"},
        // An identifier's literal never holds "<": a quote not closed before one is ordinary.
        {L"<!DOCTYPE r SYSTEM \"x.dtd>\n<r a=\"1\"/>", L"DT DOCTYPE:r SYSTEM \"x.dtd r{@a=1}"},
        {L"<!DOCTYPE r [<!ENTITY e \"<b>\">]><r/>", L"DT DOCTYPE:r [<!ENTITY e \"<b>\">] r{}"},
    });
}

TEST(XmlTree, AttributeForms) {
    expectShapes({
        {L"<a x='1' y = \"2\" z/>", L"a{@x=1 @y=2 @z=}"},
        {L"<a u=v/>", L"a{@u=v}"},  // an unquoted value stops at "/" so that the tag closes
        {L"<a u=v w=x>t</a>", L"a{@u=v @w=x \"t\"}"},
        {L"<a u=a&amp;b v='&lt;&#x41;'/>", L"a{@u=a&b @v=<A}"},
        {L"<a q=\"it's\" r='say \"hi\"'/>", L"a{@q=it's @r=say \"hi\"}"},
        {L"<a x=\"\"/>", L"a{@x=}"},
    });
    auto d = parseXmlText(L"<a b='1' c='2'><d/></a>");
    const Node* a = d->root->children[0];
    EXPECT_EQ(a->attributeCount, 2u);
    EXPECT_EQ(a->children[2]->name, L"d");
    EXPECT_EQ(a->children[2]->attributeCount, 0u);
}

// The node keeps an element's attribute count in a byte; from 255 on the attributes are counted
// among its children, and the readers that skip them (paths, the XML text) still see them all.
TEST(XmlTree, ManyAttributesAreCountedAmongTheChildren) {
    for (size_t n : {size_t(0), size_t(1), size_t(254), size_t(255), size_t(256), size_t(1000)}) {
        std::wstring xml = L"<a";
        for (size_t i = 0; i < n; ++i) xml += L" x" + std::to_wstring(i) + L"=\"" + std::to_wstring(i) + L"\"";
        xml += L"><b/>t</a>";
        auto d = parseXmlText(xml);
        const Node* a = d->root->children[0];
        ASSERT_EQ(a->children.size(), n + 2) << n;
        EXPECT_EQ(attributeCount(a), n) << n;
        EXPECT_EQ(findByPath(*d, L"/a/b"), a->children[n]) << n;
        if (n > 0) {
            EXPECT_EQ(findByPath(*d, L"/a/@x" + std::to_wstring(n - 1)), a->children[n - 1]) << n;
        }
        EXPECT_EQ(subtreeText(a, *d), xml) << n;
    }
}

TEST(XmlDecode, EntitiesAndCharacterReferences) {
    expectShapes({
        {L"<r>&lt;&gt;&amp;&quot;&apos;</r>", L"r{\"<>&\"'\"}"},
        {L"<r>&#65;&#x42;&#X43;&#0;z</r>", L"r{\"ABCz\"}"},
        // Above U+FFFF a reference yields a surrogate pair; beyond U+10FFFF nothing.
        {L"<r>&#x1F600;&#128512;&#x110000;</r>", L"r{\"\xD83D\xDE00\xD83D\xDE00\"}"},
        {L"<r>&undeclared; &#; &amp</r>", L"r{\"&undeclared; &#; &amp\"}"},
        // The ";" must be among the 11 characters after "&"; another "&" ends the search.
        {L"<r>&abcdefghijkl; &ab&lt;</r>", L"r{\"&abcdefghijkl; &ab<\"}"},
        {L"<r>&#-65;&#x;&#65x;</r>", L"r{\"A\"}"},
        {L"<r>a\r\nb\rc</r>", L"r{\"a\nb\nc\"}"},
        {L"<r>\r\n x</r>", L"r{\"\n x\"}"},  // a carriage return only in the leading white space
        {L"<r a='1\r\n2'><![CDATA[x\r\ny]]></r>", L"r{@a=1\n2 CD[x\r\ny]}"},
    });
}

TEST(XmlDecode, InternalDtdEntities) {
    const wchar_t* dtd =
        L"<!DOCTYPE r [\n"
        L"  <!ENTITY e \"first\">\n"
        L"  <!ENTITY e 'second'>\n"
        L"  <!ENTITY f \"F&#65;&lt;\">\n"
        L"  <!ENTITY g \"[&f;]\">\n"
        L"  <!ENTITY % p \"param\">\n"
        L"  <!ENTITY ext SYSTEM \"ext.xml\">\n"
        L"  <!ENTITY open \"never closed>\n"
        L"]>\n";
    auto d = parseXmlText(std::wstring(dtd) + L"<r a='&g;'>&e;|&f;|&g;|&p;|&ext;|&open;</r>");
    ASSERT_EQ(d->root->children.size(), 2u);
    EXPECT_EQ(d->root->children[0]->kind, NodeKind::DocType);
    EXPECT_EQ(shape(*d, d->root->children[1]), L"@a=[FA<] \"second|FA<|[FA<]|&p;|&ext;|&open;\"");
    EXPECT_EQ(d->errorMessage, L"");
}

TEST(XmlDecode, EntityExpansionIsBounded) {
    // Each level holds ten of the previous one: unchecked, level 9 would be 10^9 characters.
    std::wstring text = L"<!DOCTYPE r [<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        text += L"<!ENTITY l" + std::to_wstring(i) + L" \"";
        for (int j = 0; j < 10; ++j) text += L"&l" + std::to_wstring(i - 1) + L";";
        text += L"\">";
    }
    text += L"]>\n<r>&l9;</r>";
    auto d = parseXmlText(text);
    EXPECT_EQ(d->errorMessage, L"Entity expansion limit exceeded");
    const Node* r = d->root->children[1];
    ASSERT_EQ(r->children.size(), 1u);
    EXPECT_LE(r->children[0]->value.size(), text.size() + kEntityExpansionAllowance);
}

TEST(XmlLines, NodesStartWhereTheirConstructStarts) {
    auto d = parseXmlText(
        L"<?xml version='1.0'?>\n"   // 1
        L"<root\n"                   // 2
        L"  id='x'>\n"               // 3
        L"  <!-- c -->\n"            // 4
        L"  <a>text\n"               // 5
        L"more</a><b\n"              // 6
        L"/>\n"                      // 7
        L"<![CDATA[\n"               // 8
        L"]]>tail</root>");          // 9
    const Node* root = d->root->children[1];
    EXPECT_EQ(root->line, 2u);
    EXPECT_EQ(root->children[0]->line, 3u);                 // attribute: its name's line
    EXPECT_EQ(root->children[1]->line, 4u);                 // comment
    EXPECT_EQ(root->children[2]->line, 5u);                 // <a>
    EXPECT_EQ(root->children[2]->children[0]->line, 5u);    // its text
    EXPECT_EQ(root->children[3]->line, 6u);                 // <b
    EXPECT_EQ(root->children[4]->line, 8u);                 // CDATA
    EXPECT_EQ(root->children[5]->line, 9u);                 // "tail"
    // Text that starts with a line break after a tag has the tag's line.
    auto e = parseXmlText(L"<a>\n\n  x\n</a>");
    EXPECT_EQ(e->root->children[0]->children[0]->line, 1u);
    // Several line feeds among eight characters, and gaps shorter than eight.
    auto f = parseXmlText(L"<a>\n\n\n<b/>\n<c\n/>\n\n\n\n\n<d/></a>");
    const Node* a = f->root->children[0];
    ASSERT_EQ(a->children.size(), 3u);
    EXPECT_EQ(a->children[0]->line, 4u);
    EXPECT_EQ(a->children[1]->line, 5u);
    EXPECT_EQ(a->children[2]->line, 11u);
}

TEST(XmlSpans, TrimmedTextAndQuotedValuesOnly) {
    const std::wstring text = L"\xFEFF<a q=\"v&amp;w\" u=bare n>  hi there \n</a>";
    auto d = parseXmlText(text, true);
    const Node* a = d->root->children[0];
    uint32_t s = 0, e = 0;
    EXPECT_FALSE(nodeSpan(*d, a, s, e));
    ASSERT_TRUE(nodeSpan(*d, a->children[0], s, e));
    EXPECT_EQ(text.substr(s, e - s), L"v&amp;w");
    EXPECT_FALSE(nodeSpan(*d, a->children[1], s, e));  // unquoted
    EXPECT_FALSE(nodeSpan(*d, a->children[2], s, e));  // no value
    ASSERT_TRUE(nodeSpan(*d, a->children[3], s, e));
    EXPECT_EQ(text.substr(s, e - s), L"hi there");
}

struct ErrorCase {
    const wchar_t* text;
    const wchar_t* shape;
    const wchar_t* english;
    const wchar_t* german;
    uint32_t line;
};

TEST(XmlErrors, FirstErrorWithLineInBothLanguages) {
    const std::vector<ErrorCase> cases = {
        // An unclosed inner element ends at its parent's end tag, and so does the parent.
        {L"<a>\n<b>\n</a><c/>", L"a{b{}} c{}", L"Element not closed: <b>", L"Element nicht geschlossen: <b>", 3},
        {L"</x>\n<a/>", L"a{}", L"Unexpected end tag </x>", L"Unerwartetes Endtag </x>", 1},
        {L"<a>\n</A>\n</a>", L"a{}", L"Unexpected end tag </A>", L"Unerwartetes Endtag </A>", 2},
        {L"<a></ab></a>", L"a{}", L"Unexpected end tag </ab>", L"Unerwartetes Endtag </ab>", 1},
        // Elements opened before the first stray end tag are counted from there on: once <b> has
        // closed, a later </b> is stray and leaves <c> open.
        {L"<a><b></zz></b><c></b></c></a>", L"a{b{} c{}}", L"Unexpected end tag </zz>", L"Unerwartetes Endtag </zz>",
         1},
        // The root is never closed by an end tag, not even by one without a name.
        {L"<a/></>", L"a{}", L"Unexpected end tag </>", L"Unerwartetes Endtag </>", 1},
        {L"<a>\n<b>text", L"a{b{\"text\"}}", L"Element not closed: <b>", L"Element nicht geschlossen: <b>", 2},
        {L"<a>\n<b", L"a{b{}}", L"Unexpected end of file", L"Unerwartetes Dateiende", 2},
        // A start tag cut short by "<" takes the following content as its children.
        {L"<a\n<b/></a>", L"a{b{}}", L"Unterminated tag", L"Tag nicht abgeschlossen", 2},
        {L"<a \"x\"=1/>", L"a{@x= @1=}", L"Invalid attribute", L"Ungültiges Attribut", 1},
        {L"<r>\n1 < 2 <b/></r>", L"r{\"\n1 \" \"< 2 \" b{}}", L"Invalid character '<'", L"Ungültiges Zeichen '<'", 2},
        {L"<r/>\n<!-- open\nstill", L"r{} !open\nstill", L"Unterminated comment", L"Kommentar nicht abgeschlossen", 3},
        {L"<r><![CDATA[x\n", L"r{CD[x\n]}", L"Unterminated CDATA section", L"CDATA nicht abgeschlossen", 2},
        {L"<r><?pi open", L"r{?pi:open}", L"Element not closed: <r>", L"Element nicht geschlossen: <r>", 1},
        {L"<!DOCTYPE x [ > <r/>", L"DT DOCTYPE:x [ > <r/>", L"", L"", 0},
    };
    qmtest::expectFirstErrors<ErrorCase>(
        cases, [](const wchar_t* text) { return parseXmlText(text); },
        [](const Document& d) { return shape(d, d.root); },
        [](const ErrorCase& c, const Document& d) {
            // A broken file keeps its source for the source view.
            EXPECT_EQ(d.sourceText.empty(), *c.english == 0) << qmtest::u8(c.text);
        });
}

// Element names quoted in messages are cut after 40 characters with "…".
TEST(XmlErrors, LongNamesAreCutInMessages) {
    const std::wstring name(40, L'n');
    struct NameCase {
        std::wstring text, shape, english, german;
        uint32_t line;
    };
    const std::vector<NameCase> cases = {
        {L"<r/></" + name + L">", L"r{}", L"Unexpected end tag </" + name + L">", L"Unerwartetes Endtag </" + name + L">", 1},
        {L"<r/></" + name + L"x>", L"r{}", L"Unexpected end tag </" + name + L"\u2026>",
         L"Unerwartetes Endtag </" + name + L"\u2026>", 1},
        {L"<" + name + L"xy>", name + L"xy{}", L"Element not closed: <" + name + L"\u2026>",
         L"Element nicht geschlossen: <" + name + L"\u2026>", 1},
    };
    for (bool german : {false, true}) {
        qmtest::LanguageGuard language(german);
        for (const NameCase& c : cases) {
            auto d = parseXmlText(c.text);
            ASSERT_TRUE(d);
            EXPECT_EQ(shape(*d, d->root), c.shape);
            EXPECT_EQ(d->errorMessage, german ? c.german : c.english);
            EXPECT_EQ(d->errorLine, c.line);
        }
    }
}

TEST(XmlDriver, ContentStartingWithAngleBracketIsXmlWhateverTheName) {
    for (const wchar_t* name : {L"data.json", L"x.txt", L"noext", L"a.REG.bak"}) {
        auto d = parse(name, L"\xFEFF \r\n<a>1</a>");
        ASSERT_TRUE(d) << qmtest::u8(name);
        EXPECT_EQ(d->format, DocumentFormat::Xml);
        EXPECT_FALSE(d->isDataFormat);
        EXPECT_EQ(shape(*d, d->root), L"a{\"1\"}");
        EXPECT_EQ(d->root->children[0]->line, 2u);
        EXPECT_TRUE(d->sourceText.empty());  // a clean XML file is shown formatted
    }
}

namespace {

constexpr size_t kDeep = 100000;
constexpr size_t kSmallStack = 256 * 1024;

// Depth of the deepest node and number of nodes, walked with an explicit stack.
std::pair<size_t, size_t> depthAndCount(const Node* root) {
    size_t deepest = 0, count = 0;
    std::vector<std::pair<const Node*, size_t>> stack{{root, 0}};
    while (!stack.empty()) {
        auto [n, depth] = stack.back();
        stack.pop_back();
        ++count;
        if (depth > deepest) deepest = depth;
        for (const Node* c : n->children) stack.emplace_back(c, depth + 1);
    }
    return {deepest, count};
}

}  // namespace

TEST(XmlDepth, HundredThousandLevelsOnASmallStack) {
    std::wstring text;
    for (size_t i = 0; i < kDeep; ++i) text += L"<e a='1'>";
    text += L"x";
    for (size_t i = 0; i < kDeep; ++i) text += L"</e>";
    qmtest::runWithStack(kSmallStack, [&] {
        auto d = parseXmlText(text);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->errorMessage, L"");
        auto [deepest, count] = depthAndCount(d->root);
        EXPECT_EQ(deepest, kDeep + 1);  // the text below the innermost element
        EXPECT_EQ(count, 2 * kDeep + 2);
    });
}

TEST(XmlDepth, UnclosedAndStrayEndTagsAtDepthStayLinear) {
    // Every stray end tag must be rejected without walking the 100,000 open elements.
    std::wstring text;
    for (size_t i = 0; i < kDeep; ++i) text += L"<e>";
    for (size_t i = 0; i < kDeep; ++i) text += L"</zz>";
    text += L"\n<f>";
    qmtest::runWithStack(kSmallStack, [&] {
        auto d = parseXmlText(text);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->errorMessage, L"Unexpected end tag </zz>");
        auto [deepest, count] = depthAndCount(d->root);
        EXPECT_EQ(deepest, kDeep + 1);
        EXPECT_EQ(count, kDeep + 2);
    });
    // One end tag closes every element opened inside its element.
    std::wstring closing = L"<e>";
    for (size_t i = 0; i < kDeep; ++i) closing += L"<g>";
    closing += L"</e><h/>";
    auto d = parseXmlText(closing);
    EXPECT_EQ(d->errorMessage, L"Element not closed: <g>");
    EXPECT_EQ(d->errorLine, 1u);
    ASSERT_EQ(d->root->children.size(), 2u);
    EXPECT_EQ(d->root->children[1]->name, L"h");
}

namespace {

struct SpotCheck {
    const char* file;  // below the corpus's xml folder
    NodeKind kind;
    const wchar_t* name;
    const wchar_t* value;  // text content for elements
    uint32_t line;
    const wchar_t* parent;  // name of the parent node
};

// Picked by reading the files: lines, names and values as they stand in the source.
const SpotCheck kXmlSpotChecks[] = {
    {"feedparser/atom10.xml", NodeKind::Attribute, L"xml:lang", L"en", 2, L"feed"},
    {"feedparser/atom10.xml", NodeKind::Element, L"title", L"Sample Feed", 3, L"feed"},
    {"feedparser/atom10.xml", NodeKind::Element, L"name", L"Mark Pilgrim", 21, L"author"},
    {"feedparser/http_text_xml_charset_overrides_encoding_2.xml", NodeKind::Element, L"title", L"Foo", 12, L"item"},
    {"feedparser/http_text_xml_charset_overrides_encoding_2.xml", NodeKind::Element, L"link",
     L"http://purl.org/rss/2.0/?item", 13, L"item"},
    {"feedparser/rss10.rdf", NodeKind::Element, L"title", L"Sample Feed", 9, L"channel"},
    {"feedparser/rss10.rdf", NodeKind::Element, L"link", L"http://example.org/archives/2002/09/04.html#first_of_all", 26,
     L"item"},
    {"feedparser/rss20.xml", NodeKind::Attribute, L"version", L"2.0", 2, L"rss"},
    {"feedparser/rss20.xml", NodeKind::Element, L"title", L"Example banner", 20, L"image"},
    {"feedparser/utf-16be-bom.xml", NodeKind::XmlDeclaration, L"xml", L"version=\"1.0\" encoding=\"utf-16\"", 1, L""},
    {"feedparser/utf-16be-bom.xml", NodeKind::Element, L"rss", L"", 7, L""},
    {"feedparser/utf-16le.xml", NodeKind::XmlDeclaration, L"xml", L"version=\"1.0\" encoding=\"utf-16le\"", 1, L""},
    {"feedparser/utf-16le.xml", NodeKind::Element, L"rss", L"", 7, L""},
    {"rectangle/Info.plist", NodeKind::DocType, L"DOCTYPE",
     L"plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"", 2, L""},
    {"rectangle/Info.plist", NodeKind::Element, L"key", L"CFBundleDevelopmentRegion", 5, L"dict"},
    {"rectangle/Info.plist", NodeKind::Element, L"string", L"$(DEVELOPMENT_LANGUAGE)", 6, L"dict"},
    {"rectangle/InternetAccessPolicy.plist", NodeKind::Element, L"key", L"ApplicationDescription", 5, L"dict"},
    {"rectangle/InternetAccessPolicy.plist", NodeKind::Element, L"false", L"", 11, L"dict"},
    {"symfony-translation/encoding.xlf", NodeKind::Element, L"target", L"b\u00E4r", 7, L"trans-unit"},
    {"symfony-translation/encoding.xlf", NodeKind::Element, L"note", L"b\u00E4z", 8, L"trans-unit"},
    {"symfony-translation/resources-2.0.xlf", NodeKind::Attribute, L"original", L"Graphic Example.psd", 2, L"file"},
    {"symfony-translation/resources-2.0.xlf", NodeKind::Element, L"target",
     L"XLIFF \u6587\u66F8\u3092\u7DE8\u96C6\u3001\u307E\u305F\u306F\u51E6\u7406 "
     L"\u3059\u308B\u30A2\u30D7\u30EA\u30B1\u30FC\u30B7\u30E7\u30F3\u3067\u3059\u3002",
     14, L"segment"},
    {"symfony-translation/resources.xlf", NodeKind::Element, L"target", L"bar", 7, L"trans-unit"},
    {"symfony-translation/resources.xlf", NodeKind::Attribute, L"state", L"needs-translation", 23, L"target"},
    {"symfony-translation/withdoctype.xlf", NodeKind::DocType, L"DOCTYPE", L"foo", 2, L""},
    {"symfony-translation/withdoctype.xlf", NodeKind::Element, L"target", L"bar", 8, L"trans-unit"},
    {"togeojson/garmin_extensions.gpx", NodeKind::Comment, L"", L"GPX sample. X/MIT licence", 2, L""},
    {"togeojson/garmin_extensions.gpx", NodeKind::Element, L"ele", L"2", 5, L"wpt"},
    {"togeojson/garmin_extensions.gpx", NodeKind::Element, L"name", L"waypoint name", 6, L"wpt"},
    {"togeojson/gxmultitrack.kml", NodeKind::Element, L"name", L"12/04/2014 11:24 AM", 8, L"Document"},
    {"togeojson/gxmultitrack.kml", NodeKind::CData, L"", L"Cr\u00E9\u00E9 par Google Mes parcours sur Android", 13,
     L"atom:name"},
    {"togeojson/opencpn.gpx", NodeKind::Element, L"name", L"Around Orcas", 4, L"rte"},
    {"togeojson/opencpn.gpx", NodeKind::Element, L"sym", L"diamond", 18, L"rtept"},
    {"togeojson/styles.kml", NodeKind::Element, L"name", L"Project 2", 4, L"Document"},
    {"togeojson/styles.kml", NodeKind::Element, L"scale", L"1.2", 8, L"IconStyle"},
    {"vscode/Snippet_16x.svg", NodeKind::Attribute, L"id", L"svg4694", 9, L"svg"},
    {"vscode/Snippet_16x.svg", NodeKind::Element, L"dc:title", L"", 19, L"cc:Work"},
    {"windows-classic-samples/GDFSchema.v1.0.0.0.xsd", NodeKind::Attribute, L"version", L"1.0.0.0", 2, L"xs:schema"},
    {"windows-classic-samples/GDFSchema.v1.0.0.0.xsd", NodeKind::Attribute, L"name", L"Name", 20, L"xs:element"},
    {"windows-classic-samples/MTGestures.vcproj", NodeKind::Attribute, L"RootNamespace", L"MTGestures", 7,
     L"VisualStudioProject"},
    {"windows-classic-samples/MTGestures.vcproj", NodeKind::Attribute, L"Name", L"Debug|x64", 99, L"Configuration"},
    {"windows-classic-samples/Product.wxs", NodeKind::Attribute, L"Manufacturer", L"DesktopToastsSample", 4, L"Product"},
    {"windows-classic-samples/Product.wxs", NodeKind::Comment, L"", L"This creates a start menu shortcut", 31,
     L"Directory"},
    {"windows-classic-samples/Product.wxs", NodeKind::Attribute, L"Cabinet", L"media1.cab", 7, L"Media"},
    {"windows-classic-samples/PropertySheet.props", NodeKind::Element, L"ImportGroup", L"", 3, L"Project"},
    {"windows-classic-samples/PropertySheet.props", NodeKind::Attribute, L"Label", L"UserMacros", 4, L"PropertyGroup"},
    {"windows-classic-samples/SettingsIcon.svg", NodeKind::Attribute, L"viewBox", L"0 0 20 20", 1, L"svg"},
    {"windows-classic-samples/SettingsIcon.svg", NodeKind::Attribute, L"fill", L"#dfdfdf", 2, L"path"},
    {"windows-classic-samples/SimpleProvider.man", NodeKind::XmlDeclaration, L"xml",
     L"version='1.0' encoding='utf-8' standalone='yes'", 1, L""},
    {"windows-classic-samples/SimpleProvider.man", NodeKind::Attribute, L"name",
     L"Microsoft-Windows-SDKSample-SimpleProvider", 12, L"provider"},
    {"windows-classic-samples/WpfApplication.csproj", NodeKind::Element, L"RootNamespace", L"WpfApplicationDPI", 10,
     L"PropertyGroup"},
    {"windows-classic-samples/WpfApplication.csproj", NodeKind::Attribute, L"Include", L"App.xaml.cs", 99, L"Compile"},
    {"windows-classic-samples/deu_cmdmode.xml", NodeKind::Attribute, L"NAME", L"PID_CmdPaste", 18, L"ID"},
    {"windows-classic-samples/deu_cmdmode.xml", NodeKind::Element, L"P", L"zur\u00FCck", 70, L"L"},
    {"windows-classic-samples/encoded.xml", NodeKind::Element, L"sub", L"This is a string", 3, L"root"},
    {"windows-classic-samples/encoded.xml", NodeKind::Attribute, L"myAttr", L"1234", 3, L"sub"},
    {"windows-classic-samples/kor_cardinals.xml", NodeKind::Attribute, L"NAME", L"Cardinals", 5, L"RULE"},
    {"windows-classic-samples/kor_cardinals.xml", NodeKind::Comment, L"", L"TEN (PRON A)", 24, L"RULE"},
    {"windows-classic-samples/ribbonmarkup.xml", NodeKind::Attribute, L"Symbol", L"IDC_TAB_HOME", 14, L"Command"},
    {"windows-classic-samples/ribbonmarkup.xml", NodeKind::Attribute, L"CommandName", L"TabInsert", 396, L"Tab"},
};

}  // namespace

TEST(XmlCorpus, EveryFileLoadsWithoutError) {
    QM_SKIP_WITHOUT_CORPUS();
    size_t files = 0;
    for (const std::string& path : qmtest::listFiles(qmtest::corpusDir() + "/xml")) {
        const std::string name = path.substr(path.rfind('/') + 1);
        if (name == "LICENSE" || name == "ORIGIN.md" || name == "SHA256SUMS") continue;
        ++files;
        auto d = qmtest::loadFile(path);
        ASSERT_TRUE(d) << path;
        EXPECT_EQ(d->format, DocumentFormat::Xml) << path;
        EXPECT_EQ(d->errorMessage, L"") << path << " line " << d->errorLine;
        EXPECT_GT(nodeCount(*d), 2u) << path;
    }
    EXPECT_EQ(files, 28u);
}

TEST(XmlCorpus, SpotChecks) {
    QM_SKIP_WITHOUT_CORPUS();
    for (const SpotCheck& c : kXmlSpotChecks) {
        auto d = qmtest::loadFile(qmtest::corpusDir() + "/xml/" + c.file);
        ASSERT_TRUE(d) << c.file;
        const Node* n = findNode(*d, c.kind, c.name, c.value);
        ASSERT_NE(n, nullptr) << c.file << ": " << qmtest::u8(c.name) << " = " << qmtest::u8(c.value);
        EXPECT_EQ(n->line, c.line) << c.file << ": " << qmtest::u8(c.name);
        EXPECT_EQ(n->parent->name, c.parent) << c.file << ": " << qmtest::u8(c.name);
    }
}
