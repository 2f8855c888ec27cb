// A real documentation tree packed as a book (scripts/check-doc-tree.sh packs it and names it in
// the environment): the viewer opens every page, and every request for a file the tree holds must
// have been served (status 200 in the debug log). Requests for files the tree lacks and for
// addresses outside the book are counted and listed, not failed: they are the tree's own.
#include "frm_Main.h"

#include "ViewerTestSupport.h"
#include "frm_Splash.h"
#include "u_MXWebBrowser.h"
#include "u_Text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The tree's files as lower-case paths with "/", as the archive finds them (ignoring case).
std::set<std::string> FilesOf(const fs::path& tree) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(tree))
        if (entry.is_regular_file())
            files.insert(AsciiLowerCase(fs::relative(entry.path(), tree).generic_string()));
    return files;
}

// "mfs:\a\b%20c.htm?x#y" -> "a/b c.htm": the file a request of the book's scheme names, decoded
// as the protocol decodes it ("%20" is a blank, "%2520" a literal "%20").
std::string FileOfRequest(std::string url) {
    url.erase(0, 4);
    url = url.substr(0, url.find_first_of("?#"));
    std::string path;
    for (size_t i = 0; i < url.size();) {
        if (url.compare(i, 5, "%2520") == 0) {
            path += "%20";
            i += 5;
        } else if (url.compare(i, 3, "%20") == 0) {
            path += ' ';
            i += 3;
        } else {
            path += url[i] == '\\' ? '/' : url[i];
            ++i;
        }
    }
    while (!path.empty() && path[0] == '/')
        path.erase(0, 1);
    return AsciiLowerCase(path);
}

TEST(DocumentationTree, EveryFileThePagesAskForAndTheTreeHoldsIsServed) {
    const std::string book = Environment("TOMEVANE_DOC_BOOK");
    if (book.empty()) GTEST_SKIP() << "no documentation tree packed (see scripts/check-doc-tree.sh)";
    std::vector<std::string> pages;
    std::ifstream list(Environment("TOMEVANE_DOC_PAGES"));
    for (std::string line; std::getline(list, line);)
        if (!line.empty()) pages.push_back(line);
    ASSERT_FALSE(pages.empty());
    const std::set<std::string> files = FilesOf(Environment("TOMEVANE_DOC_TREE"));

    TRecorder recorder;
    TLogCapture log;
    {
        TfrmMain window(book);
        gtk_widget_show(GTK_WIDGET(window.Window()));
        ASSERT_FALSE(window.StartFailed()) << window.StartError();
        ASSERT_TRUE(
            PumpUntil([&] { return window.webMain && window.webMain->ReadyState() == READYSTATE_COMPLETE; }));
        int completed = 0;
        auto previous = window.webMain->OnDocumentComplete;
        window.webMain->OnDocumentComplete = [&](TMXWebBrowser* sender) {
            ++completed;
            if (previous) previous(sender);
        };
        std::vector<std::string> stuck;
        for (const std::string& page : pages) {
            std::string path = page;
            std::replace(path.begin(), path.end(), '/', '\\');
            const int before = completed;
            window.webMain->Navigate("mfs:\\" + path);
            if (!PumpUntil([&] { return completed > before; }, 20000)) stuck.push_back(page);
        }
        EXPECT_TRUE(stuck.empty()) << stuck.size() << " pages did not complete, the first " << stuck.front();
        gtk_window_close(window.Window());
        PumpUntil([&] { return !gtk_widget_get_visible(GTK_WIDGET(window.Window())); });
    }
    ReleaseAllSplashes();

    // request <URL> <status> <bytes>, or request <URL> failed 0 (<why>)
    int requests = 0, served = 0, outside = 0;
    std::vector<std::string> failed;              // files the tree holds that were not served
    std::map<std::string, std::string> notInTree; // file -> status
    std::set<std::string> outsideAddresses;       // where requests outside the book went
    for (const std::string& line : log.Lines) {
        if (line.rfind("request ", 0) != 0) continue;
        ++requests;
        const size_t end = line.find(' ', 8);
        const std::string url = line.substr(8, end - 8);
        const std::string status =
            end == std::string::npos ? "" : line.substr(end + 1, line.find(' ', end + 1) - end - 1);
        if (!AsciiStartsText(url, 0, "mfs:")) {
            ++outside;
            outsideAddresses.insert(url.substr(0, url.find('/', url.find("//") + 2)) + " (" + status + ")");
            continue;
        }
        const std::string file = FileOfRequest(url);
        if (!files.count(file))
            notInTree[file] = status;
        else if (status == "200")
            ++served;
        else
            failed.push_back(line);
    }
    std::printf("documentation tree: %zu pages, %d requests: %d files served, %zu files of the tree not "
                "served, %zu requests for files the tree lacks, %d requests outside the book\n",
                pages.size(), requests, served, failed.size(), notInTree.size(), outside);
    for (const auto& [file, status] : notInTree)
        std::printf("  not in the tree: %s (%s)\n", file.c_str(), status.c_str());
    for (const std::string& address : outsideAddresses)
        std::printf("  outside the book: %s\n", address.c_str());
    for (const std::string& line : failed)
        ADD_FAILURE() << line;
    EXPECT_TRUE(recorder.Boxes.empty()) << recorder.Boxes.front().Text;
}

} // namespace
