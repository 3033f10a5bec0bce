// Counting line feeds for the markup parsers' forward line counter.
#include "parsers/linecounter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qm {

// Line feeds among text[from] to text[to - 1]. With SSE2 eight characters are compared at a time
// (two 16-byte blocks where wchar_t has 32 bits), and a block without a line feed (most of them)
// costs no counting; the last few characters are the tail of the block that ends with them, as
// the gaps between the places a parser asks about are short. Every character of a markup file
// passes through here once. Out of line, so that the recursive JSON reader's frames stay small.
uint32_t countLineFeeds(const wchar_t* text, size_t from, size_t to) {
    uint32_t feeds = 0;
    size_t i = from;
#if defined(__SSE2__)
    constexpr size_t kStep = 8;
    // One bit per character of the eight at q: set for a line feed.
    auto feedBits = [](const wchar_t* q) {
        const __m128i zero = _mm_setzero_si128();
        __m128i lanes;
        if (sizeof(wchar_t) == 2) {
            lanes = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), _mm_set1_epi16(short(L'\n')));
        } else {
            const __m128i feed = _mm_set1_epi32(int(L'\n'));
            lanes = _mm_packs_epi32(_mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), feed),
                                    _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 4)), feed));
        }
        return unsigned(_mm_movemask_epi8(_mm_packs_epi16(lanes, zero)));
    };
    for (; i + kStep <= to; i += kStep)
        for (unsigned bits = feedBits(text + i); bits != 0; bits &= bits - 1) ++feeds;
    if (i < to && to >= kStep) {
        for (unsigned bits = feedBits(text + to - kStep) >> (kStep - (to - i)); bits != 0; bits &= bits - 1) ++feeds;
        i = to;
    }
#endif
    for (; i < to; ++i) feeds += text[i] == L'\n';
    return feeds;
}

}  // namespace qm
