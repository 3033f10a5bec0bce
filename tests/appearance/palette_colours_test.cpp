// The palette's colour rules: dark decision, accent entries and accent text, the built-in
// columns with their derived slots, and the overlay of a scheme.
#include <gtest/gtest.h>

#include "appearance/palette_colours.h"

using namespace qm;

namespace {
std::string at(const PaletteColours& p, ColorSlot s) { return colourText(slotColour(p, s)); }
}  // namespace

TEST(PaletteDark, DecisionFollowsModeHostAndWindows) {
    struct Case {
        int mode;
        bool hostDark;
        bool read;
        uint32_t appsUseLight;
        bool dark;
    } cases[] = {
        {kThemeAutomatic, false, true, 0, true},   // Windows apps dark, host not dark
        {kThemeAutomatic, false, true, 1, false},
        {kThemeAutomatic, false, false, 0, false}, // value missing: light
        {kThemeAutomatic, true, true, 1, true},    // host dark wins
        {kThemeLight, true, true, 0, false},
        {kThemeDark, false, true, 1, true},
        {kThemeLikeHost, false, true, 0, false},   // "like the host" ignores Windows
        {kThemeLikeHost, true, true, 1, true},
        {7, false, true, 0, true},                 // any other value is automatic
        {-1, false, true, 5, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(decideDark(k.mode, k.hostDark, k.read, k.appsUseLight), k.dark)
            << "mode " << k.mode << " host " << k.hostDark << " read " << k.read << " value " << k.appsUseLight;
}

TEST(PaletteAccent, TakesEntryFourWhenLightAndOneWhenDark) {
    uint8_t bytes[32];
    for (int i = 0; i < 32; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(accentFromPalette(bytes, 32, false), makeColour(16 * 7, 17 * 7, 18 * 7));
    EXPECT_EQ(accentFromPalette(bytes, 32, true), makeColour(4 * 7, 5 * 7, 6 * 7));
    EXPECT_EQ(accentFromPalette(bytes, 31, false), kDefaultLightAccent);
    EXPECT_EQ(accentFromPalette(nullptr, 0, true), kDefaultDarkAccent);
}

TEST(PaletteAccent, AccentTextContrastsWithTheAccent) {
    struct Case {
        uint32_t accent;
        const char* text;
    } cases[] = {{0xFFFF00, "#000000"}, {0x0000FF, "#FFFFFF"}, {0x005FB8, "#FFFFFF"}, {0x60CDFF, "#000000"},
                 {0x808080, "#000000"}, {0x7F7F7F, "#FFFFFF"}};
    for (const Case& k : cases)
        EXPECT_EQ(at(computePaletteColours(false, hexColour(k.accent), nullptr), ColorSlot::accentText), k.text)
            << colourText(hexColour(k.accent));
}

TEST(PaletteBuiltIn, ColumnsAndDerivedSlots) {
    const PaletteColours light = computePaletteColours(false, kDefaultLightAccent, nullptr);
    const PaletteColours dark = computePaletteColours(true, kDefaultDarkAccent, nullptr);
    EXPECT_EQ(at(light, ColorSlot::background), "#FFFFFF");
    EXPECT_EQ(at(dark, ColorSlot::background), "#1C1C1C");
    EXPECT_EQ(at(light, ColorSlot::warning), "#CA5010");
    EXPECT_EQ(at(dark, ColorSlot::constant), "#D7A6F7");
    EXPECT_EQ(at(light, ColorSlot::tag), "#1E66C8");
    // light selection: 255 + (0x00 - 255) * 0.22 = 198.9, 255 + (0x5F - 255) * 0.22 = 219.8, 255 + (0xB8 - 255) * 0.22 = 239.38
    EXPECT_EQ(at(light, ColorSlot::selection), "#C6DBEF");
    // light inactive selection: 255 + (0x1B - 255) * 0.09 = 234.12
    EXPECT_EQ(at(light, ColorSlot::inactiveSelection), "#EAEAEA");
    // dark selection: 28 + (0x60 - 28) * 0.35 = 51.8, 28 + (0xCD - 28) * 0.35 = 89.95, 28 + (255 - 28) * 0.35 = 107.45
    EXPECT_EQ(at(dark, ColorSlot::selection), "#33596B");
    // dark accent tint: 28 + 68 * 0.16 = 38.88, 28 + 177 * 0.16 = 56.32, 28 + 227 * 0.16 = 64.32
    EXPECT_EQ(at(dark, ColorSlot::accentTint), "#263840");
}

TEST(PaletteScheme, OverlayReplacesContentColoursAndDerivesTheRest) {
    Scheme s;
    s.isDark = true;
    s.background = hexColour(0x000000);
    s.foreground = hexColour(0xC8C8C8);  // 200
    s.selection = hexColour(0x112233);
    s.inactiveSelection = hexColour(0x445566);
    for (int k = 0; k < kTokenSlotCount; ++k) s.tokenColours[k] = makeColour(k, k, k);
    const PaletteColours p = computePaletteColours(true, hexColour(0x0000FF), &s);
    EXPECT_EQ(at(p, ColorSlot::background), "#000000");
    EXPECT_EQ(at(p, ColorSlot::text), "#C8C8C8");
    EXPECT_EQ(at(p, ColorSlot::dimText), "#909090");           // 200 * 0.72 = 144
    EXPECT_EQ(at(p, ColorSlot::gridLine), "#202020");          // 200 * 0.16 = 32
    EXPECT_EQ(at(p, ColorSlot::headerBackground), "#0E0E0E");  // 200 * 0.07 = 14
    EXPECT_EQ(at(p, ColorSlot::stripe), "#090909");            // 200 * 0.045 = 9
    EXPECT_EQ(at(p, ColorSlot::selection), "#112233");
    EXPECT_EQ(at(p, ColorSlot::inactiveSelection), "#445566");
    EXPECT_EQ(at(p, ColorSlot::accentTint), "#000028");        // 255 * 0.16 = 40.8, from the scheme's background
    EXPECT_EQ(at(p, ColorSlot::chrome), "#202020");            // chrome stays built-in
    for (int k = 0; k < kTokenSlotCount; ++k) EXPECT_EQ(slotColour(p, tokenSlot(k)), makeColour(k, k, k)) << k;

    const PaletteColours lightP = computePaletteColours(false, hexColour(0x0000FF), &s);
    EXPECT_EQ(at(lightP, ColorSlot::dimText), "#888888");  // 200 * 0.68 = 136
}

TEST(PaletteSearch, OccurrenceColoursLieOverTheFinalBackground) {
    Scheme s;
    s.isDark = true;
    s.background = hexColour(0x000000);
    s.foreground = hexColour(0xC8C8C8);
    struct {
        const char* what;
        PaletteColours colours;
        const char* current;
        const char* other;
        const char* failed;
    } cases[] = {
        // 255 - 125 * 0.85 = 148.75, 255 * 0.15 = 38.25; 255 - 65 * 0.55 = 219.25, 255 * 0.45 = 114.75
        {"light", computePaletteColours(false, kDefaultLightAccent, nullptr), "#FF9426", "#FFDB72", "#CC4040"},
        // 28 + 227 * 0.75 = 198.25, 28 + 102 * 0.75 = 104.5, 28 * 0.25 = 7;
        // 28 + 227 * 0.38 = 114.26, 28 + 162 * 0.38 = 89.56
        {"dark", computePaletteColours(true, kDefaultDarkAccent, nullptr), "#C66807", "#725911", "#CC4040"},
        // a scheme's background: 255 * 0.75 = 191.25, 130 * 0.75 = 97.5; 255 * 0.38 = 96.9, 190 * 0.38 = 72.2
        {"scheme", computePaletteColours(true, kDefaultDarkAccent, &s), "#BF6100", "#604800", "#CC4040"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(at(c.colours, ColorSlot::currentMatch), c.current) << c.what;
        EXPECT_EQ(at(c.colours, ColorSlot::otherMatch), c.other) << c.what;
        EXPECT_EQ(at(c.colours, ColorSlot::searchFailed), c.failed) << c.what;
    }
}

TEST(PaletteScheme, InvisibleInactiveSelectionIsComputed) {
    Scheme s;
    s.background = hexColour(0x000000);
    s.foreground = hexColour(0xC8C8C8);
    s.selection = hexColour(0x112233);
    s.inactiveSelection = s.background;
    EXPECT_EQ(at(computePaletteColours(true, 0, &s), ColorSlot::inactiveSelection), "#1C1C1C");   // 200 * 0.14 = 28
    EXPECT_EQ(at(computePaletteColours(false, 0, &s), ColorSlot::inactiveSelection), "#121212");  // 200 * 0.09 = 18
}
