#include "terminal/session/port_tests.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/comm/comm_device.h"
#include "platform/sync/event.h"
#include "platform/system/debug_output.h"
#include "platform/ui/prompts.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/serial/serial_channel.h"
#include "terminal/session/line_commands.h"
#include "terminal/session/port_activity.h"
#include "terminal/session/port_workers.h"
#include "terminal/session/short_threads.h"

namespace {

constexpr DWORD kSettleMs = 200;
constexpr DWORD kPnpLinesOffMs = 1000;
// Beyond the string's line time: a receive cycle and the reads that gather its blocks.
constexpr DWORD kDataMarginMs = 250;
// A step that waits for the port's threads never waits longer than this.
constexpr DWORD kStepLimitMs = 3000;
constexpr DWORD kPollMs = 5;
// The device control block's length the tests save the state with.
constexpr DWORD kSavedDcbLength = 28;
constexpr DWORD kPnpBaudRate = 1200;

constexpr const char* kPlaceLoopbackText = "Place the loopback plug on the port.";
constexpr const char* kPassedText = "Port passed the loopback test.";
constexpr const char* kPassedRingText = "Port passed the loopback test.\t\n\n(RING present)";
constexpr const char* kFailedText = "Loopback Test failed!\t";
constexpr const char* kPnpToggleText = "This will toggle RTS,DTR to retrieve PnP ID.";
constexpr const char* kPnpSetupText = "Setup to 1200,7,n,1?";
constexpr const char* kPnpNoDataText = "No PnP data received!";
constexpr const char* kPnpPassedText = "PnP ID Test passed.";

// The test threads.
ShortThreads& Running() {
    // Never destroyed: a test thread may end after the statics of the program are gone.
    static ShortThreads* running = new ShortThreads();
    return *running;
}

// One test's view of its port: the open it belongs to, the device of that open and the boxes.
class TestRun {
  public:
    TestRun(const std::shared_ptr<PortShared>& shared, std::uint32_t generation)
        : shared_(*shared), generation_(generation) {
        if (shared_.transport) {
            device_ = shared_.transport->SerialDevice();
            caption_ = shared_.transport->Caption();
        }
    }

    // False once the open the test belongs to has ended: every step after that is left out.
    bool Alive() const { return device_ && shared_.Running(generation_); }

    // Waits `milliseconds`, or less when the open ends; false then.
    bool Pause(DWORD milliseconds) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (Alive()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= end) {
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
            platform::Sleep(static_cast<DWORD>(std::min<long long>(left, kPollMs)));
        }
        return false;
    }

    // Waits until `done` holds or `milliseconds` passed; false when the open ended first.
    template <typename Condition>
    bool PauseUntil(DWORD milliseconds, Condition done) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (Alive()) {
            if (done() || std::chrono::steady_clock::now() >= end) {
                return true;
            }
            platform::Sleep(kPollMs);
        }
        return false;
    }

    // A box of the test, captioned with the device path. A box answered after the open ended
    // (the close takes a port's boxes down with Cancel) counts as not answered: nullopt.
    std::optional<int> Box(const char* text, UINT style) const {
        if (!Alive()) {
            return std::nullopt;
        }
        const int answer = shared_.prompts.MessageBox(text, caption_, style);
        if (!Alive()) {
            return std::nullopt;
        }
        return answer;
    }

    // Brings a remembered line to `on` with its line command, only where it differs.
    void SetLine(int command, const std::atomic<int>& flag, bool on) {
        if (Alive() && (flag.load() != 0) != on) {
            RunLineCommand(shared_, command);
        }
    }

    void StopSending() {
        shared_.sending = 0;
        PostActivity(TransferChange::StopSending);
    }
    void RestoreSending() {
        shared_.sending = 1;
        shared_.WakeWorkers();
        PostActivity(TransferChange::StartSending);
    }

    PortShared& Shared() { return shared_; }
    platform::CommDevice& Device() { return *device_; }

  private:
    void PostActivity(TransferChange change) {
        shared_.PostIndicator(ID_INDICATOR_ACTIVITY, ActivityAfter(change, shared_.Transfer()));
    }

    PortShared& shared_;
    const std::uint32_t generation_;
    platform::CommDeviceHandle device_;
    std::string caption_;
};

bool IsHandshake(const DCB& dcb) {
    return dcb.fDtrControl >= DTR_CONTROL_HANDSHAKE || dcb.fRtsControl >= RTS_CONTROL_HANDSHAKE;
}

// The saved device state, and the manual line modes the tests need when it has handshake
// modes; true when the device took the working copy, which must then be undone.
bool SaveAndTakeLines(platform::CommDevice& device, DCB& saved) {
    saved = DCB{};
    saved.DCBlength = kSavedDcbLength;
    device.GetCommState(saved);
    if (!IsHandshake(saved)) {
        return false;
    }
    DCB working = saved;
    working.fDtrControl = DTR_CONTROL_DISABLE;
    working.fRtsControl = RTS_CONTROL_DISABLE;
    return device.SetCommState(working) != FALSE;
}

// The four phases of the modem-line check: the levels of RTS and DTR, and the result bit set
// when the inputs do not answer as a plug joins them.
struct Phase {
    bool rts;
    bool dtr;
    DWORD bit;
    bool (*wrong)(DWORD status);
};

constexpr DWORD kInputs = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;

constexpr Phase kPhases[] = {
    {false, false, 0x1, [](DWORD s) { return (s & kInputs) != 0; }},
    {true, false, 0x2, [](DWORD s) { return !((s & MS_CTS_ON) && !(s & MS_DSR_ON)); }},
    {false, true, 0x4, [](DWORD s) { return !((s & MS_DSR_ON) && !(s & MS_CTS_ON)); }},
    {true, true, 0x8, [](DWORD s) { return (s & kInputs) != kInputs; }},
};

// What the data check got back: the capture, once the worker has handed over every block it
// read. Empty when the open ended on the way.
std::optional<std::string> DataCheck(TestRun& run, const DCB& line) {
    PortShared& shared = run.Shared();
    {
        std::lock_guard lock(shared.captureMutex);
        shared.captured.clear();
    }
    shared.captureActive = 1;
    shared.receiving = 1;
    if (!run.Alive()) {
        // The close came between: it must not leave a capture or receiving on for the next
        // open of the port.
        shared.captureActive = 0;
        shared.receiving = 0;
        return std::nullopt;
    }
    shared.WakeWorkers();
    bool written = false;
    {
        std::lock_guard lock(shared.deviceWriteMutex);
        written = shared.transport->WriteAll(kLoopbackTestString, kLoopbackTestBytes);
    }
    const auto captured = [&shared] {
        std::lock_guard lock(shared.captureMutex);
        return shared.captured;
    };
    const std::string expected = kLoopbackTestString;
    if (written &&
        !run.PauseUntil(LoopbackDataWaitMs(line), [&] { return captured() == expected; })) {
        return std::nullopt;
    }
    // The terminating zero comes one character after the text; nothing of the string may
    // reach the display once the capture ends, so what is still queued is dropped and the
    // worker's block in hand, if any, is handed over before the capture ends.
    if (!run.Pause(LineTimeMs(line, 2))) {
        return std::nullopt;
    }
    run.Device().PurgeComm(PURGE_RXCLEAR);
    const std::uint64_t cycle = shared.receiveCycles.load();
    if (!run.PauseUntil(kStepLimitMs, [&] { return shared.receiveCycles.load() != cycle; })) {
        return std::nullopt;
    }
    shared.captureActive = 0;
    std::lock_guard lock(shared.captureMutex);
    return std::exchange(shared.captured, std::string());
}

// Bytes queued in the device's input, or 0 when the query failed.
DWORD QueuedInput(PortShared& shared, platform::CommDevice& device) {
    COMSTAT stat;
    if (auto* channel = dynamic_cast<SerialChannel*>(shared.transport.get())) {
        channel->ClearErrors(stat);
        return stat.cbInQue;
    }
    DWORD errors = 0;
    return device.ClearCommError(errors, &stat) ? stat.cbInQue : 0;
}

}  // namespace

DWORD LineTimeMs(const DCB& dcb, DWORD chars) {
    // Twice the bits, so one and a half stop bits count exactly.
    DWORD halfBits = 2 * (1 + dcb.ByteSize) + (dcb.Parity != NOPARITY ? 2 : 0);
    halfBits += dcb.StopBits == ONESTOPBIT ? 2 : dcb.StopBits == ONE5STOPBITS ? 3 : 4;
    const std::uint64_t rate = std::max<DWORD>(platform::LineBitRate(dcb.BaudRate), 1);
    const std::uint64_t halfBitsTotal = std::uint64_t{halfBits} * chars * 1000;
    return static_cast<DWORD>((halfBitsTotal + 2 * rate - 1) / (2 * rate));
}

DWORD LoopbackDataWaitMs(const DCB& dcb) {
    return LineTimeMs(dcb, kLoopbackTestBytes) + kDataMarginMs;
}

void LoopbackTest(const std::shared_ptr<PortShared>& shared, std::uint32_t generation) {
    TestRun run(shared, generation);
    PortShared& s = *shared;
    if (run.Box(kPlaceLoopbackText, MB_OKCANCEL) != IDOK) {
        return;
    }
    const bool wasSending = s.sending.load() != 0;
    const bool wasReceiving = s.receiving.load() != 0;
    const bool rtsBefore = s.rtsOn.load() != 0;
    const bool dtrBefore = s.dtrOn.load() != 0;
    if (wasSending) {
        run.StopSending();
    }
    if (s.loopbackOn.load() != 0) {
        run.SetLine(ID_INTERNAL_LOOPBACK, s.loopbackOn, false);
    }
    run.Device().PurgeComm(PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (!run.Pause(kSettleMs)) {
        return;
    }
    DCB saved;
    const bool modesTaken = SaveAndTakeLines(run.Device(), saved);

    DWORD result = 0;
    DWORD ringByPhase[2] = {};
    for (std::size_t i = 0; i < std::size(kPhases); ++i) {
        const Phase& phase = kPhases[i];
        run.SetLine(ID_RTS, s.rtsOn, phase.rts);
        run.SetLine(ID_DTR, s.dtrOn, phase.dtr);
        if (!run.Pause(kSettleMs)) {
            return;
        }
        DWORD status = 0;
        run.Device().GetCommModemStatus(status);
        if (phase.wrong(status)) {
            result |= phase.bit;
        }
        if (i < 2) {
            ringByPhase[i] = status & MS_RING_ON;
        }
    }
    const bool ringPresent = ringByPhase[0] == 0 && ringByPhase[1] != 0;
    if (modesTaken) {
        run.Device().SetCommState(saved);
    }

    const std::optional<std::string> back = DataCheck(run, saved);
    if (!back) {
        return;
    }
    if (*back != kLoopbackTestString) {
        result |= 0x10;
    }

    // The port is left as the test found it: its lines (where the driver does not own them),
    // sending and receiving.
    if (!modesTaken) {
        run.SetLine(ID_RTS, s.rtsOn, rtsBefore);
        run.SetLine(ID_DTR, s.dtrOn, dtrBefore);
    }
    if (!run.Alive()) {
        return;
    }
    s.receiving = wasReceiving ? 1 : 0;
    if (wasSending) {
        run.RestoreSending();
    }
    if (!run.Alive()) {
        // Closed in between: the close's flags stand.
        s.receiving = 0;
        s.sending = 0;
        return;
    }

    if (result <= 1) {
        const char* text = ringPresent ? kPassedRingText : kPassedText;
        platform::OutputDebugStringA(text);
        run.Box(text, MB_ICONINFORMATION);
        return;
    }
    char trace[80];
    std::snprintf(trace, sizeof trace, "Loopback Test failed! (Error code:%lxH)",
                  static_cast<unsigned long>(result));
    platform::OutputDebugStringA(trace);
    run.Box(kFailedText, MB_ICONHAND);
}

void PnpIdTest(const std::shared_ptr<PortShared>& shared, std::uint32_t generation) {
    TestRun run(shared, generation);
    PortShared& s = *shared;
    const int wasSending = s.sending.exchange(0);
    const int wasReceiving = s.receiving.exchange(0);
    // Only an open that is still the test's own gets its flags back: a close has cleared them.
    const auto restoreTransfer = [&] {
        if (run.Alive()) {
            s.sending = wasSending;
            s.receiving = wasReceiving;
            if (!run.Alive()) {
                s.sending = 0;  // closed in between: the close's flags stand
                s.receiving = 0;
            }
            s.WakeWorkers();
        }
    };
    if (run.Box(kPnpToggleText, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
        restoreTransfer();
        return;
    }
    if (s.loopbackOn.load() != 0) {
        run.SetLine(ID_INTERNAL_LOOPBACK, s.loopbackOn, false);
    }
    run.Device().PurgeComm(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (!run.Pause(kSettleMs)) {
        return;
    }
    DCB saved;
    bool changed = SaveAndTakeLines(run.Device(), saved);
    DCB working = saved;
    if (changed) {
        working.fDtrControl = DTR_CONTROL_DISABLE;
        working.fRtsControl = RTS_CONTROL_DISABLE;
    }
    if (working.BaudRate != kPnpBaudRate || working.ByteSize != 7 || working.Parity != NOPARITY ||
        working.StopBits != ONESTOPBIT) {
        const std::optional<int> answer = run.Box(kPnpSetupText, MB_YESNO);
        if (!answer) {
            return;
        }
        if (*answer == IDYES) {
            working.BaudRate = kPnpBaudRate;
            working.ByteSize = 7;
            working.Parity = NOPARITY;
            working.StopBits = ONESTOPBIT;
            // The port's own settings come back after the test whatever made them change.
            changed = run.Device().SetCommState(working) != FALSE || changed;
        }
    }

    run.SetLine(ID_RTS, s.rtsOn, false);
    run.SetLine(ID_DTR, s.dtrOn, false);
    if (!run.Pause(kPnpLinesOffMs)) {
        return;
    }
    run.SetLine(ID_DTR, s.dtrOn, true);
    if (!run.Pause(kSettleMs)) {
        return;
    }
    run.SetLine(ID_RTS, s.rtsOn, true);
    if (!run.Pause(kSettleMs)) {
        return;
    }

    DCB line = working;
    run.Device().GetCommState(line);
    if (QueuedInput(s, run.Device()) == 0) {
        run.Box(kPnpNoDataText, MB_ICONHAND);
    } else {
        run.Box(kPnpPassedText, MB_ICONINFORMATION);
        // The identification is dropped, not shown: the rest of it is let arrive first, so
        // that none of it reaches the display once receiving is back on.
        DWORD queued = QueuedInput(s, run.Device());
        const DWORD quietMs = std::max<DWORD>(LineTimeMs(line, 4), 20);
        bool quiet = false;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStepLimitMs);
        while (!quiet && std::chrono::steady_clock::now() < end) {
            if (!run.Pause(quietMs)) {
                return;
            }
            const DWORD now = QueuedInput(s, run.Device());
            quiet = now == queued;
            queued = now;
        }
        run.Device().PurgeComm(PURGE_RXCLEAR);
    }
    if (!run.Alive()) {
        return;
    }
    if (changed) {
        run.Device().SetCommState(saved);
    }
    restoreTransfer();
}

bool StartPortTest(const std::shared_ptr<PortShared>& shared, PortTestKind kind,
                   platform::PromptOwner owner) {
    bool idle = false;
    if (!shared->testRunning.compare_exchange_strong(idle, true)) {
        return false;
    }
    // The thread keeps its share of the port: a window closed under it leaves its state alive
    // until the test has seen the close and ended.
    auto body = [shared, kind, owner, generation = shared->openGeneration.load()] {
        {
            platform::PromptOwnerScope scope(owner);
            if (kind == PortTestKind::Loopback) {
                LoopbackTest(shared, generation);
            } else {
                PnpIdTest(shared, generation);
            }
        }
        shared->testRunning = false;
    };
    if (!Running().Start(std::move(body), "Halvo2 can't start the port test!\n")) {
        shared->testRunning = false;
        return false;
    }
    return true;
}

bool WaitForPortTests(unsigned long milliseconds) {
    return Running().WaitIdle(milliseconds);
}
