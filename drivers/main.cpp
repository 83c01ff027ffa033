// portcountd: the driver service that answers the monitor's device I/O control requests.

#include <cerrno>
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
        const platform::DeviceDirectoryPlace place = platform::ChooseDeviceDirectory();
        const bool named = !line.service.deviceDir.empty() || place.named;
        const std::string dir =
            line.service.deviceDir.empty() ? place.path : line.service.deviceDir;
        // A control socket in a directory another user could change may not be the service's.
        std::string problem;
        if (const int error = platform::CheckDeviceDirectory(dir, named, problem);
            error != 0 && error != ENOENT) {
            std::fprintf(stderr, "portcountd: %s\n", problem.c_str());
            return 2;
        }
        return portcount::RunControlCommand(dir, line.control);
    }
    portcount::DriverService service(std::move(line.service));
    return service.Run();
}
