#include "u_Loader.h"

#include "u_MFS.h"
#include "u_MFSCab.h"
#include "u_Resources.h"

#include <system_error>

std::string LoadRCDataResource(std::string_view name, const std::string& executable) {
    try {
        return TResourceFile(executable).Load("RCDATA", name);
    } catch (const std::system_error& e) {
        const std::string text = e.code().message();
        throw EOSError(Format("System Error.  Code: %d.\r\n%s", e.code().value(), text.c_str()));
    }
}

TByteString MapRCDataResource(std::string_view name, const std::string& executable) {
    try {
        return TResourceFile(executable).Map("RCDATA", name);
    } catch (const std::system_error& e) {
        const std::string text = e.code().message();
        throw EOSError(Format("System Error.  Code: %d.\r\n%s", e.code().value(), text.c_str()));
    }
}

void LoadArchiveFromCabinet(TMFS& target, TByteString cabinet) {
    TMFS scratch;
    TMFSSession* session = scratch.Session();
    TMFSFile* cabinetFile = session->CreateFile("\\info.cab", 0, false);
    cabinetFile->Data = std::move(cabinet);
    {
        TMFSCabReader reader(session, "\\info.cab");
        reader.Extract("info.mfs", "\\info.mfs");
    }
    // The cabinet's bytes are not needed any more: freed before the tree is built. The extracted
    // image then becomes the target's: its files keep their bytes where the image holds them.
    cabinetFile->Data.clear();
    target.LoadFromImage(session->GetFile("\\info.mfs")->Data.Take());
}

void LoadSystemArchive(TMFS& archive) {
    LoadArchiveFromCabinet(archive, MapRCDataResource("SYSTEM_MFS"));
}

void LoadPageArchive(TMFS& archive) {
    LoadArchiveFromCabinet(archive, MapRCDataResource("FILES_MFS"));
}

namespace {

// The archive in the cabinet resource of that name in executable.
TBookArchiveLoader::TArchiveSource CabinetResource(const std::string& executable, const char* name) {
    return [executable, name] {
        auto archive = std::make_unique<TMFS>();
        LoadArchiveFromCabinet(*archive, MapRCDataResource(name, executable));
        return archive;
    };
}

} // namespace

TBookArchiveLoader::TBookArchiveLoader(std::string executable, std::function<void()> onArchiveDone)
    : TBookArchiveLoader(CabinetResource(executable, "SYSTEM_MFS"), CabinetResource(executable, "FILES_MFS"),
                         std::move(onArchiveDone)) {}

TBookArchiveLoader::TBookArchiveLoader(TArchiveSource system, TArchiveSource page,
                                       std::function<void()> onArchiveDone)
    : FOnArchiveDone(std::move(onArchiveDone)), FSystemResult(FSystem.get_future()),
      FPageResult(FPage.get_future()),
      FWorker([this, system = std::move(system), page = std::move(page)] { Run(system, page); }) {}

TBookArchiveLoader::~TBookArchiveLoader() {
    if (FWorker.joinable()) FWorker.join();
}

bool TBookArchiveLoader::Announce() noexcept {
    try {
        if (FOnArchiveDone) FOnArchiveDone();
        return true;
    } catch (...) {
        FAnnounceFailure = std::current_exception();
        return false;
    }
}

void TBookArchiveLoader::Run(const TArchiveSource& system, const TArchiveSource& page) {
    // Nothing may leave the thread: every failure goes to the archive it belongs to, and a
    // failed announcement to the page archive, the last thing the consumer takes.
    try {
        FSystem.set_value(system());
    } catch (...) {
        FSystem.set_exception(std::current_exception());
        FPage.set_exception(std::current_exception());
        Announce();
        return;
    }
    if (!Announce()) {
        FPage.set_exception(FAnnounceFailure);
        return;
    }
    try {
        FPage.set_value(page());
    } catch (...) {
        FPage.set_exception(std::current_exception());
    }
    Announce();
}

bool TBookArchiveLoader::PageArchiveDone() const {
    return FPageResult.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

std::unique_ptr<TMFS> TBookArchiveLoader::TakeSystemArchive() {
    return FSystemResult.get();
}

std::unique_ptr<TMFS> TBookArchiveLoader::TakePageArchive() {
    std::unique_ptr<TMFS> archive = FPageResult.get();
    // The page archive's announcement follows it: its failure is raised here too. The worker has
    // nothing else left to do.
    FWorker.join();
    if (FAnnounceFailure) std::rethrow_exception(FAnnounceFailure);
    return archive;
}
