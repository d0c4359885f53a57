#include "os/settings_location.h"

#include <cstdlib>

namespace tavi {

std::string DefaultSettingsPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // Relative values are ignored, as the base-directory convention asks.
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/Tavi/Tavi.ini";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/Tavi/Tavi.ini";
  return "Tavi.ini";
}

}  // namespace tavi
