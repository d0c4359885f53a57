#include "core/settings/operation_options.h"

#include <utility>
#include <vector>

#include "os/settings_profile.h"

namespace tavi {
namespace {

constexpr std::string_view kKeyVerifyRestore = "VerifyRestore";

}  // namespace

OperationOptions OperationOptions::Load(const std::string& settings_path) {
  OperationOptions options;
  SettingsSection section;
  FileError error;
  if (!section.Read(settings_path, kOptionsSection, error)) return options;
  options.verify_restore_ = section.GetInt(kKeyVerifyRestore, 0) != 0;
  return options;
}

void OperationOptions::set_verify_restore(bool on) {
  if (on == verify_restore_) return;
  verify_restore_ = on;
  changed_ = true;
}

bool OperationOptions::Save(const std::string& settings_path, FileError& error) const {
  if (!changed_) return true;
  const std::vector<std::pair<std::string, std::string>> entries = {
      {std::string(kKeyVerifyRestore), verify_restore_ ? "1" : "0"}};
  return WriteSettingsSection(settings_path, kOptionsSection, entries, error);
}

}  // namespace tavi
