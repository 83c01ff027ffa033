// A port's file transfers, Save As and the string sender through real simulated devices:
// a file sent through a loopback plug comes back whole into a receive file, failures of the
// files are told and lose nothing, and strings arrive exactly at the far end of a cable.

#include "terminal/session/port_file_transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>

#include "terminal/session/render_received.h"
#include "terminal/session/saved_strings.h"
#include "tests/support/file_limits.h"
#include "tests/support/tcp_test_peer.h"
#include "tests/terminal/session/port_session_test_support.h"

using namespace port_test;

namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class FileTransferSessionTest : public SessionTest {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        DefaultPortConfig().BaudRate = 115200;
    }
    void TearDown() override {
        EXPECT_TRUE(WaitForTransferThreads(20000));
        SessionTest::TearDown();
    }
    std::string Path(const std::string& name) const { return config_.Root() + "/" + name; }
    // How many message boxes with `text` were shown.
    long Boxes(const std::string& text) const {
        long n = 0;
        for (const auto& r : prompts_.Records()) {
            n += r.kind == platform::ScriptedPrompts::Record::Kind::MessageBox && r.text == text;
        }
        return n;
    }
    // The first message box whose text begins with `start`.
    std::optional<platform::ScriptedPrompts::Record> BoxStarting(const std::string& start) const {
        for (const auto& r : prompts_.Records()) {
            if (r.kind == platform::ScriptedPrompts::Record::Kind::MessageBox &&
                r.text.rfind(start, 0) == 0) {
                return r;
            }
        }
        return std::nullopt;
    }
    // Opens a receive file at `path` on `port`, answering "see the contents?" with `show`.
    void OpenReceiveFile(PortSession& port, const std::string& path, int show) {
        prompts_.AnswerFileWith(path);
        prompts_.AnswerWith(show);
        port.OnReceiveFileCommand();
        ASSERT_TRUE(WaitForTransferThreads(20000));
    }
};

TEST_F(FileTransferSessionTest, FileSentThroughALoopbackComesBackWholeIntoTheReceiveFile) {
    auto port = Make("COM3", link_);
    ASSERT_TRUE(port->PublishedState().isOpen);
    // Lines with CR LF, a chunk's end inside one of them, and more than two chunks.
    std::string lines;
    for (int i = 0; lines.size() < 2600; ++i) {
        lines += "line " + std::to_string(i) + " of the file sent through the plug\r\n";
    }
    std::ofstream(Path("send.txt"), std::ios::binary) << lines;

    OpenReceiveFile(*port, Path("received.txt"), IDNO);
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING_FILE);
    prompts_.AnswerFileWith(Path("send.txt"));
    port->OnSendFileCommand();
    ASSERT_TRUE(WaitUntil([&] { return Boxes(kTransferDoneText) == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return FileBytes(Path("received.txt")).size() >= lines.size(); }));
    ASSERT_TRUE(WaitForTransferThreads(20000));

    // CR LF went out as LF and was stored as CR LF again: the file is back byte for byte.
    EXPECT_EQ(FileBytes(Path("received.txt")), lines);
    EXPECT_EQ(Boxes(kTransferDoneText), 1);
    const auto done = BoxStarting(kTransferDoneText);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->caption, port->Transport()->Caption());
    EXPECT_EQ(done->style, MB_TOPMOST | MB_ICONINFORMATION);
    // The user chose not to see the contents.
    EXPECT_EQ(Text(*port), "");
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING_FILE);

    // Stopping the receive file goes back to receiving into the display.
    prompts_.AnswerWith(IDYES);
    port->OnReceiveFileCommand();
    ASSERT_TRUE(WaitForTransferThreads(20000));
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING);
}

TEST_F(FileTransferSessionTest, ReceiveFileOnAFullDiskSaysSoAndLosesNoBlock) {
    auto port = Make("COM1", link_);
    PeerDevice peer("COM2");
    OpenReceiveFile(*port, Path("received.txt"), IDNO);
    peer.Write("first\n");
    ASSERT_TRUE(WaitUntil([&] { return FileBytes(Path("received.txt")) == "first\r\n"; }));

    const std::string big(200, 'z');
    {
        // The file may not grow at all: every byte of the next block finds the disk full.
        const ScopedFileSizeLimit full(7);
        peer.Write(big);
        ASSERT_TRUE(WaitUntil([&] { return BoxStarting(kReceiveFileWriteText).has_value(); }));
        ASSERT_TRUE(WaitUntil([&] { return Text(*port).size() >= big.size(); }));
    }
    // The file keeps what came before; the block that did not fit is in the display.
    EXPECT_EQ(FileBytes(Path("received.txt")).substr(0, 7), "first\r\n");
    EXPECT_EQ(Text(*port), big);
    EXPECT_EQ(BoxStarting(kReceiveFileWriteText)->caption, port->Transport()->Caption());
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING);
    // Receiving goes on into the display, and the user was told once.
    peer.Write("after");
    ASSERT_TRUE(WaitUntil([&] { return Text(*port) == big + "after"; }));
    ASSERT_TRUE(WaitForPortErrorBoxes(10000));
    const auto records = prompts_.Records();
    EXPECT_EQ(
        std::count_if(records.begin(), records.end(),
                      [](const auto& r) { return r.text.rfind(kReceiveFileWriteText, 0) == 0; }),
        1);
}

TEST_F(FileTransferSessionTest, TransferFailuresAreToldAndNeverAnnouncedAsDone) {
    auto port = Make("COM3", link_);
    std::filesystem::create_directories(Path("ro"));
    {
        const ScopedReadOnlyDirectory readOnly(Path("ro"));
        ASSERT_TRUE(readOnly.Holds());
        prompts_.AnswerFileWith(Path("ro/received.txt"));
        port->OnReceiveFileCommand();
        ASSERT_TRUE(WaitForTransferThreads(20000));
    }
    EXPECT_EQ(Boxes(kReceiveFileCreateText), 1);
    EXPECT_EQ(BoxStarting(kReceiveFileCreateText)->caption, port->Transport()->Caption());
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING);

    prompts_.AnswerFileWith(Path("missing.txt"));
    port->OnSendFileCommand();
    ASSERT_TRUE(WaitForTransferThreads(20000));
    EXPECT_EQ(Boxes(kSendFileOpenText), 1);

    // A file that opens but cannot be read is not sent, and not called sent.
    std::filesystem::create_directories(Path("dir"));
    prompts_.AnswerFileWith(Path("dir"));
    port->OnSendFileCommand();
    ASSERT_TRUE(WaitUntil([&] { return BoxStarting(kSendFileFailedText).has_value(); }));
    ASSERT_TRUE(WaitForTransferThreads(20000));
    EXPECT_EQ(Boxes(kTransferDoneText), 0);
    EXPECT_EQ(link_->LastActivity(), ACTIVITY_RECEIVING);

    // The pattern and a file exclude each other.
    port->StartSending();
    port->OnSendFileCommand();
    ASSERT_TRUE(WaitUntil([&] { return BoxStarting(kSendingPatternText).has_value(); }));
    port->OpenClosePort();
    const std::size_t before = prompts_.Count();
    port->OnSendFileCommand();
    port->OnReceiveFileCommand();
    ASSERT_TRUE(WaitForPortErrorBoxes(10000));
    const auto records = prompts_.Records();
    ASSERT_EQ(records.size(), before + 2);
    EXPECT_EQ(records[before].text, "Port is not open!\t");
    EXPECT_EQ(records[before + 1].text, "Port is not open!\t");
}

// Collects everything that arrives at the far end, from a thread of its own, so that no
// byte waits in the far end's queue while the test is busy with the near end.
class PeerCollector {
  public:
    explicit PeerCollector(PeerDevice& peer)
        : thread_([this, &peer] {
              while (!stop_.load()) {
                  std::string got = peer.Read(1);
                  std::lock_guard lock(mutex_);
                  text_ += got;
              }
          }) {}
    ~PeerCollector() { thread_.join(); }
    // Ends the collection: the typed character wakes the far end's last read.
    void StopWith(PortSession& port) {
        stop_ = true;
        port.OnChar('.', 0);
    }
    std::string Text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

  private:
    mutable std::mutex mutex_;
    std::string text_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// True when every line of `content` arrived in order; a chunk that was cut by a close may
// come again whole, so lines may repeat, but none may be missing.
bool AllLinesArrived(const std::string& content, const std::string& arrived) {
    std::size_t at = 0;
    std::size_t line = 0;
    while (line < content.size()) {
        const std::size_t end = content.find('\n', line) + 1;
        const std::string wanted = content.substr(line, end - line);
        const std::size_t found = arrived.find(wanted, at);
        if (found == std::string::npos) {
            return false;
        }
        at = found + wanted.size();
        line = end;
    }
    return true;
}

TEST_F(FileTransferSessionTest, ClosingThePortAsksAboutItsSendFileWhichGoesOnAfterTheOpen) {
    std::string content;
    for (int i = 0; content.size() < 30000; ++i) {
        content += "chunk line " + std::to_string(i) + "\n";
    }
    std::ofstream(Path("send.txt"), std::ios::binary) << content;
    auto port = Make("COM1", link_);
    PeerDevice peer("COM2");
    PeerCollector collected(peer);
    prompts_.AnswerFileWith(Path("send.txt"));
    port->OnSendFileCommand();
    ASSERT_TRUE(WaitForTransferThreads(20000));
    ASSERT_TRUE(WaitUntil([&] { return collected.Text().size() >= 3000; }));

    prompts_.AnswerWith(IDNO);
    port->OpenClosePort();
    ASSERT_TRUE(WaitForTransferThreads(20000));
    EXPECT_EQ(Boxes(kStopSendFileText), 1);
    EXPECT_EQ(BoxStarting(kStopSendFileText)->caption, port->Transport()->Caption());
    EXPECT_EQ(Boxes(kTransferDoneText), 0);

    // Kept: the file goes on with the next open, to its end and its notice.
    port->OpenClosePort();
    ASSERT_TRUE(WaitUntil([&] { return Boxes(kTransferDoneText) == 1; }));
    EXPECT_TRUE(WaitUntil([&] { return AllLinesArrived(content, collected.Text()); }))
        << "a part of the file was lost: " << collected.Text().size() << " of " << content.size();

    // Stopped at the close: it is not announced as sent.
    prompts_.AnswerFileWith(Path("send.txt"));
    port->OnSendFileCommand();
    ASSERT_TRUE(WaitForTransferThreads(20000));
    const std::size_t before = collected.Text().size();
    ASSERT_TRUE(WaitUntil([&] { return collected.Text().size() >= before + 2000; }));
    prompts_.AnswerWith(IDYES);
    port->OpenClosePort();
    ASSERT_TRUE(WaitForTransferThreads(20000));
    port->OpenClosePort();
    ASSERT_TRUE(port->PublishedState().isOpen);
    EXPECT_EQ(Boxes(kStopSendFileText), 2);
    EXPECT_EQ(Boxes(kTransferDoneText), 1);
    collected.StopWith(*port);
}

TEST_F(FileTransferSessionTest, SocketFileIsAnnouncedWithItsCountAndTheTimeAt9600) {
    TcpTestListener listener;
    auto port = Make("127.0.0.1:" + std::to_string(listener.Port()), link_);
    TcpTestConnection peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    ASSERT_TRUE(port->PublishedState().isOpen);
    std::string content;
    for (int i = 0; content.size() < 4030; ++i) {
        content += static_cast<char>('a' + i % 26);
    }
    content.resize(4030);
    std::ofstream(Path("send.txt"), std::ios::binary) << content;
    prompts_.AnswerFileWith(Path("send.txt"));
    port->OnSendFileCommand();
    EXPECT_EQ(peer.Read(content.size()), content);
    ASSERT_TRUE(WaitUntil([&] { return Boxes(kTransferDoneText) == 1; }));
    EXPECT_EQ(BoxStarting(kTransferDoneText)->caption, "4030-3358");
    // The port is the same afterwards: its name, and its close and open.
    EXPECT_EQ(port->PortName(), "127.0.0.1:" + std::to_string(listener.Port()));
    port->OpenClosePort();
    port->OpenClosePort();
    EXPECT_TRUE(listener.Accept().Valid());
}

TEST_F(FileTransferSessionTest, SaveAsWritesWhatTheWindowShows) {
    auto port = Make("COM4", link_);
    RenderReceived(port->Display(), "first line\nlast", -1);
    prompts_.AnswerFileWith(Path("display.txt"));
    port->OnSaveAs();
    EXPECT_EQ(FileBytes(Path("display.txt")), Text(*port));
    EXPECT_NE(Text(*port).find("last"), std::string::npos);

    port->SetReportView(true);
    const std::string report = port->ReportText(1000);
    ASSERT_NE(report.find('\n'), std::string::npos);
    prompts_.AnswerFileWith(Path("report.txt"));
    port->OnSaveAs();
    EXPECT_EQ(FileBytes(Path("report.txt")), ReportTextForFile(report));

    std::filesystem::create_directories(Path("ro"));
    const ScopedReadOnlyDirectory readOnly(Path("ro"));
    ASSERT_TRUE(readOnly.Holds());
    prompts_.AnswerFileWith(Path("ro/report.txt"));
    const std::size_t before = prompts_.Count();
    port->OnSaveAs();
    const auto records = prompts_.Records();
    ASSERT_EQ(records.size(), before + 2);  // the dialog and the error
    EXPECT_EQ(records.back().style, MB_ICONHAND);
    EXPECT_FALSE(records.back().text.empty());
}

TEST_F(FileTransferSessionTest, StringsArriveExactlyAndBadHexSendsNothing) {
    auto port = Make("COM1", link_);
    PeerDevice peer("COM2");
    struct Case {
        const char* type;
        std::string text;
        std::string arrives;
    };
    const Case cases[] = {
        {"1", "41424344", "ABCD"},
        {"1", "41 42", ""},
        {"1", "4", ""},
        {"1", "414", "A"},
        {"1", "0d0a", "\r\n"},
        {"1", "00", std::string(1, '\0')},
        {"0", "hello", "hello"},
        {"0", "   ", "   "},
        {"1", "   ", ""},
        {"0", std::string(300, 'L'), std::string(300, 'L')},
    };
    std::string expected;
    for (const Case& c : cases) {
        prompts_.AnswerDialogWith(IDOK, {{"stringType", c.type}, {"stringText", c.text}});
        port->OnSendStringCommand();
        ASSERT_TRUE(WaitForTransferThreads(20000));
        expected += c.arrives;
    }
    // Cancel sends nothing: only the string after it follows.
    prompts_.AnswerDialogWith(IDCANCEL);
    port->OnSendStringCommand();
    prompts_.AnswerDialogWith(IDOK, {{"stringType", "0"}, {"stringText", "END"}});
    port->OnSendStringCommand();
    ASSERT_TRUE(WaitForTransferThreads(20000));
    expected += "END";
    EXPECT_EQ(peer.Read(expected.size()), expected);
    EXPECT_EQ(Boxes(kInvalidHexText), 2);
}

}  // namespace
