// The settings commands of a serial port on simulated devices: what each dialog starts from on
// a fresh port, what OK writes to the device (and only OK), the refusals with their texts, the
// closed port, and the settings taking effect on the wire.
#include "terminal/session/settings_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/comm/sim_device.h"
#include "terminal/config/advanced_settings_form.h"
#include "terminal/config/port_settings_form.h"
#include "terminal/resources/halvo_resources.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

using Kind = platform::ScriptedPrompts::Record::Kind;

// The scripted prompts, with something done to the port while the user looks at the dialog.
class DuringDialogPrompts : public platform::PromptService {
  public:
    DuringDialogPrompts(platform::ScriptedPrompts& script, std::function<void()> during)
        : script_(script), during_(std::move(during)) {}
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override {
        return script_.MessageBox(text, caption, style);
    }
    std::optional<std::string> OpenFileName(const platform::FileDialogRequest& r) override {
        return script_.OpenFileName(r);
    }
    std::optional<std::string> SaveFileName(const platform::FileDialogRequest& r) override {
        return script_.SaveFileName(r);
    }
    platform::DialogAnswer RunDialog(const platform::DialogRequest& request) override {
        during_();
        return script_.RunDialog(request);
    }

  private:
    platform::ScriptedPrompts& script_;
    std::function<void()> during_;
};

class SettingsCommandTest : public SessionTest {
  protected:
    // Runs command `id` on `session` with the dialog answered by `button` and `fields`, and
    // waits until its thread and its error boxes are done.
    void Run(PortSession& session, int id, int button, platform::DialogFields fields = {}) {
        prompts_.AnswerDialogWith(button, std::move(fields));
        ASSERT_TRUE(session.OnSettingsCommand(id));
        ASSERT_TRUE(WaitForSettingsCommands(20000));
        ASSERT_TRUE(WaitForPortErrorBoxes(20000));
    }
    // The starting values of the last dialog asked for.
    platform::DialogFields LastDialog() const {
        const auto records = prompts_.Records();
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
            if (it->kind == Kind::Dialog) {
                return it->fields;
            }
        }
        return {};
    }
    std::vector<std::string> Boxes(std::size_t from = 0) const {
        std::vector<std::string> texts;
        const auto records = prompts_.Records();
        for (std::size_t i = from; i < records.size(); ++i) {
            if (records[i].kind == Kind::MessageBox) {
                texts.push_back(records[i].text);
            }
        }
        return texts;
    }
    static platform::CommDevice& Device(PortSession& session) {
        return *session.Transport()->SerialDevice();
    }
    std::string PairEnd(const char* end) const {
        return std::string("sim:null-modem/") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/" + end;
    }
};

TEST_F(SettingsCommandTest, EachDialogStartsFromWhatAFreshPortsDeviceReports) {
    auto session = Make("COM1", link_);
    Run(*session, ID_MISC_SETTINGS, IDCANCEL);
    const auto misc = LastDialog();
    EXPECT_EQ(misc.at("XonChar"), "17");
    EXPECT_EQ(misc.at("XoffChar"), "19");
    EXPECT_EQ(misc.at("XonLim"), "2048");
    EXPECT_EQ(misc.at("XoffLim"), "512");
    EXPECT_EQ(misc.at("fErrorChar"), "0");
    EXPECT_EQ(misc.at("fAbortOnError"), "0");

    Run(*session, ID_TIMEOUTS, IDCANCEL);
    for (const auto& [name, value] : LastDialog()) {
        EXPECT_EQ(value, "0") << name;
    }
    Run(*session, ID_EVENTS, IDCANCEL);
    EXPECT_EQ(ReadEventSettingsFields(LastDialog()), kAlwaysWatchedEvents);

    Run(*session, ID_QUEUE_SIZE, IDCANCEL);
    COMMPROP properties;
    ASSERT_TRUE(Device(*session).GetCommProperties(properties));
    EXPECT_EQ(LastDialog().at(queue_settings_field::kReceive),
              std::to_string(properties.dwCurrentRxQueue));

    Run(*session, ID_PORT_SETTINGS, IDCANCEL);
    const auto port = LastDialog();
    EXPECT_EQ(port.at(port_settings_field::kBaud), "115200");
    EXPECT_EQ(port.at(port_settings_field::kFlow), kFlowNone);
    EXPECT_EQ(port.at(port_settings_field::kFromPort), "1");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SettingsCommandTest, CancelWritesNothingAndOkWritesTheDevice) {
    auto session = Make("COM1", link_);
    platform::CommDevice& device = Device(*session);
    const platform::DialogFields allOn = [] {
        platform::DialogFields fields;
        for (const EventBit& event : kEventBits) {
            fields[event.name] = "1";
        }
        return fields;
    }();
    Run(*session, ID_EVENTS, IDCANCEL, allOn);
    DWORD mask = 0;
    ASSERT_TRUE(device.GetCommMask(mask));
    EXPECT_EQ(mask, kAlwaysWatchedEvents);
    Run(*session, ID_EVENTS, IDOK, allOn);
    ASSERT_TRUE(device.GetCommMask(mask));
    EXPECT_EQ(mask, kAllEvents);
    platform::DialogFields allOff = allOn;
    for (auto& [name, value] : allOff) {
        value = "0";
    }
    Run(*session, ID_EVENTS, IDOK, allOff);
    ASSERT_TRUE(device.GetCommMask(mask));
    EXPECT_EQ(mask, kAlwaysWatchedEvents);  // the modem lines stay watched

    Run(*session, ID_MISC_SETTINGS, IDOK, {{"XonLim", "100"}, {"EvtChar", "126"}, {"fNull", "1"}});
    DCB state;
    ASSERT_TRUE(device.GetCommState(state));
    EXPECT_EQ(state.XonLim, 100);
    EXPECT_EQ(state.EvtChar, '~');
    EXPECT_EQ(state.fNull, 1u);
    EXPECT_EQ(state.BaudRate, 115200u);

    Run(*session, ID_QUEUE_SIZE, IDOK, {{queue_settings_field::kReceive, "8192"}});
    COMMPROP properties;
    ASSERT_TRUE(device.GetCommProperties(properties));
    EXPECT_EQ(properties.dwCurrentRxQueue, 8192u);

    const std::size_t mark = link_->Size();
    Run(*session, ID_PORT_SETTINGS, IDOK,
        {{port_settings_field::kBaud, "14400"}, {port_settings_field::kFlow, kFlowHardware}});
    ASSERT_TRUE(device.GetCommState(state));
    EXPECT_EQ(state.BaudRate, 14400u);
    EXPECT_EQ(state.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(state.fOutxCtsFlow, 1u);
    EXPECT_TRUE(IsSubsequence({Indicator(ID_INDICATOR_DTR, 1), Indicator(ID_INDICATOR_RTS, 1)},
                              link_->Since(mark)));
    // Applied to this port only: the record new windows copy is untouched.
    EXPECT_EQ(DefaultPortConfig().BaudRate, 115200u);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SettingsCommandTest, RefusedSettingsAreReportedWithTheirTexts) {
    const std::string unplugged = PairEnd("A");
    struct Row {
        const char* what;
        int id;
        platform::DialogFields fields;
        bool unplugDuringDialog;
        std::string box;
    };
    const std::string invalid = "\n\n(error code: " + std::to_string(ERROR_INVALID_PARAMETER) + ")";
    const Row rows[] = {
        {"stop bits the format cannot have",
         ID_PORT_SETTINGS,
         {{port_settings_field::kStopBits, "1.5"}},
         false,
         "Port failed to accept new settings!\t" + invalid},
        // Software flow control is on, so XON and XOFF cannot be the same character.
        {"XON equal to XOFF",
         ID_MISC_SETTINGS,
         {{"XonChar", "19"}},
         false,
         "Port failed to accept new misc.settings!\t" + invalid},
        {"an empty receive queue",
         ID_QUEUE_SIZE,
         {{queue_settings_field::kReceive, "0"}},
         false,
         "Port failed to accept new queue settings!\t" + invalid},
        {"time-outs of a device pulled out",
         ID_TIMEOUTS,
         {},
         true,
         "Port failed to accept new timeouts!"},
        {"a mask of a device pulled out", ID_EVENTS, {}, true, "Port failed to accept new mask!\t"},
    };
    DefaultPortConfig().fInX = 1;
    DefaultPortConfig().fOutX = 1;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        DuringDialogPrompts during(prompts_, [&] {
            if (row.unplugDuringDialog) {
                platform::UnplugSimulatedDevice(unplugged);
            }
        });
        auto session = Make("COM1", std::make_shared<RecordingLink>(), &during);
        const std::size_t mark = prompts_.Count();
        Run(*session, row.id, IDOK, row.fields);
        const auto boxes = Boxes(mark);
        ASSERT_EQ(boxes.size(), 1u);
        // A pulled-out device's error is the system's; the text before it is what counts.
        EXPECT_EQ(boxes[0].substr(0, row.box.size()), row.box);
        if (!row.unplugDuringDialog) {
            EXPECT_EQ(boxes[0], row.box);
        } else {
            EXPECT_NE(boxes[0].find("(error code: "), std::string::npos);
        }
        session.reset();
        platform::ReplugSimulatedDevice(unplugged);
    }
}

TEST_F(SettingsCommandTest, AnAnswerThatIsNoValidSettingIsReportedAndWritesNothing) {
    auto session = Make("COM1", link_);
    Run(*session, ID_MISC_SETTINGS, IDOK, {{"XoffLim", "70000"}, {"fNull", "1"}});
    Run(*session, ID_PORT_SETTINGS, IDOK, {{port_settings_field::kBaud, "-1"}});
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kLimitFieldMessage,
                                                 "Enter a baud rate between 1 and 4294967295."}));
    DCB state;
    ASSERT_TRUE(Device(*session).GetCommState(state));
    EXPECT_EQ(state.XoffLim, 512);
    EXPECT_EQ(state.fNull, 0u);
    EXPECT_EQ(state.BaudRate, 115200u);
}

TEST_F(SettingsCommandTest, OnAClosedPortNoDialogOpens) {
    auto session = Make("COM4", link_);  // no device: the port stays closed
    ASSERT_TRUE(WaitForPortErrorBoxes(20000));
    const std::size_t mark = prompts_.Count();
    const long traces = Traced("Port is closed!\n");
    for (int id : {ID_PORT_SETTINGS, ID_MISC_SETTINGS, ID_TIMEOUTS, ID_EVENTS, ID_QUEUE_SIZE}) {
        Run(*session, id, IDOK);
    }
    EXPECT_EQ(Boxes(mark), std::vector<std::string>(5, "Port is not open!\t"));
    EXPECT_EQ(Traced("Port is closed!\n"), traces + 5);
    EXPECT_EQ(prompts_.Count(), mark + 5);  // boxes only, no dialog
    EXPECT_FALSE(session->OnSettingsCommand(ID_DTR));
}

TEST_F(SettingsCommandTest, ApplyToAllStoresTheWholeRecordBeforeAskingTheFrame) {
    auto session = Make("COM1", link_);
    const std::size_t mark = link_->Size();
    Run(*session, ID_PORT_SETTINGS, IDOK,
        {{port_settings_field::kBaud, "921600"}, {port_settings_field::kApplyToAll, "1"}});
    EXPECT_TRUE(WaitPosted(*link_, {Target::MdiClient, UWM_APPLY_ALL_REQUEST, 0, 0}, mark));
    EXPECT_EQ(CopyDefaultPortConfig().BaudRate, 921600u);
    // The frame's request applies it; until then the device keeps its rate.
    DCB state;
    ASSERT_TRUE(Device(*session).GetCommState(state));
    EXPECT_EQ(state.BaudRate, 115200u);
    session->ApplyPortConfig(CopyDefaultPortConfig());
    ASSERT_TRUE(Device(*session).GetCommState(state));
    EXPECT_EQ(state.BaudRate, 921600u);
}

TEST_F(SettingsCommandTest, AWriteTimeoutEndsASlowWriteEarly) {
    DefaultPortConfig().BaudRate = 1200;
    auto session = Make("COM1", link_);
    PeerDevice peer("COM2");
    Run(*session, ID_TIMEOUTS, IDOK, {{"WriteTotalTimeoutConstant", "100"}});
    COMMTIMEOUTS timeouts;
    ASSERT_TRUE(Device(*session).GetCommTimeouts(timeouts));
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);
    // 1200 bytes take ten seconds at 1200 baud; the time-out ends the write long before.
    const std::string block(1200, 'x');
    DWORD written = 0;
    Device(*session).WriteFile(block.data(), static_cast<DWORD>(block.size()), written);
    EXPECT_LT(written, block.size());
}

TEST_F(SettingsCommandTest, APortAt9600AgainstOneAt115200SeesFramingErrors) {
    auto session = Make("COM1", link_);
    PeerDevice peer("COM2");
    Run(*session, ID_PORT_SETTINGS, IDOK, {{port_settings_field::kBaud, "9600"}});
    DCB state;
    ASSERT_TRUE(Device(*session).GetCommState(state));
    ASSERT_EQ(state.BaudRate, 9600u);
    session->StartSending();
    EXPECT_TRUE(WaitUntil([&] { return (peer.Errors() & CE_FRAME) != 0; }));
    session->StopSending();
}

}  // namespace
