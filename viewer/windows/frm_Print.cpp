#include "frm_Print.h"

#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_Text.h"

#include <cmath>

namespace {

constexpr int GlyphSize = 16;

const char* const PrintKey = "tomevane-print";

TPixbuf ThemeIcon(const char* name) {
    GtkIconTheme* theme = gtk_icon_theme_get_default();
    if (!theme || !gtk_icon_theme_has_icon(theme, name)) return {};
    GError* failure = nullptr;
    TPixbuf icon =
        TPixbuf::Take(gtk_icon_theme_load_icon(theme, name, GlyphSize, GTK_ICON_LOOKUP_FORCE_SIZE, &failure));
    const TGlibPtr<GError, g_error_free> error(failure);
    return icon;
}

// The viewer's own glyphs: a printer with a sheet in it, and a sheet under a magnifying glass.
TPixbuf DrawGlyph(int index) {
    const TGlibPtr<cairo_surface_t, cairo_surface_destroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, GlyphSize, GlyphSize));
    const TGlibPtr<cairo_t, cairo_destroy> context(cairo_create(surface.get()));
    cairo_t* cr = context.get();
    cairo_set_line_width(cr, 1);
    auto sheet = [&](double x, double y, double w, double h) {
        cairo_rectangle(cr, x + 0.5, y + 0.5, w, h);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
        cairo_stroke(cr);
    };
    if (index == 0) {
        sheet(4, 1, 7, 6);
        cairo_rectangle(cr, 1.5, 6.5, 13, 6); // the printer's body
        cairo_set_source_rgb(cr, 0.55, 0.57, 0.6);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        cairo_stroke(cr);
        sheet(4, 10, 7, 5); // the printed sheet coming out
        cairo_rectangle(cr, 12, 8, 1, 1);
        cairo_set_source_rgb(cr, 0.2, 0.7, 0.2);
        cairo_fill(cr);
    } else {
        sheet(1, 1, 10, 13);
        cairo_set_source_rgb(cr, 0.5, 0.5, 0.5);
        for (int y = 4; y <= 10; y += 2) {
            cairo_move_to(cr, 3, y + 0.5);
            cairo_line_to(cr, 9, y + 0.5);
        }
        cairo_stroke(cr);
        cairo_arc(cr, 10, 9.5, 3.5, 0, 2 * M_PI); // the glass
        cairo_set_source_rgba(cr, 0.75, 0.85, 1, 0.8);
        cairo_fill_preserve(cr);
        cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, 12.5, 12);
        cairo_line_to(cr, 15, 14.5);
        cairo_stroke(cr);
    }
    cairo_surface_flush(surface.get());
    return TPixbuf::Take(gdk_pixbuf_get_from_surface(surface.get(), 0, 0, GlyphSize, GlyphSize));
}

// A tool button showing picture, labelled and hinted with text.
GtkWidget* NewToolButton(const TPixbuf& picture, const char* text) {
    GtkToolItem* button = gtk_tool_button_new(gtk_image_new_from_pixbuf(picture.get()), text);
    gtk_tool_item_set_tooltip_text(button, text);
    return GTK_WIDGET(button);
}

} // namespace

TPixbuf PrintToolbarPicture(int index, bool fromTheme) {
    if (fromTheme)
        if (TPixbuf icon = ThemeIcon(index == 0 ? "document-print" : "document-print-preview")) return icon;
    return DrawGlyph(index);
}

TfrmPrint::TfrmPrint(GtkWindow* owner) : FWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
    GtkWindow* window = Window();
    g_object_set_data(G_OBJECT(window), PrintKey, this);
    gtk_window_set_title(window, "Print page");
    gtk_window_set_default_size(window, PrintWindowWidth, PrintWindowHeight);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_modal(window, TRUE);
    if (owner) gtk_window_set_transient_for(window, owner);

    imglToolbar = {PrintToolbarPicture(0), PrintToolbarPicture(1)};
    tbrPrint = gtk_toolbar_new();
    gtk_toolbar_set_style(GTK_TOOLBAR(tbrPrint), GTK_TOOLBAR_ICONS);
    gtk_toolbar_set_icon_size(GTK_TOOLBAR(tbrPrint), GTK_ICON_SIZE_SMALL_TOOLBAR);
    tbtnPrint = NewToolButton(imglToolbar[0], "Print");
    tbtnPreview = NewToolButton(imglToolbar[1], "Preview");
    gtk_toolbar_insert(GTK_TOOLBAR(tbrPrint), GTK_TOOL_ITEM(tbtnPrint), -1);
    gtk_toolbar_insert(GTK_TOOLBAR(tbrPrint), GTK_TOOL_ITEM(tbtnPreview), -1);
    ConnectSignal<void(GtkToolButton*)>(tbtnPrint, "clicked", [this](GtkToolButton*) { tbtnPrintClick(); }, "print");
    ConnectSignal<void(GtkToolButton*)>(tbtnPreview, "clicked", [this](GtkToolButton*) { tbtnPreviewClick(); },
                                        "print");

    // A copy of part of a page: no script host object (it never installs one), no context menu.
    webPrint = std::make_unique<TMXWebBrowser>();
    webPrint->SetDownloadOptions({DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS});
    webPrint->SetUserInterfaceOptions({});
    webPrint->OnShowContextMenu = [this](DWORD id, const TPoint& point, IUnknown* target, IUnknown* object) {
        return webPrintShowContextMenu(id, point, target, object);
    };

    pnlClient = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(pnlClient), tbrPrint, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(pnlClient), webPrint->Widget(), TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), pnlClient);
    gtk_widget_show_all(pnlClient);

    ConnectSignal<gboolean(GtkWidget*, GdkEventAny*)>(
        window, "delete-event", [this](GtkWidget*, GdkEventAny* event) -> gboolean { return on_delete_event(event); },
        "print");
    ConnectSignal<void(GtkWidget*)>(window, "hide", [this](GtkWidget*) { on_hide(); }, "print", true);
}

TfrmPrint::~TfrmPrint() {
    g_object_set_data(G_OBJECT(Window()), PrintKey, nullptr);
    if (webPrint) gtk_container_remove(GTK_CONTAINER(pnlClient), webPrint->Widget());
    webPrint.reset();
}

TfrmPrint* TfrmPrint::FromWindow(GtkWindow* window) {
    return window ? static_cast<TfrmPrint*>(g_object_get_data(G_OBJECT(window), PrintKey)) : nullptr;
}

void TfrmPrint::ShowModal() {
    FModalLoop.reset(g_main_loop_new(nullptr, FALSE));
    gtk_widget_show(FWindow.Widget());
    gtk_window_present(Window());
    g_main_loop_run(FModalLoop.get());
    FModalLoop.reset();
}

void TfrmPrint::Close() {
    gtk_window_close(Window());
}

bool TfrmPrint::on_delete_event(GdkEventAny*) {
    gtk_widget_hide(FWindow.Widget()); // the owner frees the window when its modal display has ended
    return true;
}

void TfrmPrint::on_hide() {
    if (FModalLoop) g_main_loop_quit(FModalLoop.get());
}

void TfrmPrint::tbtnPrintClick() {
    if (webPrint) webPrint->ExecWB(OLECMDID_PRINT, OLECMDEXECOPT_DONTPROMPTUSER);
}

void TfrmPrint::tbtnPreviewClick() {
    if (webPrint) webPrint->ExecWB(OLECMDID_PRINTPREVIEW, OLECMDEXECOPT_DONTPROMPTUSER);
}

HRESULT TfrmPrint::webPrintShowContextMenu(DWORD, const TPoint&, IUnknown*, IUnknown*) {
    return S_OK; // handled here: no menu
}

std::string WithCrLfLines(const std::string& text) {
    std::string result;
    result.reserve(text.size() + text.size() / 32 + 2);
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) {
            result.append(text, i, std::string::npos);
            result += "\r\n";
            break;
        }
        result.append(text, i, end - i);
        result += "\r\n";
        i = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return result;
}

void LoadHtmlIntoBrowser(TMXWebBrowser& browser, const std::string& text, int timeoutMs) {
    browser.Navigate("about:blank");
    bool timedOut = false;
    TScopedSource timer = TScopedSource::Timeout(
        static_cast<unsigned>(timeoutMs),
        [&timedOut] {
            timedOut = true;
            return false;
        },
        "blank page wait");
    while (browser.ReadyState() < READYSTATE_INTERACTIVE && !timedOut)
        g_main_context_iteration(nullptr, TRUE);
    timer.Cancel();
    if (browser.ReadyState() < READYSTATE_INTERACTIVE) {
        LogDebug("no blank document to load the print page into");
        return;
    }
    browser.LoadHTML(WithCrLfLines(text), "about:blank");
}

std::string SectionPageText(const std::string& innerHtml) {
    return "<html>"
           "<head> <base href=\"mfs:\\\">  </head>"
           "<body>" +
           innerHtml +
           "</body>"
           "</html>";
}

bool IsPrintSectionId(const std::string& id) {
    const std::string upper = AnsiUpperCase(id);
    return upper.size() >= 4 && AsciiSameText(std::string_view(upper).substr(upper.size() - 4), "PAGE");
}
