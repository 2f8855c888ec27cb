// The book's toolbar on packed books: buttons and pictures as the description gives them, the
// commands by real clicks on the buttons (the page shown read back from the browser's location),
// bookmarks, font size and the keyboard shortcuts.
#include "frm_Main.h"
#include "frm_UserForm.h"
#include "u_HostExternal.h"
#include "u_TypeLib.h"

#include "ViewerTestSupport.h"
#include "book/PictureFixtures.h"
#include "frm_Search.h"
#include "frm_Splash.h"
#include "u_Dictionary.h"
#include "u_Settings.h"
#include "u_Story.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace {

size_t ItemCount(GtkMenu* menu) {
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    const size_t count = g_list_length(items);
    g_list_free(items);
    return count;
}

GtkMenuItem* MenuItem(GtkMenu* menu, int index) {
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    gpointer item = g_list_nth_data(items, static_cast<guint>(index));
    g_list_free(items);
    return item && GTK_IS_MENU_ITEM(item) ? GTK_MENU_ITEM(item) : nullptr;
}

// A toolbar with one button of every kind, tagged by kind (separator first), all with one picture.
const char* const FullToolbar = "<ToolButtons>\n"
                                "  <Images><Image Name=\"pic\" Path=\"pics\\pic.bmp\"/></Images>\n"
                                "  <Buttons>\n"
                                "    <Button/>\n"
                                "    <Button Kind=1 Caption=\"Back\" Image=\"pic\"/>\n"
                                "    <Button Kind=2 Caption=\"Forward\" Image=\"pic\"/>\n"
                                "    <Button Kind=3 Caption=\"First\" Image=\"pic\"/>\n"
                                "    <Button Kind=4 Caption=\"Prior\" Image=\"pic\"/>\n"
                                "    <Button Kind=5 Caption=\"Next\" Image=\"pic\"/>\n"
                                "    <Button Kind=6 Caption=\"Last\" Image=\"pic\"/>\n"
                                "    <Button Kind=7 Caption=\"Prior chapter\" Image=\"pic\"/>\n"
                                "    <Button Kind=8 Caption=\"Next chapter\" Image=\"pic\"/>\n"
                                "    <Button Kind=9 Caption=\"About\" Image=\"pic\"/>\n"
                                "    <Button Kind=10 Caption=\"Exit\" Image=\"pic\"/>\n"
                                "    <Button Kind=11 Caption=\"Size\" Image=\"pic\"/>\n"
                                "    <Button Kind=12 Caption=\"Search\" Image=\"pic\"/>\n"
                                "    <Button Kind=13 Caption=\"Bookmarks\" Image=\"pic\">\n"
                                "      <item/>\n"
                                "      <item caption=\"Three\" url=\"mfs:\\p3.htm\"/>\n"
                                "      <item caption=\"Web\" url=\"https://example.org/x\" NewWindow=True/>\n"
                                "    </Button>\n"
                                "    <Button Kind=14 Caption=\"Print\" Image=\"pic\"/>\n"
                                "    <Button Kind=15 Caption=\"Copy\" Image=\"pic\"/>\n"
                                "    <Button Kind=16 Caption=\"Refresh\" Image=\"pic\"/>\n"
                                "    <Button Kind=17 Caption=\"Home\" Image=\"pic\"/>\n"
                                "  </Buttons>\n"
                                "</ToolButtons>\n";

class TToolbarTest : public TMainWindowFixture {
  protected:
    void AddBook(const std::string& toolButtons = FullToolbar, const std::string& systemAttributes = "") {
        // Without captions every button fits on the bar: none goes to its overflow menu.
        Book.AddStandardBook("ToolButtons=\"tb\\ToolButtons.xml\" " + systemAttributes,
                             "<toolbar ToolbarShowCaption=False/>");
        Book.Add("system/tb/ToolButtons.xml", toolButtons);
        Book.Add("system/tb/pics/pic.bmp", Bitmap(24, 24));
    }
    TfrmMain& OpenAtFirstPage() {
        TfrmMain& window = Open();
        EXPECT_FALSE(window.StartFailed()) << window.StartError();
        EXPECT_TRUE(WaitForPage("mfs:\\p1.htm"));
        return window;
    }
    GtkToolButton* Button(int tag) {
        GtkToolItem* item = gtk_toolbar_get_nth_item(Window->tbrMain, tag);
        return item && GTK_IS_TOOL_BUTTON(item) ? GTK_TOOL_BUTTON(item) : nullptr;
    }
    // Clicks a button's face as the pointer would: the button inside the tool item is activated.
    void Click(int tag) {
        GtkToolButton* button = Button(tag);
        ASSERT_NE(button, nullptr) << tag;
        GtkWidget* face = gtk_bin_get_child(GTK_BIN(button));
        if (GTK_IS_BOX(face)) { // a drop-down button: its face comes before its arrow
            GList* children = gtk_container_get_children(GTK_CONTAINER(face));
            face = GTK_WIDGET(children->data);
            g_list_free(children);
        }
        ASSERT_TRUE(GTK_IS_BUTTON(face));
        // The face reports the click once its pressed look has shown; the command has run then.
        bool clicked = false;
        TSignalConnection watch = TSignalConnection::Connect<void(GtkToolButton*)>(
            button, "clicked", [&](GtkToolButton*) { clicked = true; });
        gtk_widget_activate(face);
        EXPECT_TRUE(PumpUntil([&] { return clicked; }, 5000));
        watch.Disconnect();
    }
    // Clicks a button with the pointer of the X server, through xdotool.
    void PointerClick(int tag) {
        GtkToolButton* button = Button(tag);
        ASSERT_NE(button, nullptr) << tag;
        int x = 0, y = 0;
        gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(button)), &x, &y);
        GtkAllocation area;
        gtk_widget_get_allocation(GTK_WIDGET(button), &area);
        x += area.x + area.width / 2;
        y += area.y + area.height / 2;
        bool clicked = false;
        TSignalConnection watch = TSignalConnection::Connect<void(GtkToolButton*)>(
            button, "clicked", [&](GtkToolButton*) { clicked = true; });
        const std::string command =
            "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_TRUE(PumpUntil([&] { return clicked; }, 5000));
        watch.Disconnect();
    }
    // Clicks and waits until url is shown.
    ::testing::AssertionResult ClickTo(int tag, const std::string& url) {
        Click(tag);
        return WaitForPage(url);
    }
};

TEST_F(TToolbarTest, ButtonsInDocumentOrderWithTagsCaptionsAndPictures) {
    AddBook("<t><Images>"
            "<i Name=\"wide\" Path=\"pics\\wide.bmp\"/><i Name=\"after\" Path=\"pics\\pic.bmp\"/>"
            "</Images><Buttons>"
            "<b Kind=0 Caption=\"ignored\"/><b Kind=5 Caption=\"Next\" Image=\"after\"/><b/>"
            "<b Kind=4 Caption=\"Prior\" Image=\"unrecorded\" ImageIndex=2/><b Kind=0/>"
            "</Buttons></t>");
    Book.Add("system/tb/pics/wide.bmp", Bitmap(48, 24));
    TfrmMain& window = OpenAtFirstPage();

    // The 48-pixel bitmap gave two images, so "after" stands for the third image, its own.
    ASSERT_EQ(window.imglToolbar.size(), 3u);
    EXPECT_EQ(reinterpret_cast<intptr_t>(window.ImageIndexes()->Find("AFTER", nullptr)), 2);
    ASSERT_EQ(gtk_toolbar_get_n_items(window.tbrMain), 5);
    EXPECT_EQ(window.ButtonKinds(),
              (std::vector<TToolButtonKind>{tbkSeparator, tbkNext, tbkSeparator, tbkPrior, tbkSeparator}));
    for (int tag = 0; tag < 5; ++tag)
        EXPECT_EQ(ComponentTag(GTK_WIDGET(gtk_toolbar_get_nth_item(window.tbrMain, tag))), tag);
    for (int tag : {0, 2, 4}) {
        EXPECT_TRUE(GTK_IS_SEPARATOR_TOOL_ITEM(gtk_toolbar_get_nth_item(window.tbrMain, tag)));
        EXPECT_EQ(gtk_widget_get_allocated_width(GTK_WIDGET(gtk_toolbar_get_nth_item(window.tbrMain, tag))), 8);
    }
    EXPECT_STREQ(gtk_tool_button_get_label(Button(1)), "Next");
    // The hint is the face's, where the pointer rests.
    EXPECT_EQ(TooltipText(gtk_bin_get_child(GTK_BIN(Button(1)))), "Next");
    GtkWidget* picture = gtk_tool_button_get_icon_widget(Button(1));
    ASSERT_TRUE(picture && GTK_IS_IMAGE(picture));
    EXPECT_EQ(gtk_image_get_pixbuf(GTK_IMAGE(picture)), window.imglToolbar[2].get()); // not the wide bitmap's second half
    EXPECT_EQ(gtk_tool_button_get_icon_widget(Button(3)), nullptr);        // Image wins over ImageIndex

    // Clicking a separator does nothing, however often.
    gtk_widget_activate(GTK_WIDGET(gtk_toolbar_get_nth_item(window.tbrMain, 2)));
    PumpFor(200);
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p1.htm");
}

TEST_F(TToolbarTest, WithoutADescriptionThereIsNoToolBarAndNoError) {
    for (const char* attribute : {"", "ToolButtons=\"missing.xml\""}) {
        Book.AddStandardBook(attribute, "<toolbar/>");
        TfrmMain& window = OpenAtFirstPage();
        EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window.tbrMain)));
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window.pnlToolbarCommon)));
        EXPECT_TRUE(Recorder.Boxes.empty());
        Window.reset();
    }
}

TEST_F(TToolbarTest, AnUnknownPictureExtensionStopsTheStartUp) {
    AddBook("<t><Images><i Path=\"pics\\pic.gif\"/></Images><Buttons><b Kind=5/></Buttons></t>");
    Book.Add("system/tb/pics/pic.gif", "GIF89a");
    TfrmMain& window = Open();
    EXPECT_TRUE(window.StartFailed());
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Text, "Unknown picture file extension (.gif)");
}

TEST_F(TToolbarTest, StoryCommandsMoveThroughTheReadingOrder) {
    AddBook();
    TfrmMain& window = OpenAtFirstPage();
    TLogCapture log;
    // Prior on the first page: nothing moves, no message.
    Click(4);
    PumpFor(300);
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p1.htm");
    ASSERT_TRUE(ClickTo(5, "mfs:\\p2.htm"));
    ASSERT_TRUE(ClickTo(5, "mfs:\\p3.htm"));
    // Next on the last page, twice: the page stays and nobody is told.
    Click(5);
    PumpFor(300);
    Click(5);
    PumpFor(300);
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p3.htm");
    ASSERT_TRUE(ClickTo(4, "mfs:\\p2.htm"));
    ASSERT_TRUE(ClickTo(3, "mfs:\\p1.htm"));
    ASSERT_TRUE(ClickTo(6, "mfs:\\p3.htm"));
    // Chapters: p1 alone, then the chapter of p2 and p3.
    ASSERT_TRUE(ClickTo(7, "mfs:\\p1.htm"));
    ASSERT_TRUE(ClickTo(8, "mfs:\\p2.htm"));
    // p2 opens the last chapter: there is no next chapter, the page stays, and Next still goes on.
    Click(8);
    PumpFor(300);
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p2.htm");
    ASSERT_TRUE(ClickTo(5, "mfs:\\p3.htm"));
    EXPECT_TRUE(Recorder.Boxes.empty());
    EXPECT_TRUE(log.Has("command tbkNext"));
    EXPECT_TRUE(log.Has("command tbkPriorChapter"));
}

TEST_F(TToolbarTest, StoryMovesStartFromThePageShown) {
    AddBook();
    TfrmMain& window = OpenAtFirstPage();
    // The click comes while another page is still loading: it waits, then moves on from there.
    window.webMain->Navigate("mfs:\\p2.htm");
    Click(5);
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    // A link followed in the page moves the story too.
    window.webMain->Navigate("mfs:\\p1.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    ASSERT_TRUE(ClickTo(5, "mfs:\\p2.htm"));
}

TEST_F(TToolbarTest, JumpsWithinThePageShownLeaveEveryCommandWorking) {
    // The reading order steps to a fragment of the page shown, and the page links to its own parts.
    AddBook();
    Book.Add("system/Story.xml", "<Story><item page=\"\\p1.htm\"/><item page=\"\\p1.htm#far\"/>"
                                 "<item><item page=\"\\p2.htm\"/><item page=\"\\p3.htm\"/></item></Story>");
    Book.Add("pages/p1.htm", "<html><body><a id=\"down\" href=\"#far\">down</a>"
                             "<div style=\"height:5000px\"></div><p id=\"far\">far</p></body></html>");
    TfrmMain& window = OpenAtFirstPage();
    TLogCapture log;

    // The reader's sequence: a link to an anchor, Back, then the toolbar.
    window.webMain->EvaluateScript("document.getElementById('down').click(); 1");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm#far"));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p1.htm#far") << "the story follows the jump";
    ASSERT_TRUE(ClickTo(1, "mfs:\\p1.htm"));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p1.htm");
    // Next steps to the fragment entry of the same page, then on to the next page.
    ASSERT_TRUE(ClickTo(5, "mfs:\\p1.htm#far"));
    ASSERT_TRUE(ClickTo(5, "mfs:\\p2.htm"));
    ASSERT_TRUE(ClickTo(1, "mfs:\\p1.htm#far"));
    ASSERT_TRUE(ClickTo(2, "mfs:\\p2.htm"));
    ASSERT_TRUE(ClickTo(4, "mfs:\\p1.htm#far"));
    ASSERT_TRUE(ClickTo(4, "mfs:\\p1.htm"));
    ASSERT_TRUE(ClickTo(6, "mfs:\\p3.htm"));
    EXPECT_FALSE(log.Has("command waits no longer"));
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TToolbarTest, HistoryHomeRefreshAndCopy) {
    AddBook();
    TfrmMain& window = OpenAtFirstPage();
    Click(1); // Back without history: ignored
    PumpFor(300);
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p1.htm");
    ASSERT_TRUE(ClickTo(5, "mfs:\\p2.htm"));
    ASSERT_TRUE(ClickTo(17, "about:blank")); // Home leaves the book
    ASSERT_TRUE(ClickTo(1, "mfs:\\p2.htm"));
    ASSERT_TRUE(ClickTo(1, "mfs:\\p1.htm"));
    ASSERT_TRUE(ClickTo(2, "mfs:\\p2.htm"));

    // Copy takes the selection, whatever the page's right-click rule (p2 forbids it). The reader
    // selects with the pointer, which puts the focus in the page, and clicks with the pointer.
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    gtk_clipboard_set_text(clipboard, "before", -1);
    gtk_widget_grab_focus(GTK_WIDGET(window.webMain->View()));
    window.webMain->EvaluateScript("var r = document.createRange(); "
                                   "r.selectNodeContents(document.getElementById('text')); "
                                   "getSelection().removeAllRanges(); getSelection().addRange(r); 1");
    PointerClick(15);
    EXPECT_TRUE(PumpUntil([&] { return ClipboardText(clipboard) == "Secret page two"; }, 5000))
        << ClipboardText(clipboard);

    // Refresh loads the page again: what its script left behind is gone.
    window.webMain->EvaluateScript("window.marked = 1; 1");
    Click(16);
    EXPECT_TRUE(PumpUntil([&] {
        return window.webMain->ReadyState() == READYSTATE_COMPLETE &&
               window.webMain->EvaluateScript("String(window.marked)") == "undefined";
    }));
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p2.htm");
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TToolbarTest, AboutWithoutTheFormIsReportedAndExitCloses) {
    AddBook();
    TfrmMain& window = OpenAtFirstPage();
    Click(9);
    ASSERT_TRUE(PumpUntil([&] { return !Recorder.Boxes.empty(); }, 5000));
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Recorder.Boxes[0].Text, "Form \"About\" not found");
    // The viewer goes on.
    ASSERT_TRUE(ClickTo(5, "mfs:\\p2.htm"));
    Click(10);
    EXPECT_TRUE(PumpUntil([&] { return !Shown(window); }, 5000));
    EXPECT_EQ(window.webMain, nullptr);
}

TEST_F(TToolbarTest, CaptionsTakeTheBooksColourAndButtonsKeepNarrow) {
    // Red (the colour's low byte) captions; short captions in buttons as narrow as designed.
    Book.AddStandardBook("ToolButtons=\"tb\\ToolButtons.xml\"",
                         "<toolbar ToolbarTextColor=255 ToolbarBtnW=40 ToolbarBtnH=40/>");
    Book.Add("system/tb/ToolButtons.xml", "<t><Buttons><b Kind=5 Caption=\"Go\"/></Buttons></t>");
    OpenAtFirstPage();
    GtkToolButton* button = Button(0);
    ASSERT_NE(button, nullptr);
    GtkWidget* label = nullptr;
    std::function<void(GtkWidget*)> find = [&](GtkWidget* widget) {
        if (GTK_IS_LABEL(widget)) label = widget;
        if (GTK_IS_CONTAINER(widget))
            gtk_container_forall(
                GTK_CONTAINER(widget), [](GtkWidget* child, gpointer f) { (*static_cast<decltype(find)*>(f))(child); },
                &find);
    };
    find(GTK_WIDGET(button));
    ASSERT_NE(label, nullptr);
    GdkRGBA color;
    GtkStyleContext* style = gtk_widget_get_style_context(label);
    gtk_style_context_get_color(style, gtk_style_context_get_state(style), &color);
    EXPECT_DOUBLE_EQ(color.red, 1.0);
    EXPECT_DOUBLE_EQ(color.green, 0.0);
    EXPECT_DOUBLE_EQ(color.blue, 0.0);
    // The theme's padding would make the button far wider than its designed 40 pixels.
    EXPECT_LE(gtk_widget_get_allocated_width(GTK_WIDGET(button)), 44);
}

TEST_F(TToolbarTest, AboutOpensTheBooksFormThroughTheScriptHost) {
    AddBook(FullToolbar, "Forms=\"Forms.xml\"");
    Book.Add("system/Forms.xml",
             "<Forms><Form Name=\"About\" Path=\"\\p3.htm\" Caption=\"About this book\"/></Forms>");
    TfrmMain& window = OpenAtFirstPage();
    TComPtr<IHostExternal> host;
    ASSERT_EQ(window.HostExternal()->QueryInterface(IID_IHostExternal, host.PutVoid()), S_OK);
    auto* hostObject = static_cast<THostExternal*>(host.Get());
    // The form is modal: what it shows is read from inside its display, then it is closed.
    std::string caption, page;
    TScopedSource watch = TScopedSource::Timeout(20, [&] {
        TfrmUserForm* form = hostObject->ActiveForm();
        if (!form || form->webUserForm->ReadyState() != READYSTATE_COMPLETE) return true;
        caption = gtk_window_get_title(form->Window());
        page = form->webUserForm->LocationURL();
        form->Close();
        return false;
    });
    Click(9);
    watch.Cancel();
    EXPECT_EQ(page, "mfs:\\p3.htm");
    EXPECT_EQ(caption, "About this book");
    EXPECT_EQ(hostObject->ActiveForm(), nullptr);
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TToolbarTest, BookmarksGoWhereTheyPoint) {
    AddBook();
    TfrmMain& window = OpenAtFirstPage();
    ASSERT_EQ(ItemCount(window.popBookMarks), 3u);
    ASSERT_EQ(window.Bookmarks().size(), 3u);
    GtkMenuItem* plain = MenuItem(window.popBookMarks, 0);
    EXPECT_STREQ(gtk_menu_item_get_label(plain), "Description");
    EXPECT_EQ(TooltipText(plain), "URL");

    GtkMenuItem* three = MenuItem(window.popBookMarks, 1);
    gtk_menu_item_activate(three);
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p3.htm");

    // In the reader's default program: the page stays.
    gtk_menu_item_activate(MenuItem(window.popBookMarks, 2));
    PumpFor(300);
    EXPECT_EQ(Recorder.Opened, std::vector<std::string>{"https://example.org/x"});
    EXPECT_EQ(window.webMain->LocationURL(), "mfs:\\p3.htm");

    // The default target is the text "URL": an address without a scheme, taken from the page shown.
    TLogCapture log;
    gtk_menu_item_activate(plain);
    EXPECT_TRUE(log.Has("navigate mfs:\\URL"));
}

TEST_F(TToolbarTest, BookmarksWithoutASchemeAreTakenFromThePageShown) {
    AddBook("<ToolButtons><Buttons><Button Kind=13 Caption=\"Bookmarks\">"
            "<item caption=\"Quick\" url=\"quickref.htm#keys\"/><item caption=\"Top\" url=\"\\p3.htm\"/>"
            "<item caption=\"Up\" url=\"../p1.htm\"/></Button></Buttons></ToolButtons>");
    Book.Add("pages/guide/index.htm", "<html><body>Guide</body></html>");
    Book.Add("pages/guide/quickref.htm", "<html><body><p id=\"keys\">Keys</p></body></html>");
    TfrmMain& window = OpenAtFirstPage();
    window.webMain->Navigate("mfs:\\guide\\index.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\guide\\index.htm"));
    gtk_menu_item_activate(MenuItem(window.popBookMarks, 0));
    EXPECT_TRUE(WaitForPage("mfs:\\guide\\quickref.htm#keys"));
    gtk_menu_item_activate(MenuItem(window.popBookMarks, 2));
    EXPECT_TRUE(WaitForPage("mfs:\\p1.htm"));
    window.webMain->Navigate("mfs:\\guide\\index.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\guide\\index.htm"));
    gtk_menu_item_activate(MenuItem(window.popBookMarks, 1));
    EXPECT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_TRUE(Recorder.Opened.empty());
}

TEST_F(TToolbarTest, FontSizeFromTheMenuAndTheKeyboard) {
    AddBook();
    TfrmMain& window = OpenAtFirstPage();
    ASSERT_EQ(ItemCount(window.popFontSize), 5u);
    EXPECT_STREQ(gtk_menu_item_get_label(MenuItem(window.popFontSize, 4)), "Extra Large");
    gtk_menu_item_activate(MenuItem(window.popFontSize, 4));
    EXPECT_EQ(window.webMain->ZoomLevel(), 4);
    gtk_menu_item_activate(MenuItem(window.popFontSize, 0));
    EXPECT_EQ(window.webMain->ZoomLevel(), 0);
    // It stays while the reader moves on.
    ASSERT_TRUE(ClickTo(5, "mfs:\\p2.htm"));
    EXPECT_EQ(window.webMain->ZoomLevel(), 0);

    PressKey(window.webMain->View(), GDK_KEY_plus, GDK_CONTROL_MASK);
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->ZoomLevel() == 1; }, 2000));
    PressKey(window.webMain->View(), GDK_KEY_0, GDK_CONTROL_MASK);
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->ZoomLevel() == 2; }, 2000));
    PressKey(window.webMain->View(), GDK_KEY_minus, GDK_CONTROL_MASK);
    EXPECT_TRUE(PumpUntil([&] { return window.webMain->ZoomLevel() == 1; }, 2000));
}

TEST_F(TToolbarTest, ShortcutsFollowTheButtonsTheBookHas) {
    AddBook();
    TfrmMain& window = OpenAtFirstPage();
    ASSERT_TRUE(ClickTo(5, "mfs:\\p2.htm"));
    PressKey(window.webMain->View(), GDK_KEY_Left, GDK_MOD1_MASK);
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    PressKey(window.webMain->View(), GDK_KEY_Right, GDK_MOD1_MASK);
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));

    // Ctrl+F opens the search window; Close ends it.
    bool seen = false;
    TScopedSource poll = TScopedSource::Timeout(50, [&] {
        TfrmSearch* search = VisibleWindow<TfrmSearch>();
        if (!search) return true;
        seen = true;
        gtk_button_clicked(GTK_BUTTON(search->btnClose));
        return false;
    });
    PressKey(window.webMain->View(), GDK_KEY_f, GDK_CONTROL_MASK);
    EXPECT_TRUE(PumpUntil([&] { return seen; }, 5000));
    poll.Cancel();

    // A toolbar without those buttons: the keys do nothing.
    Window.reset();
    AddBook("<t><Buttons><b Kind=5 Caption=\"Next\"/></Buttons></t>");
    TfrmMain& bare = OpenAtFirstPage();
    ASSERT_TRUE(ClickTo(0, "mfs:\\p2.htm"));
    PressKey(bare.webMain->View(), GDK_KEY_Left, GDK_MOD1_MASK);
    PressKey(bare.webMain->View(), GDK_KEY_plus, GDK_CONTROL_MASK);
    PumpFor(300);
    EXPECT_EQ(bare.webMain->LocationURL(), "mfs:\\p2.htm");
    EXPECT_EQ(bare.webMain->ZoomLevel(), 2);
}

TEST_F(TToolbarTest, TheSampleBookHasAButtonOfEveryKindWithItsOwnPicture) {
    std::filesystem::copy(TV_SAMPLE_BOOK, Book.Folder / "book",
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    TfrmMain& window = Open();
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    for (int kind = tbkSeparator; kind <= tbkHome; ++kind)
        EXPECT_TRUE(window.HasButton(static_cast<TToolButtonKind>(kind)))
            << ToolButtonKindName(TToolButtonKind(kind));
    for (int tag = 0; tag < gtk_toolbar_get_n_items(window.tbrMain); ++tag)
        if (GtkToolButton* button = Button(tag)) {
            EXPECT_NE(gtk_tool_button_get_icon_widget(button), nullptr) << tag;
        }
    ASSERT_NE(window.PrintButton(), nullptr);
    const std::vector<TBookMarkItem>& bookmarks = window.Bookmarks();
    EXPECT_TRUE(std::any_of(bookmarks.begin(), bookmarks.end(), [](const TBookMarkItem& b) {
        return b.NewWindow && b.URL.rfind("https://", 0) == 0;
    }));
    EXPECT_TRUE(Recorder.Boxes.empty());
}

} // namespace
