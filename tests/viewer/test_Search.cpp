// The search window on packed books: rows, the search-text history, showing a found page behind
// the open window with its matches highlighted, the stop at a missing page, and the window opened
// from the toolbar.
#include "frm_Search.h"

#include "ViewerTestSupport.h"
#include "frm_Main.h"
#include "u_Story.h"

#include <glibmm/main.h>
#include <gtkmm/toolbutton.h>
#include <gtest/gtest.h>

namespace {

class TSearchTest : public TMainWindowFixture {
  protected:
    void SetUp() override {
        Book.AddStandardBook("ToolButtons=\"ToolButtons.xml\"");
        Book.Add("system/ToolButtons.xml",
                 "<t><Buttons><b Kind=12 Caption=\"Search\"/><b Kind=5 Caption=\"Next\"/></Buttons></t>");
        Book.Add("pages/p1.htm", "<html><body><p>The CAFE opens.</p></body></html>");
        Book.Add("pages/p2.htm", "<html><body><p>A cafe, a Cafe and a caf&eacute;.</p></body></html>");
        Book.Add("pages/p3.htm", "<html><body><p>No coffee here.</p></body></html>");
    }
    // Opens the book at its first page.
    TfrmMain& Open() {
        TfrmMain& window = TMainWindowFixture::Open();
        EXPECT_FALSE(window.StartFailed()) << window.StartError();
        EXPECT_TRUE(WaitForPage("mfs:\\p1.htm"));
        return window;
    }
    void Search(TfrmSearch& search, const std::string& text) {
        search.cbSearchText.get_entry()->set_text(text);
        search.btnSearch.clicked();
    }
};

TEST_F(TSearchTest, FoundPagesAreShownBehindTheWindowWithTheirMatchesHighlighted) {
    TfrmMain& window = Open();
    TfrmSearch search(window);
    search.show();
    TLogCapture log;
    Search(search, "cafe");
    ASSERT_EQ(search.RowCount(), 2);
    EXPECT_EQ(search.RowTitle(0), "One");
    EXPECT_EQ(search.RowFileName(0), "\\p1.htm");
    EXPECT_EQ(search.RowTitle(1), "Two");
    EXPECT_TRUE(log.Has("search \"cafe\" 2 rows "));
    EXPECT_FALSE(search.lvFoundPages.get_column(1)->get_visible()); // the path travels unseen

    search.SelectRow(1);
    search.btnShowPage.clicked();
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));
    EXPECT_TRUE(search.get_visible());
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p2.htm");
    EXPECT_EQ(window.webMain->HighlightText(), "cafe");
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->HighlightMatches() >= 0; }, 5000));
    // "cafe" and "Cafe", and "café" too: the engine's find also ignores accents.
    EXPECT_GE(window.webMain->HighlightMatches(), 2);

    // Double-click shows the first row; the highlight of the page left goes with it.
    search.SelectRow(0);
    search.lvFoundPages.row_activated(Gtk::TreePath("0"), *search.lvFoundPages.get_column(0));
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->HighlightMatches() == 1; }, 5000));
    window.webMain->Navigate("mfs:\\p3.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(window.webMain->HighlightText(), "");

    // Show without a selected row does nothing.
    search.lvFoundPages.get_selection()->unselect_all();
    search.btnShowPage.clicked();
    PumpFor(200);
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p3.htm");
}

TEST_F(TSearchTest, TheHistoryKeepsOneEntryPerTextWhateverItsCase) {
    TfrmMain& window = Open();
    TfrmSearch search(window);
    search.show();
    for (const char* text : {"cafe", "Cafe", "coffee", "CAFE", "cafe"})
        Search(search, text);
    EXPECT_EQ(search.SearchTexts(), (std::vector<std::string>{"cafe", "coffee"}));
    EXPECT_EQ(search.RowCount(), 2); // the rows of the last search only
    Search(search, "");
    EXPECT_EQ(search.RowCount(), 0);
}

TEST_F(TSearchTest, NextAfterASearchMovesOnFromThePageShown) {
    TfrmMain& window = Open();
    {
        TfrmSearch search(window);
        search.show();
        Search(search, "cafe");
        search.SelectRow(0);
        search.btnShowPage.clicked();
    }
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    auto* next = Glib::wrap(GTK_TOOL_BUTTON(gtk_toolbar_get_nth_item(window.tbrMain, 1)));
    ASSERT_NE(next, nullptr);
    gtk_widget_activate(gtk_bin_get_child(GTK_BIN(next->gobj())));
    EXPECT_TRUE(WaitForPage("mfs:\\p2.htm"));
}

TEST_F(TSearchTest, AMissingPageStopsTheSearchAndKeepsTheRowsFoundBeforeIt) {
    Book.Add("system/Story.xml", "<Story><item page=\"\\p1.htm\" pagename=\"One\"/>"
                                 "<item page=\"\\gone.htm\" searchable=False/>"
                                 "<item page=\"\\p2.htm\" pagename=\"Two\"/></Story>");
    TfrmMain& window = Open();
    TfrmSearch search(window);
    search.show();
    Search(search, "cafe");
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Recorder.Boxes[0].Text, "File \"\\gone.htm\" not found");
    ASSERT_EQ(search.RowCount(), 1);
    EXPECT_EQ(search.RowTitle(0), "One");
}

TEST_F(TSearchTest, TheToolbarOpensTheWindowModallyAndEscClosesIt) {
    TfrmMain& window = Open();
    int rows = -1;
    bool escaped = false;
    sigc::connection poll = Glib::signal_timeout().connect(
        [&] {
            for (Gtk::Window* w : Gtk::Window::list_toplevels())
                if (auto* search = dynamic_cast<TfrmSearch*>(w); search && search->get_visible()) {
                    EXPECT_TRUE(search->get_modal());
                    EXPECT_EQ(search->get_transient_for(), Glib::wrap(window.Window()));
                    EXPECT_EQ(search->get_title(), "Search");
                    search->cbSearchText.get_entry()->set_text("opens");
                    search->cbSearchText.get_entry()->activate(); // Enter: the default button
                    rows = search->RowCount();
                    GdkEvent* key = gdk_event_new(GDK_KEY_PRESS);
                    key->key.window = GDK_WINDOW(g_object_ref(search->get_window()->gobj()));
                    key->key.keyval = GDK_KEY_Escape;
                    gdk_event_set_device(
                        key, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
                    gdk_event_put(key);
                    gdk_event_free(key);
                    escaped = true;
                    return false;
                }
            return true;
        },
        50);
    auto* button = Glib::wrap(GTK_TOOL_BUTTON(gtk_toolbar_get_nth_item(window.tbrMain, 0)));
    ASSERT_NE(button, nullptr);
    TLogCapture log;
    gtk_widget_activate(gtk_bin_get_child(GTK_BIN(button->gobj())));
    EXPECT_TRUE(PumpUntil([&] { return escaped && log.Has("search \"opens\" 1 rows"); }, 10000));
    poll.disconnect();
    EXPECT_EQ(rows, 1);
    // The window is gone once closed: nothing of it survives to the next opening.
    EXPECT_TRUE(PumpUntil(
        [&] {
            for (Gtk::Window* w : Gtk::Window::list_toplevels())
                if (dynamic_cast<TfrmSearch*>(w)) return false;
            return true;
        },
        5000));
    EXPECT_TRUE(log.Has("command tbkSearch"));
}

} // namespace
