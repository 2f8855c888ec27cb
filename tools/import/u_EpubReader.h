// Reads an EPUB publication (EPUB 2 and 3): the zip through libzip, the container, package,
// navigation and NCX documents through libxml2. The package document's folder becomes the root of
// pages/; the spine without its non-linear items is the reading order, the table of contents
// (the EPUB 3 navigation document, else the EPUB 2 NCX) gives its chapters and names.
#pragma once

#include "u_ImportedBook.h"

#include <functional>
#include <string>
#include <vector>

struct TEpubItem {
    std::string Id;
    std::string Path;     // below the package document's folder, "/" between names, decoded
    std::string Fragment; // after "#", empty without one
    std::string MediaType;
    std::string Properties;
};

struct TEpubSpineItem {
    std::string IdRef;
    bool Linear = true;
};

struct TEpubPackage {
    std::string Version;
    std::string Title;
    std::vector<TEpubItem> Manifest;
    std::vector<TEpubSpineItem> Spine;
    std::string NcxId;   // the spine's toc attribute
    std::string CoverId; // the EPUB 2 cover meta
    std::vector<TLeftOut> LeftOut; // manifest items the book cannot carry (remote resources)

    const TEpubItem* Find(const std::string& id) const;
    const TEpubItem* NavDocument() const;
    const TEpubItem* CoverImage() const;
};

// The package document's text; name is its path in the zip, for messages. Raises EImportError
// for a document that does not parse or lacks a spine, and for a manifest item whose path is
// absolute or leaves the package document's folder.
TEpubPackage ParsePackageDocument(const std::string& text, const std::string& name);

// The table of contents of a navigation document (the nav element marked "toc") or an NCX file;
// documentPath is the document's path below the package document's folder, against which its
// links are resolved. Entries leading outside the publication are dropped; labels are collapsed.
// A document that does not parse gives no entries.
std::vector<TImportEntry> ParseNavDocument(const std::string& text, const std::string& documentPath);
std::vector<TImportEntry> ParseNcxDocument(const std::string& text, const std::string& documentPath);

// The reading order of the spine pages (paths below the package folder, possibly with a fragment),
// grouped and named by the table of contents: every top-level entry starts a chapter at the page
// it points into, pages before the first chapter stand alone; a page takes the label of the first
// entry that points into it and keeps that entry's fragment. titleOf names a page no entry names.
std::vector<TImportEntry> BuildReadingOrder(const std::vector<std::string>& spine,
                                            const std::vector<TImportEntry>& toc,
                                            const std::function<std::string(const std::string&)>& titleOf);

// Reads the EPUB file at path. Raises EImportError naming the file for a file that is missing,
// not a zip, not an EPUB, with a broken package document, with a spine item missing from the zip
// or with an entry whose path is absolute or climbs out with "..".
TImportedBook ReadEpub(const std::string& path);

// Whether an HTML page's text declares its character set (a BOM, a meta charset or http-equiv
// within the first 1024 bytes); and the page with "<meta charset="utf-8">" put into its head.
bool DeclaresCharset(const std::string& html);
std::string WithUtf8Charset(const std::string& html);
