// Deciding a file's text encoding and decoding it to UTF-16. The rules (byte-order marks,
// UTF-16 without mark, the XML encoding declaration, UTF-8 with a Windows-1252 fallback) are
// portable; the code-page conversion itself is handed in: the product passes
// MultiByteToWideChar (textfile_win.cpp), native tools pass portableCodePageConverter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

constexpr unsigned kCodePageUtf8 = 65001;
constexpr unsigned kCodePage1252 = 1252;
constexpr size_t kDeclarationWindow = 512;  // bytes searched for an XML encoding declaration

// Converts bytes of a code page to UTF-16. `strict`: fail on any invalid sequence instead of
// substituting. Returns false on failure (also when the code page is unknown).
using CodePageConverter = bool (*)(unsigned codePage, bool strict, const uint8_t* data, size_t size,
                                   std::wstring& out);

// Code page named by an XML encoding declaration in the first 512 bytes, 0 when there is none.
// A name missing from the table counts as UTF-8.
unsigned declaredCodePage(const uint8_t* data, size_t size);
// Code page of a known encoding name (lower case), 0 when the name is unknown.
unsigned codePageOfEncodingName(const std::string& lowerName);

void decodeTextWith(const uint8_t* data, size_t size, std::wstring& text, std::wstring& encoding,
                    CodePageConverter convert);
inline void decodeTextWith(const std::vector<uint8_t>& bytes, std::wstring& text, std::wstring& encoding,
                           CodePageConverter convert) {
    decodeTextWith(bytes.data(), bytes.size(), text, encoding, convert);
}

// What a TextEncoding label means for writing the text back.
struct EncodingInfo {
    enum Kind { Utf8, Utf16LE, Utf16BE, CodePage } kind;
    unsigned codePage;  // 65001 for UTF-8, the code page for CodePage
    bool utf8Mark;      // "UTF-8 BOM"
};
EncodingInfo encodingInfo(const std::wstring& label);

// UTF-8 and Windows-1252 without Windows, for the native tools and tests.
bool portableCodePageConverter(unsigned codePage, bool strict, const uint8_t* data, size_t size, std::wstring& out);

}  // namespace qm
