// The settings file on POSIX systems: read and rewritten as text by ProfileFile, saved
// atomically.
#include "os/settings_profile.h"

#include <cerrno>
#include <filesystem>
#include <span>

#include "os/file_io.h"
#include "os/profile_file.h"

namespace tavi {
namespace {

// Reads the profile file, at most kMaxSettingsFileBytes of it. A missing file is an empty
// profile; any other failure is reported, so that a save never replaces a file it could not read.
bool ReadProfile(const std::string& path, ProfileFile& profile, FileError& error) {
  std::vector<std::byte> bytes;
  if (!ReadWholeFile(path, bytes, error, kMaxSettingsFileBytes)) {
    if (error.op == FileError::Op::kOpen && error.code.IsErrno(ENOENT)) {
      profile = ProfileFile();
      return true;
    }
    if (error.cause == kFileTooLargeCause) {
      error.cause = "It is larger than " + std::to_string(kMaxSettingsFileBytes >> 20) + " MiB";
    }
    return false;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  profile = ProfileFile::Parse(text);
  return true;
}

}  // namespace

struct SettingsSection::Impl {
  ProfileFile profile;
  ProfileSection section;  // views into `profile`, which never changes after the read
};

SettingsSection::SettingsSection() = default;
SettingsSection::~SettingsSection() = default;
SettingsSection::SettingsSection(SettingsSection&&) noexcept = default;
SettingsSection& SettingsSection::operator=(SettingsSection&&) noexcept = default;

bool SettingsSection::Read(const std::string& path, std::string_view section, FileError& error) {
  impl_ = std::make_unique<Impl>();
  if (!ReadProfile(path, impl_->profile, error)) return false;
  impl_->section = impl_->profile.ReadSection(section);
  return true;
}

std::string SettingsSection::GetString(std::string_view key, std::string_view fallback) const {
  if (!impl_) return std::string(fallback.substr(0, kProfileMaxStringLength));
  return impl_->section.GetString(key, fallback);
}

std::int32_t SettingsSection::GetInt(std::string_view key, std::int32_t fallback) const {
  return impl_ ? impl_->section.GetInt(key, fallback) : fallback;
}

bool WriteSettingsSection(const std::string& path, std::string_view section,
                          const std::vector<std::pair<std::string, std::string>>& entries,
                          FileError& error) {
  ProfileFile profile;
  if (!ReadProfile(path, profile, error)) return false;
  profile.SetStrings(section, entries);

  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
      error.op = FileError::Op::kCreate;
      error.path = folder.string();
      error.code = SystemCode::Errno(ec.value());
      error.cause = ec.message();
      return false;
    }
  }
  const std::string text = profile.Serialize();
  // Never written larger than a load reads: such a file would come back as the defaults.
  if (text.size() > kMaxSettingsFileBytes) {
    error.op = FileError::Op::kWrite;
    error.path = path;
    error.code = SystemCode{};
    error.cause = "The settings would take " + std::to_string(text.size()) +
                  " bytes, more than the " + std::to_string(kMaxSettingsFileBytes >> 20) +
                  " MiB a load reads, so the file is left as it is";
    return false;
  }
  return WriteFileAtomically(path, std::as_bytes(std::span(text.data(), text.size())), error);
}

}  // namespace tavi
