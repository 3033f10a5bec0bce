// quillmap-dump: runs the real load driver on a file and prints the document, one line per node.
// Scripts rely on its exit status: 0 loaded cleanly, 1 loaded with a parse error, 2 declined or
// unreadable (with one line on stderr saying why), 3 usage error. --stats times the load's steps
// and reports its memory instead.
// --find TEXT [--regex] [--case] [--words] prints the path of every node whose name or value
// matches, in document order, tested as the search tests them (an invalid expression is a usage
// error; a listing that needs more work than one search may do stops with status 2).
// --set PATH VALUE [--save] (Windows build) edits the value of the node whose path is PATH as the
// viewer's "Edit value" does, with VALUE as the typed text, and with --save writes the file as
// "Save changes" does; a refused edit or save prints the viewer's message and exits with 1. With
// --stats it also prints the time the edit took.
// --get PATH prints the line of the node the path names (in any syntax the document's paths use),
// or says on stderr that no node has that path and exits with 4.
// --requests LIST [FILE] answers the requests of a UTF-8 file, one a line, paths escaped as the node
// lines escape texts: "file PATH" loads that file and prints "file S" (S as the exit status above);
// "nodes" prints the node lines and "end"; "get PATH" prints "node N" (N counts the node lines from
// 1) or "none"; "copy PATH" and "copy-root" print "copy N BYTES", a line feed, the node's "Copy as"
// text of that many bytes and a line feed (N is 0 for the root), or "none". One run checks the
// paths and copies of a whole corpus.
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "document/decode.h"
#include "document/document.h"
#include "document/load.h"
#include "document/textfile.h"
#include "document/utf8.h"
#include "edit/convert.h"
#include "edit/editing.h"
#include "edit/nodetext.h"
#include "edit/pathfind.h"
#include "shell/match.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <psapi.h>

#include "parsers/registry.h"
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const char* kindName(qm::NodeKind k) {
    static const char* const names[] = {"Root",    "Element",  "Attribute",             "Text",
                                        "CData",   "Comment",  "ProcessingInstruction", "DocType",
                                        "XmlDeclaration", "Object", "Array", "String", "Number", "Bool", "Null"};
    size_t i = static_cast<size_t>(k);
    return i < sizeof names / sizeof names[0] ? names[i] : "?";
}

// One node per line: control characters and backslashes are escaped.
std::string escaped(std::wstring_view s) {
    std::wstring out;
    out.reserve(s.size());
    for (wchar_t c : s) {
        switch (c) {
            case L'\\': out += L"\\\\"; break;
            case L'\n': out += L"\\n"; break;
            case L'\r': out += L"\\r"; break;
            case L'\t': out += L"\\t"; break;
            default:
                if (unsigned(c) < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
                    wchar_t buf[8];
                    std::swprintf(buf, 8, L"\\u%04X", unsigned(c));
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return qm::wideToUtf8(out);
}

struct Options {
    bool spans = false;
    bool copyAs = false;  // print the "Copy as" text of the root instead of the nodes
    bool stats = false;   // print load times and memory instead of the nodes
    bool find = false;    // print the paths of the nodes that match findText
    unsigned findFlags = 0;
    std::wstring findText;
    bool set = false;     // edit the value of the node at setPath
    bool save = false;    // and save the file
    std::wstring setPath;
    std::wstring setValue;
    bool get = false;  // print the node at getPath
    std::wstring getPath;
    std::wstring requestsPath;  // answer the requests in this file
    std::wstring path;
};

void print(const std::string& s) { std::fwrite(s.data(), 1, s.size(), stdout); }

// One node per line: depth, kind, line, name or key, value, tag, label, path, preview (and span).
std::string nodeLine(const qm::Document& doc, const qm::Node* node, size_t depth, const Options& opt,
                     qm::XPathPositions* positions) {
    std::string line = std::to_string(depth) + "\t" + kindName(node->kind) + "\t" + std::to_string(node->line) + "\t";
    line += node->keyed ? "key=" : "name=";
    line += escaped(node->name) + "\tvalue=" + escaped(node->value);
    if (const wchar_t* tag = qm::nodeTag(doc, node)) line += "\ttag=" + escaped(tag);
    line += "\tlabel=" + escaped(qm::nodeLabel(node));
    line += "\tpath=" + escaped(qm::nodePath(node, doc.format, positions));
    line += "\tpreview=" + escaped(qm::valuePreview(node));
    if (opt.spans) {
        uint32_t a, b;
        if (qm::nodeSpan(doc, node, a, b)) line += "\tspan=" + std::to_string(a) + "-" + std::to_string(b);
    }
    return line + "\n";
}

void dump(const qm::Document& doc, const Options& opt) {
    print("format: " + qm::wideToUtf8(qm::formatDisplayName(doc.format)) + "\n");
    print("encoding: " + qm::wideToUtf8(doc.encoding) + "\n");
    if (doc.errorMessage.empty())
        print("error: none\n");
    else
        print("error: " + escaped(doc.errorMessage) + " (line " + std::to_string(doc.errorLine) + ")\n");
    print("nodes: " + std::to_string(qm::nodeCount(doc)) + "\n");
    // Pre-order walk with an explicit stack: XML and registry trees have no depth limit.
    std::vector<std::pair<const qm::Node*, size_t>> stack;
    for (size_t i = doc.root->children.size(); i-- > 0;) stack.emplace_back(doc.root->children[i], 1);
    qm::XPathPositions positions;  // keeps the paths of wide XML elements linear
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        print(nodeLine(doc, node, depth, opt, &positions));
        for (size_t i = node->children.size(); i-- > 0;) stack.emplace_back(node->children[i], depth + 1);
    }
}

// The nodes below the root in the order of the node lines (pre-order), numbered from 1.
std::unordered_map<const qm::Node*, size_t> nodeNumbers(const qm::Document& doc) {
    std::unordered_map<const qm::Node*, size_t> numbers;
    std::vector<const qm::Node*> stack(doc.root->children.rbegin(), doc.root->children.rend());
    while (!stack.empty()) {
        const qm::Node* node = stack.back();
        stack.pop_back();
        numbers.emplace(node, numbers.size() + 1);
        stack.insert(stack.end(), node->children.rbegin(), node->children.rend());
    }
    return numbers;
}

// The node at opt.getPath as its node line, with its depth below the root (a path into a
// string's embedded JSON opens that string).
int get(qm::Document& doc, const Options& opt) {
    const qm::Node* node = qm::findByPath(doc, opt.getPath);
    if (!node) {
        std::fprintf(stderr, "quillmap-dump: no node has the path %s\n", escaped(opt.getPath).c_str());
        return 4;
    }
    size_t depth = 0;
    for (const qm::Node* n = node; n != doc.root; n = n->parent) ++depth;
    print(nodeLine(doc, node, depth, opt, nullptr));
    return 0;
}

// The inverse of escaped(): "\\", "\n", "\r", "\t" and "\uXXXX".
std::wstring unescaped(std::wstring_view s) {
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != L'\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const wchar_t c = s[++i];
        if (c == L'n') out += L'\n';
        else if (c == L'r') out += L'\r';
        else if (c == L't') out += L'\t';
        else if (c == L'u' && i + 4 < s.size()) {
            out += wchar_t(std::wcstoul(std::wstring(s.substr(i + 1, 4)).c_str(), nullptr, 16));
            i += 4;
        } else out += c;
    }
    return out;
}

// ---- --stats: the load driver's steps timed one by one, with the process's memory ----

double seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

#ifdef _WIN32
// The processor time the process has used (user and kernel): steadier than the time passed on
// a busy machine.
double processorSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto value = [](const FILETIME& t) { return (double(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) * 1e-7; };
    return value(kernel) + value(user);
}
#endif

// Current and peak resident memory of the process in bytes (the working set on Windows).
void memoryUse(double& current, double& peak) {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    current = double(counters.WorkingSetSize);
    peak = double(counters.PeakWorkingSetSize);
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    peak = double(usage.ru_maxrss) * 1024;
    current = 0;
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) == 2) current = double(resident) * double(sysconf(_SC_PAGESIZE));
        std::fclose(f);
    }
#endif
}

// The file's bytes, read whole as the viewer reads them (natively by the same rules: nothing over
// kMaxFileBytes, the buffer sized once from the file size), into the memory `space` gives.
#ifndef _WIN32
template <typename Space>
bool readBytesInto(const std::wstring& path, qm::LoadFailure& failure, Space space, size_t& total) {
    total = 0;
    const std::string name = qm::wideToUtf8(path);
    struct stat info {};
    if (stat(name.c_str(), &info) != 0) {
        failure = errno == ENOENT || errno == ENOTDIR ? qm::LoadFailure::NotFound : qm::LoadFailure::Unreadable;
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        failure = qm::LoadFailure::Folder;
        return false;
    }
    if (info.st_size < 0 || uint64_t(info.st_size) > qm::kMaxFileBytes) {
        failure = qm::LoadFailure::TooLarge;
        return false;
    }
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) {
        failure = qm::LoadFailure::Unreadable;
        return false;
    }
    uint8_t* bytes = nullptr;
    try {
        bytes = space(size_t(info.st_size));
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        failure = qm::LoadFailure::OutOfMemory;
        return false;
    }
    while (total < size_t(info.st_size)) {
        const size_t got = std::fread(bytes + total, 1, size_t(info.st_size) - total, file);
        if (got == 0) break;
        total += got;
    }
    std::fclose(file);
    return true;
}
#endif

bool readBytes(const std::wstring& path, std::vector<uint8_t>& bytes, qm::LoadFailure& failure) {
#ifdef _WIN32
    return qm::readWholeFile(path, bytes, &failure);
#else
    size_t total = 0;
    if (!readBytesInto(path, failure, [&](size_t size) {
            bytes.resize(size);
            return bytes.data();
        }, total))
        return false;
    bytes.resize(total);
    return true;
#endif
}

// Into the document's file space, as the load driver reads.
bool readBytes(const std::wstring& path, qm::Arena& store, const uint8_t*& data, size_t& size,
               qm::LoadFailure& failure) {
#ifdef _WIN32
    return qm::readWholeFile(path, store, data, size, &failure);
#else
    return readBytesInto(path, failure, [&](size_t wanted) {
        uint8_t* space = store.fileSpace(wanted);
        data = space;
        return space;
    }, size);
#endif
}

void decodeBytes(const uint8_t* data, size_t size, std::wstring& text, std::wstring& encoding) {
#ifdef _WIN32
    qm::decodeTextWith(data, size, text, encoding, qm::windowsCodePageConverter);
#else
    qm::decodeTextWith(data, size, text, encoding, qm::portableCodePageConverter);
#endif
}

// The load driver as the viewer runs it: loadDocument on Windows, natively the same steps with the
// portable decoder. False with the reason when the file is not shown.
bool load(const std::wstring& path, qm::Document& doc, qm::LoadFailure& failure) {
#ifdef _WIN32
    return qm::loadDocument(path, doc, &failure);
#else
    try {
        std::wstring text;
        bool empty;
        {
            const uint8_t* bytes = nullptr;
            size_t size = 0;
            if (!readBytes(path, doc.store, bytes, size, failure)) return false;
            empty = size == 0;
            qm::noteLoadedBytes(doc, bytes, size);
            decodeBytes(bytes, size, text, doc.encoding);
            doc.store.reuseFileSpace();
        }
        if (qm::parseText(path, std::move(text), doc)) return true;
        failure = empty ? qm::LoadFailure::Empty : qm::LoadFailure::Declined;
    } catch (const std::bad_alloc&) {
        failure = qm::LoadFailure::OutOfMemory;
    }
    return false;
#endif
}

// Answers the requests of the file at opt.requestsPath (see the top of this file), on opt.path
// when it is given and on each file a "file" request names.
int answerRequests(const Options& opt) {
    std::vector<uint8_t> bytes;
    qm::LoadFailure failure = qm::LoadFailure::None;
    if (!readBytes(opt.requestsPath, bytes, failure)) {
        std::fprintf(stderr, "quillmap-dump: cannot read %s\n", qm::wideToUtf8(opt.requestsPath).c_str());
        return 3;
    }
    const std::wstring requests = qm::utf8ToWide(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::unique_ptr<qm::Document> doc;
    std::unordered_map<const qm::Node*, size_t> numbers;
    int status = 0;
    auto open = [&](const std::wstring& path) {
        doc = std::make_unique<qm::Document>();
        if (!load(path, *doc, failure)) {
            doc.reset();
            return 2;
        }
        numbers = nodeNumbers(*doc);
        return doc->errorMessage.empty() ? 0 : 1;
    };
    auto numberOf = [&](const qm::Node* node) {
        const auto found = numbers.find(node);
        return found == numbers.end() ? size_t(0) : found->second;
    };
    if (!opt.path.empty()) status = open(opt.path);
    for (size_t start = 0; start < requests.size();) {
        size_t end = requests.find(L'\n', start);
        if (end == std::wstring::npos) end = requests.size();
        const std::wstring_view request = std::wstring_view(requests).substr(start, end - start);
        start = end + 1;
        auto argument = [&](size_t wordLength) { return unescaped(request.substr(wordLength)); };
        if (request.rfind(L"file ", 0) == 0) {
            status = open(argument(5));
            print("file " + std::to_string(status) + "\n");
            continue;
        }
        if (!doc) {
            if (!request.empty()) print("none\n");
            continue;
        }
        if (request == L"nodes") {
            dump(*doc, opt);
            print("end\n");
            continue;
        }
        const bool copy = request.rfind(L"copy ", 0) == 0, root = request == L"copy-root";
        if (!copy && !root && request.rfind(L"get ", 0) != 0) continue;
        const qm::Node* node = root ? doc->root : qm::findByPath(*doc, argument(copy ? 5 : 4));
        if (!node) {
            print("none\n");
        } else if (copy || root) {
            const std::string text = qm::wideToUtf8(qm::subtreeText(node, *doc));
            print("copy " + std::to_string(numberOf(node)) + " " + std::to_string(text.size()) + "\n" + text + "\n");
        } else {
            print("node " + std::to_string(numberOf(node)) + "\n");
        }
    }
    return status;
}

// Says on stderr why the file was not loaded; returns the exit status 2.
int notLoaded(const std::wstring& path, qm::LoadFailure failure) {
    const std::string name = qm::wideToUtf8(path);
    switch (failure) {
        case qm::LoadFailure::NotFound:
            std::fprintf(stderr, "quillmap-dump: cannot open %s: no such file\n", name.c_str());
            break;
        case qm::LoadFailure::Folder: std::fprintf(stderr, "quillmap-dump: %s is a folder\n", name.c_str()); break;
        case qm::LoadFailure::TooLarge:
            std::fprintf(stderr, "quillmap-dump: %s is larger than %u MiB\n", name.c_str(),
                         unsigned(qm::kMaxFileBytes >> 20));
            break;
        case qm::LoadFailure::Unreadable: std::fprintf(stderr, "quillmap-dump: cannot read %s\n", name.c_str()); break;
        case qm::LoadFailure::OutOfMemory:
            std::fprintf(stderr, "quillmap-dump: out of memory loading %s\n", name.c_str());
            break;
        case qm::LoadFailure::Empty: std::fprintf(stderr, "quillmap-dump: %s is empty\n", name.c_str()); break;
        case qm::LoadFailure::None:
        case qm::LoadFailure::Declined:
            std::fprintf(stderr, "quillmap-dump: %s holds no XML, JSON, YAML, TOML or registry data\n", name.c_str());
            break;
    }
    return 2;
}

// The load driver's read, decode and parse, each timed. "tree bytes per node" is what the resident
// memory grew by while parsing (the decoded text was already resident) plus the byte buffer the
// document's store took over, per node.
int loadWithStats(const Options& opt, qm::Document& doc) {
#ifdef _WIN32
    qm::installRegistryAnsiDecoder();
#endif
    double startMemory, peak, beforeParse, afterParse;
    memoryUse(startMemory, peak);
    const double t0 = seconds();
    std::wstring text;
    size_t fileBytes;
    double t1, t2;
    qm::LoadFailure failure = qm::LoadFailure::None;
    {
        const uint8_t* bytes = nullptr;
        if (!readBytes(opt.path, doc.store, bytes, fileBytes, failure)) return notLoaded(opt.path, failure);
        t1 = seconds();
        decodeBytes(bytes, fileBytes, text, doc.encoding);
        doc.store.reuseFileSpace();  // as the load driver does
    }
    t2 = seconds();
    memoryUse(beforeParse, peak);
    const bool accepted = qm::parseText(opt.path, std::move(text), doc);
    const double t3 = seconds();
    memoryUse(afterParse, peak);
    if (!accepted) return notLoaded(opt.path, fileBytes ? qm::LoadFailure::Declined : qm::LoadFailure::Empty);
    const double megabytes = double(fileBytes) / 1e6;
    const size_t nodes = qm::nodeCount(doc);
    std::printf("format: %s\nencoding: %s\nerror: %s\nnodes: %zu\nfile bytes: %zu\n",
                qm::wideToUtf8(qm::formatDisplayName(doc.format)).c_str(), qm::wideToUtf8(doc.encoding).c_str(),
                doc.errorMessage.empty() ? "none" : escaped(doc.errorMessage).c_str(), nodes, fileBytes);
    std::printf("read: %.3f s\ndecode: %.3f s\nparse: %.3f s\n", t1 - t0, t2 - t1, t3 - t2);
    std::printf("load: %.3f s (%.1f MB/s; decode and parse %.1f MB/s)\n", t3 - t0, megabytes / (t3 - t0),
                megabytes / (t3 - t1));
    std::printf("peak working set: %.0f bytes (%.2f per input byte above the %.0f at start)\n", peak,
                fileBytes ? (peak - startMemory) / double(fileBytes) : 0.0, startMemory);
    // The file space was resident before parsing and now holds the tree's first part.
    const double treeBytes = afterParse - beforeParse + double(doc.store.bytesOfFileSpace());
    std::printf("tree bytes per node: %.1f\n", nodes ? treeBytes / double(nodes) : 0.0);
    std::printf("node memory: %zu bytes; document store: %zu bytes (nodes, texts, child lists; %zu taken over from the "
                "file's bytes)\n",
                doc.nodes.size() * sizeof(qm::Node), doc.store.bytesReserved(), doc.store.bytesOfFileSpace());
    return doc.errorMessage.empty() ? 0 : 1;
}

int usage() {
    std::fputs("usage: quillmap-dump [--spans] [--copy-as | --stats | --find TEXT [--regex] [--case] [--words] | "
               "--set PATH VALUE [--save] [--stats] | --get PATH] FILE\n       quillmap-dump --requests LIST [FILE]\n",
               stderr);
    return 3;
}

#ifdef _WIN32
// The viewer's edit and save on the node at opt.setPath, with opt.setValue as the typed text.
int setValue(qm::Document& doc, const Options& opt) {
    qm::Node* target = qm::findByPath(doc, opt.setPath);
    if (!target) {
        std::fprintf(stderr, "quillmap-dump: no node has the path %s\n", qm::wideToUtf8(opt.setPath).c_str());
        return 3;
    }
    const double started = seconds(), processor = processorSeconds();
    const qm::EditOutcome outcome = qm::editValue(doc, opt.path, target, [&opt](std::wstring& value) {
        value = opt.setValue;
        return true;
    });
    if (opt.stats)
        std::printf("edit: %.3f s (%.3f s of processor time, %zu characters parsed to check it)\n", seconds() - started,
                    processorSeconds() - processor, outcome.parsedCharacters);
    std::wstring message = outcome.message;
    if (message.empty() && opt.save) message = qm::saveDocument(doc, opt.path);
    if (!message.empty()) {
        std::fprintf(stderr, "%s\n", qm::wideToUtf8(message).c_str());
        return 1;
    }
    print(std::string(opt.save ? "saved: " : "edited: ") + qm::wideToUtf8(opt.setPath) + "\n");
    return 0;
}
#endif

// The structured grep: paths of the matching nodes in document order (pre-order, explicit stack).
int find(const qm::Document& doc, const Options& opt) {
    qm::HighlightState search;
    if (!qm::beginHighlight(search, opt.findText, opt.findFlags)) {
        std::fputs("quillmap-dump: invalid regular expression\n", stderr);
        return 3;
    }
    // One budget for the whole listing, as for one search in the viewer.
    qm::WorkBudget budget(qm::kSearchWorkUnits);
    std::vector<const qm::Node*> stack(doc.root->children.rbegin(), doc.root->children.rend());
    while (!stack.empty()) {
        const qm::Node* node = stack.back();
        stack.pop_back();
        qm::TextMatch m = qm::matchNode(search, node, budget);
        if (m == qm::TextMatch::Stopped) {
            std::fputs("quillmap-dump: search stopped: too much work\n", stderr);
            return 2;
        }
        if (m == qm::TextMatch::Yes) print(qm::wideToUtf8(qm::nodePath(node, doc.format)) + "\n");
        stack.insert(stack.end(), node->children.rbegin(), node->children.rend());
    }
    return doc.errorMessage.empty() ? 0 : 1;
}

int run(const std::vector<std::wstring>& args) {
    Options opt;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::wstring& a = args[k];
        if (a == L"--find" && k + 1 < args.size() && !args[k + 1].empty()) {
            opt.find = true;
            opt.findText = args[++k];
        } else if (a == L"--regex") {
            opt.findFlags |= qm::kSearchRegex;
        } else if (a == L"--case") {
            opt.findFlags |= qm::kSearchMatchCase;
        } else if (a == L"--words") {
            opt.findFlags |= qm::kSearchWholeWords;
        } else if (a == L"--spans")
            opt.spans = true;
        else if (a == L"--copy-as")
            opt.copyAs = true;
        else if (a == L"--stats")
            opt.stats = true;
        else if (a == L"--set" && k + 2 < args.size()) {
            opt.set = true;
            opt.setPath = args[++k];
            opt.setValue = args[++k];
        } else if (a == L"--save")
            opt.save = true;
        else if (a == L"--get" && k + 1 < args.size()) {
            opt.get = true;
            opt.getPath = args[++k];
        } else if (a == L"--requests" && k + 1 < args.size())
            opt.requestsPath = args[++k];
        else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-')
            return usage();
        else if (opt.path.empty())
            opt.path = a;
        else
            return usage();
    }
    if (!opt.requestsPath.empty()) return answerRequests(opt);
    if (opt.path.empty() || (opt.save && !opt.set)) return usage();
    qm::Document doc;
    // The viewer's documents record their spans, which its first edit uses.
    doc.recordSpans = opt.spans || opt.set;
    if (opt.stats && !opt.set) return loadWithStats(opt, doc);
    qm::LoadFailure failure = qm::LoadFailure::None;
    if (!load(opt.path, doc, failure)) return notLoaded(opt.path, failure);
    if (opt.find) return find(doc, opt);
    if (opt.get) return get(doc, opt);
#ifdef _WIN32
    if (opt.set) return setValue(doc, opt);
#else
    if (opt.set) {
        std::fputs("quillmap-dump: --set needs the Windows build\n", stderr);
        return 3;
    }
#endif
    if (opt.copyAs)
        print(qm::wideToUtf8(qm::subtreeText(doc.root, doc)) + "\r\n");
    else
        dump(doc, opt);
    return doc.errorMessage.empty() ? 0 : 1;
}

// Runs the tool; what escapes it (memory for the output, say) is named on stderr, with status 2.
int guarded(const std::vector<std::wstring>& args) {
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        std::fputs("quillmap-dump: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillmap-dump: %s\n", e.what());
    } catch (...) {
        std::fputs("quillmap-dump: unexpected failure\n", stderr);
    }
    return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return guarded(args);
}
#else
int main(int argc, char** argv) {
    // Wide character classes (letters in paths, white space in YAML quoting) as on Windows,
    // where they do not depend on the locale.
    std::setlocale(LC_ALL, "C.UTF-8");
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(qm::utf8ToWide(argv[i]));
    return guarded(args);
}
#endif
