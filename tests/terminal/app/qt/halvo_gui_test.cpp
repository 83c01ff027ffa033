// halvo2's windows on the offscreen platform over simulated serial devices: the main frame's
// command line, menus and all-port commands, port windows with their status bars, displays and
// reports, typed characters, Open Port, Close All and the exit with its stored preferences.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMdiArea>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/registry/registry.h"
#include "terminal/dialogs/qt/open_dlg.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/qt/port_edit.h"
#include "terminal/session/qt/report_widget.h"
#include "tests/terminal/app/qt/halvo_gui_support.h"

namespace {

// The sim null-modem pair raises the peer's CTS, DSR and CD from its RTS and DTR.
TEST_F(HalvoGui, TwoPortsFromTheCommandLineOpenTiledAndReceive) {
    CMainFrame& frame = Start("COM1,COM2");
    ASSERT_EQ(frame.PortFrames().size(), 2u);
    CPortMDIChildWnd* com1 = frame.PortFrames()[0];
    CPortMDIChildWnd* com2 = frame.PortFrames()[1];
    EXPECT_EQ(com1->windowTitle(), QStringLiteral("COM1"));
    EXPECT_EQ(com2->windowTitle(), QStringLiteral("COM2"));
    for (CPortMDIChildWnd* port : {com1, com2}) {
        EXPECT_TRUE(PumpUntil([&] {
            return PaneShows(port, "OPEN") && PaneShows(port, "RTS") && PaneShows(port, "DTR") &&
                   PaneShows(port, "CTS") && PaneShows(port, "DSR") && PaneShows(port, "CD") &&
                   PaneShows(port, "Receiving...");
        })) << port->VisiblePanes().join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(PaneShows(port, "RING"));
    }
    // Tiled vertically: side by side, each as tall as the client area.
    EXPECT_EQ(com1->geometry().top(), com2->geometry().top());
    EXPECT_LT(com1->geometry().right(), com2->geometry().left());
    EXPECT_EQ(com1->height(), frame.MdiArea()->viewport()->height());
    EXPECT_TRUE(frame.ShowsPortMenu());
    EXPECT_EQ(frame.menuBar()->actions().size(), 6);
}

TEST_F(HalvoGui, MenuTwoWithoutPortsAndClearAllAsksNothing) {
    CMainFrame& frame = Start("");
    EXPECT_FALSE(frame.ShowsPortMenu());
    QStringList titles;
    for (QAction* action : frame.menuBar()->actions()) {
        titles << action->text();
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&View"),
                                   QStringLiteral("&Help")}));
    frame.OnCommand(ID_CLEAR_SCREEN_ALL);
    EXPECT_EQ(prompts_.Count(), 0u);
    ASSERT_NE(frame.Action(ID_OPEN_PORT), nullptr);
    EXPECT_EQ(frame.Action(ID_OPEN_PORT)->text(), QStringLiteral("&Open Port\tCtrl+O"));
    EXPECT_EQ(frame.Action(ID_SEND_RECEIVE_TEST_DATA), nullptr);
}

TEST_F(HalvoGui, SendAndReceiveTestDataTogglesEveryPortAndShiftF6StopsSending) {
    CMainFrame& frame = Start("COM1,COM2");
    CPortMDIChildWnd* com1 = Port("COM1");
    CPortMDIChildWnd* com2 = Port("COM2");
    ASSERT_TRUE(PumpUntil(
        [&] { return PaneShows(com1, "Receiving...") && PaneShows(com2, "Receiving..."); }));
    frame.OnCommand(ID_SEND_RECEIVE_TEST_DATA);
    EXPECT_TRUE(frame.Action(ID_SEND_RECEIVE_TEST_DATA)->isChecked());
    for (CPortMDIChildWnd* port : {com1, com2}) {
        EXPECT_TRUE(PumpUntil([&] { return PaneShows(port, "Sending & Receiving..."); }));
        // The pattern's lines as the peer sent them.
        EXPECT_TRUE(PumpUntil([&] {
            return Text(port).find("ABCDEFGHIJ\r\n") != std::string::npos;
        })) << Text(port).substr(0, 200);
    }
    frame.OnCommand(ID_SEND_RECEIVE_TEST_DATA);
    EXPECT_FALSE(frame.Action(ID_SEND_RECEIVE_TEST_DATA)->isChecked());
    for (CPortMDIChildWnd* port : {com1, com2}) {
        EXPECT_TRUE(PumpUntil([&] { return PaneShows(port, "Ready"); }));
        EXPECT_FALSE(port->State().sending.load());
        EXPECT_FALSE(port->State().receiving.load());
    }

    frame.OnCommand(ID_SEND_ALL);
    ASSERT_TRUE(
        PumpUntil([&] { return PaneShows(com1, "Sending...") && PaneShows(com2, "Sending..."); }));
    // Shift+F6 is accelerator 57681, Stop Sending ( All ), wherever the focus is.
    com1->Edit()->setFocus();
    QTest::keyClick(com1->Edit(), Qt::Key_F6, Qt::ShiftModifier);
    for (CPortMDIChildWnd* port : {com1, com2}) {
        EXPECT_TRUE(PumpUntil([&] { return PaneShows(port, "Ready"); }));
        EXPECT_FALSE(port->State().sending.load());
    }
}

TEST_F(HalvoGui, ReportCountsWhatThePeerSentAndTheHiddenDisplayStaysAsItWas) {
    CMainFrame& frame = Start("COM1,COM2");
    CPortMDIChildWnd* com1 = Port("COM1");
    CPortMDIChildWnd* com2 = Port("COM2");
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com2, "Receiving..."); }));
    frame.OnCommand(ID_CHANGE_VIEW_ALL);
    ASSERT_TRUE(PumpUntil([&] { return com1->ShowsReport() && com2->ShowsReport(); }));
    EXPECT_NE(com1->Report()->Text().find("Total time : 0:00:00:0"), std::string::npos)
        << com1->Report()->Text();
    const std::string before = Text(com2);

    com1->RouteCommand(ID_SEND);
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com1, "Sending & Receiving..."); }));
    // Let one whole pattern cross the line, then stop and let the line go quiet.
    ASSERT_TRUE(PumpUntil([&] {
        return com2->Report()->Text().find("Total Bytes Received  : 0K") == std::string::npos;
    }));
    com1->RouteCommand(ID_SEND);
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com1, "Receiving..."); }));
    // The reports are redrawn every two seconds, and the total time moves on with each: a
    // report that differs from the one shown now was drawn after the sending stopped.
    const std::string reportAtStop1 = com1->Report()->Text();
    const std::string reportAtStop2 = com2->Report()->Text();
    ASSERT_TRUE(PumpUntil([&] {
        return com1->Report()->Text() != reportAtStop1 && com2->Report()->Text() != reportAtStop2;
    }));
    const auto sentLine = [](const std::string& report) {
        const std::size_t at = report.find("Total Bytes Transfered: ");
        return report.substr(at + 24, report.find('K', at) - at - 24);
    };
    const auto receivedLine = [](const std::string& report) {
        const std::size_t at = report.find("Total Bytes Received  : ");
        return report.substr(at + 24, report.find('K', at) - at - 24);
    };
    EXPECT_TRUE(PumpUntil([&] {
        return sentLine(com1->Report()->Text()) == receivedLine(com2->Report()->Text()) &&
               sentLine(com1->Report()->Text()) != "0";
    })) << com1->Report()->Text()
        << "\n"
        << com2->Report()->Text();

    // Everything sent has been counted as received, so anything the hidden display were to
    // show would be there by now.
    frame.OnCommand(ID_CHANGE_VIEW_ALL);
    ASSERT_TRUE(PumpUntil([&] { return !com1->ShowsReport() && !com2->ShowsReport(); }));
    // What arrived while the report was shown was counted, not displayed.
    EXPECT_EQ(Text(com2), before);
}

TEST_F(HalvoGui, AMissingDeviceSaysSoAndOpenCloseRetries) {
    Start("COM9");
    CPortMDIChildWnd* com9 = Port("COM9");
    ASSERT_NE(com9, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(com9, "Not Ready"); }));
    EXPECT_EQ(Text(com9), "Halvo2 Can't open the port!\r\n");
    EXPECT_FALSE(PaneShows(com9, "OPEN"));
    com9->RouteCommand(ID_OPEN_CLOSE);
    EXPECT_TRUE(PumpUntil([&] {
        return Text(com9) == "Halvo2 Can't open the port!\r\nHalvo2 Can't open the port!\r\n";
    }));
    EXPECT_TRUE(PaneShows(com9, "Not Ready"));
}

TEST_F(HalvoGui, CloseAllAsksAndYesEndsEveryPortThreadBeforeItReturns) {
    CMainFrame& frame = Start("COM1,COM2,COM3");
    ASSERT_EQ(frame.PortFrames().size(), 3u);
    for (CPortMDIChildWnd* port : frame.PortFrames()) {
        ASSERT_TRUE(PumpUntil([&] { return PaneShows(port, "Receiving..."); }));
    }
    prompts_.AnswerWith(IDNO);
    frame.OnCommand(ID_CLOSE_ALL);
    ASSERT_EQ(prompts_.Records().back().text, "Are you sure you want to close all the windows?");
    EXPECT_EQ(prompts_.Records().back().caption, "Halvo2 - Close All ...");
    EXPECT_EQ(prompts_.Records().back().style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(frame.PortFrames().size(), 3u);

    std::vector<QPointer<CPortMDIChildWnd>> ports;
    for (CPortMDIChildWnd* port : frame.PortFrames()) {
        EXPECT_TRUE(port->HasView());
        ports.emplace_back(port);
    }
    prompts_.AnswerWith(IDYES);
    frame.OnCommand(ID_CLOSE_ALL);
    for (const auto& port : ports) {
        // Either already gone, or still there without its thread: the close waited for it.
        EXPECT_TRUE(port.isNull() || !port->HasView());
    }
    EXPECT_TRUE(PumpUntil([&] { return frame.PortFrames().empty(); }));
    EXPECT_TRUE(PumpUntil([&] { return !frame.ShowsPortMenu(); }));
}

TEST_F(HalvoGui, ExitAsksAndStoresTheFirstRunPreferences) {
    CMainFrame& frame = Start("COM3");
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(Port("COM3"), "Receiving..."); }));
    prompts_.AnswerWith(IDNO);
    EXPECT_FALSE(frame.close());
    EXPECT_EQ(prompts_.Records().back().text, "Are you sure you want to exit?\t");
    EXPECT_EQ(prompts_.Records().back().caption, "Halvo2 - Exit ...");
    EXPECT_EQ(frame.PortFrames().size(), 1u);

    prompts_.AnswerWith(IDYES);
    EXPECT_TRUE(frame.close());
    HKEY key = nullptr;
    ASSERT_EQ(platform::RegOpenKeyExA(HKEY_CURRENT_USER, kPreferencesKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    const std::pair<const char*, const char*> expected[] = {
        {"Save Settings On Exit", "1"}, {"Open Port Dialog", "0"}, {"Confirmation On Exit", "1"},
        {"Child Status Bar", "1"},      {"Child Toolbar", "0"},    {"Report View", "0"},
        {"Log To File", "0"},           {"Show CR/LF", "0"}};
    for (const auto& [name, text] : expected) {
        BYTE data[64] = {};
        DWORD size = sizeof data;
        DWORD type = 0;
        ASSERT_EQ(platform::RegQueryValueExA(key, name, nullptr, &type, data, &size), ERROR_SUCCESS)
            << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(size, 20u) << name;
        EXPECT_STREQ(reinterpret_cast<const char*>(data), text) << name;
    }
    platform::RegCloseKey(key);
}

TEST_F(HalvoGui, OpenPortCreatesTheSelectedPortsLastFirstAndTilesThem) {
    CMainFrame& frame = Start("");
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("control_1003"));
        ASSERT_NE(list, nullptr);
        for (const int row : {2, 4, 6}) {
            list->item(row)->setSelected(true);
        }
        dialog->findChild<QPushButton*>(QStringLiteral("control_1"))->click();
    });
    frame.OnCommand(ID_OPEN_PORT);
    std::vector<std::string> names;
    for (CPortMDIChildWnd* port : frame.PortFrames()) {
        names.push_back(port->PortName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"COM7", "COM5", "COM3"}));
    const auto frames = frame.PortFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0]->geometry().top(), frames[2]->geometry().top());
    EXPECT_LT(frames[0]->geometry().right(), frames[1]->geometry().left());
    EXPECT_LT(frames[1]->geometry().right(), frames[2]->geometry().left());
}

TEST_F(HalvoGui, TypedCharactersGoToThePeerAndControlKeysArrangeWindows) {
    ProcessDisplayFlags().hexDisplay = true;
    Start("COM1,COM2");
    CPortMDIChildWnd* com1 = Port("COM1");
    CPortMDIChildWnd* com2 = Port("COM2");
    ASSERT_TRUE(PumpUntil(
        [&] { return PaneShows(com1, "Receiving...") && PaneShows(com2, "Receiving..."); }));
    const std::string before1 = Text(com1);
    com1->Edit()->setFocus();
    QTest::keyClicks(com1->Edit(), QStringLiteral("Hi"));
    QTest::keyClick(com1->Edit(), Qt::Key_Backspace);
    EXPECT_TRUE(PumpUntil([&] { return Text(com2).find(" 48 69 08") != std::string::npos; }))
        << Text(com2);

    // Ctrl+H tiles horizontally and sends nothing.
    QTest::keyClick(com1->Edit(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(PumpUntil([&] {
        return com1->geometry().left() == com2->geometry().left() &&
               com1->geometry().bottom() < com2->geometry().top();
    }));
    // Ctrl+V tiles vertically again.
    QTest::keyClick(com1->Edit(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(PumpUntil([&] { return com1->geometry().right() < com2->geometry().left(); }));
    // A character typed after the control keys travels behind anything they might have sent:
    // once it has arrived, nothing came between it and the first three.
    QTest::keyClicks(com1->Edit(), QStringLiteral("!"));
    const auto lastTyped = [&] {
        const std::string received = Text(com2);
        return received.find(" 21", received.find(" 48 69 08"));
    };
    ASSERT_TRUE(PumpUntil([&] { return lastTyped() != std::string::npos; })) << Text(com2);
    const std::string received = Text(com2);
    const std::size_t typed = received.find(" 48 69 08");
    EXPECT_EQ(received.substr(typed, received.find(" 21", typed) + 3 - typed), " 48 69 08 21")
        << received;
    // Nothing typed is shown where it was typed.
    EXPECT_EQ(Text(com1), before1);
}

}  // namespace
