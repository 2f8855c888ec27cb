// Checks a book folder (system/ and pages/) the way the viewer will read it: the description files
// go through the viewer's own readers in the order of its start-up, and every problem the reader
// would meet is reported with the reader's own message, instead of stopping at the first one.
// Besides what ends the start-up it reports pages of the reading order that pages/ lacks, toolbar
// pictures that are missing, of a kind no reader takes or (bitmaps and JPEG pictures, read from
// their headers) smaller than the toolbar's image size, values that fail to convert, cycles among
// the variables, and description files that System.xml names but the system folder lacks.
#pragma once

#include <string>
#include <vector>

struct TBookProblem {
    std::string File;    // the description file as System.xml names it, or "system/" / "pages/"
    std::string Message; // the reader's message, exactly
    std::string Where;   // the key or element involved, where the message does not say it; or empty
};

std::vector<TBookProblem> CheckBook(const std::string& bookDir);

// "FILE: MESSAGE", followed by " (WHERE)" when there is one, on one line: the line breaks that a
// few parser messages hold become blanks.
std::string FormatProblem(const TBookProblem& problem);
