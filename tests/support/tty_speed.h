#pragma once

#include <string>

// The output speed in bit/s that the kernel holds for the tty, non-standard rates included;
// 0 when it cannot be read.
unsigned TtyOutputSpeed(int fd);

// Whether the tty's speed is set through the custom-rate path (BOTHER) rather than a code.
bool TtyUsesCustomRate(int fd);

// The speed as another program sees it: what `stty speed` prints, run in a child process with
// `fd` as its standard input (no new open, so an exclusive tty does not keep it out). Empty
// when stty could not be run.
std::string SpeedSeenByStty(int fd);
