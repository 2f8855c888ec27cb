// Checks a book folder (system/ and pages/) the way the viewer will read it: the system folder is
// read by the viewer's own start-up reading (TBookReader: description files, logo, splash and
// toolbar pictures through the same picture readers), and every problem the reader would meet is
// reported with the reader's own message, instead of stopping at the first one. On top of that
// it reports what the viewer reads only later or passes over in silence: values of story entries
// that fail to convert, pages of the reading order that pages/ lacks, splash pictures that are
// asked for but missing or damaged, and description files that System.xml names but the system
// folder lacks.
#pragma once

#include "u_BookReader.h"

#include <string>
#include <vector>

std::vector<TBookProblem> CheckBook(const std::string& bookDir);

// "FILE: MESSAGE", followed by " (WHERE)" when there is one, on one line: the line breaks that a
// few parser messages hold become blanks.
std::string FormatProblem(const TBookProblem& problem);
