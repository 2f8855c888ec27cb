// TfrmMain: the viewer's main window. Its creation is the whole start-up (archives, description
// files, story, variables, URL schemes, window and toolbar settings, opening splash); showing it
// opens the first page of the reading order; while the reader reads it keeps the story cursor in
// step with the browser, applies the per-page context-menu rule and filters keys for the whole
// application; closing runs the closing splash and releases everything in a fixed order.
//
// Split by concern: frm_Main.cpp (reading, navigation events, logo, size), frm_Main_Startup.cpp
// (creation, splash, closing), frm_Main_Keyboard.cpp (the application-wide key filter),
// frm_Main_Toolbar.cpp (the book's toolbar, its commands, bookmarks and font size),
// frm_Main_Print.cpp (the print sections of the page shown and the print window),
// frm_Main_Author.cpp (following an unpacked book folder while the author edits it).
#pragma once

#include "u_ActiveX.h"
#include "u_BookReader.h"
#include "u_BookWatcher.h"
#include "u_ByteString.h"
#include "u_GObject.h"
#include "u_HostWindow.h"
#include "u_Loader.h"
#include "u_MXWebBrowser.h"
#include "u_WindowOwner.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

class TMFS;
class TMFSInternetProtocol;
class TDictionary;
class TStory;
class TXMLParser;
class TVariables;
class TSplashOptions;
class TToolbarOptions;
struct TToolButtonDefinition;
class TUserForms;
enum TToolButtonKind : uint8_t;

// One bookmark of the toolbar's bookmark menu: where it goes, and whether in the reader's default
// program instead of the viewer.
struct TBookMarkItem {
    TBookMarkItem(std::string url, bool newWindow) : URL(std::move(url)), NewWindow(newWindow) {}
    std::string URL;
    bool NewWindow;
};

// The tag of a toolbar button or menu item (its position in the book's description), or -1.
int ComponentTag(GtkWidget* component);
void SetComponentTag(GtkWidget* component, int tag);
// Shows or hides the arrow of a drop-down button: with it the button has the drop-down style, its
// menu opening from the arrow; without it the button is a plain one.
void ShowDropDownArrow(GtkMenuToolButton* button, bool show);
// Whether a menu has any items.
bool HasMenuItems(GtkMenu* menu);
// Destroys every child of a container (a tool bar's items, a menu's items).
void DestroyChildren(GtkContainer* container);

// The title the program entry gives the application before the book names its own.
inline constexpr const char* SApplicationTitle = "Tomevane Viewer";
// The widest the logo may be; a wider one is scaled down proportionally.
inline constexpr int MaxLogoWidth = 113;

// The book's archives decoded on a worker thread that wakes the main loop as each is done, for
// TfrmMain (the program entry starts it before the toolkit).
std::unique_ptr<TBookArchiveLoader> StartArchiveLoader(const std::string& executable);
// The same for an unpacked book folder: the archives are built from its system/ and pages/ folders
// in memory, as the book packer builds them, with no cabinet and nothing written to disk.
std::unique_ptr<TBookArchiveLoader> StartBookFolderLoader(const std::string& bookFolder);

class TfrmMain final : public IHostWindow {
  public:
    // Runs the whole start-up, reading the book's resources from executable (the running program
    // by default). A failure is shown in an error box and leaves StartFailed set: the window then
    // closes as soon as it is shown. The archives are decoded on a worker thread: by archives when
    // it is given (started early over the same executable), else by one the start-up starts.
    explicit TfrmMain(std::string executable = SelfExecutable,
                      std::unique_ptr<TBookArchiveLoader> archives = nullptr);
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;
    ~TfrmMain();

    // The window itself (a GTK top-level window owned by this object).
    GtkWindow* Window() const override { return FWindow.Window(); }

    // Navigates webMain to "mfs:" plus the story's current page.
    void ShowStoryPage() override;
    // webMain's location without a leading "mfs:" (any case); other addresses whole.
    std::string GetCurrentPage() override;
    // Puts the story's cursor on the page shown, when it is a page of the story.
    void SyncStory() override;
    // The protocol handlers' OnAfterGetData: the content with the book's variables expanded.
    void SubstituteVariables(TMFSInternetProtocol* sender, const std::string& url, TByteString& data);
    // The opening (starting) or closing splash. The closing one returns when its picture is gone.
    void ShowSplash(TSplashOptions* options, bool starting);
    // Hands the script host object to the browser (none until the script host exists).
    HRESULT webMain2GetExternal(TComPtr<IUnknown>& external) override;
    // Closes the window through its normal close path from the main loop.
    void PostClose() override;
    // The script host object (none before start-up step 6 and after closing).
    const TComPtr<IUnknown>& HostExternal() const { return FHostExternal; }
    TUserForms* UserForms() const { return FUserForms.get(); }

    bool StartFailed() const { return FStartFailed; }
    // From the first close request on (the closing splash runs, then the window goes).
    bool Closing() const override { return FClosing || FClosed; }
    bool Created() const { return FCreated; }
    // The message of a failed start-up (empty otherwise).
    const std::string& StartError() const { return FStartError; }
    TStory* Story() const override { return FStory.get(); }
    TMXWebBrowser* PageView() const override { return webMain.get(); }
    TVariables* Variables() const { return FVariables.get(); }
    TMFS* PageArchive() const { return FPageArchive.get(); }
    TMFS* SystemArchive() const { return FSystemArchive.get(); }
    TSplashOptions* SplashOptions() const { return FSplashOptions.get(); }
    TToolbarOptions* ToolbarOptions() const { return FToolbarOptions.get(); }
    bool EndSplashIdle() const { return FEndSplashIdle; }
    // The logo as shown (transparent colour applied, scaled), or none.
    TPixbuf LogoPicture() const { return FLogoPicture; }
    // The height of the logo bitmap as the book holds it (0 without a logo).
    int LogoHeight() const { return FLogoHeight; }
    const std::vector<TToolButtonKind>& ButtonKinds() const { return FButtonKinds; }
    const std::vector<TBookMarkItem>& Bookmarks() const { return FBookmarks; }
    TDictionary* ImageIndexes() const { return FImageIndexes.get(); }
    GtkMenuToolButton* PrintButton() const { return FPrintButton; }
    // Whether the book's toolbar has a button of that kind (the keyboard shortcuts follow it).
    bool HasButton(TToolButtonKind kind) const;

    // The toolbar (built from the book's toolbar description when the window is created).
    void BuildToolbar();
    // Click handlers: the plain buttons and Print; the bookmark items; the font-size items; Search.
    void ToolButtonClick(GtkToolButton* sender);
    void BookMarkClick(GtkMenuItem* sender);
    void mnuFS_Click(GtkMenuItem* sender);
    void mnuSearchClick(GtkToolButton* sender);
    // Runs the command of a button kind as a click on such a button does, after the wait for the
    // page (the keyboard shortcuts use it too).
    void ExecuteCommand(TToolButtonKind kind);

    // The print sections of the document shown, as items of popPrint (emptied beforehand).
    void BuildPrintSections();
    // Click handler of the print-section items: the section (the first div with the item's id)
    // in the print window, or "Can not find page" when the document no longer has it.
    void PrintSectionClick(GtkMenuItem* sender);
    // Opens the print window on an HTML text, modally; returns when it has been closed.
    void ShowPrintPage(const std::string& html);

    // Follows the unpacked book folder (system/ and pages/) the book shown was read from: a saved
    // page reloads the page shown, a saved description file restarts the book in this window.
    void FollowBookFolder(const std::string& folder);
    // One batch of changes to the followed folder (the watcher's event). Waits while a modal
    // window runs its own loop.
    void BookFolderChanged(const TBookChanges& changes);
    // Brings the page archive in step with the changed files of pages/ (paths relative to the
    // book folder); on failure shows the error box and keeps the archive as it was.
    bool UpdatePageArchive(const std::set<std::string>& changed);
    // Reloads the page shown, keeping its scroll position where the engine does.
    void ReloadPage(const std::string& reason);
    // Reads the book's description files anew from the folder and, when the start-up's reading
    // accepts all of them, replaces the book shown by them at the page shown. Otherwise the error
    // box shows the reading's message and the last good book stays open (false).
    bool RestartBook(const std::string& reason);
    const std::string& BookFolder() const { return FBookFolder; }

  private:
    // The window; declared first, so that it goes last, its child widgets with it.
    TWindowOwner FWindow;
    // The three pop-up menus: each lives in a pop-up window of its own, owned here.
    TWindowOwner FBookMarksMenu;
    TWindowOwner FFontSizeMenu;
    TWindowOwner FPrintMenu;

  public:
    // Components (the window's children belong to their containers; the menus to the owners above).
    GtkBox* pnlClient = nullptr;
    GtkBox* pnlToolbarCommon = nullptr;
    GtkBox* pnlToolbar = nullptr;
    GtkToolbar* tbrMain = nullptr;
    GtkEventBox* pnlLogo = nullptr;
    GtkImage* imgLogo = nullptr;
    std::unique_ptr<TMXWebBrowser> webMain;
    // The toolbar's pictures, cut to the image size with their mask colour transparent.
    std::vector<TPixbuf> imglToolbar;
    GtkMenu* popBookMarks = nullptr;
    GtkMenu* popFontSize = nullptr;
    GtkMenu* popPrint = nullptr;
    GtkMenuItem* mnuFS_ExtraSmall = nullptr;
    GtkMenuItem* mnuFS_Small = nullptr;
    GtkMenuItem* mnuFS_Medium = nullptr;
    GtkMenuItem* mnuFS_Large = nullptr;
    GtkMenuItem* mnuFS_ExtraLarge = nullptr;

    // Event handlers.
    void FormShow();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();
    void FormResize();
    void webMain2NavigateComplete2(TMXWebBrowser* sender);
    void webMain2DocumentComplete(TMXWebBrowser* sender);
    HRESULT webMain2ShowContextMenu(DWORD id, const TPoint& point, IUnknown* commandTarget, IUnknown* object);
    // The application-wide key filter; true when the event was handled (not dispatched).
    bool ApplicationEvents1Message(GdkEvent* event);
    void imgLogoClick();

  private:
    void FormCreate();
    void ApplyWindowSettings(const TWindowSettings& settings);
    void ApplyToolbarSettings(const TPixbuf& logo);
    void ApplyChangedWindowSettings(const TWindowSettings& settings);
    // Sizes and places the window to cover the primary monitor's work area.
    void FitWorkArea();
    // The book's URL schemes over the archives held now.
    void RegisterPageProtocols();
    // The page shown loaded again (the story's page when none is shown yet).
    void ShowPageAgain();
    // Empties the tool bar and its menus for a toolbar built anew.
    void ClearToolbar();
    void LoadLogo(const TPixbuf& logo);
    void CreateFontSizeMenu();
    GtkToolItem* CreateToolButton(const TToolButtonDefinition& definition);
    void AddBookmarks(const TToolButtonDefinition& definition);
    // Empties popPrint, builds the print sections of the document shown and gives the Print button
    // the drop-down style when there are some, the plain style otherwise.
    void UpdatePrintSections();
    // The browser's text size, 0 (smallest) ... 4 (largest), 2 normal.
    void SetFontSize(int level);
    // Waits, processing events, until the page view is at least interactive; false when the view
    // went away meanwhile (the window closed).
    bool WaitForReadyState();
    // The toolbar's keyboard shortcuts; true when the key was one of them.
    bool ToolbarShortcut(const GdkEventKey& key);
    static void EventHook(GdkEvent* event, gpointer self);
    // The window's delete-event and show handlers.
    bool WindowDeleteEvent();
    void WindowShow();

    std::string FExecutable;
    // The archives being decoded, until the start-up has taken both (or has failed).
    std::unique_ptr<TBookArchiveLoader> FArchiveLoader;
    std::string FStartError;
    // Counts the builds of the print sections: a build that finds a newer one started while it read
    // the document (a page finished loading meanwhile) leaves the menu to that one.
    unsigned FPrintSectionsBuild = 0;
    TScopedSource FPrintSectionsUpdate; // queued after a completed document
    TPixbuf FLogoPicture;
    // The tool bar's colours, caption font and button padding, for the screen while the window lives.
    TGObjectPtr<GtkCssProvider> FToolbarCss;
    int FLogoHeight = 0; // the logo bitmap's own height, before any scaling
    TScopedSource FPostedClose;
    TSignalConnection FFitWorkArea; // once mapped: the frame made to fit too
    bool FClosing = false;
    bool FClosed = false;
    // The unpacked book folder followed (empty for a packed book), its watcher, the changes
    // waiting for a modal window to close, and the window settings the restart compares against.
    std::string FBookFolder;
    std::unique_ptr<TBookWatcher> FBookWatcher;
    TBookChanges FWaitingChanges;
    TScopedSource FWaitingRetry;
    TWindowSettings FAppliedWindowSettings;
    // This window as the script host objects and user forms reach it; emptied when it goes.
    std::shared_ptr<THostWindowLink> FHostWindow = std::make_shared<THostWindowLink>(THostWindowLink{this});

    // Members of the design, in its order.
    std::shared_ptr<TUserForms> FUserForms; // shared with the script host object
    bool FStartFailed = false;
    std::unique_ptr<TMFS> FPageArchive;
    std::unique_ptr<TMFS> FSystemArchive;
    TComPtr<IUnknown> FHostExternal;
    std::unique_ptr<TMFSInternetProtocol> FPageProtocol;
    std::unique_ptr<TMFSInternetProtocol> FSystemProtocol;
    std::unique_ptr<TDictionary> FImageIndexes;
    std::vector<TToolButtonKind> FButtonKinds;
    std::unique_ptr<TStory> FStory;
    std::unique_ptr<TXMLParser> FSystemXml;
    std::unique_ptr<TVariables> FVariables;
    std::vector<TBookMarkItem> FBookmarks;
    int32_t FToolbarTextColor = 0;
    GtkMenuToolButton* FPrintButton = nullptr; // owned by tbrMain
    bool FCreated = false;
    bool FEndSplashIdle = true;
    std::unique_ptr<TSplashOptions> FSplashOptions;
    std::unique_ptr<TToolbarOptions> FToolbarOptions;
};
