// The Zenith family against the real driver service: its listing (the "\DosDevices\" prefix,
// names that do not fit an entry), its counter reads matched by name whatever the order of the
// instances, the fields each property fills, the three failed reads that lose the source, the
// process's COM set up once, and how the family takes part in binding and polling.

#include <gtest/gtest.h>

#ifdef PORTCOUNTD_PATH

#include <fstream>

#include "monitor/drivers/counter_sources.h"
#include "monitor/drivers/driver_messages.h"
#include "monitor/drivers/wmi_counters.h"
#include "tests/monitor/drivers/wmi_service.h"
#include "tests/monitor/stats/recording_owner.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"

namespace {

constexpr const char* kZenithCard =
    "hubline COM3  sim rate=0 vary=0 errors=0\n"
    "zenith  COM1  sim rate=0 vary=0 errors=0\n"
    "zenith  COM2  sim rate=0 vary=0 errors=0\n"
    "zenith  COM3  sim rate=0 vary=0 errors=0\n"
    "zenith  COM4  sim rate=0 vary=0 errors=0\n";

class ZenithTest : public ::testing::Test {
  protected:
    void SetUp() override { FreshManagementCalls(); }

    void StartCard(const std::string& card) {
        std::ofstream(config_.Dir() + "/portcountd.conf") << card;
        ASSERT_TRUE(service_.Start()) << service_.Stderr();
    }
    void Control(const std::string& line) {
        const std::string answer = ControlAnswer(service_.Dir(), line);
        ASSERT_EQ(answer.rfind("ok", 0), 0u) << line << ": " << answer;
    }
    int Queries() const { return ServiceQueries(service_.Dir()); }

    std::unique_ptr<CounterSources> Sources() {
        auto sources = std::make_unique<CounterSources>(
            owner_, DevicePaths{"\\\\.\\hubsio", "\\\\.\\talon", "\\\\.\\zenport"});
        sources->Start();
        return sources;
    }
    static std::vector<std::string> Names(CounterSource& source) {
        std::vector<std::string> names;
        for (int i = 0; i < source.Count(); ++i) {
            names.emplace_back(source.PortName(i));
        }
        return names;
    }

    TempConfig config_;
    ServiceProcess service_;
    RecordingOwner owner_;
};

TEST_F(ZenithTest, ListingDropsThePrefixAndSkipsNamesThatDoNotFitAnEntry) {
    // An entry holds 11 characters: COM123456789 cut to fit would read as the port
    // COM12345678, and its counts would land on that port's row.
    ASSERT_NO_FATAL_FAILURE(
        StartCard("zenith COM123456789 sim rate=0 vary=0 errors=0\n"
                  "zenith COM7         sim rate=0 vary=0 errors=0\n"
                  "zenith COM12345678  sim rate=0 vary=0 errors=0\n"
                  "zenith LONGERNAMEFORAPORT sim rate=0 vary=0 errors=0\n"));
    auto sources = Sources();
    ASSERT_TRUE(sources->Available(SourceFamily::Zenith));
    CounterSource& zenith = sources->Source(SourceFamily::Zenith);
    EXPECT_EQ(Names(zenith), (std::vector<std::string>{"COM7", "COM12345678"}));
    EXPECT_EQ(zenith.Count(), 2);

    Control("set zenith COM12345678 tx=11 rx=11");
    Control("set zenith COM123456789 tx=12 rx=12");
    ASSERT_TRUE(zenith.ReadCounters());
    const RawPortCounters* port = zenith.FindCounters("COM12345678");
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->txTotalRaw, 11u);
    EXPECT_EQ(port->rxTotalRaw, 11u);
    EXPECT_TRUE(owner_.boxes.empty());
}

TEST_F(ZenithTest, EveryPortGetsItsOwnCountsWhateverTheOrderOfTheInstances) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kZenithCard));
    auto sources = Sources();
    CounterSource& zenith = sources->Source(SourceFamily::Zenith);
    ASSERT_EQ(Names(zenith), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
    for (int i = 1; i <= 4; ++i) {
        Control("set zenith COM" + std::to_string(i) + " tx=" + std::to_string(100 * i) +
                " rx=" + std::to_string(10 * i));
    }
    ASSERT_TRUE(zenith.ReadCounters());
    const auto tx = [&](const char* port) { return zenith.FindCounters(port)->txTotalRaw; };

    struct Step {
        const char* control;  // how the instances arrive next
        std::uint32_t add;    // added to every port's tx before the read
        std::uint32_t com1;   // tx each port shows after it
        std::uint32_t com2;
        std::uint32_t com3;
        std::uint32_t com4;
    } steps[] = {
        {"wmi order COM4 COM3 COM2 COM1", 1, 101, 201, 301, 401},
        {"wmi hide COM1", 2, 101, 202, 302, 402},  // COM1 keeps its last counts
        {"wmi hide COM3", 3, 101, 203, 302, 403},  // a gap in the middle stops nothing after it
        {"wmi show all", 4, 104, 204, 304, 404},
        {"wmi order COM2", 5, 105, 205, 305, 405},  // one port moved to the front
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.control);
        Control(step.control);
        for (int i = 1; i <= 4; ++i) {
            Control("set zenith COM" + std::to_string(i) +
                    " tx=" + std::to_string(100 * i + step.add) + " rx=" + std::to_string(10 * i));
        }
        EXPECT_TRUE(zenith.ReadCounters());
        EXPECT_EQ(tx("COM1"), step.com1);
        EXPECT_EQ(tx("COM2"), step.com2);
        EXPECT_EQ(tx("COM3"), step.com3);
        EXPECT_EQ(tx("COM4"), step.com4);
    }
    EXPECT_EQ(zenith.FindCounters("COM3")->rxTotalRaw, 30u);

    // No instance that names a listed port: the read fails, nothing changes.
    for (const char* port : {"COM1", "COM2", "COM3", "COM4"}) {
        Control(std::string("wmi hide ") + port);
    }
    EXPECT_FALSE(zenith.ReadCounters());
    EXPECT_EQ(tx("COM4"), 405u);
}

TEST_F(ZenithTest, EachPropertyFillsItsFieldAndAnUnreadableOneLeavesItAsItWas) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kZenithCard));
    auto sources = Sources();
    CounterSource& zenith = sources->Source(SourceFamily::Zenith);
    ASSERT_NE(zenith.FindCounters("COM2"), nullptr);
    const RawPortCounters& c = *zenith.FindCounters("COM2");
    Control(
        "set zenith COM2 tx=4000000000 rx=5 txp=9 rxp=9 overrun=65534 buffer=3 "
        "framing=70000 parity=65537");
    ASSERT_TRUE(zenith.ReadCounters());
    EXPECT_EQ(c.txTotalRaw, 4000000000u);
    EXPECT_EQ(c.rxTotalRaw, 5u);
    EXPECT_EQ(c.overrunErrorsRaw, 1u);  // 65534 + 3, in 16 bits
    EXPECT_EQ(c.framingErrorsRaw, 70000u & 0xFFFF);
    EXPECT_EQ(c.parityErrorsRaw, 1u);
    EXPECT_EQ(c.statusFlags, 0x013Bu);  // open, DTR, RTS, CD, DSR, CTS
    EXPECT_EQ(c.txPackets, 0u);         // this family has no packet counts
    EXPECT_EQ(c.rxPackets, 0u);

    // A set names every field: those it leaves out go back to zero.
    struct Row {
        const char* omit;  // the property the instance lacks from now on
        const char* set;
        RawPortCounters expected;
    } rows[] = {
        {"ParityErrorCount",
         "tx=4000000000 rx=6 overrun=65534 buffer=3 framing=70000 parity=9",
         {4000000000u, 6, 0, 0, 1, 4464, 1, 0x013B}},
        {"ReceivedCount",
         "tx=8 rx=7 overrun=65534 buffer=3 framing=70000 parity=9",
         {8, 6, 0, 0, 1, 4464, 1, 0x013B}},
        // Without the serial overruns the field keeps its value: adding the buffer overruns
        // again at every read would count errors that never happened.
        {"SerialOverrunErrorCount",
         "tx=8 rx=7 overrun=10 buffer=4 framing=70000 parity=9",
         {8, 6, 0, 0, 1, 4464, 1, 0x013B}},
        {"Status_Flags 0x80041001",
         "tx=8 rx=7 overrun=10 buffer=4 framing=2 parity=9",
         {8, 6, 0, 0, 1, 2, 1, 0x013B}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.omit);
        Control(std::string("wmi omit COM2 ") + row.omit);
        Control(std::string("set zenith COM2 ") + row.set);
        ASSERT_TRUE(zenith.ReadCounters());
        EXPECT_EQ(c, row.expected);
    }
    // A port whose PortName cannot be read is no port at this read.
    Control("wmi show all");
    Control("wmi omit COM2 PortName");
    Control("set zenith COM2 tx=1");
    EXPECT_TRUE(zenith.ReadCounters());
    EXPECT_EQ(c.txTotalRaw, 8u);
}

TEST_F(ZenithTest, ThreeFailedTicksLoseTheSourceWithOneMessageAndNoWaiting) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kZenithCard));
    auto sources = Sources();
    CounterSource& zenith = sources->Source(SourceFamily::Zenith);
    ASSERT_NE(zenith.FindCounters("COM1"), nullptr);
    const RawPortCounters& com1 = *zenith.FindCounters("COM1");
    Control("set zenith COM1 tx=50");
    sources->PollTick(1);
    ASSERT_EQ(com1.txTotalRaw, 50u);

    // Two failing ticks, then one that succeeds: the count of failures starts again.
    Control("fail zenith 0x80041015");
    const int before = Queries();
    sources->PollTick(1);
    sources->PollTick(1);
    // One attempt per tick: the thread is never held between attempts.
    EXPECT_EQ(Queries(), before + 2);
    EXPECT_TRUE(owner_.boxes.empty());
    Control("fail zenith 0");
    Control("set zenith COM1 tx=60");
    sources->PollTick(1);
    EXPECT_EQ(com1.txTotalRaw, 60u);

    // Three in a row: one message, and the source is never asked again.
    Control("wmi fail query 0x80041001");
    Control("set zenith COM1 tx=70");
    const int failing = Queries();
    for (int tick = 1; tick <= 3; ++tick) {
        sources->PollTick(1);
        EXPECT_EQ(Queries(), failing + tick);
        EXPECT_EQ(owner_.boxes.size(), tick < 3 ? 0u : 1u) << "after tick " << tick;
    }
    ASSERT_EQ(owner_.boxes.size(), 1u);
    EXPECT_EQ(owner_.boxes[0].text, kZenithLostText);
    EXPECT_EQ(owner_.boxes[0].caption, kDriverWarningCaption);
    EXPECT_EQ(owner_.boxes[0].icon, MB_ICONHAND);
    EXPECT_EQ(zenith.Handle(), platform::kInvalidDeviceHandle);
    Control("wmi reset");
    for (int tick = 0; tick < 3; ++tick) {
        sources->PollTick(1);
    }
    EXPECT_EQ(Queries(), failing + 3);
    EXPECT_EQ(owner_.boxes.size(), 1u);
    EXPECT_EQ(com1.txTotalRaw, 60u);  // the rows keep their last counts
    EXPECT_TRUE(sources->Available(SourceFamily::Zenith));
}

TEST_F(ZenithTest, TheProcesssComSetUpIsMadeOnceAndAnEarlierOneCounts) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kZenithCard));
    struct Row {
        const char* what;
        bool securityBefore;  // another part of the process set the security first
        bool apartment;       // the thread has COM already, in the apartment model (a window's)
    } rows[] = {{"first in the process", false, false},
                {"after another part", true, false},
                {"on an apartment thread", false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FreshManagementCalls();
        if (row.securityBefore) {
            ASSERT_EQ(platform::CoInitializeEx(nullptr, platform::COINIT_MULTITHREADED),
                      platform::S_OK);
            ASSERT_EQ(platform::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, 0, 3, nullptr,
                                                     0, nullptr),
                      platform::S_OK);
            platform::CoUninitialize();
        }
        // Undone however the row ends, so that a failure here leaves no COM to later tests.
        struct Apartment {
            bool on;
            ~Apartment() {
                if (on) {
                    platform::CoUninitialize();
                }
            }
        } apartment{row.apartment &&
                    platform::CoInitializeEx(nullptr, platform::COINIT_APARTMENTTHREADED) ==
                        platform::S_OK};
        ASSERT_EQ(apartment.on, row.apartment);
        auto sources = Sources();  // probe, list, list again
        CounterSource& zenith = sources->Source(SourceFamily::Zenith);
        ASSERT_TRUE(sources->Available(SourceFamily::Zenith));
        EXPECT_EQ(zenith.Count(), 4);
        for (int read = 0; read < 3; ++read) {
            EXPECT_TRUE(zenith.ReadCounters()) << "read " << read;
        }
        EXPECT_EQ(platform::WmiCallCountForTesting(platform::WmiCall::CoInitializeSecurity),
                  row.securityBefore ? 2 : 1);
        // Each operation undid its own set-up and only that: the apartment thread keeps COM,
        // the others are left without it.
        std::unique_ptr<platform::IWbemLocator> locator;
        EXPECT_EQ(platform::CoCreateInstance(platform::CLSID_WbemLocator, nullptr,
                                             platform::CLSCTX_INPROC_SERVER,
                                             platform::IID_IWbemLocator, locator),
                  row.apartment ? platform::S_OK : platform::CO_E_NOTINITIALIZED);
        EXPECT_TRUE(owner_.boxes.empty());
    }
}

TEST_F(ZenithTest, AFailingStepOfTheSetUpFailsTheOperationAndTheNextOneTriesAgain) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kZenithCard));
    using platform::WmiCall;
    for (const WmiCall call :
         {WmiCall::CoInitializeEx, WmiCall::CoInitializeSecurity, WmiCall::CoCreateInstance,
          WmiCall::ConnectServer, WmiCall::CoSetProxyBlanket, WmiCall::ExecQuery}) {
        SCOPED_TRACE(static_cast<int>(call));
        FreshManagementCalls();
        platform::FailWmiCallForTesting(call, platform::E_FAIL, 1);
        EXPECT_EQ(ProbeWmi(), 0);
        EXPECT_EQ(ProbeWmi(), 1);
    }
}

TEST_F(ZenithTest, BindingPrefersTheEarlierFamilyAndPollingNeedsZenithRows) {
    ASSERT_NO_FATAL_FAILURE(StartCard(kZenithCard));
    auto sources = Sources();
    EXPECT_EQ(sources->Bind("COM3").source, &sources->Source(SourceFamily::Hubline));
    EXPECT_EQ(sources->Bind("COM4").source, &sources->Source(SourceFamily::Zenith));
    EXPECT_FALSE(sources->Bind("COM9"));

    const int before = Queries();
    sources->PollTick(0);
    sources->PollTick(0);
    EXPECT_EQ(Queries(), before);
    sources->PollTick(2);
    EXPECT_EQ(Queries(), before + 1);
}

TEST_F(ZenithTest, AFamilyWithoutInstancesOrWithoutServiceIsUnavailable) {
    {
        ASSERT_NO_FATAL_FAILURE(StartCard("hubline COM3 sim\n"));  // the class is not there
        auto sources = Sources();
        EXPECT_FALSE(sources->Available(SourceFamily::Zenith));
        EXPECT_TRUE(sources->Available(SourceFamily::Hubline));
        service_.Stop();
    }
    {
        ServiceProcess service;  // a class with every instance hidden
        std::ofstream(config_.Dir() + "/portcountd.conf") << "zenith COM1 sim\n";
        ASSERT_TRUE(service.Start()) << service.Stderr();
        ASSERT_EQ(ControlAnswer(service.Dir(), "wmi hide COM1"), "ok");
        auto sources = Sources();
        EXPECT_FALSE(sources->Available(SourceFamily::Zenith));
        EXPECT_EQ(sources->Source(SourceFamily::Zenith).Handle(), platform::kInvalidDeviceHandle);
    }
    auto sources = Sources();  // no service at all
    EXPECT_FALSE(sources->Available(SourceFamily::Zenith));
    EXPECT_TRUE(owner_.boxes.empty());
}

}  // namespace

#else

TEST(ZenithTest, NeedsTheDriverService) {
    GTEST_SKIP() << "the driver service is not part of this build";
}

#endif
