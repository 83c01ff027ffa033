#include "platform/ui/qt/qt_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QThread>
#include <functional>

#include "platform/system/debug_output.h"
#include "platform/ui/qt/qt_printer_context.h"

namespace platform {

namespace {

bool OnGuiThreadNow() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

// Asks a question of `owner` for a thread other than the GUI thread. `show` runs on the GUI
// thread, unless the question was cancelled before its turn came, and shows the prompt with
// ShowUntilDone, which puts the user's answer into `answer`. True when the user answered;
// false when the question was cancelled (`answer` is then never to be read).
template <typename Answer>
bool AskFromWorker(
    PromptOwner owner, const char* what, const std::shared_ptr<Answer>& answer,
    std::function<void(const std::shared_ptr<PromptTicket>&, const std::shared_ptr<Answer>&)>
        show) {
    const std::shared_ptr<PromptTicket> ticket = OpenPromptTicket(owner, what);
    if (!ticket) {
        return false;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [ticket, answer, show = std::move(show)] {
            if (ticket->Open()) {
                show(ticket, answer);
            }
        },
        Qt::QueuedConnection);
    return ticket->Wait();
}

// Shows a worker's prompt on the GUI thread without a nested event loop: the dialog blocks the
// user's input to the other windows, its end runs `finished` and answers the ticket, and it
// deletes itself. A cancelled ticket rejects it at the GUI thread's next turn.
void ShowUntilDone(std::unique_ptr<QDialog> owned, const std::shared_ptr<PromptTicket>& ticket,
                   std::function<void(QDialog&, int)> finished) {
    if (!owned) {
        ticket->Answer();  // nothing to show: the answer stays Cancel
        return;
    }
    // From here the dialog's own end deletes it.
    QDialog* dialog = owned.release();
    dialog->setWindowModality(Qt::ApplicationModal);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, ticket, finished = std::move(finished)](int code) {
                         finished(*dialog, code);
                         ticket->Answer();
                         dialog->deleteLater();
                     });
    // Taken away unfinished (with a parent that went): the answer stays Cancel.
    QObject::connect(dialog, &QObject::destroyed, [ticket] { ticket->Answer(); });
    ticket->OnCancel([guard = QPointer<QDialog>(dialog)] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard] {
                if (guard) {
                    guard->reject();
                }
            },
            Qt::QueuedConnection);
    });
    dialog->show();
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

std::unique_ptr<QMessageBox> MakeBox(const std::string& text, const std::string& caption,
                                     UINT style) {
    const ButtonSet set = ButtonsOf(style);
    auto box = std::make_unique<QMessageBox>(IconOf(style), QString::fromLocal8Bit(caption.c_str()),
                                             QString::fromLocal8Bit(text.c_str()), set.buttons,
                                             QApplication::activeWindow());
    box->setDefaultButton((style & MB_DEFBUTTON2) ? QMessageBox::NoButton : set.defaultButton);
    return box;
}

}  // namespace

int QtPrompts::MessageBox(const std::string& text, const std::string& caption, UINT style) {
    if (OnGuiThreadNow()) {
        return AnswerOf(MakeBox(text, caption, style)->exec());
    }
    auto answer = std::make_shared<int>(CancelButtonOf(style));
    const bool answered = AskFromWorker<int>(
        kNoPromptOwner, text.c_str(), answer,
        [text, caption, style](const auto& ticket, const auto& answer) {
            ShowUntilDone(MakeBox(text, caption, style), ticket,
                          [answer](QDialog&, int code) { *answer = AnswerOf(code); });
        });
    return answered ? *answer : CancelButtonOf(style);
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

namespace {

std::unique_ptr<QFileDialog> MakeFileDialog(const FileDialogRequest& request, bool save) {
    auto dialog = std::make_unique<QFileDialog>(
        QApplication::activeWindow(), QString::fromLocal8Bit(request.title.c_str()),
        QString::fromLocal8Bit(request.initialPath.c_str()),
        QString::fromLocal8Bit(ToolkitFilter(request.filter).c_str()));
    if (save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        if (!request.defaultExtension.empty()) {
            dialog->setDefaultSuffix(QString::fromLocal8Bit(request.defaultExtension.c_str()));
        }
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    return dialog;
}

std::optional<std::string> ChosenPath(const QFileDialog& dialog, int code) {
    if (code != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front().toLocal8Bit().toStdString();
}

std::optional<std::string> AskFileName(const FileDialogRequest& request, bool save) {
    if (OnGuiThreadNow()) {
        auto dialog = MakeFileDialog(request, save);
        const int code = dialog->exec();
        return ChosenPath(*dialog, code);
    }
    using Path = std::optional<std::string>;
    auto answer = std::make_shared<Path>();
    const bool answered = AskFromWorker<Path>(
        request.owner, request.title.c_str(), answer,
        [request, save](const auto& ticket, const auto& answer) {
            ShowUntilDone(MakeFileDialog(request, save), ticket, [answer](QDialog& d, int code) {
                *answer = ChosenPath(static_cast<const QFileDialog&>(d), code);
            });
        });
    return answered ? *answer : std::nullopt;
}

std::unique_ptr<QPrintDialog> MakePrintDialog(QPrinter& printer, DWORD flags) {
    auto dialog = std::make_unique<QPrintDialog>(&printer, QApplication::activeWindow());
    dialog->setOption(QAbstractPrintDialog::PrintSelection, (flags & PD_NOSELECTION) == 0);
    dialog->setOption(QAbstractPrintDialog::PrintToFile, (flags & PD_HIDEPRINTTOFILE) == 0);
    return dialog;
}

}  // namespace

std::optional<std::string> QtPrompts::OpenFileName(const FileDialogRequest& request) {
    return AskFileName(request, false);
}

std::optional<std::string> QtPrompts::SaveFileName(const FileDialogRequest& request) {
    return AskFileName(request, true);
}

void QtPrompts::RegisterDialog(const std::string& id, QtDialogFactory factory) {
    std::lock_guard lock(mutex_);
    dialogs_[id] = std::move(factory);
}

DialogAnswer QtPrompts::RunDialog(const DialogRequest& request) {
    QtDialogFactory factory;
    {
        std::lock_guard lock(mutex_);
        const auto found = dialogs_.find(request.id);
        if (found != dialogs_.end()) {
            factory = found->second;
        }
    }
    if (!factory.build || !factory.read) {
        const std::string trace = "No dialog \"" + request.id + "\" to show\n";
        OutputDebugStringA(trace.c_str());
        return {IDCANCEL, request.fields};
    }
    if (OnGuiThreadNow()) {
        const auto dialog = factory.build(request.fields, QApplication::activeWindow());
        if (dialog && dialog->exec() == QDialog::Accepted) {
            return {IDOK, factory.read(*dialog)};
        }
        return {IDCANCEL, request.fields};
    }
    auto answer = std::make_shared<DialogAnswer>(DialogAnswer{IDCANCEL, request.fields});
    const bool answered = AskFromWorker<DialogAnswer>(
        request.owner, request.id.c_str(), answer,
        [factory, fields = request.fields](const auto& ticket, const auto& answer) {
            ShowUntilDone(factory.build(fields, nullptr), ticket,
                          [answer, read = factory.read](QDialog& dialog, int code) {
                              if (code == QDialog::Accepted) {
                                  *answer = {IDOK, read(dialog)};
                              }
                          });
        });
    return answered ? *answer : DialogAnswer{IDCANCEL, request.fields};
}

std::unique_ptr<PrinterContext> QtPrompts::PrintDialog(const PrintDialogRequest& request) {
    if (OnGuiThreadNow()) {
        auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
        if (MakePrintDialog(*printer, request.flags)->exec() != QDialog::Accepted) {
            return nullptr;
        }
        return std::make_unique<QtPrinterContext>(std::move(printer));
    }
    using Chosen = std::unique_ptr<PrinterContext>;
    auto answer = std::make_shared<Chosen>();
    const bool answered = AskFromWorker<Chosen>(
        request.owner, "Print", answer,
        [flags = request.flags](const auto& ticket, const auto& answer) {
            // The dialog keeps a pointer to the printer: both go with the dialog's end.
            auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
            auto dialog = MakePrintDialog(*printer, flags);
            ShowUntilDone(std::move(dialog), ticket, [answer, printer](QDialog&, int code) {
                if (code == QDialog::Accepted) {
                    *answer = std::make_unique<QtPrinterContext>(printer);
                }
            });
        });
    return answered ? std::move(*answer) : nullptr;
}

}  // namespace platform
