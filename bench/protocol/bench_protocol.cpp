// Serving pages from memory.
// 1. The protocol layer alone: a 1 MB page through Start and Read against a plain copy of the same
//    bytes (the figure to keep at most 3).
// 2. The whole path through WebKit: 200 pages of 20 KB loaded one after another into a web view,
//    from an archive through the "mfs" scheme and from file:// URLs of a temporary folder.
// Part 2 needs a display (run under xvfb-run); without one it is skipped.
#include "u_MFSProtocol.h"
#include "u_WebURLSession.h"

#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Fastest of rounds runs of f: the figure least disturbed by other work on the machine.
template <class F> double Fastest(int rounds, F f) {
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        f();
        best = std::min(best, Seconds(start));
    }
    return best;
}

// A URL session that accepts every registration: the protocol layer measured without an engine.
class TNullURLSession final : public IInternetSession, public TRefCounted {
  public:
    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }
    HRESULT RegisterNameSpace(IClassFactory*, const CLSID&, LPCWSTR, ULONG, const LPCWSTR*, DWORD) override {
        return S_OK;
    }
    HRESULT UnregisterNameSpace(IClassFactory*, LPCWSTR) override { return S_OK; }
};

class TNullSink final : public IInternetProtocolSink, public TRefCounted {
  public:
    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(); }
    HRESULT Switch(PROTOCOLDATA*) override { return S_OK; }
    HRESULT ReportProgress(ULONG, LPCWSTR) override { return S_OK; }
    HRESULT ReportData(DWORD, ULONG, ULONG) override { return S_OK; }
    HRESULT ReportResult(HRESULT, DWORD, LPCWSTR) override { return S_OK; }
};

std::string PageBytes(size_t size, int number) {
    std::string page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Page " +
                       std::to_string(number) + "</title></head><body>";
    const std::string paragraph = "<p>Call me Ishmael. Some years ago, never mind how long precisely.</p>\n";
    while (page.size() + paragraph.size() + 14 < size)
        page += paragraph;
    page += "</body></html>";
    page.resize(size, ' ');
    return page;
}

void ProtocolLayer() {
    auto session = TComPtr<IInternetSession>(new TNullURLSession);
    InstallURLSession(session.Get());
    {
        TMFS archive;
        archive.Session()->CreateFile("\\page.htm", faArchive, false)->Data = PageBytes(1 << 20, 0);
        const std::string_view source = archive.Session()->GetFile("\\page.htm")->Data;
        TMFSInternetProtocol mfs("mfs", &archive);

        TComPtr<IClassFactory> factory;
        CoGetClassObject(CLSID_CustomInternetProtocol, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                         factory.PutVoid());
        auto sink = TComPtr<IInternetProtocolSink>(new TNullSink);
        std::string served;
        const auto serve = [&] {
            TComPtr<IInternetProtocol> protocol;
            factory->CreateInstance(nullptr, IID_IInternetProtocol, protocol.PutVoid());
            protocol->Start(u"mfs:\\page.htm", sink.Get(), nullptr, 0, 0);
            // Read straight into the destination, as the WebKit side does.
            served.resize(source.size());
            ULONG offset = 0, n = 0;
            for (HRESULT hr = E_PENDING; hr != S_FALSE; offset += n)
                hr = protocol->Read(served.data() + offset,
                                    std::min<ULONG>(64 * 1024, served.size() - offset), &n);
        };
        std::string copy;
        const auto plainCopy = [&] {
            std::string fresh(source);
            copy.swap(fresh);
        };
        serve();
        if (served != source) std::fprintf(stderr, "served bytes differ\n");
        const int rounds = 300;
        const double tServe = Fastest(rounds, serve);
        const double tCopy = Fastest(rounds, plainCopy);
        std::printf("RESULT protocol-serve-1MB %.1f us peer-copy %.1f us ratio %.2f\n", tServe * 1e6,
                    tCopy * 1e6, tServe / tCopy);
        std::printf("TABLE\tmfs: 1 MB page, Start + Read\t%.1f us\tstd::string copy\t%.1f us\t%.2f\n",
                    tServe * 1e6, tCopy * 1e6, tServe / tCopy);
    }
    InstallURLSession(nullptr);
}

struct TLoader {
    WebKitWebView* View;
    bool Done = false;
    bool Failed = false;

    bool Load(const std::string& uri) {
        Done = Failed = false;
        webkit_web_view_load_uri(View, uri.c_str());
        // Block in the main loop (a busy loop would take a core from the web process); a timer
        // ends a load that never finishes.
        bool timedOut = false;
        const guint timer = g_timeout_add_seconds(
            20,
            [](gpointer flag) -> gboolean {
                *static_cast<bool*>(flag) = true;
                return G_SOURCE_REMOVE;
            },
            &timedOut);
        while (!Done && !timedOut)
            g_main_context_iteration(nullptr, TRUE);
        if (!timedOut) g_source_remove(timer);
        return Done && !Failed;
    }
};

// Loads every URL in order; answers pages per second, or 0 when a load failed.
double PagesPerSecond(TLoader& loader, const std::vector<std::string>& uris) {
    const auto start = Clock::now();
    for (const std::string& uri : uris)
        if (!loader.Load(uri)) {
            std::fprintf(stderr, "load failed: %s\n", uri.c_str());
            return 0;
        }
    return static_cast<double>(uris.size()) / Seconds(start);
}

void ThroughWebKit() {
    constexpr int PageCount = 200;
    constexpr size_t PageSize = 20 * 1024;
    InstallWebKitURLSession();
    {
        TMFS archive;
        archive.Session()->ForceFolders("\\pages");
        gchar* folder = g_dir_make_tmp("tomevane-bench-XXXXXX", nullptr);
        std::vector<std::string> mfsUris, fileUris, filePaths;
        for (int i = 0; i < PageCount; ++i) {
            const std::string page = PageBytes(PageSize, i);
            const std::string name = "page" + std::to_string(i) + ".htm";
            archive.Session()->CreateFile("\\pages\\" + name, faArchive, false)->Data = page;
            mfsUris.push_back(UrlToEngine("mfs:\\pages\\" + name));
            gchar* path = g_build_filename(folder, name.c_str(), nullptr);
            g_file_set_contents(path, page.data(), static_cast<gssize>(page.size()), nullptr);
            gchar* uri = g_filename_to_uri(path, nullptr, nullptr);
            fileUris.push_back(uri);
            filePaths.push_back(path);
            g_free(uri);
            g_free(path);
        }
        TMFSInternetProtocol mfs("mfs", &archive);

        GtkWidget* window = gtk_offscreen_window_new();
        gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
        TLoader loader{WEBKIT_WEB_VIEW(webkit_web_view_new())};
        gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(loader.View));
        g_signal_connect(loader.View, "load-changed",
                         G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                             if (event == WEBKIT_LOAD_FINISHED) static_cast<TLoader*>(data)->Done = true;
                         }),
                         &loader);
        g_signal_connect(
            loader.View, "load-failed",
            G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer data) -> gboolean {
                static_cast<TLoader*>(data)->Failed = true;
                return FALSE;
            }),
            &loader);
        gtk_widget_show_all(window);

        // Warm both paths up (web process start, first layout), then measure each twice in
        // alternation and keep the better run of each.
        loader.Load(mfsUris[0]);
        loader.Load(fileUris[0]);
        double mfsRate = 0, fileRate = 0;
        for (int round = 0; round < 2; ++round) {
            mfsRate = std::max(mfsRate, PagesPerSecond(loader, mfsUris));
            fileRate = std::max(fileRate, PagesPerSecond(loader, fileUris));
        }
        std::printf("RESULT webkit-200-pages-20KB %.1f pages/s from the archive, peer file:// %.1f pages/s, "
                    "ratio %.2f\n",
                    mfsRate, fileRate, fileRate > 0 ? mfsRate / fileRate : 0.0);
        std::printf(
            "TABLE\tWebKit, 200 pages of 20 KB via mfs:\t%.1f pages/s\tfile:// URLs\t%.1f pages/s\t%.2f\n",
            mfsRate, fileRate, mfsRate > 0 ? fileRate / mfsRate : 0.0);

        gtk_widget_destroy(window);
        for (const std::string& path : filePaths)
            g_remove(path.c_str());
        g_rmdir(folder);
        g_free(folder);
    }
    InstallURLSession(nullptr);
}

} // namespace

int main(int argc, char** argv) {
    ProtocolLayer();
    if (!gtk_init_check(&argc, &argv)) {
        std::printf("RESULT webkit-200-pages-20KB skipped (no display; run under xvfb-run)\n");
        return 0;
    }
    ThroughWebKit();
    return 0;
}
