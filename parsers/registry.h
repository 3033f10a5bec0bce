// The reader of Windows registry export files (.reg): logical lines joined over trailing
// backslashes, key paths split into nested keys matched without regard to case, and the typed
// hexadecimal value data decoded into readable text with a type tag. It never stops early.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "document/document.h"

namespace qm {

// 64-bit FNV-1a over the bytes of UTF-16 code units, low byte first.
constexpr uint64_t kFnvOffsetBasis = 0xCBF29CE484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001B3ull;
inline uint64_t fnv1aStep(uint64_t hash, wchar_t unit) {
    hash = (hash ^ (uint64_t(unit) & 0xFF)) * kFnvPrime;
    return (hash ^ ((uint64_t(unit) >> 8) & 0xFF)) * kFnvPrime;
}
uint64_t fnv1a(std::wstring_view text);

// Converts bytes of the system's ANSI code page to UTF-16: REGEDIT4 files store their hex strings
// in it. The Windows build installs MultiByteToWideChar(CP_ACP) (installRegistryAnsiDecoder);
// everywhere else Windows-1252, the most common ANSI code page, stands in.
using AnsiDecoder = void (*)(const uint8_t* data, size_t size, std::wstring& out);
void setRegistryAnsiDecoder(AnsiDecoder decoder);  // null restores the portable stand-in
void decodeAnsi(const uint8_t* data, size_t size, std::wstring& out);
#ifdef _WIN32
void installRegistryAnsiDecoder();  // registry_win.cpp
#endif

// Key map: the lower-cased full key path itself is the key, so two different paths never share
// a node; its FNV-1a hash is carried along so that every prefix of a path can be looked up
// without hashing it again.
struct RegistryPath {
    std::wstring_view path;  // lower-cased, held by RegistryParser::pathStore
    uint64_t hash;
    bool operator==(const RegistryPath& other) const { return hash == other.hash && path == other.path; }
};
struct RegistryPathHash {
    size_t operator()(const RegistryPath& key) const { return size_t(key.hash ^ (key.hash >> 32)); }
};

struct RegistryParser {
    Document& doc;
    bool unicodeHex = true;  // hex strings hold UTF-16 (version 5 files), else ANSI (REGEDIT4)
    Node* currentKey = nullptr;
    std::unordered_map<RegistryPath, Node*, RegistryPathHash> keys;
    std::deque<std::wstring> pathStore;  // lower-cased paths the map's keys point into
    std::unordered_map<std::wstring, const wchar_t*> tags;  // each tag text interned once

    explicit RegistryParser(Document& d) : doc(d) {}

    // Find-or-create of the key for a path; every missing ancestor is created on the way.
    Node* getKey(std::wstring_view path, uint32_t line);
    void parseLine(const std::wstring& line, uint32_t lineNumber);
    void parseValue(Node* parent, NodeText name, std::wstring_view data, uint32_t line);
    const wchar_t* tag(const std::wstring& text);
    void reportError(const wchar_t* message, uint32_t line);
};

// Fills the tree below doc.root from the header line at `start` on.
void parseRegistry(Document& doc, const std::wstring& text, size_t start);

}  // namespace qm
