#include "u_HostBridge.h"

#include "u_Automation.h"
#include "u_DebugLog.h"
#include "u_GObject.h"
#include "u_HostRequest.h"
#include "u_HostScript.h"
#include "u_MXWebBrowser.h"
#include "u_Text.h"

#include <webkit2/webkit2.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

namespace {

constexpr const char* SHostRefused = "This page may not use the viewer's script host object";
constexpr const char* SBadRequest = "Invalid request to the script host object";
constexpr const char* SBadHandle = "The object is not known to this page";
constexpr const char* SNoExternal = "This page has no script host object";

void WriteJsonString(std::string& out, std::string_view utf8) {
    out += '"';
    for (const char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

// The views whose book pages may call, with the objects each has been given.
struct THostView {
    TMXWebBrowser* Browser = nullptr;
    std::vector<TComPtr<IDispatch>> Handles; // handle n is Handles[n - 1]
};

std::map<WebKitWebView*, THostView>& HostViews() {
    static std::map<WebKitWebView*, THostView> views;
    return views;
}

std::string SchemeOf(std::string_view url) {
    const size_t colon = url.find(':');
    return colon == std::string_view::npos ? std::string() : AsciiLowerCase(url.substr(0, colon));
}

bool IsBookScheme(std::string_view scheme) {
    return scheme == "mfs" || scheme == "system";
}

void Finish(WebKitURISchemeRequest* request, std::string body) {
    auto* bytes = new std::string(std::move(body));
    GBytes* data = g_bytes_new_with_free_func(
        bytes->data(), bytes->size(), [](gpointer p) { delete static_cast<std::string*>(p); }, bytes);
    const TGObjectPtr<GInputStream> stream = TGObjectPtr<GInputStream>::Take(g_memory_input_stream_new_from_bytes(data));
    const gint64 size = static_cast<gint64>(g_bytes_get_size(data));
    g_bytes_unref(data);
    webkit_uri_scheme_request_finish(request, stream.get(), size, "application/json");
}

std::string FailureAnswer(const std::string& message, HRESULT code) {
    std::string out = "{\"ok\":false,\"m\":";
    WriteJsonString(out, AnsiToUtf8(message));
    out += ",\"c\":" + std::to_string(code) + "}";
    return out;
}

// Hands out the view's handle of object (the same one every time).
int HandleFor(WebKitWebView* view, const TComPtr<IDispatch>& object) {
    auto it = HostViews().find(view);
    if (it == HostViews().end()) return -1;
    std::vector<TComPtr<IDispatch>>& handles = it->second.Handles;
    for (size_t i = 0; i < handles.size(); ++i)
        if (handles[i].Get() == object.Get()) return static_cast<int>(i + 1);
    handles.push_back(object);
    return static_cast<int>(handles.size());
}

std::string ResultAnswer(WebKitWebView* view, const TOleVariant& result) {
    std::string out = "{\"ok\":true,\"v\":";
    switch (result.Kind) {
    case TVarKind::Bool:
        out += result.BoolValue ? "true" : "false";
        break;
    case TVarKind::Int32:
        out += std::to_string(result.IntValue);
        break;
    case TVarKind::Double:
        if (std::isfinite(result.DoubleValue)) {
            char number[32];
            std::snprintf(number, sizeof number, "%.17g", result.DoubleValue);
            out += number;
        } else {
            out += "null";
        }
        break;
    case TVarKind::String:
        WriteJsonString(out, WideToUtf8(result.StringValue));
        break;
    case TVarKind::Dispatch: {
        const int handle = result.DispatchValue ? HandleFor(view, result.DispatchValue) : -1;
        if (handle < 0) {
            out += "null";
            break;
        }
        out += "{\"$h\":" + std::to_string(handle) + ",\"$i\":";
        WriteJsonString(out, result.DispatchValue->GetTypeInfo()->Name);
        out += "}";
        break;
    }
    default:
        out += "null";
    }
    return out + "}";
}

// One call of a member, ready to run.
struct TCall {
    WebKitWebView* View;
    TComPtr<IDispatch> Target;
    int32_t DispId;
    uint16_t Kind;
    std::vector<TOleVariant> Args;
    std::string Name; // "Interface.Member" for the log
};

std::string Run(TCall& call) {
    TOleVariant result;
    TExcepInfo info;
    const HRESULT hr = call.Target->Invoke(call.DispId, call.Kind, call.Args, &result, &info);
    if (FAILED(hr)) {
        const std::string message = hr == DISP_E_EXCEPTION ? info.Description : OleErrorMessage(hr);
        LogDebug("host %s failed: %s", call.Name.c_str(), message.c_str());
        return FailureAnswer(message, hr == DISP_E_EXCEPTION ? info.Code : hr);
    }
    LogDebug("host %s ok", call.Name.c_str());
    return ResultAnswer(call.View, result);
}

// Arguments from JSON to automation values; false (with the message) when one cannot be.
bool ReadArguments(const TJson* list, THostView& host, std::vector<TOleVariant>& args, std::string& failure) {
    if (!list) return true;
    if (list->Kind != TJson::Array) {
        failure = SBadRequest;
        return false;
    }
    for (const TJson& item : list->Items) {
        switch (item.Kind) {
        case TJson::Null:
            args.push_back(TOleVariant::Null());
            break;
        case TJson::Bool:
            args.push_back(TOleVariant::FromBool(item.BoolValue));
            break;
        case TJson::Number: {
            const double n = item.NumberValue;
            if (std::nearbyint(n) == n && n >= INT32_MIN && n <= INT32_MAX)
                args.push_back(TOleVariant::FromInt(static_cast<int32_t>(n)));
            else
                args.push_back(TOleVariant::FromDouble(n));
            break;
        }
        case TJson::String:
            args.push_back(TOleVariant::FromString(Utf8ToWide(item.StringValue)));
            break;
        case TJson::Object: {
            const TJson* handle = item.Member("$h");
            if (handle && handle->Kind == TJson::Number) {
                const double h = handle->NumberValue;
                if (h >= 1 && h <= static_cast<double>(host.Handles.size()) && std::nearbyint(h) == h) {
                    args.push_back(TOleVariant::FromDispatch(host.Handles[static_cast<size_t>(h) - 1]));
                    break;
                }
                failure = SBadHandle;
                return false;
            }
            failure = OleErrorMessage(DISP_E_TYPEMISMATCH);
            return false;
        }
        default:
            failure = OleErrorMessage(DISP_E_TYPEMISMATCH);
            return false;
        }
    }
    return true;
}

void Serve(WebKitURISchemeRequest* request) {
    const std::string uri = webkit_uri_scheme_request_get_uri(request);
    WebKitWebView* view = webkit_uri_scheme_request_get_web_view(request);

    const THostRequest parsedRequest = ReadHostRequest(uri);
    const std::string& op = parsedRequest.Op;
    const TJson& body = parsedRequest.Body;
    const bool parsed = parsedRequest.Parsed;
    const TJson* claimed = parsed ? body.Member("u") : nullptr;
    const std::string claimedUrl = claimed && claimed->Kind == TJson::String ? claimed->StringValue : "";

    // Who asks: the view must offer the host, show a book page, and the asking document (the
    // engine's Origin, which a script cannot set) must be a book page too.
    const char* viewUri = view ? webkit_web_view_get_uri(view) : nullptr;
    const char* origin = nullptr;
    if (SoupMessageHeaders* headers = webkit_uri_scheme_request_get_http_headers(request))
        origin = soup_message_headers_get_one(headers, "Origin");
    auto host = view ? HostViews().find(view) : HostViews().end();
    const std::string originText = origin ? origin : "";
    const bool allowed = host != HostViews().end() && viewUri && IsBookScheme(SchemeOf(viewUri)) &&
                         (AsciiSameText(originText, "mfs://") || AsciiSameText(originText, "system://")) &&
                         IsBookScheme(SchemeOf(claimedUrl));
    if (!allowed) {
        const std::string who = !claimedUrl.empty()   ? claimedUrl
                                : !originText.empty() ? originText
                                                      : (viewUri ? viewUri : "");
        LogDebug("host refused %s", Utf8ToAnsi(who).c_str());
        return Finish(request, FailureAnswer(SHostRefused, E_FAIL));
    }
    if (!parsed) return Finish(request, FailureAnswer(SBadRequest, E_INVALIDARG));

    TMXWebBrowser* browser = host->second.Browser;
    if (op == "close") {
        // The page's window.close(): the window decides through its close query.
        LogDebug("host window.close ok");
        browser->CloseQuery();
        return Finish(request, "{\"ok\":true,\"v\":null}");
    }
    const TJson* handle = body.Member("h");
    const TJson* dispId = body.Member("d");
    const TJson* kind = body.Member("k");
    if (op != "call" || !handle || handle->Kind != TJson::Number || !dispId ||
        dispId->Kind != TJson::Number || !kind || kind->Kind != TJson::Number)
        return Finish(request, FailureAnswer(SBadRequest, E_INVALIDARG));

    TCall call;
    call.View = view;
    call.DispId = static_cast<int32_t>(dispId->NumberValue);
    call.Kind = static_cast<uint16_t>(kind->NumberValue) & (ikMethod | ikPropertyGet | ikPropertyPut);
    const double h = handle->NumberValue;
    if (h == 0) {
        TComPtr<IUnknown> external;
        if (browser->GetExternal(external) != S_OK || !external ||
            FAILED(external->QueryInterface(IID_IDispatch, call.Target.PutVoid()))) {
            LogDebug("host refused %s", Utf8ToAnsi(claimedUrl).c_str());
            return Finish(request, FailureAnswer(SNoExternal, E_FAIL));
        }
    } else if (h >= 1 && h <= static_cast<double>(host->second.Handles.size()) && std::nearbyint(h) == h) {
        call.Target = host->second.Handles[static_cast<size_t>(h) - 1];
    } else {
        return Finish(request, FailureAnswer(SBadHandle, E_INVALIDARG));
    }

    const TInterfaceDesc* desc = call.Target->GetTypeInfo();
    const TMemberDesc* member = ResolveMember(*desc, call.DispId, call.Kind);
    call.Name = std::string(desc->Name) + "." + (member ? member->Name : std::to_string(call.DispId));
    std::string failure;
    if (!ReadArguments(body.Member("a"), host->second, call.Args, failure)) {
        LogDebug("host %s failed: %s", call.Name.c_str(), failure.c_str());
        return Finish(request, FailureAnswer(failure, DISP_E_TYPEMISMATCH));
    }

    if (desc == &IHostExternalDesc() && call.DispId == 204) {
        // Opening a form runs a modal loop until the form closes: run it from the main loop, not
        // inside the engine's callback, and answer the waiting page afterwards.
        auto pending = std::make_shared<TCall>(std::move(call));
        PostIdle([request = TGObjectPtr<WebKitURISchemeRequest>::Ref(request),
                  pending] { Finish(request.get(), Run(*pending)); },
                 "host call", G_PRIORITY_HIGH_IDLE);
        return;
    }
    Finish(request, Run(call));
}

void HandleRequest(WebKitURISchemeRequest* request, gpointer) {
    // Nothing may unwind through the engine's frames; every request is answered.
    try {
        Serve(request);
    } catch (...) {
        Finish(request, FailureAnswer(ExceptionMessageText(), E_UNEXPECTED));
    }
}

} // namespace

void RegisterHostView(TMXWebBrowser& browser) {
    static bool registered = false;
    if (!registered) {
        registered = true;
        WebKitWebContext* context = webkit_web_view_get_context(browser.View());
        webkit_web_context_register_uri_scheme(context, HostScheme, HandleRequest, nullptr, nullptr);
        WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
        webkit_security_manager_register_uri_scheme_as_secure(security, HostScheme);
        webkit_security_manager_register_uri_scheme_as_cors_enabled(security, HostScheme);
    }
    WebKitWebView* view = browser.View();
    HostViews()[view] = THostView{&browser, {}};
    ConnectSignal<void(GtkWidget*)>(
        view, "destroy",
        [](GtkWidget* widget) {
            auto it = HostViews().find(WEBKIT_WEB_VIEW(widget));
            if (it == HostViews().end()) return;
            // Released after the entry is gone: a release may reach this table again.
            THostView gone = std::move(it->second);
            HostViews().erase(it);
        },
        "page view");
}

void InstallHostScript(TMXWebBrowser& browser) {
    RegisterHostView(browser);
    WebKitUserScript* script =
        webkit_user_script_new(HostUserScript().c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(browser.View()), script);
    webkit_user_script_unref(script);
}
