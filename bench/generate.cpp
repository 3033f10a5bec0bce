// Record generator and the five writers. Every writer escapes what its format requires and,
// in about one record in eight, also writes non-ASCII characters as escapes (\u, \U or &#...;)
// so that the parsers' escape paths are part of the load.
#include "bench/generate.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qmbench {

const char* formatName(Format f) {
    switch (f) {
        case Format::Json: return "json";
        case Format::JsonLines: return "jsonl";
        case Format::Xml: return "xml";
        case Format::Yaml: return "yaml";
        case Format::Toml: return "toml";
    }
    return "?";
}

const char* formatExtension(Format f) {
    switch (f) {
        case Format::Json: return ".json";
        case Format::JsonLines: return ".jsonl";
        case Format::Xml: return ".xml";
        case Format::Yaml: return ".yaml";
        case Format::Toml: return ".toml";
    }
    return "";
}

namespace {

// xorshift64*: fast, and the same sequence on every machine.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    unsigned below(unsigned n) { return unsigned(next() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <size_t N>
    const char* pick(const char* const (&items)[N]) { return items[below(N)]; }

private:
    uint64_t state_;
};

const char* const kFirstNames[] = {"Émilie", "Zoë", "Jürgen", "Łukasz", "Søren", "Ana María", "Ирина", "李雷",
                                   "Δημήτρης", "José", "Olivia", "Liam", "Noah", "Amélie", "Björn", "Çağla",
                                   "Mateo", "Hana", "Ngozi", "Siobhán", "Ömer", "Priya", "Kenji", "Fatima"};
const char* const kLastNames[] = {"Dupont", "Müller", "Nowak", "Kristensen", "García", "Иванова", "王",
                                  "Papadopoulos", "Fernández", "Smith", "O'Brien", "Johnson", "Weiß",
                                  "Lindqvist", "Yılmaz", "Okafor", "Tanaka", "Haddad", "Novák", "Rossi"};
const char* const kCities[] = {"Zürich", "São Paulo", "Kraków", "Москва", "東京", "Reykjavík", "Montréal",
                               "Köln", "Berlin", "Lisboa", "Αθήνα", "New York", "Genève", "Málaga", "Dublin"};
const char* const kStreets[] = {"Rue de la Paix", "Bahnhofstraße", "Main Street", "Calle Mayor", "Ulica Długa",
                                "High Street", "Via Roma", "Østergade", "Karl-Johans gate", "Tverskaya"};
const char* const kTags[] = {"alpha", "beta", "gamma", "delta", "urgent", "archived", "vip", "eu", "us",
                             "trial", "legacy", "beta-tester", "newsletter", "partner"};
const char* const kNoteParts[] = {
    "He said \"hello\" and left.",
    "Path: C:\\Temp\\report.txt",
    "Line one\nLine two",
    "Tab\tseparated\tvalues",
    "Café crème, naïve façade.",
    "Größe: 42 cm²",
    "日本語のテキストです。",
    "Привет, мир!",
    "Shipped 😀 on time 👍",
    "5 < 7 & 9 > 3",
    "“Curly quotes” and ‘single’ ones…",
    "Plain ASCII text that goes on for a while to make the note a realistic length.",
    "Ελληνικά γράμματα",
    "Order #1234 confirmed; invoice follows.",
};
const char* const kDomains[] = {"example.com", "example.org", "mail.example.net", "corp.example"};

struct Friend {
    unsigned id;
    std::string name;
    bool close;
};

struct Record {
    uint64_t id;
    bool escapeNonAscii;
    char guid[40];
    bool active;
    char balance[32];
    char score[32];
    unsigned age;
    std::string name;
    std::string email;
    char phone[32];
    char created[32];
    bool hasManager;
    std::string manager;
    std::string notes;
    std::vector<std::string> tags;
    std::string street;
    std::string city;
    char zip[16];
    char lat[24];
    char lon[24];
    std::vector<Friend> friends;
    bool comment;  // the writer adds a comment in the record where the format has them
};

std::string personName(Random& r) { return std::string(r.pick(kFirstNames)) + " " + r.pick(kLastNames); }

void makeRecord(Random& r, uint64_t id, Record& rec) {
    rec.id = id;
    rec.escapeNonAscii = r.chance(12);
    std::snprintf(rec.guid, sizeof rec.guid, "%08x-%04x-%04x-%04x-%012llx", unsigned(r.next()), r.below(0x10000),
                  r.below(0x10000), r.below(0x10000), (unsigned long long)(r.next() & 0xFFFFFFFFFFFFULL));
    rec.active = r.chance(70);
    std::snprintf(rec.balance, sizeof rec.balance, "%u.%02u", r.below(100000), r.below(100));
    std::snprintf(rec.score, sizeof rec.score, "%s%u.%02ue%d", r.chance(30) ? "-" : "", 1 + r.below(9), r.below(100),
                  int(r.below(7)) - 3);
    rec.age = 18 + r.below(70);
    rec.name = personName(r);
    rec.email = "user" + std::to_string(id) + "@" + r.pick(kDomains);
    std::snprintf(rec.phone, sizeof rec.phone, "+%u %u %03u %02u %02u", 1 + r.below(98), 10 + r.below(90),
                  r.below(1000), r.below(100), r.below(100));
    std::snprintf(rec.created, sizeof rec.created, "20%02u-%02u-%02uT%02u:%02u:%02uZ", 10 + r.below(15),
                  1 + r.below(12), 1 + r.below(28), r.below(24), r.below(60), r.below(60));
    rec.hasManager = r.chance(60);
    rec.manager = rec.hasManager ? personName(r) : std::string();
    rec.notes.clear();
    for (unsigned i = 0, n = 1 + r.below(4); i < n; ++i) {
        if (i) rec.notes += ' ';
        rec.notes += r.pick(kNoteParts);
    }
    rec.tags.clear();
    for (unsigned i = 0, n = r.below(5); i < n; ++i) rec.tags.push_back(r.pick(kTags));
    rec.street = std::to_string(1 + r.below(200)) + " " + r.pick(kStreets);
    rec.city = r.pick(kCities);
    std::snprintf(rec.zip, sizeof rec.zip, "%05u", r.below(100000));
    std::snprintf(rec.lat, sizeof rec.lat, "%d.%04u", int(r.below(180)) - 90, r.below(10000));
    std::snprintf(rec.lon, sizeof rec.lon, "%d.%04u", int(r.below(360)) - 180, r.below(10000));
    rec.friends.clear();
    for (unsigned i = 0, n = r.below(4); i < n; ++i) rec.friends.push_back({r.below(1000000), personName(r), r.chance(50)});
    rec.comment = r.chance(10);
}

// Next code point of UTF-8 text (the generator's own text is always well-formed).
uint32_t nextCodePoint(const std::string& s, size_t& i) {
    unsigned char c = static_cast<unsigned char>(s[i++]);
    if (c < 0x80) return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    uint32_t cp = c & (0x3F >> extra);
    while (extra--) cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    return cp;
}

void appendHex(std::string& out, const char* prefix, uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%0*X", prefix, digits, unsigned(value));
    out += buf;
}

enum class NonBmp { Surrogates, LongEscape };

// A double-quoted string for JSON, YAML and TOML, which share these escapes.
void appendQuoted(std::string& out, const std::string& s, bool escapeNonAscii, NonBmp nonBmp) {
    out += '"';
    for (size_t i = 0; i < s.size();) {
        size_t start = i;
        uint32_t cp = nextCodePoint(s, i);
        switch (cp) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            default: break;
        }
        if (cp < 0x20) {
            appendHex(out, "\\u", cp, 4);
        } else if (cp < 0x80 || !escapeNonAscii) {
            out.append(s, start, i - start);
        } else if (cp < 0x10000) {
            appendHex(out, "\\u", cp, 4);
        } else if (nonBmp == NonBmp::Surrogates) {
            appendHex(out, "\\u", 0xD800 + ((cp - 0x10000) >> 10), 4);
            appendHex(out, "\\u", 0xDC00 + ((cp - 0x10000) & 0x3FF), 4);
        } else {
            appendHex(out, "\\U", cp, 8);
        }
    }
    out += '"';
}

void appendXmlEscaped(std::string& out, const std::string& s, bool escapeNonAscii, bool attribute) {
    for (size_t i = 0; i < s.size();) {
        size_t start = i;
        uint32_t cp = nextCodePoint(s, i);
        switch (cp) {
            case '&': out += "&amp;"; continue;
            case '<': out += "&lt;"; continue;
            case '>': out += "&gt;"; continue;
            case '"':
                out += attribute ? "&quot;" : "\"";
                continue;
            default: break;
        }
        if (cp >= 0x80 && escapeNonAscii) {
            out += "&#" + std::to_string(cp) + ";";
        } else if (attribute && (cp == '\n' || cp == '\t')) {
            appendHex(out, "&#x", cp, 1);
            out += ';';
        } else {
            out.append(s, start, i - start);
        }
    }
}

// ---- JSON and JSON Lines ----

struct JsonWriter {
    std::string& out;
    bool pretty;
    bool escapeNonAscii = false;
    int depth = 0;
    bool first = true;

    void newline() {
        if (!pretty) return;
        out += '\n';
        out.append(size_t(depth) * 2, ' ');
    }
    void separator() {
        if (!first) out += ',';
        first = false;
        newline();
    }
    void key(const char* k) {
        separator();
        out += '"';
        out += k;
        out += pretty ? "\": " : "\":";
    }
    void open(char c) {
        out += c;
        ++depth;
        first = true;
    }
    void close(char c) {
        --depth;
        if (!first) newline();
        out += c;
        first = false;
    }
    void string(const std::string& s) { appendQuoted(out, s, escapeNonAscii, NonBmp::Surrogates); }
    void raw(const char* s) { out += s; }
    void member(const char* k, const std::string& s) { key(k), string(s); }
    void memberRaw(const char* k, const char* s) { key(k), raw(s); }
};

void writeJsonRecord(JsonWriter& w, const Record& rec) {
    w.escapeNonAscii = rec.escapeNonAscii;
    w.open('{');
    w.memberRaw("id", std::to_string(rec.id).c_str());
    w.member("guid", rec.guid);
    w.memberRaw("active", rec.active ? "true" : "false");
    w.memberRaw("balance", rec.balance);
    w.memberRaw("score", rec.score);
    w.memberRaw("age", std::to_string(rec.age).c_str());
    w.member("name", rec.name);
    w.member("email", rec.email);
    w.member("phone", rec.phone);
    w.member("created", rec.created);
    if (rec.hasManager)
        w.member("manager", rec.manager);
    else
        w.memberRaw("manager", "null");
    w.member("notes", rec.notes);
    w.key("tags");
    w.open('[');
    for (const std::string& t : rec.tags) w.separator(), w.string(t);
    w.close(']');
    w.key("address");
    w.open('{');
    w.member("street", rec.street);
    w.member("city", rec.city);
    w.member("zip", rec.zip);
    w.key("geo");
    w.open('{');
    w.memberRaw("lat", rec.lat);
    w.memberRaw("lon", rec.lon);
    w.close('}');
    w.close('}');
    w.key("friends");
    w.open('[');
    for (const Friend& f : rec.friends) {
        w.separator();
        w.open('{');
        w.memberRaw("id", std::to_string(f.id).c_str());
        w.member("name", f.name);
        w.memberRaw("close", f.close ? "true" : "false");
        w.close('}');
    }
    w.close(']');
    w.close('}');
}

// ---- XML ----

void xmlElement(std::string& out, int indent, const char* name, const std::string& text, bool esc) {
    out.append(size_t(indent) * 2, ' ');
    out += '<';
    out += name;
    out += '>';
    appendXmlEscaped(out, text, esc, false);
    out += "</";
    out += name;
    out += ">\n";
}

void xmlAttribute(std::string& out, const char* name, const std::string& value, bool esc) {
    out += ' ';
    out += name;
    out += "=\"";
    appendXmlEscaped(out, value, esc, true);
    out += '"';
}

void writeXmlRecord(std::string& out, const Record& rec) {
    const bool esc = rec.escapeNonAscii;
    out += "  <record";
    xmlAttribute(out, "id", std::to_string(rec.id), esc);
    xmlAttribute(out, "guid", rec.guid, esc);
    xmlAttribute(out, "active", rec.active ? "true" : "false", esc);
    xmlAttribute(out, "created", rec.created, esc);
    out += ">\n";
    if (rec.comment) out += "    <!-- imported from the legacy system -->\n";
    xmlElement(out, 2, "name", rec.name, esc);
    xmlElement(out, 2, "email", rec.email, esc);
    xmlElement(out, 2, "phone", rec.phone, esc);
    out += "    <balance currency=\"EUR\">";
    out += rec.balance;
    out += "</balance>\n";
    xmlElement(out, 2, "score", rec.score, esc);
    xmlElement(out, 2, "age", std::to_string(rec.age), esc);
    if (rec.hasManager)
        xmlElement(out, 2, "manager", rec.manager, esc);
    else
        out += "    <manager nil=\"true\"/>\n";
    if (rec.comment) {
        out += "    <notes><![CDATA[";
        out += rec.notes;
        out += "]]></notes>\n";
    } else {
        xmlElement(out, 2, "notes", rec.notes, esc);
    }
    out += "    <tags>\n";
    for (const std::string& t : rec.tags) xmlElement(out, 3, "tag", t, esc);
    out += "    </tags>\n    <address";
    xmlAttribute(out, "city", rec.city, esc);
    xmlAttribute(out, "zip", rec.zip, esc);
    out += ">\n";
    xmlElement(out, 3, "street", rec.street, esc);
    out += "      <geo lat=\"";
    out += rec.lat;
    out += "\" lon=\"";
    out += rec.lon;
    out += "\"/>\n    </address>\n    <friends>\n";
    for (const Friend& f : rec.friends) {
        out += "      <friend";
        xmlAttribute(out, "id", std::to_string(f.id), esc);
        xmlAttribute(out, "close", f.close ? "true" : "false", esc);
        out += '>';
        appendXmlEscaped(out, f.name, esc, false);
        out += "</friend>\n";
    }
    out += "    </friends>\n  </record>\n";
}

// ---- YAML (block style) ----

void yamlKey(std::string& out, int indent, const char* key) {
    out.append(size_t(indent), ' ');
    out += key;
    out += ':';
}

void yamlPlain(std::string& out, int indent, const char* key, const std::string& value) {
    yamlKey(out, indent, key);
    out += ' ';
    out += value;
    out += '\n';
}

void yamlQuoted(std::string& out, int indent, const char* key, const std::string& value, bool esc) {
    yamlKey(out, indent, key);
    out += ' ';
    appendQuoted(out, value, esc, NonBmp::LongEscape);
    out += '\n';
}

std::string yamlSingleQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

void writeYamlRecord(std::string& out, const Record& rec) {
    const bool esc = rec.escapeNonAscii;
    out += "- ";
    yamlPlain(out, 0, "id", std::to_string(rec.id));
    yamlPlain(out, 2, "guid", rec.guid);
    yamlPlain(out, 2, "active", rec.active ? "true" : "false");
    yamlPlain(out, 2, "balance", rec.balance);
    yamlPlain(out, 2, "score", rec.score);
    yamlPlain(out, 2, "age", std::to_string(rec.age));
    if (esc)
        yamlQuoted(out, 2, "name", rec.name, esc);
    else
        yamlPlain(out, 2, "name", rec.name);
    yamlPlain(out, 2, "email", rec.email);
    yamlQuoted(out, 2, "phone", rec.phone, esc);
    yamlPlain(out, 2, "created", rec.created);
    if (rec.comment) out += "  # imported from the legacy system\n";
    if (rec.hasManager)
        yamlPlain(out, 2, "manager", yamlSingleQuoted(rec.manager));
    else
        yamlPlain(out, 2, "manager", "null");
    yamlQuoted(out, 2, "notes", rec.notes, esc);
    if (rec.tags.empty()) {
        yamlPlain(out, 2, "tags", "[]");
    } else {
        yamlKey(out, 2, "tags");
        out += '\n';
        for (const std::string& t : rec.tags) {
            out += "    - ";
            out += t;
            out += '\n';
        }
    }
    yamlKey(out, 2, "address");
    out += '\n';
    yamlPlain(out, 4, "street", rec.street);
    yamlPlain(out, 4, "city", rec.city);
    yamlPlain(out, 4, "zip", yamlSingleQuoted(rec.zip));
    yamlKey(out, 4, "geo");
    out += '\n';
    yamlPlain(out, 6, "lat", rec.lat);
    yamlPlain(out, 6, "lon", rec.lon);
    if (rec.friends.empty()) {
        yamlPlain(out, 2, "friends", "[]");
        return;
    }
    yamlKey(out, 2, "friends");
    out += '\n';
    for (const Friend& f : rec.friends) {
        out += "    - ";
        yamlPlain(out, 0, "id", std::to_string(f.id));
        yamlPlain(out, 6, "name", f.name);
        yamlPlain(out, 6, "close", f.close ? "true" : "false");
    }
}

// ---- TOML (arrays of tables) ----

void tomlRaw(std::string& out, const char* key, const std::string& value) {
    out += key;
    out += " = ";
    out += value;
    out += '\n';
}

void tomlString(std::string& out, const char* key, const std::string& value, bool esc) {
    out += key;
    out += " = ";
    appendQuoted(out, value, esc, NonBmp::LongEscape);
    out += '\n';
}

void writeTomlRecord(std::string& out, const Record& rec) {
    const bool esc = rec.escapeNonAscii;
    out += "\n[[record]]\n";
    if (rec.comment) out += "# imported from the legacy system\n";
    tomlRaw(out, "id", std::to_string(rec.id));
    tomlString(out, "guid", rec.guid, esc);
    tomlRaw(out, "active", rec.active ? "true" : "false");
    tomlRaw(out, "balance", rec.balance);
    tomlRaw(out, "score", rec.score);
    tomlRaw(out, "age", std::to_string(rec.age));
    tomlString(out, "name", rec.name, esc);
    tomlString(out, "email", rec.email, esc);
    tomlString(out, "phone", rec.phone, esc);
    tomlRaw(out, "created", rec.created);
    if (rec.hasManager) tomlString(out, "manager", rec.manager, esc);
    tomlString(out, "notes", rec.notes, esc);
    out += "tags = [";
    for (size_t i = 0; i < rec.tags.size(); ++i) {
        if (i) out += ", ";
        appendQuoted(out, rec.tags[i], esc, NonBmp::LongEscape);
    }
    out += "]\n\n[record.address]\n";
    tomlString(out, "street", rec.street, esc);
    tomlString(out, "city", rec.city, esc);
    tomlString(out, "zip", rec.zip, esc);
    out += "geo = { lat = ";
    out += rec.lat;
    out += ", lon = ";
    out += rec.lon;
    out += " }\n";
    for (const Friend& f : rec.friends) {
        out += "\n[[record.friends]]\n";
        tomlRaw(out, "id", std::to_string(f.id));
        tomlString(out, "name", f.name, esc);
        tomlRaw(out, "close", f.close ? "true" : "false");
    }
}

}  // namespace

std::string generateFile(Format f, size_t targetBytes) {
    Random r(0x5157494C4C4D4150ULL + uint64_t(f));
    std::string out;
    out.reserve(targetBytes + 4096);
    Record rec;
    uint64_t id = 1;
    switch (f) {
        case Format::Json: {
            JsonWriter w{out, true};
            w.open('[');
            while (out.size() < targetBytes) {
                makeRecord(r, id++, rec);
                w.separator();
                writeJsonRecord(w, rec);
            }
            w.close(']');
            out += '\n';
            break;
        }
        case Format::JsonLines: {
            JsonWriter w{out, false};
            while (out.size() < targetBytes) {
                makeRecord(r, id++, rec);
                w.first = true;
                writeJsonRecord(w, rec);
                out += '\n';
            }
            break;
        }
        case Format::Xml:
            out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<records generator=\"quillmap-bench\">\n";
            while (out.size() < targetBytes) {
                makeRecord(r, id++, rec);
                writeXmlRecord(out, rec);
            }
            out += "</records>\n";
            break;
        case Format::Yaml:
            out += "# Customer records\n";
            while (out.size() < targetBytes) {
                makeRecord(r, id++, rec);
                writeYamlRecord(out, rec);
            }
            break;
        case Format::Toml:
            out += "# Customer records\ntitle = \"Customer records\"\nversion = 3\n";
            while (out.size() < targetBytes) {
                makeRecord(r, id++, rec);
                writeTomlRecord(out, rec);
            }
            break;
    }
    return out;
}

}  // namespace qmbench
