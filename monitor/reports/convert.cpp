#include "monitor/reports/convert.h"

#include "monitor/reports/report_messages.h"
#include "monitor/reports/text_copy.h"
#include "monitor/sessions/session_file.h"
#include "monitor/sessions/session_messages.h"

ConvertResult ConvertSessionFile(const std::string& path, const std::string& reportType,
                                 int pollMs) {
    const auto bytes = ReadFileBytes(path, kMaxSessionFileSize);
    if (!bytes) {
        return ConvertResult::CannotOpen;
    }
    // A file too short for its counts, or whose counts and column kinds are not a session's,
    // is refused; a file that ends inside a row converts the complete rows.
    const DecodedSession session = DecodeSession(*bytes);
    if (!session.Usable()) {
        return ConvertResult::Corrupted;
    }
    const auto rows = TextCopyRowsOf(session);
    const auto columns = TextCopyColumns(reportType, session.columns);
    return WriteTextCopy(path, rows, columns, pollMs) == TextCopyResult::Ok
               ? ConvertResult::Converted
               : ConvertResult::CannotWrite;
}

ConvertResult Convert(platform::PromptService& prompts, const std::string& reportType, int pollMs) {
    platform::FileDialogRequest request;
    request.title = kConvertTitle;
    request.initialPath = kSessionInitialName;
    request.filter = kSessionFilter;
    request.defaultExtension = kSessionExtension;
    const auto chosen = prompts.OpenFileName(request);
    if (!chosen) {
        return ConvertResult::Cancelled;
    }
    const ConvertResult result = ConvertSessionFile(*chosen, reportType, pollMs);
    switch (result) {
        case ConvertResult::Converted:
            prompts.MessageBox(kConvertDoneText, kConvertDoneCaption, MB_OK | MB_ICONINFORMATION);
            break;
        case ConvertResult::CannotOpen:
            prompts.MessageBox(kCantOpenConvertText, kReportWarningCaption, MB_OK | MB_ICONSTOP);
            break;
        case ConvertResult::Corrupted:
            prompts.MessageBox(kCorruptedSessionText, kReportWarningCaption, MB_OK | MB_ICONSTOP);
            break;
        case ConvertResult::CannotWrite:
            prompts.MessageBox(kCantCreateAsciiText, kReportWarningCaption, MB_OK | MB_ICONSTOP);
            break;
        case ConvertResult::Cancelled:
            break;
    }
    return result;
}
