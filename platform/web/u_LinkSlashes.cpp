// Turning the "\" of Windows-style links into "/" in served HTML and CSS (see u_WebURLSession.h).
#include "u_WebURLSession.h"

#include "u_Text.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

void Forward(std::string& text, size_t begin, size_t end) {
    std::replace(text.begin() + static_cast<std::ptrdiff_t>(begin),
                 text.begin() + static_cast<std::ptrdiff_t>(end), '\\', '/');
}

// A link value that is itself a script keeps its backslashes: there they are escapes.
bool IsScriptValue(std::string_view value) {
    size_t i = 0;
    while (i < value.size() && IsSpace(value[i]))
        ++i;
    return AsciiStartsText(value, i, "javascript:");
}

// Handles one tag starting at "<" + name; returns the position after its ">".
size_t ForwardTag(std::string& html, size_t pos) {
    const size_t size = html.size();
    while (pos < size && html[pos] != '>') {
        if (IsSpace(html[pos]) || html[pos] == '/') {
            ++pos;
            continue;
        }
        const size_t nameStart = pos;
        while (pos < size && !IsSpace(html[pos]) && html[pos] != '=' && html[pos] != '>' && html[pos] != '/')
            ++pos;
        const std::string_view name(html.data() + nameStart, pos - nameStart);
        const bool isLink = (name.size() == 4 && AsciiStartsText(name, 0, "href")) ||
                            (name.size() == 3 && AsciiStartsText(name, 0, "src"));
        while (pos < size && IsSpace(html[pos]))
            ++pos;
        if (pos >= size || html[pos] != '=') continue;
        ++pos;
        while (pos < size && IsSpace(html[pos]))
            ++pos;
        size_t valueStart = pos, valueEnd;
        if (pos < size && (html[pos] == '"' || html[pos] == '\'')) {
            const char quote = html[pos];
            valueStart = pos + 1;
            valueEnd = html.find(quote, valueStart);
            if (valueEnd == std::string::npos) valueEnd = size;
            pos = std::min(valueEnd + 1, size);
        } else {
            while (pos < size && !IsSpace(html[pos]) && html[pos] != '>')
                ++pos;
            valueEnd = pos;
        }
        if (isLink && !IsScriptValue(std::string_view(html).substr(valueStart, valueEnd - valueStart)))
            Forward(html, valueStart, valueEnd);
    }
    return std::min(pos + 1, size);
}

// Position after the end tag of a raw-text element (script, style) whose content starts at pos.
size_t SkipRawText(const std::string& html, size_t pos, std::string_view name) {
    for (size_t at = html.find("</", pos); at != std::string::npos; at = html.find("</", at + 2))
        if (AsciiStartsText(html, at + 2, name)) return at;
    return html.size();
}

} // namespace

void ForwardSlashLinksInHtml(std::string& html) {
    if (html.find('\\') == std::string::npos) return;
    size_t pos = 0;
    while ((pos = html.find('<', pos)) != std::string::npos) {
        if (html.compare(pos, 4, "<!--") == 0) {
            const size_t end = html.find("-->", pos + 4);
            pos = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        if (pos + 1 >= html.size() || !std::isalpha(static_cast<unsigned char>(html[pos + 1]))) {
            ++pos;
            continue;
        }
        const bool script = AsciiStartsText(html, pos + 1, "script");
        const bool style = AsciiStartsText(html, pos + 1, "style");
        pos = ForwardTag(html, pos + 1);
        if (script) pos = SkipRawText(html, pos, "script");
        if (style) pos = SkipRawText(html, pos, "style");
    }
}

void ForwardSlashUrlsInCss(std::string& css) {
    if (css.find('\\') == std::string::npos) return;
    const size_t size = css.size();
    for (size_t pos = 0; pos < size; ++pos) {
        size_t start;
        if (AsciiStartsText(css, pos, "url(")) {
            start = pos + 4;
        } else if (AsciiStartsText(css, pos, "@import")) {
            start = pos + 7;
        } else {
            continue;
        }
        while (start < size && IsSpace(css[start]))
            ++start;
        size_t end;
        if (start < size && (css[start] == '"' || css[start] == '\'')) {
            const char quote = css[start++];
            end = css.find(quote, start);
        } else {
            end = css.find_first_of(");", start);
        }
        if (end == std::string::npos) end = size;
        Forward(css, start, end);
        pos = end;
    }
}
