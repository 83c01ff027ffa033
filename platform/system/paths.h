#pragma once
// Where the programs keep their files: the program directory (the executable's, unless
// QUENBY_PROGRAM_DIR names another) and the configuration directory
// ($XDG_CONFIG_HOME/quenby, default ~/.config/quenby).

#include <string>

namespace platform {

// Without a trailing slash.
std::string ProgramDirectory();
// Created when missing; without a trailing slash.
std::string ConfigDirectory();

}  // namespace platform
