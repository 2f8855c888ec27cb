// The viewer as an author uses it: an unpacked book folder opened directly (the archives built in
// memory by the packer's own code) and followed while it is edited: saved pages reload the page
// shown, saved description files restart the book in the same window, a broken description leaves
// the last good book open.
#include "frm_Main.h"

#include "HostTestSupport.h"
#include "ViewerTestSupport.h"
#include "frm_Splash.h"
#include "u_BookWatcher.h"
#include "u_Story.h"
#include "u_Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

class TAuthorTest : public TMainWindowFixture {
  protected:
    fs::path BookFolder() const { return Book.Folder / "book"; }
    // The sample book copied into the test's folder, where it may be edited.
    void CopySampleBook() {
        fs::remove_all(BookFolder());
        fs::copy(TV_SAMPLE_BOOK, BookFolder(), fs::copy_options::recursive);
    }
    // Opens folder as --book does, following it when watch is set.
    TfrmMain& Open(const fs::path& folder, bool watch) {
        Window = std::make_unique<TfrmMain>("", StartBookFolderLoader(folder.string()));
        if (watch) Window->FollowBookFolder(folder.string());
        gtk_widget_show(GTK_WIDGET(Window->Window()));
        return *Window;
    }
    std::string Script(const std::string& script) {
        return Window->webMain->EvaluateScript(script).value_or("?");
    }
    // Marks the log: the next wait looks only at lines after it.
    void Mark() { FMark = Log.Lines.size(); }
    // Waits until the log holds, after the mark, a line starting with text followed by a completed
    // document.
    ::testing::AssertionResult WaitForLoadAfter(const std::string& text) {
        const bool seen = PumpUntil([&] {
            const auto line = std::find_if(Log.Lines.begin() + static_cast<std::ptrdiff_t>(FMark), Log.Lines.end(),
                                           [&](const std::string& l) { return l.rfind(text, 0) == 0; });
            return line != Log.Lines.end() &&
                   std::any_of(line, Log.Lines.end(),
                               [](const std::string& l) { return l.rfind("DocumentComplete", 0) == 0; });
        });
        if (seen) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no \"" << text << "\" followed by a completed document";
    }
    size_t Count(const std::string& prefix) const {
        return static_cast<size_t>(std::count_if(Log.Lines.begin(), Log.Lines.end(), [&](const std::string& l) {
            return l.rfind(prefix, 0) == 0;
        }));
    }
    TLogCapture Log;
    size_t FMark = 0;
};

TEST_F(TAuthorTest, SampleBookFolderOpensOnItsFirstPage) {
    TfrmMain& window = Open(TV_SAMPLE_BOOK, false);
    ASSERT_FALSE(window.StartFailed()) << window.StartError();
    ASSERT_TRUE(WaitForPage("mfs:\\welcome.htm"));
    // The page comes from the folder with the book's variables expanded, the toolbar from its pictures.
    EXPECT_EQ(Script("document.querySelector('h1').textContent"), "Writing a Tomevane Book");
    EXPECT_EQ(std::string(gtk_window_get_title(window.Window())), "Writing a Tomevane Book, First edition - Tomevane Viewer");
    EXPECT_FALSE(window.ButtonKinds().empty());
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TAuthorTest, FolderThatIsNoBookFailsAsAPackedBookWould) {
    // No system folder: the start-up ends at its first step with the folder's message.
    Book.Add("pages/p1.htm", "<p>one</p>");
    fs::remove_all(BookFolder() / "system");
    TfrmMain& window = Open(BookFolder(), true);
    EXPECT_TRUE(window.StartFailed());
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Recorder.Boxes[0].Text, "\"" + (BookFolder() / "system").string() + "\" is not a folder");
    EXPECT_TRUE(PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(window.Window())); }, 5000));

    // A story without System.xml: the start-up's own message, not one of the folder reading.
    Window.reset();
    Recorder.Boxes.clear();
    Book.AddStandardBook();
    Book.Remove("system/System.xml");
    EXPECT_TRUE(Open(BookFolder(), false).StartFailed());
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Text, "File \"System.xml\" not found");
}

TEST_F(TAuthorTest, SavedPageReloadsWithItsNewTextAtItsScrollPosition) {
    Book.AddStandardBook();
    std::string longPage = "<html><body style=\"margin:0\"><p id=\"text\">First text</p>";
    for (int i = 0; i < 200; ++i)
        longPage += "<p>line " + std::to_string(i) + "</p>";
    Book.Add("pages/p1.htm", longPage + "</body></html>");
    TfrmMain& window = Open(BookFolder(), true);
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    Script("window.scrollTo(0, 400); String(window.scrollY)");
    ASSERT_EQ(Script("String(window.scrollY)"), "400");

    Book.Add("pages/p1.htm", "<html><body style=\"margin:0\"><p id=\"text\">Second text of %{TITLE}</p>" +
                                 longPage.substr(longPage.find("</p>") + 4) + "</body></html>");
    ASSERT_TRUE(WaitForLoadAfter("reload pages/p1.htm"));
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Script("document.getElementById('text').textContent"), "Second text of Test Book");
    EXPECT_EQ(Script("String(window.scrollY)"), "400");
    EXPECT_EQ(Count("restart"), 0u);

    // A page in a new folder, and a picture the page shows: the archive follows both.
    Mark();
    Book.Add("pages/more/p4.htm", "<p id=\"text\">Four</p>");
    Book.Add("pages/dot.bmp", MakeBitmap(7, 5));
    Book.Add("pages/p3.htm", "<p id=\"text\">Three</p><img id=\"dot\" src=\"dot.bmp\">");
    ASSERT_TRUE(WaitForLoadAfter("reload pages/"));
    window.webMain->Navigate("mfs:\\more\\p4.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\more\\p4.htm"));
    EXPECT_EQ(Script("document.getElementById('text').textContent"), "Four");
    window.webMain->Navigate("mfs:\\p3.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));
    EXPECT_EQ(Script("String(document.getElementById('dot').naturalWidth)"), "7");
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TAuthorTest, SavedVariablesRestartTheBookOnThePageShown) {
    CopySampleBook();
    TfrmMain& window = Open(BookFolder(), true);
    ASSERT_TRUE(WaitForPage("mfs:\\welcome.htm"));
    window.webMain->Navigate("mfs:\\basics\\intro.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\basics\\intro.htm"));
    const size_t buttons = window.ButtonKinds().size();

    std::ifstream in(BookFolder() / "system" / "Variables.xml");
    std::string variables((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string old = "$First edition";
    variables.replace(variables.find(old), old.size(), "$Second edition");
    Book.Add("system/Variables.xml", variables);

    ASSERT_TRUE(WaitForLoadAfter("restart system/Variables.xml"));
    ASSERT_TRUE(WaitForPage("mfs:\\basics\\intro.htm"));
    EXPECT_EQ(std::string(gtk_window_get_title(window.Window())), "Writing a Tomevane Book, Second edition - Tomevane Viewer");
    EXPECT_EQ(window.Story()->CurrentPage(), "\\basics\\intro.htm");
    // The toolbar is built once again, not twice.
    EXPECT_EQ(window.ButtonKinds().size(), buttons);
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TAuthorTest, BrokenStoryShowsTheErrorAndKeepsTheLastGoodBook) {
    Book.AddStandardBook("MainFormCaption=\"%{TITLE}\"");
    TfrmMain& window = Open(BookFolder(), true);
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    window.webMain->Navigate("mfs:\\p3.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p3.htm"));

    Book.Add("system/Story.xml", "<Story><item page=\"\\p1.htm\"></Story>");
    ASSERT_TRUE(PumpUntil([&] { return !Recorder.Boxes.empty(); }));
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_TRUE(Log.Has("restart failed: " + Recorder.Boxes[0].Text));
    // The book as it was: its story, its page, its schemes.
    EXPECT_EQ(std::string(gtk_window_get_title(window.Window())), "Test Book");
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p3.htm");
    window.webMain->Navigate("mfs:\\p1.htm");
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Script("document.getElementById('text').textContent"), "Page one of Test Book");

    // Mended, the book restarts with it.
    Mark();
    Book.Add("system/Story.xml", "<Story><item page=\"\\p3.htm\"/><item page=\"\\p1.htm\"/></Story>");
    ASSERT_TRUE(WaitForLoadAfter("restart system/Story.xml"));
    EXPECT_EQ(Recorder.Boxes.size(), 1u);
    window.Story()->First();
    EXPECT_EQ(window.Story()->CurrentPage(), "\\p3.htm");
}

TEST_F(TAuthorTest, FilesSavedTogetherCauseOneReload) {
    Book.AddStandardBook();
    TfrmMain& window = Open(BookFolder(), true);
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    (void)window;
    // Five files within 100 ms, and an editor's swap and backup files, which never count.
    for (int i = 0; i < 5; ++i) {
        Book.Add("pages/p" + std::to_string(i + 1) + ".htm", "<p id=\"text\">Saved " + std::to_string(i) + "</p>");
        g_usleep(15000);
    }
    Book.Add("pages/.p1.htm.swp", "swap");
    Book.Add("pages/p1.htm~", "backup");
    ASSERT_TRUE(WaitForLoadAfter("reload pages/"));
    PumpFor(600);
    EXPECT_EQ(Count("reload"), 1u);
    EXPECT_EQ(Script("document.getElementById('text').textContent"), "Saved 0");

    // Changes only to files no book reads cause none.
    Book.Add("pages/.notes.swp", "swap");
    Book.Add("README.txt", "notes");
    PumpFor(600);
    EXPECT_EQ(Count("reload"), 1u);
}

TEST_F(TAuthorTest, RestartWaitsForAFormAndLeavesTheReplacedHostObjectWorking) {
    Book.AddStandardBook("Forms=\"Forms.xml\"");
    AddForms(Book, "<Form Name=\"About\" Path=\"\\p3.htm\" Caption=\"First\"/>");
    TfrmMain& window = Open(BookFolder(), true);
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    TComPtr<IHostExternal> before;
    ASSERT_EQ(window.HostExternal()->QueryInterface(IID_IHostExternal, before.PutVoid()), S_OK);
    auto* host = static_cast<THostExternal*>(before.Get());

    // A form shown from the page's script: a description saved meanwhile waits until it closes.
    // The form runs its own loop, so the steps run from a timer inside it.
    struct TWhileOpen {
        std::function<void()> Save;
        std::function<size_t()> Restarts;
        THostExternal* Host;
        int Step = 0;
        gint64 Saved = 0;
        size_t RestartsWhileOpen = 0;
    } open{[&] { AddForms(Book, "<Form Name=\"About\" Path=\"\\p3.htm\" Caption=\"Second\"/>"); },
           [&] { return Count("restart"); }, host};
    Mark();
    const guint stepper = g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
            auto* o = static_cast<TWhileOpen*>(data);
            TfrmUserForm* form = o->Host->ActiveForm();
            if (!form) return G_SOURCE_CONTINUE;
            if (o->Step == 0) {
                o->Save();
                o->Saved = g_get_monotonic_time();
                o->Step = 1;
            } else if (g_get_monotonic_time() - o->Saved > 800000) {
                o->RestartsWhileOpen = o->Restarts();
                form->Close();
                o->Step = 2;
                return G_SOURCE_REMOVE;
            }
            return G_SOURCE_CONTINUE;
        },
        &open);
    Script("setTimeout(function () { external.ShowUserForm('About'); }, 0); 1");
    if (!PumpUntil([&] { return open.Step == 2; })) g_source_remove(stepper);
    ASSERT_EQ(open.Step, 2);
    EXPECT_EQ(open.RestartsWhileOpen, 0u);
    ASSERT_TRUE(WaitForLoadAfter("restart system/Forms.xml"));

    // A call that reaches the host object the restart replaced (a page's request still waiting
    // to run) works on the forms that object was made over, which it keeps alive.
    struct TSeen {
        THostExternal* Host;
        std::string Caption;
    } seen{host, ""};
    const guint closer = g_timeout_add(
        20,
        [](gpointer data) -> gboolean {
            auto* s = static_cast<TSeen*>(data);
            TfrmUserForm* form = s->Host->ActiveForm();
            if (!form) return G_SOURCE_CONTINUE;
            s->Caption = form->Caption();
            form->Close();
            return G_SOURCE_REMOVE;
        },
        &seen);
    EXPECT_EQ(before->ShowUserForm(u"About"), S_OK);
    if (seen.Caption.empty()) g_source_remove(closer);
    EXPECT_EQ(seen.Caption, "First");
    // The new book's own host object has the new forms, and the page still has its schemes.
    auto* current = static_cast<THostExternal*>(static_cast<IHostExternal*>(window.HostExternal().Get()));
    ASSERT_NE(current, host);
    EXPECT_EQ(current->UserForms->FindForm("About")->Caption, "Second");
    EXPECT_EQ(Script("document.getElementById('text').textContent"), "Page one of Test Book");
    EXPECT_TRUE(Recorder.Boxes.empty());
}

TEST_F(TAuthorTest, AFailingBatchIsShownAndTheFolderIsStillFollowed) {
    Book.AddStandardBook();
    int batches = 0;
    TBookWatcher watcher(BookFolder().string(), [&](const TBookChanges&) {
        if (++batches == 1) throw std::runtime_error("Cannot read the book again");
    });
    Book.Add("pages/p1.htm", "<p>one</p>");
    ASSERT_TRUE(PumpUntil([&] { return batches == 1; }, 5000));
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
    EXPECT_EQ(Recorder.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Recorder.Boxes[0].Text, "Cannot read the book again");
    EXPECT_TRUE(Log.HasLine("book folder changes failed: Cannot read the book again"));
    Book.Add("pages/p2.htm", "<p>two</p>");
    EXPECT_TRUE(PumpUntil([&] { return batches == 2; }, 5000));
    EXPECT_EQ(Recorder.Boxes.size(), 1u);
}

} // namespace
