// The tty's real output speed, read with the kernel's termios2. Kept apart from the tests,
// which use <termios.h>: the two headers define the same record.

#include "tests/support/tty_speed.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

unsigned TtyOutputSpeed(int fd) {
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return 0;
    }
    return t.c_ospeed;
}

bool TtyUsesCustomRate(int fd) {
    termios2 t{};
    return ioctl(fd, TCGETS2, &t) == 0 && (t.c_cflag & CBAUD) == BOTHER;
}

std::string SpeedSeenByStty(int fd) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child < 0) {
        close(out[0]);
        close(out[1]);
        return {};
    }
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec: the test process has threads.
        if (dup2(fd, STDIN_FILENO) < 0 || dup2(out[1], STDOUT_FILENO) < 0) {
            _exit(127);
        }
        execlp("stty", "stty", "speed", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(out[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {};
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}
