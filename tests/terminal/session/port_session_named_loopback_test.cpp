// Three port sessions on three loopback plugs of their own, all sending the test pattern at
// once: each gets back exactly what it sent.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>

#include "terminal/session/port_session.h"
#include "terminal/session/test_pattern.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

using NamedLoopbackTest = SessionTest;

// True when `text` is the pattern repeated whole, at least once.
bool IsWholePatterns(const std::string& text, std::string_view pattern) {
    if (text.empty() || text.size() % pattern.size() != 0) {
        return false;
    }
    for (std::size_t at = 0; at < text.size(); at += pattern.size()) {
        if (std::string_view(text).substr(at, pattern.size()) != pattern) {
            return false;
        }
    }
    return true;
}

TEST_F(NamedLoopbackTest, ThreePortsSendAndReceiveThePatternAtOnce) {
    config_.WritePortMap(
        "COM5 = sim:loopback/1\n"
        "COM6 = sim:loopback/2\n"
        "COM7 = sim:loopback/3\n");
    const TestPattern pattern(false, 0);
    std::array<std::unique_ptr<PortSession>, 3> ports;
    for (int i = 0; i < 3; ++i) {
        ports[i] = Make("COM" + std::to_string(5 + i));
        ASSERT_TRUE(ports[i]->PublishedState().isOpen) << ports[i]->PortName();
    }
    for (auto& port : ports) {
        port->StartSending();
    }
    // Each stops once two patterns are back, well before its display fills up.
    for (auto& port : ports) {
        ASSERT_TRUE(WaitUntil([&] { return Text(*port).size() >= 2 * pattern.Length(); }, 20000ms))
            << port->PortName() << " received " << Text(*port).size();
        port->StopSending();
    }

    // Once the last pattern is through, everything sent has come back, and what came back is
    // the port's own pattern, whole and in order, and nothing else. One look at the counts and
    // the display together, as a write that was under way at the stop may still add a pattern.
    for (auto& port : ports) {
        std::string shown;
        ReportCounters counters;
        EXPECT_TRUE(WaitUntil(
            [&] {
                counters = port->Counters();
                shown = Text(*port);
                return counters.kbWritten > 0 && counters.kbRead == counters.kbWritten &&
                       shown.size() == static_cast<std::size_t>(counters.kbRead * 1024) &&
                       IsWholePatterns(shown, pattern.Text());
            },
            20000ms))
            << port->PortName() << ": " << counters.kbWritten * 1024 << " sent, "
            << counters.kbRead * 1024 << " received, " << shown.size() << " shown, whole patterns "
            << IsWholePatterns(shown, pattern.Text());
    }
}

}  // namespace
