#include "BookCheck.h"

#include "PictureFixtures.h"
#include "u_Pictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class BookCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() / ("tv-check-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        Book = Dir / "book";
        // A sound book: every description file, a picture in a folder of its own.
        Write("system/System.xml",
              "<System Story=\"Story.xml\" Variables=\"Variables.xml\" "
              "ToolButtons=\"toolbar\\ToolButtons.xml\" Forms=\"AdditionalPages.xml\"\r\n"
              "  Width=640 Height=\"480\">\r\n"
              "  <splash SplashTypeS=\"vsPopUp\"/>\r\n"
              "  <toolbar ToolbarBtnW=40/>\r\n"
              "</System>\r\n");
        Write("system/Story.xml",
              "<Story>\r\n  <item page=\"\\index.htm\"/>\r\n  <item>\r\n"
              "    <item page=\"chapter\\one.htm\" searchable=False/>\r\n  </item>\r\n</Story>");
        Write("system/Variables.xml", "<vars><var name=\"TITLE\">$Book</var></vars>");
        Write("system/AdditionalPages.xml", "<AdditionalPages><Form Name=\"About\" Path=\"about.htm\" "
                                            "Width=400 Center=True/></AdditionalPages>");
        Write("system/toolbar/ToolButtons.xml",
              "<ToolButtons><Images><image Name=\"next\" Path=\"next.bmp\"/>"
              "</Images><Buttons><button Kind=5 Image=\"next\"/></Buttons>"
              "</ToolButtons>");
        Write("system/toolbar/next.bmp", Bitmap(24, 24));
        Write("pages/index.htm", "<html/>");
        Write("pages/chapter/one.htm", "<html/>");
    }
    void TearDown() override { fs::remove_all(Dir); }

    void Write(const std::string& path, const std::string& data) {
        fs::create_directories((Book / path).parent_path());
        std::ofstream(Book / path, std::ios::binary) << data;
    }

    std::vector<std::string> Problems() {
        std::vector<std::string> lines;
        for (const TBookProblem& problem : CheckBook(Book.string()))
            lines.push_back(FormatProblem(problem));
        return lines;
    }

    // Runs the packer; its exit code and standard output plus error.
    int Pack(const std::string& arguments, std::string& output) {
        const fs::path out = Dir / "pack.out";
        const int status = std::system(
            (std::string(TOMEVANE_PACK) + " " + arguments + " >" + out.string() + " 2>&1").c_str());
        std::ifstream in(out);
        output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path Dir, Book;
};

using Lines = std::vector<std::string>;

// What the picture reader says of the bytes of a file that is no picture.
std::string PictureMessage(const std::string& name) {
    try {
        LoadPicture(name, "BMnot a bitmap at all, but long enough to hold a header of one");
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(read)";
}

TEST_F(BookCheck, SoundBookHasNoProblems) {
    EXPECT_EQ(Problems(), Lines{});
}

TEST_F(BookCheck, SyntaxErrorsWithTheReadersMessageAndLine) {
    Write("system/System.xml", "<System\r\n  Story=\"Story.xml\"\r\n  Width 640/>");
    Write("system/Story.xml", "<Story>\n<item page=\"\\index.htm\">\n</Story>");
    // The reading order is still checked when System.xml cannot be read.
    EXPECT_EQ(Problems(),
              (Lines{"System.xml: ''='' expected on line 3", "Story.xml: item expected on line 3"}));
}

TEST_F(BookCheck, EveryDescriptionFileIsRead) {
    Write("system/AdditionalPages.xml", "<AdditionalPages>\n<!-- forms --></AdditionalPages>");
    Write("system/Variables.xml", "<vars><var name=\"A\">$%{B}</var><var name=\"B\">$%{a}</var></vars>");
    Write("system/toolbar/ToolButtons.xml",
          "<ToolButtons><Images><i Path=\"a.gif\"/><i Path=\"missing.ico\"/>"
          "<i Path=\"..\\toolbar\\next.BMP\" XMask=\"abc\"/></Images></ToolButtons>");
    EXPECT_EQ(Problems(), (Lines{"AdditionalPages.xml: Identifier expected or ''/'' expected on line 2",
                                 "Variables.xml: Cycling reference encountered during loading variable \"A\"",
                                 "toolbar\\ToolButtons.xml: Unknown picture file extension (.gif) (a.gif)",
                                 "toolbar\\ToolButtons.xml: File \"missing.ico\" not found",
                                 "toolbar\\ToolButtons.xml: Could not convert variant of type (String) into "
                                 "type (Integer) (XMask of i)"}));
}

TEST_F(BookCheck, ValuesPagesAndMissingFiles) {
    Write("system/System.xml",
          "<System Width=\"wide\" RunMaximized=null><toolbar ToolbarBtnH=\"x\"/></System>");
    Write("system/Story.xml", "<Story Path=\"chapter\"><item page=\"one.htm\"/><item page=\"two.htm\" "
                              "rightclick=\"maybe\"/><item page=\"\\INDEX.HTM\"/></Story>");
    EXPECT_EQ(
        Problems(),
        (Lines{
            "Story.xml: Could not convert variant of type (String) into type (Boolean) (rightclick of item)",
            "Story.xml: Page \"\\chapter\\two.htm\" is not in pages/",
            "System.xml: Could not convert variant of type (String) into type (Integer) (Width of System)",
            "System.xml: Could not convert variant of type (Null) into type (Boolean) (RunMaximized of "
            "System)",
            "System.xml: Could not convert variant of type (String) into type (Integer) (toolbar)"}));
    Write("system/System.xml", "<System Variables=\"vars.xml\" ToolButtons=\"\\missing\\tb.xml\"/>");
    fs::remove(Book / "system" / "Story.xml");
    EXPECT_EQ(Problems(), (Lines{"Story.xml: File \"\\Story.xml\" not found",
                                 "System.xml: File \"vars.xml\" not found (Variables)",
                                 "System.xml: File \"\\missing\\tb.xml\" not found (ToolButtons)"}));
    fs::remove(Book / "system" / "System.xml");
    EXPECT_EQ(Problems(), (Lines{"System.xml: File \"System.xml\" not found",
                                 "Story.xml: File \"\\Story.xml\" not found"}));
}

TEST_F(BookCheck, PicturesSmallerThanTheImageSize) {
    Write("system/toolbar/ToolButtons.xml",
          "<ToolButtons><Images><i Path=\"small.bmp\"/><i Path=\"strip.bmp\"/>"
          "<i Path=\"flipped.bmp\"/><i Path=\"low.jpg\"/><i Path=\"ok.jpeg\"/>"
          "</Images></ToolButtons>");
    Write("system/toolbar/small.bmp", Bitmap(16, 16));
    Write("system/toolbar/strip.bmp", Bitmap(48, 24));
    Write("system/toolbar/flipped.bmp", Bitmap(24, -24));
    Write("system/toolbar/low.jpg", SavedPicture(24, 20, "jpeg"));
    Write("system/toolbar/ok.jpeg", SavedPicture(64, 24, "jpeg"));
    EXPECT_EQ(
        Problems(),
        (Lines{
            "toolbar\\ToolButtons.xml: Invalid toolbar image size (small.bmp is 16 x 16, the images 24 x 24)",
            "toolbar\\ToolButtons.xml: Invalid toolbar image size (low.jpg is 24 x 20, the images 24 x "
            "24)"}));
}

TEST_F(BookCheck, DamagedPicturesAreNamedByTheirOwnFile) {
    Write("system/System.xml",
          "<System Story=\"Story.xml\" ToolButtons=\"toolbar\\ToolButtons.xml\">"
          "<splash SplashTypeS=\"vsSplash\" SplashTypeE=\"vsSplash\"/><toolbar LogoDisplay=True/></System>");
    const std::string bitmap = Bitmap(30, 30);
    Write("system/Logo.bmp", bitmap.substr(0, 20));
    Write("system/SplashS.bmp", "BMnot a bitmap at all, but long enough to hold a header of one");
    Write("system/toolbar/next.bmp", bitmap.substr(0, 30));
    EXPECT_EQ(Problems(), (Lines{"Logo.bmp: Premature end-of-file encountered",
                                 "SplashS.bmp: " + PictureMessage("SplashS.bmp"),
                                 "System.xml: File \"SplashE.bmp\" not found (SplashTypeE)",
                                 "toolbar\\next.bmp: Premature end-of-file encountered"}));
    // Pictures the viewer never reads are not looked at.
    Write("system/System.xml", "<System Story=\"Story.xml\"><toolbar LogoDisplay=False/></System>");
    EXPECT_EQ(Problems(), Lines{});
}

TEST_F(BookCheck, StoryPagesAreLookedUpAsTheViewerAsksForThem) {
    Write("system/Story.xml",
          "<Story><item page=\"/index.htm\"/><item page=\"chapter/one.htm#part\"/>"
          "<item page=\"\\chapter\\one.htm?from=index\"/><item page=\"/gone.htm\"/></Story>");
    EXPECT_EQ(Problems(), Lines{"Story.xml: Page \"\\gone.htm\" is not in pages/"});
}

TEST_F(BookCheck, AReadingOrderWithoutPagesIsReported) {
    // Entries that are not <item> elements (here <page>) are no pages of the reading order.
    Write("system/Story.xml", "<Story><page path=\"\\index.htm\"/><item Path=\"\\chapter\"/></Story>");
    EXPECT_EQ(Problems(), Lines{"Story.xml: The reading order names no page: the book would open on an "
                                "error page"});
}

TEST_F(BookCheck, VariablesNamingAFolderAreNoVariablesFile) {
    fs::remove(Book / "system" / "Variables.xml");
    Write("system/Variables.xml/inside.txt", "");
    EXPECT_EQ(Problems(), Lines{"System.xml: File \"Variables.xml\" not found (Variables)"});
}

TEST_F(BookCheck, PackerChecksAndRefuses) {
    std::string output;
    EXPECT_EQ(Pack("--check " + Book.string(), output), 0) << output;
    EXPECT_EQ(output, "");

    Write("system/System.xml", "<System\n\n  Width 640/>");
    EXPECT_EQ(Pack("--check " + Book.string(), output), 1);
    EXPECT_EQ(output, "System.xml: ''='' expected on line 3\n");

    const fs::path viewer = Dir / "viewer";
    fs::copy_file("/bin/true", viewer);
    const fs::path packed = Dir / "book.run";
    const std::string pack = Book.string() + " -o " + packed.string() + " --viewer " + viewer.string();
    EXPECT_EQ(Pack(pack, output), 1);
    EXPECT_NE(output.find("System.xml: ''='' expected on line 3\n"), std::string::npos) << output;
    EXPECT_NE(output.find("--force"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(packed));

    EXPECT_EQ(Pack(pack + " --force", output), 0) << output;
    EXPECT_TRUE(fs::exists(packed));

    EXPECT_EQ(Pack("--check " + Book.string() + " -o x", output), 2);

    // A damaged logo, named by its file, through the packer itself (no display needed).
    Write("system/System.xml", "<System Story=\"Story.xml\"><toolbar LogoDisplay=True/></System>");
    Write("system/Logo.bmp", Bitmap(40, 40).substr(0, 24));
    EXPECT_EQ(Pack("--check " + Book.string(), output), 1);
    EXPECT_EQ(output, "Logo.bmp: Premature end-of-file encountered\n");
}

} // namespace
