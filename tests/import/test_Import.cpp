// Importing an EPUB file or a folder of HTML pages as a book folder: the reading order and its
// chapters, the description files, the pages as served, and refusals that leave nothing behind.
#include "BookCheck.h"
#include "u_BookImport.h"
#include "u_EpubReader.h"
#include "u_HtmlFolderReader.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const char* const LiveManual = "/usr/share/doc/live-manual/epub/live-manual.en.epub";
const char* const ValgrindManual = "/usr/share/doc/valgrind/html";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The zip's files, name → bytes, in the zip's order.
using TZipFiles = std::vector<std::pair<std::string, std::string>>;

TZipFiles ReadZip(const fs::path& path) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
    EXPECT_NE(zip, nullptr);
    TZipFiles files;
    for (zip_int64_t i = 0; zip && i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(zip, i, 0, &st);
        std::string data(st.size, '\0');
        zip_file_t* file = zip_fopen_index(zip, i, 0);
        zip_fread(file, data.data(), st.size);
        zip_fclose(file);
        files.emplace_back(st.name, data);
    }
    if (zip) zip_discard(zip);
    return files;
}

void WriteZip(const fs::path& path, const TZipFiles& files) {
    fs::remove(path);
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    for (const auto& [name, data] : files) {
        zip_source_t* source = zip_source_buffer(zip, data.data(), data.size(), 0);
        ASSERT_GE(zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8), 0) << name;
    }
    ASSERT_EQ(zip_close(zip), 0);
}

std::string& FileOf(TZipFiles& files, const std::string& name) {
    for (auto& [key, data] : files)
        if (key == name) return data;
    throw std::runtime_error("no " + name);
}

void Replace(std::string& text, const std::string& what, const std::string& with) {
    const size_t at = text.find(what);
    ASSERT_NE(at, std::string::npos) << what;
    text.replace(at, what.size(), with);
}

// The page attributes of Story.xml in document order, and the entries that have children.
std::vector<std::string> StoryPages(const fs::path& book) {
    const std::string story = ReadText(book / "system" / "Story.xml");
    std::vector<std::string> pages;
    const std::regex page("page=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(story.begin(), story.end(), page); it != std::sregex_iterator(); ++it)
        pages.push_back((*it)[1]);
    return pages;
}

std::string WithoutFragment(const std::string& page) {
    return page.substr(0, page.find('#'));
}

// The linear spine of an OPF as "\"-paths below its folder, read with regular expressions (not
// with the importer's own parser).
std::vector<std::string> LinearSpine(const std::string& opf) {
    std::map<std::string, std::string> hrefs;
    const std::regex item("<item\\b[^>]*>");
    const std::regex id("\\bid=\"([^\"]*)\""), href("\\bhref=\"([^\"]*)\""), idref("\\bidref=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(opf.begin(), opf.end(), item); it != std::sregex_iterator(); ++it) {
        const std::string tag = (*it)[0];
        std::smatch i, h;
        if (std::regex_search(tag, i, id) && std::regex_search(tag, h, href)) hrefs[i[1]] = h[1];
    }
    std::vector<std::string> spine;
    const std::regex itemref("<itemref\\b[^>]*>");
    for (auto it = std::sregex_iterator(opf.begin(), opf.end(), itemref); it != std::sregex_iterator(); ++it) {
        const std::string tag = (*it)[0];
        if (tag.find("linear=\"no\"") != std::string::npos) continue;
        std::smatch r;
        if (!std::regex_search(tag, r, idref)) continue;
        std::string path = "\\" + hrefs[r[1]];
        for (char& c : path)
            if (c == '/') c = '\\';
        spine.push_back(path);
    }
    return spine;
}

std::string Problems(const fs::path& book) {
    std::string text;
    for (const TBookProblem& problem : CheckBook(book.string())) text += FormatProblem(problem) + "\n";
    return text;
}

class Import : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tomevane-import-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        FWork = pattern;
    }
    void TearDown() override { fs::remove_all(FWork); }

    std::string Run(const std::string& source, const fs::path& book, bool force = false, const std::string& index = "") {
        std::ostringstream out;
        ImportBook({source, book.string(), index, force}, out);
        return out.str();
    }

    // Expects the import to fail with a message holding each part, and to leave the folder of the
    // book as it was: no book, no staging folder.
    void ExpectRefused(const std::string& source, const std::vector<std::string>& parts) {
        const fs::path book = FWork / "out" / "refused";
        fs::create_directories(book.parent_path());
        try {
            Run(source, book);
            ADD_FAILURE() << source << " was imported";
        } catch (const std::exception& e) {
            for (const std::string& part : parts) EXPECT_THAT(e.what(), HasSubstr(part)) << source;
        }
        EXPECT_TRUE(fs::is_empty(book.parent_path())) << source;
    }

    // An EPUB 3 that pandoc writes from Markdown chapters: a cover, a chapter split over three
    // pages (a nested table of contents), a second chapter with a picture; then a page with
    // non-ASCII text that declares no character set, and a non-linear page, are added to it.
    fs::path PandocEpub() {
        if (std::system("command -v pandoc >/dev/null 2>&1") != 0) return {};
        const fs::path dir = FWork / "pandoc";
        WriteText(dir / "one.md", "# Chapter One\n\nOpening.\n\n## Section A\n\nText of A.\n\n## Section B\n\nText of B.\n");
        WriteText(dir / "two.md", "# Chapter Two\n\nA picture: ![dot](dot.gif)\n");
        // Pictures of one colour each: the cover red, 60 x 90, the page's picture blue.
        if (std::system(("cd '" + dir.string() + "' && convert -size 60x90 xc:red cover.gif && "
                         "convert -size 8x8 xc:blue dot.gif").c_str()) != 0)
            return {};
        const std::string command = "cd '" + dir.string() +
                                    "' && pandoc one.md two.md -o book.epub --epub-chapter-level=2 --toc-depth=2"
                                    " --metadata title='Käse & \"Brot\" <1>' --epub-cover-image=cover.gif"
                                    " 2>/dev/null";
        if (std::system(command.c_str()) != 0) return {};
        TZipFiles files = ReadZip(dir / "book.epub");
        std::string& opf = FileOf(files, "EPUB/content.opf");
        Replace(opf, "</manifest>",
                "<item id=\"notes\" href=\"text/notes%20page.html\" media-type=\"application/xhtml+xml\"/>"
                "<item id=\"extra\" href=\"text/extra.xhtml\" media-type=\"application/xhtml+xml\"/></manifest>");
        Replace(opf, "</spine>", "<itemref idref=\"extra\" linear=\"no\"/><itemref idref=\"notes\"/></spine>");
        files.emplace_back("EPUB/text/notes page.html",
                           "<html><head><title>Notes</title></head><body><p>Grüße, déjà vu</p></body></html>");
        files.emplace_back("EPUB/text/extra.xhtml",
                           "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>x</title></head><body/></html>");
        WriteZip(dir / "patched.epub", files);
        return dir / "patched.epub";
    }

    fs::path FWork;
};

TEST_F(Import, PandocEpub3ReadingOrderChaptersTitleLogoAndCharset) {
    const fs::path epub = PandocEpub();
    if (epub.empty()) GTEST_SKIP() << "pandoc is not installed";
    const fs::path book = FWork / "book";
    const std::string summary = Run(epub.string(), book);
    EXPECT_EQ(Problems(book), "");
    EXPECT_THAT(summary, HasSubstr("(EPUB 3)"));
    EXPECT_THAT(summary, HasSubstr("text/extra.xhtml: marked linear=\"no\""));

    // The spine's linear pages in order; the non-linear one is a page but not in the order.
    const std::vector<std::string> pages = StoryPages(book);
    std::vector<std::string> files;
    for (const std::string& page : pages) files.push_back(WithoutFragment(page));
    ASSERT_GE(files.size(), 6u);
    EXPECT_EQ(files.front(), "\\text\\cover.xhtml");
    EXPECT_EQ(files.back(), "\\text\\notes page.html");
    EXPECT_TRUE(fs::exists(book / "pages" / "text" / "extra.xhtml"));
    EXPECT_FALSE(fs::exists(book / "pages" / "content.opf"));
    EXPECT_FALSE(fs::exists(book / "pages" / "META-INF"));
    EXPECT_FALSE(fs::exists(book / "pages" / "mimetype"));

    // Chapter One spans three pages, named by the table of contents, each keeping its fragment.
    const std::string story = ReadText(book / "system" / "Story.xml");
    EXPECT_THAT(story, HasSubstr("#chapter-one\" pagename=\"Chapter One\">\n"));
    EXPECT_THAT(story, HasSubstr("#section-a\" pagename=\"Section A\"/>"));
    EXPECT_THAT(story, HasSubstr("#section-b\" pagename=\"Section B\"/>\n  </item>"));
    EXPECT_THAT(story, HasSubstr("#chapter-two\" pagename=\"Chapter Two\""));

    // The title reaches the caption through TITLE, with the description files' own escapes.
    EXPECT_THAT(ReadText(book / "system" / "System.xml"), HasSubstr("MainFormCaption=\"%{TITLE}\""));
    EXPECT_THAT(ReadText(book / "system" / "Variables.xml"), HasSubstr("$Käse & \"Brot\" \\<1></var>"));

    // The page without a character set declares UTF-8; pages that declare one are unchanged.
    const std::string notes = ReadText(book / "pages" / "text" / "notes page.html");
    EXPECT_EQ(notes.find("<head><meta charset=\"utf-8\"><title>"), 0u + std::string("<html>").size()) << notes;
    TZipFiles source = ReadZip(epub);
    EXPECT_EQ(ReadText(book / "pages" / "text" / "ch001.xhtml"), FileOf(source, "EPUB/text/ch001.xhtml"));

    // The cover is the logo: a bitmap of the toolbar's button height, red inside, framed by a
    // colour the picture does not use (the one the viewer makes transparent).
    GError* error = nullptr;
    GdkPixbuf* logo = gdk_pixbuf_new_from_file((book / "system" / "Logo.bmp").c_str(), &error);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_height(logo), ImportLogoHeight);
    EXPECT_EQ(gdk_pixbuf_get_width(logo), 2 + 44 * 60 / 90);
    const guchar* pixels = gdk_pixbuf_get_pixels(logo);
    const int stride = gdk_pixbuf_get_rowstride(logo), channels = gdk_pixbuf_get_n_channels(logo);
    const guchar* centre = pixels + (ImportLogoHeight / 2) * stride + (gdk_pixbuf_get_width(logo) / 2) * channels;
    EXPECT_GT(centre[0], 240);
    EXPECT_LT(centre[2], 16);
    const guchar* corner = pixels + (ImportLogoHeight - 1) * stride;
    EXPECT_FALSE(corner[0] == 255 && corner[1] == 0 && corner[2] == 0);
    g_object_unref(logo);
    EXPECT_THAT(ReadText(book / "system" / "System.xml"), HasSubstr("LogoDisplay=True"));
}

TEST_F(Import, LiveManualFollowsItsSpine) {
    if (!fs::exists(LiveManual)) GTEST_SKIP() << "live-manual-epub is not installed";
    const fs::path book = FWork / "live";
    const std::string summary = Run(LiveManual, book);
    EXPECT_EQ(Problems(book), "");
    EXPECT_THAT(summary, HasSubstr("Imported \"Live Systems Manual\" (EPUB 2)"));
    EXPECT_THAT(ReadText(book / "system" / "Variables.xml"), HasSubstr("$Live Systems Manual</var>"));
    const TZipFiles zip = ReadZip(LiveManual);
    std::string opf;
    for (const auto& [name, data] : zip)
        if (name == "OEBPS/content.opf") opf = data;
    EXPECT_EQ(StoryPages(book), LinearSpine(opf));
    EXPECT_TRUE(fs::exists(book / "pages" / "image" / "arrow_next_red.png"));
    // EPUB 2 without a cover meta: no logo.
    EXPECT_FALSE(fs::exists(book / "system" / "Logo.bmp"));
}

TEST_F(Import, ValgrindManualFromItsIndex) {
    if (!fs::exists(ValgrindManual)) GTEST_SKIP() << "the valgrind manual is not installed";
    const fs::path book = FWork / "valgrind";
    const std::string summary = Run(ValgrindManual, book);
    EXPECT_EQ(Problems(book), "");
    EXPECT_THAT(StoryPages(book), ElementsAre("\\index.html", "\\QuickStart.html", "\\manual.html", "\\FAQ.html",
                                              "\\tech-docs.html", "\\dist.html", "\\licenses.html"));
    EXPECT_THAT(ReadText(book / "system" / "Variables.xml"), HasSubstr("$Valgrind Documentation</var>"));
    // faq.html and FAQ.html: the packer's message, and the larger file (the FAQ itself) is kept.
    EXPECT_THAT(summary, HasSubstr("FAQ.html: \"FAQ.html\" and \"faq.html\" in \"/\" differ only in letter case"));
    EXPECT_TRUE(fs::exists(book / "pages" / "faq.html"));
    EXPECT_FALSE(fs::exists(book / "pages" / "FAQ.html"));
    EXPECT_THAT(summary, HasSubstr("mc-manual.html: not in the table of contents"));
}

TEST_F(Import, HtmlFolderContentsNestedListsAndIndex) {
    const fs::path tree = FWork / "tree";
    WriteText(tree / "start.htm",
              "<html><head><title>  A\n tree </title></head><body>"
              "<p>See <a href='outside.html'>outside</a> first.</p>"
              "<div class='toc'><ul>"
              "<li><a href='one.html'>One</a></li>"
              "<li><a href='part/two.html'>Two</a><ul>"
              "  <li><a href='part/two.html#a'>Two A</a></li><li><a href='part/three.html'>Three</a></li></ul></li>"
              "<li><span>No page</span><ol><li><a href='four.html'>Four</a></li><li><a href='five.html'>Five</a></li></ol></li>"
              "<li><a href='http://example.org/x.html'>web</a> <a href='missing.html'>gone</a> <a href='one.html'>again</a>"
              " <a href='pic.png'>picture</a> <a href='start.htm'>home</a></li>"
              "</ul><dl><dt><a href='six.html'>Six</a></dt><dd><dl><dt><a href='seven.html'>Seven</a></dt></dl></dd></dl>"
              "</div></body></html>");
    for (const char* page : {"one.html", "part/two.html", "part/three.html", "four.html", "five.html", "six.html",
                             "seven.html", "outside.html", "lost.html"})
        WriteText(tree / page, "<html><body>page</body></html>");
    WriteText(tree / "pic.png", "not really");

    const fs::path book = FWork / "book";
    EXPECT_THROW(Run(tree.string(), book), EImportError); // no index.html nor index.htm
    const std::string summary = Run(tree.string(), book, false, "start.htm");
    EXPECT_EQ(Problems(book), "");
    EXPECT_EQ(ReadText(book / "system" / "Story.xml"),
              "<Story>\n"
              "  <item page=\"\\start.htm\" pagename=\"A tree\"/>\n"
              "  <item page=\"\\one.html\" pagename=\"One\"/>\n"
              "  <item page=\"\\part\\two.html\" pagename=\"Two\">\n"
              "    <item page=\"\\part\\two.html#a\" pagename=\"Two A\"/>\n"
              "    <item page=\"\\part\\three.html\" pagename=\"Three\"/>\n"
              "  </item>\n"
              "  <item>\n"
              "    <item page=\"\\four.html\" pagename=\"Four\"/>\n"
              "    <item page=\"\\five.html\" pagename=\"Five\"/>\n"
              "  </item>\n"
              "  <item page=\"\\six.html\" pagename=\"Six\">\n"
              "    <item page=\"\\seven.html\" pagename=\"Seven\"/>\n"
              "  </item>\n"
              "</Story>\n");
    EXPECT_THAT(summary, HasSubstr("lost.html: not in the table of contents"));
    EXPECT_THAT(summary, HasSubstr("outside.html: not in the table of contents"));
    EXPECT_THAT(summary, HasSubstr("reading-order entries: 9\n  chapters: 3\n"));
    EXPECT_TRUE(fs::exists(book / "pages" / "pic.png"));
    EXPECT_TRUE(fs::exists(book / "system" / "toolbar" / "search.jpg"));

    // An existing book is kept unless --force, which replaces it whole.
    WriteText(book / "pages" / "stale.html", "old");
    EXPECT_THROW(Run(tree.string(), book, false, "start.htm"), EImportError);
    EXPECT_TRUE(fs::exists(book / "pages" / "stale.html"));
    Run(tree.string(), book.string() + "/", true, "start.htm");
    EXPECT_FALSE(fs::exists(book / "pages" / "stale.html"));
    EXPECT_TRUE(fs::exists(book / "pages" / "one.html"));
    EXPECT_EQ(std::distance(fs::directory_iterator(FWork), fs::directory_iterator()), 2); // tree and book only
}

TEST_F(Import, DamagedEpubsAreRefusedAndNothingIsWritten) {
    const std::string container =
        "<?xml version=\"1.0\"?><container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">"
        "<rootfiles><rootfile full-path=\"OPS/book.opf\" media-type=\"application/oebps-package+xml\"/></rootfiles>"
        "</container>";
    const std::string opf =
        "<?xml version=\"1.0\"?><package xmlns=\"http://www.idpf.org/2007/opf\" version=\"2.0\">"
        "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>T</dc:title></metadata>"
        "<manifest><item id=\"p\" href=\"p.xhtml\" media-type=\"application/xhtml+xml\"/></manifest>"
        "<spine><itemref idref=\"p\"/></spine></package>";
    const std::string page = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>P</title></head><body/></html>";
    const TZipFiles sound = {{"mimetype", "application/epub+zip"},
                             {"META-INF/container.xml", container},
                             {"OPS/book.opf", opf},
                             {"OPS/p.xhtml", page}};
    const auto make = [&](const std::string& name, TZipFiles files) {
        const fs::path path = FWork / name;
        WriteZip(path, files);
        return path.string();
    };
    // The sound one imports, with its single page.
    const std::string good = make("good.epub", sound);
    Run(good, FWork / "good");
    EXPECT_THAT(StoryPages(FWork / "good"), ElementsAre("\\p.xhtml"));

    std::string truncated = ReadText(good);
    truncated.resize(truncated.size() * 2 / 3);
    WriteText(FWork / "truncated.epub", truncated);
    ExpectRefused((FWork / "truncated.epub").string(), {"truncated.epub", "is not an EPUB"});
    ExpectRefused((FWork / "none.epub").string(), {"none.epub", "no such file"});

    TZipFiles files = sound;
    files.erase(files.begin() + 1);
    ExpectRefused(make("nocontainer.epub", files), {"nocontainer.epub", "META-INF/container.xml"});

    files = sound;
    files[2].second = opf.substr(0, opf.size() - 12);
    ExpectRefused(make("badopf.epub", files), {"OPS/book.opf", "does not parse", "on line"});

    files = sound;
    files.pop_back();
    ExpectRefused(make("nopage.epub", files), {"nopage.epub", "OPS/p.xhtml", "missing from the zip"});

    files = sound;
    files.emplace_back("OPS/../../evil.txt", "x");
    ExpectRefused(make("dotdot.epub", files), {"dotdot.epub", "OPS/../../evil.txt", "climbs out"});

    files = sound;
    files.emplace_back("/etc/evil.txt", "x");
    ExpectRefused(make("absolute.epub", files), {"absolute.epub", "/etc/evil.txt"});

    files = sound;
    Replace(files[2].second, "href=\"p.xhtml\"", "href=\"../p.xhtml\"");
    ExpectRefused(make("hrefout.epub", files), {"OPS/book.opf", "../p.xhtml", "leaves the package"});
    EXPECT_FALSE(fs::exists(FWork / "p.xhtml"));
}

} // namespace
