#include "frm_Search.h"

#include "frm_Main.h"
#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_GuardedCall.h"
#include "u_PageSearch.h"
#include "u_Story.h"
#include "u_SysUtils.h"
#include "u_Text.h"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/entry.h>
#include <gtkmm/icontheme.h>

#include <chrono>

namespace {

// Designed sizes: the list and the text box share one width, the buttons another.
constexpr int ListWidth = 301;
constexpr int ListHeight = 177;
constexpr int ButtonWidth = 75;
constexpr int Gap = 4;

Glib::RefPtr<Gdk::Pixbuf> PageIcon() {
    try {
        return Gtk::IconTheme::get_default()->load_icon("text-x-generic", 16, Gtk::ICON_LOOKUP_FORCE_SIZE);
    } catch (const Glib::Error&) {
        return {}; // a theme without the icon: rows without one
    }
}

} // namespace

TfrmSearch::TfrmSearch(TfrmMain& main) : FMain(main) {
    set_title("Search");
    set_transient_for(*Glib::wrap(main.Window()));
    set_modal(true);
    set_resizable(false);
    set_default_size(392, 216);
    set_position(Gtk::WIN_POS_CENTER_ON_PARENT);

    pnlClient.set_row_spacing(Gap);
    pnlClient.set_column_spacing(Gap + 3);
    pnlClient.set_border_width(Gap);
    cbSearchText.set_size_request(ListWidth, -1);
    cbSearchText.set_tooltip_text("The text to find; letter case does not matter");
    // Enter in the text is the default button's.
    cbSearchText.get_entry()->signal_activate().connect([this] { btnSearch.clicked(); });
    btnSearch.set_size_request(ButtonWidth, -1);
    btnSearch.set_can_default(true);
    btnShowPage.set_size_request(ButtonWidth, -1);
    btnShowPage.set_valign(Gtk::ALIGN_START);
    btnClose.set_size_request(ButtonWidth, -1);
    btnClose.set_valign(Gtk::ALIGN_START);

    FRows = Gtk::ListStore::create(FColumns);
    imglPages = PageIcon();
    lvFoundPages.set_model(FRows);
    auto* title = Gtk::manage(new Gtk::TreeViewColumn("Page title"));
    title->pack_start(FColumns.Icon, false);
    title->pack_start(FColumns.Title, true);
    title->set_expand(true);
    lvFoundPages.append_column(*title);
    lvFoundPages.append_column("FileName", FColumns.FileName);
    lvFoundPages.get_column(1)->set_visible(false); // width 0: the path travels with the row unseen
    sbFoundPages.set_size_request(ListWidth, ListHeight);
    sbFoundPages.set_policy(Gtk::POLICY_AUTOMATIC, Gtk::POLICY_AUTOMATIC);
    sbFoundPages.set_shadow_type(Gtk::SHADOW_IN);
    sbFoundPages.add(lvFoundPages);

    // Tab order as designed: text, Search, list, Show, Close.
    pnlClient.attach(cbSearchText, 0, 0);
    pnlClient.attach(btnSearch, 1, 0);
    pnlClient.attach(sbFoundPages, 0, 1, 1, 3);
    pnlClient.attach(btnShowPage, 1, 1);
    pnlClient.attach(btnClose, 1, 2);
    Gtk::Label* filler = Gtk::manage(new Gtk::Label());
    filler->set_vexpand(true);
    pnlClient.attach(*filler, 1, 3);
    pnlClient.set_focus_chain({&cbSearchText, &btnSearch, &sbFoundPages, &btnShowPage, &btnClose});
    get_content_area()->pack_start(pnlClient, Gtk::PACK_EXPAND_WIDGET);
    show_all_children();
    btnSearch.grab_default();

    btnSearch.signal_clicked().connect(Guarded("search", [this] { btnSearchClick(); }));
    btnShowPage.signal_clicked().connect(Guarded("search", [this] { btnShowPageClick(); }));
    btnClose.signal_clicked().connect([this] { response(CloseResult); });
    lvFoundPages.signal_row_activated().connect(
        Guarded("search", [this](const Gtk::TreeModel::Path&, Gtk::TreeViewColumn*) { lvFoundPagesDblClick(); }));
}

int TfrmSearch::ShowModal() {
    const int result = run();
    hide();
    return result;
}

bool TfrmSearch::on_key_press_event(GdkEventKey* event) {
    // Esc is the Close button's, with its modal result.
    if (event->keyval == GDK_KEY_Escape) {
        btnClose.clicked();
        return true;
    }
    return Gtk::Dialog::on_key_press_event(event);
}

void TfrmSearch::btnSearchClick() {
    FRows->clear();
    const std::string text = Utf8ToAnsi(cbSearchText.get_entry_text().raw());
    bool known = false;
    for (const std::string& earlier : FSearchTexts)
        known = known || AnsiSameText(earlier, text);
    if (!known) {
        FSearchTexts.push_back(text);
        cbSearchText.append(AnsiToUtf8(text));
    }
    FFoundText = text;

    TStory* story = FMain.Story();
    TMFS* pages = FMain.PageArchive();
    if (!story || !pages) return;
    const auto start = std::chrono::steady_clock::now();
    int rows = 0;
    try {
        rows = SearchPages(story->Line(), *pages, text, [&](const TFoundPage& page) {
            Gtk::TreeModel::Row row = *FRows->append();
            row[FColumns.Icon] = imglPages;
            row[FColumns.Title] = AnsiToUtf8(page.Title);
            row[FColumns.FileName] = page.Path;
        });
    } catch (...) {
        // The rows found before the failure stay.
        rows = RowCount();
        const std::string message = ExceptionMessageText();
        LogDebug("search \"%s\" stopped: %s", text.c_str(), message.c_str());
        ShowMessageBox(TMessageKind::Error, message);
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    LogDebug("search \"%s\" %d rows %lld ms", text.c_str(), rows, static_cast<long long>(ms.count()));
}

void TfrmSearch::btnShowPageClick() {
    Gtk::TreeModel::iterator selected = lvFoundPages.get_selection()->get_selected();
    TStory* story = FMain.Story();
    if (!selected || !story || !FMain.webMain) return;
    const std::string path = (*selected)[FColumns.FileName];
    story->Locate(path);
    FMain.webMain->Navigate("mfs:" + story->CurrentPage());
    FMain.webMain->HighlightOnLoad(FFoundText);
}

void TfrmSearch::lvFoundPagesDblClick() {
    btnShowPageClick();
}

int TfrmSearch::RowCount() const {
    return static_cast<int>(FRows->children().size());
}

std::string TfrmSearch::RowTitle(int row) const {
    return Utf8ToAnsi(Glib::ustring((*FRows->children()[static_cast<unsigned>(row)])[FColumns.Title]).raw());
}

std::string TfrmSearch::RowFileName(int row) const {
    return (*FRows->children()[static_cast<unsigned>(row)])[FColumns.FileName];
}

void TfrmSearch::SelectRow(int row) {
    lvFoundPages.get_selection()->select(FRows->children()[static_cast<unsigned>(row)]);
}
