#include "u_BookWatcher.h"

#include "u_DebugLog.h"
#include "u_GuardedCall.h"


#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The local path of file; empty for none (or a file without one).
std::string PathOf(GFile* file) {
    if (!file) return {};
    const TGlibPtr<char, g_free> path(g_file_get_path(file));
    return path ? path.get() : std::string();
}

} // namespace

TBookChangeKind ClassifyBookPath(const std::string& relative) {
    const size_t slash = relative.find('/');
    if (slash == std::string::npos || slash + 1 == relative.size()) {
        // The folders themselves: system/ or pages/ made anew, removed or renamed.
        if (relative == "system") return TBookChangeKind::Description;
        if (relative == "pages") return TBookChangeKind::Page;
        return TBookChangeKind::Ignored;
    }
    // Editors' swap, lock and backup files ("._x", ".x.swp", ".#x", "x~") change while the author
    // types; they are not part of what the author saved.
    const size_t last = relative.rfind('/');
    const std::string name = relative.substr(last + 1);
    if (name.empty() || name[0] == '.' || name.back() == '~' || name == "4913") return TBookChangeKind::Ignored;
    const std::string top = relative.substr(0, slash);
    if (top == "system") return TBookChangeKind::Description;
    if (top == "pages") return TBookChangeKind::Page;
    return TBookChangeKind::Ignored;
}

std::string TBookChanges::Describe(const std::set<std::string>& paths, const std::string& bookFolder) {
    if (paths.empty()) return {};
    std::string text = *paths.begin();
    for (const std::string& path : paths) {
        std::error_code error;
        if (fs::exists(fs::path(bookFolder) / path, error)) {
            text = path;
            break;
        }
    }
    if (paths.size() > 1) text += " and " + std::to_string(paths.size() - 1) + " more";
    return text;
}

TBookWatcher::TBookWatcher(std::string bookFolder, TChangesEvent onChanges, std::chrono::milliseconds quietTime,
                           std::chrono::milliseconds maxDelay)
    : FBookFolder(fs::absolute(bookFolder).lexically_normal().string()), FOnChanges(std::move(onChanges)),
      FQuietTime(quietTime), FMaxDelay(maxDelay) {
    while (FBookFolder.size() > 1 && FBookFolder.back() == '/')
        FBookFolder.pop_back();
    Watch(FBookFolder);
}

TBookWatcher::~TBookWatcher() {
    FQuietTimer.Cancel();
    FMaxTimer.Cancel();
    for (auto& [path, watch] : FMonitors) {
        watch.Changes.Disconnect();
        g_file_monitor_cancel(watch.Monitor.get());
    }
}

void TBookWatcher::Watch(const std::string& folder) {
    if (FMonitors.count(folder)) return;
    {
        const TGObjectPtr<GFile> directory = TGObjectPtr<GFile>::Take(g_file_new_for_path(folder.c_str()));
        GError* failure = nullptr;
        TGObjectPtr<GFileMonitor> monitor = TGObjectPtr<GFileMonitor>::Take(
            g_file_monitor_directory(directory.get(), G_FILE_MONITOR_WATCH_MOVES, nullptr, &failure));
        const TGlibPtr<GError, g_error_free> error(failure);
        if (!monitor) {
            LogDebug("cannot watch %s: %s", folder.c_str(), error ? error->message : "no monitor");
            return;
        }
        TSignalConnection changes = TSignalConnection::Connect<void(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent)>(
            monitor.get(), "changed",
            [this](GFileMonitor*, GFile* file, GFile* other, GFileMonitorEvent event) { Changed(file, other, event); },
            "book folder watch");
        FMonitors.emplace(folder, TFolderWatch{std::move(monitor), std::move(changes)});
    }
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kindError;
        if (it->is_directory(kindError) && !it->is_symlink(kindError)) Watch(it->path().string());
    }
}

void TBookWatcher::Unwatch(const std::string& folder) {
    const std::string prefix = folder + "/";
    for (auto it = FMonitors.begin(); it != FMonitors.end();) {
        if (it->first == folder || it->first.compare(0, prefix.size(), prefix) == 0) {
            it->second.Changes.Disconnect();
            g_file_monitor_cancel(it->second.Monitor.get());
            it = FMonitors.erase(it);
        } else {
            ++it;
        }
    }
}

void TBookWatcher::Changed(GFile* file, GFile* other, GFileMonitorEvent event) {
    switch (event) {
    case G_FILE_MONITOR_EVENT_CHANGED:
    case G_FILE_MONITOR_EVENT_CHANGES_DONE_HINT:
    case G_FILE_MONITOR_EVENT_CREATED:
    case G_FILE_MONITOR_EVENT_DELETED:
    case G_FILE_MONITOR_EVENT_MOVED_IN:
    case G_FILE_MONITOR_EVENT_MOVED_OUT:
    case G_FILE_MONITOR_EVENT_RENAMED:
    case G_FILE_MONITOR_EVENT_MOVED:
        break;
    default:
        return; // attributes, mounts
    }
    // A folder that appears is watched with everything in it; one that goes is no longer.
    for (GFile* item : {file, other}) {
        const std::string path = PathOf(item);
        if (path.empty()) continue;
        std::error_code error;
        if (fs::is_directory(fs::symlink_status(path, error)))
            Watch(path);
        else if (FMonitors.count(path))
            Unwatch(path);
    }
    Record(file);
    if (other) Record(other);
}

void TBookWatcher::Record(GFile* file) {
    const std::string path = PathOf(file);
    if (path.size() <= FBookFolder.size() + 1 || path.compare(0, FBookFolder.size(), FBookFolder) != 0 ||
        path[FBookFolder.size()] != '/')
        return;
    const std::string relative = path.substr(FBookFolder.size() + 1);
    switch (ClassifyBookPath(relative)) {
    case TBookChangeKind::Page:
        FPending.Pages.insert(relative);
        break;
    case TBookChangeKind::Description:
        FPending.Descriptions.insert(relative);
        break;
    case TBookChangeKind::Ignored:
        return;
    }
    // Every change starts the quiet period again; the first of a batch also sets the latest time.
    FQuietTimer = TScopedSource::Timeout(
        static_cast<unsigned>(FQuietTime.count()),
        [this] {
            Deliver();
            return false;
        },
        "book folder changes");
    if (!FMaxTimer.Active())
        FMaxTimer = TScopedSource::Timeout(
            static_cast<unsigned>(FMaxDelay.count()),
            [this] {
                Deliver();
                return false;
            },
            "book folder changes");
}

void TBookWatcher::Deliver() {
    FQuietTimer.Cancel();
    FMaxTimer.Cancel();
    if (FPending.Empty()) return;
    TBookChanges changes;
    std::swap(changes, FPending);
    if (FOnChanges) FOnChanges(changes);
}
