// Printing on packed books: the print sections of the page shown, the print window, printing to a
// PDF file (the "printer" of these tests: GTK's file printer) and the preview, whose command is a
// script that keeps a copy of the PDF it is given. The PDFs are read back with poppler's tools.
#include "frm_Main.h"
#include "frm_Print.h"

#include "ViewerTestSupport.h"
#include "frm_Splash.h"

#include "u_GObject.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char* const PrintToolbar = "<t><Buttons><b Kind=14 Caption=\"Print\"/><b Kind=5 Caption=\"Next\"/>"
                                 "</Buttons></t>";

std::string Run(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        pclose(pipe);
    }
    return output;
}

std::string PdfText(const fs::path& pdf) {
    return Run("pdftotext -q '" + pdf.string() + "' -");
}

// The number of pictures in a PDF (pdfimages lists them after two heading lines).
int PdfImageCount(const fs::path& pdf) {
    std::istringstream lines(Run("pdfimages -list '" + pdf.string() + "'"));
    int count = -2;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) ++count;
    return std::max(count, 0);
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The hint the pointer shows over widget.
std::string TooltipOf(GtkWidget* widget) {
    gchar* text = gtk_widget_get_tooltip_text(widget);
    std::string hint = text ? text : "";
    g_free(text);
    return hint;
}

// Clicks a tool button's face as the pointer would (a drop-down button's face comes before its arrow).
void Click(GtkWidget* button) {
    GtkWidget* face = gtk_bin_get_child(GTK_BIN(button));
    if (GTK_IS_BOX(face)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(face));
        face = GTK_WIDGET(children->data);
        g_list_free(children);
    }
    gtk_widget_activate(face);
}

// The hint the pointer shows over a tool button (the tool item passes it to its button).
std::string Hint(GtkWidget* button) {
    return TooltipOf(gtk_bin_get_child(GTK_BIN(button)));
}

// The visible print window, if one is open.
TfrmPrint* OpenPrintWindow() {
    return VisibleWindow<TfrmPrint>();
}

// The items of the main window's menu of print sections.
std::vector<GtkMenuItem*> SectionItems(TfrmMain& window) {
    std::vector<GtkMenuItem*> items;
    GList* children = gtk_container_get_children(GTK_CONTAINER(window.popPrint));
    for (GList* item = children; item; item = item->next)
        items.push_back(GTK_MENU_ITEM(item->data));
    g_list_free(children);
    return items;
}

// The main window's Print button.
GtkWidget* PrintButtonOf(TfrmMain& window) {
    return GTK_WIDGET(window.PrintButton());
}

// GTK's command that previews a print.
std::string PreviewCommandSetting() {
    gchar* command = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-print-preview-command", &command, nullptr);
    const TGlibPtr<char, g_free> owned(command);
    return command ? command : "";
}

void SetPreviewCommand(const std::string& command) {
    g_object_set(gtk_settings_get_default(), "gtk-print-preview-command", command.c_str(), nullptr);
}

// Esc as the keyboard sends it to the window's page view, through GDK's queue and the key filter.
void PressEscape(GtkWidget* target) {
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.keyval = GDK_KEY_Escape;
        event->key.time = GDK_CURRENT_TIME;
        event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(target)));
        gdk_event_set_device(event, gdk_seat_get_keyboard(seat));
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

class TPrintTest : public TMainWindowFixture {
  protected:
    void SetUp() override {
        Output = Book.Folder / "printed.pdf";
        Previewed = Book.Folder / "previewed.pdf";
        // The preview program: keeps a copy of the PDF and notes the path it was given.
        const fs::path script = Book.Folder / "preview.sh";
        std::ofstream(script) << "#!/bin/sh\ncp \"$1\" '" << Previewed.string() << ".part' && echo \"$1\" > '"
                              << Previewed.string() << ".path' && mv '" << Previewed.string() << ".part' '"
                              << Previewed.string() << "'\n";
        fs::permissions(script, fs::perms::owner_all);
        FPreviousCommand = PreviewCommandSetting();
        SetPreviewCommand(script.string() + " %f");
    }
    void TearDown() override {
        TMainWindowFixture::TearDown();
        SetPreviewCommand(FPreviousCommand);
    }
    void AddBook(const std::string& toolButtons = PrintToolbar) {
        Book.AddStandardBook("ToolButtons=\"ToolButtons.xml\"", "<toolbar ToolbarShowCaption=False/>");
        Book.Add("system/ToolButtons.xml", toolButtons);
    }
    // Opens the book and waits for url; printing goes to Output.
    TfrmMain& OpenAt(const std::string& url) {
        Open();
        EXPECT_FALSE(Window->StartFailed()) << Window->StartError();
        if (url != "mfs:\\p1.htm") {
            EXPECT_TRUE(WaitForPage("mfs:\\p1.htm"));
            Window->webMain->Navigate(url);
        }
        EXPECT_TRUE(WaitForPage(url));
        Window->webMain->SetPrintSettings(PrintToFileSettings(Output.string()));
        return *Window;
    }
    // Waits for url to be shown completely with its print sections built.
    ::testing::AssertionResult WaitForPage(const std::string& url) {
        const bool shown = PumpUntil([&] {
            return Window->webMain && Window->webMain->ReadyState() == READYSTATE_COMPLETE &&
                   Window->webMain->LocationURL() == url && Log.Has("print sections");
        });
        Log.Lines.clear();
        if (shown) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "shows " << Window->webMain->LocationURL() << ", not " << url;
    }
    std::vector<std::string> SectionCaptions() {
        std::vector<std::string> captions;
        for (GtkMenuItem* item : SectionItems(*Window)) {
            const char* label = gtk_menu_item_get_label(item);
            captions.push_back(label ? label : "");
        }
        return captions;
    }
    GtkMenuItem* Section(size_t index) {
        std::vector<GtkMenuItem*> items = SectionItems(*Window);
        return index < items.size() ? items[index] : nullptr;
    }
    // Whether the Print button shows its drop-down arrow.
    bool ArrowShown() {
        GtkWidget* box = gtk_bin_get_child(GTK_BIN(PrintButtonOf(*Window)));
        GList* children = gtk_container_get_children(GTK_CONTAINER(box));
        const bool shown =
            g_list_length(children) > 1 && gtk_widget_get_visible(GTK_WIDGET(children->next->data));
        g_list_free(children);
        return shown;
    }
    // Chooses a section from the menu and runs whileOpen in the print window as soon as it shows (its
    // page may still be loading: printing waits for it); the window is then closed with Esc. False
    // when no print window opened.
    bool WithSectionPrinted(GtkMenuItem* item, const std::function<void(TfrmPrint&)>& whileOpen) {
        bool opened = false;
        TScopedSource poll = TScopedSource::Timeout(
            50,
            [&] {
                TfrmPrint* print = OpenPrintWindow();
                if (!print) return true;
                opened = true;
                whileOpen(*print);
                PressEscape(GTK_WIDGET(print->webPrint->View()));
                return false;
            },
            "print test");
        gtk_menu_item_activate(item); // returns when the print window has closed
        poll.Cancel();
        return opened;
    }
    // Waits for the file the preview program made of the temporary PDF.
    bool WaitForPreview() {
        return PumpUntil([&] { return fs::exists(Previewed); });
    }
    bool WaitForPrint() {
        return PumpUntil(
            [&] { return Log.Has("printed") && fs::exists(Output) && fs::file_size(Output) > 0; });
    }

    TLogCapture Log;
    fs::path Output;
    fs::path Previewed;

  private:
    std::string FPreviousCommand;
};

TEST(PrintTextTest, SectionIdsPageTextAndLineBreaks) {
    for (const char* id : {"PAGE", "page", "Chapter1Page", "xPaGe"})
        EXPECT_TRUE(IsPrintSectionId(id)) << id;
    for (const char* id : {"", "intro", "PAG", "PAGE1", "Pages"})
        EXPECT_FALSE(IsPrintSectionId(id)) << id;

    EXPECT_EQ(WithCrLfLines(""), "");
    EXPECT_EQ(WithCrLfLines("a"), "a\r\n");
    EXPECT_EQ(WithCrLfLines("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(WithCrLfLines("a\r\n"), "a\r\n");
    EXPECT_EQ(WithCrLfLines("\n\n"), "\r\n\r\n");
    EXPECT_EQ(WithCrLfLines("a\r\r\nb"), "a\r\n\r\nb\r\n");
}

TEST(PrintTextTest, PreviewCommandLineQuotesTheFiles) {
    EXPECT_EQ(PreviewCommandLine("evince --print-settings %s %f", "/run/a b.pdf", "/run/s.ini"),
              "evince --print-settings '/run/s.ini' '/run/a b.pdf'");
    EXPECT_EQ(PreviewCommandLine("show %% %x %f%", "it's.pdf", ""), "show % %x 'it'\\''s.pdf'%");
}

TEST_F(TPrintTest, SectionsAreTheDivsWhoseIdEndsInPage) {
    AddBook();
    Book.Add("pages/p1.htm", "<html><body><div id=\"intro\">i</div><div id=\"Chapter1Page\">c<div "
                             "id=\"PAGE\">p</div></div><span id=\"SpanPAGE\">s</span>"
                             "<svg><g id=\"SvgPAGE\"></g></svg></body></html>");
    TfrmMain& window = OpenAt("mfs:\\p1.htm");
    EXPECT_EQ(SectionCaptions(), (std::vector<std::string>{"Chapter1Page", "PAGE"}));
    EXPECT_EQ(TooltipOf(GTK_WIDGET(Section(0))), "Chapter1Page");
    EXPECT_TRUE(ArrowShown());

    // The next page has none: the menu is emptied and the button is a plain one again.
    window.webMain->Navigate("mfs:\\p3.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_TRUE(SectionItems(window).empty());
    EXPECT_FALSE(ArrowShown());
}

TEST_F(TPrintTest, ASectionPrintsAloneWithItsPictureFromTheArchiveRoot) {
    AddBook();
    // The page lies in a folder; the picture's relative address is taken from the root, where the
    // picture is (the folder has none).
    Book.Add("pages/sub/page.htm", "<html><body><p>Outside words</p><div id=\"PicturePAGE\"><p>Inside "
                                   "words</p><img src=\"pics/dot.png\"></div></body></html>");
    Book.Add("pages/pics/dot.png", MakeBitmap(40, 30, "png"));
    TfrmMain& window = OpenAt("mfs:\\sub\\page.htm");
    ASSERT_EQ(SectionCaptions(), std::vector<std::string>{"PicturePAGE"});

    bool printed = false, previewed = false;
    ASSERT_TRUE(WithSectionPrinted(Section(0), [&](TfrmPrint& print) {
        EXPECT_EQ(Hint(print.tbtnPrint), "Print");
        EXPECT_EQ(Hint(print.tbtnPreview), "Preview");
        EXPECT_EQ(print.webPrint->ShowContextMenu(0, {}, nullptr, nullptr), S_OK); // no menu
        // A copy of the page is no book page: no script host object there.
        EXPECT_EQ(print.webPrint->EvaluateScript("String(window.external && window.external.Story)"),
                  "undefined");

        Click(print.tbtnPrint);
        printed = WaitForPrint();
        Click(print.tbtnPreview);
        previewed = WaitForPreview();
    }));
    ASSERT_TRUE(printed);
    EXPECT_TRUE(Log.Has("print section PicturePAGE"));
    const std::string text = PdfText(Output);
    EXPECT_NE(text.find("Inside words"), std::string::npos) << text;
    EXPECT_EQ(text.find("Outside"), std::string::npos) << text;
    EXPECT_EQ(PdfImageCount(Output), 1);
    ASSERT_TRUE(previewed);
    EXPECT_NE(PdfText(Previewed).find("Inside words"), std::string::npos);
    EXPECT_EQ(PdfImageCount(Previewed), 1);

    // Esc closed the print window only.
    EXPECT_EQ(OpenPrintWindow(), nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window.Window())));
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TPrintTest, TheFirstDivWithTheIdPrintsWhileThePageStillHasIt) {
    AddBook();
    Book.Add("pages/p1.htm", "<html><body><div id=\"SamePAGE\">First copy</div><div id=\"samepage\">Second "
                             "copy</div></body></html>");
    TfrmMain& window = OpenAt("mfs:\\p1.htm");
    ASSERT_EQ(SectionCaptions(), (std::vector<std::string>{"SamePAGE", "samepage"}));

    // Both entries print the first of the two.
    for (size_t entry : {0u, 1u}) {
        fs::remove(Output);
        Log.Lines.clear();
        bool printed = false;
        ASSERT_TRUE(WithSectionPrinted(Section(entry), [&](TfrmPrint& print) {
            Click(print.tbtnPrint);
            printed = WaitForPrint();
        }));
        ASSERT_TRUE(printed) << entry;
        const std::string text = PdfText(Output);
        EXPECT_NE(text.find("First copy"), std::string::npos) << text;
        EXPECT_EQ(text.find("Second"), std::string::npos) << text;
    }

    // A script takes the sections away; the menu, built when the page loaded, still lists them.
    window.webMain->EvaluateScript("document.body.innerHTML = '<p>changed</p>'; 1");
    gtk_menu_item_activate(Section(0));
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Plain);
    EXPECT_EQ(Recorder.Boxes[0].Text, "Can not find page");
    EXPECT_EQ(OpenPrintWindow(), nullptr);
}

TEST_F(TPrintTest, ThePlainPrintButtonPreviewsTheWholePageAndTheFileGoesAfterwards) {
    AddBook();
    TfrmMain& window = OpenAt("mfs:\\p1.htm");
    EXPECT_TRUE(SectionItems(window).empty());
    EXPECT_FALSE(ArrowShown());

    Click(PrintButtonOf(window));
    ASSERT_TRUE(WaitForPreview());
    EXPECT_TRUE(Log.Has("print mfs:\\p1.htm"));
    EXPECT_NE(PdfText(Previewed).find("Page one of Test Book"), std::string::npos) << PdfText(Previewed);

    // The preview program was given the temporary PDF the log names, which is gone once it ended.
    std::string given = ReadFile(Previewed.string() + ".path");
    given.erase(given.find_last_not_of('\n') + 1);
    EXPECT_TRUE(Log.Has("preview " + given)) << given;
    EXPECT_EQ(fs::path(given).parent_path(), fs::path(g_get_user_runtime_dir()));
    EXPECT_TRUE(PumpUntil([&] { return !fs::exists(given); }, 10000)) << given;
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TPrintTest, APrintAskedForWhileAPageLoadsWaitsForIt) {
    AddBook();
    TfrmMain& window = OpenAt("mfs:\\p1.htm");
    window.webMain->Navigate("mfs:\\p3.htm");
    window.webMain->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_DONTPROMPTUSER);
    ASSERT_TRUE(WaitForPrint());
    const std::string text = PdfText(Output);
    EXPECT_NE(text.find("Page three"), std::string::npos) << text;
    EXPECT_EQ(text.find("Page one"), std::string::npos) << text;
}

TEST_F(TPrintTest, FailuresAreShownAndLeaveNoFileBehind) {
    AddBook();
    TfrmMain& window = OpenAt("mfs:\\p1.htm");

    // No such printer: a box says so.
    window.webMain->SetPrintSettings({{"printer", "No Such Printer"}});
    EXPECT_EQ(window.webMain->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_DONTPROMPTUSER), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !Recorder.Boxes.empty(); }, 10000));
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Recorder.Boxes[0].Text, "Can not print: Printer not found");

    // A preview program that cannot be started: a box, and the temporary PDF is removed.
    Recorder.Boxes.clear();
    SetPreviewCommand("/nonexistent/tomevane-preview %f");
    Click(PrintButtonOf(window));
    ASSERT_TRUE(PumpUntil([&] { return !Recorder.Boxes.empty(); }, 10000));
    EXPECT_EQ(Recorder.Boxes[0].Text.rfind("Can not show the print preview: ", 0), 0u)
        << Recorder.Boxes[0].Text;
    std::string temporary;
    for (const std::string& line : Log.Lines)
        if (line.rfind("preview /", 0) == 0) temporary = line.substr(8);
    ASSERT_FALSE(temporary.empty());
    EXPECT_FALSE(fs::exists(temporary)) << temporary;
}

TEST_F(TPrintTest, TheSampleBookHasAPageWithTwoSectionsOneWithAPicture) {
    fs::copy(TV_SAMPLE_BOOK, Book.Folder / "book",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Open();
    ASSERT_FALSE(Window->StartFailed()) << Window->StartError();
    ASSERT_TRUE(WaitForPage("mfs:\\welcome.htm"));
    Window->webMain->SetPrintSettings(PrintToFileSettings(Output.string()));
    Window->webMain->Navigate("mfs:\\reading\\printing.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\reading\\printing.htm"));
    ASSERT_EQ(SectionItems(*Window).size(), 2u);

    // The second prints with its picture, written relative to the page's own folder.
    bool printed = false;
    ASSERT_TRUE(WithSectionPrinted(Section(1), [&](TfrmPrint& print) {
        Click(print.tbtnPrint);
        printed = WaitForPrint();
    }));
    ASSERT_TRUE(printed);
    EXPECT_EQ(PdfImageCount(Output), 1);
    EXPECT_TRUE(Recorder.Boxes.empty());
}

} // namespace
