// The palette: colours, fonts and metrics of all drawing in one plug-in window, built from the
// "Theme" setting, the host's dark flag, the Windows app theme and accent, the monitor's DPI and
// the chosen colour scheme. The main window owns one and hands it to its bars and views.
#pragma once

#include <windows.h>

#include <string>

#include "appearance/draw_win.h"
#include "appearance/palette_colours.h"
#include "appearance/slots.h"

namespace qm {

struct Palette {
    bool isDark = false;
    unsigned dpi = 96;
    PaletteColours colours = computePaletteColours(false, kDefaultLightAccent, nullptr);

    // Deleted before every rebuild and with the palette.
    FontHandle uiFont;
    FontHandle uiFontSemibold;
    FontHandle titleFont;
    FontHandle iconFont;
    FontHandle smallIconFont;
    FontHandle badgeFont;
    FontHandle contentFont;
    FontHandle monoFont;

    // From the settings file.
    std::wstring lightSchemeName;
    std::wstring darkSchemeName;
    std::wstring contentFontName = L"Segoe UI";
    int contentFontSize = 90;  // tenths of a point

    // Pixels; these are the values until the first build.
    int rowHeight = 22;
    int monoLineHeight = 18;
    int monoCharWidth = 8;
    int monoTextHeight = 14;

    Palette() = default;
    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    COLORREF color(ColorSlot slot) const { return slotColour(colours, slot); }
    // n DIPs in pixels at this palette's DPI.
    int scale(int dips) const { return MulDiv(dips, static_cast<int>(dpi), 96); }
    void deleteFonts();
};

// Rebuilds every field for `window`'s DPI (the screen's when it is null or has none).
void BuildPalette(Palette& palette, HWND window, int themeMode, bool hostDark);
// The same with the DPI given: BuildPalette once it has looked the DPI up.
void BuildPaletteAtDpi(Palette& palette, unsigned dpi, int themeMode, bool hostDark);

// DPI of `window` through GetDpiForWindow where the system has it, else of the screen.
unsigned windowDpi(HWND window);
// The dark decision, reading "AppsUseLightTheme" when the mode asks for the Windows setting.
bool paletteIsDark(int themeMode, bool hostDark);
// The Windows accent colour for light or dark mode ("AccentPalette"), or the default.
Colour systemAccent(bool dark);

bool FontInstalled(const wchar_t* face);
// Height -MulDiv(tenthsOfPoint, dpi, 720), DEFAULT_CHARSET, CLEARTYPE_QUALITY, face cut to 31 characters;
// with fixedPitch a monospace face is asked for, so that a missing face falls back to one.
HFONT MakeFont(const std::wstring& face, int tenthsOfPoint, int weight, unsigned dpi, bool fixedPitch = false);

// Dark title bar for the plug-in's top-level windows (About window, edit dialog).
void SetDarkTitleBar(HWND window, bool isDark);
// "DarkMode_Explorer" or "Explorer" visual style, which themes a window's scroll bars.
void ThemeScrollBars(HWND window, bool isDark);

// The windows that ApplyAppearance re-themes besides the main window's own layout.
struct AppearanceTargets {
    HWND searchBox = nullptr;            // gets WM_SETFONT with uiFont
    BrushHandle* searchBrush = nullptr;  // cached background brush of the search box, discarded
    HWND views[3] = {};              // tree, grid and source view windows
};
// ApplyAppearance's steps that need no main-window state: rebuild the palette for `window`,
// discard the search box's brush, give it the new UI font and theme the views' scroll bars. The
// main window then lays its toolbar out again, calls RepaintAll and sends the tree view its size
// (SendClientSize); the grid and source views, still empty, keep no layout of their own.
void ApplyPalette(Palette& palette, HWND window, int themeMode, bool hostDark, const AppearanceTargets& targets);
// Invalidates a window and all its children.
void RepaintAll(HWND window);
// Sends `window` a WM_SIZE with its current client size.
void SendClientSize(HWND window);

}  // namespace qm
