// Start-up of packed books against the engine's floor, in one run on the current X display: time
// from starting the packed book to its first page's DocumentComplete (read from the debug log),
// against floor_webkit opening the same first page from a file:// URL, runs alternating, medians;
// and the viewer's resident memory (peak and after the first page) next to the floor's. Two books:
// a generated reference book of 5,000 pages (about 10 KB each, 25 pages a chapter) and the sample
// book.
//   bench_viewer_startup [PACKER VIEWER FLOOR BOOKDIR [RUNS]]
// With TV_BENCH_KEEP=DIR the generated book and the packed books stay in DIR.
#include "BenchBook.h"
#include "u_BookPacker.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
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

using bench::GenerateBook;

namespace {

struct TRun {
    double Milliseconds = 0;
    long ResidentKiB = 0;      // the program's own process
    long PeakResidentKiB = 0;  // its highest resident size up to the first page
    long TotalResidentKiB = 0; // with its engine processes
};

// A field of /proc/PID/status in KiB ("VmRSS:", "VmHWM:").
long StatusKiB(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
    return 0;
}

long ResidentKiB(pid_t pid) {
    return StatusKiB(pid, "VmRSS:");
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
    const auto start = Clock::now();
    int output = -1;
    const pid_t pid = bench::StartWithDebugLog(argv, output);
    TRun run;
    std::string buffer;
    char chunk[4096];
    bool seen = false;
    const auto deadline = start + std::chrono::seconds(60);
    while (!seen && Clock::now() < deadline) {
        pollfd ready{output, POLLIN, 0};
        if (poll(&ready, 1, 200) <= 0) continue;
        const ssize_t n = read(output, chunk, sizeof chunk);
        if (n <= 0) break;
        buffer.append(chunk, static_cast<size_t>(n));
        seen = buffer.find(marker) != std::string::npos;
    }
    run.Milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (seen) {
        run.ResidentKiB = ResidentKiB(pid);
        run.PeakResidentKiB = StatusKiB(pid, "VmHWM:");
        run.TotalResidentKiB = TreeResidentKiB(pid);
    }
    kill(pid, SIGTERM);
    close(output);
    waitpid(pid, nullptr, 0);
    if (!seen) {
        // What the program said last tells why (a display it could not open, a failed start).
        const size_t from = buffer.size() > 400 ? buffer.size() - 400 : 0;
        throw std::runtime_error("no \"" + marker + "\" from " + argv[0] + "; it ended with:\n" +
                                 buffer.substr(from));
    }
    return run;
}

template <class T> T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The first page of the reading order as Story.xml writes it on its first item.
std::string FirstStoryPage(const fs::path& book) {
    std::ifstream storyFile(book / "system" / "Story.xml");
    const std::string story((std::istreambuf_iterator<char>(storyFile)), {});
    const size_t at = story.find("page=\"");
    return story.substr(at + 6, story.find('"', at + 6) - at - 6);
}

struct TFigures {
    double ViewerMs, FloorMs;
    long ViewerPeakKiB, ViewerKiB, ViewerTotalKiB, FloorPeakKiB, FloorKiB, FloorTotalKiB;
    size_t Images, Cabinets;
};

// A packed book with the floor's address of its first page, and the runs measured so far.
struct TBookRuns {
    std::string Packed, First;
    std::vector<std::string> ViewerArgs, FloorArgs;
    std::string ViewerMarker;
    size_t Images = 0, Cabinets = 0;
    std::vector<TRun> Viewer, Floor;
};

// Packs the book and readies the viewer's and the floor's command lines for its first page.
TBookRuns PrepareBook(const std::string& packer, const std::string& viewer, const std::string& floor,
                      const fs::path& book, const std::string& first, const fs::path& work) {
    TBookRuns runs;
    runs.First = first;
    runs.Packed = (work / ("book-" + book.filename().string())).string();
    const std::string command =
        "'" + packer + "' '" + book.string() + "' -o '" + runs.Packed + "' --viewer '" + viewer + "' >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("packing failed");

    std::string relative = first;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::string fileUrl = "file://" + (book / "pages").string() + relative;

    const std::string systemImage = BuildArchiveImage((book / "system").string());
    const std::string pagesImage = BuildArchiveImage((book / "pages").string());
    runs.Images = systemImage.size() + pagesImage.size();
    runs.Cabinets = PackArchiveImage(systemImage).size() + PackArchiveImage(pagesImage).size();

    runs.ViewerArgs = {runs.Packed};
    runs.FloorArgs = {floor, fileUrl, "960", "700"};
    runs.ViewerMarker = "DocumentComplete mfs:" + first;
    return runs;
}

// One run of the packed book, then one of the floor on the same page.
void MeasureRound(TBookRuns& book) {
    book.Viewer.push_back(Measure(book.ViewerArgs, book.ViewerMarker));
    book.Floor.push_back(Measure(book.FloorArgs, "DocumentComplete file://"));
}

template <class T> T MedianOf(const std::vector<TRun>& runs, T TRun::*field) {
    std::vector<T> values;
    for (const TRun& run : runs)
        values.push_back(run.*field);
    return Median(values);
}

TFigures Medians(const TBookRuns& book) {
    const auto median = [](const std::vector<TRun>& runs, auto field) { return MedianOf(runs, field); };
    TFigures figures{};
    figures.ViewerMs = median(book.Viewer, &TRun::Milliseconds);
    figures.FloorMs = median(book.Floor, &TRun::Milliseconds);
    figures.ViewerPeakKiB = median(book.Viewer, &TRun::PeakResidentKiB);
    figures.ViewerKiB = median(book.Viewer, &TRun::ResidentKiB);
    figures.ViewerTotalKiB = median(book.Viewer, &TRun::TotalResidentKiB);
    figures.FloorPeakKiB = median(book.Floor, &TRun::PeakResidentKiB);
    figures.FloorKiB = median(book.Floor, &TRun::ResidentKiB);
    figures.FloorTotalKiB = median(book.Floor, &TRun::TotalResidentKiB);
    figures.Images = book.Images;
    figures.Cabinets = book.Cabinets;
    return figures;
}

void Report(const char* key, const char* what, const std::string& first, int runs, const TFigures& f) {
    const double ratio = f.ViewerMs / f.FloorMs;
    // What the book costs the viewer's process at its peak, beyond what the engine's floor needs,
    // against what loading may hold: both cabinets, both images and 16 MB.
    const double bookMiB = (f.ViewerPeakKiB - f.FloorPeakKiB) / 1024.0;
    const double budgetMiB = (f.Cabinets + f.Images) / 1048576.0 + 16.0;
    std::printf("%s: first page %s, %d runs each, medians\n", what, first.c_str(), runs);
    std::printf("RESULT %s_first_page_ms %.1f ms peer %.1f\n", key, f.ViewerMs, f.FloorMs);
    std::printf("RESULT %s_first_page_ratio %.2f x\n", key, ratio);
    std::printf("RESULT %s_peak_rss %.1f MiB peer %.1f\n", key, f.ViewerPeakKiB / 1024.0,
                f.FloorPeakKiB / 1024.0);
    std::printf("RESULT %s_rss_after_first_page %.1f MiB peer %.1f\n", key, f.ViewerKiB / 1024.0,
                f.FloorKiB / 1024.0);
    std::printf("RESULT %s_rss_with_engine_processes %.1f MiB peer %.1f\n", key, f.ViewerTotalKiB / 1024.0,
                f.FloorTotalKiB / 1024.0);
    std::printf("RESULT %s_archives %.1f MiB images, %.1f MiB cabinets\n", key, f.Images / 1048576.0,
                f.Cabinets / 1048576.0);
    std::printf("TABLE\t%s, start to first page\t%.1f ms\tminimal WebKitGTK, file://\t%.1f ms\t%.2f\n", what,
                f.ViewerMs, f.FloorMs, ratio);
    std::printf("TABLE\t%s, viewer peak memory\t%.1f MiB\tminimal WebKitGTK\t%.1f MiB\t%.2f\n", what,
                f.ViewerPeakKiB / 1024.0, f.FloorPeakKiB / 1024.0,
                static_cast<double>(f.ViewerPeakKiB) / f.FloorPeakKiB);
    std::printf(
        "TABLE\t%s, peak memory above the floor\t%.1f MiB\tcabinets + images + 16 MB\t%.1f MiB\t%.2f\n", what,
        bookMiB, budgetMiB, bookMiB / budgetMiB);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = bench::ArgumentsOrDefaults(
        argc, argv, {TV_DEFAULT_PACKER, TV_DEFAULT_VIEWER, TV_DEFAULT_FLOOR, TV_DEFAULT_BOOK});
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: bench_viewer_startup [PACKER VIEWER FLOOR BOOKDIR [RUNS]]\n");
        return 2;
    }
    const std::string packer = args[1], viewer = args[2], floor = args[3];
    const fs::path sample = fs::absolute(args[4]);
    // Single runs on a small virtual machine spread by a tenth either way: eleven runs by default,
    // never fewer than seven.
    const int runs = args.size() > 5 ? std::max(7, std::atoi(args[5].c_str())) : 11;
    // TV_BENCH_KEEP names a folder that keeps the generated book and the packed executables, to
    // profile them afterwards.
    const char* keepIn = std::getenv("TV_BENCH_KEEP");
    const bool keep = keepIn != nullptr;
    const fs::path work =
        keep ? fs::path(keepIn) : fs::temp_directory_path() / ("tomevane-bench-" + std::to_string(getpid()));
    try {
        fs::create_directories(work);
        const fs::path reference = work / "reference-book";
        const std::string referenceFirst = GenerateBook(reference, 5000);
        TBookRuns big = PrepareBook(packer, viewer, floor, reference, referenceFirst, work);
        TBookRuns small = PrepareBook(packer, viewer, floor, sample, FirstStoryPage(sample), work);

        // Warm every program once (file cache, fontconfig), then alternate all four, so that
        // drift hits each alike and the two books compare with each other as well.
        for (TBookRuns* book : {&big, &small}) {
            Measure(book->ViewerArgs, book->ViewerMarker);
            Measure(book->FloorArgs, "DocumentComplete file://");
        }
        for (int i = 0; i < runs; ++i) {
            MeasureRound(big);
            MeasureRound(small);
        }
        if (!keep) {
            fs::remove(big.Packed);
            fs::remove(small.Packed);
        }
        const TFigures bigFigures = Medians(big), smallFigures = Medians(small);
        Report("reference_book", "5,000-page book", big.First, runs, bigFigures);
        Report("sample_book", "sample book", small.First, runs, smallFigures);
        const double againstSample = bigFigures.ViewerMs / smallFigures.ViewerMs;
        std::printf("RESULT reference_book_against_sample_ratio %.2f x\n", againstSample);
        std::printf("TABLE\t5,000-page book against the sample book, start to first page\t%.1f ms\t"
                    "sample book\t%.1f ms\t%.2f\n",
                    bigFigures.ViewerMs, smallFigures.ViewerMs, againstSample);
        if (!keep) fs::remove_all(work);
    } catch (const std::exception& e) {
        std::error_code ignored;
        if (!keep) fs::remove_all(work, ignored);
        std::fprintf(stderr, "bench_viewer_startup: %s\n", e.what());
        return 1;
    }
    return 0;
}
