// Loads arbitrary bytes as the settings file, saves changed settings over it, and checks that the
// file then loads as exactly what was saved (host names cut at a line break or NUL byte, as a
// save must), that a second save of the same settings changes no byte, and that a load never
// refuses a file within the size bound.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "core/settings/settings_store.h"
#include "os/profile_file.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a host name reads back as after a save: cut at its first line break or NUL byte.
std::string AsSaved(const std::string& host) {
  return host.substr(0, host.find_first_of(std::string_view("\r\n\0", 3)));
}

// One file per process, on a RAM file system where there is one, so that saving costs no disk.
const std::string& FilePath() {
  static const std::string path = [] {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(base) + "/tavi-settings-fuzz-" + std::to_string(::getpid()) + ".ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > tavi::kMaxSettingsFileBytes) return 0;
  const std::string& path = FilePath();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  tavi::LoadedSettings loaded = tavi::LoadSettingsFile(path);
  Check(!loaded.refused.has_value());
  tavi::PortSettings settings = loaded.settings;
  // Thousands of host keys would only make each run slow.
  if (settings.hosts.size() > 64) return 0;
  for (const std::string& host : settings.hosts)
    Check(host.size() <= tavi::kProfileMaxStringLength);

  // Change every value, with a host name taken from the input so that odd bytes reach the save.
  const auto wrap = [](std::int32_t v, std::uint32_t add) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) + add);
  };
  settings.port = wrap(settings.port, 1);
  settings.host_sel = wrap(settings.host_sel, 0xFFFFFFFFu);
  settings.machine_type = static_cast<std::int32_t>(size);
  settings.extra_delay_ms = wrap(0, 0u - static_cast<std::uint32_t>(settings.extra_delay_ms));
  settings.hosts.push_back(std::string(text.substr(0, text.size() < 80 ? text.size() : 80)));
  Check(tavi::SaveSettings(path, settings));
  const std::string first = ReadAll(path);

  const tavi::PortSettings again = tavi::LoadSettings(path);
  Check(again.port == settings.port);
  Check(again.host_sel == settings.host_sel);
  Check(again.extra_delay_ms == settings.extra_delay_ms);
  Check(again.machine_type == settings.machine_type);
  Check(again.hosts.size() == settings.hosts.size());
  for (std::size_t i = 0; i < settings.hosts.size(); ++i) {
    Check(again.hosts[i] == AsSaved(settings.hosts[i]));
  }
  Check(tavi::SaveSettings(path, again));
  Check(ReadAll(path) == first);
  return 0;
}
