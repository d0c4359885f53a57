// The safety copy before a restore: the printer's current parameter block, read with the normal
// Get Parameters exchange and kept as a parameter file in the journal's folder, so that a bad
// restore can be undone from it.
#pragma once

#include <string>
#include <string_view>

#include "core/operations/flow_outcome.h"

namespace tavi {

class PrinterConnection;

// The safety copy's file name: "safety-copy-<host or port>-<UTC time, 20261210T073512Z>.prm".
[[nodiscard]] std::string SafetyCopyName(std::string_view printer, std::string_view journal_time);

// Reads the block and keeps it in `folder` (made when missing). kSuccess with `path` set and
// the file noted on the connection as "safety-copy"; otherwise what failed was shown, followed
// by "...could not be kept as a safety copy, so nothing was restored." (a cancel shows
// nothing), and the caller writes nothing to the printer.
[[nodiscard]] FlowOutcome TakeSafetyCopy(PrinterConnection& connection, const std::string& folder,
                                         std::string& path);

}  // namespace tavi
