// The texts of the copy commands.
#include "shell/clipboard.h"

#include "edit/convert.h"
#include "edit/nodetext.h"

namespace qm {

namespace {

// Copy-as text: the subtree without the line breaks it may end with.
std::wstring copyAsText(const Node* node, const Document& doc) {
    std::wstring text = subtreeText(node, doc);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

}  // namespace

void showNulCharacters(std::wstring& text) {
    for (wchar_t& c : text)
        if (c == L'\0') c = kNulSymbol;
}

bool copyCommandText(const Node* node, const Document& doc, int id, std::wstring& text) {
    switch (id) {
        case kCmdCopyValue:
            if (node->kind == NodeKind::Element)
                text = isSimpleElement(node) ? textContent(node) : copyAsText(node, doc);
            else if (node->kind == NodeKind::Object || node->kind == NodeKind::Array)
                text = copyAsText(node, doc);
            else
                text = node->value;
            break;
        case kCmdCopyName: text = nodeLabel(node); break;
        case kCmdCopyPath: text = nodePath(node, doc.format); break;
        case kCmdCopyAs: text = copyAsText(node, doc); break;
        default: return false;
    }
    showNulCharacters(text);
    return true;
}

}  // namespace qm
