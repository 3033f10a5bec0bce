// Compiler and runner of the search's regular expressions (see regex.h).
//
// The automaton has the shape libstdc++ gives an ECMAScript expression, because the order in
// which a backtracking matcher tries the ways through it decides which match is found:
// alternatives are binary, tried left then right; a quantifier is a Repeat state whose body is
// tried before (greedy) or after (lazy) leaving; {n,m} is n copies followed by m-n nested optional
// copies. A Repeat's body may be entered at most twice at the same text position on one path,
// which is how libstdc++ stops a body that matches the empty string.
//
// The runner is that backtracking search with an explicit stack, plus a memory of explored
// states: a state reached at a text position it was already explored at (with the same counts of
// entries into bodies that can match empty) cannot lead to a match that was not found the first
// time, so it is skipped. Each (state, position) is thus explored once per walk over a text, and
// the time grows linearly with the text. The memory is only a shortcut: a state explored again
// finds the same nothing, so when memory is short the runner forgets (positions beyond its window,
// or everything once too many keys are held) and pays for the work again from its budget.
#include "shell/regex.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "document/chars.h"

namespace qm {

namespace {

constexpr uint8_t kDigitClass = 1;
constexpr uint8_t kSpaceClass = 2;
constexpr uint8_t kWordClass = 4;
constexpr uint32_t kMaxRepeatCount = 1000000;  // larger counts exceed the state limit anyway
// A (counts, position, state) key packs the state into 17 bits, the position into 29 and the
// counts' signature into 18; longer texts than the position allows are refused.
constexpr unsigned kKeyStateBits = 17;
constexpr unsigned kKeyPositionBits = 29;
constexpr uint32_t kMaxSignatures = uint32_t(1) << 18;
constexpr size_t kMaxRegexRunText = (size_t(1) << kKeyPositionBits) - 1;
static_assert(kMaxRegexStates < (size_t(1) << kKeyStateBits), "a state must fit its key bits");

uint8_t classBit(wchar_t letter) {
    switch (letter | 0x20) {
        case L'd': return kDigitClass;
        case L's': return kSpaceClass;
        default: return kWordClass;
    }
}

bool isWordChar(wchar_t c) { return isAlnum(c) || c == L'_'; }

bool inClasses(wchar_t c, uint8_t classes) {
    return ((classes & kDigitClass) && isDigit(c)) || ((classes & kSpaceClass) && isSpace(c)) ||
           ((classes & kWordClass) && isWordChar(c));
}

}  // namespace

// ---- compiler ------------------------------------------------------------------------------

struct RegexCompiler {
    using Op = Regex::Op;
    using State = Regex::State;

    // A piece of automaton: entered at `start`, left through the unset `next` of `end`. Its
    // states occupy [lo, states.size()) at the time it is completed, so it can be copied.
    struct Frag {
        int32_t start = -1;
        int32_t end = -1;
        size_t lo = 0;
    };
    // An open group (or the whole expression): the alternatives so far and the current one.
    struct Group {
        Frag alternatives;
        bool hasAlternatives = false;
        Frag sequence;
        bool hasSequence = false;
        size_t lo = 0;
    };

    enum class Tok : uint8_t {
        Eof, Char, Any, LineBegin, LineEnd, WordBound, NotWordBound, Class, GroupOpen, Close,
        BracketOpen, NegBracketOpen, Star, Plus, Opt, Or, BraceOpen, Unsupported
    };

    const std::wstring& pat;
    bool icase;
    Regex& re;
    size_t i = 0;
    bool failed = false;
    wchar_t value = 0;  // Char: the character; Class: the letter

    RegexCompiler(const std::wstring& p, bool ic, Regex& r) : pat(p), icase(ic), re(r) {}

    std::vector<State>& states() { return re.states_; }
    wchar_t translate(wchar_t c) const { return icase ? toLower(c) : c; }

    int32_t add(Op op, int32_t next = -1, int32_t alt = -1, uint32_t arg = 0) {
        if (states().size() >= kMaxRegexStates) {
            failed = true;
            return -1;
        }
        State s;
        s.op = op;
        s.next = next;
        s.alt = alt;
        s.arg = arg;
        states().push_back(s);
        return int32_t(states().size() - 1);
    }
    Frag single(Op op, uint32_t arg = 0) {
        Frag f;
        f.lo = states().size();
        f.start = f.end = add(op, -1, -1, arg);
        return f;
    }
    void link(int32_t from, int32_t to) {
        if (from >= 0) states()[size_t(from)].next = to;
    }
    void append(Frag& a, const Frag& b) {
        link(a.end, b.start);
        a.end = b.end;
    }
    // A copy of the completed fragment occupying [f.lo, hi), placed after all existing states.
    Frag clone(const Frag& f, size_t hi) {
        if (states().size() + (hi - f.lo) > kMaxRegexStates) {
            failed = true;
            return f;
        }
        size_t at = states().size();
        int32_t offset = int32_t(at - f.lo);
        auto shift = [&](int32_t t) { return t >= int32_t(f.lo) && t < int32_t(hi) ? t + offset : t; };
        for (size_t k = f.lo; k < hi; ++k) {
            State s = states()[k];
            s.next = shift(s.next);
            s.alt = shift(s.alt);
            states().push_back(s);
        }
        return Frag{shift(f.start), shift(f.end), at};
    }

    // ---- scanning, following the rules of the ECMAScript grammar as libstdc++ reads it ----

    bool atEnd() const { return i >= pat.size(); }

    // The escape after a backslash (the backslash already read). Outside and inside brackets.
    Tok escape(bool inBracket) {
        if (atEnd()) return fail();
        wchar_t c = pat[i++];
        switch (c) {
            case L'0': value = 0; return Tok::Char;
            case L'f': value = L'\f'; return Tok::Char;
            case L'n': value = L'\n'; return Tok::Char;
            case L'r': value = L'\r'; return Tok::Char;
            case L't': value = L'\t'; return Tok::Char;
            case L'v': value = L'\v'; return Tok::Char;
            case L'b':
                if (inBracket) {
                    value = L'\b';
                    return Tok::Char;
                }
                return Tok::WordBound;
            case L'B': return Tok::NotWordBound;
            case L'd': case L'D': case L's': case L'S': case L'w': case L'W':
                value = c;
                return Tok::Class;
            case L'c':
                // libstdc++ takes the character after \c literally.
                if (atEnd()) return fail();
                value = pat[i++];
                return Tok::Char;
            case L'x':
            case L'u': {
                int digits = c == L'x' ? 2 : 4;
                uint32_t v = 0;
                for (int k = 0; k < digits; ++k) {
                    if (atEnd() || !isHexDigit(pat[i])) return fail();
                    wchar_t h = pat[i++];
                    v = v * 16 + uint32_t(isDigit(h) ? h - L'0' : (h | 0x20) - L'a' + 10);
                }
                value = wchar_t(v);
                return Tok::Char;
            }
            default:
                if (isDigit(c)) return Tok::Unsupported;  // back-reference
                value = c;
                return Tok::Char;
        }
    }

    Tok fail() {
        failed = true;
        return Tok::Eof;
    }

    Tok next() {
        if (atEnd()) return Tok::Eof;
        wchar_t c = pat[i++];
        switch (c) {
            case L'\\': return escape(false);
            case L'^': return Tok::LineBegin;
            case L'$': return Tok::LineEnd;
            case L'.': return Tok::Any;
            case L'*': return Tok::Star;
            case L'+': return Tok::Plus;
            case L'?': return Tok::Opt;
            case L'|': return Tok::Or;
            case L')': return Tok::Close;
            case L'{': return Tok::BraceOpen;
            case L'(':
                if (!atEnd() && pat[i] == L'?') {
                    ++i;
                    if (atEnd()) return fail();
                    wchar_t k = pat[i++];
                    if (k == L':') return Tok::GroupOpen;
                    if (k == L'=' || k == L'!') return Tok::Unsupported;  // look-ahead
                    return fail();
                }
                return Tok::GroupOpen;
            case L'[':
                if (!atEnd() && pat[i] == L'^') {
                    ++i;
                    return Tok::NegBracketOpen;
                }
                return Tok::BracketOpen;
            default:
                value = c;
                return Tok::Char;
        }
    }

    // ---- bracket expressions ----

    enum class BTok : uint8_t { Char, Dash, End, Class, Bad };

    BTok bracketToken() {
        if (atEnd()) {
            failed = true;
            return BTok::Bad;
        }
        wchar_t c = pat[i++];
        if (c == L'-') return BTok::Dash;
        if (c == L']') return BTok::End;
        if (c == L'[') {
            if (atEnd()) {
                failed = true;
                return BTok::Bad;
            }
            // [:class:], [.collating.] and [=equivalence=] are not offered.
            if (pat[i] == L':' || pat[i] == L'.' || pat[i] == L'=') {
                failed = true;
                return BTok::Bad;
            }
            value = c;
            return BTok::Char;
        }
        if (c == L'\\') {
            Tok t = escape(true);
            if (failed) return BTok::Bad;
            if (t == Tok::Char) return BTok::Char;
            if (t == Tok::Class) return BTok::Class;
            failed = true;  // \B or a back-reference inside brackets
            return BTok::Bad;
        }
        value = c;
        return BTok::Char;
    }

    Frag bracket(bool negated) {
        Regex::CharSet set;
        set.negated = negated;
        enum class Last : uint8_t { None, Char, Class } last = Last::None;
        wchar_t lastChar = 0;
        auto pushChar = [&](wchar_t ch) {
            if (last == Last::Char) set.chars.push_back(translate(lastChar));
            last = Last::Char;
            lastChar = ch;
        };
        auto pushClass = [&](wchar_t letter) {
            if (last == Last::Char) set.chars.push_back(translate(lastChar));
            last = Last::Class;
            bool upper = letter >= L'A' && letter <= L'Z';
            (upper ? set.negClasses : set.classes) |= classBit(letter);
        };
        BTok t = bracketToken();
        if (t == BTok::Char) {
            last = Last::Char;
            lastChar = value;
            t = bracketToken();
        } else if (t == BTok::Dash) {
            last = Last::Char;
            lastChar = L'-';
            t = bracketToken();
        }
        while (!failed && t != BTok::End) {
            if (t == BTok::Char) {
                pushChar(value);
            } else if (t == BTok::Class) {
                pushClass(value);
            } else if (t == BTok::Dash) {
                BTok u = bracketToken();
                if (failed) break;
                if (u == BTok::End) {
                    pushChar(L'-');
                    break;
                }
                if (last == Last::Class) {
                    failed = true;
                    break;
                }
                if (last == Last::Char) {
                    wchar_t hi;
                    if (u == BTok::Char)
                        hi = value;
                    else if (u == BTok::Dash)
                        hi = L'-';
                    else {
                        failed = true;
                        break;
                    }
                    if (lastChar > hi) {
                        failed = true;
                        break;
                    }
                    set.ranges.emplace_back(lastChar, hi);
                    last = Last::None;
                } else {
                    // A dash after a range: a literal dash, and what follows is read anew.
                    pushChar(L'-');
                    t = u;
                    continue;
                }
            } else {
                failed = true;
                break;
            }
            t = bracketToken();
        }
        if (failed) return Frag{};
        if (last == Last::Char) set.chars.push_back(translate(lastChar));
        std::sort(set.chars.begin(), set.chars.end());
        set.chars.erase(std::unique(set.chars.begin(), set.chars.end()), set.chars.end());
        re.sets_.push_back(std::move(set));
        return single(Op::Set, uint32_t(re.sets_.size() - 1));
    }

    // ---- quantifiers ----

    bool lazyMark() {
        if (!atEnd() && pat[i] == L'?') {
            ++i;
            return true;
        }
        return false;
    }

    bool readCount(uint32_t& v) {
        if (atEnd() || !isDigit(pat[i])) return false;
        v = 0;
        while (!atEnd() && isDigit(pat[i])) {
            v = std::min<uint32_t>(v * 10 + uint32_t(pat[i] - L'0'), kMaxRepeatCount);
            ++i;
        }
        return true;
    }

    // Applies every quantifier that follows an atom.
    Frag quantify(Frag e) {
        while (!failed && !atEnd()) {
            wchar_t c = pat[i];
            if (c == L'*' || c == L'+' || c == L'?') {
                ++i;
                bool lazy = lazyMark();
                int32_t r = add(Op::Repeat, -1, e.start);
                if (failed) break;
                states()[size_t(r)].lazy = lazy;
                if (c == L'*') {
                    link(e.end, r);
                    e.start = e.end = r;
                } else if (c == L'+') {
                    link(e.end, r);
                    e.end = r;
                } else {
                    int32_t end = add(Op::Jump);
                    link(e.end, end);
                    link(r, end);
                    e.start = r;
                    e.end = end;
                }
            } else if (c == L'{') {
                ++i;
                uint32_t lo = 0, hi = 0;
                bool unbounded = false;
                if (!readCount(lo)) {
                    failed = true;
                    break;
                }
                hi = lo;
                if (!atEnd() && pat[i] == L',') {
                    ++i;
                    if (!readCount(hi)) unbounded = true;
                }
                if (atEnd() || pat[i] != L'}' || (!unbounded && hi < lo)) {
                    failed = true;
                    break;
                }
                ++i;
                e = counted(e, lo, hi, unbounded, lazyMark());
            } else {
                break;
            }
        }
        return e;
    }

    // e{lo,hi}: lo copies, then either one starred copy or hi-lo nested optional copies.
    Frag counted(const Frag& e, uint32_t lo, uint32_t hi, bool unbounded, bool lazy) {
        uint64_t copies = uint64_t(lo) + (unbounded ? 1 : hi - lo);
        size_t size = states().size() - e.lo;
        if (copies * (size + 1) + 2 + states().size() > kMaxRegexStates) {
            failed = true;
            return e;
        }
        std::vector<Frag> parts;
        parts.reserve(size_t(copies));
        if (copies > 0) parts.push_back(e);
        size_t eEnd = states().size();
        for (uint64_t k = 1; k < copies && !failed; ++k) parts.push_back(clone(e, eEnd));
        if (failed) return e;
        Frag out;
        out.lo = e.lo;
        out.start = out.end = add(Op::Jump);
        for (uint32_t k = 0; k < lo; ++k) append(out, parts[k]);
        if (unbounded) {
            const Frag& body = parts[lo];
            int32_t r = add(Op::Repeat, -1, body.start);
            states()[size_t(r)].lazy = lazy;
            link(body.end, r);
            append(out, Frag{r, r, 0});
        } else if (hi > lo) {
            int32_t end = add(Op::Jump);
            for (uint32_t k = lo; k < hi; ++k) {
                const Frag& body = parts[k];
                int32_t r = add(Op::Repeat, end, body.start);
                if (failed) return out;
                states()[size_t(r)].lazy = lazy;
                link(out.end, r);
                out.end = body.end;
            }
            link(out.end, end);
            out.end = end;
        }
        return out;
    }

    // ---- alternatives and groups ----

    Frag finishGroup(Group& g) {
        Frag alt = g.hasSequence ? g.sequence : single(Op::Jump);
        if (!g.hasAlternatives) return alt;
        Frag left = g.alternatives;
        int32_t end = add(Op::Jump);
        link(left.end, end);
        link(alt.end, end);
        int32_t a = add(Op::Alternative, alt.start, left.start);
        return Frag{a, end, left.lo};
    }
    void addAlternative(Group& g) {
        Frag f = finishGroup(g);
        g.alternatives = f;
        g.hasAlternatives = true;
        g.hasSequence = false;
    }
    void addToSequence(Group& g, const Frag& f) {
        if (g.hasSequence) {
            append(g.sequence, f);
        } else {
            g.sequence = f;
            g.hasSequence = true;
        }
    }

    bool run() {
        std::vector<Group> groups(1);
        while (!failed) {
            size_t before = states().size();
            Tok t = next();
            if (failed) break;
            Group& g = groups.back();
            switch (t) {
                case Tok::Eof: {
                    if (groups.size() != 1) return false;
                    Frag all = finishGroup(g);
                    int32_t accept = add(Op::Accept);
                    if (failed) return false;
                    link(all.end, accept);
                    re.start_ = all.start;
                    return true;
                }
                case Tok::Char:
                    addToSequence(g, quantify(single(Op::Char, uint32_t(translate(value)))));
                    break;
                case Tok::Any:
                    addToSequence(g, quantify(single(Op::Any)));
                    break;
                case Tok::Class: {
                    Regex::CharSet set;
                    bool upper = value >= L'A' && value <= L'Z';
                    set.negated = upper;
                    set.classes = classBit(value);
                    re.sets_.push_back(set);
                    addToSequence(g, quantify(single(Op::Set, uint32_t(re.sets_.size() - 1))));
                    break;
                }
                case Tok::BracketOpen:
                case Tok::NegBracketOpen: {
                    Frag f = bracket(t == Tok::NegBracketOpen);
                    if (failed) return false;
                    f.lo = before;
                    addToSequence(g, quantify(f));
                    break;
                }
                case Tok::LineBegin: addToSequence(g, single(Op::LineBegin)); break;
                case Tok::LineEnd: addToSequence(g, single(Op::LineEnd)); break;
                case Tok::WordBound: addToSequence(g, single(Op::WordBoundary)); break;
                case Tok::NotWordBound: addToSequence(g, single(Op::NotWordBoundary)); break;
                case Tok::GroupOpen: {
                    Group inner;
                    inner.lo = states().size();
                    groups.push_back(inner);
                    break;
                }
                case Tok::Close: {
                    if (groups.size() == 1) return false;
                    Frag f = finishGroup(g);
                    f.lo = g.lo;
                    groups.pop_back();
                    if (failed) return false;
                    addToSequence(groups.back(), quantify(f));
                    break;
                }
                case Tok::Or: addAlternative(g); break;
                default:
                    // A quantifier with nothing to repeat, a brace out of place, a back-reference
                    // or a look-ahead.
                    return false;
            }
        }
        return false;
    }

    // Routes every edge past the Jump states, which only join pieces.
    void skipJumps() {
        auto& s = states();
        auto resolve = [&](int32_t t) {
            size_t guard = 0;
            while (t >= 0 && s[size_t(t)].op == Op::Jump && guard++ <= s.size()) t = s[size_t(t)].next;
            return t;
        };
        for (State& st : s) {
            st.next = resolve(st.next);
            st.alt = resolve(st.alt);
        }
        re.start_ = resolve(re.start_);
    }

    // Repeats whose body can match the empty string: only their entry counts can change what
    // a state leads to, so only they are part of the memory key.
    void findCountedRepeats() {
        auto& s = states();
        std::vector<uint32_t> stamp(s.size(), 0);
        std::vector<int32_t> work;
        uint32_t round = 0;
        for (size_t r = 0; r < s.size(); ++r) {
            if (s[r].op != Op::Repeat) continue;
            ++round;
            bool nullable = false;
            work.assign(1, s[r].alt);
            while (!work.empty() && !nullable) {
                int32_t t = work.back();
                work.pop_back();
                if (t < 0) continue;
                if (t == int32_t(r) || t == s[r].next) {
                    nullable = true;
                    break;
                }
                if (stamp[size_t(t)] == round) continue;
                stamp[size_t(t)] = round;
                const State& st = s[size_t(t)];
                switch (st.op) {
                    case Op::Char: case Op::Any: case Op::Set: case Op::Accept: break;
                    case Op::Alternative: case Op::Repeat:
                        work.push_back(st.alt);
                        work.push_back(st.next);
                        break;
                    default: work.push_back(st.next); break;
                }
            }
            if (nullable) re.countedRepeats_.push_back(int32_t(r));
        }
    }
};

bool Regex::compile(const std::wstring& pattern, bool ignoreCase) {
    states_.clear();
    sets_.clear();
    countedRepeats_.clear();
    start_ = -1;
    ignoreCase_ = ignoreCase;
    RegexCompiler c(pattern, ignoreCase, *this);
    bool ok = false;
    try {
        ok = c.run() && !c.failed && start_ >= 0;
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        states_.clear();
        sets_.clear();
        start_ = -1;
        return false;
    }
    c.skipJumps();
    c.findCountedRepeats();
    return true;
}

// ---- runner --------------------------------------------------------------------------------

// The runner's frames, counts and explored-state bits, kept by the search's budget from text to
// text. Between texts the counts are all zero and the bits all clear.
struct RegexScratch {
    enum class F : uint8_t { Visit, Leave, EnterBody, Restore };
    struct Frame {
        F type;
        int32_t pc;
        uint32_t pos;
        uint32_t a;  // Leave: key part (counts signature); Restore: saved count
    };
    struct Count {
        uint32_t first = 0;
        uint32_t count = 0;
    };
    std::vector<Frame> stack;
    std::vector<Count> counts;     // per state, for the Repeats
    std::vector<uint64_t> bits;    // explored (position, state) pairs of the window
    std::vector<uint32_t> dirty;   // indexes of the words of `bits` that may not be zero
    // Explored (counts, position, state) keys when counts matter: open addressing, a slot holds
    // 0 (empty), kRemovedKey or the key + 1.
    std::vector<uint64_t> keys;
    std::vector<uint32_t> usedKeys;  // slots written since the keys were last cleared
};

WorkBudget::WorkBudget(uint64_t units) : limit_(units), left_(units) {}
WorkBudget::~WorkBudget() = default;

RegexScratch& WorkBudget::scratch() {
    if (!scratch_) scratch_ = std::make_unique<RegexScratch>();
    return *scratch_;
}

struct RegexRunner {
    using Op = Regex::Op;
    using F = RegexScratch::F;
    using Frame = RegexScratch::Frame;
    using Count = RegexScratch::Count;
    // Budget units of one step, measured against a character compared by the plain search (one
    // unit): a step probes the memory and pushes and pops frames. The weights below make a unit
    // cost about the same (1 to 2.5 ns on the machine they were measured on) whatever the pattern.
    static constexpr uint64_t kStepUnits = 16;
    // One more unit per this many ranges of a bracket expression, which are tested one by one.
    static constexpr size_t kRangesPerUnit = 4;
    // A step with counts also builds their signature (a unit per two repeats) and looks it and
    // the key up in hash tables; a signature not seen before is stored, which costs more again.
    static constexpr uint64_t kCountedStepUnits = 192;
    static constexpr size_t kSignatureRepeatsPerUnit = 2;
    static constexpr uint64_t kNewSignatureUnits = 200;
    // Slots of the key table: it starts small and doubles while at most half full; at its
    // largest the runner forgets all keys when it is half full and goes on.
    static constexpr size_t kFirstKeySlots = size_t(1) << 12;
    static constexpr size_t kMaxKeySlots = size_t(1) << 21;
    static constexpr uint64_t kRemovedKey = ~uint64_t(0);
    // Frames the explicit stack may hold (16 bytes each): a walk that needs more stops as one
    // that ran out of budget.
    static constexpr size_t kMaxFrames = size_t(1) << 21;

    const Regex& re;
    const wchar_t* text;
    size_t n;
    size_t stateCount;
    bool counted;
    WorkBudget& budget;
    RegexScratch& scratch;
    std::vector<Frame>& stack;
    std::vector<Count>& counts;
    uint64_t stepUnits;
    // Positions [windowStart, windowStart + windowRows) are remembered in scratch.bits, one row of
    // stateCount bits each (windowWords words of it are in use); the others in the key table.
    size_t windowRows = 0;
    size_t windowStart = 0;
    size_t windowWords = 0;
    bool clearWindow = false;  // more words were set than the dirty list holds: clear them all
    std::unordered_map<std::string, uint32_t> signatures;
    std::string sigBuf;
    bool tooComplex = false;
    // The current attempt.
    size_t attemptStart = 0;
    bool notNull = false;
    bool startIsBegin = false;

    RegexRunner(const Regex& r, const wchar_t* t, size_t len, WorkBudget& b)
        : re(r), text(t), n(len), stateCount(r.states_.size()), counted(!r.countedRepeats_.empty()), budget(b),
          scratch(b.scratch()), stack(scratch.stack), counts(scratch.counts),
          stepUnits(counted ? kCountedStepUnits + r.countedRepeats_.size() / kSignatureRepeatsPerUnit : kStepUnits) {
        if (counts.size() < stateCount) counts.resize(stateCount);
        stack.clear();
        if (!counted) {
            windowRows = std::min(n + 1, std::max<size_t>(1, budget.memoBits / stateCount));
            windowWords = (windowRows * stateCount + 63) / 64;
            if (scratch.bits.size() < windowWords) {
                const size_t grown = windowWords - scratch.bits.size();
                scratch.bits.resize(windowWords, 0);
                budget.spend(grown / 64);  // zeroing new memory: a unit per 64 words
            }
        }
    }
    // Leaves the scratch as clean as it was found, also when the walk was cut short.
    ~RegexRunner() {
        abandon();
        clearBits();
        clearKeys();
    }

    static uint64_t mix(uint64_t k) {
        k ^= k >> 33;
        k *= 0xff51afd7ed558ccdULL;
        k ^= k >> 33;
        return k;
    }
    // The slot holding `key`, or the empty slot where the probe for it ended.
    size_t probe(uint64_t key, size_t* reusable) const {
        const std::vector<uint64_t>& slots = scratch.keys;
        const size_t mask = slots.size() - 1;
        size_t i = size_t(mix(key)) & mask;
        while (slots[i] != 0 && slots[i] != key + 1) {
            if (reusable && slots[i] == kRemovedKey && *reusable == size_t(-1)) *reusable = i;
            i = (i + 1) & mask;
        }
        return i;
    }
    void clearKeys() {
        for (uint32_t i : scratch.usedKeys) scratch.keys[i] = 0;
        scratch.usedKeys.clear();
    }
    void growKeys() {
        std::vector<uint64_t> old(scratch.keys.size() * 2, 0);
        old.swap(scratch.keys);
        scratch.usedKeys.clear();
        for (uint64_t v : old) {
            if (v == 0 || v == kRemovedKey) continue;
            const size_t i = probe(v - 1, nullptr);
            scratch.keys[i] = v;
            scratch.usedKeys.push_back(uint32_t(i));
        }
    }
    bool insertKey(uint64_t key) {
        if (scratch.keys.empty()) scratch.keys.assign(kFirstKeySlots, 0);
        if (2 * (scratch.usedKeys.size() + 1) > scratch.keys.size()) {
            if (scratch.keys.size() < kMaxKeySlots)
                growKeys();
            else
                clearKeys();
        }
        size_t reusable = size_t(-1);
        const size_t i = probe(key, &reusable);
        if (scratch.keys[i] != 0) return false;
        if (reusable != size_t(-1)) {
            scratch.keys[reusable] = key + 1;  // already among the used slots
        } else {
            scratch.keys[i] = key + 1;
            scratch.usedKeys.push_back(uint32_t(i));
        }
        return true;
    }
    void eraseKey(uint64_t key) {
        if (scratch.keys.empty()) return;
        const size_t i = probe(key, nullptr);
        if (scratch.keys[i] != 0) scratch.keys[i] = kRemovedKey;
    }

    void clearBits() {
        if (clearWindow) {
            std::fill(scratch.bits.begin(), scratch.bits.begin() + ptrdiff_t(windowWords), 0);
        } else {
            for (uint32_t w : scratch.dirty) scratch.bits[w] = 0;
        }
        scratch.dirty.clear();
        clearWindow = false;
    }
    // Drops the frames of a walk that stops, restoring the counts they changed.
    void abandon() {
        while (!stack.empty()) {
            const Frame f = stack.back();
            stack.pop_back();
            if (f.type == F::Restore) counts[size_t(f.pc)] = Count{f.pos, f.a};
        }
    }
    uint64_t stepCost(const Regex::State& st) const {
        return st.op == Op::Set ? stepUnits + re.sets_[st.arg].ranges.size() / kRangesPerUnit : stepUnits;
    }

    uint32_t signature(uint32_t pos) {
        if (!counted) return 0;
        sigBuf.clear();
        for (int32_t r : re.countedRepeats_) {
            const Count& c = counts[size_t(r)];
            sigBuf.push_back(char(c.first == pos ? c.count : 0));
        }
        auto it = signatures.find(sigBuf);
        if (it != signatures.end()) return it->second;
        budget.spend(kNewSignatureUnits + sigBuf.size());
        if (signatures.size() >= kMaxSignatures) forgetAll();  // keys of the old numbering go too
        uint32_t id = uint32_t(signatures.size());
        signatures.emplace(sigBuf, id);
        return id;
    }
    static uint64_t key(int32_t pc, uint32_t pos, uint32_t sig) {
        return (uint64_t(sig) << (kKeyStateBits + kKeyPositionBits)) | (uint64_t(pos) << kKeyStateBits) | uint64_t(pc);
    }
    // Marks a state explored; false when it already was.
    bool remember(int32_t pc, uint32_t pos, uint32_t sig) {
        if (counted) return insertKey(key(pc, pos, sig));
        if (pos < windowStart || pos - windowStart >= windowRows) {
            // Beyond the window the key table remembers, at the price of its cache misses.
            budget.spend(kCountedStepUnits);
            return insertKey(key(pc, pos, 0));
        }
        const size_t bit = (pos - windowStart) * stateCount + size_t(pc);
        uint64_t& w = scratch.bits[bit >> 6];
        const uint64_t mask = uint64_t(1) << (bit & 63);
        if (w & mask) return false;
        if (w == 0 && !clearWindow) {
            if (scratch.dirty.size() < windowWords)
                scratch.dirty.push_back(uint32_t(bit >> 6));
            else
                clearWindow = true;
        }
        w |= mask;
        return true;
    }
    void forget(int32_t pc, uint32_t pos, uint32_t sig) {
        if (counted || pos < windowStart || pos - windowStart >= windowRows) {
            eraseKey(key(pc, pos, sig));
            return;
        }
        const size_t bit = (pos - windowStart) * stateCount + size_t(pc);
        scratch.bits[bit >> 6] &= ~(uint64_t(1) << (bit & 63));
    }
    void forgetAll() {
        clearBits();
        clearKeys();
        signatures.clear();
    }
    // Before an attempt from s: the positions before s are never reached again, so once the
    // attempts have passed half the window it moves to start at s.
    void moveWindow(size_t s) {
        if (counted || windowRows > n || s - windowStart < windowRows / 2) return;
        clearBits();
        windowStart = s;
    }

    bool isWordAt(size_t pos) const { return pos < n && isWordChar(text[pos]); }
    bool atBegin(uint32_t pos) const { return pos == 0 || (startIsBegin && pos == attemptStart); }
    bool wordBoundary(uint32_t pos) const {
        bool left = pos > 0 && !(startIsBegin && pos == attemptStart) && isWordChar(text[pos - 1]);
        return left != isWordAt(pos);
    }
    bool matches(const Regex::State& st, wchar_t c) const {
        switch (st.op) {
            case Op::Char: return (re.ignoreCase_ ? toLower(c) : c) == wchar_t(st.arg);
            case Op::Any: return c != L'\n' && c != L'\r' && c != 0x2028 && c != 0x2029;
            default: break;
        }
        const Regex::CharSet& set = re.sets_[st.arg];
        wchar_t t = re.ignoreCase_ ? toLower(c) : c;
        bool in = std::binary_search(set.chars.begin(), set.chars.end(), t);
        if (!in && !set.ranges.empty()) {
            // Without case a range holds the character when it holds its lower or upper case.
            const wchar_t lo = t, up = re.ignoreCase_ ? toUpper(c) : c;
            for (const auto& r : set.ranges) {
                if ((r.first <= lo && lo <= r.second) || (r.first <= up && up <= r.second)) {
                    in = true;
                    break;
                }
            }
        }
        if (!in && set.classes) in = inClasses(c, set.classes);
        if (!in && set.negClasses) {
            for (uint8_t bit : {kDigitClass, kSpaceClass, kWordClass})
                if ((set.negClasses & bit) && !inClasses(c, bit)) in = true;
        }
        return in != set.negated;
    }

    void enterBody(int32_t r, uint32_t pos) {
        Count& c = counts[size_t(r)];
        if (c.count == 0 || c.first != pos) {
            stack.push_back({F::Restore, r, c.first, c.count});
            c.first = pos;
            c.count = 1;
        } else if (c.count < 2) {
            stack.push_back({F::Restore, r, c.first, c.count});
            ++c.count;
        } else {
            return;
        }
        stack.push_back({F::Visit, re.states_[size_t(r)].alt, pos, 0});
    }

    // Leaves the stack as a finished search would: counts restored, and the states still being
    // explored forgotten (they led to the match, so they did not fail).
    void unwind() {
        while (!stack.empty()) {
            Frame f = stack.back();
            stack.pop_back();
            if (f.type == F::Restore)
                counts[size_t(f.pc)] = Count{f.pos, f.a};
            else if (f.type == F::Leave)
                forget(f.pc, f.pos, f.a);
        }
    }

    // One attempt from position s; the end of the match, or -1.
    long attempt(size_t s) {
        attemptStart = s;
        moveWindow(s);
        stack.clear();
        stack.push_back({F::Visit, re.start_, uint32_t(s), 0});
        while (!stack.empty()) {
            Frame f = stack.back();
            stack.pop_back();
            switch (f.type) {
                case F::Leave: continue;
                case F::Restore: counts[size_t(f.pc)] = Count{f.pos, f.a}; continue;
                case F::EnterBody: enterBody(f.pc, f.pos); continue;
                case F::Visit: break;
            }
            if (f.pc < 0) continue;
            const Regex::State& st = re.states_[size_t(f.pc)];
            if (!budget.spend(stepCost(st))) {
                tooComplex = true;
                abandon();
                return -1;
            }
            const uint32_t sig = signature(f.pos);
            const bool fresh = remember(f.pc, f.pos, sig);
            if (budget.exhausted() || stack.size() >= kMaxFrames) {
                tooComplex = true;
                abandon();
                return -1;
            }
            if (!fresh) continue;
            stack.push_back({F::Leave, f.pc, f.pos, sig});
            switch (st.op) {
                case Op::Char:
                case Op::Any:
                case Op::Set:
                    if (f.pos < n && matches(st, text[f.pos])) stack.push_back({F::Visit, st.next, f.pos + 1, 0});
                    break;
                case Op::Alternative:
                    stack.push_back({F::Visit, st.next, f.pos, 0});
                    stack.push_back({F::Visit, st.alt, f.pos, 0});
                    break;
                case Op::Repeat:
                    if (st.lazy) {
                        stack.push_back({F::EnterBody, f.pc, f.pos, 0});
                        stack.push_back({F::Visit, st.next, f.pos, 0});
                    } else {
                        stack.push_back({F::Visit, st.next, f.pos, 0});
                        enterBody(f.pc, f.pos);
                    }
                    break;
                case Op::LineBegin:
                    if (atBegin(f.pos)) stack.push_back({F::Visit, st.next, f.pos, 0});
                    break;
                case Op::LineEnd:
                    if (f.pos == n) stack.push_back({F::Visit, st.next, f.pos, 0});
                    break;
                case Op::WordBoundary:
                case Op::NotWordBoundary:
                    if (wordBoundary(f.pos) == (st.op == Op::WordBoundary)) stack.push_back({F::Visit, st.next, f.pos, 0});
                    break;
                case Op::Accept:
                    if (notNull && f.pos == s) break;  // an empty match is not wanted here
                    unwind();
                    return long(f.pos);
                case Op::Jump:
                    stack.push_back({F::Visit, st.next, f.pos, 0});
                    break;
            }
        }
        return -1;
    }

    // A search from `from`: the first start position with a match, as regex_search does.
    bool search(size_t from, bool continuous, TextRange& m) {
        for (size_t s = from; s <= n; ++s) {
            long end = attempt(s);
            if (tooComplex) return false;
            if (end >= 0) {
                m.start = s;
                m.length = size_t(end) - s;
                return true;
            }
            if (continuous) break;
        }
        return false;
    }
};

RegexRun Regex::findMatches(const wchar_t* text, size_t length, size_t maxMatches, bool nonEmptyOnly,
                            std::vector<TextRange>& out, WorkBudget& budget) const {
    if (!valid() || maxMatches == 0) return RegexRun::Complete;
    if (length > kMaxRegexRunText || budget.exhausted()) return RegexRun::TooComplex;
    size_t appended = 0;
    try {
        RegexRunner run(*this, text, length, budget);
        TextRange m;
        bool found = run.search(0, false, m);
        // libstdc++'s iterator sets "previous character available" only from its second step on,
        // so the non-empty retry right after a first empty match sees its start as the beginning.
        bool firstStep = true;
        while (found) {
            if (!nonEmptyOnly || m.length > 0) {
                out.push_back(m);
                if (++appended >= maxMatches) return RegexRun::Complete;
            }
            if (m.length == 0) {
                if (m.start >= length) break;
                bool quirk = firstStep && m.start > 0;
                if (quirk) run.forgetAll();
                run.notNull = true;
                run.startIsBegin = quirk;
                TextRange again;
                bool more = run.search(m.start, true, again);
                run.notNull = false;
                run.startIsBegin = false;
                if (run.tooComplex) break;
                if (more) {
                    m = again;
                    firstStep = false;
                    continue;
                }
                found = run.search(m.start + 1, false, m);
            } else {
                found = run.search(m.start + m.length, false, m);
            }
            firstStep = false;
        }
        return run.tooComplex ? RegexRun::TooComplex : RegexRun::Complete;
    } catch (const std::bad_alloc&) {
        return RegexRun::TooComplex;
    }
}

RegexRun Regex::findMatches(const wchar_t* text, size_t length, size_t maxMatches, bool nonEmptyOnly,
                            std::vector<TextRange>& out) const {
    WorkBudget budget(kRegexWorkPerText);
    return findMatches(text, length, maxMatches, nonEmptyOnly, out, budget);
}

bool Regex::hasNonEmptyMatch(const wchar_t* text, size_t length, WorkBudget& budget, RegexRun* run) const {
    std::vector<TextRange> one;
    RegexRun r = findMatches(text, length, 1, true, one, budget);
    if (run) *run = r;
    return !one.empty();
}

bool Regex::hasNonEmptyMatch(const wchar_t* text, size_t length, RegexRun* run) const {
    WorkBudget budget(kRegexWorkPerText);
    return hasNonEmptyMatch(text, length, budget, run);
}

}  // namespace qm
