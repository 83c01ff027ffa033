// The requests of one driver family answered in-process, with the steady time handed in, so
// the simulated traffic is checked exactly.

#include "drivers/driver_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "drivers/sim_port.h"

using namespace portcount;
using namespace std::chrono_literals;

namespace {

const SteadyTime kStart = SteadyTime{} + 1000s;

std::vector<std::uint8_t> Request(std::uint32_t command, std::uint32_t entrySize,
                                  std::size_t length) {
    std::vector<std::uint8_t> buffer(length, 0xAB);  // junk where the driver writes
    std::fill_n(buffer.begin(), std::min<std::size_t>(length, 16), 0);
    for (int i = 0; i < 4 && length >= 8; ++i) {
        buffer[i] = static_cast<std::uint8_t>(command >> (8 * i));
        buffer[4 + i] = static_cast<std::uint8_t>(entrySize >> (8 * i));
    }
    return buffer;
}

class Card {
  public:
    explicit Card(const std::string& configText) {
        std::vector<std::string> problems;
        card.Load(ParseConfig(configText, "test", problems), kStart);
        EXPECT_TRUE(problems.empty());
    }

    DWORD Ask(Family family, std::vector<std::uint8_t> request, SteadyTime now = kStart,
              DWORD code = kIoctlPortMonitor) {
        out.clear();
        return card.Handle(family, code, request, static_cast<DWORD>(request.size()), out, now);
    }

    std::vector<std::string> Names(Family family, std::size_t n) {
        EXPECT_EQ(Ask(family, Request(10, 12, 64 + 12 * n)), 0u);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < n; ++i) {
            const char* entry = reinterpret_cast<const char*>(out.data() + 16 + 12 * i);
            EXPECT_EQ(entry[11], '\0');
            names.emplace_back(entry, strnlen(entry, 12));
        }
        return names;
    }

    std::vector<PortCounters> Counters(Family family, std::size_t n, SteadyTime now = kStart) {
        EXPECT_EQ(Ask(family, Request(11, 20, 56 + 20 * n), now), 0u);
        std::vector<PortCounters> counters;
        for (std::size_t i = 0; i < n && out.size() >= 16 + 20 * (i + 1); ++i) {
            counters.push_back(DecodePortCounters(
                std::span<const std::uint8_t, 20>(out.data() + 16 + 20 * i, 20)));
        }
        return counters;
    }

    DriverCard card;
    std::vector<std::uint8_t> out;
};

TEST(DriverCard, RequestLengthsAndCommandWords) {
    Card card("hubline COM1 sim\nhubline COM2 sim\n");
    struct Row {
        std::uint32_t command, entrySize;
        std::size_t length;
        DWORD status;
    } rows[] = {
        {10, 12, 64, 0},          {10, 12, 64 + 12, 0},  {10, 12, 64 + 12 * 512, 0},
        {10, 12, 63, 22},         {10, 12, 65, 22},      {10, 12, 64 + 11, 22},
        {10, 12, 56 + 40, 22},    {10, 20, 64 + 12, 22}, {11, 20, 56, 0},
        {11, 20, 56 + 20 * 3, 0}, {11, 20, 56 + 19, 22}, {11, 20, 55, 22},
        {11, 12, 56 + 20, 22},    {11, 20, 64 + 24, 22}, {12, 20, 56 + 20, 22},
        {0, 0, 64, 22},           {10, 12, 8, 22},       {10, 12, 0, 22},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.command << "/" << row.entrySize << " length " << row.length);
        EXPECT_EQ(card.Ask(Family::Hubline, Request(row.command, row.entrySize, row.length)),
                  row.status);
        if (row.status == 0) {
            ASSERT_EQ(card.out.size(), row.length);
            EXPECT_EQ(card.out[0], row.command);
            EXPECT_EQ(card.out[4], row.entrySize);
            // Everything past the entries written is zero, the padding included.
            const std::size_t used = 16 + (row.command == 10 ? 12 : 20) * 2;
            for (std::size_t i = std::min(used, row.length); i < row.length; ++i) {
                ASSERT_EQ(card.out[i], 0) << "offset " << i;
            }
        }
    }
    // Another control code is not this driver's function, whatever the buffer.
    EXPECT_EQ(card.Ask(Family::Hubline, Request(10, 12, 64), kStart, 0x001B2014),
              static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    // Input and output must be the one buffer of one length.
    std::vector<std::uint8_t> out;
    EXPECT_EQ(
        card.card.Handle(Family::Hubline, kIoctlPortMonitor, Request(10, 12, 76), 64, out, kStart),
        static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(DriverCard, NameListsFillWhatFitsInFileOrder) {
    Card card("talon COM10 sim\ntalon COM12345678 sim\ntalon COM2 sim\nhubline COM3 sim\n");
    EXPECT_EQ(card.Names(Family::Talon, 5),
              (std::vector<std::string>{"COM10", "COM12345678", "COM2", "", ""}));
    EXPECT_EQ(card.Names(Family::Talon, 2), (std::vector<std::string>{"COM10", "COM12345678"}));
    EXPECT_EQ(card.Names(Family::Hubline, 1), (std::vector<std::string>{"COM3"}));
    // An empty family answers the bare header and padding.
    Card empty("");
    EXPECT_EQ(empty.Ask(Family::Hubline, Request(10, 12, 64)), 0u);
    EXPECT_EQ(empty.Ask(Family::Hubline, Request(11, 20, 56)), 0u);
    EXPECT_EQ(empty.Names(Family::Talon, 3), (std::vector<std::string>{"", "", ""}));
}

TEST(DriverCard, FiveHundredTwelvePortsInOneRequest) {
    DriverCard card;
    card.Load(SimulatedCard(512), kStart);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(card.Handle(Family::Hubline, kIoctlPortMonitor, Request(10, 12, 64 + 12 * 512),
                          64 + 12 * 512, out, kStart),
              0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 16 + 12 * 511)), "COM512");
    ASSERT_EQ(card.Handle(Family::Hubline, kIoctlPortMonitor, Request(11, 20, 56 + 20 * 512),
                          56 + 20 * 512, out, kStart + 2s),
              0u);
    // Every port of the simulated card has traffic.
    for (std::size_t i = 0; i < 512; ++i) {
        const PortCounters c =
            DecodePortCounters(std::span<const std::uint8_t, 20>(out.data() + 16 + 20 * i, 20));
        ASSERT_GT(c.tx, 0u) << "port " << i + 1;
    }
}

TEST(DriverCard, SimulatedTrafficFollowsTheRateExactly) {
    Card card(
        "hubline COM1 sim rate=1200/300\n"
        "hubline COM2 sim rate=1000 vary=0.5\n"
        "hubline COM3 sim rate=0 errors=0\n"
        "hubline COM4 sim rate=10000 errors=0.01\n");
    // Four ports, a request for six: the two extra entries are zero.
    const auto at10 = card.Counters(Family::Hubline, 6, kStart + 10s);
    ASSERT_EQ(at10.size(), 6u);
    EXPECT_EQ(at10[0].tx, 12000u);
    EXPECT_EQ(at10[0].rx, 3000u);
    EXPECT_EQ(at10[0].txPackets, 1u);
    EXPECT_EQ(at10[0].rxPackets, 1u);
    EXPECT_EQ(at10[0].flags, kFlagDtr | kFlagRts | kFlagDsr | kFlagCts | kFlagCd | kFlagOpen);
    // Varied traffic stays within the variation.
    EXPECT_GE(at10[1].tx, 5000u);
    EXPECT_LE(at10[1].tx, 15000u);
    EXPECT_EQ(at10[2], (PortCounters{0, 0, 0, 0, 0, 0, 0, at10[0].flags}));
    // One error per hundred characters, whatever the split among the kinds.
    EXPECT_EQ(at10[3].overrun + at10[3].framing + at10[3].parity, 1000);
    EXPECT_EQ(at10[4], PortCounters{});
    EXPECT_EQ(at10[5], PortCounters{});

    // Fractions of a character carry over: 40 reads of 1/40 s at 1200/s give 1200.
    SteadyTime t = kStart + 10s;
    std::vector<PortCounters> last;
    for (int i = 0; i < 40; ++i) {
        t += 25ms;
        last = card.Counters(Family::Hubline, 1, t);
    }
    EXPECT_EQ(last[0].tx, 13200u);
    EXPECT_EQ(last[0].txPackets, 41u);
    // A read at the same instant adds nothing, not even a packet.
    EXPECT_EQ(card.Counters(Family::Hubline, 1, t)[0].txPackets, 41u);
}

TEST(DriverCard, CarrierRunsAndOpenCycles) {
    Card card(
        "talon COM1 sim cd-on=10 cd-off=5\n"
        "talon COM2 sim rate=100 open-on=4 open-off=6 lines=rts\n"
        "talon COM3 sim cd=no open=no rate=100\n");
    struct Row {
        int second;
        bool cd1;
        bool open2;
    } rows[] = {{1, true, true},   {9, true, false}, {11, false, true}, {14, false, false},
                {16, true, false}, {22, true, true}, {25, false, false}};
    std::uint32_t tx2 = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.second);
        const auto c = card.Counters(Family::Talon, 3, kStart + std::chrono::seconds(row.second));
        EXPECT_EQ((c[0].flags & kFlagCd) != 0, row.cd1);
        EXPECT_EQ(c[1].flags, row.open2 ? kFlagRts | kFlagCd | kFlagOpen : 0);
        // A closed port carries no traffic.
        EXPECT_EQ(c[1].tx > tx2, row.open2);
        tx2 = c[1].tx;
        EXPECT_EQ(c[2], PortCounters{});
    }
}

TEST(DriverCard, ControlFailsRestartsAndSetsCounters) {
    Card card("hubline COM1 sim rate=1000\nhubline COM2 sim rate=10\ntalon COM1 sim rate=5\n");
    EXPECT_EQ(card.card.Control("fail hubline 31", kStart), "ok");
    EXPECT_EQ(card.Ask(Family::Hubline, Request(10, 12, 76)), 31u);
    EXPECT_EQ(card.Ask(Family::Hubline, Request(11, 20, 0)), 31u);  // before any check
    EXPECT_EQ(card.Ask(Family::Talon, Request(10, 12, 76)), 0u);
    EXPECT_EQ(card.card.Control("fail hubline 0", kStart), "ok");
    EXPECT_EQ(card.Ask(Family::Hubline, Request(10, 12, 76)), 0u);

    EXPECT_EQ(card.Counters(Family::Hubline, 2, kStart + 10s)[0].tx, 10000u);
    // Restart one port in one family: the other family's COM1 keeps counting.
    EXPECT_EQ(card.card.Control("restart hubline COM1", kStart + 10s), "ok 1 port");
    auto c = card.Counters(Family::Hubline, 2, kStart + 11s);
    EXPECT_EQ(c[0].tx, 1000u);
    EXPECT_EQ(c[1].tx, 110u);
    EXPECT_EQ(card.Counters(Family::Talon, 1, kStart + 11s)[0].tx, 55u);
    EXPECT_EQ(card.card.Control("restart", kStart + 11s), "ok 3 ports");
    EXPECT_EQ(card.Counters(Family::Talon, 1, kStart + 11s)[0].tx, 0u);

    // Near the top of the u32 and u16 fields, traffic wraps them.
    EXPECT_EQ(card.card.Control("set hubline COM1 tx=4294967000 rx=5 txp=65535 parity=65534",
                                kStart + 11s),
              "ok 1 port");
    c = card.Counters(Family::Hubline, 1, kStart + 12s);
    EXPECT_EQ(c[0].tx, 704u);  // 4294967000 + 1000 - 2^32
    EXPECT_EQ(c[0].rx, 1005u);
    EXPECT_EQ(c[0].txPackets, 0u);
    EXPECT_EQ(c[0].parity, 65534u);

    struct Bad {
        const char* line;
        const char* says;
    } bad[] = {
        {"", "error: empty command"},
        {"reboot", "error: unknown command 'reboot'"},
        {"fail", "error: usage: fail"},
        {"fail swift 3", "error: usage: fail"},
        {"fail hubline -1", "error: usage: fail"},
        {"restart COM99", "error: no port COM99"},
        {"restart hubline COM1 COM2", "error: usage: restart"},
        {"set hubline tx=5", "error: which port?"},
        {"set COM1 tx=4294967296", "error: tx is at most 4294967295"},
        {"set COM1 txp=65536", "error: txp is at most 65535"},
        {"set COM1 speed=5", "error: unknown field 'speed'"},
        {"set COM1 tx", "error: expected FIELD=NUMBER"},
    };
    for (const Bad& row : bad) {
        EXPECT_EQ(card.card.Control(row.line, kStart + 12s).rfind(row.says, 0), 0u) << row.line;
    }
    // The bad commands changed nothing.
    EXPECT_EQ(card.Counters(Family::Hubline, 1, kStart + 12s)[0].tx, 704u);
    EXPECT_EQ(card.card.Control("ports", kStart), "ok hubline:COM1,COM2 talon:COM1 zenith:");
}

TEST(SimPort, TheSameSeedGivesTheSameTraffic) {
    SimSettings settings;
    settings.txRate = 5000;
    settings.rxRate = 5000;
    settings.variation = 0.8;
    settings.errorRate = 0.01;
    SimPort a(settings, 42, kStart), b(settings, 42, kStart), c(settings, 43, kStart);
    bool differs = false;
    for (int i = 1; i <= 20; ++i) {
        const SteadyTime t = kStart + std::chrono::milliseconds(137 * i);
        const auto ca = a.Read(t);
        EXPECT_EQ(ca, b.Read(t));
        differs = differs || ca != c.Read(t);
    }
    EXPECT_TRUE(differs);
    EXPECT_NE(SeedFor("hubline", "COM1"), SeedFor("talon", "COM1"));
    EXPECT_NE(SeedFor("hubline", "COM1"), SeedFor("hublin", "eCOM1"));
}

}  // namespace
