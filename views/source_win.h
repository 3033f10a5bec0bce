// The source view window ("QuillmapSource"): the file's text or its formatted tree, read-only,
// with line numbers, colouring, the selected node's band and the search's matches. Its state,
// SourcePane, is embedded in the MainWindow; the selection is the main window's, the pane keeps
// the text, its scroll position and the current match.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "views/source.h"

namespace qm {

struct MainWindow;

struct SourcePane {
    MainWindow* mainWindow = nullptr;
    HWND window = nullptr;
    // The search's current match in display coordinates; matchLine -1 when there is none. A
    // selection change clears it, so the next search starts at the selection.
    int32_t matchLine = -1;
    int32_t matchColumn = 0;
    int32_t matchLength = 0;
    bool built = false;     // the text below is the current document's
    SourceText source;      // lines, line nodes and states, node ranges; the text is read or written when shown
    int32_t topLine = 0;
    int32_t scrollX = 0;    // pixels
    int32_t wheelRemainder = 0;
    std::vector<uint8_t> lineClasses;  // token classes of the line being painted, reused
    std::vector<int> lineEdges;        // right edge of each of its characters, reused
    // "Copy entire source" of a big formatted text, written a slice per timer message straight
    // into the clipboard's block, which goes to the clipboard when it is full; null otherwise.
    struct CopyRun {
        ~CopyRun() {
            if (block) GlobalFree(block);
        }
        HGLOBAL block = nullptr;  // freed unless handed to the clipboard
        size_t length = 0;
        SourceCopyCursor at;
    };
    std::unique_ptr<CopyRun> copyRun;
    // Steps of the index pass of a formatted text per timer message (kSourceIndexTimer); the first
    // slice (at most kSourceFirstIndexSteps) runs when the text is built, on to the end of the
    // first screen.
    size_t indexSliceSteps = kSourceIndexSliceSteps;

    // A new document or an edited one: the text is built again, now if the view is shown.
    void ResetForDocument();
    void Build();
    // Scrolls the lines of `node` into view.
    void RevealNode(const Node* node);
    // The lines of `node` or of its nearest ancestor that has some.
    qm::LineRange LineRange(const Node* node);
    void UpdateScrollBars();
    void ScrollTo(long long x, long long line);
    // The search's step in this view, a slice at a time (the main window's SearchRun holds it):
    // from the current match, the selection or the text's edge to the next match of the main
    // window's highlight state, with `wrap` going round from the other end, paid from `budget`.
    // A formatted text's index is completed first, a slice of its pass per call. True once the
    // search has ended; then ShowMatch shows the match found, if any.
    struct Find {
        bool fromEdge = false;
        bool backwards = false;
        bool wrap = false;
        bool begun = false;  // the walk begins once the index is complete
        SourceWalk walk;
    };
    bool ContinueFind(Find& find, WorkBudget& budget, const NodeSlice& slice);
    // Makes a match found the current one: its line's node is selected, and it is scrolled into view.
    void ShowMatch(const SourceMatch& match);
    // The "SourceLayout" setting as the text builder takes it.
    SourceLayout Layout() const;
    // "Copy entire source": the display text with CR LF line ends (the file's own text when it
    // is shown as read), written straight into the clipboard.
    std::wstring WholeText();
    // Copies at once, or starts a copy in slices (kSourceCopyTimer) for a formatted text of more
    // than one slice; false when nothing was or will be copied.
    bool CopyWholeText();
    // The next slice of the copy; the last one places the text on the clipboard.
    void ContinueCopy();
    // The next slice of the index pass, and its end: the scroll range and the gutter as the
    // complete index gives them. What needs lines or nodes the pass has not come to yet (End,
    // scrolling past them, the search, a click's node, the copy, a node further on) completes it
    // first.
    void ContinueIndex();
    void FinishIndex();
    // Escape, or a new text: stops the copy with the clipboard untouched; false when none runs.
    bool StopCopy();
    // How far the copy came, 0 to 99.
    int CopyProgress() const;
    // Where the in-place value editor goes, in client coordinates.
    bool ValueEditRect(const Node* node, RECT& rect);

    int PageLines() const;
    int GutterWidth() const;
    long long ContentWidth() const;
    int ClientWidth() const;
    int ClientHeight() const;
    void Repaint() const;

private:
    void EnsureBuilt();
    bool LineVisible(long long line) const;
};

LRESULT CALLBACK SourceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace qm
