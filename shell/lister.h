// The host side of Total Commander's Lister plug-in interface as Quillmap uses it: result codes,
// commands, show and search flags, and the default-parameter record. Written from the interface's
// documented values; only what the plug-in reads or returns is declared.
#pragma once

#include <cstdint>

namespace qm {

// Results of ListLoadNext, ListSearchText and ListSendCommand.
constexpr int LISTPLUGIN_OK = 0;
constexpr int LISTPLUGIN_ERROR = 1;

// ListSendCommand commands.
constexpr int lc_copy = 1;       // copy the selection (the plug-in copies the selected value)
constexpr int lc_newparams = 2;  // the show flags changed; the parameter holds the new ones
constexpr int lc_selectall = 3;  // not handled
constexpr int lc_setpercent = 4; // not handled

// Show flags of ListLoad, ListLoadNext and the lc_newparams parameter. Only the dark bit is read.
constexpr int lcp_wraptext = 1;
constexpr int lcp_fittowindow = 2;
constexpr int lcp_ansi = 4;
constexpr int lcp_ascii = 8;
constexpr int lcp_variable = 12;
constexpr int lcp_forceshow = 16;
constexpr int lcp_fitlargeronly = 32;
constexpr int lcp_center = 64;
constexpr int lcp_darkmode = 128;

// Search flags of ListSearchText, handed to the search unchanged.
constexpr int lcs_findfirst = 1;
constexpr int lcs_matchcase = 2;
constexpr int lcs_wholewords = 4;
constexpr int lcs_backwards = 8;

// The record ListSetDefaultParams receives: its size, the interface version the host speaks,
// and the full path of the host's default INI file (8-bit text, zero-terminated).
constexpr int kListerIniNameSize = 260;
struct ListDefaultParamStruct {
    int32_t size;
    uint32_t pluginInterfaceVersionLow;
    uint32_t pluginInterfaceVersionHi;
    char defaultIniName[kListerIniNameSize];
};

// The extensions the host offers to the plug-in (which format a file is read as is decided
// from its name and content when it is loaded); the last ones are those of the well-known
// configuration file names (document/wellknown.h) that have one.
constexpr char kDetectString[] =
    "EXT=\"XML\" | EXT=\"XSD\" | EXT=\"XSL\" | EXT=\"XSLT\" | EXT=\"SVG\" | EXT=\"CONFIG\" | EXT=\"CSPROJ\" | "
    "EXT=\"VBPROJ\" | EXT=\"VCXPROJ\" | EXT=\"FSPROJ\" | EXT=\"PROPS\" | EXT=\"TARGETS\" | EXT=\"NUSPEC\" | "
    "EXT=\"RESX\" | EXT=\"PLIST\" | EXT=\"RSS\" | EXT=\"ATOM\" | EXT=\"WSDL\" | EXT=\"KML\" | EXT=\"GPX\" | "
    "EXT=\"XAML\" | EXT=\"MANIFEST\" | EXT=\"XLF\" | EXT=\"XLIFF\" | EXT=\"FB2\" | EXT=\"JSON\" | EXT=\"JSONC\" | "
    "EXT=\"JSON5\" | EXT=\"GEOJSON\" | EXT=\"TOPOJSON\" | EXT=\"WEBMANIFEST\" | EXT=\"HAR\" | EXT=\"ARB\" | "
    "EXT=\"YAML\" | EXT=\"YML\" | EXT=\"RDF\" | EXT=\"OWL\" | EXT=\"OPML\" | EXT=\"GML\" | EXT=\"GRAPHML\" | "
    "EXT=\"BPMN\" | EXT=\"WXS\" | EXT=\"WXI\" | EXT=\"WXL\" | EXT=\"APPXMANIFEST\" | EXT=\"VSIXMANIFEST\" | "
    "EXT=\"VSTEMPLATE\" | EXT=\"PUBXML\" | EXT=\"RUNSETTINGS\" | EXT=\"RULESET\" | EXT=\"SLNX\" | EXT=\"USER\" | "
    "EXT=\"RDL\" | EXT=\"RDLC\" | EXT=\"DTSX\" | EXT=\"TMX\" | EXT=\"XBRL\" | EXT=\"XMI\" | EXT=\"DAE\" | "
    "EXT=\"XIB\" | EXT=\"STORYBOARD\" | EXT=\"MUSICXML\" | EXT=\"OPF\" | EXT=\"NCX\" | EXT=\"XSPF\" | "
    "EXT=\"JSONL\" | EXT=\"NDJSON\" | EXT=\"TOML\" | EXT=\"REG\" | EXT=\"LOCK\" | EXT=\"CLANG-FORMAT\" | "
    "EXT=\"CLANG-TIDY\" | EXT=\"CLANGD\" | EXT=\"YAMLLINT\" | EXT=\"CONDARC\" | EXT=\"ESLINTRC\" | "
    "EXT=\"PRETTIERRC\" | EXT=\"STYLELINTRC\" | EXT=\"BABELRC\" | EXT=\"JSHINTRC\" | EXT=\"SWCRC\" | "
    "EXT=\"WATCHMANCONFIG\"";

// ListGetDetectString's copy: at most size - 1 characters and a terminating zero.
void copyDetectString(char* buffer, int size);

}  // namespace qm

#ifdef _WIN32
#include <windows.h>

#include <string>

namespace qm {

// What the ten exports do; the exports themselves only convert 8-bit texts and call these.
// None of them lets an exception out.
HWND ListerLoad(HWND parent, const std::wstring& path, int showFlags) noexcept;
int ListerLoadNext(HWND pluginWindow, const std::wstring& path) noexcept;
void ListerClose(HWND pluginWindow) noexcept;
int ListerSearchText(HWND pluginWindow, const std::wstring& text, int flags) noexcept;
int ListerSendCommand(HWND pluginWindow, int command, int parameter) noexcept;
void ListerSetDefaultParams(const ListDefaultParamStruct* params) noexcept;

// An 8-bit text of the host's code page (CP_ACP) as UTF-16; null gives the empty string.
std::wstring ansiToWide(const char* text);
std::wstring ansiToWide(const char* text, size_t length);
// German when the primary language of the Windows display language is German.
bool displayLanguageIsGerman();

void ModuleAttach(HINSTANCE instance);
void ModuleDetach();

}  // namespace qm
#endif
