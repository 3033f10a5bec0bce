// The load path's buffers: UTF-8 decoding into a buffer sized once, parseText taking over the
// decoded text instead of copying it, and JSON child lists built on a shared stack and handed to
// each container at its close (also when an error stops the parse half way).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "document/document.h"
#include "document/load.h"
#include "document/utf8.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

// Every node with its kind, name, value, line and place, in creation order.
std::wstring describe(const Document& doc) {
    std::wstring out = L"format " + std::to_wstring(int(doc.format)) + L" error " + doc.errorMessage + L" line " +
                       std::to_wstring(doc.errorLine) + L" source " + std::wstring(doc.sourceText) + L"\n";
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        const Node& n = doc.nodes[i];
        out += std::to_wstring(int(n.kind)) + L" " + std::to_wstring(n.line) + L" " + std::to_wstring(n.indexInParent) +
               L" [" + n.name + L"] [" + n.value + L"] " + std::to_wstring(n.children.size()) + L"\n";
    }
    return out;
}

// The tree invariants: each node but the root is listed once, at indexInParent, by its parent.
void expectWholeTree(const Document& doc, const std::string& what) {
    size_t listed = 0;
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        const Node& n = doc.nodes[i];
        listed += n.children.size();
        for (size_t c = 0; c < n.children.size(); ++c) {
            EXPECT_EQ(n.children[c]->parent, &n) << what << " node " << i << " child " << c;
            EXPECT_EQ(n.children[c]->indexInParent, c) << what << " node " << i << " child " << c;
        }
        if (i == 0) continue;
        ASSERT_NE(n.parent, nullptr) << what << " node " << i;
        ASSERT_LT(n.indexInParent, n.parent->children.size()) << what << " node " << i;
        EXPECT_EQ(n.parent->children[n.indexInParent], &n) << what << " node " << i;
    }
    EXPECT_EQ(listed + 1, doc.nodes.size()) << what;
}

}  // namespace

TEST(LoadBuffers, Utf8DecodingCases) {
    struct Case {
        const char* name;
        std::string bytes;
        std::wstring text;
        bool valid;
    };
    const std::wstring longRun(1000, L'a');
    const Case cases[] = {
        {"empty", "", L"", true},
        {"ascii", "abc", L"abc", true},
        {"two-byte between ascii runs", "a\xC3\xA9" "b", L"a\x00E9" L"b", true},
        {"three-byte", "\xE2\x82\xAC", L"\x20AC", true},
        {"four-byte gives a surrogate pair", "\xF0\x9F\x98\x80", std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, true},
        {"lead byte cut off at the end", "ab\xC3", L"ab\xFFFD", false},
        {"sequence cut short by ascii", "\xE2\x82x", L"\xFFFDx", false},
        {"byte that never starts a sequence", "\xFFz", L"\xFFFDz", false},
        {"overlong form is one replacement", "\xC0\x80", L"\xFFFD", false},
        {"encoded surrogate is one replacement", "\xED\xA0\x80", L"\xFFFD", false},
        {"long ascii run then a letter", std::string(1000, 'a') + "\xC3\xA9", longRun + L"\x00E9", true},
    };
    for (const Case& c : cases) {
        bool valid = !c.valid;
        EXPECT_EQ(utf8ToWide(c.bytes.data(), c.bytes.size(), &valid), c.text) << c.name;
        EXPECT_EQ(valid, c.valid) << c.name;
    }
    // The decoder grows the text in steps of 65536 bytes' worth and reads ASCII eight bytes at a
    // time: every case again with its sequence placed across a step's end and the eight-byte steps.
    for (size_t pad = 65525; pad <= 65540; ++pad) {
        for (const Case& c : cases) {
            const std::string bytes = std::string(pad, 'a') + c.bytes + "z";
            bool valid = !c.valid;
            EXPECT_EQ(utf8ToWide(bytes.data(), bytes.size(), &valid), std::wstring(pad, L'a') + c.text + L"z")
                << c.name << " after " << pad << " bytes";
            EXPECT_EQ(valid, c.valid) << c.name << " after " << pad << " bytes";
        }
    }
}

TEST(LoadBuffers, HandedOverTextGivesTheSameDocument) {
    struct Case {
        const wchar_t* file;
        std::wstring text;
    };
    const Case cases[] = {
        {L"a.json", L"{\"a\": [1, 2], \"b\": {\"c\": null}}"},
        {L"a.json", L"\xFEFF[1] [2]"},  // error: the source is kept, without the mark
        {L"a.jsonl", L"{\"a\": 1}\n[2, 3] x\n4\n"},
        {L"a.xml", L"<a x=\"1\"><b>text</b></a>"},
        {L"a.yaml", L"\xFEFF" L"a: 1\nb:\n  - 2\n"},
        {L"a.toml", L"[t]\nk = \"v\"\n"},
        {L"a.reg", L"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"1\"\r\n"},
        {L"a.json", L"[1]"},
        {L"a.json", L"{\"k\":\"v\"}"},
        {L"a.txt", L"plain words"},  // declined either way
    };
    // The nodes' names and values point into the document's own copy of the text: the caller's
    // strings are gone before the trees are read (short texts sit inside the string object, so a
    // move copies them; ASan sees any pointer left into the caller's text).
    for (const Case& c : cases) {
        Document copied, handed;
        bool copiedOk, handedOk;
        {
            const std::wstring original = c.text;
            copiedOk = parseText(c.file, original, copied);
        }
        {
            std::wstring text = c.text;
            handedOk = parseText(c.file, std::move(text), handed);
        }
        EXPECT_EQ(handedOk, copiedOk) << qmtest::u8(c.file);
        if (!copiedOk) continue;
        EXPECT_EQ(describe(handed), describe(copied)) << qmtest::u8(c.file);
    }
}

TEST(LoadBuffers, JsonChildListsWholeAfterErrors) {
    const std::wstring cases[] = {
        L"{\"a\": [1, {\"b\": [2, 3,",        // unterminated at three levels
        L"[1, [2, x], 3]",                    // bad value inside a nested array
        L"{\"a\": {\"b\": 1} \"c\": 2}",      // missing comma after a nested object
        L"[[[[]]], {\"k\": [true, false]}]",  // clean, with empty containers
        L"[{\"a\": 1}, {\"a\": \"x\\q\"}]",   // clean, with an escape
    };
    for (const std::wstring& text : cases) {
        auto doc = qmtest::parse(L"a.json", text);
        ASSERT_TRUE(doc);
        expectWholeTree(*doc, qmtest::u8(text));
        // Container lists are allocated once at their exact size.
        for (size_t i = 1; i < doc->nodes.size(); ++i)
            EXPECT_EQ(doc->nodes[i].children.capacity(), doc->nodes[i].children.size()) << qmtest::u8(text);
    }
    auto lines = qmtest::parse(L"a.jsonl", L"{\"a\": [1, 2]}\n[3, {\"b\": \n{}\n");
    ASSERT_TRUE(lines);
    expectWholeTree(*lines, "json lines");
}
