// The text files users edit by hand: the registry store and the port map. Any bytes must parse
// or be refused without reading past the text, and a registry file that parsed must read back
// the same after it is written out again. The command line goes through the same mill.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/comm/port_map.h"
#include "platform/registry/reg_file.h"
#include "terminal/app/command_line.h"
#include "terminal/config/port_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    platform::RegFile file;
    platform::RegParseError error;
    if (platform::ParseRegFile(text, file, error)) {
        const std::string written = platform::FormatRegFile(file);
        platform::RegFile again;
        if (!platform::ParseRegFile(written, again, error) ||
            platform::FormatRegFile(again) != written) {
            std::abort();  // what the store writes, it must read back unchanged
        }
    }

    const platform::PortMap map = platform::PortMap::Parse(text, "ports.conf");
    static_cast<void>(map.DeviceFor(1));

    PortConfig config;
    FillDefaultPortConfig(config);
    const CommandLinePlan plan = ProcessCommandLine(text, config);
    if (plan.portNames.size() > 80) {
        std::abort();  // more ports than the 80-byte buffer can name
    }
    return 0;
}
