// The string sender's rules: HEX text to bytes, the sorted list of saved strings and its file.

#include "terminal/session/saved_strings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/file_limits.h"
#include "tests/support/temp_config.h"

namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

TEST(StringSenderBytesTest, HexPairsAsciiUnchanged) {
    struct Case {
        StringType type;
        std::string text;
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {StringType::Hex, "41424344", "ABCD"},
        {StringType::Hex, "41 42", std::nullopt},
        {StringType::Hex, "4", ""},
        {StringType::Hex, "", ""},
        {StringType::Hex, "414", "A"},
        {StringType::Hex, "41g", "A"},  // a last single character is ignored, valid or not
        {StringType::Hex, "0d0A", "\r\n"},
        {StringType::Hex, "00ff", std::string("\x00\xff", 2)},
        {StringType::Hex, "4G", std::nullopt},
        {StringType::Hex, "0x41", std::nullopt},
        {StringType::Hex, "\xc3\xa9", std::nullopt},
        {StringType::Ascii, "hello", "hello"},
        {StringType::Ascii, "41 42", "41 42"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StringSenderBytes(c.type, c.text), c.bytes) << c.text;
    }
}

TEST(SavedStringsTest, ListSortsAndFindsWithoutRegardToCase) {
    SavedStrings list;
    list.Add("beta");
    list.Add("ALPHA");
    list.Add("Gamma");
    EXPECT_EQ(list.Add("alpha two"), 1u);
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"ALPHA", "alpha two", "beta", "Gamma"}));
    EXPECT_EQ(list.FindExact("gamma"), 3u);
    EXPECT_EQ(list.FindExact("alph"), std::nullopt);
    EXPECT_EQ(list.FindPrefix("alph"), 0u);
    EXPECT_EQ(list.FindPrefix("ALPHA T"), 1u);
    EXPECT_EQ(list.FindPrefix("delta"), std::nullopt);
    list.RemoveAt(*list.FindPrefix("BE"));
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"ALPHA", "alpha two", "Gamma"}));
}

TEST(SavedStringsTest, FileHoldsTheListWithCrLfAndSurvivesAFailedWrite) {
    TempConfig config;
    const std::string path = config.Root() + "/HexAsciiStrings.txt";
    // Edited by hand: LF-only and CR LF lines, a line of spaces, an empty line, out of order.
    std::ofstream(path, std::ios::binary) << "zulu\r\n   \nECHO\r\n\r\n41424344\r\n";
    SavedStrings list;
    list.Load(path);
    EXPECT_EQ(list.Entries(), (std::vector<std::string>{"", "   ", "41424344", "ECHO", "zulu"}));
    list.Add("delta");
    ASSERT_TRUE(list.Store(path));
    EXPECT_EQ(FileBytes(path), "\r\n   \r\n41424344\r\ndelta\r\nECHO\r\nzulu\r\n");
    SavedStrings reloaded;
    reloaded.Load(path);
    EXPECT_EQ(reloaded.Entries(), list.Entries());

    const std::string before = FileBytes(path);
    {
        const ScopedReadOnlyDirectory readOnly(config.Root());
        ASSERT_TRUE(readOnly.Holds());
        std::filesystem::permissions(path, std::filesystem::perms::owner_read);
        list.Add("foxtrot");
        EXPECT_FALSE(list.Store(path));
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    EXPECT_EQ(FileBytes(path), before);
    {
        const ScopedFileSizeLimit full(10);
        EXPECT_FALSE(list.Store(path)) << "a cut-off list was reported as saved";
    }
    EXPECT_EQ(FileBytes(path), before) << "a full disk cost the strings saved before";
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));

    SavedStrings missing;
    missing.Load(config.Root() + "/none.txt");
    EXPECT_TRUE(missing.Entries().empty());
}

}  // namespace
