// Importing against packing: Debian's live manual (EPUB 2) and the valgrind manual (an HTML
// folder) imported as book folders, each timed against packing the folder it gave (both archive
// images built from disk and compressed into cabinets, as the packer does before it writes the
// executable). Importing must take less than packing: the import reads and writes every file once
// and parses a handful of documents; packing reads every file and compresses it.
#include "u_BookImport.h"
#include "u_BookPacker.h"
#include "u_FolderArchive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Measure(const char* what, const std::string& source, const fs::path& work) {
    if (!fs::exists(source)) {
        std::printf("skipped %s: %s is not installed\n", what, source.c_str());
        return true;
    }
    const fs::path book = work / what;
    double import = 1e9, pack = 1e9;
    size_t packed = 0;
    for (int round = 0; round < 5; ++round) {
        std::ostringstream summary;
        fs::remove_all(book); // a fresh import each round, as an author's first one
        auto start = Clock::now();
        ImportBook({source, book.string(), "", false}, summary);
        import = std::min(import, Seconds(start));

        start = Clock::now();
        const std::string system = PackArchiveImage(BuildArchiveImage((book / "system").string()));
        const std::string pages = PackArchiveImage(BuildArchiveImage((book / "pages").string()));
        pack = std::min(pack, Seconds(start));
        packed = system.size() + pages.size();
    }
    std::printf("RESULT import-%s %.1f ms, pack %.1f ms (%.2f MB packed)\n", what, import * 1e3, pack * 1e3,
                packed / 1e6);
    std::printf("TABLE\timport %s\t%.1f ms\tpacking the result\t%.1f ms\t%.2f\n", what, import * 1e3, pack * 1e3,
                import / pack);
    if (import >= pack) std::printf("FAIL import-%s takes longer than packing\n", what);
    return import < pack;
}

} // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "tomevane-bench-import.XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 2;
    const fs::path work = pattern;
    bool ok = true;
    try {
        ok &= Measure("live-manual", "/usr/share/doc/live-manual/epub/live-manual.en.epub", work);
        ok &= Measure("valgrind-manual", "/usr/share/doc/valgrind/html", work);
    } catch (const std::exception& e) {
        std::printf("FAIL %s\n", e.what());
        ok = false;
    }
    fs::remove_all(work);
    return ok ? 0 : 1;
}
