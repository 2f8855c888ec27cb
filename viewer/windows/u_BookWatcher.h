// Follows an unpacked book folder while the viewer shows it: a GIO file monitor on every folder
// below the book, changes that arrive together (an editor saving several files, a tool writing a
// whole folder) gathered into one batch once the folder has been quiet for a moment.
#pragma once

#include "u_GObject.h"

#include <gio/gio.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>

// What a change to a path of the book folder asks of the viewer.
enum class TBookChangeKind {
    Ignored,     // outside system/ and pages/, or an editor's hidden or backup file
    Page,        // below pages/: the page shown is reloaded
    Description, // below system/: the book is read again from its description files
};

// relative: below the book folder, "/" between names ("pages/intro.htm").
TBookChangeKind ClassifyBookPath(const std::string& relative);

// One batch of changes, paths relative to the book folder, each in the set of its kind.
struct TBookChanges {
    std::set<std::string> Pages;
    std::set<std::string> Descriptions;
    bool Empty() const { return Pages.empty() && Descriptions.empty(); }
    // "pages/intro.htm", or "pages/intro.htm and 4 more": the reason the debug log gives. Files
    // still there below bookFolder are named before those gone (an editor's temporary files).
    static std::string Describe(const std::set<std::string>& paths, const std::string& bookFolder);
};

class TBookWatcher {
  public:
    using TChangesEvent = std::function<void(const TBookChanges& changes)>;

    // Watches bookFolder from now on; onChanges runs from the main loop once no change has arrived
    // for quietTime, or at the latest maxDelay after the first change of a batch (a folder that
    // never goes quiet is still followed).
    TBookWatcher(std::string bookFolder, TChangesEvent onChanges,
                 std::chrono::milliseconds quietTime = std::chrono::milliseconds(100),
                 std::chrono::milliseconds maxDelay = std::chrono::milliseconds(1000));
    TBookWatcher(const TBookWatcher&) = delete;
    TBookWatcher& operator=(const TBookWatcher&) = delete;
    ~TBookWatcher();

    const std::string& BookFolder() const { return FBookFolder; }
    // The folders being watched (absolute), for tests and the debug log.
    size_t WatchedFolders() const { return FMonitors.size(); }

  private:
    void Watch(const std::string& folder);
    void Unwatch(const std::string& folder);
    void Changed(GFile* file, GFile* other, GFileMonitorEvent event);
    void Record(GFile* file);
    void Deliver();

    std::string FBookFolder;
    TChangesEvent FOnChanges;
    std::chrono::milliseconds FQuietTime;
    std::chrono::milliseconds FMaxDelay;
    // One folder's monitor and its handler, which is cut before the monitor goes (GIO may keep a
    // cancelled monitor alive a little longer).
    struct TFolderWatch {
        TGObjectPtr<GFileMonitor> Monitor;
        TSignalConnection Changes;
    };
    std::map<std::string, TFolderWatch> FMonitors; // by absolute folder path
    TBookChanges FPending;
    TScopedSource FQuietTimer;
    TScopedSource FMaxTimer;
};
