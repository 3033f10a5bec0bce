// libFuzzer target of the XML reader: any bytes, decoded by the product's rules, must parse
// without a crash, and the tree must keep its invariants (links both ways, attributes first,
// lines in source order, spans inside the text).
#include "fuzz/fuzz.h"
#include "parsers/xml.h"

using qmfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const qmfuzz::DirectParse in(data, size, qm::parseXml, true);
    const qm::Document& doc = in.doc;
    for (size_t i = 1; i < doc.nodes.size(); ++i) {
        const qm::Node& n = doc.nodes[i];
        const size_t attributes = qm::attributeCount(&n);
        check(attributes <= n.children.size());
        for (size_t a = 0; a < n.children.size(); ++a)
            check((a < attributes) == (n.children[a]->kind == qm::NodeKind::Attribute));
        uint32_t start = 0, end = 0;
        if (qm::nodeSpan(doc, &n, start, end)) check(start <= end && end <= in.text.size());
    }
    return 0;
}
