// The Port Settings dialog's record-to-controls and controls-to-record rules, without a window:
// every preset round trip, records no preset can show, the 500000 entry that stands for the
// record's 300, typed rates, and the texts that are no valid setting.
#include "terminal/config/port_settings_form.h"

#include <gtest/gtest.h>

#include "tests/terminal/config/settings_form_support.h"

namespace {

namespace f = port_settings_field;

PortConfig Defaults() {
    PortConfig config;
    FillDefaultPortConfig(config);
    config.DCBlength = kDcbSize;
    return config;
}

// OK on the dialog as it opened for `config`, with `changes` made.
PortConfig Ok(PortConfig config, const platform::DialogFields& changes = {}, bool fromPort = false,
              bool* applyToAll = nullptr) {
    platform::DialogFields fields = PortSettingsFields(config, fromPort);
    for (const auto& [name, value] : changes) {
        fields[name] = value;
    }
    const auto error = ReadPortSettingsFields(fields, config, applyToAll);
    EXPECT_FALSE(error) << (error ? error->message : "");
    return config;
}

TEST(PortSettingsForm, EveryPresetWritesItsFlowSettingsAndOpensAsItselfAgain) {
    struct Row {
        const char* preset;
        DWORD inX, outX, cts, dsr, rts, dtr;
    };
    const Row rows[] = {
        {kFlowNone, 0, 0, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE},
        {kFlowSoftware, 1, 1, 0, 0, RTS_CONTROL_ENABLE, DTR_CONTROL_ENABLE},
        {kFlowHardware, 0, 0, 1, 0, RTS_CONTROL_HANDSHAKE, DTR_CONTROL_ENABLE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.preset);
        // Start from a record whose detail controls say something else entirely: the preset
        // wins over whatever the disabled controls show.
        PortConfig start = Defaults();
        start.fOutxDsrFlow = 1;
        start.fDtrControl = DTR_CONTROL_HANDSHAKE;
        start.fRtsControl = RTS_CONTROL_TOGGLE;
        start.fInX = 1;
        const PortConfig chosen = Ok(start, {{f::kFlow, row.preset}});
        EXPECT_EQ(chosen.fInX, row.inX);
        EXPECT_EQ(chosen.fOutX, row.outX);
        EXPECT_EQ(chosen.fOutxCtsFlow, row.cts);
        EXPECT_EQ(chosen.fOutxDsrFlow, row.dsr);
        EXPECT_EQ(chosen.fRtsControl, row.rts);
        EXPECT_EQ(chosen.fDtrControl, row.dtr);
        EXPECT_EQ(PortSettingsFields(chosen, false).at(f::kFlow), row.preset);
        EXPECT_TRUE(SameRecord(Ok(chosen), chosen));
    }
}

// A record the presets cannot reproduce must open as "Advanced": otherwise OK without a change
// would rewrite its flow settings to the preset's.
TEST(PortSettingsForm, RecordsNoPresetReproducesOpenAsAdvancedAndSurviveOk) {
    struct Row {
        const char* what;
        void (*change)(PortConfig&);
    };
    const Row rows[] = {
        {"receive XON/XOFF only", [](PortConfig& c) { c.fInX = 1; }},
        {"RTS toggle", [](PortConfig& c) { c.fRtsControl = RTS_CONTROL_TOGGLE; }},
        {"RTS and DTR handshake",
         [](PortConfig& c) {
             c.fRtsControl = RTS_CONTROL_HANDSHAKE;
             c.fDtrControl = DTR_CONTROL_HANDSHAKE;
         }},
        {"no flow control but CTS output handshake", [](PortConfig& c) { c.fOutxCtsFlow = 1; }},
        {"no flow control but DTR off", [](PortConfig& c) { c.fDtrControl = 0; }},
        {"XON/XOFF with RTS off",
         [](PortConfig& c) {
             c.fInX = c.fOutX = 1;
             c.fRtsControl = RTS_CONTROL_DISABLE;
         }},
        {"hardware with DSR handshake",
         [](PortConfig& c) {
             c.fRtsControl = RTS_CONTROL_HANDSHAKE;
             c.fOutxCtsFlow = c.fOutxDsrFlow = 1;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PortConfig config = Defaults();
        row.change(config);
        EXPECT_EQ(PortSettingsFields(config, true).at(f::kFlow), kFlowAdvanced);
        EXPECT_TRUE(SameRecord(Ok(config), config));
    }
}

TEST(PortSettingsForm, BaudRatesChosenTypedAndTheEntryThatStandsFor300) {
    struct Row {
        const char* text;
        DWORD stored;
    };
    const Row rows[] = {{"500000", 300}, {"921600", 921600}, {"14400", 14400},
                        {"600", 600},    {" 9600 ", 9600},   {"4294967295", 4294967295u},
                        {"50", 50}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const PortConfig config = Ok(Defaults(), {{f::kBaud, row.text}});
        EXPECT_EQ(config.BaudRate, row.stored);
    }
    PortConfig at300 = Defaults();
    at300.BaudRate = 300;
    EXPECT_EQ(PortSettingsFields(at300, false).at(f::kBaud), "500000");
    EXPECT_EQ(Ok(at300).BaudRate, 300u);
    PortConfig at50 = Defaults();
    at50.BaudRate = 50;
    EXPECT_EQ(PortSettingsFields(at50, false).at(f::kBaud), "50");
}

TEST(PortSettingsForm, LineFormatFromTheListsAndParityCheckingFollowsParity) {
    PortConfig config =
        Ok(Defaults(), {{f::kDataBits, "7"}, {f::kParity, "Even"}, {f::kStopBits, "2"}});
    EXPECT_EQ(config.ByteSize, 7);
    EXPECT_EQ(config.Parity, EVENPARITY);
    EXPECT_EQ(config.StopBits, TWOSTOPBITS);
    EXPECT_EQ(config.fParity, 1u);
    config = Ok(config, {{f::kDataBits, "5"}, {f::kParity, "None"}, {f::kStopBits, "1.5"}});
    EXPECT_EQ(config.ByteSize, 5);
    EXPECT_EQ(config.StopBits, ONE5STOPBITS);
    EXPECT_EQ(config.fParity, 0u);
}

TEST(PortSettingsForm, TextsThatAreNoValidSettingKeepTheRecordAndNameTheirControl) {
    struct Row {
        const char* field;
        const char* text;
    };
    const Row rows[] = {
        {f::kBaud, ""},
        {f::kBaud, "fast"},
        {f::kBaud, "-9600"},
        {f::kBaud, "+9600"},
        {f::kBaud, "0"},
        {f::kBaud, "4294967296"},
        {f::kBaud, "18446744073709561216"},
        {f::kBaud, "9600x"},
        {f::kBaud, "300"},
        {f::kDataBits, "4"},
        {f::kDataBits, "9"},
        {f::kDataBits, ""},
        {f::kDataBits, "eight"},
        {f::kDataBits, "264"},
        {f::kParity, "none"},
        {f::kParity, "Weird"},
        {f::kParity, ""},
        {f::kStopBits, "3"},
        {f::kStopBits, "1,5"},
        {f::kStopBits, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.field) + " = \"" + row.text + "\"");
        const PortConfig before = Defaults();
        PortConfig config = before;
        platform::DialogFields fields = PortSettingsFields(config, true);
        fields[row.field] = row.text;
        fields[f::kFlow] = kFlowHardware;
        const auto error = ReadPortSettingsFields(fields, config);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->field, row.field);
        EXPECT_FALSE(error->message.empty());
        EXPECT_TRUE(SameRecord(config, before));
    }
}

TEST(PortSettingsForm, AdvancedTakesTheDetailControlsAndApplyToAllOnlyFromAPort) {
    bool applyToAll = false;
    PortConfig config = Ok(Defaults(),
                           {{f::kFlow, kFlowAdvanced},
                            {f::kRts, "Toggle"},
                            {f::kDtr, "Clear"},
                            {f::kReceiveXonXoff, "1"},
                            {f::kDsr, "1"},
                            {f::kApplyToAll, "1"}},
                           true, &applyToAll);
    EXPECT_EQ(config.fRtsControl, RTS_CONTROL_TOGGLE);
    EXPECT_EQ(config.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(config.fInX, 1u);
    EXPECT_EQ(config.fOutX, 0u);
    EXPECT_EQ(config.fOutxDsrFlow, 1u);
    EXPECT_EQ(config.fOutxCtsFlow, 0u);
    EXPECT_TRUE(applyToAll);
    // The Open Ports dialog's use has the box disabled: a checked value cannot get through.
    Ok(Defaults(), {{f::kApplyToAll, "1"}}, false, &applyToAll);
    EXPECT_FALSE(applyToAll);
    // The fields the dialog does not show pass through.
    PortConfig special = Defaults();
    special.XonLim = 77;
    special.EvtChar = 'E';
    special.fNull = 1;
    const PortConfig after = Ok(special, {{f::kBaud, "57600"}});
    EXPECT_EQ(after.XonLim, 77);
    EXPECT_EQ(after.EvtChar, 'E');
    EXPECT_EQ(after.fNull, 1u);
}

}  // namespace
