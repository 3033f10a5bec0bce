// The Source view's text as the view built it when it kept the whole text: every line written out,
// the line starts, the tokenizer state and the node of every line, the ranges by node. The lazy
// lines of views/source.h are checked against it line by line.
#pragma once

#include <string>
#include <vector>

#include "views/source.h"

namespace qmtest {

struct ReferenceSource {
    bool showsSourceText = false;
    qm::DocumentFormat format = qm::DocumentFormat::Json;
    std::wstring text;
    std::vector<uint64_t> lineStarts;
    std::vector<uint8_t> lineStates;
    std::vector<qm::Node*> lineNodes;
    std::vector<qm::LineRange> ranges;
    size_t maxLineLength = 0;
    int64_t errorLine = -1;
    size_t lineSteps = 0;

    size_t lineCount() const { return lineStarts.empty() ? 0 : lineStarts.size() - 1; }
    std::wstring_view line(size_t i) const {
        return std::wstring_view(text).substr(size_t(lineStarts[i]), size_t(lineStarts[i + 1] - lineStarts[i] - 1));
    }
};

// The display text of `source`: its lines fetched one by one, joined by line feeds.
std::wstring shownText(const qm::SourceText& source);

// The whole text of `doc` with `layout`, built at once; without `complete`, only the text, its
// lines and the ranges, as the view built them for its first screen.
ReferenceSource buildReferenceSource(qm::Document& doc, qm::SourceLayout layout, bool complete = true);

}  // namespace qmtest
