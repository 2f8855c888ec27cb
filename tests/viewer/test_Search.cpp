// The search window on packed books: rows, the search-text history, showing a found page behind
// the open window with its matches highlighted, the stop at a missing page, and the window opened
// from the toolbar.
#include "frm_Search.h"

#include "ViewerTestSupport.h"
#include "frm_Main.h"
#include "u_Story.h"

#include "u_GObject.h"

#include <gtest/gtest.h>

namespace {

// The search windows among the program's top-level windows.
std::vector<TfrmSearch*> SearchWindows() {
    std::vector<TfrmSearch*> found;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next)
        if (TfrmSearch* search = TfrmSearch::FromWindow(GTK_WINDOW(item->data))) found.push_back(search);
    g_list_free(windows);
    return found;
}

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
        gtk_entry_set_text(SearchEntry(search), text.c_str());
        gtk_button_clicked(GTK_BUTTON(search.btnSearch));
    }
    static GtkEntry* SearchEntry(TfrmSearch& search) {
        return GTK_ENTRY(gtk_bin_get_child(GTK_BIN(search.cbSearchText)));
    }
    // Activates the tool button at index of the main window's tool bar as a click does.
    static void ClickToolButton(TfrmMain& window, int index) {
        GtkToolItem* button = gtk_toolbar_get_nth_item(window.tbrMain, index);
        ASSERT_TRUE(GTK_IS_TOOL_BUTTON(button));
        gtk_widget_activate(gtk_bin_get_child(GTK_BIN(button)));
    }
};

TEST_F(TSearchTest, FoundPagesAreShownBehindTheWindowWithTheirMatchesHighlighted) {
    TfrmMain& window = Open();
    TfrmSearch search(window);
    search.Show();
    TLogCapture log;
    Search(search, "cafe");
    ASSERT_EQ(search.RowCount(), 2);
    EXPECT_EQ(search.RowTitle(0), "One");
    EXPECT_EQ(search.RowFileName(0), "\\p1.htm");
    EXPECT_EQ(search.RowTitle(1), "Two");
    EXPECT_TRUE(log.Has("search \"cafe\" 2 rows "));
    // The path travels unseen.
    EXPECT_FALSE(gtk_tree_view_column_get_visible(gtk_tree_view_get_column(GTK_TREE_VIEW(search.lvFoundPages), 1)));

    search.SelectRow(1);
    gtk_button_clicked(GTK_BUTTON(search.btnShowPage));
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(search.Window())));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p2.htm");
    EXPECT_EQ(window.webMain->HighlightText(), "cafe");
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->HighlightMatches() >= 0; }, 5000));
    // "cafe" and "Cafe", and "café" too: the engine's find also ignores accents.
    EXPECT_GE(window.webMain->HighlightMatches(), 2);

    // Double-click shows the first row; the highlight of the page left goes with it.
    search.SelectRow(0);
    GtkTreePath* first = gtk_tree_path_new_first();
    gtk_tree_view_row_activated(GTK_TREE_VIEW(search.lvFoundPages), first,
                                gtk_tree_view_get_column(GTK_TREE_VIEW(search.lvFoundPages), 0));
    gtk_tree_path_free(first);
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->HighlightMatches() == 1; }, 5000));
    window.webMain->Navigate("mfs:\\p3.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(window.webMain->HighlightText(), "");

    // Show without a selected row does nothing.
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(search.lvFoundPages)));
    gtk_button_clicked(GTK_BUTTON(search.btnShowPage));
    PumpFor(200);
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p3.htm");
}

TEST_F(TSearchTest, TheHistoryKeepsOneEntryPerTextWhateverItsCase) {
    TfrmMain& window = Open();
    TfrmSearch search(window);
    search.Show();
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
        search.Show();
        Search(search, "cafe");
        search.SelectRow(0);
        gtk_button_clicked(GTK_BUTTON(search.btnShowPage));
    }
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    ClickToolButton(window, 1);
    EXPECT_TRUE(WaitForPage("mfs:\\p2.htm"));
}

TEST_F(TSearchTest, AMissingPageStopsTheSearchAndKeepsTheRowsFoundBeforeIt) {
    Book.Add("system/Story.xml", "<Story><item page=\"\\p1.htm\" pagename=\"One\"/>"
                                 "<item page=\"\\gone.htm\" searchable=False/>"
                                 "<item page=\"\\p2.htm\" pagename=\"Two\"/></Story>");
    TfrmMain& window = Open();
    TfrmSearch search(window);
    search.Show();
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
    TScopedSource poll = TScopedSource::Timeout(
        50,
        [&] {
            for (TfrmSearch* search : SearchWindows())
                if (gtk_widget_get_visible(GTK_WIDGET(search->Window()))) {
                    EXPECT_TRUE(gtk_window_get_modal(search->Window()));
                    EXPECT_EQ(gtk_window_get_transient_for(search->Window()), window.Window());
                    EXPECT_STREQ(gtk_window_get_title(search->Window()), "Search");
                    gtk_entry_set_text(SearchEntry(*search), "opens");
                    gtk_widget_activate(GTK_WIDGET(SearchEntry(*search))); // Enter: the default button
                    rows = search->RowCount();
                    GdkEvent* key = gdk_event_new(GDK_KEY_PRESS);
                    key->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(search->Window()))));
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
        "search test");
    TLogCapture log;
    ClickToolButton(window, 0);
    EXPECT_TRUE(PumpUntil([&] { return escaped && log.Has("search \"opens\" 1 rows"); }, 10000));
    poll.Cancel();
    EXPECT_EQ(rows, 1);
    // The window is gone once closed: nothing of it survives to the next opening.
    EXPECT_TRUE(PumpUntil([&] { return SearchWindows().empty(); }, 5000));
    EXPECT_TRUE(log.Has("command tbkSearch"));
}

} // namespace
