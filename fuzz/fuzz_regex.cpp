// Fuzz target for the search's regular-expression matcher: the first byte picks the case mode,
// the input up to the first NUL byte is the pattern (at most 255 characters, as many as the search
// reads from its box), the rest is the text; both are read as UTF-16 code units, two bytes each.
#include <string>
#include <vector>

#include "fuzz/fuzz.h"
#include "shell/regex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    bool ignoreCase = data[0] & 1;
    ++data;
    --size;
    std::wstring pattern, text;
    bool inText = false;
    for (size_t k = 0; k + 1 < size; k += 2) {
        wchar_t c = wchar_t(data[k] | (data[k + 1] << 8));
        if (!inText && c == 0) {
            inText = true;
            continue;
        }
        (inText ? text : pattern) += c;
    }
    if (pattern.size() > 255) pattern.resize(255);
    qm::Regex re;
    if (!re.compile(pattern, ignoreCase)) return 0;
    std::vector<qm::TextRange> all;
    qm::RegexRun first = re.findMatches(text.data(), text.size(), 1000, false, all);
    for (const qm::TextRange& m : all) qmfuzz::check(m.start <= text.size() && m.length <= text.size() - m.start);
    // The non-empty test agrees with the iteration.
    bool anyNonEmpty = false;
    for (const qm::TextRange& m : all) anyNonEmpty |= m.length > 0;
    qm::RegexRun run = qm::RegexRun::Complete;
    bool has = re.hasNonEmptyMatch(text.data(), text.size(), &run);
    if (first == qm::RegexRun::Complete && run == qm::RegexRun::Complete && all.size() < 1000)
        qmfuzz::check(has == anyNonEmpty);
    // A memory of a few dozen bits (a moving window of positions, the rest in the key table)
    // changes the work, never the matches.
    qm::WorkBudget small(qm::kRegexWorkPerText);
    small.memoBits = 40;
    std::vector<qm::TextRange> windowed;
    qm::RegexRun second = re.findMatches(text.data(), text.size(), 1000, false, windowed, small);
    if (first == qm::RegexRun::Complete && second == qm::RegexRun::Complete) qmfuzz::check(windowed == all);
    return 0;
}
