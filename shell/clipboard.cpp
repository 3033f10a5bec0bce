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

bool copyCommandText(const Node* node, const Document& doc, int id, std::wstring& text) {
    switch (id) {
        case kCmdCopyValue:
            if (node->kind == NodeKind::Element)
                text = isSimpleElement(node) ? textContent(node) : copyAsText(node, doc);
            else if (node->kind == NodeKind::Object || node->kind == NodeKind::Array)
                text = copyAsText(node, doc);
            else
                text = node->value;
            return true;
        case kCmdCopyName: text = nodeLabel(node); return true;
        case kCmdCopyPath: text = nodePath(node, doc.format); return true;
        case kCmdCopyAs: text = copyAsText(node, doc); return true;
        default: return false;
    }
}

}  // namespace qm
