// The data workers of an idle open port wait instead of waking every cycle: they run few
// cycles while nothing happens, yet data from the peer still reaches the display, a start of
// the test pattern goes out, and the close still ends both workers. A busy receive worker keeps
// up with a line faster than one block a cycle. The workers run on their own threads against a
// simulated null-modem cable.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>

#include "terminal/session/port_workers.h"
#include "terminal/session/test_pattern.h"
#include "tests/support/line_settings.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

// An open COM1 with both workers running, as a port window has it, without the window.
class WorkerRig {
  public:
    WorkerRig(std::shared_ptr<RecordingLink> link, platform::PromptService& prompts)
        : shared_(std::make_shared<PortShared>("COM1", std::move(link),
                                               std::make_shared<DisplayBuffer>(), prompts)) {
        auto channel = std::make_unique<SerialChannel>(1, DefaultPortConfig(), shared_.get());
        channel_ = channel.get();
        shared_->transport = std::move(channel);
        shared_->pattern = std::make_unique<TestPattern>(false, 'U');
        opened_ = channel_->Open() == OPEN_SUCCESS;
        EXPECT_TRUE(opened_);
        shared_->openGeneration.fetch_add(1);
        shared_->isOpen = 1;
    }
    ~WorkerRig() { Close(); }
    WorkerRig(const WorkerRig&) = delete;
    WorkerRig& operator=(const WorkerRig&) = delete;

    void Start() {
        const std::uint32_t generation = shared_->openGeneration.load();
        receive_ = std::thread(ReceiveWorker, shared_, generation, receiveEnded_);
        send_ = std::thread(SendWorker, shared_, generation, sendEnded_);
    }

    // The close's order: the flag, the wake-up, then the device. True when both workers
    // ended within a generous deadline.
    bool Close() {
        if (!receive_.joinable() && !send_.joinable()) {
            return true;
        }
        shared_->isOpen = 0;
        shared_->WakeWorkers();
        channel_->CloseDevice();
        const bool ended = platform::WaitForSingleObject(*receiveEnded_, 20000) == WAIT_OBJECT_0 &&
                           platform::WaitForSingleObject(*sendEnded_, 20000) == WAIT_OBJECT_0;
        receive_.join();
        send_.join();
        return ended;
    }

    // Waits until both workers have run `cycles` more cycles than `since`.
    bool WaitCycles(std::uint64_t receiveSince, std::uint64_t sendSince, std::uint64_t cycles) {
        return WaitUntil(
            [&] {
                return shared_->receiveCycles.load() >= receiveSince + cycles &&
                       shared_->sendCycles.load() >= sendSince + cycles;
            },
            20000ms);
    }

    PortShared& Shared() { return *shared_; }
    SerialChannel& Channel() { return *channel_; }
    bool Opened() const { return opened_; }

  private:
    std::shared_ptr<PortShared> shared_;
    SerialChannel* channel_ = nullptr;  // the transport of shared_
    bool opened_ = false;
    platform::EventHandle receiveEnded_ = platform::Event::Create(true, false);
    platform::EventHandle sendEnded_ = platform::Event::Create(true, false);
    std::thread receive_;
    std::thread send_;
};

using PortWorkersIdleTest = SessionTest;

// At the pacing of a busy port a worker runs about 40 cycles a second; idle it waits.
TEST_F(PortWorkersIdleTest, IdleWorkersRunFewCyclesWhetherOrNotReceiving) {
    PeerDevice peer("COM2");  // a quiet line, with its lines up
    for (const int receiving : {0, 1}) {
        WorkerRig rig(link_, prompts_);
        ASSERT_TRUE(rig.Opened());
        rig.Shared().receiving = receiving;
        rig.Start();
        // Both have begun their first wait.
        ASSERT_TRUE(rig.WaitCycles(0, 0, 1)) << receiving;
        const std::uint64_t receiveBefore = rig.Shared().receiveCycles.load();
        const std::uint64_t sendBefore = rig.Shared().sendCycles.load();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(1s);
        const std::uint64_t receiveCycles = rig.Shared().receiveCycles.load() - receiveBefore;
        const std::uint64_t sendCycles = rig.Shared().sendCycles.load() - sendBefore;
        // Fewer than 10 a second over the span that really passed, taken after the counts: a
        // loaded machine that oversleeps gives the workers more time, not a reason to fail.
        const auto seconds = static_cast<std::uint64_t>(
            std::chrono::ceil<std::chrono::seconds>(std::chrono::steady_clock::now() - start)
                .count());
        EXPECT_LT(receiveCycles, 10u * seconds) << receiving;
        EXPECT_LT(sendCycles, 10u * seconds) << receiving;
        EXPECT_TRUE(rig.Close()) << receiving;
    }
}

TEST_F(PortWorkersIdleTest, DataFromThePeerReachesTheDisplayOfAnIdleReceiver) {
    PeerDevice peer("COM2");
    WorkerRig rig(link_, prompts_);
    ASSERT_TRUE(rig.Opened());
    rig.Shared().receiving = 1;
    rig.Start();
    // The receive worker has found nothing at least once and waits for input.
    ASSERT_TRUE(rig.WaitCycles(0, 0, 2));
    peer.Write("first line");
    EXPECT_TRUE(WaitUntil([&] { return rig.Shared().display->GetText() == "first line"; }, 20000ms))
        << rig.Shared().display->GetText();
    // Back to waiting, and woken again by the next bytes.
    const std::uint64_t cycles = rig.Shared().receiveCycles.load();
    ASSERT_TRUE(rig.WaitCycles(cycles, 0, 2));
    peer.Write(" and more");
    EXPECT_TRUE(WaitUntil([&] { return rig.Shared().display->GetText() == "first line and more"; },
                          20000ms))
        << rig.Shared().display->GetText();
    EXPECT_TRUE(rig.Close());
}

// The close ends both workers in every state they can be in: waiting for their start, waiting
// for input, and busy with the pattern.
TEST_F(PortWorkersIdleTest, CloseEndsBothWorkersInEveryState) {
    PeerDevice peer("COM2");
    struct Row {
        int receiving;
        int sending;
    };
    static constexpr Row kRows[] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (const Row& row : kRows) {
        WorkerRig rig(link_, prompts_);
        ASSERT_TRUE(rig.Opened());
        rig.Shared().receiving = row.receiving;
        rig.Shared().sending = row.sending;
        rig.Start();
        ASSERT_TRUE(rig.WaitCycles(0, 0, 2));
        EXPECT_TRUE(rig.Close()) << row.receiving << row.sending;
    }
}

// At 3,000,000 baud the line brings 300,000 bytes a second, far more than one 4096-byte block
// every 25 ms: the worker must read again at once while blocks come full, or the receive queue
// overflows and bytes are lost for good.
TEST_F(PortWorkersIdleTest, AFastLineLosesNothingWhileTheWorkerReadsFullBlocks) {
    constexpr DWORD kBaud = 3000000;
    DefaultPortConfig().BaudRate = kBaud;
    WorkerRig rig(link_, prompts_);
    ASSERT_TRUE(rig.Opened());
    // A queue of 65536 bytes holds a fifth of a second of the line: room for a busy machine.
    ASSERT_TRUE(rig.Channel().Device()->SetupComm(65536, 4096));
    platform::CommDeviceHandle peer = platform::CreateCommDevice("COM2");
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->SetCommState(TestLineSettings(kBaud, 8, NOPARITY, ONESTOPBIT, true)));
    rig.Shared().receiving = 1;
    rig.Start();
    ASSERT_TRUE(rig.WaitCycles(0, 0, 1));

    std::string stream;
    for (int line = 0; stream.size() < 600000; ++line)
        stream += "line " + std::to_string(line) + " of a stream faster than the old cycle\r\n";
    DWORD written = 0;
    ASSERT_TRUE(peer->WriteFile(stream.data(), static_cast<DWORD>(stream.size()), written));
    ASSERT_EQ(written, stream.size());
    const auto received = [&] {
        return static_cast<std::size_t>(std::llround(rig.Channel().KbRead() * 1024.0));
    };
    EXPECT_TRUE(WaitUntil([&] { return received() >= stream.size(); }, 20000ms))
        << received() << " of " << stream.size() << " bytes received";
    EXPECT_EQ(rig.Channel().TotalErrors(), 0u);
    peer->Close();
    EXPECT_TRUE(rig.Close());
}

// A pseudo-terminal hands over at most 4095 bytes a read and holds about 20 KB: five blocks
// queued while receiving was off are taken one after another, without the pacing wait after
// each, which on a fast line would let the terminal's queue overflow.
TEST_F(PortWorkersIdleTest, QueuedFullBlocksOfAPseudoTerminalAreReadWithoutWaiting) {
    int master = -1;
    int slave = -1;
    char path[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, path, nullptr, nullptr), 0);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    config_.WritePortMap(std::string("COM1 = ") + path + "\n");
    {
        WorkerRig rig(link_, prompts_);
        ASSERT_TRUE(rig.Opened());
        rig.Start();
        ASSERT_TRUE(rig.WaitCycles(0, 0, 1));

        // What the terminal takes before it is full; nothing reads it while receiving is off.
        const std::string piece(1024, 'q');
        std::size_t queued = 0;
        for (ssize_t n = 0; (n = ::write(master, piece.data(), piece.size())) > 0;)
            queued += static_cast<std::size_t>(n);
        ASSERT_GE(queued, 4u * 4096u);
        const auto received = [&] {
            return static_cast<std::size_t>(std::llround(rig.Channel().KbRead() * 1024.0));
        };

        const std::uint64_t before = rig.Shared().receiveReadsAgain.load();
        rig.Shared().receiving = 1;
        rig.Shared().WakeWorkers();
        EXPECT_TRUE(WaitUntil([&] { return received() >= queued; }))
            << received() << " of " << queued << " bytes received";
        EXPECT_GE(rig.Shared().receiveReadsAgain.load() - before, 3u)
            << "full blocks followed by a wait";
        EXPECT_TRUE(rig.Close());
    }
    ::close(master);
    ::close(slave);
}

TEST_F(PortWorkersIdleTest, StartSendingOnAnIdlePortSendsThePattern) {
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    ASSERT_TRUE(session->PublishedState().isOpen);
    const std::size_t patternLength =
        TestPattern(false, ProcessDisplayFlags().character.load()).Length();
    // The send worker has been waiting since the open.
    session->StartSending();
    const std::string got = peer.Read(patternLength);
    EXPECT_GE(got.size(), patternLength);
    session->OpenClosePort();
    EXPECT_FALSE(session->PublishedState().isOpen);
}

}  // namespace
