// Fuzz target for paths: the first byte picks the format, the rest (UTF-8) is parsed; every node's
// path, as "Copy path" writes it, must lead back to a node with that path, and to the node itself
// unless an earlier node has the same path (a key that occurs twice in one object is reached at
// its first occurrence, and so are the nodes below it).
#include <unordered_map>
#include <unordered_set>

#include "edit/nodetext.h"
#include "edit/pathfind.h"
#include "fuzz/fuzz.h"

using qmfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const wchar_t* name = qmfuzz::formatName(data[0]);
    const std::wstring text = qmfuzz::utf8Text(data + 1, size - 1);
    qm::Document doc;
    if (!qm::parseText(name, text, doc)) return 0;
    // Nodes whose path leads to themselves; below a node that shares its path with an earlier one
    // the paths lead into that earlier node, so nothing is asked of them.
    std::unordered_map<std::wstring, const qm::Node*> first;
    std::unordered_set<const qm::Node*> exact{doc.root};
    for (size_t i = 1; i < doc.nodes.size(); ++i) {
        const qm::Node* n = &doc.nodes[i];
        if (!exact.count(n->parent)) continue;
        const std::wstring path = qm::nodePath(n, doc.format);
        const qm::Node* found = qm::findByPath(doc, path);
        check(found != nullptr);
        check(qm::nodePath(found, doc.format) == path);
        const qm::Node* earlier = first.emplace(path, n).first->second;
        check(found == earlier);
        if (found == n) exact.insert(n);
    }
    return 0;
}
