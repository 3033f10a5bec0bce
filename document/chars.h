// Character classes for UTF-16 code units held in wchar_t. All code asks here, so a difference
// between the C libraries of Linux and Windows is mended in one place.
#pragma once

#include <cstddef>
#include <cwctype>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

inline bool isSpace(wchar_t c) {
    if (c == L' ' || (c >= 9 && c <= 13)) return true;
    if (c < 0x80) return false;
    return std::iswspace(static_cast<wint_t>(c)) != 0;
}
// Latin-1 letters and digits as Windows classifies them (the superscripts 1, 2 and 3 count as
// digits there, not in glibc), so paths and keys look the same in both builds.
inline bool isLatin1Alnum(wchar_t c) {
    return c == 0xAA || c == 0xB5 || c == 0xBA || c == 0xB2 || c == 0xB3 || c == 0xB9 ||
           (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}
inline bool isAlnum(wchar_t c) {
    if (c < 0x80) return (c >= L'0' && c <= L'9') || ((c | 0x20) >= L'a' && (c | 0x20) <= L'z');
    if (c < 0x100) return isLatin1Alnum(c);
    return std::iswalnum(static_cast<wint_t>(c)) != 0;
}
inline bool isAlpha(wchar_t c) {
    if (c < 0x80) return (c | 0x20) >= L'a' && (c | 0x20) <= L'z';
    return std::iswalpha(static_cast<wint_t>(c)) != 0;
}
// The two halves of a UTF-16 surrogate pair.
inline bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
// The code point at text[i] and the units it takes: a surrogate pair is one code point, a lone
// surrogate stands for itself.
inline char32_t codePointAt(std::wstring_view text, size_t i, size_t& units) {
    const wchar_t c = text[i];
    if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
        units = 2;
        return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
    }
    units = 1;
    return char32_t(c);
}
inline bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
inline bool isHexDigit(wchar_t c) { return isDigit(c) || ((c | 0x20) >= L'a' && (c | 0x20) <= L'f'); }
// Upper case of the letters of Latin-1, Latin Extended-A, Greek and Cyrillic by table, the same
// on both platforms: the Windows C library's towupper folds ASCII only in the "C" locale, which
// would make a search without match case miss "K\u00F6ln" for "K\u00D6LN". Other characters go
// through the C library.
inline wchar_t toUpper(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c;
    if (c >= 0xE0 && c <= 0xFE) return c == 0xF7 ? c : wchar_t(c - 0x20);
    if (c == 0xFF) return wchar_t(0x178);
    if (c == 0xB5) return wchar_t(0x39C);
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x131) return L'I';
        if (c == 0x17F) return L'S';
        if (c == 0x138 || c == 0x149 || c == 0x178) return c;
        const bool oddIsLower = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        if (oddIsLower) return (c & 1) ? wchar_t(c - 1) : c;
        return (c & 1) ? c : wchar_t(c - 1);  // 0x139..0x148 and 0x179..0x17E: even is lower
    }
    if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? wchar_t(0x3A3) : wchar_t(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return wchar_t(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return wchar_t(c - 0x50);
    return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}
inline wchar_t toLower(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? wchar_t(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE) return c == 0xD7 ? c : wchar_t(c + 0x20);
    if (c == 0x178) return wchar_t(0xFF);
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x130) return L'i';
        if (c == 0x138 || c == 0x149 || c == 0x17F || c == 0x131) return c;
        const bool oddIsLower = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
        if (oddIsLower) return (c & 1) ? c : wchar_t(c + 1);
        return (c & 1) ? wchar_t(c + 1) : c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return wchar_t(c + 0x20);
    if (c >= 0x410 && c <= 0x42F) return wchar_t(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return wchar_t(c + 0x50);
    return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

// Whether the `avail` characters at p begin with `word`. Compared in place: the parsers check a
// few characters at every value or tag, where a library call per check cost a tenth of the parse.
inline bool startsWithWord(const wchar_t* p, size_t avail, std::wstring_view word) {
    if (avail < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (p[i] != word[i]) return false;
    return true;
}

// Position of the first `a`, `b` or `c` among the n characters at p, or n. With SSE2 a 16-byte
// block is compared at a time: the parsers look for the next markup character across long runs
// of text, and the XML reader learns on the way whether a run holds a reference or a carriage
// return.
inline size_t findFirstOf(const wchar_t* p, size_t n, wchar_t a, wchar_t b, wchar_t c) {
    size_t i = 0;
#if defined(__SSE2__)
    constexpr size_t kLanes = 16 / sizeof(wchar_t);
    const bool narrow = sizeof(wchar_t) == 2;
    const __m128i va = narrow ? _mm_set1_epi16(short(a)) : _mm_set1_epi32(int(a));
    const __m128i vb = narrow ? _mm_set1_epi16(short(b)) : _mm_set1_epi32(int(b));
    const __m128i vc = narrow ? _mm_set1_epi16(short(c)) : _mm_set1_epi32(int(c));
    for (; i + kLanes <= n; i += kLanes) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hits =
            narrow ? _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)), _mm_cmpeq_epi16(v, vc))
                   : _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(v, va), _mm_cmpeq_epi32(v, vb)), _mm_cmpeq_epi32(v, vc));
        if (_mm_movemask_epi8(hits) != 0) break;
    }
#endif
    while (i < n && p[i] != a && p[i] != b && p[i] != c) ++i;
    return i;
}
inline size_t findEither(const wchar_t* p, size_t n, wchar_t a, wchar_t b) { return findFirstOf(p, n, a, b, b); }
inline size_t findChar(const wchar_t* p, size_t n, wchar_t c) { return findFirstOf(p, n, c, c, c); }

// How many of the n characters at p are `c` before the first other one: the run of spaces that
// indents a line of a pretty-printed file, 16 bytes at a time with SSE2.
inline size_t runOf(const wchar_t* p, size_t n, wchar_t c) {
    size_t i = 0;
#if defined(__SSE2__)
    constexpr size_t kLanes = 16 / sizeof(wchar_t);
    const bool narrow = sizeof(wchar_t) == 2;
    const __m128i vc = narrow ? _mm_set1_epi16(short(c)) : _mm_set1_epi32(int(c));
    for (; i + kLanes <= n; i += kLanes) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i same = narrow ? _mm_cmpeq_epi16(v, vc) : _mm_cmpeq_epi32(v, vc);
        if (_mm_movemask_epi8(same) != 0xFFFF) break;
    }
#endif
    while (i < n && p[i] == c) ++i;
    return i;
}

}  // namespace qm
