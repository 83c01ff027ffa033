// The four small settings dialogs' rules without windows: what each shows, what OK writes, and
// every text that is no valid value (signs, overflow, empty text, values beyond a field).
#include "terminal/config/advanced_settings_form.h"

#include <gtest/gtest.h>

#include "tests/terminal/config/settings_form_support.h"

namespace {

PortConfig Defaults() {
    PortConfig config;
    FillDefaultPortConfig(config);
    return config;
}

TEST(MiscSettingsForm, ShowsTheDefaultsAndWritesOnlyItsOwnFields) {
    PortConfig config = Defaults();
    config.fOutX = 1;  // a flag the dialog does not show
    platform::DialogFields fields = MiscSettingsFields(config);
    EXPECT_EQ(fields.at("XonChar"), "17");
    EXPECT_EQ(fields.at("XoffChar"), "19");
    EXPECT_EQ(fields.at("XonLim"), "2048");
    EXPECT_EQ(fields.at("XoffLim"), "512");
    for (const char* flag :
         {"fNull", "fDsrSensitivity", "fTXContinueOnXoff", "fAbortOnError", "fErrorChar"}) {
        EXPECT_EQ(fields.at(flag), "0") << flag;
    }
    fields["XonChar"] = "0";
    fields["ErrorChar"] = "255";
    fields["XoffLim"] = "65535";
    fields["fErrorChar"] = "1";
    fields["fNull"] = "1";
    ASSERT_FALSE(ReadMiscSettingsFields(fields, config));
    EXPECT_EQ(config.XonChar, 0);
    EXPECT_EQ(static_cast<unsigned char>(config.ErrorChar), 255);
    EXPECT_EQ(config.XoffLim, 65535);
    EXPECT_EQ(config.fErrorChar, 1u);
    EXPECT_EQ(config.fNull, 1u);
    EXPECT_EQ(config.fOutX, 1u);
    EXPECT_EQ(config.fBinary, 1u);
    EXPECT_EQ(config.BaudRate, 115200u);
    EXPECT_EQ(MiscSettingsFields(config).at("ErrorChar"), "255");
}

TEST(MiscSettingsForm, RefusedTextsKeepTheRecordAndSayWhatIsWanted) {
    struct Row {
        const char* field;
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {"XonChar", "256", kByteFieldMessage},
        {"XoffChar", "-1", kByteFieldMessage},
        {"EofChar", "", kByteFieldMessage},
        {"EvtChar", "1a", kByteFieldMessage},
        {"ErrorChar", "+3", kByteFieldMessage},
        {"XonLim", "65536", kLimitFieldMessage},
        {"XoffLim", "4294967295", kLimitFieldMessage},
        {"XonLim", "-1", kUnsignedFieldMessage},
        {"XoffLim", "", kUnsignedFieldMessage},
        {"XonLim", "4294967296", kUnsignedFieldMessage},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.field) + " = \"" + row.text + "\"");
        const PortConfig before = Defaults();
        PortConfig config = before;
        platform::DialogFields fields = MiscSettingsFields(config);
        fields["fNull"] = "1";
        fields[row.field] = row.text;
        const auto error = ReadMiscSettingsFields(fields, config);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->field, row.field);
        EXPECT_EQ(error->message, row.message);
        EXPECT_TRUE(SameRecord(config, before));
    }
}

TEST(TimeoutSettingsForm, AllFiveRoundTripAndBadTextsAreRefusedWhole) {
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutMultiplier = 2;
    timeouts.ReadTotalTimeoutConstant = 3;
    timeouts.WriteTotalTimeoutMultiplier = 4;
    timeouts.WriteTotalTimeoutConstant = 5;
    platform::DialogFields fields = TimeoutSettingsFields(timeouts);
    EXPECT_EQ(fields.at("WriteTotalTimeoutConstant"), "5");
    EXPECT_EQ(fields.at("WriteTotalTimeoutMultiplier"), "4");
    fields["WriteTotalTimeoutConstant"] = "4294967295";
    COMMTIMEOUTS edited = timeouts;
    ASSERT_FALSE(ReadTimeoutSettingsFields(fields, edited));
    EXPECT_EQ(edited.WriteTotalTimeoutConstant, 4294967295u);
    EXPECT_EQ(edited.ReadTotalTimeoutConstant, 3u);

    for (const char* text : {"", "-1", "4294967296", "ten", "1 2"}) {
        SCOPED_TRACE(text);
        platform::DialogFields bad = TimeoutSettingsFields(timeouts);
        bad["ReadIntervalTimeout"] = "100";
        bad["ReadTotalTimeoutConstant"] = text;
        COMMTIMEOUTS kept = timeouts;
        const auto error = ReadTimeoutSettingsFields(bad, kept);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->message, kUnsignedFieldMessage);
        EXPECT_EQ(kept.ReadIntervalTimeout, 1u);  // nothing is written when one field is bad
    }
}

TEST(EventSettingsForm, TheMaskIsExactlyTheCheckedEvents) {
    platform::DialogFields fields = EventSettingsFields(kAlwaysWatchedEvents | 0x4000);
    EXPECT_EQ(fields.size(), 13u);
    EXPECT_EQ(fields.at("EV_CTS"), "1");
    EXPECT_EQ(fields.at("EV_RING"), "1");
    EXPECT_EQ(fields.at("EV_RXCHAR"), "0");
    // A bit outside the thirteen is dropped on OK.
    EXPECT_EQ(ReadEventSettingsFields(fields), kAlwaysWatchedEvents);
    for (auto& [name, value] : fields) {
        value = "1";
    }
    EXPECT_EQ(ReadEventSettingsFields(fields), kAllEvents);
}

TEST(QueueSettingsForm, SizesRoundTripAndBadTextsAreRefused) {
    COMMPROP properties;
    properties.dwCurrentRxQueue = 4096;
    properties.dwCurrentTxQueue = 1024;
    platform::DialogFields fields = QueueSettingsFields(properties);
    EXPECT_EQ(fields.at(queue_settings_field::kReceive), "4096");
    EXPECT_EQ(fields.at(queue_settings_field::kTransmit), "1024");
    fields[queue_settings_field::kReceive] = "8192";
    ASSERT_FALSE(ReadQueueSettingsFields(fields, properties));
    EXPECT_EQ(properties.dwCurrentRxQueue, 8192u);
    EXPECT_EQ(properties.dwCurrentTxQueue, 1024u);
    for (const char* text : {"", "-5", "99999999999", "1k"}) {
        SCOPED_TRACE(text);
        platform::DialogFields bad = fields;
        bad[queue_settings_field::kTransmit] = text;
        COMMPROP kept = properties;
        const auto error = ReadQueueSettingsFields(bad, kept);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->message, kUnsignedFieldMessage);
        EXPECT_EQ(kept.dwCurrentTxQueue, 1024u);
    }
}

}  // namespace
