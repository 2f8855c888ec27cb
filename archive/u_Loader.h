// Start-up loading: the book's two archives come from cabinet resources of the program's own file.
#pragma once

#include "u_ByteString.h"

#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

class TMFS;

// The program's own executable file.
inline constexpr const char* SelfExecutable = "/proc/self/exe";

// The bytes of the "RCDATA" resource of that name in the executable (by default the running
// program), or the empty string when there is none. A file that cannot be read raises EOSError.
std::string LoadRCDataResource(std::string_view name, const std::string& executable = SelfExecutable);
// The same bytes mapped from the file instead of read into memory: the start-up's way, as the
// cabinet is only read once, front to back.
TByteString MapRCDataResource(std::string_view name, const std::string& executable = SelfExecutable);

// Extracts info.mfs from the cabinet bytes and loads the target archive from it. Raises the cabinet
// reader's errors, EMFSError "File \"\info.mfs\" not found" for a cabinet without that entry, and
// the archive's own errors for a damaged image.
void LoadArchiveFromCabinet(TMFS& target, TByteString cabinet);

// The system archive from the resource SYSTEM_MFS, the page archive from FILES_MFS.
void LoadSystemArchive(TMFS& archive);
void LoadPageArchive(TMFS& archive);

// Both archives of a book read and decoded on a worker thread, the system archive first and the
// page archive after it (the cabinet library's calls stay one after the other), so that the
// start-up's other steps and the engine's start run meanwhile. Taking an archive waits for that
// archive only and raises its failure exactly as LoadSystemArchive or LoadPageArchive would: the
// same exception class with the same message. After a failed system archive the page archive is
// not decoded (the start-up ends there). Destroying the loader waits for the worker.
// onArchiveDone, when given, is called on the worker thread each time an archive is ready or has
// failed (a waiting thread that runs an event loop wakes it there). It must not wait for the
// thread that takes the archives. Should it throw, taking the page archive raises that failure,
// and after the system archive's announcement the page archive is not decoded.
class TBookArchiveLoader {
  public:
    // Makes one archive on the worker thread; a failure leaves as its exception.
    using TArchiveSource = std::function<std::unique_ptr<TMFS>()>;

    // The archives from the cabinet resources of executable.
    explicit TBookArchiveLoader(std::string executable = SelfExecutable,
                                std::function<void()> onArchiveDone = nullptr);
    // The archives from other sources (an unpacked book folder), taken in the same way.
    TBookArchiveLoader(TArchiveSource system, TArchiveSource page,
                       std::function<void()> onArchiveDone = nullptr);
    TBookArchiveLoader(const TBookArchiveLoader&) = delete;
    TBookArchiveLoader& operator=(const TBookArchiveLoader&) = delete;
    ~TBookArchiveLoader();

    // Whether the page archive is ready or has failed, so that taking it does not wait.
    bool PageArchiveDone() const;
    // Each may be taken once.
    std::unique_ptr<TMFS> TakeSystemArchive();
    std::unique_ptr<TMFS> TakePageArchive();

  private:
    void Run(const TArchiveSource& system, const TArchiveSource& page);
    // Calls FOnArchiveDone; false, with the failure kept, when it throws.
    bool Announce() noexcept;

    std::function<void()> FOnArchiveDone;
    std::promise<std::unique_ptr<TMFS>> FSystem;
    std::promise<std::unique_ptr<TMFS>> FPage;
    std::future<std::unique_ptr<TMFS>> FSystemResult;
    std::future<std::unique_ptr<TMFS>> FPageResult;
    std::exception_ptr FAnnounceFailure; // written by the worker, read after joining it
    std::thread FWorker;                 // last: it starts when everything above exists
};
