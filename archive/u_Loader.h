// Start-up loading: the book's two archives come from cabinet resources of the program's own file.
#pragma once

#include <string>
#include <string_view>

class TMFS;

// The program's own executable file.
inline constexpr const char* SelfExecutable = "/proc/self/exe";

// The bytes of the "RCDATA" resource of that name in the executable (by default the running
// program), or the empty string when there is none. A file that cannot be read raises EOSError.
std::string LoadRCDataResource(std::string_view name, const std::string& executable = SelfExecutable);

// Extracts info.mfs from the cabinet bytes and loads the target archive from it. Raises the cabinet
// reader's errors, EMFSError "File \"\info.mfs\" not found" for a cabinet without that entry, and
// the archive's own errors for a damaged image.
void LoadArchiveFromCabinet(TMFS& target, std::string cabinet);

// The system archive from the resource SYSTEM_MFS, the page archive from FILES_MFS.
void LoadSystemArchive(TMFS& archive);
void LoadPageArchive(TMFS& archive);
