// Character classes for UTF-16 code units held in wchar_t. All code asks here, so a difference
// between the C libraries of Linux and Windows is mended in one place.
#pragma once

#include <cwctype>

namespace qm {

inline bool isSpace(wchar_t c) {
    if (c == L' ' || (c >= 9 && c <= 13)) return true;
    if (c < 0x80) return false;
    return std::iswspace(static_cast<wint_t>(c)) != 0;
}
inline bool isAlnum(wchar_t c) {
    if (c < 0x80) return (c >= L'0' && c <= L'9') || ((c | 0x20) >= L'a' && (c | 0x20) <= L'z');
    return std::iswalnum(static_cast<wint_t>(c)) != 0;
}
inline bool isAlpha(wchar_t c) {
    if (c < 0x80) return (c | 0x20) >= L'a' && (c | 0x20) <= L'z';
    return std::iswalpha(static_cast<wint_t>(c)) != 0;
}
inline bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
inline bool isHexDigit(wchar_t c) { return isDigit(c) || ((c | 0x20) >= L'a' && (c | 0x20) <= L'f'); }
inline wchar_t toUpper(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c;
    return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}
inline wchar_t toLower(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? wchar_t(c + 32) : c;
    return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

}  // namespace qm
