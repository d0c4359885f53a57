#include "files/maintenance_flows.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "connection/printer_connection.h"
#include "files/head_rank.h"
#include "files/parameter_codec.h"
#include "platform/file_io.h"
#include "platform/seams.h"
#include "protocol/check_byte.h"
#include "protocol/operations.h"
#include "resources/strings.h"

namespace tavi {
namespace {

// A head rank file is judged by its first 65,536 bytes.
constexpr std::size_t kHeadRankFileLimit = 65536;

std::span<const std::uint8_t> AsU8(const std::vector<std::byte>& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Asks for a file to save and replaces it with `bytes`.
FlowOutcome SaveBytes(std::span<const std::byte> bytes, FileChooser& chooser, Messages& messages) {
  const std::string path = chooser.AskSaveFile();
  if (path.empty()) return FlowOutcome::kCancelled;
  FileError error;
  if (!WriteFileAtomically(path, bytes, error)) {
    messages.ShowFileError(error);
    return FlowOutcome::kFileWriteError;
  }
  return FlowOutcome::kSuccess;
}

}  // namespace

FlowOutcome GetParametersFlow(PrinterConnection& connection, FileChooser& chooser) {
  std::vector<std::uint8_t> image(kParameterCapacity);
  const std::int32_t n = GetParameters(connection, image);
  if (n <= 0 || n >= kParameterCapacity) return FlowOutcome::kFailed;
  image[static_cast<std::size_t>(n)] =
      CheckByte(std::span(image).first(static_cast<std::size_t>(n)));

  std::vector<std::uint8_t> file(kParameterCapacity);
  const std::int32_t e = ParameterCodec(std::span(image).first(static_cast<std::size_t>(n) + 1),
                                        file, /*encode=*/true);
  if (e <= 0) return FlowOutcome::kFailed;
  return SaveBytes(std::as_bytes(std::span(file).first(static_cast<std::size_t>(e))), chooser,
                   connection.messages());
}

FlowOutcome LoadParameterImage(const std::string& path, Messages& messages,
                               std::vector<std::uint8_t>& image) {
  std::vector<std::byte> file;
  FileError error;
  // Bytes after the first 131,072 are never read.
  if (!ReadFileLimited(path, kParameterCapacity, file, error)) {
    messages.ShowFileError(error);
    return FlowOutcome::kFileReadError;
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

FlowOutcome PutParametersFlow(PrinterConnection& connection, FileChooser& chooser, bool all) {
  const std::string path = chooser.AskOpenFile();
  if (path.empty()) return FlowOutcome::kCancelled;
  std::vector<std::uint8_t> image;
  const FlowOutcome loaded = LoadParameterImage(path, connection.messages(), image);
  if (loaded != FlowOutcome::kSuccess) return loaded;
  return PutParameters(connection, image, all) ? FlowOutcome::kSuccess : FlowOutcome::kFailed;
}

FlowOutcome FirmwareUpgradeFlow(PrinterConnection& connection, FileChooser& chooser) {
  const std::string path = chooser.AskOpenFile();
  if (path.empty()) return FlowOutcome::kCancelled;
  std::vector<std::byte> image;
  FileError error;
  if (!ReadWholeFile(path, image, error)) {
    connection.messages().ShowFileError(error);
    return FlowOutcome::kFileReadError;
  }
  return UpgradeFirmware(connection, AsU8(image)) ? FlowOutcome::kSuccess : FlowOutcome::kFailed;
}

FlowOutcome SaveReportFlow(std::string_view report, FileChooser& chooser, Messages& messages) {
  return SaveBytes(std::as_bytes(std::span(report.data(), report.size())), chooser, messages);
}

FlowOutcome ReferenceHeadRankFlow(HeadRankFields& fields, FileChooser& chooser,
                                  Messages& messages) {
  const std::string path = chooser.AskOpenFile();
  if (path.empty()) return FlowOutcome::kCancelled;
  std::vector<std::byte> bytes;
  FileError error;
  if (!ReadFileLimited(path, kHeadRankFileLimit, bytes, error)) {
    messages.ShowFileError(error);
    return FlowOutcome::kFileReadError;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  switch (LoadHeadRankText(text, fields)) {
    case HeadRankLoad::kApplied:
      return FlowOutcome::kSuccess;
    case HeadRankLoad::kNoLine:
      return FlowOutcome::kNothingFound;
    case HeadRankLoad::kIllegal:
      break;
  }
  messages.ShowMessage(kIdsIllegalHeadRankFile);
  return FlowOutcome::kIllegalInput;
}

}  // namespace tavi
