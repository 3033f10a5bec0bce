// The plug-in module's process-wide instance handle and the folder its file lies in.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <string>

namespace qm {

// Stored at process attach; used for window classes, windows and the module's file name.
extern HINSTANCE moduleHandle;

// The module file's path up to and including its last "\" or "/" (empty when it has none).
std::wstring moduleFolder();

}  // namespace qm
#endif
