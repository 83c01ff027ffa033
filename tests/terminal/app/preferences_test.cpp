// halvo2's preferences through the real registry store in a private configuration directory.

#include "terminal/app/preferences.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <climits>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_config.h"

namespace {

using namespace platform;

HKEY OpenKey() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPreferencesKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    return key;
}

// The bytes of a value the program wrote (always text), or nothing when it is missing.
std::optional<std::string> Raw(const char* name) {
    HKEY key = OpenKey();
    char data[64];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    const LONG rc =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        return std::nullopt;
    }
    EXPECT_EQ(type, REG_SZ) << name;
    return std::string(data, size);
}

void SetRaw(const char* name, const std::string& bytes, DWORD type = REG_SZ) {
    HKEY key = OpenKey();
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// What the program writes for a number: the text, then zeros up to 20 bytes.
std::string Padded(const std::string& text) {
    return text + std::string(kPreferenceValueSize - text.size(), '\0');
}

// The value names of the key in the order the store file holds them.
std::vector<std::string> StoredNames() {
    std::stringstream text;
    text << std::ifstream(CurrentUserStorePath()).rdbuf();
    RegFile file;
    RegParseError error;
    EXPECT_TRUE(ParseRegFile(text.str(), file, error)) << error.reason;
    std::vector<std::string> names;
    if (const RegKey* key = file.FindKey(std::string("HKEY_CURRENT_USER\\") + kPreferencesKey)) {
        for (const RegValue& value : key->values) {
            names.push_back(value.name);
        }
    }
    return names;
}

// Every preference off its start value.
Preferences Flipped() {
    return Preferences{1, 1, 0, 1, 0, 1};
}

void SetFlags(DisplayFlags& flags, bool logToFile, bool showCrLf) {
    flags.logToFile = logToFile;
    flags.showCrLfBs = showCrLf;
}

TEST(Preferences, FirstRunCreatesTheKeyEmptyAndTheExitStoresAllEight) {
    TempConfig config;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPreferencesKey, 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    Preferences p;
    DisplayFlags flags;
    LoadPreferences(p, flags);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kPreferencesKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(StoredNames().empty());
    EXPECT_EQ(p, Preferences{});

    ScriptedPrompts prompts;
    ASSERT_TRUE(StorePreferences(p, flags, prompts));
    EXPECT_EQ(prompts.Count(), 0u);
    // In the order the exit writes them.
    const std::pair<std::string, const char*> expected[] = {
        {kSaveSettingsOnExitName, "1"}, {kOpenPortDialogName, "0"}, {kConfirmationOnExitName, "1"},
        {kChildStatusBarName, "1"},     {kChildToolbarName, "0"},   {kReportViewName, "0"},
        {kLogToFileName, "0"},          {kShowCrLfName, "0"},
    };
    std::vector<std::string> order;
    for (const auto& [name, text] : expected) {
        EXPECT_EQ(Raw(name.c_str()), Padded(text)) << name;
        order.push_back(name);
    }
    EXPECT_EQ(StoredNames(), order);
}

TEST(Preferences, SaveSettingsOffWritesOnlyThatValueAndTheNextStartSeesTheOlderOnes) {
    TempConfig config;
    ScriptedPrompts prompts;
    DisplayFlags flags;
    SetFlags(flags, true, true);
    ASSERT_TRUE(StorePreferences(Flipped(), flags, prompts));

    // Saving switched off, and every other preference changed since.
    Preferences later;
    later.saveSettingsOnExit = 0;
    SetFlags(flags, false, false);
    ASSERT_TRUE(StorePreferences(later, flags, prompts));
    EXPECT_EQ(Raw(kSaveSettingsOnExitName), Padded("0"));

    Preferences next;
    DisplayFlags nextFlags;
    LoadPreferences(next, nextFlags);
    Preferences expected = Flipped();
    expected.saveSettingsOnExit = 0;
    EXPECT_EQ(next, expected);
    EXPECT_TRUE(nextFlags.logToFile);
    EXPECT_TRUE(nextFlags.showCrLfBs);
    EXPECT_EQ(prompts.Count(), 0u);
}

TEST(Preferences, AnySaveSettingsValueButZeroStoresEverything) {
    for (const int save : {0, 1, 2, -1}) {
        TempConfig config;
        ScriptedPrompts prompts;
        Preferences p = Flipped();
        p.saveSettingsOnExit = save;
        ASSERT_TRUE(StorePreferences(p, DisplayFlags{}, prompts));
        EXPECT_EQ(Raw(kSaveSettingsOnExitName), Padded(std::to_string(save)));
        EXPECT_EQ(StoredNames().size(), save == 0 ? 1u : 8u) << save;
    }
}

TEST(Preferences, ValuesAreReadByTheirLeadingDigitsWithinTwentyBytes) {
    constexpr int kKept = 7;  // the preference keeps the value it had
    struct Case {
        const char* what;
        std::string bytes;
        DWORD type;
        int expected;
    };
    const Case cases[] = {
        {"edited by hand to 1", std::string("1\0", 2), REG_SZ, 1},
        {"edited by hand to 0", std::string("0\0", 2), REG_SZ, 0},
        {"twenty digits, no zero", "00000000000000000042", REG_SZ, 42},
        {"twenty-one bytes", Padded("1") + '\0', REG_SZ, kKept},
        {"leading blanks, trailing text", std::string("  12abc\0", 8), REG_SZ, 12},
        {"no digits", std::string("on\0", 3), REG_SZ, 0},
        {"empty", "", REG_SZ, 0},
        {"negative", Padded("-5"), REG_SZ, -5},
        {"beyond 32 bits", Padded("99999999999"), REG_SZ, INT_MAX},
        {"a binary number", std::string("\x01\0\0\0", 4), REG_DWORD, kKept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempConfig config;
        // The value under test is read first; those read after it must not suffer.
        SetRaw(kSaveSettingsOnExitName, c.bytes, c.type);
        SetRaw(kOpenPortDialogName, std::string("1\0", 2));
        SetRaw(kShowCrLfName, Padded("1"));
        Preferences p;
        p.saveSettingsOnExit = kKept;
        DisplayFlags flags;
        LoadPreferences(p, flags);
        EXPECT_EQ(p.saveSettingsOnExit, c.expected);
        EXPECT_EQ(p.openPortDialog, 1);
        EXPECT_EQ(p.confirmationOnExit, 1);  // missing: kept
        EXPECT_TRUE(flags.showCrLfBs);
    }
}

TEST(Preferences, TheLiveDisplayFlagsAreLoadedAndAToggleIsStored) {
    TempConfig config;
    DisplayFlags& live = ProcessDisplayFlags();
    const bool logToFile = live.logToFile, showCrLf = live.showCrLfBs;
    SetFlags(live, false, false);
    SetRaw(kLogToFileName, Padded("1"));
    SetRaw(kShowCrLfName, Padded("1"));
    Preferences p;
    LoadPreferences(p);
    const bool loadedLog = live.logToFile, loadedShow = live.showCrLfBs;
    // The Port menu switches Log To File off; the exit stores what the flag says now.
    live.logToFile = false;
    ScriptedPrompts prompts;
    const bool stored = StorePreferences(p, prompts);
    SetFlags(live, logToFile, showCrLf);

    EXPECT_TRUE(loadedLog);
    EXPECT_TRUE(loadedShow);
    ASSERT_TRUE(stored);
    EXPECT_EQ(Raw(kLogToFileName), Padded("0"));
    EXPECT_EQ(Raw(kShowCrLfName), Padded("1"));
}

void ExpectOneRegistryError(const ScriptedPrompts& prompts) {
    const std::vector<ScriptedPrompts::Record> records = prompts.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, ScriptedPrompts::Record::Kind::MessageBox);
    EXPECT_EQ(records[0].text, "Registry Error!");
    EXPECT_EQ(records[0].caption, "Warning ...");
    EXPECT_EQ(records[0].style, MB_OK | MB_ICONHAND);
}

TEST(Preferences, AStoreThatCannotBeOpenedKeepsTheValuesAndTheExitSaysSo) {
    TempConfig config;
    // The configuration directory cannot be made below a plain file.
    const std::string blocker = config.Root() + "/plain-file";
    std::ofstream(blocker) << "not a directory\n";
    setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);  // TempConfig puts the old value back

    Preferences p = Flipped();
    DisplayFlags flags;
    SetFlags(flags, true, false);
    LoadPreferences(p, flags);
    EXPECT_EQ(p, Flipped());
    EXPECT_TRUE(flags.logToFile);
    EXPECT_FALSE(flags.showCrLfBs);

    ScriptedPrompts prompts;
    EXPECT_FALSE(StorePreferences(p, flags, prompts));
    ExpectOneRegistryError(prompts);
}

TEST(Preferences, AValueThatCannotBeWrittenIsReportedNotPassedOverAsSaved) {
    TempConfig config;
    ScriptedPrompts prompts;
    ASSERT_TRUE(StorePreferences(Preferences{}, DisplayFlags{}, prompts));
    // The key opens (it exists: nothing to write), but no new store file can be written: the
    // process may not make a file of more than 16 bytes, and the signal for it is ignored.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 16;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool stored = StorePreferences(Flipped(), DisplayFlags{}, prompts);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(stored);
    ExpectOneRegistryError(prompts);
    EXPECT_EQ(Raw(kChildToolbarName), Padded("0"));
}

}  // namespace
