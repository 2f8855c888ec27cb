#include "u_PageSearch.h"

#include "u_BookReader.h"
#include "u_MFS.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_XMLParser.h"

#include <cstring>

namespace {

// Calls piece for each run of text between tags and for the blank each tag becomes, in order.
template <class Piece> void ScanMarkup(std::string_view html, Piece&& piece) {
    const char* const begin = html.data();
    const char* const end = begin + html.size();
    const char* segment = begin;
    const char* p = begin;
    while (p < end) {
        // Text state: everything up to the next "<" is kept.
        const void* open = std::memchr(p, '<', static_cast<size_t>(end - p));
        if (!open) break;
        const char* tag = static_cast<const char*>(open);
        piece(std::string_view(segment, static_cast<size_t>(tag - segment)));
        piece(std::string_view(" ", 1));
        // Tag state, and the quoted state inside it, until the ">" that ends the tag.
        bool quoted = false;
        for (p = tag + 1; p < end; ++p) {
            if (*p == '"')
                quoted = !quoted;
            else if (*p == '>' && !quoted)
                break;
        }
        if (p == end) return; // a tag left open at the end adds nothing more
        segment = ++p;
    }
    piece(std::string_view(segment, static_cast<size_t>(end - segment)));
}

} // namespace

std::string TextFromHTML(std::string_view html) {
    std::string text;
    text.reserve(html.size());
    ScanMarkup(html, [&](std::string_view piece) { text.append(piece); });
    return text;
}

void AppendUpperTextFromHTML(std::string_view html, std::string& out) {
    out.reserve(out.size() + html.size());
    ScanMarkup(html, [&](std::string_view piece) { AppendAnsiUpperCase(piece, out); });
}

int SearchPages(const TStoryLine& line, TMFS& pages, std::string_view text,
                const std::function<void(const TFoundPage&)>& found) {
    const std::string needle = AnsiUpperCase(text);
    TMFSSession& session = *pages.Session();
    std::string pageText; // one buffer for every page
    int count = 0;
    for (const TXMLNode* entry = line.FirstPage(); entry; entry = line.NextPage(entry)) {
        const std::string path = TStoryLine::PageOf(entry);
        // Read before anything else: a missing page stops the search, searchable or not.
        const std::string_view content = session.GetFile(StoryPagePath(path))->Data;
        if (needle.empty() || !entry->Attributes.ValueOf("searchable", Variant(true)).AsBoolean()) continue;
        pageText.clear();
        AppendUpperTextFromHTML(content, pageText);
        if (!memmem(pageText.data(), pageText.size(), needle.data(), needle.size())) continue;
        ++count;
        found({entry->Attributes.ValueOf("pagename", Variant("")).AsString(), path});
    }
    return count;
}
