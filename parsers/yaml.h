// Entry point of the Yaml parser: fills the tree under doc.root from text[start..].
#pragma once

#include <string>

#include "document/document.h"

namespace qm {

void parseYaml(Document& doc, const std::wstring& text, size_t start);

}  // namespace qm
