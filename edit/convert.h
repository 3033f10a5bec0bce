// "Copy as": a node with its whole subtree as XML, JSON or YAML text, by document family. Lines end
// with CR LF, indentation is two spaces per level, and the text never ends with a line break.
#pragma once

#include <string>

#include "document/document.h"

namespace qm {

// YAML documents as YAML; XML nodes (and an XML root) as XML markup; all other data as JSON.
std::wstring subtreeText(const Node* node, const Document& doc);

// "&", "<", ">" as entities; the double quote too when the text goes into an attribute value.
std::wstring xmlEscape(std::wstring_view text, bool inAttribute);
// True when a text written as a plain YAML scalar would not read back as the same string.
bool yamlNeedsQuotes(std::wstring_view text);
// A node on one line of YAML: "{}" / "[]" for empty containers, strings quoted when needed,
// every other scalar as written.
std::wstring yamlScalar(const Node* node);

}  // namespace qm
