// A reader's session over a real documentation tree packed as a book (scripts/reader-session.sh
// makes the book and names it in the environment): a walk of reader actions chosen at random from
// a seed, every one through the window as a reader gives it (toolbar clicks, keys, the search window,
// the user form, the print window). After every action its effect must show within a few seconds:
// the command logged, the page it leads to shown completely, or the page staying as it legitimately
// does; and the page must still answer a script. A failure prints the seed and the last actions.
//
// Where the reading order leads is known from the book's order (order.txt: "chapter<TAB>page" per
// page entry): Next and Prior go to the neighbouring page whenever there is one, the chapter moves
// to the first page of the next or previous top-level entry, from the page last located (the one
// shown after a completed load, or shown when the move is asked for).
#include "frm_Main.h"
#include "frm_Print.h"
#include "frm_Search.h"
#include "frm_UserForm.h"
#include "u_WebURLSession.h"

#include "ViewerTestSupport.h"
#include "frm_Splash.h"
#include "u_MXWebBrowser.h"
#include "u_Settings.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <unistd.h>

namespace {

// How long an action may take to show its effect, and a walk in all.
constexpr int EffectMs = 4000;
constexpr int WalkSeconds = 180;
// A page counts as settled when nothing has happened to it for this long.
constexpr int QuietMs = 250;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A viewer address as the story names pages: "mfs:\a.html#x" -> "\a.html#x"; others whole.
std::string PageOf(const std::string& url) {
    return url.size() >= 4 && SameText(url.substr(0, 4), "mfs:") ? url.substr(4) : url;
}

struct TEntry {
    int Chapter;
    std::string Page;
};

class TReaderSession {
  public:
    TReaderSession(TfrmMain& window, TLogCapture& log, TRecorder& recorder, std::vector<TEntry> order,
                   unsigned seed)
        : W(window), Log(log), Recorder(recorder), Order(std::move(order)), Seed(seed), Random(seed) {
        // The watchdog runs in every main loop, nested ones too: an action that never returns
        // (a command waiting for a page that never completes) is reported from there.
        FWatchdog = TScopedSource::Timeout(100, [this] { return Watch(); }, "watchdog");
        Started = g_get_monotonic_time();
    }

    bool Failed() const { return FFailed; }

    void Run(int actions) {
        // The ends of the reading order, each walked once somewhere in the session, and in-page
        // links followed by Back and Forward.
        std::vector<std::vector<TToolButtonKind>> ends = {
            {tbkLast, tbkPrior, tbkNextChapter, tbkNext},
            {tbkFirst, tbkPriorChapter, tbkPrior, tbkNext},
            {tbkLast, tbkNext, tbkNextChapter, tbkPrior},
            {tbkFirst, tbkPrior, tbkNextChapter, tbkPriorChapter},
            {tbkFirst, tbkNext, tbkPriorChapter, tbkPrior},
            {tbkLast, tbkPriorChapter, tbkNextChapter, tbkNext},
        };
        std::vector<int> endsAt;
        for (size_t i = 0; i < ends.size(); ++i)
            endsAt.push_back(std::uniform_int_distribution<int>(0, actions - 10)(Random));
        while (Done < actions && !FFailed) {
            if ((g_get_monotonic_time() - Started) / 1000000 > WalkSeconds) {
                Fail("the walk took longer than " + std::to_string(WalkSeconds) + " s");
                break;
            }
            bool walked = false;
            for (size_t i = 0; i < ends.size() && !FFailed; ++i)
                if (endsAt[i] >= 0 && Done >= endsAt[i]) {
                    endsAt[i] = -1;
                    walked = true;
                    for (TToolButtonKind kind : ends[i])
                        if (!FFailed) Toolbar(kind);
                }
            if (!walked && !FFailed) RandomAction();
        }
    }

    // Esc closes the window.
    void Close() {
        if (FFailed) return;
        Begin("Esc");
        gtk_widget_grab_focus(GTK_WIDGET(W.webMain->View()));
        PutKey(gtk_widget_get_window(GTK_WIDGET(W.webMain->View())), GDK_KEY_Escape);
        if (!Await([&] { return !gtk_widget_get_visible(GTK_WIDGET(W.Window())) && Log.HasLine("closed"); },
                   "the window closes on Esc"))
            return;
        EXPECT_EQ(W.webMain, nullptr);
    }

  private:
    void RandomAction() {
        const int roll = std::uniform_int_distribution<int>(0, 99)(Random);
        static const TToolButtonKind Moves[] = {tbkFirst,        tbkPrior,       tbkNext,
                                                tbkNext,         tbkNext,        tbkLast,
                                                tbkPriorChapter, tbkNextChapter, tbkNextChapter};
        if (roll < 36)
            Toolbar(Moves[std::uniform_int_distribution<size_t>(0, std::size(Moves) - 1)(Random)]);
        else if (roll < 44)
            Toolbar(tbkBack);
        else if (roll < 49)
            Toolbar(tbkForward);
        else if (roll < 60)
            FollowLink(true);
        else if (roll < 72)
            FollowLink(false);
        else if (roll < 75)
            Toolbar(tbkRefresh);
        else if (roll < 77)
            Toolbar(tbkHome);
        else if (roll < 80)
            Toolbar(tbkCopy);
        else if (roll < 84)
            TextSize();
        else if (roll < 87)
            Search();
        else if (roll < 90)
            UserForm();
        else if (roll < 94)
            PrintWindow();
        else if (roll < 95)
            Toolbar(tbkPrint);
        else
            InPageLinkThenHistory();
    }

    // The shown page, as the main window reads it.
    std::string Shown() const { return W.webMain ? W.webMain->LocationURL() : std::string(); }
    bool Complete() const { return W.webMain && W.webMain->ReadyState() == READYSTATE_COMPLETE; }

    void Begin(const std::string& action) {
        ++Done;
        Recent.push_back("#" + std::to_string(Done) + " " + action + " (on " + Shown() + ")");
        if (Recent.size() > 20) Recent.pop_front();
        Mark = Log.Lines.size();
        if (g_getenv("TOMEVANE_TEST_ECHO")) g_printerr("action %s\n", Recent.back().c_str());
    }

    bool LoggedSinceMark(const std::string& text) const {
        for (size_t i = Mark; i < Log.Lines.size(); ++i)
            if (Log.Lines[i].find(text) != std::string::npos) return true;
        return false;
    }

    // Pumps until done, for at most EffectMs; a failure names what was awaited.
    bool Await(const std::function<bool()>& done, const std::string& what, int ms = EffectMs) {
        if (FFailed) return false;
        FAwaiting = "not within " + std::to_string(ms) + " ms, the viewer not returning: " + what;
        FDeadline = g_get_monotonic_time() + gint64(ms) * 1000;
        while (!FFailed && !done() && g_get_monotonic_time() < FDeadline)
            if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
        FDeadline = 0;
        if (FFailed) return false;
        if (done()) return true;
        Fail("not within " + std::to_string(ms) + " ms: " + what);
        return false;
    }

    // Whether a log line since the mark tells of the page view loading.
    size_t NavigationLines() const {
        size_t count = 0;
        for (size_t i = Mark; i < Log.Lines.size(); ++i) {
            const std::string& line = Log.Lines[i];
            if (line.rfind("navigate ", 0) == 0 || line.rfind("NavigateComplete2 ", 0) == 0 ||
                line.rfind("DocumentComplete ", 0) == 0 || line.rfind("navigation failed ", 0) == 0)
                ++count;
        }
        return count;
    }

    // The page is complete and nothing has happened to it for a while.
    bool AwaitSettled(const std::string& what) {
        gint64 quietSince = g_get_monotonic_time();
        size_t lines = NavigationLines();
        std::string shown = Shown();
        return Await(
            [&] {
                const gint64 now = g_get_monotonic_time();
                if (NavigationLines() != lines || Shown() != shown || !Complete()) {
                    lines = NavigationLines();
                    shown = Shown();
                    quietSince = now;
                    return false;
                }
                return now - quietSince >= gint64(QuietMs) * 1000;
            },
            what + ": the page settles (complete, nothing loading)");
    }

    bool AwaitPage(const std::string& url, const std::string& what) {
        return Await([&] { return Complete() && SameText(Shown(), url); }, what + ": shows " + url);
    }

    // The page stays: the page shown is the one before, complete (it may have been loaded again).
    bool AwaitStay(const std::string& before, const std::string& what) {
        if (!AwaitSettled(what)) return false;
        if (Shown() != before) {
            Fail(what + ": the page was to stay at " + before + ", shows " + Shown());
            return false;
        }
        return true;
    }

    // After every action: the page answers a script, and no message box was shown.
    void Probe() {
        if (FFailed) return;
        if (!W.webMain) return Fail("the page view is gone");
        FAwaiting = "the page answers a script: the viewer not returning";
        FDeadline = g_get_monotonic_time() + gint64(EffectMs + 1000) * 1000;
        const auto answer = W.webMain->EvaluateScript("document.readyState", EffectMs);
        FDeadline = 0;
        if (FFailed) return;
        if (!answer) return Fail("the page did not answer a script");
        if (!Recorder.Boxes.empty()) return Fail("a message box: " + Recorder.Boxes.front().Text);
        // The story's page is located from every completed load, as the window does.
        for (size_t i = Mark; i < Log.Lines.size(); ++i)
            if (Log.Lines[i].rfind("NavigateComplete2 ", 0) == 0) Locate(Log.Lines[i].substr(18));
    }

    void Locate(const std::string& url) {
        const std::string page = PageOf(url);
        for (size_t i = 0; i < Order.size(); ++i)
            if (SameText(Order[i].Page, page)) {
                Cursor = static_cast<int>(i);
                return;
            }
    }

    // Where a move of the reading order leads from the cursor: an entry, or -1 for none.
    int Target(TToolButtonKind kind) const {
        const int last = static_cast<int>(Order.size()) - 1;
        switch (kind) {
        case tbkFirst:
            return 0;
        case tbkLast:
            return last;
        case tbkNext:
            return Cursor < last ? Cursor + 1 : -1;
        case tbkPrior:
            return Cursor > 0 ? Cursor - 1 : -1;
        case tbkNextChapter:
            for (int i = Cursor + 1; i <= last; ++i)
                if (Order[i].Chapter != Order[Cursor].Chapter) return i;
            return -1;
        case tbkPriorChapter: {
            int start = Cursor;
            while (start > 0 && Order[start - 1].Chapter == Order[Cursor].Chapter)
                --start;
            if (start == 0) return -1;
            int prior = start - 1;
            while (prior > 0 && Order[prior - 1].Chapter == Order[start - 1].Chapter)
                --prior;
            return prior;
        }
        default:
            return -1;
        }
    }

    GtkToolButton* Button(TToolButtonKind kind) {
        const auto& kinds = W.ButtonKinds();
        const auto found = std::find(kinds.begin(), kinds.end(), kind);
        if (found == kinds.end()) return nullptr;
        GtkToolItem* item = gtk_toolbar_get_nth_item(W.tbrMain, static_cast<int>(found - kinds.begin()));
        return item && GTK_IS_TOOL_BUTTON(item) ? GTK_TOOL_BUTTON(item) : nullptr;
    }

    // Clicks a button's face as the pointer would; returns when the click has been handled (a
    // modal window the command opens has closed by then).
    bool ClickButton(TToolButtonKind kind, int ms = EffectMs) {
        GtkToolButton* button = Button(kind);
        if (!button) {
            Fail(std::string("no button ") + ToolButtonKindName(kind));
            return false;
        }
        GtkWidget* face = gtk_bin_get_child(GTK_BIN(button));
        if (GTK_IS_BOX(face)) { // a drop-down button: its face comes before its arrow
            GList* children = gtk_container_get_children(GTK_CONTAINER(face));
            face = GTK_WIDGET(children->data);
            g_list_free(children);
        }
        bool clicked = false;
        TSignalConnection watch = TSignalConnection::Connect<void(GtkToolButton*)>(
            button, "clicked", [&](GtkToolButton*) { clicked = true; });
        gtk_widget_activate(face);
        const bool ok = Await([&] { return clicked; },
                              std::string("the click on ") + ToolButtonKindName(kind) + " is handled", ms);
        watch.Disconnect();
        return ok;
    }

    void Toolbar(TToolButtonKind kind) {
        const std::string name = ToolButtonKindName(kind);
        Begin(name);
        const std::string before = Shown();
        Locate(before); // the moves start from the page shown
        const int target = Target(kind);
        if (!ClickButton(kind)) return;
        if (!Await([&] { return LoggedSinceMark("command " + name); },
                   "the command runs (\"command " + name + "\")"))
            return;
        switch (kind) {
        case tbkFirst:
        case tbkLast:
        case tbkNext:
        case tbkPrior:
        case tbkNextChapter:
        case tbkPriorChapter:
            if (target < 0) {
                // At an end the move finds nothing: the page stays, or the story's own page (the one
                // last located) is shown again.
                const std::string own = "mfs:" + Order[Cursor].Page;
                if (AwaitSettled(name + " at the end of the reading order") && Shown() != before &&
                    !SameText(Shown(), own))
                    Fail(name + " at the end of the reading order: the page was to stay at " + before +
                         " or go to " + own + ", shows " + Shown());
            } else if (AwaitPage("mfs:" + Order[target].Page, name))
                Cursor = target;
            break;
        case tbkPrint:
            if (Await([&] { return LoggedSinceMark("preview "); }, "the preview starts")) AwaitSettled(name);
            break;
        default:
            AwaitSettled(name);
            break;
        }
        Probe();
    }

    // Follows a link of the page with the keyboard: the link gets the focus, then Enter.
    void FollowLink(bool inPage) {
        if (!W.webMain) return Fail("the page view is gone");
        // Links of the book: in the page (to an anchor of it) or to another page.
        const auto found = W.webMain->EvaluateScript(
            "(function(){ var here = location.href.split('#')[0], all = document.querySelectorAll('a[href]'),"
            " out = []; for (var i = 0; i < all.length; ++i) { var a = all[i];"
            " if (a.protocol !== location.protocol) continue; var doc = a.href.split('#')[0];"
            " if (" +
            std::string(inPage ? "doc === here && a.hash.length > 1 && "
                                 "(document.getElementById(decodeURIComponent(a.hash.substr(1))) || "
                                 "document.getElementsByName(decodeURIComponent(a.hash.substr(1))).length)"
                               : "doc !== here && /\\.html?$/i.test(a.pathname)") +
            ") out.push(i + ' ' + a.href); } return out.join('\\n'); })()");
        std::vector<std::pair<int, std::string>> links;
        std::istringstream lines(found.value_or(""));
        for (std::string line; std::getline(lines, line);)
            if (const size_t blank = line.find(' '); blank != std::string::npos)
                links.emplace_back(std::atoi(line.c_str()), line.substr(blank + 1));
        if (links.empty()) return Toolbar(tbkNext); // a page without such links: read on
        const auto& [index, href] = links[std::uniform_int_distribution<size_t>(0, links.size() - 1)(Random)];
        const std::string target = UrlFromEngine(href);
        Begin(std::string(inPage ? "in-page link " : "link ") + target);
        gtk_widget_grab_focus(GTK_WIDGET(W.webMain->View()));
        const auto focused = W.webMain->EvaluateScript("var a = document.querySelectorAll('a[href]')[" +
                                                       std::to_string(index) +
                                                       "]; a.focus(); String(document.activeElement === a)");
        if (focused != std::optional<std::string>("true")) return Fail("the link takes no focus");
        PutKey(gtk_widget_get_window(GTK_WIDGET(W.webMain->View())), GDK_KEY_Return);
        if (AwaitPage(target, "Enter on the link")) AwaitSettled("Enter on the link");
        Probe();
    }

    // An in-page link, then Back and Forward on the toolbar.
    void InPageLinkThenHistory() {
        FollowLink(true);
        if (!FFailed) Toolbar(tbkBack);
        if (!FFailed) Toolbar(tbkForward);
    }

    // The text-size button's menu: one of its sizes.
    void TextSize() {
        const int level = std::uniform_int_distribution<int>(0, 4)(Random);
        Begin("text size " + std::to_string(level));
        if (!ClickButton(tbkFontSize)) return;
        GList* items = gtk_container_get_children(GTK_CONTAINER(W.popFontSize));
        gpointer item = g_list_nth_data(items, static_cast<guint>(level));
        g_list_free(items);
        if (!item) return Fail("the text-size menu lacks the size");
        gtk_menu_item_activate(GTK_MENU_ITEM(item));
        gtk_menu_popdown(W.popFontSize);
        if (Await(
                [&] {
                    return LoggedSinceMark("font size " + std::to_string(level)) && W.webMain &&
                           W.webMain->ZoomLevel() == level;
                },
                "the text size changes"))
            AwaitSettled("text size");
        Probe();
    }

    // Runs step on a timer (from inside the modal window's loop) until it says it is done.
    TScopedSource Drive(const std::function<bool()>& step) {
        return TScopedSource::Timeout(50, [step] { return !step(); }, "session driver");
    }

    // The search window: a word searched, a found page shown behind it, Esc closes it.
    void Search() {
        static const char* const Words[] = {"memcheck", "suppression", "thread", "leak", "cachegrind"};
        const std::string word =
            Words[std::uniform_int_distribution<size_t>(0, std::size(Words) - 1)(Random)];
        int stage = 0;
        std::string shownRow;
        bool closed = false;
        TScopedSource driver = Drive([&] {
            TfrmSearch* search = VisibleWindow<TfrmSearch>();
            if (!search) return closed;
            switch (stage) {
            case 0:
                gtk_entry_set_text(GTK_ENTRY(gtk_bin_get_child(GTK_BIN(search->cbSearchText))), word.c_str());
                gtk_button_clicked(GTK_BUTTON(search->btnSearch));
                stage = 1;
                return false;
            case 1:
                if (!LoggedSinceMark("search \"" + word + "\"")) return false;
                if (search->RowCount() > 0) {
                    const int row = std::uniform_int_distribution<int>(0, search->RowCount() - 1)(Random);
                    search->SelectRow(row);
                    shownRow = search->RowFileName(row);
                    gtk_button_clicked(GTK_BUTTON(search->btnShowPage));
                }
                stage = 2;
                return false;
            default:
                if (!shownRow.empty() && !(Complete() && SameText(PageOf(Shown()), shownRow))) return false;
                PutKey(gtk_widget_get_window(GTK_WIDGET(search->Window())), GDK_KEY_Escape);
                closed = true;
                return false;
            }
        });
        Begin("search \"" + word + "\"");
        const bool clicked = ClickButton(tbkSearch, 3 * EffectMs);
        driver.Cancel();
        if (!clicked) return;
        if (!Await([&] { return closed && !VisibleWindow<TfrmSearch>(); }, "the search window closes on Esc"))
            return;
        Recent.back() += shownRow.empty() ? ", nothing found" : ", showed " + shownRow;
        AwaitSettled("search");
        Probe();
    }

    // The About button opens the user form; the form's own button closes it, by the keyboard.
    void UserForm() {
        bool closing = false;
        TScopedSource driver = Drive([&] {
            TfrmUserForm* form = VisibleWindow<TfrmUserForm>();
            if (!form || closing) return false;
            if (form->webUserForm->ReadyState() != READYSTATE_COMPLETE) return false;
            gtk_widget_grab_focus(GTK_WIDGET(form->webUserForm->View()));
            form->webUserForm->EvaluateScript("document.getElementById('close').focus(); 1");
            PutKey(gtk_widget_get_window(GTK_WIDGET(form->webUserForm->View())), GDK_KEY_Return);
            closing = true;
            return true;
        });
        Begin("About (user form)");
        const std::string before = Shown();
        const bool clicked = ClickButton(tbkAbout, 3 * EffectMs);
        driver.Cancel();
        if (!clicked) return;
        if (!Await([&] { return LoggedSinceMark("user form closed") && !VisibleWindow<TfrmUserForm>(); },
                   "the user form opens and its Close button closes it"))
            return;
        AwaitStay(before, "the user form");
        Probe();
    }

    // The print window of the notes page's section, closed with Esc. From another page the notes
    // page is reached through the reading order first.
    void PrintWindow() {
        if (!HasMenuItems(W.popPrint)) {
            Toolbar(tbkFirst);
            if (!FFailed) Toolbar(tbkNext);
            if (FFailed) return;
            if (!Await([&] { return HasMenuItems(W.popPrint); },
                       "the notes page's print section is listed"))
                return;
        }
        bool closed = false;
        TScopedSource driver = Drive([&] {
            TfrmPrint* print = VisibleWindow<TfrmPrint>();
            if (!print || closed) return closed;
            if (print->webPrint->ReadyState() != READYSTATE_COMPLETE) return false;
            PutKey(gtk_widget_get_window(GTK_WIDGET(print->webPrint->View())), GDK_KEY_Escape);
            closed = true;
            return true;
        });
        Begin("print window of a section");
        const std::string before = Shown();
        GList* items = gtk_container_get_children(GTK_CONTAINER(W.popPrint));
        GtkMenuItem* item = GTK_MENU_ITEM(items->data);
        g_list_free(items);
        // The item returns when the print window has closed; it must not take longer than that.
        FAwaiting = "the print window opens and closes on Esc: the viewer not returning";
        FDeadline = g_get_monotonic_time() + gint64(EffectMs) * 1000;
        gtk_menu_item_activate(item);
        FDeadline = 0;
        driver.Cancel();
        if (FFailed) return;
        if (!closed || VisibleWindow<TfrmPrint>()) return Fail("the print window did not open and close");
        if (!LoggedSinceMark("print section ")) return Fail("no print section was printed");
        AwaitStay(before, "the print window");
        Probe();
    }

    // The report of a failure: the seed, what was awaited, the last actions and the log's end.
    void Fail(const std::string& what) {
        if (FFailed) return;
        FFailed = true;
        std::ostringstream report;
        report << "reader session, seed " << Seed << ": action #" << Done << " failed: " << what << "\n"
               << "page shown: " << Shown() << ", ready state " << (W.webMain ? W.webMain->ReadyState() : -1)
               << "\nthe last actions:\n";
        for (const std::string& action : Recent)
            report << "  " << action << "\n";
        report << "the log's last lines:\n";
        for (size_t i = Log.Lines.size() > 30 ? Log.Lines.size() - 30 : 0; i < Log.Lines.size(); ++i)
            report << "  " << Log.Lines[i] << "\n";
        ADD_FAILURE() << report.str();
    }

    bool Watch() {
        const gint64 now = g_get_monotonic_time();
        if (FStalledAt && now - FStalledAt > 15 * G_USEC_PER_SEC) {
            // Closing the window did not end the wait: nothing more can be learnt in this process.
            std::fprintf(stderr, "reader session, seed %u: the viewer did not return after closing\n", Seed);
            std::fflush(nullptr);
            _exit(1);
        }
        // An action whose wait is not running (a handler further down never returned) is reported
        // here; closing the window ends the handlers' waits for the page.
        if (FDeadline && !FStalledAt && now > FDeadline + G_USEC_PER_SEC) {
            Fail(FAwaiting);
            FStalledAt = now;
            if (auto* search = VisibleWindow<TfrmSearch>()) gtk_button_clicked(GTK_BUTTON(search->btnClose));
            if (auto* print = VisibleWindow<TfrmPrint>()) print->Close();
            if (auto* form = VisibleWindow<TfrmUserForm>()) form->Close();
            gtk_window_close(W.Window());
        }
        return true;
    }

    TfrmMain& W;
    TLogCapture& Log;
    TRecorder& Recorder;
    const std::vector<TEntry> Order;
    const unsigned Seed;
    std::mt19937 Random;
    gint64 Started = 0;
    int Done = 0;
    int Cursor = 0;
    size_t Mark = 0;
    std::deque<std::string> Recent;
    bool FFailed = false;
    std::string FAwaiting;
    gint64 FDeadline = 0;
    gint64 FStalledAt = 0;
    TScopedSource FWatchdog;
};

TEST(ReaderSession, RandomWalkThroughADocumentationTree) {
    const std::string book = Environment("TOMEVANE_SESSION_BOOK");
    if (book.empty()) GTEST_SKIP() << "no book packed (see scripts/reader-session.sh)";
    std::vector<TEntry> order;
    std::ifstream list(Environment("TOMEVANE_SESSION_ORDER"));
    for (std::string line; std::getline(list, line);)
        if (const size_t tab = line.find('\t'); tab != std::string::npos)
            order.push_back({std::atoi(line.c_str()), line.substr(tab + 1)});
    ASSERT_GT(order.size(), 3u);
    const unsigned seed =
        static_cast<unsigned>(std::strtoul(Environment("TOMEVANE_SESSION_SEED").c_str(), nullptr, 10));
    const int actions = std::max(1, std::atoi(Environment("TOMEVANE_SESSION_ACTIONS").c_str()));

    // The preview program ends at once: the preview's PDF is made and removed.
    g_object_set(gtk_settings_get_default(), "gtk-print-preview-command", "true %f", nullptr);

    TRecorder recorder;
    TLogCapture log;
    {
        TfrmMain window(book);
        gtk_widget_show(GTK_WIDGET(window.Window()));
        ASSERT_FALSE(window.StartFailed()) << window.StartError();
        ASSERT_TRUE(WaitForPage(window.webMain, "mfs:" + order[0].Page));
        TReaderSession session(window, log, recorder, order, seed);
        session.Run(actions);
        session.Close();
        if (gtk_widget_get_visible(GTK_WIDGET(window.Window()))) {
            gtk_window_close(window.Window());
            PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(window.Window())); }, 10000);
        }
    }
    ReleaseAllSplashes();
}

} // namespace
