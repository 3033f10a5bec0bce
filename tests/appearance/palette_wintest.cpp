// The palette under Wine: the dark decision from "AppsUseLightTheme" and the accent from
// "AccentPalette" in the test prefix's registry, fonts and metrics at 144 DPI, the scheme overlay
// from a "Themes" folder beside the module, and ApplyPalette's effect on the search box.
#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

#include "appearance/draw_win.h"
#include "appearance/palette.h"
#include "appearance/theme.h"
#include "tests/support/fakemodule_win.h"
#include "tests/support/registryvalue_win.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::RegistryValue;

namespace {

const wchar_t kPersonalize[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const wchar_t kAccent[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Accent";

LOGFONTW fontOf(HFONT font) {
    LOGFONTW lf{};
    GetObjectW(font, sizeof lf, &lf);
    return lf;
}

TEXTMETRICW metricsOf(HFONT font) {
    TEXTMETRICW tm{};
    ScreenDc screen;
    SelectObjectGuard select(screen.get(), font);
    GetTextMetricsW(screen.get(), &tm);
    return tm;
}

std::string hex(COLORREF c) { return colourText(c); }

}  // namespace

TEST(PaletteWindows, DarkDecisionFollowsTheWindowsAppTheme) {
    RegistryValue apps(kPersonalize, L"AppsUseLightTheme");
    struct Case {
        const char* what;
        int registry;  // -1: value absent, -2: a text value "0"
        int themeMode;
        bool hostDark;
        bool dark;
    } cases[] = {
        {"apps dark, automatic", 0, kThemeAutomatic, false, true},
        {"apps light, automatic", 1, kThemeAutomatic, false, false},
        {"value missing, automatic", -1, kThemeAutomatic, false, false},
        {"value not a DWORD", -2, kThemeAutomatic, false, false},
        {"apps light, host dark", 1, kThemeAutomatic, true, true},
        {"apps dark, like the host (not dark)", 0, kThemeLikeHost, false, false},
        {"apps dark, forced light", 0, kThemeLight, false, false},
        {"apps light, forced dark", 1, kThemeDark, false, true},
        {"apps dark, out-of-range mode counts as automatic", 0, 9, false, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        if (k.registry >= 0) apps.setDword(static_cast<DWORD>(k.registry));
        else if (k.registry == -1) apps.remove();
        else apps.set(REG_SZ, L"0", 4);
        Palette p;
        BuildPalette(p, nullptr, k.themeMode, k.hostDark);
        EXPECT_EQ(p.isDark, k.dark);
        EXPECT_EQ(hex(p.color(ColorSlot::background)), k.dark ? "#1C1C1C" : "#FFFFFF");
        EXPECT_EQ(hex(p.color(ColorSlot::chrome)), k.dark ? "#202020" : "#F3F3F3");
    }
}

TEST(PaletteWindows, AccentFollowsTheAccentPalette) {
    RegistryValue accent(kAccent, L"AccentPalette");
    BYTE bytes[32] = {};
    bytes[4] = 0x11, bytes[5] = 0x22, bytes[6] = 0x33;      // entry 1: dark mode
    bytes[16] = 0xFF, bytes[17] = 0xFF, bytes[18] = 0x00;   // entry 4: light mode (yellow)
    accent.set(REG_BINARY, bytes, sizeof bytes);
    {
        Palette light;
        BuildPalette(light, nullptr, kThemeLight, false);
        EXPECT_EQ(hex(light.color(ColorSlot::accent)), "#FFFF00");
        EXPECT_EQ(hex(light.color(ColorSlot::accentText)), "#000000");
        // 255 + (255 - 255) * 0.22, twice, then 255 + (0 - 255) * 0.22 = 198.9
        EXPECT_EQ(hex(light.color(ColorSlot::selection)), "#FFFFC6");
        Palette dark;
        BuildPalette(dark, nullptr, kThemeDark, false);
        EXPECT_EQ(hex(dark.color(ColorSlot::accent)), "#112233");
        EXPECT_EQ(hex(dark.color(ColorSlot::accentText)), "#FFFFFF");
    }
    bytes[16] = 0x00, bytes[17] = 0x00, bytes[18] = 0xFF;   // pure blue
    accent.set(REG_BINARY, bytes, sizeof bytes);
    {
        Palette light;
        BuildPalette(light, nullptr, kThemeLight, false);
        EXPECT_EQ(hex(light.color(ColorSlot::accent)), "#0000FF");
        EXPECT_EQ(hex(light.color(ColorSlot::accentText)), "#FFFFFF");
    }
    accent.set(REG_BINARY, bytes, 31);  // too short: the defaults
    {
        Palette light, dark;
        BuildPalette(light, nullptr, kThemeLight, false);
        BuildPalette(dark, nullptr, kThemeDark, false);
        EXPECT_EQ(hex(light.color(ColorSlot::accent)), "#005FB8");
        EXPECT_EQ(hex(dark.color(ColorSlot::accent)), "#60CDFF");
    }
    accent.remove();
    {
        Palette dark;
        BuildPalette(dark, nullptr, kThemeDark, false);
        EXPECT_EQ(hex(dark.color(ColorSlot::accent)), "#60CDFF");
    }
}

TEST(PaletteWindows, FontsAndMetricsScaleWithTheDpi) {
    struct FontCase {
        FontHandle Palette::*font;
        const char* name;
        LONG height96;
        LONG height144;
        LONG weight;
    } fonts[] = {
        {&Palette::uiFont, "uiFont", -12, -18, 400},
        {&Palette::uiFontSemibold, "uiFontSemibold", -12, -18, 600},
        {&Palette::titleFont, "titleFont", -15, -22, 600},
        {&Palette::iconFont, "iconFont", -14, -21, 400},
        {&Palette::smallIconFont, "smallIconFont", -9, -14, 400},
        {&Palette::badgeFont, "badgeFont", -9, -14, 700},
        {&Palette::contentFont, "contentFont", -12, -18, 400},
        {&Palette::monoFont, "monoFont", -12, -18, 400},
    };
    for (unsigned dpi : {96u, 144u}) {
        SCOPED_TRACE(dpi);
        Palette p;
        BuildPaletteAtDpi(p, dpi, kThemeLight, false);
        EXPECT_EQ(p.dpi, dpi);
        for (const FontCase& f : fonts) {
            ASSERT_NE(p.*f.font, nullptr) << f.name;
            const LOGFONTW lf = fontOf(p.*f.font);
            EXPECT_EQ(lf.lfHeight, dpi == 96 ? f.height96 : f.height144) << f.name;
            EXPECT_EQ(lf.lfWeight, f.weight) << f.name;
            EXPECT_EQ(lf.lfQuality, CLEARTYPE_QUALITY) << f.name;
        }
        const TEXTMETRICW content = metricsOf(p.contentFont);
        const TEXTMETRICW mono = metricsOf(p.monoFont);
        ASSERT_GT(content.tmHeight, 0);
        // 7 DIPs are 11 pixels at 144 DPI (10.5 rounded), 4 DIPs are 6.
        EXPECT_EQ(p.rowHeight, content.tmHeight + (dpi == 96 ? 7 : 11));
        EXPECT_EQ(p.monoTextHeight, mono.tmHeight);
        EXPECT_EQ(p.monoLineHeight, mono.tmHeight + (dpi == 96 ? 4 : 6));
        EXPECT_EQ(p.monoCharWidth, mono.tmAveCharWidth);
        // Where neither monospace face is installed, the fallback is monospace too (the bit is
        // set for a variable pitch).
        EXPECT_EQ(mono.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "the source view's font has a fixed pitch";
        if (dpi == 144) {
            EXPECT_GT(p.rowHeight, 18 + 11 - 1);
        }
    }
}

TEST(PaletteWindows, ContentFontFollowsTheSettings) {
    Palette p;
    p.contentFontName = L"Liberation Sans Narrow";
    p.contentFontSize = 105;
    BuildPaletteAtDpi(p, 144, kThemeLight, false);
    EXPECT_EQ(fontOf(p.contentFont).lfHeight, -21);  // MulDiv(105, 144, 720)
    EXPECT_STREQ(fontOf(p.contentFont).lfFaceName, L"Liberation Sans Narrow");  // as asked, installed or not
    EXPECT_EQ(fontOf(p.monoFont).lfHeight, -21);
    const wchar_t* mono = FontInstalled(L"Cascadia Mono") ? L"Cascadia Mono" : L"Consolas";
    EXPECT_STREQ(fontOf(p.monoFont).lfFaceName, mono);
    const wchar_t* icons = FontInstalled(L"Segoe Fluent Icons") ? L"Segoe Fluent Icons" : L"Segoe MDL2 Assets";
    EXPECT_STREQ(fontOf(p.iconFont).lfFaceName, icons);
    EXPECT_STREQ(fontOf(p.smallIconFont).lfFaceName, icons);

    // A rebuild replaces the fonts; the old handles are deleted.
    HFONT before = p.contentFont;
    BuildPaletteAtDpi(p, 96, kThemeLight, false);
    EXPECT_EQ(GetObjectType(before), 0u);
}

// Font enumeration callback (a stdcall function, which a lambda is not in the 32-bit build):
// keeps the first family's name and stops.
static int CALLBACK keepFirstFamily(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM out) {
    *reinterpret_cast<std::wstring*>(out) = lf->lfFaceName;
    return 0;
}

TEST(PaletteWindows, FontInstalledAndLongFaceNames) {
    // Any family the system lists must count as installed.
    std::wstring listed;
    {
        LOGFONTW all{};
        all.lfCharSet = DEFAULT_CHARSET;
        ScreenDc screen;
        EnumFontFamiliesExW(screen.get(), &all, keepFirstFamily, reinterpret_cast<LPARAM>(&listed), 0);
    }
    ASSERT_FALSE(listed.empty());
    EXPECT_TRUE(FontInstalled(listed.c_str())) << qmtest::u8(listed);
    EXPECT_FALSE(FontInstalled(L"Quillmap No Such Face"));
    FontHandle font(MakeFont(L"A Face Name Of Forty Characters In Total", 90, FW_NORMAL, 96));
    ASSERT_TRUE(font);
    EXPECT_STREQ(fontOf(font.get()).lfFaceName, L"A Face Name Of Forty Characters");  // 31 characters
}

TEST(PaletteWindows, SchemeFromTheThemesFolderIsLaidOver) {
    qmtest::FakeModule module;
    ASSERT_TRUE(module.ok());
    const std::wstring themes = module.folder() + L"Themes\\";
    ASSERT_TRUE(CreateDirectoryW(themes.c_str(), nullptr));
    qmtest::writeTextFile(themes + L"night.json",
                          R"({"name": "Test Night", "type": "dark", "colors": {"editor.background": "#101010",
                              "editor.foreground": "#E0E0E0", "editor.inactiveSelectionBackground": "#101010"},
                              "tokenColors": [{"scope": "string", "settings": {"foreground": "#00FF00"}}]})");
    Palette p;
    p.darkSchemeName = L"test NIGHT";
    p.lightSchemeName = L"Test Night";  // a dark scheme is never used in light mode
    BuildPaletteAtDpi(p, 96, kThemeDark, false);
    EXPECT_EQ(hex(p.color(ColorSlot::background)), "#101010");
    EXPECT_EQ(hex(p.color(ColorSlot::text)), "#E0E0E0");
    EXPECT_EQ(hex(p.color(ColorSlot::inactiveSelection)), "#2D2D2D");  // 16 + 208 * 0.14 = 45.12
    EXPECT_EQ(hex(p.color(ColorSlot::string)), "#00FF00");
    EXPECT_EQ(hex(p.color(ColorSlot::tag)), "#E0E0E0");  // no rule: the foreground
    BuildPaletteAtDpi(p, 96, kThemeLight, false);
    EXPECT_EQ(hex(p.color(ColorSlot::background)), "#FFFFFF");
    EXPECT_EQ(hex(p.color(ColorSlot::string)), "#2E7D32");
}

TEST(PaletteWindows, ApplyPaletteResetsTheSearchBox) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    HWND search = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 100, 20, parent, nullptr, nullptr, nullptr);
    HWND view = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VSCROLL, 0, 20, 100, 50, parent, nullptr, nullptr, nullptr);
    BrushHandle brush(CreateSolidBrush(RGB(1, 2, 3)));
    const HBRUSH old = brush.get();
    AppearanceTargets targets;
    targets.searchBox = search;
    targets.searchBrush = &brush;
    targets.views[0] = view;
    Palette p;
    ApplyPalette(p, parent, kThemeDark, false, targets);
    EXPECT_TRUE(p.isDark);
    EXPECT_FALSE(brush);
    EXPECT_EQ(GetObjectType(old), 0u);  // deleted, not leaked
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(search, WM_GETFONT, 0, 0)), p.uiFont);
    SetDarkTitleBar(parent, true);  // must not fail on a system without the attribute
    DestroyWindow(parent);
}
