#pragma once
// Every message box and file dialog of both programs goes through one service, so that tests
// can script the answers and record what was asked. Callable from any thread: the product's
// service shows the prompt on the GUI thread and blocks a calling worker thread until the user
// has answered.

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/message_box_types.h"

namespace platform {

struct FileDialogRequest {
    std::string title;
    std::string initialPath;
    // Filters as the file dialogs take them: "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|".
    std::string filter;
    std::string defaultExtension;
};

class PromptService {
  public:
    virtual ~PromptService() = default;
    // IDOK, IDCANCEL, IDYES, IDNO ... as the buttons of `style` allow.
    virtual int MessageBox(const std::string& text, const std::string& caption, UINT style) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> OpenFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileName(const FileDialogRequest& request) = 0;
};

// The service in use; without one installed, prompts are answered by a quiet default (the
// first button, no file) and written to standard error, so nothing is ever lost unseen.
PromptService& Prompts();
// Installs a service (nullptr restores the default). The caller keeps ownership.
void SetPromptService(PromptService* service);

// MessageBoxA through the service.
int MessageBoxA(const char* text, const char* caption, UINT style);

// A service for tests: records every prompt and gives the scripted answers in order (the
// first button when the script has run out).
class ScriptedPrompts : public PromptService {
  public:
    struct Record {
        enum class Kind { MessageBox, OpenFile, SaveFile } kind;
        std::string text;  // message text, or dialog title
        std::string caption;
        UINT style = 0;
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    void AnswerWith(int button);
    void AnswerFileWith(std::optional<std::string> path);

    int MessageBox(const std::string& text, const std::string& caption, UINT style) override;
    std::optional<std::string> OpenFileName(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFileName(const FileDialogRequest& request) override;

    std::vector<Record> Records() const;
    std::size_t Count() const;

  private:
    mutable std::mutex mutex_;
    std::deque<int> buttons_;
    std::deque<std::optional<std::string>> files_;
    std::vector<Record> records_;
};

// The button a box with `style` answers with when nobody chooses: its first button.
int FirstButtonOf(UINT style);

}  // namespace platform
