// The automation runtime the script object model stands on: values (variants), IDispatch through
// the type information of u_TypeLib, argument conversion to the declared types, the error object
// that carries a failed member's message, object creation through the registered class factories,
// and the base every automation object of the viewer derives from.
//
// Member implementations return result codes and never throw: each traps its failures and hands
// them to HandleSafeCallException, which records the message, the class's program identifier and
// the interface's identifier as the error object and answers E_UNEXPECTED (or the code of an
// EOleSysError). Invoke then reports DISP_E_EXCEPTION with that error object.
#pragma once

#include "u_ActiveX.h"
#include "u_InternetProtocol.h"
#include "u_SysUtils.h"
#include "u_TypeLib.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Raises EOleSysError (a platform error: reported with its own code instead of E_UNEXPECTED, and
// the code's system text) for a failed code.
void OleCheck(HRESULT hr);

// The system's text for a result code ("Type mismatch", "Class not registered", ...).
std::string OleErrorMessage(HRESULT hr);

class IDispatch;

enum class TVarKind : uint8_t { Empty, Null, Bool, Int32, Double, String, Dispatch };

// An automation value. Strings are wide text, as at every automation interface.
struct TOleVariant {
    TVarKind Kind = TVarKind::Empty;
    bool BoolValue = false;
    int32_t IntValue = 0;
    double DoubleValue = 0;
    std::u16string StringValue;
    TComPtr<IDispatch> DispatchValue;

    static TOleVariant Null();
    static TOleVariant FromBool(bool value);
    static TOleVariant FromInt(int32_t value);
    static TOleVariant FromDouble(double value);
    static TOleVariant FromString(std::u16string value);
    static TOleVariant FromDispatch(TComPtr<IDispatch> value);
};

// Converts in to the declared type as the dispatch layer does before a member runs: numbers and
// numeric text to integers (rounded half to even), Booleans to -1 / 0 as integers, values to text.
// DISP_E_TYPEMISMATCH when there is no conversion (text that is no number, null, an object where a
// number is declared), DISP_E_OVERFLOW outside the type's range.
HRESULT ChangeType(const TOleVariant& in, TAutoType type, TOleVariant& out);

// What a failed call reports besides its code.
struct TExcepInfo {
    HRESULT Code = S_OK;
    std::string Source;      // program identifier of the failing class
    std::string Description; // the failure's message
    IID Iid{};               // the interface whose member failed
};

// The error object of the GUI thread: set by a failing member, taken by the dispatch layer.
void SetErrorInfo(const TExcepInfo& info);
// Takes the error object (false when none is set); the slot is empty afterwards.
bool GetErrorInfo(TExcepInfo& info);

// Call inside a catch block: records the exception being handled as the error object of progId's
// interface iid and returns its code (E_UNEXPECTED unless it is an EOleSysError, whose code and
// system text are reported).
HRESULT HandleSafeCallException(const std::string& progId, const IID& iid);

class IDispatch : public IUnknown {
  public:
    // The description of the object's interface.
    virtual const TInterfaceDesc* GetTypeInfo() = 0;
    // DISP_E_UNKNOWNNAME when the interface has no member of that name (case is ignored).
    virtual HRESULT GetIDsOfNames(std::string_view name, int32_t* dispId) = 0;
    // args in call order (for a property put the last one is the value). Members of the
    // description are checked and their arguments converted first: DISP_E_MEMBERNOTFOUND,
    // DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW. A member that fails answers
    // DISP_E_EXCEPTION with excepInfo filled.
    virtual HRESULT Invoke(int32_t dispId, uint16_t flags, std::vector<TOleVariant>& args,
                           TOleVariant* result, TExcepInfo* excepInfo) = 0;
};

// The member of desc that flags ask for: a put when the put flag is set, otherwise a get or a
// method (scripts call methods with both flags).
const TMemberDesc* ResolveMember(const TInterfaceDesc& desc, int32_t dispId, uint16_t flags);

// Base of the viewer's automation objects: reference counting, QueryInterface for IUnknown,
// IDispatch and the interface of the description, and Invoke through the description.
template <class Intf> class TAutoObject : public Intf, public TRefCounted {
  public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == Desc().Iid) {
            *object = static_cast<Intf*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }

    const TInterfaceDesc* GetTypeInfo() override { return &Desc(); }
    HRESULT GetIDsOfNames(std::string_view name, int32_t* dispId) override {
        if (!dispId) return E_POINTER;
        const TMemberDesc* member = Desc().FindByName(name);
        if (!member) return DISP_E_UNKNOWNNAME;
        *dispId = member->DispId;
        return S_OK;
    }
    HRESULT Invoke(int32_t dispId, uint16_t flags, std::vector<TOleVariant>& args, TOleVariant* result,
                   TExcepInfo* excepInfo) override;

  protected:
    virtual const TInterfaceDesc& Desc() const = 0;
    virtual std::string ProgId() const = 0;
    // Runs member with arguments already converted to their declared types; fills result.
    virtual HRESULT CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                               TOleVariant& result) = 0;
    HRESULT HandleException() { return HandleSafeCallException(ProgId(), Desc().Iid); }
};

// The checking and converting part of Invoke, shared by every automation object.
HRESULT PrepareInvoke(const TMemberDesc* member, std::vector<TOleVariant>& args);
// Turns a member's failed code into DISP_E_EXCEPTION with the error object (or the code's text).
HRESULT ReportInvokeFailure(HRESULT hr, const std::string& progId, const IID& iid, TExcepInfo* excepInfo);

template <class Intf>
HRESULT TAutoObject<Intf>::Invoke(int32_t dispId, uint16_t flags, std::vector<TOleVariant>& args,
                                  TOleVariant* result, TExcepInfo* excepInfo) {
    const TMemberDesc* member = ResolveMember(Desc(), dispId, flags);
    if (const HRESULT hr = PrepareInvoke(member, args); FAILED(hr)) return hr;
    TOleVariant value;
    // Keep this object alive through the member: a script may drop its last reference meanwhile.
    TComPtr<Intf> self(this);
    const HRESULT hr = CallMember(*member, args, value);
    if (FAILED(hr)) return ReportInvokeFailure(hr, ProgId(), Desc().Iid, excepInfo);
    if (result) *result = std::move(value);
    return hr;
}

// Creates an object through the class factory registered for clsid.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD classContext, const IID& iid,
                         void** object);
