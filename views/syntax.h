// Syntax colouring of the source view: one small tokenizer per document family that gives every
// character of a line a token class. The tokenizers do not parse; they recognise just enough to
// colour the text, accept any input, and carry one byte of state from a line to the next so that
// comments, CDATA sections, multi-line strings and YAML block scalars stay coloured across lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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

// What a line's end state depends on, so that the state of a far line can be worked out without
// tokenizing every line above it. The characters without which a line leaves the state as it
// found it (null: any line may change it): JSON enters and leaves a block comment only at a "*",
// TOML a multi-line string only at a quote, XML any of its states only at "<", ">", a quote or a
// bracket.
const wchar_t* stateCharacters(DocumentFormat format);
// Whether a line ends in the same state whatever state it starts in: a YAML line that is not blank
// and starts at column 0 ends any block scalar before its first character and is then read as
// from the first state; a .reg line that does not continue onto the next ends in the first state.
bool endsAlikeFromAnyState(DocumentFormat format, const wchar_t* line, size_t length);

// Whether the XML tokenizer reads every character of `name`, written after "<" or a space in a
// tag, as part of that tag or attribute name (so that the tag goes on as written after it).
bool isXmlTokenName(std::wstring_view name);

// Palette slot a token class is drawn in; classes outside 1..11 are drawn in text.
ColorSlot tokenColorSlot(uint8_t tokenClass);

}  // namespace qm
