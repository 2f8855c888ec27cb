#include "u_HostExternal.h"

#include "frm_UserForm.h"
#include "u_GObject.h"
#include "u_MXWebBrowser.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_UserForms.h"

#include <webkit2/webkit2.h>

namespace {

// The main window every story and browser member works on; gone once it has been destroyed.
IHostWindow& MainWindow(const THostWindow& window) {
    IHostWindow* main = LinkedWindow(window);
    if (!main) throw Exception(SNoMainWindow);
    return *main;
}

TStory& MainStory(const THostWindow& window) {
    TStory* story = MainWindow(window).Story();
    if (!story) throw Exception(SNoMainWindow);
    return *story;
}

void ShowStoryPage(const THostWindow& window) {
    MainWindow(window).ShowStoryPage();
}

std::string CurrentPage(const THostWindow& window) {
    return MainWindow(window).GetCurrentPage();
}

constexpr int16_t VariantBool(bool value) {
    return value ? -1 : 0;
}

TOleVariant BoolResult(int16_t value) {
    return TOleVariant::FromBool(value != 0);
}

// IWebBrowser2 for scripts, over one page view.
class TWebBrowserObject final : public TAutoObject<IDispatch> {
  public:
    explicit TWebBrowserObject(TMXWebBrowser* browser) : FBrowser(browser) {}
    void Detach() { FBrowser = nullptr; }

  protected:
    const TInterfaceDesc& Desc() const override { return IWebBrowser2Desc(); }
    std::string ProgId() const override { return "Shell.Explorer.2"; }
    HRESULT CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                       TOleVariant& result) override {
        try {
            if (!FBrowser) throw Exception(SBrowserClosed);
            TMXWebBrowser& browser = *FBrowser;
            switch (member.DispId) {
            case 100:
                OleCheck(browser.GoBack());
                break;
            case 101:
                OleCheck(browser.GoForward());
                break;
            case 102:
                browser.GoHome();
                break;
            case 104:
                browser.Navigate(WideToAnsi(args[0].StringValue));
                break;
            case -550:
                OleCheck(browser.ExecWB(OLECMDID_REFRESH, OLECMDEXECOPT_DONTPROMPTUSER));
                break;
            case 210:
                result = TOleVariant::FromString(AnsiToWide(browser.LocationName()));
                break;
            case 211:
                result = TOleVariant::FromString(AnsiToWide(browser.LocationURL()));
                break;
            case 212:
                result = TOleVariant::FromBool(browser.ReadyState() == READYSTATE_LOADING ||
                                               browser.ReadyState() == READYSTATE_INTERACTIVE);
                break;
            case -525:
                result = TOleVariant::FromInt(browser.ReadyState());
                break;
            case 502: {
                TOleVariant input;
                // An empty or null input is no input, as for any optional argument left out.
                if (args.size() > 2 && args[2].Kind != TVarKind::Empty && args[2].Kind != TVarKind::Null)
                    OleCheck(ChangeType(args[2], TAutoType::Int32, input));
                OleCheck(browser.ExecWB(args[0].IntValue, args[1].IntValue, input.IntValue));
                break;
            }
            default:
                return DISP_E_MEMBERNOTFOUND;
            }
            return S_OK;
        } catch (...) {
            return HandleException();
        }
    }

  private:
    TMXWebBrowser* FBrowser;
};

constexpr const char* AutomationKey = "tomevane-automation-object";

} // namespace

TComPtr<IDispatch> WebBrowserObject(TMXWebBrowser& browser) {
    GObject* view = G_OBJECT(browser.View());
    if (auto* existing = static_cast<TWebBrowserObject*>(g_object_get_data(view, AutomationKey)))
        return TComPtr<IDispatch>(existing);
    auto* object = new TWebBrowserObject(&browser);
    object->AddRef(); // the view's own reference, dropped when the view goes
    g_object_set_data_full(view, AutomationKey, object, [](gpointer data) {
        auto* dropped = static_cast<TWebBrowserObject*>(data);
        dropped->Detach();
        dropped->Release();
    });
    ConnectSignal<void(GtkWidget*)>(
        view, "destroy",
        [](GtkWidget* widget) { g_object_set_data(G_OBJECT(widget), AutomationKey, nullptr); }, "page view");
    return TComPtr<IDispatch>(object);
}

// THostExternal

HRESULT THostExternal::get_Story(TComPtr<IStory>& value) {
    try {
        if (!CachedStory)
        {
            OleCheck(CoCreateInstance(CLSID_Story, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                      IID_IStory, CachedStory.PutVoid()));
            static_cast<TExternalStory*>(CachedStory.Get())->SetWindow(FWindow);
        }
        value = CachedStory;
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT THostExternal::get_WebBrowser(TComPtr<IDispatch>& value) {
    try {
        TMXWebBrowser* view = MainWindow(FWindow).PageView();
        if (!view) throw Exception(SNoMainWindow);
        value = WebBrowserObject(*view);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT THostExternal::get_UserForm(TComPtr<IUserForm>& value) {
    try {
        if (!ActiveUserForm) throw EUserFormsError(SNoActiveForm);
        value = ActiveUserForm;
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT THostExternal::ShowUserForm(const std::u16string& formName) {
    try {
        const std::string name = WideToAnsi(formName);
        TUserForm* definition = UserForms ? UserForms->FindForm(name) : nullptr;
        if (!definition) throw EUserFormsError(Format(SFormNotFound, name.c_str()));
        // A form opened now would run its modal loop inside the closing one, over a window that is
        // going away.
        if (IHostWindow* main = LinkedWindow(FWindow); main && main->Closing())
            throw EUserFormsError(SViewerClosing);
        auto window = std::make_unique<TfrmUserForm>(FWindow);
        TComPtr<TExternalUserForm> external;
        try {
            definition->ApplyTo(*window);
            external = TComPtr<TExternalUserForm>(new TExternalUserForm(window.get()));
            ActiveUserForm = TComPtr<IUserForm>(external.Get());
            window->ShowModal();
        } catch (...) {
            ActiveUserForm.Reset();
            if (external) external->Detach();
            throw;
        }
        // A form opened from inside this one has already emptied the slot; it stays empty.
        ActiveUserForm.Reset();
        external->Detach();
        window.reset();
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT THostExternal::Terminate() {
    try {
        MainWindow(FWindow).PostClose();
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

TfrmUserForm* THostExternal::ActiveForm() const {
    auto* external = static_cast<TExternalUserForm*>(ActiveUserForm.Get());
    return external ? external->Form() : nullptr;
}

HRESULT THostExternal::CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                                  TOleVariant& result) {
    HRESULT hr = S_OK;
    switch (member.DispId) {
    case 201: {
        TComPtr<IUserForm> form;
        hr = get_UserForm(form);
        result = TOleVariant::FromDispatch(TComPtr<IDispatch>(form.Get()));
        break;
    }
    case 202: {
        TComPtr<IStory> story;
        hr = get_Story(story);
        result = TOleVariant::FromDispatch(TComPtr<IDispatch>(story.Get()));
        break;
    }
    case 203: {
        TComPtr<IDispatch> browser;
        hr = get_WebBrowser(browser);
        result = TOleVariant::FromDispatch(browser);
        break;
    }
    case 204:
        hr = ShowUserForm(args[0].StringValue);
        break;
    case 205:
        hr = Terminate();
        break;
    default:
        hr = DISP_E_MEMBERNOTFOUND;
    }
    return hr;
}

// TExternalStory

HRESULT TExternalStory::get_Current(std::u16string& value) {
    try {
        value = AnsiToWide(CurrentPage(FWindow));
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::First() {
    try {
        MainStory(FWindow).First();
        ShowStoryPage(FWindow);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::Last() {
    try {
        MainStory(FWindow).Last();
        ShowStoryPage(FWindow);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::Next() {
    try {
        MainStory(FWindow).Next(CurrentPage(FWindow));
        ShowStoryPage(FWindow);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::Prior() {
    try {
        MainStory(FWindow).Prior(CurrentPage(FWindow));
        ShowStoryPage(FWindow);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::NextChapter(int32_t level) {
    try {
        MainStory(FWindow).NextChapter(CurrentPage(FWindow), level);
        ShowStoryPage(FWindow);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::PriorChapter(int32_t level) {
    try {
        MainStory(FWindow).PriorChapter(CurrentPage(FWindow), level);
        ShowStoryPage(FWindow);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::get_Bof(int16_t& value) {
    try {
        MainWindow(FWindow).SyncStory();
        value = VariantBool(MainStory(FWindow).Bof());
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::get_Eof(int16_t& value) {
    try {
        MainWindow(FWindow).SyncStory();
        value = VariantBool(MainStory(FWindow).Eof());
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalStory::CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                                   TOleVariant& result) {
    switch (member.DispId) {
    case 201: {
        std::u16string value;
        const HRESULT hr = get_Current(value);
        result = TOleVariant::FromString(std::move(value));
        return hr;
    }
    case 202:
        return First();
    case 203:
        return Prior();
    case 204:
        return Next();
    case 205:
        return Last();
    case 206:
    case 207: {
        int16_t value = 0;
        const HRESULT hr = member.DispId == 206 ? get_Bof(value) : get_Eof(value);
        result = BoolResult(value);
        return hr;
    }
    case 208:
        return PriorChapter(args[0].IntValue);
    case 209:
        return NextChapter(args[0].IntValue);
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// TExternalUserForm

TfrmUserForm& TExternalUserForm::Window() const {
    if (!FForm) throw EUserFormsError(SUserFormClosed);
    return *FForm;
}

HRESULT TExternalUserForm::get_WebBrowser(TComPtr<IDispatch>& value) {
    try {
        value = WebBrowserObject(*Window().webUserForm);
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalUserForm::Close() {
    try {
        Window().Close();
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

#define TV_USERFORM_BOUND(Name)                                                                              \
    HRESULT TExternalUserForm::get_##Name(int32_t& value) {                                                  \
        try {                                                                                                \
            value = Window().Name();                                                                         \
            return S_OK;                                                                                     \
        } catch (...) {                                                                                      \
            return HandleException();                                                                        \
        }                                                                                                    \
    }                                                                                                        \
    HRESULT TExternalUserForm::put_##Name(int32_t value) {                                                   \
        try {                                                                                                \
            Window().Set##Name(value);                                                                       \
            return S_OK;                                                                                     \
        } catch (...) {                                                                                      \
            return HandleException();                                                                        \
        }                                                                                                    \
    }
TV_USERFORM_BOUND(Left)
TV_USERFORM_BOUND(Top)
TV_USERFORM_BOUND(Width)
TV_USERFORM_BOUND(Height)
#undef TV_USERFORM_BOUND

HRESULT TExternalUserForm::get_Caption(std::u16string& value) {
    try {
        value = AnsiToWide(Window().Caption());
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalUserForm::put_Caption(const std::u16string& value) {
    try {
        Window().SetCaption(WideToAnsi(value));
        return S_OK;
    } catch (...) {
        return HandleException();
    }
}

HRESULT TExternalUserForm::CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                                      TOleVariant& result) {
    const bool put = member.Kind == ikPropertyPut;
    int32_t number = 0;
    HRESULT hr = S_OK;
    switch (member.DispId) {
    case 201: {
        TComPtr<IDispatch> browser;
        hr = get_WebBrowser(browser);
        result = TOleVariant::FromDispatch(browser);
        return hr;
    }
    case 202:
        return Close();
    case 203:
        hr = put ? put_Left(args[0].IntValue) : get_Left(number);
        break;
    case 204:
        hr = put ? put_Top(args[0].IntValue) : get_Top(number);
        break;
    case 205:
        hr = put ? put_Width(args[0].IntValue) : get_Width(number);
        break;
    case 206:
        hr = put ? put_Height(args[0].IntValue) : get_Height(number);
        break;
    case 207: {
        if (put) return put_Caption(args[0].StringValue);
        std::u16string caption;
        hr = get_Caption(caption);
        result = TOleVariant::FromString(std::move(caption));
        return hr;
    }
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!put) result = TOleVariant::FromInt(number);
    return hr;
}

void RegisterVellumetClasses() {
    CoRegisterClassObject(CLSID_HostExternal,
                          TComPtr<IClassFactory>(new TClassFactory<THostExternal>).Get());
    CoRegisterClassObject(CLSID_Story, TComPtr<IClassFactory>(new TClassFactory<TExternalStory>).Get());
    CoRegisterClassObject(CLSID_UserForm,
                          TComPtr<IClassFactory>(new TClassFactory<TExternalUserForm>).Get());
}
