// Small owning wrappers over libxml2 documents for the importers: parsing without network access,
// entity expansion or messages on standard error, and the few walks the importers need. Element
// and attribute names are compared by their local names, without namespaces.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>

struct TXmlDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using TXmlDocument = std::unique_ptr<xmlDoc, TXmlDocFree>;

// The document parsed as XML; nullptr when it does not parse, with libxml2's message in error.
TXmlDocument ParseXml(const std::string& text, std::string* error = nullptr);
// The document parsed by libxml2's HTML parser, which mends what it can; nullptr only when
// nothing at all could be read.
TXmlDocument ParseHtml(const std::string& text);

bool IsElement(const xmlNode* node, const char* localName);
// The attribute's value by local name (any namespace); empty when absent.
std::string AttributeOf(const xmlNode* node, const char* localName);
bool HasAttribute(const xmlNode* node, const char* localName);
// The text of the node and everything below it.
std::string TextOf(const xmlNode* node);
// The first element child of node with the local name, or nullptr.
xmlNode* ChildElement(const xmlNode* node, const char* localName);
// The first element at or below node, in document order, with the local name, or nullptr.
xmlNode* FindElement(xmlNode* node, const char* localName);
// Whether the blank-separated list of tokens holds token (ASCII letter case ignored).
bool HasToken(const std::string& list, const std::string& token);
