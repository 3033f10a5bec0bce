// The plug-in window driven as a user drives it: files loaded as ListLoadW loads them, keys,
// clicks, double-clicks, the splitter drag and view switches sent as messages, keys that reach
// the host, and pixels where the look is the point.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "edit/editing.h"
#include "edit/nodetext.h"
#include "edit/pathfind.h"
#include "shell/about.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "shell/search.h"
#include "shell/settings.h"
#include "views/grid.h"
#include "views/tree.h"
#include "tests/shell/guihost.h"
#include "tests/support/registryvalue_win.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;
using qmtest::u8;

namespace {

std::wstring samplePath(const char* name) { return qmtest::platformPath(std::string(QM_SOURCE_DIR) + "/samples/" + name); }

// One plug-in window on a test host, with a private settings file.
class PluginWindow : public qmtest::PluginWindowTest {
protected:
    HWND tree() const { return main->treePane.window; }
    void key(WPARAM vk, HWND target = nullptr) { SendMessageW(target ? target : tree(), WM_KEYDOWN, vk, 1); }
    void click(UINT message, int x, int y) { SendMessageW(tree(), message, 0, MAKELPARAM(x, y)); }
    int rowY(int row) const { return (row - static_cast<int>(main->treePane.topRow)) * main->palette.rowHeight + 3; }
    std::string selectedLabel() const { return main->selected ? u8(nodeLabel(main->selected)) : "(none)"; }
    int settingInt(const wchar_t* key) const { return static_cast<int>(GetPrivateProfileIntW(L"Quillmap", key, -1, settings.c_str())); }
};

const char kNestedJson[] = R"({"a": {"b": {"c": 1, "d": 2}}, "list": [1, 2, 3], "s": "x"})";

}  // namespace

TEST_F(PluginWindow, EverySampleOpensWithItsFirstValueSelectedAndTheTopLevelOpen) {
    struct Case {
        const char* file;
        NodeKind kind;     // of the selected node
        const char* label;
    } cases[] = {
        {"catalog.json", NodeKind::Object, ""},
        {"events.jsonl", NodeKind::Array, ""},
        {"feed.xml", NodeKind::Element, "rss"},  // past the declaration and the comment
        {"config.yaml", NodeKind::Object, ""},
        {"settings.toml", NodeKind::Object, ""},  // the document's table
        {"sample.reg", NodeKind::Object, "HKEY_CURRENT_USER"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(open(samplePath(c.file)));
        ASSERT_NE(main->selected, nullptr);
        EXPECT_EQ(main->selected->kind, c.kind);
        EXPECT_EQ(selectedLabel(), c.label);
        EXPECT_EQ(main->treePane.selectedRow, findRow(main->treePane.rows, main->selected));
        for (const Node* child : main->document->root->children)
            EXPECT_EQ(main->treePane.expanded.count(child) != 0, isExpandable(child)) << u8(nodeLabel(child));
        EXPECT_TRUE(IsWindowVisible(tree()));
        EXPECT_FALSE(IsWindowVisible(main->gridPane.window));
        close();
    }
}

TEST_F(PluginWindow, DeclinedFilesGiveNoWindow) {
    EXPECT_FALSE(openText(L"plain.json", "hello"));
    EXPECT_EQ(window, nullptr);
    EXPECT_FALSE(open(qmtest::tempFolder() + L"\\missing.json"));
    EXPECT_EQ(ListerLoad(host.window(), L"", 0), nullptr);
}

// A file of only comments opens with no selection, a JSON file as a YAML or XML file does, and
// the Source view shows the comments.
TEST_F(PluginWindow, OnlyCommentsOpenWithoutSelectionAndAParseErrorShowsItsText) {
    const struct {
        const wchar_t* name;
        const char* text;
        size_t rows;
        std::vector<std::string> source;
    } onlyComments[] = {
        {L"comments.xml", "<!-- only a comment -->", 1, {"<!-- only a comment -->"}},
        {L"comments.json", "// nothing yet\n/* to come */\n", 0, {"// nothing yet", "/* to come */"}},
    };
    for (const auto& c : onlyComments) {
        SCOPED_TRACE(u8(c.name));
        ASSERT_TRUE(openText(c.name, c.text));
        EXPECT_EQ(main->selected, nullptr);
        EXPECT_EQ(main->treePane.selectedRow, -1);
        EXPECT_EQ(main->treePane.rows.size(), c.rows);
        main->SwitchView(kViewSource);
        EXPECT_EQ(sourceLines(), c.source);
        main->SwitchView(kViewTree);  // the view chosen is kept for the next file
        close();
    }

    // Nothing parsed, an error recorded: the tree shows the message in the warning colour.
    ASSERT_TRUE(openText(L"broken.xml", "</a>"));
    ASSERT_FALSE(main->document->errorMessage.empty());
    ASSERT_TRUE(main->treePane.rows.empty());
    const qmtest::Pixels px = qmtest::render(tree());
    const int inset = main->palette.scale(kTreeErrorInset);
    EXPECT_TRUE(px.contains(main->palette.color(ColorSlot::warning), RECT{inset, inset, px.width - inset, inset + 40}));
    // On an empty tree the tree keys go on to the host.
    key(VK_DOWN);
    const auto forwarded = host.takeForwardedKeys();
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].key, static_cast<WPARAM>(VK_DOWN));
}

TEST_F(PluginWindow, TheTextOfASimpleElementSelectsTheElement) {
    ASSERT_TRUE(openText(L"simple.xml", "<greeting>hello</greeting>"));
    EXPECT_EQ(selectedLabel(), "greeting");
    Node* text = main->selected->children[0];
    main->SelectNode(text);
    EXPECT_EQ(main->selected, text->parent);
    ListerClose(window);
    ASSERT_TRUE(openText(L"attr.xml", "<greeting lang=\"en\">hello</greeting>"));
    Node* ownText = main->selected->children[1];
    main->SelectNode(ownText);
    EXPECT_EQ(main->selected, ownText);  // with an attribute the text stands for itself
}

TEST_F(PluginWindow, TreeKeysMoveTheSelection) {
    ASSERT_TRUE(openText(L"keys.json", kNestedJson));
    struct Step {
        WPARAM key;
        const char* selected;
        size_t rows;  // rows after the key
    } steps[] = {
        {VK_DOWN, "a", 4},       {VK_RIGHT, "a", 5},   // closed: Right opens
        {VK_RIGHT, "b", 5},      {VK_RETURN, "b", 7},  // open: Right goes to the first child
        {VK_END, "s", 7},        {VK_HOME, "", 7},
        {VK_NEXT, "s", 7},       {VK_PRIOR, "", 7},    // the page is taller than the tree
        {VK_LEFT, "", 1},        {VK_ADD, "", 7},      // Left closes the top; its children kept their state
        {VK_DOWN, "a", 7},       {VK_SUBTRACT, "a", 4},
        {VK_RIGHT, "a", 7},      {VK_RIGHT, "b", 7},
        {VK_LEFT, "b", 5},       {VK_MULTIPLY, "b", 7},
        {VK_LEFT, "b", 5},       {VK_LEFT, "a", 5},    // closed: Left goes to the parent
        {VK_UP, "", 5},
    };
    for (const Step& s : steps) {
        key(s.key);
        EXPECT_EQ(selectedLabel(), s.selected) << "after key " << s.key;
        EXPECT_EQ(main->treePane.rows.size(), s.rows) << "after key " << s.key;
        EXPECT_EQ(main->treePane.selectedRow, findRow(main->treePane.rows, main->selected));
    }
    EXPECT_TRUE(host.takeForwardedKeys().empty());
}

TEST_F(PluginWindow, KeysNobodyHandlesReachTheHostUnchanged) {
    ASSERT_TRUE(openText(L"fw.json", kNestedJson));
    SendMessageW(tree(), WM_KEYDOWN, 'N', 0x310001);
    key(VK_ESCAPE);
    {
        qmtest::HeldKeys ctrl({VK_CONTROL});
        key('S');  // nothing to save: the host's Ctrl+S
    }
    key('N', main->window);  // the main window forwards as well
    const auto forwarded = host.takeForwardedKeys();
    ASSERT_EQ(forwarded.size(), 4u);
    EXPECT_EQ(forwarded[0].key, static_cast<WPARAM>('N'));
    EXPECT_EQ(forwarded[0].lParam, 0x310001);
    EXPECT_EQ(forwarded[1].key, static_cast<WPARAM>(VK_ESCAPE));
    EXPECT_EQ(forwarded[2].key, static_cast<WPARAM>('S'));
    EXPECT_EQ(forwarded[3].key, static_cast<WPARAM>('N'));
    // F1 is the plug-in's, with or without modifiers: it opens the About window (closed here
    // by Escape as soon as it shows).
    static int aboutShown;
    aboutShown = 0;
    aboutShownHook = [](HWND about) {
        ++aboutShown;
        PostMessageW(about, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    key(VK_F1);
    {
        qmtest::HeldKeys shift({VK_SHIFT, VK_CONTROL});
        key(VK_F1);
    }
    aboutShownHook = nullptr;
    EXPECT_EQ(aboutShown, 2);
    EXPECT_TRUE(host.takeForwardedKeys().empty());
}

TEST_F(PluginWindow, ClicksOnChevronsAndRows) {
    ASSERT_TRUE(openText(L"mouse.json", kNestedJson));
    const int chevronX1 = main->palette.scale(kTreeLeftMargin + kTreeIndent) + 2;  // depth 1
    click(WM_LBUTTONDOWN, chevronX1, rowY(1));  // a's chevron: opens, selection stays
    EXPECT_EQ(main->treePane.rows.size(), 5u);
    EXPECT_EQ(selectedLabel(), "");
    click(WM_LBUTTONDOWN, 120, rowY(2));  // b's row
    EXPECT_EQ(selectedLabel(), "b");
    click(WM_LBUTTONDBLCLK, 120, rowY(2));  // double-click opens b
    EXPECT_EQ(main->treePane.rows.size(), 7u);
    click(WM_LBUTTONDBLCLK, 120, rowY(3));  // a leaf: selected, nothing opens
    EXPECT_EQ(selectedLabel(), "c");
    EXPECT_EQ(main->treePane.rows.size(), 7u);
    click(WM_RBUTTONDOWN, 120, rowY(5));
    EXPECT_EQ(selectedLabel(), "list");
    click(WM_LBUTTONDOWN, 120, rowY(40));  // below the rows: nothing
    EXPECT_EQ(selectedLabel(), "list");
    // Collapsing an ancestor of the selection moves the selection to it.
    click(WM_LBUTTONDOWN, 120, rowY(3));
    click(WM_LBUTTONDOWN, chevronX1, rowY(1));
    EXPECT_EQ(selectedLabel(), "a");
    EXPECT_EQ(main->treePane.selectedRow, 1);
    // A double-click on a chevron is one click: the button-down opens, the double-click that
    // follows does not close again.
    for (size_t rows : {7u, 4u}) {
        click(WM_LBUTTONDOWN, chevronX1, rowY(1));
        click(WM_LBUTTONUP, chevronX1, rowY(1));
        click(WM_LBUTTONDBLCLK, chevronX1, rowY(1));
        click(WM_LBUTTONUP, chevronX1, rowY(1));
        EXPECT_EQ(main->treePane.rows.size(), rows);
    }
}

TEST_F(PluginWindow, WheelAndScrollBarMoveTheTopRow) {
    std::string big = "[";
    for (int i = 0; i < 200; ++i) big += (i ? "," : "") + std::to_string(i);
    ASSERT_TRUE(openText(L"long.json", big + "]"));
    SendMessageW(tree(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_EQ(main->treePane.topRow, 3u);
    SendMessageW(tree(), WM_MOUSEWHEEL, MAKEWPARAM(0, 60), 0);
    EXPECT_EQ(main->treePane.topRow, 3u);  // half a notch waits
    SendMessageW(tree(), WM_VSCROLL, SB_BOTTOM, 0);
    const unsigned page = static_cast<unsigned>(main->treePane.PageRows());
    EXPECT_EQ(main->treePane.topRow, 201u - page);
    SendMessageW(tree(), WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(main->treePane.topRow, 200u - page);
    SendMessageW(tree(), WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(main->treePane.topRow, 0u);
    key(VK_END);  // the selection scrolls into view
    EXPECT_EQ(main->treePane.topRow, 201u - page);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(tree(), SB_VERT, &si);
    EXPECT_EQ(si.nMax, 200);
    EXPECT_EQ(static_cast<unsigned>(si.nPos), main->treePane.topRow);
}

TEST_F(PluginWindow, DraggingTheSplitterSavesSplit) {
    ASSERT_TRUE(openText(L"split.json", kNestedJson));
    const int w = main->treePane.NameColumnWidth();
    ASSERT_EQ(w, main->palette.scale(300));
    click(WM_LBUTTONDOWN, w + 2, rowY(0));
    EXPECT_TRUE(main->treePane.draggingSplitter);
    EXPECT_EQ(selectedLabel(), "");  // a splitter press selects nothing
    click(WM_MOUSEMOVE, 420, 10);
    click(WM_LBUTTONUP, 420, 10);
    EXPECT_FALSE(main->treePane.draggingSplitter);
    EXPECT_EQ(main->treePane.NameColumnWidth(), 420);
    EXPECT_EQ(settingInt(L"Split"), MulDiv(420, 96, static_cast<int>(main->palette.dpi)));
    // Dragged too far, the value column keeps its 80.
    RECT rc;
    GetClientRect(tree(), &rc);
    click(WM_LBUTTONDOWN, 420, 10);
    click(WM_MOUSEMOVE, rc.right + 50, 10);
    click(WM_LBUTTONUP, rc.right + 50, 10);
    EXPECT_EQ(main->treePane.NameColumnWidth(), rc.right - main->palette.scale(80));
}

TEST_F(PluginWindow, CtrlDigitsSwitchViewsAndSaveTheChoice) {
    ASSERT_TRUE(openText(L"views.json", kNestedJson));
    struct Step {
        WPARAM key;
        int view;
    } steps[] = {{'2', kViewGrid}, {'3', kViewSource}, {'1', kViewTree}, {'3', kViewSource}};
    for (const Step& s : steps) {
        {
            qmtest::HeldKeys ctrl({VK_CONTROL});
            key(s.key, main->ActiveViewWindow());
        }
        EXPECT_EQ(main->settings.activeView, s.view);
        const HWND views[] = {main->treePane.window, main->gridPane.window, main->sourcePane.window};
        for (int v = 0; v < kViewCount; ++v) EXPECT_EQ(IsWindowVisible(views[v]) != 0, v == s.view) << "view " << v;
        EXPECT_EQ(GetFocus(), views[s.view]);
        EXPECT_EQ(settingInt(L"View"), s.view);
    }
    // Switching to the active view writes nothing.
    DeleteFileW(settings.c_str());
    {
        qmtest::HeldKeys ctrl({VK_CONTROL, VK_SHIFT});  // Shift does not matter
        key('3', main->ActiveViewWindow());
    }
    EXPECT_EQ(GetFileAttributesW(settings.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(host.takeForwardedKeys().empty());
    // The next window of the process opens in the saved view.
    {
        qmtest::HeldKeys ctrl({VK_CONTROL});
        key('2', main->ActiveViewWindow());
    }
    ListerClose(window);
    ASSERT_TRUE(openText(L"views2.json", kNestedJson));
    EXPECT_EQ(main->settings.activeView, kViewGrid);
    EXPECT_TRUE(IsWindowVisible(main->gridPane.window));
}

TEST_F(PluginWindow, ExpandAndCollapseAll) {
    ASSERT_TRUE(openText(L"all.json", kNestedJson));
    {
        qmtest::HeldKeys ctrl({VK_CONTROL});
        key(VK_ADD);
    }
    EXPECT_EQ(main->treePane.rows.size(), 10u);  // every node
    key(VK_END);
    for (int i = 0; i < 5; ++i) key(VK_UP);
    ASSERT_EQ(selectedLabel(), "d");
    {
        qmtest::HeldKeys ctrl({VK_CONTROL});
        key(VK_OEM_MINUS);
    }
    EXPECT_EQ(main->treePane.rows.size(), 4u);  // the top level stays open
    EXPECT_EQ(selectedLabel(), "a");             // the visible ancestor took the selection
    EXPECT_EQ(main->treePane.selectedRow, 1);
    {
        qmtest::HeldKeys ctrl({VK_CONTROL});
        key(VK_OEM_PLUS);
    }
    EXPECT_EQ(main->treePane.rows.size(), 10u);
    // In the source view Ctrl+plus does nothing to the tree.
    {
        qmtest::HeldKeys ctrl({VK_CONTROL});
        key('3');
        key(VK_SUBTRACT, main->ActiveViewWindow());
    }
    EXPECT_EQ(main->treePane.rows.size(), 10u);
    EXPECT_TRUE(host.takeForwardedKeys().empty());
}

TEST_F(PluginWindow, CountsOptionIsSaved) {
    ASSERT_TRUE(openText(L"counts.json", kNestedJson));
    main->SetShowCounts(false);
    EXPECT_EQ(settingInt(L"Counts"), 0);
    main->SetShowCounts(true);
    EXPECT_EQ(settingInt(L"Counts"), 1);
}

TEST_F(PluginWindow, SelectedRowColourFollowsTheFocus) {
    ASSERT_TRUE(openText(L"focus.json", kNestedJson));
    RECT rc;
    GetClientRect(tree(), &rc);
    const int y = rowY(0) + 2;
    const int x = rc.right - 2;  // right of any text in the value column
    SetFocus(tree());
    ASSERT_EQ(GetFocus(), tree());
    EXPECT_EQ(qmtest::render(tree()).at(x, y) & 0xFFFFFF, qmtest::dibPixel(main->palette.color(ColorSlot::selection)));
    SetFocus(host.window());
    EXPECT_EQ(qmtest::render(tree()).at(x, y) & 0xFFFFFF,
              qmtest::dibPixel(main->palette.color(ColorSlot::inactiveSelection)));
    // An unselected row is the background.
    EXPECT_EQ(qmtest::render(tree()).at(x, rowY(2) + 2) & 0xFFFFFF,
              qmtest::dibPixel(main->palette.color(ColorSlot::background)));
}

TEST_F(PluginWindow, HostDarkModeSwitchesThePalette) {
    WritePrivateProfileStringW(L"Quillmap", L"Theme", L"3", settings.c_str());  // like the host
    ASSERT_TRUE(openText(L"dark.json", kNestedJson));
    RECT rc;
    GetClientRect(tree(), &rc);
    const int x = rc.right - 2, y = rc.bottom - 2;  // below the rows
    EXPECT_FALSE(main->palette.isDark);
    EXPECT_EQ(qmtest::render(tree()).at(x, y) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(ListerSendCommand(window, lc_newparams, lcp_darkmode), LISTPLUGIN_OK);
    EXPECT_TRUE(main->palette.isDark);
    EXPECT_EQ(qmtest::render(tree()).at(x, y) & 0xFFFFFF, 0x1C1C1Cu);
    EXPECT_EQ(ListerSendCommand(window, lc_newparams, 0), LISTPLUGIN_OK);
    EXPECT_EQ(qmtest::render(tree()).at(x, y) & 0xFFFFFF, 0xFFFFFFu);
    // "Theme" light ignores the host.
    ListerClose(window);
    WritePrivateProfileStringW(L"Quillmap", L"Theme", L"1", settings.c_str());
    ASSERT_TRUE(openText(L"light.json", kNestedJson));
    ListerSendCommand(window, lc_newparams, lcp_darkmode);
    EXPECT_FALSE(main->palette.isDark);
}

TEST_F(PluginWindow, LoadNextReplacesTheDocumentOrKeepsTheOldOne) {
    ASSERT_TRUE(openText(L"first.json", kNestedJson));
    const std::wstring second = qmtest::writeTempFile(L"second.xml", "<root><x/></root>");
    const std::wstring bad = qmtest::writeTempFile(L"bad.json", "not json");
    EXPECT_EQ(ListerLoadNext(window, bad), LISTPLUGIN_ERROR);
    EXPECT_EQ(main->document->format, DocumentFormat::Json);
    EXPECT_EQ(ListerLoadNext(window, second), LISTPLUGIN_OK);
    EXPECT_EQ(main->document->format, DocumentFormat::Xml);
    EXPECT_EQ(selectedLabel(), "root");
    EXPECT_EQ(main->treePane.topRow, 0u);
    EXPECT_EQ(main->filePath, second);
    EXPECT_EQ(ListerLoadNext(host.window(), second), LISTPLUGIN_ERROR);  // not a plug-in window
}

TEST_F(PluginWindow, HostCommandsAndSearch) {
    ASSERT_TRUE(openText(L"cmd.json", kNestedJson));
    key(VK_END);  // "s": "x"
    EXPECT_EQ(ListerSendCommand(window, lc_copy, 0), LISTPLUGIN_OK);
    EXPECT_EQ(qmtest::clipboardText(), "x");
    {
        qmtest::HeldKeys ctrl({VK_CONTROL, VK_SHIFT});
        key('C');  // Copy path
    }
    EXPECT_EQ(qmtest::clipboardText(), "$.s");
    EXPECT_EQ(ListerSendCommand(window, 3, 0), LISTPLUGIN_ERROR);
    EXPECT_EQ(ListerSendCommand(host.window(), lc_copy, 0), LISTPLUGIN_ERROR);
    EXPECT_EQ(ListerSearchText(window, L"", lcs_findfirst), LISTPLUGIN_ERROR);
    EXPECT_EQ(ListerSearchText(nullptr, L"a", 0), LISTPLUGIN_ERROR);
}

TEST_F(PluginWindow, ClosingANonPluginWindowOnlyDestroysIt) {
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.window(), nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(FindMainWindow(other), nullptr);
    EXPECT_EQ(FindMainWindow(nullptr), nullptr);
    ListerClose(other);
    EXPECT_FALSE(IsWindow(other));
}

// F4 edits the selected value through the value editor (answered here for the user) and the
// document shows the new value as modified; a cancelled edit changes nothing.
TEST_F(PluginWindow, EditGestureChangesTheSelectedValue) {
    ASSERT_TRUE(openText(L"edit-gesture.json", "{\"a\": 1, \"b\": \"x\"}"));
    key(VK_DOWN);
    ASSERT_EQ(selectedLabel(), "a");
    {
        const qmtest::EditorAnswer cancel([](MainWindow&, std::wstring&) { return false; });
        key(VK_F4);
    }
    EXPECT_FALSE(main->document->modified);
    {
        const qmtest::EditorAnswer answer([](MainWindow&, std::wstring& value) {
            value = L"2";
            return true;
        });
        key(VK_F4);
    }
    EXPECT_TRUE(main->document->modified);
    ASSERT_NE(main->selected, nullptr);
    EXPECT_EQ(qmtest::u8(main->selected->value), "2");
    main->document->modified = false;  // closing would ask whether to save: leave the file alone
}

// With the automatic theme the window follows the Windows colour mode while it is open: the
// system tells top-level windows, and the plug-in's listener hands it on. A new DPI or display
// builds the palette again; any other setting leaves it alone.
TEST_F(PluginWindow, ColourModeAndDisplayChangesAreFollowedLive) {
    qmtest::RegistryValue apps(L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                               L"AppsUseLightTheme");
    apps.setDword(1);
    setSetting(L"Theme", kThemeAutomatic);
    ASSERT_TRUE(openText(L"live.json", kNestedJson));
    ASSERT_FALSE(main->palette.isDark);
    HWND listener = main->chrome.systemListener;
    ASSERT_NE(listener, nullptr);
    EXPECT_FALSE(IsWindowVisible(listener));
    apps.setDword(0);
    SendMessageW(listener, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"));
    EXPECT_FALSE(main->palette.isDark) << "another setting changes nothing";
    SendMessageW(listener, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"ImmersiveColorSet"));
    EXPECT_TRUE(main->palette.isDark);
    apps.setDword(1);
    const HFONT before = main->palette.uiFont.get();
    SendMessageW(main->window, 0x02E3 /* WM_DPICHANGED_AFTERPARENT */, 0, 0);
    EXPECT_FALSE(main->palette.isDark);
    EXPECT_NE(main->palette.uiFont.get(), before) << "the fonts are made again for the window's DPI";
    apps.setDword(0);
    SendMessageW(listener, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
    EXPECT_TRUE(main->palette.isDark);
    close();
    EXPECT_FALSE(IsWindow(listener)) << "the listener goes with the window";
}

// After Expand all on a 200-level file the deep rows stay inside the name column (nothing of
// theirs in the value column), and a label the column cuts is shown in full by the tooltip.
TEST_F(PluginWindow, DeepRowsStayInTheNameColumnAndTheirLabelsInTheTooltip) {
    std::string deep;
    for (int i = 0; i < 200; ++i) deep += "{\"level" + std::to_string(i) + "\": ";
    deep += "1";
    for (int i = 0; i < 200; ++i) deep += "}";
    ASSERT_TRUE(openText(L"deep.json", deep));
    main->treePane.ExpandAll(true);
    main->treePane.ScrollTo(150);
    qmtest::pumpMessages();
    const int row = 150 - static_cast<int>(main->treePane.topRow);
    const int y = row * main->palette.rowHeight + main->palette.rowHeight / 2;
    const int nameColumn = main->treePane.NameColumnWidth();
    const qmtest::Pixels px = qmtest::render(tree());
    const Palette& pal = main->palette;
    const COLORREF badge = pal.color(nodeBadge(NodeKind::Object, true).slot);
    const COLORREF guide = pal.color(ColorSlot::gridLine);
    RECT values{nameColumn + 2, row * pal.rowHeight, px.width, (row + 1) * pal.rowHeight - 1};
    EXPECT_FALSE(px.contains(badge, values)) << "a badge drawn over the value column";
    EXPECT_FALSE(px.contains(guide, values)) << "guides drawn over the value column";

    SendMessageW(tree(), WM_MOUSEMOVE, 0, MAKELPARAM(nameColumn / 2, y));
    EXPECT_EQ(u8(main->treePane.tipText), "level149");
    ASSERT_NE(main->treePane.tooltip, nullptr);
    wchar_t shown[64] = {};
    TOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = tree();
    ti.uId = 1;
    ti.lpszText = shown;
    SendMessageW(main->treePane.tooltip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&ti));
    EXPECT_EQ(u8(shown), "level149");
    // A label the column shows whole has no tooltip.
    main->treePane.ScrollTo(0);
    SendMessageW(tree(), WM_MOUSEMOVE, 0, MAKELPARAM(nameColumn / 2, main->palette.rowHeight / 2));
    EXPECT_EQ(main->treePane.tipText, L"");
    HWND tooltip = main->treePane.tooltip;
    close();
    EXPECT_FALSE(IsWindow(tooltip)) << "the tooltip goes with the view";
}

// At the narrowest name column a container row still shows its label; its count pill goes.
TEST_F(PluginWindow, ANarrowNameColumnShowsLabelsBeforeCountPills) {
    setSetting(L"Split", kMinSplitDips);
    ASSERT_TRUE(openText(L"narrow.xml", "<abc><x/><y/><z/></abc>"));
    const Palette& pal = main->palette;
    const int nameColumn = main->treePane.NameColumnWidth();
    ASSERT_EQ(nameColumn, pal.scale(kMinSplitDips));
    const qmtest::Pixels px = qmtest::render(tree());
    const std::vector<TreeRow>& rows = main->treePane.rows;
    ASSERT_GE(rows.size(), 1u);
    ASSERT_EQ(u8(nodeLabel(rows[0].node)), "abc");
    ASSERT_EQ(u8(countPillText(rows[0].node, true, true)), "3");
    const int labelLeft = treeLabelLeft(rows[0].depth, pal.dpi);
    ASSERT_LT(labelLeft, nameColumn);
    RECT label{labelLeft, 0, nameColumn, pal.rowHeight - 1};
    EXPECT_TRUE(px.contains(pal.color(labelSlot(rows[0].node)), label)) << "the label is drawn";
}

// Ctrl+G: the field at the top of the view takes a path as "Copy path" writes it, Enter selects
// and reveals its node in the Tree, the Grid and the Source; an unknown path says so in the status
// bar and leaves the selection; Escape leaves everything.
TEST_F(PluginWindow, CtrlGGoesToThePathTyped) {
    ASSERT_TRUE(openText(L"goto.json", R"({"a": {"b": [1, {"c": "deep"}]}, "d": 2})"));
    struct Step {
        int view;
        qmtest::ModalAnswer answer;
        const char* selected;  // the path of the selection afterwards
        const char* notice;
    } steps[] = {
        {kViewTree, {qmtest::ModalAnswer::Key, VK_RETURN, L"$.a.b[1].c"}, "$.a.b[1].c", ""},
        {kViewGrid, {qmtest::ModalAnswer::Key, VK_RETURN, L"  $.d "}, "$.d", ""},
        {kViewSource, {qmtest::ModalAnswer::Key, VK_RETURN, L"$['a'].b[0]"}, "$.a.b[0]", ""},
        {kViewTree, {qmtest::ModalAnswer::Key, VK_RETURN, L"$.a.x"}, "$.a.b[0]", "No node has the path $.a.x"},
        {kViewTree, {qmtest::ModalAnswer::Key, VK_ESCAPE, L"$.d"}, "$.a.b[0]", "No node has the path $.a.x"},
    };
    for (const Step& s : steps) {
        main->SwitchView(s.view);
        qmtest::ModalDriver driver({s.answer});
        {
            qmtest::HeldKeys ctrl{VK_CONTROL};
            SendMessageW(main->ActiveViewWindow(), WM_KEYDOWN, 'G', 1);
        }
        qmtest::pumpMessages();
        ASSERT_EQ(driver.seen.size(), 1u) << s.selected;
        EXPECT_EQ(driver.seen[0].kind, qmtest::ModalSeen::Field);
        EXPECT_EQ(selectedPath(), s.selected);
        EXPECT_EQ(u8(main->chrome.notice), s.notice);
    }
    EXPECT_GE(main->treePane.selectedRow, 0) << "revealed in the tree";
}

// A string holding JSON opens in the Tree by the keys and the chevron of every other node, its
// text parsed on the first opening; a text that is no JSON says so and loses its chevron. In the
// Grid a click on its row's expander opens the nested table (editing inside: editing_test).
TEST_F(PluginWindow, StringsHoldingJsonOpenInTheTreeAndTheGrid) {
    ASSERT_TRUE(openText(L"embedded.json", R"({"a": 1, "payload": "{\"id\": 3, \"tags\": [\"x\"]}", "bad": "{oops}"})"));
    ASSERT_EQ(main->treePane.rows.size(), 4u);
    {
        // Run after "Go to path", whose field's modal loop leaves Ctrl down in this thread's key
        // state under Wine, + and - would be Ctrl++ and Ctrl+-.
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_CONTROL] = state[VK_LCONTROL] = state[VK_RCONTROL] = 0;
        SetKeyboardState(state);
    }
    const struct {
        WPARAM key;
        const char* selected;
        size_t rows;
    } steps[] = {
        {VK_DOWN, "a", 4},        {VK_DOWN, "payload", 4}, {VK_RIGHT, "payload", 6},  // parsed and opened
        {VK_RIGHT, "id", 6},      {VK_LEFT, "payload", 6}, {VK_LEFT, "payload", 4},
        {VK_RETURN, "payload", 6}, {VK_SUBTRACT, "payload", 4}, {VK_ADD, "payload", 6},
        {VK_MULTIPLY, "payload", 7}, {VK_END, "bad", 7},
    };
    for (const auto& s : steps) {
        key(s.key);
        EXPECT_EQ(selectedLabel(), s.selected) << "after key " << s.key;
        EXPECT_EQ(main->treePane.rows.size(), s.rows) << "after key " << s.key;
    }
    EXPECT_EQ(u8(nodeNote(*main->document, main->treePane.rows[2].node)), "JSON") << "the mark the row draws";
    EXPECT_TRUE(main->treePane.rows[6].expandable);
    key(VK_RIGHT);  // "{oops}": the chevron goes and the status bar says why
    EXPECT_FALSE(main->treePane.rows[6].expandable);
    EXPECT_EQ(main->treePane.rows.size(), 7u);
    EXPECT_EQ(u8(main->chrome.notice), "The string holds no valid JSON: line 1: Expected ':'");

    close();
    ASSERT_TRUE(openText(L"embedded-grid.json", R"({"a": 1, "payload": "[{\"n\": 1}, {\"n\": 2}]"})"));
    main->SwitchView(kViewGrid);
    GridPane& grid = main->gridPane;
    grid.EnsureLayout();
    const GridBox* top = grid.layout.root->frame->children.front();
    ASSERT_EQ(top->type, GridBoxType::KeyValue);
    ASSERT_EQ(top->frame->rows.size(), 2u);
    const GridRow& row = top->frame->rows[1];
    EXPECT_EQ(row.toggle, kToggleNode);
    EXPECT_FALSE(row.open) << "not parsed when the grid is built";
    EXPECT_EQ(u8(row.note), "JSON");
    EXPECT_EQ(top->frame->children[1]->type, GridBoxType::Leaf) << "closed, it shows its text";
    const int margin = main->palette.scale(kGridMargin);
    SendMessageW(grid.window, WM_LBUTTONDOWN, 0,
                 MAKELPARAM(top->x + margin + main->palette.scale(10) - grid.scrollX,
                            top->y + top->frame->rowTops[1] + margin + 5 - grid.scrollY));
    grid.EnsureLayout();
    top = grid.layout.root->frame->children.front();
    EXPECT_TRUE(top->frame->rows[1].open);
    ASSERT_EQ(top->frame->children[1]->type, GridBoxType::Table) << "an array of objects: a record table";
    EXPECT_EQ(top->frame->children[1]->frame->records.size(), 2u);

    // XML: an element shown with its JSON text. The filter opens it and keeps the node inside that
    // matches; a backward search selects that node, then goes past the string it stands for.
    close();
    ASSERT_TRUE(openText(L"embedded.xml", R"(<r><n>needle</n><payload>{"id": 3, "tag": "needle"}</payload></r>)"));
    ApplyFilter(*main, L"needle", 0);
    EXPECT_EQ(main->filter.matched, 3u);
    EXPECT_EQ(u8(nodePath(main->treePane.rows.back().node, main->document->format)), "/r/payload#$.tag");
    ClearFilter(*main);
    EXPECT_EQ(Search(*main, L"needle", kSearchFindFirst | kSearchBackwards), SearchOutcome::Found);
    EXPECT_EQ(selectedPath(), "/r/payload#$.tag");
    EXPECT_EQ(Search(*main, L"needle", kSearchBackwards), SearchOutcome::Found);
    EXPECT_EQ(selectedPath(), "/r/n");
}

// Figures of opening and searching embedded JSON, not a check: QM_EMBEDDED_BENCH names the folder
// scripts/bench-embedded.py writes; run --gtest_also_run_disabled_tests
// --gtest_filter=PluginWindow.DISABLED_EmbeddedFigures.
TEST_F(PluginWindow, DISABLED_EmbeddedFigures) {
    wchar_t folder[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QM_EMBEDDED_BENCH", folder, MAX_PATH)) GTEST_SKIP() << "QM_EMBEDDED_BENCH is not set";
    using qmtest::seconds;
    struct Figure {
        const wchar_t* file;
        const wchar_t* payload;  // the string opened
    } figures[] = {{L"embedded.jsonl", L"$[99999].payload"},
                   {L"embedded-big.json", L"$.payload"},
                   {L"embedded-100mb.json", L"$[318018].payload"}};
    for (const Figure& f : figures) {
        double t = seconds();
        ASSERT_TRUE(open(std::wstring(folder) + L"\\" + f.file));
        printf("%ls: load %.3f s, %zu nodes\n", f.file, seconds() - t, main->document->nodes.size());
        const Document& shown = *main->document;
        Node* string = findByPath(shown, f.payload);
        ASSERT_NE(string, nullptr);
        main->SelectNode(string);
        main->RevealSelection();
        UpdateWindow(tree());
        const size_t before = main->document->nodes.size();
        t = seconds();
        key(VK_RIGHT);
        UpdateWindow(tree());
        printf("  open %ls in the tree: %.3f s, %zu nodes parsed\n", f.payload, seconds() - t,
               main->document->nodes.size() - before);
        close();
    }
    ASSERT_TRUE(open(std::wstring(folder) + L"\\embedded.jsonl"));
    double t = seconds();
    SearchOutcome outcome = Search(*main, L"zebra-needle", kSearchFindFirst);
    while (main->searchRun) outcome = ContinueSearch(*main);
    UpdateWindow(tree());
    printf("embedded.jsonl: search into the last payload: %.3f s, %s at %s\n", seconds() - t,
           outcome == SearchOutcome::Found ? "found" : "not found", selectedPath().c_str());
    // Backwards from the end to the first record: past every string, opened or not.
    const struct {
        const wchar_t* file;
        const wchar_t* term;
    } backwards[] = {{L"embedded.jsonl", L"request 0 handled"}, {L"embedded-100mb.json", L"record 0 of the bench"}};
    for (const auto& b : backwards) {
        close();
        ASSERT_TRUE(open(std::wstring(folder) + L"\\" + b.file));
        t = seconds();
        SearchOutcome back = Search(*main, b.term, kSearchFindFirst | kSearchBackwards);
        double longest = seconds() - t;
        int slices = 1;
        for (double s = seconds(); main->searchRun; s = seconds(), ++slices) {
            back = ContinueSearch(*main);
            longest = std::max(longest, seconds() - s);
        }
        UpdateWindow(tree());
        printf("%ls: backward search from the end for \"%ls\": %.3f s in %d slices (the longest %.3f s), %s at %s\n",
               b.file, b.term, seconds() - t, slices, longest, back == SearchOutcome::Found ? "found" : "not found",
               selectedPath().c_str());
    }
    // The filter opens the payloads whose text matches: one ("zebra-needle"), then every one.
    for (const wchar_t* term : {L"zebra-needle", L"handled"}) {
        close();
        ASSERT_TRUE(open(std::wstring(folder) + L"\\embedded.jsonl"));
        const size_t before = main->document->nodes.size();
        const double start = seconds();
        ApplyFilter(*main, term, 0);
        double longest = seconds() - start;
        for (t = seconds(); main->filterRun; t = seconds()) {
            SendMessageW(main->window, WM_TIMER, kFilterTimer, 0);
            longest = std::max(longest, seconds() - t);
        }
        printf("embedded.jsonl: filter %ls: %.3f s (the longest slice %.3f s), %zu matches, %zu nodes parsed\n", term,
               seconds() - start, longest, main->filter.matched, main->document->nodes.size() - before);
    }
    fflush(stdout);
}
