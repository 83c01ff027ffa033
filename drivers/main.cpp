// portcountd: the driver service that answers the monitor's device I/O control requests.

#include <cstdio>

#include "drivers/command_line.h"
#include "platform/devio/device_io.h"

int main(int argc, char** argv) {
    portcount::CommandLine line;
    std::string error;
    if (!portcount::ParseCommandLine(argc, argv, line, error)) {
        std::fprintf(stderr, "portcountd: %s\n%s", error.c_str(), portcount::kUsage);
        return 2;
    }
    if (line.help) {
        std::fputs(portcount::kUsage, stdout);
        return 0;
    }
    if (!line.control.empty()) {
        const std::string dir =
            line.service.deviceDir.empty() ? platform::DeviceDirectory() : line.service.deviceDir;
        return portcount::RunControlCommand(dir, line.control);
    }
    portcount::DriverService service(std::move(line.service));
    return service.Run();
}
