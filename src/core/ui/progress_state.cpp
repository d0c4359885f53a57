#include "core/ui/progress_state.h"

#include <algorithm>

#include "core/ui/seams.h"

namespace tavi {

std::int64_t ProgressState::Now() const {
  if (clock_ != nullptr) return clock_->NowMs();
  SteadyClock steady;
  return steady.NowMs();
}

bool ProgressState::RequestShow(bool show) {
  if (show == visible_) return false;
  visible_ = show;
  cancelled_ = false;
  if (show) {
    pos_ = 0;
    moved_ = false;
    printer_.clear();
    step_ = {};
    shown_ms_ = Now();
    news_ms_ = shown_ms_;
    if (held_) held_ms_ = shown_ms_;
  }
  return true;
}

bool ProgressState::Cancel() {
  if (!visible_) return false;
  cancelled_ = true;
  visible_ = false;
  return true;
}

bool ProgressState::Hold(bool hold) {
  if (hold == held_) return false;
  held_ = hold;
  if (hold) held_ms_ = Now();
  return true;
}

void ProgressState::SetRange(std::int32_t n) {
  upper_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) % 65536u);
}

void ProgressState::SetPos(std::int32_t p) {
  if (p != pos_) News();
  pos_ = p;
  if (p > 0) moved_ = true;
}

void ProgressState::NamePrinter(std::string_view words) {
  if (words == printer_) return;
  printer_ = std::string(words);
  News();
}

void ProgressState::SetStep(const ProgressStep& step) {
  if (step == step_) return;
  step_ = step;
  News();
}

std::int32_t ProgressState::shown_pos() const {
  return std::clamp<std::int32_t>(pos_, 0, upper_);
}

int ProgressState::permille() const {
  if (upper_ <= 0) return 0;
  return static_cast<int>(std::int64_t{shown_pos()} * 1000 / upper_);
}

std::string ProgressState::StatusText() const {
  if (!visible_) return {};
  return StatusLine(printer_, step_, ShownNow() - shown_ms_);
}

std::string ProgressState::QuietText() const {
  if (!visible_ || printer_.empty()) return {};
  const std::int64_t quiet = ShownNow() - news_ms_;
  return quiet >= kQuietHintMs ? QuietHint(quiet) : std::string();
}

}  // namespace tavi
