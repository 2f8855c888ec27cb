// tomevane-pack: makes a book executable from a book folder, appends raw resources for tests, and
// lists what a packed executable carries, read with the viewer's own loader.
//
//   tomevane-pack BOOKDIR -o OUTPUT [--viewer PATH] [--force]
//   tomevane-pack BOOKDIR --run [--viewer PATH] [--force]
//   tomevane-pack BOOKDIR --deb -o FILE.deb [--deb-version V] [--viewer PATH] [--force]
//   tomevane-pack --check BOOKDIR
//   tomevane-pack --embed NAME=FILE [--embed NAME=FILE ...] -o OUTPUT [--viewer PATH]
//   tomevane-pack --list EXECUTABLE
//   tomevane-pack --import SOURCE -o BOOKDIR [--index PAGE] [--force]
//
// A book is checked before it is packed (see BookCheck.h); a book with problems is refused unless
// --force is given. --check only checks, one problem a line on standard output. --run packs the
// book to a temporary file, runs it, removes it when the viewer ends and exits with the viewer's
// exit code: the author's last look before shipping. --deb makes a Debian package of the packed
// book (see u_DebPackage.h). --import makes a book folder from an EPUB file or a folder of HTML
// pages (see u_BookImport.h).
//
// Exit codes: 0 success, 1 failure or problems found (messages on standard error), 2 usage error.
#include "BookCheck.h"
#include "u_BookImport.h"
#include "u_BookPacker.h"
#include "u_DebPackage.h"
#include "u_Loader.h"
#include "u_MFS.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char* const Usage =
    "usage: tomevane-pack BOOKDIR -o OUTPUT [--viewer PATH] [--force]\n"
    "       tomevane-pack BOOKDIR --run [--viewer PATH] [--force]\n"
    "       tomevane-pack BOOKDIR --deb -o FILE.deb [--deb-version V] [--viewer PATH] [--force]\n"
    "       tomevane-pack --check BOOKDIR\n"
    "       tomevane-pack --embed NAME=FILE [--embed NAME=FILE ...] -o OUTPUT [--viewer PATH]\n"
    "       tomevane-pack --list EXECUTABLE\n"
    "       tomevane-pack --import SOURCE -o BOOKDIR [--index PAGE] [--force]\n";

const char* const ResourceNames[] = {"SYSTEM_MFS", "FILES_MFS"};

struct UsageError {
    std::string Message;
};

struct Options {
    enum class Mode { Pack, Embed, List, Check, Import } Mode = Mode::Pack;
    bool Force = false;
    bool Run = false;
    bool Deb = false;
    std::string DebVersion;
    std::string BookDir;
    std::string Output;
    std::string Viewer;
    std::string Executable;
    std::string ImportSource;
    std::string Index;
    std::vector<std::pair<std::string, std::string>> Embeds; // name, file
};

Options ParseArguments(const std::vector<std::string>& args) {
    Options options;
    bool list = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        if (arg == "-o" || arg == "--output") {
            options.Output = value();
        } else if (arg == "--viewer") {
            options.Viewer = value();
        } else if (arg == "--check") {
            options.Mode = Options::Mode::Check;
        } else if (arg == "--force") {
            options.Force = true;
        } else if (arg == "--run") {
            options.Run = true;
        } else if (arg == "--deb") {
            options.Deb = true;
        } else if (arg == "--deb-version") {
            options.DebVersion = value();
        } else if (arg == "--list") {
            list = true;
            options.Executable = value();
        } else if (arg == "--import") {
            options.Mode = Options::Mode::Import;
            options.ImportSource = value();
        } else if (arg == "--index") {
            options.Index = value();
        } else if (arg == "--embed") {
            const std::string& assignment = value();
            const size_t eq = assignment.find('=');
            if (eq == std::string::npos || eq == 0 || eq + 1 == assignment.size())
                throw UsageError{"--embed takes NAME=FILE, not \"" + assignment + "\""};
            options.Embeds.emplace_back(assignment.substr(0, eq), assignment.substr(eq + 1));
        } else if (!arg.empty() && arg[0] == '-') {
            throw UsageError{"unknown option " + arg};
        } else if (options.BookDir.empty()) {
            options.BookDir = arg;
        } else {
            throw UsageError{"more than one book folder given"};
        }
    }
    if (options.Mode == Options::Mode::Import) {
        if (list || !options.Embeds.empty() || !options.BookDir.empty() || !options.Viewer.empty() ||
            options.Run || options.Deb || !options.DebVersion.empty())
            throw UsageError{"--import takes SOURCE, -o BOOKDIR, --index and --force only"};
        if (options.Output.empty()) throw UsageError{"no book folder given (-o BOOKDIR)"};
        return options;
    }
    if (!options.Index.empty()) throw UsageError{"--index goes with --import"};
    if (!options.DebVersion.empty() && !options.Deb) throw UsageError{"--deb-version goes with --deb"};
    if (options.Deb && (options.Mode != Options::Mode::Pack || list || !options.Embeds.empty() || options.Run))
        throw UsageError{"--deb takes a book folder and -o FILE.deb only"};
    if (options.Mode == Options::Mode::Check) {
        if (list || !options.Embeds.empty() || !options.Output.empty() || !options.Viewer.empty() ||
            options.Force || options.Run)
            throw UsageError{"--check takes only the book folder"};
        if (options.BookDir.empty()) throw UsageError{"no book folder given"};
        return options;
    }
    if (list) {
        if (!options.Embeds.empty() || !options.BookDir.empty() || !options.Output.empty() ||
            !options.Viewer.empty() || options.Run)
            throw UsageError{"--list takes only the executable"};
        options.Mode = Options::Mode::List;
        return options;
    }
    if (!options.Embeds.empty()) {
        if (!options.BookDir.empty()) throw UsageError{"give either a book folder or --embed, not both"};
        if (options.Run) throw UsageError{"--run takes a book folder, not --embed"};
        options.Mode = Options::Mode::Embed;
    } else if (options.BookDir.empty()) {
        throw UsageError{"no book folder given"};
    }
    if (options.Run) {
        if (!options.Output.empty()) throw UsageError{"--run packs to a temporary file: give no -o"};
        return options;
    }
    if (options.Output.empty()) throw UsageError{"no output given (-o OUTPUT)"};
    return options;
}

// The viewer beside the packer, or in the build tree's viewer folder.
std::string DefaultViewer() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "tomevane-viewer";
    const std::filesystem::path beside = self.parent_path() / "tomevane-viewer";
    const std::filesystem::path built = self.parent_path().parent_path() / "viewer" / "tomevane-viewer";
    if (!std::filesystem::exists(beside, error) && std::filesystem::exists(built, error))
        return built.string();
    return beside.string();
}

std::string ReadInput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EPackError("Cannot read \"" + path + "\"");
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw EPackError("Cannot read \"" + path + "\"");
    return data;
}

// Prints the book's problems to out; true when there were none.
bool CheckBookTo(const std::string& bookDir, std::ostream& out) {
    const std::vector<TBookProblem> problems = CheckBook(bookDir);
    for (const TBookProblem& problem : problems)
        out << FormatProblem(problem) << '\n';
    return problems.empty();
}

int RunCheck(const Options& options) {
    const bool clean = CheckBookTo(options.BookDir, std::cout);
    std::cout.flush();
    return clean && std::cout ? 0 : 1;
}

void PackBook(const Options& options, const std::string& output) {
    if (!CheckBookTo(options.BookDir, std::cerr) && !options.Force)
        throw EPackError("the book has problems (listed above); not packed. --force packs it anyway");
    const std::filesystem::path book(options.BookDir);
    std::vector<TResourceBlob> resources;
    resources.push_back(
        {"RCDATA", "SYSTEM_MFS", PackArchiveImage(BuildArchiveImage((book / "system").string()))});
    resources.push_back(
        {"RCDATA", "FILES_MFS", PackArchiveImage(BuildArchiveImage((book / "pages").string()))});
    WritePackedExecutable(options.Viewer.empty() ? DefaultViewer() : options.Viewer, resources, output);
}

int RunPack(const Options& options) {
    if (options.Deb) {
        TDebRequest request{options.BookDir, options.Output};
        if (!options.DebVersion.empty()) request.Version = options.DebVersion;
        WriteDebPackage(request, [&](const std::string& program) { PackBook(options, program); });
        return 0;
    }
    if (!options.Run) {
        PackBook(options, options.Output);
        return 0;
    }
    const TTemporaryFolder folder("tomevane-run");
    // The book runs under its folder's name, as it would once shipped.
    std::string name = std::filesystem::absolute(options.BookDir).lexically_normal().filename().string();
    if (name.empty() || name == "." || name == "..") name = "book";
    const std::string program = (folder.Path() / name).string();
    PackBook(options, program);
    // Ctrl-C reaches the viewer too (one process group): the packer waits for it to end and then
    // removes the book, instead of leaving it behind.
    struct sigaction ignore {}, oldInt {}, oldTerm {}, oldHup {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGINT, &ignore, &oldInt);
    sigaction(SIGTERM, &ignore, &oldTerm);
    sigaction(SIGHUP, &ignore, &oldHup);
    const pid_t child = fork();
    if (child < 0) throw EPackError(std::string("Cannot run the book: ") + std::strerror(errno));
    if (child == 0) {
        sigaction(SIGINT, &oldInt, nullptr);
        sigaction(SIGTERM, &oldTerm, nullptr);
        sigaction(SIGHUP, &oldHup, nullptr);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        std::fprintf(stderr, "tomevane-pack: Cannot run \"%s\": %s\n", program.c_str(), std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) throw EPackError(std::string("Cannot wait for the book: ") + std::strerror(errno));
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

int RunEmbed(const Options& options) {
    std::vector<TResourceBlob> resources;
    for (const auto& [name, file] : options.Embeds) {
        for (const TResourceBlob& earlier : resources)
            if (earlier.Name == name) throw EPackError("The resource " + name + " is given twice");
        resources.push_back({"RCDATA", name, ReadInput(file)});
    }
    WritePackedExecutable(options.Viewer.empty() ? DefaultViewer() : options.Viewer, resources,
                          options.Output);
    return 0;
}

int RunList(const Options& options) {
    // Both archives load before anything is printed, so a failure prints only its message.
    std::vector<std::unique_ptr<TMFS>> archives;
    for (const char* name : ResourceNames) {
        archives.push_back(std::make_unique<TMFS>());
        LoadArchiveFromCabinet(*archives.back(), LoadRCDataResource(name, options.Executable));
    }
    for (size_t i = 0; i < archives.size(); ++i) {
        std::cout << '[' << ResourceNames[i] << "]\n";
        ListArchive(*archives[i], std::cout);
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "tomevane-pack: " << e.Message << '\n' << Usage;
        return 2;
    }
    try {
        switch (options.Mode) {
        case Options::Mode::Pack:
            return RunPack(options);
        case Options::Mode::Embed:
            return RunEmbed(options);
        case Options::Mode::List:
            return RunList(options);
        case Options::Mode::Check:
            return RunCheck(options);
        case Options::Mode::Import:
            ImportBook({options.ImportSource, options.Output, options.Index, options.Force}, std::cout);
            return 0;
        }
    } catch (const std::exception& e) {
        // The loader's messages are printed exactly as the viewer would show them.
        std::cerr << (options.Mode == Options::Mode::List ? "" : "tomevane-pack: ") << e.what() << '\n';
        return 1;
    }
    return 1;
}
