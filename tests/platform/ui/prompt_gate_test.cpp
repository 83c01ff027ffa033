// The rule that keeps a closing port from deadlocking on its prompts: a port's questions are
// answered Cancel once it closes, and every question asked while the GUI thread waits for a
// port thread is answered Cancel at once. And the scripted service's dialogs and printers.

#include "platform/ui/prompt_gate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/ui/prompts.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// A waiter released by a close or by an answer, and one left alone by another port's close.
TEST(PromptGate, AClosesCancelsOnlyItsOwnersQuestions) {
    struct Case {
        const char* name;
        bool closeMine;
        bool answer;
        bool expected;
    };
    const Case cases[] = {
        {"own close releases with Cancel", true, false, false},
        {"answer releases with the answer", false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PromptOwner mine = NewPromptOwner();
        const PromptOwner other = NewPromptOwner();
        auto ticket = OpenPromptTicket(mine, "Port Settings");
        auto others = OpenPromptTicket(other, "Port Settings");
        ASSERT_TRUE(ticket);
        ASSERT_TRUE(others);
        bool takenDown = false;
        ticket->OnCancel([&] { takenDown = true; });
        auto waited = std::async(std::launch::async, [&] { return ticket->Wait(); });
        if (c.closeMine) {
            EXPECT_EQ(CancelPrompts(mine), 1);
        }
        if (c.answer) {
            EXPECT_TRUE(ticket->Answer());
        }
        ASSERT_EQ(waited.wait_for(60s), std::future_status::ready);
        EXPECT_EQ(waited.get(), c.expected);
        EXPECT_EQ(takenDown, c.closeMine);
        // The other port's question is still open, and a late answer to a cancelled one is
        // dropped.
        EXPECT_TRUE(others->Open());
        EXPECT_EQ(ticket->Answer(), false);
        EXPECT_TRUE(others->Answer());
    }
}

TEST(PromptGate, QuestionsAreRefusedWhileTheGuiWaitsOrOnceTheirPortClosed) {
    const PromptOwner closed = NewPromptOwner();
    CancelPrompts(closed);
    EXPECT_FALSE(OpenPromptTicket(closed, "late question"));

    const PromptOwner open = NewPromptOwner();
    {
        GuiWaitsForPortThread waiting;
        EXPECT_TRUE(GuiWaitingForPortThread());
        EXPECT_FALSE(OpenPromptTicket(open, "during the wait"));
        EXPECT_FALSE(OpenPromptTicket(kNoPromptOwner, "nobody's, during the wait"));
    }
    EXPECT_FALSE(GuiWaitingForPortThread());
    EXPECT_TRUE(OpenPromptTicket(open, "after the wait"));
}

TEST(PromptGate, AThreadsOwnerNamesItsQuestions) {
    const PromptOwner port = NewPromptOwner();
    ScriptedPrompts script;
    SetPromptService(&script);
    std::thread([port] {
        PromptOwnerScope scope(port);
        Prompts().RunDialog({"CPortSettingsDlg", {}});
        MessageBoxA("Port is not open!\t", "COM3", MB_ICONHAND);
    }).join();
    Prompts().RunDialog({"COpenDlg", {}});
    const auto records = script.Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].owner, port);
    EXPECT_EQ(records[1].owner, port);
    EXPECT_EQ(records[2].owner, kNoPromptOwner);

    // Once the port has closed, its thread's questions are answered Cancel (and still seen).
    CancelPrompts(port);
    script.AnswerDialogWith(IDOK, {{"baud", "9600"}});
    script.AnswerWith(IDYES);
    std::thread([port] {
        PromptOwnerScope scope(port);
        EXPECT_EQ(Prompts().RunDialog({"CPortSettingsDlg", {}}).button, IDCANCEL);
        EXPECT_EQ(MessageBoxA("Stop?", "COM3", MB_YESNO), IDNO);
    }).join();
    EXPECT_EQ(script.Count(), 5u);
    SetPromptService(nullptr);
}

TEST(ScriptedDialogs, AnswersChangeOnlyTheNamedFieldsOnOk) {
    ScriptedPrompts script;
    SetPromptService(&script);
    const DialogFields start = {{"baud", "300"}, {"parity", "None"}};
    script.AnswerDialogWith(IDOK, {{"baud", "921600"}});
    script.AnswerDialogWith(IDCANCEL, {{"baud", "1200"}});
    const DialogAnswer ok = Prompts().RunDialog({"CPortSettingsDlg", start});
    const DialogAnswer cancel = Prompts().RunDialog({"CPortSettingsDlg", start});
    const DialogAnswer ranOut = Prompts().RunDialog({"CPortSettingsDlg", start});
    EXPECT_EQ(ok.button, IDOK);
    EXPECT_EQ(ok.fields, (DialogFields{{"baud", "921600"}, {"parity", "None"}}));
    EXPECT_EQ(cancel.button, IDCANCEL);
    EXPECT_EQ(cancel.fields, start);
    EXPECT_EQ(ranOut.button, IDCANCEL);
    ASSERT_EQ(script.Count(), 3u);
    EXPECT_EQ(script.Records()[0].kind, ScriptedPrompts::Record::Kind::Dialog);
    EXPECT_EQ(script.Records()[0].fields, start);

    // A print dialog answered with a printer needs a way to make one; without it the test
    // learns so instead of seeing a silent Cancel as a printed page.
    script.AnswerPrintWith(std::string("/tmp/never.pdf"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Prompts().PrintDialog({PD_NOSELECTION}), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no printer factory"), std::string::npos);
    SetPromptService(nullptr);
}

TEST(ScriptedDialogs, BoxesTakenDownAnswerWithTheirCancelButton) {
    const std::pair<UINT, int> cases[] = {
        {MB_OK, IDOK},
        {MB_OKCANCEL, IDCANCEL},
        {MB_YESNO, IDNO},
        {MB_YESNOCANCEL, IDCANCEL},
        {MB_RETRYCANCEL, IDCANCEL},
        {MB_ABORTRETRYIGNORE, IDABORT},
    };
    for (const auto& [style, expected] : cases) {
        EXPECT_EQ(CancelButtonOf(style), expected) << style;
    }
}

}  // namespace
}  // namespace platform
