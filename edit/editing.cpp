// Value editing, the portable part: the encoder that turns text back into the file's bytes, the
// per-format quoting of a typed value, and the edit operation with its checks (the file still
// holds what is shown, it can be written back byte for byte, the new text means what was typed).
#include "edit/editing.h"

#include <algorithm>
#include <new>
#include <utility>

#include "document/chars.h"
#include "document/decode.h"
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
const wchar_t* editMessageReadOnly() { return tr(L"The file is read-only.", L"Die Datei ist schreibgesch\u00FCtzt."); }
const wchar_t* editMessageNotSaved() {
    return tr(L"The file could not be saved.", L"Die Datei konnte nicht gespeichert werden.");
}
const wchar_t* editMessageEncoding() {
    return tr(L"The file's text encoding cannot be preserved.",
              L"Die Textkodierung der Datei l\u00E4sst sich nicht verlustfrei erhalten.");
}

// ---- encoding ----

bool encodeTextWith(std::wstring_view text, const std::wstring& encoding, std::vector<uint8_t>& bytes,
                    CodePageEncoder encoder) {
    bytes.clear();
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

static bool quotedBefore(std::wstring_view oldSource) {
    return !oldSource.empty() && (oldSource[0] == L'"' || oldSource[0] == L'\'');
}

static bool isPlainString(const Node* node) { return node->kind == NodeKind::String && node->tag == nullptr; }

static std::wstring withoutCarriageReturnsBeforeLineFeeds(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) out += text[i];
    return out;
}

// Whether a YAML plain scalar could not hold the text as the same string.
static bool yamlNeedsQuotes(const Node* node, std::wstring_view value) {
    if (value.empty()) return true;
    if (value.find_first_of(L"\r\n\t,[]{}") != std::wstring_view::npos) return true;
    if (isSpace(value.front()) || isSpace(value.back())) return true;
    if (value.back() == L':' || value.find(L": ") != std::wstring_view::npos) return true;
    if (value.find(L" #") != std::wstring_view::npos) return true;
    if (std::wstring_view(L"-?:,[]{}#&*!|>'%@`\"").find(value.front()) != std::wstring_view::npos) return true;
    return node->kind == NodeKind::String && classifyYamlScalar(value) != NodeKind::String;
}

static std::wstring yamlSingleQuoted(std::wstring_view value) {
    std::wstring out(1, L'\'');
    for (wchar_t c : value) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    out += L'\'';
    return out;
}

std::wstring sourceReplacement(const Document& document, const Node* node, std::wstring_view oldSource,
                               std::wstring_view newValue) {
    const bool quoted = quotedBefore(oldSource);
    switch (document.format) {
        case DocumentFormat::Xml: {
            const bool attribute = node->kind == NodeKind::Attribute;
            std::wstring escaped = xmlEscape(withoutCarriageReturnsBeforeLineFeeds(newValue), attribute);
            if (!attribute) return escaped;
            std::wstring out;
            out.reserve(escaped.size());
            for (wchar_t c : escaped) {
                if (c == L'\n') out += L"&#10;";
                else if (c == L'\t') out += L"&#9;";
                else out += c;
            }
            return out;
        }
        case DocumentFormat::Json:
        case DocumentFormat::JsonLines:
            return isPlainString(node) || quoted ? jsonQuote(newValue) : std::wstring(newValue);
        case DocumentFormat::Yaml:
            if (quoted && oldSource[0] == L'"') return jsonQuote(newValue);
            if (quoted) {
                if (newValue.find_first_of(L"\r\n\t") != std::wstring_view::npos) return jsonQuote(newValue);
                return yamlSingleQuoted(newValue);
            }
            return yamlNeedsQuotes(node, newValue) ? jsonQuote(newValue) : std::wstring(newValue);
        case DocumentFormat::Toml:
            if (quoted) {
                if (oldSource[0] == L'\'' && newValue.find_first_of(L"'\r\n\t\\") == std::wstring_view::npos)
                    return L'\'' + std::wstring(newValue) + L'\'';
                return jsonQuote(newValue);
            }
            return isPlainString(node) ? jsonQuote(newValue) : std::wstring(newValue);
        case DocumentFormat::Registry: break;
    }
    return std::wstring(newValue);
}

// ---- the edit ----

static std::wstring_view trimmed(std::wstring_view text) {
    size_t from = 0, to = text.size();
    while (from < to && isSpace(text[from])) ++from;
    while (to > from && isSpace(text[to - 1])) --to;
    return text.substr(from, to - from);
}

static size_t countLineFeeds(std::wstring_view text) { return size_t(std::count(text.begin(), text.end(), L'\n')); }

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
    std::wstring name, value;
    uint32_t start = kNoSpan, end = kNoSpan;
};

// What a clean parse holding `document`'s nodes reports of node k.
Reparse reportNode(const Document& document, size_t k) {
    Reparse r;
    r.clean = true;
    r.nodeCount = document.nodes.size();
    if (k < document.nodes.size()) {
        const Node& node = document.nodes[k];
        r.kind = node.kind;
        r.name = node.name.str();
        r.value = node.value.str();
        if (2 * k + 1 < document.spans.size()) {
            r.start = document.spans[2 * k];
            r.end = document.spans[2 * k + 1];
        }
    }
    return r;
}

// Parses `text` (taken over and handed back, so a big file's text is never held twice) and
// reports node k of the result.
Reparse reparse(const std::wstring& path, std::wstring& text, const std::wstring& encoding, size_t k) {
    Reparse r;
    Document fresh;
    fresh.recordSpans = true;
    fresh.encoding = encoding;
    const bool accepted = parseText(path, std::move(text), fresh);
    if (accepted && fresh.errorMessage.empty()) r = reportNode(fresh, k);
    // The text goes back to the caller only now: the nodes' names and values point into it, and a
    // short text lives inside the string object itself, so moving it out first would leave them
    // pointing at what the move left behind.
    text = std::move(fresh.parsedText);
    return r;
}

// Whether `text` encodes to exactly `bytes`. In UTF-8, UTF-16 and the Windows single-byte code
// pages every character encodes on its own, so the text is encoded a slice at a time (never
// between the halves of a surrogate pair) and compared as it goes: checking a big file then needs
// no second copy of it. Other code pages, some of which carry a state from one character to the
// next, are encoded whole.
bool encodesTo(std::wstring_view text, const std::wstring& encoding, const uint8_t* bytes, size_t size,
               CodePageEncoder encoder) {
    const EncodingInfo info = encodingInfo(encoding);
    const bool characterwise = info.kind != EncodingInfo::CodePage || info.codePage == kCodePageUtf8 ||
                               (info.codePage >= 1250 && info.codePage <= 1258);
    const size_t slice = characterwise ? size_t(1) << 16 : text.size();
    std::vector<uint8_t> encoded;
    size_t at = 0, done = 0;
    do {
        size_t n = std::min(slice, text.size() - at);
        // A surrogate pair stays in one slice.
        if (at + n < text.size() && n > 0 && (unsigned(text[at + n - 1]) & 0xFC00) == 0xD800 &&
            (unsigned(text[at + n]) & 0xFC00) == 0xDC00)
            ++n;
        if (!encodeTextWith(text.substr(at, n), encoding, encoded, encoder)) return false;
        if (encoded.size() > size - done || !std::equal(encoded.begin(), encoded.end(), bytes + done)) return false;
        done += encoded.size();
        at += n;
    } while (at < text.size());
    return done == size;
}

EditOutcome refuse(const wchar_t* message) { return EditOutcome{message, false}; }

EditOutcome editValueChecked(Document& document, const std::wstring& filePath, Node* node, const ValueEditor& editor,
                             EditFileAccess& files) {
    if (document.format == DocumentFormat::Registry) return refuse(messageRegistry());
    if (!document.errorMessage.empty()) return refuse(messageErrors());
    if (!files.writable(filePath)) return refuse(editMessageReadOnly());
    const size_t k = nodeIndex(document, node);
    if (k == SIZE_MAX) return refuse(messageChanged());
    const std::wstring encoding = document.encoding;

    std::wstring text;
    std::vector<uint8_t> prefix;
    if (document.modified) {
        text = document.editedText;
    } else {
        std::vector<uint8_t> bytes;
        if (!files.read(filePath, bytes)) return refuse(messageChanged());
        files.decode(bytes, text, document.encoding);
        size_t mark = 0;
        if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB) mark = 3;
        else if (bytes.size() >= 2 && (bytes[0] == 0xFF || bytes[0] == 0xFE) && (bytes[1] == 0xFE || bytes[1] == 0xFF))
            mark = 2;
        if (!encodesTo(text, encoding, bytes.data() + mark, bytes.size() - mark, files.encoder()))
            return refuse(editMessageEncoding());
        prefix.assign(bytes.begin(), bytes.begin() + mark);
    }

    // The file still holds the very text the shown document was parsed from: parsing it again
    // would give the same tree, so the shown document and the spans it recorded at loading
    // answer (a big file's first edit then parses once, not twice). Once edited, the document
    // drops those spans.
    const bool unchanged = !document.modified && !document.spans.empty() && text == document.parsedText;
    const Reparse before = unchanged ? reportNode(document, k) : reparse(filePath, text, encoding, k);
    if (!before.clean || before.nodeCount != document.nodes.size()) return refuse(messageChanged());
    if (before.kind != node->kind || before.name != node->name.view() || before.value != node->value.view())
        return refuse(messageChanged());
    if (before.start == kNoSpan || before.end == kNoSpan || before.start > before.end || before.end > text.size())
        return refuse(messageNoSpan());

    std::wstring value = node->kind == NodeKind::Text ? std::wstring(trimmed(before.value)) : before.value;
    if (!editor(value)) return EditOutcome{};

    const std::wstring_view oldSource = std::wstring_view(text).substr(before.start, before.end - before.start);
    const std::wstring newSource = sourceReplacement(document, node, oldSource, value);
    const long long delta = static_cast<long long>(countLineFeeds(newSource)) - static_cast<long long>(countLineFeeds(oldSource));
    std::wstring edited;
    edited.reserve(text.size() - oldSource.size() + newSource.size());
    edited.append(text, 0, before.start).append(newSource).append(text, before.end, std::wstring::npos);
    std::wstring().swap(text);

    const Reparse after = reparse(filePath, edited, encoding, k);
    if (!after.clean || after.nodeCount != document.nodes.size()) return refuse(messageInvalid());
    if (after.kind == NodeKind::String || after.kind == NodeKind::Attribute || after.kind == NodeKind::Text) {
        const std::wstring_view parsed = after.kind == NodeKind::Text ? trimmed(after.value) : after.value;
        if (parsed != withoutCarriageReturnsBeforeLineFeeds(value)) return refuse(messageInvalid());
    }
    // The working text is known to encode without loss (it was compared with the file's bytes,
    // or is the text of an earlier edit that passed this check), and code pages convert character
    // by character, so the new text encodes when the replacement does: only it is converted,
    // not the whole file again.
    std::vector<uint8_t> probe;
    if (!encodeTextWith(newSource, encoding, probe, files.encoder())) return refuse(editMessageEncoding());

    // Everything is checked: from here on the document changes.
    const NodeText newValue = storeText(document, after.value);
    if (delta != 0) {
        const uint32_t editedLine = node->line;
        for (size_t i = 0; i < document.nodes.size(); ++i) {
            Node& other = document.nodes[i];
            if (other.line > editedLine) other.line = static_cast<uint32_t>(static_cast<long long>(other.line) + delta);
        }
    }
    node->kind = after.kind;
    node->value = newValue;
    std::vector<uint32_t>().swap(document.spans);  // they were the spans of the text as loaded
    if (!document.modified) document.prefixBytes = std::move(prefix);
    const bool showsSource = !document.sourceText.empty();
    document.editedText = std::move(edited);
    document.modified = true;
    if (showsSource) {
        showSourceOf(document, document.editedText);
        std::wstring().swap(document.editedSource);
    }
    return EditOutcome{std::wstring(), true};
}

}  // namespace

EditOutcome editValueWith(Document& document, const std::wstring& filePath, Node* node, const ValueEditor& editor,
                          EditFileAccess& files) {
    try {
        return editValueChecked(document, filePath, node, editor, files);
    } catch (const std::bad_alloc&) {
        return refuse(messageOutOfMemory());
    } catch (const std::length_error&) {
        return refuse(messageOutOfMemory());
    }
}

}  // namespace qm
