#include "u_Variables.h"

#include "u_XMLParser.h"

#include <utility>
#include <vector>

namespace {

// The reference scanner over one text. It can stop at a reference and go on later from the same
// place, which lets loading resolve a referenced variable first without recursion (a long chain of
// variables cannot exhaust the stack).
class TReferenceScan {
  public:
    explicit TReferenceScan(std::string_view text) : Result(text) {}

    // Scans on to the end. At each complete reference decide(name, value) is called: it returns
    // false to stop the scan there (Run then returns false and a later Run asks about the same
    // reference again), or true with value set to the replacement, or to nullptr to leave the
    // reference as written. A replacement is never scanned again.
    template <class Decide> bool Run(Decide decide) {
        while (FPos < Result.size()) {
            const char c = Result[FPos];
            switch (FState) {
            case Plain:
                if (c == '%') {
                    FState = AfterPercent;
                    FPercent = FPos;
                }
                ++FPos;
                break;
            case AfterPercent:
                if (c == '{') {
                    FState = InBraces;
                    FNameStart = FPos + 1;
                } else {
                    FState = Plain; // the byte is not looked at again: "%%{A}" holds no reference
                }
                ++FPos;
                break;
            case InBraces: {
                if (c != '}') {
                    ++FPos;
                    break;
                }
                const std::string* value = nullptr;
                if (!decide(Result.substr(FNameStart, FPos - FNameStart), value)) return false;
                FState = Plain;
                if (value) {
                    const std::string replacement = *value;
                    Result.replace(FPercent, FPos + 1 - FPercent, replacement);
                    FPos = FPercent + replacement.size();
                } else {
                    ++FPos;
                }
                break;
            }
            }
        }
        return true;
    }

    std::string Result;

  private:
    enum { Plain, AfterPercent, InBraces } FState = Plain;
    size_t FPos = 0;
    size_t FPercent = 0;
    size_t FNameStart = 0;
};

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
    if (states.Exists(name)) return;
    // Each variable being resolved, innermost last, with its scan so far.
    std::vector<std::pair<std::string, TReferenceScan>> open;
    states.AddString(name, InProgress);
    open.emplace_back(name, TReferenceScan(FTable.GetString(name)));
    while (!open.empty()) {
        std::string next; // a variable to resolve before the innermost scan can go on
        const bool finished =
            open.back().second.Run([&](const std::string& reference, const std::string*& value) {
                const std::string* defined = names.FindString(reference);
                if (!defined) return true;
                const std::string* state = states.FindString(*defined);
                if (!state) {
                    next = *defined;
                    return false;
                }
                if (*state == InProgress) throw EVariablesError(Format(SCyclingReference, defined->c_str()));
                value = &FTable.GetString(*defined);
                return true;
            });
        if (finished) {
            FTable.SetString(open.back().first, open.back().second.Result);
            states.SetString(open.back().first, Done);
            open.pop_back();
        } else {
            states.AddString(next, InProgress);
            open.emplace_back(next, TReferenceScan(FTable.GetString(next)));
        }
    }
}

std::string TVariables::Substitute(std::string_view text) const {
    if (text.find('%') == std::string_view::npos) return std::string(text);
    TReferenceScan scan(text);
    scan.Run([&](const std::string& name, const std::string*& value) {
        value = FTable.FindString(name);
        return true;
    });
    return std::move(scan.Result);
}
