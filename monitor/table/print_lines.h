#pragma once
// The text of a printed port table: a header line of column names, an empty line and one line
// per shown item, each field right-aligned in at least eight characters and followed by a
// space; the throughput marker prints as nine spaces. Pages cut lines wider than the paper.

#include <string>
#include <vector>

#include "monitor/table/port_table.h"

inline constexpr const char* kPrintTitle = "SeltraMonitor Report";

std::vector<std::string> BuildPrintLines(const PortTable& table);

// Every line longer than `charsPerLine` cut into consecutive pieces of that many characters;
// an empty line stays one line. A width below 1 is taken as 1.
std::vector<std::string> WrapPrintLines(const std::vector<std::string>& lines, int charsPerLine);

// ceil(lines / linesPerPage), at least 1. A page height below 1 line is taken as 1.
int PrintPageCount(std::size_t lines, int linesPerPage);

// "%2d / %2d".
std::string PrintFooter(int page, int pageCount);
