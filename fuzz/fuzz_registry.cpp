// libFuzzer target of the .reg reader: any bytes, decoded by the product's rules, must parse
// without a crash, and the tree must keep its invariants (links both ways, lines in source
// order, keys flagged as registry keys, every key reachable again by its path).
#include "document/chars.h"
#include "fuzz/fuzz.h"
#include "parsers/registry.h"

using qmfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const qmfuzz::DirectParse in(data, size, qm::parseRegistry, false);
    for (size_t i = 1; i < in.doc.nodes.size(); ++i) {
        const qm::Node& n = in.doc.nodes[i];
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
    return 0;
}
