#include "tests/support/testing.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "document/decode.h"
#include "document/load.h"
#include "document/utf8.h"
#include "edit/nodetext.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace qmtest {

std::string corpusDir() {
    std::error_code ec;
    return std::filesystem::is_directory(QM_CORPUS_DIR, ec) ? std::string(QM_CORPUS_DIR) : std::string();
}

std::wstring platformPath(const std::string& unixPath) {
    std::wstring w = qm::utf8ToWide(unixPath);
#ifdef _WIN32
    if (!w.empty() && w[0] == L'/') w = L"Z:" + w;
    std::replace(w.begin(), w.end(), L'/', L'\\');
#endif
    return w;
}

bool readBytes(const std::string& path, std::vector<uint8_t>& out) {
    std::ifstream f(std::filesystem::u8path(path), std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

std::vector<std::string> listFiles(const std::string& dir, const std::string& suffix) {
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        std::string p = it->path().generic_u8string();
        if (suffix.empty() || (p.size() >= suffix.size() && p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0))
            files.push_back(p);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::wstring decodeForTest(const std::vector<uint8_t>& bytes) {
    size_t skip = (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) ? 3 : 0;
    return qm::utf8ToWide(reinterpret_cast<const char*>(bytes.data()) + skip, bytes.size() - skip);
}

std::unique_ptr<qm::Document> parse(const std::wstring& fileName, const std::wstring& text, bool spans) {
    auto doc = std::make_unique<qm::Document>();
    doc->recordSpans = spans;
    if (!qm::parseText(fileName, text, *doc)) return nullptr;
    return doc;
}

std::unique_ptr<qm::Document> loadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!readBytes(path, bytes)) return nullptr;
    auto doc = std::make_unique<qm::Document>();
    std::wstring text;
    qm::decodeTextWith(bytes, text, doc->encoding, qm::portableCodePageConverter);
    if (!qm::parseText(platformPath(path), text, *doc)) return nullptr;
    return doc;
}

#ifdef _WIN32
static DWORD WINAPI threadEntry(LPVOID p) {
    (*static_cast<const std::function<void()>*>(p))();
    return 0;
}
void runWithStack(size_t stackBytes, const std::function<void()>& fn) {
    HANDLE h = CreateThread(nullptr, stackBytes, threadEntry, const_cast<std::function<void()>*>(&fn),
                            STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(h, nullptr);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
}
#else
static void* threadEntry(void* p) {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
}
void runWithStack(size_t stackBytes, const std::function<void()>& fn) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, stackBytes);
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, &attr, threadEntry, const_cast<std::function<void()>*>(&fn)), 0);
    pthread_join(t, nullptr);
    pthread_attr_destroy(&attr);
}
#endif

std::string u8(std::wstring_view s) { return qm::wideToUtf8(s); }

qm::Node* nodeWithPath(qm::Document& doc, std::wstring_view path) {
    for (size_t i = 0; i < doc.nodes.size(); ++i)
        if (qm::nodePath(&doc.nodes[i], doc.format) == path) return &doc.nodes[i];
    return nullptr;
}

std::wstring joined(size_t n, const std::function<std::wstring(size_t)>& item, std::wstring_view separator) {
    std::wstring text;
    for (size_t i = 0; i < n; ++i) {
        if (i) text += separator;
        text += item(i);
    }
    return text;
}

std::wstring jsonArray(size_t n, const std::function<std::wstring(size_t)>& item) { return L"[" + joined(n, item) + L"]"; }

namespace {

std::string jsonText(std::wstring_view s) { return u8(qm::jsonQuote(s)); }

const char* kindName(qm::NodeKind kind) {
    switch (kind) {
        case qm::NodeKind::Attribute:
        case qm::NodeKind::Text:
        case qm::NodeKind::String: return "string";
        case qm::NodeKind::Number: return "number";
        case qm::NodeKind::Bool: return "bool";
        case qm::NodeKind::Null: return "null";
        default: return "other";
    }
}

// The steps from the root to a node, outermost first, as a JSON array.
std::string stepsOf(const qm::Node* node) {
    std::vector<std::string> steps;
    for (const qm::Node* n = node; n && n->parent; n = n->parent) {
        if (n->kind == qm::NodeKind::Attribute) {
            steps.push_back(jsonText(L"@" + n->name.str()));
        } else if (n->kind == qm::NodeKind::Text) {
            steps.push_back("\"#text\"");
        } else if (n->keyed) {
            steps.push_back(jsonText(n->name.view()));
        } else {
            size_t index = 0;
            for (const qm::Node* sibling : n->parent->children) {
                if (sibling == n) break;
                const bool counts = n->kind == qm::NodeKind::Element ? sibling->kind == qm::NodeKind::Element
                                                                     : sibling->kind != qm::NodeKind::Comment;
                index += counts;
            }
            steps.push_back(std::to_string(index));
        }
    }
    std::string out = "[";
    for (size_t i = steps.size(); i-- > 0;) out += steps[i] + (i ? ", " : "");
    return out + "]";
}

}  // namespace

void exportAcceptedEdit(const AcceptedEdit& edit) {
    const char* folder = std::getenv("QM_EDIT_EXPORT");
    if (!folder || !*folder || !edit.node) return;
    // Under Wine the folder is a Unix path, reached through drive Z:.
    const std::filesystem::path dir(platformPath(folder));
    static int count = 0;
    const std::string base = std::to_string(++count);
    std::ofstream(dir / (base + ".before"), std::ios::binary) << edit.before;
    std::ofstream(dir / (base + ".after"), std::ios::binary)
        .write(reinterpret_cast<const char*>(edit.after.data()), std::streamsize(edit.after.size()));
    std::ofstream lines(dir / "cases.jsonl", std::ios::app | std::ios::binary);
    lines << "{\"n\": " << count << ", \"what\": " << jsonText(qm::utf8ToWide(edit.what))
          << ", \"file\": " << jsonText(edit.fileName) << ", \"encoding\": " << jsonText(edit.encoding)
          << ", \"steps\": " << stepsOf(edit.node) << ", \"typed\": " << jsonText(edit.typed)
          << ", \"kind\": \"" << kindName(edit.node->kind) << "\"}\n";
}

}  // namespace qmtest

#ifndef QM_WIN_TESTS
namespace {

// Every core test starts in English; one that ends in German has switched the language without a
// LanguageGuard. It fails, and the language is put back so that the tests after it are not
// judged in German.
class EnglishAfterEachTest : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        if (!qm::uiGerman) return;
        qm::uiGerman = false;
        ADD_FAILURE() << "the test left the interface language German";
    }
};

}  // namespace
#endif

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    ::testing::InitGoogleTest(&argc, argv);
#ifndef QM_WIN_TESTS
    // The Windows tests load files through the plug-in, which takes the language from the system.
    ::testing::UnitTest::GetInstance()->listeners().Append(new EnglishAfterEachTest);
#endif
    return RUN_ALL_TESTS();
}
