// The small interfaces through which the core reaches the person in front of it.
// Each front end (Qt windows, tavi-cli, tests) implements them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/failure/failure.h"
#include "core/ui/progress_status.h"

namespace tavi {

// Every fixed wait goes through a clock, so that tests run in virtual time and the GUI can keep
// its windows alive while it waits.
class Clock {
 public:
  virtual ~Clock() = default;
  // Waits `ms` milliseconds (nothing for ms <= 0).
  virtual void Sleep(int ms) = 0;
  // Milliseconds on a monotonic scale.
  virtual std::int64_t NowMs() = 0;
};

// The longest stretch a desktop program's clock waits without running pending window events.
inline constexpr int kPumpSliceMs = 20;

// A clock that blocks the calling thread for real (std::this_thread::sleep_for).
class SteadyClock final : public Clock {
 public:
  void Sleep(int ms) override;
  std::int64_t NowMs() override;
};

// The "Communicating..." window: a bar with a range and a position, and a Cancel button.
// Show(true/false) is the owner's show request; it clears the cancel flag, and showing also puts
// the bar at 0. Cancel sets the flag and hides the window without clearing it.
class ProgressDialog {
 public:
  virtual ~ProgressDialog() = default;
  virtual void Show(bool show) = 0;
  // Range becomes 0..n (upper bound taken modulo 65,536); then pumps with false.
  virtual void SetProgressRange(std::int32_t n) = 0;
  // Position becomes p; then pumps with false.
  virtual void SetProgressPos(std::int32_t p) = 0;
  virtual bool IsCancelled() const = 0;
  // Runs the pending window events; with `stop_at_socket` true it leaves socket notifications
  // queued (our socket layer has none, so both forms run everything pending).
  virtual void PumpMessages(bool stop_at_socket) = 0;
  // What the window says it is doing: the printer (port kind and host) and the step under way.
  // A show request forgets both. Each is news for the quiet hint (ProgressState).
  virtual void NamePrinter(std::string_view words) = 0;
  virtual void SetStep(const ProgressStep& step) = 0;
};

// Why a file could not be used, in words, with the path: "Could not write <path>: <cause>."
struct FileError {
  enum class Op { kOpen, kCreate, kRead, kWrite };
  Op op = Op::kOpen;
  std::string path;
  SystemCode code;    // the system's code (errno; Win32 on Windows); empty when none (too large)
  std::string cause;  // the cause in words, e.g. "No space left on device"
};

// The text shown for a file error, e.g. "Could not write /srv/report.txt: No space left on device."
std::string FileErrorText(const FileError& error);

// Message boxes titled "Tavi" with string-table texts.
class Messages {
 public:
  virtual ~Messages() = default;
  // Shows string-table message `id`. `details` is the technician's extra line (e.g. the network
  // client's last error), offered beside the fixed text; empty when there is none.
  virtual void ShowMessage(int id, std::string_view details = {}) = 0;
  // Shows the file-error message.
  virtual void ShowFileError(const FileError& error) = 0;
  // A step that failed because the person cancelled it (message `id` is what it would have
  // shown, `details` what it was waiting for). A cancel is no failure: nothing is shown. A front
  // end that reports a cancel in words of its own (a time-out) may keep the details.
  virtual void NoteCancelled(int /*id*/, std::string_view /*details*/) {}
};

// The kinds of file the person chooses; a file dialog starts in the folder last used for its
// kind.
enum class FileKind { kOther, kParameterFile, kFirmwareImage, kHeadRankFile, kReport };

// File choosers: an empty answer means the user cancelled.
class FileChooser {
 public:
  virtual ~FileChooser() = default;
  virtual std::string AskOpenFile(FileKind kind = FileKind::kOther) = 0;
  // The save form asks before it overwrites an existing file.
  virtual std::string AskSaveFile(FileKind kind = FileKind::kOther) = 0;
  // The file just chosen to save a `kind` could not be written: a chooser that remembers folders
  // goes back to the one it had before, so the next dialog does not start where saving fails.
  virtual void SaveFailed(FileKind kind) { (void)kind; }
};

}  // namespace tavi
