#include "u_Text.h"

#include <array>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <glib.h>
#include <langinfo.h>

namespace {

// Marks a byte that does not decode: above every Unicode code point, distinct per byte.
constexpr char32_t InvalidBase = 0x110000;
constexpr char32_t Replacement = 0xFFFD;

struct CodePage {
    std::string Name;
    bool IsUTF8 = true;
    // For a single-byte code page: the Unicode character of each byte (InvalidBase + byte when none).
    std::array<char32_t, 256> ToUnicode{};
};

CodePage MakeCodePage() {
    CodePage cp;
    const char* charset = nl_langinfo(CODESET);
    std::string name = charset ? charset : "";
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(g_ascii_toupper(c));
    if (name.empty() || upper == "ANSI_X3.4-1968" || upper == "ASCII" || upper == "US-ASCII" ||
        upper == "UTF-8" || upper == "UTF8") {
        cp.Name = "UTF-8";
        return cp;
    }
    cp.Name = name;
    cp.IsUTF8 = false;
    bool singleByte = true;
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        gsize written = 0;
        gchar* utf8 = g_convert(&byte, 1, "UTF-8", name.c_str(), nullptr, &written, nullptr);
        if (utf8 && written > 0 && g_utf8_validate(utf8, static_cast<gssize>(written), nullptr)) {
            cp.ToUnicode[static_cast<size_t>(b)] = g_utf8_get_char(utf8);
        } else {
            cp.ToUnicode[static_cast<size_t>(b)] = InvalidBase + static_cast<char32_t>(b);
            if (b < 128) singleByte = false;
        }
        g_free(utf8);
    }
    if (!singleByte) { // not a single-byte charset we can table: fall back to UTF-8
        cp.Name = "UTF-8";
        cp.IsUTF8 = true;
    }
    return cp;
}

const CodePage& TheCodePage() {
    static const CodePage cp = MakeCodePage();
    return cp;
}

// UTF-8 decoding, for text that arrives as UTF-8 whatever the system code page is.
const CodePage& Utf8CodePage() {
    static const CodePage utf8;
    return utf8;
}

// Decodes one character of s at i and advances i.
char32_t DecodeNext(const CodePage& cp, std::string_view s, size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    if (!cp.IsUTF8) {
        ++i;
        return cp.ToUnicode[lead];
    }
    int length = 0;
    char32_t c = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    }
    if (length == 0 || i + static_cast<size_t>(length) > s.size()) {
        ++i;
        return InvalidBase + lead;
    }
    for (int k = 1; k < length; ++k) {
        const unsigned char b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return InvalidBase + lead;
        }
        c = (c << 6) | (b & 0x3F);
    }
    // Reject overlong forms, surrogates and values beyond Unicode.
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return InvalidBase + lead;
    }
    i += static_cast<size_t>(length);
    return c;
}

void AppendUtf8(std::string& out, char32_t c) {
    char buffer[6];
    const int n = g_unichar_to_utf8(static_cast<gunichar>(c), buffer);
    out.append(buffer, static_cast<size_t>(n));
}

// Encodes one character into the code page; characters it cannot hold become "?".
void AppendAnsi(const CodePage& cp, std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (cp.IsUTF8) {
        AppendUtf8(out, c);
    } else {
        for (int b = 128; b < 256; ++b) {
            if (cp.ToUnicode[static_cast<size_t>(b)] == c) {
                out += static_cast<char>(b);
                return;
            }
        }
        out += '?';
    }
}

inline unsigned AsciiLower(unsigned c) {
    return c - 'A' < 26u ? c + 32 : c;
}

char32_t Fold(char32_t c) {
    if (c < 0x80) return AsciiLower(c);
    if (c >= InvalidBase) return c;
    return g_unichar_tolower(g_unichar_toupper(static_cast<gunichar>(c)));
}

inline unsigned AsciiUpper(unsigned c) {
    return c - 'a' < 26u ? c - 32 : c;
}

// Appends s with each character mapped. A character outside ASCII never holds an ASCII byte, so
// runs of ASCII bytes are mapped byte by byte (asciiMap, which agrees with map there) and only the
// characters between them are decoded.
template <class AsciiMap, class Map>
void AppendMappedCase(std::string_view s, std::string& out, AsciiMap asciiMap, Map map) {
    const CodePage& cp = TheCodePage();
    out.reserve(out.size() + s.size());
    const size_t n = s.size();
    for (size_t i = 0; i < n;) {
        size_t end = i;
        while (end < n && static_cast<unsigned char>(s[end]) < 0x80)
            ++end;
        if (end > i) {
            const size_t at = out.size();
            out.resize(at + (end - i));
            char* to = out.data() + at;
            for (; i < end; ++i)
                *to++ = static_cast<char>(asciiMap(static_cast<unsigned char>(s[i])));
            continue;
        }
        const size_t start = i;
        const char32_t c = DecodeNext(cp, s, i);
        if (c >= InvalidBase)
            out.append(s.substr(start, i - start)); // an undecodable byte stays as it is
        else
            AppendAnsi(cp, out, map(c));
    }
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c >= InvalidBase) c = Replacement;
    if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

template <class Emit> void DecodeUtf16(std::u16string_view s, Emit emit) {
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = Replacement;
        }
        emit(c);
    }
}

} // namespace

const std::string& SystemCodePage() {
    return TheCodePage().Name;
}

bool SystemCodePageIsUTF8() {
    return TheCodePage().IsUTF8;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const CodePage& cp = TheCodePage();
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[j]);
        if (x == y && x < 0x80) { // fast paths for ASCII
            ++i;
            ++j;
            continue;
        }
        if (x < 0x80 && y < 0x80) {
            const unsigned fx = AsciiLower(x);
            const unsigned fy = AsciiLower(y);
            if (fx != fy) return fx < fy ? -1 : 1;
            ++i;
            ++j;
            continue;
        }
        const char32_t cx = Fold(DecodeNext(cp, a, i));
        const char32_t cy = Fold(DecodeNext(cp, b, j));
        if (cx != cy) return cx < cy ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
    return AnsiCompareText(a, b) == 0;
}

int CompareStr(std::string_view a, std::string_view b) {
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

void AppendAnsiUpperCase(std::string_view s, std::string& out) {
    AppendMappedCase(s, out, AsciiUpper,
                     [](char32_t c) -> char32_t { return g_unichar_toupper(static_cast<gunichar>(c)); });
}

std::string AnsiUpperCase(std::string_view s) {
    std::string out;
    AppendAnsiUpperCase(s, out);
    return out;
}

std::string AnsiLowerCase(std::string_view s) {
    std::string out;
    AppendMappedCase(s, out, AsciiLower,
                     [](char32_t c) -> char32_t { return g_unichar_tolower(static_cast<gunichar>(c)); });
    return out;
}

std::string AnsiToUtf8(std::string_view s) {
    const CodePage& cp = TheCodePage();
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const char32_t c = DecodeNext(cp, s, i);
        AppendUtf8(out, c >= InvalidBase ? Replacement : c);
    }
    return out;
}

std::string Utf8ToAnsi(std::string_view s) {
    const CodePage& cp = TheCodePage();
    const CodePage& utf8 = Utf8CodePage();
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const char32_t c = DecodeNext(utf8, s, i);
        AppendAnsi(cp, out, c >= InvalidBase ? Replacement : c);
    }
    return out;
}

std::u16string AnsiToWide(std::string_view s) {
    const CodePage& cp = TheCodePage();
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();)
        AppendUtf16(out, DecodeNext(cp, s, i));
    return out;
}

std::string WideToAnsi(std::u16string_view s) {
    const CodePage& cp = TheCodePage();
    std::string out;
    out.reserve(s.size());
    DecodeUtf16(s, [&](char32_t c) { AppendAnsi(cp, out, c); });
    return out;
}

std::string WideToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    DecodeUtf16(s, [&](char32_t c) { AppendUtf8(out, c); });
    return out;
}

std::u16string Utf8ToWide(std::string_view s) {
    const CodePage& utf8 = Utf8CodePage();
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();)
        AppendUtf16(out, DecodeNext(utf8, s, i));
    return out;
}

char AsciiLowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLowerCase(std::string_view s) {
    std::string result(s);
    for (char& c : result)
        c = AsciiLowerChar(c);
    return result;
}

bool AsciiSameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AsciiStartsText(a, 0, b);
}

bool AsciiStartsText(std::string_view text, size_t at, std::string_view prefix) {
    if (at > text.size() || text.size() - at < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (AsciiLowerChar(text[at + i]) != AsciiLowerChar(prefix[i])) return false;
    return true;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecode(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int hi, lo;
        if (text[i] == '%' && i + 2 < text.size() && (hi = HexDigitValue(text[i + 1])) >= 0 &&
            (lo = HexDigitValue(text[i + 2])) >= 0) {
            result += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

bool StartsWithBackslash(std::string_view s) {
    return !s.empty() && s.front() == '\\';
}

bool EndsWithBackslash(std::string_view s) {
    return !s.empty() && s.back() == '\\';
}
