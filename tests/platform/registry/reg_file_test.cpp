// The REGEDIT4 text of the store: what it accepts, what it refuses, and that writing and
// reading again gives back every byte.
#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/registry/registry.h"

namespace platform {
namespace {

std::vector<BYTE> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}
std::vector<BYTE> Text(std::string_view s) {
    auto b = Bytes(s);
    b.push_back(0);
    return b;
}

struct AcceptCase {
    const char* what;
    const char* text;
    const char* key;
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
};

class RegFileAcceptTest : public ::testing::TestWithParam<AcceptCase> {};

TEST_P(RegFileAcceptTest, ReadsTheValue) {
    const AcceptCase& c = GetParam();
    RegFile file;
    RegParseError error;
    ASSERT_TRUE(ParseRegFile(c.text, file, error))
        << c.what << ": line " << error.line << " " << error.reason;
    const RegKey* key = file.FindKey(c.key);
    ASSERT_NE(key, nullptr) << c.what;
    const RegValue* value = key->FindValue(c.name);
    ASSERT_NE(value, nullptr) << c.what;
    EXPECT_EQ(value->type, c.type) << c.what;
    EXPECT_EQ(value->data, c.data) << c.what;
}

const char kKey[] = "HKEY_CURRENT_USER\\Software\\Quenby\\Halvo2\\Settings";

INSTANTIATE_TEST_SUITE_P(
    Forms, RegFileAcceptTest,
    ::testing::Values(
        AcceptCase{"hand-written text",
                   "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quenby\\Halvo2\\Settings]\n\"Log To "
                   "File\"=\"1\"\n",
                   kKey, "Log To File", REG_SZ, Text("1")},
        AcceptCase{"escapes", "REGEDIT4\n[A]\n\"q\\\"n\"=\"say \\\"hi\\\" \\\\ C:\\Temp\"\n", "A",
                   "q\"n", REG_SZ, Text("say \"hi\" \\ C:\\Temp")},
        AcceptCase{"hex(1) with trailing bytes", "REGEDIT4\n[A]\n\"v\"=hex(1):31,00,00,ff\n", "A",
                   "v", REG_SZ, Bytes(std::string_view("1\0\0\xff", 4))},
        AcceptCase{"folded list, CRLF, spaces",
                   "REGEDIT4\r\n[A]\r\n\"v\" = hex:01,02,\\\r\n    03, 04 ,\\\r\n  05\r\n", "A",
                   "v", REG_BINARY, (std::vector<BYTE>{1, 2, 3, 4, 5})},
        AcceptCase{"fold right after the prefix", "REGEDIT4\n[A]\n\"v\"=hex(2):\\\n  41,00\n", "A",
                   "v", REG_EXPAND_SZ, Text("A")},
        AcceptCase{"dword", "REGEDIT4\n[A]\n\"v\"=dword:0001e240\n", "A", "v", REG_DWORD,
                   (std::vector<BYTE>{0x40, 0xE2, 0x01, 0x00})},
        AcceptCase{"other type kept", "REGEDIT4\n[A]\n\"v\"=hex(b):01,00,00,00,00,00,00,80\n", "A",
                   "v", REG_QWORD, (std::vector<BYTE>{1, 0, 0, 0, 0, 0, 0, 0x80})},
        AcceptCase{"empty list", "REGEDIT4\n[A]\n\"v\"=hex:\n", "A", "v", REG_BINARY, {}},
        AcceptCase{"default value, comment, BOM",
                   "\xEF\xBB\xBF; exported\nREGEDIT4\n[A]\n@=\"d\"\n", "A", "", REG_SZ, Text("d")},
        AcceptCase{"names ignore case, last wins",
                   "REGEDIT4\n[a\\B]\n\"V\"=\"1\"\n[A\\b]\n\"v\"=\"2\"\n", "A\\B", "v", REG_SZ,
                   Text("2")},
        AcceptCase{"bracket inside a key name", "REGEDIT4\n[A\\x]y]\n\"v\"=\"1\"\n", "A\\x]y", "v",
                   REG_SZ, Text("1")}));

struct RefuseCase {
    const char* what;
    const char* text;
    std::size_t line;
};

class RegFileRefuseTest : public ::testing::TestWithParam<RefuseCase> {};

TEST_P(RegFileRefuseTest, NamesTheFaultyLineAndKeepsNothing) {
    const RefuseCase& c = GetParam();
    RegFile file;
    RegParseError error;
    EXPECT_FALSE(ParseRegFile(c.text, file, error)) << c.what;
    EXPECT_EQ(error.line, c.line) << c.what;
    EXPECT_FALSE(error.reason.empty()) << c.what;
    EXPECT_TRUE(file.keys.empty()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RegFileRefuseTest,
    ::testing::Values(RefuseCase{"no header", "[A]\n\"v\"=\"1\"\n", 1},
                      RefuseCase{"other header", "Windows Registry Editor Version 5.00\n", 1},
                      RefuseCase{"binary garbage", "\x01\x02\x03garbage", 1},
                      RefuseCase{"value before key", "REGEDIT4\n\"v\"=\"1\"\n", 2},
                      RefuseCase{"open string", "REGEDIT4\n[A]\n\"v\"=\"1\n", 3},
                      RefuseCase{"open name", "REGEDIT4\n[A]\n\"v=1\n", 3},
                      RefuseCase{"no equals", "REGEDIT4\n[A]\n\"v\" \"1\"\n", 3},
                      RefuseCase{"text after string", "REGEDIT4\n[A]\n\"v\"=\"1\" x\n", 3},
                      RefuseCase{"bad hex byte", "REGEDIT4\n[A]\n\"v\"=hex:01,zz\n", 3},
                      RefuseCase{"three-digit byte", "REGEDIT4\n[A]\n\"v\"=hex:100\n", 3},
                      RefuseCase{"empty item", "REGEDIT4\n[A]\n\"v\"=hex:01,,02\n", 3},
                      RefuseCase{"bad dword", "REGEDIT4\n[A]\n\"v\"=dword:123456789\n", 3},
                      RefuseCase{"bad type", "REGEDIT4\n[A]\n\"v\"=hex(q):00\n", 3},
                      RefuseCase{"unknown form", "REGEDIT4\n[A]\n\"v\"=str:1\n", 3},
                      RefuseCase{"open key", "REGEDIT4\n[A\n", 2},
                      RefuseCase{"empty key part", "REGEDIT4\n[A\\\\B]\n", 2},
                      RefuseCase{"continued at end", "REGEDIT4\n[A]\n\"v\"=hex:01,\\\n", 3},
                      RefuseCase{"stray line", "REGEDIT4\n[A]\nv=1\n", 3}));

TEST(RegFile, DeletionEntriesRemoveWhatTheyName) {
    RegFile file;
    RegParseError error;
    ASSERT_TRUE(
        ParseRegFile("REGEDIT4\n[A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n[A\\Sub]\n\"z\"=\"3\"\n"
                     "[A]\n\"x\"=-\n[-A\\sub]\n\"ignored\"=\"4\"\n",
                     file, error));
    ASSERT_NE(file.FindKey("A"), nullptr);
    EXPECT_EQ(file.FindKey("A")->FindValue("x"), nullptr);
    EXPECT_NE(file.FindKey("A")->FindValue("y"), nullptr);
    EXPECT_EQ(file.FindKey("A\\Sub"), nullptr);
}

TEST(RegFile, EmptyTextIsAnEmptyStore) {
    RegFile file;
    RegParseError error;
    EXPECT_TRUE(ParseRegFile("", file, error));
    EXPECT_TRUE(ParseRegFile("\n  \n", file, error));
    EXPECT_TRUE(file.keys.empty());
}

RegFile SampleFile() {
    RegFile file;
    RegKey& settings = file.AddKey(kKey);
    std::vector<BYTE> twenty(20, 0);
    twenty[0] = '1';
    settings.SetValue("Save Settings On Exit", REG_SZ, twenty);
    settings.SetValue("Hand Edited", REG_SZ, Text("1"));
    settings.SetValue("Quote \" and \\ back", REG_SZ, Text("C:\\a \"b\""));
    settings.SetValue("", REG_SZ, Text(""));
    settings.SetValue("No terminator", REG_SZ, Bytes("abc"));
    settings.SetValue("Empty", REG_SZ, {});
    settings.SetValue("High bytes", REG_SZ, Text("caf\xc3\xa9"));
    settings.SetValue("Binary", REG_BINARY, std::vector<BYTE>(100, 0xAB));
    settings.SetValue("Count", REG_DWORD, {0x78, 0x56, 0x34, 0x12});
    settings.SetValue("Short dword", REG_DWORD, {1, 2});
    settings.SetValue("Odd type", 0x12345u, {9});
    file.AddKey("HKEY_CURRENT_USER\\Software\\Quenby\\Seltra2\\Settings")
        .SetValue(std::string(60, 'n'), REG_SZ, std::vector<BYTE>(60, 0x30));
    file.AddKey("HKEY_CURRENT_USER\\Software\\Quenby\\Empty");
    file.AddKey("HKEY_CURRENT_USER\\Software\\Quenby Other");
    file.AddKey("HKEY_CURRENT_USER\\Software\\Quenby");
    return file;
}

TEST(RegFile, WritingAndReadingAgainKeepsEveryByte) {
    const RegFile original = SampleFile();
    const std::string text = FormatRegFile(original);
    RegFile again;
    RegParseError error;
    ASSERT_TRUE(ParseRegFile(text, again, error)) << error.line << " " << error.reason << "\n"
                                                  << text;
    ASSERT_EQ(again.keys.size(), original.keys.size());
    for (const RegKey& key : original.keys) {
        const RegKey* read = again.FindKey(key.path);
        ASSERT_NE(read, nullptr) << key.path;
        EXPECT_EQ(read->path, key.path);
        ASSERT_EQ(read->values.size(), key.values.size()) << key.path;
        for (std::size_t i = 0; i < key.values.size(); ++i) {
            EXPECT_EQ(read->values[i].name, key.values[i].name) << "order kept";
            EXPECT_EQ(read->values[i].type, key.values[i].type) << key.values[i].name;
            EXPECT_EQ(read->values[i].data, key.values[i].data) << key.values[i].name;
        }
    }
    EXPECT_EQ(FormatRegFile(again), text) << "a second round changes nothing";
}

TEST(RegFile, TextIsReadableRegedit4) {
    const std::string text = FormatRegFile(SampleFile());
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[", 0), 0u);
    EXPECT_NE(text.find("\"Save Settings On Exit\"=hex(1):31,00,00,00,00,00,00,00,00,00,00,00,00,"
                        "00,00,00,\\\n  00,00,00,00\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Hand Edited\"=\"1\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Quote \\\" and \\\\ back\"=\"C:\\\\a \\\"b\\\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Count\"=dword:12345678\n"), std::string::npos);
    EXPECT_NE(text.find("\"Odd type\"=hex(12345):09\n"), std::string::npos);

    std::istringstream lines(text);
    std::vector<std::string> sections;
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 80u) << line;
        if (!line.empty() && line[0] == '[') {
            sections.push_back(line);
        }
    }
    const std::vector<std::string> sorted = {
        "[HKEY_CURRENT_USER\\Software\\Quenby]", "[HKEY_CURRENT_USER\\Software\\Quenby\\Empty]",
        "[HKEY_CURRENT_USER\\Software\\Quenby\\Halvo2\\Settings]",
        "[HKEY_CURRENT_USER\\Software\\Quenby\\Seltra2\\Settings]",
        "[HKEY_CURRENT_USER\\Software\\Quenby Other]"};
    EXPECT_EQ(sections, sorted);
}

TEST(RegFile, NewKeysTakeTheStoredSpellingOfTheirParents) {
    RegFile file;
    file.AddKey("HKEY_CURRENT_USER\\Software\\Quenby\\Halvo2");
    EXPECT_TRUE(file.KeyExists("hkey_current_user\\SOFTWARE"));
    EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Soft"));
    EXPECT_EQ(file.AddKey("hkey_current_user\\software\\QUENBY\\Seltra2").path,
              "HKEY_CURRENT_USER\\Software\\Quenby\\Seltra2");
    EXPECT_EQ(&file.AddKey("HKEY_CURRENT_USER\\SOFTWARE\\quenby\\halvo2"), &file.keys[0]);
}

}  // namespace
}  // namespace platform
