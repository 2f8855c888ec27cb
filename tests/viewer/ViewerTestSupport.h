// Test books packed by the book packer into a file the main window reads its resources from,
// message boxes and shell calls recorded instead of shown, and main-loop pumping with a timeout.
#pragma once

#include "PumpUntil.h"
#include "u_Dialogs.h"
#include "u_Shell.h"
#include "u_WindowOwner.h"

#include <gdk/gdk.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A book folder (system/ and pages/) in a fresh temporary folder, packed on demand.
class TTestBook {
  public:
    TTestBook();
    TTestBook(const TTestBook&) = delete;
    TTestBook& operator=(const TTestBook&) = delete;
    ~TTestBook();

    // Writes a file of the book, path relative to the book folder ("system/System.xml").
    void Add(const std::string& path, const std::string& content);
    void Remove(const std::string& path);
    // A small book of three pages: p1 (links to p3), p2 (right-click forbidden), p3; the
    // variables TITLE and VIEWER; systemAttributes and systemChildren go into System.xml.
    void AddStandardBook(const std::string& systemAttributes = "", const std::string& systemChildren = "");
    // Packs the book with the packer's own steps; returns the packed executable's path.
    std::string Pack();

    std::filesystem::path Folder;
};

// Records message boxes and shell opens while it lives.
class TRecorder {
  public:
    TRecorder();
    ~TRecorder();
    struct TBox {
        TMessageKind Kind;
        std::string Text;
    };
    std::vector<TBox> Boxes;
    std::vector<std::string> Opened;

  private:
    TMessageBoxHook FPreviousHook;
};

// Collects the lines of the program's debug log while it lives (TOMEVANE_TEST_ECHO=1 also prints
// them, to follow a failing test).
class TLogCapture {
  public:
    TLogCapture();
    ~TLogCapture();
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;
    // Whether a line holds text.
    bool Has(const std::string& text) const;
    // Whether a line is exactly line.
    bool HasLine(const std::string& line) const;
    std::vector<std::string> Lines;

  private:
    guint FHandler;
};

class TMXWebBrowser;

// Waits until browser (a window's page view, which may go while waiting) shows url completely.
::testing::AssertionResult WaitForPage(const std::unique_ptr<TMXWebBrowser>& browser, const std::string& url);
// Waits until browser shows url completely.
::testing::AssertionResult WaitForPage(TMXWebBrowser& browser, const std::string& url);

// A page view shown in a window of its own.
class TBrowserWindowFixture : public ::testing::Test {
  protected:
    TBrowserWindowFixture();
    ~TBrowserWindowFixture() override;
    void SetUp() override;
    void TearDown() override;

    TWindowOwner Window;
    std::unique_ptr<TMXWebBrowser> Browser;
};

class TfrmMain;

// A main window over the test book, with message boxes and shell opens recorded. The window goes
// before the book's folder does, and takes the splash windows with it.
class TMainWindowFixture : public ::testing::Test {
  protected:
    TMainWindowFixture();
    ~TMainWindowFixture() override;
    // Creates the window over the packed book and shows it.
    TfrmMain& Open();
    // Waits until the window shows url completely.
    ::testing::AssertionResult WaitForPage(const std::string& url);
    void TearDown() override;

    TRecorder Recorder;
    TTestBook Book;
    std::unique_ptr<TfrmMain> Window;
};

// Pumps for a while whatever happens (to let something that must not happen show itself).
void PumpFor(int milliseconds);

// The window of class T (a form with a static FromWindow) that is on the screen, or nullptr.
// Whether the main window is on the screen.
bool Shown(const TfrmMain& window);
// A widget's tooltip, empty when it has none.
std::string TooltipText(gpointer widget);
// The clipboard's text, empty when it holds none.
std::string ClipboardText(GtkClipboard* clipboard);

template <class T> T* VisibleWindow() {
    T* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w && !found; w = w->next)
        if (gtk_widget_get_visible(GTK_WIDGET(w->data))) found = T::FromWindow(GTK_WINDOW(w->data));
    g_list_free(windows);
    return found;
}

typedef struct _WebKitWebView WebKitWebView;

// Input for a page view put into GDK's queue as the X server would deliver it, so that it passes
// the application's key filter and GTK's dispatch like real input. Takes the event over.
void PutInputEvent(WebKitWebView* view, GdkEvent* event, bool keyboard);
void PutInputEvent(GdkWindow* window, GdkEvent* event, bool keyboard);
// Puts a key's press and release for window into the queue (with the keycode the keymap gives it).
void PutKey(GdkWindow* window, guint keyval, GdkModifierType modifiers = GdkModifierType(0));
// Presses and releases a key (with the keycode the keymap gives it), then pumps a while.
void PressKey(WebKitWebView* view, guint keyval, GdkModifierType modifiers = GdkModifierType(0));
// Presses and releases the right mouse button at (x, y) of the view.
void RightClick(WebKitWebView* view, double x, double y);

// A bitmap (BMP bytes) of the given size in one colour.
std::string MakeBitmap(int width, int height, const char* format = "bmp");
