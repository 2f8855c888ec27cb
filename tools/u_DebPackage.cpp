#include "u_DebPackage.h"

#include "u_BookReader.h"
#include "u_MFS.h"
#include "u_Pictures.h"
#include "u_Text.h"
#include "u_Variables.h"
#include "u_XMLParser.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int IconSizes[] = {48, 128};
const char* const DefaultMaintainer = "Book author <author@localhost>";


// What the package takes from the book: its title and its logo.
struct TBookFace {
    std::string Title; // UTF-8, variables substituted; empty when the book sets none
    TPixbuf Logo;      // the logo with its transparent colour made transparent; null when none
};

// The title and logo as the viewer shows them: ApplicationTitle with the variables substituted, and
// the logo bitmap with its bottom-left colour transparent. Read the way the packer's check reads
// the book, so a book packed with --force despite its problems still gets what can be read. The
// logo is taken even when the tool bar does not show it: it is the book's picture all the same.
TBookFace ReadBookFace(const std::string& bookDir) {
    TMFS system;
    system.LoadFromString(BuildArchiveImage((fs::path(bookDir) / "system").string()));
    std::vector<TBookProblem> ignored;
    TBookReader reader(system, &ignored);
    const std::unique_ptr<TXMLParser> systemXml = reader.ReadSystemXml();
    const TXMLNode* root = systemXml ? systemXml->Root() : nullptr;
    TBookFace face;
    if (!root) return face;
    const std::unique_ptr<TVariables> variables = reader.ReadVariables(root);
    const std::string title = reader.ReadWindowSettings(root).ApplicationTitle;
    face.Title = AnsiToUtf8(variables ? variables->Substitute(title) : title);
    TToolbarOptions options = *reader.ReadToolbarOptions(root);
    options.LogoDisplay = true;
    if (const TPixbuf logo = reader.ReadLogo(options)) face.Logo = WithTransparentColor(logo, BitmapTransparentColor(logo));
    return face;
}

// A fully transparent square RGBA canvas.
TPixbuf NewCanvas(int size) {
    TPixbuf canvas = TPixbuf::Take(gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, size, size));
    if (!canvas) throw EPackError(Format("Cannot make a %d x %d icon", size, size));
    gdk_pixbuf_fill(canvas.get(), 0);
    return canvas;
}

void FillRect(GdkPixbuf* canvas, int x0, int y0, int x1, int y1, uint32_t rgba) {
    const int stride = gdk_pixbuf_get_rowstride(canvas);
    guchar* pixels = gdk_pixbuf_get_pixels(canvas);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            guchar* p = pixels + y * stride + x * 4;
            p[0] = rgba >> 24;
            p[1] = (rgba >> 16) & 0xFF;
            p[2] = (rgba >> 8) & 0xFF;
            p[3] = rgba & 0xFF;
        }
}

// The icon of a book without a logo: a closed blue book with a label on its cover and the pages'
// edge showing.
TPixbuf DrawDefaultIcon() {
    TPixbuf icon = NewCanvas(128);
    GdkPixbuf* c = icon.get();
    FillRect(c, 26, 16, 114, 120, 0x8C8C8CFF); // the pages' outline
    FillRect(c, 28, 18, 112, 118, 0xFAFAF5FF); // the pages
    FillRect(c, 14, 8, 104, 112, 0x2E5A88FF);  // the cover
    FillRect(c, 14, 8, 26, 112, 0x1F3F60FF);   // the spine
    FillRect(c, 40, 30, 92, 52, 0xF0E6C8FF);   // the label
    FillRect(c, 46, 38, 86, 42, 0x1F3F60FF);   // a line of title on it
    return icon;
}

// picture scaled to fit a size x size square, its aspect kept, centred on a transparent canvas.
TPixbuf SquareIcon(GdkPixbuf* picture, int size) {
    const TPixbuf source = gdk_pixbuf_get_has_alpha(picture)
                               ? TPixbuf::Ref(picture)
                               : TPixbuf::Take(gdk_pixbuf_add_alpha(picture, FALSE, 0, 0, 0));
    const int width = gdk_pixbuf_get_width(source.get());
    const int height = gdk_pixbuf_get_height(source.get());
    const double scale = std::min(static_cast<double>(size) / width, static_cast<double>(size) / height);
    const int scaledWidth = std::clamp(static_cast<int>(width * scale + 0.5), 1, size);
    const int scaledHeight = std::clamp(static_cast<int>(height * scale + 0.5), 1, size);
    const int left = (size - scaledWidth) / 2;
    const int top = (size - scaledHeight) / 2;
    TPixbuf canvas = NewCanvas(size);
    gdk_pixbuf_scale(source.get(), canvas.get(), left, top, scaledWidth, scaledHeight, left, top,
                     static_cast<double>(scaledWidth) / width, static_cast<double>(scaledHeight) / height,
                     GDK_INTERP_BILINEAR);
    return canvas;
}

void SavePng(GdkPixbuf* picture, const fs::path& path) {
    GError* error = nullptr;
    if (!gdk_pixbuf_save(picture, path.c_str(), "png", &error, nullptr)) {
        const std::string reason = error ? error->message : "unknown error";
        if (error) g_error_free(error);
        throw EPackError("Cannot write the icon \"" + path.string() + "\": " + reason);
    }
}

// Runs a tool (no shell) in folder and returns what it wrote to standard output. A tool that
// cannot start or ends in failure raises EPackError with what it wrote to standard error.
std::string RunTool(const std::vector<std::string>& args, const fs::path& folder) {
    const fs::path errors = folder / ".tool-errors";
    int out[2];
    if (pipe(out) != 0) throw EPackError(std::string("Cannot run ") + args[0] + ": " + std::strerror(errno));
    const pid_t child = fork();
    if (child < 0) {
        close(out[0]);
        close(out[1]);
        throw EPackError(std::string("Cannot run ") + args[0] + ": " + std::strerror(errno));
    }
    if (child == 0) {
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err < 0 || chdir(folder.c_str()) != 0) _exit(126);
        dup2(out[1], STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        std::fprintf(stderr, "%s", std::strerror(errno));
        _exit(127);
    }
    close(out[1]);
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0)
            output.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    close(out[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return output;
    std::ifstream in(errors);
    std::string message((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        throw EPackError("Cannot run " + args[0] + " (" + message + "): the Debian tools dpkg and dpkg-dev are needed");
    throw EPackError(args[0] + " failed" + (message.empty() ? std::string() : ": " + message));
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// text on one line: line breaks and other control characters become blanks.
std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text)
        line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    return line;
}

// A string value of a desktop entry (backslash escaped as the format wants).
std::string DesktopString(const std::string& text) {
    std::string value;
    for (const char c : OneLine(text))
        value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return value;
}

// Whether version is a Debian version: an optional numeric epoch, an upstream part that starts with
// a digit, and an optional revision; letters, digits and . + ~ - only.
bool IsDebianVersion(const std::string& version) {
    std::string upstream = version;
    const size_t colon = upstream.find(':');
    if (colon != std::string::npos) {
        const std::string epoch = upstream.substr(0, colon);
        if (epoch.empty() || epoch.find_first_not_of("0123456789") != std::string::npos) return false;
        upstream = upstream.substr(colon + 1);
    }
    if (upstream.empty() || !std::isdigit(static_cast<unsigned char>(upstream[0]))) return false;
    for (const char c : upstream)
        if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr(".+~-", c)) return false;
    return upstream.back() != '-';
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw EPackError("Cannot write \"" + path.string() + "\"");
    fs::permissions(path, fs::perms(0644));
}

void MakeFolder(const fs::path& root, const fs::path& relative) {
    fs::path path = root;
    for (const fs::path& part : relative) {
        path /= part;
        fs::create_directory(path);
        fs::permissions(path, fs::perms(0755));
    }
}

// The size of the installed files in KiB, as dpkg-gencontrol counts it: each file rounded up, one
// for each folder or link.
uintmax_t InstalledSizeKiB(const fs::path& root) {
    uintmax_t size = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == "DEBIAN") {
            it.disable_recursion_pending();
            continue;
        }
        size += it->is_regular_file() && !it->is_symlink() ? (it->file_size() + 1023) / 1024 : 1;
    }
    return size;
}

std::string Maintainer() {
    const char* name = std::getenv("DEBFULLNAME");
    const char* email = std::getenv("DEBEMAIL");
    if (name && *name && email && *email) return OneLine(name) + " <" + OneLine(email) + ">";
    return DefaultMaintainer;
}

} // namespace

std::string DebPackageName(const std::string& output) {
    std::string base = fs::path(output).filename().string();
    const size_t underscore = base.find('_');
    if (underscore != std::string::npos)
        base.resize(underscore);
    else if (base.size() > 4 && base.compare(base.size() - 4, 4, ".deb") == 0)
        base.resize(base.size() - 4);
    std::string name;
    for (const char c : base) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        name += (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || std::strchr("+.-", lower)
                    ? lower
                    : '-';
    }
    if (name.size() < 2 || !std::isalnum(static_cast<unsigned char>(name[0])))
        throw EPackError("Cannot name the package after \"" + output +
                         "\": a package name is the file's name up to its first \"_\", starts with a "
                         "letter or digit and has two characters or more (e.g. mybook_1.0_amd64.deb)");
    return name;
}

void WriteDebPackage(const TDebRequest& request, const std::function<void(const std::string&)>& packTo) {
    const std::string name = DebPackageName(request.Output);
    if (!IsDebianVersion(request.Version))
        throw EPackError("\"" + request.Version +
                         "\" is not a Debian version (it starts with a digit and holds letters, digits "
                         "and . + ~ - only, e.g. 1.0 or 2.1-1)");
    const TTemporaryFolder staging("tomevane-deb");
    // dpkg-shlibdeps wants the package's files below debian/NAME beside a debian/control.
    const fs::path debian = staging.Path() / "debian";
    const fs::path root = debian / name;
    MakeFolder(staging.Path(), fs::path("debian") / name / "DEBIAN");
    for (const char* folder : {"usr/bin", "usr/share/applications"})
        MakeFolder(root, folder);
    MakeFolder(root, fs::path("usr/share/doc") / name);

    const fs::path program = root / "usr/bin" / name;
    packTo(program.string());
    fs::permissions(program, fs::perms(0755));

    const TBookFace face = ReadBookFace(request.BookDir);
    const std::string title = face.Title.empty() ? name : face.Title;

    WriteText(root / "usr/share/applications" / (name + ".desktop"),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=" + DesktopString(title) + "\n"
              "Exec=" + name + "\n"
              "Icon=" + name + "\n"
              "Terminal=false\n"
              "Categories=Education;Documentation;\n");

    const TPixbuf drawn = face.Logo ? nullptr : DrawDefaultIcon();
    for (const int size : IconSizes) {
        const fs::path folder = fs::path("usr/share/icons/hicolor") / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
        MakeFolder(root, folder);
        const fs::path icon = root / folder / (name + ".png");
        SavePng(SquareIcon(face.Logo ? face.Logo.get() : drawn.get(), size).get(), icon);
        fs::permissions(icon, fs::perms(0644));
    }

    WriteText(root / "usr/share/doc" / name / "copyright",
              "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
              "Upstream-Name: " + OneLine(title) + "\n"
              "\n"
              "Files: *\n"
              "Copyright: the author of the book \"" + OneLine(title) + "\"\n"
              "License: all-rights-reserved\n"
              " The book \"" + OneLine(title) + "\" is its author's work and its copyright is its\n"
              " author's. It may be used only as its author allows.\n");

    const std::string architecture = Trimmed(RunTool({"dpkg", "--print-architecture"}, staging.Path()));
    WriteText(debian / "control", "Source: " + name + "\n\nPackage: " + name + "\nArchitecture: any\n");
    const std::string shlibs = Trimmed(RunTool(
        {"dpkg-shlibdeps", "-O", "-e", (fs::path("debian") / name / "usr/bin" / name).string()}, staging.Path()));
    const std::string prefix = "shlibs:Depends=";
    const size_t at = shlibs.find(prefix);
    if (at == std::string::npos)
        throw EPackError("dpkg-shlibdeps found no libraries the book needs (it printed \"" + shlibs + "\")");
    std::string depends = shlibs.substr(at + prefix.size());
    depends = depends.substr(0, depends.find('\n'));

    std::ostringstream control;
    control << "Package: " << name << "\n"
            << "Version: " << request.Version << "\n"
            << "Architecture: " << architecture << "\n"
            << "Maintainer: " << Maintainer() << "\n"
            << "Installed-Size: " << InstalledSizeKiB(root) << "\n"
            << "Depends: " << depends << "\n"
            << "Section: doc\n"
            << "Priority: optional\n"
            << "Description: " << OneLine(title) << "\n"
            << " The book \"" << OneLine(title) << "\" with its own viewer. Open it from the desktop's\n"
            << " menu, or run " << name << ".\n";
    WriteText(root / "DEBIAN/control", control.str());

    // dpkg-deb writes a temporary file beside the output, renamed over it once complete.
    const fs::path output = fs::absolute(request.Output);
    std::string partial = output.string() + ".XXXXXX";
    const int fd = mkstemp(partial.data());
    if (fd < 0) throw EPackError("Cannot write \"" + request.Output + "\": " + std::strerror(errno));
    close(fd);
    try {
        RunTool({"dpkg-deb", "--build", "--root-owner-group", root.string(), partial}, staging.Path());
        fs::permissions(partial, fs::perms(0644));
        fs::rename(partial, output);
    } catch (...) {
        std::error_code error;
        fs::remove(partial, error);
        throw;
    }
}
