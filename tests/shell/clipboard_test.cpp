// The texts of the copy commands: which text each command takes from which kind of node.
#include <gtest/gtest.h>

#include <initializer_list>

#include "shell/clipboard.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::u8;

namespace {

// The node reached from the root through the child indexes.
const Node* nodeAt(const Document& doc, std::initializer_list<size_t> path) {
    const Node* node = doc.root;
    for (size_t i : path) node = node->children[i];
    return node;
}

struct CopyCase {
    const char* what;
    const wchar_t* file;
    const wchar_t* text;
    std::initializer_list<size_t> path;
    int command;
    const wchar_t* expected;
};

}  // namespace

TEST(CopyCommands, TextByCommandAndNodeKind) {
    const wchar_t* xml = L"<r><a>x</a><b k=\"1\"><c>y</c></b></r>\n";
    const wchar_t* json = L"{\"o\": {\"k\": 1}, \"s\": \"v\", \"n\": null, \"l\": [1, 2]}\n";
    const wchar_t* yaml = L"top:\n  inner: 1\n";
    const CopyCase cases[] = {
        {"value of a simple element is its text", L"f.xml", xml, {0, 0}, kCmdCopyValue, L"x"},
        {"value of an element with children is its subtree", L"f.xml", xml, {0, 1}, kCmdCopyValue,
         L"<b k=\"1\">\r\n  <c>y</c>\r\n</b>"},
        {"value of an attribute", L"f.xml", xml, {0, 1, 0}, kCmdCopyValue, L"1"},
        {"name of an element", L"f.xml", xml, {0, 1}, kCmdCopyName, L"b"},
        {"XPath of an element", L"f.xml", xml, {0, 1, 1}, kCmdCopyPath, L"/r/b/c"},
        {"copy as XML of a simple element", L"f.xml", xml, {0, 0}, kCmdCopyAs, L"<a>x</a>"},
        {"value of a string is the string", L"f.json", json, {0, 1}, kCmdCopyValue, L"v"},
        {"value of null", L"f.json", json, {0, 2}, kCmdCopyValue, L"null"},
        {"value of an object is its JSON", L"f.json", json, {0, 0}, kCmdCopyValue, L"{\r\n  \"k\": 1\r\n}"},
        {"value of an array is its JSON", L"f.json", json, {0, 3}, kCmdCopyValue, L"[\r\n  1,\r\n  2\r\n]"},
        {"JSONPath of a member", L"f.json", json, {0, 1}, kCmdCopyPath, L"$.s"},
        {"copy as YAML of a mapping", L"f.yaml", yaml, {0}, kCmdCopyAs, L"top:\r\n  inner: 1"},
        // A NUL would end the pasted text: it is shown as the symbol for null.
        {"value holding a NUL", L"f.json", L"{\"a\\u0000b\": \"x\\u0000y\"}", {0, 0}, kCmdCopyValue, L"x\x2400y"},
        {"name holding a NUL", L"f.json", L"{\"a\\u0000b\": \"x\\u0000y\"}", {0, 0}, kCmdCopyName, L"a\x2400" L"b"},
    };
    for (const CopyCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto doc = qmtest::parse(c.file, c.text);
        ASSERT_TRUE(doc->errorMessage.empty()) << u8(doc->errorMessage);
        std::wstring text;
        ASSERT_TRUE(copyCommandText(nodeAt(*doc, c.path), *doc, c.command, text));
        EXPECT_EQ(u8(text), u8(c.expected));
    }
}

TEST(CopyCommands, OtherCommandsCopyNothing) {
    auto doc = qmtest::parse(L"f.json", L"{\"s\": \"v\"}");
    std::wstring text = L"before";
    for (int id : {kCmdCopyValue - 1, kCmdCopyAs + 1}) {
        EXPECT_FALSE(copyCommandText(nodeAt(*doc, {0, 0}), *doc, id, text)) << id;
        EXPECT_EQ(u8(text), "before");
    }
}
