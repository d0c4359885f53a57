// The seams as tavi-cli implements them: a cancel source fed by SIGINT and the --timeout
// deadline, a clock whose waits end early once cancelled, a progress bar on stderr, messages as
// lines of text, and a file chooser that answers with the path from the command line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ui/progress_state.h"
#include "core/ui/seams.h"

namespace tavi::cli {

enum class CancelReason { kNone, kInterrupted, kTimedOut };

// Decides whether the run has been cancelled. Once it has, it stays cancelled for the rest of
// the run: there is nobody to press Cancel a second time, so the request stands.
class CancelSource {
 public:
  // `interrupted` reports a SIGINT; `deadline_ms` is on `clock`'s scale, negative for none.
  CancelSource(std::function<bool()> interrupted, Clock& clock, std::int64_t deadline_ms);

  // Looks at SIGINT and the deadline now.
  bool Cancelled() const;
  // The reason seen by the last look, without looking again.
  CancelReason observed() const { return reason_; }

 private:
  std::function<bool()> interrupted_;
  Clock& clock_;
  std::int64_t deadline_ms_;
  mutable CancelReason reason_ = CancelReason::kNone;
};

// Real time, waited in short slices so that a cancel ends a wait promptly. Only the fixed waits
// go through it, and after a cancel every write and read fails anyway, so ending one early is
// harmless.
class CliClock final : public Clock {
 public:
  explicit CliClock(const CancelSource* source = nullptr) : source_(source) {}
  void set_source(const CancelSource* source) { source_ = source; }
  void Sleep(int ms) override;
  std::int64_t NowMs() override { return base_.NowMs(); }

 private:
  SteadyClock base_;
  const CancelSource* source_;
};

// The progress window as a bar on a terminal, drawn from the shared progress state; SIGINT and
// the deadline act as its Cancel. The cancel source is looked at whenever the dialog pumps and
// whenever it is asked. The bar's line ends with what the operation is doing (printer, step,
// elapsed time); the quiet hint, when it comes, gets a line of its own above the bar.
class CliProgress final : public ProgressDialog {
 public:
  // `bar` is where the bar is drawn (stderr on a terminal), or null for no bar. Times are read
  // from `clock` (null: the system's steady time).
  CliProgress(const CancelSource& source, std::FILE* bar, Clock* clock = nullptr);
  ~CliProgress() override;

  void Show(bool show) override;
  void SetProgressRange(std::int32_t n) override;
  void SetProgressPos(std::int32_t p) override;
  bool IsCancelled() const override;
  void PumpMessages(bool stop_at_socket) override;
  void NamePrinter(std::string_view words) override;
  void SetStep(const ProgressStep& step) override;

  // Clears the bar's line so that a message starts on a line of its own; the bar comes back at
  // its next update.
  void Erase();
  // The terminal's width: the bar's line stays shorter, so that it can be redrawn in place.
  void set_columns(int columns) { columns_ = columns; }

 private:
  void Draw();

  const CancelSource& source_;
  std::FILE* bar_;
  ProgressState state_;
  int columns_ = 80;
  std::string drawn_;        // the line last drawn; empty when none is on screen
  bool hint_shown_ = false;  // the quiet hint of this show was written
};

// A message as the run showed it (or would have shown it, had the run not been cancelled).
struct ShownMessage {
  std::optional<int> id;  // the string-table id; none for a file error or a text of our own
  std::string text;
  std::string details;  // one line per reason, joined with "\n"
};

// The lines of a details text that may end its lines in "\r\n" or "\n"; empty lines dropped.
std::vector<std::string_view> DetailLines(std::string_view details);

// One line of text per message on stderr, the details indented below it; "Done." (and the
// verified read-back that follows it) on stdout.
// A step that a cancel ended shows nothing (the core calls NoteCancelled for it): the front end
// says "Timed out." itself with the step's details, and SIGINT says nothing.
// Every message is also recorded, for the machine-readable result.
class CliMessages final : public Messages {
 public:
  CliMessages(const CancelSource& source, std::FILE* out, std::FILE* err)
      : source_(source), out_(out), err_(err) {}

  void ShowMessage(int id, std::string_view details = {}) override;
  void ShowFileError(const FileError& error) override;
  void NoteCancelled(int id, std::string_view details) override;
  // A text of tavi-cli's own, on stderr, with optional details below it.
  void ShowText(std::string_view text, std::string_view details = {});
  // The bar to clear before a line is written.
  void set_progress(CliProgress* progress) { progress_ = progress; }
  // With quiet_done, the success messages are recorded but not printed (the JSON result
  // carries them).
  void set_quiet_done(bool quiet_done) { quiet_done_ = quiet_done; }

  // The first message other than a success (recorded also when a cancel kept it off the
  // screen).
  const std::optional<ShownMessage>& failure() const { return failure_; }
  // The last message of the run, "Done." included.
  const std::optional<ShownMessage>& last() const { return last_; }

 private:
  void ClearBar();
  void Record(std::optional<int> id, std::string_view text, std::string_view details);
  void Print(std::string_view text, std::string_view details);

  const CancelSource& source_;
  CliProgress* progress_ = nullptr;
  std::FILE* out_;
  std::FILE* err_;
  bool quiet_done_ = false;
  std::optional<ShownMessage> failure_;
  bool failure_is_note_ = false;  // `failure_` came from NoteCancelled
  std::optional<ShownMessage> last_;
};

// Answers every question with the path given on the command line.
class PathChooser final : public FileChooser {
 public:
  explicit PathChooser(std::string path) : path_(std::move(path)) {}
  std::string AskOpenFile(FileKind = FileKind::kOther) override { return path_; }
  std::string AskSaveFile(FileKind = FileKind::kOther) override { return path_; }

 private:
  std::string path_;
};

}  // namespace tavi::cli
