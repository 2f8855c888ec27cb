// The page view on book pages served by the archive scheme: character sets, queries, names the
// engine escapes, links that leave the book, and what the log and the load events say.
#include "u_MXWebBrowser.h"

#include "ViewerTestSupport.h"
#include "u_MFS.h"
#include "u_MFSProtocol.h"

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <memory>

namespace {

class TBookPagesTest : public TBrowserWindowFixture {
  protected:
    void SetUp() override {
        Mfs = std::make_unique<TMFSInternetProtocol>("mfs", &Pages);
        TBrowserWindowFixture::SetUp();
        Browser->OnDocumentComplete = [this](TMXWebBrowser*) { ++Completed; };
    }
    void TearDown() override {
        TBrowserWindowFixture::TearDown();
        Mfs.reset();
    }

    void Add(const std::string& path, const std::string& data) {
        Pages.Session()->ForceFolders(TMFS::ExtractFilePath(TMFS::NormalizePath(path)));
        Pages.Session()->CreateFile(path, faArchive, true)->Data = data;
    }
    // Waits for the next DocumentComplete after a load started by start().
    template <class F>::testing::AssertionResult Load(F start) {
        const int before = Completed;
        start();
        if (PumpUntil([&] { return Completed > before; })) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no DocumentComplete; shows " << Browser->LocationURL();
    }
    ::testing::AssertionResult Open(const std::string& url) {
        return Load([&] { Browser->Navigate(url); });
    }
    ::testing::AssertionResult Click(const std::string& id) {
        return Load([&] { Run("document.getElementById('" + id + "').click()"); });
    }
    void Run(const std::string& script) { Browser->EvaluateScript(script + "; 0"); }
    std::string Eval(const std::string& script) {
        return Browser->EvaluateScript(script).value_or("(failed)");
    }
    std::string Text() { return Eval("document.getElementById('t').textContent"); }

    TMFS Pages;
    std::unique_ptr<TMFSInternetProtocol> Mfs;
    int Completed = 0;
};

TEST_F(TBookPagesTest, TextWithoutADeclarationIsReadInTheSystemCodePage) {
    // UTF-8 throughout, as the test's code page is: page, style sheet, script and file names.
    Add("\\plain.htm", "<html><head><link rel=\"stylesheet\" href=\"s.css\"><script src=\"s.js\"></script>"
                       "</head><body><p id=\"t\">Caf\xC3\xA9</p><img id=\"pic\" src=\"caf\xC3\xA9.png\">"
                       "<a id=\"go\" href=\"\xC3\xA9t\xC3\xA9.htm\">go</a></body></html>");
    Add("\\s.css", "#t::after { content: \"\xC3\xA9\"; }");
    Add("\\s.js", "window.word = 'M\xC3\xBCll';");
    Add("\\caf\xC3\xA9.png", MakeBitmap(7, 5, "png"));
    Add("\\\xC3\xA9t\xC3\xA9.htm", "<p id=\"t\">summer</p>");
    // A page's own declaration still wins.
    Add("\\latin.htm",
        "<html><head><meta charset=\"windows-1252\"></head><body><p id=\"t\">Caf\xE9</p></body></html>");

    ASSERT_TRUE(Open("mfs:\\plain.htm"));
    EXPECT_EQ(Text(), "Caf\xC3\xA9");
    EXPECT_EQ(Eval("getComputedStyle(document.getElementById('t'), '::after').content"), "\"\xC3\xA9\"");
    EXPECT_EQ(Eval("window.word"), "M\xC3\xBCll");
    EXPECT_EQ(Eval("document.getElementById('pic').naturalWidth"), "7");
    ASSERT_TRUE(Click("go"));
    EXPECT_EQ(Text(), "summer");
    EXPECT_EQ(Browser->LocationURL(), "mfs:\\\xC3\xA9t\xC3\xA9.htm");

    ASSERT_TRUE(Open("mfs:\\latin.htm"));
    EXPECT_EQ(Text(), "Caf\xC3\xA9");
}

TEST_F(TBookPagesTest, QueriesServeThePathAndStayVisibleToThePage) {
    Add("\\search.htm",
        "<html><head><link rel=\"stylesheet\" href=\"theme.css?v=1\">"
        "<script src=\"s.js?v=2#x\"></script></head><body><p id=\"t\">search</p></body></html>");
    Add("\\theme.css", "#t { color: rgb(1, 2, 3); }");
    Add("\\s.js", "window.ran = 'yes';");

    ASSERT_TRUE(Open("mfs:\\search.htm?q=word"));
    EXPECT_EQ(Text(), "search");
    EXPECT_EQ(Eval("location.search"), "?q=word");
    EXPECT_EQ(Browser->LocationURL(), "mfs:\\search.htm?q=word");
    EXPECT_EQ(Eval("getComputedStyle(document.getElementById('t')).color"), "rgb(1, 2, 3)");
    EXPECT_EQ(Eval("window.ran"), "yes");
}

TEST_F(TBookPagesTest, NamesWithCharactersTheEngineEscapesAreReached) {
    const struct {
        const char* Href;     // as the page links it
        const char* File;     // as the archive holds it
        const char* Location; // LocationURL once it is shown
    } cases[] = {
        {"a{b}.htm", "\\a{b}.htm", "mfs:\\a{b}.htm"},
        {"c^d.htm", "\\c^d.htm", "mfs:\\c^d.htm"},
        {"e`f.htm", "\\e`f.htm", "mfs:\\e`f.htm"},
        {"g&quot;&lt;h&gt;.htm", "\\g\"<h>.htm", "mfs:\\g\"<h>.htm"},
        {"with blank.htm", "\\with blank.htm", "mfs:\\with%20blank.htm"},
        {"x%2520y.htm", "\\x%20y.htm", "mfs:\\x%2520y.htm"},
    };
    std::string links;
    for (size_t i = 0; i < std::size(cases); ++i) {
        links += "<a id=\"l" + std::to_string(i) + "\" href=\"" + cases[i].Href + "\">x</a>";
        Add(cases[i].File, "<p id=\"t\">page " + std::to_string(i) + "</p>");
    }
    Add("\\start.htm", "<html><body>" + links + "</body></html>");
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].Href);
        ASSERT_TRUE(Open("mfs:\\start.htm"));
        ASSERT_TRUE(Click("l" + std::to_string(i)));
        EXPECT_EQ(Text(), "page " + std::to_string(i));
        EXPECT_EQ(Browser->LocationURL(), cases[i].Location);
    }
}

TEST_F(TBookPagesTest, NewWindowsShowBookPagesHereAndHandOtherAddressesToTheShell) {
    TRecorder recorder;
    Add("\\a.htm", "<html><body><p id=\"t\">page a</p>"
                   "<a id=\"mail\" href=\"mailto:reader@example.org\">m</a>"
                   "<a id=\"tel\" href=\"tel:+123\">t</a>"
                   "<a id=\"blank\" target=\"_blank\" href=\"b.htm\">b</a>"
                   "<a id=\"outside\" target=\"_blank\" href=\"https://example.org/x\">o</a></body></html>");
    Add("\\b.htm", "<p id=\"t\">page b</p>");
    ASSERT_TRUE(Open("mfs:\\a.htm"));
    const int completed = Completed;

    Run("window.open('https://example.org/opened')");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Opened.size() == 1; }));
    EXPECT_EQ(recorder.Opened[0], "https://example.org/opened");
    Run("document.getElementById('mail').click()");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Opened.size() == 2; }));
    EXPECT_EQ(recorder.Opened[1], "mailto:reader@example.org");
    Run("document.getElementById('tel').click()");
    Run("document.getElementById('outside').click()");
    ASSERT_TRUE(PumpUntil([&] { return recorder.Opened.size() == 4; }));
    EXPECT_EQ(recorder.Opened[2], "tel:+123");
    EXPECT_EQ(recorder.Opened[3], "https://example.org/x");
    // A script address runs in the page; it is nothing for the shell.
    Browser->Navigate("javascript:document.title = 'run'");
    EXPECT_TRUE(PumpUntil([&] { return Eval("document.title") == "run"; }, 5000));
    // The viewer's own navigation to such an address goes the same way.
    Browser->Navigate("mailto:author@example.org");
    ASSERT_EQ(recorder.Opened.size(), 5u);
    EXPECT_EQ(recorder.Opened[4], "mailto:author@example.org");
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_COMPLETE);
    // The page stayed, and no load event was raised for it.
    EXPECT_EQ(Text(), "page a");
    EXPECT_EQ(Browser->LocationURL(), "mfs:\\a.htm");
    EXPECT_EQ(Completed, completed);

    ASSERT_TRUE(Click("blank"));
    EXPECT_EQ(Text(), "page b");
    EXPECT_EQ(Completed, completed + 1);
    ASSERT_TRUE(Open("mfs:\\a.htm"));
    ASSERT_TRUE(Load([&] { Run("window.open('b.htm')"); }));
    EXPECT_EQ(Browser->LocationURL(), "mfs:\\b.htm");
    EXPECT_EQ(recorder.Opened.size(), 5u);
}


// The entry of the context menu on screen whose label, without mnemonics, is label.
GtkMenuItem* ShownMenuItem(const std::string& label) {
    GtkMenuItem* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* window = windows; window && !found; window = window->next) {
        GtkWidget* menu = gtk_bin_get_child(GTK_BIN(window->data));
        if (!menu || !GTK_IS_MENU(menu) || !gtk_widget_get_visible(menu)) continue;
        GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
        for (GList* item = items; item && !found; item = item->next) {
            const char* text =
                GTK_IS_MENU_ITEM(item->data) ? gtk_menu_item_get_label(GTK_MENU_ITEM(item->data)) : nullptr;
            std::string plain = text ? text : "";
            plain.erase(std::remove(plain.begin(), plain.end(), '_'), plain.end());
            if (plain == label) found = GTK_MENU_ITEM(item->data);
        }
        g_list_free(items);
    }
    g_list_free(windows);
    return found;
}

TEST_F(TBookPagesTest, ContextMenuOffersOnlyEntriesThatWork) {
    Add("\\a.htm", "<html><body style=\"margin:0\"><a href=\"b.htm\"><img src=\"p.png\" width=\"200\" "
                   "height=\"200\"></a></body></html>");
    Add("\\b.htm", "<p id=\"t\">page b</p>");
    Add("\\p.png", MakeBitmap(20, 20, "png"));
    ASSERT_TRUE(Open("mfs:\\a.htm"));
    // Connected after the browser's own handler, this one sees the menu as it is shown.
    struct TSeen {
        bool Asked = false;
        std::vector<int> Actions;
    } seen;
    auto record =
        +[](WebKitWebView*, WebKitContextMenu* menu, GdkEvent*, WebKitHitTestResult*, gpointer data) {
            auto* s = static_cast<TSeen*>(data);
            s->Asked = true;
            for (GList* item = webkit_context_menu_get_items(menu); item; item = item->next)
                s->Actions.push_back(
                    webkit_context_menu_item_get_stock_action(WEBKIT_CONTEXT_MENU_ITEM(item->data)));
            return FALSE;
        };
    const gulong handler = g_signal_connect(Browser->View(), "context-menu", G_CALLBACK(record), &seen);
    RightClick(Browser->View(), 50, 50);
    EXPECT_TRUE(PumpUntil([&] { return seen.Asked; }, 10000));
    g_signal_handler_disconnect(Browser->View(), handler);
    const std::vector<int>& actions = seen.Actions;
    ASSERT_FALSE(actions.empty());
    EXPECT_NE(std::find(actions.begin(), actions.end(), WEBKIT_CONTEXT_MENU_ACTION_COPY_IMAGE_TO_CLIPBOARD),
              actions.end());
    for (int action :
         {WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK, WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK,
          WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT})
        EXPECT_EQ(std::find(actions.begin(), actions.end(), action), actions.end()) << action;
    EXPECT_NE(actions.front(), WEBKIT_CONTEXT_MENU_ACTION_NO_ACTION) << "no leading separator";
    EXPECT_NE(actions.back(), WEBKIT_CONTEXT_MENU_ACTION_NO_ACTION) << "no trailing separator";

    // The new-window entry that is offered opens the book page in this view.
    GtkMenuItem* newWindow = nullptr;
    ASSERT_TRUE(
        PumpUntil([&] { return (newWindow = ShownMenuItem("Open Link in New Window")) != nullptr; }, 10000));
    ASSERT_TRUE(Load([&] {
        gtk_menu_item_activate(newWindow);
        gtk_menu_shell_deactivate(GTK_MENU_SHELL(gtk_widget_get_parent(GTK_WIDGET(newWindow))));
    }));
    EXPECT_EQ(Browser->LocationURL(), "mfs:\\b.htm");
}

TEST_F(TBookPagesTest, MissingFilesAreLoggedAndReportedAs404) {
    { TMFSInternetProtocol("gone", &Pages); } // a scheme whose requests are refused from now on
    TLogCapture log;
    Add("\\a.htm",
        "<html><body><p id=\"t\">page a</p><img src=\"missing.png\" onerror=\"window.failed = 'yes'\">"
        "<img src=\"gone:/x.png\">"
        "<img src=\"here.png\" onload=\"window.loaded = 'yes'\">"
        "<script src=\"missing.js\" onerror=\"window.noscript = 'yes'\"></script></body></html>");
    Add("\\here.png", MakeBitmap(3, 3, "png"));
    ASSERT_TRUE(Open("mfs:\\a.htm"));
    EXPECT_TRUE(PumpUntil(
        [&] { return Eval("window.failed + window.loaded + window.noscript") == "yesyesyes"; }, 10000));
    EXPECT_TRUE(log.Has("request mfs:\\a.htm 200 ")) << "the page";
    EXPECT_TRUE(log.Has("request mfs:\\here.png 200 "));
    EXPECT_TRUE(log.Has("request mfs:\\missing.png 404 "));
    EXPECT_EQ(std::count_if(log.Lines.begin(), log.Lines.end(),
                            [](const std::string& line) { return line.starts_with("request gone:"); }),
              1)
        << "a refused request is logged once, as failed";
    EXPECT_TRUE(log.Has("request gone:\\x.png failed 0"));

    // A missing page still shows the reader the error page, and completes.
    ASSERT_TRUE(Open("mfs:\\gone.htm"));
    EXPECT_NE(Eval("document.body.textContent").find("File \"\\gone.htm\" not found"), std::string::npos);
    EXPECT_TRUE(log.Has("request mfs:\\gone.htm 404 "));
}

TEST_F(TBookPagesTest, ACancelledNavigationRaisesNoDocumentComplete) {
    Add("\\a.htm", "<p id=\"t\">page a</p>");
    Add("\\b.htm", "<p id=\"t\">page b</p>");
    Add("\\c.htm", "<p id=\"t\">page c</p>");
    ASSERT_TRUE(Open("mfs:\\a.htm"));
    const int completed = Completed;
    TLogCapture log;

    // The reader moves on while b is still on its way: b's load is cancelled, a stays meanwhile.
    struct TMoveOn {
        TMXWebBrowser* Browser;
        bool Done = false;
    } moveOn{Browser.get()};
    const gulong handler =
        g_signal_connect(Browser->View(), "load-changed",
                         G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                             auto* m = static_cast<TMoveOn*>(data);
                             if (event != WEBKIT_LOAD_STARTED || m->Done) return;
                             m->Done = true;
                             m->Browser->Navigate("mfs:\\c.htm");
                         }),
                         &moveOn);
    Browser->Navigate("mfs:\\b.htm");
    ASSERT_TRUE(PumpUntil([&] { return Completed > completed; }));
    g_signal_handler_disconnect(Browser->View(), handler);
    ASSERT_TRUE(moveOn.Done);
    ASSERT_TRUE(PumpUntil([&] { return !webkit_web_view_is_loading(Browser->View()); }));
    EXPECT_EQ(Text(), "page c");
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_COMPLETE);
    EXPECT_EQ(Completed, completed + 1) << "only the page shown completes";
    EXPECT_TRUE(log.Has("navigation failed mfs:\\b.htm"));
    EXPECT_FALSE(log.Has("DocumentComplete mfs:\\b.htm"));
}

} // namespace

namespace {

TEST_F(TBookPagesTest, SameDocumentNavigationsAreReportedAndLeaveTheViewReady) {
    Add("\\a.htm", "<a id=\"down\" href=\"#far\">down</a><a id=\"up\" href=\"#top\">up</a>"
                   "<p id=\"top\">top</p><div style=\"height:5000px\"></div><p id=\"far\">far</p>");
    Add("\\b.htm", "<p id=\"t\">page b</p>");
    ASSERT_TRUE(Open("mfs:\\a.htm"));
    std::vector<std::string> reported;
    Browser->OnNavigateComplete2 = [&](TMXWebBrowser* sender) { reported.push_back(sender->LocationURL()); };
    const int completed = Completed;
    // Each step ends with the view ready on the address it names, reported once.
    auto settles = [&](const char* step, const std::string& url) -> ::testing::AssertionResult {
        if (!PumpUntil([&] { return Browser->ReadyState() == READYSTATE_COMPLETE && !reported.empty(); }, 4000))
            return ::testing::AssertionFailure() << step << ": ready state " << Browser->ReadyState()
                                                 << ", shows " << Browser->LocationURL();
        const std::string got = reported.back();
        reported.clear();
        if (got != url || Browser->LocationURL() != url)
            return ::testing::AssertionFailure() << step << ": reported " << got << ", shows "
                                                 << Browser->LocationURL();
        return ::testing::AssertionSuccess();
    };

    Browser->Navigate("mfs:\\a.htm#far");
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_LOADING);
    EXPECT_TRUE(settles("Navigate to a fragment", "mfs:\\a.htm#far"));
    Run("document.getElementById('up').click()");
    EXPECT_TRUE(settles("link to a fragment", "mfs:\\a.htm#top"));
    EXPECT_EQ(Browser->GoBack(), S_OK);
    EXPECT_TRUE(settles("Back", "mfs:\\a.htm#far"));
    EXPECT_EQ(Browser->GoBack(), S_OK);
    EXPECT_TRUE(settles("Back to the document's own entry", "mfs:\\a.htm"));
    EXPECT_EQ(Browser->GoForward(), S_OK);
    EXPECT_TRUE(settles("Forward", "mfs:\\a.htm#far"));
    Run("history.pushState(null, '', 'a.htm?v=2')");
    EXPECT_TRUE(settles("pushState", "mfs:\\a.htm?v=2"));
    Run("history.replaceState(null, '', 'a.htm#far')");
    EXPECT_TRUE(settles("replaceState", "mfs:\\a.htm#far"));
    EXPECT_EQ(Completed, completed) << "no document loaded";

    // A real load afterwards completes once, and Back over it loads the document again.
    ASSERT_TRUE(Open("mfs:\\b.htm"));
    EXPECT_EQ(Completed, completed + 1);
    PumpFor(300);
    EXPECT_EQ(Completed, completed + 1) << "one DocumentComplete for one load";
    ASSERT_TRUE(Load([&] { Browser->GoBack(); }));
    EXPECT_EQ(Browser->LocationURL(), "mfs:\\a.htm#far");
    EXPECT_EQ(Browser->ReadyState(), READYSTATE_COMPLETE);
}

} // namespace
