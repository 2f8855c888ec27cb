// Reads a folder of HTML pages as a book: every file of the folder goes to pages/ (read by the
// packer's own folder reading, so names the book archive cannot hold are refused with its
// messages); the index page starts the reading order, and its table of contents (the links of the
// index page to pages of the folder, in document order, with nested lists as chapters) gives the
// rest of it. The title is the index page's <title>.
#pragma once

#include "u_ImportedBook.h"

#include <functional>
#include <string>
#include <vector>

// The table of contents of an index page at indexPath (a path below the folder): its nav element,
// else an element whose class or id is "toc" or "contents", else the whole page. Links leading out
// of the folder or to files exists() does not accept are dropped, and every page is listed once.
std::vector<TImportEntry> ParseIndexContents(const std::string& html, const std::string& indexPath,
                                             const std::function<bool(const std::string&)>& exists);

// Reads the folder; index is the index page's path below it, or empty for index.html, else
// index.htm. Raises EImportError for a missing folder or index page, EPackError for names the book
// archive cannot hold.
TImportedBook ReadHtmlFolder(const std::string& folder, const std::string& index);
