// The script host object, window.external of every book page in the main window and in user
// forms: THostExternal (IHostExternal) with the story (TExternalStory, IStory), the open user form
// (TExternalUserForm, IUserForm) and the browsers' automation objects (TWebBrowserObject, the
// members of IWebBrowser2 that scripts use). The toolbar's story and browser commands go through
// the same object, so scripts and buttons behave alike.
//
// The dual interfaces are C++ interfaces whose members return result codes; each member traps its
// failures (u_Automation). Everything runs on the GUI thread; ShowUserForm runs a nested main loop
// during which pages keep calling into the same objects.
#pragma once

#include "u_Automation.h"
#include "u_HostWindow.h"

#include <memory>
#include <string>

class TUserForms;
class TfrmUserForm;
class TMXWebBrowser;

class IStory : public IDispatch {
  public:
    virtual HRESULT get_Current(std::u16string& value) = 0;
    virtual HRESULT First() = 0;
    virtual HRESULT Prior() = 0;
    virtual HRESULT Next() = 0;
    virtual HRESULT Last() = 0;
    // Automation Booleans: -1 true, 0 false.
    virtual HRESULT get_Bof(int16_t& value) = 0;
    virtual HRESULT get_Eof(int16_t& value) = 0;
    virtual HRESULT PriorChapter(int32_t level) = 0;
    virtual HRESULT NextChapter(int32_t level) = 0;
};

class IUserForm : public IDispatch {
  public:
    virtual HRESULT get_WebBrowser(TComPtr<IDispatch>& value) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT get_Left(int32_t& value) = 0;
    virtual HRESULT put_Left(int32_t value) = 0;
    virtual HRESULT get_Top(int32_t& value) = 0;
    virtual HRESULT put_Top(int32_t value) = 0;
    virtual HRESULT get_Width(int32_t& value) = 0;
    virtual HRESULT put_Width(int32_t value) = 0;
    virtual HRESULT get_Height(int32_t& value) = 0;
    virtual HRESULT put_Height(int32_t value) = 0;
    virtual HRESULT get_Caption(std::u16string& value) = 0;
    virtual HRESULT put_Caption(const std::u16string& value) = 0;
};

class IHostExternal : public IDispatch {
  public:
    virtual HRESULT get_Story(TComPtr<IStory>& value) = 0;
    virtual HRESULT get_WebBrowser(TComPtr<IDispatch>& value) = 0;
    virtual HRESULT get_UserForm(TComPtr<IUserForm>& value) = 0;
    virtual HRESULT ShowUserForm(const std::u16string& formName) = 0;
    virtual HRESULT Terminate() = 0;
};

// Messages of objects whose window has gone.
inline constexpr const char* SUserFormClosed = "The user form has been closed";
inline constexpr const char* SBrowserClosed = "The browser has been closed";
inline constexpr const char* SNoMainWindow = "The main window has been closed";
inline constexpr const char* SViewerClosing = "The viewer is closing: no form opens now";

class THostExternal final : public TAutoObject<IHostExternal> {
  public:
    // userForms: the main window's definitions, shared: a host object that a page or a pending
    // call still holds keeps the forms it was made over after the book has been read anew. None
    // gives no forms. window: the main window that made it (none: the story and browser members
    // fail with SNoMainWindow, forms open without a window to stay above).
    explicit THostExternal(std::shared_ptr<const TUserForms> userForms = nullptr, THostWindow window = nullptr)
        : UserForms(std::move(userForms)), FWindow(std::move(window)) {}

    HRESULT get_Story(TComPtr<IStory>& value) override;
    HRESULT get_WebBrowser(TComPtr<IDispatch>& value) override;
    HRESULT get_UserForm(TComPtr<IUserForm>& value) override;
    HRESULT ShowUserForm(const std::u16string& formName) override;
    HRESULT Terminate() override;

    // The window of the user form being shown, or nullptr.
    TfrmUserForm* ActiveForm() const;

    TComPtr<IStory> CachedStory;
    TComPtr<IUserForm> ActiveUserForm;
    std::shared_ptr<const TUserForms> UserForms;

  protected:
    const TInterfaceDesc& Desc() const override { return IHostExternalDesc(); }
    std::string ProgId() const override { return "Vellumet.HostExternal"; }
    HRESULT CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                       TOleVariant& result) override;

  private:
    THostWindow FWindow;
};

class TExternalStory final : public TAutoObject<IStory> {
  public:
    // The main window whose story this object moves (none: every member fails with SNoMainWindow).
    void SetWindow(THostWindow window) { FWindow = std::move(window); }

    HRESULT get_Current(std::u16string& value) override;
    HRESULT First() override;
    HRESULT Prior() override;
    HRESULT Next() override;
    HRESULT Last() override;
    HRESULT get_Bof(int16_t& value) override;
    HRESULT get_Eof(int16_t& value) override;
    HRESULT PriorChapter(int32_t level) override;
    HRESULT NextChapter(int32_t level) override;

  protected:
    const TInterfaceDesc& Desc() const override { return IStoryDesc(); }
    std::string ProgId() const override { return "Vellumet.Story"; }
    HRESULT CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                       TOleVariant& result) override;

  private:
    THostWindow FWindow;
};

class TExternalUserForm final : public TAutoObject<IUserForm> {
  public:
    // Stands for form while its ShowUserForm call runs; Detach ends that (every call then fails
    // with SUserFormClosed and the window is never touched).
    explicit TExternalUserForm(TfrmUserForm* form = nullptr) : FForm(form) {}
    void Detach() { FForm = nullptr; }
    TfrmUserForm* Form() const { return FForm; }

    HRESULT get_WebBrowser(TComPtr<IDispatch>& value) override;
    HRESULT Close() override;
    HRESULT get_Left(int32_t& value) override;
    HRESULT put_Left(int32_t value) override;
    HRESULT get_Top(int32_t& value) override;
    HRESULT put_Top(int32_t value) override;
    HRESULT get_Width(int32_t& value) override;
    HRESULT put_Width(int32_t value) override;
    HRESULT get_Height(int32_t& value) override;
    HRESULT put_Height(int32_t value) override;
    HRESULT get_Caption(std::u16string& value) override;
    HRESULT put_Caption(const std::u16string& value) override;

  protected:
    const TInterfaceDesc& Desc() const override { return IUserFormDesc(); }
    std::string ProgId() const override { return "Vellumet.UserForm"; }
    HRESULT CallMember(const TMemberDesc& member, std::vector<TOleVariant>& args,
                       TOleVariant& result) override;

  private:
    TfrmUserForm& Window() const;
    TfrmUserForm* FForm;
};

// The automation object of one page view, what scripts get as WebBrowser. One per view, made on
// first request; when the view is destroyed the object lets go of it and every call fails with
// SBrowserClosed.
TComPtr<IDispatch> WebBrowserObject(TMXWebBrowser& browser);

// Registers the class factories of HostExternal, Story and UserForm (at process start).
void RegisterVellumetClasses();
