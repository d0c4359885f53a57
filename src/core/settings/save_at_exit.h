// The one save when the program ends: the port settings, then the remembered folders and the
// operations' choices, into the same settings file.
#pragma once

#include <string>

#include "core/settings/port_settings.h"

namespace tavi {

class Messages;
class OperationOptions;
class RecentFolders;

// Saves both. A failure is not silent: it shows the file-error message, naming the file and the
// cause, once, and the folders are not tried after the port settings failed. True when all was
// saved.
bool SaveAtExit(const std::string& settings_path, const PortSettings& settings,
                const RecentFolders& folders, Messages& messages);
// The same, and then the operations' choices.
bool SaveAtExit(const std::string& settings_path, const PortSettings& settings,
                const RecentFolders& folders, const OperationOptions& options, Messages& messages);

}  // namespace tavi
