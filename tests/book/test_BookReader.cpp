// The start-up's reading of the book as the viewer runs it: the first failure leaves with its own
// message; keys the book leaves out or gets wrong in harmless ways keep their defaults.
#include "u_BookReader.h"

#include "PictureFixtures.h"
#include "u_MFS.h"
#include "u_Pictures.h"
#include "u_Variables.h"
#include "u_XMLParser.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class BookReader : public ::testing::Test {
  protected:
    void Add(const std::string& path, const std::string& data) {
        Archive.Session()->ForceFolders(TMFS::ExtractFilePath(path));
        Archive.Session()->CreateFile(path, faArchive, true)->Data = data;
    }
    // Parses System.xml with the given root attributes and children.
    const TXMLNode* System(const std::string& attributes, const std::string& children = "") {
        Add("\\System.xml", "<System " + attributes + ">" + children + "</System>");
        Xml = Reader.ReadSystemXml();
        return Xml->Root();
    }
    static std::string Failure(const std::function<void()>& step) {
        try {
            step();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "(no failure)";
    }

    TMFS Archive;
    TBookReader Reader{Archive};
    std::unique_ptr<TXMLParser> Xml;
};

TEST_F(BookReader, VariablesOnlyFromAnExistingFile) {
    Add("\\vars\\Variables.xml", "<vars><var name=\"A\">$x</var></vars>");
    EXPECT_EQ(Reader.ReadVariables(System("Variables=\"vars\""))->Substitute("%{A}"), "%{A}");
    EXPECT_EQ(Reader.ReadVariables(System("Variables=\"vars/Variables.xml\""))->Substitute("%{A}"), "x");
    EXPECT_EQ(Reader.ReadVariables(System("Variables=\"none.xml\""))->Substitute("%{A}"), "%{A}");
    // A damaged variables file ends the start-up with the reader's message.
    Add("\\bad.xml", "<vars><var name=\"A\">$%{A}</var></vars>");
    EXPECT_EQ(Failure([&] { Reader.ReadVariables(System("Variables=\"bad.xml\"")); }),
              "Cycling reference encountered during loading variable \"A\"");
}

TEST_F(BookReader, WindowSettingsKeepTheDefaultForNegativeSizes) {
    TWindowSettings settings = Reader.ReadWindowSettings(System("Width=-5 Height=-1"));
    EXPECT_EQ(settings.Width, 800);
    EXPECT_EQ(settings.Height, 600);
    settings = Reader.ReadWindowSettings(System("Width=640 Height=\"0\" RunMaximized=True"));
    EXPECT_EQ(settings.Width, 640);
    EXPECT_EQ(settings.Height, 0);
    EXPECT_TRUE(settings.RunMaximized);
    EXPECT_FALSE(settings.ResizableWindow);
    EXPECT_EQ(Failure([&] { Reader.ReadWindowSettings(System("Width=\"wide\"")); }),
              "Could not convert variant of type (String) into type (Integer)");
}

TEST_F(BookReader, CharacterCodesInTheCaption) {
    const TWindowSettings settings = Reader.ReadWindowSettings(System("MainFormCaption='Caf'#233"));
    EXPECT_EQ(settings.MainFormCaption, "Caf\xC3\xA9");
}

TEST_F(BookReader, UserFormDefinitions) {
    Add("\\AdditionalPages\\Forms.xml",
        "<AdditionalPages><Form Name=\"About\" Path=\"About.html\"/>"
        "<Form Name=\"Big\" Path=\"\\pages\\big.htm\" HideBorder=True Sizable=True Width=0 Left=10 "
        "Center=True SystemMenu=True Maximize=True Caption=\"Big one\"/><Other "
        "Name=\"x\"/></AdditionalPages>");
    const TUserFormsFile forms = Reader.ReadUserForms(System("Forms=\"AdditionalPages\\Forms.xml\""));
    ASSERT_TRUE(forms.Present);
    EXPECT_EQ(forms.Folder, "\\AdditionalPages\\");
    ASSERT_EQ(forms.Forms.size(), 2u);
    const TUserFormDefinition& about = forms.Forms[0];
    EXPECT_EQ(about.Path, "\\AdditionalPages\\About.html");
    EXPECT_EQ(about.Width, -1);
    EXPECT_EQ(about.BorderStyle, TFormBorderStyle::bsSingle);
    EXPECT_EQ(about.BorderIcons, 0);
    EXPECT_FALSE(about.Center);
    const TUserFormDefinition& big = forms.Forms[1];
    EXPECT_EQ(big.Path, "\\pages\\big.htm");
    EXPECT_EQ(big.BorderStyle, TFormBorderStyle::bsNone); // HideBorder wins over Sizable
    EXPECT_EQ(big.BorderIcons, biSystemMenu | biMaximize);
    EXPECT_EQ(big.Width, 0);
    EXPECT_EQ(big.Left, 10);
    EXPECT_TRUE(big.Center);
    EXPECT_EQ(big.Caption, "Big one");
    // The root is current again for the steps that follow.
    EXPECT_TRUE(Reader.Session().Exists("System.xml"));

    EXPECT_FALSE(Reader.ReadUserForms(System("Forms=\"AdditionalPages\"")).Present);
    Add("\\bad.xml", "<AdditionalPages><Form Name=\"A\" Width=\"wide\"/></AdditionalPages>");
    EXPECT_EQ(Failure([&] { Reader.ReadUserForms(System("Forms=\"bad.xml\"")); }),
              "Could not convert variant of type (String) into type (Integer)");
    EXPECT_TRUE(Reader.Session().Exists("System.xml"));
}

class ToolbarReader : public BookReader {
  protected:
    TToolbarDescription Read(const std::string& images, const std::string& buttons = "",
                             const std::string& look = "") {
        Add("\\tb\\ToolButtons.xml",
            "<ToolButtons><Images>" + images + "</Images><Buttons>" + buttons + "</Buttons></ToolButtons>");
        const TXMLNode* root = System("ToolButtons=\"tb/ToolButtons.xml\"", "<toolbar " + look + "/>");
        return Reader.ReadToolbar(root, *Reader.ReadToolbarOptions(root));
    }
    static int Alpha(const TPixbuf& picture, int x, int y) {
        if (!gdk_pixbuf_get_has_alpha(picture.get())) return 255;
        return gdk_pixbuf_read_pixels(picture.get())[y * gdk_pixbuf_get_rowstride(picture.get()) + x * 4 + 3];
    }
};

TEST_F(ToolbarReader, PicturesBecomeImagesOfTheListsSize) {
    Add("\\tb\\strip.bmp", Bitmap(48, 24, 0x00FF00, 0xFF0000));
    Add("\\tb\\masked.bmp", Bitmap(24, 30, 0x123456));
    Add("\\tb\\plain.jpg", SavedPicture(24, 24, "jpeg"));
    Add("\\tb\\icon.ico", SavedPicture(32, 32, "ico"));
    const TToolbarDescription toolbar =
        Read("<i Name=\"strip\" Path=\"strip.bmp\" XMask=0 YMask=23/><i Name=\"masked\" Path=\"masked.bmp\" "
             "MaskColor=$563412/><i Name=\"plain\" Path=\"plain.jpg\" MaskColor=-1/><i Path=\"icon.ico\"/>",
             "<b Kind=5 Image=\"masked\"/><b Kind=6 Image=\"plain\"/>");
    ASSERT_TRUE(toolbar.Present);
    // The strip gives two images; a name stands for its picture's first image in the list.
    ASSERT_EQ(toolbar.Images.size(), 5u);
    EXPECT_EQ(toolbar.ImageNames,
              (std::vector<std::pair<std::string, int32_t>>{{"strip", 0}, {"masked", 2}, {"plain", 3}}));
    ASSERT_EQ(toolbar.Buttons.size(), 2u);
    EXPECT_EQ(toolbar.Buttons[0].ImageIndex, 2);
    EXPECT_EQ(toolbar.Buttons[1].ImageIndex, 3);
    for (const auto& image : toolbar.Images) {
        EXPECT_EQ(gdk_pixbuf_get_width(image.get()), 24);
        EXPECT_EQ(gdk_pixbuf_get_height(image.get()), 24);
    }
    // The pixel at (XMask, YMask) gives the transparent colour (red, the bottom-left pixel).
    EXPECT_EQ(Alpha(toolbar.Images[0], 0, 23), 0);
    EXPECT_EQ(Alpha(toolbar.Images[0], 5, 5), 255);
    EXPECT_EQ(Alpha(toolbar.Images[2], 5, 5), 0);   // MaskColor in the files' colour order
    EXPECT_EQ(Alpha(toolbar.Images[3], 5, 5), 255); // MaskColor -1: no transparency
    EXPECT_TRUE(Reader.Session().Exists("System.xml"));
}

TEST_F(ToolbarReader, ButtonsResolveTheirPictureNames) {
    Add("\\tb\\a.bmp", Bitmap(24, 24));
    const TToolbarDescription toolbar =
        Read("<i Name=\"a\" Path=\"a.bmp\"/>",
             "<b Kind=5 Caption=\"Next\" Image=\"A\"/><b/><b Kind=1 ImageIndex=3 Image=\"nothing\"/>"
             "<b Kind=4 ImageIndex=7/><b Kind=13><item/><item caption=\"Site\" url=\"https://x.org\" "
             "NewWindow=True/>"
             "<item NewWindow=\"maybe\"/><item/></b>");
    ASSERT_EQ(toolbar.Buttons.size(), 5u);
    EXPECT_EQ(toolbar.Buttons[0].Kind, tbkNext);
    EXPECT_EQ(toolbar.Buttons[0].Caption, "Next");
    EXPECT_EQ(toolbar.Buttons[0].ImageIndex, 0);
    EXPECT_EQ(toolbar.Buttons[1].Kind, tbkSeparator);
    EXPECT_EQ(toolbar.Buttons[2].ImageIndex, -1); // an unrecorded name wins over ImageIndex
    EXPECT_EQ(toolbar.Buttons[3].ImageIndex, 7);
    // A bookmark that cannot be read ends the list there.
    const auto& bookmarks = toolbar.Buttons[4].Bookmarks;
    ASSERT_EQ(bookmarks.size(), 2u);
    EXPECT_EQ(bookmarks[0].Caption, "Description");
    EXPECT_EQ(bookmarks[0].URL, "URL");
    EXPECT_EQ(bookmarks[1].URL, "https://x.org");
    EXPECT_TRUE(bookmarks[1].NewWindow);
}

TEST_F(ToolbarReader, PicturesTheListRefusesEndTheStartUp) {
    Add("\\tb\\small.bmp", Bitmap(16, 16));
    EXPECT_EQ(Failure([&] { Read("<i Path=\"small.bmp\"/>"); }), "Invalid toolbar image size");
    EXPECT_THROW(Read("<i Path=\"small.bmp\"/>", "", "ToolbarImgW=16 ToolbarImgH=17"), EInvalidOperation);
    EXPECT_EQ(Read("<i Path=\"small.bmp\"/>", "", "ToolbarImgW=16 ToolbarImgH=16").Images.size(), 1u);
    EXPECT_EQ(Failure([&] { Read("<i Path=\"small.gif\"/>"); }), "Unknown picture file extension (.gif)");
    EXPECT_EQ(Failure([&] { Read("<i Path=\"gone.bmp\"/>"); }), "File \"gone.bmp\" not found");
    Add("\\tb\\cut.bmp", Bitmap(30, 30).substr(0, 30));
    EXPECT_EQ(Failure([&] { Read("<i Path=\"cut.bmp\"/>"); }), "Premature end-of-file encountered");
    EXPECT_TRUE(Reader.Session().Exists("System.xml"));
    // No description: no toolbar, no failure.
    const TXMLNode* root = System("ToolButtons=\"tb\"");
    EXPECT_FALSE(Reader.ReadToolbar(root, *Reader.ReadToolbarOptions(root)).Present);
}

TEST_F(BookReader, LogoOnlyWhenDisplayed) {
    Add("\\Logo.bmp", Bitmap(50, 20));
    const TXMLNode* root = System("", "<toolbar LogoDisplay=True/>");
    const TPixbuf logo = Reader.ReadLogo(*Reader.ReadToolbarOptions(root));
    ASSERT_TRUE(logo);
    EXPECT_EQ(gdk_pixbuf_get_width(logo.get()), 50);
    const TXMLNode* hidden = System("", "<toolbar LogoDisplay=False/>");
    EXPECT_FALSE(Reader.ReadLogo(*Reader.ReadToolbarOptions(hidden)));
}

TEST(Pictures, BitmapTransparentColourIsTheBottomLeftPixel) {
    const TPixbuf picture = LoadPicture("a.bmp", Bitmap(4, 3, 0x0000FF, 0x00FF00));
    EXPECT_EQ(BitmapTransparentColor(picture), 0x00FF00); // green, as 0x00BBGGRR
    EXPECT_EQ(PixelColor(picture, 3, 0), 0xFF0000);       // blue
    EXPECT_EQ(PixelColor(picture, 4, 0), -1);
    const TPixbuf clear = WithTransparentColor(picture, BitmapTransparentColor(picture));
    const guint8* pixels = gdk_pixbuf_read_pixels(clear.get());
    EXPECT_EQ(pixels[2 * gdk_pixbuf_get_rowstride(clear.get()) + 3], 0);
    EXPECT_EQ(pixels[3], 255);
}

} // namespace
