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

bool readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || uint64_t(size.QuadPart) > kMaxFileBytes) {
        CloseHandle(file);
        return false;
    }
    size_t total = 0;
    try {
        bytes.resize(size_t(size.QuadPart));
    } catch (const std::bad_alloc&) {
        CloseHandle(file);
        bytes.clear();
        bytes.shrink_to_fit();
        return false;
    }
    while (total < bytes.size()) {
        DWORD piece = DWORD(std::min<size_t>(bytes.size() - total, kReadPieceBytes));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + total, piece, &got, nullptr) || got == 0) break;
        total += got;
    }
    CloseHandle(file);
    bytes.resize(total);
    return true;
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

bool loadDocument(const std::wstring& path, Document& doc) {
    // REGEDIT4 hex strings are decoded with the system's ANSI code page; the portable core
    // cannot call Windows, so the Windows converter is handed to it here.
    installRegistryAnsiDecoder();
    try {
        std::wstring text;
        {
            std::vector<uint8_t> bytes;
            if (!readWholeFile(path, bytes)) return false;
            decodeText(bytes, text, doc.encoding);
            // Done with the bytes: their memory becomes the first space of the document's store
            // (nodes placed in resident pages cost no page faults); a small file's is released.
            doc.store.adopt(std::move(bytes));
        }
        return parseText(path, std::move(text), doc);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace qm
