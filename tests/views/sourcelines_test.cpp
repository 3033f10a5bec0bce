// The source view's lines produced on demand against the text built whole: every corpus file in
// both layouts, fetched in the orders the view asks for them (a backward search, jumps, a pass
// from the top), and the work of producing them on deep and long documents.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/source_reference.h"
#include "tests/support/testing.h"
#include "views/source.h"

using namespace qm;
using qmtest::joined;
using qmtest::u8;

namespace {

// The first line in `order` whose lazy text differs from the whole text (-1: none).
int64_t firstDifferentLine(const SourceText& lazy, const qmtest::ReferenceSource& whole, const std::vector<size_t>& order) {
    for (size_t i : order)
        if (lazy.line(i) != whole.line(i)) return int64_t(i);
    return -1;
}

std::vector<size_t> fetchOrders(size_t lines) {
    std::vector<size_t> order;
    for (size_t i = lines; i-- > 0;) order.push_back(i);  // a backward search
    constexpr size_t kJump = 7919;                          // scroll-bar jumps, each to a new place
    for (size_t k = 0, i = lines / 3; k < lines; ++k, i = (i + kJump) % lines) order.push_back(i);
    for (size_t i = 0; i < lines; ++i) order.push_back(i);  // a pass from the top
    return order;
}

std::wstring withCrLf(std::wstring_view text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\n') out += L'\r';
        out += c;
    }
    return out;
}

// Builds the index of a formatted text a few steps at a time, as the view builds a big one, and
// at every pause reads its last indexed line and that line's state, as the view paints them.
// Calls `paused` with the lines indexed at each pause.
template <typename Paused>
void indexInSlices(Document& doc, SourceText& sliced, size_t steps, const Paused& paused) {
    buildSourceText(&doc, sliced, false, SourceLayout::Formatted, 1, 1);
    do {
        const size_t lines = sliced.lineCount();
        if (lines == 0) continue;
        sliced.line(lines - 1);
        ensureLineStates(sliced, lines - 1, lines - 1);
        paused(lines);
    } while (!continueSourceIndex(sliced, steps));
}

// The index built in slices: what each pause shows equals the whole text, a node the pass has
// come to has the line it will have (a container still open holds its lines to the end), and the
// complete index equals the one built in one go.
void expectSlicedIndexEqualsWhole(Document& doc, const qmtest::ReferenceSource& whole, const SourceText& lazy) {
    SourceText sliced;
    size_t differ = 0;
    indexInSlices(doc, sliced, 3, [&](size_t lines) {
        const size_t last = lines - 1;
        differ += sliced.line(last) != whole.line(last) || sliced.lineStates[last] != whole.lineStates[last];
        const Node* node = whole.lineNodes[last];
        if (!node || !sourceLineRangeKnown(sliced, node)) return;
        const LineRange now = sourceLineRange(sliced, doc, node), complete = sourceLineRange(lazy, doc, node);
        differ += now.first != complete.first || (now.last != complete.last && (now.last != INT32_MAX || complete.last < int32_t(last)));
    });
    EXPECT_EQ(differ, 0u);
    EXPECT_FALSE(sliced.indexing());
    EXPECT_EQ(sliced.lineCount(), lazy.lineCount());
    EXPECT_EQ(sliced.maxLineLength, lazy.maxLineLength);
    EXPECT_EQ(sliced.textLength, lazy.textLength);
    EXPECT_EQ(sliced.nodeLines, lazy.nodeLines);
    EXPECT_EQ(sliced.statesFollowNodes, lazy.statesFollowNodes);
    size_t rangesDiffer = 0;
    for (size_t i = 0; i < lazy.ranges.size(); ++i)
        rangesDiffer += sliced.ranges[i].first != lazy.ranges[i].first || sliced.ranges[i].last != lazy.ranges[i].last;
    EXPECT_EQ(rangesDiffer, 0u);
}

TEST(SourceLines, EqualTheWholeTextForEveryCorpusFile) {
    const std::string dir = qmtest::corpusDir();
    if (dir.empty()) GTEST_SKIP() << "no corpus";
    size_t files = 0, formattedFiles = 0, nesting[2] = {};
    for (const std::string& path : qmtest::listFiles(dir)) {
        std::unique_ptr<Document> doc = qmtest::loadFile(path);
        if (!doc || !doc->root) continue;
        ++files;
        for (const SourceLayout layout : {SourceLayout::Formatted, SourceLayout::AsWritten}) {
            SCOPED_TRACE(path + (layout == SourceLayout::Formatted ? " formatted" : " as written"));
            const qmtest::ReferenceSource whole = qmtest::buildReferenceSource(*doc, layout);
            SourceText lazy;
            buildSourceText(doc.get(), lazy, false, layout);
            formattedFiles += !lazy.showsSourceText;
            ASSERT_EQ(lazy.showsSourceText, whole.showsSourceText);
            ASSERT_EQ(lazy.lineCount(), whole.lineCount());
            EXPECT_EQ(lazy.maxLineLength, whole.maxLineLength);
            EXPECT_EQ(lazy.errorLine, whole.errorLine);
            EXPECT_EQ(lazy.textLength, whole.text.size());
            size_t rangesDiffer = 0;
            for (size_t i = 0; i < whole.ranges.size(); ++i)
                rangesDiffer += lazy.ranges[i].first != whole.ranges[i].first || lazy.ranges[i].last != whole.ranges[i].last;
            EXPECT_EQ(rangesDiffer, 0u);
            EXPECT_EQ(firstDifferentLine(lazy, whole, fetchOrders(whole.lineCount())), -1);

            // One line's node, by a descent where the ranges nest, then every line's from the table.
            size_t nodesDiffer = 0;
            for (size_t i = 0; i < whole.lineCount(); ++i) nodesDiffer += sourceLineNode(*doc, lazy, i) != whole.lineNodes[i];
            EXPECT_EQ(nodesDiffer, 0u);
            EXPECT_EQ(lazy.lineNodes.empty(), lazy.nesting == kRangesNest);
            ++nesting[lazy.nesting == kRangesNest];
            ensureLineNodes(*doc, lazy);
            nodesDiffer = 0;
            for (size_t i = 0; i < whole.lineCount(); ++i) nodesDiffer += lazy.lineNode(i) != whole.lineNodes[i];
            EXPECT_EQ(nodesDiffer, 0u);
            ensureLineStates(lazy, lazy.lineCount());
            EXPECT_EQ(lazy.lineStates, whole.lineStates);
            const std::wstring copy = sourceCopyText(doc.get(), lazy);
            EXPECT_EQ(copy, whole.showsSourceText ? std::wstring(writtenText(*doc)) : withCrLf(whole.text));
            if (!lazy.showsSourceText) expectSlicedIndexEqualsWhole(*doc, whole, lazy);
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(files, 1000u);
    EXPECT_GT(formattedFiles, 500u);
    EXPECT_GT(nesting[0], 10u) << "texts whose ranges overlap, which the table answers";
    EXPECT_GT(nesting[1], 1000u) << "texts whose ranges nest";
}

// ---- work of producing lines ----

std::wstring nestedXml(size_t depth) {
    std::wstring text;
    for (size_t i = 0; i < depth; ++i) text += L"<e a=\"1\">";
    text += L"x";
    for (size_t i = 0; i < depth; ++i) text += L"</e>";
    return text;
}

std::wstring nestedJson(size_t depth) {
    std::wstring text;
    for (size_t i = 0; i < depth; ++i) text += L"{\"k\":[1,";
    for (size_t i = 0; i < depth; ++i) text += L"]}";
    return text;
}

// Many top-level values of a JSON Lines file, each a small record.
std::wstring records(size_t count) {
    return joined(count, [](size_t i) { return L"{\"id\":" + std::to_wstring(i) + L",\"tags\":[\"a\",\"b\"]}\n"; }, L"");
}

// One XML text of many lines between two elements.
std::wstring longText(size_t lines) {
    return L"<r><a/>" + joined(lines, [](size_t) { return std::wstring(L"line\n"); }, L"") + L"<b/></r>";
}

struct Work {
    uint64_t forward = 0;   // every line from the top
    uint64_t backward = 0;  // every line from the bottom, one by one
    uint64_t index = 0;     // bytes of the index
    uint64_t sliced = 0;    // the index pass in slices
};

Work workOf(const wchar_t* name, const std::wstring& text) {
    std::unique_ptr<Document> doc = qmtest::parse(name, text);
    Work work;
    SourceText source;
    buildSourceText(doc.get(), source, false, SourceLayout::Formatted);
    work.index = source.nodeLines.capacity() * sizeof(uint32_t) + source.topValues.capacity() * sizeof(SourceText::TopValue) +
                 source.ranges.capacity() * sizeof(LineRange);
    for (size_t i = 0; i < source.lineCount(); ++i) source.line(i);
    work.forward = source.lineWork;
    SourceText again;
    buildSourceText(doc.get(), again, false, SourceLayout::Formatted);
    for (size_t i = again.lineCount(); i-- > 0;) again.line(i);
    work.backward = again.lineWork;
    SourceText sliced;
    buildSourceText(doc.get(), sliced, false, SourceLayout::Formatted, 1, 1);
    while (!continueSourceIndex(sliced, 16)) {}
    work.sliced = sliced.indexWork;
    return work;
}

TEST(SourceLines, WorkGrowsLinearly) {
    const struct {
        const char* name;
        const wchar_t* file;
        std::wstring (*make)(size_t);
        size_t n;
    } cases[] = {
        {"deep xml", L"a.xml", nestedXml, 1500},
        {"deep json", L"a.json", nestedJson, 200},
        {"json lines records", L"a.jsonl", records, 3000},
        {"a text of many lines", L"a.xml", longText, 3000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Work small = workOf(c.file, c.make(c.n));
        const Work big = workOf(c.file, c.make(4 * c.n));
        ASSERT_GT(small.forward, 0u);
        EXPECT_LT(big.forward, 5 * small.forward);
        EXPECT_LT(big.backward, 5 * small.backward);
        EXPECT_LT(big.index, 5 * small.index);
        EXPECT_LT(big.sliced, 5 * small.sliced);
    }
}

}  // namespace

namespace {

// Figures on a large file, not run by default (QM_SOURCE_FIGURES names the file, e.g. the 100 MB
// JSON of scripts/bench.sh): the time and the bytes from the switch to the first screen, the text
// built whole (as the view did) against the index and a screenful of lines.
TEST(SourceLines, DISABLED_Figures) {
    const char* path = std::getenv("QM_SOURCE_FIGURES");
    if (!path) GTEST_SKIP() << "QM_SOURCE_FIGURES names no file";
    std::unique_ptr<Document> doc = qmtest::loadFile(path);
    ASSERT_TRUE(doc);
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
    constexpr size_t kScreen = 60;
    for (const SourceLayout layout : {SourceLayout::Automatic, SourceLayout::Formatted}) {
        const Clock::time_point t0 = Clock::now();
        double wholeBytes = 0;
        {
            const qmtest::ReferenceSource whole = qmtest::buildReferenceSource(*doc, layout, false);
            wholeBytes = double(whole.text.capacity() * sizeof(wchar_t) + whole.lineStarts.capacity() * sizeof(uint64_t) +
                                whole.ranges.capacity() * sizeof(LineRange));
        }
        const Clock::time_point t1 = Clock::now();
        SourceText lazy;
        // As the view builds it: the first slice of the index pass, on to two screens.
        buildSourceText(doc.get(), lazy, false, layout, 2 * kScreen, kSourceFirstIndexSteps);
        const Clock::time_point t2 = Clock::now();
        ensureLineStates(lazy, kScreen);
        size_t shown = 0;
        for (size_t i = 0; i < kScreen; ++i) shown += lazy.line(i).size();
        const Clock::time_point t3 = Clock::now();
        size_t slices = 0;
        double longestSlice = 0;
        for (bool done = !lazy.indexing(); !done; ++slices) {
            const Clock::time_point s0 = Clock::now();
            done = continueSourceIndex(lazy, kSourceIndexSliceSteps);
            longestSlice = std::max(longestSlice, seconds(s0, Clock::now()));
        }
        const Clock::time_point t3b = Clock::now();
        const double indexBytes = double(lazy.writtenStarts.capacity() * sizeof(uint32_t) + lazy.nodeLines.capacity() * sizeof(uint32_t) +
                                         lazy.topValues.capacity() * sizeof(SourceText::TopValue) +
                                         lazy.ranges.capacity() * sizeof(LineRange) + lazy.lineStates.capacity());
        const double fileBytes = double(std::filesystem::file_size(path));
        std::printf("[ figure ] %s, %zu lines: whole text %.3f s, %.2f bytes per file byte; index (its first slice) %.3f s, "
                    "first screen (%zu characters) %.3f s more, the rest of the index %.3f s in %zu slices of at most "
                    "%.3f s, %.2f bytes per file byte\n",
                    lazy.showsSourceText ? "as written" : "formatted", lazy.lineCount(), seconds(t0, t1),
                    wholeBytes / fileBytes, seconds(t1, t2), shown, seconds(t2, t3), seconds(t3, t3b), slices, longestSlice,
                    indexBytes / fileBytes);
        const Clock::time_point t3c = Clock::now();
        for (size_t i = lazy.lineCount(); i-- > lazy.lineCount() - kScreen;) lazy.line(i);
        ensureLineStates(lazy, lazy.lineCount() - kScreen, lazy.lineCount() - 1);
        const Clock::time_point t4 = Clock::now();
        ensureLineStates(lazy, lazy.lineCount());
        const Clock::time_point t5 = Clock::now();
        const size_t copied = sourceCopyText(doc.get(), lazy).size();
        const Clock::time_point t6 = Clock::now();
        // The copy again in the window's slices: the longest one.
        std::wstring buffer(copied, L'\0');
        SourceCopyCursor at;
        double longest = 0;
        for (bool done = false; !done;) {
            const Clock::time_point s0 = Clock::now();
            done = writeSourceCopyLines(doc.get(), lazy, buffer.data(), buffer.size(), at, kSourceCopySliceLines);
            longest = std::max(longest, seconds(s0, Clock::now()));
        }
        std::printf("[ figure ] the last screen with its states %.3f s, every line's state %.3f s, the copy (%zu characters) "
                    "%.3f s, its longest slice %.3f s\n", seconds(t3c, t4), seconds(t4, t5), copied, seconds(t5, t6), longest);
    }
}

}  // namespace

namespace {

// ---- line states worked out far from the top ----

// States asked for a screen at a time, the last screen first and then upward by screens (End,
// then Page Up), as the view asks when it is shown at the end of a file.
std::vector<uint8_t> statesFromTheEnd(Document& doc, SourceLayout layout, SourceText& lazy) {
    constexpr size_t kScreen = 37;
    buildSourceText(&doc, lazy, false, layout);
    for (size_t top = lazy.lineCount(); top > 0;) {
        top = top > kScreen ? top - kScreen : 0;
        ensureLineStates(lazy, top, top + kScreen - 1);
    }
    return lazy.lineStates;
}

TEST(SourceLines, StatesWorkedOutFromTheEndEqualTheScanFromTheTop) {
    const std::string dir = qmtest::corpusDir();
    if (dir.empty()) GTEST_SKIP() << "no corpus";
    size_t syncedFiles = 0, xmlSyncedFiles = 0;
    for (const std::string& path : qmtest::listFiles(dir)) {
        std::unique_ptr<Document> doc = qmtest::loadFile(path);
        if (!doc || !doc->root) continue;
        for (const SourceLayout layout : {SourceLayout::Formatted, SourceLayout::AsWritten}) {
            SCOPED_TRACE(path + (layout == SourceLayout::Formatted ? " formatted" : " as written"));
            SourceText fromEnd, fromTop;
            const std::vector<uint8_t> states = statesFromTheEnd(*doc, layout, fromEnd);
            buildSourceText(doc.get(), fromTop, false, layout);
            ensureLineStates(fromTop, fromTop.lineCount());
            ASSERT_EQ(states, fromTop.lineStates);
            // Each line is tokenized about once whichever way its state was reached.
            EXPECT_LE(fromEnd.stateWork, fromTop.lineCount() + fromTop.lineCount() / 8 + 2);
            syncedFiles += fromEnd.statesFollowNodes;
            xmlSyncedFiles += fromEnd.statesFollowElements;
        }
    }
    EXPECT_GT(syncedFiles, 300u);
    EXPECT_GT(xmlSyncedFiles, 20u) << "XML files shown as written whose element lines are certain";
}

// XML shown as written starts a line an element's start tag begins in the first state, but only
// where the parser read that tag there, and only while the tokenizer reads the declarations and
// attributes as the parser did: otherwise the states come from the top, and in both cases they
// are those of the scan from the top.
TEST(SourceLines, XmlElementLinesAreCertainOnlyWhereTheParserReadThem) {
    const struct {
        const char* name;
        const wchar_t* text;
        bool follow;  // statesFollowElements
    } cases[] = {
        {"tags in a comment and a CDATA section", L"<r>\n<!--\n<a> --> <b/>\n<![CDATA[\n<b> ]]><d/>\n  <c/>\n</r>\n", true},
        {"a tag inside a value across lines", L"<r>\n<a v=\"x\n<b/>\"/>\n<c/>\n</r>\n", true},
        {"a declaration whose brackets the tokenizer reads otherwise", L"<!DOCTYPE r ] [ >\n<r>\n<a/>\n</r>\n", false},
        {"a declaration with an internal subset", L"<!DOCTYPE r [\n<!ENTITY e \"v\">\n]>\n<r>\n<a/>\n</r>\n", true},
        {"a quote in a value without quotes", L"<r>\n<a b=x\"y/>\n<c/>\n</r>\n", false},
        {"a quote in a value between quotes", L"<r>\n<a b='x\"y'/>\n<c/>\n</r>\n", true},
        {"a parse error", L"<r>\n<a\n<c/>\n</r>\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Document> doc = qmtest::parse(L"a.xml", c.text);
        SourceText fromEnd, fromTop;
        // Each line asked for alone, from the last upward: each is worked out from the nearest
        // line above it whose state is certain.
        buildSourceText(doc.get(), fromEnd, false, SourceLayout::AsWritten);
        for (size_t line = fromEnd.lineCount(); line-- > 0;) ensureLineStates(fromEnd, line, line);
        buildSourceText(doc.get(), fromTop, false, SourceLayout::AsWritten);
        ensureLineStates(fromTop, fromTop.lineCount());
        EXPECT_EQ(fromEnd.statesFollowElements, c.follow);
        EXPECT_EQ(fromEnd.lineStates, fromTop.lineStates);
    }
}

// The work of the last screen's states: what lies between it and the nearest line whose state is
// certain, whatever the length of the file.
uint64_t lastScreenWork(const wchar_t* name, const std::wstring& text, SourceLayout layout) {
    std::unique_ptr<Document> doc = qmtest::parse(name, text);
    SourceText source;
    buildSourceText(doc.get(), source, false, layout);
    const size_t lines = source.lineCount();
    source.lineWork = 0;
    ensureLineStates(source, lines > 40 ? lines - 40 : 0, lines - 1);
    return source.stateWork + source.lineWork;
}

std::wstring yamlRecords(size_t count) {
    return joined(count, [](size_t i) { return L"k" + std::to_wstring(i) + L":\n  text: |\n    a\n    b\n"; }, L"");
}

std::wstring registryValues(size_t count) {
    return L"Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n" +
           joined(count, [](size_t i) { return L"\"v" + std::to_wstring(i) + L"\"=hex:01,02,\\\n  03,04\n"; }, L"");
}

std::wstring xmlItems(size_t count) {
    return L"<r>" +
           joined(count, [](size_t i) { return L"<i n=\"" + std::to_wstring(i) + L"\"><!-- a\n note --><b>x</b></i>"; }, L"") +
           L"</r>";
}

// The same shown as written, an element a line, a comment over two lines now and then.
std::wstring xmlLines(size_t count) {
    return L"<r>\n" +
           joined(count, [](size_t i) {
               return std::wstring(i % 500 == 0 ? L"  <!-- a\n note -->\n" : L"") + L"  <i n=\"" + std::to_wstring(i) +
                      L"\">\n    <b>x</b>\n  </i>\n";
           }, L"") +
           L"</r>\n";
}

// A JSON text with a block comment now and then, and stars in strings.
std::wstring commentedJson(size_t count) {
    return L"[\n" + joined(count, [](size_t i) {
               return i % 500 == 0 ? L"/* a\n comment */ {\"glob\": \"*.txt\"},\n" : L"  {\"id\": " + std::to_wstring(i) + L"},\n";
           }, L"") + L"  0\n]\n";
}

TEST(SourceLines, LastScreenStatesCostWhatLiesNearIt) {
    const struct {
        const char* name;
        const wchar_t* file;
        std::wstring (*make)(size_t);
        SourceLayout layout;
        bool constant;  // else linear in the lines that can change the state
    } cases[] = {
        {"formatted json lines", L"a.jsonl", records, SourceLayout::Formatted, true},
        {"formatted xml items", L"a.xml", xmlItems, SourceLayout::Formatted, true},
        {"yaml block scalars", L"a.yaml", yamlRecords, SourceLayout::AsWritten, true},
        {"registry hex data", L"a.reg", registryValues, SourceLayout::AsWritten, true},
        {"xml as written", L"a.xml", xmlLines, SourceLayout::AsWritten, true},
        {"json with comments", L"a.json", commentedJson, SourceLayout::AsWritten, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t small = lastScreenWork(c.file, c.make(3000), c.layout);
        const uint64_t big = lastScreenWork(c.file, c.make(12000), c.layout);
        ASSERT_GT(small, 0u);
        EXPECT_LT(big, c.constant ? 2 * small : 5 * small);
    }
}

}  // namespace
