// Placeholder until the Toml parser lands: the driver's branch exists, the parser builds nothing.
#include "parsers/toml.h"

namespace qm {

void parseToml(Document&, const std::wstring&, size_t) {}

}  // namespace qm
