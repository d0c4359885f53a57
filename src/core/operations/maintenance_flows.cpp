#include "core/operations/maintenance_flows.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/connection/printer_connection.h"
#include "core/files/head_rank.h"
#include "core/files/parameter_codec.h"
#include "core/protocol/check_byte.h"
#include "core/protocol/operations.h"
#include "core/resources/strings.h"
#include "core/ui/seams.h"
#include "os/file_io.h"

namespace tavi {
namespace {

// A head rank file is judged by its first 65,536 bytes.
constexpr std::size_t kHeadRankFileLimit = 65536;

void FillEmptyFileError(FileError& error, const std::string& path) {
  error.op = FileError::Op::kRead;
  error.path = path;
  error.code = {};
  error.cause = "The file is empty";
}

std::span<const std::uint8_t> AsU8(const std::vector<std::byte>& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Watches one read for the person in front: once the source keeps it waiting, or after
// kSlowReadMs, the progress window is shown, and from then on its Cancel (in tavi-cli: Ctrl-C or
// --timeout) ends the read. Before that a stale cancel of an earlier operation cannot end it.
class ReadWatch {
 public:
  ReadWatch(ProgressDialog* progress, Clock* clock) : progress_(progress), clock_(clock) {
    if (clock_ != nullptr) start_ms_ = clock_->NowMs();
  }
  ~ReadWatch() {
    if (shown_) progress_->Show(false);
  }
  ReadWatch(const ReadWatch&) = delete;
  ReadWatch& operator=(const ReadWatch&) = delete;

  // The check a read asks; empty (FIFOs refused) without a progress window.
  ReadCancelCheck Check() {
    if (progress_ == nullptr) return {};
    return [this](bool waiting) {
      if (!shown_ &&
          (waiting || (clock_ != nullptr && clock_->NowMs() - start_ms_ >= kSlowReadMs))) {
        progress_->Show(true);
        shown_ = true;
      }
      if (!shown_) return false;
      progress_->PumpMessages(false);
      return progress_->IsCancelled();
    };
  }

 private:
  ProgressDialog* progress_;
  Clock* clock_;
  std::int64_t start_ms_ = 0;
  bool shown_ = false;
};

// A chosen path as the trace shows it: one line, as the person typed or picked it.
std::string TracedPath(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return WithoutAccessCodes(out);
}

// The outcome of a failed read: a cancel shows nothing, anything else the file-error message.
FlowOutcome ReadFailed(const FileError& error, Messages& messages) {
  if (error.code.IsErrno(ECANCELED)) return FlowOutcome::kCancelled;
  messages.ShowFileError(error);
  return FlowOutcome::kFileReadError;
}

// Asks for a file to save and replaces it with `bytes`.
FlowOutcome SaveBytes(std::span<const std::byte> bytes, FileKind kind, FileChooser& chooser,
                      Messages& messages) {
  const std::string path = chooser.AskSaveFile(kind);
  if (path.empty()) return FlowOutcome::kCancelled;
  FileError error;
  if (!WriteFileAtomically(path, bytes, error)) {
    chooser.SaveFailed(kind);
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
  return SaveBytes(std::as_bytes(std::span(file).first(static_cast<std::size_t>(e))),
                   FileKind::kParameterFile, chooser, connection.messages());
}

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

FlowOutcome PutParametersFlow(PrinterConnection& connection, FileChooser& chooser, bool all) {
  const std::string path = chooser.AskOpenFile(FileKind::kParameterFile);
  if (path.empty()) return FlowOutcome::kCancelled;
  connection.trace().Event("file", "parameter file " + TracedPath(path));
  std::vector<std::uint8_t> image;
  const FlowOutcome loaded = LoadParameterImage(path, connection.messages(), image,
                                                &connection.progress(), &connection.clock());
  if (loaded != FlowOutcome::kSuccess) return loaded;
  return PutParameters(connection, image, all) ? FlowOutcome::kSuccess : FlowOutcome::kFailed;
}

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

FlowOutcome SaveReportFlow(std::string_view report, FileChooser& chooser, Messages& messages) {
  return SaveBytes(std::as_bytes(std::span(report.data(), report.size())), FileKind::kReport,
                   chooser, messages);
}

FlowOutcome ReferenceHeadRankFlow(HeadRankFields& fields, FileChooser& chooser, Messages& messages,
                                  ProgressDialog* progress) {
  const std::string path = chooser.AskOpenFile(FileKind::kHeadRankFile);
  if (path.empty()) return FlowOutcome::kCancelled;
  std::vector<std::byte> bytes;
  FileError error;
  {
    ReadWatch watch(progress, nullptr);
    if (!ReadFileLimited(path, kHeadRankFileLimit, bytes, error, watch.Check())) {
      return ReadFailed(error, messages);
    }
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

FlowOutcome SetTypedHeadRankFlow(PrinterConnection& connection, int head_index,
                                 const HeadRankFields& fields) {
  const std::optional<std::string> head_rank = TypedHeadRankString(fields);
  if (!head_rank) {
    connection.messages().ShowMessage(kIdsIllegalHeadRankFile);
    return FlowOutcome::kIllegalInput;
  }
  return SetHeadRank(connection, head_index, *head_rank) ? FlowOutcome::kSuccess
                                                         : FlowOutcome::kFailed;
}

}  // namespace tavi
