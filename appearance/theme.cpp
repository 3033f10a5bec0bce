// Theme files into colour schemes. The JSON reader here is deliberately separate from the
// document parser: it only has to take what editor themes contain (comments, trailing commas)
// and must never fail loudly; a file it cannot read simply yields no scheme.
#include "appearance/theme.h"

#include <cstring>

#include "document/chars.h"
#include "document/utf8.h"

namespace qm {

const ThemeValue* ThemeValue::member(const char* name) const {
    if (type != Type::Object) return nullptr;
    for (size_t i = keys.size(); i-- > 0;)
        if (keys[i] == name) return &items[i];
    return nullptr;
}

namespace {

// Recursive descent; the depth is bounded by kMaxThemeJsonDepth.
struct ThemeJsonReader {
    const char* p;
    const char* end;

    void skipSpaceAndComments() {
        while (p < end) {
            const char c = *p;
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++p;
            } else if (c == '/' && end - p >= 2 && p[1] == '/') {
                p += 2;
                while (p < end && *p != '\n') ++p;
            } else if (c == '/' && end - p >= 2 && p[1] == '*') {
                p += 2;
                while (p < end && !(*p == '*' && end - p >= 2 && p[1] == '/')) ++p;
                p = p < end ? p + 2 : end;  // an unterminated comment swallows the rest
            } else {
                return;
            }
        }
    }

    static void appendUtf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // Four hex digits at q (q + 4 <= end checked by the caller), or -1.
    static int hex4(const char* q) {
        int v = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = q[i];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return -1;
            v = v * 16 + d;
        }
        return v;
    }

    // A "\u" escape with four hex digits at p (pointing at the backslash), or -1.
    int unicodeEscapeAt(const char* q) const {
        if (end - q < 6 || q[0] != '\\' || q[1] != 'u') return -1;
        return hex4(q + 2);
    }

    bool parseString(std::string& out) {
        ++p;  // opening quote
        while (p < end) {
            const char c = *p;
            if (c == '"') {
                ++p;
                return true;
            }
            if (c != '\\') {
                out += c;
                ++p;
                continue;
            }
            if (end - p < 2) break;
            const char e = p[1];
            int unit = e == 'u' ? unicodeEscapeAt(p) : -1;
            if (unit < 0) {
                switch (e) {
                    case 'b': out += '\b'; break;
                    case 'f': out += '\f'; break;
                    case 'n': out += '\n'; break;
                    case 'r': out += '\r'; break;
                    case 't': out += '\t'; break;
                    default: out += e; break;  // any other escaped character stands for itself
                }
                p += 2;
                continue;
            }
            p += 6;
            uint32_t cp = static_cast<uint32_t>(unit);
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                const int low = unicodeEscapeAt(p);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
                    p += 6;
                } else {
                    cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
                }
            } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                cp = 0xFFFD;
            }
            appendUtf8(out, cp);
        }
        return false;  // unterminated
    }

    static bool isNumberChar(char c) {
        return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
    }

    bool literal(const char* word, ThemeValue& out, ThemeValue::Type type) {
        const size_t n = std::strlen(word);
        if (static_cast<size_t>(end - p) < n || std::memcmp(p, word, n) != 0) return false;
        out.type = type;
        if (type == ThemeValue::Type::Bool) out.text = word;
        p += n;
        return true;
    }

    bool parseValue(ThemeValue& out, int depth) {
        skipSpaceAndComments();
        if (p >= end) return false;
        const char c = *p;
        if (c == '{' || c == '[') {
            if (depth >= kMaxThemeJsonDepth) return false;
            const bool isObject = c == '{';
            const char close = isObject ? '}' : ']';
            out.type = isObject ? ThemeValue::Type::Object : ThemeValue::Type::Array;
            ++p;
            for (;;) {
                skipSpaceAndComments();
                if (p >= end) return false;
                if (*p == close) {  // also after a comma: trailing commas are accepted
                    ++p;
                    return true;
                }
                if (isObject) {
                    if (*p != '"') return false;
                    std::string key;
                    if (!parseString(key)) return false;
                    skipSpaceAndComments();
                    if (p >= end || *p != ':') return false;
                    ++p;
                    out.keys.push_back(std::move(key));
                }
                out.items.emplace_back();
                if (!parseValue(out.items.back(), depth + 1)) return false;
                skipSpaceAndComments();
                if (p >= end) return false;
                if (*p == ',') {
                    ++p;
                } else if (*p != close) {
                    return false;
                }
            }
        }
        if (c == '"') {
            out.type = ThemeValue::Type::String;
            return parseString(out.text);
        }
        if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
            const char* start = p;
            while (p < end && isNumberChar(*p)) ++p;
            out.type = ThemeValue::Type::Number;
            out.text.assign(start, p);
            return true;
        }
        return literal("true", out, ThemeValue::Type::Bool) || literal("false", out, ThemeValue::Type::Bool) ||
               literal("null", out, ThemeValue::Type::Null);
    }
};

// The part of a path up to and including its last "\" or "/" (empty when there is none).
std::wstring folderOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

void addScopePieces(const std::string& text, std::vector<std::string>& scopes) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        size_t a = start, b = comma;
        while (a < b && text[a] == ' ') ++a;
        while (b > a && text[b - 1] == ' ') --b;
        if (b > a) scopes.emplace_back(text, a, b - a);
        start = comma + 1;
    }
}

const char* const kSlotSelectors[kTokenSlotCount][4] = {
    {"entity.name.tag"},
    {"entity.other.attribute-name", "entity.other"},
    {"string"},
    {"comment"},
    {"meta.preprocessor", "keyword.control.directive", "entity.name.function.preprocessor", "keyword"},
    {"constant.character.entity", "entity.name.type", "support.type"},
    {"constant.numeric"},
    {"constant.language", "keyword", "storage"},
};

bool colourMember(const ThemeFile& theme, const char* key, Colour base, Colour& out) {
    auto it = theme.colours.find(key);
    return it != theme.colours.end() && parseColour(it->second, base, out);
}

}  // namespace

bool parseThemeJson(const char* data, size_t size, ThemeValue& out) {
    ThemeJsonReader reader{data, data + size};
    out = ThemeValue();
    return reader.parseValue(out, 0);
}

bool ReadThemeFile(const ThemeFileReader& reader, const std::wstring& path, int depth, ThemeFile& into) {
    if (depth > kMaxThemeIncludeDepth) return false;
    std::string bytes;
    if (!reader || !reader(path, bytes) || bytes.size() >= kMaxThemeFileBytes) return false;
    size_t skip = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    ThemeValue root;
    if (!parseThemeJson(bytes.data() + skip, bytes.size() - skip, root)) return false;
    if (root.type != ThemeValue::Type::Object) return false;

    using Type = ThemeValue::Type;
    if (const ThemeValue* include = root.member("include"); include && include->type == Type::String) {
        // Read first so that this file's own members override the included ones. A missing or
        // broken include leaves this file's values in force.
        ReadThemeFile(reader, folderOf(path) + utf8ToWide(include->text), depth + 1, into);
    }
    if (const ThemeValue* v = root.member("name"); v && v->type == Type::String) into.name = v->text;
    if (const ThemeValue* v = root.member("type"); v && v->type == Type::String) into.type = v->text;
    if (const ThemeValue* colors = root.member("colors"); colors && colors->type == Type::Object) {
        for (size_t i = 0; i < colors->items.size(); ++i)
            if (colors->items[i].type == Type::String) into.colours[colors->keys[i]] = colors->items[i].text;
    }
    if (const ThemeValue* rules = root.member("tokenColors"); rules && rules->type == Type::Array) {
        for (const ThemeValue& element : rules->items) {
            if (element.type != Type::Object) continue;
            TokenRule rule;
            if (const ThemeValue* scope = element.member("scope")) {
                if (scope->type == Type::String) {
                    addScopePieces(scope->text, rule.scopes);
                } else if (scope->type == Type::Array) {
                    for (const ThemeValue& s : scope->items)
                        if (s.type == Type::String) addScopePieces(s.text, rule.scopes);
                }
            }
            if (const ThemeValue* settings = element.member("settings"); settings && settings->type == Type::Object) {
                if (const ThemeValue* fg = settings->member("foreground"); fg && fg->type == Type::String)
                    rule.foreground = fg->text;
            }
            into.tokenRules.push_back(std::move(rule));
        }
    }
    return true;
}

bool scopeMatches(const std::string& piece, const std::string& selector) {
    if (piece.empty() || selector.size() < piece.size() || selector.compare(0, piece.size(), piece) != 0) return false;
    return selector.size() == piece.size() || selector[piece.size()] == '.';
}

bool matchTokenColour(const std::vector<TokenRule>& rules, int slot, Colour base, Colour& out) {
    if (slot < 0 || slot >= kTokenSlotCount) return false;
    for (const char* selector : kSlotSelectors[slot]) {
        if (!selector) break;
        const TokenRule* best = nullptr;
        size_t bestLength = 0;
        for (const TokenRule& rule : rules)
            for (const std::string& piece : rule.scopes)
                if (scopeMatches(piece, selector) && piece.size() >= bestLength) {
                    best = &rule;
                    bestLength = piece.size();
                }
        if (best) return !best->foreground.empty() && parseColour(best->foreground, base, out);
    }
    return false;
}

SchemeRef BuildScheme(const ThemeFileReader& reader, const std::wstring& path) {
    ThemeFile theme;
    if (!ReadThemeFile(reader, path, 0, theme)) return nullptr;
    auto scheme = std::make_shared<Scheme>();
    if (!theme.name.empty()) {
        scheme->name = utf8ToWide(theme.name);
    } else {
        const size_t cut = path.find_last_of(L"\\/");
        scheme->name = cut == std::wstring::npos ? path : path.substr(cut + 1);
    }
    const bool typeLight = theme.type == "light" || theme.type == "hc-light";
    const bool typeDark = theme.type == "dark" || theme.type == "hc-black";
    if (!colourMember(theme, "editor.background", hexColour(0x000000), scheme->background))
        scheme->background = typeLight ? hexColour(0xFFFFFF) : hexColour(0x1E1E1E);
    scheme->isDark = typeDark || (!typeLight && integerLuma(scheme->background) < 128);
    if (!colourMember(theme, "editor.foreground", scheme->background, scheme->foreground) &&
        !colourMember(theme, "foreground", scheme->background, scheme->foreground))
        scheme->foreground = scheme->isDark ? hexColour(0xD4D4D4) : hexColour(0x333333);
    if (!colourMember(theme, "editor.selectionBackground", scheme->background, scheme->selection))
        scheme->selection = blend(scheme->background, scheme->foreground, 0.18);
    if (!colourMember(theme, "editor.inactiveSelectionBackground", scheme->background, scheme->inactiveSelection))
        scheme->inactiveSelection = blend(scheme->background, scheme->selection, 0.6);
    for (int slot = 0; slot < kTokenSlotCount; ++slot)
        if (!matchTokenColour(theme.tokenRules, slot, scheme->background, scheme->tokenColours[slot]))
            scheme->tokenColours[slot] = scheme->foreground;
    return scheme;
}

bool refreshSchemes(SchemeCache& cache, const std::vector<ThemeFolderEntry>& entries, const ThemeFileReader& reader) {
    std::wstring signature;
    for (const ThemeFolderEntry& e : entries)
        signature += e.fileName + L"|" + std::to_wstring(e.writeTimeLow) + L"|" + std::to_wstring(e.sizeLow) + L"\n";
    if (signature == cache.signature) return false;
    cache.signature = std::move(signature);
    cache.schemes.clear();
    for (const ThemeFolderEntry& e : entries)
        if (SchemeRef scheme = BuildScheme(reader, e.path)) cache.schemes.push_back(std::move(scheme));
    return true;
}

static bool equalIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (toLower(a[i]) != toLower(b[i])) return false;
    return true;
}

SchemeRef findScheme(const std::vector<SchemeRef>& schemes, const std::wstring& name, bool isDark) {
    if (name.empty()) return nullptr;
    for (const SchemeRef& s : schemes)
        if (s && s->isDark == isDark && equalIgnoringCase(s->name, name)) return s;
    return nullptr;
}

}  // namespace qm
