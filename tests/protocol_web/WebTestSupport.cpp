#include "WebTestSupport.h"

#include "u_UrlMon.h"
#include "u_WebURLSession.h"

#include <gtest/gtest.h>

TTestWebView::TTestWebView() {
    FWindow = gtk_offscreen_window_new();
    gtk_window_set_default_size(GTK_WINDOW(FWindow), 800, 600);
    FView = WEBKIT_WEB_VIEW(webkit_web_view_new());
    WebKitSettings* settings = webkit_web_view_get_settings(FView);
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    gtk_container_add(GTK_CONTAINER(FWindow), GTK_WIDGET(FView));
    g_signal_connect(FView, "load-changed", G_CALLBACK(&TTestWebView::OnLoadChanged), this);
    g_signal_connect(FView, "load-failed", G_CALLBACK(&TTestWebView::OnLoadFailed), this);
    gtk_widget_show_all(FWindow);
}

TTestWebView::~TTestWebView() {
    g_signal_handlers_disconnect_by_data(FView, this);
    gtk_widget_destroy(FWindow);
}

void TTestWebView::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    if (event == WEBKIT_LOAD_FINISHED) static_cast<TTestWebView*>(self)->FLoadDone = true;
}

gboolean TTestWebView::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error, gpointer self) {
    auto* view = static_cast<TTestWebView*>(self);
    view->FLoadFailed = true;
    view->LastError = error ? error->message : "load failed";
    return FALSE; // load-changed FINISHED follows
}

bool TTestWebView::WaitForLoad() {
    if (!PumpUntil([this] { return FLoadDone; })) {
        LastError = "timed out";
        return false;
    }
    return !FLoadFailed;
}

bool TTestWebView::Load(const std::string& uri) {
    FLoadDone = FLoadFailed = false;
    LastError.clear();
    webkit_web_view_load_uri(FView, uri.c_str());
    return WaitForLoad();
}

bool TTestWebView::Navigate(const std::string& script) {
    FLoadDone = FLoadFailed = false;
    LastError.clear();
    Evaluate(script + "; 0");
    return WaitForLoad();
}

std::string TTestWebView::Evaluate(const std::string& script) {
    struct TState {
        bool Done = false;
        std::string Result;
        std::string Error;
    } state;
    webkit_web_view_evaluate_javascript(
        FView, script.c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* view, GAsyncResult* result, gpointer data) {
            auto* s = static_cast<TState*>(data);
            GError* error = nullptr;
            if (JSCValue* value =
                    webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error)) {
                gchar* text = jsc_value_to_string(value);
                s->Result = text ? text : "";
                g_free(text);
                g_object_unref(value);
            } else {
                s->Error = error ? error->message : "script failed";
                g_clear_error(&error);
            }
            s->Done = true;
        },
        &state);
    EXPECT_TRUE(PumpUntil([&] { return state.Done; })) << "script timed out: " << script;
    EXPECT_EQ(state.Error, "") << script;
    return state.Result;
}

std::string TTestWebView::Uri() const {
    const char* uri = webkit_web_view_get_uri(FView);
    return uri ? uri : "";
}
