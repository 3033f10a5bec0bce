// The context menu's entries for a state, and where a scheme choice leaves the settings.
#include "shell/menu.h"

#include "document/language.h"
#include "shell/clipboard.h"
#include "shell/settings.h"

namespace qm {

namespace {

MenuEntry command(int id, const wchar_t* english, const wchar_t* german, bool grayed = false, bool checked = false) {
    MenuEntry e;
    e.id = id;
    e.text = tr(english, german);
    e.grayed = grayed;
    e.checked = checked;
    return e;
}

MenuEntry separator() {
    MenuEntry e;
    e.separator = true;
    return e;
}

MenuEntry submenu(const wchar_t* english, const wchar_t* german, std::vector<MenuEntry> items) {
    MenuEntry e;
    e.text = tr(english, german);
    e.submenu = std::move(items);
    return e;
}

MenuEntry copyPathEntry(const MenuState& s) {
    if (!s.isDataFormat) return command(kCmdCopyPath, L"Copy XPath\tCtrl+Shift+C", L"XPath kopieren\tStrg+Umschalt+C");
    if (s.format == DocumentFormat::Json || s.format == DocumentFormat::JsonLines)
        return command(kCmdCopyPath, L"Copy JSONPath\tCtrl+Shift+C", L"JSONPath kopieren\tStrg+Umschalt+C");
    return command(kCmdCopyPath, L"Copy path\tCtrl+Shift+C", L"Pfad kopieren\tStrg+Umschalt+C");
}

MenuEntry copyAsEntry(const MenuState& s) {
    if (s.isYaml) return command(kCmdCopyAs, L"Copy as YAML", L"Als YAML kopieren");
    if (s.isDataFormat) return command(kCmdCopyAs, L"Copy as JSON", L"Als JSON kopieren");
    return command(kCmdCopyAs, L"Copy as XML", L"Als XML kopieren");
}

std::vector<MenuEntry> themeEntries(int themeMode) {
    const int checked = kCmdThemeAutomatic + clampSetting(themeMode, kThemeAutomatic, kThemeLikeHost);
    std::vector<MenuEntry> items = {
        command(kCmdThemeAutomatic, L"Automatic (like Windows)", L"Automatisch (wie Windows)"),
        command(kCmdThemeLight, L"Light", L"Hell"),
        command(kCmdThemeDark, L"Dark", L"Dunkel"),
        command(kCmdThemeHost, L"Like Total Commander", L"Wie Total Commander"),
    };
    for (MenuEntry& e : items) {
        e.checked = e.id == checked;
        e.radio = true;
    }
    return items;
}

std::vector<MenuEntry> buttonsEntries(int buttonsMode) {
    std::vector<MenuEntry> items = {
        command(kCmdButtonsTop, L"Top", L"Oben", false, buttonsMode == kButtonsTop),
        command(kCmdButtonsStatusBar, L"Bottom (status bar)", L"Unten (Statusleiste)", false,
                buttonsMode == kButtonsStatusBar),
        command(kCmdButtonsHidden, L"Hidden", L"Ausgeblendet", false, buttonsMode == kButtonsHidden),
    };
    for (MenuEntry& e : items) e.radio = true;
    return items;
}

// One darkness group: its grayed header, "Default", then the list's schemes of that darkness.
void addSchemeGroup(std::vector<MenuEntry>& items, const MenuState& s, bool dark) {
    const SchemeRef& current = dark ? s.darkScheme : s.lightScheme;
    items.push_back(dark ? command(0, L"Dark", L"Dunkel", true) : command(0, L"Light", L"Hell", true));
    items.push_back(command(dark ? kCmdDarkDefault : kCmdLightDefault, L"    Default", L"    Standard", false, !current));
    for (size_t i = 0; i < s.schemes.size(); ++i) {
        const SchemeRef& scheme = s.schemes[i];
        if (!scheme || scheme->isDark != dark) continue;
        MenuEntry e;
        e.id = kCmdSchemeFirst + static_cast<int>(i);
        e.text = L"    " + scheme->name;
        e.checked = current && scheme == current;
        items.push_back(std::move(e));
    }
}

}  // namespace

std::vector<MenuEntry> buildMenuEntries(const MenuState& s) {
    std::vector<MenuEntry> menu;
    menu.push_back(command(kCmdEditValue, L"Edit value\tCtrl+E", L"Wert bearbeiten\tStrg+E"));
    menu.push_back(command(kCmdSaveChanges, L"Save changes\tCtrl+S", L"\u00C4nderungen speichern\tStrg+S", !s.modified));
    menu.push_back(command(kCmdCopyValue, L"Copy value\tCtrl+C", L"Wert kopieren\tStrg+C"));
    menu.push_back(command(kCmdCopyName, L"Copy name", L"Name kopieren"));
    menu.push_back(copyPathEntry(s));
    menu.push_back(copyAsEntry(s));
    menu.push_back(command(kCmdGoToPath, L"Go to path\u2026\tCtrl+G", L"Gehe zu Pfad\u2026\tStrg+G"));
    if (s.view == kViewSource) menu.push_back(command(kCmdCopySource, L"Copy entire source", L"Gesamten Quelltext kopieren"));
    menu.push_back(separator());
    if (s.view == kViewTree || s.view == kViewGrid) {
        menu.push_back(command(kCmdExpandSubtree, L"Expand subtree\t*", L"Unterknoten aufklappen\t*", !s.selectionExpandable));
        menu.push_back(command(kCmdExpandAll, L"Expand all\tCtrl++", L"Alle aufklappen\tStrg++"));
        menu.push_back(command(kCmdCollapseAll, L"Collapse all\tCtrl+-", L"Alle zuklappen\tStrg+-"));
    }
    if (s.view == kViewTree) {
        menu.push_back(separator());
        menu.push_back(command(kCmdCounts, L"Show number of child nodes", L"Anzahl der Unterknoten anzeigen", false,
                               s.showCounts));
    }
    if (s.view == kViewSource) {
        std::vector<MenuEntry> layout = {
            command(kCmdSourceAsWritten, L"As written", L"Wie geschrieben", !s.sourceChoice, s.sourceAsWritten),
            command(kCmdSourceFormatted, L"Formatted", L"Formatiert", !s.sourceChoice, !s.sourceAsWritten),
        };
        for (MenuEntry& e : layout) {
            e.radio = true;
            menu.push_back(std::move(e));
        }
    }
    if (s.view == kViewGrid) {
        menu.push_back(separator());
        menu.push_back(command(kCmdAutoFit, L"Fit column width to content", L"Spaltenbreite an Inhalt anpassen", false,
                               s.autoFit));
        menu.push_back(command(kCmdResetWidths, L"Reset column widths", L"Spaltenbreiten zur\u00FCcksetzen",
                               !s.userColumnWidths));
        menu.push_back(command(kCmdCopyTable, L"Copy table", L"Tabelle kopieren", !s.gridTable));
        menu.push_back(command(kCmdSortByColumn, L"Sort by this column\tCtrl+Shift+O",
                               L"Nach dieser Spalte sortieren\tStrg+Umschalt+O", !s.sortableCell));
    }
    menu.push_back(separator());
    menu.push_back(submenu(L"Theme", L"Design", themeEntries(s.themeMode)));
    std::vector<MenuEntry> schemes;
    addSchemeGroup(schemes, s, false);
    schemes.push_back(separator());
    addSchemeGroup(schemes, s, true);
    menu.push_back(submenu(L"Color scheme", L"Farbschema", std::move(schemes)));
    menu.push_back(command(kCmdFont, L"Font\u2026", L"Schriftart\u2026"));
    menu.push_back(submenu(L"Buttons", L"Kn\u00F6pfe", buttonsEntries(s.buttonsMode)));
    menu.push_back(command(kCmdSearchField, L"Search field in the toolbar", L"Suchfeld in der Leiste",
                           s.buttonsMode == kButtonsHidden, s.searchMode != kSearchFieldNone));
    return menu;
}

SchemeChoice schemeChoiceFor(int id, const std::vector<SchemeRef>& schemes) {
    SchemeChoice choice;
    if (id == kCmdLightDefault || id == kCmdDarkDefault) {
        choice.valid = true;
        choice.isDark = id == kCmdDarkDefault;
        return choice;
    }
    if (id < kCmdSchemeFirst) return choice;
    const size_t index = static_cast<size_t>(id - kCmdSchemeFirst);
    if (index >= schemes.size() || !schemes[index]) return choice;
    choice.valid = true;
    choice.isDark = schemes[index]->isDark;
    choice.name = schemes[index]->name;
    return choice;
}

int themeAfterSchemeChoice(int themeMode, bool paletteDark, bool choiceDark) {
    if (choiceDark == paletteDark) return themeMode;
    return choiceDark ? kThemeDark : kThemeLight;
}

}  // namespace qm
