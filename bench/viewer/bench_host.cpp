// Script host calls against the engine's floor, in one run on the current X display: a book page
// reads external.Story.Bof 2,000 times (each read a synchronous request answered by the host
// object on the GUI thread), then makes 2,000 synchronous requests from the same page to a
// trivial custom-scheme handler that answers at once. Both loops are timed inside the page.
//   bench_host [CALLS]
#include "frm_Main.h"
#include "frm_Splash.h"
#include "u_BookPacker.h"
#include "u_HostExternal.h"
#include "u_WebURLSession.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// The floor: answers every request at once with a fixed JSON body.
void AnswerAtOnce(WebKitURISchemeRequest* request, gpointer) {
    static const char Body[] = "{\"ok\":true,\"v\":false}";
    GInputStream* stream = g_memory_input_stream_new_from_data(Body, sizeof Body - 1, nullptr);
    webkit_uri_scheme_request_finish(request, stream, sizeof Body - 1, "application/json");
    g_object_unref(stream);
}

std::string PackBook(const fs::path& folder) {
    Write(folder / "system" / "System.xml", "<System Story=\"Story.xml\"/>");
    Write(folder / "system" / "Story.xml", "<Story><item page=\"\\p.htm\"/><item page=\"\\q.htm\"/></Story>");
    Write(folder / "pages" / "p.htm", "<html><head><title>bench</title></head><body>bench</body></html>");
    Write(folder / "pages" / "q.htm", "<html><body>q</body></html>");
    const std::string output = (folder / "packed").string();
    WritePackedExecutable(
        "/bin/true",
        {{"RCDATA", "SYSTEM_MFS", PackArchiveImage(BuildArchiveImage((folder / "system").string()))},
         {"RCDATA", "FILES_MFS", PackArchiveImage(BuildArchiveImage((folder / "pages").string()))}},
        output);
    return output;
}

// Runs the loop from a timer in the page while this side waits in a blocking main loop, as the
// viewer runs (a polling wait would add its own delay to every request); the page reports the
// time through its title.
double TimeLoop(TMXWebBrowser& browser, const std::string& body, int calls) {
    static int round = 0;
    const std::string mark = "done" + std::to_string(++round) + ":";
    browser.EvaluateScript("setTimeout(function () { var t0 = performance.now(); try { for (var i = 0; i < " +
                           std::to_string(calls) + "; i++) { " + body + " } document.title = '" + mark +
                           "' + (performance.now() - t0); } catch (e) { document.title = '" + mark +
                           "-1'; } }, 0); 1");
    const gint64 deadline = g_get_monotonic_time() + 600 * G_USEC_PER_SEC;
    while (browser.LocationName().rfind(mark, 0) != 0 && g_get_monotonic_time() < deadline)
        g_main_context_iteration(nullptr, TRUE);
    const std::string title = browser.LocationName();
    return title.rfind(mark, 0) == 0 ? std::atof(title.c_str() + mark.size()) : -1;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const int calls = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display: run under xvfb-run\n");
        return 1;
    }
    InstallWebKitURLSession();
    RegisterVellumetClasses();
    WebKitWebContext* context = webkit_web_context_get_default();
    webkit_web_context_register_uri_scheme(context, "bench-floor", AnswerAtOnce, nullptr, nullptr);
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
    webkit_security_manager_register_uri_scheme_as_secure(security, "bench-floor");
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, "bench-floor");

    char pattern[] = "/tmp/tomevane-bench-host-XXXXXX";
    const fs::path folder = mkdtemp(pattern);
    int status = 0;
    {
        auto window = std::make_unique<TfrmMain>(PackBook(folder));
        gtk_widget_show(GTK_WIDGET(window->Window()));
        const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
        while (!(window->webMain->ReadyState() == READYSTATE_COMPLETE &&
                 window->webMain->LocationURL() == "mfs:\\p.htm") &&
               g_get_monotonic_time() < deadline)
            g_main_context_iteration(nullptr, TRUE);
        TMXWebBrowser& browser = *window->webMain;
        const std::string hostCall = "if (external.Story.Bof === undefined) throw 1;";
        const std::string floorCall =
            "var x = new XMLHttpRequest(); x.open('GET', 'bench-floor:x?' + i, false);"
            " x.send(); if (JSON.parse(x.responseText).v === undefined) throw 1;";
        // Warm both paths once, then time each loop once.
        TimeLoop(browser, hostCall, 50);
        TimeLoop(browser, floorCall, 50);
        const double host = TimeLoop(browser, hostCall, calls);
        const double floor = TimeLoop(browser, floorCall, calls);
        if (host <= 0 || floor <= 0) {
            std::fprintf(stderr, "a loop failed (host %.1f ms, floor %.1f ms)\n", host, floor);
            status = 1;
        } else {
            std::printf("host: %d x external.Story.Bof in %.1f ms (%.0f calls/s, %.1f us per call)\n", calls,
                        host, calls / host * 1e3, host / calls * 1e3);
            std::printf("floor: %d synchronous requests to a trivial scheme in %.1f ms (%.0f/s)\n", calls,
                        floor, calls / floor * 1e3);
            std::printf(
                "TABLE\tscript host calls, external.Story.Bof x %d\t%.0f calls/s\tsync XHR to a trivial "
                "scheme\t%.0f requests/s\t%.2f\n",
                calls, calls / host * 1e3, calls / floor * 1e3, floor / host);
        }
    }
    ReleaseAllSplashes();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
