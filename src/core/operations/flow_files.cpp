#include "core/operations/flow_files.h"

#include <cerrno>

#include "core/trace/trace.h"

namespace tavi {

std::string TracedPath(std::string_view path) {
  std::string out(path);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return WithoutAccessCodes(out);
}

FlowOutcome ReadFailed(const FileError& error, Messages& messages) {
  if (error.code.IsErrno(ECANCELED)) return FlowOutcome::kCancelled;
  messages.ShowFileError(error);
  return FlowOutcome::kFileReadError;
}

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

}  // namespace tavi
