// Two writers on one store at the same time, as halvo2 and seltra2 are: neither may lose a
// value of the other.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_test_support.h"

namespace platform {
namespace {

using testing::RegistryTest;

constexpr int kWrites = 200;
constexpr const char* kShared = "Software\\Quenby\\Shared";

std::string ValueName(char writer, int i) {
    return std::string(1, writer) + "-" + std::to_string(i);
}
std::string ValueData(char writer, int i) {
    return "data of " + ValueName(writer, i) + std::string(1, '\0');
}

// Each write opens the key, sets one value and closes the key again, as a program that
// stores its settings does. Returns the number of failed calls.
int WriteValues(char writer, const char* ownKey) {
    int failures = 0;
    for (int i = 0; i < kWrites; ++i) {
        for (const char* subKey : {kShared, ownKey}) {
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr) != ERROR_SUCCESS) {
                ++failures;
                continue;
            }
            const std::string data = ValueData(writer, i);
            if (RegSetValueExA(key, ValueName(writer, i).c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
                ++failures;
            }
            RegCloseKey(key);
        }
    }
    return failures;
}

class RegistryConcurrencyTest : public RegistryTest {
  protected:
    // Every value in the file itself, and the first and last through the calls as well.
    void ExpectEveryValue(char writer, const char* ownKey) {
        RegFile file;
        RegParseError error;
        ASSERT_TRUE(ParseRegFile(StoreText(), file, error)) << error.reason;
        for (const char* subKey : {kShared, ownKey}) {
            const RegKey* stored = file.FindKey(std::string("HKEY_CURRENT_USER\\") + subKey);
            ASSERT_NE(stored, nullptr) << subKey;
            int missing = 0;
            for (int i = 0; i < kWrites; ++i) {
                const RegValue* value = stored->FindValue(ValueName(writer, i));
                const std::string data = ValueData(writer, i);
                if (!value || value->data != std::vector<BYTE>(data.begin(), data.end())) {
                    ++missing;
                }
            }
            EXPECT_EQ(missing, 0) << writer << " in " << subKey;
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key), ERROR_SUCCESS);
            for (int i : {0, kWrites - 1}) {
                EXPECT_EQ(Query(key, ValueName(writer, i).c_str()), ValueData(writer, i));
            }
            RegCloseKey(key);
        }
    }
};

TEST_F(RegistryConcurrencyTest, TwoProcessesLoseNothing) {
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    const struct {
        char writer;
        const char* key;
    } writers[] = {{'A', "Software\\Quenby\\Halvo2\\Settings"},
                   {'B', "Software\\Quenby\\Seltra2\\Settings"}};
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = ::fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            ::close(start[1]);
            char go;
            // Both wait for the same signal, so their writes really overlap.
            const bool released = ::read(start[0], &go, 1) == 1;
            const int failures = released ? WriteValues(writers[w].writer, writers[w].key) : 1;
            ::_exit(failures > 100 ? 100 : failures);
        }
    }
    ::close(start[0]);
    const char go[2] = {'g', 'g'};
    ASSERT_EQ(::write(start[1], go, 2), 2);
    ::close(start[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "failed calls in a writer";
    }
    for (const auto& w : writers) {
        ExpectEveryValue(w.writer, w.key);
    }
}

TEST_F(RegistryConcurrencyTest, TwoThreadsLoseNothing) {
    int failures[2] = {0, 0};
    std::thread a([&] { failures[0] = WriteValues('C', "Software\\Quenby\\Halvo2\\Settings"); });
    std::thread b([&] { failures[1] = WriteValues('D', "Software\\Quenby\\Seltra2\\Settings"); });
    a.join();
    b.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    ExpectEveryValue('C', "Software\\Quenby\\Halvo2\\Settings");
    ExpectEveryValue('D', "Software\\Quenby\\Seltra2\\Settings");
    for (const auto& entry : std::filesystem::directory_iterator(root_ + "/quenby")) {
        const std::string name = entry.path().filename();
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "left behind: " << name;
    }
}

}  // namespace
}  // namespace platform
