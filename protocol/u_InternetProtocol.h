// The scheme-independent part of serving URL schemes from memory.
//
// - TInternetProtocolSupport: one per served scheme. Its owner supplies the content of a URL and
//   the joining of relative URLs through two events; switching it Active registers the scheme.
// - TInternetProtocolSupportSession (one per process, ProtocolSupportSession()): the registry
//   from scheme name to support object, and the only place that talks to the URL session.
// - TCustomInternetProtocol: the protocol object the URL session makes for every request of a
//   registered scheme, through the one class factory registered under CLSID_CustomInternetProtocol.
//   Start asks the scheme's support object for the whole content and reports it in one go; Read
//   hands the bytes out. When the support object fails, the content is the error page and
//   ReportResult says S_OK with the status HTTP_STATUS_NOT_FOUND: the reader sees the page, and
//   the URL session can tell the engine (and its log) that no file was served. A file served
//   reports HTTP_STATUS_OK.
//
// URLs arrive as wide text. The part after the scheme's colon (at most 255 characters) is handed
// to the support object as 8-bit text in the system code page, with "%20" turned into blanks and
// nothing else decoded. Content is bytes; nothing converts its character set.
// Everything runs on the GUI thread; nothing here takes locks.
#pragma once

#include "u_ActiveX.h"
#include "u_Dictionary.h"
#include "u_SysUtils.h"
#include "u_UrlMon.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

TV_DECLARE_EXCEPTION(EInternetProtocolSupportError, Exception);

// A failing result code of a platform call, raised as an exception.
class EOleSysError : public Exception {
  public:
    explicit EOleSysError(HRESULT errorCode);
    HRESULT ErrorCode;
};

inline constexpr const char* SProtocolNotSet = "Protocol not set";
inline constexpr const char* SOnGetDataNotAssigned = "Property OnGetData not assigned";
inline constexpr const char* SOnCombineURLNotAssigned = "Property OnCombineURL not assigned";
// The content served when the scheme's producer fails: the URL remainder, then the failure's
// message.
inline constexpr const char* SGetDataErrorPage =
    "<html><pre><p>An exception occured during attempt to get data</p><p>URL: <b>%s</b></p>"
    "<p>Exception: <b>%s</b></p></html>";

// The class of every protocol object the program serves, the same in every build.
inline constexpr CLSID CLSID_CustomInternetProtocol = {
    0x6A1F3C52, 0x9B7E, 0x4D21, {0xA8, 0xC4, 0x3E, 0x5F, 0x0B, 0x9D, 0x7A, 0x16}};

class TInternetProtocolSupport;

// Sender, the URL remainder, the content to produce (empty on entry). The content may share its
// bytes (an archive file's) instead of holding a copy.
using TGetDataEvent =
    std::function<void(TInternetProtocolSupport* sender, const std::string& url, TByteString& data)>;
// Sender, base remainder, relative remainder, the joined remainder to produce (empty on entry).
using TCombineURLEvent = std::function<void(TInternetProtocolSupport* sender, const std::string& baseURL,
                                            const std::string& relativeURL, std::string& result)>;

class TInternetProtocolSupport {
  public:
    TInternetProtocolSupport() = default;
    TInternetProtocolSupport(const TInternetProtocolSupport&) = delete;
    TInternetProtocolSupport& operator=(const TInternetProtocolSupport&) = delete;
    // Unregisters the scheme when it is registered.
    ~TInternetProtocolSupport();

    bool Active() const { return FActive; }
    // True registers Protocol with the URL session and the registry, false unregisters it. The
    // flag changes only when that succeeded; a failed registration raises and leaves it false.
    void SetActive(bool value);

    const std::string& Protocol() const { return FProtocol; }
    // Deactivates first: a renamed scheme is registered again only when its owner says so.
    void SetProtocol(std::string_view name);

    // The content of a URL remainder, from OnGetData. Raises "Property OnGetData not assigned".
    TByteString GetData(const std::string& url);
    // Whether two remainders name the same resource: compared ignoring case, and with
    // ignoreSlashes also taking "\" and "/" as the same.
    bool CompareURL(std::string url1, std::string url2, bool ignoreSlashes);
    // A relative remainder joined to a base remainder, from OnCombineURL. Raises "Property
    // OnCombineURL not assigned".
    std::string CombineURL(const std::string& baseURL, const std::string& relativeURL);

    TGetDataEvent OnGetData;
    TCombineURLEvent OnCombineURL;

  private:
    bool FActive = false;
    std::string FProtocol;
};

// The registry of served schemes. It holds the URL session and the class factory exactly while
// at least one scheme is registered.
class TInternetProtocolSupportSession {
  public:
    TInternetProtocolSupportSession() = default;
    TInternetProtocolSupportSession(const TInternetProtocolSupportSession&) = delete;
    TInternetProtocolSupportSession& operator=(const TInternetProtocolSupportSession&) = delete;

    // Registers name (any letter case) for support, which must outlive its registration. Raises
    // "Protocol not set" for an empty name, the dictionary's duplicate error for a name already
    // registered and EOleSysError when the URL session or the class factory fails. A failed
    // registration changes nothing.
    void RegisterProtocol(std::u16string_view name, TInternetProtocolSupport* support);
    // Removes name; an unknown name is no error.
    void UnregisterProtocol(std::u16string_view name);
    // The support object of a scheme, ignoring letter case; nullptr when none is registered.
    TInternetProtocolSupport* FindProtocol(std::u16string_view name) const;

    // Whether the URL session is held, which is exactly when a scheme is registered.
    bool Connected() const { return static_cast<bool>(FSession); }
    int32_t Count() const { return FProtocols.Count(); }

  private:
    void ConnectURLSession();
    void ReleaseURLSession();

    TObjectDictionary<TInternetProtocolSupport> FProtocols{true, true, false};
    TComPtr<IInternetSession> FSession;
    TComPtr<IClassFactory> FFactory;
};

// The process's registry.
TInternetProtocolSupportSession& ProtocolSupportSession();

// The protocol object of one request: made by the class factory, started once, read until S_FALSE
// and released. No operation lets an exception out.
class TCustomInternetProtocol final : public IInternetProtocol,
                                      public IInternetProtocolInfo,
                                      public IInternetProtocolContent,
                                      public TRefCounted {
  public:
    // A URL split at its first colon: the scheme before it (empty without a colon) and at most 255
    // characters after it (the whole URL, cut the same way, without a colon).
    static void SplitURL(std::u16string_view url, std::u16string& scheme, std::u16string& remainder);

    HRESULT QueryInterface(const IID& iid, void** object) override;
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }

    HRESULT Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD flags,
                  uintptr_t reserved) override;
    HRESULT Continue(PROTOCOLDATA*) override { return S_OK; }
    HRESULT Abort(HRESULT, DWORD) override { return S_OK; }
    HRESULT Terminate(DWORD) override { return S_OK; }
    HRESULT Suspend() override { return S_OK; }
    HRESULT Resume() override { return S_OK; }
    HRESULT Read(void* buffer, ULONG count, ULONG* bytesRead) override;
    HRESULT Seek(int64_t, DWORD, uint64_t*) override { return S_OK; }
    HRESULT LockRequest(DWORD) override { return S_OK; }
    HRESULT UnlockRequest() override { return S_OK; }

    HRESULT ParseUrl(LPCWSTR, PARSEACTION, DWORD, LPWSTR, DWORD, DWORD*, DWORD) override {
        return INET_E_DEFAULT_ACTION;
    }
    HRESULT CombineUrl(LPCWSTR baseUrl, LPCWSTR relativeUrl, DWORD flags, LPWSTR result, DWORD capacity,
                       DWORD* resultLength, DWORD reserved) override;
    HRESULT CompareUrl(LPCWSTR url1, LPCWSTR url2, DWORD flags) override;
    HRESULT QueryInfo(LPCWSTR, QUERYOPTION, DWORD, void*, DWORD, DWORD*, DWORD) override {
        return INET_E_QUERYOPTION_UNKNOWN;
    }

    // The content of the started request in one piece, its bytes shared rather than copied.
    HRESULT TakeContent(TByteString& content) override;

  private:
    // The content of the current request. Read copies out of it; it is the memory the request's
    // bytes are held in, so a served archive file is not copied into another buffer first.
    TByteString FContent;
    uint32_t FDataSize = 0;
    uint32_t FBytesRead = 0;
};
