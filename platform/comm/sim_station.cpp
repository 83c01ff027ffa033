#include "platform/comm/sim_station.h"

#include <algorithm>

#include "platform/comm/sim_peers.h"

namespace platform::sim {

namespace {

// Line errors that a waiting EV_ERR reports; a break has an event of its own.
constexpr DWORD kErrorEvents = CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER;

DCB DefaultState() {
    DCB dcb;
    dcb.DCBlength = kDcbSize;
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

}  // namespace

SimStation::SimStation(bool takesInput)
    : takesInput_(takesInput), dcb_(DefaultState()), format_(FormatOf(dcb_)) {}

// --- settings ---------------------------------------------------------------------------

void SimStation::ApplyState(const DCB& dcb) {
    const bool hadInX = dcb_.fInX;
    dcb_ = dcb;
    dcb_.DCBlength = kDcbSize;
    format_ = FormatOf(dcb_);

    // Without output flow control nothing can send the XON that would end an XOFF hold.
    if (!dcb_.fOutX) {
        xoffHold_ = false;
    }
    // A peer stopped by our XOFF would otherwise wait for an XON that never comes.
    if (hadInX && !dcb_.fInX && xoffSent_) {
        xoffSent_ = false;
        SendControl(static_cast<BYTE>(dcb_.XonChar));
    }
    switch (dcb_.fRtsControl) {
        case RTS_CONTROL_DISABLE:
            rts_ = false;
            break;
        case RTS_CONTROL_ENABLE:
            rts_ = true;
            break;
        case RTS_CONTROL_HANDSHAKE:
            rts_ = !ReceiveQueueHigh();
            break;
        default:
            rts_ = transmitting_ != toggleLow_;
            break;
    }
    switch (dcb_.fDtrControl) {
        case DTR_CONTROL_DISABLE:
            dtr_ = false;
            break;
        case DTR_CONTROL_ENABLE:
            dtr_ = true;
            break;
        default:
            dtr_ = !ReceiveQueueHigh();
            break;
    }
    UpdateReceiveFlow();
    LinesChanged();
    Kick();
}

void SimStation::SetQueueSizes(DWORD rx, DWORD tx) {
    // Bytes already queued beyond a smaller size stay; only new ones find the queue full.
    rxSize_ = rx;
    txSize_ = tx;
    UpdateReceiveFlow();
}

// --- lines ------------------------------------------------------------------------------

DWORD SimStation::Escape(DWORD function) {
    switch (function) {
        case SETXOFF:
            xoffHold_ = true;
            return 0;
        case SETXON:
            xoffHold_ = false;
            Kick();
            return 0;
        case SETRTS:
        case CLRRTS:
            // In handshake mode the receive queue owns RTS.
            if (dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE) {
                return ERROR_INVALID_PARAMETER;
            }
            rts_ = function == SETRTS;
            LinesChanged();
            return 0;
        case SETDTR:
        case CLRDTR:
            if (dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE) {
                return ERROR_INVALID_PARAMETER;
            }
            dtr_ = function == SETDTR;
            LinesChanged();
            return 0;
        case SETBREAK:
            if (!break_) {
                break_ = true;
                if (SimStation* sink = Sink()) {
                    sink->ReceiveBreak();
                }
            }
            return 0;
        case CLRBREAK:
            break_ = false;
            Kick();
            return 0;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

void SimStation::SetInternalLoopback(bool on) {
    if (internalLoopback_ != on) {
        internalLoopback_ = on;
        LinesChanged();
    }
}

void SimStation::SetToggleLow(bool on) {
    toggleLow_ = on;
    if (dcb_.fRtsControl == RTS_CONTROL_TOGGLE) {
        SetToggleLevel(transmitting_);
    }
}

DWORD SimStation::ModemStatus() const {
    return (inputs_.cts ? MS_CTS_ON : 0) | (inputs_.dsr ? MS_DSR_ON : 0) |
           (inputs_.ring ? MS_RING_ON : 0) | (inputs_.rlsd ? MS_RLSD_ON : 0);
}

OutputLines SimStation::WireOutputs() const {
    if (internalLoopback_ || closed_) {
        return {};
    }
    return {rts_, dtr_};
}

void SimStation::RefreshInputs() {
    InputLines in;
    if (internalLoopback_) {
        in = {rts_, dtr_, dtr_, false};
    } else if (cable_ != nullptr) {
        in = cable_->WireInputs(*this);
    }
    const DWORD events =
        (in.cts != inputs_.cts ? EV_CTS : 0) | (in.dsr != inputs_.dsr ? EV_DSR : 0) |
        (in.rlsd != inputs_.rlsd ? EV_RLSD : 0) | (in.ring != inputs_.ring ? EV_RING : 0);
    const bool released = (in.cts && !inputs_.cts) || (in.dsr && !inputs_.dsr);
    inputs_ = in;
    RaiseEvents(events);
    if (released) {
        Kick();
    }
}

void SimStation::LinesChanged() {
    if (cable_ != nullptr) {
        cable_->LinesChanged();
    } else {
        RefreshInputs();
    }
}

void SimStation::SetToggleLevel(bool sending) {
    const bool level = sending != toggleLow_;
    if (rts_ != level) {
        rts_ = level;
        LinesChanged();
    }
}

// --- events and errors ------------------------------------------------------------------

void SimStation::SetMask(DWORD mask) {
    mask_ = mask;
    history_ &= mask;
    if (wait_ == Wait::Pending) {
        *waitOut_ = 0;
        wait_ = Wait::Done;
        if (waitDone_ != nullptr) {
            waitDone_->Set();
        }
        waitOut_ = nullptr;
        waitDone_ = nullptr;
    }
}

DWORD SimStation::StartWait(DWORD* out, Event* done) {
    if (out == nullptr || mask_ == 0 || wait_ == Wait::Pending) {
        return ERROR_INVALID_PARAMETER;
    }
    if (done != nullptr) {
        done->Reset();
    }
    if (history_ != 0) {
        // Events that came while nobody waited complete this wait at once.
        *out = history_;
        history_ = 0;
        wait_ = Wait::Done;
        if (done != nullptr) {
            done->Set();
        }
        return 0;
    }
    wait_ = Wait::Pending;
    waitOut_ = out;
    waitDone_ = done;
    return ERROR_IO_PENDING;
}

DWORD SimStation::WaitResult() const {
    switch (wait_) {
        case Wait::None:
            return ERROR_INVALID_PARAMETER;
        case Wait::Pending:
            return ERROR_IO_INCOMPLETE;
        case Wait::Done:
            return 0;
        default:
            return ERROR_OPERATION_ABORTED;
    }
}

void SimStation::RaiseEvents(DWORD events) {
    events &= mask_;
    if (events == 0) {
        return;
    }
    if (wait_ != Wait::Pending) {
        history_ |= events;
        return;
    }
    *waitOut_ = events;
    wait_ = Wait::Done;
    if (waitDone_ != nullptr) {
        waitDone_->Set();
    }
    waitOut_ = nullptr;
    waitDone_ = nullptr;
}

void SimStation::AddErrors(DWORD errors) {
    errors_ |= errors;
    if ((errors & kErrorEvents) != 0) {
        RaiseEvents(EV_ERR);
    }
    if (dcb_.fAbortOnError && !errorLatched_) {
        errorLatched_ = true;
        AbortReads();
        AbortWrites();
    }
}

DWORD SimStation::TakeErrors() {
    const DWORD errors = errors_;
    errors_ = 0;
    errorLatched_ = false;
    return errors;
}

COMSTAT SimStation::Status() const {
    COMSTAT stat;
    stat.fCtsHold = CtsHold() ? 1 : 0;
    stat.fDsrHold = DsrHold() ? 1 : 0;
    stat.fXoffHold = xoffHold_ ? 1 : 0;
    stat.fXoffSent = xoffSent_ ? 1 : 0;
    stat.fTxim = immediate_ ? 1 : 0;
    stat.cbInQue = static_cast<DWORD>(rx_.size());
    auto out = static_cast<DWORD>(fifo_.size());
    for (const WriteRequest* w : writes_) {
        out += static_cast<DWORD>(w->data.size()) - w->sent;
    }
    stat.cbOutQue = out;
    return stat;
}

// --- data -------------------------------------------------------------------------------

void SimStation::QueueWrite(WriteRequest* request) {
    writes_.push_back(request);
    Kick();
}

void SimStation::RemoveWrite(WriteRequest* request) {
    writes_.erase(std::remove(writes_.begin(), writes_.end(), request), writes_.end());
}

DWORD SimStation::QueueImmediate(BYTE c) {
    if (immediate_) {
        return ERROR_BUSY;
    }
    immediate_ = c;
    Kick();
    return 0;
}

void SimStation::AddReader(ReadRequest* request) {
    readers_.push_back(request);
}

void SimStation::RemoveReader(ReadRequest* request) {
    readers_.erase(std::remove(readers_.begin(), readers_.end(), request), readers_.end());
    changed_.notify_all();  // the next read in line may go on
}

bool SimStation::IsFirstReader(const ReadRequest* request) const {
    return !readers_.empty() && readers_.front() == request;
}

DWORD SimStation::TakeReceived(BYTE* out, DWORD max) {
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(max, rx_.size()));
    if (n == 0) {
        return 0;
    }
    std::copy_n(rx_.begin(), n, out);
    rx_.erase(rx_.begin(), rx_.begin() + n);
    UpdateReceiveFlow();
    return n;
}

void SimStation::Purge(DWORD flags) {
    if ((flags & PURGE_RXABORT) != 0) {
        AbortReads();
    }
    if ((flags & PURGE_RXCLEAR) != 0) {
        rx_.clear();
        UpdateReceiveFlow();
    }
    if ((flags & (PURGE_TXABORT | PURGE_TXCLEAR)) != 0) {
        // The unsent bytes of a cleared write are gone, so the write did not succeed.
        AbortWrites();
        immediate_.reset();
    }
}

void SimStation::AbortReads() {
    ++readAborts_;
    for (ReadRequest* r : readers_) {
        r->aborted = true;
    }
    readers_.clear();
    changed_.notify_all();
}

void SimStation::AbortWrites() {
    fifo_.clear();
    for (WriteRequest* w : writes_) {
        w->state = WriteRequest::State::Aborted;
    }
    writes_.clear();
    changed_.notify_all();
}

void SimStation::Shutdown() {
    AbortReads();
    AbortWrites();
    if (wait_ == Wait::Pending) {
        wait_ = Wait::Aborted;
        if (waitDone_ != nullptr) {
            waitDone_->Set();
        }
        waitOut_ = nullptr;
        waitDone_ = nullptr;
    }
    closed_ = true;
    immediate_.reset();
    control_.reset();
    break_ = false;
    transmitting_ = false;
}

// --- receiving --------------------------------------------------------------------------

void SimStation::Receive(BYTE c, const FrameFormat& senderFormat) {
    if (!takesInput_ || closed_) {
        return;
    }
    ReceivedCharacter got = ReceiveCharacter(c, senderFormat, format_);
    if ((got.errors & CE_RXPARITY) != 0 && dcb_.fErrorChar) {
        got.value = static_cast<BYTE>(dcb_.ErrorChar);
    }
    if (got.errors != 0) {
        AddErrors(got.errors);
    }
    if (dcb_.fDsrSensitivity && !inputs_.dsr) {
        return;
    }
    if (dcb_.fNull && got.value == 0) {
        return;
    }
    if (dcb_.fOutX) {
        if (got.value == static_cast<BYTE>(dcb_.XoffChar)) {
            xoffHold_ = true;
            return;
        }
        if (got.value == static_cast<BYTE>(dcb_.XonChar)) {
            xoffHold_ = false;
            Kick();
            return;
        }
    }
    if (rx_.size() >= rxSize_) {
        AddErrors(CE_RXOVER);
        return;
    }
    rx_.push_back(got.value);
    dirty_ = true;
    RaiseEvents(EV_RXCHAR | (got.value == static_cast<BYTE>(dcb_.EvtChar) ? EV_RXFLAG : 0));
    UpdateReceiveFlow();
}

void SimStation::ReceiveBreak() {
    if (!takesInput_ || closed_) {
        return;
    }
    AddErrors(CE_BREAK);
    RaiseEvents(EV_BREAK);
}

bool SimStation::ReceiveQueueHigh() const {
    const std::size_t free = rx_.size() >= rxSize_ ? 0 : rxSize_ - rx_.size();
    return free < dcb_.XoffLim;
}

bool SimStation::ReceiveQueueLow() const {
    return rx_.size() <= dcb_.XonLim;
}

void SimStation::UpdateReceiveFlow() {
    // "High" wins over "low", so limits that overlap hold the peer rather than flip-flop.
    const bool high = ReceiveQueueHigh();
    const bool low = !high && ReceiveQueueLow();
    if (dcb_.fInX) {
        if (high && !xoffSent_) {
            xoffSent_ = true;
            SendControl(static_cast<BYTE>(dcb_.XoffChar));
        } else if (low && xoffSent_) {
            xoffSent_ = false;
            SendControl(static_cast<BYTE>(dcb_.XonChar));
        }
    }
    bool lines = false;
    if (dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE && (high ? rts_ : (low && !rts_))) {
        rts_ = !rts_;
        lines = true;
    }
    if (dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE && (high ? dtr_ : (low && !dtr_))) {
        dtr_ = !dtr_;
        lines = true;
    }
    if (lines) {
        LinesChanged();
    }
}

void SimStation::SendControl(BYTE c) {
    if (control_) {
        // The opposite character has not gone out yet: the peer never saw it, so neither
        // needs to be sent.
        control_.reset();
        return;
    }
    control_ = c;
    Kick();
}

// --- sending ----------------------------------------------------------------------------

SimStation::Next SimStation::NextCharacter() const {
    if (break_ || closed_) {
        return Next::None;
    }
    if (control_) {
        return Next::Control;
    }
    const bool lineHold = CtsHold() || DsrHold();
    if (immediate_ && !lineHold) {
        return Next::Immediate;
    }
    if ((!fifo_.empty() || !writes_.empty()) && !lineHold && !xoffHold_ && !XoffSentHold()) {
        return Next::Data;
    }
    return Next::None;
}

BYTE SimStation::TakeCharacter(Next kind) {
    BYTE c = 0;
    switch (kind) {
        case Next::Control:
            c = *control_;
            control_.reset();
            return c;
        case Next::Immediate:
            c = *immediate_;
            immediate_.reset();
            break;
        default: {
            if (!fifo_.empty()) {
                c = fifo_.front();
                fifo_.pop_front();
                break;
            }
            WriteRequest* head = writes_.front();
            c = head->data[head->sent++];
            const std::size_t left = head->data.size() - head->sent;
            if (left <= FifoDepth()) {
                fifo_.insert(fifo_.end(), head->data.begin() + head->sent, head->data.end());
                head->sent = static_cast<DWORD>(head->data.size());
                head->state = WriteRequest::State::Done;
                writes_.pop_front();
                dirty_ = true;
            }
            break;
        }
    }
    if (fifo_.empty() && writes_.empty() && !immediate_) {
        RaiseEvents(EV_TXEMPTY);
    }
    return c;
}

std::size_t SimStation::FifoDepth() const {
    // What the line carries in 4 ms, so that the engine's batching never leaves the line idle
    // between two writes; at least the 16 bytes of a common UART.
    const auto perCharacter = CharacterTime(format_).count();
    const auto depth = perCharacter > 0 ? 4'000'000 / perCharacter : 16;
    return static_cast<std::size_t>(std::max<long long>(16, depth));
}

SimStation* SimStation::Sink() const {
    if (internalLoopback_) {
        return const_cast<SimStation*>(this);
    }
    SimStation* far = cable_ != nullptr ? cable_->FarEnd(*this) : nullptr;
    // A far end in internal loopback listens only to itself.
    if (far != nullptr && far != this && far->internalLoopback_) {
        return nullptr;
    }
    return far;
}

void SimStation::Deliver(BYTE c) {
    if (SimStation* sink = Sink()) {
        sink->Receive(c, format_);
    }
}

void SimStation::Kick() {
    if (transmitting_ || NextCharacter() == Next::None) {
        return;
    }
    transmitting_ = true;
    lineFree_ = std::max(lineFree_, Clock::now());
    if (dcb_.fRtsControl == RTS_CONTROL_TOGGLE) {
        SetToggleLevel(true);
    }
    World::Get().Wake();
}

void SimStation::GoIdle() {
    transmitting_ = false;
    if (dcb_.fRtsControl == RTS_CONTROL_TOGGLE) {
        SetToggleLevel(false);
    }
}

Clock::time_point SimStation::NextCharacterEnd() const {
    return lineFree_ + CharacterTime(format_);
}

void SimStation::Pump(Clock::time_point now, Clock::duration catchUp) {
    const auto charTime = CharacterTime(format_);
    // A character due longer than `catchUp` ago counts as started later: it still ends by now.
    lineFree_ = std::max(lineFree_, now - catchUp - charTime);
    for (;;) {
        const Next kind = NextCharacter();
        if (kind == Next::None) {
            GoIdle();
            return;
        }
        if (lineFree_ + charTime > now) {
            return;
        }
        lineFree_ += charTime;
        Deliver(TakeCharacter(kind));
    }
}

void SimStation::NotifyIfChanged() {
    if (dirty_) {
        dirty_ = false;
        changed_.notify_all();
    }
}

}  // namespace platform::sim
