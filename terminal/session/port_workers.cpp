#include "terminal/session/port_workers.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/system/last_error.h"
#include "terminal/session/port_file_transfer.h"
#include "terminal/session/render_received.h"
#include "terminal/session/view_flags.h"

namespace {

constexpr DWORD kReadBlock = 4096;
// A block this full counts as full: a tty hands over at most 4095 bytes a read, whatever its
// driver still holds behind them.
constexpr DWORD kFullBlock = kReadBlock * 3 / 4;

// The wait after the reads that emptied a port's queue: the pacing, shortened on a busy
// line to about the time a block takes to gather there, so that a fast line wakes the worker
// once a block and never fills the driver's queue (a pseudo-terminal holds about 18 KB).
DWORD BusyLinePacingMs(std::size_t gathered, std::chrono::steady_clock::duration took,
                       DWORD pacingMs) {
    if (gathered == 0) {
        return pacingMs;
    }
    const double ms = std::chrono::duration<double, std::milli>(took).count() *
                      static_cast<double>(kReadBlock) / static_cast<double>(gathered);
    return static_cast<DWORD>(std::clamp(ms, 1.0, static_cast<double>(pacingMs)));
}

// The end of a receive cycle that found nothing: the wait lasts until input arrives, so an
// idle port costs a wake-up every kIdleWaitMs and data still comes at once. A closed transport
// waits on the worker's own event, and a wait that fails falls back to the pacing: neither
// spins. Returns the error when the wait failed because the device has gone, else 0.
DWORD WaitForReceived(PortShared& shared, DWORD pacingMs) {
    switch (shared.transport->WaitForInput(kIdleWaitMs)) {
        case InputWait::Closed:
            platform::WaitForSingleObject(*shared.receiveWork, kIdleWaitMs);
            return 0;
        case InputWait::Gone:
            return shared.transport->LostError();
        case InputWait::Failed:
            platform::Sleep(pacingMs);
            return 0;
        case InputWait::Ready:
        case InputWait::TimedOut:
            return 0;
    }
    return 0;
}

void DispatchBlock(PortShared& shared, const char* block, DWORD length) {
    if (ProcessDisplayFlags().logToFile.load()) {
        LogReceived(shared.logFile, shared.portName, shared.prompts, block, length);
    }
    if (shared.captureActive.load() != 0) {
        shared.Capture(block, length);
        return;
    }
    if (shared.receiveFileOpen.load() && ReceiveIntoFile(shared, block, length)) {
        return;
    }
    if (shared.reportView.load() == 0) {
        // In report view the block is counted (by the read) but not shown.
        RenderReceived(*shared.display, block, static_cast<int>(length));
    }
}

// Writes the test pattern once; true when it went out.
bool SendPattern(PortShared& shared) {
    std::lock_guard lock(shared.deviceWriteMutex);
    return shared.transport->WriteAll(shared.pattern->Data(),
                                      static_cast<DWORD>(shared.pattern->Length()));
}

}  // namespace

PortShared::PortShared(std::string name, std::shared_ptr<PortFrameLink> frameLink,
                       std::shared_ptr<DisplayBuffer> displayBuffer,
                       platform::PromptService& promptService)
    : portName(std::move(name)),
      link(std::move(frameLink)),
      display(std::move(displayBuffer)),
      prompts(promptService) {}

PortShared::~PortShared() {
    // The transport goes first (it is the last member); saying so keeps that true if members
    // are ever reordered.
    transport.reset();
}

void PortShared::Post(PortFrameLink::Target target, UINT message, WPARAM wParam,
                      LPARAM lParam) const {
    if (link) {
        link->Post(target, message, wParam, lParam);
    }
}

void PortShared::PostIndicator(int id, LPARAM state) const {
    Post(PortFrameLink::Target::Frame, UWM_INDICATOR, static_cast<WPARAM>(id), state);
}

void PortShared::ReportDeviceLost(std::uint32_t generation, DWORD error) {
    {
        std::lock_guard lock(lostMutex);
        if (!Running(generation) || lostGeneration == generation) {
            return;
        }
        lostGeneration = generation;
        lostError = error;
    }
    Post(PortFrameLink::Target::Frame, UWM_DEVICE_LOST, static_cast<WPARAM>(generation),
         static_cast<LPARAM>(error));
}

DWORD PortShared::DeviceLostError() const {
    std::lock_guard lock(lostMutex);
    return lostGeneration == openGeneration.load() ? lostError : 0;
}

void PortShared::WakeWorkers() const {
    receiveWork->Set();
    sendWork->Set();
}

TransferState PortShared::Transfer() const {
    TransferState state;
    state.receiving = receiving.load() != 0;
    state.sending = sending.load() != 0;
    state.receiveFile = receiveFileOpen.load();
    state.sendFile = sendFileOpen.load();
    return state;
}

void PortShared::Capture(const char* bytes, std::size_t length) {
    const void* zero = std::memchr(bytes, 0, length);
    const std::size_t text =
        zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : length;
    std::lock_guard lock(captureMutex);
    const std::size_t room = kCaptureChars - std::min(captured.size(), kCaptureChars);
    captured.append(bytes, std::min(text, room));
}

void PortChannelCallback(SerialChannel* channel, void* owner, ChannelEvent event) {
    auto* shared = static_cast<PortShared*>(owner);
    if (channel == nullptr || shared == nullptr) {
        return;
    }
    struct Indicator {
        int id;
        LPARAM state;
    };
    Indicator indicator{0, 0};
    switch (event) {
        case CHANNEL_XOFF_HOLD_ENDED:
            indicator = {ID_INDICATOR_XOFF, 0};
            break;
        case CHANNEL_XOFF_HOLD_BEGAN:
            indicator = {ID_INDICATOR_XOFF, 1};
            break;
        case CHANNEL_RING_ON:
            indicator = {ID_INDICATOR_RING, 1};
            break;
        case CHANNEL_RING_OFF:
            indicator = {ID_INDICATOR_RING, 0};
            break;
        case CHANNEL_CD_ON:
            indicator = {ID_INDICATOR_CD, 1};
            break;
        case CHANNEL_CD_OFF:
            indicator = {ID_INDICATOR_CD, 0};
            break;
        case CHANNEL_CTS_OFF:
            indicator = {ID_INDICATOR_CTS, 0};
            break;
        case CHANNEL_CTS_ON:
            indicator = {ID_INDICATOR_CTS, 1};
            break;
        case CHANNEL_DSR_OFF:
            indicator = {ID_INDICATOR_DSR, 0};
            break;
        case CHANNEL_DSR_ON:
            indicator = {ID_INDICATOR_DSR, 1};
            break;
        case CHANNEL_BREAK:
        case CHANNEL_RXCHAR:
        case CHANNEL_RXFLAG:
        case CHANNEL_LINE_ERROR:
        case CHANNEL_PRINTER_ERROR:
        case CHANNEL_TX_EMPTY:
        case CHANNEL_EVENT1:
        case CHANNEL_EVENT2: {
            static constexpr const char* kMarkers[] = {
                "<EV_BREAK>", "<EV_RXCHAR>",  "<EV_RXFLAG>", "<EV_ERR>",
                "<EV_PERR>",  "<EV_TXEMPTY>", "<EV_EVENT1>", "<EV_EVENT2>",
            };
            RenderReceived(*shared->display, kMarkers[event - CHANNEL_BREAK], -1);
            return;
        }
        case CHANNEL_DEVICE_LOST:
            // The watcher belongs to the current open: every close stops it before the next open.
            shared->ReportDeviceLost(shared->openGeneration.load(), channel->DeviceLostError());
            return;
        case CHANNEL_WATCHER_STARTED:
        case CHANNEL_WATCHER_ENDED:
        default:
            return;
    }
    shared->PostIndicator(indicator.id, indicator.state);
}

DWORD ReceivePacingMs(bool continuous) {
    return continuous ? 50 : 25;
}

void ReceiveWorker(std::shared_ptr<PortShared> shared, std::uint32_t generation,
                   platform::EventHandle ended) {
    if (!shared) {
        return;
    }
    // The block and its terminating zero; no allocation inside the loop.
    char buffer[kReadBlock + 1];
    // What the reads found since `gatherStart`: the start of the last pacing wait, or the end
    // of the last wait for input.
    std::size_t gathered = 0;
    auto gatherStart = std::chrono::steady_clock::now();
    while (shared->Running(generation)) {
        shared->receiveCycles.fetch_add(1, std::memory_order_relaxed);
        const bool receiving = shared->receiving.load() != 0;
        TransportRead received;
        if (receiving) {
            received = shared->transport->ReadQueued(buffer, kReadBlock);
            gathered += received.length;
            if (received.length > 0) {
                buffer[received.length] = 0;
                DispatchBlock(*shared, buffer, received.length);
            }
        }
        if (!shared->Running(generation)) {
            break;
        }
        if (received.goneError != 0) {
            // Nothing more can come from a device that has gone: the port thread closes it.
            shared->ReportDeviceLost(generation, received.goneError);
            break;
        }
        const DWORD pacingMs = ReceivePacingMs(ProcessDisplayFlags().continuousCharacter.load());
        if (!receiving) {
            platform::WaitForSingleObject(*shared->receiveWork, kIdleWaitMs);
        } else if (received.length >= kFullBlock) {
            // A full block means more may be queued: waiting now would let a fast line
            // overflow the driver's queue, so the next read follows at once.
            shared->receiveReadsAgain.fetch_add(1, std::memory_order_relaxed);
            continue;
        } else if (received.length > 0 || received.failed) {
            // After a block the pacing lets the next one gather, so data comes in batches.
            const auto now = std::chrono::steady_clock::now();
            const DWORD pace = BusyLinePacingMs(gathered, now - gatherStart, pacingMs);
            // What the next reads find arrived during this wait.
            gathered = 0;
            gatherStart = now;
            platform::Sleep(pace);
            continue;
        } else if (const DWORD gone = WaitForReceived(*shared, pacingMs); gone != 0) {
            shared->ReportDeviceLost(generation, gone);
            break;
        }
        gathered = 0;
        gatherStart = std::chrono::steady_clock::now();
    }
    if (ended) {
        ended->Set();
    }
}

void SendWorker(std::shared_ptr<PortShared> shared, std::uint32_t generation,
                platform::EventHandle ended) {
    if (!shared) {
        return;
    }
    while (shared->Running(generation)) {
        shared->sendCycles.fetch_add(1, std::memory_order_relaxed);
        bool patternSent = false;
        const bool sendingFile = shared->sendFileOpen.load();
        const bool sending = !sendingFile && shared->sending.load() != 0;
        if (sendingFile) {
            SendFileChunk(*shared, generation);
        } else if (sending) {
            patternSent = SendPattern(*shared);
        }
        if (!shared->Running(generation)) {
            break;
        }
        if (sending && !patternSent && shared->transport->LostError() != 0) {
            // Every further write would fail at once: the port thread closes the port.
            shared->ReportDeviceLost(generation, shared->transport->LostError());
            break;
        }
        if (!sending && !shared->sendFileOpen.load()) {
            platform::WaitForSingleObject(*shared->sendWork, kIdleWaitMs);
            continue;
        }
        platform::Sleep(shared->transport->SendPacingMs(
            patternSent, ProcessDisplayFlags().continuousCharacter.load()));
    }
    if (ended) {
        ended->Set();
    }
}
