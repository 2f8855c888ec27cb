// The book's toolbar: its buttons built from the toolbar description (read, pictures included, by
// the start-up's reading that the book check shares), the eighteen button commands, the bookmark
// and font-size menus, the search window, and the keyboard shortcuts of the buttons the book has.
//
// The commands do what page scripts do through window.external: every story move and browser
// operation goes through TCommandHost below, the one place that names them.
#include "frm_Main.h"

#include "frm_Search.h"
#include "u_BookReader.h"
#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_Dictionary.h"
#include "u_Settings.h"
#include "u_Shell.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_XMLParser.h"

#include <gdk/gdkkeysyms.h>
#include <glibmm/main.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/separatortoolitem.h>

namespace {

constexpr const char* TagKey = "tomevane-tag";
constexpr int SeparatorWidth = 8;
constexpr int NormalFontSize = 2;
constexpr int LargestFontSize = 4;

// The story and browser operations of the commands, as the script host's Story and WebBrowser
// members perform them: a story move first locates the page shown, then shows the new current
// page; Bof and Eof first bring the cursor to the page shown.
class TCommandHost {
  public:
    explicit TCommandHost(TfrmMain& window) : FWindow(window) {}

    int ReadyState() const { return FWindow.webMain ? FWindow.webMain->ReadyState() : READYSTATE_COMPLETE; }
    HRESULT GoBack() { return Browser().GoBack(); }
    HRESULT GoForward() { return Browser().GoForward(); }
    void GoHome() { Browser().GoHome(); }
    HRESULT ExecWB(int command, int input = 0) {
        return Browser().ExecWB(command, OLECMDEXECOPT_DONTPROMPTUSER, input);
    }

    bool StoryBof() {
        FWindow.SyncStory();
        return Story().Bof();
    }
    bool StoryEof() {
        FWindow.SyncStory();
        return Story().Eof();
    }
    void StoryFirst() {
        Story().First();
        FWindow.ShowStoryPage();
    }
    void StoryLast() {
        Story().Last();
        FWindow.ShowStoryPage();
    }
    void StoryPrior() {
        Story().Prior(FWindow.GetCurrentPage());
        FWindow.ShowStoryPage();
    }
    void StoryNext() {
        Story().Next(FWindow.GetCurrentPage());
        FWindow.ShowStoryPage();
    }
    void StoryPriorChapter(int32_t level) {
        Story().PriorChapter(FWindow.GetCurrentPage(), level);
        FWindow.ShowStoryPage();
    }
    void StoryNextChapter(int32_t level) {
        Story().NextChapter(FWindow.GetCurrentPage(), level);
        FWindow.ShowStoryPage();
    }

    // A book without user forms knows no form by any name.
    void ShowUserForm(const std::string& name) {
        throw Exception(Format("Form \"%s\" not found", name.c_str()));
    }
    void Terminate() { FWindow.PostClose(); }

  private:
    TMXWebBrowser& Browser() const {
        if (!FWindow.webMain) throw Exception("The page view is closed");
        return *FWindow.webMain;
    }
    TStory& Story() const {
        if (!FWindow.Story()) throw Exception("The book has no reading order");
        return *FWindow.Story();
    }

    TfrmMain& FWindow;
};

// Shows or hides the arrow of a drop-down button (its menu then opens from the arrow only).
void ShowDropDownArrow(Gtk::MenuToolButton& button, bool show) {
    GtkWidget* box = gtk_bin_get_child(GTK_BIN(button.gobj()));
    if (!box || !GTK_IS_CONTAINER(box)) return;
    GList* children = gtk_container_get_children(GTK_CONTAINER(box));
    if (GList* arrow = g_list_nth(children, 1)) gtk_widget_set_visible(GTK_WIDGET(arrow->data), show);
    g_list_free(children);
}

} // namespace

int ComponentTag(const Gtk::Widget& component) {
    gpointer tag = g_object_get_data(G_OBJECT(component.gobj()), TagKey);
    return tag ? GPOINTER_TO_INT(tag) - 1 : -1;
}

void SetComponentTag(Gtk::Widget& component, int tag) {
    g_object_set_data(G_OBJECT(component.gobj()), TagKey, GINT_TO_POINTER(tag + 1));
}

bool TfrmMain::HasButton(TToolButtonKind kind) const {
    return std::find(FButtonKinds.begin(), FButtonKinds.end(), kind) != FButtonKinds.end();
}

void TfrmMain::CreateFontSizeMenu() {
    int tag = 0;
    for (Gtk::MenuItem* item :
         {&mnuFS_ExtraSmall, &mnuFS_Small, &mnuFS_Medium, &mnuFS_Large, &mnuFS_ExtraLarge}) {
        SetComponentTag(*item, tag++);
        item->signal_activate().connect([this, item] { mnuFS_Click(item); });
        popFontSize.append(*item);
    }
    popFontSize.show_all();
}

void TfrmMain::BuildToolbar() {
    if (popFontSize.get_children().empty()) CreateFontSizeMenu();
    TBookReader reader(*FSystemArchive);
    TToolbarDescription toolbar = reader.ReadToolbar(FSystemXml->Root(), *FToolbarOptions);
    if (!toolbar.Present) {
        // No description: no tool bar; the panel keeps the logo as the settings made it.
        tbrMain.hide();
        tbrMain.set_no_show_all(true);
        return;
    }
    imglToolbar = std::move(toolbar.Images);
    for (const auto& [name, index] : toolbar.ImageNames)
        FImageIndexes->Set_Item(name, reinterpret_cast<void*>(static_cast<intptr_t>(index)));

    FButtonKinds.resize(toolbar.Buttons.size());
    for (size_t i = 0; i < toolbar.Buttons.size(); ++i) {
        const TToolButtonDefinition& definition = toolbar.Buttons[i];
        FButtonKinds[i] = definition.Kind;
        Gtk::ToolItem* item = CreateToolButton(definition);
        SetComponentTag(*item, static_cast<int>(i));
        tbrMain.insert(*item, -1);
    }
    tbrMain.show_all();
    if (FPrintButton) ShowDropDownArrow(*FPrintButton, !popPrint.get_children().empty());
}

Gtk::ToolItem* TfrmMain::CreateToolButton(const TToolButtonDefinition& definition) {
    if (definition.Kind == tbkSeparator) {
        auto* separator = Gtk::manage(new Gtk::SeparatorToolItem());
        // The theme's margins would make it wider than designed: a line with its space around it.
        static const Glib::RefPtr<Gtk::CssProvider> css = [] {
            auto provider = Gtk::CssProvider::create();
            provider->load_from_data(Format("separator { min-width: 2px; margin: 0 %dpx; padding: 0; }",
                                            (SeparatorWidth - 2) / 2));
            return provider;
        }();
        separator->get_style_context()->add_provider(css, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        separator->set_size_request(SeparatorWidth, -1);
        return separator;
    }
    Gtk::ToolButton* button = nullptr;
    Gtk::Menu* menu = nullptr;
    switch (definition.Kind) {
    case tbkFontSize:
        menu = &popFontSize;
        break;
    case tbkFavourites:
        menu = &popBookMarks;
        AddBookmarks(definition);
        break;
    case tbkPrint:
        menu = &popPrint;
        break;
    default:
        break;
    }
    if (menu) {
        auto* dropDown = Gtk::manage(new Gtk::MenuToolButton());
        // A menu belongs to one button: a second button of the same kind opens it from its face.
        if (!menu->get_attach_widget())
            dropDown->set_menu(*menu);
        else
            ShowDropDownArrow(*dropDown, false);
        button = dropDown;
    } else {
        button = Gtk::manage(new Gtk::ToolButton());
    }
    const std::string caption = AnsiToUtf8(definition.Caption);
    button->set_label(caption);
    button->set_tooltip_text(caption);
    button->set_size_request(FToolbarOptions->ToolbarBtnW, FToolbarOptions->ToolbarBtnH);
    if (definition.ImageIndex >= 0 && static_cast<size_t>(definition.ImageIndex) < imglToolbar.size())
        button->set_icon_widget(
            *Gtk::manage(new Gtk::Image(imglToolbar[static_cast<size_t>(definition.ImageIndex)])));

    switch (definition.Kind) {
    case tbkFontSize:
    case tbkFavourites:
        // These have no command: their face opens their menu, as their arrow does.
        button->signal_clicked().connect([menu, button] {
            menu->popup_at_widget(button, Gdk::GRAVITY_SOUTH_WEST, Gdk::GRAVITY_NORTH_WEST, nullptr);
        });
        break;
    case tbkSearch:
        button->signal_clicked().connect([this, button] { mnuSearchClick(button); });
        break;
    case tbkPrint:
        if (!FPrintButton) FPrintButton = static_cast<Gtk::MenuToolButton*>(button);
        [[fallthrough]];
    default:
        button->signal_clicked().connect([this, button] { ToolButtonClick(button); });
        break;
    }
    return button;
}

void TfrmMain::AddBookmarks(const TToolButtonDefinition& definition) {
    // Every bookmarks button adds its items to the one list, so that each item's tag stays the
    // index of its own target.
    for (const TBookMarkDefinition& bookmark : definition.Bookmarks) {
        auto* item = Gtk::manage(new Gtk::MenuItem(AnsiToUtf8(bookmark.Caption)));
        item->set_tooltip_text(AnsiToUtf8(bookmark.URL));
        SetComponentTag(*item, static_cast<int>(FBookmarks.size()));
        item->signal_activate().connect([this, item] { BookMarkClick(item); });
        popBookMarks.append(*item);
        FBookmarks.emplace_back(bookmark.URL, bookmark.NewWindow);
    }
    popBookMarks.show_all();
}

bool TfrmMain::WaitForReadyState() {
    // A view that has never loaded anything has nothing to wait for.
    TCommandHost host(*this);
    while (webMain && host.ReadyState() < READYSTATE_INTERACTIVE &&
           host.ReadyState() != READYSTATE_UNINITIALIZED)
        g_main_context_iteration(nullptr, TRUE);
    return webMain != nullptr;
}

void TfrmMain::ToolButtonClick(Gtk::ToolButton* sender) {
    if (!WaitForReadyState()) return;
    const int tag = sender ? ComponentTag(*sender) : -1;
    if (tag < 0 || static_cast<size_t>(tag) >= FButtonKinds.size()) return;
    ExecuteCommand(FButtonKinds[static_cast<size_t>(tag)]);
}

void TfrmMain::ExecuteCommand(TToolButtonKind kind) {
    if (!WaitForReadyState()) return;
    LogDebug("command %s", *ToolButtonKindName(kind) ? ToolButtonKindName(kind) : "(none)");
    TCommandHost host(*this);
    try {
        switch (kind) {
        case tbkBack:
            host.GoBack(); // no history: nothing happens
            break;
        case tbkForward:
            host.GoForward();
            break;
        case tbkFirst:
            host.StoryFirst();
            break;
        case tbkPrior:
            if (!host.StoryBof()) host.StoryPrior();
            break;
        case tbkNext:
            if (!host.StoryEof()) host.StoryNext();
            break;
        case tbkLast:
            host.StoryLast();
            break;
        case tbkPriorChapter:
            if (!host.StoryBof()) host.StoryPriorChapter(1);
            break;
        case tbkNextChapter:
            if (!host.StoryEof()) host.StoryNextChapter(1);
            break;
        case tbkAbout:
            host.ShowUserForm("About");
            break;
        case tbkExit:
            host.Terminate();
            break;
        case tbkPrint:
            host.ExecWB(OLECMDID_PRINTPREVIEW);
            break;
        case tbkCopy:
            host.ExecWB(OLECMDID_COPY);
            break;
        case tbkRefresh:
            host.ExecWB(OLECMDID_REFRESH);
            break;
        case tbkHome:
            host.GoHome();
            break;
        default:
            break;
        }
    } catch (...) {
        const std::string message = ExceptionMessageText();
        LogDebug("command %s failed: %s", ToolButtonKindName(kind), message.c_str());
        ShowMessageBox(TMessageKind::Error, message);
    }
}

void TfrmMain::BookMarkClick(Gtk::MenuItem* sender) {
    const int tag = sender ? ComponentTag(*sender) : -1;
    if (tag < 0 || static_cast<size_t>(tag) >= FBookmarks.size()) return;
    const TBookMarkItem& bookmark = FBookmarks[static_cast<size_t>(tag)];
    LogDebug("bookmark %s%s", bookmark.URL.c_str(), bookmark.NewWindow ? " (new window)" : "");
    if (bookmark.NewWindow)
        ShellOpener().Open(bookmark.URL);
    else if (webMain)
        webMain->Navigate(bookmark.URL);
}

void TfrmMain::mnuFS_Click(Gtk::MenuItem* sender) {
    const int tag = sender ? ComponentTag(*sender) : -1;
    if (tag >= 0 && tag <= LargestFontSize) SetFontSize(tag);
}

void TfrmMain::SetFontSize(int level) {
    if (!webMain) return;
    LogDebug("font size %d", level);
    TCommandHost(*this).ExecWB(OLECMDID_ZOOM, level);
}

void TfrmMain::mnuSearchClick(Gtk::ToolButton*) {
    if (!FStory || !FPageArchive || !webMain) return;
    LogDebug("command %s", ToolButtonKindName(tbkSearch));
    TfrmSearch search(*this);
    search.ShowModal();
}

bool TfrmMain::ToolbarShortcut(const GdkEventKey& key) {
    const guint modifiers = key.state & (GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SHIFT_MASK);
    const bool ctrl = (modifiers & ~GDK_SHIFT_MASK) == GDK_CONTROL_MASK;
    const bool alt = modifiers == GDK_MOD1_MASK;
    // The commands run from the main loop, not inside the event filter: they wait for the page
    // and open modal windows.
    auto later = [this](TToolButtonKind kind) {
        Glib::signal_idle().connect_once(sigc::bind(sigc::mem_fun(*this, &TfrmMain::ExecuteCommand), kind));
        return true;
    };
    auto fontSize = [this](int level) {
        Glib::signal_idle().connect_once(sigc::bind(sigc::mem_fun(*this, &TfrmMain::SetFontSize), level));
        return true;
    };
    const int current = webMain ? webMain->ZoomLevel() : NormalFontSize;
    switch (key.keyval) {
    case GDK_KEY_f:
    case GDK_KEY_F:
        if (!ctrl || !HasButton(tbkSearch)) return false;
        Glib::signal_idle().connect_once(sigc::bind(sigc::mem_fun(*this, &TfrmMain::mnuSearchClick),
                                                    static_cast<Gtk::ToolButton*>(nullptr)));
        return true;
    case GDK_KEY_Left:
    case GDK_KEY_KP_Left:
        return alt && HasButton(tbkBack) && later(tbkBack);
    case GDK_KEY_Right:
    case GDK_KEY_KP_Right:
        return alt && HasButton(tbkForward) && later(tbkForward);
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add:
        return ctrl && HasButton(tbkFontSize) && fontSize(std::min(current + 1, LargestFontSize));
    case GDK_KEY_minus:
    case GDK_KEY_KP_Subtract:
        return ctrl && HasButton(tbkFontSize) && fontSize(std::max(current - 1, 0));
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
        return ctrl && HasButton(tbkFontSize) && fontSize(NormalFontSize);
    default:
        return false;
    }
}
