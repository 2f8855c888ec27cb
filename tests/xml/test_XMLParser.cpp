#include "u_XMLParser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The failure of parsing text, as "class: message".
std::string FailureOf(std::string_view text) {
    TXMLParser parser;
    try {
        parser.ParseText(text);
    } catch (const EParserError& e) {
        return "EParserError: " + e.Message();
    } catch (const ESpaceXMLParserError& e) {
        return "ESpaceXMLParserError: " + e.Message();
    } catch (const EConvertError& e) {
        return "EConvertError: " + e.Message();
    }
    return "(parsed)";
}

Variant ValueOf(std::string_view attribute) {
    TXMLParser parser;
    parser.ParseText("<a x=" + std::string(attribute) + "/>");
    return parser.Root()->Attributes.ValueOf("x", Variant("(absent)"));
}

TEST(XMLParser, EmptyOrBlankDocumentGivesUnnamedRoot) {
    for (const char* text : {"", "  \r\n\t "}) {
        TXMLParser parser;
        parser.ParseText(text);
        ASSERT_NE(parser.Root(), nullptr);
        EXPECT_EQ(parser.Root()->Name, "");
        EXPECT_EQ(parser.Root()->Nodes.Count(), 0);
        EXPECT_EQ(parser.Root()->Attributes.Count(), 0);
    }
}

TEST(XMLParser, RootWithTypedAttributes) {
    TXMLParser parser;
    parser.Parse(u"<System Width=640 Height=\"480\" RunMaximized=True Title='a''b'/>  \n");
    const TXMLNode* root = parser.Root();
    EXPECT_EQ(root->Name, "System");
    EXPECT_EQ(root->Attributes.ValueOf("width", Variant()), Variant(int32_t{640}));
    EXPECT_EQ(root->Attributes.ValueOf("HEIGHT", Variant()), Variant("480"));
    EXPECT_EQ(root->Attributes.ValueOf("RunMaximized", Variant()), Variant(true));
    EXPECT_EQ(root->Attributes.ValueOf("Title", Variant()), Variant("a'b"));
    EXPECT_EQ(root->Attributes.ValueOf("Missing", Variant(int32_t{7})), Variant(int32_t{7}));
    EXPECT_EQ(root->Nodes.Count(), 0);
}

TEST(XMLParser, UnquotedLiterals) {
    EXPECT_EQ(ValueOf("$1F"), Variant(int32_t{31}));
    EXPECT_EQ(ValueOf("-5"), Variant(int32_t{-5}));
    EXPECT_EQ(ValueOf("1.5"), Variant(1.5));
    EXPECT_EQ(ValueOf("2e3"), Variant(2000.0));
    EXPECT_EQ(ValueOf("10s"), Variant(10.0));
    EXPECT_EQ(ValueOf("4294967297"), Variant(int32_t{1}));
    EXPECT_EQ(ValueOf("NULL").VarType(), varNull);
    EXPECT_EQ(ValueOf("Empty").VarType(), varEmpty);
    EXPECT_EQ(ValueOf("fAlSe"), Variant(false));
    EXPECT_EQ(ValueOf("\"a\\b\""), Variant("a\\b")); // no escapes in quoted text
    EXPECT_EQ(ValueOf("\"say \"\"hi\"\"\""), Variant("say \"hi\""));
}

TEST(XMLParser, SingleQuotedPiecesAndCharacterCodes) {
    EXPECT_EQ(ValueOf("'line'#13#10'next'"), Variant("line\r\nnext"));
    EXPECT_EQ(ValueOf("#65#66"), Variant("AB"));
    EXPECT_EQ(ValueOf("#300"), Variant(std::u16string(1, char16_t{300})));
    EXPECT_EQ(ValueOf("'x'#8364'y'"), Variant(u"x\u20ACy"));
    // A code beyond 16 bits becomes a surrogate pair, not a truncated unit.
    EXPECT_EQ(ValueOf("#128512"), Variant(u"\U0001F600"));
    EXPECT_EQ(FailureOf("<a x=#9999999/>"), "EParserError: Invalid string constant on line 1");
}

TEST(XMLParser, CharacterCodesAbove127AreCharactersOfTheCodePage) {
    // The system code page here is UTF-8: one character, two bytes, still plain text.
    const Variant cafe = ValueOf("'Caf'#233");
    EXPECT_EQ(cafe.VarType(), varString);
    EXPECT_EQ(cafe, Variant("Caf\xC3\xA9"));
    // The same text as when a code above 255 makes the literal wide.
    EXPECT_EQ(ValueOf("'Caf'#233#8364").AsString(), "Caf\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(ValueOf("#127#128#255"), Variant("\x7F\xC2\x80\xC3\xBF"));
}

TEST(XMLParser, MultiLineValueCountsItsLines) {
    TXMLParser parser;
    parser.ParseText("<a x=\"one\r\ntwo\r\nthree\"/>");
    EXPECT_EQ(parser.Root()->Attributes.ValueOf("x", Variant()), Variant("one\r\ntwo\r\nthree"));
    EXPECT_EQ(FailureOf("<a\nx=\"one\r\ntwo\r\nthree\" y/>"), "EParserError: ''='' expected on line 4");
    EXPECT_EQ(FailureOf("<a x='1\n2\n3' y/>"), "EParserError: ''='' expected on line 3");
}

TEST(XMLParser, BlanksAreOptionalInsideTags) {
    TXMLParser parser;
    parser.ParseText("<a b = \"1\"c=\"2\" ></ a >");
    EXPECT_EQ(parser.Root()->Attributes.ValueOf("b", Variant()), Variant("1"));
    EXPECT_EQ(parser.Root()->Attributes.ValueOf("c", Variant()), Variant("2"));
    parser.ParseText("< a ></A>");
    EXPECT_EQ(parser.Root()->Name, "a");
}

TEST(XMLParser, RepeatedAttributeOverwritesFirst) {
    TXMLParser parser;
    parser.ParseText("<a Key=1 KEY=2/>");
    ASSERT_EQ(parser.Root()->Attributes.Count(), 1);
    const TXMLAttribute* attribute = parser.Root()->Attributes.Find("key");
    ASSERT_NE(attribute, nullptr);
    EXPECT_EQ(attribute->Name, "Key");
    EXPECT_EQ(attribute->Value, Variant(int32_t{2}));
    EXPECT_EQ(parser.Root()->Attributes.Find("KEY"), attribute);
}

TEST(XMLParser, ContentIsRawExceptBackslash) {
    TXMLParser parser;
    parser.ParseText("<a>x\\<y\\\\z</a>");
    EXPECT_EQ(parser.Root()->Text, "x<y\\z");
    parser.ParseText("<a>C:\\dir</a>");
    EXPECT_EQ(parser.Root()->Text, "C:dir");
    parser.ParseText("<a>&amp; > \"'</a>");
    EXPECT_EQ(parser.Root()->Text, "&amp; > \"'");
}

TEST(XMLParser, TextCollectsContentAroundChildren) {
    TXMLParser parser;
    parser.ParseText("<Story>\r\n  <item page=\"a\"/>\r\n  <item page=\"b\"/>\r\n</Story>");
    const TXMLNode* root = parser.Root();
    EXPECT_EQ(root->Text, "\r\n  \r\n  \r\n");
    ASSERT_EQ(root->Nodes.Count(), 2);
    EXPECT_EQ(root->Nodes[0]->Text, "");
    EXPECT_EQ(root->Nodes[1]->Attributes.ValueOf("page", Variant()), Variant("b"));
}

TEST(XMLParser, TreeShape) {
    TXMLParser parser;
    parser.ParseText("<r><a/><b><c/></b><A/></r>");
    const TXMLNodes& top = parser.Root()->Nodes;
    ASSERT_EQ(top.Count(), 3);
    const TXMLNode* b = top[1];
    EXPECT_EQ(top[0]->Level, 1);
    EXPECT_EQ(top[0]->Index, 0);
    EXPECT_EQ(b->Level, 1);
    EXPECT_EQ(b->Index, 1);
    EXPECT_EQ(b->Nodes[0]->Level, 2);
    EXPECT_EQ(b->Nodes[0]->Index, 0);
    EXPECT_EQ(b->Nodes[0]->Parent(), b);
    EXPECT_EQ(b->Parent(), parser.Root());
    EXPECT_EQ(parser.Root()->Parent(), nullptr);
    EXPECT_EQ(top.FindByName("A"), top[0]); // the first of the same name
    EXPECT_EQ(top.FindByName("x"), nullptr);
    try {
        top.Items(3);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (3)");
    }
}

TEST(XMLParser, FindByNameIgnoresCase) {
    TXMLParser parser;
    parser.ParseText("<System><TOOLBAR/></System>");
    EXPECT_NE(parser.Root()->Nodes.FindByName("toolbar"), nullptr);
}

TEST(XMLParser, SyntaxErrorMessages) {
    EXPECT_EQ(FailureOf("x"), "EParserError: ''<'' expected on line 1");
    EXPECT_EQ(FailureOf("<?xml version=\"1.0\"?><a/>"), "EParserError: Identifier expected on line 1");
    EXPECT_EQ(FailureOf("<a>\n<!-- note --></a>"),
              "EParserError: Identifier expected\r\nor ''/'' expected on line 2");
    EXPECT_EQ(FailureOf("<a></b>"), "EParserError: a expected on line 1");
    EXPECT_EQ(FailureOf("<a></a x>"), "EParserError: ''>'' expected on line 1");
    EXPECT_EQ(FailureOf("<a/>x"), "EParserError: ''toEOF'' expected on line 1");
    EXPECT_EQ(FailureOf("<a/>\n\n<b/>"), "EParserError: ''toEOF'' expected on line 3");
    EXPECT_EQ(FailureOf("<a><b>"), "ESpaceXMLParserError: Error in XML");
    EXPECT_EQ(FailureOf("<a x=1"), "ESpaceXMLParserError: Error in XML");
    EXPECT_EQ(FailureOf("<a / b>"), "EParserError: ''>'' expected on line 1");
    EXPECT_EQ(FailureOf("<a x=/>"), "EParserError: String expected\r\nor String expected\r\nor Number "
                                    "expected\r\nor Number expected\r\nor Identifier expected on line 1");
    EXPECT_EQ(FailureOf("<a x=abc/>"), "ESpaceXMLParserError: Attribute type not supported");
    EXPECT_EQ(FailureOf("<a data-x=\"1\"/>"), "EParserError: ''='' expected on line 1");
    EXPECT_EQ(FailureOf("<my:tag/>"), "ESpaceXMLParserError: Error in XML");
    EXPECT_EQ(FailureOf("<a x=\"open/>"), "EParserError: Invalid string constant on line 1");
    EXPECT_EQ(FailureOf("<a x='open/>"), "EParserError: Invalid string constant on line 1");
    EXPECT_EQ(FailureOf("<a x=-/>"), "EConvertError: '-' is not a valid integer value");
    EXPECT_EQ(FailureOf("<a x=1-2/>"), "EConvertError: '1-2' is not a valid floating point value");
}

TEST(XMLParser, FailureKeepsWhatWasBuilt) {
    TXMLParser parser;
    parser.ParseText("<old/>");
    EXPECT_THROW(parser.ParseText("<r><a/><b"), ESpaceXMLParserError);
    ASSERT_NE(parser.Root(), nullptr);
    EXPECT_EQ(parser.Root()->Name, "r");
    EXPECT_EQ(parser.Root()->Nodes.Count(), 2);
    EXPECT_THROW(parser.ParseText("junk"), EParserError);
    EXPECT_EQ(parser.Root(), nullptr);
}

TEST(XMLParser, DeepNestingIsFreedWithoutRecursion) {
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "<a>\n";
    TXMLParser parser;
    EXPECT_THROW(parser.ParseText(text), ESpaceXMLParserError);
    EXPECT_EQ(parser.Root()->Nodes.Count(), 1);
}

// The input is scanned through a window of 262,144 bytes that ends after its last line feed.
TEST(XMLParser, LongLinesAndTheWindow) {
    const size_t window = TSpaceParser::WindowSize;
    // Many short lines spanning several windows: content and line numbers stay exact.
    std::string text = "<r>";
    std::string expected;
    for (int i = 0; i < 60000; ++i) {
        text += "line of text\n";
        expected += "line of text\n";
    }
    text += "</r>";
    TXMLParser parser;
    parser.ParseText(text);
    EXPECT_EQ(parser.Root()->Text, expected);
    EXPECT_EQ(FailureOf(text + "x"), "EParserError: ''toEOF'' expected on line 60001");

    // A quoted value running over a cut is read whole.
    std::string literal(window - 10, 'v');
    literal += "\nrest";
    parser.ParseText("<r x=\"" + literal + "\"/>");
    EXPECT_EQ(parser.Root()->Attributes.ValueOf("x", Variant()), Variant(literal));

    // A line just under the window is fine; one that fills it is refused where it starts.
    EXPECT_EQ(FailureOf("<r>\n" + std::string(window - 1, 'y') + "\n</r>"), "(parsed)");
    EXPECT_EQ(FailureOf("<r>\n\n" + std::string(window, 'y') + "\n</r>"),
              "EParserError: Line too long on line 3");
    EXPECT_EQ(FailureOf(std::string(window, ' ')), "EParserError: Line too long on line 1");
}

TEST(XMLParser, ZeroByteEndsTheInput) {
    EXPECT_EQ(FailureOf(std::string("<a/>\0junk", 9)), "(parsed)");
    EXPECT_EQ(FailureOf(std::string("<a>\0</a>", 8)), "ESpaceXMLParserError: Error in XML");
}

TEST(SpaceParser, TokensAndExpectations) {
    TMemoryStream stream(std::string("Name $ff 12 -3.5e1d 'x'#300 \"q\" ="));
    TSpaceParser parser(stream, false);
    EXPECT_EQ(parser.Token(), toIdentifier);
    EXPECT_TRUE(parser.IsSymbol("NAME"));
    EXPECT_EQ(parser.NextToken(), toInteger);
    EXPECT_EQ(parser.TokenInteger(), 255);
    EXPECT_EQ(parser.NextToken(), toInteger);
    EXPECT_EQ(parser.TokenText(), "12");
    EXPECT_EQ(parser.NextToken(), toFloat);
    EXPECT_EQ(parser.FloatType(), 'd');
    EXPECT_DOUBLE_EQ(parser.TokenFloat(), -35);
    EXPECT_EQ(parser.NextToken(), toWideText);
    EXPECT_EQ(parser.TokenWideText(), std::u16string(u"x") + char16_t{300});
    EXPECT_EQ(parser.NextToken(), toText);
    EXPECT_EQ(parser.TokenText(), "q");
    EXPECT_EQ(parser.NextToken(), '=');
    try {
        parser.ExpectOneOf({toIdentifier, toEOF, '>'});
        FAIL();
    } catch (const EParserError& e) {
        EXPECT_EQ(e.Message(), "Identifier expected\r\nor ''toEOF'' expected\r\nor ''>'' expected on line 1");
    }
    try {
        parser.ExpectSymbol("Story");
        FAIL();
    } catch (const EParserError& e) {
        EXPECT_EQ(e.Message(), "Story expected on line 1");
    }
    EXPECT_EQ(parser.NextToken(), toEOF);
    EXPECT_EQ(parser.NextToken(), toEOF);
}

TEST(SpaceParser, CharacterModeTakesEveryByte) {
    TMemoryStream stream(std::string(" a\n<"));
    TSpaceParser parser(stream, true);
    EXPECT_EQ(parser.Token(), ' ');
    EXPECT_EQ(parser.NextToken(), 'a');
    EXPECT_EQ(parser.NextToken(), '\n');
    EXPECT_EQ(parser.LineNumber, 2);
    EXPECT_EQ(parser.NextToken(), '<');
    EXPECT_EQ(parser.NextToken(), toEOF);
}

} // namespace
