#include "frm_UserForm.h"

#include "u_DebugLog.h"
#include "u_HostBridge.h"
#include "u_Text.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>

namespace {

const char* const UserFormKey = "tomevane-user-form";

} // namespace

TfrmUserForm::TfrmUserForm(THostWindow owner) : FWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL)), FOwner(std::move(owner)) {
    GtkWindow* window = Window();
    g_object_set_data(G_OBJECT(window), UserFormKey, this);
    gtk_window_set_title(window, "frmUserForm");
    gtk_window_set_default_size(window, FWidth, FHeight);
    gtk_window_move(window, FLeft, FTop);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);

    webUserForm = std::make_unique<TMXWebBrowser>();
    webUserForm->SetDownloadOptions({DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS});
    webUserForm->SetUserInterfaceOptions({});
    webUserForm->OnCloseQuery = [this](TMXWebBrowser* sender, bool& canClose) {
        webUserFormCloseQuery(sender, canClose);
    };
    webUserForm->OnGetExternal = [this](TComPtr<IUnknown>& external) {
        return webUserForm2GetExternal(external);
    };
    // Esc always closes the form, whatever its icons show and whatever its page does: a form
    // without a close box whose page is missing or whose script fails must not hold the reader.
    // Connected before the window's own handling, which hands keys to the page first.
    ConnectSignal<gboolean(GtkWidget*, GdkEventKey*)>(
        window, "key-press-event",
        [this](GtkWidget*, GdkEventKey* event) -> gboolean {
            if (event->keyval != GDK_KEY_Escape) return FALSE;
            LogDebug("Esc: closing the user form");
            Close();
            return TRUE;
        },
        "user form");
    ConnectSignal<gboolean(GtkWidget*, GdkEventAny*)>(
        window, "delete-event", [this](GtkWidget*, GdkEventAny* event) -> gboolean { return on_delete_event(event); },
        "user form");
    // Read before the window's own handling, which ends the signal.
    ConnectSignal<gboolean(GtkWidget*, GdkEventConfigure*)>(
        window, "configure-event",
        [this](GtkWidget*, GdkEventConfigure* event) -> gboolean { return on_configure_event(event); },
        "user form");
    // The window functions need the window system's window: applied once it exists.
    ConnectSignal<void(GtkWidget*)>(window, "realize", [this](GtkWidget*) { ApplyWindowFunctions(); }, "user form",
                                    true);
    InstallHostScript(*webUserForm);
    GtkWidget* view = webUserForm->Widget();
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show(view);
}

TfrmUserForm::~TfrmUserForm() {
    FOwnerHidden.Disconnect();
    if (FLoop && g_main_loop_is_running(FLoop.get())) g_main_loop_quit(FLoop.get());
    g_object_set_data(G_OBJECT(Window()), UserFormKey, nullptr);
    if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(Window())))
        gtk_container_remove(GTK_CONTAINER(Window()), child);
    webUserForm.reset();
}

TfrmUserForm* TfrmUserForm::FromWindow(GtkWindow* window) {
    return window ? static_cast<TfrmUserForm*>(g_object_get_data(G_OBJECT(window), UserFormKey)) : nullptr;
}

void TfrmUserForm::DecorationSize(int& width, int& height) const {
    width = height = 0;
    GdkWindow* window = gtk_widget_get_window(FWindow.Widget());
    if (!window) return;
    GdkRectangle frame;
    gdk_window_get_frame_extents(window, &frame);
    width = std::max(0, frame.width - gdk_window_get_width(window));
    height = std::max(0, frame.height - gdk_window_get_height(window));
}

void TfrmUserForm::SetLeft(int value) {
    FLeft = value;
    gtk_window_move(Window(), FLeft, FTop);
}

void TfrmUserForm::SetTop(int value) {
    FTop = value;
    gtk_window_move(Window(), FLeft, FTop);
}

void TfrmUserForm::SetWidth(int value) {
    FWidth = value;
    int dw, dh;
    DecorationSize(dw, dh);
    // The window system knows no empty window: the smallest it takes is one pixel.
    const int width = std::max(1, FWidth - dw);
    const int height = std::max(1, FHeight - dh);
    gtk_window_set_default_size(Window(), width, height);
    gtk_window_resize(Window(), width, height);
}

void TfrmUserForm::SetHeight(int value) {
    FHeight = value;
    SetWidth(FWidth);
}

void TfrmUserForm::SetBorderStyle(TFormBorderStyle value) {
    FBorderStyle = value;
    gtk_window_set_decorated(Window(), value != TFormBorderStyle::bsNone);
    gtk_window_set_resizable(Window(), value == TFormBorderStyle::bsSizeable);
    ApplyWindowFunctions();
}

void TfrmUserForm::SetBorderIcons(TBorderIcons value) {
    FBorderIcons = value;
    gtk_window_set_deletable(Window(), (value & biSystemMenu) != 0);
    ApplyWindowFunctions();
}

void TfrmUserForm::ApplyWindowFunctions() {
    GdkWindow* window = gtk_widget_get_window(FWindow.Widget());
    if (!window) return; // applied again when the window is realized
    int functions = GDK_FUNC_MOVE;
    int decorations = 0;
    if (FBorderStyle != TFormBorderStyle::bsNone) decorations |= GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    if (FBorderStyle == TFormBorderStyle::bsSizeable) {
        functions |= GDK_FUNC_RESIZE;
        decorations |= GDK_DECOR_RESIZEH;
    }
    if (FBorderIcons & biSystemMenu) {
        functions |= GDK_FUNC_CLOSE;
        decorations |= GDK_DECOR_MENU;
    }
    if (FBorderIcons & biMinimize) {
        functions |= GDK_FUNC_MINIMIZE;
        decorations |= GDK_DECOR_MINIMIZE;
    }
    if (FBorderIcons & biMaximize) {
        functions |= GDK_FUNC_MAXIMIZE;
        decorations |= GDK_DECOR_MAXIMIZE;
    }
    gdk_window_set_functions(window, static_cast<GdkWMFunction>(functions));
    gdk_window_set_decorations(window, static_cast<GdkWMDecoration>(decorations));
}

std::string TfrmUserForm::Caption() const {
    const char* title = gtk_window_get_title(Window());
    return Utf8ToAnsi(title ? title : "");
}

void TfrmUserForm::SetCaption(const std::string& value) {
    gtk_window_set_title(Window(), AnsiToUtf8(value).c_str());
}

void TfrmUserForm::SetCenter(bool value) {
    FCenter = value;
    gtk_window_set_position(Window(), value ? GTK_WIN_POS_CENTER_ALWAYS : GTK_WIN_POS_NONE);
}

bool TfrmUserForm::on_configure_event(GdkEventConfigure*) {
    if (GdkWindow* window = gtk_widget_get_window(FWindow.Widget())) {
        GdkRectangle frame;
        gdk_window_get_frame_extents(window, &frame);
        FLeft = frame.x;
        FTop = frame.y;
        FWidth = frame.width;
        FHeight = frame.height;
    }
    return false; // the window's own handling follows
}

int TfrmUserForm::ShowModal() {
    FModalResult = mrNone;
    GtkWindow* owner = OwnerWindow();
    if (owner && gtk_widget_get_visible(GTK_WIDGET(owner))) {
        gtk_window_set_transient_for(Window(), owner);
        // The book is closing: its forms go with it.
        FOwnerHidden = TSignalConnection::Connect<void(GtkWidget*)>(
            owner, "hide", [this](GtkWidget*) { SetModalResult(mrCancel); }, "user form");
    }
    gtk_window_set_modal(Window(), TRUE);
    gtk_widget_show(FWindow.Widget());
    LogDebug("user form shown: %s", Caption().c_str());
    if (FModalResult == mrNone) {
        FLoop.reset(g_main_loop_new(nullptr, FALSE));
        g_main_loop_run(FLoop.get());
        FLoop.reset();
    }
    FOwnerHidden.Disconnect();
    gtk_widget_hide(FWindow.Widget());
    LogDebug("user form closed: %s", Caption().c_str());
    return FModalResult;
}

void TfrmUserForm::SetModalResult(int value) {
    FModalResult = value;
    if (value != mrNone && FLoop && g_main_loop_is_running(FLoop.get())) g_main_loop_quit(FLoop.get());
}

bool TfrmUserForm::on_delete_event(GdkEventAny*) {
    SetModalResult(mrCancel);
    return true; // hidden and freed by the one who showed it
}

HRESULT TfrmUserForm::webUserForm2GetExternal(TComPtr<IUnknown>& external) {
    IHostWindow* main = LinkedWindow(FOwner);
    return main ? main->webMain2GetExternal(external) : S_FALSE;
}

void TfrmUserForm::webUserFormCloseQuery(TMXWebBrowser*, bool& canClose) {
    canClose = true;
    Close();
}

GtkWindow* TfrmUserForm::OwnerWindow() const {
    IHostWindow* main = LinkedWindow(FOwner);
    return main ? main->Window() : nullptr;
}
