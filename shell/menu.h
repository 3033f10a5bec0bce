// The context menu as plain data: which items each view shows, in which language, with which
// shortcuts, grayed and checked states, and the Theme, Color scheme and Buttons submenus. On
// Windows the same entries become a popup menu, and one command function runs what was chosen.
#pragma once

#include <string>
#include <vector>

#include "appearance/palette_colours.h"
#include "appearance/theme.h"
#include "document/document.h"

namespace qm {

// Command identifiers beside the copy commands (100 to 103, shell/clipboard.h).
constexpr int kCmdExpandSubtree = 104;
constexpr int kCmdExpandAll = 105;
constexpr int kCmdCollapseAll = 106;
constexpr int kCmdAutoFit = 107;
constexpr int kCmdResetWidths = 108;
// The Theme submenu's ids are 109 + the "Theme" setting.
constexpr int kCmdThemeAutomatic = 109 + kThemeAutomatic;
constexpr int kCmdThemeLight = 109 + kThemeLight;
constexpr int kCmdThemeDark = 109 + kThemeDark;
constexpr int kCmdThemeHost = 109 + kThemeLikeHost;
constexpr int kCmdFont = 113;
constexpr int kCmdCounts = 114;
constexpr int kCmdCopySource = 115;
constexpr int kCmdEditValue = 116;
constexpr int kCmdSaveChanges = 117;
constexpr int kCmdButtonsTop = 118;
constexpr int kCmdButtonsStatusBar = 119;
constexpr int kCmdButtonsHidden = 120;
constexpr int kCmdSearchField = 121;
constexpr int kCmdLightDefault = 122;
constexpr int kCmdDarkDefault = 123;
constexpr int kCmdCopyTable = 124;
constexpr int kCmdGoToPath = 125;
constexpr int kCmdSortByColumn = 126;
constexpr int kCmdSourceAsWritten = 141;
constexpr int kCmdSourceFormatted = 142;
constexpr int kCmdSchemeFirst = 1000;  // 1000 + position in the scheme list

// One entry of the menu: a separator, a command, or a submenu (id 0, with children).
struct MenuEntry {
    int id = 0;
    std::wstring text;
    bool separator = false;
    bool grayed = false;
    bool checked = false;
    bool radio = false;  // one choice of several: the check shows as a dot
    std::vector<MenuEntry> submenu;
};

// What the menu depends on, read from the main window when it opens.
struct MenuState {
    int view = 0;  // kViewTree, kViewGrid or kViewSource
    DocumentFormat format = DocumentFormat::Xml;
    bool isDataFormat = false;
    bool isYaml = false;
    bool modified = false;
    bool selectionExpandable = false;  // a node is selected and it can be expanded
    bool showCounts = false;
    bool autoFit = false;
    bool userColumnWidths = false;  // the grid holds widths the user dragged
    bool gridTable = false;         // the menu was opened over a record table of the grid (or on its selection)
    bool sortableCell = false;      // the selection is a cell of a record table in the grid
    bool sourceChoice = false;      // the Source view can show the file as written or formatted
    bool sourceAsWritten = false;   // and shows it as written
    int themeMode = 0;
    int buttonsMode = 0;
    int searchMode = 0;
    std::vector<SchemeRef> schemes;  // the scheme list, in its order
    SchemeRef lightScheme;           // the current scheme of each group, or none ("Default")
    SchemeRef darkScheme;
};

// The menu's entries in their order, texts in the interface language.
std::vector<MenuEntry> buildMenuEntries(const MenuState& state);

// Where choosing a scheme or a default leaves the settings.
struct SchemeChoice {
    bool valid = false;   // false: the id names no scheme (any more); nothing changes
    bool isDark = false;  // the darkness of the choice
    std::wstring name;    // the new scheme name of that group; empty is "Default"
};
SchemeChoice schemeChoiceFor(int id, const std::vector<SchemeRef>& schemes);
// The theme after a scheme choice: unchanged when its darkness is the palette's, else Dark (2)
// or Light (1) so that the choice shows at once.
int themeAfterSchemeChoice(int themeMode, bool paletteDark, bool choiceDark);

}  // namespace qm

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>

namespace qm {

struct MainWindow;

// Shows a built menu and returns the chosen id (0 for none); the product uses TrackPopupMenu,
// tests put their own in place to read the menu and choose.
using MenuTracker = int (*)(HMENU menu, HWND owner, POINT screenPoint);
// Runs the font dialog; the product uses ChooseFontW.
using FontChooser = BOOL(WINAPI*)(CHOOSEFONTW* dialog);
extern MenuTracker menuTracker;
extern FontChooser fontChooser;

// The popup menu for the main window's present state; the caller destroys it.
HMENU BuildContextMenu(MainWindow& main);
// Runs a command of the menu; ids that name no command do nothing.
void RunMenuCommand(MainWindow& main, int id);
// Whether a key message asks for the context menu: the context-menu key or Shift+F10.
bool IsContextMenuKey(UINT message, WPARAM key);

}  // namespace qm
#endif
