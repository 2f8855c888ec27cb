// window.external in book pages against the real engine: the story, the main browser, user forms
// opened from scripts, failures as script errors, and the refusal of pages outside the book.
#include "HostTestSupport.h"

#include "frm_Splash.h"
#include "u_BookPacker.h"
#include "u_Story.h"

#include <gdk/gdkkeysyms.h>

namespace {

class TScriptHostTest : public THostTest {
  protected:
    void SetUp() override {
        Book.AddStandardBook("Forms=\"Forms.xml\"");
        AddForms(Book, "<Form Name=\"About\" Path=\"\\about.htm\" Caption=\"About it\"/>"
                       "<Form Name=\"Second\" Path=\"\\second.htm\" Caption=\"Second form\"/>");
        Book.Add("pages/about.htm", "<html><head><title>About</title></head><body>About</body></html>");
        Book.Add("pages/second.htm", "<html><head><title>Second</title></head><body>Second</body></html>");
    }
};

TEST_F(TScriptHostTest, StoryMovesThroughTheReadingOrderAndReportsItsEnds) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Eval("external.Story === external.Story"), "true");
    EXPECT_EQ(Eval("external.Story.Current"), "\\p1.htm");
    EXPECT_EQ(Eval("typeof external.Story.Bof"), "boolean");

    Eval("external.Story.Last()");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(Eval("external.Story.Eof === false"), "true");
    // The first Next at the end sets the end flag and shows the same page again; the second fails.
    Eval("external.Story.Next()");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(Eval("external.Story.Eof === true && (external.Story.Eof ? 'yes' : 'no')"), "yes");
    EXPECT_EQ(Try("external.Story.Next()"), "error: End of story encountered");
    EXPECT_TRUE(Log.HasLine("host IStory.Next failed: End of story encountered"));
    EXPECT_TRUE(Log.HasLine("host IStory.Eof ok"));

    Eval("external.Story.First()");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    Eval("external.Story.Prior()");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Eval("external.Story.Bof"), "true");
    EXPECT_EQ(Try("external.Story.Prior()"), "error: Begin of story encountered");
    // A failed move leaves the browser where it was.
    EXPECT_EQ(Window->webMain->LocationURL(), "mfs:\\p1.htm");

    Eval("external.Story.Next()");
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));
    EXPECT_EQ(Eval("external.Story.Current"), "\\p2.htm");
    // p2 opens the last chapter and p3 follows it: no next chapter, but no end of the story either.
    Eval("external.Story.NextChapter(1)");
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));
    EXPECT_EQ(Eval("external.Story.Eof"), "false");
    EXPECT_EQ(Try("external.Story.Next()"), "null");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
}

TEST_F(TScriptHostTest, ArgumentsAreConvertedToTheDeclaredTypes) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Try("external.Story.NextChapter('first')"), "error: Type mismatch");
    EXPECT_EQ(Try("external.Story.NextChapter({})"), "error: Type mismatch");
    EXPECT_EQ(Try("external.Story.NextChapter(0)"), "error: Chapter level is out of range (0)");
    EXPECT_EQ(Try("external.Story.NextChapter()"), "error: Invalid number of parameters");
    EXPECT_EQ(Try("external.ShowUserForm(12)"), "error: Form \"12\" not found");
    // An argument given as undefined is one left out: optional ones take their absence, required
    // ones are missing.
    EXPECT_EQ(Try("external.Story.NextChapter(undefined)"), "error: Invalid number of parameters");
    EXPECT_EQ(Try("(external.WebBrowser.ExecWB(22, 2, undefined), 'refreshed')"), "refreshed");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Try("(external.WebBrowser.ExecWB(22, 2, undefined, undefined), 'refreshed')"), "refreshed");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    // Numeric text is a number: the chapter move goes through.
    Eval("external.Story.NextChapter('1')");
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));
    // On the last page a chapter move finds nothing and sets the end flag; the next one fails.
    Eval("external.Story.Next()");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(
        Try("(function () { try { external.Story.NextChapter(1); external.Story.NextChapter(1); } catch (e) {"
            " return e.message + '|' + e.description + '|' + (e instanceof Error); } })()"),
        "End of story encountered|End of story encountered|true");
}

TEST_F(TScriptHostTest, CurrentGivesAnOutsideAddressWhole) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    Window->webMain->Navigate("about:blank");
    ASSERT_TRUE(WaitForPage("about:blank"));
    TComPtr<IStory> story;
    ASSERT_EQ(Host().get_Story(story), S_OK);
    std::u16string current;
    ASSERT_EQ(story->get_Current(current), S_OK);
    EXPECT_EQ(current, u"about:blank");
}

// Each main window hands its own host object a link to itself: once the window has gone, what a
// page or the toolbar still holds of its host object fails with a message, instead of reaching the
// destroyed window or the window opened after it.
TEST_F(TScriptHostTest, HostObjectsKeepToTheirOwnWindowAndOutliveIt) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    TComPtr<IHostExternal> host(&Host());
    TComPtr<IStory> story;
    ASSERT_EQ(host->get_Story(story), S_OK);
    ASSERT_EQ(story->Next(), S_OK);
    ASSERT_TRUE(WaitForPage("mfs:\\p2.htm"));

    Window.reset();
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    TExcepInfo error;
    GetErrorInfo(error); // nothing left over from the calls above
    EXPECT_NE(story->Next(), S_OK);
    ASSERT_TRUE(GetErrorInfo(error));
    EXPECT_EQ(error.Description, SNoMainWindow);
    TComPtr<IDispatch> browser;
    EXPECT_NE(host->get_WebBrowser(browser), S_OK);
    ASSERT_TRUE(GetErrorInfo(error));
    EXPECT_EQ(error.Description, SNoMainWindow);
    EXPECT_NE(host->Terminate(), S_OK);
    PumpFor(300);
    EXPECT_TRUE(Shown(*Window));
    EXPECT_EQ(Window->webMain->LocationURL(), "mfs:\\p1.htm");
}

TEST_F(TScriptHostTest, WebBrowserIsTheMainBrowserFromEveryPage) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Eval("external.WebBrowser === external.WebBrowser"), "true");
    EXPECT_EQ(Eval("external.WebBrowser.LocationURL"), "mfs:\\p1.htm");
    EXPECT_EQ(Eval("external.WebBrowser.LocationName"), "Test Book");
    EXPECT_EQ(Eval("external.WebBrowser.ReadyState + ' ' + external.WebBrowser.Busy"), "4 false");
    EXPECT_EQ(Try("external.WebBrowser.GoForward()"), "error: Unspecified error");
    Eval("external.WebBrowser.Navigate('mfs:\\\\p3.htm')");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    Eval("external.WebBrowser.GoBack()");
    // The address changes as the move starts; the page is there once its own title is.
    ASSERT_TRUE(PumpUntil([&] { return Eval("document.title") == "Test Book"; }));
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));

    StartInMainPage("external.ShowUserForm('About')");
    std::string fromForm, formBrowser;
    ASSERT_TRUE(InForm([&](TfrmUserForm& form) {
        fromForm = Eval(*form.webUserForm, "external.WebBrowser.LocationURL");
        formBrowser = Eval(*form.webUserForm, "external.UserForm.WebBrowser.LocationURL");
    }));
    EXPECT_EQ(MainResult(), "done");
    EXPECT_EQ(fromForm, "mfs:\\p1.htm");
    EXPECT_EQ(formBrowser, "mfs:\\about.htm");
}

TEST_F(TScriptHostTest, UserFormIsReachableOnlyWhileItIsShown) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Try("external.UserForm"), "error: There is no active form");
    EXPECT_EQ(Try("external.ShowUserForm('Nowhere')"), "error: Form \"Nowhere\" not found");
    EXPECT_TRUE(Log.HasLine("host IHostExternal.ShowUserForm failed: Form \"Nowhere\" not found"));
    EXPECT_EQ(Host().ActiveForm(), nullptr);

    StartInMainPage("external.ShowUserForm('about')");
    std::string caption, title;
    int widthRead = 0, widthShown = 0;
    TComPtr<IUserForm> kept;
    ASSERT_TRUE(InForm([&](TfrmUserForm& form) {
        caption = Eval(*form.webUserForm, "external.UserForm.Caption");
        widthRead =
            std::stoi(Eval(*form.webUserForm, "external.UserForm.Width = 300, external.UserForm.Width"));
        Eval(*form.webUserForm, "external.UserForm.Caption = 'Changed'");
        title = gtk_window_get_title(form.Window());
        PumpUntil([&] { return gtk_widget_get_allocated_width(GTK_WIDGET(form.Window())) == 300; }, 5000);
        widthShown = gtk_widget_get_allocated_width(GTK_WIDGET(form.Window()));
        kept = Host().ActiveUserForm;
        // Close from the form's page returns the pending ShowUserForm in the main page.
        Eval(*form.webUserForm, "external.UserForm.Close()");
    }));
    EXPECT_EQ(MainResult(), "done");
    EXPECT_EQ(caption, "About it");
    EXPECT_EQ(widthRead, 300);
    EXPECT_EQ(widthShown, 300);
    EXPECT_EQ(title, "Changed");
    EXPECT_EQ(Host().ActiveForm(), nullptr);
    EXPECT_EQ(Try("external.UserForm"), "error: There is no active form");

    // The form's object outlives its window and refuses every call.
    ASSERT_TRUE(kept);
    int32_t width = 0;
    EXPECT_TRUE(FAILED(kept->get_Width(width)));
    std::vector<TOleVariant> none;
    TExcepInfo info;
    EXPECT_EQ(kept->Invoke(202, ikMethod, none, nullptr, &info), DISP_E_EXCEPTION);
    EXPECT_EQ(info.Description, SUserFormClosed);
    EXPECT_EQ(info.Source, "Vellumet.UserForm");
    EXPECT_TRUE(info.Iid == IID_IUserForm);
}

TEST_F(TScriptHostTest, WindowCloseEndsTheFormAlsoAfterItsPageNavigated) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    StartInMainPage("external.ShowUserForm('About')");
    bool closedByPage = false;
    ASSERT_TRUE(InForm([&](TfrmUserForm& form) {
        form.webUserForm->Navigate("mfs:\\second.htm");
        ASSERT_TRUE(::WaitForPage(*form.webUserForm, "mfs:\\second.htm"));
        form.webUserForm->EvaluateScript("window.close()");
        closedByPage = PumpUntil([&] { return form.ModalResult() == mrCancel; }, 5000);
    }));
    EXPECT_TRUE(closedByPage);
    EXPECT_EQ(MainResult(), "done");
}

TEST_F(TScriptHostTest, AFormOpenedFromAFormLeavesNoActiveFormBehind) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    StartInMainPage("external.ShowUserForm('About')");
    std::string innerCaption, afterInner, outerResult;
    bool secondOverFirst = false;
    ASSERT_TRUE(InForm([&](TfrmUserForm& first) {
        Eval(*first.webUserForm, "window.__result = undefined; setTimeout(function () {"
                                 " external.ShowUserForm('Second'); window.__result = 'done'; }, 0); 1");
        ASSERT_TRUE(InForm([&](TfrmUserForm& second) {
            secondOverFirst = &second != &first && gtk_widget_get_visible(GTK_WIDGET(second.Window())) &&
                              gtk_widget_get_visible(GTK_WIDGET(first.Window()));
            innerCaption = Eval(*second.webUserForm, "external.UserForm.Caption");
            Eval(*second.webUserForm, "external.UserForm.Close()");
        }));
        PumpUntil([&] {
            outerResult = Eval(*first.webUserForm, "String(window.__result)");
            return outerResult != "undefined";
        });
        afterInner = Try(*first.webUserForm, "external.UserForm");
        // Unreachable through UserForm now, the outer form still closes from its own page.
        Eval(*first.webUserForm, "window.close()");
        EXPECT_EQ(first.ModalResult(), mrCancel);
    }));
    EXPECT_TRUE(secondOverFirst);
    EXPECT_EQ(innerCaption, "Second form");
    EXPECT_EQ(outerResult, "done");
    EXPECT_EQ(afterInner, "error: There is no active form");
    EXPECT_EQ(MainResult(), "done");
    EXPECT_EQ(Host().ActiveForm(), nullptr);
}

TEST_F(TScriptHostTest, EscClosesAFormWithoutIconsAndKeysUnderItDoNothing) {
    // No icons and a page that is missing: nothing in the form can close it.
    AddForms(Book, "<Form Name=\"Bare\" Path=\"\\missing.htm\"/>");
    Book.AddStandardBook("Forms=\"Forms.xml\" ToolButtons=\"tb.xml\"");
    Book.Add("system/tb.xml", "<ToolButtons><Buttons><Button Kind=11 Caption=\"Size\"/></Buttons></ToolButtons>");
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    StartInMainPage("external.ShowUserForm('Bare')");
    bool deletable = true, keptUnderneath = false, closedByEsc = false;
    ASSERT_TRUE(InForm([&](TfrmUserForm& form) {
        deletable = gtk_window_get_deletable(form.Window());
        // Esc and the toolbar's shortcuts meant for the main window under the modal form do
        // nothing there, and do not close the form either.
        const int zoom = Window->webMain->ZoomLevel();
        PressKey(Window->webMain->View(), GDK_KEY_plus, GDK_CONTROL_MASK);
        PressKey(Window->webMain->View(), GDK_KEY_Escape);
        PumpFor(300);
        keptUnderneath = gtk_widget_get_visible(GTK_WIDGET(Window->Window())) && Window->webMain && form.ModalResult() == mrNone &&
                         Window->webMain->ZoomLevel() == zoom;
        PressKey(form.webUserForm->View(), GDK_KEY_Escape);
        closedByEsc = form.ModalResult() == mrCancel;
    }));
    EXPECT_FALSE(deletable) << "the book's icons still show no close box";
    EXPECT_TRUE(keptUnderneath);
    EXPECT_TRUE(closedByEsc);
    EXPECT_EQ(MainResult(), "done");
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(Window->Window())));
}

TEST_F(TScriptHostTest, NoFormOpensWhileTheViewerCloses) {
    Book.AddStandardBook("Forms=\"Forms.xml\"", "<splash SplashTypeE=\"vsSplash\" Interval=10 CloseOnClick=True/>");
    Book.Add("system/SplashE.bmp", MakeBitmap(60, 40));
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    // While the closing splash holds the close, a page script asks for a form; the splash is
    // clicked away once the script has its answer.
    using TSelf = decltype(this);
    struct TState {
        TSelf Test;
        int Step = 0;
        bool FormOpened = false;
        std::string Result;
    } state{this};
    const guint poll = g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            auto* st = static_cast<TState*>(data);
            TSelf test = st->Test;
            TfrmSplash* splash = VisibleWindow<TfrmSplash>();
            if (st->Step == 0) {
                if (!splash) return G_SOURCE_CONTINUE;
                test->StartInMainPage("external.ShowUserForm('About')");
                st->Step = 1;
                return G_SOURCE_CONTINUE;
            }
            if (TfrmUserForm* form = test->Host().ActiveForm()) {
                st->FormOpened = true;
                form->Close();
                return G_SOURCE_CONTINUE;
            }
            st->Result = test->Eval("String(window.__result)");
            if (st->Result == "undefined") return G_SOURCE_CONTINUE;
            if (splash) splash->FormClick(nullptr);
            st->Step = 2;
            return G_SOURCE_REMOVE;
        },
        &state);
    gtk_window_close(Window->Window());
    PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(Window->Window())); }, 20000);
    if (state.Step != 2) g_source_remove(poll);
    EXPECT_EQ(state.Step, 2);
    EXPECT_FALSE(state.FormOpened);
    EXPECT_EQ(state.Result, std::string("error: ") + SViewerClosing);
    EXPECT_TRUE(Log.HasLine(std::string("host IHostExternal.ShowUserForm failed: ") + SViewerClosing));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(Window->Window())));
}

TEST_F(TScriptHostTest, TerminateFromAFormClosesTheMainWindow) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    StartInMainPage("external.ShowUserForm('About')");
    ASSERT_TRUE(InForm([&](TfrmUserForm& form) {
        Eval(*form.webUserForm, "external.Terminate(), 1");
        // The close is posted: it happens once the main loop gets to it, and the form goes with it.
        PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(Window->Window())); }, 20000);
    }));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(Window->Window())));
    EXPECT_EQ(Host().ActiveForm(), nullptr);
    EXPECT_TRUE(Log.HasLine("host IHostExternal.Terminate ok"));
}

TEST_F(TScriptHostTest, PagesOutsideTheBookGetNoHostObject) {
    Book.Add("pages/framed.htm",
             "<html><body><iframe id=\"f\" src=\"data:text/html,<script>var r;try{var x=new XMLHttpRequest();"
             "x.open('GET','vellumet-host:call?'+encodeURIComponent(JSON.stringify({h:0,d:202,k:2,a:[],"
             "u:'mfs:/p1.htm'})),false);x.send();r=x.responseText}catch(e){r='failed '+e}"
             "parent.postMessage(String(typeof window.external)+' '+r,'*')</script>\"></iframe>"
             "<script>window.addEventListener('message',function(e){window.__frame=e.data})</script>"
             "</body></html>");
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));

    // A frame of another origin inside a book page: refused, whatever address it claims.
    Window->webMain->Navigate("mfs:\\framed.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\framed.htm"));
    std::string frame;
    PumpUntil([&] {
        frame = Eval("String(window.__frame)");
        return frame != "undefined";
    });
    EXPECT_NE(frame.find("may not use"), std::string::npos) << frame;
    EXPECT_EQ(frame.find("\"ok\":true"), std::string::npos) << frame;
    EXPECT_TRUE(Log.HasLine("host refused mfs:/p1.htm"));

    // about:blank and file:// in the same view: nothing of the host is there, and a hand-made
    // request is refused.
    const std::string probe =
        "(function () { var r = typeof window.external === 'object' && window.external !== null &&"
        " 'ShowUserForm' in window.external ? 'host' : 'none';"
        " try { var x = new XMLHttpRequest(); x.open('GET', 'vellumet-host:call?' + encodeURIComponent("
        " JSON.stringify({h: 0, d: 202, k: 2, a: [], u: 'mfs:/p1.htm'})), false); x.send();"
        " r += ' ' + x.responseText; } catch (e) { r += ' blocked'; } return r; })()";
    Window->webMain->Navigate("about:blank");
    ASSERT_TRUE(WaitForPage("about:blank"));
    std::string blank = Eval(probe);
    EXPECT_EQ(blank.substr(0, 4), "none");
    EXPECT_EQ(blank.find("\"ok\":true"), std::string::npos) << blank;

    Book.Add("outside.htm", "<html><body>outside</body></html>");
    const std::string file = "file://" + (Book.Folder / "book" / "outside.htm").string();
    Window->webMain->Navigate(file);
    ASSERT_TRUE(WaitForPage(file));
    std::string outside = Eval(probe);
    EXPECT_EQ(outside.substr(0, 4), "none");
    EXPECT_EQ(outside.find("\"ok\":true"), std::string::npos) << outside;
}

TEST_F(TScriptHostTest, HandlesCannotBeForged) {
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    const std::string forged =
        "(function () { var x = new XMLHttpRequest(); x.open('GET', 'vellumet-host:call?' +"
        " encodeURIComponent(JSON.stringify({h: 7, d: 202, k: 1, a: [],"
        " u: location.href})), false); x.send(); return x.responseText; })()";
    EXPECT_NE(Eval(forged).find("not known to this page"), std::string::npos);
    EXPECT_NE(
        Eval("(function () { var x = new XMLHttpRequest(); x.open('GET', 'vellumet-host:call?{bad', false);"
             " x.send(); return x.responseText; })()")
            .find("may not use"),
        std::string::npos);
    EXPECT_EQ(Try("external.ShowUserForm.call({__vellumetHandle: 1}, 'About')"),
              "error: Object is not a viewer object");
}

} // namespace

namespace {

// The sample book's own pages use the host as their readers will.
class TSampleBookHostTest : public THostTest {
  protected:
    TfrmMain& OpenSample() {
        const std::string book = TV_SAMPLE_BOOK;
        const std::string output = (Book.Folder / "sample").string();
        WritePackedExecutable(
            "/bin/true",
            {{"RCDATA", "SYSTEM_MFS", PackArchiveImage(BuildArchiveImage(book + "/system"))},
             {"RCDATA", "FILES_MFS", PackArchiveImage(BuildArchiveImage(book + "/pages"))}},
            output);
        return Open(output);
    }
};

TEST_F(TSampleBookHostTest, FormsPageDrivesTheStoryAndTheAboutFormSizesItself) {
    OpenSample();
    ASSERT_TRUE(WaitForPage("mfs:\\welcome.htm"));
    Window->webMain->Navigate("mfs:\\look\\forms.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\look\\forms.htm"));
    EXPECT_EQ(Eval("document.getElementById('current').innerText"), "\\look\\forms.htm");
    EXPECT_EQ(Eval("document.getElementById('eof').innerText"), "false");

    Eval("setTimeout(function () { openForm('About'); }, 0); 1");
    std::string caption, size;
    int height = 0;
    ASSERT_TRUE(InForm([&](TfrmUserForm& form) {
        caption = form.Caption();
        size = Eval(*form.webUserForm, "document.getElementById('size').innerText");
        height = form.Height();
    }));
    EXPECT_EQ(caption.substr(0, 6), "About ");
    EXPECT_NE(caption, "About this book"); // replaced by the page's own script
    EXPECT_NE(size.find(" by "), std::string::npos) << size;
    EXPECT_NE(height, 400);
    PumpUntil(
        [&] { return Eval("document.getElementById('message').innerText") == "The form About was closed"; });
    EXPECT_EQ(Eval("document.getElementById('message').innerText"), "The form About was closed");

    Eval("move('Next')");
    ASSERT_TRUE(WaitForPage("mfs:\\checklist.htm"));
}

} // namespace
