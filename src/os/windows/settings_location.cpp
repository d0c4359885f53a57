// The Windows settings file: beside the executable where that folder is writable (a copy run
// from a folder of its own), else in the user's roaming application-data folder (an install
// under Program Files, where an ordinary user may not write).
#include "os/settings_location.h"

#include "os/windows/settings_location.h"

// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <array>

#include "os/windows/win_error.h"

namespace tavi {
namespace {

std::string FolderOf(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

std::string ExecutablePath() {
  std::array<char, MAX_PATH + 1> buffer{};
  const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::string(buffer.data(), n);
}

// The user's roaming application-data folder in the ANSI code page; empty when unknown.
std::string RoamingAppData() {
  PWSTR wide = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &wide))) {
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n > 1) {
      out.resize(static_cast<std::size_t>(n));
      ::WideCharToMultiByte(CP_ACP, 0, wide, -1, out.data(), n, nullptr, nullptr);
      out.resize(static_cast<std::size_t>(n - 1));
    }
  }
  ::CoTaskMemFree(wide);
  if (out.empty()) {
    std::array<char, MAX_PATH + 1> buffer{};
    const DWORD n = ::GetEnvironmentVariableA("APPDATA", buffer.data(), MAX_PATH);
    if (n > 0 && n < MAX_PATH) out.assign(buffer.data(), n);
  }
  return out;
}

}  // namespace

std::string ChooseSettingsPath(std::string_view exe_path, bool exe_folder_writable,
                               std::string_view app_data) {
  const std::string name(kWindowsSettingsFileName);
  const std::string exe_folder = FolderOf(exe_path);
  if (!exe_folder.empty() && exe_folder_writable) return exe_folder + "\\" + name;
  if (!app_data.empty()) return std::string(app_data) + "\\Tavi\\" + name;
  return name;
}

bool FolderTakesNewFiles(const std::string& folder) {
  const std::string probe =
      folder + "\\~tavi-write-probe-" + std::to_string(::GetCurrentProcessId()) + ".tmp";
  const UniqueHandle file(::CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
  return file.valid();
}

std::string DefaultSettingsPath() {
  const std::string exe = ExecutablePath();
  const std::string folder = FolderOf(exe);
  const bool writable = !folder.empty() && FolderTakesNewFiles(folder);
  return ChooseSettingsPath(exe, writable, writable ? std::string() : RoamingAppData());
}

}  // namespace tavi
