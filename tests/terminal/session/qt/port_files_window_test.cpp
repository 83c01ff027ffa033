// The port window's file commands from the menus: Save As and Print of what the window shows
// (printed to PDF and read back), and the string sender dialog with its saved strings.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/ui/qt/qt_printer_context.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/session/qt/pattern_dlg.h"
#include "terminal/session/render_received.h"
#include "tests/support/file_limits.h"
#include "tests/support/qt/pump_until.h"
#include "tests/terminal/app/qt/halvo_gui_support.h"

namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// The text of pages `first` to `last` of a PDF.
std::string PdfText(const std::string& path, int first, int last) {
    const std::string command = "pdftotext -layout -f " + std::to_string(first) + " -l " +
                                std::to_string(last) + " '" + path + "' -";
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
            text.append(buffer, n);
        }
        pclose(pipe);
    }
    return text;
}

using PortFilesGui = HalvoGui;

TEST_F(PortFilesGui, SaveAsAndPrintTakeWhatTheDisplayShows) {
    CMainFrame& frame = Start("COM3");
    CPortMDIChildWnd* port = Port("COM3");
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return PaneShows(port, "OPEN"); }));
    std::string lines;
    for (int i = 1; i <= 100; ++i) {
        lines += "line " + std::to_string(i) + "\n";
    }
    RenderReceived(port->Display(), lines.c_str(), -1);
    frame.MdiArea()->setActiveSubWindow(port);

    const std::string saved = config_.Root() + "/saved.txt";
    prompts_.AnswerFileWith(saved);
    ASSERT_TRUE(frame.Action(ID_FILE_SAVE_AS)->isEnabled());
    frame.Action(ID_FILE_SAVE_AS)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return FileBytes(saved).size() == Text(port).size(); }));
    EXPECT_EQ(FileBytes(saved), Text(port));

    const std::string pdf = config_.Root() + "/print.pdf";
    prompts_.SetPrinterFactory(platform::MakePdfPrinter);
    prompts_.AnswerPrintWith(pdf);
    ASSERT_TRUE(port->ToolbarAction(ID_FILE_PRINT) != nullptr);
    port->ToolbarAction(ID_FILE_PRINT)->trigger();
    // The second page begins 72 lines after the first.
    ASSERT_TRUE(
        PumpUntil([&] { return PdfText(pdf, 2, 2).find("line 100") != std::string::npos; }));
    const std::string first = PdfText(pdf, 1, 1);
    const std::string second = PdfText(pdf, 2, 2);
    const std::size_t page1Start = first.find_first_not_of(" \n");
    const std::size_t page2Start = second.find_first_not_of(" \n");
    ASSERT_NE(page1Start, std::string::npos);
    ASSERT_NE(page2Start, std::string::npos);
    EXPECT_EQ(first.substr(page1Start, 7), "line 1\n") << first;
    EXPECT_EQ(second.substr(page2Start, 7), "line 73") << "a page must begin 72 lines on";
}

TEST_F(PortFilesGui, StringSenderSavesRemovesAndRefusesBadHex) {
    const std::string path = programDir_ + "/HexAsciiStrings.txt";
    { std::ofstream(path, std::ios::binary) << "HELLO\r\n0d0a\r\n"; }
    CPatternDlg dialog({{"stringType", "1"}, {"stringText", ""}});
    dialog.show();
    QLineEdit* edit = dialog.StringBox()->lineEdit();
    ASSERT_EQ(dialog.StringBox()->count(), 2);
    EXPECT_FALSE(dialog.SaveButton()->isEnabled());
    EXPECT_FALSE(dialog.RemoveButton()->isEnabled());

    // The lookup ignores letter case.
    QTest::keyClicks(edit, QStringLiteral("hello"));
    EXPECT_FALSE(dialog.SaveButton()->isEnabled());
    EXPECT_TRUE(dialog.RemoveButton()->isEnabled());

    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("41424344"));
    ASSERT_TRUE(dialog.SaveButton()->isEnabled());
    QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
    EXPECT_EQ(FileBytes(path), "0d0a\r\n41424344\r\nHELLO\r\n");
    EXPECT_FALSE(dialog.SaveButton()->isEnabled());
    EXPECT_TRUE(dialog.RemoveButton()->isEnabled());

    // A selected entry is removed from the list and the file.
    dialog.StringBox()->setCurrentIndex(2);
    emit dialog.StringBox()->activated(2);
    QTest::mouseClick(dialog.RemoveButton(), Qt::LeftButton);
    EXPECT_EQ(FileBytes(path), "0d0a\r\n41424344\r\n");
    EXPECT_EQ(dialog.StringBox()->count(), 2);

    // A dialog opened afterwards shows what was saved; its HEX text is checked at OK.
    CPatternDlg again({{"stringType", "1"}, {"stringText", ""}});
    ASSERT_EQ(again.StringBox()->count(), 2);
    EXPECT_EQ(again.StringBox()->itemText(1), QStringLiteral("41424344"));
    again.StringBox()->setEditText(QStringLiteral("41 42"));
    again.accept();
    EXPECT_EQ(again.result(), QDialog::Rejected);
    EXPECT_EQ(Prompts().back(), "Invalid HEX value!");
    again.StringBox()->setEditText(QStringLiteral("41 42"));
    again.AsciiButton()->setChecked(true);
    again.accept();
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(again.Fields(),
              (platform::DialogFields{{"stringType", "0"}, {"stringText", "41 42"}}));

    // A directory that cannot be written: both boxes, and the file stays as it was.
    const std::string before = FileBytes(path);
    const ScopedReadOnlyDirectory readOnly(programDir_);
    ASSERT_TRUE(readOnly.Holds());
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("new one"));
    const std::size_t shown = Prompts().size();
    QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    const std::vector<std::string> prompts = Prompts();
    ASSERT_EQ(prompts.size(), shown + 2);
    EXPECT_EQ(prompts[shown], "Unable to open file :\n " + path);
    EXPECT_EQ(prompts[shown + 1], "Unable to save the selected string permanently!");
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(dialog.StringBox()->count(), 3);  // kept in this dialog's list
}

}  // namespace
