#include "u_TypeLib.h"

#include "u_Text.h"

namespace {

using T = TAutoType;

// IWebBrowser2's dispatch ids as the browser control publishes them.
constexpr int32_t DISPID_READYSTATE = -525;
constexpr int32_t DISPID_REFRESH = -550;

} // namespace

int TMemberDesc::RequiredParams() const {
    int count = 0;
    for (const TParamDesc& param : Params)
        if (!param.Optional) ++count;
    return count;
}

const TMemberDesc* TInterfaceDesc::Find(int32_t dispId, TInvokeKind kind) const {
    for (const TMemberDesc& member : Members)
        if (member.DispId == dispId && member.Kind == kind) return &member;
    return nullptr;
}

const TMemberDesc* TInterfaceDesc::FindByName(std::string_view name) const {
    for (const TMemberDesc& member : Members)
        if (AsciiSameText(member.Name, name)) return &member;
    return nullptr;
}

const TInterfaceDesc& IHostExternalDesc() {
    static const TInterfaceDesc desc{
        "IHostExternal",
        IID_IHostExternal,
        "Dispatch interface for HostExternal Object",
        true,
        {
            {202, "Story", ikPropertyGet, T::Dispatch, {}, "IStory"},
            {203, "WebBrowser", ikPropertyGet, T::Dispatch, {}},
            {201, "UserForm", ikPropertyGet, T::Dispatch, {}, "IUserForm"},
            {204, "ShowUserForm", ikMethod, T::Void, {{"FormName", T::WideString}}},
            {205, "Terminate", ikMethod, T::Void, {}},
        }};
    return desc;
}

const TInterfaceDesc& IStoryDesc() {
    static const TInterfaceDesc desc{"IStory",
                                     IID_IStory,
                                     "Dispatch interface for Story Object",
                                     true,
                                     {
                                         {201, "Current", ikPropertyGet, T::WideString, {}},
                                         {202, "First", ikMethod, T::Void, {}},
                                         {203, "Prior", ikMethod, T::Void, {}},
                                         {204, "Next", ikMethod, T::Void, {}},
                                         {205, "Last", ikMethod, T::Void, {}},
                                         {206, "Bof", ikPropertyGet, T::Bool, {}},
                                         {207, "Eof", ikPropertyGet, T::Bool, {}},
                                         {208, "PriorChapter", ikMethod, T::Void, {{"Level", T::Int32}}},
                                         {209, "NextChapter", ikMethod, T::Void, {{"Level", T::Int32}}},
                                     }};
    return desc;
}

const TInterfaceDesc& IUserFormDesc() {
    static const TInterfaceDesc desc{
        "IUserForm",
        IID_IUserForm,
        nullptr,
        true,
        {
            {201, "WebBrowser", ikPropertyGet, T::Dispatch, {}},
            {202, "Close", ikMethod, T::Void, {}},
            {203, "Left", ikPropertyGet, T::Int32, {}},
            {203, "Left", ikPropertyPut, T::Int32, {{"Value", T::Int32}}},
            {204, "Top", ikPropertyGet, T::Int32, {}},
            {204, "Top", ikPropertyPut, T::Int32, {{"Value", T::Int32}}},
            {205, "Width", ikPropertyGet, T::Int32, {}},
            {205, "Width", ikPropertyPut, T::Int32, {{"Value", T::Int32}}},
            {206, "Height", ikPropertyGet, T::Int32, {}},
            {206, "Height", ikPropertyPut, T::Int32, {{"Value", T::Int32}}},
            {207, "Caption", ikPropertyGet, T::WideString, {}},
            {207, "Caption", ikPropertyPut, T::WideString, {{"Value", T::WideString}}},
        }};
    return desc;
}

const TInterfaceDesc& IWebBrowser2Desc() {
    // The members of the browser control's interface that page scripts are offered.
    static const TInterfaceDesc desc{"IWebBrowser2",
                                     IID_IWebBrowser2,
                                     nullptr,
                                     true,
                                     {
                                         {100, "GoBack", ikMethod, T::Void, {}},
                                         {101, "GoForward", ikMethod, T::Void, {}},
                                         {102, "GoHome", ikMethod, T::Void, {}},
                                         {104,
                                          "Navigate",
                                          ikMethod,
                                          T::Void,
                                          {{"URL", T::WideString},
                                           {"Flags", T::Variant, true},
                                           {"TargetFrameName", T::Variant, true},
                                           {"PostData", T::Variant, true},
                                           {"Headers", T::Variant, true}}},
                                         {DISPID_REFRESH, "Refresh", ikMethod, T::Void, {}},
                                         {210, "LocationName", ikPropertyGet, T::WideString, {}},
                                         {211, "LocationURL", ikPropertyGet, T::WideString, {}},
                                         {212, "Busy", ikPropertyGet, T::Bool, {}},
                                         {DISPID_READYSTATE, "ReadyState", ikPropertyGet, T::Int32, {}},
                                         {502,
                                          "ExecWB",
                                          ikMethod,
                                          T::Void,
                                          {{"cmdID", T::Int32},
                                           {"cmdexecopt", T::Int32},
                                           {"pvaIn", T::Variant, true},
                                           {"pvaOut", T::Variant, true}}},
                                     }};
    return desc;
}

const TCoClassDesc& HostExternalClass() {
    static const TCoClassDesc desc{"HostExternal", CLSID_HostExternal, "HostExternal Object",
                                   &IHostExternalDesc()};
    return desc;
}

const TCoClassDesc& StoryClass() {
    static const TCoClassDesc desc{"Story", CLSID_Story, "Story Object", &IStoryDesc()};
    return desc;
}

const TCoClassDesc& UserFormClass() {
    static const TCoClassDesc desc{"UserForm", CLSID_UserForm, nullptr, &IUserFormDesc()};
    return desc;
}

const TTypeLibDesc& VellumetLibrary() {
    static const TTypeLibDesc desc{"Vellumet",
                                   "Vellumet Library",
                                   LIBID_Vellumet,
                                   1,
                                   0,
                                   1033,
                                   {&IHostExternalDesc(), &IStoryDesc(), &IUserFormDesc()},
                                   {&HostExternalClass(), &StoryClass(), &UserFormClass()}};
    return desc;
}

const std::vector<const TInterfaceDesc*>& ScriptInterfaces() {
    static const std::vector<const TInterfaceDesc*> all{&IHostExternalDesc(), &IStoryDesc(), &IUserFormDesc(),
                                                        &IWebBrowser2Desc()};
    return all;
}

const TInterfaceDesc* FindInterfaceDesc(std::string_view name) {
    for (const TInterfaceDesc* desc : ScriptInterfaces())
        if (name == desc->Name) return desc;
    return nullptr;
}

std::string ProgIDFromCLSID(const CLSID& clsid) {
    const TTypeLibDesc& library = VellumetLibrary();
    for (const TCoClassDesc* coClass : library.CoClasses)
        if (coClass->Clsid == clsid) return std::string(library.Name) + "." + coClass->Name;
    return {};
}

HRESULT CLSIDFromProgID(std::string_view progId, CLSID& clsid) {
    const TTypeLibDesc& library = VellumetLibrary();
    for (const TCoClassDesc* coClass : library.CoClasses) {
        if (AsciiSameText(progId, std::string(library.Name) + "." + coClass->Name)) {
            clsid = coClass->Clsid;
            return S_OK;
        }
    }
    return REGDB_E_CLASSNOTREG;
}
