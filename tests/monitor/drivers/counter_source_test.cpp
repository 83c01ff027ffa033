// The sources' start-up, listings, counter reads and failures against a driver that checks
// every request's command, entry size and length.

#include "monitor/drivers/counter_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/drivers/driver_messages.h"
#include "monitor/stats/update_statistics.h"
#include "platform/time/manual_clock.h"
#include "tests/monitor/drivers/test_driver.h"
#include "tests/monitor/stats/recording_owner.h"

namespace {

const std::string kHub = "\\\\.\\hubsiox64";

std::vector<std::string> Names(const char* prefix, int n) {
    std::vector<std::string> names;
    for (int i = 1; i <= n; ++i) {
        names.push_back(prefix + std::to_string(i));
    }
    return names;
}

void StartUp(CounterSource& source) {
    ASSERT_EQ(source.Probe(), 1);
    source.ListPorts();
    source.AllocateForPorts();
    source.ListPorts();
}

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

TEST(CounterSource, ConstructedForTheFirstListing) {
    RecordingOwner owner;
    TestDriver driver;
    HublineSource source(owner, kHub, driver);
    EXPECT_EQ(source.Handle(), CounterSource::kNotProbed);
    EXPECT_EQ(source.Count(), 512);
    EXPECT_EQ(source.DevicePath(), kHub);
    const auto names = source.NameBuffer();
    ASSERT_EQ(names.size(), 64u + 12u * 512u);
    EXPECT_EQ(Le32(names, 0), 10u);
    EXPECT_EQ(Le32(names, 4), 12u);
    EXPECT_EQ(Le32(names, 8), 0u);
    EXPECT_EQ(Le32(names, 12), 0u);
    EXPECT_TRUE(source.CounterBuffer().empty());
    EXPECT_TRUE(source.Statistics().empty());
    EXPECT_EQ(source.FindCounters("COM1"), nullptr);
}

TEST(CounterSource, StartUpSizesEverythingForTheListedPorts) {
    struct Row {
        const char* what;
        int ports;
        int count;
    } rows[] = {
        {"no ports", 0, 0},
        {"three ports", 3, 3},
        {"all 512 entries filled", 512, 512},
        {"more ports than one listing holds", 600, 512},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RecordingOwner owner;
        TestDriver driver;
        driver[kHub].names = Names("COM", row.ports);
        HublineSource source(owner, kHub, driver);
        StartUp(source);
        source.ReadCounters();
        const DWORD n = static_cast<DWORD>(row.count);
        EXPECT_EQ(source.Count(), row.count);
        // First listing for 512, the second for exactly the ports found, then the counters.
        EXPECT_EQ(driver.LengthsFor(kHub),
                  (std::vector<DWORD>{64 + 12 * 512, 64 + 12 * n, 56 + 20 * n}));
        EXPECT_EQ(source.NameBuffer().size(), 64u + 12u * n);
        const auto counters = source.CounterBuffer();
        ASSERT_EQ(counters.size(), 56u + 20u * n);
        EXPECT_EQ(Le32(counters, 0), 11u);
        EXPECT_EQ(Le32(counters, 4), 20u);
        EXPECT_EQ(source.Statistics().size(), static_cast<std::size_t>(row.count));
        EXPECT_EQ(source.Counters().size(), static_cast<std::size_t>(row.count));
        EXPECT_TRUE(owner.boxes.empty());
        if (row.count > 0) {
            EXPECT_EQ(source.PortName(row.count - 1), "COM" + std::to_string(row.count));
            EXPECT_NE(source.FindStatistics("COM1"), nullptr);
        }
    }
}

TEST(CounterSource, NameLengths) {
    RecordingOwner owner;
    TestDriver driver;
    // 11 characters are a whole name; an entry of 12 has no NUL and keeps only 11.
    driver[kHub].names = {"COM12345678", "COMABCDEFGHI", "COM3"};
    HublineSource source(owner, kHub, driver);
    StartUp(source);
    ASSERT_EQ(source.Count(), 3);
    EXPECT_EQ(source.PortName(0), "COM12345678");
    EXPECT_EQ(source.PortName(1), "COMABCDEFGH");
    EXPECT_NE(source.FindCounters("COM12345678"), nullptr);
    EXPECT_EQ(source.FindCounters("COMABCDEFGHI"), nullptr);
    EXPECT_EQ(source.FindCounters("com3"), nullptr);  // names match exactly
    EXPECT_EQ(source.FindCounters(""), nullptr);
}

TEST(CounterSource, TheSecondListingDecidesTheCount) {
    RecordingOwner owner;
    TestDriver driver;
    driver[kHub].nextListings = {Names("COM", 5), Names("COM", 3)};
    HublineSource source(owner, kHub, driver);
    StartUp(source);
    EXPECT_EQ(source.Count(), 3);
    EXPECT_EQ(source.FindCounters("COM4"), nullptr);
    EXPECT_NE(source.FindCounters("COM3"), nullptr);
    source.ReadCounters();
    EXPECT_EQ(driver.LengthsFor(kHub).back(), 56u + 20u * 3u);
}

TEST(CounterSource, FailedListingKeepsTheCountAndShowsTheCode) {
    RecordingOwner owner;
    TestDriver driver;
    driver[kHub].names = Names("COM", 4);
    driver[kHub].failCode = 31;
    HublineSource source(owner, kHub, driver);
    StartUp(source);
    EXPECT_EQ(source.Count(), 512);
    EXPECT_EQ(source.PortName(0), "");
    // Unfilled entries are no ports: nothing can bind to an empty name.
    EXPECT_EQ(source.FindCounters(""), nullptr);
    ASSERT_EQ(owner.boxes.size(), 2u);
    EXPECT_EQ(owner.boxes[0].text, "Driver Communication Error!\t\n( Error Code 31 )");
    EXPECT_EQ(owner.boxes[0].caption, "Seltra2 - Warning...");
    EXPECT_EQ(owner.boxes[0].icon, MB_ICONHAND);
}

TEST(CounterSource, FailingReadsWarnOnEveryTickAndChangeNothing) {
    platform::ManualClock clock;
    platform::SetClockForTesting(&clock);
    RecordingOwner owner;
    TestDriver driver;
    driver[kHub].names = Names("COM", 2);
    driver[kHub].counters = {{1000, 2000}, {5, 6}};
    HublineSource source(owner, kHub, driver);
    StartUp(source);
    UpdateStatistics(source);
    EXPECT_EQ(source.FindStatistics("COM1")->TxTotal, 1000u);

    driver[kHub].failCode = 121;
    driver[kHub].counters = {{9000, 9000}, {9, 9}};
    for (int tick = 1; tick <= 3; ++tick) {
        clock.Advance(std::chrono::seconds(2));
        UpdateStatistics(source);
        ASSERT_EQ(owner.boxes.size(), static_cast<std::size_t>(tick));
        EXPECT_EQ(owner.boxes.back().text, DriverErrorText(121));
    }
    EXPECT_EQ(source.FindCounters("COM1")->txTotalRaw, 1000u);
    EXPECT_EQ(source.FindStatistics("COM1")->TxDelta, 0u);
    EXPECT_EQ(source.FindStatistics("COM1")->TxTotal, 1000u);

    // The driver answers again: counting continues from where it was.
    driver[kHub].failCode = 0;
    clock.Advance(std::chrono::seconds(2));
    UpdateStatistics(source);
    EXPECT_EQ(source.FindStatistics("COM1")->TxTotal, 9000u);
    EXPECT_EQ(owner.boxes.size(), 3u);
    platform::SetClockForTesting(nullptr);
}

TEST(CounterSource, RowsKeepPointingAtTheSameEntries) {
    RecordingOwner owner;
    TestDriver driver;
    driver[kHub].names = Names("COM", 3);
    HublineSource source(owner, kHub, driver);
    StartUp(source);
    RawPortCounters* counters = source.FindCounters("COM2");
    PortStatistics* stats = source.FindStatistics("COM2");
    ASSERT_NE(counters, nullptr);
    for (std::uint32_t i = 1; i <= 5; ++i) {
        driver[kHub].counters = {{}, {i * 10, i}};
        UpdateStatistics(source);
        EXPECT_EQ(source.FindCounters("COM2"), counters);
        EXPECT_EQ(source.FindStatistics("COM2"), stats);
        EXPECT_EQ(counters->txTotalRaw, i * 10);
    }
    EXPECT_EQ(stats->TxTotal, 50u);
}

TEST(CounterSource, DecodesEveryCounterField) {
    RecordingOwner owner;
    TestDriver driver;
    driver[kHub].names = {"COM7"};
    driver[kHub].counters = {{0x01020304, 0x05060708, 9, 10, 11, 12, 13, 0x0129}};
    HublineSource source(owner, kHub, driver);
    StartUp(source);
    ASSERT_TRUE(source.ReadCounters());
    const RawPortCounters expected{0x01020304, 0x05060708, 9, 10, 11, 12, 13, 0x0129};
    EXPECT_EQ(*source.FindCounters("COM7"), expected);
}

TEST(CounterSource, AMissingDeviceIsUnavailableAndStaysSo) {
    RecordingOwner owner;
    TestDriver driver;
    TalonSource source(owner, "\\\\.\\talonx64", driver);
    EXPECT_EQ(source.Probe(), 0);
    EXPECT_EQ(source.Handle(), platform::kInvalidDeviceHandle);
    source.FreeBuffers();
    EXPECT_TRUE(source.NameBuffer().empty());
    EXPECT_FALSE(source.ReadCounters());
    EXPECT_EQ(source.FindCounters("COM1"), nullptr);
    // A probed source never opens its device again.
    source.Probe();
    EXPECT_EQ(driver.opens, 1);
    EXPECT_TRUE(owner.boxes.empty());  // no message at start-up
}

TEST(CounterSource, ZenithIsUnavailableUntilTheManagementServiceIsReachable) {
    RecordingOwner owner;
    ZenithSource source(owner);
    EXPECT_EQ(source.DevicePath(), "\\\\.\\zenport");
    EXPECT_EQ(source.Probe(), 0);
    EXPECT_EQ(source.Handle(), platform::kInvalidDeviceHandle);
    EXPECT_TRUE(owner.boxes.empty());
}

}  // namespace
