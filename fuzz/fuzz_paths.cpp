// Fuzz target for paths: the first byte picks the format, the rest (UTF-8) is parsed; every node's
// path, as "Copy path" writes it, must lead back to a node with that path (about a thousand of them
// are resolved in a big file), and to the node itself unless an earlier node has the same path (a
// key that occurs twice in one object is reached at its first occurrence, and so are the nodes
// below it; the file's own node before one inside a string's JSON). Every string that holds JSON
// is opened as the walk meets it, so the paths into embedded JSON are asked too, strings inside
// strings included.
#include <algorithm>
#include <unordered_map>
#include <vector>

#include "document/embedded.h"
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
    // The tree in document order, from the root: nodes whose path leads to themselves go on to
    // their children; below a node that shares its path with an earlier one the paths lead into
    // that earlier node, so nothing is asked of them.
    std::unordered_map<std::wstring, const qm::Node*> first;
    qm::XPathPositions positions;
    // Resolving a path looks through the siblings on its way, so resolving every node of a wide
    // file would make this target quadratic: every node's path is written, about a thousand spread
    // over the walk are resolved. Below an unresolved node the walk goes on when no earlier node
    // has its path; a registry value's JSON is always resolved, since a value named like a path
    // into it ("p#$[0]" beside "p") takes that path from it.
    const size_t stride = std::max<size_t>(1, doc.nodes.size() / 1024);
    size_t walked = 0;
    std::vector<qm::Node*> stack(doc.root->children.rbegin(), doc.root->children.rend());
    while (!stack.empty()) {
        qm::Node* n = stack.back();
        stack.pop_back();
        if (qm::awaitsOpening(n)) qm::openEmbedded(doc, n);
        const std::wstring path = qm::nodePath(n, doc.format, &positions);
        const auto [entry, firstWithPath] = first.emplace(path, n);
        const qm::Node* earlier = entry->second;
        bool leadsToItself = firstWithPath;
        if (walked++ % stride == 0 || (doc.format == qm::DocumentFormat::Registry && qm::isEmbedded(n))) {
            const qm::Node* found = qm::findByPath(doc, path);
            check(found != nullptr);
            check(qm::nodePath(found, doc.format) == path);
            check(found == earlier || (qm::isEmbedded(earlier) && !qm::isEmbedded(found)));
            leadsToItself = found == n;
        }
        if (leadsToItself) stack.insert(stack.end(), n->children.rbegin(), n->children.rend());
    }
    return 0;
}
