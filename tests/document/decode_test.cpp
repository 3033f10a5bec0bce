// Which encoding a file's bytes are decoded with: marks, UTF-16 without mark, the XML encoding
// declaration and the UTF-8/Windows-1252 fallback. Real code pages are tested under Wine.
#include <gtest/gtest.h>

#include <string>

#include "document/decode.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

using qmtest::bytesOf;

struct Decoded {
    std::wstring text, label;
};

Decoded decode(const std::string& raw) {
    Decoded d;
    decodeTextWith(bytesOf(raw), d.text, d.label, portableCodePageConverter);
    return d;
}

}  // namespace

TEST(DecodeRules, MarksAndUtf16WithoutMark) {
    struct Case {
        std::string bytes;
        std::wstring text;
        const wchar_t* label;
    } cases[] = {
        {std::string(""), L"", L"UTF-8"},
        {std::string("\xFF\xFE" "a\0b\0", 6), L"ab", L"UTF-16 LE"},
        {std::string("\xFE\xFF\0a\0b", 6), L"ab", L"UTF-16 BE"},
        {std::string("a\0b\0", 4), L"ab", L"UTF-16 LE"},
        {std::string("\0a\0b", 4), L"ab", L"UTF-16 BE"},
        {std::string("a\0b\0c", 5), L"ab", L"UTF-16 LE"},          // odd last byte dropped
        {std::string("\xFF\xFE" "a", 3), L"", L"UTF-16 LE"},
        {std::string("\xEF\xBB\xBF" "a\xFF" "b"), L"a\xFFFD" L"b", L"UTF-8 BOM"},
        {std::string("a\xFF" "b"), L"a\xFF" L"b", L"Windows-1252"},
        {std::string("\x80\x81\x9F"), L"\x20AC\x0081\x0178", L"Windows-1252"},
        {std::string("gr\xC3\xBC\xC3\x9F"), L"gr\xFC\xDF", L"UTF-8"},
        {std::string("\xF0\x9F\x98\x80"), std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, L"UTF-8"},
        {std::string("\xED\xA0\x80"), L"\xED\xA0\x20AC", L"Windows-1252"},  // encoded surrogate is invalid UTF-8
    };
    for (const Case& c : cases) {
        Decoded d = decode(c.bytes);
        EXPECT_EQ(d.label, c.label) << c.bytes.size();
        EXPECT_EQ(d.text, c.text) << c.bytes.size();
    }
}

TEST(DecodeRules, XmlEncodingDeclaration) {
    struct Case {
        std::string head;
        unsigned codePage;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 28591},
        {"<?xml version='1.0' encoding='Windows-1252'?>", 1252},
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 65001},
        {"<?xml version=\"1.0\" encoding=\"x-unknown\"?>", 65001},     // unknown names count as UTF-8
        {"<?xml version=\"1.0\"?><?pi encoding=\"koi8-r\"?>", 0},       // after "?>": not a declaration
        {"<?xml version=\"1.0\" encoding=\"koi8-r", 0},                 // no closing quote
        {"<?XML encoding=\"koi8-r\"?>", 0},                             // "<?xml" must be lower case
        {"{\"a\":1} <?xml encoding=\"shift_jis\"?>", 932},             // any file, not only XML
        {"<?xml encoding = \"KOI8-R\" ?>", 20866},
        {"<?xm", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(declaredCodePage(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()), c.codePage)
            << c.head;
    std::string late = std::string(500, ' ') + "<?xml encoding=\"koi8-r\"?>";
    EXPECT_EQ(declaredCodePage(reinterpret_cast<const uint8_t*>(late.data()), late.size()), 0u);
    std::string edge = std::string(512 - 25, ' ') + "<?xml encoding=\"koi8-r\"?>";
    ASSERT_EQ(edge.size(), 512u);
    EXPECT_EQ(declaredCodePage(reinterpret_cast<const uint8_t*>(edge.data()), edge.size()), 20866u);
}

TEST(DecodeRules, DeclaredCodePageLabels) {
    EXPECT_EQ(decode("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>").label, L"Codepage 28591");
    EXPECT_EQ(decode("<?xml version='1.0' encoding='Windows-1252'?><a/>").label, L"Windows-1252");
    // The portable converter has no KOI8-R: the text falls back to 1252 but keeps the declared label.
    Decoded koi = decode("<?xml encoding=\"koi8-r\"?><a>\xE1</a>");
    EXPECT_EQ(koi.label, L"Codepage 20866");
    EXPECT_NE(koi.text.find(L"<a>\xE1</a>"), std::wstring::npos);
}

TEST(DecodeRules, EncodingInfoRoundTrip) {
    struct Case {
        const wchar_t* label;
        EncodingInfo::Kind kind;
        unsigned codePage;
        bool mark;
    } cases[] = {
        {L"UTF-8", EncodingInfo::Utf8, 65001, false},     {L"UTF-8 BOM", EncodingInfo::Utf8, 65001, true},
        {L"UTF-16 LE", EncodingInfo::Utf16LE, 1200, false}, {L"UTF-16 BE", EncodingInfo::Utf16BE, 1201, false},
        {L"Windows-1252", EncodingInfo::CodePage, 1252, false},
        {L"Codepage 932", EncodingInfo::CodePage, 932, false},
    };
    for (const Case& c : cases) {
        EncodingInfo info = encodingInfo(c.label);
        EXPECT_EQ(info.kind, c.kind) << qmtest::u8(c.label);
        EXPECT_EQ(info.codePage, c.codePage) << qmtest::u8(c.label);
        EXPECT_EQ(info.utf8Mark, c.mark) << qmtest::u8(c.label);
    }
}
