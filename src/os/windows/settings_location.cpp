// The Windows settings file: in the user's roaming application-data folder for a copy that the
// installer put in place (it records its folder in the registry); beside the executable for a
// portable copy run from a folder of its own, unless that folder cannot be written.
#include "os/settings_location.h"

#include "os/windows/settings_location.h"

// clang-format off
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <array>

#include "os/windows/wide_text.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

std::string FolderOf(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

// The program's own path in UTF-8, however long (a path in a deep folder passes MAX_PATH);
// empty when the system cannot say.
std::string ExecutablePath() {
  // 32767 characters is the longest path the system has.
  for (DWORD size = MAX_PATH + 1; size <= 32768; size *= 2) {
    std::wstring buffer(size, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (n == 0) return {};
    // A full buffer means the path was cut: try again with room for more.
    if (n < size) return Narrow(std::wstring_view(buffer.data(), n));
  }
  return {};
}

// The user's roaming application-data folder in UTF-8; empty when unknown.
std::string RoamingAppData() {
  PWSTR wide = nullptr;
  std::string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &wide))) {
    out = Narrow(wide);
  }
  ::CoTaskMemFree(wide);
  if (out.empty()) {
    std::array<wchar_t, 32768> buffer{};
    const DWORD n =
        ::GetEnvironmentVariableW(L"APPDATA", buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n > 0 && n < buffer.size()) out = Narrow(std::wstring_view(buffer.data(), n));
  }
  return out;
}

// The folder the installer recorded, in UTF-8; empty when there is none (a portable copy).
std::string RecordedInstallFolder() {
  std::array<wchar_t, 1024> wide{};
  DWORD bytes = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
  const std::wstring key(kInstallKey);
  const std::wstring value(kInstallFolderValue);
  if (::RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value.c_str(), RRF_RT_REG_SZ, nullptr,
                     wide.data(), &bytes) != ERROR_SUCCESS) {
    return {};
  }
  return Narrow(wide.data());
}

// `folder` with '/' as '\\', ASCII letters in lower case and no trailing separator.
std::string ComparableFolder(std::string_view folder) {
  std::string out(folder);
  for (char& c : out) {
    if (c == '/') c = '\\';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

}  // namespace

bool IsInInstallFolder(std::string_view exe_path, std::string_view install_folder) {
  const std::string exe_folder = ComparableFolder(FolderOf(exe_path));
  return !exe_folder.empty() && exe_folder == ComparableFolder(install_folder);
}

std::string ChooseSettingsPath(std::string_view exe_path, std::string_view install_folder,
                               bool exe_folder_writable, std::string_view app_data) {
  const std::string name(kWindowsSettingsFileName);
  const std::string exe_folder = FolderOf(exe_path);
  const bool installed = IsInInstallFolder(exe_path, install_folder);
  if (!installed && !exe_folder.empty() && exe_folder_writable) return exe_folder + "\\" + name;
  if (!app_data.empty()) return std::string(app_data) + "\\Tavi\\" + name;
  return name;
}

bool FolderTakesNewFiles(const std::string& folder) {
  const std::string probe =
      folder + "\\~tavi-write-probe-" + std::to_string(::GetCurrentProcessId()) + ".tmp";
  const UniqueHandle file(::CreateFileW(Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                        nullptr));
  return file.valid();
}

std::string DefaultSettingsPath() {
  const std::string exe = ExecutablePath();
  const std::string folder = FolderOf(exe);
  const std::string install_folder = RecordedInstallFolder();
  const bool writable =
      !IsInInstallFolder(exe, install_folder) && !folder.empty() && FolderTakesNewFiles(folder);
  return ChooseSettingsPath(exe, install_folder, writable,
                            writable ? std::string() : RoamingAppData());
}

}  // namespace tavi
