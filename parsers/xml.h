// The tolerant XML reader: elements, attributes, character data, CDATA, comments, processing
// instructions, the XML declaration and markup declarations, with the predefined entities,
// character references and entities of an internal DTD. It keeps going after errors, closing
// elements implicitly, and records only the first error. Nesting has no limit, so the reader
// keeps its open elements on an explicit stack and never recurses.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "document/document.h"
#include "parsers/linecounter.h"

namespace qm {

// Entity references look for their ";" among this many characters after the "&".
constexpr size_t kMaxEntityReference = 11;
// Characters that internal entities may add beyond the length of the text itself; past it a
// reference stays as written (a few nested declarations would otherwise grow without bound).
constexpr size_t kEntityExpansionAllowance = size_t(16) * 1024 * 1024;

struct XmlParser {
    const wchar_t* text;
    size_t length;
    size_t pos;
    ForwardLineCounter lines;
    Document& doc;
    std::unordered_map<std::wstring, std::wstring> entities;
    size_t expansionBudget;           // characters internal entities may still produce
    // Open elements, outermost first; the current parent is the last. The children of the root and
    // of every open element wait in `pending`, each element's from its firstChild on, and get their
    // list in one allocation of the exact size when the element closes.
    struct OpenElement {
        Node* node;
        size_t firstChild;
        size_t* openCount;  // its name's entry in openNames, once names are counted
    };
    std::vector<OpenElement> open;
    std::vector<Node*> pending;
    // How many open elements carry each name; the keys are the elements' names, runs of the text.
    // An end tag that closes the innermost element needs no count, so the counting starts at the
    // first one that does not (a stray or misplaced end tag) and goes on from there: a well-formed
    // document never pays for it.
    bool countingNames = false;
    std::unordered_map<std::wstring_view, size_t> openNames;
    // The entries of openNames looked up last, by a cheap hash of the name: a broken document may
    // repeat a few element names millions of times. The map's entries never move, so the
    // pointers stay valid.
    struct RecentName {
        const wchar_t* data = nullptr;
        size_t size = 0;
        size_t* openCount = nullptr;
    };
    static constexpr size_t kRecentNames = 256;
    RecentName recentNames[kRecentNames];
    size_t& openCountOf(std::wstring_view name);
    void startCountingNames();
    std::wstring scratch;             // decoded text before it is copied to the document

    XmlParser(Document& d, const std::wstring& t, size_t start)
        : text(t.c_str()), length(t.size()), pos(start), doc(d), expansionBudget(t.size() + kEntityExpansionAllowance) {}

    uint32_t lineAt(size_t position) { return lines.at(text, length, position); }
    void reportError(const std::wstring& message);
    Node* currentParent() const { return open.empty() ? doc.root : open.back().node; }
    Node* addNode(NodeKind kind, uint32_t line);  // a child of the current parent
    // Entities and character references replaced, line ends normalised: a run of the text when
    // there is nothing to replace, else a copy in the document's store.
    NodeText decodeXmlText(const wchar_t* p, size_t n);
    NodeText decodedCopy(const wchar_t* p, size_t n);  // the same, always copied
    void decodeInto(std::wstring& out, const wchar_t* p, size_t n);
    NodeText readName();
    void readInternalEntities(const wchar_t* p, size_t n);
    void parse();
    void finish();  // closes what is still open and gives the root its children

private:
    size_t declarationEnd(size_t start) const;  // the ">" closing a "<!" declaration, or length
    size_t characterData(size_t runStart);  // the run up to the next "<"; returns its end
    size_t textRun(size_t runStart, size_t first, bool plain);
    void addText(size_t runStart, size_t first, size_t runEnd, bool plain);
    size_t pastTagEnd(size_t from) const;
    void endTag();
    void startTag();
    void openElement(Node* element);
    void closeTo(size_t depth);  // keeps the first `depth` open elements
    void closeInnermost();
};

void parseXml(Document& doc, const std::wstring& text, size_t start);

}  // namespace qm
