#include "config/save_at_exit.h"

#include "config/recent_folders.h"
#include "config/settings_store.h"
#include "platform/seams.h"

namespace tavi {

bool SaveAtExit(const std::string& settings_path, const PortSettings& settings,
                const RecentFolders& folders, Messages& messages) {
  FileError error;
  if (!SaveSettings(settings_path, settings, error) || !folders.Save(settings_path, error)) {
    messages.ShowFileError(error);
    return false;
  }
  return true;
}

}  // namespace tavi
