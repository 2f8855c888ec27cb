// Description files from arbitrary text: parsing either builds a tree or fails with the reader's
// own errors, and every attribute converts to text, integer and boolean or fails with a
// conversion error.
#include "u_XMLParser.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TXMLParser parser;
    try {
        parser.ParseText(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const Exception&) {
        // EParserError, ESpaceXMLParserError, EConvertError: what a book author is shown.
    }
    if (!parser.Root()) return 0;
    // Walk whatever was built, without recursion (documents may nest deeply).
    std::vector<const TXMLNode*> pending{parser.Root()};
    while (!pending.empty()) {
        const TXMLNode* node = pending.back();
        pending.pop_back();
        if (node->Nodes.OwnerNode != node || node->Nodes.Level != node->Level + 1) std::abort();
        node->Attributes.ForEach([&](const TXMLAttribute& attribute) {
            const Variant value = node->Attributes.ValueOf(attribute.Name, Variant());
            try {
                value.AsString();
            } catch (const Exception&) {
            }
            try {
                value.AsInteger();
            } catch (const Exception&) {
            }
            try {
                value.AsBoolean();
            } catch (const Exception&) {
            }
        });
        node->Nodes.FindByName("toolbar");
        for (int32_t i = 0; i < node->Nodes.Count(); ++i) {
            const TXMLNode* child = node->Nodes[i];
            if (child->Index != i || child->Parent() != node) std::abort();
            pending.push_back(child);
        }
    }
    return 0;
}
