// The port window's file commands: the file transfers, the string sender, Save As and Print.

#include <memory>

#include "platform/system/debug_output.h"
#include "platform/system/last_error.h"
#include "terminal/session/file_transfer.h"
#include "terminal/session/port_file_transfer.h"
#include "terminal/session/port_session.h"
#include "terminal/session/port_workers.h"
#include "terminal/session/print_text.h"
#include "terminal/session/saved_strings.h"

namespace {

constexpr const char* kPortClosedTrace = "Port is closed!\n";
constexpr const char* kPortNotOpenText = "Port is not open!\t";
constexpr const char* kStringPortNotOpenText = "Port is not Open!\t";
// The longest error description a Save As box shows.
constexpr std::size_t kFileErrorTextSize = 255;

}  // namespace

void PortSession::OnReceiveFileCommand() {
    if (!PortOpen()) {
        platform::OutputDebugStringA(kPortClosedTrace);
        PortErrorBox(kPortNotOpenText, 0);
        return;
    }
    RunTransferThread([shared = shared_, caption = shared_->transport->Caption()] {
        ReceiveFileProcedure(shared, caption);
    });
}

void PortSession::OnSendFileCommand() {
    if (!PortOpen()) {
        platform::OutputDebugStringA(kPortClosedTrace);
        PortErrorBox(kPortNotOpenText, 0);
        return;
    }
    RunTransferThread([shared = shared_, caption = shared_->transport->Caption(),
                       socket = IsSocket()] { SendFileProcedure(shared, caption, socket); });
}

void PortSession::OnSendStringCommand() {
    if (!PortOpen()) {
        platform::OutputDebugStringA(kPortClosedTrace);
        PortErrorBox(kStringPortNotOpenText, 0);
        return;
    }
    const std::uint32_t generation = shared_->openGeneration.load();
    RunTransferThread([shared = shared_, generation] {
        platform::DialogRequest request;
        request.id = kPatternDialogId;
        request.fields = {{"stringType", "1"}, {"stringText", ""}};
        const platform::DialogAnswer answer = shared->prompts.RunDialog(request);
        if (answer.button != IDOK) {
            return;
        }
        const auto type =
            answer.fields.count("stringType") != 0 && answer.fields.at("stringType") == "0"
                ? StringType::Ascii
                : StringType::Hex;
        const auto text = answer.fields.find("stringText");
        const std::optional<std::string> bytes = StringSenderBytes(
            type, text != answer.fields.end() ? std::string_view(text->second) : "");
        if (!bytes) {
            // The dialog refuses such a text itself; an answer that still holds one sends
            // nothing rather than a part of it.
            shared->prompts.MessageBox(kInvalidHexText, kStringErrorCaption, MB_ICONHAND);
            return;
        }
        if (bytes->empty()) {
            return;
        }
        // The whole result goes out, however long: cutting it would send another string.
        std::lock_guard lock(shared->deviceWriteMutex);
        if (shared->Running(generation)) {
            shared->transport->WriteAll(bytes->data(), static_cast<DWORD>(bytes->size()));
        }
    });
}

void PortSession::OnSaveAs() {
    platform::FileDialogRequest request;
    request.initialPath = "*.txt";
    request.filter = kTextFileFilter;
    request.defaultExtension = "txt";
    const std::optional<std::string> path = prompts_.SaveFileName(request);
    if (!path) {
        return;
    }
    const std::string text =
        shared_->reportView.load() != 0 ? ReportTextForFile(LastReportText()) : display_->GetText();
    const DWORD error = SaveTextFile(*path, text);
    if (error != 0) {
        std::string description = platform::FormatErrorMessage(error);
        if (description.size() > kFileErrorTextSize) {
            description.resize(kFileErrorTextSize);
        }
        prompts_.MessageBox(description, shared_->transport ? shared_->transport->Caption() : "",
                            MB_ICONHAND);
    }
}

void PortSession::OnPrint() {
    const std::string text =
        shared_->reportView.load() != 0 ? LastReportText() : display_->GetText();
    platform::PrintDialogRequest request;
    request.flags = platform::PD_NOSELECTION | platform::PD_HIDEPRINTTOFILE;
    const std::unique_ptr<platform::PrinterContext> printer = prompts_.PrintDialog(request);
    if (!printer) {
        return;
    }
    if (PrintText(*printer, text) != PrintResult::Printed) {
        prompts_.MessageBox(kPrintErrorText,
                            shared_->transport ? shared_->transport->Caption() : "", MB_ICONHAND);
    }
}
