// The source view's tokenizers: classes per character and the state carried across lines, for
// each document family, plus the palette slot of every class.
#include "views/syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/testing.h"

namespace {

using qm::Tokenizer;

// Classes of a line as one character each: 0-9, K for 10 (key), S for 11 (section).
std::string classString(const std::vector<uint8_t>& classes) {
    std::string s;
    for (uint8_t c : classes) s += c < 10 ? char('0' + c) : c == 10 ? 'K' : c == 11 ? 'S' : '?';
    return s;
}

struct Line {
    const wchar_t* text;
    std::string classes;   // expected, same length as the text
    uint8_t stateAfter;
};

// Runs the lines in order from state 0 and checks each line's classes and the state it leaves;
// a second pass without class arrays must carry the same states.
void expectLines(Tokenizer tokenize, const std::vector<Line>& lines, const char* what) {
    uint8_t state = 0, quickState = 0;
    for (size_t k = 0; k < lines.size(); ++k) {
        std::wstring text = lines[k].text;
        ASSERT_EQ(text.size(), lines[k].classes.size()) << what << ": expectation of line " << k + 1;
        std::vector<uint8_t> classes(text.size(), 0);
        tokenize(text.data(), text.size(), state, classes.data());
        EXPECT_EQ(classString(classes), lines[k].classes) << what << ", line " << k + 1 << ": " << qmtest::u8(text);
        EXPECT_EQ(int(state), int(lines[k].stateAfter)) << what << ", line " << k + 1;
        tokenize(text.data(), text.size(), quickState, nullptr);
        EXPECT_EQ(int(quickState), int(state)) << what << ", line " << k + 1 << " without classes";
    }
}

TEST(Syntax_Xml, CommentOverFourLinesThenMarkup) {
    expectLines(qm::tokenizeXmlLine,
                {{L"<a><!-- one", "12155555555", 4},
                 {L"two", "555", 4},
                 {L"three", "55555", 4},
                 {L"four --><b/>", "555555551211", 0}},
                "comment");
}

TEST(Syntax_Xml, TagsAttributesReferencesAndSections) {
    expectLines(qm::tokenizeXmlLine,
                {{L"<?xml version=\"1.0\"?>", std::string(21, '6'), 0},
                 {L"<!DOCTYPE r [", std::string(13, '5'), 8},
                 {L"<!ENTITY e \"x\">]>", std::string(17, '5'), 0},
                 {L"<r a='1' b:c=\"x", "120314440333144", 2},
                 {L"y\">a &amp; b & c", "4410066666000000", 0},
                 {L"<![CDATA[ x ]]></r>", std::string(15, '7') + "1121", 0},
                 {L"</r", "112", 1}},
                "markup");
}

TEST(Syntax_Json, KeysValuesAndPunctuation) {
    expectLines(qm::tokenizeJsonLine,
                {{L"{\"a\": 1, b: true, \"c\" : \"x\"}", "1KKK10810K10999910KKK0104441", 0},
                 {L"[null, -1.5e3, NaN, Infinity, 'q', x] // end", "19999108888881088810888888881044410010555555", 0},
                 {L"/* open", "5555555", 1},
                 {L"still */ false", "55555555099999", 0},
                 {L"\"unterminated \\\" : x", std::string(20, '4'), 0}},
                "json");
}

TEST(Syntax_Yaml, BlockScalarUntilLineAtKeyColumn) {
    expectLines(qm::tokenizeYamlLine,
                {{L"key: |", "KKK101", 1},
                 {L"  line one", "4444444444", 1},
                 {L"", "", 1},
                 {L"  line two", "4444444444", 1},
                 {L"next: 1", "KKKK108", 0},
                 {L"list:", "KKKK1", 0},
                 {L"  - >-", "001011", 3},
                 {L"    folded", "4444444444", 3},
                 {L"  - x", "00104", 0}},
                "block scalar");
}

TEST(Syntax_Yaml, ScalarsFlowTagsAndComments) {
    expectLines(qm::tokenizeYamlLine,
                {{L"%YAML 1.2", "666666666", 0},
                 {L"--- # doc", "111055555", 0},
                 {L"a: [1, true, ~, x y]", "K1018109999109104441", 0},
                 {L"\"q\": &anc !t 'it''s' # c", "KKK106666066044444440555", 0},
                 {L"{k: v, *al : 2}", "1K1041066601081", 0},
                 {L"url: http://x.io:80", "KKK10" + std::string(14, '4'), 0}},
                "scalars");
}

TEST(Syntax_Toml, HeaderCommentAndMultiLineString) {
    expectLines(qm::tokenizeTomlLine,
                {{L"[table] # note", "SSSSSSS0555555", 0},
                 {L"k = \"\"\"", "K010444", 1},
                 {L"text", "4444", 1},
                 {L"\"\"\"\" n = 1", "44440K0108", 0},
                 {L"t = { a = true, b = [1, 'x'] } # c", "K01010K010999910K01018104441010555", 0},
                 {L"s = '''one''' ", "K0104444444440", 0}},
                "toml");
}

TEST(Syntax_Registry, ContinuedHexData) {
    expectLines(qm::tokenizeRegistryLine,
                {{L"Windows Registry Editor Version 5.00", std::string(36, '6'), 0},
                 {L"[HKEY_CURRENT_USER\\Soft]", std::string(24, 'S'), 0},
                 {L"\"Data\"=hex:01,02,\\", "KKKKKK199998818811", 1},
                 {L"  03,04", "0088188", 0},
                 {L"@=\"text\" ", "K14444440", 0},
                 {L"\"Gone\"=-", "KKKKKK19", 0},
                 {L"; note", "555555", 0}},
                "registry");
}

TEST(Syntax_Palette, ClassToSlot) {
    using qm::ColorSlot;
    const ColorSlot expected[] = {ColorSlot::text,     ColorSlot::dimText,    ColorSlot::tag,     ColorSlot::attributeName,
                                  ColorSlot::string,   ColorSlot::comment,    ColorSlot::directive, ColorSlot::entityType,
                                  ColorSlot::number,   ColorSlot::constant,   ColorSlot::attributeName, ColorSlot::tag,
                                  ColorSlot::text};
    for (int c = 0; c <= 12; ++c) EXPECT_EQ(qm::tokenColorSlot(uint8_t(c)), expected[c]) << "class " << c;
    EXPECT_EQ(qm::tokenizerFor(qm::DocumentFormat::JsonLines), &qm::tokenizeJsonLine);
    EXPECT_EQ(qm::tokenizerFor(qm::DocumentFormat::Registry), &qm::tokenizeRegistryLine);
}

}  // namespace
