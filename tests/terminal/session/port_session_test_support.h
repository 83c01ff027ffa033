#pragma once
// What the port session tests share: a frame link that records what a port posts, a prompt
// service whose boxes wait for the test, a raw peer on the far end of a simulated cable, and
// a fixture with its own port map, program directory, default settings and display flags.

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm/comm_device.h"
#include "platform/system/debug_output.h"
#include "terminal/config/port_config.h"
#include "terminal/session/port_error_box.h"
#include "terminal/session/port_session.h"
#include "terminal/session/view_flags.h"
#include "tests/support/line_settings.h"
#include "tests/support/temp_config.h"
#include "tests/support/wait.h"

namespace port_test {

using namespace std::chrono_literals;
using Target = PortFrameLink::Target;

struct Posted {
    Target target;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Posted&) const = default;
};

inline void PrintTo(const Posted& p, std::ostream* os) {
    *os << "{" << static_cast<int>(p.target) << ", 0x" << std::hex << p.message << std::dec << ", "
        << p.wParam << ", " << p.lParam << "}";
}

inline Posted Indicator(int id, LPARAM state) {
    return {Target::Frame, UWM_INDICATOR, static_cast<WPARAM>(id), state};
}
inline Posted Activity(ActivityCode code) {
    return Indicator(ID_INDICATOR_ACTIVITY, code);
}

// Records what a port posts, from whichever thread posts it.
class RecordingLink : public PortFrameLink {
  public:
    void Post(Target target, UINT message, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard lock(mutex_);
        posted_.push_back({target, message, wParam, lParam});
    }
    std::size_t Size() const {
        std::lock_guard lock(mutex_);
        return posted_.size();
    }
    // What was posted from position `from` on.
    std::vector<Posted> Since(std::size_t from = 0) const {
        std::lock_guard lock(mutex_);
        return {posted_.begin() + static_cast<long>(std::min(from, posted_.size())), posted_.end()};
    }
    // The activity code posted last from `from` on, or -1.
    LPARAM LastActivity(std::size_t from = 0) const {
        LPARAM last = -1;
        for (const Posted& p : Since(from)) {
            if (p.message == UWM_INDICATOR && p.wParam == ID_INDICATOR_ACTIVITY) {
                last = p.lParam;
            }
        }
        return last;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Posted> posted_;
};

// True when `expected` appears in `list` in this order, other messages in between allowed.
inline bool IsSubsequence(const std::vector<Posted>& expected, const std::vector<Posted>& list) {
    std::size_t at = 0;
    for (const Posted& p : list) {
        at += at < expected.size() && p == expected[at];
    }
    return at == expected.size();
}

// True once `link` has posted `expected` from position `from` on.
inline bool WaitPosted(const RecordingLink& link, const Posted& expected, std::size_t from,
                       std::chrono::milliseconds deadline = 10000ms);

inline bool WaitPosted(const RecordingLink& link, const Posted& expected, std::size_t from,
                       std::chrono::milliseconds deadline) {
    return WaitUntil(
        [&] {
            const std::vector<Posted> posted = link.Since(from);
            return std::find(posted.begin(), posted.end(), expected) != posted.end();
        },
        deadline);
}

inline int ThreadCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            count += entry->d_name[0] != '.';
        }
        closedir(dir);
    }
    return count;
}

// Boxes that stay up until the test answers them, as a user who has not looked yet.
class HeldPrompts : public platform::PromptService {
  public:
    using Record = platform::ScriptedPrompts::Record;
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override {
        std::unique_lock lock(mutex_);
        shown_.push_back({Record::Kind::MessageBox, text, caption, style});
        changed_.notify_all();
        changed_.wait(lock, [&] { return answered_; });
        return IDOK;
    }
    std::optional<std::string> OpenFileName(const platform::FileDialogRequest&) override {
        return {};
    }
    std::optional<std::string> SaveFileName(const platform::FileDialogRequest&) override {
        return {};
    }
    // The text of box `index` once it is shown, or nothing after the deadline.
    std::optional<Record> WaitShown(std::size_t index) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, 5s, [&] { return shown_.size() > index; })) {
            return {};
        }
        return shown_[index];
    }
    void AnswerAll() {
        std::lock_guard lock(mutex_);
        answered_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool answered_ = false;
    std::vector<Record> shown_;
};

// The raw far end of a simulated cable: 115200 8N1, DTR and RTS on, reads take what is queued.
class PeerDevice {
  public:
    explicit PeerDevice(const char* path) : device_(platform::CreateCommDevice(path)) {
        EXPECT_TRUE(device_) << path;
        if (device_) {
            device_->SetCommState(TestLineSettings(115200, 8, NOPARITY, ONESTOPBIT, true));
            COMMTIMEOUTS queuedOnly;
            queuedOnly.ReadIntervalTimeout = MAXDWORD;
            device_->SetCommTimeouts(queuedOnly);
        }
    }
    ~PeerDevice() {
        if (device_) {
            device_->Close();
        }
    }
    // Reads until `bytes` arrived or the deadline passed.
    std::string Read(std::size_t bytes) {
        std::string got;
        WaitUntil([&] {
            char buffer[4096];
            DWORD n = 0;
            if (device_->ReadFile(buffer, sizeof buffer, n)) {
                got.append(buffer, n);
            }
            return got.size() >= bytes;
        });
        return got;
    }
    void Write(const std::string& bytes) {
        DWORD written = 0;
        EXPECT_TRUE(device_->WriteFile(bytes.data(), static_cast<DWORD>(bytes.size()), written));
    }
    DWORD ModemStatus() {
        DWORD status = 0;
        device_->GetCommModemStatus(status);
        return status;
    }
    void Escape(DWORD function) { EXPECT_TRUE(device_->EscapeCommFunction(function)); }
    // The line errors (CE_ flags) the device saw since the last look.
    DWORD Errors() {
        DWORD errors = 0;
        device_->ClearCommError(errors, nullptr);
        return errors;
    }

  private:
    platform::CommDeviceHandle device_;
};

// COM1/COM2 are the two ends of a null-modem cable of the test's own, COM3 a loopback plug,
// COM4 a device that is not there.
class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedDefaults_ = DefaultPortConfig();
        FillDefaultPortConfig(DefaultPortConfig());
        DefaultPortConfig().DCBlength = kDcbSize;
        ProcessDisplayFlags().Initialize(DisplayPreferences{}, false, 0);
        const std::string pair = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        config_.WritePortMap("COM1 = sim:null-modem/" + pair + "/A\nCOM2 = sim:null-modem/" + pair +
                             "/B\nCOM3 = sim:loopback\nCOM4 = /dev/quenby-none\n");
        std::filesystem::create_directories(programDir_);
        setenv("QUENBY_PROGRAM_DIR", programDir_.c_str(), 1);
        platform::SetDebugOutputSinkForTesting([this](std::string_view text) {
            std::lock_guard lock(tracesMutex_);
            traces_.emplace_back(text);
        });
    }
    void TearDown() override {
        held_.AnswerAll();
        // Boxes shown from short threads must be done before their prompt service goes.
        EXPECT_TRUE(WaitForPortErrorBoxes(10000));
        unsetenv("QUENBY_PROGRAM_DIR");
        DefaultPortConfig() = savedDefaults_;
        ProcessDisplayFlags().Initialize(DisplayPreferences{}, false, 0);
        platform::SetDebugOutputSinkForTesting({});
    }

    // A session with the test's link and prompts, created (and so opened) at once.
    std::unique_ptr<PortSession> Make(const std::string& name,
                                      std::shared_ptr<RecordingLink> link = nullptr,
                                      platform::PromptService* prompts = nullptr) {
        auto session = std::make_unique<PortSession>(
            name, link ? std::move(link) : std::make_shared<RecordingLink>(),
            prompts ? *prompts : prompts_);
        session->Create();
        return session;
    }
    long Traced(const std::string& text) {
        std::lock_guard lock(tracesMutex_);
        return std::count(traces_.begin(), traces_.end(), text);
    }
    static std::string Text(PortSession& session) { return session.Display().GetText(); }

    TempConfig config_;
    platform::ScriptedPrompts prompts_;
    HeldPrompts held_;
    std::string programDir_ = config_.Root() + "/program";
    std::shared_ptr<RecordingLink> link_ = std::make_shared<RecordingLink>();

  private:
    PortConfig savedDefaults_;
    std::mutex tracesMutex_;
    std::vector<std::string> traces_;
};

}  // namespace port_test
