// Put Parameters: a parameter file, checked completely, sent to the printer.
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

// Reads the parameter file at `path` and checks it completely: `image` becomes the parameter
// image (the block and its check byte). Shows the file-error message or "Illegal Parameter
// File." otherwise. With `progress`, a FIFO may be read: its waits show the progress window,
// whose Cancel ends the read (kCancelled, nothing shown); without, it is refused. `clock` (may
// be null) lets a slow read show the window too.
FlowOutcome LoadParameterImage(const std::string& path, Messages& messages,
                               std::vector<std::uint8_t>& image, ProgressDialog* progress = nullptr,
                               Clock* clock = nullptr);
// Put Parameters: asks for the file, validates it completely, then sends it. With a
// `safety_copy_folder`, the printer's current block is kept there first (TakeSafetyCopy); if
// that fails nothing is sent. With `verify`, the printer's block is then read back and compared
// with the file's (VerifyRestore).
FlowOutcome PutParametersFlow(PrinterConnection& connection, FileChooser& chooser, bool all,
                              bool verify = false, const std::string& safety_copy_folder = {});

}  // namespace tavi
