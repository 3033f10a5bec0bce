// Syntax colouring of the source view: one small tokenizer per document family that gives every
// character of a line a token class. The tokenizers do not parse; they recognise just enough to
// colour the text, accept any input, and carry one byte of state from a line to the next so that
// comments, CDATA sections, multi-line strings and YAML block scalars stay coloured across lines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "appearance/slots.h"
#include "document/document.h"

namespace qm {

// Token classes, one byte per character.
enum TokenClass : uint8_t {
    kTokenPlain = 0,
    kTokenPunctuation = 1,     // punctuation and indicators
    kTokenTagName = 2,         // XML tag name
    kTokenAttributeName = 3,   // XML attribute name
    kTokenString = 4,          // string, attribute value, block scalar
    kTokenComment = 5,         // comment; XML markup declaration
    kTokenDirective = 6,       // XML PI and entity reference; YAML directive, tag, anchor, alias; .reg header
    kTokenCData = 7,           // XML CDATA section
    kTokenNumber = 8,          // number; registry hex data
    kTokenConstant = 9,        // true, false, null; registry value type and delete mark
    kTokenKey = 10,            // key, property name, registry value name
    kTokenSection = 11,        // TOML table header, registry key path
};

// Tokenizes one line. `classes` is null or as long as the line and filled with 0 by the caller;
// only the characters of recognised tokens are written. `state` is 0 at the start of the text and
// carries what the line leaves open to the next one; with no class array only it is advanced.
using Tokenizer = void (*)(const wchar_t* line, size_t length, uint8_t& state, uint8_t* classes);

void tokenizeXmlLine(const wchar_t* line, size_t length, uint8_t& state, uint8_t* classes);
void tokenizeJsonLine(const wchar_t* line, size_t length, uint8_t& state, uint8_t* classes);
void tokenizeYamlLine(const wchar_t* line, size_t length, uint8_t& state, uint8_t* classes);
void tokenizeTomlLine(const wchar_t* line, size_t length, uint8_t& state, uint8_t* classes);
void tokenizeRegistryLine(const wchar_t* line, size_t length, uint8_t& state, uint8_t* classes);

// The tokenizer of a document format (JSON Lines shares the JSON one).
Tokenizer tokenizerFor(DocumentFormat format);

// Palette slot a token class is drawn in; classes outside 1..11 are drawn in text.
ColorSlot tokenColorSlot(uint8_t tokenClass);

}  // namespace qm
