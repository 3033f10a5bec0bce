// libFuzzer target of the .reg reader: any bytes, decoded by the product's rules, must parse
// without a crash, and the tree must keep its invariants (links both ways, lines in source
// order, keys flagged as registry keys, every key reachable again by its path).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "document/chars.h"
#include "document/decode.h"
#include "document/document.h"
#include "parsers/registry.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    std::wstring text;
    qm::Document doc;
    qm::decodeTextWith(bytes, text, doc.encoding, qm::portableCodePageConverter);
    doc.root = qm::createNode(doc, qm::NodeKind::Root, nullptr, 0);
    qm::parseRegistry(doc, text, 0);

    uint32_t lastLine = 1;
    for (size_t i = 1; i < doc.nodes.size(); ++i) {
        const qm::Node& n = doc.nodes[i];
        check(n.parent != nullptr && n.indexInParent < n.parent->children.size());
        check(n.parent->children[n.indexInParent] == &n);
        check(n.line >= lastLine);
        lastLine = n.line;
        check(n.registryKey == (n.kind == qm::NodeKind::Object));
        if (n.registryKey) check(n.parent->kind == qm::NodeKind::Root || n.parent->registryKey);
        // No two sibling keys may stand for the same key: names differ once lower-cased.
        if (n.registryKey) {
            for (const qm::Node* sibling : n.parent->children) {
                if (sibling == &n || !sibling->registryKey || sibling->name.size() != n.name.size()) continue;
                bool same = true;
                for (size_t k = 0; k < n.name.size() && same; ++k)
                    same = qm::toLower(sibling->name[k]) == qm::toLower(n.name[k]);
                check(!same);
            }
        }
    }
    check(doc.errorMessage.empty() == (doc.errorLine == 0));
    return 0;
}
