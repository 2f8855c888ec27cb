// The small part of the component object model the viewer's URL schemes stand on: result codes,
// class identifiers, reference-counted interfaces with a smart pointer that owns one reference,
// class factories found by class identifier, and a memory stream.
//
// Interfaces are abstract classes whose operations return result codes and never throw. An object
// that implements several interfaces derives from each; QueryInterface hands out the matching base.
// Everything runs on the GUI thread, so reference counts and the class table take no locks.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;

// Result codes keep the numbers the platform gives them.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
inline constexpr HRESULT E_PENDING = static_cast<HRESULT>(0x8000000A);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001);
// IDispatch's answers.
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000A);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// Class contexts of CoGetClassObject. Only in-process classes exist here; the flags are accepted
// so that callers keep the platform's call shape.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
    friend bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IStream = {
    0x0000000C, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IUnknown {
  public:
    // Writes the interface asked for (with a new reference) or nullptr and E_NOINTERFACE.
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    // Both answer the new count; Release destroys the object when it reaches 0.
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default; // objects go away through Release only
};

// Owns one reference to an interface. Copying takes another reference; moving hands it over.
template <class T> class TComPtr {
  public:
    TComPtr() = default;
    TComPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit TComPtr(T* p) : FPtr(p) {
        if (FPtr) FPtr->AddRef();
    }
    TComPtr(const TComPtr& other) : TComPtr(other.FPtr) {}
    TComPtr(TComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    TComPtr& operator=(TComPtr other) noexcept {
        std::swap(FPtr, other.FPtr);
        return *this;
    }
    ~TComPtr() { Reset(); }

    // Adopts a reference the caller already holds (the result of a creating call).
    static TComPtr Attach(T* p) {
        TComPtr result;
        result.FPtr = p;
        return result;
    }
    void Reset() {
        if (T* p = std::exchange(FPtr, nullptr)) p->Release();
    }
    // For out-parameters of creating calls: drops the held reference and exposes the slot.
    T** Put() {
        Reset();
        return &FPtr;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Get() const { return FPtr; }
    T* operator->() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }

  private:
    T* FPtr = nullptr;
};

// The reference count of an object; Release deletes it at zero. The object class supplies
// QueryInterface and derives from this and its interfaces.
class TRefCounted {
  public:
    TRefCounted() = default;
    TRefCounted(const TRefCounted&) = delete;
    TRefCounted& operator=(const TRefCounted&) = delete;
    virtual ~TRefCounted() = default;

  protected:
    ULONG DoAddRef() { return ++FRefCount; }
    ULONG DoRelease() {
        const ULONG count = --FRefCount;
        if (count == 0) delete this;
        return count;
    }

  private:
    ULONG FRefCount = 0;
};

class IClassFactory : public IUnknown {
  public:
    // Creates an object and answers its interface iid. Aggregation (outer != nullptr) is not
    // supported: CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
    virtual HRESULT LockServer(bool lock) = 0;
};

// The class factory of a class whose objects are made with new and counted with TRefCounted: one
// new object per CreateInstance, answered as the interface asked for.
template <class TObject> class TClassFactory final : public IClassFactory, public TRefCounted {
  public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }

    HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* instance = new (std::nothrow) TObject;
        if (!instance) return E_OUTOFMEMORY;
        const TComPtr<TObject> holder(instance);
        return instance->QueryInterface(iid, object);
    }
    HRESULT LockServer(bool) override { return S_OK; }
};

// Process-wide table of class factories by class identifier, what CoGetClassObject consults.
// Registering takes a reference to the factory; revoking (or a new registration of the same
// class) drops it.
HRESULT CoRegisterClassObject(const CLSID& clsid, IClassFactory* factory);
HRESULT CoRevokeClassObject(const CLSID& clsid);
// REGDB_E_CLASSNOTREG when no factory is registered for clsid; serverInfo must be nullptr.
HRESULT CoGetClassObject(const CLSID& clsid, DWORD classContext, void* serverInfo, const IID& iid,
                         void** object);

// Seek origins of IStream.
inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

class IStream : public IUnknown {
  public:
    // Moves at most count bytes; bytesRead / bytesWritten may be nullptr.
    virtual HRESULT Read(void* buffer, ULONG count, ULONG* bytesRead) = 0;
    virtual HRESULT Write(const void* buffer, ULONG count, ULONG* bytesWritten) = 0;
    // newPosition may be nullptr. A position before the start fails with STG_E_INVALIDFUNCTION.
    virtual HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPosition) = 0;
    virtual HRESULT SetSize(uint64_t newSize) = 0;
};

// A growable stream in memory. The handle of an existing memory block is not supported on this
// platform (global memory handles do not exist here): hGlobal must be nullptr, otherwise
// E_INVALIDARG. The memory is always released with the stream, whatever deleteOnRelease says.
HRESULT CreateStreamOnHGlobal(void* hGlobal, bool deleteOnRelease, IStream** stream);

// A memory stream that takes over bytes instead of copying them, positioned at 0: how content
// produced as one string becomes a stream without a second copy.
HRESULT CreateStreamOnString(std::string&& bytes, IStream** stream);
