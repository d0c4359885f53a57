// Where the settings file lives by default. A contract: each platform folder defines it.
#pragma once

#include <string>

namespace tavi {

// The settings file when no path is given. POSIX: $XDG_CONFIG_HOME/Tavi/Tavi.ini, or
// ~/.config/Tavi/Tavi.ini when XDG_CONFIG_HOME is unset or relative, else "Tavi.ini".
// Windows: the platform's own place for the program's profile file.
std::string DefaultSettingsPath();

}  // namespace tavi
