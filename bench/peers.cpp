// Each peer builds its usual in-memory tree through its documented "parse a buffer" call, with
// default options. JSON Lines: every line becomes one item of a top-level array, as ours does.
#include "bench/peers.h"

#include <cstring>
#include <istream>
#include <streambuf>
#include <string>

#ifdef QM_HAVE_RAPIDJSON
#include <rapidjson/document.h>
#endif
#ifdef QM_HAVE_SIMDJSON
#include <simdjson.h>
#endif
#ifdef QM_HAVE_NLOHMANN
#include <nlohmann/json.hpp>
#endif
#ifdef QM_HAVE_PUGIXML
#include <pugixml.hpp>
#endif
#ifdef QM_HAVE_LIBXML2
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif
#ifdef QM_HAVE_LIBYAML
#include <yaml.h>
#endif
#ifdef QM_HAVE_LIBFYAML
#include <libfyaml.h>
#endif
#ifdef QM_HAVE_YAMLCPP
#include <yaml-cpp/yaml.h>
#endif
#ifdef QM_HAVE_TOMLPLUSPLUS
#include <toml++/toml.h>
#endif
#ifdef QM_HAVE_CPPTOML
#include <cpptoml.h>
#endif

namespace qmbench {

namespace {

// An istream over the buffer without copying it (yaml-cpp and cpptoml read streams).
struct MemoryBuffer : std::streambuf {
    MemoryBuffer(const char* data, size_t size) {
        char* p = const_cast<char*>(data);
        setg(p, p, p + size);
    }
};

// Calls fn(line, length) for every line of the text.
template <typename Fn>
void forEachLine(const char* data, size_t size, Fn fn) {
    const char* p = data;
    const char* end = data + size;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* lineEnd = nl ? nl : end;
        fn(p, size_t(lineEnd - p));
        p = lineEnd + 1;
    }
}

// Used by the JSON Lines readers of the peers that are present.
[[maybe_unused]] bool blank(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != ' ' && p[i] != '\t' && p[i] != '\r') return false;
    return true;
}

#ifdef QM_HAVE_RAPIDJSON
Tree rapidJson(const char* data, size_t size) {
    auto doc = std::make_shared<rapidjson::Document>();
    doc->Parse(data, size);
    if (doc->HasParseError()) return nullptr;
    return doc;
}

Tree rapidJsonLines(const char* data, size_t size) {
    auto doc = std::make_shared<rapidjson::Document>();
    doc->SetArray();
    auto& allocator = doc->GetAllocator();
    bool ok = true;
    forEachLine(data, size, [&](const char* line, size_t n) {
        if (!ok || blank(line, n)) return;
        rapidjson::Document item(&allocator);
        item.Parse(line, n);
        if (item.HasParseError()) ok = false;
        else doc->PushBack(item.Move(), allocator);
    });
    if (!ok) return nullptr;
    return doc;
}
#endif

#ifdef QM_HAVE_SIMDJSON
Tree simdJson(const char* data, size_t size) {
    auto parser = std::make_shared<simdjson::dom::parser>();
    simdjson::dom::element root;
    if (parser->parse(reinterpret_cast<const uint8_t*>(data), size, false).get(root)) return nullptr;
    return parser;  // the parser owns the document's tape and strings
}

// simdjson keeps no tree of a whole stream: parse_many builds each line's document in turn and
// drops it for the next, so this figure is a lower bound of its cost, not a tree of the file.
Tree simdJsonLines(const char* data, size_t size) {
    auto parser = std::make_shared<simdjson::dom::parser>();
    simdjson::dom::document_stream stream;
    if (parser->parse_many(reinterpret_cast<const uint8_t*>(data), size).get(stream)) return nullptr;
    for (auto item : stream) {
        simdjson::dom::element e;
        if (item.get(e)) return nullptr;
    }
    return parser;
}
#endif

#ifdef QM_HAVE_NLOHMANN
Tree nlohmannJson(const char* data, size_t size) {
    auto doc = std::make_shared<nlohmann::json>(nlohmann::json::parse(data, data + size, nullptr, false));
    if (doc->is_discarded()) return nullptr;
    return doc;
}

Tree nlohmannJsonLines(const char* data, size_t size) {
    auto doc = std::make_shared<nlohmann::json>(nlohmann::json::array());
    bool ok = true;
    forEachLine(data, size, [&](const char* line, size_t n) {
        if (!ok || blank(line, n)) return;
        nlohmann::json item = nlohmann::json::parse(line, line + n, nullptr, false);
        if (item.is_discarded()) ok = false;
        else doc->push_back(std::move(item));
    });
    if (!ok) return nullptr;
    return doc;
}
#endif

#ifdef QM_HAVE_PUGIXML
Tree pugiXml(const char* data, size_t size) {
    auto doc = std::make_shared<pugi::xml_document>();
    if (!doc->load_buffer(data, size)) return nullptr;
    return doc;
}
#endif

#ifdef QM_HAVE_LIBXML2
Tree libXml2(const char* data, size_t size) {
    xmlDocPtr doc = xmlReadMemory(data, int(size), "bench.xml", nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
    if (!doc) return nullptr;
    return Tree(doc, [](void* d) { xmlFreeDoc(static_cast<xmlDocPtr>(d)); });
}
#endif

#ifdef QM_HAVE_LIBYAML
// libyaml's document API: yaml_parser_load builds one node graph per document.
struct LibYamlDocuments {
    std::vector<yaml_document_t> documents;
    ~LibYamlDocuments() {
        for (yaml_document_t& d : documents) yaml_document_delete(&d);
    }
};

Tree libYaml(const char* data, size_t size) {
    auto docs = std::make_shared<LibYamlDocuments>();
    yaml_parser_t parser;
    yaml_parser_initialize(&parser);
    yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(data), size);
    bool ok = true;
    for (;;) {
        yaml_document_t doc;
        if (!yaml_parser_load(&parser, &doc)) {
            ok = false;
            break;
        }
        if (!yaml_document_get_root_node(&doc)) {
            yaml_document_delete(&doc);
            break;
        }
        docs->documents.push_back(doc);
    }
    yaml_parser_delete(&parser);
    if (!ok) return nullptr;
    return docs;
}
#endif

#ifdef QM_HAVE_LIBFYAML
Tree libFyaml(const char* data, size_t size) {
    fy_document* doc = fy_document_build_from_string(nullptr, data, size);
    if (!doc) return nullptr;
    return Tree(doc, [](void* d) { fy_document_destroy(static_cast<fy_document*>(d)); });
}
#endif

#ifdef QM_HAVE_YAMLCPP
Tree yamlCpp(const char* data, size_t size) {
    try {
        MemoryBuffer buffer(data, size);
        std::istream in(&buffer);
        return std::make_shared<YAML::Node>(YAML::Load(in));
    } catch (const std::exception&) {
        return nullptr;
    }
}
#endif

#ifdef QM_HAVE_TOMLPLUSPLUS
Tree tomlPlusPlus(const char* data, size_t size) {
    try {
        return std::make_shared<toml::table>(toml::parse(std::string_view(data, size)));
    } catch (const std::exception&) {
        return nullptr;
    }
}
#endif

#ifdef QM_HAVE_CPPTOML
Tree cppToml(const char* data, size_t size) {
    try {
        MemoryBuffer buffer(data, size);
        std::istream in(&buffer);
        cpptoml::parser parser(in);
        return std::shared_ptr<cpptoml::table>(parser.parse());
    } catch (const std::exception&) {
        return nullptr;
    }
}
#endif

}  // namespace

const std::vector<Peer>& allPeers() {
    static const std::vector<Peer> peers = {
#ifdef QM_HAVE_RAPIDJSON
        {"rapidjson", Format::Json, rapidJson, ""},
        {"rapidjson", Format::JsonLines, rapidJsonLines, ""},
#else
        {"rapidjson", Format::Json, nullptr, ""},
        {"rapidjson", Format::JsonLines, nullptr, ""},
#endif
#ifdef QM_HAVE_SIMDJSON
        {"simdjson", Format::Json, simdJson, ""},
        {"simdjson", Format::JsonLines, simdJsonLines, "parse_many: one line's document at a time, no tree of the file"},
#else
        {"simdjson", Format::Json, nullptr, ""},
        {"simdjson", Format::JsonLines, nullptr, ""},
#endif
#ifdef QM_HAVE_NLOHMANN
        {"nlohmann", Format::Json, nlohmannJson, ""},
        {"nlohmann", Format::JsonLines, nlohmannJsonLines, ""},
#else
        {"nlohmann", Format::Json, nullptr, ""},
        {"nlohmann", Format::JsonLines, nullptr, ""},
#endif
#ifdef QM_HAVE_PUGIXML
        {"pugixml", Format::Xml, pugiXml, ""},
#else
        {"pugixml", Format::Xml, nullptr, ""},
#endif
#ifdef QM_HAVE_LIBXML2
        {"libxml2", Format::Xml, libXml2, ""},
#else
        {"libxml2", Format::Xml, nullptr, ""},
#endif
#ifdef QM_HAVE_LIBYAML
        {"libyaml", Format::Yaml, libYaml, "document API"},
#else
        {"libyaml", Format::Yaml, nullptr, ""},
#endif
#ifdef QM_HAVE_LIBFYAML
        {"libfyaml", Format::Yaml, libFyaml, ""},
#else
        {"libfyaml", Format::Yaml, nullptr, ""},
#endif
#ifdef QM_HAVE_YAMLCPP
        {"yaml-cpp", Format::Yaml, yamlCpp, ""},
#else
        {"yaml-cpp", Format::Yaml, nullptr, ""},
#endif
#ifdef QM_HAVE_TOMLPLUSPLUS
        {"toml++", Format::Toml, tomlPlusPlus, ""},
#else
        {"toml++", Format::Toml, nullptr, ""},
#endif
#ifdef QM_HAVE_CPPTOML
        {"cpptoml", Format::Toml, cppToml, ""},
#else
        {"cpptoml", Format::Toml, nullptr, ""},
#endif
    };
    return peers;
}

}  // namespace qmbench
