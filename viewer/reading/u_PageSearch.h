// Finding the pages of the book that hold a text: the reading order is walked from its first page,
// each page's HTML is taken from the page archive as stored, its markup is stripped, and the
// searchable pages whose text holds the search text (letter case ignored, locale-aware) are
// reported in reading order.
//
// Markup stripping is a plain three-state scan over the bytes: every tag becomes one blank, text
// between tags is kept byte for byte (line breaks, entities, the text of scripts and style sheets),
// a double quote inside a tag hides ">" until the next double quote, and a tag left open at the end
// adds nothing. So "two<b>words" reads "two words" and "two <b>words" reads "two  words".
//
// The walk reads each page where the archive holds it (no copy of the book) and keeps one text
// buffer for all pages. It has a cursor of its own: the story's cursor, and with it the reader's
// place, is not moved.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class TMFS;
class TStoryLine;

// The page's text with its markup stripped.
std::string TextFromHTML(std::string_view html);
// The upper-case form (locale-aware) of TextFromHTML(html), appended to out in one pass.
void AppendUpperTextFromHTML(std::string_view html, std::string& out);

struct TFoundPage {
    std::string Title; // the entry's pagename
    std::string Path;  // the entry's page as the story gives it
};

// Walks the reading order of line over the page archive pages and calls found for every searchable
// page whose text holds text. An empty text finds nothing. A page of the story missing from the
// archive (searchable or not) stops the walk with the archive's file-not-found error, after the
// pages found before it were reported. Returns the number of pages found.
int SearchPages(const TStoryLine& line, TMFS& pages, std::string_view text,
                const std::function<void(const TFoundPage&)>& found);
