#include "u_Automation.h"

#include "u_Text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

// The error object of the GUI thread (everything automation runs there).
std::optional<TExcepInfo>& ErrorSlot() {
    static std::optional<TExcepInfo> slot;
    return slot;
}

// Text that is a number as a whole, blanks around it allowed.
std::optional<double> ParseNumber(const std::u16string& text) {
    std::string ascii = WideToUtf8(text);
    const size_t first = ascii.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::nullopt;
    const size_t last = ascii.find_last_not_of(" \t\r\n");
    ascii = ascii.substr(first, last - first + 1);
    // Hexadecimal, infinities and NaN are what strtod takes beyond decimal numbers; scripts mean
    // none of them in an argument.
    for (const char c : ascii)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(ascii.c_str(), &end);
    if (end != ascii.c_str() + ascii.size()) return std::nullopt;
    return value;
}

std::u16string NumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    if (std::strtod(text, nullptr) != value) std::snprintf(text, sizeof text, "%.17g", value);
    return AnsiToWide(text);
}

} // namespace

void OleCheck(HRESULT hr) {
    if (FAILED(hr)) throw EOleSysError(hr);
}

std::string OleErrorMessage(HRESULT hr) {
    switch (static_cast<uint32_t>(hr)) {
    case static_cast<uint32_t>(E_UNEXPECTED):
        return "Catastrophic failure";
    case static_cast<uint32_t>(E_NOTIMPL):
        return "Not implemented";
    case static_cast<uint32_t>(E_NOINTERFACE):
        return "No such interface supported";
    case static_cast<uint32_t>(E_POINTER):
        return "Invalid pointer";
    case static_cast<uint32_t>(E_FAIL):
        return "Unspecified error";
    case static_cast<uint32_t>(E_OUTOFMEMORY):
        return "Not enough memory resources are available to complete this operation";
    case static_cast<uint32_t>(E_INVALIDARG):
        return "The parameter is incorrect";
    case static_cast<uint32_t>(REGDB_E_CLASSNOTREG):
        return "Class not registered";
    case static_cast<uint32_t>(CLASS_E_NOAGGREGATION):
        return "Class does not support aggregation";
    case static_cast<uint32_t>(DISP_E_MEMBERNOTFOUND):
        return "Member not found";
    case static_cast<uint32_t>(DISP_E_UNKNOWNNAME):
        return "Unknown name";
    case static_cast<uint32_t>(DISP_E_TYPEMISMATCH):
        return "Type mismatch";
    case static_cast<uint32_t>(DISP_E_OVERFLOW):
        return "Out of present range";
    case static_cast<uint32_t>(DISP_E_BADPARAMCOUNT):
        return "Invalid number of parameters";
    case static_cast<uint32_t>(DISP_E_EXCEPTION):
        return "Exception occurred";
    default:
        return Format("Error 0x%08X", static_cast<unsigned>(hr));
    }
}

TOleVariant TOleVariant::Null() {
    TOleVariant v;
    v.Kind = TVarKind::Null;
    return v;
}

TOleVariant TOleVariant::FromBool(bool value) {
    TOleVariant v;
    v.Kind = TVarKind::Bool;
    v.BoolValue = value;
    return v;
}

TOleVariant TOleVariant::FromInt(int32_t value) {
    TOleVariant v;
    v.Kind = TVarKind::Int32;
    v.IntValue = value;
    return v;
}

TOleVariant TOleVariant::FromDouble(double value) {
    TOleVariant v;
    v.Kind = TVarKind::Double;
    v.DoubleValue = value;
    return v;
}

TOleVariant TOleVariant::FromString(std::u16string value) {
    TOleVariant v;
    v.Kind = TVarKind::String;
    v.StringValue = std::move(value);
    return v;
}

TOleVariant TOleVariant::FromDispatch(TComPtr<IDispatch> value) {
    TOleVariant v;
    v.Kind = TVarKind::Dispatch;
    v.DispatchValue = std::move(value);
    return v;
}

HRESULT ChangeType(const TOleVariant& in, TAutoType type, TOleVariant& out) {
    auto toInt = [&](double value) -> HRESULT {
        if (!std::isfinite(value)) return DISP_E_OVERFLOW;
        const double rounded = std::nearbyint(value); // the default rounding: half to even
        if (rounded < std::numeric_limits<int32_t>::min() || rounded > std::numeric_limits<int32_t>::max())
            return DISP_E_OVERFLOW;
        out = TOleVariant::FromInt(static_cast<int32_t>(rounded));
        return S_OK;
    };
    switch (type) {
    case TAutoType::Void:
    case TAutoType::Variant:
        out = in;
        return S_OK;
    case TAutoType::Int32:
        switch (in.Kind) {
        case TVarKind::Empty:
            out = TOleVariant::FromInt(0);
            return S_OK;
        case TVarKind::Bool:
            out = TOleVariant::FromInt(in.BoolValue ? -1 : 0);
            return S_OK;
        case TVarKind::Int32:
            out = in;
            return S_OK;
        case TVarKind::Double:
            return toInt(in.DoubleValue);
        case TVarKind::String:
            if (std::optional<double> number = ParseNumber(in.StringValue)) return toInt(*number);
            return DISP_E_TYPEMISMATCH;
        default:
            return DISP_E_TYPEMISMATCH;
        }
    case TAutoType::Bool:
        switch (in.Kind) {
        case TVarKind::Empty:
            out = TOleVariant::FromBool(false);
            return S_OK;
        case TVarKind::Bool:
            out = in;
            return S_OK;
        case TVarKind::Int32:
            out = TOleVariant::FromBool(in.IntValue != 0);
            return S_OK;
        case TVarKind::Double:
            out = TOleVariant::FromBool(in.DoubleValue != 0);
            return S_OK;
        case TVarKind::String: {
            const std::string text = WideToUtf8(in.StringValue);
            if (AsciiSameText(text, "true")) {
                out = TOleVariant::FromBool(true);
                return S_OK;
            }
            if (AsciiSameText(text, "false")) {
                out = TOleVariant::FromBool(false);
                return S_OK;
            }
            if (std::optional<double> number = ParseNumber(in.StringValue)) {
                out = TOleVariant::FromBool(*number != 0);
                return S_OK;
            }
            return DISP_E_TYPEMISMATCH;
        }
        default:
            return DISP_E_TYPEMISMATCH;
        }
    case TAutoType::WideString:
        switch (in.Kind) {
        case TVarKind::Empty:
            out = TOleVariant::FromString(u"");
            return S_OK;
        case TVarKind::Bool:
            out = TOleVariant::FromString(in.BoolValue ? u"True" : u"False");
            return S_OK;
        case TVarKind::Int32:
            out = TOleVariant::FromString(AnsiToWide(std::to_string(in.IntValue)));
            return S_OK;
        case TVarKind::Double:
            out = TOleVariant::FromString(NumberText(in.DoubleValue));
            return S_OK;
        case TVarKind::String:
            out = in;
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
        }
    case TAutoType::Dispatch:
        switch (in.Kind) {
        case TVarKind::Empty:
        case TVarKind::Null:
            out = TOleVariant::FromDispatch(nullptr);
            return S_OK;
        case TVarKind::Dispatch:
            out = in;
            return S_OK;
        default:
            return DISP_E_TYPEMISMATCH;
        }
    }
    return DISP_E_TYPEMISMATCH;
}

void SetErrorInfo(const TExcepInfo& info) {
    ErrorSlot() = info;
}

bool GetErrorInfo(TExcepInfo& info) {
    std::optional<TExcepInfo>& slot = ErrorSlot();
    if (!slot) return false;
    info = std::move(*slot);
    slot.reset();
    return true;
}

HRESULT HandleSafeCallException(const std::string& progId, const IID& iid) {
    TExcepInfo info;
    info.Code = E_UNEXPECTED;
    try {
        throw;
    } catch (const EOleSysError& e) {
        info.Code = e.ErrorCode;
        info.Description = OleErrorMessage(e.ErrorCode);
    } catch (...) {
        info.Description = ExceptionMessageText();
    }
    info.Source = progId;
    info.Iid = iid;
    SetErrorInfo(info);
    return info.Code;
}

const TMemberDesc* ResolveMember(const TInterfaceDesc& desc, int32_t dispId, uint16_t flags) {
    if (flags & ikPropertyPut) return desc.Find(dispId, ikPropertyPut);
    if (flags & ikPropertyGet)
        if (const TMemberDesc* member = desc.Find(dispId, ikPropertyGet)) return member;
    if (flags & ikMethod) return desc.Find(dispId, ikMethod);
    return nullptr;
}

HRESULT PrepareInvoke(const TMemberDesc* member, std::vector<TOleVariant>& args) {
    if (!member) return DISP_E_MEMBERNOTFOUND;
    if (static_cast<int>(args.size()) < member->RequiredParams() || args.size() > member->Params.size())
        return DISP_E_BADPARAMCOUNT;
    for (size_t i = 0; i < args.size(); ++i) {
        TOleVariant converted;
        if (const HRESULT hr = ChangeType(args[i], member->Params[i].Type, converted); FAILED(hr)) return hr;
        args[i] = std::move(converted);
    }
    // The member reports its own failure; none of an earlier call may be taken for it.
    TExcepInfo stale;
    GetErrorInfo(stale);
    return S_OK;
}

HRESULT ReportInvokeFailure(HRESULT hr, const std::string& progId, const IID& iid, TExcepInfo* excepInfo) {
    TExcepInfo info;
    if (!GetErrorInfo(info)) {
        info.Code = hr;
        info.Source = progId;
        info.Description = OleErrorMessage(hr);
        info.Iid = iid;
    }
    if (excepInfo) *excepInfo = std::move(info);
    return DISP_E_EXCEPTION;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, DWORD classContext, const IID& iid,
                         void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    TComPtr<IClassFactory> factory;
    const HRESULT hr = CoGetClassObject(clsid, classContext, nullptr, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(outer, iid, object);
}
