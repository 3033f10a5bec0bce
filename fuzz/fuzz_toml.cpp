// libFuzzer target: the TOML parser through the load driver, on bytes read as UTF-8, with spans
// recorded. Beyond crashes and sanitizer reports, a span outside the text is a failure.
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = qmfuzz::utf8Text(data, size);
    qm::Document doc;
    if (!qmfuzz::parseWithSpans(L"fuzz.toml", text, doc)) return 0;
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        uint32_t start, end;
        if (qm::nodeSpan(doc, &doc.nodes[i], start, end)) qmfuzz::check(start <= end && end <= text.size());
    }
    return 0;
}
