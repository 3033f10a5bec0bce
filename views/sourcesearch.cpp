// The Source view's search through its text, a slice at a time, the column an edit of a value
// starts at, and the view's horizontal geometry.
#include "views/source.h"
#include "views/source_parts.h"

#include <algorithm>
#include <functional>

#include "views/syntax.h"
#include "views/tree.h"

namespace qm {

SourceWalk beginSourceWalk(const SourceText& source, int64_t line, int64_t column, bool backwards, bool wrap) {
    SourceWalk walk;
    const int64_t lines = int64_t(source.lineCount());
    walk.backwards = backwards;
    walk.wrap = wrap;
    walk.done = lines == 0;
    walk.start = walk.next = std::max<int64_t>(0, std::min(line, lines - 1));
    walk.column = column;
    // The wrap-around leg searches the starting line again, its matches before the column too.
    walk.total = uint64_t(wrap ? lines + 1 : backwards ? walk.start + 1 : lines - walk.start);
    return walk;
}

bool continueSourceWalk(const SourceText& source, const HighlightState& state, SourceWalk& w, WorkBudget& budget,
                        const NodeSlice& slice) {
    const int64_t lines = int64_t(source.lineCount());
    const int64_t step = w.backwards ? -1 : 1;
    const uint64_t units = budget.left();
    size_t searched = 0;
    while (!w.done) {
        const int64_t stop = w.wrapping ? w.start + step : (w.backwards ? -1 : lines);
        if (w.next == stop || w.next < 0 || w.next >= lines) {
            if (w.wrapping || !w.wrap) {
                w.done = true;
                break;
            }
            w.wrapping = true;
            w.next = w.backwards ? lines - 1 : 0;
            continue;
        }
        if (searched == slice.entries || units - budget.left() >= slice.units) return false;
        ++searched;
        ++w.searched;
        const int64_t i = w.next;
        w.next += step;
        // Every occurrence of the line, not only the ones painted: moving from match to match must
        // reach them all.
        std::vector<TextRange> matches;
        if (budget.spend(1)) {
            const std::wstring_view text = source.line(size_t(i));
            matches = FindHighlightRanges(state, text.data(), std::min(text.size(), kSourceLineCut), &budget, SIZE_MAX);
        }
        if (budget.exhausted()) {
            w.done = true;
            break;
        }
        // On the starting line only matches past the column count, unless the walk wrapped to it.
        const bool anywhere = w.wrapping || i != w.start;
        const TextRange* found = nullptr;
        if (w.backwards) {
            for (auto r = matches.rbegin(); r != matches.rend() && !found; ++r)
                if (anywhere || int64_t(r->start) < w.column) found = &*r;
        } else {
            for (auto r = matches.begin(); r != matches.end() && !found; ++r)
                if (anywhere || int64_t(r->start) > w.column) found = &*r;
        }
        if (found) {
            w.result = SourceMatch{toLine(uint64_t(i)), toLine(found->start), toLine(found->length)};
            w.done = true;
        }
    }
    return true;
}

SourceMatch findInSource(const SourceText& source, const HighlightState& state, int64_t line, int64_t column,
                         bool backwards, bool wrap, WorkBudget& budget) {
    SourceWalk walk = beginSourceWalk(source, line, column, backwards, wrap);
    continueSourceWalk(source, state, walk, budget, NodeSlice{});
    return walk.result;
}

EditColumn valueEditColumn(std::wstring_view line, std::wstring_view value) {
    const std::wstring_view searched = line.substr(0, std::min(line.size(), kSourceLineCut));
    if (!value.empty() && value.size() <= searched.size()) {
        // Boyer-Moore keeps a long line and a long value linear.
        auto at = std::search(searched.begin(), searched.end(),
                              std::boyer_moore_searcher<std::wstring_view::const_iterator>(value.begin(), value.end()));
        if (at != searched.end()) return {size_t(at - searched.begin()), true};
    }
    const size_t mark = line.find_first_of(L":=");
    if (mark != std::wstring_view::npos) {
        size_t column = mark + 1;
        while (column < line.size() && line[column] == L' ') ++column;
        return {column, false};
    }
    const size_t text = line.find_first_not_of(L" \t");
    return {text == std::wstring_view::npos ? 0 : text, false};
}

int sourceGutterWidth(size_t lineCount, int charWidth, unsigned dpi) {
    int digits = 1;
    for (size_t n = lineCount; n >= 10; n /= 10) ++digits;
    return scaleDips(kSourceGutterPadding, dpi) + std::max(digits, kSourceMinDigits) * charWidth;
}

long long sourceContentWidth(int gutter, size_t maxLineLength, int charWidth, unsigned dpi) {
    return gutter + static_cast<long long>(std::min(maxLineLength, kSourceLineCut)) * charWidth +
           scaleDips(kSourceTextGap, dpi) + scaleDips(kSourceTrailingSpace, dpi);
}

long long clampScroll(long long value, long long high) { return std::max(0LL, std::min(value, high)); }

}  // namespace qm
