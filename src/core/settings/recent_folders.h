// The folder last used for each kind of file, so that a file dialog starts there. Kept in a
// section of its own ("Folders") of the settings file, apart from the port settings: read once
// at start, written once at exit, and only when a folder changed.
#pragma once

#include <array>
#include <string>

#include "core/ui/seams.h"

namespace tavi {

inline constexpr std::string_view kFoldersSection = "Folders";

class RecentFolders {
 public:
  // Reads the section; a missing file or key leaves that kind without a folder.
  static RecentFolders Load(const std::string& settings_path);

  // The folder last used for `kind`; empty when there is none.
  const std::string& Folder(FileKind kind) const;
  // Remembers the folder that holds `chosen_path` (a full path from a file dialog).
  void Remember(FileKind kind, const std::string& chosen_path);
  // Takes back the last Remember of `kind` (a save there failed): the folder before it returns.
  void ForgetLast(FileKind kind);

  bool changed() const { return changed_; }
  // Writes the section into the settings file, keeping every other line of it. Nothing is
  // written when no folder changed. False, with `error` saying why, when the file could not be
  // read back or written.
  [[nodiscard]] bool Save(const std::string& settings_path, FileError& error) const;

 private:
  static constexpr std::size_t kKinds = 5;
  std::array<std::string, kKinds> folders_;
  std::array<std::string, kKinds> before_last_;  // each kind's folder before its last Remember
  bool changed_ = false;
};

}  // namespace tavi
