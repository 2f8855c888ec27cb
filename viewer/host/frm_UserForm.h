// TfrmUserForm: the window of a user form, a page of the book in a modal window. Created per
// opening by the script host object (ShowUserForm), given its definition (TUserForm::ApplyTo),
// shown with ShowModal and freed when that returns.
//
// Bounds are the outer window in screen pixels. They are kept here as last set or reported by the
// window system, so that a script that sets Width reads the new width back at once, before the
// window system has answered.
#pragma once

#include "u_HostWindow.h"
#include "u_MXWebBrowser.h"
#include "u_UserForms.h"

#include "u_GObject.h"
#include "u_WindowOwner.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>

// Modal results.
inline constexpr int mrNone = 0;
inline constexpr int mrCancel = 2;

class TfrmUserForm {
    TWindowOwner FWindow; // first made, last destroyed

  public:
    // The designed window: caption "frmUserForm", 696 x 480 at 272, 221, single border, the page
    // view filling it with images, videos and background sounds and no host UI flags. owner: the
    // main window, which the shown form stays above and whose host object its pages get.
    explicit TfrmUserForm(THostWindow owner = nullptr);
    TfrmUserForm(const TfrmUserForm&) = delete;
    TfrmUserForm& operator=(const TfrmUserForm&) = delete;
    ~TfrmUserForm();

    GtkWindow* Window() const { return FWindow.Window(); }
    // The user form of window, when it is a user form's window.
    static TfrmUserForm* FromWindow(GtkWindow* window);

    std::unique_ptr<TMXWebBrowser> webUserForm;

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    // No range check: what the window system cannot show (a width of 0) it shows as small as it can.
    void SetLeft(int value);
    void SetTop(int value);
    void SetWidth(int value);
    void SetHeight(int value);

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle value);
    TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(TBorderIcons value);
    // The caption in the system code page.
    std::string Caption() const;
    void SetCaption(const std::string& value);
    // Centred on the screen when shown; wins over Left and Top.
    bool Center() const { return FCenter; }
    void SetCenter(bool value);

    // Shows the window modally over the main window and runs a nested main loop until the modal
    // result is set (Close, the close box, the page's window.close(), or the main window going
    // away). Returns the modal result; the window is hidden again.
    int ShowModal();
    int ModalResult() const { return FModalResult; }
    // Setting a result other than mrNone ends the modal display once control is back in its loop.
    void SetModalResult(int value);
    // The script's Close: the modal result becomes mrCancel.
    void Close() { SetModalResult(mrCancel); }

    // Event handlers of webUserForm.
    HRESULT webUserForm2GetExternal(TComPtr<IUnknown>& external);
    void webUserFormCloseQuery(TMXWebBrowser* sender, bool& canClose);

  private:
    bool on_delete_event(GdkEventAny* event);
    bool on_configure_event(GdkEventConfigure* event);
    void ApplyWindowFunctions();
    // Width and height the window's decorations add to the page area.
    void DecorationSize(int& width, int& height) const;

    int FLeft = 272;
    int FTop = 221;
    int FWidth = 696;
    int FHeight = 480;
    TFormBorderStyle FBorderStyle = TFormBorderStyle::bsSingle;
    TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
    bool FCenter = false;
    int FModalResult = mrNone;
    TGlibPtr<GMainLoop, g_main_loop_unref> FLoop;
    TSignalConnection FOwnerHidden;
    THostWindow FOwner;

    // The main window's top-level window, or none once it has gone.
    GtkWindow* OwnerWindow() const;
};
