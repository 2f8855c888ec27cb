// The lenient XML reader every description file of a book goes through. It takes nested elements,
// attributes whose values are quoted text or unquoted typed literals (Width=640, Flat=True),
// quoted values over several lines, and character data between tags. It knows no declaration,
// processing instruction, comment, CDATA, DOCTYPE, entity or namespace; "<" and "\" are the only
// special bytes in content. Its messages (with line numbers) are what book authors see.
//
// Two layers: TSpaceParser turns bytes into tokens, TXMLParser drives it through the element
// grammar and builds the tree of TXMLNode.
#pragma once

#include "u_Classes.h"
#include "u_Dictionary.h"
#include "u_SysUtils.h"
#include "u_Variants.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

TV_DECLARE_EXCEPTION(EParserError, Exception);
TV_DECLARE_EXCEPTION(ESpaceXMLParserError, Exception);

inline constexpr const char* SParseError = "%s on line %d";
inline constexpr const char* SIdentifierExpected = "Identifier expected";
inline constexpr const char* SStringExpected = "String expected";
inline constexpr const char* SNumberExpected = "Number expected";
inline constexpr const char* SCharExpected = "''%s'' expected";
inline constexpr const char* SSymbolExpected = "%s expected";
inline constexpr const char* SInvalidString = "Invalid string constant";
inline constexpr const char* SLineTooLong = "Line too long";
inline constexpr const char* SErrorInXML = "Error in XML";
inline constexpr const char* SAttributeTypeNotSupported = "Attribute type not supported";

// Token kinds; any other value is the single byte that forms the token.
enum : int { toEOF = 0, toIdentifier = 1, toText = 2, toInteger = 3, toFloat = 4, toWideText = 5 };

class TSpaceParser {
  public:
    // The window the input is scanned through; a line must fit into it.
    static constexpr int32_t WindowSize = 0x40000;

    // Reads the first token at once. The stream is not owned and must outlive the parser.
    TSpaceParser(TStream& stream, bool characterMode);
    TSpaceParser(const TSpaceParser&) = delete;
    TSpaceParser& operator=(const TSpaceParser&) = delete;

    int NextToken();
    int Token() const { return FToken; }
    std::string TokenText() const;
    int64_t TokenInteger() const;
    double TokenFloat() const;
    const std::u16string& TokenWideText() const { return FWideText; }
    // The type suffix of a float literal ('C', 'D', 'S' in either case) or 0.
    char FloatType() const { return FFloatType; }
    bool IsSymbol(std::string_view name) const;

    void Expect(int kind);
    void ExpectSymbol(std::string_view name);
    void ExpectOneOf(std::initializer_list<int> kinds);
    [[noreturn]] void ReportError(const std::string& message) const;

    bool CharacterMode = false;
    int32_t LineNumber = 1;

  private:
    void FillWindow();
    bool AtCut() const { return FPos == FCut && FCut < FEnd; }
    void SkipBlanks();
    void ScanDoubleQuoted();
    void ScanSingleQuoted();
    static std::string ExpectationText(int kind);

    // The whole input with a zero byte behind it. The window is emulated over it: FCut is where
    // the loaded part ends (a zero byte stands there while it is in force), so the scanners meet
    // the same zero bytes, at the same places, as a scan through a 262,144-byte window would.
    std::string FData;
    size_t FEnd = 0;     // size of the input
    size_t FCut = 0;     // end of the loaded part
    char FSavedByte = 0; // the input byte under the zero at FCut
    size_t FPos = 0;     // scan position
    size_t FTokenStart = 0;
    int FToken = toEOF;
    char FFloatType = 0;
    bool FLiteral = false; // the current token is a quoted literal, its content in FText
    std::string FText;
    std::u16string FWideText;
};

class TXMLNode;
class TXMLNodes;

class TXMLAttribute {
  public:
    explicit TXMLAttribute(std::string_view name) : Name(name) {}
    std::string Name;
    Variant Value;
};

// Attributes by name, compared ignoring case; no order is kept.
class TXMLAttributes {
  public:
    TXMLAttribute* Find(std::string_view name) const { return FItems.Find(name); }
    // A copy of the attribute's value, or of defaultValue when there is no such attribute.
    Variant ValueOf(std::string_view name, const Variant& defaultValue) const;
    // Used by the reader: a new attribute with an empty value.
    TXMLAttribute* Add(std::string_view name);
    int32_t Count() const { return FItems.Count(); }
    template <class F> void ForEach(F f) const {
        FItems.ForEach([&](const std::string&, TXMLAttribute* attribute) { f(*attribute); });
    }

  private:
    TObjectDictionary<TXMLAttribute> FItems{true, true, true};
};

// The child elements of a node, in document order; owns them.
class TXMLNodes {
  public:
    TXMLNodes(TXMLNode* ownerNode, int32_t level) : OwnerNode(ownerNode), Level(level) {}
    TXMLNodes(const TXMLNodes&) = delete;
    TXMLNodes& operator=(const TXMLNodes&) = delete;
    ~TXMLNodes();

    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    // Fails with EListError "List index out of bounds (%d)" outside 0 .. Count-1.
    TXMLNode* Items(int32_t index) const;
    TXMLNode* operator[](int32_t index) const { return Items(index); }
    // The first child whose name equals name ignoring case, or nullptr.
    TXMLNode* FindByName(std::string_view name) const;
    // Used by the reader: a new last child.
    TXMLNode* Add(std::string_view name);

    TXMLNode* const OwnerNode;
    const int32_t Level;

  private:
    friend class TXMLNode;
    std::vector<std::unique_ptr<TXMLNode>> FItems;
};

class TXMLNode {
  public:
    TXMLNode(std::string_view name, int32_t index, int32_t level, TXMLNodes* owner)
        : Name(name), Index(index), Level(level), Nodes(this, level + 1), Owner(owner) {}
    TXMLNode(const TXMLNode&) = delete;
    TXMLNode& operator=(const TXMLNode&) = delete;
    // Frees the subtree without recursion, so that no nesting depth can exhaust the stack.
    ~TXMLNode();

    // The element that holds this one, or nullptr for the root.
    TXMLNode* Parent() const { return Owner ? Owner->OwnerNode : nullptr; }

    std::string Name;
    std::string Text;
    int32_t Index;
    int32_t Level;
    TXMLNodes Nodes;
    TXMLNodes* Owner;
    TXMLAttributes Attributes;
};

class TXMLParser {
  public:
    TXMLParser() = default;
    TXMLParser(const TXMLParser&) = delete;
    TXMLParser& operator=(const TXMLParser&) = delete;

    // The document as wide text; converted to the system code page first.
    void Parse(std::u16string_view text);
    // The document as 8-bit text in the system code page, read as it is.
    void ParseText(std::string_view text);
    // Frees the previous tree and builds a new one. When it fails, Root holds what was built up to
    // the failure (or nothing).
    void ParseStream(TStream& stream);

    TXMLNode* Root() const { return FRoot.get(); }

  private:
    std::unique_ptr<TXMLNode> FRoot;
};
