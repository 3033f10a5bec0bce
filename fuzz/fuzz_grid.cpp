// Fuzz target for the grid's building, sizing and hit testing: the first byte picks the format,
// the second the DPI (96, 144 or 288), AutoFit, whether everything is expanded and a character
// width of 1 to 64 pixels for the measuring function; the file (UTF-8) follows. Built with every
// row at once and laid out, no size or position may overflow (the sanitizer traps a signed
// overflow), every box lies inside the root, every leaf cell that shows a node (a few
// hundred spread over the grid) has a rectangle, and a click on its centre finds its node. Built
// again with every table's rows left to the sliced pass (a few boxes a slice, the rest of the first
// byte), it is the same grid: every box of the same kind, node, text and rectangle.
#include <climits>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz/fuzz.h"
#include "views/grid.h"

using qmfuzz::check;

namespace {

using BoxShape = std::tuple<int, const qm::Node*, std::wstring_view, int, int, int, int>;

// Every box depth first, children in order.
std::vector<BoxShape> shapes(const qm::GridBox& root) {
    std::vector<BoxShape> out;
    std::vector<const qm::GridBox*> stack{&root};
    while (!stack.empty()) {
        const qm::GridBox* b = stack.back();
        stack.pop_back();
        out.emplace_back(static_cast<int>(b->type), b->node, b->text, b->x, b->y, b->width, b->height);
        if (b->frame)
            for (auto it = b->frame->children.rbegin(); it != b->frame->children.rend(); ++it) stack.push_back(*it);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static const unsigned kDpis[] = {96, 144, 288};
    const wchar_t* name = qmfuzz::formatName(data[0]);
    const unsigned dpi = kDpis[(data[0] / 6) % 3];
    const bool autoFit = data[1] & 1, expandAll = data[1] & 2;
    const int charWidth = 1 + (data[1] >> 2);
    const std::wstring text = qmfuzz::utf8Text(data + 2, size - 2);
    qm::Document doc;
    if (!qm::parseText(name, text, doc)) return 0;

    qm::GridExpansion expansion;
    qm::resetGridExpansion(doc.root, expansion);
    if (expandAll) qm::expandAllGrid(doc, true, expansion);
    qm::GridLayout layout;
    layout.lazyAbove = SIZE_MAX;  // every row built, so that every box can be walked
    qm::buildGrid(doc.root, expansion, layout);
    if (!layout.root) return 0;
    qm::GridMetrics m;
    m.dpi = dpi;
    m.rowHeight = m.px(22);
    m.autoFit = autoFit;
    m.measureText = [charWidth, dpi](std::wstring_view t) {
        return int(std::min<long long>(INT_MAX / 4, (long long)t.size() * charWidth * dpi / 96));
    };
    qm::layOutGrid(layout, m);

    const qm::GridBox& root = *layout.root;
    check(root.width >= 0 && root.height >= 0);
    std::vector<const qm::GridBox*> stack{&root}, leaves;
    while (!stack.empty()) {
        const qm::GridBox* b = stack.back();
        stack.pop_back();
        if (!b) continue;
        check(b->width >= 0 && b->height >= 0);
        check(b->x >= root.x && b->y >= root.y);
        check((long long)b->x + b->width <= (long long)root.x + root.width);
        check((long long)b->y + b->height <= (long long)root.y + root.height);
        if (b->frame)
            for (const qm::GridBox* c : b->frame->children) stack.push_back(c);
        if (b->type == qm::GridBoxType::Leaf && b->node && b->width >= 2 && b->height >= 2) leaves.push_back(b);
    }
    // Finding a node's rectangle walks the boxes, so a few hundred leaves spread over the grid are
    // asked about, to keep a run linear in the file.
    const size_t stride = leaves.size() / 256 + 1;
    for (size_t i = 0; i < leaves.size(); i += stride) {
        const qm::GridBox* b = leaves[i];
        qm::GridRect rect;
        check(qm::NodeRect(root, b->node, m, rect));
        const qm::GridHit hit = qm::HitNode(root, b->x + b->width / 2, b->y + b->height / 2, m);
        check(hit.inside && hit.node == b->node);
    }

    qm::GridLayout sliced;
    sliced.lazyAbove = SIZE_MAX;
    sliced.passCellsAbove = 0;
    qm::buildGrid(doc.root, expansion, sliced);
    qm::GridLayoutPass pass(sliced, m);
    const size_t slice = 1 + data[0] / 18;
    while (!pass.Step(slice)) {
    }
    pass.Finish();
    check(sliced.root && shapes(*sliced.root) == shapes(root));
    return 0;
}
