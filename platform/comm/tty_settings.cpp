#include "platform/comm/tty_settings.h"

// The kernel's termios2 (with BOTHER for any bit rate) and the ioctl numbers that go with it.
// <termios.h> must not be included here: both define struct termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdlib>

namespace platform::tty {
namespace {

constexpr BYTE kOddParity = 1;
constexpr BYTE kEvenParity = 2;
constexpr BYTE kMarkParity = 3;
constexpr BYTE kSpaceParity = 4;

bool Get(int fd, termios2& t) {
    return ioctl(fd, TCGETS2, &t) == 0;
}

bool Set(int fd, const termios2& t) {
    return ioctl(fd, TCSETS2, &t) == 0;
}

void ApplyRaw(termios2& t) {
    // A break is a line condition, not a byte: the driver still counts it for the error and
    // event reports, but it does not reach the data as a NUL.
    t.c_iflag = IGNBRK;
    t.c_oflag = 0;
    t.c_lflag = 0;
    // HUPCL drops DTR and RTS when the port is finally closed, as closing a serial port does.
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cc[VMIN] = 1;  // with O_NONBLOCK an empty queue reads as EAGAIN, never as end of file
    t.c_cc[VTIME] = 0;
}

// The rates the tty's speed codes name. Programs that read the line settings through the
// classic interface see only the code: a custom rate shows there as no speed at all.
struct SpeedCode {
    DWORD rate;
    tcflag_t code;
};
constexpr SpeedCode kSpeedCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// The speed code for the rate, or BOTHER (the rate in c_ospeed/c_ispeed) for any other.
tcflag_t SpeedCodeFor(DWORD rate) {
    for (const SpeedCode& s : kSpeedCodes) {
        if (s.rate == rate) {
            return s.code;
        }
    }
    return BOTHER;
}

tcflag_t SizeFlag(BYTE byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

}  // namespace

// TIOCM_LOOP, from <asm/termios.h>, which cannot be included beside <sys/ioctl.h>.
const int kLoopbackLine = 0x8000;

bool IsTty(int fd) {
    termios2 t{};
    return Get(fd, t);
}

bool MakeRaw(int fd) {
    termios2 t{};
    if (!Get(fd, t)) {
        return false;
    }
    ApplyRaw(t);
    return Set(fd, t);
}

LineSettings DecodeLineSettings(const termios2& t) {
    LineSettings settings;
    settings.bitRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
        case CS5:
            settings.byteSize = 5;
            break;
        case CS6:
            settings.byteSize = 6;
            break;
        case CS7:
            settings.byteSize = 7;
            break;
        default:
            settings.byteSize = 8;
            break;
    }
    if (!(t.c_cflag & PARENB)) {
        settings.parity = 0;
    } else if (t.c_cflag & CMSPAR) {
        settings.parity = (t.c_cflag & PARODD) ? kMarkParity : kSpaceParity;
    } else {
        settings.parity = (t.c_cflag & PARODD) ? kOddParity : kEvenParity;
    }
    settings.extraStopBits = (t.c_cflag & CSTOPB) != 0;
    settings.hardwareFlow = (t.c_cflag & CRTSCTS) != 0;
    settings.outX = (t.c_iflag & IXON) != 0;
    settings.inX = (t.c_iflag & IXOFF) != 0;
    settings.markErrors = (t.c_iflag & INPCK) && (t.c_iflag & PARMRK);
    settings.xonChar = t.c_cc[VSTART];
    settings.xoffChar = t.c_cc[VSTOP];
    return settings;
}

bool ReadLineSettings(int fd, LineSettings& settings) {
    termios2 t{};
    if (!Get(fd, t)) {
        return false;
    }
    settings = DecodeLineSettings(t);
    return true;
}

void EncodeLineSettings(const LineSettings& settings, termios2& t) {
    ApplyRaw(t);

    const tcflag_t speed = SpeedCodeFor(settings.bitRate);
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= speed | (speed << IBSHIFT);
    t.c_ospeed = settings.bitRate;
    t.c_ispeed = settings.bitRate;

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= SizeFlag(settings.byteSize);
    switch (settings.parity) {
        case kOddParity:
            t.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            t.c_cflag |= PARENB;
            break;
        case kMarkParity:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case kSpaceParity:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (settings.extraStopBits) {
        t.c_cflag |= CSTOPB;
    }
    if (settings.hardwareFlow) {
        t.c_cflag |= CRTSCTS;
    }
    if (settings.outX) {
        t.c_iflag |= IXON;
    }
    if (settings.inX) {
        t.c_iflag |= IXOFF;
    }
    if (settings.markErrors) {
        t.c_iflag |= INPCK | PARMRK;
    }
    t.c_cc[VSTART] = settings.xonChar;
    t.c_cc[VSTOP] = settings.xoffChar;
}

bool ApplyLineSettings(int fd, const LineSettings& settings, bool checkFormat) {
    termios2 old{};
    if (!Get(fd, old)) {
        return false;
    }
    termios2 t = old;
    EncodeLineSettings(settings, t);
    if (!Set(fd, t)) {
        const int error = errno;
        Set(fd, old);
        errno = error == ENOTTY ? ENOTTY : EINVAL;
        return false;
    }
    termios2 now{};
    if (!Get(fd, now)) {
        return false;
    }
    // A driver that cannot make the rate clamps it to what it can do; accept what a UART
    // receiver tolerates and refuse the rest. One that cannot make the format falls back to
    // another: refused as well.
    const long long asked = settings.bitRate;
    const long long got = now.c_ospeed;
    const bool rateOk = std::llabs(got - asked) * 100 <= asked * 3;
    constexpr tcflag_t kFormat = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;
    const bool formatOk = !checkFormat || (now.c_cflag & kFormat) == (t.c_cflag & kFormat);
    if (!rateOk || !formatOk) {
        Set(fd, old);
        errno = EINVAL;
        return false;
    }
    return true;
}

bool SendPriorityChar(int fd, unsigned char c) {
    if (c == 0) {
        errno = EINVAL;  // NUL switches the START character off instead of naming it
        return false;
    }
    termios2 t{};
    if (!Get(fd, t)) {
        return false;
    }
    const cc_t start = t.c_cc[VSTART];
    if (start != c) {
        t.c_cc[VSTART] = c;
        if (!Set(fd, t)) {
            return false;
        }
    }
    const bool sent = ioctl(fd, TCXONC, TCION) == 0;
    const int error = errno;
    if (start != c) {
        t.c_cc[VSTART] = start;
        Set(fd, t);
    }
    errno = error;
    return sent;
}

bool HoldOutput(int fd, bool hold) {
    return ioctl(fd, TCXONC, hold ? TCOOFF : TCOON) == 0;
}

bool FlushQueues(int fd, bool input, bool output) {
    if (!input && !output) {
        return true;
    }
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return ioctl(fd, TCFLSH, which) == 0;
}

}  // namespace platform::tty
