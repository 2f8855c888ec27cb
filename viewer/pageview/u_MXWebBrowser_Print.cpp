// Printing of the page view: PRINT to a printer without a dialog, PRINTPREVIEW the way GTK
// previews (a temporary PDF in the user's runtime folder, shown by gtk-print-preview-command and
// removed when that program has ended).
//
// The engine prints asynchronously; what a print needs after ExecWB has returned (the temporary
// files, whether it was a preview) travels with the print operation, never with the view, which
// may be gone before the engine is done.
#include "u_MXWebBrowser.h"

#include "u_DebugLog.h"
#include "u_Dialogs.h"
#include "u_GObject.h"
#include "u_SysUtils.h"
#include "u_Text.h"

#include <glib/gstdio.h>
#include <webkit2/webkit2.h>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// What GTK offers when the setting is missing from the settings object.
constexpr const char* DefaultPreviewCommand = "evince --unlink-tempfile --preview --print-settings %s %f";

// The name of GTK's own printer that writes a file. GTK gives it in the reader's language, and the
// engine finds printers by name.
std::string FilePrinterName() {
    return g_dgettext("gtk30", "Print to File");
}

// A new empty file in the user's runtime folder (pattern with "XXXXXX"); empty when none can be made.
std::string NewRuntimeFile(const char* pattern) {
    const gchar* folder = g_get_user_runtime_dir();
    g_mkdir_with_parents(folder, 0700);
    gchar* path = g_build_filename(folder, pattern, nullptr);
    const int fd = g_mkstemp_full(path, O_RDWR, 0600);
    std::string result;
    if (fd >= 0) {
        close(fd);
        result = path;
    }
    g_free(path);
    return result;
}

void RemoveFile(const std::string& path) {
    if (!path.empty()) g_unlink(path.c_str());
}

// A failure is shown from the main loop: the engine reports it while its own call is still running.
void ShowPrintError(const std::string& message) {
    PostIdle([message] { ShowMessageBox(TMessageKind::Error, message); }, "print error");
}

// One print or preview under way; it goes with its print operation.
struct TPrintJob {
    TPrintJob() = default;
    TPrintJob(const TPrintJob&) = delete;
    TPrintJob& operator=(const TPrintJob&) = delete;
    // A preview that never reached its program leaves no file behind.
    ~TPrintJob() { RemoveFile(Pdf); }

    bool Preview = false;
    std::string Pdf; // the preview's temporary PDF, until the preview program owns it
    std::string Error;
};

// The files a running preview program was given; removed when it has ended.
struct TPreviewFiles {
    std::string Pdf;
    std::string Settings;
};

std::string PreviewCommand() {
    gchar* command = nullptr;
    if (GtkSettings* settings = gtk_settings_get_default())
        g_object_get(settings, "gtk-print-preview-command", &command, nullptr);
    std::string result = command ? command : DefaultPreviewCommand;
    g_free(command);
    return result;
}

// Starts the preview program on pdf; false (and error set) when it cannot be started. The files are
// removed when it has ended, or at once when it cannot start.
bool LaunchPreview(const std::string& pdf, GtkPrintSettings* printSettings, std::string& error) {
    auto files = std::make_unique<TPreviewFiles>();
    files->Pdf = pdf;
    const std::string command = PreviewCommand();
    // The print settings go to the program as a key file, as GTK hands them over.
    if (command.find("%s") != std::string::npos) {
        files->Settings = NewRuntimeFile("tomevane-preview-XXXXXX.ini");
        if (!files->Settings.empty() && printSettings)
            gtk_print_settings_to_file(printSettings, files->Settings.c_str(), nullptr);
    }
    const std::string line = PreviewCommandLine(command, files->Pdf, files->Settings);
    gchar** argv = nullptr;
    GError* failure = nullptr;
    GPid pid = 0;
    const bool started =
        g_shell_parse_argv(line.c_str(), nullptr, &argv, &failure) &&
        g_spawn_async(nullptr, argv, nullptr, GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD),
                      nullptr, nullptr, &pid, &failure);
    g_strfreev(argv);
    if (!started) {
        error = failure ? failure->message : "no preview command";
        g_clear_error(&failure);
        RemoveFile(files->Pdf);
        RemoveFile(files->Settings);
        return false;
    }
    LogDebug("running the preview program: %s", line.c_str());
    g_child_watch_add(
        pid,
        [](GPid child, gint, gpointer data) {
            std::unique_ptr<TPreviewFiles> ended(static_cast<TPreviewFiles*>(data));
            RemoveFile(ended->Pdf);
            RemoveFile(ended->Settings);
            g_spawn_close_pid(child);
            LogDebug("the preview program ended: %s removed", ended->Pdf.c_str());
        },
        files.release());
    return true;
}

gboolean OnPrintFailed(WebKitPrintOperation*, GError* error, gpointer data) {
    static_cast<TPrintJob*>(data)->Error = error && error->message ? error->message : "unknown error";
    return TRUE; // shown once the operation has finished
}

void OnPrintFinished(WebKitPrintOperation* operation, gpointer data) {
    auto* job = static_cast<TPrintJob*>(data);
    if (!job->Error.empty()) {
        // "Printer not found" when no printer is set up: the reader learns why nothing came out.
        LogDebug("%s failed: %s", job->Preview ? "the preview" : "printing", job->Error.c_str());
        ShowPrintError(Format(job->Preview ? "Can not show the print preview: %s" : "Can not print: %s",
                              Utf8ToAnsi(job->Error).c_str()));
        return;
    }
    if (!job->Preview) {
        LogDebug("printed");
        return;
    }
    std::string error;
    const std::string pdf = std::move(job->Pdf);
    job->Pdf.clear();
    if (!LaunchPreview(pdf, webkit_print_operation_get_print_settings(operation), error))
        ShowPrintError(Format("Can not show the print preview: %s", Utf8ToAnsi(error).c_str()));
}

} // namespace

std::string PreviewCommandLine(const std::string& command, const std::string& pdfFile,
                               const std::string& settingsFile) {
    auto quoted = [](const std::string& text) {
        gchar* q = g_shell_quote(text.c_str());
        std::string result = q;
        g_free(q);
        return result;
    };
    std::string line;
    for (size_t i = 0; i < command.size(); ++i) {
        if (command[i] != '%' || i + 1 == command.size()) {
            line += command[i];
            continue;
        }
        switch (command[i + 1]) {
        case 'f':
            line += quoted(pdfFile);
            break;
        case 's':
            line += quoted(settingsFile);
            break;
        case '%':
            line += '%';
            break;
        default:
            line.append(command, i, 2);
            break;
        }
        ++i;
    }
    return line;
}

TPrintSettings PrintToFileSettings(const std::string& pdfFile) {
    TPrintSettings settings;
    settings[GTK_PRINT_SETTINGS_PRINTER] = FilePrinterName();
    settings[GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT] = "pdf";
    gchar* uri = g_filename_to_uri(pdfFile.c_str(), nullptr, nullptr);
    settings[GTK_PRINT_SETTINGS_OUTPUT_URI] = uri ? uri : "";
    g_free(uri);
    return settings;
}

void TMXWebBrowser::Print(bool preview) {
    // A document still loading would come out without the pictures that are still on their way.
    if (FReadyState == READYSTATE_LOADING || FReadyState == READYSTATE_INTERACTIVE) {
        FPendingPrint = preview;
        return;
    }
    StartPrint(preview);
}

void TMXWebBrowser::StartPendingPrint() {
    if (!FPendingPrint || FReadyState != READYSTATE_COMPLETE) return;
    const bool preview = *FPendingPrint;
    FPendingPrint.reset();
    StartPrint(preview);
}

void TMXWebBrowser::StartPrint(bool preview) {
    TPrintSettings wanted = FPrintSettings;
    auto job = std::make_unique<TPrintJob>();
    job->Preview = preview;
    if (preview) {
        job->Pdf = NewRuntimeFile("tomevane-preview-XXXXXX.pdf");
        if (job->Pdf.empty()) {
            ShowPrintError(
                Format("Can not show the print preview: no temporary file in %s", g_get_user_runtime_dir()));
            return;
        }
        for (auto& [key, value] : PrintToFileSettings(job->Pdf))
            wanted[key] = value;
        LogDebug("preview %s", job->Pdf.c_str());
    } else {
        const auto printer = wanted.find(GTK_PRINT_SETTINGS_PRINTER);
        LogDebug("printing on %s", printer == wanted.end() ? "the default printer" : printer->second.c_str());
    }
    const auto settings = TGObjectPtr<GtkPrintSettings>::Take(gtk_print_settings_new());
    for (const auto& [key, value] : wanted)
        gtk_print_settings_set(settings.get(), key.c_str(), value.c_str());
    const auto operation = TGObjectPtr<WebKitPrintOperation>::Take(webkit_print_operation_new(FView));
    webkit_print_operation_set_print_settings(operation.get(), settings.get());
    TPrintJob* data = job.release();
    g_object_set_data_full(G_OBJECT(operation.get()), "tomevane-print-job", data,
                           [](gpointer p) { delete static_cast<TPrintJob*>(p); });
    // The job goes with the operation (above), so the handlers may hold it as a plain pointer.
    ConnectSignal<gboolean(WebKitPrintOperation*, GError*)>(
        operation.get(), "failed",
        [data](WebKitPrintOperation* op, GError* error) { return OnPrintFailed(op, error, data); }, "print");
    ConnectSignal<void(WebKitPrintOperation*)>(
        operation.get(), "finished", [data](WebKitPrintOperation* op) { OnPrintFinished(op, data); },
        "print");
    // The engine keeps the operation while it prints.
    webkit_print_operation_print(operation.get());
}
