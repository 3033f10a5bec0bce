// Synthetic but realistic input files for the load benchmark: records with nested objects,
// strings with escapes and non-ASCII text (some above U+FFFF), numbers, booleans and nulls,
// written as pretty JSON, JSON Lines, XML with attributes and text, block-style YAML and TOML
// with arrays of tables. The same seed always gives the same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace qmbench {

enum class Format { Json, JsonLines, Xml, Yaml, Toml };

const char* formatName(Format f);       // "json", "jsonl", "xml", "yaml", "toml"
const char* formatExtension(Format f);  // ".json", ".jsonl", ".xml", ".yaml", ".toml"

// UTF-8 text of about `targetBytes` bytes (whole records: it stops after the record that
// reaches the size), always well-formed for the format.
std::string generateFile(Format f, size_t targetBytes);

}  // namespace qmbench
