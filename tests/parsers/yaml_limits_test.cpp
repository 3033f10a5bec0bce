// The YAML parser's limits: block and flow nesting at and past their bounds on a thread with a
// small stack, alias copies of deep nodes, and alias expansion that stops a "billion laughs" file.
#include <gtest/gtest.h>

#include <string>

#include "parsers/yaml.h"
#include "tests/support/testing.h"

using namespace qm;

namespace {

constexpr size_t kSmallStack = 256 * 1024;

// `levels` nested block nodes: prefix(i) opens level i, the last line holds the scalar v.
std::wstring nestedBlocks(int levels, const wchar_t* opener, bool indented) {
    std::wstring s;
    for (int i = 0; i < levels; ++i) s += (indented ? std::wstring(size_t(i), L' ') : L"") + opener;
    return s + (indented ? std::wstring(size_t(levels), L' ') : L"") + L"v\n";
}

std::wstring repeat(int n, const wchar_t* piece) {
    std::wstring s;
    for (int i = 0; i < n; ++i) s += piece;
    return s;
}

int depthOf(const Node* n) {
    int depth = 0;
    for (; !n->children.empty(); ++depth) n = n->children.back();
    return depth;
}

}  // namespace

TEST(YamlLimits, NestingAtTheLimitParsesOnASmallStack) {
    const int block = kMaxYamlBlockDepth, flow = kMaxYamlFlowDepth + 1;  // flow depths 0 to 500
    struct Case {
        std::wstring text;
        const wchar_t* error;
        int depth;  // of the tree built, also when the limit stopped it
        size_t stack;
    };
    const Case cases[] = {
        // The top node, each dash and the scalar enter a block node: 501 entries are allowed.
        {nestedBlocks(block, L"- ", false), L"", block + 1, kSmallStack},
        {nestedBlocks(block + 1, L"- ", false), L"Nesting too deep", block + 1, kSmallStack},
        {nestedBlocks(block, L"-\n", true), L"", block + 1, kSmallStack},
        {nestedBlocks(block + 1, L"-\n", true), L"Nesting too deep", block + 1, kSmallStack},
        // A mapping value on the line below its key passes through two block nodes.
        {nestedBlocks(block / 2, L"k:\n", true), L"", block / 2 + 1, kSmallStack},
        {nestedBlocks(block / 2 + 1, L"k:\n", true), L"Nesting too deep", block / 2 + 1, kSmallStack},
        {repeat(flow, L"[") + repeat(flow, L"]"), L"", flow, kSmallStack},
        {repeat(flow, L"[") + L"x" + repeat(flow, L"]"), L"Nesting too deep", flow, kSmallStack},
        {repeat(flow, L"{a: ") + L"{}" + repeat(flow, L"}"), L"Nesting too deep", flow, kSmallStack},
        // Both limits at once: each alone fits the small stack, together they fit twice that.
        {repeat(block - 1, L"- ") + repeat(flow, L"[") + repeat(flow, L"]"), L"", block - 1 + flow, 2 * kSmallStack},
    };
    for (const Case& c : cases) {
        std::wstring error = L"(declined)";
        int depth = -1;
        qmtest::runWithStack(c.stack, [&] {
            if (auto d = qmtest::parse(L"deep.yaml", c.text)) {
                error = d->errorMessage;
                depth = depthOf(d->root);
            }
        });
        EXPECT_EQ(error, c.error) << qmtest::u8(c.text.substr(0, 40));
        EXPECT_EQ(depth, c.depth) << qmtest::u8(c.text.substr(0, 40));
    }
}

TEST(YamlLimits, DeepAliasCopiesUseNoRecursion) {
    const int n = kMaxYamlFlowDepth;
    const std::wstring text = L"a: &deep " + repeat(n, L"[") + repeat(n, L"]") + L"\nb: *deep\nc: *deep\n";
    std::unique_ptr<Document> d;
    qmtest::runWithStack(kSmallStack, [&] { d = qmtest::parse(L"deep.yaml", text); });
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"");
    const Node* top = d->root->children[0];
    ASSERT_EQ(top->children.size(), 3u);
    EXPECT_EQ(depthOf(top->children[2]), n - 1);
    EXPECT_STREQ(nodeTag(*d, top->children[2]), L"*deep");
}

TEST(YamlLimits, NestedAliasesStopAtTheExpansionLimit) {
    // Each level holds ten aliases of the level before: 10^10 nodes if expanded in full.
    std::wstring text = L"a0: &a0 [lol, lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
    for (int i = 1; i <= 9; ++i) {
        const std::wstring prev = L"*a" + std::to_wstring(i - 1);
        text += L"a" + std::to_wstring(i) + L": &a" + std::to_wstring(i) + L" [";
        for (int k = 0; k < 10; ++k) text += (k ? L", " : L"") + prev;
        text += L"]\n";
    }
    std::unique_ptr<Document> d;
    qmtest::runWithStack(kSmallStack, [&] { d = qmtest::parse(L"lol.yaml", text + L"after: 1\n"); });
    ASSERT_TRUE(d);
    EXPECT_EQ(d->errorMessage, L"Too many alias expansions");
    EXPECT_EQ(d->errorLine, 7u);  // a6 would need 11,111,111 nodes
    EXPECT_GT(nodeCount(*d), kMaxYamlNodes);
    EXPECT_LE(nodeCount(*d), kMaxYamlNodes + 1);
    // The stopping error leaves the tree built so far: a0 to a5 complete, a6 partly copied.
    const Node* top = d->root->children[0];
    ASSERT_EQ(top->children.size(), 7u);
    EXPECT_EQ(top->children[5]->children.size(), 10u);
}
