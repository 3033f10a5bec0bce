// The plug-in's version, held here alone: the About window shows it, and scripts/package.sh
// reads it from this line for the installer file's "version" and the archive's name.
#pragma once

namespace qm {

constexpr wchar_t kProductVersion[] = L"1.3.0";

}  // namespace qm
