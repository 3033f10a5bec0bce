// Format detection: the extension chooses YAML, TOML and .reg; everything else by content.
#include <gtest/gtest.h>

#include "document/load.h"
#include "document/wellknown.h"
#include "shell/lister.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::parse;

TEST(LoadExtension, LastDotOfTheFileNameLowerCased) {
    struct Case {
        const wchar_t* path;
        const wchar_t* ext;
    } cases[] = {
        {L"C:\\data\\a.JSON", L".json"},
        {L"C:\\data.d\\file", L""},          // the dot belongs to a folder
        {L"C:\\data\\archive.tar.Gz", L".gz"},
        {L"noext", L""},
        {L"C:\\x\\.reg", L".reg"},
    };
    for (const Case& c : cases) EXPECT_EQ(pathExtension(c.path), c.ext) << qmtest::u8(c.path);
}

TEST(LoadDetect, FormatByExtensionAndFirstCharacter) {
    struct Case {
        const wchar_t* path;
        const wchar_t* text;
        bool loads;
        DocumentFormat format;
    } cases[] = {
        {L"C:\\A.JSON", L"[1]", true, DocumentFormat::Json},
        {L"C:\\a.txt", L"{}", true, DocumentFormat::Json},
        {L"C:\\a.txt", L"  \n<a/>", true, DocumentFormat::Xml},
        {L"C:\\a.json", L"<a/>", true, DocumentFormat::Xml},
        {L"C:\\a.yml", L"{", true, DocumentFormat::Yaml},
        {L"C:\\a.YAML", L"<a/>", true, DocumentFormat::Yaml},
        {L"C:\\a.toml", L"[x]", true, DocumentFormat::Toml},
        {L"C:\\a.jsonl", L"{\"a\":1}", true, DocumentFormat::JsonLines},
        {L"C:\\a.ndjson", L"[1]", true, DocumentFormat::JsonLines},
        {L"C:\\a.jsonl", L"42", false, DocumentFormat::Xml},
        {L"C:\\a.txt", L"hello", false, DocumentFormat::Xml},
        {L"C:\\a.reg", L"Windows Registry Editor Version 5.00\r\n", true, DocumentFormat::Registry},
        {L"C:\\a.reg", L"\xFEFF\r\nREGEDIT4\r\n", true, DocumentFormat::Registry},
        {L"C:\\a.reg", L"regedit4\r\n", false, DocumentFormat::Xml},
        {L"C:\\a.reg", L"{}", false, DocumentFormat::Xml},
        {L"C:\\dir.json\\file", L"{}", true, DocumentFormat::Json},
        {L"C:\\a.json", L"", false, DocumentFormat::Xml},
        {L"C:\\a.json", L" \t\r\n", false, DocumentFormat::Xml},
        {L"C:\\a.json", L"\xFEFF\r\n\r\n", false, DocumentFormat::Xml},
        // A JSON file of only comments opens with nothing in it, as YAML and XML files do.
        {L"C:\\a.json", L"// settings\n/* none yet */\n", true, DocumentFormat::Json},
        {L"C:\\a.jsonc", L"// x", true, DocumentFormat::Json},
        {L"C:\\a.jsonl", L"// x\n", true, DocumentFormat::JsonLines},
        {L"C:\\a.txt", L"// x\n", false, DocumentFormat::Xml},
        // Well-known configuration file names choose their format where the content cannot.
        {L"C:\\p\\Pipfile", L"[[source]]\nurl = \"https://pypi.org/simple\"\n", true, DocumentFormat::Toml},
        {L"C:\\p\\Cargo.lock", L"# generated\nversion = 3\n", true, DocumentFormat::Toml},
        {L"C:\\p\\POETRY.LOCK", L"[[package]]\nname = \"a\"\n", true, DocumentFormat::Toml},
        {L"C:\\p\\.clang-format", L"---\nBasedOnStyle: Google\n", true, DocumentFormat::Yaml},
        {L"C:\\p\\.clang-tidy", L"Checks: '-*'\n", true, DocumentFormat::Yaml},
        {L"/p/.yamllint", L"extends: default\n", true, DocumentFormat::Yaml},
        {L"C:\\p\\.eslintrc", L"root: true\n", true, DocumentFormat::Yaml},
        {L"C:\\p\\.eslintrc", L"{\"root\": true}", true, DocumentFormat::Json},
        {L"C:\\p\\.eslintrc", L" // settings\n{\"root\": true}", true, DocumentFormat::Json},
        {L"C:\\p\\.babelrc", L"{\"presets\": []}", true, DocumentFormat::Json},
        {L"C:\\p\\.babelrc", L"presets: []", false, DocumentFormat::Xml},  // JSON names stay JSON
        {L"C:\\p\\composer.lock", L"{\"packages\": []}", true, DocumentFormat::Json},
        // Other files of the same extensions, and names that only contain a well-known one.
        {L"C:\\p\\yarn.lock", L"# yarn lockfile v1\n", false, DocumentFormat::Xml},
        {L"C:\\p\\Gemfile.lock", L"GEM\n  remote: x\n", false, DocumentFormat::Xml},
        {L"C:\\p\\MyPipfile", L"[1]", true, DocumentFormat::Json},
        {L"C:\\Pipfile\\data", L"[1]", true, DocumentFormat::Json},
    };
    for (const Case& c : cases) {
        auto d = parse(c.path, c.text);
        EXPECT_EQ(bool(d), c.loads) << qmtest::u8(c.path) << " " << qmtest::u8(c.text);
        if (d && c.loads) {
            EXPECT_EQ(d->format, c.format) << qmtest::u8(c.path);
            EXPECT_EQ(d->isDataFormat, c.format != DocumentFormat::Xml);
            EXPECT_EQ(d->isYaml, c.format == DocumentFormat::Yaml);
            ASSERT_NE(d->root, nullptr);
            EXPECT_EQ(d->root->kind, NodeKind::Root);
            EXPECT_EQ(d->root->line, 0u);
            if (c.text[0] == L'/') {
                EXPECT_TRUE(d->errorMessage.empty());
                EXPECT_TRUE(d->root->children.empty());
                EXPECT_EQ(d->sourceText, std::wstring_view(c.text)) << "the Source view shows the comments";
            }
        }
    }
}

TEST(LoadSourceText, KeptForBrokenJsonWithoutTheMark) {
    auto d = parse(L"a.json", L"\xFEFF[1] [2]");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"Unexpected data after the JSON value");
    EXPECT_EQ(d->errorLine, 1u);
    EXPECT_EQ(d->sourceText, L"[1] [2]");

    auto clean = parse(L"a.json", L"[1]");
    ASSERT_TRUE(clean);
    EXPECT_TRUE(clean->sourceText.empty());

    auto yaml = parse(L"a.yaml", L"\xFEFF" L"a: 1\n");
    ASSERT_TRUE(yaml);
    EXPECT_EQ(yaml->sourceText, L"a: 1\n");
}

// The host offers a file only by its extension: every well-known name that has one is offered.
TEST(LoadWellKnownNames, EveryExtensionOfTheTableIsInTheDetectString) {
    const std::string detect = kDetectString;
    for (size_t i = 0; i < kWellKnownNameCount; ++i) {
        const std::wstring name = kWellKnownNames[i].name;
        const size_t dot = name.rfind(L'.');
        if (dot == std::wstring::npos) continue;  // Pipfile: no extension the host could name
        std::string ext;
        for (wchar_t c : name.substr(dot + 1)) ext += char(towupper(c));
        EXPECT_NE(detect.find("EXT=\"" + ext + "\""), std::string::npos) << ext;
    }
}
