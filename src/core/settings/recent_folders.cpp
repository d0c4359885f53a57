#include "core/settings/recent_folders.h"

#include <filesystem>
#include <utility>
#include <vector>

#include "os/settings_profile.h"

namespace tavi {
namespace {

// The key of each kind, in the order of FileKind; kOther is not remembered.
constexpr std::array<std::string_view, 5> kKeys = {"", "ParameterFile", "FirmwareImage",
                                                   "HeadRankFile", "Report"};

std::size_t Index(FileKind kind) {
  return static_cast<std::size_t>(kind);
}

}  // namespace

RecentFolders RecentFolders::Load(const std::string& settings_path) {
  RecentFolders folders;
  SettingsSection section;
  FileError error;
  if (!section.Read(settings_path, kFoldersSection, error)) return folders;
  for (std::size_t i = 1; i < kKinds; ++i) folders.folders_[i] = section.GetString(kKeys[i], "");
  return folders;
}

const std::string& RecentFolders::Folder(FileKind kind) const {
  return folders_[Index(kind)];
}

void RecentFolders::Remember(FileKind kind, const std::string& chosen_path) {
  if (kind == FileKind::kOther || chosen_path.empty()) return;
  // Through UTF-8 on every system: a plain string would be read in the system's code page.
  const std::u8string parent =
      std::filesystem::path(std::u8string(chosen_path.begin(), chosen_path.end()))
          .parent_path()
          .u8string();
  const std::string folder(parent.begin(), parent.end());
  before_last_[Index(kind)] = folders_[Index(kind)];
  if (folder.empty() || folder == folders_[Index(kind)]) return;
  folders_[Index(kind)] = folder;
  changed_ = true;
}

void RecentFolders::ForgetLast(FileKind kind) {
  if (kind == FileKind::kOther) return;
  folders_[Index(kind)] = before_last_[Index(kind)];
}

bool RecentFolders::Save(const std::string& settings_path, FileError& error) const {
  if (!changed_) return true;
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 1; i < kKinds; ++i) {
    if (!folders_[i].empty()) entries.emplace_back(kKeys[i], folders_[i]);
  }
  return WriteSettingsSection(settings_path, kFoldersSection, entries, error);
}

}  // namespace tavi
