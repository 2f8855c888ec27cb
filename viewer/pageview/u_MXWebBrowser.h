// TMXWebBrowser: the page view of every viewer window, a WebKitWebView driven through the
// operations the viewer relies on (Navigate, LocationURL, ReadyState, history, ExecWB commands,
// the document's elements) and answering the host's questions (context menu, external object,
// host UI flags, download flags, close request) through events its owner attaches.
//
// It is the one class that calls webkit_* for a page view; the URL schemes reach it through the
// process's WebKit URL session (the web view uses WebKit's default context, where that session
// registers its schemes). URLs pass in and out in the viewer's form ("mfs:\dir\page.htm").
//
// Text that declares no character set is read in the system code page, as the book's author wrote
// it; a page's own declaration (meta, BOM) wins.
//
// Links that leave the book are decided in one place (FollowLink): a request for a new window
// (target="_blank", window.open, the context menu's new-window entries) shows a book page (the
// URL session's schemes) in this view and hands any other address to the shell's "open"; a
// navigation to a scheme the engine cannot show (mailto:, tel:, ...) goes to the shell too. In both
// cases the page stays. The context menu offers no entry that cannot work here (downloads, the
// inspector, media windows).
//
// OnDocumentComplete is raised only for a document that finished loading: a navigation that failed
// or was cancelled (replaced by another, refused) leaves the page shown without the event.
// ReadyState follows the engine for every kind of navigation: one that stays in the document shown
// (a fragment, Back or Forward between such entries, history.pushState) raises OnNavigateComplete2
// when the engine reports the new address, and no OnDocumentComplete; one the engine drops leaves
// the page shown ready again.
//
// Printing (u_MXWebBrowser_Print.cpp): PRINT sends the document shown to a printer without a dialog:
// the printer named by the view's print settings, else the system's default printer; with no such
// printer an error box says so. PRINTPREVIEW does what GTK does for a preview: it prints to a
// temporary PDF in the user's runtime folder, starts the preview command of the GTK settings
// (gtk-print-preview-command) on it and removes the file when that program has ended. Both wait
// for a document still loading, so that its pictures are printed too.
#pragma once

#include "u_ActiveX.h"
#include "u_GObject.h"

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

typedef struct _WebKitWebView WebKitWebView;

// What the control may download and run. The values are the platform's flag bits.
enum TDownloadControlOption : uint32_t {
    DLCTL_DLIMAGES = 0x10,
    DLCTL_VIDEOS = 0x20,
    DLCTL_BGSOUNDS = 0x40,
    DLCTL_NO_SCRIPTS = 0x80,
    DLCTL_NO_JAVA = 0x100,
    DLCTL_NO_RUNACTIVEXCTLS = 0x200,
    DLCTL_NO_DLACTIVEXCTLS = 0x400,
    DLCTL_DOWNLOADONLY = 0x800,
    DLCTL_NO_FRAMEDOWNLOAD = 0x1000,
    DLCTL_RESYNCHRONIZE = 0x2000,
    DLCTL_PRAGMA_NO_CACHE = 0x4000,
    DLCTL_NO_BEHAVIORS = 0x8000,
    DLCTL_NO_METACHARSET = 0x10000,
    DLCTL_URL_ENCODING_DISABLE_UTF8 = 0x20000,
    DLCTL_URL_ENCODING_ENABLE_UTF8 = 0x40000,
    DLCTL_FORCEOFFLINE = 0x10000000,
    DLCTL_NO_CLIENTPULL = 0x20000000,
    DLCTL_SILENT = 0x40000000,
    DLCTL_OFFLINE = 0x80000000,
};

// Host user-interface flags (the DOCHOSTUIFLAG_ values without that prefix).
enum class TUserInterfaceOption : uint32_t {
    DIALOG = 0x1,
    DISABLE_HELP_MENU = 0x2,
    NO3DBORDER = 0x4,
    SCROLL_NO = 0x8,
    DISABLE_SCRIPT_INACTIVE = 0x10,
    OPENNEWWIN = 0x20,
    DISABLE_OFFSCREEN = 0x40,
    FLAT_SCROLLBAR = 0x80,
    DIV_BLOCKDEFAULT = 0x100,
    ACTIVATE_CLIENTHIT_ONLY = 0x200,
    OVERRIDEBEHAVIORFACTORY = 0x400,
    CODEPAGELINKEDFONTS = 0x800,
    URL_ENCODING_DISABLE_UTF8 = 0x1000,
    URL_ENCODING_ENABLE_UTF8 = 0x2000,
    ENABLE_FORMS_AUTOCOMPLETE = 0x4000,
    ENABLE_INPLACE_NAVIGATION = 0x10000,
    IME_ENABLE_RECONVERSION = 0x20000,
    THEME = 0x40000,
    NOTHEME = 0x80000,
    NOPICS = 0x100000,
    NO3DOUTERBORDER = 0x200000,
};

using TDownloadControlOptions = std::set<TDownloadControlOption>;
using TUserInterfaceOptions = std::set<TUserInterfaceOption>;

// Sums of the flag values of a set (0 for an empty set).
uint32_t DownloadFlagsOf(const TDownloadControlOptions& options);
uint32_t HostUIFlagsOf(const TUserInterfaceOptions& options);

// ExecWB commands and the option the viewer passes.
inline constexpr int OLECMDID_PRINT = 6;
inline constexpr int OLECMDID_PRINTPREVIEW = 7;
inline constexpr int OLECMDID_COPY = 12;
inline constexpr int OLECMDID_ZOOM = 19;
inline constexpr int OLECMDID_REFRESH = 22;
inline constexpr int OLECMDEXECOPT_DONTPROMPTUSER = 2;

// ReadyState values.
inline constexpr int READYSTATE_UNINITIALIZED = 0;
inline constexpr int READYSTATE_LOADING = 1;
inline constexpr int READYSTATE_INTERACTIVE = 3;
inline constexpr int READYSTATE_COMPLETE = 4;

// The ambient property the control asks for its download flags.
inline constexpr int32_t DISPID_AMBIENT_DLCONTROL = -5512;
inline constexpr uint16_t DISPATCH_PROPERTYGET = 2;

// Where a context menu was asked for, in view coordinates.
struct TPoint {
    int X = 0;
    int Y = 0;
};

// One element of the loaded document.
struct TDocumentElement {
    std::string TagName;
    std::string Id;
    std::string InnerHTML;
    bool HTML = true; // an element of the HTML namespace (not SVG, MathML, ...)
};

// GTK print settings by key ("printer", "output-uri", "output-file-format", ... as
// GtkPrintSettings names them).
using TPrintSettings = std::map<std::string, std::string>;

// The command line of gtk-print-preview-command for a file: "%f" becomes the quoted path of the PDF,
// "%s" the quoted path of the print settings file, "%%" a "%"; other text stays.
std::string PreviewCommandLine(const std::string& command, const std::string& pdfFile,
                               const std::string& settingsFile);
// Settings that print to pdfFile (GTK's file printer) instead of a printer.
TPrintSettings PrintToFileSettings(const std::string& pdfFile);

class TMXWebBrowser;

// Sender; CanClose starts true, false keeps the page's window.close() from going through.
using TCloseQueryEvent = std::function<void(TMXWebBrowser* sender, bool& canClose)>;
// Menu id, point, command target, object under the pointer -> S_OK: no menu; S_FALSE: the
// browser's own menu.
using TShowContextMenuEvent =
    std::function<HRESULT(DWORD id, const TPoint& point, IUnknown* commandTarget, IUnknown* object)>;
// Fills the page scripts' external object (a new reference) and answers S_OK, or a failure.
using TGetExternalEvent = std::function<HRESULT(TComPtr<IUnknown>& external)>;
using TBrowserNotifyEvent = std::function<void(TMXWebBrowser* sender)>;

class TMXWebBrowser {
  public:
    // A new web view on WebKit's default context with images, videos and background sounds
    // allowed and no host UI flags. The URL session must already be installed.
    TMXWebBrowser();
    TMXWebBrowser(const TMXWebBrowser&) = delete;
    TMXWebBrowser& operator=(const TMXWebBrowser&) = delete;
    ~TMXWebBrowser();

    // The view as a widget for packing into a container; owned by this object (a container it is
    // packed into holds a reference of its own, and the view is destroyed with this object).
    GtkWidget* Widget() const { return FWidget.get(); }
    WebKitWebView* View() const { return FView; }

    const TDownloadControlOptions& DownloadOptions() const { return FDownloadOptions; }
    void SetDownloadOptions(const TDownloadControlOptions& value);
    const TUserInterfaceOptions& UserInterfaceOptions() const { return FUserInterfaceOptions; }
    // SCROLL_NO hides the scroll bars of every page shown from then on.
    void SetUserInterfaceOptions(const TUserInterfaceOptions& value);
    uint32_t DownloadControlFlags() const { return FDownloadControlFlags; }
    uint32_t HostUIFlags() const { return FHostUIFlags; }

    TCloseQueryEvent OnCloseQuery;
    TShowContextMenuEvent OnShowContextMenu;
    TGetExternalEvent OnGetExternal;
    TBrowserNotifyEvent OnNavigateComplete2; // the load was committed
    TBrowserNotifyEvent OnDocumentComplete;  // the load finished

    // Host answers, the same whatever engine asks them.
    // S_FALSE (the browser's menu) unless OnShowContextMenu says otherwise.
    HRESULT ShowContextMenu(DWORD id, const TPoint& point, IUnknown* commandTarget, IUnknown* object);
    // external is cleared first; OnGetExternal's answer, or S_FALSE when none is attached.
    HRESULT GetExternal(TComPtr<IUnknown>& external);
    // The ambient-property read: DISPID_AMBIENT_DLCONTROL as a property get answers the
    // download flags; anything else is not answered here (DISP_E_MEMBERNOTFOUND).
    HRESULT InvokeAmbient(int32_t dispId, uint16_t flags, int32_t* result) const;
    // A close request from the page: true when it may go through.
    bool CloseQuery();

    // Starts loading url (viewer form, system code page). The load runs asynchronously;
    // OnNavigateComplete2 and OnDocumentComplete follow. An address of a scheme the engine cannot
    // show goes to the shell's "open" and a javascript: address runs in the page shown; both leave
    // the page and ReadyState as they are.
    // Starts the engine's web process now instead of at the first Navigate, so that it gets ready
    // while the program does other work. No navigation takes place: no event, no ready-state change.
    void Prewarm();
    void Navigate(const std::string& url);
    // The address of the document shown, in the viewer's form; empty before the first load.
    std::string LocationURL() const;
    // The title of the document shown (system code page); empty when it has none.
    std::string LocationName() const;
    int ReadyState() const { return FReadyState; }
    // E_FAIL when there is no history entry in that direction.
    HRESULT GoBack();
    HRESULT GoForward();
    // This platform has no browser start page: a blank page.
    void GoHome();
    // PRINT, PRINTPREVIEW, COPY, ZOOM (in: 0 ... 4, 2 = 100 %), REFRESH. E_INVALIDARG for a zoom
    // outside 0 ... 4, E_NOTIMPL for other commands. Printing runs on after the call returns; its
    // failures are shown in an error box.
    HRESULT ExecWB(int command, int option, int input = 0);
    // The print settings PRINT uses; empty (the default) prints to the system's default printer.
    const TPrintSettings& PrintSettings() const { return FPrintSettings; }
    void SetPrintSettings(const TPrintSettings& value) { FPrintSettings = value; }
    // The text-size level last set with OLECMDID_ZOOM.
    int ZoomLevel() const { return FZoomLevel; }
    // Highlights every occurrence of text (letter case ignored) in the next page that finishes
    // loading; the highlight goes when the view starts loading another page.
    void HighlightOnLoad(const std::string& text);
    // The text highlighted in the page shown ("" when none) and how often the engine found it
    // there (-1 until it has counted).
    const std::string& HighlightText() const { return FHighlightText; }
    int HighlightMatches() const { return FHighlightMatches; }
    // Shows html as the document (the blank document's Load from a stream). Links written with "\"
    // are turned to "/" as in the documents the book's schemes serve.
    void LoadHTML(const std::string& html, const std::string& baseUrl = "about:blank");

    // Every element of the document shown, in document order; none while no document is there or
    // the page's script context cannot be reached within timeoutMs (the main loop runs meanwhile).
    // Without innerHTML the elements' InnerHTML stays empty: reading it for every element costs
    // the square of the page's nesting.
    std::optional<std::vector<TDocumentElement>> DocumentElements(bool innerHTML = true,
                                                                  int timeoutMs = 10000);
    // Runs a script in the page and returns its value as text (none on failure or timeout).
    std::optional<std::string> EvaluateScript(const std::string& script, int timeoutMs = 10000);

  private:
    void OnLoadChanged(WebKitWebView* view, int event);
    void OnEngineStateChanged(WebKitWebView* view, GParamSpec* property);
    // The ready state of a view no load is under way in: complete once a document was shown.
    int SettledState() const;
    gboolean OnContextMenu(WebKitWebView* view, void* menu, void* event, void* hit);
    void OnClose(WebKitWebView* view);
    gboolean OnLoadFailed(WebKitWebView* view, int event, char* uri, GError* error);
    void ApplyUserInterfaceOptions();
    void ApplyHighlight();
    void ClearHighlight();
    void ApplyDefaultCharacterSet();
    // Prints now, or when the document being loaded has finished.
    void Print(bool preview);
    void StartPrint(bool preview);
    // The print that waited for the document, once it is complete.
    void StartPendingPrint();

    // Links that leave the book.
    gboolean OnDecidePolicy(WebKitWebView* view, void* decision, int type);
    GtkWidget* OnCreate(WebKitWebView* view, void* action);
    // Where engineUri (as the engine has it), asked for by the page or the viewer, goes: true when
    // this view is to load it as asked; false when it was handled here (a new-window request shown
    // in this view, an address handed to the shell, or nothing to show).
    bool FollowLink(const std::string& engineUri, bool newWindow);
    // Removes the entries that cannot work in this viewer; false when nothing is left to show.
    static bool TrimContextMenu(void* menu);

    TGObjectPtr<GtkWidget> FWidget; // the owner's reference to the view
    WebKitWebView* FView = nullptr; // the same object as the engine's view
    TDownloadControlOptions FDownloadOptions;
    TUserInterfaceOptions FUserInterfaceOptions;
    uint32_t FDownloadControlFlags = 0;
    uint32_t FHostUIFlags = 0;
    int FReadyState = READYSTATE_UNINITIALIZED;
    bool FLoadFailed = false; // the load in progress failed or was cancelled
    bool FInLoad = false;     // between the engine's start and finish of a load
    std::string FShownUri;    // the engine's address of the document shown, as last reported
    int FZoomLevel = 2;
    std::string FPendingHighlight; // for the next page that finishes loading
    std::string FHighlightText;    // highlighted in the page shown
    int FHighlightMatches = -1;
    TPrintSettings FPrintSettings;
    std::optional<bool> FPendingPrint; // a print (false) or preview (true) waiting for the load
    std::vector<TSignalConnection> FConnections; // the view's and its find controller's handlers
};
