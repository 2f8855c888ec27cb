// Test doubles for the protocol tests: a sink that records every report and a URL session that
// records registrations, installed as the process's URL session for the life of a fixture.
#pragma once

#include "u_InternetProtocol.h"
#include "u_Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

template <class I> class TTestObject : public I, public TRefCounted {
  public:
    HRESULT QueryInterface(const IID&, void** object) override {
        *object = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override {
        ++AddRefCalls;
        return DoAddRef();
    }
    ULONG Release() override { return DoRelease(); }
    int AddRefCalls = 0;
};

class TRecordingSink : public TTestObject<IInternetProtocolSink> {
  public:
    struct TReport {
        std::string What; // "data" or "result"
        DWORD Flags;
        ULONG Progress;
        ULONG ProgressMax;
        HRESULT Result;
        DWORD Status = 0; // ReportResult's error argument
    };

    HRESULT Switch(PROTOCOLDATA*) override { return E_NOTIMPL; }
    HRESULT ReportProgress(ULONG, LPCWSTR) override {
        Reports.push_back({"progress", 0, 0, 0, S_OK});
        return S_OK;
    }
    HRESULT ReportData(DWORD flags, ULONG progress, ULONG progressMax) override {
        Reports.push_back({"data", flags, progress, progressMax, S_OK});
        return S_OK;
    }
    HRESULT ReportResult(HRESULT result, DWORD status, LPCWSTR) override {
        Reports.push_back({"result", 0, 0, 0, result, status});
        return S_OK;
    }

    std::vector<TReport> Reports;
};

class TRecordingURLSession : public TTestObject<IInternetSession> {
  public:
    HRESULT RegisterNameSpace(IClassFactory* factory, const CLSID& clsid, LPCWSTR protocol, ULONG,
                              const LPCWSTR*, DWORD) override {
        if (FailRegistration) return E_FAIL;
        EXPECT_TRUE(clsid == CLSID_CustomInternetProtocol);
        Factory = factory;
        Log.push_back("register " + WideToUtf8(protocol));
        return S_OK;
    }
    HRESULT UnregisterNameSpace(IClassFactory*, LPCWSTR protocol) override {
        Log.push_back("unregister " + WideToUtf8(protocol));
        return S_OK;
    }

    bool FailRegistration = false;
    IClassFactory* Factory = nullptr;
    std::vector<std::string> Log;
};

// Installs a recording URL session; every test must leave the registry empty.
class ProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Session = TComPtr<TRecordingURLSession>(new TRecordingURLSession);
        InstallURLSession(Session.Get());
    }
    void TearDown() override {
        EXPECT_EQ(ProtocolSupportSession().Count(), 0);
        InstallURLSession(nullptr);
    }

    // A protocol object made the way the URL session makes one.
    static TComPtr<IInternetProtocol> NewProtocol() {
        TComPtr<IClassFactory> factory;
        EXPECT_EQ(CoGetClassObject(CLSID_CustomInternetProtocol, CLSCTX_INPROC_SERVER, nullptr,
                                   IID_IClassFactory, factory.PutVoid()),
                  S_OK);
        TComPtr<IInternetProtocol> protocol;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IInternetProtocol, protocol.PutVoid()), S_OK);
        return protocol;
    }

    static TComPtr<IInternetProtocolInfo> InfoOf(const TComPtr<IInternetProtocol>& protocol) {
        TComPtr<IInternetProtocolInfo> info;
        EXPECT_EQ(protocol->QueryInterface(IID_IInternetProtocolInfo, info.PutVoid()), S_OK);
        return info;
    }

    // Starts a request and reads it to the end in one go.
    static std::string Fetch(const std::u16string& url, HRESULT* startResult = nullptr) {
        auto protocol = NewProtocol();
        auto sink = TComPtr<TRecordingSink>(new TRecordingSink);
        const HRESULT hr = protocol->Start(url.c_str(), sink.Get(), nullptr, 0, 0);
        if (startResult) *startResult = hr;
        std::string content;
        char buffer[4096];
        ULONG n = 0;
        while (SUCCEEDED(hr)) {
            const HRESULT read = protocol->Read(buffer, sizeof buffer, &n);
            content.append(buffer, n);
            if (read == S_FALSE) break;
        }
        return content;
    }

    TComPtr<TRecordingURLSession> Session;
};
