#pragma once
// portcountd's command line:
//   portcountd [--config FILE] [--ports-per-family N] [--device-dir DIR] [--foreground]
//   portcountd [--device-dir DIR] --ctl COMMAND...

#include <string>

#include "drivers/driver_service.h"

namespace portcount {

struct CommandLine {
    ServiceOptions service;
    std::string control;  // non-empty: send this line to a running service
    bool help = false;
};

// False with the reason in error for an unknown option or a bad value.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error);

extern const char* const kUsage;

}  // namespace portcount
