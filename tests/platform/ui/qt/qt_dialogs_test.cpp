// The toolkit's dialogs and printers through the prompt service: a worker's dialog appears on
// the GUI thread and its answer comes back as plain data; a dialog whose port closes is taken
// down and its worker released with Cancel without the GUI thread's help; a question asked while
// the GUI thread waits for a port thread is answered at once; printing writes a PDF that reads
// back as the text drawn.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <string>

#include "platform/ui/qt/qt_printer_context.h"
#include "platform/ui/qt/qt_prompts.h"
#include "tests/support/wait.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds patience = kWaitPatience) {
    return WaitUntil(done, patience, [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // Outside a running event loop the toolkit keeps deferred deletions for later.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
}

// A dialog with one edit named "baud", OK and Cancel by accept() and reject().
QtDialogFactory BaudDialog() {
    return {[](const DialogFields& fields, QWidget* parent) {
                auto dialog = std::make_unique<QDialog>(parent);
                dialog->setObjectName(QStringLiteral("baud_dialog"));
                auto* edit = new QLineEdit(dialog.get());
                edit->setObjectName(QStringLiteral("baud"));
                const auto baud = fields.find("baud");
                edit->setText(QString::fromStdString(baud != fields.end() ? baud->second : ""));
                return dialog;
            },
            [](const QDialog& dialog) {
                const auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("baud"));
                return DialogFields{{"baud", edit->text().toStdString()}};
            }};
}

QDialog* ShownDialog() {
    return qobject_cast<QDialog*>(QApplication::activeModalWidget());
}

TEST(QtDialogs, AWorkersDialogIsAnsweredOnTheGuiThread) {
    QtPrompts prompts;
    prompts.RegisterDialog("CPortSettingsDlg", BaudDialog());
    const PromptOwner port = NewPromptOwner();
    auto answer = std::async(std::launch::async, [&] {
        PromptOwnerScope scope(port);
        return prompts.RunDialog({"CPortSettingsDlg", {{"baud", "300"}}});
    });
    ASSERT_TRUE(SpinUntil([] { return ShownDialog() != nullptr; }));
    QPointer<QDialog> dialog = ShownDialog();
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("baud"));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("300"));
    EXPECT_NE(answer.wait_for(0s), std::future_status::ready);  // the worker waits
    edit->setText(QStringLiteral("921600"));
    dialog->accept();
    ASSERT_TRUE(SpinUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }));
    const DialogAnswer got = answer.get();
    EXPECT_EQ(got.button, IDOK);
    EXPECT_EQ(got.fields.at("baud"), "921600");
    // The dialog deletes itself once answered.
    EXPECT_TRUE(SpinUntil([&] { return dialog.isNull(); }));
}

TEST(QtDialogs, AnUnknownDialogIsCancelled) {
    QtPrompts prompts;
    const DialogAnswer got = prompts.RunDialog({"CNoSuchDlg", {{"x", "1"}}});
    EXPECT_EQ(got.button, IDCANCEL);
    EXPECT_EQ(got.fields.at("x"), "1");
}

// The close of a port cancels its open dialog: the worker is released while the GUI thread is
// blocked (as in the port window's wait for its thread), and the dialog goes afterwards.
TEST(QtDialogs, ClosingThePortReleasesItsWorkerWithoutTheGuiThread) {
    QtPrompts prompts;
    prompts.RegisterDialog("CPortSettingsDlg", BaudDialog());
    const PromptOwner port = NewPromptOwner();
    auto answer = std::async(std::launch::async, [&] {
        PromptOwnerScope scope(port);
        return prompts.RunDialog({"CPortSettingsDlg", {{"baud", "300"}}});
    });
    ASSERT_TRUE(SpinUntil([] { return ShownDialog() != nullptr; }));
    QPointer<QDialog> dialog = ShownDialog();
    EXPECT_EQ(CancelPrompts(port), 1);
    {
        GuiWaitsForPortThread waiting;
        ASSERT_EQ(answer.wait_for(60s), std::future_status::ready);
    }
    EXPECT_EQ(answer.get().button, IDCANCEL);
    EXPECT_TRUE(SpinUntil([&] { return dialog.isNull(); }));
}

TEST(QtDialogs, QuestionsAskedWhileTheGuiWaitsAreAnsweredAtOnce) {
    QtPrompts prompts;
    prompts.RegisterDialog("CPortSettingsDlg", BaudDialog());
    GuiWaitsForPortThread waiting;
    // The GUI thread handles no event until the worker is done: a worker that waited for it
    // would never return.
    auto asked = std::async(std::launch::async, [&] {
        return std::make_tuple(prompts.MessageBox("Stop receiving?", "COM3", MB_YESNO),
                               prompts.RunDialog({"CPortSettingsDlg", {}}).button,
                               prompts.SaveFileName({"Save As", "", "", "txt"}),
                               prompts.PrintDialog({PD_NOSELECTION}) == nullptr);
    });
    if (asked.wait_for(60s) != std::future_status::ready) {
        ADD_FAILURE() << "a worker waited for the GUI thread while it waited for a port";
        SpinUntil([&] { return asked.wait_for(0s) == std::future_status::ready; }, 10min);
        return;
    }
    const auto [box, dialog, path, noPrinter] = asked.get();
    EXPECT_EQ(box, IDNO);
    EXPECT_EQ(dialog, IDCANCEL);
    EXPECT_EQ(path, std::nullopt);
    EXPECT_TRUE(noPrinter);
}

std::string PdfText(const std::string& path) {
    std::string text;
    const std::string command = "pdftotext -layout '" + path + "' -";
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            text.append(buffer, n);
        }
        pclose(pipe);
    }
    return text;
}

// A print dialog answered from the script gives a PDF printer; a worker prints two pages on
// it, and the file reads back as what was drawn, one page after the other.
TEST(QtPrinting, AScriptedPrintDialogPrintsToPdfFromAWorker) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("print.pdf")).toStdString();
    ScriptedPrompts script;
    script.SetPrinterFactory(MakePdfPrinter);
    script.AnswerPrintWith(path);
    script.AnswerPrintWith(std::nullopt);

    auto printed = std::async(std::launch::async, [&] {
        auto printer = script.PrintDialog({PD_NOSELECTION | PD_HIDEPRINTTOFILE});
        if (!printer || printer->StartDoc("Print") <= 0) {
            return false;
        }
        const char* pages[] = {"page one line 1\r\npage one line 2\r\n", "second page\r\n"};
        for (const char* page : pages) {
            if (printer->StartPage() <= 0 || printer->DrawText(page, 50, 50, 4900, 9950) <= 0 ||
                printer->EndPage() <= 0) {
                return false;
            }
        }
        return printer->EndDoc() > 0;
    });
    ASSERT_EQ(printed.wait_for(60s), std::future_status::ready);
    ASSERT_TRUE(printed.get());
    EXPECT_EQ(script.PrintDialog({}), nullptr);  // the second answer is Cancel

    const std::string text = PdfText(path);
    const auto first = text.find("page one line 2");
    const auto feed = text.find('\f');
    const auto second = text.find("second page");
    ASSERT_NE(first, std::string::npos) << text;
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_LT(first, feed);
    EXPECT_LT(feed, second);
    EXPECT_EQ(script.Records()[0].style, PD_NOSELECTION | PD_HIDEPRINTTOFILE);
}

// Page calls out of order fail instead of printing somewhere unexpected.
TEST(QtPrinting, PageCallsOutOfOrderFail) {
    QTemporaryDir dir;
    auto printer = MakePdfPrinter(dir.filePath(QStringLiteral("o.pdf")).toStdString());
    EXPECT_EQ(printer->StartPage(), SP_ERROR);  // no document
    EXPECT_EQ(printer->DrawText("x", 0, 0, 100, 100), 0);
    ASSERT_GT(printer->StartDoc("Print"), 0);
    EXPECT_EQ(printer->StartDoc("Print"), SP_ERROR);
    EXPECT_EQ(printer->EndPage(), SP_ERROR);  // no page
    EXPECT_GT(printer->StartPage(), 0);
    EXPECT_EQ(printer->StartPage(), SP_ERROR);  // already open
    EXPECT_GT(printer->EndPage(), 0);
    EXPECT_GT(printer->EndDoc(), 0);
    EXPECT_EQ(printer->DotsPerInch(), 600);
}

}  // namespace
}  // namespace platform
