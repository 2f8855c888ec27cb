// Loading the page archive from its cabinet against cabextract unpacking the same cabinet, and the
// peak memory of the load. A generated book: 5,000 pages in three folder levels, 50 MB of page
// text, packed as the packer packs it (MSZIP cabinet holding info.mfs).
//
//   bench_cabinet [ROUNDS]      timing (median of ROUNDS, default 5) and memory
//   bench_cabinet --load-only CAB   child mode: one load, peak memory
#include "u_BookPacker.h"
#include "u_Loader.h"
#include "u_MFS.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Page text made of words from a small vocabulary, so that it compresses about as well as HTML.
std::string PageText(size_t size, uint32_t seed) {
    static const char* const words[] = {"the ",   "reader ", "<p>",    "</p>\n", "book ", "chapter ",
                                        "page ",  "of ",     "and ",   "<b>",    "</b> ", "viewer ",
                                        "light ", "stone ",  "river ", "a "};
    std::string text;
    text.reserve(size + 16);
    while (text.size() < size) {
        seed = seed * 1103515245u + 12345u;
        text += words[(seed >> 16) % 16];
        if ((seed >> 8) % 7 == 0) text += std::to_string(seed % 100000);
    }
    text.resize(size);
    return text;
}

std::string BuildImage() {
    TMFS mfs;
    TMFSSession* s = mfs.Session();
    const size_t pageSize = 50u * 1000 * 1000 / 5000;
    for (int i = 0; i < 5000; ++i) {
        const std::string dir = Format("\\Chapter%02d\\Section%02d\\", i / 250, (i / 25) % 10);
        s->ForceFolders(dir);
        s->CreateFile(dir + Format("Page%05d.htm", i), 0x20, false)->Data = PageText(pageSize, i + 1);
    }
    return mfs.SaveToString();
}

long StatusKilobytes(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string data(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    return data;
}

// One load in a fresh process: the peak resident memory from before the cabinet's bytes are read
// (as LoadRCDataResource reads them) to the loaded archive.
int LoadOnly(const char* cabinetFile) {
    std::ofstream("/proc/self/clear_refs") << "5"; // restart the peak from the current size
    const long before = StatusKilobytes("VmHWM:");
    std::string cabinet = ReadFile(cabinetFile);
    const size_t cabinetSize = cabinet.size();
    TMFS archive;
    LoadArchiveFromCabinet(archive, std::move(cabinet));
    const long peak = StatusKilobytes("VmHWM:");
    std::printf("%ld\n", (peak - before) * 1024 / 1000);
    return cabinetSize > 0 ? 0 : 1;
}

double RunChild(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const auto start = Clock::now();
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double t = Seconds(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return t;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--load-only") return LoadOnly(argv[2]);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const std::string image = BuildImage();
    const std::string cabinet = PackArchiveImage(image);
    const std::string file = "/tmp/tv-bench-cabinet-" + std::to_string(getpid()) + ".cab";
    std::ofstream(file, std::ios::binary).write(cabinet.data(), static_cast<std::streamsize>(cabinet.size()));
    std::printf("book: 5000 pages, image %.1f MB, cabinet %.1f MB\n", image.size() / 1e6,
                cabinet.size() / 1e6);

    // Alternate the two so that both see the same machine load; the viewer's load includes
    // reading the cabinet's bytes into memory, as LoadRCDataResource does.
    std::vector<double> viewer, peer;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        {
            TMFS archive;
            LoadArchiveFromCabinet(archive, ReadFile(file.c_str()));
        }
        viewer.push_back(Seconds(start));
        peer.push_back(RunChild({"cabextract", "-q", "-p", file}));
    }
    const double v = Median(viewer), p = Median(peer);
    std::printf("RESULT cabinet-load %.1f ms peer cabextract-p %.1f ms ratio %.2f (limit 1.30)\n", v * 1e3,
                p * 1e3, v / p);
    std::printf("TABLE\tpage cabinet load, 5,000 pages\t%.1f ms\tcabextract -p\t%.1f ms\t%.2f\n", v * 1e3,
                p * 1e3, v / p);

    // Peak memory in a fresh process.
    std::fflush(stdout);
    const std::string command = "'" + std::string(argv[0]) + "' --load-only " + file;
    FILE* child = popen(command.c_str(), "r");
    long peakKB = -1;
    if (!child || std::fscanf(child, "%ld", &peakKB) != 1) peakKB = -1;
    const int status = child ? pclose(child) : -1;
    std::remove(file.c_str());
    // Loading holds the cabinet and the extracted image, and builds the tree inside the image.
    const double budget = (cabinet.size() + image.size()) / 1e6 + 16.0;
    std::printf("RESULT cabinet-load-peak-memory %.1f MB budget %.1f MB (cabinet %.1f MB + image %.1f MB + "
                "16 MB)\n",
                peakKB / 1e3, budget, cabinet.size() / 1e6, image.size() / 1e6);
    std::printf("TABLE\tpage cabinet load, peak memory\t%.1f MB\tcabinet + image + 16 MB\t%.1f MB\t%.2f\n",
                peakKB / 1e3, budget, peakKB / 1e3 / budget);
    return status == 0 && peakKB >= 0 ? 0 : 1;
}
