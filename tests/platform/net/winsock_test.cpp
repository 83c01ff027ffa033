#include "platform/net/winsock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "tests/support/tcp_test_peer.h"
#include "tests/support/wait.h"

namespace {

using namespace platform;

// One start for the test's life, so that the calls may run.
class WinsockTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data_), 0); }
    void TearDown() override {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
        EXPECT_EQ(WSACleanup(), 0);
    }

    static SOCKADDR_IN Loopback(std::uint16_t port) {
        SOCKADDR_IN peer;
        peer.sin_family = AF_INET;
        peer.sin_addr.S_addr = inet_addr("127.0.0.1");
        peer.sin_port = htons(port);
        return peer;
    }
    // A new socket connected to 127.0.0.1:port, or INVALID_SOCKET.
    SOCKET Connected(std::uint16_t port) {
        socket_ = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const SOCKADDR_IN peer = Loopback(port);
        if (platform::connect(socket_, reinterpret_cast<const SOCKADDR*>(&peer), sizeof peer) !=
            0) {
            return INVALID_SOCKET;
        }
        return socket_;
    }
    int Send(const std::string& bytes) {
        return platform::send(socket_, bytes.data(), static_cast<int>(bytes.size()), 0);
    }

    WSADATA data_;
    SOCKET socket_ = INVALID_SOCKET;
};

TEST(WinsockStartTest, CallsNeedAStartAndEachCleanupEndsOne) {
    const int before = WinsockStartCount();
    ASSERT_EQ(before, 0) << "no other test keeps a start";
    char byte = 0;
    SOCKADDR_IN peer;
    peer.sin_family = AF_INET;
    struct Call {
        const char* name;
        bool failed;
    };
    const Call calls[] = {
        {"socket", platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) == INVALID_SOCKET},
        {"connect", platform::connect(3, reinterpret_cast<const SOCKADDR*>(&peer), sizeof peer) ==
                        SOCKET_ERROR},
        {"send", platform::send(3, &byte, 1, 0) == SOCKET_ERROR},
        {"recv", platform::recv(3, &byte, 1, 0) == SOCKET_ERROR},
        {"shutdown", platform::shutdown(3, SD_BOTH) == SOCKET_ERROR},
        {"closesocket", closesocket(3) == SOCKET_ERROR},
        {"WSACleanup", WSACleanup() == SOCKET_ERROR},
    };
    for (const Call& call : calls) {
        EXPECT_TRUE(call.failed) << call.name;
    }
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

    WSADATA data;
    EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data), WSAVERNOTSUPPORTED);
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, MAKEWORD(2, 2));
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    EXPECT_EQ(WinsockStartCount(), 2);
    EXPECT_EQ(WSACleanup(), 0);
    const SOCKET s = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_NE(s, INVALID_SOCKET) << "one start is still outstanding";
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WinsockStartCount(), 0);
}

TEST(WinsockAddressTest, DottedAddressesAndNothingElse) {
    const auto bytesOf = [](platform::u_long address) {
        unsigned char bytes[4];
        std::memcpy(bytes, &address, 4);
        return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
               std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
    };
    for (const char* text : {"127.0.0.1", "10.200.3.45", "0.0.0.0", "255.255.255.254"}) {
        EXPECT_EQ(bytesOf(inet_addr(text)), text) << "network order, first part first";
    }
    for (const char* text : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4x", " 1.2.3.4",
                             "1..2.3", "0127.0.0.1", "localhost", "1.2.3.-4"}) {
        EXPECT_EQ(inet_addr(text), INADDR_NONE) << text;
    }
    EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
    const platform::u_short port = htons(0x1234);
    EXPECT_EQ(std::memcmp(&port, "\x12\x34", 2), 0);
    EXPECT_EQ(ntohs(port), 0x1234);
}

TEST_F(WinsockTest, BytesCrossBothWaysAndAnOrderlyEndReadsAsZero) {
    TcpTestListener listener;
    ASSERT_NE(Connected(listener.Port()), INVALID_SOCKET);
    TcpTestConnection peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());

    EXPECT_EQ(Send("hello"), 5);
    EXPECT_EQ(peer.Read(5), "hello");
    ASSERT_TRUE(peer.Write("world"));
    ASSERT_EQ(WaitReadable(socket_, INFINITE, nullptr), SocketWait::Readable);
    char buffer[16] = {};
    EXPECT_EQ(platform::recv(socket_, buffer, sizeof buffer, 0), 5);
    EXPECT_EQ(std::string(buffer, 5), "world");

    // Our shutdown is the peer's end of file.
    EXPECT_EQ(platform::shutdown(socket_, SD_SEND), 0);
    EXPECT_TRUE(peer.WaitEndOfFile());
    peer = TcpTestConnection();
    ASSERT_EQ(WaitReadable(socket_, INFINITE, nullptr), SocketWait::Readable);
    EXPECT_EQ(platform::recv(socket_, buffer, sizeof buffer, 0), 0);
}

TEST_F(WinsockTest, ConnectFailuresCarryTheirWsaCodes) {
    EXPECT_EQ(Connected(UnusedTcpPort()), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);

    EXPECT_EQ(platform::socket(AF_INET + 1, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    EXPECT_EQ(platform::send(INVALID_SOCKET, "x", 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

// A peer that resets the connection: sending on must fail with an error code, never end the
// process with a broken-pipe signal.
TEST_F(WinsockTest, SendingToAResetPeerFailsWithoutASignal) {
    TcpTestListener listener;
    ASSERT_NE(Connected(listener.Port()), INVALID_SOCKET);
    TcpTestConnection peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    peer.Reset();

    const std::string block(4096, 'x');
    int result = 0;
    // The first sends may still be taken before the reset has arrived.
    ASSERT_TRUE(WaitUntil([&] {
        result = Send(block);
        return result == SOCKET_ERROR;
    }));
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(Send(block), SOCKET_ERROR) << "and again, still without a signal";
}

TEST_F(WinsockTest, ReceiveGivesUpAfterItsTimeOut) {
    TcpTestListener listener;
    ASSERT_NE(Connected(listener.Port()), INVALID_SOCKET);
    TcpTestConnection peer = listener.Accept();
    const DWORD timeout = 50;
    ASSERT_EQ(platform::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO,
                                   reinterpret_cast<const char*>(&timeout), sizeof timeout),
              0);
    char buffer[16];
    EXPECT_EQ(platform::recv(socket_, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_EQ(platform::setsockopt(socket_, SOL_SOCKET, 0x1005, "x", 1), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
}

// A connect to a listener whose queue is full waits for the peer; the waker and the time-out
// each end it, and leave the socket unconnected.
TEST_F(WinsockTest, AConnectThatWaitsEndsByItsWakerOrItsTimeOut) {
    TcpTestListener listener(0);
    ASSERT_TRUE(listener.FillQueue());
    const SOCKADDR_IN peer = Loopback(listener.Port());
    const auto* name = reinterpret_cast<const SOCKADDR*>(&peer);

    SocketWaker waker;
    socket_ = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    std::thread closer([&] { waker.Set(); });
    EXPECT_EQ(ConnectWithin(socket_, name, sizeof peer, INFINITE, &waker), SOCKET_ERROR);
    closer.join();
    EXPECT_EQ(WSAGetLastError(), WSAEINTR);

    // Set before the connect: it ends at once, and stays set until reset.
    EXPECT_TRUE(waker.IsSet());
    closesocket(socket_);
    socket_ = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_EQ(ConnectWithin(socket_, name, sizeof peer, INFINITE, &waker), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINTR);

    waker.Reset();
    EXPECT_FALSE(waker.IsSet());
    closesocket(socket_);
    socket_ = platform::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    EXPECT_EQ(ConnectWithin(socket_, name, sizeof peer, 20, &waker), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
}

TEST_F(WinsockTest, AWaitForInputEndsByDataWakerOrShutdown) {
    TcpTestListener listener;
    ASSERT_NE(Connected(listener.Port()), INVALID_SOCKET);
    TcpTestConnection peer = listener.Accept();
    SocketWaker waker;

    EXPECT_EQ(WaitReadable(socket_, 0, &waker), SocketWait::TimedOut);
    std::thread setter([&] { waker.Set(); });
    EXPECT_EQ(WaitReadable(socket_, INFINITE, &waker), SocketWait::Woken);
    setter.join();
    waker.Reset();

    std::thread closer([&] { platform::shutdown(socket_, SD_BOTH); });
    EXPECT_EQ(WaitReadable(socket_, INFINITE, &waker), SocketWait::Readable);
    closer.join();
    char buffer[4];
    EXPECT_EQ(platform::recv(socket_, buffer, sizeof buffer, 0), 0);
}

}  // namespace
