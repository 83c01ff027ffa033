#include "drivers/command_line.h"

#include <charconv>
#include <string_view>

namespace portcount {

const char* const kUsage =
    "usage: portcountd [--config FILE] [--ports-per-family N] [--device-dir DIR] [--foreground]\n"
    "       portcountd [--device-dir DIR] --ctl COMMAND...\n"
    "control commands: fail FAMILY CODE | restart [FAMILY] [PORT|all] |\n"
    "                  set [FAMILY] PORT FIELD=VALUE... | ports | reload\n";

// The most ports a family lists: far more than any card, and still within one request.
constexpr int kMaxPortsPerFamily = 100000;

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string& into) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = std::string(arg) + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "--config") {
            if (!value(line.service.configPath)) {
                return false;
            }
            line.service.configGiven = true;
        } else if (arg == "--device-dir") {
            if (!value(line.service.deviceDir)) {
                return false;
            }
        } else if (arg == "--ports-per-family") {
            std::string text;
            if (!value(text)) {
                return false;
            }
            int n = -1;
            auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || ptr != text.data() + text.size() || n < 0 ||
                n > kMaxPortsPerFamily) {
                error = "--ports-per-family takes a number from 0 to " +
                        std::to_string(kMaxPortsPerFamily) + ", not '" + text + "'";
                return false;
            }
            line.service.portsPerFamily = n;
        } else if (arg == "--foreground") {
            // The service always stays in the foreground; the option is accepted for scripts.
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--ctl") {
            for (++i; i < argc; ++i) {
                if (!line.control.empty()) {
                    line.control += ' ';
                }
                line.control += argv[i];
            }
            if (line.control.empty()) {
                error = "--ctl needs a command";
                return false;
            }
        } else {
            error = "unknown option '" + std::string(arg) + "'";
            return false;
        }
    }
    return true;
}

}  // namespace portcount
