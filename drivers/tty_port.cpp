#include "drivers/tty_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace portcount {

TtyPort::TtyPort(std::string path, std::shared_ptr<OpenDeviceScan> scan,
                 std::shared_ptr<ProcSerialTable> procSerial)
    : path_(std::move(path)), scan_(std::move(scan)), procSerial_(std::move(procSerial)) {}

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
    return true;
}

std::optional<PortCounters> TtyPort::ReadDevice() {
    if (fd_ < 0 && !Reopen()) {
        return std::nullopt;
    }
    PortCounters counters;
    serial_icounter_struct icount{};
    if (::ioctl(fd_, TIOCGICOUNT, &icount) == 0) {
        // The kernel's int counters wrap into the u32 and u16 fields.
        counters.tx = static_cast<std::uint32_t>(icount.tx);
        counters.rx = static_cast<std::uint32_t>(icount.rx);
        counters.framing = static_cast<std::uint16_t>(icount.frame);
        counters.parity = static_cast<std::uint16_t>(icount.parity);
        counters.overrun = static_cast<std::uint16_t>(icount.overrun);
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
    return counters;
}

std::optional<PortCounters> TtyPort::Read(SteadyTime now) {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        // Unplugged, or never a device: a device that comes (back) starts afresh.
        Close();
        known_ = false;
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    canonical_ = ::realpath(path_.c_str(), resolved) != nullptr ? resolved : path_;
    const bool elsewhere = scan_ && scan_->OpenElsewhere(canonical_, now);
    std::optional<PortCounters> kernel;
    if (const int line = procSerial_ ? SerialLineOfDevice(path_) : -1; line >= 0) {
        kernel = procSerial_->Find(line, now);
    }
    if (kernel) {
        Close();
    } else if (elsewhere) {
        kernel = ReadDevice();
        if (!kernel) {
            known_ = false;
            return std::nullopt;
        }
    } else {
        // Nobody uses the port: let go of it, and show what it last counted with its lines
        // down (the kernel's counters stand still while the port is closed).
        Close();
        if (!known_) {
            return std::nullopt;
        }
        kernel = last_;
        kernel->flags = 0;
    }
    PortCounters counters = *kernel;
    counters.txPackets = last_.txPackets;
    counters.rxPackets = last_.rxPackets;
    if (known_ && counters.tx != last_.tx) {
        ++counters.txPackets;
    }
    if (known_ && counters.rx != last_.rx) {
        ++counters.rxPackets;
    }
    last_ = counters;
    known_ = true;
    if (elsewhere) {
        counters.flags |= kFlagOpen;
    }
    return counters;
}

void TtyPort::Idle(SteadyTime now) {
    // The port's program may have closed it since the last read: its close is to hang the
    // line up, which waits for this last holder to let go.
    if (fd_ >= 0 && !(scan_ && scan_->OpenElsewhere(canonical_, now))) {
        Close();
    }
}

}  // namespace portcount
