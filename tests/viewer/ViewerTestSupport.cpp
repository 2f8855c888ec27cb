#include "ViewerTestSupport.h"

#include "frm_Main.h"
#include "frm_Splash.h"
#include "u_BookPacker.h"
#include "u_GObject.h"
#include "u_MXWebBrowser.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

TTestBook::TTestBook() {
    char pattern[] = "/tmp/tomevane-viewer-test-XXXXXX";
    Folder = mkdtemp(pattern);
    fs::create_directories(Folder / "book" / "system");
    fs::create_directories(Folder / "book" / "pages");
}

TTestBook::~TTestBook() {
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
}

void TTestBook::Add(const std::string& path, const std::string& content) {
    const fs::path file = Folder / "book" / path;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

void TTestBook::Remove(const std::string& path) {
    fs::remove(Folder / "book" / path);
}

void TTestBook::AddStandardBook(const std::string& systemAttributes, const std::string& systemChildren) {
    Add("system/System.xml", "<System Story=\"Story.xml\" Variables=\"Variables.xml\" " + systemAttributes +
                                 ">" + systemChildren + "</System>");
    Add("system/Story.xml", "<Story>\n"
                            "  <item page=\"\\p1.htm\" pagename=\"One\"/>\n"
                            "  <item>\n"
                            "    <item page=\"\\p2.htm\" pagename=\"Two\" rightclick=False/>\n"
                            "    <item page=\"\\p3.htm\" pagename=\"Three\"/>\n"
                            "  </item>\n"
                            "</Story>\n");
    Add("system/Variables.xml", "<vars><var name=\"TITLE\">$Test Book</var>"
                                "<var name=\"VIEWER\">$Test Viewer</var>"
                                "<var name=\"SITE\">$https://example.org/%{TITLE}</var></vars>");
    Add("pages/p1.htm", "<html><head><title>%{TITLE}</title></head><body><p id=\"text\">Page one of "
                        "%{TITLE}</p><a id=\"next\" href=\"p3.htm\">three</a></body></html>");
    Add("pages/p2.htm", "<html><head><title>Two</title></head><body><p id=\"text\">Secret page "
                        "two</p></body></html>");
    Add("pages/p3.htm", "<html><head><title>Three</title></head><body><p id=\"text\">Page three</p>"
                        "<a id=\"back\" href=\"/p1.htm\">one</a></body></html>");
}

std::string TTestBook::Pack() {
    const fs::path book = Folder / "book";
    const std::string output = (Folder / "packed").string();
    const std::vector<TResourceBlob> resources = {
        {"RCDATA", "SYSTEM_MFS", PackArchiveImage(BuildArchiveImage((book / "system").string()))},
        {"RCDATA", "FILES_MFS", PackArchiveImage(BuildArchiveImage((book / "pages").string()))},
    };
    // Any program serves as the carrier: the window under test reads only the resources.
    WritePackedExecutable("/bin/true", resources, output);
    return output;
}

namespace {

class TRecordingOpener final : public IShellOpener {
  public:
    explicit TRecordingOpener(std::vector<std::string>& opened) : FOpened(opened) {}
    void Open(const std::string& target) override { FOpened.push_back(target); }

  private:
    std::vector<std::string>& FOpened;
};

} // namespace

TRecorder::TRecorder() {
    FPreviousHook = SetMessageBoxHook([this](TMessageKind kind, const std::string& text) {
        Boxes.push_back({kind, text});
    });
    SetShellOpener(std::make_unique<TRecordingOpener>(Opened));
}

TRecorder::~TRecorder() {
    SetMessageBoxHook(FPreviousHook);
    SetShellOpener(nullptr);
}

TLogCapture::TLogCapture() {
    FHandler = g_log_set_handler(
        "Tomevane", GLogLevelFlags(G_LOG_LEVEL_MASK),
        [](const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
            static_cast<TLogCapture*>(self)->Lines.emplace_back(message ? message : "");
            if (g_getenv("TOMEVANE_TEST_ECHO")) g_printerr("log: %s\n", message ? message : "");
        },
        this);
}

TLogCapture::~TLogCapture() {
    g_log_remove_handler("Tomevane", FHandler);
}

bool TLogCapture::Has(const std::string& text) const {
    for (const std::string& line : Lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

bool TLogCapture::HasLine(const std::string& line) const {
    return std::find(Lines.begin(), Lines.end(), line) != Lines.end();
}

void PumpFor(int milliseconds) {
    bool done = false;
    const guint timer = g_timeout_add(
        static_cast<guint>(milliseconds),
        [](gpointer flag) -> gboolean {
            *static_cast<bool*>(flag) = true;
            return G_SOURCE_REMOVE;
        },
        &done);
    while (!done)
        g_main_context_iteration(nullptr, TRUE);
    (void)timer;
}

std::string MakeBitmap(int width, int height, const char* format) {
    auto pixbuf = TGObjectPtr<GdkPixbuf>::Take(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
    if (!pixbuf) throw std::runtime_error("no picture of " + std::to_string(width) + "x" + std::to_string(height));
    gdk_pixbuf_fill(pixbuf.get(), 0x3366ccff);
    gchar* buffer = nullptr;
    gsize size = 0;
    GError* error = nullptr;
    if (!gdk_pixbuf_save_to_buffer(pixbuf.get(), &buffer, &size, format, &error, nullptr)) {
        TGlibPtr<GError, g_error_free> failure(error);
        throw std::runtime_error(std::string("picture not written as ") + format + ": " +
                                 (failure ? failure->message : "unknown error"));
    }
    TGlibPtr<char, g_free> owned(buffer);
    return std::string(buffer, size);
}

namespace {

// Waits until the page view that browser() gives, when it gives one, shows url completely.
::testing::AssertionResult WaitUntilShown(const std::function<TMXWebBrowser*()>& browser,
                                          const std::string& url) {
    const bool shown = PumpUntil([&] {
        TMXWebBrowser* view = browser();
        return view && view->ReadyState() == READYSTATE_COMPLETE && view->LocationURL() == url;
    });
    if (shown) return ::testing::AssertionSuccess();
    TMXWebBrowser* view = browser();
    return ::testing::AssertionFailure()
           << "shows " << (view ? view->LocationURL() : "nothing") << ", not " << url;
}

} // namespace

::testing::AssertionResult WaitForPage(const std::unique_ptr<TMXWebBrowser>& browser,
                                       const std::string& url) {
    return WaitUntilShown([&] { return browser.get(); }, url);
}

::testing::AssertionResult WaitForPage(TMXWebBrowser& browser, const std::string& url) {
    return WaitUntilShown([&] { return &browser; }, url);
}

TBrowserWindowFixture::TBrowserWindowFixture() : Window(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {}

TBrowserWindowFixture::~TBrowserWindowFixture() = default;

void TBrowserWindowFixture::SetUp() {
    Browser = std::make_unique<TMXWebBrowser>();
    gtk_window_set_default_size(Window.Window(), 640, 480);
    gtk_container_add(GTK_CONTAINER(Window.Widget()), Browser->Widget());
    gtk_widget_show_all(Window.Widget());
}

void TBrowserWindowFixture::TearDown() {
    gtk_container_remove(GTK_CONTAINER(Window.Widget()), Browser->Widget());
    Browser.reset();
}

TMainWindowFixture::TMainWindowFixture() = default;

TMainWindowFixture::~TMainWindowFixture() = default;

TfrmMain& TMainWindowFixture::Open() {
    Window = std::make_unique<TfrmMain>(Book.Pack());
    gtk_widget_show(GTK_WIDGET(Window->Window()));
    return *Window;
}

::testing::AssertionResult TMainWindowFixture::WaitForPage(const std::string& url) {
    return ::WaitForPage(Window->webMain, url);
}

void TMainWindowFixture::TearDown() {
    Window.reset();
    ReleaseAllSplashes();
}

void PutInputEvent(GdkWindow* target, GdkEvent* event, bool keyboard) {
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    event->any.window = GDK_WINDOW(g_object_ref(target));
    event->any.send_event = FALSE;
    gdk_event_set_device(event, keyboard ? gdk_seat_get_keyboard(seat) : gdk_seat_get_pointer(seat));
    gdk_event_put(event);
    gdk_event_free(event);
}

void PutInputEvent(WebKitWebView* view, GdkEvent* event, bool keyboard) {
    PutInputEvent(gtk_widget_get_window(GTK_WIDGET(view)), event, keyboard);
}

void PutKey(GdkWindow* window, guint keyval, GdkModifierType modifiers) {
    for (GdkEventType type : {GDK_KEY_PRESS, GDK_KEY_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->key.keyval = keyval;
        event->key.state = modifiers;
        event->key.time = GDK_CURRENT_TIME;
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), keyval,
                                              &keys, &count) &&
            count > 0)
            event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
        g_free(keys);
        PutInputEvent(window, event, true);
    }
}

void PressKey(WebKitWebView* view, guint keyval, GdkModifierType modifiers) {
    PutKey(gtk_widget_get_window(GTK_WIDGET(view)), keyval, modifiers);
    PumpFor(150);
}

void RightClick(WebKitWebView* view, double x, double y) {
    for (GdkEventType type : {GDK_BUTTON_PRESS, GDK_BUTTON_RELEASE}) {
        GdkEvent* event = gdk_event_new(type);
        event->button.button = 3;
        event->button.x = x;
        event->button.y = y;
        event->button.time = GDK_CURRENT_TIME;
        PutInputEvent(view, event, false);
    }
}

bool Shown(const TfrmMain& window) {
    return gtk_widget_get_visible(GTK_WIDGET(window.Window()));
}

std::string TooltipText(gpointer widget) {
    const TGlibPtr<char, g_free> text(gtk_widget_get_tooltip_text(GTK_WIDGET(widget)));
    return text ? text.get() : "";
}

// The clipboard's text, empty when it holds none.
std::string ClipboardText(GtkClipboard* clipboard) {
    const TGlibPtr<char, g_free> text(gtk_clipboard_wait_for_text(clipboard));
    return text ? text.get() : "";
}
