// TfrmPrint: the print window. It shows one HTML text (a print section of the page in the main
// window, laid out as a page of its own) and prints or previews it from its tool bar. The page view
// has no context menu and no script host object: it shows a copy, not a page of the book. Esc
// (through the main window's key filter) and the close box close it.
//
// LoadHtmlIntoBrowser is how a text without a file becomes a browser's document: the blank page
// first, then the text in its place.
#pragma once

#include "u_MXWebBrowser.h"

#include "u_GObject.h"
#include "u_Pictures.h"
#include "u_WindowOwner.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

// The designed size of the print window.
inline constexpr int PrintWindowWidth = 696;
inline constexpr int PrintWindowHeight = 480;

class TfrmPrint {
    TWindowOwner FWindow; // first made, last destroyed

  public:
    // owner: the window the print window stays above while it is open, or none.
    explicit TfrmPrint(GtkWindow* owner = nullptr);
    TfrmPrint(const TfrmPrint&) = delete;
    TfrmPrint& operator=(const TfrmPrint&) = delete;
    ~TfrmPrint();

    GtkWindow* Window() const { return FWindow.Window(); }
    // The print window object of window, when it is one.
    static TfrmPrint* FromWindow(GtkWindow* window);

    // Shows the window modally and returns when it has been closed.
    void ShowModal();
    // Closes the window as its close box does (which ends ShowModal).
    void Close();

    // Components, owned by the window.
    GtkWidget* pnlClient = nullptr; // a vertical box
    GtkWidget* tbrPrint = nullptr;  // a tool bar
    GtkWidget* tbtnPrint = nullptr; // tool buttons
    GtkWidget* tbtnPreview = nullptr;
    std::unique_ptr<TMXWebBrowser> webPrint;
    // The two 16 x 16 pictures of the tool bar: print, preview.
    std::vector<TPixbuf> imglToolbar;

    // Event handlers.
    void tbtnPrintClick();
    void tbtnPreviewClick();
    HRESULT webPrintShowContextMenu(DWORD id, const TPoint& point, IUnknown* commandTarget, IUnknown* object);

  private:
    bool on_delete_event(GdkEventAny* event);
    void on_hide();

    TGlibPtr<GMainLoop, g_main_loop_unref> FModalLoop;
};

// The picture of the print window's tool bar at index (0 print, 1 preview), 16 x 16: the icon
// theme's where it has one, else a glyph of the viewer's own.
TPixbuf PrintToolbarPicture(int index, bool fromTheme = true);

// Makes browser show text (system code page) as its document: it goes to the blank page, waits
// (processing events) until that is there, then loads text in its place with every line ended by
// CR LF. Without a blank document within timeoutMs nothing is loaded.
void LoadHtmlIntoBrowser(TMXWebBrowser& browser, const std::string& text, int timeoutMs = 10000);

// text split into lines (at CR LF, LF or a lone CR) and joined again with CR LF after each line; an
// empty text stays empty.
std::string WithCrLfLines(const std::string& text);

// The page a print section prints as: the section's inner HTML in a document of its own whose base
// address is the root of the page archive, wherever the page holding the section lies.
std::string SectionPageText(const std::string& innerHtml);

// Whether a div with this id is a print section: the id ends in "PAGE", in any letter case.
bool IsPrintSectionId(const std::string& id);
