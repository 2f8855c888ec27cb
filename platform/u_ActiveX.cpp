#include "u_ActiveX.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace {

struct TClassEntry {
    CLSID Clsid;
    TComPtr<IClassFactory> Factory;
};

std::vector<TClassEntry>& ClassTable() {
    static std::vector<TClassEntry> table;
    return table;
}

std::vector<TClassEntry>::iterator FindClass(const CLSID& clsid) {
    auto& table = ClassTable();
    return std::find_if(table.begin(), table.end(), [&](const TClassEntry& e) { return e.Clsid == clsid; });
}

// The memory behind CreateStreamOnHGlobal. Sizes stay within 32 bits like the counts of the
// callers; a write that would pass that limit fails instead of wrapping.
class TMemoryIStream final : public IStream, public TRefCounted {
  public:
    TMemoryIStream() = default;
    explicit TMemoryIStream(std::string&& data) : FData(std::move(data)) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }

    HRESULT Read(void* buffer, ULONG count, ULONG* bytesRead) override {
        const uint64_t available = FPosition < FData.size() ? FData.size() - FPosition : 0;
        const ULONG n = static_cast<ULONG>(std::min<uint64_t>(count, available));
        if (n > 0) {
            if (!buffer) return E_POINTER;
            std::memcpy(buffer, FData.data() + FPosition, n);
            FPosition += n;
        }
        if (bytesRead) *bytesRead = n;
        return S_OK;
    }

    HRESULT Write(const void* buffer, ULONG count, ULONG* bytesWritten) override {
        if (bytesWritten) *bytesWritten = 0;
        if (count == 0) return S_OK;
        if (!buffer) return E_POINTER;
        const uint64_t end = FPosition + count;
        if (end > std::numeric_limits<uint32_t>::max()) return E_OUTOFMEMORY;
        // Overwrite what lies under the position and append the rest, so that filling a new
        // stream costs one copy.
        const char* bytes = static_cast<const char*>(buffer);
        try {
            if (FPosition > FData.size()) FData.resize(FPosition);
            const size_t overlap = std::min<size_t>(count, FData.size() - FPosition);
            std::memcpy(FData.data() + FPosition, bytes, overlap);
            FData.append(bytes + overlap, count - overlap);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        FPosition = end;
        if (bytesWritten) *bytesWritten = count;
        return S_OK;
    }

    HRESULT Seek(int64_t move, DWORD origin, uint64_t* newPosition) override {
        int64_t base;
        switch (origin) {
        case STREAM_SEEK_SET:
            base = 0;
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<int64_t>(FPosition);
            break;
        case STREAM_SEEK_END:
            base = static_cast<int64_t>(FData.size());
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        const int64_t target = base + move;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        FPosition = static_cast<uint64_t>(target);
        if (newPosition) *newPosition = FPosition;
        return S_OK;
    }

    HRESULT SetSize(uint64_t newSize) override {
        if (newSize > std::numeric_limits<uint32_t>::max()) return E_OUTOFMEMORY;
        try {
            FData.resize(newSize);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

  private:
    std::string FData;
    uint64_t FPosition = 0;
};

} // namespace

HRESULT CoRegisterClassObject(const CLSID& clsid, IClassFactory* factory) {
    if (!factory) return E_POINTER;
    auto it = FindClass(clsid);
    if (it != ClassTable().end())
        it->Factory = TComPtr<IClassFactory>(factory);
    else
        ClassTable().push_back({clsid, TComPtr<IClassFactory>(factory)});
    return S_OK;
}

HRESULT CoRevokeClassObject(const CLSID& clsid) {
    auto it = FindClass(clsid);
    if (it == ClassTable().end()) return REGDB_E_CLASSNOTREG;
    // Take the factory out before releasing it: its destruction may consult the table.
    TComPtr<IClassFactory> factory = std::move(it->Factory);
    ClassTable().erase(it);
    return S_OK;
}

HRESULT CoGetClassObject(const CLSID& clsid, DWORD, void* serverInfo, const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (serverInfo) return E_INVALIDARG;
    auto it = FindClass(clsid);
    if (it == ClassTable().end()) return REGDB_E_CLASSNOTREG;
    return it->Factory->QueryInterface(iid, object);
}

HRESULT CreateStreamOnHGlobal(void* hGlobal, bool, IStream** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (hGlobal) return E_INVALIDARG;
    TMemoryIStream* result = new (std::nothrow) TMemoryIStream;
    if (!result) return E_OUTOFMEMORY;
    result->AddRef();
    *stream = result;
    return S_OK;
}

HRESULT CreateStreamOnString(std::string&& bytes, IStream** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) return E_OUTOFMEMORY;
    TMemoryIStream* result = new (std::nothrow) TMemoryIStream(std::move(bytes));
    if (!result) return E_OUTOFMEMORY;
    result->AddRef();
    *stream = result;
    return S_OK;
}
