// A stand-in for the Lister window in the GUI tests: a top-level window that records the keys
// the plug-in forwards to it, plus helpers to load a file the way ListLoadW does, to hold
// modifier keys, and to read the pixels a window paints for WM_PRINTCLIENT.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "appearance/capture_win.h"
#include "shell/mainwindow.h"
#include "shell/menu.h"

namespace qmtest {

struct ForwardedKey {
    WPARAM key;
    LPARAM lParam;
};

class GuiHost {
public:
    GuiHost(int width = 800, int height = 600);
    ~GuiHost();
    GuiHost(const GuiHost&) = delete;
    GuiHost& operator=(const GuiHost&) = delete;

    HWND window() const { return window_; }
    // Handles the queued messages and returns the keys that reached the host since the last call.
    std::vector<ForwardedKey> takeForwardedKeys();

private:
    static LRESULT CALLBACK proc(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    std::vector<ForwardedKey> keys_;
};

// Pumps every queued message of the thread.
void pumpMessages();

// Sends the timer messages of a running filter, and of the grid built for it, until it is done.
void runFilter(qm::MainWindow& main);

// The clipboard's Unicode text as UTF-8, "(none)" without one, "(clipboard busy)" when it
// cannot be opened.
std::string clipboardText();

// Ctrl / Shift held down for GetKeyState while the object lives.
class HeldKeys {
public:
    explicit HeldKeys(std::initializer_list<int> keys);
    ~HeldKeys();

private:
    BYTE saved_[256];
};

// Opens the context menu of `view` at a screen point ({-1, -1}: as the menu key opens it, at the
// selection) with `choose` answering in place of the user; the tracker before is put back.
void answerContextMenu(HWND view, qm::MenuTracker choose, POINT screen = {-1, -1});

// Seconds on the performance counter, for the figures of the disabled benchmarks.
double seconds();

// The pixels of a window's client area as painted for WM_PRINTCLIENT (0x00RRGGBB each).
struct Pixels : qm::WindowPixels {
    // Whether any pixel of the rectangle has exactly this Windows colour (0x00BBGGRR).
    bool contains(COLORREF colour, const RECT& area) const;
};
// Fails the calling test when the picture cannot be made.
Pixels render(HWND window);
// A Windows colour value (0x00BBGGRR) as a DIB pixel (0x00RRGGBB).
inline uint32_t dibPixel(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// A private settings file for one test (deleted first), set as the process's settings path.
std::wstring useFreshSettings(const std::wstring& name);

// One plug-in window on a test host, loaded as ListLoadW loads it, with a private settings file
// per test; the window is closed and the queue emptied when the test ends.
class PluginWindowTest : public ::testing::Test {
protected:
    explicit PluginWindowTest(int hostWidth = 800, int hostHeight = 600) : host(hostWidth, hostHeight) {}
    void SetUp() override { freshSettings(); }
    void TearDown() override;

    // A new, empty settings file for the next window (the fixture starts with one).
    void freshSettings();
    // Writes one setting into the test's settings file, read by the next window that opens.
    void setSetting(const wchar_t* key, int value) const;
    // Loads the file into a new plug-in window and focuses its active view; false when declined.
    bool open(const std::wstring& path, int flags = 0);
    bool openText(const std::wstring& name, const std::string& text, int flags = 0);
    // The path of the selected node as "Copy path" writes it, "(none)" without a selection.
    std::string selectedPath() const;
    // The lines of the Source view's text.
    std::vector<std::string> sourceLines() const;
    // Closes the plug-in window as Lister does when it leaves the file; the next open makes a new one.
    void close();

    GuiHost host;
    std::wstring settings;
    HWND window = nullptr;
    qm::MainWindow* main = nullptr;
};

}  // namespace qmtest

namespace qmtest {

// Installs `answer` as the value editor of "Edit value" while it lives (nullptr: the real
// in-place field and dialog), then puts back the one before.
class EditorAnswer {
public:
    explicit EditorAnswer(bool (*answer)(qm::MainWindow&, std::wstring&));
    ~EditorAnswer();
    EditorAnswer(const EditorAnswer&) = delete;
    EditorAnswer& operator=(const EditorAnswer&) = delete;

private:
    bool (*saved_)(qm::MainWindow&, std::wstring&);
};

// What one answer found on screen when its turn came.
struct ModalSeen {
    enum Kind { Nothing, Field, Dialog, Box } kind = Nothing;
    std::string text;     // the field's text, or the message box's message
    std::string caption;  // the path above the dialog's field, or the message box's title
    HWND parent = nullptr;  // the window the in-place field lies on
    RECT rect{};            // the in-place field, in its parent's client coordinates
    bool multiLine = false;  // the dialog's field
};

// One answer to a modal loop of the plug-in: optionally text typed into the editor's field, then
// an action.
struct ModalAnswer {
    enum Action { Key, CtrlKey, FocusAway, Button } action = Key;
    WPARAM code = VK_RETURN;  // the key, or the button's id (IDOK, IDYES, IDNO ...)
    const wchar_t* typed = nullptr;
};

// The in-place field, the "Edit value" window and message boxes run their own message loops, so
// a test cannot act while they run. A ModalDriver answers them from ticks posted to a window of
// the test's thread (each loop dispatches them), one answer per tick while such a window is
// open, and records what each answer
// found; an editor or box still open when the answers are used up is cancelled (and recorded),
// so no test hangs. While the driver lives the real editors run instead of the tests' standing
// answer.
class ModalDriver {
public:
    explicit ModalDriver(std::vector<ModalAnswer> answers);
    ~ModalDriver();
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    // Queues a tick from the test's thread, for a call that opens an editor or a box (the driver
    // does so itself when it starts and while one is open).
    void prime();

    std::vector<ModalSeen> seen;

private:
    static LRESULT CALLBACK tickProc(HWND, UINT, WPARAM, LPARAM);
    // Answers what is open; false when nothing is.
    bool step();
    std::vector<ModalAnswer> answers_;
    size_t next_ = 0;
    int idleTicks_ = 0;
    HWND ticks_ = nullptr;
    // A tick is posted only when the one before has been handled, so that the messages an answer
    // posts are handled before the next answer. While an editor or box is open the test's thread
    // posts the next tick itself, so its loop always finds one waiting.
    std::atomic<bool> tickPending_{false};
    std::atomic<bool> stop_{false};
    std::thread ticker_;
    bool keysSet_ = false;
    BYTE keys_[256] = {};
    EditorAnswer realEditors_{nullptr};
};

}  // namespace qmtest
