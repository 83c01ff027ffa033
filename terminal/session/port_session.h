#pragma once
// Everything one port window is and does apart from drawing: the port's transport and display,
// its flags, open and close, the two data workers, typed characters, the DTR and RTS lines and
// the error box. It runs on the port's own thread (every public operation is called there);
// the workers, the channel's watcher and the short threads of error boxes only read its flags
// and post to the frame through the link, so nothing here ever waits for the GUI thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sync/event.h"
#include "platform/ui/prompts.h"
#include "terminal/config/port_config.h"
#include "terminal/session/display_buffer.h"
#include "terminal/session/line_commands.h"
#include "terminal/session/port_frame_link.h"
#include "terminal/session/port_messages.h"
#include "terminal/session/port_name.h"
#include "terminal/session/port_typed_writer.h"
#include "terminal/session/statistics_report.h"
#include "terminal/transport/port_transport.h"

struct PortShared;
namespace platform {
class SocketWaker;
}

// What the port publishes for menu and toolbar states; read by the GUI thread without waiting.
struct PortPublishedState {
    bool isOpen = false;
    bool receiving = false;
    bool sending = false;
    bool dtrOn = false;
    bool rtsOn = false;
    bool loopbackOn = false;
    bool reportView = false;
    // A loopback or PnP test runs: the two test commands are refused until it ends.
    bool testRunning = false;
};

class PortSession {
  public:
    // `portName` is the frame's title. The prompt service shows the error boxes.
    PortSession(std::string portName, std::shared_ptr<PortFrameLink> link,
                platform::PromptService& prompts);
    // Closes the port if it is still open and releases what the workers no longer share.
    ~PortSession();
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // The view's creation: the channel from a copy of the process-wide default settings, the
    // test pattern, the open, and receiving switched on.
    void Create();

    void OpenClosePort();
    // Ends a socket port's connect in progress, and every later one, from any thread: the
    // window's close calls it before it waits for the port thread. Does nothing for a serial
    // port. Taken on the GUI thread before the port thread starts; holds no share of the port.
    std::function<void()> OpenInterrupter() const;
    // UWM_DEVICE_LOST, passed on by the frame: a worker or the watcher found the device gone.
    // Closes the port as Open / Close does (the indicators go off, "Not Ready") and shows one
    // error box with the system's text; Open / Close opens the device again once it is back.
    // Does nothing when the port has been closed or opened again since the report.
    void OnDeviceLost();
    // Closes the port if open, closes the log file, posts WM_CLOSE to the frame.
    void ClosePortWindow();

    // The Receive (32798) and Send (32797) commands: start when off, stop when on.
    void OnReceiveCommand();
    void OnSendCommand();
    void StartReceiving();
    void StopReceiving();
    void StartSending();
    void StopSending();

    // The DTR (32776) and RTS (32777) commands: toggle the line on the open device.
    void OnDtrCommand();
    void OnRtsCommand();
    // A line command by its menu id (DTR, RTS, Loopback, XON/XOFF, break, toggle low, the
    // purges, the immediate character): on a closed port its text, else the driver's answer
    // in its pane or its error box. False when `id` is no line command.
    bool OnLineCommand(int id);
    // The Loopback Test (32800) and PnP ID Test (32801) commands: the test on a short thread of
    // its own; on a closed port the "not open" box, while a test runs nothing.
    void OnPortTestCommand(int id);
    // Line settings for the open device (the all-port request UWM_APPLY_DEFAULTS); not kept as
    // the port's own settings.
    void ApplyPortConfig(const PortConfig& config);
    // A settings command by its menu id (Port Settings, Miscellaneous, Timeouts, Events, Queue
    // Size): its dialog on a short thread, or the closed texts at once. False when `id` is no
    // settings command.
    bool OnSettingsCommand(int id);

    // A typed character (WM_CHAR): code 0..255 and the key's scan code.
    void OnChar(unsigned code, unsigned scanCode);

    // Receive ASCII (32803) and Send ASCII (32802) file: on an open port each runs its
    // procedure on a short thread of its own (port_file_transfer.h); on a closed one the
    // error box "Port is not open!".
    void OnReceiveFileCommand();
    void OnSendFileCommand();
    // Send ASCII / HEX String (57688): the string sender dialog on a short thread, and its
    // bytes written once through the port's transport.
    void OnSendStringCommand();
    // Save As (32785) and Print (32786) of what the window shows: the report while it is
    // shown, else the display's whole text.
    void OnSaveAs();
    void OnPrint();

    void ClearScreen();
    // Change View: the receive worker counts but does not show data while the report is shown.
    void SetReportView(bool on);
    // Brings the report times up to `now` and formats the report (kept as the last drawn text).
    std::string ReportText(std::int64_t now);
    std::string LastReportText() const;
    // The channel's counters as the report shows them: the received kilobytes and the line
    // errors since receiving was last switched on, the written kilobytes since sending was
    // (each start clears only its own direction's counts).
    ReportCounters Counters() const;

    // A message box with `message` (and "(error code: %ld)" when code is not 0), captioned with
    // the device path, shown from a short thread; returns at once.
    void PortErrorBox(const char* message, long code);

    const std::string& PortName() const { return portName_; }
    bool IsSocket() const { return portNumber_ == -1; }
    int PortNumber() const { return portNumber_; }
    DisplayBuffer& Display() { return *display_; }
    std::shared_ptr<DisplayBuffer> SharedDisplay() const { return display_; }
    // The port's transport (a serial port's channel or a socket port's connection); null
    // before Create().
    PortTransport* Transport() const;
    PortPublishedState PublishedState() const;
    // The same, readable from any thread for as long as the reader is kept; it holds no share
    // of the port, and once the port has gone it reads everything off.
    std::function<PortPublishedState()> PublishedStateReader() const;

    // Waits until every typed character handed over so far has been written (for tests and
    // benchmarks); false after `milliseconds` without that.
    bool WaitTypedCharactersWritten(DWORD milliseconds);

    // The loopback test's capture: while it is on, received blocks go to the capture only
    // (at most 9 characters, each block up to its first zero byte), not to the display.
    void BeginCapture();
    // What the capture holds so far.
    std::string CapturedText() const;
    // Ends the capture and returns what it collected.
    std::string EndCapture();

  private:
    void OpenPort();
    void MarkOpen();
    void RaiseSerialLines();
    void StartWorkers();
    void ClosePort();
    bool PortOpen() const;
    void SendTypedCharacter(char character);
    void PostActivity(LPARAM code) const;

    std::string portName_;
    int portNumber_ = 0;
    std::shared_ptr<DisplayBuffer> display_;
    std::shared_ptr<PortShared> shared_;
    platform::PromptService& prompts_;
    // A socket port's connect ends as soon as this is set; null for a serial port.
    std::shared_ptr<platform::SocketWaker> connectInterrupt_;

    std::thread receiveThread_;
    std::thread sendThread_;
    platform::EventHandle receiveEndedEvent_;
    platform::EventHandle sendEndedEvent_;
    PortTypedWriter typedWriter_;

    // Seconds since 1970.
    std::int64_t openTime_ = 0;
    std::int64_t sendStartTime_ = 0;
    std::int64_t receiveStartTime_ = 0;
    ReportTimes times_;
    mutable std::mutex reportMutex_;
    std::string lastReportText_;
};
