// A book folder on disk as an archive: the packer's first step, and the way the viewer opens an
// unpacked book folder and follows the author's edits in it.
#pragma once

#include "u_SysUtils.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

class TMFS;

TV_DECLARE_EXCEPTION(EPackError, Exception);

// A local time as a DOS date-time, clamped to what the format can hold (1980 to 2107).
uint32_t DosDateTimeOf(std::time_t time);

// The date-time given to what has no time of its own on disk (the archive's root, the cabinet's
// info.mfs), so that packing the same files gives the same bytes: SOURCE_DATE_EPOCH (seconds since
// 1970, taken as UTC) when it is set to a number, otherwise fallback. Never the clock.
uint32_t PackingDateTime(uint32_t fallback);

// Fills archive (emptied first) with everything below folder: names as stored on disk, date-times
// from the modification times, attribute 0x10 for folders and 0x20 for files. The root takes
// PackingDateTime of its newest entry's date-time (1980-01-01 00:00 without entries), not the
// folder's own time, which changes whenever something in it is created. Refuses (EPackError)
// what an archive cannot hold faithfully: names with "\", names that differ only in letter case,
// special files, and more than a cabinet can carry.
void BuildArchive(const std::string& folder, TMFS& archive);

// The archive image of everything below folder, built as BuildArchive builds the archive.
std::string BuildArchiveImage(const std::string& folder);

// Brings one entry of an archive built from folder in step with the disk: relative is the path
// below folder with "/" between names. A regular file is read again (its folders created as
// needed); a file that is gone leaves the archive. Returns false where one step cannot follow the
// folder faithfully (a folder appeared or went, a name the archive holds in another letter case, a
// name with "\", something neither file nor folder): the caller then builds the archive afresh,
// which reports the problem. A file that cannot be read raises EPackError.
bool UpdateArchiveEntry(const std::string& folder, const std::string& relative, TMFS& archive);

// A fresh private folder under TMPDIR (else /tmp), named PREFIX.XXXXXX, removed with everything in
// it. Raises EPackError when it cannot be made.
class TTemporaryFolder {
  public:
    explicit TTemporaryFolder(const std::string& prefix);
    TTemporaryFolder(const TTemporaryFolder&) = delete;
    TTemporaryFolder& operator=(const TTemporaryFolder&) = delete;
    ~TTemporaryFolder();
    std::filesystem::path Path() const { return FPath; }

  private:
    std::string FPath;
};
