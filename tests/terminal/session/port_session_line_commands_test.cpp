// The line commands of a port window on closed ports, on a simulated null-modem cable and on a
// pseudo-terminal whose driver lacks the private functions.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "terminal/resources/halvo_resources.h"
#include "terminal/session/port_error_box.h"
#include "terminal/session/port_session.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;
using Posts = std::vector<Posted>;

namespace {

using LineCommandTest = SessionTest;

std::string WithCode(const std::string& text, DWORD code) {
    return text + "\n\n(error code: " + std::to_string(code) + ")";
}

TEST_F(LineCommandTest, EveryCommandOnAClosedPortGivesItsTextAndChangesNoPane) {
    struct Row {
        int id;
        const char* text;
        const char* trace;  // null: none
    };
    const Row rows[] = {
        {ID_DTR, "Port is not open!\t", "Can't Set DTR, because the port is closed"},
        {ID_RTS, "Port is not open!\t", "Can't Set RTS, because the port is closed"},
        {ID_INTERNAL_LOOPBACK, "Port is not open!\t", "Port is closed!\n"},
        {ID_SET_XON, "Port is not Open!\t", "Port is closed!\n"},
        {ID_SET_XOFF, "Port is not Open!\t", "Port is closed!\n"},
        {ID_BREAK_ON, "Port is not Open!\t", "Port is closed!\n"},
        {ID_BREAK_OFF, "Port is not Open!\t", "Port is closed!\n"},
        {ID_SET_TOGGLE_LOW, "Port is not Open!\t", "Port is closed!\n"},
        {ID_CLEAR_TOGGLE_LOW, "Port is not Open!\t", "Port is closed!\n"},
        {ID_PURGE_TX_ABORT, "Port is not Open!\t", "Port is closed!\n"},
        {ID_PURGE_TX_CLEAR, "Port is not open!\t", "Port is closed!\n"},
        {ID_PURGE_RX_ABORT, "Port is not open!\t", "Port is closed!\n"},
        {ID_PURGE_RX_CLEAR, "Port is not Open!\t", nullptr},
        {ID_SEND_IMMEDIATE_CHAR, "Port is not Open!\t", "Port is closed!\n"},
    };
    auto session = Make("COM4", link_);  // no device: the port stays closed
    ASSERT_TRUE(WaitForPortErrorBoxes(5000));
    const long closedTraces = Traced("Port is closed!\n");
    const std::size_t boxesBefore = prompts_.Count();
    const std::size_t mark = link_->Size();
    for (const Row& row : rows) {
        const long before = row.trace != nullptr ? Traced(row.trace) : 0;
        ASSERT_TRUE(session->OnLineCommand(row.id)) << row.id;
        if (row.trace != nullptr) {
            EXPECT_EQ(Traced(row.trace), before + 1) << row.id;
        }
        ASSERT_TRUE(WaitForPortErrorBoxes(5000));
        ASSERT_EQ(prompts_.Count(), boxesBefore + static_cast<std::size_t>(&row - rows) + 1);
        EXPECT_EQ(prompts_.Records().back().text, row.text) << row.id;
    }
    // Purge RX_CLEAR alone writes no debugger line.
    EXPECT_EQ(Traced("Port is closed!\n"), closedTraces + 11);
    EXPECT_EQ(link_->Since(mark), Posts{});
    EXPECT_FALSE(session->OnLineCommand(ID_SEND)) << "not a line command";
}

TEST_F(LineCommandTest, BreakXoffAndTheImmediateCharacterActOnTheCable) {
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    const platform::CommDeviceHandle device = session->Transport()->SerialDevice();
    ASSERT_TRUE(device);
    auto held = [&] {
        DWORD errors = 0;
        COMSTAT stat{};
        device->ClearCommError(errors, &stat);
        return stat.fXoffHold != 0;
    };

    std::size_t mark = link_->Size();
    ASSERT_TRUE(session->OnLineCommand(ID_BREAK_ON));
    EXPECT_EQ(link_->Since(mark), Posts{Indicator(ID_INDICATOR_BRK, 1)});
    EXPECT_TRUE(WaitUntil([&] { return (peer.Errors() & CE_BREAK) != 0; }));
    mark = link_->Size();
    ASSERT_TRUE(session->OnLineCommand(ID_BREAK_OFF));
    EXPECT_EQ(link_->Since(mark), Posts{Indicator(ID_INDICATOR_BRK, 0)});

    // XOFF holds what is typed; the immediate character still goes, ahead of it; XON lets the
    // rest follow in order.
    mark = link_->Size();
    ASSERT_TRUE(session->OnLineCommand(ID_SET_XOFF));
    EXPECT_EQ(link_->Since(mark), Posts{Indicator(ID_INDICATOR_XOFF, 1)});
    EXPECT_TRUE(held());
    session->OnChar('a', 0x1E);
    session->OnChar('b', 0x30);
    mark = link_->Size();
    ASSERT_TRUE(session->OnLineCommand(ID_SEND_IMMEDIATE_CHAR));
    EXPECT_EQ(peer.Read(1), "@");
    ASSERT_TRUE(session->OnLineCommand(ID_SET_XON));
    EXPECT_FALSE(held());
    EXPECT_EQ(peer.Read(2), "ab");
    // The watcher may report the hold it saw too; the pane ends off.
    const Posts xoff = link_->Since(mark);
    ASSERT_FALSE(xoff.empty());
    EXPECT_EQ(xoff.back(), Indicator(ID_INDICATOR_XOFF, 0));
    for (const Posted& p : xoff) {
        EXPECT_EQ(p.wParam, static_cast<WPARAM>(ID_INDICATOR_XOFF));
    }

    // The purges take whatever the driver holds; none of them has a pane.
    session->StopReceiving();
    peer.Write("queued");
    EXPECT_TRUE(WaitUntil([&] {
        DWORD errors = 0;
        COMSTAT stat{};
        device->ClearCommError(errors, &stat);
        return stat.cbInQue == 6;
    }));
    mark = link_->Size();
    for (int id : {ID_PURGE_TX_ABORT, ID_PURGE_TX_CLEAR, ID_PURGE_RX_ABORT, ID_PURGE_RX_CLEAR}) {
        ASSERT_TRUE(session->OnLineCommand(id));
    }
    DWORD errors = 0;
    COMSTAT stat{};
    device->ClearCommError(errors, &stat);
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(link_->Since(mark), Posts{});

    // The simulated driver has internal loopback; its pane and flag follow the command.
    for (const bool on : {true, false}) {
        mark = link_->Size();
        ASSERT_TRUE(session->OnLineCommand(ID_INTERNAL_LOOPBACK));
        EXPECT_EQ(link_->Since(mark), Posts{Indicator(ID_INDICATOR_LPBK, on)});
        EXPECT_EQ(session->PublishedState().loopbackOn, on);
    }
    ASSERT_TRUE(WaitForPortErrorBoxes(5000));
    EXPECT_EQ(prompts_.Count(), 0u);
}

TEST_F(LineCommandTest, PseudoTerminalRefusesLoopbackAndToggleLowAndTheirPanesStayOff) {
    int master = -1;
    int slave = -1;
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    config_.WritePortMap(std::string("COM5 = ") + name + "\n");
    {
        auto session = Make("COM5", link_);
        ASSERT_TRUE(session->PublishedState().isOpen);
        std::size_t mark = link_->Size();
        ASSERT_TRUE(session->OnLineCommand(ID_INTERNAL_LOOPBACK));
        EXPECT_EQ(link_->Since(mark), Posts{Indicator(ID_INDICATOR_LPBK, 0)});
        EXPECT_FALSE(session->PublishedState().loopbackOn);
        mark = link_->Size();
        ASSERT_TRUE(session->OnLineCommand(ID_SET_TOGGLE_LOW));
        EXPECT_EQ(link_->Since(mark), Posts{});
        ASSERT_TRUE(WaitForPortErrorBoxes(5000));
        std::vector<std::string> texts;
        for (const auto& box : prompts_.Records()) {
            texts.push_back(box.text);
        }
        std::sort(texts.begin(), texts.end());
        EXPECT_EQ(texts, (std::vector<std::string>{
                             WithCode("LoopBack failed!\t", ERROR_INVALID_FUNCTION),
                             WithCode("SET_TOGGLE_LOW failed!\t", ERROR_INVALID_FUNCTION)}));
    }
    close(master);
    close(slave);
}

}  // namespace
