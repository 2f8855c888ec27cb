#include "u_Dialogs.h"

#include "u_DebugLog.h"
#include "u_Text.h"

#include <gtkmm/messagedialog.h>

namespace {

TMessageBoxHook& Hook() {
    static TMessageBoxHook hook;
    return hook;
}

Gtk::Window*& Owner() {
    static Gtk::Window* owner = nullptr;
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

void SetMessageBoxOwner(Gtk::Window* owner) {
    Owner() = owner;
}

Gtk::Window* MessageBoxOwner() {
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
    Gtk::MessageDialog dialog(AnsiToUtf8(text), false,
                              kind == TMessageKind::Error         ? Gtk::MESSAGE_ERROR
                              : kind == TMessageKind::Information ? Gtk::MESSAGE_INFO
                                                                  : Gtk::MESSAGE_OTHER,
                              Gtk::BUTTONS_OK, true);
    dialog.set_title(AnsiToUtf8(ApplicationTitle()));
    Gtk::Window* owner = Owner();
    if (owner) dialog.set_transient_for(*owner);
    dialog.set_position(owner && owner->get_visible() ? Gtk::WIN_POS_CENTER_ON_PARENT : Gtk::WIN_POS_CENTER);
    dialog.run();
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
    std::swap(Hook(), hook);
    return hook;
}
