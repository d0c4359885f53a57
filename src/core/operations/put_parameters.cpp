#include "core/operations/put_parameters.h"

#include "core/connection/printer_connection.h"
#include "core/files/parameter_codec.h"
#include "core/operations/flow_files.h"
#include "core/operations/safety_copy.h"
#include "core/operations/verify_restore.h"
#include "core/protocol/check_byte.h"
#include "core/protocol/operations.h"
#include "core/resources/strings.h"

namespace tavi {

FlowOutcome LoadParameterImage(const std::string& path, Messages& messages,
                               std::vector<std::uint8_t>& image, ProgressDialog* progress,
                               Clock* clock) {
  std::vector<std::byte> file;
  FileError error;
  // Bytes after the first 131,072 are never read.
  {
    ReadWatch watch(progress, clock);
    if (!ReadFileLimited(path, kParameterCapacity, file, error, watch.Check())) {
      return ReadFailed(error, messages);
    }
  }
  std::vector<std::uint8_t> source(AsU8(file).begin(), AsU8(file).end());
  image.assign(kParameterCapacity, 0);
  const std::int32_t d = ParameterCodec(source, image, /*encode=*/false);
  if (d <= 0) {
    messages.ShowMessage(kIdsIllegalParameterFile);
    return FlowOutcome::kIllegalInput;
  }
  const auto size = static_cast<std::size_t>(d);
  if (image[size - 1] != CheckByte(std::span(image).first(size - 1))) {
    messages.ShowMessage(kIdsIllegalParameterFile);
    return FlowOutcome::kIllegalInput;
  }
  image.resize(size);
  return FlowOutcome::kSuccess;
}

FlowOutcome PutParametersFlow(PrinterConnection& connection, FileChooser& chooser, bool all,
                              bool verify, const std::string& safety_copy_folder) {
  const std::string path = chooser.AskOpenFile(FileKind::kParameterFile);
  if (path.empty()) return FlowOutcome::kCancelled;
  connection.trace().Event("file", "parameter file " + TracedPath(path));
  std::vector<std::uint8_t> image;
  const FlowOutcome loaded = LoadParameterImage(path, connection.messages(), image,
                                                &connection.progress(), &connection.clock());
  if (loaded != FlowOutcome::kSuccess) return loaded;
  if (std::string kept; !safety_copy_folder.empty()) {
    if (const FlowOutcome copy = TakeSafetyCopy(connection, safety_copy_folder, kept);
        copy != FlowOutcome::kSuccess) {
      return copy;
    }
  }
  if (!PutParameters(connection, image, all)) return FlowOutcome::kFailed;
  return verify ? VerifyRestore(connection, image) : FlowOutcome::kSuccess;
}

}  // namespace tavi
