// Placeholder until the Registry parser lands: the driver's branch exists, the parser builds nothing.
#include "parsers/registry.h"

namespace qm {

void parseRegistry(Document&, const std::wstring&, size_t) {}

}  // namespace qm
