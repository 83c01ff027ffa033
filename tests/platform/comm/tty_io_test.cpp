// Reads, writes, purges, queue status and the event wait of the tty device, against the far end
// of a real pseudo-terminal and with real threads.

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <numeric>
#include <string>
#include <vector>

#include "tests/platform/comm/tty_test_support.h"

namespace platform::ttytest {
namespace {

using Clock = std::chrono::steady_clock;

struct ReadResult {
    BOOL ok = FALSE;
    DWORD error = 0;
    std::string bytes;
};

std::future<ReadResult> ReadInBackground(const CommDeviceHandle& device, DWORD count) {
    return std::async(std::launch::async, [device, count] {
        std::string buffer(count, '\0');
        DWORD read = 0;
        ReadResult r;
        r.ok = device->ReadFile(buffer.data(), count, read);
        r.error = GetLastError();
        r.bytes = buffer.substr(0, read);
        return r;
    });
}

std::string ReadNow(CommDevice& device, DWORD count) {
    std::string buffer(count, '\0');
    DWORD read = 0;
    EXPECT_TRUE(device.ReadFile(buffer.data(), count, read)) << GetLastError();
    return buffer.substr(0, read);
}

class TtyIoTest : public PtyPortTest {
  protected:
    void SetUp() override {
        PtyPortTest::SetUp();
        if (device_) {
            Apply(Settings(115200));
        }
    }
    // A read that is certainly in progress: it has taken the first byte and waits for more.
    std::future<ReadResult> ReadThatWaits(DWORD count) {
        pty_.Send("A");
        EXPECT_TRUE(WaitUntil([&] { return InQueue() == 1; }));
        auto pending = ReadInBackground(device_, count);
        EXPECT_TRUE(WaitUntil([&] { return InQueue() == 0; }));
        return pending;
    }
};

TEST_F(TtyIoTest, EveryByteValuePassesUnchangedBothWays) {
    std::string all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    auto reading = ReadInBackground(device_, 256);
    pty_.Send(all);
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(reading.get().bytes, all);  // no CR/LF mapping, no signals, no XON/XOFF eaten

    DWORD written = 0;
    ASSERT_TRUE(device_->WriteFile(all.data(), 256, written));
    EXPECT_EQ(written, 256u);
    EXPECT_EQ(pty_.Receive(256), all);  // no output processing
}

TEST_F(TtyIoTest, QueuedOnlyReadReturnsWhatIsThereAtOnce) {
    SetTimeouts(Timeouts(MAXDWORD, 0, 0));
    EXPECT_EQ(ReadNow(*device_, 100), "");
    pty_.Send("0123456789");
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 10; }));
    EXPECT_EQ(ReadNow(*device_, 4096), "0123456789");
    EXPECT_EQ(InQueue(), 0u);
}

TEST_F(TtyIoTest, ZeroTimeoutsWaitForEveryRequestedByte) {
    auto reading = ReadInBackground(device_, 10);
    pty_.Send("012");
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 0; }));  // the read took them and waits on
    pty_.Send("3456789");
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    const ReadResult r = reading.get();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, "0123456789");
}

TEST_F(TtyIoTest, TotalTimeoutEndsTheReadWithWhatCame) {
    SetTimeouts(Timeouts(0, 10, 100));  // 10 ms per byte + 100 ms
    pty_.Send("ab");
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 2; }));
    const auto start = Clock::now();
    EXPECT_EQ(ReadNow(*device_, 5), "ab");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
}

TEST_F(TtyIoTest, IntervalTimeoutEndsTheReadAfterAPause) {
    SetTimeouts(Timeouts(50, 0, 0));
    auto reading = ReadInBackground(device_, 10);
    pty_.Send("xyz");
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(reading.get().bytes, "xyz");
}

TEST_F(TtyIoTest, FirstByteTimeoutWaitsOnlyForTheFirstByte) {
    SetTimeouts(Timeouts(MAXDWORD, MAXDWORD, 120));
    const auto start = Clock::now();
    EXPECT_EQ(ReadNow(*device_, 8), "");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(120));

    auto reading = ReadInBackground(device_, 8);
    pty_.Send("q");
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(reading.get().bytes, "q");
}

TEST_F(TtyIoTest, LargeWriteArrivesWhole) {
    std::string data(4030, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    }
    auto writing = std::async(std::launch::async, [&] {
        DWORD written = 0;
        const BOOL ok = device_->WriteFile(data.data(), static_cast<DWORD>(data.size()), written);
        return ok ? written : 0u;
    });
    EXPECT_EQ(pty_.Receive(data.size()), data);
    ASSERT_EQ(writing.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(writing.get(), 4030u);
}

TEST_F(TtyIoTest, CloseEndsABlockedRead) {
    auto reading = ReadThatWaits(2);
    device_->Close();
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    const ReadResult r = reading.get();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(TtyIoTest, ReceiveAbortEndsAReadAndKeepsItsBytes) {
    auto reading = ReadThatWaits(2);
    ASSERT_TRUE(device_->PurgeComm(PURGE_RXABORT));
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    const ReadResult r = reading.get();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    // The byte the aborted read held is not lost.
    SetTimeouts(Timeouts(MAXDWORD, 0, 0));
    EXPECT_EQ(InQueue(), 1u);
    EXPECT_EQ(ReadNow(*device_, 10), "A");
}

TEST_F(TtyIoTest, ReceiveAbortWithClearDiscardsEverything) {
    auto reading = ReadThatWaits(2);
    ASSERT_TRUE(device_->PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR));
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(reading.get().error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(InQueue(), 0u);  // the byte the read held went with the purge
    pty_.Send("B");
    SetTimeouts(Timeouts(0, 0, 0));
    EXPECT_EQ(ReadNow(*device_, 1), "B");
}

TEST_F(TtyIoTest, HangUpFailsABlockedReadAndLaterWrites) {
    auto reading = ReadThatWaits(4);
    pty_.HangUp();
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    const ReadResult r = reading.get();
    // What the read took before the hang-up is delivered; the failure shows at the next read.
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, "A");
    char byte = 0;
    DWORD count = 0;
    EXPECT_FALSE(device_->ReadFile(&byte, 1, count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
    EXPECT_FALSE(device_->WriteFile("x", 1, count));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
}

class TtyBlockedWriteTest : public TtyIoTest {
  protected:
    struct WriteResult {
        BOOL ok;
        DWORD error;
        DWORD written;
    };
    // A write the line holds back: the far end reads nothing, so the pseudo-terminal's
    // buffers fill and the write waits with part of its data sent.
    std::future<WriteResult> WriteThatWaits() {
        auto writing = std::async(std::launch::async, [this] {
            DWORD written = 0;
            const BOOL ok =
                device_->WriteFile(data_.data(), static_cast<DWORD>(data_.size()), written);
            return WriteResult{ok, GetLastError(), written};
        });
        EXPECT_TRUE(WaitUntil([&] { return pty_.Arrived() > 0; }));
        return writing;
    }
    const std::string data_ = std::string(1 << 20, 'w');
};

TEST_F(TtyBlockedWriteTest, TransmitAbortEndsIt) {
    auto writing = WriteThatWaits();
    ASSERT_TRUE(device_->PurgeComm(PURGE_TXABORT));
    ASSERT_EQ(writing.wait_for(kPatience), std::future_status::ready);
    const WriteResult r = writing.get();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_LT(r.written, data_.size());
}

TEST_F(TtyBlockedWriteTest, CloseEndsIt) {
    auto writing = WriteThatWaits();
    device_->Close();
    ASSERT_EQ(writing.wait_for(kPatience), std::future_status::ready);
    const WriteResult r = writing.get();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(TtyBlockedWriteTest, ImmediateCharacterGoesWhileItWaits) {
    auto writing = WriteThatWaits();
    // The character waits for room like the write does, but goes out ahead of its rest.
    auto transmitting =
        std::async(std::launch::async, [this] { return device_->TransmitCommChar('@'); });
    std::string seen;
    ASSERT_TRUE(WaitUntil([&] {
        seen += pty_.Receive(std::max(pty_.Arrived(), 1));
        return seen.find('@') != std::string::npos;
    }));
    ASSERT_EQ(transmitting.wait_for(kPatience), std::future_status::ready);
    EXPECT_TRUE(transmitting.get());
    EXPECT_LT(seen.find('@'), data_.size());  // before the write's last byte
    ASSERT_TRUE(device_->PurgeComm(PURGE_TXABORT));
    ASSERT_EQ(writing.wait_for(kPatience), std::future_status::ready);
}

TEST_F(TtyIoTest, HeldOutputWaitsForTheWriteTimeout) {
    ASSERT_TRUE(device_->EscapeCommFunction(SETXOFF));
    DWORD errors = 0;
    COMSTAT stat;
    ASSERT_TRUE(device_->ClearCommError(errors, &stat));
    EXPECT_EQ(stat.fXoffHold, 1u);

    SetTimeouts(Timeouts(0, 0, 0, 150));
    const auto start = Clock::now();
    DWORD written = 99;
    EXPECT_TRUE(device_->WriteFile("abc", 3, written));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(pty_.Arrived(), 0);

    ASSERT_TRUE(device_->EscapeCommFunction(SETXON));
    ASSERT_TRUE(device_->ClearCommError(errors, &stat));
    EXPECT_EQ(stat.fXoffHold, 0u);
    EXPECT_TRUE(device_->WriteFile("abc", 3, written));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(pty_.Receive(3), "abc");
}

TEST_F(TtyIoTest, PeerXoffHoldsOutputUntilXon) {
    DCB dcb = Settings(115200);
    dcb.fOutX = 1;
    Apply(dcb);
    pty_.Send("\x13z");  // XOFF, then a byte to show the XOFF has been taken in
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 1; }));  // the XOFF is no data

    auto writing = std::async(std::launch::async, [&] {
        DWORD written = 0;
        return device_->WriteFile("held", 4, written) ? written : 0u;
    });
    EXPECT_EQ(writing.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_EQ(pty_.Arrived(), 0);
    pty_.Send("\x11");  // XON
    EXPECT_EQ(pty_.Receive(4), "held");
    ASSERT_EQ(writing.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(writing.get(), 4u);
}

TEST_F(TtyIoTest, ImmediateCharacterPassesHeldOutput) {
    ASSERT_TRUE(device_->EscapeCommFunction(SETXOFF));
    ASSERT_TRUE(device_->TransmitCommChar('@'));
    EXPECT_EQ(pty_.Receive(1), "@");
    // The hold is still on for ordinary data.
    SetTimeouts(Timeouts(0, 0, 0, 50));
    DWORD written = 9;
    EXPECT_TRUE(device_->WriteFile("x", 1, written));
    EXPECT_EQ(written, 0u);
    ASSERT_TRUE(device_->EscapeCommFunction(SETXON));
    ASSERT_TRUE(device_->TransmitCommChar('\0'));
    EXPECT_EQ(pty_.Receive(1), std::string(1, '\0'));
    EXPECT_EQ(pty_.SlaveSettings().c_cc[VSTART], 0x11);
}

TEST_F(TtyIoTest, ParityCheckingReadsDataBytesNotMarks) {
    DCB dcb = Settings(115200);
    dcb.fParity = 1;  // errors are marked in the stream, and a data 0xFF doubled
    Apply(dcb);
    pty_.Send(
        "A\xFF"
        "B");
    // Three data bytes, though the line discipline holds four.
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 3; }));
    auto reading = ReadInBackground(device_, 3);  // zero time-outs: would hang on a wrong count
    ASSERT_EQ(reading.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(reading.get().bytes,
              "A\xFF"
              "B");
}

TEST_F(TtyIoTest, NullStrippingDropsReceivedNuls) {
    DCB dcb = Settings(115200);
    dcb.fNull = 1;
    Apply(dcb);
    pty_.Send(std::string("a\0b\0\0c", 6));
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 3; }));
    SetTimeouts(Timeouts(MAXDWORD, 0, 0));
    EXPECT_EQ(ReadNow(*device_, 10), "abc");
}

TEST_F(TtyIoTest, QueueStatusOfAPseudoTerminal) {
    pty_.Send("12345");
    ASSERT_TRUE(WaitUntil([&] { return InQueue() == 5; }));
    DWORD errors = 0xFF;
    COMSTAT stat;
    ASSERT_TRUE(device_->ClearCommError(errors, &stat));
    EXPECT_EQ(errors, 0u);  // no line-error counts on a pseudo-terminal: none reported
    EXPECT_EQ(stat.cbOutQue, 0u);
    EXPECT_EQ(ComstatFlagWord(stat), 0u);
    ASSERT_TRUE(device_->PurgeComm(PURGE_RXCLEAR | PURGE_TXCLEAR));
    EXPECT_EQ(InQueue(), 0u);
    EXPECT_FALSE(device_->PurgeComm(0x10));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

class TtyEventTest : public TtyIoTest {
  protected:
    Event done_{true, false};
    DWORD events_ = 0xDEAD;
};

TEST_F(TtyEventTest, ReceivedCharacterCompletesAPendingWait) {
    ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_CTS));
    SetLastError(0);
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_FALSE(device_->GetCommEventResult());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    pty_.Send("!");
    ASSERT_EQ(WaitForSingleObject(done_, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(events_, EV_RXCHAR);
    EXPECT_TRUE(device_->GetCommEventResult());
}

// Context switches of every thread of the process but the caller's: how often the device's
// own threads were woken.
long OtherThreadsSwitches() {
    long total = 0;
    const std::string self = std::to_string(::gettid());
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (task.path().filename() == self) {
            continue;
        }
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.find("ctxt_switches:") != std::string::npos) {
                total += std::atol(line.c_str() + line.find(':') + 1);
            }
        }
    }
    return total;
}

TEST_F(TtyEventTest, ArrivingBytesWakeTheWatcherOnlyWhenItsMaskAsksForThem) {
    // The mask a port uses: the modem lines only. A busy line must not wake the watcher.
    ASSERT_TRUE(device_->SetCommMask(EV_CTS | EV_DSR | EV_RLSD | EV_RING));
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    const long before = OtherThreadsSwitches();
    constexpr int kPieces = 100;
    for (int piece = 0; piece < kPieces; ++piece) {
        pty_.Send("x");
        ASSERT_TRUE(WaitUntil([&] { return InQueue() == 1; }));
        ASSERT_EQ(ReadNow(*device_, 1), "x");
    }
    EXPECT_LT(OtherThreadsSwitches() - before, kPieces / 4);
    EXPECT_FALSE(done_.IsSet());

    // Asked for, received characters complete the wait again.
    ASSERT_TRUE(device_->SetCommMask(EV_RXCHAR | EV_CTS));
    ASSERT_TRUE(done_.IsSet());
    done_.Reset();
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    pty_.Send("!");
    ASSERT_EQ(WaitForSingleObject(done_, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(events_, EV_RXCHAR);
}

TEST_F(TtyEventTest, NewMaskCompletesAPendingWaitWithNoEvents) {
    ASSERT_TRUE(device_->SetCommMask(EV_CTS | EV_DSR));
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    ASSERT_TRUE(device_->SetCommMask(EV_CTS | EV_DSR | EV_RLSD));
    ASSERT_TRUE(done_.IsSet());
    EXPECT_EQ(events_, 0u);
    EXPECT_TRUE(device_->GetCommEventResult());
}

TEST_F(TtyEventTest, CloseAbortsAPendingWait) {
    ASSERT_TRUE(device_->SetCommMask(EV_RING));
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    device_->Close();
    ASSERT_TRUE(done_.IsSet());
    EXPECT_FALSE(device_->GetCommEventResult());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST_F(TtyEventTest, HangUpEndsAPendingWaitWithTheErrorAndFailsTheNext) {
    // A pseudo-terminal has no modem lines: nothing but the hang-up can end this wait.
    ASSERT_TRUE(device_->SetCommMask(EV_CTS | EV_DSR | EV_RLSD | EV_RING));
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    pty_.HangUp();
    ASSERT_EQ(WaitForSingleObject(done_, 20000), WAIT_OBJECT_0);
    EXPECT_FALSE(device_->GetCommEventResult());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
    EXPECT_TRUE(IsDeviceGoneError(GetLastError()));
    DWORD second = 0;
    EXPECT_FALSE(device_->WaitCommEvent(&second, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
}

TEST_F(TtyEventTest, OneWaitAtATimeAndOnlyWithAMask) {
    SetLastError(0);
    EXPECT_FALSE(device_->WaitCommEvent(&events_, &done_));  // the mask is empty
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(device_->SetCommMask(0x2000));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    ASSERT_TRUE(device_->SetCommMask(EV_DSR));
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    DWORD second = 0;
    EXPECT_FALSE(device_->WaitCommEvent(&second, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(done_.IsSet());
}

TEST_F(TtyEventTest, EmptiedOutputCompletesAWait) {
    ASSERT_TRUE(device_->SetCommMask(EV_TXEMPTY));
    ASSERT_FALSE(device_->WaitCommEvent(&events_, &done_));
    DWORD written = 0;
    ASSERT_TRUE(device_->WriteFile("out", 3, written));
    ASSERT_EQ(WaitForSingleObject(done_, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(events_, EV_TXEMPTY);
    EXPECT_EQ(pty_.Receive(3), "out");
}

}  // namespace
}  // namespace platform::ttytest
