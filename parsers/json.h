// The lenient JSON and JSON Lines parser: comments, single quotes, unquoted keys, trailing
// commas, NaN and Infinity; numbers kept as written. Stops at the first error (JSON) or records
// it and goes on with the next line (JSON Lines).
#pragma once

#include <string>
#include <vector>

#include "document/document.h"
#include "parsers/linecounter.h"

#if defined(__GNUC__) || defined(__clang__)
#define QM_NOINLINE __attribute__((noinline))
#else
#define QM_NOINLINE
#endif

namespace qm {

constexpr int kMaxJsonDepth = 1000;

struct JsonParser {
    const wchar_t* text;
    size_t length;
    size_t pos;
    ForwardLineCounter lines;
    Document& doc;
    bool failed = false;
    bool unclosedComment = false;  // a block comment ran to the end of the text

    JsonParser(Document& d, const std::wstring& t, size_t start)
        : text(t.c_str()), length(t.size()), pos(start), doc(d) {}
    // A text the document holds (a string's value parsed as embedded JSON).
    JsonParser(Document& d, const wchar_t* t, size_t n, size_t start) : text(t), length(n), pos(start), doc(d) {}

    uint32_t lineAt(size_t position) { return lines.at(text, length, position); }
    void skipSpaceAndComments();
    NodeText pendingName;  // key of the member whose value is parsed next

    // Children of the open containers wait here, innermost container's last, and each container
    // gets its list in one allocation of the exact size when it closes (growing every list by
    // push_back would allocate about log2(n) times and leave up to half of it unused).
    struct OpenContainer {
        Node* node;
        size_t firstChild;  // index in pendingChildren of its first child
    };
    std::vector<Node*> pendingChildren;
    std::vector<OpenContainer> openContainers;
    void openContainer(Node* container);
    void closeContainer();

    // Parses one value and attaches it to parent, named pendingName when keyed.
    void parseValue(Node* parent, bool keyed, int depth);
    void parseContainer(Node* container, bool isObject, int depth);
    bool parseScalar(Node* parent, bool keyed, uint32_t nodeLine);
    bool parseMemberKey();
    Node* startNode(NodeKind kind, Node* parent, bool keyed, uint32_t nodeLine);
    NodeText parseString();
    void parseJsonLines();
    void reportError(const wchar_t* message);
};

// JSON: one value from `start`, then only white space and comments may follow.
void parseJson(Document& doc, const std::wstring& text, size_t start);
// JSON Lines: one Array under the root with one item per line.
void parseJsonLines(Document& doc, const std::wstring& text, size_t start);

}  // namespace qm
