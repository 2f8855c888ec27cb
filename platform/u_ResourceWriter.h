// Writing the resources that TResourceFile reads (layout in u_Resources.h): the section appended to
// a program, and a copy of a program with a new section. The book packer and the tests write books
// with it; the viewer only reads, and does not link it.
#pragma once

#include "u_Exception.h"
#include "u_Resources.h"

#include <cstdint>
#include <string>
#include <vector>

TV_DECLARE_EXCEPTION(EResourceWriteError, Exception);

struct TResourceBlob {
    std::string Type;
    std::string Name;
    std::string Data;
};

// What to append to a program of programSize bytes so that it carries these resources: their
// bytes, the directory and the trailer.
std::string BuildResourceSection(uint64_t programSize, const std::vector<TResourceBlob>& resources);

// Writes output as the program part of the executable viewer followed by the resources, with the
// run bit. The file appears complete or not at all. Raises EResourceWriteError when the viewer
// cannot be read or the output cannot be written.
void WritePackedExecutable(const std::string& viewer, const std::vector<TResourceBlob>& resources,
                           const std::string& output);
