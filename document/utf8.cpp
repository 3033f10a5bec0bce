#include "document/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

// The text is decoded in chunks into a small buffer and appended to a string reserved once from
// the byte count (a byte never yields more than one unit; a four-byte sequence yields two units),
// so the big buffer is written once and never zero-filled first. Runs of ASCII go eight bytes at
// a time past the sequence decoder.
std::wstring utf8ToWide(const char* data, size_t size, bool* valid) {
    if (valid) *valid = true;
    std::wstring out;
    if (size == 0) return out;
    // One allocation for the worst case, but the string is grown (zero-filled) only a step ahead
    // of the decoder, so the part the text does not need is never touched.
    out.reserve(size);
    constexpr size_t kStep = size_t(1) << 16;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    bool ok = true;
    size_t i = 0;
    size_t written = 0;
    while (i < size) {
        // A step's bytes yield at most as many units; a sequence that starts in it may run 3
        // bytes past its end, hence the slack.
        const size_t stepEnd = size - i > kStep ? i + kStep : size;
        out.resize(std::min(size, written + (stepEnd - i) + 4));
        wchar_t* const first = &out[0] + written;
        wchar_t* o = first;
        while (i < stepEnd) {
            unsigned c = p[i];
            if (c < 0x80) {
#if defined(__SSE2__)
                // Sixteen ASCII bytes widened at once (zeros interleaved as the high bytes).
                const __m128i zero = _mm_setzero_si128();
                while (i + 16 <= stepEnd) {
                    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                    if (_mm_movemask_epi8(bytes) != 0) break;
                    const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
                    __m128i* to = reinterpret_cast<__m128i*>(o);
                    if (sizeof(wchar_t) == 2) {
                        _mm_storeu_si128(to, low);
                        _mm_storeu_si128(to + 1, high);
                    } else {
                        _mm_storeu_si128(to, _mm_unpacklo_epi16(low, zero));
                        _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(low, zero));
                        _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(high, zero));
                        _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(high, zero));
                    }
                    o += 16;
                    i += 16;
                }
#endif
                while (i + 8 <= stepEnd) {
                    uint64_t word;
                    std::memcpy(&word, p + i, 8);
                    if (word & 0x8080808080808080ull) break;
                    for (int k = 0; k < 8; ++k) o[k] = wchar_t(p[i + k]);
                    o += 8;
                    i += 8;
                }
                while (i < stepEnd && p[i] < 0x80) *o++ = wchar_t(p[i++]);
                continue;
            }
            unsigned need, cp, min;
            if ((c & 0xE0) == 0xC0) { need = 1; cp = c & 0x1F; min = 0x80; }
            else if ((c & 0xF0) == 0xE0) { need = 2; cp = c & 0x0F; min = 0x800; }
            else if ((c & 0xF8) == 0xF0) { need = 3; cp = c & 0x07; min = 0x10000; }
            else { *o++ = wchar_t(0xFFFD); ok = false; ++i; continue; }
            size_t j = 1;
            for (; j <= need && i + j < size && (p[i + j] & 0xC0) == 0x80; ++j) cp = (cp << 6) | (p[i + j] & 0x3F);
            if (j <= need || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
                *o++ = wchar_t(0xFFFD);
                ok = false;
                i += j;
                continue;
            }
            i += j;
            if (cp >= 0x10000) {
                cp -= 0x10000;
                *o++ = wchar_t(0xD800 + (cp >> 10));
                *o++ = wchar_t(0xDC00 + (cp & 0x3FF));
            } else {
                *o++ = wchar_t(cp);
            }
        }
        written += size_t(o - first);
    }
    out.resize(written);
    if (valid) *valid = ok;
    return out;
}

void appendCodePoint(std::wstring& out, uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF) return;
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out += wchar_t(0xD800 + (cp >> 10));
        out += wchar_t(0xDC00 + (cp & 0x3FF));
    } else {
        out += wchar_t(cp);
    }
}

std::string wideToUtf8(std::wstring_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned cp = static_cast<unsigned>(s[i]) & 0xFFFF;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && (unsigned(s[i + 1]) & 0xFC00) == 0xDC00) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + ((unsigned(s[i + 1]) & 0xFFFF) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace qm
