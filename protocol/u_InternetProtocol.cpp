#include "u_InternetProtocol.h"

#include "u_Text.h"
#include "u_WinInet.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr size_t MaxRemainderLength = 255;

std::u16string_view WideView(LPCWSTR text) {
    return text ? std::u16string_view(text) : std::u16string_view();
}

// One left-to-right pass: "%20" becomes a blank, and "%2520" (an escaped "%20") becomes "%20" so
// that a name with a literal "%20" stays reachable. No other escape is decoded.
std::string DecodeBlanks(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, 5, "%2520") == 0) {
            result += "%20";
            i += 5;
        } else if (text.compare(i, 3, "%20") == 0) {
            result += ' ';
            i += 3;
        } else {
            result += text[i++];
        }
    }
    return result;
}

// The error page shows a URL and a message as text: markup characters in them are escaped so that
// a file name such as "a<b>.htm" reads as written and cannot inject markup.
std::string EscapeMarkup(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '&':
            result += "&amp;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

// Copies text and its terminating zero into a caller's buffer of capacity wide characters, or
// answers the capacity needed.
HRESULT AnswerUrl(const std::u16string& text, LPWSTR result, DWORD capacity, DWORD* resultLength) {
    if (capacity < text.size() + 1) {
        *resultLength = static_cast<DWORD>(text.size() + 1);
        return S_FALSE;
    }
    std::copy(text.begin(), text.end(), result);
    result[text.size()] = u'\0';
    *resultLength = static_cast<DWORD>(text.size());
    return S_OK;
}

// Module start: the class factory becomes reachable under its class identifier before anything
// registers a scheme; module end revokes it.
struct TProtocolModule {
    TProtocolModule() {
        auto factory = TComPtr<IClassFactory>(new TClassFactory<TCustomInternetProtocol>);
        CoRegisterClassObject(CLSID_CustomInternetProtocol, factory.Get());
    }
    ~TProtocolModule() { CoRevokeClassObject(CLSID_CustomInternetProtocol); }
};
const TProtocolModule ProtocolModule;

} // namespace

EOleSysError::EOleSysError(HRESULT errorCode)
    : Exception(Format("OLE error %08X", static_cast<unsigned>(errorCode))), ErrorCode(errorCode) {}

// --- TInternetProtocolSupport ---

TInternetProtocolSupport::~TInternetProtocolSupport() {
    try {
        SetActive(false);
    } catch (...) {
        // Unregistering does not fail; nothing may escape a destructor either way.
    }
}

void TInternetProtocolSupport::SetActive(bool value) {
    if (value == FActive) return;
    if (value)
        ProtocolSupportSession().RegisterProtocol(AnsiToWide(FProtocol), this);
    else
        ProtocolSupportSession().UnregisterProtocol(AnsiToWide(FProtocol));
    FActive = value;
}

void TInternetProtocolSupport::SetProtocol(std::string_view name) {
    SetActive(false);
    FProtocol = name;
}

TByteString TInternetProtocolSupport::GetData(const std::string& url) {
    if (!OnGetData) throw EInternetProtocolSupportError(SOnGetDataNotAssigned);
    TByteString data;
    OnGetData(this, url, data);
    return data;
}

bool TInternetProtocolSupport::CompareURL(std::string url1, std::string url2, bool ignoreSlashes) {
    if (ignoreSlashes) {
        std::replace(url1.begin(), url1.end(), '\\', '/');
        std::replace(url2.begin(), url2.end(), '\\', '/');
    }
    return AnsiSameText(url1, url2);
}

std::string TInternetProtocolSupport::CombineURL(const std::string& baseURL, const std::string& relativeURL) {
    if (!OnCombineURL) throw EInternetProtocolSupportError(SOnCombineURLNotAssigned);
    std::string result;
    OnCombineURL(this, baseURL, relativeURL, result);
    return result;
}

// --- TInternetProtocolSupportSession ---

TInternetProtocolSupportSession& ProtocolSupportSession() {
    static TInternetProtocolSupportSession session;
    return session;
}

void TInternetProtocolSupportSession::ConnectURLSession() {
    TComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(CLSID_CustomInternetProtocol, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  nullptr, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) throw EOleSysError(hr);
    TComPtr<IInternetSession> session;
    hr = CoInternetGetSession(0, session.Put(), 0);
    if (FAILED(hr)) throw EOleSysError(hr);
    FFactory = std::move(factory);
    FSession = std::move(session);
}

void TInternetProtocolSupportSession::ReleaseURLSession() {
    FSession.Reset();
    FFactory.Reset();
}

void TInternetProtocolSupportSession::RegisterProtocol(std::u16string_view name,
                                                       TInternetProtocolSupport* support) {
    // Everything that can fail is checked before the URL session learns the name, and a failure
    // undoes what was done, so that the connection keeps following the number of registered
    // schemes and the URL session never routes a scheme the registry does not know.
    if (name.empty()) throw EInternetProtocolSupportError(SProtocolNotSet);
    const std::string key = WideToAnsi(name);
    const bool first = FProtocols.Count() == 0;
    if (first) ConnectURLSession();
    try {
        FProtocols.Add(key, support); // raises the duplicate error for a name already present
    } catch (...) {
        if (first) ReleaseURLSession();
        throw;
    }
    const std::u16string wideName(name);
    const HRESULT hr = FSession->RegisterNameSpace(FFactory.Get(), CLSID_CustomInternetProtocol,
                                                   wideName.c_str(), 0, nullptr, 0);
    if (FAILED(hr)) {
        FProtocols.Delete(key);
        if (FProtocols.Count() == 0) ReleaseURLSession();
        throw EOleSysError(hr);
    }
}

void TInternetProtocolSupportSession::UnregisterProtocol(std::u16string_view name) {
    const std::string key = WideToAnsi(name);
    if (!FProtocols.Find(key)) return;
    FProtocols.Delete(key);
    const std::u16string wideName(name);
    if (FSession) FSession->UnregisterNameSpace(FFactory.Get(), wideName.c_str());
    if (FProtocols.Count() == 0) ReleaseURLSession();
}

TInternetProtocolSupport* TInternetProtocolSupportSession::FindProtocol(std::u16string_view name) const {
    return FProtocols.Find(WideToAnsi(name));
}

// --- TCustomInternetProtocol ---

void TCustomInternetProtocol::SplitURL(std::u16string_view url, std::u16string& scheme,
                                       std::u16string& remainder) {
    const size_t colon = url.find(u':');
    if (colon == std::u16string_view::npos) {
        scheme.clear();
        remainder = url.substr(0, MaxRemainderLength);
    } else {
        scheme = url.substr(0, colon);
        remainder = url.substr(colon + 1, MaxRemainderLength);
    }
}

HRESULT TCustomInternetProtocol::QueryInterface(const IID& iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IInternetProtocolRoot || iid == IID_IInternetProtocol)
        *object = static_cast<IInternetProtocol*>(this);
    else if (iid == IID_IInternetProtocolInfo)
        *object = static_cast<IInternetProtocolInfo*>(this);
    else if (iid == IID_IInternetProtocolContent)
        *object = static_cast<IInternetProtocolContent*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

HRESULT TCustomInternetProtocol::Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo,
                                       DWORD, uintptr_t) {
    const TComPtr<IInternetProtocolSink> sinkReference(sink);
    const TComPtr<IInternetBindInfo> bindInfoReference(bindInfo);
    // A new request starts empty: Read must never hand out bytes of an earlier one.
    FContent.clear();
    FDataSize = 0;
    FBytesRead = 0;
    try {
        std::u16string scheme, wideRemainder;
        SplitURL(WideView(url), scheme, wideRemainder);
        const std::string remainder = DecodeBlanks(WideToAnsi(wideRemainder));

        TInternetProtocolSupport* support = ProtocolSupportSession().FindProtocol(scheme);
        if (!support) return INET_E_INVALID_URL;

        TByteString data;
        DWORD status = HTTP_STATUS_OK;
        try {
            data = support->GetData(remainder);
        } catch (...) {
            const std::string message = ExceptionMessageText();
            g_log("Tomevane", G_LOG_LEVEL_DEBUG, "scheme request %s: error page (%s)",
                  WideToUtf8(WideView(url)).c_str(), AnsiToUtf8(message).c_str());
            data = Format(SGetDataErrorPage, EscapeMarkup(remainder).c_str(), EscapeMarkup(message).c_str());
            status = HTTP_STATUS_NOT_FOUND;
        }

        if (data.empty()) data = " ";
        if (data.size() > std::numeric_limits<ULONG>::max()) return INET_E_CANNOT_LOAD_DATA;
        const ULONG size = static_cast<ULONG>(data.size());
        // The content is kept as it came: bytes shared with an archive stay shared, so that a page
        // is not copied before the browser takes it.
        FContent = std::move(data);
        FDataSize = size;

        if (sink) {
            sink->ReportData(BSCF_FIRSTDATANOTIFICATION | BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE,
                             size, size);
            sink->ReportResult(S_OK, status, nullptr);
        }
        return S_OK;
    } catch (...) {
        return INET_E_CANNOT_LOAD_DATA;
    }
}

HRESULT TCustomInternetProtocol::Read(void* buffer, ULONG count, ULONG* bytesRead) {
    const size_t position = std::min<size_t>(FBytesRead, FContent.size());
    const ULONG delivered =
        buffer ? static_cast<ULONG>(std::min<size_t>(count, FContent.size() - position)) : 0;
    if (delivered > 0) std::memcpy(buffer, FContent.data() + position, delivered);
    if (bytesRead) *bytesRead = delivered;
    FBytesRead += delivered;
    return FBytesRead == FDataSize ? S_FALSE : E_PENDING;
}

HRESULT TCustomInternetProtocol::TakeContent(TByteString& content) {
    content = std::move(FContent);
    FContent.clear();
    // Nothing is left to read: a later Read ends the data.
    FBytesRead = FDataSize;
    return S_OK;
}

HRESULT TCustomInternetProtocol::CombineUrl(LPCWSTR baseUrl, LPCWSTR relativeUrl, DWORD flags, LPWSTR result,
                                            DWORD capacity, DWORD* resultLength, DWORD) {
    if (!result || !resultLength) return E_POINTER;
    try {
        std::u16string baseScheme, baseRemainder, relativeScheme, relativeRemainder;
        SplitURL(WideView(baseUrl), baseScheme, baseRemainder);
        SplitURL(WideView(relativeUrl), relativeScheme, relativeRemainder);
        TInternetProtocolSupport* support = ProtocolSupportSession().FindProtocol(baseScheme);

        std::string combined;
        const bool otherScheme =
            !relativeScheme.empty() && !AnsiSameText(WideToAnsi(relativeScheme), WideToAnsi(baseScheme));
        if (otherScheme || !support)
            combined = WideToAnsi(WideView(relativeUrl));
        else
            combined = WideToAnsi(baseScheme) + ":" +
                       support->CombineURL(WideToAnsi(baseRemainder), WideToAnsi(relativeRemainder));

        std::vector<char> buffer(static_cast<size_t>(capacity) + 1);
        DWORD length = capacity + 1;
        if (InternetCanonicalizeUrlA(combined.c_str(), buffer.data(), &length, flags))
            return AnswerUrl(AnsiToWide(std::string_view(buffer.data(), length)), result, capacity,
                             resultLength);
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            *resultLength = length;
            return S_FALSE;
        }
        return AnswerUrl(AnsiToWide(combined), result, capacity, resultLength);
    } catch (...) {
        // The scheme cannot join these URLs (its combine event failed): the platform's own rules
        // apply instead.
        return INET_E_DEFAULT_ACTION;
    }
}

HRESULT TCustomInternetProtocol::CompareUrl(LPCWSTR url1, LPCWSTR url2, DWORD flags) {
    try {
        std::u16string scheme1, remainder1, scheme2, remainder2;
        SplitURL(WideView(url1), scheme1, remainder1);
        SplitURL(WideView(url2), scheme2, remainder2);
        if (!AnsiSameText(WideToAnsi(scheme1), WideToAnsi(scheme2))) return S_FALSE;
        TInternetProtocolSupport* support = ProtocolSupportSession().FindProtocol(scheme1);
        if (!support) return S_FALSE;
        return support->CompareURL(WideToAnsi(remainder1), WideToAnsi(remainder2), flags != 0) ? S_OK
                                                                                               : S_FALSE;
    } catch (...) {
        return S_FALSE;
    }
}
