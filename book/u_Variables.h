// The book's named text variables, written "%{" name "}" in pages and settings. They are loaded
// once from the variables file, references between them are resolved at load, and Substitute
// expands references in any text (every file the browser fetches goes through it).
#pragma once

#include "u_Dictionary.h"
#include "u_SysUtils.h"

#include <string>
#include <string_view>

TV_DECLARE_EXCEPTION(EVariablesError, Exception);

inline constexpr const char* SCyclingReference =
    "Cycling reference encountered during loading variable \"%s\"";

class TVariables {
  public:
    // text: the whole variables file as 8-bit text; empty means no variables. With marker on, one
    // leading "$" (which the authoring tool puts before every value) is dropped from each value.
    // Syntax errors of the file and EVariablesError for a cycle leave the constructor.
    TVariables(std::string_view text, bool marker);
    TVariables(const TVariables&) = delete;
    TVariables& operator=(const TVariables&) = delete;

    // text with every reference to a known variable replaced by its value; unknown names, empty
    // braces and an unterminated "%{" stay as written. Never fails.
    std::string Substitute(std::string_view text) const;

    // The variable table: name to resolved value, names compared ignoring case, in sorted order.
    const TStringToStringDictionary& Table() const { return FTable; }

  private:
    void Resolve(const std::string& name, const TStringToStringDictionary& names,
                 TStringToStringDictionary& states);

    TStringToStringDictionary FTable{true, true};
};
