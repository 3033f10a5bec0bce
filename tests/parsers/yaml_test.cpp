// The YAML parser: scalar classification and styles, block and flow structure, comments,
// documents, anchors, aliases and merge keys, spans, and every error with its line in both
// languages.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "document/language.h"
#include "parsers/yaml.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::parse;

namespace {

const wchar_t* kindName(NodeKind k) {
    static const wchar_t* const names[] = {L"Root", L"El",  L"Attr", L"Text", L"CD",  L"Comment", L"PI",  L"DT",
                                           L"Decl", L"Obj", L"Arr",  L"Str",  L"Num", L"Bool",    L"Null"};
    return names[size_t(k)];
}

// Pre-order text of the tree under the root: Kind[:key][=value][<tag>], children in parentheses.
std::wstring shape(const Node* root) {
    std::wstring out;
    std::vector<std::pair<const Node*, bool>> stack;  // (node, closing parenthesis)
    for (size_t i = root->children.size(); i-- > 0;) stack.emplace_back(root->children[i], false);
    while (!stack.empty()) {
        auto [n, close] = stack.back();
        stack.pop_back();
        if (close) {
            out += L")";
            continue;
        }
        if (!out.empty() && out.back() != L'(') out += L' ';
        out += kindName(n->kind);
        if (n->keyed) out += L":" + n->name;
        if (!n->value.empty()) out += L"=" + n->value;
        if (n->tag) out += std::wstring(L"<") + n->tag + L">";
        if (n->children.empty()) continue;
        out += L"(";
        stack.emplace_back(n, true);
        for (size_t i = n->children.size(); i-- > 0;) stack.emplace_back(n->children[i], false);
    }
    return out;
}

std::unique_ptr<Document> yaml(const std::wstring& text, bool spans = false) {
    auto d = parse(L"t.yaml", text, spans);
    EXPECT_TRUE(d) << qmtest::u8(text);
    return d;
}

struct ShapeCase {
    const wchar_t* text;
    const wchar_t* shape;
};

void expectShapes(const std::vector<ShapeCase>& cases) {
    for (const ShapeCase& c : cases) {
        auto d = yaml(c.text);
        if (!d) continue;
        EXPECT_EQ(shape(d->root), c.shape) << qmtest::u8(c.text);
        EXPECT_EQ(d->errorMessage, L"") << qmtest::u8(c.text);
    }
}

// The single value of "v: <text>" or of a one-line document.
const Node* onlyValue(const Document& d) {
    const Node* top = d.root->children.empty() ? nullptr : d.root->children[0];
    const bool collection = top && (top->kind == NodeKind::Object || top->kind == NodeKind::Array);
    return collection && !top->children.empty() ? top->children[0] : top;
}

}  // namespace

TEST(YamlScalars, PlainScalarsAreClassifiedByFixedRules) {
    const std::vector<std::pair<const wchar_t*, NodeKind>> cases = {
        {L"null", NodeKind::Null},     {L"~", NodeKind::Null},        {L"NULL", NodeKind::Null},
        {L"True", NodeKind::Bool},     {L"FALSE", NodeKind::Bool},    {L"tRue", NodeKind::String},
        {L".inf", NodeKind::Number},   {L"-.Inf", NodeKind::Number},  {L"+.INF", NodeKind::Number},
        {L".NaN", NodeKind::Number},   {L"-.nan", NodeKind::String},  {L"0x1F", NodeKind::Number},
        {L"0o17", NodeKind::Number},   {L"0o18", NodeKind::String},   {L"0x", NodeKind::String},
        {L"0X1F", NodeKind::String},   {L"-0x1F", NodeKind::String},  {L"1e5", NodeKind::Number},
        {L"1.5e", NodeKind::String},   {L"1.5E-3", NodeKind::Number}, {L"1.", NodeKind::Number},
        {L".5", NodeKind::Number},     {L"+12", NodeKind::Number},    {L".", NodeKind::String},
        {L"-", NodeKind::String},      {L"1_000", NodeKind::String},  {L"yes", NodeKind::String},
        {L"off", NodeKind::String},    {L"2001-12-14", NodeKind::String}, {L"12:30", NodeKind::String},
    };
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(classifyYamlScalar(text), kind) << qmtest::u8(text);
        auto d = yaml(std::wstring(L"v: ") + text + L"\n");
        const Node* v = onlyValue(*d);
        ASSERT_TRUE(v);
        EXPECT_EQ(v->kind, kind) << qmtest::u8(text);
        EXPECT_EQ(v->value, text);  // kept as written
    }
    auto empty = yaml(L"v:\n");
    EXPECT_EQ(onlyValue(*empty)->kind, NodeKind::Null);
    EXPECT_EQ(onlyValue(*empty)->value, L"null");
}

TEST(YamlScalars, QuotedScalarsAndKeysAreNeverClassified) {
    expectShapes({
        {L"'true': \"42\"\n\"null\": 'null'\n", L"Obj(Str:true=42 Str:null=null)"},
        {L"42: true\n", L"Obj(Bool:42=true)"},
    });
}

TEST(YamlScalars, TagsChangeScalarKindsButNeverTheText) {
    expectShapes({
        {L"a: !!str 42\nb: !!int abc\nc: !!float 1\nd: !!bool yes\ne: !!null x\n",
         L"Obj(Str:a=42<!!str> Num:b=abc<!!int> Num:c=1<!!float> Bool:d=yes<!!bool> Null:e=x<!!null>)"},
        {L"a: !local 42\nb: !<tag:x> 1\n", L"Obj(Num:a=42<!local> Num:b=1<!<tag:x>>)"},
        {L"a: !!str [1]\n", L"Obj(Arr:a<!!str>(Num=1))"},
        {L"a: &x !!str 1\nb: !!str &y 2\n", L"Obj(Str:a=1<&x !!str> Str:b=2<&y !!str>)"},
        {L"a: !!str\n", L"Obj(Str:a=null<!!str>)"},
    });
}

TEST(YamlScalars, DoubleQuotedEscapes) {
    const std::vector<std::pair<const wchar_t*, std::wstring>> cases = {
        {L"\"\\x41\"", L"A"},
        {L"\"\\t\\\t|\\n\\r\\a\\b\\e\\f\\v\"", L"\t\t|\n\r\x07\x08\x1B\x0C\x0B"},
        {L"\"\\L\\N\\P\\_\"", L"\x2028\x85\x2029\xA0"},
        {L"\"\\u00e9\\u20AC\"", L"\xE9\x20AC"},
        {L"\"\\U0001F600\"", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}},
        {L"\"\\U00110000|\\x00|\\0|\"", L"|||"},  // above U+10FFFF, zero and \0 give nothing
        {L"\"\\x4g\"", L"\x04g"},                  // fewer digits when a non-digit comes first
        {L"\"\\\"\\\\\\/\\ \"", L"\"\\/ "},
        {L"\"\\q\"", L"q"},
        {L"\"a\\\n    b\"", L"ab"},  // an escaped line break joins without a space
        {L"'a\\n''b'", L"a\\n'b"},     // single quotes: backslash is ordinary, '' is one quote
    };
    for (const auto& [text, expected] : cases) {
        auto d = yaml(text);
        const Node* v = onlyValue(*d);
        ASSERT_TRUE(v) << qmtest::u8(text);
        EXPECT_EQ(v->kind, NodeKind::String);
        EXPECT_EQ(v->value, expected) << qmtest::u8(text);
        EXPECT_EQ(d->errorMessage, L"") << qmtest::u8(text);
    }
}

TEST(YamlScalars, QuotedScalarsFoldLineBreaks) {
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> cases = {
        {L"\"a  \n   b\"", L"a b"},
        {L"'a\r\n\r\n  \n b'", L"a\n\nb"},
        {L"\"a\\t\n b\"", L"a\t b"},  // an escaped tab is content, not trailing white space
        {L"\"a\\ \n b\"", L"a  b"},
    };
    for (const auto& [text, expected] : cases) {
        auto d = yaml(text);
        EXPECT_EQ(onlyValue(*d)->value, expected) << qmtest::u8(text);
    }
}

TEST(YamlScalars, BlockScalars) {
    const std::vector<std::pair<const wchar_t*, const wchar_t*>> cases = {
        {L"v: |\n  a\n   b\n\n  c\n\n\nw: 1\n", L"a\n b\n\nc\n"},
        {L"v: |-\n  a\n  b\n\n", L"a\nb"},
        {L"v: |+\n  a\n\n\nw: 1\n", L"a\n\n\n"},
        {L"v: |+\n\n\nw: 1\n", L"\n\n"},  // keep without content: one line feed per line
        {L"v: |\n\nw: 1\n", L""},
        {L"v: >\n  a\n  b\n\n  c\n   d\n  e\n", L"a b\nc\n d\ne\n"},
        {L"v: >-\n\n  a\n", L"\na"},
        {L"v: |2\n    a\n   b\n", L"  a\n b\n"},
        {L"- |1\n  a\n", L" a\n"},
        {L"v: | # comment\n  a\r\n  b\r\n", L"a\nb\n"},
        {L"v: |\n  a\n# comment\n", L"a\n"},  // a less indented line ends the scalar
        {L"--- |\nfoo\n---\nbar\n", L"foo\n"},
        {L"v: |\n  a\n  b", L"a\nb\n"},  // clip adds one line feed to any content
    };
    for (const auto& [text, expected] : cases) {
        auto d = yaml(text);
        const Node* v = onlyValue(*d);
        ASSERT_TRUE(v) << qmtest::u8(text);
        EXPECT_EQ(v->kind, NodeKind::String) << qmtest::u8(text);
        EXPECT_EQ(v->value, expected) << qmtest::u8(text);
        EXPECT_EQ(d->errorMessage, L"") << qmtest::u8(text);
    }
    auto d = yaml(L"a: 1\nv: >\n  x\n");
    EXPECT_EQ(d->root->children[0]->children[1]->line, 2u);  // the line of the indicator
}

TEST(YamlScalars, PlainScalarsContinueOnDeeperLines) {
    expectShapes({
        {L"a: one\n  two\n\n  three\nb: x\n", L"Obj(Str:a=one two\nthree Str:b=x)"},
        {L"- a\n  - b\n", L"Arr(Str=a - b)"},
        {L"plain\ntext\n", L"Str=plain text"},
    });
    auto d = yaml(L"a: one # c\n  two\n");
    EXPECT_EQ(d->errorMessage, L"Unexpected indentation");  // a comment ends the scalar
    expectShapes({{L"a: one\n  #two\nb: 1\n", L"Obj(Str:a=one Comment=two Num:b=1)"}});
}

TEST(YamlStructure, BlockCollections) {
    expectShapes({
        {L"a:\n  b: 1\n  c:\n    - x\n    - y: 2\n      z: 3\nd: 4\n",
         L"Obj(Obj:a(Num:b=1 Arr:c(Str=x Obj(Num:y=2 Num:z=3))) Num:d=4)"},
        {L"key:\n- a\n- b\nnext: 1\n", L"Obj(Arr:key(Str=a Str=b) Num:next=1)"},
        {L"- - a\n  - b\n- c\n", L"Arr(Arr(Str=a Str=b) Str=c)"},
        {L"-\n  a: 1\n-\n- x\n", L"Arr(Obj(Num:a=1) Null=null Str=x)"},
        {L"? a\n: 1\n? b\nc: 2\n", L"Obj(Num:a=1 Null:b=null Num:c=2)"},
        {L"? 'q k' # c\n: v\n", L"Obj(Str:q k=v) Comment=c"},
        {L"'a b': 1\n\"c\" : 2\nhttp://x: 3\n", L"Obj(Num:a b=1 Num:c=2 Num:http://x=3)"},
        {L"a:\tb\n", L"Obj(Str:a=b)"},
        {L"!!map &m\na: 1\n", L"Obj<&m !!map>(Num:a=1)"},
        {L"&m a: 1\nb: 2\n", L"Obj<&m>(Num:a=1 Num:b=2)"},  // properties before the first key
        {L"- &s b: 1\n  c: 2\n", L"Arr(Obj<&s>(Num:b=1 Num:c=2))"},
    });
}

TEST(YamlStructure, FlowCollections) {
    expectShapes({
        {L"[a, 'b', {c: 1, \"d\": [], e}, [], ]", L"Arr(Str=a Str=b Obj(Num:c=1 Arr:d Null:e=null) Arr)"},
        {L"[a: 1, b: , 'c': x]", L"Arr(Obj(Num:a=1) Obj(Null:b=null) Obj(Str:c=x))"},
        {L"{a: , b: {}, ? c : d}", L"Obj(Null:a=null Obj:b Str:c=d)"},
        {L"{\"a\":1, b:c}", L"Obj(Num:a=1 Null:b:c=null)"},
        {L"k: [\n  1, # one\n  2\n]\nn: 1\n", L"Obj(Arr:k(Num=1 Num=2) Comment=one Num:n=1)"},
        {L"[http://x, a:b, &a x, *a]", L"Arr(Str=http://x Str=a:b Str=x<&a> Str=x<*a>)"},
    });
}

TEST(YamlStructure, CommentsJoinTheCollectionWhoseEntryFollows) {
    expectShapes({
        {L"# top\na: 1 # after a\n# before b\nb:\n  # inside\n  c: 2\n  # after c\nd: 3\n# end\n",
         L"Comment=top Obj(Num:a=1 Comment=after a Comment=before b Obj:b(Comment=inside Num:c=2) "
         L"Comment=after c Num:d=3) Comment=end"},
        {L"# only\n  #   comments  \r\n", L"Comment=only Comment=comments"},
        {L"- a\n# between\n- b\n", L"Arr(Str=a Comment=between Str=b)"},
    });
    auto d = yaml(L"- a\n# between\n- b\n");
    const Node* seq = d->root->children[0];
    EXPECT_EQ(seq->children[0]->indexInParent, 0u);
    EXPECT_EQ(seq->children[2]->indexInParent, 1u);  // comments are not counted among items
    EXPECT_EQ(seq->children[1]->line, 2u);
}

TEST(YamlStructure, DocumentsAndDirectives) {
    expectShapes({
        {L"%YAML 1.2\n%TAG ! tag:x\n---\na: 1\n...\n---\n- b\n", L"Obj(Num:a=1) Arr(Str=b)"},
        {L"--- 1\n--- two\n...\n", L"Num=1 Str=two"},
        {L"---\n---\n", L""},  // empty explicit documents add nothing
        {L"# c\n---\n# d\na\n", L"Comment=c Comment=d Str=a"},
    });
    auto d = yaml(L"# c\n---\na\n---\nb\n");
    ASSERT_EQ(d->root->children.size(), 3u);
    EXPECT_EQ(d->root->children[1]->indexInParent, 0u);
    EXPECT_EQ(d->root->children[2]->indexInParent, 1u);
}

TEST(YamlStructure, ByteOrderMarkIsNotPartOfTheFirstLine) {
    auto d = yaml(std::wstring(1, wchar_t(0xFEFF)) + L"a: 1\nb: 'x'\n", true);
    EXPECT_EQ(shape(d->root), L"Obj(Num:a=1 Str:b=x)");
    EXPECT_EQ(d->errorMessage, L"");
    uint32_t start = 0, end = 0;
    ASSERT_TRUE(nodeSpan(*d, d->root->children[0]->children[1], start, end));
    EXPECT_EQ(start, 9u);  // spans count the mark
    EXPECT_EQ(end, 12u);
}

TEST(YamlAnchors, AliasesAreCopiesOfTheAnchoredNode) {
    auto d = yaml(L"base: &b\n  x: 1\n  y: [2]\ncopy: *b\n");
    EXPECT_EQ(shape(d->root), L"Obj(Obj:base<&b>(Num:x=1 Arr:y(Num=2)) Obj:copy<*b>(Num:x=1 Arr:y(Num=2)))");
    const Node* base = d->root->children[0]->children[0];
    const Node* copy = d->root->children[0]->children[1];
    EXPECT_EQ(base->line, 2u);  // a block mapping starts at its first key
    EXPECT_EQ(copy->line, base->line);
    EXPECT_EQ(copy->children[0]->line, 2u);
    EXPECT_NE(copy->children[0], base->children[0]);

    expectShapes({
        {L"- &a 1\n- &a 2\n- *a\n", L"Arr(Num=1<&a> Num=2<&a> Num=2<*a>)"},  // a later anchor replaces
    });
}

TEST(YamlAnchors, UnknownAndRecursiveAliasesStandInAsStrings) {
    struct Case {
        const wchar_t* text;
        const wchar_t* shape;
        const wchar_t* error;
        uint32_t line;
    };
    const std::vector<Case> cases = {
        {L"a: *x\nb: &x 1\nc: *x\n", L"Obj(Str:a=*x Num:b=1<&x> Num:c=1<*x>)", L"Unknown anchor: *x", 1},
        {L"a: &x\n  b: *x\n  c: 1\n", L"Obj(Obj:a<&x>(Str:b=*x Num:c=1))", L"Recursive alias: *x", 2},
        {L"- &s [1, *s]\n- 2\n", L"Arr(Arr<&s>(Num=1 Str=*s) Num=2)", L"Recursive alias: *s", 1},
    };
    for (const Case& c : cases) {
        auto d = yaml(c.text);
        EXPECT_EQ(shape(d->root), c.shape) << qmtest::u8(c.text);
        EXPECT_EQ(d->errorMessage, c.error) << qmtest::u8(c.text);
        EXPECT_EQ(d->errorLine, c.line) << qmtest::u8(c.text);
    }
    uiGerman = true;
    auto unknown = yaml(L"a: *x\n");
    auto recursive = yaml(L"a: &x\n  b: *x\n");
    uiGerman = false;
    EXPECT_EQ(unknown->errorMessage, L"Unbekannter Anker: *x");
    EXPECT_EQ(recursive->errorMessage, L"Rekursiver Verweis: *x");
}

TEST(YamlAnchors, MergeKeys) {
    auto d = yaml(L"base: &b\n  x: 1\n  y: 2\nm:\n  x: own\n  <<: *b\n  z: 3\n");
    EXPECT_EQ(shape(d->root),
              L"Obj(Obj:base<&b>(Num:x=1 Num:y=2) Obj:m(Str:x=own Num:z=3 Num:y=2<<<>))");
    const Node* m = d->root->children[0]->children[1];
    for (size_t i = 0; i < m->children.size(); ++i) EXPECT_EQ(m->children[i]->indexInParent, i);
    EXPECT_EQ(nodeCount(*d), 11u);  // the "<<" entry (a copy of base) stays in the store

    expectShapes({
        // A sequence of sources: earlier sources win over later ones.
        {L"a: &a {p: 1, q: 1}\nb: &b {q: 2, r: 2}\nc:\n  <<: [*a, *b, 5]\n",
         L"Obj(Obj:a<&a>(Num:p=1 Num:q=1) Obj:b<&b>(Num:q=2 Num:r=2) Obj:c(Num:p=1<<<> Num:q=1<<<> Num:r=2<<<>))"},
        {L"a:\n  <<: 1\n  b: 2\n", L"Obj(Obj:a(Num:b=2))"},
    });
    // A stopping error inside the mapping still merges what was read.
    auto broken = yaml(L"a: &a {k: 1}\nb:\n  <<: *a\n  c: 2\n    d: 3\n");
    EXPECT_EQ(broken->errorMessage, L"Unexpected indentation");
    EXPECT_EQ(shape(broken->root), L"Obj(Obj:a<&a>(Num:k=1) Obj:b(Num:c=2 Num:k=1<<<>))");
}

TEST(YamlErrors, MessagesLinesAndTheTreeBuiltSoFar) {
    struct Case {
        const wchar_t* text;
        const wchar_t* english;
        const wchar_t* german;
        uint32_t line;
        const wchar_t* shape;
    };
    const std::vector<Case> cases = {
        {L"a: [1, 2\n", L"Expected ',' or ']'", L"',' oder ']' erwartet", 2, L"Obj(Arr:a(Num=1 Num=2))"},
        {L"a: {b: 1\n\n", L"Expected ',' or '}'", L"',' oder '}' erwartet", 3, L"Obj(Obj:a(Num:b=1))"},
        {L"a: [1 {b}]\n", L"Expected ',' or ']'", L"',' oder ']' erwartet", 1, L"Obj(Arr:a(Num=1))"},
        {L"a: [1,\n", L"Unexpected end of file", L"Unerwartetes Dateiende", 2, L"Obj(Arr:a(Num=1))"},
        {L"a: [\n", L"Unexpected end of file", L"Unerwartetes Dateiende", 2, L"Obj(Arr:a)"},
        {L"a: 1\nb: \"open\n\n", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 4,
         L"Obj(Num:a=1 Str:b=open\n)"},
        {L"a: 1\n   b: 2\n", L"Unexpected indentation", L"Unerwartete Einrückung", 2, L"Obj(Num:a=1)"},
        {L"a: 1\nb\n", L"Expected a key", L"Schlüssel erwartet", 2, L"Obj(Num:a=1)"},
        {L"a: 1\n[b]: 2\n", L"Expected a key", L"Schlüssel erwartet", 2, L"Obj(Num:a=1)"},
        {L"a: 1\n\"b\" x: 2\n", L"Expected ':'", L"':' erwartet", 2, L"Obj(Num:a=1)"},
        {L"a: 1\n- b\n", L"Unexpected content", L"Unerwarteter Inhalt", 2, L"Obj(Num:a=1)"},
        {L"[1]\nb\n", L"Unexpected content", L"Unerwarteter Inhalt", 2, L"Arr(Num=1)"},
    };
    for (const Case& c : cases) {
        for (bool german : {false, true}) {
            uiGerman = german;
            auto d = parse(L"e.yml", c.text);
            uiGerman = false;
            ASSERT_TRUE(d);
            EXPECT_EQ(d->errorMessage, german ? c.german : c.english) << qmtest::u8(c.text);
            EXPECT_EQ(d->errorLine, c.line) << qmtest::u8(c.text);
            EXPECT_EQ(shape(d->root), c.shape) << qmtest::u8(c.text);
        }
    }
    uiGerman = true;
    auto deep = parse(L"e.yml", std::wstring(600, L'[') + std::wstring(600, L']'));
    uiGerman = false;
    EXPECT_EQ(deep->errorMessage, L"Verschachtelung zu tief");
}

TEST(YamlErrors, OnlyTheFirstErrorIsKept) {
    auto d = yaml(L"a: *x\nb: *y\nc: [\n");
    EXPECT_EQ(d->errorMessage, L"Unknown anchor: *x");
    EXPECT_EQ(d->errorLine, 1u);
    EXPECT_EQ(shape(d->root), L"Obj(Str:a=*x Str:b=*y Arr:c)");  // the later stop still stops
}

TEST(YamlSpans, ScalarsRecordWhereTheirTextIs) {
    const std::wstring text = L"a: 'q' \nb: plain text # c\nc: [x, \"y\"]\nd: |\n  lit\ne: two\n  lines\nf: *a\ng:\n";
    auto d = parse(L"s.yaml", text, true);
    ASSERT_TRUE(d);
    const Node* top = d->root->children[0];
    auto spanText = [&](const Node* n) {
        uint32_t s = 0, e = 0;
        if (!nodeSpan(*d, n, s, e)) return std::wstring(L"none");
        return text.substr(s, e - s);
    };
    auto entry = [&](const wchar_t* key) -> const Node* {
        for (const Node* c : top->children)
            if (c->keyed && c->name == key) return c;
        ADD_FAILURE() << "no entry " << qmtest::u8(key);
        return top;
    };
    EXPECT_EQ(spanText(entry(L"a")), L"'q'");
    EXPECT_EQ(spanText(entry(L"b")), L"plain text");
    ASSERT_EQ(entry(L"c")->children.size(), 2u);
    EXPECT_EQ(spanText(entry(L"c")->children[0]), L"x");
    EXPECT_EQ(spanText(entry(L"c")->children[1]), L"\"y\"");
    EXPECT_EQ(spanText(entry(L"c")), L"none");  // collections
    EXPECT_EQ(spanText(entry(L"d")), L"none");  // block scalars
    EXPECT_EQ(spanText(entry(L"e")), L"none");  // multi-line plain scalars
    EXPECT_EQ(spanText(entry(L"f")), L"none");  // aliases (here an unknown one)
    EXPECT_EQ(spanText(entry(L"g")), L"none");  // empty values
}

TEST(YamlStructure, WindowsLineEndingsGiveTheSameTree) {
    const std::wstring lf =
        L"# c\na: 1\nb:\n  - x\n  - \"y\n    z\"\nc: |\n  l1\n\n  l2\nd: >-\n  f1\n  f2\ne: plain\n  more\n"
        L"f: {g: 'h'}\n---\n? k\n: v\n";
    std::wstring crlf;
    for (wchar_t c : lf) crlf += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    auto a = yaml(lf);
    auto b = yaml(crlf);
    EXPECT_EQ(a->errorMessage, L"");
    EXPECT_EQ(b->errorMessage, L"");
    EXPECT_EQ(shape(b->root), shape(a->root));
    EXPECT_EQ(shape(a->root), L"Comment=c Obj(Num:a=1 Arr:b(Str=x Str=y z) Str:c=l1\n\nl2\n Str:d=f1 f2 Str:e=plain more "
                              L"Obj:f(Str:g=h)) Obj(Str:k=v)");
}
