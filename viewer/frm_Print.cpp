#include "frm_Print.h"

#include "u_DebugLog.h"
#include "u_GuardedCall.h"
#include "u_Text.h"

#include <cairomm/context.h>
#include <cairomm/surface.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/image.h>

#include <cmath>

namespace {

constexpr int GlyphSize = 16;

Glib::RefPtr<Gdk::Pixbuf> ThemeIcon(const char* name) {
    auto theme = Gtk::IconTheme::get_default();
    if (!theme || !theme->has_icon(name)) return {};
    try {
        return theme->load_icon(name, GlyphSize, Gtk::ICON_LOOKUP_FORCE_SIZE);
    } catch (const Glib::Error&) {
        return {};
    }
}

// The viewer's own glyphs: a printer with a sheet in it, and a sheet under a magnifying glass.
Glib::RefPtr<Gdk::Pixbuf> DrawGlyph(int index) {
    auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, GlyphSize, GlyphSize);
    auto cr = Cairo::Context::create(surface);
    cr->set_line_width(1);
    auto sheet = [&](double x, double y, double w, double h) {
        cr->rectangle(x + 0.5, y + 0.5, w, h);
        cr->set_source_rgb(1, 1, 1);
        cr->fill_preserve();
        cr->set_source_rgb(0.25, 0.25, 0.25);
        cr->stroke();
    };
    if (index == 0) {
        sheet(4, 1, 7, 6);
        cr->rectangle(1.5, 6.5, 13, 6); // the printer's body
        cr->set_source_rgb(0.55, 0.57, 0.6);
        cr->fill_preserve();
        cr->set_source_rgb(0.2, 0.2, 0.2);
        cr->stroke();
        sheet(4, 10, 7, 5); // the printed sheet coming out
        cr->rectangle(12, 8, 1, 1);
        cr->set_source_rgb(0.2, 0.7, 0.2);
        cr->fill();
    } else {
        sheet(1, 1, 10, 13);
        cr->set_source_rgb(0.5, 0.5, 0.5);
        for (int y = 4; y <= 10; y += 2) {
            cr->move_to(3, y + 0.5);
            cr->line_to(9, y + 0.5);
        }
        cr->stroke();
        cr->arc(10, 9.5, 3.5, 0, 2 * M_PI); // the glass
        cr->set_source_rgba(0.75, 0.85, 1, 0.8);
        cr->fill_preserve();
        cr->set_source_rgb(0.15, 0.15, 0.15);
        cr->set_line_width(1.2);
        cr->stroke();
        cr->set_line_width(2);
        cr->move_to(12.5, 12);
        cr->line_to(15, 14.5);
        cr->stroke();
    }
    surface->flush();
    return Glib::wrap(gdk_pixbuf_get_from_surface(surface->cobj(), 0, 0, GlyphSize, GlyphSize));
}

} // namespace

Glib::RefPtr<Gdk::Pixbuf> PrintToolbarPicture(int index, bool fromTheme) {
    if (fromTheme)
        if (auto icon = ThemeIcon(index == 0 ? "document-print" : "document-print-preview")) return icon;
    return DrawGlyph(index);
}

TfrmPrint::TfrmPrint(Gtk::Window* owner) {
    set_title("Print page");
    set_default_size(PrintWindowWidth, PrintWindowHeight);
    set_position(Gtk::WIN_POS_CENTER);
    set_modal(true);
    if (owner) set_transient_for(*owner);

    imglToolbar = {PrintToolbarPicture(0), PrintToolbarPicture(1)};
    tbrPrint.set_toolbar_style(Gtk::TOOLBAR_ICONS);
    tbrPrint.set_icon_size(Gtk::ICON_SIZE_SMALL_TOOLBAR);
    tbtnPrint.set_label("Print");
    tbtnPrint.set_tooltip_text("Print");
    tbtnPrint.set_icon_widget(*Gtk::manage(new Gtk::Image(imglToolbar[0])));
    tbtnPreview.set_label("Preview");
    tbtnPreview.set_tooltip_text("Preview");
    tbtnPreview.set_icon_widget(*Gtk::manage(new Gtk::Image(imglToolbar[1])));
    tbrPrint.insert(tbtnPrint, -1);
    tbrPrint.insert(tbtnPreview, -1);
    tbtnPrint.signal_clicked().connect(Guarded("print", [this] { tbtnPrintClick(); }));
    tbtnPreview.signal_clicked().connect(Guarded("print", [this] { tbtnPreviewClick(); }));

    // A copy of part of a page: no script host object (it never installs one), no context menu.
    webPrint = std::make_unique<TMXWebBrowser>();
    webPrint->SetDownloadOptions({DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS});
    webPrint->SetUserInterfaceOptions({});
    webPrint->OnShowContextMenu = [this](DWORD id, const TPoint& point, IUnknown* target, IUnknown* object) {
        return webPrintShowContextMenu(id, point, target, object);
    };

    pnlClient.pack_start(tbrPrint, Gtk::PACK_SHRINK);
    pnlClient.pack_start(*Glib::wrap(webPrint->Widget()), Gtk::PACK_EXPAND_WIDGET);
    add(pnlClient);
    pnlClient.show_all();
}

TfrmPrint::~TfrmPrint() {
    if (webPrint) pnlClient.remove(*Glib::wrap(webPrint->Widget()));
    webPrint.reset();
}

void TfrmPrint::ShowModal() {
    FModalLoop = Glib::MainLoop::create();
    show();
    present();
    FModalLoop->run();
    FModalLoop.reset();
}

bool TfrmPrint::on_delete_event(GdkEventAny*) {
    hide(); // the owner frees the window when its modal display has ended
    return true;
}

void TfrmPrint::on_hide() {
    Gtk::Window::on_hide();
    if (FModalLoop) FModalLoop->quit();
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
    const guint timer = g_timeout_add(
        static_cast<guint>(timeoutMs),
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &timedOut);
    while (browser.ReadyState() < READYSTATE_INTERACTIVE && !timedOut)
        g_main_context_iteration(nullptr, TRUE);
    if (!timedOut) g_source_remove(timer);
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
