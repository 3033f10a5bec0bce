// The TOML parser: tables, arrays of tables, dotted keys, inline tables, every string form,
// numbers and dates kept as written. One forward pass that stops at the first error and leaves
// the tree built so far; duplicate keys and redefined tables are accepted, not rejected.
#pragma once

#include <string>

#include "document/document.h"

namespace qm {

// Arrays and inline tables nested deeper than this stop the parse with "Nesting too deep".
constexpr int kMaxTomlDepth = 500;

// Fills the tree under doc.root from text[start..]; start is 1 after a leading U+FEFF, else 0.
// Spans, when doc.recordSpans is set, count from the start of `text`. `lookupWork`, when given,
// receives how many children were scanned and index look-ups made to find tables by name: it
// grows in step with the file, whatever its headers repeat.
void parseToml(Document& doc, const std::wstring& text, size_t start, size_t* lookupWork = nullptr);

}  // namespace qm
