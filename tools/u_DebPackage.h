// The Debian package of a packed book: the book executable as /usr/bin/NAME, a desktop entry, the
// book's logo as its icon in two sizes (a drawn book when it has none) and a copyright file. The
// package's Depends are what dpkg-shlibdeps finds the executable needs, so that installing the
// package with apt brings in WebKitGTK's runtime.
#pragma once

#include "u_FolderArchive.h"

#include <functional>
#include <string>

struct TDebRequest {
    std::string BookDir;
    std::string Output;          // FILE.deb; the package's name comes from its base name
    std::string Version = "1.0"; // the package's version
};

// The package name of output: its base name up to the first "_" (or its ".deb"), in lower case,
// with every character outside a-z, 0-9, "+", "." and "-" made "-". Raises EPackError when that
// leaves no valid name (one must start with a letter or digit and have two characters or more).
std::string DebPackageName(const std::string& output);

// Makes the package: packTo writes the book executable to the path it is given (the packer's own
// packing, book check included), then the rest of the package is laid beside it in a temporary
// tree and dpkg-deb builds request.Output. Raises EPackError with the reason on failure; the
// output then is not there (an earlier file of that name is left as it was).
void WriteDebPackage(const TDebRequest& request, const std::function<void(const std::string&)>& packTo);
