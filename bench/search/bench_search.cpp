// The viewer's search over a generated book of 5,000 pages (about 50 MB of HTML) for a word that
// occurs on a few pages, against LC_ALL=C grep -r -i -F for the same word over the same pages
// written to disk, in one run (best of several warm rounds each). Also the peak heap memory the
// search adds while it runs (every allocation of the program is counted).
#include "u_MFS.h"
#include "u_PageSearch.h"
#include "u_Story.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <new>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// --- Heap accounting: the bytes allocated now and the most there were since the last reset. ---
namespace {
std::atomic<long long> HeapNow{0};
std::atomic<long long> HeapPeak{0};
void* Allocate(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    const long long now = HeapNow += static_cast<long long>(malloc_usable_size(p));
    long long peak = HeapPeak.load();
    while (now > peak && !HeapPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}
void Release(void* p) {
    if (!p) return;
    HeapNow -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
} // namespace
void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, size_t) noexcept {
    Release(p);
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int PageCount = 5000;
constexpr size_t PageSize = 10000;
constexpr const char* Word = "Quillwort";
constexpr int PagesWithWord[] = {17, 1234, 2500, 4321, 4999};

const char* const Words[] = {"reading", "order",        "chapter", "the",         "page",
                             "archive", "viewer",       "toolbar", "caf\xC3\xA9", "book",
                             "search",  "picture",      "a",       "of",          "variable",
                             "story",   "na\xC3\xAFve", "link",    "window",      "and"};

// One page of HTML: headings, paragraphs with inline markup, an attribute or two, an entity.
std::string MakePage(int number, std::mt19937& random) {
    std::string html = "<html><head><title>Page " + std::to_string(number) +
                       "</title><link rel=\"stylesheet\" href=\"../style/book.css\"></head><body>\n";
    html += "<h2 class=\"title\">Section " + std::to_string(number) + "</h2>\n";
    bool placed = false;
    const bool wanted =
        std::find(std::begin(PagesWithWord), std::end(PagesWithWord), number) != std::end(PagesWithWord);
    while (html.size() < PageSize - 200) {
        html += "<p>";
        for (int w = 0; w < 60; ++w) {
            if (w % 17 == 5) html += "<b>";
            html += Words[random() % std::size(Words)];
            if (w % 17 == 5) html += "</b>";
            html += w % 23 == 22 ? " &amp; " : " ";
        }
        if (wanted && !placed && html.size() > PageSize / 2) {
            html += "the <i>quillwort</i> grows here ";
            placed = true;
        }
        html +=
            "<a href=\"p" + std::to_string((number + 1) % PageCount) + ".htm\" title=\"next\">on</a></p>\n";
    }
    html += "</body></html>\n";
    return html;
}

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs LC_ALL=C grep -r -i -F -l word folder; returns the number of files it names.
int Grep(const fs::path& folder) {
    int out[2];
    if (pipe(out) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> env = {"LC_ALL=C", "PATH=/usr/bin:/bin"};
    std::vector<char*> envp = {env[0].data(), env[1].data(), nullptr};
    std::string folderText = folder.string();
    std::vector<const char*> argv = {"grep", "-r", "-i", "-F", "-l", Word, folderText.c_str(), nullptr};
    pid_t pid = 0;
    const int failed =
        posix_spawnp(&pid, "grep", &actions, nullptr, const_cast<char**>(argv.data()), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    int lines = 0;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        lines += static_cast<int>(std::count(buffer, buffer + n, '\n'));
    close(out[0]);
    if (failed) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return lines;
}

} // namespace

int main() {
    std::mt19937 random(7);
    TMFS pages;
    std::string story = "<Story>\n";
    const fs::path folder = fs::temp_directory_path() / ("tomevane-bench-search-" + std::to_string(getpid()));
    size_t total = 0;
    for (int i = 0; i < PageCount; ++i) {
        const std::string chapter = "ch" + std::to_string(i / 250);
        const std::string name = "p" + std::to_string(i) + ".htm";
        const std::string html = MakePage(i, random);
        total += html.size();
        pages.Session()->ForceFolders("\\" + chapter);
        pages.Session()->CreateFile("\\" + chapter + "\\" + name, faArchive, true)->Data = html;
        fs::create_directories(folder / chapter);
        std::ofstream(folder / chapter / name, std::ios::binary) << html;
        if (i % 250 == 0)
            story += (i ? "</item>\n" : "") + std::string("<item Path=\"\\") + chapter + "\">\n";
        story += "<item page=\"" + name + "\" pagename=\"Page " + std::to_string(i) + "\"/>\n";
    }
    story += "</item>\n</Story>\n";
    TStoryLine line(story);
    std::printf("book: %d pages, %.1f MB of HTML, the word on %zu pages\n", PageCount, total / 1e6,
                std::size(PagesWithWord));

    constexpr int Rounds = 7;
    double ours = 1e9, grep = 1e9;
    int found = 0, grepFound = 0;
    long long peakAdded = 0;
    for (int round = 0; round < Rounds; ++round) {
        const long long before = HeapNow.load();
        HeapPeak = before;
        auto start = Clock::now();
        found = SearchPages(line, pages, Word, [](const TFoundPage&) {});
        ours = std::min(ours, Seconds(start));
        peakAdded = std::max(peakAdded, HeapPeak.load() - before);
        start = Clock::now();
        grepFound = Grep(folder);
        grep = std::min(grep, Seconds(start));
    }
    fs::remove_all(folder);
    std::printf("search: %d pages found in %.1f ms (best of %d); grep: %d files in %.1f ms\n", found,
                ours * 1e3, Rounds, grepFound, grep * 1e3);
    std::printf("search peak heap added: %.1f KB (the book: %.1f MB)\n", peakAdded / 1e3, total / 1e6);
    std::printf("RESULT search-5000-pages %.1f ms peer %.1f\n", ours * 1e3, grep * 1e3);
    std::printf(
        "TABLE\tsearch, 5,000 pages (50 MB), one word\t%.1f ms\tLC_ALL=C grep -r -i -F\t%.1f ms\t%.2f\n",
        ours * 1e3, grep * 1e3, ours / grep);
    std::printf("TABLE\tsearch, peak memory added\t%.1f KB\tbook size\t%.1f MB\t%.5f\n", peakAdded / 1e3,
                total / 1e6, peakAdded / static_cast<double>(total));
    return found == static_cast<int>(std::size(PagesWithWord)) && grepFound == found ? 0 : 1;
}
