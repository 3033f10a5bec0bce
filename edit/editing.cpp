// Value editing, the portable part: the encoder that turns text back into the file's bytes, the
// per-format quoting of a typed value, and the edit operation with its checks (the file still
// holds what is shown, it can be written back byte for byte, the new text means what was typed).
#include "edit/editing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "document/chars.h"
#include "document/decode.h"
#include "document/embedded.h"
#include "document/language.h"
#include "document/load.h"
#include "document/utf8.h"
#include "edit/convert.h"
#include "edit/nodetext.h"
#include "parsers/yaml.h"

namespace qm {

static const wchar_t* messageRegistry() {
    return tr(L"Registry files cannot be edited.", L"Registrierungsdateien k\u00F6nnen nicht bearbeitet werden.");
}
static const wchar_t* messageErrors() {
    return tr(L"The file contains errors and cannot be edited.",
              L"Die Datei enth\u00E4lt Fehler und kann nicht bearbeitet werden.");
}
static const wchar_t* messageChanged() {
    return tr(L"The file has changed. Please reopen it.", L"Die Datei hat sich ge\u00E4ndert. Bitte neu \u00F6ffnen.");
}
static const wchar_t* messageNoSpan() {
    return tr(L"This value cannot be edited directly (e.g. alias or multi-line block).",
              L"Dieser Wert kann nicht direkt bearbeitet werden (z. B. Alias, mehrzeiliger Block).");
}
static const wchar_t* messageInvalid() {
    return tr(L"The value is not valid here. Put text in quotes.",
              L"Der Wert ist an dieser Stelle ung\u00FCltig. Text bitte in Anf\u00FChrungszeichen setzen.");
}
static const wchar_t* messageOutOfMemory() {
    return tr(L"There is not enough memory to edit this file.",
              L"F\u00FCr das Bearbeiten dieser Datei reicht der Speicher nicht.");
}
// Typed into a JSON or TOML number, boolean or null (or date-time): the literals that may replace it.
static const wchar_t* messageScalarOnly(DocumentFormat format) {
    if (format == DocumentFormat::Toml)
        return tr(L"Only a number, true, false or a date and time can be typed here.",
                  L"Hier l\u00E4sst sich nur eine Zahl, true, false oder ein Datum mit Uhrzeit eingeben.");
    return tr(L"Only a number, true, false or null can be typed here.",
              L"Hier l\u00E4sst sich nur eine Zahl, true, false oder null eingeben.");
}
const wchar_t* editMessageReadOnly() { return tr(L"The file is read-only.", L"Die Datei ist schreibgesch\u00FCtzt."); }
const wchar_t* editMessageNotSaved() {
    return tr(L"The file could not be saved.", L"Die Datei konnte nicht gespeichert werden.");
}
const wchar_t* editMessageCannotHold() {
    return tr(L"The text holds a character that this file cannot hold.",
              L"Der Text enth\u00E4lt ein Zeichen, das diese Datei nicht aufnehmen kann.");
}
const wchar_t* editMessageChangedOnDisk() {
    return tr(L"The file has been changed by another program. It was not overwritten; the edit is still pending.",
              L"Die Datei wurde von einem anderen Programm ge\u00E4ndert. Sie wurde nicht \u00FCberschrieben; die "
              L"\u00C4nderung ist noch nicht gespeichert.");
}
const wchar_t* editMessageEncoding() {
    return tr(L"The file's text encoding cannot be preserved.",
              L"Die Textkodierung der Datei l\u00E4sst sich nicht verlustfrei erhalten.");
}

// ---- characters ----

namespace {

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// A lone surrogate is no character: no encoding writes it so that it reads back.
bool hasLoneSurrogateIn(std::wstring_view text) {
    for (size_t i = 0; i < text.size();) {
        size_t units = 1;
        if (isSurrogate(codePointAt(text, i, units))) return true;
        i += units;
    }
    return false;
}

}  // namespace

// ---- encoding ----

bool encodeTextWith(std::wstring_view text, const std::wstring& encoding, std::vector<uint8_t>& bytes,
                    CodePageEncoder encoder) {
    bytes.clear();
    if (hasLoneSurrogateIn(text)) return false;
    const EncodingInfo info = encodingInfo(encoding);
    if (info.kind == EncodingInfo::Utf16LE || info.kind == EncodingInfo::Utf16BE) {
        bytes.resize(text.size() * 2);
        const bool little = info.kind == EncodingInfo::Utf16LE;
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned unit = static_cast<uint16_t>(text[i]);
            bytes[2 * i + (little ? 0 : 1)] = static_cast<uint8_t>(unit & 0xFF);
            bytes[2 * i + (little ? 1 : 0)] = static_cast<uint8_t>(unit >> 8);
        }
        return true;
    }
    if (text.empty()) return true;
    return encoder(info.codePage, text, bytes);
}

bool portableCodePageEncoder(unsigned codePage, std::wstring_view text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    if (codePage == kCodePageUtf8) {
        const std::string utf8 = wideToUtf8(text);
        bytes.assign(utf8.begin(), utf8.end());
        return !bytes.empty();
    }
    if (codePage != kCodePage1252) return false;
    // The 32 bytes from 0x80 whose characters are not their own code points.
    std::wstring high;
    uint8_t highBytes[32];
    for (unsigned b = 0; b < 32; ++b) highBytes[b] = static_cast<uint8_t>(0x80 + b);
    portableCodePageConverter(kCodePage1252, false, highBytes, 32, high);
    bytes.reserve(text.size());
    for (wchar_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            bytes.push_back(static_cast<uint8_t>(c));
            continue;
        }
        const size_t at = high.find(c);
        if (at == std::wstring::npos || high[at] == wchar_t(0x80 + at)) return false;
        bytes.push_back(static_cast<uint8_t>(0x80 + at));
    }
    return true;
}

// ---- quoting ----

namespace {

bool quotedBefore(std::wstring_view oldSource) {
    return !oldSource.empty() && (oldSource[0] == L'"' || oldSource[0] == L'\'');
}

bool isPlainString(const Document& document, const Node* node) {
    return node->kind == NodeKind::String && nodeTag(document, node) == nullptr;
}

std::wstring withoutCarriageReturnsBeforeLineFeeds(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) out += text[i];
    return out;
}

// The double-quoted strings of the data formats: JSON, YAML's double quotes, TOML's basic string.
enum class QuoteStyle { Json, YamlDouble, TomlBasic };

void appendHexEscape(std::wstring& out, const wchar_t* form, unsigned value) {
    wchar_t buf[16];
    std::swprintf(buf, 16, form, value);
    out += buf;
}

// "\uXXXX" in all three; above the BMP JSON writes the surrogate pair, YAML and TOML "\UXXXXXXXX".
void appendUnicodeEscape(std::wstring& out, char32_t c, QuoteStyle style) {
    if (c < 0x10000) return appendHexEscape(out, L"\\u%04x", unsigned(c));
    if (style != QuoteStyle::Json) return appendHexEscape(out, L"\\U%08x", unsigned(c));
    appendHexEscape(out, L"\\u%04x", unsigned(0xD800 + ((c - 0x10000) >> 10)));
    appendHexEscape(out, L"\\u%04x", unsigned(0xDC00 + ((c - 0x10000) & 0x3FF)));
}

// The value in double quotes with the style's escapes (the JSON and YAML quoting of the copy
// writers; TOML's basic string also escapes DEL), and an escape for every character the file's
// encoding cannot hold: inside double quotes any character may stand as its escape.
std::wstring doubleQuoted(std::wstring_view value, QuoteStyle style, const Encodable& encodable) {
    const std::wstring quoted = style == QuoteStyle::YamlDouble ? yamlQuote(value) : jsonQuote(value);
    std::wstring out;
    out.reserve(quoted.size());
    for (size_t i = 0; i < quoted.size();) {
        size_t units = 1;
        const char32_t c = codePointAt(quoted, i, units);
        const std::wstring_view piece = std::wstring_view(quoted).substr(i, units);
        i += units;
        if ((style == QuoteStyle::TomlBasic && c == 0x7F) || (c >= 0x80 && !encodable(piece)))
            appendUnicodeEscape(out, c, style);
        else
            out += piece;
    }
    return out;
}

// Element text or an attribute value between its `delimiter` quotes, with the entities and
// character references a reader needs to read it back: a reader turns CR LF into LF and, in an
// attribute, a raw line break or tab into a space. Empty with the refusal when XML 1.0 cannot
// hold a character at all (most C0 controls, U+FFFE, U+FFFF).
Replacement xmlReplacement(std::wstring_view typed, bool attribute, wchar_t delimiter, const Encodable& encodable) {
    const XmlPlace place = !attribute ? XmlPlace::Text : delimiter == L'\'' ? XmlPlace::SingleQuoted : XmlPlace::DoubleQuoted;
    std::wstring out;
    if (!appendXmlEscaped(out, withoutCarriageReturnsBeforeLineFeeds(typed), place, true, &encodable))
        return Replacement{{}, editMessageCannotHold()};
    return Replacement{{std::move(out)}, nullptr};
}

bool allEncodable(std::wstring_view text, const Encodable& encodable) {
    for (wchar_t c : text)
        if (unsigned(c) >= 0x80) return encodable(text);
    return true;
}

// Whether the value may stay a plain YAML scalar: a number, boolean or null typed into one keeps
// its kind; text must read back as the same string for YAML 1.2 and 1.1 readers alike (the copy
// writers' rule). "," and brackets end a plain scalar only inside a flow collection, which the
// edit finds out by reading the result.
bool yamlPlainCarries(const Document& document, const Node* node, std::wstring_view value, const Encodable& encodable) {
    if (!allEncodable(value, encodable)) return false;
    if (!isPlainString(document, node) && !value.empty() && classifyYamlScalar(value) != NodeKind::String) return true;
    return !yamlNeedsQuotes(value);
}

// A plain value written into an empty value's place ("k:", "- ", "{a: , b: 1}") is kept apart
// from the indicator before it and from a comment after it.
std::wstring yamlPlainAt(const ValueSpan& span, std::wstring_view value) {
    std::wstring out(value);
    if (span.start != span.end) return out;
    if (span.before() != L'\0' && !isSpace(span.before())) out.insert(out.begin(), L' ');
    if (span.after() != L'\0' && !isSpace(span.after()) && std::wstring_view(L",]}").find(span.after()) == std::wstring_view::npos)
        out += L' ';
    return out;
}

std::wstring yamlSingleQuoted(std::wstring_view value) {
    std::wstring out(1, L'\'');
    for (wchar_t c : value) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    out += L'\'';
    return out;
}

bool singleQuotesCarry(std::wstring_view value, const Encodable& encodable) {
    for (size_t i = 0; i < value.size();) {
        size_t units = 1;
        const char32_t c = codePointAt(value, i, units);
        i += units;
        if (c == L'\t' || (c < 0x10000 && yamlMustEscape(wchar_t(c), 0, 0))) return false;  // line breaks too
    }
    return allEncodable(value, encodable);
}

}  // namespace

Replacement sourceReplacement(const Document& document, const Node* node, const ValueSpan& span,
                              std::wstring_view newValue, const Encodable& encodable) {
    const std::wstring_view oldSource = span.source();
    const bool quoted = quotedBefore(oldSource);
    auto one = [](std::wstring text) { return Replacement{{std::move(text)}, nullptr}; };
    switch (document.format) {
        case DocumentFormat::Xml:
            return xmlReplacement(newValue, node->kind == NodeKind::Attribute, span.before(), encodable);
        case DocumentFormat::Json:
        case DocumentFormat::JsonLines:
            if (isPlainString(document, node) || quoted) return one(doubleQuoted(newValue, QuoteStyle::Json, encodable));
            return one(std::wstring(newValue));  // numbers, booleans, null: the user types the literal
        case DocumentFormat::Yaml: {
            const std::wstring quotedValue = doubleQuoted(newValue, QuoteStyle::YamlDouble, encodable);
            if (quoted && oldSource[0] == L'"') return one(quotedValue);
            if (quoted) return one(singleQuotesCarry(newValue, encodable) ? yamlSingleQuoted(newValue) : quotedValue);
            if (!yamlPlainCarries(document, node, newValue, encodable)) return one(quotedValue);
            Replacement r = one(yamlPlainAt(span, newValue));
            if (newValue.find_first_of(L",[]{}") != std::wstring_view::npos) r.candidates.push_back(quotedValue);
            return r;
        }
        case DocumentFormat::Toml:
            if (quoted && oldSource[0] == L'\'' && newValue.find_first_of(L"'\r\n\t\\") == std::wstring_view::npos &&
                std::none_of(newValue.begin(), newValue.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; }) &&
                allEncodable(newValue, encodable))
                return one(L'\'' + std::wstring(newValue) + L'\'');
            if (quoted || isPlainString(document, node)) return one(doubleQuoted(newValue, QuoteStyle::TomlBasic, encodable));
            return one(std::wstring(newValue));  // numbers, booleans and date-times as typed
        case DocumentFormat::Registry: break;
    }
    return one(std::wstring(newValue));
}

bool isEditableKind(NodeKind kind) {
    switch (kind) {
        case NodeKind::Attribute:
        case NodeKind::Text:
        case NodeKind::String:
        case NodeKind::Number:
        case NodeKind::Bool:
        case NodeKind::Null: return true;
        default: return false;
    }
}

// ---- the edit ----

static std::wstring_view trimmed(std::wstring_view text) {
    size_t from = 0, to = text.size();
    while (from < to && isSpace(text[from])) ++from;
    while (to > from && isSpace(text[to - 1])) --to;
    return text.substr(from, to - from);
}

static void showSourceOf(Document& document, const std::wstring& owner) {
    const size_t mark = !owner.empty() && owner[0] == 0xFEFF ? 1 : 0;
    document.sourceText = std::wstring_view(owner).substr(mark);
}

void markSaved(Document& document) {
    const bool showsEdited = !document.sourceText.empty() && !document.editedText.empty() &&
                             document.sourceText.data() >= document.editedText.data() &&
                             document.sourceText.data() <= document.editedText.data() + document.editedText.size();
    // The saved text is kept: the Source view shows it as written (parsedText still holds the
    // text as loaded).
    if (!document.editedText.empty()) document.editedSource = std::move(document.editedText);
    if (showsEdited) showSourceOf(document, document.editedSource);
    std::wstring().swap(document.editedText);
    document.modified = false;
}

namespace {

// What the shown document's node looks like in a fresh parse of the working text.
struct Reparse {
    size_t nodeCount = 0;
    bool clean = false;
    NodeKind kind = NodeKind::Root;
    bool tagged = false;
    std::wstring name, value;
    uint32_t start = kNoSpan, end = kNoSpan;
};

// What a clean parse holding `document`'s nodes reports of node k.
Reparse reportNode(const Document& document, size_t k) {
    Reparse r;
    r.clean = true;
    r.nodeCount = fileNodeCount(document);
    if (k < r.nodeCount) {
        const Node& node = document.nodes[k];
        r.kind = node.kind;
        r.tagged = nodeTag(document, &node) != nullptr;
        r.name = node.name.str();
        r.value = node.value.str();
        if (2 * k + 1 < document.spans.size()) {
            r.start = document.spans[2 * k];
            r.end = document.spans[2 * k + 1];
        }
    }
    return r;
}

// A parse of the working text, which it takes over; giveBack hands the text back (so a big
// file's text is never held twice) once nothing reads the parse's nodes any more.
class FreshParse {
public:
    FreshParse(const std::wstring& path, std::wstring& text, const std::wstring& encoding) : text_(text) {
        doc.recordSpans = true;
        doc.encoding = encoding;
        clean = parseText(path, std::move(text), doc) && doc.errorMessage.empty();
    }
    ~FreshParse() { giveBack(); }
    FreshParse(const FreshParse&) = delete;
    FreshParse& operator=(const FreshParse&) = delete;
    Reparse report(size_t k) const { return clean ? reportNode(doc, k) : Reparse{}; }
    // The nodes' names and values point into the text, and a short text lives inside the string
    // object itself, so moving it out before they are done with would leave them pointing at
    // what the move left behind.
    void giveBack() {
        if (!given_) text_ = std::move(doc.parsedText);
        given_ = true;
    }

    Document doc;
    bool clean = false;

private:
    std::wstring& text_;
    bool given_ = false;
};

// Whether `text` encodes to exactly `bytes`. In UTF-8, UTF-16 and the Windows single-byte code
// pages every character encodes on its own, so the text is encoded a slice at a time (never
// between the halves of a surrogate pair) and compared as it goes: checking a big file then needs
// no second copy of it. Other code pages, some of which carry a state from one character to the
// next, are encoded whole.
// Whether `text` is exactly the UTF-8 `bytes`. UTF-8 writes every character one way only, so
// each is encoded where it stands and compared, with no converted copy; a lone surrogate has
// no UTF-8 form.
// The characters from `i` on that are ASCII and equal the bytes from `done` on, four at a time
// where wchar_t is 16 bits (most of a big file is ASCII): how many.
size_t asciiRunOf(std::wstring_view text, size_t i, const uint8_t* bytes, size_t done, size_t size) {
    const size_t limit = std::min(text.size() - i, size - done);
    size_t n = 0;
    if constexpr (sizeof(wchar_t) == 2) {
        for (; n + 4 <= limit; n += 4) {
            uint64_t chars;
            uint32_t four;
            std::memcpy(&chars, text.data() + i + n, sizeof chars);
            std::memcpy(&four, bytes + done + n, sizeof four);
            if (chars & 0xFF80FF80FF80FF80ull) break;
            // The low bytes of the four characters side by side (x86 is little-endian).
            const uint64_t pairs = (chars | (chars >> 8)) & 0x0000FFFF0000FFFFull;
            if (uint32_t(pairs | (pairs >> 16)) != four) break;
        }
    }
    while (n < limit && unsigned(text[i + n]) < 0x80 && bytes[done + n] == text[i + n]) ++n;
    return n;
}

bool isUtf8Of(std::wstring_view text, const uint8_t* bytes, size_t size) {
    size_t done = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t run = asciiRunOf(text, i, bytes, done, size);
        i += run;
        done += run;
        if (i == text.size()) break;
        size_t units = 1;
        const char32_t c = codePointAt(text, i, units);
        i += units;
        if (c < 0x80) {
            if (done == size || bytes[done] != c) return false;
            ++done;
            continue;
        }
        if (isSurrogate(c)) return false;
        uint8_t encoded[4];
        size_t n;
        if (c < 0x800) {
            encoded[0] = static_cast<uint8_t>(0xC0 | (c >> 6));
            n = 2;
        } else if (c < 0x10000) {
            encoded[0] = static_cast<uint8_t>(0xE0 | (c >> 12));
            n = 3;
        } else {
            encoded[0] = static_cast<uint8_t>(0xF0 | (c >> 18));
            n = 4;
        }
        for (size_t k = 1; k < n; ++k) encoded[k] = static_cast<uint8_t>(0x80 | ((c >> (6 * (n - 1 - k))) & 0x3F));
        if (n > size - done || !std::equal(encoded, encoded + n, bytes + done)) return false;
        done += n;
    }
    return done == size;
}

bool encodesTo(std::wstring_view text, const std::wstring& encoding, const uint8_t* bytes, size_t size,
               CodePageEncoder encoder) {
    const EncodingInfo info = encodingInfo(encoding);
    if (info.kind == EncodingInfo::Utf8) return isUtf8Of(text, bytes, size);
    const bool characterwise = info.kind != EncodingInfo::CodePage || info.codePage == kCodePageUtf8 ||
                               (info.codePage >= 1250 && info.codePage <= 1258);
    const size_t slice = characterwise ? size_t(1) << 16 : text.size();
    std::vector<uint8_t> encoded;
    size_t at = 0, done = 0;
    do {
        size_t n = std::min(slice, text.size() - at);
        // A surrogate pair stays in one slice.
        if (at + n < text.size() && n > 0 && isHighSurrogate(text[at + n - 1]) && isLowSurrogate(text[at + n])) ++n;
        if (!encodeTextWith(text.substr(at, n), encoding, encoded, encoder)) return false;
        if (encoded.size() > size - done || !std::equal(encoded.begin(), encoded.end(), bytes + done)) return false;
        done += encoded.size();
        at += n;
    } while (at < text.size());
    return done == size;
}

// The length of the byte-order mark the decoder took off: only a complete mark is one (a UTF-8
// file may begin with U+FEE0, bytes EF BB A0; a Windows-1252 file with "\u00FF\u00FF").
size_t markLength(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return 3;
    if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return 2;
    return 0;
}

// A number in JSON's own grammar: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
bool isStrictJsonNumber(std::wstring_view s) {
    size_t i = 0;
    const auto digits = [&] {
        const size_t from = i;
        while (i < s.size() && isDigit(s[i])) ++i;
        return i > from;
    };
    if (i < s.size() && s[i] == L'-') ++i;
    if (i < s.size() && s[i] == L'0')
        ++i;
    else if (!digits())
        return false;
    if (i < s.size() && s[i] == L'.' && (++i, !digits())) return false;
    if (i < s.size() && (s[i] == L'e' || s[i] == L'E')) {
        ++i;
        if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) ++i;
        if (!digits()) return false;
    }
    return i == s.size();
}

bool holdsText(NodeKind kind) { return kind == NodeKind::String || kind == NodeKind::Attribute || kind == NodeKind::Text; }

// Whether the edited value reads back as what the user typed: the same text where the value is
// text, the kind the typed literal has where it is a number, boolean or null; always a value, never
// a container. Null when it does, else the message that says what may be typed.
// The refusal of a typed text that does not read back as typed: in JSON and TOML a number,
// boolean or null (or date-time) takes only another such literal, and the message says so.
const wchar_t* refusalFor(const Document& document, const Node* node, std::wstring_view oldSource) {
    const bool literal = !holdsText(node->kind) && !quotedBefore(oldSource) && document.format != DocumentFormat::Yaml &&
                         document.format != DocumentFormat::Xml;
    return literal ? messageScalarOnly(document.format) : messageInvalid();
}

const wchar_t* readsAsTyped(const Document& document, const Node* node, std::wstring_view oldSource,
                            const Reparse& after, std::wstring_view typed) {
    const wchar_t* refusal = refusalFor(document, node, oldSource);
    if (!isEditableKind(after.kind)) return refusal;
    bool wantText = holdsText(node->kind) || quotedBefore(oldSource);
    if (document.format == DocumentFormat::Yaml && !wantText) {
        // Typed into a number, boolean or null: the kind the text reads as, text included.
        const NodeKind kind = classifyYamlScalar(typed);
        if (kind != NodeKind::String && !typed.empty()) return after.kind == kind && after.value == typed ? nullptr : refusal;
        wantText = true;
    }
    if (!wantText) {
        if (after.kind == NodeKind::String && !after.tagged) return refusal;
        // A literal reads back as written: white space typed around it would be written into the
        // file and read as a value other than the one typed.
        if (after.value != typed) return refusal;
        // The lenient reader also takes words such as 1e5x or 0x1F as numbers; a typed number must
        // be one that every JSON reader takes.
        const bool json = document.format == DocumentFormat::Json || document.format == DocumentFormat::JsonLines;
        return json && after.kind == NodeKind::Number && !isStrictJsonNumber(after.value) ? refusal : nullptr;
    }
    if (!holdsText(after.kind)) return refusal;
    if (document.format == DocumentFormat::Xml) {
        const std::wstring_view parsed = after.kind == NodeKind::Text ? trimmed(after.value) : after.value;
        return parsed == withoutCarriageReturnsBeforeLineFeeds(typed) ? nullptr : refusal;
    }
    return after.value == typed ? nullptr : refusal;
}

// The shown document and a parse of the edited text have the same nodes in the same places:
// names, containers and children agree; scalar values and kinds may differ.
// The shown document's strings (and XML texts and attributes) may hold the nodes of their
// embedded JSON (document/embedded.h), which the file's text does not: only the file's own nodes
// and children are compared.
bool sameShape(const Document& shown, const Document& fresh) {
    const size_t count = fileNodeCount(shown);
    if (count != fresh.nodes.size()) return false;
    for (size_t i = 0; i < count; ++i) {
        const Node& a = shown.nodes[i];
        const Node& b = fresh.nodes[i];
        const bool string = canHoldEmbedded(a.kind);
        if ((string ? 0 : a.children.size()) != b.children.size() ||
            (string ? 0 : attributeCount(&a)) != attributeCount(&b) || a.keyed != b.keyed || a.name != b.name)
            return false;
        if ((a.kind != b.kind) && !(isEditableKind(a.kind) && isEditableKind(b.kind))) return false;
    }
    return true;
}

bool sameTag(const wchar_t* a, const wchar_t* b) {
    if (!a || !b) return a == b;
    return std::wstring_view(a) == std::wstring_view(b);
}

// Every node takes the kind, value and line the edited text gives it: the edited value, the
// copies of a YAML anchor's value, a value another program changed meanwhile, the lines of the
// nodes after a new line break. So every view shows what the file now says.
// A string whose text changes drops its embedded nodes; the next opening parses the new text.
void takeValuesOf(Document& shown, const Document& fresh) {
    for (size_t i = 0; i < fileNodeCount(shown); ++i) {
        Node& a = shown.nodes[i];
        const Node& b = fresh.nodes[i];
        if (canHoldEmbedded(a.kind) && (a.kind != b.kind || a.value != b.value)) dropEmbedded(&a);
        a.kind = b.kind;
        a.line = b.line;
        if (a.value != b.value) a.value.set(shown, storeText(shown, b.value));
        const wchar_t* tag = nodeTag(fresh, &b);
        if (!sameTag(nodeTag(shown, &a), tag)) setNodeTag(shown, &a, tag ? internString(shown, tag) : nullptr);
    }
}

EditOutcome refuse(const wchar_t* message) { return EditOutcome{message, false}; }

// What a JSON or JSON Lines text reads a new source as when it stands where a scalar stood,
// without parsing the whole text: the source alone is read in the same grammar (as the only item
// of an array) and must be one scalar that takes exactly its characters. The text around it is
// what parsed cleanly before, and the scalar ends where the old one ended, before a character
// that ends every scalar (white space, a comma, a closing bracket, a comment, the end of the
// text): so the whole edited text reads as before with only this node's kind and value new. No
// line break on either side keeps every later node on its line. False when in any doubt; then
// the whole edited text is parsed.
bool readScalarInPlace(const Document& document, const ValueSpan& span, const std::wstring& newSource, Reparse& report,
                       size_t& parsedCharacters) {
    if (document.format != DocumentFormat::Json && document.format != DocumentFormat::JsonLines) return false;
    if (newSource.empty()) return false;
    auto breaksLine = [](std::wstring_view piece) { return piece.find_first_of(L"\r\n") != std::wstring_view::npos; };
    if (breaksLine(newSource) || breaksLine(span.source())) return false;
    if (span.end < span.text.size() && std::wstring_view(L" \t\r\n,]}/").find(span.after()) == std::wstring_view::npos)
        return false;

    Document fragment;
    fragment.recordSpans = true;
    std::wstring text;
    text.reserve(newSource.size() + 2);
    text.append(1, L'[').append(newSource).append(1, L']');
    parsedCharacters += text.size();
    if (!parseText(L"value.json", std::move(text), fragment) || !fragment.errorMessage.empty()) return false;
    if (fragment.format != DocumentFormat::Json || !fragment.root || fragment.root->children.size() != 1) return false;
    const Node* array = fragment.root->children[0];
    if (array->kind != NodeKind::Array || array->children.size() != 1) return false;
    const Node* value = array->children[0];
    uint32_t start = 0, end = 0;
    if (!isEditableKind(value->kind) || !value->children.empty() || nodeTag(fragment, value) || !nodeSpan(fragment, value, start, end) ||
        start != 1 || end != 1 + newSource.size())
        return false;
    report = Reparse{};
    report.clean = true;
    report.nodeCount = fileNodeCount(document);
    report.kind = value->kind;
    report.value = value->value.str();
    return true;
}

EditOutcome editValueChecked(Document& document, const std::wstring& filePath, Node* node, const ValueEditor& editor,
                             EditFileAccess& files, size_t& parsed) {
    if (isEmbedded(node)) return refuse(editMessageEmbedded());
    if (document.format == DocumentFormat::Registry) return refuse(messageRegistry());
    if (!document.errorMessage.empty()) return refuse(messageErrors());
    if (!files.writable(filePath)) return refuse(editMessageReadOnly());
    const size_t k = nodeIndex(document, node);
    if (k == SIZE_MAX) return refuse(messageChanged());
    const std::wstring encoding = document.encoding;

    // The text the edit is made in: the file's decoded anew, or the document's own while the file
    // holds the very bytes it was loaded from (the same size and digest), which decode to it.
    std::wstring text;
    const std::wstring* working = &text;
    std::vector<uint8_t> prefix;
    uint64_t baseSize = document.baseSize, baseDigest = document.baseDigest;
    if (document.modified) {
        text = document.editedText;
    } else {
        std::vector<uint8_t> bytes;
        if (!files.read(filePath, bytes)) return refuse(messageChanged());
        const uint64_t digest = fileDigest(bytes.data(), bytes.size());
        if (document.baseIsParsedText && bytes.size() == document.baseSize && digest == document.baseDigest)
            working = &document.parsedText;
        else
            files.decode(bytes, text, document.encoding);
        const size_t mark = markLength(bytes);
        if (!encodesTo(*working, encoding, bytes.data() + mark, bytes.size() - mark, files.encoder()))
            return refuse(editMessageEncoding());
        prefix.assign(bytes.begin(), bytes.begin() + mark);
        baseSize = bytes.size();
        baseDigest = digest;
    }

    // The file still holds the very text the shown document was parsed from: parsing it again
    // would give the same tree, so the shown document and the spans it recorded at loading
    // answer (a big file's first edit then parses once, not twice). Once edited, the document
    // drops those spans.
    const bool unchanged = !document.modified && !document.spans.empty() &&
                           (working == &document.parsedText || text == document.parsedText);
    Reparse before;
    if (unchanged) {
        before = reportNode(document, k);
    } else {
        if (working != &text) {
            text = *working;
            working = &text;
        }
        parsed += text.size();
        FreshParse parse(filePath, text, encoding);
        before = parse.report(k);
    }
    if (!before.clean || before.nodeCount != fileNodeCount(document)) return refuse(messageChanged());
    if (before.kind != node->kind || before.name != node->name.view() || before.value != node->value.view())
        return refuse(messageChanged());
    if (before.start == kNoSpan || before.end == kNoSpan || before.start > before.end || before.end > working->size())
        return refuse(messageNoSpan());

    const std::wstring shown = node->kind == NodeKind::Text ? std::wstring(trimmed(before.value)) : before.value;
    std::wstring value = shown;
    if (!editor(value) || value == shown) return EditOutcome{};  // unchanged text changes nothing
    // A lone surrogate is no character, and no tree holds U+0000 (readers drop or refuse it).
    if (hasLoneSurrogateIn(value) || value.find(L'\0') != std::wstring::npos) return refuse(editMessageCannotHold());

    const Encodable encodable = [&](std::wstring_view piece) {
        std::vector<uint8_t> bytes;
        return encodeTextWith(piece, encoding, bytes, files.encoder());
    };
    const ValueSpan span{*working, before.start, before.end};
    const Replacement replacement = sourceReplacement(document, node, span, value, encodable);
    if (replacement.candidates.empty()) return refuse(replacement.refusal ? replacement.refusal : messageInvalid());

    // The first writing of the value that reads back as typed.
    const wchar_t* refusal = nullptr;
    for (const std::wstring& newSource : replacement.candidates) {
        // The working text is known to encode without loss (it was compared with the file's
        // bytes, or is the text of an earlier edit that passed this check), and code pages
        // convert character by character, so the new text encodes when the replacement does:
        // only it is converted, not the whole file again.
        if (!encodable(newSource)) {
            if (!refusal) refusal = editMessageEncoding();
            continue;
        }
        // While the text is the one the shown document was parsed from, a scalar that stays a
        // scalar in place is read alone, and the text is edited where it lies once that passes;
        // anything else parses a whole edited copy.
        Reparse inPlace;
        const bool alone = unchanged && readScalarInPlace(document, span, newSource, inPlace, parsed);
        std::wstring edited;
        std::optional<FreshParse> after;
        auto writeEdited = [&] {
            edited.reserve(working->size() - (before.end - before.start) + newSource.size());
            edited.append(*working, 0, before.start).append(newSource).append(*working, before.end, std::wstring::npos);
        };
        if (!alone) {
            writeEdited();
            parsed += edited.size();
            after.emplace(filePath, edited, encoding);
        }
        const Reparse report = alone ? inPlace : after->report(k);
        const wchar_t* failed = nullptr;
        if (!report.clean || report.nodeCount != fileNodeCount(document))
            failed = refusalFor(document, node, span.source());
        else
            failed = readsAsTyped(document, node, span.source(), report, value);
        if (!failed && !alone && !sameShape(document, after->doc)) failed = messageChanged();
        if (failed) {
            if (!refusal) refusal = failed;
            continue;
        }

        // Everything is checked: from here on the document changes.
        if (alone) {
            // A text of the edit's own is edited where it lies; the document's is copied.
            if (working == &text) {
                text.replace(before.start, before.end - before.start, newSource);
                edited = std::move(text);
            } else {
                writeEdited();
            }
            if (node->value != report.value) node->value.set(document, storeText(document, report.value));
            dropEmbedded(node);  // a string's JSON is parsed from its new text when next opened
            node->kind = report.kind;
        } else {
            takeValuesOf(document, after->doc);
            after->giveBack();
        }
        std::wstring().swap(text);
        std::vector<uint32_t>().swap(document.spans);  // they were the spans of the text as loaded
        if (!document.modified) document.prefixBytes = std::move(prefix);
        document.baseIsParsedText = false;
        document.baseSize = baseSize;
        document.baseDigest = baseDigest;
        const bool showsSource = !document.sourceText.empty();
        document.editedText = std::move(edited);
        document.modified = true;
        if (showsSource) {
            showSourceOf(document, document.editedText);
            std::wstring().swap(document.editedSource);
        }
        return EditOutcome{std::wstring(), true};
    }
    return refuse(refusal ? refusal : messageInvalid());
}

}  // namespace

EditOutcome editValueWith(Document& document, const std::wstring& filePath, Node* node, const ValueEditor& editor,
                          EditFileAccess& files) {
    size_t parsed = 0;
    EditOutcome outcome;
    try {
        outcome = editValueChecked(document, filePath, node, editor, files, parsed);
    } catch (const std::bad_alloc&) {
        outcome = refuse(messageOutOfMemory());
    } catch (const std::length_error&) {
        outcome = refuse(messageOutOfMemory());
    }
    outcome.parsedCharacters = parsed;
    return outcome;
}

}  // namespace qm
