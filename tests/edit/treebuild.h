// Builds small node trees by hand for the node-text and conversion tests, so that the texts of
// every format can be checked without its parser.
#pragma once

#include <memory>
#include <string>

#include "document/document.h"

namespace qmtest {

struct Tree {
    std::unique_ptr<qm::Document> doc = std::make_unique<qm::Document>();
    qm::Node* root;

    explicit Tree(qm::DocumentFormat format = qm::DocumentFormat::Json) {
        doc->format = format;
        doc->isDataFormat = format != qm::DocumentFormat::Xml;
        doc->isYaml = format == qm::DocumentFormat::Yaml;
        root = doc->root = qm::createNode(*doc, qm::NodeKind::Root, nullptr, 0);
    }
    // An unkeyed node (array item, XML node, document top) with a name and value.
    qm::Node* add(qm::Node* parent, qm::NodeKind kind, const std::wstring& name = L"",
                  const std::wstring& value = L"") {
        qm::Node* n = qm::createNode(*doc, kind, parent, 1);
        n->name.set(*doc, name);
        n->value.set(*doc, value);
        return n;
    }
    // A mapping member.
    qm::Node* member(qm::Node* parent, qm::NodeKind kind, const std::wstring& key, const std::wstring& value = L"") {
        qm::Node* n = add(parent, kind, key, value);
        n->keyed = true;
        return n;
    }
    qm::Node* attribute(qm::Node* element, const std::wstring& name, const std::wstring& value) {
        qm::Node* n = add(element, qm::NodeKind::Attribute, name, value);
        ++element->attributeCount;
        return n;
    }
};

}  // namespace qmtest
