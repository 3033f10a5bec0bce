// Fuzz target for the Source view's text: the first byte picks the format and the search flags,
// the next one the search text's length; the search text and then the file (UTF-8) follow. The
// text is indexed formatted and as written, each completely, and must hold its rules: every line
// the same whichever order the lines are fetched in, no line feed, carriage return or tab in a
// line, the lengths adding up, the copy made of the lines, a tokenizer state for every line, every
// node's range inside the lines, every line's node covering it or inherited from the line before. Then Find Next walks forward from the top, each step with its own budget:
// each step lands strictly after the one before, and a plain search visits exactly the
// occurrences a direct scan of each line finds.
#include <algorithm>

#include "fuzz/fuzz.h"
#include "shell/match.h"
#include "views/source.h"

namespace {

using qmfuzz::check;

// Each Find Next reads up to a whole line again: the walk stops after this many steps, so that a
// line of thousands of occurrences does not make the walk quadratic. (More than the 200
// occurrences a line's highlighting paints, which Find Next must go past.)
constexpr size_t kMaxSteps = 300;

// The occurrences of the plain term in the searched part of each line, in order, each found after
// the end of the one before (as Find Next goes on from the end of the match it showed).
std::vector<std::pair<size_t, size_t>> plainOccurrences(const qm::SourceText& st, const qm::HighlightState& hs) {
    std::vector<std::pair<size_t, size_t>> out;
    for (size_t i = 0; i < st.lineCount(); ++i) {
        const std::wstring_view line = st.line(i).substr(0, qm::kSourceLineCut);
        for (size_t p = hs.highlightPattern.find(line.data(), line.size(), 0, nullptr);
             p != qm::PlainPattern::npos; p = hs.highlightPattern.find(line.data(), line.size(), p + hs.highlightPattern.size(), nullptr))
            out.emplace_back(i, p);
    }
    return out;
}

// The lines fetched from the top, then from the bottom one by one and in jumps, as the view asks
// for them: each fetch gives the same text, with no line feed, carriage return or tab left, and
// the lengths add up to the text's length.
void checkLines(qm::Document& doc, qm::SourceText& st) {
    const size_t lines = st.lineCount();
    check(lines >= 1);
    std::vector<std::wstring> text;
    uint64_t length = lines - 1;
    for (size_t i = 0; i < lines; ++i) {
        text.emplace_back(st.line(i));
        check(text.back().find_first_of(L"\n\r\t") == std::wstring::npos);
        length += text.back().size();
    }
    check(length == st.textLength);
    for (size_t i = lines; i-- > 0;) check(st.line(i) == text[i]);
    for (size_t k = 0, i = lines / 2; k < lines; ++k, i = (i + 7919) % lines) check(st.line(i) == text[i]);
    if (!st.showsSourceText) {
        std::wstring copy;
        for (size_t i = 0; i < lines; ++i) copy += (i ? L"\r\n" : L"") + text[i];
        check(qm::sourceCopyText(&doc, st) == copy);
    }
    qm::ensureLineStates(st, lines - 1);
    check(st.lineStates.size() == lines);
    qm::ensureLineNodes(doc, st);
    check(st.lineNodes.size() == lines);
    for (const qm::LineRange& r : st.ranges)
        if (r.valid()) check(r.first <= r.last && size_t(r.last) < lines);
    // A line selects the node whose range covers it; a line no range covers (a closing bracket
    // line, trailing blank lines) selects what the line before it selects.
    for (size_t i = 0; i < lines; ++i) {
        const qm::Node* node = st.lineNode(i);
        if (!node) continue;
        const qm::LineRange r = qm::sourceLineRange(st, doc, node);
        check(r.valid());
        if (size_t(r.first) > i || i > size_t(r.last)) check(i > 0 && st.lineNode(i - 1) == node);
    }
}

// Find Next from the top, each step with its own budget as the search box gives it.
void checkFindNext(const qm::SourceText& st, const qm::HighlightState& hs, unsigned flags) {
    std::vector<std::pair<size_t, size_t>> visited;
    int64_t line = 0, column = -1;
    for (;;) {
        qm::WorkBudget budget(qmfuzz::kFuzzSearchUnits);
        const qm::SourceMatch m = qm::findInSource(st, hs, line, column, false, false, budget);
        if (m.line < 0) {
            if (budget.exhausted()) return;  // stopped: the occurrences after here are not known
            break;
        }
        check(m.line > line || (m.line == line && m.column > column));
        check(m.length >= 0 && size_t(m.column) + size_t(m.length) <= st.line(size_t(m.line)).size());
        visited.emplace_back(size_t(m.line), size_t(m.column));
        if (visited.size() == kMaxSteps) break;
        line = m.line;
        column = m.column;
    }
    if (flags & qm::kSearchRegex) return;
    std::vector<std::pair<size_t, size_t>> expected = plainOccurrences(st, hs);
    if (expected.size() > visited.size() && visited.size() == kMaxSteps) expected.resize(kMaxSteps);
    check(visited == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qmfuzz::SearchedFile input;
    if (!input.read(data, size)) return 0;
    qm::Document& doc = input.doc;
    qm::HighlightState hs;
    const bool searching = input.beginSearch(hs);
    for (const qm::SourceLayout layout : {qm::SourceLayout::Formatted, qm::SourceLayout::AsWritten}) {
        qm::SourceText st;
        qm::buildSourceText(&doc, st, true, layout);
        checkLines(doc, st);
        // Each line's node found alone (by a descent where the ranges nest) is the table's.
        qm::SourceText lazy;
        qm::buildSourceText(&doc, lazy, false, layout);
        for (size_t i = 0; i < st.lineCount(); ++i) check(qm::sourceLineNode(doc, lazy, i) == st.lineNode(i));
        if (searching) checkFindNext(st, hs, input.flags);
    }
    return 0;
}
