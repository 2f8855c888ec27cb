// An EPUB's package document and a navigation, NCX or index document from arbitrary text: every
// failure is the importer's own error, and the reading order built from them holds the spine's
// linear pages in order, each once, while an index page's table of contents lists a page once.
#include "u_EpubReader.h"
#include "u_HtmlFolderReader.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>

namespace {

void Pages(const std::vector<TImportEntry>& entries, std::vector<std::string>& pages) {
    for (const TImportEntry& entry : entries) {
        if (!entry.Page.empty()) pages.push_back(entry.Page);
        Pages(entry.Children, pages);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string package = in.ConsumeRandomLengthString(1 << 20);
    const std::string contents = in.ConsumeRemainingBytesAsString();

    std::vector<TImportEntry> toc = ParseNavDocument(contents, "text/nav.xhtml");
    const std::vector<TImportEntry> ncx = ParseNcxDocument(contents, "toc.ncx");
    toc.insert(toc.end(), ncx.begin(), ncx.end());

    std::vector<std::string> spine;
    try {
        const TEpubPackage parsed = ParsePackageDocument(package, "OPS/package.opf");
        for (const TEpubSpineItem& itemref : parsed.Spine)
            if (const TEpubItem* item = parsed.Find(itemref.IdRef); item && itemref.Linear)
                spine.push_back(item->Fragment.empty() ? item->Path : item->Path + "#" + item->Fragment);
        parsed.NavDocument();
        parsed.CoverImage();
    } catch (const EImportError&) {
    }
    const std::vector<TImportEntry> order =
        BuildReadingOrder(spine, toc, [](const std::string& page) { return page; });
    std::vector<std::string> pages;
    Pages(order, pages);
    if (pages.size() != spine.size()) __builtin_trap();
    for (size_t i = 0; i < pages.size(); ++i)
        if (pages[i].substr(0, pages[i].find('#')) != spine[i].substr(0, spine[i].find('#'))) __builtin_trap();

    std::vector<std::string> listed;
    Pages(ParseIndexContents(contents, "index.html", [](const std::string&) { return true; }), listed);
    if (std::set<std::string>(listed.begin(), listed.end()).size() != listed.size()) __builtin_trap();
    return 0;
}
