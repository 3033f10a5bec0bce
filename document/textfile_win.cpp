// File reading with CreateFileW/ReadFile and decoding with MultiByteToWideChar, and the load
// driver's first half (read, decode, release the bytes, parse).
#include "document/textfile.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <new>
#include <utility>

#include "document/decode.h"
#include "document/load.h"
#include "document/utf8.h"
#include "parsers/registry.h"

namespace qm {

namespace {

void report(LoadFailure* failure, LoadFailure reason) {
    if (failure) *failure = reason;
}

// Why CreateFileW failed. Opening a folder fails with "access denied", so the name's attributes
// tell a folder from a file that is locked or forbidden.
LoadFailure openFailure(const std::wstring& path, DWORD error) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return LoadFailure::Folder;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME ||
        error == ERROR_BAD_NETPATH || error == ERROR_BAD_NET_NAME)
        return LoadFailure::NotFound;
    return LoadFailure::Unreadable;
}

}  // namespace

// Opens the file, asks `space` for memory of its size (null when there is none) and reads into
// it; `total` receives the bytes read.
template <typename Space>
static bool readFileInto(const std::wstring& path, LoadFailure* failure, Space space, size_t& total) {
    total = 0;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (failure) *failure = openFailure(path, GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    const bool sized = GetFileSizeEx(file, &size) && size.QuadPart >= 0;
    if (!sized || uint64_t(size.QuadPart) > kMaxFileBytes) {
        report(failure, sized ? LoadFailure::TooLarge : LoadFailure::Unreadable);
        CloseHandle(file);
        return false;
    }
    const size_t wanted = size_t(size.QuadPart);
    uint8_t* bytes = nullptr;
    try {
        bytes = space(wanted);
    } catch (const std::bad_alloc&) {
        bytes = nullptr;
    }
    if (!bytes) {
        CloseHandle(file);
        report(failure, LoadFailure::OutOfMemory);
        return false;
    }
    while (total < wanted) {
        DWORD piece = DWORD(std::min<size_t>(wanted - total, kReadPieceBytes));
        DWORD got = 0;
        if (!ReadFile(file, bytes + total, piece, &got, nullptr) || got == 0) break;
        total += got;
    }
    CloseHandle(file);
    return true;
}

bool readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, LoadFailure* failure) {
    size_t total = 0;
    const bool read = readFileInto(path, failure, [&](size_t wanted) -> uint8_t* {
        bytes.resize(wanted);
        return wanted ? bytes.data() : reinterpret_cast<uint8_t*>(&bytes);  // any non-null for nothing to read
    }, total);
    if (!read) {
        bytes.clear();
        bytes.shrink_to_fit();
        return false;
    }
    bytes.resize(total);
    return true;
}

bool readWholeFile(const std::wstring& path, Arena& store, const uint8_t*& data, size_t& size, LoadFailure* failure) {
    data = nullptr;
    return readFileInto(path, failure, [&](size_t wanted) {
        uint8_t* space = store.fileSpace(wanted);
        data = space;
        return space;
    }, size);
}

bool windowsCodePageConverter(unsigned codePage, bool strict, const uint8_t* data, size_t size, std::wstring& out) {
    out.clear();
    if (size == 0) return true;
    if (size > size_t(INT_MAX)) return false;
    const char* src = reinterpret_cast<const char*>(data);
    if (codePage == kCodePageUtf8) {
        // Valid UTF-8 has one decoding, which our decoder produces in one pass without first
        // zero-filling the text; MultiByteToWideChar (a counting pass, then the conversion)
        // stays for text with invalid sequences, where its replacements are the rule.
        bool valid = false;
        out = utf8ToWide(src, size, &valid);
        if (valid) return true;
        out.clear();
    }
    const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    int needed = MultiByteToWideChar(codePage, flags, src, int(size), nullptr, 0);
    if (needed < 1) return false;
    out.resize(size_t(needed));
    int written = MultiByteToWideChar(codePage, flags, src, int(size), &out[0], needed);
    if (written < 1) {
        out.clear();
        return false;
    }
    out.resize(size_t(written));
    return true;
}

void decodeText(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding) {
    decodeTextWith(bytes, text, encoding, windowsCodePageConverter);
}

static void decodeText(const uint8_t* data, size_t size, std::wstring& text, std::wstring& encoding) {
    decodeTextWith(data, size, text, encoding, windowsCodePageConverter);
}

bool loadDocument(const std::wstring& path, Document& doc, LoadFailure* failure) {
    // REGEDIT4 hex strings are decoded with the system's ANSI code page; the portable core
    // cannot call Windows, so the Windows converter is handed to it here.
    installRegistryAnsiDecoder();
    try {
        std::wstring text;
        bool empty;
        {
            const uint8_t* bytes = nullptr;
            size_t size = 0;
            if (!readWholeFile(path, doc.store, bytes, size, failure)) return false;
            empty = size == 0;
            noteLoadedBytes(doc, bytes, size);
            decodeText(bytes, size, text, doc.encoding);
            // Done with the bytes: their memory becomes the first space of the document's store
            // (nodes placed in resident pages cost no page faults).
            doc.store.reuseFileSpace();
        }
        if (parseText(path, std::move(text), doc)) return true;
        report(failure, empty ? LoadFailure::Empty : LoadFailure::Declined);
        return false;
    } catch (const std::bad_alloc&) {
        report(failure, LoadFailure::OutOfMemory);
        return false;
    }
}

}  // namespace qm
