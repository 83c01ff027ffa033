// The tty's real output speed, read with the kernel's termios2. Kept apart from the tests,
// which use <termios.h>: the two headers define the same record.

#include "tests/support/tty_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

unsigned TtyOutputSpeed(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return 0;
    }
    return t.c_ospeed;
}
