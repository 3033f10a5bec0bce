// What the Lister exports do: loading a file into a new plug-in window, replacing the file,
// closing, search and commands from the host, the settings location, the interface language,
// and the window classes registered once per process and removed at process detach.
#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "document/language.h"
#include "document/load.h"
#include "edit/editing.h"
#include "shell/about.h"
#include "shell/clipboard.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "shell/module.h"
#include "shell/search.h"
#include "shell/settings.h"

namespace qm {

namespace {

bool classesRegistered = false;

struct WindowClass {
    const wchar_t* name;
    UINT style;
    WNDPROC procedure;
};
// In registration order.
const WindowClass kWindowClasses[] = {
    {L"QuillmapMain", 0, MainWindowProc},
    {L"QuillmapTree", CS_DBLCLKS, TreeWindowProc},
    {L"QuillmapGrid", CS_DBLCLKS, GridWindowProc},
    {L"QuillmapSource", CS_DBLCLKS, SourceWindowProc},
    {L"QuillmapAbout", 0, AboutWindowProc},
    {L"QuillmapEdit", 0, EditDialogProc},
    {L"QuillmapListener", 0, SystemListenerProc},
};

constexpr unsigned kPrimaryLanguageMask = 0x3FF;

}  // namespace

void RegisterWindowClasses() {
    if (classesRegistered) return;
    for (const WindowClass& c : kWindowClasses) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = c.style;
        wc.lpfnWndProc = c.procedure;
        wc.hInstance = moduleHandle;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = c.name;
        RegisterClassExW(&wc);
    }
    classesRegistered = true;
}

void UnregisterWindowClasses() {
    for (const WindowClass& c : kWindowClasses) UnregisterClassW(c.name, moduleHandle);
    classesRegistered = false;
}

std::wstring ansiToWide(const char* text, size_t length) {
    if (!text || length == 0) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &out[0], n);
    return out;
}

std::wstring ansiToWide(const char* text) { return text ? ansiToWide(text, std::strlen(text)) : std::wstring(); }

bool displayLanguageIsGerman() { return (GetUserDefaultUILanguage() & kPrimaryLanguageMask) == LANG_GERMAN; }

HWND ListerLoad(HWND parent, const std::wstring& path, int showFlags) noexcept {
    MainWindow* main = nullptr;
    try {
        // The language is chosen before the file is parsed, so that the parse messages of the
        // very first file already come out in the user's language.
        uiGerman = displayLanguageIsGerman();
        auto doc = std::make_unique<Document>();
        doc->recordSpans = true;  // the first edit of the file then needs no parse to find its value
        if (!loadDocument(path, *doc)) return nullptr;
        RegisterWindowClasses();
        main = new MainWindow;
        if (!main->Create(parent, showFlags)) {
            if (!main->ownedByWindow) delete main;
            return nullptr;
        }
        main->SetDocument(std::move(doc), path);
        return main->window;
    } catch (...) {
        // Out of memory or any other failure: decline the file and leave nothing behind.
        if (main) {
            if (main->ownedByWindow && main->window)
                DestroyWindow(main->window);
            else if (!main->ownedByWindow)
                delete main;
        }
        return nullptr;
    }
}

int ListerLoadNext(HWND pluginWindow, const std::wstring& path) noexcept {
    try {
        MainWindow* main = FindMainWindow(pluginWindow);
        if (!main) return LISTPLUGIN_ERROR;
        PromptToSave(*main);
        auto doc = std::make_unique<Document>();
        doc->recordSpans = true;  // the first edit of the file then needs no parse to find its value
        if (!loadDocument(path, *doc)) return LISTPLUGIN_ERROR;
        main->SetDocument(std::move(doc), path);
        return LISTPLUGIN_OK;
    } catch (...) {
        return LISTPLUGIN_ERROR;
    }
}

void ListerClose(HWND pluginWindow) noexcept {
    try {
        if (MainWindow* main = FindMainWindow(pluginWindow)) PromptToSave(*main);
    } catch (...) {
        // The window goes in any case.
    }
    if (pluginWindow) DestroyWindow(pluginWindow);
}

int ListerSearchText(HWND pluginWindow, const std::wstring& text, int flags) noexcept {
    try {
        MainWindow* main = FindMainWindow(pluginWindow);
        if (!main) return LISTPLUGIN_ERROR;
        // A big file's search that goes on in slices shows its outcome in the window when it ends.
        const SearchOutcome outcome = Search(*main, text, flags);
        return outcome == SearchOutcome::Found || outcome == SearchOutcome::Running ? LISTPLUGIN_OK : LISTPLUGIN_ERROR;
    } catch (...) {
        return LISTPLUGIN_ERROR;
    }
}

int ListerSendCommand(HWND pluginWindow, int command, int parameter) noexcept {
    try {
        MainWindow* main = FindMainWindow(pluginWindow);
        if (!main) return LISTPLUGIN_ERROR;
        switch (command) {
            case lc_copy: RunCopyCommand(*main, kCmdCopyValue); return LISTPLUGIN_OK;
            case lc_newparams: ApplyAppearance(*main, (parameter & lcp_darkmode) != 0); return LISTPLUGIN_OK;
            default: return LISTPLUGIN_ERROR;
        }
    } catch (...) {
        return LISTPLUGIN_ERROR;
    }
}

void ListerSetDefaultParams(const ListDefaultParamStruct* params) noexcept {
    try {
        std::wstring iniPath;
        if (params) iniPath = ansiToWide(params->defaultIniName, strnlen(params->defaultIniName, kListerIniNameSize));
        InitSettingsPath(iniPath);
    } catch (...) {
        // Without a settings location the defaults apply.
    }
}

void ModuleAttach(HINSTANCE instance) {
    moduleHandle = instance;
    DisableThreadLibraryCalls(instance);
}

void ModuleDetach() { UnregisterWindowClasses(); }

}  // namespace qm
