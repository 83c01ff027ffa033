// The Zenith family's management class answered in-process: which query texts are taken and
// which HRESULT refuses the others, the instances with their properties and 32-bit counts, and
// the control lines that fail, reorder, hide and strip them.

#include "drivers/wmi_provider.h"

#include <gtest/gtest.h>

#include <optional>

#include "drivers/service_config.h"

using namespace portcount;
using namespace std::chrono_literals;
namespace wmi = platform::wmi;

namespace {

const SteadyTime kStart = SteadyTime{} + 1000s;

constexpr const char* kCard =
    "hubline COM3 sim rate=0 vary=0 errors=0\n"
    "zenith  COM7 sim rate=0 vary=0 errors=0\n"
    "zenith  COM8 sim rate=0 vary=0 errors=0 open=no\n"
    "zenith  COM9 sim rate=0 vary=0 errors=0\n";

class Provider {
  public:
    explicit Provider(const std::string& config = kCard) {
        std::vector<std::string> problems;
        card.Load(ParseConfig(config, "test", problems), kStart);
        EXPECT_TRUE(problems.empty());
    }

    wmi::Answer Ask(std::uint32_t op, const std::vector<std::uint8_t>& input) {
        frame = provider.Answer({op, input, 16 + input.size()}, kStart);
        wmi::Answer answer;
        EXPECT_EQ(wmi::DecodeAnswer(frame, answer), platform::devio::FrameStatus::Complete);
        return answer;
    }
    platform::HRESULT Connect(std::u16string_view ns) {
        return Ask(wmi::kOpConnect, wmi::Utf16Bytes(ns)).status;
    }
    // The status of the query, and its instances when it succeeded.
    std::pair<platform::HRESULT, std::optional<wmi::QueryResult>> Query(
        std::u16string_view text, std::u16string_view language = u"WQL") {
        const wmi::Answer answer = Ask(wmi::kOpQuery, wmi::EncodeQueryInput(language, text));
        if (answer.status != 0) {
            return {answer.status, std::nullopt};
        }
        return {0, wmi::DecodeQueryResult(answer.bytes)};
    }
    wmi::QueryResult Instances() {
        auto [status, result] = Query(u"SELECT * FROM MSSerial_TalonCard_Seltra_Status");
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(result.has_value());
        return result.value_or(wmi::QueryResult{});
    }
    std::vector<std::string> PortNames() {
        std::vector<std::string> names;
        for (const wmi::Instance& instance : Instances().instances) {
            names.push_back(wmi::ToAnsi(instance.properties.at(0).text));
        }
        return names;
    }

    DriverCard card;
    WmiProvider provider{card};
    std::vector<std::uint8_t> frame;
};

const wmi::Property* Find(const wmi::Instance& instance, std::string_view name) {
    for (const wmi::Property& p : instance.properties) {
        if (p.name == name) {
            return &p;
        }
    }
    return nullptr;
}

TEST(WmiProvider, OnlyTheOneQueryFormIsAnswered) {
    Provider p;
    struct Row {
        const char16_t* language;
        const char16_t* text;
        platform::HRESULT status;
    } rows[] = {
        {u"WQL", u"SELECT * FROM MSSerial_TalonCard_Seltra_Status", 0},
        {u"wql", u"  select\t*  from  msserial_taloncard_seltra_status \r\n", 0},
        {u"WQL", u"SELECT * FROM Win32_SerialPort", platform::WBEM_E_INVALID_CLASS},
        {u"WQL", u"SELECT PortName FROM MSSerial_TalonCard_Seltra_Status",
         platform::WBEM_E_INVALID_QUERY},
        {u"WQL", u"SELECT * FROM MSSerial_TalonCard_Seltra_Status WHERE Active = TRUE",
         platform::WBEM_E_INVALID_QUERY},
        {u"WQL", u"SELECT *", platform::WBEM_E_INVALID_QUERY},
        {u"WQL", u"", platform::WBEM_E_INVALID_QUERY},
        {u"WQL", u"SELECT * FROM MSSerial_TalonCard_Seltra_St\u00e4tus",
         platform::WBEM_E_INVALID_QUERY},
        {u"SQL", u"SELECT * FROM MSSerial_TalonCard_Seltra_Status",
         platform::WBEM_E_INVALID_QUERY_TYPE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(wmi::ToAnsi(row.text));
        EXPECT_EQ(p.Query(row.text, row.language).first, row.status);
    }
    EXPECT_EQ(p.provider.Queries(), 9);

    // Without Zenith ports the driver is absent, and so is its class.
    Provider none("hubline COM3 sim\n");
    EXPECT_EQ(none.Query(u"SELECT * FROM MSSerial_TalonCard_Seltra_Status").first,
              platform::WBEM_E_INVALID_CLASS);
}

TEST(WmiProvider, ConnectTakesOnlyItsNamespace) {
    Provider p;
    EXPECT_EQ(p.Connect(u"ROOT\\WMI"), 0);
    EXPECT_EQ(p.Connect(u"root\\wmi"), 0);
    EXPECT_EQ(p.Connect(u"\\\\.\\ROOT\\WMI"), 0);
    EXPECT_EQ(p.Connect(u"ROOT\\CIMV2"), platform::WBEM_E_INVALID_NAMESPACE);
    EXPECT_EQ(p.Connect(u""), platform::WBEM_E_INVALID_NAMESPACE);
    EXPECT_EQ(p.provider.Connects(), 5);
    // An operation it does not know is refused, not taken for a query.
    EXPECT_EQ(p.Ask(7, {}).status, platform::WBEM_E_INVALID_PARAMETER);
}

TEST(WmiProvider, InstancesCarryThePrefixedNameAndThirtyTwoBitCounts) {
    Provider p;
    ASSERT_EQ(p.card.Control("set zenith COM8 tx=4000000000 rx=7 overrun=70000 buffer=3 "
                             "framing=65536 parity=1",
                             kStart),
              "ok 1 port");
    // The other families' error counts stay 16-bit; so does a set that names them too.
    EXPECT_EQ(
        p.card.Control("set COM3 overrun=70000", kStart).rfind("error: overrun is at most", 0), 0u);
    EXPECT_EQ(p.card.Control("set hubline COM3 buffer=1", kStart), "error: unknown field 'buffer'");

    EXPECT_EQ(p.PortNames(), (std::vector<std::string>{"\\DosDevices\\COM7", "\\DosDevices\\COM8",
                                                       "\\DosDevices\\COM9"}));
    const wmi::QueryResult result = p.Instances();
    EXPECT_EQ(result.endStatus, platform::WBEM_S_FALSE);
    const wmi::Instance& com8 = result.instances.at(1);
    const struct {
        const char* property;
        std::uint32_t value;
    } expected[] = {{"TransmittedCount", 4000000000u},
                    {"ReceivedCount", 7},
                    {"SerialOverrunErrorCount", 70000},
                    {"BufferOverrunErrorCount", 3},
                    {"FrameErrorCount", 65536},
                    {"ParityErrorCount", 1},
                    {"Status_Flags", 0}};  // closed: no lines, not open
    for (const auto& e : expected) {
        SCOPED_TRACE(e.property);
        const wmi::Property* property = Find(com8, e.property);
        ASSERT_NE(property, nullptr);
        EXPECT_EQ(property->kind, wmi::Property::Kind::Number);
        EXPECT_EQ(property->number, e.value);
    }
    EXPECT_EQ(Find(result.instances.at(0), "Status_Flags")->number, 0x0100u | 0x3Bu);
}

TEST(WmiProvider, ControlLinesReorderHideStripFailAndDelay) {
    Provider p;
    const auto control = [&](const char* line) { return p.provider.Control(line); };
    EXPECT_EQ(control("wmi order COM9 COM8"), "ok");
    EXPECT_EQ(p.PortNames(), (std::vector<std::string>{"\\DosDevices\\COM9", "\\DosDevices\\COM8",
                                                       "\\DosDevices\\COM7"}));
    EXPECT_EQ(control("wmi hide COM8"), "ok");
    EXPECT_EQ(p.PortNames(),
              (std::vector<std::string>{"\\DosDevices\\COM9", "\\DosDevices\\COM7"}));
    EXPECT_EQ(control("wmi show COM8"), "ok");
    EXPECT_EQ(control("wmi order"), "ok");
    EXPECT_EQ(p.PortNames().size(), 3u);

    EXPECT_EQ(control("wmi omit COM7 ReceivedCount"), "ok");
    EXPECT_EQ(control("wmi omit COM7 ParityErrorCount 0x80041001"), "ok");
    const wmi::Instance com7 = p.Instances().instances.at(0);
    EXPECT_EQ(Find(com7, "ReceivedCount"), nullptr);
    ASSERT_NE(Find(com7, "ParityErrorCount"), nullptr);
    EXPECT_EQ(Find(com7, "ParityErrorCount")->kind, wmi::Property::Kind::Failure);
    EXPECT_EQ(Find(com7, "ParityErrorCount")->number, 0x80041001u);

    // A failure for a count of requests, then normal answers again.
    EXPECT_EQ(control("wmi fail query 0x80041015 2"), "ok");
    EXPECT_EQ(p.Query(u"SELECT * FROM MSSerial_TalonCard_Seltra_Status").first,
              platform::WBEM_E_TRANSPORT_FAILURE);
    EXPECT_EQ(p.Query(u"SELECT * FROM MSSerial_TalonCard_Seltra_Status").first,
              platform::WBEM_E_TRANSPORT_FAILURE);
    EXPECT_EQ(p.Query(u"SELECT * FROM MSSerial_TalonCard_Seltra_Status").first, 0);
    EXPECT_EQ(control("wmi fail next 0x80041001"), "ok");
    EXPECT_TRUE(p.Instances().instances.empty());
    EXPECT_EQ(p.Instances().endStatus, platform::WBEM_E_FAILED);
    EXPECT_EQ(control("wmi fail next 0"), "ok");
    EXPECT_EQ(control("wmi fail connect 0x80041003"), "ok");
    EXPECT_EQ(p.Connect(u"ROOT\\WMI"), platform::MakeHresult(0x80041003u));
    // The family-wide failure fails every query with its code.
    EXPECT_EQ(p.card.Control("fail zenith 0x80041010", kStart), "ok");
    EXPECT_EQ(p.Query(u"SELECT * FROM MSSerial_TalonCard_Seltra_Status").first,
              platform::WBEM_E_INVALID_CLASS);
    EXPECT_EQ(p.card.Control("fail zenith 0", kStart), "ok");

    EXPECT_EQ(control("wmi delay 250"), "ok");
    EXPECT_EQ(p.provider.Delay(), 250ms);
    EXPECT_EQ(control("wmi stats"), "ok connects=1 queries=10");
    EXPECT_EQ(control("wmi reset"), "ok");
    EXPECT_EQ(p.provider.Delay(), 0ms);
    EXPECT_EQ(p.Connect(u"ROOT\\WMI"), 0);
    EXPECT_NE(Find(p.Instances().instances.at(0), "ReceivedCount"), nullptr);

    struct Bad {
        const char* line;
        const char* says;
    } bad[] = {
        {"wmi", "error: usage: wmi"},
        {"wmi fail parse 3", "error: usage: wmi fail"},
        {"wmi fail query", "error: usage: wmi fail"},
        {"wmi fail query 0x1FFFFFFFF", "error: usage: wmi fail"},
        {"wmi fail query 3 lots", "error: usage: wmi fail"},
        {"wmi order COM7 COM3", "error: no zenith port COM3"},
        {"wmi hide", "error: usage: wmi hide"},
        {"wmi hide COM1", "error: no zenith port COM1"},
        {"wmi omit COM7", "error: usage: wmi omit"},
        {"wmi omit COM7 PortName nope", "error: usage: wmi omit"},
        {"wmi delay soon", "error: usage: wmi delay"},
        {"wmi delay 600001", "error: usage: wmi delay"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.line);
        EXPECT_EQ(control(b.line).rfind(b.says, 0), 0u) << control(b.line);
    }
}

TEST(WmiProtocol, QueryResultsRoundTripAndCutsAreRefused) {
    wmi::QueryResult result;
    wmi::Instance instance;
    wmi::Property name;
    name.name = "PortName";
    name.kind = wmi::Property::Kind::Text;
    name.text = u"\\DosDevices\\COM7\u20ac";
    wmi::Property count;
    count.name = "ReceivedCount";
    count.number = 0xFFFFFFFFu;
    wmi::Property failing;
    failing.name = "Status_Flags";
    failing.kind = wmi::Property::Kind::Failure;
    failing.number = 0x80041002u;
    instance.properties = {name, count, failing};
    result.instances = {instance, instance};
    result.endStatus = platform::WBEM_E_FAILED;
    const std::vector<std::uint8_t> bytes = wmi::EncodeQueryResult(result);
    EXPECT_EQ(wmi::DecodeQueryResult(bytes), result);
    // Every shorter piece, and any byte more, is not a result.
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        EXPECT_FALSE(wmi::DecodeQueryResult(std::span(bytes).first(n)).has_value()) << n;
    }
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(wmi::DecodeQueryResult(longer).has_value());
    // A count that the bytes cannot hold is refused before anything is made for it.
    std::vector<std::uint8_t> huge = {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0};
    EXPECT_FALSE(wmi::DecodeQueryResult(huge).has_value());

    EXPECT_EQ(wmi::ToAnsi(u"\\DosDevices\\COM\u00e9\u20ac\U0001F600"), "\\DosDevices\\COM\xe9??");
}

}  // namespace
