// The author's loop, in one run on the current X display: the viewer follows a book folder
// (--book BOOKDIR --watch); the time from a saved edit of the page shown to the reloaded page's
// DocumentComplete, and from a saved edit of the variables file to the restarted page's
// DocumentComplete (both read from the debug log, the wait for the folder to go quiet included);
// and the time to the first page opening the folder with --book against starting the same book
// packed. Two books: a generated reference book of 5,000 pages and the sample book. Medians.
//   bench_author [PACKER VIEWER BOOKDIR [RUNS]]
#include "BenchBook.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class T> T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A program started with the debug log on, its output read line by line as it comes.
class TProgram {
  public:
    explicit TProgram(const std::vector<std::string>& argv) {
        FPid = bench::StartWithDebugLog(argv, FOutput);
        FName = argv[0];
    }
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;
    ~TProgram() {
        kill(FPid, SIGTERM);
        close(FOutput);
        waitpid(FPid, nullptr, 0);
    }
    // Waits for a line holding first and then for one holding then (when given) after it.
    void WaitFor(const std::string& first, const std::string& then = "") {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        bool firstSeen = false;
        for (;;) {
            size_t end;
            while ((end = FBuffer.find('\n')) != std::string::npos) {
                const std::string line = FBuffer.substr(0, end);
                FBuffer.erase(0, end + 1);
                if (!firstSeen && line.find(first) != std::string::npos) {
                    firstSeen = true;
                    if (then.empty()) return;
                } else if (firstSeen && line.find(then) != std::string::npos) {
                    return;
                }
                FLast = line;
            }
            if (Clock::now() > deadline) break;
            pollfd ready{FOutput, POLLIN, 0};
            if (poll(&ready, 1, 200) <= 0) continue;
            char chunk[4096];
            const ssize_t n = read(FOutput, chunk, sizeof chunk);
            if (n <= 0) break;
            FBuffer.append(chunk, static_cast<size_t>(n));
        }
        throw std::runtime_error("no \"" + first + "\" / \"" + then + "\" from " + FName + "; it said last: " + FLast);
    }

  private:
    pid_t FPid = -1;
    int FOutput = -1;
    std::string FName;
    std::string FBuffer;
    std::string FLast;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The page's file below pages/ from its archive path ("\ch001\p01.htm").
fs::path PageFile(const fs::path& book, std::string page) {
    std::replace(page.begin(), page.end(), '\\', '/');
    return book / "pages" / page.substr(page.front() == '/' ? 1 : 0);
}

struct TFigures {
    double FolderOpenMs, PackedOpenMs, PageEditMs, DescriptionEditMs;
};

TFigures MeasureBook(const std::string& packer, const std::string& viewer, const fs::path& book,
                     const std::string& first, const fs::path& work, int runs) {
    TFigures figures{};
    const std::string complete = "DocumentComplete mfs:" + first;
    const std::string packed = (work / "packed-book").string();
    const std::string command = packer + " '" + book.string() + "' -o '" + packed + "' --viewer '" + viewer +
                                "' --force 2>/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("packing failed: " + command);

    // Opening: the folder and the packed book, alternating.
    std::vector<double> folder, packedRuns;
    for (int i = 0; i < runs; ++i) {
        {
            const auto start = Clock::now();
            TProgram program({viewer, "--book", book.string()});
            program.WaitFor(complete);
            folder.push_back(Since(start));
        }
        {
            const auto start = Clock::now();
            TProgram program({packed});
            program.WaitFor(complete);
            packedRuns.push_back(Since(start));
        }
    }
    fs::remove(packed);
    figures.FolderOpenMs = Median(folder);
    figures.PackedOpenMs = Median(packedRuns);

    // Following: edits of the page shown, then of the variables file.
    const fs::path page = PageFile(book, first);
    const fs::path variables = book / "system" / "Variables.xml";
    const std::string pageText = ReadFile(page), variablesText = ReadFile(variables);
    std::vector<double> pageEdits, descriptionEdits;
    {
        TProgram program({viewer, "--book", book.string(), "--watch"});
        program.WaitFor(complete);
        usleep(300000); // the first page settled
        for (int i = 0; i < runs; ++i) {
            bench::WriteFile(page, pageText + "<!-- edit " + std::to_string(i) + " -->\n");
            const auto start = Clock::now();
            program.WaitFor("reload ", complete);
            pageEdits.push_back(Since(start));
        }
        for (int i = 0; i < runs; ++i) {
            std::string edited = variablesText;
            edited.insert(edited.rfind("</vars>"), "<var name=\"EDIT\">$" + std::to_string(i) + "</var>\n");
            bench::WriteFile(variables, edited);
            const auto start = Clock::now();
            program.WaitFor("restart ", complete);
            descriptionEdits.push_back(Since(start));
        }
    }
    bench::WriteFile(page, pageText);
    bench::WriteFile(variables, variablesText);
    figures.PageEditMs = Median(pageEdits);
    figures.DescriptionEditMs = Median(descriptionEdits);
    return figures;
}

void Report(const char* key, const char* what, int runs, const TFigures& f) {
    std::printf("%s: %d runs each, medians\n", what, runs);
    std::printf("RESULT %s_page_edit_to_reloaded_page_ms %.1f ms\n", key, f.PageEditMs);
    std::printf("RESULT %s_description_edit_to_restarted_page_ms %.1f ms\n", key, f.DescriptionEditMs);
    std::printf("RESULT %s_open_folder_ms %.1f ms packed %.1f\n", key, f.FolderOpenMs, f.PackedOpenMs);
    std::printf("TABLE\t%s, saved page to reloaded page\t%.1f ms\taim\t150.0 ms\t%.2f\n", what, f.PageEditMs,
                f.PageEditMs / 150.0);
    std::printf("TABLE\t%s, saved variables to restarted page\t%.1f ms\taim\t1000.0 ms\t%.2f\n", what,
                f.DescriptionEditMs, f.DescriptionEditMs / 1000.0);
    std::printf("TABLE\t%s, first page from the folder (--book)\t%.1f ms\tthe same book packed\t%.1f ms\t%.2f\n",
                what, f.FolderOpenMs, f.PackedOpenMs, f.FolderOpenMs / f.PackedOpenMs);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args =
        bench::ArgumentsOrDefaults(argc, argv, {TV_DEFAULT_PACKER, TV_DEFAULT_VIEWER, TV_DEFAULT_BOOK});
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: bench_author [PACKER VIEWER BOOKDIR [RUNS]]\n");
        return 2;
    }
    const std::string packer = args[1], viewer = args[2];
    const int runs = args.size() > 4 ? std::max(3, std::atoi(args[4].c_str())) : 7;
    const fs::path work = fs::temp_directory_path() / ("tomevane-bench-author-" + std::to_string(getpid()));
    try {
        fs::create_directories(work);
        const fs::path reference = work / "reference-book";
        const std::string referenceFirst = bench::GenerateBook(reference, 5000);
        Report("reference_book", "5,000-page book", runs,
               MeasureBook(packer, viewer, reference, referenceFirst, work, runs));
        fs::remove_all(reference);

        // The sample book is edited in a copy.
        const fs::path sample = work / "sample-book";
        fs::copy(args[3], sample, fs::copy_options::recursive);
        Report("sample_book", "sample book", runs, MeasureBook(packer, viewer, sample, "\\welcome.htm", work, runs));
        fs::remove_all(work);
    } catch (const std::exception& e) {
        std::error_code ignored;
        fs::remove_all(work, ignored);
        std::fprintf(stderr, "bench_author: %s\n", e.what());
        return 1;
    }
    return 0;
}
