// The book packer's steps: a folder on disk as an archive image, the image as a cabinet, and the
// cabinets appended as resources to a copy of the viewer (WritePackedExecutable, from
// u_ResourceWriter).
#pragma once

#include "u_FolderArchive.h"
#include "u_ResourceWriter.h"

#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

class TMFS;

// The cabinet (MSZIP) holding the image as its single file info.mfs, dated as the image's root, so
// that the same image always gives the same cabinet.
std::string PackArchiveImage(const std::string& image);

// One line per entry below the root, depth first: kind, path, size, date-time, attributes.
void ListArchive(const TMFS& archive, std::ostream& out);
