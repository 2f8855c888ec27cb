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

#include <chrono>

namespace {

// Designed sizes: the list and the text box share one width, the buttons another.
constexpr int ListWidth = 301;
constexpr int ListHeight = 177;
constexpr int ButtonWidth = 75;
constexpr int Gap = 4;

const char* const SearchKey = "tomevane-search";

TPixbuf PageIcon() {
    GError* failure = nullptr;
    TPixbuf icon = TPixbuf::Take(gtk_icon_theme_load_icon(gtk_icon_theme_get_default(), "text-x-generic", 16,
                                                          GTK_ICON_LOOKUP_FORCE_SIZE, &failure));
    const TGlibPtr<GError, g_error_free> error(failure);
    return icon; // empty for a theme without the icon: rows without one
}

// The main window, which the search window stays above.
GtkWindow* MainWindowOf(TfrmMain& main) {
    return main.Window();
}

} // namespace

TfrmSearch::TfrmSearch(TfrmMain& main) : FWindow(gtk_dialog_new()), FMain(main) {
    GtkWindow* window = Window();
    g_object_set_data(G_OBJECT(window), SearchKey, this);
    gtk_window_set_title(window, "Search");
    gtk_window_set_transient_for(window, MainWindowOf(main));
    gtk_window_set_modal(window, TRUE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_default_size(window, 392, 216);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);

    pnlClient = gtk_grid_new();
    GtkGrid* grid = GTK_GRID(pnlClient);
    gtk_grid_set_row_spacing(grid, Gap);
    gtk_grid_set_column_spacing(grid, Gap + 3);
    gtk_container_set_border_width(GTK_CONTAINER(pnlClient), Gap);
    cbSearchText = gtk_combo_box_text_new_with_entry();
    gtk_widget_set_size_request(cbSearchText, ListWidth, -1);
    gtk_widget_set_tooltip_text(cbSearchText, "The text to find; letter case does not matter");
    // Enter in the text is the default button's.
    ConnectSignal<void(GtkEntry*)>(gtk_bin_get_child(GTK_BIN(cbSearchText)), "activate",
                                   [this](GtkEntry*) { gtk_button_clicked(GTK_BUTTON(btnSearch)); }, "search");
    btnSearch = gtk_button_new_with_label("Search");
    gtk_widget_set_size_request(btnSearch, ButtonWidth, -1);
    gtk_widget_set_can_default(btnSearch, TRUE);
    btnShowPage = gtk_button_new_with_label("Show");
    gtk_widget_set_size_request(btnShowPage, ButtonWidth, -1);
    gtk_widget_set_valign(btnShowPage, GTK_ALIGN_START);
    btnClose = gtk_button_new_with_label("Close");
    gtk_widget_set_size_request(btnClose, ButtonWidth, -1);
    gtk_widget_set_valign(btnClose, GTK_ALIGN_START);

    FRows = TGObjectPtr<GtkListStore>::Take(gtk_list_store_new(colCount, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_STRING));
    imglPages = PageIcon();
    lvFoundPages = gtk_tree_view_new_with_model(GTK_TREE_MODEL(FRows.get()));
    GtkTreeView* list = GTK_TREE_VIEW(lvFoundPages);
    GtkTreeViewColumn* title = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(title, "Page title");
    GtkCellRenderer* icon = gtk_cell_renderer_pixbuf_new();
    gtk_tree_view_column_pack_start(title, icon, FALSE);
    gtk_tree_view_column_add_attribute(title, icon, "pixbuf", colIcon);
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(title, text, TRUE);
    gtk_tree_view_column_add_attribute(title, text, "text", colTitle);
    gtk_tree_view_column_set_expand(title, TRUE);
    gtk_tree_view_append_column(list, title);
    GtkTreeViewColumn* fileName = gtk_tree_view_column_new_with_attributes("FileName", gtk_cell_renderer_text_new(),
                                                                         "text", colFileName, nullptr);
    gtk_tree_view_append_column(list, fileName);
    gtk_tree_view_column_set_visible(fileName, FALSE); // width 0: the path travels with the row unseen
    sbFoundPages = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_widget_set_size_request(sbFoundPages, ListWidth, ListHeight);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(sbFoundPages), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(sbFoundPages), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(sbFoundPages), lvFoundPages);

    // Tab order as designed: text, Search, list, Show, Close.
    gtk_grid_attach(grid, cbSearchText, 0, 0, 1, 1);
    gtk_grid_attach(grid, btnSearch, 1, 0, 1, 1);
    gtk_grid_attach(grid, sbFoundPages, 0, 1, 1, 3);
    gtk_grid_attach(grid, btnShowPage, 1, 1, 1, 1);
    gtk_grid_attach(grid, btnClose, 1, 2, 1, 1);
    GtkWidget* filler = gtk_label_new(nullptr);
    gtk_widget_set_vexpand(filler, TRUE);
    gtk_grid_attach(grid, filler, 1, 3, 1, 1);
    GList* chain = nullptr;
    for (GtkWidget* widget : {cbSearchText, btnSearch, sbFoundPages, btnShowPage, btnClose})
        chain = g_list_append(chain, widget);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_container_set_focus_chain(GTK_CONTAINER(pnlClient), chain);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_list_free(chain);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(window))), pnlClient, TRUE, TRUE, 0);
    // Every child of the window is shown; the window itself waits for Show or ShowModal.
    gtk_container_foreach(
        GTK_CONTAINER(window), [](GtkWidget* child, gpointer) { gtk_widget_show_all(child); }, nullptr);
    gtk_widget_grab_default(btnSearch);

    ConnectSignal<void(GtkButton*)>(btnSearch, "clicked", [this](GtkButton*) { btnSearchClick(); }, "search");
    ConnectSignal<void(GtkButton*)>(btnShowPage, "clicked", [this](GtkButton*) { btnShowPageClick(); }, "search");
    ConnectSignal<void(GtkButton*)>(
        btnClose, "clicked", [this](GtkButton*) { gtk_dialog_response(GTK_DIALOG(Window()), CloseResult); },
        "search");
    ConnectSignal<void(GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*)>(
        lvFoundPages, "row-activated", [this](GtkTreeView*, GtkTreePath*, GtkTreeViewColumn*) { lvFoundPagesDblClick(); },
        "search");
    ConnectSignal<gboolean(GtkWidget*, GdkEventKey*)>(
        window, "key-press-event", [this](GtkWidget*, GdkEventKey* event) -> gboolean { return on_key_press_event(event); },
        "search");
}

TfrmSearch::~TfrmSearch() {
    g_object_set_data(G_OBJECT(Window()), SearchKey, nullptr);
}

TfrmSearch* TfrmSearch::FromWindow(GtkWindow* window) {
    return window ? static_cast<TfrmSearch*>(g_object_get_data(G_OBJECT(window), SearchKey)) : nullptr;
}

void TfrmSearch::Show() {
    gtk_widget_show(FWindow.Widget());
}

int TfrmSearch::ShowModal() {
    const int result = gtk_dialog_run(GTK_DIALOG(Window()));
    gtk_widget_hide(FWindow.Widget());
    return result;
}

bool TfrmSearch::on_key_press_event(GdkEventKey* event) {
    // Esc is the Close button's, with its modal result.
    if (event->keyval == GDK_KEY_Escape) {
        gtk_button_clicked(GTK_BUTTON(btnClose));
        return true;
    }
    return false; // the dialog's own handling
}

void TfrmSearch::btnSearchClick() {
    gtk_list_store_clear(FRows.get());
    const std::string text =
        Utf8ToAnsi(gtk_entry_get_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(cbSearchText)))));
    bool known = false;
    for (const std::string& earlier : FSearchTexts)
        known = known || AnsiSameText(earlier, text);
    if (!known) {
        FSearchTexts.push_back(text);
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(cbSearchText), AnsiToUtf8(text).c_str());
    }
    FFoundText = text;

    TStory* story = FMain.Story();
    TMFS* pages = FMain.PageArchive();
    if (!story || !pages) return;
    const auto start = std::chrono::steady_clock::now();
    int rows = 0;
    try {
        rows = SearchPages(story->Line(), *pages, text, [&](const TFoundPage& page) {
            GtkTreeIter row;
            gtk_list_store_insert_with_values(FRows.get(), &row, -1, colIcon, imglPages.get(), colTitle,
                                              AnsiToUtf8(page.Title).c_str(), colFileName, page.Path.c_str(), -1);
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
    GtkTreeIter selected;
    const bool any =
        gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(lvFoundPages)), nullptr, &selected);
    TStory* story = FMain.Story();
    if (!any || !story || !FMain.webMain) return;
    gchar* file = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(FRows.get()), &selected, colFileName, &file, -1);
    const std::string path = file ? file : "";
    g_free(file);
    story->Locate(path);
    FMain.webMain->Navigate("mfs:" + story->CurrentPage());
    FMain.webMain->HighlightOnLoad(FFoundText);
}

void TfrmSearch::lvFoundPagesDblClick() {
    btnShowPageClick();
}

int TfrmSearch::RowCount() const {
    return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(FRows.get()), nullptr);
}

bool TfrmSearch::RowIter(int row, GtkTreeIter& iter) const {
    return row >= 0 && gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(FRows.get()), &iter, nullptr, row);
}

std::string TfrmSearch::RowText(int row, TColumn column) const {
    GtkTreeIter iter;
    if (!RowIter(row, iter)) return {};
    gchar* value = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(FRows.get()), &iter, column, &value, -1);
    std::string text = value ? value : "";
    g_free(value);
    return text;
}

std::string TfrmSearch::RowTitle(int row) const {
    return Utf8ToAnsi(RowText(row, colTitle));
}

std::string TfrmSearch::RowFileName(int row) const {
    return RowText(row, colFileName);
}

void TfrmSearch::SelectRow(int row) {
    GtkTreeIter iter;
    if (RowIter(row, iter)) gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(lvFoundPages)), &iter);
}
