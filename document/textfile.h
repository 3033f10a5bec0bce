// Reading a viewed file whole and decoding it through the Windows code pages.
#pragma once

#ifdef _WIN32
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

constexpr uint64_t kMaxFileBytes = 536870912;      // 512 MiB: larger files are declined
constexpr uint32_t kReadPieceBytes = 16777216;     // ReadFile is called with at most 16 MiB

bool readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes);
// Never fails: every byte sequence ends in some text through the fallbacks.
void decodeText(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding);
// MultiByteToWideChar as a CodePageConverter.
bool windowsCodePageConverter(unsigned codePage, bool strict, const uint8_t* data, size_t size, std::wstring& out);

}  // namespace qm
#endif
