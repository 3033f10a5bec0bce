// Building the palette from the Windows side: registry reads of the app theme and the accent,
// the DPI, the scheme overlay, fonts with their fallbacks and the line metrics.
#include "appearance/palette.h"

#include <dwmapi.h>
#include <uxtheme.h>

#include "appearance/draw_win.h"
#include "appearance/theme.h"

namespace qm {

namespace {

const wchar_t kPersonalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const wchar_t kAccentKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Accent";
constexpr DWORD kAccentPaletteBufferBytes = 64;

// Attribute numbers of DwmSetWindowAttribute for the dark title bar: 20 since Windows 10 20H1,
// 19 before it.
constexpr DWORD kDwmUseImmersiveDarkMode = 20;
constexpr DWORD kDwmUseImmersiveDarkModeOld = 19;

constexpr int kRowPaddingDips = 7;
constexpr int kMonoLinePaddingDips = 4;

bool readCurrentUserValue(const wchar_t* key, const wchar_t* name, DWORD expectedType, void* data, DWORD& size) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(handle, name, nullptr, &type, static_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS && type == expectedType;
}

int CALLBACK countFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return 0;  // one family is enough
}

// Text height and average character width of a font, measured on the screen.
TEXTMETRICW fontMetrics(HFONT font) {
    TEXTMETRICW tm{};
    ScreenDc screen;
    if (!screen.get()) return tm;
    SelectObjectGuard select(screen.get(), font);
    GetTextMetricsW(screen.get(), &tm);
    return tm;
}

}  // namespace

void Palette::deleteFonts() {
    for (FontHandle* f : {&uiFont, &uiFontSemibold, &titleFont, &iconFont, &smallIconFont, &badgeFont, &contentFont,
                          &monoFont})
        f->reset();
}

unsigned windowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    // Looked up once: older systems do not have it.
    static const GetDpiForWindowFn getDpiForWindow = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        return user32 ? reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                      : nullptr;
    }();
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    ScreenDc screen;
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

bool paletteIsDark(int themeMode, bool hostDark) {
    DWORD value = 1;
    DWORD size = sizeof value;
    const bool needsWindows = (themeMode < kThemeLight || themeMode > kThemeLikeHost) && !hostDark;
    const bool read = needsWindows && readCurrentUserValue(kPersonalizeKey, L"AppsUseLightTheme", REG_DWORD, &value, size) &&
                      size == sizeof value;
    return decideDark(themeMode, hostDark, read, value);
}

Colour systemAccent(bool dark) {
    BYTE data[kAccentPaletteBufferBytes] = {};
    DWORD size = sizeof data;
    if (!readCurrentUserValue(kAccentKey, L"AccentPalette", REG_BINARY, data, size)) size = 0;
    return accentFromPalette(data, size, dark);
}

bool FontInstalled(const wchar_t* face) {
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
    ScreenDc screen;
    if (!screen.get()) return false;
    int families = 0;
    EnumFontFamiliesExW(screen.get(), &lf, countFamily, reinterpret_cast<LPARAM>(&families), 0);
    return families > 0;
}

HFONT MakeFont(const std::wstring& face, int tenthsOfPoint, int weight, unsigned dpi, bool fixedPitch) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(tenthsOfPoint, static_cast<int>(dpi), 720);
    lf.lfWeight = weight;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = CLEARTYPE_QUALITY;
    // A fixed-pitch request makes the font mapper's fallback, where the face is missing, a
    // monospace face as well.
    lf.lfPitchAndFamily = fixedPitch ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE;
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);  // at most 31 characters and the zero
    return CreateFontIndirectW(&lf);
}

void BuildPalette(Palette& palette, HWND window, int themeMode, bool hostDark) {
    BuildPaletteAtDpi(palette, windowDpi(window), themeMode, hostDark);
}

void BuildPaletteAtDpi(Palette& p, unsigned dpi, int themeMode, bool hostDark) {
    p.deleteFonts();
    p.dpi = dpi;
    p.isDark = paletteIsDark(themeMode, hostDark);
    const SchemeRef scheme = FindScheme(p.isDark ? p.darkSchemeName : p.lightSchemeName, p.isDark);
    p.colours = computePaletteColours(p.isDark, systemAccent(p.isDark), scheme.get());

    const wchar_t* iconFace = FontInstalled(L"Segoe Fluent Icons") ? L"Segoe Fluent Icons" : L"Segoe MDL2 Assets";
    const wchar_t* monoFace = FontInstalled(L"Cascadia Mono") ? L"Cascadia Mono" : L"Consolas";
    const std::wstring contentFace = p.contentFontName.empty() ? std::wstring(L"Segoe UI") : p.contentFontName;
    p.uiFont.reset(MakeFont(L"Segoe UI", 90, FW_NORMAL, dpi));
    p.uiFontSemibold.reset(MakeFont(L"Segoe UI", 90, FW_SEMIBOLD, dpi));
    p.titleFont.reset(MakeFont(L"Segoe UI", 110, FW_SEMIBOLD, dpi));
    p.iconFont.reset(MakeFont(iconFace, 105, FW_NORMAL, dpi));
    p.smallIconFont.reset(MakeFont(iconFace, 70, FW_NORMAL, dpi));
    p.badgeFont.reset(MakeFont(L"Segoe UI", 70, FW_BOLD, dpi));
    p.contentFont.reset(MakeFont(contentFace, p.contentFontSize, FW_NORMAL, dpi));
    p.monoFont.reset(MakeFont(monoFace, p.contentFontSize, FW_NORMAL, dpi, true));

    const int dpiValue = static_cast<int>(dpi);
    const TEXTMETRICW content = fontMetrics(p.contentFont);
    p.rowHeight = content.tmHeight + MulDiv(kRowPaddingDips, dpiValue, 96);
    const TEXTMETRICW mono = fontMetrics(p.monoFont);
    p.monoTextHeight = mono.tmHeight;
    p.monoLineHeight = mono.tmHeight + MulDiv(kMonoLinePaddingDips, dpiValue, 96);
    p.monoCharWidth = mono.tmAveCharWidth;
}

void SetDarkTitleBar(HWND window, bool isDark) {
    const BOOL value = isDark ? TRUE : FALSE;
    if (FAILED(DwmSetWindowAttribute(window, kDwmUseImmersiveDarkMode, &value, sizeof value)))
        DwmSetWindowAttribute(window, kDwmUseImmersiveDarkModeOld, &value, sizeof value);
}

void ThemeScrollBars(HWND window, bool isDark) {
    if (window) SetWindowTheme(window, isDark ? L"DarkMode_Explorer" : L"Explorer", nullptr);
}

void ApplyPalette(Palette& palette, HWND window, int themeMode, bool hostDark, const AppearanceTargets& targets) {
    BuildPalette(palette, window, themeMode, hostDark);
    if (targets.searchBrush) targets.searchBrush->reset();
    if (targets.searchBox)
        SendMessageW(targets.searchBox, WM_SETFONT, reinterpret_cast<WPARAM>(palette.uiFont.get()), TRUE);
    for (HWND view : targets.views) ThemeScrollBars(view, palette.isDark);
}

void RepaintAll(HWND window) {
    if (window) RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void SendClientSize(HWND window) {
    if (!window) return;
    RECT rc{};
    GetClientRect(window, &rc);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right - rc.left, rc.bottom - rc.top));
}

}  // namespace qm
