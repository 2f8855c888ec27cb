#include "frm_Splash.h"

#include "u_BookReader.h"
#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_MFS.h"
#include "u_Pictures.h"
#include "u_SysUtils.h"

#include <gdkmm/display.h>
#include <gdkmm/monitor.h>
#include <glibmm/main.h>

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

TfrmSplash::TfrmSplash() {
    set_title("frmSplash");
    set_decorated(false);
    set_keep_above(true);
    set_resizable(false);
    set_skip_taskbar_hint(true);
    set_type_hint(Gdk::WINDOW_TYPE_HINT_SPLASHSCREEN);
    set_position(Gtk::WIN_POS_CENTER);
    evtSplash.add(imgSplash);
    add(evtSplash);
    evtSplash.add_events(Gdk::BUTTON_PRESS_MASK);
    evtSplash.signal_button_press_event().connect(Guarded("splash", [this](GdkEventButton* event) { return FormClick(event); }));
    evtSplash.show_all();
}

TfrmSplash::~TfrmSplash() {
    FTimer.disconnect();
}

void TfrmSplash::LoadPicture(TMFSFile* file, int seconds, bool closeOnClick) {
    try {
        seconds = std::clamp(seconds, 0, 10);
        FInterval = static_cast<unsigned>(seconds) * 1000;
        CloseOnClick = closeOnClick;
        if (!IsPictureFileName(file->Name)) return;
        imgSplash.set(Glib::wrap(ReadPictureFile(*file).release()));
        auto picture = imgSplash.get_pixbuf();
        resize(picture->get_width(), picture->get_height());
        // Centre on the monitor the window will appear on (the primary one).
        if (auto monitor = Gdk::Display::get_default()->get_primary_monitor()) {
            Gdk::Rectangle area;
            monitor->get_geometry(area);
            move(area.get_x() + (area.get_width() - picture->get_width()) / 2,
                 area.get_y() + (area.get_height() - picture->get_height()) / 2);
        }
        Loaded = true;
        // A zero period would never fire: such a picture does not wait, so Finish closes it.
        if (FInterval > 0)
            FTimer =
                Glib::signal_timeout().connect(Guarded("splash", [this] { return tmrSplashTimer(); }), FInterval);
    } catch (...) {
        LogDebug("splash picture %s not shown: %s", file ? file->Name.c_str() : "",
                 ExceptionMessageText().c_str());
    }
}

void TfrmSplash::Finish() {
    if (FTimer.connected())
        CloseOnTimer = true;
    else
        Release();
}

bool TfrmSplash::tmrSplashTimer() {
    FTimer.disconnect();
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
    FTimer.disconnect();
    hide();
    SplashDone = true;
    LogDebug("splash released");
    // Destroyed from the main loop, as a window may be releasing itself from its own handler.
    Glib::signal_idle().connect_once([this] { DestroyReleased(this); });
}

void RaiseSplashes() {
    // Without a window manager nothing keeps a window above the others: the window mapped last
    // is on top. Raising the visible splash windows puts them back over it.
    for (const auto& window : SplashWindows())
        if (window->get_visible() && window->get_window()) window->get_window()->raise();
}

int LiveSplashCount() {
    return static_cast<int>(SplashWindows().size());
}

TfrmSplash* ShownSplash() {
    TfrmSplash* shown = nullptr;
    for (const auto& window : SplashWindows())
        if (window->get_visible()) shown = window.get();
    return shown;
}

void ReleaseAllSplashes() {
    SplashWindows().clear();
}
