#include "u_XMLParser.h"

#include "u_Text.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsIdentStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(unsigned char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}
bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool IsFloatChar(unsigned char c) {
    return IsDigit(c) || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e';
}
bool IsFloatSuffix(unsigned char c) {
    return c == 'C' || c == 'D' || c == 'S' || c == 'c' || c == 'd' || c == 's';
}

// Highest character code a "#" piece may name: the last Unicode code point. Larger numbers have
// no character to stand for and are refused instead of being cut to 16 bits.
constexpr uint32_t MaxCharCode = 0x10FFFF;

void AppendCodeUnit(std::u16string& text, uint32_t code) {
    if (code < 0x10000) {
        text += static_cast<char16_t>(code);
    } else {
        code -= 0x10000;
        text += static_cast<char16_t>(0xD800 + (code >> 10));
        text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TSpaceParser

TSpaceParser::TSpaceParser(TStream& stream, bool characterMode) : CharacterMode(characterMode) {
    char chunk[65536];
    for (;;) {
        const int32_t count = stream.Read(chunk, sizeof chunk);
        if (count <= 0) break;
        FData.append(chunk, static_cast<size_t>(count));
    }
    FEnd = FData.size();
    FData.push_back('\0');
    FCut = FEnd; // nothing loaded yet and nothing to restore
    FillWindow();
    NextToken();
}

void TSpaceParser::FillWindow() {
    if (FCut < FEnd) FData[FCut] = FSavedByte;
    // The unread rest starts the window and the input fills it up. A completely full window is
    // cut just after its last line feed, so that no line is split between two fills.
    if (FEnd - FPos >= static_cast<size_t>(WindowSize)) {
        const void* lastLF = memrchr(FData.data() + FPos, '\n', static_cast<size_t>(WindowSize));
        if (!lastLF) {
            FCut = FEnd;
            ReportError(SLineTooLong);
        }
        FCut = static_cast<size_t>(static_cast<const char*>(lastLF) - FData.data()) + 1;
        FSavedByte = FData[FCut];
        FData[FCut] = '\0';
    } else {
        FCut = FEnd;
    }
}

void TSpaceParser::SkipBlanks() {
    for (;;) {
        const unsigned char c = static_cast<unsigned char>(FData[FPos]);
        if (c == 0) {
            if (!AtCut()) return;
            FillWindow();
            continue;
        }
        if (c > ' ') return;
        if (c == '\n') ++LineNumber;
        ++FPos;
    }
}

void TSpaceParser::ScanDoubleQuoted() {
    ++FPos;
    for (;;) {
        const char c = FData[FPos];
        if (c == '\0') {
            if (!AtCut()) ReportError(SInvalidString);
            FillWindow();
            continue;
        }
        if (c == '"') {
            if (FData[FPos + 1] != '"') {
                ++FPos;
                return;
            }
            ++FPos; // two double quotes stand for one
        } else if (c == '\n') {
            ++LineNumber;
        }
        FText += c;
        ++FPos;
    }
}

void TSpaceParser::ScanSingleQuoted() {
    // Pieces are kept apart until the end, because one code above 255 anywhere turns the whole
    // literal into wide text.
    struct TPiece {
        std::string Quoted;
        uint32_t Code;
        bool IsCode;
    };
    std::vector<TPiece> pieces;
    bool wide = false;
    for (;;) {
        const char c = FData[FPos];
        if (c == '\'') {
            ++FPos;
            std::string quoted;
            for (;;) {
                const char q = FData[FPos];
                if (q == '\0') {
                    if (!AtCut()) ReportError(SInvalidString);
                    FillWindow();
                    continue;
                }
                if (q == '\'') {
                    if (FData[FPos + 1] != '\'') {
                        ++FPos;
                        break;
                    }
                    ++FPos;
                } else if (q == '\n') {
                    ++LineNumber;
                }
                quoted += q;
                ++FPos;
            }
            pieces.push_back({std::move(quoted), 0, false});
        } else if (c == '#') {
            ++FPos;
            uint32_t code = 0;
            while (IsDigit(static_cast<unsigned char>(FData[FPos]))) {
                code = code * 10 + static_cast<uint32_t>(FData[FPos] - '0');
                if (code > MaxCharCode) ReportError(SInvalidString);
                ++FPos;
            }
            if (code > 255) wide = true;
            pieces.push_back({{}, code, true});
        } else {
            break;
        }
    }
    if (wide) {
        FToken = toWideText;
        // Quoted bytes are text in the system code page; they are converted as such so that a
        // character written in the file keeps its meaning next to the "#" codes.
        for (const TPiece& piece : pieces) {
            if (piece.IsCode)
                AppendCodeUnit(FWideText, piece.Code);
            else
                FWideText += AnsiToWide(piece.Quoted);
        }
    } else {
        FToken = toText;
        for (const TPiece& piece : pieces) {
            if (!piece.IsCode)
                FText += piece.Quoted;
            else if (piece.Code < 128)
                FText += static_cast<char>(piece.Code);
            else // the same character as in wide text, in the system code page (UTF-8: two bytes)
                FText += WideToAnsi(std::u16string(1, static_cast<char16_t>(piece.Code)));
        }
    }
}

int TSpaceParser::NextToken() {
    FLiteral = false;
    FFloatType = 0;
    FText.clear();
    FWideText.clear();
    if (CharacterMode) {
        if (FData[FPos] == '\0' && AtCut()) FillWindow();
        FTokenStart = FPos;
        const unsigned char c = static_cast<unsigned char>(FData[FPos]);
        if (c == 0) return FToken = toEOF;
        if (c == '\n') ++LineNumber;
        ++FPos;
        return FToken = c;
    }
    SkipBlanks();
    FTokenStart = FPos;
    const unsigned char c = static_cast<unsigned char>(FData[FPos]);
    if (IsIdentStart(c)) {
        ++FPos;
        while (IsIdentChar(static_cast<unsigned char>(FData[FPos])))
            ++FPos;
        FToken = toIdentifier;
    } else if (c == '"') {
        FLiteral = true;
        FToken = toText;
        ScanDoubleQuoted();
    } else if (c == '\'' || c == '#') {
        FLiteral = true;
        ScanSingleQuoted();
    } else if (c == '$') {
        ++FPos;
        while (HexDigitValue(FData[FPos]) >= 0)
            ++FPos;
        FToken = toInteger;
    } else if (c == '-' || IsDigit(c)) {
        ++FPos;
        while (IsDigit(static_cast<unsigned char>(FData[FPos])))
            ++FPos;
        FToken = toInteger;
        if (IsFloatChar(static_cast<unsigned char>(FData[FPos]))) {
            while (IsFloatChar(static_cast<unsigned char>(FData[FPos])))
                ++FPos;
            FToken = toFloat;
        }
        if (IsFloatSuffix(static_cast<unsigned char>(FData[FPos]))) {
            FFloatType = FData[FPos];
            ++FPos;
            FToken = toFloat;
        }
    } else if (c == 0) {
        FToken = toEOF;
    } else {
        ++FPos;
        FToken = c;
    }
    return FToken;
}

std::string TSpaceParser::TokenText() const {
    if (FLiteral) return FToken == toWideText ? WideToAnsi(FWideText) : FText;
    return FData.substr(FTokenStart, FPos - FTokenStart);
}

int64_t TSpaceParser::TokenInteger() const {
    return StrToInt64(TokenText());
}

double TSpaceParser::TokenFloat() const {
    std::string text = TokenText();
    if (FFloatType) text.pop_back();
    return StrToFloat(text);
}

bool TSpaceParser::IsSymbol(std::string_view name) const {
    return FToken == toIdentifier &&
           AnsiSameText(std::string_view(FData).substr(FTokenStart, FPos - FTokenStart), name);
}

std::string TSpaceParser::ExpectationText(int kind) {
    switch (kind) {
    case toIdentifier:
        return SIdentifierExpected;
    case toText:
    case toWideText:
        return SStringExpected;
    case toInteger:
    case toFloat:
        return SNumberExpected;
    case toEOF:
        return Format(SCharExpected, "toEOF");
    default:
        return Format(SCharExpected, std::string(1, static_cast<char>(kind)).c_str());
    }
}

void TSpaceParser::Expect(int kind) {
    if (FToken != kind) ReportError(ExpectationText(kind));
}

void TSpaceParser::ExpectSymbol(std::string_view name) {
    if (!IsSymbol(name)) ReportError(Format(SSymbolExpected, std::string(name).c_str()));
}

void TSpaceParser::ExpectOneOf(std::initializer_list<int> kinds) {
    if (std::find(kinds.begin(), kinds.end(), FToken) != kinds.end()) return;
    std::string message;
    for (const int kind : kinds) {
        if (!message.empty()) message += "\r\nor ";
        message += ExpectationText(kind);
    }
    ReportError(message);
}

void TSpaceParser::ReportError(const std::string& message) const {
    throw EParserError(Format(SParseError, message.c_str(), LineNumber));
}

// ---------------------------------------------------------------------------------------------
// Tree

Variant TXMLAttributes::ValueOf(std::string_view name, const Variant& defaultValue) const {
    const TXMLAttribute* attribute = Find(name);
    return attribute ? attribute->Value : defaultValue;
}

TXMLAttribute* TXMLAttributes::Add(std::string_view name) {
    auto attribute = std::make_unique<TXMLAttribute>(name);
    FItems.Add(name, attribute.get());
    return attribute.release();
}

TXMLNodes::~TXMLNodes() = default;

TXMLNode* TXMLNodes::Items(int32_t index) const {
    if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, index));
    return FItems[static_cast<size_t>(index)].get();
}

TXMLNode* TXMLNodes::FindByName(std::string_view name) const {
    for (const auto& node : FItems)
        if (AnsiSameText(node->Name, name)) return node.get();
    return nullptr;
}

TXMLNode* TXMLNodes::Add(std::string_view name) {
    FItems.push_back(std::make_unique<TXMLNode>(name, Count(), Level, this));
    return FItems.back().get();
}

TXMLNode::~TXMLNode() {
    std::vector<std::unique_ptr<TXMLNode>> pending = std::move(Nodes.FItems);
    while (!pending.empty()) {
        std::unique_ptr<TXMLNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->Nodes.FItems)
            pending.push_back(std::move(child));
        node->Nodes.FItems.clear();
    }
}

// ---------------------------------------------------------------------------------------------
// TXMLParser

void TXMLParser::Parse(std::u16string_view text) {
    ParseText(WideToAnsi(text));
}

void TXMLParser::ParseText(std::string_view text) {
    TReadOnlyMemoryStream stream(text);
    ParseStream(stream);
}

void TXMLParser::ParseStream(TStream& stream) {
    FRoot.reset();
    TSpaceParser parser(stream, false);
    if (parser.Token() == toEOF) {
        FRoot = std::make_unique<TXMLNode>("", 0, 0, nullptr);
        return;
    }
    parser.Expect('<');
    parser.NextToken();
    parser.Expect(toIdentifier);
    FRoot = std::make_unique<TXMLNode>(parser.TokenText(), 0, 0, nullptr);

    TXMLNode* current = FRoot.get();
    std::vector<TXMLNode*> ancestors;
    const auto closeElement = [&] {
        if (ancestors.empty()) {
            current = nullptr;
        } else {
            current = ancestors.back();
            ancestors.pop_back();
        }
    };
    bool inTag = true;
    parser.NextToken();
    while (parser.Token() != toEOF) {
        const int token = parser.Token();
        if (inTag) {
            if (token == toIdentifier) {
                const std::string name = parser.TokenText();
                parser.NextToken();
                parser.Expect('=');
                parser.NextToken();
                parser.ExpectOneOf({toText, toWideText, toInteger, toFloat, toIdentifier});
                Variant value;
                switch (parser.Token()) {
                case toText:
                    value = parser.TokenText();
                    break;
                case toWideText:
                    value = parser.TokenWideText();
                    break;
                case toInteger:
                    // Only the low 32 bits are kept: 4294967297 reads as 1.
                    value = static_cast<int32_t>(static_cast<uint32_t>(parser.TokenInteger()));
                    break;
                case toFloat:
                    value = parser.TokenFloat();
                    break;
                default:
                    if (parser.IsSymbol("null"))
                        value = Variant::Null();
                    else if (parser.IsSymbol("empty"))
                        value = Variant();
                    else if (parser.IsSymbol("true"))
                        value = true;
                    else if (parser.IsSymbol("false"))
                        value = false;
                    else
                        throw ESpaceXMLParserError(SAttributeTypeNotSupported);
                }
                TXMLAttribute* attribute = current->Attributes.Find(name);
                if (!attribute) attribute = current->Attributes.Add(name);
                attribute->Value = std::move(value);
            } else if (token == '/') {
                parser.NextToken();
                parser.Expect('>');
                closeElement();
                inTag = false;
                parser.CharacterMode = true;
            } else if (token == '>') {
                inTag = false;
                parser.CharacterMode = true;
            } else {
                throw ESpaceXMLParserError(SErrorInXML);
            }
        } else if (token == '<') {
            parser.CharacterMode = false;
            parser.NextToken();
            parser.ExpectOneOf({toIdentifier, '/'});
            if (parser.Token() == toIdentifier) {
                ancestors.push_back(current);
                current = current->Nodes.Add(parser.TokenText());
                inTag = true;
            } else {
                parser.NextToken();
                parser.ExpectSymbol(current->Name);
                parser.NextToken();
                parser.Expect('>');
                closeElement();
                parser.CharacterMode = current != nullptr;
            }
        } else if (token == '\\') {
            // The byte after a backslash is taken as it is (end of input adds nothing).
            parser.NextToken();
            if (parser.Token() != toEOF) current->Text += static_cast<char>(parser.Token());
        } else {
            current->Text += static_cast<char>(token);
        }
        if (!current) parser.CharacterMode = false;
        parser.NextToken();
        if (!current) parser.Expect(toEOF);
    }
    if (current) throw ESpaceXMLParserError(SErrorInXML);
}
