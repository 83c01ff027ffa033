// Socket port windows as the main frame shows them: one against socat's echo, with the serial
// port's items greyed and typed keys coming back, secure ones against socat's echo over TLS,
// and one closed while its connect still waits for a peer that never answers.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMdiArea>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <set>

#include "platform/tls/cert_store.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/qt/port_edit.h"
#include "tests/support/tcp_test_peer.h"
#include "tests/support/test_pki.h"
#include "tests/terminal/app/qt/halvo_gui_support.h"

namespace {

std::string TcpName(std::uint16_t port) {
    return "127.0.0.1:" + std::to_string(port);
}

TEST_F(HalvoGui, SocketWindowGreysSerialItemsAndSendsTypedKeys) {
    SocatEcho echo;
    ASSERT_TRUE(echo.Started());
    CMainFrame& frame = Start("");
    const std::string name = TcpName(echo.Port());
    ASSERT_TRUE(frame.CreatePortWindow(name));
    CPortMDIChildWnd* port = Port(name);
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(
        PumpUntil([&] { return PaneShows(port, "OPEN") && PaneShows(port, "Receiving..."); }));
    frame.MdiArea()->setActiveSubWindow(port);

    QTest::mouseClick(port->Edit()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    int checked = 0;
    for (const int id : {ID_LOG_TO_FILE, ID_SHOW_CR_LF_BS, ID_PNP_TEST, ID_LOOPBACK_TEST,
                         ID_SEND_IMMEDIATE_CHAR, ID_SEND_STRING}) {
        if (QAction* action = frame.Action(id)) {
            EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);

    // The context menu offers no toolbar, lines or line settings for a socket port.
    std::set<int> greyed;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) {
            return;
        }
        for (const QAction* action : menu->actions()) {
            if (!action->isSeparator() && !action->isEnabled()) {
                greyed.insert(action->data().toInt());
            }
        }
        menu->close();
    });
    QWidget* viewport = port->Edit()->viewport();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            viewport->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(viewport, &event);
    for (const int id :
         {ID_CHILD_TOOLBAR, ID_INTERNAL_LOOPBACK, ID_RTS, ID_DTR, ID_PORT_SETTINGS}) {
        EXPECT_TRUE(greyed.contains(id)) << id;
    }
    EXPECT_FALSE(greyed.contains(ID_SEND));

    QTest::keyClicks(port->Edit(), QStringLiteral("echo me"));
    EXPECT_TRUE(PumpUntil([&] { return Text(port).find("echo me") != std::string::npos; }))
        << Text(port);

    port->close();
    EXPECT_TRUE(PumpUntil([&] { return frame.PortFrames().empty(); }));
}

// Two secure windows on one TLS echo: one checks the server against the test CA in ROOT, one
// names no server and says that it did not check. Both open, and typed keys come back.
TEST_F(HalvoGui, SecureSocketWindowsOpenAndTypedKeysComeBack) {
    TestPki pki;
    ASSERT_TRUE(pki.MakeCa("ca", "/CN=Quenby Test CA"));
    ASSERT_TRUE(pki.Make(
        "server", CertificateRequest("/CN=localhost").WithAltNames("DNS:localhost,IP:127.0.0.1")));
    ASSERT_TRUE(TestPki::Install(pki.Cert("ca"), platform::tls::CertStore::StoreDirectory("ROOT"),
                                 "ca.pem"));
    SocatEcho echo("OPENSSL-LISTEN",
                   ",cert=" + pki.Cert("server") + ",key=" + pki.Key("server") + ",verify=0");
    ASSERT_TRUE(echo.Started());
    CMainFrame& frame = Start("");
    const std::string secure = TcpName(echo.Port()) + ":SSL:";
    struct Row {
        std::string name;
        std::string firstLine;
    };
    const Row rows[] = {
        {secure + ":localhost", ""},
        {secure + ":", "Server certificate not verified!\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(frame.CreatePortWindow(row.name));
        CPortMDIChildWnd* port = Port(row.name);
        ASSERT_NE(port, nullptr);
        ASSERT_TRUE(PumpUntil([&] {
            return PaneShows(port, "OPEN") && PaneShows(port, "Receiving...");
        })) << Text(port);
        frame.MdiArea()->setActiveSubWindow(port);
        QTest::keyClicks(port->Edit(), QStringLiteral("over tls"));
        EXPECT_TRUE(PumpUntil([&] { return Text(port) == row.firstLine + "over tls"; }))
            << Text(port);
        port->close();
        EXPECT_TRUE(PumpUntil([&] { return frame.PortFrames().empty(); }));
    }
}

TEST_F(HalvoGui, ClosingASocketWindowWhileItConnects) {
    TcpTestListener listener(0);
    ASSERT_TRUE(listener.FillQueue());
    CMainFrame& frame = Start("");
    const std::string name = TcpName(listener.Port());
    ASSERT_TRUE(frame.CreatePortWindow(name));
    CPortMDIChildWnd* port = Port(name);
    ASSERT_NE(port, nullptr);
    // The close ends the connect the port thread waits in, and then the thread.
    port->close();
    EXPECT_TRUE(PumpUntil([&] { return frame.PortFrames().empty(); }));
}

}  // namespace
