// One-line pictures of a node tree, for compact expectations in the parser tests.
#pragma once

#include <string>

#include "document/document.h"

namespace qmtest {

// The brackets around a node's children; no brackets (0): its children follow it in the same
// flat list.
struct Brackets {
    wchar_t open = 0;
    wchar_t close = 0;
};

// How a picture writes each node: its own text, and the brackets that hold its children.
struct ShapeStyle {
    std::wstring (*label)(const qm::Document& doc, const qm::Node& n);
    Brackets (*brackets)(const qm::Node& n);
};

// "Kind[:key][=value][<tag>]" with the short kind names (Obj, Arr, Str, Num, Bool, Null, Comment,
// El, Attr, Text, CD, PI, DT, Decl); the key only on keyed nodes.
std::wstring kindLabel(const qm::Document& doc, const qm::Node& n);

// Pre-order list of every node, children right after their parent: "Obj Num:a=1 Arr Num=2".
extern const ShapeStyle kFlatKinds;
// Children in parentheses after a node that has any: "Obj(Num:a=1 Arr(Num=2))".
extern const ShapeStyle kNestedKinds;

// The picture of the nodes under `top` (not `top` itself), siblings separated by one space.
// Walks with an explicit stack, so a deep tree does not deepen the test's own stack.
std::wstring shape(const qm::Document& doc, const qm::Node* top, const ShapeStyle& style);

}  // namespace qmtest
