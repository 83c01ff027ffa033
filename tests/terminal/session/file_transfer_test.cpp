// The streams of the file transfers and Save As on a real file system: what the receive file
// holds, how the send file is cut into chunks, and that every failure is told as one.

#include "terminal/session/file_transfer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/system/last_error.h"
#include "tests/support/file_limits.h"
#include "tests/support/temp_config.h"

namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class FileTransferTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return config_.Root() + "/" + name; }
    // The chunks SendFile reads from a file holding `bytes`, each with its end flag.
    std::vector<std::pair<std::string, bool>> Chunks(const std::string& bytes) {
        WriteBytes(Path("send.txt"), bytes);
        SendFile file;
        EXPECT_TRUE(file.Open(Path("send.txt")));
        std::vector<std::pair<std::string, bool>> chunks;
        char chunk[kFileChunkSize + 1];
        for (int i = 0; i < 100; ++i) {
            const SendChunk read = file.ReadChunk(chunk);
            EXPECT_TRUE(read.open);
            EXPECT_FALSE(read.readFailed);
            EXPECT_EQ(chunk[read.length], '\0');
            chunks.emplace_back(std::string(chunk, read.length), read.atEnd);
            if (read.atEnd) {
                break;
            }
        }
        return chunks;
    }

    TempConfig config_;
};

TEST_F(FileTransferTest, SendFileChunksReadAsText) {
    const std::string x1023(1023, 'x');
    const std::string x1024(1024, 'x');
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::pair<std::string, bool>> chunks;
    };
    const Case cases[] = {
        {"empty file ends at once", "", {{"", true}}},
        {"CR LF read as LF", "a\r\nb\r\n", {{"a\nb\n", true}}},
        {"lone CR and LF kept", "a\rb\nc\r", {{"a\rb\nc\r", true}}},
        {"0x1A ends the file",
         std::string("ab\x1A"
                     "cd",
                     5),
         {{"ab", true}}},
        {"2500 bytes",
         std::string(2500, 'y'),
         {{std::string(1024, 'y'), false},
          {std::string(1024, 'y'), false},
          {std::string(452, 'y'), true}}},
        {"exactly one chunk ends with it", x1024, {{x1024, true}}},
        {"CR LF across the chunk's end", x1023 + "\r\nz", {{x1023 + "\n", false}, {"z", true}}},
        {"CR LF after a full chunk", x1024 + "\r\n", {{x1024, false}, {"\n", true}}},
        {"0x1A right after a full chunk",
         x1024 + "\x1A"
                 "more",
         {{x1024, true}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Chunks(c.file), c.chunks) << c.name;
    }
}

TEST_F(FileTransferTest, SendFileRewindsAChunkThatDidNotGoAndTellsAFailedRead) {
    WriteBytes(Path("send.txt"), "one\r\ntwo");
    SendFile file;
    ASSERT_TRUE(file.Open(Path("send.txt")));
    char chunk[kFileChunkSize + 1];
    const SendChunk first = file.ReadChunk(chunk);
    file.Rewind(first);
    const SendChunk again = file.ReadChunk(chunk);
    EXPECT_EQ(std::string(chunk, again.length), "one\ntwo");
    // A chunk of an earlier file neither closes nor moves the file opened since.
    ASSERT_TRUE(file.Open(Path("send.txt")));
    EXPECT_FALSE(file.CloseIf(first));
    EXPECT_TRUE(file.IsOpen());

    // A directory opens but cannot be read: that is a failure, not the end of a file.
    std::filesystem::create_directories(Path("dir"));
    ASSERT_TRUE(file.Open(Path("dir")));
    const SendChunk failed = file.ReadChunk(chunk);
    EXPECT_TRUE(failed.readFailed);
    EXPECT_FALSE(failed.atEnd);
    EXPECT_FALSE(SendFile().Open(Path("missing.txt")));
}

TEST_F(FileTransferTest, ReceiveFileStoresEachLfAsCrLfAndReplacesAnOldFile) {
    WriteBytes(Path("in.txt"), "old content");
    ReceiveFile file;
    ASSERT_TRUE(file.Open(Path("in.txt")));
    EXPECT_EQ(FileBytes(Path("in.txt")), "");
    EXPECT_EQ(file.Write("A\r\n", 3), ReceiveFile::Result::Written);
    // Each block is in the file as soon as it is written.
    EXPECT_EQ(FileBytes(Path("in.txt")), "A\r\r\n");
    EXPECT_EQ(file.Write("\n\nB", 3), ReceiveFile::Result::Written);
    EXPECT_EQ(FileBytes(Path("in.txt")), "A\r\r\n\r\n\r\nB");
    file.Close();
    EXPECT_EQ(file.Write("C", 1), ReceiveFile::Result::NotOpen);
}

TEST_F(FileTransferTest, ReceiveFileWriteOnAFullDiskFailsAndKeepsWhatCameBefore) {
    ReceiveFile file;
    ASSERT_TRUE(file.Open(Path("in.txt")));
    ASSERT_EQ(file.Write("kept\n", 5), ReceiveFile::Result::Written);
    ReceiveFile::Result result;
    {
        const ScopedFileSizeLimit full(64);
        result = file.Write(std::string(100, 'z').c_str(), 100);
    }
    EXPECT_EQ(result, ReceiveFile::Result::Failed);
    EXPECT_NE(platform::GetLastError(), 0u);
    EXPECT_EQ(FileBytes(Path("in.txt")).substr(0, 6), "kept\r\n");
}

TEST_F(FileTransferTest, ReceiveFileCannotBeMadeInAReadOnlyDirectory) {
    std::filesystem::create_directories(Path("ro"));
    const ScopedReadOnlyDirectory readOnly(Path("ro"));
    ASSERT_TRUE(readOnly.Holds());
    ReceiveFile file;
    EXPECT_FALSE(file.Open(Path("ro/in.txt")));
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileTransferTest, SocketFileNoticeWaitsForTheTimeAt9600) {
    EXPECT_EQ(SocketFileDoneWaitMs(4030), 3358u);
    EXPECT_EQ(SocketFileDoneCaption(4030), "4030-3358");
    EXPECT_EQ(SocketFileDoneCaption(0), "0-0");
    // 4 MB: count × 8000 overflows 32 bits; the wait must not.
    EXPECT_EQ(SocketFileDoneWaitMs(4'000'000), 3'333'333u);
}

TEST_F(FileTransferTest, SaveAsWritesTheTextAsShownAndTellsEveryFailure) {
    EXPECT_EQ(ReportTextForFile("a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(SaveTextFile(Path("save.txt"), "line 1\r\nlast"), 0u);
    EXPECT_EQ(FileBytes(Path("save.txt")), "line 1\r\nlast");

    std::filesystem::create_directories(Path("ro"));
    {
        const ScopedReadOnlyDirectory readOnly(Path("ro"));
        ASSERT_TRUE(readOnly.Holds());
        EXPECT_NE(SaveTextFile(Path("ro/save.txt"), "text"), 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("ro/save.txt")));

    DWORD full = 0;
    {
        const ScopedFileSizeLimit limit(100);
        full = SaveTextFile(Path("big.txt"), std::string(5000, 'q'));
    }
    EXPECT_NE(full, 0u) << "a short file was reported as saved";
}

}  // namespace
