// A stand-in for the plug-in module in a folder of its own: the running test executable is
// copied into a fresh temporary folder and mapped with LoadLibraryExW, and qm::moduleHandle
// points at it, so that everything found "beside the module" is found in that folder.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qmtest {

class FakeModule {
public:
    explicit FakeModule(const wchar_t* fileName = L"Quillmap.wlx64");
    ~FakeModule();
    FakeModule(const FakeModule&) = delete;
    FakeModule& operator=(const FakeModule&) = delete;

    bool ok() const { return module_ != nullptr; }
    // The module's folder with a trailing backslash.
    const std::wstring& folder() const { return folder_; }

private:
    std::wstring folder_;
    HMODULE module_ = nullptr;
    HINSTANCE previous_ = nullptr;
};

// A fresh empty folder under the temporary folder, with a trailing backslash.
std::wstring makeTempFolder(const wchar_t* prefix);
// Deletes a folder with everything in it.
void removeTree(const std::wstring& folder);
// Whole file as UTF-16 text (the profile functions write ANSI files; ASCII content here).
std::wstring readTextFile(const std::wstring& path);
void writeTextFile(const std::wstring& path, const std::string& text);
bool fileExists(const std::wstring& path);

// Starts a Linux program from the Wine process (Wine runs ELF executables as Unix processes).
// Wine cannot report a Unix process's exit code, so callers check the program's effect.
bool startUnixProgram(const std::wstring& commandLine);
// Whether a new file can be created in the folder (the probe file is removed again).
bool canCreateFileIn(const std::wstring& folder);
// Polls `condition` for up to two seconds.
bool waitUntil(const std::function<bool()>& condition);
// The Unix path of a Windows path (through Wine), or empty.
std::wstring unixPath(const std::wstring& windowsPath);

}  // namespace qmtest
