// The copy commands: which text "Copy value", "Copy name", "Copy path" and "Copy as" take from a
// node, and on Windows running them for the main window's selection and the clipboard itself.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
struct GridFrame;
struct GridRow;
class RecordColumns;
// "Copy table": a record table of the grid as tab-separated text, ready for a spreadsheet: a
// header row of its column names, then one line per record in the order shown, each cell as
// "Copy value" gives it with every tab and line break (and the indentation after a break) turned
// into one space, several elements of one column joined by a space. Lines end in "\r\n".
std::wstring tableText(const GridBox& table, const Document& doc);

// The same text made a number of records at a time, so that a window can copy a big table a
// slice per message: a sizing walk, then a filling walk into one buffer of exactly that size.
// It keeps its own copy of the table's records and column names (the grid may be built again
// meanwhile); the nodes must stay, and a document whose nodes change gives no text.
class TableCopy {
public:
    TableCopy(const GridFrame& table, const Document& doc);
    ~TableCopy();
    TableCopy(const TableCopy&) = delete;
    TableCopy& operator=(const TableCopy&) = delete;

    // Walks up to `records` more records (header and both walks); true once the text is made.
    bool Step(size_t records);
    // How far it came, 0 to 99 while it runs.
    int Progress() const;
    std::wstring& Text() { return text_; }

private:
    void put(wchar_t c);
    void putCell(std::wstring_view text);
    void putHeader();
    void putRecord(const Node* record);

    const Document& doc_;
    std::vector<Node*> records_;
    size_t nodeCount_ = 0;
    std::vector<std::wstring> names_;
    std::vector<GridRow> headers_;
    bool objects_ = false;
    std::unique_ptr<RecordColumns> columns_;
    std::vector<std::pair<int32_t, const Node*>> cells_;
    std::vector<std::wstring> made_;  // texts of containers and elements, for the filling walk
    size_t nextMade_ = 0;
    bool filling_ = false;
    bool done_ = false;
    size_t next_ = 0;    // the next record of the walk
    size_t length_ = 0;  // characters the walk has put
    std::wstring text_;
};

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
// The same a piece at a time: a movable block with room for `length` characters and the NUL
// after them (null when there is no memory for it), filled by the caller, then handed to the
// clipboard, which owns it from then on (false: it could not be placed and is freed).
HGLOBAL AllocateClipboardText(size_t length);
bool PlaceClipboardText(HWND window, HGLOBAL block);

}  // namespace qm
#endif
