// The ten exported Lister functions and the module entry point of Quillmap.wlx64 / Quillmap.wlx.
// Each export converts the host's 8-bit texts where needed and hands over to shell/lister_win.cpp,
// whose functions never let an exception out. The names are exported plain through
// shell/quillmap.def (undecorated also in the 32-bit build, where they are __stdcall).
#include <windows.h>

#include "shell/lister.h"

using qm::ansiToWide;

extern "C" {

HWND __stdcall ListLoadW(HWND parent, const wchar_t* fileName, int showFlags) {
    try {
        return qm::ListerLoad(parent, fileName ? std::wstring(fileName) : std::wstring(), showFlags);
    } catch (...) {
        return nullptr;
    }
}

HWND __stdcall ListLoad(HWND parent, char* fileName, int showFlags) {
    try {
        return qm::ListerLoad(parent, ansiToWide(fileName), showFlags);
    } catch (...) {
        return nullptr;
    }
}

int __stdcall ListLoadNextW(HWND, HWND pluginWindow, const wchar_t* fileName, int) {
    try {
        return qm::ListerLoadNext(pluginWindow, fileName ? std::wstring(fileName) : std::wstring());
    } catch (...) {
        return qm::LISTPLUGIN_ERROR;
    }
}

int __stdcall ListLoadNext(HWND, HWND pluginWindow, char* fileName, int) {
    try {
        return qm::ListerLoadNext(pluginWindow, ansiToWide(fileName));
    } catch (...) {
        return qm::LISTPLUGIN_ERROR;
    }
}

void __stdcall ListCloseWindow(HWND pluginWindow) { qm::ListerClose(pluginWindow); }

void __stdcall ListGetDetectString(char* detectString, int maxLength) {
    qm::copyDetectString(detectString, maxLength);
}

int __stdcall ListSearchTextW(HWND pluginWindow, const wchar_t* searchString, int searchParameter) {
    try {
        return qm::ListerSearchText(pluginWindow, searchString ? std::wstring(searchString) : std::wstring(),
                                    searchParameter);
    } catch (...) {
        return qm::LISTPLUGIN_ERROR;
    }
}

int __stdcall ListSearchText(HWND pluginWindow, char* searchString, int searchParameter) {
    try {
        return qm::ListerSearchText(pluginWindow, ansiToWide(searchString), searchParameter);
    } catch (...) {
        return qm::LISTPLUGIN_ERROR;
    }
}

int __stdcall ListSendCommand(HWND pluginWindow, int command, int parameter) {
    return qm::ListerSendCommand(pluginWindow, command, parameter);
}

void __stdcall ListSetDefaultParams(qm::ListDefaultParamStruct* params) {
    qm::ListerSetDefaultParams(params);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) qm::ModuleAttach(instance);
    else if (reason == DLL_PROCESS_DETACH) qm::ModuleDetach();
    return TRUE;
}

}  // extern "C"
