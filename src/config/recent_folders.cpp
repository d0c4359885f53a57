#include "config/recent_folders.h"

#include <cerrno>
#include <filesystem>
#include <span>
#include <utility>
#include <vector>

#include "platform/file_io.h"
#include "platform/profile_file.h"

namespace tavi {
namespace {

// The key of each kind, in the order of FileKind; kOther is not remembered.
constexpr std::array<std::string_view, 5> kKeys = {"", "ParameterFile", "FirmwareImage",
                                                   "HeadRankFile", "Report"};

std::size_t Index(FileKind kind) {
  return static_cast<std::size_t>(kind);
}

// The settings file as a profile; a missing file is an empty one.
bool ReadProfile(const std::string& path, ProfileFile& profile, FileError& error) {
  std::vector<std::byte> bytes;
  if (!ReadWholeFile(path, bytes, error)) {
    if (error.error_number != ENOENT) return false;
    profile = ProfileFile();
    return true;
  }
  profile = ProfileFile::Parse(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return true;
}

}  // namespace

RecentFolders RecentFolders::Load(const std::string& settings_path) {
  RecentFolders folders;
  ProfileFile profile;
  FileError error;
  if (!ReadProfile(settings_path, profile, error)) return folders;
  const ProfileSection section = profile.ReadSection(kFoldersSection);
  for (std::size_t i = 1; i < kKinds; ++i) folders.folders_[i] = section.GetString(kKeys[i], "");
  return folders;
}

const std::string& RecentFolders::Folder(FileKind kind) const {
  return folders_[Index(kind)];
}

void RecentFolders::Remember(FileKind kind, const std::string& chosen_path) {
  if (kind == FileKind::kOther || chosen_path.empty()) return;
  const std::string folder = std::filesystem::path(chosen_path).parent_path().string();
  if (folder.empty() || folder == folders_[Index(kind)]) return;
  folders_[Index(kind)] = folder;
  changed_ = true;
}

bool RecentFolders::Save(const std::string& settings_path, FileError& error) const {
  if (!changed_) return true;
  ProfileFile profile;
  if (!ReadProfile(settings_path, profile, error)) return false;
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 1; i < kKinds; ++i) {
    if (!folders_[i].empty()) entries.emplace_back(kKeys[i], folders_[i]);
  }
  profile.SetStrings(kFoldersSection, entries);
  const std::string text = profile.Serialize();
  return WriteFileAtomically(settings_path, std::as_bytes(std::span(text.data(), text.size())),
                             error);
}

}  // namespace tavi
