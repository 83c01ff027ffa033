#pragma once

// The output speed in bit/s that the kernel holds for the tty, non-standard rates included;
// 0 when it cannot be read.
unsigned TtyOutputSpeed(int fd);
