// The colour rules of the palette that need no window: the built-in light and dark tables, the
// light/dark decision, the accent from the Windows accent palette, and the overlay of a scheme.
// The Windows palette (palette_win.cpp) gathers the inputs and calls these.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "appearance/colour.h"
#include "appearance/slots.h"
#include "appearance/theme.h"

namespace qm {

using PaletteColours = std::array<Colour, static_cast<size_t>(ColorSlot::Count)>;

constexpr Colour kDefaultLightAccent = hexColour(0x005FB8);
constexpr Colour kDefaultDarkAccent = hexColour(0x60CDFF);

// "Theme": 0 automatic, 1 light, 2 dark, 3 like the host.
enum ThemeMode : int { kThemeAutomatic = 0, kThemeLight = 1, kThemeDark = 2, kThemeLikeHost = 3 };

// The dark decision. `appThemeRead` tells whether "AppsUseLightTheme" could be read; it is only
// consulted in automatic mode when the host is not dark.
bool decideDark(int themeMode, bool hostDark, bool appThemeRead, uint32_t appsUseLightTheme);

// The accent from the bytes of "AccentPalette": entry 4 in light mode, entry 1 in dark mode,
// each entry four bytes red, green, blue, unused. Fewer than 32 bytes give the default accent.
Colour accentFromPalette(const uint8_t* data, size_t size, bool dark);

// Every colour slot: the built-in column, accent and its text, selections, the scheme overlay
// (when `scheme` is not null) and last the accent tint and the search's occurrence colours.
PaletteColours computePaletteColours(bool dark, Colour accent, const Scheme* scheme);

inline Colour slotColour(const PaletteColours& colours, ColorSlot slot) { return colours[static_cast<size_t>(slot)]; }

}  // namespace qm
