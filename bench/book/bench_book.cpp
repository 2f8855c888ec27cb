// Reading order: parse a generated Story.xml and walk it page by page. 10,000 and 100,000 page
// entries in 200 chapters, written the way the authoring tool writes them; the walk with NextPage
// from the first page to the last must grow linearly with the number of entries.
#include "u_Story.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string GenerateStory(int pages, int chapters) {
    std::string text = "<Story Path=\"\">\r\n";
    const int perChapter = pages / chapters;
    int page = 0;
    for (int c = 0; c < chapters; ++c) {
        text += "  <item>\r\n";
        for (int i = 0; i < perChapter; ++i, ++page) {
            char line[256];
            std::snprintf(line, sizeof line,
                          "    <item page=\"\\chapter%03d\\page%06d.htm\" pagename=\"Page %d of chapter %d\" "
                          "searchable=True rightclick=False/>\r\n",
                          c, page, i + 1, c + 1);
            text += line;
        }
        text += "  </item>\r\n";
    }
    return text + "</Story>\r\n";
}

void Measure(int pages, int chapters) {
    const std::string text = GenerateStory(pages, chapters);
    double parse = 1e9, walk = 1e9, storyWalk = 1e9;
    int walked = 0;
    for (int round = 0; round < 5; ++round) {
        auto start = Clock::now();
        TStory story(std::make_unique<TStoryLine>(text));
        parse = std::min(parse, Seconds(start));

        const TStoryLine& line = story.Line();
        start = Clock::now();
        walked = 0;
        for (const TXMLNode* e = line.FirstPage(); e; e = line.NextPage(e)) ++walked;
        walk = std::min(walk, Seconds(start));

        // The viewer's own move: every Next first locates the page the browser shows.
        start = Clock::now();
        while (!story.Eof()) story.Next(story.CurrentPage());
        storyWalk = std::min(storyWalk, Seconds(start));
    }
    std::printf("RESULT story-parse-%d %.2f ms for %.2f MB (%d pages, %d chapters)\n", pages, parse * 1e3,
                text.size() / 1e6, walked, chapters);
    std::printf("RESULT story-nextpage-walk-%d %.3f ms (%.1f ns per entry)\n", pages, walk * 1e3,
                walk * 1e9 / (pages + chapters));
    std::printf("RESULT story-next-walk-%d %.3f ms (TStory.Next with Locate, %.1f ns per page)\n", pages,
                storyWalk * 1e3, storyWalk * 1e9 / pages);
    std::printf("TABLE\tStory.xml parse, %d entries (%.2f MB)\t%.1f ms\t-\t-\t-\n", pages + chapters,
                text.size() / 1e6, parse * 1e3);
    std::printf("TABLE\tNextPage walk, %d entries\t%.2f ms\t-\t-\t-\n", pages + chapters, walk * 1e3);
}

} // namespace

int main() {
    Measure(10000, 200);
    Measure(100000, 200);
    return 0;
}
