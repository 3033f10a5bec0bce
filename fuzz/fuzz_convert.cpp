// Fuzz target for node texts and the "Copy as" writers: the first byte picks the format, the rest
// (UTF-8) is parsed; every node's label, preview, summary and path are built, the root is written,
// and YAML and JSON text written from a clean parse must read back to the same tree.
#include <cstdio>

#include "edit/convert.h"
#include "edit/nodetext.h"
#include "fuzz/fuzz.h"
#include "tests/edit/treecompare.h"

namespace {

void fail(const std::string& what, const std::wstring& written) {
    std::fprintf(stderr, "%s\n--- written:\n%s\n", what.c_str(), qm::wideToUtf8(written).c_str());
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const wchar_t* name = qmfuzz::formatName(data[0]);
    const std::wstring text = qmfuzz::utf8Text(data + 1, size - 1);
    qm::Document doc;
    if (!qm::parseText(name, text, doc)) return 0;
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        const qm::Node* n = &doc.nodes[i];
        qm::nodeLabel(n);
        qm::valuePreview(n);
        qm::nodeSummary(n);
        qm::nodePath(n, doc.format);
    }
    const std::wstring written = qm::subtreeText(doc.root, doc);
    if (!written.empty() && (written.back() == L'\n' || written.back() == L'\r')) fail("ends with a line break", written);
    if (!doc.errorMessage.empty()) return 0;
    const bool yaml = doc.isYaml;
    if (!yaml && doc.format != qm::DocumentFormat::Json) return 0;
    // The YAML reader turns the escapes of U+0000 into nothing, so no YAML text written by us
    // can carry that character.
    if (yaml)
        for (size_t i = 0; i < doc.nodes.size(); ++i)
            if (doc.nodes[i].name.find(L'\0') != std::wstring::npos ||
                doc.nodes[i].value.find(L'\0') != std::wstring::npos)
                return 0;
    qm::Document again;
    if (!qm::parseText(yaml ? L"f.yaml" : L"f.json", written, again)) {
        if (!doc.root->children.empty()) fail("written text declined", written);
        return 0;
    }
    // Block YAML spends two nesting units per level where flow YAML spends one: deep flow
    // collections can be too deep to read back in block form.
    if (again.errorMessage == L"Nesting too deep") return 0;
    if (!again.errorMessage.empty()) fail("read back with error " + qm::wideToUtf8(again.errorMessage), written);
    qmtest::CompareRules rules;
    rules.skipComments = true;
    rules.tagsMayChangeKind = yaml;
    rules.numbersByValue = true;  // numbers are written in the target's grammar ("+1" as 1)
    const std::string difference = qmtest::treeDifference(doc, doc.root, again.root, rules);
    if (!difference.empty()) fail(difference, written);
    return 0;
}
