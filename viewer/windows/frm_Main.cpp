// The main window while the reader reads: the page shown and the story cursor, the navigation
// events, the context-menu rule, the logo and the size of the toolbar panel.
#include "frm_Main.h"

#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_MFSProtocol.h"
#include "u_Settings.h"
#include "u_Shell.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_Variables.h"

void TfrmMain::ShowStoryPage() {
    if (!webMain || !FStory) return;
    webMain->Navigate("mfs:" + FStory->CurrentPage());
}

std::string TfrmMain::GetCurrentPage() {
    if (!webMain) return {};
    std::string url = webMain->LocationURL();
    if (url.size() >= 4 && AnsiSameText(std::string_view(url).substr(0, 4), "mfs:")) url.erase(0, 4);
    return url;
}

void TfrmMain::SyncStory() {
    if (FStory) FStory->Locate(GetCurrentPage());
}

void TfrmMain::SubstituteVariables(TMFSInternetProtocol*, const std::string&, TByteString& data) {
    // Content without a reference stays as it is, still sharing the archive's bytes.
    if (FVariables && data.View().find("%{") != std::string_view::npos) data = FVariables->Substitute(data);
}

HRESULT TfrmMain::webMain2GetExternal(TComPtr<IUnknown>& external) {
    try {
        external = FHostExternal;
        return FHostExternal ? S_OK : S_FALSE;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

void TfrmMain::webMain2NavigateComplete2(TMXWebBrowser*) {
    SyncStory();
}

void TfrmMain::webMain2DocumentComplete(TMXWebBrowser*) {
    if (!FPrintButton) return;
    // The sections are read from the main loop rather than inside the engine's event: reading
    // the document runs the loop, and the window may close meanwhile.
    FPrintSectionsUpdate = TScopedSource::Idle(
        [this] {
            UpdatePrintSections();
            return false;
        },
        "print sections");
}

HRESULT TfrmMain::webMain2ShowContextMenu(DWORD, const TPoint&, IUnknown*, IUnknown*) {
    // Pages outside the story leave the cursor where it was, so the last story page's rule holds.
    const bool disabled = !FStory || FStory->RightClickDisabled();
    return disabled ? S_OK : S_FALSE;
}

void TfrmMain::FormResize() {
    if (!FCreated || !FToolbarOptions) return;
    const int toolbarHeight = std::max(gtk_widget_get_allocated_height(GTK_WIDGET(tbrMain)), 1);
    int height = toolbarHeight;
    // The logo bitmap's own height, even when the picture is scaled down to fit its panel.
    if (FToolbarOptions->LogoDisplay && FLogoPicture && FLogoHeight >= toolbarHeight) height = FLogoHeight;
    int current = 0;
    gtk_widget_get_size_request(GTK_WIDGET(pnlToolbarCommon), nullptr, &current);
    if (current != height) gtk_widget_set_size_request(GTK_WIDGET(pnlToolbarCommon), -1, height);
}

void TfrmMain::imgLogoClick() {
    if (!FToolbarOptions || !FVariables) return;
    const std::string link = FVariables->Substitute(FToolbarOptions->LogoLink);
    LogDebug("logo clicked: %s", link.c_str());
    if (!link.empty()) ShellOpener().Open(link);
}
