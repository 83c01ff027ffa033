#include "platform/comm/sim_device.h"

#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "platform/comm/sim_endpoint.h"
#include "platform/system/last_error.h"

namespace platform {

namespace sim {

namespace {

enum class Kind { Loopback, LoopbackRing, NullModem, Pnp, Open };

struct DeviceName {
    Kind kind;
    std::string pair;  // null-modem cable name
    int side = 0;      // 0: end A, 1: end B
};

std::optional<DeviceName> ParseName(std::string_view device) {
    if (device == "sim:loopback") {
        return DeviceName{Kind::Loopback, {}};
    }
    if (device == "sim:loopback-ring") {
        return DeviceName{Kind::LoopbackRing, {}};
    }
    if (device == "sim:pnp") {
        return DeviceName{Kind::Pnp, {}};
    }
    if (device == "sim:open") {
        return DeviceName{Kind::Open, {}};
    }
    constexpr std::string_view kNullModem = "sim:null-modem/";
    if (!device.starts_with(kNullModem)) {
        return std::nullopt;
    }
    const std::string_view rest = device.substr(kNullModem.size());
    const std::size_t slash = rest.find('/');
    if (slash == 0 || slash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view end = rest.substr(slash + 1);
    if (end != "A" && end != "B") {
        return std::nullopt;
    }
    return DeviceName{Kind::NullModem, std::string(rest.substr(0, slash)), end == "A" ? 0 : 1};
}

// The open devices by name, the names pulled out and the null-modem cables with at least one
// end open; World's lock guards them all. An endpoint leaves `open` in its Close, which its
// destructor runs, so no pointer here outlives its device.
struct Registry {
    std::map<std::string, SimEndpoint*> open;
    std::set<std::string> unplugged;
    std::map<std::string, std::weak_ptr<NullModemCable>> cables;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry();  // outlives handles still open at exit
    return *registry;
}

std::shared_ptr<SimCable> CableFor(const DeviceName& name) {
    switch (name.kind) {
        case Kind::Loopback:
            return std::make_shared<LoopbackPlug>(/*ring=*/false);
        case Kind::LoopbackRing:
            return std::make_shared<LoopbackPlug>(/*ring=*/true);
        case Kind::Pnp:
            return std::make_shared<PnpModem>();
        case Kind::Open:
            return std::make_shared<OpenLine>();
        case Kind::NullModem:
            break;
    }
    auto& slot = TheRegistry().cables[name.pair];
    std::shared_ptr<NullModemCable> cable = slot.lock();
    if (!cable) {
        cable = std::make_shared<NullModemCable>();
        slot = cable;
    }
    return cable;
}

}  // namespace

SimEndpoint* OpenSimulatedEndpoint(const std::string& name) {
    const auto found = TheRegistry().open.find(name);
    return found != TheRegistry().open.end() ? found->second : nullptr;
}

void ReleaseSimulatedDevice(const std::string& name) {
    Registry& registry = TheRegistry();
    registry.open.erase(name);
    std::erase_if(registry.cables, [](const auto& entry) { return entry.second.expired(); });
}

}  // namespace sim

CommDeviceHandle OpenSimulatedDevice(const std::string& device) {
    const std::optional<sim::DeviceName> name = sim::ParseName(device);
    if (!name) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard lock(sim::World::Get().Mutex());
    sim::Registry& registry = sim::TheRegistry();
    if (registry.unplugged.contains(device)) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // nothing is there while it is pulled out
        return nullptr;
    }
    if (registry.open.contains(device)) {
        SetLastError(ERROR_BUSY);
        return nullptr;
    }
    auto station = std::make_shared<sim::SimStation>();
    std::shared_ptr<sim::SimCable> cable = sim::CableFor(*name);
    cable->Attach(*station, name->side);
    sim::World::Get().Register(station.get());
    auto endpoint =
        std::make_shared<sim::SimEndpoint>(device, std::move(station), std::move(cable));
    registry.open[device] = endpoint.get();
    return endpoint;
}

bool UnplugSimulatedDevice(const std::string& device) {
    if (!sim::ParseName(device)) {
        return false;
    }
    std::lock_guard lock(sim::World::Get().Mutex());
    sim::TheRegistry().unplugged.insert(device);
    if (sim::SimEndpoint* endpoint = sim::OpenSimulatedEndpoint(device)) {
        endpoint->Unplug();
    }
    return true;
}

void ReplugSimulatedDevice(const std::string& device) {
    std::lock_guard lock(sim::World::Get().Mutex());
    sim::TheRegistry().unplugged.erase(device);
}

}  // namespace platform
