// Prompts asked for by a port's thread: a dialog answered from the script comes back to the
// port thread as the port's, and closing the window while the port thread waits for a real
// dialog, box or file dialog takes the prompt down with Cancel and ends the port cleanly.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/ui/qt/qt_prompts.h"
#include "tests/terminal/app/qt/halvo_gui_support.h"

namespace {

using namespace std::chrono_literals;

// Ends the test program when `Done` does not come in time: a hang would otherwise hide which
// test deadlocked.
class Watchdog {
  public:
    explicit Watchdog(const char* what)
        : thread_([this, what] {
              std::unique_lock lock(mutex_);
              if (!changed_.wait_for(lock, 120s, [this] { return done_; })) {
                  std::fprintf(stderr, "deadlock: %s\n", what);
                  std::abort();
              }
          }) {}
    ~Watchdog() { Done(); }
    void Done() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread thread_;
};

QWidget* ShownPrompt() {
    return QApplication::activeModalWidget();
}

TEST_F(HalvoGui, APortThreadsDialogIsAnsweredFromTheScript) {
    Start("COM3");
    CPortMDIChildWnd* port = Port("COM3");
    ASSERT_NE(port, nullptr);
    prompts_.AnswerDialogWith(IDOK, {{"baud", "921600"}});

    std::atomic<bool> done{false};
    platform::DialogAnswer answer;
    ASSERT_TRUE(port->InvokeOnView([&](CPortWnd&) {
        answer = platform::Prompts().RunDialog({"CPortSettingsDlg", {{"baud", "300"}}});
        done = true;
    }));
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }));
    EXPECT_EQ(answer.button, IDOK);
    EXPECT_EQ(answer.fields.at("baud"), "921600");
    const auto records = prompts_.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().kind, platform::ScriptedPrompts::Record::Kind::Dialog);
    EXPECT_EQ(records.back().text, "CPortSettingsDlg");
    // The port thread's questions are the port's, so that its close can take them down.
    EXPECT_EQ(records.back().owner, port->PromptOwner());
}

// The window closes while its port thread waits for the user: the GUI thread, which waits for
// the port thread, must not wait for itself.
TEST_F(HalvoGui, ClosingTheWindowWhileItsThreadWaitsForAPromptCancelsIt) {
    struct Case {
        const char* name;
        std::function<int()> ask;
        int cancelled;
    };
    const Case cases[] = {
        {"settings dialog",
         [] {
             return platform::Prompts().RunDialog({"CPortSettingsDlg", {}}).button;
         },
         IDCANCEL},
        {"message box",
         [] {
             return platform::Prompts().MessageBox("Do you want to stop receiving ASCII file?",
                                                   "COM3", MB_YESNO | MB_ICONQUESTION);
         },
         IDNO},
        {"save as",
         [] {
             return platform::Prompts().SaveFileName({"Save As", "*.txt", "", "txt"}) ? IDOK
                                                                                      : IDCANCEL;
         },
         IDCANCEL},
    };
    platform::QtPrompts qtPrompts;
    qtPrompts.RegisterDialog("CPortSettingsDlg",
                             {[](const platform::DialogFields&, QWidget* parent) {
                                  return std::make_unique<QDialog>(parent);
                              },
                              [](const QDialog&) { return platform::DialogFields{}; }});
    platform::SetPromptService(&qtPrompts);
    Start("COM3 COM5 COM7");
    const char* names[] = {"COM3", "COM5", "COM7"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        QPointer<CPortMDIChildWnd> port = Port(names[i]);
        ASSERT_FALSE(port.isNull());
        std::atomic<bool> done{false};
        std::atomic<int> answer{0};
        ASSERT_TRUE(port->InvokeOnView([&, ask = c.ask](CPortWnd&) {
            answer = ask();
            done = true;
        }));
        ASSERT_TRUE(PumpUntil([] { return ShownPrompt() != nullptr; }));
        QPointer<QWidget> prompt = ShownPrompt();
        EXPECT_FALSE(done.load());  // the port thread waits for the user

        Watchdog watchdog(c.name);
        port->close();
        watchdog.Done();
        EXPECT_TRUE(done.load());
        EXPECT_EQ(answer.load(), c.cancelled);
        // The prompt goes as soon as the GUI thread is back, and the window with its thread.
        EXPECT_TRUE(PumpUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return prompt.isNull() && port.isNull();
        }));
    }
    platform::SetPromptService(&prompts_);
}

}  // namespace
