// Fuzz target: any bytes, decoded as UTF-8, through the load driver as a .yaml file, with spans.
// Besides crashes and sanitizer reports it traps on a broken tree: a span outside the text, a
// child whose parent pointer is wrong, or more nodes than the alias-expansion limit allows.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/document.h"
#include "document/load.h"
#include "document/utf8.h"
#include "parsers/yaml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = qm::utf8ToWide(reinterpret_cast<const char*>(data), size);
    qm::Document doc;
    doc.recordSpans = true;
    if (!qm::parseText(L"f.yaml", text, doc)) return 0;
    for (size_t i = 0; i + 1 < doc.spans.size(); i += 2) {
        const uint32_t start = doc.spans[i], end = doc.spans[i + 1];
        if ((start == qm::kNoSpan) != (end == qm::kNoSpan)) __builtin_trap();
        if (start != qm::kNoSpan && (start > end || end > text.size())) __builtin_trap();
    }
    // Copies stop at the limit; every other node stands for some text of the file.
    if (qm::nodeCount(doc) > qm::kMaxYamlNodes + 1 + text.size()) __builtin_trap();
    std::vector<const qm::Node*> stack{doc.root};
    while (!stack.empty()) {
        const qm::Node* n = stack.back();
        stack.pop_back();
        for (const qm::Node* c : n->children) {
            if (c->parent != n) __builtin_trap();
            stack.push_back(c);
        }
    }
    return 0;
}
