// The serial channel as a port's transport, used only through PortTransport as the workers
// and the session use it: on a pseudo-terminal and on simulated devices.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "platform/comm/sim_device.h"
#include "terminal/net/socket_transport.h"
#include "terminal/serial/serial_channel.h"
#include "tests/support/temp_config.h"
#include "tests/support/wait.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kCantOpenText = "Halvo2 Can't open the port!\r\n";

std::unique_ptr<PortTransport> SerialTransport(int port) {
    PortConfig config;
    FillDefaultPortConfig(config);
    return std::make_unique<SerialChannel>(port, config, nullptr);
}

std::size_t Bytes(double kilobytes) {
    return static_cast<std::size_t>(std::llround(kilobytes * 1024.0));
}

class SerialTransportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[128];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        config_.WritePortMap(std::string("COM5 = ") + name +
                             "\nCOM6 = /dev/does-not-exist\n"
                             "COM7 = sim:loopback/transport\n");
    }
    void TearDown() override {
        close(master_);
        close(slave_);
    }
    std::string ReadMaster(std::size_t bytes) {
        std::string got;
        WaitUntil([&] {
            char buffer[256];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
            }
            return got.size() >= bytes;
        });
        return got;
    }

    TempConfig config_;
    int master_ = -1;
    int slave_ = -1;
};

TEST_F(SerialTransportTest, PseudoTerminalBytesGoBothWaysAndEachDirectionCountsApart) {
    auto transport = SerialTransport(5);
    ASSERT_TRUE(transport->Open(nullptr));
    EXPECT_TRUE(transport->IsOpen());
    EXPECT_NE(transport->SerialDevice(), nullptr);
    EXPECT_EQ(transport->WaitForInput(10), InputWait::TimedOut);

    char buffer[64 + 1];
    TransportRead empty = transport->ReadQueued(buffer, 64);
    EXPECT_FALSE(empty.failed);
    EXPECT_EQ(empty.length, 0u);

    ASSERT_EQ(write(master_, "hello", 5), 5);
    ASSERT_EQ(transport->WaitForInput(10000), InputWait::Ready);
    std::string got;
    ASSERT_TRUE(WaitUntil([&] {
        const TransportRead read = transport->ReadQueued(buffer, 64);
        got.append(buffer, read.length);
        return read.failed || got.size() >= 5;
    }));
    EXPECT_EQ(got, "hello");
    EXPECT_EQ(buffer[got.size() == 5 ? 5 : 0], 0) << "a zero byte follows the block";

    ASSERT_TRUE(transport->WriteAll("abc", 3));
    transport->WriteUncounted("d", 1);
    EXPECT_EQ(ReadMaster(4), "abcd");

    TransportCounts counts = transport->Counts();
    EXPECT_EQ(Bytes(counts.kbRead), 5u);
    EXPECT_EQ(Bytes(counts.kbWritten), 3u) << "typed characters are not counted";
    transport->ResetReadCounts();
    counts = transport->Counts();
    EXPECT_EQ(counts.kbRead, 0.0);
    EXPECT_EQ(Bytes(counts.kbWritten), 3u);
    transport->ResetWrittenCount();
    EXPECT_EQ(transport->Counts().kbWritten, 0.0);
}

TEST_F(SerialTransportTest, FirstStepOfTheCloseEndsAWaitForInputAndLeavesNothingOpen) {
    auto transport = SerialTransport(5);
    ASSERT_TRUE(transport->Open(nullptr));
    std::atomic<bool> waited{false};
    std::thread waiter([&] {
        transport->WaitForInput(60000);
        waited = true;
    });
    // The close does not wait for the waiter: it ends the wait.
    transport->BeginClose();
    EXPECT_TRUE(WaitUntil([&] { return waited.load(); }));
    waiter.join();
    EXPECT_TRUE(transport->EndClose());

    EXPECT_FALSE(transport->IsOpen());
    EXPECT_EQ(transport->SerialDevice(), nullptr);
    EXPECT_EQ(transport->WaitForInput(0), InputWait::Closed);
    char buffer[8];
    EXPECT_TRUE(transport->ReadQueued(buffer, 7).failed);
    EXPECT_FALSE(transport->WriteAll("x", 1));
    // And it opens again.
    ASSERT_TRUE(transport->Open(nullptr));
    EXPECT_TRUE(transport->IsOpen());
}

TEST_F(SerialTransportTest, MissingDeviceFailsToOpenWithTheDisplaysText) {
    auto transport = SerialTransport(6);
    std::string failure;
    EXPECT_FALSE(transport->Open(&failure));
    EXPECT_EQ(failure, kCantOpenText);
    EXPECT_FALSE(transport->IsOpen());
    EXPECT_EQ(transport->WaitForInput(0), InputWait::Closed);
}

TEST_F(SerialTransportTest, LoopbackPlugReturnsThePatternAndAPulledPlugIsGone) {
    auto transport = SerialTransport(7);
    ASSERT_TRUE(transport->Open(nullptr));
    EXPECT_EQ(transport->Caption(), "\\\\.\\COM7") << "the device path";
    ASSERT_TRUE(transport->WriteAll("pattern", 7));
    char buffer[64 + 1];
    std::string got;
    ASSERT_TRUE(WaitUntil([&] {
        if (transport->WaitForInput(100) == InputWait::Ready) {
            const TransportRead read = transport->ReadQueued(buffer, 64);
            got.append(buffer, read.length);
        }
        return got.size() >= 7;
    }));
    EXPECT_EQ(got, "pattern");

    ASSERT_TRUE(platform::UnplugSimulatedDevice("sim:loopback/transport"));
    EXPECT_EQ(transport->WaitForInput(1000), InputWait::Gone);
    EXPECT_NE(transport->LostError(), 0u);
    EXPECT_NE(transport->ReadQueued(buffer, 64).goneError, 0u);
    EXPECT_FALSE(transport->WriteAll("x", 1));

    transport->BeginClose();
    platform::ReplugSimulatedDevice("sim:loopback/transport");
    ASSERT_TRUE(transport->Open(nullptr));
    EXPECT_EQ(transport->LostError(), 0u) << "every open starts without a loss";
}

TEST(SocketTransportTest, NameWithoutPortFailsToOpenAndPacesByTheRecord) {
    SocketTransport transport(SocketTarget{}, {}, nullptr);
    std::string failure;
    EXPECT_FALSE(transport.Open(&failure));
    EXPECT_EQ(failure, kCantOpenText);
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(transport.SerialDevice(), nullptr);
    EXPECT_EQ(transport.Caption(), "");
    EXPECT_EQ(transport.SendPacingMs(true, false), 33u);
    EXPECT_EQ(transport.SendPacingMs(true, true), 3358u);
    EXPECT_EQ(transport.SendPacingMs(false, true), 50u);

    const auto serial = SerialTransport(5);
    EXPECT_EQ(serial->SendPacingMs(true, false), 25u);
    EXPECT_EQ(serial->SendPacingMs(false, true), 50u);
}

}  // namespace
