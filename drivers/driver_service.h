#pragma once
// The driver service: one listening socket per device name in the device directory, the
// management socket `wmi` of the Zenith family, one control socket, and a single-threaded poll
// loop serving every client connection. A lock file
// in the directory keeps a second service from taking the same device names.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/driver_card.h"
#include "drivers/wmi_provider.h"
#include "platform/devio/device_io_protocol.h"

namespace portcount {

struct ServiceOptions {
    std::string deviceDir;     // empty: platform::DeviceDirectory()
    std::string configPath;    // empty: portcountd.conf in the configuration directory
    bool configGiven = false;  // --config: a file that cannot be read is an error
    int portsPerFamily = -1;   // >= 0: a simulated card of that many ports per family
};

// The six device names: three per family, the 32-bit, x64 and Itanium builds of its driver.
struct DeviceName {
    const char* name;
    Family family;
};
extern const DeviceName kDeviceNames[6];
constexpr const char* kControlSocketName = "portcountd.ctl";
constexpr const char* kLockFileName = "portcountd.lock";
// The longest control line taken, however it arrives.
constexpr std::size_t kMaxControlLine = 4096;

// The first control line in bytes, without its newline and the blanks around it; used is what
// it takes up, newline included. Malformed for a line past kMaxControlLine.
platform::devio::FrameStatus NextControlLine(std::span<const std::uint8_t> bytes,
                                             std::string_view& line, std::size_t& used);

// The answer frame to one request to a device of family.
std::vector<std::uint8_t> AnswerRequest(DriverCard& card, Family family,
                                        const platform::devio::RequestFrame& request,
                                        SteadyTime now);

class DriverService {
  public:
    explicit DriverService(ServiceOptions options);
    ~DriverService();
    DriverService(const DriverService&) = delete;
    DriverService& operator=(const DriverService&) = delete;

    // Serves until SIGTERM or SIGINT (SIGHUP reloads the configuration); the exit status.
    int Run();

  private:
    struct Client;

    bool Start();
    bool LoadConfiguration(bool atStart);
    bool Listen(const std::string& name, int& fd);
    void Accept(int listener, int index);
    // False when the client is to be dropped.
    bool ReadFrom(Client& client);
    bool Process(Client& client);
    bool Flush(Client& client);
    std::string Control(std::string_view line);
    void Stop();

    ServiceOptions options_;
    std::string dir_;
    DriverCard card_;
    WmiProvider wmi_{card_};
    int lockFd_ = -1;
    int signalFd_ = -1;
    // fd, index in kDeviceNames, or kControlListener / kWmiListener
    std::vector<std::pair<int, int>> listeners_;
    std::vector<std::string> socketPaths_;
    std::vector<Client> clients_;
    bool running_ = false;
};

// Sends one control line to the service serving dir and prints its answer; the exit status.
int RunControlCommand(const std::string& dir, const std::string& line);

}  // namespace portcount
