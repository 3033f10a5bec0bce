// Finding the node a typed path names: the reverse of nodePath, one resolver per path syntax. Each
// reads the path as nodePath writes it and returns the node it names, or null when no node has that
// path (or the text is no path of that syntax). They read the tree only.
//
//   XPath     /catalog/book[2]/@id, /catalog/text()[2], /r/comment(), /r/processing-instruction('pi'),
//             "/" for the XML declaration (else the document type declaration)
//   JSONPath  $, $.store.book[0].title, $['first name'], $['it\'s'], #2 $.id (second YAML document)
//   TOML      server.port, fruits[1].name, servers."eu west".ip; the empty path names the top table
//   registry  HKEY_CURRENT_USER\Software\Demo\(Default)
//
// Steps are looked up among the children of the node reached so far, so a lookup costs the length
// of the path times the width of the nodes on the way, never more; there is no recursion. A member
// key that occurs twice in one object is reached at its first occurrence. XPath positions count
// among the children of the same step ("book", "text()", "comment()"); a step without a position
// names the first such child. JSONPath keys in brackets may use single or double quotes with the
// escapes \' \" \\ \/ \b \f \n \r \t \uXXXX; TOML's quoted keys are JSON strings.
#pragma once

#include <string_view>

#include "document/document.h"

namespace qm {

Node* findByXPath(const Document& doc, std::wstring_view path);
Node* findByJsonPath(const Document& doc, std::wstring_view path);
Node* findByTomlPath(const Document& doc, std::wstring_view path);
Node* findByRegistryPath(const Document& doc, std::wstring_view path);

// The resolver nodePath's syntax for the document calls for: registry paths for registry files,
// TOML paths for TOML, and otherwise XPath for a path that starts with "/" (XML nodes, and comments
// at the top of a JSON or YAML file) and JSONPath for any other. A path that goes on into a
// string's embedded JSON ("$.payload#$.tags[0]", see kEmbeddedPathMark) is followed into strings
// already opened; the second form opens the strings on the way (Go to path, quillmap-dump --get).
Node* findByPath(const Document& doc, std::wstring_view path);
Node* findByPath(Document& doc, std::wstring_view path);

}  // namespace qm
