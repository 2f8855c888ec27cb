// Makes a book folder (system/ and pages/) from what an author already has: an EPUB file or a
// folder of HTML pages. The book gets the reading order and chapters of the source's table of
// contents, its title as the window's title and caption (through the variable TITLE), a toolbar
// with the usual commands and pictures of its own (written into system/toolbar so the author can
// change them), and the source's cover picture as its logo when there is one.
//
// The book is written into a temporary folder beside the target and renamed into place at the
// end, after the book check passed: a failure leaves nothing half-written behind.
#pragma once

#include "u_ImportedBook.h"

#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct TImportOptions {
    std::string Source;  // an EPUB file or a folder of HTML pages
    std::string BookDir; // the book folder to write
    std::string Index;   // the index page of a folder, below it; empty for index.html, else index.htm
    bool Force = false;  // replace an existing BookDir
};

// The height of the logo picture an import writes: the toolbar's button height.
inline constexpr int ImportLogoHeight = 46;

// Imports and prints the summary to out. Raises EImportError (or EPackError for names the book
// archive cannot hold) naming the file concerned; BookDir is then left as it was.
void ImportBook(const TImportOptions& options, std::ostream& out);

// The files of system/ for a book: name below system/ → content. logo is the BMP picture to use
// as the book's logo, or empty for none.
std::vector<std::pair<std::string, std::string>> SystemFiles(const std::string& title,
                                                             const std::vector<TImportEntry>& order,
                                                             const std::string& logo);

// The picture (any format gdk-pixbuf reads) as a 24-bit BMP logo ImportLogoHeight pixels high,
// framed by one pixel of a colour the picture does not use: the viewer makes the bitmap's
// bottom-left colour transparent, and so only the frame. Raises EImportError for a picture that
// cannot be read.
std::string LogoBitmap(const std::string& picture, const std::string& name);
