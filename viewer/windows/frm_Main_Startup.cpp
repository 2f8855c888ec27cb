// The main window's start-up (creation), splash screens and closing.
#include "frm_Main.h"

#include "frm_Splash.h"
#include "u_BookReader.h"
#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_Dictionary.h"
#include "u_FolderArchive.h"
#include "u_GuardedCall.h"
#include "u_HostBridge.h"
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

#include <filesystem>

namespace {

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
    : FWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL)), FBookMarksMenu(gtk_menu_new()), FFontSizeMenu(gtk_menu_new()),
      FPrintMenu(gtk_menu_new()), FExecutable(std::move(executable)), FArchiveLoader(std::move(archives)) {
    GtkWindow* window = Window();
    // Designed bounds and layout; the book's settings replace them during creation.
    gtk_window_set_title(window, "Vellumet");
    gtk_window_set_default_size(window, 627, 495);
    pnlClient = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    pnlToolbarCommon = GTK_BOX(gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0));
    pnlToolbar = GTK_BOX(gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0));
    tbrMain = GTK_TOOLBAR(gtk_toolbar_new());
    pnlLogo = GTK_EVENT_BOX(gtk_event_box_new());
    imgLogo = GTK_IMAGE(gtk_image_new());
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(pnlClient));
    gtk_widget_set_size_request(GTK_WIDGET(pnlToolbarCommon), -1, 40);
    gtk_box_pack_start(pnlToolbar, GTK_WIDGET(tbrMain), TRUE, TRUE, 0);
    gtk_box_pack_start(pnlToolbarCommon, GTK_WIDGET(pnlToolbar), TRUE, TRUE, 0);
    gtk_widget_set_size_request(GTK_WIDGET(pnlLogo), 100, -1);
    gtk_container_add(GTK_CONTAINER(pnlLogo), GTK_WIDGET(imgLogo));
    gtk_widget_add_events(GTK_WIDGET(pnlLogo), GDK_BUTTON_PRESS_MASK);
    ConnectSignal<gboolean(GtkWidget*, GdkEventButton*)>(
        pnlLogo, "button-press-event",
        [this](GtkWidget*, GdkEventButton*) -> gboolean {
            imgLogoClick();
            return TRUE;
        },
        "logo", true);
    gtk_box_pack_end(pnlToolbarCommon, GTK_WIDGET(pnlLogo), FALSE, FALSE, 0);
    gtk_box_pack_start(pnlClient, GTK_WIDGET(pnlToolbarCommon), FALSE, FALSE, 0);

    popBookMarks = GTK_MENU(FBookMarksMenu.Widget());
    popFontSize = GTK_MENU(FFontSizeMenu.Widget());
    popPrint = GTK_MENU(FPrintMenu.Widget());
    CreateFontSizeMenu();

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
    InstallHostScript(*webMain);
    gtk_box_pack_start(pnlClient, GTK_WIDGET(webMain->Widget()), TRUE, TRUE, 0);
    gtk_widget_show_all(GTK_WIDGET(pnlClient));

    ConnectSignal<gboolean(GtkWidget*, GdkEventConfigure*)>(
        window, "configure-event",
        [this](GtkWidget*, GdkEventConfigure*) -> gboolean {
            FormResize();
            return FALSE;
        },
        "resize");
    ConnectSignal<gboolean(GtkWidget*, GdkEvent*)>(
        window, "delete-event", [this](GtkWidget*, GdkEvent*) -> gboolean { return WindowDeleteEvent(); }, "close");
    ConnectSignal<void(GtkWidget*)>(window, "show", [this](GtkWidget*) { WindowShow(); }, "show");
    gdk_event_handler_set(&TfrmMain::EventHook, this, nullptr);
    // GTK follows the owner of the selection a middle click pastes once that selection's clipboard
    // exists; the changes then reach the key filter like any event.
    gtk_clipboard_get(GDK_SELECTION_PRIMARY);
    SetMessageBoxOwner(window);
    // The opening splash is up before this window appears; it stays in view above it.
    ConnectSignal<gboolean(GtkWidget*, GdkEvent*)>(
        window, "map-event",
        [](GtkWidget*, GdkEvent*) -> gboolean {
            RaiseSplashes();
            return FALSE;
        },
        "map", true);

    FormCreate();
}

TfrmMain::~TfrmMain() {
    // The key filter goes first: no event may reach a window that is half gone.
    gdk_event_handler_set([](GdkEvent* event, gpointer) { gtk_main_do_event(event); }, nullptr, nullptr);
    if (MessageBoxOwner() == Window()) SetMessageBoxOwner(nullptr);
    FPostedClose.Cancel();
    FPrintSectionsUpdate.Cancel();
    FWaitingRetry.Cancel();
    if (FToolbarCss)
        gtk_style_context_remove_provider_for_screen(gtk_window_get_screen(Window()),
                                                     GTK_STYLE_PROVIDER(FToolbarCss.get()));
    FormClose();
    FormDestroy();
    FHostWindow->Window = nullptr;
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
        FHostExternal = TComPtr<IUnknown>(static_cast<IHostExternal*>(new THostExternal(FUserForms, FHostWindow)));

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
        gtk_window_set_title(Window(), AnsiToUtf8(FVariables->Substitute(settings.MainFormCaption)).c_str());
    gtk_window_set_default_size(Window(), settings.Width, settings.Height);
    gtk_window_resize(Window(), std::max(settings.Width, 1), std::max(settings.Height, 1));
    if (settings.RunMaximized) gtk_window_maximize(Window());
    // A fixed border: the reader cannot drag the size, and without a resizable border the
    // window manager offers no maximise button either.
    if (!settings.ResizableWindow) gtk_window_set_resizable(Window(), FALSE);
    if (!settings.RunMaximized) gtk_window_set_position(Window(), GTK_WIN_POS_CENTER);
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
    GtkWindow* window = Window();
    gtk_window_set_default_size(window, area.width, area.height);
    gtk_window_resize(window, area.width, area.height);
    gtk_window_move(window, area.x, area.y);
    // Once the window manager has framed the window, the frame too must fit the work area.
    FFitWorkArea = TSignalConnection::Connect<gboolean(GtkWidget*, GdkEvent*)>(
        window, "map-event",
        [this, area](GtkWidget*, GdkEvent*) -> gboolean {
            // The connection ends here; its handler lives until it has returned.
            FFitWorkArea.Disconnect();
            GtkWindow* window = Window();
            GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window));
            GdkRectangle frame;
            gdk_window_get_frame_extents(gdkWindow, &frame);
            const int frameWidth = std::max(0, frame.width - gdk_window_get_width(gdkWindow));
            const int frameHeight = std::max(0, frame.height - gdk_window_get_height(gdkWindow));
            if (frameWidth || frameHeight) {
                const int width = std::max(1, area.width - frameWidth);
                const int height = std::max(1, area.height - frameHeight);
                gtk_window_set_default_size(window, width, height);
                gtk_window_resize(window, width, height);
                gtk_window_move(window, area.x, area.y);
            }
            return FALSE;
        },
        "fit work area");
}

void TfrmMain::ApplyToolbarSettings(const TPixbuf& logo) {
    const TToolbarOptions& options = *FToolbarOptions;
    gtk_box_reorder_child(pnlClient, GTK_WIDGET(pnlToolbarCommon), options.ToolbarPlacement == tpBottom ? 1 : 0);
    gtk_widget_set_visible(GTK_WIDGET(pnlToolbarCommon), options.ToolbarPlacement != tpNoToolbar);
    gtk_widget_set_no_show_all(GTK_WIDGET(pnlToolbarCommon), options.ToolbarPlacement == tpNoToolbar);

    gtk_toolbar_set_style(tbrMain, options.ToolbarShowCaption ? GTK_TOOLBAR_BOTH : GTK_TOOLBAR_ICONS);
    FToolbarTextColor = options.ToolbarTextColor;

    // Background of the tool bar and the logo panel, caption colour and font of the buttons. A
    // provider given to one widget styles that widget alone, so the rules reach the buttons and
    // their captions through the screen, scoped by the tool bar's class. The buttons keep their
    // designed width where the caption allows: the theme's padding would widen every one of them.
    GdkScreen* screen = gtk_window_get_screen(Window());
    if (FToolbarCss) gtk_style_context_remove_provider_for_screen(screen, GTK_STYLE_PROVIDER(FToolbarCss.get()));
    FToolbarCss = TGObjectPtr<GtkCssProvider>::Take(gtk_css_provider_new());
    const std::string css =
        ".tomevane-toolbar { background: " + CssColor(options.ToolbarBackColor) +
        "; } .tomevane-toolbar label { color: " + CssColor(FToolbarTextColor) +
        "; font-size: 8pt; } .tomevane-toolbar toolbutton button { padding: 1px 2px; min-width: 0; }";
    gtk_css_provider_load_from_data(FToolbarCss.get(), css.c_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(FToolbarCss.get()),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    for (GtkWidget* widget : {GTK_WIDGET(tbrMain), GTK_WIDGET(pnlLogo)})
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), "tomevane-toolbar");
    gtk_event_box_set_visible_window(pnlLogo, TRUE);

    gtk_widget_set_visible(GTK_WIDGET(pnlLogo), options.LogoDisplay);
    gtk_widget_set_visible(GTK_WIDGET(imgLogo), options.LogoDisplay);
    gtk_widget_set_no_show_all(GTK_WIDGET(pnlLogo), !options.LogoDisplay);
    if (options.LogoDisplay) LoadLogo(logo);
}

void TfrmMain::LoadLogo(const TPixbuf& logo) {
    gtk_widget_set_tooltip_text(GTK_WIDGET(imgLogo), AnsiToUtf8(FVariables->Substitute(FToolbarOptions->LogoText)).c_str());
    if (!logo) {
        gtk_image_clear(imgLogo);
        FLogoPicture.reset();
        FLogoHeight = 0;
        gtk_widget_hide(GTK_WIDGET(pnlLogo));
        gtk_widget_set_no_show_all(GTK_WIDGET(pnlLogo), TRUE);
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
    gtk_image_set_from_pixbuf(imgLogo, picture.get());
    gtk_widget_set_size_request(GTK_WIDGET(pnlLogo), width, -1);
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
                splash->Show();
                gtk_widget_queue_draw(GTK_WIDGET(splash->Window()));
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

bool TfrmMain::WindowDeleteEvent() {
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
    gtk_widget_hide(FWindow.Widget());
    return false; // hidden here; the window itself is destroyed by its owner
}

void TfrmMain::FormClose() {
    if (FClosed) return;
    FClosed = true;
    FBookWatcher.reset();
    FWaitingRetry.Cancel();
    FPageProtocol.reset();
    FSystemProtocol.reset();
    FHostExternal.Reset();
    if (webMain) {
        gtk_container_remove(GTK_CONTAINER(pnlClient), GTK_WIDGET(webMain->Widget()));
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
    FPostedClose = TScopedSource::Idle(
        [this] {
            FormCloseQuery();
            return false;
        },
        "close");
}

void TfrmMain::WindowShow() {
    // The first page is asked for as the window is shown, so that the engine loads it while the
    // toolkit draws the window.
    FormShow();
}

void TfrmMain::FormShow() {
    if (FStartFailed) {
        PostClose();
        return;
    }
    ShowStoryPage();
    ProcessMessages();
    gtk_widget_queue_draw(GTK_WIDGET(tbrMain));
}
