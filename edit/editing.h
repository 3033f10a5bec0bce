// Value editing: one scalar value is changed by replacing exactly its characters in the file's
// text, every other character (layout, comments, quoting, line ends) stays as it was, and the
// edited text is written back through a temporary file in the encoding it was read in.
// The checks and the splicing are portable and reach the disk and the code pages only through an
// EditFileAccess; the Windows unit passes the real calls. The "Edit value" command, the editors,
// saving and the unsaved-changes question are the Windows side (edit/editing_win.cpp,
// edit/editdialog_win.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qm {

// The outcome of an edit: an empty message on success and on cancel; changed only when the
// document took the new value.
struct EditOutcome {
    std::wstring message;
    bool changed = false;
    // The characters the checks parsed: the whole text when it had to be read again, or only the
    // new value when it cannot change the structure.
    size_t parsedCharacters = 0;
};

// The value editor: given the current value, whether the user confirmed, and the new value.
using ValueEditor = std::function<bool(std::wstring& value)>;

// Turns UTF-16 text into the bytes of a code page; false when the code page cannot hold every
// character, that is when the bytes would not read back as exactly the text (a default character
// or a look-alike would be substituted), or the conversion fails.
using CodePageEncoder = bool (*)(unsigned codePage, std::wstring_view text, std::vector<uint8_t>& bytes);

// What an edit needs of the file and the code pages.
class EditFileAccess {
public:
    virtual ~EditFileAccess() = default;
    // False when the file's attributes cannot be read or it is read-only.
    virtual bool writable(const std::wstring& path) = 0;
    virtual bool read(const std::wstring& path, std::vector<uint8_t>& bytes) = 0;
    // Decodes as the load driver did, reporting the TextEncoding label.
    virtual void decode(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding) = 0;
    virtual CodePageEncoder encoder() = 0;
};

// Bytes of `text` in the encoding named by a TextEncoding label, without a byte-order mark.
// False when the text cannot be written in it without loss; a lone surrogate never can.
bool encodeTextWith(std::wstring_view text, const std::wstring& encoding, std::vector<uint8_t>& bytes,
                    CodePageEncoder encoder);
// UTF-8 and Windows-1252 without Windows, for the native tools and tests.
bool portableCodePageEncoder(unsigned codePage, std::wstring_view text, std::vector<uint8_t>& bytes);

// Where a value's characters lie: the working text and the value's span in it.
struct ValueSpan {
    std::wstring_view text;
    size_t start = 0, end = 0;
    std::wstring_view source() const { return text.substr(start, end - start); }
    wchar_t before() const { return start > 0 ? text[start - 1] : L'\0'; }
    wchar_t after() const { return end < text.size() ? text[end] : L'\0'; }
};

// Whether a piece of text (one character, or a whole replacement) can be written in the file's
// encoding exactly.
using Encodable = std::function<bool(std::wstring_view piece)>;

// The source characters that may replace the value at `span` when the user typed `newValue`,
// quoted and escaped as the format and the old quoting ask, plainest first (a YAML plain value
// that holds "," may need quotes in a flow collection only: the edit keeps the first that reads
// back as typed). A character the encoding cannot hold is written as the format's escape where
// the quoting has one. Empty with `refusal` set when no writing can carry the text.
struct Replacement {
    std::vector<std::wstring> candidates;
    const wchar_t* refusal = nullptr;
};
Replacement sourceReplacement(const Document& document, const Node* node, const ValueSpan& span,
                              std::wstring_view newValue, const Encodable& encodable);

// The kinds of node whose value an edit changes: attributes, texts and scalar values.
bool isEditableKind(NodeKind kind);

// Changes the value of `node` (an Attribute, Text, String, Number, Bool or Null of the shown
// document) to what `editor` returns, after checking that the file still holds what is shown
// and that it can be written back byte for byte. A refused edit leaves the document as it was.
EditOutcome editValueWith(Document& document, const std::wstring& filePath, Node* node, const ValueEditor& editor,
                          EditFileAccess& files);

// After a successful save: no longer modified, editedText emptied; a source text shown from the
// edited text stays shown, now held as the saved text.
void markSaved(Document& document);

// The messages of editing and saving, in the interface language.
const wchar_t* editMessageReadOnly();
const wchar_t* editMessageNotSaved();
const wchar_t* editMessageEncoding();
const wchar_t* editMessageCannotHold();
const wchar_t* editMessageChangedOnDisk();

#ifdef _WIN32
struct MainWindow;

// WideCharToMultiByte as a CodePageEncoder.
bool windowsCodePageEncoder(unsigned codePage, std::wstring_view text, std::vector<uint8_t>& bytes);
bool encodeText(std::wstring_view text, const std::wstring& encoding, std::vector<uint8_t>& bytes);
// editValueWith on the real file.
EditOutcome editValue(Document& document, const std::wstring& filePath, Node* node, const ValueEditor& editor);
// What saving does to the disk, each operation the real call. Tests derive from it to make one
// operation fail where the file system under test cannot be made to.
class SaveFileAccess {
public:
    virtual ~SaveFileAccess() = default;
    virtual bool read(const std::wstring& path, std::vector<uint8_t>& bytes);
    // INVALID_FILE_ATTRIBUTES when they cannot be read.
    virtual DWORD attributes(const std::wstring& path);
    // Creates (CREATE_ALWAYS) or truncates (TRUNCATE_EXISTING) the file and writes all bytes with
    // one WriteFile. `opened` tells whether the file was opened, and so emptied, even when the
    // write then failed.
    virtual bool write(const std::wstring& path, DWORD disposition, const std::vector<uint8_t>& bytes, bool& opened);
    virtual bool replace(const std::wstring& target, const std::wstring& replacement);
    virtual void remove(const std::wstring& path);
    virtual void pause(DWORD milliseconds);
    // The file a path leads to past symbolic links (GetFinalPathNameByHandleW), or the path as
    // given when it cannot be followed.
    virtual std::wstring finalPath(const std::wstring& path);
    // How many names (hard links) the file has; 0 when that cannot be read.
    virtual DWORD links(const std::wstring& path);
    // Whether two files grant the same access (alike access-control lists); true when either
    // list cannot be read.
    virtual bool sameAccess(const std::wstring& file, const std::wstring& other);
    virtual bool setAttributes(const std::wstring& path, DWORD attributes);
};

// Writes editedText to the file through filePath + ".qmedit"; an empty message on success, also
// when there is nothing to save. Through a symbolic link the file it leads to is written (the
// temporary file lies beside that file), and the file keeps its attributes; a file with other
// names (hard links), or whose access the temporary file would not carry, gets the new text
// written into it once the temporary file holds it all. A failed save keeps the edit pending; afterwards the file holds
// either its old text or the new one, or the message names the temporary file that holds the
// new text. When the file no longer holds the bytes the edited text was made from (another
// program changed it), nothing is written and the message is editMessageChangedOnDisk(), unless
// `overwrite` says the user chose to replace those changes.
std::wstring saveDocument(Document& document, const std::wstring& filePath, bool overwrite = false);
std::wstring saveDocumentWith(Document& document, const std::wstring& filePath, SaveFileAccess& files,
                              bool overwrite = false);

// Edits the selected node's value (Ctrl+E, F4, the menu and the views' edit gestures).
void EditSelectedValue(MainWindow& main);
// A one-line field at `rect` of the active view (client coordinates) in the palette's colours,
// with a grey hint while empty; runs until Enter (true when the text changed), Escape (false) or
// a click elsewhere, which confirms. `value` is in-out.
bool AskInPlace(MainWindow& main, const RECT& rect, const wchar_t* cue, std::wstring& value);
// The value editor of the main window: the in-place field or the dialog; value is in-out.
bool EditValueText(MainWindow& main, std::wstring& value);
// When set, EditValueText asks this instead: the GUI tests answer for the user, since the field
// and the dialog run their own message loop until the user ends them.
extern bool (*valueEditorOverride)(MainWindow& main, std::wstring& value);
// Writes the modified document back to its file (Ctrl+S and the menu).
void SaveChanges(MainWindow& main);
// The unsaved-changes question before a modified document is closed or replaced.
void PromptToSave(MainWindow& main);
// WM_CTLCOLOREDIT of a view while the in-place field lies over it: the palette's colours.
LRESULT InPlaceEditorColours(MainWindow& main, HDC dc);
LRESULT CALLBACK EditDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
#endif

}  // namespace qm
