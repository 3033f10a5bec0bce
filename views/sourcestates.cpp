// The colouring state each line of the Source view starts in, worked out only for the lines
// painted: from the nearest line whose state is certain without the lines above it, passing over
// lines that hold no character able to change the state.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "document/embedded.h"
#include "views/source.h"
#include "views/source_parts.h"
#include "views/syntax.h"

namespace qm {

namespace {

// A line whose start state is certain.
struct StatePoint {
    size_t line;
    uint8_t state;
};

// The first position from `p` on, before `end`, that holds one of the characters of `set`; `end`
// when none does. Tested four at a time where wchar_t is 16 bits (a lane equal to the character
// is one that is zero after an exclusive or, and a zero lane borrows into its top bit).
size_t nextOf(const wchar_t* text, size_t p, size_t end, const wchar_t* set) {
    if constexpr (sizeof(wchar_t) == 2) {
        constexpr uint64_t kLanes = 0x0001000100010001ULL;
        for (; p + 4 <= end; p += 4) {
            uint64_t word;
            std::memcpy(&word, text + p, sizeof word);
            bool found = false;
            for (const wchar_t* c = set; *c && !found; ++c) {
                const uint64_t x = word ^ (kLanes * uint16_t(*c));
                found = ((x - kLanes) & ~x & (kLanes * 0x8000)) != 0;
            }
            if (found) break;
        }
    }
    for (; p < end; ++p)
        for (const wchar_t* c = set; *c; ++c)
            if (text[p] == *c) return p;
    return end;
}

// Whether `text` holds a quotation mark, double or single.
bool holdsQuote(std::wstring_view text) {
    return text.find_first_of(L"\"'") != std::wstring_view::npos;
}

// Whether `p` points into `text` (compared as addresses: the node's text may lie elsewhere).
bool pointsInto(const wchar_t* p, std::wstring_view text) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(p), from = reinterpret_cast<uintptr_t>(text.data());
    return at >= from && at < from + text.size() * sizeof(wchar_t);
}

// Whether line `line` of an XML file shown as written begins, after blanks, with the "<" of a
// start tag the parser read there as an element's: the element's name points just past that "<".
// The element is looked up among the nodes of the file, which the parser made in the order of
// the text, by its line (a binary search), so a line costs O(log n) at most.
bool elementStartsLine(const SourceText& out, size_t line) {
    const Document& doc = *out.document;
    const wchar_t* text = out.writtenData;
    size_t p = writtenStart(out, line);
    const size_t end = writtenStart(out, line + 1);
    while (p < end && (text[p] == L' ' || text[p] == L'\t')) ++p;
    if (p + 1 >= end || text[p] != L'<') return false;
    const wchar_t* name = text + p + 1;
    const uint32_t number = uint32_t(std::min<size_t>(line + 1, UINT32_MAX));
    size_t low = 0, high = fileNodeCount(doc);
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (doc.nodes[mid].line < number) low = mid + 1;
        else high = mid;
    }
    // The element starting the line is the line's first node, unless a node the parser made before
    // it says otherwise: a few are looked at, never more.
    constexpr size_t kNodesLookedAt = 4;
    for (size_t i = low; i < fileNodeCount(doc) && i < low + kNodesLookedAt && doc.nodes[i].line == number; ++i) {
        const Node& node = doc.nodes[i];
        if (node.kind == NodeKind::Element && node.name.data() == name && !node.name.empty()) return true;
    }
    return false;
}

// The nearest line at or before `line` whose start state is certain without the lines above it.
StatePoint certainStateBefore(SourceText& out, size_t line) {
    const auto known = [&](size_t i) { return out.lineStates[i] != kLineStateUnknown; };
    if (line == 0) return {0, 0};
    if (known(line - 1)) return {line - 1, out.lineStates[line - 1]};
    const Tokenizer tokenize = tokenizerFor(out.format);
    if (!out.showsSourceText && out.statesFollowNodes) {
        const size_t node = nodeLineAtOrBefore(out, line);
        for (size_t i = line - 1; i > node; --i)
            if (known(i)) return {i, out.lineStates[i]};
        return {node, 0};
    }
    if (out.showsSourceText && !stateCharacters(out.format)) {
        // Upward to a known line or one that ends alike from any state; the lines passed are
        // all filled afterwards, so no line is passed twice.
        for (size_t i = line; i-- > 0;) {
            if (known(i)) return {i, out.lineStates[i]};
            const std::wstring_view text = out.line(i);
            if (endsAlikeFromAnyState(out.format, text.data(), text.size())) {
                uint8_t state = 0;
                tokenize(text.data(), text.size(), state, nullptr);
                ++out.stateWork;
                return {i + 1, state};
            }
        }
        return {0, 0};
    }
    const std::wstring_view written = out.showsSourceText ? writtenText(*out.document) : std::wstring_view();
    if (out.statesFollowElements && written.data() == out.writtenData && written.size() == out.writtenSize) {
        // Upward to a known line or one an element's start tag begins, which starts in the first
        // state: the lines passed are all filled afterwards, so no line is passed twice.
        for (size_t i = line; i > out.statesKnown; --i) {
            if (elementStartsLine(out, i)) return {i, 0};
            if (known(i - 1)) return {i - 1, out.lineStates[i - 1]};
        }
    }
    return out.statesKnown == 0 ? StatePoint{0, 0} : StatePoint{out.statesKnown - 1, out.lineStates[out.statesKnown - 1]};
}

// Fills the states of the lines from `from` through `last`. A file shown as written whose format
// names the characters that change states is searched for them: the lines between keep the state.
void fillStates(SourceText& out, StatePoint from, size_t last) {
    const Tokenizer tokenize = tokenizerFor(out.format);
    const wchar_t* changers = stateCharacters(out.format);
    const std::wstring_view written = out.showsSourceText ? writtenText(*out.document) : std::wstring_view();
    const bool searched = changers && out.showsSourceText && written.data() == out.writtenData && written.size() == out.writtenSize;
    uint8_t state = from.state;
    for (size_t i = from.line; i <= last;) {
        size_t next = i;  // the next line to tokenize
        if (searched) {
            const size_t end = writtenStart(out, last + 1);
            const size_t at = nextOf(written.data(), writtenStart(out, i), end, changers);
            if (at >= end) {
                next = last + 1;
            } else if (at >= writtenStart(out, i + 1)) {
                const auto after = std::upper_bound(out.writtenStarts.begin() + ptrdiff_t(i + 1), out.writtenStarts.begin() + ptrdiff_t(last + 1),
                                                    at, [](size_t p, uint32_t start) { return p < (start & ~kLineChanged); });
                next = size_t(after - out.writtenStarts.begin()) - 1;
            }
            std::fill(out.lineStates.begin() + ptrdiff_t(i), out.lineStates.begin() + ptrdiff_t(next), state);
            if (next > last) break;
        }
        out.lineStates[next] = state;
        const std::wstring_view text = out.line(next);
        tokenize(text.data(), text.size(), state, nullptr);
        ++out.stateWork;
        i = next + 1;
    }
}

}  // namespace

bool tokenizedAsParsed(const Node& node, std::wstring_view written) {
    if (node.kind == NodeKind::Attribute) {
        // A value between quotes ends, for both, at the same quote; one written without them ends
        // for the parser at a blank, "/" or ">", but the tokenizer opens a string at its quote.
        const wchar_t* value = node.value.data();
        if (pointsInto(value, written) && value > written.data() && (value[-1] == L'"' || value[-1] == L'\''))
            return true;
        return !holdsQuote(node.value);
    }
    if (node.kind != NodeKind::DocType) return true;
    // The parser ends a declaration at the first ">" outside nested square brackets; the tokenizer
    // knows one level of brackets only. Read from "<!" to that ">", the tokenizer must end where
    // it began.
    std::wstring declaration = L"<!";
    declaration.append(node.name.view()).append(L" ").append(node.value.view()).append(L">");
    uint8_t state = 0;
    tokenizeXmlLine(declaration.data(), declaration.size(), state, nullptr);
    return state == 0;
}

void ensureLineStates(SourceText& out, size_t first, size_t last) {
    const size_t lines = out.lineCount();
    if (lines == 0 || !out.document) return;
    last = std::min(last, lines - 1);
    if (out.lineStates.size() != lines) {
        // The lines of an index still built grow, and the states worked out stay true.
        out.lineStates.resize(lines, kLineStateUnknown);
        out.statesKnown = std::min(out.statesKnown, lines);
    }
    const auto known = [&](size_t i) { return out.lineStates[i] != kLineStateUnknown; };
    for (size_t i = first; i <= last; ++i) {
        if (known(i)) continue;
        size_t end = i;  // the run of lines not worked out yet
        while (end < last && !known(end + 1)) ++end;
        fillStates(out, certainStateBefore(out, i), end);
        i = end;
    }
    while (out.statesKnown < lines && out.lineStates[out.statesKnown] != kLineStateUnknown) ++out.statesKnown;
}

void ensureLineStates(SourceText& out, size_t line) { ensureLineStates(out, 0, line); }

}  // namespace qm
