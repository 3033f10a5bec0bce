// The node search shared by the host's search and the search box, and the painting of the
// occurrences that every view draws behind its texts.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "appearance/draw_win.h"
#include "document/language.h"
#include "shell/mainwindow.h"
#include "shell/match.h"
#include "shell/search.h"

namespace qm {

namespace {

// Keeps the outcome for the status bar, which tells a stopped search and an invalid expression.
SearchOutcome finish(MainWindow& main, SearchOutcome outcome) {
    if (main.chrome.searchOutcome != outcome) {
        main.chrome.searchOutcome = outcome;
        main.RepaintStatus();
    }
    return outcome;
}

}  // namespace

SearchOutcome Search(MainWindow& main, const std::wstring& text, int flags, bool wrap) {
    // The same search again while it runs (F3 held down, Enter again) lets it go on.
    if (main.searchRun && main.searchRun->text == text && main.searchRun->flags == flags &&
        main.searchRun->fromBox == wrap)
        return SearchOutcome::Running;
    StopSearch(main);
    main.chrome.regexError = false;
    if (!main.document || !main.document->root || text.empty()) return finish(main, SearchOutcome::NotFound);
    const bool backwards = (flags & kSearchBackwards) != 0;
    if (!beginHighlight(main.highlight, text, unsigned(flags))) {
        main.chrome.regexError = true;
        main.RepaintActiveView();
        return finish(main, SearchOutcome::InvalidPattern);
    }
    main.RepaintActiveView();
    // One budget for the whole walk, wrap-around included: however many nodes or lines and
    // however long their texts, the search ends.
    auto run = std::make_unique<MainWindow::SearchRun>();
    if (main.settings.activeView == kViewSource) {
        // The source view searches its own text, match by match, and selects for itself.
        const bool first = (flags & kSearchFindFirst) != 0;
        run->inSource = true;
        run->find.fromEdge = first;
        run->find.backwards = backwards;
        run->find.wrap = wrap && !first;
    } else {
        run->list = documentOrder(*main.document);
        const std::vector<Node*>& list = run->list;
        Node* base = (main.lastMatch && DisplayNode(main.lastMatch) == main.selected) ? main.lastMatch : main.selected;
        ptrdiff_t start = backwards ? ptrdiff_t(list.size()) - 1 : 0;
        if (!(flags & kSearchFindFirst) && base) {
            auto it = std::find(list.begin(), list.end(), base);
            if (it != list.end()) start = (it - list.begin()) + (backwards ? -1 : 1);
        }
        run->walk = beginNodeWalk(list.size(), start, backwards, wrap);
    }
    run->nodeCount = main.document->nodes.size();
    run->fromBox = wrap;
    run->text = text;
    run->flags = flags;
    main.searchRun = std::move(run);
    // The first slice at once: a file of ordinary size is searched with it.
    return ContinueSearch(main);
}

SearchOutcome ContinueSearch(MainWindow& main) {
    MainWindow::SearchRun* run = main.searchRun.get();
    if (!run) return SearchOutcome::NotFound;
    if (!main.document || main.document->nodes.size() != run->nodeCount) {
        StopSearch(main);
        return SearchOutcome::NotFound;
    }
    auto slice = [&] {
        if (run->inSource)
            return main.sourcePane.ContinueFind(run->find, run->budget, NodeSlice{kSearchSliceLines, kSearchSliceUnits});
        return continueNodeWalk(*main.document, main.highlight, run->list, run->walk, run->budget,
                                NodeSlice{kSearchSliceNodes, kSearchSliceUnits});
    };
    bool done = slice();
    // A window of no host (none to answer) searches at once.
    while (!done && !main.window) done = slice();
    if (!NextSliceOrDone(main, kSearchTimer, done)) {
        run->sliced = true;
        return SearchOutcome::Running;
    }
    const std::unique_ptr<MainWindow::SearchRun> finished = std::move(main.searchRun);
    SearchOutcome outcome = finished->walk.result.outcome;
    if (finished->inSource) {
        const SourceMatch& match = finished->find.walk.result;
        outcome = match.line >= 0               ? SearchOutcome::Found
                  : finished->budget.exhausted() ? SearchOutcome::Stopped
                                                 : SearchOutcome::NotFound;
        main.sourcePane.ShowMatch(match);
        // The view was left while the search went on: the match is revealed where the user is.
        if (outcome == SearchOutcome::Found && main.settings.activeView != kViewSource) main.RevealSelection();
    } else if (outcome == SearchOutcome::Found) {
        main.lastMatch = finished->walk.result.match;
        main.SelectNode(main.lastMatch);
        main.RevealSelection();
        main.RepaintStatus();
    }
    if (finished->fromBox) {
        main.chrome.searchFailed = outcome != SearchOutcome::Found;
        InvalidateRect(main.window, nullptr, FALSE);
    } else if (finished->sliced && outcome == SearchOutcome::NotFound) {
        // Lister was told the search goes on: the status bar says what it would have said.
        main.chrome.notice = tr(L"Not found: ", L"Nicht gefunden: ") + finished->text;
    }
    return finish(main, outcome);
}

bool StopSearch(MainWindow& main) {
    if (!main.searchRun) return false;
    main.searchRun.reset();
    if (main.window) KillTimer(main.window, kSearchTimer);
    main.RepaintStatus();
    return true;
}

int searchProgress(const MainWindow::SearchRun& run) {
    if (run.inSource) {
        const SourceWalk& w = run.find.walk;
        return w.total ? int(w.searched * 100 / w.total) : 0;
    }
    return run.walk.total ? int(uint64_t(run.walk.result.tested) * 100 / run.walk.total) : 0;
}

bool IsCurrentMatch(const MainWindow& main, const Node* node) {
    return main.highlight.highlightActive && main.lastMatch && node == main.selected &&
           DisplayNode(main.lastMatch) == node;
}

void PaintSearchHighlights(const MainWindow& main, HDC dc, const wchar_t* text, size_t length, HFONT font,
                           const RECT& rect, bool allCurrent, ptrdiff_t currentStart, WorkBudget* budget,
                           size_t currentLength) {
    std::vector<TextRange> ranges = FindHighlightRanges(main.highlight, text, length, budget);
    if (currentLength > 0 && currentStart >= 0 && size_t(currentStart) < length) {
        const TextRange current{size_t(currentStart), std::min(currentLength, length - size_t(currentStart))};
        auto at = std::lower_bound(ranges.begin(), ranges.end(), current,
                                   [](const TextRange& a, const TextRange& b) { return a.start < b.start; });
        if (at == ranges.end() || at->start != current.start) ranges.insert(at, current);
    }
    if (ranges.empty()) return;
    SelectObjectGuard select(dc, font);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const int top = (rect.top + rect.bottom - tm.tmHeight) / 2 - 1;
    const int bottom = top + tm.tmHeight + 2;
    const COLORREF current = main.palette.color(ColorSlot::currentMatch);
    const COLORREF other = main.palette.color(ColorSlot::otherMatch);
    // Each occurrence is measured from the end of the one before, so a line is measured once in
    // all however many occurrences it holds.
    int x = rect.left;      // where text[measuredTo] is drawn
    size_t measuredTo = 0;
    for (const TextRange& r : ranges) {
        SIZE gap{}, width{};
        int x0 = x;
        if (r.start >= measuredTo) {
            GetTextExtentPoint32W(dc, text + measuredTo, int(r.start - measuredTo), &gap);
            x0 += gap.cx;
        } else {  // an occurrence that overlaps the one before ("aa" in "aaa")
            GetTextExtentPoint32W(dc, text + r.start, int(measuredTo - r.start), &gap);
            x0 -= gap.cx;
        }
        GetTextExtentPoint32W(dc, text + r.start, int(r.length), &width);
        x = x0 + width.cx;
        measuredTo = r.start + r.length;
        if (x0 >= rect.right) break;
        const int x1 = std::min<int>(x0 + width.cx, rect.right);
        if (x1 <= x0) continue;
        RECT band{x0, top, x1, bottom};
        BrushHandle brush(CreateSolidBrush(allCurrent || ptrdiff_t(r.start) == currentStart ? current : other));
        FillRect(dc, &band, brush.get());
    }
}

}  // namespace qm
