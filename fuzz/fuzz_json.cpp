// Fuzz target: any bytes, decoded as UTF-8, through the load driver as .json and as .jsonl.
#include <cstddef>
#include <cstdint>

#include "document/document.h"
#include "document/load.h"
#include "document/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text = qm::utf8ToWide(reinterpret_cast<const char*>(data), size);
    for (const wchar_t* name : {L"f.json", L"f.jsonl"}) {
        qm::Document doc;
        doc.recordSpans = true;
        if (qm::parseText(name, text, doc)) {
            // Every recorded span lies inside the text.
            for (uint32_t v : doc.spans)
                if (v != qm::kNoSpan && v > text.size()) __builtin_trap();
        }
    }
    return 0;
}
