#include "platform/ui/qt/qt_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <functional>

namespace platform {

namespace {

// Runs `work` on the GUI thread and returns when it is done.
template <typename Result>
Result OnGuiThread(const std::function<Result()>& work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        return work();
    }
    Result result{};
    QMetaObject::invokeMethod(
        app, [&] { result = work(); }, Qt::BlockingQueuedConnection);
    return result;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

ButtonSet ButtonsOf(UINT style) {
    switch (style & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok};
        case MB_ABORTRETRYIGNORE:
            return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                    QMessageBox::Abort};
        case MB_YESNOCANCEL:
            return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes};
        case MB_YESNO:
            return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes};
        case MB_RETRYCANCEL:
            return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry};
        default:
            return {QMessageBox::Ok, QMessageBox::Ok};
    }
}

QMessageBox::Icon IconOf(UINT style) {
    switch (style & MB_ICONMASK) {
        case MB_ICONHAND:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

int AnswerOf(int button) {
    switch (button) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Abort:
            return IDABORT;
        case QMessageBox::Retry:
            return IDRETRY;
        case QMessageBox::Ignore:
            return IDIGNORE;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return IDCANCEL;  // the box was closed without a choice
    }
}

}  // namespace

int QtPrompts::MessageBox(const std::string& text, const std::string& caption, UINT style) {
    return OnGuiThread<int>([&] {
        const ButtonSet set = ButtonsOf(style);
        QMessageBox box(IconOf(style), QString::fromLocal8Bit(caption.c_str()),
                        QString::fromLocal8Bit(text.c_str()), set.buttons,
                        QApplication::activeWindow());
        box.setDefaultButton((style & MB_DEFBUTTON2) ? QMessageBox::NoButton : set.defaultButton);
        return AnswerOf(box.exec());
    });
}

std::string ToolkitFilter(const std::string& filter) {
    std::string out;
    std::size_t at = 0;
    while (at < filter.size()) {
        const std::size_t bar = filter.find('|', at);
        if (bar == std::string::npos) {
            break;
        }
        const std::string description = filter.substr(at, bar - at);
        const std::size_t end = filter.find('|', bar + 1);
        std::string patterns =
            filter.substr(bar + 1, end == std::string::npos ? std::string::npos : end - bar - 1);
        for (char& c : patterns) {
            if (c == ';') {
                c = ' ';
            }
        }
        if (!out.empty()) {
            out += ";;";
        }
        out += description.find('(') == std::string::npos ? description + " (" + patterns + ")"
                                                          : description;
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return out;
}

std::optional<std::string> QtPrompts::OpenFileName(const FileDialogRequest& request) {
    return OnGuiThread<std::optional<std::string>>([&]() -> std::optional<std::string> {
        const QString path = QFileDialog::getOpenFileName(
            QApplication::activeWindow(), QString::fromLocal8Bit(request.title.c_str()),
            QString::fromLocal8Bit(request.initialPath.c_str()),
            QString::fromLocal8Bit(ToolkitFilter(request.filter).c_str()));
        if (path.isEmpty()) {
            return std::nullopt;
        }
        return path.toLocal8Bit().toStdString();
    });
}

std::optional<std::string> QtPrompts::SaveFileName(const FileDialogRequest& request) {
    return OnGuiThread<std::optional<std::string>>([&]() -> std::optional<std::string> {
        QFileDialog dialog(QApplication::activeWindow(),
                           QString::fromLocal8Bit(request.title.c_str()),
                           QString::fromLocal8Bit(request.initialPath.c_str()),
                           QString::fromLocal8Bit(ToolkitFilter(request.filter).c_str()));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        if (!request.defaultExtension.empty()) {
            dialog.setDefaultSuffix(QString::fromLocal8Bit(request.defaultExtension.c_str()));
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().front().toLocal8Bit().toStdString();
    });
}

}  // namespace platform
