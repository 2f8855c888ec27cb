// The application-wide key filter: it sees every event of every window before GTK dispatches it.
// Esc closes the main window or the print window, whichever has the key (a user form closes on
// its own Esc); Ctrl+C on a page whose story entry forbids right-click empties the clipboard and
// never reaches the browser, so nothing is copied there. While a modal window runs, keys meant for
// the windows under it do nothing. The shortcuts of the toolbar's buttons (Ctrl+F, Alt+Left/Right,
// Ctrl+plus/minus/0) work in the main window when the book's toolbar has the button.
#include "frm_Main.h"

#include "frm_Print.h"
#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_Story.h"

#include <gdk/gdkkeysyms.h>

namespace {

// Whether the last key pressed before this one was Ctrl (a unit flag: one filter per process).
bool LastKeyWasCtrl = false;

// The print window whose toplevel GDK window this is, if it is one.
TfrmPrint* PrintWindowOf(GdkWindow* toplevel) {
    gpointer widget = nullptr;
    if (toplevel) gdk_window_get_user_data(toplevel, &widget);
    if (!widget) return nullptr;
    return GTK_IS_WINDOW(widget) ? TfrmPrint::FromWindow(GTK_WINDOW(widget)) : nullptr;
}

} // namespace

void TfrmMain::EventHook(GdkEvent* event, gpointer self) {
    // A C callback of GDK: nothing may unwind through it.
    const bool handled =
        GuardedCall("key filter", [&] { return static_cast<TfrmMain*>(self)->ApplicationEvents1Message(event); });
    if (!handled) gtk_main_do_event(event);
}

bool TfrmMain::ApplicationEvents1Message(GdkEvent* event) {
    if (event->type == GDK_OWNER_CHANGE) {
        // Text selected on a page whose story entry forbids copying would otherwise be pasted
        // elsewhere with a middle click: the selection this program took is given up at once.
        // The event still goes on, so that GTK's clipboard learns of the change.
        const GdkEventOwnerChange& change = event->owner_change;
        gpointer ownerWidget = nullptr;
        if (change.owner) gdk_window_get_user_data(change.owner, &ownerWidget);
        if (change.selection == GDK_SELECTION_PRIMARY && ownerWidget && FStory && FStory->RightClickDisabled()) {
            gtk_clipboard_clear(gtk_clipboard_get(GDK_SELECTION_PRIMARY));
            LogDebug("selection refused on %s", GetCurrentPage().c_str());
        }
        return false;
    }
    if (event->type != GDK_KEY_PRESS) return false;
    const guint key = event->key.keyval;
    bool handled = false;
    GdkWindow* target = event->key.window ? gdk_window_get_toplevel(event->key.window) : nullptr;
    // While a modal window runs (a user form, the search or print window, a message box) the
    // windows under it take no keys: a key meant for one of them is dropped here, before it could
    // act on the main window or reach GTK, which would hand it to the modal window instead.
    GtkWidget* grab = gtk_grab_get_current();
    GdkWindow* modal = grab ? gtk_widget_get_window(gtk_widget_get_toplevel(grab)) : nullptr;
    const bool underModal = modal && target != modal;
    GdkWindow* own = gtk_widget_get_window(GTK_WIDGET(Window()));
    const bool mainWindow = !underModal && target && own && target == own;
    // Every Ctrl+C and Ctrl+Insert counts, also C pressed again while Ctrl is still held (only the
    // first C follows the Ctrl key's own press).
    const bool ctrl = LastKeyWasCtrl || (event->key.state & GDK_CONTROL_MASK) != 0;
    const bool copyKey = key == GDK_KEY_c || key == GDK_KEY_C || key == GDK_KEY_Insert || key == GDK_KEY_KP_Insert;
    if (underModal) {
        handled = true;
    } else if (key == GDK_KEY_Escape) {
        if (mainWindow) {
            LogDebug("Esc: closing the main window");
            gtk_window_close(Window());
            handled = true;
        } else if (TfrmPrint* print = PrintWindowOf(target)) {
            LogDebug("Esc: closing the print window");
            print->Close();
            handled = true;
        }
    } else if (copyKey && ctrl && FStory && FStory->RightClickDisabled()) {
        GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
        gtk_clipboard_set_text(clipboard, "", 0);
        gtk_clipboard_clear(clipboard);
        LogDebug("copy refused on %s", GetCurrentPage().c_str());
        handled = true;
    } else if (mainWindow && ToolbarShortcut(event->key)) {
        handled = true;
    }
    LastKeyWasCtrl = key == GDK_KEY_Control_L || key == GDK_KEY_Control_R;
    return handled;
}
