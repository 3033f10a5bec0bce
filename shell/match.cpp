// Plain and regular-expression matching of the search, highlight ranges and display nodes.
#include "shell/match.h"

#include "document/chars.h"

namespace qm {

bool beginHighlight(HighlightState& state, const std::wstring& text, unsigned flags) {
    bool regex = (flags & kSearchRegex) != 0;
    if (regex) {
        Regex compiled;
        if (!compiled.compile(text, (flags & kSearchMatchCase) == 0)) {
            state.highlightActive = false;
            return false;
        }
        state.highlightExpression = std::move(compiled);
    }
    state.highlightActive = true;
    state.highlightRegex = regex;
    state.highlightMatchCase = (flags & kSearchMatchCase) != 0;
    state.highlightWholeWords = (flags & kSearchWholeWords) != 0;
    state.highlightTerm = text;
    return true;
}

bool plainMatchAt(const wchar_t* text, size_t length, size_t p, const std::wstring& term, bool matchCase,
                  bool wholeWords) {
    size_t n = term.size();
    if (n == 0 || p > length || length - p < n) return false;
    for (size_t k = 0; k < n; ++k) {
        wchar_t a = text[p + k], b = term[k];
        if (a != b && (matchCase || toUpper(a) != toUpper(b))) return false;
    }
    if (wholeWords) {
        if (p > 0 && isAlnum(text[p - 1])) return false;
        if (p + n < length && isAlnum(text[p + n])) return false;
    }
    return true;
}

TextMatch matchText(const HighlightState& state, std::wstring_view text) {
    if (state.highlightRegex) {
        if (text.empty() || text.size() > kMaxRegexTextLength) return TextMatch::No;
        RegexRun run = RegexRun::Complete;
        if (state.highlightExpression.hasNonEmptyMatch(text.data(), text.size(), &run)) return TextMatch::Yes;
        return run == RegexRun::TooComplex ? TextMatch::EngineError : TextMatch::No;
    }
    const std::wstring& term = state.highlightTerm;
    for (size_t p = 0; p + term.size() <= text.size(); ++p)
        if (plainMatchAt(text.data(), text.size(), p, term, state.highlightMatchCase, state.highlightWholeWords))
            return TextMatch::Yes;
    return TextMatch::No;
}

TextMatch matchNode(const HighlightState& state, const Node* node) {
    TextMatch m = matchText(state, node->name);
    if (m != TextMatch::No) return m;
    return matchText(state, node->value);
}

std::vector<TextRange> FindHighlightRanges(const HighlightState& state, const wchar_t* text, size_t length) {
    std::vector<TextRange> ranges;
    if (!state.highlightActive || length < 1) return ranges;
    if (!state.highlightRegex) {
        const std::wstring& term = state.highlightTerm;
        if (term.empty()) return ranges;
        size_t p = 0;
        while (p + term.size() <= length && ranges.size() < kMaxHighlightRanges) {
            if (plainMatchAt(text, length, p, term, state.highlightMatchCase, state.highlightWholeWords)) {
                ranges.push_back(TextRange{p, term.size()});
                p += term.size();  // occurrences do not overlap
            } else {
                ++p;
            }
        }
        return ranges;
    }
    if (length > kMaxRegexTextLength) return ranges;
    // A matcher that gives up keeps the ranges it found, as the painting wants.
    state.highlightExpression.findMatches(text, length, kMaxHighlightRanges, true, ranges);
    return ranges;
}

const Node* DisplayNode(const Node* node) {
    if (node && (node->kind == NodeKind::Text || node->kind == NodeKind::CData)) {
        const Node* parent = node->parent;
        if (parent && parent->kind == NodeKind::Element && parent->attributeCount == 0 && parent->children.size() == 1)
            return parent;
    }
    return node;
}

Node* DisplayNode(Node* node) { return const_cast<Node*>(DisplayNode(static_cast<const Node*>(node))); }

}  // namespace qm
