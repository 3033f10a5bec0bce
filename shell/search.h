// The search over the node list and the highlighting of its occurrences in the views.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "shell/match.h"

namespace qm {

struct MainWindow;
struct Node;

// Searches the nodes' names and values in document order from the current node with the host's
// search flags (and kSearchRegex); selects and reveals the first match. With `wrap` it goes on
// from the other end over the nodes it has not tested yet, as the search box wants. One work
// budget covers the whole search, so it always ends: Stopped when the budget ran out.
SearchOutcome Search(MainWindow& main, const std::wstring& text, int flags, bool wrap = false);

// True when `node` is the selected node and shows the last match.
bool IsCurrentMatch(const MainWindow& main, const Node* node);
// Paints the occurrence bands behind a text the caller draws over them: the current occurrence
// (all of them with allCurrent, or the one starting at currentStart) and the others. With a
// budget the occurrences are found at its cost (a view painting many texts shares one); with a
// currentLength the current occurrence is painted even where the occurrences found stop short of it.
void PaintSearchHighlights(const MainWindow& main, HDC dc, const wchar_t* text, size_t length, HFONT font,
                           const RECT& rect, bool allCurrent, ptrdiff_t currentStart, WorkBudget* budget = nullptr,
                           size_t currentLength = 0);

}  // namespace qm
