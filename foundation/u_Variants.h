// The typed value that attribute values of the description files are stored as: empty, null,
// boolean, 32-bit integer, double, 8-bit text (system code page) or wide text (UTF-16), with the
// conversions the readers apply when they take a setting as text, integer, boolean or float.
#pragma once

#include "u_SysUtils.h"

#include <cstdint>
#include <string>
#include <variant>

TV_DECLARE_EXCEPTION(EVariantError, Exception);
TV_DECLARE_EXCEPTION(EVariantTypeCastError, EVariantError);

inline constexpr const char* SVarTypeCouldNotConvert =
    "Could not convert variant of type (%s) into type (%s)";
inline constexpr const char* SInvalidVarCast = "Invalid variant type conversion";
inline constexpr const char* SInvalidInteger = "'%s' is not a valid integer value";
inline constexpr const char* SInvalidFloat = "'%s' is not a valid floating point value";

// Type codes as the platform's variants number them.
enum TVarType : uint16_t {
    varEmpty = 0x0000,
    varNull = 0x0001,
    varInteger = 0x0003,
    varDouble = 0x0005,
    varOleStr = 0x0008,
    varBoolean = 0x000B,
    varString = 0x0100,
};

// Name of a type code as conversion messages show it ("Integer", "String", ...).
const char* VarTypeAsText(TVarType type);

class Variant {
  public:
    Variant() = default;
    Variant(bool value) : FValue(value) {}
    Variant(int32_t value) : FValue(value) {}
    Variant(double value) : FValue(value) {}
    Variant(std::string value) : FValue(std::move(value)) {}
    Variant(const char* value) : FValue(std::string(value)) {}
    Variant(std::u16string value) : FValue(std::move(value)) {}
    Variant(const char16_t* value) : FValue(std::u16string(value)) {}
    static Variant Null();

    TVarType VarType() const;
    bool IsEmpty() const { return VarType() == varEmpty; }
    bool IsNull() const { return VarType() == varNull; }

    // Conversions; each fails with EVariantTypeCastError when the value does not convert.
    std::string AsString() const;
    std::u16string AsWideString() const;
    int32_t AsInteger() const;
    bool AsBoolean() const;
    double AsDouble() const;
    // The value converted to another type; an unknown type code fails with "Invalid variant type
    // conversion".
    Variant AsType(TVarType type) const;

    // The stored 8-bit text without a copy, or nullptr when the value is of another type.
    const std::string* TextValue() const { return std::get_if<std::string>(&FValue); }

    // Same type and same value (texts byte for byte).
    bool operator==(const Variant& other) const { return FValue == other.FValue; }

  private:
    struct TNull {
        bool operator==(const TNull&) const { return true; }
    };
    [[noreturn]] void CastError(TVarType target) const;

    std::variant<std::monostate, TNull, bool, int32_t, double, std::string, std::u16string> FValue;
};

// Text to number as the run-time library reads it. StrToInt64 takes an optional sign and decimal
// digits, or "$" (or "0x") and hexadecimal digits, and fails with EConvertError "'%s' is not a
// valid integer value". StrToFloat takes an optional sign, digits with an optional fraction and
// an optional exponent, "." as the decimal point, and fails with "'%s' is not a valid floating
// point value". The Try forms report failure instead of raising.
bool TryStrToInt64(std::string_view text, int64_t& value);
int64_t StrToInt64(std::string_view text);
bool TryStrToFloat(std::string_view text, double& value, char decimalSeparator = '.');
double StrToFloat(std::string_view text);
// Up to 15 significant digits, the locale's decimal separator, exponent form ("1E20", "1E-5")
// only where the plain form would need more digits than that.
std::string FloatToStr(double value);
