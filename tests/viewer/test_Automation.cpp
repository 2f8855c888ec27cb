// The automation layer: arguments converted to declared types, the object-model table, and
// failures reported with the message, source and interface.
#include "u_Automation.h"
#include "u_HostExternal.h"
#include "u_HostScript.h"

#include <gtest/gtest.h>

namespace {

TOleVariant Converted(const TOleVariant& in, TAutoType type, HRESULT expected = S_OK) {
    TOleVariant out;
    EXPECT_EQ(ChangeType(in, type, out), expected);
    return out;
}

TEST(Automation, IntegerArgumentsAreRoundedHalfToEvenAndTextMustBeANumber) {
    EXPECT_EQ(Converted(TOleVariant::FromDouble(2.5), TAutoType::Int32).IntValue, 2);
    EXPECT_EQ(Converted(TOleVariant::FromDouble(3.5), TAutoType::Int32).IntValue, 4);
    EXPECT_EQ(Converted(TOleVariant::FromString(u" 12 "), TAutoType::Int32).IntValue, 12);
    EXPECT_EQ(Converted(TOleVariant::FromBool(true), TAutoType::Int32).IntValue, -1);
    Converted(TOleVariant::FromString(u"twelve"), TAutoType::Int32, DISP_E_TYPEMISMATCH);
    Converted(TOleVariant::FromString(u"0x10"), TAutoType::Int32, DISP_E_TYPEMISMATCH);
    Converted(TOleVariant::FromString(u""), TAutoType::Int32, DISP_E_TYPEMISMATCH);
    Converted(TOleVariant::Null(), TAutoType::Int32, DISP_E_TYPEMISMATCH);
    Converted(TOleVariant::FromDouble(3e9), TAutoType::Int32, DISP_E_OVERFLOW);
}

TEST(Automation, TextArgumentsTakeNumbersAndBooleans) {
    EXPECT_EQ(Converted(TOleVariant::FromInt(12), TAutoType::WideString).StringValue, u"12");
    EXPECT_EQ(Converted(TOleVariant::FromDouble(0.1), TAutoType::WideString).StringValue, u"0.1");
    EXPECT_EQ(Converted(TOleVariant::FromBool(false), TAutoType::WideString).StringValue, u"False");
    Converted(TOleVariant::Null(), TAutoType::WideString, DISP_E_TYPEMISMATCH);
}

TEST(Automation, TheTableHoldsTheLibraryInSlotOrder) {
    const TTypeLibDesc& library = VellumetLibrary();
    EXPECT_STREQ(library.HelpString, "Vellumet Library");
    EXPECT_EQ(library.MajorVersion, 1);
    EXPECT_EQ(library.Lcid, 1033u);
    std::string slots;
    for (const TMemberDesc& m : IHostExternalDesc().Members)
        slots += std::string(m.Name) + " ";
    EXPECT_EQ(slots, "Story WebBrowser UserForm ShowUserForm Terminate ");
    const TMemberDesc* width = IUserFormDesc().Find(205, ikPropertyPut);
    ASSERT_NE(width, nullptr);
    EXPECT_EQ(width - IUserFormDesc().Find(205, ikPropertyGet), 1); // read slot, then write slot
    EXPECT_EQ(ProgIDFromCLSID(CLSID_Story), "Vellumet.Story");
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID("vellumet.userform", clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_UserForm);
    // Every type has its own identifier.
    const GUID ids[] = {LIBID_Vellumet, IID_IHostExternal, CLSID_HostExternal, IID_IStory,
                        CLSID_Story,    IID_IUserForm,     CLSID_UserForm};
    for (size_t i = 0; i < std::size(ids); ++i)
        for (size_t j = i + 1; j < std::size(ids); ++j)
            EXPECT_FALSE(ids[i] == ids[j]);
    EXPECT_NE(HostUserScript().find("[\"NextChapter\",209,1,0]"), std::string::npos);
}

TEST(Automation, FailuresCarryMessageSourceAndInterface) {
    // A host without forms and without a main window: the factory's instance.
    TComPtr<IDispatch> host;
    ASSERT_EQ(
        CoCreateInstance(CLSID_HostExternal, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, host.PutVoid()),
        S_OK);
    std::vector<TOleVariant> args{TOleVariant::FromString(u"About")};
    TExcepInfo info;
    EXPECT_EQ(host->Invoke(204, ikMethod, args, nullptr, &info), DISP_E_EXCEPTION);
    EXPECT_EQ(info.Code, E_UNEXPECTED);
    EXPECT_EQ(info.Description, "Form \"About\" not found");
    EXPECT_EQ(info.Source, "Vellumet.HostExternal");
    EXPECT_TRUE(info.Iid == IID_IHostExternal);

    std::vector<TOleVariant> none;
    EXPECT_EQ(host->Invoke(204, ikMethod, none, nullptr, &info), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(host->Invoke(999, ikMethod, none, nullptr, &info), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(host->Invoke(202, ikPropertyPut, none, nullptr, &info), DISP_E_MEMBERNOTFOUND);

    // Objects made by the same factory share nothing, but one host keeps one story.
    auto* typed =
        static_cast<THostExternal*>(static_cast<IHostExternal*>(static_cast<IDispatch*>(host.Get())));
    TComPtr<IStory> first, second;
    ASSERT_EQ(typed->get_Story(first), S_OK);
    ASSERT_EQ(typed->get_Story(second), S_OK);
    EXPECT_EQ(first.Get(), second.Get());
    int16_t bof = 0;
    EXPECT_TRUE(FAILED(first->get_Bof(bof))); // no main window to work on
}

} // namespace
