// The file flows behind the main dialog's buttons and tavi-cli's commands: files are chosen
// through the FileChooser seam, problems are shown through the Messages seam, and the printer
// is reached through the operations.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

class Clock;
class FileChooser;
class Messages;
class PrinterConnection;
class ProgressDialog;
struct HeadRankFields;

enum class FlowOutcome {
  kSuccess,         // the operation ran to its end
  kCancelled,       // a file chooser, or the read of a file, was cancelled: nothing shown or sent
  kFailed,          // the printer exchange failed or was cancelled (its message, if any, shown)
  kIllegalInput,    // "Illegal Parameter File." or "Illegal Head Rank File." shown
  kFileReadError,   // the file-error message shown for a file that could not be opened or read
  kFileWriteError,  // the file-error message shown for a file that could not be written
  kNothingFound,    // a head rank file without a head rank line: nothing changed, nothing shown
};

// Get Parameters: reads the printer first, then asks for the file to save (replaced atomically).
FlowOutcome GetParametersFlow(PrinterConnection& connection, FileChooser& chooser);
// Reads the parameter file at `path` and checks it completely: `image` becomes the parameter
// image (the block and its check byte). Shows the file-error message or "Illegal Parameter
// File." otherwise. With `progress`, a FIFO may be read: its waits show the progress window,
// whose Cancel ends the read (kCancelled, nothing shown); without, it is refused. `clock` (may
// be null) lets a slow read show the window too.
FlowOutcome LoadParameterImage(const std::string& path, Messages& messages,
                               std::vector<std::uint8_t>& image, ProgressDialog* progress = nullptr,
                               Clock* clock = nullptr);
// Reads the firmware file at `path` whole into `image`, under the same watch. An empty file is
// refused with the file-error message: it would put the printer into update mode with nothing
// to take.
FlowOutcome LoadFirmwareImage(const std::string& path, Messages& messages,
                              std::vector<std::uint8_t>& image, ProgressDialog* progress = nullptr,
                              Clock* clock = nullptr);
// Put Parameters: asks for the file, validates it completely, then sends it.
FlowOutcome PutParametersFlow(PrinterConnection& connection, FileChooser& chooser, bool all);
// Firmware Upgrade: asks for the file, reads it whole, sends it. An empty file is refused with
// the file-error message before the printer is reached.
FlowOutcome FirmwareUpgradeFlow(PrinterConnection& connection, FileChooser& chooser);
// The Get Report window's Save: asks for a file and writes exactly the report's bytes
// (replaced atomically).
FlowOutcome SaveReportFlow(std::string_view report, FileChooser& chooser, Messages& messages);
// Reference...: asks for a head rank file and applies its head rank line to `fields`
// (unchanged when the file is illegal, unreadable or has no head rank line). With `progress`,
// a FIFO may be read: the progress window's Cancel ends its wait; without, it is refused.
FlowOutcome ReferenceHeadRankFlow(HeadRankFields& fields, FileChooser& chooser, Messages& messages,
                                  ProgressDialog* progress = nullptr);
// Set: sends the six fields typed in the Set Head Rank window for the head at `head_index`.
// A rank that would not pass as a head rank line is refused with "Illegal Head Rank File."
// before the printer is contacted (kIllegalInput).
FlowOutcome SetTypedHeadRankFlow(PrinterConnection& connection, int head_index,
                                 const HeadRankFields& fields);

// Inputs are read under watch: a source that keeps the read waiting, or a read that takes
// longer than this, shows the progress window, whose Cancel then ends the read.
inline constexpr int kSlowReadMs = 200;

}  // namespace tavi
