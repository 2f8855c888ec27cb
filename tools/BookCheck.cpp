#include "BookCheck.h"

#include "u_BookPacker.h"
#include "u_MFS.h"
#include "u_Settings.h"
#include "u_Story.h"
#include "u_Text.h"
#include "u_Variables.h"
#include "u_XMLParser.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace fs = std::filesystem;

namespace {

const char* const SystemXml = "System.xml";
const char* const StoryXml = "Story.xml";
const char* const SUnknownPictureExtension = "Unknown picture file extension (.%s)";
const char* const SInvalidToolbarImageSize = "Invalid toolbar image size";
const char* const SPageMissing = "Page \"%s\" is not in pages/";

class TChecker {
  public:
    explicit TChecker(std::vector<TBookProblem>& problems) : FProblems(problems) {}

    // Runs step; a failure becomes a problem of file and the step's result is false.
    bool Try(const std::string& file, const std::string& where, const std::function<void()>& step) {
        try {
            step();
            return true;
        } catch (const std::exception& e) {
            FProblems.push_back({file, e.what(), where});
            return false;
        }
    }

    // Reads one attribute as the viewer does, reporting a value that does not convert.
    void Value(const std::string& file, const TXMLNode* node, const char* key, TVarType type) {
        Try(file, std::string(key) + " of " + node->Name, [&] {
            if (const TXMLAttribute* attribute = node->Attributes.Find(key)) attribute->Value.AsType(type);
        });
    }

    std::vector<TBookProblem>& FProblems;
};

std::unique_ptr<TXMLParser> Parse(TChecker& checker, TMFSSession& session, const std::string& file) {
    auto parser = std::make_unique<TXMLParser>();
    if (!checker.Try(file, "", [&] { parser->ParseText(session.GetFile(file)->Data); })) return nullptr;
    return parser;
}

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

// The text after the last "." when that "." comes after the last "\", without the dot.
std::string PictureExtension(const std::string& path) {
    const std::string ext = TMFS::ExtractFileExt(TMFS::NormalizePath(path));
    return ext.empty() ? ext : ext.substr(1);
}

bool IsPictureExtension(const std::string& ext) {
    for (const char* known : {"wmf", "emf", "ico", "bmp", "jpg", "jpeg"})
        if (AnsiSameText(ext, known)) return true;
    return false;
}

void CheckForms(TChecker& checker, TMFSSession& session, const std::string& file) {
    const std::unique_ptr<TXMLParser> parser = Parse(checker, session, file);
    if (!parser) return;
    session.ChangeFolder(TMFS::ExtractFilePath(TMFS::NormalizePath(file)));
    const TXMLNodes& children = parser->Root()->Nodes;
    for (int32_t i = 0; i < children.Count(); ++i) {
        const TXMLNode* form = children[i];
        if (!AnsiSameText(form->Name, "Form")) continue;
        for (const char* key : {"Name", "Path", "Caption"})
            checker.Value(file, form, key, varString);
        for (const char* key : {"Width", "Height", "Top", "Left"})
            checker.Value(file, form, key, varInteger);
        for (const char* key :
             {"HideScrollBar", "HideBorder", "Sizable", "Minimize", "Maximize", "SystemMenu", "Center"})
            checker.Value(file, form, key, varBoolean);
    }
    session.ChangeFolder("\\");
}

void CheckStory(TChecker& checker, TMFS& system, TMFS& pages, const std::string& storyKey) {
    std::unique_ptr<TStory> story;
    if (!checker.Try(StoryXml, "", [&] { story = std::make_unique<TStory>(system, storyKey); })) return;
    const TStoryLine& line = story->Line();
    for (TXMLNode* entry = line.FirstEntry(); entry; entry = line.NextEntry(entry)) {
        checker.Value(StoryXml, entry, "pagename", varString);
        checker.Value(StoryXml, entry, "searchable", varBoolean);
        checker.Value(StoryXml, entry, "rightclick", varBoolean);
        if (!TStoryLine::IsPage(entry)) continue;
        const std::string page = TStoryLine::PageOf(entry);
        TMFSItem* item = nullptr;
        try {
            item = pages.Session()->GetItem(page);
        } catch (const std::exception&) {
        }
        if (!dynamic_cast<TMFSFile*>(item))
            checker.FProblems.push_back({StoryXml, Format(SPageMissing, page.c_str()), ""});
    }
}

uint32_t LittleEndian(const std::string& data, size_t at, size_t bytes) {
    uint32_t value = 0;
    for (size_t i = bytes; i-- > 0;)
        value = value << 8 | static_cast<uint8_t>(data[at + i]);
    return value;
}

uint32_t BigEndian16(const std::string& data, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(data[at])) << 8 | static_cast<uint8_t>(data[at + 1]);
}

// Width and height from the header of a bitmap or JPEG picture; false when the header does not
// tell (other kinds, damaged files).
bool PictureSize(const std::string& data, const std::string& ext, uint32_t& width, uint32_t& height) {
    if (AnsiSameText(ext, "bmp")) {
        if (data.size() < 26 || data.compare(0, 2, "BM") != 0) return false;
        if (LittleEndian(data, 14, 4) == 12) { // the old OS/2 header with 16-bit sizes
            width = LittleEndian(data, 18, 2);
            height = LittleEndian(data, 20, 2);
        } else {
            const auto w = static_cast<int32_t>(LittleEndian(data, 18, 4));
            const auto h = static_cast<int32_t>(LittleEndian(data, 22, 4)); // negative: top-down rows
            width = static_cast<uint32_t>(w < 0 ? -static_cast<int64_t>(w) : w);
            height = static_cast<uint32_t>(h < 0 ? -static_cast<int64_t>(h) : h);
        }
        return true;
    }
    if (AnsiSameText(ext, "jpg") || AnsiSameText(ext, "jpeg")) {
        size_t at = 2;
        while (at + 9 <= data.size() && static_cast<uint8_t>(data[at]) == 0xFF) {
            const uint8_t marker = static_cast<uint8_t>(data[at + 1]);
            const bool frame =
                marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (frame) {
                height = BigEndian16(data, at + 5);
                width = BigEndian16(data, at + 7);
                return true;
            }
            at += 2 + BigEndian16(data, at + 2);
        }
    }
    return false;
}

void CheckToolButtons(TChecker& checker, TMFSSession& session, const std::string& file,
                      const TToolbarOptions& look) {
    const std::unique_ptr<TXMLParser> parser = Parse(checker, session, file);
    if (!parser) return;
    session.ChangeFolder(TMFS::ExtractFilePath(TMFS::NormalizePath(file)));
    if (const TXMLNode* images = parser->Root()->Nodes.FindByName("Images")) {
        for (int32_t i = 0; i < images->Nodes.Count(); ++i) {
            const TXMLNode* image = images->Nodes[i];
            checker.Value(file, image, "Name", varString);
            for (const char* key : {"XMask", "YMask", "MaskColor"})
                checker.Value(file, image, key, varInteger);
            std::string path;
            if (!checker.Try(file, "Path of " + image->Name,
                             [&] { path = image->Attributes.ValueOf("Path", Variant("")).AsString(); }))
                continue;
            const std::string ext = PictureExtension(path);
            if (!IsPictureExtension(ext))
                checker.FProblems.push_back({file, Format(SUnknownPictureExtension, ext.c_str()), path});
            else
                checker.Try(file, "", [&] {
                    // The image list takes no picture smaller than the toolbar's image size.
                    uint32_t width = 0, height = 0;
                    if (PictureSize(session.GetFile(path)->Data, ext, width, height) &&
                        (width < static_cast<uint32_t>(look.ToolbarImgW) ||
                         height < static_cast<uint32_t>(look.ToolbarImgH)))
                        checker.FProblems.push_back(
                            {file, SInvalidToolbarImageSize,
                             Format("%s is %u x %u, the images %d x %d", path.c_str(), width, height,
                                    look.ToolbarImgW, look.ToolbarImgH)});
                });
        }
    }
    if (const TXMLNode* buttons = parser->Root()->Nodes.FindByName("Buttons")) {
        for (int32_t i = 0; i < buttons->Nodes.Count(); ++i) {
            const TXMLNode* button = buttons->Nodes[i];
            for (const char* key : {"Kind", "ImageIndex"})
                checker.Value(file, button, key, varInteger);
            for (const char* key : {"Caption", "Image"})
                checker.Value(file, button, key, varString);
        }
    }
    session.ChangeFolder("\\");
}

} // namespace

std::vector<TBookProblem> CheckBook(const std::string& bookDir) {
    std::vector<TBookProblem> problems;
    TChecker checker(problems);
    const fs::path book(bookDir);

    // The system archive exactly as the packer stores it.
    TMFS system;
    if (!checker.Try("system/", "",
                     [&] { system.LoadFromString(BuildArchiveImage((book / "system").string())); }))
        return problems;
    TMFS pages;
    std::error_code error;
    if (!fs::is_directory(book / "pages", error))
        problems.push_back(
            {"pages/", Format("\"%s\" is not a folder", (book / "pages").string().c_str()), ""});
    else
        checker.Try("pages/", "", [&] { AddNames(book / "pages", pages); });

    TMFSSession& session = *system.Session();
    session.ChangeFolder("\\");
    const std::unique_ptr<TXMLParser> systemXml = Parse(checker, session, SystemXml);
    if (!systemXml) {
        // The reading order is found without System.xml; everything else hangs on it.
        CheckStory(checker, system, pages, StoryXml);
        return problems;
    }
    const TXMLNode* root = systemXml->Root();
    // A named file that is not there is no failure for the viewer (it goes on without forms,
    // variables or toolbar), but it is almost certainly not what the author meant.
    const auto named = [&](const std::string& file, const char* key) {
        if (file.empty()) return false;
        if (session.Exists(file)) return true;
        problems.push_back({SystemXml, Format(SFileNotFound, file.c_str()), key});
        return false;
    };
    const auto text = [&](const char* key) {
        std::string value;
        checker.Try(SystemXml, key, [&] { value = root->Attributes.ValueOf(key, Variant("")).AsString(); });
        return value;
    };

    // In the order of the viewer's start-up.
    const std::string forms = text("Forms");
    if (named(forms, "Forms")) CheckForms(checker, session, forms);
    CheckStory(checker, system, pages, text("Story"));
    const std::string variables = text("Variables");
    if (named(variables, "Variables"))
        checker.Try(variables, "", [&] { TVariables(session.GetFile(variables)->Data, true); });
    text("ApplicationTitle");
    text("MainFormCaption");
    for (const char* key : {"Width", "Height"})
        checker.Value(SystemXml, root, key, varInteger);
    for (const char* key : {"RunMaximized", "ResizableWindow"})
        checker.Value(SystemXml, root, key, varBoolean);
    TToolbarOptions look;
    checker.Try(SystemXml, "toolbar", [&] { look.ReadFromNode(root->Nodes.FindByName("toolbar")); });
    checker.Try(SystemXml, "splash",
                [&] { TSplashOptions().ReadFromNode(root->Nodes.FindByName("splash")); });
    const std::string toolButtons = text("ToolButtons");
    if (named(toolButtons, "ToolButtons")) CheckToolButtons(checker, session, toolButtons, look);
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
