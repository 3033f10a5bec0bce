// The detect string's copy for the host, with truncation to the host's buffer.
#include "shell/lister.h"

#include <algorithm>
#include <cstring>

namespace qm {

void copyDetectString(char* buffer, int size) {
    if (!buffer || size <= 0) return;
    const size_t limit = static_cast<size_t>(size) - 1;
    const size_t length = std::min(sizeof kDetectString - 1, limit);
    std::memcpy(buffer, kDetectString, length);
    buffer[length] = '\0';
}

}  // namespace qm
