// "Copy as": a node with its whole subtree as XML, JSON or YAML text, by document family. Lines end
// with CR LF, indentation is two spaces per level up to kMaxIndentLevel, and the text never ends
// with a line break.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "document/document.h"

namespace qm {

// Written text indents two spaces per level up to this depth; deeper lines keep this
// indentation. A tree nested a million deep then gives text that grows with its size, not with the
// square of its depth (uncapped, every line would carry up to two million spaces).
constexpr size_t kMaxIndentLevel = 64;
constexpr size_t kIndentWidth = 2;  // spaces per level

// The indentation level of a line written at `depth`: the depth, at most kMaxIndentLevel.
constexpr size_t indentLevel(size_t depth) { return depth < kMaxIndentLevel ? depth : kMaxIndentLevel; }
// Appends the indentation of a line at `depth`: kIndentWidth spaces per indentLevel(depth).
void appendIndent(std::wstring& out, size_t depth);

// YAML documents as YAML; XML nodes (and an XML root) as XML markup; all other data as JSON. In
// XML and JSON the indentation is only layout. YAML nests by indentation, so a container deeper
// than kMaxIndentLevel is written in flow style ("{a: 1, b: [x, y]}") on the line of its key or
// dash; comments inside it are dropped, as a one-line flow collection has no place for them.
std::wstring subtreeText(const Node* node, const Document& doc);

// "&", "<", ">" as entities; the double quote too when the text goes into an attribute value.
std::wstring xmlEscape(std::wstring_view text, bool inAttribute);
// A character XML 1.0 can hold (its Char production): tab, line feed, carriage return, and every
// code point from U+0020 but the surrogates and U+FFFE/U+FFFF. `c` is a whole code point.
bool isXmlChar(uint32_t c);
// True when a YAML 1.1 reader (PyYAML, many deployment tools) resolves the text written as a plain
// scalar to something other than a string: the booleans yes/no/on/off/y/n in their spellings,
// "~", numbers with underscores, leading zeros or sexagesimal parts ("1:20"), dates, the merge key
// "<<" and the value key "=". Errs on the side of yes: quoting a text that needed none changes
// nothing a reader sees.
bool yaml11ReadsAsNonString(std::wstring_view text);
// True when a text written as a plain YAML scalar would not read back as the same string.
bool yamlNeedsQuotes(std::wstring_view text);
// A node on one line of YAML: "{}" / "[]" for empty containers, strings quoted when needed,
// every other scalar as written.
std::wstring yamlScalar(const Node* node);

}  // namespace qm
