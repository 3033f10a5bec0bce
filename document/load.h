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

// A digest of a file's bytes, to tell whether the file still holds what was loaded or what an
// edit was made from: four lanes of 64-bit words mixed by multiplication, so that a big file is
// hashed at the speed its memory is read.
uint64_t fileDigest(const uint8_t* data, size_t size);
// Records the size and digest of the bytes a document that records its spans (the viewer's, whose
// first edit may use them) is about to be decoded from: its first edit then tells an unchanged
// file by them. Other documents are left as they are.
void noteLoadedBytes(Document& doc, const uint8_t* data, size_t size);

// Why a file was not loaded, for tools that say so; the viewer only declines.
enum class LoadFailure {
    None,
    NotFound,     // no file by that name, or a folder on its path is missing
    Folder,       // the name is a folder's
    TooLarge,     // larger than kMaxFileBytes
    Unreadable,   // could not be opened or read for another reason (access denied, locked)
    OutOfMemory,  // no memory for its bytes, its text or its tree
    Empty,        // the file has no bytes
    Declined,     // read, but not a file of a format we show (parseText declined it)
};

#ifdef _WIN32
// Reads, decodes and parses a file. False: unreadable, too big, out of memory or declined; the
// reason goes to `failure` when one is given.
bool loadDocument(const std::wstring& path, Document& doc, LoadFailure* failure = nullptr);
#endif

}  // namespace qm
