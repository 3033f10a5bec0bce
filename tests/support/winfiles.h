// Temporary files for the Windows tests (a private folder under %TEMP% per test process).
#pragma once

#include <string>

namespace qmtest {

std::wstring tempFolder();
// Writes bytes to a file of that name in tempFolder(); returns its path ("" on failure).
std::wstring writeTempFile(const std::wstring& name, const std::string& bytes);
// The bytes of a file, or "<missing>" when it cannot be opened.
std::string fileBytes(const std::wstring& path);

}  // namespace qmtest
