// The main window's start-up (creation), splash screens and closing.
#include "frm_Main.h"

#include "frm_Splash.h"
#include "u_BookReader.h"
#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_Dictionary.h"
#include "u_FolderArchive.h"
#include "u_GuardedCall.h"
#include "u_HostExternal.h"
#include "u_MFS.h"
#include "u_MFSProtocol.h"
#include "u_Pictures.h"
#include "u_Settings.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_UserForms.h"
#include "u_Variables.h"
#include "u_XMLParser.h"

#include <glibmm/main.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>
#include <gtkmm/main.h>

#include <filesystem>

namespace {

// While the windows are half on gtkmm, programs that start GTK without gtkmm (the tests) still need
// gtkmm's type map for the windows that use it. Goes with the last gtkmm window.
const bool GtkmmTypesReady = (Gtk::Main::init_gtkmm_internals(), true);

std::string CssColor(int32_t color) {
    return Format("#%02x%02x%02x", GetRValue(color), GetGValue(color), GetBValue(color));
}

void ProcessMessages() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// Each archive that is done wakes the main loop, which may be waiting for it.
void WakeMainLoop() {
    g_main_context_wakeup(nullptr);
}

} // namespace

std::unique_ptr<TBookArchiveLoader> StartArchiveLoader(const std::string& executable) {
    return std::make_unique<TBookArchiveLoader>(executable, WakeMainLoop);
}

std::unique_ptr<TBookArchiveLoader> StartBookFolderLoader(const std::string& bookFolder) {
    const auto source = [bookFolder](const char* folder) {
        return [path = (std::filesystem::path(bookFolder) / folder).string()] {
            auto archive = std::make_unique<TMFS>();
            BuildArchive(path, *archive);
            return archive;
        };
    };
    return std::make_unique<TBookArchiveLoader>(source("system"), source("pages"), WakeMainLoop);
}

TfrmMain::TfrmMain(std::string executable, std::unique_ptr<TBookArchiveLoader> archives)
    : FExecutable(std::move(executable)), FArchiveLoader(std::move(archives)) {
    frmMain = this;
    // Designed bounds and layout; the book's settings replace them during creation.
    set_title("Vellumet");
    set_default_size(627, 495);
    add(pnlClient);
    pnlToolbarCommon.set_size_request(-1, 40);
    pnlToolbar.pack_start(tbrMain, Gtk::PACK_EXPAND_WIDGET);
    pnlToolbarCommon.pack_start(pnlToolbar, Gtk::PACK_EXPAND_WIDGET);
    pnlLogo.set_size_request(100, -1);
    pnlLogo.add(imgLogo);
    pnlLogo.add_events(Gdk::BUTTON_PRESS_MASK);
    pnlLogo.signal_button_press_event().connect(Guarded("logo", [this](GdkEventButton*) {
        imgLogoClick();
        return true;
    }));
    pnlToolbarCommon.pack_end(pnlLogo, Gtk::PACK_SHRINK);
    pnlClient.pack_start(pnlToolbarCommon, Gtk::PACK_SHRINK);

    webMain = std::make_unique<TMXWebBrowser>();
    // The engine's web process starts now and gets ready while the book is read. The engine
    // finishes launching it from the main loop, so the loop runs once here: without that, the
    // process would wait idle for its first message until the window is shown.
    webMain->Prewarm();
    ProcessMessages();
    webMain->SetDownloadOptions({DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS});
    webMain->SetUserInterfaceOptions({});
    webMain->OnNavigateComplete2 = Guarded("navigation", [this](TMXWebBrowser* sender) { webMain2NavigateComplete2(sender); });
    webMain->OnDocumentComplete = Guarded("document", [this](TMXWebBrowser* sender) { webMain2DocumentComplete(sender); });
    webMain->OnShowContextMenu = [this](DWORD id, const TPoint& point, IUnknown* target, IUnknown* object) {
        return webMain2ShowContextMenu(id, point, target, object);
    };
    webMain->OnGetExternal = [this](TComPtr<IUnknown>& external) { return webMain2GetExternal(external); };
    webMain->InstallHostScript();
    pnlClient.pack_start(*Glib::wrap(webMain->Widget()), Gtk::PACK_EXPAND_WIDGET);
    pnlClient.show_all();

    signal_configure_event().connect(
        Guarded("resize", [this](GdkEventConfigure*) {
            FormResize();
            return false;
        }),
        false);
    gdk_event_handler_set(&TfrmMain::EventHook, this, nullptr);
    // GTK follows the owner of the selection a middle click pastes once that selection's clipboard
    // exists; the changes then reach the key filter like any event.
    gtk_clipboard_get(GDK_SELECTION_PRIMARY);
    SetMessageBoxOwner(gobj());
    // The opening splash is up before this window appears; it stays in view above it.
    signal_map_event().connect([](GdkEventAny*) {
        RaiseSplashes();
        return false;
    });

    FormCreate();
}

TfrmMain::~TfrmMain() {
    // The key filter goes first: no event may reach a window that is half gone.
    gdk_event_handler_set([](GdkEvent* event, gpointer) { gtk_main_do_event(event); }, nullptr, nullptr);
    if (MessageBoxOwner() == gobj()) SetMessageBoxOwner(nullptr);
    FPostedClose.disconnect();
    FPrintSectionsUpdate.disconnect();
    FWaitingRetry.disconnect();
    if (FToolbarCss) Gtk::StyleContext::remove_provider_for_screen(get_screen(), FToolbarCss);
    FormClose();
    FormDestroy();
    if (frmMain == this) frmMain = nullptr;
}

void TfrmMain::FormCreate() {
    try {
        FStartFailed = false;
        FCreated = false;
        FEndSplashIdle = true;
        FPageArchive = std::make_unique<TMFS>();
        FSystemArchive = std::make_unique<TMFS>();
        FImageIndexes = std::make_unique<TDictionary>(true, true);

        // Both archives are decoded on a worker thread, the page archive while the steps up to its
        // own run here; each step takes its archive when it needs it, with the failure it met.
        if (!FArchiveLoader) FArchiveLoader = StartArchiveLoader(FExecutable);
        FSystemArchive = FArchiveLoader->TakeSystemArchive();

        // Every file of the book read here goes through the reader the book check runs too.
        TBookReader reader(*FSystemArchive);
        FSystemXml = reader.ReadSystemXml();
        const TXMLNode* root = FSystemXml->Root();

        // User forms from the file Forms names (relative to its own folder), then the script host
        // object over them.
        FUserForms = std::make_shared<TUserForms>(reader.ReadUserForms(root));
        FHostExternal = TComPtr<IUnknown>(static_cast<IHostExternal*>(new THostExternal(FUserForms)));

        FStory = reader.ReadStory(root);
        FVariables = reader.ReadVariables(root);
        ApplyWindowSettings(reader.ReadWindowSettings(root));

        // The main loop keeps running while the page archive is finished: the engine's web process
        // talks to this process while it gets ready, also when the archive is complete already.
        // The window is not shown yet, so the reader cannot act on it meanwhile.
        ProcessMessages();
        while (!FArchiveLoader->PageArchiveDone())
            g_main_context_iteration(nullptr, TRUE);
        FPageArchive = FArchiveLoader->TakePageArchive();
        FArchiveLoader.reset();

        RegisterPageProtocols();

        FToolbarOptions = reader.ReadToolbarOptions(root);
        ApplyToolbarSettings(reader.ReadLogo(*FToolbarOptions));

        FSplashOptions = reader.ReadSplashOptions(root);
        ShowSplash(FSplashOptions.get(), true);

        // A toolbar picture the image list refuses ends the start-up here.
        BuildToolbar();

        FCreated = true;
        FormResize();
    } catch (...) {
        FStartFailed = true;
        FStartError = ExceptionMessageText();
        LogDebug("start failed: %s", FStartError.c_str());
        FormDestroy();
        ShowMessageBox(TMessageKind::Error, FStartError);
        // A worker still decoding the page archive is waited for only once the reader has the
        // message.
        FArchiveLoader.reset();
    }
}

void TfrmMain::ApplyWindowSettings(const TWindowSettings& settings) {
    if (!settings.ApplicationTitle.empty())
        SetApplicationTitle(FVariables->Substitute(settings.ApplicationTitle));
    if (!settings.MainFormCaption.empty())
        set_title(AnsiToUtf8(FVariables->Substitute(settings.MainFormCaption)));
    set_default_size(settings.Width, settings.Height);
    resize(std::max(settings.Width, 1), std::max(settings.Height, 1));
    if (settings.RunMaximized) maximize();
    // A fixed border: the reader cannot drag the size, and without a resizable border the
    // window manager offers no maximise button either.
    if (!settings.ResizableWindow) set_resizable(false);
    if (!settings.RunMaximized) set_position(Gtk::WIN_POS_CENTER);
    // Window managers refuse to maximise a window of fixed size, so a maximised window with a fixed
    // border is given the work area itself.
    if (settings.RunMaximized && !settings.ResizableWindow) FitWorkArea();
}

void TfrmMain::FitWorkArea() {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = display ? gdk_display_get_primary_monitor(display) : nullptr;
    if (!monitor && display) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    set_default_size(area.width, area.height);
    resize(area.width, area.height);
    move(area.x, area.y);
    // Once the window manager has framed the window, the frame too must fit the work area.
    FFitWorkArea.disconnect();
    FFitWorkArea = signal_map_event().connect(
        [this, area](GdkEventAny*) {
            FFitWorkArea.disconnect();
            GdkRectangle frame;
            gdk_window_get_frame_extents(get_window()->gobj(), &frame);
            const int frameWidth = std::max(0, frame.width - get_window()->get_width());
            const int frameHeight = std::max(0, frame.height - get_window()->get_height());
            if (frameWidth || frameHeight) {
                const int width = std::max(1, area.width - frameWidth);
                const int height = std::max(1, area.height - frameHeight);
                set_default_size(width, height);
                resize(width, height);
                move(area.x, area.y);
            }
            return false;
        },
        false);
}

void TfrmMain::ApplyToolbarSettings(const TPixbuf& logo) {
    const TToolbarOptions& options = *FToolbarOptions;
    pnlClient.reorder_child(pnlToolbarCommon, options.ToolbarPlacement == tpBottom ? 1 : 0);
    pnlToolbarCommon.set_visible(options.ToolbarPlacement != tpNoToolbar);
    pnlToolbarCommon.set_no_show_all(options.ToolbarPlacement == tpNoToolbar);

    tbrMain.set_toolbar_style(options.ToolbarShowCaption ? Gtk::TOOLBAR_BOTH : Gtk::TOOLBAR_ICONS);
    FToolbarTextColor = options.ToolbarTextColor;

    // Background of the tool bar and the logo panel, caption colour and font of the buttons. A
    // provider given to one widget styles that widget alone, so the rules reach the buttons and
    // their captions through the screen, scoped by the tool bar's class. The buttons keep their
    // designed width where the caption allows: the theme's padding would widen every one of them.
    if (FToolbarCss) Gtk::StyleContext::remove_provider_for_screen(get_screen(), FToolbarCss);
    FToolbarCss = Gtk::CssProvider::create();
    FToolbarCss->load_from_data(
        ".tomevane-toolbar { background: " + CssColor(options.ToolbarBackColor) +
        "; } .tomevane-toolbar label { color: " + CssColor(FToolbarTextColor) +
        "; font-size: 8pt; } .tomevane-toolbar toolbutton button { padding: 1px 2px; min-width: 0; }");
    Gtk::StyleContext::add_provider_for_screen(get_screen(), FToolbarCss, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    for (Gtk::Widget* widget : {static_cast<Gtk::Widget*>(&tbrMain), static_cast<Gtk::Widget*>(&pnlLogo)})
        widget->get_style_context()->add_class("tomevane-toolbar");
    pnlLogo.set_visible_window(true);

    pnlLogo.set_visible(options.LogoDisplay);
    imgLogo.set_visible(options.LogoDisplay);
    pnlLogo.set_no_show_all(!options.LogoDisplay);
    if (options.LogoDisplay) LoadLogo(logo);
}

void TfrmMain::LoadLogo(const TPixbuf& logo) {
    imgLogo.set_tooltip_text(AnsiToUtf8(FVariables->Substitute(FToolbarOptions->LogoText)));
    if (!logo) {
        imgLogo.clear();
        FLogoPicture.reset();
        FLogoHeight = 0;
        pnlLogo.hide();
        pnlLogo.set_no_show_all(true);
        return;
    }
    // The logo is drawn transparent: its bitmap's transparent colour (the bottom-left pixel)
    // lets the panel's background through.
    TPixbuf picture = WithTransparentColor(logo, BitmapTransparentColor(logo));
    FLogoHeight = gdk_pixbuf_get_height(logo.get());
    int width = gdk_pixbuf_get_width(picture.get());
    if (width > MaxLogoWidth) {
        const int height = std::max(1, gdk_pixbuf_get_height(picture.get()) * MaxLogoWidth / width);
        picture = TPixbuf::Take(gdk_pixbuf_scale_simple(picture.get(), MaxLogoWidth, height, GDK_INTERP_BILINEAR));
        width = MaxLogoWidth;
    }
    FLogoPicture = picture;
    gtk_image_set_from_pixbuf(imgLogo.gobj(), picture.get());
    pnlLogo.set_size_request(width, -1);
}

void TfrmMain::ShowSplash(TSplashOptions* options, bool starting) {
    if (!options) return;
    SplashDone = false;
    const TSplashType kind = starting ? options->SplashTypeS : options->SplashTypeE;
    const std::string& text = starting ? options->PopUpTextS : options->PopUpTextE;
    switch (kind) {
    case vsPopUp:
        ShowMessageBox(TMessageKind::Information, text);
        return;
    case vsSplash: {
        // The picture is a fixed file at the root of the system archive, at the start as at the end.
        TMFSFile* file = FSystemArchive ? SplashPictureFile(*FSystemArchive, starting) : nullptr;
        if (!file) return;
        TfrmSplash* splash = nullptr;
        std::shared_ptr<const bool> released;
        try {
            splash = TfrmSplash::Create();
            released = splash->ReleasedFlag();
            splash->LoadPicture(file, options->Interval, options->CloseOnClick);
            if (splash->Loaded) {
                splash->show();
                splash->queue_draw();
                ProcessMessages();
            }
        } catch (...) {
            LogDebug("splash failed: %s", ExceptionMessageText().c_str());
        }
        // Also after a failure: the closing must never wait for a window that was not shown. A
        // click may already have released the window while it was being drawn (the main loop
        // then destroys it): such a window is not touched again.
        if (released && !*released) splash->Finish();
        // The closing waits for its own picture: the opening one, still in view when the reader
        // closes at once, goes on its own time and must not cut this one short.
        if (!starting && released) {
            FEndSplashIdle = false;
            while (!*released)
                g_main_context_iteration(nullptr, TRUE);
            FEndSplashIdle = true;
        }
        return;
    }
    default:
        return;
    }
}

bool TfrmMain::on_delete_event(GdkEventAny*) {
    return GuardedCall("close", [this] { return !FormCloseQuery(); }, false); // true stops the close
}

bool TfrmMain::FormCloseQuery() {
    // A second close request while the closing splash runs (Esc pressed again) waits for the
    // first one to finish instead of starting another closing splash.
    if (FClosing) return false;
    FClosing = true;
    ShowSplash(FSplashOptions.get(), false);
    while (!FEndSplashIdle)
        g_main_context_iteration(nullptr, TRUE);
    FormClose();
    hide();
    return false; // hidden here; the window itself is destroyed by its owner
}

void TfrmMain::FormClose() {
    if (FClosed) return;
    FClosed = true;
    FBookWatcher.reset();
    FWaitingRetry.disconnect();
    FPageProtocol.reset();
    FSystemProtocol.reset();
    FHostExternal.Reset();
    if (webMain) {
        pnlClient.remove(*Glib::wrap(webMain->Widget()));
        webMain.reset();
    }
    LogDebug("closed");
}

void TfrmMain::FormDestroy() {
    FBookmarks.clear();
    FVariables.reset();
    FSystemXml.reset();
    FStory.reset();
    FImageIndexes.reset();
    FPageProtocol.reset();
    FSystemProtocol.reset();
    FPageArchive.reset();
    FSystemArchive.reset();
    FUserForms.reset();
    FSplashOptions.reset();
    FToolbarOptions.reset();
    FHostExternal.Reset();
}

void TfrmMain::PostClose() {
    // The request goes with the window: one still queued when the window is destroyed is dropped.
    // The close path runs directly rather than through a delete event: while a user form is shown
    // modally, GTK drops delete events of other windows, but a posted close must still go through.
    FPostedClose.disconnect();
    FPostedClose = Glib::signal_idle().connect([this] {
        GuardedCall("close", [this] { FormCloseQuery(); });
        return false;
    });
}

void TfrmMain::on_show() {
    // The first page is asked for before the window is realised and mapped, so that the engine
    // loads it while the toolkit draws the window.
    FormShow();
    Gtk::Window::on_show();
}

void TfrmMain::FormShow() {
    if (FStartFailed) {
        PostClose();
        return;
    }
    ShowStoryPage();
    ProcessMessages();
    tbrMain.queue_draw();
}
