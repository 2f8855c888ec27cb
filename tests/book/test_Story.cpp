#include "u_MFS.h"
#include "u_Story.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// P1, chapter (P2, P3), P4, chapter (P5).
const char* const Scenario = "<Story>\r\n"
                             "  <item page=\"\\p1.htm\" pagename=\"One\"/>\r\n"
                             "  <item>\r\n"
                             "    <item page=\"\\p2.htm\" rightclick=False searchable=False/>\r\n"
                             "    <item page=\"\\p3.htm\"/>\r\n"
                             "  </item>\r\n"
                             "  <item page=\"\\p4.htm\"/>\r\n"
                             "  <item>\r\n"
                             "    <item page=\"\\p5.htm\"/>\r\n"
                             "  </item>\r\n"
                             "</Story>";

std::string EndMessage(auto move) {
    try {
        move();
    } catch (const EStoryError& e) {
        return e.Message();
    }
    return "(moved)";
}

class StoryTest : public ::testing::Test {
  protected:
    TStory& Load(const std::string& text) {
        FArchive.Session()->CreateFile("\\Story.xml", faArchive, true)->Data = text;
        FStory = std::make_unique<TStory>(FArchive, "Story.xml");
        return *FStory;
    }
    TMFS FArchive;
    std::unique_ptr<TStory> FStory;
};

TEST_F(StoryTest, NextAndPriorWithEndFlags) {
    TStory& story = Load(Scenario);
    EXPECT_EQ(story.CurrentPage(), "\\p1.htm");
    EXPECT_EQ(story.CurrentPageName(), "One");
    EXPECT_FALSE(story.Bof());
    EXPECT_FALSE(story.Eof());
    for (const char* page : {"\\p2.htm", "\\p3.htm", "\\p4.htm", "\\p5.htm"}) {
        story.Next(story.CurrentPage());
        EXPECT_EQ(story.CurrentPage(), page);
    }
    story.Next(story.CurrentPage());
    EXPECT_TRUE(story.Eof());
    EXPECT_EQ(story.CurrentPage(), "\\p5.htm");
    EXPECT_EQ(EndMessage([&] { story.Next("\\p5.htm"); }), "End of story encountered");
    story.Prior("\\p5.htm");
    EXPECT_FALSE(story.Eof());
    EXPECT_EQ(story.CurrentPage(), "\\p4.htm");

    story.First();
    story.Prior("\\p1.htm");
    EXPECT_TRUE(story.Bof());
    EXPECT_EQ(story.CurrentPage(), "\\p1.htm");
    EXPECT_EQ(EndMessage([&] { story.Prior("\\p1.htm"); }), "Begin of story encountered");
    story.Last();
    EXPECT_EQ(story.CurrentPage(), "\\p5.htm");
    EXPECT_FALSE(story.Bof());
}

TEST_F(StoryTest, ChapterMovesAtLevelOne) {
    TStory& story = Load(Scenario);
    story.Next("\\p1.htm");
    ASSERT_EQ(story.CurrentPage(), "\\p2.htm");
    EXPECT_EQ(TStoryLine::PageOf(story.NextChapter(story.CurrentPage(), 1)), "\\p4.htm");
    EXPECT_EQ(TStoryLine::PageOf(story.NextChapter(story.CurrentPage(), 1)), "\\p5.htm");
    EXPECT_EQ(story.NextChapter(story.CurrentPage(), 1), nullptr);
    EXPECT_TRUE(story.Eof());
    EXPECT_EQ(EndMessage([&] { story.NextChapter("\\p5.htm", 1); }), "End of story encountered");

    EXPECT_EQ(TStoryLine::PageOf(story.PriorChapter("\\p5.htm", 1)), "\\p4.htm");
    EXPECT_FALSE(story.Eof());
    EXPECT_EQ(TStoryLine::PageOf(story.PriorChapter(story.CurrentPage(), 1)), "\\p2.htm");
    EXPECT_EQ(TStoryLine::PageOf(story.PriorChapter(story.CurrentPage(), 1)), "\\p1.htm");
    EXPECT_EQ(story.PriorChapter(story.CurrentPage(), 1), nullptr);
    EXPECT_TRUE(story.Bof());
    EXPECT_EQ(EndMessage([&] { story.PriorChapter("\\p1.htm", 1); }), "Begin of story encountered");

    // From the middle of a chapter the prior chapter is the one before it, not its own start.
    story.Locate("\\p3.htm");
    EXPECT_EQ(TStoryLine::PageOf(story.PriorChapter("\\p3.htm", 1)), "\\p1.htm");
    // Deeper than the entry: simply the next page.
    EXPECT_EQ(TStoryLine::PageOf(story.NextChapter("\\p4.htm", 2)), "\\p5.htm");
    EXPECT_EQ(EndMessage([&] { story.NextChapter("\\p4.htm", 0); }), "Chapter level is out of range (0)");
    EXPECT_EQ(EndMessage([&] { story.PriorChapter("\\p4.htm", -1); }), "Chapter level is out of range (-1)");
    EXPECT_EQ(story.CurrentPage(), "\\p4.htm");
}

TEST_F(StoryTest, ChapterMoveWithoutChapterLeavesPageMovesOpen) {
    // Chapter (a1, a2, a3), p, chapter (b1, b2, b3): inside the first and last chapters there is
    // no chapter to go to, but there are still pages.
    TStory& story = Load("<Story><item><item page=\"\\a1.htm\"/><item page=\"\\a2.htm\"/>"
                         "<item page=\"\\a3.htm\"/></item><item page=\"\\p.htm\"/>"
                         "<item><item page=\"\\b1.htm\"/><item page=\"\\b2.htm\"/>"
                         "<item page=\"\\b3.htm\"/></item></Story>");
    story.Last();
    story.Prior("\\b3.htm");
    EXPECT_EQ(story.NextChapter("\\b2.htm", 1), nullptr);
    EXPECT_FALSE(story.Eof());
    EXPECT_EQ(story.CurrentPage(), "\\b2.htm");
    story.Next("\\b2.htm");
    EXPECT_EQ(story.CurrentPage(), "\\b3.htm");
    // On the last page the failed chapter move is the end as before.
    EXPECT_EQ(story.NextChapter("\\b3.htm", 1), nullptr);
    EXPECT_TRUE(story.Eof());
    EXPECT_EQ(EndMessage([&] { story.Next("\\b3.htm"); }), "End of story encountered");

    story.First();
    story.Next("\\a1.htm");
    EXPECT_EQ(story.PriorChapter("\\a2.htm", 1), nullptr);
    EXPECT_FALSE(story.Bof());
    EXPECT_EQ(story.CurrentPage(), "\\a2.htm");
    story.Prior("\\a2.htm");
    EXPECT_EQ(story.CurrentPage(), "\\a1.htm");
    EXPECT_EQ(story.PriorChapter("\\a1.htm", 1), nullptr);
    EXPECT_TRUE(story.Bof());
    EXPECT_EQ(EndMessage([&] { story.Prior("\\a1.htm"); }), "Begin of story encountered");
}

TEST_F(StoryTest, LocateFollowsTheBrowser) {
    TStory& story = Load(Scenario);
    story.Last();
    story.Next("\\p5.htm");
    ASSERT_TRUE(story.Eof());
    // A link took the reader to p2: the next move starts there and the end flag is gone.
    story.Next("\\P2.HTM");
    EXPECT_FALSE(story.Eof());
    EXPECT_EQ(story.CurrentPage(), "\\p3.htm");
    // Outside the story nothing changes.
    story.Next("\\p5.htm");
    ASSERT_TRUE(story.Eof());
    story.Locate("http://example.org/");
    story.Locate("");
    EXPECT_TRUE(story.Eof());
    EXPECT_EQ(story.CurrentPage(), "\\p5.htm");
}

TEST_F(StoryTest, PerPageFlags) {
    TStory& story = Load(Scenario);
    EXPECT_FALSE(story.RightClickDisabled());
    EXPECT_TRUE(story.Searchable());
    story.Next("");
    EXPECT_TRUE(story.RightClickDisabled());
    EXPECT_FALSE(story.Searchable());
}

TEST_F(StoryTest, EmptyStory) {
    for (const char* text : {"<Story/>", "<Story><item><item/></item><item pagename=\"x\"/></Story>", ""}) {
        TStory& story = Load(text);
        EXPECT_TRUE(story.Bof());
        EXPECT_TRUE(story.Eof());
        EXPECT_EQ(story.CurrentEntry(), nullptr);
        EXPECT_EQ(story.CurrentPage(), "");
        EXPECT_EQ(story.CurrentPageName(), "");
        EXPECT_TRUE(story.RightClickDisabled());
        EXPECT_TRUE(story.Searchable());
        EXPECT_EQ(EndMessage([&] { story.Next(""); }), "End of story encountered");
        EXPECT_EQ(EndMessage([&] { story.Prior(""); }), "Begin of story encountered");
        EXPECT_EQ(EndMessage([&] { story.NextChapter("", 1); }), "End of story encountered");
        EXPECT_EQ(EndMessage([&] { story.PriorChapter("", 1); }), "Begin of story encountered");
    }
}

TEST_F(StoryTest, DuplicatePageLocatesFirstOccurrence) {
    TStory& story = Load("<Story><item page=\"\\a.htm\"/><item page=\"\\b.htm\"/><item page=\"\\A.htm\"/>"
                         "<item page=\"\\c.htm\"/></Story>");
    story.Last();
    story.Prior("");
    ASSERT_EQ(story.CurrentPage(), "\\A.htm");
    story.Next("\\A.htm"); // the browser shows a.htm: that is the first entry
    EXPECT_EQ(story.CurrentPage(), "\\b.htm");
}

TEST_F(StoryTest, PathResolution) {
    TStory& story =
        Load("<Story Path=\"book\">"
             "<item page=\"p1.htm\"/><item page=\"\\p2.htm\"/>"
             "<item><item page=\"rel.htm\"/></item>"
             "<item Path=\"ch\\\"><item page=\"x.htm\"/><item Path=\"\\abs\"><item page=\"y.htm\"/></item>"
             "<item Path=\"sub\"><item page=\"z.htm\"/></item></item>"
             "</Story>");
    std::vector<std::string> pages;
    for (TXMLNode* e = story.Line().FirstPage(); e; e = story.Line().NextPage(e))
        pages.push_back(TStoryLine::PageOf(e));
    EXPECT_EQ(pages, (std::vector<std::string>{"\\book\\p1.htm", "\\p2.htm", "rel.htm", "\\book\\ch\\x.htm",
                                               "\\abs\\y.htm", "\\book\\ch\\sub\\z.htm"}));
    EXPECT_NE(story.Line().FindByPage("\\BOOK\\P1.HTM"), nullptr);
}

TEST_F(StoryTest, ForwardSlashesAreArchiveSeparators) {
    // "/welcome.htm" is the root's page, as the browser shows it, and the cursor follows it there.
    TStory& story = Load("<Story Path=\"book/one\"><item page=\"/welcome.htm\"/><item page=\"ch/a.htm\"/>"
                         "<item Path=\"/abs/\"><item page=\"b.htm\"/></item></Story>");
    EXPECT_EQ(story.CurrentPage(), "\\welcome.htm");
    std::vector<std::string> pages;
    for (TXMLNode* e = story.Line().FirstPage(); e; e = story.Line().NextPage(e))
        pages.push_back(TStoryLine::PageOf(e));
    EXPECT_EQ(pages, (std::vector<std::string>{"\\welcome.htm", "\\book\\one\\ch\\a.htm", "\\abs\\b.htm"}));
    story.Locate("\\abs\\b.htm");
    EXPECT_EQ(story.CurrentPage(), "\\abs\\b.htm");
    story.Locate("\\welcome.htm");
    EXPECT_EQ(story.CurrentPage(), "\\welcome.htm");
}

TEST_F(StoryTest, EntryNavigationInDocumentOrder) {
    TStoryLine line("<r><a page=\"1\"><b/><c page=\"2\"><d/></c></a><e page=\"3\"/></r>");
    std::vector<std::string> forward, backward;
    for (TXMLNode* e = line.FirstEntry(); e; e = line.NextEntry(e))
        forward.push_back(e->Name);
    for (TXMLNode* e = line.LastEntry(); e; e = line.PriorEntry(e))
        backward.push_back(e->Name);
    EXPECT_EQ(forward, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(backward, (std::vector<std::string>{"e", "d", "c", "b", "a"}));
    EXPECT_EQ(TStoryLine::PageOf(line.LastPage()), "3");
    EXPECT_EQ(TStoryLine::PageOf(line.PriorPage(line.LastPage())), "2");
}

TEST_F(StoryTest, MissingStoryFile) {
    try {
        TStory story(FArchive, "Story.xml");
        FAIL();
    } catch (const EMFSError& e) {
        EXPECT_EQ(e.Message(), "File \"\\Story.xml\" not found");
    }
}

} // namespace
