// The activity codes of the transfer states with files (the port's own starts and stops are
// driven through a session), and the channel callback's indicators and markers.

#include "terminal/session/port_workers.h"

#include <gtest/gtest.h>

#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

TEST(PortWorkersRulesTest, EachTransferChangeShowsTheCodeOfTheNewState) {
    using C = TransferChange;
    struct Row {
        C change;
        TransferState state;  // receiving, sending, receiveFile, sendFile
        ActivityCode expected;
    };
    const Row rows[] = {
        {C::StartReceiving, {1, 1, 0, 1}, ACTIVITY_SENDING_RECEIVING},
        {C::StartReceiving, {1, 0, 0, 1}, ACTIVITY_SENDING_FILE_RECEIVING},
        {C::StopReceiving, {0, 0, 1, 0}, ACTIVITY_READY},
        {C::StopReceiving, {0, 1, 0, 1}, ACTIVITY_SENDING},
        {C::StopReceiving, {0, 0, 0, 1}, ACTIVITY_SENDING_FILE},
        {C::StartSending, {1, 1, 1, 0}, ACTIVITY_SENDING_RECEIVING},
        {C::StartSending, {0, 1, 1, 0}, ACTIVITY_RECEIVING_FILE_SENDING},
        {C::StopSending, {0, 0, 0, 1}, ACTIVITY_READY},
        {C::StopSending, {1, 0, 1, 0}, ACTIVITY_RECEIVING},
        {C::StopSending, {0, 0, 1, 0}, ACTIVITY_RECEIVING_FILE},
        {C::ReceiveFileOpened, {1, 0, 1, 0}, ACTIVITY_RECEIVING_FILE},
        {C::ReceiveFileOpened, {1, 1, 1, 0}, ACTIVITY_RECEIVING_FILE_SENDING},
        {C::ReceiveFileOpened, {1, 1, 1, 1}, ACTIVITY_SENDING_RECEIVING_FILES},
        {C::ReceiveFileStopped, {1, 0, 0, 0}, ACTIVITY_RECEIVING},
        {C::ReceiveFileStopped, {0, 1, 0, 0}, ACTIVITY_SENDING},
        {C::ReceiveFileStopped, {1, 1, 0, 0}, ACTIVITY_SENDING_RECEIVING},
        {C::ReceiveFileStopped, {1, 0, 0, 1}, ACTIVITY_SENDING_FILE},
        {C::SendFileOpened, {0, 0, 0, 1}, ACTIVITY_SENDING_FILE},
        {C::SendFileOpened, {1, 0, 0, 1}, ACTIVITY_SENDING_FILE_RECEIVING},
        {C::SendFileOpened, {1, 0, 1, 1}, ACTIVITY_SENDING_RECEIVING_FILES},
        {C::SendFileEnded, {1, 0, 0, 0}, ACTIVITY_RECEIVING},
        {C::SendFileEnded, {1, 0, 1, 0}, ACTIVITY_RECEIVING_FILE},
    };
    for (const Row& row : rows) {
        const TransferState& s = row.state;
        EXPECT_EQ(ActivityAfter(row.change, s), row.expected)
            << static_cast<int>(row.change) << ": " << s.receiving << s.sending << s.receiveFile
            << s.sendFile;
    }
}

using PortWorkersTest = SessionTest;

TEST_F(PortWorkersTest, ChannelEventsBecomeIndicatorsOrMarkers) {
    auto display = std::make_shared<DisplayBuffer>();
    PortShared shared("COM9", link_, display, prompts_);
    PortConfig config;
    SerialChannel channel(9, config, &shared);
    struct Row {
        ChannelEvent event;
        int indicator;  // 0: none
        LPARAM state;
        const char* marker;
    };
    const Row rows[] = {
        {CHANNEL_WATCHER_STARTED, 0, 0, ""},
        {CHANNEL_WATCHER_ENDED, 0, 0, ""},
        {CHANNEL_XOFF_HOLD_ENDED, ID_INDICATOR_XOFF, 0, ""},
        {CHANNEL_XOFF_HOLD_BEGAN, ID_INDICATOR_XOFF, 1, ""},
        {CHANNEL_RING_ON, ID_INDICATOR_RING, 1, ""},
        {CHANNEL_RING_OFF, ID_INDICATOR_RING, 0, ""},
        {CHANNEL_CD_ON, ID_INDICATOR_CD, 1, ""},
        {CHANNEL_CD_OFF, ID_INDICATOR_CD, 0, ""},
        {CHANNEL_CTS_OFF, ID_INDICATOR_CTS, 0, ""},
        {CHANNEL_CTS_ON, ID_INDICATOR_CTS, 1, ""},
        {CHANNEL_DSR_OFF, ID_INDICATOR_DSR, 0, ""},
        {CHANNEL_DSR_ON, ID_INDICATOR_DSR, 1, ""},
        {CHANNEL_BREAK, 0, 0, "<EV_BREAK>"},
        {CHANNEL_RXCHAR, 0, 0, "<EV_RXCHAR>"},
        {CHANNEL_RXFLAG, 0, 0, "<EV_RXFLAG>"},
        {CHANNEL_LINE_ERROR, 0, 0, "<EV_ERR>"},
        {CHANNEL_PRINTER_ERROR, 0, 0, "<EV_PERR>"},
        {CHANNEL_TX_EMPTY, 0, 0, "<EV_TXEMPTY>"},
        {CHANNEL_EVENT1, 0, 0, "<EV_EVENT1>"},
        {CHANNEL_EVENT2, 0, 0, "<EV_EVENT2>"},
    };
    for (const Row& row : rows) {
        const std::size_t mark = link_->Size();
        display->Clear();
        PortChannelCallback(&channel, &shared, row.event);
        EXPECT_EQ(link_->Since(mark), row.indicator
                                          ? std::vector<Posted>{Indicator(row.indicator, row.state)}
                                          : std::vector<Posted>{})
            << "event " << row.event;
        EXPECT_EQ(display->GetText(), row.marker) << "event " << row.event;
    }
    display->Clear();
    const std::size_t mark = link_->Size();
    PortChannelCallback(nullptr, &shared, CHANNEL_CTS_ON);  // no channel: nothing
    PortChannelCallback(nullptr, &shared, CHANNEL_BREAK);
    EXPECT_EQ(link_->Size(), mark);
    EXPECT_EQ(display->GetText(), "");
}

}  // namespace
