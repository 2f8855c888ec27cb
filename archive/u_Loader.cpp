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

void LoadArchiveFromCabinet(TMFS& target, std::string cabinet) {
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
    LoadArchiveFromCabinet(archive, LoadRCDataResource("SYSTEM_MFS"));
}

void LoadPageArchive(TMFS& archive) {
    LoadArchiveFromCabinet(archive, LoadRCDataResource("FILES_MFS"));
}
