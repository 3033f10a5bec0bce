// The context menu's entries: what each view shows in each language, the states the items take
// from the window, the scheme groups, and where a scheme choice leaves the theme.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "shell/menu.h"
#include "shell/settings.h"
#include "tests/edit/treebuild.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::u8;

namespace {

// One line per entry: "id text" with [g] grayed, [x] checked, [o] radio-checked; "---" for a
// separator; a submenu's entries follow it indented by two spaces. The tab shows as " | ".
void dump(const std::vector<MenuEntry>& entries, const std::string& indent, std::string& out) {
    for (const MenuEntry& e : entries) {
        out += indent;
        if (e.separator) {
            out += "---\n";
            continue;
        }
        std::string text = u8(e.text);
        const size_t tab = text.find('\t');
        if (tab != std::string::npos) text.replace(tab, 1, " | ");
        out += std::to_string(e.id) + " " + text;
        if (e.grayed) out += " [g]";
        if (e.checked) out += e.radio ? " [o]" : " [x]";
        out += "\n";
        dump(e.submenu, indent + "  ", out);
    }
}

std::string dump(const MenuState& state) {
    std::string out;
    dump(buildMenuEntries(state), "", out);
    return out;
}

// The lines from the first separator up to the Theme submenu: the part that differs per view.
std::string viewPart(const std::string& menu) {
    const size_t from = menu.find("---\n");
    const size_t to = menu.find("0 ", from);
    return menu.substr(from, to - from);
}

SchemeRef scheme(const wchar_t* name, bool dark) {
    auto s = std::make_shared<Scheme>();
    s->name = name;
    s->isDark = dark;
    return s;
}

}  // namespace

TEST(ContextMenu, WholeTreeMenuInEnglish) {
    MenuState s;
    s.view = kViewTree;
    s.format = DocumentFormat::Json;
    s.isDataFormat = true;
    s.showCounts = true;
    s.themeMode = 2;
    s.buttonsMode = kButtonsTop;
    EXPECT_EQ(dump(s),
              "116 Edit value | Ctrl+E\n"
              "117 Save changes | Ctrl+S [g]\n"
              "100 Copy value | Ctrl+C\n"
              "101 Copy name\n"
              "102 Copy JSONPath | Ctrl+Shift+C\n"
              "103 Copy as JSON\n"
              "125 Go to path\xE2\x80\xA6 | Ctrl+G\n"
              "---\n"
              "104 Expand subtree | * [g]\n"
              "105 Expand all | Ctrl++\n"
              "106 Collapse all | Ctrl+-\n"
              "---\n"
              "114 Show number of child nodes [x]\n"
              "---\n"
              "0 Theme\n"
              "  109 Automatic (like Windows)\n"
              "  110 Light\n"
              "  111 Dark [o]\n"
              "  112 Like Total Commander\n"
              "0 Color scheme\n"
              "  0 Light [g]\n"
              "  122     Default [x]\n"
              "  ---\n"
              "  0 Dark [g]\n"
              "  123     Default [x]\n"
              "113 Font\xE2\x80\xA6\n"
              "0 Buttons\n"
              "  118 Top [o]\n"
              "  119 Bottom (status bar)\n"
              "  120 Hidden\n"
              "121 Search field in the toolbar\n");
}

TEST(ContextMenu, WholeSourceMenuInGerman) {
    qmtest::LanguageGuard german(true);
    MenuState s;
    s.view = kViewSource;
    s.format = DocumentFormat::Xml;
    s.modified = true;
    s.themeMode = 7;  // out of range: treated as 3
    s.buttonsMode = kButtonsStatusBar;
    s.searchMode = kSearchFieldShown;
    EXPECT_EQ(dump(s),
              "116 Wert bearbeiten | Strg+E\n"
              "117 \xC3\x84nderungen speichern | Strg+S\n"
              "100 Wert kopieren | Strg+C\n"
              "101 Name kopieren\n"
              "102 XPath kopieren | Strg+Umschalt+C\n"
              "103 Als XML kopieren\n"
              "125 Gehe zu Pfad\xE2\x80\xA6 | Strg+G\n"
              "115 Gesamten Quelltext kopieren\n"
              "---\n"
              "141 Wie geschrieben [g]\n"
              "142 Formatiert [g] [o]\n"
              "---\n"
              "0 Design\n"
              "  109 Automatisch (wie Windows)\n"
              "  110 Hell\n"
              "  111 Dunkel\n"
              "  112 Wie Total Commander [o]\n"
              "0 Farbschema\n"
              "  0 Hell [g]\n"
              "  122     Standard [x]\n"
              "  ---\n"
              "  0 Dunkel [g]\n"
              "  123     Standard [x]\n"
              "113 Schriftart\xE2\x80\xA6\n"
              "0 Kn\xC3\xB6pfe\n"
              "  118 Oben\n"
              "  119 Unten (Statusleiste) [o]\n"
              "  120 Ausgeblendet\n"
              "121 Suchfeld in der Leiste [x]\n");
}

TEST(ContextMenu, SourceLayoutChoice) {
    MenuState s;
    s.view = kViewSource;
    s.sourceChoice = true;
    s.sourceAsWritten = true;
    EXPECT_EQ(viewPart(dump(s)), "---\n141 As written [o]\n142 Formatted\n---\n");
}

TEST(ContextMenu, ViewPartsAndTheirStates) {
    struct Case {
        const char* what;
        int view;
        bool expandable, autoFit, userWidths, showCounts, gridTable, sortableCell;
        const char* part;
    } cases[] = {
        {"tree with an expandable selection, counts off", kViewTree, true, false, false, false, true, true,
         "---\n104 Expand subtree | *\n105 Expand all | Ctrl++\n106 Collapse all | Ctrl+-\n---\n"
         "114 Show number of child nodes\n---\n"},
        {"grid without dragged widths, not on a table", kViewGrid, false, true, false, true, false, false,
         "---\n104 Expand subtree | * [g]\n105 Expand all | Ctrl++\n106 Collapse all | Ctrl+-\n---\n"
         "107 Fit column width to content [x]\n108 Reset column widths [g]\n124 Copy table [g]\n"
         "126 Sort by this column | Ctrl+Shift+O [g]\n---\n"},
        {"grid with dragged widths, on a table", kViewGrid, true, false, true, true, true, false,
         "---\n104 Expand subtree | *\n105 Expand all | Ctrl++\n106 Collapse all | Ctrl+-\n---\n"
         "107 Fit column width to content\n108 Reset column widths\n124 Copy table\n"
         "126 Sort by this column | Ctrl+Shift+O [g]\n---\n"},
        {"grid, a cell of a table selected", kViewGrid, true, false, true, true, true, true,
         "---\n104 Expand subtree | *\n105 Expand all | Ctrl++\n106 Collapse all | Ctrl+-\n---\n"
         "107 Fit column width to content\n108 Reset column widths\n124 Copy table\n"
         "126 Sort by this column | Ctrl+Shift+O\n---\n"},
        {"source: no expanding; as written or formatted, grayed without a choice", kViewSource, true, true, true, true, true, true,
         "---\n141 As written [g]\n142 Formatted [g] [o]\n---\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MenuState s;
        s.view = c.view;
        s.selectionExpandable = c.expandable;
        s.autoFit = c.autoFit;
        s.userColumnWidths = c.userWidths;
        s.showCounts = c.showCounts;
        s.gridTable = c.gridTable;
        s.sortableCell = c.sortableCell;
        EXPECT_EQ(viewPart(dump(s)), c.part);
    }
}

TEST(ContextMenu, PathAndCopyAsTextsFollowTheFormat) {
    struct Case {
        DocumentFormat format;
        bool isDataFormat, isYaml;
        const char* path;
        const char* copyAs;
    } cases[] = {
        {DocumentFormat::Xml, false, false, "102 Copy XPath | Ctrl+Shift+C", "103 Copy as XML"},
        {DocumentFormat::Json, true, false, "102 Copy JSONPath | Ctrl+Shift+C", "103 Copy as JSON"},
        {DocumentFormat::JsonLines, true, false, "102 Copy JSONPath | Ctrl+Shift+C", "103 Copy as JSON"},
        {DocumentFormat::Yaml, true, true, "102 Copy path | Ctrl+Shift+C", "103 Copy as YAML"},
        {DocumentFormat::Toml, true, false, "102 Copy path | Ctrl+Shift+C", "103 Copy as JSON"},
        {DocumentFormat::Registry, true, false, "102 Copy path | Ctrl+Shift+C", "103 Copy as JSON"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        MenuState s;
        s.format = c.format;
        s.isDataFormat = c.isDataFormat;
        s.isYaml = c.isYaml;
        const std::string menu = dump(s);
        EXPECT_NE(menu.find(std::string("\n") + c.path + "\n"), std::string::npos) << menu;
        EXPECT_NE(menu.find(std::string("\n") + c.copyAs + "\n"), std::string::npos) << menu;
    }
}

TEST(ContextMenu, SearchFieldItemFollowsButtonsAndSearchMode) {
    struct Case {
        int buttons, search;
        const char* item;
    } cases[] = {
        {kButtonsTop, kSearchFieldNone, "121 Search field in the toolbar\n"},
        {kButtonsTop, kSearchFieldBehindButton, "121 Search field in the toolbar [x]\n"},
        {kButtonsHidden, kSearchFieldShown, "121 Search field in the toolbar [g] [x]\n"},
        {kButtonsHidden, kSearchFieldNone, "121 Search field in the toolbar [g]\n"},
    };
    for (const Case& c : cases) {
        MenuState s;
        s.buttonsMode = c.buttons;
        s.searchMode = c.search;
        const std::string menu = dump(s);
        EXPECT_EQ(menu.substr(menu.rfind("121 ")), c.item) << c.buttons << " " << c.search;
    }
}

TEST(ContextMenu, SchemeGroupsListTheSchemesOfTheirDarknessWithTheCurrentChecked) {
    MenuState s;
    s.schemes = {scheme(L"Monokai", true), scheme(L"Quiet Light", false), scheme(L"Abyss", true),
                 scheme(L"Solarized Light", false)};
    s.darkScheme = s.schemes[2];
    const std::string menu = dump(s);
    const size_t from = menu.find("0 Color scheme\n");
    const size_t to = menu.find("113 ");
    EXPECT_EQ(menu.substr(from, to - from),
              "0 Color scheme\n"
              "  0 Light [g]\n"
              "  122     Default [x]\n"
              "  1001     Quiet Light\n"
              "  1003     Solarized Light\n"
              "  ---\n"
              "  0 Dark [g]\n"
              "  123     Default\n"
              "  1000     Monokai\n"
              "  1002     Abyss [x]\n");
}

TEST(ContextMenu, SchemeChoiceAndTheThemeItLeaves) {
    const std::vector<SchemeRef> schemes = {scheme(L"Monokai", true), scheme(L"Quiet Light", false)};
    struct Case {
        const char* what;
        int id;
        bool valid, isDark;
        const char* name;
        int themeFromLight, themeFromDark;  // theme 0 before, palette light / dark
    } cases[] = {
        {"dark scheme", 1000, true, true, "Monokai", kThemeDark, kThemeAutomatic},
        {"light scheme", 1001, true, false, "Quiet Light", kThemeAutomatic, kThemeLight},
        {"light default", kCmdLightDefault, true, false, "", kThemeAutomatic, kThemeLight},
        {"dark default", kCmdDarkDefault, true, true, "", kThemeDark, kThemeAutomatic},
        {"vanished scheme", 1002, false, false, "", 0, 0},
        {"no scheme id", kCmdSearchField, false, false, "", 0, 0},
        {"nothing chosen", 0, false, false, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SchemeChoice choice = schemeChoiceFor(c.id, schemes);
        EXPECT_EQ(choice.valid, c.valid);
        if (!choice.valid) continue;
        EXPECT_EQ(choice.isDark, c.isDark);
        EXPECT_EQ(u8(choice.name), c.name);
        EXPECT_EQ(themeAfterSchemeChoice(kThemeAutomatic, false, choice.isDark), c.themeFromLight);
        EXPECT_EQ(themeAfterSchemeChoice(kThemeAutomatic, true, choice.isDark), c.themeFromDark);
    }
}
