#include "monitor/table/print_lines.h"

#include <cstdio>

namespace {

void AppendField(std::string& line, std::string_view text) {
    if (text.size() < 8) {
        line.append(8 - text.size(), ' ');
    }
    line.append(text);
    line.push_back(' ');
}

std::string PrintableCell(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, kThroughputMarker.size()) == kThroughputMarker) {
            out.append(9, ' ');
            i += kThroughputMarker.size() - 1;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> BuildPrintLines(const PortTable& table) {
    std::vector<std::string> lines;
    std::string header;
    for (const int kind : table.ColumnKinds()) {
        AppendField(header, Column(kind).name);
    }
    lines.push_back(header);
    lines.emplace_back();
    for (int item = 0; item < table.ShownItemCount(); ++item) {
        std::string line;
        for (int c = 0; c < table.ColumnCount(); ++c) {
            AppendField(line, table.ShownText(item, c));
        }
        // Replaced once the fields are padded, so the number keeps its column.
        lines.push_back(PrintableCell(line));
    }
    return lines;
}

std::vector<std::string> WrapPrintLines(const std::vector<std::string>& lines, int charsPerLine) {
    const std::size_t width = static_cast<std::size_t>(charsPerLine < 1 ? 1 : charsPerLine);
    std::vector<std::string> out;
    for (const std::string& line : lines) {
        if (line.size() <= width) {
            out.push_back(line);
            continue;
        }
        for (std::size_t at = 0; at < line.size(); at += width) {
            out.push_back(line.substr(at, width));
        }
    }
    return out;
}

int PrintPageCount(std::size_t lines, int linesPerPage) {
    const std::size_t perPage = static_cast<std::size_t>(linesPerPage < 1 ? 1 : linesPerPage);
    const std::size_t pages = (lines + perPage - 1) / perPage;
    return pages < 1 ? 1 : static_cast<int>(pages);
}

std::string PrintFooter(int page, int pageCount) {
    char text[32];
    std::snprintf(text, sizeof text, "%2d / %2d", page, pageCount);
    return text;
}
