#include "u_Variants.h"

#include "u_Text.h"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

char LocaleDecimalSeparator() {
    const lconv* conv = std::localeconv();
    return conv && conv->decimal_point && conv->decimal_point[0] ? conv->decimal_point[0] : '.';
}

// Rounds to the nearest integer, halves to even; false when the result leaves 32 bits.
bool RoundToInt32(double value, int32_t& result) {
    if (!std::isfinite(value)) return false;
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    if (rounded < std::numeric_limits<int32_t>::min() || rounded > std::numeric_limits<int32_t>::max())
        return false;
    result = static_cast<int32_t>(rounded);
    return true;
}

// Position of the leading digit of a well-formed decimal number relative to the decimal point
// (1 for "5", 3 for "123.4", -2 for "0.005", with the exponent added in).
long DecimalMagnitude(const std::string& number) {
    long magnitude = 0;
    bool seenDigit = false, inFraction = false;
    size_t i = 0;
    for (; i < number.size() && number[i] != 'e'; ++i) {
        const char c = number[i];
        if (c == '.') {
            inFraction = true;
        } else if (c >= '0' && c <= '9') {
            if (!seenDigit && c == '0') {
                if (inFraction) --magnitude;
                continue;
            }
            if (!seenDigit && inFraction) ++magnitude; // first non-zero digit after leading zeros
            seenDigit = true;
            if (!inFraction) ++magnitude;
        }
    }
    // Any exponent beyond this range overflows or underflows a double all the same; clamping it
    // keeps the sum from overflowing for exponents of absurd length.
    if (i < number.size())
        magnitude += std::clamp(std::strtol(number.c_str() + i + 1, nullptr, 10), -100000L, 100000L);
    return magnitude;
}

} // namespace

const char* VarTypeAsText(TVarType type) {
    switch (type) {
    case varEmpty:
        return "Empty";
    case varNull:
        return "Null";
    case varInteger:
        return "Integer";
    case varDouble:
        return "Double";
    case varOleStr:
        return "OleStr";
    case varBoolean:
        return "Boolean";
    case varString:
        return "String";
    }
    return "Unknown";
}

bool TryStrToInt64(std::string_view text, int64_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size()) return false;
    uint64_t magnitude = 0;
    if (text[i] == '$' ||
        (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))) {
        // Hexadecimal: up to 64 bits, read as a two's complement pattern ("$FFFFFFFFFFFFFFFF" is -1).
        i += text[i] == '$' ? 1 : 2;
        if (i >= text.size()) return false;
        for (; i < text.size(); ++i) {
            const int d = HexDigitValue(text[i]);
            if (d < 0 || magnitude > (std::numeric_limits<uint64_t>::max() >> 4)) return false;
            magnitude = magnitude << 4 | static_cast<uint64_t>(d);
        }
        value = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
        return true;
    }
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        const uint64_t d = static_cast<uint64_t>(text[i] - '0');
        if (magnitude > (std::numeric_limits<uint64_t>::max() - d) / 10) return false;
        magnitude = magnitude * 10 + d;
    }
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (magnitude > limit) return false;
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

int64_t StrToInt64(std::string_view text) {
    int64_t value = 0;
    if (!TryStrToInt64(text, value)) throw EConvertError(Format(SInvalidInteger, std::string(text).c_str()));
    return value;
}

bool TryStrToFloat(std::string_view text, double& value, char decimalSeparator) {
    // Blanks around the number are allowed; inside it the grammar is strict so that a token such
    // as "1-2" or "1.2.3" is refused rather than read up to its first oddity.
    size_t begin = 0, end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    std::string number;
    size_t i = begin;
    if (i < end && (text[i] == '-' || text[i] == '+')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    size_t digits = 0;
    for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
        number += text[i];
    if (i < end && (text[i] == decimalSeparator || text[i] == '.')) {
        number += '.';
        for (++i; i < end && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
            number += text[i];
    }
    if (digits == 0) return false;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        number += 'e';
        ++i;
        if (i < end && (text[i] == '-' || text[i] == '+')) number += text[i++];
        size_t expDigits = 0;
        for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i, ++expDigits)
            number += text[i];
        if (expDigits == 0) return false;
    }
    if (i != end) return false;
    double result = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), result);
    if (ptr != number.data() + number.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        // Too large fails; too small for a double is zero.
        if (DecimalMagnitude(number) > 0) return false;
        result = 0;
    }
    value = result;
    return true;
}

double StrToFloat(std::string_view text) {
    double value = 0;
    if (!TryStrToFloat(text, value)) throw EConvertError(Format(SInvalidFloat, std::string(text).c_str()));
    return value;
}

std::string FloatToStr(double value) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    // 15 significant digits, correctly rounded (an exact tie rounds to even).
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.14e", value);
    std::string text = buffer;
    const size_t ePos = text.find('e');
    const int exponent = std::atoi(text.c_str() + ePos + 1);
    const bool negative = text[0] == '-';
    std::string digits;
    for (size_t i = negative ? 1 : 0; i < ePos; ++i)
        if (text[i] != '.') digits += text[i];
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const char separator = LocaleDecimalSeparator();
    std::string result = negative ? "-" : "";
    if (exponent < -4 || exponent >= 15) {
        result += digits[0];
        if (digits.size() > 1) result += separator + digits.substr(1);
        result += 'E';
        result += std::to_string(exponent);
    } else if (exponent < 0) {
        result += '0';
        result += separator;
        result += std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    } else {
        const size_t intDigits = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            result += digits + std::string(intDigits - digits.size(), '0');
        } else {
            result += digits.substr(0, intDigits);
            result += separator;
            result += digits.substr(intDigits);
        }
    }
    return result;
}

Variant Variant::Null() {
    Variant v;
    v.FValue = TNull{};
    return v;
}

TVarType Variant::VarType() const {
    switch (FValue.index()) {
    case 0:
        return varEmpty;
    case 1:
        return varNull;
    case 2:
        return varBoolean;
    case 3:
        return varInteger;
    case 4:
        return varDouble;
    case 5:
        return varString;
    default:
        return varOleStr;
    }
}

void Variant::CastError(TVarType target) const {
    throw EVariantTypeCastError(
        Format(SVarTypeCouldNotConvert, VarTypeAsText(VarType()), VarTypeAsText(target)));
}

std::string Variant::AsString() const {
    switch (VarType()) {
    case varEmpty:
        return "";
    case varBoolean:
        return std::get<bool>(FValue) ? "True" : "False";
    case varInteger:
        return std::to_string(std::get<int32_t>(FValue));
    case varDouble:
        return FloatToStr(std::get<double>(FValue));
    case varString:
        return std::get<std::string>(FValue);
    case varOleStr:
        return WideToAnsi(std::get<std::u16string>(FValue));
    default:
        CastError(varString);
    }
}

std::u16string Variant::AsWideString() const {
    if (VarType() == varOleStr) return std::get<std::u16string>(FValue);
    if (VarType() == varNull) CastError(varOleStr);
    return AnsiToWide(AsString());
}

int32_t Variant::AsInteger() const {
    switch (VarType()) {
    case varEmpty:
        return 0;
    case varBoolean:
        return std::get<bool>(FValue) ? -1 : 0;
    case varInteger:
        return std::get<int32_t>(FValue);
    case varDouble: {
        int32_t result = 0;
        if (!RoundToInt32(std::get<double>(FValue), result)) CastError(varInteger);
        return result;
    }
    case varString:
    case varOleStr: {
        const std::string text = AsString();
        int64_t whole = 0;
        if (TryStrToInt64(text, whole)) {
            if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
                CastError(varInteger);
            return static_cast<int32_t>(whole);
        }
        double real = 0;
        int32_t result = 0;
        if (TryStrToFloat(text, real, LocaleDecimalSeparator()) && RoundToInt32(real, result)) return result;
        CastError(varInteger);
    }
    default:
        CastError(varInteger);
    }
}

bool Variant::AsBoolean() const {
    switch (VarType()) {
    case varEmpty:
        return false;
    case varBoolean:
        return std::get<bool>(FValue);
    case varInteger:
        return std::get<int32_t>(FValue) != 0;
    case varDouble:
        return std::get<double>(FValue) != 0;
    case varString:
    case varOleStr: {
        const std::string text = AsString();
        if (AnsiSameText(text, "True")) return true;
        if (AnsiSameText(text, "False")) return false;
        int64_t whole = 0;
        if (TryStrToInt64(text, whole)) return whole != 0;
        double real = 0;
        if (TryStrToFloat(text, real, LocaleDecimalSeparator())) return real != 0;
        CastError(varBoolean);
    }
    default:
        CastError(varBoolean);
    }
}

double Variant::AsDouble() const {
    switch (VarType()) {
    case varEmpty:
        return 0;
    case varBoolean:
        return std::get<bool>(FValue) ? -1 : 0;
    case varInteger:
        return std::get<int32_t>(FValue);
    case varDouble:
        return std::get<double>(FValue);
    case varString:
    case varOleStr: {
        double real = 0;
        if (TryStrToFloat(AsString(), real, LocaleDecimalSeparator())) return real;
        CastError(varDouble);
    }
    default:
        CastError(varDouble);
    }
}

Variant Variant::AsType(TVarType type) const {
    switch (type) {
    case varEmpty:
        if (!IsEmpty()) CastError(type);
        return Variant();
    case varNull:
        if (!IsNull()) CastError(type);
        return Null();
    case varBoolean:
        return Variant(AsBoolean());
    case varInteger:
        return Variant(AsInteger());
    case varDouble:
        return Variant(AsDouble());
    case varString:
        return Variant(AsString());
    case varOleStr:
        return Variant(AsWideString());
    }
    throw EVariantError(SInvalidVarCast);
}
