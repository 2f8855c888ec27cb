#include "frm_Splash.h"

#include "u_BookReader.h"
#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_MFS.h"
#include "u_Pictures.h"
#include "u_SysUtils.h"


#include <algorithm>
#include <list>
#include <memory>

bool SplashDone = false;

namespace {

// The application's splash windows: it owns them until each releases itself.
std::list<std::unique_ptr<TfrmSplash>>& SplashWindows() {
    static std::list<std::unique_ptr<TfrmSplash>> windows;
    return windows;
}

void DestroyReleased(TfrmSplash* window) {
    auto& windows = SplashWindows();
    windows.remove_if([window](const std::unique_ptr<TfrmSplash>& w) { return w.get() == window; });
}

} // namespace

TfrmSplash* TfrmSplash::Create() {
    auto& windows = SplashWindows();
    windows.push_back(std::unique_ptr<TfrmSplash>(new TfrmSplash));
    return windows.back().get();
}

namespace {
const char* const SplashKey = "tomevane-splash";
}

TfrmSplash::TfrmSplash() : FWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
    GtkWindow* window = Window();
    g_object_set_data(G_OBJECT(window), SplashKey, this);
    gtk_window_set_title(window, "frmSplash");
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_SPLASHSCREEN);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    evtSplash = gtk_event_box_new();
    imgSplash = gtk_image_new();
    gtk_container_add(GTK_CONTAINER(evtSplash), imgSplash);
    gtk_container_add(GTK_CONTAINER(window), evtSplash);
    gtk_widget_add_events(evtSplash, GDK_BUTTON_PRESS_MASK);
    ConnectSignal<gboolean(GtkWidget*, GdkEventButton*)>(
        evtSplash, "button-press-event",
        [this](GtkWidget*, GdkEventButton* event) -> gboolean { return FormClick(event); }, "splash");
    gtk_widget_show_all(evtSplash);
}

TfrmSplash::~TfrmSplash() {
    FTimer.Cancel();
    g_object_set_data(G_OBJECT(Window()), SplashKey, nullptr);
}

TfrmSplash* TfrmSplash::FromWindow(GtkWindow* window) {
    return window ? static_cast<TfrmSplash*>(g_object_get_data(G_OBJECT(window), SplashKey)) : nullptr;
}

void TfrmSplash::Show() {
    gtk_widget_show(FWindow.Widget());
}

void TfrmSplash::LoadPicture(TMFSFile* file, int seconds, bool closeOnClick) {
    try {
        seconds = std::clamp(seconds, 0, 10);
        FInterval = static_cast<unsigned>(seconds) * 1000;
        CloseOnClick = closeOnClick;
        if (!IsPictureFileName(file->Name)) return;
        const TPixbuf picture = ReadPictureFile(*file);
        gtk_image_set_from_pixbuf(GTK_IMAGE(imgSplash), picture.get());
        const int width = gdk_pixbuf_get_width(picture.get());
        const int height = gdk_pixbuf_get_height(picture.get());
        gtk_window_resize(Window(), width, height);
        // Centre on the monitor the window will appear on (the primary one).
        if (GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default())) {
            GdkRectangle area;
            gdk_monitor_get_geometry(monitor, &area);
            gtk_window_move(Window(), area.x + (area.width - width) / 2, area.y + (area.height - height) / 2);
        }
        Loaded = true;
        // A zero period would never fire: such a picture does not wait, so Finish closes it.
        if (FInterval > 0)
            FTimer = TScopedSource::Timeout(FInterval, [this] { return tmrSplashTimer(); }, "splash");
    } catch (...) {
        LogDebug("splash picture %s not shown: %s", file ? file->Name.c_str() : "",
                 ExceptionMessageText().c_str());
    }
}

void TfrmSplash::Finish() {
    if (FTimer.Active())
        CloseOnTimer = true;
    else
        Release();
}

bool TfrmSplash::tmrSplashTimer() {
    FTimer.Cancel();
    if (CloseOnTimer) Release();
    return false;
}

bool TfrmSplash::FormClick(GdkEventButton*) {
    if (!CloseOnClick) return false;
    Finish();
    tmrSplashTimer();
    return true;
}

void TfrmSplash::Release() {
    if (*FReleased) return;
    *FReleased = true;
    FTimer.Cancel();
    gtk_widget_hide(FWindow.Widget());
    SplashDone = true;
    LogDebug("splash released");
    // Destroyed from the main loop, as a window may be releasing itself from its own handler.
    PostIdle([this] { DestroyReleased(this); }, "splash");
}

void RaiseSplashes() {
    // Without a window manager nothing keeps a window above the others: the window mapped last
    // is on top. Raising the visible splash windows puts them back over it.
    for (const auto& splash : SplashWindows()) {
        GtkWidget* window = GTK_WIDGET(splash->Window());
        if (gtk_widget_get_visible(window) && gtk_widget_get_window(window))
            gdk_window_raise(gtk_widget_get_window(window));
    }
}

int LiveSplashCount() {
    return static_cast<int>(SplashWindows().size());
}

void ReleaseAllSplashes() {
    SplashWindows().clear();
}
