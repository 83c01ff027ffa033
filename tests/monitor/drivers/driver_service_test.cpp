// The sources against the real driver service: its sockets, its framing and its checks of
// every request length.

#include <gtest/gtest.h>

#ifdef PORTCOUNTD_PATH

#include "monitor/drivers/counter_sources.h"
#include "monitor/drivers/driver_messages.h"
#include "tests/monitor/stats/recording_owner.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"
#include "tests/support/wait.h"

namespace {

class ServiceTest : public ::testing::Test {
  protected:
    void StartService(std::vector<std::string> args) {
        ASSERT_TRUE(service_.Start(std::move(args))) << service_.Stderr();
    }

    TempConfig config_;  // no portcountd.conf: the embedded default card
    ServiceProcess service_;
    RecordingOwner owner_;
};

TEST_F(ServiceTest, TheDefaultCardOnEitherDeviceName) {
    ASSERT_NO_FATAL_FAILURE(StartService({}));
    for (const DevicePaths& paths : {DevicePaths{"\\\\.\\hubsio", "\\\\.\\talon", "\\\\.\\zenport"},
                                     ChooseDevicePaths(HostDevicePathQueries())}) {
        SCOPED_TRACE(paths.hubline);
        CounterSources sources(owner_, paths);
        sources.Start();
        ASSERT_TRUE(sources.Available(SourceFamily::Hubline));
        ASSERT_TRUE(sources.Available(SourceFamily::Talon));
        EXPECT_EQ(sources.Source(SourceFamily::Hubline).Count(), 3);
        EXPECT_EQ(sources.Source(SourceFamily::Talon).Count(), 2);
        EXPECT_TRUE(sources.Bind("COM4"));
        EXPECT_EQ(sources.Bind("COM10").source, &sources.Source(SourceFamily::Talon));
        sources.PollTick(0);
        EXPECT_EQ(sources.Source(SourceFamily::Talon).RequestLength(), 56u + 20u * 2u);
        EXPECT_TRUE(owner_.boxes.empty());  // the service accepted every request length
    }
}

TEST_F(ServiceTest, PortCountsAtTheLimits) {
    struct Row {
        const char* ports;
        int count;
    } rows[] = {{"0", 0}, {"512", 512}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.ports);
        ServiceProcess service;
        ASSERT_TRUE(service.Start({"--ports-per-family", row.ports})) << service.Stderr();
        RecordingOwner owner;
        CounterSources sources(owner, ChooseDevicePaths(HostDevicePathQueries()));
        sources.Start();
        CounterSource& hub = sources.Source(SourceFamily::Hubline);
        EXPECT_EQ(hub.Count(), row.count);
        EXPECT_EQ(hub.RequestLength(), 64u + 12u * static_cast<unsigned>(row.count));
        sources.PollTick(0);
        EXPECT_EQ(hub.RequestLength(), 56u + 20u * static_cast<unsigned>(row.count));
        EXPECT_TRUE(owner.boxes.empty());
    }
}

TEST_F(ServiceTest, TrafficReachesTheStatistics) {
    ASSERT_NO_FATAL_FAILURE(StartService({}));
    CounterSources sources(owner_, ChooseDevicePaths(HostDevicePathQueries()));
    sources.Start();
    const BoundPort port = sources.Bind("COM3");
    ASSERT_TRUE(port);
    // Wait for the simulated traffic to show; each look polls the service once more.
    WaitUntil([&] {
        sources.PollTick(0);
        return port.statistics->TxTotal + port.statistics->RxTotal != 0;
    });
    EXPECT_GT(port.statistics->TxTotal + port.statistics->RxTotal, 0u);
    EXPECT_EQ(port.statistics->lastTxTotalRaw, port.counters->txTotalRaw);
}

TEST_F(ServiceTest, AServiceThatStopsIsReportedOnEveryTick) {
    ASSERT_NO_FATAL_FAILURE(StartService({}));
    CounterSources sources(owner_, ChooseDevicePaths(HostDevicePathQueries()));
    sources.Start();
    ASSERT_TRUE(owner_.boxes.empty());
    service_.Stop();
    sources.PollTick(0);
    sources.PollTick(0);
    // Two families, two ticks: four warnings, each with the request's error code.
    ASSERT_EQ(owner_.boxes.size(), 4u);
    for (const RecordedBox& box : owner_.boxes) {
        EXPECT_EQ(box.text.rfind("Driver Communication Error!\t\n( Error Code ", 0), 0u);
        EXPECT_EQ(box.caption, kDriverWarningCaption);
        EXPECT_NE(box.text, DriverErrorText(0));
    }
}

}  // namespace

#else

TEST(ServiceTest, NeedsTheDriverService) {
    GTEST_SKIP() << "the driver service is not part of this build";
}

#endif
