// The colour schemes shipped in the release archive's Themes folder: each loads through the
// product's own reader as a scheme of its name and darkness, with colours of its own.
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "appearance/theme.h"

using namespace qm;

namespace {

bool readFile(const std::wstring& path, std::string& bytes) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

}  // namespace

TEST(PackagedThemes, EachLoadsAsASchemeOfItsNameAndDarkness) {
    struct Case {
        const char* file;
        const wchar_t* name;
        bool isDark;
    };
    const Case cases[] = {
        {"quillmap-paper.json", L"Quillmap Paper", false},
        {"quillmap-harbour.json", L"Quillmap Harbour", false},
        {"quillmap-night.json", L"Quillmap Night", true},
        {"quillmap-dusk.json", L"Quillmap Dusk", true},  // dark through the scheme it includes
    };
    const std::filesystem::path folder = std::filesystem::path(QM_SOURCE_DIR) / "packaging" / "Themes";
    size_t shipped = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) shipped += entry.path().extension() == ".json";
    EXPECT_EQ(shipped, std::size(cases)) << "a theme file in the Themes folder has no case here";
    for (const Case& c : cases) {
        const SchemeRef scheme = BuildScheme(readFile, (folder / c.file).wstring());
        ASSERT_TRUE(scheme) << c.file << " does not load";
        EXPECT_EQ(scheme->name, c.name) << c.file;
        EXPECT_EQ(scheme->isDark, c.isDark) << c.file;
        // The background's luma agrees with the darkness, so text stays readable.
        const int r = scheme->background & 0xFF, g = (scheme->background >> 8) & 0xFF, b = (scheme->background >> 16) & 0xFF;
        EXPECT_EQ((r * 299 + g * 587 + b * 114) / 1000 < 128, c.isDark) << c.file;
        EXPECT_NE(scheme->foreground, scheme->background) << c.file;
    }
}
