#include "terminal/session/settings_commands.h"

#include <string>

#include "platform/system/debug_output.h"
#include "platform/system/last_error.h"
#include "terminal/config/advanced_settings_form.h"
#include "terminal/config/port_settings_form.h"
#include "terminal/resources/halvo_resources.h"
#include "terminal/serial/serial_channel.h"
#include "terminal/session/port_error_box.h"
#include "terminal/session/port_workers.h"
#include "terminal/session/short_threads.h"

namespace {

using Target = PortFrameLink::Target;

constexpr const char* kNotOpenText = "Port is not open!\t";
constexpr const char* kSettingsRefusedText = "Port failed to accept new settings!\t";
constexpr const char* kMiscRefusedText = "Port failed to accept new misc.settings!\t";
constexpr const char* kTimeoutsRefusedText = "Port failed to accept new timeouts!";
constexpr const char* kMaskRefusedText = "Port failed to accept new mask!\t";
constexpr const char* kQueueRefusedText = "Port failed to accept new queue settings!\t";

// The settings dialogs' short threads.
ShortThreads& Bodies() {
    // Never destroyed: a body may still end after the program's statics are gone.
    static ShortThreads* bodies = new ShortThreads();
    return *bodies;
}

void ErrorBox(PortShared& shared, const char* message, long code) {
    const PortTransport* transport = shared.transport.get();
    ShowPortErrorBox(shared.prompts, FormatPortErrorText(message, code),
                     transport != nullptr ? transport->Caption() : std::string());
}

void ErrorBox(PortShared& shared, const std::string& message) {
    ErrorBox(shared, message.c_str(), 0);
}

platform::CommDeviceHandle OpenDevice(const PortShared& shared) {
    if (shared.isOpen.load() == 0 || !shared.transport) {
        return nullptr;
    }
    return shared.transport->SerialDevice();
}

// What the port was opened with: where a dialog starts when the device cannot say.
PortConfig PortCopy(const PortShared& shared) {
    if (const auto* channel = dynamic_cast<const SerialChannel*>(shared.transport.get())) {
        return channel->Config();
    }
    return CopyDefaultPortConfig();
}

// The user's answer to dialog `id`, or nothing on Cancel.
std::optional<platform::DialogFields> Ask(const char* id, platform::DialogFields fields,
                                          platform::PromptOwner owner, PortShared& shared) {
    const platform::DialogAnswer answer = shared.prompts.RunDialog({id, std::move(fields), owner});
    if (answer.button != IDOK) {
        return std::nullopt;
    }
    return answer.fields;
}

void PortSettingsBody(PortShared& shared, platform::CommDevice& device,
                      platform::PromptOwner owner) {
    PortConfig config;
    if (!device.GetCommState(config)) {
        config = PortCopy(shared);
    }
    if (!config.fOutX) {
        shared.PostIndicator(ID_INDICATOR_XOFF, 0);
    }
    const auto fields = Ask(kPortSettingsDialogId, PortSettingsFields(config, true), owner, shared);
    if (!fields) {
        return;
    }
    bool applyToAll = false;
    if (const auto error = ReadPortSettingsFields(*fields, config, &applyToAll)) {
        ErrorBox(shared, error->message);
        return;
    }
    if (applyToAll) {
        // The whole record is in place before any port window is told to read it.
        StoreDefaultPortConfig(config);
        shared.Post(Target::MdiClient, UWM_APPLY_ALL_REQUEST, 0, 0);
        return;
    }
    if (!ApplyPortConfigTo(shared, config)) {
        // The user asked for this port alone and must hear that the record did not take.
        ErrorBox(shared, kSettingsRefusedText, static_cast<long>(platform::GetLastError()));
    }
}

void MiscSettingsBody(PortShared& shared, platform::CommDevice& device,
                      platform::PromptOwner owner) {
    PortConfig config;
    if (!device.GetCommState(config)) {
        config = PortCopy(shared);
    }
    const auto fields = Ask(kMiscSettingsDialogId, MiscSettingsFields(config), owner, shared);
    if (!fields) {
        return;
    }
    if (const auto error = ReadMiscSettingsFields(*fields, config)) {
        ErrorBox(shared, error->message);
        return;
    }
    if (!device.SetCommState(config)) {
        ErrorBox(shared, kMiscRefusedText, static_cast<long>(platform::GetLastError()));
    }
}

void TimeoutsBody(PortShared& shared, platform::CommDevice& device, platform::PromptOwner owner) {
    COMMTIMEOUTS timeouts;  // all zero, as every open sets them, when the device cannot say
    device.GetCommTimeouts(timeouts);
    const auto fields =
        Ask(kTimeoutSettingsDialogId, TimeoutSettingsFields(timeouts), owner, shared);
    if (!fields) {
        return;
    }
    if (const auto error = ReadTimeoutSettingsFields(*fields, timeouts)) {
        ErrorBox(shared, error->message);
        return;
    }
    if (!device.SetCommTimeouts(timeouts)) {
        ErrorBox(shared, kTimeoutsRefusedText, static_cast<long>(platform::GetLastError()));
    }
}

void EventsBody(PortShared& shared, platform::CommDevice& device, platform::PromptOwner owner) {
    DWORD mask = kAlwaysWatchedEvents;  // what every open sets, when the device cannot say
    device.GetCommMask(mask);
    const auto fields = Ask(kEventSettingsDialogId, EventSettingsFields(mask), owner, shared);
    if (!fields) {
        return;
    }
    // The port window always watches the modem lines, whatever the user unchecked.
    if (!device.SetCommMask(ReadEventSettingsFields(*fields) | kAlwaysWatchedEvents)) {
        ErrorBox(shared, kMaskRefusedText, static_cast<long>(platform::GetLastError()));
    }
}

void QueueSizeBody(PortShared& shared, platform::CommDevice& device, platform::PromptOwner owner) {
    COMMPROP properties;
    device.GetCommProperties(properties);
    const auto fields = Ask(kQueueSettingsDialogId, QueueSettingsFields(properties), owner, shared);
    if (!fields) {
        return;
    }
    if (const auto error = ReadQueueSettingsFields(*fields, properties)) {
        ErrorBox(shared, error->message);
        return;
    }
    if (!device.SetupComm(properties.dwCurrentRxQueue, properties.dwCurrentTxQueue)) {
        ErrorBox(shared, kQueueRefusedText, static_cast<long>(platform::GetLastError()));
    }
}

}  // namespace

bool IsSettingsCommand(int id) {
    switch (id) {
        case ID_PORT_SETTINGS:
        case ID_MISC_SETTINGS:
        case ID_TIMEOUTS:
        case ID_EVENTS:
        case ID_QUEUE_SIZE:
            return true;
        default:
            return false;
    }
}

bool ApplyPortConfigTo(PortShared& shared, const PortConfig& config) {
    const platform::CommDeviceHandle device = OpenDevice(shared);
    if (!device) {
        platform::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!device->SetCommState(config)) {
        return false;
    }
    shared.dtrOn = config.fDtrControl != 0 ? 1 : 0;
    shared.rtsOn = config.fRtsControl != 0 ? 1 : 0;
    shared.PostIndicator(ID_INDICATOR_DTR, shared.dtrOn.load());
    shared.PostIndicator(ID_INDICATOR_RTS, shared.rtsOn.load());
    if (!config.fOutX) {
        shared.PostIndicator(ID_INDICATOR_XOFF, 0);
    }
    return true;
}

void RunSettingsCommand(int id, PortShared& shared, platform::PromptOwner owner) {
    const platform::CommDeviceHandle device = OpenDevice(shared);
    if (!device) {
        // The port closed after the command started: nothing to read or write.
        return;
    }
    switch (id) {
        case ID_PORT_SETTINGS:
            PortSettingsBody(shared, *device, owner);
            break;
        case ID_MISC_SETTINGS:
            MiscSettingsBody(shared, *device, owner);
            break;
        case ID_TIMEOUTS:
            TimeoutsBody(shared, *device, owner);
            break;
        case ID_EVENTS:
            EventsBody(shared, *device, owner);
            break;
        case ID_QUEUE_SIZE:
            QueueSizeBody(shared, *device, owner);
            break;
        default:
            break;
    }
}

void StartSettingsCommand(int id, std::shared_ptr<PortShared> shared, platform::PromptOwner owner) {
    if (!OpenDevice(*shared)) {
        platform::OutputDebugStringA("Port is closed!\n");
        ErrorBox(*shared, kNotOpenText, 0);
        return;
    }
    Bodies().Start(
        [id, shared = std::move(shared), owner] {
            const platform::PromptOwnerScope scope(owner);
            RunSettingsCommand(id, *shared, owner);
        },
        "Halvo2 can't start the settings dialog's thread!\n");
}

bool WaitForSettingsCommands(unsigned long milliseconds) {
    return Bodies().WaitIdle(milliseconds);
}
