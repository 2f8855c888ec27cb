// The main window on books packed by the book packer: start-up, settings, story in step with the
// browser, context-menu and copy rules, splash screens, logo, and the closing order.
#include "frm_Main.h"

#include "ViewerTestSupport.h"
#include "book/PictureFixtures.h"
#include "frm_Splash.h"
#include "u_Loader.h"
#include "u_MFS.h"
#include "u_Resources.h"
#include "u_Settings.h"
#include "u_Story.h"

#include <gdk/gdkkeysyms.h>
#include <fstream>
#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

namespace {

std::string Title(const TfrmMain& window) {
    const char* title = gtk_window_get_title(window.Window());
    return title ? title : "";
}

class TMainWindowTest : public TMainWindowFixture {
  protected:
    std::string PageText() {
        return Window->webMain->EvaluateScript("document.body.innerText").value_or("?");
    }
    void Close() {
        gtk_window_close(Window->Window());
        PumpUntil([&] { return !Shown(*Window); }, 20000);
    }
};

// Pops down any menu the engine opened.
void CloseMenus() {
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
        GtkWidget* child = gtk_bin_get_child(GTK_BIN(item->data));
        if (child && GTK_IS_MENU(child) && gtk_widget_get_visible(child))
            gtk_menu_shell_cancel(GTK_MENU_SHELL(child));
    }
    g_list_free(windows);
    PumpFor(100);
}

TEST_F(TMainWindowTest, StartUpShowsTheFirstPageWithVariablesSubstituted) {
    Book.AddStandardBook("ApplicationTitle=\"%{TITLE}\" MainFormCaption=\"%{TITLE} - %{VIEWER}\"");
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    EXPECT_TRUE(window.Created());
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p1.htm");
    EXPECT_EQ(PageText().substr(0, 21), "Page one of Test Book");
    EXPECT_EQ(window.webMain->EvaluateScript("document.title"), "Test Book");
    EXPECT_EQ(Title(window), "Test Book - Test Viewer");
    EXPECT_EQ(ApplicationTitle(), "Test Book");
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TMainWindowTest, PagesWithoutVariablesAreServedAsTheArchiveHoldsThem) {
    Book.AddStandardBook();
    Book.Add("pages/plain.htm", "<p>no reference, only 100% and {braces}</p>");
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    TMFSFile* plain = window.PageArchive()->Session()->GetFile("\\plain.htm");
    TByteString served = plain->Data.Share();
    window.SubstituteVariables(nullptr, "\\plain.htm", served);
    EXPECT_EQ(served.data(), plain->Data.data()) << "no copy for a page without a reference";
    TByteString page = window.PageArchive()->Session()->GetFile("\\p1.htm")->Data.Share();
    window.SubstituteVariables(nullptr, "\\p1.htm", page);
    EXPECT_NE(page.View().find("Page one of Test Book"), std::string_view::npos);
}

TEST_F(TMainWindowTest, WindowSizeAndFixedBorder) {
    Book.AddStandardBook("Width=640 Height=420");
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    int width = 0, height = 0;
    gtk_window_get_size(window.Window(), &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 420);
    EXPECT_FALSE(gtk_window_get_resizable(window.Window())); // fixed border, no maximise button
    EXPECT_FALSE(gtk_window_is_maximized(window.Window()));
}

TEST_F(TMainWindowTest, DefaultSizeResizableAndMaximised) {
    Book.AddStandardBook("ResizableWindow=True RunMaximized=True");
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_TRUE(gtk_window_get_resizable(window.Window()));
    EXPECT_TRUE(PumpUntil([&] { return gtk_window_is_maximized(window.Window()); }, 3000));

    Window.reset();
    Book.AddStandardBook(); // no keys: 800 x 600
    TfrmMain& plain = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    int width = 0, height = 0;
    gtk_window_get_size(plain.Window(), &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
}

TEST_F(TMainWindowTest, MaximisedWithAFixedBorderCoversTheWorkArea) {
    // Window managers do not maximise a window of fixed size; the window takes the work area
    // itself, also where no window manager runs at all.
    Book.AddStandardBook("RunMaximized=True Width=500 Height=400");
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_FALSE(gtk_window_get_resizable(window.Window()));
    GdkRectangle area;
    gdk_monitor_get_workarea(gdk_display_get_primary_monitor(gdk_display_get_default())
                                 ? gdk_display_get_primary_monitor(gdk_display_get_default())
                                 : gdk_display_get_monitor(gdk_display_get_default(), 0),
                             &area);
    int width = 0, height = 0, x = -1, y = -1;
    EXPECT_TRUE(PumpUntil(
        [&] {
            gtk_window_get_size(window.Window(), &width, &height);
            return width == area.width && height == area.height;
        },
        3000))
        << width << " x " << height << ", not " << area.width << " x " << area.height;
    gdk_window_get_root_origin(gtk_widget_get_window(GTK_WIDGET(window.Window())), &x, &y);
    EXPECT_EQ(x, area.x);
    EXPECT_EQ(y, area.y);
}

TEST_F(TMainWindowTest, MissingSystemXmlEndsStartUpWithoutAPage) {
    Book.AddStandardBook();
    Book.Remove("system/System.xml");
    TfrmMain& window = Open();
    EXPECT_TRUE(window.StartFailed());
    EXPECT_FALSE(window.Created());
    EXPECT_EQ(window.StartError(), "File \"System.xml\" not found");
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Recorder.Boxes[0].Text, "File \"System.xml\" not found");
    // Shown, it closes at once without ever navigating.
    EXPECT_TRUE(PumpUntil([&] { return !Shown(window); }, 5000));
    EXPECT_EQ(window.webMain, nullptr);
    EXPECT_EQ(window.Story(), nullptr);
}

TEST_F(TMainWindowTest, DamagedPageCabinetEndsStartUpWithItsMessage) {
    // The page archive is decoded on a worker thread while the start-up goes on; its failure still
    // ends the start-up at the page archive's step: the message of the cabinet, one error box, no
    // opening splash (a later step), no page.
    Book.AddStandardBook("", "<splash SplashTypeS=\"vsSplash\" Interval=2/>");
    Book.Add("system/SplashS.bmp", MakeBitmap(200, 100));
    std::string noisy;
    uint32_t seed = 7;
    while (noisy.size() < 200000) {
        seed = seed * 1103515245u + 12345u;
        noisy += static_cast<char>('a' + (seed >> 16) % 26);
    }
    Book.Add("pages/long.htm", "<p>" + noisy + "</p>");
    const std::string packed = Book.Pack();
    uint64_t offset = 0, size = 0;
    const TResourceFile resources(packed);
    for (const TResourceEntry& entry : resources.Entries())
        if (entry.Name == "FILES_MFS") offset = entry.Offset, size = entry.Size;
    ASSERT_GT(size, 1000u);
    {
        std::fstream file(packed, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(static_cast<std::streamoff>(offset + size - 200));
        const char byte = static_cast<char>(file.get() ^ 0x41);
        file.seekp(static_cast<std::streamoff>(offset + size - 200));
        file.put(byte);
    }
    // What loading that cabinet on this thread says.
    std::string expected;
    try {
        TMFS archive;
        LoadArchiveFromCabinet(archive, LoadRCDataResource("FILES_MFS", packed));
    } catch (const std::exception& e) {
        expected = e.what();
    }
    ASSERT_EQ(expected, "Failure decompressing data from a cabinet file [0x0007]");

    Window = std::make_unique<TfrmMain>(packed);
    TfrmMain& window = *Window;
    EXPECT_TRUE(window.StartFailed());
    EXPECT_FALSE(window.Created());
    EXPECT_EQ(window.StartError(), expected);
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Recorder.Boxes[0].Text, expected);
    EXPECT_EQ(LiveSplashCount(), 0);
    gtk_widget_show(GTK_WIDGET(window.Window()));
    EXPECT_TRUE(PumpUntil([&] { return !Shown(window); }, 5000));
    EXPECT_EQ(window.webMain, nullptr);
    EXPECT_EQ(window.PageArchive(), nullptr);
}

TEST_F(TMainWindowTest, BookWithoutResourcesFailsToStart) {
    Window = std::make_unique<TfrmMain>("/bin/true");
    EXPECT_TRUE(Window->StartFailed());
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_FALSE(Recorder.Boxes[0].Text.empty());
}

TEST_F(TMainWindowTest, MissingVariablesFileLeavesReferencesAsWritten) {
    Book.AddStandardBook("MainFormCaption=\"%{TITLE} - %{VIEWER}\"");
    Book.Remove("system/Variables.xml");
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Title(window), "%{TITLE} - %{VIEWER}");
    EXPECT_EQ(PageText().substr(0, 20), "Page one of %{TITLE}");
}

TEST_F(TMainWindowTest, FollowingLinksMovesTheStoryCursor) {
    Book.AddStandardBook();
    Book.Add("pages/extra.htm", "<html><body>not in the story</body></html>");
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    window.webMain->EvaluateScript("document.getElementById('next').click(); 1");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p3.htm");
    EXPECT_EQ(window.GetCurrentPage(), "\\p3.htm");

    // A root-relative link back, then a page outside the story: the cursor stays on p1.
    window.webMain->EvaluateScript("document.getElementById('back').click(); 1");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p1.htm");
    window.webMain->Navigate("mfs:\\extra.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\extra.htm"));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p1.htm");

    // ShowStoryPage goes to the cursor's page.
    window.Story()->Last();
    window.ShowStoryPage();
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
}

TEST_F(TMainWindowTest, ContextMenuRefusedExactlyOnForbiddingPages) {
    Book.AddStandardBook();
    Book.Add("pages/extra.htm", "<html><body>not in the story</body></html>");
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    // The real engine asks on a right-click; count its questions and answers.
    std::vector<HRESULT> answers;
    auto original = window.webMain->OnShowContextMenu;
    window.webMain->OnShowContextMenu = [&](DWORD id, const TPoint& p, IUnknown* t, IUnknown* o) {
        answers.push_back(original(id, p, t, o));
        return answers.back();
    };
    auto rightClick = [&] {
        RightClick(window.webMain->View(), 20, 20);
        const size_t before = answers.size();
        PumpUntil([&] { return answers.size() > before; }, 5000);
        CloseMenus();
    };
    rightClick();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers.back(), S_FALSE); // the browser's own menu

    window.webMain->Navigate("mfs:\\p2.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));
    rightClick();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers.back(), S_OK); // no menu

    // A page outside the story keeps the rule of the last story page shown.
    window.webMain->Navigate("mfs:\\extra.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\extra.htm"));
    EXPECT_EQ(window.webMain2ShowContextMenu(0, {}, nullptr, nullptr), S_OK);
    window.webMain->Navigate("mfs:\\p3.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(window.webMain2ShowContextMenu(0, {}, nullptr, nullptr), S_FALSE);
}

TEST_F(TMainWindowTest, CtrlCEmptiesTheClipboardOnlyOnForbiddingPages) {
    Book.AddStandardBook();
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    const std::string selectText = "var r = document.createRange(); "
                                   "r.selectNodeContents(document.getElementById('text')); "
                                   "getSelection().removeAllRanges(); getSelection().addRange(r); 1";
    gtk_widget_grab_focus(GTK_WIDGET(window.webMain->View()));

    // Allowed page: the browser copies.
    gtk_clipboard_set_text(clipboard, "before", -1);
    window.webMain->EvaluateScript(selectText);
    PressKey(window.webMain->View(), GDK_KEY_Control_L);
    PressKey(window.webMain->View(), GDK_KEY_c, GDK_CONTROL_MASK);
    EXPECT_TRUE(PumpUntil([&] { return ClipboardText(clipboard) == "Page one of Test Book"; }, 5000))
        << ClipboardText(clipboard);
    GtkClipboard* primary = gtk_clipboard_get(GDK_SELECTION_PRIMARY);
    EXPECT_TRUE(PumpUntil([&] { return ClipboardText(primary) == "Page one of Test Book"; }, 5000))
        << ClipboardText(primary);

    // Forbidding page: the clipboard ends up empty and nothing is copied.
    window.webMain->Navigate("mfs:\\p2.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));
    gtk_clipboard_set_text(clipboard, "before", -1);
    window.webMain->EvaluateScript(selectText);
    PressKey(window.webMain->View(), GDK_KEY_Control_L);
    PressKey(window.webMain->View(), GDK_KEY_c, GDK_CONTROL_MASK);
    EXPECT_EQ(ClipboardText(clipboard), "");
    // C pressed again with Ctrl still held, and Ctrl+Insert, copy nothing either.
    window.webMain->EvaluateScript(selectText);
    PressKey(window.webMain->View(), GDK_KEY_c, GDK_CONTROL_MASK);
    PumpFor(300);
    EXPECT_EQ(ClipboardText(clipboard), "");
    PressKey(window.webMain->View(), GDK_KEY_Insert, GDK_CONTROL_MASK);
    PumpFor(300);
    EXPECT_EQ(ClipboardText(clipboard), "");
    // Nor does the selection a middle click pastes keep the text.
    PumpFor(300);
    EXPECT_NE(ClipboardText(primary), "Secret page two");

    // C after another key is left alone.
    gtk_clipboard_set_text(clipboard, "kept", -1);
    PressKey(window.webMain->View(), GDK_KEY_a);
    PressKey(window.webMain->View(), GDK_KEY_c);
    EXPECT_EQ(ClipboardText(clipboard), "kept");
}

TEST_F(TMainWindowTest, EscClosesTheMainWindow) {
    Book.AddStandardBook();
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    PressKey(window.webMain->View(), GDK_KEY_Escape);
    EXPECT_TRUE(PumpUntil([&] { return !Shown(window); }, 5000));
    EXPECT_EQ(window.webMain, nullptr);
}

// Whether a fresh page view can load url.
bool CanLoad(const std::string& url) {
    TMXWebBrowser browser;
    bool failed = false;
    g_signal_connect(
        browser.View(), "load-failed",
        G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return TRUE;
        }),
        &failed);
    browser.Navigate(url);
    PumpUntil([&] { return browser.ReadyState() == READYSTATE_COMPLETE; });
    g_signal_handlers_disconnect_matched(browser.View(), G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                         &failed);
    return !failed && browser.ReadyState() == READYSTATE_COMPLETE;
}

TEST_F(TMainWindowTest, ClosingReleasesSchemesAndBrowserInOrder) {
    Book.AddStandardBook();
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_TRUE(CanLoad("mfs:\\p2.htm"));
    EXPECT_TRUE(CanLoad("system:\\Story.xml"));
    Close();
    EXPECT_FALSE(Shown(window));
    EXPECT_EQ(window.webMain, nullptr);
    EXPECT_FALSE(CanLoad("mfs:\\p2.htm"));
    EXPECT_FALSE(CanLoad("system:\\Story.xml"));
    // Destruction after closing releases the rest once.
    Window.reset();
}

TEST_F(TMainWindowTest, StartPopUpAndEndPopUp) {
    Book.AddStandardBook(
        "", "<splash SplashTypeS=\"vsPopUp\" SplashTypeE=\"vsPopUp\" PopUpTextS=\"Hello %{TITLE}\" "
            "PopUpTextE=\"Bye\"/>");
    Open();
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Information);
    EXPECT_EQ(Recorder.Boxes[0].Text, "Hello %{TITLE}"); // shown as written
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    Close();
    ASSERT_EQ(Recorder.Boxes.size(), 2u);
    EXPECT_EQ(Recorder.Boxes[1].Text, "Bye");
    EXPECT_EQ(LiveSplashCount(), 0);
}

TEST_F(TMainWindowTest, StartSplashPictureGoesAfterItsInterval) {
    Book.AddStandardBook("", "<splash SplashTypeS=\"vsSplash\" Interval=2/>");
    Book.Add("system/SplashS.bmp", MakeBitmap(200, 100));
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    EXPECT_EQ(LiveSplashCount(), 1);
    EXPECT_FALSE(SplashDone);
    // The window works beneath it meanwhile.
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_TRUE(PumpUntil([] { return SplashDone; }, 5000));
    EXPECT_TRUE(PumpUntil([] { return LiveSplashCount() == 0; }, 2000));
}

TEST_F(TMainWindowTest, SplashWithoutItsPictureShowsNothing) {
    Book.AddStandardBook("", "<splash SplashTypeS=\"vsSplash\" SplashTypeE=\"vsSplash\"/>");
    TfrmMain& window = Open();
    EXPECT_EQ(LiveSplashCount(), 0);
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    Close();
    EXPECT_FALSE(Shown(window));
}

TEST_F(TMainWindowTest, EndSplashHoldsTheClosingUntilClicked) {
    Book.AddStandardBook("", "<splash SplashTypeE=\"vsSplash\" Interval=10 CloseOnClick=True/>");
    Book.Add("system/SplashE.bmp", MakeBitmap(60, 40));
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    // Click the closing splash as soon as it is up; the close path waits until then.
    bool clicked = false;
    const guint poll = g_timeout_add(
        50,
        [](gpointer flag) -> gboolean {
            TfrmSplash* splash = VisibleWindow<TfrmSplash>();
            if (!splash) return G_SOURCE_CONTINUE;
            EXPECT_FALSE(SplashDone);
            splash->FormClick(nullptr);
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &clicked);
    const gint64 start = g_get_monotonic_time();
    gtk_window_close(window.Window());
    PumpUntil([&] { return !Shown(window); });
    const gint64 elapsedMs = (g_get_monotonic_time() - start) / 1000;
    if (!clicked) g_source_remove(poll);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(SplashDone);
    EXPECT_FALSE(Shown(window));
    EXPECT_LT(elapsedMs, 9000); // the click, not the 10 s timer, let it go
}

TEST_F(TMainWindowTest, ClosingSplashIsNotCutShortByTheOpeningOneNorHurtByAnEarlyClick) {
    Book.AddStandardBook("", "<splash SplashTypeS=\"vsSplash\" SplashTypeE=\"vsSplash\" Interval=2 "
                             "CloseOnClick=True/>");
    Book.Add("system/SplashS.bmp", MakeBitmap(200, 100));
    Book.Add("system/SplashE.bmp", MakeBitmap(60, 40));
    // Closed at once: the opening picture goes on its own timer during the closing one's time.
    TfrmMain& window = Open();
    ASSERT_EQ(LiveSplashCount(), 1);
    PumpFor(800);
    gint64 start = g_get_monotonic_time();
    Close();
    const gint64 closingMs = (g_get_monotonic_time() - start) / 1000;
    EXPECT_FALSE(Shown(window));
    EXPECT_GE(closingMs, 1900) << "the closing picture was cut short";
    EXPECT_TRUE(PumpUntil([] { return LiveSplashCount() == 0; }, 3000));

    // A click that lands while the closing picture is being put on screen closes it at once; the
    // window it released is not touched again.
    Window.reset();
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    ASSERT_TRUE(PumpUntil([] { return LiveSplashCount() == 0; }, 5000));
    int clicks = 0;
    const guint hook = g_signal_add_emission_hook(
        g_signal_lookup("map", GTK_TYPE_WIDGET), 0,
        [](GSignalInvocationHint*, guint, const GValue* values, gpointer data) -> gboolean {
            auto* widget = GTK_WIDGET(g_value_get_object(&values[0]));
            if (auto* splash = GTK_IS_WINDOW(widget) ? TfrmSplash::FromWindow(GTK_WINDOW(widget)) : nullptr) {
                splash->FormClick(nullptr);
                ++*static_cast<int*>(data);
            }
            return TRUE;
        },
        &clicks, nullptr);
    start = g_get_monotonic_time();
    Close();
    g_signal_remove_emission_hook(g_signal_lookup("map", GTK_TYPE_WIDGET), hook);
    EXPECT_EQ(clicks, 1);
    EXPECT_LT((g_get_monotonic_time() - start) / 1000, 1500);
    EXPECT_FALSE(Shown(*Window));
    EXPECT_TRUE(PumpUntil([] { return LiveSplashCount() == 0; }, 3000));
}

TEST_F(TMainWindowTest, LogoIsScaledHintedAndOpensItsLink) {
    Book.AddStandardBook("", "<toolbar LogoDisplay=True LogoLink=\"%{SITE}\" LogoText=\"About %{TITLE}\"/>");
    Book.Add("system/Logo.bmp", MakeBitmap(300, 150));
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    ASSERT_TRUE(window.LogoPicture());
    EXPECT_EQ(gdk_pixbuf_get_width(window.LogoPicture().get()), MaxLogoWidth);
    EXPECT_EQ(gdk_pixbuf_get_height(window.LogoPicture().get()), 56); // 150 * 113 / 300
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window.pnlLogo)));
    EXPECT_EQ(TooltipText(window.imgLogo), "About Test Book");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    // Higher than the (empty) tool bar: the toolbar panel takes the logo bitmap's own height,
    // not that of the picture scaled into the logo panel.
    EXPECT_EQ(window.LogoHeight(), 150);
    EXPECT_TRUE(PumpUntil(
        [&] { return gtk_widget_get_allocated_height(GTK_WIDGET(window.pnlToolbarCommon)) == 150; }, 3000))
        << gtk_widget_get_allocated_height(GTK_WIDGET(window.pnlToolbarCommon));
    window.imgLogoClick();
    ASSERT_EQ(Recorder.Opened.size(), 1u);
    EXPECT_EQ(Recorder.Opened[0], "https://example.org/Test Book");
}

TEST_F(TMainWindowTest, ToolbarPlacementAndMissingLogo) {
    Book.AddStandardBook("", "<toolbar LogoDisplay=True/>");
    TfrmMain& window = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window.pnlLogo)));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window.pnlToolbarCommon)));
    window.imgLogoClick(); // empty link: nothing opens
    EXPECT_TRUE(Recorder.Opened.empty());

    Window.reset();
    Book.AddStandardBook("", "<toolbar ToolbarPlacement=\"tpBottom\"/>");
    TfrmMain& bottom = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(bottom.pnlToolbarCommon)));
    GtkAllocation toolbarArea, pageArea;
    gtk_widget_get_allocation(GTK_WIDGET(bottom.pnlToolbarCommon), &toolbarArea);
    gtk_widget_get_allocation(GTK_WIDGET(bottom.webMain->View()), &pageArea);
    EXPECT_GT(toolbarArea.y, pageArea.y);

    Window.reset();
    Book.AddStandardBook("", "<toolbar ToolbarPlacement=\"tpNoToolbar\" LogoDisplay=True/>");
    Book.Add("system/Logo.bmp", MakeBitmap(50, 20));
    TfrmMain& bare = Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(bare.pnlToolbarCommon)));
}

TEST_F(TMainWindowTest, CharacterCodesAbove127ReachTheCaption) {
    Book.AddStandardBook("ApplicationTitle='Caf'#233 MainFormCaption='Caf'#233' - '#8364");
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    EXPECT_EQ(Title(window), "Caf\u00e9 - \u20ac");
    EXPECT_EQ(ApplicationTitle(), "Caf\u00e9");
}

TEST_F(TMainWindowTest, VariablesNamingAFolderAndNegativeSizesStartPlainly) {
    Book.AddStandardBook("MainFormCaption=\"%{TITLE}\" Width=-640 Height=-1");
    Book.Remove("system/Variables.xml");
    Book.Add("system/Variables.xml/readme.txt", "a folder, not the variables");
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Title(window), "%{TITLE}");
    int width = 0, height = 0;
    gtk_window_get_size(window.Window(), &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
}

TEST_F(TMainWindowTest, LogoIsDrawnWithItsTransparentColour) {
    Book.AddStandardBook("", "<toolbar LogoDisplay=True/>");
    Book.Add("system/Logo.bmp", Bitmap(40, 30, 0x3366CC, 0xFFFFFF));
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    const TPixbuf logo = window.LogoPicture();
    ASSERT_TRUE(logo);
    ASSERT_TRUE(gdk_pixbuf_get_has_alpha(logo.get()));
    const guint8* pixels = gdk_pixbuf_read_pixels(logo.get());
    EXPECT_EQ(pixels[29 * gdk_pixbuf_get_rowstride(logo.get()) + 3], 0); // the bottom-left pixel's colour
    EXPECT_EQ(pixels[3], 255);
}

TEST_F(TMainWindowTest, ToolbarPicturesAreReadAtStartUp) {
    Book.AddStandardBook("ToolButtons=\"ToolButtons.xml\"");
    Book.Add("system/ToolButtons.xml", "<ToolButtons><Images><i Path=\"small.bmp\"/></Images></ToolButtons>");
    Book.Add("system/small.bmp", Bitmap(16, 16));
    TfrmMain& window = Open();
    EXPECT_TRUE(window.StartFailed());
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Text, "Invalid toolbar image size");

    Window.reset();
    Recorder.Boxes.clear();
    Book.Add("system/small.bmp", Bitmap(48, 24));
    EXPECT_FALSE(Open().StartFailed()) << Window->StartError();
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TMainWindowTest, MessageBoxesBelongToTheMainWindow) {
    Book.AddStandardBook("", "<splash SplashTypeS=\"vsPopUp\" PopUpTextS=\"Hello\"/>");
    const TMessageBoxHook recording = SetMessageBoxHook(nullptr);
    // Answers the real box as a reader would, noting whose box it is.
    GtkWindow* owner = nullptr;
    bool answered = false;
    TScopedSource poll = TScopedSource::Timeout(50, [&] {
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* box = nullptr;
        for (GList* item = windows; item && !box; item = item->next)
            if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
                box = GTK_WIDGET(item->data);
        g_list_free(windows);
        if (!box) return true;
        owner = gtk_window_get_transient_for(GTK_WINDOW(box));
        answered = true;
        gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
        return false;
    });
    Open();
    poll.Cancel();
    SetMessageBoxHook(recording);
    ASSERT_TRUE(answered);
    EXPECT_EQ(owner, Window->Window());
}

// The colour on screen at (x, y), as 0xRRGGBB.
uint32_t ScreenPixel(int x, int y) {
    GdkPixbuf* pixel = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, 1, 1);
    if (!pixel) return 0xFFFFFFFFu;
    const guint8* p = gdk_pixbuf_get_pixels(pixel);
    const uint32_t rgb = static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
    g_object_unref(pixel);
    return rgb;
}

TEST_F(TMainWindowTest, OpeningSplashIsSeenAboveTheMainWindow) {
    // Xvfb has no window manager: only the stacking order decides what is seen.
    Book.AddStandardBook("", "<splash SplashTypeS=\"vsSplash\" Interval=10/>");
    Book.Add("system/SplashS.bmp", MakeBitmap(200, 100));
    Book.Add("pages/p1.htm", "<html><body style=\"background:#ffffff\">white</body></html>");
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    GdkScreen* screen = gdk_screen_get_default();
    const int cx = gdk_screen_get_width(screen) / 2, cy = gdk_screen_get_height(screen) / 2;
    // The main window covers the screen's centre too.
    int x = 0, y = 0, width = 0, height = 0;
    gtk_window_get_position(window.Window(), &x, &y);
    gtk_window_get_size(window.Window(), &width, &height);
    ASSERT_TRUE(cx > x && cx < x + width && cy > y && cy < y + height);
    // Once the page is painted (white next to the splash), the splash is still there above it.
    const int px = x + 20, py = y + height - 20;
    EXPECT_TRUE(
        PumpUntil([&] { return ScreenPixel(px, py) == 0xFFFFFF && ScreenPixel(cx, cy) == 0x3366CC; }, 5000))
        << std::hex << ScreenPixel(px, py) << " " << ScreenPixel(cx, cy);
    EXPECT_FALSE(SplashDone);
}

TEST_F(TMainWindowTest, EmptyReadingOrderNavigatesToTheBareScheme) {
    Book.AddStandardBook();
    Book.Add("system/Story.xml", "<Story/>");
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    EXPECT_EQ(window.Story()->CurrentPage(), "");
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->ReadyState() == READYSTATE_COMPLETE; }));
    // Without a page every page counts as forbidding right-click.
    EXPECT_EQ(window.webMain2ShowContextMenu(0, {}, nullptr, nullptr), S_OK);
}

} // namespace
