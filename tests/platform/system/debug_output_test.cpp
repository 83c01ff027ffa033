#include "platform/system/debug_output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scoped_env.h"

namespace platform {
namespace {

struct FlagCase {
    std::optional<std::string> flag;
    bool written;
};

class DebugFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(DebugFlagTest, TextReachesStandardErrorOnlyWhenTheFlagIsOn) {
    ScopedEnv env("QUENBY_DEBUG", GetParam().flag);
    ::testing::internal::CaptureStderr();  // redirects file descriptor 2 itself
    OutputDebugStringA("port COM3 opened\n");
    OutputDebugStringA(nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              GetParam().written ? "port COM3 opened\n" : "");
}

INSTANTIATE_TEST_SUITE_P(Values, DebugFlagTest,
                         ::testing::Values(FlagCase{std::nullopt, false}, FlagCase{"", false},
                                           FlagCase{"0", false}, FlagCase{"1", true},
                                           FlagCase{"yes", true}, FlagCase{"00", true}));

TEST(DebugOutput, SinkReceivesEveryTextAndStandardErrorNone) {
    ScopedEnv env("QUENBY_DEBUG", std::string("1"));
    std::vector<std::string> texts;
    SetDebugOutputSinkForTesting([&](std::string_view t) { texts.emplace_back(t); });
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("first");
    OutputDebugStringA("");
    OutputDebugStringA("second\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ScopedEnv off("QUENBY_DEBUG", std::nullopt);
    OutputDebugStringA("while off");
    SetDebugOutputSinkForTesting(nullptr);
    OutputDebugStringA("after removal");
    EXPECT_EQ(texts, (std::vector<std::string>{"first", "", "second\n", "while off"}));
}

}  // namespace
}  // namespace platform
