#include "document/decode.h"

#include <cstdio>
#include <cstring>

#include "document/utf8.h"

namespace qm {

namespace {

struct NamedCodePage {
    const char* name;
    unsigned codePage;
};

const NamedCodePage kEncodingNames[] = {
    {"utf-8", 65001},       {"utf8", 65001},         {"iso-8859-1", 28591},   {"latin1", 28591},
    {"iso-latin-1", 28591}, {"windows-1252", 1252},  {"cp1252", 1252},        {"us-ascii", 20127},
    {"ascii", 20127},       {"iso-8859-15", 28605},  {"iso-8859-2", 28592},   {"iso-8859-5", 28595},
    {"iso-8859-7", 28597},  {"iso-8859-9", 28599},   {"windows-1250", 1250},  {"windows-1251", 1251},
    {"windows-1253", 1253}, {"windows-1254", 1254},  {"windows-1255", 1255},  {"windows-1256", 1256},
    {"koi8-r", 20866},      {"shift_jis", 932},      {"euc-jp", 20932},       {"gb2312", 936},
    {"gbk", 936},           {"big5", 950},           {"euc-kr", 51949},
};

size_t findBytes(const uint8_t* data, size_t size, size_t from, const char* needle) {
    size_t n = std::strlen(needle);
    for (size_t i = from; i + n <= size; ++i)
        if (std::memcmp(data + i, needle, n) == 0) return i;
    return SIZE_MAX;
}

void decodeUtf16(const uint8_t* data, size_t size, bool bigEndian, std::wstring& text) {
    size_t units = size / 2;
    text.resize(units);
    for (size_t i = 0; i < units; ++i) {
        unsigned a = data[2 * i], b = data[2 * i + 1];
        text[i] = static_cast<wchar_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
}

// The bytes Windows-1252 maps to other characters than Latin-1 does; its five unassigned bytes
// map to the C1 control of the same number, as MultiByteToWideChar does.
const uint16_t k1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

unsigned codePageOfEncodingName(const std::string& lowerName) {
    for (const NamedCodePage& e : kEncodingNames)
        if (lowerName == e.name) return e.codePage;
    return 0;
}

unsigned declaredCodePage(const uint8_t* data, size_t size) {
    if (size > kDeclarationWindow) size = kDeclarationWindow;
    if (size < 5) return 0;
    size_t decl = findBytes(data, size, 0, "<?xml");
    if (decl == SIZE_MAX) return 0;
    size_t close = findBytes(data, size, decl, "?>");
    size_t enc = findBytes(data, size, decl, "encoding");
    if (enc == SIZE_MAX || (close != SIZE_MAX && enc >= close)) return 0;
    size_t q = enc;
    while (q < size && data[q] != '"' && data[q] != '\'') ++q;
    if (q >= size) return 0;
    size_t endQuote = q + 1;
    while (endQuote < size && data[endQuote] != data[q]) ++endQuote;
    if (endQuote >= size) return 0;
    std::string name(reinterpret_cast<const char*>(data) + q + 1, endQuote - q - 1);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    unsigned cp = codePageOfEncodingName(name);
    return cp ? cp : kCodePageUtf8;
}

void decodeTextWith(const uint8_t* data, size_t size, std::wstring& text, std::wstring& encoding,
                    CodePageConverter convert) {
    const uint8_t* d = data;
    const size_t n = size;
    text.clear();
    if (n >= 2 && d[0] == 0xFF && d[1] == 0xFE) {
        decodeUtf16(d + 2, n - 2, false, text);
        encoding = L"UTF-16 LE";
        return;
    }
    if (n >= 2 && d[0] == 0xFE && d[1] == 0xFF) {
        decodeUtf16(d + 2, n - 2, true, text);
        encoding = L"UTF-16 BE";
        return;
    }
    if (n >= 4 && d[0] != 0 && d[1] == 0 && d[3] == 0) {
        decodeUtf16(d, n, false, text);
        encoding = L"UTF-16 LE";
        return;
    }
    if (n >= 4 && d[0] == 0 && d[1] != 0 && d[2] == 0) {
        decodeUtf16(d, n, true, text);
        encoding = L"UTF-16 BE";
        return;
    }
    if (n >= 3 && d[0] == 0xEF && d[1] == 0xBB && d[2] == 0xBF) {
        if (!convert(kCodePageUtf8, false, d + 3, n - 3, text)) text.clear();
        encoding = L"UTF-8 BOM";
        return;
    }
    unsigned declared = declaredCodePage(d, n);
    if (declared != 0 && declared != kCodePageUtf8) {
        if (!convert(declared, false, d, n, text) && !convert(kCodePage1252, false, d, n, text)) text.clear();
        if (declared == kCodePage1252) {
            encoding = L"Windows-1252";
        } else {
            wchar_t label[32];
            std::swprintf(label, 32, L"Codepage %u", declared);
            encoding = label;
        }
        return;
    }
    if (convert(kCodePageUtf8, true, d, n, text)) {
        encoding = L"UTF-8";
        return;
    }
    if (!convert(kCodePage1252, false, d, n, text)) text.clear();
    encoding = L"Windows-1252";
}

EncodingInfo encodingInfo(const std::wstring& label) {
    if (label.compare(0, 5, L"UTF-8") == 0) return {EncodingInfo::Utf8, kCodePageUtf8, label == L"UTF-8 BOM"};
    if (label == L"UTF-16 LE") return {EncodingInfo::Utf16LE, 1200, false};
    if (label == L"UTF-16 BE") return {EncodingInfo::Utf16BE, 1201, false};
    if (label == L"Windows-1252") return {EncodingInfo::CodePage, kCodePage1252, false};
    unsigned cp = 0;
    if (label.compare(0, 9, L"Codepage ") == 0) {
        for (size_t i = 9; i < label.size() && label[i] >= L'0' && label[i] <= L'9'; ++i) cp = cp * 10 + (label[i] - L'0');
    }
    return {EncodingInfo::CodePage, cp ? cp : kCodePageUtf8, false};
}

bool portableCodePageConverter(unsigned codePage, bool strict, const uint8_t* data, size_t size, std::wstring& out) {
    if (codePage == kCodePageUtf8) {
        bool valid = true;
        out = utf8ToWide(reinterpret_cast<const char*>(data), size, &valid);
        return valid || !strict;
    }
    if (codePage == kCodePage1252) {
        out.resize(size);
        for (size_t i = 0; i < size; ++i)
            out[i] = (data[i] >= 0x80 && data[i] < 0xA0) ? wchar_t(k1252High[data[i] - 0x80]) : wchar_t(data[i]);
        return true;
    }
    return false;
}

}  // namespace qm
