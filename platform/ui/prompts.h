#pragma once
// Every message box, file dialog, settings dialog and print dialog of both programs goes
// through one service, so that tests can script the answers and record what was asked.
// Callable from any thread: the product's service shows the prompt on the GUI thread and
// blocks a calling worker thread until the user has answered, or until the prompt's port
// closes (prompt_gate.h: a closing port's prompts are answered Cancel).

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialog_request.h"
#include "platform/ui/message_box_types.h"
#include "platform/ui/printer_context.h"
#include "platform/ui/prompt_gate.h"

namespace platform {

struct FileDialogRequest {
    std::string title;
    std::string initialPath;
    // Filters as the file dialogs take them: "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|".
    std::string filter;
    std::string defaultExtension;
    // The port the dialog belongs to; none: the asking thread's owner.
    PromptOwner owner = kNoPromptOwner;
};

class PromptService {
  public:
    virtual ~PromptService() = default;
    // IDOK, IDCANCEL, IDYES, IDNO ... as the buttons of `style` allow.
    virtual int MessageBox(const std::string& text, const std::string& caption, UINT style) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> OpenFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileName(const FileDialogRequest& request) = 0;
    // Runs the dialog named by the request and gives its answer. A service without dialogs
    // answers Cancel.
    virtual DialogAnswer RunDialog(const DialogRequest& request);
    // The print dialog: the chosen printer, or nothing when the user cancelled (or the service
    // has no printers).
    virtual std::unique_ptr<PrinterContext> PrintDialog(const PrintDialogRequest& request);
};

// The service in use; without one installed, prompts are answered by a quiet default (the
// first button, no file, Cancel for dialogs) and written to standard error, so nothing is ever
// lost unseen.
PromptService& Prompts();
// Installs a service (nullptr restores the default). The caller keeps ownership.
void SetPromptService(PromptService* service);

// MessageBoxA through the service.
int MessageBoxA(const char* text, const char* caption, UINT style);

// A service for tests: records every prompt and gives the scripted answers in order (the
// first button, no file, Cancel, no printer when the script has run out). Like the product's
// service it answers Cancel while the GUI thread waits for a port thread or once the prompt's
// port has closed.
class ScriptedPrompts : public PromptService {
  public:
    struct Record {
        enum class Kind { MessageBox, OpenFile, SaveFile, Dialog, Print };
        // Records of message boxes and file dialogs name only the first four.
        Record(Kind kind, std::string text, std::string caption, UINT style,
               DialogFields fields = {}, PromptOwner owner = kNoPromptOwner)
            : kind(kind),
              text(std::move(text)),
              caption(std::move(caption)),
              style(style),
              fields(std::move(fields)),
              owner(owner) {}

        Kind kind;
        std::string text;  // message text, dialog title or dialog id
        std::string caption;
        UINT style = 0;       // message box style, print dialog flags
        DialogFields fields;  // a dialog's starting values
        PromptOwner owner = kNoPromptOwner;
    };
    // Builds the printer a scripted print dialog answers with, printing into `path`.
    using PrinterFactory = std::function<std::unique_ptr<PrinterContext>(const std::string& path)>;

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    void AnswerWith(int button);
    void AnswerFileWith(std::optional<std::string> path);
    // OK with the given values (merged over the request's), or Cancel.
    void AnswerDialogWith(int button, DialogFields fields = {});
    // The print dialog chooses a printer that prints into `path`, or (nothing) is cancelled.
    void AnswerPrintWith(std::optional<std::string> path);
    void SetPrinterFactory(PrinterFactory factory);

    int MessageBox(const std::string& text, const std::string& caption, UINT style) override;
    std::optional<std::string> OpenFileName(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileName(const FileDialogRequest& request) override;
    DialogAnswer RunDialog(const DialogRequest& request) override;
    std::unique_ptr<PrinterContext> PrintDialog(const PrintDialogRequest& request) override;

    std::vector<Record> Records() const;
    std::size_t Count() const;

  private:
    mutable std::mutex mutex_;
    std::deque<int> buttons_;
    std::deque<std::optional<std::string>> files_;
    std::deque<DialogAnswer> dialogs_;
    std::deque<std::optional<std::string>> printers_;
    PrinterFactory printerFactory_;
    std::vector<Record> records_;
};

// The button a box with `style` answers with when nobody chooses: its first button.
int FirstButtonOf(UINT style);
// The button a box with `style` answers with when it is taken down unanswered: Cancel, or No,
// or Abort where the box has no Cancel, OK for a box with OK alone.
int CancelButtonOf(UINT style);

}  // namespace platform
