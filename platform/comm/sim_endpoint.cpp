#include "platform/comm/sim_endpoint.h"

#include <algorithm>

#include "platform/comm/line_settings_rule.h"
#include "platform/system/last_error.h"

namespace platform::sim {

namespace {

using Lock = std::unique_lock<std::mutex>;

constexpr DWORD kAllPurges = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

BOOL Result(DWORD code) {
    return code == 0 ? TRUE : FailWith(code);
}

BOOL ReadQueued(SimStation& station, Lock& lock, BYTE* out, DWORD bytes, DWORD& read) {
    const ReadPlan plan = PlanRead(station.Timeouts(), bytes);
    const auto start = Clock::now();
    auto lastByte = start;
    ReadRequest request;
    station.AddReader(&request);
    BOOL ok = TRUE;
    for (;;) {
        if (request.aborted) {
            ok = FailWith(ERROR_OPERATION_ABORTED);
            break;
        }
        if (station.IsFirstReader(&request)) {
            const DWORD got = station.TakeReceived(out + read, bytes - read);
            if (got != 0) {
                read += got;
                lastByte = Clock::now();
            }
        }
        if (read == bytes || plan.immediate || (plan.returnOnAny && read != 0)) {
            break;
        }
        std::optional<Clock::time_point> deadline;
        if (plan.total) {
            deadline = start + *plan.total;
        }
        if (plan.interval && read != 0) {
            const auto quiet = lastByte + *plan.interval;
            deadline = deadline ? std::min(*deadline, quiet) : quiet;
        }
        if (!deadline) {
            station.Changed().wait(lock);
        } else if (Clock::now() >= *deadline) {
            break;  // a time-out ends a read successfully, with what has arrived
        } else {
            station.Changed().wait_until(lock, *deadline);
        }
    }
    station.RemoveReader(&request);
    return ok;
}

BOOL WriteAll(SimStation& station, Lock& lock, const BYTE* data, DWORD bytes, DWORD& written) {
    const auto limit = WriteLimit(station.Timeouts(), bytes);
    const auto deadline = Clock::now() + limit.value_or(std::chrono::milliseconds::zero());
    WriteRequest request{std::span(data, bytes)};
    station.QueueWrite(&request);
    while (request.state == WriteRequest::State::Queued) {
        if (!limit) {
            station.Changed().wait(lock);
        } else if (station.Changed().wait_until(lock, deadline) == std::cv_status::timeout &&
                   request.state == WriteRequest::State::Queued) {
            // What has gone out stays sent; the rest is taken back from the line.
            station.RemoveWrite(&request);
            request.state = WriteRequest::State::TimedOut;
        }
    }
    written = request.sent;
    return request.state == WriteRequest::State::Aborted ? FailWith(ERROR_OPERATION_ABORTED) : TRUE;
}

}  // namespace

SimEndpoint::SimEndpoint(std::string name, std::shared_ptr<SimStation> station,
                         std::shared_ptr<SimCable> cable)
    : name_(std::move(name)), station_(std::move(station)), cable_(std::move(cable)) {}

SimEndpoint::~SimEndpoint() {
    Close();
}

template <typename Call>
BOOL SimEndpoint::WithStation(Call&& call) {
    Lock lock(World::Get().Mutex());
    const std::shared_ptr<SimStation> station = station_;
    if (!station) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (station->Gone()) {
        return FailWith(kUnpluggedError);
    }
    const BOOL ok = call(*station, lock);
    // A call that the pulling out ended says why, not only that it was ended.
    if (!ok && station->Gone()) {
        return FailWith(kUnpluggedError);
    }
    return ok;
}

BOOL SimEndpoint::GetCommState(DCB& dcb) {
    return WithStation([&](SimStation& station, Lock&) {
        dcb = station.State();
        return TRUE;
    });
}

BOOL SimEndpoint::SetCommState(const DCB& dcb) {
    return WithStation([&](SimStation& station, Lock&) {
        if (const DWORD refused = CheckLineSettings(dcb)) {
            return FailWith(refused);
        }
        if (const DWORD refused = CheckFlowLimits(dcb, station.RxQueueSize())) {
            return FailWith(refused);
        }
        station.ApplyState(dcb);
        return TRUE;
    });
}

BOOL SimEndpoint::GetCommTimeouts(COMMTIMEOUTS& timeouts) {
    return WithStation([&](SimStation& station, Lock&) {
        timeouts = station.Timeouts();
        return TRUE;
    });
}

BOOL SimEndpoint::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
    return WithStation([&](SimStation& station, Lock&) {
        station.SetTimeouts(timeouts);
        return TRUE;
    });
}

BOOL SimEndpoint::SetCommMask(DWORD mask) {
    return WithStation([&](SimStation& station, Lock&) {
        station.SetMask(mask);
        return TRUE;
    });
}

BOOL SimEndpoint::GetCommMask(DWORD& mask) {
    return WithStation([&](SimStation& station, Lock&) {
        mask = station.Mask();
        return TRUE;
    });
}

BOOL SimEndpoint::WaitCommEvent(DWORD* mask, Event* done) {
    return WithStation(
        [&](SimStation& station, Lock&) { return Result(station.StartWait(mask, done)); });
}

BOOL SimEndpoint::GetCommEventResult() {
    return WithStation([&](SimStation& station, Lock&) { return Result(station.WaitResult()); });
}

BOOL SimEndpoint::ReadFile(void* buffer, DWORD bytes, DWORD& read) {
    read = 0;
    return WithStation([&](SimStation& station, Lock& lock) {
        if (buffer == nullptr && bytes != 0) {
            return FailWith(ERROR_INVALID_PARAMETER);
        }
        if (station.ErrorLatched()) {
            return FailWith(ERROR_OPERATION_ABORTED);  // fAbortOnError: the error is not cleared
        }
        if (bytes == 0) {
            return TRUE;
        }
        return ReadQueued(station, lock, static_cast<BYTE*>(buffer), bytes, read);
    });
}

BOOL SimEndpoint::WaitForInput(DWORD milliseconds) {
    return WithStation([&](SimStation& station, Lock& lock) {
        const std::uint64_t aborts = station.ReadAborts();
        const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            if (station.Status().cbInQue != 0) {
                return TRUE;
            }
            if (station.Closed() || station.ReadAborts() != aborts) {
                return FailWith(ERROR_OPERATION_ABORTED);
            }
            if (milliseconds == INFINITE) {
                station.Changed().wait(lock);
            } else if (Clock::now() >= deadline) {
                return FailWith(WAIT_TIMEOUT);
            } else {
                station.Changed().wait_until(lock, deadline);
            }
        }
    });
}

BOOL SimEndpoint::WriteFile(const void* data, DWORD bytes, DWORD& written) {
    written = 0;
    return WithStation([&](SimStation& station, Lock& lock) {
        if (data == nullptr && bytes != 0) {
            return FailWith(ERROR_INVALID_PARAMETER);
        }
        if (station.ErrorLatched()) {
            return FailWith(ERROR_OPERATION_ABORTED);
        }
        if (bytes == 0) {
            return TRUE;
        }
        return WriteAll(station, lock, static_cast<const BYTE*>(data), bytes, written);
    });
}

BOOL SimEndpoint::ClearCommError(DWORD& errors, COMSTAT* stat) {
    return WithStation([&](SimStation& station, Lock&) {
        errors = station.TakeErrors();
        if (stat != nullptr) {
            *stat = station.Status();
        }
        return TRUE;
    });
}

BOOL SimEndpoint::GetCommModemStatus(DWORD& modemStatus) {
    return WithStation([&](SimStation& station, Lock&) {
        modemStatus = station.ModemStatus();
        return TRUE;
    });
}

BOOL SimEndpoint::EscapeCommFunction(DWORD function) {
    return WithStation(
        [&](SimStation& station, Lock&) { return Result(station.Escape(function)); });
}

BOOL SimEndpoint::PurgeComm(DWORD flags) {
    return WithStation([&](SimStation& station, Lock&) {
        if ((flags & ~kAllPurges) != 0) {
            return FailWith(ERROR_INVALID_PARAMETER);
        }
        station.Purge(flags);
        return TRUE;
    });
}

BOOL SimEndpoint::SetupComm(DWORD inQueue, DWORD outQueue) {
    return WithStation([&](SimStation& station, Lock&) {
        if (const DWORD refused = CheckQueueSizes(inQueue, outQueue)) {
            return FailWith(refused);
        }
        // The limits in force must still fit the smaller queue.
        if (const DWORD refused = CheckFlowLimits(station.State(), inQueue)) {
            return FailWith(refused);
        }
        station.SetQueueSizes(inQueue, outQueue);
        return TRUE;
    });
}

BOOL SimEndpoint::GetCommProperties(COMMPROP& p) {
    return WithStation([&](SimStation& station, Lock&) {
        p = COMMPROP{};
        p.wPacketLength = sizeof(COMMPROP);
        p.wPacketVersion = 2;
        p.dwServiceMask = SP_SERIALCOMM;
        p.dwMaxTxQueue = kMaxCommQueue;
        p.dwMaxRxQueue = kMaxCommQueue;
        p.dwMaxBaud = BAUD_USER;
        p.dwProvSubType = PST_RS232;
        p.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                               PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS |
                               PCF_SPECIALCHARS;
        p.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                             SP_PARITY_CHECK | SP_RLSD;
        p.dwSettableBaud = BAUD_USER;
        p.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
        p.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                                PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
        p.dwCurrentTxQueue = station.TxQueueSize();
        p.dwCurrentRxQueue = station.RxQueueSize();
        return TRUE;
    });
}

BOOL SimEndpoint::TransmitCommChar(char c) {
    return WithStation([&](SimStation& station, Lock&) {
        return Result(station.QueueImmediate(static_cast<BYTE>(c)));
    });
}

BOOL SimEndpoint::DeviceIoControl(DWORD code, const void*, DWORD, void*, DWORD, DWORD& returned) {
    returned = 0;
    return WithStation([&](SimStation& station, Lock&) {
        switch (code) {
            case IOCTL_SERIAL_INTERNAL_LOOPBACK_ON:
                station.SetInternalLoopback(true);
                return TRUE;
            case IOCTL_SERIAL_INTERNAL_LOOPBACK_OFF:
                station.SetInternalLoopback(false);
                return TRUE;
            case IOCTL_SERIAL_SET_TOGGLE_LOW:
                station.SetToggleLow(true);
                return TRUE;
            case IOCTL_SERIAL_CLEAR_TOGGLE_LOW:
                station.SetToggleLow(false);
                return TRUE;
            default:
                return FailWith(ERROR_INVALID_FUNCTION);
        }
    });
}

void SimEndpoint::Unplug() {
    if (!station_ || station_->Gone()) {
        return;
    }
    station_->Unplug();
    cable_->Detach(*station_);
    World::Get().Unregister(station_.get());
}

void SimEndpoint::Close() {
    Lock lock(World::Get().Mutex());
    if (!station_) {
        return;
    }
    station_->Shutdown();
    cable_->Detach(*station_);  // the far end's inputs go off
    World::Get().Unregister(station_.get());
    cable_.reset();
    ReleaseSimulatedDevice(name_);
    station_.reset();
}

}  // namespace platform::sim
