// A real WebKit web view in an offscreen window for integration tests, with loads and script
// evaluations that pump the main loop until they complete or a timeout passes.
#pragma once

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

// Pumps the default main context until done() is true or timeoutMs passed; false on timeout.
template <class F> bool PumpUntil(F done, int timeoutMs = 20000) {
    bool timedOut = false;
    const guint timer = g_timeout_add(
        static_cast<guint>(timeoutMs),
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &timedOut);
    while (!done() && !timedOut)
        g_main_context_iteration(nullptr, TRUE);
    if (!timedOut) g_source_remove(timer);
    return done();
}
