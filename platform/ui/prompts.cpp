#include "platform/ui/prompts.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {

class QuietPrompts : public PromptService {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT style) override {
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
        return FirstButtonOf(style);
    }
    std::optional<std::string> OpenFileName(const FileDialogRequest&) override { return {}; }
    std::optional<std::string> SaveFileName(const FileDialogRequest&) override { return {}; }
};

QuietPrompts g_quiet;
std::atomic<PromptService*> g_service{nullptr};

}  // namespace

PromptService& Prompts() {
    PromptService* service = g_service.load();
    return service != nullptr ? *service : g_quiet;
}

void SetPromptService(PromptService* service) {
    g_service.store(service);
}

int MessageBoxA(const char* text, const char* caption, UINT style) {
    return Prompts().MessageBox(text ? text : "", caption ? caption : "", style);
}

int FirstButtonOf(UINT style) {
    switch (style & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNOCANCEL:
        case MB_YESNO:
            return IDYES;
        case MB_RETRYCANCEL:
            return IDRETRY;
        default:
            return IDOK;
    }
}

ScriptedPrompts::ScriptedPrompts() = default;
ScriptedPrompts::~ScriptedPrompts() {
    if (g_service.load() == this) {
        SetPromptService(nullptr);
    }
}

void ScriptedPrompts::AnswerWith(int button) {
    std::lock_guard lock(mutex_);
    buttons_.push_back(button);
}

void ScriptedPrompts::AnswerFileWith(std::optional<std::string> path) {
    std::lock_guard lock(mutex_);
    files_.push_back(std::move(path));
}

int ScriptedPrompts::MessageBox(const std::string& text, const std::string& caption, UINT style) {
    std::lock_guard lock(mutex_);
    records_.push_back({Record::Kind::MessageBox, text, caption, style});
    if (buttons_.empty()) {
        return FirstButtonOf(style);
    }
    const int answer = buttons_.front();
    buttons_.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::OpenFileName(const FileDialogRequest& request) {
    std::lock_guard lock(mutex_);
    records_.push_back({Record::Kind::OpenFile, request.title, request.filter, 0});
    if (files_.empty()) {
        return {};
    }
    auto answer = std::move(files_.front());
    files_.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::SaveFileName(const FileDialogRequest& request) {
    std::lock_guard lock(mutex_);
    records_.push_back({Record::Kind::SaveFile, request.title, request.filter, 0});
    if (files_.empty()) {
        return {};
    }
    auto answer = std::move(files_.front());
    files_.pop_front();
    return answer;
}

std::vector<ScriptedPrompts::Record> ScriptedPrompts::Records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::size_t ScriptedPrompts::Count() const {
    std::lock_guard lock(mutex_);
    return records_.size();
}

}  // namespace platform
