#include "u_WebURLSession.h"

#include "u_Text.h"

#include <gio/gio.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr const char* LogDomain = "Tomevane";
constexpr ULONG ReadChunk = 64 * 1024;
constexpr ULONG MaxReadChunk = 16 * 1024 * 1024;

// Letters, digits, "+", "-" and "." after a leading letter: what WebKit accepts as a scheme.
bool IsValidScheme(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

// The printable ASCII characters that WebKit escapes in the path of a URL of a custom scheme
// although a file name may hold them (found by loading links to names with every such character):
// a link to "a{b}.htm" arrives as "a%7Bb%7D.htm". The blank ("%20") is not among them: it reaches
// the protocol escaped, which decodes it itself (with the "%2520" rule).
constexpr std::string_view PathEscapedCharacters = "\"<>^`{}";

// Decodes the escapes of non-ASCII bytes (WebKit encodes URLs as UTF-8) and, with inPath, those of
// PathEscapedCharacters; every other escape stays as it is.
std::string DecodeEngineEscapes(std::string_view text, bool inPath) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int hi, lo;
        if (text[i] == '%' && i + 2 < text.size() && (hi = HexDigitValue(text[i + 1])) >= 0 &&
            (lo = HexDigitValue(text[i + 2])) >= 0) {
            const char c = static_cast<char>(hi * 16 + lo);
            if (hi >= 8 || (inPath && PathEscapedCharacters.find(c) != std::string_view::npos)) {
                decoded += c;
                i += 2;
                continue;
            }
        }
        decoded += text[i];
    }
    return decoded;
}

std::string HexCode(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hr));
    return text;
}

// Records what a protocol object reports about one request.
class TRecordingSink final : public IInternetProtocolSink, public TRefCounted {
  public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IInternetProtocolSink) {
            *object = static_cast<IInternetProtocolSink*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }

    HRESULT Switch(PROTOCOLDATA*) override { return E_NOTIMPL; }
    HRESULT ReportProgress(ULONG, LPCWSTR) override { return S_OK; }
    HRESULT ReportData(DWORD, ULONG, ULONG progressMax) override {
        DataSize = progressMax;
        return S_OK;
    }
    HRESULT ReportResult(HRESULT result, DWORD status, LPCWSTR) override {
        ResultReported = true;
        Result = result;
        Status = status;
        return S_OK;
    }

    ULONG DataSize = 0;
    bool ResultReported = false;
    HRESULT Result = S_OK;
    DWORD Status = 0;
};

// Reads a protocol object's whole content. Everything is present once Start returned; a protocol
// that keeps answering E_PENDING without delivering bytes is cut off rather than waited for.
// Reads ask for the rest of the reported size at once (one copy for a well-behaved protocol), in
// pieces of at most MaxReadChunk so that a wrong size cannot ask for unbounded memory. False when
// a read fails (hr is its result) or stalls.
bool ReadAll(IInternetProtocol* protocol, ULONG reportedSize, std::string& content, HRESULT& hr) {
    for (;;) {
        const size_t before = content.size();
        const ULONG wanted = reportedSize > before
                                 ? std::min<ULONG>(static_cast<ULONG>(reportedSize - before), MaxReadChunk)
                                 : ReadChunk;
        content.resize(before + wanted);
        ULONG delivered = 0;
        hr = protocol->Read(content.data() + before, wanted, &delivered);
        content.resize(before + std::min(delivered, wanted));
        if (hr == S_FALSE) return true;
        if (FAILED(hr) && hr != E_PENDING) return false;
        if (delivered == 0) return false;
    }
}

class TWebKitURLSession final : public IInternetSession, public TRefCounted {
  public:
    explicit TWebKitURLSession(WebKitWebContext* context) : FContext(context) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IInternetSession) {
            *object = static_cast<IInternetSession*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }

    HRESULT RegisterNameSpace(IClassFactory* factory, const CLSID&, LPCWSTR protocol, ULONG patternCount,
                              const LPCWSTR*, DWORD) override {
        if (!factory || !protocol) return E_POINTER;
        if (patternCount != 0) return E_INVALIDARG;
        const std::string scheme = AsciiLowerCase(WideToUtf8(protocol));
        if (!IsValidScheme(scheme)) return E_INVALIDARG;
        // WebKit keeps a scheme for the life of the context, also across sessions: register it
        // with the context only once.
        const std::string marker = "tomevane-uri-scheme:" + scheme;
        FEngineSchemes.insert(scheme);
        if (!g_object_get_data(G_OBJECT(FContext), marker.c_str())) {
            g_object_set_data(G_OBJECT(FContext), marker.c_str(), GINT_TO_POINTER(1));
            webkit_web_context_register_uri_scheme(FContext, scheme.c_str(),
                                                   &TWebKitURLSession::HandleRequest, nullptr, nullptr);
            WebKitSecurityManager* security = webkit_web_context_get_security_manager(FContext);
            webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
            webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
        }
        // A later registration of a name hides the earlier one until it is unregistered.
        FLive.push_back({scheme, TComPtr<IClassFactory>(factory)});
        return S_OK;
    }

    HRESULT UnregisterNameSpace(IClassFactory* factory, LPCWSTR protocol) override {
        if (!protocol) return E_POINTER;
        const std::string scheme = AsciiLowerCase(WideToUtf8(protocol));
        for (auto it = FLive.rbegin(); it != FLive.rend(); ++it) {
            if (it->Scheme == scheme && it->Factory.Get() == factory) {
                FLive.erase(std::next(it).base());
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }

    bool IsEngineScheme(std::string_view scheme) const {
        return FEngineSchemes.count(AsciiLowerCase(scheme)) > 0;
    }

  private:
    struct TLiveScheme {
        std::string Scheme;
        TComPtr<IClassFactory> Factory;
    };

    TComPtr<IClassFactory> FindFactory(const std::string& scheme) const {
        for (auto it = FLive.rbegin(); it != FLive.rend(); ++it)
            if (it->Scheme == scheme) return it->Factory;
        return nullptr;
    }

    static void Refuse(WebKitURISchemeRequest* request, const char* uri, const std::string& why) {
        g_log(LogDomain, G_LOG_LEVEL_DEBUG, "scheme request %s: refused (%s)", uri, why.c_str());
        GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "%s: %s", uri, why.c_str());
        webkit_uri_scheme_request_finish_error(request, error);
        g_error_free(error);
    }

    static void HandleRequest(WebKitURISchemeRequest* request, gpointer);
    void Serve(WebKitURISchemeRequest* request);

    WebKitWebContext* FContext;           // WebKit's; lives as long as the process
    std::set<std::string> FEngineSchemes; // registered with WebKit at least once
    std::vector<TLiveScheme> FLive;
};

// The installed session when it is the WebKit one.
TWebKitURLSession* CurrentWebKitSession(TComPtr<IInternetSession>& holder) {
    if (FAILED(CoInternetGetSession(0, holder.Put(), 0))) return nullptr;
    return dynamic_cast<TWebKitURLSession*>(holder.Get());
}

void TWebKitURLSession::HandleRequest(WebKitURISchemeRequest* request, gpointer) {
    // WebKit keeps the callback for the life of the context, so the session is looked up per
    // request: one that has been replaced or uninstalled serves nothing.
    TComPtr<IInternetSession> holder;
    TWebKitURLSession* session = CurrentWebKitSession(holder);
    if (!session) return Refuse(request, webkit_uri_scheme_request_get_uri(request), "no URL session");
    // Nothing may unwind through WebKit's C frames; every request is finished either way.
    try {
        session->Serve(request);
    } catch (const std::exception& e) {
        Refuse(request, webkit_uri_scheme_request_get_uri(request), e.what());
    }
}

void TWebKitURLSession::Serve(WebKitURISchemeRequest* request) {
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    const std::string scheme = AsciiLowerCase(webkit_uri_scheme_request_get_scheme(request));
    TComPtr<IClassFactory> factory = FindFactory(scheme);
    if (!factory) return Refuse(request, uri, "scheme not registered");

    // The archive is asked for the path alone: no book file name holds "?", and pages link style
    // sheets and scripts as "theme.css?v=2". The query stays in the URL the page sees.
    std::string url = UrlFromEngine(uri);
    if (const size_t end = url.find_first_of("?#"); end != std::string::npos) url.erase(end);

    TComPtr<IInternetProtocol> protocol;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IInternetProtocol, protocol.PutVoid());
    if (FAILED(hr)) return Refuse(request, uri, "no protocol object (" + HexCode(hr) + ")");

    auto sink = TComPtr<IInternetProtocolSink>(new TRecordingSink);
    auto* recorded = static_cast<TRecordingSink*>(sink.Get());
    hr = protocol->Start(AnsiToWide(url).c_str(), sink.Get(), nullptr, 0, 0);
    if (FAILED(hr)) return Refuse(request, uri, "Start failed (" + HexCode(hr) + ")");
    if (recorded->ResultReported && FAILED(recorded->Result))
        return Refuse(request, uri, "failed (" + HexCode(recorded->Result) + ")");

    TByteString content;
    TComPtr<IInternetProtocolContent> whole;
    if (SUCCEEDED(protocol->QueryInterface(IID_IInternetProtocolContent, whole.PutVoid())) && whole) {
        // The content in one piece: a page that shares the archive's bytes goes out without a copy.
        hr = whole->TakeContent(content);
        if (FAILED(hr)) return Refuse(request, uri, "no content (" + HexCode(hr) + ")");
    } else {
        std::string read;
        if (!ReadAll(protocol.Get(), recorded->DataSize, read, hr))
            return Refuse(request, uri,
                          (FAILED(hr) && hr != E_PENDING ? "Read failed (" + HexCode(hr) + ")"
                                                         : std::string("Read stalled")));
        content = std::move(read);
    }
    protocol->Terminate(0);

    const std::string contentType = ContentTypeFor(url, content);
    // Only a document that names files with "\" changes; the others keep their bytes as they are.
    const bool hasBackslash = content.View().find('\\') != std::string_view::npos;
    if (hasBackslash && (contentType == "text/html" || contentType == "text/css")) {
        std::string text = content.Take();
        if (contentType == "text/html")
            ForwardSlashLinksInHtml(text);
        else
            ForwardSlashUrlsInCss(text);
        content = std::move(text);
    }
    // The error page of a missing file goes out as what it is, so that the engine fails a picture
    // or script that was not found (their onerror runs) while a page shows the error page.
    const bool notFound = recorded->ResultReported && recorded->Status == HTTP_STATUS_NOT_FOUND;
    const guint status = notFound ? HTTP_STATUS_NOT_FOUND : HTTP_STATUS_OK;
    const gsize size = content.size();
    g_log(LogDomain, G_LOG_LEVEL_DEBUG, "scheme request %s: %u, %zu bytes as %s", uri, status,
          static_cast<size_t>(size), contentType.c_str());
    // The engine's bytes are the content's own, kept alive (with the archive image they may
    // share) until the engine lets them go.
    auto* bytes = new TByteString(std::move(content));
    GBytes* data = g_bytes_new_with_free_func(
        bytes->data(), size, [](gpointer p) { delete static_cast<TByteString*>(p); }, bytes);
    GInputStream* stream = g_memory_input_stream_new_from_bytes(data);
    g_bytes_unref(data);
    WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(stream, static_cast<gint64>(size));
    webkit_uri_scheme_response_set_content_type(response, contentType.c_str());
    webkit_uri_scheme_response_set_status(response, status, notFound ? "Not Found" : "OK");
    webkit_uri_scheme_request_finish_with_response(request, response);
    g_object_unref(response);
    g_object_unref(stream);
}

} // namespace

void InstallWebKitURLSession(WebKitWebContext* context) {
    auto session = TComPtr<IInternetSession>(
        new TWebKitURLSession(context ? context : webkit_web_context_get_default()));
    InstallURLSession(session.Get());
}

bool IsEngineScheme(std::string_view scheme) {
    TComPtr<IInternetSession> holder;
    const TWebKitURLSession* session = CurrentWebKitSession(holder);
    return session && session->IsEngineScheme(scheme);
}

std::string UrlToEngine(std::string_view viewerUrl) {
    const size_t colon = viewerUrl.find(':');
    if (colon == std::string_view::npos || !IsEngineScheme(viewerUrl.substr(0, colon)))
        return std::string(viewerUrl);
    const std::string text = AnsiToUtf8(viewerUrl.substr(colon + 1));
    const size_t hash = text.find('#');
    std::string path = text.substr(0, hash);
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!path.empty() && path[0] != '/') path.insert(0, 1, '/');

    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string result(viewerUrl.substr(0, colon + 1));
    for (const char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            result += '%';
            result += Hex[c >> 4];
            result += Hex[c & 15];
        } else {
            result += ch;
        }
    }
    if (hash != std::string::npos) result += text.substr(hash);
    return result;
}

std::string UrlFromEngine(std::string_view engineUrl) {
    const size_t colon = engineUrl.find(':');
    if (colon == std::string_view::npos || !IsEngineScheme(engineUrl.substr(0, colon)))
        return std::string(engineUrl);
    const std::string_view rest = engineUrl.substr(colon + 1);
    const size_t hash = rest.find('#');
    std::string_view location = rest.substr(0, hash);
    const size_t question = location.find('?');
    std::string_view path = location.substr(0, question);
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : location.substr(question);

    // A root-relative link written with "\" reaches WebKit as a segment of the page's folder.
    if (const size_t restart = path.rfind("/\\"); restart != std::string_view::npos)
        path.remove_prefix(restart + 1);

    std::string converted = DecodeEngineEscapes(path, true);
    std::replace(converted.begin(), converted.end(), '/', '\\');
    converted += DecodeEngineEscapes(query, false);

    std::string result(engineUrl.substr(0, colon + 1));
    result += Utf8ToAnsi(converted);
    if (hash != std::string_view::npos) result += Utf8ToAnsi(rest.substr(hash));
    return result;
}

std::string ContentTypeFor(std::string_view path, std::string_view data) {
    static const struct {
        const char* Extension;
        const char* Type;
    } Types[] = {
        {".htm", "text/html"},         {".html", "text/html"},     {".xhtml", "application/xhtml+xml"},
        {".css", "text/css"},          {".js", "text/javascript"}, {".mjs", "text/javascript"},
        {".json", "application/json"}, {".xml", "text/xml"},       {".xsl", "text/xsl"},
        {".txt", "text/plain"},        {".png", "image/png"},      {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},       {".jpe", "image/jpeg"},     {".gif", "image/gif"},
        {".bmp", "image/bmp"},         {".ico", "image/x-icon"},   {".svg", "image/svg+xml"},
        {".webp", "image/webp"},       {".wmf", "image/x-wmf"},    {".woff", "font/woff"},
        {".woff2", "font/woff2"},      {".ttf", "font/ttf"},       {".otf", "font/otf"},
        {".pdf", "application/pdf"},   {".mp3", "audio/mpeg"},     {".wav", "audio/wav"},
        {".mp4", "video/mp4"},
    };
    const size_t slash = path.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (const size_t dot = name.rfind('.'); dot != std::string_view::npos) {
        const std::string extension = AsciiLowerCase(name.substr(dot));
        for (const auto& entry : Types)
            if (extension == entry.Extension) return entry.Type;
    }

    gboolean uncertain = FALSE;
    const std::string fileName = AnsiToUtf8(name);
    gchar* guessed =
        g_content_type_guess(fileName.empty() ? nullptr : fileName.c_str(),
                             reinterpret_cast<const guchar*>(data.data()), data.size(), &uncertain);
    std::string result = "application/octet-stream";
    if (guessed) {
        if (gchar* mime = g_content_type_get_mime_type(guessed)) {
            if (!uncertain || g_strcmp0(mime, "application/octet-stream") != 0) result = mime;
            g_free(mime);
        }
        g_free(guessed);
    }
    return result;
}
