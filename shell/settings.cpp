// Text parsing of the settings that are not plain integers.
#include "shell/settings.h"

#include <cmath>

#include "document/chars.h"

namespace qm {

int clampSetting(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

// Reads a decimal floating-point number the way a C library's wcstod reads one, without its
// hexadecimal, infinity and NaN forms.
static double leadingDecimal(const std::wstring& text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    double value = 0;
    bool digits = false;
    while (i < n && isDigit(text[i])) {
        value = value * 10 + (text[i++] - L'0');
        digits = true;
    }
    if (i < n && text[i] == L'.') {
        ++i;
        double scale = 0.1;
        while (i < n && isDigit(text[i])) {
            value += (text[i++] - L'0') * scale;
            scale /= 10;
            digits = true;
        }
    }
    if (!digits) return 0;
    if (i < n && (text[i] == L'e' || text[i] == L'E')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < n && (text[j] == L'+' || text[j] == L'-')) expNegative = text[j++] == L'-';
        if (j < n && isDigit(text[j])) {
            int exponent = 0;
            while (j < n && isDigit(text[j])) {
                if (exponent < 10000) exponent = exponent * 10 + (text[j] - L'0');
                ++j;
            }
            value *= std::pow(10.0, expNegative ? -exponent : exponent);
        }
    }
    return negative ? -value : value;
}

int parseFontSize(const std::wstring& text) {
    const double tenths = leadingDecimal(text) * 10 + 0.5;
    // Clamped before the conversion: a value such as 1e300 does not fit an int.
    if (!(tenths < kMaxFontTenths)) return tenths >= kMaxFontTenths ? kMaxFontTenths : kMinFontTenths;
    if (tenths < kMinFontTenths) return kMinFontTenths;
    return static_cast<int>(tenths);  // truncation toward zero
}

std::wstring formatFontSize(int tenths) {
    std::wstring text = std::to_wstring(tenths / 10);
    if (tenths % 10 != 0) text += L"." + std::to_wstring(std::abs(tenths % 10));
    return text;
}

static bool startsWithIgnoringCase(const std::wstring& text, const wchar_t* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || toLower(text[i]) != toLower(prefix[i])) return false;
    return true;
}

void parseSearchKey(const std::wstring& text, wchar_t& keyChar, bool& shift) {
    shift = startsWithIgnoringCase(text, L"Ctrl+Shift+") || startsWithIgnoringCase(text, L"Shift+");
    const size_t plus = text.rfind(L'+');
    const size_t at = plus == std::wstring::npos ? 0 : plus + 1;
    const wchar_t key = at < text.size() ? text[at] : 0;
    keyChar = key != 0 && isAlnum(key) ? toUpper(key) : 0;
}

}  // namespace qm
