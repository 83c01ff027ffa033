// The toolkit's prompt service on the offscreen platform: a box asked for from a worker
// thread appears on the GUI thread, the worker waits, and gets the button the user pressed.

#include "platform/ui/qt/qt_prompts.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>

namespace platform {
namespace {

TEST(QtPrompts, AWorkerWaitsForTheAnswerGivenOnTheGuiThread) {
    QtPrompts prompts;
    std::atomic<int> answer{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        answer = prompts.MessageBox("Close all ports?", "Halvo2", MB_YESNO | MB_ICONQUESTION);
        done = true;
    });

    QString shownText;
    QString shownTitle;
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shownText = box->text();
            shownTitle = box->windowTitle();
            shownIcon = box->icon();
            EXPECT_FALSE(done.load());  // the worker is still waiting
            box->button(QMessageBox::No)->click();
        }
        if (done.load()) {
            QCoreApplication::exit(0);
        }
    });
    poll.start(5);
    QTimer::singleShot(20000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    worker.join();
    EXPECT_EQ(answer.load(), IDNO);
    EXPECT_EQ(shownText, QStringLiteral("Close all ports?"));
    EXPECT_EQ(shownTitle, QStringLiteral("Halvo2"));
    EXPECT_EQ(shownIcon, QMessageBox::Question);
}

struct FilterCase {
    const char* given;
    const char* expected;
};

TEST(QtPrompts, FiltersBecomeTheToolkitsForm) {
    const FilterCase cases[] = {
        {"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|", "Text Files (*.txt);;All Files (*.*)"},
        {"Sessions|*.sls|", "Sessions (*.sls)"},
        {"Logs|*.txt;*.log|", "Logs (*.txt *.log)"},
        {"", ""},
    };
    for (const FilterCase& c : cases) {
        EXPECT_EQ(ToolkitFilter(c.given), c.expected) << c.given;
    }
}

}  // namespace
}  // namespace platform
