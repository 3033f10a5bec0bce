// The public toml-test suite (TOML 1.0 files): valid files load cleanly and agree with the
// expected JSON beside them; invalid files load or err without a crash. Numbers and dates are
// kept as written, so they are compared by meaning: integers and floats by value, dates after
// normalising the separator, the letter case and trailing zeros of the fraction.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "document/utf8.h"
#include "parsers/toml.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

std::string tomlDir() { return qmtest::corpusDir() + "/toml"; }

// Paths (relative to the toml folder) of the TOML 1.0 files under `prefix`.
std::vector<std::string> listedFiles(const std::string& prefix) {
    std::vector<std::string> files;
    std::ifstream list(tomlDir() + "/files-toml-1.0.0");
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, prefix.size(), prefix) == 0 && line.size() > 5 &&
            line.compare(line.size() - 5, 5, ".toml") == 0)
            files.push_back(line);
    }
    return files;
}

std::wstring readText(const std::string& relative) {
    std::vector<uint8_t> bytes;
    if (!qmtest::readBytes(tomlDir() + "/" + relative, bytes)) return std::wstring();
    return qmtest::decodeForTest(bytes);
}

std::string withoutUnderscores(std::wstring_view s) {
    std::string out;
    for (wchar_t c : s)
        if (c != L'_') out += char(c < 0x80 ? c : '?');
    return out;
}

bool isIntegerToken(const std::string& s) {
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'o' || s[1] == 'b')) return true;
    return s.find_first_of(".eEin") == std::string::npos;
}

// An integer's value as sign and magnitude; false when it does not fit 64 bits.
bool integerValue(const std::string& s, bool& negative, unsigned long long& magnitude) {
    size_t i = 0;
    negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int base = 10;
    if (s.size() - i > 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'o' || s[i + 1] == 'b')) {
        base = s[i + 1] == 'x' ? 16 : s[i + 1] == 'o' ? 8 : 2;
        i += 2;
    }
    if (i >= s.size()) return false;
    errno = 0;
    char* end = nullptr;
    magnitude = std::strtoull(s.c_str() + i, &end, base);
    if (errno != 0 || *end != 0) return false;
    if (magnitude == 0) negative = false;
    return true;
}

// A float's value; inf and nan are read here because not every C library's strtod knows them.
bool floatValue(const std::string& s, double& value) {
    size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
    const double sign = (!s.empty() && s[0] == '-') ? -1.0 : 1.0;
    if (s.compare(i, std::string::npos, "inf") == 0) {
        value = sign * HUGE_VAL;
        return true;
    }
    if (s.compare(i, std::string::npos, "nan") == 0) {
        value = std::nan("");
        return true;
    }
    char* end = nullptr;
    value = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == 0;
}

bool sameNumber(std::wstring_view ours, std::wstring_view expected, bool integer) {
    const std::string a = withoutUnderscores(ours), b = withoutUnderscores(expected);
    if (isIntegerToken(a) != integer) return false;
    if (integer) {
        bool na, nb;
        unsigned long long ma, mb;
        return integerValue(a, na, ma) && integerValue(b, nb, mb) && na == nb && ma == mb;
    }
    double x, y;
    if (!floatValue(a, x) || !floatValue(b, y)) return false;
    return (std::isnan(x) && std::isnan(y)) || x == y;
}

std::wstring normalisedDate(std::wstring s) {
    for (wchar_t& c : s) c = (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c;
    if (s.size() > 10 && s[4] == L'-' && s[10] == L' ') s[10] = L'T';
    size_t dot = s.find(L'.');
    if (dot != std::wstring::npos) {
        size_t end = dot + 1;
        while (end < s.size() && s[end] >= L'0' && s[end] <= L'9') ++end;
        size_t keep = end;
        while (keep > dot + 1 && s[keep - 1] == L'0') --keep;
        if (keep == dot + 1) keep = dot;
        s.erase(keep, end - keep);
    }
    return s;
}

// toml-test's name for the kind of date or time a token is.
std::wstring dateKind(std::wstring_view s) {
    if (s.size() >= 3 && s[2] == L':') return L"time-local";
    if (s.size() == 10) return L"date-local";
    const bool offset = s.back() == L'Z' || s.back() == L'z' || s.find_first_of(L"+-", 19) != std::wstring::npos;
    return offset ? L"datetime" : L"datetime-local";
}

// {"type": ..., "value": ...} of the expected JSON.
bool isTaggedScalar(const Node* n, std::wstring& type, std::wstring& value) {
    if (n->kind != NodeKind::Object || n->children.size() != 2) return false;
    const Node* t = n->children[0]->name == L"type" ? n->children[0] : n->children[1];
    const Node* v = n->children[0]->name == L"value" ? n->children[0] : n->children[1];
    if (t->name != L"type" || v->name != L"value" || t->kind != NodeKind::String || v->kind != NodeKind::String)
        return false;
    type = t->value;
    value = v->value;
    return true;
}

bool sameScalar(const Document& doc, const Node* ours, const std::wstring& type, std::wstring_view value) {
    const wchar_t* tag = nodeTag(doc, ours);
    if (type == L"string") return ours->kind == NodeKind::String && !tag && ours->value == value;
    if (type == L"bool") return ours->kind == NodeKind::Bool && ours->value == value;
    if (type == L"integer" || type == L"float")
        return ours->kind == NodeKind::Number && sameNumber(ours->value, value, type == L"integer");
    return ours->kind == NodeKind::String && tag && std::wstring(tag) == L"datetime" &&
           dateKind(ours->value) == type && normalisedDate(ours->value.str()) == normalisedDate(std::wstring(value));
}

// Readable text for a difference report: control characters as \uXXXX.
std::string shown(std::wstring_view s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (unsigned(c) < 0x20) {
            wchar_t buf[8];
            std::swprintf(buf, 8, L"\\u%04X", unsigned(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return qmtest::u8(out);
}

struct Comparison {
    const Document* ours = nullptr;  // the document of our tree (its type tags)
    size_t values = 0;    // scalars in the expected JSON
    size_t agreeing = 0;  // of them, equal in our tree
    std::vector<std::string> differences;
};

// Walks the expected tree beside ours (both are bounded in depth by their parsers' limits).
void compare(const Node* ours, const Node* want, const std::string& path, Comparison& c) {
    std::wstring type, value;
    if (isTaggedScalar(want, type, value)) {
        ++c.values;
        if (sameScalar(*c.ours, ours, type, value))
            ++c.agreeing;
        else
            c.differences.push_back(path + ": expected " + shown(type) + " '" + shown(value) + "', got '" +
                                    shown(ours->value) + "'");
        return;
    }
    if (ours->kind != want->kind) {
        c.differences.push_back(path + ": container kind differs");
        return;
    }
    std::vector<const Node*> items;
    for (const Node* child : ours->children)
        if (child->kind != NodeKind::Comment) items.push_back(child);
    if (items.size() != want->children.size())
        c.differences.push_back(path + ": " + std::to_string(items.size()) + " children, expected " +
                                std::to_string(want->children.size()));
    for (size_t i = 0; i < want->children.size(); ++i) {
        const Node* w = want->children[i];
        const Node* match = nullptr;
        if (want->kind == NodeKind::Array) {
            if (i < items.size()) match = items[i];
        } else {
            for (const Node* item : items)
                if (item->keyed && item->name == w->name) match = match ? nullptr : item;
        }
        const std::string childPath = path + "/" + (want->kind == NodeKind::Array ? std::to_string(i) : shown(w->name));
        if (match)
            compare(match, w, childPath, c);
        else
            c.differences.push_back(childPath + ": missing or duplicated");
    }
}

}  // namespace

TEST(TomlCorpus, ValidFilesLoadCleanlyAndAgreeWithTheExpectedJson) {
    QM_SKIP_WITHOUT_CORPUS();
    const std::vector<std::string> files = listedFiles("valid/");
    ASSERT_GT(files.size(), 200u);
    size_t clean = 0, declined = 0, filesAgreeing = 0;
    Comparison all;
    for (const std::string& file : files) {
        const std::wstring text = readText(file);
        auto doc = qmtest::parse(utf8ToWide(file), text);
        if (!doc) {
            // The load driver declines blank text of every format; the parser itself is run here.
            ++declined;
            doc = std::make_unique<Document>();
            doc->root = createNode(*doc, NodeKind::Root, nullptr, 0);
            parseToml(*doc, text, 0);
            std::printf("  declined by the load driver (blank text): %s\n", file.c_str());
        }
        if (!doc->errorMessage.empty()) {
            ADD_FAILURE() << file << ": " << qmtest::u8(doc->errorMessage) << " (line " << doc->errorLine << ")";
            continue;
        }
        ++clean;
        std::string jsonFile = file.substr(0, file.size() - 5) + ".json";
        auto expected = qmtest::parse(L"x.json", readText(jsonFile));
        ASSERT_TRUE(expected && expected->errorMessage.empty()) << jsonFile;
        Comparison c;
        c.ours = doc.get();
        compare(doc->root->children.at(0), expected->root->children.at(0), "", c);
        all.values += c.values;
        all.agreeing += c.agreeing;
        if (c.differences.empty()) ++filesAgreeing;
        for (const std::string& d : c.differences) std::printf("  %s %s\n", file.c_str(), d.c_str());
    }
    std::printf("TOML valid files: %zu, loaded without error: %zu (declined as blank: %zu), agreeing with the "
                "expected JSON: %zu; scalar values agreeing: %zu of %zu\n",
                files.size(), clean, declined, filesAgreeing, all.agreeing, all.values);
    EXPECT_EQ(clean, files.size());
    EXPECT_GE(filesAgreeing, 207u);
    EXPECT_GE(all.agreeing, 771u);
}

TEST(TomlCorpus, InvalidFilesLoadOrErrWithoutACrash) {
    QM_SKIP_WITHOUT_CORPUS();
    const std::vector<std::string> files = listedFiles("invalid/");
    ASSERT_GT(files.size(), 400u);
    size_t erred = 0, loaded = 0, declined = 0;
    for (const std::string& file : files) {
        const std::wstring text = readText(file);
        auto doc = qmtest::parse(utf8ToWide(file), text, true);
        if (!doc) {
            ++declined;
            continue;
        }
        (doc->errorMessage.empty() ? loaded : erred)++;
        // Every recorded span lies within the text.
        for (size_t i = 0; i < doc->nodes.size(); ++i) {
            uint32_t a, b;
            if (nodeSpan(*doc, &doc->nodes[i], a, b)) {
                EXPECT_LE(a, b) << file;
                EXPECT_LE(b, text.size()) << file;
            }
        }
    }
    std::printf("TOML invalid files: %zu, reported with an error: %zu, loaded without error: %zu, declined: %zu\n",
                files.size(), erred, loaded, declined);
    EXPECT_GE(erred, 269u);
}
