// The YAML parser's limits: block and flow nesting at and past their bounds on a thread with a
// small stack, and alias expansion that stops a "billion laughs" file.
#include <gtest/gtest.h>

#include <string>

#include "document/language.h"
#include "parsers/yaml.h"
#include "tests/support/testing.h"

using namespace qm;
using qmtest::parse;

namespace {

constexpr size_t kSmallStack = 256 * 1024;

// Block sequences nested `levels` deep, written as "- - - x" on one line.
std::wstring inlineSequences(int levels) {
    std::wstring s;
    for (int i = 0; i < levels; ++i) s += L"- ";
    return s + L"x\n";
}

// Mappings nested by indentation, each value starting on the line below its key: such a value
// passes through two block nodes, so each level costs two units of depth.
std::wstring indentedMappings(int levels) {
    std::wstring s;
    for (int i = 0; i < levels; ++i) s += std::wstring(size_t(i), L' ') + L"k:\n";
    return s + std::wstring(size_t(levels), L' ') + L"v\n";
}

// Sequences nested by indentation, each item starting on the line below its dash (one unit).
std::wstring indentedSequences(int levels) {
    std::wstring s;
    for (int i = 0; i < levels; ++i) s += std::wstring(size_t(i), L' ') + L"-\n";
    return s + std::wstring(size_t(levels), L' ') + L"v\n";
}

int depthOf(const Node* n) {
    int depth = 0;
    while (!n->children.empty()) {
        n = n->children.back();
        ++depth;
    }
    return depth;
}

struct DepthResult {
    std::wstring error;
    int depth = 0;
};

DepthResult parseOnSmallStack(const std::wstring& text, size_t stackBytes = kSmallStack) {
    DepthResult r;
    qmtest::runWithStack(stackBytes, [&] {
        auto d = parse(L"deep.yaml", text);
        if (!d) return;
        r.error = d->errorMessage;
        r.depth = depthOf(d->root);
    });
    return r;
}

}  // namespace

TEST(YamlLimits, BlockNestingAtTheLimitParsesOnASmallStack) {
    // The document's top node and each dash enter a block node: 500 dashes and the scalar make
    // 501 entries, the most the counter allows.
    DepthResult ok = parseOnSmallStack(inlineSequences(kMaxYamlBlockDepth));
    EXPECT_EQ(ok.error, L"");
    EXPECT_EQ(ok.depth, kMaxYamlBlockDepth + 1);

    DepthResult deep = parseOnSmallStack(inlineSequences(kMaxYamlBlockDepth + 1));
    EXPECT_EQ(deep.error, L"Nesting too deep");
    EXPECT_EQ(deep.depth, kMaxYamlBlockDepth + 1);  // the sequences built so far stay

    DepthResult mappings = parseOnSmallStack(indentedMappings(kMaxYamlBlockDepth / 2));
    EXPECT_EQ(mappings.error, L"");
    EXPECT_EQ(mappings.depth, kMaxYamlBlockDepth / 2 + 1);
    EXPECT_EQ(parseOnSmallStack(indentedMappings(kMaxYamlBlockDepth / 2 + 1)).error, L"Nesting too deep");

    DepthResult items = parseOnSmallStack(indentedSequences(kMaxYamlBlockDepth));
    EXPECT_EQ(items.error, L"");
    EXPECT_EQ(items.depth, kMaxYamlBlockDepth + 1);
    EXPECT_EQ(parseOnSmallStack(indentedSequences(kMaxYamlBlockDepth + 1)).error, L"Nesting too deep");
}

TEST(YamlLimits, FlowNestingAtTheLimitParsesOnASmallStack) {
    const int n = kMaxYamlFlowDepth + 1;  // depths 0 to 500
    DepthResult empty = parseOnSmallStack(std::wstring(size_t(n), L'[') + std::wstring(size_t(n), L']'));
    EXPECT_EQ(empty.error, L"");
    EXPECT_EQ(empty.depth, n);

    DepthResult scalar = parseOnSmallStack(std::wstring(size_t(n), L'[') + L"x" + std::wstring(size_t(n), L']'));
    EXPECT_EQ(scalar.error, L"Nesting too deep");

    std::wstring mappings;
    for (int i = 0; i < n; ++i) mappings += L"{a: ";
    mappings += L"{}" + std::wstring(size_t(n), L'}');
    EXPECT_EQ(parseOnSmallStack(mappings).error, L"Nesting too deep");

    // Flow at its limit inside block nesting at its own: each limit alone fits the small stack,
    // both together fit twice that.
    std::wstring both = inlineSequences(kMaxYamlBlockDepth - 1);
    both.resize(both.size() - 2);  // drop "x\n"
    both += std::wstring(size_t(n), L'[') + std::wstring(size_t(n), L']') + L"\n";
    DepthResult combined = parseOnSmallStack(both, 2 * kSmallStack);
    EXPECT_EQ(combined.error, L"");
    EXPECT_EQ(combined.depth, kMaxYamlBlockDepth - 1 + n);
}

TEST(YamlLimits, NestedAliasesStopAtTheExpansionLimit) {
    // Each level holds ten aliases of the level before: 10^9 nodes if expanded in full.
    std::wstring text = L"a0: &a0 [lol, lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
    for (int i = 1; i <= 9; ++i) {
        const std::wstring prev = L"*a" + std::to_wstring(i - 1);
        text += L"a" + std::to_wstring(i) + L": &a" + std::to_wstring(i) + L" [";
        for (int k = 0; k < 10; ++k) text += (k ? L", " : L"") + prev;
        text += L"]\n";
    }
    text += L"after: 1\n";
    std::unique_ptr<Document> d;
    qmtest::runWithStack(kSmallStack, [&] { d = parse(L"lol.yaml", text); });
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"Too many alias expansions");
    EXPECT_EQ(d->errorLine, 7u);  // a6 would need 11,111,111 nodes
    EXPECT_LE(nodeCount(*d), kMaxYamlNodes + 2);
    EXPECT_GT(nodeCount(*d), kMaxYamlNodes);
    // The stopping error leaves the tree built so far: a0 to a5 complete, a6 partly copied.
    const Node* top = d->root->children[0];
    ASSERT_EQ(top->children.size(), 7u);
    EXPECT_EQ(top->children[5]->children.size(), 10u);
}

TEST(YamlLimits, DeepAliasCopyUsesNoRecursion) {
    // A 500-level anchored sequence copied by an alias and then by merge-free re-aliasing.
    std::wstring text = L"a: &deep " + std::wstring(size_t(kMaxYamlFlowDepth), L'[') +
                        std::wstring(size_t(kMaxYamlFlowDepth), L']') + L"\nb: *deep\nc: *deep\n";
    std::unique_ptr<Document> d;
    qmtest::runWithStack(kSmallStack, [&] { d = parse(L"deep.yaml", text); });
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"");
    const Node* top = d->root->children[0];
    ASSERT_EQ(top->children.size(), 3u);
    EXPECT_EQ(depthOf(top->children[2]), kMaxYamlFlowDepth - 1);
    EXPECT_STREQ(top->children[2]->tag, L"*deep");
}
