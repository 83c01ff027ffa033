#include "monitor/reports/report_writer.h"

#include <sys/stat.h>

#include "monitor/reports/report_messages.h"
#include "monitor/reports/text_copy.h"
#include "monitor/sessions/session_file.h"
#include "monitor/sessions/session_messages.h"
#include "monitor/stats/free_disk_space.h"
#include "platform/time/clock.h"

ReportResult ReportWriter::Write(ReportKind kind, const ReportOptions& options) {
    if (table_.RowCount() == 0) {
        return ReportResult::EmptyTable;
    }
    // The statistics cycle checked before it made the report due; the disk may have filled
    // since, and a report that cannot be completed must not replace the last good one.
    if (ReportsFreeBytes() <= kReportMinimumFreeBytes) {
        return ReportResult::LowDiskSpace;
    }
    // An existing folder is fine; a folder that cannot be made shows as the file's failure.
    ::mkdir(ReportsFolder().c_str(), 0777);
    SYSTEMTIME now;
    platform::GetLocalTime(now);
    const std::string path = ReportPath(kind, now);
    switch (WriteFileBytes(path, EncodeSession(table_))) {
        case FileWriteResult::Ok:
            break;
        case FileWriteResult::CannotCreate:
            boxes_.Show(kCannotCreateSessionText, kSessionWarningCaption, MB_OK | MB_ICONSTOP);
            return ReportResult::CannotCreate;
        case FileWriteResult::WriteFailed:
            boxes_.Show(kCannotWriteSessionText, kSessionWarningCaption, MB_OK | MB_ICONSTOP);
            return ReportResult::WriteFailed;
    }
    if (options.asciiCopy) {
        const auto rows = TextCopyRowsOf(table_);
        const auto columns = TextCopyColumns(options.reportType, table_.ColumnKinds());
        if (WriteTextCopy(path, rows, columns, options.pollMs) != TextCopyResult::Ok) {
            boxes_.Show(kCantCreateAsciiText, kReportWarningCaption, MB_OK | MB_ICONSTOP);
            return ReportResult::TextCopyFailed;
        }
    }
    return ReportResult::Written;
}
