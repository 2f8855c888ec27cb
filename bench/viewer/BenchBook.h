// The books the viewer benchmarks measure: a generated reference book of many pages of about 10 KB
// each, as large as a real reference work, written below a folder as an author's book folder.
#pragma once

#include "u_SysUtils.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

inline void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Text of made-up words drawn as words are drawn in real prose: a vocabulary of 10,000 words whose
// frequencies fall with their rank (Zipf), sentences of them. MSZIP cabinets of it come to about
// 0.38 of its size, as English prose and HTML manuals do (0.2 to 0.4); letters drawn at random
// instead pack to 0.6, a book larger and slower to decode than any real one.
class TProse {
  public:
    explicit TProse(uint32_t seed = 1) : FSeed(seed) {
        FWords.reserve(VocabularySize);
        FCumulative.reserve(VocabularySize);
        double total = 0;
        for (size_t rank = 0; rank < VocabularySize; ++rank) {
            std::string word;
            const int length = 2 + static_cast<int>(Next() % 9);
            for (int i = 0; i < length; ++i)
                word += static_cast<char>('a' + Next() % 26);
            FWords.push_back(std::move(word));
            total += 1.0 / static_cast<double>(rank + 1);
            FCumulative.push_back(total);
        }
    }

    std::string Text(size_t size) {
        std::string text;
        text.reserve(size + 16);
        while (text.size() < size) {
            const uint32_t draw = Next() << 16 | Next();
            const double at = static_cast<double>(draw) / 4294967296.0 * FCumulative.back();
            const size_t rank = static_cast<size_t>(
                std::lower_bound(FCumulative.begin(), FCumulative.end(), at) - FCumulative.begin());
            text += FWords[std::min(rank, VocabularySize - 1)];
            text += Next() % 13 == 0 ? ".\n" : " ";
        }
        text.resize(size);
        return text;
    }

  private:
    static constexpr size_t VocabularySize = 10000;

    // 16 bits of a linear congruential generator: the same book on every machine.
    uint32_t Next() {
        FSeed = FSeed * 1103515245u + 12345u;
        return FSeed >> 16;
    }

    uint32_t FSeed;
    std::vector<std::string> FWords;
    std::vector<double> FCumulative;
};

// A reference book of pages * about 10 KB in chapters of 25 pages, written below folder. The
// last page of every chapter uses a book variable; the others are plain pages. Returns the
// first page's archive path.
inline std::string GenerateBook(const fs::path& folder, int pages) {
    const int perChapter = 25;
    WriteFile(folder / "system" / "System.xml",
              "<System Story=\"Story.xml\" Variables=\"Variables.xml\" ApplicationTitle=\"%{TITLE}\" "
              "MainFormCaption=\"%{TITLE}\" Width=960 Height=700 ResizableWindow=True>\n"
              "  <toolbar ToolbarPlacement=\"tpTop\" LogoDisplay=False/>\n</System>\n");
    WriteFile(folder / "system" / "Variables.xml",
              "<vars>\n  <var name=\"TITLE\">$A reference book</var>\n</vars>\n");
    WriteFile(folder / "pages" / "book.css", "body { font-family: serif; margin: 2em; }\n");
    std::string story = "<Story>\n";
    TProse prose;
    for (int chapter = 0; chapter * perChapter < pages; ++chapter) {
        const std::string name = Format("ch%03d", chapter + 1);
        story += "  <item Path=\"\\" + name + "\">\n";
        for (int i = 0; i < perChapter && chapter * perChapter + i < pages; ++i) {
            const std::string page = Format("p%02d.htm", i + 1);
            story += "    <item page=\"" + page + "\" pagename=\"" + name + " " + page + "\"/>\n";
            std::string html = "<html>\n<head>\n<title>" + name + " " + page +
                               "</title>\n<link rel=\"stylesheet\" href=\"../book.css\">\n</head>\n<body>\n";
            if (i == perChapter - 1) html += "<p>%{TITLE}</p>\n";
            for (int paragraph = 0; paragraph < 10; ++paragraph)
                html += "<p>" + prose.Text(980) + "</p>\n";
            html += "</body>\n</html>\n";
            WriteFile(folder / "pages" / name / page, html);
        }
        story += "  </item>\n";
    }
    WriteFile(folder / "system" / "Story.xml", story + "</Story>\n");
    return "\\ch001\\p01.htm";
}

// Starts argv[0] with argv and the viewer's debug log switched on; its standard output and error
// (GLib writes debug lines to standard output) go to the pipe whose reading end lands in output.
inline pid_t StartWithDebugLog(const std::vector<std::string>& argv, int& output) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        setenv("G_MESSAGES_DEBUG", "Tomevane", 1);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    output = fds[0];
    return pid;
}

// The program's arguments, or when it has none, its name followed by defaults (this build's
// programs and the sample book).
inline std::vector<std::string> ArgumentsOrDefaults(int argc, char** argv, std::vector<std::string> defaults) {
    if (argc > 1) return {argv, argv + argc};
    defaults.insert(defaults.begin(), argv[0]);
    return defaults;
}

} // namespace bench
