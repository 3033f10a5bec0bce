// Compares two node trees, for round trips of the "Copy as" writers through the parsers. Shared
// by the conversion tests and the conversion fuzz target (which has no test support library).
#pragma once

#include <cmath>
#include <cwchar>
#include <cwctype>

#include <string>
#include <utility>
#include <vector>

#include "document/chars.h"
#include "document/document.h"
#include "document/utf8.h"
#include "edit/nodetext.h"

namespace qmtest {

using qm::Node;
using qm::NodeKind;
using qm::isSpace;

inline std::string narrow(std::wstring_view s) { return qm::wideToUtf8(s); }

inline std::wstring trimmed(std::wstring_view s) {
    size_t a = 0, b = s.size();
    while (a < b && isSpace(s[a])) ++a;
    while (b > a && isSpace(s[b - 1])) --b;
    return std::wstring(s.substr(a, b - a));
}

struct CompareRules {
    bool skipComments = false;       // comments move or vanish in the written text
    bool tagsMayChangeKind = false;  // YAML: a tag changes a scalar's kind, the written text has no tag
    bool trimText = false;           // XML: text among elements is written trimmed
    bool nullWithoutText = false;    // registry: a deletion marker has no text and is written null
    bool numbersByValue = false;     // numbers are written in the target's grammar: "1_000" comes back as 1000
};

// The value of a number text in TOML or JSON notation, read with the C library (NaN for "nan").
inline double numberValue(std::wstring_view text) {
    std::wstring t;
    for (wchar_t c : text)
        if (c != L'_') t += wchar_t(std::towlower(wint_t(c)));
    double sign = 1;
    if (!t.empty() && (t[0] == L'+' || t[0] == L'-')) {
        sign = t[0] == L'-' ? -1 : 1;
        t.erase(0, 1);
    }
    if (t == L"inf" || t == L".inf" || t == L"infinity") return sign * HUGE_VAL;
    if (t == L"nan" || t == L".nan") return NAN;
    if (t.size() > 2 && t[0] == L'0' && (t[1] == L'x' || t[1] == L'o' || t[1] == L'b'))
        return sign * double(std::wcstoull(t.c_str() + 2, nullptr, t[1] == L'x' ? 16 : t[1] == L'o' ? 8 : 2));
    return sign * std::wcstod(t.c_str(), nullptr);
}

inline bool sameNumber(std::wstring_view a, std::wstring_view b) {
    const double x = numberValue(a), y = numberValue(b);
    return x == y || (x != x && y != y);
}

inline bool skipped(const Node* n, const CompareRules& rules) {
    if (rules.skipComments && n->kind == NodeKind::Comment) return true;
    return rules.trimText && n->kind == NodeKind::Text && trimmed(n->value).empty();
}

inline std::vector<const Node*> kept(const Node* n, const CompareRules& rules) {
    std::vector<const Node*> out;
    for (const Node* c : n->children)
        if (!skipped(c, rules)) out.push_back(c);
    return out;
}

// The first difference between two trees as a readable text, or "" when they are the same.
// `aDoc` holds `a` (its type tags).
inline std::string treeDifference(const qm::Document& aDoc, const Node* a, const Node* b, const CompareRules& rules) {
    std::vector<std::pair<const Node*, const Node*>> stack{{a, b}};
    while (!stack.empty()) {
        auto [x, y] = stack.back();
        stack.pop_back();
        const std::string where = narrow(qm::nodeLabel(x)) + " (line " + std::to_string(x->line) + ")";
        const wchar_t* tag = qm::nodeTag(aDoc, x);
        const bool tagged = tag && std::wstring(tag).find(L'!') != std::wstring::npos;
        if (x->kind != y->kind && !(rules.tagsMayChangeKind && tagged && x->children.empty()))
            return where + ": kind " + std::to_string(int(x->kind)) + " became " + std::to_string(int(y->kind));
        if (x->keyed != y->keyed || x->name != y->name) return where + ": name became " + narrow(y->name);
        std::wstring xv = x->value.str(), yv = y->value.str();
        if (rules.trimText && x->kind == NodeKind::Text) xv = trimmed(xv), yv = trimmed(yv);
        if (rules.nullWithoutText && x->kind == NodeKind::Null && xv.empty()) xv = L"null";
        const bool numbersAgree = rules.numbersByValue && x->kind == NodeKind::Number && sameNumber(xv, yv);
        if (xv != yv && !numbersAgree) return where + ": value " + narrow(xv) + " became " + narrow(yv);
        if (x->attributeCount != y->attributeCount) return where + ": attribute count";
        std::vector<const Node*> xc = kept(x, rules), yc = kept(y, rules);
        if (xc.size() != yc.size())
            return where + ": " + std::to_string(xc.size()) + " children became " + std::to_string(yc.size());
        for (size_t i = xc.size(); i-- > 0;) stack.emplace_back(xc[i], yc[i]);
    }
    return "";
}

}  // namespace qmtest
