#include "u_WinInet.h"
#include "u_Text.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

namespace {

thread_local DWORD LastError = 0;

// Length of the scheme including its colon, or 0 when the URL does not start with one.
size_t SchemeLength(std::string_view url) {
    if (url.empty() || !std::isalpha(static_cast<unsigned char>(url[0]))) return 0;
    for (size_t i = 1; i < url.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (c == ':') return i + 1;
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return 0;
    }
    return 0;
}

// Removes "." and ".." segments from an absolute path, the way relative references are resolved
// on the web: ".." above the root stays at the root.
std::string RemoveDotSegments(std::string_view path) {
    std::string output;
    size_t i = 0;
    while (i < path.size()) {
        const size_t end = path.find('/', i + 1);
        const std::string_view segment = path.substr(i, end == std::string_view::npos ? path.npos : end - i);
        const bool last = end == std::string_view::npos;
        if (segment == "/." || segment == "/..") {
            if (segment == "/..") {
                const size_t cut = output.rfind('/');
                output.erase(cut == std::string::npos ? 0 : cut);
            }
            if (last) output += '/';
        } else {
            output += segment;
        }
        if (last) break;
        i = end;
    }
    return output;
}

std::string Canonicalize(std::string_view url, DWORD flags) {
    std::string text = (flags & ICU_DECODE) ? PercentDecode(url) : std::string(url);

    const size_t schemeLength = SchemeLength(text);
    if (!(flags & ICU_NO_META) && text.compare(schemeLength, 2, "//") == 0) {
        const size_t pathStart = text.find_first_of("/?#", schemeLength + 2);
        if (pathStart != std::string::npos && text[pathStart] == '/') {
            const size_t pathEnd = std::min(text.find_first_of("?#", pathStart), text.size());
            text = text.substr(0, pathStart) +
                   RemoveDotSegments(std::string_view(text).substr(pathStart, pathEnd - pathStart)) +
                   text.substr(pathEnd);
        }
    }

    if (flags & ICU_NO_ENCODE) return text;
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool escape = c == ' ' || ((c == '%') && (flags & ICU_ENCODE_PERCENT)) ||
                            (!(flags & ICU_ENCODE_SPACES_ONLY) && (c < 0x20 || c == 0x7F));
        if (escape) {
            result += '%';
            result += Hex[c >> 4];
            result += Hex[c & 15];
        } else {
            result += ch;
        }
    }
    return result;
}

} // namespace

DWORD GetLastError() {
    return LastError;
}
void SetLastError(DWORD error) {
    LastError = error;
}

bool InternetCanonicalizeUrlA(const char* url, char* buffer, DWORD* length, DWORD flags) {
    if (!url || !length || (!buffer && *length > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (SchemeLength(url) == 0) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return false;
    }
    const std::string canonical = Canonicalize(url, flags);
    if (canonical.size() + 1 > *length) {
        *length = static_cast<DWORD>(canonical.size() + 1);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    std::memcpy(buffer, canonical.c_str(), canonical.size() + 1);
    *length = static_cast<DWORD>(canonical.size());
    return true;
}
