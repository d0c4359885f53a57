// How a file flow behind a button or a tavi-cli command ended.
#pragma once

namespace tavi {

enum class FlowOutcome {
  kSuccess,         // the operation ran to its end
  kCancelled,       // a file chooser, or the read of a file, was cancelled: nothing shown or sent
  kFailed,          // the printer exchange failed or was cancelled (its message, if any, shown)
  kIllegalInput,    // "Illegal Parameter File." or "Illegal Head Rank File." shown
  kFileReadError,   // the file-error message shown for a file that could not be opened or read
  kFileWriteError,  // the file-error message shown for a file that could not be written
  kNothingFound,    // a head rank file without a head rank line: nothing changed, nothing shown
  kMismatch,        // a verified restore read the printer's block back, and it differs (shown)
};

// Inputs are read under watch: a source that keeps the read waiting, or a read that takes
// longer than this, shows the progress window, whose Cancel then ends the read.
inline constexpr int kSlowReadMs = 200;

}  // namespace tavi
