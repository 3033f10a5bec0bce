// "Edit value", "Save changes" and the unsaved-changes question in the plug-in window, with the
// real in-place field, the real "Edit value" window and real message boxes, answered by a
// ModalDriver as a user would answer them.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "document/load.h"
#include "document/textfile.h"
#include "edit/editing.h"
#include "edit/nodetext.h"
#include "shell/lister.h"
#include "shell/mainwindow.h"
#include "shell/settings.h"
#include "views/grid.h"
#include "tests/shell/guihost.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;
using qmtest::ModalAnswer;
using qmtest::ModalSeen;
using qmtest::u8;

namespace {

// A short value near the top, a value with a line break, one with a CR LF, and enough keys to
// scroll the tree.
std::string editSample() {
    std::string text = "{\"s\": \"short\", \"m\": \"two\\nlines\", \"c\": \"cr\\r\\nlf\"";
    for (int i = 0; i < 60; ++i) text += ", \"k" + std::to_string(i) + "\": " + std::to_string(i);
    return text + "}";
}
const std::string kSample = editSample();

enum class Gesture { CtrlE, F4 };

class EditingWindow : public qmtest::PluginWindowTest {
protected:
    void TearDown() override {
        discardEdits();
        PluginWindowTest::TearDown();
    }
    // A test that ends with a pending edit would make closing ask the question and wait for it.
    void discardEdits() {
        if (main && main->document) main->document->modified = false;
    }
    void reopen(int view, const std::wstring& name = L"edit.json") {
        discardEdits();
        close();
        setSetting(L"View", view);
        ASSERT_TRUE(openText(name, kSample));
        path = main->filePath;
    }
    Node* node(const wchar_t* nodePath) {
        Node* found = qmtest::nodeWithPath(*main->document, nodePath);
        if (!found) ADD_FAILURE() << "no node " << u8(nodePath);
        return found;
    }
    void select(const wchar_t* nodePath) {
        main->SelectNode(node(nodePath));
        main->RevealSelection();
        qmtest::pumpMessages();
    }
    void gesture(Gesture g) {
        HWND view = main->ActiveViewWindow();
        if (g == Gesture::F4) {
            SendMessageW(view, WM_KEYDOWN, VK_F4, 1);
        } else {
            qmtest::HeldKeys ctrl{VK_CONTROL};
            SendMessageW(view, WM_KEYDOWN, 'E', 1);
        }
        qmtest::pumpMessages();
    }
    std::string value(const wchar_t* nodePath) { return u8(node(nodePath)->value); }

    std::wstring path;
};

struct PlaceCase {
    const char* what;
    int view;
    Gesture gesture;
    const wchar_t* node;
    bool scrolledAway;  // the tree is scrolled so that the selected row is out of sight
    ModalSeen::Kind editor;
    bool multiLine;
};

TEST_F(EditingWindow, EachViewEditsInPlaceWhereItCanAndInTheDialogOtherwise) {
    const PlaceCase cases[] = {
        {"tree, Ctrl+E", kViewTree, Gesture::CtrlE, L"$.s", false, ModalSeen::Field, false},
        {"tree, F4", kViewTree, Gesture::F4, L"$.s", false, ModalSeen::Field, false},
        {"grid, Ctrl+E", kViewGrid, Gesture::CtrlE, L"$.s", false, ModalSeen::Field, false},
        {"grid, F4", kViewGrid, Gesture::F4, L"$.s", false, ModalSeen::Field, false},
        {"source, Ctrl+E", kViewSource, Gesture::CtrlE, L"$.s", false, ModalSeen::Field, false},
        {"source, F4", kViewSource, Gesture::F4, L"$.s", false, ModalSeen::Field, false},
        {"tree, a line break", kViewTree, Gesture::F4, L"$.m", false, ModalSeen::Dialog, true},
        {"grid, a line break", kViewGrid, Gesture::CtrlE, L"$.m", false, ModalSeen::Dialog, true},
        {"source, a line break", kViewSource, Gesture::F4, L"$.m", false, ModalSeen::Dialog, true},
        {"tree, row out of sight", kViewTree, Gesture::F4, L"$.s", true, ModalSeen::Dialog, false},
    };
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.what);
        reopen(c.view);
        select(c.node);
        if (c.scrolledAway) SendMessageW(main->treePane.window, WM_VSCROLL, SB_BOTTOM, 0);
        const bool inPlace = c.editor == ModalSeen::Field;
        const wchar_t* typed = c.multiLine ? L"one\r\ntwo" : L"new";
        qmtest::ModalDriver driver({{c.multiLine ? ModalAnswer::CtrlKey : ModalAnswer::Key, VK_RETURN, typed}});
        gesture(c.gesture);
        ASSERT_EQ(driver.seen.size(), 1u);
        const ModalSeen& seen = driver.seen[0];
        EXPECT_EQ(seen.kind, c.editor);
        EXPECT_EQ(seen.text, c.multiLine ? "two\r\nlines" : "short");
        if (inPlace) {
            // On the active view, over the selected value's row.
            HWND view = main->ActiveViewWindow();
            EXPECT_EQ(seen.parent, view);
            RECT client{};
            GetClientRect(view, &client);
            EXPECT_GE(seen.rect.left, 0);
            EXPECT_LE(seen.rect.right, client.right);
            EXPECT_GT(seen.rect.right - seen.rect.left, main->palette.scale(20));
            long long rowTop = -1;
            if (c.view == kViewTree) {
                rowTop = (main->treePane.selectedRow - static_cast<long long>(main->treePane.topRow)) * main->palette.rowHeight;
            } else if (c.view == kViewSource) {
                rowTop = (main->sourcePane.LineRange(main->selected).first - main->sourcePane.topLine) *
                         static_cast<long long>(main->palette.monoLineHeight);
            } else {
                const GridBox* box = main->gridPane.FindLeafBox(main->selected, main->selected);
                ASSERT_NE(box, nullptr);
                rowTop = box->y - main->gridPane.scrollY + main->palette.scale(kGridMargin);
            }
            EXPECT_EQ(seen.rect.top, rowTop);
        } else {
            EXPECT_EQ(seen.multiLine, c.multiLine);
            EXPECT_EQ(seen.caption, u8(c.node));
        }
        EXPECT_TRUE(main->document->modified);
        EXPECT_EQ(value(c.node), c.multiLine ? "one\ntwo" : "new");
        EXPECT_EQ(GetFocus(), main->ActiveViewWindow()) << "the view has the focus again";
    }
}

struct KeyCase {
    const char* what;
    const wchar_t* node;
    std::vector<ModalAnswer> answers;
    std::vector<ModalSeen::Kind> seen;
    const char* valueAfter;
    bool modified;
};

TEST_F(EditingWindow, TheKeysThatEndTheEditors) {
    const auto F = ModalSeen::Field, D = ModalSeen::Dialog;
    const KeyCase cases[] = {
        {"field: Enter commits", L"$.s", {{ModalAnswer::Key, VK_RETURN, L"new"}}, {F}, "new", true},
        {"field: Escape cancels", L"$.s", {{ModalAnswer::Key, VK_ESCAPE, L"new"}}, {F}, "short", false},
        {"field: clicking away commits", L"$.s", {{ModalAnswer::FocusAway, 0, L"new"}}, {F}, "new", true},
        {"field: Enter on the unchanged text does nothing", L"$.s", {{ModalAnswer::Key, VK_RETURN}}, {F}, "short", false},
        {"dialog: Ctrl+Enter commits", L"$.m", {{ModalAnswer::CtrlKey, VK_RETURN, L"a\r\nb"}}, {D}, "a\nb", true},
        {"dialog: a plain Enter keeps it open", L"$.m", {{ModalAnswer::Key, VK_RETURN}, {ModalAnswer::Key, VK_ESCAPE}},
         {D, D}, "two\nlines", false},
        {"dialog: Escape cancels", L"$.m", {{ModalAnswer::Key, VK_ESCAPE, L"x"}}, {D}, "two\nlines", false},
        {"dialog: Cancel", L"$.m", {{ModalAnswer::Button, IDCANCEL, L"x"}}, {D}, "two\nlines", false},
        {"dialog: OK on the unchanged text changes nothing", L"$.m", {{ModalAnswer::Button, IDOK}}, {D}, "two\nlines", false},
        {"dialog: OK on an unchanged CR LF value changes nothing", L"$.c", {{ModalAnswer::Button, IDOK}}, {D}, "cr\r\nlf",
         false},
        {"dialog: a CR LF value keeps its CR LF when edited", L"$.c", {{ModalAnswer::CtrlKey, VK_RETURN, L"cr\r\nlf\r\nx"}},
         {D}, "cr\r\nlf\r\nx", true},
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.what);
        reopen(kViewTree);
        select(c.node);
        qmtest::ModalDriver driver(c.answers);
        gesture(Gesture::F4);
        std::vector<ModalSeen::Kind> seen;
        for (const ModalSeen& s : driver.seen) seen.push_back(s.kind);
        EXPECT_EQ(seen, c.seen);
        EXPECT_EQ(value(c.node), c.valueAfter);
        EXPECT_EQ(main->document->modified, c.modified);
    }
}

// Ctrl+E on an object edits the first value below it, selected and shown.
TEST_F(EditingWindow, EditOnAnObjectEditsTheFirstValueBelowIt) {
    reopen(kViewTree);
    select(L"$");
    qmtest::ModalDriver driver({{ModalAnswer::Key, VK_RETURN, L"first"}});
    gesture(Gesture::CtrlE);
    ASSERT_EQ(driver.seen.size(), 1u);
    EXPECT_EQ(driver.seen[0].text, "short");
    EXPECT_EQ(main->selected, node(L"$.s"));
    EXPECT_EQ(value(L"$.s"), "first");
}

// Another program changed the file after the edit: Ctrl+S asks before overwriting that change;
// No keeps the edit pending and the file as the other program left it.
TEST_F(EditingWindow, CtrlSAsksBeforeOverwritingAnotherProgramsChange) {
    for (const UINT answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
        reopen(kViewTree, L"other.json");
        select(L"$.s");
        qmtest::ModalDriver driver({{ModalAnswer::Key, VK_RETURN, L"mine"}, {ModalAnswer::Button, answer}});
        gesture(Gesture::F4);
        ASSERT_TRUE(main->document->modified);
        std::string theirs = kSample;
        theirs.replace(theirs.find("\"k0\": 0"), 8, "\"k0\": 9");
        qmtest::writeTempFile(L"other.json", theirs);
        driver.prime();
        {
            qmtest::HeldKeys ctrl{VK_CONTROL};
            SendMessageW(main->ActiveViewWindow(), WM_KEYDOWN, 'S', 1);
        }
        ASSERT_EQ(driver.seen.size(), 2u);
        EXPECT_EQ(driver.seen[1].kind, ModalSeen::Box);
        EXPECT_EQ(driver.seen[1].text.rfind("The file has been changed by another program.", 0), 0u) << driver.seen[1].text;
        std::string mine = kSample;
        mine.replace(mine.find("\"short\""), 7, "\"mine\"");
        EXPECT_EQ(qmtest::fileBytes(path), answer == IDYES ? mine : theirs);
        EXPECT_EQ(main->document->modified, answer == IDNO);
    }
}

TEST_F(EditingWindow, CtrlSSavesAndIsTheHostsKeyWithoutAnEdit) {
    reopen(kViewTree, L"ctrl-s.json");
    const auto ctrlS = [this] {
        qmtest::HeldKeys ctrl{VK_CONTROL};
        SendMessageW(main->ActiveViewWindow(), WM_KEYDOWN, 'S', 1);
    };
    ctrlS();
    const auto forwarded = host.takeForwardedKeys();
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].key, WPARAM('S'));

    select(L"$.s");
    {
        qmtest::ModalDriver driver({{ModalAnswer::Key, VK_RETURN, L"saved"}});
        gesture(Gesture::F4);
    }
    ASSERT_TRUE(main->document->modified);
    ctrlS();
    EXPECT_FALSE(main->document->modified);
    std::string expected = kSample;
    expected.replace(expected.find("\"short\""), 7, "\"saved\"");
    EXPECT_EQ(qmtest::fileBytes(path), expected);
    EXPECT_TRUE(host.takeForwardedKeys().empty());
}

struct PromptCase {
    const char* what;
    bool loadNext;  // ListLoadNext instead of ListCloseWindow
    UINT answer;
    bool german;
    bool readOnly;  // the file turns read-only before the question
    std::vector<std::string> boxes;
    bool saved;
};

TEST_F(EditingWindow, TheSaveQuestionOnCloseAndOnTheNextFile) {
    const std::string question = "Save changes to \"prompt.json\"?";
    const PromptCase cases[] = {
        {"close, Yes", false, IDYES, false, false, {question}, true},
        {"close, No", false, IDNO, false, false, {question}, false},
        {"next file, Yes", true, IDYES, false, false, {question}, true},
        {"next file, No", true, IDNO, false, false, {question}, false},
        {"close, Yes, German", false, IDYES, true, false, {"\xC3\x84nderungen an \"prompt.json\" speichern?"}, true},
        {"close, Yes, saving fails", false, IDYES, false, true, {question, "The file is read-only."}, false},
    };
    const std::wstring next = qmtest::writeTempFile(L"next.xml", "<r/>");
    for (const PromptCase& c : cases) {
        SCOPED_TRACE(c.what);
        reopen(kViewTree, L"prompt.json");
        const qmtest::LanguageGuard language(c.german);  // after loading, which takes the system's
        select(L"$.s");
        std::vector<ModalAnswer> answers = {{ModalAnswer::Key, VK_RETURN, L"new"}, {ModalAnswer::Button, c.answer}};
        if (c.readOnly) answers.insert(answers.end(), {{ModalAnswer::Button, IDOK}, {ModalAnswer::Button, IDOK}});
        qmtest::ModalDriver driver(answers);
        gesture(Gesture::F4);
        ASSERT_TRUE(main->document->modified);
        if (c.readOnly) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        driver.prime();
        if (c.loadNext) {
            EXPECT_EQ(ListerLoadNext(window, next), LISTPLUGIN_OK);
            EXPECT_EQ(main->filePath, next);
            EXPECT_FALSE(main->document->modified);
        } else {
            ListerClose(window);
            EXPECT_FALSE(IsWindow(window));
            window = nullptr;
            main = nullptr;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        std::vector<std::string> boxes;
        for (size_t i = 1; i < driver.seen.size(); ++i) {
            EXPECT_EQ(driver.seen[i].kind, ModalSeen::Box);
            EXPECT_EQ(driver.seen[i].caption, "Quillmap");
            boxes.push_back(driver.seen[i].text);
        }
        std::vector<std::string> expectedBoxes = c.boxes;
        std::string edited = kSample;
        edited.replace(edited.find("\"short\""), 7, "\"new\"");
        const std::wstring kept = path + L".qmedit";
        if (c.readOnly) {
            // The window goes whatever happens: the edit that could not be saved is kept beside.
            expectedBoxes.push_back("The edited text is kept in \"" + u8(kept) + "\".");
            EXPECT_EQ(qmtest::fileBytes(kept), edited);
            DeleteFileW(kept.c_str());
        }
        EXPECT_EQ(boxes, expectedBoxes);
        EXPECT_EQ(qmtest::fileBytes(path), c.saved ? edited : kSample);
    }
}

// The in-place field's place is measured in DIPs like the views it lies on: at twice the DPI it
// sits twice as far into the tree's value column and the grid's margin.
TEST_F(EditingWindow, TheInPlaceFieldScalesWithTheDpi) {
    struct Case {
        int view;
        unsigned dpi;
        int offset;  // of the field's left edge from the value column (tree) or the cell (grid)
    } cases[] = {{kViewTree, 96, 4}, {kViewTree, 192, 8}, {kViewGrid, 96, 8}, {kViewGrid, 192, 16}};
    static RECT seenRect;
    static bool seenValid;
    const qmtest::EditorAnswer recordPlace([](MainWindow& m, std::wstring&) {
        seenRect = m.editRect;
        seenValid = m.editRectValid;
        return false;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.view) + " at " + std::to_string(c.dpi));
        reopen(c.view);
        BuildPaletteAtDpi(main->palette, c.dpi, main->settings.themeMode, false);
        main->gridPane.Relayout();
        select(L"$.s");
        seenValid = false;
        gesture(Gesture::F4);
        ASSERT_TRUE(seenValid);
        if (c.view == kViewTree) {
            EXPECT_EQ(seenRect.left - main->treePane.NameColumnWidth(), c.offset);
        } else {
            const GridBox* box = main->gridPane.FindLeafBox(main->selected, main->selected);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(seenRect.left - (box->x - main->gridPane.scrollX), c.offset);
            EXPECT_EQ(seenRect.top - (box->y - main->gridPane.scrollY), c.offset);
        }
    }
}

// Figures, not a test: it asserts nothing about time. QM_EDIT_BENCH names a big JSON file (the
// 100 MB one that bench/ generates); each of the last three strings is edited as the first edit
// after loading, through the command as Ctrl+E runs it, and then the parts of one edit are
// timed alone. The file itself is never written.
TEST_F(EditingWindow, DISABLED_BigFileEditFigures) {
    wchar_t file[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"QM_EDIT_BENCH", file, MAX_PATH)) GTEST_SKIP() << "QM_EDIT_BENCH is not set";
    const auto now = qmtest::seconds;
    double t = now();
    ASSERT_TRUE(open(file));
    Document& doc = *main->document;
    printf("load: %.3f s, %zu nodes\n", now() - t, doc.nodes.size());

    std::vector<Node*> strings;
    for (size_t i = doc.nodes.size(); i-- > 0 && strings.size() < 4;)
        if (doc.nodes[i].kind == NodeKind::String) strings.push_back(&doc.nodes[i]);
    const qmtest::EditorAnswer answer([](MainWindow&, std::wstring& value) {
        value = L"edited";
        return true;
    });
    Node* alone = strings.back();
    strings.pop_back();
    for (Node* n : strings) {
        main->SelectNode(n);
        main->RevealSelection();
        t = now();
        EditSelectedValue(*main);
        printf("first edit of %s: %.3f s\n", u8(nodePath(n, doc.format)).c_str(), now() - t);
        ASSERT_TRUE(doc.modified);
        doc.modified = false;  // so the next one is a first edit again, and nothing asks to save
    }

    t = now();
    ASSERT_TRUE(editValue(doc, main->filePath, alone, [](std::wstring& value) {
                    value = L"edited";
                    return true;
                }).changed);
    printf("the edit alone, without refreshing the views: %.3f s\n", now() - t);
    doc.modified = false;

    std::vector<uint8_t> bytes;
    t = now();
    ASSERT_TRUE(readWholeFile(file, bytes));
    printf("  read: %.3f s\n", now() - t);
    std::wstring text, encoding;
    t = now();
    decodeText(bytes, text, encoding);
    printf("  decode: %.3f s\n", now() - t);
    std::vector<uint8_t> again;
    t = now();
    encodeText(text, encoding, again);
    printf("  encode to compare: %.3f s\n", now() - t);
    std::vector<uint8_t>().swap(bytes);
    std::vector<uint8_t>().swap(again);
    Document fresh;
    fresh.recordSpans = true;
    fresh.encoding = encoding;
    t = now();
    parseText(file, std::move(text), fresh);
    printf("  parse with spans (an edit parses twice): %.3f s\n", now() - t);
    fflush(stdout);
}

}  // namespace
