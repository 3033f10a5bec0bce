// Colour schemes from editor theme files: the small lenient JSON reader for theme files, the
// reading of one file with its include chain, scope matching for the eight token slots, the
// building of a Scheme, and the process-wide scheme list built from the "Themes\" folder.
// Reading and matching are portable; files are reached through a reader function, so the
// Windows side hands in CreateFileW and tests hand in memory or the native file system.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "appearance/colour.h"
#include "appearance/slots.h"

namespace qm {

constexpr int kMaxThemeJsonDepth = 64;          // nesting levels of the theme JSON reader
constexpr int kMaxThemeIncludeDepth = 8;        // the first file is read at depth 0
constexpr size_t kMaxThemeFileBytes = 4194304;  // files of 4 MiB or more are refused

// One value of a theme file. Strings and numbers keep their text (strings decoded to UTF-8).
struct ThemeValue {
    enum class Type : uint8_t { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    std::string text;               // String, Number; "true"/"false" for Bool
    std::vector<std::string> keys;  // Object: member names, parallel to items
    std::vector<ThemeValue> items;  // Object members or Array elements, in file order

    // The last member of that name (a later one overrides an earlier one), or null.
    const ThemeValue* member(const char* name) const;
};

// Parses a whole theme text: comments, trailing commas, depth at most kMaxThemeJsonDepth.
// Returns false on malformed input; `out` then holds no meaningful value.
bool parseThemeJson(const char* data, size_t size, ThemeValue& out);

struct TokenRule {
    std::vector<std::string> scopes;  // selector pieces, never empty strings
    std::string foreground;           // colour text, may be empty
};

// One theme file with its includes, before colours are resolved.
struct ThemeFile {
    std::string name;
    std::string type;
    std::map<std::string, std::string> colours;
    std::vector<TokenRule> tokenRules;
};

// Reads a whole file into bytes; false when it cannot be read (or is kMaxThemeFileBytes or more).
using ThemeFileReader = std::function<bool(const std::wstring& path, std::string& bytes)>;

struct Scheme {
    std::wstring name;
    bool isDark = false;
    Colour background = 0;
    Colour foreground = 0;
    Colour selection = 0;
    Colour inactiveSelection = 0;
    std::array<Colour, kTokenSlotCount> tokenColours{};
};
using SchemeRef = std::shared_ptr<const Scheme>;

bool ReadThemeFile(const ThemeFileReader& reader, const std::wstring& path, int depth, ThemeFile& into);
SchemeRef BuildScheme(const ThemeFileReader& reader, const std::wstring& path);

// Token slot k's colour from the rules: the slot's selectors in order; the first selector that
// any rule matches picks the rule with the longest matching piece (the later on a tie).
// Returns false when no selector matched or the rule's colour does not parse.
bool matchTokenColour(const std::vector<TokenRule>& rules, int slot, Colour base, Colour& out);
// A scope piece matches a selector that equals it or continues it after a ".".
bool scopeMatches(const std::string& piece, const std::string& selector);

// One entry of the "Themes\" folder listing.
struct ThemeFolderEntry {
    std::wstring path;      // folder plus file name
    std::wstring fileName;
    uint32_t writeTimeLow = 0;
    uint32_t sizeLow = 0;
};

// The scheme list and the signature of the listing it was built from.
struct SchemeCache {
    std::vector<SchemeRef> schemes;
    std::wstring signature;
};

// Rebuilds `cache` from the listing unless its signature is unchanged. Returns true when rebuilt.
bool refreshSchemes(SchemeCache& cache, const std::vector<ThemeFolderEntry>& entries, const ThemeFileReader& reader);
// First scheme of that darkness whose name equals `name` ignoring case; null for an empty name.
SchemeRef findScheme(const std::vector<SchemeRef>& schemes, const std::wstring& name, bool isDark);

#ifdef _WIN32
// Windows side (themes_win.cpp): the folder "Themes\" beside the plug-in module.
bool readThemeFileBytes(const std::wstring& path, std::string& bytes);
const std::vector<SchemeRef>& LoadSchemes();
SchemeRef FindScheme(const std::wstring& name, bool isDark);
#endif

}  // namespace qm
