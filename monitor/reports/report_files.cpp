#include "monitor/reports/report_files.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>

#include "monitor/reports/report_messages.h"
#include "monitor/stats/monitor_messages.h"
#include "platform/system/disk_space.h"
#include "platform/system/paths.h"

namespace {

// The C locale's full month names: report names must not change with the user's language.
constexpr std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

double FreeBytesAt(const std::string& path) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    if (!platform::GetDiskFreeSpaceA(path.c_str(), &sectorsPerCluster, &bytesPerSector,
                                     &freeClusters, nullptr)) {
        return 0.0;
    }
    return static_cast<double>(sectorsPerCluster) * static_cast<double>(bytesPerSector) *
           static_cast<double>(freeClusters);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<ReportKind> ReportKindOf(UINT message) {
    switch (message) {
        case WM_HOURLY_REPORT:
            return ReportKind::Hourly;
        case WM_DAILY_REPORT:
            return ReportKind::Daily;
        case WM_CUSTOM_REPORT:
            return ReportKind::Custom;
        default:
            return std::nullopt;
    }
}

std::string ReportsFolder() {
    return platform::ProgramDirectory() + "/" + kReportsFolderName;
}

std::string ReportFileName(ReportKind kind, const SYSTEMTIME& localTime) {
    switch (kind) {
        case ReportKind::Hourly:
            return kHourlyReportFile;
        case ReportKind::Daily:
            return kDailyReportFile;
        case ReportKind::Custom:
            break;
    }
    const unsigned month = localTime.wMonth >= 1 && localTime.wMonth <= 12 ? localTime.wMonth : 1;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%s%02u_%02u%02u", kMonthNames[month - 1],
                  static_cast<unsigned>(localTime.wDay), static_cast<unsigned>(localTime.wHour),
                  static_cast<unsigned>(localTime.wMinute));
    return std::string("Seltra2_") + stamp + ".sls";
}

std::string ReportPath(ReportKind kind, const SYSTEMTIME& localTime) {
    return ReportsFolder() + "/" + ReportFileName(kind, localTime);
}

double ReportsFreeBytes() {
    const std::string folder = ReportsFolder();
    return FreeBytesAt(IsFolder(folder) ? folder : platform::ProgramDirectory());
}
