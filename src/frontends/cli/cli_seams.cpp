#include "frontends/cli/cli_seams.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

#include "core/resources/strings.h"
#include "frontends/cli/cli_texts.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

// The longest a cancelled wait goes on.
constexpr int kSleepSliceMs = 10;
constexpr int kBarWidth = 20;

}  // namespace

CancelSource::CancelSource(std::function<bool()> interrupted, Clock& clock,
                           std::int64_t deadline_ms)
    : interrupted_(std::move(interrupted)), clock_(clock), deadline_ms_(deadline_ms) {}

bool CancelSource::Cancelled() const {
  if (reason_ != CancelReason::kNone) return true;
  if (interrupted_ && interrupted_()) {
    reason_ = CancelReason::kInterrupted;
  } else if (deadline_ms_ >= 0 && clock_.NowMs() >= deadline_ms_) {
    reason_ = CancelReason::kTimedOut;
  }
  return reason_ != CancelReason::kNone;
}

void CliClock::Sleep(int ms) {
  if (ms <= 0) return;
  // The deadline keeps the clock's full resolution: rounding to whole milliseconds would cut the
  // wait short.
  using std::chrono::steady_clock;
  const steady_clock::time_point end = steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (source_ != nullptr && source_->Cancelled()) return;
    const steady_clock::duration left = end - steady_clock::now();
    if (left <= steady_clock::duration::zero()) return;
    std::this_thread::sleep_for(
        std::min<steady_clock::duration>(left, std::chrono::milliseconds(kSleepSliceMs)));
  }
}

CliProgress::CliProgress(const CancelSource& source, std::FILE* bar, Clock* clock)
    : source_(source), bar_(bar), state_(clock) {}

CliProgress::~CliProgress() {
  Erase();
}

void CliProgress::Show(bool show) {
  if (!state_.RequestShow(show)) return;
  hint_shown_ = false;
  if (show) {
    Draw();
  } else {
    Erase();
  }
}

void CliProgress::SetProgressRange(std::int32_t n) {
  state_.SetRange(n);
  PumpMessages(false);
}

void CliProgress::SetProgressPos(std::int32_t p) {
  state_.SetPos(p);
  PumpMessages(false);
}

bool CliProgress::IsCancelled() const {
  return state_.cancelled() || source_.Cancelled();
}

void CliProgress::PumpMessages(bool) {
  if (source_.Cancelled()) {
    // What the Cancel button does: set the flag and hide the window.
    if (state_.Cancel()) Erase();
    return;
  }
  if (state_.visible()) Draw();
}

void CliProgress::NamePrinter(std::string_view words) {
  state_.NamePrinter(words);
  PumpMessages(false);
}

void CliProgress::SetStep(const ProgressStep& step) {
  state_.SetStep(step);
  PumpMessages(false);
}

void CliProgress::Draw() {
  if (bar_ == nullptr) return;
  const std::string quiet = state_.QuietText();
  if (!quiet.empty() && !hint_shown_) {
    hint_shown_ = true;
    Erase();
    (void)WriteText(bar_, quiet + "\n");
  }
  // While nothing is known yet the bar says so instead of standing at 0 %.
  const std::string status = state_.StatusText();
  std::string line = "[";
  if (state_.waiting()) {
    line.append(static_cast<std::size_t>(kBarWidth), ' ');
    line += ']';
    if (status.empty()) line += " waiting";
  } else {
    const int permille = state_.permille();
    const int filled = permille * kBarWidth / 1000;
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), ' ');
    line += "] ";
    line += std::to_string(permille / 10);
    line += '%';
  }
  if (!status.empty()) {
    line += ' ';
    line += status;
  }
  const std::size_t width = static_cast<std::size_t>(std::max(columns_ - 1, 20));
  if (line.size() > width) line.resize(width);
  if (line == drawn_) return;
  // Spaces cover what is left of a longer line drawn before.
  std::string out = "\r" + line;
  if (drawn_.size() > line.size()) out.append(drawn_.size() - line.size(), ' ');
  drawn_ = line;
  (void)WriteText(bar_, out);
  std::fflush(bar_);
}

void CliProgress::Erase() {
  if (bar_ == nullptr || drawn_.empty()) return;
  std::string line = "\r";
  line.append(drawn_.size(), ' ');
  line += '\r';
  drawn_.clear();
  (void)WriteText(bar_, line);
  std::fflush(bar_);
}

void CliMessages::ClearBar() {
  if (progress_ != nullptr) progress_->Erase();
}

std::vector<std::string_view> DetailLines(std::string_view details) {
  std::vector<std::string_view> lines;
  while (!details.empty()) {
    const std::size_t end = details.find_first_of("\r\n");
    const std::string_view line = details.substr(0, end);
    if (!line.empty()) lines.push_back(line);
    if (end == std::string_view::npos) break;
    details.remove_prefix(end + 1);
  }
  return lines;
}

void CliMessages::Record(std::optional<int> id, std::string_view text, std::string_view details) {
  ShownMessage shown{id, std::string(text), {}};
  for (std::string_view line : DetailLines(details)) {
    if (!shown.details.empty()) shown.details += '\n';
    shown.details += line;
  }
  if (!failure_ && !(id && IsSuccessMessage(*id))) failure_ = shown;
  last_ = std::move(shown);
}

void CliMessages::Print(std::string_view text, std::string_view details) {
  ClearBar();
  std::string lines = std::string(text) + "\n";
  for (std::string_view line : DetailLines(details)) {
    lines.append(kDetailsPrefix).append(line) += '\n';
  }
  (void)WriteText(err_, lines);
  std::fflush(err_);
}

void CliMessages::ShowMessage(int id, std::string_view details) {
  const std::string_view table_text = LoadString(id);
  const std::string text =
      table_text.empty() ? "Message " + std::to_string(id) + "." : std::string(table_text);
  Record(id, text, details);
  if (IsSuccessMessage(id)) {
    if (quiet_done_) return;
    ClearBar();
    (void)WriteText(out_, text + "\n");
    std::fflush(out_);
    return;
  }
  Print(text, details);
}

void CliMessages::NoteCancelled(int id, std::string_view details) {
  // Kept, not shown: "Timed out." names what was waiting with these details. A later note is
  // the outer step's (a header wait around the read it was in) and says more: it comes first,
  // before an earlier note's words. A failure is never replaced.
  std::string all(details);
  if (failure_is_note_) {
    // The inner step's words follow, on their own line.
    if (!failure_->details.empty()) all += "\n" + failure_->details;
    failure_.reset();
  }
  const bool had_failure = failure_.has_value();
  Record(id, LoadString(id), all);
  failure_is_note_ = !had_failure && failure_.has_value();
}

void CliMessages::ShowFileError(const FileError& error) {
  ShowText(FileErrorText(error));
}

void CliMessages::ShowText(std::string_view text, std::string_view details) {
  Record(std::nullopt, text, details);
  Print(text, details);
}

}  // namespace tavi::cli
