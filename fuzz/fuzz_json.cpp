// Fuzz target: any bytes, decoded as UTF-8, through the load driver as .json and as .jsonl.
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = qmfuzz::utf8Text(data, size);
    for (const wchar_t* name : {L"f.json", L"f.jsonl"}) {
        qm::Document doc;
        if (qmfuzz::parseWithSpans(name, text, doc)) {
            // Every recorded span lies inside the text.
            for (uint32_t v : doc.spans) qmfuzz::check(v == qm::kNoSpan || v <= text.size());
        }
    }
    return 0;
}
