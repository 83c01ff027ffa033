#pragma once
// One simulated serial device on the wire: its settings, its output lines and what the cable
// makes of its input lines, the characters waiting to go out, the receive queue with flow
// control, line errors and communication events. Every member is used with World's lock held.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>

#include "platform/comm/comm_types.h"
#include "platform/comm/sim_wire.h"
#include "platform/sync/event.h"

namespace platform::sim {

class SimCable;

struct InputLines {
    bool cts = false;
    bool dsr = false;
    bool rlsd = false;
    bool ring = false;
};

struct OutputLines {
    bool rts = false;
    bool dtr = false;
};

// A write waiting for the line. It lives on the writer's stack (or in the device that sends
// it) and stays queued until every byte has gone out, a time-out takes it back or an abort
// ends it.
struct WriteRequest {
    enum class State { Queued, Done, TimedOut, Aborted };
    std::span<const BYTE> data;
    DWORD sent = 0;
    State state = State::Queued;
};

// A read in line for the receive queue; reads are served one after the other, in order.
struct ReadRequest {
    bool aborted = false;
};

class SimStation {
  public:
    static constexpr DWORD kDefaultQueue = 16384;

    // A device end that answers on its own (the plug-and-play device) takes no input.
    explicit SimStation(bool takesInput = true);
    SimStation(const SimStation&) = delete;
    SimStation& operator=(const SimStation&) = delete;

    // --- settings -------------------------------------------------------------------------
    const DCB& State() const { return dcb_; }
    // Takes an already checked record and applies its line and flow-control modes at once.
    void ApplyState(const DCB& dcb);
    const COMMTIMEOUTS& Timeouts() const { return timeouts_; }
    void SetTimeouts(const COMMTIMEOUTS& timeouts) { timeouts_ = timeouts; }
    void SetQueueSizes(DWORD rx, DWORD tx);
    DWORD RxQueueSize() const { return rxSize_; }
    DWORD TxQueueSize() const { return txSize_; }

    // --- lines ----------------------------------------------------------------------------
    // An escape function: 0 or the error code that refuses it.
    DWORD Escape(DWORD function);
    void SetInternalLoopback(bool on);
    void SetToggleLow(bool on);
    DWORD ModemStatus() const;
    // What the cable sees of this end's outputs: nothing while the internal loopback keeps
    // them inside the device.
    OutputLines WireOutputs() const;
    // Reads the input lines again (the cable changed) and raises their events.
    void RefreshInputs();

    // --- events and errors ----------------------------------------------------------------
    void SetMask(DWORD mask);
    DWORD Mask() const { return mask_; }
    // 0: completed at once; ERROR_IO_PENDING: runs on; another code: refused.
    DWORD StartWait(DWORD* out, Event* done);
    DWORD WaitResult() const;
    DWORD TakeErrors();
    bool ErrorLatched() const { return errorLatched_; }
    COMSTAT Status() const;

    // --- data -----------------------------------------------------------------------------
    void QueueWrite(WriteRequest* request);
    void RemoveWrite(WriteRequest* request);
    // 0, or ERROR_BUSY while the previous immediate character waits for the line.
    DWORD QueueImmediate(BYTE c);
    void AddReader(ReadRequest* request);
    void RemoveReader(ReadRequest* request);
    bool IsFirstReader(const ReadRequest* request) const;
    DWORD TakeReceived(BYTE* out, DWORD max);
    void Purge(DWORD flags);
    // Counts the receive aborts (purges and the shutdown): an input wait that sees the count
    // change was ended by one.
    std::uint64_t ReadAborts() const { return readAborts_; }
    bool Closed() const { return closed_; }
    // Ends every outstanding call; the end takes no further part on the wire.
    void Shutdown();
    // The device is pulled out: as Shutdown, and every call on it fails from now on.
    void Unplug() {
        gone_ = true;
        Shutdown();
    }
    bool Gone() const { return gone_; }
    // Blocked readers and writers wait here for anything that may concern them.
    std::condition_variable& Changed() { return changed_; }

    // --- the cable and the engine ---------------------------------------------------------
    void SetCable(SimCable* cable) { cable_ = cable; }
    void Receive(BYTE c, const FrameFormat& senderFormat);
    void ReceiveBreak();
    bool Transmitting() const { return transmitting_; }
    Clock::time_point NextCharacterEnd() const;
    // Puts on the line every character whose time is over by `now`.
    void Pump(Clock::time_point now, Clock::duration catchUp);
    void NotifyIfChanged();

  private:
    enum class Next { None, Control, Immediate, Data };

    Next NextCharacter() const;
    BYTE TakeCharacter(Next kind);
    void Deliver(BYTE c);
    SimStation* Sink() const;
    void Kick();
    void GoIdle();
    void SetToggleLevel(bool sending);
    void LinesChanged();
    void RaiseEvents(DWORD events);
    void AddErrors(DWORD errors);
    void AbortReads();
    void AbortWrites();
    bool ReceiveQueueHigh() const;
    bool ReceiveQueueLow() const;
    void UpdateReceiveFlow();
    void SendControl(BYTE c);
    bool CtsHold() const { return dcb_.fOutxCtsFlow && !inputs_.cts; }
    bool DsrHold() const { return dcb_.fOutxDsrFlow && !inputs_.dsr; }
    bool XoffSentHold() const { return dcb_.fInX && xoffSent_ && !dcb_.fTXContinueOnXoff; }

    const bool takesInput_;
    SimCable* cable_ = nullptr;
    bool closed_ = false;
    bool gone_ = false;

    DCB dcb_;
    FrameFormat format_;
    COMMTIMEOUTS timeouts_;
    DWORD rxSize_ = kDefaultQueue;
    DWORD txSize_ = kDefaultQueue;

    bool rts_ = false;
    bool dtr_ = false;
    bool break_ = false;
    bool internalLoopback_ = false;
    bool toggleLow_ = false;
    InputLines inputs_;

    bool xoffHold_ = false;          // an XOFF came in (or SETXOFF): data waits for XON
    bool xoffSent_ = false;          // the receive queue asked the peer to stop
    std::optional<BYTE> control_;    // XON or XOFF of the receive flow control, first in line
    std::optional<BYTE> immediate_;  // TransmitCommChar, ahead of the written data
    std::deque<WriteRequest*> writes_;
    // The transmitter's own buffer: the last bytes of a write that is being sent move here so
    // that the write completes while they go out, and the next write follows without a gap,
    // as a UART's transmit FIFO lets it.
    std::deque<BYTE> fifo_;
    std::size_t FifoDepth() const;
    bool transmitting_ = false;
    Clock::time_point lineFree_{};  // when the character now on the line ends

    std::deque<BYTE> rx_;
    std::deque<ReadRequest*> readers_;
    std::uint64_t readAborts_ = 0;

    DWORD mask_ = 0;
    DWORD history_ = 0;  // events of the mask that came while no wait was outstanding
    enum class Wait { None, Pending, Done, Aborted } wait_ = Wait::None;
    DWORD* waitOut_ = nullptr;
    Event* waitDone_ = nullptr;

    DWORD errors_ = 0;
    bool errorLatched_ = false;  // fAbortOnError: calls fail until ClearCommError

    std::condition_variable changed_;
    bool dirty_ = false;
};

}  // namespace platform::sim
