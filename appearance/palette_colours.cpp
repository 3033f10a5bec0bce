// Built-in colour tables and the rules that derive and overlay the palette's colours.
#include "appearance/palette_colours.h"

namespace qm {

namespace {

struct SlotDefault {
    ColorSlot slot;
    uint32_t light;  // #RRGGBB
    uint32_t dark;
};

// Slots with a fixed built-in colour. accent, accentText, selection, inactiveSelection,
// accentTint and the two occurrence colours are derived.
constexpr SlotDefault kBuiltIn[] = {
    {ColorSlot::chrome, 0xF3F3F3, 0x202020},
    {ColorSlot::background, 0xFFFFFF, 0x1C1C1C},
    {ColorSlot::surface, 0xFBFBFB, 0x2B2B2B},
    {ColorSlot::border, 0xE5E5E5, 0x3A3A3A},
    {ColorSlot::text, 0x1B1B1B, 0xFFFFFF},
    {ColorSlot::dimText, 0x5D5D5D, 0xC5C5C5},
    {ColorSlot::hover, 0xEAEAEA, 0x2D2D2D},
    {ColorSlot::pressed, 0xE2E2E2, 0x292929},
    {ColorSlot::field, 0xFFFFFF, 0x373737},
    {ColorSlot::stripe, 0xF7F7F7, 0x262626},
    {ColorSlot::gridLine, 0xDCDCDC, 0x3A3A3A},
    {ColorSlot::headerBackground, 0xF0F0F0, 0x2A2A2A},
    {ColorSlot::warning, 0xCA5010, 0xFCA048},
    {ColorSlot::searchFailed, 0xCC4040, 0xCC4040},
    {ColorSlot::tag, 0x1E66C8, 0x6CB6FF},
    {ColorSlot::attributeName, 0xC2410C, 0xF0A060},
    {ColorSlot::string, 0x2E7D32, 0x7BC67E},
    {ColorSlot::comment, 0x6B7280, 0x9CA3AF},
    {ColorSlot::directive, 0x8E44AD, 0xC792EA},
    {ColorSlot::entityType, 0x00838F, 0x4DD0E1},
    {ColorSlot::number, 0x1565C0, 0x79B8FF},
    {ColorSlot::constant, 0x8E24AA, 0xD7A6F7},
};

// The occurrence bands of a search: these hues laid over the content background.
constexpr Colour kCurrentMatchHue = hexColour(0xFF8200);
constexpr Colour kOtherMatchHue = hexColour(0xFFBE00);

constexpr int kAccentEntryLight = 4;
constexpr int kAccentEntryDark = 1;
constexpr size_t kMinAccentPaletteBytes = 32;

}  // namespace

bool decideDark(int themeMode, bool hostDark, bool appThemeRead, uint32_t appsUseLightTheme) {
    switch (themeMode) {
        case kThemeLight: return false;
        case kThemeDark: return true;
        case kThemeLikeHost: return hostDark;
        default: return hostDark || (appThemeRead && appsUseLightTheme == 0);
    }
}

Colour accentFromPalette(const uint8_t* data, size_t size, bool dark) {
    if (!data || size < kMinAccentPaletteBytes) return dark ? kDefaultDarkAccent : kDefaultLightAccent;
    const size_t at = 4 * static_cast<size_t>(dark ? kAccentEntryDark : kAccentEntryLight);
    return makeColour(data[at], data[at + 1], data[at + 2]);
}

PaletteColours computePaletteColours(bool dark, Colour accent, const Scheme* scheme) {
    PaletteColours c{};
    auto at = [&](ColorSlot s) -> Colour& { return c[static_cast<size_t>(s)]; };
    for (const SlotDefault& d : kBuiltIn) at(d.slot) = hexColour(dark ? d.dark : d.light);

    at(ColorSlot::accent) = accent;
    at(ColorSlot::accentText) = luminance(accent) > 0.5 ? hexColour(0x000000) : hexColour(0xFFFFFF);
    const double inactiveShare = dark ? 0.14 : 0.09;
    at(ColorSlot::selection) = blend(at(ColorSlot::background), accent, dark ? 0.35 : 0.22);
    at(ColorSlot::inactiveSelection) = blend(at(ColorSlot::background), at(ColorSlot::text), inactiveShare);

    if (scheme) {
        const Colour bg = scheme->background;
        const Colour fg = scheme->foreground;
        at(ColorSlot::background) = bg;
        at(ColorSlot::text) = fg;
        at(ColorSlot::dimText) = blend(bg, fg, dark ? 0.72 : 0.68);
        at(ColorSlot::gridLine) = blend(bg, fg, 0.16);
        at(ColorSlot::headerBackground) = blend(bg, fg, 0.07);
        at(ColorSlot::stripe) = blend(bg, fg, 0.045);
        at(ColorSlot::selection) = scheme->selection;
        // A theme whose inactive selection is invisible against its background would hide the
        // selection of an unfocused view.
        at(ColorSlot::inactiveSelection) =
            scheme->inactiveSelection == bg ? blend(bg, fg, inactiveShare) : scheme->inactiveSelection;
        for (int k = 0; k < kTokenSlotCount; ++k) at(tokenSlot(k)) = scheme->tokenColours[k];
    }
    at(ColorSlot::accentTint) = blend(at(ColorSlot::background), accent, dark ? 0.16 : 0.09);
    at(ColorSlot::currentMatch) = blend(at(ColorSlot::background), kCurrentMatchHue, dark ? 0.75 : 0.85);
    at(ColorSlot::otherMatch) = blend(at(ColorSlot::background), kOtherMatchHue, dark ? 0.38 : 0.55);
    return c;
}

}  // namespace qm
