#include "u_MXWebBrowser.h"

#include "u_DebugLog.h"
#include "u_GObject.h"
#include "u_Text.h"
#include "u_WebURLSession.h"

#include <webkit2/webkit2.h>

#include <cstring>
#include <memory>
#include <utility>

namespace {

// Text sizes of the five zoom levels, from smallest to largest; level 2 is the page as written.
constexpr double ZoomFactors[] = {0.7, 0.85, 1.0, 1.15, 1.3};

// Hides the scroll bars without changing the page's layout otherwise.
constexpr const char* ScrollNoStyleSheet =
    "html, body { overflow: hidden !important; } ::-webkit-scrollbar { display: none !important; }";

std::string EngineUri(WebKitWebView* view) {
    const char* uri = webkit_web_view_get_uri(view);
    return uri ? uri : "";
}

std::string ValueText(JSCValue* value) {
    if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value)) return {};
    gchar* text = jsc_value_to_string(value);
    std::string result = text ? Utf8ToAnsi(text) : std::string();
    g_free(text);
    return result;
}

// Logs each sub-resource of a page when it has arrived or failed.
void WatchResource(WebKitWebResource* resource) {
    // The engine sends "finished" after "failed" too: a failed request is logged once, as failed.
    ConnectSignal<void(WebKitWebResource*)>(
        resource, "finished",
        [](WebKitWebResource* r) {
            if (g_object_get_data(G_OBJECT(r), "tomevane-failed")) return;
            WebKitURIResponse* response = webkit_web_resource_get_response(r);
            const guint status = response ? webkit_uri_response_get_status_code(response) : 0;
            const guint64 length = response ? webkit_uri_response_get_content_length(response) : 0;
            // The status as the engine has it: the book's schemes give 200 for a file served and
            // 404 for the error page of a missing one.
            LogDebug("request %s %u %llu", UrlFromEngine(webkit_web_resource_get_uri(r)).c_str(), status,
                     static_cast<unsigned long long>(length));
        },
        "page view");
    ConnectSignal<void(WebKitWebResource*, GError*)>(
        resource, "failed",
        [](WebKitWebResource* r, GError* error) {
            g_object_set_data(G_OBJECT(r), "tomevane-failed", GINT_TO_POINTER(1));
            LogDebug("request %s failed 0 (%s)", UrlFromEngine(webkit_web_resource_get_uri(r)).c_str(),
                     error ? error->message : "");
        },
        "page view");
}

} // namespace

uint32_t DownloadFlagsOf(const TDownloadControlOptions& options) {
    uint32_t flags = 0;
    for (TDownloadControlOption option : options)
        flags |= static_cast<uint32_t>(option);
    return flags;
}

uint32_t HostUIFlagsOf(const TUserInterfaceOptions& options) {
    uint32_t flags = 0;
    for (TUserInterfaceOption option : options)
        flags |= static_cast<uint32_t>(option);
    return flags;
}

TMXWebBrowser::TMXWebBrowser() {
    FWidget = TGObjectPtr<GtkWidget>::Ref(webkit_web_view_new());
    FView = WEBKIT_WEB_VIEW(FWidget.get());
    // The handlers that reach this object end with it (FConnections, cleared first thing in the
    // destructor); the resource log needs nothing of it and lives as long as the view.
    const char* where = "page view";
    FConnections.push_back(TSignalConnection::Connect<void(WebKitWebView*, WebKitLoadEvent)>(
        FView, "load-changed",
        [this](WebKitWebView* view, WebKitLoadEvent event) { OnLoadChanged(view, event); }, where));
    FConnections.push_back(TSignalConnection::Connect<gboolean(WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                                               WebKitHitTestResult*)>(
        FView, "context-menu",
        [this](WebKitWebView* view, WebKitContextMenu* menu, GdkEvent* event, WebKitHitTestResult* hit) {
            return OnContextMenu(view, menu, event, hit);
        },
        where));
    FConnections.push_back(TSignalConnection::Connect<void(WebKitWebView*)>(
        FView, "close", [this](WebKitWebView* view) { OnClose(view); }, where));
    FConnections.push_back(
        TSignalConnection::Connect<gboolean(WebKitWebView*, WebKitLoadEvent, gchar*, GError*)>(
            FView, "load-failed",
            [this](WebKitWebView* view, WebKitLoadEvent event, gchar* uri, GError* error) {
                return OnLoadFailed(view, event, uri, error);
            },
            where));
    ConnectSignal<void(WebKitWebView*, WebKitWebResource*, WebKitURIRequest*)>(
        FView, "resource-load-started",
        [](WebKitWebView*, WebKitWebResource* resource, WebKitURIRequest*) { WatchResource(resource); },
        where);
    FConnections.push_back(
        TSignalConnection::Connect<gboolean(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType)>(
            FView, "decide-policy",
            [this](WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
                return OnDecidePolicy(view, decision, type);
            },
            where));
    FConnections.push_back(TSignalConnection::Connect<GtkWidget*(WebKitWebView*, WebKitNavigationAction*)>(
        FView, "create",
        [this](WebKitWebView* view, WebKitNavigationAction* action) { return OnCreate(view, action); },
        where));
    for (const char* property : {"notify::uri", "notify::is-loading"})
        FConnections.push_back(TSignalConnection::Connect<void(WebKitWebView*, GParamSpec*)>(
            FView, property,
            [this](WebKitWebView* view, GParamSpec* property) { OnEngineStateChanged(view, property); },
            where));
    WebKitFindController* finder = webkit_web_view_get_find_controller(FView);
    FConnections.push_back(TSignalConnection::Connect<void(WebKitFindController*, guint)>(
        finder, "found-text",
        [this](WebKitFindController*, guint count) { FHighlightMatches = static_cast<int>(count); }, where));
    FConnections.push_back(TSignalConnection::Connect<void(WebKitFindController*)>(
        finder, "failed-to-find-text", [this](WebKitFindController*) { FHighlightMatches = 0; }, where));
    ApplyDefaultCharacterSet();
    SetDownloadOptions({DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS});
    SetUserInterfaceOptions({});
}

TMXWebBrowser::~TMXWebBrowser() {
    // Nothing the view or its find controller raises from here on reaches this object.
    FConnections.clear();
    webkit_web_view_stop_loading(FView);
    // Takes the view out of any container; FWidget then gives up this object's reference.
    gtk_widget_destroy(FWidget.get());
}

void TMXWebBrowser::SetDownloadOptions(const TDownloadControlOptions& value) {
    FDownloadOptions = value;
    FDownloadControlFlags = DownloadFlagsOf(value);
    // The engine reads the flags it can honour at once: scripts may be switched off.
    WebKitSettings* settings = webkit_web_view_get_settings(FView);
    webkit_settings_set_enable_javascript(settings, (FDownloadControlFlags & DLCTL_NO_SCRIPTS) == 0);
    webkit_settings_set_auto_load_images(settings, (FDownloadControlFlags & DLCTL_DLIMAGES) != 0);
}

void TMXWebBrowser::SetUserInterfaceOptions(const TUserInterfaceOptions& value) {
    FUserInterfaceOptions = value;
    FHostUIFlags = HostUIFlagsOf(value);
    ApplyUserInterfaceOptions();
}

void TMXWebBrowser::ApplyDefaultCharacterSet() {
    // WebKit's own default is Latin-1, which turns every accented letter of a UTF-8 book without a
    // declaration into two wrong ones, and with them the names of the files it links to.
    webkit_settings_set_default_charset(webkit_web_view_get_settings(FView), SystemCodePage().c_str());
}

void TMXWebBrowser::ApplyUserInterfaceOptions() {
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(FView);
    webkit_user_content_manager_remove_all_style_sheets(content);
    if (FHostUIFlags & static_cast<uint32_t>(TUserInterfaceOption::SCROLL_NO)) {
        WebKitUserStyleSheet* sheet =
            webkit_user_style_sheet_new(ScrollNoStyleSheet, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                        WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
        webkit_user_content_manager_add_style_sheet(content, sheet);
        webkit_user_style_sheet_unref(sheet);
    }
}

HRESULT TMXWebBrowser::ShowContextMenu(DWORD id, const TPoint& point, IUnknown* commandTarget,
                                       IUnknown* object) {
    if (OnShowContextMenu) return OnShowContextMenu(id, point, commandTarget, object);
    return S_FALSE;
}

HRESULT TMXWebBrowser::GetExternal(TComPtr<IUnknown>& external) {
    external.Reset();
    if (OnGetExternal) return OnGetExternal(external);
    return S_FALSE;
}

HRESULT TMXWebBrowser::InvokeAmbient(int32_t dispId, uint16_t flags, int32_t* result) const {
    if ((flags & DISPATCH_PROPERTYGET) && result && dispId == DISPID_AMBIENT_DLCONTROL) {
        *result = static_cast<int32_t>(FDownloadControlFlags);
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
}

bool TMXWebBrowser::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TMXWebBrowser::OnLoadChanged(WebKitWebView* view, int event) {
    switch (event) {
    case WEBKIT_LOAD_STARTED:
        FInLoad = true;
        FReadyState = READYSTATE_LOADING;
        FLoadFailed = false;
        ClearHighlight();
        break;
    case WEBKIT_LOAD_COMMITTED:
        FReadyState = READYSTATE_INTERACTIVE;
        FShownUri = EngineUri(view);
        LogDebug("NavigateComplete2 %s", UrlFromEngine(FShownUri).c_str());
        if (OnNavigateComplete2) OnNavigateComplete2(this);
        break;
    case WEBKIT_LOAD_FINISHED: {
        // Only a load this view saw start completes a document: one DocumentComplete per load.
        const bool started = std::exchange(FInLoad, false);
        if (FLoadFailed || !started) {
            // The page that stays was complete before; another load may already be under way.
            FLoadFailed = false;
            FReadyState = webkit_web_view_is_loading(view) ? READYSTATE_LOADING : SettledState();
            StartPendingPrint();
            break;
        }
        FReadyState = READYSTATE_COMPLETE;
        LogDebug("DocumentComplete %s", UrlFromEngine(EngineUri(view)).c_str());
        ApplyHighlight();
        StartPendingPrint();
        // Last: the owner may let the main loop run, and its window (with this view) may close.
        if (OnDocumentComplete) OnDocumentComplete(this);
        break;
    }
    default:
        break;
    }
}

int TMXWebBrowser::SettledState() const {
    return FShownUri.empty() ? READYSTATE_UNINITIALIZED : READYSTATE_COMPLETE;
}

void TMXWebBrowser::OnEngineStateChanged(WebKitWebView* view, GParamSpec*) {
    // A navigation that raises no load events (a fragment of the document shown, Back or Forward
    // between such entries, history.pushState, a request the engine dropped) shows itself only in
    // the view's address and loading flag. Once the engine is idle outside a load, the navigation
    // has ended: a new address is a same-document navigation, and the view is ready again.
    if (FInLoad || webkit_web_view_is_loading(view)) return;
    const std::string uri = EngineUri(view);
    const bool moved = !uri.empty() && uri != FShownUri;
    if (!moved) {
        if (FReadyState != READYSTATE_LOADING && FReadyState != READYSTATE_INTERACTIVE) return;
        FReadyState = SettledState();
        LogDebug("navigation ended without a load: %s stays", UrlFromEngine(uri).c_str());
        StartPendingPrint();
        return;
    }
    FShownUri = uri;
    FReadyState = READYSTATE_COMPLETE;
    LogDebug("NavigateComplete2 %s", UrlFromEngine(uri).c_str());
    ApplyHighlight();
    StartPendingPrint();
    // Last, as for a load: the owner may run the main loop.
    if (OnNavigateComplete2) OnNavigateComplete2(this);
}

gboolean TMXWebBrowser::OnLoadFailed(WebKitWebView*, int, char* uri, GError* error) {
    FLoadFailed = true;
    LogDebug("navigation failed %s (%s)", UrlFromEngine(uri ? uri : "").c_str(), error ? error->message : "");
    return FALSE; // the engine shows its failure page where it has one
}

gboolean TMXWebBrowser::OnContextMenu(WebKitWebView*, void* menu, void* event, void*) {
    TPoint point;
    gdouble x = 0, y = 0;
    if (event && gdk_event_get_coords(static_cast<GdkEvent*>(event), &x, &y)) {
        point.X = static_cast<int>(x);
        point.Y = static_cast<int>(y);
    }
    // The context-menu id of a plain page area; the engine does not tell the kinds apart here.
    constexpr DWORD CONTEXT_MENU_DEFAULT = 0;
    const HRESULT answer = ShowContextMenu(CONTEXT_MENU_DEFAULT, point, nullptr, nullptr);
    if (answer == S_OK) { // the host handled it: no menu
        LogDebug("context menu refused");
        return TRUE;
    }
    const bool shown = TrimContextMenu(menu);
    LogDebug("context menu %s", shown ? "shown" : "empty");
    return !shown;
}

void TMXWebBrowser::OnClose(WebKitWebView*) {
    // A page's window.close(). The owner decides through OnCloseQuery; with no owner objection
    // nothing more happens here, since the view itself has no window of its own to close.
    CloseQuery();
}

void TMXWebBrowser::Prewarm() {
    // Running a script needs the web process, so the engine launches it at once; an empty view
    // has a blank document for the script, so nothing loads.
    webkit_web_view_evaluate_javascript(FView, "void 0", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
}

void TMXWebBrowser::Navigate(const std::string& url) {
    const std::string engineUrl = UrlToEngine(url);
    LogDebug("navigate %s", url.c_str());
    // An address this view does not show leaves the page and its ready state as they are.
    if (!FollowLink(engineUrl, false)) return;
    FReadyState = READYSTATE_LOADING;
    webkit_web_view_load_uri(FView, engineUrl.c_str());
}

std::string TMXWebBrowser::LocationURL() const {
    return UrlFromEngine(EngineUri(FView));
}

std::string TMXWebBrowser::LocationName() const {
    const char* title = webkit_web_view_get_title(FView);
    return title ? Utf8ToAnsi(title) : std::string();
}

HRESULT TMXWebBrowser::GoBack() {
    if (!webkit_web_view_can_go_back(FView)) return E_FAIL;
    // As for Navigate: the view is loading from now on, not from when the engine says so.
    FReadyState = READYSTATE_LOADING;
    webkit_web_view_go_back(FView);
    return S_OK;
}

HRESULT TMXWebBrowser::GoForward() {
    if (!webkit_web_view_can_go_forward(FView)) return E_FAIL;
    FReadyState = READYSTATE_LOADING;
    webkit_web_view_go_forward(FView);
    return S_OK;
}

void TMXWebBrowser::GoHome() {
    Navigate("about:blank");
}

HRESULT TMXWebBrowser::ExecWB(int command, int, int input) {
    switch (command) {
    case OLECMDID_PRINT:
        Print(false);
        return S_OK;
    case OLECMDID_PRINTPREVIEW:
        Print(true);
        return S_OK;
    case OLECMDID_COPY:
        webkit_web_view_execute_editing_command(FView, WEBKIT_EDITING_COMMAND_COPY);
        return S_OK;
    case OLECMDID_ZOOM:
        if (input < 0 || input > 4) return E_INVALIDARG;
        FZoomLevel = input;
        webkit_settings_set_zoom_text_only(webkit_web_view_get_settings(FView), TRUE);
        webkit_web_view_set_zoom_level(FView, ZoomFactors[input]);
        return S_OK;
    case OLECMDID_REFRESH:
        FReadyState = READYSTATE_LOADING;
        webkit_web_view_reload(FView);
        return S_OK;
    default:
        return E_NOTIMPL;
    }
}

void TMXWebBrowser::HighlightOnLoad(const std::string& text) {
    FPendingHighlight = text;
}

void TMXWebBrowser::ApplyHighlight() {
    if (FPendingHighlight.empty()) return;
    FHighlightText = std::move(FPendingHighlight);
    FPendingHighlight.clear();
    FHighlightMatches = -1;
    WebKitFindController* finder = webkit_web_view_get_find_controller(FView);
    webkit_find_controller_search(finder, AnsiToUtf8(FHighlightText).c_str(),
                                  WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND,
                                  G_MAXUINT);
}

void TMXWebBrowser::ClearHighlight() {
    if (FHighlightText.empty()) return;
    webkit_find_controller_search_finish(webkit_web_view_get_find_controller(FView));
    FHighlightText.clear();
    FHighlightMatches = -1;
}

void TMXWebBrowser::LoadHTML(const std::string& html, const std::string& baseUrl) {
    std::string document = html;
    ForwardSlashLinksInHtml(document);
    FReadyState = READYSTATE_LOADING;
    webkit_web_view_load_html(FView, AnsiToUtf8(document).c_str(), UrlToEngine(baseUrl).c_str());
}

std::optional<std::string> TMXWebBrowser::EvaluateScript(const std::string& script, int timeoutMs) {
    struct TState {
        bool Done = false;
        bool Failed = false;
        std::string Result;
    };
    // The callback may arrive after a timeout; it then finds the state it owns and frees it.
    auto keep = std::make_shared<TState>();
    auto* stateRef = new std::shared_ptr<TState>(keep);
    webkit_web_view_evaluate_javascript(
        FView, AnsiToUtf8(script).c_str(), -1, nullptr, nullptr, nullptr,
        [](GObject* view, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::shared_ptr<TState>> ref(static_cast<std::shared_ptr<TState>*>(data));
            GError* error = nullptr;
            const TGObjectPtr<JSCValue> value = TGObjectPtr<JSCValue>::Take(
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error));
            if (value) {
                (*ref)->Result = ValueText(value.get());
            } else {
                (*ref)->Failed = true;
                g_clear_error(&error);
            }
            (*ref)->Done = true;
        },
        stateRef);
    const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
    while (!keep->Done && g_get_monotonic_time() < deadline)
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    if (!keep->Done || keep->Failed) return std::nullopt;
    return keep->Result;
}

std::optional<std::vector<TDocumentElement>> TMXWebBrowser::DocumentElements(bool innerHTML, int timeoutMs) {
    // One string with the four fields of every element (tag name, id, inner HTML, "1" for an HTML
    // element), separated by characters that cannot appear in a tag name or be mistaken in the
    // inner HTML (the unit and record separators are escaped by the script when they do appear
    // there). An element whose fields cannot be read (a page script broke them) has no tag name.
    static const char* const Script =
        "(function(withInner){ if (!document || !document.documentElement) return null;"
        " var e = function(s){ return String(s).replace(/\\\\/g,'\\\\\\\\').replace(/\\x1e/g,'\\\\r')"
        ".replace(/\\x1f/g,'\\\\u'); };"
        " var all = document.getElementsByTagName('*'), out = [];"
        " for (var i = 0; i < all.length; i++) { var x = all[i], r;"
        "  try { r = e(x.tagName) + '\\x1f' + e(x.id) + '\\x1f' + (withInner ? e(x.innerHTML) : '') +"
        "   '\\x1f' + (x instanceof HTMLElement ? '1' : '0'); } catch (err) { r = '\\x1f\\x1f\\x1f0'; }"
        "  out.push(r); }"
        " return out.join('\\x1e'); })";
    std::optional<std::string> joined =
        EvaluateScript(std::string(Script) + (innerHTML ? "(true)" : "(false)"), timeoutMs);
    if (!joined) return std::nullopt;
    std::vector<TDocumentElement> elements;
    if (joined->empty()) return elements;
    auto unescape = [](std::string_view s) {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\\' && i + 1 < s.size()) {
                const char c = s[++i];
                out += c == 'r' ? '\x1e' : c == 'u' ? '\x1f' : c;
            } else {
                out += s[i];
            }
        }
        return out;
    };
    std::string_view rest = *joined;
    for (;;) {
        const size_t end = rest.find('\x1e');
        std::string_view record = rest.substr(0, end);
        TDocumentElement element;
        const size_t a = record.find('\x1f');
        const size_t b = a == std::string_view::npos ? a : record.find('\x1f', a + 1);
        const size_t c = b == std::string_view::npos ? b : record.find('\x1f', b + 1);
        if (c != std::string_view::npos) {
            element.TagName = unescape(record.substr(0, a));
            element.Id = unescape(record.substr(a + 1, b - a - 1));
            element.InnerHTML = unescape(record.substr(b + 1, c - b - 1));
            element.HTML = record.substr(c + 1) == "1";
            elements.push_back(std::move(element));
        }
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return elements;
}
