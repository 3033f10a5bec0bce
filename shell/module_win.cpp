// The module handle shared by every part of the plug-in, and the folder of the module file that
// the settings file and the theme folder are found beside.
#include "shell/module.h"

namespace qm {

HINSTANCE moduleHandle = nullptr;

std::wstring moduleFolder() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(moduleHandle, buffer, MAX_PATH);
    std::wstring path(buffer, n < MAX_PATH ? n : MAX_PATH);
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

}  // namespace qm
