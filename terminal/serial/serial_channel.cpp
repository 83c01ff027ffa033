#include "terminal/serial/serial_channel.h"

#include <cstdio>
#include <system_error>
#include <thread>

#include "platform/system/debug_output.h"
#include "platform/system/last_error.h"

using platform::CommDeviceHandle;
using platform::EventHandle;

namespace {

enum : int { kStopEvent = 0, kWaitDoneEvent = 1, kArmEvent = 2 };

constexpr DWORD kStopPauseMs = 250;
constexpr DWORD kWatcherJoinMs = 2000;

}  // namespace

struct SerialChannel::Watch {
    std::mutex callbackMutex;
    SerialChannel* channel = nullptr;  // null once the channel is gone
    ChannelCallback callback = nullptr;
    void* owner = nullptr;

    std::atomic<int> watcherRunning{0};
    std::atomic<int> watchEvents{0};
    std::atomic<int> waitPending{0};
    std::atomic<DWORD> lostError{0};
    // Written by the device when a wait completes, read after the completion event.
    DWORD eventMask = 0;
    EventHandle events[3];

    std::thread thread;
    EventHandle threadEnded;

    void Call(ChannelEvent event) {
        std::lock_guard lock(callbackMutex);
        if (callback != nullptr && channel != nullptr) {
            callback(channel, owner, event);
        }
    }
    bool HasCallback() {
        std::lock_guard lock(callbackMutex);
        return callback != nullptr;
    }
};

SerialChannel::SerialChannel(int portNumber, const PortConfig& config, void* owner)
    : portNumber_(portNumber), config_(config), watch_(std::make_shared<Watch>()) {
    watch_->channel = this;
    watch_->owner = owner;
    watch_->events[kStopEvent] = platform::Event::Create(false, false);
    watch_->events[kWaitDoneEvent] = platform::Event::Create(true, false);
    watch_->events[kArmEvent] = platform::Event::Create(false, false);
}

SerialChannel::~SerialChannel() {
    // Asking the watcher to stop (and not only waiting for it) spares every close of a
    // watching channel the whole wait, and closing the device ends any wait it still has.
    watch_->watcherRunning.store(0);
    if (watch_->events[kStopEvent]) {
        watch_->events[kStopEvent]->Set();
    }
    bool ended = true;
    if (watch_->thread.joinable()) {
        ended =
            platform::WaitForSingleObject(*watch_->threadEnded, kWatcherJoinMs) == WAIT_OBJECT_0;
    }
    {
        std::lock_guard lock(watch_->callbackMutex);
        watch_->channel = nullptr;
        watch_->callback = nullptr;
    }
    CloseDevice();
    if (watch_->thread.joinable()) {
        if (!ended) {
            ended = platform::WaitForSingleObject(*watch_->threadEnded, kWatcherJoinMs) ==
                    WAIT_OBJECT_0;
        }
        if (ended) {
            watch_->thread.join();
        } else {
            watch_->thread.detach();  // it holds its own share of the watch state
        }
    }
}

void SerialChannel::SetCallback(ChannelCallback callback) {
    std::lock_guard lock(watch_->callbackMutex);
    watch_->callback = callback;
}

CommDeviceHandle SerialChannel::Device() const {
    std::lock_guard lock(deviceMutex_);
    return device_;
}

void SerialChannel::SetDevice(CommDeviceHandle device) {
    CommDeviceHandle old;
    {
        std::lock_guard lock(deviceMutex_);
        old = std::move(device_);
        device_ = std::move(device);
    }
    if (old) {
        old->Close();
    }
}

bool SerialChannel::WatcherRunning() const {
    return watch_->watcherRunning.load() != 0;
}

OpenResult SerialChannel::Open() {
    if (Device()) {
        // A port whose reopening fails must not still count as open.
        SetDevice(nullptr);
        portOpen_.store(0, std::memory_order_release);
    }
    int result = OPEN_SUCCESS;
    CommDeviceHandle device;
    if (portNumber_ <= 0) {
        result = OPEN_BAD_PORT_NUMBER;
    } else {
        std::snprintf(devicePath_, sizeof devicePath_, "\\\\.\\COM%d", portNumber_);
        watch_->watchEvents.store(1);
        device = platform::CreateCommDevice(devicePath_);
        if (!device) {
            result = OPEN_NO_DEVICE;
        } else {
            const DWORD mask = watch_->watchEvents.load() ? kModemLineEvents : 0;
            if (!device->SetCommMask(mask)) {
                result = OPEN_MASK_FAILED;
            }
            // The time-outs are all zero, so a read waits for every byte it asks for: Read
            // therefore asks only for bytes that are already queued.
            const COMMTIMEOUTS noTimeouts{};
            if (!device->SetCommTimeouts(noTimeouts)) {
                result = OPEN_TIMEOUTS_FAILED;
            }
            if (!device->SetCommState(config_)) {
                result = OPEN_STATE_FAILED;
            }
        }
    }
    for (const EventHandle& event : watch_->events) {
        if (!event) {
            result = OPEN_EVENT_MISSING;
        }
    }
    if (device) {
        if (result != OPEN_SUCCESS) {
            device->Close();
            device.reset();
        } else {
            device->PurgeComm(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
            SetDevice(device);
            portOpen_.store(1, std::memory_order_release);
        }
    }
    watch_->lostError.store(0);
    ResetCounters();
    notXoff_.store(1);
    return static_cast<OpenResult>(result);
}

void SerialChannel::ResetCounters() {
    kbWritten_.store(0);
    kbRead_.store(0);
    totalErrors_.store(0);
    framingErrors_.store(0);
    parityErrors_.store(0);
    overrunErrors_.store(0);
}

void SerialChannel::ResetReadCounters() {
    kbRead_.store(0);
    totalErrors_.store(0);
    framingErrors_.store(0);
    parityErrors_.store(0);
    overrunErrors_.store(0);
}

void SerialChannel::ResetWrittenCounter() {
    kbWritten_.store(0);
}

void SerialChannel::CountWritten(DWORD bytes) {
    kbWritten_.fetch_add(static_cast<double>(bytes) / 1024.0, std::memory_order_relaxed);
}

void SerialChannel::CountRead(DWORD bytes) {
    kbRead_.fetch_add(static_cast<double>(bytes) / 1024.0, std::memory_order_relaxed);
}

void SerialChannel::StartWatcher() {
    CommDeviceHandle device = Device();
    if (!PortOpen() || !device) {
        return;
    }
    ResetCounters();
    if (watch_->thread.joinable()) {
        // A watcher that ended on its own is joined; one abandoned by an earlier stop keeps
        // its own share of the state.
        if (platform::WaitForSingleObject(*watch_->threadEnded, 0) == WAIT_OBJECT_0) {
            watch_->thread.join();
        } else {
            watch_->thread.detach();
        }
    }
    // A new watcher starts from a clean slate: a stop meant for an earlier one, or the
    // completion of a wait that the close of an earlier device ended, would end it at once.
    watch_->events[kStopEvent]->Reset();
    watch_->events[kWaitDoneEvent]->Reset();
    watch_->events[kArmEvent]->Reset();
    watch_->threadEnded = platform::Event::Create(true, false);
    try {
        watch_->thread = std::thread(RunWatcher, watch_, watch_->threadEnded);
    } catch (const std::system_error&) {
        // No thread to be had: the port stays open for reads and writes, only its line events
        // go unwatched.
        platform::OutputDebugStringA("Halvo2 can't start the port's event watcher!\n");
        watcherStarted_.store(0);
        return;
    }
    watcherStarted_.store(1);
}

void SerialChannel::StopWatcher() {
    watch_->watcherRunning.store(0);
    // Only a watcher that is there takes the stop; left set, it would end the next one.
    if (watch_->thread.joinable()) {
        watch_->events[kStopEvent]->Set();
    }
    platform::Sleep(kStopPauseMs);
    if (watch_->thread.joinable()) {
        if (platform::WaitForSingleObject(*watch_->threadEnded, kWatcherJoinMs) == WAIT_OBJECT_0) {
            watch_->thread.join();
        } else {
            watch_->thread.detach();
        }
    }
    watcherStarted_.store(0);
}

void SerialChannel::CloseDevice() {
    SetDevice(nullptr);
    portOpen_.store(0, std::memory_order_release);
    notXoff_.store(0);
}

int SerialChannel::Read(char* buffer, DWORD maxBytes, DWORD& count) {
    COMSTAT comstat{};
    count = 0;
    if (!QueryErrors(comstat)) {
        // A failed query counts as an empty queue, except when the device has gone: then
        // the read fails, or the port would wait for input that can never come.
        NoteFailure();
        if (DeviceLostError() != 0) {
            platform::SetLastError(DeviceLostError());
            return 0;
        }
        comstat = COMSTAT{};
    }
    if (comstat.cbInQue == 0) {
        return 1;
    }
    CommDeviceHandle device = Device();
    if (!device) {
        return 0;
    }
    const DWORD wanted = comstat.cbInQue < maxBytes ? comstat.cbInQue : maxBytes;
    DWORD got = 0;
    if (!device->ReadFile(buffer, wanted, got)) {
        NoteFailure();
        return 0;
    }
    buffer[got] = 0;
    CountRead(got);
    count = got;
    return 1;
}

int SerialChannel::Write(const char* data, DWORD length) {
    CommDeviceHandle device = Device();
    if (!device) {
        platform::SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD written = 0;
    if (!device->WriteFile(data, length, written)) {
        NoteFailure();
        return 0;
    }
    CountWritten(written);
    return 1;
}

DWORD SerialChannel::DeviceLostError() const {
    return watch_->lostError.load();
}

void SerialChannel::NoteFailure() {
    const DWORD error = platform::GetLastError();
    if (platform::IsDeviceGoneError(error)) {
        watch_->lostError.store(error);
    }
}

COMSTAT& SerialChannel::ClearErrors(COMSTAT& comstat) {
    QueryErrors(comstat);
    return comstat;
}

bool SerialChannel::QueryErrors(COMSTAT& comstat) {
    CommDeviceHandle device = Device();
    if (!device) {
        platform::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    DWORD errors = 0;
    const BOOL queried = device->ClearCommError(errors, &comstat);
    const DWORD queryError = queried ? 0 : platform::GetLastError();
    if (queried) {
        if (errors & CE_FRAME) {
            framingErrors_.fetch_add(1, std::memory_order_relaxed);
        }
        if (errors & CE_OVERRUN) {
            overrunErrors_.fetch_add(1, std::memory_order_relaxed);
        }
        if (errors & CE_RXPARITY) {
            parityErrors_.fetch_add(1, std::memory_order_relaxed);
        }
        totalErrors_.store(framingErrors_.load() + overrunErrors_.load() + parityErrors_.load(),
                           std::memory_order_relaxed);
    }
    if (watch_->HasCallback()) {
        const bool held = comstat.fXoffHold || comstat.fXoffSent;
        if (held && notXoff_.load() == 1) {
            watch_->Call(CHANNEL_XOFF_HOLD_BEGAN);
            notXoff_.store(0);
        } else if (!held && notXoff_.load() == 0) {
            watch_->Call(CHANNEL_XOFF_HOLD_ENDED);
            notXoff_.store(1);
        }
    }
    if (!queried) {
        platform::SetLastError(queryError);
    }
    return queried != 0;
}

void SerialChannel::RunWatcher(std::shared_ptr<Watch> watch, EventHandle ended) {
    CommDeviceHandle device;
    {
        std::lock_guard lock(watch->callbackMutex);
        if (watch->channel != nullptr) {
            device = watch->channel->Device();
        }
    }
    watch->watcherRunning.store(1);
    watch->waitPending.store(0);
    watch->Call(CHANNEL_WATCHER_STARTED);
    if (watch->watchEvents.load() == 1) {
        watch->events[kArmEvent]->Set();
    }
    platform::Event* waitOn[] = {watch->events[kStopEvent].get(),
                                 watch->events[kWaitDoneEvent].get(),
                                 watch->events[kArmEvent].get()};
    bool running = device != nullptr;
    DWORD lost = 0;  // the error of a wait that failed because the device has gone
    while (running) {
        const DWORD which = platform::WaitForMultipleObjects(waitOn, INFINITE);
        switch (which) {
            case WAIT_OBJECT_0 + kStopEvent:
                running = false;
                break;
            case WAIT_OBJECT_0 + kWaitDoneEvent:
                if (device->GetCommEventResult()) {
                    watch->events[kWaitDoneEvent]->Reset();
                    watch->waitPending.store(0);
                    Dispatch(*watch, device, watch->eventMask);
                    watch->events[kArmEvent]->Set();
                } else {
                    const DWORD error = platform::GetLastError();
                    running = error == static_cast<DWORD>(ERROR_IO_PENDING) ||
                              error == static_cast<DWORD>(ERROR_IO_INCOMPLETE);
                    if (!running && platform::IsDeviceGoneError(error)) {
                        lost = error;
                    }
                }
                break;
            case WAIT_OBJECT_0 + kArmEvent:
                if (watch->waitPending.load() == 1 || watch->watchEvents.load() == 0) {
                    break;
                }
                watch->waitPending.store(1);
                watch->events[kWaitDoneEvent]->Reset();
                if (device->WaitCommEvent(&watch->eventMask, watch->events[kWaitDoneEvent].get())) {
                    // An immediate completion is handled like any other.
                    watch->events[kWaitDoneEvent]->Set();
                } else if (const DWORD error = platform::GetLastError();
                           error != static_cast<DWORD>(ERROR_IO_PENDING)) {
                    platform::OutputDebugStringA("WaitCommEvent error (not pending)\n");
                    running = false;
                    if (platform::IsDeviceGoneError(error)) {
                        lost = error;
                    }
                }
                break;
            default:
                running = false;
                break;
        }
    }
    watch->watcherRunning.store(0);
    if (lost != 0) {
        watch->lostError.store(lost);
        watch->Call(CHANNEL_DEVICE_LOST);
    }
    watch->Call(CHANNEL_WATCHER_ENDED);
    ended->Set();
}

void SerialChannel::Dispatch(Watch& watch, const CommDeviceHandle& device, DWORD mask) {
    if (!watch.HasCallback()) {
        return;
    }
    DWORD modem = 0;
    device->GetCommModemStatus(modem);
    struct LineEvent {
        DWORD bit;
        DWORD status;
        ChannelEvent whenOn;
        ChannelEvent whenOff;
    };
    static constexpr LineEvent kLines[] = {
        {EV_CTS, MS_CTS_ON, CHANNEL_CTS_ON, CHANNEL_CTS_OFF},
        {EV_DSR, MS_DSR_ON, CHANNEL_DSR_ON, CHANNEL_DSR_OFF},
        {EV_RING, MS_RING_ON, CHANNEL_RING_ON, CHANNEL_RING_OFF},
        {EV_RLSD, MS_RLSD_ON, CHANNEL_CD_ON, CHANNEL_CD_OFF},
    };
    for (const LineEvent& line : kLines) {
        if (mask & line.bit) {
            watch.Call((modem & line.status) ? line.whenOn : line.whenOff);
        }
    }
    static constexpr std::pair<DWORD, ChannelEvent> kOthers[] = {
        {EV_RXCHAR, CHANNEL_RXCHAR}, {EV_ERR, CHANNEL_LINE_ERROR}, {EV_TXEMPTY, CHANNEL_TX_EMPTY},
        {EV_RXFLAG, CHANNEL_RXFLAG}, {EV_BREAK, CHANNEL_BREAK},    {EV_PERR, CHANNEL_PRINTER_ERROR},
        {EV_EVENT1, CHANNEL_EVENT1}, {EV_EVENT2, CHANNEL_EVENT2},
    };
    for (const auto& [bit, event] : kOthers) {
        if (mask & bit) {
            watch.Call(event);
        }
    }
}

bool SerialChannel::Open(std::string* failureText) {
    if (Open() == OPEN_SUCCESS) {
        return true;
    }
    if (failureText != nullptr) {
        *failureText = "Halvo2 Can't open the port!\r\n";
    }
    return false;
}

void SerialChannel::StartWatch() {
    if (!WatcherStarted()) {
        StartWatcher();
    }
}

void SerialChannel::BeginClose() {
    StopWatcher();
    // Closing the device also ends a write that flow control holds back and a wait for input.
    CloseDevice();
}

TransportRead SerialChannel::ReadQueued(char* buffer, DWORD maxBytes) {
    TransportRead read;
    // A closed channel's queue query fails quietly and reads as empty; through the transport
    // it is a failed read.
    if (!Device() || !Read(buffer, maxBytes, read.length)) {
        read.failed = true;
        read.length = 0;
        read.goneError = DeviceLostError();
    }
    return read;
}

InputWait SerialChannel::WaitForInput(DWORD milliseconds) {
    const CommDeviceHandle device = Device();
    if (!device) {
        return InputWait::Closed;
    }
    if (device->WaitForInput(milliseconds)) {
        return InputWait::Ready;
    }
    const DWORD error = platform::GetLastError();
    if (platform::IsDeviceGoneError(error)) {
        watch_->lostError.store(error);
        return InputWait::Gone;
    }
    return error == WAIT_TIMEOUT ? InputWait::TimedOut : InputWait::Failed;
}

bool SerialChannel::WriteAll(const char* data, DWORD length) {
    return Write(data, length) != 0;
}

void SerialChannel::WriteUncounted(const char* data, DWORD length) {
    if (const CommDeviceHandle device = Device()) {
        DWORD written = 0;
        device->WriteFile(data, length, written);
    }
}

TransportCounts SerialChannel::Counts() const {
    TransportCounts counts;
    counts.kbWritten = KbWritten();
    counts.kbRead = KbRead();
    counts.totalErrors = TotalErrors();
    counts.parityErrors = ParityErrors();
    counts.framingErrors = FramingErrors();
    counts.overrunErrors = OverrunErrors();
    return counts;
}

DWORD SerialChannel::SendPacingMs(bool /*patternSent*/, bool continuous) const {
    return continuous ? 50 : 25;
}
