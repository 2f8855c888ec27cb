#include "u_Variables.h"

#include "u_XMLParser.h"

namespace {

// Runs the reference scanner over text. lookup(name) returns the replacement of a reference, or
// nullptr to leave the reference as it is. A replacement is never scanned again.
template <class Lookup> std::string ScanReferences(std::string_view text, Lookup lookup) {
    std::string result(text);
    if (result.find('%') == std::string::npos) return result;
    enum { Plain, AfterPercent, InBraces } state = Plain;
    size_t percent = 0, nameStart = 0;
    size_t pos = 0;
    while (pos < result.size()) {
        const char c = result[pos];
        switch (state) {
        case Plain:
            if (c == '%') {
                state = AfterPercent;
                percent = pos;
            }
            ++pos;
            break;
        case AfterPercent:
            if (c == '{') {
                state = InBraces;
                nameStart = pos + 1;
            } else {
                state = Plain; // the byte is not looked at again: "%%{A}" holds no reference
            }
            ++pos;
            break;
        case InBraces:
            if (c != '}') {
                ++pos;
                break;
            }
            state = Plain;
            if (const std::string* value = lookup(result.substr(nameStart, pos - nameStart))) {
                const std::string replacement = *value; // lookup may hand out a view into result
                result.replace(percent, pos + 1 - percent, replacement);
                pos = percent + replacement.size();
            } else {
                ++pos;
            }
            break;
        }
    }
    return result;
}

// States of the resolution, kept as texts in a dictionary that compares names like the table.
const char* const InProgress = "1";
const char* const Done = "2";

} // namespace

TVariables::TVariables(std::string_view text, bool marker) {
    if (text.empty()) return;
    {
        TXMLParser parser;
        parser.ParseText(text);
        const TXMLNodes& children = parser.Root()->Nodes;
        for (int32_t i = 0; i < children.Count(); ++i) {
            const TXMLNode* child = children[i];
            const std::string name = child->Attributes.ValueOf("Name", Variant("")).AsString();
            if (name.empty()) continue;
            std::string_view value = child->Text;
            if (marker && !value.empty() && value.front() == '$') value.remove_prefix(1);
            if (!FTable.Exists(name)) FTable.AddString(name, value); // the first definition wins
        }
    }
    // Names as defined, so that a message names a variable the way the book wrote its definition
    // rather than the way some reference spells it.
    TStringToStringDictionary names(true, true);
    for (const std::string& name : FTable.Keys())
        names.AddString(name, name);
    TStringToStringDictionary states(true, true);
    for (const std::string& name : FTable.Keys())
        Resolve(name, names, states);
}

void TVariables::Resolve(const std::string& name, const TStringToStringDictionary& names,
                         TStringToStringDictionary& states) {
    if (const std::string* state = states.FindString(name)) {
        if (*state == InProgress) throw EVariablesError(Format(SCyclingReference, name.c_str()));
        return;
    }
    states.AddString(name, InProgress);
    const std::string value = ScanReferences(FTable.GetString(name), [&](const std::string& reference) {
        const std::string* defined = names.FindString(reference);
        if (!defined) return defined;
        Resolve(*defined, names, states);
        return &FTable.GetString(*defined);
    });
    FTable.SetString(name, value);
    states.SetString(name, Done);
}

std::string TVariables::Substitute(std::string_view text) const {
    return ScanReferences(text, [&](const std::string& name) { return FTable.FindString(name); });
}
