// Loading and saving the port settings: section "Port" of the profile file.
#pragma once

#include <string>

#include "config/port_settings.h"

namespace tavi {

// $XDG_CONFIG_HOME/Tavi/Tavi.ini, or ~/.config/Tavi/Tavi.ini when XDG_CONFIG_HOME is unset.
std::string DefaultSettingsPath();

// Reads the settings in the fixed order (Port, HostSel, NumHost, Host%d, Win9X_ExtraDelay,
// MachineType). A missing or unreadable file, section or key gives that key's default; never
// fails.
PortSettings LoadSettings(const std::string& path);

// Writes every value (Port, HostSel, NumHost, Host%d, Win9x_ExtraDelay, MachineType), keeping
// every other section, key and comment of the file in place, and replaces the file atomically.
// Creates the folder when it is missing. Returns false when the file could not be written.
bool SaveSettings(const std::string& path, const PortSettings& settings);

}  // namespace tavi
