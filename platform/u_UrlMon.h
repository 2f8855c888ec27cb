// Pluggable URL protocols: the interfaces through which the browser asks a protocol object for the
// bytes of a URL of a scheme the program registered, the sink that receives the object's reports,
// and the process's URL session in which schemes are registered.
//
// Wide text is UTF-16 (char16_t), terminated by a zero unit, as the browser hands URLs over.
// The URL session is supplied by the platform's shell: on this platform the WebKit URL session
// (platform/web) installs itself with InstallURLSession; tests install their own.
#pragma once

#include "u_ActiveX.h"
#include "u_ByteString.h"

using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;

// Result codes of the URL protocols.
inline constexpr HRESULT INET_E_INVALID_URL = static_cast<HRESULT>(0x800C0002);
inline constexpr HRESULT INET_E_CANNOT_LOAD_DATA = static_cast<HRESULT>(0x800C000F);
inline constexpr HRESULT INET_E_DEFAULT_ACTION = static_cast<HRESULT>(0x800C0011);
inline constexpr HRESULT INET_E_QUERYOPTION_UNKNOWN = static_cast<HRESULT>(0x800C0013);

// Flags of ReportData.
inline constexpr DWORD BSCF_FIRSTDATANOTIFICATION = 0x01;
inline constexpr DWORD BSCF_INTERMEDIATEDATANOTIFICATION = 0x02;
inline constexpr DWORD BSCF_LASTDATANOTIFICATION = 0x04;
inline constexpr DWORD BSCF_DATAFULLYAVAILABLE = 0x08;

inline constexpr IID IID_IInternetProtocolRoot = {
    0x79EAC9E3, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetProtocol = {
    0x79EAC9E4, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetProtocolSink = {
    0x79EAC9E5, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetSession = {
    0x79EAC9E7, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetBindInfo = {
    0x79EAC9E1, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
inline constexpr IID IID_IInternetProtocolInfo = {
    0x79EAC9EC, 0xBAF9, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
// This program's own: IInternetProtocolContent.
inline constexpr IID IID_IInternetProtocolContent = {
    0x3C9D4E21, 0x6F0A, 0x4B57, {0x9E, 0x13, 0x52, 0xA7, 0x0C, 0xD8, 0x41, 0x6B}};

// What Switch and Continue carry between threads. Nothing is ever switched on this platform,
// where every request completes inside Start.
struct PROTOCOLDATA {
    DWORD grfFlags;
    DWORD dwState;
    void* pData;
    ULONG cbData;
};

// Parse actions and query options, passed through uninterpreted.
using PARSEACTION = DWORD;
using QUERYOPTION = DWORD;

// Describes the binding of a request. This platform's URL session passes none (nullptr).
class IInternetBindInfo : public IUnknown {};

// Receives a protocol object's reports about one request.
class IInternetProtocolSink : public IUnknown {
  public:
    virtual HRESULT Switch(PROTOCOLDATA* data) = 0;
    virtual HRESULT ReportProgress(ULONG statusCode, LPCWSTR statusText) = 0;
    // flags: BSCF_* bits; progress and progressMax count bytes.
    virtual HRESULT ReportData(DWORD flags, ULONG progress, ULONG progressMax) = 0;
    // result: the request's outcome. error: the protocol's own code; this program's protocols put
    // an HTTP-like status there (HTTP_STATUS_OK, or HTTP_STATUS_NOT_FOUND when the content is an
    // error page that stands in for a missing file, delivered with result S_OK so that the reader
    // sees it). 0 says nothing beyond result.
    virtual HRESULT ReportResult(HRESULT result, DWORD error, LPCWSTR resultText) = 0;
};

// The statuses a protocol reports in ReportResult's error argument.
inline constexpr DWORD HTTP_STATUS_OK = 200;
inline constexpr DWORD HTTP_STATUS_NOT_FOUND = 404;

class IInternetProtocolRoot : public IUnknown {
  public:
    virtual HRESULT Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD flags,
                          uintptr_t reserved) = 0;
    virtual HRESULT Continue(PROTOCOLDATA* data) = 0;
    virtual HRESULT Abort(HRESULT reason, DWORD options) = 0;
    virtual HRESULT Terminate(DWORD options) = 0;
    virtual HRESULT Suspend() = 0;
    virtual HRESULT Resume() = 0;
};

class IInternetProtocol : public IInternetProtocolRoot {
  public:
    // S_OK / E_PENDING while bytes remain, S_FALSE at the end of the data.
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* bytesRead) = 0;
    virtual HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPosition) = 0;
    virtual HRESULT LockRequest(DWORD options) = 0;
    virtual HRESULT UnlockRequest() = 0;
};

class IInternetProtocolInfo : public IUnknown {
  public:
    // result receives at most capacity wide characters including the terminating zero;
    // resultLength receives the length written, or the capacity needed when the answer is S_FALSE.
    virtual HRESULT ParseUrl(LPCWSTR url, PARSEACTION action, DWORD flags, LPWSTR result, DWORD capacity,
                             DWORD* resultLength, DWORD reserved) = 0;
    virtual HRESULT CombineUrl(LPCWSTR baseUrl, LPCWSTR relativeUrl, DWORD flags, LPWSTR result,
                               DWORD capacity, DWORD* resultLength, DWORD reserved) = 0;
    // S_OK when both name the same resource, S_FALSE otherwise.
    virtual HRESULT CompareUrl(LPCWSTR url1, LPCWSTR url2, DWORD flags) = 0;
    virtual HRESULT QueryInfo(LPCWSTR url, QUERYOPTION option, DWORD flags, void* buffer, DWORD bufferSize,
                              DWORD* written, DWORD reserved) = 0;
};

// Offered by a protocol object whose whole content is present once Start has returned: the URL
// session takes the content in one piece instead of reading it, so that bytes the object shares
// (a page of an archive) reach the browser without being copied. The object has nothing left to
// Read afterwards.
class IInternetProtocolContent : public IUnknown {
  public:
    virtual HRESULT TakeContent(TByteString& content) = 0;
};

// The URL session: the table of schemes whose requests go to the program's own protocol objects.
// Only the name-space operations exist on this platform.
class IInternetSession : public IUnknown {
  public:
    // Routes requests of the scheme protocol (without colon, any letter case) to objects made by
    // factory. Pattern lists are not supported: patternCount must be 0.
    virtual HRESULT RegisterNameSpace(IClassFactory* factory, const CLSID& clsid, LPCWSTR protocol,
                                      ULONG patternCount, const LPCWSTR* patterns, DWORD reserved) = 0;
    virtual HRESULT UnregisterNameSpace(IClassFactory* factory, LPCWSTR protocol) = 0;
};

// Answers the process's URL session with a new reference; E_FAIL when none is installed.
HRESULT CoInternetGetSession(DWORD sessionMode, IInternetSession** session, DWORD reserved);

// Makes session (which may be nullptr) the process's URL session; the process holds one reference
// to it until another is installed.
void InstallURLSession(IInternetSession* session);
