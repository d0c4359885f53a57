// The settings file on Windows: read key by key with GetPrivateProfileIntW and
// GetPrivateProfileStringW, written key by key with WritePrivateProfileStringW, so that the
// system's own profile rules apply; names, values and the file's path go in and out as UTF-8.
#include "os/settings_profile.h"

#include <windows.h>

#include <array>
#include <filesystem>

#include "os/profile_file.h"
#include "os/windows/wide_text.h"
#include "os/windows/win_error.h"

namespace tavi {
namespace {

// Room for the longest value a read returns and its terminating zero.
constexpr DWORD kValueBuffer = kProfileMaxStringLength + 1;

}  // namespace

struct SettingsSection::Impl {
  std::wstring path;
  std::wstring section;
};

SettingsSection::SettingsSection() = default;
SettingsSection::~SettingsSection() = default;
SettingsSection::SettingsSection(SettingsSection&&) noexcept = default;
SettingsSection& SettingsSection::operator=(SettingsSection&&) noexcept = default;

bool SettingsSection::Read(const std::string& path, std::string_view section, FileError& error) {
  impl_.reset();
  // The profile functions read what they can and say nothing; a file that is there but cannot
  // be read is refused here, so that a save does not replace it.
  const std::wstring wide_path = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = ::GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
      FillWindowsFileError(error, FileError::Op::kOpen, path, code);
      return false;
    }
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    FillFileCause(error, FileError::Op::kOpen, path, EISDIR, "It is a folder");
    return false;
  } else {
    const UniqueHandle probe(::CreateFileW(wide_path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe.valid()) {
      FillWindowsFileError(error, FileError::Op::kOpen, path, ::GetLastError());
      return false;
    }
  }
  impl_ = std::make_unique<Impl>(Impl{wide_path, Widen(section)});
  return true;
}

std::string SettingsSection::GetString(std::string_view key, std::string_view fallback) const {
  const std::string fallback_text(fallback.substr(0, kProfileMaxStringLength));
  if (!impl_) return fallback_text;
  std::array<wchar_t, kValueBuffer> buffer{};
  const DWORD n = ::GetPrivateProfileStringW(impl_->section.c_str(), Widen(key).c_str(),
                                             Widen(fallback_text).c_str(), buffer.data(),
                                             kValueBuffer, impl_->path.c_str());
  return Narrow(std::wstring_view(buffer.data(), n < kValueBuffer ? n : kValueBuffer - 1));
}

std::int32_t SettingsSection::GetInt(std::string_view key, std::int32_t fallback) const {
  if (!impl_) return fallback;
  return static_cast<std::int32_t>(::GetPrivateProfileIntW(
      impl_->section.c_str(), Widen(key).c_str(), fallback, impl_->path.c_str()));
}

bool WriteSettingsSection(const std::string& path, std::string_view section,
                          const std::vector<std::pair<std::string, std::string>>& entries,
                          FileError& error) {
  SettingsSection readable;
  if (!readable.Read(path, section, error)) return false;
  const std::wstring wide_path = Widen(path);
  const std::filesystem::path folder = std::filesystem::path(wide_path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      FillFileCause(error, FileError::Op::kCreate, Narrow(folder.wstring()), ec.value(),
                    ec.message());
      return false;
    }
  }
  const std::wstring section_name = Widen(section);
  bool written = true;
  for (const auto& [key, value] : entries) {
    // The stored form reads back as given (quotes where the read would strip), on one line.
    const std::string stored = EncodeProfileValue(value);
    if (::WritePrivateProfileStringW(section_name.c_str(), Widen(key).c_str(),
                                     Widen(stored).c_str(), wide_path.c_str()) == 0) {
      FillWindowsFileError(error, FileError::Op::kWrite, path, ::GetLastError());
      written = false;
      break;
    }
  }
  // Puts the system's cached copy of the file on disk.
  ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, wide_path.c_str());
  return written;
}

}  // namespace tavi
