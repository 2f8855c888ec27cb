// Print sections: a page marks a part for printing by wrapping it in a div whose id ends in "PAGE".
// After every page load the Print button's menu lists those parts (caption and hint the id), and
// choosing one opens the print window with just that part as a page of its own.
#include "frm_Main.h"

#include "frm_Print.h"
#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_Dialogs.h"
#include "u_Text.h"

#include <glibmm/main.h>

namespace {

bool IsDiv(const TDocumentElement& element) {
    return element.HTML && AnsiSameText(element.TagName, "div");
}

} // namespace

void TfrmMain::UpdatePrintSections() {
    if (!FPrintButton) return;
    for (Gtk::Widget* item : popPrint.get_children())
        popPrint.remove(*item); // managed: gone with its removal
    BuildPrintSections();
    ShowDropDownArrow(*FPrintButton, !popPrint.get_children().empty());
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
            auto* item = Gtk::manage(new Gtk::MenuItem(AnsiToUtf8(element.Id)));
            item->set_tooltip_text(AnsiToUtf8(element.Id));
            item->signal_activate().connect(Guarded("print section", [this, item] { PrintSectionClick(item); }));
            popPrint.append(*item);
            ++count;
        }
    popPrint.show_all();
    LogDebug("print sections %d", count);
}

void TfrmMain::PrintSectionClick(Gtk::MenuItem* sender) {
    if (!sender || !webMain) return;
    // The hint is copied first: the item goes when the menu is rebuilt while the window is open.
    const std::string wanted = Utf8ToAnsi(sender->get_tooltip_text().raw());
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
    TfrmPrint print(gobj());
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
