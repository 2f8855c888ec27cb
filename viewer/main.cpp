// tomevane-viewer: the book executable. The book itself travels inside the program file as two
// appended archive resources; the program reads no arguments of its own besides the component
// server switches, which have nothing to register here.
#include "frm_Main.h"
#include "frm_Splash.h"
#include "u_Dialogs.h"
#include "u_HostExternal.h"
#include "u_Text.h"
#include "u_WebURLSession.h"

#include <gtkmm/main.h>

#include <clocale>
#include <cstdio>
#include <string_view>

namespace {

// "REGSERVER", "/regserver", "-RegServer": the switch's name without its prefix.
std::string SwitchName(std::string_view arg) {
    if (!arg.empty() && (arg[0] == '/' || arg[0] == '-')) arg.remove_prefix(1);
    if (!arg.empty() && arg[0] == '-') arg.remove_prefix(1);
    return AnsiUpperCase(arg);
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    for (int i = 1; i < argc; ++i) {
        const std::string name = SwitchName(argv[i]);
        if (name == "REGSERVER" || name == "UNREGSERVER") {
            std::printf("Tomevane Viewer: nothing to %s on this platform.\n",
                        name == "REGSERVER" ? "register" : "unregister");
            return 0;
        }
        // AUTOMATION and EMBEDDING start normally; anything else is not the viewer's to read.
    }

    // The book's archives are decoded from the start, while the toolkit, the window and the
    // engine get ready. The locale is set above, once: the toolkit must not set it again while
    // the worker reads.
    auto archives = StartArchiveLoader(SelfExecutable);
    Gtk::Main kit(argc, argv, false);
    SetApplicationTitle(SApplicationTitle);
    InstallWebKitURLSession();
    RegisterVellumetClasses();
    int exitCode = 0;
    {
        TfrmMain frmMain(SelfExecutable, std::move(archives));
        if (frmMain.StartFailed()) exitCode = 1;
        Gtk::Main::run(frmMain);
    }
    ReleaseAllSplashes();
    return exitCode;
}
