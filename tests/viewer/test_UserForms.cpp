// User-form definitions from the forms file, how one is applied to its window, and the forms file
// as the start-up reads it.
#include "HostTestSupport.h"

#include "u_MFS.h"
#include "u_Story.h"
#include "u_UserForms.h"
#include "u_XMLParser.h"

namespace {

// A collection read, as the start-up reads it, from a forms file stored in folder of an archive.
class TFormsFile {
  public:
    explicit TFormsFile(const std::string& forms, const std::string& folder = "\\") {
        TMFSSession* session = FArchive.Session();
        session->ForceFolders(folder);
        const std::string file = TMFS::IncludeTrailingBackslash(folder) + "forms.xml";
        session->CreateFile(file, faArchive, true)->Data = "<AdditionalPages>" + forms + "</AdditionalPages>";
        TXMLParser system;
        system.ParseText("<System Forms='" + file + "'/>");
        Forms = std::make_unique<TUserForms>(TBookReader(FArchive).ReadUserForms(system.Root()));
    }
    std::unique_ptr<TUserForms> Forms;

  private:
    TMFS FArchive;
};

TEST(UserFormDefinitions, OnlyNameAndPathGiveTheDesignedPlainWindow) {
    TFormsFile file("<Form Name=\"About\" Path=\"\\about.htm\"/>");
    TUserForm* form = file.Forms->FindForm("ABOUT");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Path, "\\about.htm");
    TfrmUserForm window;
    form->ApplyTo(window);
    EXPECT_EQ(window.Left(), 272);
    EXPECT_EQ(window.Top(), 221);
    EXPECT_EQ(window.Width(), 696);
    EXPECT_EQ(window.Height(), 480);
    EXPECT_EQ(window.BorderStyle(), TFormBorderStyle::bsSingle);
    EXPECT_FALSE(gtk_window_get_resizable(window.Window()));
    EXPECT_EQ(window.BorderIcons(), 0);
    EXPECT_FALSE(gtk_window_get_deletable(window.Window()));
    EXPECT_EQ(window.Caption(), "");
    EXPECT_FALSE(window.Center());
    EXPECT_EQ(window.webUserForm->HostUIFlags(), 0u);
}

TEST(UserFormDefinitions, BorderAttributes) {
    TFormsFile file("<Form Name=\"Both\" HideBorder=True Sizable=True/>"
                    "<Form Name=\"Typo\" Sizeable=True/>"
                    "<Form Name=\"Sizable\" Sizable=True SystemMenu=True Maximize=True/>");
    EXPECT_EQ(file.Forms->FindForm("Both")->BorderStyle, TFormBorderStyle::bsNone);
    EXPECT_EQ(file.Forms->FindForm("Typo")->BorderStyle, TFormBorderStyle::bsSingle);
    const TUserForm* sizable = file.Forms->FindForm("Sizable");
    EXPECT_EQ(sizable->BorderStyle, TFormBorderStyle::bsSizeable);
    EXPECT_EQ(sizable->BorderIcons, biSystemMenu | biMaximize);

    TfrmUserForm none, sizeable;
    file.Forms->FindForm("Both")->ApplyTo(none);
    EXPECT_FALSE(gtk_window_get_decorated(none.Window()));
    sizable->ApplyTo(sizeable);
    EXPECT_TRUE(gtk_window_get_resizable(sizeable.Window()));
    EXPECT_TRUE(gtk_window_get_deletable(sizeable.Window()));
}

TEST(UserFormDefinitions, LaterFormOfTheSameNameWinsAndWidthZeroIsApplied) {
    TFormsFile file("<Form Name=\"About\" Caption=\"first\"/><Other Name=\"About\" Caption=\"ignored\"/>"
                    "<form Name=\"about\" Caption=\"second\" Width=0 Height=-1 HideScrollBar=True/>");
    EXPECT_EQ(file.Forms->Count(), 1);
    const TUserForm* form = file.Forms->FindForm("About");
    EXPECT_EQ(form->Caption, "second");
    TfrmUserForm window;
    form->ApplyTo(window);
    EXPECT_EQ(window.Width(), 0);
    EXPECT_EQ(window.Height(), 480);
    EXPECT_EQ(window.Caption(), "second");
    EXPECT_EQ(window.webUserForm->HostUIFlags(), static_cast<uint32_t>(TUserInterfaceOption::SCROLL_NO));
}

TEST(UserFormDefinitions, PathsAreMadeAbsoluteFromTheFormsFolder) {
    TFormsFile file("<Form Name=\"About\" Path=\"About.html\"/><Form Name=\"Up\" Path=\"..\\top.htm\"/>"
                    "<Form Name=\"Root\" Path=\"\\r.htm\"/><Form Name=\"None\"/>",
                    "\\AdditionalPages");
    EXPECT_EQ(file.Forms->FindForm("About")->Path, "\\AdditionalPages\\About.html");
    EXPECT_EQ(file.Forms->FindForm("Up")->Path, "\\top.htm");
    EXPECT_EQ(file.Forms->FindForm("Root")->Path, "\\r.htm");
    EXPECT_EQ(file.Forms->FindForm("None")->Path, "\\AdditionalPages\\");
    EXPECT_EQ(TUserForms().Count(), 0);
}

TEST(UserFormDefinitions, CentreWinsOverLeft) {
    TFormsFile file("<Form Name=\"C\" Center=True Left=10 Top=10 Width=200 Height=100/>");
    TfrmUserForm window;
    file.Forms->FindForm("C")->ApplyTo(window);
    EXPECT_TRUE(window.Center());
    gtk_widget_show(GTK_WIDGET(window.Window()));
    PumpUntil([&] { return window.Width() == 200 && window.Left() != 10; }, 5000);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    const int screenWidth = gdk_screen_get_width(gtk_window_get_screen(window.Window()));
    G_GNUC_END_IGNORE_DEPRECATIONS
    EXPECT_NEAR(window.Left(), (screenWidth - 200) / 2, 2);
    gtk_widget_hide(GTK_WIDGET(window.Window()));
}

class TUserFormStartTest : public THostTest {};

TEST_F(TUserFormStartTest, FormsFileInAFolderOpensItsRelativePage) {
    Book.AddStandardBook("Forms=\"AdditionalPages\\Forms.xml\"");
    AddForms(Book, "<Form Name=\"About\" Path=\"About.html\" Caption=\"From a folder\"/>",
             "AdditionalPages/Forms.xml");
    Book.Add("pages/AdditionalPages/About.html", "<html><body>About page</body></html>");
    Open();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    ASSERT_NE(Window->UserForms()->FindForm("About"), nullptr);
    EXPECT_EQ(Window->UserForms()->FindForm("About")->Path, "\\AdditionalPages\\About.html");
    StartInMainPage("external.ShowUserForm('About')");
    std::string location, text;
    ASSERT_TRUE(InForm([&](TfrmUserForm& form) {
        location = form.webUserForm->LocationURL();
        text = Eval(*form.webUserForm, "document.body.innerText");
    }));
    EXPECT_EQ(location, "mfs:\\AdditionalPages\\About.html");
    EXPECT_EQ(text, "About page");
    EXPECT_EQ(MainResult(), "done");
}

TEST_F(TUserFormStartTest, NoFormsFileGivesNoForms) {
    Book.AddStandardBook("Forms=\"Missing.xml\"");
    Open();
    ASSERT_FALSE(Window->StartFailed()) << Window->StartError();
    ASSERT_TRUE(WaitForPage("mfs:\\p1.htm"));
    EXPECT_EQ(Window->UserForms()->Count(), 0);
    EXPECT_EQ(Try("external.ShowUserForm('About')"), "error: Form \"About\" not found");
}

TEST_F(TUserFormStartTest, AValueOfTheWrongTypeEndsTheStartUp) {
    Book.AddStandardBook("Forms=\"Forms.xml\"");
    AddForms(Book, "<Form Name=\"About\" Width=\"wide\"/>");
    Open();
    EXPECT_TRUE(Window->StartFailed());
    ASSERT_EQ(Recorder.Boxes.size(), 1u);
}

} // namespace
