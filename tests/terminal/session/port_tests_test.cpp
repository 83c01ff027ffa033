// The loopback and PnP tests of a port session on the simulated plugs: their boxes and traces,
// and the port they leave behind (lines, modes, speed, sending, receiving, display).

#include "terminal/session/port_tests.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "terminal/resources/halvo_resources.h"
#include "terminal/session/port_session.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

using Record = platform::ScriptedPrompts::Record;

class PortTestsTest : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        config_.WritePortMap(
            "COM3 = sim:loopback\n"
            "COM5 = sim:loopback-ring\n"
            "COM6 = sim:open\n"
            "COM7 = sim:pnp\n"
            "COM8 = sim:loopback/8\n");
    }
    void TearDown() override {
        held_.AnswerAll();
        EXPECT_TRUE(WaitForPortTests(20000));
        SessionTest::TearDown();
    }
    // Runs the test command and waits until the test has ended.
    static void RunTest(PortSession& session, int id) {
        session.OnPortTestCommand(id);
        ASSERT_TRUE(WaitUntil([&] { return !session.PublishedState().testRunning; }));
    }
    static DCB State(PortSession& session) {
        DCB dcb;
        session.Transport()->SerialDevice()->GetCommState(dcb);
        return dcb;
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const Record& r : prompts_.Records()) {
            texts.push_back(r.text);
        }
        return texts;
    }
};

struct LoopbackCase {
    const char* port;
    bool sendingBefore;
    const char* resultBox;
    UINT icon;
    const char* trace;
};

// The plug decides the result; the port is left with its lines, sending and receiving as the
// test found them, and the test string never reaches the display.
TEST_F(PortTestsTest, LoopbackTestOnEachPlug) {
    const LoopbackCase cases[] = {
        {"COM3", false, "Port passed the loopback test.", MB_ICONINFORMATION,
         "Port passed the loopback test."},
        {"COM5", false, "Port passed the loopback test.\t\n\n(RING present)", MB_ICONINFORMATION,
         "Port passed the loopback test.\t\n\n(RING present)"},
        {"COM6", false, "Loopback Test failed!\t", MB_ICONHAND,
         "Loopback Test failed! (Error code:1eH)"},
        {"COM8", true, "Port passed the loopback test.", MB_ICONINFORMATION,
         "Port passed the loopback test."},
    };
    for (const LoopbackCase& c : cases) {
        SCOPED_TRACE(c.port);
        const std::size_t boxesBefore = prompts_.Count();
        const long tracedBefore = Traced(c.trace);
        auto session = Make(c.port);
        ASSERT_TRUE(session->PublishedState().isOpen);
        if (c.sendingBefore) {
            session->StartSending();
        }
        const PortPublishedState before = session->PublishedState();
        RunTest(*session, ID_LOOPBACK_TEST);

        const std::vector<Record> records = prompts_.Records();
        ASSERT_EQ(records.size(), boxesBefore + 2);
        EXPECT_EQ(records[boxesBefore].text, "Place the loopback plug on the port.");
        EXPECT_EQ(records[boxesBefore].style, MB_OKCANCEL);
        EXPECT_EQ(records[boxesBefore + 1].text, c.resultBox);
        EXPECT_EQ(records[boxesBefore + 1].style, c.icon);
        EXPECT_EQ(records[boxesBefore + 1].caption, std::string("\\\\.\\") + c.port);
        EXPECT_EQ(Traced(c.trace), tracedBefore + 1);

        const PortPublishedState after = session->PublishedState();
        EXPECT_EQ(after.rtsOn, before.rtsOn);
        EXPECT_EQ(after.dtrOn, before.dtrOn);
        EXPECT_EQ(after.sending, before.sending);
        EXPECT_EQ(after.receiving, before.receiving);
        if (!c.sendingBefore) {
            EXPECT_EQ(Text(*session).find("TESTING"), std::string::npos) << Text(*session);
            // Receiving still works: a typed character comes back through the plug (or, on
            // the open line, at least goes out without a box).
            session->OnChar('x', 0);
            if (std::string(c.port) != "COM6") {
                EXPECT_TRUE(
                    WaitUntil([&] { return Text(*session).find('x') != std::string::npos; }));
            }
        } else {
            // Sending goes on: the pattern keeps coming back.
            const std::size_t shown = Text(*session).size();
            EXPECT_TRUE(WaitUntil([&] { return Text(*session).size() > shown; }));
            session->StopSending();
        }
    }
}

// At a slow rate the test string takes longer on the line than a fixed wait allows; a good
// plug passes all the same, and neither the string nor its terminating zero is shown.
TEST_F(PortTestsTest, LoopbackTestPassesAtASlowRate) {
    DefaultPortConfig().BaudRate = 150;
    auto session = Make("COM3");
    ASSERT_TRUE(session->PublishedState().isOpen);
    const std::string shownBefore = Text(*session);
    RunTest(*session, ID_LOOPBACK_TEST);
    ASSERT_EQ(prompts_.Count(), 2u);
    EXPECT_EQ(prompts_.Records()[1].text, "Port passed the loopback test.");
    EXPECT_EQ(Text(*session), shownBefore);
    // Something typed now shows, so the display is live and the check above means something.
    session->OnChar('y', 0);
    EXPECT_TRUE(WaitUntil([&] { return Text(*session) == shownBefore + "y"; })) << Text(*session);
}

// A port whose RTS follows the handshake is switched to manual lines for the test and gets its
// modes back afterwards.
TEST_F(PortTestsTest, LoopbackTestRestoresHandshakeModes) {
    DefaultPortConfig().fRtsControl = RTS_CONTROL_HANDSHAKE;
    DefaultPortConfig().fOutxCtsFlow = 1;
    auto session = Make("COM3");
    ASSERT_TRUE(session->PublishedState().isOpen);
    RunTest(*session, ID_LOOPBACK_TEST);
    ASSERT_EQ(prompts_.Count(), 2u);
    EXPECT_EQ(prompts_.Records()[1].text, "Port passed the loopback test.");
    const DCB after = State(*session);
    EXPECT_EQ(after.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(after.fOutxCtsFlow, 1u);
}

// Yes to 1200,7,n,1: the modem's identification comes, the test passes, the port is back at
// its own speed and format, and none of the identification shows once receiving is back on.
TEST_F(PortTestsTest, PnpTestPassesAndPutsTheSettingsBack) {
    auto session = Make("COM7");
    ASSERT_TRUE(session->PublishedState().isOpen);
    const DCB before = State(*session);
    ASSERT_EQ(before.BaudRate, 115200u);
    const std::string shownBefore = Text(*session);
    prompts_.AnswerWith(IDOK);
    prompts_.AnswerWith(IDYES);
    RunTest(*session, ID_PNP_TEST);

    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"This will toggle RTS,DTR to retrieve PnP ID.",
                                        "Setup to 1200,7,n,1?", "PnP ID Test passed."}));
    const DCB after = State(*session);
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.Parity, before.Parity);
    EXPECT_EQ(after.StopBits, before.StopBits);
    EXPECT_EQ(after.fDtrControl, before.fDtrControl);
    EXPECT_EQ(after.fRtsControl, before.fRtsControl);
    EXPECT_TRUE(session->PublishedState().receiving);
    session->OnChar('z', 0);  // the modem ignores it; it must not bring anything back either
    EXPECT_TRUE(session->WaitTypedCharactersWritten(10000));
    EXPECT_EQ(Text(*session), shownBefore);
}

TEST_F(PortTestsTest, PnpTestWithoutADeviceReceivesNothing) {
    auto session = Make("COM3");
    prompts_.AnswerWith(IDOK);
    prompts_.AnswerWith(IDYES);
    RunTest(*session, ID_PNP_TEST);
    ASSERT_EQ(prompts_.Count(), 3u);
    EXPECT_EQ(prompts_.Records()[2].text, "No PnP data received!");
    EXPECT_EQ(prompts_.Records()[2].style, MB_ICONHAND);
    EXPECT_EQ(State(*session).BaudRate, 115200u);
}

// While one test runs the port refuses the second; once it has ended a new one may start.
TEST_F(PortTestsTest, OneTestPerPortAtATime) {
    auto session = Make("COM3", link_, &held_);
    session->OnPortTestCommand(ID_LOOPBACK_TEST);
    ASSERT_TRUE(held_.WaitShown(0));
    EXPECT_TRUE(session->PublishedState().testRunning);
    session->OnPortTestCommand(ID_PNP_TEST);
    session->OnPortTestCommand(ID_LOOPBACK_TEST);
    held_.AnswerAll();
    ASSERT_TRUE(WaitUntil([&] { return !session->PublishedState().testRunning; }));
    // The place-the-plug box and the result: nothing of the two refused commands.
    const auto result = held_.WaitShown(1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "Port passed the loopback test.");
    EXPECT_FALSE(held_.WaitShown(2).has_value());
}

// Closing the port while a test waits for its box, or while it drives the lines, ends the test
// without another box, a failure trace or a line command's error.
TEST_F(PortTestsTest, ClosingThePortEndsTheTestQuietly) {
    for (const int id : {ID_LOOPBACK_TEST, ID_PNP_TEST}) {
        SCOPED_TRACE(id);
        auto session = Make("COM3", link_);
        const std::size_t boxes = prompts_.Count();
        const std::size_t from = link_->Size();
        session->OnPortTestCommand(id);
        // The test has dropped RTS: it is inside the line phases.
        ASSERT_TRUE(WaitPosted(*link_, Indicator(ID_INDICATOR_RTS, 0), from));
        session->OpenClosePort();
        ASSERT_TRUE(WaitUntil([&] { return !session->PublishedState().testRunning; }));
        EXPECT_TRUE(WaitForPortErrorBoxes(10000));
        // The boxes before the lines move: the loopback test's one, the PnP test's two.
        EXPECT_EQ(prompts_.Count(), boxes + (id == ID_PNP_TEST ? 2 : 1))
            << prompts_.Records().back().text;
        EXPECT_EQ(Traced("Loopback Test failed! (Error code:1eH)"), 0);
        EXPECT_EQ(Traced("Port is closed!\n"), 0);
        EXPECT_FALSE(session->PublishedState().isOpen);
    }
    // A box still up when the port closes: the answer that follows changes nothing.
    auto held = Make("COM3", link_, &held_);
    held->OnPortTestCommand(ID_LOOPBACK_TEST);
    ASSERT_TRUE(held_.WaitShown(0));
    held->OpenClosePort();
    held_.AnswerAll();
    ASSERT_TRUE(WaitUntil([&] { return !held->PublishedState().testRunning; }));
    EXPECT_FALSE(held_.WaitShown(1).has_value());
}

TEST_F(PortTestsTest, TestOnAClosedPortSaysSo) {
    auto session = Make("COM3");
    session->OpenClosePort();
    for (const int id : {ID_LOOPBACK_TEST, ID_PNP_TEST}) {
        session->OnPortTestCommand(id);
    }
    ASSERT_TRUE(WaitForPortErrorBoxes(10000));
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Port is not open!\t", "Port is not open!\t"}));
    EXPECT_EQ(Traced("Port is closed!\n"), 2);
}

TEST(LineTime, CountsEveryBitAtTheLineRate) {
    struct Case {
        DWORD baud;
        BYTE bits;
        BYTE parity;
        BYTE stop;
        DWORD chars;
        DWORD ms;
    };
    const Case cases[] = {
        {150, 8, NOPARITY, ONESTOPBIT, 8, 534},       // 80 bits
        {1200, 7, EVENPARITY, TWOSTOPBITS, 12, 110},  // 11 bits a character
        {110, 5, NOPARITY, ONE5STOPBITS, 1, 69},      // 7.5 bits
        {300, 8, NOPARITY, ONESTOPBIT, 100, 2},       // 300 stands for 500000 bit/s
        {115200, 8, NOPARITY, ONESTOPBIT, 8, 1},      // rounded up
    };
    for (const Case& c : cases) {
        DCB dcb;
        dcb.BaudRate = c.baud;
        dcb.ByteSize = c.bits;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop;
        EXPECT_EQ(LineTimeMs(dcb, c.chars), c.ms) << c.baud << " " << c.chars;
    }
}

}  // namespace
