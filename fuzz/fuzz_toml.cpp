// libFuzzer target: the TOML parser through the load driver, on bytes read as UTF-8, with spans
// recorded. Beyond crashes and sanitizer reports, a span outside the text is a failure.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "document/document.h"
#include "document/load.h"
#include "document/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = qm::utf8ToWide(reinterpret_cast<const char*>(data), size);
    qm::Document doc;
    doc.recordSpans = true;
    if (!qm::parseText(L"fuzz.toml", text, doc)) return 0;
    for (size_t i = 0; i < doc.nodes.size(); ++i) {
        uint32_t start, end;
        if (qm::nodeSpan(doc, &doc.nodes[i], start, end) && (start > end || end > text.size())) std::abort();
    }
    return 0;
}
