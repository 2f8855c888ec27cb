// Start-up of a packed book against the engine's floor, in one run on the current X display:
// time from starting the packed sample book to its first page's DocumentComplete (read from the
// debug log), against floor_webkit opening the same first page from a file:// URL; and the
// viewer's resident memory after the first page next to the sum of both archive images.
//   bench_viewer_startup PACKER VIEWER FLOOR BOOKDIR [RUNS]
#include "u_BookPacker.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct TRun {
    double Milliseconds = 0;
    long ResidentKiB = 0;      // the program's own process
    long TotalResidentKiB = 0; // with its engine processes
};

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// The process and every descendant (WebKit's web and network processes).
long TreeResidentKiB(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> parents;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        char state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        parents.emplace_back(std::stoi(name), ppid);
    }
    std::vector<pid_t> tree{root};
    for (size_t i = 0; i < tree.size(); ++i)
        for (auto [pid, ppid] : parents)
            if (ppid == tree[i]) tree.push_back(pid);
    long total = 0;
    for (pid_t pid : tree)
        total += ResidentKiB(pid);
    return total;
}

// Starts argv with G_MESSAGES_DEBUG=Tomevane, waits for a stderr line containing marker.
TRun Measure(const std::vector<std::string>& argv, const std::string& marker) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1); // GLib writes debug lines to standard output
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        close(pipeFds[1]);
        setenv("G_MESSAGES_DEBUG", "Tomevane", 1);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    TRun run;
    std::string buffer;
    char chunk[4096];
    bool seen = false;
    const auto deadline = start + std::chrono::seconds(60);
    while (!seen && Clock::now() < deadline) {
        pollfd ready{pipeFds[0], POLLIN, 0};
        if (poll(&ready, 1, 200) <= 0) continue;
        const ssize_t n = read(pipeFds[0], chunk, sizeof chunk);
        if (n <= 0) break;
        buffer.append(chunk, static_cast<size_t>(n));
        seen = buffer.find(marker) != std::string::npos;
    }
    run.Milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (seen) {
        run.ResidentKiB = ResidentKiB(pid);
        run.TotalResidentKiB = TreeResidentKiB(pid);
    }
    kill(pid, SIGTERM);
    close(pipeFds[0]);
    waitpid(pid, nullptr, 0);
    if (!seen) throw std::runtime_error("no \"" + marker + "\" from " + argv[0]);
    return run;
}

template <class T> T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    // Without arguments: the packer, viewer and floor program of this build and the sample book.
    const std::vector<std::string> defaults = {argv[0], TV_DEFAULT_PACKER, TV_DEFAULT_VIEWER,
                                               TV_DEFAULT_FLOOR, TV_DEFAULT_BOOK};
    std::vector<char*> defaultArgs;
    if (argc == 1) {
        for (const auto& a : defaults)
            defaultArgs.push_back(const_cast<char*>(a.c_str()));
        argc = static_cast<int>(defaultArgs.size());
        argv = defaultArgs.data();
    }
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_viewer_startup [PACKER VIEWER FLOOR BOOKDIR [RUNS]]\n");
        return 2;
    }
    const std::string packer = argv[1], viewer = argv[2], floor = argv[3];
    const fs::path book = fs::absolute(argv[4]);
    const int runs = argc > 5 ? std::max(1, std::atoi(argv[5])) : 7;
    try {
        const fs::path work = fs::temp_directory_path() / ("tomevane-bench-" + std::to_string(getpid()));
        fs::create_directories(work);
        const std::string packed = (work / "book").string();
        const std::string command = "'" + packer + "' '" + book.string() + "' -o '" + packed +
                                    "' --viewer '" + viewer + "' >/dev/null";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("packing failed");

        // The first page of the reading order and the window size the book asks for.
        std::ifstream storyFile(book / "system" / "Story.xml");
        const std::string story((std::istreambuf_iterator<char>(storyFile)), {});
        const size_t at = story.find("page=\"");
        const std::string first = story.substr(at + 6, story.find('"', at + 6) - at - 6);
        std::string relative = first;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const std::string fileUrl = "file://" + (book / "pages").string() + relative;

        const size_t images = BuildArchiveImage((book / "system").string()).size() +
                              BuildArchiveImage((book / "pages").string()).size();

        // Warm both once (file cache, fontconfig), then alternate so that drift hits both alike.
        Measure({packed}, "DocumentComplete mfs:" + first);
        Measure({floor, fileUrl, "960", "700"}, "DocumentComplete file://");
        std::vector<double> viewerMs, floorMs;
        std::vector<long> viewerRss, viewerTotal, floorRss, floorTotal;
        for (int i = 0; i < runs; ++i) {
            const TRun v = Measure({packed}, "DocumentComplete mfs:" + first);
            const TRun f = Measure({floor, fileUrl, "960", "700"}, "DocumentComplete file://");
            viewerMs.push_back(v.Milliseconds);
            floorMs.push_back(f.Milliseconds);
            viewerRss.push_back(v.ResidentKiB);
            viewerTotal.push_back(v.TotalResidentKiB);
            floorRss.push_back(f.ResidentKiB);
            floorTotal.push_back(f.TotalResidentKiB);
        }
        fs::remove_all(work);
        const double v = Median(viewerMs), f = Median(floorMs);
        std::printf("first page %s, %d runs each, medians\n", first.c_str(), runs);
        std::printf("RESULT viewer_first_page_ms %.1f ms peer %.1f\n", v, f);
        std::printf("RESULT viewer_first_page_ratio %.2f x\n", v / f);
        std::printf("RESULT viewer_rss_after_first_page %.1f MiB peer %.1f\n", Median(viewerRss) / 1024.0,
                    Median(floorRss) / 1024.0);
        std::printf("RESULT viewer_rss_with_engine_processes %.1f MiB peer %.1f\n",
                    Median(viewerTotal) / 1024.0, Median(floorTotal) / 1024.0);
        std::printf("RESULT archive_images_sum %.1f KiB\n", images / 1024.0);
        std::printf("TABLE\tpacked sample book, start to first page\t%.1f ms\tminimal WebKitGTK, "
                    "file://\t%.1f ms\t%.2f\n",
                    v, f, v / f);
        std::printf(
            "TABLE\tviewer resident memory after first page\t%.1f MiB\tminimal WebKitGTK\t%.1f MiB\t%.2f\n",
            Median(viewerRss) / 1024.0, Median(floorRss) / 1024.0,
            static_cast<double>(Median(viewerRss)) / Median(floorRss));
        std::printf("TABLE\tboth archive images\t%.1f KiB\t-\t-\t-\n", images / 1024.0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_viewer_startup: %s\n", e.what());
        return 1;
    }
    return 0;
}
