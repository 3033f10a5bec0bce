// The .reg reader: keys split and merged without regard to case, every value form and hex type,
// continued lines, deletions, both errors in both languages, the ANSI hook, the key map's
// hashing, 100,000-component key paths and the public corpus.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <unordered_map>
#include <vector>

#include "document/language.h"
#include "document/load.h"
#include "parsers/registry.h"
#include "tests/parsers/lineends.h"
#include "tests/support/testing.h"
#include "tests/support/treeprint.h"

using namespace qm;
using qmtest::parse;

namespace {

// Compact nested picture of a registry tree: key{children}, name=S:value, name=N:value,
// name=Null:, name[items] and ;comment, each followed by <tag> when it has one.
std::wstring registryLabel(const Document& doc, const Node& n) {
    const std::wstring name = n.name.str(), value = n.value.str();
    const wchar_t* own = nodeTag(doc, &n);
    const std::wstring tag = own ? L"<" + std::wstring(own) + L">" : L"";
    switch (n.kind) {
        case NodeKind::Comment: return L';' + value;
        case NodeKind::Object:
        case NodeKind::Array: return name + tag;
        case NodeKind::String: return (n.keyed ? name + L"=" : L"") + L"S:" + value + tag;
        case NodeKind::Number: return name + L"=N:" + value + tag;
        case NodeKind::Null: return name + L"=Null:" + value + tag;
        default: return L"<unexpected kind>";
    }
}

qmtest::Brackets registryBrackets(const Node& n) {
    if (n.kind == NodeKind::Object) return {L'{', L'}'};
    if (n.kind == NodeKind::Array) return {L'[', L']'};
    return {};
}

std::wstring shape(const Document& d, const Node* top) { return qmtest::shape(d, top, {registryLabel, registryBrackets}); }

const std::wstring kHeader5 = L"Windows Registry Editor Version 5.00";
const std::wstring kHeader5Line = L";" + kHeader5 + L" ";

std::unique_ptr<Document> parseReg(const std::wstring& body, const std::wstring& header = kHeader5) {
    auto d = parse(L"test.reg", header + L"\r\n\r\n" + body);
    EXPECT_TRUE(d) << qmtest::u8(body);
    return d;
}

struct Case {
    const wchar_t* body;  // after the version 5 header and a blank line
    const wchar_t* shape;  // without the header comment
};

void expectShapes(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        auto d = parseReg(c.body);
        ASSERT_TRUE(d);
        EXPECT_EQ(shape(*d, d->root), kHeader5Line + c.shape) << qmtest::u8(c.body);
        EXPECT_EQ(d->errorMessage, L"") << qmtest::u8(c.body);
    }
}

}  // namespace

TEST(RegistryKeys, PathsSplitAndMergeWithoutRegardToCase) {
    expectShapes({
        {L"[HKEY_CURRENT_USER\\Software\\A]\r\n[hkey_current_user\\software\\a\\B]",
         L"HKEY_CURRENT_USER{Software{A{B{}}}}"},
        {L"[HKEY_A\\X]\n\"v\"=\"1\"\n[HKEY_B]\n[hkey_a\\x]\n\"w\"=\"2\"", L"HKEY_A{X{v=S:1 w=S:2}} HKEY_B{}"},
        {L"\"early\"=\"root\"\n[K]", L"early=S:root K{}"},
        {L"[K\\a]b]\n[K\\open", L"K{a]b{} open{}}"},
        {L"[K\\\\x]\n[K\\]", L"K{{x{}}}"},  // empty components are keys with empty names
        {L"[-HKEY_CURRENT_USER\\Software\\Old]\n\"Gone\"=-",
         L"HKEY_CURRENT_USER{Software{Old<delete>{Gone=Null:<delete>}}}"},
        {L"[*\\shellex]", L"*{shellex{}}"},
    });
}

TEST(RegistryKeys, KeyNodesAreKeyedRegistryKeysWithTheirLine) {
    auto d = parseReg(L"\n[A\\B]\n\"x\"=\"1\"\n[a\\b\\C]");
    const Node* a = d->root->children[1];
    const Node* b = a->children[0];
    const Node* c = b->children[1];
    EXPECT_TRUE(a->keyed && a->registryKey && b->registryKey && c->registryKey);
    EXPECT_EQ(a->line, 4u);
    EXPECT_EQ(b->line, 4u);
    EXPECT_EQ(c->line, 6u);
    EXPECT_TRUE(b->children[0]->keyed);
    EXPECT_FALSE(b->children[0]->registryKey);
    EXPECT_EQ(b->children[0]->line, 5u);
}

TEST(RegistryValues, EveryForm) {
    expectShapes({
        {L"[K]\n\"Count\"=dword:0000000a\n\"Max\"=DWORD:ffffffff\n\"Over\"=dword:1ffffffff\n\"Odd\"=dword:12zz",
         L"K{Count=N:10<dword> Max=N:4294967295<dword> Over=N:4294967295<dword> Odd=N:18<dword>}"},
        {L"[K]\n\"Q\"=hex(b):01,00,00,00,00,00,00,00\n\"QMax\"=hex(b):ff,ff,ff,ff,ff,ff,ff,ff\n\"QShort\"=hex(b):01",
         L"K{Q=N:1<qword> QMax=N:18446744073709551615<qword> QShort=S:01<hex(b)>}"},
        {L"[K]\n\"D\"=hex(4):0a,01,00,00,ff\n\"DShort\"=hex(4):01,02",
         L"K{D=N:266<dword> DShort=S:01 02<hex(4)>}"},
        {L"[K]\n\"B\"=hex:01,ab,FF\n\"None\"=hex(0):\n\"Big\"=HEX(5):1,2\n\"Long\"=hex:123,fffffffff,",
         L"K{B=S:01 AB FF<binary> None=S:<hex(0)> Big=S:01 02<hex(5)> Long=S:23 FF<binary>}"},
        {L"[K]\n\"M\"=hex(7):61,00,00,00,62,00,00,00,00,00\n\"Empty\"=hex(7):00,00",
         L"K{M<multi_sz>[S:a S:b] Empty<multi_sz>[]}"},
        {L"[K]\n\"E\"=hex(2):25,00,50,00,25,00,00,00\n\"S\"=hex(1):41,00,42,00,00,00,00\n\"T\"=hex(1):e4,00,3c,20",
         L"K{E=S:%P%<expand_sz> S=S:AB T=S:\u00E4\u203C}"},
        {L"[K]\n\"Q\"=\"say \\\"hi\\\" c:\\\\dir\\\\\"\n\"a\\\"b\"=\"x\" trailing\n\"Open\"=\"no end",
         L"K{Q=S:say \"hi\" c:\\dir\\ a\"b=S:x Open=S:no end}"},
        {L"[K]\n\"Spaced\" = \"v\"\n\"Tab\"\t=\t\"t\"\n@=\"default\"\n\"NoEquals\" \"w\"",
         L"K{Spaced=S:v Tab=S:t (Default)=S:default NoEquals=S:w}"},
        {L"[K]\n\"hexish\"=hex(2)\n\"plain\"=hexagon", L"K{hexish=S:hex(2) plain=S:hexagon}"},
        {L"; first\n[K]\n;  inside  \n;", L";first K{;inside ;}"},
    });
}

TEST(RegistryValues, HexListsContinueOverLines) {
    auto d = parseReg(L"[K]\n\"Long\"=hex:01,02,\\\r\n  03,04,\\\n\t05\n\"Next\"=dword:1\n");
    EXPECT_EQ(shape(*d, d->root), kHeader5Line + L"K{Long=S:01 02 03 04 05<binary> Next=N:1<dword>}");
    const Node* k = d->root->children[1];
    EXPECT_EQ(k->children[0]->line, 4u);  // a logical line has the number of its first physical line
    EXPECT_EQ(k->children[1]->line, 7u);
}

// The registry editor writes a string value holding line breaks as they are, inside its quotes:
// the value runs to its closing quote and keeps each break as the file has it, and the lines
// after it keep their numbers. An unclosed string, or a quote with more than white space after
// it, reads no further than its own line, as before.
TEST(RegistryValues, StringsRunOverLineBreaksToTheirClosingQuote) {
    struct SpanCase {
        const wchar_t* body;
        const wchar_t* shape;
        std::vector<uint32_t> lines;  // of the values under K, in order
    };
    const std::vector<SpanCase> cases = {
        {L"[K]\r\n\"v\"=\"line1\r\nline2\"\r\n\"w\"=\"x\"", L"K{v=S:line1\r\nline2 w=S:x}", {4, 6}},
        {L"[K]\n\"v\"=\"a\n\n  b  \nc\"  \n\"w\"=\"x\"", L"K{v=S:a\n\n  b  \nc w=S:x}", {4, 8}},
        {L"[K]\n@=\"say \\\"hi\\\"\r\nC:\\\\dir\\\\\r\nend\"\n", L"K{(Default)=S:say \"hi\"\r\nC:\\dir\\\r\nend}", {4}},
        {L"[K]\r\n\"v\"=\"a\r\n\"\r\n\"w\"=\"x\"", L"K{v=S:a\r\n w=S:x}", {4, 6}},
        {L"[K]\r\n\"a\"=\"open\r\n\"b\"=\"2\"", L"K{a=S:open b=S:2}", {4, 5}},
        {L"[K]\r\n\"a\"=\"open\r\n\"b\"=\"2", L"K{a=S:open b=S:2}", {4, 5}},
        {L"[K]\n\"hex\"=hex:01,\\\n  02\n\"v\"=\"a\\\\\nb\"\n[L]", L"K{hex=S:01 02<binary> v=S:a\\\nb} L{}", {4, 6}},
        {L"[K]\n\"v\"=\"a\\\nb\"", L"K{v=S:ab}", {4}},  // a trailing backslash still continues the line
    };
    for (const SpanCase& c : cases) {
        auto d = parseReg(c.body);
        ASSERT_TRUE(d);
        EXPECT_EQ(shape(*d, d->root), kHeader5Line + c.shape) << qmtest::u8(c.body);
        EXPECT_EQ(d->errorMessage, L"") << qmtest::u8(c.body);
        std::vector<uint32_t> lines;
        for (const Node* value : d->root->children.at(1)->children) lines.push_back(value->line);
        EXPECT_EQ(lines, c.lines) << qmtest::u8(c.body);
    }
    auto d = parseReg(L"[K]\n\"v\"=\"a\nb\nc\"\nbad\n[L]");
    EXPECT_EQ(d->errorMessage, L"Unknown line");
    EXPECT_EQ(d->errorLine, 7u);
    EXPECT_EQ(d->root->children.at(2)->line, 8u);
    // Text after the first quote that could close the string: the string ends with its line.
    auto cut = parseReg(L"[K]\n\"v\"=\"a\nb\" ; c\n\"w\"=\"x\"");
    EXPECT_EQ(shape(*cut, cut->root), kHeader5Line + L"K{v=S:a w=S:x}");
    EXPECT_EQ(cut->errorMessage, L"Unknown line");
    EXPECT_EQ(cut->errorLine, 5u);
}

// A carriage return without a line feed after it ends a line (files from classic Mac tools): each
// file reads with lone carriage returns, and with them mixed with CR LF, as with line feeds: the
// same keys and values on the same lines, and the same error on the same line.
TEST(RegistryLines, LoneCarriageReturnsEndLines) {
    struct LineCase {
        const wchar_t* body;  // with line feeds
        const wchar_t* shape;
        const wchar_t* error;
        uint32_t errorLine;
    };
    const std::vector<LineCase> cases = {
        {L"[K]\n\"v\"=\"1\"\n\n[K\\L]\n@=dword:2\n", L"K{v=S:1 L{(Default)=N:2<dword>}}", L"", 0},
        {L"; c\n[K]\n\"h\"=hex:01,\\\n  02,\\\n  03\n\"w\"=\"x\"", L";c K{h=S:01 02 03<binary> w=S:x}", L"", 0},
        {L"[K]\n\"v\"=\"1\"\nbad\n\"w\"=\"2\"", L"K{v=S:1 w=S:2}", L"Unknown line", 5},
        {L"[K]\n\n\n\"x\"=word:1\n", L"K{x=S:word:1}", L"Unknown value format", 6},
    };
    for (const LineCase& c : cases) {
        const std::wstring lf = kHeader5 + L"\n\n" + c.body;
        auto expected = parse(L"t.reg", lf);
        ASSERT_TRUE(expected);
        EXPECT_EQ(shape(*expected, expected->root), kHeader5Line + c.shape) << qmtest::u8(c.body);
        EXPECT_EQ(expected->errorMessage, c.error) << qmtest::u8(c.body);
        EXPECT_EQ(expected->errorLine, c.errorLine) << qmtest::u8(c.body);
        for (const std::wstring& text : qmtest::withOtherLineEnds(lf)) {
            auto d = parse(L"t.reg", text);
            ASSERT_TRUE(d) << qmtest::u8(text);
            EXPECT_EQ(shape(*d, d->root), kHeader5Line + c.shape) << qmtest::u8(text);
            EXPECT_EQ(d->errorMessage, c.error) << qmtest::u8(text);
            EXPECT_EQ(d->errorLine, c.errorLine) << qmtest::u8(text);
            EXPECT_EQ(qmtest::nodeLines(*d), qmtest::nodeLines(*expected)) << qmtest::u8(text);
        }
    }
    // A string value over lines of a file with lone carriage returns keeps them.
    auto d = parse(L"t.reg", kHeader5 + L"\r\r[K]\r\"v\"=\"a\rb\"\r\"w\"=\"x\"\r");
    ASSERT_TRUE(d);
    EXPECT_EQ(shape(*d, d->root), kHeader5Line + L"K{v=S:a\rb w=S:x}");
    EXPECT_EQ(d->root->children.at(1)->children.at(1)->line, 6u);
}

TEST(RegistryValues, Regedit4HexStringsGoThroughTheAnsiDecoder) {
    const std::wstring body = L"[K]\n\"S\"=hex(2):41,e4,80,00\n\"M\"=hex(7):61,00,62,63,00,00";
    auto d = parseReg(body, L"REGEDIT4");
    // Without a Windows decoder installed, Windows-1252 stands in for the ANSI code page.
    EXPECT_EQ(shape(*d, d->root), L";REGEDIT4 K{S=S:A\u00E4\u20AC<expand_sz> M<multi_sz>[S:a S:bc]}");

    setRegistryAnsiDecoder([](const uint8_t* data, size_t size, std::wstring& out) {
        out.assign(L"<");
        for (size_t i = 0; i < size; ++i) out += wchar_t(L'0' + data[i] % 10);
        out += L'>';
    });
    auto hooked = parseReg(body, L"REGEDIT4");
    auto version5 = parseReg(L"[K]\n\"S\"=hex(1):41,00");
    setRegistryAnsiDecoder(nullptr);
    EXPECT_EQ(hooked->root->children[1]->children[0]->value, L"<5880>");
    EXPECT_EQ(version5->root->children[1]->children[0]->value, L"A");  // UTF-16, not ANSI
}

TEST(RegistryHeader, HeaderLineAndDriverBranch) {
    auto d = parse(L"x.REG", L"\xFEFF\r\n\r\nREGEDIT4\r\n[K]");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->format, DocumentFormat::Registry);
    EXPECT_TRUE(d->isDataFormat);
    EXPECT_EQ(d->root->children[0]->kind, NodeKind::Comment);
    EXPECT_EQ(d->root->children[0]->value, L"REGEDIT4");
    EXPECT_EQ(d->root->children[0]->line, 3u);
    EXPECT_EQ(d->root->children[1]->line, 4u);
    EXPECT_EQ(d->sourceText, L"\r\n\r\nREGEDIT4\r\n[K]");
    // The header is compared case-sensitively, and other names do not make a .reg file.
    EXPECT_FALSE(parse(L"x.reg", L"regedit4\n[K]"));
    EXPECT_FALSE(parse(L"x.reg", L"Windows Registry Editor Version 5\n[K]"));
    EXPECT_FALSE(parse(L"x.reg", L"REGEDIT \nHKEY_CLASSES_ROOT\\x = y"));
    EXPECT_FALSE(parse(L"x.txt", kHeader5 + L"\n[K]"));
    // A DOS end-of-file mark on a line of its own is not content.
    auto dos = parseReg(L"[K]\n\"a\"=\"1\"\n\x1A");
    EXPECT_EQ(dos->errorMessage, L"");
    EXPECT_EQ(shape(*dos, dos->root), kHeader5Line + L"K{a=S:1}");
}

TEST(RegistryErrors, FirstErrorWithLineInBothLanguages) {
    struct ErrorCase {
        const wchar_t* text;  // after the header line
        const wchar_t* shape;
        const wchar_t* english;
        const wchar_t* german;
        uint32_t line;
    };
    const std::vector<ErrorCase> cases = {
        {L"[K]\nfoo\n[L]\n\"x\"=\"1\"\nbar", L"K{} L{x=S:1}", L"Unknown line", L"Unbekannte Zeile", 4},
        {L"[K]\n\"x\"=word:1\n\"y\"=\"ok\"", L"K{x=S:word:1 y=S:ok}", L"Unknown value format",
         L"Unbekanntes Werteformat", 4},
        {L"[K]\n\"x\"\n", L"K{x=S:}", L"Unknown value format", L"Unbekanntes Werteformat", 4},
        {L"[K]\n\"Data\"=hex:01,\\\n02\nstray", L"K{Data=S:01 02<binary>}", L"Unknown line", L"Unbekannte Zeile", 6},
    };
    qmtest::expectFirstErrors(
        cases, [](const wchar_t* body) { return parseReg(body); },
        [](const Document& d) {
            const std::wstring all = shape(d, d.root);
            return all.rfind(kHeader5Line, 0) == 0 ? all.substr(kHeader5Line.size()) : L"(no header line) " + all;
        });
    qmtest::LanguageGuard german(true);
    auto d = parseReg(L"[-K]\n@=-");
    EXPECT_EQ(shape(*d, d->root), kHeader5Line + L"K<l\u00F6schen>{(Standard)=Null:<l\u00F6schen>}");
}

TEST(RegistryKeyMap, FnvHashAndPathEquality) {
    // Reference values of 64-bit FNV-1a over the bytes 61 00 and 61 00 62 00.
    EXPECT_EQ(fnv1a(L""), 0xCBF29CE484222325ull);
    EXPECT_EQ(fnv1a(L"a"), 0x089BE207B544F1E4ull);
    EXPECT_EQ(fnv1a(L"ab"), 0xAB40D7820D408076ull);
    // Keys with the same hash but different paths stay apart: the path itself is the key.
    std::unordered_map<RegistryPath, int, RegistryPathHash> map;
    map.emplace(RegistryPath{L"hkey\\a", 42}, 1);
    map.emplace(RegistryPath{L"hkey\\b", 42}, 2);
    EXPECT_EQ(map.size(), 2u);
    EXPECT_EQ(map.at(RegistryPath{L"hkey\\b", 42}), 2);
    EXPECT_EQ(map.count(RegistryPath{L"hkey\\c", 42}), 0u);
}

namespace {

constexpr size_t kDeep = 100000;
constexpr size_t kSmallStack = 256 * 1024;

}  // namespace

TEST(RegistryDepth, HundredThousandComponentsOnASmallStack) {
    std::wstring path = L"HKEY_CURRENT_USER";
    for (size_t i = 1; i < kDeep; ++i) path += L"\\K";
    std::wstring lower = L"hkey_current_user";
    for (size_t i = 1; i < kDeep; ++i) lower += L"\\k";
    const std::wstring body = L"[" + path + L"]\n\"v\"=dword:1\n[" + lower + L"\\Leaf]\n[" + lower + L"]\n\"w\"=\"2\"\n";
    qmtest::runWithStack(kSmallStack, [&] {
        auto d = parseReg(body);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->errorMessage, L"");
        EXPECT_EQ(nodeCount(*d), 1 + kDeep + 3);  // header, keys, two values and the leaf key
        // Walk down the single chain without recursion.
        const Node* n = d->root->children[1];
        size_t depth = 1;
        while (!n->children.empty() && n->children[0]->kind == NodeKind::Object) {
            n = n->children[0];
            ++depth;
        }
        EXPECT_EQ(depth, kDeep);
        EXPECT_EQ(n->name, L"K");
        EXPECT_EQ(shape(*d, n), L"v=N:1<dword> Leaf{} w=S:2");
    });
}

TEST(RegistryCorpus, EveryExportLoadsWithoutError) {
    QM_SKIP_WITHOUT_CORPUS();
    size_t loaded = 0;
    for (const std::string& path : qmtest::listFiles(qmtest::corpusDir() + "/reg")) {
        std::string lowerPath = path;
        for (char& c : lowerPath) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (lowerPath.size() < 4 || lowerPath.compare(lowerPath.size() - 4, 4, ".reg") != 0) continue;
        auto d = qmtest::loadFile(path);
        // The Windows 3.x form ("REGEDIT" and key = value lines) is not an export file.
        if (path.find("dcom_sserver.reg") != std::string::npos) {
            EXPECT_FALSE(d) << path;
            continue;
        }
        ASSERT_TRUE(d) << path;
        ++loaded;
        EXPECT_EQ(d->format, DocumentFormat::Registry) << path;
        EXPECT_EQ(d->errorMessage, L"") << path << " line " << d->errorLine;
        EXPECT_GT(nodeCount(*d), 2u) << path;
    }
    EXPECT_EQ(loaded, 19u);
}
