// The context menu in the plug-in window: the popup menu each view builds, read back item by
// item; the commands run through the one command function as the menu runs them; the clipboard
// texts of every format; schemes from the corpus themes; the font dialog; the keys that open it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "shell/clipboard.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "shell/menu.h"
#include "shell/settings.h"
#include "tests/edit/treebuild.h"
#include "tests/shell/guihost.h"
#include "tests/support/fakemodule_win.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;
using qmtest::u8;

namespace {

// The popup menu as lines: "id text" with [g] grayed, [x] checked, [o] radio-checked, "---" for a
// separator, a submenu's items indented by two spaces; the tab shows as " | ".
void dumpMenu(HMENU menu, const std::string& indent, std::string& out) {
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = 255;
        ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item));
        out += indent;
        if (item.fType & MFT_SEPARATOR) {
            out += "---\n";
            continue;
        }
        std::string line = u8(text);
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) line.replace(tab, 1, " | ");
        out += std::to_string(item.hSubMenu ? 0 : item.wID) + " " + line;
        if (item.fState & MFS_GRAYED) out += " [g]";
        if (item.fState & MFS_CHECKED) out += (item.fType & MFT_RADIOCHECK) ? " [o]" : " [x]";
        out += "\n";
        if (item.hSubMenu) dumpMenu(item.hSubMenu, indent + "  ", out);
    }
}

std::string dumpMenu(HMENU menu) {
    std::string out;
    dumpMenu(menu, "", out);
    return out;
}

bool hasLine(const std::string& menu, const std::string& line) { return menu.find(line + "\n") != std::string::npos; }

// What the stand-in for TrackPopupMenu saw, and the id it answers with.
struct TrackedMenu {
    int calls = 0;
    HWND owner = nullptr;
    POINT point{};
    std::string menu;
    int answer = 0;
};
TrackedMenu tracked;

int recordTrackedMenu(HMENU menu, HWND owner, POINT point) {
    ++tracked.calls;
    tracked.owner = owner;
    tracked.point = point;
    tracked.menu = dumpMenu(menu);
    return tracked.answer;
}

// What the stand-in for ChooseFontW saw, and what it answers.
struct FontDialog {
    CHOOSEFONTW seen{};
    LOGFONTW initial{};
    bool ok = true;
    const wchar_t* face = L"";
    int pointTenths = 0;
};
FontDialog fontDialog;

BOOL WINAPI answerFontDialog(CHOOSEFONTW* dialog) {
    fontDialog.seen = *dialog;
    fontDialog.initial = *dialog->lpLogFont;
    if (!fontDialog.ok) return FALSE;
    lstrcpynW(dialog->lpLogFont->lfFaceName, fontDialog.face, LF_FACESIZE);
    dialog->iPointSize = fontDialog.pointTenths;
    return TRUE;
}

class ContextMenuWindow : public qmtest::PluginWindowTest {
protected:
    void SetUp() override {
        PluginWindowTest::SetUp();
        tracked = TrackedMenu{};
        fontDialog = FontDialog{};
        menuTracker = recordTrackedMenu;
        fontChooser = answerFontDialog;
    }
    void TearDown() override {
        PluginWindowTest::TearDown();
        menuTracker = savedTracker;
        fontChooser = savedChooser;
    }

    void select(std::initializer_list<size_t> path) {
        Node* node = main->document->root;
        for (size_t i : path) {
            ASSERT_LT(i, node->children.size());
            node = node->children[i];
        }
        main->SelectNode(node);
    }
    std::string menuText() {
        HMENU menu = BuildContextMenu(*main);
        if (!menu) return "(no menu)";
        std::string text = dumpMenu(menu);
        DestroyMenu(menu);
        return text;
    }
    std::wstring setting(const wchar_t* key) const {
        wchar_t value[64] = {};
        GetPrivateProfileStringW(L"Quillmap", key, L"(unset)", value, 64, settings.c_str());
        return value;
    }

    MenuTracker savedTracker = menuTracker;
    FontChooser savedChooser = fontChooser;
};

const char kXml[] = "<r><a>x</a><b k=\"1\"><c>y</c></b></r>\n";
const char kReg[] = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Q]\r\n\"Name\"=\"v\"\r\n";

}  // namespace

TEST_F(ContextMenuWindow, EachViewBuildsItsItemsAndStates) {
    ASSERT_TRUE(openText(L"menu.xml", kXml));
    struct Case {
        const char* what;
        int view;
        bool german;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"tree", kViewTree, false,
         {"117 Save changes | Ctrl+S [g]", "102 Copy XPath | Ctrl+Shift+C", "103 Copy as XML", "104 Expand subtree | *",
          "---\n114 Show number of child nodes [x]", "  118 Top [o]", "  109 Automatic (like Windows) [o]"},
         {"115 Copy entire source", "107 Fit column width to content"}},
        {"grid", kViewGrid, false,
         {"106 Collapse all | Ctrl+-\n---\n107 Fit column width to content", "108 Reset column widths [g]"},
         {"114 Show number of child nodes", "115 Copy entire source"}},
        {"source: as written or formatted", kViewSource, true,
         {"103 Als XML kopieren\n125 Gehe zu Pfad\xE2\x80\xA6 | Strg+G\n115 Gesamten Quelltext kopieren\n---\n141 Wie geschrieben [o]\n142 Formatiert\n---\n0 Design",
          "117 \xC3\x84nderungen speichern | Strg+S [g]", "121 Suchfeld in der Leiste"},
         {"104 Unterknoten aufklappen | *"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        main->SwitchView(c.view);
        qmtest::LanguageGuard language(c.german);
        const std::string menu = menuText();
        for (const std::string& line : c.present) EXPECT_TRUE(hasLine(menu, line)) << line << "\n--- menu:\n" << menu;
        for (const std::string& line : c.absent) EXPECT_FALSE(hasLine(menu, line)) << line << "\n--- menu:\n" << menu;
    }
}

TEST_F(ContextMenuWindow, SearchFieldGrayedButCheckedWithHiddenButtons) {
    ASSERT_TRUE(openText(L"menu.json", R"({"s": "v"})"));
    RunMenuCommand(*main, kCmdSearchField);
    EXPECT_EQ(main->settings.searchMode, kSearchFieldShown);
    RunMenuCommand(*main, kCmdButtonsHidden);
    EXPECT_EQ(setting(L"Buttons"), L"0");
    EXPECT_TRUE(hasLine(menuText(), "121 Search field in the toolbar [g] [x]")) << menuText();
    RunMenuCommand(*main, kCmdButtonsStatusBar);
    RunMenuCommand(*main, kCmdSearchField);
    EXPECT_EQ(setting(L"Search"), L"0");
    EXPECT_TRUE(hasLine(menuText(), "121 Search field in the toolbar")) << menuText();
    EXPECT_TRUE(hasLine(menuText(), "  119 Bottom (status bar) [o]")) << menuText();
}

// The Source view's choice between the file as written and formatted is kept in the settings;
// a file shown as read (YAML) offers it grayed.
TEST_F(ContextMenuWindow, SourceLayoutChoiceIsKept) {
    ASSERT_TRUE(openText(L"menu.json", "// kept\n{\"s\": \"v\"}\n"));
    main->SwitchView(kViewSource);
    EXPECT_EQ(u8(main->sourcePane.source.line(0)), "// kept");
    RunMenuCommand(*main, kCmdSourceFormatted);
    EXPECT_EQ(setting(L"SourceLayout"), L"2");
    EXPECT_EQ(u8(main->sourcePane.source.line(0)), "{");
    EXPECT_TRUE(hasLine(menuText(), "141 As written\n142 Formatted [o]")) << menuText();
    RunMenuCommand(*main, kCmdSourceAsWritten);
    EXPECT_EQ(setting(L"SourceLayout"), L"1");
    EXPECT_EQ(u8(main->sourcePane.source.line(0)), "// kept");
    close();
    ASSERT_TRUE(openText(L"menu.yaml", "a: 1\n"));
    main->SwitchView(kViewSource);
    EXPECT_TRUE(hasLine(menuText(), "141 As written [g] [o]\n142 Formatted [g]")) << menuText();
}

TEST_F(ContextMenuWindow, CopyCommandsPutTheNodeTextsOnTheClipboard) {
    struct Case {
        const char* what;
        const wchar_t* file;
        const char* text;
        std::initializer_list<size_t> path;
        int command;
        const char* clipboard;
    } cases[] = {
        {"XML: value of an element with attributes is its XML", L"c.xml", kXml, {0, 1}, kCmdCopyValue,
         "<b k=\"1\">\r\n  <c>y</c>\r\n</b>"},
        {"XML: value of a simple element is its text", L"c.xml", kXml, {0, 0}, kCmdCopyValue, "x"},
        {"XML: name", L"c.xml", kXml, {0, 1}, kCmdCopyName, "b"},
        {"XML: XPath", L"c.xml", kXml, {0, 1, 1}, kCmdCopyPath, "/r/b/c"},
        {"JSON: copy as JSON", L"c.json", R"({"o": {"k": 1}})", {0, 0}, kCmdCopyAs, "{\r\n  \"k\": 1\r\n}"},
        {"JSON Lines: path of a record", L"c.jsonl", "{\"a\": 1}\n{\"b\": 2}\n", {0, 1}, kCmdCopyPath, "$[1]"},
        {"YAML: value of a scalar", L"c.yaml", "top:\n  inner: 1\n", {0, 0, 0}, kCmdCopyValue, "1"},
        {"YAML: copy as YAML", L"c.yaml", "top:\n  inner: 1\n", {0}, kCmdCopyAs, "top:\r\n  inner: 1"},
        {"TOML: path of a key", L"c.toml", "[server]\nport = 80\n", {0, 0, 0}, kCmdCopyPath, "server.port"},
        {"reg: value", L"c.reg", kReg, {1, 0, 0, 0}, kCmdCopyValue, "v"},
        {"reg: path", L"c.reg", kReg, {1, 0, 0, 0}, kCmdCopyPath, "HKEY_CURRENT_USER\\Software\\Q\\Name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        close();
        ASSERT_TRUE(openText(c.file, c.text));
        select(c.path);
        CopyTextToClipboard(main->window, L"before");
        RunMenuCommand(*main, c.command);
        EXPECT_EQ(qmtest::clipboardText(), c.clipboard);
    }
}

TEST_F(ContextMenuWindow, NoSelectionLeavesTheClipboardAlone) {
    ASSERT_TRUE(openText(L"c.json", R"({"s": "v"})"));
    main->selected = nullptr;
    CopyTextToClipboard(main->window, L"before");
    for (int id : {kCmdCopyValue, kCmdCopyName, kCmdCopyPath, kCmdCopyAs}) RunMenuCommand(*main, id);
    EXPECT_EQ(ListerSendCommand(window, lc_copy, 0), LISTPLUGIN_OK);
    EXPECT_EQ(qmtest::clipboardText(), "before");
}

TEST_F(ContextMenuWindow, HostCopyCopiesWhatCtrlCCopies) {
    ASSERT_TRUE(openText(L"c.xml", kXml));
    for (std::initializer_list<size_t> path : {std::initializer_list<size_t>{0, 0}, {0, 1}, {0, 1, 0}}) {
        select(path);
        {
            qmtest::HeldKeys ctrl({VK_CONTROL});
            SendMessageW(main->treePane.window, WM_KEYDOWN, 'C', 1);
        }
        const std::string byKey = qmtest::clipboardText();
        CopyTextToClipboard(main->window, L"before");
        EXPECT_EQ(ListerSendCommand(window, lc_copy, 0), LISTPLUGIN_OK);
        EXPECT_EQ(qmtest::clipboardText(), byKey);
    }
}

TEST_F(ContextMenuWindow, CopyEntireSourceFromTheSourceView) {
    ASSERT_TRUE(openText(L"c.json", R"({"s": "v"})"));
    main->SwitchView(kViewSource);
    RunMenuCommand(*main, kCmdCopySource);
    EXPECT_EQ(qmtest::clipboardText(), u8(main->sourcePane.WholeText()));
    EXPECT_NE(qmtest::clipboardText().find("\"s\""), std::string::npos) << qmtest::clipboardText();
}

TEST_F(ContextMenuWindow, SchemesFromTheCorpusThemesAndTheThemeSwitch) {
    // The window first: its classes belong to the real module; the schemes then come from the
    // stand-in module's folder.
    ASSERT_TRUE(openText(L"s.json", R"({"s": "v"})"));
    qmtest::FakeModule module;
    ASSERT_TRUE(module.ok());
    const std::wstring themes = module.folder() + L"Themes\\";
    ASSERT_TRUE(CreateDirectoryW(themes.c_str(), nullptr));
    const std::string corpus = std::string(QM_CORPUS_DIR) + "/themes/";
    for (const char* file : {"theme-monokai/monokai-color-theme.json", "theme-quietlight/quietlight-color-theme.json"}) {
        const std::wstring from = qmtest::platformPath(corpus + file);
        const std::wstring name = from.substr(from.find_last_of(L"\\/") + 1);
        ASSERT_TRUE(CopyFileW(from.c_str(), (themes + name).c_str(), FALSE)) << file;
    }
    const std::vector<SchemeRef>& schemes = LoadSchemes();
    ASSERT_EQ(schemes.size(), 2u);
    const int darkIndex = schemes[0]->isDark ? 0 : 1;
    const std::string darkId = std::to_string(kCmdSchemeFirst + darkIndex);
    const std::string lightId = std::to_string(kCmdSchemeFirst + 1 - darkIndex);
    const std::string darkName = u8(schemes[darkIndex]->name), lightName = u8(schemes[1 - darkIndex]->name);

    // Light theme: choosing the dark scheme switches the theme to Dark and saves both.
    RunMenuCommand(*main, kCmdThemeLight);
    ASSERT_FALSE(main->palette.isDark);
    std::string menu = menuText();
    EXPECT_TRUE(hasLine(menu, "  122     Default [x]\n  " + lightId + "     " + lightName)) << menu;
    EXPECT_TRUE(hasLine(menu, "  123     Default [x]\n  " + darkId + "     " + darkName)) << menu;
    RunMenuCommand(*main, kCmdSchemeFirst + darkIndex);
    EXPECT_EQ(main->settings.themeMode, kThemeDark);
    EXPECT_TRUE(main->palette.isDark);
    EXPECT_EQ(setting(L"Theme"), L"2");
    EXPECT_EQ(u8(setting(L"DarkScheme")), darkName);
    menu = menuText();
    EXPECT_TRUE(hasLine(menu, "  123     Default\n  " + darkId + "     " + darkName + " [x]")) << menu;
    EXPECT_TRUE(hasLine(menu, "  111 Dark [o]")) << menu;

    // Dark theme: the light scheme, then the light "Default", switch back to Light.
    RunMenuCommand(*main, kCmdSchemeFirst + 1 - darkIndex);
    EXPECT_EQ(main->settings.themeMode, kThemeLight);
    EXPECT_EQ(u8(setting(L"LightScheme")), lightName);
    RunMenuCommand(*main, kCmdDarkDefault);
    EXPECT_EQ(main->settings.themeMode, kThemeDark);
    EXPECT_EQ(setting(L"DarkScheme"), L"");
    RunMenuCommand(*main, kCmdLightDefault);
    EXPECT_EQ(main->settings.themeMode, kThemeLight);
    EXPECT_EQ(setting(L"LightScheme"), L"");

    // A scheme position that is not in the list changes nothing.
    RunMenuCommand(*main, kCmdSchemeFirst + 2);
    EXPECT_EQ(main->settings.themeMode, kThemeLight);
    close();
}

TEST_F(ContextMenuWindow, FontDialogStartsFromTheContentFontAndAppliesTheChoice) {
    ASSERT_TRUE(openText(L"f.json", R"({"s": "v"})"));
    main->settings.contentFontName = L"A face name longer than thirty-one characters";
    main->settings.contentFontSize = 120;
    fontDialog.ok = false;
    RunMenuCommand(*main, kCmdFont);
    const CHOOSEFONTW& seen = fontDialog.seen;
    EXPECT_EQ(seen.hwndOwner, GetAncestor(main->window, GA_ROOT));
    EXPECT_EQ(seen.Flags, static_cast<DWORD>(CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_LIMITSIZE | CF_NOSCRIPTSEL |
                                             CF_NOVERTFONTS));
    EXPECT_EQ(seen.nSizeMin, 6);
    EXPECT_EQ(seen.nSizeMax, 32);
    HDC dc = GetDC(main->window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(main->window, dc);
    EXPECT_EQ(fontDialog.initial.lfHeight, -MulDiv(120, dpi, 720));
    EXPECT_EQ(fontDialog.initial.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(u8(fontDialog.initial.lfFaceName), "A face name longer than thirty-");
    EXPECT_EQ(main->settings.contentFontName, L"A face name longer than thirty-one characters");  // cancelled

    struct Case {
        const wchar_t* face;
        int tenths;
        int expectedSize;
    } cases[] = {{L"Consolas", 105, 105}, {L"Tahoma", 0, 105}};  // no size returned keeps the size
    for (const Case& c : cases) {
        fontDialog.ok = true;
        fontDialog.face = c.face;
        fontDialog.pointTenths = c.tenths;
        RunMenuCommand(*main, kCmdFont);
        EXPECT_EQ(main->settings.contentFontName, c.face);
        EXPECT_EQ(main->settings.contentFontSize, c.expectedSize);
        EXPECT_EQ(setting(L"Font"), c.face);
        EXPECT_EQ(main->palette.contentFontName, c.face);
    }
}

TEST_F(ContextMenuWindow, ContextMenuKeyAndShiftF10OpenTheMenuInEveryView) {
    ASSERT_TRUE(openText(L"k.json", R"({"s": "v", "o": {"k": 1}})"));
    struct Case {
        int view;
        UINT down, up;
        WPARAM key;
    } cases[] = {
        {kViewTree, WM_KEYDOWN, WM_KEYUP, VK_APPS},   {kViewGrid, WM_KEYDOWN, WM_KEYUP, VK_APPS},
        {kViewSource, WM_KEYDOWN, WM_KEYUP, VK_APPS}, {kViewTree, WM_SYSKEYDOWN, WM_SYSKEYUP, VK_F10},
        {kViewGrid, WM_SYSKEYDOWN, WM_SYSKEYUP, VK_F10}, {kViewSource, WM_SYSKEYDOWN, WM_SYSKEYUP, VK_F10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.view) + " key " + std::to_string(c.key));
        main->SwitchView(c.view);
        HWND view = main->ActiveViewWindow();
        tracked = TrackedMenu{};
        {
            qmtest::HeldKeys shift({VK_SHIFT});
            SendMessageW(view, c.down, c.key, 1);
            SendMessageW(view, c.up, c.key, 0xC0000001);
        }
        qmtest::pumpMessages();
        EXPECT_EQ(tracked.calls, 1);
        EXPECT_EQ(tracked.owner, view);
        RECT client{};
        GetWindowRect(view, &client);
        EXPECT_TRUE(PtInRect(&client, tracked.point)) << tracked.point.x << "," << tracked.point.y;
        EXPECT_TRUE(hasLine(tracked.menu, "116 Edit value | Ctrl+E")) << tracked.menu;
    }
    // F10 without Shift is not the menu key.
    tracked = TrackedMenu{};
    SendMessageW(main->ActiveViewWindow(), WM_SYSKEYDOWN, VK_F10, 1);
    EXPECT_EQ(tracked.calls, 0);
}

TEST_F(ContextMenuWindow, ChosenIdRunsAndNoDocumentShowsNoMenu) {
    ASSERT_TRUE(openText(L"k.json", R"({"o": {"k": 1}})"));
    main->settings.showCounts = true;
    tracked.answer = kCmdCounts;
    SendMessageW(main->treePane.window, WM_CONTEXTMENU, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(tracked.calls, 1);
    EXPECT_FALSE(main->settings.showCounts);
    EXPECT_EQ(setting(L"Counts"), L"0");

    main->SetDocument(nullptr, L"");
    ShowContextMenu(*main, main->treePane.window, POINT{10, 10});
    EXPECT_EQ(tracked.calls, 1);
}
