// The main window while an author writes the book: the unpacked book folder is followed, a saved
// page reloads the page shown from the page archive brought in step with the folder, a saved
// description file restarts the book in this window at the page shown. A description the
// start-up's reading refuses is shown in an error box and the last good book stays open.
#include "frm_Main.h"

#include "u_BookReader.h"
#include "u_BookWatcher.h"
#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_Dictionary.h"
#include "u_FolderArchive.h"
#include "u_GuardedCall.h"
#include "u_HostExternal.h"
#include "u_MFS.h"
#include "u_MFSProtocol.h"
#include "u_Settings.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_UserForms.h"
#include "u_Variables.h"
#include "u_XMLParser.h"

#include <filesystem>
#include <utility>

namespace {

// How long a batch waits while a modal window (a user form, the print window, a message box) runs
// its own loop: the book is never replaced under a window that uses it.
constexpr unsigned ModalRetryMs = 200;

} // namespace

void TfrmMain::FollowBookFolder(const std::string& folder) {
    if (FStartFailed || FClosed) return;
    FBookFolder = folder;
    LogDebug("watching %s", folder.c_str());
    FAppliedWindowSettings = TBookReader(*FSystemArchive).ReadWindowSettings(FSystemXml->Root());
    FBookWatcher = std::make_unique<TBookWatcher>(folder, [this](const TBookChanges& changes) {
        BookFolderChanged(changes);
    });
}

void TfrmMain::BookFolderChanged(const TBookChanges& changes) {
    if (FClosing || FClosed || !webMain) return;
    FWaitingChanges.Pages.insert(changes.Pages.begin(), changes.Pages.end());
    FWaitingChanges.Descriptions.insert(changes.Descriptions.begin(), changes.Descriptions.end());
    if (g_main_depth() > 1) {
        // Called from a loop nested in another event: something modal is open.
        if (!FWaitingRetry.Active())
            FWaitingRetry = TScopedSource::Timeout(
                ModalRetryMs,
                [self = this] {
                    // This retry ends here: the call below arms a new one while the modal window
                    // is still open (a source still running would count as armed).
                    self->FWaitingRetry.Cancel();
                    self->BookFolderChanged({});
                    return false;
                },
                "book folder changes");
        return;
    }
    FWaitingRetry.Cancel();
    TBookChanges batch;
    std::swap(batch, FWaitingChanges);
    if (batch.Empty()) return;
    const bool pagesUpdated = batch.Pages.empty() || UpdatePageArchive(batch.Pages);
    if (!batch.Descriptions.empty()) {
        if (RestartBook(TBookChanges::Describe(batch.Descriptions, FBookFolder))) return;
        if (batch.Pages.empty()) return;
    }
    if (pagesUpdated) ReloadPage(TBookChanges::Describe(batch.Pages, FBookFolder));
}

bool TfrmMain::UpdatePageArchive(const std::set<std::string>& changed) {
    const std::filesystem::path pages = std::filesystem::path(FBookFolder) / "pages";
    try {
        bool whole = false;
        for (const std::string& path : changed) {
            if (path.size() <= 6 || path.compare(0, 6, "pages/") != 0 ||
                !UpdateArchiveEntry(pages.string(), path.substr(6), *FPageArchive)) {
                whole = true;
                break;
            }
        }
        if (!whole) return true;
        // A folder came or went, or a name needs the packer's own checks: the archive anew.
        auto archive = std::make_unique<TMFS>();
        BuildArchive(pages.string(), *archive);
        FPageProtocol.reset();
        FPageArchive = std::move(archive);
        RegisterPageProtocols();
        return true;
    } catch (...) {
        const std::string message = ExceptionMessageText();
        LogDebug("reload failed: %s", message.c_str());
        ShowMessageBox(TMessageKind::Error, message);
        return false;
    }
}

void TfrmMain::RegisterPageProtocols() {
    FPageProtocol.reset();
    FSystemProtocol.reset();
    FPageProtocol = std::make_unique<TMFSInternetProtocol>("mfs", FPageArchive.get());
    FPageProtocol->OnAfterGetData = [this](TMFSInternetProtocol* sender, const std::string& url,
                                           TByteString& data) { SubstituteVariables(sender, url, data); };
    FSystemProtocol = std::make_unique<TMFSInternetProtocol>("system", FSystemArchive.get());
    FSystemProtocol->OnAfterGetData = FPageProtocol->OnAfterGetData;
}

void TfrmMain::ReloadPage(const std::string& reason) {
    if (!webMain) return;
    LogDebug("reload %s", reason.c_str());
    ShowPageAgain();
}

void TfrmMain::ShowPageAgain() {
    // The engine keeps the scroll position of a page it reloads.
    if (webMain->LocationURL().empty())
        ShowStoryPage();
    else
        webMain->ExecWB(OLECMDID_REFRESH, OLECMDEXECOPT_DONTPROMPTUSER);
}

bool TfrmMain::RestartBook(const std::string& reason) {
    LogDebug("restart %s", reason.c_str());
    // Everything the start-up reads is read first, over a fresh system archive; the book shown is
    // replaced only when all of it succeeded.
    auto system = std::make_unique<TMFS>();
    std::unique_ptr<TXMLParser> systemXml;
    std::shared_ptr<TUserForms> userForms;
    std::unique_ptr<TStory> story;
    std::unique_ptr<TVariables> variables;
    TWindowSettings window;
    std::unique_ptr<TToolbarOptions> toolbarOptions;
    TPixbuf logo;
    std::unique_ptr<TSplashOptions> splashOptions;
    try {
        BuildArchive((std::filesystem::path(FBookFolder) / "system").string(), *system);
        TBookReader reader(*system);
        systemXml = reader.ReadSystemXml();
        const TXMLNode* root = systemXml->Root();
        userForms = std::make_shared<TUserForms>(reader.ReadUserForms(root));
        story = reader.ReadStory(root);
        variables = reader.ReadVariables(root);
        window = reader.ReadWindowSettings(root);
        toolbarOptions = reader.ReadToolbarOptions(root);
        logo = reader.ReadLogo(*toolbarOptions);
        splashOptions = reader.ReadSplashOptions(root);
        // The toolbar is built from its own reading below; a picture it refuses ends the restart here.
        reader.ReadToolbar(root, *toolbarOptions);
    } catch (...) {
        const std::string message = ExceptionMessageText();
        LogDebug("restart failed: %s", message.c_str());
        ShowMessageBox(TMessageKind::Error, message);
        return false;
    }

    const std::string page = GetCurrentPage();
    // The book's data is replaced first. The old system archive lives until the "system" scheme
    // serves the new one; the old forms live as long as a host object made over them (a page's
    // call may still be waiting to run).
    const std::unique_ptr<TMFS> oldSystem = std::exchange(FSystemArchive, std::move(system));
    FSystemXml = std::move(systemXml);
    FStory = std::move(story);
    FVariables = std::move(variables);
    RegisterPageProtocols();
    FUserForms = std::move(userForms);
    FHostExternal = TComPtr<IUnknown>(static_cast<IHostExternal*>(new THostExternal(FUserForms, FHostWindow)));
    FToolbarOptions = std::move(toolbarOptions);
    FSplashOptions = std::move(splashOptions);

    // Then the window follows it; a failure there is shown, and the new book stays.
    GuardedCall("restart", [&] {
        ApplyChangedWindowSettings(window);
        ClearToolbar();
        ApplyToolbarSettings(logo);
        BuildToolbar();
        FormResize();
    });
    // The same page again, at its scroll position where the engine keeps it.
    FStory->Locate(page);
    ShowPageAgain();
    return true;
}

void TfrmMain::ApplyChangedWindowSettings(const TWindowSettings& settings) {
    // Titles always; size, border and state only where the description changed them, so that a
    // restart leaves the window where the author put it.
    SetApplicationTitle(settings.ApplicationTitle.empty() ? SApplicationTitle
                                                          : FVariables->Substitute(settings.ApplicationTitle));
    GtkWindow* window = Window();
    gtk_window_set_title(window, AnsiToUtf8(settings.MainFormCaption.empty()
                                                ? std::string("Vellumet")
                                                : FVariables->Substitute(settings.MainFormCaption))
                                     .c_str());
    const TWindowSettings& before = FAppliedWindowSettings;
    if (settings.Width != before.Width || settings.Height != before.Height) {
        gtk_window_set_default_size(window, settings.Width, settings.Height);
        gtk_window_resize(window, std::max(settings.Width, 1), std::max(settings.Height, 1));
    }
    if (settings.ResizableWindow != before.ResizableWindow) gtk_window_set_resizable(window, settings.ResizableWindow);
    if (settings.RunMaximized != before.RunMaximized) {
        if (settings.RunMaximized)
            gtk_window_maximize(window);
        else
            gtk_window_unmaximize(window);
    }
    FAppliedWindowSettings = settings;
}

void TfrmMain::ClearToolbar() {
    DestroyChildren(GTK_CONTAINER(tbrMain));
    for (GtkMenu* menu : {popBookMarks, popFontSize, popPrint})
        if (gtk_menu_get_attach_widget(menu)) gtk_menu_detach(menu);
    DestroyChildren(GTK_CONTAINER(popBookMarks));
    gtk_widget_set_no_show_all(GTK_WIDGET(tbrMain), FALSE);
    FPrintButton = nullptr;
    FPrintSectionsUpdate.Cancel();
    FBookmarks.clear();
    FButtonKinds.clear();
    imglToolbar.clear();
    FImageIndexes = std::make_unique<TDictionary>(true, true);
}
