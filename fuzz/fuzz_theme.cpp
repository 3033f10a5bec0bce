// Fuzz target for the theme reader: the lenient JSON reader, then the whole scheme building
// with every path (an include included) answering the same bytes.
#include <string>

#include "appearance/theme.h"
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    qm::ThemeValue value;
    qm::parseThemeJson(bytes.data(), bytes.size(), value);
    qm::ThemeFileReader reader = [&bytes](const std::wstring&, std::string& out) {
        out = bytes;
        return true;
    };
    qm::SchemeRef scheme = qm::BuildScheme(reader, L"fuzz\\theme.json");
    if (scheme) {
        qm::Colour sink = scheme->background ^ scheme->foreground;
        for (qm::Colour c : scheme->tokenColours) sink ^= c;
        (void)sink;
    }
    return 0;
}
