// Links and windows of the page view: which navigations the engine follows itself and which leave
// the book for the shell's "open" verb, what a request for a new window becomes, and which context
// menu entries remain.
#include "u_MXWebBrowser.h"

#include "u_DebugLog.h"
#include "u_Shell.h"
#include "u_Text.h"
#include "u_WebURLSession.h"

#include <webkit2/webkit2.h>

#include <string>

namespace {

// The scheme of a URI in lower case; empty when it has none.
std::string SchemeOf(const std::string& uri) {
    gchar* scheme = g_uri_parse_scheme(uri.c_str());
    std::string result = scheme ? AsciiLowerCase(scheme) : std::string();
    g_free(scheme);
    return result;
}

// Schemes the engine shows itself besides the book's own.
bool EngineShows(const std::string& scheme) {
    static const char* const Shown[] = {"http", "https", "file", "about", "data", "blob"};
    for (const char* shown : Shown)
        if (scheme == shown) return true;
    return false;
}

std::string RequestUri(WebKitNavigationAction* action) {
    WebKitURIRequest* request = action ? webkit_navigation_action_get_request(action) : nullptr;
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    return uri ? uri : "";
}

// Context-menu entries that have nothing to work with here: WebKit saves files only through a
// download handler, which the viewer does not have; the inspector is not part of a book; audio
// and video do not play from the book's schemes.
bool WorksHere(WebKitContextMenuAction action) {
    switch (action) {
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_LINK_TO_DISK:
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_IMAGE_TO_DISK:
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_VIDEO_TO_DISK:
    case WEBKIT_CONTEXT_MENU_ACTION_DOWNLOAD_AUDIO_TO_DISK:
    case WEBKIT_CONTEXT_MENU_ACTION_INSPECT_ELEMENT:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_VIDEO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_OPEN_AUDIO_IN_NEW_WINDOW:
    case WEBKIT_CONTEXT_MENU_ACTION_ENTER_VIDEO_FULLSCREEN:
        return false;
    default:
        return true;
    }
}

} // namespace

bool TMXWebBrowser::FollowLink(const std::string& engineUri, bool newWindow) {
    const std::string scheme = SchemeOf(engineUri);
    if (IsEngineScheme(scheme)) {
        if (!newWindow) return true;
        // A book has one window: its page opens here.
        LogDebug("new window %s: shown in this view", UrlFromEngine(engineUri).c_str());
        FReadyState = READYSTATE_LOADING;
        webkit_web_view_load_uri(FView, engineUri.c_str());
        return false;
    }
    if (!newWindow && EngineShows(scheme)) return true;
    if (scheme == "javascript" && !newWindow) {
        // A script address runs in the page shown. WebKit would try to load it as a document and
        // leave the view on an address it cannot show.
        gchar* code = g_uri_unescape_string(engineUri.c_str() + scheme.size() + 1, nullptr);
        if (code)
            webkit_web_view_evaluate_javascript(FView, code, -1, nullptr, nullptr, nullptr, nullptr, nullptr);
        g_free(code);
        return false;
    }
    if (scheme.empty() || scheme == "about" || scheme == "javascript") {
        // window.open() without an address, a new blank window or a script for one: there is no
        // window for it, and nothing the shell could open.
        LogDebug("new window %s: nothing to show", engineUri.c_str());
        return false;
    }
    LogDebug("%s %s: handed to the shell", newWindow ? "new window" : "link", engineUri.c_str());
    ShellOpener().Open(Utf8ToAnsi(engineUri));
    return false;
}

gboolean TMXWebBrowser::OnDecidePolicy(WebKitWebView*, void* decision, int type) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION)
        return FALSE;
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    const std::string uri = RequestUri(webkit_navigation_policy_decision_get_navigation_action(navigation));
    const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
    if (FollowLink(uri, newWindow)) return FALSE;
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    return TRUE;
}

GtkWidget* TMXWebBrowser::OnCreate(WebKitWebView*, void* action) {
    // window.open and the context menu's new-window entries; no second view is ever made, so a
    // script's window.open answers null.
    FollowLink(RequestUri(static_cast<WebKitNavigationAction*>(action)), true);
    return nullptr;
}

bool TMXWebBrowser::TrimContextMenu(void* menu) {
    auto* contextMenu = static_cast<WebKitContextMenu*>(menu);
    if (!contextMenu) return false;
    // Removes what cannot work, then the separators left at either end or next to each other.
    bool previousWasSeparator = true;
    for (guint i = 0; i < webkit_context_menu_get_n_items(contextMenu);) {
        WebKitContextMenuItem* item = webkit_context_menu_get_item_at_position(contextMenu, i);
        const bool separator = webkit_context_menu_item_is_separator(item);
        if (!WorksHere(webkit_context_menu_item_get_stock_action(item)) ||
            (separator && previousWasSeparator)) {
            webkit_context_menu_remove(contextMenu, item);
            continue;
        }
        previousWasSeparator = separator;
        ++i;
    }
    const guint count = webkit_context_menu_get_n_items(contextMenu);
    if (count > 0) {
        WebKitContextMenuItem* last = webkit_context_menu_get_item_at_position(contextMenu, count - 1);
        if (webkit_context_menu_item_is_separator(last)) webkit_context_menu_remove(contextMenu, last);
    }
    return webkit_context_menu_get_n_items(contextMenu) > 0;
}
