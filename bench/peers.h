// The peers the load benchmark compares against: well-known parsers that build an in-memory
// tree from bytes in memory. Only the benchmark links them; each is compiled in when CMake found
// its Debian package.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "bench/generate.h"

namespace qmbench {

// The tree a peer built, kept alive until it is dropped (destruction is not timed).
using Tree = std::shared_ptr<void>;

// Builds the tree of `size` bytes at `data`; the buffer holds at least 64 zero bytes after them.
// Returns null when the peer rejected the input.
using PeerParse = Tree (*)(const char* data, size_t size);

struct Peer {
    const char* name;  // rapidjson, simdjson, nlohmann, pugixml, libxml2, libyaml, libfyaml, yaml-cpp, toml++, cpptoml
    Format format;
    PeerParse parse;   // null when the peer was not built
    const char* note;  // how the peer's figure should be read, or ""
};

// Every peer of every format, also those that were not built (parse == null).
const std::vector<Peer>& allPeers();

}  // namespace qmbench
