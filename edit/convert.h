// "Copy as": a node with its whole subtree as XML, JSON or YAML text, by document family. Lines end
// with CR LF, indentation is two spaces per level up to kMaxIndentLevel, and the text never ends
// with a line break.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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

// ---- Quoting rules: what a text needs so that the format's usual readers read it back as the
// same text. The copy writers and editing both follow them. ----

// A character XML 1.0 can hold (its Char production): tab, line feed, carriage return, and every
// code point from U+0020 but the surrogates and U+FFFE/U+FFFF. `c` is a whole code point.
bool isXmlChar(uint32_t c);

// Where escaped XML goes: element text, or an attribute value between double or single quotes.
enum class XmlPlace { Text, DoubleQuoted, SingleQuoted };
// The entity or character reference that `c` needs in that place to be read back as itself, or
// null when it stands as it is: "&", "<", ">" as entities everywhere, the delimiting quote as
// "&quot;" or "&apos;". A reader turns a raw carriage return into a line feed, and in an attribute
// value a raw line feed, tab or carriage return into a space, so these are references: "&#13;"
// everywhere, "&#10;" and "&#9;" in attribute values. Says nothing of the characters XML 1.0
// cannot hold (isXmlChar).
const wchar_t* xmlReference(char32_t c, XmlPlace place);
// Whether a UTF-16 code unit needs more than itself in that place: a reference, or a look at the
// unit after it (a surrogate); a text without one is written as it is.
bool xmlNeedsEscape(wchar_t c, XmlPlace place);
// Appends `text` escaped for `place` (xmlReference). A character XML 1.0 cannot hold (a control
// character, a lone surrogate, U+FFFE, U+FFFF) ends the writing with false when `refuseUnheld`,
// and is otherwise written as a hexadecimal reference such as "&#x1;", which keeps it visible and
// which XML 1.1 readers accept (XML 1.0 readers refuse it, as any text holding it). A character
// from U+0080 that `encodable` (when given) says the file's encoding cannot hold is a hexadecimal
// reference too.
bool appendXmlEscaped(std::wstring& out, std::wstring_view text, XmlPlace place, bool refuseUnheld,
                      const std::function<bool(std::wstring_view)>* encodable = nullptr);
// The copy writers' escaping: appendXmlEscaped of element text or a double-quoted attribute value,
// characters XML 1.0 cannot hold written as references.
std::wstring xmlEscape(std::wstring_view text, bool inAttribute);

// A UTF-16 code unit a YAML text cannot carry raw on a line: a YAML reader refuses C0 controls
// (but tab and the line breaks), DEL, C1 controls, U+FFFE/U+FFFF and lone surrogates, reads line
// feed, carriage return, NEL (U+0085) and the line and paragraph separators (U+2028, U+2029) as line
// breaks, and takes a byte order mark (U+FEFF) for the start of a stream. Such a character is written as an escape
// inside double quotes. `next` and `previous` decide whether a surrogate is one of a pair
// (0 when there is none).
bool yamlMustEscape(wchar_t c, wchar_t previous, wchar_t next);
// True when a YAML 1.1 reader (PyYAML, many deployment tools) resolves the text written as a plain
// scalar to something other than a string: the booleans yes/no/on/off/y/n in their three spellings,
// "~" and the other nulls, integers with underscores, leading zeros (octal) or "0b", sexagesimal
// numbers ("1:20"), floats, dates and times, the merge key "<<" and the value key "=". Errs on the
// side of yes: quoting a text that needed none changes nothing a reader sees.
bool yaml11ReadsAsNonString(std::wstring_view text);
// True when a text written as a plain YAML scalar would not read back as the same string, by the
// rules of YAML 1.2 and of YAML 1.1 readers alike, or holds a character yamlMustEscape names.
bool yamlNeedsQuotes(std::wstring_view text);
// The text as a double-quoted YAML scalar: jsonQuote's escapes, and "\uXXXX" for every character
// yamlMustEscape names, so the line holds only characters every YAML reader accepts as they are.
std::wstring yamlQuote(std::wstring_view text);
// A YAML reader takes a key for an implicit key ("key: value") only when it is at most this long
// as written; a longer key is written in the explicit form ("? key" and ": value" lines).
constexpr size_t kMaxYamlImplicitKey = 1024;
// A key as YAML writes it: quoted by yamlQuote when yamlNeedsQuotes, else bare.
std::wstring yamlKeyText(std::wstring_view key);
// True when the key, written as yamlKeyText writes it, is too long for an implicit key.
bool yamlNeedsExplicitKey(std::wstring_view writtenKey);

// A number's text in JSON's own grammar, read as the same number: "+1" → "1", ".5" → "0.5", "5." →
// "5.0", "0x1F" → "31", "1_000" → "1000", "007" → "7". JSON has no number for the infinities and
// NaN; they are written "Infinity", "-Infinity" and "NaN" whatever their spelling in the file
// (".inf", "+inf", "nan"), as JavaScript's and Python's JSON readers read them. Empty when the text
// is no number at all (the lenient JSON reader takes "1.2.3" as a number's text): the JSON writer
// then keeps the text as the file writes it.
std::wstring jsonNumberText(std::wstring_view text);
// A YAML number's text that YAML 1.2 and YAML 1.1 readers both read as the same number: "1e3" →
// "1.0e+3" (1.1 floats need a dot and a signed exponent), "0o17" → "15", "012" → "12" (1.1 reads
// a leading zero as octal), "-.5" → "-0.5"; every other text unchanged.
std::wstring yamlNumberText(std::wstring_view text);
// A node on one line of YAML: "{}" / "[]" for empty containers, strings quoted when needed,
// every other scalar as written.
std::wstring yamlScalar(const Node* node);

}  // namespace qm
