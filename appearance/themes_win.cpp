// The "Themes\" folder beside the plug-in module: listing it, reading its files, and keeping the
// process-wide scheme list, rebuilt only when the listing's signature changes.
#include <windows.h>

#include "appearance/theme.h"
#include "shell/module.h"

namespace qm {

bool readThemeFileBytes(const std::wstring& path, std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = false;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart >= 0 && static_cast<uint64_t>(size.QuadPart) < kMaxThemeFileBytes) {
        bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        ok = bytes.empty() || (ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                               read == bytes.size());
    }
    CloseHandle(file);
    return ok;
}

static SchemeCache& schemeCache() {
    static SchemeCache cache;
    return cache;
}

const std::vector<SchemeRef>& LoadSchemes() {
    const std::wstring folder = moduleFolder() + L"Themes\\";
    std::vector<ThemeFolderEntry> entries;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*.json").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            ThemeFolderEntry e;
            e.fileName = found.cFileName;
            e.path = folder + e.fileName;
            e.writeTimeLow = found.ftLastWriteTime.dwLowDateTime;
            e.sizeLow = found.nFileSizeLow;
            entries.push_back(std::move(e));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SchemeCache& cache = schemeCache();
    refreshSchemes(cache, entries, readThemeFileBytes);
    return cache.schemes;
}

SchemeRef FindScheme(const std::wstring& name, bool isDark) {
    if (name.empty()) return nullptr;
    return findScheme(LoadSchemes(), name, isDark);
}

}  // namespace qm
