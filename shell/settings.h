// The settings file "Quillmap.ini", section "Quillmap": the values it holds with their defaults
// and ranges, the parsing of the two texts ("SearchKey", "FontSize"), and on Windows the choice
// of the file's place, reading and writing through the profile functions.
#pragma once

#include <string>

namespace qm {

constexpr int kMinSplitDips = 80;
constexpr int kMinFontTenths = 60;
constexpr int kMaxFontTenths = 320;
constexpr int kDefaultFontTenths = 90;

// "View": the three views, in the order of the setting and of Ctrl+1..3.
enum ViewIndex : int { kViewTree = 0, kViewGrid = 1, kViewSource = 2, kViewCount = 3 };
// "Buttons": where the buttons are.
enum ButtonsMode : int { kButtonsHidden = 0, kButtonsTop = 1, kButtonsStatusBar = 2 };
// "SourceLayout": how the Source view shows a JSON or XML file that parsed cleanly; automatic
// shows it as written unless its lines are very long (minified), then formatted.
enum SourceLayoutSetting : int { kSourceLayoutAutomatic = 0, kSourceLayoutAsWritten = 1, kSourceLayoutFormatted = 2 };
// "Search": where the search field is.
enum SearchMode : int { kSearchFieldNone = 0, kSearchFieldShown = 1, kSearchFieldBehindButton = 2 };

// Every setting with its default. The main window holds one record of them as its live state.
struct Settings {
    int activeView = kViewTree;  // "View"
    int split = 300;          // "Split": tree name-column width in DIPs
    bool autoFit = false;     // "AutoFit"
    bool showCounts = true;   // "Counts"
    int buttonsMode = kButtonsTop;      // "Buttons"
    int searchMode = kSearchFieldNone;  // "Search"
    bool searchRegex = false; // "SearchRegex"
    bool searchFilter = false;  // "SearchFilter": the search box filters the Tree and the Grid
    int sourceLayout = kSourceLayoutAutomatic;  // "SourceLayout"
    wchar_t searchKeyChar = L'F';  // "SearchKey" (never written); 0 switches the shortcut off
    bool searchKeyShift = true;
    int themeMode = 0;        // "Theme": 0 automatic, 1 light, 2 dark, 3 like the host
    std::wstring lightSchemeName;  // "LightScheme"
    std::wstring darkSchemeName;   // "DarkScheme"
    std::wstring contentFontName = L"Segoe UI";  // "Font"
    int contentFontSize = kDefaultFontTenths;    // "FontSize", in tenths of a point
};

int clampSetting(int value, int low, int high);
// A decimal number (leading blanks, sign, digits, fraction, exponent; reading stops at the first
// character that does not fit, no number is 0) in tenths, rounded half up, clamped to 60..320.
int parseFontSize(const std::wstring& text);
// Tenths as the file keeps them: 90 is "9", 105 is "10.5".
std::wstring formatFontSize(int tenths);
// "Ctrl+Shift+F", "Shift+F", "Ctrl+K": the key is the character after the last "+" (or the
// first character without a "+"), upper-cased when it is a letter or digit, else 0 (off).
void parseSearchKey(const std::wstring& text, wchar_t& keyChar, bool& shift);

#ifdef _WIN32
// Full path of the settings file; empty means no file is used (defaults, nothing written).
extern std::wstring settingsPath;

// Chooses settingsPath once per process: beside the module when that folder is writable, else
// beside the host's INI file; a new file receives the host's old "Quillmap" section.
void InitSettingsPath(const std::wstring& hostIniPath);
void ReadSettings(Settings& settings);
void SaveSettings(const Settings& settings);
#endif

}  // namespace qm
