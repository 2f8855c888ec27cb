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
#include "u_GuardedCall.h"
#include "u_HostExternal.h"
#include "u_Settings.h"
#include "u_Shell.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_TypeLib.h"
#include "u_WebURLSession.h"
#include "u_XMLParser.h"

#include <gdk/gdkkeysyms.h>
#include <webkit2/webkit2.h>

#include <algorithm>

namespace {

constexpr const char* TagKey = "tomevane-tag";
constexpr int SeparatorWidth = 8;
constexpr int NormalFontSize = 2;
constexpr int LargestFontSize = 4;
// The longest a command waits for the page shown to become ready.
constexpr int ReadyStateWaitMs = 5000;

// The commands' way to the story and the browser: the script host object, with the same members
// page scripts call (Story, WebBrowser, ShowUserForm, Terminate), so that a button and a script
// behave alike. A failed member becomes an exception with the member's own message.
class TCommandHost {
  public:
    explicit TCommandHost(TfrmMain& window) {
        if (window.HostExternal())
            window.HostExternal()->QueryInterface(IID_IHostExternal, FHost.PutVoid());
    }

    int ReadyState() { return Browser("ReadyState", DISPATCH_PROPERTYGET).IntValue; }
    // Back and Forward without history fail; the toolbar ignores that, as a browser does.
    bool GoBack() { return TryBrowser("GoBack"); }
    bool GoForward() { return TryBrowser("GoForward"); }
    void GoHome() { Browser("GoHome", DISPATCH_METHOD); }
    void ExecWB(int command, int input = 0) {
        Browser("ExecWB", DISPATCH_METHOD,
                {TOleVariant::FromInt(command), TOleVariant::FromInt(OLECMDEXECOPT_DONTPROMPTUSER),
                 TOleVariant::FromInt(input)});
    }

    bool StoryBof() {
        int16_t value = 0;
        Check(Story()->get_Bof(value));
        return value != 0;
    }
    bool StoryEof() {
        int16_t value = 0;
        Check(Story()->get_Eof(value));
        return value != 0;
    }
    void StoryFirst() { Check(Story()->First()); }
    void StoryLast() { Check(Story()->Last()); }
    void StoryPrior() { Check(Story()->Prior()); }
    void StoryNext() { Check(Story()->Next()); }
    void StoryPriorChapter(int32_t level) { Check(Story()->PriorChapter(level)); }
    void StoryNextChapter(int32_t level) { Check(Story()->NextChapter(level)); }

    void ShowUserForm(const std::string& name) { Check(Host().ShowUserForm(AnsiToWide(name))); }
    void Terminate() { Check(Host().Terminate()); }

  private:
    static constexpr uint16_t DISPATCH_METHOD = 1;

    // The member's message for a failed code (the error object it left), else the code's text.
    static void Check(HRESULT hr) {
        if (SUCCEEDED(hr)) return;
        TExcepInfo info;
        if (GetErrorInfo(info) && !info.Description.empty()) throw Exception(info.Description);
        throw Exception(OleErrorMessage(hr));
    }

    IHostExternal& Host() const {
        if (!FHost) throw Exception(SNoMainWindow);
        return *FHost.Get();
    }
    const TComPtr<IStory>& Story() {
        if (!FStory) Check(Host().get_Story(FStory));
        return FStory;
    }

    TOleVariant Browser(const char* member, uint16_t flags, std::vector<TOleVariant> args = {}) {
        TOleVariant result;
        Check(InvokeBrowser(member, flags, args, result));
        return result;
    }
    bool TryBrowser(const char* member) {
        std::vector<TOleVariant> args;
        TOleVariant result;
        const HRESULT hr = InvokeBrowser(member, DISPATCH_METHOD, args, result);
        TExcepInfo dropped;
        if (FAILED(hr)) GetErrorInfo(dropped);
        return SUCCEEDED(hr);
    }
    HRESULT InvokeBrowser(const char* member, uint16_t flags, std::vector<TOleVariant>& args,
                          TOleVariant& result) {
        if (!FBrowser) Check(Host().get_WebBrowser(FBrowser));
        int32_t dispId = 0;
        if (const HRESULT hr = FBrowser->GetIDsOfNames(member, &dispId); FAILED(hr)) return hr;
        TExcepInfo info;
        const HRESULT hr = FBrowser->Invoke(dispId, flags, args, &result, &info);
        if (hr == DISP_E_EXCEPTION) {
            SetErrorInfo(info);
            return info.Code ? info.Code : E_FAIL;
        }
        return hr;
    }

    TComPtr<IHostExternal> FHost;
    TComPtr<IStory> FStory;
    TComPtr<IDispatch> FBrowser;
};

// A bookmark written without a scheme ("quickref.htm", "\\p1.htm") is taken, as a link in the
// page would be, from the page shown (from the book's root when none is); other addresses as they
// are written.
std::string BookmarkTarget(const std::string& url, const TMXWebBrowser& browser) {
    const size_t colon = url.find(':');
    if (colon != std::string::npos && url.find_first_of("/\\?#") > colon) return url;
    std::string relative = url;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const char* shown = webkit_web_view_get_uri(browser.View());
    std::string base = shown && *shown && !g_str_has_prefix(shown, "about:") ? shown : "mfs:/";
    GError* error = nullptr;
    gchar* resolved = g_uri_resolve_relative(base.c_str(), AnsiToUtf8(relative).c_str(),
                                             G_URI_FLAGS_PARSE_RELAXED, &error);
    if (!resolved) {
        g_clear_error(&error);
        return url;
    }
    std::string target = UrlFromEngine(resolved);
    g_free(resolved);
    return target;
}

} // namespace

bool HasMenuItems(GtkMenu* menu) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu));
    const bool any = children != nullptr;
    g_list_free(children);
    return any;
}

void DestroyChildren(GtkContainer* container) {
    GList* children = gtk_container_get_children(container);
    for (GList* child = children; child; child = child->next)
        gtk_widget_destroy(GTK_WIDGET(child->data));
    g_list_free(children);
}

void ShowDropDownArrow(GtkMenuToolButton* button, bool show) {
    GtkWidget* box = gtk_bin_get_child(GTK_BIN(button));
    if (!box || !GTK_IS_CONTAINER(box)) return;
    GList* children = gtk_container_get_children(GTK_CONTAINER(box));
    if (GList* arrow = g_list_nth(children, 1)) gtk_widget_set_visible(GTK_WIDGET(arrow->data), show);
    g_list_free(children);
}

int ComponentTag(GtkWidget* component) {
    gpointer tag = g_object_get_data(G_OBJECT(component), TagKey);
    return tag ? GPOINTER_TO_INT(tag) - 1 : -1;
}

void SetComponentTag(GtkWidget* component, int tag) {
    g_object_set_data(G_OBJECT(component), TagKey, GINT_TO_POINTER(tag + 1));
}

bool TfrmMain::HasButton(TToolButtonKind kind) const {
    return std::find(FButtonKinds.begin(), FButtonKinds.end(), kind) != FButtonKinds.end();
}

void TfrmMain::CreateFontSizeMenu() {
    int tag = 0;
    for (GtkMenuItem** item : {&mnuFS_ExtraSmall, &mnuFS_Small, &mnuFS_Medium, &mnuFS_Large, &mnuFS_ExtraLarge}) {
        static const char* const Captions[] = {"Extra Small", "Small", "Medium", "Large", "Extra Large"};
        *item = GTK_MENU_ITEM(gtk_menu_item_new_with_label(Captions[tag]));
        SetComponentTag(GTK_WIDGET(*item), tag++);
        ConnectSignal<void(GtkMenuItem*)>(
            *item, "activate", [this](GtkMenuItem* sender) { mnuFS_Click(sender); }, "font size", true);
        gtk_menu_shell_append(GTK_MENU_SHELL(popFontSize), GTK_WIDGET(*item));
    }
    gtk_widget_show_all(GTK_WIDGET(popFontSize));
}

void TfrmMain::BuildToolbar() {
    TBookReader reader(*FSystemArchive);
    TToolbarDescription toolbar = reader.ReadToolbar(FSystemXml->Root(), *FToolbarOptions);
    if (!toolbar.Present) {
        // No description: no tool bar; the panel keeps the logo as the settings made it.
        gtk_widget_hide(GTK_WIDGET(tbrMain));
        gtk_widget_set_no_show_all(GTK_WIDGET(tbrMain), TRUE);
        return;
    }
    imglToolbar = std::move(toolbar.Images);
    for (const auto& [name, index] : toolbar.ImageNames)
        FImageIndexes->Set_Item(name, reinterpret_cast<void*>(static_cast<intptr_t>(index)));

    FButtonKinds.resize(toolbar.Buttons.size());
    for (size_t i = 0; i < toolbar.Buttons.size(); ++i) {
        const TToolButtonDefinition& definition = toolbar.Buttons[i];
        FButtonKinds[i] = definition.Kind;
        GtkToolItem* item = CreateToolButton(definition);
        SetComponentTag(GTK_WIDGET(item), static_cast<int>(i));
        gtk_toolbar_insert(tbrMain, item, -1);
    }
    gtk_widget_show_all(GTK_WIDGET(tbrMain));
    if (FPrintButton) ShowDropDownArrow(FPrintButton, HasMenuItems(popPrint));
}

GtkToolItem* TfrmMain::CreateToolButton(const TToolButtonDefinition& definition) {
    if (definition.Kind == tbkSeparator) {
        GtkToolItem* separator = gtk_separator_tool_item_new();
        // The theme's margins would make it wider than designed: a line with its space around it.
        static const TGObjectPtr<GtkCssProvider> css = [] {
            auto provider = TGObjectPtr<GtkCssProvider>::Take(gtk_css_provider_new());
            gtk_css_provider_load_from_data(
                provider.get(),
                Format("separator { min-width: 2px; margin: 0 %dpx; padding: 0; }", (SeparatorWidth - 2) / 2).c_str(),
                -1, nullptr);
            return provider;
        }();
        gtk_style_context_add_provider(gtk_widget_get_style_context(GTK_WIDGET(separator)),
                                       GTK_STYLE_PROVIDER(css.get()), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        gtk_widget_set_size_request(GTK_WIDGET(separator), SeparatorWidth, -1);
        return separator;
    }
    GtkToolButton* button = nullptr;
    GtkMenu* menu = nullptr;
    switch (definition.Kind) {
    case tbkFontSize:
        menu = popFontSize;
        break;
    case tbkFavourites:
        menu = popBookMarks;
        AddBookmarks(definition);
        break;
    case tbkPrint:
        menu = popPrint;
        break;
    default:
        break;
    }
    if (menu) {
        auto* dropDown = GTK_MENU_TOOL_BUTTON(gtk_menu_tool_button_new(nullptr, nullptr));
        // A menu belongs to one button: a second button of the same kind opens it from its face.
        if (!gtk_menu_get_attach_widget(menu))
            gtk_menu_tool_button_set_menu(dropDown, GTK_WIDGET(menu));
        else
            ShowDropDownArrow(dropDown, false);
        button = GTK_TOOL_BUTTON(dropDown);
    } else {
        button = GTK_TOOL_BUTTON(gtk_tool_button_new(nullptr, nullptr));
    }
    const std::string caption = AnsiToUtf8(definition.Caption);
    gtk_tool_button_set_label(button, caption.c_str());
    gtk_tool_item_set_tooltip_text(GTK_TOOL_ITEM(button), caption.c_str());
    gtk_widget_set_size_request(GTK_WIDGET(button), FToolbarOptions->ToolbarBtnW, FToolbarOptions->ToolbarBtnH);
    if (definition.ImageIndex >= 0 && static_cast<size_t>(definition.ImageIndex) < imglToolbar.size())
        gtk_tool_button_set_icon_widget(
            button, gtk_image_new_from_pixbuf(imglToolbar[static_cast<size_t>(definition.ImageIndex)].get()));

    switch (definition.Kind) {
    case tbkFontSize:
    case tbkFavourites:
        // These have no command: their face opens their menu, as their arrow does.
        ConnectSignal<void(GtkToolButton*)>(
            button, "clicked",
            [menu](GtkToolButton* sender) {
                gtk_menu_popup_at_widget(menu, GTK_WIDGET(sender), GDK_GRAVITY_SOUTH_WEST, GDK_GRAVITY_NORTH_WEST,
                                         nullptr);
            },
            "toolbar menu", true);
        break;
    case tbkSearch:
        ConnectSignal<void(GtkToolButton*)>(
            button, "clicked", [this](GtkToolButton* sender) { mnuSearchClick(sender); }, "search", true);
        break;
    case tbkPrint:
        if (!FPrintButton) FPrintButton = GTK_MENU_TOOL_BUTTON(button);
        [[fallthrough]];
    default:
        ConnectSignal<void(GtkToolButton*)>(
            button, "clicked", [this](GtkToolButton* sender) { ToolButtonClick(sender); }, "toolbar command", true);
        break;
    }
    return GTK_TOOL_ITEM(button);
}

void TfrmMain::AddBookmarks(const TToolButtonDefinition& definition) {
    // Every bookmarks button adds its items to the one list, so that each item's tag stays the
    // index of its own target.
    for (const TBookMarkDefinition& bookmark : definition.Bookmarks) {
        GtkWidget* item = gtk_menu_item_new_with_label(AnsiToUtf8(bookmark.Caption).c_str());
        gtk_widget_set_tooltip_text(item, AnsiToUtf8(bookmark.URL).c_str());
        SetComponentTag(item, static_cast<int>(FBookmarks.size()));
        ConnectSignal<void(GtkMenuItem*)>(
            item, "activate", [this](GtkMenuItem* sender) { BookMarkClick(sender); }, "bookmark", true);
        gtk_menu_shell_append(GTK_MENU_SHELL(popBookMarks), item);
        FBookmarks.emplace_back(bookmark.URL, bookmark.NewWindow);
    }
    gtk_widget_show_all(GTK_WIDGET(popBookMarks));
}

bool TfrmMain::WaitForReadyState() {
    // A view that has never loaded anything has nothing to wait for.
    // The events go on meanwhile; a window that closes during the wait ends it. A page that never
    // becomes ready (an engine that stalls) ends the wait too: the command then runs on the page
    // as it is, rather than leaving the reader with a toolbar that does nothing.
    TCommandHost host(*this);
    bool timedOut = false;
    const TScopedSource timer = TScopedSource::Timeout(
        ReadyStateWaitMs,
        [&timedOut] {
            timedOut = true;
            return false;
        },
        "command wait");
    try {
        for (int state; webMain && (state = host.ReadyState()) < READYSTATE_INTERACTIVE &&
                        state != READYSTATE_UNINITIALIZED;) {
            if (timedOut) {
                LogDebug("command waits no longer: the page is not ready after %d ms", ReadyStateWaitMs);
                break;
            }
            g_main_context_iteration(nullptr, TRUE);
        }
    } catch (const std::exception& e) {
        LogDebug("command not run: %s", e.what());
        return false;
    }
    return webMain != nullptr;
}

void TfrmMain::ToolButtonClick(GtkToolButton* sender) {
    if (!WaitForReadyState()) return;
    const int tag = sender ? ComponentTag(GTK_WIDGET(sender)) : -1;
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
            // The preview of the whole page; its sections print from the button's menu.
            LogDebug("print %s", webMain ? webMain->LocationURL().c_str() : "");
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

void TfrmMain::BookMarkClick(GtkMenuItem* sender) {
    const int tag = sender ? ComponentTag(GTK_WIDGET(sender)) : -1;
    if (tag < 0 || static_cast<size_t>(tag) >= FBookmarks.size()) return;
    const TBookMarkItem& bookmark = FBookmarks[static_cast<size_t>(tag)];
    LogDebug("bookmark %s%s", bookmark.URL.c_str(), bookmark.NewWindow ? " (new window)" : "");
    if (bookmark.NewWindow)
        ShellOpener().Open(bookmark.URL);
    else if (webMain)
        webMain->Navigate(BookmarkTarget(bookmark.URL, *webMain));
}

void TfrmMain::mnuFS_Click(GtkMenuItem* sender) {
    const int tag = sender ? ComponentTag(GTK_WIDGET(sender)) : -1;
    if (tag >= 0 && tag <= LargestFontSize) SetFontSize(tag);
}

void TfrmMain::SetFontSize(int level) {
    if (!webMain) return;
    LogDebug("font size %d", level);
    TCommandHost(*this).ExecWB(OLECMDID_ZOOM, level);
}

void TfrmMain::mnuSearchClick(GtkToolButton*) {
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
        PostIdle([this, kind] { ExecuteCommand(kind); }, "toolbar command");
        return true;
    };
    auto fontSize = [this](int level) {
        PostIdle([this, level] { SetFontSize(level); }, "font size");
        return true;
    };
    const int current = webMain ? webMain->ZoomLevel() : NormalFontSize;
    switch (key.keyval) {
    case GDK_KEY_f:
    case GDK_KEY_F:
        if (!ctrl || !HasButton(tbkSearch)) return false;
        PostIdle([this] { mnuSearchClick(nullptr); }, "search");
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
