#include "frm_UserForm.h"

#include "frm_Main.h"
#include "u_DebugLog.h"
#include "u_Text.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>

TfrmUserForm::TfrmUserForm() {
    set_title("frmUserForm");
    set_default_size(FWidth, FHeight);
    move(FLeft, FTop);
    set_resizable(false);
    set_type_hint(Gdk::WINDOW_TYPE_HINT_DIALOG);

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
    signal_key_press_event().connect(
        [this](GdkEventKey* event) {
            if (event->keyval != GDK_KEY_Escape) return false;
            LogDebug("Esc: closing the user form");
            Close();
            return true;
        },
        false);
    webUserForm->InstallHostScript();
    add(*Glib::wrap(webUserForm->Widget()));
    gtk_widget_show(webUserForm->Widget());
}

TfrmUserForm::~TfrmUserForm() {
    FOwnerHidden.disconnect();
    if (FLoop && FLoop->is_running()) FLoop->quit();
    remove();
    webUserForm.reset();
}

void TfrmUserForm::DecorationSize(int& width, int& height) const {
    width = height = 0;
    Glib::RefPtr<const Gdk::Window> window = get_window();
    if (!window) return;
    GdkRectangle frame;
    gdk_window_get_frame_extents(const_cast<GdkWindow*>(window->gobj()), &frame);
    width = std::max(0, frame.width - window->get_width());
    height = std::max(0, frame.height - window->get_height());
}

void TfrmUserForm::SetLeft(int value) {
    FLeft = value;
    move(FLeft, FTop);
}

void TfrmUserForm::SetTop(int value) {
    FTop = value;
    move(FLeft, FTop);
}

void TfrmUserForm::SetWidth(int value) {
    FWidth = value;
    int dw, dh;
    DecorationSize(dw, dh);
    // The window system knows no empty window: the smallest it takes is one pixel.
    const int width = std::max(1, FWidth - dw);
    const int height = std::max(1, FHeight - dh);
    set_default_size(width, height);
    resize(width, height);
}

void TfrmUserForm::SetHeight(int value) {
    FHeight = value;
    SetWidth(FWidth);
}

void TfrmUserForm::SetBorderStyle(TFormBorderStyle value) {
    FBorderStyle = value;
    set_decorated(value != TFormBorderStyle::bsNone);
    set_resizable(value == TFormBorderStyle::bsSizeable);
    ApplyWindowFunctions();
}

void TfrmUserForm::SetBorderIcons(TBorderIcons value) {
    FBorderIcons = value;
    set_deletable((value & biSystemMenu) != 0);
    ApplyWindowFunctions();
}

void TfrmUserForm::ApplyWindowFunctions() {
    Glib::RefPtr<Gdk::Window> window = get_window();
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
    gdk_window_set_functions(window->gobj(), static_cast<GdkWMFunction>(functions));
    gdk_window_set_decorations(window->gobj(), static_cast<GdkWMDecoration>(decorations));
}

void TfrmUserForm::on_realize() {
    Gtk::Window::on_realize();
    ApplyWindowFunctions();
}

std::string TfrmUserForm::Caption() const {
    return Utf8ToAnsi(get_title().raw());
}

void TfrmUserForm::SetCaption(const std::string& value) {
    set_title(AnsiToUtf8(value));
}

void TfrmUserForm::SetCenter(bool value) {
    FCenter = value;
    set_position(value ? Gtk::WIN_POS_CENTER_ALWAYS : Gtk::WIN_POS_NONE);
}

bool TfrmUserForm::on_configure_event(GdkEventConfigure* event) {
    const bool result = Gtk::Window::on_configure_event(event);
    if (Glib::RefPtr<Gdk::Window> window = get_window()) {
        GdkRectangle frame;
        gdk_window_get_frame_extents(window->gobj(), &frame);
        FLeft = frame.x;
        FTop = frame.y;
        FWidth = frame.width;
        FHeight = frame.height;
    }
    return result;
}

int TfrmUserForm::ShowModal() {
    FModalResult = mrNone;
    if (frmMain && frmMain->get_visible()) {
        set_transient_for(*frmMain);
        // The book is closing: its forms go with it.
        FOwnerHidden = frmMain->signal_hide().connect([this] { SetModalResult(mrCancel); });
    }
    set_modal(true);
    show();
    LogDebug("user form shown: %s", Caption().c_str());
    if (FModalResult == mrNone) {
        FLoop = Glib::MainLoop::create();
        FLoop->run();
        FLoop.reset();
    }
    FOwnerHidden.disconnect();
    hide();
    LogDebug("user form closed: %s", Caption().c_str());
    return FModalResult;
}

void TfrmUserForm::SetModalResult(int value) {
    FModalResult = value;
    if (value != mrNone && FLoop && FLoop->is_running()) FLoop->quit();
}

bool TfrmUserForm::on_delete_event(GdkEventAny*) {
    SetModalResult(mrCancel);
    return true; // hidden and freed by the one who showed it
}

HRESULT TfrmUserForm::webUserForm2GetExternal(TComPtr<IUnknown>& external) {
    if (!frmMain) return S_FALSE;
    return frmMain->webMain2GetExternal(external);
}

void TfrmUserForm::webUserFormCloseQuery(TMXWebBrowser*, bool& canClose) {
    canClose = true;
    Close();
}
