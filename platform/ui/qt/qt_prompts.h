#pragma once
// The product's prompt service: message boxes, file dialogs, the programs' own dialogs and the
// print dialog, on the GUI thread. A call from another thread waits until the GUI thread has
// the user's answer, or until the prompt's port closes: the prompt is then taken down and the
// call answered Cancel (prompt_gate.h). The GUI thread never runs a nested event loop for
// another thread's prompt; a call from the GUI thread itself runs modally in place.

#include <QDialog>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/ui/prompts.h"

class QWidget;

namespace platform {

// How a dialog id becomes a dialog: built on the GUI thread from the starting values, and its
// values read back when the user pressed OK.
struct QtDialogFactory {
    std::function<std::unique_ptr<QDialog>(const DialogFields& fields, QWidget* parent)> build;
    std::function<DialogFields(const QDialog& dialog)> read;
};

class QtPrompts : public PromptService {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override;
    std::optional<std::string> OpenFileName(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileName(const FileDialogRequest& request) override;
    DialogAnswer RunDialog(const DialogRequest& request) override;
    std::unique_ptr<PrinterContext> PrintDialog(const PrintDialogRequest& request) override;

    // Makes `id` known; a request for an unknown id is answered Cancel with a debug trace.
    void RegisterDialog(const std::string& id, QtDialogFactory factory);

  private:
    std::mutex mutex_;
    std::map<std::string, QtDialogFactory> dialogs_;
};

// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" as the toolkit's "Text Files (*.txt);;All
// Files (*.*)".
std::string ToolkitFilter(const std::string& filter);

}  // namespace platform
