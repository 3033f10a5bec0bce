// .reg files through the real load path: ReadFile, decoding with MultiByteToWideChar (most
// exports are UTF-16 LE with a mark) and REGEDIT4 hex strings in the system's ANSI code page.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cwchar>
#include <string>
#include <vector>

#include "document/load.h"
#include "tests/support/testing.h"
#include "tests/support/winfiles.h"

using namespace qm;

namespace {

struct SpotCheck {
    const char* file;  // below the corpus's reg folder
    NodeKind kind;
    const wchar_t* name;
    const wchar_t* parent;  // name of the parent node ("" for the root)
    const wchar_t* value;   // the whole value, or its beginning when length is given
    size_t length;          // 0: value is the whole value
    uint32_t line;
    const wchar_t* tag;     // null: no tag
};

// Picked by reading the files: lines, names and values as they stand in the source.
const SpotCheck kSpotChecks[] = {
    {"scoop-extras/everything_install-context.reg", NodeKind::String, L"(Default)", L"Everything",
     L"Search with &Everything", 0, 4, nullptr},
    {"scoop-extras/everything_install-context.reg", NodeKind::String, L"(Default)", L"command",
     L"$app_path -path \"%1\"", 0, 8, nullptr},
    {"scoop-extras/everything_install-context.reg", NodeKind::Comment, L"", L"Everything",
     L"%v \u2013 For verbs that are none implies all. If there is no parameter passed this is the working directory.",
     0, 14, nullptr},
    {"scoop-extras/lazarus_install-associations.reg", NodeKind::String, L"Lazarus.AssocFile.inc", L"OpenWithProgIDs",
     L"", 0, 4, L"hex(0)"},
    {"scoop-extras/lazarus_install-associations.reg", NodeKind::String, L"(Default)", L"DefaultIcon",
     L"{{lazarus_dir}}\\images\\includefile.ico", 0, 13, nullptr},
    {"scoop-extras/phoenix-protector_register-ilmerge-path.reg", NodeKind::String, L"ILMerge", L"Phoenix Protector",
     L"$scoop_dir\\apps\\ilmerge\\current\\ILMerge.exe", 0, 4, nullptr},
    {"scoop-extras/tortoisesvn-uninstall.reg", NodeKind::Comment, L"", L"", L"REGEDIT4", 0, 1, nullptr},
    {"scoop-extras/tortoisesvn-uninstall.reg", NodeKind::Object, L"TortoiseSVN", L"ContextMenuHandlers", L"", 0, 3,
     L"delete"},
    {"scoop-extras/tortoisesvn-uninstall.reg", NodeKind::Object, L"*", L"HKEY_CLASSES_ROOT", L"", 0, 5, nullptr},
    {"win11debloat/Disable_Animations.reg", NodeKind::String, L"UserPreferencesMask", L"Desktop",
     L"90 12 07 80 10 00 00 00", 0, 4, L"binary"},
    {"win11debloat/Disable_Desktop_Spotlight.reg", NodeKind::Number, L"DisableSpotlightCollectionOnDesktop",
     L"CloudContent", L"1", 0, 4, L"dword"},
    {"win11debloat/Disable_Desktop_Spotlight.reg", NodeKind::Null, L"{2cc5ca98-6485-489a-920e-b3e88a6ccce3}",
     L"NewStartPanel", L"", 0, 7, L"delete"},
    {"win11debloat/Disable_Give_access_to_context_menu.reg", NodeKind::Object, L"Sharing", L"ContextMenuHandlers", L"",
     0, 3, L"delete"},
    {"win11debloat/Disable_Give_access_to_context_menu.reg", NodeKind::Object, L"Drive", L"HKEY_CLASSES_ROOT", L"", 0,
     9, nullptr},
    {"win11debloat/Disable_Telemetry.reg", NodeKind::Comment, L"", L"",
     L"Let Apps use Advertising ID for Relevant Ads in Windows 10", 0, 3, nullptr},
    {"win11debloat/Disable_Telemetry.reg", NodeKind::Number, L"HasAccepted", L"OnlineSpeechPrivacy", L"0", 0, 13,
     L"dword"},
    {"win11debloat/Disable_Windows_Suggestions.reg", NodeKind::Object, L"ContentDeliveryManager", L"CurrentVersion",
     L"", 0, 4, nullptr},
    {"win11debloat/Disable_Windows_Suggestions.reg", NodeKind::Number, L"SystemPaneSuggestionsEnabled",
     L"ContentDeliveryManager", L"0", 0, 10, L"dword"},
    {"win11debloat/Sysprep_Disable_Animations.reg", NodeKind::Object, L"hkey_users", L"", L"", 0, 3, nullptr},
    {"win11debloat/Sysprep_Disable_Animations.reg", NodeKind::String, L"DisableAnimations", L"RunOnce",
     L"reg add \"HKCU\\Control Panel\\Desktop\" /v UserPreferencesMask /t REG_BINARY /d 9012078010000000 /f", 0, 7,
     nullptr},
    {"win11debloat/Undo_Enable_Game_Bar_Integration.reg", NodeKind::String, L"(Default)", L"ms-gamebar",
     L"URL:ms-gamebar", 0, 9, nullptr},
    {"win11debloat/Undo_Enable_Game_Bar_Integration.reg", NodeKind::Null, L"NoOpenWith", L"ms-gamebar", L"", 0, 11,
     L"delete"},
    {"win11debloat/Undo_Enable_Game_Bar_Integration.reg", NodeKind::Object, L"command", L"open", L"", 0, 13,
     L"delete"},
    {"win11debloat/Undo_Enable_Give_access_to_context_menu.reg", NodeKind::String, L"(Default)", L"Sharing",
     L"{f81e9010-6ea4-11ce-a7ff-00aa003ca9f6}", 0, 4, nullptr},
    {"windows-classic-samples/fsrm_eventlog.reg", NodeKind::String, L"EventMessageFile", L"SRM_PS_CLS",
     L"c:\\Windows\\Microsoft.NET\\Framework64\\v2.0.50727\\EventLogMessages.dll", 0, 4, L"expand_sz"},
    {"windows-classic-samples/functiondiscovery_Install.reg", NodeKind::String, L"ThreadingModel", L"InprocServer32",
     L"Free", 0, 26, nullptr},
    {"windows-classic-samples/functiondiscovery_Install.reg", NodeKind::String, L"RunAs",
     L"{71F70024-0C44-4a05-A918-651F41EF8548}", L"nt authority\\localservice", 0, 34, nullptr},
    // 164 bytes over seven physical lines: 164 * 3 - 1 characters.
    {"windows-classic-samples/functiondiscovery_Install.reg", NodeKind::String, L"AccessPermission",
     L"{71F70024-0C44-4a05-A918-651F41EF8548}", L"01 00 04 80 84 00 00 00 94 00", 491, 35, L"binary"},
    {"windows-classic-samples/osp_registerprovider.reg", NodeKind::String, L"(Default)",
     L"<INSERT:  ProgID for OLE DB Provider>", L"<INSERT:  Name of OLE DB Provider>", 0, 4, nullptr},
    {"windows-classic-samples/osp_registerprovider.reg", NodeKind::Comment, L"", L"<INSERT:  GUID for OLE DB Provider>",
     L"\"OLEDB_SERVICES\"=dword:FFFFFFFF <-- Enables Service Components services and aggregation", 0, 12, nullptr},
    {"windows-classic-samples/perfdlls_AppMem.Reg", NodeKind::String, L"Library", L"Performance", L"appmem.dll", 0, 11,
     nullptr},
    {"windows-classic-samples/perfdlls_AppMem.Reg", NodeKind::Number, L"TypesSupported", L"AppMem", L"7", 0, 21,
     L"dword"},
    {"windows-classic-samples/sideshow_Pictures.reg", NodeKind::Array, L"Endpoints",
     L"{00BA1AD8-5381-449b-9A13-551FA4ADE0F2}", L"", 0, 4, L"multi_sz"},
    {"windows-classic-samples/sideshow_Pictures.reg", NodeKind::String, L"", L"Endpoints",
     L"{A9A5353F-2D4B-47ce-93EE-759F3A7DDA4F}", 0, 4, nullptr},
    {"windows-classic-samples/sideshow_Pictures.reg", NodeKind::String, L"FriendlyName",
     L"{00BA1AD8-5381-449b-9A13-551FA4ADE0F2}",
     L"@%USERPROFILE%\\Desktop\\WindowsSideShowPictures\\WindowsSideShowPictures.exe,-1000", 0, 8, L"expand_sz"},
    {"windows-classic-samples/wirelessdiagnostics_L2SecExt.reg", NodeKind::String, L"Version", L"L2SecExt", L"1.0", 0,
     10, nullptr},
    {"windows-classic-samples/wirelessdiagnostics_L2SecExt.reg", NodeKind::Object, L"MatchAttributes", L"L2SecExt", L"",
     0, 14, nullptr},
    {"windows-classic-samples/wmp_debugon.reg", NodeKind::String, L"ScriptDebugging", L"Preferences", L"01", 0, 4,
     L"binary"},
};

// First node of the check's kind, name and parent in document order; comments, which have no
// name, are told apart by their text.
const Node* findNode(const Document& d, const SpotCheck& c) {
    std::vector<const Node*> stack{d.root};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (n->kind == c.kind && n->name == c.name && n->parent && n->parent->name == c.parent &&
            (c.kind != NodeKind::Comment || n->value == c.value))
            return n;
        stack.insert(stack.end(), n->children.rbegin(), n->children.rend());
    }
    return nullptr;
}

std::unique_ptr<Document> load(const std::string& path) {
    auto d = std::make_unique<Document>();
    if (!loadDocument(qmtest::platformPath(path), *d)) return nullptr;
    return d;
}

}  // namespace

TEST(RegistryWindows, EveryCorpusExportLoads) {
    QM_SKIP_WITHOUT_CORPUS();
    size_t loaded = 0, utf16 = 0;
    for (const std::string& path : qmtest::listFiles(qmtest::corpusDir() + "/reg")) {
        std::string lowerPath = path;
        for (char& c : lowerPath) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (lowerPath.compare(lowerPath.size() - 4, 4, ".reg") != 0) continue;
        auto d = load(path);
        if (path.find("dcom_sserver.reg") != std::string::npos) {  // Windows 3.x "REGEDIT" form
            EXPECT_FALSE(d) << path;
            continue;
        }
        ASSERT_TRUE(d) << path;
        ++loaded;
        if (d->encoding == L"UTF-16 LE") ++utf16;
        EXPECT_EQ(d->format, DocumentFormat::Registry) << path;
        EXPECT_EQ(d->errorMessage, L"") << path << " line " << d->errorLine;
    }
    EXPECT_EQ(loaded, 19u);
    EXPECT_EQ(utf16, 7u);  // the regedit exports of Win11Debloat
}

TEST(RegistryWindows, SpotChecks) {
    QM_SKIP_WITHOUT_CORPUS();
    for (const SpotCheck& c : kSpotChecks) {
        auto d = load(qmtest::corpusDir() + "/reg/" + c.file);
        ASSERT_TRUE(d) << c.file;
        const Node* n = findNode(*d, c);
        ASSERT_NE(n, nullptr) << c.file << ": " << qmtest::u8(c.name);
        const std::string what = std::string(c.file) + ": " + qmtest::u8(c.name);
        if (c.length) {
            EXPECT_EQ(n->value.substr(0, wcslen(c.value)), c.value) << what;
            EXPECT_EQ(n->value.size(), c.length) << what;
        } else {
            EXPECT_EQ(n->value, c.value) << what;
        }
        EXPECT_EQ(n->line, c.line) << what;
        EXPECT_EQ(std::wstring(nodeTag(*d, n) ? nodeTag(*d, n) : L"(none)"), c.tag ? c.tag : L"(none)") << what;
    }
}

TEST(RegistryWindows, Regedit4HexStringsUseTheAnsiCodePage) {
    const std::string bytes = "\x41\xE4\x80\xA9";
    wchar_t expected[8] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), expected, 8);
    ASSERT_EQ(n, 4);
    const std::wstring path = qmtest::writeTempFile(
        L"ansi.reg", "REGEDIT4\r\n\r\n[K]\r\n\"S\"=hex(2):41,e4,80,a9,00\r\n\"M\"=hex(7):41,00,e4,80,00,00\r\n");
    ASSERT_FALSE(path.empty());
    Document d;
    ASSERT_TRUE(loadDocument(path, d));
    const Node* key = d.root->children[1];
    ASSERT_EQ(key->children.size(), 2u);
    EXPECT_EQ(key->children[0]->value, std::wstring(expected, 4));
    ASSERT_EQ(key->children[1]->children.size(), 2u);
    EXPECT_EQ(key->children[1]->children[1]->value, std::wstring(expected + 1, 2));
}
