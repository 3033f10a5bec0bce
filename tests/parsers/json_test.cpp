// The lenient JSON and JSON Lines parser: what it accepts, what each node holds, the first error
// with its line, and its depth limit.
#include <gtest/gtest.h>

#include <string>

#include "document/language.h"
#include "parsers/json.h"
#include "tests/support/testing.h"
#include "tests/support/treeprint.h"

using namespace qm;
using qmtest::parse;

namespace {

// Pre-order "Kind:name=value" list of the tree under the root, for compact expectations.
std::wstring shape(const Document& d) { return qmtest::shape(d, d.root, qmtest::kFlatKinds); }

struct Case {
    const wchar_t* text;
    const wchar_t* shape;
    const wchar_t* error;  // L"" for none
    uint32_t errorLine;
};

void expectCases(const wchar_t* fileName, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        auto d = parse(fileName, c.text);
        ASSERT_TRUE(d) << qmtest::u8(c.text);
        EXPECT_EQ(shape(*d), c.shape) << qmtest::u8(c.text);
        EXPECT_EQ(d->errorMessage, c.error) << qmtest::u8(c.text);
        if (*c.error) {
            EXPECT_EQ(d->errorLine, c.errorLine) << qmtest::u8(c.text);
        }
    }
}

std::wstring nested(int depth, const wchar_t* inner) {
    return std::wstring(size_t(depth), L'[') + inner + std::wstring(size_t(depth), L']');
}

}  // namespace

TEST(JsonLenient, AcceptsHandWrittenForms) {
    expectCases(L"a.json", {
        {L"[1,2,]", L"Arr Num=1 Num=2", L"", 0},
        {L"{a:1,}", L"Obj Num:a=1", L"", 0},
        {L"{$x_1: 'single', \"d\": \"double\"}", L"Obj Str:$x_1=single Str:d=double", L"", 0},
        {L"// lead\n[/* in */ 1 // after\n]", L"Arr Num=1", L"", 0},
        {L"/* a\n b */ {\"x\": 1}", L"Obj Num:x=1", L"", 0},
        {L"[true,false,null]", L"Arr Bool=true Bool=false Null=null", L"", 0},
        {L"{}", L"Obj", L"", 0},
        {L"[ ]", L"Arr", L"", 0},
    });
}

TEST(JsonNumbers, KeptExactlyAsWritten) {
    expectCases(L"n.json", {
        {L"[NaN, Infinity, -Infinity, 0x10]", L"Arr Num=NaN Num=Infinity Num=-Infinity Num=0x10", L"", 0},
        {L"[1e+5, +.5, -0.0, 1E22, -abc]", L"Arr Num=1e+5 Num=+.5 Num=-0.0 Num=1E22 Num=-abc", L"", 0},
        {L"[Inf]", L"Arr", L"Unexpected character", 1},
    });
}

TEST(JsonStrings, EscapesAndRawCharacters) {
    expectCases(L"s.json", {
        {L"[\"a\\u0041\\qb\"]", L"Arr Str=aAqb", L"", 0},
        {L"[\"\\b\\f\\n\\r\\t\\/\\\\\\\"\\'\"]", L"Arr Str=\b\f\n\r\t/\\\"'", L"", 0},
        {L"['it''s']", L"Arr Str=it", L"Expected ',' or ']'", 1},
        {L"[\"line\\\ncontinued\"]", L"Arr Str=linecontinued", L"", 0},
        {L"[\"raw\nbreak\"]", L"Arr Str=raw\nbreak", L"", 0},
        {L"[\"\\uD83D\\uDE00\"]", L"Arr Str=\xD83D\xDE00", L"", 0},
        {L"[\"\\u 0x4\"]", L"Arr Str=\x0004", L"", 0},   // read as wcstoul would: space and 0x prefix
        {L"[\"ab\\u12", L"Arr Str=ab12", L"Unterminated string", 1},
        {L"[\"abc\n\n", L"Arr Str=abc\n\n", L"Unterminated string", 3},
        {L"[\"x\\", L"Arr Str=x\\", L"Unterminated string", 1},
    });
}

TEST(JsonErrors, MessageAndLine) {
    expectCases(L"e.json", {
        {L"[,]", L"Arr", L"Unexpected character", 1},
        {L"{-a: 1}", L"Obj", L"Expected property name", 1},
        {L"{\"a\" 1}", L"Obj", L"Expected ':'", 1},
        {L"{\"a\":1\n\"b\":2}", L"Obj Num:a=1", L"Expected ',' or '}'", 2},
        {L"[1\n,\n2\n3]", L"Arr Num=1 Num=2", L"Expected ',' or ']'", 4},
        {L"[1,", L"Arr Num=1", L"Unexpected end of file", 1},
        {L"[1", L"Arr Num=1", L"Expected ',' or ']'", 1},
        {L"[trueish]", L"Arr Bool=true", L"Expected ',' or ']'", 1},
        {L"[1] [2]", L"Arr Num=1", L"Unexpected data after the JSON value", 1},
        {L"{\"a\":1}\n\n x", L"Obj Num:a=1", L"Unexpected data after the JSON value", 3},
        {L"[1] // trailing comment\n/* and block */", L"Arr Num=1", L"", 0},
    });
}

// A \u escape never takes the string's closing quote: with fewer than four characters before it,
// the u is dropped and the rest is read as usual, as at the end of the text. Before, the escape
// took the quote and the copy ran on to the next quote, past its buffer in the store.
TEST(JsonStrings, HexEscapeStopsAtTheClosingQuote) {
    const std::wstring longRun(40, L'A');
    expectCases(L"u.json", {
        {L"[\"\\u\"]", L"Arr Str", L"", 0},
        {L"[\"\\u4\"]", L"Arr Str=4", L"", 0},
        {L"[\"\\u41\"]", L"Arr Str=41", L"", 0},
        {L"[\"\\u414\"]", L"Arr Str=414", L"", 0},
        {L"[\"\\u4142\"]", L"Arr Str=\x4142", L"", 0},
        {L"[\"a\\u\", \"b\"]", L"Arr Str=a Str=b", L"", 0},
        {L"['\\u']", L"Arr Str", L"", 0},
        {L"['x\\u41']", L"Arr Str=x41", L"", 0},
        {L"{\"\\u\": 1, 'k\\u4': 2, \"\\u0041\": 3}", L"Obj Num:=1 Num:k4=2 Num:A=3", L"", 0},
        // The other kind of quote is an ordinary character of the four.
        {L"[\"\\u1'23\"]", L"Arr Str=\x0001", L"", 0},
        {L"['\\u1\"23']", L"Arr Str=\x0001", L"", 0},
        // The quote among the four is escaped itself: the u goes, the escape after it stays.
        {L"[\"\\u\\\"ab\"]", L"Arr Str=\"ab", L"", 0},
        {L"[\"\\\\u\"]", L"Arr Str=\\u", L"", 0},
        // What followed the swallowed quote is now data after the string.
        {(L"[\"\\u\"" + longRun + L"\"]").c_str(), L"Arr Str", L"Expected ',' or ']'", 1},
        {(L"{\"\\u\"" + longRun + L"\": 1}").c_str(), L"Obj", L"Expected ':'", 1},
        {(L"['\\u'" + longRun + L"']").c_str(), L"Arr Str", L"Expected ',' or ']'", 1},
        // At the end of the text.
        {L"[\"\\u", L"Arr Str", L"Unterminated string", 1},
        {L"[\"\\u\"", L"Arr Str", L"Expected ',' or ']'", 1},
        {L"['\\", L"Arr Str=\\", L"Unterminated string", 1},
        {L"[\"a\\n\\", L"Arr Str=a\n\\", L"Unterminated string", 1},
    });
}

TEST(JsonStrings, EscapeWithoutHexDigitsGivesCodeZero) {
    auto d = parse(L"z.json", L"[\"\\uzz12\"]");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->root->children[0]->children[0]->value, std::wstring(1, L'\0'));
}

TEST(JsonErrors, UnclosedCommentBeforeTheValue) {
    // Directly at the parser: the comment swallows the rest, so the value is missing.
    Document d;
    d.root = createNode(d, NodeKind::Root, nullptr, 0);
    d.parsedText = L"/* never closed [1]\n";
    parseJson(d, d.parsedText, 0);
    EXPECT_EQ(d.errorMessage, L"Unexpected end of file");
    EXPECT_EQ(d.errorLine, 2u);
    // Through the driver there is nothing to show, so the file is declined; a file of comments
    // that all end opens with nothing in it, as a YAML or XML file of only comments does.
    EXPECT_FALSE(parse(L"c.json", L"/* never closed [1]"));
    EXPECT_FALSE(parse(L"c.json", L"// a comment\n/* never closed"));
    EXPECT_TRUE(parse(L"c.json", L"// only a comment\n"));
}

TEST(JsonErrors, GermanMessages) {
    qmtest::LanguageGuard german(true);
    expectCases(L"g.json", {
        {L"[,]", L"Arr", L"Unerwartetes Zeichen", 1},
        {L"{\"a\" 1}", L"Obj", L"':' erwartet", 1},
        {L"[1] 2", L"Arr Num=1", L"Weitere Daten nach dem JSON-Wert", 1},
        {L"[\"a", L"Arr Str=a", L"Zeichenkette nicht abgeschlossen", 1},
    });
}

TEST(JsonLines, MemberLineIsTheLineOfItsValue) {
    auto d = parse(L"l.json", L"{\n\"key\":\n  \"v\",\n\"n\": 1}");
    ASSERT_TRUE(d);
    const Node* obj = d->root->children[0];
    EXPECT_EQ(obj->line, 1u);
    EXPECT_EQ(obj->children[0]->line, 3u);
    EXPECT_EQ(obj->children[1]->line, 4u);
}

TEST(JsonDepth, LimitIsAThousandContainers) {
    // 1001 nested arrays: the innermost array lies at depth 1000 and parses.
    auto ok = parse(L"d.json", nested(1001, L""));
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->errorMessage, L"");
    EXPECT_EQ(nodeCount(*ok), 1001u);
    // A scalar inside them lies at depth 1001.
    auto deep = parse(L"d.json", nested(1001, L"1"));
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->errorMessage, L"Nesting too deep");
    EXPECT_EQ(nodeCount(*deep), 1001u);
}

TEST(JsonDepth, ParsesAtTheLimitOnASmallStack) {
    std::wstring text = nested(1001, L"1");
    std::wstring message;
    size_t count = 0;
    qmtest::runWithStack(256 * 1024, [&] {
        auto d = parse(L"d.json", text);
        message = d->errorMessage;
        count = nodeCount(*d);
    });
    EXPECT_EQ(message, L"Nesting too deep");
    EXPECT_EQ(count, 1001u);
}

TEST(JsonLinesFormat, ItemsErrorsAndSkippedLines) {
    auto d = parse(L"log.jsonl", L"{\"a\":1}\n[2] word\n\n// note\n/* block */\n3\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->format, DocumentFormat::JsonLines);
    EXPECT_EQ(shape(*d), L"Arr Obj Num:a=1 Arr Num=2 Num=3");
    EXPECT_EQ(d->errorMessage, L"Unexpected data in the line");
    EXPECT_EQ(d->errorLine, 2u);
    EXPECT_EQ(d->root->children[0]->line, 1u);
    EXPECT_EQ(d->root->children[0]->children[2]->line, 6u);
}

TEST(JsonLinesFormat, KeepsParsingAfterAnError) {
    auto d = parse(L"x.ndjson", L"{\"a\" 1}\n{\"b\":[1,}\n{\"c\":3}\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"Expected ':'");
    EXPECT_EQ(d->errorLine, 1u);
    EXPECT_EQ(shape(*d), L"Arr Obj Obj Arr:b Num=1 Obj Num:c=3");
}

TEST(JsonLinesFormat, RecordsEndingInCrLf) {
    auto d = parse(L"x.jsonl", L"{\"a\":1}\r\n{\"b\":2}\r\n");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"");
    EXPECT_EQ(shape(*d), L"Arr Obj Num:a=1 Obj Num:b=2");
    EXPECT_EQ(d->root->children[0]->children[1]->line, 2u);
}

// Each record as name (* when keyed), value and its members' keys and values.
static std::vector<std::wstring> records(const Document& d) {
    std::vector<std::wstring> out;
    for (const Node* record : d.root->children[0]->children) {
        std::wstring line = record->name.str() + (record->keyed ? L"*" : L"") + L"=" + record->value + L"{";
        for (const Node* member : record->children) line += L" " + member->name + L"=" + member->value;
        out.push_back(line + L" }");
    }
    return out;
}

// A member whose value fails leaves no key behind for the next line's record.
TEST(JsonLinesFormat, BrokenMemberKeyStaysOnItsLine) {
    struct LinesCase {
        const wchar_t* text;
        std::vector<std::wstring> records;
    };
    const LinesCase cases[] = {
        {L"{\"id\": 1}\n{\"id\": 2, \"broken\": }\n{\"id\": 3}",
         {L"={ id=1 }", L"={ id=2 }", L"={ id=3 }"}},
        {L"{\"broken\": }\n[1, 2]", {L"={ }", L"={ =1 =2 }"}},
        {L"{\"a\": {\"broken\": ,}}\n{\"b\": 'x'}", {L"={ a= }", L"={ b=x }"}},
        {L"{\"broken\": \n}\n\"text\"", {L"={ }", L"=text{ }"}},
        {L"{\"broken\": tru}\n{}", {L"={ }", L"={ }"}},
        {L"{\"k\" 1}\n{\"id\": 4}", {L"={ }", L"={ id=4 }"}},
    };
    for (const LinesCase& c : cases) {
        auto d = parse(L"r.jsonl", c.text);
        ASSERT_TRUE(d) << qmtest::u8(c.text);
        EXPECT_NE(d->errorMessage, L"") << qmtest::u8(c.text);
        std::vector<std::wstring> got = records(*d);
        EXPECT_EQ(got, c.records) << qmtest::u8(c.text);
    }
}

TEST(JsonLinesFormat, ValueMaySpanLines) {
    auto d = parse(L"x.jsonl", L"{\"a\":\n 1}\n{\"b\":2}");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"");
    EXPECT_EQ(shape(*d), L"Arr Obj Num:a=1 Obj Num:b=2");
    EXPECT_EQ(d->root->children[0]->children[1]->line, 3u);
}

TEST(JsonSpans, ScalarsGetTheirTokenContainersNone) {
    const std::wstring text = L"{\"k\": 'v', \"n\": -1.5e3, \"t\": true, \"z\": null, \"a\": [false]}";
    auto d = parse(L"s.json", text, true);
    ASSERT_TRUE(d);
    const char* expected[] = {"'v'", "-1.5e3", "true", "null", "false"};
    std::vector<const Node*> scalars;
    for (size_t i = 1; i < d->nodes.size(); ++i) {
        const Node& n = d->nodes[i];
        uint32_t a, b;
        bool has = nodeSpan(*d, &n, a, b);
        if (n.kind == NodeKind::Object || n.kind == NodeKind::Array) {
            EXPECT_FALSE(has);
            continue;
        }
        ASSERT_TRUE(has);
        scalars.push_back(&n);
        EXPECT_EQ(qmtest::u8(text.substr(a, b - a)), expected[scalars.size() - 1]);
    }
    EXPECT_EQ(scalars.size(), 5u);
}

TEST(JsonSpans, NotRecordedUnlessAsked) {
    auto d = parse(L"s.json", L"[1, \"x\"]");
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->spans.empty());
}

TEST(JsonCorpus, AcceptedFilesLoadCleanlyOthersDoNotCrash) {
    QM_SKIP_WITHOUT_CORPUS();
    size_t accepted = 0, others = 0;
    for (const std::string& path : qmtest::listFiles(qmtest::corpusDir() + "/json/test_parsing", ".json")) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(qmtest::readBytes(path, bytes)) << path;
        std::wstring text = qmtest::decodeForTest(bytes);
        auto d = parse(qmtest::platformPath(path), text);
        std::string name = path.substr(path.rfind('/') + 1);
        if (name[0] == 'y') {
            ++accepted;
            // A bare scalar at the top is not a JSON document we take (it starts with no "[" or "{").
            bool scalarTop = false;
            for (wchar_t c : text)
                if (!iswspace(c) && c != 0xFEFF) {
                    scalarTop = c != L'[' && c != L'{';
                    break;
                }
            if (scalarTop) {
                EXPECT_FALSE(d) << name;
                continue;
            }
            ASSERT_TRUE(d) << name;
            EXPECT_EQ(d->errorMessage, L"") << name;
        } else {
            ++others;
            if (d) {
                EXPECT_NE(d->root, nullptr) << name;
            }
        }
    }
    EXPECT_EQ(accepted, 95u);
    EXPECT_EQ(others, 223u);
}
