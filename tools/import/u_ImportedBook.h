// What an importer makes of a source (an EPUB file or a folder of HTML pages) before it is written
// as a book folder: the files of pages/, the reading order with its chapters and names, the title,
// the cover picture, and what was left out of the book and why.
#pragma once

#include "u_MFS.h"
#include "u_SysUtils.h"

#include <memory>
#include <string>
#include <vector>

// Every failure of an import: the message names the file concerned.
TV_DECLARE_EXCEPTION(EImportError, Exception);

// One entry of the reading order. Page is the path below pages/ with "/" between names, possibly
// followed by "#" and a fragment; an empty page makes the entry a bare chapter of its children.
struct TImportEntry {
    std::string Page;
    std::string Name;
    std::vector<TImportEntry> Children;
};

struct TLeftOut {
    std::string What;
    std::string Why;
};

struct TImportedBook {
    std::string Source;     // the file or folder imported, as given
    std::string SourceKind; // "EPUB 2", "EPUB 3", "HTML folder"
    std::string Title;
    // The files of pages/, in an archive so that names the book archive cannot hold (letter-case
    // clashes, "\" in a name) are refused with the packer's own messages.
    std::unique_ptr<TMFS> Pages = std::make_unique<TMFS>();
    std::vector<TImportEntry> ReadingOrder;
    std::string CoverData; // the cover picture's bytes, empty without one
    std::string CoverName; // its path in the source, for messages
    std::vector<TLeftOut> LeftOut;
};

// Adds a file to the archive at path ("/" between names), creating its folders. What the book
// archive cannot hold is left out with the packer's own message as the reason: a name holding
// "\", a name that is a folder's on another path. Of two names that differ only in letter case
// the larger file is kept (the pages of a tree link to the one with the content).
void AddPageFile(TMFS& archive, const std::string& path, std::string data, std::vector<TLeftOut>& leftOut);

// The file at path ("/" between names, a fragment ignored) in the archive, or nullptr.
TMFSFile* FindPageFile(TMFS& archive, const std::string& path);

// The path "/"-joined and normalised: "." removed, ".." taken back; false when it climbs above
// the root or is absolute.
bool NormalizeRelativePath(const std::string& path, std::string& normalized);
// "%XX" escapes of a URL path decoded (an invalid escape stays as written).
std::string PercentDecode(const std::string& text);
// Blanks (spaces, tabs, line breaks) collapsed into single spaces and trimmed at both ends.
std::string CollapseBlanks(const std::string& text);
// Whether the URL reference names a scheme ("http:", "mailto:", ...) and so leads outside the book.
bool HasUrlScheme(const std::string& reference);
