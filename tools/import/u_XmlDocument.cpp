#include "u_XmlDocument.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <sstream>
#include <vector>
#include <strings.h>

namespace {

// libxml2 reports through a process-wide handler; the importers read the last error instead.
void IgnoreMessage(void*, const char*, ...) {}

void QuietLibxml() {
    static const bool quiet = [] {
        xmlInitParser();
        xmlSetGenericErrorFunc(nullptr, IgnoreMessage);
        return true;
    }();
    (void)quiet;
}

} // namespace

TXmlDocument ParseXml(const std::string& text, std::string* error) {
    QuietLibxml();
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        if (error) *error = "the document is too large";
        return nullptr;
    }
    xmlResetLastError();
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc && error) {
        const xmlError* last = xmlGetLastError();
        std::ostringstream message;
        if (last && last->message) {
            std::string text = last->message;
            while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
            message << text << " on line " << last->line;
        } else {
            message << "not an XML document";
        }
        *error = message.str();
    }
    return TXmlDocument(doc);
}

TXmlDocument ParseHtml(const std::string& text) {
    QuietLibxml();
    if (text.size() > static_cast<size_t>(INT_MAX)) return nullptr;
    return TXmlDocument(htmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                       HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                           HTML_PARSE_NOWARNING | HTML_PARSE_NOIMPLIED));
}

bool IsElement(const xmlNode* node, const char* localName) {
    return node && node->type == XML_ELEMENT_NODE && node->name &&
           strcasecmp(reinterpret_cast<const char*>(node->name), localName) == 0;
}

bool HasAttribute(const xmlNode* node, const char* localName) {
    if (!node || node->type != XML_ELEMENT_NODE) return false;
    for (const xmlAttr* attr = node->properties; attr; attr = attr->next)
        if (attr->name && strcasecmp(reinterpret_cast<const char*>(attr->name), localName) == 0) return true;
    return false;
}

std::string AttributeOf(const xmlNode* node, const char* localName) {
    if (!node || node->type != XML_ELEMENT_NODE) return "";
    for (const xmlAttr* attr = node->properties; attr; attr = attr->next) {
        if (!attr->name || strcasecmp(reinterpret_cast<const char*>(attr->name), localName) != 0) continue;
        std::string value;
        for (const xmlNode* child = attr->children; child; child = child->next)
            if (child->content) value += reinterpret_cast<const char*>(child->content);
        return value;
    }
    return "";
}

std::string TextOf(const xmlNode* node) {
    std::string text;
    // An explicit stack: a hostile document may nest deeper than the call stack allows.
    std::vector<const xmlNode*> stack;
    if (node) stack.push_back(node);
    while (!stack.empty()) {
        const xmlNode* current = stack.back();
        stack.pop_back();
        if ((current->type == XML_TEXT_NODE || current->type == XML_CDATA_SECTION_NODE) && current->content)
            text += reinterpret_cast<const char*>(current->content);
        if (current->type == XML_ELEMENT_NODE || current == node) {
            std::vector<const xmlNode*> children;
            for (const xmlNode* child = current->children; child; child = child->next) children.push_back(child);
            for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
        }
    }
    return text;
}

xmlNode* ChildElement(const xmlNode* node, const char* localName) {
    if (!node) return nullptr;
    for (xmlNode* child = node->children; child; child = child->next)
        if (IsElement(child, localName)) return child;
    return nullptr;
}

xmlNode* FindElement(xmlNode* node, const char* localName) {
    std::vector<xmlNode*> stack;
    if (node) stack.push_back(node);
    while (!stack.empty()) {
        xmlNode* current = stack.back();
        stack.pop_back();
        if (IsElement(current, localName)) return current;
        std::vector<xmlNode*> children;
        for (xmlNode* child = current->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE) children.push_back(child);
        for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
    }
    return nullptr;
}

bool HasToken(const std::string& list, const std::string& token) {
    size_t start = 0;
    while (start < list.size()) {
        const size_t end = list.find_first_of(" \t\r\n", start);
        const std::string word = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!word.empty() && strcasecmp(word.c_str(), token.c_str()) == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}
