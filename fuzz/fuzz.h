// What every fuzz target starts from: libFuzzer's entry point, the input read as text the way
// the product reads a file and parsed, the checks every parsed tree must pass, and the check
// that turns a broken rule into a crash that libFuzzer reports with its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "document/decode.h"
#include "document/document.h"
#include "document/load.h"
#include "document/utf8.h"
#include "shell/match.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace qmfuzz {

// A rule of the product that the input broke: names the check's place, then stops the run.
inline void check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    if (ok) return;
    std::fprintf(stderr, "broken rule at %s:%d\n", file, line);
    __builtin_trap();
}

// The bytes read as UTF-8.
inline std::wstring utf8Text(const uint8_t* data, size_t size) {
    return qm::utf8ToWide(reinterpret_cast<const char*>(data), size);
}

// A file name of each format the load driver reads (JSON Lines last); the targets that read any
// format let their first byte pick one.
inline const wchar_t* formatName(uint8_t pick, size_t formats = 6) {
    static const wchar_t* const kNames[] = {L"f.yaml", L"f.json", L"f.xml", L"f.toml", L"f.reg", L"f.jsonl"};
    return kNames[pick % formats];
}

// The input of the targets that search a file: the first byte picks the format and the search
// flags (match case, whole words, regular expression), the second the search text's length; the
// search text and then the file (UTF-8) follow. False when the input is too short or the file is
// declined.
// Smaller than a real search's budget, so that a costly expression stops instead of using up the
// fuzzer's time.
constexpr uint64_t kFuzzSearchUnits = 20000000;

struct SearchedFile {
    unsigned flags = 0;
    std::wstring term;
    qm::Document doc;

    bool read(const uint8_t* data, size_t size) {
        if (size < 2) return false;
        flags = (data[0] / 6) & (qm::kSearchMatchCase | qm::kSearchWholeWords | qm::kSearchRegex);
        const size_t termBytes = data[1] % 16 < size - 2 ? data[1] % 16 : size - 2;
        term = utf8Text(data + 2, termBytes);
        return qm::parseText(formatName(data[0]), utf8Text(data + 2 + termBytes, size - 2 - termBytes), doc);
    }
    // Starts the search for the text with its flags; false for an empty text or an invalid expression.
    bool beginSearch(qm::HighlightState& hs) const { return !term.empty() && qm::beginHighlight(hs, term, flags); }
};

// `text` as a file called `name` through the load driver into `doc`, with every span recorded.
inline bool parseWithSpans(const wchar_t* name, const std::wstring& text, qm::Document& doc) {
    doc.recordSpans = true;
    return qm::parseText(name, text, doc);
}

// What every parsed tree keeps: its links hold both ways (each node is its parent's child at its
// index), nodes were made in source-line order, and an error has a line exactly when it has a
// message.
inline void checkTree(const qm::Document& doc) {
    uint32_t lastLine = 1;
    for (size_t i = 1; i < doc.nodes.size(); ++i) {
        const qm::Node& n = doc.nodes[i];
        check(n.parent != nullptr && n.indexInParent < n.parent->children.size());
        check(n.parent->children[n.indexInParent] == &n);
        check(n.line >= lastLine);
        lastLine = n.line;
    }
    check(doc.errorMessage.empty() == (doc.errorLine == 0));
}

// The input decoded by the product's rules (byte order mark, UTF-16, UTF-8, code pages) and
// handed to one parser directly, with or without spans; the tree is checked by checkTree.
struct DirectParse {
    using Parser = void (*)(qm::Document& doc, const std::wstring& text, size_t start);

    std::wstring text;
    qm::Document doc;

    DirectParse(const uint8_t* data, size_t size, Parser parse, bool recordSpans) {
        const std::vector<uint8_t> bytes(data, data + size);
        qm::decodeTextWith(bytes, text, doc.encoding, qm::portableCodePageConverter);
        doc.recordSpans = recordSpans;
        doc.root = qm::createNode(doc, qm::NodeKind::Root, nullptr, 0);
        parse(doc, text, 0);
        checkTree(doc);
    }
};

}  // namespace qmfuzz
