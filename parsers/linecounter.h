// The line counter of the one-pass parsers: it counts line feeds between the last place asked
// for and the next one and only moves forward, so line numbers cost one scan of the text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm {

struct ForwardLineCounter {
    size_t scanned = 0;  // line feeds are counted up to here
    uint32_t line = 1;

    // The one-based line of `position` (clamped to `length`); never moves back.
    uint32_t at(const wchar_t* text, size_t length, size_t position) {
        if (position > length) position = length;
        for (; scanned < position; ++scanned)
            if (text[scanned] == L'\n') ++line;
        return line;
    }
};

}  // namespace qm
