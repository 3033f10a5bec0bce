// Configuration files whose names, not extensions, say their format: Pipfile and Cargo.lock are
// TOML, .clang-format is YAML, .babelrc is JSON. One table serves the load driver and the
// extensions the host is asked to offer.
#pragma once

#include <string>

namespace qm {

// The format a well-known file name stands for.
enum class NamedFormat {
    None,        // not a name of the table: the extension and the content decide
    Json,        // JSON: classified by content as any other file (starts with "{" or "[")
    JsonOrYaml,  // written either way by its tools: JSON when it starts with "{" or "[", else YAML
    Yaml,        // always YAML
    Toml,        // always TOML
};

struct WellKnownName {
    const wchar_t* name;  // the file name in lower case
    NamedFormat format;
};

// The table, in no particular order, and its length.
extern const WellKnownName kWellKnownNames[];
extern const size_t kWellKnownNameCount;

// The format of a path's file name (compared case-insensitively), None for other names.
NamedFormat namedFormat(const std::wstring& path);

}  // namespace qm
