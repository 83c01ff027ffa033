#include "terminal/session/port_file_transfer.h"

#include <chrono>
#include <mutex>

#include "platform/system/debug_output.h"
#include "platform/system/last_error.h"
#include "terminal/session/port_activity.h"
#include "terminal/session/port_error_box.h"
#include "terminal/session/render_received.h"
#include "terminal/session/short_threads.h"

namespace {

// The file transfers' short threads.
ShortThreads& Threads() {
    // Never destroyed: a transfer thread may end after the program's statics are gone.
    static ShortThreads* threads = new ShortThreads();
    return *threads;
}

platform::FileDialogRequest TextFileDialog(const char* title) {
    platform::FileDialogRequest request;
    request.title = title;
    request.initialPath = "*.txt";
    request.filter = kTextFileFilter;
    request.defaultExtension = "txt";
    return request;
}

void PostActivity(const PortShared& shared, TransferChange change) {
    shared.PostIndicator(ID_INDICATOR_ACTIVITY, ActivityAfter(change, shared.Transfer()));
}

// The caption of a port's boxes; a socket port's transport has none, so its name stands in.
std::string CaptionOf(const PortShared& shared) {
    std::string caption = shared.transport ? shared.transport->Caption() : std::string();
    return caption.empty() ? shared.portName : caption;
}

// Waits until `milliseconds` have passed or the open has ended; a close cuts the wait short.
void WaitWhileOpen(PortShared& shared, std::uint32_t generation, DWORD milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (shared.Running(generation)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        platform::WaitForSingleObject(*shared.sendWork, static_cast<DWORD>(left.count()));
    }
}

// The question whether to stop a file being received; Yes closes it.
void AskToStopReceiveFile(PortShared& s, const std::string& caption) {
    if (!s.receiveFile.IsOpen() ||
        s.prompts.MessageBox(kStopReceiveFileText, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    s.receiveFileOpen = false;
    s.receiveFile.Close();
    s.showWhileReceivingFile = 0;
    PostActivity(s, TransferChange::ReceiveFileStopped);
}

// The question whether to stop a file being sent; Yes closes it.
void AskToStopSendFile(PortShared& s, const std::string& caption) {
    if (!s.sendFile.IsOpen() ||
        s.prompts.MessageBox(kStopSendFileText, caption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    s.sendFileOpen = false;
    s.sendFile.Close();
    PostActivity(s, TransferChange::SendFileEnded);
}

}  // namespace

void RunTransferThread(std::function<void()> task) {
    // The thread asks on behalf of the port that started it: its prompts go down with the
    // port's window.
    Threads().Start(
        [task = std::move(task), owner = platform::CurrentPromptOwner()] {
            const platform::PromptOwnerScope scope(owner);
            task();
        },
        "Halvo2 can't start a file-transfer thread!\n");
}

bool WaitForTransferThreads(unsigned long milliseconds) {
    return Threads().WaitIdle(milliseconds);
}

void ReceiveFileProcedure(const std::shared_ptr<PortShared>& shared, const std::string& caption) {
    PortShared& s = *shared;
    platform::PromptService& prompts = s.prompts;
    if (!s.receiveFile.IsOpen()) {
        const std::optional<std::string> path =
            prompts.SaveFileName(TextFileDialog(kReceiveFileTitle));
        if (!path) {
            return;
        }
        if (!s.receiveFile.Open(*path)) {
            platform::OutputDebugStringA("Failed to save the ASCII file!\n");
            prompts.MessageBox(kReceiveFileCreateText, caption, MB_ICONHAND);
            return;
        }
        const int answer = prompts.MessageBox(kShowFileContentsText, kShowFileContentsCaption,
                                              MB_YESNO | MB_ICONQUESTION);
        s.showWhileReceivingFile = answer == IDYES ? 1 : 0;
        // The receive time and counters go on: opening a file is not a new start.
        // The pane is told before the worker can see the file, so that the end of a transfer
        // is never shown before its start.
        TransferState state = s.Transfer();
        state.receiveFile = true;
        state.receiving = true;
        s.PostIndicator(ID_INDICATOR_ACTIVITY,
                        ActivityAfter(TransferChange::ReceiveFileOpened, state));
        s.receiveFileOpen = true;
        s.receiving = 1;
        s.WakeWorkers();
        return;
    }
    AskToStopReceiveFile(s, caption);
}

void SendFileProcedure(const std::shared_ptr<PortShared>& shared, const std::string& caption,
                       bool socketPort) {
    PortShared& s = *shared;
    platform::PromptService& prompts = s.prompts;
    if (s.sending.load() != 0) {
        ShowPortErrorBox(prompts, kSendingPatternText, caption);
        return;
    }
    if (!s.sendFile.IsOpen()) {
        const std::optional<std::string> path =
            prompts.OpenFileName(TextFileDialog(kSendFileTitle));
        if (!path) {
            return;
        }
        // The pattern may have been started while the dialog was up.
        s.sending = 0;
        if (!s.sendFile.Open(*path)) {
            platform::OutputDebugStringA("Failed to open the ASCII file!\n");
            prompts.MessageBox(kSendFileOpenText, caption, MB_ICONHAND);
            return;
        }
        s.sendFileTimedByCount = socketPort;
        s.sendFileCount = 0;
        TransferState state = s.Transfer();
        state.sendFile = true;
        s.PostIndicator(ID_INDICATOR_ACTIVITY,
                        ActivityAfter(TransferChange::SendFileOpened, state));
        s.sendFileOpen = true;
        s.WakeWorkers();
        return;
    }
    AskToStopSendFile(s, caption);
}

void AskToStopTransfers(const std::shared_ptr<PortShared>& shared, const std::string& caption) {
    if (shared->receiveFile.IsOpen()) {
        RunTransferThread([shared, caption] { AskToStopReceiveFile(*shared, caption); });
    }
    if (shared->sendFile.IsOpen()) {
        RunTransferThread([shared, caption] { AskToStopSendFile(*shared, caption); });
    }
}

bool ReceiveIntoFile(PortShared& shared, const char* block, std::size_t length) {
    switch (shared.receiveFile.Write(block, length)) {
        case ReceiveFile::Result::Written:
            if (shared.showWhileReceivingFile.load() != 0) {
                RenderReceived(*shared.display, block, static_cast<int>(length));
            }
            return true;
        case ReceiveFile::Result::NotOpen:
            return false;
        case ReceiveFile::Result::Failed:
            break;
    }
    // A full disk or a file grown past its limit: the file keeps what it has, receiving goes
    // on into the display, and the user hears of it once.
    const DWORD error = platform::GetLastError();
    shared.receiveFileOpen = false;
    shared.receiveFile.Close();
    shared.showWhileReceivingFile = 0;
    PostActivity(shared, TransferChange::ReceiveFileStopped);
    const std::string text =
        std::string(kReceiveFileWriteText) + "\n\n" + platform::FormatErrorMessage(error);
    ShowPortErrorBox(shared.prompts, FormatPortErrorText(text.c_str(), static_cast<long>(error)),
                     CaptionOf(shared));
    return false;
}

void SendFileChunk(PortShared& shared, std::uint32_t generation) {
    // The chunk and its terminating zero; no allocation in the worker's loop.
    char chunk[kFileChunkSize + 1];
    const SendChunk read = shared.sendFile.ReadChunk(chunk);
    if (!read.open) {
        return;
    }
    bool written = !read.readFailed;
    if (written && read.length > 0) {
        std::lock_guard lock(shared.deviceWriteMutex);
        written = shared.Running(generation) &&
                  shared.transport->WriteAll(chunk, static_cast<DWORD>(read.length));
    }
    if (!written && !read.readFailed && !shared.Running(generation)) {
        // The port closed under the write: the chunk goes again when the port is opened again.
        shared.sendFile.Rewind(read);
        return;
    }
    if (written) {
        shared.sendFileCount += read.length;
        if (!read.atEnd) {
            return;
        }
    }
    if (!shared.sendFile.CloseIf(read)) {
        return;  // stopped by the user, or replaced, meanwhile
    }
    shared.sendFileOpen = false;
    const std::uint64_t count = shared.sendFileCount.exchange(0);
    if (!written) {
        const DWORD error = platform::GetLastError();
        platform::OutputDebugStringA("Failed to send the ASCII file!\n");
        PostActivity(shared, TransferChange::SendFileEnded);
        ShowPortErrorBox(shared.prompts,
                         FormatPortErrorText(kSendFileFailedText, static_cast<long>(error)),
                         CaptionOf(shared));
        return;
    }
    std::string caption = CaptionOf(shared);
    if (shared.sendFileTimedByCount.load()) {
        WaitWhileOpen(shared, generation, SocketFileDoneWaitMs(count));
        caption = SocketFileDoneCaption(count);
    }
    platform::PromptService& prompts = shared.prompts;
    RunTransferThread([&prompts, caption] {
        prompts.MessageBox(kTransferDoneText, caption, MB_TOPMOST | MB_ICONINFORMATION);
    });
    PostActivity(shared, TransferChange::SendFileEnded);
}
