// UTF-8 <-> UTF-16 for the portable side (native dump tool, tests, theme files). The Windows
// product decodes viewed files through MultiByteToWideChar instead (textfile_win.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// Malformed sequences become U+FFFD; characters above U+FFFF become surrogate pairs.
// `valid` (optional) is cleared when any sequence was malformed.
std::wstring utf8ToWide(const char* data, size_t size, bool* valid = nullptr);
inline std::wstring utf8ToWide(const std::string& s, bool* valid = nullptr) { return utf8ToWide(s.data(), s.size(), valid); }
// Appends a code point as UTF-16 (above U+FFFF as a surrogate pair). Escapes of the data formats
// use it: 0 and values above U+10FFFF append nothing.
void appendCodePoint(std::wstring& out, uint32_t cp);
// Unpaired surrogates become U+FFFD.
std::string wideToUtf8(std::wstring_view s);

}  // namespace qm
