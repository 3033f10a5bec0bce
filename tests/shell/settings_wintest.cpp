// The settings file under Wine: where it is created, the one-time migration from the host's INI
// file, reading with defaults and clamps, and writing in the file's key order and formats.
#include <windows.h>

#include <gtest/gtest.h>

#include "shell/settings.h"
#include "tests/support/fakemodule_win.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::FakeModule;

namespace {

// Each test starts without a chosen settings file, as a fresh process does.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = settingsPath;
        settingsPath.clear();
        hostFolder_ = qmtest::makeTempFolder(L"qm_host_");
        hostIni_ = hostFolder_ + L"wincmd.ini";
    }
    void TearDown() override {
        settingsPath = saved_;
        qmtest::removeTree(hostFolder_);
    }
    std::wstring saved_;
    std::wstring hostFolder_;
    std::wstring hostIni_;
};

const char kHostIniWithSection[] =
    "[Configuration]\r\nEditor=notepad.exe\r\n"
    "[Quillmap]\r\nView=2\r\nSplit=450\r\nFont=Consolas\r\nFontSize=10.5\r\nCounts=0\r\nSearch=1\r\n"
    "[Lister]\r\nMaximized=1\r\n";

// The file the migration writes from kHostIniWithSection: seven keys in their order, "Search" not.
const wchar_t kMigratedFile[] =
    L"[Quillmap]\r\nView=2\r\nSplit=450\r\nAutoFit=0\r\nTheme=0\r\nFont=Consolas\r\nFontSize=10.5\r\nCounts=0\r\n";
const wchar_t kDefaultFile[] =
    L"[Quillmap]\r\nView=0\r\nSplit=300\r\nAutoFit=0\r\nTheme=0\r\nFont=Segoe UI\r\nFontSize=9\r\nCounts=1\r\n";

bool hasQuillmapSection(const std::wstring& ini) {
    wchar_t buffer[256] = {};
    return GetPrivateProfileSectionW(L"Quillmap", buffer, 256, ini.c_str()) > 0;
}

std::wstring profileText(const std::wstring& ini, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[256] = {};
    GetPrivateProfileStringW(section, key, L"<none>", buffer, 256, ini.c_str());
    return buffer;
}

// Makes a folder refuse new files, even for root: the immutable attribute of the Linux file
// system, set with chattr started from inside the Wine process. (Permission bits do not stop
// root, and Windows ignores a folder's read-only attribute.) Undone in the destructor.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const std::wstring& folder) : folder_(folder), unix_(qmtest::unixPath(folder)) {
        if (unix_.empty() || !qmtest::startUnixProgram(L"Z:\\usr\\bin\\chattr +i \"" + unix_ + L"\"")) return;
        set_ = qmtest::waitUntil([this] { return !qmtest::canCreateFileIn(folder_); });
    }
    ~ImmutableFolder() {
        if (!set_) return;
        qmtest::startUnixProgram(L"Z:\\usr\\bin\\chattr -i \"" + unix_ + L"\"");
        qmtest::waitUntil([this] { return qmtest::canCreateFileIn(folder_); });
    }
    bool ok() const { return set_; }

private:
    std::wstring folder_;
    std::wstring unix_;
    bool set_ = false;
};

}  // namespace

TEST_F(SettingsFile, FirstRunCreatesTheFileBesideTheModuleWithTheHostsValues) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    qmtest::writeTextFile(hostIni_, kHostIniWithSection);
    InitSettingsPath(hostIni_);
    EXPECT_EQ(settingsPath, module.folder() + L"Quillmap.ini");
    EXPECT_EQ(qmtest::readTextFile(settingsPath), kMigratedFile);
    EXPECT_FALSE(hasQuillmapSection(hostIni_));
    EXPECT_EQ(profileText(hostIni_, L"Configuration", L"Editor"), L"notepad.exe");  // other sections stay
    EXPECT_EQ(profileText(hostIni_, L"Lister", L"Maximized"), L"1");
}

TEST_F(SettingsFile, FirstRunWithoutHostIniWritesTheDefaults) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    InitSettingsPath(L"");
    EXPECT_EQ(settingsPath, module.folder() + L"Quillmap.ini");
    EXPECT_EQ(qmtest::readTextFile(settingsPath), kDefaultFile);
}

TEST_F(SettingsFile, ReadOnlyModuleFolderPutsTheFileBesideTheHostsIni) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    qmtest::writeTextFile(hostIni_, kHostIniWithSection);
    {
        ImmutableFolder readOnly(module.folder());
        if (!readOnly.ok()) GTEST_SKIP() << "chattr +i is not available here";
        InitSettingsPath(hostIni_);
        EXPECT_FALSE(qmtest::fileExists(module.folder() + L"Quillmap.ini"));
    }
    EXPECT_EQ(settingsPath, hostFolder_ + L"Quillmap.ini");
    EXPECT_EQ(qmtest::readTextFile(settingsPath), kMigratedFile);
    EXPECT_FALSE(hasQuillmapSection(hostIni_));
}

TEST_F(SettingsFile, ReadOnlyFoldersEverywhereKeepTheHostsSection) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    qmtest::writeTextFile(hostIni_, kHostIniWithSection);
    {
        ImmutableFolder moduleReadOnly(module.folder());
        ImmutableFolder hostReadOnly(hostFolder_);  // the host's INI itself stays writable
        if (!moduleReadOnly.ok() || !hostReadOnly.ok()) GTEST_SKIP() << "chattr +i is not available here";
        InitSettingsPath(hostIni_);
    }
    EXPECT_EQ(settingsPath, hostFolder_ + L"Quillmap.ini");
    EXPECT_FALSE(qmtest::fileExists(settingsPath));
    // Nothing could be copied, so the user's old settings must not be deleted.
    EXPECT_TRUE(hasQuillmapSection(hostIni_));
    EXPECT_EQ(profileText(hostIni_, L"Quillmap", L"Split"), L"450");
}

TEST_F(SettingsFile, ReadOnlyModuleFolderWithoutHostIniKeepsTheModulePath) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    ImmutableFolder readOnly(module.folder());
    if (!readOnly.ok()) GTEST_SKIP() << "chattr +i is not available here";
    InitSettingsPath(L"");
    EXPECT_EQ(settingsPath, module.folder() + L"Quillmap.ini");
    Settings s;
    s.activeView = 2;
    ReadSettings(s);  // nothing to read: defaults
    EXPECT_EQ(s.activeView, 0);
    EXPECT_EQ(s.split, 300);
    SaveSettings(s);  // fails silently
    EXPECT_FALSE(qmtest::fileExists(settingsPath));
}

TEST_F(SettingsFile, ExistingFileIsNeverMigratedAgain) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    const std::wstring ours = module.folder() + L"Quillmap.ini";
    qmtest::writeTextFile(ours, "[Quillmap]\r\nView=1\r\n");
    qmtest::writeTextFile(hostIni_, kHostIniWithSection);
    InitSettingsPath(hostIni_);
    EXPECT_EQ(settingsPath, ours);
    EXPECT_EQ(qmtest::readTextFile(ours), L"[Quillmap]\r\nView=1\r\n");
    EXPECT_TRUE(hasQuillmapSection(hostIni_));

    // A later process (settingsPath chosen afresh) finds the file and again leaves everything.
    settingsPath.clear();
    InitSettingsPath(hostIni_);
    EXPECT_EQ(qmtest::readTextFile(ours), L"[Quillmap]\r\nView=1\r\n");
    EXPECT_TRUE(hasQuillmapSection(hostIni_));
}

TEST_F(SettingsFile, FirstCallOfTheProcessDecides) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    InitSettingsPath(L"");  // the first window's creation
    const std::wstring chosen = settingsPath;
    qmtest::writeTextFile(hostIni_, kHostIniWithSection);
    InitSettingsPath(hostIni_);  // a later ListSetDefaultParams changes nothing
    EXPECT_EQ(settingsPath, chosen);
    EXPECT_TRUE(hasQuillmapSection(hostIni_));
}

TEST_F(SettingsFile, ReadingAppliesDefaultsAndClamps) {
    struct Case {
        const char* file;
        void (*check)(const Settings&);
    } cases[] = {
        {"[Quillmap]\r\n",
         [](const Settings& s) {
             EXPECT_EQ(s.activeView, 0);
             EXPECT_EQ(s.split, 300);
             EXPECT_FALSE(s.autoFit);
             EXPECT_TRUE(s.showCounts);
             EXPECT_EQ(s.buttonsMode, 1);
             EXPECT_EQ(s.searchMode, 0);
             EXPECT_FALSE(s.searchRegex);
             EXPECT_EQ(s.searchKeyChar, L'F');
             EXPECT_TRUE(s.searchKeyShift);
             EXPECT_EQ(s.themeMode, 0);
             EXPECT_EQ(s.contentFontName, L"Segoe UI");
             EXPECT_EQ(s.contentFontSize, 90);
             EXPECT_EQ(s.lightSchemeName, L"");
         }},
        {"[Quillmap]\r\nTheme=7\r\nView=-1\r\nSplit=50\r\nFontSize=40\r\nButtons=5\r\nSearch=-3\r\n",
         [](const Settings& s) {
             EXPECT_EQ(s.themeMode, 3);
             EXPECT_EQ(s.activeView, 0);
             EXPECT_EQ(s.split, 80);
             EXPECT_EQ(s.contentFontSize, 320);
             EXPECT_EQ(s.buttonsMode, 2);
             EXPECT_EQ(s.searchMode, 0);
         }},
        {"[Quillmap]\r\nSplit=abc\r\nCounts=yes\r\nButtons=x\r\nAutoFit=2\r\nSearchRegex=-1\r\nFontSize=big\r\nFont=\r\n",
         [](const Settings& s) {
             EXPECT_EQ(s.split, 80);
             EXPECT_FALSE(s.showCounts);
             EXPECT_EQ(s.buttonsMode, 0);
             EXPECT_TRUE(s.autoFit);
             EXPECT_TRUE(s.searchRegex);
             EXPECT_EQ(s.contentFontSize, 60);
             EXPECT_EQ(s.contentFontName, L"Segoe UI");
         }},
        {"[Quillmap]\r\nSplit=5000\r\nView=2\r\nFontSize=10.5\r\nSearchKey=Ctrl+K\r\nLightScheme=Quiet Light\r\n"
         "DarkScheme=Abyss\r\nFont=Consolas\r\nTheme=2\r\n",
         [](const Settings& s) {
             EXPECT_EQ(s.split, 5000);
             EXPECT_EQ(s.activeView, 2);
             EXPECT_EQ(s.contentFontSize, 105);
             EXPECT_EQ(s.searchKeyChar, L'K');
             EXPECT_FALSE(s.searchKeyShift);
             EXPECT_EQ(s.lightSchemeName, L"Quiet Light");
             EXPECT_EQ(s.darkSchemeName, L"Abyss");
             EXPECT_EQ(s.contentFontName, L"Consolas");
             EXPECT_EQ(s.themeMode, 2);
         }},
        {"[Quillmap]\r\nSearchKey=Ctrl+Shift+#\r\nFont=A Font Name Longer Than Thirty-One Characters\r\n",
         [](const Settings& s) {
             EXPECT_EQ(s.searchKeyChar, 0);
             EXPECT_EQ(s.contentFontName, L"A Font Name Longer Than Thirty-");  // buffer of 32
         }},
    };
    FakeModule module;
    ASSERT_TRUE(module.ok());
    settingsPath = module.folder() + L"Quillmap.ini";
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file);
        qmtest::writeTextFile(settingsPath, k.file);
        Settings s;
        s.activeView = 1;  // a stale value must be replaced
        s.split = 1234;
        ReadSettings(s);
        k.check(s);
    }
}

TEST_F(SettingsFile, NoSettingsFileMeansDefaultsAndNoWrites) {
    Settings s;
    s.themeMode = 2;
    s.contentFontName = L"Consolas";
    s.contentFontSize = 200;
    s.searchKeyChar = 0;
    ReadSettings(s);
    EXPECT_EQ(s.themeMode, 0);
    EXPECT_EQ(s.contentFontName, L"Segoe UI");
    EXPECT_EQ(s.contentFontSize, 90);
    EXPECT_EQ(s.searchKeyChar, L'F');
}

TEST_F(SettingsFile, SavingWritesEveryKeyInOrderAndReadsBack) {
    FakeModule module;
    ASSERT_TRUE(module.ok());
    settingsPath = module.folder() + L"Quillmap.ini";
    Settings s;
    s.activeView = 1;
    s.split = 250;
    s.autoFit = true;
    s.buttonsMode = 2;
    s.showCounts = false;
    s.searchMode = 1;
    s.searchRegex = true;
    s.searchFilter = true;
    s.sourceLayout = kSourceLayoutFormatted;
    s.themeMode = 2;
    s.lightSchemeName = L"Solarized (light)";
    s.contentFontName = L"Consolas";
    s.contentFontSize = 105;
    s.searchKeyChar = L'K';
    SaveSettings(s);
    EXPECT_EQ(qmtest::readTextFile(settingsPath),
              L"[Quillmap]\r\nView=1\r\nSplit=250\r\nAutoFit=1\r\nButtons=2\r\nCounts=0\r\nSearch=1\r\nSearchRegex=1\r\n"
              L"SearchFilter=1\r\nSourceLayout=2\r\nTheme=2\r\nLightScheme=Solarized (light)\r\nDarkScheme=\r\nFont=Consolas\r\nFontSize=10.5\r\n");
    Settings back;
    ReadSettings(back);
    EXPECT_EQ(back.activeView, 1);
    EXPECT_EQ(back.split, 250);
    EXPECT_TRUE(back.autoFit);
    EXPECT_EQ(back.buttonsMode, 2);
    EXPECT_FALSE(back.showCounts);
    EXPECT_EQ(back.sourceLayout, kSourceLayoutFormatted);
    EXPECT_EQ(back.searchMode, 1);
    EXPECT_TRUE(back.searchRegex);
    EXPECT_TRUE(back.searchFilter);
    EXPECT_EQ(back.themeMode, 2);
    EXPECT_EQ(back.lightSchemeName, L"Solarized (light)");
    EXPECT_EQ(back.contentFontSize, 105);
    EXPECT_EQ(back.searchKeyChar, L'F');  // "SearchKey" is never written

    s.contentFontSize = 90;
    SaveSettings(s);
    EXPECT_EQ(GetPrivateProfileIntW(L"Quillmap", L"FontSize", 0, settingsPath.c_str()), 9u);
}
