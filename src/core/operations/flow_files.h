// What the file flows share: reading an input under watch, the trace's form of a chosen path,
// the outcome of a failed read, and saving to a file the person chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/operations/flow_outcome.h"
#include "core/ui/seams.h"
#include "os/file_io.h"

namespace tavi {

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
[[nodiscard]] std::string TracedPath(std::string_view path);

// The outcome of a failed read: a cancel shows nothing, anything else the file-error message.
[[nodiscard]] FlowOutcome ReadFailed(const FileError& error, Messages& messages);

// Asks for a file of `kind` to save and replaces it with `bytes` (atomically).
[[nodiscard]] FlowOutcome SaveBytes(std::span<const std::byte> bytes, FileKind kind,
                                    FileChooser& chooser, Messages& messages);

[[nodiscard]] inline std::span<const std::uint8_t> AsU8(const std::vector<std::byte>& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace tavi
