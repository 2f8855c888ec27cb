// Print sections: a page marks a part for printing by wrapping it in a div whose id ends in "PAGE".
// After every page load the Print button's menu lists those parts (caption and hint the id), and
// choosing one opens the print window with just that part as a page of its own.
#include "frm_Main.h"

#include "frm_Print.h"
#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_Dialogs.h"
#include "u_Text.h"

namespace {

bool IsDiv(const TDocumentElement& element) {
    return element.HTML && AnsiSameText(element.TagName, "div");
}

} // namespace

void TfrmMain::UpdatePrintSections() {
    if (!FPrintButton) return;
    DestroyChildren(GTK_CONTAINER(popPrint));
    BuildPrintSections();
    ShowDropDownArrow(FPrintButton, HasMenuItems(popPrint));
}

void TfrmMain::BuildPrintSections() {
    const unsigned build = ++FPrintSectionsBuild;
    if (!webMain) return;
    // Reading the document runs the main loop: another page may finish loading meanwhile and
    // rebuild the menu for itself.
    const auto elements = webMain->DocumentElements(false);
    if (build != FPrintSectionsBuild) return;
    int count = 0;
    if (elements)
        for (const TDocumentElement& element : *elements) {
            // An element whose tag name could not be read has none, and is no div.
            if (!IsDiv(element) || !IsPrintSectionId(element.Id)) continue;
            const std::string id = AnsiToUtf8(element.Id);
            GtkWidget* item = gtk_menu_item_new_with_label(id.c_str());
            gtk_widget_set_tooltip_text(item, id.c_str());
            ConnectSignal<void(GtkMenuItem*)>(
                item, "activate", [this](GtkMenuItem* sender) { PrintSectionClick(sender); }, "print section", true);
            gtk_menu_shell_append(GTK_MENU_SHELL(popPrint), item);
            ++count;
        }
    gtk_widget_show_all(GTK_WIDGET(popPrint));
    LogDebug("print sections %d", count);
}

void TfrmMain::PrintSectionClick(GtkMenuItem* sender) {
    if (!sender || !webMain) return;
    // The hint is copied first: the item goes when the menu is rebuilt while the window is open.
    const TGlibPtr<char, g_free> hint(gtk_widget_get_tooltip_text(GTK_WIDGET(sender)));
    const std::string wanted = Utf8ToAnsi(hint ? hint.get() : "");
    const auto elements = webMain->DocumentElements(true);
    if (elements)
        for (const TDocumentElement& element : *elements)
            if (IsDiv(element) && AnsiSameText(element.Id, wanted)) {
                LogDebug("print section %s", wanted.c_str());
                ShowPrintPage(SectionPageText(element.InnerHTML));
                return;
            }
    ShowMessageBox(TMessageKind::Plain, "Can not find page");
}

void TfrmMain::ShowPrintPage(const std::string& html) {
    TfrmPrint print(Window());
    // The reader's printer is the same in both windows.
    if (webMain) print.webPrint->SetPrintSettings(webMain->PrintSettings());
    // A box shown while the print window is open (a print that failed) stands above it.
    struct TBoxOwner {
        explicit TBoxOwner(GtkWindow* owner) : Previous(MessageBoxOwner()) { SetMessageBoxOwner(owner); }
        ~TBoxOwner() { SetMessageBoxOwner(Previous); }
        GtkWindow* Previous;
    } boxOwner(print.Window());
    LoadHtmlIntoBrowser(*print.webPrint, html);
    print.ShowModal();
}
