// The TOML parser: tables and where comments go, every string form, numbers and dates as
// written, each error with its line in both languages, spans, and the nesting limit on a small
// stack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/language.h"
#include "parsers/toml.h"
#include "tests/parsers/lineends.h"
#include "tests/support/testing.h"
#include "tests/support/treeprint.h"

using namespace qm;
using qmtest::parse;

namespace {

// "Kind:key=value<tag>(children)" of the top-level table's children; keys only on keyed nodes.
std::wstring shape(const Document& d) {
    if (d.root->children.size() != 1) return L"<" + std::to_wstring(d.root->children.size()) + L" top tables>";
    return qmtest::shape(d, d.root->children[0], qmtest::kNestedKinds);
}

struct Case {
    const wchar_t* text;
    const wchar_t* shape;
    const wchar_t* error;  // L"" for none
    uint32_t errorLine;
};

void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        auto d = parse(L"t.toml", c.text);
        ASSERT_TRUE(d) << qmtest::u8(c.text);
        EXPECT_EQ(shape(*d), c.shape) << qmtest::u8(c.text);
        EXPECT_EQ(d->errorMessage, c.error) << qmtest::u8(c.text);
        if (*c.error) {
            EXPECT_EQ(d->errorLine, c.errorLine) << qmtest::u8(c.text);
        }
    }
}

const Node* topTable(const Document& d) { return d.root->children.at(0); }

}  // namespace

namespace {

const std::vector<Case>& tableCases() {
    static const std::vector<Case> cases = {
        {L"a.b.c = 1", L"Obj:a(Obj:b(Num:c=1))", L"", 0},
        {L"a.b = 1\na.c = 2", L"Obj:a(Num:b=1 Num:c=2)", L"", 0},
        {L"[a.b]\nx = 1\n[a]\ny = 2", L"Obj:a(Obj:b(Num:x=1) Num:y=2)", L"", 0},
        {L"[a]\nx = 1\n[b]\n[a]\ny = 2", L"Obj:a(Num:x=1 Num:y=2) Obj:b", L"", 0},
        {L"x = 1\nx = 2", L"Num:x=1 Num:x=2", L"", 0},
        {L"[[fruit]]\nname = 'a'\n[[fruit]]\nname = 'b'\n[fruit.variety]\nv = 1",
         L"Arr:fruit(Obj(Str:name=a) Obj(Str:name=b Obj:variety(Num:v=1)))", L"", 0},
        {L"[[a.b]]\n[[a.b]]\nx = 1", L"Obj:a(Arr:b(Obj Obj(Num:x=1)))", L"", 0},
        // A name taken by a value: the header opens a new table beside it.
        {L"a = 1\n[a]\nb = 2", L"Num:a=1 Obj:a(Num:b=2)", L"", 0},
        // [[x]] finds the last array of that name, also past a later value of the same name.
        {L"[[x]]\n[y]\n[[x]]", L"Arr:x(Obj Obj) Obj:y", L"", 0},
        {L"x = [1]\nx = 2\n[[x]]", L"Arr:x(Num=1 Obj) Num:x=2", L"", 0},
        {L"[ a . \"b c\" . 'd' ]\n[[ e ]]", L"Obj:a(Obj:b c(Obj:d)) Arr:e(Obj)", L"", 0},
        {L"\"\" = 1\n'' = 2\n-_9 = 3\n\u00e9t\u00e9 = 4", L"Num:=1 Num:=2 Num:-_9=3 Num:\u00e9t\u00e9=4", L"", 0},
        {L"t = {a = 1, b.c = {}, d = [{}, {e = 'f'},],}", L"Obj:t(Num:a=1 Obj:b(Obj:c) Arr:d(Obj Obj(Str:e=f)))", L"", 0},
        {L"x = [\n  1,\n  [2, 'y'],\n]", L"Arr:x(Num=1 Arr(Num=2 Str=y))", L"", 0},
        {L"x = []\ny = [ ]\nz = {}", L"Arr:x Arr:y Obj:z", L"", 0},
        // Comments are children too: a table may outgrow scanning by a comment.
        {L"t = {}\nk = 1 # a\n# b\n# c\nm = 2\n[t]\nz = 1", L"Obj:t(Num:z=1) Num:k=1 Comment=a Comment=b Comment=c Num:m=2", L"", 0},
    };
    return cases;
}

}  // namespace

TEST(TomlTables, HeadersDottedKeysAndArraysOfTables) { expectCases(tableCases()); }

// Headers and dotted keys find their table by scanning a small table and through an index in a
// big one; the index is built when a table outgrows scanning. Both must find the same nodes, also
// when the table grows past the limit in the middle of a case.
TEST(TomlTables, SmallAndBigTablesFindTheSameTables) {
    for (int fillers : {20, 28, 29, 30, 31, 32, 33, 40}) {
        std::wstring prefix, prefixShape;
        for (int i = 0; i < fillers; ++i) {
            prefix += L"f" + std::to_wstring(i) + L" = " + std::to_wstring(i) + L"\n";
            prefixShape += L"Num:f" + std::to_wstring(i) + L"=" + std::to_wstring(i) + L" ";
        }
        for (const Case& c : tableCases()) {
            auto d = parse(L"t.toml", prefix + c.text);
            ASSERT_TRUE(d);
            EXPECT_EQ(shape(*d), prefixShape + c.shape) << fillers << " fillers: " << qmtest::u8(c.text);
        }
    }
}

// Headers that name an array after the name was given to a plain value find the array without
// scanning the table: the work grows in step with the file (4 times for 4 times the headers,
// where a scan per header would make it 16 times), and the tree is the one a scan finds.
TEST(TomlTables, RepeatedHeadersAfterAPlainValueStayLinear) {
    struct GrowthCase {
        const wchar_t* head;    // before n filler keys
        const wchar_t* header;  // after "x = 2", repeated n times
        size_t items, itemsPerHeader;  // children of the first node x once the headers are read
    };
    const std::vector<GrowthCase> cases = {
        {L"x = [1]\n", L"[[x]]\n", 1, 1},  // the array gets a table per header after its 1
        {L"x = {}\n", L"[[x]]\n", 0, 0},   // a table, not an array: the headers fill a new array
        {L"x = [1]\n", L"[x]\nx.y = 1\n", 1, 0},
    };
    for (const GrowthCase& c : cases) {
        auto work = [&](size_t n, size_t& firstItems) {
            std::wstring text = c.head;
            for (size_t i = 0; i < n; ++i) text += L"k" + std::to_wstring(i) + L" = " + std::to_wstring(i) + L"\n";
            text += L"x = 2\n";
            for (size_t i = 0; i < n; ++i) text += c.header;
            Document d;
            d.root = createNode(d, NodeKind::Root, nullptr, 0);
            size_t steps = 0;
            parseToml(d, text, 0, &steps);
            EXPECT_EQ(d.errorMessage, L"") << qmtest::u8(c.header);
            firstItems = topTable(d)->children.at(0)->children.size();
            return steps;
        };
        constexpr size_t n = 1500;
        size_t smallItems = 0, largeItems = 0;
        const size_t small = work(n, smallItems), large = work(4 * n, largeItems);
        EXPECT_LT(large, 5 * small) << qmtest::u8(c.header) << ": " << small << " steps for n, " << large << " for 4n";
        EXPECT_EQ(smallItems, c.items + c.itemsPerHeader * n) << qmtest::u8(c.header);
        EXPECT_EQ(largeItems, c.items + c.itemsPerHeader * 4 * n) << qmtest::u8(c.header);
    }
}

TEST(TomlComments, GoToTheTableTheNextLineBelongsTo) {
    expectCases({
        {L"# one\n  # two  \n", L"Comment=one Comment=two", L"", 0},
        {L"# head\n[server]\nport = 80 # web\n# tail", L"Obj:server(Comment=head Num:port=80 Comment=web Comment=tail)", L"", 0},
        {L"a = 1\n# above b\n[b] # on b\n", L"Num:a=1 Obj:b(Comment=above b Comment=on b)", L"", 0},
        // Comments inside an array wait for the next line; the one after the value comes first.
        {L"x = [ # in\n 1 ] # after\ny = 2", L"Arr:x(Num=1) Comment=after Comment=in Num:y=2", L"", 0},
        {L"s = \"a # b\" #c\r\n", L"Str:s=a # b Comment=c", L"", 0},
        {L"#\n", L"Comment", L"", 0},
    });
}

TEST(TomlStrings, EscapesAndForms) {
    expectCases({
        {L"s = \"\\b\\t\\n\\f\\r\\e\\\"\\\\\"", L"Str:s=\b\t\n\f\r\x1b\"\\", L"", 0},
        {L"s = \"\\u00e9\\U000000e9\"", L"Str:s=\u00e9\u00e9", L"", 0},
        // Above U+FFFF: a surrogate pair.
        {L"s = \"\\U0001F600\"", L"Str:s=\xD83D\xDE00", L"", 0},
        // Zero and values above U+10FFFF are dropped; missing digits end the escape early.
        {L"s = \"a\\u0000b\\U00110000c\"", L"Str:s=abc", L"", 0},
        {L"s = \"\\u41x\\uz\"", L"Str:s=Axz", L"", 0},
        {L"s = \"\\q\\ \"", L"Str:s=q ", L"", 0},
        {L"s = 'C:\\path\\u0041'", L"Str:s=C:\\path\\u0041", L"", 0},
        {L"s = \"\"", L"Str:s", L"", 0},
        {L"s = ''", L"Str:s", L"", 0},
        {L"s = \"\"\"\nline1\r\nline2\"\"\"", L"Str:s=line1\nline2", L"", 0},
        {L"s = \"\"\"\r\nA \\\n    \n   B\"\"\"", L"Str:s=A B", L"", 0},
        {L"s = \"\"\"x \\  \r\n  y\\\"\"\"\"", L"Str:s=x y\"", L"", 0},
        {L"s = \"\"\"a\"\"\"\"", L"Str:s=a\"", L"", 0},
        {L"s = \"\"\"a\"\"\"\"\"", L"Str:s=a\"\"", L"", 0},
        {L"s = \"\"\"\"a\"\"b\"\"\"", L"Str:s=\"a\"\"b", L"", 0},
        {L"s = '''\n\\n 'x' ''''", L"Str:s=\\n 'x' '", L"", 0},
        {L"s = '''\na\r\n'''", L"Str:s=a\n", L"", 0},
    });
}

TEST(TomlScalars, NumbersBooleansAndDatesAsWritten) {
    expectCases({
        {L"a = 1_000\nb = +inf\nc = -nan\nd = 0xDEAD_BEEF\ne = 0o17\nf = 0b101\ng = 6.02e23\nh = -1.5E-2",
         L"Num:a=1_000 Num:b=+inf Num:c=-nan Num:d=0xDEAD_BEEF Num:e=0o17 Num:f=0b101 Num:g=6.02e23 Num:h=-1.5E-2",
         L"", 0},
        {L"t = true\nf = false", L"Bool:t=true Bool:f=false", L"", 0},
        {L"a = 1979-05-27 07:32:00Z\nb = 1979-05-27T07:32:00.5-07:00\nc = 1979-05-27\nd = 07:32:00\ne = 12:30",
         L"Str:a=1979-05-27 07:32:00Z<datetime> Str:b=1979-05-27T07:32:00.5-07:00<datetime> "
         L"Str:c=1979-05-27<datetime> Str:d=07:32:00<datetime> Str:e=12:30<datetime>",
         L"", 0},
        {L"x = [1979-05-27 07:32:00,1]", L"Arr:x(Str=1979-05-27 07:32:00<datetime> Num=1)", L"", 0},
        // A date followed by a space and a non-digit stays a date; the rest is not part of it.
        {L"x = 1979-05-27 # c", L"Str:x=1979-05-27<datetime> Comment=c", L"", 0},
        {L"x = {a=1}", L"Obj:x(Num:a=1)", L"", 0},
    });
    // Forms that are not numbers.
    for (const wchar_t* token : {L".5", L"5.", L"0x", L"0xG1", L"+0x1", L"1e", L"1.2.3", L"True", L"1979-5-27", L"inf1"}) {
        auto d = parse(L"t.toml", std::wstring(L"\n\nx = ") + token);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->errorMessage, std::wstring(L"Invalid value: ") + token);
        EXPECT_EQ(d->errorLine, 3u);
        EXPECT_EQ(shape(*d), L"") << qmtest::u8(token);
    }
}

TEST(TomlErrors, MessageAndLineInBothLanguages) {
    struct ErrorCase {
        const wchar_t* text;
        const wchar_t* english;
        const wchar_t* german;
        uint32_t line;
        const wchar_t* shape;  // what was built before the error
    };
    const std::vector<ErrorCase> cases = {
        {L"a = 1 2", L"Expected end of line", L"Zeilenende erwartet", 1, L"Num:a=1"},
        {L"a = 1 \x0b\r\nb = 2", L"Expected end of line", L"Zeilenende erwartet", 1, L"Num:a=1"},
        {L"[a] x", L"Expected end of line", L"Zeilenende erwartet", 1, L"Obj:a"},
        {L"a = 1\n= 2", L"Expected a key", L"Schl\u00fcssel erwartet", 2, L"Num:a=1"},
        {L"a. = 2", L"Expected a key", L"Schl\u00fcssel erwartet", 1, L""},
        {L"[[a]\n", L"Expected ']]'", L"']]' erwartet", 1, L""},
        {L"\n[a\nb = 1", L"Expected ']'", L"']' erwartet", 2, L""},
        {L"a\n= 1", L"Expected '='", L"'=' erwartet", 1, L""},
        {L"a =\nb = 1", L"Expected a value", L"Wert erwartet", 1, L""},
        {L"a = ", L"Expected a value", L"Wert erwartet", 1, L""},
        {L"a = {b =\r\n}", L"Expected a value", L"Wert erwartet", 1, L"Obj:a"},
        {L"x = yes", L"Invalid value: yes", L"Ung\u00fcltiger Wert: yes", 1, L""},
        {L"x = [1 2]", L"Expected ',' or ']'", L"',' oder ']' erwartet", 1, L"Arr:x(Num=1)"},
        {L"x = [1,\n\n2}", L"Expected ',' or ']'", L"',' oder ']' erwartet", 3, L"Arr:x(Num=1 Num=2)"},
        {L"x = {a = 1 b = 2}", L"Expected ',' or '}'", L"',' oder '}' erwartet", 1, L"Obj:x(Num:a=1)"},
        {L"x = [1,\n", L"Unexpected end of file", L"Unerwartetes Dateiende", 2, L"Arr:x(Num=1)"},
        {L"x = [", L"Unexpected end of file", L"Unerwartetes Dateiende", 1, L"Arr:x"},
        {L"x = {a = 1,", L"Unexpected end of file", L"Unerwartetes Dateiende", 1, L"Obj:x(Num:a=1)"},
        {L"a.", L"Unexpected end of file", L"Unerwartetes Dateiende", 1, L""},
        {L"[", L"Unexpected end of file", L"Unerwartetes Dateiende", 1, L""},
        {L"ok = 1\nx = \"abc\ny = 2", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 2, L"Num:ok=1"},
        {L"x = \"abc\\", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 1, L""},
        {L"x = \"a\\\nb\"", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 1, L""},
        {L"x = 'abc\n'", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 1, L""},
        {L"x = \"\"\"abc\n\n\"\"", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 3, L""},
        {L"x = '''abc\n''", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 2, L""},
        {L"'a = 1", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 1, L""},
        {L"[\"a]\n", L"Unterminated string", L"Zeichenkette nicht abgeschlossen", 1, L""},
    };
    qmtest::expectFirstErrors(
        cases, [](const wchar_t* text) { return parse(L"t.toml", text); },
        [](const Document& d) { return shape(d); });
}

// A bad token is quoted in the message up to 40 characters and then cut with "…", so a file
// holding a token of millions of characters does not make a status text of that size.
TEST(TomlErrors, LongTokensAreCutInTheMessage) {
    const std::wstring a40(40, L'a');
    const std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};
    struct TokenCase {
        std::wstring token;
        std::wstring quoted;
    };
    const std::vector<TokenCase> cases = {
        {a40, a40},
        {a40 + L"b", a40 + L"\u2026"},
        {std::wstring(10 * 1000 * 1000, L'a'), a40 + L"\u2026"},
        {a40.substr(1) + pair, a40.substr(1) + L"\u2026"},  // a surrogate pair is not split
        {a40.substr(2) + pair, a40.substr(2) + pair},
        {a40.substr(2) + pair + L"b", a40.substr(2) + pair + L"\u2026"},
    };
    for (bool german : {false, true}) {
        qmtest::LanguageGuard language(german);
        for (const TokenCase& c : cases) {
            auto d = parse(L"t.toml", L"ok = 1\nx = " + c.token + L"\n");
            ASSERT_TRUE(d);
            EXPECT_EQ(d->errorMessage, (german ? L"Ung\u00fcltiger Wert: " : L"Invalid value: ") + c.quoted)
                << c.token.size();
            EXPECT_EQ(d->errorLine, 2u);
        }
    }
}

// A carriage return without a line feed after it ends a line (files from classic Mac tools): each
// text parses with lone carriage returns, and with them mixed with CR LF, as it does with line
// feeds: the same tree, the same lines of nodes and the same error on the same line.
TEST(TomlLines, LoneCarriageReturnsEndLines) {
    const std::vector<Case> cases = {
        {L"a = 1\nb = 2\n", L"Num:a=1 Num:b=2", L"", 0},
        {L"a = 1\n\nb = 2", L"Num:a=1 Num:b=2", L"", 0},
        {L"# c\n[t]\nx = [\n  1, # in\n  2,\n]\ny = 's' # after\n",
         L"Obj:t(Comment=c Arr:x(Num=1 Num=2) Comment=in Str:y=s Comment=after)", L"", 0},
        {L"s = \"\"\"\nl1\n\nl2\"\"\"\nt = '''\nm1\nm2'''\n", L"Str:s=l1\n\nl2 Str:t=m1\nm2", L"", 0},
        {L"s = \"\"\"a \\  \n   b\"\"\"\n[[u]]\n", L"Str:s=a b Arr:u(Obj)", L"", 0},
        {L"a = 1\nb = 2\nc =\n", L"Num:a=1 Num:b=2", L"Expected a value", 3},
        {L"a = 1\nb = \"x\nc = 1", L"Num:a=1", L"Unterminated string", 2},
        {L"a = 1\nb = 'x\nc = 1", L"Num:a=1", L"Unterminated string", 2},
        {L"a = 1\n\nx = bad\n", L"Num:a=1", L"Invalid value: bad", 3},
        {L"a = [\n1,\n2\n3]", L"Arr:a(Num=1 Num=2)", L"Expected ',' or ']'", 4},
    };
    expectCases(cases);
    for (const Case& c : cases) {
        const std::wstring lf = c.text;
        auto expected = parse(L"t.toml", lf);
        for (const std::wstring& text : qmtest::withOtherLineEnds(lf)) {
            auto d = parse(L"t.toml", text);
            ASSERT_TRUE(d);
            EXPECT_EQ(shape(*d), c.shape) << qmtest::u8(text);
            EXPECT_EQ(d->errorMessage, c.error) << qmtest::u8(text);
            EXPECT_EQ(d->errorLine, expected->errorLine) << qmtest::u8(text);
            EXPECT_EQ(qmtest::nodeLines(*d), qmtest::nodeLines(*expected)) << qmtest::u8(text);
        }
    }
    // A carriage return before another one is a line end of its own.
    expectCases({{L"a = 1\r\r\nb = 2\r\nc = x", L"Num:a=1 Num:b=2", L"Invalid value: x", 4}});
}

TEST(TomlLines, NodesCarryTheLineTheyStartOn) {
    auto d = parse(L"t.toml", L"\uFEFF# c\r\n[t]\r\nx = [\r\n  1,\r\n  \"\"\"a\r\nb\"\"\",\r\n  3 ]\r\ny.z = 4\r\n[[u]]");
    ASSERT_TRUE(d);
    ASSERT_EQ(d->errorMessage, L"");
    const Node* t = topTable(*d)->children.at(0);
    ASSERT_EQ(t->children.size(), 3u);
    EXPECT_EQ(t->line, 2u);
    EXPECT_EQ(t->children[0]->line, 1u);  // the comment keeps its own line
    const Node* x = t->children[1];
    EXPECT_EQ(x->line, 3u);
    ASSERT_EQ(x->children.size(), 3u);
    EXPECT_EQ(x->children[0]->line, 4u);
    EXPECT_EQ(x->children[1]->line, 5u);
    EXPECT_EQ(x->children[2]->line, 7u);
    EXPECT_EQ(t->children[2]->line, 8u);                 // y
    EXPECT_EQ(t->children[2]->children.at(0)->line, 8u);  // z
    const Node* u = topTable(*d)->children.at(1);
    EXPECT_EQ(u->line, 9u);
    EXPECT_EQ(u->children.at(0)->line, 9u);
}

TEST(TomlSpans, ScalarsTheEditorMayReplace) {
    // A leading U+FEFF counts: spans are offsets into the text given to the parser.
    const std::wstring text = L"\uFEFFa = \"q\\\"\"\nb = 'x'\nc = 1_0 # n\nd = \"\"\"m\"\"\"\ne = [true, 1979-05-27 07:32:00]\n"
                              L"f = {g = 12:00}";
    auto d = parse(L"t.toml", text, true);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->errorMessage, L"");
    std::vector<std::wstring> spanned;
    size_t unspanned = 0;
    for (size_t i = 1; i < d->nodes.size(); ++i) {
        uint32_t a, b;
        if (nodeSpan(*d, &d->nodes[i], a, b))
            spanned.push_back(text.substr(a, b - a));
        else
            ++unspanned;
    }
    EXPECT_EQ(spanned, (std::vector<std::wstring>{L"\"q\\\"\"", L"'x'", L"1_0", L"true", L"1979-05-27 07:32:00",
                                                  L"12:00"}));
    // The top table, the comment, the multi-line string, the array and the inline table.
    EXPECT_EQ(unspanned, 5u);
}

TEST(TomlDepth, LimitHoldsOnASmallStack) {
    auto nestedArrays = [](int levels, const wchar_t* inner) {
        return L"x = " + std::wstring(size_t(levels), L'[') + inner + std::wstring(size_t(levels), L']');
    };
    auto nestedTables = [](int levels, const wchar_t* inner) {
        std::wstring s = L"x = ";
        for (int i = 0; i < levels; ++i) s += L"{a = ";
        s += inner;
        for (int i = 0; i < levels; ++i) s += L"}";
        return s;
    };
    // x itself is level 1: its items are one level deeper.
    struct DepthCase {
        std::wstring text;
        const wchar_t* error;
        size_t nodes;  // when clean: top table, the containers and the innermost value
    };
    const std::vector<DepthCase> cases = {
        {nestedArrays(kMaxTomlDepth, L"1"), L"", size_t(kMaxTomlDepth) + 2},
        {nestedArrays(kMaxTomlDepth + 1, L""), L"", size_t(kMaxTomlDepth) + 2},
        {nestedArrays(kMaxTomlDepth + 1, L"1"), L"Nesting too deep", 0},
        {nestedArrays(100000, L""), L"Nesting too deep", 0},
        {nestedTables(kMaxTomlDepth, L"1"), L"", size_t(kMaxTomlDepth) + 2},
        {nestedTables(kMaxTomlDepth + 1, L"1"), L"Nesting too deep", 0},
        {nestedTables(100000, L"1"), L"Nesting too deep", 0},
    };
    for (const DepthCase& c : cases) {
        qmtest::runWithStack(256 * 1024, [&] {
            auto d = parse(L"t.toml", c.text);
            ASSERT_TRUE(d);
            EXPECT_EQ(d->errorMessage, c.error) << c.text.size();
            if (!*c.error) {
                EXPECT_EQ(nodeCount(*d), c.nodes) << c.text.size();
            }
        });
    }
}
