// Integration tests run against the real engine: GTK is initialised and the WebKit URL session
// installed once for the whole run.
#include "u_UrlMon.h"
#include "u_WebURLSession.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (what the build does to discover them) needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "no display: run under xvfb-run\n");
        return 1;
    }
    InstallWebKitURLSession();
    const int result = RUN_ALL_TESTS();
    InstallURLSession(nullptr);
    return result;
}
