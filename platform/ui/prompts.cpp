#include "platform/ui/prompts.h"

#include <atomic>
#include <cstdio>

#include "platform/system/debug_output.h"

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

DialogAnswer PromptService::RunDialog(const DialogRequest& request) {
    std::fprintf(stderr, "[dialog] %s not available\n", request.id.c_str());
    return {IDCANCEL, request.fields};
}

std::unique_ptr<PrinterContext> PromptService::PrintDialog(const PrintDialogRequest&) {
    std::fprintf(stderr, "[print] no printer available\n");
    return nullptr;
}

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

int CancelButtonOf(UINT style) {
    switch (style & MB_TYPEMASK) {
        case MB_OKCANCEL:
        case MB_YESNOCANCEL:
        case MB_RETRYCANCEL:
            return IDCANCEL;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        case MB_YESNO:
            return IDNO;
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
    // A scripted answer needs no GUI thread, but the rule is kept all the same, so that tests
    // see what the product does: the question is answered as if taken down.
    const bool open = OpenPromptTicket(kNoPromptOwner, text.c_str()) != nullptr;
    std::lock_guard lock(mutex_);
    records_.push_back({Record::Kind::MessageBox, text, caption, style, {}, CurrentPromptOwner()});
    if (!open) {
        return CancelButtonOf(style);
    }
    if (buttons_.empty()) {
        return FirstButtonOf(style);
    }
    const int answer = buttons_.front();
    buttons_.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::OpenFileName(const FileDialogRequest& request) {
    const PromptOwner owner =
        request.owner != kNoPromptOwner ? request.owner : CurrentPromptOwner();
    const bool open = OpenPromptTicket(owner, request.title.c_str()) != nullptr;
    std::lock_guard lock(mutex_);
    records_.push_back({Record::Kind::OpenFile, request.title, request.filter, 0, {}, owner});
    if (!open || files_.empty()) {
        return {};
    }
    auto answer = std::move(files_.front());
    files_.pop_front();
    return answer;
}

std::optional<std::string> ScriptedPrompts::SaveFileName(const FileDialogRequest& request) {
    const PromptOwner owner =
        request.owner != kNoPromptOwner ? request.owner : CurrentPromptOwner();
    const bool open = OpenPromptTicket(owner, request.title.c_str()) != nullptr;
    std::lock_guard lock(mutex_);
    records_.push_back({Record::Kind::SaveFile, request.title, request.filter, 0, {}, owner});
    if (!open || files_.empty()) {
        return {};
    }
    auto answer = std::move(files_.front());
    files_.pop_front();
    return answer;
}

void ScriptedPrompts::AnswerDialogWith(int button, DialogFields fields) {
    std::lock_guard lock(mutex_);
    dialogs_.push_back({button, std::move(fields)});
}

void ScriptedPrompts::AnswerPrintWith(std::optional<std::string> path) {
    std::lock_guard lock(mutex_);
    printers_.push_back(std::move(path));
}

void ScriptedPrompts::SetPrinterFactory(PrinterFactory factory) {
    std::lock_guard lock(mutex_);
    printerFactory_ = std::move(factory);
}

DialogAnswer ScriptedPrompts::RunDialog(const DialogRequest& request) {
    const PromptOwner owner =
        request.owner != kNoPromptOwner ? request.owner : CurrentPromptOwner();
    const bool open = OpenPromptTicket(owner, request.id.c_str()) != nullptr;
    std::lock_guard lock(mutex_);
    records_.push_back({Record::Kind::Dialog, request.id, {}, 0, request.fields, owner});
    DialogAnswer answer{IDCANCEL, request.fields};
    if (!open || dialogs_.empty()) {
        return answer;
    }
    const DialogAnswer scripted = std::move(dialogs_.front());
    dialogs_.pop_front();
    answer.button = scripted.button;
    if (scripted.button == IDOK) {
        // The user changed only the controls the script names.
        for (const auto& [name, value] : scripted.fields) {
            answer.fields[name] = value;
        }
    }
    return answer;
}

std::unique_ptr<PrinterContext> ScriptedPrompts::PrintDialog(const PrintDialogRequest& request) {
    const PromptOwner owner =
        request.owner != kNoPromptOwner ? request.owner : CurrentPromptOwner();
    const bool open = OpenPromptTicket(owner, "Print") != nullptr;
    std::optional<std::string> path;
    PrinterFactory factory;
    {
        std::lock_guard lock(mutex_);
        records_.push_back({Record::Kind::Print, "Print", {}, request.flags, {}, owner});
        if (!open || printers_.empty()) {
            return nullptr;
        }
        path = std::move(printers_.front());
        printers_.pop_front();
        factory = printerFactory_;
    }
    if (!path) {
        return nullptr;
    }
    if (!factory) {
        // A script that chooses a printer without saying how to make one is a broken test,
        // not a user's Cancel: say so.
        OutputDebugStringA("Scripted print dialog has no printer factory\n");
        std::fprintf(stderr, "[print] no printer factory for %s\n", path->c_str());
        return nullptr;
    }
    return factory(*path);
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
