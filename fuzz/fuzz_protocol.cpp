// Requests with arbitrary URLs over a small archive: Start answers a known result, every started
// request reads to its end with exactly the reported size, and combining and comparing URLs of any
// length stays inside the caller's buffer.
#include "u_MFSProtocol.h"
#include "u_Text.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

namespace {

template <class I> class TObject : public I, public TRefCounted {
  public:
    HRESULT QueryInterface(const IID&, void** object) override {
        *object = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }
};

class TSink : public TObject<IInternetProtocolSink> {
  public:
    HRESULT Switch(PROTOCOLDATA*) override { return E_NOTIMPL; }
    HRESULT ReportProgress(ULONG, LPCWSTR) override { return S_OK; }
    HRESULT ReportData(DWORD, ULONG progress, ULONG) override {
        Reported = progress;
        return S_OK;
    }
    HRESULT ReportResult(HRESULT, DWORD, LPCWSTR) override { return S_OK; }
    ULONG Reported = 0;
};

class TSession : public TObject<IInternetSession> {
  public:
    HRESULT RegisterNameSpace(IClassFactory*, const CLSID&, LPCWSTR, ULONG, const LPCWSTR*, DWORD) override {
        return S_OK;
    }
    HRESULT UnregisterNameSpace(IClassFactory*, LPCWSTR) override { return S_OK; }
};

struct TFixture {
    TFixture() {
        InstallURLSession(TComPtr<TSession>(new TSession).Get());
        TMFSSession* s = Pages.Session();
        s->ForceFolders("\\pages\\Sub Dir");
        s->CreateFile("\\pages\\a.htm", 0, false)->Data = "<p>a</p>";
        s->CreateFile("\\pages\\Sub Dir\\b.htm", 0, false)->Data = std::string(5000, 'b');
        s->CreateFile("\\root.htm", 0, false)->Data = "";
        Protocol = std::make_unique<TMFSInternetProtocol>("mfs", &Pages);
        Protocol->OnAfterGetData = [](TMFSInternetProtocol*, const std::string&, TByteString& data) {
            if (data.size() % 7 == 3) throw EMFSError("substitution failed"); // a failing hook
        };
    }
    TMFS Pages;
    std::unique_ptr<TMFSInternetProtocol> Protocol;
};

std::u16string WideOf(const std::string& bytes) {
    std::u16string wide;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    return wide;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TFixture fixture;
    FuzzedDataProvider in(data, size);
    const bool wide = in.ConsumeBool();
    auto text = [&] {
        const std::string bytes = in.ConsumeRandomLengthString(600);
        return wide ? WideOf(bytes) : AnsiToWide("mfs:" + bytes);
    };
    const std::u16string url = text();

    TComPtr<IClassFactory> factory;
    if (CoGetClassObject(CLSID_CustomInternetProtocol, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                         factory.PutVoid()) != S_OK)
        std::abort();
    TComPtr<IInternetProtocol> protocol;
    if (factory->CreateInstance(nullptr, IID_IInternetProtocol, protocol.PutVoid()) != S_OK) std::abort();
    TComPtr<TSink> sink(new TSink);
    const HRESULT started = protocol->Start(url.c_str(), sink.Get(), nullptr, 0, 0);
    if (started == S_OK) {
        char buffer[1000];
        ULONG total = 0;
        for (int i = 0; i < 100000; ++i) {
            ULONG n = 0;
            const HRESULT read =
                protocol->Read(buffer, in.ConsumeIntegralInRange<ULONG>(1, sizeof buffer), &n);
            total += n;
            if (read == S_FALSE) break;
            if (read != E_PENDING) std::abort();
        }
        if (total != sink->Reported || total == 0) std::abort();
    } else if (started != INET_E_INVALID_URL) {
        std::abort();
    }

    TComPtr<IInternetProtocolInfo> info;
    if (protocol->QueryInterface(IID_IInternetProtocolInfo, info.PutVoid()) != S_OK) std::abort();
    const std::u16string relative = text();
    const DWORD capacity = in.ConsumeIntegralInRange<DWORD>(0, 400);
    std::u16string result(capacity + 1, u'\xFFFF');
    DWORD length = 0;
    info->CombineUrl(url.c_str(), relative.c_str(), 0, capacity ? result.data() : nullptr, capacity, &length,
                     0);
    if (result[capacity] != u'\xFFFF') std::abort(); // nothing written past the capacity
    info->CompareUrl(url.c_str(), relative.c_str(), in.ConsumeIntegral<DWORD>());
    return 0;
}
