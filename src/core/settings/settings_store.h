// Loading and saving the port settings: section "Port" of the profile file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/settings/port_settings.h"
#include "core/ui/seams.h"
#include "os/settings_location.h"  // DefaultSettingsPath
#include "os/settings_profile.h"   // kMaxSettingsFileBytes

namespace tavi {

// The most hosts a load takes: a larger "NumHost" is read as this many, so that a garbled file
// cannot make the load take all memory.
inline constexpr std::size_t kMaxHostCount = 65536;

// Reads the settings in the fixed order (Port, HostSel, NumHost, Host%d, Win9X_ExtraDelay,
// MachineType, Community). A missing or unreadable file, section or key gives that key's default
// (also a community that cannot be sent); never fails. A negative "NumHost" gives an empty host
// list; see kMaxHostCount for the upper bound.
PortSettings LoadSettings(const std::string& path);

// A load that also says when the file is there but could not be used (larger than
// kMaxSettingsFileBytes, not a regular file, unreadable): the settings are then the defaults,
// and a save would refuse to replace the file.
struct LoadedSettings {
  PortSettings settings;
  std::optional<FileError> refused;
};
LoadedSettings LoadSettingsFile(const std::string& path);

// The message for a settings file that could not be used.
std::string SettingsRefusedText(const FileError& error);

// Why `settings` would not read back as they are (more hosts than a load takes, a host longer
// than a load reads, a community a load refuses), or nothing when they would. A save refuses such
// settings.
std::optional<std::string> UnreadableSettingsCause(const PortSettings& settings);

// Writes every value (Port, HostSel, NumHost, Host%d, Win9x_ExtraDelay, MachineType, Community),
// keeping every other section, key and comment of the file in place, and replaces the file
// atomically. Creates the folder when it is missing. Refuses (false, the file untouched) settings
// that would not read back: see UnreadableSettingsCause, and the size bound of
// WriteSettingsSection. Returns false when the file could not be written; an existing file that
// cannot be read is left alone (false) rather than replaced without its other content. The file
// itself is saved by the rules of WriteFileAtomically (through links, keeping owner and mode, never
// over anything but a regular file).
bool SaveSettings(const std::string& path, const PortSettings& settings);
// The same, saying in `error` why it failed.
bool SaveSettings(const std::string& path, const PortSettings& settings, FileError& error);

}  // namespace tavi
