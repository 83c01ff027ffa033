#pragma once
// The monitor's help: the help file in the folder of the executable, opened with the desktop's
// viewer.

#include <string>

#include "platform/ui/prompts.h"

inline constexpr const char* kHelpFileName = "SELTRA2.CHM";
inline constexpr const char* kHelpLaunchErrorText = "Unable to launch the Help File!\t\n";
inline constexpr const char* kHelpWarningCaption = "Seltra2 - Warning ...";

std::string HelpFilePath();
// Opens the help file; a missing file or a viewer that cannot be started shows
// kHelpLaunchErrorText. True when the viewer was started.
bool OpenHelpFile(platform::PromptService& prompts);
