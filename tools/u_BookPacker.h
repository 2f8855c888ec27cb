// The book packer's steps: a folder on disk as an archive image, the image as a cabinet, and the
// cabinets appended as resources to a copy of the viewer.
#pragma once

#include "u_Resources.h"
#include "u_SysUtils.h"

#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

class TMFS;

TV_DECLARE_EXCEPTION(EPackError, Exception);

// A local time as a DOS date-time, clamped to what the format can hold (1980 to 2107).
uint32_t DosDateTimeOf(std::time_t time);

// The archive image of everything below folder: names as stored on disk, date-times from the
// modification times, attribute 0x10 for folders and 0x20 for files. Refuses (EPackError) what an
// archive cannot hold faithfully: names with "\", names that differ only in letter case, special
// files, and more than a cabinet can carry.
std::string BuildArchiveImage(const std::string& folder);

// The cabinet (MSZIP) holding the image as its single file info.mfs, dated now.
std::string PackArchiveImage(const std::string& image);

// Writes output as the program part of the executable viewer followed by the resources, with the
// run bit. The file appears complete or not at all.
void WritePackedExecutable(const std::string& viewer, const std::vector<TResourceBlob>& resources,
                           const std::string& output);

// One line per entry below the root, depth first: kind, path, size, date-time, attributes.
void ListArchive(const TMFS& archive, std::ostream& out);
