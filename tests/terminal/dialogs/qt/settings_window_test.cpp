// The settings commands through the main frame and real windows: "Apply new settings to all
// active ports" reaching every open port, the default record and the next port opened, and a
// real Events dialog shown for a port thread and answered by clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <atomic>
#include <memory>

#include "platform/ui/qt/qt_prompts.h"
#include "terminal/config/advanced_settings_form.h"
#include "terminal/config/port_settings_form.h"
#include "terminal/dialogs/qt/advanced_settings_dlgs.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/qt/port_wnd.h"
#include "terminal/session/settings_commands.h"
#include "tests/terminal/app/qt/halvo_gui_support.h"

namespace {

// What the port's open device reports, asked on the port's own thread; nothing when closed.
std::optional<DCB> DeviceState(CPortMDIChildWnd* port, DWORD* mask = nullptr) {
    auto state = std::make_shared<std::optional<DCB>>();
    auto eventMask = std::make_shared<DWORD>(0);
    auto done = std::make_shared<std::atomic<bool>>(false);
    const bool posted = port->InvokeOnView([state, eventMask, done](CPortWnd& view) {
        PortTransport* transport = view.Session().Transport();
        if (transport != nullptr && transport->SerialDevice()) {
            DCB dcb;
            if (transport->SerialDevice()->GetCommState(dcb)) {
                *state = dcb;
            }
            transport->SerialDevice()->GetCommMask(*eventMask);
        }
        *done = true;
    });
    if (!posted || !PumpUntil([&] { return done->load(); })) {
        return std::nullopt;
    }
    if (mask != nullptr) {
        *mask = *eventMask;
    }
    return *state;
}

DWORD DeviceBaud(CPortMDIChildWnd* port) {
    const auto state = DeviceState(port);
    return state ? state->BaudRate : 0;
}

TEST_F(HalvoGui, ApplyToAllReachesEveryOpenPortTheDefaultAndTheNextPort) {
    // Four devices of their own: two cables' ends.
    config_.WritePortMap(
        "COM11 = sim:null-modem/apply-all-1/A\n"
        "COM12 = sim:null-modem/apply-all-1/B\n"
        "COM13 = sim:null-modem/apply-all-2/A\n"
        "COM14 = sim:null-modem/apply-all-2/B\n");
    Start("COM11 COM12 COM13");
    for (const char* name : {"COM11", "COM12", "COM13"}) {
        ASSERT_NE(Port(name), nullptr) << name;
        ASSERT_TRUE(PumpUntil([&] { return DeviceBaud(Port(name)) == 115200; })) << name;
    }
    prompts_.AnswerDialogWith(
        IDOK, {{port_settings_field::kBaud, "921600"}, {port_settings_field::kApplyToAll, "1"}});
    Port("COM12")->RouteCommand(ID_PORT_SETTINGS);
    for (const char* name : {"COM11", "COM12", "COM13"}) {
        EXPECT_TRUE(PumpUntil([&] { return DeviceBaud(Port(name)) == 921600; })) << name;
    }
    EXPECT_EQ(CopyDefaultPortConfig().BaudRate, 921600u);
    ASSERT_TRUE(frame_->CreatePortWindow("COM14"));
    ASSERT_TRUE(PumpUntil([&] { return Port("COM14") != nullptr; }));
    EXPECT_TRUE(PumpUntil([&] { return DeviceBaud(Port("COM14")) == 921600; }));
    EXPECT_TRUE(WaitForSettingsCommands(20000));
}

TEST_F(HalvoGui, TheEventsDialogShownForAPortWritesWhatWasClicked) {
    platform::QtPrompts qtPrompts;
    RegisterSettingsDialogs(qtPrompts);
    platform::SetPromptService(&qtPrompts);
    frame_ = std::make_unique<CMainFrame>(qtPrompts);
    ASSERT_TRUE(frame_->Create("COM3"));
    frame_->show();
    CPortMDIChildWnd* port = Port("COM3");
    ASSERT_NE(port, nullptr);
    DWORD mask = 0;
    ASSERT_TRUE(
        PumpUntil([&] { return DeviceState(port, &mask) && mask == kAlwaysWatchedEvents; }));

    port->RouteCommand(ID_EVENTS);
    ASSERT_TRUE(PumpUntil([] {
        return dynamic_cast<CEventSettingsDlg*>(QApplication::activeModalWidget()) != nullptr;
    }));
    auto* dialog = dynamic_cast<CEventSettingsDlg*>(QApplication::activeModalWidget());
    EXPECT_EQ(dialog->AllButton()->text(), QStringLiteral("All On"));
    dialog->AllButton()->click();
    dialog->findChild<QPushButton*>(QStringLiteral("control_1"))->click();
    EXPECT_TRUE(PumpUntil([&] { return DeviceState(port, &mask) && mask == kAllEvents; }));
    EXPECT_TRUE(WaitForSettingsCommands(20000));

    ProcessPreferences().confirmationOnExit = 0;
    frame_.reset();
    platform::SetPromptService(&prompts_);
}

}  // namespace
