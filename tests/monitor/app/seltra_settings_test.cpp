// The stored settings through the registry store in a private configuration directory: exact
// 20-byte values, defaults kept for what is missing or unusable, and "Save Settings On Exit"
// gating the other values.

#include "monitor/app/seltra_settings.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

#include "platform/registry/registry.h"
#include "tests/support/temp_config.h"

namespace {

using namespace platform;

HKEY OpenSettings() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    return key;
}

std::vector<BYTE> RawValue(const char* name) {
    HKEY key = OpenSettings();
    std::array<BYTE, 64> data{};
    DWORD size = data.size();
    DWORD type = 0;
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        return {};
    }
    EXPECT_EQ(type, REG_SZ) << name;
    return {data.begin(), data.begin() + size};
}

void SetRaw(const char* name, const std::string& bytes) {
    HKEY key = OpenSettings();
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

TEST(SeltraSettings, ARoundTripKeepsEveryValueAsTwentyBytes) {
    TempConfig config;
    SeltraSettings written;
    written.statusBar = 0;
    written.asciiCopy = 1;
    written.customReport = 1;
    written.customReportInterval = "45";
    written.maximumBaudrate = "921600";
    written.pollingInterval = "5";
    written.asciiReportType = kFullVersion;
    ASSERT_TRUE(WriteSettings(written));

    const std::vector<BYTE> poll = RawValue("Polling Interval");
    ASSERT_EQ(poll.size(), kSettingValueSize);
    EXPECT_EQ(poll[0], '5');
    for (std::size_t i = 1; i < poll.size(); ++i) {
        EXPECT_EQ(poll[i], 0) << i;
    }
    SeltraSettings read;
    ReadSettings(read);
    EXPECT_EQ(read, written);
}

TEST(SeltraSettings, UnsavedOnExitWritesOnlyThatFlag) {
    TempConfig config;
    SeltraSettings first;
    first.pollingInterval = "7";
    ASSERT_TRUE(WriteSettings(first));
    SeltraSettings second = first;
    second.saveSettingsOnExit = 0;
    second.pollingInterval = "9";
    ASSERT_TRUE(WriteSettings(second));

    SeltraSettings read;
    ReadSettings(read);
    EXPECT_EQ(read.saveSettingsOnExit, 0);
    EXPECT_EQ(read.pollingInterval, "7");
}

TEST(SeltraSettings, MissingOversizedAndHandEditedValues) {
    TempConfig config;
    SetRaw("Polling Interval", "1");                   // hand-written, two bytes with NUL
    SetRaw("Maximum Baudrate", std::string(21, '9'));  // longer than a setting holds
    SetRaw("Toolbar", std::string("0\0", 2));
    SetRaw("Custom Report Interval", std::string("12\0\0\0", 5));
    SeltraSettings read;
    ReadSettings(read);
    EXPECT_EQ(read.pollingInterval, "1");
    EXPECT_EQ(read.maximumBaudrate, "115200");  // kept
    EXPECT_EQ(read.toolbar, 0);
    EXPECT_EQ(read.customReportInterval, "12");
    EXPECT_EQ(read.hourlyReport, 1);  // missing: default
}

TEST(SeltraSettings, ALongTextIsCutToNineteenCharacters) {
    TempConfig config;
    SeltraSettings written;
    written.asciiReportType = std::string(30, 'x');
    ASSERT_TRUE(WriteSettings(written));
    SeltraSettings read;
    ReadSettings(read);
    EXPECT_EQ(read.asciiReportType, std::string(19, 'x'));
}

struct NumberCase {
    const char* text;
    int pollMs;
};

TEST(SeltraSettings, TextValuesReadAsTheirLeadingDigits) {
    const NumberCase cases[] = {
        {"2", 2000}, {"0", 0}, {"abc", 0}, {"", 0}, {"15s", 15000}, {"99999999999", INT_MAX},
    };
    for (const NumberCase& c : cases) {
        SeltraSettings s;
        s.pollingInterval = c.text;
        EXPECT_EQ(s.PollMs(), c.pollMs) << c.text;
    }
    SeltraSettings s;
    s.customReportInterval = "";
    s.customReport = 1;
    EXPECT_EQ(s.Report().customReportInterval, 0);
    EXPECT_TRUE(s.Report().customReport);
}

}  // namespace
