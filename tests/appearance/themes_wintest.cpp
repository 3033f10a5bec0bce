// The "Themes" folder beside the module under Wine: listing, the signature cache, files that
// fail, the 4 MiB limit, and the schemes shipped in packaging/Themes.
#include <windows.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "appearance/theme.h"
#include "tests/support/fakemodule_win.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

void setWriteTime(const std::wstring& path, DWORD low) {
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    FILETIME t{low, 0x01DB0000};
    SetFileTime(f, nullptr, nullptr, &t);
    CloseHandle(f);
}

std::vector<std::wstring> names(const std::vector<SchemeRef>& list) {
    std::vector<std::wstring> out;
    for (const SchemeRef& s : list) out.push_back(s->name);
    return out;
}

}  // namespace

TEST(ThemeFolder, MissingOrEmptyFolderGivesNoSchemes) {
    qmtest::FakeModule module;
    ASSERT_TRUE(module.ok());
    EXPECT_TRUE(LoadSchemes().empty());
    CreateDirectoryW((module.folder() + L"Themes").c_str(), nullptr);
    EXPECT_TRUE(LoadSchemes().empty());
    EXPECT_EQ(FindScheme(L"Anything", true), nullptr);
}

TEST(ThemeFolder, ListIsRebuiltOnlyWhenTheFolderChanges) {
    qmtest::FakeModule module;
    ASSERT_TRUE(module.ok());
    const std::wstring themes = module.folder() + L"Themes\\";
    ASSERT_TRUE(CreateDirectoryW(themes.c_str(), nullptr));
    qmtest::writeTextFile(themes + L"one.json", R"({"name": "One", "type": "dark"})");
    qmtest::writeTextFile(themes + L"broken.json", "{ not json");
    qmtest::writeTextFile(themes + L"notes.txt", R"({"name": "Not a theme"})");
    CreateDirectoryW((themes + L"folder.json").c_str(), nullptr);  // enumerated, fails to load
    qmtest::writeTextFile(themes + L"nameless.json", R"({"type": "light"})");

    std::vector<std::wstring> first = names(LoadSchemes());
    std::sort(first.begin(), first.end());  // the enumeration order is the platform's
    EXPECT_EQ(first, (std::vector<std::wstring>{L"One", L"nameless.json"}));
    const SchemeRef one = FindScheme(L"one", true);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(FindScheme(L"one", false), nullptr);
    EXPECT_EQ(FindScheme(L"NAMELESS.JSON", false)->name, L"nameless.json");

    // Unchanged folder: the same scheme objects, nothing read again.
    EXPECT_EQ(FindScheme(L"One", true), one);

    // Rewritten with the same size and an older write time: a new signature, so a rebuild.
    qmtest::writeTextFile(themes + L"one.json", R"({"name": "Uno", "type": "dark"})");
    setWriteTime(themes + L"one.json", 12345);
    EXPECT_EQ(FindScheme(L"One", true), nullptr);
    EXPECT_NE(FindScheme(L"Uno", true), nullptr);
    EXPECT_EQ(one->name, L"One");  // the earlier holder keeps its scheme
}

TEST(ThemeFolder, FilesOfFourMiBOrMoreAreRefused) {
    qmtest::FakeModule module;
    ASSERT_TRUE(module.ok());
    const std::string object = R"({"name": "Big"})";
    const std::wstring path = module.folder() + L"big.json";
    std::string bytes;
    qmtest::writeTextFile(path, object + std::string(kMaxThemeFileBytes - 1 - object.size(), ' '));
    EXPECT_TRUE(readThemeFileBytes(path, bytes));
    EXPECT_EQ(bytes.size(), kMaxThemeFileBytes - 1);
    EXPECT_NE(BuildScheme(readThemeFileBytes, path), nullptr);
    qmtest::writeTextFile(path, object + std::string(kMaxThemeFileBytes - object.size(), ' '));
    EXPECT_FALSE(readThemeFileBytes(path, bytes));
    EXPECT_EQ(BuildScheme(readThemeFileBytes, path), nullptr);
    EXPECT_FALSE(readThemeFileBytes(module.folder() + L"missing.json", bytes));
}

TEST(ThemeFolder, ShippedSchemesLoad) {
    struct Case {
        const wchar_t* file;
        const wchar_t* name;
        bool isDark;
        const char* background;
        const char* selection;
        const char* comment;
    } cases[] = {
        {L"quillmap-paper.json", L"Quillmap Paper", false, "#FBF8F1", "#D9E4F0", "#857F70"},
        {L"quillmap-night.json", L"Quillmap Night", true, "#17191E", "#2D3A4E", "#707A8C"},
        // #8A74B066 over #201C26: 32 + 106 * 0.4 = 74.4, 28 + 88 * 0.4 = 63.2, 38 + 138 * 0.4 = 93.2
        {L"quillmap-dusk.json", L"Quillmap Dusk", true, "#201C26", "#4A3F5D", "#7E7591"},
    };
    const std::wstring folder = qmtest::platformPath(std::string(QM_SOURCE_DIR) + "/packaging/Themes/");
    for (const Case& k : cases) {
        SCOPED_TRACE(qmtest::u8(k.file));
        SchemeRef s = BuildScheme(readThemeFileBytes, folder + k.file);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->name, k.name);
        EXPECT_EQ(s->isDark, k.isDark);
        EXPECT_EQ(colourText(s->background), k.background);
        EXPECT_EQ(colourText(s->selection), k.selection);
        EXPECT_EQ(colourText(s->tokenColours[3]), k.comment);
        for (int slot = 0; slot < kTokenSlotCount; ++slot)
            EXPECT_NE(s->tokenColours[slot], s->foreground) << "token slot " << slot << " has no rule";
    }
}
