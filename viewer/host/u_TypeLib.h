// The script object model as one table: the type library Vellumet with its three dual interfaces
// (IHostExternal, IStory, IUserForm) and three classes, every member with its dispatch id, kind,
// argument and result types in slot order; and the part of the browser control's own automation
// interface (IWebBrowser2) that scripts reach through WebBrowser.
//
// The automation layer (u_Automation) checks and converts arguments against this table, the
// page-script binding (u_HostScript) generates its proxies from it, and the debug log names
// members by it. The identifiers are fixed: the same in every build.
#pragma once

#include "u_ActiveX.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The types members take and give.
enum class TAutoType : uint8_t {
    Void,       // a method without result
    Bool,       // automation Boolean: true is -1
    Int32,      // 32-bit integer
    WideString, // wide text
    Dispatch,   // an automation object
    Variant,    // any value, left to the member to interpret
};

// How a member is invoked; the values are the platform's invoke flags.
enum TInvokeKind : uint16_t {
    ikMethod = 1,
    ikPropertyGet = 2,
    ikPropertyPut = 4,
};

struct TParamDesc {
    const char* Name;
    TAutoType Type;
    bool Optional = false;
};

struct TMemberDesc {
    int32_t DispId;
    const char* Name;
    TInvokeKind Kind;
    // The result of a get or a method; the value of a put.
    TAutoType Type;
    std::vector<TParamDesc> Params;
    // Name of the interface a Dispatch result is declared as, or nullptr for plain IDispatch.
    const char* ResultInterface = nullptr;

    int RequiredParams() const;
};

struct TInterfaceDesc {
    const char* Name;
    IID Iid;
    const char* HelpString; // nullptr: none
    bool Dual;
    // In slot order; a read-write property has its read slot followed by its write slot.
    std::vector<TMemberDesc> Members;

    const TMemberDesc* Find(int32_t dispId, TInvokeKind kind) const;
    // Dispatch id of a member by name (case-insensitive, as the platform's name lookup), or none.
    const TMemberDesc* FindByName(std::string_view name) const;
};

struct TCoClassDesc {
    const char* Name;
    CLSID Clsid;
    const char* HelpString;
    const TInterfaceDesc* DefaultInterface;
};

struct TTypeLibDesc {
    const char* Name;
    const char* HelpString;
    GUID LibId;
    uint16_t MajorVersion;
    uint16_t MinorVersion;
    uint32_t Lcid;
    std::vector<const TInterfaceDesc*> Interfaces;
    std::vector<const TCoClassDesc*> CoClasses;
};

inline constexpr IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IWebBrowser2 = {
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

inline constexpr GUID LIBID_Vellumet = {
    0x6B1D2F40, 0x3C8E, 0x4E51, {0x9A, 0x27, 0x51, 0x0C, 0x7E, 0x44, 0x19, 0xA1}};
inline constexpr IID IID_IHostExternal = {
    0x6B1D2F41, 0x3C8E, 0x4E51, {0x9A, 0x27, 0x51, 0x0C, 0x7E, 0x44, 0x19, 0xA1}};
inline constexpr CLSID CLSID_HostExternal = {
    0x6B1D2F42, 0x3C8E, 0x4E51, {0x9A, 0x27, 0x51, 0x0C, 0x7E, 0x44, 0x19, 0xA1}};
inline constexpr IID IID_IStory = {
    0x6B1D2F43, 0x3C8E, 0x4E51, {0x9A, 0x27, 0x51, 0x0C, 0x7E, 0x44, 0x19, 0xA1}};
inline constexpr CLSID CLSID_Story = {
    0x6B1D2F44, 0x3C8E, 0x4E51, {0x9A, 0x27, 0x51, 0x0C, 0x7E, 0x44, 0x19, 0xA1}};
inline constexpr IID IID_IUserForm = {
    0x6B1D2F45, 0x3C8E, 0x4E51, {0x9A, 0x27, 0x51, 0x0C, 0x7E, 0x44, 0x19, 0xA1}};
inline constexpr CLSID CLSID_UserForm = {
    0x6B1D2F46, 0x3C8E, 0x4E51, {0x9A, 0x27, 0x51, 0x0C, 0x7E, 0x44, 0x19, 0xA1}};

const TInterfaceDesc& IHostExternalDesc();
const TInterfaceDesc& IStoryDesc();
const TInterfaceDesc& IUserFormDesc();
const TInterfaceDesc& IWebBrowser2Desc();
const TCoClassDesc& HostExternalClass();
const TCoClassDesc& StoryClass();
const TCoClassDesc& UserFormClass();
const TTypeLibDesc& VellumetLibrary();

// The interfaces scripts can meet: the library's and IWebBrowser2.
const std::vector<const TInterfaceDesc*>& ScriptInterfaces();
const TInterfaceDesc* FindInterfaceDesc(std::string_view name);

// "Vellumet.HostExternal" for a class of the library; empty for an unknown class.
std::string ProgIDFromCLSID(const CLSID& clsid);
// REGDB_E_CLASSNOTREG for an unknown program identifier (compared ignoring case).
HRESULT CLSIDFromProgID(std::string_view progId, CLSID& clsid);
