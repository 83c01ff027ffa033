#pragma once
// The five settings commands of a serial port window (Port Settings, Miscellaneous, Timeouts,
// Events, Queue Size): each reads the open device, asks the user through the prompt service's
// dialog, and writes the edited copy back to the device on OK only. A body runs on a short
// thread of its own, so the port thread and its workers go on while the dialog is up; it holds
// a share of the port's state, and the port's close answers its dialog Cancel.

#include <memory>

#include "platform/ui/prompt_gate.h"
#include "terminal/config/port_config.h"

struct PortShared;

// True when `id` is one of the five settings commands.
bool IsSettingsCommand(int id);

// Runs command `id` for the port: on a closed port (or a port without line settings) the
// closed texts at once; otherwise starts the body on a short thread whose dialogs belong to
// `owner`, and returns at once.
void StartSettingsCommand(int id, std::shared_ptr<PortShared> shared, platform::PromptOwner owner);

// The body of command `id`, on the calling thread; what the short thread runs.
void RunSettingsCommand(int id, PortShared& shared, platform::PromptOwner owner);

// Line settings for the port's open device, not kept as the port's own settings: the DTR, RTS
// and XOFF indicators follow the record. False, with the device's error as the thread's last
// error, when the port is closed or the device refused the record (nothing else changes).
bool ApplyPortConfigTo(PortShared& shared, const PortConfig& config);

// Waits until no settings command's short thread runs any more (tests, benchmarks and the
// program's exit); false after `milliseconds` with one still running.
bool WaitForSettingsCommands(unsigned long milliseconds);
