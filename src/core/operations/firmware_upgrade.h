// Firmware Upgrade: a firmware image read whole and sent to the printer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/operations/flow_outcome.h"

namespace tavi {

class Clock;
class FileChooser;
class Messages;
class PrinterConnection;
class ProgressDialog;

// Reads the firmware file at `path` whole into `image`, under the same watch. An empty file is
// refused with the file-error message: it would put the printer into update mode with nothing
// to take.
FlowOutcome LoadFirmwareImage(const std::string& path, Messages& messages,
                              std::vector<std::uint8_t>& image, ProgressDialog* progress = nullptr,
                              Clock* clock = nullptr);
// Firmware Upgrade: asks for the file, reads it whole, sends it. An empty file is refused with
// the file-error message before the printer is reached.
FlowOutcome FirmwareUpgradeFlow(PrinterConnection& connection, FileChooser& chooser);

}  // namespace tavi
