// The YAML parser: the practical subset of YAML that configuration files use, into the common
// node tree. Block and flow collections, every scalar style, comments, anchors and aliases
// (expanded into copies), merge keys, tags, directives and several documents in one stream.
// Stopping errors leave the tree built so far; unknown and recursive aliases are recorded and
// stand in as strings.
#pragma once

#include <string>
#include <string_view>

#include "document/document.h"

namespace qm {

// Block nodes nested deeper than this stop the parse with "Nesting too deep" (a value that starts
// on the line after its key counts twice).
constexpr int kMaxYamlBlockDepth = 500;
// Flow collections: the outermost has depth 0, each entry one more than its collection.
constexpr int kMaxYamlFlowDepth = 500;
// Alias and merge-key copies are refused once the document holds more nodes than this.
constexpr size_t kMaxYamlNodes = 4000000;

// Kind of a plain scalar's text: Null, Bool, Number or String (yes, no, dates stay strings).
NodeKind classifyYamlScalar(std::wstring_view text);

// Fills the tree under doc.root from text[start..]; start is 1 after a leading U+FEFF, else 0.
// Spans, when doc.recordSpans is set, count from the start of `text`.
void parseYaml(Document& doc, const std::wstring& text, size_t start);

}  // namespace qm
