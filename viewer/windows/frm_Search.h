// TfrmSearch: the search window. The reader types a text, Search lists the searchable pages of the
// reading order whose text holds it (letter case ignored), and Show (or a double-click on a row)
// shows the chosen page in the main window behind the open window; the page shown highlights every
// occurrence of the text. The drop-down list keeps the texts searched while the window is open.
#pragma once

#include "u_GObject.h"
#include "u_Pictures.h"
#include "u_WindowOwner.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

class TfrmMain;

class TfrmSearch {
    TWindowOwner FWindow; // first made, last destroyed

  public:
    // The window's modal result when Close or Esc ends it.
    static constexpr int CloseResult = 1;

    explicit TfrmSearch(TfrmMain& main);
    TfrmSearch(const TfrmSearch&) = delete;
    TfrmSearch& operator=(const TfrmSearch&) = delete;
    ~TfrmSearch();

    GtkWindow* Window() const { return FWindow.Window(); }
    // The search window object of window, when it is one.
    static TfrmSearch* FromWindow(GtkWindow* window);
    // Puts the window on screen without waiting for it (ShowModal waits).
    void Show();

    // Shows the window modally and returns its modal result when it has closed.
    int ShowModal();

    // The search texts of this window's life, in the order first searched.
    const std::vector<std::string>& SearchTexts() const { return FSearchTexts; }
    int RowCount() const;
    // Caption (page title) and hidden file name (archive path) of a result row.
    std::string RowTitle(int row) const;
    std::string RowFileName(int row) const;
    void SelectRow(int row);

    // Components, owned by the window.
    GtkWidget* pnlClient = nullptr;    // a grid
    GtkWidget* cbSearchText = nullptr; // a combo box text with an entry
    GtkWidget* btnSearch = nullptr;
    GtkWidget* sbFoundPages = nullptr;
    GtkWidget* lvFoundPages = nullptr; // a tree view
    GtkWidget* btnShowPage = nullptr;
    GtkWidget* btnClose = nullptr;

    // Event handlers.
    void btnSearchClick();
    void btnShowPageClick();
    void lvFoundPagesDblClick();

  private:
    // The columns of the rows.
    enum TColumn { colIcon, colTitle, colFileName /* system code page, as the story has it */, colCount };

    bool on_key_press_event(GdkEventKey* event);
    // The tree iterator of row.
    bool RowIter(int row, GtkTreeIter& iter) const;
    std::string RowText(int row, TColumn column) const;

    TfrmMain& FMain;
    TGObjectPtr<GtkListStore> FRows;
    TPixbuf imglPages; // the page icon of the rows
    std::vector<std::string> FSearchTexts;
    std::string FFoundText; // the text the rows were found for
};
