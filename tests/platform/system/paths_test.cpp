// Where the programs' files live, and the last error's failure paths.
#include "platform/system/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/system/last_error.h"

namespace platform {
namespace {

// Sets the variables for one test and puts the old values back.
class PathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quenby-paths-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        for (const char* name : {"XDG_CONFIG_HOME", "HOME", "QUENBY_PROGRAM_DIR"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::filesystem::remove_all(dir_);
    }
    std::string dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(PathsTest, ConfigDirectoryFollowsTheEnvironmentAndExists) {
    const struct {
        std::optional<std::string> xdg;
        std::optional<std::string> home;
        std::string expected;
    } cases[] = {
        {dir_ + "/xdg/", dir_ + "/home", dir_ + "/xdg/quenby"},
        {std::string("relative/xdg"), dir_ + "/home", dir_ + "/home/.config/quenby"},
        {std::string(""), dir_ + "/home/", dir_ + "/home/.config/quenby"},
        {std::nullopt, dir_ + "/other", dir_ + "/other/.config/quenby"},
    };
    for (const auto& c : cases) {
        c.xdg ? ::setenv("XDG_CONFIG_HOME", c.xdg->c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
        c.home ? ::setenv("HOME", c.home->c_str(), 1) : ::unsetenv("HOME");
        const std::string dir = ConfigDirectory();
        EXPECT_EQ(dir, c.expected);
        EXPECT_TRUE(std::filesystem::is_directory(dir)) << dir;
    }
}

TEST_F(PathsTest, WithoutHomeTheConfigDirectoryIsTheUsersOwn) {
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    const std::string dir = ConfigDirectory();
    EXPECT_EQ(dir.rfind("/quenby"), dir.size() - 7);
    EXPECT_NE(dir, "/tmp/quenby") << "a directory every user shares";
}

TEST_F(PathsTest, ProgramDirectoryOverrideAndDefault) {
    ::setenv("QUENBY_PROGRAM_DIR", (dir_ + "//").c_str(), 1);
    EXPECT_EQ(ProgramDirectory(), dir_);
    ::unsetenv("QUENBY_PROGRAM_DIR");
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    EXPECT_EQ(ProgramDirectory(), exe);
}

TEST(LastError, FailureNeverReadsAsSuccess) {
    errno = 0;
    EXPECT_EQ(FailWithErrno(), FALSE);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    errno = ENOENT;
    FailWithErrno();
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FormatErrorMessage(ERROR_FILE_NOT_FOUND), "No such file or directory");
    EXPECT_EQ(FormatErrorMessage(ERROR_MORE_DATA), "More data is available.");
}

}  // namespace
}  // namespace platform
