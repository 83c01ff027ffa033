// The port's error box, and boxes nobody has answered yet: the reporting thread goes on, and a
// receive worker waiting for an answer does not keep the port from closing.

#include <gtest/gtest.h>

#include "terminal/session/port_error_box.h"
#include "terminal/session/port_session.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

TEST(PortSessionErrorTextTest, MessageWithOptionalCodeCutTo149Characters) {
    const std::string full(200, 'x');
    const std::string nearlyFull(140, 'y');
    const std::tuple<const char*, long, std::string> rows[] = {
        {"Port is not open!\t", 0, "Port is not open!\t"},
        {"SET_XON failed!\t", 87, "SET_XON failed!\t\n\n(error code: 87)"},
        {"Refused", -5, "Refused\n\n(error code: -5)"},
        {nullptr, 0, ""},
        {nullptr, 2, "\n\n(error code: 2)"},
        {full.c_str(), 0, std::string(149, 'x')},
        {nearlyFull.c_str(), 123456, (nearlyFull + "\n\n(error code: 123456)").substr(0, 149)},
    };
    for (const auto& [message, code, expected] : rows) {
        EXPECT_EQ(FormatPortErrorText(message, code), expected) << code;
    }
}

using PortSessionErrorBoxTest = SessionTest;

TEST_F(PortSessionErrorBoxTest, BoxIsShownWithoutTheCallerWaiting) {
    auto session = Make("COM1", link_, &held_);
    // Had the call waited for an answer it would never return: nobody answers yet.
    session->PortErrorBox("Port can't override the RTS!\t", 13);
    const auto box = held_.WaitShown(0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "Port can't override the RTS!\t\n\n(error code: 13)");
    EXPECT_EQ(box->caption, "\\\\.\\COM1");  // the device path
    EXPECT_EQ(box->style, MB_ICONHAND);
    EXPECT_FALSE(WaitForPortErrorBoxes(0));
    session->OpenClosePort();  // the port thread goes on meanwhile
    EXPECT_FALSE(session->PublishedState().isOpen);
    held_.AnswerAll();
    EXPECT_TRUE(WaitForPortErrorBoxes(5000));
}

TEST_F(PortSessionErrorBoxTest, SessionClosesWhileItsReceiveWorkerWaitsForAnAnswer) {
    { PeerDevice warmUp("COM2"); }
    const int threadsBefore = ThreadCount();
    // The log file cannot be created, so the receive worker shows its box and waits.
    setenv("QUENBY_PROGRAM_DIR", (programDir_ + "/missing").c_str(), 1);
    ProcessDisplayFlags().logToFile = true;
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_, &held_);
    peer.Write("x");
    const auto box = held_.WaitShown(0);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "Halvo2 can't create the log file!");

    // The close waits its time for the worker, then leaves it its share of the port's state.
    session.reset();
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_NOT_READY);
    EXPECT_GT(ThreadCount(), threadsBefore);
    // Answered at last, the worker sees its open ended and goes, touching nothing released.
    held_.AnswerAll();
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }));
}

}  // namespace
