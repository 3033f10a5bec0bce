// The context menu on Windows: the entries become a popup menu shown at the point the view gives,
// and the chosen command runs on the main window; the font dialog for the content font.
#include <windows.h>
#include <windowsx.h>
#include <commdlg.h>

#include <cwchar>
#include <memory>

#include "edit/editing.h"
#include "shell/chrome_win.h"
#include "shell/clipboard.h"
#include "shell/mainwindow.h"
#include "views/viewwindow_win.h"
#include "shell/menu.h"
#include "shell/settings.h"

namespace qm {

namespace {

constexpr int kFontDialogMinPoints = 6;
constexpr int kFontDialogMaxPoints = 32;
constexpr int kPointsPerInchTenths = 720;  // LOGPIXELSY counts pixels per 72 points
constexpr DWORD kFontDialogFlags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE | CF_NOSCRIPTSEL | CF_NOVERTFONTS;

int trackWithPopupMenu(HMENU menu, HWND owner, POINT at) {
    return static_cast<int>(TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x, at.y, 0, owner, nullptr));
}

// The menu's two levels (the submenus hold only commands), appended in order; false when
// Windows refused an item.
bool appendEntries(HMENU menu, const std::vector<MenuEntry>& entries) {
    for (const MenuEntry& e : entries) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        item.fType = e.separator ? MFT_SEPARATOR : (e.radio ? MFT_RADIOCHECK : MFT_STRING);
        item.fState = (e.grayed ? MFS_GRAYED : MFS_ENABLED) | (e.checked ? MFS_CHECKED : MFS_UNCHECKED);
        item.wID = static_cast<UINT>(e.id);
        item.dwTypeData = const_cast<wchar_t*>(e.text.c_str());
        if (e.separator) item.fMask = MIIM_FTYPE;
        if (!e.submenu.empty()) {
            HMENU sub = CreatePopupMenu();
            if (!sub) return false;
            if (!appendEntries(sub, e.submenu)) {
                DestroyMenu(sub);
                return false;
            }
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = sub;
        }
        if (!InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &item)) {
            if (item.hSubMenu) DestroyMenu(item.hSubMenu);
            return false;
        }
    }
    return true;
}


MenuState menuStateOf(MainWindow& main) {
    MenuState s;
    const Settings& set = main.settings;
    s.view = set.activeView;
    if (const Document* doc = main.document.get()) {
        s.format = doc->format;
        s.isDataFormat = doc->isDataFormat;
        s.isYaml = doc->isYaml;
        s.modified = doc->modified;
        // Only a JSON or XML file that parsed cleanly has both; any other is shown as read.
        s.sourceChoice = doc->sourceText.empty() && doc->root;
        s.sourceAsWritten = showsAsWritten(*doc, main.sourcePane.Layout());
    }
    s.selectionExpandable = main.selected && isExpandable(main.selected);
    s.showCounts = set.showCounts;
    s.autoFit = set.autoFit;
    s.userColumnWidths = main.gridPane.ColumnWidthCount() > 0;
    s.gridTable = main.gridPane.menuTableKey != nullptr;
    const GridBox* table = nullptr;
    int32_t column = -1;
    s.sortableCell = s.view == kViewGrid && main.gridPane.SelectedColumn(table, column);
    s.themeMode = set.themeMode;
    s.buttonsMode = set.buttonsMode;
    s.searchMode = set.searchMode;
    s.schemes = LoadSchemes();
    s.lightScheme = FindScheme(set.lightSchemeName, false);
    s.darkScheme = FindScheme(set.darkSchemeName, true);
    return s;
}

void chooseContentFont(MainWindow& main) {
    Settings& set = main.settings;
    LOGFONTW font{};
    int pixelsPerInch = USER_DEFAULT_SCREEN_DPI;
    if (HDC dc = GetDC(main.window)) {
        pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(main.window, dc);
    }
    font.lfHeight = -MulDiv(set.contentFontSize, pixelsPerInch, kPointsPerInchTenths);
    font.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(font.lfFaceName, set.contentFontName.c_str(), LF_FACESIZE - 1);  // the rest stays zero

    CHOOSEFONTW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetAncestor(main.window, GA_ROOT);
    dialog.lpLogFont = &font;
    dialog.Flags = kFontDialogFlags;
    dialog.nSizeMin = kFontDialogMinPoints;
    dialog.nSizeMax = kFontDialogMaxPoints;
    if (!fontChooser(&dialog)) return;

    set.contentFontName.assign(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE));
    if (dialog.iPointSize >= 1) set.contentFontSize = clampSetting(dialog.iPointSize, kMinFontTenths, kMaxFontTenths);
    main.SaveSettings();
    ApplyAppearance(main, main.hostDark);
}

void chooseScheme(MainWindow& main, int id) {
    // The list is read again: a scheme that left the folder since the menu opened is ignored.
    const SchemeChoice choice = schemeChoiceFor(id, LoadSchemes());
    if (!choice.valid) return;
    Settings& set = main.settings;
    (choice.isDark ? set.darkSchemeName : set.lightSchemeName) = choice.name;
    set.themeMode = themeAfterSchemeChoice(set.themeMode, main.palette.isDark, choice.isDark);
    main.SaveSettings();
    ApplyAppearance(main, main.hostDark);
}

void setButtonsMode(MainWindow& main, int mode) {
    main.settings.buttonsMode = mode;
    main.SaveSettings();
    LayoutChrome(main);
}

void toggleSearchField(MainWindow& main) {
    main.settings.searchMode = main.settings.searchMode == kSearchFieldNone ? kSearchFieldShown : kSearchFieldNone;
    main.chrome.searchOpen = false;
    main.SaveSettings();
    LayoutChrome(main);
}

void expandSelectedSubtree(MainWindow& main) {
    if (!main.selected) return;
    if (main.settings.activeView == kViewGrid)
        main.gridPane.ExpandSubtree(main.selected);
    else
        main.treePane.ExpandSubtree(main.selected);
}

void resetColumnWidths(MainWindow& main) {
    main.gridPane.ClearColumnWidths();
    main.gridPane.Relayout();
    main.RepaintActiveView();
}

}  // namespace

MenuTracker menuTracker = trackWithPopupMenu;
FontChooser fontChooser = ChooseFontW;

HMENU BuildContextMenu(MainWindow& main) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return nullptr;
    if (!appendEntries(menu, buildMenuEntries(menuStateOf(main)))) {
        DestroyMenu(menu);
        return nullptr;
    }
    return menu;
}

void RunMenuCommand(MainWindow& main, int id) {
    if (!main.document) return;
    Settings& set = main.settings;
    switch (id) {
        case kCmdCopyValue: case kCmdCopyName: case kCmdCopyPath: case kCmdCopyAs: RunCopyCommand(main, id); return;
        case kCmdExpandSubtree: expandSelectedSubtree(main); return;
        case kCmdExpandAll: main.ExpandCollapseAll(true); return;
        case kCmdCollapseAll: main.ExpandCollapseAll(false); return;
        case kCmdAutoFit: main.SetAutoFit(!set.autoFit); return;
        case kCmdResetWidths: resetColumnWidths(main); return;
        case kCmdThemeAutomatic: case kCmdThemeLight: case kCmdThemeDark: case kCmdThemeHost:
            set.themeMode = id - kCmdThemeAutomatic;
            main.SaveSettings();
            ApplyAppearance(main, main.hostDark);
            return;
        case kCmdFont: chooseContentFont(main); return;
        case kCmdCounts: main.SetShowCounts(!set.showCounts); return;
        case kCmdCopySource: main.sourcePane.CopyWholeText(); return;
        case kCmdCopyTable: CopyGridTable(main); return;
        case kCmdSortByColumn: main.gridPane.SortBySelectedColumn(); return;
        case kCmdGoToPath: GoToPath(main); return;
        case kCmdEditValue: EditSelectedValue(main); return;
        case kCmdSaveChanges: SaveChanges(main); return;
        case kCmdButtonsTop: setButtonsMode(main, kButtonsTop); return;
        case kCmdButtonsStatusBar: setButtonsMode(main, kButtonsStatusBar); return;
        case kCmdButtonsHidden: setButtonsMode(main, kButtonsHidden); return;
        case kCmdSearchField: toggleSearchField(main); return;
        case kCmdSourceAsWritten:
        case kCmdSourceFormatted:
            set.sourceLayout = id == kCmdSourceAsWritten ? kSourceLayoutAsWritten : kSourceLayoutFormatted;
            main.SaveSettings();
            main.sourcePane.ResetForDocument();
            return;
        default: chooseScheme(main, id); return;
    }
}

void CopyGridTable(MainWindow& main) {
    StopTableCopy(main);
    const GridBox* table = main.gridPane.FindTable(main.gridPane.menuTableKey);
    if (!table || table->type != GridBoxType::Table || !table->frame->key || !main.document) return;
    main.tableCopy = std::make_unique<TableCopy>(*table->frame, *main.document);
    // The first slice at once: a table of ordinary size is copied with it.
    ContinueTableCopy(main);
}

void ContinueTableCopy(MainWindow& main) {
    if (!main.tableCopy) return;
    bool done = main.tableCopy->Step(kTableCopySliceRecords);
    while (!done && !main.window) done = main.tableCopy->Step(kTableCopySliceRecords);
    if (!NextSliceOrDone(main, kTableCopyTimer, done)) return;
    const std::unique_ptr<TableCopy> finished = std::move(main.tableCopy);
    if (!finished->Text().empty()) CopyTextToClipboard(main.window, finished->Text());
}

bool StopTableCopy(MainWindow& main) {
    if (!main.tableCopy) return false;
    main.tableCopy.reset();
    if (main.window) KillTimer(main.window, kTableCopyTimer);
    main.RepaintStatus();
    return true;
}

LRESULT ShowViewContextMenu(MainWindow& main, HWND view, LPARAM lParam, POINT keyboardPoint) {
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (pt.x == -1 && pt.y == -1) {
        pt = keyboardPoint;
        ClientToScreen(view, &pt);
    }
    ShowContextMenu(main, view, pt);
    return 0;
}

void ShowContextMenu(MainWindow& main, HWND owner, POINT screenPoint) {
    if (!main.document) return;
    HMENU menu = BuildContextMenu(main);
    if (!menu) return;
    const int id = menuTracker(menu, owner, screenPoint);
    DestroyMenu(menu);
    RunMenuCommand(main, id);
}

bool IsContextMenuKey(UINT message, WPARAM key) {
    switch (message) {
        case WM_KEYDOWN: case WM_KEYUP: case WM_SYSKEYDOWN: case WM_SYSKEYUP:
            return key == VK_APPS || (key == VK_F10 && GetKeyState(VK_SHIFT) < 0);
        default:
            return false;
    }
}

}  // namespace qm
