// How the Windows build chooses the folder of its settings file (inside os/windows/ and
// its tests only).
#pragma once

#include <string>
#include <string_view>

namespace tavi {

// The name of the settings file: the program's name with ".INI". The desktop program and
// tavi-cli share it, so that both see the same settings.
inline constexpr std::string_view kWindowsSettingsFileName = "Tavi.INI";

// The settings file of a program whose executable is `exe_path`: beside the executable when
// its folder takes new files (`exe_folder_writable`), else in "Tavi" under the user's
// application-data folder `app_data`. With neither known: the bare file name, which the profile
// functions look for in the Windows folder.
std::string ChooseSettingsPath(std::string_view exe_path, bool exe_folder_writable,
                               std::string_view app_data);

// Whether a new file can be made in `folder` (a probe file is made and removed at once).
bool FolderTakesNewFiles(const std::string& folder);

}  // namespace tavi
