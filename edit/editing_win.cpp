// Value editing on Windows: the code-page encoder, the edit on the real file, saving through a
// temporary file beside the original, and the commands of the main window that reach them
// ("Edit value", "Save changes" and the unsaved-changes question).
#include <windows.h>

#include <algorithm>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/embedded.h"
#include "document/language.h"
#include "document/load.h"
#include "document/textfile.h"
#include "edit/editing.h"
#include "shell/mainwindow.h"
#include "shell/settings.h"
#include "views/grid.h"

namespace qm {

namespace {

constexpr wchar_t kTempSuffix[] = L".qmedit";
constexpr int kReplaceAttempts = 3;
constexpr DWORD kReplaceRetryMs = 100;
// The attributes SetFileAttributesW takes, which a replaced file keeps.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                      FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;

// Where the in-place field goes, in DIPs. In the tree it covers the value column from a little
// left of the value's text (which starts kTreeValueInset into the column) almost to the edge; in
// the grid it lies over the value's cell, whose box coordinates start inside the grid's margin,
// and is made wide enough to type into, or not used when the view leaves it too little room.
constexpr int kTreeEditorLeftInset = 4;
constexpr int kTreeEditorRightInset = 2;
constexpr int kGridEditorMinWidth = 120;
constexpr int kGridEditorMinRoom = 20;

class WindowsFileAccess : public EditFileAccess {
public:
    bool writable(const std::wstring& path) override {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY);
    }
    bool read(const std::wstring& path, std::vector<uint8_t>& bytes) override { return readWholeFile(path, bytes); }
    void decode(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding) override {
        decodeText(bytes, text, encoding);
    }
    CodePageEncoder encoder() override { return windowsCodePageEncoder; }
};

// The bytes saving writes: the file's byte-order mark, then the edited text in its encoding.
bool bytesToSave(const Document& document, std::vector<uint8_t>& bytes) {
    if (!encodeText(document.editedText, document.encoding, bytes)) return false;
    bytes.insert(bytes.begin(), document.prefixBytes.begin(), document.prefixBytes.end());
    return true;
}

std::wstring keptTempMessage(const std::wstring& temp) {
    return std::wstring(editMessageNotSaved()) +
           tr(L" The complete new text is kept in \"", L" Der vollst\u00E4ndige neue Text liegt in \"") + temp + L"\".";
}

}  // namespace

// Code pages for which WideCharToMultiByte takes no flags (UTF-7, UTF-8, the ISO-2022 and
// ISCII families, GB 18030, the symbol code page).
bool takesNoFlags(unsigned codePage) {
    return codePage == CP_UTF7 || codePage == CP_UTF8 || codePage == 42 || codePage == 54936 ||
           (codePage >= 50220 && codePage <= 50229) || codePage == 52936 || (codePage >= 57002 && codePage <= 57011);
}

bool windowsCodePageEncoder(unsigned codePage, std::wstring_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (text.size() > static_cast<size_t>(INT_MAX)) return false;
    const int units = static_cast<int>(text.size());
    // Without WC_NO_BEST_FIT_CHARS Windows writes a look-alike for a character the code page
    // lacks ("O" for an omega, "a" for a-macron) and does not even report a default character.
    const DWORD flags = takesNoFlags(codePage) ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultFlag = takesNoFlags(codePage) ? nullptr : &usedDefault;
    const int size = WideCharToMultiByte(codePage, flags, text.data(), units, nullptr, 0, nullptr, usedDefaultFlag);
    if (size < 1) return false;
    bytes.resize(static_cast<size_t>(size));
    const int written = WideCharToMultiByte(codePage, flags, text.data(), units, reinterpret_cast<char*>(bytes.data()),
                                            size, nullptr, usedDefaultFlag);
    if (written != size || usedDefault) return false;
    if (codePage == CP_UTF8) return true;  // exact for every text without a lone surrogate
    // Whatever the flags did, the bytes must read back as exactly the text.
    const int back = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes.data()), size, nullptr, 0);
    if (back != units) return false;
    std::wstring decoded(static_cast<size_t>(back), L'\0');
    return MultiByteToWideChar(codePage, 0, reinterpret_cast<const char*>(bytes.data()), size, decoded.data(), back) ==
               back &&
           decoded == text;
}

bool encodeText(std::wstring_view text, const std::wstring& encoding, std::vector<uint8_t>& bytes) {
    return encodeTextWith(text, encoding, bytes, windowsCodePageEncoder);
}

EditOutcome editValue(Document& document, const std::wstring& filePath, Node* node, const ValueEditor& editor) {
    WindowsFileAccess files;
    return editValueWith(document, filePath, node, editor, files);
}

bool SaveFileAccess::read(const std::wstring& path, std::vector<uint8_t>& bytes) { return readWholeFile(path, bytes); }

DWORD SaveFileAccess::attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool SaveFileAccess::write(const std::wstring& path, DWORD disposition, const std::vector<uint8_t>& bytes,
                           bool& opened) {
    opened = false;
    if (bytes.size() > MAXDWORD) return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    opened = true;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == bytes.size();
}

bool SaveFileAccess::replace(const std::wstring& target, const std::wstring& replacement) {
    return ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr) != 0;
}

void SaveFileAccess::remove(const std::wstring& path) { DeleteFileW(path.c_str()); }

void SaveFileAccess::pause(DWORD milliseconds) { Sleep(milliseconds); }

std::wstring SaveFileAccess::finalPath(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::wstring resolved(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, resolved.data(), DWORD(resolved.size()), FILE_NAME_NORMALIZED);
    if (length >= resolved.size()) {
        resolved.resize(length);
        length = GetFinalPathNameByHandleW(file, resolved.data(), DWORD(resolved.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(file);
    if (length == 0 || length >= resolved.size()) return path;
    resolved.resize(length);
    // "\\?\C:\..." and "\\?\UNC\server\..." lose the prefix while the name with the temporary
    // suffix still fits the classic limit; a longer path keeps it and is reached through it.
    const std::wstring_view prefix = L"\\\\?\\", unc = L"UNC\\";
    if (resolved.compare(0, prefix.size(), prefix) != 0) return resolved;
    std::wstring plain = resolved.substr(prefix.size());
    if (plain.compare(0, unc.size(), unc) == 0) plain = L"\\\\" + plain.substr(unc.size());
    else if (plain.size() < 2 || plain[1] != L':') return resolved;
    return plain.size() + std::size(kTempSuffix) <= MAX_PATH ? plain : resolved;
}

DWORD SaveFileAccess::links(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return ok ? info.nNumberOfLinks : 0;
}

namespace {

// The bytes of a file's access-control list, or nothing when they cannot be read.
std::vector<uint8_t> accessList(const std::wstring& path) {
    DWORD size = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<uint8_t> descriptor(size);
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
        !GetSecurityDescriptorDacl(descriptor.data(), &present, &list, &defaulted) || !present || !list)
        return {};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(list);
    return std::vector<uint8_t>(bytes, bytes + list->AclSize);
}

}  // namespace

bool SaveFileAccess::sameAccess(const std::wstring& file, const std::wstring& other) {
    const std::vector<uint8_t> mine = accessList(file), theirs = accessList(other);
    return mine.empty() || theirs.empty() || mine == theirs;
}

bool SaveFileAccess::setAttributes(const std::wstring& path, DWORD attributes) {
    return SetFileAttributesW(path.c_str(), attributes) != 0;
}

std::wstring saveDocument(Document& document, const std::wstring& filePath, bool overwrite) {
    SaveFileAccess files;
    return saveDocumentWith(document, filePath, files, overwrite);
}

std::wstring saveDocumentWith(Document& document, const std::wstring& filePath, SaveFileAccess& files,
                              bool overwrite) {
    if (!document.modified) return std::wstring();
    try {
        // A symbolic link stays a link: the file it leads to is the one replaced, with the
        // temporary file beside it. When the link cannot be followed the path is taken as given.
        const std::wstring target = files.finalPath(filePath);
        const DWORD attributes = files.attributes(target);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return editMessageReadOnly();
        std::vector<uint8_t> bytes;
        // The edited text was made from the file's bytes as the first edit read them (or as the
        // last save wrote them); another program's change since then would be lost unseen. A file
        // that cannot be read now (held open, gone) goes on to the steps below, which report it.
        if (!overwrite && files.read(target, bytes) &&
            (bytes.size() != document.baseSize || fileDigest(bytes.data(), bytes.size()) != document.baseDigest))
            return editMessageChangedOnDisk();
        std::vector<uint8_t>().swap(bytes);
        if (!bytesToSave(document, bytes)) return editMessageEncoding();
        const uint64_t savedSize = bytes.size(), savedDigest = fileDigest(bytes.data(), bytes.size());

        const std::wstring temp = target + kTempSuffix;
        bool opened = false;
        if (!files.write(temp, CREATE_ALWAYS, bytes, opened)) {
            if (opened) files.remove(temp);
            return editMessageNotSaved();
        }
        std::vector<uint8_t>().swap(bytes);  // the temporary file holds them now
        // Replacing the file gives its name a new file: the file's other names (hard links) would
        // keep the old text, and where the new file does not grant the access the old one did
        // (under Wine, whose replacement brings the temporary file's default Unix mode) the
        // file's permissions would change. Then the new text goes into the file itself, with the
        // temporary file kept as the complete copy until that write has succeeded.
        const bool intoTheFile = files.links(target) > 1 || !files.sameAccess(target, temp);
        bool replaced = false;
        for (int attempt = 0; attempt < kReplaceAttempts && !replaced && !intoTheFile; ++attempt) {
            replaced = files.replace(target, temp);
            if (!replaced) files.pause(kReplaceRetryMs);
        }
        if (replaced) {
            // The hidden, system and archive marks stay as they were (Windows keeps them; Wine
            // gives the file the temporary file's); the file has changed, so it is due for backup.
            const DWORD kept = attributes == INVALID_FILE_ATTRIBUTES ? 0 : (attributes & kSettableAttributes);
            const DWORD now = files.attributes(target);
            if (kept && now != INVALID_FILE_ATTRIBUTES && (now & kSettableAttributes) != (kept | FILE_ATTRIBUTE_ARCHIVE))
                files.setAttributes(target, kept | FILE_ATTRIBUTE_ARCHIVE);
        } else {
            // The replacement failed (the file is held open by another program, say) or was not
            // tried: the new text goes into the file itself. Should that write fail after the
            // file was opened, or the original be gone, the temporary file is the only complete
            // copy left, so it is kept and named instead of deleted.
            bool encoded = false;
            try {
                encoded = bytesToSave(document, bytes);
            } catch (const std::bad_alloc&) {
            }
            if (!encoded) {  // the file is untouched
                files.remove(temp);
                return editMessageNotSaved();
            }
            bool truncated = false;
            const bool written = files.write(target, TRUNCATE_EXISTING, bytes, truncated);
            if (!written) {
                if (truncated || files.attributes(target) == INVALID_FILE_ATTRIBUTES) return keptTempMessage(temp);
                files.remove(temp);
                return editMessageNotSaved();
            }
        }
        files.remove(temp);
        markSaved(document);
        document.baseIsParsedText = false;
        document.baseSize = savedSize;
        document.baseDigest = savedDigest;
        return std::wstring();
    } catch (const std::bad_alloc&) {
        return editMessageNotSaved();
    }
}

// ---- the commands ----

namespace {

bool holdsOnlyText(const Node* node) {
    return node->kind == NodeKind::Element && node->attributeCount == 0 && node->children.size() == 1 &&
           node->children[0]->kind == NodeKind::Text;
}

// The node the command edits for a selection, or null (a container: the command looks below it).
Node* editTarget(Node* selected) {
    if (selected->kind == NodeKind::Object || selected->kind == NodeKind::Array) return nullptr;
    if (selected->kind != NodeKind::Element) return selected;
    return holdsOnlyText(selected) ? selected->children[0] : nullptr;
}

bool isScalarValue(NodeKind kind) {
    return kind == NodeKind::String || kind == NodeKind::Number || kind == NodeKind::Bool || kind == NodeKind::Null;
}

bool descendsInto(const Node* node) {
    return node->kind == NodeKind::Element || node->kind == NodeKind::Object || node->kind == NodeKind::Array;
}

// The first value below a container that the command can edit, depth first in document order,
// past attributes and without entering texts, comments or declarations.
Node* firstEditableBelow(Node* container) {
    std::vector<Node*> stack;
    auto pushChildren = [&](Node* node) {
        const size_t first = node->kind == NodeKind::Element ? attributeCount(node) : 0;
        for (size_t i = node->children.size(); i-- > first;) stack.push_back(node->children[i]);
    };
    pushChildren(container);
    while (!stack.empty()) {
        Node* node = stack.back();
        stack.pop_back();
        if (holdsOnlyText(node) || isScalarValue(node->kind)) return node;
        if (descendsInto(node)) pushChildren(node);
    }
    return nullptr;
}

void computeEditRect(MainWindow& main, Node* target) {
    main.editRectValid = false;
    const Palette& pal = main.palette;
    switch (main.settings.activeView) {
        case kViewTree: {
            TreePane& tree = main.treePane;
            RECT client{};
            GetClientRect(tree.window, &client);
            const int rowHeight = std::max(pal.rowHeight, 1);
            const long long visibleRows = std::max<long long>(client.bottom / rowHeight, 1);
            if (tree.selectedRow < 0 || static_cast<long long>(tree.selectedRow) < tree.topRow ||
                static_cast<long long>(tree.selectedRow) >= tree.topRow + visibleRows)
                return;
            const int top = (tree.selectedRow - static_cast<int>(tree.topRow)) * rowHeight;
            main.editRect = RECT{tree.NameColumnWidth() + pal.scale(kTreeEditorLeftInset), top,
                                 client.right - pal.scale(kTreeEditorRightInset), top + rowHeight};
            main.editRectValid = true;
            return;
        }
        case kViewGrid: {
            GridPane& grid = main.gridPane;
            if (!grid.EnsureLayout()) return;
            const GridBox* box = grid.FindLeafBox(main.selected, target);
            if (!box) return;
            RECT client{};
            GetClientRect(grid.window, &client);
            const GridMetrics metrics = grid.Metrics();
            const int margin = pal.scale(kGridMargin);
            const long long left = static_cast<long long>(box->x) - grid.scrollX + margin;
            const long long top = static_cast<long long>(box->y) - grid.scrollY + margin;
            const long long right =
                std::min<long long>(left + std::max(box->width, pal.scale(kGridEditorMinWidth)), client.right);
            const long long bottom = top + metrics.rowHeight;
            if (top < 0 || bottom > client.bottom || left < 0 || right - left <= pal.scale(kGridEditorMinRoom)) return;
            main.editRect = RECT{LONG(left), LONG(top), LONG(right), LONG(bottom)};
            main.editRectValid = true;
            return;
        }
        case kViewSource: main.editRectValid = main.sourcePane.ValueEditRect(target, main.editRect); return;
        default: return;
    }
}

HWND messageOwner(const MainWindow& main) { return GetAncestor(main.window, GA_ROOT); }

void showWarning(const MainWindow& main, const std::wstring& message) {
    MessageBoxW(messageOwner(main), message.c_str(), L"Quillmap", MB_ICONWARNING | MB_OK);
}

}  // namespace

void EditSelectedValue(MainWindow& main) {
    if (!main.document || !main.selected) return;
    StopSearch(main);  // a search going on in slices would move the selection under the editor
    Node* target = editTarget(main.selected);
    if (!target) {
        Node* found = descendsInto(main.selected) ? firstEditableBelow(main.selected) : nullptr;
        if (!found) {
            MessageBeep(MB_ICONASTERISK);
            return;
        }
        main.SelectNode(found);
        main.RevealSelection();
        target = main.selected ? editTarget(main.selected) : nullptr;
    }
    if (!target || !isEditableKind(target->kind)) {
        MessageBeep(MB_ICONASTERISK);
        return;
    }
    computeEditRect(main, target);
    const EditOutcome outcome =
        editValue(*main.document, main.filePath, target, [&main](std::wstring& value) { return EditValueText(main, value); });
    main.editRectValid = false;
    if (!outcome.message.empty()) showWarning(main, outcome.message);
    if (outcome.changed) {
        // A string that held JSON lost its embedded nodes with its old text: it is closed, and
        // opening it again parses the new one.
        for (const Node* shown : {static_cast<const Node*>(target), shownHolder(target)}) {
            main.treePane.expanded.erase(shown);
            main.gridPane.expansion.nodes.erase(shown);
        }
        main.treePane.RebuildRows();
        main.treePane.FindSelectedRow();
        main.sourcePane.ResetForDocument();
        main.gridPane.Relayout();
        InvalidateRect(main.window, nullptr, TRUE);
        main.RepaintActiveView();
    }
    if (HWND view = main.ActiveViewWindow()) SetFocus(view);
}

void SaveChanges(MainWindow& main) {
    if (!main.document || !main.document->modified) return;
    std::wstring message = saveDocument(*main.document, main.filePath);
    if (message == editMessageChangedOnDisk()) {
        // Overwriting another program's change is the user's call, made knowingly.
        const std::wstring question =
            tr(L"The file has been changed by another program.\n\nOverwrite those changes with your edit? "
               L"(No keeps your edit pending; reopening the file shows the other program's text.)",
               L"Die Datei wurde von einem anderen Programm ge\u00E4ndert.\n\nDiese \u00C4nderungen mit Ihrer "
               L"Bearbeitung \u00FCberschreiben? (Nein beh\u00E4lt Ihre Bearbeitung; neu \u00F6ffnen zeigt den Text "
               L"des anderen Programms.)");
        if (MessageBoxW(messageOwner(main), question.c_str(), L"Quillmap", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) !=
            IDYES) {
            InvalidateRect(main.window, nullptr, TRUE);
            return;
        }
        message = saveDocument(*main.document, main.filePath, true);
    }
    if (!message.empty()) showWarning(main, message);
    InvalidateRect(main.window, nullptr, TRUE);
}

namespace {

void keepEditBeside(MainWindow& main) {
    std::vector<uint8_t> bytes;
    bool opened = false;
    const std::wstring kept = main.filePath + kTempSuffix;
    SaveFileAccess files;
    try {
        if (!bytesToSave(*main.document, bytes) || !files.write(kept, CREATE_ALWAYS, bytes, opened)) return;
    } catch (const std::bad_alloc&) {
        return;
    }
    const std::wstring message =
        tr(L"The edited text is kept in \"", L"Der bearbeitete Text liegt in \"") + kept + L"\".";
    showWarning(main, message);
}

}  // namespace

void PromptToSave(MainWindow& main) {
    if (!main.document || !main.document->modified) return;
    const size_t slash = main.filePath.find_last_of(L'\\');
    const std::wstring name = slash == std::wstring::npos ? main.filePath : main.filePath.substr(slash + 1);
    const std::wstring question = uiGerman ? L"\u00C4nderungen an \"" + name + L"\" speichern?"
                                           : L"Save changes to \"" + name + L"\"?";
    if (MessageBoxW(messageOwner(main), question.c_str(), L"Quillmap", MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) == IDYES) {
        SaveChanges(main);
        // The host's close cannot be refused: an edit the user wanted saved that could not be
        // (a read-only file, say) is kept beside the file rather than lost with the window.
        if (main.document->modified) keepEditBeside(main);
    }
    // Whatever the answer and the outcome, the pending edit goes with the document.
    main.document->modified = false;
}

}  // namespace qm
