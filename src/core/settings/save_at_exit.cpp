#include "core/settings/save_at_exit.h"

#include "core/settings/operation_options.h"
#include "core/settings/recent_folders.h"
#include "core/settings/settings_store.h"
#include "core/ui/seams.h"

namespace tavi {

bool SaveAtExit(const std::string& settings_path, const PortSettings& settings,
                const RecentFolders& folders, Messages& messages) {
  return SaveAtExit(settings_path, settings, folders, OperationOptions{}, messages);
}

bool SaveAtExit(const std::string& settings_path, const PortSettings& settings,
                const RecentFolders& folders, const OperationOptions& options, Messages& messages) {
  FileError error;
  if (!SaveSettings(settings_path, settings, error) || !folders.Save(settings_path, error) ||
      !options.Save(settings_path, error)) {
    messages.ShowFileError(error);
    return false;
  }
  return true;
}

}  // namespace tavi
