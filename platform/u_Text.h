// Text in the system code page: case-insensitive comparison and upper-casing for names and keys,
// and conversions to UTF-8 (what GTK and WebKit take) and to wide text (UTF-16 code units).
//
// The system code page is the C library's locale charset after setlocale(LC_ALL, ""). Where that
// charset is plain ASCII (the C locale of a bare machine) UTF-8 is used, so that results never
// depend on whether a locale is set. UTF-8 and the single-byte charsets are supported; a
// multi-byte charset other than UTF-8 is treated as UTF-8.
//
// Comparison folds case code point by code point (ASCII directly, everything else by Unicode
// simple case mapping). It is a total order in which "equal" means "equal ignoring case". Bytes
// that do not decode in the code page order after every character, each by its own value.
#pragma once

#include <string>
#include <string_view>

// Name of the charset used as the system code page ("UTF-8" on current systems).
const std::string& SystemCodePage();
bool SystemCodePageIsUTF8();

// Case-insensitive comparison: negative, zero or positive.
int AnsiCompareText(std::string_view a, std::string_view b);
bool AnsiSameText(std::string_view a, std::string_view b);
// Ordinal byte-wise comparison: negative, zero or positive.
int CompareStr(std::string_view a, std::string_view b);

std::string AnsiUpperCase(std::string_view s);
// Appends AnsiUpperCase(s) to out, without a string of its own.
void AppendAnsiUpperCase(std::string_view s, std::string& out);
std::string AnsiLowerCase(std::string_view s);

// Conversions. Bytes or code units that do not convert are replaced (U+FFFD towards Unicode,
// "?" towards a single-byte code page), never passed on.
std::string AnsiToUtf8(std::string_view s);
std::string Utf8ToAnsi(std::string_view s);
std::u16string AnsiToWide(std::string_view s);
std::string WideToAnsi(std::u16string_view s);
std::string WideToUtf8(std::u16string_view s);
std::u16string Utf8ToWide(std::string_view s);

// ASCII helpers for the parts of names that are ASCII by definition (schemes, extensions, keys of
// the resource trailer, hex escapes, archive path separators). Bytes outside ASCII pass unchanged.
char AsciiLowerChar(char c);
std::string AsciiLowerCase(std::string_view s);
// Whether a and b are equal when ASCII letters are compared without regard to case.
bool AsciiSameText(std::string_view a, std::string_view b);
// Whether text holds prefix at position at, ASCII letters compared without regard to case.
bool AsciiStartsText(std::string_view text, size_t at, std::string_view prefix);
// The value of a hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);
// Every "%" followed by two hexadecimal digits becomes the byte they name; anything else stays.
std::string PercentDecode(std::string_view text);
// Archive paths: whether the text starts or ends with the separator "\".
bool StartsWithBackslash(std::string_view s);
bool EndsWithBackslash(std::string_view s);
