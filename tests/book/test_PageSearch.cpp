// Finding pages by their text: markup stripping, the upper-case test, and the walk over the reading
// order with its stop at a missing page.
#include "u_MFS.h"
#include "u_PageSearch.h"
#include "u_Story.h"
#include "u_Text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(MarkupStripping, EveryTagIsOneBlankAndTextStaysByteForByte) {
    EXPECT_EQ(TextFromHTML("two<b>words"), "two words");
    EXPECT_EQ(TextFromHTML("two <b>words"), "two  words");
    EXPECT_EQ(TextFromHTML("<p>a&amp;b\r\n</p>"), " a&amp;b\r\n ");
    EXPECT_EQ(TextFromHTML("<script>var x = 1 < 2;</script>"), " var x = 1  ");
    // ">" inside double quotes does not end the tag; single quotes mean nothing.
    EXPECT_EQ(TextFromHTML("<img alt=\"a>b\">c"), " c");
    EXPECT_EQ(TextFromHTML("<a title='x>y'>z"), " y'>z");
    // A comment ends at its first ">" outside double quotes.
    EXPECT_EQ(TextFromHTML("<!-- a >b -->c"), " b -->c");
    // Open at the end: the text before it and the blank, nothing more.
    EXPECT_EQ(TextFromHTML("text <b"), "text  ");
    EXPECT_EQ(TextFromHTML("x<a href=\"never closed>y"), "x ");
    EXPECT_EQ(TextFromHTML(""), "");
}

TEST(MarkupStripping, OnePassUpperCaseEqualsUpperCaseOfTheStrippedText) {
    // Bytes that matter to the scan, ASCII letters, and characters outside ASCII whole and broken
    // (é, the dotless i whose upper case is ASCII, a lone lead byte, a lone continuation byte).
    const std::vector<std::string> pieces = {"<",     ">",        "\"",       " ",    "a",    "Z",
                                             "q",     "\xC3\xA9", "\xC4\xB1", "\xC3", "\xA9", "\xE2\x82\xAC",
                                             "&amp;", "\n"};
    std::mt19937 random(12);
    for (int round = 0; round < 3000; ++round) {
        std::string html;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i)
            html += pieces[random() % pieces.size()];
        std::string upper = "kept:";
        AppendUpperTextFromHTML(html, upper);
        ASSERT_EQ(upper, "kept:" + AnsiUpperCase(TextFromHTML(html))) << html;
    }
}

class PageSearchTest : public ::testing::Test {
  protected:
    void Page(const std::string& path, const std::string& html) {
        Pages.Session()->ForceFolders(TMFS::ExtractFilePath(path));
        Pages.Session()->CreateFile(path, faArchive, true)->Data = html;
    }
    // The story's entries: page, pagename and any further attributes.
    void Story(const std::string& entries) {
        Line = std::make_unique<TStoryLine>("<Story>" + entries + "</Story>");
    }
    std::vector<std::string> Find(const std::string& text) {
        std::vector<std::string> rows;
        SearchPages(*Line, Pages, text,
                    [&](const TFoundPage& page) { rows.push_back(page.Title + "|" + page.Path); });
        return rows;
    }
    TMFS Pages;
    std::unique_ptr<TStoryLine> Line;
};

using Rows = std::vector<std::string>;

TEST_F(PageSearchTest, RowsInReadingOrderForTheUpperCaseSubstring) {
    Page("\\a.htm", "<h1>The CAFE</h1><img alt=\"word\"> two<b>words &amp; %{TITLE}");
    Page("\\ch\\b.htm", "<p>a Cafe corner</p><script>var secret = 'word';</script> two <b>words");
    Page("\\c.htm", "plain caf\xC3\xA9 &nbsp;");
    Page("\\d.htm", "cafe, but not searchable");
    Story("<item page=\"\\a.htm\" pagename=\"A\"/>"
          "<item Path=\"\\ch\"><item page=\"b.htm\" pagename=\"B\"/></item>"
          "<item page=\"\\c.htm\" pagename=\"C\"/>"
          "<item page=\"\\d.htm\" pagename=\"D\" searchable=False/>");
    EXPECT_EQ(Find("cafe"), (Rows{"A|\\a.htm", "B|\\ch\\b.htm"}));
    EXPECT_EQ(Find("CAF\xC3\x89"), (Rows{"C|\\c.htm"})); // locale-aware, not ASCII only
    EXPECT_EQ(Find("two words"), (Rows{"A|\\a.htm"}));
    EXPECT_EQ(Find("word"), (Rows{"A|\\a.htm", "B|\\ch\\b.htm"})); // "words"; the script's text
    EXPECT_EQ(Find("\"word\""), Rows{});                           // only in an attribute
    EXPECT_EQ(Find("&amp;"), (Rows{"A|\\a.htm"}));
    EXPECT_EQ(Find("&"), (Rows{"A|\\a.htm", "C|\\c.htm"}));
    EXPECT_EQ(Find("%{title}"), (Rows{"A|\\a.htm"})); // as written, not its value
    EXPECT_EQ(Find(""), Rows{});
    EXPECT_EQ(Find("not searchable"), Rows{});
}

TEST_F(PageSearchTest, AllPagesUnsearchableFindNothing) {
    Page("\\a.htm", "text");
    Page("\\b.htm", "text");
    Story("<item page=\"\\a.htm\" searchable=False/><item page=\"\\b.htm\" searchable=False/>");
    EXPECT_EQ(Find("text"), Rows{});
}

TEST_F(PageSearchTest, APageListedTwiceIsSearchedTwiceAndTheWalkEnds) {
    Page("\\a.htm", "text");
    Page("\\b.htm", "other");
    Story("<item page=\"\\a.htm\" pagename=\"1\"/><item page=\"\\b.htm\"/><item page=\"\\a.htm\" "
          "pagename=\"2\"/>");
    EXPECT_EQ(Find("text"), (Rows{"1|\\a.htm", "2|\\a.htm"}));
}

TEST_F(PageSearchTest, APageWithAFragmentIsReadFromItsFile) {
    Page("\\a.htm", "<a name=\"s\"></a>section text");
    Story("<item page=\"\\a.htm#s\" pagename=\"S\"/>");
    EXPECT_EQ(Find("section"), (Rows{"S|\\a.htm#s"}));
}

TEST_F(PageSearchTest, AMissingPageStopsTheWalkAfterTheRowsBeforeIt) {
    Page("\\a.htm", "text");
    Page("\\c.htm", "text");
    for (const char* missing :
         {"<item page=\"\\gone.htm\"/>", "<item page=\"\\gone.htm\" searchable=False/>"}) {
        Story(std::string("<item page=\"\\a.htm\" pagename=\"A\"/>") + missing + "<item page=\"\\c.htm\"/>");
        std::vector<std::string> rows;
        try {
            SearchPages(*Line, Pages, "text", [&](const TFoundPage& page) { rows.push_back(page.Path); });
            ADD_FAILURE() << "no error";
        } catch (const EMFSError& e) {
            EXPECT_EQ(e.Message(), "File \"\\gone.htm\" not found");
        }
        EXPECT_EQ(rows, Rows{"\\a.htm"});
    }
}

} // namespace
