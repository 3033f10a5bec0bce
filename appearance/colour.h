// Colour values and their arithmetic, shared by the theme reader, the palette rules and tests.
// A colour is a Windows colour value, 0x00BBGGRR, so the Windows side can hand it to GDI as is.
#pragma once

#include <cstdint>
#include <string>

namespace qm {

using Colour = uint32_t;

constexpr Colour makeColour(unsigned r, unsigned g, unsigned b) {
    return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
// #RRGGBB written as the number 0xRRGGBB, as the colour tables give it.
constexpr Colour hexColour(uint32_t rrggbb) {
    return makeColour((rrggbb >> 16) & 0xFF, (rrggbb >> 8) & 0xFF, rrggbb & 0xFF);
}
constexpr unsigned redOf(Colour c) { return c & 0xFF; }
constexpr unsigned greenOf(Colour c) { return (c >> 8) & 0xFF; }
constexpr unsigned blueOf(Colour c) { return (c >> 16) & 0xFF; }

// Per channel a + (b - a) * t in floating point, truncated toward zero.
Colour blend(Colour a, Colour b, double t);
// (0.299 R + 0.587 G + 0.114 B) / 255, in 0..1.
double luminance(Colour c);
// (299 R + 587 G + 114 B) / 1000 in integer arithmetic, in 0..255: the theme reader's darkness test.
unsigned integerLuma(Colour c);

// Colour text of a theme file: "#rgb", "#rrggbb" or "#rrggbbaa". With an alpha the colour is
// laid over `base` (blend(base, colour, alpha / 255)). Returns false for anything else.
bool parseColour(const std::string& text, Colour base, Colour& out);

// "#RRGGBB", for failure messages and tools.
std::string colourText(Colour c);

}  // namespace qm
