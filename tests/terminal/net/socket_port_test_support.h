#pragma once
// What the socket port tests share: a port window's session fixture with its waits for the
// display, for a reported loss of the connection, and for the closed state.

#include <gtest/gtest.h>

#include <string>

#include "platform/net/winsock.h"
#include "terminal/net/socket_transport.h"
#include "terminal/session/test_pattern.h"
#include "tests/support/tcp_test_peer.h"
#include "tests/terminal/session/port_session_test_support.h"

namespace port_test {

inline constexpr const char* kCantOpenText = "Halvo2 Can't open the port!\r\n";

inline std::string TcpName(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

class SocketPortTest : public SessionTest {
  protected:
    static bool WaitShown(PortSession& session, const std::string& text) {
        return WaitUntil([&] { return Text(session).find(text) != std::string::npos; });
    }
    // The loss a worker reported, handed to the session as the port thread does.
    bool HandleLoss(PortSession& session, std::size_t from) {
        const bool reported = WaitUntil([&] {
            for (const Posted& p : link_->Since(from)) {
                if (p.message == UWM_DEVICE_LOST) {
                    return true;
                }
            }
            return false;
        });
        session.OnDeviceLost();
        return reported;
    }
    void ExpectClosed(PortSession& session, std::size_t from) {
        EXPECT_FALSE(session.PublishedState().isOpen);
        EXPECT_FALSE(session.Transport()->IsOpen());
        const std::vector<Posted> posted = link_->Since(from);
        EXPECT_TRUE(IsSubsequence({Activity(ACTIVITY_NOT_READY)}, posted));
        EXPECT_EQ(platform::WinsockStartCount(), 0) << "a closed port keeps no start";
    }
    std::string Pattern() const { return TestPattern(false, 0).Data(); }
};

}  // namespace port_test
