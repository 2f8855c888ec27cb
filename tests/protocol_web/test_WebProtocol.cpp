#include "WebTestSupport.h"

#include "u_MFSProtocol.h"
#include "u_WebURLSession.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

void AddFile(TMFS& archive, const std::string& path, const std::string& data) {
    archive.Session()->ForceFolders(TMFS::ExtractFilePath(TMFS::NormalizePath(path)));
    archive.Session()->CreateFile(path, faArchive, true)->Data = data;
}

std::string Page(const std::string& text, const std::string& head = "", const std::string& body = "") {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\">" + head + "</head><body><p id=\"t\">" + text +
           "</p>" + body + "</body></html>";
}

// A 7 x 5 picture in PNG.
std::string PngPicture() {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 7, 5);
    gdk_pixbuf_fill(pixbuf, 0x336699ff);
    gchar* buffer = nullptr;
    gsize size = 0;
    EXPECT_TRUE(gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "png", nullptr, nullptr));
    std::string result(buffer, size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return result;
}

class WebProtocol : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { View = std::make_unique<TTestWebView>(); }
    static void TearDownTestSuite() { View.reset(); }

    void SetUp() override {
        // The page names are UTF-8, the system code page of the test run.
        AddFile(
            Pages, "\\pages\\a.htm",
            Page("page a",
                 "<link rel=\"stylesheet\" href=\"style.css\"><script src=\"..\\js\\s.js\"></script>",
                 "<img id=\"img\" src=\"..\\img\\x.png\"><img id=\"sysimg\" src=\"system:\\logo.png\">"
                 "<a id=\"same\" href=\"b.htm\">1</a><a id=\"sub\" href=\"sub/c.htm\">2</a>"
                 "<a id=\"subback\" href=\"sub\\c.htm\">3</a><a id=\"up\" href=\"..\\other\\d.htm\">4</a>"
                 "<a id=\"rootback\" href=\"\\root.htm\">5</a><a id=\"rootslash\" href=\"/root.htm\">6</a>"
                 "<a id=\"blank\" href=\"with blank.htm\">7</a><a id=\"nonascii\" href=\"\xC3\xB1"
                 "and\xC3\xBA.htm\">8</a>"
                 "<a id=\"fragment\" href=\"b.htm#part\">9</a>"));
        AddFile(Pages, "\\pages\\style.css", "#t { color: rgb(1, 2, 3); }");
        AddFile(Pages, "\\js\\s.js", "window.scriptRan = 42;");
        AddFile(Pages, "\\img\\x.png", PngPicture());
        AddFile(Pages, "\\pages\\b.htm", Page("page b", "", "<p id=\"part\">part</p>"));
        AddFile(Pages, "\\pages\\sub\\c.htm", Page("page c"));
        AddFile(Pages, "\\other\\d.htm", Page("page d"));
        AddFile(Pages, "\\root.htm", Page("page root"));
        AddFile(Pages, "\\pages\\with blank.htm", Page("page blank"));
        AddFile(Pages,
                "\\pages\\\xC3\xB1"
                "and\xC3\xBA.htm",
                Page("page nonascii"));
        AddFile(System, "\\info.htm", Page("system info"));
        AddFile(System, "\\Logo.png", PngPicture());
        Mfs = std::make_unique<TMFSInternetProtocol>("mfs", &Pages);
        SystemScheme = std::make_unique<TMFSInternetProtocol>("system", &System);
    }
    void TearDown() override {
        SystemScheme.reset();
        Mfs.reset();
    }

    std::string Text() {
        return View->Evaluate("document.getElementById('t') ? document.getElementById('t').textContent : "
                              "document.body.textContent");
    }

    static std::unique_ptr<TTestWebView> View;
    TMFS Pages;
    TMFS System;
    std::unique_ptr<TMFSInternetProtocol> Mfs;
    std::unique_ptr<TMFSInternetProtocol> SystemScheme;
};
std::unique_ptr<TTestWebView> WebProtocol::View;

TEST_F(WebProtocol, LinksOfAPageResolveWithinTheArchive) {
    const struct {
        const char* Link;
        const char* Text;
        const char* Location; // the viewer's form of the page reached
    } cases[] = {
        {"same", "page b", "mfs:\\pages\\b.htm"},
        {"sub", "page c", "mfs:\\pages\\sub\\c.htm"},
        {"subback", "page c", "mfs:\\pages\\sub\\c.htm"},
        {"up", "page d", "mfs:\\other\\d.htm"},
        {"rootback", "page root", "mfs:\\root.htm"},
        {"rootslash", "page root", "mfs:\\root.htm"},
        {"blank", "page blank", "mfs:\\pages\\with%20blank.htm"},
        {"nonascii", "page nonascii",
         "mfs:\\pages\\\xC3\xB1"
         "and\xC3\xBA.htm"},
        {"fragment", "page b", "mfs:\\pages\\b.htm#part"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Link);
        ASSERT_TRUE(View->Load(UrlToEngine("mfs:\\pages\\a.htm"))) << View->LastError;
        ASSERT_EQ(Text(), "page a");
        ASSERT_TRUE(View->Navigate(std::string("document.getElementById('") + c.Link + "').click()"))
            << View->LastError;
        EXPECT_EQ(Text(), c.Text);
        EXPECT_EQ(UrlFromEngine(View->Uri()), c.Location);
    }
}

TEST_F(WebProtocol, APageReachedThroughBackslashesKeepsItsFolder) {
    // Links written with "\\" (as books made on Windows have them) must leave the page reached in
    // its folder, so that its own relative links, style sheets and pictures resolve there too.
    AddFile(Pages, "\\pages\\sub\\c.htm",
            Page("page c", "<link rel=\"stylesheet\" href=\"css\\c.css\">",
                 "<a id=\"sibling\" href=\"c2.htm\">s</a><span id=\"mark\">m</span>"));
    AddFile(Pages, "\\pages\\sub\\c2.htm", Page("page c2"));
    AddFile(Pages, "\\pages\\sub\\css\\c.css",
            "#mark { background-image: url(m.png); color: rgb(4, 5, 6); }");
    AddFile(Pages, "\\pages\\sub\\css\\m.png", PngPicture());
    ASSERT_TRUE(View->Load(UrlToEngine("mfs:\\pages\\a.htm"))) << View->LastError;
    ASSERT_TRUE(View->Navigate("document.getElementById('subback').click()")) << View->LastError;
    EXPECT_EQ(Text(), "page c");
    EXPECT_EQ(View->Uri(), "mfs:/pages/sub/c.htm");
    EXPECT_EQ(View->Evaluate("getComputedStyle(document.getElementById('mark')).color"), "rgb(4, 5, 6)");
    EXPECT_EQ(View->Evaluate("getComputedStyle(document.getElementById('mark')).backgroundImage"),
              "url(\"mfs:/pages/sub/css/m.png\")")
        << "a picture named relative to a style sheet linked with a backslash";
    ASSERT_TRUE(View->Navigate("document.getElementById('sibling').click()")) << View->LastError;
    EXPECT_EQ(Text(), "page c2");
}

TEST_F(WebProtocol, PicturesStyleSheetsAndScriptsOfAPageWork) {
    ASSERT_TRUE(View->Load("mfs:/PAGES/A.HTM")) << View->LastError;
    EXPECT_EQ(View->Evaluate("document.getElementById('img').naturalWidth + 'x' + "
                             "document.getElementById('img').naturalHeight"),
              "7x5");
    EXPECT_EQ(View->Evaluate("document.getElementById('sysimg').naturalWidth"), "7")
        << "a picture of the other scheme";
    EXPECT_EQ(View->Evaluate("getComputedStyle(document.getElementById('t')).color"), "rgb(1, 2, 3)");
    EXPECT_EQ(View->Evaluate("String(window.scriptRan)"), "42");
}

TEST_F(WebProtocol, AfterGetDataRewritesWhatTheEngineReceives) {
    Mfs->OnAfterGetData = [](TMFSInternetProtocol*, const std::string& url, TByteString& data) {
        if (url.ends_with("root.htm")) data = Page("rewritten");
    };
    ASSERT_TRUE(View->Load("mfs:/root.htm")) << View->LastError;
    EXPECT_EQ(Text(), "rewritten");
}

TEST_F(WebProtocol, MissingFilesShowTheErrorPage) {
    ASSERT_TRUE(View->Load("mfs:/pages/missing.htm")) << View->LastError;
    const std::string text = View->Evaluate("document.body.textContent");
    EXPECT_NE(text.find("An exception occured during attempt to get data"), std::string::npos) << text;
    EXPECT_NE(text.find("File \"\\pages\\missing.htm\" not found"), std::string::npos) << text;
}

TEST_F(WebProtocol, SystemSchemeServesTheSystemArchive) {
    ASSERT_TRUE(View->Load(UrlToEngine("system:\\info.htm"))) << View->LastError;
    EXPECT_EQ(Text(), "system info");
    ASSERT_TRUE(View->Load("mfs:/info.htm")) << View->LastError;
    EXPECT_NE(Text().find("File \"\\info.htm\" not found"), std::string::npos);
}

TEST_F(WebProtocol, SchemesNoLongerRegisteredAreRefused) {
    {
        TMFSInternetProtocol gone("gone", &Pages);
        ASSERT_TRUE(View->Load("gone:/root.htm")) << View->LastError;
        EXPECT_EQ(Text(), "page root");
    }
    EXPECT_FALSE(View->Load("gone:/root.htm"));
    EXPECT_NE(View->LastError, "timed out");
}

TEST_F(WebProtocol, UrlFormsConvertBetweenViewerAndEngine) {
    EXPECT_EQ(UrlToEngine("mfs:\\a\\b c.htm#x\\y"), "mfs:/a/b%20c.htm#x\\y");
    EXPECT_EQ(UrlToEngine("MFS:pages\\\xC3\xA9.htm"), "MFS:/pages/%C3%A9.htm");
    EXPECT_EQ(UrlToEngine("mfs:"), "mfs:");
    EXPECT_EQ(UrlToEngine("http://host/a\\b"), "http://host/a\\b");
    EXPECT_EQ(UrlFromEngine("mfs:/a/%C3%A9%20%2F.htm?q=/x#f/g"), "mfs:\\a\\\xC3\xA9%20%2F.htm?q=/x#f/g");
    EXPECT_EQ(UrlFromEngine("mfs:/pages/sub/\\root.htm"), "mfs:\\root.htm");
    // Of the ASCII escapes, only those WebKit adds to characters a file name may hold are decoded,
    // and only in the path.
    EXPECT_EQ(UrlFromEngine("mfs:/a%7Bb%7D%5E%60%22%3C%3E%25%23%3F%7E.htm?q=%7B"),
              "mfs:\\a{b}^`\"<>%25%23%3F%7E.htm?q=%7B");
    EXPECT_EQ(UrlFromEngine("about:blank"), "about:blank");
    EXPECT_EQ(UrlFromEngine(UrlToEngine("system:\\x\\y z.htm")), "system:\\x\\y%20z.htm");
}

TEST(ContentType, ByExtensionThenByContent) {
    EXPECT_EQ(ContentTypeFor("\\a\\b.HTM", ""), "text/html");
    EXPECT_EQ(ContentTypeFor("\\x.Css", ""), "text/css");
    EXPECT_EQ(ContentTypeFor("\\x.js", ""), "text/javascript");
    EXPECT_EQ(ContentTypeFor("\\x.jpeg", ""), "image/jpeg");
    EXPECT_EQ(ContentTypeFor("\\noextension", PngPicture()), "image/png");
    EXPECT_EQ(ContentTypeFor("\\x.unknown", std::string("\x00\x01\x02\xFF", 4)), "application/octet-stream");
}

} // namespace
