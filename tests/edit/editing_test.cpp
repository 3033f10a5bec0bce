// Value editing without Windows: the per-format quoting, and the edit's checks and splicing on
// files held in memory (the encoder and decoder are the portable UTF-8 and Windows-1252 ones).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "document/decode.h"
#include "document/embedded.h"
#include "document/language.h"
#include "document/load.h"
#include "edit/editing.h"
#include "edit/nodetext.h"
#include "edit/pathfind.h"
#include "tests/support/testing.h"

namespace {

using qm::NodeKind;

// Files in memory, each with a read-only flag.
class MemoryFiles : public qm::EditFileAccess {
public:
    std::map<std::wstring, std::vector<uint8_t>> files;
    bool readOnly = false;
    int reads = 0;
    int decodes = 0;
    bool writable(const std::wstring& path) override { return files.count(path) && !readOnly; }
    bool read(const std::wstring& path, std::vector<uint8_t>& bytes) override {
        ++reads;
        if (!files.count(path)) return false;
        bytes = files[path];
        return true;
    }
    void decode(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding) override {
        ++decodes;
        qm::decodeTextWith(bytes, text, encoding, qm::portableCodePageConverter);
    }
    qm::CodePageEncoder encoder() override { return qm::portableCodePageEncoder; }
};

using qmtest::bytesOf;

struct Loaded {
    MemoryFiles disk;
    std::unique_ptr<qm::Document> doc = std::make_unique<qm::Document>();
    std::wstring path;

    // spansAtLoad: the document records its spans and the digest of its bytes when loaded, as the
    // plug-in's documents do.
    Loaded(const std::wstring& name, const std::string& bytes, bool spansAtLoad = false) : path(name) {
        disk.files[path] = bytesOf(bytes);
        doc->recordSpans = spansAtLoad;
        std::wstring text;
        qm::noteLoadedBytes(*doc, disk.files[path].data(), disk.files[path].size());
        disk.decode(disk.files[path], text, doc->encoding);
        disk.decodes = 0;
        EXPECT_TRUE(qm::parseText(path, std::move(text), *doc));
    }
    qm::Node* at(const std::wstring& wanted) {
        qm::Node* node = qmtest::nodeWithPath(*doc, wanted);
        if (!node) ADD_FAILURE() << "no node " << qmtest::u8(wanted);
        return node;
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
const std::wstring kCannotHold = L"The text holds a character that this file cannot hold.";
const std::wstring kJsonLiteral = L"Only a number, true, false or null can be typed here.";
const std::wstring kTomlLiteral = L"Only a number, true, false or a date and time can be typed here.";
// The outcome of a confirmed text that leaves the value as it is: no message, nothing changed.
const std::wstring kUnchanged = L"<unchanged>";

// One edit of one value: the message it gets, and when accepted the whole edited text and the
// node's kind afterwards.
struct EditCase {
    const char* what;
    const wchar_t* file;
    std::string bytes;
    const wchar_t* path;
    std::wstring typed;
    std::wstring message;
    const wchar_t* editedText;  // expected editedText when accepted
    NodeKind kindAfter;
};

// A text typed with a character in it that no C++ literal spells plainly.
#define QM_WITH(before, code, after) before code after

// A JSON file {"s": "x", "pad": "pp…<tail> whose pad fills its first 65,535 characters: the
// check that the text encodes back to the file's bytes runs in slices of 65,536 characters.
std::string pastFirstSlice(const std::string& tail) {
    const std::string head = "{\"s\": \"x\", \"pad\": \"";
    return head + std::string(65535 - head.size(), 'p') + tail;
}

const EditCase kEditCases[] = {
    {"JSON: a word into a number does not parse", L"a.json", "{\"n\": 1}", L"$.n", L"abc", kJsonLiteral, nullptr,
     NodeKind::Number},
    {"JSON: quotes typed into a number give another value", L"a.json", "{\"n\": 1}", L"$.n", L"\"abc\"", kJsonLiteral,
     nullptr, NodeKind::Number},
    {"JSON: an object typed into a number", L"a.json", "{\"n\": 1}", L"$.n", L"{}", kJsonLiteral, nullptr, NodeKind::Number},
    {"JSON: an array typed into a number", L"a.json", "{\"n\": 1}", L"$.n", L"[]", kJsonLiteral, nullptr, NodeKind::Number},
    {"JSON: white space typed around a number", L"a.json", "{\"n\": 1}", L"$.n", L" 2 ", kJsonLiteral, nullptr,
     NodeKind::Number},
    {"JSON: vertical tabs, white space to the lenient reader, around true", L"a.json", "[1]", L"$[0]", L"\vtrue\v",
     kJsonLiteral, nullptr, NodeKind::Number},
    {"TOML: white space typed after a number", L"a.toml", "n = 1\n", L"n", L"2 ", kTomlLiteral, nullptr, NodeKind::Number},
    {"TOML: a word into a number", L"a.toml", "n = 1\n", L"n", L"abc", kTomlLiteral, nullptr, NodeKind::Number},
    {"TOML: an inline table typed into a number", L"a.toml", "n = 1\n", L"n", L"{}", kTomlLiteral, nullptr,
     NodeKind::Number},
    {"JSON: a string confirmed unchanged keeps its CR LF", L"a.json", "{\"s\": \"a\\r\\nb\"}", L"$.s", L"a\r\nb",
     kUnchanged, nullptr, NodeKind::String},
    {"JSON: a CR LF typed into a string is kept", L"a.json", "{\"s\": \"x\"}", L"$.s", L"a\r\nb", L"",
     L"{\"s\": \"a\\r\\nb\"}", NodeKind::String},
    {"JSON: a lone surrogate is refused", L"a.json", "{\"s\": \"x\"}", L"$.s", QM_WITH(L"a", L"\xD800", L"b"), kCannotHold,
     nullptr, NodeKind::String},
    {"YAML: a lone surrogate is refused", L"a.yaml", "s: x\n", L"$.s", QM_WITH(L"a", L"\xDC00", L""), kCannotHold,
     nullptr, NodeKind::String},
    {"JSON: control characters, DEL and C1 are escaped or kept as JSON allows", L"a.json", "{\"s\": \"x\"}", L"$.s",
     QM_WITH(L"a", L"\x01\x7F\x9B", L"b"), L"", QM_WITH(L"{\"s\": \"a\\u0001", L"\x7F\x9B", L"b\"}"), NodeKind::String},
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
    {"YAML: yes stays a string for YAML 1.1 readers", L"a.yaml", "s: word\n", L"$.s", L"yes", L"", L"s: \"yes\"\n",
     NodeKind::String},
    {"YAML: off stays a string", L"a.yaml", "s: word\n", L"$.s", L"off", L"", L"s: \"off\"\n", NodeKind::String},
    {"YAML: n stays a string", L"a.yaml", "s: word\n", L"$.s", L"n", L"", L"s: \"n\"\n", NodeKind::String},
    {"YAML: a sexagesimal number stays a string", L"a.yaml", "s: word\n", L"$.s", L"1:20", L"", L"s: \"1:20\"\n",
     NodeKind::String},
    {"YAML: the value key stays a string", L"a.yaml", "s: word\n", L"$.s", L"=", L"", L"s: \"=\"\n", NodeKind::String},
    {"YAML: a negative number typed into a number stays a number", L"a.yaml", "a: 0\n", L"$.a", L"-1", L"", L"a: -1\n",
     NodeKind::Number},
    {"YAML: braces and a comma in a block value need no quotes", L"a.yaml", "t: x\n", L"$.t",
     L"${{ secrets.GITHUB_TOKEN }}, more", L"", L"t: ${{ secrets.GITHUB_TOKEN }}, more\n", NodeKind::String},
    {"YAML: a comma in a flow sequence item is quoted", L"a.yaml", "c: [x, y]\n", L"$.c[0]", L"a,b", L"",
     L"c: [\"a,b\", y]\n", NodeKind::String},
    {"YAML: a control character in a plain value is an escape in double quotes", L"a.yaml", "s: x\n", L"$.s",
     QM_WITH(L"a", L"\x01", L"b"), L"", L"s: \"a\\u0001b\"\n", NodeKind::String},
    {"YAML: NUL, which no tree can show, is refused", L"a.yaml", "s: x\n", L"$.s", std::wstring(L"a\0b", 3), kCannotHold,
     nullptr, NodeKind::String},
    {"YAML: DEL in a single-quoted value", L"a.yaml", "s: 'x'\n", L"$.s", QM_WITH(L"a", L"\x7F", L"b"), L"",
     L"s: \"a\\u007Fb\"\n", NodeKind::String},
    {"YAML: ESC and C1 in a double-quoted value", L"a.yaml", "s: \"x\"\n", L"$.s", QM_WITH(L"a", L"\x1B\x9B", L"b"), L"",
     L"s: \"a\\u001b\\u009Bb\"\n", NodeKind::String},
    {"YAML: NEL and the line separator are escapes", L"a.yaml", "s: x\n", L"$.s", QM_WITH(L"a", L"\x85\x2028", L"b"), L"",
     L"s: \"a\\u0085\\u2028b\"\n", NodeKind::String},
    {"YAML: an empty value after a colon is filled in", L"a.yaml", "k:\nm: 1\n", L"$.k", L"v", L"", L"k: v\nm: 1\n",
     NodeKind::String},
    {"YAML: an empty value with a blank after the colon", L"a.yaml", "k: \nm: 1\n", L"$.k", L"v", L"", L"k: v \nm: 1\n",
     NodeKind::String},
    {"YAML: an empty value before a comment", L"a.yaml", "k: # c\nm: 1\n", L"$.k", L"v", L"", L"k: v # c\nm: 1\n",
     NodeKind::String},
    {"YAML: an empty sequence item", L"a.yaml", "- \n- b\n", L"$[0]", L"5", L"", L"- 5 \n- b\n", NodeKind::Number},
    {"YAML: an empty value in a flow mapping", L"a.yaml", "{a: , b: 1}\n", L"$.a", L"x", L"", L"{a: x, b: 1}\n",
     NodeKind::String},
    {"YAML: an empty value after a tag has no place", L"a.yaml", "k: !!str\nm: 1\n", L"$.k", L"v", kNoSpan, nullptr,
     NodeKind::String},
    {"TOML: DEL in a basic string", L"a.toml", "s = \"x\"\n", L"s", QM_WITH(L"a", L"\x7F", L"b"), L"",
     L"s = \"a\\u007fb\"\n", NodeKind::String},
    {"TOML: a control character turns a literal string into a basic one", L"a.toml", "s = 'x'\n", L"s",
     QM_WITH(L"a", L"\x01", L"b"), L"", L"s = \"a\\u0001b\"\n", NodeKind::String},
    {"XML: a control character in text is refused", L"a.xml", "<r><t>x</t></r>", L"/r/t/text()", QM_WITH(L"a", L"\x01", L"b"),
     kCannotHold, nullptr, NodeKind::Text},
    {"XML: U+FFFE in text is refused", L"a.xml", "<r><t>x</t></r>", L"/r/t/text()", QM_WITH(L"a", L"\xFFFE", L"b"),
     kCannotHold, nullptr, NodeKind::Text},
    {"XML: a vertical tab in an attribute is refused", L"a.xml", "<r k=\"v\"/>", L"/r/@k", QM_WITH(L"a", L"\x0B", L"b"),
     kCannotHold, nullptr, NodeKind::Attribute},
    {"XML: an apostrophe in a single-quoted attribute", L"a.xml", "<r s='sq'/>", L"/r/@s", L"it's \"q\"", L"",
     L"<r s='it&apos;s \"q\"'/>", NodeKind::Attribute},
    {"XML: a carriage return alone is a character reference", L"a.xml", "<r k=\"v\"/>", L"/r/@k", L"a\rb", L"",
     L"<r k=\"a&#13;b\"/>", NodeKind::Attribute},
    {"UTF-8: a first character U+FEE0 is no byte-order mark", L"a.yaml", "\xEF\xBB\xA0: v\n", L"$.\xFEE0", L"w", L"",
     L"\xFEE0: w\n", NodeKind::String},
    {"Windows-1252: a file starting FF FF has no byte-order mark", L"a.yaml", "\xFF\xFF: v\n", L"$.\xFF\xFF", L"w",
     L"", L"\xFF\xFF: w\n", NodeKind::String},
    {"Windows-1252: a file starting FE FE has no byte-order mark", L"a.yaml", "\xFE\xFE: v\n", L"$.\xFE\xFE", L"w",
     L"", L"\xFE\xFE: w\n", NodeKind::String},
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
    {"Windows-1252: a character outside the code page is a reference in XML", L"a.xml", "<r>caf\xE9</r>", L"/r/text()",
     L"\u20AC\u4E00\xD83D\xDE00", L"", L"<r>\u20AC&#x4E00;&#x1F600;</r>", NodeKind::Text},
    {"Windows-1252: a character outside the code page is an escape in JSON", L"a.json", "{\"s\": \"caf\xE9\"}", L"$.s",
     L"\u03A9\xD83D\xDE00", L"", L"{\"s\": \"\\u03a9\\ud83d\\ude00\"}", NodeKind::String},
    {"Windows-1252: a JSON escape of a character outside the code page confirmed unchanged", L"a.json",
     "{\"s\": \"\\u4e2d\", \"t\": \"\xE9\"}", L"$.s", L"\u4E2D", kUnchanged, nullptr, NodeKind::String},
    {"Windows-1252: a character outside the code page requotes a YAML value", L"a.yaml", "s: 'caf\xE9'\n", L"$.s",
     L"\u0141\u00F3d\u017A", L"", L"s: \"\\u0141\u00F3d\\u017a\"\n", NodeKind::String},
    {"Windows-1252: a character inside the code page", L"a.xml", "<r>caf\xE9</r>", L"/r/text()", L"\u20AC", L"",
     L"<r>\u20AC</r>", NodeKind::Text},
    {"UTF-8 takes any character", L"a.xml", "<r>caf\xC3\xA9</r>", L"/r/text()", L"\u4E00", L"", L"<r>\u4E00</r>",
     NodeKind::Text},
    // A scalar that stays a scalar is read alone on the first edit; these hold both ways.
    {"JSON: a number before a block comment", L"a.json", "{\"n\": 1/*c*/}", L"$.n", L"2", L"", L"{\"n\": 2/*c*/}",
     NodeKind::Number},
    {"JSON: a number before a line comment", L"a.json", "{\"n\": 1 // c\n}", L"$.n", L"-2.5e3", L"",
     L"{\"n\": -2.5e3 // c\n}", NodeKind::Number},
    {"JSON: true into the last item of an array", L"a.json", "[1]", L"$[0]", L"true", L"", L"[true]", NodeKind::Bool},
    {"JSON: a number into a string before a comma", L"a.json", "{\"s\": \"x\",\"t\":1}", L"$.s", L"5", L"",
     L"{\"s\": \"5\",\"t\":1}", NodeKind::String},
    {"JSON: a backslash at the end of a string", L"a.json", "{\"s\": \"x\"}", L"$.s", L"a\\", L"",
     L"{\"s\": \"a\\\\\"}", NodeKind::String},
    {"JSON: a number with letters after its digits, which JSON readers refuse", L"a.json", "{\"n\": 1}", L"$.n", L"1e5x",
     L"Only a number, true, false or null can be typed here.", nullptr, NodeKind::Number},
    {"JSON: a number JSON does not write (hexadecimal, a leading zero)", L"a.json", "{\"n\": 1}", L"$.n", L"0x1F",
     L"Only a number, true, false or null can be typed here.", nullptr, NodeKind::Number},
    {"JSON: a number with a fraction and an exponent", L"a.json", "{\"n\": 1}", L"$.n", L"-0.5E+3", L"",
     L"{\"n\": -0.5E+3}", NodeKind::Number},
    {"JSON Lines: a line that is a number", L"a.jsonl", "{\"a\":1}\n2\n", L"$[1]", L"3", L"", L"{\"a\":1}\n3\n",
     NodeKind::Number},
    {"JSON Lines: a string typed into the last line without a line end", L"a.jsonl", "{\"a\":1}\n\"x\"", L"$[1]",
     L"y z", L"", L"{\"a\":1}\n\"y z\"", NodeKind::String},
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
        const bool unchanged = c.message == kUnchanged;
        EXPECT_EQ(qmtest::u8(out.message), unchanged ? "" : qmtest::u8(c.message));
        EXPECT_EQ(out.changed, c.message.empty());
        EXPECT_EQ(f.doc->modified, c.message.empty());
        EXPECT_EQ(f.doc->parsedText, before) << "the text the nodes point into is never rewritten";
        if (c.editedText) {
            EXPECT_EQ(qmtest::u8(f.doc->editedText), qmtest::u8(c.editedText));
            EXPECT_EQ(node->kind, c.kindAfter);
        }
        if (out.changed && !spansAtLoad) {
            qmtest::AcceptedEdit accepted{c.what, c.file, f.doc->encoding, c.typed, c.bytes, f.doc->prefixBytes, node};
            std::vector<uint8_t> body;
            EXPECT_TRUE(qm::encodeTextWith(f.doc->editedText, f.doc->encoding, body, qm::portableCodePageEncoder));
            accepted.after.insert(accepted.after.end(), body.begin(), body.end());
            qmtest::exportAcceptedEdit(accepted);
        }
    }
}

TEST(EditValue, MessagesInGerman) {
    qmtest::LanguageGuard german(true);
    Loaded f(L"a.json", "{\"n\": 1}");
    EXPECT_EQ(qmtest::u8(f.edit(L"$.n", L"abc").message),
              qmtest::u8(L"Hier l\u00E4sst sich nur eine Zahl, true, false oder null eingeben."));
    Loaded x(L"a.xml", "<r><t>x</t></r>");
    EXPECT_EQ(qmtest::u8(x.edit(L"/r/t/text()", L" y ").message),
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
    for (const bool spansAtLoad : {false, true}) {
        SCOPED_TRACE(std::string("rewritten on disk: another value of the same size, then another node count") +
                     (spansAtLoad ? ", the digest taken at loading" : ""));
        Loaded f(L"a.json", "{\"n\": 1}", spansAtLoad);
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
        SCOPED_TRACE("a value inside a string's JSON; the string itself edits as before and opens anew");
        // The first edit with the spans of loading edits the text in place; a later one parses it all.
        for (const bool spansAtLoad : {true, false}) {
            Loaded f(L"a.json", "{\"p\": \"{\\\"id\\\": 3}\", \"n\": 1}", spansAtLoad);
            const qm::Node* stale = qm::findByPath(*f.doc, L"$.p#$.id");
            ASSERT_NE(stale, nullptr);
            EXPECT_EQ(qmtest::u8(f.edit(L"$.p#$.id", L"4").message), "This value is inside a string: edit the string itself.");
            EXPECT_FALSE(f.doc->modified);
            if (!spansAtLoad) {
                EXPECT_TRUE(f.edit(L"$.n", L"2").changed) << "the other values edit with the string opened";
            }
            EXPECT_TRUE(f.edit(L"$.p", L"{\"id\": 5, \"x\": [1]}").changed);
            EXPECT_EQ(stale->parent, nullptr) << "the filter, which climbs from every node, counts no old text";
            qm::Node* p = f.at(L"$.p");
            EXPECT_TRUE(p->children.empty());
            EXPECT_TRUE(qm::awaitsOpening(p));
            const qm::Node* id = qm::findByPath(*f.doc, L"$.p#$.id");
            ASSERT_NE(id, nullptr);
            EXPECT_EQ(id->value, L"5");
            EXPECT_EQ(id->parent, p);
            EXPECT_EQ(qm::findByPath(*f.doc, L"$.p#$.x[0]")->value, L"1");
            EXPECT_TRUE(f.edit(L"$.p", L"plain").changed);
            EXPECT_FALSE(qm::isExpandable(p));
        }
    }
    {
        SCOPED_TRACE("XML: a value inside an attribute's or an element's JSON; the attribute and the text edit");
        Loaded f(L"a.xml", "<r><e d='{\"id\": 3}'/><s>[1]</s></r>");
        const qm::Node* stale = qm::findByPath(*f.doc, L"/r/e/@d#$.id");
        ASSERT_NE(stale, nullptr);
        ASSERT_NE(qm::findByPath(*f.doc, L"/r/s#$[0]"), nullptr);
        EXPECT_EQ(qmtest::u8(f.edit(L"/r/s#$[0]", L"2").message), "This value is inside a string: edit the string itself.");
        EXPECT_TRUE(f.edit(L"/r/e/@d", L"{\"id\": 4}").changed);
        EXPECT_EQ(stale->parent, nullptr);
        EXPECT_EQ(qm::findByPath(*f.doc, L"/r/e/@d#$.id")->value, L"4");
        EXPECT_TRUE(f.edit(L"/r/s/text()", L"[5]").changed) << "the other string's nodes are not the file's";
        EXPECT_EQ(qm::findByPath(*f.doc, L"/r/s#$[0]")->value, L"5");
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
    // The file as loaded is told by its digest and not decoded again.
    const struct {
        const char* what;
        const char* onDisk;
        const char* edited;
        int decodes;
    } cases[] = {
        {"the file as loaded", "{\"a\": 1, \"b\": 2}", "{\"a\": 1, \"b\": 7}", 0},
        {"the file changed since, to the same size", "{\"a\": 1, \"b\": 5}", "{\"a\": 7, \"b\": 5}", 1},
        {"the same text with a byte-order mark now", "\xEF\xBB\xBF{\"a\": 1, \"b\": 2}", "{\"a\": 1, \"b\": 7}", 1},
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
        EXPECT_EQ(f.disk.decodes, c.decodes);
        EXPECT_EQ(f.doc->prefixBytes.size(), c.onDisk[0] == '\xEF' ? 3u : 0u) << "the mark the file has now is saved";
        EXPECT_TRUE(f.doc->spans.empty()) << "an edited document no longer is its loaded text";
    }
}

// The first edit of a value that stays a scalar where it is parses only its new source, however
// big the file; one that might not parses the whole edited text.
TEST(EditValue, TheFirstEditReadsAScalarAloneAndAnythingElseWhole) {
    qmtest::LanguageGuard english(false);
    auto records = [](size_t n) {
        auto record = [](size_t i) { return L"{\"id\": " + std::to_wstring(i) + L", \"name\": \"r\"}"; };
        return "[\n" + qmtest::u8(qmtest::joined(n, record, L",\n")) + "\n]";
    };
    const struct {
        const char* what;
        const wchar_t* member;
        std::wstring typed;
        bool alone;
        std::wstring message;
    } cases[] = {
        {"a number", L"id", L"7", true, L""},
        {"a text", L"name", L"new name", true, L""},
        {"an object into a number", L"id", L"{}", false, kJsonLiteral},
        {"a word into a number", L"id", L"abc", false, kJsonLiteral},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        size_t work[2] = {};
        for (const size_t n : {size_t(1000), size_t(4000)}) {
            Loaded f(L"a.json", records(n), true);
            const std::wstring path = L"$[" + std::to_wstring(n - 1) + L"]." + c.member;
            const qm::EditOutcome out = f.edit(path, c.typed);
            EXPECT_EQ(qmtest::u8(out.message), qmtest::u8(c.message));
            if (out.changed) {
                EXPECT_EQ(qmtest::u8(f.at(path)->value.view()), qmtest::u8(c.typed));
            }
            work[n == 4000] = out.parsedCharacters;
        }
        if (c.alone) {
            EXPECT_EQ(work[1], work[0]) << "characters parsed for n and 4n records";
            EXPECT_LT(work[0], 20u);
        } else {
            EXPECT_GT(work[1], 3 * work[0]) << "the whole text is parsed: " << work[0] << " for n, " << work[1] << " for 4n";
        }
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

// After an accepted edit the tree holds what the edited text says at every node, not only at the
// edited one: a value another program changed meanwhile, the copies of a YAML anchor's value, the
// lines of nodes after a new line break on the same line.
TEST(EditValue, EveryNodeShowsWhatTheEditedTextSays) {
    struct Case {
        const char* what;
        const wchar_t* file;
        std::string loaded, onDisk;
        const wchar_t* path;
        const wchar_t* typed;
        std::vector<std::pair<const wchar_t*, const wchar_t*>> values;  // path, value afterwards
        std::vector<std::pair<const wchar_t*, uint32_t>> lines;         // path, line afterwards
        std::vector<std::pair<const wchar_t*, const wchar_t*>> tags;    // path, type tag afterwards ("": none)
    } cases[] = {
        {"another program changed another value", L"a.json", "{\"a\": 1, \"b\": 2}", "{\"a\": 1, \"b\": 5}", L"$.a", L"7",
         {{L"$.a", L"7"}, {L"$.b", L"5"}}, {}, {}},
        {"the alias and the merged copy of an anchored value", L"a.yaml", "a: &x foo\nb: *x\nm: &m {k: foo}\nn:\n  <<: *m\n",
         "", L"$.a", L"bar", {{L"$.a", L"bar"}, {L"$.b", L"bar"}, {L"$.n.k", L"foo"}}, {},
         {{L"$.a", L"&x"}, {L"$.b", L"*x"}, {L"$.n.k", L"<<"}}},
        {"another program changed a date and time into a number and a number into a date", L"a.toml",
         "d = 1979-05-27T07:32:00Z\ne = 1\nf = 2\n", "d = 5\ne = 1\nf = 2000-01-01\n", L"e", L"7",
         {{L"d", L"5"}, {L"e", L"7"}}, {}, {{L"d", L""}, {L"f", L"datetime"}}},
        {"a line break moves the nodes later on the same line", L"a.xml", "<r><a>x</a><b>y</b></r>\n<c/>", "",
         L"/r/a/text()", L"1\n2", {}, {{L"/r/a", 1}, {L"/r/b", 2}, {L"/r/b/text()", 2}, {L"/c", 3}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded f(c.file, c.loaded);
        if (!c.onDisk.empty()) f.disk.files[f.path] = bytesOf(c.onDisk);
        ASSERT_EQ(qmtest::u8(f.edit(c.path, c.typed).message), "");
        for (const auto& [path, value] : c.values) EXPECT_EQ(qmtest::u8(f.at(path)->value), qmtest::u8(value)) << qmtest::u8(path);
        for (const auto& [path, line] : c.lines) EXPECT_EQ(f.at(path)->line, line) << qmtest::u8(path);
        for (const auto& [path, tag] : c.tags) {
            const wchar_t* now = qm::nodeTag(*f.doc, f.at(path));
            EXPECT_EQ(qmtest::u8(now ? now : L""), qmtest::u8(tag)) << qmtest::u8(path);
        }
    }
}

// The shown source text follows the edits and stays valid after the save, when the edited text
// is emptied (AddressSanitizer reports a view left on freed text).
TEST(EditValue, ShownSourceFollowsEditsAndSave) {
    for (const bool spansAtLoad : {false, true}) {
        SCOPED_TRACE(spansAtLoad ? "the digest taken at loading" : "no digest at loading");
        Loaded f(L"a.yaml", "\xEF\xBB\xBF# c\ns: a\nt: b\n", spansAtLoad);
        qm::Node* t = f.at(L"$.t");
        ASSERT_TRUE(f.edit(L"$.s", L"xyz").changed);
        EXPECT_EQ(qmtest::u8(f.doc->sourceText), "# c\ns: xyz\nt: b\n");
        EXPECT_EQ(t->value, L"b") << "other values still read from the text they were parsed from";
        qm::markSaved(*f.doc);
        EXPECT_FALSE(f.doc->modified);
        EXPECT_TRUE(f.doc->editedText.empty());
        EXPECT_EQ(qmtest::u8(f.doc->sourceText), "# c\ns: xyz\nt: b\n");
        // Saved as the save writes it: the digest is now the saved bytes', not the loaded text's.
        f.disk.files[f.path] = bytesOf("\xEF\xBB\xBF# c\ns: xyz\nt: b\n");
        f.doc->baseSize = f.disk.files[f.path].size();
        f.doc->baseDigest = qm::fileDigest(f.disk.files[f.path].data(), f.doc->baseSize);
        ASSERT_TRUE(f.edit(L"$.t", L"q").changed);
        EXPECT_EQ(qmtest::u8(f.doc->sourceText), "# c\ns: xyz\nt: q\n");
        EXPECT_EQ(f.at(L"$.s")->value, L"xyz");
    }
}

}  // namespace
