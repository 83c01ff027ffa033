#include "drivers/tty_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace portcount {

TtyPort::TtyPort(std::string path, std::shared_ptr<OpenDeviceScan> scan)
    : path_(std::move(path)), scan_(std::move(scan)) {}

TtyPort::~TtyPort() {
    Close();
}

void TtyPort::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool TtyPort::Reopen() {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        return false;
    }
    if (::isatty(fd_) == 0) {
        Close();  // not a serial device: nothing to count
        return false;
    }
    char resolved[PATH_MAX];
    canonical_ = ::realpath(path_.c_str(), resolved) != nullptr ? resolved : path_;
    // A device that came back starts counting again from the kernel's values.
    lastTx_ = 0;
    lastRx_ = 0;
    return true;
}

std::optional<PortCounters> TtyPort::Read(SteadyTime now) {
    PortCounters counters;
    counters.txPackets = txPackets_;
    counters.rxPackets = rxPackets_;
    if (fd_ < 0 && !Reopen()) {
        return std::nullopt;
    }
    serial_icounter_struct icount{};
    if (::ioctl(fd_, TIOCGICOUNT, &icount) == 0) {
        // The kernel's int counters wrap into the u32 and u16 fields.
        counters.tx = static_cast<std::uint32_t>(icount.tx);
        counters.rx = static_cast<std::uint32_t>(icount.rx);
        counters.framing = static_cast<std::uint16_t>(icount.frame);
        counters.parity = static_cast<std::uint16_t>(icount.parity);
        counters.overrun = static_cast<std::uint16_t>(icount.overrun);
        if (counters.tx != lastTx_) {
            ++txPackets_;
        }
        if (counters.rx != lastRx_) {
            ++rxPackets_;
        }
        lastTx_ = counters.tx;
        lastRx_ = counters.rx;
        counters.txPackets = txPackets_;
        counters.rxPackets = rxPackets_;
    } else if (errno != EINVAL && errno != ENOTTY) {
        Close();  // the device went away (EIO, ENODEV, ENXIO)
        return std::nullopt;
    }
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
        counters.flags = static_cast<std::uint16_t>(
            ((lines & TIOCM_DTR) ? kFlagDtr : 0) | ((lines & TIOCM_RTS) ? kFlagRts : 0) |
            ((lines & TIOCM_CAR) ? kFlagCd : 0) | ((lines & TIOCM_DSR) ? kFlagDsr : 0) |
            ((lines & TIOCM_CTS) ? kFlagCts : 0));
    } else if (errno == EIO || errno == ENODEV || errno == ENXIO) {
        Close();
        return std::nullopt;
    }
    if (scan_ && scan_->OpenElsewhere(canonical_, now)) {
        counters.flags |= kFlagOpen;
    }
    return counters;
}

}  // namespace portcount
