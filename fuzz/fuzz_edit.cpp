// Fuzz target for editing one value: the first byte picks the format, the second which editable
// value is edited, the third the length of the typed text; the typed text and then the file
// (UTF-8) follow. The edit runs against the file held in memory. It is either refused with one of
// editing's messages and the document untouched, or accepted, and then the edited text read
// again has no error, holds the typed value at the edited node's path, and is the same tree, node
// for node, as the document now shows; outside YAML (whose aliases repeat an anchor's value) every
// other node keeps its path, kind and value.
#include <set>

#include "edit/editing.h"
#include "edit/nodetext.h"
#include "edit/pathfind.h"
#include "fuzz/fuzz.h"
#include "tests/edit/treecompare.h"

namespace {

using qmfuzz::check;

class MemoryFile : public qm::EditFileAccess {
public:
    std::vector<uint8_t> bytes;
    bool writable(const std::wstring&) override { return true; }
    bool read(const std::wstring&, std::vector<uint8_t>& out) override {
        out = bytes;
        return true;
    }
    void decode(const std::vector<uint8_t>& in, std::wstring& text, std::wstring& encoding) override {
        qm::decodeTextWith(in, text, encoding, qm::portableCodePageConverter);
    }
    qm::CodePageEncoder encoder() override { return qm::portableCodePageEncoder; }
};

bool editable(const qm::Node& n) {
    switch (n.kind) {
        case qm::NodeKind::Attribute: case qm::NodeKind::Text: case qm::NodeKind::String:
        case qm::NodeKind::Number: case qm::NodeKind::Bool: case qm::NodeKind::Null: return true;
        default: return false;
    }
}

struct Entry {
    std::wstring path;
    qm::NodeKind kind;
    std::wstring value;
    bool operator==(const Entry& o) const { return path == o.path && kind == o.kind && value == o.value; }
};

std::vector<Entry> entries(const qm::Document& doc) {
    std::vector<Entry> out;
    for (size_t i = 1; i < doc.nodes.size(); ++i)
        out.push_back({qm::nodePath(&doc.nodes[i], doc.format), doc.nodes[i].kind, doc.nodes[i].value.str()});
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // Registry files cannot be edited: the five other formats.
    const std::wstring name = data[0] % 5 == 4 ? L"f.jsonl" : qmfuzz::formatName(data[0], 5);
    const size_t typedBytes = std::min<size_t>(data[2] % 32, size - 3);
    const std::wstring typed = qmfuzz::utf8Text(data + 3, typedBytes);
    MemoryFile file;
    file.bytes.assign(data + 3 + typedBytes, data + size);
    qm::Document doc;
    doc.recordSpans = data[1] & 1;  // as the plug-in's documents, or as a tool's
    std::wstring text;
    file.decode(file.bytes, text, doc.encoding);
    if (!qm::parseText(name, std::move(text), doc) || !doc.errorMessage.empty()) return 0;
    std::vector<qm::Node*> candidates;
    for (size_t i = 1; i < doc.nodes.size(); ++i)
        if (editable(doc.nodes[i])) candidates.push_back(&doc.nodes[i]);
    if (candidates.empty()) return 0;
    qm::Node* node = candidates[(data[1] >> 1) % candidates.size()];
    const std::wstring path = qm::nodePath(node, doc.format);
    if (qm::findByPath(doc, path) != node) return 0;  // a repeated key: another node has this path
    const std::vector<Entry> before = entries(doc);

    const qm::EditOutcome outcome = qm::editValueWith(doc, name, node, [&](std::wstring& value) {
        value = typed;
        return true;
    }, file);
    if (!outcome.changed) {
        static const std::set<std::wstring> kMessages = {
            L"", L"The file contains errors and cannot be edited.", L"The file has changed. Please reopen it.",
            L"This value cannot be edited directly (e.g. alias or multi-line block).",
            L"The value is not valid here. Put text in quotes.",
            L"Only a number, true, false or a date and time can be typed here.",
            L"Only a number, true, false or null can be typed here.",
            L"The text holds a character that this file cannot hold.", L"The file's text encoding cannot be preserved."};
        check(kMessages.count(outcome.message) == 1);
        check(doc.editedText.empty() && !doc.modified);
        check(entries(doc) == before);
        return 0;
    }
    check(outcome.message.empty() && doc.modified && !doc.editedText.empty());
    qm::Document again;
    check(qm::parseText(name, doc.editedText, again));
    check(again.errorMessage.empty());
    const qm::Node* edited = qm::findByPath(again, path);
    // A typed carriage return may be written as the line end the format reads back (CR LF typed
    // into a dialog is one line break). XML text is shown and edited without the white space
    // around it, which stays in the file.
    const auto shown = [](const qm::Node* n) {
        return n->kind == qm::NodeKind::Text ? qmtest::trimmed(n->value) : n->value.str();
    };
    check(edited && (shown(edited) == typed || typed.find(L'\r') != std::wstring::npos));
    qmtest::CompareRules rules;
    check(qmtest::treeDifference(doc, doc.root, again.root, rules).empty());
    if (doc.isYaml) return 0;
    const std::vector<Entry> after = entries(again);
    check(after.size() == before.size());
    for (size_t i = 0; i < after.size(); ++i)
        if (after[i].path != path) check(after[i] == before[i]);
    return 0;
}
