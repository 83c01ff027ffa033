#include "monitor/app/seltra_settings.h"

#include <array>
#include <climits>
#include <cstring>

#include "platform/registry/registry.h"

namespace {

using platform::RegCloseKey;
using platform::RegCreateKeyExA;
using platform::RegQueryValueExA;
using platform::RegSetValueExA;

class SettingsKey {
  public:
    SettingsKey() {
        DWORD disposition = 0;
        ok_ = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key_, &disposition) == ERROR_SUCCESS;
    }
    ~SettingsKey() {
        if (ok_) {
            RegCloseKey(key_);
        }
    }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    bool Ok() const { return ok_; }

    // The text up to the first NUL; false when the value is missing, unreadable or larger than
    // the 20 bytes a setting holds.
    bool Read(const char* name, std::string& text) const {
        std::array<BYTE, kSettingValueSize> data{};
        DWORD size = kSettingValueSize;
        DWORD type = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
            return false;
        }
        const char* chars = reinterpret_cast<const char*>(data.data());
        text.assign(chars, strnlen(chars, size));
        return true;
    }
    void ReadInt(const char* name, int& value) const {
        std::string text;
        if (Read(name, text)) {
            value = LeadingNumber(text);
        }
    }
    void ReadText(const char* name, std::string& value) const {
        std::string text;
        if (Read(name, text)) {
            value = text;
        }
    }

    bool Write(const char* name, const std::string& text) const {
        std::array<BYTE, kSettingValueSize> data{};
        std::memcpy(data.data(), text.data(), std::min(text.size(), kMaxSettingText));
        return RegSetValueExA(key_, name, 0, REG_SZ, data.data(), kSettingValueSize) ==
               ERROR_SUCCESS;
    }
    bool Write(const char* name, int value) const { return Write(name, std::to_string(value)); }

  private:
    HKEY key_ = nullptr;
    bool ok_ = false;
};

}  // namespace

int SeltraSettings::PollMs() const {
    const int seconds = LeadingNumber(pollingInterval);
    return seconds > INT_MAX / 1000 ? INT_MAX : seconds * 1000;
}

int SeltraSettings::MaxBaud() const {
    return LeadingNumber(maximumBaudrate);
}

ReportSettings SeltraSettings::Report() const {
    ReportSettings report;
    report.hourlyReport = hourlyReport != 0;
    report.dailyReport = dailyReport != 0;
    report.customReport = customReport != 0;
    report.customReportInterval = LeadingNumber(customReportInterval);
    return report;
}

void ReadSettings(SeltraSettings& s) {
    const SettingsKey key;
    if (!key.Ok()) {
        return;
    }
    key.ReadInt("Save Settings On Exit", s.saveSettingsOnExit);
    key.ReadInt("Toolbar", s.toolbar);
    key.ReadInt("Status Bar", s.statusBar);
    key.ReadInt("Confirmation On Exit", s.confirmationOnExit);
    key.ReadInt("Ascii Copy", s.asciiCopy);
    key.ReadInt("Hourly Report", s.hourlyReport);
    key.ReadInt("Daily Report", s.dailyReport);
    key.ReadInt("Custom Report", s.customReport);
    key.ReadText("Custom Report Interval", s.customReportInterval);
    key.ReadText("Maximum Baudrate", s.maximumBaudrate);
    key.ReadText("Polling Interval", s.pollingInterval);
    key.ReadText("Ascii Report Type", s.asciiReportType);
}

bool WriteSettings(const SeltraSettings& s) {
    const SettingsKey key;
    if (!key.Ok()) {
        return false;
    }
    if (!key.Write("Save Settings On Exit", s.saveSettingsOnExit)) {
        return false;
    }
    if (s.saveSettingsOnExit != 1) {
        return true;
    }
    return key.Write("Status Bar", s.statusBar) && key.Write("Toolbar", s.toolbar) &&
           key.Write("Confirmation On Exit", s.confirmationOnExit) &&
           key.Write("Ascii Copy", s.asciiCopy) && key.Write("Hourly Report", s.hourlyReport) &&
           key.Write("Daily Report", s.dailyReport) && key.Write("Custom Report", s.customReport) &&
           key.Write("Custom Report Interval", s.customReportInterval) &&
           key.Write("Maximum Baudrate", s.maximumBaudrate) &&
           key.Write("Polling Interval", s.pollingInterval) &&
           key.Write("Ascii Report Type", s.asciiReportType);
}
