#pragma once
// Print of a port's display or report: each page draws the rest of the text into a fixed
// rectangle, and the next page begins 72 lines further on.

#include <string_view>

#include "platform/ui/printer_context.h"

constexpr int kPrintLinesPerPage = 72;

enum class PrintResult { Printed, DocumentFailed, PageFailed };

// Prints `text` as the document "Print". A page that cannot be started ends the document
// there (PageFailed): it is not retried, and the pages before it stay printed.
PrintResult PrintText(platform::PrinterContext& printer, std::string_view text);

inline constexpr const char* kPrintErrorText = "Error in printing ...";
