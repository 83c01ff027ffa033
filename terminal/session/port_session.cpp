#include "terminal/session/port_session.h"

#include <algorithm>
#include <ctime>
#include <system_error>
#include <utility>

#include "platform/net/winsock.h"
#include "platform/system/debug_output.h"
#include "platform/system/last_error.h"
#include "terminal/net/socket_transport.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/serial/serial_channel.h"
#include "terminal/session/line_commands.h"
#include "terminal/session/port_error_box.h"
#include "terminal/session/port_file_transfer.h"
#include "terminal/session/port_tests.h"
#include "terminal/session/port_workers.h"
#include "terminal/session/process_events.h"
#include "terminal/session/render_received.h"
#include "terminal/session/settings_commands.h"
#include "terminal/session/view_flags.h"

using platform::EventHandle;
using Target = PortFrameLink::Target;

namespace {

constexpr const char* kPortClosedTrace = "Port is closed!\n";
constexpr const char* kPortNotOpenText = "Port is not open!\t";
constexpr const char* kDeviceLostText = "Halvo2 lost the port's device!\t\n";
constexpr const char* kReceiveFileRunningText =
    "\"Receive ASCII File\" is running at the moment!\t\nPlease stop that process before "
    "proceeding.";
constexpr const char* kSendFileRunningText =
    "\"Send ASCII File\" is running at the moment!\t\nPlease stop that process before "
    "proceeding.";

constexpr DWORD kReceiveEndWaitMs = 2000;
constexpr DWORD kSendEndWaitMs = 3000;
// The typed writer's write was ended by the device's close; its thread only has to return.
constexpr DWORD kTypedEndWaitMs = 1000;

constexpr WPARAM kOpenPortCommand = 32784;
constexpr unsigned kCtrlC = 3;
constexpr unsigned kCtrlH = 8;  // also the Backspace key, told apart by the scan code
constexpr unsigned kCtrlHScanCode = 0x23;
constexpr unsigned kCtrlO = 15;
constexpr unsigned kCtrlV = 22;

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

using WorkerFunction = void (*)(std::shared_ptr<PortShared>, std::uint32_t, EventHandle);

std::thread StartWorker(WorkerFunction worker, const std::shared_ptr<PortShared>& shared,
                        std::uint32_t generation, const EventHandle& ended) {
    try {
        return std::thread(worker, shared, generation, ended);
    } catch (const std::system_error&) {
        // Without its thread the worker counts as ended, so the close does not wait for it.
        platform::OutputDebugStringA("Halvo2 can't start a port worker!\n");
        ended->Set();
        return {};
    }
}

// Waits at most `milliseconds` for a worker's end event, then lets the thread go: joined when
// it ended, left to finish on its own (with its share of the port's state) when not.
void EndWorker(std::thread& thread, EventHandle& ended, DWORD milliseconds) {
    const bool done =
        !ended || platform::WaitForSingleObject(*ended, milliseconds) == WAIT_OBJECT_0;
    if (thread.joinable()) {
        if (done) {
            thread.join();
        } else {
            platform::OutputDebugStringA("Halvo2: a port worker did not end in time\n");
            thread.detach();
        }
    }
    ended.reset();
}

// A typed character's write: the device or connection of the open it was typed in, never a
// later one.
void WriteTyped(PortShared& shared, std::uint32_t generation, const char* bytes, DWORD length) {
    std::lock_guard lock(shared.deviceWriteMutex);
    if (!shared.Running(generation)) {
        return;
    }
    shared.transport->WriteUncounted(bytes, length);
}

// A socket port's name split into what its connection needs.
SocketTarget SocketTargetOf(const std::string& portName) {
    const SocketPortName fields = SplitSocketPortName(portName);
    SocketTarget target;
    target.ipAddress = fields.ipAddress;
    target.portText = fields.portText;
    target.tcpPort = SocketPortNumber(fields.portText);
    target.tlsEnabled = fields.tlsEnabled;
    target.clientCertificate = fields.clientCertificate;
    target.serverCertificate = fields.serverCertificate;
    return target;
}

// The port's transport by the kind of its name: a serial port's channel, with the window's
// watcher callback, or a socket port's connection, whose connect `interrupt` ends.
std::unique_ptr<PortTransport> MakeTransport(const std::string& portName, int portNumber,
                                             PortShared& shared, platform::PromptService& prompts,
                                             std::shared_ptr<platform::SocketWaker> interrupt) {
    if (portNumber == -1) {
        // The box comes from a short thread, as the port's other boxes do: the port thread
        // never waits for the user.
        auto invalidPortBox = [&prompts] {
            ShowPortErrorBox(prompts, kInvalidSocketPortText, kInvalidSocketPortCaption);
        };
        // Secure set-ups take turns through the process-wide "ssl" event.
        return std::make_unique<SocketTransport>(SocketTargetOf(portName),
                                                 std::move(invalidPortBox), std::move(interrupt),
                                                 SslSetupEvent());
    }
    auto channel = std::make_unique<SerialChannel>(portNumber, CopyDefaultPortConfig(), &shared);
    channel->SetCallback(PortChannelCallback);
    return channel;
}

}  // namespace

PortSession::PortSession(std::string portName, std::shared_ptr<PortFrameLink> link,
                         platform::PromptService& prompts)
    : portName_(std::move(portName)),
      display_(std::make_shared<DisplayBuffer>()),
      prompts_(prompts) {
    // A name too short to be a socket port's names a serial port.
    portNumber_ = portName_.size() < kShortestSocketPortName ? SerialPortNumber(portName_) : -1;
    shared_ = std::make_shared<PortShared>(portName_, std::move(link), display_, prompts_);
    if (portNumber_ == -1) {
        connectInterrupt_ = std::make_shared<platform::SocketWaker>();
    }
}

std::function<void()> PortSession::OpenInterrupter() const {
    return [waker = connectInterrupt_] {
        if (waker) {
            waker->Set();
        }
    };
}

PortSession::~PortSession() {
    if (shared_->isOpen.load() != 0) {
        ClosePort();
    }
    typedWriter_.Stop(kTypedEndWaitMs);
    shared_->logFile.Close();
}

void PortSession::Create() {
    if (shared_->transport) {
        return;
    }
    // A serial port's channel copies the default settings here, once for the window's life.
    shared_->transport =
        MakeTransport(portName_, portNumber_, *shared_, prompts_, connectInterrupt_);
    const DisplayFlags& flags = ProcessDisplayFlags();
    shared_->pattern =
        std::make_unique<TestPattern>(flags.continuousCharacter.load(), flags.character.load());
    shared_->receiveFileOpen = false;
    shared_->sendFileOpen = false;
    shared_->loopbackOn = 0;
    shared_->captureActive = 0;
    OpenClosePort();
    OnReceiveCommand();
}

PortTransport* PortSession::Transport() const {
    return shared_->transport.get();
}

void PortSession::OpenClosePort() {
    if (!shared_->transport) {
        return;
    }
    if (shared_->isOpen.load() == 0) {
        OpenPort();
    } else {
        ClosePort();
    }
}

void PortSession::OpenPort() {
    PortTransport& transport = *shared_->transport;
    std::string failure;
    if (!transport.Open(&failure)) {
        RenderReceived(*display_, failure.c_str(), -1);
        shared_->isOpen = 0;
        times_ = {};
        PostActivity(ACTIVITY_NOT_READY);
        return;
    }
    MarkOpen();
    if (IsSocket()) {
        // Before the workers start, so that the line comes ahead of anything received.
        const std::string notice = static_cast<SocketTransport&>(transport).OpenNotice();
        if (!notice.empty()) {
            RenderReceived(*display_, notice.c_str(), -1);
        }
    }
    transport.StartWatch();
    // A serial port raises its lines at every open; a socket port has none.
    if (transport.SerialDevice()) {
        RaiseSerialLines();
    }
    StartWorkers();
    PostActivity(ACTIVITY_READY);
}

void PortSession::MarkOpen() {
    openTime_ = Now();
    times_ = {};
    // The new number comes before the open flag, so that a worker of an earlier open that is
    // still running sees its open has ended.
    shared_->openGeneration.fetch_add(1);
    shared_->isOpen = 1;
    shared_->PostIndicator(ID_INDICATOR_OPEN, 1);
}

void PortSession::RaiseSerialLines() {
    // With CTS flow control RTS belongs to the handshake: it is shown as on, not raised.
    if (shared_->rtsOn.load() != 0 || CopyDefaultPortConfig().fOutxCtsFlow) {
        shared_->rtsOn = 1;
        shared_->PostIndicator(ID_INDICATOR_RTS, 1);
    } else {
        OnRtsCommand();
    }
    if (shared_->dtrOn.load() == 0) {
        OnDtrCommand();
    }
    DWORD status = 0;
    const platform::CommDeviceHandle device = shared_->transport->SerialDevice();
    if (device && device->GetCommModemStatus(status)) {
        static constexpr std::pair<DWORD, int> kLines[] = {
            {MS_CTS_ON, ID_INDICATOR_CTS},
            {MS_DSR_ON, ID_INDICATOR_DSR},
            {MS_RLSD_ON, ID_INDICATOR_CD},
            {MS_RING_ON, ID_INDICATOR_RING},
        };
        for (const auto& [bit, indicator] : kLines) {
            if (status & bit) {
                shared_->PostIndicator(indicator, 1);
            }
        }
    }
}

void PortSession::StartWorkers() {
    receiveEndedEvent_ = platform::Event::Create(false, false);
    sendEndedEvent_ = platform::Event::Create(false, false);
    const std::uint32_t generation = shared_->openGeneration.load();
    receiveThread_ = StartWorker(ReceiveWorker, shared_, generation, receiveEndedEvent_);
    sendThread_ = StartWorker(SendWorker, shared_, generation, sendEndedEvent_);
    const bool started =
        typedWriter_.Start([shared = shared_, generation](const char* bytes, DWORD length) {
            WriteTyped(*shared, generation, bytes, length);
        });
    if (!started) {
        platform::OutputDebugStringA("Halvo2 can't start the typed-character writer!\n");
    }
}

void PortSession::ClosePort() {
    PortShared& s = *shared_;
    // The flags go first, so the workers end at their next look whatever the close does next.
    s.isOpen = 0;
    s.sending = 0;
    s.receiving = 0;
    s.rtsOn = 0;
    s.dtrOn = 0;
    s.loopbackOn = 0;
    s.captureActive = 0;
    // Idle workers wait on their events; a receive worker waiting for input, and a write held
    // back, are ended by the transport's first step of the close.
    s.WakeWorkers();
    s.transport->BeginClose();
    // Every line pane goes off: the break, XOFF, toggle-low and loopback states end with the
    // device's close too.
    static constexpr int kClosedIndicators[] = {
        ID_INDICATOR_OPEN, ID_INDICATOR_DTR,  ID_INDICATOR_RTS,  ID_INDICATOR_DSR,
        ID_INDICATOR_CTS,  ID_INDICATOR_CD,   ID_INDICATOR_RING, ID_INDICATOR_LPBK,
        ID_INDICATOR_BRK,  ID_INDICATOR_XOFF, ID_INDICATOR_TGL,
    };
    for (int indicator : kClosedIndicators) {
        s.PostIndicator(indicator, 0);
    }
    EndWorker(receiveThread_, receiveEndedEvent_, kReceiveEndWaitMs);
    EndWorker(sendThread_, sendEndedEvent_, kSendEndWaitMs);
    typedWriter_.Stop(kTypedEndWaitMs);
    AskToStopTransfers(shared_, s.transport->Caption());
    // When the release fails the activity pane keeps what it shows.
    if (!s.transport->EndClose()) {
        return;
    }
    PostActivity(ACTIVITY_NOT_READY);
}

void PortSession::OnDeviceLost() {
    if (!shared_->transport || shared_->isOpen.load() == 0) {
        return;
    }
    const DWORD error = shared_->DeviceLostError();
    if (error == 0) {
        return;  // a report of an earlier open
    }
    ClosePort();
    if (IsSocket()) {
        // A connection's end is news of the peer, not a fault of this machine: a line in the
        // display says it, beside what the peer sent last.
        RenderReceived(*display_, SocketTransport::LostConnectionText(error).c_str(), -1);
        return;
    }
    const std::string message = kDeviceLostText + platform::FormatErrorMessage(error);
    PortErrorBox(message.c_str(), static_cast<long>(error));
}

void PortSession::ClosePortWindow() {
    if (shared_->isOpen.load() != 0) {
        OpenClosePort();
    }
    shared_->logFile.Close();
    shared_->receiveFileOpen = false;
    shared_->receiveFile.Close();
    shared_->sendFileOpen = false;
    shared_->sendFile.Close();
    shared_->Post(Target::Frame, WM_CLOSE, 0, 0);
}

bool PortSession::PortOpen() const {
    return shared_->transport && shared_->transport->IsOpen();
}

void PortSession::PostActivity(LPARAM code) const {
    shared_->PostIndicator(ID_INDICATOR_ACTIVITY, code);
}

void PortSession::OnReceiveCommand() {
    if (shared_->receiving.load() == 0) {
        StartReceiving();
    } else {
        StopReceiving();
    }
}

void PortSession::OnSendCommand() {
    if (shared_->sending.load() == 0) {
        StartSending();
    } else {
        StopSending();
    }
}

void PortSession::StartReceiving() {
    if (!PortOpen()) {
        platform::OutputDebugStringA(kPortClosedTrace);
        return;
    }
    if (shared_->receiveFileOpen.load()) {
        PortErrorBox(kReceiveFileRunningText, 0);
        return;
    }
    if (shared_->receiving.load() != 0) {
        return;
    }
    PortTransport& transport = *shared_->transport;
    transport.ResetReadCounts();
    receiveStartTime_ = Now();
    transport.StartWatch();
    shared_->receiving = 1;
    shared_->WakeWorkers();
    PostActivity(ActivityAfter(TransferChange::StartReceiving, shared_->Transfer()));
}

void PortSession::StopReceiving() {
    // Stopping on a closed port changes nothing, and must not show the port as ready.
    if (!PortOpen()) {
        return;
    }
    shared_->receiving = 0;
    PostActivity(ActivityAfter(TransferChange::StopReceiving, shared_->Transfer()));
}

void PortSession::StartSending() {
    if (!PortOpen()) {
        platform::OutputDebugStringA(kPortClosedTrace);
        return;
    }
    if (shared_->sendFileOpen.load()) {
        PortErrorBox(kSendFileRunningText, 0);
        return;
    }
    if (shared_->sending.load() != 0) {
        return;
    }
    PortTransport& transport = *shared_->transport;
    transport.ResetWrittenCount();
    sendStartTime_ = Now();
    transport.StartWatch();
    shared_->sending = 1;
    shared_->WakeWorkers();
    PostActivity(ActivityAfter(TransferChange::StartSending, shared_->Transfer()));
}

void PortSession::StopSending() {
    if (!PortOpen()) {
        return;
    }
    shared_->sending = 0;
    PostActivity(ActivityAfter(TransferChange::StopSending, shared_->Transfer()));
}

void PortSession::OnDtrCommand() {
    OnLineCommand(ID_DTR);
}

void PortSession::OnRtsCommand() {
    OnLineCommand(ID_RTS);
}

bool PortSession::OnLineCommand(int id) {
    return RunLineCommand(*shared_, id);
}

void PortSession::OnPortTestCommand(int id) {
    if (IsSocket()) {
        return;  // greyed for a socket port
    }
    if (!PortOpen()) {
        platform::OutputDebugStringA(kPortClosedTrace);
        PortErrorBox(kPortNotOpenText, 0);
        return;
    }
    const PortTestKind kind = id == ID_PNP_TEST ? PortTestKind::PnpId : PortTestKind::Loopback;
    if (!StartPortTest(shared_, kind, platform::CurrentPromptOwner())) {
        platform::OutputDebugStringA("Halvo2: a test of this port is running already\n");
    }
}

void PortSession::ApplyPortConfig(const PortConfig& config) {
    // A refused record (or a closed port) changes nothing and says nothing.
    ApplyPortConfigTo(*shared_, config);
}

bool PortSession::OnSettingsCommand(int id) {
    if (!IsSettingsCommand(id)) {
        return false;
    }
    StartSettingsCommand(id, shared_, platform::CurrentPromptOwner());
    return true;
}

void PortSession::OnChar(unsigned code, unsigned scanCode) {
    switch (code) {
        case kCtrlC:
            shared_->Post(Target::MdiClient, WM_MDICASCADE, 0, 0);
            return;
        case kCtrlH:
            if (scanCode == kCtrlHScanCode) {
                shared_->Post(Target::MdiClient, WM_MDITILE, MDITILE_HORIZONTAL, 0);
                return;
            }
            break;  // the Backspace key: sent like any other character
        case kCtrlO:
            // Posted, not sent: the port thread never waits for the main frame.
            shared_->Post(Target::MainFrame, WM_COMMAND, kOpenPortCommand, 0);
            return;
        case kCtrlV:
            shared_->Post(Target::MdiClient, WM_MDITILE, MDITILE_VERTICAL, 0);
            return;
        default:
            break;
    }
    // A code of 0 is an empty text and sends nothing; the display passes no code above 255.
    if (code == 0 || code > 255) {
        return;
    }
    SendTypedCharacter(static_cast<char>(static_cast<unsigned char>(code)));
}

void PortSession::SendTypedCharacter(char character) {
    // Nothing is written while the port is closed.
    if (!PortOpen()) {
        return;
    }
    typedWriter_.Queue(character);
}

bool PortSession::WaitTypedCharactersWritten(DWORD milliseconds) {
    return typedWriter_.WaitWritten(milliseconds);
}

void PortSession::ClearScreen() {
    DisplayBuffer::Locked edit = display_->Lock();
    edit.SetSel(0, static_cast<long long>(edit.GetTextLength()));
    edit.ScrollCaret();
    edit.ReplaceSel("");
}

void PortSession::SetReportView(bool on) {
    shared_->reportView = on ? 1 : 0;
}

ReportCounters PortSession::Counters() const {
    ReportCounters counters;
    if (const PortTransport* transport = shared_->transport.get()) {
        counters = transport->Counts();
    }
    return counters;
}

std::string PortSession::ReportText(std::int64_t now) {
    ReportActivity activity;
    activity.isOpen = shared_->isOpen.load() != 0;
    activity.sending = shared_->sending.load() != 0;
    activity.receiving = shared_->receiving.load() != 0;
    activity.openTime = openTime_;
    activity.sendStartTime = sendStartTime_;
    activity.receiveStartTime = receiveStartTime_;
    UpdateReportTimes(times_, activity, now);
    std::string text = FormatReport(times_, Counters());
    std::lock_guard lock(reportMutex_);
    lastReportText_ = text;
    return text;
}

std::string PortSession::LastReportText() const {
    std::lock_guard lock(reportMutex_);
    return lastReportText_;
}

void PortSession::PortErrorBox(const char* message, long code) {
    const PortTransport* transport = shared_->transport.get();
    ShowPortErrorBox(prompts_, FormatPortErrorText(message, code),
                     transport != nullptr ? transport->Caption() : std::string());
}

namespace {

PortPublishedState PublishedStateOf(const PortShared& shared) {
    PortPublishedState state;
    state.isOpen = shared.isOpen.load() != 0;
    state.receiving = shared.receiving.load() != 0;
    state.sending = shared.sending.load() != 0;
    state.dtrOn = shared.dtrOn.load() != 0;
    state.rtsOn = shared.rtsOn.load() != 0;
    state.loopbackOn = shared.loopbackOn.load() != 0;
    state.reportView = shared.reportView.load() != 0;
    state.testRunning = shared.testRunning.load();
    return state;
}

}  // namespace

PortPublishedState PortSession::PublishedState() const {
    return PublishedStateOf(*shared_);
}

std::function<PortPublishedState()> PortSession::PublishedStateReader() const {
    // Weak: the reader is kept by the frame's link, which the port's shared state holds.
    return [weak = std::weak_ptr<const PortShared>(shared_)] {
        const std::shared_ptr<const PortShared> shared = weak.lock();
        return shared ? PublishedStateOf(*shared) : PortPublishedState{};
    };
}

void PortSession::BeginCapture() {
    {
        std::lock_guard lock(shared_->captureMutex);
        shared_->captured.clear();
    }
    shared_->captureActive = 1;
}

std::string PortSession::CapturedText() const {
    std::lock_guard lock(shared_->captureMutex);
    return shared_->captured;
}

std::string PortSession::EndCapture() {
    shared_->captureActive = 0;
    std::lock_guard lock(shared_->captureMutex);
    return std::exchange(shared_->captured, std::string());
}
