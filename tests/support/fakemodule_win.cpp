// Temporary folders, a module stand-in, small file helpers and Unix programs for the Windows tests.
#include "tests/support/fakemodule_win.h"

#include <functional>
#include <vector>

#include "shell/module.h"

namespace qmtest {

std::wstring makeTempFolder(const wchar_t* prefix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        std::wstring folder = std::wstring(temp) + prefix + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::to_wstring(++counter) + L"\\";
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    }
}

void removeTree(const std::wstring& folder) {
    if (folder.empty()) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        std::vector<std::wstring> subfolders;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                subfolders.push_back(path + L"\\");
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
        for (const std::wstring& sub : subfolders) removeTree(sub);  // test folders are shallow
    }
    RemoveDirectoryW(folder.c_str());
}

FakeModule::FakeModule(const wchar_t* fileName) {
    folder_ = makeTempFolder(L"qm_module_");
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring copy = folder_ + fileName;
    if (folder_.empty() || !CopyFileW(self, copy.c_str(), TRUE)) return;
    // Mapped without running anything of it: only its file name matters.
    module_ = LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    previous_ = qm::moduleHandle;
    if (module_) qm::moduleHandle = module_;
}

FakeModule::~FakeModule() {
    if (module_) {
        qm::moduleHandle = previous_;
        FreeLibrary(module_);
    }
    removeTree(folder_);
}

std::wstring readTextFile(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return L"<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    CloseHandle(f);
    return std::wstring(bytes.begin(), bytes.end());
}

void writeTextFile(const std::wstring& path, const std::string& text) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD n = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(f);
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool startUnixProgram(const std::wstring& commandLine) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = commandLine;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

bool canCreateFileIn(const std::wstring& folder) {
    HANDLE f = CreateFileW((folder + L"qm_probe.tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    CloseHandle(f);
    return true;
}

bool waitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 100; ++i) {
        if (condition()) return true;
        Sleep(20);
    }
    return false;
}

std::wstring unixPath(const std::wstring& windowsPath) {
    // Wine's own kernel32 export; its result is allocated on the process heap.
    using UnixNameFn = char*(CDECL*)(const wchar_t*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto toUnix = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (!toUnix) return std::wstring();
    char* name = toUnix(windowsPath.c_str());
    if (!name) return std::wstring();
    std::string narrow(name);
    HeapFree(GetProcessHeap(), 0, name);
    return std::wstring(narrow.begin(), narrow.end());
}

}  // namespace qmtest
