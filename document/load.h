// The load driver: decides a file's format from its name and first character and runs the
// parser. parseText is core; loadDocument (read + decode + parseText) is a Windows unit.
#pragma once

#include <string>

#include "document/document.h"

namespace qm {

// Lower-cased extension of a path ("" when there is none or the last dot is in a folder name).
std::wstring pathExtension(const std::wstring& path);

// Detects the format and parses an already decoded text, which the document keeps as parsedText
// (its nodes' names and values point into it). False declines the file.
bool parseText(const std::wstring& path, const std::wstring& text, Document& doc);
// The same, taking over the text instead of copying it, so a big file's text is never held twice.
bool parseText(const std::wstring& path, std::wstring&& text, Document& doc);

#ifdef _WIN32
// Reads, decodes and parses a file. False: unreadable, too big, out of memory or declined.
bool loadDocument(const std::wstring& path, Document& doc);
#endif

}  // namespace qm
