// Editing and saving real files under Windows: the bytes on disk after an edit and a save equal
// the original except for the edited value in every encoding, refusals leave the file alone,
// and a save that cannot replace the file leaves the original intact.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/language.h"
#include "document/load.h"
#include "edit/editing.h"
#include "edit/nodetext.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

namespace {

using qmtest::fileBytes;

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string utf16(const std::wstring& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t c : text) {
        const char hi = char(unsigned(c) >> 8), lo = char(unsigned(c) & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

using qmtest::nodeWithPath;

struct Opened {
    std::wstring path;
    std::unique_ptr<qm::Document> doc = std::make_unique<qm::Document>();
    Opened(const std::wstring& name, const std::string& bytes) : Opened(qmtest::writeTempFile(name, bytes)) {}
    // A file on disk, loaded as the plug-in loads it, with no temporary file of an earlier save beside it.
    explicit Opened(std::wstring file) : path(std::move(file)) {
        SetFileAttributesW((path + L".qmedit").c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((path + L".qmedit").c_str());
        RemoveDirectoryW((path + L".qmedit").c_str());
        EXPECT_TRUE(qm::loadDocument(path, *doc));
    }
    qm::EditOutcome edit(const std::wstring& nodePath, const std::wstring& typed) {
        qm::Node* node = nodeWithPath(*doc, nodePath);
        EXPECT_NE(node, nullptr) << qmtest::u8(nodePath);
        if (!node) return {L"no node", false};
        return qm::editValue(*doc, path, node, [&](std::wstring& value) {
            value = typed;
            return true;
        });
    }
};

const std::wstring kNotSaved = L"The file could not be saved.";

struct RoundTrip {
    const char* what;
    const wchar_t* name;
    std::string original;
    const wchar_t* path;
    const wchar_t* typed;
    std::string saved;
};

// Each saved file is exported for tests/tools/edit_readers.py, which reads it with the format's
// usual reader (see qmtest::exportAcceptedEdit).
TEST(SaveWindows, EveryEncodingKeepsEveryOtherByte) {
    qmtest::LanguageGuard english(false);
    const std::string sjisHead = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<r a=\"1\">";
    const RoundTrip cases[] = {
        {"UTF-8 without a mark", L"u8.json", "{\r\n  \"a\": \"x\", // note\r\n  \"b\": 1\r\n}", L"$.a", L"caf\u00E9",
         "{\r\n  \"a\": \"caf\xC3\xA9\", // note\r\n  \"b\": 1\r\n}"},
        {"UTF-8 with a mark", L"u8bom.yaml", "\xEF\xBB\xBF# c\nk: v\nn: 1\n", L"$.k", L"w", "\xEF\xBB\xBF# c\nk: w\nn: 1\n"},
        {"UTF-16 LE with a mark", L"le.xml", utf16(L"<r>\r\n <t>x</t>\r\n</r>", false), L"/r/t/text()", L"\u4E00y",
         utf16(L"<r>\r\n <t>\u4E00y</t>\r\n</r>", false)},
        {"UTF-16 BE with a mark", L"be.toml", utf16(L"# c\nk = 'x'\n", true), L"k", L"z", utf16(L"# c\nk = 'z'\n", true)},
        {"Windows-1252", L"cp.xml", "<r k='caf\xE9'>x</r>", L"/r/@k", L"\u20AC", "<r k='\x80'>x</r>"},
        {"Shift-JIS declared", L"sjis.xml", sjisHead + "\x82\xA0</r>", L"/r/text()", L"\u3044", sjisHead + "\x82\xA2</r>"},
        // Windows writes a look-alike for a character a code page lacks; each is a reference
        // or an escape instead, never the look-alike.
        {"Windows-1252: an omega, infinity, a-macron and L-stroke in an attribute", L"cp-omega.xml",
         "<r k='caf\xE9'>x</r>", L"/r/@k", L"\u03A9\u221E\u0101\u0141", "<r k='&#x3A9;&#x221E;&#x101;&#x141;'>x</r>"},
        {"Windows-1252: infinity in JSON", L"cp-inf.json", "{\"s\": \"caf\xE9\"}", L"$.s", L"\u221E",
         "{\"s\": \"\\u221e\"}"},
        {"ISO-8859-1 declared", L"latin1.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>x</r>", L"/r/text()",
         L"\u0141\u00F3d\u017A", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>&#x141;\xF3" "d&#x17A;</r>"},
        {"windows-1251 declared", L"cyr.xml", "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r>\xE0</r>", L"/r/text()",
         L"\u00E9\u0431", "<?xml version=\"1.0\" encoding=\"windows-1251\"?><r>&#xE9;\xE1</r>"},
        {"US-ASCII declared", L"ascii.xml", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><r>x</r>", L"/r/text()",
         L"caf\u00E9", "<?xml version=\"1.0\" encoding=\"US-ASCII\"?><r>caf&#xE9;</r>"},
        {"KOI8-R declared", L"koi8.xml", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><r>x</r>", L"/r/text()",
         L"\u0430\u00E9", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><r>\xC1&#xE9;</r>"},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.what);
        Opened f(c.name, c.original);
        const qm::EditOutcome out = f.edit(c.path, c.typed);
        EXPECT_EQ(qmtest::u8(out.message), "");
        ASSERT_TRUE(out.changed);
        EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path)), "");
        const std::string onDisk = fileBytes(f.path);
        EXPECT_EQ(onDisk, c.saved);
        EXPECT_FALSE(exists(f.path + L".qmedit"));
        EXPECT_FALSE(f.doc->modified);
        qmtest::exportAcceptedEdit({c.what, c.name, f.doc->encoding, c.typed, c.original,
                                    qmtest::bytesOf(onDisk), nodeWithPath(*f.doc, c.path)});
    }
}

TEST(SaveWindows, DeclaredIsoLatinFileFromTheCorpus) {
    QM_SKIP_WITHOUT_CORPUS();
    std::vector<uint8_t> raw;
    ASSERT_TRUE(qmtest::readBytes(qmtest::corpusDir() + "/xml/symfony-translation/encoding.xlf", raw));
    const std::string original(raw.begin(), raw.end());
    Opened f(L"latin.xlf", original);
    qm::Node* target = nullptr;
    for (size_t i = 0; i < f.doc->nodes.size() && !target; ++i)
        if (f.doc->nodes[i].kind == qm::NodeKind::Text && f.doc->nodes[i].value == L"b\u00E4r") target = &f.doc->nodes[i];
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(qm::editValue(*f.doc, f.path, target, [](std::wstring& v) {
                    v = L"b\u00F6r";
                    return true;
                }).changed);
    EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path)), "");
    std::string expected = original;
    expected.replace(expected.find("<target>b\xE4r"), 11, "<target>b\xF6r");
    const std::string onDisk = fileBytes(f.path);
    EXPECT_EQ(onDisk, expected);
    qmtest::exportAcceptedEdit({"a declared ISO-8859-1 file from the corpus", L"latin.xlf", f.doc->encoding, L"b\u00F6r",
                                original, qmtest::bytesOf(onDisk), target});
}

TEST(SaveWindows, RefusedEditsAndSavesLeaveTheFile) {
    qmtest::LanguageGuard english(false);
    const std::string original = "{\"a\": 1}";
    {
        SCOPED_TRACE("changed on disk after loading");
        Opened f(L"changed.json", original);
        qmtest::writeTempFile(L"changed.json", "{\"a\": 2}");
        EXPECT_EQ(qmtest::u8(f.edit(L"$.a", L"3").message), "The file has changed. Please reopen it.");
        EXPECT_EQ(fileBytes(f.path), "{\"a\": 2}");
    }
    {
        SCOPED_TRACE("read-only at the edit, then at the save");
        Opened f(L"ro.json", original);
        SetFileAttributesW(f.path.c_str(), FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(qmtest::u8(f.edit(L"$.a", L"3").message), "The file is read-only.");
        SetFileAttributesW(f.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(f.edit(L"$.a", L"3").changed);
        SetFileAttributesW(f.path.c_str(), FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path)), "The file is read-only.");
        EXPECT_TRUE(f.doc->modified) << "the edit stays pending";
        SetFileAttributesW(f.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(fileBytes(f.path), original);
        EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path)), "");
        EXPECT_EQ(fileBytes(f.path), "{\"a\": 3}");
    }
    {
        SCOPED_TRACE("another program changed the file after the edit: kept until the user overwrites it");
        Opened f(L"other.json", "{\"a\": 1, \"b\": 1}");
        ASSERT_TRUE(f.edit(L"$.a", L"3").changed);
        qmtest::writeTempFile(L"other.json", "{\"a\": 1, \"b\": 2}");
        EXPECT_EQ(qm::saveDocument(*f.doc, f.path), qm::editMessageChangedOnDisk());
        EXPECT_TRUE(f.doc->modified) << "the edit stays pending";
        EXPECT_EQ(fileBytes(f.path), "{\"a\": 1, \"b\": 2}");
        EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path, true)), "");
        EXPECT_EQ(fileBytes(f.path), "{\"a\": 3, \"b\": 1}");
        // The saved bytes are what the next edit's text is made from: saving again needs no overwrite.
        ASSERT_TRUE(f.edit(L"$.b", L"4").changed);
        EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path)), "");
        EXPECT_EQ(fileBytes(f.path), "{\"a\": 3, \"b\": 4}");
    }
    {
        SCOPED_TRACE("a stale temporary file is overwritten and removed");
        Opened f(L"stale.json", original);
        qmtest::writeTempFile(L"stale.json.qmedit", std::string(100, 'z'));
        ASSERT_TRUE(f.edit(L"$.a", L"4").changed);
        EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path)), "");
        EXPECT_EQ(fileBytes(f.path), "{\"a\": 4}");
        EXPECT_FALSE(exists(f.path + L".qmedit"));
    }
    {
        // A folder by the temporary file's name stands for a folder without write access (Wine
        // does not enforce folder permissions): the temporary file cannot be created.
        SCOPED_TRACE("the temporary file cannot be created");
        Opened f(L"nowrite.json", original);
        ASSERT_TRUE(CreateDirectoryW((f.path + L".qmedit").c_str(), nullptr));
        ASSERT_TRUE(f.edit(L"$.a", L"5").changed);
        EXPECT_EQ(qm::saveDocument(*f.doc, f.path), kNotSaved);
        EXPECT_TRUE(f.doc->modified);
        EXPECT_EQ(fileBytes(f.path), original);
        RemoveDirectoryW((f.path + L".qmedit").c_str());
    }
}

// Saving changes the file's text and nothing else about it: a symbolic link (made on the Unix
// side) stays a link to the file, which takes the new text; every hard-linked name shows it; the
// hidden, system and archive marks and the Unix mode stay.
TEST(SaveWindows, TheFileKeepsItsIdentity) {
    qmtest::LanguageGuard english(false);
    const std::string saved = "{\"a\": 2}";
    const struct {
        const char* what;
        const wchar_t* unix;  // run first on the Unix side
        bool hardLink, throughOther;  // the second name exists; the file is opened and saved through it
        DWORD marks;
        const char* mode;  // the Unix mode afterwards
    } cases[] = {
        {"saved through a symbolic link", L"ln -s identity.json identity-other.json", false, true, 0, nullptr},
        {"a second name by a hard link", L":", true, false, 0, nullptr},
        {"hidden and archive", L":", false, false, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, nullptr},
        {"hidden and system", L":", false, false, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, nullptr},
        {"Unix mode 0640", L"chmod 640 identity.json", false, false, 0, "640\n"},
    };
    const std::wstring folder = qmtest::tempFolder(), other = folder + L"\\identity-other.json";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Wine deletes the file a link leads to for DeleteFileW on the link: the link goes on the Unix side.
        ASSERT_TRUE(qmtest::runUnixCommand(folder, L"rm -f identity-other.json"));
        const std::wstring file = qmtest::writeTempFile(L"identity.json", "{\"a\": 1}");
        ASSERT_TRUE(qmtest::runUnixCommand(folder, c.unix));
        ASSERT_TRUE(!c.hardLink || CreateHardLinkW(other.c_str(), file.c_str(), nullptr));
        ASSERT_TRUE(!c.marks || SetFileAttributesW(file.c_str(), c.marks));
        const std::wstring opened = c.throughOther ? other : file;
        Opened f(opened);
        ASSERT_TRUE(f.edit(L"$.a", L"2").changed);
        EXPECT_EQ(qmtest::u8(qm::saveDocument(*f.doc, f.path)), "");
        EXPECT_EQ(fileBytes(file), saved);
        EXPECT_FALSE(exists(file + L".qmedit") || exists(other + L".qmedit"));
        if (c.hardLink || c.throughOther) {  // both names still lead to one file
            EXPECT_EQ(fileBytes(other), saved);
            qmtest::writeTempFile(L"identity.json", "[]");
            EXPECT_EQ(fileBytes(other), "[]");
        }
        const DWORD attributes = GetFileAttributesW(file.c_str()), mask = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        EXPECT_EQ(attributes & mask, c.marks & mask);
        EXPECT_TRUE(!c.marks || (attributes & FILE_ATTRIBUTE_ARCHIVE)) << "changed, so due for backup";
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (c.mode) {
            ASSERT_TRUE(qmtest::runUnixCommand(folder, L"stat -c %a identity.json > identity-other.json"));
            EXPECT_EQ(fileBytes(other), c.mode);
        }
    }
}

// Another program holds the file open without delete sharing: the replacement fails three
// times and so does the direct write; the original stays whole and the edit stays pending.
TEST(SaveWindows, FileHeldOpenByAnotherProgram) {
    qmtest::LanguageGuard english(false);
    const std::string original = "{\"a\": 1}";
    const DWORD shares[] = {0, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE};
    for (DWORD share : shares) {
        SCOPED_TRACE(share);
        Opened f(L"held.json", original);
        ASSERT_TRUE(f.edit(L"$.a", L"2").changed);
        HANDLE held = CreateFileW(f.path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const std::wstring message = qm::saveDocument(*f.doc, f.path);
        CloseHandle(held);
        const std::string onDisk = fileBytes(f.path);
        if (message.empty()) {
            EXPECT_EQ(onDisk, "{\"a\": 2}");
        } else {
            EXPECT_EQ(message, kNotSaved);
            EXPECT_EQ(onDisk, original);
            EXPECT_TRUE(f.doc->modified);
            EXPECT_FALSE(exists(f.path + L".qmedit"));
        }
    }
}

}  // namespace

namespace {

// The disk as saving sees it, with the replacement of the file always failing and the direct
// write into it failing as the case says; the file may claim a second name (a hard link).
class FailingReplacement : public qm::SaveFileAccess {
public:
    enum DirectWrite { Succeeds, FailsBeforeOpening, FailsAfterEmptying } directWrite = Succeeds;
    std::wstring original;
    bool linked = false;
    int replacements = 0;

    DWORD links(const std::wstring& path) override { return linked ? 2 : SaveFileAccess::links(path); }

    bool replace(const std::wstring&, const std::wstring&) override {
        ++replacements;
        return false;
    }
    bool write(const std::wstring& path, DWORD disposition, const std::vector<uint8_t>& bytes, bool& opened) override {
        if (path != original || directWrite == Succeeds) return SaveFileAccess::write(path, disposition, bytes, opened);
        if (directWrite == FailsBeforeOpening) {
            opened = false;
            return false;
        }
        SaveFileAccess::write(path, disposition, {}, opened);  // a full disk, say: emptied, nothing written
        return false;
    }
    void pause(DWORD) override {}
};

}  // namespace

// When the file cannot be replaced, or has other names that a replacement would leave with the old
// text, the new text goes into the file itself; should that fail too, the file keeps its old text,
// or the temporary file keeps the new text and the message names it.
TEST(SaveWindows, ReplacementFailingFallsBackToWritingTheFile) {
    struct Case {
        const char* what;
        FailingReplacement::DirectWrite directWrite;
        bool keptTemp;  // the message names the temporary file
        std::string onDisk, inTemp;
        bool linked = false;  // never replaced, written into at once
    } cases[] = {
        {"the direct write succeeds", FailingReplacement::Succeeds, false, "{\"a\": 2}", "<missing>"},
        {"the direct write cannot open the file", FailingReplacement::FailsBeforeOpening, false, "{\"a\": 1}",
         "<missing>"},
        {"the direct write fails after emptying the file", FailingReplacement::FailsAfterEmptying, true, "",
         "{\"a\": 2}"},
        {"a file with a second name", FailingReplacement::Succeeds, false, "{\"a\": 2}", "<missing>", true},
        {"a file with a second name, the write failing before opening", FailingReplacement::FailsBeforeOpening, false,
         "{\"a\": 1}", "<missing>", true},
        {"a file with a second name, the write failing after emptying", FailingReplacement::FailsAfterEmptying, true, "",
         "{\"a\": 2}", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qmtest::LanguageGuard english(false);
        Opened f(L"mend.json", "{\"a\": 1}");
        ASSERT_TRUE(f.edit(L"$.a", L"2").changed);
        FailingReplacement files;
        files.original = f.path;
        files.directWrite = c.directWrite;
        files.linked = c.linked;
        const std::wstring message = qm::saveDocumentWith(*f.doc, f.path, files);
        EXPECT_EQ(files.replacements, c.linked ? 0 : 3);
        const std::wstring temp = f.path + L".qmedit";
        if (c.directWrite == FailingReplacement::Succeeds) EXPECT_EQ(message, L"");
        else if (c.keptTemp) EXPECT_EQ(message, kNotSaved + L" The complete new text is kept in \"" + temp + L"\".");
        else EXPECT_EQ(message, kNotSaved);
        EXPECT_EQ(f.doc->modified, !message.empty()) << "a failed save keeps the edit pending";
        EXPECT_EQ(fileBytes(f.path), c.onDisk);
        EXPECT_EQ(fileBytes(temp), c.inTemp);
    }
}
