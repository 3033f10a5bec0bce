#include "tests/support/winfiles.h"

#include <windows.h>

namespace qmtest {

std::wstring tempFolder() {
    wchar_t buf[MAX_PATH];
    GetTempPathW(MAX_PATH, buf);
    std::wstring dir = std::wstring(buf) + L"quillmap-tests-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::wstring writeTempFile(const std::wstring& name, const std::string& bytes) {
    std::wstring path = tempFolder() + L"\\" + name;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::wstring();
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return path;
}

std::string fileBytes(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out(GetFileSize(h, nullptr), '\0');
    DWORD read = 0;
    if (!out.empty()) ReadFile(h, out.data(), DWORD(out.size()), &read, nullptr);
    CloseHandle(h);
    return out;
}

bool runUnixCommand(const std::wstring& folder, const std::wstring& command) {
    // Wine hands back no process handle for a Unix program: the command's last step leaves a
    // marker file, which is waited for.
    static int serial = 0;
    const std::wstring marker = L"unix-done-" + std::to_wstring(++serial);
    std::wstring line = L"sh -c \"" + command + L" && : > " + marker + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return false;
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);
    const std::wstring done = folder + L"\\" + marker;
    for (int i = 0; i < 1000 && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
    return DeleteFileW(done.c_str()) != 0;
}

}  // namespace qmtest
