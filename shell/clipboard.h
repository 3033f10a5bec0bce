// The copy commands: which text "Copy value", "Copy name", "Copy path" and "Copy as" take from a
// node, and on Windows running them for the main window's selection and the clipboard itself.
#pragma once

#include <functional>
#include <string>

#include "document/document.h"

namespace qm {

// Command identifiers shared by the menu, the keyboard and the host's commands.
constexpr int kCmdCopyValue = 100;
constexpr int kCmdCopyName = 101;
constexpr int kCmdCopyPath = 102;
constexpr int kCmdCopyAs = 103;

// A NUL character ends the clipboard's text for every program that pastes it, which would cut the
// rest off unseen: copies hold U+2400 SYMBOL FOR NULL in its place.
constexpr wchar_t kNulSymbol = 0x2400;
void showNulCharacters(std::wstring& text);
void showNulCharacters(wchar_t* text, size_t length);

// The text copy command `id` takes from `node`; false for any other id. "Copy value" gives a
// scalar's value, a simple element's text and the subtree text of anything with children.
bool copyCommandText(const Node* node, const Document& doc, int id, std::wstring& text);

struct GridBox;
// "Copy table": a record table of the grid as tab-separated text, ready for a spreadsheet: a
// header row of its column names, then one line per record in the order shown, each cell as
// "Copy value" gives it with every tab and line break (and the indentation after a break) turned
// into one space, several elements of one column joined by a space. Lines end in "\r\n".
std::wstring tableText(const GridBox& table, const Document& doc);

}  // namespace qm

#ifdef _WIN32
#include <windows.h>

namespace qm {

struct MainWindow;

// Runs copy command `id` on the selected node; nothing without a document or a selection.
void RunCopyCommand(MainWindow& main, int id);
// Places `text` on the clipboard as UTF-16 text; false when that could not be done.
bool CopyTextToClipboard(HWND window, const std::wstring& text);
// Places `length` characters on the clipboard that `write` puts straight into its buffer (which
// has room for exactly that many and ends them): a long text is never held twice.
bool CopyTextToClipboard(HWND window, size_t length, const std::function<void(wchar_t*)>& write);

}  // namespace qm
#endif
