#include "tests/support/treeprint.h"

#include <iterator>
#include <vector>

namespace qmtest {

using qm::Node;

std::wstring kindLabel(const qm::Document& doc, const Node& n) {
    static const wchar_t* const kinds[] = {L"Root", L"El",  L"Attr", L"Text", L"CD",  L"Comment", L"PI",  L"DT",
                                           L"Decl", L"Obj", L"Arr",  L"Str",  L"Num", L"Bool",    L"Null"};
    const size_t kind = size_t(n.kind);
    std::wstring out = kind < std::size(kinds) ? kinds[kind] : L"<unexpected kind>";
    if (n.keyed) out.append(L":").append(n.name.view());
    if (!n.value.empty()) out.append(L"=").append(n.value.view());
    if (const wchar_t* tag = qm::nodeTag(doc, &n)) out.append(L"<").append(tag).append(L">");
    return out;
}

const ShapeStyle kFlatKinds = {kindLabel, [](const Node&) { return Brackets{}; }};

const ShapeStyle kNestedKinds = {
    kindLabel, [](const Node& n) { return n.children.empty() ? Brackets{} : Brackets{L'(', L')'}; }};

std::wstring shape(const qm::Document& doc, const Node* top, const ShapeStyle& style) {
    struct Item {
        const Node* node;  // nullptr: the closing bracket of a node whose children are all written
        wchar_t close;
    };
    std::wstring out;
    std::vector<Item> stack;
    const auto pushChildren = [&stack](const Node* n) {
        for (size_t i = n->children.size(); i-- > 0;) stack.push_back({n->children[i], 0});
    };
    pushChildren(top);
    bool separate = false;  // a sibling or an earlier flat node stands before the next node
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        if (!item.node) {
            out += item.close;
            separate = true;
            continue;
        }
        if (separate) out += L' ';
        out += style.label(doc, *item.node);
        separate = true;
        const Brackets b = style.brackets(*item.node);
        if (b.open) {
            out += b.open;
            separate = false;
            stack.push_back({nullptr, b.close});
        }
        pushChildren(item.node);
    }
    return out;
}

}  // namespace qmtest
