// What the Source view's line table and formatter (views/source.cpp) and the colouring states of
// its lines (views/sourcestates.cpp) share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "views/source.h"

namespace qm {

// A line or column count as the view's 32-bit positions hold it, the largest where it does not fit.
inline int32_t toLine(uint64_t n) { return n > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(n); }

// Marks the start of a line written with a tab or a carriage return inside it, which the view
// changes; the other lines are shown straight from the document's text.
constexpr uint32_t kLineChanged = 0x80000000u;
// Where line `line` of a file shown as written starts in the document's text.
size_t writtenStart(const SourceText& source, size_t line);
// The line on which the last node starting at or before `line` starts, found as the formatter
// finds where to resume.
size_t nodeLineAtOrBefore(const SourceText& out, size_t line);
// Whether the XML tokenizer, from its first state, reads `node` of a file shown as written as the
// parser read it, leaving it in the first state where the parser's reading ended: true for every
// node but a markup declaration whose brackets it reads otherwise, and an attribute whose value
// holds a quotation mark and was not written between quotes (`written`: the text the nodes
// point into).
bool tokenizedAsParsed(const Node& node, std::wstring_view written);

}  // namespace qm
