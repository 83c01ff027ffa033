#pragma once
// The texts and captions of the reports, the text copies and the Convert command.

inline constexpr const char* kCantCreateAsciiText = "Seltra2 Can't creat an Ascii file!\t";
inline constexpr const char* kCantOpenConvertText = "Seltra2 Can't open the file!\t";
inline constexpr const char* kReportWarningCaption = "Seltra2 - Warning...";

inline constexpr const char* kConvertTitle = "Select a .sls file to be converted to .txt";
inline constexpr const char* kConvertDoneText =
    "An ASCII copy of the selected file is now available in the same folder.";
inline constexpr const char* kConvertDoneCaption = "SELTRA2 - File Conversion";

inline constexpr const char* kReportsFolderName = "Reports";
inline constexpr const char* kHourlyReportFile = "Seltra2_Hourly_Report.sls";
inline constexpr const char* kDailyReportFile = "Seltra2_Daily_Report.sls";
inline constexpr const char* kTextCopyExtension = ".txt";
