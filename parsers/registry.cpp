// .reg files into the node tree: one pass over logical lines. Key paths of any length are looked
// up and created without recursion: the hashes of all prefixes come from one forward pass, the
// longest existing ancestor is found by walking back over the backslashes, and the missing keys
// are created forward from it.
#include "parsers/registry.h"

#include <cwchar>
#include <vector>

#include "document/chars.h"
#include "document/decode.h"
#include "document/language.h"
#include "parsers/linecounter.h"
#include "parsers/numbers.h"

namespace qm {

namespace {

AnsiDecoder ansiDecoder = nullptr;

constexpr std::wstring_view kRegedit4 = L"REGEDIT4";
constexpr uint32_t kTypeBinary = 3;
constexpr uint32_t kTypeString = 1;
constexpr uint32_t kTypeExpandString = 2;
constexpr uint32_t kTypeDword = 4;
constexpr uint32_t kTypeMultiString = 7;
constexpr uint32_t kTypeQword = 11;

// Files written by DOS-era tools end with Ctrl+Z (U+001A), the old end-of-file mark: a line of
// nothing else is not content.
bool isEndOfFileMark(std::wstring_view line) { return line.find_first_not_of(L'\x1A') == line.npos; }

std::wstring_view trimmed(std::wstring_view s) {
    size_t a = 0, b = s.size();
    while (a < b && isSpace(s[a])) ++a;
    while (b > a && isSpace(s[b - 1])) --b;
    return s.substr(a, b - a);
}

bool startsWithNoCase(std::wstring_view s, std::wstring_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (toLower(s[i]) != prefix[i]) return false;
    return true;
}

// Text after an opening quote up to the next unescaped quote (or the end); a backslash makes the
// next character literal. `after` receives the position after the closing quote.
std::wstring readQuoted(std::wstring_view s, size_t from, size_t& after) {
    std::wstring out;
    size_t i = from;
    while (i < s.size()) {
        const wchar_t c = s[i];
        if (c == L'"') {
            after = i + 1;
            return out;
        }
        if (c == L'\\' && i + 1 < s.size()) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    after = s.size();
    return out;
}

// The quote that ends a quoted text whose characters start at `from`, or npos; a backslash makes
// the next character literal. `dangling` is set when the text ends in a backslash that has
// nothing left to escape.
size_t closingQuote(std::wstring_view s, size_t from, bool* dangling = nullptr) {
    for (size_t i = from; i < s.size(); ++i) {
        if (s[i] == L'"') return i;
        if (s[i] == L'\\' && ++i == s.size() && dangling) *dangling = true;
    }
    return std::wstring_view::npos;
}

// Where the quoted data of a value line opens when the line does not close it: the position of the
// opening quote in the trimmed `line`, else npos. A line that ends in a backslash escaping nothing
// is a continued line, not an open string.
size_t openStringData(std::wstring_view line) {
    constexpr size_t npos = std::wstring_view::npos;
    size_t rest = 1;
    if (line[0] == L'"') {
        const size_t nameEnd = closingQuote(line, 1);
        if (nameEnd == npos) return npos;
        rest = nameEnd + 1;
    } else if (line[0] != L'@') {
        return npos;
    }
    while (rest < line.size() && (line[rest] == L' ' || line[rest] == L'\t')) ++rest;
    if (rest < line.size() && line[rest] == L'=') ++rest;
    while (rest < line.size() && isSpace(line[rest])) ++rest;
    if (rest >= line.size() || line[rest] != L'"') return npos;
    bool dangling = false;
    return closingQuote(line, rest + 1, &dangling) == npos && !dangling ? rest : npos;
}

// The bytes of a hex list: hex digits collect into a token, a comma turns it into one byte (its
// low 8 bits), everything else (spaces, leftovers of continued lines) is ignored.
std::vector<uint8_t> hexBytes(std::wstring_view list) {
    std::vector<uint8_t> bytes;
    bytes.reserve(list.size() / 3 + 1);
    uint64_t token = 0;
    bool pending = false;
    for (wchar_t c : list) {
        if (isHexDigit(c)) {
            // Past 32 bits the value saturates, as the C library's conversion does.
            if (token <= 0xFFFFFFFFu) token = token * 16 + unsigned(digitValue(c));
            pending = true;
        } else if (c == L',') {
            bytes.push_back(token > 0xFFFFFFFFu ? 0xFF : uint8_t(token));
            token = 0;
            pending = false;
        }
    }
    if (pending) bytes.push_back(token > 0xFFFFFFFFu ? 0xFF : uint8_t(token));
    return bytes;
}

std::wstring hexText(const std::vector<uint8_t>& bytes) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring out;
    out.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += L' ';
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

uint64_t littleEndian(const std::vector<uint8_t>& bytes, size_t count) {
    uint64_t v = 0;
    for (size_t i = count; i-- > 0;) v = v << 8 | bytes[i];
    return v;
}

}  // namespace

uint64_t fnv1a(std::wstring_view text) {
    uint64_t hash = kFnvOffsetBasis;
    for (wchar_t c : text) hash = fnv1aStep(hash, c);
    return hash;
}

void setRegistryAnsiDecoder(AnsiDecoder decoder) { ansiDecoder = decoder; }

void decodeAnsi(const uint8_t* data, size_t size, std::wstring& out) {
    if (ansiDecoder) return ansiDecoder(data, size, out);
    if (!portableCodePageConverter(kCodePage1252, false, data, size, out)) out.clear();
}

const wchar_t* RegistryParser::tag(const std::wstring& text) {
    auto it = tags.find(text);
    if (it == tags.end()) it = tags.emplace(text, internString(doc, text)).first;
    return it->second;
}

void RegistryParser::reportError(const wchar_t* message, uint32_t line) { setDocumentError(doc, message, line); }

Node* RegistryParser::getKey(std::wstring_view path, uint32_t line) {
    std::wstring lower(path);
    for (wchar_t& c : lower) c = toLower(c);
    // Hash of every prefix that ends before a backslash, and of the whole path.
    std::vector<size_t> cuts;
    std::vector<uint64_t> cutHashes;
    uint64_t hash = kFnvOffsetBasis;
    for (size_t i = 0; i < lower.size(); ++i) {
        if (lower[i] == L'\\') {
            cuts.push_back(i);
            cutHashes.push_back(hash);
        }
        hash = fnv1aStep(hash, lower[i]);
    }
    if (auto it = keys.find(RegistryPath{lower, hash}); it != keys.end()) return it->second;

    // The longest ancestor that exists already; the components after it are created.
    Node* parent = doc.root;
    size_t next = 0;  // index into cuts of the first component to create
    size_t componentStart = 0;
    for (size_t k = cuts.size(); k-- > 0;) {
        auto it = keys.find(RegistryPath{std::wstring_view(lower).substr(0, cuts[k]), cutHashes[k]});
        if (it != keys.end()) {
            parent = it->second;
            next = k + 1;
            componentStart = cuts[k] + 1;
            break;
        }
    }
    pathStore.push_back(std::move(lower));
    const std::wstring_view stored = pathStore.back();
    for (size_t j = next; j <= cuts.size(); ++j) {
        const size_t componentEnd = j < cuts.size() ? cuts[j] : path.size();
        Node* key = createNode(doc, NodeKind::Object, parent, line);
        key->name.set(doc, storeText(doc, path.substr(componentStart, componentEnd - componentStart)));
        key->keyed = true;
        key->registryKey = true;
        keys.emplace(RegistryPath{stored.substr(0, componentEnd), j < cuts.size() ? cutHashes[j] : hash}, key);
        parent = key;
        componentStart = componentEnd + 1;
    }
    return parent;
}

// Names and values are copied to the document: a logical line may join several lines of the text.
void RegistryParser::parseValue(Node* parent, NodeText name, std::wstring_view data, uint32_t line) {
    auto make = [&](NodeKind kind) {
        Node* node = createNode(doc, kind, parent, line);
        node->name.set(doc, name);
        node->keyed = true;
        return node;
    };
    if (!data.empty() && data[0] == L'"') {
        size_t after = 0;
        make(NodeKind::String)->value.set(doc, storeText(doc, readQuoted(data, 1, after)));
        return;
    }
    if (data == L"-") {
        setNodeTag(doc, make(NodeKind::Null), tag(tr(L"delete", L"löschen")));
        return;
    }
    if (startsWithNoCase(data, L"dword:")) {
        Node* node = make(NodeKind::Number);
        node->value.set(doc, storeText(doc, std::to_wstring(readUnsigned32(data.data() + 6, data.size() - 6, 16))));
        setNodeTag(doc, node, tag(L"dword"));
        return;
    }
    const size_t colon = data.find(L':');
    if (!startsWithNoCase(data, L"hex") || colon == data.npos) {
        make(NodeKind::String)->value.set(doc, storeText(doc, data));
        if (!startsWithNoCase(data, L"hex"))
            reportError(tr(L"Unknown value format", L"Unbekanntes Werteformat"), line);
        return;
    }

    const uint32_t type = data.size() > 3 && data[3] == L'(' ? readUnsigned32(data.data() + 4, data.size() - 4, 16)
                                                              : kTypeBinary;
    const std::vector<uint8_t> bytes = hexBytes(data.substr(colon + 1));
    auto bytesAsText = [&] {
        std::wstring text;
        if (unicodeHex) {
            text.reserve(bytes.size() / 2);
            for (size_t i = 0; i + 1 < bytes.size(); i += 2) text += wchar_t(bytes[i] | bytes[i + 1] << 8);
        } else {
            decodeAnsi(bytes.data(), bytes.size(), text);
        }
        return text;
    };
    if (type == kTypeString || type == kTypeExpandString) {
        std::wstring text = bytesAsText();
        while (!text.empty() && text.back() == 0) text.pop_back();
        Node* node = make(NodeKind::String);
        node->value.set(doc, storeText(doc, text));
        if (type == kTypeExpandString) setNodeTag(doc, node, tag(L"expand_sz"));
    } else if (type == kTypeMultiString) {
        const std::wstring text = bytesAsText();
        Node* array = make(NodeKind::Array);
        setNodeTag(doc, array, tag(L"multi_sz"));
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(L'\0', start);
            if (end == text.npos) end = text.size();
            if (end > start)
                createNode(doc, NodeKind::String, array, line)
                    ->value.set(doc, storeText(doc, std::wstring_view(text).substr(start, end - start)));
            start = end + 1;
        }
    } else if (type == kTypeDword && bytes.size() >= 4) {
        Node* node = make(NodeKind::Number);
        node->value.set(doc, storeText(doc, std::to_wstring(littleEndian(bytes, 4))));
        setNodeTag(doc, node, tag(L"dword"));
    } else if (type == kTypeQword && bytes.size() >= 8) {
        Node* node = make(NodeKind::Number);
        node->value.set(doc, storeText(doc, std::to_wstring(littleEndian(bytes, 8))));
        setNodeTag(doc, node, tag(L"qword"));
    } else {
        Node* node = make(NodeKind::String);
        node->value.set(doc, storeText(doc, hexText(bytes)));
        if (type == kTypeBinary) {
            setNodeTag(doc, node, tag(L"binary"));
        } else {
            wchar_t name[16];
            std::swprintf(name, 16, L"hex(%x)", unsigned(type));
            setNodeTag(doc, node, tag(name));
        }
    }
}

void RegistryParser::parseLine(const std::wstring& text, uint32_t line) {
    Node* parent = currentKey ? currentKey : doc.root;
    const std::wstring_view s = text;
    const wchar_t first = s[0];
    if (first == L';') {
        createNode(doc, NodeKind::Comment, parent, line)->value.set(doc, storeText(doc, trimmed(s.substr(1))));
        return;
    }
    if (first == L'[') {
        const bool deletion = s.size() > 1 && s[1] == L'-';
        const size_t from = deletion ? 2 : 1;
        size_t to = s.rfind(L']');
        if (to == s.npos || to < from) to = s.size();
        currentKey = getKey(s.substr(from, to - from), line);
        if (deletion) setNodeTag(doc, currentKey, tag(tr(L"delete", L"löschen")));
        return;
    }
    NodeText name;
    size_t rest = 1;
    if (first == L'@') {
        const wchar_t* defaultName = tr(L"(Default)", L"(Standard)");  // a literal: no copy needed
        name = NodeText(defaultName, std::wcslen(defaultName));
    } else if (first == L'"') {
        name = storeText(doc, readQuoted(s, 1, rest));
    } else {
        reportError(tr(L"Unknown line", L"Unbekannte Zeile"), line);
        return;
    }
    while (rest < s.size() && (s[rest] == L' ' || s[rest] == L'\t')) ++rest;
    if (rest < s.size() && s[rest] == L'=') ++rest;
    parseValue(parent, name, trimmed(s.substr(rest)), line);
}

void parseRegistry(Document& doc, const std::wstring& text, size_t start) {
    RegistryParser parser(doc);
    const wchar_t* chars = text.data();
    const size_t length = text.size();
    uint32_t physicalLine = 1;
    for (size_t i = 0; i < start && i < length; ++i)
        if (isLineEnd(chars, length, i)) ++physicalLine;

    // Takes the next physical line, trimmed, and moves past its line end: a line feed, or a
    // carriage return without one after it (files from classic Mac tools end their lines so).
    size_t pos = start;
    auto nextPhysical = [&]() {
        const size_t end = findLineEnd(chars, length, pos);
        std::wstring_view piece = trimmed(std::wstring_view(text).substr(pos, end - pos));
        pos = end < length ? end + 1 : length;
        ++physicalLine;
        return piece;
    };

    bool headerSeen = false;
    std::wstring logical;
    while (pos < length) {
        const uint32_t line = physicalLine;
        const std::wstring_view first = nextPhysical();
        // The registry editor writes a string value that holds line breaks as they are, inside
        // its quotes: the value line runs to the closing quote and keeps the breaks as written.
        // The closing quote is the first one no backslash escapes, and only white space may follow
        // it on its line. The value line after an unclosed string starts with a quote, so such a
        // string reads only to its own line end and never into the next value, and every part of
        // the text is searched at most once besides being parsed.
        const size_t quote = headerSeen && !first.empty() ? openStringData(first) : std::wstring_view::npos;
        if (quote != std::wstring_view::npos) {
            const size_t lineStart = size_t(first.data() - chars);
            const size_t close = closingQuote(text, lineStart + quote + 1);
            const size_t end = close == text.npos ? length : findLineEnd(chars, length, close + 1);
            if (close != text.npos && trimmed(std::wstring_view(text).substr(close + 1, end - close - 1)).empty()) {
                uint32_t breaks = 0;
                for (size_t i = lineStart; i < close; ++i)
                    if (isLineEnd(chars, length, i)) ++breaks;
                physicalLine = line + breaks + 1;  // the line after the one the string closes on
                pos = end < length ? end + 1 : length;
                parser.parseLine(std::wstring(chars + lineStart, close + 1 - lineStart), line);
                continue;
            }
        }
        logical.assign(first);
        while (!logical.empty() && logical.back() == L'\\') {
            logical.pop_back();
            if (pos >= length) break;
            logical.append(nextPhysical());
        }
        if (logical.empty() || isEndOfFileMark(logical)) continue;
        if (!headerSeen) {
            headerSeen = true;
            createNode(doc, NodeKind::Comment, doc.root, line)->value.set(doc, storeText(doc, logical));
            parser.unicodeHex = logical.compare(0, kRegedit4.size(), kRegedit4) != 0;
            continue;
        }
        parser.parseLine(logical, line);
    }
}

}  // namespace qm
