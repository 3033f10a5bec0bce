// Line counting for the parsers. The markup formats (JSON, XML) count line feeds with a counter
// that only moves forward. The formats read by lines (YAML, TOML, .reg) also end a line at a
// carriage return that no line feed follows, as files from classic Mac tools have it; CR LF stays
// one line end, counted at its line feed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

// Line feeds among text[from] to text[to - 1] (parsers/linecounter.cpp).
uint32_t countLineFeeds(const wchar_t* text, size_t from, size_t to);

struct ForwardLineCounter {
    size_t scanned = 0;  // line feeds are counted up to here
    uint32_t line = 1;

    // The one-based line of `position` (clamped to `length`); never moves back.
    uint32_t at(const wchar_t* text, size_t length, size_t position) {
        if (position > length) position = length;
        if (position <= scanned) return line;
        line += countLineFeeds(text, scanned, position);
        scanned = position;
        return line;
    }
};

// True when a line ends at text[p] (p < length): a line feed, or a carriage return without a line
// feed after it. The carriage return of CR LF is not a line end by itself.
inline bool isLineEnd(const wchar_t* text, size_t length, size_t p) {
    return text[p] == L'\n' || (text[p] == L'\r' && (p + 1 >= length || text[p + 1] != L'\n'));
}

// Position of the next line end at or after `p` (see isLineEnd), or `length`.
inline size_t findLineEnd(const wchar_t* text, size_t length, size_t p) {
    while (p < length && !isLineEnd(text, length, p)) ++p;
    return p;
}

// The line cursor of the formats read by lines: it counts line ends (see isLineEnd) between the
// last place asked for and the next one, in either direction, since these parsers look ahead and
// come back. Moving forward through the text once costs one scan of it.
struct LineCursor {
    size_t scanned = 0;  // line ends before this position are counted in `line`
    uint32_t line = 1;

    // The one-based line of `position` (clamped to `length`).
    uint32_t at(const wchar_t* text, size_t length, size_t position) {
        if (position > length) position = length;
        for (; scanned < position; ++scanned)
            if (isLineEnd(text, length, scanned)) ++line;
        while (scanned > position)
            if (isLineEnd(text, length, --scanned)) --line;
        return line;
    }
};

}  // namespace qm
