#pragma once
// The monitor's twelve stored settings, kept under HKEY_CURRENT_USER in
// "Software\Quenby\Seltra2\Settings". Every value is a 20-byte REG_SZ: the decimal text of an
// integer or the text of a text value (at most 19 characters), its NUL and zero bytes up to 20.

#include <string>

#include "monitor/records/report_settings.h"

inline constexpr const char* kSettingsKey = "Software\\Quenby\\Seltra2\\Settings";
constexpr unsigned kSettingValueSize = 20;
constexpr std::size_t kMaxSettingText = kSettingValueSize - 1;

inline constexpr const char* kRegistryErrorText = "Registry Error!";
inline constexpr const char* kRegistryErrorCaption = "Warning ...";

inline constexpr const char* kFullVersion = "Full Version";
inline constexpr const char* kSelectedVersion = "Selected Version";

struct SeltraSettings {
    int saveSettingsOnExit = 1;
    int statusBar = 1;
    int toolbar = 1;
    int confirmationOnExit = 1;
    int asciiCopy = 0;
    int hourlyReport = 1;
    int dailyReport = 1;
    int customReport = 0;
    std::string customReportInterval = "30";
    std::string maximumBaudrate = "115200";
    std::string pollingInterval = "2";
    std::string asciiReportType = kSelectedVersion;

    bool operator==(const SeltraSettings&) const = default;

    // "Polling Interval" seconds as milliseconds; 0 turns polling off. A number too large for
    // the timer is held at the largest interval it takes instead of wrapping.
    int PollMs() const;
    // "Maximum Baudrate", the full scale of the throughput bar.
    int MaxBaud() const;
    ReportSettings Report() const;
};

// Opens (creating when missing) the key and reads every value present; a value that is missing,
// of another size than it can hold or unreadable keeps what `settings` had. A key that cannot
// be opened leaves every value as it was.
void ReadSettings(SeltraSettings& settings);

// Writes "Save Settings On Exit", then, only when it is 1, the other eleven. False when the key
// cannot be opened or a value cannot be written: the caller shows kRegistryErrorText.
bool WriteSettings(const SeltraSettings& settings);
