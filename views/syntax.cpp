// The five line tokenizers of the source view and the colour of each token class.
#include "views/syntax.h"

#include <cstring>
#include <string>

#include "document/chars.h"
#include "parsers/yaml.h"

namespace qm {

namespace {

void paint(uint8_t* classes, size_t from, size_t to, uint8_t cls) {
    if (!classes) return;
    for (size_t k = from; k < to; ++k) classes[k] = cls;
}

// text[p, p + n) equals the literal word.
bool sameText(const wchar_t* text, size_t p, size_t n, const wchar_t* word) {
    size_t w = std::wcslen(word);
    if (w != n) return false;
    for (size_t k = 0; k < n; ++k)
        if (text[p + k] != word[k]) return false;
    return true;
}
bool startsWith(const wchar_t* text, size_t length, size_t p, const wchar_t* word) {
    size_t w = std::wcslen(word);
    return p + w <= length && sameText(text, p, w, word);
}
// Position just after the first occurrence of `word` at or after p, or 0 when there is none.
size_t findAfter(const wchar_t* text, size_t length, size_t p, const wchar_t* word) {
    size_t w = std::wcslen(word);
    for (size_t k = p; k + w <= length; ++k)
        if (sameText(text, k, w, word)) return k + w;
    return 0;
}
size_t skipSpaces(const wchar_t* text, size_t length, size_t p) {
    while (p < length && isSpace(text[p])) ++p;
    return p;
}

// ---- XML ----

enum XmlState : uint8_t { kXmlContent, kXmlTag, kXmlDoubleQuoted, kXmlSingleQuoted, kXmlComment, kXmlCData,
                          kXmlPi, kXmlDeclaration, kXmlSubset };

bool isXmlNameChar(wchar_t c) {
    return isAlpha(c) || isDigit(c) || c == L'-' || c == L'.' || c == L':' || c == L'_' || c >= 0x80;
}

}  // namespace

void tokenizeXmlLine(const wchar_t* s, size_t n, uint8_t& state, uint8_t* cls) {
    size_t i = 0;
    if (state > kXmlSubset) state = kXmlContent;
    while (i < n) {
        switch (state) {
            case kXmlContent: {
                wchar_t c = s[i];
                if (c == L'<') {
                    if (startsWith(s, n, i, L"<!--")) {
                        paint(cls, i, i + 4, kTokenComment);
                        i += 4;
                        state = kXmlComment;
                    } else if (startsWith(s, n, i, L"<![CDATA[")) {
                        paint(cls, i, i + 9, kTokenCData);
                        i += 9;
                        state = kXmlCData;
                    } else if (startsWith(s, n, i, L"<?")) {
                        paint(cls, i, i + 2, kTokenDirective);
                        i += 2;
                        state = kXmlPi;
                    } else if (startsWith(s, n, i, L"<!")) {
                        paint(cls, i, i + 2, kTokenComment);
                        i += 2;
                        state = kXmlDeclaration;
                    } else {
                        size_t e = i + (i + 1 < n && s[i + 1] == L'/' ? 2 : 1);
                        paint(cls, i, e, kTokenPunctuation);
                        size_t name = e;
                        while (e < n && isXmlNameChar(s[e])) ++e;
                        paint(cls, name, e, kTokenTagName);
                        i = e;
                        state = kXmlTag;
                    }
                } else if (c == L'&') {
                    // An entity or character reference: at most 11 characters before its ";".
                    size_t e = i + 1;
                    while (e < n && e - i - 1 < 11 && s[e] != L';' && s[e] != L'<' && !isSpace(s[e])) ++e;
                    if (e < n && s[e] == L';') {
                        paint(cls, i, e + 1, kTokenDirective);
                        i = e + 1;
                    } else {
                        ++i;
                    }
                } else {
                    ++i;
                }
                break;
            }
            case kXmlTag: {
                wchar_t c = s[i];
                if (c == L'>') {
                    paint(cls, i, i + 1, kTokenPunctuation);
                    ++i;
                    state = kXmlContent;
                } else if (c == L'"' || c == L'\'') {
                    paint(cls, i, i + 1, kTokenString);
                    ++i;
                    state = c == L'"' ? kXmlDoubleQuoted : kXmlSingleQuoted;
                } else if (c == L'/' || c == L'=' || c == L'?') {
                    paint(cls, i, i + 1, kTokenPunctuation);
                    ++i;
                } else if (isSpace(c)) {
                    ++i;
                } else {
                    size_t e = i + 1;
                    while (e < n && isXmlNameChar(s[e])) ++e;
                    paint(cls, i, e, kTokenAttributeName);
                    i = e;
                }
                break;
            }
            case kXmlDoubleQuoted:
            case kXmlSingleQuoted: {
                wchar_t quote = state == kXmlDoubleQuoted ? L'"' : L'\'';
                size_t e = i;
                while (e < n && s[e] != quote) ++e;
                if (e < n) {
                    paint(cls, i, e + 1, kTokenString);
                    i = e + 1;
                    state = kXmlTag;
                } else {
                    paint(cls, i, n, kTokenString);
                    i = n;
                }
                break;
            }
            case kXmlComment:
            case kXmlCData:
            case kXmlPi: {
                const wchar_t* close = state == kXmlComment ? L"-->" : state == kXmlCData ? L"]]>" : L"?>";
                uint8_t c = state == kXmlComment ? kTokenComment : state == kXmlCData ? kTokenCData : kTokenDirective;
                size_t e = findAfter(s, n, i, close);
                if (e) {
                    paint(cls, i, e, c);
                    i = e;
                    state = kXmlContent;
                } else {
                    paint(cls, i, n, c);
                    i = n;
                }
                break;
            }
            default: {  // markup declaration and its bracketed internal subset
                wchar_t c = s[i];
                paint(cls, i, i + 1, kTokenComment);
                ++i;
                if (state == kXmlDeclaration) {
                    if (c == L'[') state = kXmlSubset;
                    else if (c == L'>') state = kXmlContent;
                } else if (c == L']') {
                    state = kXmlDeclaration;
                }
                break;
            }
        }
    }
}

// ---- JSON and JSON Lines ----

namespace {

// After white space, does a ":" follow position p?
bool colonFollows(const wchar_t* s, size_t n, size_t p) {
    p = skipSpaces(s, n, p);
    return p < n && s[p] == L':';
}

// End of a quoted string starting at p (past its closing quote, or the end of the line).
size_t quotedEnd(const wchar_t* s, size_t n, size_t p, bool backslashEscapes) {
    wchar_t quote = s[p];
    size_t e = p + 1;
    while (e < n && s[e] != quote) e += (backslashEscapes && s[e] == L'\\') ? 2 : 1;
    return e < n ? e + 1 : n;
}

}  // namespace

void tokenizeJsonLine(const wchar_t* s, size_t n, uint8_t& state, uint8_t* cls) {
    size_t i = 0;
    if (state > 1) state = 0;
    while (i < n) {
        if (state == 1) {
            size_t e = findAfter(s, n, i, L"*/");
            if (!e) {
                paint(cls, i, n, kTokenComment);
                return;
            }
            paint(cls, i, e, kTokenComment);
            i = e;
            state = 0;
            continue;
        }
        wchar_t c = s[i];
        if (c == L'/' && i + 1 < n && s[i + 1] == L'/') {
            paint(cls, i, n, kTokenComment);
            return;
        }
        if (c == L'/' && i + 1 < n && s[i + 1] == L'*') {
            paint(cls, i, i + 2, kTokenComment);
            i += 2;
            state = 1;
        } else if (c == L'"' || c == L'\'') {
            size_t e = quotedEnd(s, n, i, true);
            paint(cls, i, e, colonFollows(s, n, e) ? kTokenKey : kTokenString);
            i = e;
        } else if (isDigit(c) || c == L'+' || c == L'-' || c == L'.') {
            size_t e = i + 1;
            while (e < n && (isAlpha(s[e]) || isDigit(s[e]) || s[e] == L'.' || s[e] == L'+' || s[e] == L'-')) ++e;
            paint(cls, i, e, kTokenNumber);
            i = e;
        } else if (isAlpha(c) || c == L'_' || c == L'$') {
            size_t e = i + 1;
            while (e < n && (isAlpha(s[e]) || isDigit(s[e]) || s[e] == L'_' || s[e] == L'$')) ++e;
            size_t len = e - i;
            if (colonFollows(s, n, e))
                paint(cls, i, e, kTokenKey);
            else if (sameText(s, i, len, L"true") || sameText(s, i, len, L"false") || sameText(s, i, len, L"null"))
                paint(cls, i, e, kTokenConstant);
            else if (sameText(s, i, len, L"NaN") || sameText(s, i, len, L"Infinity"))
                paint(cls, i, e, kTokenNumber);
            i = e;
        } else {
            if (std::wcschr(L"{}[],:", c) && c != 0) paint(cls, i, i + 1, kTokenPunctuation);
            ++i;
        }
    }
}

// ---- YAML ----

namespace {

constexpr uint8_t kMaxYamlBlockColumn = 250;

bool isFlowIndicator(wchar_t c) { return c == L',' || c == L'[' || c == L']' || c == L'{' || c == L'}'; }

}  // namespace

void tokenizeYamlLine(const wchar_t* s, size_t n, uint8_t& state, uint8_t* cls) {
    size_t indent = 0;
    while (indent < n && s[indent] == L' ') ++indent;
    if (state != 0) {
        // Inside a block scalar: blank lines and lines indented deeper than its key belong to it.
        if (indent == n || indent > size_t(state - 1)) {
            paint(cls, 0, n, kTokenString);
            return;
        }
        state = 0;
    } else if (indent == n) {
        return;
    }
    size_t i = indent;
    if (s[i] == L'#') {
        paint(cls, i, n, kTokenComment);
        return;
    }
    if (indent == 0) {
        if (s[0] == L'%') {
            paint(cls, 0, n, kTokenDirective);
            return;
        }
        if ((startsWith(s, n, 0, L"---") || startsWith(s, n, 0, L"...")) && (n == 3 || isSpace(s[3]))) {
            paint(cls, 0, 3, kTokenPunctuation);
            i = 3;
        }
    }
    size_t keyColumn = indent;
    size_t flow = 0;
    std::wstring scalar;
    while (i < n) {
        wchar_t c = s[i];
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == L'#' && (i == 0 || isSpace(s[i - 1]))) {
            paint(cls, i, n, kTokenComment);
            return;
        }
        if ((c == L'-' || c == L'?') && flow == 0 && (i + 1 == n || s[i + 1] == L' ')) {
            paint(cls, i, i + 1, kTokenPunctuation);
            keyColumn = i;
            ++i;
            continue;
        }
        if (c == L'!' || c == L'&' || c == L'*') {
            size_t e = i + 1;
            while (e < n && !isSpace(s[e]) && !(flow > 0 && isFlowIndicator(s[e]))) ++e;
            paint(cls, i, e, kTokenDirective);
            i = e;
            continue;
        }
        if (isFlowIndicator(c) || c == L':') {
            paint(cls, i, i + 1, kTokenPunctuation);
            if (c == L'[' || c == L'{') ++flow;
            if ((c == L']' || c == L'}') && flow > 0) --flow;
            ++i;
            continue;
        }
        if ((c == L'|' || c == L'>') && flow == 0) {
            size_t e = i + 1;
            while (e < n && (s[e] == L'-' || s[e] == L'+' || isDigit(s[e]))) ++e;
            paint(cls, i, e, kTokenPunctuation);
            state = uint8_t((keyColumn < kMaxYamlBlockColumn ? keyColumn : kMaxYamlBlockColumn) + 1);
            i = e;
            continue;
        }
        size_t start = i, end;
        uint8_t kind;
        if (c == L'"' || c == L'\'') {
            if (c == L'"') {
                end = quotedEnd(s, n, i, true);
            } else {
                // A single quote is escaped by doubling it.
                end = i + 1;
                while (end < n && !(s[end] == L'\'' && !(end + 1 < n && s[end + 1] == L'\''))) end += s[end] == L'\'' ? 2 : 1;
                end = end < n ? end + 1 : n;
            }
            kind = kTokenString;
            i = end;
        } else {
            size_t e = i + 1;
            while (e < n) {
                wchar_t d = s[e];
                if (d == L':' && (e + 1 == n || isSpace(s[e + 1]) || (flow > 0 && isFlowIndicator(s[e + 1])))) break;
                if (d == L'#' && isSpace(s[e - 1])) break;
                if (flow > 0 && isFlowIndicator(d)) break;
                ++e;
            }
            i = e;
            end = e;
            while (end > start + 1 && isSpace(s[end - 1])) --end;
            scalar.assign(s + start, end - start);
            NodeKind k = classifyYamlScalar(scalar);
            kind = k == NodeKind::Number ? kTokenNumber
                   : (k == NodeKind::Bool || k == NodeKind::Null) ? kTokenConstant
                                                                   : kTokenString;
        }
        size_t after = end;
        while (after < n && (s[after] == L' ' || s[after] == L'\t')) ++after;
        if (after < n && s[after] == L':' && (after + 1 == n || isSpace(s[after + 1]) || flow > 0)) {
            kind = kTokenKey;
            keyColumn = start;
        }
        paint(cls, start, end, kind);
    }
}

// ---- TOML ----

namespace {

enum TomlState : uint8_t { kTomlNormal, kTomlBasicBlock, kTomlLiteralBlock };

constexpr size_t kMaxTomlBrackets = 20000;

// Past a multi-line string's closing triple quote found at or after p, and the extra quotes
// directly after it; 0 when the line does not close it.
size_t tripleQuoteEnd(const wchar_t* s, size_t n, size_t p, wchar_t quote) {
    const wchar_t* close = quote == L'"' ? L"\"\"\"" : L"'''";
    size_t e = findAfter(s, n, p, close);
    if (!e) return 0;
    while (e < n && s[e] == quote) ++e;
    return e;
}

bool isTomlWordChar(wchar_t c, bool allowDot) {
    return isAlpha(c) || isDigit(c) || c == L'_' || c == L'-' || c == L'+' || c == L':' || (allowDot && c == L'.');
}

}  // namespace

void tokenizeTomlLine(const wchar_t* s, size_t n, uint8_t& state, uint8_t* cls) {
    size_t i = 0;
    if (state > kTomlLiteralBlock) state = kTomlNormal;
    if (state != kTomlNormal) {
        size_t e = tripleQuoteEnd(s, n, 0, state == kTomlBasicBlock ? L'"' : L'\'');
        if (!e) {
            paint(cls, 0, n, kTokenString);
            return;
        }
        paint(cls, 0, e, kTokenString);
        state = kTomlNormal;
        i = e;
    } else {
        i = skipSpaces(s, n, 0);
        if (i < n && s[i] == L'[') {
            size_t hash = i;
            while (hash < n && s[hash] != L'#') ++hash;
            size_t close = hash;
            while (close > i && s[close - 1] != L']') --close;
            size_t e = close > i ? close : n;
            paint(cls, i, e, kTokenSection);
            i = e;
        }
    }
    bool keyExpected = true;
    // Open brackets, one bit each: set for "{".
    uint8_t braces[kMaxTomlBrackets / 8] = {};
    size_t depth = 0;
    auto innermostIsBrace = [&] {
        if (depth == 0) return false;
        size_t d = depth - 1;
        return d < kMaxTomlBrackets && (braces[d / 8] >> (d % 8) & 1) != 0;
    };
    while (i < n) {
        wchar_t c = s[i];
        if (c == L'#') {
            paint(cls, i, n, kTokenComment);
            return;
        }
        if (isSpace(c)) {
            ++i;
            continue;
        }
        if (c == L'=') {
            paint(cls, i, i + 1, kTokenPunctuation);
            keyExpected = false;
            ++i;
        } else if (c == L'[' || c == L'{') {
            paint(cls, i, i + 1, kTokenPunctuation);
            if (depth < kMaxTomlBrackets) {
                uint8_t bit = uint8_t(1u << (depth % 8));
                braces[depth / 8] = uint8_t(c == L'{' ? (braces[depth / 8] | bit) : (braces[depth / 8] & ~bit));
            }
            ++depth;
            keyExpected = c == L'{';
            ++i;
        } else if (c == L']' || c == L'}') {
            paint(cls, i, i + 1, kTokenPunctuation);
            if (depth > 0) --depth;
            ++i;
        } else if (c == L',') {
            paint(cls, i, i + 1, kTokenPunctuation);
            keyExpected = innermostIsBrace();
            ++i;
        } else if (c == L'.') {
            paint(cls, i, i + 1, kTokenPunctuation);
            ++i;
        } else if (c == L'"' || c == L'\'') {
            if (i + 2 < n && s[i + 1] == c && s[i + 2] == c) {
                size_t e = tripleQuoteEnd(s, n, i + 3, c);
                if (e) {
                    paint(cls, i, e, kTokenString);
                    i = e;
                } else {
                    paint(cls, i, n, kTokenString);
                    state = c == L'"' ? kTomlBasicBlock : kTomlLiteralBlock;
                    return;
                }
            } else {
                size_t e = quotedEnd(s, n, i, c == L'"');
                paint(cls, i, e, keyExpected ? kTokenKey : kTokenString);
                i = e;
            }
        } else {
            size_t e = i + 1;
            while (e < n && isTomlWordChar(s[e], !keyExpected)) ++e;
            size_t len = e - i;
            if (keyExpected)
                paint(cls, i, e, kTokenKey);
            else if (sameText(s, i, len, L"true") || sameText(s, i, len, L"false"))
                paint(cls, i, e, kTokenConstant);
            else if (isDigit(c) || c == L'+' || c == L'-' || sameText(s, i, len, L"inf") || sameText(s, i, len, L"nan"))
                paint(cls, i, e, kTokenNumber);
            i = e;
        }
    }
}

// ---- registry files ----

namespace {

// A line continues onto the next when, without trailing white space, it ends with a backslash.
bool registryLineContinues(const wchar_t* s, size_t n) {
    while (n > 0 && isSpace(s[n - 1])) --n;
    return n > 0 && s[n - 1] == L'\\';
}

// Hex data: digits are numbers, every other visible character punctuation.
void paintHexData(const wchar_t* s, size_t n, size_t from, uint8_t* cls) {
    for (size_t k = from; k < n; ++k) {
        if (isSpace(s[k])) continue;
        paint(cls, k, k + 1, isHexDigit(s[k]) ? kTokenNumber : kTokenPunctuation);
    }
}

}  // namespace

void tokenizeRegistryLine(const wchar_t* s, size_t n, uint8_t& state, uint8_t* cls) {
    if (state == 1) {
        paintHexData(s, n, skipSpaces(s, n, 0), cls);
        state = registryLineContinues(s, n) ? 1 : 0;
        return;
    }
    state = 0;
    size_t i = skipSpaces(s, n, 0);
    if (i == n) return;
    if (s[i] == L';') {
        paint(cls, i, n, kTokenComment);
        return;
    }
    if (startsWith(s, n, i, L"Windows Registry Editor") || startsWith(s, n, i, L"REGEDIT")) {
        paint(cls, i, n, kTokenDirective);
        return;
    }
    if (s[i] == L'[') {
        paint(cls, i, n, kTokenSection);
        return;
    }
    if (s[i] == L'"') {
        size_t e = quotedEnd(s, n, i, true);
        paint(cls, i, e, kTokenKey);
        i = e;
    } else if (s[i] == L'@') {
        paint(cls, i, i + 1, kTokenKey);
        ++i;
    }
    i = skipSpaces(s, n, i);
    if (i < n && s[i] == L'=') {
        paint(cls, i, i + 1, kTokenPunctuation);
        i = skipSpaces(s, n, i + 1);
    }
    if (i >= n) return;
    if (s[i] == L'"') {
        paint(cls, i, quotedEnd(s, n, i, true), kTokenString);
    } else if (s[i] == L'-') {
        paint(cls, i, i + 1, kTokenConstant);
    } else {
        size_t colon = i;
        while (colon < n && s[colon] != L':') ++colon;
        if (colon == n) return;
        paint(cls, i, colon + 1, kTokenConstant);
        paintHexData(s, n, colon + 1, cls);
        state = registryLineContinues(s, n) ? 1 : 0;
    }
}

const wchar_t* stateCharacters(DocumentFormat format) {
    switch (format) {
        case DocumentFormat::Json:
        case DocumentFormat::JsonLines: return L"*";
        case DocumentFormat::Toml: return L"\"'";
        case DocumentFormat::Xml: return L"<>\"'[]";
        case DocumentFormat::Yaml:
        case DocumentFormat::Registry: break;
    }
    return nullptr;
}

bool endsAlikeFromAnyState(DocumentFormat format, const wchar_t* line, size_t length) {
    switch (format) {
        case DocumentFormat::Yaml: return length > 0 && line[0] != L' ';
        case DocumentFormat::Registry: return !registryLineContinues(line, length);
        default: return false;
    }
}

bool isXmlTokenName(std::wstring_view name) {
    for (wchar_t c : name)
        if (!isXmlNameChar(c)) return false;
    return true;
}

Tokenizer tokenizerFor(DocumentFormat format) {
    switch (format) {
        case DocumentFormat::Xml: return tokenizeXmlLine;
        case DocumentFormat::Yaml: return tokenizeYamlLine;
        case DocumentFormat::Toml: return tokenizeTomlLine;
        case DocumentFormat::Registry: return tokenizeRegistryLine;
        case DocumentFormat::Json:
        case DocumentFormat::JsonLines: break;
    }
    return tokenizeJsonLine;
}

ColorSlot tokenColorSlot(uint8_t tokenClass) {
    switch (tokenClass) {
        case kTokenPunctuation: return ColorSlot::dimText;
        case kTokenTagName: return ColorSlot::tag;
        case kTokenAttributeName: return ColorSlot::attributeName;
        case kTokenString: return ColorSlot::string;
        case kTokenComment: return ColorSlot::comment;
        case kTokenDirective: return ColorSlot::directive;
        case kTokenCData: return ColorSlot::entityType;
        case kTokenNumber: return ColorSlot::number;
        case kTokenConstant: return ColorSlot::constant;
        case kTokenKey: return ColorSlot::attributeName;
        case kTokenSection: return ColorSlot::tag;
        default: return ColorSlot::text;
    }
}

}  // namespace qm
