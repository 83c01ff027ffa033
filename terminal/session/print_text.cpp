#include "terminal/session/print_text.h"

namespace {

// The rectangle every page draws into, in device units.
constexpr LONG kLeft = 50;
constexpr LONG kTop = 50;
constexpr LONG kRight = 4900;
constexpr LONG kBottom = 9950;

}  // namespace

PrintResult PrintText(platform::PrinterContext& printer, std::string_view text) {
    if (printer.StartDoc("Print") <= 0) {
        return PrintResult::DocumentFailed;
    }
    PrintResult result = PrintResult::Printed;
    std::size_t start = 0;
    while (start < text.size()) {
        if (printer.StartPage() <= 0) {
            result = PrintResult::PageFailed;
            break;
        }
        const std::string_view rest = text.substr(start);
        printer.DrawText(rest, kLeft, kTop, kRight, kBottom);
        printer.EndPage();
        // Past the next 72 line feeds, or to the end.
        int lines = 0;
        while (start < text.size() && lines < kPrintLinesPerPage) {
            lines += text[start] == '\n';
            ++start;
        }
    }
    printer.EndDoc();
    return result;
}
