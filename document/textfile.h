// Reading a viewed file whole and decoding it through the Windows code pages. The size limit is
// portable, so that the native dump tool declines the files the viewer declines.
#pragma once

#include <cstdint>

namespace qm {

constexpr uint64_t kMaxFileBytes = 536870912;      // 512 MiB: larger files are declined
constexpr uint32_t kReadPieceBytes = 16777216;     // ReadFile is called with at most 16 MiB

}  // namespace qm

#ifdef _WIN32
#include <string>
#include <vector>

#include "document/document.h"
#include "document/load.h"

namespace qm {

// False when the file cannot be opened, is larger than kMaxFileBytes or its bytes find no memory;
// the reason (NotFound, Folder, TooLarge, Unreadable, OutOfMemory) goes to `failure` when given.
bool readWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes, LoadFailure* failure = nullptr);
// The same into the file space of a document's store (Arena::fileSpace): `size` receives the
// number of bytes read.
bool readWholeFile(const std::wstring& path, Arena& store, const uint8_t*& data, size_t& size,
                   LoadFailure* failure = nullptr);
// Never fails: every byte sequence ends in some text through the fallbacks.
void decodeText(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding);
// MultiByteToWideChar as a CodePageConverter.
bool windowsCodePageConverter(unsigned codePage, bool strict, const uint8_t* data, size_t size, std::wstring& out);

}  // namespace qm
#endif
