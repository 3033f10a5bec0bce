// Temporary files for the Windows tests (a private folder under %TEMP% per test process).
#pragma once

#include <string>

namespace qmtest {

std::wstring tempFolder();
// Writes bytes to a file of that name in tempFolder(); returns its path ("" on failure).
std::wstring writeTempFile(const std::wstring& name, const std::string& bytes);
// The bytes of a file, or "<missing>" when it cannot be opened.
std::string fileBytes(const std::wstring& path);
// Runs a shell command on the Unix side of Wine in `folder` (Wine starts a Unix program named by
// its Z: path) and waits for it to finish; false when it did not finish within ten seconds.
bool runUnixCommand(const std::wstring& folder, const std::wstring& command);

}  // namespace qmtest
