// Value editing without Windows: the per-format quoting, and the edit's checks and splicing on
// files held in memory (the encoder and decoder are the portable UTF-8 and Windows-1252 ones).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "document/decode.h"
#include "document/language.h"
#include "document/load.h"
#include "edit/editing.h"
#include "edit/nodetext.h"
#include "tests/support/testing.h"

namespace {

using qm::NodeKind;

// Files in memory, each with a read-only flag.
class MemoryFiles : public qm::EditFileAccess {
public:
    std::map<std::wstring, std::vector<uint8_t>> files;
    bool readOnly = false;
    int reads = 0;
    bool writable(const std::wstring& path) override { return files.count(path) && !readOnly; }
    bool read(const std::wstring& path, std::vector<uint8_t>& bytes) override {
        ++reads;
        if (!files.count(path)) return false;
        bytes = files[path];
        return true;
    }
    void decode(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding) override {
        qm::decodeTextWith(bytes, text, encoding, qm::portableCodePageConverter);
    }
    qm::CodePageEncoder encoder() override { return qm::portableCodePageEncoder; }
};

std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

struct Loaded {
    MemoryFiles disk;
    std::unique_ptr<qm::Document> doc = std::make_unique<qm::Document>();
    std::wstring path;

    // spansAtLoad: the document records its spans when loaded, as the plug-in's documents do.
    Loaded(const std::wstring& name, const std::string& bytes, bool spansAtLoad = false) : path(name) {
        disk.files[path] = bytesOf(bytes);
        doc->recordSpans = spansAtLoad;
        std::wstring text;
        disk.decode(disk.files[path], text, doc->encoding);
        EXPECT_TRUE(qm::parseText(path, std::move(text), *doc));
    }
    qm::Node* at(const std::wstring& wanted) {
        for (size_t i = 0; i < doc->nodes.size(); ++i)
            if (qm::nodePath(&doc->nodes[i], doc->format) == wanted) return &doc->nodes[i];
        ADD_FAILURE() << "no node " << qmtest::u8(wanted);
        return nullptr;
    }
    qm::EditOutcome edit(const std::wstring& nodePath, const std::wstring& typed, bool confirm = true) {
        return qm::editValueWith(*doc, path, at(nodePath), [&](std::wstring& value) {
            value = typed;
            return confirm;
        }, disk);
    }
};

const std::wstring kInvalid = L"The value is not valid here. Put text in quotes.";
const std::wstring kChanged = L"The file has changed. Please reopen it.";
const std::wstring kNoSpan = L"This value cannot be edited directly (e.g. alias or multi-line block).";
const std::wstring kEncoding = L"The file's text encoding cannot be preserved.";

// One edit of one value: the message it gets, and when accepted the whole edited text and the
// node's kind afterwards.
struct EditCase {
    const char* what;
    const wchar_t* file;
    std::string bytes;
    const wchar_t* path;
    const wchar_t* typed;
    std::wstring message;
    const wchar_t* editedText;  // expected editedText when accepted
    NodeKind kindAfter;
};

// A JSON file {"s": "x", "pad": "pp…<tail> whose pad fills its first 65,535 characters: the
// check that the text encodes back to the file's bytes runs in slices of 65,536 characters.
std::string pastFirstSlice(const std::string& tail) {
    const std::string head = "{\"s\": \"x\", \"pad\": \"";
    return head + std::string(65535 - head.size(), 'p') + tail;
}

const EditCase kEditCases[] = {
    {"JSON: a word into a number does not parse", L"a.json", "{\"n\": 1}", L"$.n", L"abc", kInvalid, nullptr, NodeKind::Number},
    {"JSON: quotes typed into a number give another value", L"a.json", "{\"n\": 1}", L"$.n", L"\"abc\"", kInvalid, nullptr,
     NodeKind::Number},
    {"JSON: null into a number changes its kind", L"a.json", "{\"n\": 1, \"m\": 2}", L"$.n", L"null", L"", L"{\"n\": null, \"m\": 2}",
     NodeKind::Null},
    {"JSON: a number into a string stays a string", L"a.json", "{\"s\": \"x\"}", L"$.s", L"42", L"", L"{\"s\": \"42\"}",
     NodeKind::String},
    {"JSON: quotes and backslashes are escaped", L"a.json", "{\"s\": \"x\"}", L"$.s", L"a\"b\\c", L"",
     L"{\"s\": \"a\\\"b\\\\c\"}", NodeKind::String},
    {"JSON Lines: the record line keeps its neighbours", L"a.jsonl", "{\"a\":1}\n{\"a\":2}\n", L"$[1].a", L"7", L"",
     L"{\"a\":1}\n{\"a\":7}\n", NodeKind::Number},
    {"XML: spaces around element text are refused", L"a.xml", "<r><t>x</t></r>", L"/r/t/text()", L" y ", kInvalid, nullptr,
     NodeKind::Text},
    {"XML: a less-than sign in text is escaped", L"a.xml", "<r><t>x</t></r>", L"/r/t/text()", L"a<b", L"",
     L"<r><t>a&lt;b</t></r>", NodeKind::Text},
    {"XML: a line break in an attribute keeps the quotes", L"a.xml", "<r k=\"v\"/>", L"/r/@k", L"x\r\ny\tz", L"",
     L"<r k=\"x&#10;y&#9;z\"/>", NodeKind::Attribute},
    {"YAML: true into an unquoted string is quoted", L"a.yaml", "s: word\n", L"$.s", L"true", L"", L"s: \"true\"\n",
     NodeKind::String},
    {"YAML: a comment sign after a space is quoted", L"a.yaml", "s: word\n", L"$.s", L"a # b", L"", L"s: \"a # b\"\n",
     NodeKind::String},
    {"YAML: a single-quoted value stays single-quoted", L"a.yaml", "s: 'it''s'\n", L"$.s", L"it is", L"", L"s: 'it is'\n",
     NodeKind::String},
    {"YAML: an apostrophe in a single-quoted value is doubled", L"a.yaml", "s: 'x'\n", L"$.s", L"it's", L"",
     L"s: 'it''s'\n", NodeKind::String},
    {"YAML: a number typed into a number changes to a string and back", L"a.yaml", "n: 5\n", L"$.n", L"five", L"",
     L"n: five\n", NodeKind::String},
    {"YAML: a block scalar has no span", L"a.yaml", "s: |\n  a\n  b\n", L"$.s", L"x", kNoSpan, nullptr, NodeKind::String},
    {"TOML: a literal string with a backslash becomes a basic string", L"a.toml", "p = 'C:\\dir'\n", L"p", L"C:\\new", L"",
     L"p = \"C:\\\\new\"\n", NodeKind::String},
    {"TOML: a literal string stays literal", L"a.toml", "p = 'a'\n", L"p", L"b c", L"", L"p = 'b c'\n", NodeKind::String},
    {"TOML: a multi-line string has no span", L"a.toml", "p = \"\"\"\na\nb\"\"\"\n", L"p", L"x", kNoSpan, nullptr,
     NodeKind::String},
    {"Registry files are refused", L"a.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"x\"\r\n",
     L"HKEY_CURRENT_USER\\A\\v", L"y", L"Registry files cannot be edited.", nullptr, NodeKind::String},
    {"A document with a parse error is refused", L"a.json", "{\"n\": 1,", L"$.n", L"2",
     L"The file contains errors and cannot be edited.", nullptr, NodeKind::Number},
    {"Windows-1252: a character outside the code page", L"a.xml", "<r>caf\xE9</r>", L"/r/text()", L"\u20AC\u4E00", kEncoding,
     nullptr, NodeKind::Text},
    {"Windows-1252: a character inside the code page", L"a.xml", "<r>caf\xE9</r>", L"/r/text()", L"\u20AC", L"",
     L"<r>\u20AC</r>", NodeKind::Text},
    {"UTF-8 takes any character", L"a.xml", "<r>caf\xC3\xA9</r>", L"/r/text()", L"\u4E00", L"", L"<r>\u4E00</r>",
     NodeKind::Text},
    {"a surrogate pair across two slices of the encoding check", L"a.json", pastFirstSlice("\xF0\x9F\x98\x80\"}"), L"$.s",
     L"y", L"", nullptr, NodeKind::String},
    {"a byte Windows-1252 does not define, 70,000 characters into the second slice", L"a.json",
     pastFirstSlice(std::string(70000, 'q') + "\x81\"}"), L"$.s", L"y", kEncoding, nullptr, NodeKind::String},
};

TEST(EditValue, OutcomeByFormatAndTypedText) {
    qmtest::LanguageGuard english(false);
    for (const bool spansAtLoad : {false, true})
    for (const EditCase& c : kEditCases) {
        SCOPED_TRACE(std::string(c.what) + (spansAtLoad ? ", spans recorded at loading" : ""));
        Loaded f(c.file, c.bytes, spansAtLoad);
        qm::Node* node = f.at(c.path);
        if (!node) continue;
        const std::wstring before = f.doc->parsedText;
        const qm::EditOutcome out = f.edit(c.path, c.typed);
        EXPECT_EQ(qmtest::u8(out.message), qmtest::u8(c.message));
        EXPECT_EQ(out.changed, c.message.empty());
        EXPECT_EQ(f.doc->modified, c.message.empty());
        EXPECT_EQ(f.doc->parsedText, before) << "the text the nodes point into is never rewritten";
        if (c.editedText) {
            EXPECT_EQ(qmtest::u8(f.doc->editedText), qmtest::u8(c.editedText));
            EXPECT_EQ(node->kind, c.kindAfter);
        }
    }
}

TEST(EditValue, MessagesInGerman) {
    qmtest::LanguageGuard german(true);
    Loaded f(L"a.json", "{\"n\": 1}");
    EXPECT_EQ(qmtest::u8(f.edit(L"$.n", L"abc").message),
              qmtest::u8(L"Der Wert ist an dieser Stelle ung\u00FCltig. Text bitte in Anf\u00FChrungszeichen setzen."));
    f.disk.readOnly = true;
    EXPECT_EQ(qmtest::u8(f.edit(L"$.n", L"2").message), qmtest::u8(L"Die Datei ist schreibgesch\u00FCtzt."));
}

TEST(EditValue, RefusalsLeaveTheDocumentAsItWas) {
    {
        SCOPED_TRACE("read-only file");
        Loaded f(L"a.json", "{\"n\": 1}");
        f.disk.readOnly = true;
        EXPECT_EQ(qmtest::u8(f.edit(L"$.n", L"2").message), "The file is read-only.");
        EXPECT_FALSE(f.doc->modified);
    }
    {
        SCOPED_TRACE("rewritten on disk: another value, then another node count");
        Loaded f(L"a.json", "{\"n\": 1}");
        f.disk.files[f.path] = bytesOf("{\"n\": 3}");
        EXPECT_EQ(f.edit(L"$.n", L"2").message, kChanged);
        f.disk.files[f.path] = bytesOf("{\"n\": 1, \"m\": 2}");
        EXPECT_EQ(f.edit(L"$.n", L"2").message, kChanged);
        f.disk.files.erase(f.path);
        f.disk.readOnly = false;
        EXPECT_EQ(qmtest::u8(f.edit(L"$.n", L"2").message), "The file is read-only.") << "attributes unreadable";
        EXPECT_FALSE(f.doc->modified);
        EXPECT_EQ(f.at(L"$.n")->value, L"1");
    }
    {
        SCOPED_TRACE("cancel");
        Loaded f(L"a.json", "{\"n\": 1}");
        const qm::EditOutcome out = f.edit(L"$.n", L"2", false);
        EXPECT_TRUE(out.message.empty());
        EXPECT_FALSE(out.changed);
        EXPECT_FALSE(f.doc->modified);
    }
}

TEST(EditValue, TheFileIsReadOnlyForTheFirstEditAfterLoading) {
    Loaded f(L"a.json", "{\"a\": 1, \"b\": 2}");
    ASSERT_TRUE(f.edit(L"$.a", L"3").changed);
    EXPECT_EQ(f.disk.reads, 1);
    f.disk.files[f.path] = bytesOf("{\"a\": 9, \"b\": 9, \"c\": 9}");  // no longer compared
    ASSERT_TRUE(f.edit(L"$.b", L"4").changed);
    EXPECT_EQ(f.disk.reads, 1);
    EXPECT_EQ(qmtest::u8(f.doc->editedText), "{\"a\": 3, \"b\": 4}");
}

TEST(EditValue, SpansRecordedAtLoadingAnswerOnlyWhileTheFileHoldsTheLoadedText) {
    // The value's span recorded at loading is moved onto b's value: an edit that uses it replaces
    // b; one that parses the file again replaces a.
    const struct {
        const char* what;
        const char* onDisk;
        const char* edited;
    } cases[] = {
        {"the file as loaded", "{\"a\": 1, \"b\": 2}", "{\"a\": 1, \"b\": 7}"},
        {"the file changed since", "{\"a\": 1, \"b\": 5}", "{\"a\": 7, \"b\": 5}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded f(L"a.json", "{\"a\": 1, \"b\": 2}", true);
        const size_t a = qm::nodeIndex(*f.doc, f.at(L"$.a")), b = qm::nodeIndex(*f.doc, f.at(L"$.b"));
        ASSERT_LT(2 * b + 1, f.doc->spans.size());
        f.doc->spans[2 * a] = f.doc->spans[2 * b];
        f.doc->spans[2 * a + 1] = f.doc->spans[2 * b + 1];
        f.disk.files[f.path] = bytesOf(c.onDisk);
        ASSERT_TRUE(f.edit(L"$.a", L"7").changed);
        EXPECT_EQ(qmtest::u8(f.doc->editedText), c.edited);
        EXPECT_TRUE(f.doc->spans.empty()) << "an edited document no longer is its loaded text";
    }
}

TEST(EditValue, ByteOrderMarkIsKeptForTheSave) {
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<uint8_t> prefix;
    } cases[] = {
        {"UTF-8 with a mark", "\xEF\xBB\xBF{\"n\": 1}", {0xEF, 0xBB, 0xBF}},
        {"UTF-8 without a mark", "{\"n\": 1}", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded f(L"a.json", c.bytes);
        ASSERT_TRUE(f.edit(L"$.n", L"2").changed);
        EXPECT_EQ(f.doc->prefixBytes, c.prefix);
        std::vector<uint8_t> saved = f.doc->prefixBytes, body;
        ASSERT_TRUE(qm::encodeTextWith(f.doc->editedText, f.doc->encoding, body, qm::portableCodePageEncoder));
        saved.insert(saved.end(), body.begin(), body.end());
        std::string expected = c.bytes;
        expected.replace(expected.find('1'), 1, "2");
        EXPECT_EQ(saved, bytesOf(expected)) << "every other byte stays";
    }
}

TEST(EditValue, EncoderOfEveryLabel) {
    const std::wstring text = L"a\u00E9\u20AC";
    struct Case {
        const wchar_t* label;
        std::vector<uint8_t> bytes;
        bool ok;
    } cases[] = {
        {L"UTF-16 LE", {'a', 0, 0xE9, 0, 0xAC, 0x20}, true},
        {L"UTF-16 BE", {0, 'a', 0, 0xE9, 0x20, 0xAC}, true},
        {L"UTF-8 BOM", {'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC}, true},
        {L"Windows-1252", {'a', 0xE9, 0x80}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qmtest::u8(c.label));
        std::vector<uint8_t> out;
        EXPECT_EQ(qm::encodeTextWith(text, c.label, out, qm::portableCodePageEncoder), c.ok);
        EXPECT_EQ(out, c.bytes);
    }
    std::vector<uint8_t> out{1};
    EXPECT_FALSE(qm::encodeTextWith(L"\u4E00", L"Windows-1252", out, qm::portableCodePageEncoder));
    EXPECT_TRUE(qm::encodeTextWith(L"", L"Windows-1252", out, qm::portableCodePageEncoder));
    EXPECT_TRUE(out.empty());
}

TEST(EditValue, OneMoreLineMovesTheLaterNodes) {
    Loaded f(L"a.xml", "<r>\n<a>x</a>\n<b>y</b>\n</r>\n");
    qm::Node* b = f.at(L"/r/b");
    qm::Node* a = f.at(L"/r/a");
    ASSERT_EQ(b->line, 3u);
    ASSERT_TRUE(f.edit(L"/r/a/text()", L"x\ny").changed);
    EXPECT_EQ(b->line, 4u);
    EXPECT_EQ(a->line, 2u);
    ASSERT_TRUE(f.edit(L"/r/a/text()", L"z").changed);
    EXPECT_EQ(b->line, 3u);
}

// The shown source text follows the edits and stays valid after the save, when the edited text
// is emptied (AddressSanitizer reports a view left on freed text).
TEST(EditValue, ShownSourceFollowsEditsAndSave) {
    Loaded f(L"a.yaml", "\xEF\xBB\xBF# c\ns: a\nt: b\n");
    qm::Node* t = f.at(L"$.t");
    ASSERT_TRUE(f.edit(L"$.s", L"xyz").changed);
    EXPECT_EQ(qmtest::u8(f.doc->sourceText), "# c\ns: xyz\nt: b\n");
    EXPECT_EQ(t->value, L"b") << "other values still read from the text they were parsed from";
    qm::markSaved(*f.doc);
    EXPECT_FALSE(f.doc->modified);
    EXPECT_TRUE(f.doc->editedText.empty());
    EXPECT_EQ(qmtest::u8(f.doc->sourceText), "# c\ns: xyz\nt: b\n");
    f.disk.files[f.path] = bytesOf("\xEF\xBB\xBF# c\ns: xyz\nt: b\n");
    ASSERT_TRUE(f.edit(L"$.t", L"q").changed);
    EXPECT_EQ(qmtest::u8(f.doc->sourceText), "# c\ns: xyz\nt: q\n");
    EXPECT_EQ(f.at(L"$.s")->value, L"xyz");
}

}  // namespace
