#include "BookCheck.h"

#include "u_FolderArchive.h"
#include "u_MFS.h"
#include "u_Story.h"
#include "u_Variables.h"
#include "u_XMLParser.h"

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

const char* const SystemXml = "System.xml";
const char* const StoryXml = "Story.xml";
const char* const SPageMissing = "Page \"%s\" is not in pages/";
const char* const SNoPages = "The reading order names no page: the book would open on an error page";

// The names of every file below folder, as an archive without contents: enough to tell whether a
// page exists, without reading the pages themselves.
void AddNames(const fs::path& folder, TMFS& archive) {
    TMFSSession* session = archive.Session();
    for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied);
         it != fs::recursive_directory_iterator(); ++it) {
        std::string path = "\\" + it->path().lexically_relative(folder).string();
        for (char& c : path)
            if (c == '/') c = '\\';
        if (it->is_directory())
            session->ForceFolders(path);
        else
            session->CreateFile(path, faArchive, true);
    }
}

// What the viewer reads of a story entry only while the reader reads (not at start-up), and the
// pages it will ask the page archive for.
void CheckStoryEntries(TBookReader& reader, const TStory& story, TMFS& pages,
                       std::vector<TBookProblem>& problems) {
    const TStoryLine& line = story.Line();
    // Without a page the viewer opens on the bare scheme and shows the reader an error page.
    bool anyPage = false;
    for (TXMLNode* entry = line.FirstEntry(); entry; entry = line.NextEntry(entry)) {
        reader.Step(StoryXml, "pagename of " + entry->Name,
                    [&] { entry->Attributes.ValueOf("pagename", Variant("")).AsString(); });
        for (const char* key : {"searchable", "rightclick"})
            reader.Step(StoryXml, std::string(key) + " of " + entry->Name,
                        [&] { entry->Attributes.ValueOf(key, Variant(true)).AsBoolean(); });
        if (!TStoryLine::IsPage(entry)) continue;
        anyPage = true;
        const std::string page = TStoryLine::PageOf(entry);
        TMFSItem* item = nullptr;
        try {
            item = pages.Session()->GetItem(StoryPagePath(page));
        } catch (const std::exception&) {
        }
        if (!dynamic_cast<TMFSFile*>(item))
            problems.push_back({StoryXml, Format(SPageMissing, page.c_str()), ""});
    }
    if (!anyPage) problems.push_back({StoryXml, SNoPages, ""});
}

} // namespace

std::vector<TBookProblem> CheckBook(const std::string& bookDir) {
    std::vector<TBookProblem> problems;
    const fs::path book(bookDir);

    // The system archive exactly as the packer stores it.
    TMFS system;
    try {
        system.LoadFromString(BuildArchiveImage((book / "system").string()));
    } catch (const std::exception& e) {
        problems.push_back({"system/", e.what(), ""});
        return problems;
    }
    TMFS pages;
    std::error_code error;
    if (!fs::is_directory(book / "pages", error)) {
        problems.push_back(
            {"pages/", Format("\"%s\" is not a folder", (book / "pages").string().c_str()), ""});
    } else {
        try {
            AddNames(book / "pages", pages);
        } catch (const std::exception& e) {
            problems.push_back({"pages/", e.what(), ""});
        }
    }

    // The start-up's own reading, step by step in its order; what it does not read at start-up
    // (story entries, pages, names that lead nowhere) is checked between its steps.
    TBookReader reader(system, &problems);
    const std::unique_ptr<TXMLParser> systemXml = reader.ReadSystemXml();
    const TXMLNode* root = systemXml ? systemXml->Root() : nullptr;
    // A named file that is not there is no failure for the viewer (it goes on without forms,
    // variables or toolbar), but it is almost certainly not what the author meant.
    const auto named = [&](const char* key) {
        const std::string file = reader.TextKey(root, key);
        if (!file.empty() && !reader.IsFile(file))
            problems.push_back({SystemXml, Format(SFileNotFound, file.c_str()), key});
    };

    named("Forms");
    reader.ReadUserForms(root);
    // The reading order is found without System.xml; everything else hangs on it.
    if (const std::unique_ptr<TStory> story = reader.ReadStory(root))
        CheckStoryEntries(reader, *story, pages, problems);
    if (!root) return problems;
    named("Variables");
    const std::unique_ptr<TVariables> variables = reader.ReadVariables(root);
    reader.ReadWindowSettings(root);
    const std::unique_ptr<TToolbarOptions> toolbar = reader.ReadToolbarOptions(root);
    reader.ReadLogo(*toolbar);
    const std::unique_ptr<TSplashOptions> splash = reader.ReadSplashOptions(root);
    // The splash pictures the viewer would show; it leaves out a missing or damaged one silently.
    for (const bool starting : {true, false}) {
        if ((starting ? splash->SplashTypeS : splash->SplashTypeE) != vsSplash) continue;
        const char* key = starting ? "SplashTypeS" : "SplashTypeE";
        const char* name = starting ? StartSplashFile : EndSplashFile;
        if (TMFSFile* file = SplashPictureFile(system, starting))
            reader.Step(name, "", [&] { ReadPictureFile(*file); });
        else
            problems.push_back({SystemXml, Format(SFileNotFound, name), key});
    }
    named("ToolButtons");
    reader.ReadToolbar(root, *toolbar);
    return problems;
}

std::string FormatProblem(const TBookProblem& problem) {
    std::string line = problem.File + ": " + problem.Message;
    if (!problem.Where.empty()) line += " (" + problem.Where + ")";
    std::string flat;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') {
            flat += ' ';
            ++i;
        } else if (line[i] == '\r' || line[i] == '\n') {
            flat += ' ';
        } else {
            flat += line[i];
        }
    }
    return flat;
}
