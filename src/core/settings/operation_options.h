// The choices that change how an operation runs (whether Put Parameters verifies). Kept in a
// section of their own ("Options") of the settings file, apart from the port settings: read once
// at start, written once at exit, and only when a choice changed.
#pragma once

#include <string>
#include <string_view>

#include "core/ui/seams.h"

namespace tavi {

inline constexpr std::string_view kOptionsSection = "Options";
// The checkable entry of the windows' menus that turns the verified restore on and off.
inline constexpr std::string_view kVerifyRestoreText = "Verify Put Parameters";

class OperationOptions {
 public:
  // Reads the section; a missing file or key leaves that choice off.
  static OperationOptions Load(const std::string& settings_path);

  // Put Parameters reads the printer's block back and compares it with the file's.
  bool verify_restore() const { return verify_restore_; }
  void set_verify_restore(bool on);

  bool changed() const { return changed_; }
  // Writes the section into the settings file, keeping every other line of it. Nothing is
  // written when no choice changed. False, with `error` saying why, when the file could not be
  // read back or written.
  [[nodiscard]] bool Save(const std::string& settings_path, FileError& error) const;

 private:
  bool verify_restore_ = false;
  bool changed_ = false;
};

}  // namespace tavi
