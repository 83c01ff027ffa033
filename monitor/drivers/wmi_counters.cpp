#include "monitor/drivers/wmi_counters.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/wmi/wmi_protocol.h"

using namespace platform;

namespace {

constexpr std::size_t kNameEntrySize = 12;
constexpr std::size_t kMaxNameLength = kNameEntrySize - 1;
constexpr std::string_view kDosDevices = "\\DosDevices\\";

// Set once per process; a failure is tried again by the next operation.
bool g_securitySet = false;

bool SetProcessSecurity() {
    if (g_securitySet) {
        return true;
    }
    const HRESULT hr = CoInitializeSecurity(nullptr, RPC_C_AUTHN_DEFAULT, nullptr, nullptr,
                                            RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                                            nullptr, EOAC_NONE, nullptr);
    // Already set, by an earlier operation or by another part of the process: what it set holds.
    g_securitySet = SUCCEEDED(hr) || hr == RPC_E_TOO_LATE;
    return g_securitySet;
}

// Runs the family's query and hands each instance to visit.
template <typename Visit>
bool ForEachInstance(Visit visit) {
    const ComScope com;
    if (!com.Ready()) {
        return false;
    }
    const std::unique_ptr<IWbemServices> services = ConnectWmi();
    if (!services) {
        return false;
    }
    std::unique_ptr<IEnumWbemClassObject> instances;
    if (FAILED(services->ExecQuery(kZenithQueryLanguage, kZenithQuery,
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                   instances)) ||
        !instances) {
        return false;
    }
    for (;;) {
        std::unique_ptr<IWbemClassObject> instance;
        ULONG returned = 0;
        instances->Next(WBEM_INFINITE, 1, instance, &returned);
        if (returned == 0 || !instance) {
            return true;
        }
        if (!visit(*instance)) {
            return true;
        }
    }
}

// The port's name from the instance's PortName; nullopt when it cannot be read or is no name
// that fits an entry.
std::optional<std::string> PortNameOf(IWbemClassObject& instance) {
    VARIANT value;
    if (FAILED(instance.Get(u"PortName", 0, &value, nullptr, nullptr)) || value.vt != VT_BSTR) {
        return std::nullopt;
    }
    std::string name = wmi::ToAnsi(value.bstrVal);
    for (std::size_t at = name.find(kDosDevices); at != std::string::npos;
         at = name.find(kDosDevices, at)) {
        name.erase(at, kDosDevices.size());
    }
    // A name of 12 or more characters would run into the next entry; cut short, it could pass
    // for another port's name. It names no port here.
    if (name.empty() || name.size() > kMaxNameLength || name.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

std::optional<std::uint32_t> NumberOf(IWbemClassObject& instance, const char16_t* property) {
    VARIANT value;
    if (FAILED(instance.Get(property, 0, &value, nullptr, nullptr)) || value.vt != VT_I4) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value.lVal);
}

void StoreCounters(IWbemClassObject& instance, RawPortCounters& c) {
    const auto low16 = [](std::uint32_t v) { return static_cast<std::uint16_t>(v & 0xFFFF); };
    if (const auto v = NumberOf(instance, u"ReceivedCount")) {
        c.rxTotalRaw = *v;
    }
    if (const auto v = NumberOf(instance, u"TransmittedCount")) {
        c.txTotalRaw = *v;
    }
    if (const auto v = NumberOf(instance, u"FrameErrorCount")) {
        c.framingErrorsRaw = low16(*v);
    }
    // The buffer overruns are added to this read's serial overruns; without those the field
    // keeps its value, which holds the previous read's buffer overruns already.
    if (const auto serial = NumberOf(instance, u"SerialOverrunErrorCount")) {
        const auto buffer = NumberOf(instance, u"BufferOverrunErrorCount").value_or(0);
        c.overrunErrorsRaw = low16(*serial + buffer);
    }
    if (const auto v = NumberOf(instance, u"ParityErrorCount")) {
        c.parityErrorsRaw = low16(*v);
    }
    if (const auto v = NumberOf(instance, u"Status_Flags")) {
        c.statusFlags = low16(*v);
    }
}

}  // namespace

ComScope::ComScope() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    undo_ = SUCCEEDED(hr);  // S_OK and S_FALSE are each undone once
    ready_ = (SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE) && SetProcessSecurity();
}

ComScope::~ComScope() {
    if (undo_) {
        CoUninitialize();
    }
}

std::unique_ptr<IWbemServices> ConnectWmi() {
    std::unique_ptr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator)) ||
        !locator) {
        return nullptr;
    }
    std::unique_ptr<IWbemServices> services;
    if (FAILED(locator->ConnectServer(kWmiNamespace, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services)) ||
        !services) {
        return nullptr;
    }
    if (FAILED(CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                 EOAC_NONE))) {
        return nullptr;
    }
    return services;
}

void ForgetProcessSecurityForTesting() {
    g_securitySet = false;
}

int ProbeWmi() {
    bool found = false;
    ForEachInstance([&](IWbemClassObject&) {
        found = true;
        return false;
    });
    return found ? 1 : 0;
}

int ListWmiPorts(std::span<std::uint8_t> nameEntries) {
    const std::size_t entries = nameEntries.size() / kNameEntrySize;
    std::fill(nameEntries.begin(), nameEntries.end(), std::uint8_t{0});
    std::size_t stored = 0;
    ForEachInstance([&](IWbemClassObject& instance) {
        if (stored == entries) {
            return false;
        }
        const auto name = PortNameOf(instance);
        if (!name) {
            return true;
        }
        for (std::size_t i = 0; i < stored; ++i) {
            if (std::strncmp(reinterpret_cast<const char*>(&nameEntries[i * kNameEntrySize]),
                             name->c_str(), kNameEntrySize) == 0) {
                return true;  // a name is listed once
            }
        }
        std::memcpy(&nameEntries[stored * kNameEntrySize], name->data(), name->size());
        ++stored;
        return true;
    });
    return stored > 0 ? 1 : 0;
}

int ReadWmiCounters(std::span<const std::uint8_t> nameEntries,
                    std::span<RawPortCounters> counters) {
    std::unordered_map<std::string_view, std::size_t> index;
    const std::size_t ports = std::min(counters.size(), nameEntries.size() / kNameEntrySize);
    for (std::size_t i = 0; i < ports; ++i) {
        const char* entry = reinterpret_cast<const char*>(&nameEntries[i * kNameEntrySize]);
        const std::string_view name(entry, strnlen(entry, kMaxNameLength));
        if (!name.empty()) {
            index.emplace(name, i);  // the first entry of a name is its port
        }
    }
    int matched = 0;
    ForEachInstance([&](IWbemClassObject& instance) {
        const auto name = PortNameOf(instance);
        if (!name) {
            return true;
        }
        if (const auto it = index.find(*name); it != index.end()) {
            StoreCounters(instance, counters[it->second]);
            ++matched;
        }
        return true;
    });
    return matched > 0 ? 1 : 0;
}
