// Format detection: a well-known file name (Pipfile, .clang-format) or the extension chooses YAML,
// TOML and .reg; everything else is classified by its first non-blank character ("<" XML, "[" or
// "{" JSON or JSON Lines).
#include "document/load.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "document/chars.h"
#include "document/language.h"
#include "document/wellknown.h"
#include "parsers/json.h"
#include "parsers/registry.h"
#include "parsers/toml.h"
#include "parsers/xml.h"
#include "parsers/yaml.h"

namespace qm {

std::wstring pathExtension(const std::wstring& path) {
    size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return std::wstring();
    std::wstring ext = path.substr(dot);
    if (ext.find(L'\\') != std::wstring::npos || ext.find(L'/') != std::wstring::npos) return std::wstring();
    for (wchar_t& c : ext) c = toLower(c);
    return ext;
}

static void createRoot(Document& doc) { doc.root = createNode(doc, NodeKind::Root, nullptr, 0); }

// Parses doc.parsedText; names and values point into it, so it is never changed afterwards.
static bool parseParsedText(const std::wstring& path, Document& doc) {
    const std::wstring& text = doc.parsedText;
    size_t start = 0;
    while (start < text.size() && (isSpace(text[start]) || text[start] == 0xFEFF)) ++start;
    if (start >= text.size()) return false;

    const std::wstring ext = pathExtension(path);
    const NamedFormat named = namedFormat(path);
    const size_t mark = (!text.empty() && text[0] == 0xFEFF) ? 1 : 0;
    auto keepSource = [&] { doc.sourceText = std::wstring_view(text).substr(mark); };
    // A tool that reads its settings as JSON or YAML: a text that opens an object or an array, or
    // a JSON comment, is read as JSON (the more lenient reader there), anything else as YAML.
    const bool namedYaml = named == NamedFormat::Yaml ||
                           (named == NamedFormat::JsonOrYaml && std::wstring_view(L"{[/").find(text[start]) ==
                                                                    std::wstring_view::npos);

    if (namedYaml || ext == L".yaml" || ext == L".yml") {
        doc.format = DocumentFormat::Yaml;
        doc.isDataFormat = true;
        doc.isYaml = true;
        createRoot(doc);
        parseYaml(doc, text, mark);
        keepSource();
        return true;
    }
    if (named == NamedFormat::Toml || ext == L".toml") {
        doc.format = DocumentFormat::Toml;
        doc.isDataFormat = true;
        createRoot(doc);
        parseToml(doc, text, mark);
        keepSource();
        return true;
    }
    if (ext == L".reg") {
        static const wchar_t kHeader5[] = L"Windows Registry Editor Version 5.00";
        static const wchar_t kHeader4[] = L"REGEDIT4";
        if (text.compare(start, 36, kHeader5) != 0 && text.compare(start, 8, kHeader4) != 0) return false;
        doc.format = DocumentFormat::Registry;
        doc.isDataFormat = true;
        createRoot(doc);
        parseRegistry(doc, text, start);
        keepSource();
        return true;
    }

    // A JSON file may begin with comments (.jsonc and .json5 files usually do); the parser skips
    // them, so classification looks past them too instead of declining the file.
    size_t significant = start;
    if (text[start] == L'/') {
        Document scratch;
        JsonParser probe(scratch, text, start);
        probe.skipSpaceAndComments();
        significant = probe.pos;
        if (significant >= text.size()) {
            // Only comments: a JSON file opens as a document with nothing in it, shown as read,
            // as a YAML or XML file of only comments does; any other file is not recognised.
            const bool lines = ext == L".jsonl" || ext == L".ndjson";
            if (probe.unclosedComment || (!lines && ext != L".json" && ext != L".jsonc" && ext != L".json5"))
                return false;
            doc.format = lines ? DocumentFormat::JsonLines : DocumentFormat::Json;
            doc.isDataFormat = true;
            createRoot(doc);
            keepSource();
            return true;
        }
    }
    const wchar_t first = text[significant];
    if (first == L'<' && significant == start) {
        doc.format = DocumentFormat::Xml;
        createRoot(doc);
        parseXml(doc, text, start);
    } else if (first == L'[' || first == L'{') {
        doc.isDataFormat = true;
        createRoot(doc);
        if (ext == L".jsonl" || ext == L".ndjson") {
            doc.format = DocumentFormat::JsonLines;
            parseJsonLines(doc, text, start);
        } else {
            doc.format = DocumentFormat::Json;
            parseJson(doc, text, start);
        }
    } else {
        return false;
    }
    if (!doc.errorMessage.empty()) keepSource();
    return true;
}

// A declined file leaves the document without its text.
static bool parseOwnedText(const std::wstring& path, Document& doc) {
    if (parseParsedText(path, doc)) return true;
    doc.sourceText = std::wstring_view();
    std::wstring().swap(doc.parsedText);
    return false;
}

uint64_t fileDigest(const uint8_t* data, size_t size) {
    constexpr uint64_t kPrime = 0x100000001B3ull;
    constexpr size_t kLanes = 4;
    uint64_t lane[kLanes] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull, 0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full};
    auto word = [data](size_t at) {
        uint64_t w;
        std::memcpy(&w, data + at, sizeof w);
        return w;
    };
    auto mix = [](uint64_t h, uint64_t w) {
        h = (h ^ w) * kPrime;
        return h ^ (h >> 29);
    };
    size_t i = 0;
    for (; i + 8 * kLanes <= size; i += 8 * kLanes)
        for (size_t k = 0; k < kLanes; ++k) lane[k] = mix(lane[k], word(i + 8 * k));
    for (; i + 8 <= size; i += 8) lane[0] = mix(lane[0], word(i));
    for (; i < size; ++i) lane[1] = mix(lane[1], data[i]);
    uint64_t h = uint64_t(size);
    for (const uint64_t l : lane) h = mix(h, l);
    return h;
}

void noteLoadedBytes(Document& doc, const uint8_t* data, size_t size) {
    if (!doc.recordSpans) return;
    doc.baseSize = size;
    doc.baseDigest = fileDigest(data, size);
    doc.baseIsParsedText = true;
}

bool parseText(const std::wstring& path, const std::wstring& text, Document& doc) {
    doc.parsedText = text;
    return parseOwnedText(path, doc);
}

bool parseText(const std::wstring& path, std::wstring&& text, Document& doc) {
    doc.parsedText = std::move(text);
    return parseOwnedText(path, doc);
}

}  // namespace qm
