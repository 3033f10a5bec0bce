// The table of well-known configuration file names and its look-up by a path's last part.
#include "document/wellknown.h"

#include <iterator>

#include "document/chars.h"

namespace qm {

const WellKnownName kWellKnownNames[] = {
    // TOML: Python's and Rust's project and lock files.
    {L"pipfile", NamedFormat::Toml},
    {L"cargo.lock", NamedFormat::Toml},
    {L"poetry.lock", NamedFormat::Toml},
    {L"pdm.lock", NamedFormat::Toml},
    {L"uv.lock", NamedFormat::Toml},
    {L"gopkg.lock", NamedFormat::Toml},
    // YAML: formatter, linter and tool settings.
    {L".clang-format", NamedFormat::Yaml},
    {L"_clang-format", NamedFormat::Yaml},
    {L".clang-tidy", NamedFormat::Yaml},
    {L".clangd", NamedFormat::Yaml},
    {L".yamllint", NamedFormat::Yaml},
    {L".condarc", NamedFormat::Yaml},
    // JSON or YAML: the tool reads either.
    {L".eslintrc", NamedFormat::JsonOrYaml},
    {L".prettierrc", NamedFormat::JsonOrYaml},
    {L".stylelintrc", NamedFormat::JsonOrYaml},
    // JSON.
    {L".babelrc", NamedFormat::Json},
    {L".jshintrc", NamedFormat::Json},
    {L".swcrc", NamedFormat::Json},
    {L".watchmanconfig", NamedFormat::Json},
    {L"composer.lock", NamedFormat::Json},
    {L"pipfile.lock", NamedFormat::Json},
    {L"flake.lock", NamedFormat::Json},
};
const size_t kWellKnownNameCount = std::size(kWellKnownNames);

NamedFormat namedFormat(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    const size_t begin = slash == std::wstring::npos ? 0 : slash + 1;
    const size_t length = path.size() - begin;
    for (const WellKnownName& entry : kWellKnownNames) {
        const std::wstring_view name(entry.name);
        if (name.size() != length) continue;
        size_t i = 0;
        while (i < length && toLower(path[begin + i]) == name[i]) ++i;
        if (i == length) return entry.format;
    }
    return NamedFormat::None;
}

}  // namespace qm
