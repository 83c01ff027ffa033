#pragma once
// The hourly, daily and custom reports: the port table written as a session file into the
// Reports folder when the statistics cycle says a report is due, with its text copy when the
// "Ascii Copy" setting is on. A report never changes the table, the current session's path or
// the polling state; its failures are shown one box at a time.

#include <string>

#include "monitor/reports/report_boxes.h"
#include "monitor/reports/report_files.h"
#include "monitor/table/port_table.h"

// The settings a report reads when it is written.
struct ReportOptions {
    bool asciiCopy = false;
    std::string reportType;  // "Ascii Report Type"
    int pollMs = 0;          // the live polling interval, for the throughput column
};

enum class ReportResult {
    Written,
    EmptyTable,      // nothing to report: no file is written
    LowDiskSpace,    // 2,000,000 bytes or less free where the reports go: nothing written
    CannotCreate,    // the report file could not be created (shown)
    WriteFailed,     // the report file could not be written completely (shown)
    TextCopyFailed,  // the report was written, its text copy was not (shown)
};

class ReportWriter {
  public:
    ReportWriter(const PortTable& table, ReportBoxes& boxes) : table_(table), boxes_(boxes) {}

    // Writes the report of `kind` now; a custom report is named after the local time.
    ReportResult Write(ReportKind kind, const ReportOptions& options);

  private:
    const PortTable& table_;
    ReportBoxes& boxes_;
};
