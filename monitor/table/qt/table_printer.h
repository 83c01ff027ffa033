#pragma once
// Prints the lines of a port table on pages: the title centred at the top, the lines in an
// 8-point sans-serif font, and the page number of the page count centred at the foot.

#include <string>
#include <vector>

class QPrinter;

// Lays the lines out for this printer's page and prints every page in the printer's range.
// False when the printer cannot be started.
bool PrintTableLines(QPrinter& printer, const std::vector<std::string>& lines);
