// Where "Quillmap.ini" lives, its one-time migration from the host's INI file, and reading and
// writing it with the profile functions.
#include <windows.h>

#include "shell/module.h"
#include "shell/settings.h"

namespace qm {

std::wstring settingsPath;

namespace {

const wchar_t kSection[] = L"Quillmap";
const wchar_t kFileName[] = L"Quillmap.ini";
constexpr DWORD kMigrateBufferChars = 32;

struct MigratedKey {
    const wchar_t* key;
    const wchar_t* defaultValue;
};
// The settings an older version kept in the host's own INI file, in the order they are copied.
constexpr MigratedKey kMigratedKeys[] = {
    {L"View", L"0"}, {L"Split", L"300"}, {L"AutoFit", L"0"}, {L"Theme", L"0"},
    {L"Font", L"Segoe UI"}, {L"FontSize", L"9"}, {L"Counts", L"1"},
};

std::wstring folderOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int readInt(const wchar_t* key, int defaultValue) {
    if (settingsPath.empty()) return defaultValue;
    return static_cast<int>(GetPrivateProfileIntW(kSection, key, defaultValue, settingsPath.c_str()));
}

std::wstring readText(const wchar_t* key, const wchar_t* defaultValue, DWORD bufferChars) {
    if (settingsPath.empty()) return defaultValue;
    std::wstring buffer(bufferChars, L'\0');
    const DWORD n = GetPrivateProfileStringW(kSection, key, defaultValue, &buffer[0], bufferChars, settingsPath.c_str());
    buffer.resize(n < bufferChars ? n : bufferChars - 1);
    return buffer;
}

void writeText(const wchar_t* key, const std::wstring& value) {
    WritePrivateProfileStringW(kSection, key, value.c_str(), settingsPath.c_str());
}
void writeInt(const wchar_t* key, int value) { writeText(key, std::to_wstring(value)); }
void writeBool(const wchar_t* key, bool value) { writeText(key, value ? L"1" : L"0"); }

}  // namespace

void InitSettingsPath(const std::wstring& hostIniPath) {
    if (!settingsPath.empty()) return;
    std::wstring candidate = moduleFolder() + kFileName;
    bool existed = fileExists(candidate);
    if (!existed) {
        // The folder is writable exactly when a new file can be created in it.
        HANDLE probe = CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
        } else if (!hostIniPath.empty()) {
            candidate = folderOf(hostIniPath) + kFileName;
            existed = fileExists(candidate);
        }
    }
    settingsPath = candidate;
    if (existed) return;

    bool allCopied = true;
    for (const MigratedKey& k : kMigratedKeys) {
        std::wstring value = k.defaultValue;
        if (!hostIniPath.empty()) {
            wchar_t buffer[kMigrateBufferChars] = {};
            GetPrivateProfileStringW(kSection, k.key, k.defaultValue, buffer, kMigrateBufferChars, hostIniPath.c_str());
            value = buffer;
        }
        if (!WritePrivateProfileStringW(kSection, k.key, value.c_str(), settingsPath.c_str())) allCopied = false;
    }
    // The host's section goes only once its values are safely in our own file; otherwise the
    // user's settings would be lost when neither folder takes the new file.
    if (!hostIniPath.empty() && allCopied)
        WritePrivateProfileStringW(kSection, nullptr, nullptr, hostIniPath.c_str());
}

void ReadSettings(Settings& s) {
    s.themeMode = clampSetting(readInt(L"Theme", 0), 0, 3);
    if (!settingsPath.empty()) {
        s.contentFontName = readText(L"Font", L"Segoe UI", 32);
        if (s.contentFontName.empty()) s.contentFontName = L"Segoe UI";
        s.contentFontSize = parseFontSize(readText(L"FontSize", L"9", 16));
        s.lightSchemeName = readText(L"LightScheme", L"", 128);
        s.darkSchemeName = readText(L"DarkScheme", L"", 128);
    } else {
        const Settings defaults;
        s.contentFontName = defaults.contentFontName;
        s.contentFontSize = defaults.contentFontSize;
        s.lightSchemeName = defaults.lightSchemeName;
        s.darkSchemeName = defaults.darkSchemeName;
    }
    s.activeView = clampSetting(readInt(L"View", kViewTree), kViewTree, kViewSource);
    s.autoFit = readInt(L"AutoFit", 0) != 0;
    s.showCounts = readInt(L"Counts", 1) != 0;
    s.buttonsMode = clampSetting(readInt(L"Buttons", kButtonsTop), kButtonsHidden, kButtonsStatusBar);
    s.searchMode = clampSetting(readInt(L"Search", kSearchFieldNone), kSearchFieldNone, kSearchFieldBehindButton);
    s.searchRegex = readInt(L"SearchRegex", 0) != 0;
    s.searchFilter = readInt(L"SearchFilter", 0) != 0;
    s.sourceLayout = clampSetting(readInt(L"SourceLayout", kSourceLayoutAutomatic), kSourceLayoutAutomatic,
                                  kSourceLayoutFormatted);
    parseSearchKey(readText(L"SearchKey", L"Ctrl+Shift+F", 64), s.searchKeyChar, s.searchKeyShift);
    const int split = readInt(L"Split", 300);
    s.split = split < kMinSplitDips ? kMinSplitDips : split;
}

void SaveSettings(const Settings& s) {
    if (settingsPath.empty()) return;
    writeInt(L"View", s.activeView);
    writeInt(L"Split", s.split);
    writeBool(L"AutoFit", s.autoFit);
    writeInt(L"Buttons", s.buttonsMode);
    writeBool(L"Counts", s.showCounts);
    writeInt(L"Search", s.searchMode);
    writeBool(L"SearchRegex", s.searchRegex);
    writeBool(L"SearchFilter", s.searchFilter);
    writeInt(L"SourceLayout", s.sourceLayout);
    writeInt(L"Theme", s.themeMode);
    writeText(L"LightScheme", s.lightSchemeName);
    writeText(L"DarkScheme", s.darkSchemeName);
    writeText(L"Font", s.contentFontName);
    writeText(L"FontSize", formatFontSize(s.contentFontSize));
}

}  // namespace qm
