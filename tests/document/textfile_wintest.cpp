// Reading files and decoding them with the real Windows code pages (MultiByteToWideChar).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "document/decode.h"
#include "document/load.h"
#include "document/textfile.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;

namespace {

struct Decoded {
    std::wstring text, label;
};

Decoded decode(const std::string& raw) {
    Decoded d;
    decodeText(std::vector<uint8_t>(raw.begin(), raw.end()), d.text, d.label);
    return d;
}

std::string declared(const char* name, const std::string& body) {
    return std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?><a>" + body + "</a>";
}

}  // namespace

// Every name of the declaration table, with a character that only that code page gives.
TEST(DecodeWindows, EveryDeclaredEncodingName) {
    struct Case {
        const char* name;
        unsigned codePage;
        std::string bytes;
        std::wstring expected;
    } cases[] = {
        {"utf-8", 65001, "\xC3\xA9", L"\xE9"},            {"utf8", 65001, "\xC3\xA9", L"\xE9"},
        {"iso-8859-1", 28591, "\xE9", L"\xE9"},           {"latin1", 28591, "\xE9", L"\xE9"},
        {"iso-latin-1", 28591, "\xE9", L"\xE9"},          {"windows-1252", 1252, "\x80", L"\x20AC"},
        {"cp1252", 1252, "\x9C", L"\x0153"},              {"us-ascii", 20127, "A", L"A"},
        {"ascii", 20127, "z", L"z"},                      {"iso-8859-15", 28605, "\xA4", L"\x20AC"},
        {"iso-8859-2", 28592, "\xB1", L"\x0105"},         {"iso-8859-5", 28595, "\xB0", L"\x0410"},
        {"iso-8859-7", 28597, "\xC1", L"\x0391"},         {"iso-8859-9", 28599, "\xDD", L"\x0130"},
        {"windows-1250", 1250, "\x8A", L"\x0160"},        {"windows-1251", 1251, "\xC0", L"\x0410"},
        {"windows-1253", 1253, "\xC1", L"\x0391"},        {"windows-1254", 1254, "\xDD", L"\x0130"},
        {"windows-1255", 1255, "\xE0", L"\x05D0"},        {"windows-1256", 1256, "\xC7", L"\x0627"},
        {"koi8-r", 20866, "\xC1", L"\x0430"},             {"shift_jis", 932, "\x82\xA0", L"\x3042"},
        {"euc-jp", 20932, "\xA4\xA2", L"\x3042"},         {"gb2312", 936, "\xC4\xE3", L"\x4F60"},
        {"gbk", 936, "\xC4\xE3", L"\x4F60"},              {"big5", 950, "\xA4\xA4", L"\x4E2D"},
        {"euc-kr", 51949, "\xB0\xA1", L"\xAC00"},
    };
    ASSERT_EQ(sizeof cases / sizeof cases[0], 27u);
    for (const Case& c : cases) {
        std::string name = c.name;
        for (char& ch : name) ch = char(toupper(static_cast<unsigned char>(ch)));  // names compare lower-cased
        Decoded d = decode(declared(name.c_str(), c.bytes));
        const std::wstring label = c.codePage == 65001 ? L"UTF-8"
                                   : c.codePage == 1252 ? L"Windows-1252"
                                                        : L"Codepage " + std::to_wstring(c.codePage);
        EXPECT_EQ(d.label, label) << c.name;
        std::wstring body = L"<a>" + c.expected + L"</a>";
        if (IsValidCodePage(c.codePage)) {
            EXPECT_NE(d.text.find(body), std::wstring::npos) << c.name << " " << qmtest::u8(d.text);
        } else {
            // Not installed here (Wine lacks EUC-KR): the text falls back to Windows-1252 and the
            // label stays the declared one, so saving would still name the file's own encoding.
            std::wstring fallback, label1252;
            decodeTextWith(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()), fallback, label1252,
                           windowsCodePageConverter);
            std::wstring expected1252;
            windowsCodePageConverter(1252, false, reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(),
                                     expected1252);
            EXPECT_NE(d.text.find(L"<a>" + expected1252 + L"</a>"), std::wstring::npos) << c.name;
            std::printf("note: code page %u is not installed here; checked the 1252 fallback\n", c.codePage);
        }
    }
}

TEST(DecodeWindows, Cp1252UnassignedBytesAndUtf8Fallback) {
    Decoded d = decode("\x81\x8D\x8F\x90\x9D\x80");
    EXPECT_EQ(d.label, L"Windows-1252");
    EXPECT_EQ(d.text, std::wstring(L"\x0081\x008D\x008F\x0090\x009D\x20AC"));
    Decoded bom = decode("\xEF\xBB\xBF" "a\xFF" "b");
    EXPECT_EQ(bom.label, L"UTF-8 BOM");
    EXPECT_EQ(bom.text, L"a\xFFFD" L"b");
    Decoded utf8 = decode("\xE2\x82\xAC");
    EXPECT_EQ(utf8.label, L"UTF-8");
    EXPECT_EQ(utf8.text, L"\x20AC");
    Decoded empty = decode("");
    EXPECT_EQ(empty.label, L"UTF-8");
    EXPECT_EQ(empty.text, L"");
}

TEST(DecodeWindows, SameResultsAsThePortableRulesForUtf8And1252) {
    const std::string samples[] = {"plain", "\xC3\xA4\xC3\xB6", "bad \xC3 utf8", "\x80\x99\xFF",
                                   std::string("a\0b\0", 4), "\xEF\xBB\xBF\xE2\x82\xAC"};
    for (const std::string& s : samples) {
        std::vector<uint8_t> bytes(s.begin(), s.end());
        std::wstring winText, winLabel, portText, portLabel;
        decodeText(bytes, winText, winLabel);
        decodeTextWith(bytes, portText, portLabel, portableCodePageConverter);
        EXPECT_EQ(winLabel, portLabel) << s;
        EXPECT_EQ(winText, portText) << s;
    }
}

TEST(ReadWholeFile, MissingEmptyAndShort) {
    std::vector<uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(readWholeFile(qmtest::tempFolder() + L"\\does-not-exist.json", bytes));
    std::wstring empty = qmtest::writeTempFile(L"empty.json", "");
    ASSERT_TRUE(readWholeFile(empty, bytes));
    EXPECT_TRUE(bytes.empty());
    std::wstring small = qmtest::writeTempFile(L"small.json", "[1, 2]");
    ASSERT_TRUE(readWholeFile(small, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "[1, 2]");
}

// Files of exactly 512 MiB are read; one byte more is refused. The files are made sparse with
// SetEndOfFile, so they cost no disk space.
TEST(ReadWholeFile, SizeLimitIsExactly512MiB) {
    for (uint64_t size : {kMaxFileBytes, kMaxFileBytes + 1}) {
        std::wstring path = qmtest::tempFolder() + L"\\big-" + std::to_wstring(size) + L".json";
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(size);
        ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(h));
        CloseHandle(h);
        std::vector<uint8_t> bytes;
        bool ok = readWholeFile(path, bytes);
        EXPECT_EQ(ok, size == kMaxFileBytes) << size;
        EXPECT_EQ(bytes.size(), ok ? size_t(size) : 0u);
        bytes = {};
        DeleteFileW(path.c_str());
    }
}

TEST(LoadDocumentWindows, Utf16FilesAndDeclinedFiles) {
    std::string utf16("\xFF\xFE[\0\"\0\xE4\0\"\0]\0", 12);
    std::wstring path = qmtest::writeTempFile(L"u16.json", utf16);
    Document doc;
    ASSERT_TRUE(loadDocument(path, doc));
    EXPECT_EQ(doc.encoding, L"UTF-16 LE");
    EXPECT_EQ(doc.format, DocumentFormat::Json);
    ASSERT_EQ(doc.root->children.size(), 1u);
    EXPECT_EQ(doc.root->children[0]->children[0]->value, L"\xE4");

    Document declined;
    EXPECT_FALSE(loadDocument(qmtest::writeTempFile(L"blank.json", "\xEF\xBB\xBF\r\n  \r\n"), declined));
    Document missing;
    EXPECT_FALSE(loadDocument(qmtest::tempFolder() + L"\\nope.json", missing));
}
