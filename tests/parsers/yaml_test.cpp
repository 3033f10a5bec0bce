// The YAML parser: scalar classification and styles, block and flow structure, comments,
// documents, anchors, aliases and merge keys, spans, and every error with its line in both
// languages.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "document/language.h"
#include "parsers/yaml.h"
#include "tests/parsers/lineends.h"
#include "tests/support/testing.h"
#include "tests/support/treeprint.h"

using namespace qm;
using qmtest::parse;

namespace {

// Pre-order text of the tree under the root: Kind[:key][=value][<tag>], children in parentheses.
std::wstring shape(const Document& d) { return qmtest::shape(d, d.root, qmtest::kNestedKinds); }

std::unique_ptr<Document> yaml(const std::wstring& text, bool spans = false) {
    auto d = parse(L"t.yaml", text, spans);
    EXPECT_TRUE(d) << qmtest::u8(text);
    return d;
}

struct Case {
    const wchar_t* text;
    const wchar_t* shape;
    const wchar_t* error = L"";
    uint32_t errorLine = 0;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        auto d = yaml(c.text);
        if (!d) continue;
        EXPECT_EQ(shape(*d), c.shape) << qmtest::u8(c.text);
        EXPECT_EQ(d->errorMessage, c.error) << qmtest::u8(c.text);
        if (*c.error) {
            EXPECT_EQ(d->errorLine, c.errorLine) << qmtest::u8(c.text);
        }
    }
}

// The first value of the first document (or of its top collection).
const Node* firstValue(const Document& d) {
    const Node* top = d.root->children.empty() ? nullptr : d.root->children[0];
    const bool collection = top && (top->kind == NodeKind::Object || top->kind == NodeKind::Array);
    return collection && !top->children.empty() ? top->children[0] : top;
}

void expectValues(const std::vector<std::pair<const wchar_t*, std::wstring>>& cases) {
    for (const auto& [text, expected] : cases) {
        auto d = yaml(text);
        const Node* v = firstValue(*d);
        ASSERT_TRUE(v) << qmtest::u8(text);
        EXPECT_EQ(v->kind, NodeKind::String) << qmtest::u8(text);
        EXPECT_EQ(v->value, expected) << qmtest::u8(text);
        EXPECT_EQ(d->errorMessage, L"") << qmtest::u8(text);
    }
}

}  // namespace

TEST(YamlScalars, PlainScalarsAreClassifiedByFixedRulesAndKeptAsWritten) {
    const std::vector<std::pair<const wchar_t*, NodeKind>> cases = {
        {L"null", NodeKind::Null},     {L"~", NodeKind::Null},         {L"NULL", NodeKind::Null},
        {L"True", NodeKind::Bool},     {L"FALSE", NodeKind::Bool},     {L"tRue", NodeKind::String},
        {L".inf", NodeKind::Number},   {L"-.Inf", NodeKind::Number},   {L".NaN", NodeKind::Number},
        {L"-.nan", NodeKind::String},  {L"0x1F", NodeKind::Number},    {L"0o17", NodeKind::Number},
        {L"0o18", NodeKind::String},   {L"0x", NodeKind::String},      {L"-0x1F", NodeKind::String},
        {L"1e5", NodeKind::Number},    {L"1.5e", NodeKind::String},    {L"1.5E-3", NodeKind::Number},
        {L"1.", NodeKind::Number},     {L".5", NodeKind::Number},      {L".", NodeKind::String},
        {L"1_000", NodeKind::String},  {L"yes", NodeKind::String},     {L"2001-12-14", NodeKind::String},
    };
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(classifyYamlScalar(text), kind) << qmtest::u8(text);
        auto d = yaml(std::wstring(L"v: ") + text + L"\n");
        EXPECT_EQ(firstValue(*d)->kind, kind) << qmtest::u8(text);
        EXPECT_EQ(firstValue(*d)->value, text);
    }
    expectCases({
        {L"v:\n'true': \"42\"\n42: true\n", L"Obj(Null:v=null Str:true=42 Bool:42=true)"},  // keys stay text
        {L"a: !!str 42\nb: !!int abc\nc: !!float 1\nd: !!bool yes\ne: !!null x\n",
         L"Obj(Str:a=42<!!str> Num:b=abc<!!int> Num:c=1<!!float> Bool:d=yes<!!bool> Null:e=x<!!null>)"},
        {L"a: !local 42\nb: !<tag:x> 1\nc: !!str [1]\nd: !!str\n",
         L"Obj(Num:a=42<!local> Num:b=1<!<tag:x>> Arr:c<!!str>(Num=1) Str:d=null<!!str>)"},
        {L"a: &x !!str 1\nb: !!str &y 2\n", L"Obj(Str:a=1<&x !!str> Str:b=2<&y !!str>)"},
    });
}

TEST(YamlScalars, QuotedScalarsUnescapeAndFold) {
    expectValues({
        {L"\"\\x41\"", L"A"},
        {L"\"\\t\\\t|\\n\\r\\a\\b\\e\\f\\v\"", L"\t\t|\n\r\x07\x08\x1B\x0C\x0B"},
        {L"\"\\L\\N\\P\\_\\u00e9\\u20AC\"", L"\x2028\x85\x2029\xA0\xE9\x20AC"},
        {L"\"\\U0001F600\"", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}},
        {L"\"\\U00110000|\\x00|\\0|\"", L"|||"},  // above U+10FFFF, zero and \0 give nothing
        {L"\"\\x4g\\\"\\\\\\/\\ \\q\"", L"\x04g\"\\/ q"},
        {L"\"a\\\n    b\"", L"ab"},  // an escaped line break joins without a space
        {L"'a\\n''b'", L"a\\n'b"},     // single quotes: backslash is ordinary, '' is one quote
        {L"\"a  \n   b\"", L"a b"},
        {L"'a\r\n\r\n  \n b'", L"a\n\nb"},
        {L"\"a\\t\n b\"", L"a\t b"},  // an escaped tab is content, not trailing white space
    });
}

TEST(YamlScalars, BlockScalars) {
    expectValues({
        {L"v: |\n  a\n   b\n\n  c\n\n\nw: 1\n", L"a\n b\n\nc\n"},
        {L"v: |-\n  a\n  b\n\n", L"a\nb"},
        {L"v: |+\n  a\n\n\nw: 1\n", L"a\n\n\n"},
        {L"v: |+\n\n\nw: 1\n", L"\n\n"},  // keep without content: one line feed per line
        {L"v: |\n\nw: 1\n", L""},
        {L"v: >\n  a\n  b\n\n  c\n   d\n  e\n", L"a b\nc\n d\ne\n"},
        {L"v: >-\n\n  a\n", L"\na"},
        {L"v: |2\n    a\n   b\n", L"  a\n b\n"},
        {L"- |1\n  a\n", L" a\n"},
        {L"v: | # comment\n  a\r\n  b\r\n", L"a\nb\n"},  // clip keeps the line break after the content
        {L"v: |\n  a\n# comment\n", L"a\n"},         // a less indented line ends the scalar
        {L"--- |\nfoo\n---\nbar\n", L"foo\n"},
    });
    auto d = yaml(L"a: 1\nv: >\n  x\n");
    EXPECT_EQ(d->root->children[0]->children[1]->line, 2u);  // the line of the indicator
}

// A block scalar at the very end of the file: chomping keeps only line breaks the file has, so a
// file without a final line break gives a value without one, whatever the style.
TEST(YamlScalars, BlockScalarsAtTheEndKeepOnlyLineBreaksThatAreThere) {
    expectValues({
        {L"k: |\n  a\n  b", L"a\nb"},
        {L"k: |\n  a\n  b\n", L"a\nb\n"},
        {L"k: |\r\n  a\r\n  b", L"a\nb"},
        {L"k: >\n  a\n  b", L"a b"},
        {L"k: >\n  a\n  b\n", L"a b\n"},
        {L"k: >\n  a\n\n  b", L"a\nb"},
        {L"k: |+\n  a\n  b", L"a\nb"},
        {L"k: |+\n  a\n  b\n", L"a\nb\n"},
        {L"k: |+\n  a\n\n  ", L"a\n\n"},  // the last, unbroken blank line adds nothing
        {L"k: >+\n  a\n\n", L"a\n\n"},
        {L"k: |-\n  a\n  b", L"a\nb"},
        {L"k: >-\n  a\n  b\n\n", L"a b"},
        {L"- |\n  a\n- >\n  b", L"a\n"},
        {L"--- |\n  a", L"a"},
        {L"k: |+\n\n  ", L"\n"},
    });
    auto d = yaml(L"- |\n  a\n- >\n  b");
    EXPECT_EQ(d->root->children[0]->children.at(1)->value, L"b");
}

TEST(YamlStructure, CollectionsCommentsAndDocuments) {
    expectCases({
        {L"a:\n  b: 1\n  c:\n    - x\n    - y: 2\n      z: 3\nd: 4\n",
         L"Obj(Obj:a(Num:b=1 Arr:c(Str=x Obj(Num:y=2 Num:z=3))) Num:d=4)"},
        {L"key:\n- a\n- b\nnext: 1\n", L"Obj(Arr:key(Str=a Str=b) Num:next=1)"},
        {L"- - a\n  - b\n-\n  a: 1\n-\n", L"Arr(Arr(Str=a Str=b) Obj(Num:a=1) Null=null)"},
        {L"? a\n: 1\n? 'q k' # c\nc:\n", L"Obj(Num:a=1 Null:q k=null Comment=c Null:c=null)"},
        {L"'a b': 1\n\"c\" : 2\nhttp://x:\ty\n", L"Obj(Num:a b=1 Num:c=2 Str:http://x=y)"},
        {L"a: one\n  two\n\n  three\nb: x\n- a\n  - b\n", L"Obj(Str:a=one two\nthree Str:b=x)",
         L"Unexpected content", 6},
        {L"!!map &m\na: 1\n", L"Obj<&m !!map>(Num:a=1)"},
        {L"&m a: 1\nb: 2\n- &s b: 1\n  c: 2\n", L"Obj<&m>(Num:a=1 Num:b=2)", L"Unexpected content", 3},
        {L"[a, 'b', {c: 1, \"d\": [], e}, [], ]", L"Arr(Str=a Str=b Obj(Num:c=1 Arr:d Null:e=null) Arr)"},
        {L"[a: 1, b: , 'c': x, http://x, a:b, &a x, *a]",
         L"Arr(Obj(Num:a=1) Obj(Null:b=null) Obj(Str:c=x) Str=http://x Str=a:b Str=x<&a> Str=x<*a>)"},
        {L"{a: , b: {}, ? c : d, \"e\":1, f:g}", L"Obj(Null:a=null Obj:b Str:c=d Num:e=1 Null:f:g=null)"},
        {L"# top\na: 1 # after a\nb:\n  # inside\n  c: [1, # one\n    2]\n  # after c\nd: 3\n# end\n",
         L"Comment=top Obj(Num:a=1 Comment=after a Obj:b(Comment=inside Arr:c(Num=1 Num=2)) Comment=one "
         L"Comment=after c Num:d=3) Comment=end"},
        {L"# only\n  #   comments  \r\n", L"Comment=only Comment=comments"},
        {L"%YAML 1.2\n%TAG ! tag:x\n---\na: 1\n...\n---\n- b\n--- 1\n---\n---\n", L"Obj(Num:a=1) Arr(Str=b) Num=1"},
    });
    auto d = yaml(L"# c\n---\n- a\n# between\n- b\n---\nc\n");
    const Node* seq = d->root->children[1];
    EXPECT_EQ(seq->children[2]->indexInParent, 1u);  // comments are not counted among items...
    EXPECT_EQ(d->root->children[2]->indexInParent, 1u);  // ...nor among documents
    EXPECT_EQ(seq->children[1]->line, 4u);
}

TEST(YamlStructure, LineEndingsAndByteOrderMarkAreTransparent) {
    const std::wstring lf = L"# c\na: 1\nb:\n  - x\n  - \"y\n    z\"\nc: |\n  l1\n\n  l2\nd: >-\n  f1\n  f2\n"
                            L"e: plain\n  more\nf: {g: 'h'}\n---\n? k\n: v\n";
    std::wstring crlf, cr;
    for (wchar_t c : lf) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    for (wchar_t c : lf) cr += c == L'\n' ? L'\r' : c;
    const std::wstring expected = L"Comment=c Obj(Num:a=1 Arr:b(Str=x Str=y z) Str:c=l1\n\nl2\n Str:d=f1 f2 "
                                  L"Str:e=plain more Obj:f(Str:g=h)) Obj(Str:k=v)";
    for (const std::wstring& text : {lf, crlf, cr, std::wstring(1, wchar_t(0xFEFF)) + lf}) {
        auto d = yaml(text);
        EXPECT_EQ(shape(*d), expected) << qmtest::u8(text);
        EXPECT_EQ(d->errorMessage, L"");
        // The value of the second document is on line 19, however the lines end.
        EXPECT_EQ(d->root->children.at(2)->children.at(0)->line, 19u) << qmtest::u8(text);
    }
}

// A carriage return without a line feed after it ends a line (files from classic Mac tools):
// each text parses with lone carriage returns, and with them mixed with CR LF, as it does with
// line feeds: the same tree, the same lines of nodes and the same error on the same line.
TEST(YamlStructure, LoneCarriageReturnsEndLines) {
    const std::vector<Case> cases = {
        {L"a: 1\nb:\n  - x\n  - y\n", L"Obj(Num:a=1 Arr:b(Str=x Str=y))"},
        {L"# c\na: 1 # d\nb:\n  c: 2\n", L"Comment=c Obj(Num:a=1 Comment=d Obj:b(Num:c=2))"},
        {L"a: \"x\n\n  y\"\nb: 'p\n q'\n", L"Obj(Str:a=x\ny Str:b=p q)"},
        {L"a: |\n  l1\n\n  l2\nb: >\n  f1\n  f2\n", L"Obj(Str:a=l1\n\nl2\n Str:b=f1 f2\n)"},
        {L"a: one\n  two\nb: [1,\n 2]\n", L"Obj(Str:a=one two Arr:b(Num=1 Num=2))"},
        {L"--- 1\n---\n- a\n...\n", L"Num=1 Arr(Str=a)"},
        {L"a: 1\nb: 2\n   c: 3\n", L"Obj(Num:a=1 Num:b=2)", L"Unexpected indentation", 3},
        {L"a: 1\n\nb: [1\n", L"Obj(Num:a=1 Arr:b(Num=1))", L"Expected ',' or ']'", 4},
    };
    expectCases(cases);
    for (const Case& c : cases) {
        const std::wstring lf = c.text;
        auto expected = yaml(lf);
        for (const std::wstring& text : qmtest::withOtherLineEnds(lf)) {
            auto d = yaml(text);
            EXPECT_EQ(shape(*d), c.shape) << qmtest::u8(text);
            EXPECT_EQ(d->errorMessage, c.error) << qmtest::u8(text);
            EXPECT_EQ(d->errorLine, expected->errorLine) << qmtest::u8(text);
            EXPECT_EQ(qmtest::nodeLines(*d), qmtest::nodeLines(*expected)) << qmtest::u8(text);
        }
    }
}

TEST(YamlAnchors, AliasesAndMergeKeys) {
    auto d = yaml(L"base: &b\n  x: 1\n  y: [2]\ncopy: *b\n");
    EXPECT_EQ(shape(*d), L"Obj(Obj:base<&b>(Num:x=1 Arr:y(Num=2)) Obj:copy<*b>(Num:x=1 Arr:y(Num=2)))");
    const Node* base = d->root->children[0]->children[0];
    const Node* copy = d->root->children[0]->children[1];
    EXPECT_EQ(copy->line, base->line);  // the copy keeps the anchored node's lines
    EXPECT_EQ(copy->children[0]->line, 2u);

    auto merged = yaml(L"base: &b\n  x: 1\n  y: 2\nm:\n  x: own\n  <<: *b\n  z: 3\n");
    const Node* m = merged->root->children[0]->children[1];
    for (size_t i = 0; i < m->children.size(); ++i) EXPECT_EQ(m->children[i]->indexInParent, i);
    EXPECT_EQ(nodeCount(*merged), 11u);  // the "<<" entry (a copy of base) stays in the store

    expectCases({
        {L"- &a 1\n- &a 2\n- *a\n", L"Arr(Num=1<&a> Num=2<&a> Num=2<*a>)"},  // a later anchor replaces
        {L"base: &b\n  x: 1\n  y: 2\nm:\n  x: own\n  <<: *b\n  z: 3\n",
         L"Obj(Obj:base<&b>(Num:x=1 Num:y=2) Obj:m(Str:x=own Num:z=3 Num:y=2<<<>))"},
        {L"a: &a {p: 1, q: 1}\nb: &b {q: 2, r: 2}\nc:\n  <<: [*a, *b, 5]\n",  // earlier sources win
         L"Obj(Obj:a<&a>(Num:p=1 Num:q=1) Obj:b<&b>(Num:q=2 Num:r=2) Obj:c(Num:p=1<<<> Num:q=1<<<> Num:r=2<<<>))"},
        {L"a:\n  <<: 1\n  b: 2\n", L"Obj(Obj:a(Num:b=2))"},
        // Only the plain "<<" merges; a quoted one is a key like any other.
        {L"a: &a {k: 1}\nb:\n  \"<<\": *a\n  '<<': 2\nc: {\"<<\": *a}\n",
         L"Obj(Obj:a<&a>(Num:k=1) Obj:b(Obj:<<<*a>(Num:k=1) Num:<<=2) Obj:c(Obj:<<<*a>(Num:k=1)))"},
        {L"? \"<<\"\n: {k: 1}\n", L"Obj(Obj:<<(Num:k=1))"},
        {L"a: &a {k: 1}\nb:\n  <<: *a\n  c: 2\n    d: 3\n",  // a stopping error still merges
         L"Obj(Obj:a<&a>(Num:k=1) Obj:b(Num:c=2 Num:k=1<<<>))", L"Unexpected indentation", 5},
        // Unknown and recursive aliases are recorded, stand in as strings, and parsing goes on.
        {L"a: *x\nb: &x 1\nc: *x\nd: *y\n", L"Obj(Str:a=*x Num:b=1<&x> Num:c=1<*x> Str:d=*y)", L"Unknown anchor: *x", 1},
        {L"a: &x\n  b: *x\n  c: 1\n", L"Obj(Obj:a<&x>(Str:b=*x Num:c=1))", L"Recursive alias: *x", 2},
        {L"- &s [1, *s]\n- 2\n", L"Arr(Arr<&s>(Num=1 Str=*s) Num=2)", L"Recursive alias: *s", 1},
    });
}

TEST(YamlErrors, MessagesLinesAndTheTreeBuiltSoFar) {
    struct ErrorCase {
        const wchar_t* text;
        const wchar_t* english;
        const wchar_t* german;
        uint32_t line;
        const wchar_t* shape;
    };
    const std::vector<ErrorCase> cases = {
        {L"a: [1, 2\n", L"Expected ',' or ']'", L"',' oder ']' erwartet", 2, L"Obj(Arr:a(Num=1 Num=2))"},
        {L"a: {b: 1\n\n", L"Expected ',' or '}'", L"',' oder '}' erwartet", 3, L"Obj(Obj:a(Num:b=1))"},
        {L"a: [1 {b}]\n", L"Expected ',' or ']'", L"',' oder ']' erwartet", 1, L"Obj(Arr:a(Num=1))"},
        {L"a: [1,\n", L"Unexpected end of file", L"Unerwartetes Dateiende", 2, L"Obj(Arr:a(Num=1))"},
        {L"a: 1\nb: \"open\n\n", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 4,
         L"Obj(Num:a=1 Str:b=open\n)"},
        {L"a: 1\n   b: 2\n", L"Unexpected indentation", L"Unerwartete Einrückung", 2, L"Obj(Num:a=1)"},
        {L"a: one # c\n  two\n", L"Unexpected indentation", L"Unerwartete Einrückung", 2, L"Obj(Str:a=one) Comment=c"},
        {L"a: 1\nb\n", L"Expected a key", L"Schlüssel erwartet", 2, L"Obj(Num:a=1)"},
        {L"a: 1\n[b]: 2\n", L"Expected a key", L"Schlüssel erwartet", 2, L"Obj(Num:a=1)"},
        {L"a: 1\n\"b\" x: 2\n", L"Expected ':'", L"':' erwartet", 2, L"Obj(Num:a=1)"},
        {L"[1]\nb\n", L"Unexpected content", L"Unerwarteter Inhalt", 2, L"Arr(Num=1)"},
        {L"a: *x\nb: &x\n  c: *x\n", L"Unknown anchor: *x", L"Unbekannter Anker: *x", 1,
         L"Obj(Str:a=*x Obj:b<&x>(Str:c=*x))"},  // only the first error is kept
        {L"a: &x\n  b: *x\n", L"Recursive alias: *x", L"Rekursiver Verweis: *x", 2, L"Obj(Obj:a<&x>(Str:b=*x))"},
    };
    qmtest::expectFirstErrors(
        cases, [](const wchar_t* text) { return parse(L"e.yml", text); },
        [](const Document& d) { return shape(d); });
    qmtest::LanguageGuard german(true);
    auto deep = parse(L"e.yml", std::wstring(600, L'[') + std::wstring(600, L']'));
    EXPECT_EQ(deep->errorMessage, L"Verschachtelung zu tief");
}

// Anchor names quoted in messages are cut after 40 characters with "…"; the stand-in value keeps
// the whole alias.
TEST(YamlErrors, LongAnchorNamesAreCutInMessages) {
    const std::wstring name(40, L'n'), cut = name + L"\u2026";
    struct NameCase {
        std::wstring text;
        std::wstring english, german;
    };
    const std::vector<NameCase> cases = {
        {L"a: *" + name + L"\n", L"Unknown anchor: *" + name, L"Unbekannter Anker: *" + name},
        {L"a: *" + name + L"x\n", L"Unknown anchor: *" + cut, L"Unbekannter Anker: *" + cut},
        {L"a: &" + name + L"x\n  b: *" + name + L"x\n", L"Recursive alias: *" + cut, L"Rekursiver Verweis: *" + cut},
    };
    for (bool german : {false, true}) {
        for (const NameCase& c : cases) {
            qmtest::LanguageGuard language(german);
            auto d = parse(L"e.yml", c.text);
            ASSERT_TRUE(d);
            EXPECT_EQ(d->errorMessage, german ? c.german : c.english);
        }
    }
    auto d = parse(L"e.yml", L"a: *" + name + L"x\n");
    EXPECT_EQ(d->root->children[0]->children[0]->value, L"*" + name + L"x");
}

TEST(YamlSpans, ScalarsRecordWhereTheirTextIs) {
    const std::wstring text =
        L"\xFEFF" L"a: 'q' \nb: plain text # c\nc: [x, \"y\"]\nd: |\n  lit\ne: two\n  lines\nf: *a\ng:\n";
    auto d = yaml(text, true);
    std::vector<std::wstring> spans;
    std::vector<const Node*> stack{d->root};
    while (!stack.empty()) {  // pre-order
        const Node* n = stack.back();
        stack.pop_back();
        uint32_t s = 0, e = 0;
        if (n != d->root) spans.push_back(nodeSpan(*d, n, s, e) ? text.substr(s, e - s) : L"-");
        stack.insert(stack.end(), n->children.rbegin(), n->children.rend());
    }
    // Collections, block scalars, multi-line plain scalars and aliases get none; an empty value
    // gets an empty span just after its ":"; offsets count the byte-order mark.
    const std::vector<std::wstring> expected = {L"-", L"'q'", L"plain text", L"-", L"-", L"x", L"\"y\"",
                                                L"-", L"-",  L"-",          L""};
    EXPECT_EQ(spans, expected);
}
