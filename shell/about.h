// The About window: a small hand-painted modal window with the plug-in's name, version,
// description, developer and web link, run by its own message loop while the host is disabled.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "appearance/palette.h"
#include "shell/version.h"

namespace qm {

struct MainWindow;

constexpr wchar_t kAboutClassName[] = L"QuillmapAbout";

struct AboutState {
    const Palette* palette = nullptr;  // the main window's palette
    HWND window = nullptr;
    bool done = false;
    int hot = 0;  // 0 nothing, 1 the web link, 2 the OK button
    RECT linkRect{};
    RECT okRect{};
    std::wstring description;
    int descriptionHeight = 0;
    bool trackingMouse = false;
};

// The texts the window shows, in the interface language of the moment.
std::wstring aboutDescription();
const wchar_t* aboutDeveloper();
const wchar_t* aboutLinkText();
const wchar_t* aboutLinkAddress();

// Creates the window, runs the modal loop, destroys the window, then focuses `focusAfter`.
// `mainWindow` is the plug-in's main window: its root ancestor owns the About window.
void ShowAboutWindow(HWND mainWindow, const Palette& palette, HWND focusAfter);
// The About window of a main window, with the focus going back to its active view.
void OpenAboutWindow(MainWindow& main);
LRESULT CALLBACK AboutWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// For tests: called once the window is shown, before the modal loop runs.
extern void (*aboutShownHook)(HWND aboutWindow);

}  // namespace qm
#endif
