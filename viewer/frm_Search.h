// TfrmSearch: the search window. The reader types a text, Search lists the searchable pages of the
// reading order whose text holds it (letter case ignored), and Show (or a double-click on a row)
// shows the chosen page in the main window behind the open window; the page shown highlights every
// occurrence of the text. The drop-down list keeps the texts searched while the window is open.
#pragma once

#include <gtkmm/button.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/dialog.h>
#include <gtkmm/grid.h>
#include <gtkmm/liststore.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/treeview.h>

#include <string>
#include <vector>

class TfrmMain;

class TfrmSearch : public Gtk::Dialog {
  public:
    // The window's modal result when Close or Esc ends it.
    static constexpr int CloseResult = 1;

    explicit TfrmSearch(TfrmMain& main);
    TfrmSearch(const TfrmSearch&) = delete;
    TfrmSearch& operator=(const TfrmSearch&) = delete;

    // Shows the window modally and returns its modal result when it has closed.
    int ShowModal();

    // The search texts of this window's life, in the order first searched.
    const std::vector<std::string>& SearchTexts() const { return FSearchTexts; }
    int RowCount() const;
    // Caption (page title) and hidden file name (archive path) of a result row.
    std::string RowTitle(int row) const;
    std::string RowFileName(int row) const;
    void SelectRow(int row);

    // Components.
    Gtk::Grid pnlClient;
    Gtk::ComboBoxText cbSearchText{true};
    Gtk::Button btnSearch{"Search"};
    Gtk::ScrolledWindow sbFoundPages;
    Gtk::TreeView lvFoundPages;
    Gtk::Button btnShowPage{"Show"};
    Gtk::Button btnClose{"Close"};

    // Event handlers.
    void btnSearchClick();
    void btnShowPageClick();
    void lvFoundPagesDblClick();

  private:
    struct TColumns : Gtk::TreeModelColumnRecord {
        TColumns() {
            add(Icon);
            add(Title);
            add(FileName);
        }
        Gtk::TreeModelColumn<Glib::RefPtr<Gdk::Pixbuf>> Icon;
        Gtk::TreeModelColumn<Glib::ustring> Title;
        Gtk::TreeModelColumn<std::string> FileName; // system code page, as the story has it
    };

    bool on_key_press_event(GdkEventKey* event) override;

    TfrmMain& FMain;
    TColumns FColumns;
    Glib::RefPtr<Gtk::ListStore> FRows;
    Glib::RefPtr<Gdk::Pixbuf> imglPages; // the page icon of the rows
    std::vector<std::string> FSearchTexts;
    std::string FFoundText; // the text the rows were found for
};
