// The registry calls as the programs make them, on a real store file.
#include "platform/registry/registry.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "tests/platform/registry/registry_test_support.h"

namespace platform {
namespace {

using testing::RegistryTest;

constexpr const char* kSettings = "Software\\Quenby\\Halvo2\\Settings";

std::string Twenty(const char* text) {
    std::string bytes(20, '\0');
    std::memcpy(bytes.data(), text, std::strlen(text));
    bytes[19] = '\x7f';  // bytes after the terminating zero mean nothing but must survive
    return bytes;
}

TEST_F(RegistryTest, KeyIsCreatedEmptyAtOnceAndOpenedLater) {
    DWORD disposition = 0;
    HKEY key = Create(kSettings, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(StoreText(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quenby\\Halvo2\\Settings]\n\n");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    HKEY again = Create("SOFTWARE\\quenby\\HALVO2\\settings\\", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    HKEY parent = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quenby", 0, KEY_READ, &parent),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quenby\\Seltra2", 0, KEY_READ, &parent),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(parent, nullptr);
}

TEST_F(RegistryTest, TwentyByteValuesReadBackExactly) {
    HKEY key = Create(kSettings);
    const std::string one = Twenty("1");
    ASSERT_EQ(SetText(key, "Save Settings On Exit", one), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, "Open Port Dialog", Twenty("0")), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(Query(key, "save settings on exit", &type), one) << "value names ignore case";
    EXPECT_EQ(type, REG_SZ);
    EXPECT_NE(StoreText().find("\"Save Settings On Exit\"=hex(1):31,00,"), std::string::npos);
    RegCloseKey(key);

    // Another handle (as the next start of the program) sees the same bytes.
    HKEY next = Create(kSettings);
    EXPECT_EQ(Query(next, "Open Port Dialog"), Twenty("0"));
    RegCloseKey(next);
}

TEST_F(RegistryTest, HandEditedValueIsTwoBytesAndTooSmallABufferIsReported) {
    WriteStore(
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Quenby\\Halvo2\\Settings]\n"
        "\"Log To File\"=\"1\"\n\"Show CR/LF\"=hex(1):30,00,00,00,00,00,00,00,00,00,00,\\\n"
        "  00,00,00,00,00,00,00,00,00,00,00\n");
    HKEY key = Create(kSettings);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Log To File", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);

    BYTE small[1] = {0xEE};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Log To File", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(small[0], 0xEE) << "a buffer too small is left alone";
    EXPECT_EQ(type, REG_SZ);

    BYTE buffer[20];
    std::memset(buffer, 0xEE, sizeof buffer);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Log To File", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), std::string("1\0\xEE", 3));
    // The value after the hand-edited one reads as well.
    EXPECT_EQ(Query(key, "Show CR/LF")->size(), 22u);
    size = 20;
    EXPECT_EQ(RegQueryValueExA(key, "Show CR/LF", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 22u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, MissingValuesAndBadArgumentsFailWithTheirReason) {
    HKEY key = Create(kSettings);
    BYTE buffer[20];
    DWORD size = sizeof buffer;
    DWORD reserved = 0;
    HKEY created = nullptr;
    const struct {
        const char* what;
        LONG result;
        LONG expected;
    } cases[] = {
        {"missing value", RegQueryValueExA(key, "Nope", nullptr, nullptr, buffer, &size),
         ERROR_FILE_NOT_FOUND},
        {"missing value deleted", RegDeleteValueA(key, "Nope"), ERROR_FILE_NOT_FOUND},
        {"reserved", RegQueryValueExA(key, "Nope", &reserved, nullptr, buffer, &size),
         ERROR_INVALID_PARAMETER},
        {"data without size", RegQueryValueExA(key, "Nope", nullptr, nullptr, buffer, nullptr),
         ERROR_INVALID_PARAMETER},
        {"line break in name", SetText(key, "a\nb", "x"), ERROR_INVALID_PARAMETER},
        {"bytes without data", RegSetValueExA(key, "v", 0, REG_SZ, nullptr, 4),
         ERROR_INVALID_PARAMETER},
        {"empty key part",
         RegCreateKeyExA(HKEY_CURRENT_USER, "A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                         &created, nullptr),
         ERROR_INVALID_PARAMETER},
        {"volatile key",
         RegCreateKeyExA(HKEY_CURRENT_USER, "A", 0, nullptr, 1, KEY_ALL_ACCESS, nullptr, &created,
                         nullptr),
         ERROR_INVALID_PARAMETER},
        {"part too long",
         RegCreateKeyExA(HKEY_CURRENT_USER, std::string(256, 'k').c_str(), 0, nullptr, 0,
                         KEY_ALL_ACCESS, nullptr, &created, nullptr),
         ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.result, c.expected) << c.what;
    }
    EXPECT_EQ(created, nullptr) << "a failed creation gives no handle";
    RegCloseKey(key);
}

TEST_F(RegistryTest, ClosedHandlesAreRecognised) {
    HKEY key = Create(kSettings);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(SetText(key, "v", "1"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Query(key, "v"), std::nullopt);
    HKEY reopened = Create(kSettings);
    EXPECT_NE(reopened, key) << "a handle value is not handed out twice";
    EXPECT_EQ(SetText(key, "v", "1"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(std::uintptr_t{0xDEADBEEF})),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    RegCloseKey(reopened);
}

TEST_F(RegistryTest, ReadOnlyHandleCannotWrite) {
    Create(kSettings);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettings, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetText(key, "v", "1"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

TEST_F(RegistryTest, ValuesKeepTheirOrderAndDeleteRemovesOne) {
    HKEY key = Create(kSettings);
    for (const char* name : {"Zeta", "Alpha", "Mid"}) {
        ASSERT_EQ(SetText(key, name, Twenty("1")), ERROR_SUCCESS);
    }
    ASSERT_EQ(SetText(key, "ALPHA", Twenty("2")), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key, "mid"), ERROR_SUCCESS);
    const std::string text = StoreText();
    const auto zeta = text.find("\"Zeta\"");
    const auto alpha = text.find("\"Alpha\"=hex(1):32");
    EXPECT_NE(zeta, std::string::npos);
    EXPECT_NE(alpha, std::string::npos) << "the new data stays under the first spelling";
    EXPECT_LT(zeta, alpha);
    EXPECT_EQ(text.find("Mid"), std::string::npos);
    RegCloseKey(key);
}

TEST_F(RegistryTest, UnreadableStoreIsKeptAsideAndReported) {
    const std::string garbage = "this is not a registry file\n\"Save Settings On Exit\"=\"0\"\n";
    WriteStore(garbage);
    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Save Settings On Exit"), std::nullopt)
        << "an unreadable store has no values";
    RegCloseKey(key);
    EXPECT_EQ(StoreText(), garbage) << "reading does not touch the file";

    key = Create(kSettings);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(key, nullptr);
    std::string aside;
    for (const auto& entry : std::filesystem::directory_iterator(root_ + "/quenby")) {
        const std::string name = entry.path().filename();
        if (name.rfind("HKEY_CURRENT_USER.reg.unreadable-", 0) == 0) {
            EXPECT_TRUE(aside.empty()) << "kept aside once";
            aside = entry.path();
        }
    }
    ASSERT_FALSE(aside.empty());
    std::ifstream in(aside);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage);
    EXPECT_EQ(std::filesystem::path(aside).filename().string().size(),
              std::string("HKEY_CURRENT_USER.reg.unreadable-20240101-120000").size());
    EXPECT_NE(said.find(storePath_ + " could not be read"), std::string::npos) << said;
    EXPECT_NE(said.find(aside), std::string::npos) << said;
    EXPECT_EQ(StoreText().rfind("REGEDIT4\n", 0), 0u) << "a new store is written";
    ASSERT_EQ(SetText(key, "Save Settings On Exit", Twenty("1")), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "Save Settings On Exit"), Twenty("1"));
    RegCloseKey(key);
}

TEST_F(RegistryTest, AStoreThatCannotBeWrittenFailsTheCall) {
    // The configuration directory's place is taken by a file: nothing can be created there.
    std::ofstream(root_ + "/quenby") << "in the way";
    HKEY key = nullptr;
    const LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr);
    EXPECT_NE(rc, ERROR_SUCCESS);
    EXPECT_EQ(key, nullptr);
}

TEST_F(RegistryTest, StoreBehindASymbolicLinkIsReplacedWhereItLives) {
    std::filesystem::create_directories(root_ + "/quenby");
    std::filesystem::create_directories(root_ + "/dotfiles");
    const std::string real = root_ + "/dotfiles/registry.reg";
    std::ofstream(real) << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Keep]\n\"k\"=\"v\"\n";
    std::filesystem::create_symlink(real, storePath_);
    HKEY key = Create(kSettings);
    ASSERT_EQ(SetText(key, "v", "1"), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_symlink(storePath_));
    std::ifstream in(real);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Keep]\n\"k\"=\"v\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"v\"=hex(1):31"), std::string::npos) << text;
    RegCloseKey(key);
}

}  // namespace
}  // namespace platform
