// The engine's floor for the viewer's start-up: the smallest WebKitGTK program that opens one
// page from a file:// URL in a window of the same size and reports when the document is complete.
//   floor_webkit URL WIDTH HEIGHT
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: floor_webkit URL WIDTH HEIGHT\n");
        return 2;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), std::atoi(argv[2]), std::atoi(argv[3]));
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent event, gpointer) {
                         if (event == WEBKIT_LOAD_FINISHED) {
                             std::fprintf(stderr, "DocumentComplete %s\n", webkit_web_view_get_uri(v));
                             std::fflush(stderr);
                         }
                     }),
                     nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
