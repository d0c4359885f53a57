#include "core/settings/settings_store.h"

#include <utility>
#include <vector>

#include "os/profile_file.h"
#include "os/settings_profile.h"

namespace tavi {
namespace {

constexpr std::string_view kSection = "Port";
constexpr std::string_view kKeyPort = "Port";
constexpr std::string_view kKeyHostSel = "HostSel";
constexpr std::string_view kKeyNumHost = "NumHost";
constexpr std::string_view kKeyExtraDelayLoad = "Win9X_ExtraDelay";
constexpr std::string_view kKeyExtraDelaySave = "Win9x_ExtraDelay";
constexpr std::string_view kKeyMachineType = "MachineType";
constexpr std::string_view kKeyCommunity = "Community";
constexpr std::string_view kKeySafetyCopy = "SafetyCopy";

std::string HostKey(std::size_t i) {
  return "Host" + std::to_string(i);
}

}  // namespace

std::optional<std::string> UnreadableSettingsCause(const PortSettings& settings) {
  if (const std::optional<std::string> fault = CommunityFault(settings.community)) {
    return *fault + " A load would not take it back, so the file is left as it is";
  }
  if (settings.hosts.size() > kMaxHostCount) {
    return "The host list has " + std::to_string(settings.hosts.size()) +
           " entries; a load takes at most " + std::to_string(kMaxHostCount) +
           ", so the file is left as it is";
  }
  for (std::size_t i = 0; i < settings.hosts.size(); ++i) {
    if (settings.hosts[i].size() > kProfileMaxStringLength) {
      return "Host " + std::to_string(i + 1) + " is " + std::to_string(settings.hosts[i].size()) +
             " characters long; a load takes at most " + std::to_string(kProfileMaxStringLength) +
             ", so the file is left as it is";
    }
  }
  return std::nullopt;
}

LoadedSettings LoadSettingsFile(const std::string& path) {
  LoadedSettings loaded;
  SettingsSection port;
  FileError error;
  if (!port.Read(path, kSection, error)) {
    loaded.refused = error;
    return loaded;
  }
  const PortSettings defaults;  // every key's default
  PortSettings& settings = loaded.settings;

  settings.port = port.GetInt(kKeyPort, defaults.port);
  settings.host_sel = port.GetInt(kKeyHostSel, defaults.host_sel);
  const std::int32_t count = port.GetInt(kKeyNumHost, 0);
  // A negative count is an empty list; a count past kMaxHostCount is read as kMaxHostCount, so
  // that a garbled value cannot make a load take all memory.
  const std::size_t n = count <= 0 ? 0
                        : static_cast<std::uint32_t>(count) > kMaxHostCount
                            ? kMaxHostCount
                            : static_cast<std::size_t>(count);
  settings.hosts.resize(n);
  for (std::size_t i = 0; i < n; ++i) settings.hosts[i] = port.GetString(HostKey(i), "");
  settings.extra_delay_ms = port.GetInt(kKeyExtraDelayLoad, defaults.extra_delay_ms);
  settings.machine_type = port.GetInt(kKeyMachineType, defaults.machine_type);
  // A community that cannot be sent (hand-edited) gives the default, as a missing key does.
  std::string community = port.GetString(kKeyCommunity, defaults.community);
  if (!CommunityFault(community)) settings.community = std::move(community);
  settings.safety_copy = port.GetInt(kKeySafetyCopy, 0) != 0;
  return loaded;
}

PortSettings LoadSettings(const std::string& path) {
  return LoadSettingsFile(path).settings;
}

std::string SettingsRefusedText(const FileError& error) {
  return "The settings file cannot be used. " + FileErrorText(error) +
         " The default settings are used, and the file is left as it is.";
}

bool SaveSettings(const std::string& path, const PortSettings& settings, FileError& error) {
  // Nothing is written that a load would not take back as it is.
  if (const std::optional<std::string> cause = UnreadableSettingsCause(settings)) {
    error = FileError{FileError::Op::kWrite, path, SystemCode{}, *cause};
    return false;
  }
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(settings.hosts.size() + 6);
  entries.emplace_back(kKeyPort, std::to_string(settings.port));
  entries.emplace_back(kKeyHostSel, std::to_string(settings.host_sel));
  entries.emplace_back(kKeyNumHost, std::to_string(settings.hosts.size()));
  for (std::size_t i = 0; i < settings.hosts.size(); ++i) {
    entries.emplace_back(HostKey(i), settings.hosts[i]);
  }
  entries.emplace_back(kKeyExtraDelaySave, std::to_string(settings.extra_delay_ms));
  entries.emplace_back(kKeyMachineType, std::to_string(settings.machine_type));
  entries.emplace_back(kKeyCommunity, settings.community);
  if (settings.safety_copy) entries.emplace_back(kKeySafetyCopy, "1");
  return WriteSettingsSection(path, kSection, entries, error);
}

bool SaveSettings(const std::string& path, const PortSettings& settings) {
  FileError error;
  return SaveSettings(path, settings, error);
}

}  // namespace tavi
