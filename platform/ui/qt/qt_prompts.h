#pragma once
// The product's prompt service: message boxes and file dialogs on the GUI thread. A call from
// another thread waits until the GUI thread has the user's answer.

#include "platform/ui/prompts.h"

namespace platform {

class QtPrompts : public PromptService {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override;
    std::optional<std::string> OpenFileName(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileName(const FileDialogRequest& request) override;
};

// "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|" as the toolkit's "Text Files (*.txt);;All
// Files (*.*)".
std::string ToolkitFilter(const std::string& filter);

}  // namespace platform
