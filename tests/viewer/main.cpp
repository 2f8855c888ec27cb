// GUI tests run in-process against the real engine under a virtual X server: GTK is set up and the WebKit URL session installed once for the whole run.
#include "frm_Splash.h"
#include "u_HostExternal.h"
#include "u_UrlMon.h"
#include "u_WebURLSession.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (what the build does to discover them) needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display: run under xvfb-run\n");
        return 1;
    }
    InstallWebKitURLSession();
    RegisterVellumetClasses();
    const int result = RUN_ALL_TESTS();
    ReleaseAllSplashes();
    InstallURLSession(nullptr);
    return result;
}
