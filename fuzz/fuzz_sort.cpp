// Fuzz target for sorting record tables: the first byte picks the format, the second the column
// and the direction; the file (UTF-8) follows. Every record table of the fully expanded grid is
// sorted by that column: the order is a permutation of the records, and sorting it again changes
// nothing (a stable sort by a consistent order), in either direction; worked out a few rows and
// one text key a step (as the grid's build does in slices), the order is the same.
#include <algorithm>

#include "fuzz/fuzz.h"
#include "views/grid.h"
#include "views/gridtable.h"

using qmfuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const wchar_t* name = qmfuzz::formatName(data[0]);
    const bool descending = data[1] & 1;
    const std::wstring text = qmfuzz::utf8Text(data + 2, size - 2);
    qm::Document doc;
    if (!qm::parseText(name, text, doc)) return 0;
    qm::GridExpansion expansion;
    qm::expandAllGrid(doc, true, expansion);
    qm::GridLayout layout;
    layout.lazyAbove = SIZE_MAX;
    qm::buildGrid(doc.root, expansion, layout);
    if (!layout.root) return 0;
    std::vector<const qm::GridBox*> stack{layout.root};
    while (!stack.empty()) {
        const qm::GridBox* b = stack.back();
        stack.pop_back();
        if (!b || !b->frame) continue;
        for (const qm::GridBox* c : b->frame->children) stack.push_back(c);
        if (b->type != qm::GridBoxType::Table || b->frame->columnCount <= 0 || !b->frame->key) continue;
        const qm::GridFrame& f = *b->frame;
        const int32_t column = int32_t((data[1] >> 1) % uint32_t(f.columnCount));
        const qm::RecordColumns columns(f.rows, size_t(f.columnCount), f.key->kind == qm::NodeKind::Object);
        const std::vector<qm::Node*> sorted = qm::sortedRecords(f.records, columns, column, descending, nullptr);
        std::vector<qm::Node*> a = sorted, e = f.records;
        std::sort(a.begin(), a.end());
        std::sort(e.begin(), e.end());
        check(a == e);
        check(qm::sortedRecords(sorted, columns, column, descending, nullptr) == sorted);
        qm::TableSort steps(f.records, columns, column, descending, nullptr);
        while (!steps.Step(1 + data[0] / 18, 1)) {
        }
        check(steps.Order() == qm::sortedRows(f.records, columns, column, descending, nullptr));
    }
    return 0;
}
