// The three families together: start-up, binding by name in family order and the order of
// one polling tick.

#include "monitor/drivers/counter_sources.h"

#include <gtest/gtest.h>

#include "monitor/stats/monitor_messages.h"
#include "platform/time/manual_clock.h"
#include "tests/monitor/drivers/test_driver.h"
#include "tests/monitor/stats/recording_owner.h"

namespace {

const DevicePaths kPaths{"\\\\.\\hubsio", "\\\\.\\talon", "\\\\.\\zenport"};

class Families : public ::testing::Test {
  protected:
    void SetUp() override { platform::SetClockForTesting(&clock_); }
    void TearDown() override { platform::SetClockForTesting(nullptr); }

    platform::ManualClock clock_;
    RecordingOwner owner_;
    TestDriver driver_;
};

TEST_F(Families, StartUpProbesInOrderAndMarksAvailability) {
    driver_[kPaths.talon].names = {"COM10"};
    CounterSources sources(owner_, kPaths, driver_);
    sources.Start();
    EXPECT_FALSE(sources.Available(SourceFamily::Hubline));
    EXPECT_TRUE(sources.Available(SourceFamily::Talon));
    EXPECT_FALSE(sources.Available(SourceFamily::Zenith));
    EXPECT_EQ(sources.Source(SourceFamily::Talon).Count(), 1);
    EXPECT_TRUE(sources.Source(SourceFamily::Hubline).NameBuffer().empty());
    EXPECT_TRUE(owner_.boxes.empty());
}

TEST_F(Families, BindingSearchesTheAvailableFamiliesInOrder) {
    struct Row {
        const char* name;
        bool hublineUp;
        SourceFamily family;
        bool bound;
    } rows[] = {
        {"COM5", true, SourceFamily::Hubline, true},  // listed by both: Hubline owns it
        {"COM3", true, SourceFamily::Hubline, true},   {"COM10", true, SourceFamily::Talon, true},
        {"COM5", false, SourceFamily::Talon, true},  // Hubline missing: Talon's
        {"COM99", true, SourceFamily::Hubline, false}, {"", true, SourceFamily::Hubline, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TestDriver driver;
        if (row.hublineUp) {
            driver[kPaths.hubline].names = {"COM3", "COM5"};
        }
        driver[kPaths.talon].names = {"COM5", "COM10"};
        CounterSources sources(owner_, kPaths, driver);
        sources.Start();
        const BoundPort bound = sources.Bind(row.name);
        EXPECT_EQ(static_cast<bool>(bound), row.bound);
        if (row.bound) {
            CounterSource& owner = sources.Source(row.family);
            EXPECT_EQ(bound.source, &owner);
            EXPECT_EQ(bound.counters, owner.FindCounters(row.name));
            EXPECT_EQ(bound.statistics, owner.FindStatistics(row.name));
        }
    }
}

TEST_F(Families, ATickReadsHublineThenTalonAndNotTheLostFamilies) {
    driver_[kPaths.hubline].names = {"COM3"};
    driver_[kPaths.talon].names = {"COM10", "COM11"};
    CounterSources sources(owner_, kPaths, driver_);
    sources.Start();
    driver_.requests.clear();
    driver_[kPaths.hubline].counters = {{100, 0}};
    driver_[kPaths.talon].counters = {{0, 0}, {0, 70}};
    sources.PollTick(0);
    ASSERT_EQ(driver_.requests.size(), 2u);
    EXPECT_EQ(driver_.requests[0].path, kPaths.hubline);
    EXPECT_EQ(driver_.requests[0].command, 11u);
    EXPECT_EQ(driver_.requests[1].path, kPaths.talon);
    EXPECT_EQ(driver_.requests[1].length, 56u + 40u);
    // Ports that are no table row are updated as well.
    EXPECT_EQ(sources.Source(SourceFamily::Hubline).FindStatistics("COM3")->TxTotal, 100u);
    EXPECT_EQ(sources.Source(SourceFamily::Talon).FindStatistics("COM11")->RxTotal, 70u);
}

TEST_F(Families, EachPolledFamilyPostsItsOwnReports) {
    clock_.SetLocalTime(platform::MakeSystemTime(2024, 5, 1, 8, 59, 59));
    driver_[kPaths.hubline].names = {"COM3"};
    driver_[kPaths.talon].names = {"COM10"};
    CounterSources sources(owner_, kPaths, driver_);
    sources.Start();
    sources.PollTick(0);
    clock_.Advance(std::chrono::seconds(2));
    sources.PollTick(0);
    EXPECT_EQ(owner_.Count(WM_HOURLY_REPORT), 2);
}

}  // namespace
