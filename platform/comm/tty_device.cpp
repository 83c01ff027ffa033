// The tty device's life and settings: opening exclusively in raw mode, the line settings in
// both directions, the modem lines, escape functions, properties, the private controls and
// Close. The data side is in tty_io.cpp, the events in tty_events.cpp.

#include "platform/comm/tty_device.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/comm/line_settings_rule.h"
#include "platform/system/last_error.h"

namespace platform {
namespace tty {

OwnedFd::~OwnedFd() {
    if (fd >= 0) {
        ::close(fd);
    }
}

WakeFd::WakeFd() : fd_(std::make_shared<OwnedFd>(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))) {}

void WakeFd::Signal() const {
    const std::uint64_t one = 1;
    // A full counter is still readable, which is all a wake-up needs.
    [[maybe_unused]] ssize_t n = ::write(fd_->fd, &one, sizeof one);
}

void WakeFd::Drain() const {
    std::uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(fd_->fd, &value, sizeof value);
}

}  // namespace tty

namespace {

constexpr std::size_t kTtyDcbLength = 28;
// Every standard rate bit from BAUD_075 to BAUD_57600, besides BAUD_USER.
constexpr DWORD kStandardBaudBits = 0x0007FFFF;

// How a driver says it does not have a function: a pseudo-terminal has no modem lines.
bool NoSuchFunction(int error) {
    return error == ENOTTY || error == EINVAL || error == ENOSYS;
}

tty::LineSettings ToLineSettings(const DCB& dcb) {
    tty::LineSettings s;
    s.bitRate = LineBitRate(dcb.BaudRate);
    s.byteSize = dcb.ByteSize;
    s.parity = dcb.Parity;
    s.extraStopBits = dcb.StopBits != ONESTOPBIT;
    s.hardwareFlow = dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
    s.outX = dcb.fOutX;
    s.inX = dcb.fInX;
    s.markErrors = dcb.fParity;
    s.xonChar = static_cast<unsigned char>(dcb.XonChar);
    s.xoffChar = static_cast<unsigned char>(dcb.XoffChar);
    return s;
}

// The limits the kernel's input flow control works with, as GetCommState reports them. The
// line discipline holds the peer back at thresholds of its own that no call can change.
constexpr WORD kTtyXonLim = 2048;
constexpr WORD kTtyXoffLim = 512;

// What a tty cannot do, refused rather than taken and ignored: the driver has no DTR handshake,
// no DSR sensitivity and no abort on error, and its input flow control keeps its own limits.
DWORD RefusedByTty(const DCB& dcb) {
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fDsrSensitivity || dcb.fAbortOnError) {
        return ERROR_INVALID_PARAMETER;
    }
    if (UsesInputFlowControl(dcb) && (dcb.XonLim != kTtyXonLim || dcb.XoffLim != kTtyXoffLim)) {
        return ERROR_INVALID_PARAMETER;
    }
    return 0;
}

// The record that describes a tty nobody has set up through this device yet.
DCB FromLineSettings(const tty::LineSettings& s) {
    DCB dcb;
    dcb.DCBlength = kTtyDcbLength;
    dcb.BaudRate = s.bitRate;
    dcb.fBinary = 1;
    dcb.fParity = s.markErrors;
    dcb.fOutxCtsFlow = s.hardwareFlow;
    // Opening a tty raises DTR and RTS.
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = s.hardwareFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = s.outX;
    dcb.fInX = s.inX;
    dcb.XonLim = kTtyXonLim;
    dcb.XoffLim = kTtyXoffLim;
    dcb.ByteSize = s.byteSize;
    dcb.Parity = s.parity;
    dcb.StopBits = !s.extraStopBits ? ONESTOPBIT : (s.byteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS);
    dcb.XonChar = static_cast<char>(s.xonChar);
    dcb.XoffChar = static_cast<char>(s.xoffChar);
    return dcb;
}

// The slave side of a Unix98 pseudo-terminal (majors 136 to 143). Its driver forces eight data
// bits without parity whatever is asked: there is no wire, so the character format is taken
// and kept in the record only.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    const unsigned int majorNumber = major(st.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;
}

}  // namespace

CommDeviceHandle OpenTtyDevice(const std::string& path) {
    return TtyDevice::Open(path);
}

CommDeviceHandle TtyDevice::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
            case ENOENT:
            case ENXIO:
            case ENODEV:
            case EIO:  // a node without hardware behind it
                FailWith(ERROR_FILE_NOT_FOUND);
                break;
            case EACCES:
            case EPERM:
                FailWith(ERROR_ACCESS_DENIED);
                break;
            default:
                FailWithErrno();
                break;
        }
        return nullptr;
    }
    auto holder = std::make_shared<tty::OwnedFd>(fd);
    if (!tty::IsTty(fd)) {
        FailWith(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    // TIOCEXCL keeps other programs out (except privileged ones); the lock also stops this
    // process and privileged programs that use the same convention.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        FailWith(errno == EWOULDBLOCK ? ERROR_BUSY : static_cast<DWORD>(errno));
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);
    if (!tty::MakeRaw(fd)) {
        FailWithErrno();
        return nullptr;
    }
    int lines = 0;
    const bool modemLines = ::ioctl(fd, TIOCMGET, &lines) == 0;
    serial_icounter_struct counters{};
    const bool haveCounters = ::ioctl(fd, TIOCGICOUNT, &counters) == 0;

    std::shared_ptr<TtyDevice> device(
        new TtyDevice(holder, modemLines, haveCounters, IsPseudoTerminal(fd)));
    if (!device->closeWake_.Valid() || !device->readWake_.Valid() || !device->writeWake_.Valid() ||
        !device->inputWake_.Valid() || !device->watchWake_.Valid() || !device->modemWake_.Valid()) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return device;
}

TtyDevice::TtyDevice(std::shared_ptr<tty::OwnedFd> fd, bool modemLines, bool counters,
                     bool pseudoTerminal)
    : fd_holder_(std::move(fd)),
      fdNumber_(fd_holder_->fd),
      modemLines_(modemLines),
      counters_(counters),
      pseudoTerminal_(pseudoTerminal) {
    tty::LineSettings settings;
    tty::ReadLineSettings(fdNumber_, settings);
    dcb_ = FromLineSettings(settings);
    if (counters_) {
        ReadCounters(errorBase_);
    }
}

TtyDevice::~TtyDevice() {
    Close();
}

bool TtyDevice::ChangeLines(int lines, bool on) {
    if (!modemLines_) {
        return true;
    }
    if (::ioctl(Fd(), on ? TIOCMBIS : TIOCMBIC, &lines) == 0) {
        return true;
    }
    return NoSuchFunction(errno);
}

bool TtyDevice::ReadModemLines(int& lines) const {
    lines = 0;
    if (!modemLines_) {
        errno = ENOTTY;
        return false;
    }
    return ::ioctl(Fd(), TIOCMGET, &lines) == 0;
}

bool TtyDevice::ReadCounters(tty::LineCounters& counters) const {
    serial_icounter_struct c{};
    if (!counters_ || ::ioctl(Fd(), TIOCGICOUNT, &c) != 0) {
        return false;
    }
    counters.cts = c.cts;
    counters.dsr = c.dsr;
    counters.rng = c.rng;
    counters.dcd = c.dcd;
    counters.frame = c.frame;
    counters.parity = c.parity;
    counters.overrun = c.overrun;
    counters.brk = c.brk;
    counters.bufOverrun = c.buf_overrun;
    return true;
}

DWORD TtyDevice::CharacterMicroseconds() const {
    const DWORD rate = std::max<DWORD>(LineBitRate(dcb_.BaudRate), 1);
    const DWORD bits = 1 + dcb_.ByteSize + (dcb_.Parity != NOPARITY ? 1 : 0) +
                       (dcb_.StopBits == ONESTOPBIT ? 1 : 2);
    return std::max<DWORD>(static_cast<DWORD>(std::uint64_t{bits} * 1000000 / rate), 1);
}

BOOL TtyDevice::GetCommState(DCB& dcb) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    std::lock_guard lock(stateMutex_);
    tty::LineSettings now;
    if (!tty::ReadLineSettings(Fd(), now)) {
        return FailWithErrno();
    }
    DCB result = dcb_;
    // What the tty really has wins over the record where the two differ (someone else
    // changed the settings, or the driver adjusted them).
    if (LineBitRate(result.BaudRate) != now.bitRate) {
        result.BaudRate = now.bitRate;
    }
    if (!pseudoTerminal_) {
        result.ByteSize = now.byteSize;
        result.Parity = now.parity;
    }
    if (!now.extraStopBits) {
        result.StopBits = ONESTOPBIT;
    } else if (result.StopBits == ONESTOPBIT) {
        result.StopBits = result.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    const bool recordFlow = result.fOutxCtsFlow || result.fRtsControl == RTS_CONTROL_HANDSHAKE;
    if (recordFlow != now.hardwareFlow) {
        result.fOutxCtsFlow = now.hardwareFlow;
        result.fRtsControl = now.hardwareFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    }
    result.fOutX = now.outX;
    result.fInX = now.inX;
    result.fParity = now.markErrors;
    result.XonChar = static_cast<char>(now.xonChar);
    result.XoffChar = static_cast<char>(now.xoffChar);
    result.DCBlength = kTtyDcbLength;
    dcb = result;
    return TRUE;
}

BOOL TtyDevice::SetCommState(const DCB& dcb) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (const DWORD refused = CheckLineSettings(dcb)) {
        return FailWith(refused);
    }
    if (const DWORD refused = RefusedByTty(dcb)) {
        return FailWith(refused);
    }
    std::lock_guard lock(stateMutex_);
    if (const DWORD refused = CheckFlowLimits(dcb, inQueueSize_)) {
        return FailWith(refused);
    }
    if (!tty::ApplyLineSettings(Fd(), ToLineSettings(dcb), !pseudoTerminal_)) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    // Toggle RTS is raised by each write while it lasts.
    ChangeLines(TIOCM_DTR, dcb.fDtrControl != DTR_CONTROL_DISABLE);
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) {
        ChangeLines(TIOCM_RTS, dcb.fRtsControl == RTS_CONTROL_ENABLE);
    } else {
        ChangeLines(TIOCM_RTS, true);
    }
    {
        std::lock_guard in(inMutex_);
        SetFilterMode(dcb, mask_);
    }
    dcb_ = dcb;
    dcb_.DCBlength = kTtyDcbLength;
    return TRUE;
}

void TtyDevice::SetFilterMode(const DCB& dcb, DWORD mask) {
    tty::InputFilter::Mode mode;
    mode.marked = dcb.fParity;
    mode.dropNul = dcb.fNull;
    mode.replaceErrors = dcb.fParity && dcb.fErrorChar;
    mode.errorChar = static_cast<std::uint8_t>(dcb.ErrorChar);
    mode.watchEventChar = (mask & EV_RXFLAG) != 0;
    mode.eventChar = static_cast<std::uint8_t>(dcb.EvtChar);
    filter_.SetMode(mode, queue_);
}

BOOL TtyDevice::GetCommTimeouts(COMMTIMEOUTS& timeouts) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    std::lock_guard lock(stateMutex_);
    timeouts = timeouts_;
    return TRUE;
}

BOOL TtyDevice::SetCommTimeouts(const COMMTIMEOUTS& timeouts) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (timeouts.ReadIntervalTimeout == MAXDWORD &&
        timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    std::lock_guard lock(stateMutex_);
    timeouts_ = timeouts;
    return TRUE;
}

BOOL TtyDevice::GetCommModemStatus(DWORD& modemStatus) {
    modemStatus = 0;
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    int lines = 0;
    if (!ReadModemLines(lines)) {
        // No modem lines (a pseudo-terminal): all of them read as off.
        return NoSuchFunction(errno) ? TRUE : FailWithErrno();
    }
    if (lines & TIOCM_CTS) {
        modemStatus |= MS_CTS_ON;
    }
    if (lines & TIOCM_DSR) {
        modemStatus |= MS_DSR_ON;
    }
    if (lines & TIOCM_RNG) {
        modemStatus |= MS_RING_ON;
    }
    if (lines & TIOCM_CAR) {
        modemStatus |= MS_RLSD_ON;
    }
    return TRUE;
}

BOOL TtyDevice::EscapeCommFunction(DWORD function) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    std::lock_guard lock(stateMutex_);
    switch (function) {
        case SETXOFF:
        case SETXON:
            if (!tty::HoldOutput(Fd(), function == SETXOFF)) {
                return FailWithErrno();
            }
            xoffHeld_ = function == SETXOFF;
            return TRUE;
        case SETRTS:
        case CLRRTS:
            // The driver owns RTS in handshake and toggle mode.
            if (dcb_.fRtsControl == RTS_CONTROL_HANDSHAKE ||
                dcb_.fRtsControl == RTS_CONTROL_TOGGLE) {
                return FailWith(ERROR_INVALID_PARAMETER);
            }
            return ChangeLines(TIOCM_RTS, function == SETRTS) ? TRUE : FailWithErrno();
        case SETDTR:
        case CLRDTR:
            if (dcb_.fDtrControl == DTR_CONTROL_HANDSHAKE) {
                return FailWith(ERROR_INVALID_PARAMETER);
            }
            return ChangeLines(TIOCM_DTR, function == SETDTR) ? TRUE : FailWithErrno();
        case SETBREAK:
            return ::ioctl(Fd(), TIOCSBRK) == 0 ? TRUE : FailWithErrno();
        case CLRBREAK:
            return ::ioctl(Fd(), TIOCCBRK) == 0 ? TRUE : FailWithErrno();
        default:
            return FailWith(ERROR_INVALID_PARAMETER);
    }
}

BOOL TtyDevice::SetupComm(DWORD inQueue, DWORD outQueue) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (const DWORD refused = CheckQueueSizes(inQueue, outQueue)) {
        return FailWith(refused);
    }
    // The tty's own buffers have fixed sizes; the sizes bound only the filtered input queue
    // and are reported back as the current ones.
    std::lock_guard lock(stateMutex_);
    // The limits in force must still fit the smaller queue.
    if (const DWORD refused = CheckFlowLimits(dcb_, inQueue)) {
        return FailWith(refused);
    }
    inQueueSize_ = inQueue;
    outQueueSize_ = outQueue;
    return TRUE;
}

BOOL TtyDevice::GetCommProperties(COMMPROP& properties) {
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    COMMPROP p;
    p.wPacketLength = sizeof(COMMPROP);
    p.wPacketVersion = 2;
    p.dwServiceMask = SP_SERIALCOMM;
    p.dwMaxTxQueue = 0;  // no fixed maximum
    p.dwMaxRxQueue = 0;
    p.dwMaxBaud = BAUD_USER;
    p.dwProvSubType = PST_RS232;
    p.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                           PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS | PCF_SPECIALCHARS;
    p.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING |
                         SP_PARITY_CHECK | SP_RLSD;
    p.dwSettableBaud = kStandardBaudBits | BAUD_USER;
    p.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
    p.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                            PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
    {
        std::lock_guard lock(stateMutex_);
        p.dwCurrentTxQueue = outQueueSize_;
        p.dwCurrentRxQueue = inQueueSize_;
    }
    properties = p;
    return TRUE;
}

BOOL TtyDevice::DeviceIoControl(DWORD code, const void* /*in*/, DWORD /*inBytes*/, void* /*out*/,
                                DWORD /*outBytes*/, DWORD& returned) {
    returned = 0;
    Operation op(*this);
    if (!op) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (code != IOCTL_SERIAL_INTERNAL_LOOPBACK_ON && code != IOCTL_SERIAL_INTERNAL_LOOPBACK_OFF) {
        // Toggle low and everything else: no tty driver has such a function.
        return FailWith(ERROR_INVALID_FUNCTION);
    }
    const bool on = code == IOCTL_SERIAL_INTERNAL_LOOPBACK_ON;
    if (!modemLines_) {
        return FailWith(ERROR_INVALID_FUNCTION);
    }
    int bit = tty::kLoopbackLine;
    if (::ioctl(Fd(), on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
        return FailWith(NoSuchFunction(errno) ? ERROR_INVALID_FUNCTION : static_cast<DWORD>(errno));
    }
    // Many drivers take the bit without acting on it; only one that reports it back has it.
    int lines = 0;
    if (!ReadModemLines(lines)) {
        return FailWithErrno();
    }
    if (((lines & tty::kLoopbackLine) != 0) != on) {
        if (on) {
            ::ioctl(Fd(), TIOCMBIC, &bit);
        }
        return FailWith(ERROR_INVALID_FUNCTION);
    }
    return TRUE;
}

void TtyDevice::Close() {
    std::lock_guard closing(closeMutex_);
    {
        std::lock_guard lock(opMutex_);
        if (closed_) {
            return;
        }
        closed_ = true;
    }
    closeWake_.Signal();
    {
        std::lock_guard lock(stateMutex_);
        if (waitState_ == WaitState::kPending) {
            CompleteWait(0, WaitState::kAborted);
        }
    }
    {
        std::unique_lock lock(opMutex_);
        opDone_.wait(lock, [this] { return activeOps_ == 0; });
    }
    // No call runs any more, so nothing starts the watcher or the modem loop again.
    if (watcher_.joinable()) {
        watcher_.join();
    }
    if (modemWaiter_) {
        modemWaiter_->Stop(std::chrono::seconds(1));
        modemWaiter_.reset();
    }
    // A modem loop left behind still holds the descriptor: give up the lock and the
    // exclusive mode now so the port can be opened again at once.
    ::flock(Fd(), LOCK_UN);
    ::ioctl(Fd(), TIOCNXCL);
}

}  // namespace platform
