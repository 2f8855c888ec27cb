// A real WebKit web view in an offscreen window for integration tests, with loads and script
// evaluations that pump the main loop until they complete or a timeout passes.
#pragma once

#include "PumpUntil.h"

#include <webkit2/webkit2.h>

#include <string>

class TTestWebView {
  public:
    TTestWebView();
    TTestWebView(const TTestWebView&) = delete;
    TTestWebView& operator=(const TTestWebView&) = delete;
    ~TTestWebView();

    // Loads uri and waits for the load to finish. False when it failed or timed out; the failure's
    // text is in LastError.
    bool Load(const std::string& uri);
    // Runs script, which may start a navigation, and waits for that navigation to finish.
    bool Navigate(const std::string& script);
    // The value of a script expression as text ("" and a failed test when it cannot run).
    std::string Evaluate(const std::string& script);
    std::string Uri() const;

    WebKitWebView* View() const { return FView; }
    std::string LastError;

  private:
    bool WaitForLoad();
    static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self);

    GtkWidget* FWindow;
    WebKitWebView* FView;
    bool FLoadDone = false;
    bool FLoadFailed = false;
};
