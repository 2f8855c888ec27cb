#include "u_Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(Text, CodePageIsUTF8WithoutALocale) {
    // Tests run without setlocale: the ASCII charset of the C locale reads as UTF-8.
    EXPECT_EQ(SystemCodePage(), "UTF-8");
    EXPECT_TRUE(SystemCodePageIsUTF8());
}

TEST(Text, CompareIgnoresCaseForAsciiAndBeyond) {
    EXPECT_EQ(AnsiCompareText("System.xml", "SYSTEM.XML"), 0);
    EXPECT_LT(AnsiCompareText("a", "B"), 0);
    EXPECT_GT(AnsiCompareText("b", "A"), 0);
    EXPECT_LT(AnsiCompareText("abc", "ABCD"), 0);
    EXPECT_EQ(AnsiCompareText("Übersicht", "üBERSICHT"), 0);
    EXPECT_EQ(AnsiCompareText("ΑΒΓ", "αβγ"), 0);
    EXPECT_NE(AnsiCompareText("é", "e"), 0);
    EXPECT_TRUE(AnsiSameText("Straße", "STRAßE"));
}

TEST(Text, CompareIsATotalOrderEvenWithInvalidBytes) {
    std::vector<std::string> words = {"b", "A", "a\xff", "a", "\xc3", "É", "e", "_", "Z", "é", "\xff", "ab"};
    for (const auto& x : words)
        for (const auto& y : words) {
            const int xy = AnsiCompareText(x, y);
            const int yx = AnsiCompareText(y, x);
            EXPECT_EQ(xy > 0, yx < 0) << x << " / " << y;
            EXPECT_EQ(xy == 0, yx == 0) << x << " / " << y;
            for (const auto& z : words)
                if (xy <= 0 && AnsiCompareText(y, z) <= 0) {
                    EXPECT_LE(AnsiCompareText(x, z), 0) << x << " / " << y << " / " << z;
                }
        }
    EXPECT_NE(AnsiCompareText("\xff", "\xfe"), 0); // distinct undecodable bytes stay distinct
}

TEST(Text, UpperCase) {
    EXPECT_EQ(AnsiUpperCase("abc-Äö"), "ABC-ÄÖ");
    EXPECT_EQ(AnsiUpperCase("x\xffy"), "X\xffY"); // an undecodable byte is kept as it is
    EXPECT_EQ(AnsiLowerCase("ABC"), "abc");
}

TEST(Text, ConversionsRoundTripAndReplaceInvalidBytes) {
    const std::string text = "Grüße, 日本 😀";
    EXPECT_EQ(AnsiToUtf8(text), text);
    EXPECT_EQ(WideToAnsi(AnsiToWide(text)), text);
    EXPECT_EQ(WideToUtf8(Utf8ToWide(text)), text);
    EXPECT_EQ(AnsiToWide("😀").size(), 2u); // a surrogate pair
    EXPECT_EQ(AnsiToUtf8("a\xffz"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD"); // lone surrogate
}

} // namespace
