// Colour arithmetic and the parsing of theme colour texts.
#include "appearance/colour.h"

#include <cstdio>

namespace qm {

static unsigned blendChannel(unsigned a, unsigned b, double t) {
    const double v = static_cast<double>(a) + (static_cast<double>(b) - static_cast<double>(a)) * t;
    if (!(v > 0.0)) return 0;  // also catches a NaN from a broken t
    if (v >= 255.0) return 255;
    return static_cast<unsigned>(v);  // truncation toward zero
}

Colour blend(Colour a, Colour b, double t) {
    return makeColour(blendChannel(redOf(a), redOf(b), t), blendChannel(greenOf(a), greenOf(b), t),
                      blendChannel(blueOf(a), blueOf(b), t));
}

double luminance(Colour c) {
    return (0.299 * redOf(c) + 0.587 * greenOf(c) + 0.114 * blueOf(c)) / 255.0;
}

unsigned integerLuma(Colour c) { return (299 * redOf(c) + 587 * greenOf(c) + 114 * blueOf(c)) / 1000; }

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parseColour(const std::string& text, Colour base, Colour& out) {
    if (text.size() < 4 || text[0] != '#') return false;
    std::string digits = text.substr(1);
    for (char c : digits)
        if (hexValue(c) < 0) return false;
    if (digits.size() == 3) digits = {digits[0], digits[0], digits[1], digits[1], digits[2], digits[2]};
    if (digits.size() != 6 && digits.size() != 8) return false;
    auto byteAt = [&](size_t i) { return static_cast<unsigned>(hexValue(digits[i]) * 16 + hexValue(digits[i + 1])); };
    const Colour colour = makeColour(byteAt(0), byteAt(2), byteAt(4));
    out = digits.size() == 8 ? blend(base, colour, byteAt(6) / 255.0) : colour;
    return true;
}

std::string colourText(Colour c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02X%02X%02X", redOf(c), greenOf(c), blueOf(c));
    return buffer;
}

}  // namespace qm
