// Shared helpers of the test suites: where the corpus is, reading files, parsing a text into a
// document, running code on a thread with a small stack, switching the interface language.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "document/document.h"
#include "document/language.h"

namespace qmtest {

// Folder of the shared public corpus ("" when it is missing; tests then skip).
std::string corpusDir();
// Path usable by the code under test: on Windows a Z: drive path with backslashes.
std::wstring platformPath(const std::string& unixPath);
bool readBytes(const std::string& path, std::vector<uint8_t>& out);
inline std::vector<uint8_t> bytesOf(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::vector<std::string> listFiles(const std::string& dir, const std::string& suffix = "");
// Decodes UTF-8 (with or without a mark) portably, for corpus files in core tests.
std::wstring decodeForTest(const std::vector<uint8_t>& bytes);
// parseText on a fresh document.
std::unique_ptr<qm::Document> parse(const std::wstring& fileName, const std::wstring& text, bool spans = false);
// The node whose path, as "Copy path" writes it, is `path`, found by walking the store rather than
// by the path resolvers; null when there is none.
qm::Node* nodeWithPath(qm::Document& doc, std::wstring_view path);
// A file read, decoded in any encoding (the portable code pages) and parsed as the plug-in would;
// null when it cannot be read or parsing gives nothing.
std::unique_ptr<qm::Document> loadFile(const std::string& path);
// Runs fn on a thread whose stack is `stackBytes` big; returns when it is done.
void runWithStack(size_t stackBytes, const std::function<void()>& fn);
// Narrow text of a wide string (UTF-8), for failure messages.
std::string u8(std::wstring_view s);
// item(0) ... item(n - 1) one after another with `separator` between them, and the JSON array of
// them: the many records of the files that growth tests and big-file windows are given.
std::wstring joined(size_t n, const std::function<std::wstring(size_t)>& item, std::wstring_view separator = L",");
std::wstring jsonArray(size_t n, const std::function<std::wstring(size_t)>& item);

// When the environment variable QM_EDIT_EXPORT names a folder (a Unix path also under Wine), an
// accepted edit of the edit-outcome tables (natively, and the saves in code pages under Wine) is
// written there for tests/tools/edit_readers.py, which reads the file
// before and after with the format's usual reader: "<n>.before" and "<n>.after" hold the bytes,
// and a line of "cases.jsonl" the case's name, the file's name and encoding label, the steps from
// the root to the node (keys, indexes among values or elements, "@name" for an attribute, "#text"
// for an element's text), the typed text and the node's kind afterwards.
struct AcceptedEdit {
    std::string what;
    std::wstring fileName, encoding, typed;
    std::string before;
    std::vector<uint8_t> after;
    const qm::Node* node = nullptr;
};
void exportAcceptedEdit(const AcceptedEdit& edit);

// Switches the interface language for one scope and puts the one before back when the scope
// ends, also when a failed assertion leaves the test early: `LanguageGuard german(true);`.
class LanguageGuard {
public:
    explicit LanguageGuard(bool german) : saved_(qm::uiGerman) { qm::uiGerman = german; }
    ~LanguageGuard() { qm::uiGerman = saved_; }
    LanguageGuard(const LanguageGuard&) = delete;
    LanguageGuard& operator=(const LanguageGuard&) = delete;

private:
    bool saved_;
};

// The first-error tables of the parsers: each case's `text`, parsed in English and in German,
// gives the tree built before the error (`shape`, as `shapeOf` prints the document), the message
// in each language and the error's line; `more` checks what else a table's rows say.
template <class Case, class Parse, class Shape>
void expectFirstErrors(
    const std::vector<Case>& cases, Parse parse, Shape shapeOf,
    const std::function<void(const Case&, const qm::Document&)>& more = [](const Case&, const qm::Document&) {}) {
    for (const bool german : {false, true}) {
        LanguageGuard language(german);
        for (const Case& c : cases) {
            auto d = parse(c.text);
            ASSERT_TRUE(d) << u8(c.text);
            EXPECT_EQ(d->errorMessage, german ? c.german : c.english) << u8(c.text);
            EXPECT_EQ(d->errorLine, c.line) << u8(c.text);
            EXPECT_EQ(shapeOf(*d), c.shape) << u8(c.text);
            more(c, *d);
        }
    }
}

}  // namespace qmtest

#define QM_SKIP_WITHOUT_CORPUS()                                                   \
    do {                                                                           \
        if (qmtest::corpusDir().empty()) GTEST_SKIP() << "shared corpus folder is missing"; \
    } while (0)
