// The source view window: builds its text when it is first needed for a document, keeps the
// scroll bars, the selection's band and the current search match in step with the main window,
// paints only the visible lines (each tokenized from its own start state, at most its first
// kSourceLineCut characters), and turns keys, the wheel and clicks into scrolling and selection.
#include "views/source_win.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <utility>

#include "appearance/colour.h"
#include "appearance/draw_win.h"
#include "edit/editing.h"
#include "shell/clipboard.h"
#include "shell/mainwindow.h"
#include "views/viewwindow_win.h"
#include "shell/search.h"
#include "views/syntax.h"
#include "views/tree.h"

namespace qm {

namespace {

constexpr int kContextMenuOffsetDips = 40;
constexpr double kErrorBandDark = 0.22, kErrorBandLight = 0.14;
constexpr double kRangeBandDark = 0.08, kRangeBandLight = 0.05;
constexpr double kInactiveMarkerTint = 0.5;
constexpr double kLineNumberTint = 0.7;
constexpr UINT kLineNumberFormat = DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
constexpr wchar_t kEllipsis[] = L"\x2026";

void fillColour(HDC dc, const RECT& rect, COLORREF colour) {
    BrushHandle brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.get());
}

}  // namespace

// ---- pane operations ----

int SourcePane::ClientWidth() const {
    RECT rc{};
    if (window) GetClientRect(window, &rc);
    return rc.right - rc.left;
}

int SourcePane::ClientHeight() const {
    RECT rc{};
    if (window) GetClientRect(window, &rc);
    return rc.bottom - rc.top;
}

int SourcePane::PageLines() const { return pageRows(ClientHeight(), mainWindow->palette.monoLineHeight); }

int SourcePane::GutterWidth() const {
    const Palette& pal = mainWindow->palette;
    return sourceGutterWidth(source.expectedLineCount(), pal.monoCharWidth, pal.dpi);
}

long long SourcePane::ContentWidth() const {
    const Palette& pal = mainWindow->palette;
    return sourceContentWidth(GutterWidth(), source.maxLineLength, pal.monoCharWidth, pal.dpi);
}

void SourcePane::Repaint() const {
    if (window) InvalidateRect(window, nullptr, FALSE);
}

bool SourcePane::LineVisible(long long line) const { return line >= topLine && line < topLine + PageLines(); }

SourceLayout SourcePane::Layout() const {
    switch (mainWindow->settings.sourceLayout) {
        case kSourceLayoutAsWritten: return SourceLayout::AsWritten;
        case kSourceLayoutFormatted: return SourceLayout::Formatted;
        default: return SourceLayout::Automatic;
    }
}

void SourcePane::Build() {
    built = true;
    // The first slice, and on to the end of the lines a PageDown from the top shows.
    const size_t firstLines = static_cast<size_t>(std::max(topLine, 0)) + 2 * static_cast<size_t>(PageLines());
    buildSourceText(mainWindow->document.get(), source, false, Layout(), firstLines,
                    std::min(indexSliceSteps, kSourceFirstIndexSteps));
    if (source.indexing()) NextSliceOrDone(*mainWindow, kSourceIndexTimer, false);
}

void SourcePane::ContinueIndex() {
    const bool done = continueSourceIndex(source, indexSliceSteps);
    UpdateScrollBars();
    if (done) Repaint();  // the gutter as wide as the line count needs
    NextSliceOrDone(*mainWindow, kSourceIndexTimer, done);
}

void SourcePane::FinishIndex() {
    if (!source.indexing()) return;
    finishSourceIndex(source);
    ContinueIndex();
}

void SourcePane::EnsureBuilt() {
    if (built) return;
    Build();
    UpdateScrollBars();
}

void SourcePane::ResetForDocument() {
    StopCopy();
    // A search through the lines before cannot go on in the new ones.
    if (mainWindow->searchRun && mainWindow->searchRun->inSource) StopSearch(*mainWindow);
    source.clear();
    matchLine = -1;
    topLine = 0;
    scrollX = 0;
    built = false;
    if (mainWindow->settings.activeView == kViewSource) {
        Build();
        const qm::LineRange r = LineRange(mainWindow->selected);
        if (r.valid() && !LineVisible(r.first)) topLine = std::max(r.first - PageLines() / 3, 0);
    }
    UpdateScrollBars();
    Repaint();
}

qm::LineRange SourcePane::LineRange(const Node* node) {
    EnsureBuilt();
    if (!node || !mainWindow->document) return {};
    if (!sourceLineRangeKnown(source, node)) FinishIndex();
    return sourceLineRange(source, *mainWindow->document, node);
}

void SourcePane::RevealNode(const Node* node) {
    const qm::LineRange r = LineRange(node);
    if (!r.valid()) return;
    if (!LineVisible(r.first)) ScrollTo(scrollX, static_cast<long long>(r.first) - PageLines() / 3);
    Repaint();
}

void SourcePane::UpdateScrollBars() {
    const long long lines = static_cast<long long>(source.expectedLineCount());
    const int page = PageLines();
    topLine = static_cast<int32_t>(clampScroll(topLine, static_cast<long long>(source.lineCount()) - page));
    const long long content = ContentWidth();
    const int width = ClientWidth();
    scrollX = static_cast<int32_t>(clampScroll(scrollX, content - width));
    if (!window) return;
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = static_cast<int>(std::min<long long>(std::max(lines - 1, 0LL), INT_MAX));
    si.nPage = static_cast<UINT>(page);
    si.nPos = topLine;
    SetScrollInfo(window, SB_VERT, &si, TRUE);
    si.nMax = static_cast<int>(std::min<long long>(std::max(content - 1, 0LL), INT_MAX));
    si.nPage = static_cast<UINT>(std::max(width, 0));
    si.nPos = scrollX;
    SetScrollInfo(window, SB_HORZ, &si, TRUE);
}

void SourcePane::ScrollTo(long long x, long long line) {
    if (source.indexing() && line > static_cast<long long>(source.lineCount()) - PageLines()) FinishIndex();
    const int32_t newX = static_cast<int32_t>(clampScroll(x, ContentWidth() - ClientWidth()));
    const int32_t newLine =
        static_cast<int32_t>(clampScroll(line, static_cast<long long>(source.lineCount()) - PageLines()));
    if (newX == scrollX && newLine == topLine) return;
    scrollX = newX;
    topLine = newLine;
    if (window) {
        SetScrollPos(window, SB_HORZ, scrollX, TRUE);
        SetScrollPos(window, SB_VERT, topLine, TRUE);
    }
    Repaint();
}

bool SourcePane::ContinueFind(Find& find, WorkBudget& budget, const NodeSlice& slice) {
    if (!find.begun) {
        EnsureBuilt();
        // The lines and the selection's range are those of the complete index.
        if (source.indexing()) {
            ContinueIndex();
            if (source.indexing()) return false;
        }
        const long long lines = static_cast<long long>(source.lineCount());
        if (lines == 0 || !mainWindow->document) return true;
        long long line = find.backwards ? lines - 1 : 0;
        long long column = find.backwards ? INT_MAX : -1;
        if (!find.fromEdge) {
            if (matchLine >= 0 && matchLine < lines) {
                line = matchLine;
                column = matchColumn;
            } else if (mainWindow->selected) {
                const qm::LineRange r = LineRange(mainWindow->selected);
                if (r.valid()) {
                    line = std::min<long long>(r.first, lines - 1);
                    column = find.backwards ? 0 : -1;
                }
            }
        }
        find.walk = beginSourceWalk(source, line, column, find.backwards, find.wrap);
        find.begun = true;
    }
    return continueSourceWalk(source, mainWindow->highlight, find.walk, budget, slice);
}

void SourcePane::ShowMatch(const SourceMatch& match) {
    if (match.line < 0 || size_t(match.line) >= source.lineCount() || !mainWindow->document) return;
    matchLine = match.line;
    matchColumn = match.column;
    matchLength = match.length;

    MainWindow& main = *mainWindow;

    Node* node = DisplayNode(sourceLineNode(*main.document, source, size_t(match.line)));
    main.selected = node;
    main.lastMatch = node;

    const Palette& pal = main.palette;
    const int page = PageLines();
    const long long top = LineVisible(match.line) ? topLine : static_cast<long long>(match.line) - page / 3;
    const long long visible = std::max(ClientWidth() - GutterWidth(), 1);
    const long long x = static_cast<long long>(match.column) * pal.monoCharWidth;
    const long long end = x + static_cast<long long>(match.length) * pal.monoCharWidth;
    long long left = scrollX;
    if (x < scrollX || end > scrollX + visible - pal.scale(kSourceMatchMargin)) left = std::max(x - visible / 3, 0LL);
    ScrollTo(left, top);
    Repaint();
    if (main.window) InvalidateRect(main.window, nullptr, FALSE);
}

std::wstring SourcePane::WholeText() {
    EnsureBuilt();
    FinishIndex();
    return qm::sourceCopyText(mainWindow->document.get(), source);
}

bool SourcePane::CopyWholeText() {
    StopCopy();
    EnsureBuilt();
    FinishIndex();
    const Document* doc = mainWindow->document.get();
    const size_t length = sourceCopyLength(doc, source);
    if (source.showsSourceText || source.lineCount() <= kSourceCopySliceLines || !mainWindow->window) {
        return CopyTextToClipboard(mainWindow->window, length, [&](wchar_t* out) {
            writeSourceCopy(doc, source, out, length);
            showNulCharacters(out, length);
        });
    }
    // A formatted text is written again from the tree: a big one a slice per message, straight
    // into the block the clipboard will own, so that the host keeps answering and Escape stops it.
    HGLOBAL block = AllocateClipboardText(length);
    if (!block) return false;
    copyRun = std::make_unique<CopyRun>();
    copyRun->block = block;
    copyRun->length = length;
    ContinueCopy();
    return true;
}

void SourcePane::ContinueCopy() {
    if (!copyRun) return;
    bool done = true;  // a block that cannot be written ends the copy with nothing
    if (wchar_t* out = static_cast<wchar_t*>(GlobalLock(copyRun->block))) {
        const size_t from = copyRun->at.written;
        done = writeSourceCopyLines(mainWindow->document.get(), source, out, copyRun->length, copyRun->at,
                                    kSourceCopySliceLines);
        showNulCharacters(out + from, copyRun->at.written - from);
        if (done) out[copyRun->length] = L'\0';
        GlobalUnlock(copyRun->block);
        if (done) PlaceClipboardText(mainWindow->window, std::exchange(copyRun->block, nullptr));
    }
    if (done) copyRun.reset();
    NextSliceOrDone(*mainWindow, kSourceCopyTimer, done);
}

bool SourcePane::StopCopy() {
    if (!copyRun) return false;
    copyRun.reset();
    NextSliceOrDone(*mainWindow, kSourceCopyTimer, true);
    return true;
}

int SourcePane::CopyProgress() const {
    if (!copyRun) return 0;
    return static_cast<int>(std::min<size_t>(99, copyRun->at.line * 100 / std::max<size_t>(source.lineCount(), 1)));
}

bool SourcePane::ValueEditRect(const Node* node, RECT& rect) {
    EnsureBuilt();
    if (!node) return false;
    const qm::LineRange r = LineRange(node);
    if (!r.valid() || size_t(r.first) >= source.lineCount()) return false;
    const long long line = r.first;
    if (!LineVisible(line)) ScrollTo(scrollX, line - PageLines() / 2);
    if (!LineVisible(line)) return false;

    const Palette& pal = mainWindow->palette;
    const EditColumn at = valueEditColumn(source.line(size_t(line)), node->value.view());
    const int gutter = GutterWidth();
    const int width = ClientWidth();
    const long long x = gutter + pal.scale(kSourceTextGap) + static_cast<long long>(at.column) * pal.monoCharWidth;
    if (x - scrollX < gutter || x - scrollX > width - pal.scale(kSourceEditorMinWidth))
        ScrollTo(std::max(x - pal.scale(kContextMenuOffsetDips) - gutter, 0LL), topLine);

    const long long left = std::max<long long>(x - scrollX, gutter + pal.scale(kSourceEditorLeftInset));
    const long long top = (line - topLine) * pal.monoLineHeight;
    long long right = std::max<long long>(width - pal.scale(kSourceEditorRightInset), left + pal.scale(kSourceEditorMinWidth));
    if (at.valueFound) {
        const long long valueEnd = x - scrollX + static_cast<long long>(node->value.size()) * pal.monoCharWidth +
                                   pal.scale(kSourceEditorValuePadding);
        right = std::min(right, std::max<long long>(left + pal.scale(kSourceEditorMinValueWidth), valueEnd));
    }
    rect = RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(std::min<long long>(right, INT_MAX)),
                static_cast<LONG>(top + pal.monoLineHeight)};
    return true;
}

// ---- painting ----

namespace {

struct SourcePainter {
    SourcePane& pane;
    const MainWindow& main;
    const Palette& pal;
    HDC dc;
    RECT client;
    int gutter;
    int lineHeight;
    bool focused;
    qm::LineRange selection;
    long long errorLine;
    // One allowance for the occurrences of every visible line: a costly expression paints what
    // it finds within it, and a repaint ends whatever the lines hold.
    WorkBudget& highlightBudget;

    COLORREF background() const { return pal.color(ColorSlot::background); }
    bool inSelection(long long line) const { return selection.valid() && line >= selection.first && line <= selection.last; }

    void band(long long line, int top) const {
        COLORREF colour;
        if (line == errorLine)
            colour = blend(background(), pal.color(ColorSlot::warning), pal.isDark ? kErrorBandDark : kErrorBandLight);
        else if (selection.valid() && line == selection.first)
            colour = pal.color(focused ? ColorSlot::selection : ColorSlot::inactiveSelection);
        else if (inSelection(line))
            colour = blend(background(), pal.color(ColorSlot::accent), pal.isDark ? kRangeBandDark : kRangeBandLight);
        else
            return;
        fillColour(dc, RECT{gutter, top, client.right, top + lineHeight}, colour);
    }

    void text(long long line, int top) const {
        const std::wstring_view full = pane.source.line(size_t(line));
        const size_t length = std::min(full.size(), kSourceLineCut);
        const wchar_t* chars = full.data();
        std::vector<uint8_t>& classes = pane.lineClasses;
        classes.assign(length, 0);
        uint8_t state = pane.source.lineStates[size_t(line)];
        tokenizerFor(pane.source.format)(chars, length, state, classes.data());

        const int origin = gutter + pal.scale(kSourceTextGap) - pane.scrollX;
        if (main.highlight.highlightActive) {
            const RECT area{origin, top, client.right, top + lineHeight};
            const bool current = line == pane.matchLine;
            PaintSearchHighlights(main, dc, chars, length, pal.monoFont, area, false, current ? pane.matchColumn : -1,
                                  &highlightBudget, current ? size_t(std::max(pane.matchLength, 0)) : 0);
        }
        // One measurement gives every character's right edge, so runs scrolled out of view cost
        // nothing to place, and of a visible run only the characters that show are drawn.
        std::vector<int>& edges = pane.lineEdges;
        edges.resize(length);
        SIZE whole{};
        if (length) GetTextExtentExPointW(dc, chars, static_cast<int>(length), 0, nullptr, edges.data(), &whole);
        auto leftOf = [&](size_t i) { return origin + (i ? static_cast<long long>(edges[i - 1]) : 0LL); };
        const int textY = top + (lineHeight - pal.monoTextHeight) / 2;
        long long x = origin;
        for (size_t start = 0; start < length;) {
            x = leftOf(start);
            if (x >= client.right) break;
            size_t end = start + 1;
            while (end < length && classes[end] == classes[start]) ++end;
            const long long right = origin + edges[end - 1];
            if (right > gutter) {
                const auto runBegin = edges.begin() + static_cast<ptrdiff_t>(start);
                const auto runEnd = edges.begin() + static_cast<ptrdiff_t>(end);
                const size_t first = size_t(std::upper_bound(runBegin, runEnd, gutter - origin) - edges.begin());
                const auto beyond = std::lower_bound(runBegin, runEnd, client.right - origin);
                const size_t stop = beyond == runEnd ? end : size_t(beyond - edges.begin()) + 1;
                SetTextColor(dc, pal.color(tokenColorSlot(classes[start])));
                TextOutW(dc, static_cast<int>(leftOf(first)), textY, chars + first, static_cast<int>(stop - first));
            }
            x = right;
            start = end;
        }
        if (full.size() > kSourceLineCut && x < client.right) {
            SetTextColor(dc, pal.color(ColorSlot::dimText));
            TextOutW(dc, static_cast<int>(x), textY, kEllipsis, 1);
        }
    }

    void gutterColumn() const {
        fillColour(dc, RECT{0, client.top, gutter, client.bottom}, background());
        const int separator = gutter - pal.scale(kSourceSeparatorInset);
        fillColour(dc, RECT{separator, client.top, separator + 1, client.bottom}, pal.color(ColorSlot::headerBackground));
    }

    void lineNumber(long long line, int top) const {
        if (inSelection(line)) {
            const bool dimmed = line != selection.first && !focused;
            const COLORREF colour = dimmed ? blend(background(), pal.color(ColorSlot::accent), kInactiveMarkerTint)
                                           : pal.color(ColorSlot::accent);
            fillColour(dc, RECT{gutter - pal.scale(kSourceMarkerLeft), top, gutter - pal.scale(kSourceMarkerRight),
                                top + lineHeight},
                       colour);
        }
        COLORREF colour = blend(background(), pal.color(ColorSlot::dimText), kLineNumberTint);
        if (line == errorLine)
            colour = pal.color(ColorSlot::warning);
        else if (inSelection(line))
            colour = pal.color(ColorSlot::text);
        const RECT box{0, top, gutter - pal.scale(kSourceNumberInset), top + lineHeight};
        drawText(dc, std::to_wstring(line + 1), box, colour, pal.monoFont, kLineNumberFormat);
    }
};

void paintSource(SourcePane& pane, HDC dc, const RECT& client) {
    const MainWindow& main = *pane.mainWindow;
    const Palette& pal = main.palette;
    fillColour(dc, client, pal.color(ColorSlot::background));
    if (!pane.built) {
        pane.Build();
        pane.UpdateScrollBars();
    }
    SelectObjectGuard font(dc, pal.monoFont);
    SetBkMode(dc, TRANSPARENT);

    const long long errorLine = pane.source.errorLine;
    WorkBudget highlightBudget(kRegexWorkPerText);
    const SourcePainter painter{pane,          main, pal, dc, client, pane.GutterWidth(), std::max(pal.monoLineHeight, 1),
                                GetFocus() == pane.window, pane.LineRange(main.selected), errorLine, highlightBudget};

    const long long lines = static_cast<long long>(pane.source.lineCount());
    const long long visible = client.bottom / painter.lineHeight + 1;
    ensureLineStates(pane.source, static_cast<size_t>(std::max(pane.topLine, 0)),
                     static_cast<size_t>(std::min(pane.topLine + visible, std::max(lines - 1, 0LL))));
    long long last = pane.topLine;
    for (long long line = pane.topLine; line < lines; ++line) {
        const long long top = (line - pane.topLine) * painter.lineHeight;
        if (top >= client.bottom) break;
        painter.band(line, static_cast<int>(top));
        painter.text(line, static_cast<int>(top));
        last = line + 1;
    }
    painter.gutterColumn();
    for (long long line = pane.topLine; line < last; ++line)
        painter.lineNumber(line, static_cast<int>((line - pane.topLine) * painter.lineHeight));
}

// ---- message handlers ----

LRESULT onPaint(SourcePane& pane, HDC printDc) {
    BufferedPaint paint(pane.window, printDc);
    if (paint.dc()) paintSource(pane, paint.dc(), paint.client());
    return 0;
}

bool runSourceKey(SourcePane& pane, WPARAM key) {
    const long long page = pane.PageLines();
    const int step = pane.mainWindow->palette.scale(kSourceScrollStep);
    const long long x = pane.scrollX, top = pane.topLine;
    switch (key) {
        case VK_PRIOR: pane.ScrollTo(x, top - page + 1); return true;
        case VK_NEXT: pane.ScrollTo(x, top + page - 1); return true;
        case VK_END: pane.ScrollTo(0, LLONG_MAX); return true;
        case VK_HOME: pane.ScrollTo(0, 0); return true;
        case VK_LEFT: pane.ScrollTo(x - step, top); return true;
        case VK_RIGHT: pane.ScrollTo(x + step, top); return true;
        case VK_UP: pane.ScrollTo(x, top - 1); return true;
        case VK_DOWN: pane.ScrollTo(x, top + 1); return true;
        default: return false;
    }
}

LRESULT onKeyDown(SourcePane& pane, UINT message, WPARAM wParam, LPARAM lParam) {
    MainWindow& main = *pane.mainWindow;
    if (main.HandleShortcut(wParam)) return 0;
    if (!runSourceKey(pane, wParam)) main.ForwardKey(message, wParam, lParam);
    return 0;
}

int trackPosition(HWND window, int bar) {
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_TRACKPOS;
    GetScrollInfo(window, bar, &si);
    return si.nTrackPos;
}

LRESULT onHScroll(SourcePane& pane, WPARAM wParam) {
    long long x = pane.scrollX;
    const int step = pane.mainWindow->palette.scale(kSourceScrollStep);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    GetScrollInfo(pane.window, SB_HORZ, &si);
    switch (LOWORD(wParam)) {
        case SB_LINELEFT: x -= step; break;
        case SB_LINERIGHT: x += step; break;
        case SB_PAGELEFT: x -= si.nPage; break;
        case SB_PAGERIGHT: x += si.nPage; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: x = si.nTrackPos; break;
        case SB_LEFT: x = 0; break;
        case SB_RIGHT: x = si.nMax; break;
        default: return 0;
    }
    pane.ScrollTo(x, pane.topLine);
    return 0;
}

LRESULT onVScroll(SourcePane& pane, WPARAM wParam) {
    long long line = pane.topLine;
    const int page = pane.PageLines();
    switch (LOWORD(wParam)) {
        case SB_LINEUP: line -= 1; break;
        case SB_LINEDOWN: line += 1; break;
        case SB_PAGEUP: line -= page; break;
        case SB_PAGEDOWN: line += page; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: line = trackPosition(pane.window, SB_VERT); break;
        case SB_TOP: line = 0; break;
        case SB_BOTTOM: line = LLONG_MAX; break;
        default: return 0;
    }
    pane.ScrollTo(pane.scrollX, line);
    return 0;
}

LRESULT onWheel(SourcePane& pane, UINT message, WPARAM wParam) {
    const int notches = takeWheelNotches(pane.wheelRemainder, GET_WHEEL_DELTA_WPARAM(wParam));
    const int step = pane.mainWindow->palette.scale(kSourceWheelStep);
    if (message == WM_MOUSEHWHEEL)
        pane.ScrollTo(pane.scrollX + static_cast<long long>(step) * notches, pane.topLine);
    else if (GET_KEYSTATE_WPARAM(wParam) & MK_SHIFT)
        pane.ScrollTo(pane.scrollX - static_cast<long long>(step) * notches, pane.topLine);
    else
        pane.ScrollTo(pane.scrollX, static_cast<long long>(pane.topLine) - kWheelRowsPerNotch * notches);
    return 0;
}

LRESULT onButtonDown(SourcePane& pane, UINT message, LPARAM lParam) {
    SetFocus(pane.window);
    const int y = GET_Y_LPARAM(lParam);
    const long long line = pane.topLine + y / std::max(pane.mainWindow->palette.monoLineHeight, 1);
    if (y >= 0 && line < static_cast<long long>(pane.source.lineCount())) {
        pane.FinishIndex();
        if (Node* node = sourceLineNode(*pane.mainWindow->document, pane.source, size_t(line)))
            pane.mainWindow->SelectNode(node);
    }
    if (message == WM_LBUTTONDBLCLK) EditSelectedValue(*pane.mainWindow);
    return 0;
}

LRESULT onContextMenu(SourcePane& pane, LPARAM lParam) {
    const int offset = pane.mainWindow->palette.scale(kContextMenuOffsetDips);
    return ShowViewContextMenu(*pane.mainWindow, pane.window, lParam, POINT{offset, offset});
}

LRESULT dispatch(SourcePane& pane, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE: pane.UpdateScrollBars(); pane.Repaint(); return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: pane.Repaint(); return 0;
        case WM_PAINT: return onPaint(pane, nullptr);
        case WM_PRINTCLIENT: return onPaint(pane, reinterpret_cast<HDC>(wParam));
        case WM_ERASEBKGND: return 1;
        case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTALLKEYS | DLGC_WANTCHARS;
        case WM_KEYDOWN: return onKeyDown(pane, message, wParam, lParam);
        case WM_CHAR: return 0;
        case WM_HSCROLL: return onHScroll(pane, wParam);
        case WM_VSCROLL: return onVScroll(pane, wParam);
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL: return onWheel(pane, message, wParam);
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDOWN: return onButtonDown(pane, message, lParam);
        case WM_CONTEXTMENU: return onContextMenu(pane, lParam);
        case WM_CTLCOLOREDIT: return InPlaceEditorColours(*pane.mainWindow, reinterpret_cast<HDC>(wParam));
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return paneWindowProc<SourcePane, dispatch>(window, message, wParam, lParam);
}

}  // namespace qm
