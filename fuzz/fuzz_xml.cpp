// libFuzzer target of the XML reader: any bytes, decoded by the product's rules, must parse
// without a crash, and the tree must keep its invariants (links both ways, attributes first,
// lines in source order, spans inside the text).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "document/decode.h"
#include "document/document.h"
#include "parsers/xml.h"

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
    doc.recordSpans = true;
    doc.root = qm::createNode(doc, qm::NodeKind::Root, nullptr, 0);
    qm::parseXml(doc, text, 0);

    uint32_t lastLine = 1;
    for (size_t i = 1; i < doc.nodes.size(); ++i) {
        const qm::Node& n = doc.nodes[i];
        check(n.parent != nullptr && n.indexInParent < n.parent->children.size());
        check(n.parent->children[n.indexInParent] == &n);
        check(n.line >= lastLine);
        lastLine = n.line;
        check(n.attributeCount <= n.children.size());
        for (size_t a = 0; a < n.children.size(); ++a)
            check((a < n.attributeCount) == (n.children[a]->kind == qm::NodeKind::Attribute));
        uint32_t start = 0, end = 0;
        if (qm::nodeSpan(doc, &n, start, end)) check(start <= end && end <= text.size());
    }
    check(doc.errorMessage.empty() == (doc.errorLine == 0));
    return 0;
}
