// The book packer's steps: a folder on disk as an archive image, the image as a cabinet, and the
// cabinets appended as resources to a copy of the viewer.
#pragma once

#include "u_FolderArchive.h"
#include "u_Resources.h"

#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

class TMFS;

// The cabinet (MSZIP) holding the image as its single file info.mfs, dated as the image's root, so
// that the same image always gives the same cabinet.
std::string PackArchiveImage(const std::string& image);

// Writes output as the program part of the executable viewer followed by the resources, with the
// run bit. The file appears complete or not at all.
void WritePackedExecutable(const std::string& viewer, const std::vector<TResourceBlob>& resources,
                           const std::string& output);

// One line per entry below the root, depth first: kind, path, size, date-time, attributes.
void ListArchive(const TMFS& archive, std::ostream& out);
