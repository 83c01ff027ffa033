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

// The devices that come bare or with a name of their own after a '/'.
struct NamedKind {
    std::string_view word;
    Kind kind;
};
constexpr NamedKind kNamedKinds[] = {{"loopback", Kind::Loopback},
                                     {"loopback-ring", Kind::LoopbackRing},
                                     {"pnp", Kind::Pnp},
                                     {"open", Kind::Open}};

constexpr std::string_view kKnown =
    " (known: sim:loopback, sim:loopback-ring, sim:pnp and sim:open, each also as "
    "<device>/<name>, and sim:null-modem/<pair>/A, sim:null-modem/<pair>/B)";

// A device name or a cable's pair name: not empty and without '/'; blanks and other
// characters are part of it.
bool IsGoodName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos;
}

// The device, or why `device` names none (in `fault`, for the user).
std::optional<DeviceName> ParseName(std::string_view device, std::string* fault) {
    auto refuse = [&](std::string_view why) -> std::optional<DeviceName> {
        if (fault != nullptr) {
            *fault = "simulated device '" + std::string(device) + "' " + std::string(why);
        }
        return std::nullopt;
    };
    auto unknown = [&] {
        if (fault != nullptr) {
            *fault = "unknown simulated device '" + std::string(device) + "'" + std::string(kKnown);
        }
        return std::nullopt;
    };
    constexpr std::string_view kPrefix = "sim:";
    if (!device.starts_with(kPrefix)) {
        return unknown();
    }
    const std::string_view rest = device.substr(kPrefix.size());
    const std::size_t slash = rest.find('/');
    const std::string_view word = rest.substr(0, slash);
    for (const NamedKind& named : kNamedKinds) {
        if (word != named.word) {
            continue;
        }
        // The bare word is one device; with a name after '/' it is another one.
        if (slash != std::string_view::npos) {
            const std::string_view name = rest.substr(slash + 1);
            if (name.empty()) {
                return refuse("has an empty name after '/' (a name is any text without '/')");
            }
            if (!IsGoodName(name)) {
                return refuse("has a '/' in its name (a name is any text without '/')");
            }
        }
        return DeviceName{named.kind, {}};
    }
    if (word != "null-modem" || slash == std::string_view::npos) {
        return unknown();
    }
    const std::string_view cable = rest.substr(slash + 1);
    const std::size_t end = cable.rfind('/');
    if (end == std::string_view::npos || !IsGoodName(cable.substr(0, end))) {
        return unknown();
    }
    const std::string_view side = cable.substr(end + 1);
    if (side != "A" && side != "B") {
        return unknown();
    }
    return DeviceName{Kind::NullModem, std::string(cable.substr(0, end)), side == "A" ? 0 : 1};
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

std::string SimulatedDeviceNameFault(std::string_view device) {
    std::string fault;
    sim::ParseName(device, &fault);
    return fault;
}

CommDeviceHandle OpenSimulatedDevice(const std::string& device) {
    const std::optional<sim::DeviceName> name = sim::ParseName(device, nullptr);
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
    if (!sim::ParseName(device, nullptr)) {
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
