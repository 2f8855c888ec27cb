#include "u_HostRequest.h"

#include "u_Text.h"

#include <cstdlib>

TJson::TJson() = default;
TJson::TJson(const TJson&) = default;
TJson::TJson(TJson&&) noexcept = default;
TJson& TJson::operator=(const TJson&) = default;
TJson& TJson::operator=(TJson&&) noexcept = default;
TJson::~TJson() = default;

const TJson* TJson::Member(std::string_view name) const {
    for (const auto& [key, value] : Members)
        if (key == name) return &value;
    return nullptr;
}

namespace {

class TJsonReader {
  public:
    explicit TJsonReader(std::string_view text) : FText(text) {}

    // False for anything that is not one JSON value, also for nesting deeper than the proxies send.
    bool Read(TJson& value) {
        if (!Value(value, 0)) return false;
        Blanks();
        return FAt == FText.size();
    }

  private:
    static constexpr int MaxDepth = 32;

    void Blanks() {
        while (FAt < FText.size() &&
               (FText[FAt] == ' ' || FText[FAt] == '\t' || FText[FAt] == '\n' || FText[FAt] == '\r'))
            ++FAt;
    }
    bool Literal(std::string_view word) {
        if (FText.substr(FAt, word.size()) != word) return false;
        FAt += word.size();
        return true;
    }
    bool Value(TJson& value, int depth) {
        if (depth > MaxDepth) return false;
        Blanks();
        if (FAt >= FText.size()) return false;
        const char c = FText[FAt];
        if (c == '{') return ObjectValue(value, depth);
        if (c == '[') return ArrayValue(value, depth);
        if (c == '"') {
            value.Kind = TJson::String;
            return StringValue(value.StringValue);
        }
        if (Literal("true")) {
            value.Kind = TJson::Bool;
            value.BoolValue = true;
            return true;
        }
        if (Literal("false")) {
            value.Kind = TJson::Bool;
            return true;
        }
        if (Literal("null")) return true;
        return NumberValue(value);
    }
    bool NumberValue(TJson& value) {
        const size_t start = FAt;
        while (FAt < FText.size() &&
               std::string_view("+-0123456789.eE").find(FText[FAt]) != std::string_view::npos)
            ++FAt;
        if (FAt == start) return false;
        const std::string text(FText.substr(start, FAt - start));
        char* end = nullptr;
        value.NumberValue = std::strtod(text.c_str(), &end);
        value.Kind = TJson::Number;
        return end == text.c_str() + text.size();
    }
    bool Hex4(unsigned& code) {
        if (FAt + 4 > FText.size()) return false;
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = HexDigitValue(FText[FAt++]);
            if (digit < 0) return false;
            code = code * 16 + static_cast<unsigned>(digit);
        }
        return true;
    }
    bool StringValue(std::string& out) {
        ++FAt; // the opening quote
        std::u16string units;
        while (FAt < FText.size()) {
            const char c = FText[FAt++];
            if (c == '"') {
                if (!units.empty()) out += WideToUtf8(units);
                return true;
            }
            if (c != '\\') {
                // Plain UTF-8 bytes: the escaped units before them go first.
                if (!units.empty()) {
                    out += WideToUtf8(units);
                    units.clear();
                }
                out += c;
                continue;
            }
            if (FAt >= FText.size()) return false;
            const char e = FText[FAt++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                units += static_cast<char16_t>(e);
                break;
            case 'b':
                units += u'\b';
                break;
            case 'f':
                units += u'\f';
                break;
            case 'n':
                units += u'\n';
                break;
            case 'r':
                units += u'\r';
                break;
            case 't':
                units += u'\t';
                break;
            case 'u': {
                unsigned code;
                if (!Hex4(code)) return false;
                units += static_cast<char16_t>(code);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }
    bool ArrayValue(TJson& value, int depth) {
        ++FAt;
        value.Kind = TJson::Array;
        Blanks();
        if (FAt < FText.size() && FText[FAt] == ']') {
            ++FAt;
            return true;
        }
        for (;;) {
            value.Items.emplace_back();
            if (!Value(value.Items.back(), depth + 1)) return false;
            Blanks();
            if (FAt >= FText.size()) return false;
            if (FText[FAt] == ']') {
                ++FAt;
                return true;
            }
            if (FText[FAt++] != ',') return false;
        }
    }
    bool ObjectValue(TJson& value, int depth) {
        ++FAt;
        value.Kind = TJson::Object;
        Blanks();
        if (FAt < FText.size() && FText[FAt] == '}') {
            ++FAt;
            return true;
        }
        for (;;) {
            Blanks();
            if (FAt >= FText.size() || FText[FAt] != '"') return false;
            std::string key;
            if (!StringValue(key)) return false;
            Blanks();
            if (FAt >= FText.size() || FText[FAt++] != ':') return false;
            value.Members.emplace_back(std::move(key), TJson());
            if (!Value(value.Members.back().second, depth + 1)) return false;
            Blanks();
            if (FAt >= FText.size()) return false;
            if (FText[FAt] == '}') {
                ++FAt;
                return true;
            }
            if (FText[FAt++] != ',') return false;
        }
    }

    std::string_view FText;
    size_t FAt = 0;
};

} // namespace

THostRequest ReadHostRequest(std::string_view uri) {
    THostRequest request;
    const size_t colon = uri.find(':');
    const size_t question = uri.find('?');
    request.Op =
        std::string(question == std::string_view::npos ? uri.substr(colon + 1)
                                                       : uri.substr(colon + 1, question - colon - 1));
    request.Parsed = question != std::string_view::npos &&
                     TJsonReader(PercentDecode(uri.substr(question + 1))).Read(request.Body) &&
                     request.Body.Kind == TJson::Object;
    return request;
}
