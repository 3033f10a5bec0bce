// The theme JSON reader, colour texts, scope matching, include chains, scheme building, the
// scheme list's signature cache and FindScheme; then the real editor themes of the corpus.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include <gtest/gtest.h>

#include "appearance/theme.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

// Theme files held in memory; counts the reads.
struct MemoryFiles {
    std::map<std::wstring, std::string> files;
    int reads = 0;
    ThemeFileReader reader() {
        return [this](const std::wstring& path, std::string& bytes) {
            ++reads;
            auto it = files.find(path);
            if (it == files.end()) return false;
            bytes = it->second;
            return true;
        };
    }
};

bool parses(const std::string& text, ThemeValue& v) { return parseThemeJson(text.data(), text.size(), v); }

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

Colour c(uint32_t rrggbb) { return hexColour(rrggbb); }

}  // namespace

TEST(ThemeJson, AcceptsWhatEditorThemesContain) {
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"line comment before the root", "// comment\n{\"a\": 1}"},
        {"block comment between members", "{\"a\": 1 /* x */, /* y */ \"b\": 2}"},
        {"trailing comma in object", "{\"a\": 1,}"},
        {"trailing comma in array", "{\"a\": [1, 2,],}"},
        {"literals and numbers", "{\"t\": true, \"f\": false, \"n\": null, \"x\": -1.5e+3}"},
        {"tabs and CR LF", "{\r\n\t\"a\":\t\"b\"\r\n}"},
        {"unterminated block comment after the root", "{\"a\": 1} /* open"},
        {"nesting of exactly 64 levels", nested(64)},
    };
    for (const Case& k : cases) {
        ThemeValue v;
        EXPECT_TRUE(parses(k.text, v)) << k.what;
    }
}

TEST(ThemeJson, RejectsMalformedText) {
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty text", ""},
        {"only a comment", "// nothing"},
        {"unterminated string", "{\"a\": \"b"},
        {"unterminated object", "{\"a\": 1"},
        {"missing colon", "{\"a\" 1}"},
        {"unquoted key", "{a: 1}"},
        {"missing comma", "{\"a\": 1 \"b\": 2}"},
        {"lone comma", "[,]"},
        {"wrong closing bracket", "[1}"},
        {"unknown word", "{\"a\": yes}"},
        {"block comment swallowing the close", "{\"a\": 1 /* }"},
        {"nesting of 65 levels", nested(65)},
        {"backslash at the very end", "\"abc\\"},
    };
    for (const Case& k : cases) {
        ThemeValue v;
        EXPECT_FALSE(parses(k.text, v)) << k.what;
    }
}

TEST(ThemeJson, DecodesEscapesToUtf8) {
    struct Case {
        const char* json;
        std::string expected;
    } cases[] = {
        {R"("a\tb\nc\rd\be\ff")", "a\tb\nc\rd\be\ff"},
        {R"("\"\\\/\q")", "\"\\/q"},                       // any other escaped character is itself
        {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
        {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},           // surrogate pair into one code point
        {R"("\ud83dx")", "\xEF\xBF\xBDx"},                   // lone high surrogate
        {R"("\ude00")", "\xEF\xBF\xBD"},                     // lone low surrogate
        {R"("\ud83d\u0041")", "\xEF\xBF\xBD" "A"},           // high surrogate before a non-surrogate
        {R"("\u12")", "u12"},                                // too few digits: u stands for itself
        {"\"raw \xC3\xA9\"", "raw \xC3\xA9"},
    };
    for (const Case& k : cases) {
        ThemeValue v;
        ASSERT_TRUE(parses(k.json, v)) << k.json;
        EXPECT_EQ(v.type, ThemeValue::Type::String) << k.json;
        EXPECT_EQ(v.text, k.expected) << k.json;
    }
}

TEST(ThemeJson, KeepsMembersInOrderAndLastOneWins) {
    ThemeValue v;
    ASSERT_TRUE(parses(R"({"a": "1", "b": [2, "x"], "a": "3"})", v));
    ASSERT_EQ(v.keys.size(), 3u);
    EXPECT_EQ(v.member("a")->text, "3");
    ASSERT_EQ(v.member("b")->items.size(), 2u);
    EXPECT_EQ(v.member("b")->items[0].type, ThemeValue::Type::Number);
    EXPECT_EQ(v.member("b")->items[0].text, "2");
    EXPECT_EQ(v.member("missing"), nullptr);
}

TEST(ThemeColour, ParsesHashForms) {
    const Colour white = c(0xFFFFFF);
    struct Case {
        const char* text;
        bool ok;
        Colour expected;
    } cases[] = {
        {"#fff", true, c(0xFFFFFF)},
        {"#a1B", true, c(0xAA11BB)},
        {"#123456", true, c(0x123456)},
        {"#FF000080", true, makeColour(255, 127, 127)},  // 255 + (0 - 255) * 128/255 = 127
        {"#00000000", true, white},                      // fully transparent leaves the base
        {"#000000FF", true, c(0x000000)},
        {"#ffff", false, 0},
        {"#fffff", false, 0},
        {"#1234567", false, 0},
        {"#123456789", false, 0},
        {"#12345g", false, 0},
        {"123456", false, 0},
        {"#", false, 0},
        {"", false, 0},
        {"red", false, 0},
    };
    for (const Case& k : cases) {
        Colour out = 0xDEAD;
        EXPECT_EQ(parseColour(k.text, white, out), k.ok) << k.text;
        if (k.ok) {
            EXPECT_EQ(colourText(out), colourText(k.expected)) << k.text;
        }
    }
}

TEST(ThemeScopes, PieceMatchesSelectorOrItsParents) {
    struct Case {
        const char* piece;
        const char* selector;
        bool matches;
    } cases[] = {
        {"string", "string", true},
        {"string", "string.quoted", true},
        {"str", "string", false},
        {"string.quoted", "string", false},
        {"keyword", "keyword.control.directive", true},
        {"keyword.control", "keyword.control.directive", true},
        {"keyword.c", "keyword.control.directive", false},
        {"", "string", false},
    };
    for (const Case& k : cases) EXPECT_EQ(scopeMatches(k.piece, k.selector), k.matches) << k.piece << " / " << k.selector;
}

TEST(ThemeScopes, LongestPieceWinsAndLaterWinsTies) {
    std::vector<TokenRule> rules = {
        {{"constant"}, "#000001"},
        {{"constant.numeric"}, "#000002"},
        {{"constant.numeric"}, "#000003"},  // same length, later: wins
        {{"constant.numeric.hex"}, "#000004"},  // longer than the selector: no match
    };
    Colour out = 0;
    ASSERT_TRUE(matchTokenColour(rules, 6, 0, out));  // slot 6: constant.numeric
    EXPECT_EQ(colourText(out), "#000003");
    ASSERT_TRUE(matchTokenColour(rules, 7, 0, out));  // slot 7: constant.language falls to "constant"
    EXPECT_EQ(colourText(out), "#000001");
}

TEST(ThemeScopes, FirstMatchedSelectorDecidesEvenWithoutColour) {
    // Slot 4 tries meta.preprocessor before keyword: the preprocessor rule has no colour, so the
    // slot keeps the foreground rather than taking the keyword colour.
    std::vector<TokenRule> rules = {{{"keyword"}, "#0000FF"}, {{"meta.preprocessor"}, ""}};
    Colour out = 0;
    EXPECT_FALSE(matchTokenColour(rules, 4, 0, out));
    rules[1].scopes = {"meta.other"};
    ASSERT_TRUE(matchTokenColour(rules, 4, 0, out));
    EXPECT_EQ(colourText(out), "#0000FF");
}

TEST(ThemeFileRead, ReadsMembersRulesAndScopeLists) {
    MemoryFiles fs;
    fs.files[L"t/a.json"] = "\xEF\xBB\xBF{\"name\": \"A\", \"type\": \"light\","
                            "\"colors\": {\"x\": \"#111111\", \"n\": 5, \"x\": \"#222222\"},"
                            "\"tokenColors\": ["
                            "  {\"scope\": \" string , ,comment \", \"settings\": {\"foreground\": \"#010203\"}},"
                            "  {\"scope\": [\"a\", 7, \"b,c\"]},"
                            "  {\"settings\": {\"fontStyle\": \"bold\"}},"
                            "  \"not an object\""
                            "]}";
    ThemeFile t;
    ASSERT_TRUE(ReadThemeFile(fs.reader(), L"t/a.json", 0, t));
    EXPECT_EQ(t.name, "A");
    EXPECT_EQ(t.type, "light");
    EXPECT_EQ(t.colours.size(), 1u);
    EXPECT_EQ(t.colours["x"], "#222222");
    ASSERT_EQ(t.tokenRules.size(), 3u);
    EXPECT_EQ(t.tokenRules[0].scopes, (std::vector<std::string>{"string", "comment"}));
    EXPECT_EQ(t.tokenRules[0].foreground, "#010203");
    EXPECT_EQ(t.tokenRules[1].scopes, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(t.tokenRules[2].scopes.empty());
}

TEST(ThemeFileRead, FailsOnUnreadableOversizedOrNonObjectFiles) {
    MemoryFiles fs;
    fs.files[L"array.json"] = "[1, 2]";
    fs.files[L"bad.json"] = "{\"a\": }";
    fs.files[L"big.json"] = "{}" + std::string(kMaxThemeFileBytes, ' ');
    fs.files[L"ok.json"] = "{}";
    ThemeFile t;
    EXPECT_FALSE(ReadThemeFile(fs.reader(), L"missing.json", 0, t));
    EXPECT_FALSE(ReadThemeFile(fs.reader(), L"array.json", 0, t));
    EXPECT_FALSE(ReadThemeFile(fs.reader(), L"bad.json", 0, t));
    EXPECT_FALSE(ReadThemeFile(fs.reader(), L"big.json", 0, t));
    EXPECT_TRUE(ReadThemeFile(fs.reader(), L"ok.json", 0, t));
    EXPECT_FALSE(ReadThemeFile(fs.reader(), L"ok.json", kMaxThemeIncludeDepth + 1, t));
}

TEST(ThemeFileRead, IncludeIsReadFirstRelativeToTheIncludingFile) {
    MemoryFiles fs;
    fs.files[L"C:\\themes\\outer.json"] =
        R"({"include": "sub/base.json", "name": "Outer", "colors": {"editor.background": "#000002"},
            "tokenColors": [{"scope": "string", "settings": {"foreground": "#000003"}}]})";
    fs.files[L"C:\\themes\\sub/base.json"] =
        R"({"name": "Base", "type": "dark", "colors": {"editor.background": "#000001", "editor.foreground": "#0000AA"},
            "tokenColors": [{"scope": "comment", "settings": {"foreground": "#000004"}}]})";
    ThemeFile t;
    ASSERT_TRUE(ReadThemeFile(fs.reader(), L"C:\\themes\\outer.json", 0, t));
    EXPECT_EQ(t.name, "Outer");
    EXPECT_EQ(t.type, "dark");
    EXPECT_EQ(t.colours["editor.background"], "#000002");
    EXPECT_EQ(t.colours["editor.foreground"], "#0000AA");
    ASSERT_EQ(t.tokenRules.size(), 2u);
    EXPECT_EQ(t.tokenRules[0].foreground, "#000004");  // the include's rules come first
    EXPECT_EQ(t.tokenRules[1].foreground, "#000003");
}

TEST(ThemeFileRead, IncludeChainStopsBelowDepthNine) {
    // f0 includes f1 ... f9 includes f10; file k sets colour "k" and its own name.
    MemoryFiles fs;
    for (int k = 0; k <= 10; ++k) {
        fs.files[L"f" + std::to_wstring(k)] = "{\"include\": \"f" + std::to_string(k + 1) + "\", \"colors\": {\"c" +
                                               std::to_string(k) + "\": \"#000000\"}}";
    }
    ThemeFile t;
    ASSERT_TRUE(ReadThemeFile(fs.reader(), L"f0", 0, t));
    EXPECT_EQ(t.colours.count("c8"), 1u);  // depth 8 is read
    EXPECT_EQ(t.colours.count("c9"), 0u);  // depth 9 is not
    EXPECT_EQ(t.colours.count("c0"), 1u);
}

TEST(ThemeFileRead, SelfIncludeAndBrokenIncludeStillLoad) {
    MemoryFiles fs;
    fs.files[L"loop.json"] = R"({"include": "loop.json", "name": "Loop"})";
    fs.files[L"broken.json"] = R"({"include": "nowhere.json", "name": "Broken"})";
    ThemeFile loop, broken;
    EXPECT_TRUE(ReadThemeFile(fs.reader(), L"loop.json", 0, loop));
    EXPECT_EQ(loop.name, "Loop");
    EXPECT_EQ(fs.reads, kMaxThemeIncludeDepth + 1);  // depths 0..8, then the chain stops
    EXPECT_TRUE(ReadThemeFile(fs.reader(), L"broken.json", 0, broken));
    EXPECT_EQ(broken.name, "Broken");
}

TEST(ThemeScheme, DefaultsAndDarknessFollowTypeAndLuma) {
    struct Case {
        const char* what;
        std::string json;
        bool isDark;
        Colour background;
        Colour foreground;
    } cases[] = {
        {"hc-light without background", R"({"type": "hc-light"})", false, c(0xFFFFFF), c(0x333333)},
        {"light without background", R"({"type": "light"})", false, c(0xFFFFFF), c(0x333333)},
        {"no type, no background", R"({})", true, c(0x1E1E1E), c(0xD4D4D4)},
        {"hc-black", R"({"type": "hc-black", "colors": {"editor.background": "#FFFFFF"}})", true, c(0xFFFFFF), c(0xD4D4D4)},
        {"luma 128 is light", R"({"colors": {"editor.background": "#808080"}})", false, c(0x808080), c(0x333333)},
        {"luma 127 is dark", R"({"colors": {"editor.background": "#7F7F7F"}})", true, c(0x7F7F7F), c(0xD4D4D4)},
        {"unparsable background", R"({"type": "dark", "colors": {"editor.background": "blue"}})", true, c(0x1E1E1E), c(0xD4D4D4)},
        {"background alpha over black", R"({"colors": {"editor.background": "#FFFFFF80"}})", false, c(0x808080), c(0x333333)},
        {"foreground falls back to \"foreground\"",
         R"({"colors": {"editor.foreground": "bad", "foreground": "#112233"}})", true, c(0x1E1E1E), c(0x112233)},
        {"foreground alpha over the background",
         R"({"colors": {"editor.background": "#000000", "editor.foreground": "#FFFFFF00"}})", true, c(0x000000), c(0x000000)},
    };
    for (const Case& k : cases) {
        MemoryFiles fs;
        fs.files[L"x.json"] = k.json;
        SchemeRef s = BuildScheme(fs.reader(), L"x.json");
        ASSERT_NE(s, nullptr) << k.what;
        EXPECT_EQ(s->isDark, k.isDark) << k.what;
        EXPECT_EQ(colourText(s->background), colourText(k.background)) << k.what;
        EXPECT_EQ(colourText(s->foreground), colourText(k.foreground)) << k.what;
    }
}

TEST(ThemeScheme, SelectionsAndTokensFallBackInOrder) {
    MemoryFiles fs;
    fs.files[L"dir\\plain.json"] = R"({"colors": {"editor.background": "#000000", "editor.foreground": "#FFFFFF"},
        "tokenColors": [{"scope": "comment", "settings": {"foreground": "#00FF0080"}},
                        {"scope": "string", "settings": {"foreground": "nonsense"}}]})";
    SchemeRef s = BuildScheme(fs.reader(), L"dir\\plain.json");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->name, L"plain.json");  // no "name": the file name with its extension
    EXPECT_EQ(colourText(s->selection), "#2D2D2D");          // 255 * 0.18 = 45.9
    EXPECT_EQ(colourText(s->inactiveSelection), "#1B1B1B");  // 45 * 0.6 = 27
    EXPECT_EQ(colourText(s->tokenColours[3]), "#008000");    // comment: alpha over the background
    EXPECT_EQ(colourText(s->tokenColours[2]), "#FFFFFF");    // string colour does not parse
    EXPECT_EQ(colourText(s->tokenColours[0]), "#FFFFFF");    // no rule for tags
}

TEST(ThemeScheme, UnreadableFileGivesNoScheme) {
    MemoryFiles fs;
    fs.files[L"x.json"] = "not json";
    EXPECT_EQ(BuildScheme(fs.reader(), L"x.json"), nullptr);
    EXPECT_EQ(BuildScheme(fs.reader(), L"y.json"), nullptr);
}

TEST(ThemeList, RebuildsOnlyWhenTheListingChanges) {
    MemoryFiles fs;
    fs.files[L"T\\a.json"] = R"({"name": "A", "type": "light"})";
    fs.files[L"T\\b.json"] = R"({"name": "B", "type": "dark"})";
    fs.files[L"T\\c.json"] = "broken";
    std::vector<ThemeFolderEntry> listing = {{L"T\\a.json", L"a.json", 10, 20},
                                             {L"T\\c.json", L"c.json", 11, 6},
                                             {L"T\\b.json", L"b.json", 12, 30}};
    SchemeCache cache;
    EXPECT_TRUE(refreshSchemes(cache, listing, fs.reader()));
    EXPECT_EQ(cache.signature, L"a.json|10|20\nc.json|11|6\nb.json|12|30\n");
    ASSERT_EQ(cache.schemes.size(), 2u);  // the broken file is skipped
    EXPECT_EQ(cache.schemes[0]->name, L"A");
    EXPECT_EQ(cache.schemes[1]->name, L"B");
    const SchemeRef held = cache.schemes[0];

    fs.reads = 0;
    EXPECT_FALSE(refreshSchemes(cache, listing, fs.reader()));
    EXPECT_EQ(fs.reads, 0);  // unchanged: no file is read

    listing[0].writeTimeLow = 99;  // touched
    fs.files[L"T\\a.json"] = R"({"name": "A2", "type": "light"})";
    EXPECT_TRUE(refreshSchemes(cache, listing, fs.reader()));
    EXPECT_EQ(cache.schemes[0]->name, L"A2");
    EXPECT_EQ(held->name, L"A");  // a holder keeps the dropped scheme alive

    listing[2].sizeLow = 31;
    EXPECT_TRUE(refreshSchemes(cache, listing, fs.reader()));
    listing.clear();
    EXPECT_TRUE(refreshSchemes(cache, listing, fs.reader()));
    EXPECT_TRUE(cache.schemes.empty());
}

TEST(ThemeList, FindSchemeMatchesNameIgnoringCaseAndDarkness) {
    auto make = [](const wchar_t* name, bool dark, Colour bg) {
        auto s = std::make_shared<Scheme>();
        s->name = name;
        s->isDark = dark;
        s->background = bg;
        return SchemeRef(s);
    };
    std::vector<SchemeRef> list = {make(L"Ocean", true, 1), make(L"ocean", false, 2), make(L"OCEAN", true, 3)};
    EXPECT_EQ(findScheme(list, L"oCEAn", true)->background, 1u);  // the first found wins
    EXPECT_EQ(findScheme(list, L"OCEAN", false)->background, 2u);
    EXPECT_EQ(findScheme(list, L"Ocea", true), nullptr);
    EXPECT_EQ(findScheme(list, L"", true), nullptr);
    EXPECT_EQ(findScheme({make(L"Light only", false, 4)}, L"Light only", true), nullptr);
}

// ---- the real editor themes ----

namespace {

bool readNativeFile(const std::wstring& path, std::string& bytes) {
    std::ifstream f(std::filesystem::path(path), std::ios::binary);
    if (!f) return false;
    bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

SchemeRef corpusScheme(const std::string& relative) {
    return BuildScheme(readNativeFile, qmtest::platformPath(qmtest::corpusDir() + "/themes/" + relative));
}

struct Expected {
    const char* file;
    const wchar_t* name;
    bool isDark;
    const char* background;
    const char* foreground;
    const char* selection;
    const char* inactiveSelection;
    const char* tokens[kTokenSlotCount];  // tag, attributeName, string, comment, directive, entityType, number, constant
};

// Checked by hand against the files. Blends: monokai's selection #878b9180 over #272822 is
// 39 + 96 * 128/255 = 87.2 -> #57, 40 + 99 * 0.502 = 89.7 -> #59, 34 + 111 * 0.502 = 89.7 -> #59;
// its inactive selection is 60 % of the way to it. Kimbie's #84613daa is 2/3 of the way.
const Expected kCorpusSchemes[] = {
    {"theme-defaults/dark_plus.json", L"Dark+ (default dark)", true, "#1E1E1E", "#D4D4D4", "#3E3E3E", "#3A3D41",
     // dark_vs: entity.name.tag, entity.other.attribute-name, string, comment, meta.preprocessor;
     // dark_plus: constant.character; dark_vs: constant.numeric, constant.language
     {"#569CD6", "#9CDCFE", "#CE9178", "#6A9955", "#569CD6", "#569CD6", "#B5CEA8", "#569CD6"}},
    {"theme-defaults/light_plus.json", L"Light+ (default light)", false, "#FFFFFF", "#000000", "#D1D1D1", "#E5EBF1",
     {"#800000", "#FF0000", "#A31515", "#008000", "#0000FF", "#0000FF", "#09885A", "#0000FF"}},
    {"theme-monokai/monokai-color-theme.json", L"monokai-color-theme.json", true, "#272822", "#F8F8F2", "#575959",
     "#434543",
     // directive: "keyword" continues into keyword.control.directive; entityType: constant.character
     {"#F92672", "#A6E22E", "#E6DB74", "#75715E", "#F92672", "#AE81FF", "#AE81FF", "#AE81FF"}},
    {"theme-kimbie-dark/kimbie-dark-color-theme.json", L"Kimbie Dark", true, "#221A0F", "#D3AF86", "#63492D", "#493621",
     // directive: keyword.control; entityType, constant: the bare "constant" rule
     {"#DC3958", "#F79A32", "#889B4A", "#A57A4C", "#98676A", "#F79A32", "#F79A32", "#F79A32"}},
    {"theme-solarized-light/solarized-light-color-theme.json", L"Solarized (light)", false, "#FDF6E3", "#333333",
     "#EEE8D5", "#F4EDDA",
     {"#268BD2", "#93A1A1", "#2AA198", "#93A1A1", "#B58900", "#CB4B16", "#D33682", "#B58900"}},
};

}  // namespace

TEST(ThemeCorpus, PinnedSchemesMatchTheirFiles) {
    QM_SKIP_WITHOUT_CORPUS();
    for (const Expected& e : kCorpusSchemes) {
        SchemeRef s = corpusScheme(e.file);
        ASSERT_NE(s, nullptr) << e.file;
        EXPECT_EQ(s->name, e.name) << e.file;
        EXPECT_EQ(s->isDark, e.isDark) << e.file;
        EXPECT_EQ(colourText(s->background), e.background) << e.file;
        EXPECT_EQ(colourText(s->foreground), e.foreground) << e.file;
        EXPECT_EQ(colourText(s->selection), e.selection) << e.file;
        EXPECT_EQ(colourText(s->inactiveSelection), e.inactiveSelection) << e.file;
        for (int k = 0; k < kTokenSlotCount; ++k)
            EXPECT_EQ(colourText(s->tokenColours[k]), e.tokens[k]) << e.file << " token slot " << k;
    }
}

TEST(ThemeCorpus, EveryThemeFileBuildsASchemeOfTheRightDarkness) {
    QM_SKIP_WITHOUT_CORPUS();
    struct Case {
        const char* file;
        const wchar_t* name;
        bool isDark;
    } cases[] = {
        {"theme-defaults/dark_defaults.json", L"Dark Default Colors", true},
        {"theme-defaults/dark_vs.json", L"Dark (Visual Studio)", true},
        {"theme-defaults/hc_black.json", L"Dark High Contrast", true},
        {"theme-defaults/hc_black_defaults.json", L"High Contrast Default Colors", true},
        {"theme-defaults/light_defaults.json", L"Light Default Colors", false},
        {"theme-defaults/light_vs.json", L"Light (Visual Studio)", false},
        {"theme-quietlight/quietlight-color-theme.json", L"Quiet Light", false},
        {"theme-abyss/abyss-color-theme.json", L"Abyss", true},
    };
    for (const Case& k : cases) {
        SchemeRef s = corpusScheme(k.file);
        ASSERT_NE(s, nullptr) << k.file;
        EXPECT_EQ(s->name, k.name) << k.file;
        EXPECT_EQ(s->isDark, k.isDark) << k.file;
    }
    // The include chain carries dark_defaults' colours into dark_vs, and hc_black's own rules apply.
    SchemeRef vs = corpusScheme("theme-defaults/dark_vs.json");
    EXPECT_EQ(colourText(vs->background), "#1E1E1E");
    EXPECT_EQ(colourText(vs->inactiveSelection), "#3A3D41");
    SchemeRef hc = corpusScheme("theme-defaults/hc_black.json");
    EXPECT_EQ(colourText(hc->background), "#000000");
    EXPECT_EQ(colourText(hc->foreground), "#FFFFFF");
}
