// tomevane-viewer: the book executable. The book itself travels inside the program file as two
// appended archive resources. Besides the component server switches (nothing to register here),
// the viewer without a book reads the author's options:
//
//   tomevane-viewer --book BOOKDIR [--watch]
//
// --book opens an unpacked book folder (system/ and pages/) as the packed book would open, after
// printing the book check's problems to standard error; --watch follows the folder while the book
// is open. A packed book ignores both: its book is inside it.
#include "BookCheck.h"
#include "frm_Main.h"
#include "frm_Splash.h"
#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_HostExternal.h"
#include "u_Resources.h"
#include "u_Text.h"
#include "u_WebURLSession.h"

#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <system_error>

namespace {

// "REGSERVER", "/regserver", "-RegServer": the switch's name without its prefix.
std::string SwitchName(std::string_view arg) {
    if (!arg.empty() && (arg[0] == '/' || arg[0] == '-')) arg.remove_prefix(1);
    if (!arg.empty() && arg[0] == '-') arg.remove_prefix(1);
    return AnsiUpperCase(arg);
}

const char* const AuthorUsage = "usage: tomevane-viewer --book BOOKDIR [--watch]\n";

// Whether the running program carries a book of its own.
bool IsPackedBook() {
    try {
        const TResourceFile self(SelfExecutable);
        return self.Find("RCDATA", "SYSTEM_MFS") || self.Find("RCDATA", "FILES_MFS");
    } catch (const std::system_error&) {
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::string bookFolder;
    bool watch = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--book" || arg.rfind("--book=", 0) == 0) {
            if (arg == "--book" && i + 1 >= argc) {
                std::fprintf(stderr, "tomevane-viewer: --book needs the book folder\n%s", AuthorUsage);
                return 2;
            }
            bookFolder = arg == "--book" ? argv[++i] : std::string(arg.substr(7));
            continue;
        }
        if (arg == "--watch") {
            watch = true;
            continue;
        }
        const std::string name = SwitchName(argv[i]);
        if (name == "REGSERVER" || name == "UNREGSERVER") {
            std::printf("Tomevane Viewer: nothing to %s on this platform.\n",
                        name == "REGSERVER" ? "register" : "unregister");
            return 0;
        }
        // AUTOMATION and EMBEDDING start normally; anything else is not the viewer's to read.
    }

    if (!bookFolder.empty() || watch) {
        if (IsPackedBook()) {
            LogDebug("book folder ignored: the book is packed");
            bookFolder.clear();
            watch = false;
        } else if (bookFolder.empty()) {
            std::fprintf(stderr, "tomevane-viewer: --watch follows a book folder given with --book\n%s",
                         AuthorUsage);
            return 2;
        }
    }

    // The book's archives are decoded from the start, while the toolkit, the window and the
    // engine get ready. The locale is set above, once: the toolkit must not set it again while
    // the worker reads. A book folder is checked meanwhile, its problems printed first.
    std::unique_ptr<TBookArchiveLoader> archives;
    if (bookFolder.empty()) {
        archives = StartArchiveLoader(SelfExecutable);
    } else {
        LogDebug("book folder %s", bookFolder.c_str());
        archives = StartBookFolderLoader(bookFolder);
        for (const TBookProblem& problem : CheckBook(bookFolder))
            std::cerr << FormatProblem(problem) << '\n';
        std::cerr.flush();
    }
    gtk_disable_setlocale();
    gtk_init(&argc, &argv);
    SetApplicationTitle(SApplicationTitle);
    InstallWebKitURLSession();
    RegisterVellumetClasses();
    int exitCode = 0;
    {
        TfrmMain frmMain(SelfExecutable, std::move(archives));
        if (frmMain.StartFailed()) exitCode = 1;
        if (watch) frmMain.FollowBookFolder(bookFolder);
        // The program runs until the main window is hidden (its close path hides it).
        GtkWidget* window = GTK_WIDGET(frmMain.Window());
        ConnectSignal<void(GtkWidget*)>(window, "hide", [](GtkWidget*) { gtk_main_quit(); }, "main window hidden");
        gtk_widget_show(window);
        gtk_main();
    }
    ReleaseAllSplashes();
    return exitCode;
}
