#include "u_Variants.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <class F> std::string FailureOf(F f) {
    try {
        f();
    } catch (const EVariantTypeCastError& e) {
        return e.Message();
    }
    return "(no failure)";
}

TEST(Variant, ToText) {
    EXPECT_EQ(Variant().AsString(), "");
    EXPECT_EQ(Variant(int32_t{-42}).AsString(), "-42");
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_EQ(Variant(false).AsString(), "False");
    EXPECT_EQ(Variant(u"wide").AsString(), "wide");
    EXPECT_EQ(FailureOf([] { Variant::Null().AsString(); }),
              "Could not convert variant of type (Null) into type (String)");
}

TEST(Variant, FloatToTextKeepsFifteenDigits) {
    EXPECT_EQ(Variant(2000.0).AsString(), "2000");
    EXPECT_EQ(Variant(1.5).AsString(), "1.5");
    EXPECT_EQ(Variant(-0.25).AsString(), "-0.25");
    EXPECT_EQ(Variant(0.1 + 0.2).AsString(), "0.3");
    EXPECT_EQ(Variant(1.0 / 3).AsString(), "0.333333333333333");
    EXPECT_EQ(Variant(123456789012345678.0).AsString(), "1.23456789012346E17");
    EXPECT_EQ(Variant(0.00001).AsString(), "1E-5");
    EXPECT_EQ(Variant(0.0001).AsString(), "0.0001");
    // 0.5 at the last kept digit is an exact tie in binary: it goes to the even digit.
    EXPECT_EQ(Variant(123456789012344.5).AsString(), "123456789012344");
    EXPECT_EQ(Variant(123456789012345.5).AsString(), "123456789012346");
}

TEST(Variant, ToInteger) {
    EXPECT_EQ(Variant().AsInteger(), 0);
    EXPECT_EQ(Variant(true).AsInteger(), -1);
    EXPECT_EQ(Variant(false).AsInteger(), 0);
    EXPECT_EQ(Variant("640").AsInteger(), 640);
    EXPECT_EQ(Variant("-7").AsInteger(), -7);
    EXPECT_EQ(Variant("$1F").AsInteger(), 31);
    EXPECT_EQ(Variant(2.5).AsInteger(), 2);
    EXPECT_EQ(Variant(3.5).AsInteger(), 4);
    EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
    EXPECT_EQ(Variant(2.6).AsInteger(), 3);
    EXPECT_EQ(FailureOf([] { Variant("abc").AsInteger(); }),
              "Could not convert variant of type (String) into type (Integer)");
    EXPECT_EQ(FailureOf([] { Variant::Null().AsInteger(); }),
              "Could not convert variant of type (Null) into type (Integer)");
    EXPECT_EQ(FailureOf([] { Variant("4294967296").AsInteger(); }),
              "Could not convert variant of type (String) into type (Integer)");
    EXPECT_EQ(FailureOf([] { Variant(1e10).AsInteger(); }),
              "Could not convert variant of type (Double) into type (Integer)");
}

TEST(Variant, ToBoolean) {
    EXPECT_FALSE(Variant().AsBoolean());
    EXPECT_TRUE(Variant("tRUE").AsBoolean());
    EXPECT_FALSE(Variant("FALSE").AsBoolean());
    EXPECT_TRUE(Variant("5").AsBoolean());
    EXPECT_FALSE(Variant("0").AsBoolean());
    EXPECT_TRUE(Variant(int32_t{-1}).AsBoolean());
    EXPECT_FALSE(Variant(0.0).AsBoolean());
    EXPECT_TRUE(Variant(0.5).AsBoolean());
    EXPECT_EQ(FailureOf([] { Variant("yes").AsBoolean(); }),
              "Could not convert variant of type (String) into type (Boolean)");
    EXPECT_EQ(FailureOf([] { Variant::Null().AsBoolean(); }),
              "Could not convert variant of type (Null) into type (Boolean)");
}

TEST(Variant, AsTypeAndInvalidTarget) {
    EXPECT_EQ(Variant("12").AsType(varInteger), Variant(int32_t{12}));
    EXPECT_EQ(Variant(int32_t{1}).AsType(varString), Variant("1"));
    try {
        Variant(int32_t{1}).AsType(static_cast<TVarType>(0x77));
        FAIL();
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), "Invalid variant type conversion");
    }
}

TEST(Variant, NumberTexts) {
    EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(StrToInt64("$FFFFFFFFFFFFFFFF"), -1);
    try {
        StrToInt64("-");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'-' is not a valid integer value");
    }
    EXPECT_THROW(StrToInt64("99999999999999999999"), EConvertError);
    EXPECT_DOUBLE_EQ(StrToFloat("2e3"), 2000);
    EXPECT_DOUBLE_EQ(StrToFloat("-1.25E-2"), -0.0125);
    try {
        StrToFloat("1-2");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'1-2' is not a valid floating point value");
    }
    EXPECT_THROW(StrToFloat("1e"), EConvertError);
    EXPECT_THROW(StrToFloat("1e999"), EConvertError);
    EXPECT_THROW(StrToFloat("5e99999999999999999999"), EConvertError); // exponent past any integer type
    EXPECT_DOUBLE_EQ(StrToFloat("5e-99999999999999999999"), 0);
    EXPECT_THROW(StrToFloat("-123.5e400"), EConvertError);
    EXPECT_EQ(StrToFloat("1e-999"), 0);
    EXPECT_EQ(StrToFloat("0.0001e-400"), 0);
}

} // namespace
