#include "monitor/reports/convert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "monitor/reports/report_messages.h"
#include "monitor/sessions/session_file.h"
#include "monitor/sessions/session_messages.h"
#include "tests/monitor/reports/report_fixtures.h"

namespace {

namespace fs = std::filesystem;
using Kind = platform::ScriptedPrompts::Record::Kind;

class ConvertTest : public ::testing::Test {
  protected:
    void SetUp() override { FillDefaultTable(t_); }

    // The table of golden/convert_default.txt saved as a session file at `name`.
    std::string SaveTable(const std::string& name) {
        const std::string path = dir_.Path(name);
        const auto bytes = EncodeSession(t_.table);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    ConvertResult Run(const std::string& path) {
        prompts_.AnswerFileWith(path);
        return Convert(prompts_, "Selected Version", 2000);
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> texts;
        for (const auto& r : prompts_.Records()) {
            if (r.kind == Kind::MessageBox) {
                texts.push_back(r.text);
            }
        }
        return texts;
    }

    TempProgramDir dir_;
    ReportTable t_;
    platform::ScriptedPrompts prompts_;
};

TEST_F(ConvertTest, ASavedSessionBecomesItsTextCopyBesideIt) {
    const std::string session = SaveTable("Monday.sls");
    const std::string before = ReadText(session);
    EXPECT_EQ(Run(session), ConvertResult::Converted);
    EXPECT_EQ(ReadText(dir_.Path("Monday.txt")), Golden("convert_default.txt"));
    EXPECT_EQ(ReadText(session), before);
    const auto records = prompts_.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].kind, Kind::OpenFile);
    EXPECT_EQ(records[0].text, "Select a .sls file to be converted to .txt");
    EXPECT_EQ(records[1].text,
              "An ASCII copy of the selected file is now available in the same folder.");
    EXPECT_EQ(records[1].caption, "SELTRA2 - File Conversion");
    EXPECT_EQ(records[1].style, MB_OK | MB_ICONINFORMATION);

    // The full version of the same file has every column; a file whose last row is cut short
    // converts its complete rows.
    const std::string cut = SaveTable("Cut.sls");
    fs::resize_file(cut, fs::file_size(cut) - 1);
    prompts_.AnswerFileWith(cut);
    EXPECT_EQ(Convert(prompts_, "Full Version", 2000), ConvertResult::Converted);
    const std::string text = ReadText(dir_.Path("Cut.txt"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);  // header, empty line, COM2
    EXPECT_EQ(text.find("\r\nCOM9"), std::string::npos);
    EXPECT_EQ(text.find("\r\n\r\nCOM2"), text.find("\r\n"));
}

TEST_F(ConvertTest, FailuresGiveTheirTextsAndNoSuccessBox) {
    std::ofstream(dir_.Path("notes.sls")) << "Shopping list: milk, eggs, a null modem cable.\n";
    std::ofstream(dir_.Path("empty.sls"));
    std::ofstream(dir_.Path("short.sls")) << "   3";
    const std::string occupied = SaveTable("Occupied.sls");
    fs::create_directory(dir_.Path("Occupied.txt"));
    const std::string linked = SaveTable("Linked.sls");
    fs::create_symlink(linked, dir_.Path("Linked.txt"));
    struct Case {
        std::string path;
        ConvertResult result;
        const char* text;
    };
    for (const Case& c : {
             Case{dir_.Path("missing.sls"), ConvertResult::CannotOpen,
                  "Seltra2 Can't open the file!\t"},
             Case{dir_.Path(""), ConvertResult::CannotOpen, "Seltra2 Can't open the file!\t"},
             Case{dir_.Path("notes.sls"), ConvertResult::Corrupted,
                  "The selected file is corrupted!\t"},
             Case{dir_.Path("empty.sls"), ConvertResult::Corrupted,
                  "The selected file is corrupted!\t"},
             Case{dir_.Path("short.sls"), ConvertResult::Corrupted,
                  "The selected file is corrupted!\t"},
             Case{occupied, ConvertResult::CannotWrite, "Seltra2 Can't creat an Ascii file!\t"},
             Case{linked, ConvertResult::CannotWrite, "Seltra2 Can't creat an Ascii file!\t"},
         }) {
        platform::ScriptedPrompts prompts;
        prompts.AnswerFileWith(c.path);
        EXPECT_EQ(Convert(prompts, "", 2000), c.result) << c.path;
        const auto records = prompts.Records();
        ASSERT_EQ(records.size(), 2u) << c.path;
        EXPECT_EQ(records[1].text, c.text) << c.path;
        EXPECT_EQ(records[1].caption, "Seltra2 - Warning...");
        EXPECT_EQ(records[1].style, MB_OK | MB_ICONSTOP);
    }
    // Nothing was made from the failures, and the files are as they were.
    EXPECT_FALSE(fs::exists(dir_.Path("notes.txt")));
    EXPECT_FALSE(fs::exists(dir_.Path("empty.txt")));
    EXPECT_TRUE(fs::is_directory(dir_.Path("Occupied.txt")));
    EXPECT_EQ(ReadText(linked), ReadText(occupied));

    // Cancelling the dialog does nothing at all.
    prompts_.AnswerFileWith(std::nullopt);
    EXPECT_EQ(Convert(prompts_, "", 2000), ConvertResult::Cancelled);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ConvertTest, AConvertedFileIsNeverItsOwnCopy) {
    // A session saved with a .txt name: the copy goes beside it, the session is untouched.
    const std::string session = SaveTable("week.txt");
    const std::string before = ReadText(session);
    EXPECT_EQ(Run(session), ConvertResult::Converted);
    EXPECT_EQ(ReadText(session), before);
    EXPECT_EQ(ReadText(dir_.Path("week.txt.txt")), Golden("convert_default.txt"));
}

}  // namespace
