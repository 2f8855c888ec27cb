#include "u_Settings.h"
#include "u_XMLParser.h"

#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    const TXMLNode* Child(const char* text, const char* name) {
        FSystem.ParseText(text);
        return FSystem.Root()->Nodes.FindByName(name);
    }
    TXMLParser FSystem;
};

TEST_F(SettingsTest, ToolbarWithoutElementKeepsCreationValues) {
    TToolbarOptions options;
    options.ReadFromNode(Child("<System Width=640/>", "toolbar"));
    EXPECT_EQ(options.ToolbarPlacement, tpTop);
    EXPECT_FALSE(options.LogoDisplay);
    EXPECT_EQ(options.ToolbarBtnW, 32);
    EXPECT_EQ(options.ToolbarBtnH, 32);
    EXPECT_EQ(options.ToolbarImgW, 24);
    EXPECT_EQ(options.ToolbarImgH, 24);
    EXPECT_FALSE(options.ToolbarShowCaption);
    EXPECT_FALSE(options.ToolbarFlat);
    EXPECT_EQ(options.ToolbarTextColor, 0);
    EXPECT_EQ(options.ToolbarBackColor, 0);
}

TEST_F(SettingsTest, EmptyToolbarElementShowsCaptions) {
    TToolbarOptions options;
    options.ToolbarBtnW = 99; // absent keys take their defaults, not what was there before
    options.ReadFromNode(Child("<System><TOOLBAR/></System>", "toolbar"));
    EXPECT_TRUE(options.ToolbarShowCaption);
    EXPECT_EQ(options.ToolbarBtnW, 32);
    EXPECT_EQ(options.ToolbarPlacement, tpTop);
}

TEST_F(SettingsTest, ToolbarValues) {
    TToolbarOptions options;
    options.ReadFromNode(Child("<System><toolbar ToolbarPlacement=\"TPNOTOOLBAR\" ToolbarBackColor=13160660 "
                               "ToolbarBtnW=\"40\" ToolbarFlat=True LogoDisplay=\"true\" LogoLink=\"%{URL}\" "
                               "ToolbarShowCaption=0/></System>",
                               "toolbar"));
    EXPECT_EQ(options.ToolbarPlacement, tpNoToolbar);
    EXPECT_EQ(GetRValue(options.ToolbarBackColor), 212);
    EXPECT_EQ(GetGValue(options.ToolbarBackColor), 208);
    EXPECT_EQ(GetBValue(options.ToolbarBackColor), 200);
    EXPECT_EQ(options.ToolbarBtnW, 40);
    EXPECT_TRUE(options.ToolbarFlat);
    EXPECT_TRUE(options.LogoDisplay);
    EXPECT_FALSE(options.ToolbarShowCaption);
    EXPECT_EQ(options.LogoLink, "%{URL}"); // expanded where it is used
}

TEST_F(SettingsTest, SplashDefaultsAndValues) {
    TSplashOptions none;
    none.ReadFromNode(Child("<System/>", "splash"));
    EXPECT_EQ(none.SplashTypeS, vsNone);
    EXPECT_EQ(none.SplashTypeE, vsNone);
    EXPECT_EQ(none.Interval, 3);
    EXPECT_EQ(none.PopUpTextS, "Starting pop-up text...");
    EXPECT_EQ(none.PopUpTextE, "Ending pop-up text...");

    TSplashOptions options;
    options.ReadFromNode(Child("<System><splash SplashTypeS=\"VSSPLASH\" SplashTypeE=\"Splash\" Interval=5 "
                               "PopUpTextE=\"Bye\r\nnow\" CloseOnClick=True/></System>",
                               "Splash"));
    EXPECT_EQ(options.SplashTypeS, vsSplash);
    EXPECT_EQ(options.SplashTypeE, vsNone);
    EXPECT_EQ(options.Interval, 5);
    EXPECT_EQ(options.PopUpTextS, ""); // present element without the key: the key's default
    EXPECT_EQ(options.PopUpTextE, "Bye\r\nnow");
    EXPECT_TRUE(options.CloseOnClick);
}

TEST_F(SettingsTest, UnconvertibleValueFails) {
    TToolbarOptions options;
    const TXMLNode* node = Child("<System><toolbar ToolbarBtnW=\"abc\"/></System>", "toolbar");
    try {
        options.ReadFromNode(node);
        FAIL();
    } catch (const EVariantTypeCastError& e) {
        EXPECT_EQ(e.Message(), "Could not convert variant of type (String) into type (Integer)");
    }
    EXPECT_THROW(options.ReadFromNode(Child("<S><toolbar LogoDisplay=null/></S>", "toolbar")), EVariantError);
}

TEST(Enumerations, NamesAndOrdinals) {
    EXPECT_EQ(ToolButtonKindFromName("TBKHOME"), tbkHome);
    EXPECT_EQ(static_cast<int>(tbkHome), 17);
    EXPECT_EQ(static_cast<int>(tbkFavourites), 13);
    EXPECT_STREQ(ToolButtonKindName(tbkNextChapter), "tbkNextChapter");
    EXPECT_STREQ(ToolButtonKindName(static_cast<TToolButtonKind>(18)), "");
    EXPECT_EQ(ToolbarPlacementFromName("tpbottom"), tpBottom);
    EXPECT_EQ(ToolbarPlacementFromName("1"), tpTop);
    EXPECT_EQ(SplashTypeFromName("vsPopUp"), vsPopUp);
    EXPECT_EQ(SplashTypeFromName(""), vsNone);
    for (int i = 0; i <= tbkHome; ++i) {
        const auto kind = static_cast<TToolButtonKind>(i);
        EXPECT_EQ(ToolButtonKindFromName(ToolButtonKindName(kind)), kind);
    }
}

} // namespace
