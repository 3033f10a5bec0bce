// Fuzz target: any bytes, decoded as UTF-8, through the load driver as a .yaml file, with spans.
// Besides crashes and sanitizer reports it traps on a broken tree: a span outside the text, a
// child whose parent pointer is wrong, or more nodes than the alias-expansion limit allows.
#include <vector>

#include "fuzz/fuzz.h"
#include "parsers/yaml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = qmfuzz::utf8Text(data, size);
    qm::Document doc;
    if (!qmfuzz::parseWithSpans(L"f.yaml", text, doc)) return 0;
    for (size_t i = 0; i + 1 < doc.spans.size(); i += 2) {
        const uint32_t start = doc.spans[i], end = doc.spans[i + 1];
        qmfuzz::check((start == qm::kNoSpan) == (end == qm::kNoSpan));
        qmfuzz::check(start == qm::kNoSpan || (start <= end && end <= text.size()));
    }
    // Copies stop at the limit; every other node stands for some text of the file.
    qmfuzz::check(qm::nodeCount(doc) <= qm::kMaxYamlNodes + 1 + text.size());
    std::vector<const qm::Node*> stack{doc.root};
    while (!stack.empty()) {
        const qm::Node* n = stack.back();
        stack.pop_back();
        for (const qm::Node* c : n->children) {
            qmfuzz::check(c->parent == n);
            stack.push_back(c);
        }
    }
    return 0;
}
