// For the tests of the formats read by lines: a text with other line ends, and the lines of all
// nodes of a document, to show that a file parses the same whatever ends its lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"

namespace qmtest {

// `lf` with every line feed a lone carriage return, and with its line feeds alternately CR LF and
// a lone carriage return.
inline std::vector<std::wstring> withOtherLineEnds(const std::wstring& lf) {
    std::wstring cr, mixed;
    bool crlf = false;
    for (wchar_t c : lf) {
        cr += c == L'\n' ? L'\r' : c;
        if (c != L'\n')
            mixed += c;
        else
            mixed += (crlf = !crlf) ? L"\r\n" : L"\r";
    }
    return {cr, mixed};
}

// The line of every node, in creation order.
inline std::vector<uint32_t> nodeLines(const qm::Document& d) {
    std::vector<uint32_t> lines;
    for (size_t i = 0; i < d.nodes.size(); ++i) lines.push_back(d.nodes[i].line);
    return lines;
}

}  // namespace qmtest
