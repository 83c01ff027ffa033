#pragma once
// The main frame of halvo2 on the offscreen platform over simulated serial devices, for the
// window suites: a port map of its own (a null-modem pair COM1/COM2, loopback plugs on COM3,
// COM5 and COM7, a missing device on COM9), scripted prompts, the process-wide records reset,
// and waits that spin the event loop until what a test checks holds.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/prompts.h"
#include "terminal/app/qt/main_frame.h"
#include "terminal/app/preferences.h"
#include "terminal/config/port_config.h"
#include "terminal/session/qt/port_mdi_child_wnd.h"
#include "terminal/session/process_events.h"
#include "terminal/session/view_flags.h"
#include "tests/support/qt/pump_until.h"
#include "tests/support/temp_config.h"

class HalvoGui : public ::testing::Test {
  protected:
    void SetUp() override {
        config_.WritePortMap(
            "COM1 = sim:null-modem/gui/A\n"
            "COM2 = sim:null-modem/gui/B\n"
            "COM3 = sim:loopback\n"
            "COM5 = sim:loopback\n"
            "COM7 = sim:loopback\n"
            "COM9 = /dev/quenby-no-such-device\n");
        programDir_ = config_.Root() + "/program";
        std::filesystem::create_directories(programDir_);
        setenv("QUENBY_PROGRAM_DIR", programDir_.c_str(), 1);
        platform::SetPromptService(&prompts_);
        FillDefaultPortConfig(DefaultPortConfig());
        ProcessPreferences() = Preferences{};
        DisplayFlags& flags = ProcessDisplayFlags();
        flags.Initialize(DisplayPreferences{}, false, 0);
        CreateProcessEvents();
    }
    void TearDown() override {
        if (frame_) {
            // No confirmation is scripted for the end of a test.
            ProcessPreferences().confirmationOnExit = 0;
            frame_.reset();
        }
        CloseProcessEvents();
        platform::SetPromptService(nullptr);
        unsetenv("QUENBY_PROGRAM_DIR");
    }

    CMainFrame& Start(const std::string& commandLine) {
        frame_ = std::make_unique<CMainFrame>(prompts_);
        frame_->resize(1000, 700);
        EXPECT_TRUE(frame_->Create(commandLine));
        frame_->show();
        return *frame_;
    }

    CPortMDIChildWnd* Port(const std::string& name) const {
        for (CPortMDIChildWnd* frame : frame_->PortFrames()) {
            if (frame->PortName() == name) {
                return frame;
            }
        }
        return nullptr;
    }

    static std::string Text(CPortMDIChildWnd* frame) { return frame->Display().GetText(); }

    static bool PaneShows(CPortMDIChildWnd* frame, const char* text) {
        return frame->VisiblePanes().contains(QString::fromLatin1(text));
    }

    std::vector<std::string> Prompts() const {
        std::vector<std::string> texts;
        for (const auto& record : prompts_.Records()) {
            texts.push_back(record.text);
        }
        return texts;
    }

    TempConfig config_;
    std::string programDir_;
    platform::ScriptedPrompts prompts_;
    std::unique_ptr<CMainFrame> frame_;
};
