// A top-level window owned by one C++ object: the window is destroyed (taken off the screen, its
// children with it) when its owner is.
#pragma once

#include <gtk/gtk.h>

#include <utility>

class TWindowOwner {
public:
    TWindowOwner() noexcept = default;
    // Takes a window just made with gtk_window_new (or a dialog's constructor).
    explicit TWindowOwner(GtkWidget* window) noexcept : FWindow(window ? GTK_WIDGET(g_object_ref_sink(window)) : nullptr) {}
    TWindowOwner(TWindowOwner&& other) noexcept : FWindow(std::exchange(other.FWindow, nullptr)) {}
    TWindowOwner& operator=(TWindowOwner&& other) noexcept {
        if (this != &other) {
            Destroy();
            FWindow = std::exchange(other.FWindow, nullptr);
        }
        return *this;
    }
    TWindowOwner(const TWindowOwner&) = delete;
    TWindowOwner& operator=(const TWindowOwner&) = delete;
    ~TWindowOwner() { Destroy(); }

    GtkWidget* Widget() const noexcept { return FWindow; }
    GtkWindow* Window() const noexcept { return FWindow ? GTK_WINDOW(FWindow) : nullptr; }
    explicit operator bool() const noexcept { return FWindow != nullptr; }

    void Destroy() noexcept {
        if (GtkWidget* window = std::exchange(FWindow, nullptr)) {
            gtk_widget_destroy(window);
            g_object_unref(window);
        }
    }

private:
    GtkWidget* FWindow = nullptr;
};
