// "Copy as" conversion: the XML, JSON and YAML writers, their escaping and quoting, deep trees on a
// small stack, and round trips through the parsers over the shared corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "document/chars.h"
#include "document/decode.h"
#include "edit/convert.h"
#include "edit/nodetext.h"
#include "tests/edit/treebuild.h"
#include "tests/edit/treecompare.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::Tree;
using qmtest::u8;
using qmtest::CompareRules;
using qmtest::kept;
using qmtest::treeDifference;
using qmtest::trimmed;

namespace {

struct RoundTrip {
    size_t files = 0, loaded = 0, same = 0;
    std::vector<std::string> failures;
};

// Writes the root of a parsed document with subtreeText, parses the text as `writtenName` and
// compares the trees: "" when they are the same, else the difference and the written text.
std::string writtenAndReadBack(const Document& original, const std::wstring& writtenName, const CompareRules& rules) {
    const std::wstring written = subtreeText(original.root, original);
    auto again = qmtest::parse(writtenName, written);
    std::string problem;
    if (!again && original.root->children.empty() && trimmed(written).empty())
        return "";  // nothing to write, and an empty text is declined by the load driver
    if (!again)
        problem = "declined";
    else if (!again->errorMessage.empty())
        problem = "error " + u8(again->errorMessage) + " at line " + std::to_string(again->errorLine);
    else
        problem = treeDifference(original, original.root, again->root, rules);
    return problem.empty() ? problem : problem + "\n--- written:\n" + u8(written.substr(0, 600));
}

// For each corpus file that loads without error: written and read back.
RoundTrip roundTrip(const std::vector<std::string>& files, const std::wstring& readName,
                    const std::wstring& writtenName, const CompareRules& rules) {
    RoundTrip r;
    for (const std::string& path : files) {
        std::vector<uint8_t> bytes;
        if (!qmtest::readBytes(path, bytes)) continue;
        ++r.files;
        std::wstring text, encoding;
        decodeTextWith(bytes, text, encoding, portableCodePageConverter);
        auto original = qmtest::parse(readName, text);
        if (!original || !original->errorMessage.empty()) continue;
        ++r.loaded;
        const std::string problem = writtenAndReadBack(*original, writtenName, rules);
        if (problem.empty())
            ++r.same;
        else
            r.failures.push_back(path + ": " + problem);
    }
    return r;
}

void expectRoundTrip(const RoundTrip& r) {
    for (size_t i = 0; i < r.failures.size(); ++i)
        ADD_FAILURE() << (i < 5 ? r.failures[i] : r.failures[i].substr(0, r.failures[i].find('\n')));
    EXPECT_EQ(r.failures.size(), 0u);
    std::printf("    %zu files, %zu loaded without error, %zu round trips equal\n", r.files, r.loaded, r.same);
}

}  // namespace

TEST(XmlEscape, MarkupCharactersAndQuotes) {
    EXPECT_EQ(xmlEscape(L"a & b < c > d \"e\" 'f'", false), L"a &amp; b &lt; c &gt; d \"e\" 'f'");
    EXPECT_EQ(xmlEscape(L"a & b < c > d \"e\" 'f'", true), L"a &amp; b &lt; c &gt; d &quot;e&quot; 'f'");
    EXPECT_EQ(xmlEscape(L"&amp;", false), L"&amp;amp;");
    // Readers turn raw line breaks and tabs in attribute values into spaces, and carriage returns
    // everywhere into line feeds; XML 1.0 has no raw form of most control characters.
    struct Case {
        std::wstring text;
        bool inAttribute;
        const wchar_t* escaped;
    } cases[] = {
        {L"line\nbreak\t\x20ac", false, L"line\nbreak\t\x20ac"},
        {L"x\ny\tz\rw", true, L"x&#10;y&#9;z&#13;w"},
        {L"a\r\nb\rc", false, L"a&#13;\nb&#13;c"},
        {std::wstring(L"n\0u\x1f\xfffe", 5), false, L"n&#x0;u&#x1F;&#xFFFE;"},
        {std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00), wchar_t(0xDC00)}, false,
         L"a\xD83D\xDE00&#xDC00;"},  // a pair stays, a lone half becomes a reference
    };
    for (const Case& c : cases) EXPECT_EQ(xmlEscape(c.text, c.inAttribute), c.escaped) << u8(c.text);
}

TEST(YamlNeedsQuotes, EachRuleAndItsNearMiss) {
    struct Case {
        std::wstring text;
        bool quotes;
    } cases[] = {
        {L"", true},
        {L"plain text", false},
        {L" lead", true},
        {L"trail ", true},
        {L"\x3000wide space", true},
        {L"-", true},
        {L"a-b", false},
        {L"?x", true},
        {L":x", true},
        {L",x", true},
        {L"[x", true},
        {L"x]", false},
        {L"{x", true},
        {L"}x", true},
        {L"#x", true},
        {L"&x", true},
        {L"*x", true},
        {L"!x", true},
        {L"|x", true},
        {L">x", true},
        {L"'x", true},
        {L"%x", true},
        {L"@x", true},
        {L"`x", true},
        {L"\"x", true},
        {L"tab\tinside", true},
        {L"a\nb", true},
        {L"a:", true},
        {L"a: b", true},
        {L"a:b", false},
        {L"http://x", false},
        {L"a #b", true},
        {L"a#b", false},
        {L"true", true},
        {L"False", true},
        // YAML 1.1 readers resolve these to booleans, nulls, numbers, dates, merge and value keys.
        {L"yes", true},
        {L"No", true},
        {L"OFF", true},
        {L"on", true},
        {L"y", true},
        {L"N", true},
        {L"yES", false},
        {L"<<", true},
        {L"<<a", false},
        {L"=", true},
        {L"==", false},
        {L"1:20", true},
        {L"-1:20:30.5", true},
        {L"1:2x", false},
        {L"12:345", false},
        {L"0b101", true},
        {L"0b102", false},
        {L"017", true},
        {L"1_0", true},
        {L"+.5", true},
        {L"1.5e+3", true},
        {L"1.2.3", false},
        {L"2024-01-02T10:00:00Z", true},
        {L"2024-1", true},
        {L"202-01-01", false},
        // Characters a YAML reader refuses raw or reads as line breaks.
        {L"del\x7f", true},
        {L"c1\x80x", true},
        {L"nel\x85x", true},
        {L"ls\x2028x", true},
        {L"ps\x2029x", true},
        {L"bom\xfeffx", true},
        {L"nbsp\xa0x", false},
        {std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00)}, false},
        {std::wstring{L'a', wchar_t(0xD83D)}, true},
        {L"null", true},
        {L"~", true},
        {L"NULL", true},
        {L"nulls", false},
        {L"12", true},
        {L"-12", true},
        {L"1.5e3", true},
        {L"1.", true},
        {L".5", true},
        {L"1.5e", false},
        {L"1_000", true},
        {L"0x1F", true},
        {L"0x1G", false},
        {L"0X1F", false},
        {L"0o17", true},
        {L"0o18", false},
        {L"0x", false},
        {L".nan", true},
        {L".NaN", true},
        {L".inf", true},
        {L"+.Inf", true},
        {L"inf", false},
        {L"2024-01-02", true},
        {L"\x20ac 5", false},
    };
    for (const Case& c : cases) EXPECT_EQ(yamlNeedsQuotes(c.text), c.quotes) << u8(c.text);
}

TEST(YamlScalar, QuotesOnlyStringsThatNeedIt) {
    Tree t(DocumentFormat::Yaml);
    struct Case {
        Node* node;
        const wchar_t* text;
    } cases[] = {
        {t.add(t.root, NodeKind::String, L"", L"true"), L"\"true\""},
        {t.add(t.root, NodeKind::Bool, L"", L"true"), L"true"},
        {t.add(t.root, NodeKind::String, L"", L"a\tb"), L"\"a\\tb\""},
        {t.add(t.root, NodeKind::String, L"", L"hello"), L"hello"},
        {t.add(t.root, NodeKind::Null, L"", L"~"), L"~"},
        {t.add(t.root, NodeKind::String, L"", L"x\x7f\x85\x2028\xd800"), L"\"x\\u007F\\u0085\\u2028\\uD800\""},
        {t.add(t.root, NodeKind::String, L"", L"on"), L"\"on\""},
        // Numbers in the form YAML 1.1 and 1.2 readers read alike.
        {t.add(t.root, NodeKind::Number, L"", L"0o17"), L"15"},
        {t.add(t.root, NodeKind::Number, L"", L"012"), L"12"},
        {t.add(t.root, NodeKind::Number, L"", L"1e3"), L"1.0e+3"},
        {t.add(t.root, NodeKind::Number, L"", L"-.5E-2"), L"-0.5e-2"},
        {t.add(t.root, NodeKind::Number, L"", L"+1.5"), L"+1.5"},
        {t.add(t.root, NodeKind::Number, L"", L"0x1F"), L"0x1F"},
        {t.add(t.root, NodeKind::Number, L"", L"-.inf"), L"-.inf"},
        {t.add(t.root, NodeKind::Object), L"{}"},
        {t.add(t.root, NodeKind::Array), L"[]"},
    };
    for (const Case& c : cases) EXPECT_EQ(yamlScalar(c.node), c.text) << int(c.node->kind);
    EXPECT_EQ(yamlScalar(nullptr), L"");
}

TEST(JsonWriter, WritesParsedJsonWithCrLfAndTwoSpaces) {
    auto doc = qmtest::parse(L"t.json",
                             L"{\"a\": {}, \"b\": [1e3, \"x\\ny\", [], {\"c\": null}], d: true, 'e': -0.0}");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->errorMessage, L"");
    EXPECT_EQ(subtreeText(doc->root, *doc),
              L"{\r\n"
              L"  \"a\": {},\r\n"
              L"  \"b\": [\r\n"
              L"    1e3,\r\n"
              L"    \"x\\ny\",\r\n"
              L"    [],\r\n"
              L"    {\r\n"
              L"      \"c\": null\r\n"
              L"    }\r\n"
              L"  ],\r\n"
              L"  \"d\": true,\r\n"
              L"  \"e\": -0.0\r\n"
              L"}");
    const Node* b = doc->root->children[0]->children[1];
    EXPECT_EQ(subtreeText(b, *doc), L"[\r\n  1e3,\r\n  \"x\\ny\",\r\n  [],\r\n  {\r\n    \"c\": null\r\n  }\r\n]");
    EXPECT_EQ(subtreeText(b->children[0], *doc), L"1e3");       // a number keeps its source text
    EXPECT_EQ(subtreeText(b->children[1], *doc), L"\"x\\ny\"");  // a member copied alone has no key
}

// Lenient JSON, TOML and YAML spell numbers in ways JSON's readers refuse; the infinities and NaN
// have no JSON number and take the spelling JavaScript's and Python's readers know.
TEST(JsonNumberText, EveryNotationInJsonsGrammar) {
    struct Case {
        const wchar_t* text;
        const wchar_t* json;
    } cases[] = {
        {L"+1", L"1"},         {L"+1.5", L"1.5"},     {L".5", L"0.5"},         {L"-.5", L"-0.5"},
        {L"5.", L"5.0"},       {L"5.e3", L"5.0e3"},   {L"0x1F", L"31"},        {L"-0X1f", L"-31"},
        {L"0o17", L"15"},      {L"0b101", L"5"},      {L"1_000", L"1000"},     {L"007", L"7"},
        {L"-0", L"-0"},        {L"1E+5", L"1e+5"},    {L"6.626e-3_4", L"6.626e-34"},
        {L"Infinity", L"Infinity"}, {L"+Infinity", L"Infinity"}, {L"-inf", L"-Infinity"},
        {L"+.inf", L"Infinity"}, {L"-nan", L"NaN"},   {L".NaN", L"NaN"},
        {L"0x1234567890abcdef1234567890abcdef", L"24197857200151252728969465429440056815"},
        // No number at all: the JSON writer keeps such a text as the file writes it.
        {L"1.2.3", L""},       {L"12abc", L""},       {L"-", L""},             {L"1e", L""},
        {L"0x", L""},          {L"0xG", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(jsonNumberText(c.text), c.json) << u8(c.text);
    auto doc = qmtest::parse(L"t.json", L"[+1, .5, 5., 0x1F, Infinity, -Infinity, NaN, 1.2.3]");
    ASSERT_TRUE(doc);
    EXPECT_EQ(subtreeText(doc->root, *doc),
              L"[\r\n  1,\r\n  0.5,\r\n  5.0,\r\n  31,\r\n  Infinity,\r\n  -Infinity,\r\n  NaN,\r\n  1.2.3\r\n]");
}

TEST(JsonWriter, DataOfTomlAndRegistryFiles) {
    Tree toml(DocumentFormat::Toml);
    Node* top = toml.add(toml.root, NodeKind::Object);
    toml.add(top, NodeKind::Comment, L"", L"leading comment");
    toml.member(top, NodeKind::Number, L"n", L"1_000");
    toml.member(top, NodeKind::Number, L"hex", L"0xff");
    toml.member(top, NodeKind::Number, L"inf", L"+inf");
    toml.member(top, NodeKind::Number, L"bits", L"-0b1_01");
    toml.member(top, NodeKind::Number, L"nan", L"-nan");
    toml.member(top, NodeKind::Number, L"f", L"6.626e-3_4");
    toml.member(top, NodeKind::Number, L"plus", L"+1");
    toml.member(top, NodeKind::Number, L"plusf", L"+1.5");
    Node* when = toml.member(top, NodeKind::String, L"when", L"1979-05-27T07:32:00Z");
    setNodeTag(*toml.doc, when, internString(*toml.doc, L"datetime"));
    Node* list = toml.member(top, NodeKind::Array, L"list");
    toml.add(list, NodeKind::String, L"", L"a");
    toml.add(list, NodeKind::Comment, L"", L"a trailing comment takes no comma");
    toml.add(top, NodeKind::Comment, L"", L"last");
    EXPECT_EQ(subtreeText(toml.root, *toml.doc),
              // TOML-only number notations become JSON numbers; JSON cannot read "1_000" or "inf".
              L"{\r\n  \"n\": 1000,\r\n  \"hex\": 255,\r\n  \"inf\": Infinity,\r\n  \"bits\": -5,\r\n"
              L"  \"nan\": NaN,\r\n  \"f\": 6.626e-34,\r\n  \"plus\": 1,\r\n  \"plusf\": 1.5,\r\n"
              L"  \"when\": \"1979-05-27T07:32:00Z\",\r\n  \"list\": [\r\n    \"a\"\r\n  ]\r\n}");

    Tree reg(DocumentFormat::Registry);
    reg.add(reg.root, NodeKind::Comment, L"", L"Windows Registry Editor Version 5.00");
    Node* key = reg.member(reg.root, NodeKind::Object, L"HKEY_CURRENT_USER");
    key->registryKey = true;
    Node* deleted = reg.member(key, NodeKind::Null, L"Old");
    setNodeTag(*reg.doc, deleted, internString(*reg.doc, L"delete"));
    reg.member(key, NodeKind::Number, L"Count", L"16");
    Node* emptyKey = reg.member(key, NodeKind::Object, L"Empty");
    emptyKey->registryKey = true;
    EXPECT_EQ(subtreeText(key, *reg.doc), L"{\r\n  \"Old\": null,\r\n  \"Count\": 16,\r\n  \"Empty\": {}\r\n}");
    // The root begins with the header comment and holds the top keys as members: it is written
    // as one object, so the key names stay and the text is one JSON value.
    Node* second = reg.member(reg.root, NodeKind::Object, L"HKEY_LOCAL_MACHINE");
    second->registryKey = true;
    EXPECT_EQ(subtreeText(reg.root, *reg.doc),
              L"{\r\n  \"HKEY_CURRENT_USER\": {\r\n    \"Old\": null,\r\n    \"Count\": 16,\r\n"
              L"    \"Empty\": {}\r\n  },\r\n  \"HKEY_LOCAL_MACHINE\": {}\r\n}");
}

TEST(XmlWriter, ElementsTextAndMarkup) {
    auto doc = qmtest::parse(L"t.xml",
                             L"<?xml version=\"1.0\"?>\n<!DOCTYPE r>\n<r a=\"1 &amp; &quot;2&quot;\" b='x'>\n"
                             L"  <t>x &amp; y</t>\n  <c><![CDATA[a<b]]></c>\n  <e/>\n  <e k=\"v\"></e>\n"
                             L"  mixed <i>in</i> text\n  <!--  note  -->\n  <?pi  data ?>\n</r>");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->errorMessage, L"");
    EXPECT_EQ(subtreeText(doc->root, *doc),
              L"<?xml version=\"1.0\"?>\r\n"
              L"<!DOCTYPE r>\r\n"
              // The text "mixed" makes r's content text: it is written on r's line as it stands,
              // its line feeds included; the white space between elements is no node of the tree.
              L"<r a=\"1 &amp; &quot;2&quot;\" b=\"x\"><t>x &amp; y</t><c><![CDATA[a<b]]></c><e/><e k=\"v\"/>\n"
              L"  mixed <i>in</i> text\n"
              L"  <!-- note --><?pi data?></r>");
    const Node* r = doc->root->children.at(2);
    EXPECT_EQ(subtreeText(r->children[0], *doc), L"a=\"1 &amp; &quot;2&quot;\"");  // no line end
    EXPECT_EQ(subtreeText(r->children[2], *doc), L"<t>x &amp; y</t>");
}

// Text that is content (mixed with elements, or in CDATA) is written with its element on one
// line as it stands: added line breaks and indentation would become part of the text.
TEST(XmlWriter, MixedContentKeepsItsText) {
    struct Case {
        const wchar_t* source;
        const wchar_t* written;
    } cases[] = {
        {L"<p>a<b>c</b>d</p>", L"<p>a<b>c</b>d</p>"},
        {L"<r>\n <p>a <b>c <i>e</i></b>d</p>\n</r>", L"<r>\r\n  <p>a <b>c <i>e</i></b>d</p>\r\n</r>"},
        {L"<c><![CDATA[a<b]]></c>", L"<c><![CDATA[a<b]]></c>"},
        {L"<t a='x&#10;y&#9;z&#13;'>1&#13;2</t>", L"<t a=\"x&#10;y&#9;z&#13;\">1&#13;2</t>"},
    };
    for (const Case& c : cases) {
        auto doc = qmtest::parse(L"t.xml", c.source);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->errorMessage, L"") << u8(c.source);
        EXPECT_EQ(subtreeText(doc->root, *doc), c.written) << u8(c.source);
    }
}

// A copied element read on its own needs the declarations of the prefixes it uses: it carries
// those in scope above it, the nearest of each name, unless it makes its own.
TEST(XmlWriter, CopiedElementCarriesTheNamespacesInScope) {
    auto doc = qmtest::parse(L"t.xml", L"<r xmlns='d' xmlns:a='1' xmlns:b='2'><m xmlns:a='3'>"
                                       L"<a:e b:k='v' xmlns:b='4'/></m></r>");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->errorMessage, L"");
    const Node* e = doc->root->children[0]->children[3]->children[1];
    EXPECT_EQ(subtreeText(e, *doc), L"<a:e b:k=\"v\" xmlns:b=\"4\" xmlns:a=\"3\" xmlns=\"d\"/>");
    EXPECT_EQ(subtreeText(doc->root, *doc), L"<r xmlns=\"d\" xmlns:a=\"1\" xmlns:b=\"2\">\r\n  <m xmlns:a=\"3\">\r\n"
                                            L"    <a:e b:k=\"v\" xmlns:b=\"4\"/>\r\n  </m>\r\n</r>");
}

TEST(XmlWriter, TextOnlyWhiteSpaceAndUntrimmedSingleText) {
    Tree t(DocumentFormat::Xml);
    Node* r = t.add(t.root, NodeKind::Element, L"r");
    t.add(r, NodeKind::Text, L"", L" \n ");
    t.add(r, NodeKind::Element, L"x");
    Node* single = t.add(r, NodeKind::Element, L"s");
    t.add(single, NodeKind::Text, L"", L"  keep \"spaces\"  ");
    EXPECT_EQ(subtreeText(r, *t.doc), L"<r>\r\n  \r\n  <x/>\r\n  <s>  keep \"spaces\"  </s>\r\n</r>");
    // Data nodes have no XML form; an XML node never goes to the JSON writer.
    EXPECT_EQ(subtreeText(t.root, *t.doc), subtreeText(r, *t.doc));
    Tree empty(DocumentFormat::Xml);
    EXPECT_EQ(subtreeText(empty.root, *empty.doc), L"");
}

TEST(YamlWriter, DocumentsBlockFormAndQuoting) {
    Tree t(DocumentFormat::Yaml);
    t.add(t.root, NodeKind::Comment, L"", L"top comment");
    Node* first = t.add(t.root, NodeKind::Object);
    t.member(first, NodeKind::String, L"a: b", L"true");
    t.member(first, NodeKind::Bool, L"a:b", L"true");
    t.member(first, NodeKind::Object, L"empty");
    Node* people = t.member(first, NodeKind::Array, L"people");
    Node* p1 = t.add(people, NodeKind::Object);
    t.member(p1, NodeKind::String, L"name", L"Ann");
    t.member(p1, NodeKind::Number, L"age", L"7");
    t.add(people, NodeKind::Comment, L"", L"between items");
    Node* nested = t.add(people, NodeKind::Array);
    t.add(nested, NodeKind::Null, L"", L"~");
    Node* onlyComment = t.add(people, NodeKind::Array);
    t.add(onlyComment, NodeKind::Comment, L"", L"dropped with the empty sequence");
    Node* second = t.add(t.root, NodeKind::String, L"", L"second document");
    EXPECT_EQ(subtreeText(t.root, *t.doc),
              L"# top comment\r\n"
              L"\"a: b\": \"true\"\r\n"
              L"a:b: true\r\n"
              L"empty: {}\r\n"
              L"people:\r\n"
              L"  -\r\n"
              L"    name: Ann\r\n"
              L"    age: 7\r\n"
              L"  # between items\r\n"
              L"  -\r\n"
              L"    - ~\r\n"
              L"  - []\r\n"
              L"---\r\n"
              L"second document");
    EXPECT_EQ(subtreeText(p1, *t.doc), L"name: Ann\r\nage: 7");
    EXPECT_EQ(subtreeText(second, *t.doc), L"second document");
    EXPECT_EQ(subtreeText(onlyComment, *t.doc), L"[]");
}

// A plain "<<" key merges on reading, and a key longer than an implicit key may be is refused:
// the one is quoted, the other written in the explicit "? " form; both read back as written.
TEST(YamlWriter, MergeAndOverlongKeys) {
    Tree t(DocumentFormat::Yaml);
    Node* top = t.add(t.root, NodeKind::Object);
    t.member(t.member(top, NodeKind::Object, L"<<"), NodeKind::Number, L"a", L"1");
    t.member(top, NodeKind::Number, L"b", L"2");
    const std::wstring longKey(kMaxYamlImplicitKey + 1, L'k');
    t.member(top, NodeKind::String, longKey, L"v");
    t.member(t.member(top, NodeKind::Object, longKey + L"2"), NodeKind::Bool, L"c", L"true");
    t.member(top, NodeKind::String, std::wstring(kMaxYamlImplicitKey, L'k'), L"fits");
    const std::wstring written = subtreeText(t.root, *t.doc);
    EXPECT_EQ(written, L"\"<<\":\r\n  a: 1\r\nb: 2\r\n? " + longKey + L"\r\n: v\r\n? " + longKey + L"2\r\n:\r\n  c: true\r\n" +
                           std::wstring(kMaxYamlImplicitKey, L'k') + L": fits");
    auto again = qmtest::parse(L"t.yaml", written);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->errorMessage, L"");
    EXPECT_EQ(treeDifference(*t.doc, t.root, again->root, CompareRules{}), "");
}

TEST(YamlWriter, DocumentEndMarkersInColumnZeroAreQuoted) {
    Tree t(DocumentFormat::Yaml);
    Node* top = t.add(t.root, NodeKind::Object);
    t.member(top, NodeKind::String, L"... k", L"... v");
    t.member(top, NodeKind::String, L"...k", L"...");
    Node* inner = t.member(top, NodeKind::Object, L"inner");
    t.member(inner, NodeKind::String, L"... k", L"v");
    Node* scalar = t.add(t.root, NodeKind::String, L"", L"...");
    EXPECT_EQ(subtreeText(t.root, *t.doc),
              L"\"... k\": ... v\r\n...k: ...\r\ninner:\r\n  ... k: v\r\n---\r\n\"...\"");
    EXPECT_EQ(subtreeText(scalar, *t.doc), L"\"...\"");
}

// Every writer walks with an explicit stack, far beyond what a recursive writer survives on a
// 256 KiB stack. Lines deeper than kMaxIndentLevel keep its indentation; YAML goes over to flow
// style there instead.
TEST(Writers, DeepTreesOnASmallStack) {
    constexpr size_t kDepth = 3000;
    Tree x(DocumentFormat::Xml), j(DocumentFormat::Json), y(DocumentFormat::Yaml);
    Node *xn = x.root, *jn = j.root, *yn = y.root;
    for (size_t i = 0; i < kDepth; ++i) {
        xn = x.add(xn, NodeKind::Element, L"a");
        jn = j.add(jn, NodeKind::Array);
        yn = y.add(yn, NodeKind::Array);
    }
    x.add(xn, NodeKind::Element, L"leaf");
    x.add(xn, NodeKind::Comment, L"", L"end");
    j.add(jn, NodeKind::Number, L"", L"1");
    y.add(yn, NodeKind::Number, L"", L"1");
    std::wstring xml, json, yaml;
    qmtest::runWithStack(256 * 1024, [&] {
        xml = subtreeText(x.root, *x.doc);
        json = subtreeText(j.root, *j.doc);
        yaml = subtreeText(y.root, *y.doc);
    });
    const std::wstring pad(kIndentWidth * kMaxIndentLevel, L' ');
    EXPECT_NE(xml.find(L"\r\n" + pad + L"<leaf/>\r\n" + pad + L"<!-- end -->\r\n"), std::wstring::npos);
    EXPECT_EQ(xml.substr(xml.size() - 12), L"  </a>\r\n</a>");
    EXPECT_NE(json.find(L"[\r\n" + pad + L"1\r\n" + pad + L"]"), std::wstring::npos);
    EXPECT_EQ(json.substr(json.size() - 6), L"  ]\r\n]");
    // Block sequences down to the deepest indentation, the rest on one line in flow style.
    const size_t flowLevels = kDepth - kMaxIndentLevel - 1;
    EXPECT_EQ(yaml.substr(yaml.size() - (pad.size() + 2 + 2 * flowLevels + 1)),
              pad + L"- " + std::wstring(flowLevels, L'[') + L"1" + std::wstring(flowLevels, L']'));
}

namespace {

// A member of an Object, an item of anything else.
Node* addChild(Tree& t, Node* parent, NodeKind kind, const std::wstring& key, const std::wstring& value = L"") {
    return parent->kind == NodeKind::Object ? t.member(parent, kind, key, value) : t.add(parent, kind, L"", value);
}

// Containers nested `depth` deep, each level with a scalar (XML: an attribute, a text element and
// a comment) beside the next container, so that every level writes lines of its own.
Tree deepChain(DocumentFormat format, size_t depth) {
    Tree t(format);
    Node* n = t.root;
    for (size_t i = 0; i < depth; ++i) {
        if (format == DocumentFormat::Xml) {
            n = t.add(n, NodeKind::Element, L"e");
            t.attribute(n, L"level", std::to_wstring(i));
            t.add(t.add(n, NodeKind::Element, L"t"), NodeKind::Text, L"", L"x & y");
            t.add(n, NodeKind::Comment, L"", L"c");
            continue;
        }
        if (n != t.root) {
            addChild(t, n, NodeKind::String, L"s", L"v");
            t.add(n, NodeKind::Comment, L"", L"c");
        }
        n = addChild(t, n, i % 2 ? NodeKind::Array : NodeKind::Object, L"next");
    }
    if (format != DocumentFormat::Xml) addChild(t, n, NodeKind::Null, L"end", L"null");
    return t;
}

}  // namespace

// The indentation stops at kMaxIndentLevel, so four times the depth gives about four times the
// text; with two spaces per level all the way down it gave sixteen times.
TEST(Writers, TextGrowsLinearlyWithDepth) {
    constexpr size_t kDepth = 500;
    for (DocumentFormat format : {DocumentFormat::Xml, DocumentFormat::Json, DocumentFormat::Yaml}) {
        const Tree small = deepChain(format, kDepth), large = deepChain(format, 4 * kDepth);
        const size_t n = subtreeText(small.root, *small.doc).size();
        const size_t n4 = subtreeText(large.root, *large.doc).size();
        EXPECT_LT(n4, 5 * n) << "format " << int(format) << ": " << n << " characters, four times deeper " << n4;
        std::printf("    %s: depth %zu %zu characters, depth %zu %zu\n", u8(formatDisplayName(format)).c_str(), kDepth,
                    n, 4 * kDepth, n4);
    }
}

// Deep trees written with the capped indentation parse back to the same tree: in XML and JSON the
// indentation is only layout, and YAML below the cap is written in flow style.
TEST(Writers, DeepTreesReadBackAsTheSameTree) {
    struct Case {
        DocumentFormat format;
        const wchar_t* name;
        size_t depth;  // within the parsers' nesting limits
    };
    const Case cases[] = {
        {DocumentFormat::Xml, L"t.xml", 5000},
        {DocumentFormat::Json, L"t.json", 900},
        // 64 block levels (two units each) and the rest in flow style stay within YAML's limits;
        // in block form all the way down this depth reads back as "Nesting too deep".
        {DocumentFormat::Yaml, L"t.yaml", 400},
    };
    for (const Case& c : cases) {
        const Tree t = deepChain(c.format, c.depth);
        const std::wstring written = subtreeText(t.root, *t.doc);
        auto again = qmtest::parse(c.name, written);
        ASSERT_TRUE(again) << u8(c.name);
        EXPECT_EQ(again->errorMessage, L"") << u8(c.name) << " line " << again->errorLine;
        CompareRules rules;
        rules.skipComments = c.format != DocumentFormat::Xml;
        rules.trimText = c.format == DocumentFormat::Xml;
        EXPECT_EQ(treeDifference(*t.doc, t.root, again->root, rules), "") << u8(c.name);
        size_t widest = 0;
        for (size_t start = 0; start < written.size();) {
            size_t end = written.find(L"\r\n", start);
            if (end == std::wstring::npos) end = written.size();
            widest = std::max(widest, std::min(written.find_first_not_of(L' ', start), end) - start);
            start = end + 2;
        }
        EXPECT_EQ(widest, kIndentWidth * kMaxIndentLevel) << u8(c.name);
    }
}

// Below the deepest block level a YAML container is one flow collection on its key's line. Flow
// style ends plain scalars at "," and brackets too, so those texts are quoted; comments are
// dropped; what is written reads back as the same tree.
TEST(YamlWriter, FlowStyleBelowTheDeepestBlockLevel) {
    Tree t(DocumentFormat::Yaml);
    Node* n = t.add(t.root, NodeKind::Object);
    for (size_t i = 0; i < kMaxIndentLevel; ++i) n = t.member(n, NodeKind::Object, L"k");
    Node* deep = t.member(n, NodeKind::Object, L"deep");
    t.add(deep, NodeKind::Comment, L"", L"dropped");
    t.member(deep, NodeKind::String, L"plain", L"a b:c");
    t.member(deep, NodeKind::String, L"comma", L"a, b");
    t.member(deep, NodeKind::String, L"brackets", L"x[0]{y}");
    t.member(deep, NodeKind::String, L"colon", L"a: b");
    t.member(deep, NodeKind::String, L"word", L"true");
    t.member(deep, NodeKind::Number, L"n", L"0x1F");
    t.member(deep, NodeKind::Null, L"a,b", L"~");
    Node* list = t.member(deep, NodeKind::Array, L"[list]");
    t.add(list, NodeKind::String, L"", L"x");
    t.add(list, NodeKind::Comment, L"", L"dropped too");
    t.member(t.add(list, NodeKind::Object), NodeKind::String, L"{k}", L"");
    t.add(list, NodeKind::Array);
    t.add(t.add(list, NodeKind::Array), NodeKind::Comment, L"", L"only a comment");
    t.member(deep, NodeKind::Object, L"empty");
    const std::wstring written = subtreeText(t.root, *t.doc);
    const std::wstring pad(kIndentWidth * kMaxIndentLevel, L' ');
    EXPECT_EQ(written.substr(written.rfind(L"\r\n") + 2),
              pad + L"deep: {plain: a b:c, comma: \"a, b\", brackets: \"x[0]{y}\", colon: \"a: b\", word: \"true\", "
                    L"\"n\": 0x1F, \"a,b\": ~, \"[list]\": [x, {\"{k}\": \"\"}, [], []], empty: {}}");
    auto again = qmtest::parse(L"t.yaml", written);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->errorMessage, L"");
    CompareRules rules;
    rules.skipComments = true;
    EXPECT_EQ(treeDifference(*t.doc, t.root, again->root, rules), "");
}

TEST(RoundTrip, JsonCorpusWrittenAndParsedAgainGivesTheSameTree) {
    QM_SKIP_WITHOUT_CORPUS();
    CompareRules rules;
    rules.numbersByValue = true;  // "+1", ".5" and "0x1F" are written in JSON's grammar
    RoundTrip r = roundTrip(qmtest::listFiles(qmtest::corpusDir() + "/json/test_parsing", ".json"), L"t.json",
                            L"t.json", rules);
    EXPECT_GT(r.loaded, 90u);
    expectRoundTrip(r);
}

// Every valid TOML file's JSON parses to the same structure; numbers in TOML-only notation are
// written as JSON numbers, so they are compared by value (comments are not data).
TEST(RoundTrip, TomlCorpusWrittenAsJsonParsesToTheSameStructure) {
    QM_SKIP_WITHOUT_CORPUS();
    CompareRules rules;
    rules.skipComments = true;
    rules.numbersByValue = true;
    RoundTrip r = roundTrip(qmtest::listFiles(qmtest::corpusDir() + "/toml/valid", ".toml"), L"t.toml", L"t.json", rules);
    EXPECT_GE(r.loaded, 200u);
    expectRoundTrip(r);
}

// Runs against whatever the YAML parser builds. Tags and the place of comments are what the
// writer cannot express; everything else must come back.
TEST(RoundTrip, YamlCorpusWrittenAndLoadedAgainGivesTheSameTree) {
    QM_SKIP_WITHOUT_CORPUS();
    CompareRules rules;
    rules.skipComments = true;
    rules.tagsMayChangeKind = true;
    rules.numbersByValue = true;  // "0o17" and "1e3" are written as YAML 1.1 readers read them too
    expectRoundTrip(roundTrip(qmtest::listFiles(qmtest::corpusDir() + "/yaml/cases", "in.yaml"), L"t.yaml", L"t.yaml",
                              rules));
}

// A registry file's JSON is one object whose members are its top keys, each with its tree.
TEST(RoundTrip, RegistryCorpusWrittenAsJsonKeepsEveryKeyAndValue) {
    QM_SKIP_WITHOUT_CORPUS();
    CompareRules rules;
    rules.skipComments = true;
    rules.nullWithoutText = true;
    size_t files = 0, same = 0;
    for (const std::string& path : qmtest::listFiles(qmtest::corpusDir() + "/reg", ".reg")) {
        std::vector<uint8_t> bytes;
        if (!qmtest::readBytes(path, bytes)) continue;
        std::wstring text, encoding;
        decodeTextWith(bytes, text, encoding, portableCodePageConverter);
        auto reg = qmtest::parse(L"t.reg", text);
        if (!reg) continue;
        ++files;
        const std::wstring written = subtreeText(reg->root, *reg);
        auto json = qmtest::parse(L"t.json", written);
        ASSERT_TRUE(json) << path;
        ASSERT_EQ(json->errorMessage, L"") << path << "\n" << u8(written.substr(0, 600));
        ASSERT_EQ(json->root->children.size(), 1u) << path;
        const Node* object = json->root->children[0];
        std::vector<const Node*> keys = kept(reg->root, rules);
        ASSERT_EQ(object->children.size(), keys.size()) << path;
        std::string problem;
        for (size_t i = 0; i < keys.size() && problem.empty(); ++i)
            problem = treeDifference(*reg, keys[i], object->children[i], rules);
        EXPECT_EQ(problem, "") << path;
        if (problem.empty()) ++same;
    }
    EXPECT_GT(files, 0u);
    std::printf("    %zu files, %zu written as JSON with every key and value\n", files, same);
}

// Scalars and keys at the edges of the quoting rules, written and read back by the YAML parser
// (meaningful once the parser builds trees; an empty tree passes trivially).
TEST(RoundTrip, YamlScalarsAtTheQuotingEdgesComeBack) {
    const wchar_t* sources[] = {
        L"'... x'\n",
        L"'...'\n",
        L"'... k': 1\n'--- k': 2\nk: '... v'\n",
        L"- 'a\tb'\n- ' '\n- 'a  #b'\n- 'a #'\n- 'a: '\n- 'a:b'\n- '- a'\n- '? a'\n- '%x'\n- '@x'\n",
        L"- '12'\n- '0o7'\n- '0o8'\n- '.NaN'\n- '-.inf'\n- 'null'\n- '~'\n- 'TRUE'\n- 'yes'\n- '1.5e'\n",
        L"- \"x\\u0085y\\u2028\"\n- \"\\0\"\n- \"line1\\nline2\\r\"\n- \"q\\\"uote\\\\\"\n",
        L"a:\n  - b: 1\n    c: [x, {d: e}]\n  - []\n  - {}\n'': empty key\n'#': hash\n",
        L"--- 1\n--- '2'\n---\n# only a comment\n--- [a]\n",
        L"- yes\n- 'on'\n- 1:20\n- '<<'\n- =\n- \"\\x7f\\x80\\N\\L\\P\"\n- 0o17\n- 1e3\n- 012\n- {'<<': {a: 1}, b: 2}\n",
    };
    CompareRules rules;
    rules.skipComments = true;
    rules.numbersByValue = true;
    for (const wchar_t* source : sources) {
        auto doc = qmtest::parse(L"t.yaml", source);
        ASSERT_TRUE(doc);
        ASSERT_EQ(doc->errorMessage, L"") << u8(source);
        EXPECT_EQ(writtenAndReadBack(*doc, L"t.yaml", rules), "") << u8(source);
    }
}

TEST(RoundTrip, XmlCorpusWrittenAndParsedAgainGivesTheSameTree) {
    QM_SKIP_WITHOUT_CORPUS();
    CompareRules rules;
    rules.trimText = true;
    std::vector<std::string> files;
    for (const std::string& f : qmtest::listFiles(qmtest::corpusDir() + "/xml")) {
        const std::string name = f.substr(f.rfind('/') + 1);
        if (name != "LICENSE" && name != "SHA256SUMS" && name.find(".md") == std::string::npos) files.push_back(f);
    }
    RoundTrip r = roundTrip(files, L"t.xml", L"t.xml", rules);
    EXPECT_GT(r.loaded, 0u);
    expectRoundTrip(r);
}
