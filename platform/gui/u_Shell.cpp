#include "u_Shell.h"

#include "u_DebugLog.h"
#include "u_GObject.h"
#include "u_Text.h"

#include <gio/gio.h>

namespace {

class TDefaultAppOpener final : public IShellOpener {
  public:
    void Open(const std::string& target) override {
        const std::string text = AnsiToUtf8(target);
        // A plain path becomes a file URI; anything with a scheme goes as it is.
        gchar* scheme = g_uri_parse_scheme(text.c_str());
        std::string uri = text;
        if (!scheme) {
            const TGObjectPtr<GFile> file = TGObjectPtr<GFile>::Take(g_file_new_for_commandline_arg(text.c_str()));
            const TGlibPtr<gchar, g_free> fileUri(g_file_get_uri(file.get()));
            uri = fileUri.get();
        }
        g_free(scheme);
        GError* error = nullptr;
        if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error)) {
            LogDebug("shell open %s failed: %s", uri.c_str(), error ? error->message : "");
            g_clear_error(&error);
        } else {
            LogDebug("shell open %s", uri.c_str());
        }
    }
};

std::unique_ptr<IShellOpener>& Replacement() {
    static std::unique_ptr<IShellOpener> replacement;
    return replacement;
}

} // namespace

IShellOpener& ShellOpener() {
    static TDefaultAppOpener defaultOpener;
    if (Replacement()) return *Replacement();
    return defaultOpener;
}

std::unique_ptr<IShellOpener> SetShellOpener(std::unique_ptr<IShellOpener> opener) {
    std::swap(Replacement(), opener);
    return opener;
}
