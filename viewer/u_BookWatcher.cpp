#include "u_BookWatcher.h"

#include "u_DebugLog.h"
#include "u_GuardedCall.h"

#include <giomm/file.h>

#include <filesystem>

namespace fs = std::filesystem;

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
    FQuietTimer.disconnect();
    FMaxTimer.disconnect();
    for (auto& [path, monitor] : FMonitors)
        monitor->cancel();
}

void TBookWatcher::Watch(const std::string& folder) {
    if (FMonitors.count(folder)) return;
    try {
        Glib::RefPtr<Gio::FileMonitor> monitor =
            Gio::File::create_for_path(folder)->monitor_directory(Gio::FILE_MONITOR_WATCH_MOVES);
        monitor->signal_changed().connect(Guarded("book folder watch", [this](const Glib::RefPtr<Gio::File>& file, const Glib::RefPtr<Gio::File>& other,
                                            Gio::FileMonitorEvent event) { Changed(file, other, event); }));
        FMonitors.emplace(folder, monitor);
    } catch (const Glib::Error& e) {
        LogDebug("cannot watch %s: %s", folder.c_str(), e.what().c_str());
        return;
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
            it->second->cancel();
            it = FMonitors.erase(it);
        } else {
            ++it;
        }
    }
}

void TBookWatcher::Changed(const Glib::RefPtr<Gio::File>& file, const Glib::RefPtr<Gio::File>& other,
                           Gio::FileMonitorEvent event) {
    switch (event) {
    case Gio::FILE_MONITOR_EVENT_CHANGED:
    case Gio::FILE_MONITOR_EVENT_CHANGES_DONE_HINT:
    case Gio::FILE_MONITOR_EVENT_CREATED:
    case Gio::FILE_MONITOR_EVENT_DELETED:
    case Gio::FILE_MONITOR_EVENT_MOVED_IN:
    case Gio::FILE_MONITOR_EVENT_MOVED_OUT:
    case Gio::FILE_MONITOR_EVENT_RENAMED:
    case Gio::FILE_MONITOR_EVENT_MOVED:
        break;
    default:
        return; // attributes, mounts
    }
    // A folder that appears is watched with everything in it; one that goes is no longer.
    for (const Glib::RefPtr<Gio::File>& item : {file, other}) {
        if (!item) continue;
        const std::string path = item->get_path();
        std::error_code error;
        if (fs::is_directory(fs::symlink_status(path, error)))
            Watch(path);
        else if (FMonitors.count(path))
            Unwatch(path);
    }
    Record(file);
    if (other) Record(other);
}

void TBookWatcher::Record(const Glib::RefPtr<Gio::File>& file) {
    const std::string path = file->get_path();
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
    FQuietTimer.disconnect();
    FQuietTimer = Glib::signal_timeout().connect(
        [this] {
            GuardedCall("book folder changes", [this] { Deliver(); });
            return false;
        },
        static_cast<unsigned>(FQuietTime.count()));
    if (!FMaxTimer.connected())
        FMaxTimer = Glib::signal_timeout().connect(
            [this] {
                GuardedCall("book folder changes", [this] { Deliver(); });
                return false;
            },
            static_cast<unsigned>(FMaxDelay.count()));
}

void TBookWatcher::Deliver() {
    FQuietTimer.disconnect();
    FMaxTimer.disconnect();
    if (FPending.Empty()) return;
    TBookChanges changes;
    std::swap(changes, FPending);
    if (FOnChanges) FOnChanges(changes);
}
