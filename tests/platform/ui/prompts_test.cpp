// The prompt service: scripted answers in order, the first button once the script has run
// out, and every prompt recorded with its text, caption and style, from any thread.

#include "platform/ui/prompts.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(Prompts, ScriptedAnswersComeInOrderThenTheFirstButton) {
    ScriptedPrompts script;
    SetPromptService(&script);
    script.AnswerWith(IDNO);
    script.AnswerWith(IDCANCEL);
    EXPECT_EQ(MessageBoxA("Exit?", "Halvo2", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(MessageBoxA("Sure?", "Halvo2", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA("Again?", "Halvo2", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA("Gone", "Halvo2", MB_OK | MB_ICONHAND), IDOK);

    const auto records = script.Records();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].text, "Exit?");
    EXPECT_EQ(records[0].caption, "Halvo2");
    EXPECT_EQ(records[0].style, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(records[3].style & MB_ICONMASK, MB_ICONHAND);
    SetPromptService(nullptr);
}

TEST(Prompts, FileDialogsAnswerPathsOrCancel) {
    ScriptedPrompts script;
    SetPromptService(&script);
    script.AnswerFileWith(std::string("/tmp/a.sls"));
    script.AnswerFileWith(std::nullopt);
    EXPECT_EQ(Prompts().OpenFileName({"Open", "", "Sessions (*.sls)|*.sls|", "sls"}), "/tmp/a.sls");
    EXPECT_EQ(Prompts().SaveFileName({"Save As", "", "", ""}), std::nullopt);
    EXPECT_EQ(Prompts().SaveFileName({"Save As", "", "", ""}), std::nullopt);  // script ran out
    EXPECT_EQ(script.Count(), 3u);
    EXPECT_EQ(script.Records()[0].kind, ScriptedPrompts::Record::Kind::OpenFile);
    SetPromptService(nullptr);
}

TEST(Prompts, WorkerThreadsAreRecordedWithoutLoss) {
    ScriptedPrompts script;
    SetPromptService(&script);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 50; ++i) {
                MessageBoxA("Port failed!", "Halvo2 - Warning ...", MB_ICONHAND);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(script.Count(), 200u);
    SetPromptService(nullptr);
}

TEST(Prompts, ADestroyedScriptUninstallsItself) {
    {
        ScriptedPrompts script;
        SetPromptService(&script);
    }
    // The quiet default answers with the first button and keeps working.
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA("Nobody here", "Seltra2 - Warning...", MB_YESNO), IDYES);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Nobody here"), std::string::npos);
}

}  // namespace
}  // namespace platform
