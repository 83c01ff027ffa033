// The service's side of the framing: requests that arrive in pieces, several in one write,
// frames that are not requests, and lengths beyond every limit.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "drivers/driver_service.h"
#include "platform/devio/device_io_protocol.h"
#include "tests/drivers/device_client.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_config.h"

using namespace portcount;
namespace devio = platform::devio;

namespace {

int ConnectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::vector<std::uint8_t> NameRequest(std::uint32_t entries) {
    const std::uint32_t length = 64 + 12 * entries;
    std::vector<std::uint8_t> frame(devio::kHeaderSize + length, 0);
    devio::EncodeRequestHeader({kIoctlPortMonitor, length, length},
                               std::span<std::uint8_t, devio::kHeaderSize>(frame.data(), 16));
    frame[16] = 10;
    frame[20] = 12;
    return frame;
}

// Reads exactly n bytes, or fewer when the service closes; waits with a generous deadline.
std::vector<std::uint8_t> ReadUpTo(int fd, std::size_t n) {
    std::vector<std::uint8_t> data;
    while (data.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0) {
            break;
        }
        std::uint8_t chunk[4096];
        const ssize_t got = recv(fd, chunk, std::min(sizeof chunk, n - data.size()), 0);
        if (got <= 0) {
            break;
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    return data;
}

class FramingTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(service_.Start()) << service_.Stderr(); }
    std::string Socket() const { return service_.Dir() + "/hubsio"; }

    TempConfig config_;
    ServiceProcess service_;
};

TEST_F(FramingTest, ARequestSplitAtAnyOffsetGetsTheSameAnswer) {
    const auto frame = NameRequest(4);
    const std::size_t answerSize = devio::kAnswerHeaderSize + 64 + 12 * 4;
    std::vector<std::uint8_t> expected;
    for (std::size_t split = 0; split <= frame.size(); ++split) {
        SCOPED_TRACE(split);
        const int fd = ConnectTo(Socket());
        ASSERT_GE(fd, 0);
        ASSERT_EQ(send(fd, frame.data(), split, MSG_NOSIGNAL), static_cast<ssize_t>(split));
        ASSERT_EQ(send(fd, frame.data() + split, frame.size() - split, MSG_NOSIGNAL),
                  static_cast<ssize_t>(frame.size() - split));
        const auto answer = ReadUpTo(fd, answerSize);
        close(fd);
        ASSERT_EQ(answer.size(), answerSize);
        if (expected.empty()) {
            expected = answer;
            devio::AnswerHeader header;
            ASSERT_TRUE(devio::DecodeAnswerHeader(
                std::span<const std::uint8_t, 12>(answer.data(), 12), header));
            EXPECT_EQ(header.status, 0u);
            EXPECT_EQ(header.returned, 64u + 12 * 4);
            EXPECT_STREQ(reinterpret_cast<const char*>(answer.data() + 12 + 16), "COM3");
        }
        EXPECT_EQ(answer, expected);
    }
}

TEST_F(FramingTest, RequestsInOneWriteAreAnsweredInOrder) {
    std::vector<std::uint8_t> frames;
    for (std::uint32_t n : {1u, 2u, 3u}) {
        const auto frame = NameRequest(n);
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
    const int fd = ConnectTo(Socket());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(send(fd, frames.data(), frames.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(frames.size()));
    for (std::uint32_t n : {1u, 2u, 3u}) {
        const auto answer = ReadUpTo(fd, devio::kAnswerHeaderSize + 64 + 12 * n);
        ASSERT_EQ(answer.size(), devio::kAnswerHeaderSize + 64 + 12 * n);
        EXPECT_EQ(devio::GetU32(answer.data() + 8), 64 + 12 * n);
    }
    close(fd);
}

TEST_F(FramingTest, FramesThatAreNotRequestsCloseOnlyThatConnection) {
    std::vector<std::uint8_t> badMagic = NameRequest(1);
    badMagic[0] ^= 0xFF;
    std::vector<std::uint8_t> tooLong(16, 0);
    devio::EncodeRequestHeader({kIoctlPortMonitor, devio::kMaxBufferBytes + 1, 64},
                               std::span<std::uint8_t, 16>(tooLong.data(), 16));
    for (const auto& frame : {badMagic, tooLong}) {
        const int fd = ConnectTo(Socket());
        ASSERT_GE(fd, 0);
        send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
        EXPECT_TRUE(ReadUpTo(fd, 1).empty());  // closed without an answer
        close(fd);
    }
    // A client that leaves in the middle of a request harms no one.
    const auto frame = NameRequest(2);
    int fd = ConnectTo(Socket());
    send(fd, frame.data(), 20, MSG_NOSIGNAL);
    close(fd);
    EXPECT_EQ(Device("hubsio").Names(8).size(), 3u);
    // Control lines past the limit close that connection too.
    fd = ConnectTo(service_.Dir() + "/portcountd.ctl");
    const std::string noise(8192, 'x');
    send(fd, noise.data(), noise.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(ReadUpTo(fd, 1).empty());
    close(fd);
    EXPECT_EQ(Device("talon").Names(8).size(), 2u);
}

TEST_F(FramingTest, AControlLinePastTheLimitIsRefusedHoweverItArrives) {
    // One write or many, a line longer than the limit gets no answer; one at the limit does.
    struct Case {
        std::size_t length;
        std::size_t pieces;
        bool answered;
    };
    for (const Case& c : {Case{kMaxControlLine, 1, true}, Case{kMaxControlLine + 1, 1, false},
                          Case{kMaxControlLine + 1, 3, false}, Case{3 * kMaxControlLine, 1, false},
                          Case{3 * kMaxControlLine, 5, false}}) {
        SCOPED_TRACE(testing::Message() << c.length << " bytes in " << c.pieces << " writes");
        const std::string line = std::string(c.length, 'x') + "\n";
        const int fd = ConnectTo(service_.Dir() + "/portcountd.ctl");
        ASSERT_GE(fd, 0);
        const std::size_t piece = line.size() / c.pieces + 1;
        for (std::size_t at = 0; at < line.size(); at += piece) {
            const std::size_t n = std::min(piece, line.size() - at);
            const ssize_t sent = send(fd, line.data() + at, n, MSG_NOSIGNAL);
            if (sent < 0 && at > kMaxControlLine) {
                // Past the limit the service may already have closed the connection.
                EXPECT_FALSE(c.answered);
                break;
            }
            ASSERT_EQ(sent, static_cast<ssize_t>(n));
        }
        const auto answer = ReadUpTo(fd, 16);
        close(fd);
        if (c.answered) {
            EXPECT_EQ(std::string(answer.begin(), answer.end()), "error: unknown c");
        } else {
            EXPECT_TRUE(answer.empty()) << std::string(answer.begin(), answer.end());
        }
    }
    EXPECT_EQ(Device("talon").Names(8).size(), 2u);
}

}  // namespace
