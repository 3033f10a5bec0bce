// The matching half of the search: how a search text is tested against node names and values,
// which occurrences the views highlight, and which node the views show for a matched one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "document/document.h"
#include "shell/regex.h"

namespace qm {

// Search flags: the host's values plus the search box's regular-expression switch.
constexpr unsigned kSearchFindFirst = 1;
constexpr unsigned kSearchMatchCase = 2;
constexpr unsigned kSearchWholeWords = 4;   // plain search only
constexpr unsigned kSearchBackwards = 8;
constexpr unsigned kSearchRegex = 16;

// Texts longer than this are never tested against a regular expression.
constexpr size_t kMaxRegexTextLength = 20000;
// At most this many occurrences are found and painted in one text.
constexpr size_t kMaxHighlightRanges = 200;

// What the last search looked for; the views paint its occurrences while highlightActive is set.
struct HighlightState {
    bool highlightActive = false;
    bool highlightRegex = false;
    bool highlightMatchCase = false;
    bool highlightWholeWords = false;
    std::wstring highlightTerm;
    Regex highlightExpression;  // the last regular-expression search's; kept by plain searches
};

// Sets the state for a search of `text` with `flags`; with kSearchRegex the text is compiled
// first (case-insensitive unless kSearchMatchCase). An invalid expression turns the highlighting
// off, leaves the rest as it was and returns false.
bool beginHighlight(HighlightState& state, const std::wstring& text, unsigned flags);

// Plain comparison at position p: the term's characters equal the text's one by one, exactly
// with matchCase, otherwise after toUpper of both; with wholeWords the characters around the
// occurrence must not be letters or digits.
bool plainMatchAt(const wchar_t* text, size_t length, size_t p, const std::wstring& term, bool matchCase,
                  bool wholeWords);

enum class TextMatch { No, Yes, EngineError };

// The node search's test of one name or value with the current state.
TextMatch matchText(const HighlightState& state, std::wstring_view text);
// A node matches when its name or its value does.
TextMatch matchNode(const HighlightState& state, const Node* node);

// Occurrences of the search in a text, as (start, length) in UTF-16 code units, in order, at most
// kMaxHighlightRanges of them; nothing unless highlightActive is set.
std::vector<TextRange> FindHighlightRanges(const HighlightState& state, const wchar_t* text, size_t length);

// The node the views show for `node`: the only Text or CData child of an Element without
// attributes is represented by that element; every other node by itself.
const Node* DisplayNode(const Node* node);
Node* DisplayNode(Node* node);

}  // namespace qm
