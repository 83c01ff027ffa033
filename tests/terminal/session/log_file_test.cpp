// The port's log file: its name, its line ends, appending across opens, the creation failure
// and the receive worker writing it while the port receives.

#include "terminal/session/log_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;
using namespace std::string_literals;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(LogFileNameTest, EveryUpperCaseCBecomesK) {
    const std::pair<const char*, const char*> rows[] = {
        {"COM3", "KOM3.TXT"},
        {"COM12", "KOM12.TXT"},
        {"CCOMC", "KKOMK.TXT"},
        {"com1", "com1.TXT"},
        {"10.0.0.1:80", "10.0.0.1:80.TXT"},
        {"h:443:SSL:a/b:C", "h:443:SSL:a_b:K.TXT"},  // no directory from a certificate name
    };
    for (const auto& [port, file] : rows) {
        EXPECT_EQ(LogFileName(port), file) << port;
    }
}

using LogFileTest = SessionTest;

TEST_F(LogFileTest, LineFeedsAreStoredAsCrLfAndEarlierContentStays) {
    const std::string path = programDir_ + "/KOM5.TXT";
    std::ofstream(path, std::ios::binary) << "old\r\n";
    const std::string expected = "old\r\na\r\nb\r\n\r\r\nno break\0\r\n\r\n"s;
    {
        LogFile log;
        for (const std::string& block : {"a\nb"s, "\n"s, "\r\n"s, "no break"s, "\0\n\n"s}) {
            EXPECT_EQ(log.Append("COM5", block.data(), block.size()), LogFile::Result::Written);
        }
        EXPECT_EQ(ReadFile(path), expected);  // flushed block by block, the log still open
    }
    LogFile again;
    EXPECT_EQ(again.Append("COM5", "more", 4), LogFile::Result::Written);
    EXPECT_EQ(ReadFile(path), expected + "more");
}

TEST_F(LogFileTest, CreationFailureShowsWarningAndTheNextBlockTriesAgain) {
    const std::string later = programDir_ + "/later";
    setenv("QUENBY_PROGRAM_DIR", later.c_str(), 1);
    LogFile log;
    LogReceived(log, "COM6", prompts_, "lost\n", 5);
    EXPECT_FALSE(log.IsOpen());
    ASSERT_EQ(prompts_.Count(), 1u);
    const auto box = prompts_.Records()[0];
    EXPECT_EQ(box.text, "Halvo2 can't create the log file!");
    EXPECT_EQ(box.caption, "Warning...");
    EXPECT_EQ(box.style, MB_ICONHAND);
    EXPECT_EQ(Traced(" LogFile Creation Error!\n"), 1);

    std::filesystem::create_directories(later);
    LogReceived(log, "COM6", prompts_, "kept\n", 5);
    EXPECT_EQ(ReadFile(later + "/KOM6.TXT"), "kept\r\n");
    EXPECT_EQ(prompts_.Count(), 1u);
}

TEST_F(LogFileTest, ReceivedBlocksAreLoggedAndShownUntilTheWindowCloses) {
    ProcessDisplayFlags().logToFile = true;
    const std::string path = programDir_ + "/KOM1.TXT";
    PeerDevice peer("COM2");
    auto session = Make("COM1", link_);
    peer.Write("one\ntwo\r\n");
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(path) == "one\r\ntwo\r\r\n"; })) << ReadFile(path);
    // Logged first, whatever follows: the display shows the block too.
    EXPECT_TRUE(WaitUntil([&] { return Text(*session).find("two") != std::string::npos; }));

    session->ClosePortWindow();
    EXPECT_EQ(link_->Since().back(), (Posted{Target::Frame, WM_CLOSE, 0, 0}));
    EXPECT_FALSE(session->PublishedState().isOpen);
    session.reset();
    auto reopened = Make("COM1");  // a new window of the port appends to the same file
    peer.Write("three");
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(path) == "one\r\ntwo\r\r\nthree"; }))
        << ReadFile(path);
}

}  // namespace
