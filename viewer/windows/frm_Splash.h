// The splash picture window: a borderless, centred, always-on-top window showing one picture of
// the system archive for a number of seconds, or until it is clicked when the book allows that.
//
// A splash window owns itself: it is created by ShowSplash, hands itself to the application's
// list of splash windows, and leaves that list (and is destroyed) when it is released. SplashDone
// is set whenever one is released; the closing splash waits for its own window's release.
#pragma once

#include "u_GObject.h"
#include "u_WindowOwner.h"

#include <gtk/gtk.h>

#include <memory>

class TMFSFile;

// Set when a splash window has been released. ShowSplash resets it on entry.
extern bool SplashDone;

class TfrmSplash {
  public:
    // A new window, unloaded and hidden, owned by the application's splash list.
    static TfrmSplash* Create();
    TfrmSplash(const TfrmSplash&) = delete;
    TfrmSplash& operator=(const TfrmSplash&) = delete;
    ~TfrmSplash();

    GtkWindow* Window() const { return FWindow.Window(); }
    // The splash object of window, when it is a splash window.
    static TfrmSplash* FromWindow(GtkWindow* window);
    // Puts the window on screen.
    void Show();

    // Reads the picture of file by its extension, sizes and centres the window on it and starts
    // the timer: seconds are clamped to 0 ... 10; with 0 the window does not wait (Finish closes
    // it at once). A missing reader or an unreadable picture leaves the window unloaded, silently.
    void LoadPicture(TMFSFile* file, int seconds, bool closeOnClick);
    // Closes the window now, or when its timer fires if it is still running.
    void Finish();
    // Hides the window and destroys it from the main loop; sets SplashDone. Safe to call twice.
    void Release();
    // True once this window has been released. The flag outlives the window: whoever waits for
    // this one window (the closing splash) reads it rather than the window, which a click may
    // have released and the main loop destroyed meanwhile.
    std::shared_ptr<const bool> ReleasedFlag() const { return FReleased; }

    bool Loaded = false;       // a picture was loaded and the window is to be shown
    bool CloseOnTimer = false; // closing was requested while the timer still ran
    bool CloseOnClick = false;

    // The timer's period in milliseconds and whether it runs.
    unsigned TimerInterval() const { return FInterval; }
    bool TimerEnabled() const { return FTimer.Active(); }
    // Handlers of the timer and of a click on the window or the picture.
    bool tmrSplashTimer();
    bool FormClick(GdkEventButton* event);

  private:
    TfrmSplash();

    TWindowOwner FWindow;

  public:
    // Made with the window, which owns them.
    GtkWidget* evtSplash = nullptr;
    GtkWidget* imgSplash = nullptr;

  private:
    TScopedSource FTimer;
    unsigned FInterval = 1500;
    std::shared_ptr<bool> FReleased = std::make_shared<bool>(false);
};

// Puts the splash windows on screen above every other window of the program; the main window
// calls it when it appears, so that the opening splash is seen over it.
void RaiseSplashes();
// Splash windows still alive (shown or waiting for release).
int LiveSplashCount();
// Destroys every splash window at once; the program does so when its main loop has ended.
void ReleaseAllSplashes();
