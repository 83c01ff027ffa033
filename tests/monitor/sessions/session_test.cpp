#include "monitor/sessions/session.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "monitor/sessions/session_messages.h"
#include "tests/monitor/sessions/fake_source.h"

namespace {

namespace fs = std::filesystem;

// The view's side of the session commands: what it was asked to do, in order.
class RecordingHost : public SessionHost {
  public:
    explicit RecordingHost(FakeSource& source) : source_(source) {}

    std::optional<RowBinding> Bind(std::string_view name) override { return source_.Bind(name); }
    void StopTimer() override { log.push_back("stop"); }
    void StartTimer(int pollMs) override { log.push_back("start " + std::to_string(pollMs)); }
    void PostPollingState(int on) override { log.push_back("polling " + std::to_string(on)); }
    void RefreshTable() override { log.push_back("refresh"); }
    void SetCaption(const std::string& text) override { caption = text; }
    bool AsciiCopy() const override { return asciiCopy; }
    void WriteTextCopy(const std::string& path) override { textCopies.push_back(path); }

    std::vector<std::string> log;
    std::string caption;
    bool asciiCopy = false;
    std::vector<std::string> textCopies;

  private:
    FakeSource& source_;
};

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quenby-session-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("QUENBY_PROGRAM_DIR", dir_.c_str(), 1);
        table.SetDefaultColumns();
        AddBound("COM1");
        AddBound("COM2");
    }
    void TearDown() override {
        unsetenv("QUENBY_PROGRAM_DIR");
        fs::remove_all(dir_);
    }
    void AddBound(const char* name) {
        table.AddRow(std::make_unique<PortRow>(name, *source.Bind(name)));
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::vector<std::uint8_t> FileBytes(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void WriteFile(const std::string& path, const std::string& bytes) const {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& r : prompts.Records()) {
            if (r.kind == platform::ScriptedPrompts::Record::Kind::MessageBox) {
                texts.push_back(r.text);
            }
        }
        return texts;
    }
    std::vector<std::string> RowNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < table.RowCount(); ++i) {
            names.push_back(table.Row(i).Label());
        }
        return names;
    }

    std::string dir_;
    FakeSource source{"COM1", "COM2", "COM3"};
    PortTable table;
    RecordingHost host{source};
    platform::ScriptedPrompts prompts;
    Session session{table, host, prompts};
};

TEST_F(SessionTest, TheDefaultSessionLivesInTheProgramDirectory) {
    EXPECT_EQ(DefaultSessionPath(), dir_ + "/SeltraDefSes.sls");
}

TEST_F(SessionTest, ReadingStopsPollingAndLeavesItOffUntilTheSettingsRestartIt) {
    source.Statistics("COM2").TxTotal = 77;
    ASSERT_EQ(session.WriteSession(Path("a.sls")), SessionIoResult::Ok);
    source.Statistics("COM2").TxTotal = 1;
    table.RemoveRowAt(0);

    EXPECT_EQ(session.ReadSession(Path("a.sls")), SessionIoResult::Ok);
    EXPECT_EQ(host.log, (std::vector<std::string>{"stop", "polling 0", "refresh"}));
    EXPECT_EQ(session.PollMs(), 0);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"COM1", "COM2"}));
    // The saved statistics replace the live record and counting continues from them.
    EXPECT_EQ(source.Statistics("COM2").TxTotal, 77u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SessionTest, ProblemsAreShownForChosenFilesAndSilentForTheDefaultSession) {
    struct Case {
        std::string contents;  // empty: no file at all
        SessionIoResult result;
        const char* text;
    };
    using namespace std::string_literals;
    const std::vector<Case> cases = {
        {"", SessionIoResult::CannotOpen, kCannotOpenSessionText},
        {"   1\0"s, SessionIoResult::Corrupted, kCorruptedSessionText},
        {" 600\0   0\0"s, SessionIoResult::Corrupted, kCorruptedSessionText},
        {"   0\0   1\0  99\0"s, SessionIoResult::Corrupted, kCorruptedSessionText},
    };
    for (const bool isDefault : {false, true}) {
        for (const Case& c : cases) {
            const std::string path = isDefault ? DefaultSessionPath() : Path("chosen.sls");
            fs::remove(path);
            if (!c.contents.empty()) {
                WriteFile(path, c.contents);
            }
            const std::size_t before = prompts.Count();
            EXPECT_EQ(session.ReadSession(path), c.result) << c.text;
            // A file that cannot be used leaves the table as it was.
            EXPECT_EQ(RowNames(), (std::vector<std::string>{"COM1", "COM2"}));
            EXPECT_EQ(table.ColumnCount(), kDefaultColumnCount);
            if (isDefault) {
                EXPECT_EQ(prompts.Count(), before);
            } else {
                ASSERT_EQ(prompts.Count(), before + 1);
                const auto record = prompts.Records().back();
                EXPECT_EQ(record.text, c.text);
                EXPECT_EQ(record.caption, kSessionWarningCaption);
                EXPECT_EQ(record.style, MB_OK | MB_ICONSTOP);
            }
        }
    }
}

TEST_F(SessionTest, AFileCutInsideARowLoadsTheCompleteRowsAndSaysSo) {
    AddBound("COM3");
    ASSERT_EQ(session.WriteSession(Path("cut.sls")), SessionIoResult::Ok);
    fs::resize_file(Path("cut.sls"), SessionFileSize(kDefaultColumnCount, 2) + 100);
    table.ClearRows();

    EXPECT_EQ(session.ReadSession(Path("cut.sls")), SessionIoResult::Truncated);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_EQ(Messages(), std::vector<std::string>{kCorruptedSessionText});
    EXPECT_EQ(session.PollMs(), 0);
}

TEST_F(SessionTest, AFileThatCannotBeCreatedIsReportedUnlessItIsTheDefaultSession) {
    EXPECT_EQ(session.WriteSession(dir_ + "/missing/x.sls"), SessionIoResult::CannotCreate);
    EXPECT_EQ(Messages(), std::vector<std::string>{kCannotCreateSessionText});

    setenv("QUENBY_PROGRAM_DIR", (dir_ + "/missing").c_str(), 1);
    EXPECT_EQ(session.WriteSession(DefaultSessionPath()), SessionIoResult::CannotCreate);
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(SessionTest, AFailedWriteKeepsThePreviousFileAndIsReported) {
    ASSERT_EQ(session.WriteSession(Path("keep.sls")), SessionIoResult::Ok);
    const auto before = FileBytes(Path("keep.sls"));
    AddBound("COM3");

    // A file-size limit below the session's size makes the write fail part way.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SessionIoResult result = session.WriteSession(Path("keep.sls"));
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, SessionIoResult::WriteFailed);
    EXPECT_EQ(Messages(), std::vector<std::string>{kCannotWriteSessionText});
    EXPECT_EQ(FileBytes(Path("keep.sls")), before);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(SessionTest, ASaveThatCannotUseATemporaryFileFailsAndKeepsThePreviousFile) {
    // The target itself is writable in each case; only the temporary file beside it cannot
    // be made, so writing the target in place would have succeeded and lost the old session.
    struct Case {
        const char* why;
        std::string file;
        bool occupyTemporary;  // a directory stands where the temporary file would go
    } cases[] = {
        {"temporary name taken by a directory", "taken.sls", true},
        {"temporary name too long for the folder", std::string(247, 'n') + ".sls", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string path = Path(c.file);
        const std::string temporary = SessionTemporaryPath(path);
        // The previous session, saved where a temporary file can be made and copied over.
        ASSERT_EQ(session.WriteSession(Path("seed.sls")), SessionIoResult::Ok);
        fs::copy_file(Path("seed.sls"), path, fs::copy_options::overwrite_existing);
        const auto before = FileBytes(path);
        ASSERT_FALSE(before.empty());
        if (c.occupyTemporary) {
            ASSERT_TRUE(fs::create_directory(temporary));
        } else {
            ASSERT_GT(fs::path(temporary).filename().string().size(), 255u);
        }
        AddBound("COM3");
        const std::size_t shown = Messages().size();

        EXPECT_EQ(session.WriteSession(path), SessionIoResult::CannotCreate);
        EXPECT_EQ(FileBytes(path), before);
        ASSERT_EQ(Messages().size(), shown + 1);
        EXPECT_EQ(Messages().back(), kCannotCreateSessionText);

        // Save reports the failure the same way and the session is not taken as saved.
        prompts.AnswerFileWith(path);
        session.SaveAs();
        EXPECT_EQ(FileBytes(path), before);
        EXPECT_EQ(Messages().size(), shown + 2);
        table.RemoveRowAt(table.FindRow("COM3"));
        std::error_code ignored;
        fs::remove(temporary, ignored);
    }
}

TEST_F(SessionTest, TheZenithRowCountFollowsTheTableThroughNewAndOpen) {
    // Rows of the Zenith family gate its polling: the count must drop with the rows it
    // counted, not only grow.
    FakeSource zenith({"COM7", "COM8"}, true);
    // The view's lookups: the serial families first, then the Zenith family.
    struct MixedHost : RecordingHost {
        MixedHost(FakeSource& serial, FakeSource& z) : RecordingHost(serial), zenith(z) {}
        std::optional<RowBinding> Bind(std::string_view name) override {
            const auto binding = RecordingHost::Bind(name);
            return binding ? binding : zenith.Bind(name);
        }
        FakeSource& zenith;
    } host2{source, zenith};
    PortTable mixed;
    Session mixedSession{mixed, host2, prompts};
    mixed.SetDefaultColumns();
    for (const char* name : {"COM1", "COM7", "COM8"}) {
        ASSERT_EQ(mixed.AddRow(std::make_unique<PortRow>(name, *host2.Bind(name))),
                  AddRowResult::Added);
    }
    ASSERT_EQ(mixed.ZenithRowCount(), 2);
    ASSERT_EQ(mixedSession.WriteSession(Path("mixed.sls")), SessionIoResult::Ok);
    mixed.RemoveRowAt(mixed.FindRow("COM8"));
    ASSERT_EQ(mixedSession.WriteSession(Path("one.sls")), SessionIoResult::Ok);
    EXPECT_EQ(mixed.ZenithRowCount(), 1);

    // Open replaces the rows: the count is the new session's, not added to the old one.
    prompts.AnswerFileWith(Path("mixed.sls"));
    mixedSession.Open();
    EXPECT_EQ(mixed.ZenithRowCount(), 2);
    prompts.AnswerFileWith(Path("mixed.sls"));
    mixedSession.Open();
    EXPECT_EQ(mixed.ZenithRowCount(), 2);
    prompts.AnswerFileWith(Path("one.sls"));
    mixedSession.Open();
    EXPECT_EQ(mixed.ZenithRowCount(), 1);

    // An Open that fails keeps the table, and with it the rows that are still polled.
    WriteFile(Path("bad.sls"), "junk");
    prompts.AnswerFileWith(Path("bad.sls"));
    mixedSession.Open();
    EXPECT_EQ(mixed.ZenithRowCount(), 1);

    prompts.AnswerWith(IDNO);
    mixedSession.New();
    EXPECT_EQ(mixed.ZenithRowCount(), 0);
    prompts.AnswerFileWith(Path("mixed.sls"));
    mixedSession.Open();
    EXPECT_EQ(mixed.ZenithRowCount(), 2);
}

TEST_F(SessionTest, NewAsksFirstAndStartsAnUntitledDefaultTable) {
    table.AppendColumn(30);
    session.SetPollMs(2000);

    prompts.AnswerWith(IDCANCEL);
    session.New();
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_TRUE(host.log.empty());

    prompts.AnswerWith(IDNO);
    session.New();
    EXPECT_EQ(table.RowCount(), 0);
    EXPECT_EQ(table.ColumnCount(), kDefaultColumnCount);
    EXPECT_EQ(host.log, (std::vector<std::string>{"stop", "polling 0", "refresh", "start 2000",
                                                  "polling 1"}));
    EXPECT_EQ(host.caption, "Untitled - Seltra");
    const auto records = prompts.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].text, kSaveBeforeNewText);
    EXPECT_EQ(records[1].caption, kNewSessionCaption);
    EXPECT_EQ(records[1].style, MB_YESNOCANCEL | MB_ICONQUESTION);

    // With polling off the timer is not restarted.
    host.log.clear();
    session.SetPollMs(0);
    prompts.AnswerWith(IDNO);
    session.New();
    EXPECT_EQ(host.log, (std::vector<std::string>{"stop", "polling 0", "refresh"}));
}

TEST_F(SessionTest, NewKeepsTheTableWhenTheSaveItAskedForDidNotHappen) {
    prompts.AnswerWith(IDYES);
    prompts.AnswerFileWith(std::nullopt);
    session.New();
    EXPECT_EQ(table.RowCount(), 2);

    prompts.AnswerWith(IDYES);
    prompts.AnswerFileWith(Path("saved.sls"));
    session.New();
    EXPECT_EQ(table.RowCount(), 0);
    EXPECT_EQ(FileBytes(Path("saved.sls")).size(), SessionFileSize(kDefaultColumnCount, 2));
    EXPECT_EQ(session.SessionPath(), "");
}

TEST_F(SessionTest, SaveAsNamesTheSessionAndSaveRewritesIt) {
    host.asciiCopy = true;
    prompts.AnswerFileWith(Path("night.shift.sls"));
    EXPECT_TRUE(session.OnCommand(kFileSaveCommand));  // untitled: Save is Save As
    EXPECT_EQ(session.SessionPath(), Path("night.shift.sls"));
    EXPECT_EQ(host.caption, "night.shift - Seltra");
    EXPECT_EQ(host.textCopies, std::vector<std::string>{Path("night.shift.sls")});
    const auto records = prompts.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, platform::ScriptedPrompts::Record::Kind::SaveFile);
    EXPECT_EQ(records[0].text, kSaveSessionTitle);
    EXPECT_EQ(records[0].caption, kSessionFilter);

    AddBound("COM3");
    EXPECT_TRUE(session.OnCommand(kFileSaveCommand));
    EXPECT_EQ(prompts.Count(), 1u);  // no second dialog
    EXPECT_EQ(FileBytes(Path("night.shift.sls")).size(), SessionFileSize(kDefaultColumnCount, 3));
    EXPECT_EQ(host.textCopies.size(), 2u);
    EXPECT_FALSE(session.OnCommand(57602));
}

TEST_F(SessionTest, OpenReplacesTheTableOrKeepsEverythingWhenTheFileIsUnusable) {
    ASSERT_EQ(session.WriteSession(Path("two.sls")), SessionIoResult::Ok);
    WriteFile(Path("bad.sls"), "junk");
    AddBound("COM3");

    prompts.AnswerFileWith(Path("two.sls"));
    session.OnCommand(kFileOpenCommand);
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_EQ(session.SessionPath(), Path("two.sls"));
    EXPECT_EQ(host.caption, "two - Seltra");
    EXPECT_EQ(prompts.Records()[0].text, kOpenSessionTitle);

    prompts.AnswerFileWith(Path("bad.sls"));
    session.OnCommand(kFileOpenCommand);
    EXPECT_EQ(Messages(), std::vector<std::string>{kCorruptedSessionText});
    EXPECT_EQ(session.SessionPath(), Path("two.sls"));
    EXPECT_EQ(host.caption, "two - Seltra");
    EXPECT_EQ(RowNames(), (std::vector<std::string>{"COM1", "COM2"}));
}

TEST(SessionCaptionTest, ShowsTheFileTitleOrUntitled) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "Untitled - Seltra"},
        {"/home/u/line.sls", "line - Seltra"},
        {"/home/u/a.b.sls", "a.b - Seltra"},
        {"/home/u.d/plain", "plain - Seltra"},
        {"relative.sls", "relative - Seltra"},
        {"/home/u/.sls", ".sls - Seltra"},
    };
    for (const auto& [path, caption] : cases) {
        EXPECT_EQ(SessionCaption(path), caption) << path;
    }
}

}  // namespace
