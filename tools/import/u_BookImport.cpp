#include "u_BookImport.h"

#include "BookCheck.h"
#include "u_EpubReader.h"
#include "u_FolderArchive.h"
#include "u_HtmlFolderReader.h"
#include "u_Pictures.h"
#include "u_ToolbarPictures.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The toolbar: picture name, picture file, button kind, caption. Kind 0 is a separator.
struct TButton {
    const char* Image;
    const char* File;
    int Kind;
    const char* Caption;
};
const TButton Buttons[] = {
    {"back", "back.bmp", 1, "Back"},        {"forward", "forward.bmp", 2, "Forward"},
    {nullptr, nullptr, 0, nullptr},         {"first", "first.bmp", 3, "First"},
    {"chapprior", "chapprior.bmp", 7, "Prev. ch."}, {"prior", "prior.bmp", 4, "Prior"},
    {"next", "next.bmp", 5, "Next"},        {"chapnext", "chapnext.bmp", 8, "Next ch."},
    {"last", "last.bmp", 6, "Last"},        {nullptr, nullptr, 0, nullptr},
    {"fontsize", "fontsize.bmp", 11, "Text size"}, {"search", "search.jpg", 12, "Search"},
    {"print", "print.bmp", 14, "Print"},    {"copy", "copy.bmp", 15, "Copy"},
};

// A quoted value of a description file: a double quote is written twice.
std::string Quoted(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        result += c;
        if (c == '"') result += '"';
    }
    return result + "\"";
}

// Character data of a description file: "<" and "\" are taken literally after a "\".
std::string Escaped(const std::string& text) {
    std::string result;
    for (const char c : text) {
        if (c == '<' || c == '\\') result += '\\';
        result += c;
    }
    return result;
}

// The page as the story names it: "\" between folders, the fragment as it is.
std::string StoryPath(const std::string& page) {
    const size_t hash = page.find('#');
    std::string path = "\\" + page.substr(0, hash);
    for (char& c : path)
        if (c == '/') c = '\\';
    return hash == std::string::npos ? path : path + page.substr(hash);
}

void WriteEntries(const std::vector<TImportEntry>& entries, int depth, std::ostringstream& out) {
    for (const TImportEntry& entry : entries) {
        out << std::string(2 * depth, ' ') << "<item";
        if (!entry.Page.empty()) out << " page=" << Quoted(StoryPath(entry.Page));
        if (!entry.Name.empty()) out << " pagename=" << Quoted(entry.Name);
        if (entry.Children.empty()) {
            out << "/>\n";
            continue;
        }
        out << ">\n";
        WriteEntries(entry.Children, depth + 1, out);
        out << std::string(2 * depth, ' ') << "</item>\n";
    }
}

size_t CountPages(const std::vector<TImportEntry>& entries) {
    size_t count = 0;
    for (const TImportEntry& entry : entries) count += (entry.Page.empty() ? 0 : 1) + CountPages(entry.Children);
    return count;
}

void CountFiles(const TMFSFolder& folder, size_t& files, size_t& pages) {
    folder.Children.ForEach([&](const std::string&, TMFSItem* item) {
        if (const auto* child = dynamic_cast<const TMFSFolder*>(item)) {
            CountFiles(*child, files, pages);
            return;
        }
        ++files;
        std::string name = item->Name;
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const char* ext : {".html", ".htm", ".xhtml"})
            if (name.size() > std::strlen(ext) && name.compare(name.size() - std::strlen(ext), std::string::npos, ext) == 0)
                ++pages;
    });
}

void WriteFile(const fs::path& path, const std::string& data) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) throw EImportError(Format("Cannot write \"%s\": %s", path.c_str(), std::strerror(errno)));
}

// A folder beside the target that is removed with everything in it unless it was put in place.
class TStagingFolder {
  public:
    explicit TStagingFolder(const fs::path& target) {
        fs::path parent = target.parent_path();
        if (parent.empty()) parent = ".";
        std::error_code error;
        if (!fs::is_directory(parent, error))
            throw EImportError(Format("Cannot write \"%s\": the folder \"%s\" does not exist", target.c_str(),
                                      parent.c_str()));
        std::string pattern = (parent / ("." + target.filename().string() + ".import-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw EImportError(Format("Cannot create a folder beside \"%s\": %s", target.c_str(), std::strerror(errno)));
        FPath = pattern;
    }
    TStagingFolder(const TStagingFolder&) = delete;
    TStagingFolder& operator=(const TStagingFolder&) = delete;
    ~TStagingFolder() {
        if (FPath.empty()) return;
        std::error_code error;
        fs::remove_all(FPath, error);
    }
    const fs::path& Path() const { return FPath; }

    // Puts the folder at target; an existing target is replaced only when replace is set.
    void MoveTo(const fs::path& target, bool replace) {
        std::error_code error;
        const bool exists = fs::exists(fs::symlink_status(target, error));
        if (exists && !replace)
            throw EImportError(Format("\"%s\" already exists: --force replaces it", target.c_str()));
        fs::path old;
        if (exists) {
            // The old book goes aside first, so that a failed rename can put it back.
            std::string pattern = (FPath.parent_path() / ("." + target.filename().string() + ".old-XXXXXX")).string();
            if (!mkdtemp(pattern.data()))
                throw EImportError(Format("Cannot replace \"%s\": %s", target.c_str(), std::strerror(errno)));
            old = fs::path(pattern) / "book";
            fs::rename(target, old, error);
            if (error) {
                fs::remove(pattern, error);
                throw EImportError(Format("Cannot replace \"%s\": %s", target.c_str(), error.message().c_str()));
            }
        }
        fs::rename(FPath, target, error);
        if (error) {
            std::error_code ignored;
            if (!old.empty()) fs::rename(old, target, ignored);
            throw EImportError(Format("Cannot write \"%s\": %s", target.c_str(), error.message().c_str()));
        }
        FPath.clear();
        if (!old.empty()) fs::remove_all(old.parent_path(), error);
    }

  private:
    fs::path FPath;
};

// The cover in any format gdk-pixbuf reads (EPUB covers are mostly PNG or JPEG); null when none does.
TPixbuf DecodePicture(const std::string& data) {
    const TGObjectPtr<GdkPixbufLoader> loader = TGObjectPtr<GdkPixbufLoader>::Take(gdk_pixbuf_loader_new());
    GError* error = nullptr;
    const bool written =
        gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(data.data()), data.size(), &error);
    if (error) g_clear_error(&error);
    const bool closed = gdk_pixbuf_loader_close(loader.get(), written ? &error : nullptr);
    if (error) g_clear_error(&error);
    return written && closed ? TPixbuf::Ref(gdk_pixbuf_loader_get_pixbuf(loader.get())) : TPixbuf();
}

void PutLE(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

} // namespace

std::string LogoBitmap(const std::string& picture, const std::string& name) {
    const TPixbuf source = DecodePicture(picture);
    if (!source || gdk_pixbuf_get_width(source.get()) < 1 || gdk_pixbuf_get_height(source.get()) < 1)
        throw EImportError(Format("The cover picture \"%s\" cannot be read", name.c_str()));
    const int inner = ImportLogoHeight - 2;
    const int sw = gdk_pixbuf_get_width(source.get()), sh = gdk_pixbuf_get_height(source.get());
    const int innerWidth = std::max(1, static_cast<int>(static_cast<int64_t>(sw) * inner / sh));
    // Drawn over the toolbar's grey, so that transparent parts look as they would on the bar.
    const TPixbuf scaled = TPixbuf::Take(gdk_pixbuf_composite_color_simple(
        source.get(), std::min(innerWidth, 4 * ImportLogoHeight), inner, GDK_INTERP_BILINEAR, 255, 8, 0xD4D0C8,
        0xD4D0C8));
    if (!scaled) throw EImportError(Format("The cover picture \"%s\" cannot be read", name.c_str()));
    const int w = gdk_pixbuf_get_width(scaled.get()), h = gdk_pixbuf_get_height(scaled.get());
    const int channels = gdk_pixbuf_get_n_channels(scaled.get());
    const int stride = gdk_pixbuf_get_rowstride(scaled.get());
    const guchar* pixels = gdk_pixbuf_read_pixels(scaled.get());
    std::set<uint32_t> used;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const guchar* p = pixels + y * stride + x * channels;
            used.insert((uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]);
        }
    uint32_t frame = 0xFF00FF;
    while (used.count(frame)) frame = (frame + 0x010203) & 0xFFFFFF;

    const int width = w + 2, height = h + 2;
    const int rowSize = (width * 3 + 3) & ~3;
    std::string bmp;
    bmp.reserve(54 + static_cast<size_t>(rowSize) * height);
    bmp += "BM";
    PutLE(bmp, 54 + static_cast<uint32_t>(rowSize * height), 4);
    PutLE(bmp, 0, 4);
    PutLE(bmp, 54, 4);
    PutLE(bmp, 40, 4);
    PutLE(bmp, static_cast<uint32_t>(width), 4);
    PutLE(bmp, static_cast<uint32_t>(height), 4);
    PutLE(bmp, 1, 2);
    PutLE(bmp, 24, 2);
    PutLE(bmp, 0, 4);
    PutLE(bmp, static_cast<uint32_t>(rowSize * height), 4);
    PutLE(bmp, 2835, 4);
    PutLE(bmp, 2835, 4);
    PutLE(bmp, 0, 4);
    PutLE(bmp, 0, 4);
    for (int row = height - 1; row >= 0; --row) { // bottom-up
        std::string line;
        for (int x = 0; x < width; ++x) {
            uint32_t rgb = frame;
            if (row > 0 && row < height - 1 && x > 0 && x < width - 1) {
                const guchar* p = pixels + (row - 1) * stride + (x - 1) * channels;
                rgb = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
            }
            line += static_cast<char>(rgb & 0xFF);
            line += static_cast<char>((rgb >> 8) & 0xFF);
            line += static_cast<char>((rgb >> 16) & 0xFF);
        }
        line.resize(static_cast<size_t>(rowSize), '\0');
        bmp += line;
    }
    return bmp;
}

std::vector<std::pair<std::string, std::string>> SystemFiles(const std::string& title,
                                                             const std::vector<TImportEntry>& order,
                                                             const std::string& logo) {
    std::vector<std::pair<std::string, std::string>> files;
    std::ostringstream system;
    system << "<System Story=\"Story.xml\" Variables=\"Variables.xml\" ToolButtons=\"ToolButtons.xml\"\n"
              "        ApplicationTitle=\"%{TITLE}\" MainFormCaption=\"%{TITLE}\"\n"
              "        Width=1024 Height=768 RunMaximized=False ResizableWindow=True>\n"
              "  <toolbar ToolbarPlacement=\"tpTop\" LogoDisplay="
           << (logo.empty() ? "False" : "True")
           << "\n"
              "           ToolbarTextColor=0 ToolbarBackColor=13160660\n"
              "           ToolbarBtnW=52 ToolbarBtnH="
           << ImportLogoHeight
           << " ToolbarImgW=24 ToolbarImgH=24\n"
              "           ToolbarShowCaption=True ToolbarFlat=True LogoText=\"%{TITLE}\"/>\n"
              "</System>\n";
    files.emplace_back("System.xml", system.str());

    std::ostringstream story;
    story << "<Story>\n";
    WriteEntries(order, 1, story);
    story << "</Story>\n";
    files.emplace_back("Story.xml", story.str());

    // A "%{" in the title would make the variable refer to itself (or another): it is broken up.
    std::string value = CollapseBlanks(title);
    for (size_t at = 0; (at = value.find("%{", at)) != std::string::npos; at += 2) value.insert(at + 1, " ");
    files.emplace_back("Variables.xml", "<Variables>\n  <var name=\"TITLE\">$" + Escaped(value) + "</var>\n</Variables>\n");

    std::ostringstream toolbar;
    toolbar << "<ToolButtons>\n  <Images>\n";
    for (const TButton& button : Buttons) {
        if (!button.Image) continue;
        toolbar << "    <Image Name=\"" << button.Image << "\" Path=\"toolbar\\" << button.File << "\"";
        // The JPEG picture is drawn on the bar's own grey and needs no transparent colour.
        if (std::strstr(button.File, ".jpg")) toolbar << " MaskColor=-1";
        toolbar << "/>\n";
    }
    toolbar << "  </Images>\n  <Buttons>\n";
    for (const TButton& button : Buttons) {
        if (!button.Image)
            toolbar << "    <Button Kind=0/>\n";
        else
            toolbar << "    <Button Kind=" << button.Kind << " Caption=\"" << button.Caption << "\" Image=\""
                    << button.Image << "\"/>\n";
    }
    toolbar << "  </Buttons>\n</ToolButtons>\n";
    files.emplace_back("ToolButtons.xml", toolbar.str());
    for (const TButton& button : Buttons) {
        if (!button.File) continue;
        const TEmbeddedFile* picture = FindToolbarPicture(button.File);
        if (!picture) throw EImportError(Format("The toolbar picture \"%s\" is not built in", button.File));
        files.emplace_back(std::string("toolbar/") + button.File,
                           std::string(reinterpret_cast<const char*>(picture->Data), picture->Size));
    }
    if (!logo.empty()) files.emplace_back("Logo.bmp", logo);
    return files;
}

void ImportBook(const TImportOptions& options, std::ostream& out) {
    // "book/" names the folder book, not a place inside it.
    fs::path target = fs::path(options.BookDir).lexically_normal();
    if (target.filename().empty()) target = target.parent_path();
    std::error_code error;
    if (!fs::exists(options.Source, error))
        throw EImportError(Format("\"%s\": no such file or folder", options.Source.c_str()));
    if (fs::exists(fs::symlink_status(target, error)) && !options.Force)
        throw EImportError(Format("\"%s\" already exists: --force replaces it", options.BookDir.c_str()));

    const bool folder = fs::is_directory(options.Source, error);
    if (!folder && !options.Index.empty())
        throw EImportError(Format("\"%s\" is not a folder: --index names the index page of a folder of HTML pages",
                                  options.Source.c_str()));
    TImportedBook book = folder ? ReadHtmlFolder(options.Source, options.Index) : ReadEpub(options.Source);
    if (book.Title.empty()) book.Title = fs::path(options.Source).stem().string();
    std::string logo;
    if (!book.CoverData.empty()) {
        try {
            logo = LogoBitmap(book.CoverData, book.CoverName);
        } catch (const EImportError& e) {
            book.LeftOut.push_back({book.CoverName, "the cover picture cannot be read: the book has no logo"});
        }
    }

    TStagingFolder staging(target);
    book.Pages->Root()->SaveToDisk((staging.Path() / "pages").string());
    for (const auto& [name, data] : SystemFiles(book.Title, book.ReadingOrder, logo))
        WriteFile(staging.Path() / "system" / name, data);

    // The book must open as it is; what the check finds is a fault of this import.
    const std::vector<TBookProblem> problems = CheckBook(staging.Path().string());
    if (!problems.empty()) {
        std::string list;
        for (const TBookProblem& problem : problems) list += "\n  " + FormatProblem(problem);
        throw EImportError(Format("The book made from \"%s\" does not pass the check; nothing written:%s",
                                  options.Source.c_str(), list.c_str()));
    }
    staging.MoveTo(target, options.Force);

    size_t files = 0, pages = 0;
    CountFiles(*book.Pages->Root(), files, pages);
    size_t chapters = 0;
    for (const TImportEntry& entry : book.ReadingOrder)
        if (!entry.Children.empty()) ++chapters;
    out << "Imported \"" << book.Title << "\" (" << book.SourceKind << ") from " << options.Source << " into "
        << options.BookDir << "\n"
        << "  pages: " << pages << "\n"
        << "  reading-order entries: " << CountPages(book.ReadingOrder) << "\n"
        << "  chapters: " << chapters << "\n"
        << "  files in pages/: " << files << "\n"
        << "  logo: " << (logo.empty() ? "none" : "from " + book.CoverName) << "\n";
    if (book.LeftOut.empty()) {
        out << "  left out: nothing\n";
    } else {
        out << "  left out or not in the reading order: " << book.LeftOut.size() << "\n";
        for (const TLeftOut& item : book.LeftOut) out << "    " << item.What << ": " << item.Why << "\n";
    }
}
