#include "core/operations/firmware_upgrade.h"

#include "core/connection/printer_connection.h"
#include "core/operations/flow_files.h"
#include "core/protocol/operations.h"

namespace tavi {
namespace {

void FillEmptyFileError(FileError& error, const std::string& path) {
  error.op = FileError::Op::kRead;
  error.path = path;
  error.code = {};
  error.cause = "The file is empty";
}

}  // namespace

FlowOutcome LoadFirmwareImage(const std::string& path, Messages& messages,
                              std::vector<std::uint8_t>& image, ProgressDialog* progress,
                              Clock* clock) {
  std::vector<std::byte> bytes;
  FileError error;
  {
    ReadWatch watch(progress, clock);
    if (!ReadWholeFile(path, bytes, error, kMaxWholeFileBytes, watch.Check())) {
      return ReadFailed(error, messages);
    }
  }
  if (bytes.empty()) {
    FillEmptyFileError(error, path);
    messages.ShowFileError(error);
    return FlowOutcome::kFileReadError;
  }
  image.assign(AsU8(bytes).begin(), AsU8(bytes).end());
  return FlowOutcome::kSuccess;
}

FlowOutcome FirmwareUpgradeFlow(PrinterConnection& connection, FileChooser& chooser) {
  const std::string path = chooser.AskOpenFile(FileKind::kFirmwareImage);
  if (path.empty()) return FlowOutcome::kCancelled;
  connection.trace().Event("file", "firmware file " + TracedPath(path));
  std::vector<std::uint8_t> image;
  const FlowOutcome loaded = LoadFirmwareImage(path, connection.messages(), image,
                                               &connection.progress(), &connection.clock());
  if (loaded != FlowOutcome::kSuccess) return loaded;
  return UpgradeFirmware(connection, image) ? FlowOutcome::kSuccess : FlowOutcome::kFailed;
}

}  // namespace tavi
