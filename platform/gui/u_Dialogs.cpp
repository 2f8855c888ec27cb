#include "u_Dialogs.h"

#include "u_DebugLog.h"
#include "u_Text.h"
#include "u_WindowOwner.h"

#include <gtk/gtk.h>

namespace {

TMessageBoxHook& Hook() {
    static TMessageBoxHook hook;
    return hook;
}

GtkWindow*& Owner() {
    static GtkWindow* owner = nullptr;
    return owner;
}

std::string& Title() {
    static std::string title = g_get_prgname() ? g_get_prgname() : "";
    return title;
}

} // namespace

const std::string& ApplicationTitle() {
    return Title();
}

void SetApplicationTitle(const std::string& title) {
    Title() = title;
}

void SetMessageBoxOwner(GtkWindow* owner) {
    Owner() = owner;
}

GtkWindow* MessageBoxOwner() {
    return Owner();
}

void ShowMessageBox(TMessageKind kind, const std::string& text) {
    LogDebug("%s box: %s",
             kind == TMessageKind::Error         ? "error"
             : kind == TMessageKind::Information ? "information"
                                                 : "message",
             text.c_str());
    if (Hook()) {
        Hook()(kind, text);
        return;
    }
    GtkWindow* owner = Owner();
    TWindowOwner dialog(gtk_message_dialog_new(owner, GTK_DIALOG_MODAL,
                                               kind == TMessageKind::Error         ? GTK_MESSAGE_ERROR
                                               : kind == TMessageKind::Information ? GTK_MESSAGE_INFO
                                                                                   : GTK_MESSAGE_OTHER,
                                               GTK_BUTTONS_OK, "%s", AnsiToUtf8(text).c_str()));
    gtk_window_set_title(dialog.Window(), AnsiToUtf8(ApplicationTitle()).c_str());
    gtk_window_set_position(dialog.Window(), owner && gtk_widget_get_visible(GTK_WIDGET(owner))
                                                 ? GTK_WIN_POS_CENTER_ON_PARENT
                                                 : GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(dialog.Widget()));
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
    std::swap(Hook(), hook);
    return hook;
}
