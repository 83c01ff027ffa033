#pragma once
// The two data workers of an open port and the state they share with the port thread. The
// receive worker takes what the driver holds every cycle and hands it to the log file, the
// loopback capture or the display; the send worker writes the test pattern over and over.
//
// Everything a worker touches lives in PortShared, which the port thread and every worker
// hold a share of: a worker that outlives the close's waits (inside a long write, or waiting
// for the answer to a box) never touches freed memory, and the waits only decide how long the
// close waits. The flags are atomics written by the port thread and read once a cycle.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sync/event.h"
#include "platform/ui/prompts.h"
#include "terminal/serial/serial_channel.h"
#include "terminal/session/display_buffer.h"
#include "terminal/session/file_transfer.h"
#include "terminal/session/log_file.h"
#include "terminal/session/port_activity.h"
#include "terminal/session/port_frame_link.h"
#include "terminal/session/test_pattern.h"
#include "terminal/transport/port_transport.h"

struct PortShared {
    PortShared(std::string name, std::shared_ptr<PortFrameLink> frameLink,
               std::shared_ptr<DisplayBuffer> displayBuffer,
               platform::PromptService& promptService);
    ~PortShared();
    PortShared(const PortShared&) = delete;
    PortShared& operator=(const PortShared&) = delete;

    void Post(PortFrameLink::Target target, UINT message, WPARAM wParam, LPARAM lParam) const;
    void PostIndicator(int id, LPARAM state) const;
    TransferState Transfer() const;

    // True while the workers of the open numbered `generation` should go on: a worker left
    // over from an earlier open must not take the place of the new open's workers.
    bool Running(std::uint32_t generation) const {
        return isOpen.load() != 0 && openGeneration.load() == generation;
    }

    // A worker or the watcher of the open numbered `generation` found its device gone with
    // `error`. The first report of an open still running asks the port thread, through the
    // frame, to close the port (UWM_DEVICE_LOST); later ones, and reports of an open that has
    // already ended, change nothing, so the user hears of one loss once.
    void ReportDeviceLost(std::uint32_t generation, DWORD error);
    // The error of the loss reported for the current open, or 0 when none was.
    DWORD DeviceLostError() const;

    // Wakes both workers from their idle waits, so that a start, the close or a file
    // transfer takes effect at once rather than at the end of the wait.
    void WakeWorkers() const;

    // Keeps the loopback test's bytes: at most kCaptureChars characters, up to the first
    // zero byte of each block.
    void Capture(const char* bytes, std::size_t length);
    static constexpr std::size_t kCaptureChars = 9;

    const std::string portName;
    const std::shared_ptr<PortFrameLink> link;
    const std::shared_ptr<DisplayBuffer> display;
    platform::PromptService& prompts;

    std::atomic<int> isOpen{0};
    std::atomic<int> receiving{0};
    std::atomic<int> sending{0};
    std::atomic<int> captureActive{0};
    std::atomic<int> reportView{0};
    std::atomic<int> showWhileReceivingFile{0};
    std::atomic<int> dtrOn{0};
    std::atomic<int> rtsOn{0};
    std::atomic<int> loopbackOn{0};
    // Set while a loopback or PnP test of the port runs (one at a time).
    std::atomic<bool> testRunning{false};
    // Set by the file transfers while their stream is open.
    std::atomic<bool> receiveFileOpen{false};
    std::atomic<bool> sendFileOpen{false};
    // Counts the opens; each open's workers carry its number.
    std::atomic<std::uint32_t> openGeneration{0};

    // A worker with nothing to do waits on its own event (auto-reset) instead of waking every
    // cycle; WakeWorkers sets both. One each, since a set wakes a single waiter.
    const platform::EventHandle receiveWork = platform::Event::Create(false, false);
    const platform::EventHandle sendWork = platform::Event::Create(false, false);
    // The cycles each worker has run, over every open: what an idle port costs in wake-ups.
    std::atomic<std::uint64_t> receiveCycles{0};
    std::atomic<std::uint64_t> sendCycles{0};
    // The receive cycles that followed a full block at once, without a wait.
    std::atomic<std::uint64_t> receiveReadsAgain{0};

    // Built at the window's creation, before any worker starts; read only afterwards.
    std::unique_ptr<TestPattern> pattern;
    // The send worker's pattern writes and the typed characters must not overlap on the device.
    std::mutex deviceWriteMutex;
    LogFile logFile;
    // The file transfers' streams, opened and stopped on their dialog threads.
    ReceiveFile receiveFile;
    SendFile sendFile;
    // How the end of the send file is announced: a socket port's notice waits for the time
    // its bytes would take at 9600 bit/s. Set before sendFileOpen.
    std::atomic<bool> sendFileTimedByCount{false};
    // The bytes of the current send file that went out.
    std::atomic<std::uint64_t> sendFileCount{0};

    std::mutex captureMutex;
    std::string captured;

    mutable std::mutex lostMutex;
    std::uint32_t lostGeneration = 0;  // the open whose loss was reported; 0: none
    DWORD lostError = 0;

    // Last, so it is released first: a serial port's watcher thread calls back into this
    // object until the channel's destructor has taken the callback away.
    std::unique_ptr<PortTransport> transport;
};

// The channel callback of a serial port window; `owner` is the PortShared.
void PortChannelCallback(SerialChannel* channel, void* owner, ChannelEvent event);

// The longest an idle worker waits before it looks at its flags again; a start, a close and
// arriving data end the wait sooner.
constexpr DWORD kIdleWaitMs = 500;

// The wait at the end of a receive cycle that did some work. `continuous` is the continuous
// character's option (/F). The send worker's pacing is its transport's.
DWORD ReceivePacingMs(bool continuous);

// The worker loops; each runs until it sees its open ended, then sets `ended`. A null state
// ends the worker at once.
void ReceiveWorker(std::shared_ptr<PortShared> shared, std::uint32_t generation,
                   platform::EventHandle ended);
void SendWorker(std::shared_ptr<PortShared> shared, std::uint32_t generation,
                platform::EventHandle ended);
