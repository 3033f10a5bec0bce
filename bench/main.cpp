// quillmap-bench: writes the generated benchmark files, then measures loading each of them from
// the bytes in memory: ours (decode plus parseText, the byte buffer released after decoding, as
// the load driver does) and every peer that was built. Each figure is the best of several runs,
// and each run is a fresh child process, so every load meets a fresh heap as a user's does;
// the peak resident memory of that child, less what it held before reading the input, is the
// load's memory. A "warm" run repeats each format's load in one process whose heap keeps its pages,
// ours and the format's first peer, which shows the parsers' CPU cost without page faults.
//
//   quillmap-bench [--scale F] [--runs N] [--dir DIR [--generate-only]] [--only FORMAT[,FORMAT...]]
//
// --scale multiplies the file sizes (100 MB JSON, JSON Lines and XML, 30 MB YAML, 20 MB TOML);
// --dir keeps the files there (for quillmap-dump --stats); otherwise they go to a temporary folder
// that is removed at the end. --generate-only writes the files and measures nothing.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/generate.h"
#include "bench/peers.h"
#include "document/decode.h"
#include "document/document.h"
#include "document/load.h"
#include "document/utf8.h"

namespace qmbench {
namespace {

constexpr double kMegabyte = 1e6;
constexpr const char* kOurs = "quillmap";
const Format kAllFormats[] = {Format::Json, Format::JsonLines, Format::Xml, Format::Yaml, Format::Toml};

size_t fullSize(Format f) {
    switch (f) {
        case Format::Json:
        case Format::JsonLines:
        case Format::Xml: return 100000000;
        case Format::Yaml: return 30000000;
        case Format::Toml: return 20000000;
    }
    return 0;
}

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"), 0 when it cannot be read.
double statusBytes(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double value = 0;
    size_t keyLength = std::strlen(key);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, keyLength) == 0 && line[keyLength] == ':') {
            value = std::strtod(line + keyLength + 1, nullptr) * 1024;
            break;
        }
    }
    std::fclose(f);
    return value;
}

// Lets VmHWM start again from the current resident size.
void resetPeakMemory() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// The size of an open file, read from its end, or -1 when it cannot be told (a pipe, an error):
// every read below is sized by it.
long fileSize(FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return size;
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const long size = fileSize(f);
    if (size < 0) {
        std::fclose(f);
        return false;
    }
    // simdjson reads up to 64 bytes past the end; the others get a terminating zero for free.
    bytes.assign(size_t(size) + 64, 0);
    size_t got = std::fread(bytes.data(), 1, size_t(size), f);
    std::fclose(f);
    bytes.resize(got);
    return got == size_t(size);
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

Format parseFormat(const std::string& name, bool& ok) {
    for (Format f : kAllFormats)
        if (name == formatName(f)) return ok = true, f;
    ok = false;
    return Format::Json;
}

// ---- child: one measured load ----

struct Load {
    double seconds = 0;        // wall time of the load
    double decodeSeconds = 0;  // ours only: the decoding part of it
    double cpu = 0;            // user + system time of the load
    size_t nodes = 0;          // ours only
};

// `data` is the file's bytes, in the document's file space when `inStore` (as the product's load
// driver reads them), which then becomes the store's first space.
bool loadOurs(const uint8_t* data, size_t size, bool inStore, const std::wstring& path, qm::Document& doc, Load& load) {
    const double c0 = cpuSeconds(), t0 = now();
    std::wstring text;
    qm::decodeTextWith(data, size, text, doc.encoding, qm::portableCodePageConverter);
    if (inStore) doc.store.reuseFileSpace();
    const double t1 = now();
    const bool accepted = qm::parseText(path, std::move(text), doc);
    load.seconds = now() - t0;
    load.cpu = cpuSeconds() - c0;
    load.decodeSeconds = t1 - t0;
    load.nodes = qm::nodeCount(doc);
    if (!accepted) std::fprintf(stderr, "quillmap declined the file\n");
    if (!doc.errorMessage.empty())
        std::fprintf(stderr, "quillmap: %s (line %u)\n", qm::wideToUtf8(doc.errorMessage).c_str(), doc.errorLine);
    return accepted && doc.errorMessage.empty();
}

const Peer* findPeer(const std::string& name, Format f) {
    for (const Peer& p : allPeers())
        if (name == p.name && p.format == f && p.parse) return &p;
    return nullptr;
}

// Prints "ok <seconds> <decode seconds> <cpu seconds> <peak bytes> <nodes>" or "fail".
int runChild(const std::string& contender, Format format, const std::string& path, int warmRuns) {
    const Peer* peer = contender == kOurs ? nullptr : findPeer(contender, format);
    if (contender != kOurs && !peer) return std::puts("fail"), 1;
    const std::wstring widePath = qm::utf8ToWide(path);
    if (warmRuns > 0) {
        // Freed memory stays in the process: later runs find their pages already touched.
        mallopt(M_MMAP_MAX, 0);
        mallopt(M_TRIM_THRESHOLD, INT_MAX);
    }
    resetPeakMemory();
    const double baseline = statusBytes("VmRSS");
    std::vector<uint8_t> bytes;
    if (peer || warmRuns > 0) {
        if (!readFile(path, bytes)) return std::puts("fail"), 1;
    }

    Load best;
    best.seconds = 1e30;
    for (int run = 0; run <= warmRuns; ++run) {
        Load load;
        bool ok;
        if (!peer) {
            qm::Document doc;
            if (warmRuns == 0) {
                // A cold load reads the file into the store as the viewer does.
                FILE* f = std::fopen(path.c_str(), "rb");
                if (!f) return std::puts("fail"), 1;
                const long size = fileSize(f);
                if (size < 0) return std::fclose(f), std::puts("fail"), 1;
                uint8_t* space = doc.store.fileSpace(size_t(size));
                const size_t got = std::fread(space, 1, size_t(size), f);
                std::fclose(f);
                if (got != size_t(size)) return std::puts("fail"), 1;
                ok = loadOurs(space, got, true, widePath, doc, load);
            } else {
                ok = loadOurs(bytes.data(), bytes.size(), false, widePath, doc, load);
            }
        } else {
            const double c0 = cpuSeconds(), t0 = now();
            Tree tree = peer->parse(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            load.seconds = now() - t0;
            load.cpu = cpuSeconds() - c0;
            ok = tree != nullptr;
        }
        if (!ok) return std::puts("fail"), 1;
        // With warm runs the first one only touches the heap.
        if ((warmRuns == 0 || run > 0) && load.seconds < best.seconds) best = load;
    }
    const double peak = std::max(statusBytes("VmHWM"), 0.0) - baseline;
    std::printf("ok %.6f %.6f %.6f %.0f %zu\n", best.seconds, best.decodeSeconds, best.cpu, peak, best.nodes);
    return 0;
}

// ---- parent: files, runs, report ----

struct Figure {
    bool ok = false;
    Load best;
    double peakBytes = 0;  // lowest peak over the runs
};

std::string selfPath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, size_t(n)) : std::string("quillmap-bench");
}

Figure measure(const std::string& contender, Format format, const std::string& path, int runs, int warmRuns) {
    Figure fig;
    fig.best.seconds = 1e30;
    fig.peakBytes = 1e30;
    const std::string command = "'" + selfPath() + "' --child '" + contender + "' " + formatName(format) + " '" + path +
                                "' " + std::to_string(warmRuns);
    for (int run = 0; run < (warmRuns > 0 ? 1 : runs); ++run) {
        FILE* child = popen(command.c_str(), "r");
        if (!child) return fig;
        char line[256] = {};
        bool got = std::fgets(line, sizeof line, child) != nullptr;
        pclose(child);
        Load load;
        double peak = 0;
        if (!got || std::sscanf(line, "ok %lf %lf %lf %lf %zu", &load.seconds, &load.decodeSeconds, &load.cpu, &peak,
                                &load.nodes) != 5)
            return fig;
        fig.ok = true;
        if (load.seconds < fig.best.seconds) fig.best = load;
        fig.peakBytes = std::min(fig.peakBytes, peak);
    }
    return fig;
}

std::string loadAverage() {
    char buf[128] = {};
    FILE* f = std::fopen("/proc/loadavg", "r");
    if (!f) return "?";
    bool got = std::fgets(buf, sizeof buf, f) != nullptr;
    std::fclose(f);
    if (!got) return "?";
    std::string s(buf);
    size_t cut = 0;
    for (int fields = 0; cut < s.size() && fields < 3; ++cut)
        if (s[cut] == ' ') ++fields;
    return s.substr(0, cut ? cut - 1 : s.size());
}

int runBenchmark(double scale, int runs, std::string dir, const std::vector<Format>& formats, bool generateOnly) {
    bool temporary = dir.empty();
    if (temporary) {
        char pattern[] = "/tmp/quillmap-bench-XXXXXX";
        if (!mkdtemp(pattern)) return std::perror("mkdtemp"), 1;
        dir = pattern;
    } else {
        mkdir(dir.c_str(), 0777);  // an existing folder is fine
    }
    if (!generateOnly) {
        std::printf("Quillmap load benchmark: bytes in memory to tree, best of %d fresh processes per figure (cold)\n",
                    runs);
        std::printf("MB = 10^6 bytes; peak = resident memory added by the load, per input byte; "
                    "ours/peer = throughput ratio\n");
        std::printf("load average at start: %s\n\n", loadAverage().c_str());
    }

    std::vector<std::pair<Format, std::string>> files;
    for (Format f : formats) {
        std::string path = dir + "/bench" + formatExtension(f);
        std::string text = generateFile(f, size_t(double(fullSize(f)) * scale));
        if (!writeFile(path, text)) return std::fprintf(stderr, "cannot write %s\n", path.c_str()), 1;
        std::printf("generated %s: %.1f MB\n", path.c_str(), double(text.size()) / kMegabyte);
        files.emplace_back(f, path);
    }
    if (generateOnly) return 0;
    std::printf("\n%-6s %-10s %9s %9s %7s %9s %11s  %s\n", "format", "parser", "MB/s", "ours/peer", "peak", "cpu s",
                "nodes", "notes");
    std::fflush(stdout);

    std::vector<std::string> summary;
    for (const auto& [format, path] : files) {
        std::vector<uint8_t> sizeProbe;
        readFile(path, sizeProbe);
        const double megabytes = double(sizeProbe.size()) / kMegabyte;
        sizeProbe = {};
        Figure ours = measure(kOurs, format, path, runs, 0);
        const double oursRate = ours.ok ? megabytes / ours.best.seconds : 0;
        if (ours.ok)
            std::printf("%-6s %-10s %9.1f %9.2f %7.2f %9.2f %11zu  decode %.2f s, parse %.2f s\n", formatName(format),
                        kOurs, oursRate, 1.0, ours.peakBytes / double(megabytes * kMegabyte), ours.best.cpu,
                        ours.best.nodes, ours.best.decodeSeconds, ours.best.seconds - ours.best.decodeSeconds);
        else
            std::printf("%-6s %-10s failed\n", formatName(format), kOurs);
        std::fflush(stdout);
        for (const Peer& peer : allPeers()) {
            if (peer.format != format) continue;
            if (!peer.parse) {
                std::printf("%-6s %-10s not built (package missing)\n", formatName(format), peer.name);
                continue;
            }
            Figure fig = measure(peer.name, format, path, runs, 0);
            if (!fig.ok) {
                std::printf("%-6s %-10s failed\n", formatName(format), peer.name);
                continue;
            }
            const double rate = megabytes / fig.best.seconds;
            const double ratio = ours.ok ? oursRate / rate : 0;
            std::printf("%-6s %-10s %9.1f %9.2f %7.2f %9.2f %11s  %s\n", formatName(format), peer.name, rate, ratio,
                        fig.peakBytes / double(megabytes * kMegabyte), fig.best.cpu, "", peer.note);
            std::fflush(stdout);
            char line[128];
            std::snprintf(line, sizeof line, "%s %s-cold %.2f", formatName(format), peer.name, ratio);
            summary.push_back(line);
        }
        // Pre-touched heap: the first of 1 + runs loads in one process only faults the pages in.
        // Ours against the format's first peer that was built (rapidjson, pugixml, libyaml, toml++).
        const Peer* reference = nullptr;
        for (const Peer& peer : allPeers())
            if (!reference && peer.format == format && peer.parse) reference = &peer;
        Figure warmOurs = measure(kOurs, format, path, runs, runs);
        Figure warmPeer = reference ? measure(reference->name, format, path, runs, runs) : Figure();
        if (warmOurs.ok)
            std::printf("%-6s %-10s %9.1f %9s %7s %9.2f %11s  warm heap: decode %.2f s, parse %.2f s\n", formatName(format),
                        kOurs, megabytes / warmOurs.best.seconds, "", "", warmOurs.best.cpu, "", warmOurs.best.decodeSeconds,
                        warmOurs.best.seconds - warmOurs.best.decodeSeconds);
        if (warmPeer.ok) {
            const double ratio = warmOurs.ok ? warmPeer.best.seconds / warmOurs.best.seconds : 0;
            std::printf("%-6s %-10s %9.1f %9.2f %7s %9.2f %11s  warm heap\n", formatName(format), reference->name,
                        megabytes / warmPeer.best.seconds, ratio, "", warmPeer.best.cpu, "");
            char line[128];
            std::snprintf(line, sizeof line, "%s %s-warm %.2f", formatName(format), reference->name, ratio);
            summary.push_back(line);
        }
        std::fflush(stdout);
    }
    std::printf("\nload average at end: %s\n", loadAverage().c_str());
    for (const std::string& line : summary) std::printf("%s\n", line.c_str());
    if (temporary) {
        for (const auto& file : files) std::remove(file.second.c_str());
        rmdir(dir.c_str());
    }
    return 0;
}

int usage() {
    std::fputs("usage: quillmap-bench [--scale F] [--runs N] [--dir DIR [--generate-only]] [--only FORMAT[,FORMAT...]]\n"
               "       formats: json jsonl xml yaml toml\n",
               stderr);
    return 2;
}

}  // namespace
}  // namespace qmbench

int main(int argc, char** argv) {
    using namespace qmbench;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 5 && args[0] == "--child") {
        bool ok;
        Format f = parseFormat(args[2], ok);
        if (!ok) return usage();
        return runChild(args[1], f, args[3], std::atoi(args[4].c_str()));
    }
    double scale = 1.0;
    int runs = 3;
    std::string dir;
    bool generateOnly = false;
    std::vector<Format> formats(std::begin(kAllFormats), std::end(kAllFormats));
    for (size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--scale" && hasValue) {
            scale = std::atof(args[++i].c_str());
        } else if (args[i] == "--runs" && hasValue) {
            runs = std::max(1, std::atoi(args[++i].c_str()));
        } else if (args[i] == "--generate-only") {
            generateOnly = true;
        } else if (args[i] == "--dir" && hasValue) {
            dir = args[++i];
        } else if (args[i] == "--only" && hasValue) {
            formats.clear();
            std::string list = args[++i] + ",";
            for (size_t start = 0, comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1) {
                bool ok;
                formats.push_back(parseFormat(list.substr(start, comma - start), ok));
                if (!ok) return usage();
            }
        } else {
            return usage();
        }
    }
    if (scale <= 0) return usage();
    if (generateOnly && dir.empty()) return usage();
    return runBenchmark(scale, runs, dir, formats, generateOnly);
}
