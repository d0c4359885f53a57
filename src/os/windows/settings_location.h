// How the Windows build chooses the folder of its settings file (inside os/windows/ and
// its tests only).
#pragma once

#include <string>
#include <string_view>

namespace tavi {

// The name of the settings file: the program's name with ".INI". The desktop program and
// tavi-cli share it, so that both see the same settings.
inline constexpr std::string_view kWindowsSettingsFileName = "Tavi.INI";

// Where the installer records the folder it installed the programs into: the value
// `kInstallFolderValue` of HKEY_LOCAL_MACHINE\`kInstallKey`. The zip writes nothing there.
inline constexpr std::wstring_view kInstallKey = L"Software\\Tavi";
inline constexpr std::wstring_view kInstallFolderValue = L"InstallFolder";

// Whether `exe_path` lies directly in `install_folder` (as the installer recorded it, with or
// without a trailing backslash): the same folder, letter case and '/' against '\\' aside.
bool IsInInstallFolder(std::string_view exe_path, std::string_view install_folder);

// The settings file of a program whose executable is `exe_path`. An installed copy (the
// executable in the installer's `install_folder`) keeps it in "Tavi" under the user's
// application-data folder `app_data`, however writable Program Files happens to be. A portable
// copy keeps it beside the executable when that folder takes new files
// (`exe_folder_writable`), else under `app_data` too. With no folder known: the bare file name,
// which the profile functions look for in the Windows folder.
std::string ChooseSettingsPath(std::string_view exe_path, std::string_view install_folder,
                               bool exe_folder_writable, std::string_view app_data);

// Whether a new file can be made in `folder` (a probe file is made and removed at once).
bool FolderTakesNewFiles(const std::string& folder);

}  // namespace tavi
